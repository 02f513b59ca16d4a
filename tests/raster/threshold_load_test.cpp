// Thresholding a grey BMP as it is read against reading it whole and then
// thresholding: the same bits, threshold and resolution, or a refusal that
// leaves the file to the ordinary loader.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "raster/raster.h"
#include "support/test_support.h"

namespace quillon::raster {
namespace {

struct GreyBmp {
  int width = 0;
  int height = 0;  // negative: stored top-down
  std::vector<uint8_t> pixels;  // width x |height|, top row first
  std::vector<uint8_t> palette;  // 4 bytes an entry (blue, green, red, 0)
  uint32_t coloursUsed = 0;
  uint32_t compression = 0;
  int32_t pixelsPerMetre = 11811;
  uint32_t gap = 0;  // bytes between the palette and the pixels
};

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

std::vector<uint8_t> Encode(const GreyBmp& bmp, size_t cut = 0) {
  const int rows = bmp.height < 0 ? -bmp.height : bmp.height;
  const size_t pitch = (static_cast<size_t>(bmp.width) + 3) & ~size_t{3};
  const auto offset = static_cast<uint32_t>(54 + bmp.palette.size() + bmp.gap);
  std::vector<uint8_t> out{'B', 'M'};
  Put32(out, static_cast<uint32_t>(offset + pitch * rows));
  Put32(out, 0);
  Put32(out, offset);
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(bmp.width));
  Put32(out, static_cast<uint32_t>(bmp.height));
  Put16(out, 1);
  Put16(out, 8);
  Put32(out, bmp.compression);
  Put32(out, static_cast<uint32_t>(pitch * rows));
  Put32(out, static_cast<uint32_t>(bmp.pixelsPerMetre));
  Put32(out, static_cast<uint32_t>(bmp.pixelsPerMetre));
  Put32(out, bmp.coloursUsed);
  Put32(out, 0);
  out.insert(out.end(), bmp.palette.begin(), bmp.palette.end());
  out.resize(out.size() + bmp.gap, 0xAB);
  for (int r = 0; r < rows; ++r) {
    const int y = bmp.height < 0 ? r : rows - 1 - r;
    const uint8_t* row = bmp.pixels.data() + static_cast<size_t>(y) * bmp.width;
    out.insert(out.end(), row, row + bmp.width);
    out.resize(out.size() + pitch - bmp.width, 0);
  }
  out.resize(out.size() - cut);
  return out;
}

void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
  std::fclose(f);
}

// A scanned sheet: paper, ink blobs and noise, under a grey or a colour palette.
GreyBmp RandomScan(uint32_t seed) {
  std::mt19937 random(seed);
  GreyBmp bmp;
  bmp.width = 1 + static_cast<int>(random() % 90);
  bmp.height = 1 + static_cast<int>(random() % 60);
  bmp.coloursUsed = seed % 2 == 0 ? 0 : 256;
  bmp.pixelsPerMetre = static_cast<int32_t>(std::vector<int32_t>{0, 39, 40, 11811, -5}[seed % 5]);
  bmp.gap = seed % 3 == 0 ? 7 : 0;
  const bool colour = seed % 4 == 3;
  for (int i = 0; i < 256; ++i) {
    const auto level = static_cast<uint8_t>(i);
    bmp.palette.insert(bmp.palette.end(), {colour ? static_cast<uint8_t>(random()) : level,
                                           colour ? static_cast<uint8_t>(random()) : level,
                                           colour ? static_cast<uint8_t>(random()) : level, 0});
  }
  std::normal_distribution<double> noise(0.0, 12.0);
  bmp.pixels.resize(static_cast<size_t>(bmp.width) * bmp.height);
  for (int y = 0; y < bmp.height; ++y) {
    for (int x = 0; x < bmp.width; ++x) {
      const bool ink = (x / 7 + y / 5) % 3 == 0;
      const double v = (ink ? 40.0 : 235.0) + noise(random);
      bmp.pixels[static_cast<size_t>(y) * bmp.width + x] = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
    }
  }
  return bmp;
}

TEST(ThresholdedLoad, GivesTheBitsResolutionAndThresholdOfLoadingThenThresholding) {
  test::TempDir dir;
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    const std::string path = dir.file("scan" + std::to_string(seed) + ".bmp");
    Write(path, Encode(RandomScan(seed)));
    for (const int fixed : {-1, 0, 128, 255}) {
      CRaster whole;
      ASSERT_TRUE(whole.load(path)) << seed;
      ASSERT_EQ(whole.bitCount(), 8);
      const int threshold = fixed < 0 ? whole.automaticThreshold() : fixed;
      ASSERT_TRUE(whole.convertTo1Bit(threshold));
      CRaster direct;
      int used = -2;
      ASSERT_TRUE(direct.loadThresholded(path, fixed, used)) << seed;
      EXPECT_EQ(used, threshold) << seed;
      ASSERT_EQ(direct.bitCount(), 1);
      ASSERT_EQ(direct.width(), whole.width());
      ASSERT_EQ(direct.height(), whole.height());
      EXPECT_EQ(direct.rowBytes(), whole.rowBytes());
      int a = 0, b = 0;
      ASSERT_TRUE(direct.resolution(a) && whole.resolution(b));
      EXPECT_EQ(a, b) << seed;
      EXPECT_EQ(direct.histogramValid(), whole.histogramValid());
      for (int y = 0; y < whole.height(); ++y) {
        ASSERT_TRUE(std::equal(direct.row(y), direct.row(y) + direct.rowBytes(), whole.row(y)))
            << "seed " << seed << " threshold " << fixed << " row " << y;
      }
    }
  }
}

TEST(ThresholdedLoad, LeavesEveryOtherFileToTheOrdinaryLoader) {
  test::TempDir dir;
  const GreyBmp plain = RandomScan(2);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
  GreyBmp topDown = plain;
  topDown.height = -topDown.height;
  files.emplace_back("top-down.bmp", Encode(topDown));
  GreyBmp rle = plain;
  rle.compression = 1;
  files.emplace_back("rle.bmp", Encode(rle));
  GreyBmp fewColours = plain;
  fewColours.coloursUsed = 16;
  fewColours.palette.resize(16 * 4);
  files.emplace_back("sixteen-colours.bmp", Encode(fewColours));
  files.emplace_back("truncated.bmp", Encode(plain, 1));
  files.emplace_back("scan.tif", Encode(plain));
  for (const auto& [name, bytes] : files) {
    const std::string path = dir.file(name);
    Write(path, bytes);
    CRaster raster;
    int used = -2;
    EXPECT_FALSE(raster.loadThresholded(path, -1, used)) << name;
    EXPECT_TRUE(raster.empty()) << name;
    EXPECT_EQ(used, -2) << name;
  }
  CRaster raster;
  int used = -2;
  EXPECT_FALSE(raster.loadThresholded(dir.file("missing.bmp"), 128, used));
}

}  // namespace
}  // namespace quillon::raster
