#include "raster/template_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "raster/raster.h"
#include "raster_test_images.h"
#include "support/test_support.h"

namespace quillon::raster {
namespace {

using test::MakeImage;
using test::StateOf;

// A kernel whose only weight 1 sits at row k, column l: the output pixel
// (x, y) takes the source pixel (x - cx + l, y - cy + k).
KernelTemplate Picker(int size, int cx, int cy, int k, int l, double factor = 1.0) {
  KernelTemplate t;
  t.name = "pick";
  t.width = t.height = size;
  t.centreX = cx;
  t.centreY = cy;
  t.coefficients.assign(static_cast<size_t>(size * size), 0.0);
  t.coefficients[static_cast<size_t>(k * size + l)] = 1.0;
  t.factor = factor;
  return t;
}

TEST(TemplateFilter, GreyKernelRowsAndColumnsAndBorder) {
  // Weight at kernel row 2, column 0: pixel (x, y) takes (x - 1, y + 1).
  CRaster r = MakeImage(5, 4, 8, [](int x, int y, int) { return 10 * y + x + 1; });
  ASSERT_TRUE(r.isGreyPalette());
  ASSERT_TRUE(TemplateFilter(r, Picker(3, 1, 1, 2, 0)));
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 5; ++x) {
      const bool interior = x >= 1 && x <= 3 && y >= 1 && y <= 2;
      const int expected = interior ? 10 * (y + 1) + (x - 1) + 1 : 10 * y + x + 1;
      EXPECT_EQ(r.row(y)[x], expected) << x << "," << y;
    }
  }
}

TEST(TemplateFilter, FiveByFiveWithCentreInTheCorner) {
  // Centre (4, 4): only columns and rows 4 and 5 of a 6 x 6 image are
  // written, each from the pixel four up and four to the left.
  CRaster r = MakeImage(6, 6, 8, [](int x, int y, int) { return 6 * y + x; });
  ASSERT_TRUE(TemplateFilter(r, Picker(5, 4, 4, 0, 0)));
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 6; ++x) {
      const int expected = (x >= 4 && y >= 4) ? 6 * (y - 4) + (x - 4) : 6 * y + x;
      EXPECT_EQ(r.row(y)[x], expected) << x << "," << y;
    }
  }
}

TEST(TemplateFilter, OutputLevelIsRoundedMagnitudeClampedAt255) {
  struct Case {
    int level;
    double weight, factor;
    int expected;
  };
  const Case cases[] = {
      {3, 1.0, 0.5, 2},     // 1.5 rounds up
      {1, 1.0, 0.5, 1},     // 0.5 rounds up
      {2, 1.0, 0.25, 1},    // 0.5
      {1, 1.0, 0.4, 0},     // 0.4
      {100, -1.0, 1.0, 100},  // magnitude of a negative sum
      {200, 1.0, 2.0, 255},
      {255, 1.0, 1.0, 255},
  };
  for (const Case& c : cases) {
    CRaster r = MakeImage(3, 3, 8, [&](int x, int y, int) { return x == 1 && y == 1 ? c.level : 7; });
    KernelTemplate t = Picker(3, 1, 1, 1, 1, c.factor);
    t.coefficients[4] = c.weight;
    ASSERT_TRUE(TemplateFilter(r, t));
    EXPECT_EQ(r.row(1)[1], c.expected) << c.level << " x " << c.weight << " x " << c.factor;
    EXPECT_EQ(r.row(0)[0], 7);
  }
  // The mean of a 3 x 3 block with one 13: 13 / 9 = 1.44 -> 1.
  CRaster mean = MakeImage(3, 3, 8, [](int x, int y, int) { return x == 1 && y == 1 ? 13 : 0; });
  ASSERT_TRUE(TemplateFilter(mean, KernelTemplate::Fresh()));
  EXPECT_EQ(mean.row(1)[1], 1);
}

// The filter written out pixel by pixel, byte by byte, for 8 and 24-bit images.
CRaster Reference(const CRaster& source, const KernelTemplate& t) {
  CRaster out;
  EXPECT_TRUE(out.cloneFrom(source));
  const int per = source.bitCount() / 8;
  for (int y = t.centreY; y <= t.centreY + source.height() - t.height; ++y) {
    for (int x = t.centreX; x <= t.centreX + source.width() - t.width; ++x) {
      for (int i = 0; i < per; ++i) {
        double sum = 0;
        for (int k = 0; k < t.height; ++k) {
          for (int l = 0; l < t.width; ++l)
            sum += source.row(y - t.centreY + k)[(x - t.centreX + l) * per + i] * t.coefficient(k, l);
        }
        const double v = std::fabs(sum * t.factor);
        out.row(y)[x * per + i] = v > 255 ? 255 : static_cast<uint8_t>(v + 0.5);
      }
    }
  }
  return out;
}

TEST(TemplateFilter, MatchesThePixelByPixelDefinition) {
  KernelTemplate sharpen = KernelTemplate::Fresh();  // whole weights: summed in integers
  sharpen.coefficients = {0, -1, 0, -1, 5, -1, 0, -1, 0};
  sharpen.factor = 1.0;
  KernelTemplate edge = sharpen;
  edge.coefficients = {-1, -1, -1, -1, 8, -1, -1, -1, -1};
  edge.factor = 0.7;
  KernelTemplate blur5;  // fractional weights, off-centre
  blur5.width = blur5.height = 5;
  blur5.centreX = 1;
  blur5.centreY = 3;
  blur5.coefficients.clear();
  for (int i = 0; i < 25; ++i) blur5.coefficients.push_back(0.1 * (i % 7) - 0.2);
  blur5.factor = 0.37;
  KernelTemplate huge = sharpen;  // whole, but too large for the integer sums
  huge.coefficients[4] = 40000.0;
  huge.factor = 1.0 / 40000.0;
  unsigned seed = 12345;
  auto noise = [&](int, int, int) { return (seed = seed * 1103515245u + 12345u) >> 24; };
  for (int bits : {8, 24}) {
    const CRaster source = MakeImage(13, 11, bits, noise);
    for (const KernelTemplate* t : {&sharpen, &edge, &blur5, &huge}) {
      CRaster r;
      ASSERT_TRUE(r.cloneFrom(source));
      ASSERT_TRUE(TemplateFilter(r, *t));
      EXPECT_EQ(StateOf(r), StateOf(Reference(source, *t))) << bits << " bits, kernel " << t->width;
    }
  }
}

TEST(TemplateFilter, MeanTemplateLeavesUniformImagesAtEveryDepth) {
  for (int bits : {8, 16, 24, 32}) {
    const auto word = test::Pack555(96, 160, 200);
    CRaster r = MakeImage(7, 6, bits, [&](int, int, int i) {
      if (bits == 8) return 137;
      if (bits == 16) return i == 0 ? word & 0xFF : word >> 8;
      return i == 3 ? 0 : 40 + 50 * i;
    });
    const auto before = StateOf(r);
    ASSERT_TRUE(TemplateFilter(r, KernelTemplate::Fresh())) << bits;
    EXPECT_EQ(StateOf(r), before) << bits;
  }
}

TEST(TemplateFilter, ColourChannelsAreConvolvedSeparately) {
  auto byte = [](int x, int y, int i) { return i == 3 ? 77 : 60 * i + 10 * y + x; };
  for (int bits : {24, 32}) {
    CRaster r = MakeImage(4, 3, bits, byte);
    ASSERT_TRUE(TemplateFilter(r, Picker(3, 1, 1, 2, 0)));  // (x, y) takes (x - 1, y + 1)
    const int per = bits / 8;
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 4; ++x) {
        const bool interior = (x == 1 || x == 2) && y == 1;
        for (int i = 0; i < per; ++i) {
          int expected = interior ? byte(x - 1, y + 1, i) : byte(x, y, i);
          if (interior && i == 3) expected = 0;  // written 32-bit pixels get a zero fourth byte
          EXPECT_EQ(r.row(y)[x * per + i], expected) << bits << " " << x << "," << y << " byte " << i;
        }
      }
    }
  }
}

TEST(TemplateFilter, SixteenBitPixelsAreReadAndWrittenAs555) {
  // Source words carry bit 15, which the 5-5-5 reader ignores; written
  // pixels are packed again without it.
  auto word = [](int x, int y) { return 0x8000 | test::Pack555(8 * x + 8, 16 * y + 24, 200 - 8 * x); };
  CRaster r = MakeImage(4, 3, 16, [&](int x, int y, int i) { return i == 0 ? word(x, y) & 0xFF : word(x, y) >> 8; });
  ASSERT_TRUE(TemplateFilter(r, Picker(3, 1, 1, 2, 0)));
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      const bool interior = (x == 1 || x == 2) && y == 1;
      const int expected = interior ? word(x - 1, y + 1) & 0x7FFF : word(x, y);
      EXPECT_EQ(r.row(y)[2 * x] | (r.row(y)[2 * x + 1] << 8), expected) << x << "," << y;
    }
  }
}

TEST(TemplateFilter, RefusesBlackAndWhiteAndColourPaletteImages) {
  CRaster bw;
  ASSERT_TRUE(bw.create(9, 9, 1));
  bw.setBit(4, 4, true);
  CRaster four;
  ASSERT_TRUE(four.create(9, 9, 4));
  four.setIndex(4, 4, 9);
  CRaster palette = MakeImage(9, 9, 8, [](int x, int, int) { return x == 4 ? 5 : 0; });
  ASSERT_TRUE(palette.setPaletteEntry(5, 0, 0, 255));  // a used red entry
  for (CRaster* r : {&bw, &four, &palette}) {
    const auto before = StateOf(*r);
    EXPECT_FALSE(TemplateFilter(*r, KernelTemplate::Fresh())) << r->bitCount();
    EXPECT_EQ(StateOf(*r), before);
  }
  CRaster empty;
  EXPECT_FALSE(TemplateFilter(empty, KernelTemplate::Fresh()));
}

TEST(TemplateFilter, OutputLevelsShowAsGreyEvenOnPreviouslyUnusedEntries) {
  CRaster r = MakeImage(3, 3, 8, [](int, int, int) { return 10; });
  ASSERT_TRUE(r.setPaletteEntry(200, 0, 0, 255));  // unused, so the palette still counts as grey
  ASSERT_TRUE(r.isGreyPalette());
  ASSERT_TRUE(TemplateFilter(r, Picker(3, 1, 1, 1, 1, 20.0)));
  EXPECT_EQ(r.row(1)[1], 200);
  const uint8_t* entry = r.palette() + 4 * 200;
  EXPECT_EQ(entry[0], 200);
  EXPECT_EQ(entry[1], 200);
  EXPECT_EQ(entry[2], 200);
}

TEST(TemplateFilter, InvalidTemplatesFailWithAMessage) {
  quillon::test::CapturedMessages messages;
  KernelTemplate badSize = KernelTemplate::Fresh();
  badSize.width = 4;
  KernelTemplate badCentre = KernelTemplate::Fresh();
  badCentre.centreX = 3;
  KernelTemplate negativeCentre = KernelTemplate::Fresh();
  negativeCentre.centreY = -1;
  KernelTemplate shortList = KernelTemplate::Fresh();
  shortList.coefficients.pop_back();
  KernelTemplate notANumber = KernelTemplate::Fresh();
  notANumber.coefficients[3] = std::numeric_limits<double>::quiet_NaN();
  KernelTemplate infiniteFactor = KernelTemplate::Fresh();
  infiniteFactor.factor = std::numeric_limits<double>::infinity();
  for (const KernelTemplate& t : {badSize, badCentre, negativeCentre, shortList, notANumber, infiniteFactor}) {
    CRaster r = MakeImage(6, 6, 24, [](int x, int y, int i) { return x * y + i; });
    const auto before = StateOf(r);
    EXPECT_FALSE(t.valid());
    EXPECT_FALSE(TemplateFilter(r, t));
    EXPECT_EQ(StateOf(r), before);
  }
  const auto shown = messages.messages();
  ASSERT_EQ(shown.size(), 6u);
  EXPECT_EQ(shown[0], "Invalid raster template");
}

TEST(TemplateFilter, HugeWeightsSaturateInsteadOfOverflowing) {
  CRaster r = MakeImage(3, 3, 8, [](int, int, int) { return 255; });
  KernelTemplate t = KernelTemplate::Fresh();
  std::fill(t.coefficients.begin(), t.coefficients.end(), 1e308);
  t.factor = 1e308;  // the sum overflows to infinity
  ASSERT_TRUE(TemplateFilter(r, t));
  EXPECT_EQ(r.row(1)[1], 255);
  t.factor = 0.0;  // infinity times zero is not a number
  ASSERT_TRUE(TemplateFilter(r, t));
  EXPECT_EQ(r.row(1)[1], 255);
}

TEST(TemplateFilter, ImageSmallerThanTheKernelIsLeftAlone) {
  CRaster r = MakeImage(4, 2, 8, [](int x, int, int) { return 50 * x; });
  const auto before = StateOf(r);
  EXPECT_TRUE(TemplateFilter(r, KernelTemplate::Fresh()));
  EXPECT_EQ(StateOf(r), before);
  EXPECT_TRUE(TemplateFilter(r, Picker(5, 2, 2, 0, 0)));
  EXPECT_EQ(StateOf(r), before);
}

TEST(TemplateFilter, ReportsProgressAndCancelLeavesTheRasterUnchanged) {
  for (int bits : {8, 16, 24, 32}) {
    CRaster r = MakeImage(20, 30, bits, [](int x, int y, int i) { return (x * 7 + y * 13 + i * 5) & 0x7F; });
    const auto before = StateOf(r);
    platform::CancelFlag cancel;
    std::vector<int> seen;
    auto progress = [&](std::string_view text, int percent) {
      EXPECT_EQ(text, "Raster template");
      seen.push_back(percent);
      if (percent >= 50) cancel.request();
    };
    EXPECT_FALSE(TemplateFilter(r, KernelTemplate::Fresh(), progress, &cancel)) << bits;
    EXPECT_EQ(StateOf(r), before) << bits;
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 0);
    EXPECT_LT(seen.back(), 100);

    seen.clear();
    cancel.reset();
    auto plain = [&](std::string_view, int percent) { seen.push_back(percent); };
    EXPECT_TRUE(TemplateFilter(r, KernelTemplate::Fresh(), plain, &cancel));
    EXPECT_NE(StateOf(r), before);
    EXPECT_EQ(seen.back(), 100);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  }
}

}  // namespace
}  // namespace quillon::raster
