#pragma once
// Angle adjustment: traced segments deviate from the drawing's preferred
// directions by a degree or two. A straight segment whose direction lies in
// the range of an angle-series entry is turned to that entry's main angle;
// otherwise, when the corner it makes with the previous segment lies in a
// range, the segment is turned so that the corner takes the main angle.
// Turned segments stay connected: their ends slide along the neighbouring
// segments (or, failing that, perpendicular to the old segment).

#include "model/layer.h"
#include "model/polyline.h"
#include "platform/progress.h"
#include "settings/angle_series.h"

namespace quillon::postprocess {

// Adjusts every straight segment of the polyline in vertex order (the
// closing segment last). Only x and y of vertices change. Nothing for fewer
// than 2 vertices; arc segments are never turned. With maxShift above 0 a
// turn that would move an end of its segment farther than that (pixels) is
// not made: the refined trace keeps a line on its ink.
void adjustPolylineAngles(model::CPolyLine& polyline, const settings::AngleSeries& series, double maxShift = 0.0);

// Turns the segment that starts at vertex `index` to direction phi (radians)
// about its midpoint; each end slides along its guide line (the neighbouring
// segment, or the perpendicular to the old segment at an open end, when the
// neighbour is collinear, or when the move along the neighbour would exceed
// 10 pixels). Parallel guide lines leave the segment as far as it was moved.
void rotateSegment(model::CPolyLine& polyline, size_t index, double phi);

// The layer stage "Adjust angle": every entity in order, progress i·100/n
// after each. False only when cancelled (finished(10), no stage end).
bool adjustAnglesLayer(model::CLayer& layer, const settings::AngleSeries& series, platform::ProgressSink* sink,
                       double maxShift = 0.0);

}  // namespace quillon::postprocess
