#include "model/object_snap.h"

#include <algorithm>
#include <cmath>

#include "model/arc.h"
#include "model/circle.h"
#include "model/graph.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"
#include "settings/language_table.h"

namespace quillon::model {

namespace {

// Rounding at an arc's ends must not drop a point that lies on them.
constexpr double kAngleSlack = 1e-9;
// Line parameters within this of [0, 1] count as on the segment.
constexpr double kParameterSlack = 0.00001;
// Two directions whose cross product is below this fraction of the product
// of their lengths are parallel.
constexpr double kParallelRatio = 1e-12;
// A squared half-chord below this fraction of the squared radius is a
// tangency: one point instead of two nearly equal ones.
constexpr double kTangentRatio = 1e-12;

bool finite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

bool finite(const SnapPrimitive& p) {
  if (!finite(p.p1) || !finite(p.p2)) return false;
  if (p.kind == SnapPrimitive::Kind::Segment) return true;
  return finite(p.centre) && std::isfinite(p.radius) && std::isfinite(p.startAngle) && std::isfinite(p.endAngle);
}

double dist(const Point3& a, const Point3& b) { return std::hypot(a.x - b.x, a.y - b.y); }

bool onSegmentParameter(double t) { return t >= -kParameterSlack && t <= 1.0 + kParameterSlack; }

// The best of one mode's candidates: the first strictly nearest to the cursor.
struct Candidate {
  bool found = false;
  Point3 point;
  double distance = 0.0;

  void offer(const Point3& p, const Point3& cursor) {
    if (!finite(p)) return;
    const double d = dist(p, cursor);
    if (!std::isfinite(d)) return;
    if (!found || d < distance) {
      found = true;
      point = p;
      distance = d;
    }
  }
};

Point3 onArc(const SnapPrimitive& arc, double angle) { return pointOnCircle(arc.centre, arc.radius, angle); }

// The arc points in the direction of `toward` from the centre and opposite.
void offerRadialPoints(const SnapPrimitive& arc, const Point3& toward, const Point3& cursor, Candidate& c) {
  const double dx = toward.x - arc.centre.x, dy = toward.y - arc.centre.y;
  if (dx == 0.0 && dy == 0.0) return;  // no direction
  const double a = std::atan2(dy, dx);
  if (angleOnArc(arc, a)) c.offer(onArc(arc, a), cursor);
  if (angleOnArc(arc, a + kPi)) c.offer(onArc(arc, a + kPi), cursor);
}

// Foot of the perpendicular from q on the line of the segment, with its line
// parameter; false for a segment without direction.
bool footOnLine(const SnapPrimitive& s, const Point3& q, Point3& foot, double& t) {
  const double dx = s.p2.x - s.p1.x, dy = s.p2.y - s.p1.y;
  const double len2 = dx * dx + dy * dy;
  if (!(len2 > 0.0) || !std::isfinite(len2)) return false;
  t = ((q.x - s.p1.x) * dx + (q.y - s.p1.y) * dy) / len2;
  foot = Point3{s.p1.x + t * dx, s.p1.y + t * dy, s.p1.z};
  return std::isfinite(t);
}

int segmentSegment(const SnapPrimitive& a, const SnapPrimitive& b, std::array<Point3, 2>& out) {
  const double d1x = a.p2.x - a.p1.x, d1y = a.p2.y - a.p1.y;
  const double d2x = b.p2.x - b.p1.x, d2y = b.p2.y - b.p1.y;
  const double denom = d1x * d2y - d1y * d2x;
  const double scale = std::hypot(d1x, d1y) * std::hypot(d2x, d2y);
  if (!(scale > 0.0) || std::fabs(denom) <= kParallelRatio * scale) return 0;
  const double ex = b.p1.x - a.p1.x, ey = b.p1.y - a.p1.y;
  const double t = (ex * d2y - ey * d2x) / denom;
  const double u = (ex * d1y - ey * d1x) / denom;
  if (!onSegmentParameter(t) || !onSegmentParameter(u)) return 0;
  const Point3 p{a.p1.x + t * d1x, a.p1.y + t * d1y, a.p1.z};
  if (!finite(p)) return 0;
  out[0] = p;
  return 1;
}

int segmentArc(const SnapPrimitive& s, const SnapPrimitive& arc, std::array<Point3, 2>& out) {
  // Worked relative to the centre so that large coordinates keep their precision.
  const double dx = s.p2.x - s.p1.x, dy = s.p2.y - s.p1.y;
  const double len2 = dx * dx + dy * dy;
  if (!(len2 > 0.0) || !(arc.radius > 0.0)) return 0;
  const double qx = s.p1.x - arc.centre.x, qy = s.p1.y - arc.centre.y;
  const double t0 = -(qx * dx + qy * dy) / len2;
  const double fx = qx + t0 * dx, fy = qy + t0 * dy;  // foot of the centre on the line
  const double r2 = arc.radius * arc.radius;
  const double h2 = r2 - (fx * fx + fy * fy);
  if (!std::isfinite(h2)) return 0;
  int count = 0;
  const auto accept = [&](double t) {
    if (!onSegmentParameter(t)) return;
    const Point3 p{s.p1.x + t * dx, s.p1.y + t * dy, s.p1.z};
    if (!finite(p)) return;
    if (!angleOnArc(arc, std::atan2(p.y - arc.centre.y, p.x - arc.centre.x))) return;
    out[static_cast<std::size_t>(count++)] = p;
  };
  if (std::fabs(h2) <= kTangentRatio * r2) {
    accept(t0);
  } else if (h2 > 0.0) {
    const double dt = std::sqrt(h2 / len2);
    accept(t0 - dt);
    accept(t0 + dt);
  }
  return count;
}

int arcArc(const SnapPrimitive& a, const SnapPrimitive& b, std::array<Point3, 2>& out) {
  const double ux = b.centre.x - a.centre.x, uy = b.centre.y - a.centre.y;
  const double d = std::hypot(ux, uy);
  const double r1 = a.radius, r2 = b.radius;
  if (!(d > 0.0) || !(r1 > 0.0) || !(r2 > 0.0) || !std::isfinite(d)) return 0;  // concentric: none or infinitely many
  // Distance from a's centre to the chord of the two meeting points.
  const double along = (d + (r1 - r2) * (r1 + r2) / d) / 2.0;
  const double h2 = r1 * r1 - along * along;
  if (!std::isfinite(h2)) return 0;
  const double ex = ux / d, ey = uy / d;
  const double mx = a.centre.x + along * ex, my = a.centre.y + along * ey;
  int count = 0;
  const auto accept = [&](double px, double py) {
    const Point3 p{px, py, a.centre.z};
    if (!finite(p)) return;
    if (!angleOnArc(a, std::atan2(py - a.centre.y, px - a.centre.x))) return;
    if (!angleOnArc(b, std::atan2(py - b.centre.y, px - b.centre.x))) return;
    out[static_cast<std::size_t>(count++)] = p;
  };
  if (std::fabs(h2) <= kTangentRatio * r1 * r1) {
    accept(mx, my);
  } else if (h2 > 0.0) {
    const double h = std::sqrt(h2);
    accept(mx - h * ey, my + h * ex);
    accept(mx + h * ey, my - h * ex);
  }
  return count;
}

bool primitiveHitsWindow(const SnapPrimitive& p, const Point3& lo, const Point3& hi) {
  if (p.kind == SnapPrimitive::Kind::Segment) return segmentHitsWindow(p.p1, p.p2, lo, hi);
  return arcHitsWindow(p.centre, p.radius, p.startAngle, p.endAngle, lo, hi);
}

// Every segment of the polyline (the closing one when closed) that crosses
// the window; segments of zero length add nothing their neighbours lack.
void collectPolylineSegments(const CPolyLine& polyline, const Point3& lo, const Point3& hi, SnapPrimitives& list) {
  const auto& v = polyline.vertices();
  const std::size_t n = v.size();
  if (n < 2) return;
  const std::size_t segments = polyline.isClosed() ? n : n - 1;
  for (std::size_t i = 0; i < segments; ++i) {
    const Point3 p = v[i].point();
    const Point3 q = v[(i + 1) % n].point();
    if (samePoint(p, q)) continue;
    // Cheap rejection first: a minor arc (|bulge| <= 1) stays within half the
    // chord of the chord's midpoint, a major one within twice its sagitta.
    const double h = std::hypot(q.x - p.x, q.y - p.y) / 2.0;
    const double reach = std::max(h, 2.0 * h * std::fabs(v[i].bulge));
    const double mx = (p.x + q.x) / 2.0, my = (p.y + q.y) / 2.0;
    if (mx + reach < lo.x || mx - reach > hi.x || my + reach < lo.y || my - reach > hi.y) continue;
    const SnapPrimitive primitive = polylineSegmentPrimitive(p, q, v[i].bulge);
    if (primitiveHitsWindow(primitive, lo, hi)) list.push_back(primitive);
  }
}

}  // namespace

std::string osnapModeLabel(std::size_t i) {
  if (i >= kOsnapModeLabels.size()) return std::string();
  return settings::Text(kOsnapModeLabels[i].key, kOsnapModeLabels[i].label);
}

SnapPrimitive segmentPrimitive(const Point3& a, const Point3& b) {
  SnapPrimitive p;
  p.kind = SnapPrimitive::Kind::Segment;
  p.p1 = a;
  p.p2 = b;
  return p;
}

SnapPrimitive arcPrimitive(const Point3& centre, double radius, double startAngle, double endAngle, int32_t modes) {
  SnapPrimitive p;
  p.kind = SnapPrimitive::Kind::Arc;
  p.modes = modes;
  p.centre = centre;
  p.radius = std::fabs(radius);
  const double sweep = endAngle - startAngle;
  p.startAngle = normalizeAngle(startAngle);
  if (sweep >= kTwoPi) {
    p.endAngle = p.startAngle + kTwoPi;
  } else {
    p.endAngle = normalizeAngle(endAngle);
    if (p.endAngle < p.startAngle) p.endAngle += kTwoPi;
  }
  p.p1 = pointOnCircle(centre, p.radius, p.startAngle);
  p.p2 = pointOnCircle(centre, p.radius, p.endAngle);
  return p;
}

SnapPrimitive polylineSegmentPrimitive(const Point3& p, const Point3& q, double bulge) {
  const auto arc = bulgeToArc(p, q, bulge);
  if (!arc) return segmentPrimitive(p, q);
  SnapPrimitive prim = arc->counterClockwise ? arcPrimitive(arc->centre, arc->radius, arc->startAngle, arc->endAngle)
                                             : arcPrimitive(arc->centre, arc->radius, arc->endAngle, arc->startAngle);
  // The vertices themselves are the arc's ends, not their recomputation.
  prim.p1 = arc->counterClockwise ? p : q;
  prim.p2 = arc->counterClockwise ? q : p;
  return prim;
}

bool angleOnArc(const SnapPrimitive& arc, double angle) {
  if (!std::isfinite(angle)) return false;
  double d = std::remainder(angle - arc.startAngle, kTwoPi);  // in [−π, π]
  if (d < -kAngleSlack) d += kTwoPi;
  return d <= (arc.endAngle - arc.startAngle) + kAngleSlack;
}

int snapPoint(const SnapPrimitive& p, const Point3* reference, const Point3& cursor, int32_t modes, Point3& point,
              double& distance) {
  if (!finite(p) || !finite(cursor)) return 0;
  if (reference != nullptr && !finite(*reference)) reference = nullptr;
  const int32_t active = modes & p.modes;
  const bool arc = p.kind == SnapPrimitive::Kind::Arc;
  int bestCode = 0;
  Candidate best;
  const auto consider = [&](int code, const Candidate& c) {
    if (c.found && (!best.found || c.distance < best.distance)) {
      best = c;
      bestCode = code;
    }
  };

  if (active & kOsnapEnd) {
    Candidate c;
    c.offer(p.p1, cursor);
    c.offer(p.p2, cursor);
    consider(kOsnapEnd, c);
  }
  if (active & kOsnapMiddle) {
    Candidate c;
    if (arc) {
      c.offer(onArc(p, (p.startAngle + p.endAngle) / 2.0), cursor);
    } else {
      c.offer(Point3{(p.p1.x + p.p2.x) / 2.0, (p.p1.y + p.p2.y) / 2.0, (p.p1.z + p.p2.z) / 2.0}, cursor);
    }
    consider(kOsnapMiddle, c);
  }
  if ((active & kOsnapCentre) && arc) {
    Candidate c;
    c.offer(p.centre, cursor);
    consider(kOsnapCentre, c);
  }
  if ((active & kOsnapTangent) && arc && reference != nullptr) {
    // The tangent points from R lie where the circle meets the circle over
    // the diameter R–centre: at the direction of R turned by ±acos(r / |R − C|).
    const double dx = reference->x - p.centre.x, dy = reference->y - p.centre.y;
    const double d = std::hypot(dx, dy);
    if (d > p.radius) {
      const double toward = std::atan2(dy, dx);
      const double turn = std::acos(std::clamp(p.radius / d, -1.0, 1.0));
      Candidate c;
      for (const double a : {toward + turn, toward - turn}) {
        if (angleOnArc(p, a)) c.offer(onArc(p, a), cursor);
      }
      consider(kOsnapTangent, c);
    }
  }
  if ((active & kOsnapPerpendicular) && reference != nullptr) {
    Candidate c;
    if (arc) {
      offerRadialPoints(p, *reference, cursor, c);
    } else {
      Point3 foot;
      double t = 0.0;
      if (footOnLine(p, *reference, foot, t)) c.offer(foot, cursor);
    }
    consider(kOsnapPerpendicular, c);
  }
  if ((active & kOsnapQuadrant) && arc) {
    Candidate c;
    for (int q = 0; q < 4; ++q) {
      const double a = q * kPi / 2.0;
      if (angleOnArc(p, a)) c.offer(onArc(p, a), cursor);
    }
    consider(kOsnapQuadrant, c);
  }
  if (active & kOsnapNearest) {
    Candidate c;
    if (arc) {
      offerRadialPoints(p, cursor, cursor, c);
    } else {
      Point3 foot;
      double t = 0.0;
      if (footOnLine(p, cursor, foot, t) && onSegmentParameter(t)) c.offer(foot, cursor);
    }
    consider(kOsnapNearest, c);
  }
  if (bestCode != 0) {
    point = best.point;
    distance = best.distance;
  }
  return bestCode;
}

int intersect(const SnapPrimitive& a, const SnapPrimitive& b, std::array<Point3, 2>& points) {
  if (!finite(a) || !finite(b)) return 0;
  const bool arcA = a.kind == SnapPrimitive::Kind::Arc;
  const bool arcB = b.kind == SnapPrimitive::Kind::Arc;
  if (!arcA && !arcB) return segmentSegment(a, b, points);
  if (arcA && arcB) return arcArc(a, b, points);
  return arcA ? segmentArc(b, a, points) : segmentArc(a, b, points);
}

bool arcHitsWindow(const Point3& centre, double radius, double a0, double a1, const Point3& lo, const Point3& hi) {
  const SnapPrimitive arc = arcPrimitive(centre, radius, a0, a1);
  const auto inside = [&](double x, double y) { return x >= lo.x && x <= hi.x && y >= lo.y && y <= hi.y; };
  if (inside(arc.p1.x, arc.p1.y) || inside(arc.p2.x, arc.p2.y)) return true;
  // Otherwise the arc enters the window through one of its edges.
  const double r2 = arc.radius * arc.radius;
  for (const double x : {lo.x, hi.x}) {
    const double d = r2 - (x - centre.x) * (x - centre.x);
    if (d < 0.0) continue;
    for (const double sign : {-1.0, 1.0}) {
      const double y = centre.y + sign * std::sqrt(d);
      if (y >= lo.y && y <= hi.y && angleOnArc(arc, std::atan2(y - centre.y, x - centre.x))) return true;
    }
  }
  for (const double y : {lo.y, hi.y}) {
    const double d = r2 - (y - centre.y) * (y - centre.y);
    if (d < 0.0) continue;
    for (const double sign : {-1.0, 1.0}) {
      const double x = centre.x + sign * std::sqrt(d);
      if (x >= lo.x && x <= hi.x && angleOnArc(arc, std::atan2(y - centre.y, x - centre.x))) return true;
    }
  }
  return false;
}

// --- the primitives of each entity type -------------------------------------------

void CEntity::collectSnapGeometry(const Point3&, const Point3&, SnapPrimitives&) const {}

void CLine::collectSnapGeometry(const Point3& p1, const Point3& p2, SnapPrimitives& list) const {
  if (hitWindow(p1, p2)) list.push_back(segmentPrimitive(start_.point(), end_.point()));
}

void CCircle::collectSnapGeometry(const Point3& p1, const Point3& p2, SnapPrimitives& list) const {
  if (hitWindow(p1, p2)) list.push_back(arcPrimitive(centre_, radius_, 0.0, kTwoPi, kOsnapCircleModes));
}

void CArc::collectSnapGeometry(const Point3& p1, const Point3& p2, SnapPrimitives& list) const {
  if (!hitWindow(p1, p2)) return;
  SnapPrimitive p = arcPrimitive(centre_, radius_, startAngle_, endAngle_);
  p.p1 = startPoint_;
  p.p2 = endPoint_;
  list.push_back(p);
}

void CPolyLine::collectSnapGeometry(const Point3& p1, const Point3& p2, SnapPrimitives& list) const {
  if (hitWindow(p1, p2)) collectPolylineSegments(*this, p1, p2, list);
}

void CPolyPolygon::collectSnapGeometry(const Point3& p1, const Point3& p2, SnapPrimitives& list) const {
  if (!hitWindow(p1, p2)) return;
  for (const auto& outline : outlines()) collectPolylineSegments(*outline, p1, p2, list);
}

void CSolid::collectSnapGeometry(const Point3& p1, const Point3& p2, SnapPrimitives& list) const {
  if (!hitWindow(p1, p2)) return;
  const std::size_t n = points_.size();
  if (n < 2) return;
  for (std::size_t i = 0; i < n; ++i) {
    const Point3& a = points_[i];
    const Point3& b = points_[(i + 1) % n];
    if (samePoint(a, b)) continue;
    if (segmentHitsWindow(a, b, p1, p2)) list.push_back(segmentPrimitive(a, b));
  }
}

// --- the drawing's choice ---------------------------------------------------------------

void CGraph::collectSnapGeometry(Point3 p1, Point3 p2, SnapPrimitives& list) const {
  if (p1.x > p2.x) std::swap(p1.x, p2.x);
  if (p1.y > p2.y) std::swap(p1.y, p2.y);
  for (const auto& layer : layers_) {
    if (!layer->visible()) continue;
    for (const auto& entity : *layer) entity->collectSnapGeometry(p1, p2, list);
  }
  if (tempPolyline_) tempPolyline_->collectSnapGeometry(p1, p2, list);
}

int CGraph::objectSnap(const Point3* reference, Point3 p1, Point3 p2, Point3& point) const {
  SnapPrimitives primitives;
  collectSnapGeometry(p1, p2, primitives);
  const Point3 cursor{(p1.x + p2.x) / 2.0, (p1.y + p2.y) / 2.0, 0.0};
  const int32_t modes = aids.osnapModes;
  int bestCode = 0;
  double bestDistance = 0.0;
  Point3 bestPoint;
  const auto offer = [&](int code, const Point3& p, double d) {
    if (bestCode == 0 || d < bestDistance) {
      bestCode = code;
      bestDistance = d;
      bestPoint = p;
    }
  };
  const bool intersections = (modes & kOsnapIntersection) != 0;
  for (std::size_t i = 0; i < primitives.size(); ++i) {
    Point3 p;
    double d = 0.0;
    if (const int code = snapPoint(primitives[i], reference, cursor, modes, p, d)) offer(code, p, d);
    if (!intersections || !(primitives[i].modes & kOsnapIntersection)) continue;
    for (std::size_t j = i + 1; j < primitives.size(); ++j) {
      if (!(primitives[j].modes & kOsnapIntersection)) continue;
      std::array<Point3, 2> crossings;
      const int n = intersect(primitives[i], primitives[j], crossings);
      for (int k = 0; k < n; ++k) {
        const Point3& q = crossings[static_cast<std::size_t>(k)];
        offer(kOsnapIntersection, q, std::hypot(q.x - cursor.x, q.y - cursor.y));
      }
    }
  }
  if (bestCode != 0) point = bestPoint;
  return bestCode;
}

}  // namespace quillon::model
