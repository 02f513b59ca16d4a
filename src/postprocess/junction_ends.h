#pragma once
// Refined centre lines: ends that run into another stroke. Thinning ends the
// stem of a T junction at the junction pixel it keeps, which lies about half
// the bar's width short of the bar's centre line, and connect leaves the
// stem ending there. This step carries such an end along its own direction
// onto the centre line of the stroke it runs into. It runs last, after
// straighten and angle adjustment: only then is the bar the straight
// segment it ends as (before, connect may have joined its halves through
// the junction pixel, a vertex off its final line), and the stem's
// direction the one it keeps.

#include "model/layer.h"
#include "raster/raster.h"

namespace quillon::postprocess {

// Moves every end of an open polyline of the layer that runs into another
// straight segment (of another polyline, or of its own beyond the end
// segment) onto that segment: the end's line meets the segment at an angle
// of 30° or more, the meeting point lies on the segment (half a pixel of
// slack), at most the larger of the segment's and the end's own half width
// plus 2.5 pixels ahead of the end (or the segment's half width behind), and
// the raster is ink all the way from the end to it. The nearest such point
// wins. Free ends, whose ink stops, stay. Answers the number of ends moved.
int carryEndsOntoStrokes(model::CLayer& layer, const raster::CRaster& raster);

}  // namespace quillon::postprocess
