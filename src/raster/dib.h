#pragma once
// CDib: one device-independent bitmap kept as a single memory block laid out
// as a 40-byte information header, the colour table and the bits (rows bottom
// up, each padded to 4 bytes) — the form in which previews, clipboard-style
// hand-over and scanners pass pictures around.

#include <cstdint>
#include <istream>
#include <ostream>
#include <vector>

namespace quillon::raster {

class CRaster;

class CDib {
 public:
  // The run-time class name under which the class can be created by name.
  static constexpr const char* kClassName = "CDib";

  // A zeroed bitmap of that size and depth (1, 4, 8, 16, 24 or 32) with a
  // grey colour table for palette depths. False (and empty) for bad values or
  // a size above DecodedSizeLimit().
  bool create(int width, int height, int bitCount);
  // A copy of the raster's pixels, palette and resolution. False when the
  // raster is empty.
  bool copyFrom(const CRaster& raster);
  // Takes the block (header, colour table, bits). False, leaving this empty,
  // when the header is not a 40-byte information header or the block is
  // shorter than its header says.
  bool adopt(std::vector<uint8_t> block);
  void release();

  // Reads a bitmap file: a 14-byte file header of type "BM", then an
  // information header of size 40, then everything up to the end of the
  // stream. A colour count of 0 becomes 2^bitCount (0 for 24 bits and
  // above) and an image size of 0 the padded row size times the height. Any
  // other header or a short read fails and leaves this empty.
  bool read(std::istream& in);
  // Writes the bitmap file (file header and block). False when empty or the
  // stream fails.
  bool write(std::ostream& out) const;

  bool empty() const { return block_.empty(); }
  int width() const;
  int height() const;
  int bitCount() const;
  int colourCount() const;  // entries in the colour table
  uint32_t imageSize() const;
  const uint8_t* data() const { return block_.data(); }
  size_t size() const { return block_.size(); }
  // First byte of the bits (after header and colour table); null when empty.
  const uint8_t* bits() const;
  uint8_t* bits();

  // Copies the bitmap into the raster (which is released first). On failure
  // shows "Clone DIB failed !" (allocation) or "Copy DIB Error !!!" (a
  // malformed block) and leaves the raster empty.
  bool copyTo(CRaster& raster) const;

 private:
  bool consistent() const;
  std::vector<uint8_t> block_;
};

}  // namespace quillon::raster
