#pragma once
// Mixed-up line deletion: specks, hatching remnants and broken serifs of a
// scan trace as very short lines. Runs after connect, so pieces of a longer
// stroke are joined first and survive.

#include "model/layer.h"
#include "raster/raster.h"

namespace quillon::postprocess {

// Deletes every line and polyline of the layer whose length (a closed
// polyline's closing segment included) is below minLength (i_DelLine_Length).
// Circles, arcs, solids and polypolygons stay. Reports nothing and cannot
// fail; answers the number of entities deleted.
// Refined centre lines pass the raster as keepStrokes: a short polyline
// whose both ends are round caps (a dash, a short stroke of text) is kept.
int deleteShortLines(model::CLayer& layer, int minLength, const raster::CRaster* keepStrokes = nullptr);

}  // namespace quillon::postprocess
