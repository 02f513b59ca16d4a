#include "trace/centre_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "trace/thinning.h"
#include "trace/trace_result.h"
#include "trace_test_util.h"

namespace quillon::trace {
namespace {

using testing::MakeRaster;
using testing::PathTexts;
using Rows = std::vector<std::string>;
using Texts = std::vector<std::string>;

// Initialise and trace a skeleton that is already thin.
Texts TraceSkeleton(const Rows& rows, Rows* junctionPicture = nullptr) {
  raster::CRaster skeleton;
  EXPECT_TRUE(MakeRaster(skeleton, rows));
  raster::CRaster junctions;
  EXPECT_TRUE(junctions.create(skeleton.width(), skeleton.height(), 1));
  EXPECT_TRUE(TraceCentreInitialise(skeleton, junctions, nullptr));
  if (junctionPicture) *junctionPicture = testing::Picture(junctions);
  TracePathList paths;
  EXPECT_TRUE(TraceCentreLine(skeleton, junctions, paths, nullptr));
  for (int y = 0; y < skeleton.height(); ++y) {
    for (int x = 0; x < skeleton.width(); ++x) EXPECT_FALSE(skeleton.bitAt(x, y)) << "left behind " << x << "," << y;
  }
  return PathTexts(paths);
}

TEST(JunctionTable, HoldsTheFiftyOneJunctionCodes) {
  int count = 0;
  for (bool entry : JunctionTable) count += entry ? 1 : 0;
  EXPECT_EQ(count, 51);
  EXPECT_TRUE(JunctionTable[kNorth | kWest | kEast]);                 // 26, a T
  EXPECT_TRUE(JunctionTable[kNorthWest | kNorthEast | kSouthWest]);  // 37
  EXPECT_TRUE(JunctionTable[kNorth | kWest | kEast | kSouth]);       // 90, a crossing
  EXPECT_FALSE(JunctionTable[kWest | kEast]);                         // a straight run
}

TEST(Step, TakesTheFirstInkNeighbourInFixedOrderAndStaysInside) {
  raster::CRaster raster;
  ASSERT_TRUE(MakeRaster(raster, {"...", "#.#", "#.#"}));
  int x = 1, y = 1;
  EXPECT_EQ(Step(raster, x, y), kWest);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 1);
  x = 1;
  y = 0;  // neighbours above lie outside
  EXPECT_EQ(Step(raster, x, y), kSouthWest);
  raster.setBit(0, 1, false);
  raster.setBit(2, 1, false);
  raster.setBit(0, 2, false);
  raster.setBit(2, 2, false);
  x = 1;
  y = 1;
  EXPECT_EQ(Step(raster, x, y), 0);
  EXPECT_EQ(x, 1);
  EXPECT_EQ(y, 1);
  EXPECT_EQ(OppositeDirection(kNorthWest), kSouthEast);
  EXPECT_EQ(OppositeDirection(kWest), kEast);
}

// Step reads whole row bytes inside the border; every pixel of random
// rasters whose widths straddle byte ends must step as a neighbour-by-neighbour
// look in the fixed order does, with the edges of the image as background.
TEST(Step, AgreesWithANeighbourByNeighbourLookAcrossByteEdges) {
  constexpr int kOrder[8][3] = {{-1, -1, kNorthWest}, {0, -1, kNorth},     {1, -1, kNorthEast}, {-1, 0, kWest},
                                {1, 0, kEast},        {-1, 1, kSouthWest}, {0, 1, kSouth},      {1, 1, kSouthEast}};
  std::mt19937 random(7);
  for (int width : {1, 2, 7, 8, 9, 15, 16, 17, 31, 33}) {
    raster::CRaster raster;
    ASSERT_TRUE(raster.create(width, 5, 1));
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < width; ++x) raster.setBit(x, y, random() % 3 == 0);
    }
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < width; ++x) {
        int wantX = x, wantY = y, want = 0;
        for (const auto& o : kOrder) {
          if (raster.bitAtChecked(x + o[0], y + o[1])) {
            wantX = x + o[0];
            wantY = y + o[1];
            want = o[2];
            break;
          }
        }
        int gotX = x, gotY = y;
        ASSERT_EQ(Step(raster, gotX, gotY), want) << "width " << width << " at " << x << "," << y;
        EXPECT_EQ(gotX, wantX);
        EXPECT_EQ(gotY, wantY);
      }
    }
  }
}

TEST(TraceCentreLine, PlusGivesFourArmsEndingAtTheCrossing) {
  Rows junctions;
  const Texts paths = TraceSkeleton({"...#...", "...#...", "...#...", "#######", "...#...", "...#...", "...#..."},
                                    &junctions);
  EXPECT_EQ(junctions[3], "...#...");
  EXPECT_EQ(paths, (Texts{"(3,0) (3,1) (3,3)", "(0,3) (1,3) (3,3)", "(3,3) (4,3) (5,3) (6,3)",
                          "(3,3) (3,4) (3,5) (3,6)"}));
}

TEST(TraceCentreLine, SmallPlusArmsAllEndAtTheCrossing) {
  const Texts paths = TraceSkeleton({".#.", "###", ".#."});
  ASSERT_EQ(paths.size(), 2u);  // the arms (1,0) and (0,1) alone are single pixels behind the junction
  for (const std::string& path : paths) EXPECT_NE(path.find("(1,1)"), std::string::npos) << path;
}

TEST(TraceCentreLine, TeeGivesThreePathsMeetingAtTheJunction) {
  Rows junctions;
  const Texts paths = TraceSkeleton({"...#...", "...#...", "...#...", "...#...", "#######"}, &junctions);
  EXPECT_EQ(junctions[4], "...#...");
  EXPECT_EQ(paths, (Texts{"(3,0) (3,1) (3,4)", "(0,4) (1,4) (3,4)", "(3,4) (4,4) (5,4) (6,4)"}));
}

TEST(TraceCentreLine, RingWithoutJunctionsBecomesOneOpenPath) {
  const Texts paths = TraceSkeleton({"..#..", ".#.#.", "#...#", ".#.#.", "..#.."});
  EXPECT_EQ(paths, (Texts{"(2,0) (1,1) (0,2) (2,4) (4,2) (3,1)"}));
}

TEST(TraceCentreLine, StraightLineKeepsItsEndsAndFirstStep) {
  Rows rows(8, std::string(12, '.'));
  for (int x = 2; x <= 9; ++x) rows[5][static_cast<std::size_t>(x)] = '#';
  EXPECT_EQ(TraceSkeleton(rows), (Texts{"(2,5) (3,5) (9,5)"}));
}

TEST(TraceCentreLine, LineStartingMidwayIsWalkedBothWays) {
  // The scan meets the V at its top-left arm; the walk runs down and up again,
  // the backward walk has nothing left.
  const Texts paths = TraceSkeleton({"#...#", ".#.#.", "..#.."});
  EXPECT_EQ(paths, (Texts{"(0,0) (1,1) (2,2) (4,0)"}));
  // Scanning reaches the middle of a line first: both walks record.
  const Texts middle = TraceSkeleton({"..#..", ".#.#.", "#...#"});
  EXPECT_EQ(middle, (Texts{"(4,2) (3,1) (2,0) (1,1) (0,2)"}));
}

TEST(TraceCentreLine, IsolatedPixelGivesNoPath) {
  EXPECT_TRUE(TraceSkeleton({"...", ".#.", "..."}).empty());
}

TEST(TraceCentreLine, CancelDiscardsThePaths) {
  struct CancellingSink : platform::ProgressSink {
    void stageBegin(std::string_view) override {}
    void progress(int) override {}
    void stageEnd() override { ++ends; }
    void finished(int code) override { codes.push_back(code); }
    bool cancelRequested() const override { return true; }
    std::vector<int> codes;
    int ends = 0;
  } sink;
  raster::CRaster skeleton;
  ASSERT_TRUE(MakeRaster(skeleton, {"#####", ".....", "#####"}));
  raster::CRaster junctions;
  ASSERT_TRUE(junctions.create(5, 3, 1));
  TracePathList paths;
  EXPECT_FALSE(TraceCentreLine(skeleton, junctions, paths, &sink));
  EXPECT_TRUE(paths.empty());
  EXPECT_EQ(sink.codes, std::vector<int>{10});
  EXPECT_EQ(sink.ends, 0);
  sink.codes.clear();
  EXPECT_FALSE(TraceCentreInitialise(skeleton, junctions, &sink));
  EXPECT_EQ(sink.codes, std::vector<int>{10});
}

// The pixels a path walked: consecutive points are joined by straight runs in
// one of the eight directions, because only turns are recorded.
bool WalkedPixels(const TracePath& path, std::vector<std::pair<int, int>>& pixels) {
  for (std::size_t i = 0; i < path.size(); ++i) {
    const int x1 = static_cast<int>(path.points[i].x);
    const int y1 = static_cast<int>(path.points[i].y);
    if (i == 0) {
      pixels.push_back({x1, y1});
      continue;
    }
    int x = static_cast<int>(path.points[i - 1].x);
    int y = static_cast<int>(path.points[i - 1].y);
    const int dx = (x1 > x) - (x1 < x);
    const int dy = (y1 > y) - (y1 < y);
    if (x1 - x != 0 && y1 - y != 0 && std::abs(x1 - x) != std::abs(y1 - y)) return false;
    while (x != x1 || y != y1) {
      x += dx;
      y += dy;
      pixels.push_back({x, y});
    }
  }
  return true;
}

TEST(TraceCentreLine, RandomSkeletonsAreCoveredOncePerPixel) {
  for (unsigned seed = 1; seed <= 10; ++seed) {
    raster::CRaster skeleton;
    ASSERT_TRUE(skeleton.create(120, 90, 1));
    std::mt19937 random(seed);
    for (int stroke = 0; stroke < 30; ++stroke) {
      // Thick random strokes, thinned below.
      const int x0 = static_cast<int>(random() % 120), y0 = static_cast<int>(random() % 90);
      const int x1 = static_cast<int>(random() % 120), y1 = static_cast<int>(random() % 90);
      const int r = static_cast<int>(random() % 4);
      for (int t = 0; t <= 200; ++t) {
        const int cx = x0 + (x1 - x0) * t / 200, cy = y0 + (y1 - y0) * t / 200;
        for (int y = cy - r; y <= cy + r; ++y) {
          for (int x = cx - r; x <= cx + r; ++x) {
            if (x >= 0 && y >= 0 && x < 120 && y < 90) skeleton.setBit(x, y, true);
          }
        }
      }
    }
    ASSERT_TRUE(ThinFirstStep(skeleton, nullptr, 1));
    ASSERT_TRUE(ThinSecondStep(skeleton, nullptr));
    raster::CRaster junctions;
    ASSERT_TRUE(junctions.create(120, 90, 1));
    ASSERT_TRUE(TraceCentreInitialise(skeleton, junctions, nullptr));
    raster::CRaster chains;
    ASSERT_TRUE(chains.cloneFrom(skeleton));
    TracePathList paths;
    ASSERT_TRUE(TraceCentreLine(skeleton, junctions, paths, nullptr));

    std::map<std::pair<int, int>, std::size_t> owner;
    for (std::size_t p = 0; p < paths.size(); ++p) {
      EXPECT_GE(paths[p].size(), 2u);
      EXPECT_FALSE(paths[p].closed);
      std::vector<std::pair<int, int>> pixels;
      ASSERT_TRUE(WalkedPixels(paths[p], pixels)) << testing::PathText(paths[p]) << " seed " << seed;
      // A start next to a junction gets the point one step behind it, which
      // may be another chain's pixel; it was not walked.
      int sx = static_cast<int>(paths[p].points[1].x), sy = static_cast<int>(paths[p].points[1].y);
      const bool behindStart = Step(junctions, sx, sy) != 0;
      for (std::size_t i = behindStart ? 1 : 0; i < pixels.size(); ++i) {
        const auto [x, y] = pixels[i];
        const bool inside = x >= 0 && y >= 0 && x < 120 && y < 90;
        if (!inside || !chains.bitAt(x, y)) continue;  // a junction or the point behind a start
        auto [it, fresh] = owner.emplace(std::make_pair(x, y), p);
        EXPECT_TRUE(fresh || it->second == p) << x << "," << y << " in two paths, seed " << seed;
      }
    }
    // Every pixel was consumed: walked into a path or dropped as a lone pixel.
    for (int y = 0; y < 90; ++y) {
      for (int x = 0; x < 120; ++x) EXPECT_FALSE(skeleton.bitAt(x, y)) << x << "," << y << " seed " << seed;
    }
  }
}

// The initialise and walk stages read pixel by pixel (bitAtChecked and
// Step), as plainly defined: the reference for the packed readings.
void PlainInitialise(raster::CRaster& skeleton, raster::CRaster& junctions) {
  raster::CRaster original;
  ASSERT_TRUE(original.cloneFrom(skeleton));
  const int dx[8] = {-1, 0, 1, -1, 1, -1, 0, 1};
  const int dy[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
  for (int y = 0; y < original.height(); ++y) {
    for (int x = 0; x < original.width(); ++x) {
      if (!original.bitAt(x, y)) continue;
      int code = 0;
      for (int k = 0; k < 8; ++k) code |= original.bitAtChecked(x + dx[k], y + dy[k]) ? (1 << k) : 0;
      if (!JunctionTable[static_cast<std::size_t>(code)]) continue;
      junctions.setBit(x, y, true);
      skeleton.setBit(x, y, false);
    }
  }
}

void PlainWalk(raster::CRaster& skeleton, const raster::CRaster& junctions, TracePath& path, int sx, int sy,
               bool backwards, bool startTouchesJunction) {
  std::vector<TracePoint> walked;
  const auto put = [&](int x, int y) { walked.push_back(TracePoint{double(x), double(y), 0}); };
  int cx = sx, cy = sy, px = sx, py = sy;
  uint8_t last = 0;
  bool moved = false;
  for (;;) {
    const uint8_t direction = Step(skeleton, cx, cy);
    if (direction == 0) {
      if (!moved) break;
      put(px, py);
      int jx = cx, jy = cy;
      if (Step(junctions, jx, jy) != 0) put(jx, jy);
      break;
    }
    if (!moved) {
      put(cx, cy);
      last = direction;
      if (startTouchesJunction) path.pushFront(sx - (cx - sx), sy - (cy - sy));
      moved = true;
    } else if (direction != last) {
      put(px, py);
      last = direction;
    }
    px = cx;
    py = cy;
    skeleton.setBit(cx, cy, false);
    int jx = cx, jy = cy;
    const uint8_t junction = Step(junctions, jx, jy);
    if (junction != 0) {
      if (junction != last) put(cx, cy);
      put(jx, jy);
      break;
    }
  }
  if (backwards) {
    path.points.insert(path.points.begin(), walked.rbegin(), walked.rend());
  } else {
    path.points.insert(path.points.end(), walked.begin(), walked.end());
  }
}

void PlainTrace(raster::CRaster& skeleton, const raster::CRaster& junctions, TracePathList& paths) {
  for (int y = 0; y < skeleton.height(); ++y) {
    for (int x = 0; x < skeleton.width(); ++x) {
      if (!skeleton.bitAt(x, y)) continue;
      TracePath path;
      int jx = x, jy = y;
      const bool touches = Step(junctions, jx, jy) != 0;
      path.pushBack(x, y);
      skeleton.setBit(x, y, false);
      PlainWalk(skeleton, junctions, path, x, y, false, touches);
      if (!touches) PlainWalk(skeleton, junctions, path, x, y, true, false);
      if (path.size() >= 2) {
        paths.append() = path;
      } else if (!touches) {
        paths.addLonePixel(x, y);
      }
    }
  }
}

// A width x height sheet with `percent` of its pixels inked at random,
// the same pixels for the same seed.
void Noise(raster::CRaster& sheet, int width, int height, unsigned seed, int percent) {
  ASSERT_TRUE(sheet.create(width, height, 1));
  std::mt19937 random(seed);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (static_cast<int>(random() % 100) < percent) sheet.setBit(x, y, true);
    }
  }
}

TEST(TraceCentreLine, PackedStagesMatchAPixelByPixelReadingOnNoisyImages) {
  // Raw noise (junction codes of every kind, ink on the border) and thinned
  // noisy strokes, at widths around the 8- and 64-pixel units read at once.
  const int sizes[][2] = {{63, 40}, {64, 33}, {65, 50}, {129, 31}, {9, 20}, {200, 45}};
  for (unsigned seed = 1; seed <= 18; ++seed) {
    const int width = sizes[seed % 6][0];
    const int height = sizes[seed % 6][1];
    raster::CRaster fast;
    ASSERT_NO_FATAL_FAILURE(Noise(fast, width, height, seed, 5 + static_cast<int>(seed % 3) * 15));
    if (seed % 2 == 0) {
      ASSERT_TRUE(ThinFirstStep(fast, nullptr, 1));
      ASSERT_TRUE(ThinSecondStep(fast, nullptr));
    }
    raster::CRaster plain;
    ASSERT_TRUE(plain.cloneFrom(fast));
    raster::CRaster fastJunctions, plainJunctions;
    ASSERT_TRUE(fastJunctions.create(width, height, 1));
    ASSERT_TRUE(plainJunctions.create(width, height, 1));
    ASSERT_TRUE(TraceCentreInitialise(fast, fastJunctions, nullptr));
    PlainInitialise(plain, plainJunctions);
    EXPECT_EQ(testing::Picture(fastJunctions), testing::Picture(plainJunctions)) << "seed " << seed;
    EXPECT_EQ(testing::Picture(fast), testing::Picture(plain)) << "seed " << seed;

    TracePathList fastPaths, plainPaths;
    ASSERT_TRUE(TraceCentreLine(fast, fastJunctions, fastPaths, nullptr));
    PlainTrace(plain, plainJunctions, plainPaths);
    EXPECT_EQ(PathTexts(fastPaths), PathTexts(plainPaths)) << "seed " << seed;
    ASSERT_EQ(fastPaths.lonePixels().size(), plainPaths.lonePixels().size()) << "seed " << seed;
    for (std::size_t i = 0; i < fastPaths.lonePixels().size(); ++i) {
      EXPECT_EQ(fastPaths.lonePixels()[i], plainPaths.lonePixels()[i]) << "seed " << seed;
    }
  }
}

}  // namespace
}  // namespace quillon::trace

namespace quillon::trace {
namespace {

// Records what a trace told its sink, and cancels once it has seen
// `cancelAfter` progress values (never when negative).
class RecordingSink final : public platform::ProgressSink {
 public:
  explicit RecordingSink(int cancelAfter = -1) : cancelAfter_(cancelAfter) {}
  void stageBegin(std::string_view) override { events.push_back(-1); }
  void progress(int value) override { events.push_back(value); }
  void stageEnd() override { events.push_back(-2); }
  void finished(int code) override { codes.push_back(code); }
  bool cancelRequested() const override {
    return cancelAfter_ >= 0 && static_cast<int>(std::count_if(events.begin(), events.end(), [](int e) {
                                   return e >= 0;
                                 })) >= cancelAfter_;
  }
  std::vector<int> events;  // progress values; -1 stage begin, -2 stage end
  std::vector<int> codes;

 private:
  int cancelAfter_;
};

// A thinned noisy sheet with its junctions found, ready for tracing.
void NoisySkeleton(unsigned seed, raster::CRaster& skeleton, raster::CRaster& junctions) {
  const int width = 90 + static_cast<int>(seed % 5) * 17, height = 120 + static_cast<int>(seed % 3) * 9;
  ASSERT_NO_FATAL_FAILURE(Noise(skeleton, width, height, seed, 8 + static_cast<int>(seed % 4) * 10));
  ASSERT_TRUE(ThinFirstStep(skeleton, nullptr, 1));
  ASSERT_TRUE(ThinSecondStep(skeleton, nullptr));
  ASSERT_TRUE(junctions.create(width, height, 1));
  ASSERT_TRUE(TraceCentreInitialise(skeleton, junctions, nullptr));
}

struct TraceRecord {
  bool whole = false;
  Texts kept;
  Texts filtered;  // every path the filter saw, in the order it saw them
  std::vector<TracePoint> lonePixels;
  std::vector<int> events;
  std::vector<int> codes;
  Rows left;  // the skeleton afterwards
};

TraceRecord TraceRecorded(unsigned seed, std::size_t alongsideBatch, bool keepLonePixels, int cancelAfter = -1) {
  TraceRecord record;
  raster::CRaster skeleton, junctions;
  NoisySkeleton(seed, skeleton, junctions);
  TracePathList seen;
  // Drops every third path and those with an odd point count.
  const PathFilter drop = [&seen](const TracePath& path) {
    seen.append() = path;
    return seen.size() % 3 == 0 || path.size() % 2 == 1;
  };
  TracePathList paths;
  RecordingSink sink(cancelAfter);
  record.whole = TraceCentreLine(skeleton, junctions, paths, &sink, &drop, keepLonePixels, alongsideBatch);
  record.kept = PathTexts(paths);
  record.filtered = PathTexts(seen);
  record.lonePixels = paths.lonePixels();
  record.events = sink.events;
  record.codes = sink.codes;
  if (record.whole) record.left = testing::Picture(skeleton);
  return record;
}

TEST(TraceCentreLineAlongside, HandsTheFilterThePathsOfOneThreadInTheSameOrder) {
  // Batches of one path, of a few (each row boundary falls inside some) and
  // larger than the sheet.
  for (unsigned seed = 1; seed <= 8; ++seed) {
    const bool keepLone = seed % 2 == 1;
    const TraceRecord one = TraceRecorded(seed, 0, keepLone);
    ASSERT_TRUE(one.whole);
    ASSERT_GT(one.filtered.size(), 50u) << "seed " << seed;
    ASSERT_GT(one.kept.size(), 10u) << "seed " << seed;
    EXPECT_EQ(one.lonePixels.empty(), !keepLone) << "seed " << seed;
    for (const std::size_t batch : {std::size_t{1}, std::size_t{7}, std::size_t{100000}}) {
      const TraceRecord two = TraceRecorded(seed, batch, keepLone);
      EXPECT_TRUE(two.whole);
      EXPECT_EQ(two.filtered, one.filtered) << "seed " << seed << " batch " << batch;
      EXPECT_EQ(two.kept, one.kept) << "seed " << seed << " batch " << batch;
      EXPECT_TRUE(two.lonePixels == one.lonePixels) << "seed " << seed << " batch " << batch;
      EXPECT_EQ(two.events, one.events) << "seed " << seed << " batch " << batch;
      EXPECT_EQ(two.left, one.left) << "seed " << seed << " batch " << batch;
      EXPECT_TRUE(two.codes.empty());
    }
  }
}

TEST(TraceCentreLineAlongside, CancelStopsTheTracingThreadAndDiscardsThePaths) {
  for (const int cancelAfter : {0, 1, 40}) {
    for (const std::size_t batch : {std::size_t{1}, std::size_t{5}, std::size_t{4096}}) {
      const TraceRecord record = TraceRecorded(3, batch, true, cancelAfter);
      EXPECT_FALSE(record.whole) << cancelAfter << " " << batch;
      EXPECT_TRUE(record.kept.empty());
      EXPECT_TRUE(record.lonePixels.empty());
      EXPECT_EQ(record.codes, std::vector<int>{kTraceUserStop});
      EXPECT_TRUE(std::find(record.events.begin(), record.events.end(), -2) == record.events.end())
          << "a cancelled stage does not end";
    }
  }
}

}  // namespace
}  // namespace quillon::trace
