#pragma once
// Small crafted images and whole-image comparisons for the raster operation tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "raster/raster.h"

namespace quillon::raster::test {

// An image of the depth whose bytes row by row come from byte(x, y, i), with
// i the byte within the pixel (8-bit: the index; 16-bit: low, high; 24/32:
// blue, green, red[, fourth]). Palette images keep the grey ramp of create().
template <typename Byte>
CRaster MakeImage(int width, int height, int bitCount, Byte byte) {
  CRaster r;
  EXPECT_TRUE(r.create(width, height, bitCount));
  const int per = bitCount / 8;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int i = 0; i < per; ++i) r.row(y)[x * per + i] = static_cast<uint8_t>(byte(x, y, i));
    }
  }
  return r;
}

// Everything a raster operation may change: the used bytes of every row and
// the palette.
struct ImageState {
  std::vector<std::vector<uint8_t>> rows;
  std::vector<uint8_t> palette;
  bool operator==(const ImageState&) const = default;
};

inline ImageState StateOf(const CRaster& r) {
  ImageState s;
  for (int y = 0; y < r.height(); ++y) s.rows.emplace_back(r.row(y), r.row(y) + r.usedRowBytes());
  if (r.palette()) s.palette.assign(r.palette(), r.palette() + 4 * r.paletteSize());
  return s;
}

// A 16-bit 5-5-5 word of the components' top five bits.
inline uint16_t Pack555(int blue, int green, int red) {
  return static_cast<uint16_t>(((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3));
}

}  // namespace quillon::raster::test
