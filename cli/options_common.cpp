#include "options_common.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace quillon::cli {

namespace fs = std::filesystem;

bool TakeValue(const std::vector<std::string>& args, size_t& i, std::string_view shortName, std::string_view longName,
               std::string& value, bool& missing) {
  const std::string& a = args[i];
  if ((!shortName.empty() && a == shortName) || a == longName) {
    if (i + 1 >= args.size()) {
      missing = true;
      return true;
    }
    value = args[++i];
    return true;
  }
  if (a.size() > longName.size() && a.compare(0, longName.size(), longName) == 0 && a[longName.size()] == '=') {
    value = a.substr(longName.size() + 1);
    return true;
  }
  return false;
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

OptionTaken TakeOutputOption(const std::vector<std::string>& args, size_t& i, OutputOptions& options,
                             std::string& error) {
  const std::string option = args[i];
  std::string value;
  bool missing = false;
  if (option == "--no-width") {
    options.noWidth = true;
    return OptionTaken::Yes;
  }
  if (TakeValue(args, i, "-o", "--output", value, missing)) {
    if (missing) error = option + " needs a file name";
    options.output = value;
  } else if (TakeValue(args, i, "-f", "--format", value, missing)) {
    if (missing) error = option + " needs a format";
    options.format = value;
  } else if (TakeValue(args, i, "", "--size", value, missing)) {
    formats::DestinationSize size;
    if (missing) error = option + " needs W,H,UNIT";
    else if (!ParseSize(value, size)) error = "invalid size '" + value + "' (W,H,UNIT with UNIT in, cm, mm or px)";
    else options.size = size;
  } else {
    return OptionTaken::No;
  }
  return error.empty() ? OptionTaken::Yes : OptionTaken::Error;
}

const formats::OutputFormat* ChooseFormat(const OutputOptions& options, std::string& error) {
  if (!options.format.empty()) {
    const formats::OutputFormat* format = formats::FindFormatByName(options.format);
    if (!format) error = "unknown format '" + options.format + "' (dxf, dxf-r10, svg, svgz, eps, pdf, plt, cgm, wmf)";
    return format;
  }
  const formats::OutputFormat* format = nullptr;
  if (!options.output.empty()) format = formats::FindFormatByExtension(fs::path(options.output).extension().string());
  return format ? format : &formats::FormatForIndex(formats::kFormatDxf2000);
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

}  // namespace quillon::cli
