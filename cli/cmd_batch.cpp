// quillon batch JOBFILE.trj [--jobs N] [--target-dir DIR] [--format F]
// [--overwrite] [--power-off] [-q]: runs a batch job file without a window,
// several files at once, and says where the log is. Ctrl-C is the Stop
// button: the files in progress end after their current step and the log
// records the break.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "batch/batch_job.h"
#include "batch/batch_run.h"
#include "batch/convert.h"
#include "command.h"
#include "formats/format_table.h"
#include "options_common.h"
#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "platform/paths.h"
#include "platform/power_off.h"
#include "settings/number_text.h"
#include "settings/option_store.h"

namespace quillon::cli {
namespace {

constexpr const char* kUsage =
    "usage: quillon batch JOBFILE.trj [--jobs N] [--target-dir DIR] [--format FORMAT] [--overwrite] "
    "[--power-off] [-q]";
// The exit status of a run ended by Ctrl-C (128 + SIGINT, as shells report it).
constexpr int kExitUserBreak = 130;

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int) {
  gInterrupted = 1;
  // A second Ctrl-C ends the process at once; targets are written through
  // temporary files, so none is left half written.
  std::signal(SIGINT, SIG_DFL);
}

struct BatchArgs {
  std::string jobFile;
  int jobs = 0;
  std::optional<std::string> targetDir;
  std::string format;
  bool overwrite = false;
  bool powerOff = false;
  bool quiet = false;
};

std::optional<std::string> Parse(const std::vector<std::string>& args, BatchArgs& out) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string value;
    bool missing = false;
    if (TakeValue(args, i, "-j", "--jobs", value, missing)) {
      const auto n = settings::ParseInteger(value);
      if (missing || !n || *n < 1) return "batch: --jobs needs a number of files at once, 1 or more";
      out.jobs = *n;
    } else if (TakeValue(args, i, "", "--target-dir", value, missing)) {
      if (missing) return std::string("batch: --target-dir needs a directory");
      out.targetDir = value;
    } else if (TakeValue(args, i, "-f", "--format", value, missing)) {
      if (missing) return std::string("batch: --format needs a format (dxf, dxf-r10, svg, svgz, eps, pdf, plt, cgm, wmf)");
      out.format = value;
    } else if (a == "--overwrite") {
      out.overwrite = true;
    } else if (a == "--power-off") {
      out.powerOff = true;
    } else if (a == "-q" || a == "--quiet") {
      out.quiet = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return "batch: unknown option '" + a + "' (" + kUsage + ")";
    } else if (out.jobFile.empty()) {
      out.jobFile = a;
    } else {
      return "batch: more than one job file ('" + out.jobFile + "', '" + a + "')";
    }
  }
  if (out.jobFile.empty()) return std::string("batch: no job file (") + kUsage + ")";
  return std::nullopt;
}

// Messages of the run: shown on stderr, except while files are converted —
// the loader's complaints about a bad source are in the row's line instead.
class BatchMessages final : public platform::MessageSink {
 public:
  bool show(std::string_view text, platform::MessageKind kind) override {
    if (kind == platform::MessageKind::Question) return true;  // the target directory: create it
    if (converting_.load(std::memory_order_relaxed)) return true;
    std::fprintf(stderr, "quillon: %.*s\n", static_cast<int>(text.size()), text.data());
    return true;
  }
  std::atomic<bool> converting_{false};
};

class CliHost final : public batch::BatchRunHost {
 public:
  CliHost(BatchMessages& messages, bool quiet, size_t rows) : messages_(messages), quiet_(quiet), rows_(rows) {}
  bool ConfirmCreateTargetDir(const std::string&) override { return true; }
  void ControlsEnabled(bool enabled) override { messages_.converting_.store(!enabled, std::memory_order_relaxed); }
  bool StopRequested() const override { return gInterrupted != 0; }
  void RowLogged(size_t row, const std::string& source, const std::string& target, int status,
                 const std::string& detail) override {
    const bool ok = status == batch::kStatusConverted || status == batch::kStatusPagesConverted;
    if (!ok) {
      const std::string why = detail.empty() ? std::string() : " (" + detail + ")";
      std::fprintf(stderr, "quillon: [%zu/%zu] %s: %s%s\n", row + 1, rows_, source.c_str(),
                   batch::StatusReasonText(status).c_str(), why.c_str());
    } else if (!quiet_) {
      std::printf("[%zu/%zu] %s ==> %s\n", row + 1, rows_, source.c_str(),
                  status == batch::kStatusPagesConverted ? "(pages)" : target.c_str());
      std::fflush(stdout);
    }
  }
  void Finished(const std::string&, bool) override {}

 private:
  BatchMessages& messages_;
  bool quiet_;
  size_t rows_;
};

int RunBatchCommand(const std::vector<std::string>& argv) {
  BatchArgs args;
  if (auto problem = Parse(argv, args)) return UsageError(*problem);
  const formats::OutputFormat* format = nullptr;
  if (!args.format.empty()) {
    format = formats::FindFormatByName(args.format);
    if (!format) return UsageError("unknown format '" + args.format + "' (dxf, dxf-r10, svg, svgz, eps, pdf, plt, cgm, wmf)");
  }

  BatchMessages messages;
  platform::ScopedMessageSink guard(messages);
  platform::JsonFileKeyValueStore store(platform::SettingsFilePath());
  settings::TraceOption current;
  settings::LoadOptions(store, current);
  batch::BatchJobList list(store, current);
  if (!list.ReadJobFile(args.jobFile)) return kExitFailed;
  for (const std::string& note : list.notes()) std::fprintf(stderr, "quillon: %s: %s\n", args.jobFile.c_str(), note.c_str());
  if (args.targetDir) list.targetDir = *args.targetDir;
  if (format) list.targetType = format->index - 1;
  if (args.overwrite) list.overwrite = true;
  if (list.powerOff && !args.powerOff && !args.quiet) {
    std::fprintf(stderr, "quillon: the job file asks to power off when finished; ignored without --power-off\n");
  }
  if (!formats::WriterForIndex(list.targetType + 1)) {
    std::fprintf(stderr, "quillon: %s output is not available yet\n",
                 std::string(formats::FormatForIndex(list.targetType + 1).cliName).c_str());
    return kExitFailed;
  }

  batch::BatchRunOptions options;
  options.jobs = args.jobs;
  // An explicit --jobs N is the number of cores to keep busy: with 1, the
  // one conversion at a time does not spread over the other cores either.
  if (args.jobs > 0) options.threadsPerConversion = 1;
  if (args.powerOff) options.powerOff = platform::PowerOff;
  CliHost host(messages, args.quiet, list.size());
  batch::BatchRun run;
  std::signal(SIGINT, OnInterrupt);
  const batch::BatchRunSummary summary = run.RunBatch(list, host, options);
  std::signal(SIGINT, SIG_DFL);
  if (!summary.ran) return kExitFailed;
  if (!summary.logWritten) std::fprintf(stderr, "quillon: the log %s could not be written completely\n", summary.logPath.c_str());
  std::printf("%s%ld of %ld files converted, %ld failed; log: %s\n", summary.stopped ? "User break! " : "",
              summary.converted, summary.total, summary.failed, summary.logPath.c_str());
  if (summary.stopped) return kExitUserBreak;
  return summary.failed == 0 && summary.logWritten ? kExitOk : kExitFailed;
}

const Registration kBatch({"batch", "batch JOBFILE.trj [--jobs N] [--target-dir DIR] [--format F] [--overwrite]  run a job file",
                           RunBatchCommand});

}  // namespace
}  // namespace quillon::cli
