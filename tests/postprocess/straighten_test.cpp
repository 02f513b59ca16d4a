#include "postprocess/straighten.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "postprocess/stage_recorder.h"

namespace quillon::postprocess {
namespace {

struct V {
  double x, y, width = 0.0, bulge = 0.0;
};

model::CPolyLine makePolyline(const std::vector<V>& vertices, bool closed = false) {
  model::CPolyLine polyline;
  for (const V& v : vertices) polyline.appendVertex(v.x, v.y, v.width, v.bulge);
  polyline.setClosed(closed);
  return polyline;
}

std::string text(const model::CPolyLine& polyline) {
  std::string out;
  for (const model::PolyVertex& v : polyline.vertices()) {
    if (!out.empty()) out += ' ';
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "(%g,%g)", v.x, v.y);
    out += buffer;
  }
  return out;
}

TEST(StraightenPolyline, ShortOrBentPolylinesStay) {
  model::CPolyLine two = makePolyline({{0, 0}, {5, 0}});
  straightenPolyline(two, 2.0);
  EXPECT_EQ(two.getVertexCount(), 2);
  model::CPolyLine bent = makePolyline({{0, 0}, {5, 3}, {10, 0}});
  straightenPolyline(bent, 2.0);
  EXPECT_EQ(text(bent), "(0,0) (5,3) (10,0)");
}

TEST(StraightenPolyline, CollinearRunBecomesOneSegment) {
  std::vector<V> points;
  for (int i = 0; i < 10; ++i) points.push_back({i * 3.0, 1.0});
  model::CPolyLine line = makePolyline(points);
  straightenPolyline(line, 2.0);
  EXPECT_EQ(text(line), "(0,1) (27,1)");
}

TEST(StraightenPolyline, NextRunStartsAfterTheEndOfTheLastOne) {
  // Straight 0..5 to the right, a sharp corner at 5, straight 5..9 upwards.
  model::CPolyLine corner = makePolyline(
      {{0, 0}, {2, 0}, {4, 0}, {6, 0}, {8, 0}, {10, 0}, {10, 2}, {10, 4}, {10, 6}, {10, 8}});
  straightenPolyline(corner, 1.0);
  EXPECT_EQ(text(corner), "(0,0) (10,0) (10,2) (10,8)");
}

TEST(StraightenPolyline, ToleranceIsTheLargerOfDistanceAndHalfTheWidth) {
  const auto offChord = [](double width) {
    return makePolyline({{0, 0, width}, {5, 1.5, width}, {10, 0, width}});
  };
  model::CPolyLine loose = offChord(0);
  straightenPolyline(loose, 2.0);
  EXPECT_EQ(loose.getVertexCount(), 2);
  model::CPolyLine tight = offChord(0);
  straightenPolyline(tight, 1.0);
  EXPECT_EQ(tight.getVertexCount(), 3);
  model::CPolyLine wide = offChord(4);
  straightenPolyline(wide, 1.0);
  EXPECT_EQ(wide.getVertexCount(), 2);
  EXPECT_DOUBLE_EQ(wide.vertices()[0].startWidth, 4.0);
}

TEST(StraightenPolyline, RunStopsAtAMuchWiderVertex) {
  model::CPolyLine line = makePolyline({{0, 0, 2}, {3, 0, 2}, {6, 0, 2}, {9, 0, 5}, {12, 0, 5}});
  straightenPolyline(line, 2.0);
  // The width-5 vertex may end the run but not lie inside it.
  EXPECT_EQ(text(line), "(0,0) (9,0) (12,0)");
  EXPECT_DOUBLE_EQ(line.vertices()[0].startWidth, 2.0);
}

TEST(StraightenPolyline, ArcSegmentsAreNeverMerged) {
  model::CPolyLine arc = makePolyline({{0, 0}, {5, 0, 0, 0.001}, {10, 0}, {15, 0}, {20, 0}});
  straightenPolyline(arc, 2.0);
  // The arc (5→10) keeps both ends; the straight run behind it merges.
  EXPECT_EQ(text(arc), "(0,0) (5,0) (10,0) (20,0)");
}

TEST(StraightenPolyline, CurveKeepsItsVerticesWhileCornersAndSidesSimplify) {
  // A quarter circle of radius 20 sampled every 10°: a chord over two steps
  // misses the middle vertex by 0.3, so a tolerance of 0.2 keeps every
  // vertex while 2 merges runs of five steps.
  std::vector<V> curve;
  for (int deg = 0; deg <= 90; deg += 10) {
    curve.push_back({20 * std::cos(deg * M_PI / 180), 20 * std::sin(deg * M_PI / 180)});
  }
  model::CPolyLine fine = makePolyline(curve);
  straightenPolyline(fine, 0.2);
  EXPECT_EQ(fine.getVertexCount(), 10);
  model::CPolyLine coarse = makePolyline(curve);
  straightenPolyline(coarse, 2.0);
  EXPECT_EQ(coarse.getVertexCount(), 4);

  // A closed rectangle with extra points on its sides ends with its four
  // corners: the runs go on round the ring past the first vertex.
  model::CPolyLine box = makePolyline({{0, 0}, {5, 0}, {10, 0}, {10, 5}, {10, 10}, {5, 10}, {0, 10}, {0, 5}}, true);
  straightenPolyline(box, 1.0);
  EXPECT_EQ(text(box), "(0,0) (10,0) (10,10) (0,10)");
}

TEST(StraightenPolyline, ClosedRingStraightAllTheWayRoundIsLeftAlone) {
  model::CPolyLine ring = makePolyline({{0, 0}, {1, 0}, {2, 0}, {1, 0.5}}, true);
  straightenPolyline(ring, 2.0);
  EXPECT_EQ(ring.getVertexCount(), 4);
}

TEST(StraightenPolyline, RunNeverWrapsPastTheEndOfAnOpenPolyline) {
  // After the first run ends at (9,0), the last vertex (0,0.5) would start a
  // run through the head (5,0), which lies near the chord back to (9,0).
  model::CPolyLine hook = makePolyline({{5, 0}, {7, 0}, {9, 0}, {12, 5}, {0, 0.5}});
  straightenPolyline(hook, 2.0);
  EXPECT_EQ(text(hook), "(5,0) (9,0) (12,5) (0,0.5)");
}

TEST(StraightenLayer, ReportsPerEntityAndStopsOnCancel) {
  model::CLayer layer;
  for (int i = 0; i < 4; ++i) {
    layer.append(std::make_unique<model::CPolyLine>(makePolyline({{0, 0}, {1, 0}, {2, 0}})));
  }
  test::StageRecorder sink;
  EXPECT_TRUE(straightenLayer(layer, 2.0, &sink));
  const std::vector<std::string> expected{"begin Straighten line", "progress 25", "progress 50", "progress 75",
                                          "progress 100", "end"};
  EXPECT_EQ(sink.events, expected);
  for (const auto& e : layer) EXPECT_EQ(e->getVertexCount(), 2);

  test::StageRecorder stopping;
  stopping.cancelAfter = 2;
  EXPECT_FALSE(straightenLayer(layer, 2.0, &stopping));
  EXPECT_EQ(stopping.events.back(), "finished 10");

  model::CLayer empty;
  test::StageRecorder quiet;
  EXPECT_TRUE(straightenLayer(empty, 2.0, &quiet));
  EXPECT_EQ(quiet.events, (std::vector<std::string>{"begin Straighten line", "end"}));
}

}  // namespace
}  // namespace quillon::postprocess
