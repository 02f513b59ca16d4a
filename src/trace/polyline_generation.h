#pragma once
// Polyline generation: every traced path becomes one CPolyLine in drawing
// coordinates. The path's points are reduced by a greedy longest-segment
// search under the straighten tolerance, one-pixel jogs at the ends of
// axis-parallel runs are snapped away, the polyline is straightened and tiny
// results are dropped. Centre-line polylines register their ends for the
// connect stage.

#include <cstddef>
#include <deque>
#include <memory>
#include <vector>

#include "model/graph.h"
#include "model/polyline.h"
#include "platform/progress.h"
#include "settings/trace_option.h"
#include "trace/trace_path.h"

namespace quillon::postprocess {
class EndIndex;
}

namespace quillon::trace {

// Results of generatePolyline.
enum GenerateResult : int {
  kGenerateDone = 0,          // with an entity or with none (dropped as tiny)
  kGenerateTooFewPoints = -1, // the path has at most one point
  kGenerateNoMemory = -2,     // the polyline could not be allocated
  kGenerateTooSmall = -3,     // an outline result too small, dropped
  kGenerateNoPath = -4,       // no path, or unsimplified with fewer than 2 points
};

// What polyline generation needs from a run.
struct PolylineGenerationParams {
  settings::TraceMethod method = settings::TraceMethod::CenterLine;
  // Below 0.00001 every traced point becomes a vertex, with nothing dropped.
  double tolerance = 2.0;
  // Largest stride of the doubling search (at least 2).
  int maxStride = 128;
  // d_MaxDis of the centre-line group, for the polyline's own straighten.
  double straightenDistance = 2.0;
  // Register the ends of centre-line polylines with the end index.
  bool registerEnds = true;
  int rasterHeight = 0;
  int dotsPerInch = 200;

  // The values of a run: StraightenTolerance, the tracer step limit, the
  // centre d_MaxDis and b_Connect of the options.
  static PolylineGenerationParams fromOptions(const settings::TraceOption& options, int rasterHeight,
                                              int dotsPerInch);
};

// Points strictly between c and k lie within `tolerance` of the segment from
// point c to point k (distance to the nearer end where the projection falls
// outside it). Requires c < k < points.size().
bool segmentFits(const std::vector<TracePoint>& points, size_t c, size_t k, double tolerance);

// The index of the vertex that follows vertex c (c < last index): the
// farthest point the segment from c still fits, found by doubling the probe
// stride up to maxStride and then bisecting; the search does not look past
// the first probe that fails. The chosen point may be snapped one pixel
// onto the column or row of the run before it (the path point is changed).
size_t nextVertex(std::vector<TracePoint>& points, size_t c, double tolerance, int maxStride);

// The vertices of the path: point 0 for an open path, then each next vertex
// up to the last point (a closed path's output thus omits point 0, which
// lies on its last point). False, output untouched, when the path has at
// most one point.
bool simplifyPath(TracePath& path, std::vector<TracePoint>& out, double tolerance, int maxStride);

// Turns one path into a polyline (pixel (x, row y) becomes (x, H − 1 − y)).
// `out` receives the entity, or stays empty when the result was dropped.
// Ends of kept centre-line polylines go to `ends` when given and
// registerEnds is set. Returns a GenerateResult.
int generatePolyline(TracePath* path, const PolylineGenerationParams& params, std::unique_ptr<model::CPolyLine>& out,
                     postprocess::EndIndex* ends);

// Decides, without making the polyline, that generatePolyline makes no
// entity of a path: a centre-line path that simplifies to one point or to a
// single segment no longer than the stub length (above 50 dpi). False
// whenever that is not certain; the path itself is not changed. A trace run
// uses it as its tracer's path filter, so that specks never become paths.
class CentreStubTest {
 public:
  explicit CentreStubTest(const PolylineGenerationParams& params) : params_(params) {}
  bool operator()(const TracePath& path);

 private:
  PolylineGenerationParams params_;
  TracePath copy_;  // simplification snaps points, so it works on a copy
  std::vector<TracePoint> vertices_;
};

// Makes a path's polyline as generatePolyline does (without ends to
// register), leaving the path as it is: a centre-line run hands it each path
// as it is traced, so that no path is ever stored. Null when the path makes
// no entity; specks are recognised before any polyline is allocated. Throws
// std::bad_alloc when memory runs out.
class PolylineMaker {
 public:
  explicit PolylineMaker(const PolylineGenerationParams& params) : params_(params) {}
  std::unique_ptr<model::CPolyLine> operator()(const TracePath& path);
  // The last path as generatePolyline would have left it: simplification
  // snaps points in place.
  const TracePath& worked() const { return copy_; }

 private:
  PolylineGenerationParams params_;
  TracePath copy_;  // simplification snaps points, so it works on a copy
  std::vector<TracePoint> vertices_;
};

// What a centre-line run made of its paths while tracing them, in tracing
// order: the polylines and, for refined runs, the middles of the stubs that
// made none (generatePolylines looks for dots there, as at lone pixels).
struct MadePolylines {
  std::vector<std::unique_ptr<model::CPolyLine>> polylines;
  std::vector<TracePoint> stubMiddles;
  // Takes the path's polyline from the maker, or its stub middle.
  void take(PolylineMaker& maker, const TracePath& path, bool keepStubMiddles);
};

// The "Generate polyline" stage of a trace run: one polyline per path in
// order, each added to the drawing's current layer, progress count·100/n
// after each path and a cancel check after it. Returns 0 when the stage
// ended normally (stage end delivered), else the result code it delivered
// with finished(): 2 when a polyline could not be allocated, 10 when
// cancelled. `ends` is the run's end index (may be null). Each path leaves
// the list once its polyline is made, so that a noisy scan's million paths
// give their memory to the polylines; after a normal end (and after a
// cancel, for the paths done) the list holds no paths and no lone pixels.
// Polylines `made` while tracing join the drawing first, one step each;
// their stub middles come after the lone pixels.
int generatePolylines(TracePathList& paths, model::CGraph& drawing, const settings::TraceOption& options,
                      platform::ProgressSink* sink, postprocess::EndIndex* ends, MadePolylines* made = nullptr);

}  // namespace quillon::trace
