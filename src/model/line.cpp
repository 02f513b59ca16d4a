#include "model/line.h"

#include "model/draw_view.h"

namespace quillon::model {

CLine::CLine() : CEntity(EntityType::Line) {}

CLine::CLine(const Point3& start, const Point3& end) : CEntity(EntityType::Line) {
  start_.setPoint(start);
  end_.setPoint(end);
  updateLength();
}

void CLine::setStart(const Point3& p) {
  start_.setPoint(p);
  updateLength();
}

void CLine::setEnd(const Point3& p) {
  end_.setPoint(p);
  updateLength();
}

void CLine::updateLength() {
  setStoredLength(distance(start_.point(), end_.point()));
  approxDirty_ = true;
}

void CLine::draw(DrawView& view) {
  setDrawn(view.drawSegment(start_.point(), end_.point(), DrawStyle{displayColour(), selected(), width_}));
}

bool CLine::hitWindow(const Point3& p1, const Point3& p2) const {
  if (!drawn()) return false;
  if (isInsideWindow(p1, p2)) return true;
  if (!windowOverlaps(p1, p2, cachedExtents())) return false;
  return segmentHitsWindow(start_.point(), end_.point(), p1, p2);
}

bool CLine::getExtents(Box* running, Box& box) const {
  box = Box::around(start_.x, start_.y);
  box.include(end_.x, end_.y);
  cacheExtents(box);
  if (running != nullptr) running->include(box);
  return true;
}

void CLine::assign(const CEntity& other) {
  assignBase(other);
  if (const auto* line = dynamic_cast<const CLine*>(&other)) {
    start_ = line->start_;
    end_ = line->end_;
  }
}

std::unique_ptr<CEntity> CLine::clone() const { return std::make_unique<CLine>(*this); }

GripPoints CLine::getGripPoints() const {
  const Point3 a = start_.point(), b = end_.point();
  return {GripPoint{a, 0}, GripPoint{Point3{(a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2}, 1},
          GripPoint{b, 2}};
}

bool CLine::moveGrip(const Point3& p, int index) {
  switch (index) {
    case 0:
      setStart(p);
      return true;
    case 2:
      setEnd(p);
      return true;
    case 1: {
      const double dx = p.x - (start_.x + end_.x) / 2;
      const double dy = p.y - (start_.y + end_.y) / 2;
      const double dz = p.z - (start_.z + end_.z) / 2;
      start_.setPoint(Point3{start_.x + dx, start_.y + dy, start_.z + dz});
      end_.setPoint(Point3{end_.x + dx, end_.y + dy, end_.z + dz});
      updateLength();
      return true;
    }
    default:
      return false;
  }
}

}  // namespace quillon::model
