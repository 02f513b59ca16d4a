#include "raster/fallback_decoder.h"

#include <magick/api.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>

#include "platform/shared_library.h"
#include "raster/raster.h"
#include "raster/tiff_reader.h"
#include "settings/language_table.h"

namespace quillon::raster::detail {

namespace {

std::string Damaged(const std::string& detail) {
  std::string reason = settings::Text("RasterDamagedMsg", "the file is damaged");
  if (!detail.empty()) reason += " (" + detail + ")";
  return reason;
}

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& reason) {
  std::error_code ec;
  const uint64_t size = std::filesystem::file_size(path, ec);
  // Compressed data decodes to more than it takes, never less than a
  // thousandth: a file above the decoded-size limit is no sensible raster.
  if (ec || size > DecodedSizeLimit()) {
    reason = ec ? settings::Text("RasterCannotOpenMsg", "the file cannot be opened")
                : settings::Text("RasterTooLargeMsg", "the image is too large");
    return false;
  }
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    reason = settings::Text("RasterCannotOpenMsg", "the file cannot be opened");
    return false;
  }
  bytes.resize(size);
  const bool ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
  std::fclose(f);
  if (!ok) reason = settings::Text("RasterCannotOpenMsg", "the file cannot be opened");
  return ok;
}

// --- grey + alpha TARGA ------------------------------------------------------
// Image types 3 (grey) and 11 (run-length grey) with 16-bit pixels of grey and
// alpha. Neither FreeImage nor GraphicsMagick reads them.

struct TgaHeader {
  unsigned idLength = 0, mapType = 0, type = 0, mapLength = 0, mapEntryBits = 0;
  unsigned width = 0, height = 0, pixelBits = 0, descriptor = 0;
};

bool ParseTgaHeader(const std::string& b, TgaHeader& h) {
  if (b.size() < 18) return false;
  auto u8 = [&](size_t at) { return unsigned(uint8_t(b[at])); };
  auto le16 = [&](size_t at) { return u8(at) | (u8(at + 1) << 8); };
  h.idLength = u8(0);
  h.mapType = u8(1);
  h.type = u8(2);
  h.mapLength = le16(5);
  h.mapEntryBits = u8(7);
  h.width = le16(12);
  h.height = le16(14);
  h.pixelBits = u8(16);
  h.descriptor = u8(17);
  return (h.type == 3 || h.type == 11) && h.pixelBits == 16 && h.mapType <= 1 && (h.descriptor & 0x0F) == 8;
}

BitmapPtr DecodeGreyAlphaTga(const std::string& b, std::string& reason) {
  TgaHeader h;
  if (!ParseTgaHeader(b, h)) {
    reason = UnsupportedReason("TGA variant");
    return nullptr;
  }
  if (h.width == 0 || h.height == 0) {
    reason = EmptyImageReason(h.width, h.height);
    return nullptr;
  }
  size_t at = 18 + h.idLength + (h.mapType ? size_t{h.mapLength} * ((h.mapEntryBits + 7) / 8) : 0);
  DecodedPixels p;
  p.width = h.width;
  p.height = h.height;
  p.channels = 1;
  const size_t count = size_t{h.width} * h.height;
  p.samples.resize(count);
  size_t done = 0;
  auto put = [&](uint8_t grey, uint8_t alpha) {
    // Rows run bottom up unless descriptor bit 5 is set; bit 4 mirrors them.
    const size_t row = done / h.width, column = done % h.width;
    const size_t y = (h.descriptor & 0x20) ? row : h.height - 1 - row;
    const size_t x = (h.descriptor & 0x10) ? h.width - 1 - column : column;
    p.samples[y * h.width + x] = OnWhite(grey, alpha, false);
    ++done;
  };
  auto pixelAt = [&](size_t offset) { return std::make_pair(uint8_t(b[offset]), uint8_t(b[offset + 1])); };
  bool ended = false;
  while (done < count && !ended) {
    if (h.type == 3) {
      if (at + 2 > b.size()) break;
      const auto [grey, alpha] = pixelAt(at);
      put(grey, alpha);
      at += 2;
      continue;
    }
    if (at >= b.size()) break;
    const auto packet = uint8_t(b[at++]);
    const unsigned run = (packet & 0x7F) + 1u;
    if (packet & 0x80) {  // one pixel repeated
      if (at + 2 > b.size()) break;
      const auto [grey, alpha] = pixelAt(at);
      at += 2;
      for (unsigned i = 0; i < run && done < count; ++i) put(grey, alpha);
    } else {  // run literal pixels
      for (unsigned i = 0; i < run && done < count; ++i, at += 2) {
        if (at + 2 > b.size()) {
          ended = true;
          break;
        }
        const auto [grey, alpha] = pixelAt(at);
        put(grey, alpha);
      }
    }
  }
  if (done < count) {
    reason = settings::Text("RasterTruncatedMsg", "the file is truncated");
    return nullptr;
  }
  BitmapPtr bitmap = BitmapFromPixels(p);
  if (!bitmap) reason = settings::Text("RasterNoMemoryMsg", "not enough memory");
  return bitmap;
}

// --- uncompressed palette BMP ---------------------------------------------------
// Two variants no packaged library reads right: four-colour BMP (Windows CE's
// 2 bits per pixel) and OS/2 2.x headers (16 to 64 bytes), whose 4-byte
// palette entries GraphicsMagick takes for 3-byte ones.

uint32_t LeAt(const std::string& b, size_t at, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | uint8_t(b[at + i]);
  return v;
}

bool IsOwnPaletteBmp(const std::string& b) {
  if (b.size() < 14 + 16 || b[0] != 'B' || b[1] != 'M') return false;
  const uint32_t headerSize = LeAt(b, 14, 4);
  if (headerSize < 16 || headerSize > 124 || b.size() < 14 + size_t{headerSize}) return false;
  const uint32_t bits = LeAt(b, 28, 2);
  const uint32_t compression = headerSize >= 20 ? LeAt(b, 30, 4) : 0;
  const bool os2 = headerSize != 40 && headerSize <= 64;
  return compression == 0 && (bits == 2 || (os2 && (bits == 1 || bits == 4 || bits == 8)));
}

BitmapPtr DecodeOwnPaletteBmp(const std::string& b, std::string& reason) {
  const uint32_t offset = LeAt(b, 10, 4), headerSize = LeAt(b, 14, 4), bits = LeAt(b, 28, 2);
  const auto width = static_cast<int32_t>(LeAt(b, 18, 4)), signedHeight = static_cast<int32_t>(LeAt(b, 22, 4));
  if (width <= 0 || signedHeight == 0 || signedHeight == INT32_MIN) {
    reason = EmptyImageReason(width < 0 ? 0 : width, 0);
    return nullptr;
  }
  const uint32_t height = static_cast<uint32_t>(signedHeight < 0 ? -signedHeight : signedHeight);
  if (!DecodedSizeAllowed(uint64_t(width), height, 24)) {
    reason = TooLargeReason(uint64_t(width), height, 24);
    return nullptr;
  }
  const uint32_t full = 1u << bits;
  uint32_t colours = headerSize >= 36 ? LeAt(b, 46, 4) : 0;
  if (colours == 0 || colours > full) colours = full;
  const size_t paletteAt = 14 + size_t{headerSize};
  const size_t rowBytes = (size_t(width) * bits + 31) / 32 * 4;
  if (paletteAt + 4 * colours > b.size() || offset > b.size() || (b.size() - offset) / rowBytes < height) {
    reason = settings::Text("RasterTruncatedMsg", "the file is truncated");
    return nullptr;
  }
  DecodedPixels p;
  p.width = static_cast<uint32_t>(width);
  p.height = height;
  p.samples.resize(size_t{p.width} * height * 3);
  const unsigned perByte = 8 / bits, mask = full - 1;
  for (uint32_t row = 0; row < height; ++row) {
    const uint32_t y = signedHeight < 0 ? row : height - 1 - row;  // positive heights run bottom up
    const size_t at = offset + row * rowBytes;
    for (uint32_t x = 0; x < p.width; ++x) {
      const unsigned shift = 8 - bits * (x % perByte + 1);
      const unsigned index = (uint8_t(b[at + x / perByte]) >> shift) & mask;
      const size_t entry = paletteAt + 4 * std::min<size_t>(index, colours - 1);
      uint8_t* out = &p.samples[(size_t{y} * p.width + x) * 3];
      out[0] = uint8_t(b[entry + 2]);
      out[1] = uint8_t(b[entry + 1]);
      out[2] = uint8_t(b[entry]);
    }
  }
  BitmapPtr bitmap = BitmapFromPixels(p);
  if (!bitmap) {
    reason = settings::Text("RasterNoMemoryMsg", "not enough memory");
    return nullptr;
  }
  if (headerSize >= 40) {
    FreeImage_SetDotsPerMeterX(bitmap.get(), LeAt(b, 38, 4));
    FreeImage_SetDotsPerMeterY(bitmap.get(), LeAt(b, 42, 4));
  }
  return bitmap;
}

// --- GraphicsMagick ----------------------------------------------------------

void QuietHandler(const ExceptionType, const char*, const char*) {}

// The GraphicsMagick calls the decoder makes. The library is opened on first
// use, not linked: it and the codec libraries it needs took half of every
// start of the program, and most runs never read a file FreeImage refuses.
struct MagickApi {
  decltype(&::GetExceptionInfo) GetExceptionInfo = nullptr;
  decltype(&::DestroyExceptionInfo) DestroyExceptionInfo = nullptr;
  decltype(&::InitializeMagickEx) InitializeMagickEx = nullptr;
  decltype(&::SetErrorHandler) SetErrorHandler = nullptr;
  decltype(&::SetWarningHandler) SetWarningHandler = nullptr;
  decltype(&::SetMagickResourceLimit) SetMagickResourceLimit = nullptr;
  decltype(&::CloneImageInfo) CloneImageInfo = nullptr;
  decltype(&::DestroyImageInfo) DestroyImageInfo = nullptr;
  decltype(&::DestroyImageList) DestroyImageList = nullptr;
  decltype(&::PingBlob) PingBlob = nullptr;
  decltype(&::BlobToImage) BlobToImage = nullptr;
  decltype(&::GetImageCharacteristics) GetImageCharacteristics = nullptr;
  decltype(&::DispatchImage) DispatchImage = nullptr;
};

// Set once the library is open and initialised; never unloaded.
const MagickApi* gm = nullptr;
std::string magickProblem;

template <typename Function>
bool Bind(platform::SharedLibrary& library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(library.find(name));
  if (function == nullptr && magickProblem.empty()) magickProblem = std::string("no ") + name + " in it";
  return function != nullptr;
}

// Opens and initialises GraphicsMagick once. False, with the reason in
// magickProblem, when it cannot be opened.
bool EnsureGraphicsMagick() {
  static std::once_flag once;
  std::call_once(once, [] {
    static platform::SharedLibrary library({QUILLON_GRAPHICSMAGICK_LIBRARY}, "GraphicsMagick");
    if (library.handle() == nullptr) {
      magickProblem = library.problem().empty() ? "it cannot be opened" : library.problem();
      return;
    }
    static MagickApi api;
    bool bound = Bind(library, "GetExceptionInfo", api.GetExceptionInfo);
    bound = Bind(library, "DestroyExceptionInfo", api.DestroyExceptionInfo) && bound;
    bound = Bind(library, "InitializeMagickEx", api.InitializeMagickEx) && bound;
    bound = Bind(library, "SetErrorHandler", api.SetErrorHandler) && bound;
    bound = Bind(library, "SetWarningHandler", api.SetWarningHandler) && bound;
    bound = Bind(library, "SetMagickResourceLimit", api.SetMagickResourceLimit) && bound;
    bound = Bind(library, "CloneImageInfo", api.CloneImageInfo) && bound;
    bound = Bind(library, "DestroyImageInfo", api.DestroyImageInfo) && bound;
    bound = Bind(library, "DestroyImageList", api.DestroyImageList) && bound;
    bound = Bind(library, "PingBlob", api.PingBlob) && bound;
    bound = Bind(library, "BlobToImage", api.BlobToImage) && bound;
    bound = Bind(library, "GetImageCharacteristics", api.GetImageCharacteristics) && bound;
    bound = Bind(library, "DispatchImage", api.DispatchImage) && bound;
    if (!bound) return;  // a library of another version: leave it unused
    ExceptionInfo exception;
    api.GetExceptionInfo(&exception);
    // The program owns its signals; GraphicsMagick must not install handlers.
    api.InitializeMagickEx(nullptr, MAGICK_OPT_NO_SIGNAL_HANDER, &exception);
    api.DestroyExceptionInfo(&exception);
    // Failures come back in each call's ExceptionInfo; nothing is printed.
    api.SetErrorHandler(QuietHandler);
    api.SetWarningHandler(QuietHandler);
    // The program's own threads parallelise; one decode stays on one core.
    api.SetMagickResourceLimit(ThreadsResource, 1);
    // Registering its TIFF coder may have replaced libtiff's global handlers,
    // which FreeImage's TIFF reads rely on.
    EnsureFreeImage();
    RouteTiffMessages();
    gm = &api;
  });
  return gm != nullptr;
}

std::string MagickMissingReason() {
  return "GraphicsMagick, which reads this file, cannot be loaded (" + magickProblem + ")";
}

const char* MagickName(FREE_IMAGE_FORMAT format) {
  switch (format) {
    case FIF_BMP: return "BMP";
    case FIF_PCX: return "PCX";
    case FIF_TARGA: return "TGA";
    case FIF_JPEG: return "JPEG";
    case FIF_PNG: return "PNG";
    case FIF_GIF: return "GIF";
    case FIF_PBM:
    case FIF_PBMRAW:
    case FIF_PGM:
    case FIF_PGMRAW:
    case FIF_PPM:
    case FIF_PPMRAW: return "PNM";
    default: return nullptr;
  }
}

struct ImageInfoDeleter {
  void operator()(ImageInfo* info) const { gm->DestroyImageInfo(info); }
};
struct ImageDeleter {
  void operator()(Image* image) const { gm->DestroyImageList(image); }
};
using ImageInfoPtr = std::unique_ptr<ImageInfo, ImageInfoDeleter>;
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

class Exception {
 public:
  Exception() { gm->GetExceptionInfo(&info_); }
  ~Exception() { gm->DestroyExceptionInfo(&info_); }
  Exception(const Exception&) = delete;
  Exception& operator=(const Exception&) = delete;
  ExceptionInfo* get() { return &info_; }
  // Errors, and warnings that say the data is corrupt (GraphicsMagick reads
  // a truncated file with only a warning and fills the rest with black).
  static bool Fatal(const ExceptionInfo& e) {
    return e.severity >= ErrorException || e.severity == CorruptImageWarning;
  }
  // The reason alone: the description names the decoder's stand-in file name.
  static std::string Text(const ExceptionInfo& e) { return e.reason ? e.reason : ""; }

 private:
  ExceptionInfo info_;
};

// An ImageInfo that reads the bytes as the format, whatever they look like,
// first frame only.
ImageInfoPtr InfoFor(const char* magick) {
  ImageInfoPtr info(gm->CloneImageInfo(nullptr));
  std::snprintf(info->filename, sizeof info->filename, "%s:quillon", magick);
  std::snprintf(info->magick, sizeof info->magick, "%s", magick);
  info->subimage = 0;
  info->subrange = 1;
  return info;
}

bool MagickPing(const std::string& bytes, const char* magick, unsigned long& width, unsigned long& height,
                std::string& detail) {
  ImageInfoPtr info = InfoFor(magick);
  Exception exception;
  ImagePtr image(gm->PingBlob(info.get(), bytes.data(), bytes.size(), exception.get()));
  if (!image || Exception::Fatal(*exception.get())) {
    detail = Exception::Text(*exception.get());
    return false;
  }
  width = image->columns;
  height = image->rows;
  return true;
}

BitmapPtr DecodeWithMagick(const std::string& bytes, const char* magick, std::string& reason) {
  unsigned long width = 0, height = 0;
  std::string detail;
  if (!MagickPing(bytes, magick, width, height, detail)) {
    reason = Damaged(detail);
    return nullptr;
  }
  if (width == 0 || height == 0) {
    reason = EmptyImageReason(width, height);
    return nullptr;
  }
  // The decoder's own pixels take 4 samples of up to 16 bits each.
  if (!DecodedSizeAllowed(width, height, 64)) {
    reason = TooLargeReason(width, height, 64);
    return nullptr;
  }
  ImageInfoPtr info = InfoFor(magick);
  Exception exception;
  ImagePtr image(gm->BlobToImage(info.get(), bytes.data(), bytes.size(), exception.get()));
  if (!image || Exception::Fatal(*exception.get()) || Exception::Fatal(image->exception)) {
    reason = Damaged(Exception::Text(Exception::Fatal(image ? image->exception : *exception.get())
                                         ? (image ? image->exception : *exception.get())
                                         : *exception.get()));
    return nullptr;
  }
  if (image->columns != width || image->rows != height) {
    reason = Damaged("");
    return nullptr;
  }
  ImageCharacteristics traits;
  if (!gm->GetImageCharacteristics(image.get(), &traits, MagickFalse, exception.get())) {
    reason = Damaged(Exception::Text(*exception.get()));
    return nullptr;
  }
  DecodedPixels p;
  p.width = static_cast<uint32_t>(width);
  p.height = static_cast<uint32_t>(height);
  p.channels = traits.grayscale ? 1 : 3;
  p.bilevel = traits.monochrome && traits.opaque;
  std::vector<uint8_t> rgba(size_t{p.width} * p.height * 4);
  if (!gm->DispatchImage(image.get(), 0, 0, width, height, "RGBA", CharPixel, rgba.data(), exception.get())) {
    reason = Damaged(Exception::Text(*exception.get()));
    return nullptr;
  }
  const size_t count = size_t{p.width} * p.height;
  p.samples.resize(count * p.channels);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* px = &rgba[4 * i];
    for (int c = 0; c < p.channels; ++c) p.samples[i * p.channels + c] = OnWhite(px[c], px[3], false);
  }
  BitmapPtr bitmap = BitmapFromPixels(p);
  if (!bitmap) {
    reason = settings::Text("RasterNoMemoryMsg", "not enough memory");
    return nullptr;
  }
  if (image->x_resolution > 0 && image->x_resolution < 1e6 &&
      (image->units == PixelsPerInchResolution || image->units == PixelsPerCentimeterResolution)) {
    const double perMetre = image->units == PixelsPerCentimeterResolution ? 100.0 : 1 / 0.0254;
    const double y = image->y_resolution > 0 && image->y_resolution < 1e6 ? image->y_resolution : image->x_resolution;
    FreeImage_SetDotsPerMeterX(bitmap.get(), static_cast<unsigned>(image->x_resolution * perMetre + 0.5));
    FreeImage_SetDotsPerMeterY(bitmap.get(), static_cast<unsigned>(y * perMetre + 0.5));
  }
  return bitmap;
}

}  // namespace

bool FallbackRecognises(const std::string& path, FREE_IMAGE_FORMAT format) {
  if (format == FIF_TIFF) return HasTiffSignature(path);
  const char* magick = MagickName(format);
  if (!magick) return false;
  std::string bytes, reason;
  if (!ReadWholeFile(path, bytes, reason)) return false;
  TgaHeader h;
  if ((format == FIF_TARGA && ParseTgaHeader(bytes, h)) || (format == FIF_BMP && IsOwnPaletteBmp(bytes))) return true;
  if (!EnsureGraphicsMagick()) return false;
  unsigned long width = 0, height = 0;
  std::string detail;
  return MagickPing(bytes, magick, width, height, detail);
}

BitmapPtr DecodeFallback(const std::string& path, FREE_IMAGE_FORMAT format, std::string& reason) {
  if (format == FIF_TIFF) return DecodeTiffPage(path, 0, reason);
  const char* magick = MagickName(format);
  if (!magick) {
    reason = UnsupportedReason(FormatName(format) + " file");
    return nullptr;
  }
  std::string bytes;
  if (!ReadWholeFile(path, bytes, reason)) return nullptr;
  try {
    TgaHeader tga;
    if (format == FIF_TARGA && ParseTgaHeader(bytes, tga)) return DecodeGreyAlphaTga(bytes, reason);
    if (format == FIF_BMP && IsOwnPaletteBmp(bytes)) return DecodeOwnPaletteBmp(bytes, reason);
    if (!EnsureGraphicsMagick()) {
      reason = MagickMissingReason();
      return nullptr;
    }
    return DecodeWithMagick(bytes, magick, reason);
  } catch (const std::bad_alloc&) {
    reason = settings::Text("RasterNoMemoryMsg", "not enough memory");
    return nullptr;
  }
}

}  // namespace quillon::raster::detail
