#pragma once
// Outline tracing: every ink region of a 1-bit raster described by its
// boundary. One raster scan collects the crack edges (the unit edges between
// an ink pixel and a background pixel, or the outside) and chains them on the
// fly into contours whose points are the corners at half-pixel coordinates;
// collinear edges never create points. Outer contours run clockwise on the
// screen and start with a bottom edge, holes run anticlockwise, start with a
// top edge and carry the hole flag. Ink is 8-connected: two ink pixels
// touching only at a corner belong to one contour that passes their shared
// corner twice. Background is 4-connected: background that meets the rest
// only at a corner is a hole of its own.
//
// Outline analysis then pairs every hole with the outer contour around it
// (regions), and a region becomes one filled CPolyPolygon.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "model/graph.h"
#include "model/polypolygon.h"
#include "platform/progress.h"
#include "raster/raster.h"
#include "settings/trace_option.h"
#include "trace/polyline_generation.h"
#include "trace/trace_path.h"

namespace quillon::trace {

class CTracer;

// The contours of one trace in a compact form: corners as integer indices
// (corner i stands for i − 0.5), all points in one array, contours in list
// order. Each contour is closed, its last point equal to its first.
class OutlineContours {
 public:
  struct Corner {
    int32_t i = 0;  // column index: x = i − 0.5
    int32_t j = 0;  // row index: y = j − 0.5
    bool operator==(const Corner&) const = default;
  };
  struct Contour {
    size_t offset = 0;  // first point in points()
    uint32_t count = 0;
    bool closed = false;
    bool hole = false;
    bool headHorizontal = false;
    bool tailHorizontal = false;
  };

  size_t size() const { return contours_.size(); }
  bool empty() const { return contours_.empty(); }
  const Contour& contour(size_t k) const { return contours_[k]; }
  const std::vector<Corner>& points() const { return points_; }
  // Contour k as a TracePath (points at half-pixel coordinates, its flags).
  void toPath(size_t k, TracePath& out) const;
  // Every contour appended to the list in order.
  void appendTo(TracePathList& paths) const;
  void clear();

 private:
  friend class OutlineBuilder;
  std::vector<Corner> points_;
  std::vector<Contour> contours_;
};

// Traces the outlines of the 1-bit source (stage "Trace outline", progress
// y·100/height after every row, a cancel check after every row) into
// `contours`, which is cleared first. At the end palette entry 1 of the source
// becomes grey 220 (the bits stay). False only when cancelled, after
// finished(10). A source that is empty or not 1-bit gives no contours.
bool TraceOutlineContours(raster::CRaster& source, OutlineContours& contours, platform::ProgressSink* sink);

// The same into a path list (cleared first), as polyline generation and the
// analysis take them.
bool TraceOutline(raster::CRaster& source, TracePathList& paths, platform::ProgressSink* sink);

// An outer contour with the holes inside it; becomes one CPolyPolygon.
struct OutlineRegion {
  // Bounding box of the outer contour, raster coordinates (rows downwards).
  double minX = 0.0, minY = 0.0, maxX = 0.0, maxY = 0.0;
  // A point inside the ink: (x + 0.25, y − 0.25) of the outer contour's
  // first point as traced, raster coordinates.
  TracePoint seed;
  TracePath* outer = nullptr;       // owned by the path list
  std::vector<TracePath*> holes;    // owned by the path list
};
using OutlineRegionList = std::vector<OutlineRegion>;

// Stage "Analyse Outline": every outer path of the list becomes a region
// (appended to `regions`), every hole path joins the first region whose
// outer contour it finds by walking left from the hole's first corner along
// its row. A hole whose region cannot be found is left out and the message
// "Error" is shown once per analysis. Afterwards every path runs the other
// way round (points reversed, head and tail marks swapped): outer contours
// anticlockwise on the screen. Progress k·100/count when it changes, a cancel
// check after every path. False only when cancelled, after finished(10).
bool AnalyseOutline(const raster::CRaster& source, TracePathList& paths, OutlineRegionList& regions,
                    platform::ProgressSink* sink);

// True when the contour passes through (x, y): a vertex within 0.01 in both
// coordinates, or a segment within 0.01 of x (or of y) whose y (x) range
// holds the other coordinate, ends included.
bool ContourPassesThrough(const TracePath& path, double x, double y);

// Turns a region into a filled polypolygon: the outer contour's polyline
// first, then one outline per hole that yields a polyline, every outline
// closed; the seed point goes along in drawing coordinates. `counter` counts
// the contours converted and each one reports truncate(counter · step) to
// the sink. Answers kGenerateDone with `out` set, or empty when the outer
// contour gives no polyline; kGenerateNoMemory (out empty) when memory runs
// out.
int RegionToPolyPolygon(OutlineRegion& region, const PolylineGenerationParams& params,
                        std::unique_ptr<model::CPolyPolygon>& out, platform::ProgressSink* sink, size_t& counter,
                        double step);

// The whole run of the outline method on a prepared drawing: trace outline,
// the analysis for a solid fill, "Generate polyline", circle recognition in
// outline mode when the outline group asks for it, and the hatch fill for
// fill types 0 to 2. Delivers exactly one finished(): 0, 2 (out of memory),
// 3 (the fill failed), 10 (cancelled).
void RunOutlineMethod(model::CGraph& drawing, const settings::TraceOption& options, CTracer& tracer,
                      platform::ProgressSink* sink);

}  // namespace quillon::trace
