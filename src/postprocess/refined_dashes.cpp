#include "postprocess/refined_dashes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/circle.h"
#include "model/polyline.h"
#include "postprocess/line_width.h"

namespace quillon::postprocess {

using model::CPolyLine;
using model::PolyVertex;

namespace {

// Strokes thinner than this show no neck a pixel grid can tell. The width
// measured so far (the smallest of a few samples) may be a pixel or so
// short on a slanted stroke; the ink across it, sampled here, decides.
constexpr double kMinWidth = 3.25;
constexpr double kMinMeasured = 2.25;
// The widest stroke looked at, pixels.
constexpr double kMaxAcross = 16.0;
// A neck: ink across the stroke over at most kNeckShare of its width, and
// at its narrowest over at most kNeckCore.
constexpr double kNeckShare = 0.6;
constexpr double kNeckCore = 0.5;
// Samples along the stroke and across it, pixels.
constexpr double kAlongStep = 1.0;
// Necks are looked for every kCoarseSteps samples (a neck's narrow stretch
// is two pixels long or more: the white between two caps and their tips);
// the width between them from kBodySamples samples.
constexpr int kCoarseSteps = 1;
constexpr int kBodySamples = 7;
constexpr int kBodyRank = 4;
constexpr double kAcrossStep = 0.5;
// Necks repeat: every spacing within kPeriodSlack px or kPeriodLikeness of
// their median, or of a multiple of it, which is at least twice the width
// and a little more (a dash is longer than it is wide).
constexpr double kPeriodSlack = 2.0;
constexpr double kPeriodLikeness = 0.2;
// A narrow stretch longer than twice the width and this is no neck but a
// thin part of the stroke, and the stroke is no dash row.
constexpr double kNeckSlack = 3.0;

// How far, in pixels, ink reaches across the stroke at (x, y): the run of
// ink samples, every kAcrossStep along the normal (nx, ny) within `reach`
// to either side, around the ink sample nearest the centre (a neck may miss
// the centre line by a pixel); 0 when none lies within a pixel of it. Ink
// beyond white belongs to another stroke.
double inkAcross(const raster::CRaster& raster, double x, double y, double nx, double ny, double reach) {
  const int steps = static_cast<int>(reach / kAcrossStep);
  const auto ink = [&](int k) {
    bool inside = false;
    return inkAt(raster, x + nx * k * kAcrossStep, y + ny * k * kAcrossStep, inside);
  };
  int seed = 0;
  const int near = static_cast<int>(1.0 / kAcrossStep);
  for (int d = 0; d <= near; ++d) {
    if (ink(d)) {
      seed = d;
      break;
    }
    if (d > 0 && ink(-d)) {
      seed = -d;
      break;
    }
    if (d == near) return 0.0;
  }
  int low = seed, high = seed;
  while (low > -steps && ink(low - 1)) --low;
  while (high < steps && ink(high + 1)) ++high;
  return (high - low + 1) * kAcrossStep;
}

// Whether, walking from a stroke's end at (x, y) along (ux, uy), its cap
// (at most `width` on) is followed by white, no longer than `gap`, and
// then ink again: a row that goes on.
bool rowGoesOn(const raster::CRaster& raster, double x, double y, double ux, double uy, double width, double gap) {
  double t = 0.0;
  bool inside = true;
  while (t <= width && inkAt(raster, x + ux * t, y + uy * t, inside)) t += kAcrossStep;
  if (t > width || !inside) return false;
  const double white = t;
  while (t - white <= gap && inside && !inkAt(raster, x + ux * t, y + uy * t, inside)) t += kAcrossStep;
  return inside && t - white <= gap;
}

// The widest continuous ink across the stroke from a to b at a quarter,
// half and three quarters of its length: the width of a stroke whose width
// was not measured (a rebuilt straight stroke's).
double widthAcross(const raster::CRaster& raster, const PolyVertex& a, const PolyVertex& b) {
  const double dx = b.x - a.x, dy = b.y - a.y, length = std::hypot(dx, dy);
  if (length <= 0.0) return 0.0;
  const double nx = -dy / length, ny = dx / length;
  double widest = 0.0;
  for (const double f : {0.25, 0.5, 0.75}) {
    const double x = a.x + f * dx, y = a.y + f * dy;
    const double left = inkReach(raster, x, y, nx, ny, kMaxAcross), right = inkReach(raster, x, y, -nx, -ny, kMaxAcross);
    if (left >= 0.0 && right >= 0.0) widest = std::max(widest, left + right + 1.0);
  }
  return widest;
}

struct Neck {
  double centre;  // distance from the first vertex
  double length;  // of the narrow stretch
};

// The necks of the straight stroke from a to b, about `measured` wide, when
// they repeat as a dash row's do (empty otherwise), and the stroke's width
// between them.
std::vector<Neck> regularNecks(const raster::CRaster& raster, const PolyVertex& a, const PolyVertex& b, double measured,
                               double& body) {
  const double dx = b.x - a.x, dy = b.y - a.y, length = std::hypot(dx, dy);
  if (length < 2.0 * (2.0 * kMinWidth + kPeriodSlack)) return {};
  const double ux = dx / length, uy = dy / length;
  const double reach = measured / 2.0 + 1.5;
  const double nx = -uy, ny = ux;
  const auto acrossAt = [&](double t) { return inkAcross(raster, a.x + ux * t, a.y + uy * t, nx, ny, reach); };
  // The width between necks: the upper third of a few samples (a slanted
  // stroke's pixel steps narrow many a little) spread along at
  // steps of the golden section, so that no dash spacing lines them all up
  // with the necks.
  double samples[kBodySamples];
  for (int k = 0; k < kBodySamples; ++k) {
    const double f = 0.5 + 0.6180339887 * k;
    samples[k] = acrossAt((f - std::floor(f)) * length);
  }
  std::nth_element(samples, samples + kBodyRank, samples + kBodySamples);
  body = samples[kBodyRank];
  if (body < kMinWidth) return {};
  const double minPeriod = 2.0 * body + kPeriodSlack;
  if (length < 2.0 * minPeriod) return {};
  const double narrow = kNeckShare * body;
  // Most of a stroke is no neck, and ink at both edges, a little inside
  // them, tells so cheaply; only where an edge is white is the ink across
  // counted, and a neck found is followed pixel by pixel to its ends.
  const double edge = std::max(kAcrossStep, body / 2.0 - 0.75);
  const auto inkOn = [&](double t, double side) {
    bool inside = false;
    return inkAt(raster, a.x + ux * t + nx * side, a.y + uy * t + ny * side, inside);
  };
  const int n = static_cast<int>(length / kAlongStep) + 1;
  const auto lowAt = [&](int i) { return acrossAt(i * kAlongStep) <= narrow; };
  std::vector<Neck> necks;
  for (int i = 0; i < n; i += kCoarseSteps) {
    const double t = i * kAlongStep;
    if (inkOn(t, i % 2 ? edge : -edge) || !lowAt(i)) continue;
    int from = i, to = i;
    while (from > 0 && lowAt(from - 1)) --from;
    while (to + 1 < n && lowAt(to + 1)) ++to;
    // Slanted strokes alias into narrow samples at a regular spacing too,
    // but never as narrow as a neck's narrowest.
    double narrowest = body;
    for (int k = from; k <= to; ++k) narrowest = std::min(narrowest, acrossAt(k * kAlongStep));
    const double stretch = (to - from + 1) * kAlongStep;
    if (stretch > 2.0 * body + kNeckSlack) return {};
    // A stroke narrows towards its ends; only necks inside it count.
    if (from > 0 && to < n - 1 && narrowest <= kNeckCore * body)
      necks.push_back({(from + to) * kAlongStep / 2.0, stretch});
    i = to;  // on from the narrow stretch's end
  }
  if (necks.empty()) return {};
  if (necks.size() == 1) {
    // Two dashes run together: alike, and the row goes on beyond one of
    // them across white.
    const double first = necks[0].centre, second = length - first;
    if (std::fabs(first - second) > std::max(kPeriodSlack, kPeriodLikeness * length / 2.0) ||
        first < minPeriod / 2.0 ||
        !(rowGoesOn(raster, a.x, a.y, -ux, -uy, body, length) || rowGoesOn(raster, b.x, b.y, ux, uy, body, length)))
      return {};
    return necks;
  }
  std::vector<double> periods;
  for (size_t k = 1; k < necks.size(); ++k) periods.push_back(necks[k].centre - necks[k - 1].centre);
  // The period: the lower median spacing (a crossing stroke may hide a
  // neck, doubling one).
  std::vector<double> order = periods;
  const auto middle = order.begin() + static_cast<std::ptrdiff_t>((order.size() - 1) / 2);
  std::nth_element(order.begin(), middle, order.end());
  const double period = *middle;
  const double slack = std::max(kPeriodSlack, kPeriodLikeness * period);
  if (period < minPeriod) return {};
  // Every spacing is the period or two or three of it; any other is no row.
  int single = 0, multiple = 0;
  for (const double p : periods) {
    const double k = std::max(1.0, std::round(p / period));
    if (std::fabs(p - k * period) > slack) return {};
    ++(k == 1.0 ? single : multiple);
  }
  // Few spacings of one period are no pattern yet: a piece at an end must
  // repeat it too (a whole dash reaches from the stroke's end to about half
  // a gap short of the period).
  const auto endAlike = [&](double piece) { return piece <= period + slack && piece >= period - body - slack; };
  if (single <= multiple + 1 && !endAlike(necks.front().centre) && !endAlike(length - necks.back().centre)) return {};
  return necks;
}

}  // namespace

int splitDashRows(model::CLayer& layer, const raster::CRaster& raster) {
  struct Cut {
    CPolyLine* source;
    std::vector<Neck> necks;
    double width;
  };
  std::vector<Cut> cuts;
  for (const auto& e : layer) {
    if (e->type() != model::EntityType::PolyLine) continue;
    auto* p = static_cast<CPolyLine*>(e.get());
    const auto& v = p->vertices();
    if (v.size() != 2 || p->isClosed() || v[0].hasBulge()) continue;
    const double measured = v[0].startWidth > 0.0 ? v[0].startWidth : widthAcross(raster, v[0], v[1]);
    if (measured < kMinMeasured) continue;
    double width = 0.0;
    std::vector<Neck> necks = regularNecks(raster, v[0], v[1], measured, width);
    if (!necks.empty()) cuts.push_back({p, std::move(necks), width});
  }
  for (const Cut& cut : cuts) {
    const PolyVertex a = cut.source->vertices()[0], b = cut.source->vertices()[1];
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    const double ux = (b.x - a.x) / length, uy = (b.y - a.y) / length;
    const double width = cut.width;
    // A dash ends at its cap's centre, half the width before its cap's
    // edge; the narrow stretch spans the white between the caps and the
    // cap tips narrower than a neck (about 0.8 of the half width each).
    const auto half = [&](const Neck& neck) { return std::max(width / 2.0, neck.length / 2.0 + 0.1 * width); };
    double from = 0.0;
    for (size_t k = 0; k <= cut.necks.size(); ++k) {
      const double to = k < cut.necks.size() ? cut.necks[k].centre - half(cut.necks[k]) : length;
      const double next = k < cut.necks.size() ? cut.necks[k].centre + half(cut.necks[k]) : length;
      if (to > from) {
        auto entity = cut.source->clone();
        auto* piece = static_cast<CPolyLine*>(entity.get());
        PolyVertex s = a, t = b;
        s.x = a.x + ux * from;
        s.y = a.y + uy * from;
        t.x = a.x + ux * to;
        t.y = a.y + uy * to;
        piece->editVertices() = {s, t};
        layer.insertBefore(cut.source, std::move(entity));
      }
      from = next;
    }
    layer.remove(cut.source);
  }
  return static_cast<int>(cuts.size());
}

namespace {

// A dot's circle inks a disc: its width is twice its radius.
bool isDot(const model::CEntity& e) {
  if (e.type() != model::EntityType::Circle) return false;
  const auto& c = static_cast<const model::CCircle&>(e);
  return c.radius() > 0.0 && std::fabs(c.getWidth() - 2.0 * c.radius()) < 1e-6;
}

// Ends of straight pieces by cell, for finding the dashes beside a dot.
constexpr double kCell = 16.0;
// A dash beside a dot: its end within kDotReach of the dot and its line
// within kDotOffset px of the dot's centre.
constexpr double kDotReach = 24.0;
constexpr double kDotOffset = 1.5;
// The dot foreseen must lie on ink as wide as a disc of the found dot's size
// (within kDotSlack px), with white along the row within kDotSlack beyond it.
constexpr double kDotSlack = 1.5;
// Dots smaller than this radius are too like salt specks to foresee.
constexpr double kMinDotRadius = 1.5;

}  // namespace

int restoreRowDots(model::CLayer& layer, const raster::CRaster& raster) {
  struct End {
    double x, y;     // this end
    double fx, fy;   // the other end
  };
  std::vector<const model::CCircle*> dots;
  std::unordered_map<int64_t, std::vector<End>> cells;
  const auto key = [](double x, double y) {
    return (static_cast<int64_t>(std::floor(y / kCell)) << 32) ^ static_cast<uint32_t>(static_cast<int32_t>(std::floor(x / kCell)));
  };
  for (const auto& e : layer) {
    if (isDot(*e)) {
      dots.push_back(static_cast<const model::CCircle*>(e.get()));
      continue;
    }
    if (e->type() != model::EntityType::PolyLine) continue;
    const auto& v = static_cast<const CPolyLine&>(*e).vertices();
    if (v.size() != 2 || v[0].hasBulge()) continue;
    cells[key(v[0].x, v[0].y)].push_back({v[0].x, v[0].y, v[1].x, v[1].y});
    cells[key(v[1].x, v[1].y)].push_back({v[1].x, v[1].y, v[0].x, v[0].y});
  }
  if (dots.empty()) return 0;
  const auto dotNear = [&](double x, double y) {
    for (const model::CCircle* d : dots)
      if (std::hypot(d->centre().x - x, d->centre().y - y) <= kDotSlack) return true;
    return false;
  };
  // The dashes whose ends face a dot along their lines, each as (end, unit
  // direction away from the dot, length, gap).
  struct Facing {
    const End* end;
    double ux, uy, gap;
  };
  const auto facing = [&](double cx, double cy, double r) {
    std::vector<Facing> out;
    for (int gy = -1; gy <= 1; ++gy)
      for (int gx = -1; gx <= 1; ++gx) {
        const auto cell = cells.find(key(cx + gx * kCell, cy + gy * kCell));
        if (cell == cells.end()) continue;
        for (const End& end : cell->second) {
          const double gap = std::hypot(end.x - cx, end.y - cy);
          const double lx = end.fx - end.x, ly = end.fy - end.y, length = std::hypot(lx, ly);
          if (gap > kDotReach || gap < r || length < 2.0 * r) continue;
          const double ux = lx / length, uy = ly / length;
          if ((cx - end.x) * ux + (cy - end.y) * uy > -r || std::fabs((cx - end.x) * uy - (cy - end.y) * ux) > kDotOffset)
            continue;
          out.push_back({&end, ux, uy, gap});
        }
      }
    return out;
  };
  std::vector<std::unique_ptr<model::CCircle>> made;
  // A dot restored leads on to the next along its row.
  for (size_t k = 0; k < dots.size(); ++k) {
    const model::CCircle* dot = dots[k];
    const double cx = dot->centre().x, cy = dot->centre().y, r = dot->radius() * 2.0;  // the disc's radius
    if (r < kMinDotRadius) continue;
    const std::vector<Facing> dashes = facing(cx, cy, r);
    // Only a dot between two dashes of one line is known to be a row's.
    bool between = false;
    for (const Facing& a : dashes)
      for (const Facing& b : dashes) between = between || a.ux * b.ux + a.uy * b.uy < -0.99;
    if (!between) continue;
    for (const Facing& f : dashes) {
      const double ux = f.ux, uy = f.uy;
      const double px = f.end->fx + ux * f.gap, py = f.end->fy + uy * f.gap;
      if (dotNear(px, py)) continue;
      // Ink along the row for about the dot's diameter, white beyond.
      bool inside = false;
      const auto ink = [&](double t) { return inkAt(raster, px + ux * t, py + uy * t, inside); };
      double back = 0.0, ahead = 0.0;
      while (back < r + kDotSlack && ink(-back - kAcrossStep)) back += kAcrossStep;
      while (ahead < r + kDotSlack && ink(ahead + kAcrossStep)) ahead += kAcrossStep;
      if (!ink(0.0) || back >= r + kDotSlack || ahead >= r + kDotSlack || back + ahead < 2.0 * r - 1.0) continue;
      // Across the row, the disc's width at least (another stroke may
      // touch it there).
      const double mx = px + ux * (ahead - back) / 2.0, my = py + uy * (ahead - back) / 2.0;
      if (inkReach(raster, mx, my, -uy, ux, r) < r - 0.5 || inkReach(raster, mx, my, uy, -ux, r) < r - 0.5) continue;
      if (dotNear(mx, my)) continue;
      auto restored = std::make_unique<model::CCircle>(model::Point3{mx, my, 0.0}, dot->radius());
      restored->setWidth(dot->getWidth());
      restored->setColour(dot->colour());
      dots.push_back(restored.get());
      made.push_back(std::move(restored));
    }
  }
  for (auto& d : made) layer.append(std::move(d));
  return static_cast<int>(made.size());
}

}  // namespace quillon::postprocess
