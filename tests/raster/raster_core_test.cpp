// CRaster in memory: the 1-bit convention, thresholds, histogram, automatic
// threshold, rotation sizes and the pixel accessors.
#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "raster/raster.h"
#include "support/test_support.h"

namespace quillon::raster {
namespace {

// A 1-bit FreeImage bitmap with the palette (p0, p1) and bits set where ink(x, y).
template <typename F>
FIBITMAP* OneBitBitmap(int w, int h, RGBQUAD p0, RGBQUAD p1, F bitSet) {
  FIBITMAP* b = FreeImage_Allocate(w, h, 1);
  RGBQUAD* pal = FreeImage_GetPalette(b);
  pal[0] = p0;
  pal[1] = p1;
  for (int y = 0; y < h; ++y) {
    BYTE* row = FreeImage_GetScanLine(b, h - 1 - y);
    for (int x = 0; x < w; ++x)
      if (bitSet(x, y)) row[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
  }
  return b;
}

constexpr RGBQUAD kWhite{255, 255, 255, 0}, kBlack{0, 0, 0, 0}, kRed{0, 0, 255, 0};

bool Diagonal(int x, int y) { return x == y; }

void ExpectWhiteBlackPalette(const CRaster& r) {
  const uint8_t* p = r.palette();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[0], 255);
  EXPECT_EQ(p[1], 255);
  EXPECT_EQ(p[2], 255);
  EXPECT_EQ(p[4], 0);
  EXPECT_EQ(p[5], 0);
  EXPECT_EQ(p[6], 0);
}

TEST(RasterAttach, BlackWhitePaletteBecomesWhiteBlackWithBitsInverted) {
  CRaster r;
  // Palette (black, white): the diagonal is white (bit 1), the rest black ink.
  ASSERT_TRUE(r.attach(OneBitBitmap(13, 9, kBlack, kWhite, Diagonal)));
  ExpectWhiteBlackPalette(r);
  EXPECT_FALSE(r.isColor());
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 13; ++x) EXPECT_EQ(r.bitAt(x, y), !Diagonal(x, y)) << x << "," << y;
  EXPECT_EQ(r.backgroundColour()[0], 0);
}

TEST(RasterAttach, WhiteRedPaletteBecomesWhiteBlackKeepingBits) {
  CRaster r;
  ASSERT_TRUE(r.attach(OneBitBitmap(10, 10, kWhite, kRed, Diagonal)));
  ExpectWhiteBlackPalette(r);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(r.bitAt(x, y), Diagonal(x, y));
}

TEST(RasterAttach, RowTableIsTopDownAndChangedFlagCleared) {
  CRaster r;
  ASSERT_TRUE(r.attach(OneBitBitmap(8, 3, kWhite, kBlack, [](int, int y) { return y == 0; })));
  EXPECT_EQ(r.row(0)[0], 0xFF);  // top row of the picture
  EXPECT_EQ(r.row(2)[0], 0x00);
  EXPECT_EQ(r.rowBytes(), 4);
  EXPECT_FALSE(r.changed());
}

TEST(RasterAttach, RefusesNullAndPixelLessBitmaps) {
  CRaster r;
  EXPECT_FALSE(r.attach(nullptr));
  const std::string sample = test::SourcePath("data/samples/grey_8bit.bmp");
  FIBITMAP* header = FreeImage_Load(FIF_BMP, sample.c_str(), FIF_LOAD_NOPIXELS);
  ASSERT_NE(header, nullptr);
  EXPECT_FALSE(r.attach(header));
  EXPECT_TRUE(r.empty());
  EXPECT_EQ(r.width(), 0);
}

TEST(RasterAttach, BackgroundIsPaletteEntryNearestWhite) {
  FIBITMAP* b = FreeImage_Allocate(4, 4, 8);
  RGBQUAD* pal = FreeImage_GetPalette(b);
  for (int i = 0; i < 256; ++i) pal[i] = RGBQUAD{0, 0, 0, 0};
  pal[7] = RGBQUAD{250, 250, 250, 0};
  pal[9] = RGBQUAD{250, 250, 250, 0};  // the same distance: the first one wins
  CRaster r;
  ASSERT_TRUE(r.attach(b));
  EXPECT_EQ(r.backgroundColour()[0], 7);
  ASSERT_TRUE(r.create(4, 4, 24));
  EXPECT_EQ(r.backgroundColour(), (std::array<uint8_t, 4>{255, 255, 255, 255}));
}

// An 8-bit grey raster whose pixel x of row 0 has level levels[x].
CRaster GreyRow(const std::vector<uint8_t>& levels) {
  CRaster r;
  EXPECT_TRUE(r.create(static_cast<int>(levels.size()), 1, 8));
  EXPECT_TRUE(r.makeGreyPalette());
  for (size_t i = 0; i < levels.size(); ++i) r.row(0)[i] = levels[i];
  return r;
}

TEST(RasterConvert, ThresholdIsInclusive) {
  CRaster r = GreyRow({127, 128, 129, 0, 255});
  ASSERT_TRUE(r.convertTo1Bit(128));
  ASSERT_EQ(r.bitCount(), 1);
  EXPECT_TRUE(r.bitAt(0, 0));
  EXPECT_TRUE(r.bitAt(1, 0));   // level 128 is ink
  EXPECT_FALSE(r.bitAt(2, 0));  // level 129 stays white
  EXPECT_TRUE(r.bitAt(3, 0));
  EXPECT_FALSE(r.bitAt(4, 0));
  ExpectWhiteBlackPalette(r);

  CRaster all = GreyRow({0, 128, 254, 255});
  ASSERT_TRUE(all.convertTo1Bit(255));
  for (int x = 0; x < 4; ++x) EXPECT_TRUE(all.bitAt(x, 0));
}

TEST(RasterConvert, BrightnessIsTruncated) {
  CRaster r;
  ASSERT_TRUE(r.create(3, 1, 24));
  r.setColour(0, 0, 1, 0, 0);  // blue 1: brightness 0.114 truncates to 0
  r.setColour(1, 0, 0, 2, 0);  // green 2: 1.174 truncates to 1
  r.setColour(2, 0, 9, 0, 0);  // blue 9: 1.026 truncates to 1
  ASSERT_TRUE(r.convertTo1Bit(0));
  EXPECT_TRUE(r.bitAt(0, 0));
  EXPECT_FALSE(r.bitAt(1, 0));
  EXPECT_FALSE(r.bitAt(2, 0));
}

TEST(RasterConvert, EveryDepthReadsItsPixels) {
  for (int bits : {4, 8, 16, 24, 32}) {
    CRaster r;
    ASSERT_TRUE(r.create(11, 2, bits)) << bits;
    // Left half dark, right half light, written through the accessors.
    for (int x = 0; x < 11; ++x) {
      const uint8_t v = x < 5 ? 0 : 255;
      if (bits <= 8)
        r.setIndex(x, 1, x < 5 ? 0 : (1 << bits) - 1);
      else
        r.setColour(x, 1, v, v, v);
      r.setColour(x, 0, 255, 255, 255);
      if (bits <= 8) r.setIndex(x, 0, (1 << bits) - 1);
    }
    ASSERT_TRUE(r.convertTo1Bit(100)) << bits;
    for (int x = 0; x < 11; ++x) {
      EXPECT_FALSE(r.bitAt(x, 0)) << bits << " x " << x;
      EXPECT_EQ(r.bitAt(x, 1), x < 5) << bits << " x " << x;
    }
  }
}

TEST(RasterConvert, KeepsResolutionAndReportsProgress) {
  CRaster r;
  ASSERT_TRUE(r.create(5, 4, 8));
  ASSERT_TRUE(r.setResolution(0));
  std::vector<int> seen;
  ASSERT_TRUE(r.convertTo1Bit(10, [&](std::string_view text, int percent) {
    EXPECT_EQ(text, "Convert to 1-bit");
    seen.push_back(percent);
  }));
  EXPECT_EQ(seen, (std::vector<int>{0, 0, 25, 50, 75, 100}));
  int ppm = 0;
  ASSERT_TRUE(r.resolution(ppm));
  EXPECT_EQ(ppm, 7874);
  EXPECT_TRUE(r.convertTo1Bit(10));  // already 1-bit
}

TEST(RasterResolution, ZeroReadsAsTwoHundredDpiAndIsStoredBack) {
  CRaster r;
  int ppm = -1;
  EXPECT_FALSE(r.resolution(ppm));
  ASSERT_TRUE(r.create(2, 2, 1));
  ASSERT_TRUE(r.setResolution(0));
  ASSERT_TRUE(r.resolution(ppm));
  EXPECT_EQ(ppm, kDefaultPixelsPerMetre);
  EXPECT_EQ(FreeImage_GetDotsPerMeterX(r.bitmap()), 7874u);
  EXPECT_EQ(FreeImage_GetDotsPerMeterY(r.bitmap()), 7874u);
  EXPECT_EQ(r.dotsPerInch(), 200);
  ASSERT_TRUE(r.setResolution(39));  // 0.99 dpi is still "none"
  ASSERT_TRUE(r.resolution(ppm));
  EXPECT_EQ(ppm, 7874);
  ASSERT_TRUE(r.setResolution(11811));
  EXPECT_EQ(r.dotsPerInch(), 300);
}

Histogram Flat(uint8_t value) {
  Histogram h;
  h.fill(value);
  return h;
}

TEST(AutomaticThresholdTest, FindsLowFlatStretchBelowPaper) {
  Histogram h = Flat(0);
  h[240] = 80;
  // Just below the paper: low and flat for 15 levels ends at 240 - 16.
  EXPECT_EQ(AutomaticThreshold(h), 224);
  // A rough low stretch restarts the run.
  for (int i = 239; i > 200; i -= 2) h[static_cast<size_t>(i)] = 10;
  EXPECT_LT(AutomaticThreshold(h), 200);
}

TEST(AutomaticThresholdTest, TwoEqualMaximaUseTheBrighterAsPaper) {
  Histogram h = Flat(50);
  h[200] = 80;
  h[100] = 80;
  for (int i = 150; i < 200; ++i) h[static_cast<size_t>(i)] = 5;
  // Low from 199 on (15 levels needed so close to the peak): 184.
  EXPECT_EQ(AutomaticThreshold(h), 184);
}

TEST(AutomaticThresholdTest, NeedsTenLevelsFarBelowThePeak) {
  Histogram h = Flat(40);
  h[250] = 80;
  for (int i = 100; i <= 200; ++i) h[static_cast<size_t>(i)] = 5;
  // Low starts at 200, 50 levels below the peak: 10 flat levels -> 190.
  EXPECT_EQ(AutomaticThreshold(h), 190);
}

TEST(AutomaticThresholdTest, SecondTallPeakAfterLowStretch) {
  Histogram h = Flat(0);
  h[230] = 80;
  h[225] = 72;  // above 71, after levels 229..226 were low
  EXPECT_EQ(AutomaticThreshold(h), 226);
}

TEST(AutomaticThresholdTest, NeverLowMeansZero) {
  Histogram h = Flat(24);
  h[128] = 80;
  EXPECT_EQ(AutomaticThreshold(h), 0);
  EXPECT_EQ(AutomaticThreshold(Flat(0)), 0);  // no peak at all
  Histogram dark = Flat(0);
  dark[0] = 80;
  EXPECT_EQ(AutomaticThreshold(dark), 0);
}

TEST(AutomaticThresholdTest, OneBitRasterIsZero) {
  CRaster r;
  ASSERT_TRUE(r.create(8, 8, 1));
  EXPECT_EQ(r.automaticThreshold(), 0);
  CRaster empty;
  EXPECT_EQ(empty.automaticThreshold(), 0);
}

TEST(RasterHistogram, NormalisedRoundedAndCached) {
  CRaster r = GreyRow({10, 10, 10, 10, 200, 200, 30});
  std::vector<int> progress;
  Histogram h;
  r.histogram(h, [&](std::string_view text, int percent) {
    EXPECT_EQ(text, "Open raster file");
    progress.push_back(percent);
  });
  EXPECT_EQ(h[10], 80);
  EXPECT_EQ(h[200], 40);
  EXPECT_EQ(h[30], 20);
  EXPECT_EQ(h[11], 0);
  ASSERT_EQ(progress.size(), 7u + 256u);
  // After each of the 7 columns: column * 85 / 7 + 10; then 95 + 5i/255.
  EXPECT_EQ((std::vector<int>(progress.begin(), progress.begin() + 7)), (std::vector<int>{10, 22, 34, 46, 58, 70, 82}));
  EXPECT_EQ(progress[7], 95);
  EXPECT_EQ(progress.back(), 100);
  EXPECT_TRUE(r.histogramValid());

  // Cached: changing pixels does not change the answer until re-attached.
  r.row(0)[0] = 99;
  Histogram again;
  r.histogram(again);
  EXPECT_EQ(again, h);
}

TEST(RasterHistogram, RoundsBrightness) {
  CRaster r;
  ASSERT_TRUE(r.create(2, 1, 24));
  r.setColour(0, 0, 5, 0, 0);   // 0.57 rounds to 1
  r.setColour(1, 0, 0, 0, 255);  // red 255: 76.245 rounds to 76
  Histogram h;
  r.histogram(h);
  EXPECT_EQ(h[1], 80);
  EXPECT_EQ(h[76], 80);
  EXPECT_EQ(h[0], 0);
}

TEST(RasterHistogram, InvertReversesCachedHistogram) {
  CRaster r = GreyRow({10, 10, 200});
  Histogram h;
  r.histogram(h);
  ASSERT_TRUE(r.invert());
  Histogram inverted;
  r.histogram(inverted);
  EXPECT_EQ(inverted[245], 80);
  EXPECT_EQ(inverted[55], 40);
  EXPECT_EQ(r.row(0)[0], 245);  // grey images invert their indices
}

TEST(RasterRotate, OneBitSizesFollowTheCorners) {
  struct Case {
    int w, h;
    double degrees;
    int nw, nh;
  } cases[] = {{100, 50, 0, 100, 50},  {100, 50, 90, 50, 100}, {100, 50, 180, 100, 50},
               {100, 50, 45, 106, 106}, {10, 10, 30, 14, 14},   {1, 1, 45, 1, 1}};
  for (const Case& c : cases) {
    CRaster r;
    ASSERT_TRUE(r.create(c.w, c.h, 1));
    ASSERT_TRUE(r.setResolution(5000));
    ASSERT_TRUE(r.rotate(c.degrees));
    EXPECT_EQ(r.width(), c.nw) << c.w << "x" << c.h << " by " << c.degrees;
    EXPECT_EQ(r.height(), c.nh) << c.w << "x" << c.h << " by " << c.degrees;
    int ppm = 0;
    ASSERT_TRUE(r.resolution(ppm));
    EXPECT_EQ(ppm, 5000);
  }
}

// Where the one marked pixel of a raster lies after rotate(degrees).
template <typename Mark, typename IsMarked>
std::pair<int, int> RotatedMark(int bits, double degrees, Mark mark, IsMarked isMarked) {
  CRaster r;
  EXPECT_TRUE(r.create(20, 10, bits));
  if (bits == 8) r.fillBytes(255);
  mark(r, 15, 3);  // near the top right corner
  EXPECT_TRUE(r.rotate(degrees));
  EXPECT_EQ(r.width(), 10);
  EXPECT_EQ(r.height(), 20);
  std::pair<int, int> at{-1, -1};
  int count = 0;
  for (int y = 0; y < r.height(); ++y)
    for (int x = 0; x < r.width(); ++x)
      if (isMarked(r, x, y)) {
        ++count;
        at = {x, y};
      }
  EXPECT_EQ(count, 1);
  return at;
}

TEST(RasterRotate, QuarterTurnIsClockwiseOnScreenForEveryDepth) {
  const auto oneBit = RotatedMark(
      1, 90, [](CRaster& r, int x, int y) { r.setBit(x, y, true); },
      [](const CRaster& r, int x, int y) { return r.bitAt(x, y); });
  const auto grey = RotatedMark(
      8, 90, [](CRaster& r, int x, int y) { r.row(y)[x] = 0; },
      [](const CRaster& r, int x, int y) { return r.row(y)[x] < 128; });
  // The top right part of the picture goes to the bottom right.
  EXPECT_GE(oneBit.first, 5);
  EXPECT_GE(oneBit.second, 10);
  EXPECT_LE(std::abs(oneBit.first - grey.first), 1);
  EXPECT_LE(std::abs(oneBit.second - grey.second), 1);
}

TEST(RasterRotate, ColourRotationFillsWithWhite) {
  CRaster r;
  ASSERT_TRUE(r.create(40, 20, 24));
  r.fillBytes(0);
  ASSERT_TRUE(r.rotate(45));
  EXPECT_GT(r.width(), 40);
  uint8_t b = 0, g = 0, red = 0;
  ASSERT_TRUE(r.colourAt(0, 0, b, g, red));
  EXPECT_EQ(b, 255);
  EXPECT_EQ(red, 255);
  ASSERT_TRUE(r.colourAt(r.width() / 2, r.height() / 2, b, g, red));
  EXPECT_EQ(red, 0);
}

TEST(RasterAccess, OneBitColourReadsFromTheBitNotThePalette) {
  CRaster r;
  ASSERT_TRUE(r.create(9, 2, 1));
  r.setBit(8, 1, true);
  EXPECT_TRUE(r.bitAtChecked(8, 1));
  EXPECT_FALSE(r.bitAtChecked(9, 1));
  EXPECT_FALSE(r.bitAtChecked(-1, 0));
  r.setGreyEntry(1, 200);  // as after tracing
  uint8_t b = 1, g = 1, red = 1;
  ASSERT_TRUE(r.colourAt(8, 1, b, g, red));
  EXPECT_EQ(b + g + red, 0);
  EXPECT_FALSE(r.colourAt(9, 0, b, g, red));
  EXPECT_EQ(r.indexAt(8, 1), 1);
  EXPECT_TRUE(r.setColour(0, 0, 20, 20, 20));  // dark colours are ink
  EXPECT_TRUE(r.bitAt(0, 0));
  EXPECT_TRUE(r.setColour(0, 0, 200, 200, 200));
  EXPECT_FALSE(r.bitAt(0, 0));
}

TEST(RasterAccess, FourBitNibblesAndSixteenBitPacking) {
  CRaster r;
  ASSERT_TRUE(r.create(3, 1, 4));
  ASSERT_TRUE(r.setIndex(0, 0, 0xA));
  ASSERT_TRUE(r.setIndex(1, 0, 0x5));
  EXPECT_EQ(r.row(0)[0], 0xA5);
  EXPECT_EQ(r.indexAt(1, 0), 5);
  ASSERT_TRUE(r.create(2, 1, 16));
  ASSERT_TRUE(r.setColour(1, 0, 0x08, 0x10, 0xF8));  // blue 1, green 2, red 31 in 5-5-5
  const unsigned w = r.row(0)[2] | (r.row(0)[3] << 8);
  EXPECT_EQ(w, (31u << 10) | (2u << 5) | 1u);
  uint8_t b = 0, g = 0, red = 0;
  ASSERT_TRUE(r.colourAt(1, 0, b, g, red));
  EXPECT_EQ(red, 0xF8);
  EXPECT_EQ(g, 0x10);
  EXPECT_EQ(b, 0x08);
}

TEST(RasterAccess, UnpackRowAndFill) {
  CRaster r;
  ASSERT_TRUE(r.create(11, 2, 1));
  r.fillBytes(0xFF);
  std::vector<uint8_t> out(11, 7);
  ASSERT_TRUE(r.unpackRow(1, out.data()));
  EXPECT_EQ(out, std::vector<uint8_t>(11, 1));
  r.fillBytes(0);
  r.setBit(10, 0, true);
  ASSERT_TRUE(r.unpackRow(0, out.data()));
  EXPECT_EQ(out[10], 1);
  EXPECT_EQ(out[9], 0);
  EXPECT_FALSE(r.unpackRow(2, out.data()));
  EXPECT_FALSE(r.unpackRow(-1, out.data()));
}

TEST(RasterAccess, GreyPaletteTestLooksAtUsedEntriesOnly) {
  CRaster r = GreyRow({3, 9});
  EXPECT_TRUE(r.isGreyPalette());
  r.setGreyEntry(100, 7);  // unused entry
  EXPECT_TRUE(r.isGreyPalette());
  r.setGreyEntry(9, 10);
  EXPECT_FALSE(r.isGreyPalette());
  ASSERT_TRUE(r.makeGreyPalette());
  EXPECT_TRUE(r.isGreyPalette());
  CRaster colour;
  ASSERT_TRUE(colour.create(2, 2, 24));
  EXPECT_FALSE(colour.isGreyPalette());
  EXPECT_FALSE(colour.makeGreyPalette());
}

TEST(RasterInkRun, CountsInkAndSingleGaps) {
  CRaster r;
  ASSERT_TRUE(r.create(20, 3, 1));
  // Row 1: ink at 0..2, gap at 3, ink at 4, gap at 5 and 6, ink at 7.
  for (int x : {0, 1, 2, 4, 7}) r.setBit(x, 1, true);
  EXPECT_EQ(r.inkRunAlongLine(0, 1, 19, 1), 5);  // 3 + gap + 1
  EXPECT_EQ(r.inkRunAlongLine(3, 1, 19, 1), 2);  // a gap at the start counts too
  EXPECT_EQ(r.inkRunAlongLine(0, 1, 2, 1), 2);   // the end is not visited
  EXPECT_EQ(r.inkRunAlongLine(0, 1, 0, 1), 0);
  EXPECT_EQ(r.inkRunAlongLine(2, 1, -5, 1), -1);  // leaves the image: ink at 2, 1, 0 then outside
  EXPECT_EQ(r.inkRunAlongLine(0, 0, 3, 3), 2);  // (3, 3) is the end: not visited
  EXPECT_EQ(r.inkRunAlongLine(0, 0, 4, 4), -1);
}

TEST(RasterLifeCycle, CloneMoveAndRelease) {
  CRaster a = GreyRow({1, 2, 3});
  Histogram h;
  a.histogram(h);
  a.setChanged(true);
  a.setName("scan");
  CRaster b;
  ASSERT_TRUE(b.cloneFrom(a));
  EXPECT_TRUE(b.changed());
  EXPECT_TRUE(b.histogramValid());
  EXPECT_NE(b.row(0), a.row(0));
  EXPECT_EQ(b.row(0)[2], 3);

  struct Marker : RasterAttachment {
    explicit Marker(bool& d) : deleted(d) {}
    ~Marker() override { deleted = true; }
    bool& deleted;
  };
  bool deleted = false;
  a.setAttachment(std::make_unique<Marker>(deleted));
  CRaster c;
  ASSERT_TRUE(a.moveTo(c));
  EXPECT_TRUE(a.empty());
  EXPECT_EQ(a.width(), 0);
  EXPECT_EQ(c.width(), 3);
  EXPECT_EQ(c.name(), "scan");
  EXPECT_TRUE(c.histogramValid());
  EXPECT_FALSE(deleted);
  c.release();
  EXPECT_TRUE(deleted);
  EXPECT_FALSE(c.histogramValid());

  CRaster empty;
  EXPECT_TRUE(b.cloneFrom(empty));
  EXPECT_TRUE(b.empty());
}

TEST(RasterCrop, KeepsDepthPaletteAndResolution) {
  CRaster r;
  ASSERT_TRUE(r.create(10, 8, 1));
  ASSERT_TRUE(r.setResolution(4000));
  r.setBit(3, 2, true);
  ASSERT_TRUE(r.crop(3, 2, 7, 5));
  EXPECT_EQ(r.width(), 4);
  EXPECT_EQ(r.height(), 3);
  EXPECT_TRUE(r.bitAt(0, 0));
  int ppm = 0;
  ASSERT_TRUE(r.resolution(ppm));
  EXPECT_EQ(ppm, 4000);
  EXPECT_FALSE(r.crop(2, 2, 2, 3));  // empty
  EXPECT_EQ(r.width(), 4);
}

TEST(RasterCrop, ToOneBitPreview) {
  CRaster source, target;
  // Scale 2: the rectangle (1, 0, 2, 1) covers columns 2..5, clipped at the last row.
  ASSERT_TRUE(source.create(8, 4, 8));
  ASSERT_TRUE(source.makeGreyPalette());
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) source.row(y)[x] = static_cast<uint8_t>(x * 30);
  ASSERT_TRUE(source.cropTo1Bit(target, 1, 0, 2, 2, 2.0, 100));
  ASSERT_EQ(target.bitCount(), 1);
  EXPECT_EQ(target.width(), 4);
  EXPECT_EQ(target.height(), 3);
  EXPECT_TRUE(target.bitAt(0, 0));   // level 60
  EXPECT_TRUE(target.bitAt(1, 0));   // level 90
  EXPECT_FALSE(target.bitAt(2, 0));  // level 120
  // Starting at the last column: nothing to do, target untouched.
  CRaster untouched;
  EXPECT_TRUE(source.cropTo1Bit(untouched, 7, 0, 3, 3, 1.0, 100));
  EXPECT_TRUE(untouched.empty());
}

TEST(RasterFlip, FlipAndMirror) {
  CRaster r;
  ASSERT_TRUE(r.create(5, 3, 1));
  r.setBit(0, 0, true);
  ASSERT_TRUE(r.flip());
  EXPECT_TRUE(r.bitAt(0, 2));
  ASSERT_TRUE(r.mirror());
  EXPECT_TRUE(r.bitAt(4, 2));
  EXPECT_FALSE(r.bitAt(0, 2));
  ASSERT_TRUE(r.invert());
  EXPECT_FALSE(r.bitAt(4, 2));
  EXPECT_TRUE(r.bitAt(0, 0));
}

TEST(RasterCreate, RefusesBadSizesWithAMessage) {
  test::CapturedMessages messages;
  CRaster r;
  EXPECT_FALSE(r.create(0, 5, 8));
  EXPECT_FALSE(r.create(5, 5, 7));
  EXPECT_FALSE(r.create(100000, 100000, 24));  // above the decoded-size limit
  EXPECT_TRUE(r.empty());
  EXPECT_EQ(messages.messages().size(), 3u);
}

}  // namespace
}  // namespace quillon::raster
