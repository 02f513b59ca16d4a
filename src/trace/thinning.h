#pragma once
// Two-step thinning of a 1-bit raster to an 8-connected skeleton one pixel
// wide. Step one is the parallel two-sub-iteration thinning of Zhang and Suen,
// confined after the first iteration to rows around the last changes; step two
// removes, sequentially in raster order, every pixel whose removal keeps the
// skeleton connected (ThinRemoveTable).

#include <array>
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
bool ThinFirstStep(raster::CRaster& skeleton, platform::ProgressSink* sink, int threads = 0);

// Thin second step, in place, reporting "Thin second step": one progress
// value per pass (pixels removed). Removals take effect immediately, in
// raster order; the outermost rows and columns are never changed. Sets the
// raster's thinned flag on success. False when cancelled (finished(10)) or
// when its row buffers cannot be allocated (finished(20)).
bool ThinSecondStep(raster::CRaster& skeleton, platform::ProgressSink* sink);

namespace detail {

// One packed 1-bit row unpacked to one byte (0 or 1) per pixel, with zero
// guards so that px()[-1] and px()[width] read as background, and the list of
// its ink runs found while unpacking. Reloading clears only the bytes the
// previous content set, so sparse rows cost little.
class UnpackedRow {
 public:
  // Throws std::bad_alloc when memory runs out.
  void allocate(int width);
  // Unpacks the row (bits past width ignored); zero bytes and zero 64-bit
  // words of the packed row are skipped.
  void load(const uint8_t* packed, int width, int rowIndex);
  // Makes this the all-background row (outside the raster).
  void loadEmpty(int rowIndex);

  const uint8_t* px() const { return buffer_.data() + 1; }
  uint8_t* px() { return buffer_.data() + 1; }
  // Run starts and ends (exclusive) in pairs, left to right. After pixels are
  // cleared through px() the runs still cover them (a superset).
  const std::vector<int>& runs() const { return runs_; }
  int rowIndex() const { return rowIndex_; }
  void invalidate() { rowIndex_ = kNoRow; }

  static constexpr int kNoRow = -0x7fffffff;

 private:
  void clearRuns();

  std::vector<uint8_t> buffer_;
  std::vector<int> runs_;
  int rowIndex_ = kNoRow;
};

// The three rows y-1, y, y+1 around a row, reusing what is already unpacked.
// Rows outside the raster read as background.
class RowWindow {
 public:
  // Throws std::bad_alloc when memory runs out.
  explicit RowWindow(int width);
  // Brings rows y-1, y, y+1 of the raster in; returns them via prev/cur/next.
  void centreOn(const raster::CRaster& raster, int y);
  UnpackedRow* prev = nullptr;
  UnpackedRow* cur = nullptr;
  UnpackedRow* next = nullptr;

 private:
  UnpackedRow* fetch(const raster::CRaster& raster, int y, int low);

  std::array<UnpackedRow, 3> slots_;
  UnpackedRow empty_;
};

// 9-bit window index of pixel x: its column and both neighbouring columns,
// three bits each (row above, row, row below), left column in the low bits.
inline unsigned ColumnBits(const uint8_t* p, const uint8_t* c, const uint8_t* n, int x) {
  return static_cast<unsigned>(p[x]) | (static_cast<unsigned>(c[x]) << 1) | (static_cast<unsigned>(n[x]) << 2);
}

// NeighbourCode of the 9-bit window index (the centre bit is ignored).
uint8_t WindowToCode(unsigned window);

}  // namespace detail

}  // namespace quillon::trace
