#include "raster/resample.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "raster/raster.h"
#include "raster_test_images.h"
#include "support/test_support.h"

namespace quillon::raster {
namespace {

constexpr ResampleFilter kAllFilters[] = {ResampleFilter::Triangle, ResampleFilter::Box,      ResampleFilter::Hermite,
                                          ResampleFilter::Bell,     ResampleFilter::BSpline,  ResampleFilter::Lanczos3,
                                          ResampleFilter::Mitchell};

CRaster GreyRow(std::vector<uint8_t> levels) {
  CRaster r;
  EXPECT_TRUE(r.create(static_cast<int>(levels.size()), 1, 8));
  std::memcpy(r.row(0), levels.data(), levels.size());
  return r;
}

std::vector<uint8_t> Levels(const CRaster& r, int y = 0) { return {r.row(y), r.row(y) + r.width()}; }

CRaster Random(int width, int height, int bits, unsigned seed) {
  CRaster r;
  EXPECT_TRUE(r.create(width, height, bits));
  std::mt19937 rng(seed);
  for (int y = 0; y < height; ++y)
    for (int i = 0; i < r.usedRowBytes(); ++i) r.row(y)[i] = static_cast<uint8_t>(rng());
  return r;
}

// Same depth and the same bytes in every row and palette entry.
bool SamePixels(const CRaster& a, const CRaster& b) {
  return a.bitCount() == b.bitCount() && test::StateOf(a) == test::StateOf(b);
}

// The two-pass rescaling written out pixel by pixel through the colour
// accessors, with its own mapping, mirror and rounding: what the fast
// implementation must reproduce byte for byte.
float RefSum(const std::vector<float>& values, int oldSize, int newSize, int i, ResampleFilter f) {
  const double scale = oldSize == 1 ? newSize : static_cast<double>(newSize - 1) / (oldSize - 1);
  const double centre = i / scale;
  const double support = ResampleFilterSupport(f) / std::min(scale, 1.0);
  float sum = 0.0f;
  for (int j = static_cast<int>(std::floor(centre - support)); j <= static_cast<int>(std::ceil(centre + support)); ++j) {
    const float w = scale >= 1.0 ? ResampleFilterValue(f, static_cast<float>(centre - j))
                                 : ResampleFilterValue(f, static_cast<float>(centre - j) * static_cast<float>(scale)) *
                                       static_cast<float>(scale);
    int k = j < 0 ? -j : j;
    if (k >= oldSize) k = 2 * oldSize - k - 1;
    if (w != 0.0f) sum += w * values[static_cast<size_t>(k)];
  }
  return sum;
}

uint8_t RefClamp(float sum) {
  return sum > 255.0f ? 255 : sum < 0.0f ? 0 : static_cast<uint8_t>(std::floor(static_cast<double>(sum) + 0.5));
}

CRaster Reference(const CRaster& src, int newWidth, int newHeight, ResampleFilter f) {
  const int bits = src.bitCount() <= 8 ? 8 : src.bitCount();
  const int w = src.width(), h = src.height();
  CRaster inter, out;
  EXPECT_TRUE(inter.create(newWidth, h, bits));
  EXPECT_TRUE(out.create(newWidth, newHeight, bits));
  auto read = [&](const CRaster& r, int x, int y, int c) {
    uint8_t b, g, rd;
    r.colourAt(x, y, b, g, rd);
    if (bits == 8) return b == g && g == rd ? b : static_cast<uint8_t>(0.587 * g + 0.299 * rd + 0.114 * b);
    return c == 0 ? b : c == 1 ? g : rd;
  };
  const int channels = bits == 8 ? 1 : 3;
  for (int y = 0; y < h; ++y) {
    for (int i = 0; i < newWidth; ++i) {
      uint8_t px[3];
      for (int c = 0; c < channels; ++c) {
        std::vector<float> values(static_cast<size_t>(w));
        for (int x = 0; x < w; ++x) values[static_cast<size_t>(x)] = read(src, x, y, c);
        px[c] = RefClamp(RefSum(values, w, newWidth, i, f));
      }
      if (bits == 8) inter.row(y)[i] = px[0];
      else inter.setColour(i, y, px[0], px[1], px[2]);
    }
  }
  for (int x = 0; x < newWidth; ++x) {
    for (int i = 0; i < newHeight; ++i) {
      uint8_t px[3];
      for (int c = 0; c < channels; ++c) {
        std::vector<float> values(static_cast<size_t>(h));
        for (int y = 0; y < h; ++y) {
          uint8_t b, g, rd;
          inter.colourAt(x, y, b, g, rd);
          values[static_cast<size_t>(y)] = c == 0 ? b : c == 1 ? g : rd;
        }
        px[c] = RefClamp(RefSum(values, h, newHeight, i, f));
      }
      if (bits == 8) out.row(i)[x] = px[0];
      else out.setColour(x, i, px[0], px[1], px[2]);
    }
  }
  return out;
}

TEST(ResampleFilter, KernelValues) {
  using F = ResampleFilter;
  EXPECT_FLOAT_EQ(ResampleFilterValue(F::Triangle, 0.25f), 0.75f);
  EXPECT_FLOAT_EQ(ResampleFilterValue(F::Triangle, -1.0f), 0.0f);
  EXPECT_FLOAT_EQ(ResampleFilterValue(F::Box, 0.5f), 1.0f);  // +0.5 inside, -0.5 outside
  EXPECT_FLOAT_EQ(ResampleFilterValue(F::Box, -0.5f), 0.0f);
  EXPECT_FLOAT_EQ(ResampleFilterValue(F::Hermite, 0.5f), 0.5f);
  EXPECT_FLOAT_EQ(ResampleFilterValue(F::Bell, 0.0f), 0.75f);
  EXPECT_FLOAT_EQ(ResampleFilterValue(F::Bell, 1.0f), 0.125f);
  EXPECT_FLOAT_EQ(ResampleFilterValue(F::Bell, -1.5f), 0.0f);
  EXPECT_FLOAT_EQ(ResampleFilterValue(F::BSpline, 0.0f), 2.0f / 3.0f);
  EXPECT_FLOAT_EQ(ResampleFilterValue(F::BSpline, 1.0f), 1.0f / 6.0f);
  EXPECT_FLOAT_EQ(ResampleFilterValue(F::Lanczos3, 0.0f), 1.0f);
  EXPECT_NEAR(ResampleFilterValue(F::Lanczos3, 2.0f), 0.0f, 1e-6);
  EXPECT_LT(ResampleFilterValue(F::Lanczos3, 1.5f), 0.0f);
  EXPECT_FLOAT_EQ(ResampleFilterValue(F::Mitchell, 0.0f), 8.0f / 9.0f);
  EXPECT_NEAR(ResampleFilterValue(F::Mitchell, 1.0f), 1.0f / 18.0f, 1e-6);
  EXPECT_LT(ResampleFilterValue(F::Mitchell, 1.5f), 0.0f);
  for (F f : kAllFilters) {
    EXPECT_EQ(ResampleFilterValue(f, ResampleFilterSupport(f) + 0.01f), 0.0f);
    EXPECT_FALSE(ResampleFilterName(f).empty());
  }
  EXPECT_EQ(ResampleFilterName(F::BSpline), "B-Spline filter");
}

TEST(ResampleContributions, EnlargingMapsCornersOntoCorners) {
  // 100 -> 199: scale 198 / 99 = 2, destination 198 lies exactly on source 99.
  const auto c = ResampleContributions(100, 199, ResampleFilter::Triangle);
  ASSERT_EQ(c.size(), 199u);
  ASSERT_EQ(c[198].size(), 1u);
  EXPECT_EQ(c[198][0].source, 99);
  EXPECT_FLOAT_EQ(c[198][0].weight, 1.0f);
  ASSERT_EQ(c[1].size(), 2u);
  EXPECT_EQ(c[1][0].source, 0);
  EXPECT_FLOAT_EQ(c[1][0].weight, 0.5f);

  // Borders mirror: -1 reads 1 (B-spline at the first column reaches 2 out).
  const auto b = ResampleContributions(10, 19, ResampleFilter::BSpline);
  ASSERT_EQ(b[0].size(), 3u);
  EXPECT_EQ(b[0][0].source, 1);
  EXPECT_EQ(b[0][1].source, 0);
  EXPECT_EQ(b[0][2].source, 1);
  EXPECT_FLOAT_EQ(b[0][0].weight, 1.0f / 6.0f);
}

TEST(ResampleContributions, ReducingWidensTheSupport) {
  // 4 -> 2: scale 1/3, destination 0 centred on source 0 with support 3.
  const auto c = ResampleContributions(4, 2, ResampleFilter::Triangle);
  float perSource[4] = {};
  for (const auto& e : c[0]) perSource[e.source] += e.weight;
  EXPECT_NEAR(perSource[0], 1.0f / 3.0f, 1e-6);
  EXPECT_NEAR(perSource[1], 4.0f / 9.0f, 1e-6);  // 2/9 from +1 and 2/9 mirrored from -1
  EXPECT_NEAR(perSource[2], 2.0f / 9.0f, 1e-6);
  EXPECT_EQ(perSource[3], 0.0f);
}

TEST(ResampleContributions, DegenerateSizesStayInside) {
  // A 1-pixel source uses scale = new size; every contribution reads pixel 0.
  for (ResampleFilter f : kAllFilters) {
    for (const auto& list : ResampleContributions(1, 7, f)) {
      float sum = 0.0f;
      for (const auto& e : list) {
        EXPECT_EQ(e.source, 0);
        sum += e.weight;
      }
      EXPECT_GT(sum, 0.0f);
    }
  }
  // Reducing to one pixel averages around the middle instead of dividing by 0.
  for (ResampleFilter f : kAllFilters) {
    const auto c = ResampleContributions(9, 1, f);
    ASSERT_EQ(c.size(), 1u);
    float sum = 0.0f;
    for (const auto& e : c[0]) {
      EXPECT_GE(e.source, 0);
      EXPECT_LT(e.source, 9);
      sum += e.weight;
    }
    EXPECT_NEAR(sum, 1.0f, 0.15f);
  }
}

TEST(Resample, TriangleInterpolatesAndRoundsHalfUp) {
  CRaster r = GreyRow({10, 21});
  ASSERT_TRUE(Resample(r, 3, 1, 3937, ResampleFilter::Triangle));
  EXPECT_EQ(Levels(r), (std::vector<uint8_t>{10, 16, 21}));  // 15.5 -> 16
  int ppm = 0;
  ASSERT_TRUE(r.resolution(ppm));
  EXPECT_EQ(ppm, 3937);

  // The same vertically.
  CRaster column;
  ASSERT_TRUE(column.create(1, 2, 8));
  column.row(0)[0] = 100;
  column.row(1)[0] = 0;
  ASSERT_TRUE(Resample(column, 1, 5, 3937, ResampleFilter::Triangle));
  EXPECT_EQ(column.height(), 5);
  const uint8_t expected[] = {100, 75, 50, 25, 0};
  for (int y = 0; y < 5; ++y) EXPECT_EQ(column.row(y)[0], expected[y]) << y;
}

TEST(Resample, BoxCopiesTheNearestPixelTiesToTheLeft) {
  CRaster r = GreyRow({10, 200});
  ASSERT_TRUE(Resample(r, 3, 1, 7874, ResampleFilter::Box));
  EXPECT_EQ(Levels(r), (std::vector<uint8_t>{10, 10, 200}));  // centre 0.5 takes the left pixel
  CRaster s = GreyRow({10, 200});
  ASSERT_TRUE(Resample(s, 4, 1, 7874, ResampleFilter::Box));
  EXPECT_EQ(Levels(s), (std::vector<uint8_t>{10, 10, 200, 200}));
}

TEST(Resample, LastSourceColumnIsReproduced) {
  CRaster r = Random(100, 3, 8, 7);
  const CRaster original = [&] {
    CRaster c;
    c.cloneFrom(r);
    return c;
  }();
  ASSERT_TRUE(Resample(r, 199, 3, 7874, ResampleFilter::Triangle));
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 100; ++x) EXPECT_EQ(r.row(y)[2 * x], original.row(y)[x]) << x;
  }
}

TEST(Resample, OnePixelWideImageIsStretched) {
  quillon::test::CapturedMessages messages;  // grey conversions announce themselves
  CRaster r = GreyRow({77});
  ASSERT_TRUE(Resample(r, 5, 1, 7874, ResampleFilter::Triangle));
  EXPECT_EQ(Levels(r), (std::vector<uint8_t>(5, 77)));
  CRaster s = GreyRow({10, 20, 30, 40, 50});
  ASSERT_TRUE(Resample(s, 1, 1, 7874, ResampleFilter::Triangle));
  EXPECT_NEAR(s.row(0)[0], 30, 4);
}

TEST(Resample, MatchesThePixelByPixelReference) {
  quillon::test::CapturedMessages messages;  // grey conversions announce themselves
  // Every filter, enlarging and reducing in each direction, every depth
  // (16-bit keeps five bits per component in the intermediate image; 1 and
  // 4-bit images are read as grey).
  struct Case {
    int bits, w, h, nw, nh;
  };
  const Case cases[] = {{8, 13, 11, 29, 7}, {8, 17, 9, 5, 23}, {24, 12, 10, 7, 21}, {32, 9, 14, 20, 6},
                        {16, 10, 10, 23, 4}, {1, 21, 9, 13, 17}, {4, 11, 6, 15, 9}};
  unsigned seed = 1;
  for (const Case& c : cases) {
    for (ResampleFilter f : kAllFilters) {
      CRaster r = Random(c.w, c.h, c.bits, seed++);
      const CRaster expected = Reference(r, c.nw, c.nh, f);
      ASSERT_TRUE(Resample(r, c.nw, c.nh, 7874, f));
      EXPECT_TRUE(SamePixels(r, expected)) << c.bits << " bits, filter " << static_cast<int>(f);
    }
  }
}

TEST(Resample, PaletteImagesComeBackGrey) {
  // 1-bit: ink 0, background 255, the midpoint rounds up.
  CRaster bits;
  ASSERT_TRUE(bits.create(2, 1, 1));
  bits.setBit(0, 0, true);
  ASSERT_TRUE(Resample(bits, 3, 1, 7874));
  EXPECT_EQ(bits.bitCount(), 8);
  EXPECT_TRUE(bits.isGreyPalette());
  EXPECT_EQ(Levels(bits), (std::vector<uint8_t>{0, 128, 255}));

  // A colour palette: the user is told, pixels become their truncated
  // brightness, grey entries keep their level exactly.
  quillon::test::CapturedMessages messages;
  CRaster pal;
  ASSERT_TRUE(pal.create(3, 1, 8));
  FreeImage_GetPalette(pal.bitmap())[1] = RGBQUAD{0, 0, 255, 0};  // red: 0.299 * 255 = 76.2
  pal.setGreyEntry(2, 128);           // 0.587 * 128 + 0.299 * 128 + 0.114 * 128 falls just below 128
  pal.row(0)[0] = 1;
  pal.row(0)[1] = 2;
  pal.row(0)[2] = 255;
  ASSERT_TRUE(Resample(pal, 3, 1, 7874));
  EXPECT_EQ(Levels(pal), (std::vector<uint8_t>{76, 128, 255}));
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0], "Convert image to gray !!!");
  for (int i = 0; i < 256; ++i) EXPECT_EQ(pal.palette()[4 * i], i);

  // A grey 8-bit image is not converted and nothing is said.
  CRaster grey = GreyRow({1, 2});
  ASSERT_TRUE(Resample(grey, 2, 1, 7874));
  EXPECT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(Levels(grey), (std::vector<uint8_t>{1, 2}));

  // 4-bit: through the palette (create() gives the 16-level grey ramp).
  CRaster nibble;
  ASSERT_TRUE(nibble.create(2, 1, 4));
  nibble.row(0)[0] = 0x0F;
  ASSERT_TRUE(Resample(nibble, 2, 1, 7874));
  EXPECT_EQ(Levels(nibble), (std::vector<uint8_t>{0, 255}));
}

TEST(Resample, OvershootIsClamped) {
  for (ResampleFilter f : {ResampleFilter::Lanczos3, ResampleFilter::Mitchell}) {
    CRaster r = GreyRow({0, 0, 0, 255, 255, 255});
    ASSERT_TRUE(Resample(r, 21, 1, 7874, f));
    const std::vector<uint8_t> v = Levels(r);
    EXPECT_EQ(v.front(), 0);
    EXPECT_EQ(v.back(), 255);
    // Lanczos rings below 0 before the edge and above 255 after it.
    if (f == ResampleFilter::Lanczos3) {
      EXPECT_EQ(v[7], 0);
      EXPECT_EQ(v[13], 255);
    }
  }
}

TEST(Resample, KeepsNameAndReportsEachStep) {
  CRaster r = Random(20, 10, 24, 3);
  r.setName("sheet");
  r.setNameValues(5, 6);
  std::vector<std::string> texts;
  int last = -1;
  ASSERT_TRUE(Resample(r, 30, 15, 7874, ResampleFilter::Bell, [&](std::string_view text, int percent) {
    if (texts.empty() || texts.back() != text) texts.emplace_back(text);
    last = percent;
  }));
  EXPECT_EQ(texts, (std::vector<std::string>{"Resample step 1:", "Resample step 2:", "Resample step 3:",
                                             "Resample step 4:", "Resample step 5:"}));
  EXPECT_EQ(last, 100);
  EXPECT_EQ(r.name(), "sheet");
  EXPECT_EQ(r.nameValue1(), 5);
  EXPECT_TRUE(r.changed());
}

TEST(Resample, RefusesBadArgumentsAndLeavesTheImage) {
  quillon::test::CapturedMessages messages;
  CRaster empty;
  EXPECT_FALSE(Resample(empty, 10, 10, 7874));

  CRaster r = Random(8, 8, 8, 4);
  CRaster before;
  ASSERT_TRUE(before.cloneFrom(r));
  EXPECT_FALSE(Resample(r, 0, 10, 7874));
  EXPECT_FALSE(Resample(r, 10, -3, 7874));
  EXPECT_FALSE(Resample(r, 10, 10, 0));
  EXPECT_FALSE(Resample(r, 10, 10, 7874, static_cast<ResampleFilter>(7)));
  EXPECT_TRUE(SamePixels(r, before));
  EXPECT_EQ(messages.messages(),
            (std::vector<std::string>{"Pixel Width > 1", "Pixel Height > 1", "Resolution > 1"}));
  EXPECT_EQ(ResampleArgumentError(1, 1, 1), "");
}

TEST(Resample, RefusesImagesAboveTheSizeLimitBeforeAllocating) {
  quillon::test::CapturedMessages messages;
  CRaster tiny = GreyRow({1});
  // 2^31 - 1 columns of one row would pass the pixel limit, but their
  // contribution lists would not: refused without trying.
  EXPECT_FALSE(Resample(tiny, INT_MAX, 1, 7874));
  EXPECT_FALSE(Resample(tiny, INT_MAX, INT_MAX, 7874));
  EXPECT_EQ(tiny.width(), 1);

  const uint64_t saved = DecodedSizeLimit();
  SetDecodedSizeLimit(1 << 20);
  CRaster r = Random(100, 100, 24, 5);
  EXPECT_FALSE(Resample(r, 1000, 1000, 7874));  // 3 MB of result
  SetDecodedSizeLimit(saved);
  EXPECT_EQ(r.width(), 100);
  EXPECT_EQ(r.bitCount(), 24);
  ASSERT_EQ(messages.messages().size(), 3u);
  EXPECT_EQ(messages.messages()[0], "Not enough memory to perform operation !");
}

TEST(Resample, CancelLeavesTheRasterUnchanged) {
  for (const char* stage : {"Resample step 3:", "Resample step 5:"}) {
    CRaster r = Random(40, 30, 8, 6);
    CRaster before;
    ASSERT_TRUE(before.cloneFrom(r));
    platform::CancelFlag cancel;
    EXPECT_FALSE(Resample(r, 70, 50, 7874, ResampleFilter::Triangle,
                          [&](std::string_view text, int percent) {
                            if (text == stage && percent >= 50) cancel.request();
                          },
                          &cancel));
    EXPECT_TRUE(cancel.requested());
    EXPECT_TRUE(SamePixels(r, before)) << stage;
  }
}

}  // namespace
}  // namespace quillon::raster
