#include "model/explode.h"

#include <charconv>
#include <cmath>
#include <utility>
#include <vector>

#include "model/arc.h"
#include "model/polyline.h"
#include "settings/language_table.h"
#include "settings/width_series.h"

namespace quillon::model {

namespace {

// An entity matches a width layer when its width lies this close (pixels).
constexpr double kWidthMatch = 0.0001;

// The entity one segment P→Q of a polyline becomes, or null for none.
std::unique_ptr<CEntity> segmentEntity(const PolyVertex& p, const PolyVertex& q) {
  if (p.hasBulge()) {
    if (distance(p.point(), q.point()) / 2.0 <= kTolerance) return nullptr;
    const auto arc = bulgeToArc(p.point(), q.point(), p.bulge);
    if (!arc) return nullptr;
    double a0 = arc->startAngle, a1 = arc->endAngle;
    if (!arc->counterClockwise) std::swap(a0, a1);  // a CArc always runs counter-clockwise
    auto entity = std::make_unique<CArc>(arc->centre, arc->radius, a0, a1);
    entity->setWidth(p.startWidth);
    return entity;
  }
  if (p.x == q.x && p.y == q.y) return nullptr;
  auto segment = std::make_unique<CPolyLine>();
  PolyVertex start;
  start.setPoint(p.point());
  start.startWidth = p.startWidth;
  PolyVertex end;
  end.setPoint(q.point());
  segment->appendVertex(start);
  segment->appendVertex(end);
  return segment;
}

}  // namespace

bool explodePolyline(CPolyLine& polyline, EntityEditStep* step) {
  CLayer* layer = polyline.layer();
  const auto& v = polyline.vertices();
  if (layer == nullptr || v.size() < 3) return false;
  const std::size_t segments = polyline.isClosed() ? v.size() : v.size() - 1;
  for (std::size_t i = 0; i < segments; ++i) {
    auto entity = segmentEntity(v[i], v[(i + 1) % v.size()]);
    if (!entity) continue;
    CEntity* added = layer->prepend(std::move(entity));
    if (step != nullptr) (void)step->recordEntity(*added, EditKind::Added);
  }
  return true;
}

bool explodeAndRemove(CPolyLine& polyline, EntityEditStep* step) {
  if (!explodePolyline(polyline, step)) return false;
  // Recorded whole (vertices and all), so that undo brings it back as it was.
  if (step != nullptr) (void)step->recordEntity(polyline, EditKind::Deleted);
  polyline.layer()->remove(&polyline);
  return true;
}

int explodeAll(CLayer& layer, EntityEditStep* step) {
  // The layer changes while it is exploded: take the polylines first.
  std::vector<CPolyLine*> polylines;
  for (const auto& entity : layer) {
    if (entity->type() == EntityType::PolyLine) polylines.push_back(static_cast<CPolyLine*>(entity.get()));
  }
  int exploded = 0;
  for (CPolyLine* polyline : polylines) {
    if (explodeAndRemove(*polyline, step)) ++exploded;
  }
  return exploded;
}

ExplodeCounts explode(CGraph& graph, bool all) {
  ExplodeCounts counts;
  counts.oldCount = graph.totalCount();
  auto step = std::make_unique<EntityEditStep>(undoStepName("UndoExplode", "Explode PolyLines"));
  // The selection goes first, so that removing each exploded polyline does
  // not rebuild the grips of the rest.
  const Selection chosen = graph.selection();
  graph.selectAll(false);
  if (all || chosen.empty()) {
    for (const auto& layer : graph.layers()) explodeAll(*layer, step.get());
  } else {
    for (CEntity* entity : chosen) {
      if (entity->type() == EntityType::PolyLine) explodeAndRemove(*static_cast<CPolyLine*>(entity), step.get());
    }
  }
  graph.markModified(true);
  graph.undo.addStep(std::move(step));
  counts.newCount = graph.totalCount();
  return counts;
}

std::string explodeMessage(const ExplodeCounts& counts) {
  return settings::Text("MainExplodeSuccess", "Explode successfully!") + "\n" +
         settings::Text("MainExplodeOldVectorNum", "Old vector number:") + " " + std::to_string(counts.oldCount) +
         "\n" + settings::Text("MainExplodeNewVectorNum", "New vector number:") + " " +
         std::to_string(counts.newCount);
}

std::string explodeHint() {
  return settings::Text("MainActExplodeHint", "Explode polyline into 1-seg polyline and arc");
}

// --- separate layers ------------------------------------------------------------------

std::string widthLayerName(double width) {
  // Fixed notation with 4 decimals, independent of the C locale.
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, width, std::chars_format::fixed, 4);
  std::string name(buffer, result.ec == std::errc{} ? result.ptr : buffer);
  if (const auto dot = name.find('.'); dot != std::string::npos) name[dot] = '_';
  return name;
}

bool widthOfLayerName(const std::string& name, double& width) {
  std::string text = name;
  if (const auto underscore = text.find('_'); underscore != std::string::npos) text[underscore] = '.';
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  const auto result = std::from_chars(first, last, width);
  return result.ec == std::errc{} && result.ptr == last;
}

bool createWidthLayers(CGraph& graph, const settings::WidthSeries& series, LayerList& widthLayers) {
  if (series.empty()) return false;
  for (const double width : series.widths()) {
    const std::string name = widthLayerName(width);
    bool exists = false;
    for (const auto& layer : widthLayers) exists = exists || CLayer::sameName(layer->name(), name);
    if (exists) continue;
    auto layer = std::make_unique<CLayer>(name);
    layer->setColour(graph.newLayerColour);
    layer->setHandle(graph.takeHandle());
    layer->setGraph(&graph);
    widthLayers.push_front(std::move(layer));
  }
  return true;
}

void distributeByWidth(CLayer& layer, const LayerList& widthLayers, const settings::WidthSeries& series,
                       int resolution) {
  double factor = 1.0;
  if (series.unit() != settings::WidthSeries::kUnitPixel && resolution > 0) {
    switch (series.unit()) {
      case settings::WidthSeries::kUnitInch:
        factor = resolution * 0.0254;
        break;
      case settings::WidthSeries::kUnitCm:
        factor = resolution * 0.01;
        break;
      default:
        factor = resolution * 0.001;
        break;
    }
  }
  std::vector<std::pair<CLayer*, double>> targets;
  for (const auto& target : widthLayers) {
    double width = 0.0;
    if (widthOfLayerName(target->name(), width)) targets.emplace_back(target.get(), width * factor);
  }
  std::vector<CEntity*> entities;
  for (const auto& entity : layer) entities.push_back(entity.get());
  for (CEntity* entity : entities) {
    const double width = entity->getWidth();
    for (const auto& [target, targetWidth] : targets) {
      if (std::fabs(targetWidth - width) < kWidthMatch) {
        target->append(layer.detach(entity));
        break;
      }
    }
  }
}

bool separateLayers(CGraph& graph, const settings::WidthSeries& series) {
  if (series.empty()) return false;
  recordDrawingState(graph, DrawingStateStep::Mode::WholeDrawing, "UndoModifyLayers", "Modify Layers");
  graph.selectAll(false);
  LayerList widthLayers;
  createWidthLayers(graph, series, widthLayers);
  int resolution = 0;
  if (!graph.raster().resolution(resolution)) resolution = 0;
  for (const auto& layer : graph.layers()) distributeByWidth(*layer, widthLayers, series, resolution);
  auto other = std::make_unique<CLayer>("other");
  other->setColour(graph.newLayerColour);
  other->setHandle(graph.takeHandle());
  other->setGraph(&graph);
  for (const auto& layer : graph.layers()) other->takeAll(*layer);
  graph.removeAllLayers();
  // The drawing's list would now read "other" and then the width layers from
  // the last created; taking it apart from the front and adding each layer
  // that has entities at the front again reverses it.
  widthLayers.push_front(std::move(other));
  for (auto& layer : widthLayers) {
    if (!layer->empty()) graph.addLayer(std::move(layer));
  }
  graph.markModified(true);
  return true;
}

}  // namespace quillon::model
