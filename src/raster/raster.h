#pragma once
// The in-memory raster image of a document.
//
// CRaster wraps one FreeImage bitmap and adds what tracing and the raster
// tools need: a top-down row table for direct pixel access, one black-and-white
// convention for every 1-bit image (palette entry 0 white, entry 1 black, a set
// bit is ink), a cached 256-level brightness histogram, the automatic threshold
// and the conversion of any depth to 1-bit.
//
// Only files under src/raster/ include FreeImage.h; everything here except
// attach()/bitmap() is usable without it.
//
// Pixel layout of a row (row(y), bytes MSB first for sub-byte depths):
//   1 bit   byte x>>3, mask 128>>(x&7); 1 = ink (black), 0 = background (white)
//   4 bits  byte x/2, even x in the high nibble; palette index
//   8 bits  byte x; palette index
//   16 bits little-endian word x, 5-5-5 (red bits 10..14, green 5..9, blue 0..4)
//   24 bits bytes 3x..3x+2 = blue, green, red
//   32 bits bytes 4x..4x+3 = blue, green, red, unused
// Brightness of a colour: 0.587 green + 0.299 red + 0.114 blue. The histogram
// rounds it, the 1-bit conversion truncates it.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/progress.h"

struct FIBITMAP;

namespace quillon::raster {

// Resolution used when a file carries none (or 1 dpi or less): 200 dpi.
inline constexpr int kDefaultPixelsPerMetre = 7874;

// The largest decoded image accepted from a file or by create(): 2 GiB of
// pixel data (width x height x bits per pixel / 8). The header is read first
// and an image above the limit is refused before any pixel memory is taken,
// so a corrupt header claiming 100000 x 100000 pixels cannot exhaust memory.
inline constexpr uint64_t kMaxDecodedBytes = uint64_t{2} << 30;

// The limit in force; starts at kMaxDecodedBytes. Tests and the fuzz target
// lower it. Thread-safe.
uint64_t DecodedSizeLimit();
void SetDecodedSizeLimit(uint64_t bytes);

// True when an image of that size and depth stays within DecodedSizeLimit().
bool DecodedSizeAllowed(uint64_t width, uint64_t height, unsigned bitsPerPixel);

// Something another module hangs on a raster; deleted when the image is released.
class RasterAttachment {
 public:
  virtual ~RasterAttachment() = default;
};

using Histogram = std::array<uint8_t, 256>;

// The automatic threshold of a normalised histogram (entries 0..80, the
// dominant level at exactly 80): the darkest level below the brightest peak at
// which the histogram has stayed low (at most 23) and flat (steps of at most 2)
// for 15 levels (10 when more than 15 levels below the peak), or the level just
// above a second tall peak (above 71) that follows a low stretch; 0 when the
// scan finds neither.
int AutomaticThreshold(const Histogram& histogram);

// The histogram of 256 pixel counts per brightness level, normalised so that
// the fullest level is 80 (a level of 0 pixels stays 0).
Histogram NormalisedHistogram(const uint64_t* counts);

class CRaster {
 public:
  CRaster();
  ~CRaster();
  CRaster(const CRaster&) = delete;
  CRaster& operator=(const CRaster&) = delete;
  // Moving transfers the image like moveTo(); the source ends empty.
  CRaster(CRaster&& other) noexcept;
  CRaster& operator=(CRaster&& other) noexcept;

  // --- life cycle -----------------------------------------------------------
  // A blank image (all bytes 0) of that size and depth (1, 4, 8, 16, 24, 32).
  // Palette images get a grey ramp; 1-bit images white/black. False, with a
  // message, for a bad size or depth, an image above the size limit, or when
  // memory runs out; the raster is then empty.
  bool create(int width, int height, int bitCount);
  // Deletes the attachment, frees the bitmap and the row table, zeroes the
  // size and clears the flags and the histogram.
  void release();
  // Releases the current image and reads the file with the loader its
  // extension names (BMP, JPEG, TIFF, TARGA, PCX). Unknown extension,
  // unreadable, truncated or oversized file: one clear message through
  // platform::ShowMessage, false, and no image.
  bool load(const std::string& path);
  // For a trace that wants only the 1-bit picture: reads an uncompressed
  // 8-bit BMP (bottom-up, full 256-entry palette) straight into a 1-bit
  // image, a block of rows at a time, so the grey picture is never held
  // whole. The result is what load(), then convertTo1Bit() with `threshold`,
  // or with automaticThreshold() when `threshold` is negative, would give:
  // the same bits, resolution and name; `used` receives the threshold. The
  // automatic threshold reads the rows twice (histogram, then ink) instead
  // of keeping them. False, with no message and the raster empty, for any
  // other file or when reading fails; load() then reads it the usual way.
  bool loadThresholded(const std::string& path, int threshold, int& used);
  // Writes a BMP file (through platform::AtomicFile, so a failed save keeps
  // the old file). Any extension other than ".bmp" returns false without
  // writing; so do an empty raster and a failed write (with a message).
  bool save(const std::string& path) const;
  // Takes ownership of a FreeImage bitmap (also on failure, where it is
  // freed). 1-bit images are normalised: entry 1 black, and when entry 0 is
  // not pure white it becomes white and every bit is inverted, so a set bit is
  // always ink. Bitmaps that are not standard FreeImage bitmaps of depth 1, 4,
  // 8, 16 (5-5-5), 24 or 32 are converted to such first. False (object empty)
  // for a null or pixel-less bitmap, a 0 x 0 image, or when the row table
  // cannot be allocated.
  bool attach(FIBITMAP* bitmap);
  // Gives up the bitmap without freeing it (the caller owns it); the raster
  // ends empty. Null when there is no image.
  FIBITMAP* detach();
  // The bitmap, for raster operations that use FreeImage; null when empty.
  FIBITMAP* bitmap() const { return bitmap_; }
  bool empty() const { return bitmap_ == nullptr; }

  // Replaces this image by a deep copy of the other (flags and a valid
  // histogram included). Copying an empty raster empties this one and
  // succeeds. False with a message when memory runs out.
  bool cloneFrom(const CRaster& other);
  // Releases the target and hands it the whole image (bitmap, rows, flags,
  // histogram, name, attachment); this raster ends empty. Always true except
  // for moving onto itself, which is a no-op returning true.
  bool moveTo(CRaster& target);

  // --- properties -----------------------------------------------------------
  int width() const { return width_; }
  int height() const { return height_; }
  int bitCount() const { return bitCount_; }
  // True for grey or colour images (bit count above 1).
  bool isColor() const { return color_; }
  bool thinned() const { return thinned_; }
  void setThinned(bool value) { thinned_ = value; }
  bool changed() const { return changed_; }
  void setChanged(bool value) { changed_ = value; }

  // Horizontal resolution in pixels per metre. A value of 1 dpi or less is
  // replaced by kDefaultPixelsPerMetre and stored back. False when empty.
  bool resolution(int& pixelsPerMetre);
  // The resolution in dots per inch, rounded; 200 when unset. 0 when empty.
  int dotsPerInch();
  // Sets horizontal and vertical resolution. False when empty or value < 0.
  bool setResolution(int pixelsPerMetre);

  // Descriptive name carried along with the image (copied, not interpreted).
  const std::string& name() const { return name_; }
  void setName(std::string name) { name_ = std::move(name); }
  int nameValue1() const { return nameValue1_; }
  int nameValue2() const { return nameValue2_; }
  void setNameValues(int first, int second) { nameValue1_ = first; nameValue2_ = second; }

  RasterAttachment* attachment() const { return attachment_.get(); }
  void setAttachment(std::unique_ptr<RasterAttachment> attachment) { attachment_ = std::move(attachment); }

  // --- row table ------------------------------------------------------------
  // Row y of the picture, row 0 at the top. Unchecked: 0 <= y < height().
  uint8_t* row(int y) { return rows_[static_cast<size_t>(y)]; }
  const uint8_t* row(int y) const { return rows_[static_cast<size_t>(y)]; }
  // Bytes per stored row including the padding to a multiple of 4.
  int rowBytes() const { return rowBytes_; }
  // Rows are evenly spaced: row(y) is row(0) + y * rowStep() (negative, as
  // the bitmap stores the bottom row first), so a hot loop can step between
  // rows without the row table.
  std::ptrdiff_t rowStep() const { return -static_cast<std::ptrdiff_t>(rowBytes_); }
  // Bytes per row that carry pixels ((width * bitCount + 7) / 8).
  int usedRowBytes() const { return (width_ * bitCount_ + 7) / 8; }

  // --- pixels ---------------------------------------------------------------
  // 1-bit only, unchecked (0 <= x < width, 0 <= y < height).
  bool bitAt(int x, int y) const { return (row(y)[x >> 3] & (0x80 >> (x & 7))) != 0; }
  void setBit(int x, int y, bool ink) {
    uint8_t& b = row(y)[x >> 3];
    const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
    b = ink ? static_cast<uint8_t>(b | mask) : static_cast<uint8_t>(b & ~mask);
  }
  // 1-bit only; false outside the image.
  bool bitAtChecked(int x, int y) const {
    return x >= 0 && y >= 0 && x < width_ && y < height_ && bitAt(x, y);
  }
  // 1, 4 and 8-bit images: the bit or palette index; -1 outside the image or
  // for other depths.
  int indexAt(int x, int y) const;
  // 1, 4 and 8-bit images; false outside the image or for other depths.
  bool setIndex(int x, int y, int value);
  // Every depth: the pixel's colour. A 1-bit pixel reads black for ink and
  // white for background, whatever the palette. False outside the image.
  bool colourAt(int x, int y, uint8_t& blue, uint8_t& green, uint8_t& red) const;
  // Every depth. 4 and 8-bit pixels take red as the palette index; 1-bit
  // pixels become ink when the colour's truncated brightness is below 128
  // (dark colours are ink, light ones background). False outside the image.
  bool setColour(int x, int y, uint8_t blue, uint8_t green, uint8_t red);
  // 1-bit only: one byte (0 or 1) per pixel of row y into out[0..width).
  // False when y is outside the image or the raster is not 1-bit.
  bool unpackRow(int y, uint8_t* out) const;
  // Sets every byte of every row (padding included) to the value.
  void fillBytes(uint8_t value);

  // --- palette --------------------------------------------------------------
  // Entries of 4 bytes (blue, green, red, reserved); null for 16/24/32 bits.
  const uint8_t* palette() const { return palette_; }
  int paletteSize() const { return paletteSize_; }
  // Sets palette entry index to (level, level, level); ignored without palette.
  void setGreyEntry(int index, uint8_t level);
  // Sets palette entry index to the colour and recomputes the background
  // colour. False without a palette or for an index outside it.
  bool setPaletteEntry(int index, uint8_t blue, uint8_t green, uint8_t red);
  // True for an 8-bit image whose entries are (i, i, i) for every index used
  // by a pixel.
  bool isGreyPalette() const;
  // 8-bit only: entries 0..255 become (i, i, i). False for other depths.
  bool makeGreyPalette();
  // The background: for palette images the index of the entry nearest to
  // white (by 3 dRed^2 + 4 dGreen^2 + 2 dBlue^2) in all four bytes; all four
  // bytes 255 for images deeper than 8 bits. 1-bit images: index 0.
  const std::array<uint8_t, 4>& backgroundColour() const { return background_; }

  // --- histogram and threshold ----------------------------------------------
  // The normalised brightness histogram (each entry 0..80, the fullest level
  // 80), computed once and cached until the next attach. Reports progress
  // 10..95 per column and 95..100 while normalising. For 1-bit or empty
  // rasters the output is all zero and nothing is cached.
  void histogram(Histogram& out, const platform::ProgressCallback& progress = {});
  bool histogramValid() const { return histogramValid_; }
  // Installs a histogram as the cached one (used when restoring snapshots).
  void setHistogram(const Histogram& values) { histogram_ = values; histogramValid_ = true; }
  void invalidateHistogram() { histogramValid_ = false; }
  // AutomaticThreshold() of the histogram; 0 for 1-bit or empty rasters.
  int automaticThreshold(const platform::ProgressCallback& progress = {});

  // --- operations -----------------------------------------------------------
  // Makes the image 1-bit: a pixel is ink when threshold >= its truncated
  // brightness. A 1-bit image is left alone (true). Resolution is kept (0
  // becomes 200 dpi). False with a message when memory runs out; the image is
  // then unchanged.
  bool convertTo1Bit(int threshold, const platform::ProgressCallback& progress = {});
  // Preview helper: the rectangle (left, top, width, height) in units scaled
  // by 1/scale is cut from this image into target as a 1-bit image, a pixel
  // ink when its truncated brightness is at most threshold. A rectangle that
  // starts outside or is empty after clipping succeeds without work.
  bool cropTo1Bit(CRaster& target, int left, int top, int width, int height, double scale, int threshold) const;
  // Keeps the rectangle [left, right) x [top, bottom) (clipped to the image);
  // depth, palette and resolution kept. False when the clipped rectangle is
  // empty or memory runs out (image unchanged).
  bool crop(int left, int top, int right, int bottom);
  // Rotates by the angle in degrees, clockwise on screen for positive angles,
  // about the centre; the image grows to hold the rotated picture and the
  // histogram is invalidated. 1-bit images by nearest neighbour (new pixel
  // (x, y) takes source (ox + cx + sy, oy + cy - sx), truncated), grey and
  // colour ones by FreeImage (4 and 16-bit images become 8 and 24-bit), the
  // uncovered corners background. False with a message when memory runs out.
  bool rotate(double degrees);
  // Upside down / left to right / inverted colours. False when empty.
  bool flip();
  bool mirror();
  bool invert();
  // Walks the Bresenham line from (x0, y0) towards (x1, y1), end excluded,
  // and counts ink pixels from the start; one background pixel followed by
  // ink counts too, two in a row end the count. -1 when the walk leaves the
  // image before it ends. 1-bit only.
  int inkRunAlongLine(int x0, int y0, int x1, int y1) const;

 private:
  void clearFields();
  void findBackground();

  FIBITMAP* bitmap_ = nullptr;  // owned
  uint8_t* palette_ = nullptr;  // into bitmap_
  int paletteSize_ = 0;
  int bitCount_ = 0;
  std::vector<uint8_t*> rows_;  // top-down
  int rowBytes_ = 0;
  bool changed_ = false;
  bool thinned_ = false;
  bool color_ = false;
  int width_ = 0;
  int height_ = 0;
  std::array<uint8_t, 4> background_{255, 255, 255, 255};
  Histogram histogram_{};
  bool histogramValid_ = false;
  std::string name_;
  int nameValue1_ = 32;
  int nameValue2_ = 32;
  std::unique_ptr<RasterAttachment> attachment_;
};

}  // namespace quillon::raster
