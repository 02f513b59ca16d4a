#include "postprocess/line_width.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "model/circle.h"
#include "model/graph.h"
#include "model/polyline.h"
#include "postprocess/stage_recorder.h"
#include "postprocess/traced_drawing.h"

namespace quillon::postprocess {
namespace {

model::PolyVertex at(double x, double y, double width = 0.0) {
  model::PolyVertex v;
  v.x = x;
  v.y = y;
  v.startWidth = width;
  return v;
}

model::CPolyLine* add(model::CLayer& layer, std::initializer_list<model::PolyVertex> points, bool closed = false) {
  auto p = std::make_unique<model::CPolyLine>();
  for (const auto& v : points) p->appendVertex(v);
  p->setClosed(closed);
  return static_cast<model::CPolyLine*>(layer.append(std::move(p)));
}

// A 60 x 21 raster with a horizontal stroke 5 rows thick (rows 8..12, the
// centre row 10, i.e. y = 10 in the drawing) from column 5 to 54.
class StrokeRaster : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::BlankRaster(raster, 60, 21));
    for (int y = 8; y <= 12; ++y)
      for (int x = 5; x <= 54; ++x) raster.setBit(x, y, true);
  }
  raster::CRaster raster;
};

TEST_F(StrokeRaster, FiveRowStrokeMeasuresFiveAlongLongAndShortSegments) {
  EXPECT_DOUBLE_EQ(measureSegmentWidth(raster, at(10, 10), at(30, 10), false), 5.0);
  EXPECT_DOUBLE_EQ(measureSegmentWidth(raster, at(10, 10), at(13, 10), false), 5.0);
  // Across the stroke the probes run along it and stop at its ends.
  EXPECT_DOUBLE_EQ(sampleStrokeWidth(raster, 20, 10, 0, 10, false), 19.0);
}

TEST_F(StrokeRaster, ProbeStartsAtTheVertexOwnPixel) {
  // The stroke's last ink row is row 12 (y = 8); probing across it there
  // must find the stroke, not the white row below it.
  raster::CRaster column;
  ASSERT_TRUE(test::BlankRaster(column, 30, 30));
  for (int y = 0; y <= 12; ++y)
    for (int x = 10; x <= 14; ++x) column.setBit(x, y, true);
  EXPECT_DOUBLE_EQ(sampleStrokeWidth(column, 12, 30 - 1 - 12, 0, 10, false), 5.0);
  // A stroke lying on the raster's bottom row is measured too: its probe
  // downwards leaves the raster and the upward run counts twice.
  raster::CRaster bottom;
  ASSERT_TRUE(test::BlankRaster(bottom, 40, 10));
  for (int y = 7; y <= 9; ++y)
    for (int x = 0; x < 40; ++x) bottom.setBit(x, y, true);
  EXPECT_GT(measureSegmentWidth(bottom, at(10, 0), at(30, 0), false), 0.0);
}

TEST(LineWidth, SlantedStrokesMeasureTheirWidthWhenRefinedAndTheirPixelCountOtherwise) {
  // A probe across a 45° stroke steps diagonally, √2 per pixel.
  for (double width : {7.0, 13.0}) {
    raster::CRaster slanted;
    ASSERT_TRUE(test::BlankRaster(slanted, 100, 100));
    test::DrawStroke(slanted, 10, 10, 90, 90, width);
    EXPECT_NEAR(measureSegmentWidth(slanted, at(20, 79), at(80, 19), true), width, 0.5) << width;
    EXPECT_NEAR(measureSegmentWidth(slanted, at(20, 79), at(80, 19), false), width / std::sqrt(2.0), 1.0) << width;
  }
}

TEST_F(StrokeRaster, HairlinesAndOffRasterSegmentsHaveNoWidth) {
  raster::CRaster hair;
  ASSERT_TRUE(test::BlankRaster(hair, 40, 9));
  for (int x = 0; x < 40; ++x) hair.setBit(x, 4, true);
  EXPECT_DOUBLE_EQ(measureSegmentWidth(hair, at(5, 4), at(35, 4), false), 0.0);
  EXPECT_DOUBLE_EQ(measureSegmentWidth(raster, at(500, 500), at(520, 500), false), 0.0);
}

TEST_F(StrokeRaster, CrossingStrokeWidensOneSampleAndTheSmallestIsTaken) {
  // A crossing stroke, 17 rows long, under the second sample.
  for (int y = 2; y <= 18; ++y)
    for (int x = 19; x <= 21; ++x) raster.setBit(x, y, true);
  model::CPolyLine line;
  line.appendVertex(at(8, 10));
  line.appendVertex(at(44, 10));  // samples at x = 14, 20, 26, 32, 38
  measurePolylineWidths(line, raster, false);
  EXPECT_DOUBLE_EQ(line.vertices()[0].startWidth, 5.0);
  EXPECT_DOUBLE_EQ(line.vertices()[1].startWidth, 0.0);  // last vertex: endWidth untouched, no segment
}

TEST(LineWidth, BlobsShorterThanTheirWidthAreInvalid) {
  model::CPolyLine shortBlob;
  shortBlob.appendVertex(at(0, 0, 4));
  shortBlob.appendVertex(at(3, 0, 4));
  EXPECT_FALSE(validateAfterWidth(shortBlob));
  model::CPolyLine kept;
  kept.appendVertex(at(0, 0, 4));
  kept.appendVertex(at(4, 0, 4));
  EXPECT_TRUE(validateAfterWidth(kept));
}

TEST(LineWidth, BentEndHooksAreFoldedOntoTheNextSegment) {
  model::CPolyLine hooked;
  for (const auto& v : {at(8, 1, 4), at(10, 0, 4), at(30, 0, 4), at(50, 0, 4), at(52, -1.5, 4)}) hooked.appendVertex(v);
  ASSERT_TRUE(validateAfterWidth(hooked));
  const auto& v = hooked.vertices();
  ASSERT_EQ(v.size(), 3u);
  EXPECT_NEAR(v[0].x, 8.0, 1e-9);  // the hook's length projected on the stroke
  EXPECT_NEAR(v[0].y, 0.0, 1e-9);
  EXPECT_NEAR(v[2].x, 52.0, 1e-9);
  EXPECT_NEAR(v[2].y, 0.0, 1e-9);

  // A long or steep end is a real part of the drawing.
  model::CPolyLine corner;
  for (const auto& v : {at(10, 10, 4), at(10, 0, 4), at(30, 0, 4)}) corner.appendVertex(v);
  ASSERT_TRUE(validateAfterWidth(corner));
  EXPECT_EQ(corner.vertices().size(), 3u);

  // A closed ring has no ends to trim.
  model::CPolyLine ring;
  for (const auto& v : {at(8, 1, 4), at(10, 0, 4), at(30, 0, 4), at(20, 20, 4)}) ring.appendVertex(v);
  ring.setClosed(true);
  ASSERT_TRUE(validateAfterWidth(ring));
  EXPECT_EQ(ring.vertices().size(), 4u);
}

TEST_F(StrokeRaster, StageMeasuresDeletesBlobsAndReportsItsProtocol) {
  model::CLayer layer;
  add(layer, {at(10, 10), at(30, 10)});
  add(layer, {at(40, 10), at(43, 10)});  // 3 long over a 5 wide stroke: a blob
  layer.append(std::make_unique<model::CCircle>(model::Point3{5, 5}, 3));
  test::StageRecorder sink;
  ASSERT_TRUE(calculateWidthsLayer(layer, raster, false, &sink));
  ASSERT_EQ(layer.count(), 2u);
  EXPECT_DOUBLE_EQ(layer.first()->getWidth(), 5.0);
  EXPECT_EQ(sink.events, (std::vector<std::string>{"begin Calculate line width", "progress 16", "progress 33",
                                                   "progress 50", "progress 66", "progress 83", "progress 100",
                                                   "end"}));

  test::StageRecorder cancelling;
  cancelling.cancelAfter = 1;
  ASSERT_FALSE(calculateWidthsLayer(layer, raster, false, &cancelling));
  EXPECT_EQ(cancelling.events.back(), "finished 10");
}

// Each series and mode gets the nearest entry to a traced 5-pixel stroke.
TEST(LineWidth, TracedFivePixelStrokeRoundsToTheNearestSeriesWidth) {
  struct Case {
    int unit;
    int mode;
    std::vector<double> widths;
    double expected;  // pixels at 11811 pixels per metre
  };
  using W = settings::WidthSeries;
  const std::vector<Case> cases = {
      {W::kUnitPixel, W::kMoreWidthShrink, {1, 4.5, 8}, 4.5},
      {W::kUnitMm, W::kMoreWidthShrink, {0.25, 0.35, 0.5}, 0.35 * 11.811},
      {W::kUnitCm, W::kMoreWidthShrink, {0.05, 0.1}, 0.05 * 118.11},
      {W::kUnitInch, W::kMoreWidthShrink, {0.01, 5.0 / 300.0, 0.04}, 5.0 / 300.0 * 300.0},
      {W::kUnitPixel, W::kMoreWidthShrink, {1, 2.5}, 2.5},
      {W::kUnitPixel, W::kMoreWidthKeep, {1, 2.5}, 5.0},
      {W::kUnitPixel, W::kMoreWidthEqual, {1, 2.5}, 5.5},
  };
  for (const Case& c : cases) {
    model::CGraph drawing;
    ASSERT_TRUE(test::BlankRaster(drawing.raster(), 120, 40));
    test::DrawStroke(drawing.raster(), 10, 20, 110, 20, 5);
    settings::TraceOption options;
    options.s_WidthSeries.SetUnit(c.unit);
    options.s_WidthSeries.SetMoreWidthMode(c.mode);
    for (double w : c.widths) options.s_WidthSeries.Insert(w);
    ASSERT_TRUE(test::TraceAndProcess(drawing, options));
    const model::CLayer& layer = *drawing.currentLayer();
    ASSERT_EQ(layer.count(), 1u) << "unit " << c.unit << " mode " << c.mode;
    EXPECT_NEAR(layer.first()->getWidth(), c.expected, 0.01) << "unit " << c.unit << " mode " << c.mode;
  }
}

TEST(LineWidth, TracedStrokeKeepsItsMeasuredWidthWithoutSeriesAndLosesItWhenSwitchedOff) {
  model::CGraph drawing;
  ASSERT_TRUE(test::BlankRaster(drawing.raster(), 120, 40));
  test::DrawStroke(drawing.raster(), 10, 20, 110, 20, 5);
  settings::TraceOption options;
  ASSERT_TRUE(test::TraceAndProcess(drawing, options));
  ASSERT_EQ(drawing.currentLayer()->count(), 1u);
  EXPECT_NEAR(drawing.currentLayer()->first()->getWidth(), 5.0, 1e-9);

  options.b_CalcWidth = false;
  ASSERT_TRUE(test::TraceAndProcess(drawing, options));
  ASSERT_EQ(drawing.currentLayer()->count(), 1u);
  const auto& line = static_cast<const model::CPolyLine&>(*drawing.currentLayer()->first());
  for (const auto& v : line.vertices()) EXPECT_EQ(v.startWidth, 0.0);
}

// Round-capped strokes traced alone come back as one segment whose ends lie
// on the drawn ends (the centres of the caps), although thinning eats into
// the caps; ends inside a T stay on the bar's centre line.
TEST(LineWidth, RefinedFreeEndsOfTracedStrokesReachTheCentresOfTheirCaps) {
  settings::TraceOption refined;
  refined.b_Refine = true;
  struct Stroke {
    double x0, y0, x1, y1, width;
  };
  // Screen coordinates (row 0 at the top) of a 160 x 120 raster; none at an
  // angle that angle adjustment turns.
  const Stroke strokes[] = {
      {20, 60, 140, 60, 3},  {20, 60.4, 140, 60.4, 8}, {80.3, 10, 80.3, 110, 12},
      {30, 90, 130, 14.6, 6}, {60, 10, 96.4, 110, 9},   {20, 30, 140, 30, 1},
  };
  for (const Stroke& s : strokes) {
    model::CGraph drawing;
    ASSERT_TRUE(test::BlankRaster(drawing.raster(), 160, 120));
    test::DrawStroke(drawing.raster(), s.x0, s.y0, s.x1, s.y1, s.width);
    ASSERT_TRUE(test::TraceAndProcess(drawing, refined));
    const model::CLayer& layer = *drawing.currentLayer();
    ASSERT_EQ(layer.count(), 1u) << "width " << s.width;
    ASSERT_EQ(layer.first()->type(), model::EntityType::PolyLine);
    const auto& vertices = static_cast<const model::CPolyLine&>(*layer.first()).vertices();
    ASSERT_EQ(vertices.size(), 2u) << "width " << s.width;
    // Drawing y runs upwards from the bottom row.
    const model::Point3 a{s.x0, 119 - s.y0}, b{s.x1, 119 - s.y1};
    const bool forward = model::distance(vertices[0].point(), a) < model::distance(vertices[0].point(), b);
    EXPECT_LE(model::distance(vertices[0].point(), forward ? a : b), 1.0) << "width " << s.width;
    EXPECT_LE(model::distance(vertices[1].point(), forward ? b : a), 1.0) << "width " << s.width;
  }

  // Where a ring's trace starts and ends, the ink goes on round the ring:
  // those two ends are not caps and stay, so the ring closes on its circle.
  for (const double width : {3.0, 7.0, 11.0}) {
    model::CGraph drawing;
    ASSERT_TRUE(test::BlankRaster(drawing.raster(), 160, 120));
    test::DrawRing(drawing.raster(), 80.3, 59.6, 20 + width, width);
    ASSERT_TRUE(test::TraceAndProcess(drawing, refined));
    const model::CLayer& layer = *drawing.currentLayer();
    ASSERT_EQ(layer.count(), 1u) << "ring width " << width;
    ASSERT_EQ(layer.first()->type(), model::EntityType::Circle) << "ring width " << width;
    const auto& circle = static_cast<const model::CCircle&>(*layer.first());
    EXPECT_NEAR(circle.radius(), 20 + width, 1.0) << "ring width " << width;
    EXPECT_LE(model::distance(circle.centre(), model::Point3{80.3, 119 - 59.6}), 1.0) << "ring width " << width;
  }

  for (const double bar : {3.0, 9.0}) {
    model::CGraph drawing;
    ASSERT_TRUE(test::BlankRaster(drawing.raster(), 160, 120));
    test::DrawStroke(drawing.raster(), 20, 30, 140, 30, bar);
    test::DrawStroke(drawing.raster(), 80, 30, 80, 100, 3);
    ASSERT_TRUE(test::TraceAndProcess(drawing, refined));
    // The stem's end at the bar is not pushed through the bar.
    double stemTop = -1.0;
    for (const auto& e : *drawing.currentLayer()) {
      if (e->type() != model::EntityType::PolyLine) continue;
      for (const auto& v : static_cast<const model::CPolyLine&>(*e).vertices())
        if (std::fabs(v.x - 80) < 1.5 && v.y > 119 - 60) stemTop = std::max(stemTop, v.y);
    }
    EXPECT_NEAR(stemTop, 119 - 30, 1.0) << "bar " << bar;
  }
}

// The last refined pass puts free ends on their caps' centres either way:
// out when short, back when the skeleton ran on to the tip of the cap. Ends
// in other ink and hairlines without a measured width stay.
TEST(LineWidth, RefinedLastPassCentresFreeEndsOnTheirCaps) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, 160, 100));
  // Drawing y = 99 − row.
  test::DrawStroke(raster, 30, 20, 130, 20, 6);
  test::DrawStroke(raster, 30.4, 50, 130, 74, 8);
  test::DrawStroke(raster, 20, 90, 140, 90, 7);  // a bar, and a stem ending on it
  test::DrawStroke(raster, 80, 60, 80, 90, 4);
  test::DrawStroke(raster, 140, 10, 140, 60, 1);
  model::CLayer layer;
  model::CPolyLine* level = add(layer, {at(27, 79, 6), at(133, 79)});
  const double ux = 99.6 / std::hypot(99.6, 24), uy = -24 / std::hypot(99.6, 24);
  model::CPolyLine* slanted = add(layer, {at(30.4 - 3 * ux, 49 - 3 * uy, 8), at(130 - 2 * ux, 25 - 2 * uy)});
  model::CPolyLine* stem = add(layer, {at(80, 39, 4), at(80, 9)});
  model::CPolyLine* hair = add(layer, {at(140, 89, 0), at(140, 39)});
  centreFreeEndsLayer(layer, raster);
  const auto& v = level->vertices();
  EXPECT_NEAR(v[0].x, 30, 0.5);
  EXPECT_NEAR(v[1].x, 130, 0.5);
  EXPECT_DOUBLE_EQ(v[0].y, 79);
  const auto& s = slanted->vertices();
  EXPECT_NEAR(std::hypot(s[0].x - 30.4, s[0].y - 49), 0.0, 0.6);
  EXPECT_NEAR(std::hypot(s[1].x - 130, s[1].y - 25), 0.0, 0.6);
  EXPECT_DOUBLE_EQ(stem->vertices()[1].y, 9);
  EXPECT_NEAR(stem->vertices()[0].y, 39, 0.5);
  EXPECT_DOUBLE_EQ(hair->vertices()[0].y, 89);
  EXPECT_DOUBLE_EQ(hair->vertices()[1].y, 39);
}

// A free end that thinning left short of its cap where other ink crosses
// the stroke's last stretch walks on through the ink to the cap, but not
// onto a stroke traced on its own further along the line, nor through the
// neck where two dashes' caps touch.
TEST(LineWidth, RefinedLastPassWalksThroughCrossingInkToAHiddenCap) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, 200, 100));
  // Drawing y = 99 − row. Two strokes crossed 10 px before their end.
  test::DrawStroke(raster, 20, 30, 150, 30, 6);
  test::DrawStroke(raster, 20, 60, 150, 60, 6);
  test::DrawStroke(raster, 140, 5, 140, 75, 4);
  // Two dashes whose caps touch.
  test::DrawStroke(raster, 20, 88, 100, 88, 6);
  test::DrawStroke(raster, 106, 88, 110, 88, 6);
  model::CLayer layer;
  model::CPolyLine* crossed = add(layer, {at(20, 69, 6), at(137.5, 69)});
  model::CPolyLine* followed = add(layer, {at(20, 39, 6), at(137.5, 39)});
  add(layer, {at(144, 39, 6), at(150, 39)});  // its last stretch, traced apart
  model::CPolyLine* dash = add(layer, {at(20, 11, 6), at(96, 11)});
  centreFreeEndsLayer(layer, raster);
  EXPECT_NEAR(crossed->vertices()[1].x, 150, 0.5);
  EXPECT_DOUBLE_EQ(crossed->vertices()[1].y, 69);
  EXPECT_DOUBLE_EQ(followed->vertices()[1].x, 137.5);
  EXPECT_LT(dash->vertices()[1].x, 100.5);
}

// Thinning ends a stroke where another stroke meets its cap from one side;
// refined, the end still goes on to the cap's centre.
TEST(LineWidth, RefinedLastPassFindsACapTouchedOnOneSide) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, 200, 100));
  // Drawing y = 99 − row.
  test::DrawStroke(raster, 20, 30, 150, 30, 8);
  test::DrawStroke(raster, 151, 34, 171, 74, 6);  // meets the cap from below
  model::CLayer layer;
  model::CPolyLine* met = add(layer, {at(20, 69, 8), at(146, 69)});
  centreFreeEndsLayer(layer, raster);
  EXPECT_NEAR(met->vertices()[1].x, 150, 0.5);
  EXPECT_DOUBLE_EQ(met->vertices()[1].y, 69);
}

// Refined widths of slanted strokes: the sample counts jump by a pixel step
// with the grid's phase, so the plain rule's smallest sample comes a step
// short; their mean is the width. A crossing stroke under one sample is
// left out.
TEST(LineWidth, RefinedSegmentWidthIsTheMeanOfSlantedSamples) {
  for (const double degrees : {0.0, 17.0, 30.0, 62.0}) {
    for (const double width : {4.0, 6.0, 9.0}) {
      SCOPED_TRACE(testing::Message() << degrees << "°, width " << width);
      raster::CRaster slanted;
      ASSERT_TRUE(test::BlankRaster(slanted, 140, 140));
      const double a = degrees * 3.14159265358979 / 180.0, c = std::cos(a), s = std::sin(a);
      test::DrawStroke(slanted, 70.3 - 60 * c, 70.2 + 60 * s, 70.3 + 60 * c, 70.2 - 60 * s, width);
      // Drawing coordinates: y = 139 − row.
      const model::PolyVertex v = at(70.3 - 50 * c, 139 - 70.2 - 50 * s), q = at(70.3 + 50 * c, 139 - 70.2 + 50 * s);
      EXPECT_NEAR(refinedSegmentWidth(slanted, v, q), width, 0.5);
      if (degrees == 0.0) {
        test::DrawStroke(slanted, 75.3, 50, 75.3, 90, 3);  // a crossing stroke
        EXPECT_NEAR(refinedSegmentWidth(slanted, v, q), width, 0.5);
      }
    }
  }
}

// Ink beside a stroke only widens its samples: a wider stroke merging at a
// flat angle along most of its length, or a crossing, leaves the width the
// stroke's own, and so does a white speck narrowing a single sample.
TEST(LineWidth, RefinedSegmentWidthIsTheStrokesOwnWhereOtherInkWidensMostSamples) {
  for (const double width : {3.0, 7.0}) {
    SCOPED_TRACE(testing::Message() << "width " << width);
    raster::CRaster raster;
    ASSERT_TRUE(test::BlankRaster(raster, 200, 60));
    test::DrawStroke(raster, 20.3, 30.2, 180.3, 30.2, width);
    // Screen rows: the other stroke meets this one's edge at column 60 and
    // overlaps it from there on, up to 6 px off its centre line.
    test::DrawStroke(raster, 60.3, 30.2 - width / 2.0 - 5.0, 180.3, 30.2 - width / 2.0 - 1.0, 10);
    const model::PolyVertex v = at(25.3, 59 - 30.2), q = at(175.3, 59 - 30.2);
    EXPECT_NEAR(refinedSegmentWidth(raster, v, q), width, 0.5);
  }
  raster::CRaster speckled;
  ASSERT_TRUE(test::BlankRaster(speckled, 200, 60));
  test::DrawStroke(speckled, 20.3, 30.2, 180.3, 30.2, 9);
  for (int row = 28; row <= 29; ++row) speckled.setBit(100, row, false);  // under the middle sample
  EXPECT_NEAR(refinedSegmentWidth(speckled, at(25.3, 28.8), at(175.3, 28.8)), 9.0, 0.5);
}

// Refined traces: the final straight segments, circles and arcs carry the
// width measured along them as they end up.
TEST(LineWidth, RefinedTraceRemeasuresFinalSegmentsAndRings) {
  model::CGraph drawing;
  ASSERT_TRUE(test::BlankRaster(drawing.raster(), 240, 160));
  test::DrawStroke(drawing.raster(), 20.3, 30.2, 200.3, 75.2, 6);
  test::DrawRing(drawing.raster(), 90.4, 110.3, 32, 5);
  settings::TraceOption options;
  options.b_Refine = true;
  ASSERT_TRUE(test::TraceAndProcess(drawing, options));
  int lines = 0, rings = 0;
  for (const auto& e : *drawing.currentLayer()) {
    if (e->type() == model::EntityType::Circle) {
      ++rings;
      EXPECT_NEAR(e->getWidth(), 5.0, 0.5);
    } else if (e->type() == model::EntityType::PolyLine) {
      const auto& v = static_cast<const model::CPolyLine&>(*e).vertices();
      if (v.size() != 2) continue;
      ++lines;
      EXPECT_NEAR(v[0].startWidth, 6.0, 0.5);
    }
  }
  EXPECT_EQ(lines, 1);
  EXPECT_EQ(rings, 1);
}

}  // namespace
}  // namespace quillon::postprocess
