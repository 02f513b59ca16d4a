#include "model/circle.h"

#include <algorithm>
#include <cmath>

#include "model/draw_view.h"

namespace quillon::model {

namespace {

// The smallest point of the closed rectangle [lo, hi] to c and the farthest.
void distanceRange(const Point3& c, const Point3& lo, const Point3& hi, double& nearest, double& farthest) {
  const double nx = std::clamp(c.x, lo.x, hi.x) - c.x;
  const double ny = std::clamp(c.y, lo.y, hi.y) - c.y;
  nearest = std::hypot(nx, ny);
  const double fx = std::max(std::fabs(lo.x - c.x), std::fabs(hi.x - c.x));
  const double fy = std::max(std::fabs(lo.y - c.y), std::fabs(hi.y - c.y));
  farthest = std::hypot(fx, fy);
}
}  // namespace

PolyVertex CCircle::displayPoint(const Point3& p, double width) {
  PolyVertex v;
  v.x = p.x;
  v.y = p.y;
  v.startWidth = width;
  v.endWidth = width;
  return v;
}

CCircle::CCircle() : CCircle(EntityType::Circle, Point3{}, 1.0) {}

CCircle::CCircle(const Point3& centre, double radius) : CCircle(EntityType::Circle, centre, radius) {}

CCircle::CCircle(EntityType type, const Point3& centre, double radius)
    : CEntity(type), centre_(centre), radius_(std::fabs(radius)) {
  setClosed(true);
}

void CCircle::setCentre(const Point3& centre) {
  centre_ = centre;
  geometryChanged();
}

void CCircle::setRadius(double radius) {
  radius_ = std::fabs(radius);
  geometryChanged();
}

void CCircle::buildDisplayPoints(double step, std::vector<PolyVertex>& points) const {
  points.clear();
  if (step >= 2.0 * radius_ - kTolerance) {
    points.push_back(displayPoint(pointOnCircle(centre_, radius_, 0.0), width_));
    points.push_back(displayPoint(pointOnCircle(centre_, radius_, kPi), width_));
    return;
  }
  double angleStep = step > 0.0 ? 2.0 * std::asin(step / (2.0 * radius_)) : 0.0;
  angleStep = std::max(angleStep, kTwoPi / kMaxDisplayPoints);
  for (double a = 0.0; a < kTwoPi - kTolerance; a += angleStep) {
    points.push_back(displayPoint(pointOnCircle(centre_, radius_, a), width_));
  }
}

const std::vector<PolyVertex>& CCircle::displayPoints(double viewStep) const {
  const bool stale = !havePoints_ || approxDirty_ || pointsStep_ > viewStep || pointsStep_ < 0.2 * viewStep ||
                     pointsStep_ < kTolerance;
  if (stale) {
    buildDisplayPoints(viewStep, points_);
    pointsStep_ = viewStep;
    havePoints_ = true;
    approxDirty_ = false;
  }
  return points_;
}

void CCircle::draw(DrawView& view) {
  setDrawn(view.drawClosedPolyline(displayPoints(view.pixelSize()), DrawStyle{displayColour(), selected(), width_}));
}

bool CCircle::hitWindow(const Point3& p1, const Point3& p2) const {
  if (!drawn()) return false;
  if (isInsideWindow(p1, p2)) return true;
  if (!windowOverlaps(p1, p2, cachedExtents())) return false;
  // The rectangle is connected, so the circle passes through it exactly when
  // the radius lies between its nearest and farthest distance to the centre.
  double nearest = 0.0, farthest = 0.0;
  distanceRange(centre_, p1, p2, nearest, farthest);
  return nearest <= radius_ && radius_ <= farthest;
}

bool CCircle::getExtents(Box* running, Box& box) const {
  box = Box{centre_.x - radius_, centre_.x + radius_, centre_.y - radius_, centre_.y + radius_};
  cacheExtents(box);
  if (running != nullptr) running->include(box);
  return true;
}

void CCircle::assign(const CEntity& other) {
  assignBase(other);
  if (const auto* circle = dynamic_cast<const CCircle*>(&other)) {
    centre_ = circle->centre_;
    radius_ = circle->radius_;
  }
  geometryChanged();
}

std::unique_ptr<CEntity> CCircle::clone() const {
  auto copy = std::make_unique<CCircle>();
  copy->assign(*this);
  return copy;
}

GripPoints CCircle::getGripPoints() const {
  GripPoints grips{GripPoint{centre_, 0}};
  for (int i = 0; i < 4; ++i) grips.push_back(GripPoint{pointOnCircle(centre_, radius_, i * kPi / 2.0), i + 1});
  return grips;
}

bool CCircle::moveGrip(const Point3& p, int index) {
  if (index == 0) {
    setCentre(p);
    return true;
  }
  if (index >= 1 && index <= 4) {
    const double r = std::hypot(p.x - centre_.x, p.y - centre_.y);
    if (!(r > 0.0)) return false;
    setRadius(r);
    return true;
  }
  return false;
}

}  // namespace quillon::model
