#include "model/entity_info.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "model/arc.h"
#include "model/circle.h"
#include "model/graph.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/property_grid.h"
#include "model/solid.h"
#include "settings/number_text.h"

namespace quillon::model {
namespace {

using Lines = std::vector<std::string>;

Point3 P(double x, double y) { return Point3{x, y, 0.0}; }

class EntityInfo : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = settings::LocaleSeparators();
    settings::SetLocaleSeparators(settings::Separators{'.', ','});
    g.clearForTrace();  // layer "Trace", colour 5 (Blue)
  }
  void TearDown() override { settings::SetLocaleSeparators(saved_); }

  template <class T>
  T* add(std::unique_ptr<T> e) {
    return static_cast<T*>(g.addEntity(std::move(e)));
  }
  Lines info(const CEntity& e) {
    Lines lines;
    e.getInfoText(lines);
    return lines;
  }
  // A drawing in mm at 11811 pixels per metre (300 dpi).
  void useMillimetres() {
    ASSERT_TRUE(g.raster().create(8, 8, 1));
    ASSERT_TRUE(g.raster().setResolution(11811));
    g.unit = Unit::Mm;
  }
  std::unique_ptr<CPolyLine> polyline(std::initializer_list<std::pair<double, double>> points, bool closed = false) {
    auto pl = std::make_unique<CPolyLine>();
    for (auto [x, y] : points) pl->appendVertex(x, y);
    pl->setClosed(closed);
    return pl;
  }
  int edit(const std::string& key, const std::string& text, int value = 0) {
    const int row = grid.findRow(key);
    EXPECT_GE(row, 0) << key;
    return g.editProperty(row, value, text, grid);
  }
  std::string value(const std::string& key) const {
    const int row = grid.findRow(key);
    return row >= 0 ? grid.row(row).value : "<no row " + key + ">";
  }
  bool hasRow(const std::string& key) const { return grid.findRow(key) >= 0; }

  CGraph g;
  PropertyGrid grid;

 private:
  settings::Separators saved_;
};

// --- information text -------------------------------------------------------------------

TEST_F(EntityInfo, LineInPixels) {
  CLine* line = add(std::make_unique<CLine>(P(1, 2), P(4, 6)));
  EXPECT_EQ(info(*line), (Lines{"  Name: Line", "    Layer: Trace", "    Color: ByLayer (Blue)",
                                "    StartPoint: X=1.000  Y=2.000", "    EndPoint: X=4.000  Y=6.000",
                                "    Length: 5.000", ""}));
}

TEST_F(EntityInfo, LineInMillimetresWithDecimalComma) {
  useMillimetres();
  settings::SetLocaleSeparators(settings::Separators{',', ';'});
  CLine* line = add(std::make_unique<CLine>(P(11.811, 0), P(23.622, 11.811)));
  line->setColour(1);
  EXPECT_EQ(info(*line), (Lines{"  Name: Line", "    Layer: Trace", "    Color: Red",
                                "    StartPoint: X=1,000  Y=0,000 mm", "    EndPoint: X=2,000  Y=1,000 mm",
                                "    Length: 1,414 mm", ""}));
}

TEST_F(EntityInfo, ArcCircleAndSolid) {
  CArc* arc = add(std::make_unique<CArc>(P(0, 0), 2.0, kPi / 2, kPi));
  EXPECT_EQ(info(*arc), (Lines{"  Name: Arc", "    Layer: Trace", "    Color: ByLayer (Blue)",
                               "    StartAngle: 90.000", "    EndAngle: 180.000", "    StartPoint:   X=0.000  Y=2.000",
                               "    EndPoint:   X=-2.000  Y=0.000", "    Angle:  90.000", "    Length:  3.142"}));
  auto c = std::make_unique<CCircle>(P(3, 4), 1.5);
  c->setWidth(0.5);
  c->setColour(3);
  CCircle* circle = add(std::move(c));
  EXPECT_EQ(info(*circle), (Lines{"  Name: Circle", "    Layer: Trace", "    Color: green",
                                  "    CenterPoint:  X=3.000  Y=4.000", "    Radius:  1.500", "    Width:  0.500",
                                  "    Circumference:  9.425"}));
  CSolid* solid = add(CSolid::fromThreePoints(P(0, 0), P(0, 3), P(4, 0)));
  EXPECT_EQ(info(*solid), (Lines{"  Name: Solid", "    Layer: Trace", "    Color: ByLayer (Blue)",
                                 "    At Point:  X=0.000  Y=0.000", "    At Point:  X=4.000  Y=0.000",
                                 "    At Point:  X=0.000  Y=3.000"}));
}

TEST_F(EntityInfo, PolylineWithArcSegment) {
  auto pl = std::make_unique<CPolyLine>();
  pl->appendVertex(0, 0, 0.5);
  pl->appendVertex(2, 0, 0.5, 1.0);  // half circle about (3, 0)
  pl->appendVertex(4, 0);
  CPolyLine* polyline = add(std::move(pl));
  EXPECT_EQ(info(*polyline),
            (Lines{"  Name: PolyLine", "    Layer: Trace", "    Color: ByLayer (Blue)", "    Open", "    Vertex Count: 3",
                   "    At Point:  X=0.000  Y=0.000 ", "    Width=0.500", "    At Point:  X=2.000  Y=0.000 ",
                   "    Width=0.500", "      Bulg=1.000000", "      Center X=3.000, Y=0.000 ", "       Radius=1.000",
                   "    At Point:  X=4.000  Y=0.000 ", "    Width=0.000", "    Length: 5.142", ""}));
}

TEST_F(EntityInfo, PolyPolygonListsEachOutline) {
  useMillimetres();
  auto poly = std::make_unique<CPolyPolygon>();
  poly->appendOutline(polyline({{0, 0}, {11.811, 0}, {0, 11.811}}, true));
  CPolyPolygon* entity = add(std::move(poly));
  EXPECT_EQ(info(*entity),
            (Lines{"  Name: Polygon", "    Layer: Trace", "    Color: ByLayer (Blue)", "    Outline Count: 1",
                   "    Outline ID: 1", "    Closed", "    Vertex Count: 3", "    At Point:  X=0.000  Y=0.000  mm",
                   "    Width=0.000 mm", "    At Point:  X=1.000  Y=0.000  mm", "    Width=0.000 mm",
                   "    At Point:  X=0.000  Y=1.000  mm", "    Width=0.000 mm", "    Length: 3.414 mm", ""}));
}

TEST_F(EntityInfo, SelectionInfoFollowsLayerOrder) {
  Lines lines;
  g.selectionInfo(lines);
  EXPECT_EQ(lines, (Lines{"No vector selected!"}));
  CLine* first = add(std::make_unique<CLine>(P(0, 0), P(1, 0)));
  g.setCurrentLayerByName("Front");  // goes before "Trace"
  CCircle* front = add(std::make_unique<CCircle>(P(0, 0), 1.0));
  g.select(first);
  g.select(front);
  lines.clear();
  g.selectionInfo(lines);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "  Name: Circle");
  EXPECT_EQ(lines[1], "    Layer: Front");
  EXPECT_EQ(lines.size(), 7u + 7u);
}

// --- property grid rows -------------------------------------------------------------------

TEST_F(EntityInfo, LineAndSolidGridsHaveNoWidthRow) {
  g.setCurrentLayerByName("B");
  CLine* line = add(std::make_unique<CLine>(P(1, 2), P(4, 6)));
  g.select(line);
  g.fillProperties(grid);
  ASSERT_EQ(grid.groups().size(), 2u);
  EXPECT_EQ(grid.groups()[0].label, "Base Properties");
  EXPECT_EQ(grid.groups()[1].label, "Line Properties");
  ASSERT_EQ(grid.rowCount(), 8);
  EXPECT_EQ(grid.row(0).label, "Layer");
  EXPECT_EQ(grid.row(0).value, "B");
  EXPECT_EQ(grid.row(0).choices, "B|Trace");
  EXPECT_EQ(grid.row(1).kind, PropertyKind::Colour);
  EXPECT_EQ(grid.row(1).value, "Bylayer");
  EXPECT_EQ(grid.row(2).key, "PropLineStartX");
  EXPECT_EQ(grid.row(2).value, "1.000000");
  EXPECT_EQ(value("PropLineLength"), "5.000000");
  EXPECT_EQ(grid.row(grid.findRow("PropLineAngle")).kind, PropertyKind::ReadOnly);
  EXPECT_FALSE(hasRow("PropWidthName"));

  g.selectAll(false);
  CSolid* solid = add(CSolid::fromThreePoints(P(0, 0), P(3, 0), P(0, 4)));
  g.select(solid);
  g.fillProperties(grid);
  EXPECT_FALSE(hasRow("PropWidthName"));
  EXPECT_EQ(grid.row(grid.findRow("PropSolidPoint_2_X")).label, "X of 2nd point");
  EXPECT_EQ(grid.row(grid.findRow("PropSolidPoint_3_Y")).label, "Y of 3rd point");
  EXPECT_FALSE(hasRow("PropSolidPoint_4_X"));
  EXPECT_EQ(value("PropSolidLength"), "12.000000");
}

TEST_F(EntityInfo, ColourOutsideThePaletteBecomesByLayer) {
  CLine* line = add(std::make_unique<CLine>(P(0, 0), P(1, 0)));
  line->setColour(3);
  g.select(line);
  g.markModified(false);
  g.fillProperties(grid);
  EXPECT_EQ(g.editProperty(1, 0, "", grid), kPropertyChanged);
  EXPECT_EQ(line->colour(), settings::kColorByLayer);
  EXPECT_TRUE(g.modified());
  EXPECT_EQ(g.undo.size(), 1u);
  EXPECT_EQ(g.undo.step(0).name(), "Modify Vectors");
  EXPECT_EQ(g.editProperty(1, 4, "", grid), kPropertyChanged);
  EXPECT_EQ(value("PropColorName"), "Aqua");
  EXPECT_EQ(g.editProperty(1, 300, "", grid), kPropertyChanged);
  EXPECT_EQ(line->colour(), settings::kColorByLayer);
  // The undo step puts the colour back.
  g.undo.undo(g);
  EXPECT_EQ(static_cast<CLine*>(g.findEntity(line->handle()))->colour(), 4);
}

TEST_F(EntityInfo, BadNumbersAreRefusedAndChangeNothing) {
  CCircle* circle = add(std::make_unique<CCircle>(P(3, 4), 2.0));
  g.select(circle);
  g.fillProperties(grid);
  g.markModified(false);
  for (const char* bad : {"abc", "-1", "", "1.5x", "nan"}) {
    EXPECT_EQ(edit("PropWidthName", bad), kPropertyInvalid) << bad;
  }
  EXPECT_EQ(edit("PropWidthName", "0"), kPropertyInvalid);  // the same width
  EXPECT_EQ(edit("PropCircleRadius", "0"), kPropertyInvalid);
  EXPECT_EQ(edit("PropCircleRadius", "-3"), kPropertyInvalid);
  EXPECT_EQ(edit("PropCircleCenterX", "x"), kPropertyInvalid);
  EXPECT_EQ(edit("PropCircleCircumference", "5"), 0);
  EXPECT_FALSE(g.modified());
  EXPECT_EQ(g.undo.size(), 0u);
  EXPECT_EQ(circle->radius(), 2.0);
  EXPECT_EQ(value("PropWidthName"), "0.000000");

  EXPECT_EQ(edit("PropWidthName", "2.5"), kPropertyChanged);
  EXPECT_EQ(circle->getWidth(), 2.5);
  EXPECT_EQ(edit("PropCircleRadius", "5"), kPropertyChanged);
  EXPECT_EQ(value("PropCircleCircumference"), settings::FormatNumber(10 * kPi, 6));
  EXPECT_TRUE(g.modified());
}

TEST_F(EntityInfo, LineAndArcGeometryEdits) {
  CLine* line = add(std::make_unique<CLine>(P(0, 0), P(3, 4)));
  g.select(line);
  g.fillProperties(grid);
  // Rows 2–5 are the coordinates (a line has no width row).
  EXPECT_EQ(g.editProperty(4, 0, "6", grid), kPropertyChanged);
  EXPECT_EQ(g.editProperty(5, 0, "8", grid), kPropertyChanged);
  EXPECT_DOUBLE_EQ(line->getLength(), 10.0);
  EXPECT_EQ(value("PropLineLength"), "10.000000");
  EXPECT_EQ(g.editProperty(6, 0, "1", grid), 0);  // length is read-only

  g.selectAll(false);
  CArc* arc = add(std::make_unique<CArc>(P(0, 0), 1.0, 0.0, kPi / 2));
  g.select(arc);
  g.fillProperties(grid);
  EXPECT_EQ(edit("PropStartAngle", "370"), kPropertyChanged);
  EXPECT_NEAR(arc->startAngle(), kPi / 18, 1e-12);
  EXPECT_NEAR(arc->getStartPoint().x, std::cos(kPi / 18), 1e-12);
  EXPECT_EQ(edit("PropEndAngle", "-10"), kPropertyChanged);  // 350°
  EXPECT_NEAR(arc->endAngle(), kPi * 35 / 18, 1e-12);
  EXPECT_EQ(value("PropArcSweepAngle"), "340.000000");
  // Moving the centre carries the end points along.
  EXPECT_EQ(edit("PropCircleCenterX", "10"), kPropertyChanged);
  EXPECT_NEAR(arc->getEndPoint().x, 10 + std::cos(kPi * 35 / 18), 1e-12);
  EXPECT_EQ(edit("PropEndPointX", "3"), 0);
}

TEST_F(EntityInfo, SeveralEntitiesShareTheBaseRowsOfTheFirst) {
  CCircle* circle = add(std::make_unique<CCircle>(P(0, 0), 1.0));
  CLine* line = add(std::make_unique<CLine>(P(0, 0), P(1, 0)));
  g.setCurrentLayerByName("Other");
  g.select(circle);
  g.select(line);
  g.fillProperties(grid);
  ASSERT_EQ(grid.rowCount(), 3);  // the circle's base rows only
  EXPECT_EQ(grid.groups().size(), 1u);
  EXPECT_EQ(g.editProperty(1, 2, "", grid), kPropertyChanged);
  EXPECT_EQ(circle->colour(), 2);
  EXPECT_EQ(line->colour(), 2);
  // Width reaches the circle; the line has none.
  EXPECT_EQ(g.editProperty(2, 0, "3", grid), kPropertyChanged);
  EXPECT_EQ(circle->getWidth(), 3.0);
  EXPECT_EQ(line->getWidth(), 0.0);
  EXPECT_EQ(g.editProperty(3, 0, "1", grid), 0);  // no such row shown
  EXPECT_EQ(g.editProperty(2, 0, "wide", grid), kPropertyInvalid);
  // A layer change moves both and keeps the selection in order.
  const std::size_t steps = g.undo.size();
  EXPECT_EQ(g.editProperty(0, 0, "other", grid), kPropertyLayerChange);
  EXPECT_EQ(circle->layer()->name(), "Other");
  EXPECT_EQ(line->layer()->name(), "Other");
  ASSERT_EQ(g.selection().size(), 2u);
  EXPECT_EQ(g.selection()[0], circle);
  EXPECT_EQ(g.selection()[1], line);
  EXPECT_TRUE(circle->selected());
  EXPECT_EQ(g.undo.size(), steps + 1);
  EXPECT_EQ(g.editProperty(0, 0, "Nowhere", grid), kPropertyInvalid);
  EXPECT_EQ(g.editProperty(0, 0, "OTHER", grid), kPropertyInvalid);  // already there
  g.undo.undo(g);
  EXPECT_EQ(g.findEntity(circle->handle())->layer()->name(), "Trace");
}

// --- polylines ----------------------------------------------------------------------------

TEST_F(EntityInfo, DeletePointNeedsThreeVerticesOrFourInAnOutline) {
  CPolyLine* two = add(polyline({{0, 0}, {5, 0}}));
  CPolyLine* three = add(polyline({{0, 0}, {5, 0}, {5, 5}}));
  g.select(two);
  g.fillProperties(grid);
  EXPECT_FALSE(hasRow("PropPLineDelCurPt"));
  EXPECT_TRUE(hasRow("PropPLineAddCurPt"));
  g.selectAll(false);
  g.select(three);
  g.fillProperties(grid);
  EXPECT_TRUE(hasRow("PropPLineDelCurPt"));
  // Rows in order after the three base rows.
  const std::vector<std::string> keys = {"PropLayerName",     "PropColorName",     "PropWidthName",
                                         "PropPLineClose",    "PropPLineLength",   "PropPLineCurPt",
                                         "PropPLineAddCurPt", "PropPLineDelCurPt", "PorpPLineVertexX",
                                         "PorpPLineVertexY",  "PorpPLineVertexWidth", "PorpPLineVertexBulg"};
  ASSERT_EQ(grid.rowCount(), static_cast<int>(keys.size()));
  for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(grid.row(static_cast<int>(i)).key, keys[i]);
  EXPECT_EQ(grid.row(3).value, "Open");
  EXPECT_EQ(grid.row(3).choices, "Close|Open");

  g.selectAll(false);
  auto poly = std::make_unique<CPolyPolygon>();
  poly->appendOutline(polyline({{0, 0}, {5, 0}, {5, 5}}, true));
  poly->appendOutline(polyline({{1, 1}, {2, 1}, {2, 2}, {1, 2}}, true));
  CPolyPolygon* polygon = add(std::move(poly));
  g.select(polygon);
  g.fillProperties(grid);
  EXPECT_FALSE(hasRow("PropPLineDelCurPt"));
  EXPECT_FALSE(hasRow("PropPLineClose"));
  EXPECT_FALSE(hasRow("PorpPLineVertexWidth"));
  EXPECT_TRUE(hasRow("PorpPLineVertexBulg"));
  EXPECT_EQ(edit("PropPolygonCurLine", "", 2), 0);
  EXPECT_EQ(polygon->currentOutline(), 2);
  EXPECT_TRUE(hasRow("PropPLineDelCurPt"));
  EXPECT_EQ(edit("PropPLineDelCurPt", ""), kPropertyChanged);
  EXPECT_EQ(polygon->outline(1)->getVertexCount(), 3);
  EXPECT_FALSE(hasRow("PropPLineDelCurPt"));
  EXPECT_EQ(edit("PropPolygonCurLine", "", 3), kPropertyInvalid);
}

TEST_F(EntityInfo, AddPointSplitsAQuarterArcIntoTwoEighths) {
  // From 90° to 180° about the origin, radius 1: bulge tan 22.5°.
  auto pl = std::make_unique<CPolyLine>();
  pl->appendVertex(0, 1, 2.0, std::tan(kPi / 8));
  pl->appendVertex(-1, 0, 2.0);
  CPolyLine* arc = add(std::move(pl));
  g.select(arc);
  g.fillProperties(grid);
  EXPECT_TRUE(hasRow("PorpPLineVertexCenX"));
  EXPECT_EQ(value("PorpPLineVertexStartAngle"), "90.000000");
  EXPECT_EQ(value("PorpPLineVertexEndAngle"), "180.000000");
  EXPECT_EQ(edit("PropPLineAddCurPt", ""), kPropertyChanged);
  const auto& v = arc->vertices();
  ASSERT_EQ(v.size(), 3u);
  EXPECT_NEAR(v[1].x, std::cos(kPi * 3 / 4), 1e-12);
  EXPECT_NEAR(v[1].y, std::sin(kPi * 3 / 4), 1e-12);
  EXPECT_NEAR(v[0].bulge, std::tan(kPi / 16), 1e-12);
  EXPECT_NEAR(v[1].bulge, std::tan(kPi / 16), 1e-12);
  EXPECT_NEAR(v[0].bulge, 0.199, 0.0005);
  EXPECT_EQ(v[1].startWidth, 2.0);
  EXPECT_NEAR(arc->getLength(), kPi / 2, 1e-12);
  // The last vertex of an open polyline starts no segment: nothing to split.
  EXPECT_EQ(edit("PropPLineCurPt", "", 3), 0);
  EXPECT_EQ(edit("PropPLineAddCurPt", ""), kPropertyInvalid);
  EXPECT_EQ(arc->getVertexCount(), 3);
  // A straight segment gets its midpoint.
  CPolyLine* straight = add(polyline({{0, 0}, {4, 2}}));
  g.selectAll(false);
  g.select(straight);
  g.fillProperties(grid);
  EXPECT_EQ(edit("PropPLineAddCurPt", ""), kPropertyChanged);
  EXPECT_EQ(straight->vertices()[1].x, 2.0);
  EXPECT_EQ(straight->vertices()[1].y, 1.0);
}

TEST_F(EntityInfo, VertexEditsCursorCloseAndDelete) {
  CPolyLine* pl = add(polyline({{0, 0}, {0.000001, 0}, {5, 5}}));
  g.select(pl);
  g.fillProperties(grid);
  g.markModified(false);
  // The first segment has no length: no bulge for it.
  EXPECT_EQ(edit("PorpPLineVertexBulg", "0.5"), kPropertyInvalid);
  EXPECT_EQ(edit("PorpPLineVertexX", "one"), kPropertyInvalid);
  EXPECT_EQ(edit("PorpPLineVertexWidth", "-2"), kPropertyInvalid);
  // Moving the cursor changes nothing in the drawing.
  EXPECT_EQ(edit("PropPLineCurPt", "", 2), 0);
  EXPECT_EQ(edit("PropPLineCurPt", "", 4), kPropertyInvalid);
  EXPECT_EQ(edit("PropPLineCurPt", "", 0), kPropertyInvalid);
  EXPECT_FALSE(g.modified());
  EXPECT_EQ(pl->currentVertex(), 2);
  EXPECT_EQ(value("PorpPLineVertexX"), "0.000001");
  EXPECT_EQ(edit("PorpPLineVertexBulg", "0.5"), kPropertyChanged);
  EXPECT_FALSE(pl->isStraight());
  EXPECT_TRUE(hasRow("PorpPLineVertexR"));
  EXPECT_EQ(edit("PorpPLineVertexBulg", "0"), kPropertyChanged);
  EXPECT_TRUE(pl->isStraight());
  EXPECT_EQ(edit("PorpPLineVertexWidth", "1.5"), kPropertyChanged);
  EXPECT_EQ(pl->vertices()[1].startWidth, 1.5);
  EXPECT_TRUE(g.modified());
  // Close: case-insensitive against the language text.
  EXPECT_EQ(edit("PropPLineClose", "CLOSE"), kPropertyChanged);
  EXPECT_TRUE(pl->isClosed());
  EXPECT_EQ(value("PropPLineClose"), "Close");
  EXPECT_EQ(edit("PropPLineClose", "Open"), kPropertyChanged);
  EXPECT_FALSE(pl->isClosed());
  // Delete the current (second) vertex: the cursor steps back.
  EXPECT_EQ(edit("PropPLineDelCurPt", ""), kPropertyChanged);
  EXPECT_EQ(pl->getVertexCount(), 2);
  EXPECT_EQ(pl->currentVertex(), 1);
  EXPECT_FALSE(hasRow("PropPLineDelCurPt"));
  // Two straight vertices are too few to close.
  EXPECT_EQ(edit("PropPLineClose", "Close"), kPropertyChanged);
  EXPECT_FALSE(pl->isClosed());
}

TEST_F(EntityInfo, VertexCoordinatesInMillimetres) {
  useMillimetres();
  CPolyLine* pl = add(polyline({{0, 0}, {50, 0}}));
  g.select(pl);
  g.fillProperties(grid);
  EXPECT_EQ(edit("PorpPLineVertexX", "1"), kPropertyChanged);
  EXPECT_NEAR(pl->vertices()[0].x, 11.811, 1e-12);
  EXPECT_EQ(value("PorpPLineVertexX"), "1.000000");
  settings::SetLocaleSeparators(settings::Separators{',', ';'});
  EXPECT_EQ(edit("PorpPLineVertexY", "0,5"), kPropertyChanged);
  EXPECT_NEAR(pl->vertices()[0].y, 5.9055, 1e-12);
  EXPECT_EQ(value("PorpPLineVertexY"), "0,500000");
}

// --- the drawing's own rows ----------------------------------------------------------------

TEST_F(EntityInfo, DrawingPropertiesWithEmptySelection) {
  g.setCurrentLayerByName("Second");
  g.fillProperties(grid);
  EXPECT_EQ(grid.groups()[0].label, "Drawing Properties");
  EXPECT_EQ(value("PropCurLayerName"), "Second");
  EXPECT_FALSE(hasRow("PropCurUnitName"));  // no raster
  EXPECT_EQ(edit("PropCurLayerName", "trace"), kPropertyChanged);
  EXPECT_EQ(g.currentLayer()->name(), "Trace");
  EXPECT_EQ(edit("PropCurLayerName", "missing"), kPropertyInvalid);
  EXPECT_EQ(edit("PropCurColorName", "", -5), kPropertyChanged);
  EXPECT_EQ(g.currentColour, settings::kColorByLayer);
  EXPECT_EQ(edit("PropCurWidthName", "-1"), kPropertyInvalid);
  useMillimetres();
  g.fillProperties(grid);
  ASSERT_TRUE(hasRow("PropCurUnitName"));
  EXPECT_EQ(grid.row(grid.findRow("PropCurUnitName")).choices, "Inch|cm|mm|Pixel");
  EXPECT_EQ(edit("PropCurWidthName", "2"), kPropertyChanged);
  EXPECT_NEAR(g.currentWidth, 23.622, 1e-12);
  EXPECT_EQ(edit("PropCurUnitName", "Pixel"), kPropertyChanged);
  EXPECT_EQ(g.unit, Unit::Pixel);
  EXPECT_EQ(value("PropCurWidthName"), "23.622000");
  EXPECT_EQ(edit("PropCurUnitName", "Pixel"), kPropertyInvalid);
  EXPECT_EQ(g.undo.step(g.undo.size() - 1).name(), "Change Current Unit");
  g.undo.undo(g);
  EXPECT_EQ(g.unit, Unit::Mm);
}

}  // namespace
}  // namespace quillon::model
