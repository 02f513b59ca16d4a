// quillon batch JOBFILE.trj [--jobs N] [--target-dir DIR] [--format F]
// [--overwrite] [--power-off] [-q]: runs a batch job file without a window,
// several files at once, and says where the log is. Ctrl-C is the Stop
// button: the files in progress end after their current step and the log
// records the break.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
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
#include "platform/memory.h"
#include "platform/message_sink.h"
#include "platform/paths.h"
#include "platform/power_off.h"
#include "raster/raster_file.h"
#include "settings/number_text.h"
#include "settings/option_store.h"

namespace quillon::cli {
namespace {

namespace fs = std::filesystem;

// The exit status of a run ended by Ctrl-C (128 + SIGINT, as shells report it).
constexpr int kExitUserBreak = 130;

struct BatchArgs {
  std::vector<std::string> positionals;  // the job file, or with --make-job the inputs
  std::string makeJob;
  ParameterOptions parameters;
  int jobs = 0;
  std::string targetDir;
  std::string format;
  bool overwrite = false;
  bool powerOff = false;
  bool quiet = false;
};

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
  CliHost(BatchMessages& messages, bool quiet, size_t rows, bool rowTimes)
      : messages_(messages), quiet_(quiet), rows_(rows), rowTimes_(rowTimes) {}
  bool ConfirmCreateTargetDir(const std::string&) override { return true; }
  void ControlsEnabled(bool enabled) override { messages_.converting_.store(!enabled, std::memory_order_relaxed); }
  bool StopRequested() const override { return StopRequest().requested(); }
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
  // One line per row on stderr, for timing runs (bench/batch_bench.sh reads
  // them): system clock seconds, so a script can set them against its own.
  void RowTimed(size_t row, const batch::RowTimeline& t) override {
    if (!rowTimes_) return;
    std::fprintf(stderr, "row %zu thread %d began %.6f saving %.6f ended %.6f cpu %.6f\n", row + 1, t.thread,
                 t.began, t.saving, t.ended, t.cpuSeconds);
  }
  void Finished(const std::string&, bool) override {}

 private:
  BatchMessages& messages_;
  bool quiet_;
  size_t rows_;
  bool rowTimes_;
};

// Writes a job file with one row per input (directories give their raster
// files), every row with the parameters of the line.
int MakeJobFile(const BatchArgs& args, const formats::OutputFormat* format) {
  if (args.positionals.empty()) return UsageError("batch: --make-job needs the raster files to list");
  platform::JsonFileKeyValueStore store(platform::SettingsFilePath());
  settings::TraceOption record;
  if (auto problem = BuildRecord(args.parameters, store, record)) return UsageError(problem->text);
  // A job file names its sources relative to its own directory when they lie
  // below it, so the directory can move to another machine as a whole.
  const fs::path jobDir = fs::absolute(fs::path(args.makeJob)).parent_path().lexically_normal();
  auto named = [&](const fs::path& file) {
    const fs::path absolute = fs::absolute(file).lexically_normal();
    const fs::path relative = absolute.lexically_relative(jobDir);
    const bool below = !relative.empty() && *relative.begin() != "..";
    return (below ? relative : absolute).string();
  };
  std::vector<std::string> files;
  std::error_code ec;
  for (const std::string& input : args.positionals) {
    if (fs::is_directory(input, ec)) {
      std::vector<std::string> inside;
      for (const auto& entry : fs::directory_iterator(input, ec)) {
        if (entry.is_regular_file(ec) && raster::IsRasterExtension(entry.path().extension().string())) {
          inside.push_back(named(entry.path()));
        }
      }
      if (inside.empty()) return Fail("Cannot list raster files in " + input + ": it holds none");
      std::sort(inside.begin(), inside.end());
      files.insert(files.end(), inside.begin(), inside.end());
    } else if (!fs::is_regular_file(input, ec)) {
      return Fail("Cannot list " + input + ": no such file");
    } else {
      files.push_back(named(input));
    }
  }
  batch::BatchJobList list(store, record);
  list.AddFiles(files);
  list.targetDir = args.targetDir;
  list.targetType = format ? format->index - 1 : 0;
  list.overwrite = args.overwrite;
  list.powerOff = false;
  if (!list.WriteJobFile(args.makeJob)) return kExitFailed;  // the list said why
  if (!args.quiet) std::printf("wrote %s (%zu jobs)\n", args.makeJob.c_str(), list.size());
  return kExitOk;
}

int RunBatchCommand(const BatchArgs& args) {
  const formats::OutputFormat* format = args.format.empty() ? nullptr : formats::FindFormatByName(args.format);
  if (!args.makeJob.empty()) return MakeJobFile(args, format);
  if (args.positionals.empty()) return UsageError("batch: no job file (quillon batch JOBFILE.trj)");
  if (args.positionals.size() > 1) {
    return UsageError("batch: more than one job file ('" + args.positionals[0] + "', '" + args.positionals[1] + "')");
  }
  const std::string& jobFile = args.positionals[0];

  BatchMessages messages;
  platform::ScopedMessageSink guard(messages);
  platform::JsonFileKeyValueStore store(platform::SettingsFilePath());
  settings::TraceOption current;
  settings::LoadOptions(store, current);
  batch::BatchJobList list(store, current);
  if (!list.ReadJobFile(jobFile)) return kExitFailed;
  for (const std::string& note : list.notes()) std::fprintf(stderr, "quillon: %s: %s\n", jobFile.c_str(), note.c_str());
  if (!args.targetDir.empty()) list.targetDir = args.targetDir;
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
  platform::KeepFreedMemoryForReuse();
  // An explicit --jobs N is the number of cores to keep busy: with 1, the
  // one conversion at a time does not spread over the other cores either.
  if (args.jobs > 0) options.threadsPerConversion = 1;
  if (args.powerOff) options.powerOff = platform::PowerOff;
  const char* times = std::getenv("QUILLON_STAGE_TIMES");
  CliHost host(messages, args.quiet, list.size(), times && *times && std::string(times) != "0");
  batch::BatchRun run;
  const batch::BatchRunSummary summary = run.RunBatch(list, host, options);
  if (!summary.ran) return kExitFailed;
  if (!summary.logWritten) std::fprintf(stderr, "quillon: the log %s could not be written completely\n", summary.logPath.c_str());
  std::printf("%s%ld of %ld files converted, %ld failed; log: %s\n", summary.stopped ? "User break! " : "",
              summary.converted, summary.total, summary.failed, summary.logPath.c_str());
  if (summary.stopped) return kExitUserBreak;
  return summary.failed == 0 && summary.logWritten ? kExitOk : kExitFailed;
}

CommandRun SetupBatch(CLI::App& command) {
  auto args = std::make_shared<BatchArgs>();
  command.add_option("JOBFILE", args->positionals,
                     "The job file (.trj) to run; with --make-job the raster files and directories to list")
      ->type_name("");
  command.add_option("-j,--jobs", args->jobs, "Convert N files at once, one core each (default: every core)")
      ->type_name("N")
      ->check(CLI::PositiveNumber);
  command.add_option("--target-dir", args->targetDir, "Write the results (and the log) into DIR")->type_name("DIR");
  command.add_option("-f,--format", args->format, "Output format: " + FormatNames())
      ->type_name("FORMAT")
      ->check(CheckFormatName);
  command.add_flag("--overwrite", args->overwrite, "Replace existing results instead of choosing free names");
  command.add_flag("--power-off", args->powerOff, "Power the machine off when finished, if the job file asks for it");
  command.add_flag("-q,--quiet", args->quiet, "Print nothing but errors and the totals");
  CLI::Option* make = command
                          .add_option("--make-job", args->makeJob,
                                      "Write the job file FILE.trj listing the inputs, each row with the parameters "
                                      "given (--defaults, --chart-type, --set, -m, --threshold), instead of running one")
                          ->type_name("FILE.trj")
                          ->group("Making a job file");
  AddParameterOptions(command, args->parameters, false);
  for (const char* name : {"--defaults", "--chart-type", "--set", "--method", "--threshold"}) {
    command.get_option(name)->group("Making a job file")->needs(make);
  }
  command.footer("The log QuillonBatch.log goes to the target directory. Exit status 130 after Ctrl-C (the log "
                 "then ends with \"User break!\"). QUILLON_STAGE_TIMES=1 prints when each row's conversion began, "
                 "gave up its core to save and ended, and its CPU time.");
  return [args] { return RunBatchCommand(*args); };
}

const Registration kBatch({"batch", "Run a batch job file, or write one with --make-job", 30, SetupBatch});

}  // namespace
}  // namespace quillon::cli
