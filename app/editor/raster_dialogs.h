#pragma once
// What the dialogs of the Raster menu hold and the rules they apply, without
// any window: the threshold, dynamic threshold, fill holes, resample, median,
// and brightness/contrast dialogs, and which command suits which image.
// The Qt dialogs show these models and call the raster commands with them.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "raster/smart_threshold.h"

namespace quillon::raster {
class CRaster;
}
namespace quillon::settings {
class TraceOption;
}

namespace quillon::editor {

// The commands of the Raster menu that depend on the kind of image.
enum class RasterMenuCommand {
  Threshold,
  DynamicThreshold,
  FillHoles,
  Resample,
  MedianFilter,
  TemplateFilter,
  ColorReplace,
  BrightnessContrast,
  Flip,
  Mirror,
  Invert,
};

// True when the command can work on the raster: thresholding, the template
// filter, colour replace and brightness/contrast need a grey or colour image;
// fill holes a 1-bit one; the median filter any image but a palette image
// whose palette is not grey; the rest any image. Never for an empty raster.
bool RasterCommandApplies(RasterMenuCommand command, const raster::CRaster& raster);

// ---- Threshold ------------------------------------------------------------------

// The threshold dialog: a fixed level, or the raster's suggested (automatic)
// level. Starts from the trace options' i_Gray and b_AutoGray.
struct ThresholdDialogModel {
  int level = 128;      // 0..255
  bool automatic = false;
  int suggested = 0;    // the raster's automatic threshold

  static ThresholdDialogModel For(raster::CRaster& raster, const settings::TraceOption& options);
  // The level the conversion uses.
  int effectiveLevel() const;
};

// ---- Dynamic threshold ----------------------------------------------------------

// Box size 50..200 and the contrast ratio as slider positions 20..800
// (ratio = position / 100).
struct DynamicThresholdModel {
  static constexpr int kSliderMin = 20;
  static constexpr int kSliderMax = 800;
  int boxSize = raster::kSmartBoxDefault;
  int sliderPosition = 65;

  float ratio() const { return static_cast<float>(sliderPosition) / 100.0f; }
  void setRatio(double value);
  void setBoxSize(int value);
};

// ---- Fill holes -----------------------------------------------------------------

// The hole size as the user typed it: below 1 shows "Holes size must > 0"
// and gives nothing (the dialog stays open); above 10 is cut to 10.
std::optional<int> AcceptHoleSize(int typed);

// ---- Resample -------------------------------------------------------------------

enum class ResolutionUnit { PixelsPerInch, PixelsPerCm };

// The resample dialog: pixel size, print size and resolution. With the
// ratio kept, changing one pixel dimension sets the other in proportion to
// the original image. Changing the resolution keeps the pixel size (and so
// changes the print size); changing a print size changes the pixel size.
class ResampleDialogModel {
 public:
  ResampleDialogModel(int width, int height, int pixelsPerMetre);

  int originalWidth() const { return originalWidth_; }
  int originalHeight() const { return originalHeight_; }
  int width() const { return width_; }
  int height() const { return height_; }
  bool keepRatio() const { return keepRatio_; }
  ResolutionUnit unit() const { return unit_; }
  // The resolution in the current unit.
  double resolution() const { return resolution_; }
  // Index of the filter list (0 Triangle .. 6 Mitchell).
  int filter = 0;

  void setKeepRatio(bool keep) { keepRatio_ = keep; }
  void setWidth(int width);
  void setHeight(int height);
  // Negative values become 0 (refused by error()).
  void setResolution(double value);
  // Converts the shown resolution to the new unit.
  void setUnit(ResolutionUnit unit);
  // Print size in inches or centimetres (follows the unit); 0 without a resolution.
  double printWidth() const;
  double printHeight() const;
  void setPrintWidth(double size);
  void setPrintHeight(double size);

  int pixelsPerMetre() const;
  // "" when the values can be applied, else the text that refuses them.
  std::string error() const;

 private:
  double unitsPerMetre() const;

  int originalWidth_, originalHeight_;
  int width_, height_;
  double resolution_;
  ResolutionUnit unit_ = ResolutionUnit::PixelsPerInch;
  bool keepRatio_ = true;
};

// ---- Median ---------------------------------------------------------------------

// The median dialog's template list, in order.
struct MedianTemplate {
  const char* key;
  const char* text;
  int windowSize;
};
inline constexpr std::array<MedianTemplate, 2> kMedianTemplates{{
    {"MFilterName33", "Median filter 3X3", 3},
    {"MFilterName55", "Median filter 5X5", 5},
}};

// ---- Brightness and contrast ------------------------------------------------------

// Both -100..100, starting at 0. The preview table is what the operation does
// to each colour component, so the view can show the result before it is applied.
struct BrightnessContrastModel {
  int brightness = 0;
  int contrast = 0;
  void setBrightness(int value);
  void setContrast(int value);
  // True when applying would change nothing.
  bool neutral() const { return brightness == 0 && contrast == 0; }
  std::array<uint8_t, 256> previewTable() const;
};

}  // namespace quillon::editor
