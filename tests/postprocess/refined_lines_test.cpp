// Refined centre lines: straight strokes come back whole across crossings,
// and legs meeting at a corner end at the corner point.
#include "postprocess/refined_lines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/polyline.h"
#include "postprocess/traced_drawing.h"

namespace quillon::postprocess {
namespace {

struct Segment {
  double ax, ay, bx, by;
};

// The straight two-vertex polylines of the layer.
std::vector<Segment> StraightPieces(const model::CLayer& layer) {
  std::vector<Segment> out;
  for (const auto& e : layer) {
    if (e->type() != model::EntityType::PolyLine) continue;
    const auto& v = static_cast<const model::CPolyLine&>(*e).vertices();
    if (v.size() == 2 && !v[0].hasBulge()) out.push_back({v[0].x, v[0].y, v[1].x, v[1].y});
  }
  return out;
}

// Whether one straight piece runs from (ax, ay) to (bx, by), either way,
// both ends within tolerance (screen coordinates of a raster `height` high).
bool HasPiece(const model::CLayer& layer, int height, double ax, double ay, double bx, double by,
              double tolerance = 1.0) {
  ay = height - 1 - ay;
  by = height - 1 - by;
  for (const Segment& s : StraightPieces(layer)) {
    const bool forward = std::hypot(s.ax - ax, s.ay - ay) <= tolerance && std::hypot(s.bx - bx, s.by - by) <= tolerance;
    const bool backward = std::hypot(s.ax - bx, s.ay - by) <= tolerance && std::hypot(s.bx - ax, s.by - ay) <= tolerance;
    if (forward || backward) return true;
  }
  return false;
}

std::string Describe(const model::CLayer& layer) {
  std::string text;
  for (const auto& e : layer) {
    if (e->type() != model::EntityType::PolyLine) continue;
    text += "[";
    for (const auto& v : static_cast<const model::CPolyLine&>(*e).vertices())
      text += " (" + std::to_string(v.x) + "," + std::to_string(v.y) + ")";
    text += " ]\n";
  }
  return text;
}

bool TraceRefined(model::CGraph& drawing) {
  settings::TraceOption options;
  options.b_Refine = true;
  return test::TraceAndProcess(drawing, options);
}

constexpr int kWidth = 320;
constexpr int kHeight = 200;

// A horizontal stroke crossed by strokes of other widths and angles, one
// at a shallow angle, with a stem meeting it from below, comes back as one
// straight piece from cap centre to cap centre, and so does each crossing
// stroke.
TEST(RefinedLines, StrokeCrossedByOthersComesBackWhole) {
  model::CGraph drawing;
  ASSERT_TRUE(test::BlankRaster(drawing.raster(), kWidth, kHeight));
  raster::CRaster& r = drawing.raster();
  test::DrawStroke(r, 20, 100, 300, 100, 5);
  test::DrawStroke(r, 80, 30, 80, 170, 9);
  test::DrawStroke(r, 150, 40, 190, 170, 3);
  test::DrawStroke(r, 240, 30, 270, 170, 7);
  test::DrawStroke(r, 110, 70, 230, 126, 6);
  test::DrawStroke(r, 215, 100, 215, 180, 4);
  ASSERT_TRUE(TraceRefined(drawing));
  const model::CLayer& layer = *drawing.currentLayer();
  EXPECT_TRUE(HasPiece(layer, kHeight, 20, 100, 300, 100)) << Describe(layer);
  EXPECT_TRUE(HasPiece(layer, kHeight, 80, 30, 80, 170)) << Describe(layer);
  EXPECT_TRUE(HasPiece(layer, kHeight, 150, 40, 190, 170)) << Describe(layer);
  EXPECT_TRUE(HasPiece(layer, kHeight, 240, 30, 270, 170)) << Describe(layer);
  EXPECT_TRUE(HasPiece(layer, kHeight, 110, 70, 230, 126)) << Describe(layer);
}

// Strokes crossing at shallow angles merge over a long stretch, where
// thinning bends the thin stroke's skeleton towards the wide one: each
// thin stroke still comes back as one straight piece.
TEST(RefinedLines, ThinStrokeCrossedAtAShallowAngleComesBackWhole) {
  model::CGraph drawing;
  ASSERT_TRUE(test::BlankRaster(drawing.raster(), kWidth, kHeight));
  raster::CRaster& r = drawing.raster();
  test::DrawStroke(r, 20, 60, 300, 60, 3);
  test::DrawStroke(r, 60, 88, 260, 15, 9);  // 20 degrees
  test::DrawStroke(r, 20, 150, 300, 150, 2);
  test::DrawStroke(r, 40, 175, 290, 118, 7);  // 13 degrees
  ASSERT_TRUE(TraceRefined(drawing));
  const model::CLayer& layer = *drawing.currentLayer();
  EXPECT_TRUE(HasPiece(layer, kHeight, 20, 60, 300, 60)) << Describe(layer);
  EXPECT_TRUE(HasPiece(layer, kHeight, 20, 150, 300, 150)) << Describe(layer);
}

// Two legs meeting at a sharp corner, and a frame's closed outline: every
// leg a straight piece of its own ending at the corner points.
TEST(RefinedLines, LegsMeetingAtACornerEndAtTheCornerPoint) {
  model::CGraph drawing;
  ASSERT_TRUE(test::BlankRaster(drawing.raster(), kWidth, kHeight));
  raster::CRaster& r = drawing.raster();
  test::DrawStroke(r, 20, 170, 40, 40, 5);
  test::DrawStroke(r, 40, 40, 140, 90, 5);
  const double frame[4][2] = {{180, 30}, {300, 30}, {300, 170}, {180, 170}};
  for (int i = 0; i < 4; ++i)
    test::DrawStroke(r, frame[i][0], frame[i][1], frame[(i + 1) % 4][0], frame[(i + 1) % 4][1], 4);
  ASSERT_TRUE(TraceRefined(drawing));
  const model::CLayer& layer = *drawing.currentLayer();
  EXPECT_TRUE(HasPiece(layer, kHeight, 20, 170, 40, 40)) << Describe(layer);
  EXPECT_TRUE(HasPiece(layer, kHeight, 40, 40, 140, 90)) << Describe(layer);
  // The frame's stroke centres lie between pixel rows for an even width.
  for (int i = 0; i < 4; ++i)
    EXPECT_TRUE(HasPiece(layer, kHeight, frame[i][0], frame[i][1], frame[(i + 1) % 4][0], frame[(i + 1) % 4][1], 1.0))
        << "side " << i << "\n"
        << Describe(layer);
}

model::CPolyLine* Add(model::CLayer& layer, std::vector<std::pair<double, double>> points, double width) {
  auto p = std::make_unique<model::CPolyLine>();
  for (const auto& [x, y] : points) p->appendVertex(x, y, width);
  return static_cast<model::CPolyLine*>(layer.append(std::move(p)));
}

// Collinear pieces stay apart where white lies between them (the dashes
// of a dashed line) or where their strokes differ much in width; a gentle
// bend of a polyline is no corner.
TEST(RefinedLines, PiecesWithoutInkBetweenOrOfOtherWidthsStayApart) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, kWidth, kHeight));
  // Dashes along screen row 40 (drawing y 159).
  for (double x = 20; x < 280; x += 40) test::DrawStroke(raster, x, 40, x + 30, 40, 3);
  // A thin and a thick stroke end to end along row 100 (drawing y 99).
  test::DrawStroke(raster, 20, 100, 150, 100, 2);
  test::DrawStroke(raster, 150, 100, 300, 100, 11);
  model::CLayer layer;
  for (double x = 20; x < 280; x += 40) Add(layer, {{x, 159}, {x + 30, 159}}, 3);
  Add(layer, {{20, 99}, {150, 99}}, 2);
  Add(layer, {{150, 99}, {300, 99}}, 11);
  // A polyline bending by 10° at each vertex.
  model::CPolyLine* bend = Add(layer, {{20, 20}, {60, 20}, {99.4, 26.9}, {137, 40.6}}, 3);
  EXPECT_EQ(rebuildStraightStrokes(layer, raster), 0);
  EXPECT_EQ(layer.count(), 10u);
  EXPECT_EQ(bend->vertices().size(), 4u);
}

struct Stroke {
  double x0, y0, x1, y1, width;
};

// A blank raster with two strokes crossing.
bool CrossingStrokes(raster::CRaster& raster, const Stroke& a, const Stroke& b) {
  if (!test::BlankRaster(raster, kWidth, kHeight)) return false;
  for (const Stroke& s : {a, b}) test::DrawStroke(raster, s.x0, s.y0, s.x1, s.y1, s.width);
  return true;
}

// Rebuilds the layer's straight strokes over the raster: the one polyline
// they all joined into, or null when they did not.
const model::CPolyLine* JoinedIntoOne(model::CLayer& layer, const raster::CRaster& raster) {
  if (rebuildStraightStrokes(layer, raster) != 1 || layer.count() != 1) return nullptr;
  return static_cast<const model::CPolyLine*>(layer.first());
}

// Pieces of a thin stroke on both sides of a crossing, one bent a pixel off
// by thinning and without a measured width: laid onto the ink, they join
// into one vertical piece on the stroke's centre column.
TEST(RefinedLines, BentPieceWithoutWidthJoinsAcrossACrossing) {
  raster::CRaster raster;
  ASSERT_TRUE(CrossingStrokes(raster, {100, 20, 100, 180, 2}, {40, 100, 160, 100, 8}));
  model::CLayer layer;
  Add(layer, {{100, 179}, {98.8, 104}}, 0.0);
  Add(layer, {{100, 95}, {100, 19}}, 3);
  const model::CPolyLine* joined = JoinedIntoOne(layer, raster);
  ASSERT_NE(joined, nullptr) << Describe(layer);
  const auto& v = joined->vertices();
  ASSERT_EQ(v.size(), 2u);
  for (const auto& q : v) EXPECT_NEAR(q.x, 100.0, 0.3);  // pixel centres within 1 px of column 100: 3 wide
  EXPECT_NEAR(std::fmax(v[0].y, v[1].y), 179, 0.5);
  EXPECT_NEAR(std::fmin(v[0].y, v[1].y), 19, 0.5);
  EXPECT_NEAR(v[0].startWidth, 3.0, 0.5);
}

// Inside a crossing the width stage sees the crossing's ink: the short
// piece there comes out much wider than the stroke, yet the stroke through
// it is one, with the width of its long pieces.
TEST(RefinedLines, WidenedPieceInsideACrossingJoinsTheStroke) {
  raster::CRaster raster;
  ASSERT_TRUE(CrossingStrokes(raster, {20, 100, 300, 100, 4}, {160, 20, 160, 180, 20}));
  model::CLayer layer;
  Add(layer, {{20, 99.5}, {148, 99.5}}, 4);
  model::CPolyLine* through = Add(layer, {{148, 99.5}, {172, 99.5}, {300, 99.5}}, 4);
  through->editVertices()[0].startWidth = 20;
  const model::CPolyLine* joined = JoinedIntoOne(layer, raster);
  ASSERT_NE(joined, nullptr) << Describe(layer);
  const auto& v = joined->vertices();
  EXPECT_NEAR(std::fmin(v[0].x, v[1].x), 20, 0.5);
  EXPECT_NEAR(std::fmax(v[0].x, v[1].x), 300, 0.5);
  EXPECT_NEAR(v[0].startWidth, 4.0, 1.0);
}

// A ring kept as one bulged segment hangs off the end of a stroke's piece,
// its chord a few pixels long inside the stroke: it is no stub of a
// crossing (those are short along their bulges too) and stays.
TEST(RefinedLines, ARingHangingOffAJoinedStrokeIsKept) {
  raster::CRaster raster;
  ASSERT_TRUE(CrossingStrokes(raster, {20, 100, 300, 100, 4}, {160, 20, 160, 180, 20}));
  model::CLayer layer;
  Add(layer, {{20, 99.5}, {148, 99.5}}, 4);
  model::CPolyLine* through = Add(layer, {{148, 99.5}, {172, 99.5}, {300, 99.5}, {296, 99.5}}, 4);
  through->editVertices()[2].bulge = 49.0;
  EXPECT_EQ(rebuildStraightStrokes(layer, raster), 1);
  int rings = 0;
  for (const auto& e : layer) {
    if (e->type() != model::EntityType::PolyLine) continue;
    for (const auto& v : static_cast<const model::CPolyLine&>(*e).vertices()) rings += std::fabs(v.bulge - 49.0) < 1e-9;
  }
  EXPECT_EQ(rings, 1) << Describe(layer);
}

// A straight polyline on its own whose ends thinning bent towards the
// strokes they run into lies on its stroke's centre line afterwards, its
// ends moved across the stroke but not along it; one too short to fit
// stays as it was.
TEST(RefinedLines, LoneStraightPolylineIsLaidOntoItsCentreLine) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, kWidth, kHeight));
  test::DrawStroke(raster, 40, 100, 260, 100, 7);  // drawing y 99
  test::DrawStroke(raster, 40, 40, 47, 40, 3);
  model::CLayer layer;
  model::CPolyLine* bent = Add(layer, {{40, 100.6}, {260, 97.7}}, 7);
  model::CPolyLine* stub = Add(layer, {{40, 160}, {47, 158.5}}, 3);
  EXPECT_EQ(rebuildStraightStrokes(layer, raster), 0);
  ASSERT_EQ(layer.count(), 2u);
  const auto& v = bent->vertices();
  ASSERT_EQ(v.size(), 2u);
  EXPECT_NEAR(v[0].x, 40, 0.1);
  EXPECT_NEAR(v[1].x, 260, 0.1);
  EXPECT_NEAR(v[0].y, 99, 0.25);
  EXPECT_NEAR(v[1].y, 99, 0.25);
  EXPECT_DOUBLE_EQ(stub->vertices()[1].y, 158.5);
}

// A small blot of a repeating byte pattern (a fuzzer's find): ink probed
// across its short pieces fits lines across them, which must leave them as
// traced; every vertex stays a finite number.
TEST(RefinedLines, PiecesInABlotKeepFiniteEnds) {
  model::CGraph drawing;
  raster::CRaster& raster = drawing.raster();
  ASSERT_TRUE(raster.create(89, 31, 1));
  const uint8_t pattern[] = {0xb8, 0x1e, 0xb8, 0xb8, 0xf8, 0xff, 0xff, 0x17, 0xb8};
  size_t k = 0;
  for (int y = 0; y < raster.height(); ++y)
    for (int x = 0; x < raster.usedRowBytes(); ++x) raster.row(y)[x] = pattern[k++ % sizeof pattern];
  settings::TraceOption options;
  options.b_Refine = true;
  options.b_CalcWidth = options.b_DelLine = options.b_RecogniseCirArc = false;
  options.i_ConDis = 11;
  ASSERT_TRUE(test::TraceAndProcess(drawing, options));
  size_t vertices = 0;
  for (const auto& e : *drawing.layers().front())
    if (e->type() == model::EntityType::PolyLine)
      for (const auto& v : static_cast<const model::CPolyLine&>(*e).vertices()) {
        ++vertices;
        EXPECT_TRUE(std::isfinite(v.x) && std::isfinite(v.y)) << Describe(*drawing.layers().front());
      }
  EXPECT_GT(vertices, 0u);
}

}  // namespace
}  // namespace quillon::postprocess
