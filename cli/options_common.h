#pragma once
// Options several subcommands share, declared once so that their help, the
// man page and the completions say the same everywhere: the output options
// (-o, -f, --no-width, --size), the trace parameter options (--defaults,
// --chart-type, --set, -m, --threshold) and the checks of an output path
// made before any work starts.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/format_table.h"
#include "formats/save_job.h"
#include "platform/result.h"
#include "settings/trace_option.h"

namespace CLI {
class App;
}
namespace quillon::platform {
class KeyValueStore;
}

namespace quillon::cli {

// The settings every command's parser shares: a repeated single-value option
// keeps its last value, as scripts that append an override expect.
void ConfigureApp(CLI::App& app);

// "W,H,UNIT" with W and H finite and greater than 0 and UNIT in, cm, mm or px.
// False (size unchanged or partly set) otherwise.
bool ParseSize(const std::string& text, formats::DestinationSize& size);

// The format names -f accepts, for messages ("dxf, dxf-r10, svg, ...").
std::string FormatNames();

// "512M", "2G", "1500" (MiB) into bytes; nullopt when it is not such a size.
std::optional<uint64_t> ParseMemorySize(const std::string& text);

// "" for a format name -f accepts, else the message that says which ones it does.
std::string CheckFormatName(const std::string& name);

struct OutputOptions {
  std::string output;  // "" when not given
  std::string format;  // "" when not given
  bool noWidth = false;
  std::string sizeText;  // "" when not given
  std::optional<formats::DestinationSize> size;  // from sizeText after Resolve
  bool sizeFromRaster = false;                   // --size raster
};

// Declares -o/--output (described by outputHelp), -f/--format, --no-width and
// --size on the command; rasterSize also accepts "--size raster".
void AddOutputOptions(CLI::App& command, OutputOptions& options, const std::string& outputHelp, bool rasterSize);
// Turns sizeText into size or sizeFromRaster (the text was checked while parsing).
void ResolveSize(OutputOptions& options);

// The format named by -f, else the one of the output's extension, else DXF
// (format 1). Null, with `error`, for an unknown name.
const formats::OutputFormat* ChooseFormat(const OutputOptions& options, std::string& error);

// Why the output cannot be written (its directory is missing or read-only,
// it is a directory, it is the input file), or nothing when it can.
std::optional<std::string> OutputProblem(const std::string& output, const std::string& input);

// The trace parameters a command line sets, applied in this order over the
// stored settings (or the built-in ones with --defaults): the chart type, the
// --set pairs, then --method and a numeric or automatic --threshold.
struct ParameterOptions {
  bool defaults = false;
  std::string chartType;  // "" when not given
  std::vector<std::string> pairs;
  std::string method;     // "" when not given
  std::string threshold;  // "" when not given; "dynamic..." is a raster step, not a parameter
};

// Declares the parameter options; with allowDynamic --threshold also accepts
// the dynamic form (the caller runs it as a raster step).
void AddParameterOptions(CLI::App& command, ParameterOptions& options, bool allowDynamic);
// Declares --threshold alone.
void AddThresholdOption(CLI::App& command, std::string& threshold, bool allowDynamic);

// How BuildRecord failed: the text, and whether it is bad usage (2) or a
// failure to find a chart type (1).
struct RecordProblem {
  std::string text;
  bool usage = true;
};
// The record the options give. The store serves stored parameters, chart
// types and series.
std::optional<RecordProblem> BuildRecord(const ParameterOptions& options, const platform::KeyValueStore& store,
                                         settings::TraceOption& record);

}  // namespace quillon::cli
