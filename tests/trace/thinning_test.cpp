#include "trace/thinning.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>

#include "trace_test_util.h"

namespace quillon::trace {
namespace {

using testing::MakeRaster;
using testing::Picture;
using Rows = std::vector<std::string>;

Rows ThinFirst(const Rows& rows, int threads = 1) {
  raster::CRaster raster;
  EXPECT_TRUE(MakeRaster(raster, rows));
  EXPECT_TRUE(ThinFirstStep(raster, nullptr, threads));
  return Picture(raster);
}

Rows ThinBoth(const Rows& rows) {
  raster::CRaster raster;
  EXPECT_TRUE(MakeRaster(raster, rows));
  EXPECT_TRUE(ThinFirstStep(raster, nullptr, 1));
  EXPECT_TRUE(ThinSecondStep(raster, nullptr));
  EXPECT_TRUE(raster.thinned());
  return Picture(raster);
}

// The removal rule of the second step, derived from first principles: the
// ink neighbours form one 8-connected group, the edge-on background
// neighbours one 4-connected group, and there are at least two ink neighbours.
bool SimpleAndNotEnd(int code) {
  struct Cell {
    int dx, dy, bit;
  };
  const Cell cells[8] = {{-1, -1, 1}, {0, -1, 2}, {1, -1, 4}, {-1, 0, 8},
                         {1, 0, 16},  {-1, 1, 32}, {0, 1, 64}, {1, 1, 128}};
  // Groups among the neighbours of one kind (ink or not), joined when
  // adjacent under the given connectivity; the centre pixel takes no part.
  const auto groups = [&](bool ink, bool eight, bool edgeOnly) {
    int label[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int count = 0;
    for (int i = 0; i < 8; ++i) {
      if (((code & cells[i].bit) != 0) != ink || label[i] >= 0) continue;
      if (edgeOnly && cells[i].dx != 0 && cells[i].dy != 0) continue;
      label[i] = count;
      for (bool grew = true; grew;) {
        grew = false;
        for (int j = 0; j < 8; ++j) {
          if (label[j] != count) continue;
          for (int k = 0; k < 8; ++k) {
            if (label[k] >= 0 || ((code & cells[k].bit) != 0) != ink) continue;
            const int ax = std::abs(cells[j].dx - cells[k].dx);
            const int ay = std::abs(cells[j].dy - cells[k].dy);
            if (eight ? (ax <= 1 && ay <= 1) : (ax + ay == 1)) {
              label[k] = count;
              grew = true;
            }
          }
        }
      }
      ++count;
    }
    return count;
  };
  int inkCount = 0;
  for (const Cell& cell : cells) inkCount += (code & cell.bit) ? 1 : 0;
  return inkCount >= 2 && groups(true, true, false) == 1 && groups(false, false, true) == 1;
}

TEST(ThinRemoveTable, FollowsTheSimplePointRuleExceptCode96) {
  int trueCount = 0;
  for (int code = 0; code < 256; ++code) {
    trueCount += ThinRemoveTable[static_cast<std::size_t>(code)] ? 1 : 0;
    if (code == 96) continue;
    EXPECT_EQ(ThinRemoveTable[static_cast<std::size_t>(code)], SimpleAndNotEnd(code)) << "code " << code;
  }
  EXPECT_EQ(trueCount, 107);
  EXPECT_TRUE(SimpleAndNotEnd(96));
  EXPECT_FALSE(ThinRemoveTable[96]);
  EXPECT_TRUE(ThinRemoveTable[3]);
  EXPECT_TRUE(ThinRemoveTable[192]);
  EXPECT_FALSE(ThinRemoveTable[2 + 8 + 16 + 64]);
}

TEST(ThinFirstStep, SquareAndBarsThinToTheirMiddle) {
  EXPECT_EQ(ThinFirst({".....", ".###.", ".###.", ".###.", "....."}),
            (Rows{".....", ".....", "..#..", ".....", "....."}));
  EXPECT_EQ(ThinFirst({"..........", ".########.", ".########.", ".########.", ".........."}),
            (Rows{"..........", "..........", "..#####...", "..........", ".........."}));
  EXPECT_EQ(ThinFirst({"............", ".##########.", ".##########.", ".##########.", ".##########.",
                       "............"}),
            (Rows{"............", "............", "............", "...######...", "............",
                  "............"}));
}

TEST(ThinFirstStep, ThinLinesAndIsolatedPixelsSurviveBothSteps) {
  const Rows diagonal{"#.....", ".#....", "..#...", "...#..", "....#.", ".....#"};
  EXPECT_EQ(ThinBoth(diagonal), diagonal);
  const Rows dot{"...", ".#.", "..."};
  EXPECT_EQ(ThinBoth(dot), dot);
}

TEST(ThinSecondStep, CornerStrokeLosesItsInnerCornerPixels) {
  const Rows stroke{".....", ".#...", ".#...", ".##..", "..###", "....."};
  EXPECT_EQ(ThinFirst(stroke), stroke);
  EXPECT_EQ(ThinBoth(stroke), (Rows{".....", ".#...", ".#...", "..#..", "...##", "....."}));
}

TEST(ThinSecondStep, NeighbourCodeCases) {
  const auto second = [](const Rows& rows) {
    raster::CRaster raster;
    EXPECT_TRUE(MakeRaster(raster, rows));
    EXPECT_TRUE(ThinSecondStep(raster, nullptr));
    return raster.bitAt(2, 2);
  };
  // Only south-west and south (code 96): kept.
  EXPECT_TRUE(second({".....", ".....", "..#..", ".##..", "....."}));
  // South and south-east (code 192): removed, the pixel is tested first.
  EXPECT_FALSE(second({".....", ".....", "..#..", "..##.", "....."}));
  // The mirrored corner, north-west and north (code 3), is removable too, but
  // in a raster its neighbours are tested before it; check the table.
  EXPECT_TRUE(ThinRemoveTable[kNorthWest | kNorth]);
  // All four edge neighbours ink: never removable.
  for (int code = 0; code < 256; ++code) {
    if ((code & (kNorth | kWest | kEast | kSouth)) == (kNorth | kWest | kEast | kSouth)) {
      EXPECT_FALSE(ThinRemoveTable[static_cast<std::size_t>(code)]) << code;
    }
  }
}

TEST(ThinSecondStep, LeavesBorderRowsAndColumnsAlone) {
  raster::CRaster raster;
  ASSERT_TRUE(MakeRaster(raster, {"##...", "#....", ".....", "....."}));
  ASSERT_TRUE(ThinSecondStep(raster, nullptr));
  EXPECT_EQ(Picture(raster), (Rows{"##...", "#....", ".....", "....."}));
}

TEST(ThinFirstStep, ThinsInkAtTheBorderAsIfOutsideWereBackground) {
  // A 3-high bar along the top border thins like the same bar inside.
  EXPECT_EQ(ThinFirst({"########", "########", "########", "........"}),
            (Rows{"........", ".#####..", "........", "........"}));
}

// Counts pixels in each 8-connected component of `raster` whose pixels are
// selected, labelling through `labels`.
int Components8(const raster::CRaster& raster, std::vector<int>& labels) {
  const int w = raster.width();
  const int h = raster.height();
  labels.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), -1);
  int count = 0;
  std::vector<std::pair<int, int>> stack;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (!raster.bitAt(x, y) || labels[static_cast<std::size_t>(y * w + x)] >= 0) continue;
      stack.push_back({x, y});
      labels[static_cast<std::size_t>(y * w + x)] = count;
      while (!stack.empty()) {
        auto [cx, cy] = stack.back();
        stack.pop_back();
        for (int dy = -1; dy <= 1; ++dy) {
          for (int dx = -1; dx <= 1; ++dx) {
            const int nx = cx + dx;
            const int ny = cy + dy;
            if (nx < 0 || ny < 0 || nx >= w || ny >= h || !raster.bitAt(nx, ny)) continue;
            int& label = labels[static_cast<std::size_t>(ny * w + nx)];
            if (label >= 0) continue;
            label = count;
            stack.push_back({nx, ny});
          }
        }
      }
      ++count;
    }
  }
  return count;
}

void RandomBlobs(raster::CRaster& raster, unsigned seed, int width, int height, int maxRadius = 9) {
  ASSERT_TRUE(raster.create(width, height, 1));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> px(0, width - 1);
  std::uniform_int_distribution<int> py(0, height - 1);
  std::uniform_int_distribution<int> radius(1, maxRadius);
  for (int blob = 0; blob < 40; ++blob) {
    const int cx = px(random);
    const int cy = py(random);
    const int rx = radius(random);
    const int ry = radius(random);
    for (int y = cy - ry; y <= cy + ry; ++y) {
      for (int x = cx - rx; x <= cx + rx; ++x) {
        if (x < 0 || y < 0 || x >= width || y >= height) continue;
        const double u = double(x - cx) / rx;
        const double v = double(y - cy) / ry;
        if (u * u + v * v <= 1.0 || random() % 17 == 0) raster.setBit(x, y, true);
      }
    }
  }
}

TEST(Thinning, RandomBlobsKeepComponentsAndEndOnePixelThin) {
  for (unsigned seed = 1; seed <= 12; ++seed) {
    raster::CRaster raster;
    RandomBlobs(raster, seed, 97, 83);
    std::vector<int> before;
    const int componentsBefore = Components8(raster, before);
    raster::CRaster original;
    ASSERT_TRUE(original.cloneFrom(raster));

    ASSERT_TRUE(ThinFirstStep(raster, nullptr, 1));
    ASSERT_TRUE(ThinSecondStep(raster, nullptr));
    std::vector<int> after;
    EXPECT_EQ(Components8(raster, after), componentsBefore) << "seed " << seed;
    // Every original component keeps exactly one skeleton component.
    std::vector<int> skeletonOf(static_cast<std::size_t>(componentsBefore), -1);
    for (std::size_t i = 0; i < after.size(); ++i) {
      if (after[i] < 0) continue;
      ASSERT_GE(before[i], 0) << "skeleton pixel outside the original ink";
      int& mapped = skeletonOf[static_cast<std::size_t>(before[i])];
      if (mapped < 0) mapped = after[i];
      EXPECT_EQ(mapped, after[i]) << "seed " << seed;
    }
    for (int mapped : skeletonOf) EXPECT_GE(mapped, 0) << "a component vanished, seed " << seed;
    // One pixel thin: away from the border no pixel is removable any more.
    for (int y = 1; y + 1 < raster.height(); ++y) {
      for (int x = 1; x + 1 < raster.width(); ++x) {
        if (!raster.bitAt(x, y)) continue;
        int code = 0;
        const int dx[8] = {-1, 0, 1, -1, 1, -1, 0, 1};
        const int dy[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
        for (int k = 0; k < 8; ++k) code |= raster.bitAt(x + dx[k], y + dy[k]) ? (1 << k) : 0;
        EXPECT_FALSE(ThinRemoveTable[static_cast<std::size_t>(code)]) << x << "," << y << " seed " << seed;
        // No solid 2x2 block survives.
        EXPECT_FALSE(raster.bitAt(x + 1, y) && raster.bitAt(x, y + 1) && raster.bitAt(x + 1, y + 1))
            << x << "," << y << " seed " << seed;
      }
    }
  }
}

TEST(ThinFirstStep, ThreadedBandsGiveTheSingleThreadedResult) {
  for (unsigned seed = 20; seed < 24; ++seed) {
    raster::CRaster single;
    RandomBlobs(single, seed, 301, 777);
    raster::CRaster banded;
    ASSERT_TRUE(banded.cloneFrom(single));
    // Idle cores that come and go between iterations (a batch's last
    // file): the band split changes as the step runs.
    raster::CRaster lent;
    ASSERT_TRUE(lent.cloneFrom(single));
    int asked = 0;
    const std::function<int()> spare = [&] { return (asked++ * 5) % 4 - 1; };
    ASSERT_TRUE(ThinFirstStep(single, nullptr, 1));
    ASSERT_TRUE(ThinFirstStep(banded, nullptr, 5));
    ASSERT_TRUE(ThinFirstStep(lent, nullptr, 1, false, spare));
    EXPECT_EQ(Picture(single), Picture(banded)) << "seed " << seed;
    EXPECT_EQ(Picture(single), Picture(lent)) << "seed " << seed;
    EXPECT_GT(asked, 2) << "asked before each iteration";
  }
}

// Plain Zhang-Suen over the whole raster, straight from its definition.
void ReferenceZhangSuen(raster::CRaster& raster, int minNeighbours = 2) {
  const int w = raster.width();
  const int h = raster.height();
  const auto at = [&](int x, int y) { return x >= 0 && y >= 0 && x < w && y < h && raster.bitAt(x, y) ? 1 : 0; };
  for (bool changed = true; changed;) {
    changed = false;
    for (int sub = 1; sub <= 2; ++sub) {
      std::vector<std::pair<int, int>> marks;
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          if (!at(x, y)) continue;
          const int p[8] = {at(x, y + 1), at(x + 1, y + 1), at(x + 1, y), at(x + 1, y - 1),
                            at(x, y - 1), at(x - 1, y - 1), at(x - 1, y), at(x - 1, y + 1)};
          int b = 0, a = 0;
          for (int i = 0; i < 8; ++i) {
            b += p[i];
            a += (!p[i] && p[(i + 1) % 8]) ? 1 : 0;
          }
          const int s = p[0], e = p[2], n = p[4], wst = p[6];
          const bool cond = sub == 1 ? (s * e * n == 0 && e * n * wst == 0) : (s * e * wst == 0 && s * n * wst == 0);
          if (b >= minNeighbours && b <= 6 && a == 1 && cond) marks.push_back({x, y});
        }
      }
      for (auto [x, y] : marks) raster.setBit(x, y, false);
      changed = changed || !marks.empty();
    }
  }
}

TEST(ThinFirstStep, MatchesPlainZhangSuenOnRandomBlobs) {
  // Widths around the 64-pixel words the rows are tested in.
  const int sizes[][2] = {{131, 67}, {64, 40}, {65, 33}, {8, 30}, {200, 90}, {129, 129}};
  for (unsigned seed = 40; seed < 52; ++seed) {
    raster::CRaster fast;
    RandomBlobs(fast, seed, sizes[seed % 6][0], sizes[seed % 6][1]);
    raster::CRaster reference;
    ASSERT_TRUE(reference.cloneFrom(fast));
    ASSERT_TRUE(ThinFirstStep(fast, nullptr, 2));
    ReferenceZhangSuen(reference);
    EXPECT_EQ(Picture(fast), Picture(reference)) << "seed " << seed;
  }
}

TEST(ThinFirstStep, ThickOverlappingBlobsMatchPlainZhangSuen) {
  // Many iterations, during which most words of the rows still examined keep
  // their pixels: the words whose last test found nothing and whose
  // neighbourhood has not changed since are passed over.
  for (unsigned seed = 60; seed < 64; ++seed) {
    raster::CRaster fast;
    RandomBlobs(fast, seed, 260, 150, 45);
    raster::CRaster reference;
    ASSERT_TRUE(reference.cloneFrom(fast));
    ASSERT_TRUE(ThinFirstStep(fast, nullptr, seed % 2 == 0 ? 1 : 3));
    ReferenceZhangSuen(reference);
    EXPECT_EQ(Picture(fast), Picture(reference)) << "seed " << seed;
  }
}

TEST(ThinFirstStep, KeepingStrokeEndsMatchesZhangSuenNeedingThreeNeighbours) {
  const int sizes[][2] = {{131, 67}, {65, 33}, {200, 90}};
  for (unsigned seed = 70; seed < 76; ++seed) {
    raster::CRaster fast;
    RandomBlobs(fast, seed, sizes[seed % 3][0], sizes[seed % 3][1], seed % 2 == 0 ? 45 : 9);
    raster::CRaster reference;
    ASSERT_TRUE(reference.cloneFrom(fast));
    ASSERT_TRUE(ThinFirstStep(fast, nullptr, seed % 2 == 0 ? 1 : 3, true));
    ReferenceZhangSuen(reference, 3);
    EXPECT_EQ(Picture(fast), Picture(reference)) << "seed " << seed;
  }
}

TEST(Thinning, StrokesAt45DegreesKeepASkeletonOfTheirLength) {
  // Plain Zhang-Suen eats a staircase two pixels thick from both ends until
  // one pixel is left; some 45-degree strokes pass through such a staircase.
  for (int diagonal = 0; diagonal < 2; ++diagonal) {
    for (int width = 3; width <= 7; ++width) {
      for (double offset : {0.0, 0.3, 0.5}) {
        raster::CRaster raster;
        ASSERT_TRUE(raster.create(90, 90, 1));
        // Centre line from (15, 15) to (75, 75), mirrored for the other diagonal.
        const double length = 60.0 * std::sqrt(2.0);
        for (int y = 0; y < 90; ++y) {
          for (int x = 0; x < 90; ++x) {
            const double px = (diagonal == 0 ? x : 89 - x) - 15 - offset, py = y - 15.0;
            const double t = std::clamp((px + py) / 120.0, 0.0, 1.0);
            const double dx = px - 60 * t, dy = py - 60 * t;
            if (dx * dx + dy * dy <= width * width / 4.0) raster.setBit(x, y, true);
          }
        }
        ASSERT_TRUE(ThinFirstStep(raster, nullptr, 1, true));
        ASSERT_TRUE(ThinSecondStep(raster, nullptr, true));
        int pixels = 0;
        for (int y = 0; y < 90; ++y) {
          for (int x = 0; x < 90; ++x) pixels += raster.bitAt(x, y) ? 1 : 0;
        }
        // A diagonal skeleton has one pixel per step; the ends lose about half a width each.
        EXPECT_GE(pixels, static_cast<int>(length / std::sqrt(2.0)) - width)
            << "diagonal " << diagonal << " width " << width << " offset " << offset;
        EXPECT_LE(pixels, static_cast<int>(length) + 2) << "diagonal " << diagonal << " width " << width;
      }
    }
  }
}

}  // namespace
}  // namespace quillon::trace

namespace quillon::trace {
namespace {

struct RecordingSink : platform::ProgressSink {
  void stageBegin(std::string_view text) override { events.push_back("begin " + std::string(text)); }
  void progress(int value) override { events.push_back(std::to_string(value)); }
  void stageEnd() override { events.push_back("end"); }
  void finished(int code) override { events.push_back("finished " + std::to_string(code)); }
  bool cancelRequested() const override { return cancel; }
  std::vector<std::string> events;
  bool cancel = false;
};

// The second step as plainly defined: whole passes in raster order, each
// pixel tested against the raster as it is at that moment, until a pass
// removes nothing. Answers the pixels removed by each pass.
std::vector<long> ReferenceSecondStep(raster::CRaster& raster, bool keepStrokeEnds) {
  const int w = raster.width();
  const int h = raster.height();
  std::vector<long> passes;
  for (long removed = 1; removed != 0;) {
    removed = 0;
    for (int y = 1; y + 1 < h; ++y) {
      for (int x = 1; x + 1 < w; ++x) {
        if (!raster.bitAt(x, y)) continue;
        const int dx[8] = {-1, 0, 1, -1, 1, -1, 0, 1};
        const int dy[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
        int code = 0;
        for (int k = 0; k < 8; ++k) code |= raster.bitAt(x + dx[k], y + dy[k]) ? (1 << k) : 0;
        if (!ThinRemoveTable[static_cast<std::size_t>(code)]) continue;
        if (keepStrokeEnds && std::popcount(static_cast<unsigned>(code)) == 2) continue;
        raster.setBit(x, y, false);
        ++removed;
      }
    }
    passes.push_back(removed);
  }
  return passes;
}

TEST(ThinSecondStep, MatchesPlainPassesOnNoisyImages) {
  // Later passes test only pixels next to a change; raw noise (no first
  // step) makes many passes with changes on every side, across byte and word
  // edges. The per-pass counts (the progress values) must match too.
  const int sizes[][2] = {{97, 83}, {64, 40}, {65, 33}, {9, 30}, {130, 70}, {8, 12}};
  for (unsigned seed = 80; seed < 104; ++seed) {
    raster::CRaster fast;
    RandomBlobs(fast, seed, sizes[seed % 6][0], sizes[seed % 6][1], seed % 3 == 0 ? 30 : 6);
    std::mt19937 random(seed);
    const int noise = 2 + static_cast<int>(seed % 4) * 12;  // percent of pixels flipped to ink
    for (int y = 0; y < fast.height(); ++y) {
      for (int x = 0; x < fast.width(); ++x) {
        if (static_cast<int>(random() % 100) < noise) fast.setBit(x, y, true);
      }
    }
    if (seed % 5 == 0) {
      ASSERT_TRUE(ThinFirstStep(fast, nullptr, 1));
    }
    const bool keepEnds = seed % 2 == 1;
    raster::CRaster reference;
    ASSERT_TRUE(reference.cloneFrom(fast));
    raster::CRaster scratch;
    ASSERT_TRUE(scratch.create(fast.width(), fast.height(), 1));
    RecordingSink sink;
    ASSERT_TRUE(ThinSecondStep(fast, &sink, keepEnds, seed % 4 < 2 ? &scratch : nullptr));
    std::vector<std::string> expected{"begin Thin second step"};
    for (long count : ReferenceSecondStep(reference, keepEnds)) expected.push_back(std::to_string(count));
    expected.push_back("end");
    EXPECT_EQ(Picture(fast), Picture(reference)) << "seed " << seed;
    EXPECT_EQ(sink.events, expected) << "seed " << seed;
    raster::CRaster blank;
    ASSERT_TRUE(blank.create(fast.width(), fast.height(), 1));
    EXPECT_EQ(Picture(scratch), Picture(blank)) << "marks left in the scratch raster, seed " << seed;
  }
}

TEST(ThinningProgress, OneValuePerIterationOrPassCountingRemovedPixels) {
  raster::CRaster raster;
  ASSERT_TRUE(MakeRaster(raster, {".....", ".###.", ".###.", ".###.", "....."}));
  RecordingSink sink;
  ASSERT_TRUE(ThinFirstStep(raster, &sink, 1));
  ASSERT_TRUE(ThinSecondStep(raster, &sink));
  EXPECT_EQ(sink.events, (std::vector<std::string>{"begin Thin first step", "8", "end", "begin Thin second step", "0",
                                                   "end"}));
}

TEST(ThinningCancel, StopsAfterTheFirstIterationOrPassWithoutStageEnd) {
  raster::CRaster raster;
  ASSERT_TRUE(MakeRaster(raster, {".....", ".###.", ".###.", ".###.", "....."}));
  RecordingSink sink;
  sink.cancel = true;
  EXPECT_FALSE(ThinFirstStep(raster, &sink, 1));
  EXPECT_EQ(sink.events, (std::vector<std::string>{"begin Thin first step", "finished 10"}));
  EXPECT_EQ(Picture(raster)[2], "..#..");  // the iteration that ran is kept
  sink.events.clear();
  EXPECT_FALSE(ThinSecondStep(raster, &sink));
  EXPECT_EQ(sink.events, (std::vector<std::string>{"begin Thin second step", "finished 10"}));
  EXPECT_FALSE(raster.thinned());
}

}  // namespace
}  // namespace quillon::trace

namespace quillon::trace {
namespace {

// Answers "cancel" from its second look at the flag on: the first check
// point inside a walk sees it, long before the iteration or pass ends.
struct LateCancelSink : RecordingSink {
  bool cancelRequested() const override { return polls.fetch_add(1) >= 1; }
  mutable std::atomic<int> polls{0};
};

TEST(ThinningCancel, ATallSheetStopsInsideItsFirstIterationAndPass) {
  // A thick bar on 600 rows: one walk crosses many check points.
  std::vector<std::string> rows(600, std::string(40, '.'));
  for (std::size_t y = 10; y < 590; ++y) rows[y].replace(5, 30, std::string(30, '#'));
  raster::CRaster raster;
  ASSERT_TRUE(MakeRaster(raster, rows));
  LateCancelSink first;
  EXPECT_FALSE(ThinFirstStep(raster, &first, 2));
  EXPECT_EQ(first.events, (std::vector<std::string>{"begin Thin first step", "finished 10"}));

  ASSERT_TRUE(MakeRaster(raster, rows));
  LateCancelSink second;
  EXPECT_FALSE(ThinSecondStep(raster, &second));
  EXPECT_EQ(second.events, (std::vector<std::string>{"begin Thin second step", "finished 10"}));
  EXPECT_FALSE(raster.thinned());
}

}  // namespace
}  // namespace quillon::trace
