#pragma once
// Circle and arc recognition. Traced polylines follow circles and arcs with
// many short segments. Runs of vertices that lie on one circle with a
// regular angular progression are replaced: a whole closed polyline by a
// CCircle, a whole open one by a CArc (a CCircle past 355°), a run inside a
// longer polyline by one bulged segment. In centre-line mode with connect on,
// arcs whose ends meet are merged afterwards into larger arcs or circles.

#include <optional>

#include "model/arc.h"
#include "model/layer.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "platform/progress.h"
#include "raster/raster.h"
#include "settings/trace_option.h"

namespace quillon::postprocess {

// The two uses of the stage.
enum class CircleMode : int {
  CentreLine = 1,  // arcs merged afterwards when connect is on
  Outline = 2,     // never merged
};

// The tolerances of one recognition.
struct CircleTolerances {
  double maxDis = 2.0;  // d_MaxDis: the sagitta a chord may span
  int conDis = 5;       // i_ConDis: how far arc ends may be apart to merge
  double size = 0.0;    // largest radius, the raster's larger side in pixels
  // Refined centre lines: a bisector crossing much flatter than the best
  // is left out of the centre, and a full ring may have one short seam step.
  bool refine = false;
  // Refined centre lines only: the raster the polylines were traced from.
  // A fitted run must then follow the centre line of an inked stroke, which
  // also places its centre and radius (see followStroke).
  const raster::CRaster* raster = nullptr;
  // Compare every circle with every segment instead of the circles near it
  // (same result, for checking).
  bool plain = false;
};

// A circle fitted through a run of vertices.
struct ArcFit {
  model::Point3 centre;
  double radius = 0.0;
  double startAngle = 0.0;  // of the run's first vertex, in [0, 2π]
  double endAngle = 0.0;    // of its last vertex, unwrapped along the direction
  int direction = 1;        // +1 counter-clockwise, −1 clockwise
};

// Do the vertices first..last of the polyline (indices, walking forwards; a
// full ring of a closed polyline when first == last) lie on one circle?
// Needs at least 4 vertices, a radius in [2.5, size], every vertex within
// max(maxDis, its half width) of the circle, and angular steps between those
// of chords 0.3·c0 and 1.55·c0 long (c0 the chord of sagitta maxDis), all in
// one direction (refined: a full ring may have one shorter step, its seam). Nothing
// when they do not; on an open polyline also when the walk from first would
// pass the last vertex.
std::optional<ArcFit> fitArc(const model::CPolyLine& polyline, size_t first, size_t last,
                             const CircleTolerances& tolerances);

// Recognises circles and arcs in one polyline. outlineSign 0: a polyline of
// `layer` (required), whose replacements go to the layer's front; a polyline
// replaced whole is left empty for the caller to delete. outlineSign +1 / −1:
// an outline of a polypolygon (outer / hole), which keeps a circle as two
// vertices with bulge +1 / −1. Answers 0 when done, −1 without a layer for
// outlineSign 0, −2 when memory runs out. Fewer than 4 vertices: nothing.
int recognisePolylineCircles(model::CPolyLine& polyline, const CircleTolerances& tolerances, int outlineSign,
                             model::CLayer* layer);

// Every outline of the polypolygon: the first with outlineSign +1, the others
// with −1. −2 as soon as one runs out of memory, else 0.
int recognisePolyPolygonCircles(model::CPolyPolygon& polygon, const CircleTolerances& tolerances);

// The arc that continues r by q when their ends meet within conDis in x and
// in y (r's end at q's start, q's end at r's start, or both, which closes a
// circle: then start and end angle are both 0); every end and middle point
// of both arcs must lie within conDis/2 of it.
struct MergedArc {
  model::Point3 centre;
  double radius = 0.0;
  double startAngle = 0.0;
  double endAngle = 0.0;
};
std::optional<MergedArc> canMergeArcs(const model::CArc& r, const model::CArc& q, int conDis);

// Merges arcs of the layer whose ends meet (see canMergeArcs), reporting
// progress from 60 to 100. False when cancelled (finished(10)) or out of
// memory (finished(2)).
bool mergeArcsLayer(model::CLayer& layer, int conDis, platform::ProgressSink* sink);

// The stage "Recognize circle" over every polyline and polypolygon of the
// layer, with the tolerances d_MaxDis and i_ConDis of the centre-line group
// and the given size; then the emptied polylines are deleted and, in
// centre-line mode with b_Connect set, the arcs are merged. False when
// cancelled (finished(10)) or out of memory (finished(2)); entities replaced
// so far stay replaced. With b_Refine and a raster, centre-line runs are
// checked against and placed on the ink.
bool recogniseCirclesLayer(model::CLayer& layer, const settings::TraceOption& options, int size, CircleMode mode,
                           platform::ProgressSink* sink, const raster::CRaster* raster = nullptr);

}  // namespace quillon::postprocess
