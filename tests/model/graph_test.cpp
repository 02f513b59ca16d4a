#include "model/graph.h"

#include <gtest/gtest.h>

#include <cmath>

#include "model/arc.h"
#include "model/circle.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/solid.h"
#include "recording_view.h"

namespace quillon::model {
namespace {

constexpr double kEps = 1e-9;

std::unique_ptr<CLine> line(double x1, double y1, double x2, double y2) {
  return std::make_unique<CLine>(Point3{x1, y1, 0}, Point3{x2, y2, 0});
}

std::vector<std::string> layerNames(const CGraph& g) {
  std::vector<std::string> names;
  for (const auto& layer : g.layers()) names.push_back(layer->name());
  return names;
}

TEST(Graph, TraceLayerIsFoundWithoutRegardToCase) {
  CGraph g;
  EXPECT_EQ(g.currentLayer(), nullptr);
  g.clearForTrace();
  CLayer* trace = g.currentLayer();
  ASSERT_NE(trace, nullptr);
  EXPECT_EQ(trace->name(), "Trace");
  EXPECT_EQ(trace->colour(), kDefaultLayerColour);
  EXPECT_EQ(g.setCurrentLayerByName("trace"), trace);
  EXPECT_EQ(g.layers().size(), 1u);
  EXPECT_EQ(g.setCurrentLayerByName(""), nullptr);
  EXPECT_EQ(g.currentLayer(), trace);
}

TEST(Graph, NewLayersGoToTheFrontAndDeletingMovesTheCurrentLayer) {
  CGraph g;
  g.addLayer(std::make_unique<CLayer>("A"));
  g.addLayer(std::make_unique<CLayer>("B"));
  g.addLayer(std::make_unique<CLayer>("C"));
  EXPECT_EQ(layerNames(g), (std::vector<std::string>{"C", "B", "A"}));
  EXPECT_EQ(g.currentLayer()->name(), "C");
  ASSERT_TRUE(g.setCurrentLayerByIndex(1));
  EXPECT_EQ(g.currentLayer()->name(), "B");
  EXPECT_FALSE(g.setCurrentLayerByIndex(3));
  // Current layer in the middle: the one before it becomes current.
  ASSERT_TRUE(g.deleteLayer(g.currentLayer()));
  EXPECT_EQ(g.currentLayer()->name(), "C");
  // Current layer first: the next one becomes current.
  ASSERT_TRUE(g.deleteLayer(g.currentLayer()));
  EXPECT_EQ(g.currentLayer()->name(), "A");
  CLayer stranger("X");
  EXPECT_FALSE(g.deleteLayer(&stranger));
  ASSERT_TRUE(g.deleteLayer(g.currentLayer()));
  EXPECT_EQ(g.currentLayer(), nullptr);
  EXPECT_EQ(g.addEntity(line(0, 0, 1, 1)), nullptr);
}

TEST(Graph, HandlesComeFromOneCounterInCreationOrder) {
  CGraph g;
  g.clearForTrace();  // layer 48
  EXPECT_EQ(g.currentLayer()->handle(), 48u);
  CEntity* a = g.addEntity(line(0, 0, 1, 0));
  CEntity* b = g.addEntity(line(0, 0, 2, 0));
  g.setCurrentLayerByName("Other");
  CEntity* c = g.addEntity(std::make_unique<CCircle>(Point3{}, 1));
  EXPECT_EQ(a->handle(), 49u);
  EXPECT_EQ(b->handle(), 50u);
  EXPECT_EQ(g.currentLayer()->handle(), 51u);
  EXPECT_EQ(c->handle(), 52u);
  EXPECT_EQ(g.findEntity(50), b);
  EXPECT_EQ(g.findLayerByHandle(51), g.currentLayer());
  // Moving an entity between layers keeps its handle.
  auto moved = b->layer()->detach(b);
  g.currentLayer()->append(std::move(moved));
  EXPECT_EQ(b->handle(), 50u);
  EXPECT_EQ(g.totalCount(), 3u);
  // The counter is not reset by clearing the drawing.
  g.clearForTrace();
  EXPECT_EQ(g.currentLayer()->handle(), 53u);
}

TEST(Layer, ListOrderAndReplacement) {
  CGraph g;
  g.clearForTrace();
  CLayer& layer = *g.currentLayer();
  CEntity* a = layer.append(line(0, 0, 1, 0));
  CEntity* c = layer.append(line(0, 0, 3, 0));
  CEntity* b = layer.insertBefore(c, line(0, 0, 2, 0));
  CEntity* z = layer.prepend(line(0, 0, 9, 0));
  EXPECT_EQ(layer.first(), z);
  EXPECT_EQ(z->next(), a);
  EXPECT_EQ(a->next(), b);
  EXPECT_EQ(c->prev(), b);
  EXPECT_EQ(c->next(), nullptr);
  auto old = layer.replace(b, line(5, 5, 6, 6));
  ASSERT_TRUE(old);
  EXPECT_EQ(old->layer(), nullptr);
  EXPECT_EQ(a->next()->getStartPoint().x, 5.0);
  EXPECT_EQ(a->next()->next(), c);
  EXPECT_TRUE(layer.remove(z));
  EXPECT_FALSE(layer.remove(z == a ? nullptr : old.get()));
  EXPECT_EQ(layer.count(), 3u);
  CLayer other("Other");
  other.takeAll(layer);
  EXPECT_TRUE(layer.empty());
  EXPECT_EQ(other.first(), a);
  EXPECT_EQ(a->layer(), &other);
}

TEST(Layer, CopyClonesEveryEntity) {
  CLayer layer("L");
  layer.setColour(3);
  layer.append(line(0, 0, 1, 0));
  layer.append(std::make_unique<CArc>(Point3{}, 1, 0, 1));
  CLayer copy(layer);
  ASSERT_EQ(copy.count(), 2u);
  EXPECT_NE(copy.first(), layer.first());
  EXPECT_EQ(copy.first()->layer(), &copy);
  EXPECT_EQ(copy.last()->type(), EntityType::Arc);
  EXPECT_EQ(copy.last()->displayColour(), 3);
}

TEST(Graph, UnitConversionFollowsTheRasterResolution) {
  CGraph g;
  double x = 300, y = 600;
  std::string name = "?";
  g.unit = Unit::Inch;
  g.toUnit(x, y, &name);  // no raster: no conversion
  EXPECT_DOUBLE_EQ(x, 300.0);
  EXPECT_EQ(name, "");
  ASSERT_TRUE(g.raster().create(8, 8, 1));
  ASSERT_TRUE(g.raster().setResolution(11811));  // 300 dpi
  g.toUnit(x, y, &name);
  EXPECT_NEAR(x, 1.0, 1e-4);
  EXPECT_NEAR(y, 2.0, 1e-4);
  EXPECT_EQ(name, "Inch");
  g.fromUnit(x, y);
  EXPECT_NEAR(x, 300.0, kEps);
  EXPECT_NEAR(g.pixelsPerUnit(Unit::Cm), 118.11, kEps);
  EXPECT_NEAR(g.pixelsPerUnit(Unit::Mm), 11.811, kEps);
  EXPECT_DOUBLE_EQ(g.pixelsPerUnit(Unit::Pixel), 1.0);
  g.unit = Unit::Pixel;
  g.toUnit(x, y, &name);
  EXPECT_EQ(name, "");
  // An unset resolution reads as 200 dpi.
  ASSERT_TRUE(g.raster().setResolution(0));
  EXPECT_NEAR(g.pixelsPerUnit(Unit::Inch), 7874 * 0.0254, kEps);
}

TEST(Graph, ExtentsWithMarginAndRaster) {
  CGraph g;
  g.clearForTrace();
  Box box;
  EXPECT_FALSE(g.getDrawingExtents(box, true, false));
  g.addEntity(line(0, 0, 100, 50));
  ASSERT_TRUE(g.getDrawingExtents(box, true, false));
  EXPECT_NEAR(box.minX, -1.5, kEps);
  EXPECT_NEAR(box.maxX, 101.5, kEps);
  EXPECT_NEAR(box.minY, -0.75, kEps);
  EXPECT_NEAR(box.maxY, 50.75, kEps);
  // Other switches are not answered from the margin box.
  ASSERT_TRUE(g.getDrawingExtents(box, false, false));
  EXPECT_NEAR(box.minX, 0.0, kEps);
  ASSERT_TRUE(g.raster().create(200, 20, 1));
  g.markModified(true);
  ASSERT_TRUE(g.getDrawingExtents(box, false, true));
  EXPECT_NEAR(box.maxX, 200.0, kEps);
  EXPECT_NEAR(box.maxY, 50.0, kEps);
  int column = 0, row = 0;
  g.drawingToRaster(10.4, 5.6, column, row);
  EXPECT_EQ(column, 10);
  EXPECT_EQ(row, 14);
}

TEST(Graph, SelectionAndGripMoves) {
  CGraph g;
  g.clearForTrace();
  CEntity* a = g.addEntity(line(0, 0, 10, 0));
  CEntity* b = g.addEntity(line(0, 20, 10, 20));
  g.currentLayer()->setColour(2);
  a->setColour(4);
  // Corners in any order; only a lies inside.
  EXPECT_TRUE(g.selectInside({11, 5, 0}, {-1, -5, 0}));
  ASSERT_EQ(g.selection().size(), 1u);
  EXPECT_TRUE(a->selected());
  ASSERT_EQ(g.grips().size(), 3u);
  EXPECT_EQ(g.gripOwners()[0].preview->colour(), 7);
  // Pick the end grip and drag it: only the preview moves.
  EXPECT_TRUE(g.pickGrips({9, -1, 0}, {11, 1, 0}));
  g.highlightGrip(a, 2);
  g.dragGrips({10, 10, 0});
  EXPECT_NEAR(g.gripOwners()[0].preview->getEndPoint().y, 10.0, kEps);
  EXPECT_NEAR(a->getEndPoint().y, 0.0, kEps);
  g.moveGrips({10, 10, 0});
  EXPECT_NEAR(a->getEndPoint().y, 10.0, kEps);
  EXPECT_EQ(a->colour(), 4);
  EXPECT_TRUE(g.modified());
  EXPECT_FALSE(g.pickGrips({100, 100, 0}, {101, 101, 0}));  // rebuilt: nothing picked
  ASSERT_NE(g.currentGrip(), nullptr);
  EXPECT_EQ(g.currentGrip()->index, 2);
  EXPECT_NEAR(g.currentGrip()->y, 10.0, kEps);
  // Crossing selection adds b; select all and clear.
  EXPECT_TRUE(g.selectCrossing({5, 15, 0}, {6, 25, 0}));
  EXPECT_EQ(g.selection().size(), 2u);
  EXPECT_EQ(g.grips().size(), 6u);
  g.selectAll(false);
  EXPECT_TRUE(g.selection().empty());
  EXPECT_FALSE(a->selected());
  g.currentLayer()->setVisible(false);
  g.selectAll(true);
  EXPECT_TRUE(g.selection().empty());
  g.currentLayer()->setVisible(true);
  g.selectAll(true);
  EXPECT_EQ(g.selection().size(), 2u);
  EXPECT_TRUE(g.deleteSelection());
  EXPECT_EQ(g.totalCount(), 0u);
  EXPECT_FALSE(g.deleteSelection());
  (void)b;
}

TEST(Graph, RemovingSelectedEntitiesLeavesNoDanglingSelection) {
  CGraph g;
  g.clearForTrace();
  CEntity* a = g.addEntity(line(0, 0, 10, 0));
  g.addEntity(line(0, 5, 10, 5));
  g.selectAll(true);
  ASSERT_EQ(g.grips().size(), 6u);
  g.currentLayer()->remove(a);
  EXPECT_EQ(g.selection().size(), 1u);
  EXPECT_EQ(g.grips().size(), 3u);
  g.removeAllLayers();
  EXPECT_TRUE(g.selection().empty());
  EXPECT_TRUE(g.grips().empty());
}

TEST(Graph, RemovingBySweepKeepsTheOrderOfTheRestAndForgetsTheSelection) {
  CGraph g;
  g.clearForTrace();
  for (int i = 0; i < 6; ++i) g.addEntity(line(0, i, i + 1.0, i));
  g.selectAll(true);
  CLayer& layer = *g.currentLayer();
  // Every other entity goes, the first and the last among them.
  EXPECT_EQ(layer.removeIf([](CEntity& e) { return static_cast<int>(e.getStartPoint().y) % 2 == 0; }), 3u);
  std::vector<double> left;
  for (const auto& e : layer) left.push_back(e->getStartPoint().y);
  EXPECT_EQ(left, (std::vector<double>{1, 3, 5}));
  EXPECT_EQ(layer.count(), 3u);
  EXPECT_EQ(g.selection().size(), 3u);
  EXPECT_EQ(g.grips().size(), 9u);
  EXPECT_EQ(layer.first()->next()->prev(), layer.first());
  EXPECT_EQ(layer.removeIf([](CEntity&) { return true; }), 3u);
  EXPECT_TRUE(layer.empty());
  EXPECT_TRUE(g.selection().empty());
}

TEST(Graph, ConstructionTakesCurrentColourAndWidth) {
  CGraph g;
  EXPECT_EQ(g.addLine({0, 0, 0}, {1, 1, 0}), nullptr);
  g.clearForTrace();
  g.currentColour = 3;
  g.currentWidth = 1.5;
  CLine* l = g.addLine({0, 0, 0}, {3, 4, 0});
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->colour(), 3);
  EXPECT_DOUBLE_EQ(l->getWidth(), 1.5);
  EXPECT_DOUBLE_EQ(l->getLength(), 5.0);
  EXPECT_EQ(g.drawSolid({0, 0, 0}, {1, 1, 0}, {2, 2, 0}), nullptr);
  EXPECT_NE(g.drawSolid({0, 0, 0}, {1, 0, 0}, {0, 1, 0}), nullptr);
  EXPECT_EQ(g.drawArcCSE({0, 0, 0}, {0, 0, 0}, {1, 0, 0}), nullptr);
  CArc* arc = g.drawArcCSE({0, 0, 0}, {0, 2, 0}, {1, 0, 0});
  ASSERT_NE(arc, nullptr);
  EXPECT_NEAR(arc->startAngle(), kPi / 2, kEps);
  EXPECT_NEAR(arc->endAngle(), kTwoPi, kEps);
  CArc* arc3 = g.drawArc3P({1, 0, 0}, {0, -1, 0}, {-1, 0, 0});  // clockwise through the bottom
  ASSERT_NE(arc3, nullptr);
  EXPECT_NEAR(arc3->startAngle(), kPi, kEps);
  EXPECT_NEAR(arc3->endAngle(), kTwoPi, kEps);
  EXPECT_EQ(g.drawCircle3P({0, 0, 0}, {1, 0, 0}, {2, 0, 0}), nullptr);
  EXPECT_NEAR(g.drawCircle({1, 1, 5}, -2)->radius(), 2.0, kEps);

  CPolyLine* temp = g.beginPolyline();
  ASSERT_NE(temp, nullptr);
  g.addPolylineVertex(0, 0, -10, -10, 0);
  g.addPolylineVertex(0, 0, -10, -10, 0);
  g.addPolylineVertex(5, 0, 0.5, 0.7, 0);
  EXPECT_EQ(temp->getVertexCount(), 2);
  EXPECT_DOUBLE_EQ(temp->vertices()[0].startWidth, 1.5);
  EXPECT_DOUBLE_EQ(temp->vertices()[1].endWidth, 0.7);
  const uint32_t before = g.currentLayer()->count();
  EXPECT_EQ(g.finishPolyline(true), temp);
  EXPECT_EQ(g.currentLayer()->count(), before + 1);
  EXPECT_EQ(g.tempPolyline(), nullptr);
  g.beginPolyline();
  EXPECT_EQ(g.finishPolyline(false), nullptr);
  EXPECT_EQ(g.currentLayer()->count(), before + 1);
}

TEST(Graph, SnapToGrid) {
  CGraph g;
  Point3 p{37.5, 12.4, 0};
  EXPECT_EQ(g.snapToGrid(p), 0);  // grid off
  g.aids.gridOn = 1;
  EXPECT_EQ(g.snapToGrid(p), 8);
  EXPECT_NEAR(p.x, 50.0, kEps);
  EXPECT_NEAR(p.y, 0.0, kEps);
  g.aids.gridAngle = kPi / 2;
  Point3 q{-12.4, 37.5, 0};  // the same point turned by 90°
  g.snapToGrid(q);
  EXPECT_NEAR(q.x, 0.0, kEps);
  EXPECT_NEAR(q.y, 50.0, kEps);
}

TEST(Graph, DrawWalksLayersInOrderAndSkipsHiddenOnes) {
  CGraph g;
  g.clearForTrace();
  g.addEntity(line(0, 0, 1, 0));
  g.setCurrentLayerByName("Hidden")->setVisible(false);
  g.addEntity(std::make_unique<CCircle>(Point3{}, 5));
  g.setCurrentLayerByName("Top");
  g.addEntity(CSolid::fromThreePoints({0, 0, 0}, {1, 0, 0}, {0, 1, 0}));
  test::RecordingView view;
  g.draw(view);
  ASSERT_EQ(view.calls.size(), 2u);
  EXPECT_STREQ(view.calls[0].kind, "solid");
  EXPECT_STREQ(view.calls[1].kind, "segment");
  EXPECT_EQ(view.calls[1].style.colour, kDefaultLayerColour);
}

TEST(Graph, DeletingLayersFreesTheirEntities) {
  // Runs under AddressSanitizer in CI: every entity and vertex must be freed.
  CGraph g;
  g.clearForTrace();
  for (int i = 0; i < 100; ++i) {
    auto p = std::make_unique<CPolyLine>();
    for (int k = 0; k < 10; ++k) p->appendVertex(k, i, 1.0, k % 2 ? 0.3 : 0.0);
    g.addEntity(std::move(p));
  }
  g.selectAll(true);
  g.setCurrentLayerByName("Second");
  g.addEntity(line(0, 0, 1, 1));
  ASSERT_TRUE(g.deleteLayer(g.findLayer("trace")));
  EXPECT_TRUE(g.selection().empty());
  EXPECT_EQ(g.totalCount(), 1u);
}

}  // namespace
}  // namespace quillon::model

namespace quillon::model {
namespace {

TEST(Layer, NameRules) {
  EXPECT_TRUE(CLayer::isValidName("1abc"));
  EXPECT_TRUE(CLayer::isValidName("-abc_2"));
  EXPECT_FALSE(CLayer::isValidName("ab-c"));
  EXPECT_FALSE(CLayer::isValidName(""));
  CLayer layer("Walls");
  layer.setName("");
  EXPECT_EQ(layer.name(), "Walls");
  layer.setName("WALLS");  // differs only in case: kept
  EXPECT_EQ(layer.name(), "Walls");
  layer.setName("Doors");
  EXPECT_EQ(layer.name(), "Doors");
}

TEST(Graph, CopyOfTheVectorsIsDeepAndKeepsTheCurrentLayer) {
  CGraph g;
  g.clearForTrace();
  g.addEntity(std::make_unique<CLine>(Point3{0, 0, 0}, Point3{1, 0, 0}));
  g.setCurrentLayerByName("B");
  g.addEntity(std::make_unique<CLine>(Point3{0, 0, 0}, Point3{2, 0, 0}));
  g.setCurrentLayerByIndex(1);  // "Trace"
  g.currentWidth = 3;
  g.aids.gridOn = 1;
  g.selectAll(true);

  CGraph snapshot;
  snapshot.setHandleCounter(200);
  snapshot.copyVectorsFrom(g);
  EXPECT_EQ(snapshot.handleCounter(), 200u);
  ASSERT_EQ(snapshot.layers().size(), 2u);
  EXPECT_EQ(snapshot.currentLayer()->name(), "Trace");
  EXPECT_EQ(snapshot.currentLayer()->graph(), &snapshot);
  EXPECT_DOUBLE_EQ(snapshot.currentWidth, 3.0);
  EXPECT_EQ(snapshot.aids.gridOn, 1);
  EXPECT_TRUE(snapshot.selection().empty());
  EXPECT_FALSE(snapshot.currentLayer()->first()->selected());
  const uint32_t handle = g.currentLayer()->first()->handle();
  EXPECT_EQ(snapshot.currentLayer()->first()->handle(), handle);
  // Changing the original leaves the copy alone, and the other way round.
  g.removeAllLayers();
  EXPECT_EQ(snapshot.totalCount(), 2u);
  g.copyVectorsFrom(snapshot);
  EXPECT_EQ(g.handleCounter(), 200u);
  EXPECT_NE(g.findEntity(handle), nullptr);
}

}  // namespace
}  // namespace quillon::model
