#pragma once
// Small raster files written byte by byte, for the reader tests and the fuzz
// seeds: every variant is built here rather than copied from a sample suite.
// All picture the same 6 x 4 pattern: colour index (x + y) % 4 of kColours.

#include <cstdint>
#include <string>
#include <vector>

namespace quillon::raster::test {

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

inline constexpr int kWidth = 6;
inline constexpr int kHeight = 4;
inline constexpr Rgb kColours[4] = {{255, 255, 255}, {0, 0, 0}, {255, 0, 0}, {128, 128, 128}};
inline int IndexAt(int x, int y) { return (x + y) % 4; }
inline Rgb ColourAt(int x, int y) { return kColours[IndexAt(x, y)]; }
// The grey level of the pattern for grey files: 255, 0, 170, 85.
inline uint8_t GreyAt(int x, int y) {
  static constexpr uint8_t levels[4] = {255, 0, 170, 85};
  return levels[IndexAt(x, y)];
}

class Bytes {
 public:
  Bytes& u8(unsigned v) {
    s_.push_back(static_cast<char>(v & 0xFF));
    return *this;
  }
  Bytes& le16(unsigned v) { return u8(v).u8(v >> 8); }
  Bytes& le32(uint32_t v) { return le16(v & 0xFFFF).le16(v >> 16); }
  Bytes& text(const std::string& t) {
    s_ += t;
    return *this;
  }
  Bytes& zeros(size_t n) {
    s_.append(n, '\0');
    return *this;
  }
  size_t size() const { return s_.size(); }
  void put32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s_[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  }
  const std::string& str() const { return s_; }

 private:
  std::string s_;
};

// Rows of `bits`-bit indices, most significant bits first, padded to 4 bytes;
// bottom row first.
inline std::string PackedRows(int bits) {
  Bytes out;
  const int rowBytes = (kWidth * bits + 31) / 32 * 4;
  for (int y = kHeight - 1; y >= 0; --y) {
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes), 0);
    for (int x = 0; x < kWidth; ++x) {
      const int bit = x * bits;
      row[static_cast<size_t>(bit / 8)] |= static_cast<uint8_t>(IndexAt(x, y) << (8 - bits - bit % 8));
    }
    for (uint8_t b : row) out.u8(b);
  }
  return out.str();
}

// A BMP with the pattern's 4-entry palette. headerSize 40 (Windows v3), 108
// (v4), 124 (v5) or 64 (OS/2 2.x); compression 0 (none), 1 (RLE8), 2 (RLE4).
inline std::string PaletteBmp(uint32_t headerSize, int bits, uint32_t compression = 0) {
  std::string pixels;
  if (compression == 0) {
    pixels = PackedRows(bits);
  } else {
    Bytes rle;  // one run per pixel, each row ended by 0 0, the image by 0 1
    for (int y = kHeight - 1; y >= 0; --y) {
      for (int x = 0; x < kWidth; ++x) {
        const int i = IndexAt(x, y);
        rle.u8(1).u8(compression == 1 ? i : (i << 4) | i);
      }
      rle.u8(0).u8(0);
    }
    rle.u8(0).u8(1);
    pixels = rle.str();
  }
  Bytes f;
  const uint32_t offset = 14 + headerSize + 4 * 4;
  f.text("BM").le32(offset + static_cast<uint32_t>(pixels.size())).le32(0).le32(offset);
  f.le32(headerSize).le32(kWidth).le32(kHeight).le16(1).le16(static_cast<unsigned>(bits)).le32(compression);
  f.le32(static_cast<uint32_t>(pixels.size())).le32(2835).le32(2835).le32(4).le32(4);
  f.zeros(headerSize - 40);
  if (headerSize >= 108) f.put32(14 + 56, 0x73524742);  // colour space "sRGB"
  for (const Rgb& c : kColours) f.u8(c.b).u8(c.g).u8(c.r).u8(0);
  f.text(pixels);
  return f.str();
}

// A 32-bit BMP with a v4 header and unusual bit fields: red in the top byte,
// blue in the second, green in the third, alpha (opaque) in the low one.
inline std::string BitfieldBmp32() {
  Bytes f;
  const uint32_t offset = 14 + 108;
  f.text("BM").le32(offset + kWidth * kHeight * 4).le32(0).le32(offset);
  f.le32(108).le32(kWidth).le32(kHeight).le16(1).le16(32).le32(3).le32(kWidth * kHeight * 4);
  f.le32(2835).le32(2835).le32(0).le32(0);
  f.le32(0xFF000000).le32(0x0000FF00).le32(0x00FF0000).le32(0x000000FF);  // red, green, blue, alpha
  f.le32(0x73524742).zeros(48);
  for (int y = kHeight - 1; y >= 0; --y)
    for (int x = 0; x < kWidth; ++x) {
      const Rgb c = ColourAt(x, y);
      f.le32((uint32_t{c.r} << 24) | (uint32_t{c.b} << 16) | (uint32_t{c.g} << 8) | 0xFF);
    }
  return f.str();
}

// A grey + alpha TARGA (16-bit pixels: grey, then alpha): raw (type 3) with
// rows top down, or run-length (type 11) with rows bottom up. The alpha of
// column 0 is 0, so that column reads as white paper.
inline std::string GreyAlphaTga(bool runLength) {
  Bytes f;
  f.u8(0).u8(0).u8(runLength ? 11 : 3).zeros(5).le16(0).le16(0).le16(kWidth).le16(kHeight).u8(16);
  f.u8(runLength ? 0x08 : 0x28);
  for (int r = 0; r < kHeight; ++r) {
    const int y = runLength ? kHeight - 1 - r : r;
    for (int x = 0; x < kWidth; ++x) {
      if (runLength) f.u8(0);  // a literal packet of one pixel
      f.u8(GreyAt(x, y)).u8(x == 0 ? 0 : 255);
    }
  }
  return f.str();
}

// Run-length PCX data of one scan line of bytes.
inline void PcxLine(Bytes& f, const std::vector<uint8_t>& line) {
  for (uint8_t b : line) {
    if ((b & 0xC0) == 0xC0) f.u8(0xC1);
    f.u8(b);
  }
}

// A PCX of 1-bit planes: planes 1 (black and white: a set bit is white, the
// pattern's index 0) or 4 (16 colours from the header palette, plane p holding
// bit p of the index).
inline std::string PlanarPcx(int planes) {
  Bytes f;
  const int lineBytes = 2;
  f.u8(10).u8(5).u8(1).u8(1).le16(0).le16(0).le16(kWidth - 1).le16(kHeight - 1).le16(300).le16(300);
  for (int i = 0; i < 16; ++i) {
    const Rgb c = planes == 1 ? (i == 0 ? Rgb{0, 0, 0} : Rgb{255, 255, 255}) : kColours[i % 4];
    f.u8(c.r).u8(c.g).u8(c.b);
  }
  f.u8(0).u8(static_cast<unsigned>(planes)).le16(lineBytes).le16(1).zeros(58);
  for (int y = 0; y < kHeight; ++y) {
    for (int p = 0; p < planes; ++p) {
      std::vector<uint8_t> line(lineBytes, 0);
      for (int x = 0; x < kWidth; ++x) {
        const int index = IndexAt(x, y);
        const bool set = planes == 1 ? index == 0 : ((index >> p) & 1) != 0;
        if (set) line[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
      PcxLine(f, line);
    }
  }
  return f.str();
}

// Netpbm files of the pattern: "P5" grey, "P6" colour, "P4" black and white
// (index 1 black, everything else white).
inline std::string Pnm(char kind) {
  Bytes f;
  f.text(std::string("P") + kind + "\n# crafted\n6 4\n");
  if (kind != '4') f.text("255\n");
  for (int y = 0; y < kHeight; ++y) {
    if (kind == '4') {
      uint8_t b = 0;
      for (int x = 0; x < kWidth; ++x)
        if (IndexAt(x, y) == 1) b |= static_cast<uint8_t>(0x80 >> x);
      f.u8(b);
      continue;
    }
    for (int x = 0; x < kWidth; ++x) {
      if (kind == '5') f.u8(GreyAt(x, y));
      else f.u8(ColourAt(x, y).r).u8(ColourAt(x, y).g).u8(ColourAt(x, y).b);
    }
  }
  return f.str();
}

// A little-endian TIFF written by hand: one strip per row of the given
// sample depth and count, tags in ascending order. stripCounts (one per row)
// may claim more than is stored, and extraTags add (tag, value) SHORT entries.
struct TiffSpec {
  uint32_t width = kWidth, height = kHeight;
  unsigned bitsPerSample = 8, samplesPerPixel = 1, photometric = 1, compression = 1;
  std::string pixels;                // stored after the directory
  std::vector<uint32_t> stripCounts;  // empty: the row size, one strip per row
};

inline std::string HandTiff(const TiffSpec& t) {
  const uint32_t rows = t.height;
  const uint32_t rowBytes = (t.width * t.bitsPerSample * t.samplesPerPixel + 7) / 8;
  const int entries = 10;
  const uint32_t ifd = 8, ifdSize = 2 + entries * 12 + 4;
  const uint32_t arrays = rows > 1 ? 8 * rows : 0;  // a single strip's offset and count sit in their entries
  const uint32_t offsetsAt = ifd + ifdSize, countsAt = offsetsAt + 4 * rows, bitsAt = offsetsAt + arrays;
  const uint32_t dataAt = bitsAt + 2 * t.samplesPerPixel;
  Bytes f;
  f.text("II").le16(42).le32(ifd).le16(entries);
  auto entry = [&](unsigned tag, unsigned type, uint32_t count, uint32_t value) {
    f.le16(tag).le16(type).le32(count).le32(value);
  };
  entry(256, 4, 1, t.width);
  entry(257, 4, 1, t.height);
  entry(258, 3, t.samplesPerPixel, t.samplesPerPixel == 1 ? t.bitsPerSample : bitsAt);
  entry(259, 3, 1, t.compression);
  entry(262, 3, 1, t.photometric);
  entry(273, 4, rows, rows == 1 ? dataAt : offsetsAt);
  entry(277, 3, 1, t.samplesPerPixel);
  entry(278, 4, 1, 1);
  entry(279, 4, rows, rows == 1 ? (t.stripCounts.empty() ? rowBytes : t.stripCounts[0]) : countsAt);
  entry(284, 3, 1, 1);
  f.le32(0);
  if (rows > 1) {
    for (uint32_t r = 0; r < rows; ++r) f.le32(dataAt + r * rowBytes);
    for (uint32_t r = 0; r < rows; ++r) f.le32(t.stripCounts.empty() ? rowBytes : t.stripCounts[r]);
  }
  for (unsigned s = 0; s < t.samplesPerPixel; ++s) f.le16(t.bitsPerSample);
  f.text(t.pixels);
  return f.str();
}

}  // namespace quillon::raster::test
