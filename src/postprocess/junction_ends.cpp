#include "postprocess/junction_ends.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include "model/polyline.h"
#include "postprocess/line_width.h"
#include "postprocess/stage_common.h"

namespace quillon::postprocess {

namespace {

using model::CPolyLine;
using model::PolyVertex;

// Side of a grid cell; every segment within kMaxReach of a point lies in the
// 3 × 3 cells around the point's cell.
constexpr double kCell = 16.0;
constexpr double kMaxReach = kCell;
// How far beyond the target's half width an end may be carried forwards.
constexpr double kAheadSlack = 2.5;
// Slack along the target segment, pixels.
constexpr double kAlongSlack = 0.5;
// Smallest sine of the angle between the end's direction and the target.
constexpr double kMinSine = 0.5;  // 30°
// An end pulled back goes at least this far.
constexpr double kMinBack = 1.0;
// An end this close to another stroke's traced segment sits on it.
constexpr double kOnOther = 1.5;
// A segment the end's line meets at least this far inside it passes
// through the junction, pixels; a segment met at its end running within
// acos(kSpurAngleCosine) of such a segment is a spur in its ink.
constexpr double kThroughInside = 1.5;
constexpr double kSpurAngleCosine = 0.94;  // 20°
// Moves shorter than this are not worth making.
constexpr double kMinMove = 0.25;
// Step of the ink check between the end and its new place.
constexpr double kInkStep = 0.5;
// How far beside the way the ink check may find its ink, pixels.
constexpr double kInkBeside = 1.0;
// The ink's centre across a stroke: step, precision and offset of the
// scans, how far beyond the stroke's half width a scan looks, the stations
// on each side of the junction and their spacing along the stroke, pixels.
constexpr double kScanStep = 0.5;
constexpr double kScanPrecision = 0.07;
constexpr double kScanOffset = 1.0 / 32.0;
constexpr double kScanSlack = 2.5;
constexpr int kStations = 3;
constexpr double kStationStep = 2.0;
// Carried through a crossing: the white-free stretch of the end's own
// stroke between the crossing and the stroke beyond is at least this long,
// and its ink this close to the end's width, pixels.
constexpr double kMinGap = 1.0;
constexpr double kGapWidthSlack = 1.5;
// ... and its middle this close to the end's line, pixels.
constexpr double kGapOffLine = 1.0;
// Carried past a crossing to its cap: the ink stops at most this far past
// the crossing's far edge (and the end's half width), pixels.
constexpr double kMaxPastCrossing = 64.0;

// A thin end (half width at most kSpurHalfWidth) kSpurPastMin to kSpurPast
// beyond the far edge of the stroke it crossed is pulled back onto it.
constexpr double kSpurHalfWidth = 0.5;
constexpr double kSpurCrossedHalfWidth = 1.5;
constexpr double kSpurPastMin = 0.5;
constexpr double kSpurPast = 1.0;

// A traced vertex this close to where an end meets its target, bent by no
// more than acos(kMaxBendCosine) and lying at most kMaxBendPull off the
// chord between its neighbours, was pulled there by the junction.
constexpr double kAtVertex = 1.5;
constexpr double kMaxBendCosine = 0.7;
constexpr double kMaxBendPull = 4.0;

// Corners: end segments shorter than this give no direction; the crossing
// point may lie this far behind an end, and no further ahead than this.
constexpr double kCornerMinLeg = 20.0;
constexpr double kCornerBehind = 1.0;
constexpr double kCornerMaxReach = 40.0;
// How far past the crossing point, beyond the wider half width, the ink of
// a corner's tip may reach.
constexpr double kCornerTipSlack = 1.5;

// A cap touching a stroke ahead: ends of half width at least this are
// checked; the stroke's own width is taken this far (beyond its half
// width) before the other stroke's edge, the cap's chord this far before
// it, and a chord this much narrower than the stroke is a cap.
constexpr double kCapMinHalfWidth = 1.5;
constexpr double kCapClear = 3.0;
constexpr double kCapProbe = 0.5;
constexpr double kCapNarrowing = 1.5;

// Carried along merged ink: the walk goes at most this far, both edges of
// the end's stroke may hide for this long on the way (a speck touching it),
// an edge shows where the first white across lies between kEdgeInside
// inside and kEdgeSlack outside the half width (probed every kEdgeStep),
// and the end must gain this much, pixels.
constexpr double kMaxMergedWalk = 160.0;
constexpr double kMaxHidden = 1.5;
constexpr double kEdgeSlack = 1.5;
constexpr double kEdgeInside = 0.5;
constexpr double kEdgeStep = 0.25;
constexpr double kMinMergedGain = 2.0;
// A stroke crossing the end's at a shallow angle may hide both its edges
// for this long, pixels, when the end's own stroke shows past it at this
// many stations (and at half of them or more).
constexpr double kMaxHiddenCrossing = 60.0;
constexpr int kMinOwnPastCrossing = 3;
// Both edges of a stroke this wide (half width) may hide for this long
// without a crossing's checks, pixels: other ink touching its cap.
constexpr double kMinWideHalfWidth = 1.5;
constexpr double kMaxHiddenWide = 4.5;
// An edge of the end's stroke drifting further than this over the walk
// belongs to a stroke leaving its line, pixels.
constexpr double kMaxEdgeDrift = 1.5;
// Hairlines' edges say too little: their ends stay.
constexpr double kMinMergedHalfWidth = 0.75;

enum class EndMove { Ahead, Back, Through, PastCrossing, AlongMergedInk };

struct Segment {
  double ax, ay, bx, by;
  double halfWidth;
  const CPolyLine* owner;
  size_t index;  // of its start vertex
  double length = 0.0;  // set by the grid, which every search goes through
};

class SegmentGrid {
 public:
  SegmentGrid(std::vector<Segment> segments) : segments_(std::move(segments)) {
    if (segments_.empty()) return;
    for (Segment& s : segments_) s.length = std::hypot(s.bx - s.ax, s.by - s.ay);
    double lx = 1e300, ly = 1e300, hx = -1e300, hy = -1e300;
    for (const Segment& s : segments_) {
      lx = std::min({lx, s.ax, s.bx});
      ly = std::min({ly, s.ay, s.by});
      hx = std::max({hx, s.ax, s.bx});
      hy = std::max({hy, s.ay, s.by});
    }
    x0_ = lx;
    y0_ = ly;
    columns_ = static_cast<int>((hx - lx) / kCell) + 1;
    rows_ = static_cast<int>((hy - ly) / kCell) + 1;
    // The cells each segment crosses, sampled once: sampled in ranges of
    // segments on all cores, then counted per cell and listed in segment
    // order. A straight segment never comes back to a cell it left, so
    // skipping repeats of the last cell lists each pair once.
    start_.assign(static_cast<size_t>(columns_) * rows_ + 1, 0);
    std::vector<std::vector<uint32_t>> crossedIn(rangeParts(segments_.size(), kMinPerPart));
    forEachRange(segments_.size(), kMinPerPart, [&](size_t part, size_t begin, size_t end) {
      std::vector<uint32_t>& crossed = crossedIn[part];  // the cells of segment begin, then of begin + 1 ...
      crossed.reserve((end - begin) * 2);
      for (size_t i = begin; i < end; ++i) {
        const Segment& s = segments_[i];
        const int steps = static_cast<int>(s.length / (kCell / 4)) + 1;
        int last = -1;
        for (int k = 0; k <= steps; ++k) {
          const double t = static_cast<double>(k) / steps;
          const int cell = cellOf(s.ax + (s.bx - s.ax) * t, s.ay + (s.by - s.ay) * t);
          if (cell == last) continue;
          last = cell;
          crossed.push_back(static_cast<uint32_t>(cell));
        }
        crossed.push_back(kNoCell);  // closes segment i's cells
      }
    });
    for (const std::vector<uint32_t>& crossed : crossedIn)
      for (const uint32_t cell : crossed)
        if (cell != kNoCell) ++start_[static_cast<size_t>(cell) + 1];
    for (size_t c = 1; c < start_.size(); ++c) start_[c] += start_[c - 1];
    items_.resize(start_.back());
    uint32_t i = 0;
    for (const std::vector<uint32_t>& crossed : crossedIn)
      for (const uint32_t cell : crossed) {
        if (cell == kNoCell)
          ++i;
        else
          items_[start_[cell]++] = i;
      }
    // The fill advanced each cell's start to the next cell's: shift back.
    for (size_t c = start_.size() - 1; c > 0; --c) start_[c] = start_[c - 1];
    start_[0] = 0;
  }

  // Calls visit(segment) for the segments listed in the 3 × 3 cells around (x, y).
  template <typename Visit>
  void around(double x, double y, Visit&& visit) const {
    if (segments_.empty()) return;
    const int cx = static_cast<int>(std::floor((x - x0_) / kCell));
    const int cy = static_cast<int>(std::floor((y - y0_) / kCell));
    for (int gy = std::max(cy - 1, 0); gy <= std::min(cy + 1, rows_ - 1); ++gy)
      for (int gx = std::max(cx - 1, 0); gx <= std::min(cx + 1, columns_ - 1); ++gx) {
        const size_t cell = static_cast<size_t>(gy) * columns_ + gx;
        for (uint32_t k = start_[cell]; k < start_[cell + 1]; ++k) visit(segments_[items_[k]]);
      }
  }

 private:
  int cellOf(double x, double y) const {
    const int cx = std::clamp(static_cast<int>((x - x0_) / kCell), 0, columns_ - 1);
    const int cy = std::clamp(static_cast<int>((y - y0_) / kCell), 0, rows_ - 1);
    return cy * columns_ + cx;
  }

  static constexpr uint32_t kNoCell = UINT32_MAX;

  std::vector<Segment> segments_;
  double x0_ = 0.0, y0_ = 0.0;
  int columns_ = 0, rows_ = 0;
  std::vector<uint32_t> start_;
  std::vector<uint32_t> items_;
};

// The grid of every straight segment of the layer's polylines.
SegmentGrid straightSegmentGrid(model::CLayer& layer) {
  std::vector<Segment> segments;
  forEachStraightSegment(layer, [&](CPolyLine& p, size_t i, const PolyVertex& a, const PolyVertex& b) {
    segments.push_back({a.x, a.y, b.x, b.y, a.startWidth / 2.0, &p, i});
  });
  return SegmentGrid(std::move(segments));
}

// Whether the raster is ink at every step from (x0, y0) to (x1, y1), drawing
// coordinates (y up), or beside it within kInkBeside across the way: angle
// adjustment turns a stroke about its middle, which may shift a thin
// stroke's end to the edge of its ink. A white band across the way (a gap)
// still fails.
bool inkBetween(const raster::CRaster& raster, double x0, double y0, double x1, double y1) {
  const double length = std::hypot(x1 - x0, y1 - y0);
  const int steps = static_cast<int>(std::ceil(length / kInkStep));
  const double ax = length > 0.0 ? -(y1 - y0) / length * kInkBeside : 0.0;
  const double ay = length > 0.0 ? (x1 - x0) / length * kInkBeside : 0.0;
  for (int k = 0; k <= steps; ++k) {
    const double t = steps > 0 ? static_cast<double>(k) / steps : 0.0;
    const double x = x0 + (x1 - x0) * t, y = y0 + (y1 - y0) * t;
    if (!inkAtNearest(raster, x, y) && !inkAtNearest(raster, x + ax, y + ay) && !inkAtNearest(raster, x - ax, y - ay)) return false;
  }
  return true;
}

// Where the centre of the stroke's ink lies beside the traced segment s
// near the point at `along` pixels from s's start: how far along s's
// normal (−s.y, s.x), from the segment's line. Thinning pulls a stroke's
// skeleton towards a branch at a junction, and straighten and angle
// adjustment then leave the segment up to a pixel or so off the ink; the
// ink's own middle, scanned across the stroke at stations on both sides of
// the junction, clear of the branch's ink (`clear` pixels away), is where
// the branch was drawn to. Stations whose scan runs into other ink are
// skipped. False when too few stations remain.
bool inkCentreOffset(const raster::CRaster& raster, const Segment& s, double along, double clear, double& offset) {
  const double sx = s.bx - s.ax, sy = s.by - s.ay, sl = s.length;
  const double bx = sx / sl, by = sy / sl, nx = -by, ny = bx;
  // The scan reaches a whole width and the slack to either side: the traced
  // segment may lie near one edge of the ink. A run longer than the width
  // and the slack has run into other ink.
  const double width = 2.0 * std::max(s.halfWidth, 0.5);
  const double reach = width + kScanSlack;
  double sumD = 0.0, sumC = 0.0, sumDD = 0.0, sumDC = 0.0;
  int count = 0, sides = 0;
  for (const double side : {-1.0, 1.0}) {
    int here = 0;
    for (int k = 0; k < kStations; ++k) {
      const double d = side * (clear + k * kStationStep);
      if (along + d < 0.0 || along + d > sl) break;
      const double px = s.ax + bx * (along + d), py = s.ay + by * (along + d);
      // The run of ink across the stroke nearest to the traced segment
      // (which may lie beside the ink), walked in coarse steps, its edges
      // then halved down to a fine step between the last ink and the first
      // white sample. The samples lie a 32nd of a pixel off the station,
      // so that none falls on the edge of a pixel when the station lies on
      // a pixel's centre or edge, and both edges come out alike.
      const auto ink = [&](double o) { return inkAtNearest(raster, px + nx * o, py + ny * o); };
      double start = kScanOffset;
      while (start < reach && !ink(start) && !ink(-start)) start += kScanStep;
      if (start >= reach) continue;
      if (!ink(start)) start = -start;
      const auto edge = [&](double direction) {
        double in = start;
        while (std::fabs(in) < reach && ink(in + direction * kScanStep)) in += direction * kScanStep;
        if (std::fabs(in) >= reach) return direction * reach;  // runs into other ink
        double out = in + direction * kScanStep;
        while (std::fabs(out - in) > kScanPrecision) {
          const double middle = (in + out) / 2.0;
          (ink(middle) ? in : out) = middle;
        }
        return (in + out) / 2.0;
      };
      const double lo = edge(-1.0), hi = edge(1.0);
      if (lo <= -reach || hi >= reach || hi - lo > width + kScanSlack) continue;
      const double c = (lo + hi) / 2.0;
      sumD += d;
      sumC += c;
      sumDD += d * d;
      sumDC += d * c;
      ++count;
      ++here;
    }
    if (here > 0) ++sides;
  }
  if (count < 2) return false;
  // The centre at the junction: a straight fit across both sides, the mean of one.
  const double mean = sumC / count;
  if (sides == 2) {
    const double md = sumD / count;
    const double vd = sumDD / count - md * md;
    const double slope = vd > 1e-9 ? (sumDC / count - md * mean) / vd : 0.0;
    offset = mean - slope * md;
  } else {
    offset = mean;
  }
  return std::fabs(offset) <= std::max(1.5, s.halfWidth);
}

}  // namespace

namespace {

// The ink run across the direction (ux, uy) through (x, y): its width and
// how far its middle lies from (x, y) along the normal (−uy, ux), pixels;
// width 0 on white, and more than `limit` once it runs that far.
struct InkRun {
  double width = 0.0, centre = 0.0;
};
InkRun inkRunAcross(const raster::CRaster& raster, double x, double y, double ux, double uy, double limit) {
  if (!inkAtNearest(raster, x, y)) return {};
  const double nx = -uy, ny = ux;
  double lo = 0.0, hi = 0.0;
  while (hi - lo <= limit && inkAtNearest(raster, x + nx * (lo - kScanStep), y + ny * (lo - kScanStep))) lo -= kScanStep;
  while (hi - lo <= limit && inkAtNearest(raster, x + nx * (hi + kScanStep), y + ny * (hi + kScanStep))) hi += kScanStep;
  return {hi - lo + kScanStep, (lo + hi) / 2.0};
}

// A straight segment an end's line meets at 30° or more, within the segment
// (half a pixel of slack) and at most kMaxReach ahead: t along the end's
// direction, `along` pixels along the segment, and the sine of the angle.
struct Hit {
  const Segment* s;
  double t, along, sine;
};
std::vector<Hit> segmentsMet(const SegmentGrid& grid, const CPolyLine* p, size_t endSegment, double ex, double ey,
                             double ux, double uy) {
  std::vector<Hit> hits;
  grid.around(ex, ey, [&](const Segment& s) {
    if (s.owner == p && s.index == endSegment) return;
    const double sx = s.bx - s.ax, sy = s.by - s.ay, sl = s.length;
    if (sl < 1e-9) return;
    const double denominator = ux * sy - uy * sx;
    if (std::fabs(denominator) < kMinSine * sl) return;
    const double wx = s.ax - ex, wy = s.ay - ey;
    const double t = (wx * sy - wy * sx) / denominator;
    const double along = (wx * uy - wy * ux) / denominator * sl;
    if (along < -kAlongSlack || along > sl + kAlongSlack || t > kMaxReach) return;
    hits.push_back({&s, t, along, std::fabs(denominator) / sl});
  });
  return hits;
}

// The crossing stroke an end lies in: the nearest hit whose ink holds the end.
const Hit* crossingHolding(const std::vector<Hit>& hits) {
  const Hit* crossing = nullptr;
  for (const Hit& h : hits) {
    const double half = std::max(h.s->halfWidth, 0.5) / h.sine;
    if (std::fabs(h.t) <= half && (crossing == nullptr || std::fabs(h.t) < std::fabs(crossing->t))) crossing = &h;
  }
  return crossing;
}

// An end that thinning left on a stroke crossing its way just before the
// stroke it meets (the short piece between the two is lost to the
// junctions at both ends): the segment of the stroke beyond, when the end
// sits in the crossing stroke's ink and the ink past the crossing's far
// edge shows the end's own stroke, of its width, before the next stroke's
// edge. Sets t (along the end's direction) and along (on the target);
// null when there is none.
const Segment* strokeBeyondCrossing(const SegmentGrid& grid, const raster::CRaster& raster, const CPolyLine* p,
                                    size_t endSegment, double ex, double ey, double ux, double uy,
                                    double ownHalfWidth, double& bestT, double& bestAlong, double& bestSine) {
  const std::vector<Hit> hits = segmentsMet(grid, p, endSegment, ex, ey, ux, uy);
  const Hit* crossing = crossingHolding(hits);
  if (crossing == nullptr) return nullptr;
  const double farEdge = crossing->t + std::max(crossing->s->halfWidth, 0.5) / crossing->sine;
  const Hit* beyond = nullptr;
  for (const Hit& h : hits) {
    if (h.s->owner == crossing->s->owner && h.s->index == crossing->s->index) continue;
    const double nearEdge = h.t - std::max(h.s->halfWidth, 0.5) / h.sine;
    if (nearEdge < farEdge + kMinGap || (beyond != nullptr && h.t >= beyond->t)) continue;
    beyond = &h;
  }
  if (beyond == nullptr) return nullptr;
  // Between the two, the end's own stroke: ink all the way, as wide as it
  // where it is narrowest (the crossings' flanks widen it near their edges).
  const double nearEdge = beyond->t - std::max(beyond->s->halfWidth, 0.5) / beyond->sine;
  const double ownWidth = 2.0 * ownHalfWidth;
  InkRun narrowest{1e300, 0.0};
  for (double t = farEdge + 0.5; t <= nearEdge - 0.5; t += kInkStep) {
    const InkRun run = inkRunAcross(raster, ex + ux * t, ey + uy * t, ux, uy, ownWidth + kGapWidthSlack);
    if (run.width <= 0.0) return nullptr;
    if (run.width < narrowest.width) narrowest = run;
  }
  if (std::fabs(narrowest.width - ownWidth) > kGapWidthSlack || std::fabs(narrowest.centre) > kGapOffLine) return nullptr;
  bestT = beyond->t;
  bestAlong = beyond->along;
  bestSine = beyond->sine;
  return beyond->s;
}

// Whether a straight segment of another polyline lies along the end's line
// (within 20° of it and its half width and a pixel beside it) somewhere
// between `from` and `to` along it: that stretch of the stroke is traced.
bool tracedAlong(const SegmentGrid& grid, const CPolyLine* p, double ex, double ey, double ux, double uy, double from,
                 double to, double ownHalfWidth) {
  bool traced = false;
  for (double probe = from; probe <= to && !traced; probe += kCell / 2.0)
    grid.around(ex + ux * probe, ey + uy * probe, [&](const Segment& s) {
      if (traced || s.owner == p || s.length < 1e-9) return;
      if (std::fabs((s.bx - s.ax) * ux + (s.by - s.ay) * uy) < kSpurAngleCosine * s.length) return;
      const double ta = (s.ax - ex) * ux + (s.ay - ey) * uy, tb = (s.bx - ex) * ux + (s.by - ey) * uy;
      const double ba = -(s.ax - ex) * uy + (s.ay - ey) * ux, bb = -(s.bx - ex) * uy + (s.by - ey) * ux;
      traced = std::max(std::fabs(ba), std::fabs(bb)) <= ownHalfWidth + kInkBeside && std::max(ta, tb) > from &&
               std::min(ta, tb) < to;
    });
  return traced;
}

// An end thinning left in the ink of a stroke its own stroke crosses and
// runs on past by a few pixels, up to its cap or off the raster (the short
// piece beyond makes no skeleton of its own): when the ink past the
// crossing's far edge shows the end's own stroke, of its width and without
// other ink, up to where it stops, the end goes to that cap's centre, its
// half width short of where the ink stops along its line. A stem ending on
// a bar shows no such piece: its cap stops within its half width of the
// bar's far edge. Sets t (along the end's direction); false when there is
// no such piece.
bool capPastCrossing(const SegmentGrid& grid, const raster::CRaster& raster, const CPolyLine* p, size_t endSegment,
                     double ex, double ey, double ux, double uy, double ownHalfWidth, double& capT) {
  const std::vector<Hit> hits = segmentsMet(grid, p, endSegment, ex, ey, ux, uy);
  const Hit* crossing = crossingHolding(hits);
  if (crossing == nullptr || !inkAtNearest(raster, ex, ey)) return false;
  const double crossingSine = crossing->sine;
  const double farEdge = crossing->t + std::max(crossing->s->halfWidth, 0.5) / crossingSine;
  // Where the ink stops along the end's line (the raster's edge stops it too).
  const double limit = farEdge + ownHalfWidth + kMaxPastCrossing;
  double in = 0.0;
  while (in < limit && inkAtNearest(raster, ex + ux * (in + kInkStep), ey + uy * (in + kInkStep))) in += kInkStep;
  if (in >= limit) return false;
  double out = in + kInkStep;
  while (out - in > kScanPrecision) {
    const double middle = (in + out) / 2.0;
    (inkAtNearest(raster, ex + ux * middle, ey + uy * middle) ? in : out) = middle;
  }
  const double stop = (in + out) / 2.0, t = stop - ownHalfWidth;
  if (t < farEdge + kMinGap) return false;
  // Stopped by a cap, which narrows, not by other ink across the way
  // (unless the raster's edge stopped it).
  const double ownWidth = 2.0 * ownHalfWidth;
  const double capX = ex + ux * (stop + kInkStep), capY = ey + uy * (stop + kInkStep);
  const bool offRaster = capX < -0.5 || capY < -0.5 || capX > raster.width() - 0.5 || capY > raster.height() - 0.5;
  if (!offRaster) {
    const double half = t + ownHalfWidth / 2.0;
    const InkRun cap = inkRunAcross(raster, ex + ux * half, ey + uy * half, ux, uy, ownWidth + kGapWidthSlack);
    if (cap.width <= 0.0 || cap.width > ownWidth + kCapProbe) return false;
  }
  // The piece between, clear of the crossing's flank (an oblique crossing's
  // edge reaches further along the end's line at the stroke's sides): the
  // end's own stroke at half its stations or more (a stroke touching its
  // side widens the others). A cap just past the crossing leaves too few
  // stations to tell; the cap's own check stands for them.
  const double cosine = std::sqrt(std::max(1.0 - crossingSine * crossingSine, 0.0));
  const double clear = farEdge + (ownHalfWidth + kGapWidthSlack) * cosine / crossingSine + 0.5;
  int stations = 0, own = 0;
  for (double s = clear; s <= t - 0.5; s += kInkStep) {
    const InkRun run = inkRunAcross(raster, ex + ux * s, ey + uy * s, ux, uy, ownWidth + kGapWidthSlack);
    if (run.width <= 0.0) return false;
    ++stations;
    if (std::fabs(run.width - ownWidth) <= kGapWidthSlack && std::fabs(run.centre) <= kGapOffLine) ++own;
  }
  if (stations >= 3 && 2 * own < stations) return false;
  // A piece of the stroke traced beyond the crossing already holds it.
  if (tracedAlong(grid, p, ex, ey, ux, uy, farEdge, t, ownHalfWidth)) return false;
  capT = t;
  return true;
}

// Whether the cap whose centre lies at (x, y), facing along (ux, uy), is a
// cap of that radius with other ink touching it on one side at most: the
// ink on the other side ends at 90° and at 45° within the radius and the
// cap slack, and no less than a pixel inside it.
bool capTouchedOnOneSide(const raster::CRaster& raster, double x, double y, double ux, double uy, double radius) {
  constexpr double kDiagonal = 0.70710678118654752;
  const double reach = 2.0 * radius + kCapProbe + kGapWidthSlack + 1.0;
  const auto round = [&](double sx, double sy) {
    const double r = inkReach(raster, x, y, sx, sy, reach);
    return r >= radius - 1.0 && r <= radius + kGapWidthSlack;
  };
  const bool left = round(-uy, ux) && round((ux - uy) * kDiagonal, (uy + ux) * kDiagonal);
  const bool right = round(uy, -ux) && round((ux + uy) * kDiagonal, (uy - ux) * kDiagonal);
  return left || right;
}

// An end thinning stopped where its stroke's ink merges with another
// stroke's running alongside at a shallow angle (the merged ink's skeleton
// follows the wider stroke, and the end's stretch beyond is lost in it):
// walking on along the end's line, one edge of its own stroke still shows
// at every station (white across near its half width) without drifting off
// the line (or, past a stroke crossing it at a shallow angle, its own
// stroke shows again), up to where the ink along the line stops at a cap
// touched by other ink on one side at most. The end goes to that cap's
// centre. A hairline's end, an end whose line meets a straight segment at
// 30° or more on the way (a stem at its bar, a corner, a crossing) and one
// whose stroke beyond is traced already stay. Sets capT (along the end's
// direction); false when there is no such stretch.
bool capAlongMergedInk(const SegmentGrid& grid, const raster::CRaster& raster, const CPolyLine* p, double ex,
                       double ey, double ux, double uy, double ownHalfWidth, double& capT) {
  if (ownHalfWidth < kMinMergedHalfWidth || !inkAtNearest(raster, ex, ey)) return false;
  const double half = ownHalfWidth;
  const double nx = -uy, ny = ux;
  // Whether a straight segment meets the end's line at a steep angle on the
  // way up to `to`, or to the cap's tip beyond; asked first with 0 (a stem
  // sitting on its bar) and where both edges hide, to spare the walk.
  const auto metOnTheWay = [&](double to) {
    bool met = false;
    for (double probe = 0.0; probe <= to + kCell && !met; probe += kCell / 2.0)
      grid.around(ex + ux * probe, ey + uy * probe, [&](const Segment& s) {
        if (met || s.owner == p || s.length < 1e-9) return;
        const double sx = s.bx - s.ax, sy = s.by - s.ay;
        const double denominator = ux * sy - uy * sx;
        if (std::fabs(denominator) < kMinSine * s.length) return;
        const double wx = s.ax - ex, wy = s.ay - ey;
        const double along = (wx * uy - wy * ux) / denominator;
        if (along < -kAlongSlack / s.length || along > 1.0 + kAlongSlack / s.length) return;
        const double at = (wx * sy - wy * sx) / denominator;
        const double reach = std::max(s.halfWidth, 0.5) * s.length / std::fabs(denominator) + half;
        met = at > -reach && at < to + reach;
      });
    return met;
  };
  if (metOnTheWay(0.0)) return false;
  // The first white across the line from (x, y) to one side, when it lies
  // near the stroke's half width; −1 otherwise.
  const auto edgeAt = [&](double x, double y, double side) {
    for (double o = kEdgeStep; o <= half + kEdgeSlack; o += kEdgeStep)
      if (!inkAtNearest(raster, x + side * o * nx, y + side * o * ny)) return o >= half - kEdgeInside ? o : -1.0;
    return -1.0;
  };
  // Each side's edge as a line fit over the walk, offset against distance:
  // a stroke leaving the end's line (a neighbour going on from its cap at a
  // shallow angle, an arc going on from a tangent leg) shows as a drift.
  struct EdgeFit {
    double n = 0.0, s = 0.0, o = 0.0, ss = 0.0, so = 0.0, first = 0.0, last = 0.0;
    void add(double at, double offset) {
      if (n == 0.0) first = at;
      last = at;
      n += 1.0, s += at, o += offset, ss += at * at, so += at * offset;
    }
    double drift() const {
      const double variance = ss / n - (s / n) * (s / n);
      if (n < 3.0 || variance < 1e-9) return 0.0;
      return std::fabs((so / n - (s / n) * (o / n)) / variance) * (last - first);
    }
  } edges[2];
  // A stroke crossing at a shallow angle hides both edges for a while; past
  // it, the stations where both edges show the end's own stroke (of its
  // width, its middle on the line) are counted.
  double in = 0.0, hidden = 0.0, crossedAt = -1.0;
  int past = 0, own = 0;
  for (;;) {
    const double next = in + kInkStep;
    if (next > kMaxMergedWalk) return false;
    const double x = ex + ux * next, y = ey + uy * next;
    if (!inkAtNearest(raster, x, y)) break;
    double found[2];
    for (const int side : {0, 1}) {
      found[side] = edgeAt(x, y, side ? 1.0 : -1.0);
      if (found[side] >= 0.0) edges[side].add(next, found[side]);
    }
    const bool shows = found[0] >= 0.0 || found[1] >= 0.0;
    hidden = shows ? 0.0 : hidden + kInkStep;
    if (hidden > kMaxHiddenCrossing) return false;
    const double allowed = half >= kMinWideHalfWidth ? kMaxHiddenWide : kMaxHidden;
    if (hidden > allowed) {
      // A steep crossing here fails the end anyway: no need to walk on.
      if (hidden - kInkStep <= allowed && metOnTheWay(next - half)) return false;
      crossedAt = next;
      past = own = 0;
    } else if (crossedAt >= 0.0 && shows) {
      ++past;
      if (found[0] >= 0.0 && found[1] >= 0.0 && std::fabs(found[0] + found[1] - 2.0 * half) <= kGapWidthSlack &&
          std::fabs(found[1] - found[0]) / 2.0 <= kGapOffLine)
        ++own;
    }
    in = next;
  }
  if (edges[0].drift() > kMaxEdgeDrift || edges[1].drift() > kMaxEdgeDrift) return false;
  double out = in + kInkStep;
  while (out - in > kScanPrecision) {
    const double middle = (in + out) / 2.0;
    (inkAtNearest(raster, ex + ux * middle, ey + uy * middle) ? in : out) = middle;
  }
  const double t = (in + out) / 2.0 - half;
  if (t < kMinMergedGain) return false;
  if (crossedAt >= 0.0 && (own < kMinOwnPastCrossing || 2 * own < past)) return false;
  if (!capTouchedOnOneSide(raster, ex + ux * t, ey + uy * t, ux, uy, half)) return false;
  if (metOnTheWay(t) || tracedAlong(grid, p, ex, ey, ux, uy, 0.0, t, ownHalfWidth)) return false;
  capT = t;
  return true;
}

// Thinning pulls a thin stroke's skeleton towards a branch, and the traced
// polyline may keep a vertex there, bent a pixel or two towards it: when the
// point `along` s lies at such a vertex, the chord between the vertex's
// neighbours is the stroke's line. False when s's polyline has no gentle
// bend there.
bool chordOverBend(const Segment& s, double along, Segment& chord) {
  const auto& v = s.owner->vertices();
  const size_t n = v.size();
  // A ring's vertices go on round it: its closing segment starts at the last
  // vertex and ends at the first.
  const bool ring = s.owner->isClosed() && n >= 3;
  size_t middle = 0;
  if (along <= kAtVertex && (s.index > 0 || ring)) middle = s.index;
  else if (along >= s.length - kAtVertex && (s.index + 2 < n || ring)) middle = (s.index + 1) % n;
  else return false;
  const size_t before = (middle + n - 1) % n;
  const PolyVertex &a = v[before], &m = v[middle], &b = v[(middle + 1) % n];
  if (a.hasBulge() || m.hasBulge()) return false;
  const double ax = m.x - a.x, ay = m.y - a.y, bx = b.x - m.x, by = b.y - m.y;
  const double la = std::hypot(ax, ay), lb = std::hypot(bx, by);
  if (la < 1e-9 || lb < 1e-9 || (ax * bx + ay * by) / (la * lb) < kMaxBendCosine) return false;
  const double cx = b.x - a.x, cy = b.y - a.y, cl = std::hypot(cx, cy);
  if (std::fabs((m.x - a.x) * cy - (m.y - a.y) * cx) / cl > kMaxBendPull) return false;
  chord = {a.x, a.y, b.x, b.y, std::max(a.startWidth, m.startWidth) / 2.0, s.owner, before, cl};
  return true;
}

// Whether s, met `along` pixels from its start, is a spur thinning left in
// the ink of `bar`: met at one of its ends, and running within
// kSpurAngle of the bar. Such a spur ends where a stem ends at the bar, and
// would hold the stem short of the bar's centre line.
bool spurAlong(const Segment& s, double along, const Segment& bar) {
  if (along >= kThroughInside && along <= s.length - kThroughInside) return false;
  const double dot = (s.bx - s.ax) * (bar.bx - bar.ax) + (s.by - s.ay) * (bar.by - bar.ay);
  return std::fabs(dot) >= kSpurAngleCosine * s.length * bar.length;
}

// The ends of arcs and of polylines' bulged end segments: a straight leg
// ending there goes on as the curve (a fillet's tangent leg), whose ink
// runs on a few pixels along the leg's line.
class CurveEnds {
 public:
  void add(const model::CEntity& e) {
    if (e.type() == model::EntityType::Arc) {
      points_.push_back(e.getStartPoint());
      points_.push_back(e.getEndPoint());
      return;
    }
    if (e.type() != model::EntityType::PolyLine) return;
    const auto& p = static_cast<const CPolyLine&>(e);
    const auto& v = p.vertices();
    const size_t n = v.size();
    if (n < 2 || p.isClosed()) return;
    if (v[0].hasBulge()) points_.push_back(v[0].point());
    if (v[n - 2].hasBulge()) points_.push_back(v[n - 1].point());
  }
  void finish() {
    std::sort(points_.begin(), points_.end(), [](const model::Point3& a, const model::Point3& b) { return a.x < b.x; });
  }
  // Whether a curve ends within kOnOther of (x, y).
  bool near(double x, double y) const {
    auto it = std::lower_bound(points_.begin(), points_.end(), x - kOnOther,
                               [](const model::Point3& a, double v) { return a.x < v; });
    for (; it != points_.end() && it->x <= x + kOnOther; ++it)
      if (std::hypot(it->x - x, it->y - y) <= kOnOther) return true;
    return false;
  }

 private:
  std::vector<model::Point3> points_;
};

// Where an open polyline's two ends go, found before any of them moves.
struct PlacedEnds {
  PolyVertex first, last;
  bool moved = false;
};

// Places the ends of open[begin, end) into placed[begin, end), leaving every
// polyline as it is: other parts read the vertices of the strokes their ends
// run into meanwhile. Answers how many ends moved.
int moveEndsOf(const std::vector<CPolyLine*>& open, size_t begin, size_t last, const SegmentGrid& grid,
               const raster::CRaster& raster, EndMove mode, const CurveEnds& curveEnds, std::vector<PlacedEnds>& placed) {
  const bool back = mode == EndMove::Back;
  int moved = 0;
  for (size_t k = begin; k < last; ++k) {
    CPolyLine* p = open[k];
    const auto& vertices = p->vertices();
    const size_t n = vertices.size();
    PlacedEnds& ends = placed[k];
    ends = {vertices.front(), vertices.back(), false};
    // The polyline with its own first end where it has been placed: the
    // second end's direction follows from it.
    const auto v = [&](size_t i) -> const PolyVertex& {
      return i == 0 ? ends.first : i == n - 1 ? ends.last : vertices[i];
    };
    for (const int end : {0, 1}) {
      const size_t e = end == 0 ? 0 : n - 1;
      const size_t q = end == 0 ? 1 : n - 2;
      const size_t endSegment = end == 0 ? 0 : n - 2;
      if (v(end == 0 ? 0 : n - 2).hasBulge()) continue;
      const double ex = v(e).x, ey = v(e).y;
      const double dx = ex - v(q).x, dy = ey - v(q).y;
      const double length = std::hypot(dx, dy);
      if (length < 1.0) continue;
      const double ux = dx / length, uy = dy / length;
      // A stroke wider than the one it runs into may end short of it by
      // about its own half width: its skeleton stops inside the blob where
      // the two overlap.
      const double ownHalfWidth = v(end == 0 ? 0 : n - 2).startWidth / 2.0;
      double bestT = back ? 0.0 : 1e300, bestAlong = 0.0, bestSine = 1.0;
      // Ahead, the nearest segment the end's line meets inside, whose ink
      // already holds the end.
      struct {
        const Segment* s = nullptr;
        double t = 0.0, along = 0.0, sine = 1.0;
      } through;
      if (mode == EndMove::PastCrossing || mode == EndMove::AlongMergedInk) {
        double t = 0.0;
        if (mode == EndMove::PastCrossing ? !capPastCrossing(grid, raster, p, endSegment, ex, ey, ux, uy, ownHalfWidth, t)
                                          : length < kCornerMinLeg || curveEnds.near(ex, ey) ||
                                                !capAlongMergedInk(grid, raster, p, ex, ey, ux, uy, ownHalfWidth, t))
          continue;
        PolyVertex& placedEnd = end == 0 ? ends.first : ends.last;
        placedEnd.x = ex + ux * t;
        placedEnd.y = ey + uy * t;
        ends.moved = true;
        ++moved;
        continue;
      }
      const Segment* target = nullptr;
      if (mode == EndMove::Through)
        target = strokeBeyondCrossing(grid, raster, p, endSegment, ex, ey, ux, uy, ownHalfWidth, bestT, bestAlong,
                                      bestSine);
      else grid.around(ex, ey, [&](const Segment& s) {
        if (s.owner == p && s.index == endSegment) return;
        const double sx = s.bx - s.ax, sy = s.by - s.ay;
        const double sl = s.length;
        if (sl < 1e-9) return;
        const double denominator = ux * sy - uy * sx;  // cross(u, s)
        if (std::fabs(denominator) < kMinSine * sl) return;
        const double wx = s.ax - ex, wy = s.ay - ey;
        const double t = (wx * sy - wy * sx) / denominator;  // along u from the end
        const double along = (wx * uy - wy * ux) / denominator;  // along s from a, as a share
        if (along * sl < -kAlongSlack || along * sl > sl + kAlongSlack) return;
        const double sine = std::fabs(denominator) / sl;
        if (back) {
          // Crossed on the way, and not so far back that the ink beyond
          // would show the end's own stroke going on.
          const double reach = std::min({s.halfWidth / sine + ownHalfWidth + kAheadSlack, length - 1.0, kMaxReach});
          if (t > -kMinBack || t < -reach || t >= bestT) return;
        } else {
          if (t < -s.halfWidth || t > std::min(std::max(s.halfWidth, ownHalfWidth) + kAheadSlack, kMaxReach)) return;
          if (along * sl >= kThroughInside && along * sl <= sl - kThroughInside && std::fabs(t) * sine <= s.halfWidth &&
              (through.s == nullptr || std::fabs(t) < std::fabs(through.t)))
            through = {&s, t, along * sl, sine};
          if (std::fabs(t) >= std::fabs(bestT)) return;
        }
        bestT = t;
        bestAlong = along * sl;
        bestSine = sine;
        target = &s;
      });
      if (target != nullptr && through.s != nullptr && target != through.s && spurAlong(*target, bestAlong, *through.s)) {
        target = through.s;
        bestT = through.t;
        bestAlong = through.along;
        bestSine = through.sine;
      }
      if (target == nullptr) continue;
      if (back) {
        // Only an end that sits on another stroke beyond the one it crossed.
        bool onOther = false;
        grid.around(ex, ey, [&](const Segment& s) {
          if (&s == target || (s.owner == p && s.index == endSegment)) return;
          const double sx = s.bx - s.ax, sy = s.by - s.ay, l2 = sx * sx + sy * sy;
          if (l2 < 1e-9) return;
          const double f = std::clamp(((ex - s.ax) * sx + (ey - s.ay) * sy) / l2, 0.0, 1.0);
          if (std::hypot(ex - s.ax - f * sx, ey - s.ay - f * sy) <= kOnOther) onOther = true;
        });
        // A thin stroke's end on a pixel past the far edge of the stroke it
        // crossed is a spur thinning made into a speck of noise there; an
        // end on that stroke's edge pixels is where the stroke stops.
        const double pastEdge = -bestT - std::max(target->halfWidth, 0.5) / bestSine;
        const bool spur = ownHalfWidth <= kSpurHalfWidth && target->halfWidth >= kSpurCrossedHalfWidth &&
                          pastEdge >= kSpurPastMin && pastEdge <= kSpurPast;
        if (!spur && (!onOther || endInCap(raster, v(e), v(q), 2.0 * ownHalfWidth))) continue;  // a free end stays
      }
      Segment chord{};
      if (chordOverBend(*target, bestAlong, chord)) {
        const double sx = chord.bx - chord.ax, sy = chord.by - chord.ay;
        const double denominator = ux * sy - uy * sx;
        if (std::fabs(denominator) >= kMinSine * chord.length) {
          const double wx = chord.ax - ex, wy = chord.ay - ey;
          bestT = (wx * sy - wy * sx) / denominator;
          bestAlong = (wx * uy - wy * ux) / denominator * chord.length;
          bestSine = std::fabs(denominator) / chord.length;
          target = &chord;
        }
      }
      // Onto the middle of the target's ink rather than its traced segment,
      // when the ink beside the junction shows it.
      double offset = 0.0;
      const double clear = ownHalfWidth / bestSine + std::max(target->halfWidth, 0.5) + 1.0;
      if (inkCentreOffset(raster, *target, bestAlong, clear, offset)) {
        const double sl = target->length;
        const double nx = -(target->by - target->ay) / sl, ny = (target->bx - target->ax) / sl;
        const double across = ux * nx + uy * ny;  // of the end's direction along the normal
        bestT = (offset - ((ex - target->ax) * nx + (ey - target->ay) * ny)) / across;
      }
      if (mode == EndMove::Ahead && ownHalfWidth >= kCapMinHalfWidth) {
        // A round cap that only touches the stroke ahead narrows before that
        // stroke's edge, where a stem drawn on into it keeps its width: the
        // end is the cap's centre, short of the edge by the cap's radius
        // less the chord's half.
        const double edge = bestT - std::max(target->halfWidth, 0.5) / bestSine;
        const double limit = 2.0 * ownHalfWidth + kGapWidthSlack;
        const InkRun body = inkRunAcross(raster, ex + ux * (edge - ownHalfWidth - kCapClear),
                                         ey + uy * (edge - ownHalfWidth - kCapClear), ux, uy, limit);
        const InkRun atEdge = inkRunAcross(raster, ex + ux * (edge - kCapProbe), ey + uy * (edge - kCapProbe), ux, uy, limit);
        if (body.width > 0.0 && body.width <= limit && std::fabs(body.width - 2.0 * ownHalfWidth) <= kGapWidthSlack &&
            atEdge.width > 0.0 && atEdge.width < body.width - kCapNarrowing) {
          const double r = body.width / 2.0, chord = atEdge.width / 2.0;
          bestT = edge - kCapProbe - std::sqrt(std::max(r * r - chord * chord, 0.0));
        }
      }
      if (std::fabs(bestT) < kMinMove || (back && bestT > -kMinBack)) continue;
      const double nx = ex + ux * bestT, ny = ey + uy * bestT;
      if (!inkBetween(raster, ex, ey, nx, ny)) continue;
      PolyVertex& placedEnd = end == 0 ? ends.first : ends.last;
      placedEnd.x = nx;
      placedEnd.y = ny;
      ends.moved = true;
      ++moved;
    }
  }
  return moved;
}

// Moves ends onto the strokes they run into (ahead) or, with `back`, back
// onto the stroke they ran through last.
int moveEndsOntoStrokes(model::CLayer& layer, const raster::CRaster& raster, EndMove mode) {
  const SegmentGrid grid = straightSegmentGrid(layer);
  std::vector<CPolyLine*> open;
  CurveEnds curveEnds;
  for (const auto& e : layer) {
    if (mode == EndMove::AlongMergedInk) curveEnds.add(*e);
    if (e->type() != model::EntityType::PolyLine) continue;
    auto& p = static_cast<CPolyLine&>(*e);
    if (p.vertices().size() >= 2 && !p.isClosed()) open.push_back(&p);
  }
  curveEnds.finish();

  // Each polyline's ends move alone; the targets are the segments as they
  // were before any end moved.
  std::vector<int> movedIn(rangeParts(open.size(), kMinPerPart), 0);
  std::vector<PlacedEnds> placed(open.size());
  forEachRange(open.size(), kMinPerPart, [&](size_t part, size_t begin, size_t end) {
    movedIn[part] = moveEndsOf(open, begin, end, grid, raster, mode, curveEnds, placed);
  });
  for (size_t k = 0; k < open.size(); ++k) {
    if (!placed[k].moved) continue;
    auto& w = open[k]->editVertices();
    w.front() = placed[k].first;
    w.back() = placed[k].last;
  }
  return std::accumulate(movedIn.begin(), movedIn.end(), 0);
}

}  // namespace

int carryEndsOntoStrokes(model::CLayer& layer, const raster::CRaster& raster) {
  return moveEndsOntoStrokes(layer, raster, EndMove::Ahead);
}

int pullEndsBackOntoStrokes(model::CLayer& layer, const raster::CRaster& raster) {
  return moveEndsOntoStrokes(layer, raster, EndMove::Back);
}

int carryEndsThroughCrossings(model::CLayer& layer, const raster::CRaster& raster) {
  return moveEndsOntoStrokes(layer, raster, EndMove::Through);
}

int carryEndsPastCrossings(model::CLayer& layer, const raster::CRaster& raster) {
  return moveEndsOntoStrokes(layer, raster, EndMove::PastCrossing);
}

int carryEndsAlongMergedInk(model::CLayer& layer, const raster::CRaster& raster) {
  return moveEndsOntoStrokes(layer, raster, EndMove::AlongMergedInk);
}

int meetAtCorners(model::CLayer& layer, const raster::CRaster& raster) {
  // An end of a straight two-vertex polyline long enough to give its
  // direction: the unit vector from its other vertex out through the end.
  struct End {
    CPolyLine* owner;
    size_t vertex;
    double x, y, ux, uy, halfWidth;
  };
  const SegmentGrid grid = straightSegmentGrid(layer);
  // An end on another stroke's segment, away from that segment's ends, is a
  // stem carried onto its bar, not a corner.
  const auto onAnotherStroke = [&](const CPolyLine* p, double x, double y) {
    bool on = false;
    grid.around(x, y, [&](const Segment& s) {
      if (on || s.owner == p || s.length < 1e-9) return;
      const double along = ((x - s.ax) * (s.bx - s.ax) + (y - s.ay) * (s.by - s.ay)) / s.length;
      if (along < kThroughInside || along > s.length - kThroughInside) return;
      const double beside = ((x - s.ax) * (s.by - s.ay) - (y - s.ay) * (s.bx - s.ax)) / s.length;
      on = std::fabs(beside) <= kOnOther;
    });
    return on;
  };
  // Ends and meetings are found in ranges on all cores and put together in
  // the order a single loop gives.
  std::vector<CPolyLine*> legs;
  for (const auto& e : layer) {
    if (e->type() != model::EntityType::PolyLine) continue;
    auto& p = static_cast<CPolyLine&>(*e);
    if (p.vertices().size() == 2 && !p.isClosed() && !p.vertices()[0].hasBulge()) legs.push_back(&p);
  }
  std::vector<std::vector<End>> endsIn(rangeParts(legs.size(), kMinPerPart));
  forEachRange(legs.size(), kMinPerPart, [&](size_t part, size_t begin, size_t last) {
    for (size_t k = begin; k < last; ++k) {
      CPolyLine& p = *legs[k];
      const auto& v = p.vertices();
      for (const size_t vertex : {size_t{0}, size_t{1}}) {
        const PolyVertex &e = v[vertex], &other = v[1 - vertex];
        const double dx = e.x - other.x, dy = e.y - other.y, length = std::hypot(dx, dy);
        if (length < kCornerMinLeg || onAnotherStroke(&p, e.x, e.y)) continue;
        endsIn[part].push_back({&p, vertex, e.x, e.y, dx / length, dy / length, v[0].startWidth / 2.0});
      }
    }
  });
  std::vector<End> ends = concatenated(std::move(endsIn));
  std::sort(ends.begin(), ends.end(), [](const End& a, const End& b) { return a.x < b.x; });
  struct Meeting {
    double cost;
    size_t a, b;
    double x, y;
  };
  std::vector<std::vector<Meeting>> meetingsIn(rangeParts(ends.size(), kMinPerPart));
  forEachRange(ends.size(), kMinPerPart, [&](size_t part, size_t begin, size_t last) {
    for (size_t i = begin; i < last; ++i) {
      const End& a = ends[i];
      for (size_t j = i + 1; j < ends.size() && ends[j].x - a.x <= kCornerMaxReach; ++j) {
        const End& b = ends[j];
        if (b.owner == a.owner || std::fabs(b.y - a.y) > kCornerMaxReach) continue;
        const double cross = a.ux * b.uy - a.uy * b.ux;
        if (std::fabs(cross) < kMinSine) continue;
        // a + ta·ua = b + tb·ub.
        const double wx = b.x - a.x, wy = b.y - a.y;
        const double ta = (wx * b.uy - wy * b.ux) / cross, tb = (wx * a.uy - wy * a.ux) / cross;
        // At an acute corner the merged ink reaches (half width) / tan(half
        // the angle between the legs) past where the other leg's edge meets it.
        const double half = std::max({a.halfWidth, b.halfWidth, 0.5});
        const double cosine = a.ux * b.ux + a.uy * b.uy;  // of the angle between the legs
        const double reach = std::min(half * std::fabs(cross) / (1.0 - cosine) + half + kAheadSlack, kCornerMaxReach);
        if (ta < -kCornerBehind || tb < -kCornerBehind || ta > reach || tb > reach) continue;
        const double x = a.x + ta * a.ux, y = a.y + ta * a.uy;
        if (!inkBetween(raster, a.x, a.y, x, y) || !inkBetween(raster, b.x, b.y, x, y)) continue;
        // Past a corner's tip the ink ends within a cap's radius along both
        // legs; a stroke going on through the point is a T or a crossing.
        const auto tipAhead = [&](const End& e) {
          for (double s = 0.0; s <= half + kCornerTipSlack; s += kInkStep)
            if (!inkAtNearest(raster, x + e.ux * s, y + e.uy * s)) return true;
          return false;
        };
        if (!tipAhead(a) || !tipAhead(b)) continue;
        meetingsIn[part].push_back({std::fabs(ta) + std::fabs(tb), i, j, x, y});
      }
    }
  });
  std::vector<Meeting> meetings = concatenated(std::move(meetingsIn));
  std::sort(meetings.begin(), meetings.end(), [](const Meeting& l, const Meeting& r) { return l.cost < r.cost; });
  std::vector<bool> taken(ends.size(), false);
  int moved = 0;
  for (const Meeting& m : meetings) {
    if (taken[m.a] || taken[m.b]) continue;
    taken[m.a] = taken[m.b] = true;
    for (const size_t k : {m.a, m.b}) {
      const End& end = ends[k];
      if (std::hypot(m.x - end.x, m.y - end.y) < kMinMove) continue;
      auto& w = end.owner->editVertices();
      w[end.vertex].x = m.x;
      w[end.vertex].y = m.y;
      ++moved;
    }
  }
  return moved;
}

}  // namespace quillon::postprocess
