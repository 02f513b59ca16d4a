#pragma once
// Raster files: the accepted extensions, the multi-page reader that hands out
// each page of a TIFF as its own raster, and opening a file as one document or
// one per page.

#include <memory>
#include <string>
#include <vector>

#include "raster/raster.h"

namespace quillon::raster {

// The raster file extensions read, with their dots: ".bmp", ".jpg",
// ".jpeg", ".tga", ".tif", ".tiff", ".pcx", then ".png", ".pnm", ".pbm",
// ".pgm", ".ppm", ".gif". Open dialogs and messages list them from here.
const std::vector<std::string>& RasterExtensions();

// True for one of RasterExtensions() (the extension with its dot, compared
// without regard to case).
bool IsRasterExtension(const std::string& extension);

// "dir/name_INDEX.ext" for "dir/name.ext": the name of one page of a
// multi-page file.
std::string PageName(const std::string& path, int pageIndex);

class RasterPageReader {
 public:
  RasterPageReader();
  ~RasterPageReader();
  RasterPageReader(const RasterPageReader&) = delete;
  RasterPageReader& operator=(const RasterPageReader&) = delete;

  // Opens a TIFF or GIF file read-only as a multi-page bitmap (format from
  // the extension). The file must pass the same signature and data checks as
  // a single image. False, silently, when it does not or the library cannot
  // open it: the caller then opens the file as a single image, which says
  // why it fails.
  bool openPages(const std::string& path);
  // Number of pages; 0 when not open.
  int pageCount() const;
  // Loads page pageIndex into target (which is released first): FreeImage
  // first, libtiff for TIFF pages it refuses. False, with a message, when the
  // page cannot be read, libtiff reported a read error, or the page exceeds
  // the size limit.
  bool copyPage(int pageIndex, CRaster& target);
  // PageName() of the open file.
  std::string pageName(int pageIndex) const;
  void close();

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;  // FreeImage's multi-page handles
  std::string directory_;     // with its trailing separator, may be empty
  std::string name_;
  std::string extension_;     // with its dot
};

// One opened document: a raster and the name its window shows.
struct RasterDocument {
  CRaster raster;
  std::string name;
};

// Opens a raster file as the application does: a file with two or more pages
// gives one document per readable page (named PageName(path, i)), anything
// else one document named after the file. Empty (after a message) when
// nothing could be read.
std::vector<RasterDocument> OpenRasterFile(const std::string& path);

// The first picture of a file, as a document of it would show it: page 0 of
// a file with two or more pages, else the whole file. pages is set to the
// number of pages (1 for a single picture). False after the reader's message.
bool LoadFirstPicture(const std::string& path, CRaster& image, int& pages);

// What CRaster would report about a file's first picture, read from the
// headers alone wherever the readers allow (no pixel is decoded, so a file
// whose pixel data is damaged still answers). Files whose header cannot say
// it (a GIF's composed frame, a depth that depends on the decoded picture,
// a variant only the second decoder reads) are decoded instead.
struct RasterFileInfo {
  int width = 0;
  int height = 0;
  int bitCount = 0;
  int dotsPerInch = 0;
  int pages = 1;
  // The message a load of the file would give when its headers show the
  // pixel data cannot be read (truncated, strips outside the file); empty
  // when nothing is wrong as far as the headers tell.
  std::string damage;
};
// False after the message a load of the file would give when not even the
// headers can be read. When the file had to be decoded and decoded is given,
// the picture is left there.
bool ReadRasterInfo(const std::string& path, RasterFileInfo& info, CRaster* decoded = nullptr);

// Writes the raster as BMP (CRaster::save).
bool SaveRaster(const CRaster& raster, const std::string& path);

}  // namespace quillon::raster
