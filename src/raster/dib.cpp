#include "raster/dib.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/message_sink.h"
#include "raster/freeimage_support.h"
#include "raster/raster.h"
#include "settings/language_table.h"

namespace quillon::raster {

namespace {

constexpr size_t kInfoHeaderSize = 40;
constexpr size_t kFileHeaderSize = 14;
constexpr uint16_t kBitmapType = 19778;  // "BM" read as a little-endian 16-bit value

uint32_t Get32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

bool ValidDepth(int bits) { return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32; }

uint64_t RowBytes(uint64_t width, unsigned bits) { return (bits * width + 31) / 32 * 4; }

}  // namespace

int CDib::width() const { return empty() ? 0 : static_cast<int>(Get32(block_.data() + 4)); }
int CDib::height() const { return empty() ? 0 : static_cast<int>(Get32(block_.data() + 8)); }
int CDib::bitCount() const { return empty() ? 0 : Get16(block_.data() + 14); }
uint32_t CDib::imageSize() const { return empty() ? 0 : Get32(block_.data() + 20); }

int CDib::colourCount() const {
  if (empty()) return 0;
  const uint32_t used = Get32(block_.data() + 32);
  if (used != 0) return static_cast<int>(std::min<uint32_t>(used, 256));
  return bitCount() <= 8 ? 1 << bitCount() : 0;
}

const uint8_t* CDib::bits() const {
  return empty() ? nullptr : block_.data() + kInfoHeaderSize + 4 * static_cast<size_t>(colourCount());
}
uint8_t* CDib::bits() { return empty() ? nullptr : block_.data() + kInfoHeaderSize + 4 * static_cast<size_t>(colourCount()); }

void CDib::release() {
  block_.clear();
  block_.shrink_to_fit();
}

bool CDib::consistent() const {
  if (block_.size() < kInfoHeaderSize || Get32(block_.data()) != kInfoHeaderSize) return false;
  const int w = width(), h = height(), bits = bitCount();
  if (w <= 0 || h <= 0 || !ValidDepth(bits)) return false;
  const uint64_t needed = kInfoHeaderSize + 4 * uint64_t(colourCount()) + RowBytes(uint64_t(w), unsigned(bits)) * uint64_t(h);
  return needed <= block_.size();
}

bool CDib::create(int width, int height, int bitCount) {
  release();
  if (width <= 0 || height <= 0 || !ValidDepth(bitCount) ||
      !DecodedSizeAllowed(uint64_t(width), uint64_t(height), unsigned(bitCount)))
    return false;
  const int colours = bitCount <= 8 ? 1 << bitCount : 0;
  const uint64_t image = RowBytes(uint64_t(width), unsigned(bitCount)) * uint64_t(height);
  try {
    block_.assign(kInfoHeaderSize + 4 * size_t(colours) + image, 0);
  } catch (const std::bad_alloc&) {
    release();
    return false;
  }
  uint8_t* h = block_.data();
  Put32(h, kInfoHeaderSize);
  Put32(h + 4, uint32_t(width));
  Put32(h + 8, uint32_t(height));
  Put16(h + 12, 1);
  Put16(h + 14, uint16_t(bitCount));
  Put32(h + 20, uint32_t(image));
  Put32(h + 32, uint32_t(colours));
  for (int i = 0; i < colours; ++i) {
    const auto level = uint8_t(colours == 2 ? (i == 0 ? 255 : 0) : i * 255 / (colours - 1));
    std::memset(h + kInfoHeaderSize + 4 * i, level, 3);
  }
  return true;
}

bool CDib::copyFrom(const CRaster& raster) {
  release();
  if (raster.empty() || !create(raster.width(), raster.height(), raster.bitCount())) return false;
  uint8_t* h = block_.data();
  const int ppm = int(FreeImage_GetDotsPerMeterX(raster.bitmap()));
  Put32(h + 24, uint32_t(ppm));
  Put32(h + 28, uint32_t(ppm));
  if (raster.palette())
    std::memcpy(h + kInfoHeaderSize, raster.palette(), 4 * size_t(std::min(colourCount(), raster.paletteSize())));
  const size_t rowBytes = size_t(RowBytes(uint64_t(raster.width()), unsigned(raster.bitCount())));
  uint8_t* out = bits();
  for (int i = 0; i < raster.height(); ++i)
    std::memcpy(out + rowBytes * size_t(i), raster.row(raster.height() - 1 - i), rowBytes);
  return true;
}

bool CDib::adopt(std::vector<uint8_t> block) {
  block_ = std::move(block);
  if (!consistent()) {
    release();
    return false;
  }
  return true;
}

bool CDib::read(std::istream& in) {
  release();
  uint8_t fileHeader[kFileHeaderSize];
  if (!in.read(reinterpret_cast<char*>(fileHeader), kFileHeaderSize) || Get16(fileHeader) != kBitmapType) return false;
  // Everything after the file header, but never more than the largest image
  // accepted (plus header and colour table).
  std::vector<uint8_t> rest;
  const uint64_t cap = DecodedSizeLimit() + kInfoHeaderSize + 4 * 256;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    rest.insert(rest.end(), buffer, buffer + in.gcount());
    if (rest.size() > cap) return false;
  }
  if (rest.size() < kInfoHeaderSize || Get32(rest.data()) != kInfoHeaderSize) return false;
  block_ = std::move(rest);
  uint8_t* h = block_.data();
  const int bits = Get16(h + 14);
  if (Get32(h + 32) == 0) Put32(h + 32, bits <= 8 ? 1u << bits : 0u);
  if (Get32(h + 20) == 0) {
    const uint64_t image = RowBytes(Get32(h + 4), unsigned(bits)) * Get32(h + 8);
    Put32(h + 20, uint32_t(std::min<uint64_t>(image, 0xFFFFFFFFu)));
  }
  if (!consistent()) {
    release();
    return false;
  }
  return true;
}

bool CDib::write(std::ostream& out) const {
  if (empty()) return false;
  uint8_t fileHeader[kFileHeaderSize] = {};
  Put16(fileHeader, kBitmapType);
  Put32(fileHeader + 2, uint32_t(kFileHeaderSize + block_.size()));
  Put32(fileHeader + 10, uint32_t(kFileHeaderSize + kInfoHeaderSize + 4 * size_t(colourCount())));
  out.write(reinterpret_cast<const char*>(fileHeader), kFileHeaderSize);
  out.write(reinterpret_cast<const char*>(block_.data()), std::streamsize(block_.size()));
  return bool(out);
}

bool CDib::copyTo(CRaster& raster) const {
  raster.release();
  if (!consistent() || Get32(block_.data() + 16) != 0) {  // only uncompressed bits
    platform::ShowMessage(settings::Text("RasterCopyDibMsg", "Copy DIB Error !!!"));
    return false;
  }
  detail::EnsureFreeImage();
  const int w = width(), h = height(), bpp = bitCount();
  detail::BitmapPtr bitmap(bpp == 16 ? FreeImage_Allocate(w, h, 16, FI16_555_RED_MASK, FI16_555_GREEN_MASK, FI16_555_BLUE_MASK)
                                     : FreeImage_Allocate(w, h, bpp));
  if (!bitmap) {
    platform::ShowMessage(settings::Text("RasterCloneDibMsg", "Clone DIB failed !"));
    return false;
  }
  if (RGBQUAD* pal = FreeImage_GetPalette(bitmap.get()))
    std::memcpy(pal, block_.data() + kInfoHeaderSize,
                4 * size_t(std::min<int>(colourCount(), int(FreeImage_GetColorsUsed(bitmap.get())))));
  const size_t rowBytes = size_t(RowBytes(uint64_t(w), unsigned(bpp)));
  for (int i = 0; i < h; ++i) std::memcpy(FreeImage_GetScanLine(bitmap.get(), i), bits() + rowBytes * size_t(i), rowBytes);
  FreeImage_SetDotsPerMeterX(bitmap.get(), Get32(block_.data() + 24));
  FreeImage_SetDotsPerMeterY(bitmap.get(), Get32(block_.data() + 28));
  return raster.attach(bitmap.release());
}

}  // namespace quillon::raster
