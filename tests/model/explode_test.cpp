#include "model/explode.h"

#include <gtest/gtest.h>

#include <cmath>

#include "drawing_snapshot.h"
#include "settings/width_series.h"

namespace quillon::model {
namespace {

using test::drawingText;

constexpr double kEps = 1e-9;

struct V {
  double x, y, w, b;
};

CPolyLine* addPolyline(CGraph& g, std::initializer_list<V> vertices, bool closed = false,
                       settings::ColorIndex colour = 3) {
  auto p = std::make_unique<CPolyLine>();
  for (const V& v : vertices) {
    PolyVertex pv;
    pv.x = v.x;
    pv.y = v.y;
    pv.startWidth = v.w;
    pv.endWidth = v.w + 0.5;
    pv.bulge = v.b;
    pv.flags = 4;
    EXPECT_TRUE(p->appendVertex(pv));
  }
  p->setClosed(closed);
  p->setColour(colour);
  return static_cast<CPolyLine*>(g.addEntity(std::move(p)));
}

const CPolyLine& asPolyline(const CEntity* e) {
  EXPECT_EQ(e->type(), EntityType::PolyLine);
  return static_cast<const CPolyLine&>(*e);
}

const CArc& asArc(const CEntity* e) {
  EXPECT_EQ(e->type(), EntityType::Arc);
  return static_cast<const CArc&>(*e);
}

// Entities of a layer in list order.
std::vector<const CEntity*> entitiesOf(const CLayer& layer) {
  std::vector<const CEntity*> out;
  for (const auto& e : layer) out.push_back(e.get());
  return out;
}

void expectSegment(const CEntity* e, double x1, double y1, double x2, double y2, double width) {
  const CPolyLine& p = asPolyline(e);
  ASSERT_EQ(p.vertices().size(), 2u);
  EXPECT_FALSE(p.isClosed());
  EXPECT_EQ(p.colour(), settings::kColorByLayer);
  const PolyVertex& a = p.vertices()[0];
  const PolyVertex& b = p.vertices()[1];
  EXPECT_NEAR(a.x, x1, kEps);
  EXPECT_NEAR(a.y, y1, kEps);
  EXPECT_NEAR(b.x, x2, kEps);
  EXPECT_NEAR(b.y, y2, kEps);
  EXPECT_DOUBLE_EQ(a.startWidth, width);
  EXPECT_EQ(a.endWidth, 0.0);
  EXPECT_EQ(b.startWidth, 0.0);
  EXPECT_EQ(b.endWidth, 0.0);
  EXPECT_EQ(a.bulge, 0.0);
  EXPECT_EQ(a.flags, 0);
  EXPECT_DOUBLE_EQ(p.getWidth(), width);
}

TEST(Explode, ClosedAndOpenPolylinesBecomeSegmentsAtTheFrontOfTheirLayer) {
  CGraph g;
  g.clearForTrace();  // layer 48
  CLayer* layer = g.currentLayer();
  CEntity* before = g.addLine({0, 0, 0}, {9, 9, 0});  // 49
  CPolyLine* square = addPolyline(g, {{0, 0, 1, 0}, {4, 0, 2, 0}, {4, 4, 3, 0}, {0, 4, 4, 0}}, true);  // 50
  ASSERT_EQ(square->handle(), 50u);

  ASSERT_TRUE(explodeAndRemove(*square, nullptr));
  // Four segments, the closing one included, each put at the front: the
  // layer reads them backwards, the old entity behind them.
  auto list = entitiesOf(*layer);
  ASSERT_EQ(list.size(), 5u);
  expectSegment(list[0], 0, 4, 0, 0, 4);
  expectSegment(list[1], 4, 4, 0, 4, 3);
  expectSegment(list[2], 4, 0, 4, 4, 2);
  expectSegment(list[3], 0, 0, 4, 0, 1);
  EXPECT_EQ(list[4], before);
  // Handles follow the segments' order, from the drawing's counter.
  EXPECT_EQ(list[3]->handle(), 51u);
  EXPECT_EQ(list[0]->handle(), 54u);
  for (const CEntity* e : list) EXPECT_EQ(e->layer(), layer);
  EXPECT_EQ(g.findEntity(50), nullptr);

  // An open polyline of 3 vertices gives 2 segments; 2 vertices are not exploded.
  CPolyLine* open = addPolyline(g, {{0, 0, 1, 0}, {1, 0, 1, 0}, {1, 1, 1, 0}});
  EXPECT_TRUE(explodePolyline(*open, nullptr));
  EXPECT_EQ(layer->count(), 5u + 1u + 2u);
  CPolyLine* two = addPolyline(g, {{0, 0, 1, 0}, {1, 0, 1, 0}}, true);
  EXPECT_FALSE(explodePolyline(*two, nullptr));
  EXPECT_FALSE(explodeAndRemove(*two, nullptr));
  EXPECT_EQ(two->layer(), layer);
  CPolyLine loose;
  loose.appendVertex(0, 0);
  loose.appendVertex(1, 0);
  loose.appendVertex(1, 1);
  EXPECT_FALSE(explodePolyline(loose, nullptr));  // in no layer
}

TEST(Explode, BulgeSegmentsBecomeCounterClockwiseArcs) {
  CGraph g;
  g.clearForTrace();
  // Clockwise half circle over the top, counter-clockwise one below, a
  // straight piece and a bulged closing segment.
  CPolyLine* p = addPolyline(g, {{0, 0, 1.5, -1}, {2, 0, 2.5, 1}, {4, 0, 0.75, 0}, {4, 3, 6, 0.5}}, true);
  ASSERT_TRUE(explodeAndRemove(*p, nullptr));
  auto list = entitiesOf(*g.currentLayer());
  ASSERT_EQ(list.size(), 4u);

  const CArc& over = asArc(list[3]);
  EXPECT_NEAR(over.centre().x, 1.0, kEps);
  EXPECT_NEAR(over.centre().y, 0.0, kEps);
  EXPECT_NEAR(over.radius(), 1.0, kEps);
  EXPECT_NEAR(over.startAngle(), 0.0, kEps);
  EXPECT_NEAR(over.endAngle(), kPi, kEps);
  EXPECT_DOUBLE_EQ(over.width(), 1.5);
  EXPECT_EQ(over.colour(), settings::kColorByLayer);

  const CArc& under = asArc(list[2]);
  EXPECT_NEAR(under.centre().x, 3.0, kEps);
  EXPECT_NEAR(under.centre().y, 0.0, kEps);
  EXPECT_NEAR(under.startAngle(), kPi, kEps);
  EXPECT_NEAR(under.endAngle(), kTwoPi, kEps);
  EXPECT_NEAR(under.middlePoint().y, -1.0, kEps);
  EXPECT_DOUBLE_EQ(under.width(), 2.5);

  expectSegment(list[1], 4, 0, 4, 3, 0.75);

  // Closing segment (4,3)→(0,0) with bulge 0.5: it runs from the last
  // vertex's angle to the first's, and passes the bulge's middle point.
  const CArc& closing = asArc(list[0]);
  const auto arc = bulgeToArc({4, 3, 0}, {0, 0, 0}, 0.5);
  ASSERT_TRUE(arc.has_value());
  EXPECT_NEAR(closing.radius(), arc->radius, kEps);
  EXPECT_NEAR(closing.getStartPoint().x, 4.0, 1e-7);
  EXPECT_NEAR(closing.getStartPoint().y, 3.0, 1e-7);
  EXPECT_NEAR(closing.getEndPoint().x, 0.0, 1e-7);
  EXPECT_NEAR(closing.getEndPoint().y, 0.0, 1e-7);
  const Point3 mid = segmentMidpoint({4, 3, 0}, {0, 0, 0}, 0.5);
  EXPECT_NEAR(closing.middlePoint().x, mid.x, 1e-7);
  EXPECT_NEAR(closing.middlePoint().y, mid.y, 1e-7);
  EXPECT_NEAR(closing.arcLength(), segmentLength({4, 3, 0}, {0, 0, 0}, 0.5), 1e-7);
  EXPECT_DOUBLE_EQ(closing.width(), 6.0);
}

TEST(Explode, DegenerateSegmentsGiveNothing) {
  CGraph g;
  g.clearForTrace();
  CPolyLine* p = addPolyline(g, {{0, 0, 1, 0}, {5, 0, 1, 0.7}, {5.000004, 0, 1, 0}, {5.000004, 2, 1, 0}});
  // The second vertex's bulge sits on a chord of 0.000004: no arc of it.
  ASSERT_TRUE(explodeAndRemove(*p, nullptr));
  auto list = entitiesOf(*g.currentLayer());
  ASSERT_EQ(list.size(), 2u);
  expectSegment(list[1], 0, 0, 5, 0, 1);
  expectSegment(list[0], 5.000004, 0, 5.000004, 2, 1);

  // A straight segment whose ends coincide (made through direct editing).
  CPolyLine* q = addPolyline(g, {{0, 0, 1, 0}, {1, 0, 1, 0}, {1, 1, 1, 0}});
  q->editVertices().insert(q->editVertices().begin() + 1, q->vertices()[1]);
  ASSERT_TRUE(explodeAndRemove(*q, nullptr));
  EXPECT_EQ(g.currentLayer()->count(), 4u);
  for (const CEntity* e : entitiesOf(*g.currentLayer())) EXPECT_FALSE(e->isDegenerate());
}

TEST(Explode, CommandExplodesAllOrTheSelectionAsOneUndoStep) {
  CGraph g;
  g.clearForTrace();
  CPolyLine* a = addPolyline(g, {{0, 0, 1, 0}, {1, 0, 1, 0}, {1, 1, 1, 0}});
  g.addLine({0, 0, 0}, {3, 3, 0});
  g.setCurrentLayerByName("Hidden")->setVisible(false);
  CPolyLine* b = addPolyline(g, {{0, 0, 1, 0}, {2, 0, 1, 1}, {2, 2, 1, 0}});
  (void)b;
  const std::string original = drawingText(g);

  // Only the selected polyline (the line selected with it stays).
  g.select(a);
  g.select(g.findEntity(50));
  g.markModified(false);
  ExplodeCounts counts = explode(g, false);
  EXPECT_TRUE(g.modified());
  EXPECT_EQ(counts.oldCount, 3u);
  EXPECT_EQ(counts.newCount, 4u);
  EXPECT_TRUE(g.selection().empty());
  EXPECT_TRUE(g.grips().empty());
  EXPECT_EQ(g.findLayer("Hidden")->count(), 1u);
  EXPECT_EQ(g.undo.size(), 1u);
  EXPECT_EQ(g.undo.step(0).name(), "Explode PolyLines");
  const std::string afterSelected = drawingText(g);

  // All: polylines of hidden layers as well.
  counts = explode(g, true);
  EXPECT_EQ(counts.oldCount, 4u);
  EXPECT_EQ(counts.newCount, 5u);
  EXPECT_EQ(g.findLayer("Hidden")->count(), 2u);
  EXPECT_EQ(explodeMessage(counts), "Explode successfully!\nOld vector number: 4\nNew vector number: 5");
  EXPECT_EQ(explodeHint(), "Explode polyline into 1-seg polyline and arc");
  const std::string afterAll = drawingText(g);

  // Undo brings back the polylines with their vertices, handles and places.
  g.markModified(false);
  EXPECT_EQ(g.undo.undo(g), "Undo: Explode PolyLines");
  EXPECT_TRUE(g.modified());
  EXPECT_EQ(drawingText(g), afterSelected);
  g.undo.undo(g);
  EXPECT_EQ(drawingText(g), original);
  g.undo.redo(g);
  EXPECT_EQ(drawingText(g), afterSelected);
  g.undo.redo(g);
  EXPECT_EQ(drawingText(g), afterAll);

  // Nothing selected means everything; nothing to explode still makes a step.
  explode(g, false);
  EXPECT_EQ(g.undo.size(), 3u);
  EXPECT_EQ(drawingText(g), afterAll);
}

TEST(SeparateLayers, WidthLayerNamesAndTheirWidths) {
  EXPECT_EQ(widthLayerName(0.35), "0_3500");
  EXPECT_EQ(widthLayerName(0.0), "0_0000");
  EXPECT_EQ(widthLayerName(12.34567), "12_3457");
  EXPECT_EQ(widthLayerName(-0.25), "-0_2500");
  double w = 0.0;
  ASSERT_TRUE(widthOfLayerName("0_2500", w));
  EXPECT_DOUBLE_EQ(w, 0.25);
  ASSERT_TRUE(widthOfLayerName("3", w));
  EXPECT_DOUBLE_EQ(w, 3.0);
  EXPECT_FALSE(widthOfLayerName("other", w));
  EXPECT_FALSE(widthOfLayerName("0_25_1", w));
}

CEntity* addLineOfWidth(CGraph& g, double width) {
  auto line = std::make_unique<CLine>(Point3{0, 0, 0}, Point3{width, 1, 0});
  line->setWidth(width);
  return g.addEntity(std::move(line));
}

TEST(SeparateLayers, EntitiesGoToTheLayersOfTheirWidthsAndTheRestToOther) {
  CGraph g;
  ASSERT_TRUE(g.raster().create(8, 8, 1));
  ASSERT_TRUE(g.raster().setResolution(11811));
  g.newLayerColour = 9;
  g.setCurrentLayerByName("A");                   // 48
  CEntity* a1 = addLineOfWidth(g, 2.95275);       // 0.25 mm
  CEntity* a2 = addLineOfWidth(g, 2.953);         // off by 0.00025 px
  CEntity* a3 = addLineOfWidth(g, 5.9055);        // 0.5 mm
  g.setCurrentLayerByName("B");                   // 52
  CEntity* b1 = addLineOfWidth(g, 3.0);
  CEntity* b2 = addLineOfWidth(g, 2.95275 + 0.00009);
  auto p = std::make_unique<CPolyLine>();
  p->appendVertex(0, 0, 5.9055);
  p->appendVertex(1, 0, 1.0);
  CEntity* b3 = g.addEntity(std::move(p));      // getWidth: the head's startWidth
  g.select(b1);

  settings::WidthSeries series;
  series.SetUnit(settings::WidthSeries::kUnitMm);
  ASSERT_TRUE(series.Insert(0.25));
  ASSERT_TRUE(series.Insert(0.5));
  ASSERT_TRUE(series.Insert(1.0));  // nothing of that width: no layer remains
  g.markModified(false);
  ASSERT_TRUE(separateLayers(g, series));
  EXPECT_TRUE(g.modified());

  ASSERT_EQ(g.layers().size(), 3u);
  auto it = g.layers().begin();
  const CLayer* quarter = (it++)->get();
  const CLayer* half = (it++)->get();
  const CLayer* other = (it++)->get();
  EXPECT_EQ(quarter->name(), "0_2500");
  EXPECT_EQ(half->name(), "0_5000");
  EXPECT_EQ(other->name(), "other");
  EXPECT_EQ(g.currentLayer(), quarter);
  // Handles in creation order: the width layers, then "other".
  EXPECT_EQ(quarter->handle(), 56u);
  EXPECT_EQ(half->handle(), 57u);
  EXPECT_EQ(other->handle(), 59u);
  EXPECT_EQ(quarter->colour(), 9);
  EXPECT_EQ(other->colour(), 9);
  // The old layers in drawing order: B (made last, so first), then A.
  EXPECT_EQ(entitiesOf(*quarter), (std::vector<const CEntity*>{b2, a1}));
  EXPECT_EQ(entitiesOf(*half), (std::vector<const CEntity*>{b3, a3}));
  EXPECT_EQ(entitiesOf(*other), (std::vector<const CEntity*>{b1, a2}));
  EXPECT_TRUE(g.selection().empty());
  EXPECT_FALSE(b1->selected());
  EXPECT_EQ(g.findLayer("A"), nullptr);

  // One step takes it all back.
  ASSERT_EQ(g.undo.size(), 1u);
  EXPECT_EQ(g.undo.step(0).name(), "Modify Layers");
  const std::string separated = drawingText(g);
  g.undo.undo(g);
  ASSERT_EQ(g.layers().size(), 2u);
  EXPECT_EQ(g.layers().front()->name(), "B");
  EXPECT_EQ(g.currentLayer()->name(), "B");
  EXPECT_EQ(g.findLayer("A")->count(), 3u);
  g.undo.redo(g);
  EXPECT_EQ(drawingText(g), separated);
}

TEST(SeparateLayers, PixelSeriesEmptySeriesAndNoRaster) {
  CGraph g;
  g.setCurrentLayerByName("A");
  addLineOfWidth(g, 2.0);
  addLineOfWidth(g, 0.25);
  const std::string before = drawingText(g);
  settings::WidthSeries series;  // mm, but no raster: compared unconverted
  EXPECT_FALSE(separateLayers(g, series));
  EXPECT_EQ(drawingText(g), before);
  EXPECT_EQ(g.undo.size(), 0u);

  ASSERT_TRUE(series.Insert(2.0));
  ASSERT_TRUE(separateLayers(g, series));
  ASSERT_EQ(g.layers().size(), 2u);
  EXPECT_EQ(g.layers().front()->name(), "2_0000");
  EXPECT_EQ(g.layers().back()->name(), "other");
  EXPECT_EQ(g.layers().back()->count(), 1u);

  // Everything matches: no "other" layer.
  CGraph h;
  h.setCurrentLayerByName("A");
  addLineOfWidth(h, 3.0);
  settings::WidthSeries pixels;
  pixels.SetUnit(settings::WidthSeries::kUnitPixel);
  ASSERT_TRUE(pixels.Insert(3.0));
  ASSERT_TRUE(separateLayers(h, pixels));
  ASSERT_EQ(h.layers().size(), 1u);
  EXPECT_EQ(h.currentLayer()->name(), "3_0000");
}

}  // namespace
}  // namespace quillon::model
