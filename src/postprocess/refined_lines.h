#pragma once
// Refined centre lines: straight strokes rebuilt whole. Thinning splits a
// stroke wherever another crosses or meets it, and connect joins the pieces
// through crossings and round corners to whichever partner lies nearest, so
// a straight stroke comes back as collinear pieces spread over several
// polylines, each ending a little off at the junction. Here the straight
// segments of all polylines that lie on one line, with ink all the way
// between them, are joined into one straight polyline fitted to the
// stroke's centre line on the raster; polylines are cut at sharp corners
// between straight legs, and two legs that met at a corner end at the
// crossing point of their fitted lines.

#include "model/layer.h"
#include "raster/raster.h"

namespace quillon::postprocess {

// Rebuilds the straight strokes of the layer as described above. Segments
// with a bulge and short segments that belong to no straight stroke stay in
// what remains of their polylines; remnants lying wholly inside a rebuilt
// stroke's ink (the stubs thinning leaves inside a crossing) are removed.
// A straight two-vertex polyline that joins no other piece stays, laid
// onto its stroke's centre line (its ends moved across the stroke only).
// Answers the number of straight polylines made.
int rebuildStraightStrokes(model::CLayer& layer, const raster::CRaster& raster);

}  // namespace quillon::postprocess
