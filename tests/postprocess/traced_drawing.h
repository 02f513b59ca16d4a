#pragma once
// Drawn 1-bit rasters traced through the real centre-line pipeline for the
// post-processing tests: strokes and rings are drawn by pixel centres in
// screen coordinates (row 0 at the top), the drawing gets the raster, a
// "Trace" layer, the traced polylines and then the post-processing run.

#include <cmath>
#include <vector>

#include "model/graph.h"
#include "model/polyline.h"
#include "postprocess/connect.h"
#include "postprocess/post_process_run.h"
#include "raster/raster.h"
#include "settings/trace_option.h"
#include "trace/polyline_generation.h"
#include "trace/tracer.h"

namespace quillon::test {

// Pixels whose centres lie within width/2 of the segment (x0, y0)–(x1, y1).
inline void DrawStroke(raster::CRaster& raster, double x0, double y0, double x1, double y1, double width) {
  const double r = width / 2.0;
  const double dx = x1 - x0, dy = y1 - y0;
  const double length2 = dx * dx + dy * dy;
  for (int y = 0; y < raster.height(); ++y) {
    for (int x = 0; x < raster.width(); ++x) {
      double t = length2 > 0 ? ((x - x0) * dx + (y - y0) * dy) / length2 : 0.0;
      t = std::fmax(0.0, std::fmin(1.0, t));
      if (std::hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= r) raster.setBit(x, y, true);
    }
  }
}

// A ring of the given stroke width around (cx, cy); with sweep < 2π only
// the part from angle a0 counter-clockwise on screen (y down) over sweep.
inline void DrawRing(raster::CRaster& raster, double cx, double cy, double radius, double width, double a0 = 0.0,
                     double sweep = 7.0) {
  for (int y = 0; y < raster.height(); ++y) {
    for (int x = 0; x < raster.width(); ++x) {
      const double d = std::hypot(x - cx, y - cy);
      if (std::fabs(d - radius) > width / 2.0) continue;
      if (sweep < 6.283) {
        double a = std::atan2(-(y - cy), x - cx) - a0;
        while (a < 0) a += 6.283185307179586;
        while (a >= 6.283185307179586) a -= 6.283185307179586;
        if (a > sweep) continue;
      }
      raster.setBit(x, y, true);
    }
  }
}

inline bool BlankRaster(raster::CRaster& raster, int width, int height, int pixelsPerMetre = 11811) {
  return raster.create(width, height, 1) && raster.setResolution(pixelsPerMetre);
}

// Traces the drawing's raster into its "Trace" layer and post-processes it.
// False when a stage failed.
inline bool TraceAndProcess(model::CGraph& drawing, const settings::TraceOption& options,
                            platform::ProgressSink* sink = nullptr) {
  drawing.clearForTrace();
  trace::CTracer tracer(drawing.raster());
  if (!tracer.traceCentreLine(nullptr)) return false;
  postprocess::EndIndex ends;
  if (trace::generatePolylines(tracer.paths(), drawing, options, nullptr, &ends) != 0) return false;
  return postprocess::RunPostProcessing(drawing, options, sink, &ends);
}

// Whether two layers of polylines hold the same vertices (positions and
// widths) in the same order: a pass split across threads must give what
// it gives on one.
inline bool SamePolylines(const model::CLayer& one, const model::CLayer& other) {
  if (one.count() != other.count()) return false;
  auto a = one.begin();
  for (auto b = other.begin(); b != other.end(); ++a, ++b) {
    if ((*a)->type() != model::EntityType::PolyLine || (*b)->type() != model::EntityType::PolyLine) return false;
    const auto& va = static_cast<const model::CPolyLine&>(**a).vertices();
    const auto& vb = static_cast<const model::CPolyLine&>(**b).vertices();
    if (va.size() != vb.size()) return false;
    for (size_t k = 0; k < va.size(); ++k)
      if (va[k].x != vb[k].x || va[k].y != vb[k].y || va[k].startWidth != vb[k].startWidth) return false;
  }
  return true;
}

}  // namespace quillon::test
