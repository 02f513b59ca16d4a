// The DXF reader on hand-made files: the rules of each record, files from
// other programs' layouts, and damaged input, which must never crash, hang or
// cost the user the drawing that was open.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/dxf/dxf_file.h"
#include "formats/dxf/dxf_writer.h"
#include "formats/dxf_reader/dxf_group_reader.h"
#include "formats/dxf_reader/dxf_reader.h"
#include "model/arc.h"
#include "model/circle.h"
#include "model/graph.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"
#include "support/test_support.h"

namespace quillon::formats {
namespace {

using namespace quillon::model;

// Groups given as "code value" pairs, one group per element, joined by LF.
std::string Dxf(const std::vector<std::pair<int, std::string>>& groups, const std::string& eol = "\n") {
  std::string out;
  for (const auto& [code, value] : groups) out += std::to_string(code) + eol + value + eol;
  return out;
}

// An ENTITIES section around the given records.
std::string Entities(const std::string& records) {
  return "0\nSECTION\n2\nENTITIES\n" + records + "0\nENDSEC\n0\nEOF\n";
}

std::vector<const CEntity*> All(const CGraph& g) {
  std::vector<const CEntity*> out;
  for (const auto& layer : g.layers())
    for (const auto& e : *layer) out.push_back(e.get());
  return out;
}

std::vector<std::string> LayerNames(const CGraph& g) {
  std::vector<std::string> names;
  for (const auto& layer : g.layers()) names.push_back(layer->name());
  return names;
}

const std::string kLine = "0\nLINE\n8\nL\n10\n1\n20\n2\n11\n3\n21\n4\n";

TEST(DxfReaderRecords, NamesInAnyCaseAndGroupsInAnyOrder) {
  // Lower-case and mixed-case type names; coordinates, layer and colour in
  // orders other than the writer's; corners of a SOLID listed x first.
  const std::string text = Entities(
      "0\nline\n21\n4\n11\n3\n62\n1\n20\n2\n10\n1\n8\nL\n"
      "0\nSolid\n8\nL\n10\n0\n11\n10\n12\n0\n13\n10\n20\n0\n21\n0\n22\n10\n23\n10\n"
      "0\nCiRcLe\n40\n2.5\n8\nL\n20\n-1\n10\n1e1\n");
  CGraph g;
  ASSERT_TRUE(ReadDxfText(text, g));
  const auto e = All(g);
  ASSERT_EQ(e.size(), 3u);
  const auto& line = static_cast<const CLine&>(*e[0]);
  EXPECT_DOUBLE_EQ(line.getStartPoint().x, 1.0);
  EXPECT_DOUBLE_EQ(line.getEndPoint().y, 4.0);
  EXPECT_EQ(line.colour(), 1);
  // SOLID corners 1, 2, 4, 3 become the ring (0,0) (10,0) (10,10) (0,10).
  const auto& corners = static_cast<const CSolid&>(*e[1]).points();
  ASSERT_EQ(corners.size(), 4u);
  EXPECT_DOUBLE_EQ(corners[2].x, 10.0);
  EXPECT_DOUBLE_EQ(corners[2].y, 10.0);
  EXPECT_DOUBLE_EQ(corners[3].x, 0.0);
  const auto& circle = static_cast<const CCircle&>(*e[2]);
  EXPECT_DOUBLE_EQ(circle.centre().x, 10.0);
  EXPECT_DOUBLE_EQ(circle.radius(), 2.5);
}

TEST(DxfReaderRecords, RecordsThatCannotBeReadAreDroppedAndReadingGoesOn) {
  const std::string text = Entities(
      "0\nLINE\n10\n1\n20\n2\n11\n3\n21\n4\n"                    // no layer: layer "0"
      "0\nLINE\n8\nL\n10\nabc\n20\n2\n11\n3\n21\n4\n"            // not a number
      "0\nLWPOLYLINE\n8\nL\n70\n2\n10\n0\n20\n0\n10\n1\n20\n1\n"  // curve-fit flag
      "0\nHATCH\n8\nL\n2\nANSI31\n70\n0\n91\n0\n"                 // a pattern
      "0\nARC\n8\nL\n10\n0\n20\n0\n40\n1\n50\n0\n"                // no end angle
      "0\nLWPOLYLINE\n8\nL\n10\n5\n20\n5\n" +                    // one vertex
      kLine);
  CGraph g;
  DxfReadReport report;
  ASSERT_TRUE(ReadDxfText(text, g, &report));
  EXPECT_EQ(All(g).size(), 2u);
  EXPECT_EQ(report.entitiesRead, 2);
  ASSERT_NE(g.findLayer("0"), nullptr);
  EXPECT_EQ(g.findLayer("0")->count(), 1u);
  EXPECT_EQ(report.entitiesDropped, 5);
  ASSERT_EQ(report.dropReasons.size(), 5u);
  EXPECT_NE(report.dropReasons[0].find("line 19"), std::string::npos) << report.dropReasons[0];
  EXPECT_NE(report.dropReasons[0].find("abc"), std::string::npos);
}

TEST(DxfReaderRecords, PolylineFlagsWidthsAndBulges) {
  const std::string text = Entities(
      // Closed with linetype generation (129); constant width; a bulge after
      // its vertex's coordinates; vertex count and ids ignored.
      "0\nLWPOLYLINE\n8\nP\n90\n1000000000\n70\n129\n43\n1.5\n"
      "10\n0\n20\n0\n91\n7\n42\n0.5\n10\n10\n20\n0\n10\n10\n20\n10\n"
      // R12: default widths, per-vertex override, SEQEND's own groups.
      "0\nPOLYLINE\n8\nP\n66\n1\n70\n0\n10\n0\n20\n0\n30\n0\n40\n2\n"
      "0\nVERTEX\n8\nP\n10\n0\n20\n0\n0\nVERTEX\n8\nP\n10\n5\n20\n0\n40\n3\n41\n4\n"
      "0\nVERTEX\n8\nP\n10\n5\n20\n5\n0\nSEQEND\n8\nP\n"
      // A polygon mesh cannot be read; its vertices are not counted as unknown records.
      "0\nPOLYLINE\n8\nP\n70\n16\n0\nVERTEX\n10\n0\n20\n0\n0\nVERTEX\n10\n1\n20\n1\n0\nSEQEND\n");
  CGraph g;
  DxfReadReport report;
  ASSERT_TRUE(ReadDxfText(text, g, &report));
  EXPECT_EQ(report.entitiesDropped, 1);
  EXPECT_TRUE(report.skipped.empty());
  const auto e = All(g);
  ASSERT_EQ(e.size(), 2u);
  const auto& lw = static_cast<const CPolyLine&>(*e[0]);
  EXPECT_TRUE(lw.isClosed());
  ASSERT_EQ(lw.vertices().size(), 3u);
  EXPECT_DOUBLE_EQ(lw.vertices()[0].bulge, 0.5);
  for (const auto& v : lw.vertices()) EXPECT_DOUBLE_EQ(v.startWidth, 1.5);
  const auto& r12 = static_cast<const CPolyLine&>(*e[1]);
  EXPECT_FALSE(r12.isClosed());
  ASSERT_EQ(r12.vertices().size(), 3u);
  EXPECT_DOUBLE_EQ(r12.width(), 2.0);
  EXPECT_DOUBLE_EQ(r12.vertices()[0].startWidth, 2.0);
  EXPECT_DOUBLE_EQ(r12.vertices()[1].startWidth, 3.0);
  EXPECT_DOUBLE_EQ(r12.vertices()[1].endWidth, 4.0);
}

TEST(DxfReaderRecords, TwoVertexPolylinesBecomeArcsAndCircles) {
  const std::string text = Entities(
      // Half circle counter-clockwise from (10,0) to (-10,0): centre (0,0).
      "0\nLWPOLYLINE\n8\nC\n62\n3\n70\n0\n43\n2\n10\n10\n20\n0\n42\n1\n10\n-10\n20\n0\n"
      // The same clockwise: the arc runs from (-10,0) to (10,0) below.
      "0\nLWPOLYLINE\n8\nC\n70\n0\n10\n10\n20\n0\n42\n-1\n10\n-10\n20\n0\n"
      // A full circle of two half circles.
      "0\nLWPOLYLINE\n8\nC\n70\n1\n10\n5\n20\n0\n40\n1\n42\n1\n10\n-5\n20\n0\n40\n1\n42\n1\n"
      // Unequal widths: stays a polyline.
      "0\nLWPOLYLINE\n8\nC\n70\n1\n10\n5\n20\n0\n40\n1\n42\n1\n10\n-5\n20\n0\n40\n2\n42\n1\n");
  CGraph g;
  ASSERT_TRUE(ReadDxfText(text, g));
  const auto e = All(g);
  ASSERT_EQ(e.size(), 4u);
  ASSERT_EQ(e[0]->type(), EntityType::Arc);
  const auto& ccw = static_cast<const CArc&>(*e[0]);
  EXPECT_NEAR(ccw.centre().x, 0.0, 1e-9);
  EXPECT_NEAR(ccw.radius(), 10.0, 1e-9);
  EXPECT_NEAR(ccw.startAngle(), 0.0, 1e-9);
  EXPECT_NEAR(ccw.endAngle(), kPi, 1e-9);
  EXPECT_EQ(ccw.colour(), 3);
  EXPECT_DOUBLE_EQ(ccw.width(), 2.0);
  ASSERT_EQ(e[1]->type(), EntityType::Arc);
  EXPECT_NEAR(static_cast<const CArc&>(*e[1]).startAngle(), kPi, 1e-9);
  EXPECT_NEAR(static_cast<const CArc&>(*e[1]).endAngle(), kTwoPi, 1e-9);
  ASSERT_EQ(e[2]->type(), EntityType::Circle);
  EXPECT_NEAR(static_cast<const CCircle&>(*e[2]).radius(), 5.0, 1e-9);
  EXPECT_DOUBLE_EQ(e[2]->width(), 1.0);
  EXPECT_EQ(e[3]->type(), EntityType::PolyLine);
}

// Entities of a mirrored view (extrusion (0, 0, -1)) store x mirrored: they
// come back where the drawing shows them.
TEST(DxfReaderRecords, MirroredEntitiesAreReadInDrawingCoordinates) {
  const std::string text = Entities(
      "0\nARC\n8\nM\n10\n5\n20\n1\n40\n2\n50\n0\n51\n90\n210\n0\n220\n0\n230\n-1\n"
      "0\nLWPOLYLINE\n8\nM\n70\n0\n10\n1\n20\n0\n42\n0.5\n10\n3\n20\n0\n10\n3\n20\n2\n230\n-1.0\n"
      "0\nLINE\n8\nM\n10\n1\n20\n0\n11\n2\n21\n0\n230\n-1\n");  // a LINE is in world coordinates
  CGraph g;
  ASSERT_TRUE(ReadDxfText(text, g));
  const auto e = All(g);
  ASSERT_EQ(e.size(), 3u);
  const auto& arc = static_cast<const CArc&>(*e[0]);
  EXPECT_DOUBLE_EQ(arc.centre().x, -5.0);
  EXPECT_NEAR(arc.startAngle(), kPi / 2, 1e-12);
  EXPECT_NEAR(arc.endAngle(), kPi, 1e-12);
  EXPECT_NEAR(arc.getStartPoint().x, -5.0, 1e-12);  // the image of the OCS end point (5, 3)
  EXPECT_NEAR(arc.getStartPoint().y, 3.0, 1e-12);
  const auto& p = static_cast<const CPolyLine&>(*e[1]).vertices();
  EXPECT_DOUBLE_EQ(p[0].x, -1.0);
  EXPECT_DOUBLE_EQ(p[0].bulge, -0.5);
  EXPECT_DOUBLE_EQ(e[2]->getStartPoint().x, 1.0);
}

TEST(DxfReaderRecords, SolidsAndFacesKeepCounterClockwiseRings) {
  const std::string text = Entities(
      // Clockwise triangle, third corner repeated as the fourth.
      "0\nSOLID\n8\nS\n10\n0\n20\n0\n11\n0\n21\n10\n12\n10\n22\n0\n13\n10\n23\n0\n"
      // 3DFACE keeps its corner order.
      "0\n3DFACE\n8\nS\n10\n0\n20\n0\n30\n0\n11\n4\n21\n0\n31\n0\n12\n4\n22\n4\n32\n0\n13\n0\n23\n4\n33\n0\n"
      // A corner with x but no y.
      "0\nSOLID\n8\nS\n10\n0\n20\n0\n11\n1\n21\n0\n12\n1\n");
  CGraph g;
  DxfReadReport report;
  ASSERT_TRUE(ReadDxfText(text, g, &report));
  EXPECT_EQ(report.entitiesDropped, 1);
  const auto e = All(g);
  ASSERT_EQ(e.size(), 2u);
  const auto& tri = static_cast<const CSolid&>(*e[0]).points();
  ASSERT_EQ(tri.size(), 3u);
  EXPECT_GT(cross(tri[0], tri[1], tri[2]), 0.0);
  const auto& face = static_cast<const CSolid&>(*e[1]).points();
  ASSERT_EQ(face.size(), 4u);
  EXPECT_DOUBLE_EQ(face[2].x, 4.0);
  EXPECT_DOUBLE_EQ(face[2].y, 4.0);
}

TEST(DxfReaderRecords, HatchPolylineAndEdgePaths) {
  const std::string text = Entities(Dxf({
      {0, "HATCH"}, {8, "H"}, {62, "4"}, {10, "0"}, {20, "0"}, {30, "0"}, {2, "SOLID"}, {70, "1"}, {71, "0"},
      {91, "2"},
      // A polyline path with bulges, then an edge path of lines and an arc.
      {92, "7"}, {72, "1"}, {73, "1"}, {93, "3"}, {10, "0"}, {20, "0"}, {42, "0"}, {10, "10"}, {20, "0"}, {42, "0"},
      {10, "10"}, {20, "10"}, {42, "0.5"}, {97, "0"},
      {92, "1"}, {93, "3"}, {72, "1"}, {10, "2"}, {20, "2"}, {11, "4"}, {21, "2"},
      {72, "2"}, {10, "4"}, {20, "3"}, {40, "1"}, {50, "270"}, {51, "90"}, {73, "1"},
      {72, "1"}, {10, "4"}, {20, "4"}, {11, "2"}, {21, "2"}, {97, "1"}, {330, "1F"},
      {75, "0"}, {76, "1"}, {98, "1"}, {10, "1"}, {20, "9"},
      {1001, "ACAD"}, {1010, "99"}, {1020, "99"},
  }));
  CGraph g;
  DxfReadReport report;
  ASSERT_TRUE(ReadDxfText(text, g, &report));
  ASSERT_EQ(All(g).size(), 1u) << (report.dropReasons.empty() ? "" : report.dropReasons[0]);
  const auto& hatch = static_cast<const CPolyPolygon&>(*All(g)[0]);
  EXPECT_EQ(hatch.colour(), 4);
  ASSERT_EQ(hatch.outlineCount(), 2u);
  EXPECT_EQ(hatch.outline(0)->getVertexCount(), 3);
  EXPECT_DOUBLE_EQ(hatch.outline(0)->vertices()[2].bulge, 0.5);
  const auto& edge = hatch.outline(1)->vertices();
  ASSERT_EQ(edge.size(), 3u);
  EXPECT_NEAR(edge[1].x, 4.0, 1e-9);  // the arc starts at its 270° point
  EXPECT_NEAR(edge[1].y, 2.0, 1e-9);
  EXPECT_NEAR(edge[1].bulge, 1.0, 1e-9);  // a half circle
  EXPECT_DOUBLE_EQ(hatch.seedX, 1.0);
  EXPECT_DOUBLE_EQ(hatch.seedY, 9.0);
}

TEST(DxfReaderTables, HeaderLayersAndTheirOrder) {
  const std::string text =
      "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1009\n9\n$CECOLOR\n62\n0\n9\n$CLAYER\n8\nwalls\n"
      "9\n$PLINEWID\n40\n-3\n9\n$OSMODE\n70\n0\n0\nENDSEC\n"
      "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLTYPE\n70\n1\n0\nLTYPE\n2\nCONTINUOUS\n0\nENDTAB\n"
      "0\nTABLE\n2\nLAYER\n70\n3\n0\nLAYER\n2\nWalls\n62\n-5\n0\nLAYER\n2\nDoors\n62\n2\n0\nLAYER\n62\n3\n0\nENDTAB\n"
      "0\nENDSEC\n"
      "0\nSECTION\n2\nENTITIES\n" + kLine + "0\nLINE\n8\nA\n10\n0\n20\n0\n11\n1\n21\n1\n"
      "0\nLINE\n8\nB\n10\n0\n20\n0\n11\n1\n21\n1\n0\nENDSEC\n0\nEOF\n";
  CGraph g;
  ASSERT_TRUE(ReadDxfText(text, g));
  EXPECT_EQ(g.currentColour, settings::kColorByLayer);
  EXPECT_DOUBLE_EQ(g.currentWidth, 0.0);
  EXPECT_EQ(g.aids.osnapOn, 0);
  // Table layers keep the table's order; layers first named by entities
  // come in front, the latest first. The record without a name is ignored.
  EXPECT_EQ(LayerNames(g), (std::vector<std::string>{"B", "A", "L", "Walls", "Doors"}));
  const CLayer* walls = g.findLayer("Walls");
  EXPECT_EQ(walls->colour(), 7);  // a negative colour does not hide the layer
  EXPECT_TRUE(walls->visible());
  EXPECT_EQ(g.currentLayer(), walls);  // $CLAYER without regard to case
}

TEST(DxfReaderTables, MalformedHeaderEndsTheReadAndKeepsWhatWasRead) {
  CGraph g;
  DxfReadReport report;
  EXPECT_FALSE(ReadDxfText("0\nSECTION\n2\nHEADER\n9\n$CECOLOR\n62\n3\n9\n$ORTHOMODE\n40\n1\n0\nENDSEC\n" +
                               Entities(kLine),
                           g, &report));
  EXPECT_TRUE(report.stoppedEarly);
  EXPECT_NE(report.stopReason.find("$ORTHOMODE"), std::string::npos) << report.stopReason;
  EXPECT_EQ(g.currentColour, 3);
  EXPECT_TRUE(All(g).empty());
  EXPECT_EQ(LayerNames(g), (std::vector<std::string>{"0"}));
}

TEST(DxfReaderTables, FileWithoutEntitiesGivesItsLayersOrLayerZero) {
  CGraph g;
  ASSERT_TRUE(ReadDxfText("0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n0\nLAYER\n2\nOnly\n62\n4\n0\nENDTAB\n0\nENDSEC\n"
                          "0\nEOF\n",
                          g));
  EXPECT_EQ(LayerNames(g), (std::vector<std::string>{"Only"}));
  EXPECT_EQ(g.currentLayer()->name(), "Only");
  CGraph empty;
  ASSERT_TRUE(ReadDxfText("", empty));
  EXPECT_EQ(LayerNames(empty), (std::vector<std::string>{"0"}));
  EXPECT_NE(empty.currentLayer(), nullptr);
}

// --- damaged input ------------------------------------------------------------------

std::string WrittenSample() {
  CGraph g;
  g.setCurrentLayerByName("Ink");
  g.addEntity(std::make_unique<CLine>(Point3{0, 0, 0}, Point3{10, 5, 0}));
  auto p = std::make_unique<CPolyLine>();
  p->appendVertex(0, 0, 1.0, 0.3);
  p->appendVertex(5, 5, 1.0, 0.0);
  p->appendVertex(9, 1, 1.0, 0.0);
  g.addEntity(std::move(p));
  g.addEntity(std::make_unique<CCircle>(Point3{3, 3, 0}, 2.0))->setWidth(0.5);
  g.addEntity(CSolid::fromThreePoints(Point3{0, 0, 0}, Point3{4, 0, 0}, Point3{0, 4, 0}));
  Box box;
  (void)g.getDrawingExtents(box, true, false);
  DxfCollectingWriter out;
  EXPECT_TRUE(WriteDxf2000File(out, g, true));
  return out.Text();
}

TEST(DxfReaderDamage, EveryTruncationKeepsTheRecordsBeforeTheCut) {
  const std::string full = WrittenSample();
  long previous = 0;
  for (size_t length = 0; length <= full.size(); length += 7) {
    CGraph g;
    DxfReadReport report;
    ReadDxfText(std::string_view(full).substr(0, length), g, &report);
    // Records are kept in file order: a longer prefix never keeps fewer.
    EXPECT_GE(report.entitiesRead, previous) << length;
    previous = report.entitiesRead;
    EXPECT_FALSE(g.layers().empty());
  }
  EXPECT_EQ(previous, 4);
  // Cut inside the last record: the others are there and the cut is said.
  const size_t cut = full.rfind("SOLID");
  CGraph g;
  DxfReadReport report;
  EXPECT_FALSE(ReadDxfText(std::string_view(full).substr(0, cut + 30), g, &report));
  EXPECT_EQ(report.entitiesRead, 3);
  EXPECT_EQ(report.entitiesDropped, 1);
  EXPECT_TRUE(report.stoppedEarly);
}

TEST(DxfReaderDamage, LineEndsOfEveryPlatformReadAlike) {
  const std::string lf = Entities(kLine);
  std::string crlf, cr;
  for (char c : lf) {
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    cr += c == '\n' ? '\r' : c;
  }
  for (const std::string& text : {lf, crlf, cr, lf.substr(0, lf.size() - 1) /* no final line break */}) {
    CGraph g;
    ASSERT_TRUE(ReadDxfText(text, g));
    ASSERT_EQ(All(g).size(), 1u);
    EXPECT_DOUBLE_EQ(All(g)[0]->getEndPoint().y, 4.0);
  }
}

TEST(DxfReaderDamage, StructureLossStopsWithWhatWasRead) {
  // A lost line shifts codes and values: the first value read as a code
  // ends the read, with the line named.
  const std::string text = Entities(kLine + "0\nLINE\n8\nL\n10\n20\n2\n11\n3\n21\n4\n" + kLine);
  CGraph g;
  DxfReadReport report;
  EXPECT_FALSE(ReadDxfText(text, g, &report));
  EXPECT_TRUE(report.stoppedEarly);
  EXPECT_GE(report.entitiesRead, 1);
  EXPECT_NE(report.stopReason.find("line "), std::string::npos) << report.stopReason;

  // Not DXF at all.
  CGraph other;
  EXPECT_FALSE(ReadDxfText("%PDF-1.4\nsomething\n", other, &report));
  EXPECT_FALSE(report.sawSection);
  // A section without its ENDSEC and a file without EOF.
  CGraph open;
  EXPECT_TRUE(ReadDxfText("0\nSECTION\n2\nENTITIES\n" + kLine + "0\nSECTION\n2\nBLOCKS\n0\nENDSEC\n", open));
  EXPECT_EQ(All(open).size(), 1u);
}

TEST(DxfReaderDamage, AbsurdCountsAndOverlongLinesStayBounded) {
  const std::string hugeName(300000, 'N');
  const std::string text = Entities(
      "0\nHATCH\n8\nH\n2\nSOLID\n70\n1\n91\n2000000000\n92\n2\n93\n2000000000\n10\n0\n20\n0\n10\n1\n20\n0\n97\n0\n"
      "0\nLWPOLYLINE\n8\n" + hugeName + "\n90\n2147483647\n10\n0\n20\n0\n10\n1\n20\n1\n"
      "0\nLINE\n8\nL\n62\n99999999999999999999\n10\n1\n20\n2\n11\n3\n21\n4\n");
  CGraph g;
  DxfReadReport report;
  ASSERT_TRUE(ReadDxfText(text, g, &report));
  EXPECT_EQ(report.entitiesDropped, 1);  // the hatch's path does not hold its count
  EXPECT_EQ(report.longLines, 1);
  ASSERT_EQ(All(g).size(), 2u);
  EXPECT_EQ(g.findLayer(std::string(DxfGroupReader::kMaxLineLength, 'N'))->count(), 1u);
  EXPECT_EQ(g.findLayer("L")->first()->colour(), settings::kColorByLayer);  // out of range, not wrapped round
}

// --- the file -----------------------------------------------------------------------

TEST(DxfReaderFile, AFileThatCannotBeReadLeavesTheDrawingAlone) {
  test::TempDir dir;
  for (const std::string& path : {dir.file("missing.dxf"), dir.path()}) {
    CGraph g;
    g.setCurrentLayerByName("Mine");
    g.addEntity(std::make_unique<CLine>(Point3{0, 0, 0}, Point3{1, 1, 0}));
    test::CapturedMessages messages;
    DxfReadReport report;
    EXPECT_FALSE(ReadDxfFile(path, g, {}, &report)) << path;
    EXPECT_FALSE(report.opened);
    ASSERT_EQ(g.layers().size(), 1u) << path;
    EXPECT_EQ(g.layers().front()->count(), 1u);
    ASSERT_EQ(messages.messages().size(), 1u);
  }
  test::CapturedMessages messages;
  CGraph g;
  EXPECT_FALSE(ReadDxfFile(dir.file("missing.dxf"), g));
  EXPECT_EQ(messages.messages().at(0), "Can't open DXF file!");
}

TEST(DxfReaderFile, ReadsAFileWithProgress) {
  test::TempDir dir;
  const std::string path = dir.file("sample.dxf");
  test::WriteFile(path, WrittenSample());
  std::vector<int> percents;
  std::string text;
  CGraph g;
  ASSERT_TRUE(ReadDxfFile(path, g, [&](std::string_view t, int p) {
    text = t;
    percents.push_back(p);
  }));
  EXPECT_EQ(g.totalCount(), 4u);
  EXPECT_EQ(text, "Reading DXF file...");
  ASSERT_GE(percents.size(), 3u);
  EXPECT_EQ(percents.front(), 0);
  EXPECT_EQ(percents.back(), 100);
  for (size_t i = 1; i < percents.size(); ++i) EXPECT_GE(percents[i], percents[i - 1]);
}

}  // namespace
}  // namespace quillon::formats
