// CRaster: life cycle, the row table, pixel accessors, load and save.
#include "raster/raster.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <new>

#include "platform/atomic_file.h"
#include "platform/message_sink.h"
#include "raster/freeimage_support.h"
#include "settings/language_table.h"

namespace quillon::raster {

using detail::BitmapPtr;

namespace {

bool IsWhite(const RGBQUAD& q) { return q.rgbRed == 255 && q.rgbGreen == 255 && q.rgbBlue == 255; }

// Brings any FreeImage bitmap to a standard bitmap of a depth the accessors
// know: 1, 4, 8, 16 (5-5-5), 24 or 32 bits. Returns the bitmap to use (the
// input or a converted copy, the input then freed); null when impossible.
FIBITMAP* Standardise(FIBITMAP* bitmap) {
  FIBITMAP* converted = nullptr;
  switch (FreeImage_GetImageType(bitmap)) {
    case FIT_BITMAP: {
      const unsigned bpp = FreeImage_GetBPP(bitmap);
      if (bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24 || bpp == 32) return bitmap;
      if (bpp == 16 && FreeImage_GetRedMask(bitmap) == FI16_555_RED_MASK &&
          FreeImage_GetGreenMask(bitmap) == FI16_555_GREEN_MASK && FreeImage_GetBlueMask(bitmap) == FI16_555_BLUE_MASK)
        return bitmap;
      converted = FreeImage_ConvertTo24Bits(bitmap);
      break;
    }
    case FIT_RGB16:
    case FIT_RGBF: converted = FreeImage_ConvertTo24Bits(bitmap); break;
    case FIT_RGBA16:
    case FIT_RGBAF: converted = FreeImage_ConvertTo32Bits(bitmap); break;
    default: converted = FreeImage_ConvertToStandardType(bitmap, TRUE); break;
  }
  FreeImage_Unload(bitmap);
  return converted;
}

bool HasBmpExtension(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".bmp";
}

// FreeImage writes through these into an AtomicFile, so a failed save never
// replaces a good file with half a bitmap.
unsigned DLL_CALLCONV AtomicWrite(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  auto* file = static_cast<platform::AtomicFile*>(handle);
  return file->write(buffer, size_t{size} * count) ? count : 0;
}
unsigned DLL_CALLCONV NoRead(void*, unsigned, unsigned, fi_handle) { return 0; }
int DLL_CALLCONV AtomicSeek(fi_handle handle, long offset, int origin) {
  return std::fseek(static_cast<platform::AtomicFile*>(handle)->stream(), offset, origin);
}
long DLL_CALLCONV AtomicTell(fi_handle handle) { return std::ftell(static_cast<platform::AtomicFile*>(handle)->stream()); }

}  // namespace

CRaster::CRaster() = default;

CRaster::~CRaster() { release(); }

CRaster::CRaster(CRaster&& other) noexcept { other.moveTo(*this); }

CRaster& CRaster::operator=(CRaster&& other) noexcept {
  other.moveTo(*this);
  return *this;
}

void CRaster::clearFields() {
  bitmap_ = nullptr;
  palette_ = nullptr;
  paletteSize_ = 0;
  bitCount_ = 0;
  rows_.clear();
  rows_.shrink_to_fit();
  rowBytes_ = 0;
  changed_ = thinned_ = color_ = false;
  width_ = height_ = 0;
  background_ = {255, 255, 255, 255};
  histogramValid_ = false;
}

void CRaster::release() {
  attachment_.reset();
  if (bitmap_) FreeImage_Unload(bitmap_);
  clearFields();
}

FIBITMAP* CRaster::detach() {
  FIBITMAP* bitmap = bitmap_;
  bitmap_ = nullptr;
  release();
  return bitmap;
}

bool CRaster::attach(FIBITMAP* bitmap) {
  release();
  if (!bitmap) return false;
  detail::EnsureFreeImage();
  if (!FreeImage_HasPixels(bitmap) || FreeImage_GetWidth(bitmap) == 0 || FreeImage_GetHeight(bitmap) == 0) {
    FreeImage_Unload(bitmap);
    return false;
  }
  bitmap = Standardise(bitmap);
  if (!bitmap) {
    detail::ShowNoMemory();
    return false;
  }
  const int height = static_cast<int>(FreeImage_GetHeight(bitmap));
  try {
    rows_.resize(static_cast<size_t>(height));
  } catch (const std::bad_alloc&) {
    FreeImage_Unload(bitmap);
    clearFields();
    detail::ShowNoMemory();
    return false;
  }
  bitmap_ = bitmap;
  width_ = static_cast<int>(FreeImage_GetWidth(bitmap));
  height_ = height;
  bitCount_ = static_cast<int>(FreeImage_GetBPP(bitmap));
  rowBytes_ = static_cast<int>(FreeImage_GetPitch(bitmap));
  palette_ = reinterpret_cast<uint8_t*>(FreeImage_GetPalette(bitmap));
  paletteSize_ = palette_ ? static_cast<int>(FreeImage_GetColorsUsed(bitmap)) : 0;
  // FreeImage stores the bottom row first; the table is top-down.
  for (int i = 0; i < height; ++i) rows_[static_cast<size_t>(height - 1 - i)] = FreeImage_GetScanLine(bitmap, i);
  changed_ = false;
  color_ = bitCount_ > 1;

  if (color_) {
    findBackground();
    return true;
  }
  // One convention for every 1-bit image: entry 0 white, entry 1 black, a
  // set bit is ink. A picture stored the other way round is inverted so it
  // looks the same.
  auto* pal = reinterpret_cast<RGBQUAD*>(palette_);
  pal[1] = RGBQUAD{0, 0, 0, 0};
  if (!IsWhite(pal[0])) {
    pal[0] = RGBQUAD{255, 255, 255, 0};
    for (int y = 0; y < height_; ++y) {
      uint8_t* r = row(y);
      for (int i = 0; i < rowBytes_; ++i) r[i] = static_cast<uint8_t>(~r[i]);
    }
    if (histogramValid_) std::reverse(histogram_.begin(), histogram_.end());
  }
  background_ = {0, 0, 0, 0};
  return true;
}

void CRaster::findBackground() {
  if (bitCount_ > 8 || !palette_) {
    background_ = {255, 255, 255, 255};
    return;
  }
  const auto* pal = reinterpret_cast<const RGBQUAD*>(palette_);
  int best = 0;
  long bestDistance = -1;
  for (int i = 0; i < paletteSize_; ++i) {
    const long dr = 255 - pal[i].rgbRed, dg = 255 - pal[i].rgbGreen, db = 255 - pal[i].rgbBlue;
    const long distance = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      bestDistance = distance;
      best = i;
      if (distance == 0) break;
    }
  }
  const auto index = static_cast<uint8_t>(best);
  background_ = {index, index, index, index};
}

bool CRaster::create(int width, int height, int bitCount) {
  release();
  detail::EnsureFreeImage();
  if (width <= 0 || height <= 0 ||
      !(bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 || bitCount == 32)) {
    platform::ShowMessage(settings::Text("RasterBadSizeMsg", "Invalid raster size or depth") + " (" +
                          std::to_string(width) + " x " + std::to_string(height) + ", " + std::to_string(bitCount) +
                          " bits)");
    return false;
  }
  if (!DecodedSizeAllowed(static_cast<uint64_t>(width), static_cast<uint64_t>(height), static_cast<unsigned>(bitCount))) {
    detail::ShowNoMemory();
    return false;
  }
  FIBITMAP* bitmap = bitCount == 16 ? FreeImage_Allocate(width, height, 16, FI16_555_RED_MASK, FI16_555_GREEN_MASK,
                                                         FI16_555_BLUE_MASK)
                                    : FreeImage_Allocate(width, height, bitCount);
  if (!bitmap) {
    detail::ShowNoMemory();
    return false;
  }
  if (RGBQUAD* pal = FreeImage_GetPalette(bitmap)) {
    const unsigned colours = FreeImage_GetColorsUsed(bitmap);
    for (unsigned i = 0; i < colours; ++i) {
      const auto level = static_cast<BYTE>(colours == 2 ? (i == 0 ? 255 : 0) : i * 255 / (colours - 1));
      pal[i] = RGBQUAD{level, level, level, 0};
    }
  }
  if (!attach(bitmap)) return false;
  fillBytes(0);
  return true;
}

bool CRaster::load(const std::string& path) {
  release();
  std::string reason;
  BitmapPtr bitmap = detail::LoadBitmapFile(path, detail::FormatFromExtension(path), reason);
  if (!bitmap) {
    platform::ShowMessage(detail::ReadFailureMessage(path, reason));
    return false;
  }
  return attach(bitmap.release());
}

bool CRaster::save(const std::string& path) const {
  if (!bitmap_ || !HasBmpExtension(path)) return false;
  detail::EnsureFreeImage();
  platform::AtomicFile file(path);
  bool ok = file.open();
  if (ok) {
    FreeImageIO io{NoRead, AtomicWrite, AtomicSeek, AtomicTell};
    detail::LibraryMessageScope messages;
    ok = FreeImage_SaveToHandle(FIF_BMP, bitmap_, &io, &file, BMP_DEFAULT) && file.commit();
  }
  if (!ok) {
    platform::ShowMessage(settings::Text("RasterWriteFailMsg", "Cannot write raster file") + " " + path +
                          (file.error().empty() ? std::string() : ": " + file.error()));
  }
  return ok;
}

bool CRaster::cloneFrom(const CRaster& other) {
  if (&other == this) return true;
  release();
  if (!other.bitmap_) return true;
  FIBITMAP* copy = FreeImage_Clone(other.bitmap_);
  if (!copy) {
    detail::ShowNoMemory();
    return false;
  }
  if (!attach(copy)) return false;
  changed_ = other.changed_;
  thinned_ = other.thinned_;
  color_ = other.color_;
  if (other.histogramValid_) {
    histogram_ = other.histogram_;
    histogramValid_ = true;
  }
  return true;
}

bool CRaster::moveTo(CRaster& target) {
  if (&target == this) return true;
  target.release();
  target.bitmap_ = bitmap_;
  target.palette_ = palette_;
  target.paletteSize_ = paletteSize_;
  target.bitCount_ = bitCount_;
  target.rows_ = std::move(rows_);
  target.rowBytes_ = rowBytes_;
  target.changed_ = changed_;
  target.thinned_ = thinned_;
  target.color_ = color_;
  target.width_ = width_;
  target.height_ = height_;
  target.background_ = background_;
  target.histogram_ = histogram_;
  target.histogramValid_ = histogramValid_;
  target.name_ = std::move(name_);
  target.nameValue1_ = nameValue1_;
  target.nameValue2_ = nameValue2_;
  target.attachment_ = std::move(attachment_);
  clearFields();
  name_.clear();
  nameValue1_ = nameValue2_ = 32;
  return true;
}

bool CRaster::resolution(int& pixelsPerMetre) {
  if (!bitmap_) return false;
  unsigned value = FreeImage_GetDotsPerMeterX(bitmap_);
  // 1 dpi or less means the file carried no resolution.
  if (static_cast<double>(value) * 0.01 * 2.54 <= 1.0) {
    value = kDefaultPixelsPerMetre;
    FreeImage_SetDotsPerMeterX(bitmap_, value);
    FreeImage_SetDotsPerMeterY(bitmap_, value);
  }
  pixelsPerMetre = static_cast<int>(std::min<unsigned>(value, 0x7fffffff));
  return true;
}

int CRaster::dotsPerInch() {
  int ppm = 0;
  if (!resolution(ppm)) return 0;
  return static_cast<int>(ppm * 0.0254 + 0.5);
}

bool CRaster::setResolution(int pixelsPerMetre) {
  if (!bitmap_ || pixelsPerMetre < 0) return false;
  FreeImage_SetDotsPerMeterX(bitmap_, static_cast<unsigned>(pixelsPerMetre));
  FreeImage_SetDotsPerMeterY(bitmap_, static_cast<unsigned>(pixelsPerMetre));
  return true;
}

int CRaster::indexAt(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return -1;
  const uint8_t* r = row(y);
  switch (bitCount_) {
    case 1: return bitAt(x, y) ? 1 : 0;
    case 4: return (x & 1) ? (r[x >> 1] & 0x0F) : (r[x >> 1] >> 4);
    case 8: return r[x];
    default: return -1;
  }
}

bool CRaster::setIndex(int x, int y, int value) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  uint8_t* r = row(y);
  switch (bitCount_) {
    case 1: setBit(x, y, value != 0); return true;
    case 4: {
      uint8_t& b = r[x >> 1];
      const auto v = static_cast<uint8_t>(value & 0x0F);
      b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | v) : static_cast<uint8_t>((b & 0x0F) | (v << 4));
      return true;
    }
    case 8: r[x] = static_cast<uint8_t>(value); return true;
    default: return false;
  }
}

bool CRaster::colourAt(int x, int y, uint8_t& blue, uint8_t& green, uint8_t& red) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  const uint8_t* r = row(y);
  switch (bitCount_) {
    case 1: blue = green = red = bitAt(x, y) ? 0 : 255; return true;
    case 4:
    case 8: {
      const int index = indexAt(x, y);
      if (index >= paletteSize_) {
        blue = green = red = 0;
        return true;
      }
      const uint8_t* entry = palette_ + 4 * index;
      blue = entry[0];
      green = entry[1];
      red = entry[2];
      return true;
    }
    case 16: {
      const unsigned w = r[2 * x] | (r[2 * x + 1] << 8);
      red = static_cast<uint8_t>((w >> 7) & 0xF8);
      green = static_cast<uint8_t>((w >> 2) & 0xF8);
      blue = static_cast<uint8_t>((w << 3) & 0xFF);
      return true;
    }
    case 24:
    case 32: {
      const uint8_t* p = r + (bitCount_ / 8) * x;
      blue = p[0];
      green = p[1];
      red = p[2];
      return true;
    }
    default: return false;
  }
}

bool CRaster::setColour(int x, int y, uint8_t blue, uint8_t green, uint8_t red) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  uint8_t* r = row(y);
  switch (bitCount_) {
    case 1: {
      const int v = static_cast<int>(0.587 * green + 0.299 * red + 0.114 * blue);
      setBit(x, y, v < 128);
      return true;
    }
    case 4:
    case 8: return setIndex(x, y, red);
    case 16: {
      const unsigned w = ((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3);
      r[2 * x] = static_cast<uint8_t>(w & 0xFF);
      r[2 * x + 1] = static_cast<uint8_t>(w >> 8);
      return true;
    }
    case 24:
    case 32: {
      uint8_t* p = r + (bitCount_ / 8) * x;
      p[0] = blue;
      p[1] = green;
      p[2] = red;
      return true;
    }
    default: return false;
  }
}

bool CRaster::unpackRow(int y, uint8_t* out) const {
  if (bitCount_ != 1 || y < 0 || y >= height_) return false;
  const uint8_t* r = row(y);
  const int fullBytes = width_ >> 3;
  for (int i = 0; i < fullBytes; ++i) {
    const uint8_t b = r[i];
    for (int k = 0; k < 8; ++k) out[8 * i + k] = static_cast<uint8_t>((b >> (7 - k)) & 1);
  }
  for (int x = fullBytes * 8; x < width_; ++x) out[x] = static_cast<uint8_t>((r[x >> 3] >> (7 - (x & 7))) & 1);
  return true;
}

void CRaster::fillBytes(uint8_t value) {
  for (int y = 0; y < height_; ++y) std::memset(row(y), value, static_cast<size_t>(rowBytes_));
}

void CRaster::setGreyEntry(int index, uint8_t level) {
  if (!palette_ || index < 0 || index >= paletteSize_) return;
  uint8_t* entry = palette_ + 4 * index;
  entry[0] = entry[1] = entry[2] = level;
}

bool CRaster::setPaletteEntry(int index, uint8_t blue, uint8_t green, uint8_t red) {
  if (!palette_ || index < 0 || index >= paletteSize_) return false;
  uint8_t* entry = palette_ + 4 * index;
  entry[0] = blue;
  entry[1] = green;
  entry[2] = red;
  if (color_) findBackground();  // 1-bit images keep background index 0
  return true;
}

bool CRaster::isGreyPalette() const {
  if (bitCount_ != 8 || !palette_) return false;
  // A full grey ramp is grey whatever the pixels use; no need to scan them.
  bool ramp = paletteSize_ == 256;
  for (int i = 0; ramp && i < 256; ++i) {
    const uint8_t* e = palette_ + 4 * i;
    ramp = e[0] == i && e[1] == i && e[2] == i;
  }
  if (ramp) return true;
  std::array<bool, 256> used{};
  for (int y = 0; y < height_; ++y) {
    const uint8_t* r = row(y);
    for (int x = 0; x < width_; ++x) used[r[x]] = true;
  }
  for (int i = 0; i < 256; ++i) {
    if (!used[static_cast<size_t>(i)]) continue;
    if (i >= paletteSize_) return false;
    const uint8_t* e = palette_ + 4 * i;
    if (e[0] != i || e[1] != i || e[2] != i) return false;
  }
  return true;
}

bool CRaster::makeGreyPalette() {
  if (bitCount_ != 8 || !palette_) return false;
  for (int i = 0; i < paletteSize_; ++i) setGreyEntry(i, static_cast<uint8_t>(i));
  findBackground();
  return true;
}

}  // namespace quillon::raster
