#pragma once
// FreeImage plumbing shared by the raster files: one-time initialisation, the
// library's output routed into the message sink, and file loading that reads
// the header first and refuses oversized or truncated images.
// Internal to src/raster (includes FreeImage.h).

#include <FreeImage.h>

#include <memory>
#include <string>

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

class LibraryMessageScope {
 public:
  LibraryMessageScope();
  ~LibraryMessageScope();
  LibraryMessageScope(const LibraryMessageScope&) = delete;
  LibraryMessageScope& operator=(const LibraryMessageScope&) = delete;
  const std::string& text() const { return text_; }
  bool contains(const char* fragment) const { return text_.find(fragment) != std::string::npos; }

 private:
  friend void AppendLibraryMessage(const char* format, const char* message);
  std::string text_;
  LibraryMessageScope* previous_;
};

// The format FreeImage uses for the extension of path (".tif" -> TIFF ...),
// limited to the seven raster extensions; FIF_UNKNOWN for anything else.
FREE_IMAGE_FORMAT FormatFromExtension(const std::string& path);

// Reads the file as the format. On failure returns null and sets reason to
// a short user-readable cause (no path): missing or empty file, unknown
// content, truncated data, a 0 x 0 image or one above DecodedSizeLimit()
// (checked from the header before the pixels are decoded).
BitmapPtr LoadBitmapFile(const std::string& path, FREE_IMAGE_FORMAT format, std::string& reason);

// Checks a header-only (or full) bitmap against the size limit; sets reason.
bool BitmapSizeAcceptable(FIBITMAP* header, std::string& reason);

// The user-visible message for a raster file that could not be read.
std::string ReadFailureMessage(const std::string& path, const std::string& reason);

// The shared "Not enough memory to perform operation !" message.
void ShowNoMemory();

}  // namespace quillon::raster::detail
