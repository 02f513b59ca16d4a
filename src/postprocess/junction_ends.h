#pragma once
// Refined centre lines: ends that run into another stroke. Thinning ends the
// stem of a T junction at the junction pixel it keeps, which lies about half
// the bar's width short of the bar's centre line, and connect leaves the
// stem ending there. This step carries such an end along its own direction
// onto the centre line of the stroke it runs into: the middle of that
// stroke's ink beside the junction, where its traced segment may lie a pixel
// or so off (thinning pulls the skeleton towards the branch, straighten and
// angle adjustment move segments). It runs once the straight strokes are
// rebuilt, when the bar is the straight segment it ends as, and again after
// angle adjustment, which turns a stem about its middle and so slides its
// end along the bar and, by a pixel or so, off it.

#include "model/layer.h"
#include "raster/raster.h"

namespace quillon::postprocess {

// Moves every end of an open polyline of the layer that runs into another
// straight segment (of another polyline, or of its own beyond the end
// segment) onto it: the end's line meets the segment at an angle of 30° or
// more, the meeting point lies on the segment (half a pixel of slack), at
// most the larger of the segment's and the end's own half width plus 2.5
// pixels ahead of the end (or the segment's half width behind), and the
// raster is ink all the way from the end to it (or within a pixel beside the
// way). The nearest such segment wins; the end goes where its line meets the
// middle of that segment's ink, scanned across the ink at stations on both
// sides of the junction clear of the end's own stroke, or the segment itself
// when the scans find no clean ink. Free ends, whose ink stops, stay. An
// end whose stroke narrows just before the other stroke's edge (3 px wide
// or wider, by 1.5 px or more) is a round cap that only touches it: that
// end goes to the cap's centre instead, short of the edge by the cap's
// radius less the chord's half.
// Answers the number of ends moved.
int carryEndsOntoStrokes(model::CLayer& layer, const raster::CRaster& raster);

// An end that ran on through a stroke onto another one (connect joined it
// to a stroke beyond, or it was carried onto the next one): it lies in no
// cap of its own but within 1.5 pixels of another straight segment, and a
// straight segment crosses its end segment at 30° or more at least a pixel
// behind the end and at most that stroke's half width (along the end's
// direction) plus the end's own half width and 2.5 pixels behind. The end
// goes back onto the centre line of that crossed stroke (the furthest back
// when several cross), as carryEndsOntoStrokes places it.
// Answers the number of ends moved.
int pullEndsBackOntoStrokes(model::CLayer& layer, const raster::CRaster& raster);

// An end that thinning left in the ink of a stroke crossing its way a few
// pixels before the stroke it runs into (the short piece between the two
// joins no skeleton): when the ink past the crossing shows the end's own
// stroke, of its width and without a break, up to the next stroke's edge
// (at most 16 pixels ahead), the end goes on through the crossing onto
// that stroke's centre line, placed as carryEndsOntoStrokes places it.
// Answers the number of ends moved.
int carryEndsThroughCrossings(model::CLayer& layer, const raster::CRaster& raster);

// An end left in the ink of a stroke its own stroke crosses and runs on
// past by a few pixels, up to its cap or the raster's edge (the piece
// beyond makes no skeleton of its own) goes to the cap's centre, its half
// width short of where the ink along its line stops: when that centre lies
// 1 px or more past the crossing's far edge (the ink stopping at most 64 px
// and the half width past it), the ink stops at a cap that grows no wider
// than the stroke or at the raster's edge, and the ink before, clear of the
// crossing's flank, shows the end's own stroke (of its width within 1.5 px,
// its middle within a pixel of the end's line) at half its stations or more
// (a cap just past the crossing leaves fewer than three, and then only the
// cap's check stands). An end whose stroke beyond the crossing is traced
// already (a straight segment of another polyline lies along it, within 20°
// and its half width and a pixel) stays.
// Answers the number of ends moved.
int carryEndsPastCrossings(model::CLayer& layer, const raster::CRaster& raster);

// An end thinning stopped where its stroke's ink merges with another's
// running alongside at a shallow angle (the merged ink's skeleton follows
// the other stroke and the end's last stretch is lost in it): when one edge
// of the end's own stroke shows all along its line (white across within
// 1.5 px outside or 0.5 px inside its half width, both edges hidden for
// 1.5 px at most, or 4.5 px on strokes 3 px wide or wider, neither
// drifting off the line by more than 1.5 px) up to where the ink along the line
// stops, at most 160 px on, and the ink there is a cap touched by other ink
// on one side at most, the end goes to the cap's centre, its half width
// short of where the ink stops. A stroke crossing at a shallow angle may
// hide both edges for up to 60 px when past it the end's own stroke shows
// (both edges, of its width, its middle within a pixel of the line) at 3
// stations or more and at half of those where an edge shows. Hairlines
// (under 1.5 px), end segments shorter than 20 px, ends where an arc or a
// bulge goes on (a fillet's leg), ends whose line meets a straight segment
// at 30° or more on the way and ends whose stroke beyond is traced already
// stay, and so does an end that would gain less than 2 px.
// Answers the number of ends moved.
int carryEndsAlongMergedInk(model::CLayer& layer, const raster::CRaster& raster);

// Two straight polylines (two vertices, 20 px or longer) whose ends meet at
// a corner: thinning runs one leg's skeleton into the corner's tip and
// stops the other where the two strokes' ink merges, a few pixels (at an
// acute corner, a few widths) short. When the legs' lines cross at 30° or
// more at a point no more than a pixel behind either end and within the
// reach of a corner of their widths ahead of both, with ink all the way
// from each end to it, and the ink past that point ends within the wider
// half width (and a pixel and a half) along both legs, as at a corner's tip
// and not where a stroke goes on, both ends go to that point. Ends already
// on another stroke (stems carried onto their bars) take no part; pairs
// are taken shortest moves first, each end in one pair at most.
// Answers the number of ends moved.
int meetAtCorners(model::CLayer& layer, const raster::CRaster& raster);

}  // namespace quillon::postprocess
