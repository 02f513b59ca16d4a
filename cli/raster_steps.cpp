#include "raster_steps.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "command.h"
#include "platform/progress.h"
#include "raster/brightness_contrast.h"
#include "raster/colour_replace.h"
#include "raster/median_filter.h"
#include "raster/raster.h"
#include "raster/smart_threshold.h"
#include "raster/template_library.h"
#include "settings/language_table.h"

namespace quillon::cli {

namespace {

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (;;) {
    const size_t comma = text.find(',', from);
    parts.push_back(text.substr(from, comma - from));
    if (comma == std::string::npos) return parts;
    from = comma + 1;
  }
}

bool ParseNumber(const std::string& text, double& value) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && end && *end == '\0' && std::isfinite(value);
}

bool ParseInt(const std::string& text, int& value) {
  if (text.empty() || text.size() > 9) return false;
  size_t start = text[0] == '-' ? 1 : 0;
  if (start == text.size() || text.find_first_not_of("0123456789", start) != std::string::npos) return false;
  value = std::stoi(text);
  return true;
}

struct ResampleSpec {
  int width = 0, height = 0;  // 0: from the scale
  double scale = 1.0;
  raster::ResampleFilter filter = raster::kDefaultResampleFilter;
};

constexpr const char* kFilterNames[raster::kResampleFilterCount] = {"triangle", "box",     "hermite", "bell",
                                                                    "bspline",  "lanczos3", "mitchell"};

// "W,H[,FILTER]" or "SCALE[,FILTER]".
std::string ParseResample(const std::string& text, ResampleSpec& spec) {
  std::vector<std::string> parts = SplitCommas(text);
  const std::string usage = "invalid resample '" + text + "' (W,H or SCALE, then optionally a filter: triangle, box, "
                            "hermite, bell, bspline, lanczos3, mitchell)";
  double first = 0, second = 0;
  if (parts.empty() || !ParseNumber(parts[0], first)) return usage;
  size_t next = 1;
  if (parts.size() > 1 && ParseNumber(parts[1], second)) {
    if (first != std::floor(first) || second != std::floor(second) || first < 1 || second < 1 || first > 1e6 ||
        second > 1e6) {
      return "resample size " + parts[0] + "," + parts[1] + " must be whole numbers of pixels, 1 or more";
    }
    spec.width = static_cast<int>(first);
    spec.height = static_cast<int>(second);
    next = 2;
  } else {
    if (!(first > 0) || first > 100) return "resample scale " + parts[0] + " must lie above 0 and at most 100";
    spec.scale = first;
  }
  if (parts.size() > next + 1) return usage;
  if (parts.size() == next + 1) {
    const auto* found = std::find(std::begin(kFilterNames), std::end(kFilterNames), parts[next]);
    if (found == std::end(kFilterNames)) return usage;
    spec.filter = static_cast<raster::ResampleFilter>(found - std::begin(kFilterNames));
  }
  return {};
}

// "#RRGGBB" or "RRGGBB".
bool ParseColour(std::string text, settings::Rgb& colour) {
  if (!text.empty() && text[0] == '#') text.erase(0, 1);
  if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
  colour = settings::Rgb::FromHex(static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 16)));
  return true;
}

struct ReplaceSpec {
  settings::Rgb from, to;
  int bound = raster::kColorReplaceBoundDefault;
};

// "FROM,TO[,BOUND]": colours as RRGGBB, the dialog's bound 0..30000.
std::string ParseReplace(const std::string& text, ReplaceSpec& spec) {
  std::vector<std::string> parts = SplitCommas(text);
  if ((parts.size() != 2 && parts.size() != 3) || !ParseColour(parts[0], spec.from) || !ParseColour(parts[1], spec.to)) {
    return "invalid colour replacement '" + text + "' (FROM,TO[,TOL] with colours as RRGGBB, e.g. ff0000,000000,2000)";
  }
  if (parts.size() == 3 && (!ParseInt(parts[2], spec.bound) || spec.bound < raster::kColorReplaceBoundMin ||
                            spec.bound > raster::kColorReplaceBoundMax)) {
    return "colour replacement tolerance " + parts[2] + " is out of range (0..30000)";
  }
  return {};
}

struct CropSpec {
  int x = 0, y = 0, width = 0, height = 0;
};

std::string ParseCrop(const std::string& text, CropSpec& spec) {
  std::vector<std::string> parts = SplitCommas(text);
  if (parts.size() != 4 || !ParseInt(parts[0], spec.x) || !ParseInt(parts[1], spec.y) ||
      !ParseInt(parts[2], spec.width) || !ParseInt(parts[3], spec.height) || spec.x < 0 || spec.y < 0 ||
      spec.width < 1 || spec.height < 1) {
    return "invalid crop '" + text + "' (X,Y,W,H in pixels, X and Y 0 or more, W and H 1 or more)";
  }
  return {};
}

std::string ParseHoleSize(const std::string& text, int& size) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
    return "invalid hole size '" + text + "' (a number 1..10)";
  }
  size = std::stoi(text);
  if (size <= 0) return settings::Text("RasterHolesSizeMsg", "Holes size must > 0");
  size = std::min(size, raster::kHoleSizeMax);
  return {};
}

std::string ParseLevel(const std::string& text, const char* what) {
  int value = 0;
  if (!ParseInt(text, value) || value < -100 || value > 100) {
    return std::string("invalid ") + what + " '" + text + "' (a number -100..100)";
  }
  return {};
}

bool ToOneBit(raster::CRaster& image, int threshold) { return image.bitCount() == 1 || image.convertTo1Bit(threshold); }

// Grey or colour image required: the text for steps that cannot work on 1 bit.
Status NeedsGrey(const raster::CRaster& image, const std::string& option) {
  if (image.bitCount() == 1) {
    return Status::Fail(option + " needs a grey or colour raster; this one is black and white (place it before "
                                 "--threshold)");
  }
  return Status::Ok();
}

}  // namespace

std::string ParseDynamicThreshold(const std::string& text, DynamicThreshold& out) {
  const std::string word = "dynamic";
  if (text.compare(0, word.size(), word) != 0) return "invalid threshold '" + text + "'";
  out = DynamicThreshold{raster::kSmartBoxDefault, raster::kSmartRatioDefault};
  if (text.size() == word.size()) return {};
  int box = 0;
  double ratio = 0.0;
  char tail = 0;
  if (text[word.size()] != ':' || std::sscanf(text.c_str() + word.size() + 1, "%d,%lf%c", &box, &ratio, &tail) != 2) {
    return "invalid dynamic threshold '" + text + "' (dynamic or dynamic:BOX,RATIO, e.g. dynamic:200,0.65)";
  }
  if (box < raster::kSmartBoxMin || box > raster::kSmartBoxMax) {
    return "dynamic threshold box size " + std::to_string(box) + " is out of range (50..200 pixels)";
  }
  if (!(ratio >= raster::kSmartRatioMin - 1e-9 && ratio <= raster::kSmartRatioMax + 1e-9)) {
    return "dynamic threshold contrast ratio " + text.substr(text.find(',') + 1) + " is out of range (0.20..8.00)";
  }
  out.box = box;
  out.ratio = static_cast<float>(ratio);
  return {};
}

bool ApplyThreshold(const std::string& text, settings::TraceOption& record) {
  if (text == "auto") {
    record.b_AutoGray = true;
    return true;
  }
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const int level = std::stoi(text);
  if (level > 255) return false;
  record.b_AutoGray = false;
  record.i_Gray = static_cast<uint8_t>(level);
  return true;
}

void RasterSteps::AddOptions(CLI::App& command) {
  const std::string group = "Raster steps (run in the order given, before the threshold)";
  auto add = [&](const std::string& name, const std::string& type, const std::string& help, auto check) {
    command.add_option(name, help)
        ->type_name(type)
        ->group(group)
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check(check);
  };
  add("--resample", "W,H|SCALE[,FILTER]",
      "Resample to W x H pixels or by SCALE (the physical size is kept); FILTER: triangle (default), box, hermite, "
      "bell, bspline, lanczos3, mitchell",
      [](const std::string& t) { ResampleSpec s; return ParseResample(t, s); });
  add("--median", "3|5", "Median filter in a 3 x 3 or 5 x 5 window (removes speckle)", [](const std::string& t) {
    return t == "3" || t == "5" ? std::string() : "invalid median window '" + t + "' (3 or 5)";
  });
  add("--template", "NAME", "Apply a stored raster template (convolution kernel) to a grey or colour raster",
      [](const std::string& t) { return t.empty() ? std::string("--template needs a name") : std::string(); });
  add("--brightness", "N", "Brightness -100..100 (grey and colour rasters; with --contrast one step)",
      [](const std::string& t) { return ParseLevel(t, "brightness"); });
  add("--contrast", "N", "Contrast -100..100 (grey and colour rasters; with --brightness one step)",
      [](const std::string& t) { return ParseLevel(t, "contrast"); });
  add("--replace-colour,--replace-color", "FROM,TO[,TOL]",
      "Replace the colours within TOL (0..30000, default 2000) of FROM by TO; colours as RRGGBB",
      [](const std::string& t) { ReplaceSpec s; return ParseReplace(t, s); });
  add("--rotate", "DEG", "Rotate by DEG degrees, clockwise for positive angles", [](const std::string& t) {
    double v = 0;
    return ParseNumber(t, v) && std::fabs(v) <= 3600 ? std::string() : "invalid angle '" + t + "' (degrees)";
  });
  add("--crop", "X,Y,W,H", "Keep the rectangle of W x H pixels at X,Y (from the top left)",
      [](const std::string& t) { CropSpec s; return ParseCrop(t, s); });
  add("--fill-holes", "N", "Fill holes and gaps up to N pixels (1..10) in the black-and-white raster",
      [](const std::string& t) { int n = 0; return ParseHoleSize(t, n); });
  auto flag = [&](const std::string& name, const std::string& help) {
    command.add_flag(name, help)->group(group)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  };
  flag("--deskew", "Rotate so that the dominant straight lines are horizontal (within 20 degrees)");
  flag("--flip", "Turn the raster upside down");
  flag("--mirror", "Mirror the raster left to right");
  flag("--invert", "Invert the raster's colours");
}

void RasterSteps::Collect(const CLI::App& command, bool keepThreshold) {
  static const std::map<std::string, Kind> kKinds = {
      {"--resample", Kind::Resample},     {"--median", Kind::Median},   {"--template", Kind::Template},
      {"--brightness", Kind::BrightnessContrast}, {"--contrast", Kind::BrightnessContrast},
      {"--replace-colour", Kind::ReplaceColour},  {"--rotate", Kind::Rotate}, {"--deskew", Kind::Deskew},
      {"--crop", Kind::Crop},             {"--flip", Kind::Flip},       {"--mirror", Kind::Mirror},
      {"--invert", Kind::Invert},         {"--threshold", Kind::Threshold}, {"--fill-holes", Kind::FillHoles}};
  steps_.clear();
  std::map<const CLI::Option*, size_t> taken;  // results used so far per option
  bool brightnessStep = false;
  for (const CLI::Option* option : command.parse_order()) {
    const std::string name = option->get_name();
    const auto kind = kKinds.find(name);
    if (kind == kKinds.end()) continue;
    const size_t index = taken[option]++;
    const bool flag = kind->second == Kind::Deskew || kind->second == Kind::Flip || kind->second == Kind::Mirror ||
                      kind->second == Kind::Invert;
    std::string text = flag || index >= option->results().size() ? std::string() : option->results()[index];
    if (kind->second == Kind::BrightnessContrast) {
      int value = 0;
      std::sscanf(option->results().back().c_str(), "%d", &value);
      (name == "--brightness" ? brightness_ : contrast_) = value;
      if (brightnessStep) continue;
      brightnessStep = true;
    }
    Kind k = kind->second;
    if (k == Kind::Threshold) {
      // Only the last --threshold counts, as for every single-value option.
      if (index + 1 != option->results().size()) continue;
      if (text.rfind("dynamic", 0) == 0) k = Kind::DynamicThreshold;
    }
    steps_.push_back(Step{k, name, text});
  }
  // A plain threshold at the end is what the trace does anyway; as a step it
  // only matters when something follows it.
  if (!keepThreshold && steps_.size() == 1 && steps_.back().kind == Kind::Threshold) steps_.pop_back();
}

Status RasterSteps::ResolveTemplates(const platform::KeyValueStore& store) {
  templates_.clear();
  const std::vector<raster::KernelTemplate> stored = raster::LoadTemplates(store);
  for (const Step& step : steps_) {
    if (step.kind != Kind::Template) continue;
    auto found = std::find_if(stored.begin(), stored.end(), [&](const raster::KernelTemplate& t) {
      return t.name.size() == step.text.size() &&
             std::equal(t.name.begin(), t.name.end(), step.text.begin(),
                        [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) ==
                                                    std::tolower(static_cast<unsigned char>(b)); });
    });
    if (found == stored.end()) {
      std::string names;
      for (const auto& t : stored) names += (names.empty() ? "" : ", ") + t.name;
      return Status::Fail("unknown raster template '" + step.text + "' (" +
                          (names.empty() ? std::string("no templates are stored") : "stored: " + names) + ")");
    }
    templates_.push_back(*found);
  }
  return Status::Ok();
}

Status RasterSteps::Apply(raster::CRaster& image, const settings::TraceOption& record,
                          const std::function<void(std::string_view)>& onStep) const {
  size_t templateIndex = 0;
  for (const Step& step : steps_) {
    if (onStep) onStep(step.option);
    if (StopRequest().requested()) return Status::Fail("stopped");
    if (step.kind == Kind::Template) {
      if (Status s = NeedsGrey(image, step.option); !s) return s;
      if (!raster::TemplateFilter(image, templates_[templateIndex++], {}, &StopRequest())) {
        return Status::Fail("the raster template '" + step.text + "' could not be applied");
      }
      continue;
    }
    if (Status s = ApplyOne(step, image, record); !s) return s;
  }
  return Status::Ok();
}

Status RasterSteps::ApplyOne(const Step& step, raster::CRaster& image, const settings::TraceOption& record) const {
  const platform::CancelFlag* cancel = &StopRequest();
  auto failed = [&](const std::string& why) { return Status::Fail(step.option + " failed: " + why); };
  switch (step.kind) {
    case Kind::Resample: {
      ResampleSpec spec;
      (void)ParseResample(step.text, spec);
      int width = spec.width, height = spec.height;
      if (width == 0) {
        width = std::max(1, static_cast<int>(std::lround(image.width() * spec.scale)));
        height = std::max(1, static_cast<int>(std::lround(image.height() * spec.scale)));
      }
      // The physical size stays: the resolution follows the width.
      int ppm = 0;
      if (!image.resolution(ppm)) return failed("empty raster");
      const int newPpm = std::max(1, static_cast<int>(std::lround(double(ppm) * width / image.width())));
      if (!raster::Resample(image, width, height, newPpm, spec.filter, {}, cancel)) {
        return failed("the raster could not be resampled to " + std::to_string(width) + " x " +
                      std::to_string(height) + " pixels");
      }
      return Status::Ok();
    }
    case Kind::Median:
      if (!raster::MedianFilter(image, {}, step.text == "5" ? 5 : 3, cancel)) {
        return failed("the median filter works on black-and-white, grey and true-colour rasters");
      }
      return Status::Ok();
    case Kind::BrightnessContrast:
      if (Status s = NeedsGrey(image, "--brightness/--contrast"); !s) return s;
      if (!raster::AdjustBrightnessContrast(image, brightness_, contrast_, {}, cancel)) return failed("stopped");
      return Status::Ok();
    case Kind::ReplaceColour: {
      if (Status s = NeedsGrey(image, step.option); !s) return s;
      ReplaceSpec spec;
      (void)ParseReplace(step.text, spec);
      if (!raster::ColorReplace(image, spec.from, spec.to, raster::ColorReplaceTolerance(spec.bound), {}, cancel)) {
        return failed("stopped");
      }
      return Status::Ok();
    }
    case Kind::Rotate: {
      double degrees = 0;
      (void)ParseNumber(step.text, degrees);
      if (degrees != 0 && !image.rotate(degrees)) return failed("out of memory");
      return Status::Ok();
    }
    case Kind::Deskew: {
      const double angle = DominantLineAngle(image);
      if (angle != 0 && !image.rotate(-angle)) return failed("out of memory");
      return Status::Ok();
    }
    case Kind::Crop: {
      CropSpec spec;
      (void)ParseCrop(step.text, spec);
      if (!image.crop(spec.x, spec.y, spec.x + spec.width, spec.y + spec.height)) {
        return failed("the rectangle " + step.text + " lies outside the " + std::to_string(image.width()) + " x " +
                      std::to_string(image.height()) + " raster");
      }
      return Status::Ok();
    }
    case Kind::Flip:
      return image.flip() ? Status::Ok() : failed("empty raster");
    case Kind::Mirror:
      return image.mirror() ? Status::Ok() : failed("empty raster");
    case Kind::Invert:
      return image.invert() ? Status::Ok() : failed("empty raster");
    case Kind::Threshold: {
      settings::TraceOption levels = record;
      (void)ApplyThreshold(step.text, levels);
      const int threshold = levels.b_AutoGray ? image.automaticThreshold() : levels.i_Gray;
      return ToOneBit(image, threshold) ? Status::Ok() : failed("out of memory");
    }
    case Kind::DynamicThreshold: {
      DynamicThreshold dynamic;
      (void)ParseDynamicThreshold(step.text, dynamic);
      return raster::SmartThreshold(image, dynamic.box, dynamic.ratio) ? Status::Ok() : failed("out of memory");
    }
    case Kind::FillHoles: {
      int size = 0;
      (void)ParseHoleSize(step.text, size);
      const int threshold = record.b_AutoGray ? image.automaticThreshold() : record.i_Gray;
      if (!ToOneBit(image, threshold)) return failed("out of memory");
      return raster::SmoothFilter(image, size) ? Status::Ok() : failed("out of memory");
    }
    case Kind::Template:
      break;  // handled by Apply, which walks the resolved templates
  }
  return Status::Ok();
}

}  // namespace quillon::cli
