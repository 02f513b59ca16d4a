#include "model/layer.h"

#include <algorithm>
#include <cctype>

#include "model/graph.h"

namespace quillon::model {

bool CLayer::sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

CLayer::CLayer(std::string name) : name_(std::move(name)) {}

CLayer::CLayer(const CLayer& other)
    : handle_(other.handle_), name_(other.name_), visible_(other.visible_), colour_(other.colour_),
      graph_(other.graph_) {
  for (const auto& entity : other.entities_) {
    auto copy = entity->clone();
    copy->layer_ = this;
    entities_.push_back(std::move(copy));
    entities_.back()->position_ = std::prev(entities_.end());
  }
}

CLayer::~CLayer() { clear(); }

void CLayer::unlinked(CEntity& entity) {
  if (graph_ != nullptr) graph_->forgetEntity(&entity);
  entity.layer_ = nullptr;
  entity.position_ = EntityList::iterator{};
}

void CLayer::clear() {
  if (graph_ != nullptr) graph_->forgetEntitiesOf(this);
  entities_.clear();
}

void CLayer::draw(DrawView& view) {
  if (!visible_) return;
  for (auto& entity : entities_) entity->draw(view);
}

bool CLayer::getExtents(Box* running, Box& box) const {
  bool any = false;
  for (const auto& entity : entities_) {
    Box b;
    if (!entity->getExtents(nullptr, b)) continue;
    if (any) {
      box.include(b);
    } else {
      box = b;
      any = true;
    }
  }
  if (any && running != nullptr) running->include(box);
  return any;
}

namespace {
template <typename Test>
bool selectWhere(const EntityList& entities, Selection& selection, Test test) {
  bool found = false;
  for (const auto& entity : entities) {
    if (entity->selected() || !test(*entity)) continue;
    entity->setSelected(true);
    entity->setCurrentVertex(1);
    entity->setCurrentOutline(1);
    entity->resetCurrentItem();
    selection.push_back(entity.get());
    found = true;
  }
  return found;
}
}  // namespace

bool CLayer::selectCrossing(const Point3& p1, const Point3& p2, Selection& selection) {
  if (!visible_) return false;
  return selectWhere(entities_, selection, [&](const CEntity& e) { return e.hitWindow(p1, p2); });
}

bool CLayer::selectInside(const Point3& p1, const Point3& p2, Selection& selection) {
  if (!visible_) return false;
  return selectWhere(entities_, selection, [&](const CEntity& e) { return e.isInsideWindow(p1, p2); });
}

bool CLayer::selectAll(bool flag, Selection& selection) {
  if (!visible_ || !flag) return false;
  return selectWhere(entities_, selection, [](const CEntity&) { return true; });
}

bool CLayer::isValidName(std::string_view name) {
  if (name.empty()) return false;
  return std::all_of(name.begin() + 1, name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  });
}

void CLayer::setName(std::string_view name) {
  if (name.empty() || sameName(name, name_)) return;
  name_ = std::string(name);
}

CEntity* CLayer::link(EntityList::iterator at, std::unique_ptr<CEntity> entity) {
  if (!entity) return nullptr;
  if (entity->handle() == 0 && graph_ != nullptr) entity->setHandle(graph_->takeHandle());
  CEntity* raw = entity.get();
  raw->layer_ = this;
  raw->position_ = entities_.insert(at, std::move(entity));
  return raw;
}

CEntity* CLayer::append(std::unique_ptr<CEntity> entity) { return link(entities_.end(), std::move(entity)); }

CEntity* CLayer::prepend(std::unique_ptr<CEntity> entity) { return link(entities_.begin(), std::move(entity)); }

CEntity* CLayer::insertBefore(CEntity* before, std::unique_ptr<CEntity> entity) {
  if (before == nullptr || before->layer_ != this) return append(std::move(entity));
  return link(before->position_, std::move(entity));
}

std::unique_ptr<CEntity> CLayer::detach(CEntity* entity) {
  if (entity == nullptr || entity->layer_ != this) return nullptr;
  auto owned = std::move(*entity->position_);
  entities_.erase(entity->position_);
  unlinked(*owned);
  return owned;
}

bool CLayer::remove(CEntity* entity) { return detach(entity) != nullptr; }

size_t CLayer::removeIf(const std::function<bool(CEntity&)>& doomed) {
  size_t removed = 0;
  for (auto it = entities_.begin(); it != entities_.end();) {
    CEntity& entity = **it;
    if (!doomed(entity)) {
      ++it;
      continue;
    }
    unlinked(entity);
    it = entities_.erase(it);
    ++removed;
  }
  return removed;
}

std::unique_ptr<CEntity> CLayer::replace(CEntity* old, std::unique_ptr<CEntity> replacement) {
  if (old == nullptr || old->layer_ != this) return nullptr;
  if (replacement) link(old->position_, std::move(replacement));
  return detach(old);
}

void CLayer::takeAll(CLayer& other) {
  if (&other == this) return;
  while (!other.entities_.empty()) append(other.detach(other.entities_.front().get()));
}

uint32_t CLayer::recount() { return count(); }

CEntity* CLayer::findEntity(uint32_t handle) const {
  for (const auto& entity : entities_) {
    if (entity->handle() == handle) return entity.get();
  }
  return nullptr;
}

void CLayer::setAllColours(int colour) {
  for (auto& entity : entities_) {
    entity->setSavedColour(entity->colour());
    if (colour >= 0) entity->setColour(static_cast<settings::ColorIndex>(colour));
  }
}

void CLayer::restoreColours() {
  for (auto& entity : entities_) entity->setColour(entity->savedColour());
}

void CLayer::setAllWidths(double width) {
  for (auto& entity : entities_) entity->setWidth(width);
}

}  // namespace quillon::model
