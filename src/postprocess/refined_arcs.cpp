#include "postprocess/refined_arcs.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <cmath>
#include <numeric>
#include <tuple>
#include <utility>
#include <vector>

#include "postprocess/line_width.h"

namespace quillon::postprocess {

namespace {

// Samples are about this far apart along the arc, within these counts.
constexpr double kSampleSpacing = 4.0;
constexpr int kMinSamples = 12;
constexpr int kMaxSamples = 72;
// Once a circle sits within kCoarseSettled of the stroke, its last rounds
// take samples this far apart, within this count: the edges are found to a
// pixel, and a flat arc's curvature shows only in the mean of many offsets.
// A hairline's samples lie kHairlineSpacing apart: both its edges are the
// one pixel's, and closer samples read the same pixels again.
constexpr double kFineSpacing = 1.0;
constexpr double kHairlineSpacing = 2.0;
constexpr int kMaxFineSamples = 288;
constexpr double kCoarseSettled = 0.5;
constexpr int kCoarseRounds = 3;
constexpr int kFineRounds = 2;
constexpr double kFineBelow = model::kPi;
// Fits of the circle to the fine samples' points, and the move that ends them.
constexpr int kPointFits = 10;
constexpr double kPointFitSettled = 0.01;
// How far beyond the stroke width the edges are looked for; a probe that
// reaches this far ran into a crossing or junction.
constexpr double kEdgeSlack = 4.0;
constexpr double kProbeStep = 0.25;
// Where the pixel under a sample is blank, ink this close beside it (along
// the radius) still counts: a hairline is a pixel wide and the circle may
// pass beside its pixel centres.
constexpr double kNearSearch = 1.5;
// Shares of the samples: blank ones allowed, ones seeing both edges needed,
// ones straying from the corrected circle allowed.
constexpr double kMaxBlankShare = 0.1;
constexpr double kMinEdgeShare = 0.33;
constexpr double kMaxStrayShare = 0.2;
constexpr double kStray = 1.0;
constexpr double kOutlier = 2.0;
// Correction rounds (fewer once a round moves the circle by less than
// kSettled; more for a circle placed on the stroke), and the damping that
// keeps the centre of a very short arc (which the offsets barely fix) near
// where it was. It must stay well below what a flat arc's offsets say about
// its curvature (about sweep⁴/720 per sample), or a large arc keeps the
// curvature its seed came with, its centre pixels off along its middle radius.
constexpr int kRounds = 5;
constexpr double kCentreDamping = 0.0002;
constexpr double kSettled = 0.05;
// An arc whose sagitta is below this, or below half the stroke width,
// stays a straight run: its chord follows the stroke within a pixel, or
// stays inside the stroke, anyway.
constexpr double kMinSagitta = 1.0;
// Arcs of less than twice this half sweep are checked against a straight
// line through the same centre-line points; the arc must fit them better
// than the line does, by this share of the mean square distance.
constexpr double kShallowHalfSweep = 0.8;
constexpr double kStraightShare = 1.0;
// Below about 34° of sweep the sagitta is small against the pixel noise of
// the centre line, and a straight stroke that another stroke touches or
// joins at a slant bows its measured centre line as much: there the arc
// must fit this many times better than the line.
constexpr double kFlatHalfSweep = 0.3;
constexpr double kFlatStraightShare = 10.0;
// Dots: the smallest diameter, the largest one probed, and how far the
// blob's extents across may differ (a short dash is no dot).
constexpr double kMinDot = 2.5;
constexpr double kMaxDot = 24.0;
constexpr double kDotRoundness = 2.0;
// Blobs of fewer pixels are specks, whatever their shape.
constexpr size_t kMinDotPixels = 5;
// Dots whose centres lie this close are one.
constexpr double kSameDot = 2.0;

// inkReach of the width stage, kept here where the compiler can inline it:
// followStroke probes both edges at every sample of every round, and the
// calls into the other unit were most of its time.
inline bool inkHere(const raster::CRaster& raster, double x, double y, bool& inside) {
  const int column = static_cast<int>(x + 0.5);
  const int row = raster.height() - 1 - static_cast<int>(y + 0.5);
  inside = column >= 0 && row >= 0 && column < raster.width() && row < raster.height();
  return inside && raster.bitAt(column, row);
}

// Asks for the byte of the pixel nearest (x, y) ahead of its use.
inline void prefetchPixel(const raster::CRaster& raster, double x, double y) {
  const int column = static_cast<int>(x + 0.5);
  const int row = raster.height() - 1 - static_cast<int>(y + 0.5);
  if (column >= 0 && row >= 0 && column < raster.width() && row < raster.height())
    __builtin_prefetch(raster.row(row) + (column >> 3));
}

// (x, y) is ink: the probe starts a step out.
inline double reachAlong(const raster::CRaster& raster, double x, double y, double ux, double uy, double reach) {
  double last = 0.0;
  // A probe that stays a pixel inside the raster all along (its points run
  // one way, so its ends bound them) reads the pixels without a bounds
  // test each, by their rows' addresses.
  const double ex = x + ux * reach, ey = y + uy * reach;
  if (std::min(x, ex) >= 1.0 && std::min(y, ey) >= 1.0 && std::max(x, ex) <= raster.width() - 2.0 &&
      std::max(y, ey) <= raster.height() - 2.0) {
    const uint8_t* bottom = raster.row(raster.height() - 1);
    const std::ptrdiff_t step = -raster.rowStep();
    for (int k = 1; k * kProbeStep <= reach; ++k) {
      const double t = k * kProbeStep;
      const int column = static_cast<int>(x + ux * t + 0.5), up = static_cast<int>(y + uy * t + 0.5);
      if ((bottom[up * step + (column >> 3)] & (0x80 >> (column & 7))) == 0) return last;
      last = t;
    }
    return last;
  }
  // Counted in steps, not summed: the same distances (quarters are exact)
  // without a chain of additions holding up every probe.
  for (int k = 1; k * kProbeStep <= reach; ++k) {
    const double t = k * kProbeStep;
    bool inside = false;
    if (!inkHere(raster, x + ux * t, y + uy * t, inside)) return inside ? last : -1.0;
    last = t;
  }
  return last;
}

struct Offset {
  double angle;
  double offset;  // where the stroke's centre line lies beyond the circle, along the radius
  double cos = 0.0, sin = 0.0;  // of angle, where the caller keeps them
};

// The centre line's offset from the circle at one sample point P with
// outward unit u; false when no ink is found there or the edges are not
// both seen.
// Whether there is ink under the sample point P (outward unit u) or near
// it: beside it along the radius, and half a pixel along the circle too (a
// hairline ring on a diagonal is only 8-connected, and the radius there
// runs between its pixels). Where, in `shift` along u and `along` across.
bool nearInk(const raster::CRaster& raster, double px, double py, double ux, double uy, double& shift,
             double& along) {
  shift = 0.0;
  along = 0.0;
  bool inside = false;
  if (inkHere(raster, px, py, inside)) return true;
  for (double s = 0.5; s <= kNearSearch; s += 0.5) {
    for (const double t : {0.0, 0.5, -0.5}) {
      for (const double signed_ : {s, -s}) {
        if (inkHere(raster, px + ux * signed_ - uy * t, py + uy * signed_ + ux * t, inside)) {
          shift = signed_;
          along = t;
          return true;
        }
      }
    }
  }
  return false;
}

bool nearInk(const raster::CRaster& raster, double px, double py, double ux, double uy) {
  double shift = 0.0, along = 0.0;
  return nearInk(raster, px, py, ux, uy, shift, along);
}

enum class Sample { Blank, Open, Edges };
// What an open sample's probes found: the shift to the ink, the reaches
// out and in from there, and whether each ended at an edge.
struct OpenEdges {
  double shift = 0.0, out = 0.0, in = 0.0;
  bool outSeen = false, inSeen = false;
};
// offsetAt, and with kOpenEdges `open` filled for an open sample (its inner
// edge probed too): a copy of its own, so that offsetAt's probe loops stay
// as tight as they were.
template <bool kOpenEdges>
Sample probeSample(const raster::CRaster& raster, double px, double py, double ux, double uy, double reach,
                   double& offset, double* across, OpenEdges* open) {
  double shift = 0.0, along = 0.0;
  if (!nearInk(raster, px, py, ux, uy, shift, along)) return Sample::Blank;
  const double sx = px + ux * shift - uy * along, sy = py + uy * shift + ux * along;
  // An outer edge not seen makes the sample open whatever lies inside.
  const double out = reachAlong(raster, sx, sy, ux, uy, reach);
  const bool outSeen = !(out < 0.0 || out + kProbeStep > reach);
  if (!kOpenEdges && !outSeen) return Sample::Open;
  const double in = reachAlong(raster, sx, sy, -ux, -uy, reach);
  const bool inSeen = !(in < 0.0 || in + kProbeStep > reach);
  if (!outSeen || !inSeen) {
    if constexpr (kOpenEdges) *open = OpenEdges{shift, out, in, outSeen, inSeen};
    return Sample::Open;
  }
  offset = shift + (out - in) / 2.0;
  if (across != nullptr) *across = out + in;
  return Sample::Edges;
}

Sample offsetAt(const raster::CRaster& raster, double px, double py, double ux, double uy, double reach,
                double& offset, double* across = nullptr) {
  return probeSample<false>(raster, px, py, ux, uy, reach, offset, across, nullptr);
}

// A step near n/φ that shares no factor with n, so that i·step mod n
// visits every index once and consecutive visits lie far apart.
int strideFor(int n) {
  int step = std::max(1, static_cast<int>(n * 0.381966));
  while (std::gcd(step, n) != 1) ++step;
  return step;
}

// Whether the stroke's centre line, found at the samples, lies as close to
// one straight line as to the circle: a straight stroke, wide enough that
// a shallow arc of some sagitta still follows it within the stray limit.
bool straighterThanArc(const StrokeCircle& c, const std::vector<Offset>& offsets) {
  if (offsets.size() < 3) return false;
  double mx = 0.0, my = 0.0, arc = 0.0;
  std::vector<std::pair<double, double>> points;
  points.reserve(offsets.size());
  for (const Offset& o : offsets) {
    const double r = c.radius + o.offset;
    points.emplace_back(c.centre.x + r * o.cos, c.centre.y + r * o.sin);
    mx += points.back().first;
    my += points.back().second;
    arc += o.offset * o.offset;
  }
  const double n = static_cast<double>(points.size());
  mx /= n;
  my /= n;
  arc /= n;
  double sxx = 0.0, sxy = 0.0, syy = 0.0;
  for (const auto& [x, y] : points) {
    sxx += (x - mx) * (x - mx);
    sxy += (x - mx) * (y - my);
    syy += (y - my) * (y - my);
  }
  // The smaller eigenvalue of the scatter: the mean square distance from the best line.
  const double line = ((sxx + syy) / 2.0 - std::sqrt((sxx - syy) * (sxx - syy) / 4.0 + sxy * sxy)) / n;
  const double half = std::fabs(c.sweep) / 2.0;
  return line <= arc * (half < kFlatHalfSweep ? kFlatStraightShare : kStraightShare);
}

// One least-squares correction of circle c from its offsets (offset ≈
// dr + dx·cos a + dy·sin a), applied to c, leaving out samples more than
// `outlier` off (on a full ring, where a crossing stroke widens one side: a
// ring is crossed often and is no false arc). False when the offsets do not
// determine it.
bool circleStep(const std::vector<Offset>& offsets, double outlier, double damping, StrokeCircle& c, double& dr,
                double& dx, double& dy) {
  double m[3][4] = {};
  for (const Offset& o : offsets) {
    if (std::fabs(o.offset) > outlier) continue;
    const double f[3] = {1.0, o.cos, o.sin};
    for (int r = 0; r < 3; ++r) {
      for (int k = 0; k < 3; ++k) m[r][k] += f[r] * f[k];
      m[r][3] += f[r] * o.offset;
    }
  }
  m[1][1] += damping * static_cast<double>(offsets.size());
  m[2][2] += damping * static_cast<double>(offsets.size());
  for (int col = 0; col < 3; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 3; ++r)
      if (std::fabs(m[r][col]) > std::fabs(m[pivot][col])) pivot = r;
    if (std::fabs(m[pivot][col]) < 1e-12) return false;
    for (int k = 0; k < 4; ++k) std::swap(m[col][k], m[pivot][k]);
    for (int r = 0; r < 3; ++r) {
      if (r == col) continue;
      const double factor = m[r][col] / m[col][col];
      for (int k = col; k < 4; ++k) m[r][k] -= factor * m[col][k];
    }
  }
  dr = m[0][3] / m[0][0];
  dx = m[1][3] / m[1][1];
  dy = m[2][3] / m[2][2];
  c.centre.x += dx;
  c.centre.y += dy;
  c.radius += dr;
  return true;
}

// followStroke; `fine` false leaves a flat arc as the coarse samples put
// it (the walk along a stroke places every grown arc, and finishes only the last).
std::optional<StrokeCircle> placeOnStroke(const raster::CRaster& raster, const StrokeCircle& circle, double width,
                                          double strayShare, bool fine) {
  StrokeCircle c = circle;
  const double reach = std::max(width, 1.0) + kEdgeSlack;
  std::vector<Offset> offsets;
  const bool ring = std::fabs(circle.sweep) >= model::kTwoPi - 1e-9;
  // The rounds move the centre and radius only: the sample directions stay
  // while the sample count does, and each is worked out once.
  double cosines[kMaxFineSamples], sines[kMaxFineSamples];
  bool known[kMaxFineSamples];
  int knownFor = 0;
  // Rings and arcs of more than kFineBelow have a curvature the coarse
  // samples settle; flatter arcs are finished on fine samples.
  const bool flat = fine && std::fabs(circle.sweep) < kFineBelow;
  const double fineSpacing = width < 2.0 ? kHairlineSpacing : kFineSpacing;
  fine = false;
  int fineRounds = 0;
  std::vector<Offset> points, fitted;  // fine rounds: centre-line points (x, y in cos, sin), offsets from c
  static_assert(kCoarseRounds + kFineRounds <= kRounds);
  for (int round = 0; round < kRounds; ++round) {
    if (!(c.radius > 0.0)) return std::nullopt;
    const int n = fine ? std::clamp(static_cast<int>(std::fabs(c.sweep) * c.radius / fineSpacing), kMinSamples, kMaxFineSamples)
                       : std::clamp(static_cast<int>(std::fabs(c.sweep) * c.radius / kSampleSpacing), kMinSamples, kMaxSamples);
    if (n != knownFor) {
      std::fill(known, known + n, false);
      knownFor = n;
    }
    offsets.clear();
    int blank = 0;
    // The samples are visited in a stride coprime to n, spread round the
    // whole arc from the start: a fit across white (most candidates, on
    // text and crossings) meets its blanks early and is given up after a
    // few samples instead of a walk along the good part first.
    const int stride = strideFor(n);
    const auto direction = [&](int i) {
      if (!known[i]) {
        const double a = c.startAngle + c.sweep * (i + 0.5) / n;
        cosines[i] = std::cos(a);
        sines[i] = std::sin(a);
        known[i] = true;
      }
    };
    direction(0);
    for (int k = 0, i = 0; k < n; ++k, i = (i + stride) % n) {
      const double a = c.startAngle + c.sweep * (i + 0.5) / n;
      // The samples lie far apart on the raster: the next one's pixels are
      // fetched while this one is probed.
      if (k + 1 < n) {
        const int next = (i + stride) % n;
        direction(next);
        prefetchPixel(raster, c.centre.x + c.radius * cosines[next], c.centre.y + c.radius * sines[next]);
      }
      const double ux = cosines[i], uy = sines[i];
      double offset = 0.0;
      switch (offsetAt(raster, c.centre.x + c.radius * ux, c.centre.y + c.radius * uy, ux, uy, reach, offset)) {
        case Sample::Blank:
          if (++blank > kMaxBlankShare * n) return std::nullopt;  // no need to walk further
          break;
        case Sample::Open:
          break;
        case Sample::Edges:
          offsets.push_back({a, offset, ux, uy});
          break;
      }
    }
    if (blank > kMaxBlankShare * n) return std::nullopt;
    if (offsets.size() < kMinEdgeShare * n) return std::nullopt;
    if (fine) {
      // The dense samples' centre-line points, fitted as they lie (with
      // those of the fine round before, other pixels of the same stroke):
      // moving the circle and sampling again would measure other pixels
      // each time, and a flat arc's curvature would wander with them.
      for (const Offset& o : offsets) {
        const double r = c.radius + o.offset;
        points.push_back({o.angle, 0.0, c.centre.x + r * o.cos, c.centre.y + r * o.sin});
      }
      fitted.resize(points.size());
      const auto measure = [&] {
        for (size_t k = 0; k < points.size(); ++k) {
          const double px = points[k].cos - c.centre.x, py = points[k].sin - c.centre.y;
          const double d = std::sqrt(px * px + py * py);
          if (!(d > 0.0)) return false;
          fitted[k] = {points[k].angle, d - c.radius, px / d, py / d};
        }
        return true;
      };
      for (int fit = 0; fit < kPointFits; ++fit) {
        double dr = 0.0, dx = 0.0, dy = 0.0;
        // Past the first fit, samples over a pixel off (a tangent leg, a
        // touching stroke) are left out.
        if (!measure() || !circleStep(fitted, fit > 0 ? kStray : ring ? kOutlier : 1e300, 0.0, c, dr, dx, dy))
          return std::nullopt;
        if (std::fabs(dr) + std::hypot(dx, dy) < kPointFitSettled) break;
      }
      if (!measure()) return std::nullopt;
      if (++fineRounds < kFineRounds) continue;
      offsets.swap(fitted);
      break;
    }
    if (round == kRounds - 1) break;
    double dr = 0.0, dx = 0.0, dy = 0.0;
    if (!circleStep(offsets, ring && round > 0 ? kOutlier : 1e300, kCentreDamping, c, dr, dx, dy)) return std::nullopt;
    const double moved = std::fabs(dr) + std::hypot(dx, dy);
    if (flat) {
      fine = moved < kCoarseSettled || round + 1 >= kCoarseRounds;
    } else if (moved < kSettled) {
      // Settled: the offsets from the moved circle are these less the
      // move, near enough not to walk the arc once more for them.
      for (Offset& o : offsets) o.offset -= dr + dx * o.cos + dy * o.sin;
      break;
    }
  }
  const auto strays = std::count_if(offsets.begin(), offsets.end(),
                                    [](const Offset& o) { return std::fabs(o.offset) > kStray; });
  if (strays > strayShare * static_cast<double>(offsets.size())) return std::nullopt;
  // Bent tighter than its own width, the ink is a blob where strokes meet, not a curve.
  if (c.radius < width) return std::nullopt;
  const double half = std::min(std::fabs(c.sweep), model::kTwoPi) / 2.0;
  if (half < model::kPi / 2.0 && c.radius * (1.0 - std::cos(half)) < std::max(kMinSagitta, width / 2.0)) return std::nullopt;
  if (half < kShallowHalfSweep && straighterThanArc(c, offsets)) return std::nullopt;
  return c;
}

}  // namespace

std::optional<StrokeCircle> followStroke(const raster::CRaster& raster, const StrokeCircle& circle, double width,
                                         double strayShare, bool fine) {
  return placeOnStroke(raster, circle, width, strayShare, fine);
}

bool blankAlongAtMost(const raster::CRaster& raster, const StrokeCircle& arc, double share) {
  const int samples = std::max(1, static_cast<int>(std::fabs(arc.sweep) * arc.radius));
  const double most = share * samples;
  int blank = 0;
  for (int i = 0; i < samples; ++i) {
    const double a = arc.startAngle + arc.sweep * (i + 0.5) / samples;
    const double ux = std::cos(a), uy = std::sin(a);
    if (nearInk(raster, arc.centre.x + arc.radius * ux, arc.centre.y + arc.radius * uy, ux, uy)) continue;
    if (++blank > most) return false;
  }
  return true;
}

ArcInk inkAlong(const raster::CRaster& raster, const StrokeCircle& arc, double width) {
  ArcInk ink;
  const double reach = std::max(width, 1.0) + kEdgeSlack;
  ink.samples = std::max(1, static_cast<int>(std::fabs(arc.sweep) * arc.radius));
  for (int i = 0; i < ink.samples; ++i) {
    const double a = arc.startAngle + arc.sweep * (i + 0.5) / ink.samples;
    const double ux = std::cos(a), uy = std::sin(a);
    double offset = 0.0;
    switch (offsetAt(raster, arc.centre.x + arc.radius * ux, arc.centre.y + arc.radius * uy, ux, uy, reach, offset)) {
      case Sample::Blank:
        ++ink.blank;
        break;
      case Sample::Open:
        ++ink.open;
        break;
      case Sample::Edges:
        if (std::fabs(offset) > kStray) ++ink.stray;
        break;
    }
  }
  return ink;
}

namespace {

// Walking on along a stroke: a step of about a pixel; two blank steps end
// the stroke. A sample whose centre line lies more than kWalkStray off the
// circle (a stroke touching it, a tangent leg running off) or whose edges
// are not both seen (a crossing) is passed over, up to kWalkOff px, or a
// few widths, in a row; where the ink ends after such a run, the circle's
// stroke ended where the run began.
constexpr double kWalkStep = 1.0;
constexpr int kWalkBlanks = 2;
constexpr double kWalkStray = 2.0;
// Where the ink across, along the radius, is wider than the stroke by more
// than this (or this share of the width) for more than kWideRun px at an
// end, the arc runs into another stroke there and ends where the wide ink
// begins (not at that stroke's far edge or centre line).
constexpr double kWalkWidthSlack = 2.0;
constexpr double kWalkWidthShare = 0.25;
constexpr double kWideRun = 3.0;
constexpr double kWalkOff = 12.0;
constexpr double kWalkOffWidths = 4.0;
// A longer run off the circle, up to kWalkLeap px, is passed over when the
// ink goes on all along it and the stroke then follows the circle again for
// kLeapConfirm px (or two widths) in a row: a stroke crossing at a shallow
// angle, or running along the arc for a while, hides one of its edges over
// tens of pixels.
constexpr double kWalkLeap = 80.0;
constexpr double kLeapConfirm = 8.0;
// A sample that sees one edge only (another stroke runs along the arc's
// far side, or the arc ends inside one) follows the circle when the
// centre line half the width in from that edge lies within this.
constexpr double kHalfStray = 0.75;
// Such samples count only this many in a row, their offsets moving less
// than kHalfStep from one to the next and kHalfDrift over the run: the
// edge of a stroke crossing the arc passes where the arc's own edge would
// lie for a few pixels, moving steadily across it.
constexpr int kHalfRun = 4;
constexpr double kHalfStep = 0.5;
constexpr double kHalfDrift = 1.0;
// A tangent leg at an arc's end is fitted to at least this many samples,
// must leave at most this share of the circle's squared misfit, and lie
// this far outside the circle at the end.
constexpr size_t kMinLegFit = 8;
constexpr double kLegFitShare = 0.4;
constexpr double kLegLeaves = 0.75;
// Growth rounds, and what each may add at an end: at least this, or half
// the sweep so far.
constexpr int kGrowRounds = 8;
constexpr double kMinGrowth = 16.0;
constexpr double kGrown = 2.0;
// How far inside its ends a finished arc is walked out to them again.
constexpr double kRewalkInside = 24.0;

// offsetAt at angle a of c for the walks: where the edges are not both
// seen, `half` tells whether one is, and offset is then taken from it for a
// stroke `width` wide.
Sample walkSample(const raster::CRaster& raster, const StrokeCircle& c, double a, double width, double reach,
                  double& offset, bool& half, double* across = nullptr) {
  const double ux = std::cos(a), uy = std::sin(a);
  const double px = c.centre.x + c.radius * ux, py = c.centre.y + c.radius * uy;
  half = false;
  OpenEdges open;
  const Sample sample = probeSample<true>(raster, px, py, ux, uy, reach, offset, across, &open);
  if (sample != Sample::Open || open.outSeen == open.inSeen) return sample;
  // Pixels are ink by their centres: the last ink probe lies about half a
  // pixel inside the edge.
  const double inside = (std::max(width, 1.0) - 1.0) / 2.0;
  offset = open.outSeen ? open.shift + open.out - inside : open.shift - open.in + inside;
  half = true;
  return sample;
}

// The run of samples seeing one edge that lies where the stroke's would.
struct HalfRun {
  int count = 0;
  double first = 0.0, last = 0.0;

  // Takes the next sample of the walk; whether it continues a run (or
  // begins one).
  bool add(bool half, double offset) {
    if (!half || std::fabs(offset) > kHalfStray) {
      count = 0;
      return false;
    }
    if (count == 0 || std::fabs(offset - last) > kHalfStep || std::fabs(offset - first) > kHalfDrift) {
      count = 0;
      first = offset;
    }
    ++count;
    last = offset;
    return true;
  }
  bool long_() const { return count >= kHalfRun; }
};

struct EndWalk {
  double length = 0.0;  // how far the centre line goes on beyond the end
  bool cap = false;     // it ran into white there: the stroke ends in a cap
};

// Walks at most `most` px on from angle `from`, and on up to `farthest` to
// see a run off the circle through.
EndWalk walkOn(const raster::CRaster& raster, const StrokeCircle& c, double from, double direction, double width,
               double most, double farthest) {
  const double reach = std::max(width, 1.0) + kEdgeSlack;
  const double longestOff = std::max(kWalkOff, kWalkOffWidths * width);
  const double confirm = std::max(kLeapConfirm, 2.0 * width);
  double good = 0.0, ink = 0.0, resumed = -1.0;
  int blanks = 0;
  // Past white, the stroke must follow the circle for `confirm` px before
  // it counts as going on: a pixel of white between the arc's end and a
  // stroke beside it is no gap in the arc.
  bool pastWhite = false;
  HalfRun halves;
  for (double s = kWalkStep; s <= farthest; s += kWalkStep) {
    if (s > most && s - good <= kWalkStep) break;
    double offset = 0.0;
    bool half = false;
    const Sample sample = walkSample(raster, c, from + direction * s / c.radius, width, reach, offset, half);
    if (sample == Sample::Blank) {
      resumed = -1.0;
      pastWhite = true;
      if (++blanks < kWalkBlanks) continue;
      // A cap ends on the circle; ink that strayed off it before the white
      // belonged to something else.
      if (ink - good <= kWalkStep) return EndWalk{ink, true};
      return EndWalk{good, false};
    }
    blanks = 0;
    ink = s;
    const bool inRun = halves.add(half, offset);
    if (inRun && !halves.long_()) continue;  // too short a run to tell yet
    if (!inRun && (sample != Sample::Edges || std::fabs(offset) > kWalkStray)) {
      resumed = -1.0;
      if (s - good > kWalkLeap) break;
    } else if (s - good - kWalkStep <= longestOff && !pastWhite) {
      good = s;
    } else {
      if (resumed < 0.0) resumed = s;
      if (s - resumed + kWalkStep >= confirm) {
        good = s;
        pastWhite = false;
      }
    }
  }
  return EndWalk{good, false};
}

// How far back from its end at angle `from` (walking `direction` into the
// arc, at most `most` px) the arc's ink is wider than its stroke, or its
// edges are not both seen: the length of a run longer than kWideRun that
// ends in ink of the stroke's own width, else 0.
double wideEnd(const raster::CRaster& raster, const StrokeCircle& c, double from, double direction, double width,
               double most, bool cap) {
  const double reach = std::max(width, 1.0) + kEdgeSlack;
  const double widthSlack = std::max(kWalkWidthSlack, kWalkWidthShare * width);
  HalfRun halves;
  for (double s = 0.0; s <= most; s += kWalkStep) {
    double offset = 0.0, across = 0.0;
    bool half = false;
    const Sample sample = walkSample(raster, c, from + direction * s / c.radius, width, reach, offset, half, &across);
    if (sample == Sample::Blank) return 0.0;
    // One edge seen where the stroke's own edge lies: the stroke goes on
    // beside another one, as wide as it was.
    if (halves.add(half, offset) && halves.long_()) {
      const double begun = s - (kHalfRun - 1) * kWalkStep;
      return begun > kWideRun ? begun : 0.0;
    }
    if (sample == Sample::Edges && std::fabs(offset) <= kWalkStray && across - width <= widthSlack)
      return s > kWideRun ? s : 0.0;
    // An end that ran into white stays unless its cap itself lies in wider
    // ink (a stroke it runs into ends there too); edges not seen at the cap
    // are a stroke crossing it, whose ink before the cap says nothing.
    if (cap && s == 0.0 && sample == Sample::Open) return 0.0;
  }
  return 0.0;
}

// How far back from its end at angle `from` (walking `direction` into the
// arc, at most `most` px) a straight leg runs on the arc's tangent (a
// fillet's): beyond the tangent point t the leg lies (t − d)²/2r outside
// the circle, within the walk's stray limit for tens of pixels on a large
// arc. The t whose leg fits the centre line's offsets best, when it fits
// them much better than the circle alone and leaves it clearly; else 0.
double tangentLegEnd(const raster::CRaster& raster, const StrokeCircle& c, double from, double direction, double width,
                     double most) {
  const double reach = std::max(width, 1.0) + kEdgeSlack;
  std::vector<std::pair<double, double>> offsets;  // (d, offset)
  for (double d = 0.0; d <= most; d += kWalkStep) {
    double offset = 0.0;
    bool half = false;
    if (walkSample(raster, c, from + direction * d / c.radius, width, reach, offset, half) == Sample::Edges &&
        std::fabs(offset) <= kWalkStray)
      offsets.emplace_back(d, offset);
  }
  if (offsets.size() < kMinLegFit) return 0.0;
  // The misfit of the leg from t, or a partial sum of it at or above
  // `bound`: the terms are squares, so the sum never falls back below it,
  // and the legs far out (most of them) are given up after a few terms.
  const auto misfit = [&](double t, double bound) {
    double sum = 0.0;
    for (const auto& [d, offset] : offsets) {
      const double leg = d < t ? (t - d) * (t - d) / (2.0 * c.radius) : 0.0;
      sum += (offset - leg) * (offset - leg);
      if (sum >= bound) break;
    }
    return sum;
  };
  const double circle = misfit(0.0, HUGE_VAL);
  double best = 0.0, bestMisfit = circle;
  for (double t = kWalkStep; t <= most; t += kWalkStep) {
    const double m = misfit(t, bestMisfit);
    if (m < bestMisfit) {
      bestMisfit = m;
      best = t;
    }
  }
  if (bestMisfit > kLegFitShare * circle || best * best / (2.0 * c.radius) < kLegLeaves) return 0.0;
  return best;
}

}  // namespace

std::optional<StrokeCircle> extendAlongStroke(const raster::CRaster& raster, const StrokeCircle& placed, double width,
                                              bool grownOnly) {
  const double sign = placed.sweep < 0.0 ? -1.0 : 1.0;
  const double capShift = std::max(width, 1.0) / 2.0 - 0.5;
  // The arc c with the last short walks at its ends added, and its ends
  // taken back out of wider ink.
  const auto finish = [&](const StrokeCircle& c, const EndWalk& ahead, const EndWalk& behind) -> std::optional<StrokeCircle> {
    StrokeCircle longer = c;
    // Pixels are ink by their centres: the last ink step lies about half a
    // step short of the cap's tip, which lies half the width beyond its centre.
    const double on = ahead.length - (ahead.cap ? capShift : 0.0);
    const double back = behind.length - (behind.cap ? capShift : 0.0);
    longer.startAngle -= sign * back / c.radius;
    longer.sweep += sign * (on + back) / c.radius;
    if (sign * longer.sweep <= 0.0) return std::nullopt;
    const double most = std::fabs(longer.sweep) * c.radius / 4.0;
    // The ends walked to again on the finished circle, from a quarter of
    // the arc (at most kRewalkInside) inside: a circle placed on coarse
    // samples in the growth rounds may sit a pixel or two off, and its walks
    // drift on into a stroke that leaves the arc's end at a slant.
    const double inside = std::min(most, kRewalkInside);
    const auto rewalked = [&](double end, double direction) {
      const EndWalk again =
          walkOn(raster, longer, end - direction * inside / c.radius, direction, width, inside, inside + kWalkLeap);
      return std::max(0.0, inside - (again.length - (again.cap ? capShift : 0.0)));
    };
    const double endShort = rewalked(longer.startAngle + longer.sweep, sign);
    const double startShort = rewalked(longer.startAngle, -sign);
    if (endShort > kWalkStep || startShort > kWalkStep) {
      longer.startAngle += sign * startShort / c.radius;
      longer.sweep -= sign * (startShort + endShort) / c.radius;
      if (sign * longer.sweep <= 0.0) return std::nullopt;
    }
    // An end inside a wider stroke (the arc runs into a line) is taken
    // back to where the ink widens.
    double endTrim = wideEnd(raster, longer, longer.startAngle + longer.sweep, -sign, width, most, ahead.cap);
    double startTrim = wideEnd(raster, longer, longer.startAngle, sign, width, most, behind.cap);
    // An end that ran on into a tangent leg is taken back to the tangent point.
    if (!ahead.cap && endTrim == 0.0)
      endTrim = tangentLegEnd(raster, longer, longer.startAngle + longer.sweep, -sign, width, most);
    if (!behind.cap && startTrim == 0.0) startTrim = tangentLegEnd(raster, longer, longer.startAngle, sign, width, most);
    longer.startAngle += sign * startTrim / c.radius;
    longer.sweep -= sign * (startTrim + endTrim) / c.radius;
    return longer;
  };
  // The grown arcs are placed on coarse samples; the one that stands is
  // finished on fine ones where they still find it on the stroke.
  const auto fineOrAsIs = [&](const StrokeCircle& arc) { return followStroke(raster, arc, width).value_or(arc); };
  StrokeCircle c = placed;
  for (int round = 0;; ++round) {
    if (!(c.radius > 0.0)) return std::nullopt;
    const double swept = std::fabs(c.sweep) * c.radius;
    const double room = (model::kTwoPi - std::fabs(c.sweep)) * c.radius / 2.0;
    const double most = std::min(std::max(kMinGrowth, swept / 2.0), room);
    const double farthest = std::min(most + kWalkLeap, room);
    const EndWalk ahead = walkOn(raster, c, c.startAngle + c.sweep, sign, width, most, farthest);
    const EndWalk behind = walkOn(raster, c, c.startAngle, -sign, width, most, farthest);
    const bool grown = ahead.length >= kGrown || behind.length >= kGrown;
    // Finishing (a fine placement and four end walks) would only take the
    // ends back in.
    if (!grown && round == 0 && grownOnly) return std::nullopt;
    if (!grown || round == kGrowRounds) return finish(fineOrAsIs(c), ahead, behind);
    StrokeCircle longer = c;
    longer.startAngle -= sign * behind.length / c.radius;
    longer.sweep += sign * (ahead.length + behind.length) / c.radius;
    // Come round: a ring, placed as one.
    if (std::fabs(longer.sweep) >= model::kTwoPi - kWalkStep / c.radius) longer.sweep = sign * model::kTwoPi;
    const std::optional<StrokeCircle> moved = followStroke(raster, longer, width, kMaxStrayShare, false);
    if (moved && std::fabs(longer.sweep) >= model::kTwoPi) return moved;
    if (!moved) {
      // The longer arc no longer fits its stroke (it ran on into a tangent
      // leg or another stroke): the arc placed in the round before, which
      // did, stands. The seed itself was never placed on the ink.
      if (round == 0) return std::nullopt;
      return finish(fineOrAsIs(c), EndWalk{}, EndWalk{});
    }
    c = *moved;
  }
}

std::unique_ptr<model::CCircle> dotAt(const raster::CRaster& raster, double x, double y) {
  constexpr double kDiagonal = 0.70710678118654752;
  const double directions[4][2] = {{1, 0}, {0, 1}, {kDiagonal, kDiagonal}, {kDiagonal, -kDiagonal}};
  double across[4];
  double shiftX = 0.0, shiftY = 0.0;
  for (int i = 0; i < 4; ++i) {
    const double ux = directions[i][0], uy = directions[i][1];
    const double forward = inkReach(raster, x, y, ux, uy, kMaxDot);
    const double backward = inkReach(raster, x, y, -ux, -uy, kMaxDot);
    if (forward < 0.0 || backward < 0.0 || forward + kProbeStep > kMaxDot || backward + kProbeStep > kMaxDot)
      return nullptr;
    // Pixels are ink by their centres: the blob reaches about half a pixel
    // beyond the last ink probe on either side.
    across[i] = forward + backward + 1.0;
    if (i < 2) {
      (i == 0 ? shiftX : shiftY) = (forward - backward) / 2.0;
    }
  }
  const double narrowest = *std::min_element(across, across + 4);
  const double widest = *std::max_element(across, across + 4);
  if (narrowest < kMinDot || widest - narrowest > kDotRoundness * std::max(1.0, narrowest / 4.0)) return nullptr;
  const double diameter = (across[0] + across[1]) / 2.0;
  auto dot = std::make_unique<model::CCircle>(model::Point3{x + shiftX, y + shiftY, 0.0}, diameter / 4.0);
  dot->setWidth(diameter / 2.0);
  return dot;
}

namespace {

// Bits of `count` (at most kMaxColumnBits) columns of row y from column c0,
// or 64 from a column that starts a byte, c0 in the highest bit; none
// outside the raster (nor in the row's padding).
// Eight bytes are read from the byte holding c0, so up to seven columns of
// the word lie before c0.
constexpr int kMaxColumnBits = 57;
uint64_t columnBits(const raster::CRaster& raster, int y, int c0, int count) {
  if (y < 0 || y >= raster.height()) return 0;
  const uint8_t* row = raster.row(y);
  const int bytes = (raster.width() + 7) / 8;
  const int b0 = c0 >= 0 ? c0 / 8 : -((7 - c0) / 8);
  uint64_t w = 0;
  if (b0 >= 0 && b0 + 8 <= bytes) {
    std::memcpy(&w, row + b0, 8);
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
  } else {
    for (int b = b0; b < b0 + 8; ++b) w = (w << 8) | (b >= 0 && b < bytes ? row[b] : 0u);
  }
  w <<= c0 - 8 * b0;
  const int valid = std::min(count, raster.width() - c0);
  return valid <= 0 ? 0 : w & (~uint64_t{0} << (64 - valid));
}

inline uint64_t widen(uint64_t m) { return m | (m << 1) | (m >> 1); }

// The blob fill of smallBlobCentres on whole rows of a window at once: bit j
// of a row is column x − maxSize − 1 + j, rows run from y − 1 to
// y + maxSize. The fill grows inside the allowed part of the window (rows y
// to y + maxSize − 1; on row y from x on; columns x − maxSize to x + maxSize)
// and is given up as soon as ink next to it lies outside that part: the
// same blobs the pixel fill accepts. Needs 2 maxSize + 3 <= kMaxColumnBits.
struct WindowFill {
  static constexpr int kMaxRows = 32;
  uint64_t ink[kMaxRows];
  uint64_t fill[kMaxRows];
};

bool FillSmallBlob(const raster::CRaster& raster, int x, int y, int maxSize, WindowFill& f, size_t& count,
                   double& sumX, double& sumY) {
  const int rows = maxSize + 2, bits = 2 * maxSize + 3, c0 = x - maxSize - 1;
  const auto bit = [](int j) { return uint64_t{1} << (63 - j); };
  const uint64_t inside = (~uint64_t{0} << (64 - (bits - 1))) & ~bit(0);  // j = 1 .. 2 maxSize + 1
  const uint64_t fromX = inside & ~(~uint64_t{0} << (64 - (maxSize + 1)));  // row y: from x on
  const auto allowed = [&](int r) { return r == 0 || r == rows - 1 ? 0 : (r == 1 ? fromX : inside); };
  // Rows lo - 1 .. hi + 1 are valid: ink read, fill 0 outside lo .. hi. Most
  // blobs are specks of a row or two, so nothing more is touched.
  constexpr int lo = 1;  // row y - 1 allows nothing
  int hi = 1;
  f.fill[0] = f.fill[2] = 0;
  f.fill[1] = bit(maxSize + 1);
  f.ink[0] = columnBits(raster, y - 1, c0, bits);
  f.ink[1] = columnBits(raster, y, c0, bits);
  f.ink[2] = columnBits(raster, y + 1, c0, bits);
  for (bool changed = true; changed;) {
    changed = false;
    for (int r = std::max(0, lo - 1); r <= std::min(rows - 1, hi + 1); ++r) {
      const uint64_t grow = widen(f.fill[r]) | (r > 0 ? widen(f.fill[r - 1]) : 0) | (r < hi ? widen(f.fill[r + 1]) : 0);
      if (grow == 0) continue;
      uint64_t m = f.fill[r] | (grow & f.ink[r]);
      if (m & ~allowed(r)) return false;
      for (;;) {
        const uint64_t more = widen(m) & f.ink[r];
        if (more & ~allowed(r)) return false;
        if ((more | m) == m) break;
        m |= more;
      }
      if (m == f.fill[r]) continue;
      f.fill[r] = m;
      changed = true;
      if (r > hi) {
        // r < rows - 1 here: that row allows nothing.
        hi = r;
        f.fill[r + 1] = 0;
        f.ink[r + 1] = columnBits(raster, y + r, c0, bits);
      }
    }
  }
  uint64_t columns = 0;
  count = 0;
  sumX = sumY = 0.0;
  for (int r = lo; r <= hi; ++r) {
    columns |= f.fill[r];
    int n = 0;
    for (uint64_t m = f.fill[r]; m != 0; m &= m - 1, ++n) sumX += c0 + 63 - std::countr_zero(m);
    count += static_cast<size_t>(n);
    sumY += static_cast<double>(n) * (y - 1 + r);
  }
  // The span of columns: the pixel fill stops once it reaches maxSize.
  return (63 - std::countr_zero(columns)) - std::countl_zero(columns) < maxSize;
}

// Calls visit(x, y) for the first pixel of every run of ink with no ink on
// or beside it in the row above, in raster order, leaving out pixels with
// no ink neighbour at all: where a blob can begin. Whole words of a
// stroke's inside are passed over at once.
template <typename Visit>
void ForEachBlobStart(const raster::CRaster& raster, const Visit& visit) {
  const int width = raster.width(), height = raster.height();
  if (width <= 0 || height <= 0) return;
  const int words = ((width + 7) / 8 + 7) / 8;
  // Rows y − 1, y and y + 1 as words, each read once, with a blank word
  // either side (index −1 and `words`); rows outside the raster are blank.
  const size_t stride = static_cast<size_t>(words) + 2;
  std::vector<uint64_t> buffer(3 * stride, 0);
  uint64_t* above = buffer.data() + 1;
  uint64_t* row = above + stride;
  uint64_t* below = row + stride;
  const auto load = [&](int y, uint64_t* into) {
    for (int k = 0; k < words; ++k) into[k] = y < height ? columnBits(raster, y, 64 * k, 64) : 0;
  };
  load(0, row);
  load(1, below);
  for (int y = 0; y < height; ++y) {
    if (y > 0) {
      uint64_t* const free = above;
      above = row;
      row = below;
      below = free;
      load(y + 1, below);
    }
    for (int k = 0; k < words; ++k) {
      const uint64_t current = row[k];
      if (current == 0) continue;
      const uint64_t starts = current & ~((current >> 1) | (row[k - 1] << 63));
      const uint64_t aboveWide = above[k] | (above[k] >> 1) | (above[k] << 1) | (above[k - 1] << 63) | (above[k + 1] >> 63);
      uint64_t candidates = starts & ~aboveWide;
      if (candidates == 0) continue;
      // A pixel with no ink right of it or below it either is a blob of
      // one pixel: salt noise is mostly such specks.
      const uint64_t belowWide = below[k] | (below[k] >> 1) | (below[k] << 1) | (below[k - 1] << 63) | (below[k + 1] >> 63);
      candidates &= (current << 1) | (row[k + 1] >> 63) | belowWide;
      while (candidates != 0) {
        const int bit = std::countl_zero(candidates);
        candidates &= ~(uint64_t{1} << (63 - bit));
        visit(64 * k + bit, y);
      }
    }
  }
}

}  // namespace

std::vector<model::Point3> smallBlobCentres(const raster::CRaster& raster, int maxSize) {
  if (2 * maxSize + 3 > kMaxColumnBits) return smallBlobCentresByFill(raster, maxSize);
  std::vector<model::Point3> centres;
  if (maxSize < 1) return centres;
  WindowFill window;
  ForEachBlobStart(raster, [&](int x, int y) {
    size_t count = 0;
    double sumX = 0.0, sumY = 0.0;
    if (!FillSmallBlob(raster, x, y, maxSize, window, count, sumX, sumY)) return;
    // Fewer pixels than the smallest dot (a plus of 5): a speck.
    if (count < kMinDotPixels) return;
    const double n = static_cast<double>(count);
    centres.push_back(model::Point3{sumX / n, sumY / n, 0.0});
  });
  return centres;
}

std::vector<model::Point3> smallBlobCentresByFill(const raster::CRaster& raster, int maxSize) {
  std::vector<model::Point3> centres;
  const int width = raster.width(), height = raster.height();
  if (maxSize < 1 || width <= 0 || height <= 0) return centres;
  // The fill stays inside a window of maxSize rows below the blob's top
  // row and maxSize columns either side of its first pixel.
  const int windowWidth = 2 * maxSize + 1, windowHeight = maxSize;
  std::vector<uint8_t> seen(static_cast<size_t>(windowWidth) * windowHeight, 0);
  std::vector<std::pair<int, int>> stack, filled;
  ForEachBlobStart(raster, [&](int x, int y) {
    int end = x;
    while (end + 1 < width && end - x < maxSize && raster.bitAt(end + 1, y)) ++end;
    if (end - x >= maxSize) return;
    bool aboveInk = false;
    if (y > 0)
      for (int i = std::max(0, x - 1); i <= std::min(width - 1, end + 1) && !aboveInk; ++i)
        aboveInk = raster.bitAt(i, y - 1);
    if (aboveInk) return;
    // 8-connected fill; given up when it leaves the window, climbs above
    // the top row or reaches left of the first pixel on it (the blob is
    // then taken from its own first pixel).
    const int left = x - maxSize;
    bool small = true;
    int minX = x, maxX = x, maxY = y;
    double sumX = 0.0, sumY = 0.0;
    stack.assign(1, {x, y});
    filled.clear();
    seen[static_cast<size_t>(x - left)] = 1;
    while (!stack.empty() && small) {
      const auto [px, py] = stack.back();
      stack.pop_back();
      filled.emplace_back(px, py);
      sumX += px;
      sumY += py;
      for (int dy = -1; dy <= 1 && small; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int qx = px + dx, qy = py + dy;
          if (qx < 0 || qy < 0 || qx >= width || qy >= height || !raster.bitAt(qx, qy)) continue;
          if (qy < y || (qy == y && qx < x) || qx < left || qx > x + maxSize || qy >= y + windowHeight) {
            small = false;
            break;
          }
          uint8_t& s = seen[static_cast<size_t>(qy - y) * windowWidth + (qx - left)];
          if (s) continue;
          s = 1;
          stack.emplace_back(qx, qy);
          minX = std::min(minX, qx);
          maxX = std::max(maxX, qx);
          maxY = std::max(maxY, qy);
          if (maxX - minX >= maxSize || maxY - y >= maxSize) {
            small = false;
            break;
          }
        }
    }
    for (const auto& [px, py] : filled) seen[static_cast<size_t>(py - y) * windowWidth + (px - left)] = 0;
    for (const auto& [px, py] : stack) seen[static_cast<size_t>(py - y) * windowWidth + (px - left)] = 0;
    // Fewer pixels than the smallest dot (a plus of 5): a speck.
    if (!small || filled.size() < kMinDotPixels) return;
    const double n = static_cast<double>(filled.size());
    centres.push_back(model::Point3{sumX / n, sumY / n, 0.0});
  });
  return centres;
}

std::vector<std::unique_ptr<model::CCircle>> dotsAt(const raster::CRaster& raster,
                                                    const std::vector<model::Point3>& points) {
  std::vector<std::unique_ptr<model::CCircle>> dots;
  const int width = raster.width(), height = raster.height();
  // dotAt measures the ink across the point in four directions; at a pixel
  // of the border, or one without ink on either side in one of them, the ink
  // leaves the raster or is under 2.5 px across, and there is no dot. Salt
  // noise has millions of such points, most of what a noisy sheet offers.
  const auto mayBeDot = [&](double x, double y) {
    const int c = static_cast<int>(x), r = height - 1 - static_cast<int>(y);
    if (x < 1.0 || y < 1.0 || c >= width - 1 || r < 1 || !raster.bitAt(c, r)) return false;
    const auto ink = [&](int dc, int dr) { return raster.bitAt(c + dc, r + dr); };
    return (ink(-1, 0) || ink(1, 0)) && (ink(0, -1) || ink(0, 1)) && (ink(1, -1) || ink(-1, 1)) &&
           (ink(1, 1) || ink(-1, -1));
  };
  for (const model::Point3& p : points) {
    const double x = std::round(p.x), y = std::round(p.y);
    if (!mayBeDot(x, y)) continue;
    if (auto dot = dotAt(raster, x, y)) dots.push_back(std::move(dot));
  }
  // Two dots of one blob lie within a pixel or two of each other; dots of a
  // dotted line lie at least a dot's width apart.
  std::sort(dots.begin(), dots.end(), [](const auto& a, const auto& b) { return a->centre().x < b->centre().x; });
  std::vector<std::unique_ptr<model::CCircle>> kept;
  for (auto& dot : dots) {
    bool twin = false;
    for (auto k = kept.rbegin(); k != kept.rend() && dot->centre().x - (*k)->centre().x <= kSameDot; ++k)
      twin = twin || model::distance((*k)->centre(), dot->centre()) <= kSameDot;
    if (!twin) kept.push_back(std::move(dot));
  }
  return kept;
}

namespace {

// Fillets: legs at least this long; bends of this many vertices at most (a
// piece of the arc that the arc search found among them);
// deflections within this range (a near-straight bend has no corner to
// speak of, a hairpin's bisector is ill-defined).
constexpr double kFilletLeg = 10.0;
constexpr size_t kMaxBendVertices = 4;
constexpr double kMinDeflection = 0.3;
constexpr double kMaxDeflection = 2.8;
constexpr double kRoughMargin = 0.15;
// The centre line passes the corner point at least this far off for the
// bend to be a fillet rather than a sharp corner.
constexpr double kMinCornerGap = 1.0;
// The smallest fillet radius.
constexpr double kMinFilletRadius = 4.0;
// How strongly the fillet's corner is held where the legs' lines meet
// (against the centre line's squared offsets, px²).
constexpr double kCornerPrior = 0.5;
// How far the stroke's centre may stray from a leg's fitted line, and the
// share of a leg's samples that may (touching strokes).
constexpr double kLegStray = 0.6;
constexpr double kLegStrayShare = 0.2;
// A leg is sampled between these shares of its length (its far end may be
// a junction, its near end lies on the fillet), about every kLegSpacing px.
constexpr double kLegFrom = 0.1;
constexpr double kLegTo = 0.7;
constexpr double kLegSpacing = 2.0;
constexpr int kMinLegSamples = 5;
constexpr int kMaxLegSamples = 40;

struct Fillet {
  model::Point3 first, second;  // the tangent points
  double bulge;
  double width;
};

// The fillet on the bend between segment a→b (first leg) and c→d (second
// leg), or nothing.
// A leg's line on the ink: the stroke's centre found across the leg at a
// few points of its far part (the polyline's vertex at the bend lies on the
// fillet already and tilts the segment), fitted with a straight line.
// Points as far → near; nothing when too few samples see both edges.
struct Leg {
  double ox, oy;  // a point on the line
  double dx, dy;  // unit direction, towards the bend
};

std::optional<Leg> legOnInk(const raster::CRaster& raster, const model::PolyVertex& far, const model::PolyVertex& near,
                            double width) {
  const double length = std::hypot(near.x - far.x, near.y - far.y);
  const double dx = (near.x - far.x) / length, dy = (near.y - far.y) / length;
  const double nx = -dy, ny = dx;
  const double reach = std::max(width, 1.0) + kEdgeSlack;
  // About every kLegSpacing px: a shallow fillet's radius hangs on the
  // legs' directions, and single edges are a pixel off.
  const int n = std::clamp(static_cast<int>((kLegTo - kLegFrom) * length / kLegSpacing) + 1, kMinLegSamples, kMaxLegSamples);
  double ts[kMaxLegSamples], os[kMaxLegSamples];
  int count = 0;
  for (int k = 0; k < n; ++k) {
    const double t = (kLegFrom + (kLegTo - kLegFrom) * k / (n - 1)) * length;
    const double qx = far.x + dx * t, qy = far.y + dy * t;
    bool inside = false;
    if (!inkHere(raster, qx, qy, inside)) continue;
    const double out = reachAlong(raster, qx, qy, nx, ny, reach);
    const double in = reachAlong(raster, qx, qy, -nx, -ny, reach);
    if (out + kProbeStep > reach || in + kProbeStep > reach) continue;  // a crossing
    ts[count] = t;
    os[count] = (out - in) / 2.0;
    ++count;
  }
  double slope = 0.0, offset = 0.0;
  // The line through the samples kept (those within kLegStray of the line
  // before, once there is one).
  const auto fitLine = [&](bool all) {
    double st = 0, so = 0, stt = 0, sto = 0;
    int used = 0;
    for (int k = 0; k < count; ++k) {
      if (!all && std::fabs(os[k] - offset - slope * ts[k]) > kLegStray) continue;
      st += ts[k];
      so += os[k];
      stt += ts[k] * ts[k];
      sto += ts[k] * os[k];
      ++used;
    }
    const double det = used * stt - st * st;
    if (used < 3 || std::fabs(det) < 1e-9) return false;
    slope = (used * sto - st * so) / det;
    offset = (so - slope * st) / used;
    return true;
  };
  if (!fitLine(true)) return std::nullopt;
  // A leg that bends (a piece of the arc taken for a leg) is no leg; a
  // sample or two off (a touching stroke) is left out.
  int strays = 0;
  for (int k = 0; k < count; ++k)
    if (std::fabs(os[k] - offset - slope * ts[k]) > kLegStray) ++strays;
  if (strays > 0) {
    if (count < kMinLegSamples || strays > kLegStrayShare * count || !fitLine(false)) return std::nullopt;
  }
  const double norm = std::hypot(1.0, slope);
  return Leg{far.x + nx * offset, far.y + ny * offset, (dx + nx * slope) / norm, (dy + ny * slope) / norm};
}

// The radius r of the arc tangent to both legs (corner P, inner bisector w,
// half the angle between the legs halfInner; arcOf(r, u) gives the tangent
// length and the arc with P moved u along w) along which the stroke's
// centre line runs: Gauss-Newton on the centre line's offsets from the
// arc, the centre at P + w·(u + r/sin(halfInner)). The legs' lines are
// found to half a pixel at best, and on a shallow fillet that moves the
// radius several pixels: P may move along w, held near by kCornerPrior.
// The radius and that move, or nothing when the arc crosses white, too few
// samples see both edges, or too many stray more than a pixel.
template <typename ArcOf>
std::optional<std::pair<double, double>> tangentRadiusOnInk(const raster::CRaster& raster, double wx, double wy,
                                                            double halfInner, const ArcOf& arcOf, double radius,
                                                            double width) {
  const double reach = std::max(width, 1.0) + kEdgeSlack;
  const double slide = 1.0 / std::sin(halfInner);  // centre movement per unit radius
  double shift = 0.0;
  std::vector<Offset> offsets;
  for (int round = 0; round < kRounds; ++round) {
    if (!(radius > 0.0)) return std::nullopt;
    const StrokeCircle c = arcOf(radius, shift).second;
    const int n = std::clamp(static_cast<int>(std::fabs(c.sweep) * c.radius / kSampleSpacing), kMinSamples, kMaxSamples);
    offsets.clear();
    int blank = 0;
    for (int i = 0; i < n; ++i) {
      const double a = c.startAngle + c.sweep * (i + 0.5) / n;
      const double ux = std::cos(a), uy = std::sin(a);
      double offset = 0.0;
      const Sample sample = offsetAt(raster, c.centre.x + c.radius * ux, c.centre.y + c.radius * uy, ux, uy, reach, offset);
      if (sample == Sample::Blank && ++blank > kMaxBlankShare * n) return std::nullopt;
      if (sample == Sample::Edges) offsets.push_back({a, offset, ux, uy});
    }
    if (offsets.size() < kMinEdgeShare * n) return std::nullopt;
    // How the offset at angle a changes with the move of P and with the radius.
    const auto along = [&](double a) { return -(std::cos(a) * wx + std::sin(a) * wy); };
    const auto slope = [&](double a) { return along(a) * slide - 1.0; };
    double rr = 0.0, ru = 0.0, uu = kCornerPrior, br = 0.0, bu = kCornerPrior * shift;
    for (const Offset& o : offsets) {
      // A crossing or touching stroke widens one side: left out once the arc is near.
      if (round > 0 && std::fabs(o.offset) > kOutlier) continue;
      const double g = slope(o.angle), h = along(o.angle);
      rr += g * g;
      ru += g * h;
      uu += h * h;
      br += o.offset * g;
      bu += o.offset * h;
    }
    const double det = rr * uu - ru * ru;
    if (rr < 1e-9 || std::fabs(det) < 1e-12) return std::nullopt;
    const double step = -(uu * br - ru * bu) / det;
    const double move = -(rr * bu - ru * br) / det;
    if (std::fabs(step) + std::fabs(move) < kSettled || round == kRounds - 1) {
      const auto strays = std::count_if(offsets.begin(), offsets.end(), [&](const Offset& o) {
        return std::fabs(o.offset + slope(o.angle) * step + along(o.angle) * move) > kStray;
      });
      if (strays > kMaxStrayShare * static_cast<double>(offsets.size())) return std::nullopt;
      return std::make_pair(radius + step, shift + move);
    }
    radius += step;
    shift += move;
  }
  return std::nullopt;
}

// The fillet on the bend between segment a→b (first leg) and c→d (second
// leg), or nothing.
std::optional<Fillet> filletAt(const raster::CRaster& raster, const model::PolyVertex& a, const model::PolyVertex& b,
                               const model::PolyVertex& c, const model::PolyVertex& d, double width) {
  const double l1 = std::hypot(b.x - a.x, b.y - a.y), l2 = std::hypot(d.x - c.x, d.y - c.y);
  if (l1 < kFilletLeg || l2 < kFilletLeg) return std::nullopt;
  // The same turn from the vertices first, with some margin: the ink is
  // probed only on bends that may qualify.
  const double rough = std::atan2(std::fabs((b.x - a.x) * (d.y - c.y) - (b.y - a.y) * (d.x - c.x)),
                                  (b.x - a.x) * (d.x - c.x) + (b.y - a.y) * (d.y - c.y));
  if (rough < kMinDeflection - kRoughMargin || rough > kMaxDeflection + kRoughMargin) return std::nullopt;
  const std::optional<Leg> first = legOnInk(raster, a, b, width);
  if (!first) return std::nullopt;
  const std::optional<Leg> second = legOnInk(raster, d, c, width);
  if (!second) return std::nullopt;
  const double d1x = first->dx, d1y = first->dy;
  const double d2x = -second->dx, d2y = -second->dy;  // away from the bend
  const double cross = d1x * d2y - d1y * d2x;
  const double deflection = std::atan2(std::fabs(cross), d1x * d2x + d1y * d2y);
  if (deflection < kMinDeflection || deflection > kMaxDeflection) return std::nullopt;
  // The corner P: where the legs' lines meet.
  const double t = ((second->ox - first->ox) * d2y - (second->oy - first->oy) * d2x) / cross;
  double px = first->ox + d1x * t, py = first->oy + d1y * t;
  // P must lie beyond b on the first leg and before c on the second, up to
  // where thinning may put a lone bend vertex on a thick stroke.
  const double along1 = (px - a.x) * d1x + (py - a.y) * d1y;
  const double along2 = (d.x - px) * d2x + (d.y - py) * d2y;
  const double slack = std::max(1.0, width / 2.0);
  if (along1 < l1 - slack || along2 < l2 - slack) return std::nullopt;
  // The inner bisector, and the stroke's centre line across it: from
  // outside the stroke (behind P) to the far edge of the first ink met.
  double wx = d2x - d1x, wy = d2y - d1y;
  const double wl = std::hypot(wx, wy);
  wx /= wl;
  wy /= wl;
  const double halfInner = (model::kPi - deflection) / 2.0;  // half the angle between the legs
  const double factor = 1.0 / std::sin(halfInner) - 1.0;     // corner gap per unit radius
  // Behind P by more than a sharp corner's outer tip reaches.
  const double back = std::max(width, 1.0) / 2.0 / std::sin(halfInner) + 2.0;
  const double farthest = std::min(along1, along2) * std::tan(halfInner) * factor + back;
  double s = -back;
  bool inside = false;
  if (inkHere(raster, px - wx * back, py - wy * back, inside)) return std::nullopt;
  while (s <= farthest && !inkHere(raster, px + wx * s, py + wy * s, inside)) s += kProbeStep;
  if (s > farthest) return std::nullopt;
  const double through = reachAlong(raster, px + wx * s, py + wy * s, wx, wy, 2.0 * back);
  if (through < 0.0 || through + kProbeStep > 2.0 * back) return std::nullopt;
  // Pixels are ink by their centres: the edges lie half a probe step out.
  const double gap = s + through / 2.0;
  if (gap < kMinCornerGap) return std::nullopt;
  double radius = gap / factor;
  const double sign = cross > 0 ? 1.0 : -1.0;  // counter-clockwise turn: centre on the left
  const auto tangentArc = [&](double r, double u) {
    const double tangent = r / std::tan(halfInner);
    const model::Point3 t1{px + wx * u - d1x * tangent, py + wy * u - d1y * tangent, b.z};
    const double cx = t1.x - sign * d1y * r, cy = t1.y + sign * d1x * r;
    const double start = std::atan2(t1.y - cy, t1.x - cx);
    return std::make_pair(tangent, StrokeCircle{{cx, cy, b.z}, r, start, sign * deflection});
  };
  auto [tangent, arc] = tangentArc(radius, 0.0);
  if (tangent > along1 - 1.0 || tangent > along2 - 1.0) return std::nullopt;  // runs off a leg
  // The radius on the ink, the arc kept tangent to both legs: its centre
  // slides along the bisector as the radius changes, so one unknown is
  // fitted to the stroke's centre line (a free circle walked on a short
  // sweep trades centre against radius and lands a pixel or two off).
  const auto onInk = tangentRadiusOnInk(raster, wx, wy, halfInner, tangentArc, radius, width);
  if (!onInk) return std::nullopt;
  radius = onInk->first;
  px += wx * onInk->second;
  py += wy * onInk->second;
  // Tighter than its own stroke, or hardly off its chord, it is no fillet
  // to tell from a sharp corner (whose centre line cuts the corner by a
  // quarter of the width) or a bend of a glyph.
  if (radius < std::max(kMinFilletRadius, width) || radius * (1.0 - std::cos(deflection / 2.0)) < kMinSagitta)
    return std::nullopt;
  std::tie(tangent, arc) = tangentArc(radius, 0.0);
  if (tangent > along1 - 1.0 || tangent > along2 - 1.0) return std::nullopt;
  Fillet f;
  f.first = model::Point3{px - d1x * tangent, py - d1y * tangent, b.z};
  f.second = model::Point3{px + d2x * tangent, py + d2y * tangent, c.z};
  f.bulge = sign * std::tan(deflection / 4.0);
  f.width = width;
  return f;
}

}  // namespace

int roundFillets(model::CPolyLine& polyline, const raster::CRaster& raster) {
  model::VertexList v = polyline.vertices();
  if (polyline.isClosed() || v.size() < 3) return 0;
  int made = 0;
  model::VertexList out;
  out.reserve(v.size() + 2);
  out.push_back(v[0]);
  size_t i = 1;  // v[i-1]→v[i] is the first leg candidate
  while (i < v.size()) {
    bool done = false;
    const model::PolyVertex& a = out.back();
    if (!a.hasBulge()) {
      // The widest bend first: a short segment on the arc next to the bend
      // is nearly straight and would pass for a leg.
      for (size_t bend = kMaxBendVertices; bend-- > 0 && !done;) {
        if (i + bend + 1 >= v.size()) continue;
        // Legs a→v[i] and v[i+bend]→v[i+bend+1]; the bend's vertices in between.
        const size_t j = i + bend;
        // The second leg straight; the bend may hold a piece of the arc
        // that the arc search found.
        if (v[j].hasBulge()) continue;
        double sum = 0.0;
        for (size_t k = i; k <= j; ++k) sum += v[k].startWidth;
        const double width = bend == 0 ? a.startWidth : sum / static_cast<double>(bend + 1);
        const std::optional<Fillet> f = filletAt(raster, a, v[i], v[j], v[j + 1], std::max(width, 1.0));
        if (!f) continue;
        model::PolyVertex t1 = v[i], t2 = v[j];
        t1.setPoint(f->first);
        t1.bulge = f->bulge;
        t1.startWidth = t1.endWidth = f->width;
        t2.setPoint(f->second);
        t2.bulge = v[j].bulge;
        out.push_back(t1);
        out.push_back(t2);
        i = j + 1;
        ++made;
        done = true;
      }
    }
    if (!done) {
      out.push_back(v[i]);
      ++i;
    }
  }
  if (made > 0) {
    polyline.editVertices() = std::move(out);
    polyline.buildApproximation(-25);
  }
  return made;
}

}  // namespace quillon::postprocess
