#pragma once
// Line widths of a centre-line trace. A traced polyline runs along the middle
// of an inked stroke; its width is measured from the 1-bit raster by probing
// across the stroke segment by segment and kept as the startWidth of each
// segment's start vertex. The same stage folds away the short bent end hooks
// thinning leaves, deletes two-vertex blobs shorter than their own width and
// (refined) moves free ends out to the centre of their round caps, which
// thinning cuts short.
// At the end of post-processing the widths are rounded to the width series.

#include "model/layer.h"
#include "model/polyline.h"
#include "platform/progress.h"
#include "raster/raster.h"
#include "settings/width_series.h"

namespace quillon::postprocess {

// Whether the pixel under drawing point (x, y) is ink; inside tells whether
// that pixel lies in the raster at all. The pixel is column trunc(x + 0.5),
// row H − 1 − trunc(y + 0.5), as the trace took it. Inline: the refined
// stages probe the raster millions of times.
inline bool inkAt(const raster::CRaster& raster, double x, double y, bool& inside) {
  const int column = static_cast<int>(x + 0.5), row = raster.height() - 1 - static_cast<int>(y + 0.5);
  inside = column >= 0 && row >= 0 && column < raster.width() && row < raster.height();
  return inside && raster.bitAt(column, row);
}

// How far the ink reaches from drawing point (x, y) along the unit
// direction (ux, uy), probing every quarter pixel: the last probe distance,
// up to reach, whose pixel is ink with ink all the way before it; −1 when the
// start pixel is not ink or the probe leaves the raster while on ink.
double inkReach(const raster::CRaster& raster, double x, double y, double ux, double uy, double reach);

// The stroke width at drawing point (x, y) across direction (dx, dy): the
// ink runs from the point's pixel towards both sides, each reaching |d|
// pixels, added (twice one side when the other probe leaves the raster),
// less the centre pixel counted twice; refined, that count is scaled by the
// length of one step of the slanted probe so that the answer is a distance
// across a slanted stroke too. A count of 2 or less is a hairline and gives 0. Negative when both probes leave the raster or the raster is
// not 1-bit. The point's pixel is column trunc(x + 0.5), row
// H − 1 − trunc(y + 0.5): the pixel the vertex was traced from.
double sampleStrokeWidth(const raster::CRaster& raster, double x, double y, double dx, double dy, bool refine);

// The width of the segment from v to q, from five samples along it (two, at
// its ends, for a segment shorter than 5): their mean, or the smallest
// sample when one deviates from the mean by more than 10 %; 0 without a
// valid sample.
double measureSegmentWidth(const raster::CRaster& raster, const model::PolyVertex& v, const model::PolyVertex& q,
                           bool refine);

// Refined: the width of the segment from v to q from up to 15 samples
// spaced about 3 px apart (a segment shorter than 5: as measured plainly). A
// slanted stroke's sample counts whole pixels, a step more or less than its
// width by the phase of the pixel grid; their mean is the width, where the
// plain rule's smallest sample would be a step short. Samples further than
// the larger of 1.5 px and a quarter of it from the sample an eighth of the
// way up from the narrowest (crossing strokes, junctions and a stroke
// merging alongside only widen samples) are left out of the mean; 0
// without a valid sample.
double refinedSegmentWidth(const raster::CRaster& raster, const model::PolyVertex& v, const model::PolyVertex& q);

// Refined, once the geometry is final: the width of every straight segment
// of every polyline measured again with refinedSegmentWidth along the
// segment as it now lies (straighten and the junction steps change them
// after the widths were first taken), and of every circle and arc wider
// than its width across the ring the same way (away from an arc's caps); an
// entity without a valid sample keeps its width, and so do dots' circles.
// The stages before keep deciding on the widths measured plainly.
void remeasureWidthsLayer(model::CLayer& layer, const raster::CRaster& raster);

// Sets the startWidth of every segment's start vertex (the closing segment's
// too when closed); endWidths are not touched.
void measurePolylineWidths(model::CPolyLine& polyline, const raster::CRaster& raster, bool refine);

// After measuring: folds a short bent end segment onto the line of the
// segment next to it, at both ends of an open polyline of 3 or more
// vertices. Answers false for a blob, a two-vertex polyline no longer than
// 0.95 of its width, which the caller deletes.
bool validateAfterWidth(model::CPolyLine& polyline);

// Moves each free end of an open polyline (measured widths needed) out to
// the centre of its round cap, which thinning leaves a pixel or more short:
// an end moves along its end segment to half the stroke width before the
// end of the ink ahead, but only when the ink around the new end is a cap
// (it ends within half the width plus 1.5 straight ahead, at 45° and at 90°
// to both sides). An end inside a T, a crossing or a bend, the two ends
// where a ring's trace meets itself, an end segment shorter than 2 and an
// end whose ink runs off the raster stay.
void extendFreeEnds(model::CPolyLine& polyline, const raster::CRaster& raster);

// Refined, once the geometry and the widths are final: every free end of an
// open polyline whose end segment is straight moves along it to its cap's
// centre as extendFreeEnds moves it, out when short of it and also back when
// the skeleton ran on towards the tip of the cap (by up to the segment's
// length less a pixel).
void centreFreeEndsLayer(model::CLayer& layer, const raster::CRaster& raster);

// Whether both ends of an open polyline lie at the centres of round caps
// (the ink ends within half the width plus 1.5 ahead, at 45° and at 90° to
// both sides): a short stroke on its own, such as a dash, rather than a
// stub of a junction.
bool endsInCaps(const model::CPolyLine& polyline, const raster::CRaster& raster);

// The same for one end e of a segment from q, of width w.
bool endInCap(const raster::CRaster& raster, const model::PolyVertex& e, const model::PolyVertex& q, double w);

// The stage "Calculate line width": measures every polyline of the layer,
// then validates each and deletes the blobs; refined, it also extends the
// free ends of the others. Progress 0..50 over the
// measuring and 50..100 over the validation. False only when cancelled
// (finished(10), no stage end).
bool calculateWidthsLayer(model::CLayer& layer, const raster::CRaster& raster, bool refine,
                          platform::ProgressSink* sink);

// The stage "Round width": every entity's width rounded to the series with
// the raster resolution in pixels per metre (a polyline also rounds each
// segment's startWidth). False only when cancelled.
bool roundWidthsLayer(model::CLayer& layer, const settings::WidthSeries& series, double pixelsPerMetre,
                      platform::ProgressSink* sink);

}  // namespace quillon::postprocess
