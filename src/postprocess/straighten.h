#pragma once
// Straighten: removes polyline vertices that lie close to the chord between
// two kept vertices, so straight strokes become single segments while corners
// and curves keep their vertices. Greedy and forward-only: a run from a start
// vertex grows vertex by vertex while every vertex inside stays within the
// tolerance of the chord. Segments with a bulge (recognised arcs) are never
// part of a run.

#include "model/layer.h"
#include "model/polyline.h"
#include "platform/progress.h"

namespace quillon::postprocess {

// Straightens one polyline in place with the straighten distance maxDis
// (d_MaxDis). A vertex may go when it lies within the larger of maxDis and
// half the average start width of the run's vertices; a run stops at a vertex
// whose width differs by more than 50 % from the run's first width. Polylines
// of fewer than 3 vertices are left alone. Cannot fail.
void straightenPolyline(model::CPolyLine& polyline, double maxDis);

// The layer stage "Straighten line": every polyline of the layer in order,
// progress i·100/n after each entity. False only when cancelled (finished(10)
// delivered, no stage end).
bool straightenLayer(model::CLayer& layer, double maxDis, platform::ProgressSink* sink);

}  // namespace quillon::postprocess
