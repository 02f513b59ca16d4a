#include "trace/polyline_generation.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include <string>
#include <utility>
#include <vector>

#include "postprocess/connect.h"
#include "postprocess/stage_recorder.h"
#include "trace/trace_result.h"

namespace quillon::trace {
namespace {

TracePath makePath(std::initializer_list<std::pair<double, double>> points, bool closed = false) {
  TracePath path;
  for (const auto& [x, y] : points) path.pushBack(x, y);
  path.closed = closed;
  return path;
}

std::string pointsText(const std::vector<TracePoint>& points) {
  std::string text;
  for (const TracePoint& p : points) {
    if (!text.empty()) text += ' ';
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "(%g,%g)", p.x, p.y);
    text += buffer;
  }
  return text;
}

std::string verticesText(const model::CPolyLine& polyline) {
  std::string text;
  for (const model::PolyVertex& v : polyline.vertices()) {
    if (!text.empty()) text += ' ';
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "(%g,%g)", v.x, v.y);
    text += buffer;
  }
  return text;
}

std::string simplified(TracePath path, double tolerance, int maxStride = 128) {
  std::vector<TracePoint> out;
  if (!simplifyPath(path, out, tolerance, maxStride)) return "none";
  return pointsText(out);
}

PolylineGenerationParams centreParams(double tolerance, int height = 100) {
  PolylineGenerationParams params;
  params.method = settings::TraceMethod::CenterLine;
  params.tolerance = tolerance;
  params.straightenDistance = tolerance;
  params.rasterHeight = height;
  params.dotsPerInch = 200;
  return params;
}

TEST(SegmentFits, PointExactlyAtToleranceFits) {
  const TracePath path = makePath({{0, 0}, {1, 1}, {2, 0}});
  EXPECT_TRUE(segmentFits(path.points, 0, 2, 1.0));
  EXPECT_FALSE(segmentFits(path.points, 0, 2, 0.999));
}

TEST(SegmentFits, PointsBeyondTheEndsMeasureToTheNearerEnd) {
  // (−2,0) projects before the start: its distance is 2, not its 0 off the line.
  const TracePath behind = makePath({{0, 0}, {-2, 0}, {5, 0}});
  EXPECT_FALSE(segmentFits(behind.points, 0, 2, 1.5));
  EXPECT_TRUE(segmentFits(behind.points, 0, 2, 2.0));
  // A segment of no length measures every point from its start.
  const TracePath loop = makePath({{3, 3}, {4, 3}, {3, 4}, {3, 3}});
  EXPECT_TRUE(segmentFits(loop.points, 0, 3, 1.0));
  EXPECT_FALSE(segmentFits(loop.points, 0, 3, 0.9));
}

TEST(Simplify, CollinearPointDroppedAndCornerKept) {
  EXPECT_EQ(simplified(makePath({{0, 0}, {1, 0}, {10, 0}, {10, 10}}), 1.5), "(0,0) (10,0) (10,10)");
}

TEST(Simplify, OnePixelStepAtTheEndIsSnappedIntoTheColumn) {
  const TracePath stroke = makePath({{5, 0}, {5, 1}, {5, 8}, {6, 9}});
  EXPECT_EQ(simplified(stroke, 1.0), "(5,0) (5,9)");
  // Too tight for (6,9): the corner stays and the end is not snapped.
  EXPECT_EQ(simplified(stroke, 0.5), "(5,0) (5,8) (6,9)");
}

TEST(Simplify, JogsAtBothEndsOfAHorizontalRun) {
  // Only the chosen end is ever moved: the far jog snaps onto the run's row,
  // the jog at the start stays where the path begins.
  const TracePath run = makePath({{0, 1}, {1, 0}, {2, 0}, {19, 0}, {20, 1}});
  EXPECT_EQ(simplified(run, 1.0), "(0,1) (20,0)");
  EXPECT_EQ(simplified(run, 0.5), "(0,1) (2,0) (19,0) (20,1)");
}

TEST(Simplify, PathThatStopsFittingHalfwayKeepsItsCorner) {
  // Every pixel of an L: ten to the right, then ten up. The doubling search
  // overshoots the corner, bisection comes back to the last fitting point
  // (10,1), which is then snapped into the row of the run.
  TracePath corner;
  for (int x = 0; x <= 10; ++x) corner.pushBack(x, 0);
  for (int y = 1; y <= 10; ++y) corner.pushBack(10, y);
  EXPECT_EQ(simplified(corner, 1.0), "(0,0) (10,0) (10,10)");
}

TEST(Simplify, StrideLimitDoesNotChangeTheAnswerOfAStraightRun) {
  TracePath line;
  for (int x = 0; x <= 300; ++x) line.pushBack(x, 7);
  EXPECT_EQ(simplified(line, 1.0, 128), "(0,7) (300,7)");
  EXPECT_EQ(simplified(line, 1.0, 2), "(0,7) (300,7)");
}

TEST(Simplify, ClosedContourOmitsItsFirstPoint) {
  const TracePath pixel = makePath({{0.5, 0.5}, {-0.5, 0.5}, {-0.5, -0.5}, {0.5, -0.5}, {0.5, 0.5}}, true);
  EXPECT_EQ(simplified(pixel, 1.5), "(0.5,0.5)");
  EXPECT_EQ(simplified(pixel, 0.5), "(-0.5,0.5) (-0.5,-0.5) (0.5,-0.5) (0.5,0.5)");
  EXPECT_EQ(simplified(makePath({{1, 1}}), 1.0), "none");
}

TEST(GeneratePolyline, FlipsRowsIntoDrawingCoordinates) {
  TracePath path = makePath({{0, 0}, {1, 0}, {10, 0}, {10, 10}});
  std::unique_ptr<model::CPolyLine> polyline;
  ASSERT_EQ(generatePolyline(&path, centreParams(1.5, 50), polyline, nullptr), kGenerateDone);
  ASSERT_TRUE(polyline);
  EXPECT_EQ(verticesText(*polyline), "(0,49) (10,49) (10,39)");
  EXPECT_FALSE(polyline->isClosed());
}

TEST(GeneratePolyline, ResultCodes) {
  std::unique_ptr<model::CPolyLine> polyline;
  EXPECT_EQ(generatePolyline(nullptr, centreParams(1.0), polyline, nullptr), kGenerateNoPath);
  TracePath single = makePath({{3, 3}});
  EXPECT_EQ(generatePolyline(&single, centreParams(1.0), polyline, nullptr), kGenerateTooFewPoints);
  EXPECT_EQ(generatePolyline(&single, centreParams(0.0), polyline, nullptr), kGenerateNoPath);
  EXPECT_FALSE(polyline);
}

TEST(GeneratePolyline, ShortCentreLineStubsAreDroppedAboveFiftyDpi) {
  std::unique_ptr<model::CPolyLine> polyline;
  TracePath three = makePath({{0, 0}, {3, 0}});
  EXPECT_EQ(generatePolyline(&three, centreParams(1.0), polyline, nullptr), kGenerateDone);
  EXPECT_FALSE(polyline);
  TracePath longer = makePath({{0, 0}, {3.5, 0}});
  EXPECT_EQ(generatePolyline(&longer, centreParams(1.0), polyline, nullptr), kGenerateDone);
  ASSERT_TRUE(polyline);
  EXPECT_EQ(polyline->getVertexCount(), 2);

  PolylineGenerationParams lowDpi = centreParams(1.0);
  lowDpi.dotsPerInch = 50;
  EXPECT_EQ(generatePolyline(&three, lowDpi, polyline, nullptr), kGenerateDone);
  EXPECT_TRUE(polyline);
}

// The maker that runs while paths are traced against generatePolyline on
// random 8-connected walks (specks, stubs, long wiggly runs, closed ones) at
// several tolerances and resolutions: the same vertices or the same nothing,
// the path left as it was and the worked copy as generatePolyline leaves it.
TEST(PolylineMaker, MakesWhatGeneratePolylineMakesWithoutChangingThePath) {
  std::mt19937 random(7);
  for (int i = 0; i < 3000; ++i) {
    TracePath path;
    const int length = 1 + static_cast<int>(random() % (i % 3 == 0 ? 4 : 40));
    int x = 50, y = 50;
    for (int k = 0; k < length; ++k) {
      path.pushBack(x, y);
      const int turn = static_cast<int>(random() % 8);
      x += turn < 3 ? 1 : (turn < 5 ? 0 : -1) * (k % 5 == 0 ? 1 : 0);
      y += (turn % 3) - 1;
    }
    path.closed = i % 11 == 0 && length > 3;
    PolylineGenerationParams params = centreParams(std::vector<double>{0.0, 0.5, 1.0, 2.0}[random() % 4], 120);
    params.dotsPerInch = i % 7 == 0 ? 50 : 200;
    params.maxStride = 2 + static_cast<int>(random() % 8);
    PolylineMaker maker(params);
    const TracePath before = path;
    const std::unique_ptr<model::CPolyLine> made = maker(path);
    EXPECT_EQ(path.points, before.points) << i;
    std::unique_ptr<model::CPolyLine> expected;
    generatePolyline(&path, params, expected, nullptr);
    // Refined runs take stub middles from the path as simplification left it.
    EXPECT_EQ(maker.worked().points, path.points) << i;
    ASSERT_EQ(static_cast<bool>(made), static_cast<bool>(expected)) << i << ": " << pointsText(before.points);
    if (made) {
      EXPECT_EQ(verticesText(*made), verticesText(*expected)) << i;
      EXPECT_EQ(made->isClosed(), expected->isClosed()) << i;
    }
  }
}

TEST(GeneratePolyline, ZeroToleranceKeepsEveryPoint) {
  TracePath path = makePath({{0, 0}, {1, 0}, {2, 0}, {3, 1}}, true);
  std::unique_ptr<model::CPolyLine> polyline;
  ASSERT_EQ(generatePolyline(&path, centreParams(0.0, 10), polyline, nullptr), kGenerateDone);
  ASSERT_TRUE(polyline);
  EXPECT_EQ(verticesText(*polyline), "(0,9) (1,9) (2,9) (3,8)");
  EXPECT_FALSE(polyline->isClosed());  // not carried over without simplification
  TracePath stub = makePath({{0, 0}, {1, 0}});
  ASSERT_EQ(generatePolyline(&stub, centreParams(0.0, 10), polyline, nullptr), kGenerateDone);
  EXPECT_TRUE(polyline);
}

TEST(GeneratePolyline, ClosedOutlineContourBecomesAClosedPolyline) {
  PolylineGenerationParams params = centreParams(0.5, 1);
  params.method = settings::TraceMethod::Outline;
  TracePath pixel = makePath({{0.5, 0.5}, {-0.5, 0.5}, {-0.5, -0.5}, {0.5, -0.5}, {0.5, 0.5}}, true);
  std::unique_ptr<model::CPolyLine> polyline;
  ASSERT_EQ(generatePolyline(&pixel, params, polyline, nullptr), kGenerateDone);
  ASSERT_TRUE(polyline);
  EXPECT_TRUE(polyline->isClosed());
  // It starts with the last simplified point; the repeat of that point at
  // the end lies on the closing segment and goes with the straighten.
  EXPECT_EQ(verticesText(*polyline), "(0.5,-0.5) (-0.5,-0.5) (-0.5,0.5) (0.5,0.5)");

  // Three vertices of an outline shorter than 3.5 in all: too small.
  TracePath tiny = makePath({{0, 0}, {1, 0}, {1, 1}});
  EXPECT_EQ(generatePolyline(&tiny, params, polyline, nullptr), kGenerateTooSmall);
  EXPECT_FALSE(polyline);
}

TEST(GeneratePolyline, CentreLineEndsAreRegisteredWhenConnecting) {
  postprocess::EndIndex ends;
  TracePath path = makePath({{2.0, 3.0}, {12.0, 3.0}});
  std::unique_ptr<model::CPolyLine> polyline;
  PolylineGenerationParams params = centreParams(1.0, 10);
  ASSERT_EQ(generatePolyline(&path, params, polyline, &ends), kGenerateDone);
  EXPECT_EQ(ends.entryCount(), 2u);
  ends.seal();
  ASSERT_EQ(ends.rowCount(), 1u);
  // Two cells in row y = 10 − 1 − 3, one end each: the start at x 2 and
  // the end at x 12.
  const auto& entries = ends.entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].y, 6);
  EXPECT_EQ(entries[1].y, 6);
  EXPECT_EQ(entries[0].x, 2);
  EXPECT_EQ(entries[0].end(), 0);
  EXPECT_EQ(entries[1].x, 12);
  EXPECT_EQ(entries[1].end(), 1);

  params.registerEnds = false;
  ASSERT_EQ(generatePolyline(&path, params, polyline, &ends), kGenerateDone);
  params.registerEnds = true;
  params.method = settings::TraceMethod::Outline;
  TracePath outline = makePath({{0, 0}, {10, 0}, {10, 10}});
  ASSERT_EQ(generatePolyline(&outline, params, polyline, &ends), kGenerateDone);
  EXPECT_EQ(ends.entryCount(), 2u);
}

TEST(GeneratePolylines, ReportsEveryPathAndAddsToTheCurrentLayer) {
  model::CGraph drawing;
  ASSERT_TRUE(drawing.raster().create(20, 20, 1));
  drawing.clearForTrace();
  TracePathList paths;
  paths.append() = makePath({{0, 0}, {10, 0}});
  paths.append() = makePath({{0, 0}, {1, 0}});  // a stub, dropped
  paths.append() = makePath({{0, 5}, {10, 5}});
  settings::TraceOption options;
  test::StageRecorder sink;
  EXPECT_EQ(generatePolylines(paths, drawing, options, &sink, nullptr), kTraceFinished);
  EXPECT_EQ(drawing.currentLayer()->count(), 2u);
  EXPECT_TRUE(paths.empty());  // their memory went to the polylines
  const std::vector<std::string> expected{"begin Generate polyline", "progress 33", "progress 66", "progress 100",
                                          "end"};
  EXPECT_EQ(sink.events, expected);
}

TEST(GeneratePolylines, CancelAfterAPathKeepsWhatWasAdded) {
  model::CGraph drawing;
  ASSERT_TRUE(drawing.raster().create(20, 20, 1));
  drawing.clearForTrace();
  TracePathList paths;
  paths.append() = makePath({{0, 0}, {10, 0}});
  paths.append() = makePath({{0, 5}, {10, 5}});
  test::StageRecorder sink;
  sink.cancelAfter = 1;
  EXPECT_EQ(generatePolylines(paths, drawing, settings::TraceOption(), &sink, nullptr), kTraceUserStop);
  EXPECT_EQ(drawing.currentLayer()->count(), 1u);
  EXPECT_EQ(sink.events.back(), "finished 10");
}

}  // namespace
}  // namespace quillon::trace
