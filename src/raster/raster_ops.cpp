// CRaster: histogram, automatic threshold, conversion to 1-bit, cropping,
// rotation, flip, mirror, invert and the ink run along a line.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "raster/brightness.h"
#include "raster/freeimage_support.h"
#include "raster/raster.h"
#include "settings/language_table.h"

namespace quillon::raster {

using detail::BitmapPtr;
using detail::BrightnessRow;
using detail::BrightnessTables;

namespace {

// Packs ink flags (level <= threshold) of count levels into whole bytes.
void PackInk(const uint8_t* levels, int count, int threshold, uint8_t* out) {
  const int full = count >> 3;
  for (int i = 0; i < full; ++i) {
    const uint8_t* l = levels + 8 * i;
    unsigned byte = 0;
    for (int k = 0; k < 8; ++k) byte = (byte << 1) | (l[k] <= threshold ? 1u : 0u);
    out[i] = static_cast<uint8_t>(byte);
  }
  if (count & 7) {
    unsigned byte = 0;
    for (int k = 0; k < 8; ++k) byte = (byte << 1) | ((k < (count & 7) && levels[8 * full + k] <= threshold) ? 1u : 0u);
    out[full] = static_cast<uint8_t>(byte);
  }
}

FIBITMAP* AllocateOneBit(int width, int height, const RGBQUAD* palette) {
  if (!DecodedSizeAllowed(static_cast<uint64_t>(width), static_cast<uint64_t>(height), 1)) return nullptr;
  FIBITMAP* bitmap = FreeImage_Allocate(width, height, 1);
  if (!bitmap) return nullptr;
  RGBQUAD* pal = FreeImage_GetPalette(bitmap);
  if (palette) {
    pal[0] = palette[0];
    pal[1] = palette[1];
  } else {
    pal[0] = RGBQUAD{255, 255, 255, 0};
    pal[1] = RGBQUAD{0, 0, 0, 0};
  }
  return bitmap;
}

}  // namespace

int AutomaticThreshold(const Histogram& h) {
  int peak = -1;
  for (int i = 255; i >= 0; --i) {
    if (h[static_cast<size_t>(i)] == 80) {
      peak = i;
      break;
    }
  }
  if (peak < 0) return 0;
  int run = 0;
  bool low = false;
  int need = 0;
  for (int i = peak - 1; i >= 0; --i) {
    const int v = h[static_cast<size_t>(i)];
    if (low && v > 71) return i + 1;  // a second tall peak begins just below
    if (v > 23) {
      run = 0;
    } else {
      if (!low) {
        low = true;
        need = peak - i < 16 ? 15 : 10;
      }
      if (std::abs(v - h[static_cast<size_t>(i + 1)]) > 2)
        run = 0;
      else
        ++run;
    }
    // The run only counts once the histogram has been low; before that there
    // is no run length to reach.
    if (low && run >= need) return i;
  }
  return 0;
}

Histogram NormalisedHistogram(const uint64_t* counts) {
  Histogram histogram{};
  const uint64_t max = *std::max_element(counts, counts + 256);
  for (size_t i = 0; i < 256; ++i) {
    const uint64_t c = counts[i];
    histogram[i] = c == max ? 80 : static_cast<uint8_t>(static_cast<double>(c) / static_cast<double>(max) * 80.0);
  }
  return histogram;
}

void CRaster::histogram(Histogram& out, const platform::ProgressCallback& progress) {
  out.fill(0);
  if (!bitmap_ || !color_) return;
  if (histogramValid_) {
    out = histogram_;
    return;
  }
  const std::string text = settings::Text("RasterOpenFile", "Open raster file");
  const BrightnessTables tables(palette_, paletteSize_, true);
  // Four sets of counters taken in turn: a page is mostly one paper level,
  // and one set would make every increment wait for the previous one.
  std::vector<uint64_t> counts(4 * 256, 0);

  // Counted in blocks of columns, row by row inside a block, so that memory
  // is read in runs; progress still goes column by column (10..95).
  constexpr int kBlock = 512;
  std::vector<uint8_t> levels(kBlock);
  for (int x0 = 0; x0 < width_; x0 += kBlock) {
    const int count = std::min(kBlock, width_ - x0);
    for (int y = 0; y < height_; ++y) {
      BrightnessRow(row(y), bitCount_, tables, true, x0, count, levels.data());
      int i = 0;
      for (; i + 4 <= count; i += 4) {
        ++counts[levels[static_cast<size_t>(i)]];
        ++counts[256 + levels[static_cast<size_t>(i + 1)]];
        ++counts[512 + levels[static_cast<size_t>(i + 2)]];
        ++counts[768 + levels[static_cast<size_t>(i + 3)]];
      }
      for (; i < count; ++i) ++counts[levels[static_cast<size_t>(i)]];
    }
    if (progress) {
      for (int x = x0; x < x0 + count; ++x) progress(text, static_cast<int>(int64_t{x} * 85 / width_ + 10));
    }
  }

  for (size_t i = 0; i < 256; ++i) counts[i] += counts[256 + i] + counts[512 + i] + counts[768 + i];
  histogram_ = NormalisedHistogram(counts.data());
  for (int i = 0; i < 256; ++i) platform::Report(progress, text, 95 + 5 * i / 255);
  histogramValid_ = true;
  out = histogram_;
}

int CRaster::automaticThreshold(const platform::ProgressCallback& progress) {
  if (!bitmap_ || !color_) return 0;
  Histogram h;
  histogram(h, progress);
  return AutomaticThreshold(h);
}

bool CRaster::convertTo1Bit(int threshold, const platform::ProgressCallback& progress) {
  if (!bitmap_) return false;
  if (bitCount_ == 1) return true;
  const std::string text = settings::Text("RasterConvert1bitMsg", "Convert to 1-bit");
  BitmapPtr target(AllocateOneBit(width_, height_, nullptr));
  if (!target) {
    detail::ShowNoMemory();
    return false;
  }
  int ppm = 0;
  resolution(ppm);

  platform::Report(progress, text, 0);
  const BrightnessTables tables(palette_, paletteSize_, false);
  std::vector<uint8_t> levels(static_cast<size_t>(width_));
  // Storage order: FreeImage's scan line r is picture row height-1-r.
  for (int r = 0; r < height_; ++r) {
    BrightnessRow(row(height_ - 1 - r), bitCount_, tables, false, 0, width_, levels.data());
    PackInk(levels.data(), width_, threshold, FreeImage_GetScanLine(target.get(), r));
    platform::Report(progress, text, static_cast<int>(int64_t{r} * 100 / height_));
  }

  std::string name = std::move(name_);
  if (!attach(target.release())) return false;
  name_ = std::move(name);
  setResolution(ppm);
  platform::Report(progress, text, 100);
  return true;
}

bool CRaster::cropTo1Bit(CRaster& target, int left, int top, int width, int height, double scale,
                         int threshold) const {
  if (!bitmap_ || &target == this) return false;
  const int x0 = std::max(0, static_cast<int>(left * scale));
  const int y0 = std::max(0, static_cast<int>(top * scale));
  const int x1 = std::min(static_cast<int>(left * scale + width * scale), width_ - 1);
  const int y1 = std::min(static_cast<int>(top * scale + height * scale), height_ - 1);
  if (x0 >= width_ - 1 || y0 >= height_ - 1 || x1 <= x0 || y1 <= y0) return true;
  const int w = x1 - x0, h = y1 - y0;
  if (target.empty() || target.width() != w || target.height() != h || target.bitCount() != 1) {
    if (!target.create(w, h, 1)) return false;
  }
  const BrightnessTables tables(palette_, paletteSize_, false);
  std::vector<uint8_t> levels(static_cast<size_t>(w));
  for (int y = 0; y < h; ++y) {
    BrightnessRow(row(y0 + y), bitCount_, tables, false, x0, w, levels.data());
    PackInk(levels.data(), w, threshold, target.row(y));
  }
  target.setResolution(static_cast<int>(FreeImage_GetDotsPerMeterX(bitmap_)));
  if (histogramValid_)
    target.setHistogram(histogram_);
  else
    target.invalidateHistogram();
  return true;
}

bool CRaster::crop(int left, int top, int right, int bottom) {
  if (!bitmap_) return false;
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, width_);
  bottom = std::min(bottom, height_);
  if (right <= left || bottom <= top) return false;
  const unsigned ppmX = FreeImage_GetDotsPerMeterX(bitmap_), ppmY = FreeImage_GetDotsPerMeterY(bitmap_);
  FIBITMAP* part = FreeImage_Copy(bitmap_, left, top, right, bottom);
  if (!part) {
    detail::ShowNoMemory();
    return false;
  }
  FreeImage_SetDotsPerMeterX(part, ppmX);
  FreeImage_SetDotsPerMeterY(part, ppmY);
  std::string name = std::move(name_);
  const bool ok = attach(part);
  name_ = std::move(name);
  return ok;
}

bool CRaster::rotate(double degrees) {
  if (!bitmap_) return false;
  histogramValid_ = false;
  const unsigned ppmX = FreeImage_GetDotsPerMeterX(bitmap_), ppmY = FreeImage_GetDotsPerMeterY(bitmap_);
  BitmapPtr rotated;
  if (bitCount_ == 1) {
    const double r = degrees * 0.017453292500000002;
    const double c = std::cos(r), s = std::sin(r);
    const double W = width_, H = height_;
    const double w2 = W / 2, h2 = H / 2;
    const double newW = std::max(std::fabs((s * -h2 + c * -w2) - (s * h2 + c * w2)),
                                 std::fabs((s * -h2 + c * w2) - (s * h2 + c * -w2)));
    const double newH = std::max(std::fabs((c * -h2 - s * -w2) - (c * h2 - s * w2)),
                                 std::fabs((c * -h2 - s * w2) - (c * h2 - s * -w2)));
    const int nw = std::max(1, static_cast<int>(newW + 0.5));
    const int nh = std::max(1, static_cast<int>(newH + 0.5));
    const double ox = W / 2 - (c * nw + s * nh) / 2;
    const double oy = H / 2 + (s * nw - c * nh) / 2;
    rotated.reset(AllocateOneBit(nw, nh, reinterpret_cast<const RGBQUAD*>(palette_)));
    if (!rotated) {
      detail::ShowNoMemory();
      return false;
    }
    for (int y = 0; y < nh; ++y) {
      uint8_t* out = FreeImage_GetScanLine(rotated.get(), nh - 1 - y);
      unsigned byte = 0;
      for (int x = 0; x < nw; ++x) {
        const int sx = static_cast<int>(ox + c * x + s * y);
        const int sy = static_cast<int>(oy + c * y - s * x);
        const bool ink = sx >= 0 && sy >= 0 && sx < width_ && sy < height_ && bitAt(sx, sy);
        byte = (byte << 1) | (ink ? 1u : 0u);
        if ((x & 7) == 7) {
          out[x >> 3] = static_cast<uint8_t>(byte);
          byte = 0;
        }
      }
      if (nw & 7) out[nw >> 3] = static_cast<uint8_t>(byte << (8 - (nw & 7)));
    }
  } else {
    // FreeImage rotates 8, 24 and 32-bit images; the corners it uncovers get
    // the background (the palette index nearest to white, or white). Its
    // positive angles turn counter-clockwise on screen, the 1-bit rotation
    // above clockwise; the angle is negated so that every depth turns the
    // same way.
    BitmapPtr widened;
    FIBITMAP* source = bitmap_;
    if (bitCount_ == 4) widened.reset(FreeImage_ConvertTo8Bits(bitmap_));
    if (bitCount_ == 16) widened.reset(FreeImage_ConvertTo24Bits(bitmap_));
    if (bitCount_ == 4 || bitCount_ == 16) {
      if (!widened) {
        detail::ShowNoMemory();
        return false;
      }
      source = widened.get();
    }
    std::array<uint8_t, 4> fill = background_;
    if (FreeImage_GetBPP(source) > 8) fill = {255, 255, 255, 255};
    rotated.reset(FreeImage_Rotate(source, -degrees, fill.data()));
    if (!rotated) {
      detail::ShowNoMemory();
      return false;
    }
  }
  FreeImage_SetDotsPerMeterX(rotated.get(), ppmX);
  FreeImage_SetDotsPerMeterY(rotated.get(), ppmY);
  std::string name = std::move(name_);
  const bool ok = attach(rotated.release());
  name_ = std::move(name);
  return ok;
}

bool CRaster::flip() { return bitmap_ && FreeImage_FlipVertical(bitmap_); }

bool CRaster::mirror() { return bitmap_ && FreeImage_FlipHorizontal(bitmap_); }

bool CRaster::invert() {
  if (!bitmap_) return false;
  if (bitCount_ == 1) {
    // Every bit, whatever the palette: after tracing entry 1 is recoloured,
    // and FreeImage would then invert the palette instead of the bits.
    for (int y = 0; y < height_; ++y) {
      uint8_t* r = row(y);
      for (int i = 0; i < rowBytes_; ++i) r[i] = static_cast<uint8_t>(~r[i]);
    }
  } else {
    if (!FreeImage_Invert(bitmap_)) return false;
    findBackground();
  }
  if (histogramValid_) std::reverse(histogram_.begin(), histogram_.end());
  return true;
}

int CRaster::inkRunAlongLine(int x0, int y0, int x1, int y1) const {
  if (bitCount_ != 1) return -1;
  const int dx = std::abs(x1 - x0), stepX = x0 < x1 ? 1 : -1;
  const int dy = -std::abs(y1 - y0), stepY = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  int x = x0, y = y0;
  int count = 0;
  bool gap = false;  // one background pixel seen, not yet followed by ink
  while (x != x1 || y != y1) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return -1;
    if (bitAt(x, y)) {
      count += gap ? 2 : 1;
      gap = false;
    } else {
      if (gap) return count;
      gap = true;
    }
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += stepX;
    }
    if (e2 <= dx) {
      err += dx;
      y += stepY;
    }
  }
  return count;
}

}  // namespace quillon::raster
