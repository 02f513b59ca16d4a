#include "raster/smart_threshold.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "raster/raster.h"

namespace quillon::raster {
namespace {

// An 8-bit grey image (the palette of create() is the grey ramp) whose pixel
// levels come from level(x, y).
template <typename Level>
CRaster Grey(int width, int height, Level level) {
  CRaster r;
  EXPECT_TRUE(r.create(width, height, 8));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) r.row(y)[x] = static_cast<uint8_t>(level(x, y));
  }
  return r;
}

long InkCount(const CRaster& r) {
  long n = 0;
  for (int y = 0; y < r.height(); ++y) {
    for (int x = 0; x < r.width(); ++x) n += r.bitAt(x, y);
  }
  return n;
}

TEST(SmartThreshold, UniformImageFollowsTheRatio) {
  CRaster grey = Grey(120, 80, [](int, int) { return 100; });
  ASSERT_TRUE(SmartThreshold(grey, 50, 0.65f));
  EXPECT_EQ(grey.bitCount(), 1);
  EXPECT_EQ(InkCount(grey), 0);

  CRaster dark = Grey(120, 80, [](int, int) { return 100; });
  ASSERT_TRUE(SmartThreshold(dark, 50, 1.5f));  // 100 < 150 everywhere
  EXPECT_EQ(InkCount(dark), 120L * 80L);

  CRaster colour;
  ASSERT_TRUE(colour.create(30, 20, 24));
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 30; ++x) colour.setColour(x, y, 100, 100, 100);
  }
  ASSERT_TRUE(SmartThreshold(colour, 50, 1.5f));
  EXPECT_EQ(InkCount(colour), 600);
}

TEST(SmartThreshold, BoxesAtTheRightEdgeAreNarrower) {
  // 250 columns, box 200: the last 50 columns form a box of their own. There
  // the mean is about 60, so 30 is ink and 45 is not (against the whole
  // width's mean it would be ink).
  CRaster r = Grey(250, 10, [](int x, int y) {
    if (x == 220 && y == 5) return 30;
    if (x == 230 && y == 5) return 45;
    return x < 200 ? 200 : 60;
  });
  ASSERT_TRUE(SmartThreshold(r, 200, 0.65f));
  EXPECT_TRUE(r.bitAt(220, 5));
  EXPECT_FALSE(r.bitAt(230, 5));
  EXPECT_EQ(InkCount(r), 1);
}

TEST(SmartThreshold, KeepsLinesUnderAStrongBrightnessGradient) {
  // Light falls off from right to left: the paper goes from level 40 to 240
  // and every drawn line is half as bright as the paper around it.
  const int width = 600, height = 120;
  auto paper = [&](int x) { return 40 + 200 * x / (width - 1); };
  auto onLine = [](int x) { return x % 50 == 25 || x % 50 == 26; };
  auto level = [&](int x, int) { return onLine(x) ? paper(x) / 2 : paper(x); };

  // No single threshold serves both ends: one that still sees the lines on
  // the bright side makes the dark paper ink.
  CRaster global = Grey(width, height, level);
  ASSERT_TRUE(global.convertTo1Bit(128));
  int lostLines = 0;
  for (int x = 25; x < width; x += 50) {
    const bool lineInk = global.bitAt(x, 60);
    const bool paperClear = !global.bitAt(x - 10, 60) && !global.bitAt(x + 10, 60);
    lostLines += !(lineInk && paperClear);
  }
  EXPECT_GE(lostLines, 4);

  CRaster smart = Grey(width, height, level);
  smart.setName("scan");
  ASSERT_TRUE(smart.setResolution(11811));
  int reports = 0, last = -1;
  bool ordered = true;
  ASSERT_TRUE(SmartThreshold(smart, 50, 0.65f, [&](std::string_view text, int percent) {
    EXPECT_EQ(text, "Smart Threshold");
    ordered = ordered && percent >= last;
    last = percent;
    ++reports;
  }));
  EXPECT_TRUE(ordered);
  EXPECT_EQ(last, 100);
  EXPECT_GT(reports, 2);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) ASSERT_EQ(smart.bitAt(x, y), onLine(x)) << x << "," << y;
  }
  EXPECT_EQ(smart.name(), "scan");
  int ppm = 0;
  ASSERT_TRUE(smart.resolution(ppm));
  EXPECT_EQ(ppm, 11811);
}

TEST(SmartThreshold, OneBitAndEmptyImagesStayAsTheyAre) {
  CRaster bits;
  ASSERT_TRUE(bits.create(16, 16, 1));
  bits.setBit(3, 3, true);
  EXPECT_TRUE(SmartThreshold(bits, 50, 0.65f));
  EXPECT_EQ(InkCount(bits), 1);
  CRaster empty;
  EXPECT_TRUE(SmartThreshold(empty, 50, 0.65f));
  EXPECT_TRUE(empty.empty());
}

// --- smooth filter ------------------------------------------------------------

CRaster Bits(const std::vector<std::string>& rows) {
  CRaster r;
  EXPECT_TRUE(r.create(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()), 1));
  for (int y = 0; y < r.height(); ++y) {
    for (int x = 0; x < r.width(); ++x) r.setBit(x, y, rows[static_cast<size_t>(y)][static_cast<size_t>(x)] == '#');
  }
  return r;
}

std::vector<std::string> Picture(const CRaster& r) {
  std::vector<std::string> rows;
  for (int y = 0; y < r.height(); ++y) {
    std::string row;
    for (int x = 0; x < r.width(); ++x) row += r.bitAt(x, y) ? '#' : '.';
    rows.push_back(row);
  }
  return rows;
}

TEST(SmoothFilter, FillsAPinholeAndKeepsAThinLine) {
  const std::vector<std::string> filled = {
      ".............", ".............", "..#####......", "..#####......", "..#####......", "..#####......",
      "..#####......", ".............", ".............", ".............", "..#########..", ".............",
      "............."};
  std::vector<std::string> holed = filled;
  holed[4][4] = '.';
  CRaster r = Bits(holed);
  ASSERT_TRUE(SmoothFilter(r, 1));
  EXPECT_EQ(Picture(r), filled);
}

TEST(SmoothFilter, BridgesNarrowGapsButNotTheCorners) {
  std::vector<std::string> two, three;
  for (int y = 0; y < 11; ++y) {
    const bool bar = y >= 2 && y <= 8;
    two.push_back(bar ? "..####..####.." : "..............");
    three.push_back(bar ? "..####...####.." : "...............");
  }
  CRaster r = Bits(two);
  ASSERT_TRUE(SmoothFilter(r, 1));
  const std::vector<std::string> out = Picture(r);
  for (int y = 2; y <= 8; ++y) {
    const bool bridged = out[static_cast<size_t>(y)] == "..##########..";
    EXPECT_EQ(bridged, y != 2 && y != 8) << "row " << y << ": " << out[static_cast<size_t>(y)];
  }
  CRaster wide = Bits(three);
  ASSERT_TRUE(SmoothFilter(wide, 1));
  EXPECT_EQ(Picture(wide), three);
}

TEST(SmoothFilter, BorderStaysAndProgressCoversBothHalves) {
  CRaster r = Bits({"#.#.#", ".....", "#.#.#", ".....", "#.#.#"});
  const std::vector<std::string> before = Picture(r);
  std::vector<std::string> texts;
  int last = -1;
  ASSERT_TRUE(SmoothFilter(r, 2, [&](std::string_view text, int percent) {
    if (texts.empty() || texts.back() != text) texts.emplace_back(text);
    last = percent;
  }));
  const std::vector<std::string> after = Picture(r);
  EXPECT_EQ(after.front(), before.front());
  EXPECT_EQ(after.back(), before.back());
  for (size_t y = 0; y < after.size(); ++y) {
    EXPECT_EQ(after[y].front(), before[y].front());
    EXPECT_EQ(after[y].back(), before[y].back());
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"Inittialize smooth filter...", "Start smooth filter", "Smooth filter",
                                             "Smooth filter finish"}));
  EXPECT_EQ(last, 100);
}

TEST(SmoothFilter, RefusesGreyImagesAndNoIterations) {
  CRaster grey = Grey(8, 8, [](int, int) { return 0; });
  EXPECT_FALSE(SmoothFilter(grey, 2));
  CRaster bits = Bits({"....", ".##.", "...."});
  EXPECT_FALSE(SmoothFilter(bits, 0));
  CRaster empty;
  EXPECT_FALSE(SmoothFilter(empty, 1));
}

}  // namespace
}  // namespace quillon::raster
