#include "raster/raster_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "platform/message_sink.h"
#include "raster/freeimage_support.h"
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

bool IsRasterExtension(const std::string& extension) {
  std::string ext = extension;
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".bmp" || ext == ".jpg" || ext == ".jpeg" || ext == ".tga" || ext == ".tif" || ext == ".tiff" ||
         ext == ".pcx";
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
  if (!FreeImage_FIFSupportsReading(format) || format != FIF_TIFF) return false;
  detail::LibraryMessageScope quiet;  // a file that is no multi-page file is not an error here
  FIMULTIBITMAP* pages = FreeImage_OpenMultiBitmap(format, path.c_str(), FALSE, TRUE, FALSE, 0);
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
  if (!header) reason = settings::Text("RasterDamagedMsg", "the file is damaged");
  if (!acceptable) {
    platform::ShowMessage(detail::ReadFailureMessage(name, reason));
    return false;
  }

  FIBITMAP* page = FreeImage_LockPage(handle_->pages, pageIndex);
  if (!page) {
    reason = settings::Text("RasterDamagedMsg", "the file is damaged");
    if (!messages.text().empty()) reason += " (" + messages.text() + ")";
    platform::ShowMessage(detail::ReadFailureMessage(name, reason));
    return false;
  }
  FIBITMAP* copy = FreeImage_Clone(page);
  FreeImage_UnlockPage(handle_->pages, page, FALSE);
  if (!copy) {
    detail::ShowNoMemory();
    return false;
  }
  return target.attach(copy);
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

bool SaveRaster(const CRaster& raster, const std::string& path) { return raster.save(path); }

}  // namespace quillon::raster
