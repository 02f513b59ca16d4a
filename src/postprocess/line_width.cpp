#include "postprocess/line_width.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "model/arc.h"
#include "model/circle.h"
#include "postprocess/stage_common.h"

namespace quillon::postprocess {

namespace {

using model::PolyVertex;

// A segment shorter than this is sampled at its two ends only.
constexpr double kShortSegment = 5.0;
// Samples further than this share of the mean from it make the segment take
// its smallest sample: a crossing stroke widens single samples.
constexpr double kSampleSpread = 0.1;
// Refined widths: at most this many samples along a segment, about this
// far apart, and how far a sample may lie from their median (pixels, or a
// share of the median, the larger) and still count.
constexpr int kRefinedSamples = 15;
constexpr double kRefinedSpacing = 3.0;
constexpr double kRefinedOutlier = 1.5;
constexpr double kRefinedSpread = 0.25;
// Widths at or below this are no width.
constexpr double kNoWidth = 0.01;
// A two-vertex polyline no longer than this share of its width is a blob.
constexpr double kBlobRatio = 0.95;
// The strip around the next segment within which an end vertex is folded
// away, as a share of that segment's width.
constexpr double kBandRatio = 0.6;
// Free ends: the shortest end segment whose direction is trusted, the
// probe step, the reach beyond the stroke width, how much further than half
// the width the ink around a cap's centre may reach, and the smallest move
// worth making.
constexpr double kCapMinSegment = 2.0;
constexpr double kCapProbeStep = 0.25;
constexpr double kCapSlack = 3.0;
constexpr double kCapTolerance = 1.5;
constexpr double kCapMinShift = 0.25;
// A cap touched by other ink on one side: its free side's edge lies at
// least the radius less this from the centre, pixels (a chord of a cap
// whose centre lies further back reaches less).
constexpr double kCapRound = 1.0;
// Ends of segments narrower than this (hairlines, widths not measured) keep
// their place in the last pass: the cap's size is not known well enough.
constexpr double kMeasuredCap = 1.5;
// Refined free ends may walk this far beyond the cap's radius through ink
// to a cap; the grid cell and corridor slack of the check for other
// polylines ending along such a walk, and the least cosine between their
// end segment and the walk (25°).
constexpr double kFarWalk = 32.0;
constexpr double kClaimCell = 16.0;
constexpr double kClaimSlack = 1.0;
constexpr double kClaimCos = 0.906;

struct Pixel {
  int column;
  int row;
};

// The pixel a drawing point was traced from (y up in the drawing, rows down
// in the raster).
Pixel pixelOf(const raster::CRaster& raster, double x, double y) {
  return Pixel{static_cast<int>(x + 0.5), raster.height() - 1 - static_cast<int>(y + 0.5)};
}

int inkRun(const raster::CRaster& raster, double x, double y, double toX, double toY) {
  const Pixel from = pixelOf(raster, x, y);
  const Pixel to = pixelOf(raster, toX, toY);
  return raster.inkRunAlongLine(from.column, from.row, to.column, to.row);
}

// Folds the end segment E–N onto the line of N2–N (see validateAfterWidth).
// Indices into v; e is 0 or the last index. Answers whether E was removed.
bool trimEnd(model::VertexList& v, size_t e, size_t n, size_t n2, double band, double endWidth) {
  const double ex = v[e].x - v[n].x, ey = v[e].y - v[n].y;
  const double f = std::hypot(ex, ey);
  if ((ex == 0.0 && ey == 0.0) || f == 0.0) {
    v.erase(v.begin() + static_cast<std::ptrdiff_t>(e));
    return true;
  }
  const double gx = v[n].x - v[n2].x, gy = v[n].y - v[n2].y;
  const double g = std::hypot(gx, gy);
  if (g / 2.0 <= f || g < kNoWidth) return false;
  const double theta = angleBetween(gx, gy, ex, ey);
  const double along = f * std::cos(theta);
  const auto fold = [&] {
    v[n].x += along * gx / g;
    v[n].y += along * gy / g;
    v.erase(v.begin() + static_cast<std::ptrdiff_t>(e));
  };
  if (endWidth * 2.0 > f && band * 2.5 < g && theta < model::kPi / 3.0 && f < 5.0 * g) {
    fold();
    return true;
  }
  if (band > 0.005) {
    // Distance of E from the line through N2 and N.
    const double offset = std::fabs(gx * (v[e].y - v[n2].y) - gy * (v[e].x - v[n2].x)) / g;
    if (offset <= band) {
      fold();
      return true;
    }
  }
  return false;
}

// Whether the ink around (x, y) is a cap of the given radius facing along
// (ux, uy): it ends within the radius plus kCapTolerance at 45° and 90° to
// both sides.
// With `touched`, the ink on one side (at 90° and 45° to it) may go on,
// another stroke touching the cap there, when the other side's edge lies
// within kCapRound inside the radius (a stem's cap beyond a narrower bar,
// whose centre lies on the bar, reaches less there).
bool capAround(const raster::CRaster& raster, double x, double y, double ux, double uy, double radius, double reach,
               bool touched = false) {
  constexpr double kDiagonal = 0.70710678118654752;
  // Left at 90°, right at 90°, left at 45°, right at 45°.
  const double sides[4][2] = {{-uy, ux}, {uy, -ux}, {(ux - uy) * kDiagonal, (uy + ux) * kDiagonal},
                              {(ux + uy) * kDiagonal, (uy - ux) * kDiagonal}};
  bool ends[4], round[4];
  for (int k = 0; k < 4; ++k) {
    const double r = inkReach(raster, x, y, sides[k][0], sides[k][1], reach);
    if (r < 0.0) return false;
    ends[k] = r <= radius + kCapTolerance;
    round[k] = ends[k] && r >= radius - kCapRound;
  }
  if (ends[0] && ends[1] && ends[2] && ends[3]) return true;
  // The open side's ink may be another stroke's; the closed side's edge is
  // this stroke's cap, as far out as its radius.
  return touched && ((round[0] && round[2]) || (round[1] && round[3]));
}

// Whether the stroke keeps its width from (x, y) for `length` along the
// unit direction (ux, uy): the ink reaches at least a pixel less than the
// radius to both sides at every pixel step. The gap between two dashes
// whose caps touch narrows to a neck, which fails.
bool fullWidthAlong(const raster::CRaster& raster, double x, double y, double ux, double uy, double length,
                    double radius) {
  const double least = std::max(radius - 1.0, 0.0);
  for (double t = 0.0; t <= length; t += 1.0) {
    const double px = x + ux * t, py = y + uy * t;
    // Probes step a quarter pixel: the last one within `least` lies up to a step short of it.
    if (inkReach(raster, px, py, -uy, ux, least) + kCapProbeStep <= least ||
        inkReach(raster, px, py, uy, -ux, least) + kCapProbeStep <= least)
      return false;
  }
  return true;
}

// Thinning eats into a round cap from its tip, so a free stroke end comes
// out short of the cap's centre by a pixel or more, more on wider strokes.
// Moves the end vertex e (its neighbour n, the end segment's width w) out
// to where the cap's centre lies: half the stroke width before the end of
// the ink ahead of it. Nothing happens unless the end is free: the end
// segment is long enough to give a direction, and around the new end the
// ink is a cap, ending within about half the width straight ahead, at 45°
// and at 90° to both sides (at a T, a crossing, a bend or where a ring's
// trace starts and ends, the ink goes on in one of those directions).
// With `backwards`, an end that lies beyond the cap's centre (the skeleton
// ran on to the tip of the cap) moves back to it the same way.
// With `claimed`, an end whose ink goes on beyond the usual reach may walk
// on up to kFarWalk to a cap (thinning loses a stroke's last stretch where
// other ink crosses or runs along it), as long as the stroke keeps its
// width on the way and claimed(x0, y0, x1, y1, radius) says no other
// polyline ends in line along the walk (the ink there is another stroke's).
struct NoClaims {
  bool operator()(double, double, double, double, double) const { return false; }
};

template <typename Claimed>
void extendFreeEnd(const raster::CRaster& raster, model::VertexList& v, size_t e, size_t n, double w,
                   bool backwards, const Claimed* claimed) {
  const double dx = v[e].x - v[n].x, dy = v[e].y - v[n].y;
  const double length = std::hypot(dx, dy);
  if (length < kCapMinSegment) return;
  const double ux = dx / length, uy = dy / length;
  const double radius = std::max(w, 1.0) / 2.0;
  const double nearReach = 2.0 * radius + kCapSlack;
  const double reach = claimed != nullptr ? std::max(nearReach, radius + kFarWalk) : nearReach;
  const double ahead = inkReach(raster, v[e].x, v[e].y, ux, uy, reach);
  if (ahead < 0.0 || ahead + kCapProbeStep > reach) return;  // no ink at e, or it goes on
  // The probe leaves the ink within a probe step after `ahead`; the ink
  // reaches on average a quarter pixel beyond the cap's circle (pixels are
  // ink by their centres), which about cancels that step.
  const double shortfall = ahead - radius;
  if (shortfall < kCapMinShift && !(backwards && shortfall <= -kCapMinShift && length > -shortfall + 1.0)) return;
  const double cx = v[e].x + ux * shortfall, cy = v[e].y + uy * shortfall;
  if (ahead > nearReach && (!fullWidthAlong(raster, v[e].x, v[e].y, ux, uy, shortfall, radius) ||
                            (*claimed)(v[e].x, v[e].y, v[e].x + ux * ahead, v[e].y + uy * ahead, radius)))
    return;
  // Refined, in the last pass, a cap may be touched on one side by a stroke
  // crossing or meeting this one just behind it (thinning ends the stroke
  // at that junction); not after a far walk, whose cap is less certain.
  const bool touched = backwards && ahead <= nearReach;
  if (!capAround(raster, cx, cy, ux, uy, radius, reach, touched)) return;
  v[e].x = cx;
  v[e].y = cy;
}

}  // namespace

// Whether the pixel under drawing point (x, y) is ink; inside tells whether
// that pixel lies in the raster at all.
// How far the ink reaches from drawing point (x, y) along the unit
// direction (ux, uy): the last probe distance, up to reach, whose pixel is
// ink with ink all the way before it; −1 when the start pixel is not ink or
// the probe leaves the raster while on ink.
double inkReach(const raster::CRaster& raster, double x, double y, double ux, double uy, double reach) {
  double last = -1.0;
  // Counted in steps, not summed: the same distances (quarters are exact)
  // without a chain of additions holding up every probe.
  for (int k = 0; k * kCapProbeStep <= reach; ++k) {
    const double t = k * kCapProbeStep;
    bool inside = false;
    if (!inkAt(raster, x + ux * t, y + uy * t, inside)) return inside ? last : -1.0;
    last = t;
  }
  return last;
}

double sampleStrokeWidth(const raster::CRaster& raster, double x, double y, double dx, double dy, bool refine) {
  const int a = inkRun(raster, x, y, x - dy, y + dx);
  const int b = inkRun(raster, x, y, x + dy, y - dx);
  int s = 0;
  if (a >= 0 && b >= 0) {
    s = a + b;
  } else if (a >= 0) {
    s = 2 * a;
  } else if (b >= 0) {
    s = 2 * b;
  } else {
    return -1.0;
  }
  if (s <= 2) return 0.0;
  if (!refine) return s - 1.0;  // the centre pixel was counted by both probes
  // The probes count pixels; a step of a slanted probe is longer than a
  // pixel, so the count is scaled to the distance it covers. Without this a
  // 45° stroke would measure 1/√2 of its width.
  const Pixel centre = pixelOf(raster, x, y);
  const Pixel side = pixelOf(raster, x - dy, y + dx);
  const int columns = std::abs(side.column - centre.column), rows = std::abs(side.row - centre.row);
  const int steps = std::max(columns, rows);
  const double stepLength = steps > 0 ? std::hypot(columns, rows) / steps : 1.0;
  return (s - 1.0) * stepLength;  // the centre pixel was counted by both probes
}

namespace {

// The mean of the samples within the larger of kRefinedOutlier pixels and
// kRefinedSpread of an anchor: their median, or with `lowAnchor` the sample
// an eighth of the way up from the narrowest; 0 without a sample. Sorts them.
double robustMeanWidth(double* samples, int valid, bool lowAnchor = false) {
  if (valid == 0) return 0.0;
  std::sort(samples, samples + valid);
  const double median = valid % 2 ? samples[valid / 2] : (samples[valid / 2 - 1] + samples[valid / 2]) / 2.0;
  const double anchor = lowAnchor ? samples[valid / 8] : median;
  const double spread = std::max(kRefinedOutlier, kRefinedSpread * anchor);
  double sum = 0.0;
  int kept = 0;
  for (int i = 0; i < valid; ++i) {
    if (std::fabs(samples[i] - anchor) > spread) continue;
    sum += samples[i];
    ++kept;
  }
  const double average = sum / kept;
  return average <= kNoWidth ? 0.0 : average;
}

// Refined: the width of a circle, or of an arc away from its caps, from
// samples across the ring every 3 px or so (8 to 15 of them); 0 for a disc
// (a dot's circle, no wider than its width), whose width is no stroke's.
double refinedRingWidth(const raster::CRaster& raster, const model::CCircle& ring) {
  const double r = ring.radius();
  if (r <= ring.getWidth()) return 0.0;
  double from = 0.0, sweep = 2.0 * model::kPi;
  const double reach = std::max(ring.getWidth(), 2.0) + kCapSlack * 2.0;
  if (ring.type() == model::EntityType::Arc) {
    const auto& arc = static_cast<const model::CArc&>(ring);
    const double margin = (ring.getWidth() / 2.0 + 1.0) / r;
    from = arc.startAngle() + margin;
    sweep = arc.sweep() - 2.0 * margin;
    if (sweep <= 0.0) return 0.0;
  }
  const int count = std::clamp(static_cast<int>(sweep * r / kRefinedSpacing), 8, kRefinedSamples);
  double samples[kRefinedSamples];
  int valid = 0;
  for (int i = 0; i < count; ++i) {
    const double a = from + sweep * (i + 0.5) / count;
    const double c = std::cos(a), s = std::sin(a);
    // The tangent as the "segment": the probes run along the radius.
    const double w = sampleStrokeWidth(raster, ring.centre().x + r * c, ring.centre().y + r * s, -s * reach,
                                       c * reach, true);
    if (w >= 0.0) samples[valid++] = w;
  }
  return robustMeanWidth(samples, valid);
}

}  // namespace

double refinedSegmentWidth(const raster::CRaster& raster, const PolyVertex& v, const PolyVertex& q) {
  const double dx = q.x - v.x, dy = q.y - v.y;
  const double f = std::hypot(dx, dy);
  if (f < kShortSegment) return measureSegmentWidth(raster, v, q, true);
  const int count = std::clamp(static_cast<int>(f / kRefinedSpacing), 5, kRefinedSamples);
  double samples[kRefinedSamples];
  int valid = 0;
  for (int i = 1; i <= count; ++i) {
    const double t = static_cast<double>(i) / (count + 1);
    const double s = sampleStrokeWidth(raster, v.x + dx * t, v.y + dy * t, dx, dy, true);
    if (s >= 0.0) samples[valid++] = s;
  }
  // Crossings, junctions and a stroke merging at a flat angle only widen a
  // segment's samples, and along a stroke that runs beside another they
  // may be most of them: the narrow end of the samples is the stroke's own.
  return robustMeanWidth(samples, valid, true);
}

double measureSegmentWidth(const raster::CRaster& raster, const PolyVertex& v, const PolyVertex& q, bool refine) {
  const double dx = q.x - v.x, dy = q.y - v.y;
  const double f = std::hypot(dx, dy);
  double samples[5];
  int valid = 0;
  if (f >= kShortSegment) {
    for (int i = 1; i <= 5; ++i) {
      const double s = sampleStrokeWidth(raster, v.x + dx * i / 6.0, v.y + dy * i / 6.0, dx, dy, refine);
      if (s >= 0.0) samples[valid++] = s;
    }
  } else {
    for (const PolyVertex* p : {&v, &q}) {
      const double s = sampleStrokeWidth(raster, p->x, p->y, dx, dy, refine);
      if (s >= 0.0) samples[valid++] = s;
    }
  }
  if (valid == 0) return 0.0;
  double sum = 0.0;
  double smallest = samples[0];
  for (int i = 0; i < valid; ++i) {
    sum += samples[i];
    smallest = std::min(smallest, samples[i]);
  }
  const double average = sum / valid;
  if (average <= kNoWidth) return 0.0;
  for (int i = 0; i < valid; ++i) {
    if (std::fabs(samples[i] - average) > kSampleSpread * average) return smallest;
  }
  return average;
}

void measurePolylineWidths(model::CPolyLine& polyline, const raster::CRaster& raster, bool refine) {
  const size_t n = polyline.vertices().size();
  if (n < 2) return;
  model::VertexList& v = polyline.editVertices();
  for (size_t i = 0; i + 1 < n; ++i) v[i].startWidth = measureSegmentWidth(raster, v[i], v[i + 1], refine);
  if (polyline.isClosed()) v[n - 1].startWidth = measureSegmentWidth(raster, v[n - 1], v[0], refine);
}

bool validateAfterWidth(model::CPolyLine& polyline) {
  const auto& vertices = polyline.vertices();
  if (vertices.empty()) return true;
  if (vertices.size() == 2) {
    return model::distance(vertices[0].point(), vertices[1].point()) > kBlobRatio * vertices[0].startWidth;
  }
  // A closed ring has no ends, so nothing of it is a hook.
  if (vertices.size() < 3 || polyline.isClosed()) return true;
  model::VertexList v = vertices;
  bool changed = trimEnd(v, 0, 1, 2, kBandRatio * v[1].startWidth, v[0].startWidth);
  if (v.size() >= 3) {
    const size_t last = v.size() - 1;
    changed |= trimEnd(v, last, last - 1, last - 2, kBandRatio * v[last - 2].startWidth, v[last - 1].startWidth);
  }
  if (changed) polyline.editVertices() = std::move(v);
  return true;
}

void extendFreeEnds(model::CPolyLine& polyline, const raster::CRaster& raster) {
  const size_t n = polyline.vertices().size();
  if (n < 2 || polyline.isClosed()) return;
  model::VertexList v = polyline.vertices();
  const NoClaims* none = nullptr;
  extendFreeEnd(raster, v, 0, 1, v[0].startWidth, false, none);
  extendFreeEnd(raster, v, n - 1, n - 2, v[n - 2].startWidth, false, none);
  if (v[0].x != polyline.vertices()[0].x || v[0].y != polyline.vertices()[0].y ||
      v[n - 1].x != polyline.vertices()[n - 1].x || v[n - 1].y != polyline.vertices()[n - 1].y) {
    polyline.editVertices() = std::move(v);
  }
}

bool endInCap(const raster::CRaster& raster, const PolyVertex& e, const PolyVertex& q, double w) {
  const double dx = e.x - q.x, dy = e.y - q.y;
  const double length = std::hypot(dx, dy);
  if (length < kNoWidth) return false;
  const double ux = dx / length, uy = dy / length;
  const double radius = std::max(w, 1.0) / 2.0;
  const double reach = 2.0 * radius + kCapSlack;
  const double ahead = inkReach(raster, e.x, e.y, ux, uy, reach);
  return ahead >= 0.0 && ahead <= radius + kCapTolerance && capAround(raster, e.x, e.y, ux, uy, radius, reach);
}

bool endsInCaps(const model::CPolyLine& polyline, const raster::CRaster& raster) {
  const auto& v = polyline.vertices();
  const size_t n = v.size();
  if (n < 2 || polyline.isClosed()) return false;
  return endInCap(raster, v[0], v[1], v[0].startWidth) && endInCap(raster, v[n - 1], v[n - 2], v[n - 2].startWidth);
}

bool calculateWidthsLayer(model::CLayer& layer, const raster::CRaster& raster, bool refine,
                          platform::ProgressSink* sink) {
  const StageProgress stage(sink);
  stage.begin("ProcessCalcLineWidth", "Calculate line width");
  const uint32_t n = layer.recount();
  const double step = n > 0 ? 50.0 / n : 0.0;
  uint32_t i = 0;
  for (const auto& entity : layer) {
    ++i;
    if (entity->type() == model::EntityType::PolyLine) {
      measurePolylineWidths(static_cast<model::CPolyLine&>(*entity), raster, refine);
    }
    if (stage.hasSink()) {
      if (stage.stopRequested()) return false;
      stage.progress(static_cast<int>(i * step));
    }
  }
  i = 0;
  for (model::CEntity* entity = layer.first(); entity != nullptr;) {
    model::CEntity* following = entity->next();
    ++i;
    if (entity->type() == model::EntityType::PolyLine) {
      auto& polyline = static_cast<model::CPolyLine&>(*entity);
      if (validateAfterWidth(polyline)) {
        if (refine) extendFreeEnds(polyline, raster);
      } else {
        layer.remove(entity);
      }
    }
    if (stage.hasSink()) {
      if (stage.stopRequested()) return false;
      stage.progress(static_cast<int>(step * i) + 50);
    }
    entity = following;
  }
  stage.end();
  return true;
}

bool roundWidthsLayer(model::CLayer& layer, const settings::WidthSeries& series, double pixelsPerMetre,
                      platform::ProgressSink* sink) {
  const model::WidthRounder round = [&](double width) { return series.Round(width, pixelsPerMetre); };
  return runEntityStage(layer, "ProcessRoundWidth", "Round width", sink,
                        [&](model::CEntity& entity) { entity.roundWidth(round); });
}

void centreFreeEndsLayer(model::CLayer& layer, const raster::CRaster& raster) {
  std::vector<model::CPolyLine*> open;
  for (const auto& entity : layer) {
    if (entity->type() != model::EntityType::PolyLine) continue;
    auto& polyline = static_cast<model::CPolyLine&>(*entity);
    if (polyline.vertices().size() >= 2 && !polyline.isClosed()) open.push_back(&polyline);
  }
  // The ends of all open polylines as they were, on a grid, for the walks.
  struct End {
    double x, y, ux, uy;
    uint32_t owner;
  };
  std::vector<End> lineEnds;
  for (uint32_t k = 0; k < open.size(); ++k) {
    const auto& v = open[k]->vertices();
    const size_t n = v.size();
    for (const auto& [e, q] : {std::pair<size_t, size_t>{0, 1}, std::pair<size_t, size_t>{n - 1, n - 2}}) {
      const double dx = v[e].x - v[q].x, dy = v[e].y - v[q].y, length = std::hypot(dx, dy);
      if (length > kNoWidth) lineEnds.push_back({v[e].x, v[e].y, dx / length, dy / length, k});
    }
  }
  const auto cellOf = [](double c) { return static_cast<int>(std::floor(c / kClaimCell)); };
  CellLists cells;
  for (const End& e : lineEnds) cells.add(cellOf(e.x), cellOf(e.y));
  cells.finish();
  forEachRange(open.size(), kMinPerPart, [&](size_t, size_t begin, size_t end) {
    for (size_t k = begin; k < end; ++k) {
      model::CPolyLine& polyline = *open[k];
      const auto& v = polyline.vertices();
      const size_t n = v.size();
      PolyVertex first = v[0], last = v[n - 1];
      model::VertexList ends{v[0], v[1], v[n - 2], v[n - 1]};
      // Another polyline ending in line within the walk's corridor.
      const auto claimed = [&](double x0, double y0, double x1, double y1, double radius) {
        const double wx = x1 - x0, wy = y1 - y0, l2 = wx * wx + wy * wy;
        if (l2 < 1e-12) return false;
        const double wl = std::sqrt(l2);
        const double reach = radius + kClaimSlack;
        bool found = false;
        for (int cy = cellOf(std::min(y0, y1) - reach); cy <= cellOf(std::max(y0, y1) + reach) && !found; ++cy)
          for (int cx = cellOf(std::min(x0, x1) - reach); cx <= cellOf(std::max(x0, x1) + reach) && !found; ++cx) {
            for (const uint32_t i : cells.at(cx, cy)) {
              const End& o = lineEnds[i];
              if (o.owner == k || std::fabs(o.ux * wx + o.uy * wy) < kClaimCos * wl) continue;
              const double t = std::clamp(((o.x - x0) * wx + (o.y - y0) * wy) / l2, 0.0, 1.0);
              if (std::hypot(o.x - x0 - t * wx, o.y - y0 - t * wy) <= reach) found = true;
            }
          }
        return found;
      };
      if (!v[0].hasBulge() && v[0].startWidth >= kMeasuredCap)
        extendFreeEnd(raster, ends, 0, 1, v[0].startWidth, true, &claimed);
      if (!v[n - 2].hasBulge() && v[n - 2].startWidth >= kMeasuredCap)
        extendFreeEnd(raster, ends, 3, 2, v[n - 2].startWidth, true, &claimed);
      first.x = ends[0].x;
      first.y = ends[0].y;
      last.x = ends[3].x;
      last.y = ends[3].y;
      if (first.x == v[0].x && first.y == v[0].y && last.x == v[n - 1].x && last.y == v[n - 1].y) continue;
      auto& w = polyline.editVertices();
      w[0] = first;
      w[n - 1] = last;
    }
  });
}

void remeasureWidthsLayer(model::CLayer& layer, const raster::CRaster& raster) {
  std::vector<model::CEntity*> entities;
  for (const auto& entity : layer) entities.push_back(&*entity);
  forEachRange(entities.size(), kMinPerPart, [&](size_t, size_t begin, size_t end) {
    for (size_t k = begin; k < end; ++k) {
      model::CEntity* entity = entities[k];
      if (entity->type() == model::EntityType::Circle || entity->type() == model::EntityType::Arc) {
        const double w = refinedRingWidth(raster, static_cast<const model::CCircle&>(*entity));
        if (w > 0.0) entity->setWidth(w);
        continue;
      }
      if (entity->type() != model::EntityType::PolyLine) continue;
      auto& polyline = static_cast<model::CPolyLine&>(*entity);
      const size_t n = polyline.vertices().size();
      if (n < 2) continue;
      model::VertexList& v = polyline.editVertices();
      const size_t count = polyline.isClosed() ? n : n - 1;
      for (size_t i = 0; i < count; ++i) {
        if (v[i].hasBulge()) continue;
        const double w = refinedSegmentWidth(raster, v[i], v[(i + 1) % n]);
        if (w > 0.0) v[i].startWidth = w;
      }
    }
  });
}

}  // namespace quillon::postprocess
