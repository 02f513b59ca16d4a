#pragma once
// The batch run: converts every row of a job list to the chosen vector
// format and records each file with its parameters in "QuillonBatch.log"
// (CR LF lines). Rows are converted one after another on the calling thread,
// or several at once (BatchRunOptions::jobs); the log is the same text in the
// same row order either way. A stop ends the run after the current step of
// the files in progress.

#include <cstddef>
#include <ctime>
#include <functional>
#include <string>

#include "batch/batch_job.h"
#include "batch/parallel_batch.h"
#include "platform/power_off.h"
#include "platform/progress.h"

namespace quillon::batch {

inline constexpr const char* kBatchLogName = "QuillonBatch.log";

// The window's (or command line's) side of a run. Every method has a default.
class BatchRunHost {
 public:
  virtual ~BatchRunHost() = default;
  // The target directory does not exist: create it? Default: asks through
  // the message sink.
  virtual bool ConfirmCreateTargetDir(const std::string& question);
  // The controls are disabled while the run is active, enabled after it.
  virtual void ControlsEnabled(bool /*enabled*/) {}
  // Progress bar: position of 0..maximum (100 per row); shown only while running.
  virtual void Progress(long /*position*/, long /*maximum*/) {}
  // Dispatches pending events of the caller (where its Stop button is seen).
  // Called on the running thread between steps.
  virtual void Pump() {}
  // A stop request that does not come through RunBatch (a signal): must be
  // thread-safe and cheap, it is polled by every conversion.
  virtual bool StopRequested() const { return false; }
  // A row has been logged (row number, its task's source, status and the
  // conversion's failure detail, which the log does not carry).
  virtual void RowLogged(size_t /*row*/, const std::string& /*source*/, const std::string& /*target*/,
                         int /*status*/, const std::string& /*detail*/) {}
  // When the row's conversion ran (called with RowLogged).
  virtual void RowTimed(size_t /*row*/, const RowTimeline& /*times*/) {}
  // Text just written to the log (CR LF line ends), for a window that
  // shows the log as it grows. Called on the running thread.
  virtual void LogWritten(const std::string& /*text*/) {}
  // The closing message (stopped or finished, naming the log). Default:
  // shown through the message sink.
  virtual void Finished(const std::string& message, bool stopped);
};

struct BatchRunOptions {
  // Conversions at once: 1 on the calling thread; more on worker threads;
  // 0 or less one per processor core.
  int jobs = 1;
  // Threads one conversion may use when they run one at a time (0: every
  // core). Conversions side by side always use one each, so `jobs` is the
  // number of cores the run keeps busy.
  int threadsPerConversion = 0;
  // Turns the machine off after a run that was not stopped, when the list
  // asks for it. Empty: never (tests, and command lines that were not told to).
  platform::PowerOffFunction powerOff;
  // Where the log goes without a target directory; empty: the program's
  // directory (the current directory when that cannot be written).
  std::string programDirectory;
  // The clock of the log's start and finish times; empty: the system clock.
  std::function<std::time_t()> clock;
};

struct BatchRunSummary {
  // False when the run did not start: the target directory was declined or
  // could not be created, or the log could not be created.
  bool ran = false;
  bool stopped = false;
  long total = 0;
  long converted = 0;
  long failed = 0;
  std::string logPath;
  // False when a write to the log failed (the message sink was told).
  bool logWritten = false;
  bool poweredOff = false;
};

// The local date and time as the log shows them, e.g.
// "Wednesday, December 09, 2026 09:11:07".
std::string LogTimeText(std::time_t when);

class BatchRun {
 public:
  // Starts a run over the list; while a run is active (re-entered from the
  // host's Pump) only requests the stop and returns an empty summary.
  // Messages (directory questions, failures) go through the host and the
  // message sink.
  BatchRunSummary RunBatch(BatchJobList& list, BatchRunHost& host, const BatchRunOptions& options = {});
  // Asks the active run to stop after the current step. Async-signal-safe.
  void RequestStop() { stop_.request(); }
  bool running() const { return running_.requested(); }
  bool stopRequested() const { return stop_.requested(); }

 private:
  bool PumpMessages(BatchRunHost& host);
  bool Stopped(const BatchRunHost& host) const { return stop_.requested() || host.StopRequested(); }

  platform::CancelFlag running_;
  platform::CancelFlag stop_;
};

}  // namespace quillon::batch
