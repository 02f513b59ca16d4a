#include "model/polypolygon.h"

#include <cmath>
#include <span>

#include "model/draw_view.h"

namespace quillon::model {

namespace {

// Three vertices on one line (or on one point).
bool isCollinearTriangle(const CPolyLine& outline) {
  const auto& v = outline.vertices();
  return v.size() == 3 && std::fabs(cross(v[0].point(), v[1].point(), v[2].point())) <= kTolerance;
}

// Replaces the three collinear vertices by a rectangle of width 0.5 along
// the first edge, counter-clockwise or clockwise.
void makeThinRectangle(CPolyLine& outline, bool counterClockwise) {
  auto& v = outline.editVertices();
  const PolyVertex a = v[0];
  PolyVertex b = v[1];
  if (distance(a.point(), b.point()) < 0.1 || samePoint(a.point(), b.point())) {
    b.x = a.x + 1.0;
    b.y = a.y;
  }
  const double angle = std::atan2(b.y - a.y, b.x - a.x) - kPi / 2.0;
  const double nx = 0.5 * std::cos(angle), ny = 0.5 * std::sin(angle);
  PolyVertex an = a, bn = a;
  an.x = a.x + nx;
  an.y = a.y + ny;
  PolyVertex bb = a;
  bb.x = b.x;
  bb.y = b.y;
  bn.x = b.x + nx;
  bn.y = b.y + ny;
  if (counterClockwise) {
    v = {a, an, bn, bb};
  } else {
    v = {a, bb, bn, an};
  }
  for (PolyVertex& p : v) p.bulge = 0.0;
}

// Winding number of the polygon of vertices around (x, y); 0 outside.
int windingNumber(std::span<const PolyVertex> polygon, double x, double y) {
  int winding = 0;
  const std::size_t n = polygon.size();
  for (std::size_t i = 0; i < n; ++i) {
    const PolyVertex& a = polygon[i];
    const PolyVertex& b = polygon[(i + 1) % n];
    const double side = (b.x - a.x) * (y - a.y) - (x - a.x) * (b.y - a.y);
    if (a.y <= y) {
      if (b.y > y && side > 0.0) ++winding;
    } else if (b.y <= y && side < 0.0) {
      --winding;
    }
  }
  return winding;
}

}  // namespace

CPolyPolygon::CPolyPolygon() : CEntity(EntityType::PolyPolygon) {}

void CPolyPolygon::resetCurrentItem() {
  for (auto& outline : outlines_) outline->setCurrentVertex(1);
}

int CPolyPolygon::getVertexCount() const {
  int count = 0;
  for (const auto& outline : outlines_) count += outline->getVertexCount();
  return count;
}

bool CPolyPolygon::appendOutline(std::unique_ptr<CPolyLine> outline) {
  if (!outline || outline->getVertexCount() < 2) return false;
  outlines_.push_back(std::move(outline));
  approxDirty_ = true;
  return true;
}

bool CPolyPolygon::removeOutline(std::size_t i) {
  if (i == 0 || i >= outlines_.size()) return false;
  outlines_.erase(outlines_.begin() + static_cast<std::ptrdiff_t>(i));
  approxDirty_ = true;
  return true;
}

void CPolyPolygon::finish() {
  if (!outlines_.empty()) {
    if (isCollinearTriangle(*outlines_[0])) makeThinRectangle(*outlines_[0], true);
    const auto& boundary = outlines_[0]->vertices();
    for (std::size_t i = 1; i < outlines_.size();) {
      CPolyLine& hole = *outlines_[i];
      if (isCollinearTriangle(hole)) makeThinRectangle(hole, false);
      bool outside = false;
      for (const PolyVertex& v : hole.vertices()) {
        if (windingNumber(boundary, v.x, v.y) == 0) {
          outside = true;
          break;
        }
      }
      if (outside) {
        removeOutline(i);
      } else {
        ++i;
      }
    }
  }
  buffer_.clear();
  counts_.clear();
  approxDirty_ = true;
}

const std::vector<PolyVertex>& CPolyPolygon::bufferPoints(double viewStep) {
  bool stale = approxDirty_ || counts_.size() != outlines_.size();
  for (const auto& outline : outlines_) {
    if (stale) break;
    if (outline->isStraight()) continue;
    const double s = outline->approximationStep();
    if (!outline->hasApproximation() || outline->approxDirty() || s < 0.2 * viewStep || s > viewStep) stale = true;
  }
  if (!stale) return buffer_;
  buffer_.clear();
  counts_.clear();
  for (std::size_t i = 0; i < outlines_.size();) {
    const auto& points = outlines_[i]->displayPoints(viewStep);
    if (points.empty() && i > 0) {
      outlines_.erase(outlines_.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    buffer_.insert(buffer_.end(), points.begin(), points.end());
    counts_.push_back(static_cast<int>(points.size()));
    ++i;
  }
  approxDirty_ = false;
  return buffer_;
}

void CPolyPolygon::draw(DrawView& view) {
  if (outlines_.empty()) return;
  const auto& points = bufferPoints(view.pixelSize());
  setDrawn(view.drawPolyPolygon(points, counts_, DrawStyle{displayColour(), selected(), 0.0}));
}

bool CPolyPolygon::hitWindow(const Point3& p1, const Point3& p2) const {
  if (!drawn()) return false;
  if (isInsideWindow(p1, p2)) return true;
  if (outlines_.empty() || !windowOverlaps(p1, p2, cachedExtents())) return false;
  for (const auto& outline : outlines_) {
    if (outline->hitWindow(p1, p2)) return true;
  }
  return false;
}

bool CPolyPolygon::getExtents(Box* running, Box& box) const {
  bool any = false;
  for (const auto& outline : outlines_) {
    Box b;
    if (!outline->getExtents(nullptr, b)) continue;
    if (any) {
      box.include(b);
    } else {
      box = b;
      any = true;
    }
  }
  if (!any) return false;
  cacheExtents(box);
  if (running != nullptr) running->include(box);
  return true;
}

int CPolyPolygon::getGripCount() const {
  int count = 0;
  for (const auto& outline : outlines_) count += outline->getGripCount();
  return count;
}

GripPoints CPolyPolygon::getGripPoints() const {
  GripPoints grips;
  int offset = 0;
  for (const auto& outline : outlines_) {
    const GripPoints own = outline->getGripPoints();
    for (const GripPoint& g : own) grips.push_back(GripPoint{g.point, g.index + offset});
    offset += static_cast<int>(own.size());
  }
  return grips;
}

bool CPolyPolygon::moveGrip(const Point3& p, int index) {
  for (auto& outline : outlines_) {
    const int count = outline->getGripCount();
    if (index < count) {
      const bool moved = outline->moveGrip(p, index);
      if (moved) approxDirty_ = true;
      return moved;
    }
    index -= count;
  }
  return false;
}

void CPolyPolygon::assign(const CEntity& other) {
  if (&other == this) return;
  assignBase(other);
  if (const auto* poly = dynamic_cast<const CPolyPolygon*>(&other)) {
    outlines_.clear();
    for (const auto& outline : poly->outlines_) {
      auto copy = std::make_unique<CPolyLine>();
      copy->assign(*outline);
      outlines_.push_back(std::move(copy));
    }
    seedX = poly->seedX;
    seedY = poly->seedY;
    buffer_.clear();
    counts_.clear();
  }
}

std::unique_ptr<CEntity> CPolyPolygon::clone() const {
  auto copy = std::make_unique<CPolyPolygon>();
  copy->assign(*this);
  return copy;
}

}  // namespace quillon::model
