// CRaster::loadThresholded: an 8-bit BMP read row block by row block into a
// 1-bit image. A grey A0 scan is 140 MB of pixels; holding it only to
// threshold it costs that memory and two passes over it.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "raster/brightness.h"
#include "raster/freeimage_support.h"
#include "raster/raster.h"

namespace quillon::raster {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

constexpr size_t kFileHeader = 14;
constexpr size_t kInfoHeader = 40;
constexpr size_t kPaletteBytes = 256 * 4;
// Rows are read in blocks of about this many bytes.
constexpr size_t kBlockBytes = size_t{1} << 20;

// The layout of a BMP this reader takes; anything else goes to the decoder.
struct PlainGreyBmp {
  int width = 0;
  int height = 0;
  size_t pitch = 0;
  uint64_t pixelOffset = 0;
  uint32_t pixelsPerMetre = 0;
  std::array<uint8_t, kPaletteBytes> palette{};
};

bool ReadLayout(std::FILE* file, uint64_t fileSize, PlainGreyBmp& bmp) {
  uint8_t header[kFileHeader + kInfoHeader];
  if (std::fread(header, sizeof header, 1, file) != 1) return false;
  const uint8_t* info = header + kFileHeader;
  const auto width = static_cast<int32_t>(Le32(info + 4));
  const auto height = static_cast<int32_t>(Le32(info + 8));
  const uint32_t colours = Le32(info + 32);
  // Bottom-up only: its rows are stored in FreeImage's order.
  if (header[0] != 'B' || header[1] != 'M' || Le32(info) != kInfoHeader || width <= 0 || height <= 0 ||
      Le16(info + 12) != 1 || Le16(info + 14) != 8 || Le32(info + 16) != 0 || (colours != 0 && colours != 256)) {
    return false;
  }
  if (!DecodedSizeAllowed(static_cast<uint64_t>(width), static_cast<uint64_t>(height), 8)) return false;
  bmp.width = width;
  bmp.height = height;
  bmp.pitch = (static_cast<size_t>(width) + 3) & ~size_t{3};
  bmp.pixelOffset = Le32(header + 10);
  bmp.pixelsPerMetre = Le32(info + 24);
  if (bmp.pixelOffset < kFileHeader + kInfoHeader + kPaletteBytes ||
      bmp.pixelOffset + static_cast<uint64_t>(bmp.pitch) * static_cast<uint64_t>(height) > fileSize) {
    return false;
  }
  return std::fread(bmp.palette.data(), kPaletteBytes, 1, file) == 1;
}

// Calls use(r, row) for every stored row r (bottom row first).
template <typename Use>
bool ForEachStoredRow(std::FILE* file, const PlainGreyBmp& bmp, std::vector<uint8_t>& block, const Use& use) {
  if (std::fseek(file, static_cast<long>(bmp.pixelOffset), SEEK_SET) != 0) return false;
  const size_t rowsPerBlock = std::max<size_t>(1, kBlockBytes / bmp.pitch);
  for (int r = 0; r < bmp.height;) {
    const size_t rows = std::min(rowsPerBlock, static_cast<size_t>(bmp.height - r));
    if (std::fread(block.data(), bmp.pitch, rows, file) != rows) return false;
    for (size_t i = 0; i < rows; ++i, ++r) use(r, block.data() + i * bmp.pitch);
  }
  return true;
}

}  // namespace

bool CRaster::loadThresholded(const std::string& path, int threshold, int& used) {
  release();
  if (detail::FormatFromExtension(path) != FIF_BMP) return false;
  std::error_code ec;
  const uint64_t fileSize = std::filesystem::file_size(path, ec);
  if (ec) return false;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  PlainGreyBmp bmp;
  if (!ReadLayout(file.get(), fileSize, bmp)) return false;
  detail::EnsureFreeImage();

  std::vector<uint8_t> block;
  try {
    block.resize(std::max<size_t>(1, kBlockBytes / bmp.pitch) * bmp.pitch);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (threshold < 0) {
    // Counted per palette index, then per level: the same counts as the
    // level-by-level histogram of the decoded picture.
    std::array<uint64_t, 4 * 256> byIndex{};
    const int width = bmp.width;
    const bool read = ForEachStoredRow(file.get(), bmp, block, [&](int, const uint8_t* row) {
      int x = 0;
      for (; x + 4 <= width; x += 4) {
        ++byIndex[row[x]];
        ++byIndex[256 + row[x + 1]];
        ++byIndex[512 + row[x + 2]];
        ++byIndex[768 + row[x + 3]];
      }
      for (; x < width; ++x) ++byIndex[row[x]];
    });
    if (!read) return false;
    const detail::BrightnessTables rounded(bmp.palette.data(), 256, true);
    std::array<uint64_t, 256> counts{};
    for (size_t i = 0; i < 256; ++i) {
      counts[rounded.paletteLevel[i]] += byIndex[i] + byIndex[256 + i] + byIndex[512 + i] + byIndex[768 + i];
    }
    threshold = AutomaticThreshold(NormalisedHistogram(counts.data()));
  }

  // Ink where the truncated brightness is at most the threshold.
  const detail::BrightnessTables truncated(bmp.palette.data(), 256, false);
  std::array<uint8_t, 256> ink{};
  for (size_t i = 0; i < 256; ++i) ink[i] = truncated.paletteLevel[i] <= threshold ? 1 : 0;
  detail::BitmapPtr target(FreeImage_Allocate(bmp.width, bmp.height, 1));
  if (!target) return false;
  RGBQUAD* pal = FreeImage_GetPalette(target.get());
  pal[0] = RGBQUAD{255, 255, 255, 0};
  pal[1] = RGBQUAD{0, 0, 0, 0};
  const int full = bmp.width >> 3;
  const int rest = bmp.width & 7;
  const bool read = ForEachStoredRow(file.get(), bmp, block, [&](int r, const uint8_t* row) {
    uint8_t* out = FreeImage_GetScanLine(target.get(), r);
    for (int i = 0; i < full; ++i) {
      const uint8_t* p = row + 8 * i;
      out[i] = static_cast<uint8_t>(ink[p[0]] << 7 | ink[p[1]] << 6 | ink[p[2]] << 5 | ink[p[3]] << 4 |
                                    ink[p[4]] << 3 | ink[p[5]] << 2 | ink[p[6]] << 1 | ink[p[7]]);
    }
    if (rest != 0) {
      unsigned byte = 0;
      for (int k = 0; k < rest; ++k) byte |= static_cast<unsigned>(ink[row[8 * full + k]]) << (7 - k);
      out[full] = static_cast<uint8_t>(byte);
    }
  });
  if (!read) return false;
  // The decoder takes the horizontal resolution as it stands; the 1-bit
  // conversion then settles it (1 dpi or less: the default) for both axes.
  FreeImage_SetDotsPerMeterX(target.get(), bmp.pixelsPerMetre);
  if (!attach(target.release())) return false;
  int pixelsPerMetre = 0;
  resolution(pixelsPerMetre);
  setResolution(pixelsPerMetre);
  used = threshold;
  return true;
}

}  // namespace quillon::raster
