// Each entity's DXF records on the collecting writer: the groups, their
// order, the exact blanks of the lines that carry them, and the width rules.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "formats/dxf/dxf_writer.h"
#include "model/arc.h"
#include "model/circle.h"
#include "model/graph.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"

namespace quillon::model {
namespace {

using formats::DxfCollectingWriter;
using Lines = std::vector<std::string>;

class DxfEntities : public ::testing::Test {
 protected:
  DxfEntities() { layer = g.setCurrentLayerByName("Ink"); }

  template <typename T>
  T* Add(std::unique_ptr<T> entity) {
    return static_cast<T*>(g.addEntity(std::move(entity)));
  }
  Lines Write2000(const CEntity& e, bool saveWidth = true) {
    DxfCollectingWriter out;
    EXPECT_TRUE(e.WriteDxf2000(out, saveWidth));
    return out.lines();
  }
  Lines WriteR10(const CEntity& e, bool saveWidth = true) {
    DxfCollectingWriter out;
    EXPECT_TRUE(e.WriteDxfR10(out, saveWidth));
    return out.lines();
  }
  // The common groups C of an entity of this fixture (layer "Ink").
  static Lines Common(const std::string& type, const std::string& handle) {
    return {"  0", type, "  5", handle, "  100", "AcDbEntity", "  8", "Ink"};
  }
  static Lines Join(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }

  CGraph g;
  CLayer* layer;
};

TEST_F(DxfEntities, LineWithAndWithoutColour) {
  auto* line = Add(std::make_unique<CLine>(Point3{1, 2, 0}, Point3{3.5, -4, 0}));
  const Lines coords = {"  10", "1.000000", "  20", "2.000000", "  11", "3.500000", "  21", "-4.000000"};
  EXPECT_EQ(Write2000(*line), Join(Join(Common("LINE", "31"), {"100", "AcDbLine"}), coords));
  EXPECT_EQ(WriteR10(*line), Join(Common("LINE", "31"), coords));
  line->setColour(7);
  EXPECT_EQ(Write2000(*line), Join(Join(Join(Common("LINE", "31"), {"  62", "7"}), {"100", "AcDbLine"}), coords));
}

TEST_F(DxfEntities, PolylineVerticesWidthsAndBulges) {
  auto pl = std::make_unique<CPolyLine>();
  pl->appendVertex(0, 0, 2.0, 0.0);
  pl->appendVertex(10, 0, 3.0, 0.5);
  pl->appendVertex(10, 10, 1.0, 0.0);
  auto* p = Add(std::move(pl));
  Lines expected = Join(Common("LWPOLYLINE", "31"), {"100", "AcDbPolyline", "  90", "  3", "  70", "0",
                                                     "  10", "0.000000", "  20", "0.000000", "  40", "2.000000", "  41", "2.000000",
                                                     "  10", "10.000000", "  20", "0.000000", "  40", "3.000000", "  41", "3.000000",
                                                     "  42", "0.500000",
                                                     "  10", "10.000000", "  20", "10.000000", "  40", "1.000000", "  41", "1.000000"});
  EXPECT_EQ(Write2000(*p), expected);

  Lines r10 = WriteR10(*p, false);
  Lines expectedR10 = Join(Common("POLYLINE", "31"), {"  66", "  1", "  70", "0", "  10", "0.0", "  20", "0.0", "  30", "0.0",
                                                      "  0", "VERTEX", "  8", "Ink", "  10", "0.000000", "  20", "0.000000", "  30", "0.0",
                                                      "  0", "VERTEX", "  8", "Ink", "  10", "10.000000", "  20", "0.000000", "  30", "0.0",
                                                      "  42", "0.500000",
                                                      "  0", "VERTEX", "  8", "Ink", "  10", "10.000000", "  20", "10.000000", "  30", "0.0",
                                                      "  0", "SEQEND"});
  EXPECT_EQ(r10, expectedR10);
}

TEST_F(DxfEntities, ClosedStraightPolylineAndDegenerateOne) {
  auto pl = std::make_unique<CPolyLine>();
  pl->appendVertex(0, 0);
  pl->appendVertex(5, 0);
  pl->appendVertex(5, 5);
  pl->setClosed(true);
  auto* p = Add(std::move(pl));
  Lines lines = Write2000(*p, false);
  ASSERT_GE(lines.size(), 16u);
  EXPECT_EQ(lines[13], "1");  // "  70" value
  for (size_t i = 0; i < lines.size(); i += 2) EXPECT_NE(lines[i], "  42");

  auto single = std::make_unique<CPolyLine>();
  single->appendVertex(1, 1);
  auto* s = Add(std::move(single));
  EXPECT_TRUE(Write2000(*s).empty());
  EXPECT_TRUE(WriteR10(*s).empty());
}

TEST_F(DxfEntities, CircleBecomesTwoHalvesOnlyWithWidth) {
  auto* c = Add(std::make_unique<CCircle>(Point3{10, 20, 0}, 5.0));
  const Lines plain = Join(Common("CIRCLE", "31"), {"100", "AcDbCircle", "  10", "10.000000", "  20", "20.000000", "  40", "5.000000"});
  EXPECT_EQ(Write2000(*c), plain);
  c->setWidth(1.5);
  EXPECT_EQ(Write2000(*c, false), plain);
  EXPECT_EQ(Write2000(*c), Join(Common("LWPOLYLINE", "31"),
                                {"100", "AcDbPolyline", "  90", "  2", "  70", "1", "  43", "  1.500000",
                                 "  10", "15.000000", "  20", "20.000000", "  42", "  1.0",
                                 "  10", "5.000000", "  20", "20.000000", "  42", "  1.0"}));
  Lines r10 = WriteR10(*c);
  EXPECT_EQ(r10, Join(Common("POLYLINE", "31"),
                      {"  66", "  1", "  70", "1", "  10", "0.0", "  20", "0.0", "  30", "0.0", "  40", "  1.500000",
                       "  0", "VERTEX", "  8", "Ink", "  10", "15.000000", "  20", "20.000000", "  30", "0.0",
                       "  40", "1.500000", "  41", "1.500000", "  42", "  1.0",
                       "  0", "VERTEX", "  8", "Ink", "  10", "5.000000", "  20", "20.000000", "  30", "0.0",
                       "  40", "1.500000", "  41", "1.500000", "  42", "  1.0", "  0", "SEQEND"}));
}

TEST_F(DxfEntities, ArcPlainAndAsWidePolylineWithItsBulge) {
  // A quarter arc of radius 10: bulge tan(π/8).
  auto* a = Add(std::make_unique<CArc>(Point3{0, 0, 0}, 10.0, 0.0, kPi / 2));
  EXPECT_EQ(Write2000(*a), Join(Common("ARC", "31"), {"100", "AcDbCircle", "  10", "0.000000", "  20", "0.000000",
                                                      "  40", "10.000000", "100", "AcDbArc", "  50", "0.000000",
                                                      "  51", "90.000000"}));
  EXPECT_EQ(WriteR10(*a), Join(Common("ARC", "31"), {"100", "AcDbCircle", "  10", "0.000000", "  20", "0.000000",
                                                     "  40", "10.000000", "  50", "0.000000", "  51", "90.000000"}));
  a->setWidth(2.0);
  const std::string bulge = formats::DxfWriter::FormatReal(std::tan(kPi / 8));
  EXPECT_EQ(Write2000(*a), Join(Common("LWPOLYLINE", "31"),
                                {"100", "AcDbPolyline", "  90", "  2", "  70", "0", "  43", "  2.000000",
                                 "  10", "10.000000", "  20", "0.000000", "  42", bulge,
                                 "  10", "0.000000", "  20", "10.000000"}));
  Lines r10 = WriteR10(*a);
  EXPECT_EQ(std::count(r10.begin(), r10.end(), bulge), 2) << "the same bulge on both vertices";
  EXPECT_EQ(r10.back(), "SEQEND");
}

TEST_F(DxfEntities, ArcBulgeAboveHalfCircleAndTheWidthThresholds) {
  // Three quarters of a circle: sagitta r + d, bulge tan(3π/8).
  auto* a = Add(std::make_unique<CArc>(Point3{0, 0, 0}, 10.0, 0.0, 3 * kPi / 2));
  a->setWidth(1.0);
  Lines lines = Write2000(*a);
  auto at = std::find(lines.begin(), lines.end(), "  42");
  ASSERT_NE(at, lines.end());
  EXPECT_NEAR(std::stod(*(at + 1)), std::tan(3 * kPi / 8), 1e-6);

  a->setWidth(0.005);  // below the 2000 polyline threshold, above the R10 one
  EXPECT_EQ(Write2000(*a)[1], "ARC");
  EXPECT_EQ(WriteR10(*a)[1], "POLYLINE");
  EXPECT_EQ(WriteR10(*a, false)[1], "ARC");
}

TEST_F(DxfEntities, SolidCornerOrderAndTooFewPoints) {
  auto quad = std::make_unique<CSolid>();
  for (Point3 p : {Point3{0, 0, 0}, Point3{4, 0, 0}, Point3{4, 3, 0}, Point3{0, 3, 0}}) ASSERT_TRUE(quad->addPoint(p));
  auto* q = Add(std::move(quad));
  const Lines corners = {"  10", "0.000000", "  20", "0.000000", "  11", "4.000000", "  21", "0.000000",
                         "  12", "0.000000", "  22", "3.000000", "  13", "4.000000", "  23", "3.000000"};
  EXPECT_EQ(Write2000(*q), Join(Join(Common("SOLID", "31"), {"100", "AcDbTrace"}), corners));
  EXPECT_EQ(WriteR10(*q), Join(Common("SOLID", "31"), corners)) << "upper case, or readers drop the solid";
  EXPECT_EQ(q->points()[2].x, 4.0) << "the points themselves keep their order";

  auto* t = Add(CSolid::fromThreePoints({0, 0, 0}, {4, 0, 0}, {4, 3, 0}));
  ASSERT_NE(t, nullptr);
  Lines tri = Write2000(*t);
  ASSERT_EQ(tri.size(), 26u);
  EXPECT_EQ(Lines(tri.begin() + 18, tri.end()), (Lines{"  12", "4.000000", "  22", "3.000000", "  13", "4.000000", "  23", "3.000000"}));

  auto* empty = Add(std::make_unique<CSolid>());
  DxfCollectingWriter out;
  EXPECT_FALSE(empty->WriteDxf2000(out, true));
  EXPECT_TRUE(out.failed());
}

TEST_F(DxfEntities, PolyPolygonIsAHatchWithOneSeedPerOutline) {
  auto pp = std::make_unique<CPolyPolygon>();
  auto outer = std::make_unique<CPolyLine>();
  for (auto [x, y] : {std::pair{0.0, 0.0}, {10.0, 0.0}, {10.0, 10.0}, {0.0, 10.0}}) outer->appendVertex(x, y);
  outer->setClosed(true);
  auto hole = std::make_unique<CPolyLine>();
  hole->appendVertex(3, 3, 0.0, 0.4);
  hole->appendVertex(6, 3);
  hole->appendVertex(6, 6);
  hole->setClosed(true);
  ASSERT_TRUE(pp->appendOutline(std::move(outer)));
  ASSERT_TRUE(pp->appendOutline(std::move(hole)));
  pp->seedX = 1;
  pp->seedY = 2;
  auto* p = Add(std::move(pp));
  Lines lines = Write2000(*p);
  Lines expected = Join(Common("HATCH", "31"),
                        {"100", "AcDbHatch", " 10", " 0.0", " 20", " 0.0", "  30", " 0.0", " 210", " 0.0", " 220", " 0.0",
                         "  230", " 1.0", "  2", "SOLID", " 70", "1", " 71", "0", "  91", "2",
                         "  92", "7", "  72", "0", "  73", "1", "  93", "4",
                         "  10", "0.000000", "  20", "0.000000", "  10", "10.000000", "  20", "0.000000",
                         "  10", "10.000000", "  20", "10.000000", "  10", "0.000000", "  20", "10.000000", "  97", "0",
                         "  92", "22", "  72", "1", "  73", "1", "  93", "3",
                         "  10", "3.000000", "  20", "3.000000", "  42", "0.400000",
                         "  10", "6.000000", "  20", "3.000000", "  42", "0.000000",
                         "  10", "6.000000", "  20", "6.000000", "  42", "0.000000", "  97", "0",
                         " 75", "  0", " 76", "  1", " 47", "  0.0", "  98", "2",
                         "  10", "1.000000", "  20", "2.000000", "  10", "1.000000", "  20", "2.000000"});
  EXPECT_EQ(lines, expected);
  EXPECT_TRUE(WriteR10(*p).empty());
}

TEST_F(DxfEntities, CoordinatesAndWidthsConvertToTheDrawingUnit) {
  auto pl = std::make_unique<CPolyLine>();
  pl->appendVertex(200, 400, 20.0, 0.25);
  pl->appendVertex(0, 0, 20.0, 0.0);
  auto* p = Add(std::move(pl));
  DxfCollectingWriter out;
  out.SetPixelsPerUnit(200.0);  // e.g. inches at 200 dpi
  ASSERT_TRUE(p->WriteDxf2000(out, true));
  const Lines& l = out.lines();
  EXPECT_EQ(Lines(l.begin() + 14, l.begin() + 24),
            (Lines{"  10", "1.000000", "  20", "2.000000", "  40", "0.100000", "  41", "0.100000", "  42", "0.250000"}));
}

}  // namespace
}  // namespace quillon::model
