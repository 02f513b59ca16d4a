#include "raster/raster_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "platform/message_sink.h"
#include "raster/freeimage_support.h"
#include "raster/tiff_reader.h"
#include "settings/language_table.h"

namespace quillon::raster {

namespace {

struct PathParts {
  std::string directory;  // with its trailing "/", may be empty
  std::string name;
  std::string extension;  // with its dot, may be empty
};

PathParts SplitPath(const std::string& path) {
  const std::filesystem::path p(path);
  PathParts parts;
  parts.name = p.stem().string();
  parts.extension = p.extension().string();
  const size_t slash = path.find_last_of('/');
  if (slash != std::string::npos) parts.directory = path.substr(0, slash + 1);
  return parts;
}

std::string MakePageName(const PathParts& parts, int pageIndex) {
  return parts.directory + parts.name + "_" + std::to_string(pageIndex) + parts.extension;
}

}  // namespace

const std::vector<std::string>& RasterExtensions() {
  static const std::vector<std::string> extensions{".bmp", ".jpg", ".jpeg", ".tga", ".tif", ".tiff", ".pcx",
                                                   ".png", ".pnm", ".pbm", ".pgm", ".ppm", ".gif"};
  return extensions;
}

bool IsRasterExtension(const std::string& extension) {
  std::string ext = extension;
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const auto& known = RasterExtensions();
  return std::find(known.begin(), known.end(), ext) != known.end();
}

std::string PageName(const std::string& path, int pageIndex) { return MakePageName(SplitPath(path), pageIndex); }

struct RasterPageReader::Handle {
  FIMULTIBITMAP* pages = nullptr;    // the pixels
  FIMULTIBITMAP* headers = nullptr;  // header-only view, opened on first use
  FREE_IMAGE_FORMAT format = FIF_UNKNOWN;
  std::string path;

  ~Handle() {
    if (pages) FreeImage_CloseMultiBitmap(pages);
    if (headers) FreeImage_CloseMultiBitmap(headers);
  }
};

RasterPageReader::RasterPageReader() = default;
RasterPageReader::~RasterPageReader() { close(); }

bool RasterPageReader::openPages(const std::string& path) {
  close();
  detail::EnsureFreeImage();
  const FREE_IMAGE_FORMAT format = detail::FormatFromExtension(path);
  std::error_code ec;
  if (format == FIF_UNKNOWN || !std::filesystem::is_regular_file(path, ec) ||
      std::filesystem::file_size(path, ec) == 0)
    return false;
  // Only formats with a multi-page reader can have pages; the others open as
  // single images.
  if (format != FIF_TIFF && format != FIF_GIF) return false;
  if (!detail::SignatureMatches(path, format)) return false;
  std::string reason;
  int tiffPages = 0;
  if (format == FIF_TIFF && !detail::CheckTiffFile(path, tiffPages, reason)) return false;
  detail::LibraryMessageScope quiet;  // a file that is no multi-page file is not an error here
  // GIF frames are composed as an animation shows them: each page is the
  // whole picture, not the patch the frame changes.
  FIMULTIBITMAP* pages =
      FreeImage_OpenMultiBitmap(format, path.c_str(), FALSE, TRUE, FALSE, format == FIF_GIF ? GIF_PLAYBACK : 0);
  if (!pages) return false;
  handle_ = std::make_unique<Handle>();
  handle_->pages = pages;
  handle_->format = format;
  handle_->path = path;
  const PathParts parts = SplitPath(path);
  directory_ = parts.directory;
  name_ = parts.name;
  extension_ = parts.extension;
  return true;
}

int RasterPageReader::pageCount() const {
  if (!handle_) return 0;
  detail::LibraryMessageScope quiet;
  return std::max(0, FreeImage_GetPageCount(handle_->pages));
}

bool RasterPageReader::copyPage(int pageIndex, CRaster& target) {
  target.release();
  if (!handle_ || pageIndex < 0 || pageIndex >= pageCount()) return false;
  const std::string name = pageName(pageIndex);
  detail::LibraryMessageScope messages;
  std::string reason;
  if (handle_->format == FIF_TIFF && !detail::CheckTiffPage(handle_->path, pageIndex, reason)) {
    platform::ShowMessage(detail::ReadFailureMessage(name, reason));
    return false;
  }

  // Check the page's size from its header before its pixels are decoded.
  if (!handle_->headers)
    handle_->headers =
        FreeImage_OpenMultiBitmap(handle_->format, handle_->path.c_str(), FALSE, TRUE, FALSE, FIF_LOAD_NOPIXELS);
  if (!handle_->headers) {
    platform::ShowMessage(detail::ReadFailureMessage(name, settings::Text("RasterDamagedMsg", "the file is damaged")));
    return false;
  }
  FIBITMAP* header = FreeImage_LockPage(handle_->headers, pageIndex);
  bool acceptable = header && detail::BitmapSizeAcceptable(header, reason);
  if (header) FreeImage_UnlockPage(handle_->headers, header, FALSE);
  if (header && !acceptable) {
    platform::ShowMessage(detail::ReadFailureMessage(name, reason));
    return false;
  }

  detail::BitmapPtr copy;
  FIBITMAP* page = header ? FreeImage_LockPage(handle_->pages, pageIndex) : nullptr;
  if (page) {
    copy.reset(FreeImage_Clone(page));
    FreeImage_UnlockPage(handle_->pages, page, FALSE);
    if (!copy) {
      detail::ShowNoMemory();
      return false;
    }
  }
  if (messages.tiffFailed()) {  // a strip or tile of the page was lost
    reason = settings::Text("RasterDamagedMsg", "the file is damaged") + " (" + messages.text() + ")";
    platform::ShowMessage(detail::ReadFailureMessage(name, reason));
    return false;
  }
  if (!copy && handle_->format == FIF_TIFF) {
    copy = detail::DecodeTiffPage(handle_->path, pageIndex, reason);
  } else if (!copy) {
    reason = settings::Text("RasterDamagedMsg", "the file is damaged");
    if (!messages.text().empty()) reason += " (" + messages.text() + ")";
  }
  if (copy && handle_->format == FIF_GIF) copy = detail::OnWhitePaper(std::move(copy));
  if (!copy) {
    platform::ShowMessage(detail::ReadFailureMessage(name, reason));
    return false;
  }
  return target.attach(copy.release());
}

std::string RasterPageReader::pageName(int pageIndex) const {
  return MakePageName(PathParts{directory_, name_, extension_}, pageIndex);
}

void RasterPageReader::close() {
  handle_.reset();
  directory_.clear();
  name_.clear();
  extension_.clear();
}

std::vector<RasterDocument> OpenRasterFile(const std::string& path) {
  std::vector<RasterDocument> documents;
  const std::string extension = std::filesystem::path(path).extension().string();
  if (!IsRasterExtension(extension)) {
    platform::ShowMessage(detail::ReadFailureMessage(
        path, settings::Text("RasterUnknownExtMsg", "the file extension is not a raster format")));
    return documents;
  }
  RasterPageReader reader;
  if (reader.openPages(path) && reader.pageCount() >= 2) {
    const int count = reader.pageCount();
    for (int i = 0; i < count; ++i) {
      RasterDocument document;
      if (!reader.copyPage(i, document.raster)) continue;  // unreadable pages are skipped
      document.name = reader.pageName(i);
      documents.push_back(std::move(document));
    }
    return documents;
  }
  reader.close();
  RasterDocument document;
  if (!document.raster.load(path)) return documents;
  document.name = path;
  documents.push_back(std::move(document));
  return documents;
}

bool LoadFirstPicture(const std::string& path, CRaster& image, int& pages) {
  pages = 1;
  if (!IsRasterExtension(std::filesystem::path(path).extension().string())) {
    std::string known;
    for (const std::string& extension : RasterExtensions()) known += (known.empty() ? "" : ", ") + extension;
    platform::ShowMessage(detail::ReadFailureMessage(
        path, settings::Text("RasterUnknownExtMsg", "the file extension is not a raster format") + " (" + known + ")"));
    return false;
  }
  RasterPageReader reader;
  if (reader.openPages(path) && reader.pageCount() >= 2) {
    pages = reader.pageCount();
    return reader.copyPage(0, image);
  }
  reader.close();
  return image.load(path);
}

namespace {

// CRaster::dotsPerInch() of a stored resolution: 1 dpi or less is unset.
int DotsPerInch(unsigned pixelsPerMetre) {
  if (static_cast<double>(pixelsPerMetre) * 0.01 * 2.54 <= 1.0) pixelsPerMetre = kDefaultPixelsPerMetre;
  return static_cast<int>(std::min<unsigned>(pixelsPerMetre, 0x7fffffff) * 0.0254 + 0.5);
}

}  // namespace

bool ReadRasterInfo(const std::string& path, RasterFileInfo& info, CRaster* decoded) {
  info = RasterFileInfo{};
  const FREE_IMAGE_FORMAT format = detail::FormatFromExtension(path);
  // A GIF page is the frame composed onto the logical screen, which only
  // decoding gives; the other formats' first page is the file's first picture.
  if (format != FIF_UNKNOWN && format != FIF_GIF) {
    detail::BitmapHeader header;
    std::string reason;
    switch (detail::LoadBitmapHeader(path, format, header, reason)) {
      case detail::HeaderResult::Failed:
        platform::ShowMessage(detail::ReadFailureMessage(path, reason));
        return false;
      case detail::HeaderResult::Read: {
        RasterPageReader reader;
        if (format == FIF_TIFF && reader.openPages(path)) info.pages = std::max(1, reader.pageCount());
        info.width = static_cast<int>(header.width);
        info.height = static_cast<int>(header.height);
        info.bitCount = header.bitCount;
        info.dotsPerInch = DotsPerInch(header.dotsPerMetre);
        if (!header.damage.empty()) info.damage = detail::ReadFailureMessage(path, header.damage);
        return true;
      }
      case detail::HeaderResult::NeedsPixels: break;
    }
  }
  CRaster image;
  if (!LoadFirstPicture(path, image, info.pages)) return false;
  info.width = image.width();
  info.height = image.height();
  info.bitCount = image.bitCount();
  info.dotsPerInch = image.dotsPerInch();
  if (decoded) image.moveTo(*decoded);
  return true;
}

bool SaveRaster(const CRaster& raster, const std::string& path) { return raster.save(path); }

}  // namespace quillon::raster
