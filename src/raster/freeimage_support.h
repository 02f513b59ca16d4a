#pragma once
// FreeImage plumbing shared by the raster files: one-time initialisation, the
// library's output routed into the message sink, and file loading that reads
// the header first and refuses oversized or truncated images.
// Internal to src/raster (includes FreeImage.h).

#include <FreeImage.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillon::raster::detail {

// Initialises FreeImage and installs its output handler exactly once, from
// whichever thread comes first.
void EnsureFreeImage();

struct BitmapDeleter {
  void operator()(FIBITMAP* bitmap) const {
    if (bitmap) FreeImage_Unload(bitmap);
  }
};
using BitmapPtr = std::unique_ptr<FIBITMAP, BitmapDeleter>;

// While alive, FreeImage's (and libtiff's) messages on this thread are
// collected instead of being shown, so that a failed load can name the
// library's last reason in its one message. Scopes nest; the innermost
// collects.
// Adds one library message to the innermost scope of this thread, or shows it
// as a warning when no scope is open.
void AppendLibraryMessage(const char* format, const char* message);

// Points libtiff's global error and warning handlers (used by FreeImage's
// TIFF reads) at the innermost scope. Done by EnsureFreeImage(); again by
// anything that may have replaced them.
void RouteTiffMessages();

// Marks the innermost scope of this thread as having seen a libtiff error.
void NoteTiffError();

class LibraryMessageScope {
 public:
  LibraryMessageScope();
  ~LibraryMessageScope();
  LibraryMessageScope(const LibraryMessageScope&) = delete;
  LibraryMessageScope& operator=(const LibraryMessageScope&) = delete;
  const std::string& text() const { return text_; }
  bool contains(const char* fragment) const { return text_.find(fragment) != std::string::npos; }
  // Whether libtiff reported an error (not a warning) inside this scope: a
  // strip or tile that could not be read.
  bool tiffFailed() const { return tiffFailed_; }

 private:
  friend void AppendLibraryMessage(const char* format, const char* message);
  friend void NoteTiffError();
  std::string text_;
  bool tiffFailed_ = false;
  LibraryMessageScope* previous_;
};

// The format FreeImage uses for the extension of path (".tif" -> TIFF ...),
// limited to the raster extensions (IsRasterExtension); FIF_UNKNOWN for
// anything else. The PNM family (".pnm", ".pbm", ".pgm", ".ppm") is told
// apart by the file's "P1".."P6" signature, since the extension need not
// match the variant.
FREE_IMAGE_FORMAT FormatFromExtension(const std::string& path);

// "BMP", "TIFF", "PNG" ...: the format's name in messages.
std::string FormatName(FREE_IMAGE_FORMAT format);

// Reasons shared by every decoder (no path; ReadFailureMessage adds it).
std::string EmptyImageReason(uint64_t width, uint64_t height);
std::string TooLargeReason(uint64_t width, uint64_t height, unsigned bits);
// "unsupported " followed by what (a bit depth, a compression, a header kind).
std::string UnsupportedReason(const std::string& what);

// Reads the file as the format: FreeImage first, the second decoder
// (fallback_decoder.h) for valid files FreeImage refuses. On failure returns
// null and sets reason to a short user-readable cause (no path): missing or
// empty file, unknown content, truncated data, a libtiff read error, an
// unsupported variant, a 0 x 0 image or one above DecodedSizeLimit() (checked
// from the header before either decoder allocates pixels).
BitmapPtr LoadBitmapFile(const std::string& path, FREE_IMAGE_FORMAT format, std::string& reason);

// What CRaster would report about the file's first picture, from its header.
struct BitmapHeader {
  unsigned width = 0;
  unsigned height = 0;
  int bitCount = 0;           // after the normalisation CRaster applies
  unsigned dotsPerMetre = 0;  // horizontal, as stored (0: none)
  // Why the pixel data cannot be read, from the headers' sizes and offsets
  // (truncated, strips outside the file ...); empty when it looks complete.
  std::string damage;
};
enum class HeaderResult { Read, Failed, NeedsPixels };
// Runs LoadBitmapFile()'s checks but those of the pixel data, and reads the
// header without decoding any pixel: Read with header filled; Failed with reason when LoadBitmapFile
// would fail for the same cause; NeedsPixels when only decoding can tell
// (FreeImage cannot read the header alone, or its normalised depth depends on
// the decoded picture) and the caller should decode.
HeaderResult LoadBitmapHeader(const std::string& path, FREE_IMAGE_FORMAT format, BitmapHeader& header,
                              std::string& reason);

// Whether FreeImage's signature check takes the file for the format.
bool SignatureMatches(const std::string& path, FREE_IMAGE_FORMAT format);

// Formats read since PNG, PNM and GIF were added: their pictures are
// composited onto white (FreeImage keeps their alpha), while the formats
// read before keep their pixels exactly as FreeImage gives them.
bool IsAddedFormat(FREE_IMAGE_FORMAT format);

// Alpha (every 32-bit picture's, or a palette's transparency table)
// composited onto white paper; 16-bit and float RGBA reduced first. Other bitmaps are
// returned as they are. Null when memory runs out.
BitmapPtr OnWhitePaper(BitmapPtr bitmap);

// Checks a header-only (or full) bitmap against the size limit; sets reason.
bool BitmapSizeAcceptable(FIBITMAP* header, std::string& reason);

// Pixels decoded by a reader other than FreeImage, before they become a
// bitmap: `channels` 8-bit samples per pixel (1 grey, 3 red-green-blue), top
// row first, alpha already composited. Bilevel pictures become 1-bit.
struct DecodedPixels {
  uint32_t width = 0, height = 0;
  int channels = 3;
  bool bilevel = false;
  std::vector<uint8_t> samples;
};

// A standard FreeImage bitmap of the pixels: 1-bit (white/black palette, a
// sample below 128 is ink), 8-bit with a grey ramp, or 24-bit. Null when
// memory runs out.
BitmapPtr BitmapFromPixels(const DecodedPixels& pixels);

// A colour sample over white paper: associated (premultiplied) or plain alpha.
inline uint8_t OnWhite(uint8_t value, uint8_t alpha, bool associated) {
  if (associated) return static_cast<uint8_t>(value + 255 - alpha > 255 ? 255 : value + 255 - alpha);
  return static_cast<uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

// The user-visible message for a raster file that could not be read.
std::string ReadFailureMessage(const std::string& path, const std::string& reason);

// The shared "Not enough memory to perform operation !" message.
void ShowNoMemory();

}  // namespace quillon::raster::detail
