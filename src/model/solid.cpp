#include "model/solid.h"

#include "model/draw_view.h"

namespace quillon::model {

namespace {
constexpr std::size_t kMaxSolidPoints = 4;
}

CSolid::CSolid() : CEntity(EntityType::Solid) {}

std::unique_ptr<CSolid> CSolid::fromThreePoints(const Point3& p1, const Point3& p2, const Point3& p3) {
  const double c = cross(p1, p2, p3);
  if (c <= kTolerance && c >= -kTolerance) return nullptr;
  auto solid = std::make_unique<CSolid>();
  solid->addPoint(p1);
  solid->addPoint(c > 0.0 ? p2 : p3);
  solid->addPoint(c > 0.0 ? p3 : p2);
  return solid;
}

bool CSolid::addPoint(const Point3& p) {
  if (points_.size() >= kMaxSolidPoints) return false;
  points_.push_back(p);
  approxDirty_ = true;
  return true;
}

void CSolid::draw(DrawView& view) {
  if (points_.size() < 3) return;
  setDrawn(view.drawSolid(points_, DrawStyle{displayColour(), selected(), 0.0}));
}

bool CSolid::hitWindow(const Point3& p1, const Point3& p2) const {
  if (!drawn()) return false;
  if (isInsideWindow(p1, p2)) return true;
  if (points_.empty() || !windowOverlaps(p1, p2, cachedExtents())) return false;
  for (std::size_t i = 0; i < points_.size(); ++i) {
    if (segmentHitsWindow(points_[i], points_[(i + 1) % points_.size()], p1, p2)) return true;
  }
  return false;
}

bool CSolid::getExtents(Box* running, Box& box) const {
  if (points_.empty()) return false;
  box = Box::around(points_.front().x, points_.front().y);
  for (const Point3& p : points_) box.include(p.x, p.y);
  cacheExtents(box);
  if (running != nullptr) running->include(box);
  return true;
}

void CSolid::assign(const CEntity& other) {
  assignBase(other);
  if (const auto* solid = dynamic_cast<const CSolid*>(&other)) points_ = solid->points_;
}

std::unique_ptr<CEntity> CSolid::clone() const {
  auto copy = std::make_unique<CSolid>();
  copy->assign(*this);
  return copy;
}

GripPoints CSolid::getGripPoints() const {
  GripPoints grips;
  for (std::size_t i = 0; i < points_.size(); ++i) grips.push_back(GripPoint{points_[i], static_cast<int>(i)});
  return grips;
}

bool CSolid::moveGrip(const Point3& p, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= points_.size()) return false;
  points_[static_cast<std::size_t>(index)] = p;
  approxDirty_ = true;
  return true;
}

}  // namespace quillon::model
