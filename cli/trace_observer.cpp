#include "trace_observer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "command.h"
#include "platform/progress.h"
#include "trace/progress_model.h"
#include "trace/trace_worker.h"

namespace quillon::cli {
namespace {

// Keeps the first error the raster loader reports, so a failed run prints
// one clear line; warnings (libtiff's unknown tags and the like) are dropped.
class FirstErrorSink final : public platform::MessageSink {
 public:
  bool show(std::string_view text, platform::MessageKind kind) override {
    if (kind == platform::MessageKind::Error && first_.empty()) first_ = text;
    return kind != platform::MessageKind::Question;
  }
  const std::string& first() const { return first_; }

 private:
  std::string first_;
};

// The process's peak resident size so far (VmHWM), 0 when unknown.
long PeakMiB() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return 0;
  char line[256];
  long kib = 0;
  while (std::fgets(line, sizeof line, status)) {
    if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
  }
  std::fclose(status);
  return kib / 1024;
}

// CPU seconds of the whole process so far (every thread): on a busy machine
// a stage's wall time says little, its CPU time stays put.
double ProcessCpuSeconds() {
  timespec t{};
  if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t) != 0) return 0.0;
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Why a conversion did not write its file. An interrupt is no fault of the
// file, so it is not reported as an unknown failure.
std::string ReasonText(int status) {
  return status == batch::kStatusStopped ? "stopped, nothing written" : batch::StatusReasonText(status);
}

// Progress bar on stderr, the written files on stdout, stage times on
// request (QUILLON_STAGE_TIMES=1 prints each stage's seconds to stderr).
class CliObserver final : public batch::ConvertObserver {
 public:
  CliObserver(const TraceDisplay& display, int stageTotal)
      : bar_(display.bar), quiet_(display.quiet), model_(stageTotal), stageTimes_(display.stageTimes) {
    Mark("load and threshold");
  }
  ~CliObserver() override { ClearBar(); }

  void Advance(int units) override {
    units_ += units;
    inTrace_ = false;
    Draw();
  }
  bool StopRequested() const override { return StopRequest().requested(); }
  bool Pump() override { return StopRequest().requested(); }
  void TraceStageBegin(std::string_view text) override {
    inTrace_ = true;
    Mark(std::string(text));
    model_.stageBegin(text);
    Draw();
  }
  void TraceProgress(int value) override {
    model_.progress(value);
    Draw();
  }
  void TraceStageEnd() override {
    model_.stageEnd();
    Mark("(between stages)");
    Draw();
  }
  void SaveStarted(const std::string&) override { Mark("save"); }
  void PageDone(const std::string& sourcePage, const std::string&, int status) override {
    if (status != batch::kStatusConverted) {
      failedPages_ = true;
      Error(sourcePage + ": " + (detail_.empty() ? ReasonText(status) : detail_));
    }
    detail_.clear();
  }
  void FailureDetail(std::string_view message) override {
    if (detail_.empty()) detail_ = message;
  }
  void Saved(const std::string& target, long entities) override {
    Mark("saved");
    ClearBar();
    if (!quiet_) std::printf("wrote %s (%ld entities)\n", target.c_str(), entities);
    std::fflush(stdout);
  }

  void Error(const std::string& text) {
    ClearBar();
    std::fprintf(stderr, "quillon: %s\n", text.c_str());
  }
  const std::string& detail() const { return detail_; }
  bool failedPages() const { return failedPages_; }

  // Times the stage that just ended, when asked to.
  void Mark(const std::string& next) {
    auto now = std::chrono::steady_clock::now();
    const double cpu = stageTimes_ ? ProcessCpuSeconds() : 0.0;
    if (stageTimes_ && !label_.empty()) {
      ClearBar();
      std::fprintf(stderr, "stage %-28s %8.3f s  cpu %7.3f s  peak %6ld MiB\n", label_.c_str(),
                   std::chrono::duration<double>(now - since_).count(), cpu - cpuSince_, PeakMiB());
    }
    label_ = next;
    since_ = now;
    cpuSince_ = cpu;
  }

 private:
  void Draw() {
    if (!bar_) return;
    int percent = units_;
    std::string label = model_.label();
    if (inTrace_ && model_.stageTotal() > 0) {
      // The trace's 80 units, spread over its stages.
      const double stage = model_.stageFraction();
      const double within = (model_.stageNumber() - 1 + stage) / model_.stageTotal();
      percent += static_cast<int>(80 * std::min(1.0, std::max(0.0, within)));
      // Thinning a large ink area is most of a run's time: its own share
      // keeps the line moving.
      if (model_.thinningStage() && model_.stageValues() > 0)
        label += " " + std::to_string(static_cast<int>(100 * stage)) + "%";
    }
    percent = std::min(100, percent);
    if (percent == shownPercent_ && label == shownLabel_) return;
    shownPercent_ = percent;
    shownLabel_ = label;
    const int filled = percent * 30 / 100;
    std::fprintf(stderr, "\r%-32.32s [%s%s] %3d%%", label.c_str(), std::string(filled, '#').c_str(),
                 std::string(30 - filled, ' ').c_str(), percent);
    std::fflush(stderr);
    drawn_ = true;
  }
  void ClearBar() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r%72s\r", "");
    std::fflush(stderr);
    drawn_ = false;
    shownPercent_ = -1;
  }

  bool bar_;
  bool quiet_;
  trace::TraceProgressModel model_;
  bool stageTimes_;
  int units_ = 0;
  bool inTrace_ = false;
  int shownPercent_ = -1;
  std::string shownLabel_;
  bool drawn_ = false;
  std::string detail_;
  bool failedPages_ = false;
  std::string label_;
  std::chrono::steady_clock::time_point since_;
  double cpuSince_ = 0.0;
};

thread_local CliObserver* tCurrent = nullptr;

// A reason that does not name the input gets the input's name in front.
std::string Naming(const std::string& shown, const std::string& why) {
  return why.find(shown) != std::string::npos ? why : shown + ": " + why;
}

}  // namespace

std::function<void(std::string_view)> CurrentStepListener() {
  if (!tCurrent) return {};
  CliObserver* observer = tCurrent;
  return [observer](std::string_view step) { observer->Mark(std::string(step)); };
}

bool TraceOne(const std::string& path, const std::string& shown, const std::string& target, batch::ConvertJob& job,
              const std::string& stepFailure, const TraceDisplay& display) {
  CliObserver observer(display, trace::StageTotal(job.record));
  FirstErrorSink messages;
  int status;
  {
    platform::ScopedMessageSink guard(messages);
    tCurrent = &observer;
    status = batch::ConvertFile(path, target, job, observer);
    tCurrent = nullptr;
  }
  observer.Mark("");
  if (status == batch::kStatusConverted) return true;
  if (status == batch::kStatusPagesConverted) return !observer.failedPages();
  const std::string why = !stepFailure.empty()          ? stepFailure
                          : !messages.first().empty()   ? messages.first()
                          : !observer.detail().empty()  ? observer.detail()
                                                        : ReasonText(status);
  observer.Error(Naming(shown, why));
  return false;
}

bool ReportTask(const batch::BatchTask& task, const std::string& shown, const std::string& stepFailure, bool quiet) {
  if (task.status == batch::kStatusConverted || (task.status == batch::kStatusPagesConverted && task.failedPages == 0)) {
    if (!quiet) {
      if (task.status == batch::kStatusConverted) {
        std::printf("wrote %s (%ld entities)\n", task.target.c_str(), task.entities);
      } else {
        std::printf("wrote the pages of %s (%ld entities)\n", shown.c_str(), task.entities);
      }
      std::fflush(stdout);
    }
    return true;
  }
  std::string why = !stepFailure.empty() ? stepFailure : !task.detail.empty() ? task.detail
                                                                              : ReasonText(task.status);
  if (task.status == batch::kStatusPagesConverted) {
    why = std::to_string(task.failedPages) + " page(s) failed" + (task.detail.empty() ? "" : ": " + task.detail);
  }
  std::fprintf(stderr, "quillon: %s\n", Naming(shown, why).c_str());
  return false;
}

}  // namespace quillon::cli
