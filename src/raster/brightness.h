#pragma once
// Brightness levels of raster rows, shared by the raster operations that
// threshold or measure grey and colour images.

#include <algorithm>
#include <cstdint>

namespace quillon::raster::detail {

// Brightness 0.587 g + 0.299 r + 0.114 b, evaluated in double exactly in that
// order so that the rounding and truncation boundaries are those of the
// formula; the products come from tables.
struct BrightnessTables {
  double green[256];
  double red[256];
  double blue[256];
  uint8_t paletteLevel[256];  // per palette index, rounded or truncated

  BrightnessTables(const uint8_t* palette, int paletteSize, bool rounded) {
    for (int i = 0; i < 256; ++i) {
      green[i] = 0.587 * i;
      red[i] = 0.299 * i;
      blue[i] = 0.114 * i;
      paletteLevel[i] = 0;
    }
    for (int i = 0; i < std::min(paletteSize, 256); ++i) {
      const uint8_t* e = palette + 4 * i;
      paletteLevel[i] = level(e[0], e[1], e[2], rounded);
    }
  }

  double value(unsigned b, unsigned g, unsigned r) const { return green[g] + red[r] + blue[b]; }
  uint8_t level(unsigned b, unsigned g, unsigned r, bool rounded) const {
    const double v = value(b, g, r) + (rounded ? 0.5 : 0.0);
    return v >= 255.0 ? 255 : static_cast<uint8_t>(v);
  }
};

// Brightness levels of count pixels of a row from column x0 into out.
inline void BrightnessRow(const uint8_t* row, int bitCount, const BrightnessTables& t, bool rounded, int x0, int count,
                   uint8_t* out) {
  switch (bitCount) {
    case 1:
      for (int i = 0; i < count; ++i) {
        const int x = x0 + i;
        out[i] = (row[x >> 3] & (0x80 >> (x & 7))) ? 0 : 255;
      }
      break;
    case 4:
      for (int i = 0; i < count; ++i) {
        const int x = x0 + i;
        const uint8_t b = row[x >> 1];
        out[i] = t.paletteLevel[(x & 1) ? (b & 0x0F) : (b >> 4)];
      }
      break;
    case 8:
      for (int i = 0; i < count; ++i) out[i] = t.paletteLevel[row[x0 + i]];
      break;
    case 16:
      for (int i = 0; i < count; ++i) {
        const int x = x0 + i;
        const unsigned w = row[2 * x] | (row[2 * x + 1] << 8);
        out[i] = t.level((w << 3) & 0xFF, (w >> 2) & 0xF8, (w >> 7) & 0xF8, rounded);
      }
      break;
    case 24:
    case 32: {
      const int step = bitCount / 8;
      const uint8_t* p = row + step * x0;
      for (int i = 0; i < count; ++i, p += step) out[i] = t.level(p[0], p[1], p[2], rounded);
      break;
    }
    default: std::fill(out, out + count, 255); break;
  }
}

}  // namespace quillon::raster::detail
