#pragma once
// The raster commands of a document window: each records one raster undo
// entry and changes the document raster in place.
//
// Every command reports progress through the context's callback and polls
// its cancel flag. A cancelled or failed command leaves the raster as it was
// and the undo list without a new entry: operations that can stop half-way
// do so and change nothing; the others run to their end and are then taken
// back from the undo snapshot.

#include <cstdint>

#include "platform/progress.h"
#include "raster/raster_undo.h"
#include "raster/resample.h"
#include "raster/template_filter.h"
#include "raster/colour_replace.h"

namespace quillon::model {
class CGraph;
}
namespace quillon::settings {
class TraceOption;
}

namespace quillon::editor {

class Document;

// What a raster command works on. The cancel flag may be null (the command
// then cannot be stopped); the progress callback may be empty.
struct RasterCommandContext {
  model::CGraph& drawing;
  raster::RasterUndoList& undo;
  platform::ProgressCallback progress = {};
  const platform::CancelFlag* cancel = nullptr;
};

// The context of a document window's raster command: its drawing and its
// raster undo list.
RasterCommandContext RasterContext(Document& document, platform::ProgressCallback progress = {},
                                   const platform::CancelFlag* cancel = nullptr);

enum class RasterCommandResult {
  Done,       // the raster changed; one undo entry was recorded (when memory allowed)
  Unchanged,  // nothing to do (for example thresholding a 1-bit raster); no entry
  Failed,     // the operation refused or ran out of memory; raster unchanged, no entry
  Cancelled,  // stopped by the user; raster unchanged, no entry
};

// The threshold the document's Threshold and Trace commands use: the
// raster's automatic threshold when b_AutoGray is on, else i_Gray.
int ThresholdLevel(raster::CRaster& raster, const settings::TraceOption& options);

// Threshold and convert to 1-bit ("Thresholding"): a pixel becomes ink when
// the threshold is at least its truncated brightness. A 1-bit raster is
// Unchanged.
RasterCommandResult ThresholdRaster(const RasterCommandContext& context, int threshold);
// Dynamic threshold ("Thresholding") with the box size (50..200) and
// contrast ratio (0.20..8.00) of the dialog, both clamped. A 1-bit raster is
// Unchanged.
RasterCommandResult DynamicThresholdRaster(const RasterCommandContext& context, int boxSize, float contrastRatio);
// Fill holes ("Fill holes"): the smooth filter of a 1-bit raster with the
// hole size, cut to 10. A hole size below 1 shows "Holes size must > 0" and fails.
RasterCommandResult FillHolesRaster(const RasterCommandContext& context, int holeSize);

// Rotate ("Rotate Raster") by the angle in degrees, clockwise on screen for
// positive angles. An angle of 0 is Unchanged.
RasterCommandResult RotateRaster(const RasterCommandContext& context, double degrees);
// Crop ("Crop Raster") to the pixel rectangle [left, right) x [top, bottom),
// clipped to the raster; an empty rectangle fails.
RasterCommandResult CropRaster(const RasterCommandContext& context, int left, int top, int right, int bottom);
// "Flip Raster" (upside down), "Mirror Raster" (left to right), "Invert Raster".
RasterCommandResult FlipRaster(const RasterCommandContext& context);
RasterCommandResult MirrorRaster(const RasterCommandContext& context);
RasterCommandResult InvertRaster(const RasterCommandContext& context);

// "Resample" to the pixel size with the resolution in pixels per metre.
RasterCommandResult ResampleRaster(const RasterCommandContext& context, int width, int height, int pixelsPerMetre,
                                   raster::ResampleFilter filter = raster::kDefaultResampleFilter);
// "Median Filter" with a 3 x 3 or 5 x 5 window.
RasterCommandResult MedianFilterRaster(const RasterCommandContext& context, int windowSize);
// "Filter": the convolution template.
RasterCommandResult TemplateFilterRaster(const RasterCommandContext& context, const raster::KernelTemplate& kernel);
// "Color replace" with the dialog's colours and bound; Unchanged until both
// colours have been chosen.
RasterCommandResult ColorReplaceRaster(const RasterCommandContext& context,
                                       const raster::ColorReplaceSettings& settings);
// "Brightness & Contrast", both -100..100; 0 and 0, or a brightness out of
// range, is Unchanged; a contrast out of range fails.
RasterCommandResult BrightnessContrastRaster(const RasterCommandContext& context, int brightness, int contrast);

}  // namespace quillon::editor
