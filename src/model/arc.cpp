#include "model/arc.h"

#include <algorithm>
#include <cmath>

#include "model/draw_view.h"

namespace quillon::model {

CArc::CArc() : CCircle(EntityType::Arc, Point3{}, 1.0) { updateEndPoints(); }

CArc::CArc(const Point3& centre, double radius, double startAngle, double endAngle)
    : CCircle(EntityType::Arc, centre, radius) {
  setAngles(startAngle, endAngle);
}

void CArc::setAngles(double startAngle, double endAngle) {
  startAngle_ = normalizeAngle(startAngle);
  endAngle_ = normalizeAngle(endAngle);
  if (startAngle_ > endAngle_) endAngle_ += kTwoPi;
  updateEndPoints();
}

void CArc::setCentre(const Point3& centre) {
  CCircle::setCentre(centre);
  updateEndPoints();
}

void CArc::setRadius(double radius) {
  CCircle::setRadius(radius);
  updateEndPoints();
}

void CArc::updateEndPoints() {
  startPoint_ = pointOnCircle(centre_, radius_, startAngle_);
  endPoint_ = pointOnCircle(centre_, radius_, endAngle_);
  geometryChanged();
}

Point3 CArc::middlePoint() const { return pointOnCircle(centre_, radius_, (startAngle_ + endAngle_) / 2.0); }

void CArc::buildDisplayPoints(double step, std::vector<PolyVertex>& points) const {
  points.clear();
  if (step >= 2.0 * radius_ - kTolerance) {
    points.push_back(displayPoint(startPoint_, width_));
    points.push_back(displayPoint(endPoint_, width_));
    return;
  }
  double angleStep = step > 0.0 ? 2.0 * std::asin(step / (2.0 * radius_)) : 0.0;
  angleStep = std::max(angleStep, kTwoPi / kMaxDisplayPoints);
  for (double a = startAngle_; a < endAngle_ - kTolerance; a += angleStep) {
    points.push_back(displayPoint(pointOnCircle(centre_, radius_, a), width_));
  }
  points.push_back(displayPoint(endPoint_, width_));
}

void CArc::draw(DrawView& view) {
  setDrawn(view.drawOpenPolyline(displayPoints(view.pixelSize()), DrawStyle{displayColour(), selected(), width_}));
}

bool CArc::hitWindow(const Point3& p1, const Point3& p2) const {
  if (!drawn()) return false;
  if (isInsideWindow(p1, p2)) return true;
  if (!windowOverlaps(p1, p2, cachedExtents())) return false;
  const auto inside = [&](const Point3& q) { return q.x >= p1.x && q.x <= p2.x && q.y >= p1.y && q.y <= p2.y; };
  if (inside(startPoint_) || inside(endPoint_)) return true;
  // Otherwise the arc crosses the window only through one of its edges.
  const auto onArc = [&](double x, double y) {
    double a = normalizeAngle(std::atan2(y - centre_.y, x - centre_.x));
    while (a < startAngle_) a += kTwoPi;
    return a <= endAngle_;
  };
  const double r2 = radius_ * radius_;
  for (const double x : {p1.x, p2.x}) {  // vertical edges
    const double d = r2 - (x - centre_.x) * (x - centre_.x);
    if (d < 0.0) continue;
    for (const double sign : {-1.0, 1.0}) {
      const double y = centre_.y + sign * std::sqrt(d);
      if (y >= p1.y && y <= p2.y && onArc(x, y)) return true;
    }
  }
  for (const double y : {p1.y, p2.y}) {  // horizontal edges
    const double d = r2 - (y - centre_.y) * (y - centre_.y);
    if (d < 0.0) continue;
    for (const double sign : {-1.0, 1.0}) {
      const double x = centre_.x + sign * std::sqrt(d);
      if (x >= p1.x && x <= p2.x && onArc(x, y)) return true;
    }
  }
  return false;
}

bool CArc::getExtents(Box* running, Box& box) const {
  box = Box::around(startPoint_.x, startPoint_.y);
  box.include(endPoint_.x, endPoint_.y);
  for (int q = 0; q < 4; ++q) {
    double a = q * kPi / 2.0;
    if (a < startAngle_) a += kTwoPi;
    if (a < endAngle_) {
      const Point3 p = pointOnCircle(centre_, radius_, a);
      box.include(p.x, p.y);
    }
  }
  cacheExtents(box);
  if (running != nullptr) running->include(box);
  return true;
}

void CArc::assign(const CEntity& other) {
  CCircle::assign(other);
  if (const auto* arc = dynamic_cast<const CArc*>(&other)) {
    startAngle_ = arc->startAngle_;
    endAngle_ = arc->endAngle_;
  }
  updateEndPoints();
}

std::unique_ptr<CEntity> CArc::clone() const {
  auto copy = std::make_unique<CArc>();
  copy->assign(*this);
  return copy;
}

GripPoints CArc::getGripPoints() const {
  return {GripPoint{startPoint_, 1}, GripPoint{middlePoint(), 2}, GripPoint{endPoint_, 3}};
}

bool CArc::moveGrip(const Point3& p, int index) {
  if (index < 1 || index > 3) return false;
  Point3 points[3] = {startPoint_, middlePoint(), endPoint_};
  points[index - 1] = p;
  return setThroughPoints(points[0], points[1], points[2]);
}

bool CArc::setThroughPoints(const Point3& a, const Point3& b, const Point3& c) {
  const auto circle = circleThrough(a, b, c);
  if (!circle) return false;
  const Point3& o = circle->centre;
  const double a1 = normalizeAngle(std::atan2(a.y - o.y, a.x - o.x));
  double a2 = normalizeAngle(std::atan2(b.y - o.y, b.x - o.x));
  double a3 = normalizeAngle(std::atan2(c.y - o.y, c.x - o.x));
  while (a2 < a1) a2 += kTwoPi;
  while (a3 < a1) a3 += kTwoPi;
  centre_ = Point3{o.x, o.y, centre_.z};
  radius_ = circle->radius;
  if (a3 >= a2) {
    setAngles(a1, a3);
  } else {
    setAngles(a3, a1);
  }
  return true;
}

}  // namespace quillon::model
