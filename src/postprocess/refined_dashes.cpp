#include "postprocess/refined_dashes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/circle.h"
#include "model/polyline.h"
#include "postprocess/line_width.h"
#include "postprocess/stage_common.h"

namespace quillon::postprocess {

using model::CPolyLine;
using model::PolyVertex;

namespace {

// Strokes thinner than this show no neck a pixel grid can tell, only white
// between their dashes. The width measured so far (the smallest of a few
// samples) may be a pixel or so short on a slanted stroke; the ink across
// it, sampled here, decides.
constexpr double kMinWidth = 3.25;
constexpr double kMinMeasured = 0.75;
// Thinner strokes (a pixel's steps, slanted, alias into white) are not
// looked at; a thin stroke's white necks shorter than kThinNeck only count
// in a strict row.
constexpr double kMinThin = 1.75;
constexpr double kThinNeck = 2.0;
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
  if (body < kMinThin) return {};
  // A thin stroke's necks are white: no ink across at all, for longer than
  // a slanted stroke's pixel steps leave.
  const bool thin = body < kMinWidth;
  const double minPeriod = 2.0 * body + kPeriodSlack;
  if (length < 2.0 * minPeriod) return {};
  const double narrow = thin ? 0.0 : kNeckShare * body;
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
    if (from > 0 && to < n - 1 && (thin || narrowest <= kNeckCore * body))
      necks.push_back({(from + to) * kAlongStep / 2.0, stretch});
    i = to;  // on from the narrow stretch's end
  }
  if (necks.empty()) return {};
  // A thin stroke's white necks of a pixel or so are what a slanted
  // stroke's pixel steps may leave too: only a strict row of them, three or
  // more at one spacing, counts.
  const bool strict = thin && std::any_of(necks.begin(), necks.end(), [](const Neck& k) { return k.length < kThinNeck; });
  if (strict && necks.size() < 3) return {};
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
    if (std::fabs(p - k * period) > (strict ? kPeriodSlack / 2.0 : slack) || (strict && k > 1.0)) return {};
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
  // Each straight segment of an open polyline: connecting may have joined
  // a row to the strokes at its ends, and straightening left the row one
  // segment of that polyline.
  struct Cut {
    CPolyLine* source;
    size_t segment;  // from vertex `segment` to the next
    std::vector<Neck> necks;
    double width;
  };
  std::vector<Cut> cuts;
  for (const auto& e : layer) {
    if (e->type() != model::EntityType::PolyLine) continue;
    auto* p = static_cast<CPolyLine*>(e.get());
    const auto& v = p->vertices();
    if (p->isClosed()) continue;
    for (size_t k = 0; k + 1 < v.size(); ++k)
      if (!v[k].hasBulge()) cuts.push_back({p, k, {}, 0.0});
  }
  // Each segment looked at on its own, on all cores; those without necks
  // dropped afterwards, the others kept in layer order.
  forEachRange(cuts.size(), kMinPerPart, [&](size_t, size_t begin, size_t end) {
    for (size_t k = begin; k < end; ++k) {
      Cut& cut = cuts[k];
      const PolyVertex& a = cut.source->vertices()[cut.segment];
      const PolyVertex& b = cut.source->vertices()[cut.segment + 1];
      const double measured = a.startWidth > 0.0 ? a.startWidth : widthAcross(raster, a, b);
      if (measured >= kMinMeasured) cut.necks = regularNecks(raster, a, b, measured, cut.width);
    }
  });
  cuts.erase(std::remove_if(cuts.begin(), cuts.end(), [](const Cut& cut) { return cut.necks.empty(); }), cuts.end());
  // The dashes of one cut segment, before `before`.
  const auto cutSegment = [&](const Cut& cut, model::CEntity* before) {
    const PolyVertex a = cut.source->vertices()[cut.segment], b = cut.source->vertices()[cut.segment + 1];
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    const double ux = (b.x - a.x) / length, uy = (b.y - a.y) / length;
    const double width = cut.width;
    // A dash ends at its cap's centre, half the width before its cap's
    // edge; the narrow stretch spans the white between the caps and the
    // cap tips narrower than a neck (about 0.8 of the half width each).
    // A thin stroke's white stretch is the white between its caps.
    const auto half = [&](const Neck& neck) {
      return width < kMinWidth ? (neck.length + width) / 2.0 : std::max(width / 2.0, neck.length / 2.0 + 0.1 * width);
    };
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
        layer.insertBefore(before, std::move(entity));
      }
      from = next;
    }
  };
  // A polyline with a cut segment: the runs of vertices between its cut
  // segments stay polylines of their own.
  int polylines = 0;
  for (size_t i = 0; i < cuts.size(); ++polylines) {
    CPolyLine* source = cuts[i].source;
    const auto& v = source->vertices();
    size_t run = 0;
    const auto keepRun = [&](size_t last) {
      if (last <= run) return;
      auto entity = source->clone();
      static_cast<CPolyLine*>(entity.get())->editVertices().assign(v.begin() + static_cast<std::ptrdiff_t>(run),
                                                                     v.begin() + static_cast<std::ptrdiff_t>(last) + 1);
      layer.insertBefore(source, std::move(entity));
    };
    for (; i < cuts.size() && cuts[i].source == source; ++i) {
      keepRun(cuts[i].segment);
      cutSegment(cuts[i], source);
      run = cuts[i].segment + 1;
    }
    keepRun(v.size() - 1);
    layer.remove(source);
  }
  return polylines;
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
  std::vector<End> ends;
  for (const auto& e : layer) {
    if (isDot(*e)) {
      dots.push_back(static_cast<const model::CCircle*>(e.get()));
      continue;
    }
    if (e->type() != model::EntityType::PolyLine) continue;
    const auto& v = static_cast<const CPolyLine&>(*e).vertices();
    if (v.size() != 2 || v[0].hasBulge()) continue;
    ends.push_back({v[0].x, v[0].y, v[1].x, v[1].y});
    ends.push_back({v[1].x, v[1].y, v[0].x, v[0].y});
  }
  if (dots.empty()) return 0;
  const auto cellOf = [](double c) { return static_cast<int>(std::floor(c / kCell)); };
  CellLists cells;
  for (const End& end : ends) cells.add(cellOf(end.x), cellOf(end.y));
  cells.finish();
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
        for (const uint32_t i : cells.at(cellOf(cx + gx * kCell), cellOf(cy + gy * kCell))) {
          const End& end = ends[i];
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

namespace {

// Rows of dashes: straight pieces whose ends lie within kRowOffset px of
// each other's lines, turned by no more than asin(kRowTurn), kRowReach px
// apart at most (a gap, a dot and a gap, or a dash hidden under another
// stroke), found through a grid of their ends.
constexpr double kRowCell = 48.0;
constexpr double kRowReach = 45.0;
constexpr double kRowOffset = 1.5;
constexpr double kRowTurn = 0.07;
// Widths measured on dashes that touch other ink stray: neighbours in a row
// differ by no more than this, pixels.
constexpr double kRowNeighbourWidth = 3.0;
// Pieces up to this long may be dashes joined together or run on into a
// crossing stroke; up to kMaxDashLength a dash of their own.
constexpr double kMaxRowPiece = 400.0;
constexpr double kMaxDashLength = 64.0;
constexpr double kMaxRowWidth = 12.0;
// A row's dashes are alike in length (kDashLengthSlack px or
// kDashLengthShare) and width, and their middles lie within kRowFit px of
// the spacing fitted to them.
constexpr double kDashLengthSlack = 2.0;
constexpr double kDashLengthShare = 0.15;
constexpr double kRowWidthSlack = 1.5;
constexpr double kRowFit = 1.5;
constexpr int kMinRowDashes = 3;
// White along the centre line between two dashes: a gap that is open.
constexpr double kOpenGap = 0.5;
constexpr double kGapNeck = 0.5;
// A dash foreseen beyond the found ones: at most this many on either side.
constexpr int kMaxForeseen = 200;
constexpr int kMaxHidden = 4;
// A piece of the row found where the row says a dash lies: both ends within
// half a pixel more than kSameDash of the foreseen one's; a dot's centre
// within kSameDot.
constexpr double kSameDash = 1.5;
constexpr double kSameDot = 1.5;
// A dash cut short where its line ends is this long at least (a shorter
// one is round: a dot, or a speck).
constexpr double kMinStub = 1.0;
// A stub's ink reaches behind its cap's centre half the width within this.
constexpr double kStubCapSlack = 1.0;
// Rows thinner than this leave a stub a speck's few pixels.
constexpr double kMinStubWidth = 2.5;
// A row of hairlines is probed as this wide, pixels.
constexpr double kHairlineRow = 1.0;
// Rows thinner than this are a pixel or two wide: their fitted line may miss
// a slanted dash's pixels.
constexpr double kThinRow = 2.5;

struct RowPiece {
  CPolyLine* line;
  double ax, ay, bx, by;
  double length, width;
};

int rootOf(std::vector<int>& parent, int i) {
  while (parent[static_cast<size_t>(i)] != i) {
    parent[static_cast<size_t>(i)] = parent[static_cast<size_t>(parent[static_cast<size_t>(i)])];
    i = parent[static_cast<size_t>(i)];
  }
  return i;
}

double offLine(const RowPiece& p, double x, double y) {
  return std::fabs((x - p.ax) * (p.by - p.ay) - (y - p.ay) * (p.bx - p.ax)) / p.length;
}

bool rowNeighbours(const RowPiece& p, const RowPiece& q) {
  if (p.width > 0.0 && q.width > 0.0 && std::fabs(p.width - q.width) > kRowNeighbourWidth) return false;
  const double cross = ((p.bx - p.ax) * (q.by - q.ay) - (p.by - p.ay) * (q.bx - q.ax)) / (p.length * q.length);
  if (std::fabs(cross) > kRowTurn) return false;
  // A short piece's direction is a few degrees off its row's: the ends of
  // the other may lie off its line by that much times their distance.
  const auto off = [](const RowPiece& a, double x, double y) {
    const double distance = std::hypot(x - (a.ax + a.bx) / 2.0, y - (a.ay + a.by) / 2.0);
    return offLine(a, x, y) > kRowOffset + kRowTurn * distance;
  };
  if (off(p, q.ax, q.ay) || off(p, q.bx, q.by) || off(q, p.ax, p.ay) || off(q, p.bx, p.by)) return false;
  const double gap = std::min({std::hypot(p.ax - q.ax, p.ay - q.ay), std::hypot(p.ax - q.bx, p.ay - q.by),
                               std::hypot(p.bx - q.ax, p.by - q.ay), std::hypot(p.bx - q.bx, p.by - q.by)});
  return gap <= kRowReach;
}

double medianOf(std::vector<double> values) {
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>((values.size() - 1) / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// One row: its line (origin and unit direction), the middle of dash 0, the
// spacing, the dashes' length and width.
struct Row {
  double ox, oy, ux, uy;
  double first, period, length, width;
  double x(double s) const { return ox + ux * s; }
  double y(double s) const { return oy + uy * s; }
  double middle(long k) const { return first + static_cast<double>(k) * period; }
};

// A piece of a row: from, to along the row's line.
struct Span {
  int piece;
  double from, to;
};

// What one group's row foresees, worked out without the other rows: the
// dashes and dots to put where no earlier row put one.
struct RowPlan {
  bool valid = false;
  Row row{};
  std::vector<Span> spans;
  std::vector<bool> keptSpan;  // found dashes, and strokes reaching beyond the row
  const CPolyLine* model = nullptr;  // the dashes' attributes
  double width = 0.0;
  std::vector<std::pair<double, double>> dashes;  // from, to: foreseen dashes, then the stubs
  std::vector<std::pair<double, double>> dots;    // centres
  double dotRadius = 0.0;
  const model::CCircle* dotSource = nullptr;  // the dots' colour
};
// Rows worth a thread of their own (each probes its gaps and foreseen
// dashes, tens of microseconds).
constexpr size_t kMinRowsPerPart = 32;

// Fits middle = first + k * period to the dashes' middles (sorted), k
// counted from the spacing `guess`; false when the spacings are no
// multiples of one period or too few dashes fit it. `ks` answers each
// dash's k (−1: off the rhythm).
bool fitRhythmFrom(const std::vector<double>& middles, const std::vector<double>& spacings, double guess, double length,
                   Row& row, std::vector<long>& ks) {
  if (guess < length + 1.0) return false;
  ks.assign(middles.size(), 0);
  for (size_t i = 1; i < middles.size(); ++i) {
    const long step = std::lround(spacings[i - 1] / guess);
    if (step < 1) return false;
    ks[i] = ks[i - 1] + step;
  }
  std::vector<bool> used(middles.size(), true);
  for (int round = 0; round < 2; ++round) {
    double n = 0, sk = 0, sm = 0, skk = 0, skm = 0;
    for (size_t i = 0; i < middles.size(); ++i) {
      if (!used[i]) continue;
      const double k = static_cast<double>(ks[i]);
      n += 1;
      sk += k;
      sm += middles[i];
      skk += k * k;
      skm += k * middles[i];
    }
    const double det = n * skk - sk * sk;
    if (n < kMinRowDashes || det <= 0.0) return false;
    row.period = (n * skm - sk * sm) / det;
    row.first = (sm - row.period * sk) / n;
    if (row.period < length + 1.0) return false;
    int off = 0;
    for (size_t i = 0; i < middles.size(); ++i) {
      used[i] = std::fabs(middles[i] - row.middle(ks[i])) <= kRowFit;
      off += used[i] ? 0 : 1;
    }
    // A few dashes off the rhythm (a piece run on at one end) are left out
    // of the fit and of the row.
    if (10 * off > 3 * static_cast<int>(middles.size())) return false;
    if (off == 0) break;
  }
  for (size_t i = 0; i < middles.size(); ++i)
    if (!used[i]) ks[i] = -1;
  return true;
}

// The rhythm fitted from the lower median spacing, or where few dashes
// were found alone (the median spacing spans two or more periods) from the
// shortest spacing.
bool fitRhythm(const std::vector<double>& middles, double length, Row& row, std::vector<long>& ks) {
  std::vector<double> spacings;
  for (size_t i = 1; i < middles.size(); ++i) spacings.push_back(middles[i] - middles[i - 1]);
  const double median = medianOf(spacings), shortest = *std::min_element(spacings.begin(), spacings.end());
  return fitRhythmFrom(middles, spacings, median, length, row, ks) ||
         (shortest < median && fitRhythmFrom(middles, spacings, shortest, length, row, ks));
}

}  // namespace

int completeDashRows(model::CLayer& layer, const raster::CRaster& raster) {
  std::vector<RowPiece> pieces;
  std::vector<model::CCircle*> dots;
  for (const auto& e : layer) {
    if (isDot(*e)) {
      dots.push_back(static_cast<model::CCircle*>(e.get()));
      continue;
    }
    if (e->type() != model::EntityType::PolyLine) continue;
    auto* p = static_cast<CPolyLine*>(e.get());
    const auto& v = p->vertices();
    if (v.size() != 2 || p->isClosed() || v[0].hasBulge()) continue;
    const double length = std::hypot(v[1].x - v[0].x, v[1].y - v[0].y);
    if (length < 2.0 || length > kMaxRowPiece || v[0].startWidth > kMaxRowWidth) continue;
    pieces.push_back({p, v[0].x, v[0].y, v[1].x, v[1].y, length, v[0].startWidth});
  }
  if (pieces.size() < kMinRowDashes) return 0;
  const auto key = [](double x, double y) {
    return (static_cast<int64_t>(std::floor(y / kRowCell)) << 32) ^
           static_cast<uint32_t>(static_cast<int32_t>(std::floor(x / kRowCell)));
  };
  // The pieces' ends by cell: item 2i is piece i's first end, 2i + 1 its last.
  const auto cellOf = [](double c) { return static_cast<int>(std::floor(c / kRowCell)); };
  CellLists cells;
  for (const RowPiece& p : pieces) {
    cells.add(cellOf(p.ax), cellOf(p.ay));
    cells.add(cellOf(p.bx), cellOf(p.by));
  }
  cells.finish();
  std::unordered_map<int64_t, std::vector<model::CCircle*>> dotCells;
  for (model::CCircle* d : dots) dotCells[key(d->centre().x, d->centre().y)].push_back(d);
  // The dots put back: rows of one dash-dot line found apart must not put
  // one twice.
  std::unordered_map<int64_t, std::vector<model::CCircle*>> placedDotCells;
  const auto dotWithin = [&](const std::unordered_map<int64_t, std::vector<model::CCircle*>>& grid, double x, double y,
                             double reach) -> const model::CCircle* {
    for (int gy = -1; gy <= 1; ++gy)
      for (int gx = -1; gx <= 1; ++gx) {
        const auto cell = grid.find(key(x + gx * kRowCell, y + gy * kRowCell));
        if (cell == grid.end()) continue;
        for (const model::CCircle* d : cell->second)
          if (std::hypot(d->centre().x - x, d->centre().y - y) <= reach) return d;
      }
    return nullptr;
  };
  std::vector<int> parent(pieces.size());
  for (size_t i = 0; i < pieces.size(); ++i) parent[i] = static_cast<int>(i);
  // The neighbours of each piece, found in ranges of pieces on all cores
  // and put together in the order one loop gives; the rows are joined in
  // that order (a joined row's root is its first piece, however found).
  std::vector<std::vector<std::pair<int, int>>> neighboursIn(rangeParts(pieces.size(), kMinPerPart));
  forEachRange(pieces.size(), kMinPerPart, [&](size_t part, size_t begin, size_t last) {
    for (size_t i = begin; i < last; ++i) {
      const RowPiece& p = pieces[i];
      // Short pieces only seed rows; long ones join the row they touch.
      if (p.length > kMaxDashLength) continue;
      for (const double* end : {&p.ax, &p.bx}) {
        const double ex = end[0], ey = end == &p.ax ? p.ay : p.by;
        for (int gy = -1; gy <= 1; ++gy)
          for (int gx = -1; gx <= 1; ++gx) {
            for (const uint32_t item : cells.at(cellOf(ex + gx * kRowCell), cellOf(ey + gy * kRowCell))) {
              const int j = static_cast<int>(item / 2);
              if (j != static_cast<int>(i) && rowNeighbours(p, pieces[static_cast<size_t>(j)]))
                neighboursIn[part].emplace_back(static_cast<int>(i), j);
            }
          }
      }
    }
  });
  for (const auto& [i, j] : concatenated(std::move(neighboursIn))) {
    const int a = rootOf(parent, i), b = rootOf(parent, j);
    if (a != b) parent[static_cast<size_t>(std::max(a, b))] = std::min(a, b);
  }
  // Most pieces are rows of one: only groups of three or more are gathered.
  std::vector<int> sizes(pieces.size(), 0);
  for (size_t i = 0; i < pieces.size(); ++i) ++sizes[static_cast<size_t>(rootOf(parent, static_cast<int>(i)))];
  // In the layer's order, so that the result does not hang on hashing.
  std::vector<std::vector<int>> groups;
  std::vector<int> slot(pieces.size(), -1);
  for (size_t i = 0; i < pieces.size(); ++i) {
    const auto root = static_cast<size_t>(rootOf(parent, static_cast<int>(i)));
    if (sizes[root] < kMinRowDashes) continue;
    if (slot[root] < 0) {
      slot[root] = static_cast<int>(groups.size());
      groups.emplace_back();
    }
    groups[static_cast<size_t>(slot[root])].push_back(static_cast<int>(i));
  }

  // Whether a piece of any row, or a dash placed, ends within kSameDash of
  // both (ax, ay) and (bx, by): angle adjustment may have turned a found
  // dash off its row's line, or out of its row's group.
  struct Ends {
    double ax, ay, bx, by;
  };
  std::vector<Ends> placedEnds;
  std::unordered_map<int64_t, std::vector<size_t>> placedCells;
  const auto dashThere = [&](double ax, double ay, double bx, double by) {
    const auto same = [&](const Ends& e) {
      const double near = kSameDash + 0.5;
      return (std::hypot(e.ax - ax, e.ay - ay) <= near && std::hypot(e.bx - bx, e.by - by) <= near) ||
             (std::hypot(e.ax - bx, e.ay - by) <= near && std::hypot(e.bx - ax, e.by - ay) <= near);
    };
    for (int gy = -1; gy <= 1; ++gy)
      for (int gx = -1; gx <= 1; ++gx) {
        const double x = ax + gx * kRowCell, y = ay + gy * kRowCell;
        for (const uint32_t item : cells.at(cellOf(x), cellOf(y))) {
          const RowPiece& p = pieces[item / 2];
          if (same({p.ax, p.ay, p.bx, p.by})) return true;
        }
        const int64_t cell = key(x, y);
        if (const auto found = placedCells.find(cell); found != placedCells.end())
          for (const size_t j : found->second)
            if (same(placedEnds[j])) return true;
      }
    return false;
  };
  std::vector<CPolyLine*> removed;
  std::vector<std::unique_ptr<model::CEntity>> made;
  int added = 0;
  const auto planRow = [&](const std::vector<int>& members, RowPlan& plan) {
    if (members.size() < kMinRowDashes) return;
    // The row's line: through the ends of its short pieces.
    double n = 0, mx = 0, my = 0;
    for (const int i : members) {
      const RowPiece& p = pieces[static_cast<size_t>(i)];
      if (p.length > kMaxDashLength) continue;
      mx += p.ax + p.bx;
      my += p.ay + p.by;
      n += 2;
    }
    if (n < 2 * kMinRowDashes) return;
    mx /= n;
    my /= n;
    double sxx = 0, sxy = 0, syy = 0;
    for (const int i : members) {
      const RowPiece& p = pieces[static_cast<size_t>(i)];
      if (p.length > kMaxDashLength) continue;
      for (const auto& [x, y] : {std::pair{p.ax, p.ay}, std::pair{p.bx, p.by}}) {
        sxx += (x - mx) * (x - mx);
        sxy += (x - mx) * (y - my);
        syy += (y - my) * (y - my);
      }
    }
    const double angle = 0.5 * std::atan2(2.0 * sxy, sxx - syy);
    Row row{mx, my, std::cos(angle), std::sin(angle), 0, 0, 0, 0};
    const auto along = [&](double x, double y) { return (x - row.ox) * row.ux + (y - row.oy) * row.uy; };
    const auto across = [&](double x, double y) { return std::fabs((x - row.ox) * row.uy - (y - row.oy) * row.ux); };
    std::vector<Span>& spans = plan.spans;
    std::vector<double> lengths, widths;
    for (const int i : members) {
      const RowPiece& p = pieces[static_cast<size_t>(i)];
      if (across(p.ax, p.ay) > kRowOffset || across(p.bx, p.by) > kRowOffset) continue;
      const double s = along(p.ax, p.ay), t = along(p.bx, p.by);
      spans.push_back({i, std::min(s, t), std::max(s, t)});
      if (p.length <= kMaxDashLength) lengths.push_back(p.length);
    }
    if (lengths.size() < kMinRowDashes) return;
    const auto alikeTo = [](double a, double length) {
      return std::fabs(a - length) <= std::max(kDashLengthSlack, kDashLengthShare * length);
    };
    const auto alikeCount = [&](double length) {
      return std::count_if(lengths.begin(), lengths.end(), [&](double a) { return alikeTo(a, length); });
    };
    row.length = medianOf(lengths);
    // Dashes joined in twos may outnumber those found alone: then the
    // length most pieces are alike to (the shortest of those) is the dash's.
    if (alikeCount(row.length) < kMinRowDashes) {
      std::sort(lengths.begin(), lengths.end());
      for (const double length : lengths)
        if (alikeCount(length) > alikeCount(row.length)) row.length = length;
    }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.from + a.to < b.from + b.to; });
    std::vector<double> middles;
    std::vector<size_t> dashSpans;
    for (size_t k = 0; k < spans.size(); ++k) {
      const RowPiece& p = pieces[static_cast<size_t>(spans[k].piece)];
      if (!alikeTo(p.length, row.length)) continue;
      middles.push_back((spans[k].from + spans[k].to) / 2.0);
      dashSpans.push_back(k);
      if (p.width > 0.0) widths.push_back(p.width);
    }
    if (middles.size() < kMinRowDashes) return;
    std::vector<long> ks;
    if (!fitRhythm(middles, row.length, row, ks)) return;
    // Most dashes measured as hairlines (no width): the few widths measured
    // are a crossing's, and the row is probed as a pixel wide.
    const bool hairline = 2 * widths.size() < middles.size();
    if (hairline && !widths.empty()) {
      row.width = kHairlineRow;
    } else {
      const RowPiece& p = pieces[static_cast<size_t>(spans[dashSpans[0]].piece)];
      row.width = widths.empty() ? widthAcross(raster, p.line->vertices()[0], p.line->vertices()[1]) : medianOf(widths);
    }
    if (row.width <= 0.0) return;
    bool inside = false;
    const auto inkOn = [&](double s) { return inkAt(raster, row.x(s), row.y(s), inside); };
    const double nx = -row.uy, ny = row.ux;
    // Most gaps between found neighbours are open: a row, not a stroke
    // broken at regular crossings. A gap drawn about as long as the pen is
    // wide leaves its dashes' caps touching, with no white between, but a
    // neck no more than kGapNeck of the width across; a crossing stroke
    // leaves ink wider than the row there.
    long low = -1, high = -1;
    int gaps = 0, open = 0;
    for (size_t i = 0; i < ks.size(); ++i) {
      if (ks[i] < 0) continue;
      low = low < 0 ? ks[i] : std::min(low, ks[i]);
      high = std::max(high, ks[i]);
    }
    const auto neckWithin = [&](double from, double to) {
      const double reach = row.width / 2.0 + 3.0;
      for (double s = from; s <= to; s += 0.5) {
        const double x = row.x(s), y = row.y(s);
        const double left = inkReach(raster, x, y, -row.uy, row.ux, reach), right = inkReach(raster, x, y, row.uy, -row.ux, reach);
        if (left < 0.0 || right < 0.0 || left + right <= kGapNeck * row.width) return true;
      }
      return false;
    };
    // The gap after dash k.
    const auto openAfter = [&](long k) {
      const double from = row.middle(k) + row.length / 2.0, to = row.middle(k + 1) - row.length / 2.0;
      double run = 0.0, longest = 0.0;
      for (double s = from; s <= to; s += 0.5) {
        run = inkOn(s) ? 0.0 : run + 0.5;
        longest = std::max(longest, run);
      }
      return longest >= kOpenGap || neckWithin(from, to);
    };
    for (size_t i = 0; i + 1 < ks.size(); ++i) {
      if (ks[i] < 0 || ks[i + 1] != ks[i] + 1) continue;
      ++gaps;
      if (openAfter(ks[i])) ++open;
    }
    if (gaps < 2) {
      // Too few found neighbours: every gap the rhythm foresees between
      // the first and last dash found.
      gaps = 0;
      open = 0;
      for (long k = low; k < high; ++k) {
        ++gaps;
        if (openAfter(k)) ++open;
      }
    }
    if (open < 2 || 2 * open < gaps) return;
    // Dash k as the row foresees it: ink all along its centre line (kInk),
    // and across it, at most of its length, no wider than the row's dashes
    // (kNarrow); a dash crossed by or lying along a wider stroke is ink but
    // not narrow, or narrow in part (kPartly) where it runs into a stroke.
    enum Support { kNone, kInk, kPartly, kNarrow };
    // A thin row's line, fitted to its pieces, runs up to a pixel beside the
    // pixels of a slanted dash: ink in a pixel next to the line's counts.
    const bool thin = row.width < kThinRow;
    const auto inkBeside = [&](double s) -> std::optional<std::pair<double, double>> {
      const double x = row.x(s), y = row.y(s);
      if (inkAt(raster, x, y, inside)) return std::pair{x, y};
      if (thin)
        for (const auto& [dx, dy] : {std::pair{1.0, 0.0}, std::pair{-1.0, 0.0}, std::pair{0.0, 1.0}, std::pair{0.0, -1.0}})
          if (inkAt(raster, x + dx, y + dy, inside)) return std::pair{x + dx, y + dy};
      return std::nullopt;
    };
    const auto support = [&](long k) {
      const double from = row.middle(k) - row.length / 2.0, to = row.middle(k) + row.length / 2.0;
      for (double s = from; s <= to; s += 1.0)
        if (!inkBeside(s)) return kNone;
      int narrow = 0, samples = 0;
      for (double s = from + row.width / 2.0; s <= to - row.width / 2.0 + 1e-9; s += 2.0) {
        const auto [x, y] = inkBeside(s).value_or(std::pair{row.x(s), row.y(s)});
        const double reach = row.width / 2.0 + 3.0;
        const double left = inkReach(raster, x, y, nx, ny, reach), right = inkReach(raster, x, y, -nx, -ny, reach);
        ++samples;
        if (left >= 0.0 && right >= 0.0 && left + right <= row.width + kRowWidthSlack) ++narrow;
      }
      return samples == 0 || 2 * narrow >= samples ? kNarrow : narrow > 0 ? kPartly : kInk;
    };
    // The row goes on beyond its found dashes to the last narrow dash
    // foreseen, over at most kMaxHidden dashes in a row that are not
    // narrow, and to one more that is narrow in part past an open gap: an
    // end dash that runs into a crossing stroke.
    const auto reach = [&](long from, long step) {
      long last = from, hidden = 0;
      for (long k = from + step; std::labs(k - from) <= kMaxForeseen; k += step) {
        const Support at = support(k);
        if (at == kNone || (at != kNarrow && ++hidden > kMaxHidden)) break;
        if (at == kNarrow) {
          last = k;
          hidden = 0;
        }
      }
      if (support(last + step) == kPartly && openAfter(step > 0 ? last : last - 1)) last += step;
      return last;
    };
    low = reach(low, -1);
    high = reach(high, 1);
    // Where the line ends, its last dash is cut short: beyond the row's end
    // dash, ink from the next dash's cap on (`start`, walking along `dir`),
    // as wide as the row's dashes, for less than a dash, and white after it.
    // Thinning leaves such a stub no path of its own, or joins it to the
    // end dash; a piece that ends on it is the row's, not a stroke beyond.
    const auto stubAt = [&](double start, double dir) -> std::optional<std::pair<double, double>> {
      if (row.width < kMinStubWidth) return std::nullopt;
      double reach = 0.0;
      while (reach <= row.length && inkOn(start + dir * (reach + 0.5))) reach += 0.5;
      if (!inkOn(start) || reach > row.length || reach < row.width / 2.0 + kMinStub) return std::nullopt;
      for (double t = reach + 0.5; t <= row.length + row.width / 2.0; t += 0.5)
        if (inkOn(start + dir * t)) return std::nullopt;
      // Behind `start` the ink is the stub's cap, or runs on into the row's
      // end dash when their caps touch: not a speck that happens to lie there.
      const double gap = row.period - row.length;
      double back = 0.0;
      while (back <= gap && inkOn(start - dir * (back + 0.5))) back += 0.5;
      if (std::fabs(back - row.width / 2.0) > kStubCapSlack && back < gap - row.width / 2.0 - 0.5) return std::nullopt;
      const double length = reach - row.width / 2.0, middle = start + dir * length / 2.0;
      const double x = row.x(middle), y = row.y(middle), side = row.width / 2.0 + 3.0;
      const double left = inkReach(raster, x, y, nx, ny, side), right = inkReach(raster, x, y, -nx, -ny, side);
      if (left < 0.0 || right < 0.0 || std::fabs(left + right - row.width) > kRowWidthSlack) return std::nullopt;
      return std::pair{std::min(start, start + dir * length), std::max(start, start + dir * length)};
    };
    std::optional<std::pair<double, double>> stubLow, stubHigh;
    if (support(high + 1) == kNone) stubHigh = stubAt(row.middle(high + 1) - row.length / 2.0, 1.0);
    if (support(low - 1) == kNone) stubLow = stubAt(row.middle(low - 1) + row.length / 2.0, -1.0);
    const double near = kSameDash + 0.5;
    const double rowFrom = stubLow ? std::min(row.middle(low) - row.period, stubLow->first - near) : row.middle(low) - row.period;
    const double rowTo = stubHigh ? std::max(row.middle(high) + row.period, stubHigh->second + near) : row.middle(high) + row.period;
    // Pieces reaching beyond the row are strokes of their own: no dash is
    // put over them.
    std::vector<bool> matched(static_cast<size_t>(high - low + 1), false);
    std::vector<std::pair<double, double>> kept;
    std::vector<bool> keptSpan(spans.size(), false);
    for (size_t i = 0; i < spans.size(); ++i) {
      const Span& span = spans[i];
      const double middle = (span.from + span.to) / 2.0;
      const long k = std::lround((middle - row.first) / row.period);
      if (k >= low && k <= high && std::fabs(span.from - (row.middle(k) - row.length / 2.0)) <= near &&
          std::fabs(span.to - (row.middle(k) + row.length / 2.0)) <= near) {
        matched[static_cast<size_t>(k - low)] = true;
        keptSpan[i] = true;
      } else if (span.from < rowFrom || span.to > rowTo) {
        keptSpan[i] = true;
      }
      if (keptSpan[i]) kept.emplace_back(span.from, span.to);
    }
    const auto overlapsKept = [&](double from, double to) {
      for (const auto& [a, b] : kept)
        if (std::min(b, to) - std::max(a, from) > 1.0) return true;
      return false;
    };
    plan.model = pieces[static_cast<size_t>(spans[dashSpans[0]].piece)].line;
    plan.width = hairline ? 0.0 : row.width;
    for (long k = low; k <= high; ++k) {
      if (matched[static_cast<size_t>(k - low)]) continue;
      const double from = row.middle(k) - row.length / 2.0, to = row.middle(k) + row.length / 2.0;
      if (!overlapsKept(from, to) && support(k) != kNone) plan.dashes.emplace_back(from, to);
    }
    for (const auto& stub : {stubLow, stubHigh})
      if (stub && !overlapsKept(stub->first, stub->second)) plan.dashes.push_back(*stub);
    plan.row = row;
    plan.keptSpan = std::move(keptSpan);
    plan.valid = true;
    // Dots: the row's gaps hold them when two or more are found there.
    std::vector<const model::CCircle*> rowDots;
    const auto dotAtGap = [&](long k) -> const model::CCircle* {
      const double s = row.middle(k) + row.period / 2.0;
      return dotWithin(dotCells, row.x(s), row.y(s), kSameDot);
    };
    // A gap whose middle is ink with white along the row between it and
    // the dash on one side (both, inside the row) holds a dot.
    const auto whiteWithin = [&](double from, double to) {
      double run = 0.0;
      for (double s = from; s <= to; s += 0.5) {
        run = inkOn(s) ? 0.0 : run + 0.5;
        if (run >= kOpenGap) return true;
      }
      return false;
    };
    const auto dotLike = [&](long k, bool before, bool after) {
      const double s = row.middle(k) + row.period / 2.0, half = row.width / 2.0;
      return inkOn(s) && (!before || whiteWithin(row.middle(k) + row.length / 2.0 + half, s - half)) &&
             (!after || whiteWithin(s + half, row.middle(k + 1) - row.length / 2.0 - half));
    };
    std::vector<long> empty;
    int likely = 0;
    for (long k = low; k < high; ++k) {
      if (const model::CCircle* d = dotAtGap(k)) {
        rowDots.push_back(d);
      } else {
        empty.push_back(k);
        likely += dotLike(k, true, true) ? 1 : 0;
      }
    }
    if (rowDots.size() < 2 && (rowDots.empty() || likely < 2)) return;
    std::vector<double> radii;
    for (const model::CCircle* d : rowDots) radii.push_back(d->radius());
    const double radius = medianOf(radii);
    // Beyond the row's first and last dash a dot may follow too.
    if (!dotAtGap(low - 1) && dotLike(low - 1, false, true)) empty.push_back(low - 1);
    if (!dotAtGap(high) && dotLike(high, true, false)) empty.push_back(high);
    for (const long k : empty) {
      const double s = row.middle(k) + row.period / 2.0, x = row.x(s), y = row.y(s);
      // A dot whose disc (twice the radius) holds this centre is this one.
      if (!inkOn(s) || dotWithin(dotCells, x, y, 2.0 * radius)) continue;
      plan.dots.emplace_back(x, y);
    }
    plan.dotRadius = radius;
    plan.dotSource = rowDots[0];
  };

  // Each group's row worked out on its own, in ranges of groups on all
  // cores; whether an earlier row put a dash or a dot there already is
  // asked after, in the groups' order.
  std::vector<RowPlan> plans(groups.size());
  forEachRange(groups.size(), kMinRowsPerPart, [&](size_t, size_t begin, size_t end) {
    for (size_t g = begin; g < end; ++g) planRow(groups[g], plans[g]);
  });
  for (const RowPlan& plan : plans) {
    if (!plan.valid) continue;
    const Row& row = plan.row;
    std::vector<std::pair<double, double>> placed;
    for (const auto& [from, to] : plan.dashes) {
      if (dashThere(row.x(from), row.y(from), row.x(to), row.y(to))) continue;
      auto entity = plan.model->clone();
      auto* dash = static_cast<CPolyLine*>(entity.get());
      PolyVertex s = plan.model->vertices()[0], t = plan.model->vertices()[1];
      s.x = row.x(from);
      s.y = row.y(from);
      t.x = row.x(to);
      t.y = row.y(to);
      s.startWidth = s.endWidth = t.startWidth = t.endWidth = plan.width;
      dash->editVertices() = {s, t};
      made.push_back(std::move(entity));
      placedCells[key(s.x, s.y)].push_back(placedEnds.size());
      placedEnds.push_back({s.x, s.y, t.x, t.y});
      placed.emplace_back(from, to);
      ++added;
    }
    // The row's other pieces over a dash placed were that dash run on or
    // joined to others.
    for (size_t i = 0; i < plan.spans.size(); ++i) {
      if (plan.keptSpan[i]) continue;
      const Span& span = plan.spans[i];
      for (const auto& [a, b] : placed)
        if (std::min(b, span.to) - std::max(a, span.from) > 1.0) {
          removed.push_back(pieces[static_cast<size_t>(span.piece)].line);
          break;
        }
    }
    for (const auto& [x, y] : plan.dots) {
      if (dotWithin(placedDotCells, x, y, 2.0 * plan.dotRadius)) continue;
      auto dot = std::make_unique<model::CCircle>(model::Point3{x, y, 0.0}, plan.dotRadius);
      dot->setWidth(2.0 * plan.dotRadius);
      dot->setColour(plan.dotSource->colour());
      placedDotCells[key(x, y)].push_back(dot.get());
      made.push_back(std::move(dot));
      ++added;
    }
  }

  for (CPolyLine* p : removed) layer.remove(p);
  for (auto& e : made) layer.append(std::move(e));
  return added;
}

}  // namespace quillon::postprocess
