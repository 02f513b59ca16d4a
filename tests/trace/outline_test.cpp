#include "trace/outline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "model/graph.h"
#include "model/layer.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "support/test_support.h"
#include "trace/trace_result.h"
#include "trace/trace_worker.h"
#include "trace_test_util.h"

namespace quillon::trace {
namespace {

using testing::MakeRaster;

std::string PointsText(const TracePath& path) {
  std::string text;
  char buffer[64];
  for (const TracePoint& p : path.points) {
    std::snprintf(buffer, sizeof buffer, "%s(%g,%g)", text.empty() ? "" : " ", p.x, p.y);
    text += buffer;
  }
  return text;
}

TracePathList Trace(const std::vector<std::string>& rows) {
  raster::CRaster raster;
  EXPECT_TRUE(MakeRaster(raster, rows));
  TracePathList paths;
  EXPECT_TRUE(TraceOutline(raster, paths, nullptr));
  return paths;
}

// Shoelace area in screen coordinates (rows downwards).
double SignedArea(const TracePath& path) {
  double twice = 0.0;
  for (size_t k = 0; k + 1 < path.size(); ++k) {
    twice += path.points[k].x * path.points[k + 1].y - path.points[k + 1].x * path.points[k].y;
  }
  return twice / 2.0;
}

TEST(TraceOutline, SinglePixelIsOneClosedClockwiseContour) {
  const TracePathList paths = Trace({"#"});
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_EQ(PointsText(paths[0]), "(0.5,0.5) (-0.5,0.5) (-0.5,-0.5) (0.5,-0.5) (0.5,0.5)");
  EXPECT_TRUE(paths[0].closed);
  EXPECT_FALSE(paths[0].hole);
}

TEST(TraceOutline, FilledSquareHasOnlyItsCorners) {
  const TracePathList paths = Trace({"###", "###", "###"});
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_EQ(PointsText(paths[0]), "(2.5,2.5) (-0.5,2.5) (-0.5,-0.5) (2.5,-0.5) (2.5,2.5)");
}

TEST(TraceOutline, SquareWithHoleGivesOuterAndHoleContours) {
  const TracePathList paths = Trace({"###", "#.#", "###"});
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_FALSE(paths[0].hole);
  EXPECT_EQ(PointsText(paths[0]), "(2.5,2.5) (-0.5,2.5) (-0.5,-0.5) (2.5,-0.5) (2.5,2.5)");
  EXPECT_TRUE(paths[1].hole);
  EXPECT_TRUE(paths[1].closed);
  EXPECT_EQ(PointsText(paths[1]), "(0.5,1.5) (1.5,1.5) (1.5,0.5) (0.5,0.5) (0.5,1.5)");
  EXPECT_GT(SignedArea(paths[0]) * SignedArea(paths[1]), -1e9);
  EXPECT_LT(SignedArea(paths[0]) * SignedArea(paths[1]), 0.0);  // opposite turning
}

TEST(TraceOutline, PixelsTouchingAtACornerShareOneContour) {
  const TracePathList paths = Trace({"#.", ".#"});
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_EQ(PointsText(paths[0]),
            "(1.5,1.5) (0.5,1.5) (0.5,0.5) (-0.5,0.5) (-0.5,-0.5) (0.5,-0.5) (0.5,0.5) (1.5,0.5) (1.5,1.5)");
  EXPECT_TRUE(paths[0].closed);

  // Background that meets the outside only at a corner stays a hole.
  const TracePathList notched = Trace({"##.", "#.#", "###"});
  ASSERT_EQ(notched.size(), 2u);
  EXPECT_FALSE(notched[0].hole);
  EXPECT_TRUE(notched[1].hole);
  EXPECT_DOUBLE_EQ(std::fabs(SignedArea(notched[1])), 1.0);
}

TEST(TraceOutline, UShapeArmsMergeIntoOneContour) {
  const TracePathList paths = Trace({"#..#", "#..#", "####"});
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_TRUE(paths[0].closed);
  EXPECT_EQ(paths[0].size(), 9u);  // eight corners, the first repeated
  EXPECT_DOUBLE_EQ(std::fabs(SignedArea(paths[0])), 8.0);
}

TEST(TraceOutline, RingAndEmptyRaster) {
  const TracePathList ring = Trace({".....", ".###.", ".#.#.", ".###.", "....."});
  ASSERT_EQ(ring.size(), 2u);
  EXPECT_FALSE(ring[0].hole);
  EXPECT_TRUE(ring[1].hole);
  EXPECT_DOUBLE_EQ(std::fabs(SignedArea(ring[0])), 9.0);
  EXPECT_DOUBLE_EQ(std::fabs(SignedArea(ring[1])), 1.0);

  EXPECT_TRUE(Trace({"....", "...."}).empty());
}

TEST(TraceOutline, RecoloursInkAndReportsEveryRow) {
  raster::CRaster raster;
  ASSERT_TRUE(MakeRaster(raster, {"#..", "...", "..#"}));
  struct Recording final : platform::ProgressSink {
    void stageBegin(std::string_view) override {}
    void progress(int value) override { progressValues.push_back(value); }
    void stageEnd() override {}
    void finished(int) override {}
    std::vector<int> progressValues;
  } sink;
  TracePathList paths;
  ASSERT_TRUE(TraceOutline(raster, paths, &sink));
  EXPECT_EQ(raster.palette()[4], 220);
  EXPECT_EQ(raster.palette()[6], 220);
  EXPECT_TRUE(raster.bitAt(0, 0));
  EXPECT_EQ(sink.progressValues.size(), 5u);  // rows -1 .. height
  EXPECT_EQ(sink.progressValues.front(), -33);
}

// Random pictures: every contour closed and axis-parallel with no collinear
// points; outer contours and holes turn opposite ways and together enclose
// exactly the ink; every crack edge of the raster is used exactly once.
TEST(TraceOutline, RandomPicturesGiveConsistentContours) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    const int width = 1 + static_cast<int>(random() % 70);
    const int height = 1 + static_cast<int>(random() % 20);
    const unsigned density = 20 + random() % 60;
    raster::CRaster raster;
    ASSERT_TRUE(raster.create(width, height, 1));
    long ink = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        if (random() % 100 < density) {
          raster.setBit(x, y, true);
          ++ink;
        }
      }
    }
    long cracks = 0;
    for (int y = 0; y <= height; ++y) {
      for (int x = 0; x < width; ++x) cracks += raster.bitAtChecked(x, y - 1) != raster.bitAtChecked(x, y);
    }
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x <= width; ++x) cracks += raster.bitAtChecked(x - 1, y) != raster.bitAtChecked(x, y);
    }
    TracePathList paths;
    ASSERT_TRUE(TraceOutline(raster, paths, nullptr));
    double area = 0.0;
    long length = 0;
    for (const TracePath& path : paths) {
      ASSERT_TRUE(path.closed);
      ASSERT_GE(path.size(), 5u);
      ASSERT_EQ(path.points.front(), path.points.back());
      const double a = SignedArea(path);
      EXPECT_EQ(a > 0, !path.hole) << "round " << round;
      area += a;
      for (size_t k = 0; k + 1 < path.size(); ++k) {
        const TracePoint& p = path.points[k];
        const TracePoint& q = path.points[k + 1];
        ASSERT_TRUE(p.x == q.x || p.y == q.y);
        ASSERT_FALSE(p.x == q.x && p.y == q.y);
        length += static_cast<long>(std::fabs(p.x - q.x) + std::fabs(p.y - q.y));
        if (k + 2 < path.size()) {
          const TracePoint& r = path.points[k + 2];
          EXPECT_FALSE((p.x == q.x && q.x == r.x) || (p.y == q.y && q.y == r.y)) << "collinear point";
        }
      }
    }
    EXPECT_DOUBLE_EQ(area, static_cast<double>(ink)) << "round " << round;
    EXPECT_EQ(length, cracks) << "round " << round;
  }
}

TEST(TraceOutline, WideRowsCrossWordBoundaries) {
  // Runs that start and end next to the 64-pixel word edges.
  for (int start : {0, 1, 62, 63, 64, 65, 127}) {
    raster::CRaster raster;
    ASSERT_TRUE(raster.create(130, 3, 1));
    for (int x = start; x < 130; ++x) raster.setBit(x, 1, true);
    TracePathList paths;
    ASSERT_TRUE(TraceOutline(raster, paths, nullptr));
    ASSERT_EQ(paths.size(), 1u) << start;
    EXPECT_DOUBLE_EQ(SignedArea(paths[0]), 130.0 - start) << start;
    EXPECT_EQ(paths[0].size(), 5u);
  }
}

// --- analysis ---------------------------------------------------------------

struct Analysed {
  raster::CRaster raster;
  TracePathList paths;
  OutlineRegionList regions;
};

void Analyse(Analysed& a, const std::vector<std::string>& rows) {
  ASSERT_TRUE(MakeRaster(a.raster, rows));
  ASSERT_TRUE(TraceOutline(a.raster, a.paths, nullptr));
  ASSERT_TRUE(AnalyseOutline(a.raster, a.paths, a.regions, nullptr));
}

TEST(AnalyseOutline, HoleJoinsItsRegionAndPathsRunTheOtherWay) {
  Analysed a;
  Analyse(a, {".###", ".#.#", ".###"});
  ASSERT_EQ(a.regions.size(), 1u);
  const OutlineRegion& r = a.regions[0];
  ASSERT_EQ(r.holes.size(), 1u);
  EXPECT_EQ(r.outer, &a.paths[0]);
  EXPECT_EQ(r.holes[0], &a.paths[1]);
  EXPECT_DOUBLE_EQ(r.minX, 0.5);
  EXPECT_DOUBLE_EQ(r.maxX, 3.5);
  EXPECT_DOUBLE_EQ(r.minY, -0.5);
  EXPECT_DOUBLE_EQ(r.maxY, 2.5);
  EXPECT_DOUBLE_EQ(r.seed.x, 3.75);
  EXPECT_DOUBLE_EQ(r.seed.y, 2.25);
  EXPECT_LT(SignedArea(a.paths[0]), 0.0);  // reversed: anticlockwise on the screen
  EXPECT_EQ(PointsText(a.paths[1]), "(1.5,1.5) (1.5,0.5) (2.5,0.5) (2.5,1.5) (1.5,1.5)");
}

TEST(AnalyseOutline, RingOnTheLeftEdgeKeepsItsHole) {
  test::CapturedMessages messages;
  Analysed a;
  Analyse(a, {"###", "#.#", "###"});
  ASSERT_EQ(a.regions.size(), 1u);
  EXPECT_EQ(a.regions[0].holes.size(), 1u);
  EXPECT_TRUE(messages.messages().empty());
}

TEST(AnalyseOutline, HolesFindTheirOwnRegionWhenRegionsNest) {
  // R0 has two holes; the left hole holds an island R1 with a hole of its
  // own. The right hole's row above crosses the left hole and the island,
  // so only the ink that bounds the hole may decide.
  Analysed a;
  Analyse(a, {
      "...............",
      ".#############.",
      ".#.........####",
      ".#.#####...#..#",
      ".#.#...#...#..#",
      ".#.#####...####",
      ".#.........#...",
      ".###########...",
  });
  ASSERT_EQ(a.regions.size(), 2u);
  const OutlineRegion* outer = nullptr;
  const OutlineRegion* island = nullptr;
  for (const OutlineRegion& r : a.regions) (r.minX < 1.0 ? outer : island) = &r;
  ASSERT_NE(outer, nullptr);
  ASSERT_NE(island, nullptr);
  EXPECT_EQ(outer->holes.size(), 2u);
  ASSERT_EQ(island->holes.size(), 1u);
  EXPECT_DOUBLE_EQ(std::fabs(SignedArea(*island->holes[0])), 3.0);
}

TEST(AnalyseOutline, ContourPassesThroughVerticesAndSegments) {
  TracePath path;
  for (auto [x, y] : {std::pair{0.5, 0.5}, {3.5, 0.5}, {3.5, 2.5}, {0.5, 2.5}, {0.5, 0.5}}) path.pushBack(x, y);
  EXPECT_TRUE(ContourPassesThrough(path, 3.505, 2.495));
  EXPECT_TRUE(ContourPassesThrough(path, 2.0, 0.5));
  EXPECT_TRUE(ContourPassesThrough(path, 0.5, 1.7));
  EXPECT_FALSE(ContourPassesThrough(path, 2.0, 1.5));
  EXPECT_FALSE(ContourPassesThrough(path, 4.5, 0.5));
}

// --- the outline method -----------------------------------------------------

class Window final : public platform::ProgressSink {
 public:
  void stageBegin(std::string_view text) override { stages.emplace_back(text); }
  void progress(int) override {}
  void stageEnd() override {}
  void finished(int code) override { codes.push_back(code); }
  std::vector<std::string> stages;
  std::vector<int> codes;
};

settings::TraceOption OutlineOptions() {
  settings::TraceOption options;
  options.i_AutoTraceWhat = settings::TraceMethod::Outline;
  options.Outline.b_RecogniseCirArc = false;
  options.Outline.b_Fill = false;
  return options;
}

int RunWorker(model::CGraph& drawing, const settings::TraceOption& options, Window& window) {
  TraceWorker worker(drawing, options, window);
  worker.run();
  return window.codes.empty() ? -1 : window.codes.back();
}

TEST(OutlineMethod, ContoursBecomeClosedPolylines) {
  model::CGraph drawing;
  ASSERT_TRUE(MakeRaster(drawing.raster(), {"..........", ".########.", ".#......#.", ".#......#.",
                                            ".########.", ".........."}));
  Window window;
  EXPECT_EQ(RunWorker(drawing, OutlineOptions(), window), kTraceFinished);
  EXPECT_EQ(window.codes.size(), 1u);
  EXPECT_EQ(window.stages, (std::vector<std::string>{"Trace outline", "Generate polyline"}));
  model::CLayer* layer = drawing.currentLayer();
  ASSERT_NE(layer, nullptr);
  ASSERT_EQ(layer->recount(), 2u);
  for (const auto& entity : *layer) {
    auto* polyline = dynamic_cast<const model::CPolyLine*>(entity.get());
    ASSERT_NE(polyline, nullptr);
    EXPECT_TRUE(polyline->isClosed());
    EXPECT_GE(polyline->getVertexCount(), 3);
  }
}

TEST(OutlineMethod, SolidFillMakesPolygonsWithHoles) {
  model::CGraph drawing;
  ASSERT_TRUE(MakeRaster(drawing.raster(), {"..........", ".########.", ".#......#.", ".#......#.",
                                            ".########.", ".........."}));
  settings::TraceOption options = OutlineOptions();
  options.Outline.b_Fill = true;
  options.Outline.i_FillType = settings::FillType::Solid;
  Window window;
  EXPECT_EQ(RunWorker(drawing, options, window), kTraceFinished);
  EXPECT_EQ(window.stages, (std::vector<std::string>{"Trace outline", "Analyse Outline", "Generate polyline"}));
  model::CLayer* layer = drawing.currentLayer();
  ASSERT_EQ(layer->recount(), 1u);
  auto* polygon = dynamic_cast<const model::CPolyPolygon*>(layer->begin()->get());
  ASSERT_NE(polygon, nullptr);
  EXPECT_EQ(polygon->outlineCount(), 2u);
}

TEST(OutlineMethod, HatchAfterOutlineAndItsFailures) {
  const std::vector<std::string> picture = {"......", ".####.", ".####.", "......"};
  {
    model::CGraph drawing;
    ASSERT_TRUE(MakeRaster(drawing.raster(), picture));
    settings::TraceOption options = OutlineOptions();
    options.Outline.b_Fill = true;
    options.Outline.i_FillType = settings::FillType::Cross;
    options.Outline.d_FillSpace = 1.0;
    Window window;
    EXPECT_EQ(RunWorker(drawing, options, window), kTraceFinished);
    EXPECT_EQ(window.stages, (std::vector<std::string>{"Trace outline", "Generate polyline", "Fill horizontal line",
                                                       "Fill vertical line"}));
    EXPECT_EQ(drawing.currentLayer()->recount(), 1u + 2u + 4u);
  }
  {
    model::CGraph drawing;
    ASSERT_TRUE(MakeRaster(drawing.raster(), picture));
    settings::TraceOption options = OutlineOptions();
    options.Outline.b_Fill = true;
    options.Outline.i_FillType = settings::FillType::Horizontal;
    options.Outline.d_FillSpace = 0.0;
    Window window;
    EXPECT_EQ(RunWorker(drawing, options, window), kTraceFillFailed);
    EXPECT_EQ(window.codes.size(), 1u);
  }
  {  // nothing traced: the run ends before the fill
    model::CGraph drawing;
    ASSERT_TRUE(drawing.raster().create(8, 8, 1));
    settings::TraceOption options = OutlineOptions();
    options.Outline.b_Fill = true;
    options.Outline.i_FillType = settings::FillType::Horizontal;
    Window window;
    EXPECT_EQ(RunWorker(drawing, options, window), kTraceFinished);
    EXPECT_EQ(window.stages, std::vector<std::string>{"Trace outline"});
  }
}

TEST(OutlineMethod, CancelEndsWithUserStop) {
  class Cancelling final : public platform::ProgressSink {
   public:
    void stageBegin(std::string_view) override {}
    void progress(int) override {}
    void stageEnd() override {}
    void finished(int code) override { codes.push_back(code); }
    bool cancelRequested() const override { return true; }
    std::vector<int> codes;
  } sink;
  raster::CRaster raster;
  ASSERT_TRUE(MakeRaster(raster, {"##", "##"}));
  TracePathList paths;
  EXPECT_FALSE(TraceOutline(raster, paths, &sink));
  EXPECT_EQ(sink.codes, std::vector<int>{kTraceUserStop});
}

}  // namespace
}  // namespace quillon::trace

namespace quillon::trace {
namespace {

// Random pictures: every hole joins a region whose box holds it, and the
// regions together cover exactly the ink.
TEST(AnalyseOutline, RandomPicturesAssignEveryHole) {
  std::mt19937 random(11);
  for (int round = 0; round < 150; ++round) {
    test::CapturedMessages messages;
    const int width = 1 + static_cast<int>(random() % 60);
    const int height = 1 + static_cast<int>(random() % 25);
    const unsigned density = 30 + random() % 50;
    Analysed a;
    ASSERT_TRUE(a.raster.create(width, height, 1));
    long ink = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        if (random() % 100 < density) {
          a.raster.setBit(x, y, true);
          ++ink;
        }
      }
    }
    ASSERT_TRUE(TraceOutline(a.raster, a.paths, nullptr));
    ASSERT_TRUE(AnalyseOutline(a.raster, a.paths, a.regions, nullptr));
    size_t holes = 0;
    for (const TracePath& p : a.paths) holes += p.hole;
    double area = 0.0;
    size_t assigned = 0;
    for (const OutlineRegion& r : a.regions) {
      area += std::fabs(SignedArea(*r.outer));
      for (const TracePath* h : r.holes) {
        ++assigned;
        area -= std::fabs(SignedArea(*h));
        for (const TracePoint& p : h->points) {
          EXPECT_TRUE(p.x >= r.minX && p.x <= r.maxX && p.y >= r.minY && p.y <= r.maxY) << "round " << round;
        }
      }
    }
    EXPECT_EQ(assigned, holes) << "round " << round;
    EXPECT_DOUBLE_EQ(area, static_cast<double>(ink)) << "round " << round;
    EXPECT_TRUE(messages.messages().empty());
  }
}

}  // namespace
}  // namespace quillon::trace

namespace quillon::trace {
namespace {

// quillon trace with the outline and fill methods and the raster clean-up
// options, on a grey scan whose right half is much darker than its left.
TEST(TraceCommand, OutlineFillAndRasterPreparation) {
  test::TempDir dir;
  raster::CRaster scan;
  ASSERT_TRUE(scan.create(200, 120, 8));
  for (int y = 0; y < 120; ++y) {
    for (int x = 0; x < 200; ++x) {
      const int paper = x < 100 ? 230 : 90;
      const bool ink = (y >= 40 && y < 80 && x >= 30 && x < 170 && !(x >= 60 && x < 140 && y >= 50 && y < 70)) ||
                       (x == 50 && y == 20);
      scan.row(y)[x] = static_cast<uint8_t>(ink ? paper / 3 : paper);
    }
  }
  const std::string input = dir.file("scan.bmp");
  ASSERT_TRUE(scan.save(input));

  test::CliResult outline = test::RunCli({"trace", input, "--defaults", "--method", "outline", "--threshold",
                                          "dynamic:50,0.65", "-o", dir.file("o.dxf")});
  EXPECT_EQ(outline.status, 0) << outline.err;
  EXPECT_NE(outline.out.find("wrote"), std::string::npos);

  test::CliResult fill = test::RunCli({"trace", input, "--defaults", "--method", "fill", "--threshold", "dynamic",
                                       "--fill-holes", "12", "-o", dir.file("f.dxf")});
  EXPECT_EQ(fill.status, 0) << fill.err;

  test::CliResult badBox = test::RunCli({"trace", input, "--threshold", "dynamic:20,0.65", "-o", dir.file("x.dxf")});
  EXPECT_NE(badBox.status, 0);
  EXPECT_NE(badBox.err.find("box size"), std::string::npos) << badBox.err;
  test::CliResult noHoles = test::RunCli({"trace", input, "--fill-holes", "0", "-o", dir.file("x.dxf")});
  EXPECT_NE(noHoles.status, 0);
  EXPECT_NE(noHoles.err.find("Holes size must > 0"), std::string::npos) << noHoles.err;
}

}  // namespace
}  // namespace quillon::trace
