#include "postprocess/refined_arcs.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "postprocess/line_width.h"

namespace quillon::postprocess {

namespace {

// Samples are about this far apart along the arc, within these counts.
constexpr double kSampleSpacing = 4.0;
constexpr int kMinSamples = 12;
constexpr int kMaxSamples = 72;
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
// Correction rounds (fewer once a round moves the circle by less than
// kSettled), and the damping that keeps the centre of a short arc
// (which the offsets barely fix) near where it was.
constexpr int kRounds = 5;
constexpr double kCentreDamping = 0.02;
constexpr double kSettled = 0.05;
// An arc whose sagitta is below this stays a straight run: its chord
// follows the stroke within a pixel anyway.
constexpr double kMinSagitta = 1.0;
// Dots: the smallest diameter, the largest one probed, and how far the
// blob's extents across may differ (a short dash is no dot).
constexpr double kMinDot = 2.5;
constexpr double kMaxDot = 24.0;
constexpr double kDotRoundness = 1.5;

// inkReach of the width stage, kept here where the compiler can inline it:
// followStroke probes both edges at every sample of every round, and the
// calls into the other unit were most of its time.
inline bool inkHere(const raster::CRaster& raster, double x, double y, bool& inside) {
  const int column = static_cast<int>(x + 0.5);
  const int row = raster.height() - 1 - static_cast<int>(y + 0.5);
  inside = column >= 0 && row >= 0 && column < raster.width() && row < raster.height();
  return inside && raster.bitAt(column, row);
}

inline double reachAlong(const raster::CRaster& raster, double x, double y, double ux, double uy, double reach) {
  double last = -1.0;
  for (double t = 0.0; t <= reach; t += kProbeStep) {
    bool inside = false;
    if (!inkHere(raster, x + ux * t, y + uy * t, inside)) return inside ? last : -1.0;
    last = t;
  }
  return last;
}

struct Offset {
  double angle;
  double offset;  // where the stroke's centre line lies beyond the circle, along the radius
};

// The centre line's offset from the circle at one sample point P with
// outward unit u; false when no ink is found there or the edges are not
// both seen.
enum class Sample { Blank, Open, Edges };
Sample offsetAt(const raster::CRaster& raster, double px, double py, double ux, double uy, double reach,
                double& offset) {
  double shift = 0.0;
  bool inside = false;
  bool found = inkHere(raster, px, py, inside);
  // Beside the point along the radius, and half a pixel along the circle
  // too: a hairline ring on a diagonal is only 8-connected, and the radius
  // there runs between its pixels.
  double along = 0.0;
  for (double s = 0.5; !found && s <= kNearSearch; s += 0.5) {
    for (const double t : {0.0, 0.5, -0.5}) {
      for (const double signed_ : {s, -s}) {
        if (inkHere(raster, px + ux * signed_ - uy * t, py + uy * signed_ + ux * t, inside)) {
          shift = signed_;
          along = t;
          found = true;
          break;
        }
      }
      if (found) break;
    }
  }
  if (!found) return Sample::Blank;
  const double sx = px + ux * shift - uy * along, sy = py + uy * shift + ux * along;
  const double out = reachAlong(raster, sx, sy, ux, uy, reach);
  const double in = reachAlong(raster, sx, sy, -ux, -uy, reach);
  if (out < 0.0 || in < 0.0 || out + kProbeStep > reach || in + kProbeStep > reach) return Sample::Open;
  offset = shift + (out - in) / 2.0;
  return Sample::Edges;
}

// A step near n/φ that shares no factor with n, so that i·step mod n
// visits every index once and consecutive visits lie far apart.
int strideFor(int n) {
  int step = std::max(1, static_cast<int>(n * 0.381966));
  while (std::gcd(step, n) != 1) ++step;
  return step;
}

}  // namespace

std::optional<StrokeCircle> followStroke(const raster::CRaster& raster, const StrokeCircle& circle, double width) {
  StrokeCircle c = circle;
  const double reach = std::max(width, 1.0) + kEdgeSlack;
  std::vector<Offset> offsets;
  for (int round = 0; round < kRounds; ++round) {
    if (!(c.radius > 0.0)) return std::nullopt;
    const int n = std::clamp(static_cast<int>(std::fabs(c.sweep) * c.radius / kSampleSpacing), kMinSamples, kMaxSamples);
    offsets.clear();
    int blank = 0;
    // The samples are visited in a stride coprime to n, spread round the
    // whole arc from the start: a fit across white (most candidates, on
    // text and crossings) meets its blanks early and is given up after a
    // few samples instead of a walk along the good part first.
    const int stride = strideFor(n);
    for (int k = 0, i = 0; k < n; ++k, i = (i + stride) % n) {
      const double a = c.startAngle + c.sweep * (i + 0.5) / n;
      const double ux = std::cos(a), uy = std::sin(a);
      double offset = 0.0;
      switch (offsetAt(raster, c.centre.x + c.radius * ux, c.centre.y + c.radius * uy, ux, uy, reach, offset)) {
        case Sample::Blank:
          if (++blank > kMaxBlankShare * n) return std::nullopt;  // no need to walk further
          break;
        case Sample::Open:
          break;
        case Sample::Edges:
          offsets.push_back({a, offset});
          break;
      }
    }
    if (blank > kMaxBlankShare * n) return std::nullopt;
    if (offsets.size() < kMinEdgeShare * n) return std::nullopt;
    if (round == kRounds - 1) break;
    // Least squares: offset ≈ dr + dx·cos a + dy·sin a.
    double m[3][4] = {};
    for (const Offset& o : offsets) {
      const double f[3] = {1.0, std::cos(o.angle), std::sin(o.angle)};
      for (int r = 0; r < 3; ++r) {
        for (int k = 0; k < 3; ++k) m[r][k] += f[r] * f[k];
        m[r][3] += f[r] * o.offset;
      }
    }
    const double damping = kCentreDamping * static_cast<double>(offsets.size());
    m[1][1] += damping;
    m[2][2] += damping;
    for (int col = 0; col < 3; ++col) {
      int pivot = col;
      for (int r = col + 1; r < 3; ++r)
        if (std::fabs(m[r][col]) > std::fabs(m[pivot][col])) pivot = r;
      if (std::fabs(m[pivot][col]) < 1e-12) return std::nullopt;
      for (int k = 0; k < 4; ++k) std::swap(m[col][k], m[pivot][k]);
      for (int r = 0; r < 3; ++r) {
        if (r == col) continue;
        const double factor = m[r][col] / m[col][col];
        for (int k = col; k < 4; ++k) m[r][k] -= factor * m[col][k];
      }
    }
    const double dr = m[0][3] / m[0][0], dx = m[1][3] / m[1][1], dy = m[2][3] / m[2][2];
    c.centre.x += dx;
    c.centre.y += dy;
    c.radius += dr;
    if (std::fabs(dr) + std::hypot(dx, dy) < kSettled) {
      // Settled: the offsets from the moved circle are these less the
      // move, near enough not to walk the arc once more for them.
      for (Offset& o : offsets) o.offset -= dr + dx * std::cos(o.angle) + dy * std::sin(o.angle);
      break;
    }
  }
  const auto strays = std::count_if(offsets.begin(), offsets.end(),
                                    [](const Offset& o) { return std::fabs(o.offset) > kStray; });
  if (strays > kMaxStrayShare * static_cast<double>(offsets.size())) return std::nullopt;
  const double half = std::min(std::fabs(c.sweep), model::kTwoPi) / 2.0;
  if (half < model::kPi / 2.0 && c.radius * (1.0 - std::cos(half)) < kMinSagitta) return std::nullopt;
  return c;
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

}  // namespace quillon::postprocess
