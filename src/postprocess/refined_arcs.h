#pragma once
// Refined centre lines: circles and arcs checked and placed against the ink.
// The plain fit takes its centre from three bisector crossings of four
// vertices and accepts any run whose vertices lie within the tolerance (half
// the stroke width on thick strokes), so straight runs of thick strokes,
// bends of text and the seams of crossings pass as arcs, and true circles
// come back with centres a pixel or two off. Here the fitted circle is
// walked along the raster: at every sample the ink is probed outwards and
// inwards, and the stroke's centre line, half-way between both edges, must
// follow the circle. The offsets found correct the centre and radius.

#include <memory>
#include <optional>
#include <vector>

#include "model/circle.h"
#include "model/polyline.h"
#include "model/geometry.h"
#include "raster/raster.h"

namespace quillon::postprocess {

// A circle or arc on the raster, drawing coordinates (y up): from
// startAngle, sweeping `sweep` radians (negative: clockwise; 2π: a full ring).
struct StrokeCircle {
  model::Point3 centre;
  double radius = 0.0;
  double startAngle = 0.0;
  double sweep = 0.0;
};

// The circle moved onto the centre line of the stroke of width `width` that
// it follows, or nothing when it does not follow one: the pixel under a
// sample is blank (the arc cuts across white, as across the bend of a
// glyph), too few samples see both edges of the stroke (crossings and
// junctions are passed over), or after the correction the centre line still
// strays more than a pixel from the circle at too many samples (more than
// strayShare of those that see both edges: a straight stroke fitted with a
// shallow arc). An arc of less than half a turn is finished on samples
// about 2 px apart, its circle fitted to their centre-line points, unless
// `fine` is false (a candidate that may yet be walked on, cheaper).
std::optional<StrokeCircle> followStroke(const raster::CRaster& raster, const StrokeCircle& circle, double width,
                                         double strayShare = 0.2, bool fine = true);

// What the ink says along an arc, the circle taken as it is: of `samples`
// points about a pixel apart, how many are blank (no ink under or beside
// them), open (one edge of the stroke not seen: a crossing), and, of the
// rest, how many put the stroke's centre line more than a pixel off.
struct ArcInk {
  int samples = 0;
  int blank = 0;
  int open = 0;
  int stray = 0;
};
ArcInk inkAlong(const raster::CRaster& raster, const StrokeCircle& arc, double width);
// Whether at most `share` of the samples inkAlong takes along the arc are
// blank; counts no further than that, and probes no edges.
bool blankAlongAtMost(const raster::CRaster& raster, const StrokeCircle& arc, double share);

// The arc of the stroke that `placed` (a piece already on a stroke's centre
// line) lies on, as far as that stroke goes: walked on along the circle from
// both ends over crossings (where the edges are not both seen) until the
// pixel under the circle turns blank or the centre line leaves the circle,
// the circle corrected on the ink every time the arc grows (a short piece
// places its centre poorly), and each end that ran into white taken back to
// the centre of its round cap, one inside a wider stroke back to where the
// ink widens. Sweeps the same way as `placed`; nothing when
// a grown arc no longer follows one stroke or comes round to a full ring
// (the circle search handles those), and with `grownOnly` when it walks on
// from neither end (its ends stay within a step of the piece's).
std::optional<StrokeCircle> extendAlongStroke(const raster::CRaster& raster, const StrokeCircle& placed, double width,
                                              bool grownOnly = false);

// A dot (of a dash-dot line, a full stop) where thinning left one lone
// skeleton pixel at drawing point (x, y): a round blob of ink at least 2.5 px
// across, as a circle of a quarter of its diameter with half the diameter
// as width, which inks exactly the blob. A circle rather than a
// zero-length polyline because every output format and reader keeps a
// circle, and no later stage deletes or joins one. Nothing for specks of
// salt noise (a pixel or a 2 × 2 square), blobs that run off the raster and elongated ones.
std::unique_ptr<model::CCircle> dotAt(const raster::CRaster& raster, double x, double y);

// Thinning wipes out some small blobs altogether (a disc 4 or 5 px across
// off the pixel grid erodes to a 2 × 2 block and then to nothing), so dots
// are also looked for on the ink itself: the centroids (column, row) of the
// 8-connected blobs of ink that fit in a square of maxSize pixels.
// Blobs up to 27 px are filled a window row at a time.
std::vector<model::Point3> smallBlobCentres(const raster::CRaster& raster, int maxSize);
// The same, filled pixel by pixel (any maxSize).
std::vector<model::Point3> smallBlobCentresByFill(const raster::CRaster& raster, int maxSize);

// The dots of dotAt at these drawing points, one per blob: points on the
// same blob (a lone skeleton pixel and the blob's centroid) give one dot.
std::vector<std::unique_ptr<model::CCircle>> dotsAt(const raster::CRaster& raster,
                                                    const std::vector<model::Point3>& points);

// Fillets: a bend of a polyline between two straight segments of at least
// kFilletLeg px where the stroke's centre line passes the bend's corner
// point at a distance (a rounded corner rather than a sharp one) becomes a
// tangent arc: the radius is taken from where the centre line crosses the
// bisector of the corner, checked and corrected on the ink with
// followStroke, and the arc rejoined tangent to both segments. The bend's
// own vertices (thinning leaves one to three on a fillet, too few for the
// arc search) are replaced by the two tangent points, the first carrying
// the bulge. Answers how many fillets were made.
int roundFillets(model::CPolyLine& polyline, const raster::CRaster& raster);

}  // namespace quillon::postprocess
