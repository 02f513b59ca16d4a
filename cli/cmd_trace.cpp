// quillon trace INPUT... [-o OUTPUT|DIR] [options]: traces raster files
// (every page of a multi-page file) and saves the vectors, the pipeline of
// one batch conversion without a window. Inputs may be files, directories
// (their raster files) and "-" (standard input); several run at once with -j.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cctype>
#include <optional>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "batch/convert.h"
#include "batch/parallel_batch.h"
#include "command.h"
#include "formats/format_table.h"
#include "options_common.h"
#include "platform/key_value_store.h"
#include "platform/memory.h"
#include "platform/message_sink.h"
#include "platform/paths.h"
#include "platform/progress.h"
#include "raster/raster_file.h"
#include "raster_steps.h"
#include "stdio_files.h"
#include "trace/progress_model.h"
#include "trace/trace_worker.h"
#include "trace_observer.h"

namespace quillon::cli {
namespace {

namespace fs = std::filesystem;

struct TraceArgs {
  std::vector<std::string> inputs;
  OutputOptions out;
  std::string outputDir;
  std::string inputFormat;
  std::string unit;
  int jobs = 1;
  ParameterOptions parameters;
  RasterSteps steps;
  bool refine = false;
  std::string maxMemory;
  bool quiet = false;
};

// One conversion of the run.
struct Source {
  std::string path;     // what is read (the spooled copy for standard input)
  std::string shown;    // how messages name it
  std::string target;   // what is written (a scratch file for standard output)
  std::string problem;  // why it cannot run; "" when it can
};

int UnitIndex(const std::string& unit) {
  if (unit == "in") return formats::kUnitInch;
  if (unit == "cm") return formats::kUnitCm;
  if (unit == "mm") return formats::kUnitMm;
  return formats::kUnitPixel;
}

// The raster files of a directory (not its subdirectories), sorted by name.
std::vector<std::string> RasterFilesIn(const std::string& dir) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (entry.is_regular_file(ec) && raster::IsRasterExtension(entry.path().extension().string())) {
      files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

int RunTrace(TraceArgs& args, const CLI::App& command) {
  const auto started = std::chrono::steady_clock::now();
  args.steps.Collect(command);
  ResolveSize(args.out);
  std::string error;
  const formats::OutputFormat* format = ChooseFormat(args.out, error);
  if (!format) return UsageError(error);
  if (!formats::WriterForIndex(format->index)) return Fail(std::string(format->cliName) + " output is not available yet");

  // Where the results go.
  const bool toStdout = args.out.output == "-";
  const size_t stdinCount = static_cast<size_t>(std::count(args.inputs.begin(), args.inputs.end(), "-"));
  if (stdinCount > 1) return UsageError("trace: standard input ('-') can be read only once");
  if (toStdout && args.out.format.empty()) return UsageError("trace: -o - (standard output) needs -f FORMAT");
  if (!args.outputDir.empty() && !args.out.output.empty()) {
    return UsageError("trace: give either -o or --output-dir, not both");
  }
  std::error_code ec;
  bool anyDirectory = false;
  for (const std::string& input : args.inputs) anyDirectory = anyDirectory || (input != "-" && fs::is_directory(input, ec));
  // -o names a directory when it is one, ends with "/", or several results
  // are coming; a name with a vector format's extension stays a file name.
  std::string outputDir = args.outputDir;
  if (outputDir.empty() && !args.out.output.empty() && !toStdout) {
    const std::string& o = args.out.output;
    const bool namesDirectory = fs::is_directory(o, ec) || o.back() == '/';
    const bool namesFile = formats::FindFormatByExtension(fs::path(o).extension().string()) != nullptr;
    if (namesDirectory) {
      outputDir = o;
    } else if (args.inputs.size() > 1 || anyDirectory) {
      if (namesFile) {
        return Fail("Cannot save " + o + ": " +
                    (anyDirectory ? std::string("an input is a directory") : std::string("there are several inputs")) +
                    "; give an output directory (-o DIR/ or --output-dir DIR)");
      }
      outputDir = o;
    }
  }
  if (toStdout && (args.inputs.size() > 1 || anyDirectory)) {
    return UsageError("trace: -o - (standard output) takes one input file");
  }
  if (stdinCount == 1 && args.out.output.empty() && outputDir.empty()) {
    return UsageError("trace: standard input ('-') needs -o OUTPUT, -o - or --output-dir");
  }

  // Parameters: the stored ones (or the built-in ones), then the chart type,
  // the --set pairs and the explicit options, in that order.
  platform::JsonFileKeyValueStore store(platform::SettingsFilePath());
  batch::ConvertJob job;
  if (auto problem = BuildRecord(args.parameters, store, job.record)) return UsageError(problem->text);
  if (args.refine) job.record.b_Refine = true;
  if (!args.maxMemory.empty()) {
    const auto budget = ParseMemorySize(args.maxMemory);
    if (!budget) return UsageError("--max-memory: not a size: " + args.maxMemory + " (e.g. 800M or 2G)");
    job.memoryBudget = *budget;
  }
  if (Status s = args.steps.ResolveTemplates(store); !s) return UsageError(s.message());
  const auto hooks = trace::DefaultTraceStageHooks();
  if ((job.record.i_AutoTraceWhat == settings::TraceMethod::Outline && !hooks.outline) ||
      (job.record.i_AutoTraceWhat == settings::TraceMethod::FillPattern && !hooks.fillPattern)) {
    return Fail(std::string("the ") + (job.record.i_AutoTraceWhat == settings::TraceMethod::Outline ? "outline" : "fill") +
                " method is not available yet");
  }
  job.destination = args.out.size;
  job.destinationFromRaster = args.out.sizeFromRaster;
  job.drawingUnit = UnitIndex(args.unit);
  job.targetPosition = format->index - 1;
  job.saveWidth = !args.out.noWidth;

  ScratchDirectory scratch;
  if ((stdinCount > 0 || toStdout) && scratch.path().empty()) return Fail("cannot make a temporary directory");
  if (!outputDir.empty() && !fs::is_directory(outputDir, ec)) {
    fs::create_directories(outputDir, ec);
    if (ec) return Fail("Cannot make the output directory " + outputDir + ": " + ec.message());
  }

  // The conversions, in the order of the line; directories in name order.
  std::vector<Source> sources;
  std::set<std::string> targets;
  auto add = [&](const std::string& path, const std::string& shown) {
    Source s{path, shown, {}, {}};
    if (toStdout) {
      s.target = scratch.path() + "/stdout" + std::string(format->extension);
    } else if (!outputDir.empty()) {
      const std::string stem = path == "-" ? "stdin" : fs::path(path).stem().string();
      std::string target = (fs::path(outputDir) / (stem + std::string(format->extension))).string();
      // Two inputs of one name (plan.tif, plan.bmp) must not overwrite each other.
      for (int n = 0; targets.count(target); ++n) {
        target = (fs::path(outputDir) / (stem + std::to_string(n) + std::string(format->extension))).string();
      }
      s.target = target;
    } else if (!args.out.output.empty()) {
      s.target = args.out.output;
    } else {
      s.target = fs::path(path).replace_extension(format->extension).string();
    }
    targets.insert(s.target);
    sources.push_back(std::move(s));
  };
  for (const std::string& input : args.inputs) {
    if (input == "-") {
      add("-", "standard input");
    } else if (fs::is_directory(input, ec)) {
      const std::vector<std::string> files = RasterFilesIn(input);
      if (files.empty()) {
        sources.push_back(Source{input, input, {}, "Cannot read raster files in " + input + ": it holds none"});
      }
      for (const std::string& file : files) add(file, file);
    } else {
      add(input, input);
    }
  }
  // Refuse what cannot succeed before any trace runs.
  for (Source& s : sources) {
    if (!s.problem.empty()) continue;
    if (s.path == "-") {
      Result<std::string> spooled = SpoolStandardInput(scratch.path(), args.inputFormat);
      if (!spooled) {
        if (sources.size() == 1) return Fail(spooled.message());
        s.problem = spooled.message();
        continue;
      }
      s.path = *spooled;
    } else if (!fs::exists(s.path, ec)) {
      s.problem = "Cannot read raster file " + s.path + ": no such file";
    }
    if (s.problem.empty()) {
      if (auto problem = OutputProblem(s.target, s.path)) s.problem = *problem;
    }
  }

  const bool quiet = args.quiet || toStdout;
  const char* times = std::getenv("QUILLON_STAGE_TIMES");
  const bool stageTimes = times && *times && std::string(times) != "0";
  // Each conversion keeps the reason its raster steps failed, to report it.
  std::vector<std::string> stepFailures(sources.size());
  auto jobFor = [&](size_t i) {
    batch::ConvertJob own = job;
    if (!args.steps.empty()) {
      own.prepareRaster = [steps = &args.steps, record = job.record, why = &stepFailures[i]](raster::CRaster& image) {
        Status s = steps->Apply(image, record, CurrentStepListener());
        if (!s && why->empty()) *why = s.message();
        return s.ok();
      };
    }
    return own;
  };

  long converted = 0, failed = 0;
  const int workers = batch::EffectiveJobs(args.jobs, sources.size());
  if (sources.size() > 1) platform::KeepFreedMemoryForReuse();
  if (workers <= 1) {
    for (size_t i = 0; i < sources.size(); ++i) {
      const Source& s = sources[i];
      if (!s.problem.empty()) {
        ++failed;
        Fail(s.problem);
        continue;
      }
      batch::ConvertJob own = jobFor(i);
      own.leaveDrawingAtExit = i + 1 == sources.size();  // nothing runs after it but the exit
      const bool ok = TraceOne(s.path, s.shown, s.target, own, stepFailures[i],
                               TraceDisplay{!quiet && ::isatty(2), quiet, stageTimes});
      ok ? ++converted : ++failed;
    }
  } else {
    // Several at once through the batch pool; results are reported in the
    // order of the line as they become available.
    ConcurrentSink silent;
    platform::ScopedMessageSink guard(silent);
    std::atomic<long> units{0};
    std::vector<std::unique_ptr<batch::BatchTask>> tasks;
    batch::ConversionPool pool(workers, [] { return StopRequest().requested(); }, units);
    for (size_t i = 0; i < sources.size(); ++i) {
      auto task = std::make_unique<batch::BatchTask>();
      task->row = i;
      task->source = sources[i].path;
      task->target = sources[i].target;
      task->job = jobFor(i);
      tasks.push_back(std::move(task));
      if (sources[i].problem.empty()) pool.Submit(*tasks.back());
    }
    for (size_t i = 0; i < sources.size(); ++i) {
      if (!sources[i].problem.empty()) {
        ++failed;
        Fail(sources[i].problem);
        continue;
      }
      while (!pool.WaitDone(*tasks[i], std::chrono::milliseconds(200))) {
      }
      const bool ok = ReportTask(*tasks[i], sources[i].shown, stepFailures[i], quiet);
      ok ? ++converted : ++failed;
    }
  }

  if (toStdout && converted == 1) {
    if (Status s = CopyToStandardOutput(sources.front().target); !s) return Fail(s.message());
  }
  if (sources.size() > 1 && !args.quiet) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%ld of %zu files converted, %ld failed (%.1f s)\n", converted, sources.size(), failed, seconds);
  }
  return failed == 0 ? kExitOk : kExitFailed;
}

CommandRun SetupTrace(CLI::App& command) {
  auto args = std::make_shared<TraceArgs>();
  command.add_option("INPUT", args->inputs,
                     "Raster files to trace (BMP, JPEG, TIFF, PNG, GIF, PNM, TGA, PCX), directories (their raster files), or - for "
                     "standard input")
      ->required()
      ->type_name("");
  AddOutputOptions(command, args->out,
                   "Output file (default: INPUT with the format's extension), - for standard output (needs -f), or a "
                   "directory when there are several inputs",
                   true);
  command.add_option("--output-dir", args->outputDir, "Write each result into DIR under its input's name (created when "
                                                      "missing)")
      ->type_name("DIR");
  command.add_option("--input-format", args->inputFormat,
                     "Raster format of standard input (bmp, jpg, tif, png, gif, pnm, tga, pcx, ...; default: from its signature)")
      ->type_name("EXT");
  command.add_option("--unit", args->unit,
                     "Drawing unit the writers convert coordinates to: px (raster pixels, default), mm, cm or in, "
                     "at the raster's resolution")
      ->type_name("UNIT")
      ->check(CLI::IsMember({"px", "mm", "cm", "in"}));
  command.add_option("-j,--jobs", args->jobs, "Trace N inputs at once, one core each (default 1; 0: every core)")
      ->type_name("N")
      ->check(CLI::Range(0, 1024));
  AddParameterOptions(command, args->parameters, true);
  args->steps.AddOptions(command);
  command.add_flag("--refine", args->refine,
                   "Refined centre lines: stroke ends at their caps, T-junction stems on the other stroke's centre "
                   "line, dashes kept apart, dots kept as dot circles, circles and arcs only where the ink follows "
                   "them and crossed circles whole (the same as --set Refine=1; off: the plain pipeline's geometry)");
  command.add_option("--max-memory", args->maxMemory,
                     "Stop a conversion with \"out of memory\" once the process holds more than SIZE (M or G; "
                     "default: the stored MaxMemory, see params --max-memory, else half the machine's memory)")
      ->type_name("SIZE");
  command.add_flag("-q,--quiet", args->quiet, "Print nothing but errors");
  command.footer(
      "Parameters apply in this order: the stored settings (or --defaults), --chart-type, --set, then --method and "
      "--threshold.\nA progress bar goes to stderr when it is a terminal; QUILLON_STAGE_TIMES=1 prints each stage's "
      "time and peak memory.");
  return [args, &command] { return RunTrace(*args, command); };
}

const Registration kTrace({"trace", "Trace raster files and save the vectors", 10, SetupTrace});

}  // namespace
}  // namespace quillon::cli
