#include "editor/raster_dialogs.h"

#include <algorithm>
#include <cmath>

#include "platform/message_sink.h"
#include "raster/brightness_contrast.h"
#include "raster/raster.h"
#include "raster/resample.h"
#include "settings/language_table.h"
#include "settings/trace_option.h"

namespace quillon::editor {

bool RasterCommandApplies(RasterMenuCommand command, const raster::CRaster& raster) {
  if (raster.empty()) return false;
  const bool bilevel = raster.bitCount() == 1;
  switch (command) {
    case RasterMenuCommand::Threshold:
    case RasterMenuCommand::DynamicThreshold:
    case RasterMenuCommand::TemplateFilter:
    case RasterMenuCommand::ColorReplace:
    case RasterMenuCommand::BrightnessContrast:
      return !bilevel;
    case RasterMenuCommand::FillHoles:
      return bilevel;
    case RasterMenuCommand::MedianFilter:
      // Palette images other than grey ones have no median order.
      return bilevel || raster.bitCount() > 8 || (raster.bitCount() == 8 && raster.isGreyPalette());
    case RasterMenuCommand::Resample:
    case RasterMenuCommand::Flip:
    case RasterMenuCommand::Mirror:
    case RasterMenuCommand::Invert:
      return true;
  }
  return false;
}

ThresholdDialogModel ThresholdDialogModel::For(raster::CRaster& raster, const settings::TraceOption& options) {
  ThresholdDialogModel model;
  model.level = options.i_Gray;
  model.automatic = options.b_AutoGray;
  model.suggested = raster.automaticThreshold();
  return model;
}

int ThresholdDialogModel::effectiveLevel() const { return automatic ? suggested : std::clamp(level, 0, 255); }

void DynamicThresholdModel::setRatio(double value) {
  sliderPosition = std::clamp(static_cast<int>(std::lround(value * 100.0)), kSliderMin, kSliderMax);
}

void DynamicThresholdModel::setBoxSize(int value) {
  boxSize = std::clamp(value, raster::kSmartBoxMin, raster::kSmartBoxMax);
}

std::optional<int> AcceptHoleSize(int typed) {
  if (typed < 1) {
    platform::ShowMessage(settings::Text("RasterHoleSizeMsg", "Holes size must > 0"));
    return std::nullopt;
  }
  return std::min(typed, raster::kHoleSizeMax);
}

// ---- Resample -------------------------------------------------------------------

namespace {
constexpr double kInchesPerMetre = 1.0 / 0.0254;
constexpr double kCentimetresPerMetre = 100.0;
}  // namespace

ResampleDialogModel::ResampleDialogModel(int width, int height, int pixelsPerMetre)
    : originalWidth_(std::max(width, 1)),
      originalHeight_(std::max(height, 1)),
      width_(originalWidth_),
      height_(originalHeight_),
      resolution_(std::round(pixelsPerMetre / kInchesPerMetre)) {}

double ResampleDialogModel::unitsPerMetre() const {
  return unit_ == ResolutionUnit::PixelsPerInch ? kInchesPerMetre : kCentimetresPerMetre;
}

void ResampleDialogModel::setWidth(int width) {
  width_ = std::max(width, 0);
  if (keepRatio_)
    height_ = std::max(1, static_cast<int>(std::lround(static_cast<double>(width_) * originalHeight_ / originalWidth_)));
}

void ResampleDialogModel::setHeight(int height) {
  height_ = std::max(height, 0);
  if (keepRatio_)
    width_ = std::max(1, static_cast<int>(std::lround(static_cast<double>(height_) * originalWidth_ / originalHeight_)));
}

void ResampleDialogModel::setResolution(double value) { resolution_ = std::max(value, 0.0); }

void ResampleDialogModel::setUnit(ResolutionUnit unit) {
  if (unit == unit_) return;
  const double perMetre = resolution_ * unitsPerMetre();
  unit_ = unit;
  resolution_ = perMetre / unitsPerMetre();
}

double ResampleDialogModel::printWidth() const { return resolution_ > 0 ? width_ / resolution_ : 0.0; }
double ResampleDialogModel::printHeight() const { return resolution_ > 0 ? height_ / resolution_ : 0.0; }

void ResampleDialogModel::setPrintWidth(double size) {
  setWidth(static_cast<int>(std::lround(std::max(size, 0.0) * resolution_)));
}

void ResampleDialogModel::setPrintHeight(double size) {
  setHeight(static_cast<int>(std::lround(std::max(size, 0.0) * resolution_)));
}

int ResampleDialogModel::pixelsPerMetre() const {
  return static_cast<int>(std::lround(resolution_ * unitsPerMetre()));
}

std::string ResampleDialogModel::error() const {
  return raster::ResampleArgumentError(width_, height_, pixelsPerMetre());
}

// ---- Brightness and contrast ------------------------------------------------------

void BrightnessContrastModel::setBrightness(int value) {
  brightness = std::clamp(value, raster::kBrightnessMin, raster::kBrightnessMax);
}

void BrightnessContrastModel::setContrast(int value) {
  contrast = std::clamp(value, raster::kContrastMin, raster::kContrastMax);
}

std::array<uint8_t, 256> BrightnessContrastModel::previewTable() const {
  return raster::BrightnessContrastTable(brightness, contrast);
}

}  // namespace quillon::editor
