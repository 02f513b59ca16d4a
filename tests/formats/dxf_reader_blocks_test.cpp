// The DXF reader's placement and curves: object coordinate systems, entities
// carried through block maps, ellipse and spline flattening within the
// tolerance, INSERT expansion with its layer and colour rules and its
// limits, and binary DXF. (Whole files from a third-party writer compared
// with its own flattening: tests/py/test_dxf_reader_blocks_ezdxf.py.)

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "formats/dxf_reader/dxf_curves.h"
#include "formats/dxf_reader/dxf_geometry.h"
#include "formats/dxf_reader/dxf_reader.h"
#include "model/arc.h"
#include "model/circle.h"
#include "model/graph.h"
#include "model/line.h"
#include "model/polyline.h"

namespace quillon::formats {
namespace {

using namespace quillon::model;

std::vector<const CEntity*> All(const CGraph& g) {
  std::vector<const CEntity*> out;
  for (const auto& layer : g.layers())
    for (const auto& e : *layer) out.push_back(e.get());
  return out;
}

// The largest distance of any chord point (sampled) from the exact curve f,
// searched by parameter near the chord's ends.
template <typename F>
double ChordDeviation(const std::vector<Point3>& points, bool closed, const F& distanceToCurve) {
  double worst = 0.0;
  const std::size_t n = points.size();
  for (std::size_t i = 0; i + (closed ? 0 : 1) < n; ++i) {
    const Point3& a = points[i];
    const Point3& b = points[(i + 1) % n];
    for (int k = 0; k <= 16; ++k) {
      const Point3 p{a.x + (b.x - a.x) * k / 16, a.y + (b.y - a.y) * k / 16, 0.0};
      worst = std::max(worst, distanceToCurve(p));
    }
  }
  return worst;
}

// Distance of p from the ellipse x²/a² + y²/b² = 1 (by a fine search).
double EllipseDistance(const Point3& p, double a, double b) {
  double best = 1e300;
  for (int i = 0; i < 20000; ++i) {
    const double t = kTwoPi * i / 20000;
    best = std::min(best, std::hypot(p.x - a * std::cos(t), p.y - b * std::sin(t)));
  }
  return best;
}

TEST(DxfPlacement, ObjectCoordinateSystemsFollowTheArbitraryAxisAlgorithm) {
  EXPECT_TRUE(OcsToWorld(Point3{0, 0, 1}).isIdentity());
  EXPECT_TRUE(OcsToWorld(Point3{0, 0, 0}).isIdentity());  // no direction: the default
  // Far from z: x axis = world z × N. For N = +x that is world y.
  const Point3 p = OcsToWorld(Point3{5, 0, 0}).apply(Point3{2, 3, 4});
  EXPECT_NEAR(p.x, 4.0, 1e-12);
  EXPECT_NEAR(p.y, 2.0, 1e-12);
  EXPECT_NEAR(p.z, 3.0, 1e-12);
  // Near z (|Nx|, |Ny| < 1/64): x axis = world y × N; for -z that is -x.
  const Point3 q = OcsToWorld(Point3{0, 0, -1}).apply(Point3{2, 3, 4});
  EXPECT_NEAR(q.x, -2.0, 1e-12);
  EXPECT_NEAR(q.y, 3.0, 1e-12);
  EXPECT_NEAR(q.z, -4.0, 1e-12);
  // Any direction: orthonormal axes, the third being N.
  const DxfAffine m = OcsToWorld(Point3{1, 1, 1});
  const Point3 ax = m.applyLinear(Point3{1, 0, 0}), ay = m.applyLinear(Point3{0, 1, 0}),
               az = m.applyLinear(Point3{0, 0, 1});
  EXPECT_NEAR(Dot(ax, ay), 0.0, 1e-12);
  EXPECT_NEAR(Length(ax), 1.0, 1e-12);
  EXPECT_NEAR(az.x, 1.0 / std::sqrt(3.0), 1e-12);
  EXPECT_NEAR(ax.z, 0.0, 1e-12);  // the x axis lies in the world XY plane
}

TEST(DxfPlacement, ArcsStayArcsUnderSimilaritiesAndBecomeChordsOtherwise) {
  const CArc arc(Point3{1, 0, 0}, 2.0, 0.0, kPi / 2);
  // Mirror in y, rotate 90°, scale 3, move: still an arc whose ends are the
  // images of the original ends.
  const DxfAffine map = DxfAffine::translation(Point3{10, 5, 0})
                            .after(DxfAffine::rotationZ(kPi / 2).after(DxfAffine::scaling(-3, 3, 1)));
  bool flattened = true;
  const auto mapped = TransformEntity(arc, map, 0.1, &flattened);
  ASSERT_EQ(mapped->type(), EntityType::Arc);
  EXPECT_FALSE(flattened);
  const auto& a = static_cast<const CArc&>(*mapped);
  EXPECT_NEAR(a.radius(), 6.0, 1e-12);
  const Point3 s = map.apply(arc.getStartPoint()), e = map.apply(arc.getEndPoint());
  // Mirrored: the image runs from the end's image to the start's image.
  EXPECT_NEAR(a.getStartPoint().x, e.x, 1e-9);
  EXPECT_NEAR(a.getStartPoint().y, e.y, 1e-9);
  EXPECT_NEAR(a.getEndPoint().x, s.x, 1e-9);
  EXPECT_NEAR(a.getEndPoint().y, s.y, 1e-9);

  // Unequal scales: a circle becomes an ellipse of chords within tolerance.
  const CCircle circle(Point3{0, 0, 0}, 10.0);
  const auto stretched = TransformEntity(circle, DxfAffine::scaling(3, 1, 1), 0.1, &flattened);
  ASSERT_EQ(stretched->type(), EntityType::PolyLine);
  EXPECT_TRUE(flattened);
  std::vector<Point3> points;
  for (const PolyVertex& v : static_cast<const CPolyLine&>(*stretched).vertices()) points.push_back(v.point());
  EXPECT_TRUE(stretched->isClosed());
  EXPECT_LE(ChordDeviation(points, true, [](const Point3& p) { return EllipseDistance(p, 30, 10); }), 0.1);

  // A bulged polyline mirrored keeps its bulges with the sign turned.
  CPolyLine polyline;
  polyline.appendVertex(0, 0, 0.0, 0.5);
  polyline.appendVertex(4, 0, 0.0, 0.0);
  const auto mirrored = TransformEntity(polyline, DxfAffine::scaling(-1, 1, 1), 0.1);
  EXPECT_DOUBLE_EQ(static_cast<const CPolyLine&>(*mirrored).vertices()[0].bulge, -0.5);
}

TEST(DxfCurves, EllipsesAcrossZeroAndLargeOnesStayWithinTheTolerance) {
  DxfEllipse e;
  e.majorAxis = Point3{300, 0, 0};
  e.ratio = 0.4;
  e.startParameter = 300.0 * kPi / 180;
  e.endParameter = 60.0 * kPi / 180;  // across 0
  const FlattenedCurve arc = FlattenCurve(DxfCurve{e}, DxfAffine{}, 0.1);
  ASSERT_GE(arc.points.size(), 3u);
  EXPECT_FALSE(arc.closed);
  EXPECT_NEAR(arc.points.front().x, 150.0, 1e-9);  // 300·cos 300°
  EXPECT_NEAR(arc.points.front().y, -120 * std::sqrt(3.0) / 2, 1e-9);
  EXPECT_NEAR(arc.points.back().y, 120 * std::sqrt(3.0) / 2, 1e-9);
  for (const Point3& p : arc.points) EXPECT_GT(p.x, 149.0);  // the short way round, through 0
  EXPECT_LE(ChordDeviation(arc.points, false, [](const Point3& p) { return EllipseDistance(p, 300, 120); }), 0.1);

  e.startParameter = 0.0;
  e.endParameter = kTwoPi;
  const FlattenedCurve whole = FlattenCurve(DxfCurve{e}, DxfAffine{}, 0.1);
  EXPECT_TRUE(whole.closed);
  EXPECT_LE(ChordDeviation(whole.points, true, [](const Point3& p) { return EllipseDistance(p, 300, 120); }), 0.1);
  // The tolerance, not a fixed count, decides: a coarser one needs fewer points.
  EXPECT_LT(FlattenCurve(DxfCurve{e}, DxfAffine{}, 1.0).points.size(), whole.points.size() / 2);
}

TEST(DxfCurves, SplinesByControlPointsWeightsAndFitPoints) {
  // A rational quadratic quarter circle.
  DxfSpline quarter;
  quarter.degree = 2;
  quarter.controlPoints = {{10, 0, 0}, {10, 10, 0}, {0, 10, 0}};
  quarter.weights = {1.0, std::sqrt(0.5), 1.0};
  quarter.knots = {0, 0, 0, 1, 1, 1};
  const FlattenedCurve q = FlattenCurve(DxfCurve{quarter}, DxfAffine{}, 0.01);
  ASSERT_GE(q.points.size(), 3u);
  for (const Point3& p : q.points) EXPECT_NEAR(std::hypot(p.x, p.y), 10.0, 1e-9);
  EXPECT_LE(ChordDeviation(q.points, false, [](const Point3& p) { return std::fabs(std::hypot(p.x, p.y) - 10.0); }),
            0.01);

  // Fit points: the curve passes through every one of them.
  DxfSpline fit;
  fit.fitPoints = {{0, 0, 0}, {3, 5, 0}, {6, -2, 0}, {10, 4, 0}, {14, 0, 0}};
  const FlattenedCurve f = FlattenCurve(DxfCurve{fit}, DxfAffine{}, 0.1);
  for (const Point3& target : fit.fitPoints) {
    double best = 1e300;
    for (const Point3& p : f.points) best = std::min(best, std::hypot(p.x - target.x, p.y - target.y));
    EXPECT_LT(best, 1e-6) << target.x;
  }

  // A closed periodic cubic (control points wrapped, uniform knots) comes
  // back as a closed polyline.
  DxfSpline ring;
  ring.closed = true;
  ring.controlPoints = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}, {0, 0, 0}, {10, 0, 0}, {10, 10, 0}};
  for (int i = 0; i < 11; ++i) ring.knots.push_back(i);
  const FlattenedCurve r = FlattenCurve(DxfCurve{ring}, DxfAffine{}, 0.1);
  EXPECT_TRUE(r.closed);

  // Data that make no curve say why.
  DxfSpline bad = quarter;
  bad.knots.pop_back();
  EXPECT_NE(SplineProblem(bad).find("knots"), std::string::npos);
  bad = quarter;
  bad.weights[1] = 0.0;
  EXPECT_NE(SplineProblem(bad).find("weight"), std::string::npos);
  bad = quarter;
  bad.degree = 40;
  EXPECT_NE(SplineProblem(bad).find("degree"), std::string::npos);
}

TEST(DxfPlacement, TiltedEntitiesAreSeenFromAboveAndThreeDPolylinesRead) {
  const std::string text =
      "0\nSECTION\n2\nENTITIES\n"
      // A circle standing in the world YZ plane at x = 4: seen from above, a
      // stroke from y = 0 to y = 4.
      "0\nCIRCLE\n8\nT\n10\n2\n20\n3\n30\n4\n40\n2\n210\n1\n220\n0\n230\n0\n"
      // A 3D polyline: world vertices, even with a tilted extrusion given.
      "0\nPOLYLINE\n8\nT\n66\n1\n70\n8\n210\n1\n220\n0\n230\n0\n"
      "0\nVERTEX\n8\nT\n10\n1\n20\n2\n30\n3\n70\n32\n0\nVERTEX\n8\nT\n10\n4\n20\n5\n30\n6\n70\n32\n"
      "0\nSEQEND\n0\nENDSEC\n0\nEOF\n";
  CGraph g;
  DxfReadReport report;
  ASSERT_TRUE(ReadDxfText(text, g, &report));
  const auto e = All(g);
  ASSERT_EQ(e.size(), 2u);
  ASSERT_EQ(e[0]->type(), EntityType::PolyLine);
  EXPECT_EQ(report.types["CIRCLE"].flattened, 1);
  double lo = 1e9, hi = -1e9;
  for (const PolyVertex& v : static_cast<const CPolyLine&>(*e[0]).vertices()) {
    EXPECT_NEAR(v.x, 4.0, 1e-9);
    lo = std::min(lo, v.y);
    hi = std::max(hi, v.y);
  }
  EXPECT_NEAR(lo, 0.0, 1e-9);
  EXPECT_NEAR(hi, 4.0, 1e-9);
  const auto& p = static_cast<const CPolyLine&>(*e[1]).vertices();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_DOUBLE_EQ(p[1].x, 4.0);
  EXPECT_DOUBLE_EQ(p[1].z, 6.0);
}

// --- INSERT -------------------------------------------------------------------------

std::string Block(const std::string& name, const std::string& entities, const std::string& base = "") {
  return "0\nBLOCK\n8\n0\n2\n" + name + "\n70\n0\n" + (base.empty() ? "10\n0\n20\n0\n" : base) + entities +
         "0\nENDBLK\n8\n0\n";
}
std::string Blocks(const std::string& blocks) { return "0\nSECTION\n2\nBLOCKS\n" + blocks + "0\nENDSEC\n"; }
std::string Entities(const std::string& records) { return "0\nSECTION\n2\nENTITIES\n" + records + "0\nENDSEC\n"; }

TEST(DxfInsert, PlacesBlocksWithTheLayerAndColourRules) {
  const std::string text =
      Blocks(Block("B",
                   "0\nLINE\n8\n0\n62\n0\n10\n0\n20\n0\n11\n1\n21\n0\n"   // layer 0, ByBlock
                   "0\nCIRCLE\n8\nOwn\n10\n0\n20\n0\n40\n1\n"              // its own layer
                   "0\nLINE\n8\n0\n62\n3\n10\n0\n20\n0\n11\n0\n21\n1\n",  // layer 0, colour 3
                   "10\n1\n20\n1\n")) +                                   // base point (1, 1)
      Entities(
          // Scaled 2, rotated 90°, at (10, 0), layer Ins, colour 1; a 2 x 3 array.
          "0\nINSERT\n8\nIns\n62\n1\n2\nB\n10\n10\n20\n0\n41\n2\n42\n2\n50\n90\n70\n3\n71\n2\n44\n10\n45\n20\n") +
      "0\nEOF\n";
  CGraph g;
  DxfReadReport report;
  ASSERT_TRUE(ReadDxfText(text, g, &report));
  EXPECT_EQ(report.entitiesPlaced, 18);
  EXPECT_EQ(report.types["INSERT"].expanded, 1);
  EXPECT_EQ(report.types["LINE"].placed, 12);
  ASSERT_NE(g.findLayer("Ins"), nullptr);
  ASSERT_NE(g.findLayer("Own"), nullptr);
  EXPECT_EQ(g.findLayer("Ins")->count(), 12u);
  EXPECT_EQ(g.findLayer("Own")->count(), 6u);
  EXPECT_EQ(g.findLayer("0"), nullptr);  // nothing stays on layer 0
  const auto& first = static_cast<const CLine&>(*g.findLayer("Ins")->first());
  EXPECT_EQ(first.colour(), 1);  // ByBlock: the insert's colour
  // Block (0, 0) is (-1, -1) from the base; scaled 2 and turned 90°: (2, -2); at (10, 0).
  EXPECT_NEAR(first.start().x, 12.0, 1e-9);
  EXPECT_NEAR(first.start().y, -2.0, 1e-9);
  EXPECT_NEAR(first.end().y, 0.0, 1e-9);  // block x runs along drawing y
  const auto& circle = static_cast<const CCircle&>(*g.findLayer("Own")->first());
  EXPECT_NEAR(circle.radius(), 2.0, 1e-12);
  // The last cell (column 2, row 1) is offset (20, 20) in the insert's
  // rotated frame: (-20, 20) in the drawing.
  const auto& last = static_cast<const CCircle&>(*g.findLayer("Own")->last());
  EXPECT_NEAR(last.centre().x, 12.0 - 20.0, 1e-9);
  EXPECT_NEAR(last.centre().y, -2.0 + 20.0, 1e-9);
}

TEST(DxfInsert, NestedBlocksAndBlocksDefinedAfterTheirInserts) {
  // Entities first, blocks after; N holds two inserts of B on layer 0 (one
  // ByBlock), inserted on layer Outer with colour 5.
  const std::string text =
      Entities("0\nINSERT\n8\nOuter\n62\n5\n2\nN\n10\n100\n20\n0\n") +
      Blocks(Block("N", "0\nINSERT\n8\n0\n62\n0\n2\nb\n10\n0\n20\n0\n0\nINSERT\n8\n0\n2\nB\n10\n0\n20\n10\n") +
             Block("B", "0\nLINE\n8\n0\n62\n0\n10\n0\n20\n0\n11\n1\n21\n0\n")) +
      "0\nEOF\n";
  CGraph g;
  DxfReadReport report;
  ASSERT_TRUE(ReadDxfText(text, g, &report));
  ASSERT_NE(g.findLayer("Outer"), nullptr);
  const auto e = All(g);
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0]->colour(), 5);                      // ByBlock through a ByBlock insert
  EXPECT_EQ(e[1]->colour(), settings::kColorByLayer);  // through a ByLayer insert
  EXPECT_NEAR(e[1]->getStartPoint().y, 10.0, 1e-12);
  EXPECT_NEAR(e[1]->getStartPoint().x, 100.0, 1e-12);
  EXPECT_EQ(report.types["INSERT"].expanded, 3);  // each record once
}

TEST(DxfInsert, HostileInsertsEndWithAMessage) {
  // A block that inserts itself, twice over and inside an array.
  CGraph g;
  DxfReadReport report;
  ASSERT_TRUE(ReadDxfText(
      Blocks(Block("S", "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n0\n0\nINSERT\n8\n0\n2\nS\n10\n2\n20\n0\n70\n5\n")) +
          Entities("0\nINSERT\n8\n0\n2\nS\n70\n3\n44\n10\n0\nINSERT\n8\n0\n2\nMissing\n") + "0\nEOF\n",
      g, &report));
  EXPECT_EQ(All(g).size(), 3u);
  ASSERT_EQ(report.dropReasons.size(), 2u);  // once per record, however often placed
  EXPECT_NE(report.dropReasons[0].find("inserts itself"), std::string::npos) << report.dropReasons[0];
  EXPECT_NE(report.dropReasons[1].find("not defined"), std::string::npos);

  // A chain of nested blocks deeper than the limit.
  std::string chain;
  for (int i = 0; i < 200; ++i) {
    chain += Block("C" + std::to_string(i), "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n0\n0\nINSERT\n8\n0\n2\nC" +
                                                std::to_string(i + 1) + "\n10\n0\n20\n1\n");
  }
  CGraph deep;
  ASSERT_TRUE(ReadDxfText(Blocks(chain) + Entities("0\nINSERT\n8\n0\n2\nC0\n") + "0\nEOF\n", deep, &report));
  EXPECT_EQ(All(deep).size(), static_cast<std::size_t>(kMaxInsertDepth));
  EXPECT_NE(report.dropReasons.at(0).find("deeper"), std::string::npos);

  // Arrays far beyond the limits are capped, not expanded.
  CGraph huge;
  ASSERT_TRUE(ReadDxfText(Blocks(Block("E", "")) + Blocks(Block("L", "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n0\n")) +
                              Entities("0\nINSERT\n8\n0\n2\nE\n70\n100000\n71\n100000\n"
                                       "0\nINSERT\n8\n0\n2\nL\n70\n100000\n71\n100000\n") +
                              "0\nEOF\n",
                          huge, &report));
  EXPECT_TRUE(report.expansionCapped);
  EXPECT_LE(report.entitiesPlaced, kMaxPlacedEntities);
  EXPECT_NE(report.dropReasons.at(0).find("limit"), std::string::npos);

  // A caller's own bounds hold exactly, for nested arrays of unevenly scaled
  // circles too (each one a polyline of many vertices).
  const std::string nested = Blocks(Block("A", "0\nCIRCLE\n8\n0\n10\n0\n20\n0\n40\n1\n0\nLINE\n8\n0\n11\n1\n") +
                                    Block("B", "0\nINSERT\n8\n0\n2\nA\n41\n2\n70\n100\n44\n3\n")) +
                             Entities("0\nINSERT\n8\n0\n2\nB\n71\n100\n45\n3\n") + "0\nEOF\n";
  CGraph few;
  ASSERT_TRUE(ReadDxfText(nested, few, &report, kDxfFlattenTolerance, DxfReadLimits{32, 500, 1000000, 1000000}));
  EXPECT_EQ(report.entitiesPlaced, 500);
  EXPECT_EQ(All(few).size(), 500u);
  EXPECT_NE(report.dropReasons.at(0).find("500 placed entities"), std::string::npos) << report.dropReasons.at(0);
  CGraph thin;
  ASSERT_TRUE(ReadDxfText(nested, thin, &report, kDxfFlattenTolerance, DxfReadLimits{32, 1000000, 2000, 1000000}));
  EXPECT_TRUE(report.expansionCapped);
  long vertices = 0;
  for (const auto* e : All(thin)) vertices += std::max(1, e->getVertexCount());
  EXPECT_LE(vertices, 2000);
  EXPECT_GT(vertices, 1900);
  EXPECT_NE(report.dropReasons.at(0).find("2000 placed vertices"), std::string::npos) << report.dropReasons.at(0);
}

// --- binary DXF -------------------------------------------------------------------------

struct BinaryDxf {
  std::string bytes{"AutoCAD Binary DXF\r\n\x1a\0", 22};
  bool twoByteCodes = true;
  void code(int c) {
    if (twoByteCodes) {
      bytes += static_cast<char>(c & 0xff);
      bytes += static_cast<char>((c >> 8) & 0xff);
    } else if (c >= 255) {
      bytes += static_cast<char>(255);
      bytes += static_cast<char>(c & 0xff);
      bytes += static_cast<char>((c >> 8) & 0xff);
    } else {
      bytes += static_cast<char>(c);
    }
  }
  void text(int c, const std::string& v) {
    code(c);
    bytes += v;
    bytes += '\0';
  }
  void real(int c, double v) {
    code(c);
    char raw[8];
    std::memcpy(raw, &v, 8);  // little-endian machines only, like the format
    bytes.append(raw, 8);
  }
  void int16(int c, int v) {
    code(c);
    bytes += static_cast<char>(v & 0xff);
    bytes += static_cast<char>((v >> 8) & 0xff);
  }
};

TEST(DxfBinary, ReadsBothCodeWidthsLikeText) {
  for (const bool two : {true, false}) {
    BinaryDxf f;
    f.twoByteCodes = two;
    f.text(0, "SECTION");
    f.text(2, "ENTITIES");
    f.text(0, "LINE");
    f.text(8, "Bin");
    f.int16(62, 3);
    f.real(10, 1.25);
    f.real(20, -2.5);
    f.real(11, 1e-3);
    f.real(21, 12345.678901234567);
    f.text(1001, "APP");  // extended data behind the escape in one-byte files
    f.text(1000, "x");
    f.text(0, "ARC");
    f.text(8, "Bin");
    f.real(10, 0);
    f.real(20, 0);
    f.real(40, 2);
    f.real(50, 0);
    f.real(51, 90);
    f.text(0, "ENDSEC");
    f.text(0, "EOF");
    CGraph g;
    DxfReadReport report;
    ASSERT_TRUE(ReadDxfText(f.bytes, g, &report)) << report.stopReason;
    EXPECT_TRUE(report.binary);
    const auto e = All(g);
    ASSERT_EQ(e.size(), 2u) << two;
    const auto& line = static_cast<const CLine&>(*e[0]);
    EXPECT_EQ(line.colour(), 3);
    EXPECT_DOUBLE_EQ(line.start().x, 1.25);
    EXPECT_DOUBLE_EQ(line.end().y, 12345.678901234567);  // all 17 digits survive
    EXPECT_NEAR(static_cast<const CArc&>(*e[1]).endAngle(), kPi / 2, 1e-12);

    // Cut anywhere, it stops early and keeps what came before.
    CGraph cut;
    DxfReadReport cutReport;
    EXPECT_FALSE(ReadDxfText(f.bytes.substr(0, f.bytes.size() * 3 / 4), cut, &cutReport));
    EXPECT_TRUE(cutReport.stoppedEarly);
    EXPECT_EQ(All(cut).size(), 1u);
  }
}

TEST(DxfReport, DescribesEveryTypeItMet) {
  CGraph g;
  DxfReadReport report;
  ASSERT_TRUE(ReadDxfText(
      Blocks(Block("B", "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n0\n")) +
          Entities("0\nINSERT\n8\n0\n2\nB\n0\nINSERT\n8\n0\n2\nB\n10\n5\n"
                   "0\nELLIPSE\n8\nE\n10\n0\n20\n0\n11\n4\n21\n0\n40\n0.5\n41\n0\n42\n6.283185307179586\n"
                   "0\nSPLINE\n8\nS\n71\n3\n72\n3\n40\n0\n40\n0\n40\n1\n10\n0\n20\n0\n10\n1\n20\n1\n"
                   "0\nTEXT\n8\nT\n") +
          "0\nEOF\n",
      g, &report));
  const std::vector<std::string> lines = DescribeDxfRead(report);
  const std::vector<std::string> expected = {
      "ELLIPSE: 1 flattened to polylines", "INSERT: 2 expanded", "LINE: 2 placed by INSERT",
      "SPLINE: 1 dropped", "TEXT: 1 skipped (not read)"};
  EXPECT_EQ(lines, expected);
  EXPECT_NE(report.dropReasons.at(0).find("2 control points for degree 3"), std::string::npos) << report.dropReasons.at(0);
}

}  // namespace
}  // namespace quillon::formats
