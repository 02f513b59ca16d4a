#include "editor/batch_window.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "settings/language_table.h"
#include "settings/option_store.h"

namespace quillon::editor {

namespace {

// Beside the window's other values; not one of the stored settings of the
// Windows program, which always converted one file at a time.
constexpr const char* kJobsValue = "Jobs";
// The spin box's range: more conversions at once than this only fight over memory.
constexpr int kMaxJobs = 64;

}  // namespace

// The run's side of the window, called on the worker thread: everything it
// hears is stored under the window's lock for the next poll().
class BatchWindow::Host final : public batch::BatchRunHost {
 public:
  explicit Host(BatchWindow& window) : window_(window) {}

  // The window asked before the run started.
  bool ConfirmCreateTargetDir(const std::string&) override { return true; }
  // Set by stop() on the window's thread before or during the run; the
  // run's own stop flag is only reset by the run itself, so a stop pressed
  // before the worker got going would be lost there.
  bool StopRequested() const override { return window_.stopRequested_; }
  void Progress(long position, long maximum) override {
    {
      std::lock_guard lock(window_.mutex_);
      window_.position_ = position;
      window_.maximum_ = maximum;
    }
    window_.post();
  }
  void RowLogged(size_t row, const std::string&, const std::string&, int status, const std::string&) override {
    {
      std::lock_guard lock(window_.mutex_);
      window_.rows_.push_back({row, status});
    }
    window_.post();
  }
  void LogWritten(const std::string& text) override {
    {
      std::lock_guard lock(window_.mutex_);
      window_.log_ += text;
    }
    window_.post();
  }
  // Shown by poll() on the window's thread, after the worker has ended.
  void Finished(const std::string& message, bool stopped) override {
    std::lock_guard lock(window_.mutex_);
    window_.finishedMessage_ = message;
    window_.finishedStopped_ = stopped;
  }

 private:
  BatchWindow& window_;
};

BatchWindow::BatchWindow(platform::KeyValueStore& store, settings::TraceOption& current)
    : store_(store), current_(current), list_(store, current) {
  current_.batchActive = true;
  list_.LoadWindowSettings(store_);
  if (const std::optional<uint32_t> jobs = store_.readDword(settings::kBatchKey, kJobsValue))
    jobs_ = static_cast<int>(std::min<uint32_t>(*jobs, kMaxJobs));
}

BatchWindow::~BatchWindow() {
  if (worker_.joinable()) {
    stopRequested_ = true;
    worker_.join();
  }
  if (!closed_) current_.batchActive = false;
}

void BatchWindow::post() {
  if (!notified_.exchange(true) && notify) notify();
}

// ---- editing ----

bool BatchWindow::addFiles(const std::vector<std::string>& paths) {
  if (!canEdit()) return false;
  list_.AddFiles(paths);
  return true;
}

bool BatchWindow::removeRows(const std::vector<size_t>& rows) {
  if (!canEdit()) return false;
  list_.RemoveJobs(rows);
  return true;
}

std::optional<settings::TraceOption> BatchWindow::parametersFor(const std::vector<size_t>& rows) {
  if (!canEdit() || rows.empty()) return std::nullopt;
  const size_t first = *std::min_element(rows.begin(), rows.end());
  if (first >= list_.size() || !list_.GetJob(first)) return std::nullopt;
  settings::TraceOption record;
  record.CopyFrom(list_.working());
  record.batchActive = true;
  return record;
}

bool BatchWindow::applyParameters(const std::vector<size_t>& rows, const settings::TraceOption& record) {
  if (!canEdit()) return false;
  list_.SetParameters(rows, record);
  return true;
}

bool BatchWindow::openJob(const std::string& path) { return canEdit() && list_.ReadJobFile(path); }

bool BatchWindow::saveJob(const std::string& path) { return canSaveJob() && list_.WriteJobFile(path); }

std::vector<std::string> BatchWindow::recentJobs() const {
  std::vector<std::string> paths;
  for (const std::string& path : list_.recentJobs)
    if (!path.empty()) paths.push_back(path);
  return paths;
}

bool BatchWindow::setOverwrite(bool on) {
  if (!canEdit()) return false;
  list_.overwrite = on;
  return true;
}

bool BatchWindow::setPowerOff(bool on) {
  if (!canEdit()) return list_.powerOff;
  if (on && !list_.powerOff &&
      !platform::ShowMessage(settings::Text("BatchPowerOffConfirmMsg",
                                            "The computer will be turned off when the batch process has "
                                            "finished.\nTurn it off then?"),
                             platform::MessageKind::Question)) {
    return false;
  }
  list_.powerOff = on;
  return on;
}

bool BatchWindow::setTargetDir(const std::string& dir) {
  if (!canEdit()) return false;
  list_.targetDir = dir;
  return true;
}

bool BatchWindow::setTargetType(int position) {
  if (!canEdit()) return false;
  list_.targetType = batch::ClampTargetType(position);
  return true;
}

bool BatchWindow::setJobs(int jobs) {
  if (!canEdit()) return false;
  jobs_ = std::clamp(jobs, 0, kMaxJobs);
  return true;
}

bool BatchWindow::setColumnWidth(size_t column, uint32_t width) {
  if (column >= list_.columnWidths.size()) return false;
  list_.columnWidths[column] = width;
  return true;
}

// ---- running ----

bool BatchWindow::runOrStop() {
  if (state_ == BatchState::Idle) return run();
  stop();
  return false;
}

bool BatchWindow::run() {
  if (!canRun()) return false;
  // The question needs the user, so it is asked here rather than on the worker.
  std::error_code ec;
  if (!list_.targetDir.empty() && !std::filesystem::is_directory(list_.targetDir, ec) &&
      !platform::ShowMessage(settings::Text("BatchCreateTargetPath",
                                            "The target path does not exist, would you like to create it?"),
                             platform::MessageKind::Question)) {
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    log_.clear();
    logPolled_ = 0;
    rows_.clear();
    position_ = 0;
    maximum_ = 0;
    finishedMessage_.clear();
    finishedStopped_ = false;
    powerOffDue_ = false;
    summary_ = {};
  }
  workerDone_ = false;
  notified_ = false;
  stopRequested_ = false;
  state_ = BatchState::Running;

  batch::BatchRunOptions options;
  options.jobs = jobs_;
  // As on the command line: a chosen number of conversions is the number of
  // cores kept busy, one each; one at a time without a choice uses them all.
  if (jobs_ > 0) options.threadsPerConversion = 1;
  options.programDirectory = programDirectory;
  // The machine goes down from the window's thread, after the worker has
  // ended and the window has closed; the run only records the request.
  options.powerOff = [this] {
    std::lock_guard lock(mutex_);
    powerOffDue_ = true;
    return true;
  };
  worker_ = std::thread([this, options] {
    Host host(*this);
    batch::BatchRunSummary summary = run_.RunBatch(list_, host, options);
    {
      std::lock_guard lock(mutex_);
      summary_ = summary;
    }
    workerDone_ = true;
    notified_ = false;  // the end must always reach the window
    post();
  });
  return true;
}

void BatchWindow::stop() {
  if (state_ != BatchState::Running) return;
  stopRequested_ = true;
  run_.RequestStop();
  state_ = BatchState::Stopping;
}

BatchUpdate BatchWindow::poll() {
  notified_ = false;
  BatchUpdate update;
  if (!worker_.joinable()) return update;
  const bool done = workerDone_;
  std::string message;
  bool stopped = false;
  bool powerOffDue = false;
  {
    std::lock_guard lock(mutex_);
    update.log = log_.substr(logPolled_);
    logPolled_ = log_.size();
    update.rows.swap(rows_);
    update.position = position_;
    update.maximum = maximum_;
    if (done) {
      update.summary = summary_;
      message = finishedMessage_;
      stopped = finishedStopped_;
      powerOffDue = powerOffDue_;
    }
  }
  if (!done) return update;
  worker_.join();
  state_ = BatchState::Idle;
  update.ended = true;
  update.stopped = stopped;
  if (powerOffDue) {
    update.poweringOff = powerOff && powerOff();
    if (!update.poweringOff) {
      // The run told the user nothing, expecting the machine to go down.
      message = settings::Text("BatchPowerOffFailMsg", "The computer could not be turned off.") + "\n" +
                settings::Text("BatchFinishSuccess", "Batch process finished!\nThe detailed is in the file") +
                ":\n" + update.summary.logPath;
    }
  }
  if (!update.poweringOff) update.message = message;
  return update;
}

void BatchWindow::waitForWorker() {
  // Joining here would leave poll() nothing to report; wait for the flag instead.
  while (worker_.joinable() && !workerDone_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

std::string BatchWindow::logText() const {
  std::lock_guard lock(mutex_);
  return log_;
}

bool BatchWindow::close() {
  if (!idle()) return false;
  const bool saved = list_.Close(current_, store_);
  closed_ = true;
  return saved && store_.writeDword(settings::kBatchKey, kJobsValue, static_cast<uint32_t>(jobs_));
}

}  // namespace quillon::editor
