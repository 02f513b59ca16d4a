#include "postprocess/angle_adjust.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "postprocess/stage_recorder.h"

namespace quillon::postprocess {
namespace {

double deg(double d) { return d * M_PI / 180.0; }

settings::AngleSeries series(std::initializer_list<settings::AngleEntry> entries) {
  settings::AngleSeries s;
  s.SetName("test");
  for (const settings::AngleEntry& e : entries) EXPECT_TRUE(s.Insert(e));
  return s;
}

model::CPolyLine polyline(std::initializer_list<std::pair<double, double>> points, bool closed = false) {
  model::CPolyLine p;
  for (const auto& [x, y] : points) p.appendVertex(x, y);
  p.setClosed(closed);
  return p;
}

double direction(const model::CPolyLine& p, size_t i) {
  const auto& v = p.vertices();
  const auto& a = v[i];
  const auto& b = v[(i + 1) % v.size()];
  return std::atan2(b.y - a.y, b.x - a.x);
}

TEST(AdjustAngles, SegmentNearHorizontalTurnsAboutItsMidpoint) {
  const settings::AngleSeries horizontal = series({{0.0, deg(2), 0.0}});
  // One segment at 1°: both ends slide perpendicular to it.
  model::CPolyLine single = polyline({{0, 0}, {std::cos(deg(1)) * 20, std::sin(deg(1)) * 20}});
  const double midY = single.vertices()[1].y / 2;
  adjustPolylineAngles(single, horizontal);
  EXPECT_NEAR(single.vertices()[0].y, midY, 1e-9);
  EXPECT_NEAR(single.vertices()[1].y, midY, 1e-9);

  // Between two vertical segments the ends slide along the neighbours.
  model::CPolyLine channel = polyline({{0, -10}, {0, 0}, {20, 0.35}, {20, 10}});
  adjustPolylineAngles(channel, horizontal);
  const auto& v = channel.vertices();
  EXPECT_NEAR(v[1].y, v[2].y, 1e-9);
  EXPECT_NEAR(v[1].y, 0.175, 1e-9);
  EXPECT_DOUBLE_EQ(v[1].x, 0.0);
  EXPECT_DOUBLE_EQ(v[2].x, 20.0);
  EXPECT_DOUBLE_EQ(v[0].y, -10.0);
  EXPECT_DOUBLE_EQ(v[3].y, 10.0);
}

// With a shift limit (the refined trace) a turn that would move an end
// farther than the limit is not made at all, for a segment's direction and
// for a corner alike; shorter segments at the same angle still turn.
TEST(AdjustAngles, ShiftLimitKeepsLongSegmentsOnTheirInk) {
  const settings::AngleSeries horizontal = series({{0.0, deg(2), 0.0}});
  const auto at1deg = [](double length) { return polyline({{0, 0}, {std::cos(deg(1)) * length, std::sin(deg(1)) * length}}); };
  model::CPolyLine longOne = at1deg(200);  // ends would move 1.75 px
  const model::VertexList before = longOne.vertices();
  adjustPolylineAngles(longOne, horizontal, 0.5);
  EXPECT_EQ(longOne.vertices()[0].y, before[0].y);
  EXPECT_EQ(longOne.vertices()[1].x, before[1].x);
  EXPECT_EQ(longOne.vertices()[1].y, before[1].y);
  model::CPolyLine shortOne = at1deg(40);  // 0.35 px
  adjustPolylineAngles(shortOne, horizontal, 0.5);
  EXPECT_NEAR(direction(shortOne, 0), 0.0, 1e-12);
  model::CPolyLine unlimited = at1deg(200);
  adjustPolylineAngles(unlimited, horizontal);
  EXPECT_NEAR(direction(unlimited, 0), 0.0, 1e-12);

  // A corner of 92° between two long legs in no direction range stays;
  // without the limit it is made right.
  const settings::AngleSeries right = series({{deg(90), deg(93), deg(87)}});
  const double bx = std::cos(deg(20)) * 100, by = std::sin(deg(20)) * 100;
  const double cx = bx + std::cos(deg(112)) * 100, cy = by + std::sin(deg(112)) * 100;
  model::CPolyLine corner = polyline({{0, 0}, {bx, by}, {cx, cy}});
  adjustPolylineAngles(corner, right, 0.5);
  EXPECT_EQ(corner.vertices()[2].x, cx);
  EXPECT_EQ(corner.vertices()[2].y, cy);
  adjustPolylineAngles(corner, right);
  EXPECT_NEAR(direction(corner, 1) - direction(corner, 0), deg(90), 1e-9);
}

TEST(AdjustAngles, SeriesBoundariesAndExactMainAngles) {
  // A range whose maximum is exactly the direction of the first segment:
  // on the edge it snaps, a hair beyond it does not.
  const double ex = std::cos(deg(2)) * 10, ey = std::sin(deg(2)) * 10;
  const settings::AngleSeries horizontal = series({{0.0, std::atan2(ey, ex), 0.0}});
  model::CPolyLine edge = polyline({{0, 0}, {ex, ey}});
  adjustPolylineAngles(edge, horizontal);
  EXPECT_NEAR(direction(edge, 0), 0.0, 1e-12);
  model::CPolyLine beyond = polyline({{0, 0}, {ex, ey + 1e-9}});
  adjustPolylineAngles(beyond, horizontal);
  EXPECT_DOUBLE_EQ(beyond.vertices()[1].y, ey + 1e-9);
  // Already at the main angle: untouched.
  model::CPolyLine exact = polyline({{0, 3}, {10, 3}});
  adjustPolylineAngles(exact, horizontal);
  EXPECT_DOUBLE_EQ(exact.vertices()[0].y, 3.0);
  EXPECT_DOUBLE_EQ(exact.vertices()[1].y, 3.0);
  // Directions are undirected: a segment running left at 181° is 1°.
  model::CPolyLine left = polyline({{10, 0}, {10 - std::cos(deg(1)) * 10, -std::sin(deg(1)) * 10}});
  adjustPolylineAngles(left, horizontal);
  EXPECT_NEAR(left.vertices()[0].y, left.vertices()[1].y, 1e-9);
}

TEST(AdjustAngles, CornerWithoutMatchingDirectionBecomesRight) {
  // Only a corner entry: no segment direction near 90° exists below, so the
  // corner of 89° between the two segments is turned to 90°.
  const settings::AngleSeries corners = series({{deg(90), deg(92), deg(88)}});
  const double before = std::atan2(5.0, 10.0);
  const double leaving = before + deg(89);
  model::CPolyLine bend = polyline({{0, 0}, {10, 5}, {10 + 5 * std::cos(leaving), 5 + 5 * std::sin(leaving)}});
  adjustPolylineAngles(bend, corners);
  const auto& v = bend.vertices();
  const double a = std::atan2(v[1].y - v[0].y, v[1].x - v[0].x);
  const double b = std::atan2(v[2].y - v[1].y, v[2].x - v[1].x);
  EXPECT_NEAR(a, before, 1e-9);  // the first segment is not turned
  EXPECT_NEAR(std::remainder(b - a, 2 * M_PI), deg(90), 1e-9);
}

TEST(AdjustAngles, FarSlideFallsBackToThePerpendicular) {
  // The neighbour after the segment runs at 0.5°: meeting it at the new
  // height would move the end 20 px along it, so the end moves
  // perpendicular to the old segment instead. The open start has no
  // neighbour and slides perpendicular as well.
  model::CPolyLine p = polyline({{0, 0}, {20, 0.35}, {60, 0.35 + 40 * std::tan(deg(0.5))}});
  const model::PolyVertex last = p.vertices()[2];
  rotateSegment(p, 0, 0.0);
  const auto& v = p.vertices();
  EXPECT_NEAR(v[0].y, 0.175, 1e-9);
  EXPECT_NEAR(v[1].y, 0.175, 1e-9);
  EXPECT_NEAR(v[1].x, 20.0 + 0.35 * 0.175 / 20.0, 1e-9);
  EXPECT_NEAR(v[0].x, -0.35 * 0.175 / 20.0, 1e-9);
  EXPECT_DOUBLE_EQ(v[2].x, last.x);
  EXPECT_DOUBLE_EQ(v[2].y, last.y);
}

TEST(AdjustAngles, ArcSegmentsAreNeverTurned) {
  const settings::AngleSeries horizontal = series({{0.0, deg(2), 0.0}});
  model::CPolyLine p;
  p.appendVertex(0, 0, 0, 0.5);
  p.appendVertex(20, 0.3);
  adjustPolylineAngles(p, horizontal);
  EXPECT_DOUBLE_EQ(p.vertices()[1].y, 0.3);
}

TEST(AdjustAnglesLayer, ReportsAndCancels) {
  const settings::AngleSeries horizontal = series({{0.0, deg(2), 0.0}});
  model::CLayer layer;
  layer.append(std::make_unique<model::CPolyLine>(polyline({{0, 0}, {10, 0.1}})));
  layer.append(std::make_unique<model::CPolyLine>(polyline({{0, 5}, {10, 5.1}})));
  test::StageRecorder sink;
  EXPECT_TRUE(adjustAnglesLayer(layer, horizontal, &sink));
  EXPECT_EQ(sink.events, (std::vector<std::string>{"begin Adjust angle", "progress 50", "progress 100", "end"}));
  test::StageRecorder stopped;
  stopped.cancelAfter = 0;
  EXPECT_FALSE(adjustAnglesLayer(layer, horizontal, &stopped));
  EXPECT_EQ(stopped.events, (std::vector<std::string>{"begin Adjust angle", "finished 10"}));
}

}  // namespace
}  // namespace quillon::postprocess
