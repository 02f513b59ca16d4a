#include "model/geometry.h"

#include <algorithm>
#include <cmath>

#include "model/end_stub.h"

namespace quillon::model {

double distance(const Point3& a, const Point3& b) {
  const double dx = b.x - a.x;
  const double dy = b.y - a.y;
  if (isZeroVector(dx, dy)) return 0.0;
  return std::hypot(dx, dy);
}

bool endStubByRoots(const Point3& end, const Point3& toward, const Point3& next, double threshold) {
  const double a = distance(end, toward);
  if (!(a < threshold)) return false;
  const double following = distance(toward, next);
  return following > 0.0 && a / following < 0.05;
}

bool endStub(const Point3& end, const Point3& toward, const Point3& next, double threshold) {
  constexpr double kSlack = 1e-9;
  const double ax = toward.x - end.x, ay = toward.y - end.y;
  const double fx = next.x - toward.x, fy = next.y - toward.y;
  const double qa = ax * ax + ay * ay, qf = fx * fx + fy * fy;
  // Zero vectors measure 0 however long they are; tiny or huge values
  // would leave the squares imprecise or infinite.
  const bool squaresTell = threshold >= 1e-100 && threshold <= 1e100 && !isZeroVector(ax, ay) &&
                           !isZeroVector(fx, fy) && qa <= 1e200 && qf <= 1e200;
  if (!squaresTell) return endStubByRoots(end, toward, next, threshold);
  const double t2 = threshold * threshold;
  if (qa >= t2 * (1.0 + kSlack)) return false;
  if (qa <= t2 * (1.0 - kSlack)) {
    const double r2 = 0.0025 * qf;  // (5 % of following)²
    if (qa >= r2 * (1.0 + kSlack)) return false;
    if (qa <= r2 * (1.0 - kSlack)) return true;
  }
  return endStubByRoots(end, toward, next, threshold);
}

double normalizeAngle(double angle) {
  // A non-finite angle would never leave the loops below.
  if (!std::isfinite(angle)) return 0.0;
  // Far-off values are first brought near the range so the loops stay short;
  // near the range the loops decide, keeping 2π as 2π.
  if (angle > 64.0 * kTwoPi || angle < -64.0 * kTwoPi) angle = std::fmod(angle, kTwoPi);
  while (angle > kTwoPi) angle -= kTwoPi;
  while (!(angle >= 0.0)) angle += kTwoPi;
  return angle;
}

Point3 pointOnCircle(const Point3& centre, double radius, double angle) {
  return Point3{centre.x + radius * std::cos(angle), centre.y + radius * std::sin(angle), centre.z};
}

void Box::include(double x, double y) {
  minX = std::min(minX, x);
  maxX = std::max(maxX, x);
  minY = std::min(minY, y);
  maxY = std::max(maxY, y);
}

void Box::include(const Box& other) {
  minX = std::min(minX, other.minX);
  maxX = std::max(maxX, other.maxX);
  minY = std::min(minY, other.minY);
  maxY = std::max(maxY, other.maxY);
}

std::optional<BulgeArc> bulgeToArc(const Point3& p, const Point3& q, double bulge) {
  if (bulge > -kTolerance && bulge < kTolerance) return std::nullopt;
  const double h = distance(p, q) / 2.0;
  if (h < kTolerance) return std::nullopt;
  const double s = h * std::fabs(bulge);
  const double radius = (s * s + h * h) / (2.0 * s);
  const double phi = std::atan2(q.y - p.y, q.x - p.x) + (bulge > 0.0 ? kPi / 2.0 : -kPi / 2.0);
  const double mx = (p.x + q.x) / 2.0;
  const double my = (p.y + q.y) / 2.0;
  BulgeArc arc;
  arc.centre = Point3{mx + (radius - s) * std::cos(phi), my + (radius - s) * std::sin(phi), p.z};
  arc.radius = radius;
  arc.startAngle = std::atan2(p.y - arc.centre.y, p.x - arc.centre.x);
  arc.endAngle = std::atan2(q.y - arc.centre.y, q.x - arc.centre.x);
  arc.counterClockwise = bulge > 0.0;
  return arc;
}

namespace {
// The start angle of the arc moved so that the run start → end is monotonic
// in the arc's direction.
double unwrappedStart(const BulgeArc& arc) {
  double a0 = arc.startAngle;
  if (arc.counterClockwise) {
    while (arc.endAngle < a0) a0 -= kTwoPi;
  } else {
    while (arc.endAngle > a0) a0 += kTwoPi;
  }
  return a0;
}
}  // namespace

double bulgeArcSweep(const BulgeArc& arc) {
  const double a0 = unwrappedStart(arc);
  return arc.counterClockwise ? arc.endAngle - a0 : a0 - arc.endAngle;
}

double segmentLength(const Point3& p, const Point3& q, double bulge) {
  if (const auto arc = bulgeToArc(p, q, bulge)) return arc->radius * bulgeArcSweep(*arc);
  return distance(p, q);
}

std::optional<Circle> circleThrough(const Point3& a, const Point3& b, const Point3& c) {
  if (samePoint(a, b) || samePoint(b, c) || samePoint(a, c)) return std::nullopt;
  const double crossProduct = (b.x - a.x) * (c.y - b.y) - (b.y - a.y) * (c.x - b.x);
  if (std::fabs(crossProduct) <= kTolerance) return std::nullopt;
  // Perpendicular bisectors of ab and bc: (b − a)·X = (|b|² − |a|²)/2, etc.
  const double a1 = b.x - a.x, b1 = b.y - a.y;
  const double c1 = (b.x * b.x - a.x * a.x + b.y * b.y - a.y * a.y) / 2.0;
  const double a2 = c.x - b.x, b2 = c.y - b.y;
  const double c2 = (c.x * c.x - b.x * b.x + c.y * c.y - b.y * b.y) / 2.0;
  const double det = a1 * b2 - a2 * b1;  // equals crossProduct
  Circle circle;
  circle.centre = Point3{(c1 * b2 - c2 * b1) / det, (a1 * c2 - a2 * c1) / det, a.z};
  circle.radius = std::hypot(a.x - circle.centre.x, a.y - circle.centre.y);
  return circle;
}

std::optional<double> bulgeFromThreePoints(const Point3& a, const Point3& b, const Point3& c) {
  const auto circle = circleThrough(a, b, c);
  if (!circle) return std::nullopt;
  const double chord = distance(a, c);
  if (chord < kTolerance) return 0.0;
  const Point3& o = circle->centre;
  const double alpha = normalizeAngle(std::atan2(a.y - o.y, a.x - o.x));
  double beta = normalizeAngle(std::atan2(b.y - o.y, b.x - o.x));
  double gamma = normalizeAngle(std::atan2(c.y - o.y, c.x - o.x));
  while (beta < alpha) beta += kTwoPi;
  while (gamma < alpha) gamma += kTwoPi;
  double from = alpha, to = gamma;
  const bool counterClockwise = beta <= gamma;
  if (!counterClockwise) {
    from = normalizeAngle(gamma);
    to = alpha;
    while (to < from) to += kTwoPi;
  }
  const Point3 m = pointOnCircle(o, circle->radius, (from + to) / 2.0);
  const Point3 mid{(a.x + c.x) / 2.0, (a.y + c.y) / 2.0, 0.0};
  const double s = std::hypot(m.x - mid.x, m.y - mid.y);
  const double bulge = 2.0 * s / chord;
  return counterClockwise ? bulge : -bulge;
}

Point3 segmentMidpoint(const Point3& p, const Point3& q, double bulge) {
  if (const auto arc = bulgeToArc(p, q, bulge)) {
    const double a0 = unwrappedStart(*arc);
    return pointOnCircle(arc->centre, arc->radius, (a0 + arc->endAngle) / 2.0);
  }
  return Point3{(p.x + q.x) / 2.0, (p.y + q.y) / 2.0, (p.z + q.z) / 2.0};
}

bool segmentHitsWindow(const Point3& a, const Point3& b, const Point3& lo, const Point3& hi) {
  // Liang–Barsky clipping of the parameter range [0, 1].
  double t0 = 0.0, t1 = 1.0;
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a.x - lo.x, hi.x - a.x, a.y - lo.y, hi.y - a.y};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0.0) {
      t0 = std::max(t0, t);
    } else {
      t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
  }
  return true;
}

}  // namespace quillon::model
