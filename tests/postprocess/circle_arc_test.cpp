#include "postprocess/circle_arc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/circle.h"
#include "model/line.h"
#include "postprocess/stage_recorder.h"
#include "postprocess/traced_drawing.h"

namespace quillon::postprocess {
namespace {

constexpr double kPi = model::kPi;

double rad(double degrees) { return degrees * kPi / 180.0; }

// Vertices on the circle (cx, cy, r) from angle a0 to a1 (degrees) in steps.
std::vector<model::Point3> onCircle(double cx, double cy, double r, double a0, double a1, double step) {
  std::vector<model::Point3> points;
  const int n = static_cast<int>(std::lround((a1 - a0) / step));
  for (int i = 0; i <= n; ++i) {
    const double a = rad(a0 + i * step);
    points.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
  }
  return points;
}

model::CPolyLine* add(model::CLayer& layer, const std::vector<model::Point3>& points, bool closed = false) {
  auto p = std::make_unique<model::CPolyLine>();
  for (const auto& v : points) p->appendVertex(v.x, v.y);
  p->setClosed(closed);
  return static_cast<model::CPolyLine*>(layer.append(std::move(p)));
}

settings::TraceOption Options(bool connect = true) {
  settings::TraceOption options;
  options.d_MaxDis = 2.0;
  options.i_ConDis = 5;
  options.b_Connect = connect;
  return options;
}

template <class T>
std::vector<const T*> all(const model::CLayer& layer, model::EntityType type) {
  std::vector<const T*> out;
  for (const auto& e : layer)
    if (e->type() == type) out.push_back(static_cast<const T*>(e.get()));
  return out;
}

TEST(CircleRecognition, ClosedRingOnACircleBecomesOneCircle) {
  model::CLayer layer;
  auto ring = onCircle(100, 80, 50, 0, 350, 10);  // 36 vertices
  add(layer, ring, true);
  ASSERT_TRUE(recogniseCirclesLayer(layer, Options(), 1000, CircleMode::CentreLine, nullptr));
  ASSERT_EQ(layer.count(), 1u);
  ASSERT_EQ(layer.first()->type(), model::EntityType::Circle);
  const auto& circle = static_cast<const model::CCircle&>(*layer.first());
  EXPECT_NEAR(circle.radius(), 50, 1e-6);
  EXPECT_NEAR(circle.centre().x, 100, 1e-6);
  EXPECT_NEAR(circle.centre().y, 80, 1e-6);
}

TEST(CircleRecognition, RadiusOutsideTheLimitsOrSpacingOutsideTheChordRangeIsNotRecognised) {
  const auto count = [](double r, double step, int size) {
    model::CLayer layer;
    add(layer, onCircle(0, 0, r, 0, 360 - step, step), true);
    recogniseCirclesLayer(layer, Options(), size, CircleMode::CentreLine, nullptr);
    return all<model::CCircle>(layer, model::EntityType::Circle).size();
  };
  EXPECT_EQ(count(50, 10, 1000), 1u);
  EXPECT_EQ(count(2, 45, 1000), 0u);    // below 2.5
  EXPECT_EQ(count(50, 10, 40), 0u);     // above the raster's size
  // c0 = 2·sqrt(2·98) = 28: chords of 72° (58.8) are too far apart and of
  // 5° (4.4) too close.
  EXPECT_EQ(count(50, 72, 1000), 0u);
  EXPECT_EQ(count(50, 5, 1000), 0u);
}

TEST(CircleRecognition, OpenPolylinesBecomeArcsOrCirclesPast355Degrees) {
  model::CLayer layer;
  add(layer, onCircle(0, 0, 50, 10, 100, 10));
  ASSERT_TRUE(recogniseCirclesLayer(layer, Options(), 1000, CircleMode::Outline, nullptr));
  ASSERT_EQ(layer.count(), 1u);
  ASSERT_EQ(layer.first()->type(), model::EntityType::Arc);
  const auto& arc = static_cast<const model::CArc&>(*layer.first());
  EXPECT_NEAR(arc.startAngle(), rad(10), 1e-6);
  EXPECT_NEAR(arc.endAngle(), rad(100), 1e-6);

  // Starting just below angle 0 and running across it.
  model::CLayer seam;
  add(seam, onCircle(0, 0, 50, -5, 85, 10));
  ASSERT_TRUE(recogniseCirclesLayer(seam, Options(), 1000, CircleMode::Outline, nullptr));
  ASSERT_EQ(seam.count(), 1u);
  ASSERT_EQ(seam.first()->type(), model::EntityType::Arc);
  EXPECT_NEAR(static_cast<const model::CArc&>(*seam.first()).startAngle(), rad(355), 1e-6);

  // Clockwise, and across angle 0: start and end swap into a counter-clockwise arc.
  model::CLayer clockwise;
  add(clockwise, onCircle(0, 0, 50, -60, 30, 10))->reverse();
  ASSERT_TRUE(recogniseCirclesLayer(clockwise, Options(), 1000, CircleMode::Outline, nullptr));
  ASSERT_EQ(clockwise.count(), 1u);
  ASSERT_EQ(clockwise.first()->type(), model::EntityType::Arc);
  const auto& cw = static_cast<const model::CArc&>(*clockwise.first());
  EXPECT_NEAR(cw.startAngle(), rad(300), 1e-6);
  EXPECT_NEAR(cw.sweep(), rad(90), 1e-6);

  model::CLayer nearlyFull;
  add(nearlyFull, onCircle(0, 0, 50, 0, 358, 358.0 / 36));
  ASSERT_TRUE(recogniseCirclesLayer(nearlyFull, Options(), 1000, CircleMode::Outline, nullptr));
  ASSERT_EQ(nearlyFull.count(), 1u);
  EXPECT_EQ(nearlyFull.first()->type(), model::EntityType::Circle);
}

// Around 270° the bisectors of the first and the last sample chord are
// nearly the same line, so their crossing says nothing about the centre; the
// arc must still be found when refined, with the centre the other two
// crossings give.
TEST(CircleRecognition, RefinedThreeQuarterArcOnPixelCentresIsOneArc) {
  settings::TraceOption refined = Options();
  refined.b_Refine = true;
  for (const double sweep : {250.0, 270.0, 290.0}) {
    std::vector<model::Point3> points = onCircle(200, 200, 100, 0, sweep, sweep / 27);
    for (auto& p : points) {
      p.x = std::round(p.x);
      p.y = std::round(p.y);
    }
    model::CLayer layer;
    add(layer, points);
    ASSERT_TRUE(recogniseCirclesLayer(layer, refined, 1000, CircleMode::CentreLine, nullptr));
    ASSERT_EQ(layer.count(), 1u) << sweep;
    ASSERT_EQ(layer.first()->type(), model::EntityType::Arc) << sweep;
    const auto& arc = static_cast<const model::CArc&>(*layer.first());
    EXPECT_NEAR(arc.centre().x, 200, 1.0) << sweep;
    EXPECT_NEAR(arc.centre().y, 200, 1.0) << sweep;
    EXPECT_NEAR(arc.radius(), 100, 1.0) << sweep;
    EXPECT_NEAR(arc.sweep(), rad(sweep), rad(1)) << sweep;
  }
}

TEST(CircleRecognition, QuarterAfterAStraightPartBecomesOneBulgedSegment) {
  for (int direction : {1, -1}) {
    std::vector<model::Point3> points = {{-80, -50}, {-40, -50}};
    for (const auto& p : onCircle(0, 0, 50, -90, 0, 10)) points.push_back(p);
    if (direction < 0)
      for (auto& p : points) p.y = -p.y;  // mirrored: the quarter runs clockwise
    model::CLayer layer;
    model::CPolyLine* line = add(layer, points);
    ASSERT_TRUE(recogniseCirclesLayer(layer, Options(), 1000, CircleMode::CentreLine, nullptr));
    ASSERT_EQ(layer.count(), 1u);
    const auto& v = line->vertices();
    ASSERT_EQ(v.size(), 4u);
    EXPECT_NEAR(v[1].x, -40, 1e-9);
    EXPECT_EQ(v[0].bulge, 0.0);
    EXPECT_EQ(v[1].bulge, 0.0);
    EXPECT_NEAR(v[2].bulge, direction * std::tan(rad(90) / 4), 1e-6);
    EXPECT_NEAR(v[3].x, 50, 1e-9);
    EXPECT_FALSE(line->isStraight());
  }
}

TEST(CircleRecognition, PolyPolygonCircularOutlinesKeepTwoBulgedVertices) {
  model::CLayer layer;
  auto polygon = std::make_unique<model::CPolyPolygon>();
  for (double r : {50.0, 20.0}) {
    auto outline = std::make_unique<model::CPolyLine>();
    const double step = r > 30 ? 10 : 20;
    for (const auto& p : onCircle(0, 0, r, 0, 360 - step, step)) outline->appendVertex(p.x, p.y);
    outline->setClosed(true);
    polygon->appendOutline(std::move(outline));
  }
  auto* added = static_cast<model::CPolyPolygon*>(layer.append(std::move(polygon)));
  const CircleTolerances tolerances{1.0, 5, 1000};
  ASSERT_EQ(recognisePolyPolygonCircles(*added, tolerances), 0);
  const auto& outer = added->outline(0)->vertices();
  const auto& hole = added->outline(1)->vertices();
  ASSERT_EQ(outer.size(), 2u);
  ASSERT_EQ(hole.size(), 2u);
  EXPECT_NEAR(outer[0].x, -50, 1e-6);
  EXPECT_NEAR(outer[1].x, 50, 1e-6);
  EXPECT_EQ(outer[0].bulge, 1.0);
  EXPECT_EQ(hole[0].bulge, -1.0);
  EXPECT_EQ(hole[1].bulge, -1.0);
}

TEST(CircleRecognition, ArcsMeetingEndToStartMergeIntoHalvesAndCircles) {
  model::CLayer layer;
  layer.append(std::make_unique<model::CArc>(model::Point3{0, 0}, 50, 0, kPi / 2));
  layer.append(std::make_unique<model::CArc>(model::Point3{0.5, 0}, 50, kPi / 2 + 0.02, kPi));
  ASSERT_TRUE(mergeArcsLayer(layer, 5, nullptr));
  ASSERT_EQ(layer.count(), 1u);
  ASSERT_EQ(layer.first()->type(), model::EntityType::Arc);
  const auto& half = static_cast<const model::CArc&>(*layer.first());
  EXPECT_NEAR(half.sweep(), kPi, 0.02);

  model::CLayer halves;
  halves.append(std::make_unique<model::CArc>(model::Point3{0, 0}, 50, 0, kPi));
  halves.append(std::make_unique<model::CArc>(model::Point3{1, 0}, 51, kPi, 2 * kPi));
  ASSERT_TRUE(mergeArcsLayer(halves, 5, nullptr));
  ASSERT_EQ(halves.count(), 1u);
  ASSERT_EQ(halves.first()->type(), model::EntityType::Circle);
  const auto& circle = static_cast<const model::CCircle&>(*halves.first());
  EXPECT_NEAR(circle.centre().x, 0.5, 1e-9);
  EXPECT_NEAR(circle.radius(), 50.5, 1e-9);

  // Ends too far apart, or on different circles, stay apart.
  model::CLayer apart;
  apart.append(std::make_unique<model::CArc>(model::Point3{0, 0}, 50, 0, kPi / 2));
  apart.append(std::make_unique<model::CArc>(model::Point3{0, 0}, 50, kPi / 2 + 0.3, kPi));
  apart.append(std::make_unique<model::CArc>(model::Point3{0, 30}, 20, -kPi / 2, 0));
  ASSERT_TRUE(mergeArcsLayer(apart, 5, nullptr));
  EXPECT_EQ(apart.count(), 3u);
}

TEST(CircleRecognition, ArcMergingChainsPastOtherEntitiesAndLeavesThemInOrder) {
  // Lines between the arcs neither break a chain nor move; an arc merged
  // away is not tried again, and the result takes the front.
  model::CLayer layer;
  layer.append(std::make_unique<model::CLine>(model::Point3{200, 0}, model::Point3{300, 0}));
  layer.append(std::make_unique<model::CArc>(model::Point3{0, 0}, 50, 0, kPi / 2));
  layer.append(std::make_unique<model::CLine>(model::Point3{200, 10}, model::Point3{300, 10}));
  layer.append(std::make_unique<model::CArc>(model::Point3{0, 0}, 50, kPi / 2 + 0.02, kPi));
  layer.append(std::make_unique<model::CArc>(model::Point3{400, 0}, 20, 0, kPi / 2));
  layer.append(std::make_unique<model::CArc>(model::Point3{0, 0}, 50, kPi + 0.02, 3 * kPi / 2));
  ASSERT_TRUE(mergeArcsLayer(layer, 5, nullptr));
  ASSERT_EQ(layer.count(), 4u);
  std::vector<model::EntityType> types;
  for (const auto& entity : layer) types.push_back(entity->type());
  EXPECT_EQ(types, (std::vector<model::EntityType>{model::EntityType::Arc, model::EntityType::Line,
                                                   model::EntityType::Line, model::EntityType::Arc}));
  const auto& chained = static_cast<const model::CArc&>(*layer.first());
  EXPECT_NEAR(chained.sweep(), 3 * kPi / 2, 0.05);
  EXPECT_NEAR(static_cast<const model::CArc&>(*layer.last()).radius(), 20, 1e-12);
}

TEST(CircleRecognition, ArcsMergeOnlyInCentreLineModeWithConnect) {
  const auto arcsAfter = [](CircleMode mode, bool connect) {
    model::CLayer layer;
    add(layer, onCircle(0, 0, 50, 0, 90, 10));
    add(layer, onCircle(0, 0, 50, 91, 180, 89.0 / 9));
    test::StageRecorder sink;
    EXPECT_TRUE(recogniseCirclesLayer(layer, Options(connect), 1000, mode, &sink));
    EXPECT_EQ(sink.events.front(), "begin Recognize circle");
    EXPECT_EQ(sink.events.back(), "end");
    return all<model::CArc>(layer, model::EntityType::Arc).size();
  };
  EXPECT_EQ(arcsAfter(CircleMode::CentreLine, true), 1u);
  EXPECT_EQ(arcsAfter(CircleMode::CentreLine, false), 2u);
  EXPECT_EQ(arcsAfter(CircleMode::Outline, true), 2u);
}

TEST(CircleRecognition, CancelStopsTheStage) {
  model::CLayer layer;
  for (int i = 0; i < 3; ++i) add(layer, onCircle(200 * i, 0, 50, 0, 350, 10), true);
  test::StageRecorder sink;
  sink.cancelAfter = 1;
  EXPECT_FALSE(recogniseCirclesLayer(layer, Options(), 1000, CircleMode::CentreLine, &sink));
  EXPECT_EQ(sink.events.back(), "finished 10");
}

// --- through the real pipeline --------------------------------------------

TEST(CircleRecognition, TracedCircleOfRadius40IsOneCircle) {
  model::CGraph drawing;
  ASSERT_TRUE(test::BlankRaster(drawing.raster(), 120, 110));
  test::DrawRing(drawing.raster(), 60, 50, 40, 3);
  ASSERT_TRUE(test::TraceAndProcess(drawing, settings::TraceOption()));
  const model::CLayer& layer = *drawing.currentLayer();
  ASSERT_EQ(layer.count(), 1u);
  ASSERT_EQ(layer.first()->type(), model::EntityType::Circle);
  const auto& circle = static_cast<const model::CCircle&>(*layer.first());
  EXPECT_NEAR(circle.centre().x, 60, 1.0);
  EXPECT_NEAR(circle.centre().y, 109 - 50, 1.0);
  EXPECT_NEAR(circle.radius(), 40, 1.0);
  EXPECT_NEAR(circle.getWidth(), 3, 1.0);
}

TEST(CircleRecognition, TracedQuarterArcIsOneArc) {
  model::CGraph drawing;
  ASSERT_TRUE(test::BlankRaster(drawing.raster(), 120, 120));
  test::DrawRing(drawing.raster(), 20, 100, 80, 3, 0.0, kPi / 2);  // centre lower left, first quadrant
  ASSERT_TRUE(test::TraceAndProcess(drawing, settings::TraceOption()));
  const model::CLayer& layer = *drawing.currentLayer();
  ASSERT_EQ(layer.count(), 1u);
  ASSERT_EQ(layer.first()->type(), model::EntityType::Arc);
  const auto& arc = static_cast<const model::CArc&>(*layer.first());
  EXPECT_NEAR(arc.centre().x, 20, 1.5);
  EXPECT_NEAR(arc.centre().y, 119 - 100, 1.5);
  EXPECT_NEAR(arc.radius(), 80, 1.5);
  EXPECT_NEAR(arc.sweep(), kPi / 2, 0.1);
}

TEST(CircleRecognition, TracedRoundedRectangleKeepsStraightSidesAndGetsBulgedCorners) {
  model::CGraph drawing;
  ASSERT_TRUE(test::BlankRaster(drawing.raster(), 400, 300));
  const double left = 40, right = 360, top = 40, bottom = 260, r = 60;
  test::DrawStroke(drawing.raster(), left + r, top, right - r, top, 3);
  test::DrawStroke(drawing.raster(), left + r, bottom, right - r, bottom, 3);
  test::DrawStroke(drawing.raster(), left, top + r, left, bottom - r, 3);
  test::DrawStroke(drawing.raster(), right, top + r, right, bottom - r, 3);
  test::DrawRing(drawing.raster(), right - r, top + r, r, 3, 0, kPi / 2);
  test::DrawRing(drawing.raster(), left + r, top + r, r, 3, kPi / 2, kPi / 2);
  test::DrawRing(drawing.raster(), left + r, bottom - r, r, 3, kPi, kPi / 2);
  test::DrawRing(drawing.raster(), right - r, bottom - r, r, 3, 3 * kPi / 2, kPi / 2);
  ASSERT_TRUE(test::TraceAndProcess(drawing, settings::TraceOption()));
  const model::CLayer& layer = *drawing.currentLayer();
  ASSERT_EQ(layer.count(), 1u);
  ASSERT_EQ(layer.first()->type(), model::EntityType::PolyLine);
  const auto& outline = static_cast<const model::CPolyLine&>(*layer.first());
  ASSERT_TRUE(outline.isClosed());
  // Each corner becomes one clockwise arc segment of the corner's radius;
  // the sides stay single straight segments (each reaching a little into
  // the corner, as far as the stroke stays within the straighten distance).
  int bulged = 0, straight = 0;
  const auto& v = outline.vertices();
  for (size_t i = 0; i < v.size(); ++i) {
    const auto& q = v[(i + 1) % v.size()];
    const double chord = std::hypot(q.x - v[i].x, q.y - v[i].y);
    if (v[i].hasBulge()) {
      ++bulged;
      const double b = std::fabs(v[i].bulge);
      EXPECT_NEAR(chord * (1 + b * b) / (4 * b), r, 3.0);
      EXPECT_GT(b, std::tan(kPi / 16));  // more than 45° of the corner
    } else if (chord > 80) {
      ++straight;
    }
  }
  EXPECT_EQ(bulged, 4);
  EXPECT_EQ(straight, 4);
}

TEST(CircleRecognition, NothingIsRecognisedWhenSwitchedOff) {
  model::CGraph drawing;
  ASSERT_TRUE(test::BlankRaster(drawing.raster(), 120, 110));
  test::DrawRing(drawing.raster(), 60, 50, 40, 3);
  settings::TraceOption options;
  options.b_RecogniseCirArc = false;
  ASSERT_TRUE(test::TraceAndProcess(drawing, options));
  const model::CLayer& layer = *drawing.currentLayer();
  ASSERT_GE(layer.count(), 1u);
  for (const auto& e : layer) {
    EXPECT_EQ(e->type(), model::EntityType::PolyLine);
    EXPECT_TRUE(static_cast<const model::CPolyLine&>(*e).isStraight());
  }
}

}  // namespace
}  // namespace quillon::postprocess
