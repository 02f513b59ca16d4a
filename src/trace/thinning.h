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
#include <functional>
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
// With a fixed number of threads, spareCores (when set) is asked before each
// iteration how many idle cores the step may use besides them.
bool ThinFirstStep(raster::CRaster& skeleton, platform::ProgressSink* sink, int threads = 0,
                   bool keepStrokeEnds = false, const std::function<int()>& spareCores = {});

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

// Rows are also tested 64 pixels at a time: word k of a row holds pixels
// 64k .. 64k+63, the leftmost in the most significant bit.
inline uint64_t LoadWord(const uint8_t* row, int k, int byteCount) {
  const int start = k * 8;
  if (start + 8 <= byteCount) {
    uint64_t word;
    std::memcpy(&word, row + start, 8);
    return __builtin_bswap64(word);
  }
  uint64_t word = 0;
  for (int j = 0; start + j < byteCount; ++j) word |= static_cast<uint64_t>(row[start + j]) << (56 - 8 * j);
  return word;
}

// A word of a row with the edge bits of the words either side.
struct RowWords {
  uint64_t before;  // the word left of the pixels' word
  uint64_t word;
  uint64_t after;   // the word right of it
  uint64_t west() const { return (word >> 1) | (before << 63); }
  uint64_t east() const { return (word << 1) | (after >> 63); }
};

// The eight neighbours of 64 pixels, each as a word aligned with the pixels.
struct Neighbours {
  Neighbours(const RowWords& above, const RowWords& row, const RowWords& below)
      : n(above.word),
        s(below.word),
        w(row.west()),
        e(row.east()),
        nw(above.west()),
        ne(above.east()),
        sw(below.west()),
        se(below.east()) {}
  uint64_t n, s, w, e, nw, ne, sw, se;
  // Their NeighbourCode at bit `bit` of the words.
  uint8_t codeAt(int bit) const {
    return static_cast<uint8_t>(((nw >> bit) & 1u) * kNorthWest | ((n >> bit) & 1u) * kNorth |
                                ((ne >> bit) & 1u) * kNorthEast | ((w >> bit) & 1u) * kWest | ((e >> bit) & 1u) * kEast |
                                ((sw >> bit) & 1u) * kSouthWest | ((s >> bit) & 1u) * kSouth |
                                ((se >> bit) & 1u) * kSouthEast);
  }
};

// The number of ink neighbours of 64 pixels as a bit-sliced sum
// b0 + 2 b1 + 4 b2 + 8 b3.
struct NeighbourCount {
  explicit NeighbourCount(const Neighbours& nb) {
    const auto fullAdd = [](uint64_t x, uint64_t y, uint64_t z, uint64_t& carry) {
      const uint64_t half = x ^ y;
      carry = (x & y) | (z & half);
      return half ^ z;
    };
    uint64_t c1, c2, c4;
    const uint64_t s1 = fullAdd(nb.s, nb.se, nb.e, c1);
    const uint64_t s2 = fullAdd(nb.ne, nb.n, nb.nw, c2);
    const uint64_t s3 = nb.w ^ nb.sw;
    const uint64_t c3 = nb.w & nb.sw;
    b0 = fullAdd(s1, s2, s3, c4);
    uint64_t t2;
    const uint64_t t1 = fullAdd(c1, c2, c3, t2);
    b1 = t1 ^ c4;
    const uint64_t t3 = t1 & c4;
    b2 = t2 ^ t3;
    b3 = t2 & t3;
  }
  uint64_t atLeastThree() const { return (b1 & b0) | b2 | b3; }
  uint64_t b0, b1, b2, b3;
};

}  // namespace detail

}  // namespace quillon::trace
