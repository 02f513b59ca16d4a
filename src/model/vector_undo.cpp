#include "model/vector_undo.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>

#include "model/graph.h"
#include "settings/language_table.h"

namespace quillon::model {

UndoStep::~UndoStep() = default;

std::string undoStepName(std::string_view key, std::string_view englishDefault) {
  return settings::Text(key, englishDefault);
}

// --- entity-edit steps -----------------------------------------------------------

namespace {

uint32_t successorOf(const CEntity& entity) {
  const CEntity* next = entity.next();
  return next == nullptr ? 0 : next->handle();
}

std::unique_ptr<CEntity> savedCopy(const CEntity& entity) {
  auto copy = entity.clone();
  if (copy) copy->setSelected(false);
  return copy;
}

}  // namespace

bool EntityEditStep::recordEntity(const CEntity& entity, EditKind kind) {
  if (entity.layer() == nullptr) return false;
  Item item;
  item.kind = kind;
  item.entityHandle = entity.handle();
  item.layerHandle = entity.layer()->handle();
  item.successorHandle = successorOf(entity);
  item.saved = savedCopy(entity);
  if (!item.saved) return false;
  items_.push_back(std::move(item));
  return true;
}

bool EntityEditStep::recordSelection(const Selection& selection, EditKind kind) {
  const std::size_t before = items_.size();
  // A removal or layer move of each entity in turn means an entity's
  // successor at its own change is the next one not changed before it.
  const bool leaves = kind == EditKind::Deleted || kind == EditKind::MovedLayer;
  std::unordered_set<const CEntity*> gone;
  for (const CEntity* entity : selection) {
    if (entity == nullptr || !recordEntity(*entity, kind)) {
      items_.resize(before);
      return false;
    }
    if (!leaves) continue;
    const CEntity* next = entity->next();
    while (next != nullptr && gone.count(next) != 0) next = next->next();
    items_.back().successorHandle = next == nullptr ? 0 : next->handle();
    gone.insert(entity);
  }
  return true;
}

// The entities a step refers to (its items' entities and successors), by
// handle, found in one pass over the drawing and kept up to date while the
// step runs. Only those handles are held, so a small step on a large drawing
// costs one scan and no allocation per entity.
class EntityEditStep::Index {
 public:
  Index(const CGraph& graph, const std::vector<Item>& items) {
    byHandle_.reserve(items.size() * 2);
    for (const Item& item : items) {
      byHandle_.emplace(item.entityHandle, nullptr);
      if (item.successorHandle != 0) byHandle_.emplace(item.successorHandle, nullptr);
    }
    for (const auto& layer : graph.layers()) {
      for (const auto& entity : *layer) {
        const auto it = byHandle_.find(entity->handle());
        if (it != byHandle_.end()) it->second = entity.get();
      }
    }
  }
  CEntity* find(uint32_t handle) const {
    const auto it = byHandle_.find(handle);
    return it == byHandle_.end() ? nullptr : it->second;
  }
  void add(CEntity* entity) { byHandle_[entity->handle()] = entity; }
  void erase(uint32_t handle) { byHandle_[handle] = nullptr; }

 private:
  std::unordered_map<uint32_t, CEntity*> byHandle_;
};

namespace {

// Links entity into layer before successor (at the end when that is null
// or not in the layer).
CEntity* insertAt(CLayer& layer, CEntity* successor, std::unique_ptr<CEntity> entity) {
  if (successor != nullptr && successor->layer() == &layer) return layer.insertBefore(successor, std::move(entity));
  return layer.append(std::move(entity));
}

}  // namespace

bool EntityEditStep::apply(CGraph& graph, Index& index, Item& item, bool undoing) {
  CLayer* layer = graph.findLayerByHandle(item.layerHandle);
  if (layer == nullptr) return false;
  const bool remove = (item.kind == EditKind::Added) == undoing;
  switch (item.kind) {
    case EditKind::Added:
    case EditKind::Deleted: {
      if (remove) {
        CEntity* entity = index.find(item.entityHandle);
        if (entity == nullptr || entity->layer() != layer) return false;
        index.erase(item.entityHandle);
        layer->remove(entity);
        return true;
      }
      if (index.find(item.entityHandle) != nullptr) return false;  // already there: would duplicate a handle
      auto copy = savedCopy(*item.saved);
      if (!copy) return false;
      CEntity* added = insertAt(*layer, index.find(item.successorHandle), std::move(copy));
      index.add(added);
      return true;
    }
    case EditKind::MovedLayer: {
      CEntity* entity = index.find(item.entityHandle);
      if (entity == nullptr || entity->layer() == nullptr) return false;
      CLayer* from = entity->layer();
      const uint32_t fromSuccessor = successorOf(*entity);
      CEntity* successor = index.find(item.successorHandle);
      auto owned = from->detach(entity);
      insertAt(*layer, successor, std::move(owned));
      item.layerHandle = from->handle();
      item.successorHandle = fromSuccessor;
      return true;
    }
    case EditKind::Modified: {
      CEntity* entity = index.find(item.entityHandle);
      if (entity == nullptr) return false;
      auto previous = savedCopy(*entity);
      if (!previous) return false;
      entity->assign(*item.saved);
      item.saved = std::move(previous);
      return true;
    }
  }
  return false;
}

bool EntityEditStep::undo(CGraph& graph) {
  Index index(graph, items_);
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    if (!apply(graph, index, *it, true)) return false;
  }
  return true;
}

bool EntityEditStep::redo(CGraph& graph) {
  Index index(graph, items_);
  for (Item& item : items_) {
    if (!apply(graph, index, item, false)) return false;
  }
  return true;
}

// --- drawing-state steps ----------------------------------------------------------

DrawingStateStep::DrawingStateStep(std::string name, const CGraph& graph, Mode mode)
    : UndoStep(std::move(name)), mode_(mode) {
  if (mode_ == Mode::Settings) {
    settings_ = capture(graph);
  } else {
    drawing_ = std::make_unique<CGraph>();
    drawing_->copyVectorsFrom(graph);
  }
}

DrawingStateStep::~DrawingStateStep() = default;

DrawingStateStep::Settings DrawingStateStep::capture(const CGraph& graph) {
  Settings s;
  const CLayer* current = graph.currentLayer();
  s.currentLayer = current == nullptr ? 0 : current->handle();
  s.showRaster = graph.showRaster;
  s.showVectors = graph.showVectors;
  s.modified = graph.modified() && current != nullptr && !current->empty();
  s.osnapModes = graph.aids.osnapModes;
  s.osnapOn = graph.aids.osnapOn;
  s.gridOn = graph.aids.gridOn;
  s.gridOrigin = graph.aids.gridOrigin;
  s.gridAngle = graph.aids.gridAngle;
  s.gridSpacingX = graph.aids.gridSpacingX;
  s.gridSpacingY = graph.aids.gridSpacingY;
  s.orthoOn = graph.aids.orthoOn;
  s.currentColour = graph.currentColour;
  s.currentWidth = graph.currentWidth;
  s.unit = static_cast<int32_t>(graph.unit);
  return s;
}

bool DrawingStateStep::put(CGraph& graph, const Settings& s) {
  graph.showRaster = s.showRaster;
  graph.showVectors = s.showVectors;
  graph.aids.osnapModes = s.osnapModes;
  graph.aids.osnapOn = s.osnapOn;
  graph.aids.gridOn = s.gridOn;
  graph.aids.gridOrigin = s.gridOrigin;
  graph.aids.gridAngle = s.gridAngle;
  graph.aids.gridSpacingX = s.gridSpacingX;
  graph.aids.gridSpacingY = s.gridSpacingY;
  graph.aids.orthoOn = s.orthoOn;
  graph.currentColour = s.currentColour;
  graph.currentWidth = s.currentWidth;
  graph.unit = static_cast<Unit>(s.unit);
  graph.markModified(s.modified);
  return s.currentLayer == 0 || graph.setCurrentLayerByHandle(s.currentLayer);
}

bool DrawingStateStep::swap(CGraph& graph) {
  if (mode_ == Mode::WholeDrawing) {
    graph.swapVectors(*drawing_);
    return true;
  }
  const Settings now = capture(graph);
  const bool found = put(graph, settings_);
  settings_ = now;
  return found;
}

// --- the list ---------------------------------------------------------------------------

VectorUndoList::VectorUndoList() = default;
VectorUndoList::~VectorUndoList() = default;

void VectorUndoList::setDepth(int depth) { depth_ = depth >= 1 && depth <= kMaxDepth ? depth : kDefaultDepth; }

std::size_t VectorUndoList::appliedCount() const {
  // Applied steps form a prefix.
  std::size_t n = 0;
  while (n < steps_.size() && steps_[n]->applied()) ++n;
  return n;
}

void VectorUndoList::addStep(std::unique_ptr<UndoStep> step) {
  if (!step) return;
  steps_.resize(appliedCount());
  const auto keep = static_cast<std::size_t>(depth_ - 1);
  if (steps_.size() > keep) steps_.erase(steps_.begin(), steps_.end() - static_cast<std::ptrdiff_t>(keep));
  step->setApplied(true);
  steps_.push_back(std::move(step));
}

void VectorUndoList::clear() { steps_.clear(); }

std::string VectorUndoList::undo(CGraph& graph) {
  const std::size_t applied = appliedCount();
  if (applied == 0) return std::string();
  UndoStep& step = *steps_[applied - 1];
  step.setApplied(false);
  (void)step.undo(graph);
  graph.markModified(true);
  // The grips of entities the step changed must show their new geometry.
  if (!graph.selection().empty()) graph.rebuildGrips();
  return "Undo: " + step.name();
}

std::string VectorUndoList::redo(CGraph& graph) {
  const std::size_t applied = appliedCount();
  if (applied == steps_.size()) return std::string();
  UndoStep& step = *steps_[applied];
  step.setApplied(true);
  (void)step.redo(graph);
  graph.markModified(true);
  if (!graph.selection().empty()) graph.rebuildGrips();
  return "Redo: " + step.name();
}

namespace {
std::string historyLine(std::size_t position, const std::string& name) {
  char number[16];
  std::snprintf(number, sizeof number, "%2d", static_cast<int>(position));
  return std::string(number) + " - " + name;
}
}  // namespace

std::vector<std::string> VectorUndoList::undoHistory() const {
  std::vector<std::string> lines;
  const std::size_t applied = appliedCount();
  for (std::size_t i = 0; i < applied && lines.size() < kHistoryLength; ++i) {
    lines.push_back(historyLine(i + 1, steps_[i]->name()));
  }
  return lines;
}

std::vector<std::string> VectorUndoList::redoHistory() const {
  std::vector<std::string> lines;
  for (std::size_t i = appliedCount(); i < steps_.size() && lines.size() < kHistoryLength; ++i) {
    lines.push_back(historyLine(i + 1, steps_[i]->name()));
  }
  return lines;
}

std::string VectorUndoList::undoFromHistory(CGraph& graph, int k) {
  std::string status;
  const auto applied = static_cast<int>(appliedCount());
  if (k < 0 || k >= applied || k >= kHistoryLength) return status;
  for (int i = 0; i < applied - k; ++i) status = undo(graph);
  return status;
}

std::string VectorUndoList::redoFromHistory(CGraph& graph, int k) {
  std::string status;
  const auto waiting = static_cast<int>(steps_.size() - appliedCount());
  if (k < 0 || k >= waiting || k >= kHistoryLength) return status;
  for (int i = 0; i <= k; ++i) status = redo(graph);
  return status;
}

void recordAddedEntity(CGraph& graph, const CEntity* entity, std::string_view key, std::string_view englishDefault) {
  if (entity == nullptr) return;
  auto step = std::make_unique<EntityEditStep>(undoStepName(key, englishDefault));
  if (!step->recordEntity(*entity, EditKind::Added)) return;
  graph.undo.addStep(std::move(step));
}

void recordDrawingState(CGraph& graph, DrawingStateStep::Mode mode, std::string_view key,
                        std::string_view englishDefault) {
  graph.undo.addStep(std::make_unique<DrawingStateStep>(undoStepName(key, englishDefault), graph, mode));
}

}  // namespace quillon::model
