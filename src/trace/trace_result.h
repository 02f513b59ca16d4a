#pragma once
// Result codes of a trace run and the small reporting helper every stage of
// the tracing engine uses to talk to its (optional) progress sink.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/progress.h"

namespace quillon::trace {

// The one code a trace run ends with (carried by the finished notification).
enum TraceResult : int {
  kTraceFinished = 0,
  kTraceNoMemory = 2,
  kTraceFillFailed = 3,
  kTraceUserStop = 10,
  kTraceError = 20,  // and any code not listed here
};

// The message the view shows for a result code. For kTraceFinished the text
// is followed by the elapsed-time line built from elapsedMilliseconds.
std::string TraceResultMessage(int code, int64_t elapsedMilliseconds);

// The elapsed-time text shown after "Elapsed time :" (whole seconds; every
// part starts with a blank: " 42 seconds", " 1 hours 2 minutes 5 seconds").
std::string ElapsedTimeText(int64_t elapsedMilliseconds);

// Stage texts (language keys with their built-in defaults).
std::string StageText(std::string_view key);

// Thin wrapper over a possibly null sink: without a sink a stage reports
// nothing and cannot be cancelled.
class StageReporter {
 public:
  explicit StageReporter(platform::ProgressSink* sink) : sink_(sink) {}

  bool hasSink() const { return sink_ != nullptr; }
  platform::ProgressSink* sink() const { return sink_; }
  bool cancelled() const { return sink_ != nullptr && sink_->cancelRequested(); }

  void begin(std::string_view stageKey) const {
    if (sink_) sink_->stageBegin(StageText(stageKey));
  }
  void progress(int value) const {
    if (sink_) sink_->progress(value);
  }
  void end() const {
    if (sink_) sink_->stageEnd();
  }
  void finished(int code) const {
    if (sink_) sink_->finished(code);
  }

 private:
  platform::ProgressSink* sink_;
};

}  // namespace quillon::trace
