#include "model/graph.h"

#include <algorithm>
#include <cmath>

#include "model/arc.h"
#include "model/circle.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/solid.h"
#include "settings/language_table.h"

namespace quillon::model {

namespace {

// Colour of the grip previews.
constexpr settings::ColorIndex kPreviewColour = 7;
// The drawing extents with margin grow each half-size by 3 %.
constexpr double kExtentsMargin = 1.03;
// Answer of snapToGrid when the point was snapped.
constexpr int kGridSnapCode = 8;

}  // namespace

CGraph::CGraph() = default;

CGraph::~CGraph() {
  // Layers tell the drawing about every entity they delete, so they go first,
  // while the selection and grips still exist.
  selectAll(false);
  tempPolyline_.reset();
  layers_.clear();
}

void CGraph::copyVectorsFrom(const CGraph& other) {
  if (&other == this) return;
  selectAll(false);
  tempPolyline_.reset();
  layers_.clear();
  currentLayer_ = nullptr;
  for (const auto& layer : other.layers_) {
    auto copy = std::make_unique<CLayer>(*layer);
    copy->setGraph(this);
    if (layer.get() == other.currentLayer_) currentLayer_ = copy.get();
    layers_.push_back(std::move(copy));
  }
  handleCounter_ = std::max(handleCounter_, other.handleCounter_);
  showRaster = other.showRaster;
  showVectors = other.showVectors;
  aids = other.aids;
  currentColour = other.currentColour;
  currentWidth = other.currentWidth;
  unit = other.unit;
  newLayerColour = other.newLayerColour;
  for (auto& cached : extentsCache_) cached.valid = false;
  modified_ = other.modified_;
}

void CGraph::swapVectors(CGraph& other) {
  if (&other == this) return;
  selectAll(false);
  other.selectAll(false);
  std::swap(layers_, other.layers_);
  std::swap(currentLayer_, other.currentLayer_);
  for (auto& layer : layers_) layer->setGraph(this);
  for (auto& layer : other.layers_) layer->setGraph(&other);
  // Handles stay unique across both: neither drawing may hand out one the
  // other's entities carry.
  handleCounter_ = other.handleCounter_ = std::max(handleCounter_, other.handleCounter_);
  std::swap(showRaster, other.showRaster);
  std::swap(showVectors, other.showVectors);
  std::swap(aids, other.aids);
  std::swap(currentColour, other.currentColour);
  std::swap(currentWidth, other.currentWidth);
  std::swap(unit, other.unit);
  std::swap(newLayerColour, other.newLayerColour);
  std::swap(modified_, other.modified_);
  for (auto& cached : extentsCache_) cached.valid = false;
  for (auto& cached : other.extentsCache_) cached.valid = false;
}

// --- raster ------------------------------------------------------------------

bool CGraph::rasterExtents(Box& box) const {
  if (raster_.empty()) return false;
  box = Box{rasterObject_.x0, rasterObject_.x0 + raster_.width(), rasterObject_.y0,
            rasterObject_.y0 + raster_.height()};
  return true;
}

void CGraph::drawingToRaster(double x, double y, int& column, int& row) const {
  column = static_cast<int>(x - rasterObject_.x0 + 0.5);
  row = raster_.height() - static_cast<int>(y - rasterObject_.y0 + 0.5);
}

// --- layers --------------------------------------------------------------------

LayerList::iterator CGraph::findLayerIt(const CLayer* layer) {
  return std::find_if(layers_.begin(), layers_.end(), [&](const auto& l) { return l.get() == layer; });
}

CLayer* CGraph::setCurrentLayerByName(std::string_view name) {
  if (name.empty()) return nullptr;
  if (CLayer* existing = findLayer(name)) {
    currentLayer_ = existing;
    return existing;
  }
  auto layer = std::make_unique<CLayer>(std::string(name));
  layer->setColour(newLayerColour);
  return addLayer(std::move(layer));
}

CLayer* CGraph::addLayer(std::unique_ptr<CLayer> layer) {
  if (!layer) return nullptr;
  if (layer->handle() == 0) layer->setHandle(takeHandle());
  layer->setGraph(this);
  layers_.push_front(std::move(layer));
  currentLayer_ = layers_.front().get();
  markModified(true);
  return currentLayer_;
}

bool CGraph::setCurrentLayerByHandle(uint32_t handle) {
  CLayer* layer = findLayerByHandle(handle);
  if (layer == nullptr) return false;
  currentLayer_ = layer;
  return true;
}

bool CGraph::setCurrentLayerByIndex(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= layers_.size()) return false;
  currentLayer_ = std::next(layers_.begin(), index)->get();
  return true;
}

CLayer* CGraph::findLayer(std::string_view name) const {
  for (const auto& layer : layers_) {
    if (CLayer::sameName(layer->name(), name)) return layer.get();
  }
  return nullptr;
}

CLayer* CGraph::findLayerByHandle(uint32_t handle) const {
  for (const auto& layer : layers_) {
    if (layer->handle() == handle) return layer.get();
  }
  return nullptr;
}

CEntity* CGraph::findEntity(uint32_t handle) const {
  for (const auto& layer : layers_) {
    if (CEntity* entity = layer->findEntity(handle)) return entity;
  }
  return nullptr;
}

bool CGraph::deleteLayer(CLayer* layer) {
  const auto it = findLayerIt(layer);
  if (it == layers_.end()) return false;
  if (currentLayer_ == layer) {
    if (it == layers_.begin()) {
      const auto after = std::next(it);
      currentLayer_ = after == layers_.end() ? nullptr : after->get();
    } else {
      currentLayer_ = std::prev(it)->get();
    }
  }
  layers_.erase(it);
  markModified(true);
  return true;
}

void CGraph::removeAllLayers() {
  selectAll(false);
  layers_.clear();
  currentLayer_ = nullptr;
  markModified(true);
}

void CGraph::clearForTrace() {
  removeAllLayers();
  setCurrentLayerByName("Trace");
}

uint32_t CGraph::totalCount() const {
  uint32_t total = 0;
  for (const auto& layer : layers_) total += layer->count();
  return total;
}

// --- adding entities ---------------------------------------------------------------

CEntity* CGraph::addEntity(std::unique_ptr<CEntity> entity) {
  if (currentLayer_ == nullptr || !entity) return nullptr;
  CEntity* added = currentLayer_->append(std::move(entity));
  markModified(true);
  return added;
}

CEntity* CGraph::addNewEntity(std::unique_ptr<CEntity> entity) {
  if (currentLayer_ == nullptr || !entity) return nullptr;
  entity->setColour(currentColour);
  entity->setWidth(currentWidth);
  return addEntity(std::move(entity));
}

CLine* CGraph::addLine(const Point3& p1, const Point3& p2) {
  if (currentLayer_ == nullptr) return nullptr;
  return static_cast<CLine*>(addNewEntity(std::make_unique<CLine>(p1, p2)));
}

CPolyLine* CGraph::beginPolyline() {
  if (currentLayer_ == nullptr) return nullptr;
  tempPolyline_ = std::make_unique<CPolyLine>();
  tempPolyline_->setColour(currentColour);
  tempPolyline_->setWidth(currentWidth);
  return tempPolyline_.get();
}

void CGraph::addPolylineVertex(double x, double y, double startWidth, double endWidth, int flags) {
  if (!tempPolyline_) return;
  PolyVertex v;
  v.x = x;
  v.y = y;
  v.flags = flags;
  if (startWidth < -kTolerance || endWidth < -kTolerance) {
    startWidth = currentWidth;
    endWidth = currentWidth;
  }
  v.startWidth = startWidth;
  v.endWidth = endWidth;
  tempPolyline_->appendVertex(v);
}

CPolyLine* CGraph::finishPolyline(bool keep) {
  auto polyline = std::move(tempPolyline_);
  if (!keep || !polyline || currentLayer_ == nullptr) return nullptr;
  auto* added = static_cast<CPolyLine*>(addEntity(std::move(polyline)));
  recordAddedEntity(*this, added, "UndoDrawPLine", "Draw PolyLine");
  return added;
}

CSolid* CGraph::drawSolid(const Point3& p1, const Point3& p2, const Point3& p3) {
  if (currentLayer_ == nullptr) return nullptr;
  auto solid = CSolid::fromThreePoints(p1, p2, p3);
  if (!solid) return nullptr;
  auto* added = static_cast<CSolid*>(addNewEntity(std::move(solid)));
  recordAddedEntity(*this, added, "UndoDrawSolid", "Draw Solid");
  return added;
}

CCircle* CGraph::drawCircle(const Point3& centre, double radius) {
  if (currentLayer_ == nullptr) return nullptr;
  auto* added = static_cast<CCircle*>(
      addNewEntity(std::make_unique<CCircle>(Point3{centre.x, centre.y, 0.0}, std::fabs(radius))));
  recordAddedEntity(*this, added, "UndoDrawCircle", "Draw Circle");
  return added;
}

CCircle* CGraph::drawCircle3P(const Point3& p1, const Point3& p2, const Point3& p3) {
  if (currentLayer_ == nullptr) return nullptr;
  const auto circle = circleThrough(p1, p2, p3);
  if (!circle || circle->radius < kTolerance) return nullptr;
  auto* added = static_cast<CCircle*>(addNewEntity(std::make_unique<CCircle>(circle->centre, circle->radius)));
  recordAddedEntity(*this, added, "UndoDrawCircle", "Draw Circle");
  return added;
}

CArc* CGraph::drawArcCSE(const Point3& centre, const Point3& start, const Point3& end) {
  if (currentLayer_ == nullptr) return nullptr;
  if (samePoint(start, centre) || samePoint(end, centre) || samePoint(start, end)) return nullptr;
  const double radius = std::hypot(start.x - centre.x, start.y - centre.y);
  if (radius < kTolerance) return nullptr;
  const double a0 = std::atan2(start.y - centre.y, start.x - centre.x);
  const double a1 = std::atan2(end.y - centre.y, end.x - centre.x);
  auto* added = static_cast<CArc*>(addNewEntity(std::make_unique<CArc>(centre, radius, a0, a1)));
  recordAddedEntity(*this, added, "UndoDrawArc", "Draw Arc");
  return added;
}

CArc* CGraph::drawArc3P(const Point3& p1, const Point3& p2, const Point3& p3) {
  if (currentLayer_ == nullptr) return nullptr;
  const auto circle = circleThrough(p1, p2, p3);
  if (!circle || circle->radius < kTolerance) return nullptr;
  auto arc = std::make_unique<CArc>();
  if (!arc->setThroughPoints(p1, p2, p3)) return nullptr;
  auto* added = static_cast<CArc*>(addNewEntity(std::move(arc)));
  recordAddedEntity(*this, added, "UndoDrawArc", "Draw Arc");
  return added;
}

// --- state ----------------------------------------------------------------------------

void CGraph::markModified(bool flag) {
  modified_ = flag;
  if (flag) invalidateExtents();
}

void CGraph::invalidateExtents() const {
  for (auto& cached : extentsCache_) cached.valid = false;
}

bool CGraph::getDrawingExtents(Box& box, bool withMargin, bool includeRaster) const {
  CachedExtents& cached = extentsCache_[(withMargin ? 1 : 0) + (includeRaster ? 2 : 0)];
  if (cached.valid) {
    box = cached.box;
    return true;
  }
  bool any = false;
  if (includeRaster) any = rasterExtents(box);
  for (const auto& layer : layers_) {
    Box b;
    if (!layer->getExtents(nullptr, b)) continue;
    if (any) {
      box.include(b);
    } else {
      box = b;
      any = true;
    }
  }
  if (!any) return false;
  if (withMargin) {
    const double cx = (box.minX + box.maxX) / 2.0, cy = (box.minY + box.maxY) / 2.0;
    const double hw = (box.maxX - box.minX) / 2.0 * kExtentsMargin;
    const double hh = (box.maxY - box.minY) / 2.0 * kExtentsMargin;
    box = Box{cx - hw, cx + hw, cy - hh, cy + hh};
  }
  cached.box = box;
  cached.valid = true;
  return true;
}

// --- units ---------------------------------------------------------------------------------

double CGraph::pixelsPerUnit() { return pixelsPerUnit(unit); }

double CGraph::pixelsPerUnit(Unit u) {
  if (raster_.empty() || u == Unit::Pixel) return 1.0;
  int r = 0;
  if (!raster_.resolution(r) || r * 0.0254 <= 1.0) {
    r = raster::kDefaultPixelsPerMetre;
    (void)raster_.setResolution(r);
  }
  switch (u) {
    case Unit::Inch:
      return r * 0.0254;
    case Unit::Cm:
      return r * 0.01;
    case Unit::Mm:
      return r * 0.001;
    default:
      return 1.0;
  }
}

void CGraph::toUnit(double& x, double& y, std::string* name) {
  const bool convert = !raster_.empty();
  if (name != nullptr) *name = convert && unit != Unit::Pixel ? unitName(unit) : std::string();
  if (!convert) return;
  const double factor = pixelsPerUnit();
  x /= factor;
  y /= factor;
}

void CGraph::fromUnit(double& x, double& y) {
  if (raster_.empty()) return;
  const double factor = pixelsPerUnit();
  x *= factor;
  y *= factor;
}

std::string CGraph::unitName(Unit u) {
  switch (u) {
    case Unit::Inch:
      return settings::Text("UnitNameInch", "Inch");
    case Unit::Cm:
      return settings::Text("UnitNamecm", "cm");
    case Unit::Mm:
      return settings::Text("UnitNamemm", "mm");
    case Unit::Pixel:
      return settings::Text("UnitNamePixel", "Pixel");
  }
  return std::string();
}

// --- selection and grips ----------------------------------------------------------------

namespace {
void orderCorners(Point3& p1, Point3& p2) {
  if (p1.x > p2.x) std::swap(p1.x, p2.x);
  if (p1.y > p2.y) std::swap(p1.y, p2.y);
}
}  // namespace

bool CGraph::selectInside(Point3 p1, Point3 p2) {
  orderCorners(p1, p2);
  bool found = false;
  for (auto& layer : layers_) found = layer->selectInside(p1, p2, selection_) || found;
  if (found) rebuildGrips();
  return found;
}

bool CGraph::selectCrossing(Point3 p1, Point3 p2) {
  orderCorners(p1, p2);
  bool found = false;
  for (auto& layer : layers_) found = layer->selectCrossing(p1, p2, selection_) || found;
  if (found) rebuildGrips();
  return found;
}

void CGraph::clearSelection() {
  for (CEntity* entity : selection_) entity->setSelected(false);
  selection_.clear();
}

void CGraph::selectAll(bool flag) {
  gripOwners_.clear();
  grips_.clear();
  currentGrip_ = -1;
  clearSelection();
  if (!flag) return;
  bool found = false;
  for (auto& layer : layers_) found = layer->selectAll(true, selection_) || found;
  if (found) rebuildGrips();
}

void CGraph::select(CEntity* entity) {
  if (entity == nullptr || entity->selected()) return;
  entity->setSelected(true);
  entity->setCurrentVertex(1);
  entity->setCurrentOutline(1);
  entity->resetCurrentItem();
  selection_.push_back(entity);
  rebuildGrips();
}

bool CGraph::deleteSelection() {
  if (selection_.empty()) return false;
  // Selection and grips go first, so that removing each entity does not
  // rebuild the grips of the rest.
  const Selection doomed = selection_;
  // Recorded before the removals, which then follow the selection order.
  auto step = std::make_unique<EntityEditStep>(undoStepName("UndoDeleteVector", "Delete Vectors"));
  const bool recorded = step->recordSelection(doomed, EditKind::Deleted);
  selectAll(false);
  for (CEntity* entity : doomed) {
    if (entity->layer() != nullptr) entity->layer()->remove(entity);
  }
  markModified(true);
  if (recorded) undo.addStep(std::move(step));
  return true;
}

void CGraph::forgetEntity(CEntity* entity) {
  const auto it = std::find(selection_.begin(), selection_.end(), entity);
  if (it == selection_.end()) return;
  entity->setSelected(false);
  selection_.erase(it);
  rebuildGrips();
}

void CGraph::forgetEntitiesOf(const CLayer* layer) {
  const auto gone = std::remove_if(selection_.begin(), selection_.end(), [&](CEntity* e) {
    if (e->layer() != layer) return false;
    e->setSelected(false);
    return true;
  });
  if (gone == selection_.end()) return;
  selection_.erase(gone, selection_.end());
  rebuildGrips();
}

const Grip* CGraph::currentGrip() const {
  return currentGrip_ >= 0 ? &grips_[static_cast<std::size_t>(currentGrip_)] : nullptr;
}

void CGraph::rebuildGrips() {
  gripOwners_.clear();
  grips_.clear();
  currentGrip_ = -1;
  for (CEntity* entity : selection_) {
    GripOwner owner;
    owner.entity = entity;
    owner.preview = entity->clone();
    owner.preview->setColour(kPreviewColour);
    gripOwners_.push_back(std::move(owner));
    for (const GripPoint& g : entity->getGripPoints()) {
      grips_.push_back(Grip{g.point.x, g.point.y, gripOwners_.size() - 1, g.index, false, false});
    }
  }
}

bool CGraph::pickGrips(const Point3& p1, const Point3& p2) {
  bool any = false;
  for (Grip& g : grips_) {
    if (!g.picked && g.x >= p1.x && g.x <= p2.x && g.y >= p1.y && g.y <= p2.y) g.picked = true;
    any = any || g.picked;
  }
  return any;
}

void CGraph::highlightGrip(const CEntity* entity, int index) {
  if (currentGrip_ >= 0) grips_[static_cast<std::size_t>(currentGrip_)].highlighted = false;
  currentGrip_ = -1;
  for (std::size_t i = 0; i < grips_.size(); ++i) {
    if (gripOwners_[grips_[i].owner].entity == entity && grips_[i].index == index) {
      grips_[i].highlighted = true;
      currentGrip_ = static_cast<int>(i);
      return;
    }
  }
}

namespace {
void resetPreview(GripOwner& owner) {
  owner.preview->assign(*owner.entity);
  owner.preview->setColour(kPreviewColour);
}
}  // namespace

void CGraph::dragGrips(const Point3& position) {
  for (std::size_t o = 0; o < gripOwners_.size(); ++o) {
    GripOwner& owner = gripOwners_[o];
    bool reset = false;
    for (const Grip& g : grips_) {
      if (g.owner != o || !g.picked) continue;
      if (!reset) {
        resetPreview(owner);
        reset = true;
      }
      if (!owner.preview->moveGrip(position, g.index)) resetPreview(owner);
    }
  }
}

void CGraph::moveGrips(const Point3& position) {
  const CEntity* highlightedEntity = nullptr;
  int highlightedIndex = 0;
  if (const Grip* g = currentGrip()) {
    highlightedEntity = gripOwners_[g->owner].entity;
    highlightedIndex = g->index;
  }
  bool movedAny = false;
  auto step = std::make_unique<EntityEditStep>(undoStepName("UndoMoveGrip", "Move Grip Point"));
  for (std::size_t o = 0; o < gripOwners_.size(); ++o) {
    GripOwner& owner = gripOwners_[o];
    bool reset = false, moved = false;
    for (const Grip& g : grips_) {
      if (g.owner != o || !g.picked) continue;
      if (!reset) {
        resetPreview(owner);
        reset = true;
      }
      moved = owner.preview->moveGrip(position, g.index) || moved;
    }
    if (moved) {
      (void)step->recordEntity(*owner.entity, EditKind::Modified);
      const settings::ColorIndex colour = owner.entity->colour();
      owner.entity->assign(*owner.preview);
      owner.entity->setColour(colour);
      movedAny = true;
    }
  }
  if (movedAny) markModified(true);
  if (!step->empty()) undo.addStep(std::move(step));
  rebuildGrips();
  if (highlightedEntity != nullptr) highlightGrip(highlightedEntity, highlightedIndex);
}

// --- drawing -----------------------------------------------------------------------------------

void CGraph::draw(DrawView& view) {
  if (!showVectors) return;
  for (auto& layer : layers_) layer->draw(view);
  if (tempPolyline_) tempPolyline_->draw(view);
}

int CGraph::snapToGrid(Point3& point) const {
  if (!aids.gridOn || !aids.gridShown) return 0;
  if (!(aids.gridSpacingX > 0.0) || !(aids.gridSpacingY > 0.0)) return 0;
  const double c = std::cos(aids.gridAngle), s = std::sin(aids.gridAngle);
  const double dx = point.x - aids.gridOrigin.x, dy = point.y - aids.gridOrigin.y;
  double u = dx * c + dy * s;   // rotated by −angle
  double v = -dx * s + dy * c;
  const auto snap = [](double value, double spacing) {
    const double lower = std::floor(value / spacing) * spacing;
    return value - lower >= spacing / 2.0 ? lower + spacing : lower;
  };
  u = snap(u, aids.gridSpacingX);
  v = snap(v, aids.gridSpacingY);
  point.x = aids.gridOrigin.x + u * c - v * s;
  point.y = aids.gridOrigin.y + u * s + v * c;
  return kGridSnapCode;
}

}  // namespace quillon::model
