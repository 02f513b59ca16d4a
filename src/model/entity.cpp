#include "model/entity.h"

#include "model/layer.h"

namespace quillon::model {

CEntity::CEntity(EntityType type) : type_(type) {}

CEntity::CEntity(const CEntity& other) : width_(other.width_), type_(other.type_) { assignBase(other); }

CEntity::~CEntity() = default;

void CEntity::assignBase(const CEntity& other) {
  handle_ = other.handle_;
  colour_ = other.colour_;
  savedColour_ = other.savedColour_;
  width_ = other.width_;
  length_ = other.length_;
  endSelector_ = other.endSelector_;
  drawn_ = other.drawn_;
  currentVertex_ = other.currentVertex_;
  currentOutline_ = other.currentOutline_;
  closed_ = other.closed_;
  consumed_ = other.consumed_;
  extents_ = other.extents_;
  approxDirty_ = true;
}

void CEntity::assign(const CEntity& other) { assignBase(other); }

settings::ColorIndex CEntity::displayColour() const {
  if ((colour_ <= 0 || colour_ == settings::kColorByLayer) && layer_ != nullptr) return layer_->colour();
  return colour_;
}

bool CEntity::getEndDirection(Point3&, Point3&, double) const { return false; }

void CEntity::autoClose(double) {}

void CEntity::roundWidth(const WidthRounder& round) {
  if (round) width_ = round(width_);
}

bool CEntity::isInsideWindow(const Point3& p1, const Point3& p2) const {
  if (!drawn_) return false;
  Box box;
  if (!getExtents(nullptr, box)) return false;
  return windowContains(p1, p2, box);
}

bool CEntity::moveGrip(const Point3&, int) { return false; }

CEntity* CEntity::next() const {
  if (layer_ == nullptr) return nullptr;
  auto it = position_;
  ++it;
  return it == layer_->entities_.end() ? nullptr : it->get();
}

CEntity* CEntity::prev() const {
  if (layer_ == nullptr || position_ == layer_->entities_.begin()) return nullptr;
  auto it = position_;
  --it;
  return it->get();
}

}  // namespace quillon::model
