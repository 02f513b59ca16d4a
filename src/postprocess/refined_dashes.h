#pragma once
// Refined centre lines: dashes whose ink runs together. A dashed line drawn
// with gaps under a pixel or so leaves no white between its dashes, only a
// neck where the round caps of two dashes meet; thinning then runs one
// skeleton through the whole row and it comes back as one long stroke. A
// straight stroke whose ink narrows to a neck again and again at a regular
// spacing is such a row: it is cut into its dashes at the necks.

#include "model/layer.h"
#include "raster/raster.h"

namespace quillon::postprocess {

// Cuts every straight two-vertex polyline of the layer whose ink shows
// necks at a regular spacing (two necks at least) into one straight
// polyline per dash, each ending at the centre of its dash's cap. Answers
// the number of polylines cut.
int splitDashRows(model::CLayer& layer, const raster::CRaster& raster);

// Dash-dot lines: a dot that touches another stroke is no blob of its own
// and thinning loses it. Beyond each dash that follows a dot found, the row
// repeats: the next dot lies as far beyond the dash's far end as the found
// one lies before its near end. Where round ink of the found dot's size lies
// there, with white along the row on both sides, and no dot yet, a dot like
// the found one is added. Answers the number of dots added.
int restoreRowDots(model::CLayer& layer, const raster::CRaster& raster);

// Dashes and dots that touch other ink: thinning runs a dash that touches a
// crossing stroke into that stroke's centre and on, or joins it to the
// dashes beyond, and a dot on another stroke is no blob of its own. Dashes
// of one width on one line at a regular spacing (three at least, with white
// between most of them) make a row whose rhythm is known: where the row
// says a dash lies, the ink runs along it and across it no wider than the
// row's dashes, and no piece of the row ends at its caps, the pieces of the
// row there are replaced by the dash; where a row whose gaps hold dots says
// a dot lies on ink and there is none, one is added. Answers the number of
// dashes and dots added.
int completeDashRows(model::CLayer& layer, const raster::CRaster& raster);

}  // namespace quillon::postprocess
