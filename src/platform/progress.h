#pragma once
// Progress and cancellation shared by the raster operations, the trace worker
// and the save job.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string_view>

namespace quillon::platform {

// Raster operations and the save job report (text, percent 0..100). May be empty.
using ProgressCallback = std::function<void(std::string_view text, int percent)>;

inline void Report(const ProgressCallback& callback, std::string_view text, int percent) {
  if (callback) callback(text, percent);
}

// The one-byte flag a worker polls and the user interface sets. Atomic because
// a plain byte shared between threads is a data race in C++; relaxed ordering
// is enough, nothing else is published through it.
class CancelFlag {
 public:
  void request() { flag_.store(1, std::memory_order_relaxed); }
  void reset() { flag_.store(0, std::memory_order_relaxed); }
  bool requested() const { return flag_.load(std::memory_order_relaxed) != 0; }

 private:
  std::atomic<uint8_t> flag_{0};
};

// The four notifications of a long run on a worker thread: a stage begins with
// its text, progress values within the stage, the stage ends, and exactly one
// finished notification with the run's result code.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void stageBegin(std::string_view text) = 0;
  virtual void progress(int value) = 0;
  virtual void stageEnd() = 0;
  virtual void finished(int resultCode) = 0;
  // True once the user has asked the run to stop; stages poll it at their
  // check points. A sink that cannot be cancelled keeps the default.
  virtual bool cancelRequested() const { return false; }
};

}  // namespace quillon::platform
