#include "raster/median_filter.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "raster/raster.h"
#include "raster_test_images.h"

namespace quillon::raster {
namespace {

CRaster Random(int width, int height, int bits, unsigned seed, int inkPercent = 50) {
  CRaster r;
  EXPECT_TRUE(r.create(width, height, bits));
  std::mt19937 rng(seed);
  for (int y = 0; y < height; ++y) {
    if (bits == 1) {
      for (int x = 0; x < width; ++x) r.setBit(x, y, static_cast<int>(rng() % 100) < inkPercent);
    } else {
      for (int i = 0; i < r.usedRowBytes(); ++i) r.row(y)[i] = static_cast<uint8_t>(rng());
    }
  }
  return r;
}

CRaster Copy(const CRaster& r) {
  CRaster c;
  EXPECT_TRUE(c.cloneFrom(r));
  return c;
}

// Same depth and the same bytes in every row and palette entry.
bool SamePixels(const CRaster& a, const CRaster& b) {
  return a.bitCount() == b.bitCount() && test::StateOf(a) == test::StateOf(b);
}

// Majority vote counted cell by cell over the interior.
CRaster BinaryReference(const CRaster& src, int n) {
  CRaster out = Copy(src);
  const int r = n / 2;
  for (int y = r; y < src.height() - r; ++y) {
    for (int x = r; x < src.width() - r; ++x) {
      int count = 0;
      for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) count += src.bitAt(x + dx, y + dy);
      out.setBit(x, y, count > (n * n - 1) / 2);
    }
  }
  return out;
}

// The sorted window's middle value, outside positions 0.
CRaster GreyReference(const CRaster& src, int n) {
  CRaster out = Copy(src);
  const int r = n / 2;
  std::vector<int> window;
  for (int y = 0; y < src.height(); ++y) {
    for (int x = 0; x < src.width(); ++x) {
      window.clear();
      for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) {
          const int xx = x + dx, yy = y + dy;
          window.push_back(xx < 0 || yy < 0 || xx >= src.width() || yy >= src.height() ? 0 : src.row(yy)[xx]);
        }
      std::sort(window.begin(), window.end());
      out.row(y)[x] = static_cast<uint8_t>(window[window.size() / 2]);
    }
  }
  return out;
}

int Brightness(uint8_t b, uint8_t g, uint8_t r) { return (30 * r + 59 * g + 11 * b) / 100; }

// Checks each output pixel of a colour median: its brightness is the median
// brightness of the original window and its colour is one of the window's.
void ExpectColourMedian(const CRaster& before, const CRaster& after, int n) {
  const int r = n / 2;
  for (int y = 0; y < before.height(); ++y) {
    for (int x = 0; x < before.width(); ++x) {
      std::vector<int> levels;
      std::vector<uint32_t> colours;
      for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) {
          uint8_t b = 0, g = 0, rd = 0;
          before.colourAt(x + dx, y + dy, b, g, rd);  // outside: stays black
          levels.push_back(Brightness(b, g, rd));
          colours.push_back(uint32_t{b} | uint32_t{g} << 8 | uint32_t{rd} << 16);
        }
      std::sort(levels.begin(), levels.end());
      uint8_t b, g, rd;
      ASSERT_TRUE(after.colourAt(x, y, b, g, rd));
      ASSERT_EQ(Brightness(b, g, rd), levels[levels.size() / 2]) << x << "," << y;
      const uint32_t c = uint32_t{b} | uint32_t{g} << 8 | uint32_t{rd} << 16;
      ASSERT_NE(std::find(colours.begin(), colours.end(), c), colours.end()) << x << "," << y;
    }
  }
}

// A network leaves the median in its middle element for every input when it
// does so for every input of 0s and 1s; 64 such inputs run at once, one per
// bit, with AND as minimum and OR as maximum.
template <size_t N, size_t M>
void ExpectMedianNetwork(const std::array<std::pair<uint8_t, uint8_t>, M>& network) {
  // Input bit k of lane l of the word starting at base: for k < 6 the bit k
  // of l, a fixed pattern; above, bit k of base, the same in every lane.
  constexpr uint64_t kLowBits[6] = {0xAAAAAAAAAAAAAAAAull, 0xCCCCCCCCCCCCCCCCull, 0xF0F0F0F0F0F0F0F0ull,
                                    0xFF00FF00FF00FF00ull, 0xFFFF0000FFFF0000ull, 0xFFFFFFFF00000000ull};
  for (uint64_t base = 0; base < (uint64_t{1} << N); base += 64) {
    uint64_t v[N];
    for (size_t k = 0; k < N; ++k) v[k] = k < 6 ? kLowBits[k] : ((base >> k) & 1 ? ~uint64_t{0} : 0);
    uint64_t expected = 0;
    for (uint64_t lane = 0; lane < 64; ++lane) {
      if (static_cast<size_t>(std::popcount(base | lane)) > N / 2) expected |= uint64_t{1} << lane;
    }
    for (const auto& [a, b] : network) {
      const uint64_t lo = v[a] & v[b], hi = v[a] | v[b];
      v[a] = lo;
      v[b] = hi;
    }
    ASSERT_EQ(v[N / 2], expected) << "inputs from " << base;
  }
}

TEST(MedianFilter, NetworksSelectTheMedian) {
  ExpectMedianNetwork<9>(detail::kMedian9Network);
  ExpectMedianNetwork<25>(detail::kMedian25Network);
}

TEST(MedianFilter, BinaryRemovesSpecklesAndFillsPinholes) {
  for (int n : {3, 5}) {
    CRaster speck;
    ASSERT_TRUE(speck.create(11, 11, 1));
    speck.setBit(5, 5, true);
    speck.setThinned(true);
    ASSERT_TRUE(MedianFilter(speck, {}, n));
    EXPECT_FALSE(speck.bitAt(5, 5));
    EXPECT_FALSE(speck.thinned());

    CRaster hole;
    ASSERT_TRUE(hole.create(11, 11, 1));
    hole.fillBytes(0xFF);
    hole.setBit(5, 5, false);
    ASSERT_TRUE(MedianFilter(hole, {}, n));
    EXPECT_TRUE(hole.bitAt(5, 5));
  }
  const BinaryMedianSettings s = BinaryMedianFor(5);
  EXPECT_EQ(s.cells, 25);
  EXPECT_EQ(s.limit, 12);
}

TEST(MedianFilter, BinaryMatchesTheCountAndKeepsTheBorder) {
  // Widths around the 64-pixel words and byte edges, heights down to the window.
  const int sizes[][2] = {{131, 37}, {64, 9}, {65, 7}, {63, 5}, {5, 5}, {3, 3}, {2, 10}, {200, 4}, {129, 70}};
  unsigned seed = 10;
  for (int n : {3, 5}) {
    for (const auto& size : sizes) {
      for (int ink : {10, 50, 90}) {
        CRaster r = Random(size[0], size[1], 1, seed++, ink);
        const CRaster expected = BinaryReference(r, n);
        CRaster viaCopy = Copy(r);
        ASSERT_TRUE(MedianFilter(r, {}, n));
        EXPECT_TRUE(SamePixels(r, expected)) << size[0] << "x" << size[1] << " n=" << n << " ink " << ink;
        // With a cancel flag the filter reads from a working copy instead.
        platform::CancelFlag never;
        ASSERT_TRUE(MedianFilter(viaCopy, {}, n, &never));
        EXPECT_TRUE(SamePixels(viaCopy, expected));
      }
    }
  }
}

TEST(MedianFilter, GreyMatchesTheSortedWindow) {
  const int sizes[][2] = {{1, 1}, {2, 3}, {17, 5}, {33, 31}, {16, 16}, {40, 2}};
  unsigned seed = 100;
  for (int n : {3, 5}) {
    for (const auto& size : sizes) {
      CRaster r = Random(size[0], size[1], 8, seed++);
      const CRaster expected = GreyReference(r, n);
      CRaster viaCopy = Copy(r);
      ASSERT_TRUE(MedianFilter(r, {}, n));
      EXPECT_TRUE(SamePixels(r, expected)) << size[0] << "x" << size[1] << " n=" << n;
      platform::CancelFlag never;
      ASSERT_TRUE(MedianFilter(viaCopy, {}, n, &never));
      EXPECT_TRUE(SamePixels(viaCopy, expected));
    }
  }
}

TEST(MedianFilter, GreyCornersSeeBlackOutside) {
  CRaster r;
  ASSERT_TRUE(r.create(9, 9, 8));
  r.fillBytes(200);
  ASSERT_TRUE(MedianFilter(r, {}, 3));
  EXPECT_EQ(r.row(0)[0], 0);    // five of nine outside
  EXPECT_EQ(r.row(0)[4], 200);  // three of nine outside
  EXPECT_EQ(r.row(8)[8], 0);
  EXPECT_EQ(r.row(4)[4], 200);

  CRaster s;
  ASSERT_TRUE(s.create(9, 9, 8));
  s.fillBytes(200);
  ASSERT_TRUE(MedianFilter(s, {}, 5));
  EXPECT_EQ(s.row(1)[0], 0);    // 13 of 25 outside
  EXPECT_EQ(s.row(1)[1], 200);  // 9 of 25 outside
  EXPECT_EQ(s.row(4)[0], 200);  // 10 of 25 outside
}

TEST(MedianFilter, ColourTakesThePixelOfMedianBrightness) {
  unsigned seed = 200;
  for (int bits : {24, 32, 16}) {
    for (int n : {3, 5}) {
      CRaster r = Random(23, 13, bits, seed++);
      const CRaster before = Copy(r);
      ASSERT_TRUE(MedianFilter(r, {}, n));
      ExpectColourMedian(before, r, n);
      if (bits == 32) {
        // The fourth byte is not part of the colour and stays.
        for (int x = 0; x < 23; ++x) EXPECT_EQ(r.row(5)[4 * x + 3], before.row(5)[4 * x + 3]);
      }
    }
  }
  // Five equal pixels of one colour in a 3 x 3 window win, whatever the
  // other four are (five equal keys always cover the middle position).
  CRaster five;
  ASSERT_TRUE(five.create(3, 3, 24));
  for (int i = 0; i < 9; ++i) five.setColour(i % 3, i / 3, i < 5 ? 10 : 250, i < 5 ? 200 : 0, i < 5 ? 30 : 250);
  five.setColour(2, 1, 0, 0, 0);
  five.setColour(2, 2, 0, 0, 0);
  ASSERT_TRUE(MedianFilter(five, {}, 3));
  uint8_t b, g, rd;
  five.colourAt(1, 1, b, g, rd);
  EXPECT_EQ(b, 10);
  EXPECT_EQ(g, 200);
  EXPECT_EQ(rd, 30);
}

TEST(MedianFilter, RefusesWhatItCannotFilter) {
  CRaster empty;
  EXPECT_FALSE(MedianFilter(empty, {}, 3));

  CRaster grey = Random(10, 10, 8, 1);
  const CRaster before = Copy(grey);
  EXPECT_FALSE(MedianFilter(grey, {}, 4));
  EXPECT_FALSE(MedianFilter(grey, {}, 7));

  // A colour palette: nothing is done.
  CRaster palette = Random(10, 10, 8, 1);
  FreeImage_GetPalette(palette.bitmap())[3] = RGBQUAD{0, 0, 255, 0};
  palette.row(0)[0] = 3;
  const CRaster paletteBefore = Copy(palette);
  EXPECT_FALSE(MedianFilter(palette, {}, 3));
  EXPECT_TRUE(SamePixels(palette, paletteBefore));

  CRaster nibble = Random(10, 10, 4, 2);
  const CRaster nibbleBefore = Copy(nibble);
  EXPECT_FALSE(MedianFilter(nibble, {}, 3));
  EXPECT_TRUE(SamePixels(nibble, nibbleBefore));
  EXPECT_TRUE(SamePixels(grey, before));
}

TEST(MedianFilter, ReportsItsStages) {
  std::vector<std::string> texts;
  int last = -1;
  auto record = [&](std::string_view text, int percent) {
    if (texts.empty() || texts.back() != text) texts.emplace_back(text);
    last = percent;
  };
  CRaster bits = Random(40, 40, 1, 3);
  ASSERT_TRUE(MedianFilter(bits, record, 5));
  EXPECT_EQ(texts, (std::vector<std::string>{"Init Median filter... [5,5]", "Start Median Filter", "Median Filter",
                                             "Median Filter Finish"}));
  EXPECT_EQ(last, 100);

  texts.clear();
  CRaster grey = Random(40, 40, 8, 3);
  Histogram h;
  grey.histogram(h);
  ASSERT_TRUE(MedianFilter(grey, record, 3));
  EXPECT_EQ(texts, (std::vector<std::string>{"Init Median filter...", "Median Filter", "Median Filter Finish"}));
  EXPECT_FALSE(grey.histogramValid());
  EXPECT_TRUE(grey.changed());
}

TEST(MedianFilter, CancelLeavesTheRasterUnchanged) {
  for (int bits : {1, 8, 24}) {
    CRaster r = Random(90, 60, bits, 9);
    const CRaster before = Copy(r);
    platform::CancelFlag cancel;
    EXPECT_FALSE(MedianFilter(
        r,
        [&](std::string_view text, int percent) {
          if (text == "Median Filter" && percent >= 50) cancel.request();
        },
        3, &cancel));
    EXPECT_TRUE(cancel.requested());
    EXPECT_TRUE(SamePixels(r, before)) << bits;
  }
}

}  // namespace
}  // namespace quillon::raster
