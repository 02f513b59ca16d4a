#pragma once
// The batch window without its widgets: the job list with the rules that
// enable its commands, the job files and recent job files, the target
// settings, the power-off box that asks before it arms, and the run, which
// converts the list on a worker thread so the window keeps answering while
// it works.
//
// States: Idle → Running (run()) → Stopping (stop(), the run ends after its
// current step) → Idle. A run that ends by itself goes from Running to Idle.
// The window's thread learns what the run did by calling poll(): new log
// text, the progress bar, the rows done; the poll that sees the run ended
// joins the worker, goes back to Idle and shows the closing message.
//
// While a run is active the list must not change: every editing call answers
// false and changes nothing, and only const access and stop() are safe.

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "batch/batch_job.h"
#include "batch/batch_run.h"
#include "platform/power_off.h"

namespace quillon::platform {
class KeyValueStore;
}

namespace quillon::editor {

enum class BatchState { Idle, Running, Stopping };

// One row the run has logged.
struct BatchRowResult {
  size_t row = 0;
  int status = 0;  // a batch::BatchStatus
};

// What happened since the last poll().
struct BatchUpdate {
  // Log text written meanwhile (line ends as in the file).
  std::string log;
  std::vector<BatchRowResult> rows;
  long position = 0;
  long maximum = 0;
  // The run ended with this poll: the window is idle again.
  bool ended = false;
  batch::BatchRunSummary summary;
  // The run asked for the power-off and the machine is going down: the
  // window closes and the application ends.
  bool poweringOff = false;
  // The closing message the window shows once it has shown the rest of the
  // update (stopped: a warning); empty when there is none.
  std::string message;
  bool stopped = false;
};

class BatchWindow {
 public:
  // Opens the window over the current record: the list's working record is
  // a copy of it, its batch-active flag is set, and the window's stored
  // values (target type and folder, recent job files, column widths, jobs at
  // once) are read. Both must outlive the window.
  BatchWindow(platform::KeyValueStore& store, settings::TraceOption& current);
  // Stops a run that is still active and waits for it.
  ~BatchWindow();
  BatchWindow(const BatchWindow&) = delete;
  BatchWindow& operator=(const BatchWindow&) = delete;

  const batch::BatchJobList& list() const { return list_; }
  BatchState state() const { return state_; }
  bool idle() const { return state_ == BatchState::Idle; }

  // ---- which commands are enabled (every one only while idle) ----
  bool canEdit() const { return idle(); }
  // Remove and Parameter need a selected row.
  bool canRemove(size_t selectedRows) const { return idle() && selectedRows > 0; }
  bool canEditParameters(size_t selectedRows) const { return canRemove(selectedRows); }
  // Run and Save job need a row.
  bool canRun() const { return idle() && list_.size() > 0; }
  bool canSaveJob() const { return canRun(); }
  // The Run button stays enabled while running; it stops the run.
  bool runButtonEnabled() const { return state_ == BatchState::Running || canRun(); }

  // ---- editing ----
  // Appends a row per path.
  bool addFiles(const std::vector<std::string>& paths);
  bool removeRows(const std::vector<size_t>& rows);
  // The parameters the Parameter dialog opens with: those of the first
  // selected row. Nothing when no listed row is selected or while running.
  std::optional<settings::TraceOption> parametersFor(const std::vector<size_t>& rows);
  // The dialog's OK: every selected row (and the working record) takes the record.
  bool applyParameters(const std::vector<size_t>& rows, const settings::TraceOption& record);
  // Open job, a recent job file, Save job: see BatchJobList (the messages
  // of a missing or unwritable file go through the message sink).
  bool openJob(const std::string& path);
  bool saveJob(const std::string& path);
  // The recent job files, most recent first, without the empty entries.
  std::vector<std::string> recentJobs() const;

  bool setOverwrite(bool on);
  // Arming the power-off asks first (through the message sink); No leaves it
  // off. Answers the box's state afterwards.
  bool setPowerOff(bool on);
  bool setTargetDir(const std::string& dir);
  bool setTargetType(int position);
  // Conversions at once, as `quillon batch --jobs`: 0 one per core.
  bool setJobs(int jobs);
  int jobs() const { return jobs_; }
  // Column widths the window shows (pixels), kept for the next opening.
  bool setColumnWidth(size_t column, uint32_t width);

  // ---- running ----
  // The Run button: starts a run when idle, asks the run to stop when it is
  // running. Starting asks about a missing target directory first (on the
  // caller's thread); declined, nothing starts. False when no run started.
  bool runOrStop();
  bool run();
  // Running → Stopping: the run ends after its current step.
  void stop();
  // Collects what the run did; see the top of the file. Call it on the
  // window's thread, which then shows the update's message.
  BatchUpdate poll();
  // Blocks until the worker has finished (it still takes a poll() to get
  // back to Idle).
  void waitForWorker();
  // The run's log so far (or the last run's), as written.
  std::string logText() const;

  // Called from the worker when there is something new to poll; at most
  // once until the next poll(). The window schedules a poll on its thread.
  std::function<void()> notify;
  // Turns the machine off after a run that asked for it; empty never does
  // (tests inject a recorder; the application passes platform::PowerOff).
  platform::PowerOffFunction powerOff;
  // Where the log goes without a target directory (empty: the program's directory).
  std::string programDirectory;

  // Closing: the current record gets back what it held at opening, its
  // batch-active flag is cleared, and the window's values are written.
  // Refused (false) while a run is active.
  bool close();

 private:
  class Host;
  void post();  // from the worker: something new to poll

  platform::KeyValueStore& store_;
  settings::TraceOption& current_;
  batch::BatchJobList list_;
  batch::BatchRun run_;
  BatchState state_ = BatchState::Idle;
  int jobs_ = 0;
  bool closed_ = false;
  std::atomic<bool> workerDone_{false};
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> notified_{false};
  std::thread worker_;

  // Shared with the worker.
  mutable std::mutex mutex_;
  std::string log_;
  size_t logPolled_ = 0;
  std::vector<BatchRowResult> rows_;
  long position_ = 0;
  long maximum_ = 0;
  std::string finishedMessage_;
  bool finishedStopped_ = false;
  bool powerOffDue_ = false;
  batch::BatchRunSummary summary_;
};

}  // namespace quillon::editor
