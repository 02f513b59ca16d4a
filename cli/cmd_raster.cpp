// quillon raster INPUT -o OUTPUT.bmp [steps]: runs the raster clean-up steps
// of `quillon trace` and writes the cleaned raster instead of tracing it, so
// a user can look at (or keep) exactly what a trace with the same steps sees.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "command.h"
#include "options_common.h"
#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "platform/paths.h"
#include "raster/raster.h"
#include "raster/raster_file.h"
#include "raster_steps.h"
#include "settings/option_store.h"
#include "stdio_files.h"

namespace quillon::cli {
namespace {

namespace fs = std::filesystem;

struct RasterArgs {
  std::string input;
  std::string output;
  std::string inputFormat;
  std::string threshold;
  bool defaults = false;
  RasterSteps steps;
  bool quiet = false;
};

int RunRaster(RasterArgs& args, const CLI::App& command) {
  args.steps.Collect(command, true);
  const bool toStdout = args.output == "-";
  if (!toStdout && fs::path(args.output).extension() != ".bmp") {
    return UsageError("raster: the cleaned raster is written as BMP; name the output OUTPUT.bmp (or - for standard "
                      "output)");
  }
  platform::JsonFileKeyValueStore store(platform::SettingsFilePath());
  settings::TraceOption record;
  if (!args.defaults) settings::LoadOptions(store, record);
  if (!args.threshold.empty() && args.threshold.rfind("dynamic", 0) != 0) (void)ApplyThreshold(args.threshold, record);
  if (Status s = args.steps.ResolveTemplates(store); !s) return UsageError(s.message());

  ScratchDirectory scratch;
  std::string input = args.input;
  if (input == "-" || toStdout) {
    if (scratch.path().empty()) return Fail("cannot make a temporary directory");
  }
  if (input == "-") {
    Result<std::string> spooled = SpoolStandardInput(scratch.path(), args.inputFormat);
    if (!spooled) return Fail(spooled.message());
    input = *spooled;
  }
  const std::string output = toStdout ? scratch.path() + "/stdout.bmp" : args.output;
  std::error_code ec;
  if (!fs::exists(input, ec)) return Fail("Cannot read raster file " + input + ": no such file");
  if (fs::is_directory(input, ec)) return Fail("Cannot read raster file " + input + ": it is a directory");
  if (auto problem = OutputProblem(output, input)) return Fail(*problem);

  // The loader explains its own failures through the message sink (stderr).
  std::vector<raster::RasterDocument> pages = raster::OpenRasterFile(input);
  if (pages.empty()) return kExitFailed;
  if (toStdout && pages.size() > 1) return UsageError("raster: a multi-page input cannot go to standard output");
  for (size_t i = 0; i < pages.size(); ++i) {
    const std::string target = pages.size() > 1 ? raster::PageName(output, static_cast<int>(i)) : output;
    if (Status s = args.steps.Apply(pages[i].raster, record); !s) {
      return Fail((pages.size() > 1 ? pages[i].name : args.input) + ": " + s.message());
    }
    if (!raster::SaveRaster(pages[i].raster, target)) return kExitFailed;  // the writer said why
    if (!args.quiet && !toStdout) {
      std::printf("wrote %s (%d x %d, %d bits)\n", target.c_str(), pages[i].raster.width(), pages[i].raster.height(),
                  pages[i].raster.bitCount());
    }
  }
  if (toStdout) {
    if (Status s = CopyToStandardOutput(output); !s) return Fail(s.message());
  }
  return kExitOk;
}

CommandRun SetupRaster(CLI::App& command) {
  auto args = std::make_shared<RasterArgs>();
  command.add_option("INPUT", args->input, "The raster file to clean up, or - for standard input")
      ->required()
      ->type_name("");
  command.add_option("-o,--output", args->output,
                     "The cleaned raster, a BMP file (pages of a multi-page input as OUTPUT_0.bmp, ...), or - for "
                     "standard output")
      ->type_name("OUTPUT.bmp")
      ->required();
  command.add_option("--input-format", args->inputFormat,
                     "Raster format of standard input (bmp, jpg, tif, png, gif, pnm, tga, pcx, ...; default: from its signature)")
      ->type_name("EXT");
  command.add_flag("--defaults", args->defaults,
                   "Use the built-in threshold for --fill-holes instead of the stored one");
  AddThresholdOption(command, args->threshold, true);
  args->steps.AddOptions(command);
  command.add_flag("-q,--quiet", args->quiet, "Print nothing but errors");
  command.footer("The steps are those of quillon trace; a trace with the same steps traces exactly this raster.");
  return [args, &command] { return RunRaster(*args, command); };
}

const Registration kRaster({"raster", "Clean up a raster with the trace's raster steps and write it as BMP", 20,
                            SetupRaster});

}  // namespace
}  // namespace quillon::cli
