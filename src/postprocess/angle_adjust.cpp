#include "postprocess/angle_adjust.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "postprocess/stage_common.h"

namespace quillon::postprocess {

namespace {

using model::Point3;
using model::PolyVertex;
using model::VertexList;

// How far an end may slide along its neighbouring segment; beyond this the
// neighbour is nearly parallel to the new direction and the end slides along
// the perpendicular instead.
constexpr double kMaxSlide = 10.0;
// Length of the direction line built through a point; only its direction matters.
constexpr double kLineLength = 10000.0;

struct GuideLine {
  Point3 a;
  Point3 b;
};

Point3 at(const PolyVertex& v) { return Point3{v.x, v.y, v.z}; }

std::optional<Point3> meet(const GuideLine& l, const GuideLine& m) { return intersectLines(l.a, l.b, m.a, m.b); }

double dist(const Point3& a, const Point3& b) { return std::hypot(a.x - b.x, a.y - b.y); }

void moveTo(PolyVertex& v, const Point3& p) {
  v.x = p.x;
  v.y = p.y;
}

void rotate(VertexList& v, bool closed, size_t p, double phi) {
  const size_t n = v.size();
  const size_t s = (p + 1) % n;
  const double dx = v[s].x - v[p].x;
  const double dy = v[s].y - v[p].y;
  if (std::fabs(dx) < model::kTolerance && std::fabs(dy) < model::kTolerance) return;

  const auto perpendicularAt = [&](size_t i) {
    const Point3 base = at(v[i]);
    return GuideLine{base, Point3{base.x - dy, base.y + dx, base.z}};
  };

  GuideLine guideS = perpendicularAt(s);
  if (closed || s != n - 1) {
    const PolyVertex& o = v[(s + 1) % n];
    if (std::fabs(dx * (o.y - v[p].y) - dy * (o.x - v[p].x)) > model::kTolerance) guideS = {at(v[s]), at(o)};
  }
  GuideLine guideP = perpendicularAt(p);
  if (closed || p != 0) {
    const PolyVertex& r = v[(p + n - 1) % n];
    if (std::fabs(dx * (r.y - v[p].y) - dy * (r.x - v[p].x)) > model::kTolerance) guideP = {at(r), at(v[p])};
  }

  const Point3 mid{(v[p].x + v[s].x) / 2.0, (v[p].y + v[s].y) / 2.0, v[p].z};
  const Point3 toward{std::cos(phi) * kLineLength, std::sin(phi) * kLineLength, 0.0};
  const GuideLine line{mid, Point3{mid.x + toward.x, mid.y + toward.y, mid.z}};

  // Where a line meets s's guide, falling back to the perpendicular at s
  // when the slide along the neighbour would be too long.
  const auto endOnGuideS = [&](const GuideLine& l) -> std::optional<Point3> {
    std::optional<Point3> x = meet(l, guideS);
    if (!x) return std::nullopt;
    if (dist(*x, at(v[s])) > kMaxSlide) x = meet(l, perpendicularAt(s));
    return x;
  };

  if (const std::optional<Point3> x1 = meet(line, guideP)) {
    if (dist(*x1, at(v[p])) > kMaxSlide) {
      // p stays; the segment turns about p instead.
      const Point3 from = at(v[p]);
      const GuideLine throughP{from, Point3{from.x + toward.x, from.y + toward.y, from.z}};
      if (const std::optional<Point3> x2 = endOnGuideS(throughP)) moveTo(v[s], *x2);
      return;
    }
    moveTo(v[p], *x1);
  }
  if (const std::optional<Point3> x3 = endOnGuideS(line)) moveTo(v[s], *x3);
}

// rotate, undone when it moves either end of the segment by more than
// maxShift (no limit when 0).
void rotateWithin(VertexList& v, bool closed, size_t p, double phi, double maxShift) {
  const size_t s = (p + 1) % v.size();
  const PolyVertex before = v[p], after = v[s];
  rotate(v, closed, p, phi);
  if (maxShift > 0.0 && (dist(at(v[p]), at(before)) > maxShift || dist(at(v[s]), at(after)) > maxShift)) {
    v[p] = before;
    v[s] = after;
  }
}

void adjustCorner(VertexList& v, bool closed, const settings::AngleSeries& series, size_t p,
                  double maxShift) {
  const size_t n = v.size();
  if (!closed && (p == 0 || p + 1 >= n)) return;
  const size_t r = (p + n - 1) % n;
  const size_t q = (p + 1) % n;
  if (v[r].hasBulge() || v[p].hasBulge()) return;
  const double ix = v[p].x - v[r].x, iy = v[p].y - v[r].y;
  double corner = angleBetween(ix, iy, v[q].x - v[p].x, v[q].y - v[p].y);
  if (!series.Snap(corner)) return;
  const double incoming = std::atan2(iy, ix);
  const bool turnsLeft = model::cross(at(v[r]), at(v[p]), at(v[q])) > model::kTolerance;
  rotateWithin(v, closed, p, turnsLeft ? incoming + corner : incoming - corner, maxShift);
}

}  // namespace

void rotateSegment(model::CPolyLine& polyline, size_t index, double phi) {
  const size_t n = polyline.vertices().size();
  if (n < 2 || index >= n || (!polyline.isClosed() && index + 1 >= n)) return;
  rotate(polyline.editVertices(), polyline.isClosed(), index, phi);
}

void adjustPolylineAngles(model::CPolyLine& polyline, const settings::AngleSeries& series, double maxShift) {
  const size_t n = polyline.vertices().size();
  if (n < 2) return;
  const bool closed = polyline.isClosed();
  VertexList& v = polyline.editVertices();
  const size_t segments = closed ? n : n - 1;
  for (size_t p = 0; p < segments; ++p) {
    if (v[p].hasBulge()) continue;
    const PolyVertex& s = v[(p + 1) % n];
    double phi = std::atan2(s.y - v[p].y, s.x - v[p].x);
    if (phi < 0.0) phi += model::kPi;  // undirected: [0, π]
    if (series.Snap(phi)) {
      rotateWithin(v, closed, p, phi, maxShift);
    } else {
      adjustCorner(v, closed, series, p, maxShift);
    }
  }
}

bool adjustAnglesLayer(model::CLayer& layer, const settings::AngleSeries& series, platform::ProgressSink* sink,
                       double maxShift) {
  return runPolylineStage(layer, "ProcessAdjustAngle", "Adjust angle", sink,
                          [&](model::CPolyLine& polyline) { adjustPolylineAngles(polyline, series, maxShift); });
}

}  // namespace quillon::postprocess
