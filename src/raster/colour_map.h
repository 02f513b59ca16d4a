#pragma once
// The shared driver of the colour operations (colour replace, brightness and
// contrast): a mapping of one colour to another applied to the palette of a
// 4 or 8-bit image, or to every pixel of a 16, 24 or 32-bit image. Internal to
// src/raster.

#include <array>
#include <cstdint>
#include <cstring>

#include "raster/progress_throttle.h"
#include "raster/raster.h"

namespace quillon::raster::detail {

struct Bgr {
  uint8_t b = 0, g = 0, r = 0;
};

// map(Bgr& colour) -> bool: changes the colour in place and returns whether
// it is to be written. Palette images: every entry is mapped (progress per
// entry); the pixels stay. Direct images: every pixel, read and written in the
// image's depth (16-bit from and to the top five bits of each component;
// 32-bit keeps its fourth byte), progress per row.
// With a cancel flag the pixels are mapped into a copy that replaces the
// image only when every row is done; a cancel (polled per entry or row)
// returns false with the raster unchanged. Without one they are mapped in
// place. False too when the copy cannot be made (message shown). On success
// the histogram is invalidated and the raster marked changed.
template <typename Map>
bool MapColours(CRaster& raster, RowProgress& report, Map&& map) {
  report.report(0, true);
  const int bits = raster.bitCount();
  if (bits == 4 || bits == 8) {
    const int count = raster.paletteSize();
    std::array<Bgr, 256> entries{};
    std::array<bool, 256> write{};
    for (int i = 0; i < count && i < 256; ++i) {
      if (report.cancelled()) return false;
      const uint8_t* e = raster.palette() + 4 * i;
      entries[static_cast<size_t>(i)] = Bgr{e[0], e[1], e[2]};
      write[static_cast<size_t>(i)] = map(entries[static_cast<size_t>(i)]);
      report.step(i + 1, count);
    }
    if (report.cancelled()) return false;
    for (int i = 0; i < count && i < 256; ++i) {
      const Bgr& c = entries[static_cast<size_t>(i)];
      if (write[static_cast<size_t>(i)]) raster.setPaletteEntry(i, c.b, c.g, c.r);
    }
  } else {
    CRaster copy;
    if (report.cancellable() && !copy.cloneFrom(raster)) return false;  // cloneFrom showed the message
    CRaster& target = report.cancellable() ? copy : raster;
    const int width = raster.width();
    const int height = raster.height();
    for (int y = 0; y < height; ++y) {
      if (report.cancelled()) return false;
      uint8_t* p = target.row(y);
      switch (bits) {
        case 16:
          for (int x = 0; x < width; ++x, p += 2) {
            const unsigned w = p[0] | (p[1] << 8);
            Bgr c{static_cast<uint8_t>((w << 3) & 0xFF), static_cast<uint8_t>((w >> 2) & 0xF8),
                  static_cast<uint8_t>((w >> 7) & 0xF8)};
            if (!map(c)) continue;
            const unsigned out = ((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3);
            p[0] = static_cast<uint8_t>(out & 0xFF);
            p[1] = static_cast<uint8_t>(out >> 8);
          }
          break;
        case 24:
        case 32: {
          const int stepBytes = bits / 8;
          for (int x = 0; x < width; ++x, p += stepBytes) {
            Bgr c{p[0], p[1], p[2]};
            if (!map(c)) continue;
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
          }
          break;
        }
        default: return false;
      }
      report.step(y + 1, height);
    }
    if (report.cancelled()) return false;
    if (&target == &copy) {
      const auto bytes = static_cast<size_t>(raster.usedRowBytes());
      for (int y = 0; y < height; ++y) std::memcpy(raster.row(y), copy.row(y), bytes);
    }
  }
  raster.invalidateHistogram();
  raster.setChanged(true);
  report.report(100, true);
  return true;
}

}  // namespace quillon::raster::detail
