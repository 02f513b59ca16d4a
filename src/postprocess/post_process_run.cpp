#include "postprocess/post_process_run.h"

#include <algorithm>
#include <exception>
#include <new>

#include "postprocess/angle_adjust.h"
#include "postprocess/circle_arc.h"
#include "postprocess/connect.h"
#include "postprocess/junction_ends.h"
#include "postprocess/line_width.h"
#include "postprocess/mixed_line.h"
#include "postprocess/refined_dashes.h"
#include "postprocess/refined_lines.h"
#include "postprocess/stage_common.h"
#include "postprocess/straighten.h"

namespace quillon::postprocess {

namespace {

// The code an unexpected failure inside a stage ends the run with.
constexpr int kStageError = 20;
// How far a refined angle adjustment may move a segment's end, pixels.
constexpr double kRefinedTurnShift = 0.5;

bool runStages(model::CGraph& drawing, const settings::TraceOption& options, platform::ProgressSink* sink,
               EndIndex* ends) {
  drawing.selectAll(false);
  if (drawing.layers().empty()) return true;
  drawing.setCurrentLayerByIndex(0);
  drawing.markModified(true);
  model::CLayer& layer = *drawing.currentLayer();
  const auto populated = [&layer] { return layer.recount() > 0; };
  raster::CRaster& raster = drawing.raster();

  if (populated() && !calculateWidthsLayer(layer, raster, options.b_Refine, sink)) return false;
  // Connect deletes what the short-line deletion would at once (not refined:
  // that keeps short pieces between strokes' caps).
  const bool dropInConnect = options.b_DelLine && !options.b_Refine && !options.plainPipeline;
  bool noneShorter = false;
  if (options.b_Connect && populated() &&
      !connectLayer(layer, options.i_ConDis, sink, ends, options.b_Refine ? &raster : nullptr,
                    options.plainPipeline, dropInConnect ? options.i_DelLine_Length : 0, &noneShorter))
    return false;
  if (options.b_DelLine && populated() && !noneShorter)
    deleteShortLines(layer, options.i_DelLine_Length, options.b_Refine ? &raster : nullptr);
  if (options.b_RecogniseCirArc && populated()) {
    const int size = std::max(raster.width(), raster.height());
    if (!recogniseCirclesLayer(layer, options, size, CircleMode::CentreLine, sink, &raster)) return false;
  }
  const double straighten = options.StraightenTolerance();
  if (straighten > 0.0 && populated() && !straightenLayer(layer, straighten, sink)) return false;
  if (options.b_Refine && populated()) {
    rebuildStraightStrokes(layer, raster);
    carryEndsOntoStrokes(layer, raster);
    splitDashRows(layer, raster);
    restoreRowDots(layer, raster);
  }
  // Refined, a line is turned only as far as its ink allows.
  if (options.b_ForceOrtho && populated() &&
      !adjustAnglesLayer(layer, options.s_AngleSeries, sink, options.b_Refine ? kRefinedTurnShift : 0.0))
    return false;
  if (options.b_Refine && populated()) {
    carryEndsOntoStrokes(layer, raster);
    pullEndsBackOntoStrokes(layer, raster);
    carryEndsThroughCrossings(layer, raster);
    carryEndsPastCrossings(layer, raster);
    carryEndsAlongMergedInk(layer, raster);
    meetAtCorners(layer, raster);
    remeasureWidthsLayer(layer, raster);
    centreFreeEndsLayer(layer, raster);
    completeDashRows(layer, raster);
  }
  if (options.b_CalcWidth) {
    if (!options.s_WidthSeries.empty() && populated()) {
      int pixelsPerMetre = raster::kDefaultPixelsPerMetre;
      if (!raster.resolution(pixelsPerMetre)) pixelsPerMetre = raster::kDefaultPixelsPerMetre;
      if (!roundWidthsLayer(layer, options.s_WidthSeries, pixelsPerMetre, sink)) return false;
    }
  } else {
    layer.setAllWidths(0.0);
  }
  drawing.markModified(true);
  return true;
}

}  // namespace

bool RunPostProcessing(model::CGraph& drawing, const settings::TraceOption& options, platform::ProgressSink* sink,
                       EndIndex* ends) {
  const StageProgress stage(sink);
  try {
    return runStages(drawing, options, sink, ends);
  } catch (const std::bad_alloc&) {
    stage.finished(kStageNoMemory);
  } catch (...) {
    stage.finished(kStageError);
  }
  return false;
}

}  // namespace quillon::postprocess
