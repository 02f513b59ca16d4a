// Colour replace and brightness/contrast: the two colour operations share
// one driver over palettes and direct pixels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "raster/brightness_contrast.h"
#include "raster/colour_replace.h"
#include "raster/raster.h"
#include "raster_test_images.h"

namespace quillon::raster {
namespace {

using settings::Rgb;
using test::MakeImage;
using test::StateOf;

std::vector<uint8_t> Pixel(const CRaster& r, int x, int y) {
  const int per = r.bitCount() / 8;
  return std::vector<uint8_t>(r.row(y) + x * per, r.row(y) + (x + 1) * per);
}

std::vector<uint8_t> Entry(const CRaster& r, int index) {
  return std::vector<uint8_t>(r.palette() + 4 * index, r.palette() + 4 * index + 3);
}

TEST(ColorReplace, DistanceWeightsBlueGreenRed) {
  EXPECT_EQ(ColorDistance(Rgb{255, 0, 0}, Rgb{0, 0, 255}), 325125);  // 3 x 255^2 + 2 x 255^2
  EXPECT_EQ(ColorDistance(Rgb{0, 1, 0}, Rgb{0, 0, 0}), 4);
  EXPECT_EQ(ColorDistance(Rgb{0, 0, 0}, Rgb{255, 255, 255}), 585225);
  EXPECT_EQ(ColorReplaceTolerance(kColorReplaceBoundDefault), 8000);
}

TEST(ColorReplace, DirectPixelsMatchWithinTheTolerance) {
  // Pixels (blue, green, red): exact, red one off (distance 3), green one off (4).
  const int colours[3][3] = {{50, 100, 200}, {50, 100, 201}, {50, 101, 200}};
  const Rgb source{200, 100, 50}, blue{0, 0, 255};
  for (int bits : {24, 32}) {
    for (int tolerance : {0, 3, 4}) {
      CRaster r = MakeImage(3, 1, bits, [&](int x, int, int i) { return i == 3 ? 9 : colours[x][i]; });
      ASSERT_TRUE(ColorReplace(r, source, blue, tolerance));
      for (int x = 0; x < 3; ++x) {
        const int distance[3] = {0, 3, 4};
        const bool match = distance[x] <= tolerance;
        std::vector<uint8_t> expected = match ? std::vector<uint8_t>{255, 0, 0}
                                              : std::vector<uint8_t>(colours[x], colours[x] + 3);
        if (bits == 32) expected.push_back(9);  // the fourth byte is kept
        EXPECT_EQ(Pixel(r, x, 0), expected) << bits << " tolerance " << tolerance << " x " << x;
      }
    }
  }
}

TEST(ColorReplace, SixteenBitComparesAndWritesTheTopFiveBits) {
  const uint16_t word = test::Pack555(50, 100, 200);  // reads as blue 48, green 96, red 200
  CRaster r = MakeImage(2, 1, 16, [&](int x, int, int i) {
    const uint16_t w = x == 0 ? word : test::Pack555(0, 0, 0);
    return i == 0 ? w & 0xFF : w >> 8;
  });
  ASSERT_TRUE(ColorReplace(r, Rgb{200, 96, 48}, Rgb{255, 128, 7}, 0));
  const uint16_t expected = test::Pack555(7, 128, 255);
  EXPECT_EQ(r.row(0)[0] | (r.row(0)[1] << 8), expected);
  EXPECT_EQ(r.row(0)[2] | (r.row(0)[3] << 8), 0);
}

TEST(ColorReplace, PaletteImagesChangeTheirEntriesNotTheirPixels) {
  CRaster r = MakeImage(4, 2, 8, [](int x, int, int) { return 250 + x; });  // grey ramp palette
  const auto pixels = StateOf(r).rows;
  ASSERT_EQ(r.backgroundColour()[0], 255);
  ASSERT_TRUE(ColorReplace(r, Rgb{255, 255, 255}, Rgb{0, 0, 0}, 3 * 4 * 2 * 2 + 1));  // 254 and 253 match too
  EXPECT_EQ(StateOf(r).rows, pixels);
  EXPECT_EQ(Entry(r, 255), (std::vector<uint8_t>{0, 0, 0}));
  EXPECT_EQ(Entry(r, 253), (std::vector<uint8_t>{0, 0, 0}));
  EXPECT_EQ(Entry(r, 252), (std::vector<uint8_t>{252, 252, 252}));
  EXPECT_EQ(r.backgroundColour()[0], 252);  // the nearest entry to white now

  CRaster four;
  ASSERT_TRUE(four.create(3, 3, 4));  // 16 greys: 0, 17, ... 255
  ASSERT_TRUE(ColorReplace(four, Rgb{17, 17, 17}, Rgb{1, 2, 3}, 0));
  EXPECT_EQ(Entry(four, 1), (std::vector<uint8_t>{3, 2, 1}));
  EXPECT_EQ(Entry(four, 2), (std::vector<uint8_t>{34, 34, 34}));
}

TEST(ColorReplace, DialogSettingsApplyOnlyWithBothColours) {
  CRaster r = MakeImage(2, 1, 24, [](int x, int, int) { return x == 0 ? 100 : 120; });
  const auto before = StateOf(r);
  ColorReplaceSettings s;
  EXPECT_EQ(s.tolerance(), 8000);
  s.source = Rgb{100, 100, 100};
  EXPECT_FALSE(ColorReplace(r, s));
  EXPECT_EQ(StateOf(r), before);
  s.replacement = Rgb{0, 0, 0};
  s.bound = 900;  // 3600: grey 120 is 9 x 20^2 = 3600 away
  ASSERT_TRUE(ColorReplace(r, s));
  EXPECT_EQ(Pixel(r, 0, 0), (std::vector<uint8_t>{0, 0, 0}));
  EXPECT_EQ(Pixel(r, 1, 0), (std::vector<uint8_t>{0, 0, 0}));
  s.bound = -5;
  EXPECT_EQ(s.tolerance(), 0);
  s.bound = 90000;
  EXPECT_EQ(s.tolerance(), 120000);
}

TEST(ColorReplace, BadArgumentsFailWithoutChange) {
  CRaster bw;
  ASSERT_TRUE(bw.create(8, 8, 1));
  EXPECT_FALSE(ColorReplace(bw, Rgb{0, 0, 0}, Rgb{255, 255, 255}, 100));
  CRaster empty;
  EXPECT_FALSE(ColorReplace(empty, Rgb{}, Rgb{}, 0));
  CRaster r = MakeImage(2, 2, 24, [](int, int, int) { return 0; });
  const auto before = StateOf(r);
  EXPECT_FALSE(ColorReplace(r, Rgb{}, Rgb{255, 255, 255}, -1));
  EXPECT_EQ(StateOf(r), before);
}

// Raises the flag once the operation has passed its half.
struct CancelHalfway {
  platform::CancelFlag flag;
  std::vector<std::string> texts;
  platform::ProgressCallback callback() {
    return [this](std::string_view text, int percent) {
      texts.emplace_back(text);
      if (percent >= 50) flag.request();
    };
  }
};

TEST(ColorReplace, CancelLeavesPixelsAndPaletteUnchanged) {
  for (int bits : {8, 16, 24, 32}) {
    CRaster r = MakeImage(5, 10, bits, [](int, int, int) { return 0; });
    const auto before = StateOf(r);
    CancelHalfway cancel;
    EXPECT_FALSE(ColorReplace(r, Rgb{0, 0, 0}, Rgb{9, 9, 9}, 100000, cancel.callback(), &cancel.flag)) << bits;
    EXPECT_EQ(StateOf(r), before) << bits;
    ASSERT_FALSE(cancel.texts.empty());
    EXPECT_EQ(cancel.texts.front(), "Replace color");
  }
}

TEST(ColorReplace, InvalidatesTheHistogramAndMarksTheRasterChanged) {
  CRaster r = MakeImage(3, 3, 24, [](int x, int, int) { return 80 * x; });
  Histogram h;
  r.histogram(h);
  ASSERT_TRUE(r.histogramValid());
  ASSERT_TRUE(ColorReplace(r, Rgb{0, 0, 0}, Rgb{255, 255, 255}, 0));
  EXPECT_FALSE(r.histogramValid());
  EXPECT_TRUE(r.changed());
}

TEST(BrightnessContrast, TableFollowsTheFormula) {
  EXPECT_EQ(BrightnessContrastTable(50, 0)[250], 255);   // 250 + 127 saturates
  EXPECT_EQ(BrightnessContrastTable(50, 0)[127], 254);
  EXPECT_EQ(BrightnessContrastTable(50, 0)[128], 255);   // e >= 255 - w
  EXPECT_EQ(BrightnessContrastTable(-50, 0)[100], 0);    // offset 127
  EXPECT_EQ(BrightnessContrastTable(-50, 0)[128], 1);
  EXPECT_EQ(BrightnessContrastTable(-50, 0)[127], 0);    // e >= w
  EXPECT_EQ(BrightnessContrastTable(0, 100)[200], 255);  // contrast doubles the distance from 128
  EXPECT_EQ(BrightnessContrastTable(0, 100)[100], 72);
  EXPECT_EQ(BrightnessContrastTable(0, 100)[0], 0);
  EXPECT_EQ(BrightnessContrastTable(0, -50)[0], 64);
  EXPECT_EQ(BrightnessContrastTable(0, -50)[255], 191);  // 127 x 0.5 + 128 = 191.5 truncated
  EXPECT_EQ(BrightnessContrastTable(0, -50)[1], 64);     // -63.5 + 128 = 64.5 truncated
  const auto flat = BrightnessContrastTable(0, -100);
  for (int v = 0; v < 256; ++v) EXPECT_EQ(flat[static_cast<size_t>(v)], 128);
  const auto identity = BrightnessContrastTable(0, 0);
  for (int v = 0; v < 256; ++v) EXPECT_EQ(identity[static_cast<size_t>(v)], v);
  const auto white = BrightnessContrastTable(100, 0);
  const auto black = BrightnessContrastTable(-100, 0);
  for (int v = 0; v < 256; ++v) {
    EXPECT_EQ(white[static_cast<size_t>(v)], 255);
    EXPECT_EQ(black[static_cast<size_t>(v)], 0);
  }
}

TEST(BrightnessContrast, AppliesToEntriesOrPixelsAtEveryDepth) {
  const auto table = BrightnessContrastTable(20, 30);
  CRaster grey = MakeImage(3, 2, 8, [](int x, int, int) { return 40 * x; });
  const auto pixels = StateOf(grey).rows;
  ASSERT_TRUE(AdjustBrightnessContrast(grey, 20, 30));
  EXPECT_EQ(StateOf(grey).rows, pixels);
  for (int i : {0, 77, 255}) {
    const uint8_t v = table[static_cast<size_t>(i)];
    EXPECT_EQ(Entry(grey, i), (std::vector<uint8_t>{v, v, v})) << i;
  }

  auto byte = [](int x, int y, int i) { return i == 3 ? 33 : 30 * x + 70 * y + 11 * i; };
  for (int bits : {24, 32}) {
    CRaster r = MakeImage(3, 2, bits, byte);
    ASSERT_TRUE(AdjustBrightnessContrast(r, 20, 30));
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 3; ++x) {
        std::vector<uint8_t> expected;
        for (int i = 0; i < 3; ++i) expected.push_back(table[static_cast<size_t>(byte(x, y, i))]);
        if (bits == 32) expected.push_back(33);
        EXPECT_EQ(Pixel(r, x, y), expected) << bits << " " << x << "," << y;
      }
    }
  }

  const uint16_t word = test::Pack555(50, 100, 200);  // reads as 48, 96, 200
  CRaster sixteen = MakeImage(1, 1, 16, [&](int, int, int i) { return i == 0 ? word & 0xFF : word >> 8; });
  ASSERT_TRUE(AdjustBrightnessContrast(sixteen, 20, 30));
  EXPECT_EQ(sixteen.row(0)[0] | (sixteen.row(0)[1] << 8), test::Pack555(table[48], table[96], table[200]));
}

TEST(BrightnessContrast, OutOfRangeAndNeutralSettings) {
  CRaster r = MakeImage(4, 4, 24, [](int x, int y, int i) { return x * 50 + y * 10 + i; });
  const auto before = StateOf(r);
  EXPECT_TRUE(AdjustBrightnessContrast(r, 0, 0));
  EXPECT_TRUE(AdjustBrightnessContrast(r, 101, 50));   // brightness out of range: nothing, true
  EXPECT_TRUE(AdjustBrightnessContrast(r, -101, 50));
  EXPECT_FALSE(AdjustBrightnessContrast(r, 10, 101));  // contrast out of range: refused
  EXPECT_FALSE(AdjustBrightnessContrast(r, 10, -1000));
  EXPECT_EQ(StateOf(r), before);
  CRaster bw;
  ASSERT_TRUE(bw.create(8, 8, 1));
  EXPECT_FALSE(AdjustBrightnessContrast(bw, 10, 10));
  CRaster empty;
  EXPECT_FALSE(AdjustBrightnessContrast(empty, 10, 10));
}

TEST(BrightnessContrast, CancelLeavesTheRasterUnchangedAndProgressEndsAt100) {
  for (int bits : {4, 8, 16, 24, 32}) {
    CRaster r = MakeImage(6, 12, bits, [](int x, int y, int) { return x + y; });
    const auto before = StateOf(r);
    CancelHalfway cancel;
    EXPECT_FALSE(AdjustBrightnessContrast(r, 30, 10, cancel.callback(), &cancel.flag)) << bits;
    EXPECT_EQ(StateOf(r), before) << bits;
    EXPECT_EQ(cancel.texts.front(), "Adjust bright & contrast");

    std::vector<int> percents;
    auto record = [&](std::string_view, int percent) { percents.push_back(percent); };
    platform::CancelFlag idle;
    ASSERT_TRUE(AdjustBrightnessContrast(r, 30, 10, record, &idle));
    EXPECT_NE(StateOf(r), before);
    EXPECT_EQ(percents.front(), 0);
    EXPECT_EQ(percents.back(), 100);
  }
}

}  // namespace
}  // namespace quillon::raster
