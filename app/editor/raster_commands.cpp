#include "editor/raster_commands.h"

#include <algorithm>
#include <functional>

#include "editor/document.h"
#include "model/graph.h"
#include "platform/message_sink.h"
#include "raster/brightness_contrast.h"
#include "raster/median_filter.h"
#include "raster/smart_threshold.h"
#include "settings/language_table.h"
#include "settings/trace_option.h"

namespace quillon::editor {

namespace {

using Operation = std::function<bool(raster::CRaster&)>;

bool CancelRequested(const RasterCommandContext& context) {
  return context.cancel != nullptr && context.cancel->requested();
}

// The one driver of every raster command: snapshot, operation, then commit,
// or take back when the user stopped an operation that ran to its end.
RasterCommandResult Run(const RasterCommandContext& context, const raster::UndoName& name, const Operation& operation) {
  raster::CRaster& image = context.drawing.raster();
  if (image.empty()) return RasterCommandResult::Failed;
  if (CancelRequested(context)) return RasterCommandResult::Cancelled;
  raster::RasterUndoList::Pending pending = context.undo.prepare(image, name);
  const bool ok = operation(image);
  if (CancelRequested(context)) {
    // A false answer after a cancel means the operation stopped and left the
    // raster alone; a finished one is taken back from the snapshot.
    if (!ok || pending.rollback()) {
      context.drawing.invalidateExtents();
      return RasterCommandResult::Cancelled;
    }
    // Without a snapshot (no memory for it) the change cannot be taken back:
    // it stands, like any operation that runs without undo.
  } else if (!ok) {
    return RasterCommandResult::Failed;
  }
  pending.commit();
  image.setChanged(true);
  context.drawing.invalidateExtents();
  return RasterCommandResult::Done;
}

}  // namespace

RasterCommandContext RasterContext(Document& document, platform::ProgressCallback progress,
                                   const platform::CancelFlag* cancel) {
  return {document.graph(), document.rasterUndo(), std::move(progress), cancel};
}

int ThresholdLevel(raster::CRaster& raster, const settings::TraceOption& options) {
  return options.b_AutoGray ? raster.automaticThreshold() : options.i_Gray;
}

RasterCommandResult ThresholdRaster(const RasterCommandContext& context, int threshold) {
  const raster::CRaster& image = context.drawing.raster();
  if (!image.empty() && image.bitCount() == 1) return RasterCommandResult::Unchanged;
  const int level = std::clamp(threshold, 0, 255);
  return Run(context, raster::UndoName::Thresholding,
             [&](raster::CRaster& r) { return r.convertTo1Bit(level, context.progress); });
}

RasterCommandResult DynamicThresholdRaster(const RasterCommandContext& context, int boxSize, float contrastRatio) {
  const raster::CRaster& image = context.drawing.raster();
  if (!image.empty() && image.bitCount() == 1) return RasterCommandResult::Unchanged;
  const int box = std::clamp(boxSize, raster::kSmartBoxMin, raster::kSmartBoxMax);
  const float ratio = std::clamp(contrastRatio, raster::kSmartRatioMin, raster::kSmartRatioMax);
  return Run(context, raster::UndoName::Thresholding, [&](raster::CRaster& r) {
    return raster::SmartThreshold(r, box, ratio, context.progress, context.cancel);
  });
}

RasterCommandResult FillHolesRaster(const RasterCommandContext& context, int holeSize) {
  if (holeSize < 1) {
    platform::ShowMessage(settings::Text("RasterHoleSizeMsg", "Holes size must > 0"));
    return RasterCommandResult::Failed;
  }
  const int iterations = std::min(holeSize, raster::kHoleSizeMax);
  return Run(context, raster::UndoName::FillHoles,
             [&](raster::CRaster& r) { return raster::SmoothFilter(r, iterations, context.progress); });
}

RasterCommandResult RotateRaster(const RasterCommandContext& context, double degrees) {
  if (degrees == 0.0) return RasterCommandResult::Unchanged;
  return Run(context, raster::UndoName::Rotate, [&](raster::CRaster& r) { return r.rotate(degrees); });
}

RasterCommandResult CropRaster(const RasterCommandContext& context, int left, int top, int right, int bottom) {
  return Run(context, raster::UndoName::Crop,
             [&](raster::CRaster& r) { return r.crop(left, top, right, bottom); });
}

RasterCommandResult FlipRaster(const RasterCommandContext& context) {
  return Run(context, raster::UndoName::Flip, [](raster::CRaster& r) { return r.flip(); });
}

RasterCommandResult MirrorRaster(const RasterCommandContext& context) {
  return Run(context, raster::UndoName::Mirror, [](raster::CRaster& r) { return r.mirror(); });
}

RasterCommandResult InvertRaster(const RasterCommandContext& context) {
  return Run(context, raster::UndoName::Invert, [](raster::CRaster& r) { return r.invert(); });
}

RasterCommandResult ResampleRaster(const RasterCommandContext& context, int width, int height, int pixelsPerMetre,
                                   raster::ResampleFilter filter) {
  return Run(context, raster::UndoName::Resample, [&](raster::CRaster& r) {
    return raster::Resample(r, width, height, pixelsPerMetre, filter, context.progress, context.cancel);
  });
}

RasterCommandResult MedianFilterRaster(const RasterCommandContext& context, int windowSize) {
  return Run(context, raster::UndoName::MedianFilter, [&](raster::CRaster& r) {
    return raster::MedianFilter(r, context.progress, windowSize, context.cancel);
  });
}

RasterCommandResult TemplateFilterRaster(const RasterCommandContext& context, const raster::KernelTemplate& kernel) {
  return Run(context, raster::UndoName::Filter, [&](raster::CRaster& r) {
    return raster::TemplateFilter(r, kernel, context.progress, context.cancel);
  });
}

RasterCommandResult ColorReplaceRaster(const RasterCommandContext& context,
                                       const raster::ColorReplaceSettings& settings) {
  if (!settings.ready()) return RasterCommandResult::Unchanged;
  return Run(context, raster::UndoName::ColorReplace, [&](raster::CRaster& r) {
    return raster::ColorReplace(r, settings, context.progress, context.cancel);
  });
}

RasterCommandResult BrightnessContrastRaster(const RasterCommandContext& context, int brightness, int contrast) {
  // The operation itself leaves the raster alone for these; no entry then.
  if ((brightness == 0 && contrast == 0) || brightness < raster::kBrightnessMin || brightness > raster::kBrightnessMax)
    return RasterCommandResult::Unchanged;
  return Run(context, raster::UndoName::AdjustBrightContrast, [&](raster::CRaster& r) {
    return raster::AdjustBrightnessContrast(r, brightness, contrast, context.progress, context.cancel);
  });
}

}  // namespace quillon::editor
