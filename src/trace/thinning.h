#pragma once
// Two-step thinning of a 1-bit raster to an 8-connected skeleton one pixel
// wide. Step one is the parallel two-sub-iteration thinning of Zhang and Suen,
// confined after the first iteration to rows around the last changes; step two
// removes, sequentially in raster order, every pixel whose removal keeps the
// skeleton connected (ThinRemoveTable).

#include <array>
#include <bit>
#include <cstring>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "platform/progress.h"
#include "raster/raster.h"

namespace quillon::trace {

// Bits of a NeighbourCode: the eight neighbours of a pixel, north being the
// row above on the screen. The same values serve as step directions.
enum NeighbourBit : uint8_t {
  kNorthWest = 1,
  kNorth = 2,
  kNorthEast = 4,
  kWest = 8,
  kEast = 16,
  kSouthWest = 32,
  kSouth = 64,
  kSouthEast = 128,
};

namespace detail {

constexpr std::array<bool, 256> CodeTable(std::initializer_list<int> codes) {
  std::array<bool, 256> table{};
  for (int code : codes) table[static_cast<std::size_t>(code)] = true;
  return table;
}

}  // namespace detail

// Indexed by NeighbourCode: true when the second thinning step may remove the
// pixel (8-simple, not an end point; code 96 is deliberately kept so that a
// south-west/south corner survives while its mirror images do not).
inline constexpr std::array<bool, 256> ThinRemoveTable = detail::CodeTable({
    3,   6,   7,   9,   10,  11,  14,  15,  18,  19,  20,  22,  23,  26,  27,  30,  31,  40,
    41,  42,  43,  46,  47,  58,  59,  62,  63,  72,  73,  74,  75,  78,  79,  80,  82,  83,
    84,  86,  87,  88,  89,  92,  93,  104, 105, 106, 107, 110, 111, 112, 114, 115, 116, 118,
    119, 120, 121, 124, 125, 144, 146, 147, 148, 150, 151, 154, 155, 158, 159, 186, 187, 190,
    191, 192, 200, 201, 202, 203, 206, 207, 208, 210, 211, 212, 214, 215, 216, 217, 220, 221,
    224, 232, 233, 234, 235, 238, 239, 240, 242, 243, 244, 246, 247, 248, 249, 252, 253,
});

// Thin first step on a 1-bit raster, in place, reporting "Thin first step":
// one progress value per iteration (pixels removed by it). Every test of a
// sub-iteration sees the raster as it was when the sub-iteration began; rows
// are split into bands processed by up to `threads` threads (0: one per
// hardware core) with a result identical to the single-threaded run.
// False when cancelled (finished(10) delivered) or when the row flags cannot
// be allocated (finished(20) delivered). If a sub-iteration cannot allocate
// its working storage the step ends as if converged and returns true.
// With keepStrokeEnds a pixel needs three ink neighbours to go, so that
// strokes two pixels thick at 45 degrees are not eaten away from their ends.
bool ThinFirstStep(raster::CRaster& skeleton, platform::ProgressSink* sink, int threads = 0,
                   bool keepStrokeEnds = false);

// Thin second step, in place, reporting "Thin second step": one progress
// value per pass (pixels removed). Removals take effect immediately, in
// raster order; the outermost rows and columns are never changed. Sets the
// raster's thinned flag on success. False when cancelled (finished(10)) or
// when its row buffers cannot be allocated (finished(20)).
// With keepStrokeEnds no pixel with exactly two ink neighbours goes, which
// would otherwise eat a staircase two pixels thick from its end.
// A pass after the first tests only the pixels whose neighbourhood changed
// since their last test, with the same result as testing every pixel. Their
// marks go into `scratch` when it is a blank 1-bit raster of the skeleton's
// size (it is blank again when the step returns), so that the caller's next
// raster costs no second allocation; else the step allocates its own.
bool ThinSecondStep(raster::CRaster& skeleton, platform::ProgressSink* sink, bool keepStrokeEnds = false,
                    raster::CRaster* scratch = nullptr);

namespace detail {

// The rows of a 1-bit raster are tested in packed form. A pixel's 3x3
// neighbourhood is a 9-bit window index, row-major from the top-left:
// bits 2..0 the row above (west, centre, east), bits 5..3 the pixel's row,
// bits 8..6 the row below. Bit 4 is the pixel itself.
constexpr unsigned kWindowCentre = 1u << 4;
// A pixel whose eight neighbours are all ink; no stage removes or marks it,
// so whole bytes of such pixels are passed over.
constexpr unsigned kWindowSolid = 511;

// NeighbourCode of a window index (the centre bit is ignored).
constexpr uint8_t WindowToCode(unsigned w) {
  return static_cast<uint8_t>(((w >> 2) & 1) * kNorthWest + ((w >> 1) & 1) * kNorth + (w & 1) * kNorthEast +
                              ((w >> 5) & 1) * kWest + ((w >> 3) & 1) * kEast + ((w >> 8) & 1) * kSouthWest +
                              ((w >> 7) & 1) * kSouth + ((w >> 6) & 1) * kSouthEast);
}

// The table over window indices of a table over NeighbourCodes, true only
// where the centre pixel is ink.
constexpr std::array<bool, 512> WindowTable(const std::array<bool, 256>& byCode) {
  std::array<bool, 512> table{};
  for (unsigned w = 0; w < 512; ++w) table[w] = (w & kWindowCentre) && byCode[WindowToCode(w)];
  return table;
}

// Clears the bits past the last pixel of every row, so that packed tests can
// read whole bytes. Only for private working copies.
void ClearRowPadding(raster::CRaster& raster);

// Bits of byte i of a packed row with its neighbouring bits: bits 16..23 the
// byte before, 8..15 byte i, 0..7 the byte after (0 outside the row). Pixel j
// of the byte (0 leftmost) is bit 15 - j.
inline uint32_t ByteWithNeighbours(const uint8_t* row, int i, int byteCount) {
  const uint32_t before = i > 0 ? row[i - 1] : 0u;
  const uint32_t after = i + 1 < byteCount ? row[i + 1] : 0u;
  return (before << 16) | (static_cast<uint32_t>(row[i]) << 8) | after;
}

// Calls visit(x, window) for every ink pixel of `row`, left to right, with
// `above` and `below` the neighbouring rows (all-zero rows outside the
// raster). When visit returns true the pixel is cleared at once in `row`, and
// the following pixels see it gone. Pixels with eight ink neighbours are not
// visited. Row padding must be clear.
template <typename Visit>
inline void ForEachInkPixel(const uint8_t* above, uint8_t* row, const uint8_t* below, int byteCount, Visit&& visit) {
  int i = 0;
  while (i < byteCount) {
    if (i + 8 <= byteCount) {
      uint64_t word;
      std::memcpy(&word, row + i, 8);
      if (word == 0) {
        i += 8;
        continue;
      }
    }
    if (row[i] == 0) {
      ++i;
      continue;
    }
    const uint32_t a = ByteWithNeighbours(above, i, byteCount);
    uint32_t c = ByteWithNeighbours(row, i, byteCount);
    const uint32_t b = ByteWithNeighbours(below, i, byteCount);
    constexpr uint32_t kTen = 0x1FF80u;  // the byte and one pixel either side
    if ((a & c & b & kTen) != kTen) {
      unsigned bits = row[i];
      while (bits != 0) {
        const int j = std::countl_zero(static_cast<uint8_t>(bits));
        bits &= ~(0x80u >> j);
        const int shift = 14 - j;
        const unsigned window = ((a >> shift) & 7u) | (((c >> shift) & 7u) << 3) | (((b >> shift) & 7u) << 6);
        if (visit(i * 8 + j, window)) {
          c &= ~(1u << (15 - j));
          row[i] &= static_cast<uint8_t>(~(0x80u >> j));
        }
      }
    }
    ++i;
  }
}

}  // namespace detail

}  // namespace quillon::trace
