#include "batch/batch_run.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <atomic>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>
#include <set>
#include <system_error>
#include <vector>

#include "batch/parallel_batch.h"
#include "raster/raster_file.h"
#include "platform/message_sink.h"
#include "platform/paths.h"
#include "settings/language_table.h"

namespace quillon::batch {

namespace {

namespace fs = std::filesystem;

constexpr const char* kLineEnd = "\r\n";
constexpr long kUnitsPerRow = 100;
// How long the run waits for the next row's conversion before it looks at
// its events again: short enough for a responsive Stop.
constexpr std::chrono::milliseconds kWaitSlice{20};
// Rows handed to the workers per worker beyond the log's position.
constexpr size_t kQueueAhead = 2;

std::string Separator() { return std::string(53, '=') + kLineEnd + kLineEnd; }

std::string Number(std::string_view key, std::string_view text, long value) {
  return settings::Text(key, text) + " " + std::to_string(value) + kLineEnd;
}

// The log, written block by block and flushed after each, so a run that
// dies half way leaves what it did readable.
class LogFile {
 public:
  explicit LogFile(BatchRunHost& host) : host_(host) {}
  ~LogFile() {
    if (file_) std::fclose(file_);
  }
  bool Open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "wb");
    return file_ != nullptr;
  }
  void Write(const std::string& text) {
    if (!file_) return;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::fflush(file_) != 0) failed_ = true;
    host_.LogWritten(text);
  }
  // False when any write failed.
  bool Close() {
    if (!file_) return false;
    const bool ok = std::fclose(file_) == 0 && !failed_;
    file_ = nullptr;
    return ok;
  }

 private:
  BatchRunHost& host_;
  std::FILE* file_ = nullptr;
  bool failed_ = false;
};

// A row's block: its file line (or its pages' lines), the parameters the
// conversion applied and the separator.
std::string RowBlock(const BatchTask& task) {
  std::string text;
  if (task.status == kStatusPagesConverted) {
    text = task.pageLines;
  } else {
    text = FileLogText(task.source, task.target, task.status, kLineEnd);
  }
  text += settings::Text("BatchLogParameter", "Trace parameter :") + " " + kLineEnd;
  const settings::TraceOption& applied = task.job.applied;
  if (applied.i_Gray == 0) {
    text += settings::Text("BatchLogAlready1bit", "The raster already is 1-bit image!") + kLineEnd;
  } else if (applied.b_AutoGray) {
    text += settings::Text("BatchLogAutoThreshold", "Auto detect 1-bit image threshold!") + kLineEnd;
    text += Number("BatchLogSuggestThreshold", "Suggest threshold =", applied.i_Gray);
  } else {
    text += Number("BatchLogThreshold", "Threshold =", applied.i_Gray);
  }
  text += applied.SummaryText(kLineEnd);
  text += Separator();
  return text;
}

// The targets of a run: every name handed out is claimed, so no two rows of
// one run write the same file, whether they run one after another or at once.
class TargetNames {
 public:
  TargetNames(bool skipExisting) : skipExisting_(skipExisting) {}
  // The row's target; `renamed` when it had to move off the plain name.
  std::string Claim(const std::string& plain, bool& renamed) {
    std::error_code ec;
    auto taken = [&](const std::string& p) { return claimed_.count(p) || (skipExisting_ && fs::exists(p, ec)); };
    std::string name = plain;
    renamed = taken(name);
    if (renamed) {
      const fs::path p(plain);
      const std::string stem = (p.parent_path() / p.stem()).string();
      const std::string extension = p.extension().string();
      name = skipExisting_ ? FreeTargetName(plain) : plain;
      for (unsigned long n = 0; taken(name); ++n) name = stem + std::to_string(n) + extension;
    }
    claimed_.insert(name);
    return name;
  }

 private:
  bool skipExisting_;
  std::set<std::string> claimed_;
};

}  // namespace

bool BatchRunHost::ConfirmCreateTargetDir(const std::string& question) {
  return platform::ShowMessage(question, platform::MessageKind::Question);
}

void BatchRunHost::Finished(const std::string& message, bool stopped) {
  platform::ShowMessage(message, stopped ? platform::MessageKind::Warning : platform::MessageKind::Information);
}

std::string LogTimeText(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[128];
  const size_t n = std::strftime(text, sizeof text, "%A, %B %d, %Y %H:%M:%S", &local);
  return std::string(text, n);
}

bool BatchRun::PumpMessages(BatchRunHost& host) {
  host.Pump();
  if (host.StopRequested()) stop_.request();
  return stop_.requested();
}

BatchRunSummary BatchRun::RunBatch(BatchJobList& list, BatchRunHost& host, const BatchRunOptions& options) {
  BatchRunSummary summary;
  if (running_.requested()) {
    stop_.request();
    return summary;
  }

  const int position = ClampTargetType(list.targetType);
  const std::string extension = TargetExtension(position);
  const bool skipExisting = !list.overwrite;

  // The target directory, created on request.
  std::string targetDir = list.targetDir;
  bool createdTarget = false;
  std::error_code ec;
  if (!targetDir.empty() && !fs::is_directory(targetDir, ec)) {
    if (!host.ConfirmCreateTargetDir(settings::Text(
            "BatchCreateTargetPath", "The target path does not exist, would you like to create it?"))) {
      return summary;
    }
    // Only the last folder is made, below a parent that exists and takes
    // writes: a mistyped or "../"-laden path never grows a tree elsewhere.
    const fs::path wanted = fs::absolute(fs::path(targetDir), ec).lexically_normal();
    fs::path folder = wanted;
    if (!folder.has_filename()) folder = folder.parent_path();
    const fs::path parent = folder.parent_path();
    std::string reason;
    if (!fs::is_directory(parent, ec))
      reason = parent.string() + " does not exist";
    else if (::access(parent.c_str(), W_OK) != 0)
      reason = parent.string() + ": " + std::strerror(errno);
    else if (!fs::create_directory(folder, ec) && !fs::is_directory(folder))
      reason = folder.string() + ": " + ec.message();
    if (!reason.empty()) {
      platform::ShowMessage(
          settings::Text("BatchTargetPathCreateFailMsg", "The target directory can not be created!") + " (" + reason + ")");
      return summary;
    }
    targetDir = folder.string();
    createdTarget = true;
  }
  if (!targetDir.empty() && targetDir.back() != '/') targetDir += '/';

  LogFile log(host);
  if (!targetDir.empty()) {
    summary.logPath = targetDir + kBatchLogName;
    if (!log.Open(summary.logPath)) summary.logPath.clear();
  } else {
    std::string dir = options.programDirectory.empty() ? platform::ProgramDirectory() : options.programDirectory;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    summary.logPath = dir + kBatchLogName;
    if (dir.empty() || !log.Open(summary.logPath)) {
      summary.logPath = (fs::current_path(ec) / kBatchLogName).string();
      if (ec || !log.Open(summary.logPath)) summary.logPath.clear();
    }
  }
  if (summary.logPath.empty()) {
    // Without a log the user could not tell what was converted: do not start.
    platform::ShowMessage(settings::Text("BatchLogCreateFailMsg", "The batch log file can not be created!") + " " +
                          (targetDir.empty() ? std::string(kBatchLogName) : targetDir + kBatchLogName));
    return summary;
  }

  running_.request();
  stop_.reset();
  host.ControlsEnabled(false);
  const size_t rows = list.size();
  const long maximum = kUnitsPerRow * static_cast<long>(rows);
  host.Progress(0, maximum);

  auto now = [&] { return options.clock ? options.clock() : std::time(nullptr); };
  log.Write(settings::Text("BatchLogFileTitle", "The detailed of Quillon batch process : ") + kLineEnd);
  log.Write(settings::Text("BatchLogStartTime", "Start time :") + " " + LogTimeText(now()) + kLineEnd);
  if (createdTarget) {
    // A folder this run made: say where, so a relative target is never a guess.
    log.Write(settings::Text("BatchLogTargetPath", "Target directory :") + " " + targetDir + kLineEnd);
  }
  log.Write(Separator());

  TargetNames names(skipExisting);
  // Prepares row i: its path and parameters (GetJob) and its target. Null
  // when a stop came in while the target was being chosen.
  auto prepare = [&](size_t i) -> std::unique_ptr<BatchTask> {
    auto task = std::make_unique<BatchTask>();
    task->row = i;
    task->source = list.GetJob(i).value_or("");
    task->job.record.CopyFrom(list.working());
    // A source that cannot be opened never reaches the threshold: its block
    // shows the row's own parameters.
    task->job.applied.CopyFrom(list.working());
    task->job.targetPosition = position;
    task->job.saveWidth = true;
    const fs::path source(task->source);
    const std::string plain = targetDir.empty()
                                  ? (source.parent_path() / source.stem()).string() + extension
                                  : targetDir + source.stem().string() + extension;
    bool renamed = false;
    task->target = names.Claim(plain, renamed);
    // A multi-page source writes one file per page: those names are claimed
    // here too, in row order, so pages neither overwrite a file the user kept
    // (Overwrite off) nor collide with another row's target, and parallel runs
    // choose the same names as sequential ones.
    raster::RasterPageReader reader;  // refuses missing files and directories itself
    if (reader.openPages(task->source) && reader.pageCount() >= 2) {
      for (int page = 0; page < reader.pageCount(); ++page) {
        bool pageRenamed = false;
        task->job.pageTargets.push_back(names.Claim(PageTargetName(task->target, page), pageRenamed));
        renamed = renamed || pageRenamed;
      }
    }
    if (renamed && PumpMessages(host)) return nullptr;
    return task;
  };
  auto record = [&](const BatchTask& task) {
    log.Write(RowBlock(task));
    if (task.status == kStatusConverted || task.status == kStatusPagesConverted) {
      ++summary.converted;
    } else {
      ++summary.failed;
    }
    host.RowLogged(task.row, task.source, task.target, task.status, task.detail);
    host.RowTimed(task.row, task.times);
    host.Progress(kUnitsPerRow * static_cast<long>(task.row + 1), maximum);
  };

  std::atomic<long> units{0};
  const int jobs = EffectiveJobs(options.jobs, rows);
  if (jobs <= 1) {
    for (size_t i = 0; i < list.size(); ++i) {
      std::unique_ptr<BatchTask> task = prepare(i);
      if (!task) break;
      task->job.thinningThreads = options.threadsPerConversion;
      TaskObserver observer(
          *task, [&] { return PumpMessages(host); }, [&] { return Stopped(host); }, units);
      RunTask(*task, observer);
      record(*task);
      if (PumpMessages(host)) break;
    }
  } else {
    ConversionPool pool(jobs, [&] { return Stopped(host); }, units);
    std::deque<std::unique_ptr<BatchTask>> inFlight;  // in row order
    size_t next = 0;
    bool stopped = false;
    bool submissionsEnded = false;
    for (;;) {
      // Rows are queued ahead of the workers, so a worker whose row ended
      // before an earlier one never waits for the log to catch up.
      while (!stopped && next < rows && inFlight.size() < kQueueAhead * static_cast<size_t>(jobs)) {
        std::unique_ptr<BatchTask> task = prepare(next);
        if (!task) {
          stopped = true;
          break;
        }
        ++next;
        pool.Submit(*task);
        inFlight.push_back(std::move(task));
      }
      if ((stopped || next == rows) && !submissionsEnded) {
        pool.EndSubmissions();
        submissionsEnded = true;
      }
      if (inFlight.empty()) break;
      // Each row's block is written when its turn comes; rows finished out
      // of order wait for it.
      if (!pool.WaitDone(*inFlight.front(), kWaitSlice)) {
        if (PumpMessages(host)) stopped = true;
        host.Progress(std::min(maximum, units.load(std::memory_order_relaxed)), maximum);
        continue;
      }
      if (inFlight.front()->started) record(*inFlight.front());  // rows a stop kept from starting are not logged
      inFlight.pop_front();
      if (PumpMessages(host)) stopped = true;
    }
  }

  summary.total = static_cast<long>(rows);
  summary.stopped = stop_.requested();
  if (summary.stopped) log.Write(settings::Text("BatchLogUserBreak", "User break!") + kLineEnd);
  log.Write(Number("BatchLogTotalFile", "The number of total files is", summary.total));
  log.Write(Number("BatchLogConvertSuccessFile", "The number of converting successfully files is", summary.converted));
  log.Write(Number("BatchLogConvertFailFile", "The number of converting failure files is", summary.failed));
  if (summary.stopped) {
    log.Write(Number("BatchLogNoConvertFileForUserBreak", "The number of not convert files for user break is",
                     summary.total - summary.failed - summary.converted));
  }
  log.Write(settings::Text("BatchLogFinishTime", "Finish time :") + " " + LogTimeText(now()) + kLineEnd);
  summary.logWritten = log.Close();
  if (!summary.logWritten) {
    platform::ShowMessage(settings::Text("BatchLogWriteFailMsg", "The batch log file could not be written completely:") +
                          " " + summary.logPath);
  }
  summary.ran = true;

  if (summary.stopped) {
    host.Finished(settings::Text("BatchUserBreakMsg", "User break!\nThe detailed information is in the file") + ":\n" +
                      summary.logPath,
                  true);
  } else if (list.powerOffShown && list.powerOff && options.powerOff) {
    summary.poweredOff = options.powerOff();
  } else {
    host.Finished(settings::Text("BatchFinishSuccess", "Batch process finished!\nThe detailed is in the file") + ":\n" +
                      summary.logPath,
                  false);
  }
  running_.reset();
  host.ControlsEnabled(true);
  return summary;
}

}  // namespace quillon::batch
