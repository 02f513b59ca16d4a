#include "options_common.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "raster_steps.h"
#include "settings/job_params.h"
#include "settings/option_store.h"

namespace quillon::cli {

namespace fs = std::filesystem;

void ConfigureApp(CLI::App& app) {
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.get_formatter()->column_width(34);
}

bool ParseSize(const std::string& text, formats::DestinationSize& size) {
  size_t a = text.find(','), b = a == std::string::npos ? a : text.find(',', a + 1);
  if (b == std::string::npos) return false;
  auto number = [](const std::string& s, double& v) {
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return !s.empty() && end && *end == '\0' && std::isfinite(v) && v > 0.0;
  };
  if (!number(text.substr(0, a), size.width) || !number(text.substr(a + 1, b - a - 1), size.height)) return false;
  const std::string unit = text.substr(b + 1);
  if (unit == "in") size.unit = formats::kUnitInch;
  else if (unit == "cm") size.unit = formats::kUnitCm;
  else if (unit == "mm") size.unit = formats::kUnitMm;
  else if (unit == "px") size.unit = formats::kUnitPixel;
  else return false;
  return true;
}

std::string FormatNames() { return "dxf, dxf-r10, svg, svgz, eps, pdf, plt, cgm, wmf"; }

std::string CheckFormatName(const std::string& name) {
  return formats::FindFormatByName(name) ? std::string() : "unknown format '" + name + "' (" + FormatNames() + ")";
}

void AddOutputOptions(CLI::App& command, OutputOptions& options, const std::string& outputHelp, bool rasterSize) {
  command.add_option("-o,--output", options.output, outputHelp)->type_name("OUTPUT");
  command.add_option("-f,--format", options.format, "Output format: " + FormatNames() +
                                                        " (default: from the output's extension, else dxf)")
      ->type_name("FORMAT")
      ->check(CheckFormatName);
  command.add_flag("--no-width", options.noWidth, "Write every line without its traced width");
  command
      .add_option("--size", options.sizeText,
                  rasterSize ? "Page size of SVG and PDF output: W,H,UNIT (UNIT in, cm, mm or px), or 'raster' for "
                               "the raster's physical size at its resolution"
                             : "Page size of SVG and PDF output: W,H,UNIT (UNIT in, cm, mm or px)")
      ->type_name(rasterSize ? "W,H,UNIT|raster" : "W,H,UNIT")
      ->check([rasterSize](const std::string& text) {
        formats::DestinationSize size;
        if (rasterSize && text == "raster") return std::string();
        return ParseSize(text, size) ? std::string()
                                     : "invalid size '" + text + "' (W,H,UNIT with UNIT in, cm, mm or px" +
                                           (rasterSize ? ", or raster)" : ")");
      });
}

void ResolveSize(OutputOptions& options) {
  if (options.sizeText.empty()) return;
  if (options.sizeText == "raster") {
    options.sizeFromRaster = true;
    return;
  }
  formats::DestinationSize size;
  if (ParseSize(options.sizeText, size)) options.size = size;
}

const formats::OutputFormat* ChooseFormat(const OutputOptions& options, std::string& error) {
  if (!options.format.empty()) {
    const formats::OutputFormat* format = formats::FindFormatByName(options.format);
    if (!format) error = "unknown format '" + options.format + "' (" + FormatNames() + ")";
    return format;
  }
  // An output without extension (or standard output) is DXF; an extension
  // that names no format is refused rather than given DXF content.
  const std::string extension = options.output.empty() ? "" : fs::path(options.output).extension().string();
  if (extension.empty()) return &formats::FormatForIndex(formats::kFormatDxf2000);
  const formats::OutputFormat* format = formats::FindFormatByExtension(extension);
  if (!format) {
    error = "unknown output extension '" + extension +
            "' (.dxf, .svg, .svgz, .eps, .pdf, .plt/.hpgl/.hpg/.hgl, .cgm, .wmf; or name the format with -f)";
  }
  return format;
}

std::optional<std::string> OutputProblem(const std::string& output, const std::string& input) {
  std::error_code ec;
  fs::path out(output);
  fs::path dir = out.parent_path().empty() ? fs::path(".") : out.parent_path();
  if (!fs::is_directory(dir, ec)) return "Cannot save " + output + ": the directory " + dir.string() + " does not exist";
  if (::access(dir.c_str(), W_OK) != 0) return "Cannot save " + output + ": the directory " + dir.string() + " is not writable";
  if (fs::is_directory(out, ec)) return "Cannot save " + output + ": it is a directory";
  if (fs::exists(out, ec) && fs::equivalent(out, fs::path(input), ec)) {
    return "Cannot save " + output + ": it is the input file";
  }
  return std::nullopt;
}

void AddParameterOptions(CLI::App& command, ParameterOptions& options, bool allowDynamic) {
  command.add_flag("--defaults", options.defaults,
                   "Start from the built-in parameters instead of the stored settings");
  command.add_option("--chart-type", options.chartType, "Load a stored or built-in chart type first")
      ->type_name("NAME");
  command
      .add_option("--set", options.pairs,
                  "Set a job-file parameter key (Method, Chart, Straighten, Connect, distance, ...); repeatable, "
                  "keys not named keep their values")
      ->type_name("KEY=VALUE")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command.add_option("-m,--method", options.method, "Trace method: centreline, outline or fill")
      ->type_name("METHOD")
      ->check(CLI::IsMember({"centreline", "centerline", "outline", "fill"}));
  AddThresholdOption(command, options.threshold, allowDynamic);
}

void AddThresholdOption(CLI::App& command, std::string& threshold, bool allowDynamic) {
  command
      .add_option("--threshold", threshold,
                  allowDynamic ? "Threshold to black and white: a level 0..255, auto, or dynamic[:BOX,RATIO] "
                                 "(box 50..200 pixels, contrast ratio 0.20..8.00; a raster step)"
                               : "Threshold to black and white: a level 0..255 or auto")
      ->type_name(allowDynamic ? "N|auto|dynamic[:BOX,RATIO]" : "N|auto")
      ->check([allowDynamic](const std::string& text) {
        if (allowDynamic && text.rfind("dynamic", 0) == 0) {
          DynamicThreshold dynamic;
          return ParseDynamicThreshold(text, dynamic);
        }
        settings::TraceOption record;
        return ApplyThreshold(text, record)
                   ? std::string()
                   : "invalid threshold '" + text + "' (a level 0..255, auto" + (allowDynamic ? " or dynamic" : "") +
                         ")";
      });
}

std::optional<RecordProblem> BuildRecord(const ParameterOptions& options, const platform::KeyValueStore& store,
                                         settings::TraceOption& record) {
  if (!options.defaults) settings::LoadOptions(store, record);
  if (!options.chartType.empty()) {
    if (Status s = settings::ApplyChartTypeByName(record, options.chartType, store); !s) {
      return RecordProblem{s.message(), false};
    }
  }
  if (Status s = settings::ApplyJobParameters(record, options.pairs, store); !s) return RecordProblem{s.message(), true};
  if (options.method == "centreline" || options.method == "centerline") {
    record.i_AutoTraceWhat = settings::TraceMethod::CenterLine;
  } else if (options.method == "outline") {
    record.i_AutoTraceWhat = settings::TraceMethod::Outline;
  } else if (options.method == "fill") {
    record.i_AutoTraceWhat = settings::TraceMethod::FillPattern;
  }
  if (!options.threshold.empty() && options.threshold.rfind("dynamic", 0) != 0) {
    (void)ApplyThreshold(options.threshold, record);
  }
  return std::nullopt;
}

// "512M", "2G", "1500" (MiB) into bytes; nullopt when it is not such a size.
std::optional<uint64_t> ParseMemorySize(const std::string& text) {
  uint64_t value = 0;
  size_t i = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    if (value > (uint64_t{1} << 40)) return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
  }
  if (i == 0 || value == 0) return std::nullopt;
  const std::string unit = text.substr(i);
  if (unit.empty() || unit == "M" || unit == "m" || unit == "MiB") return value << 20;
  if (unit == "G" || unit == "g" || unit == "GiB") return value << 30;
  return std::nullopt;
}

}  // namespace quillon::cli
