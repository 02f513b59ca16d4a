#include "raster/tiff_reader.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <new>
#include <vector>

#include "raster/raster.h"
#include "settings/language_table.h"

namespace quillon::raster::detail {

namespace {

// One libtiff handle whose errors are its own: the first error is kept and
// marks the session failed; warnings (unknown tags and the like) are dropped.
// Nothing reaches libtiff's global handlers, so concurrent loads and
// FreeImage's own TIFF reads do not see each other's messages.
class TiffSession {
 public:
  explicit TiffSession(const std::string& path) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, this);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, this);
    // No single libtiff buffer (strip, tile, tag array) beyond the decoded
    // size limit (or 16 MiB when the limit is lower, for the tag arrays of
    // small images): a lying header cannot make libtiff allocate more.
    const uint64_t cap = std::max<uint64_t>(DecodedSizeLimit(), uint64_t{16} << 20);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(std::min<uint64_t>(cap, INT64_MAX)));
    tif_ = TIFFOpenExt(path.c_str(), "r", options);
    TIFFOpenOptionsFree(options);
  }
  ~TiffSession() {
    if (tif_) TIFFClose(tif_);
  }
  TiffSession(const TiffSession&) = delete;
  TiffSession& operator=(const TiffSession&) = delete;

  TIFF* tif() const { return tif_; }
  bool failed() const { return failed_; }
  const std::string& error() const { return error_; }
  void clearError() {
    failed_ = false;
    error_.clear();
  }

 private:
  static int OnError(TIFF*, void* self, const char* module, const char* format, va_list args) {
    auto* session = static_cast<TiffSession*>(self);
    if (!session->failed_) {
      char text[512];
      std::vsnprintf(text, sizeof text, format, args);
      session->error_ = module && *module ? std::string(module) + ": " + text : std::string(text);
    }
    session->failed_ = true;
    return 1;
  }
  static int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

  TIFF* tif_ = nullptr;
  bool failed_ = false;
  std::string error_;
};

std::string Damaged(const std::string& detail) {
  std::string reason = settings::Text("RasterDamagedMsg", "the file is damaged");
  if (!detail.empty()) reason += " (" + detail + ")";
  return reason;
}

std::string Truncated() { return settings::Text("RasterTruncatedMsg", "the file is truncated"); }

struct PageFields {
  uint32_t width = 0, height = 0;
  uint16_t bitsPerSample = 1, samplesPerPixel = 1, compression = COMPRESSION_NONE;
  uint16_t planar = PLANARCONFIG_CONTIG, photometric = PHOTOMETRIC_MINISWHITE, sampleFormat = SAMPLEFORMAT_UINT;
  uint16_t alpha = EXTRASAMPLE_UNSPECIFIED;  // kind of the first extra sample; UNSPECIFIED: no alpha
  bool hasAlpha = false;
};

PageFields ReadFields(TIFF* tif) {
  PageFields f;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &f.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &f.height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &f.bitsPerSample);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &f.samplesPerPixel);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &f.compression);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &f.planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &f.sampleFormat);
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &f.photometric))
    f.photometric = f.samplesPerPixel >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  uint16_t extraCount = 0;
  uint16_t* extraKinds = nullptr;
  if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraKinds) && extraCount > 0 && extraKinds) {
    f.alpha = extraKinds[0];
    f.hasAlpha = f.alpha == EXTRASAMPLE_ASSOCALPHA || f.alpha == EXTRASAMPLE_UNASSALPHA;
  }
  return f;
}

// The most a codec can expand its data: bytes of decoded pixels per byte of
// file (PackBits 128 from 2, deflate about 1032, LZW under 2048 with its
// 12-bit codes and table resets, JPEG's DC-only blocks at most a few
// thousand). 0 where there is no useful bound.
uint64_t ExpansionLimit(uint16_t compression) {
  switch (compression) {
    case COMPRESSION_NONE: return 1;
    case COMPRESSION_PACKBITS: return 64;
    case COMPRESSION_LZW: return 2048;
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE: return 1100;
    case COMPRESSION_JPEG:
    case COMPRESSION_OJPEG: return 4096;
    default: return 0;
  }
}

bool CheckPage(TIFF* tif, uint64_t fileSize, std::string& reason) {
  const PageFields f = ReadFields(tif);
  if (f.width == 0 || f.height == 0) {
    reason = EmptyImageReason(f.width, f.height);
    return false;
  }
  if (!TIFFIsCODECConfigured(f.compression)) {
    reason = UnsupportedReason("TIFF compression " + std::to_string(f.compression));
    return false;
  }
  const unsigned bits = std::max(1u, unsigned{f.bitsPerSample} * f.samplesPerPixel);
  if (!DecodedSizeAllowed(f.width, f.height, bits)) {
    reason = TooLargeReason(f.width, f.height, bits);
    return false;
  }
  const bool tiled = TIFFIsTiled(tif) != 0;
  const uint32_t chunks = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
  uint64_t* offsets = nullptr;
  uint64_t* counts = nullptr;
  if (chunks == 0 || !TIFFGetField(tif, tiled ? TIFFTAG_TILEOFFSETS : TIFFTAG_STRIPOFFSETS, &offsets) ||
      !TIFFGetField(tif, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &counts) || !offsets || !counts) {
    reason = Damaged("no pixel data");
    return false;
  }
  uint64_t stored = 0;
  for (uint32_t i = 0; i < chunks; ++i) {
    if (counts[i] > fileSize || offsets[i] > fileSize - counts[i]) {
      reason = Truncated();
      return false;
    }
    stored += counts[i];
  }
  // What the pixels take once decoded, as the codecs deliver them.
  const uint64_t planes = f.planar == PLANARCONFIG_SEPARATE ? f.samplesPerPixel : 1;
  const uint64_t decoded = tiled ? uint64_t(TIFFTileSize64(tif)) * chunks
                                 : uint64_t(TIFFScanlineSize64(tif)) * f.height * planes;
  bool plausible = true;
  if (f.compression == COMPRESSION_CCITTRLE || f.compression == COMPRESSION_CCITTFAX3 ||
      f.compression == COMPRESSION_CCITTFAX4 || f.compression == COMPRESSION_CCITTRLEW) {
    plausible = stored * 8 >= f.height;  // every coded row takes at least one bit
  } else if (const uint64_t limit = ExpansionLimit(f.compression)) {
    plausible = stored >= (decoded + limit - 1) / limit;
  }
  if (!plausible) {
    reason = Truncated();
    return false;
  }
  return true;
}

// v of a field of `bits` bits (1..16) scaled to 0..255.
uint8_t ScaleTo8(uint32_t value, unsigned bits) {
  const uint32_t maximum = (1u << bits) - 1;
  return static_cast<uint8_t>((std::min(value, maximum) * 255u + maximum / 2) / maximum);
}

// Sample i of a row of `bits`-bit samples: 16-bit samples native (libtiff
// swaps them), others packed most significant bit first.
uint32_t SampleAt(const uint8_t* row, uint64_t i, unsigned bits) {
  if (bits == 8) return row[i];
  if (bits == 16) return reinterpret_cast<const uint16_t*>(row)[i];
  uint64_t bit = i * bits;
  uint32_t value = 0;
  for (unsigned n = 0; n < bits; ++n, ++bit) value = (value << 1) | ((row[bit >> 3] >> (7 - (bit & 7))) & 1u);
  return value;
}

// Through libtiff's RGBA interface: every photometric and layout it knows
// (1 to 16-bit samples, palettes, tiles, planes, YCbCr, CMYK, LogLuv).
bool ReadViaRgba(TiffSession& session, const PageFields& f, DecodedPixels& out) {
  std::vector<uint32_t> rgba(size_t{f.width} * f.height);
  if (!TIFFReadRGBAImageOriented(session.tif(), f.width, f.height, rgba.data(), ORIENTATION_TOPLEFT, 1) ||
      session.failed())
    return false;
  const bool grey = (f.photometric == PHOTOMETRIC_MINISBLACK || f.photometric == PHOTOMETRIC_MINISWHITE);
  out.channels = grey ? 1 : 3;
  out.bilevel = grey && f.bitsPerSample == 1 && !f.hasAlpha;
  out.samples.resize(rgba.size() * out.channels);
  // libtiff delivers premultiplied colour for both kinds of alpha.
  for (size_t i = 0; i < rgba.size(); ++i) {
    const uint32_t p = rgba[i];
    const auto a = static_cast<uint8_t>(TIFFGetA(p));
    if (grey) {
      out.samples[i] = OnWhite(static_cast<uint8_t>(TIFFGetR(p)), a, true);
    } else {
      out.samples[3 * i] = OnWhite(static_cast<uint8_t>(TIFFGetR(p)), a, true);
      out.samples[3 * i + 1] = OnWhite(static_cast<uint8_t>(TIFFGetG(p)), a, true);
      out.samples[3 * i + 2] = OnWhite(static_cast<uint8_t>(TIFFGetB(p)), a, true);
    }
  }
  return true;
}

// Strip-organised grey or RGB pages with sample depths libtiff's RGBA
// interface refuses (3, 5 ... 12, 14 bits), contiguous or planar.
bool ReadViaScanlines(TiffSession& session, const PageFields& f, DecodedPixels& out) {
  const unsigned bits = f.bitsPerSample;
  const bool grey = f.photometric != PHOTOMETRIC_RGB;
  const unsigned colour = grey ? 1 : 3;
  const unsigned used = colour + (f.hasAlpha ? 1 : 0);
  const unsigned spp = f.samplesPerPixel;
  const size_t pixels = size_t{f.width} * f.height;
  std::vector<uint8_t> planes(pixels * used);  // sample s of pixel i at i * used + s
  std::vector<uint8_t> line(static_cast<size_t>(TIFFScanlineSize64(session.tif())));
  const bool separate = f.planar == PLANARCONFIG_SEPARATE;
  for (unsigned plane = 0; plane < (separate ? used : 1u); ++plane) {
    for (uint32_t y = 0; y < f.height; ++y) {
      if (TIFFReadScanline(session.tif(), line.data(), y, static_cast<uint16_t>(plane)) < 0 || session.failed())
        return false;
      uint8_t* dst = planes.data() + size_t{y} * f.width * used;
      for (uint32_t x = 0; x < f.width; ++x) {
        if (separate) {
          dst[size_t{x} * used + plane] = ScaleTo8(SampleAt(line.data(), x, bits), bits);
        } else {
          for (unsigned s = 0; s < used; ++s)
            dst[size_t{x} * used + s] = ScaleTo8(SampleAt(line.data(), uint64_t{x} * spp + s, bits), bits);
        }
      }
    }
  }
  out.channels = static_cast<int>(colour);
  out.samples.resize(pixels * colour);
  const bool associated = f.alpha == EXTRASAMPLE_ASSOCALPHA;
  for (size_t i = 0; i < pixels; ++i) {
    const uint8_t a = f.hasAlpha ? planes[i * used + colour] : 255;
    for (unsigned c = 0; c < colour; ++c) {
      uint8_t v = planes[i * used + c];
      if (grey && f.photometric == PHOTOMETRIC_MINISWHITE) v = static_cast<uint8_t>(255 - v);
      out.samples[i * colour + c] = f.hasAlpha ? OnWhite(v, a, associated) : v;
    }
  }
  return true;
}

void CopyResolution(TIFF* tif, FIBITMAP* bitmap) {
  float x = 0, y = 0;
  uint16_t unit = RESUNIT_INCH;
  TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
  if (!TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x) || !(x > 0) || x > 1e6f || unit == RESUNIT_NONE) return;
  if (!TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y) || !(y > 0) || y > 1e6f) y = x;
  const double perMetre = unit == RESUNIT_CENTIMETER ? 100.0 : 1 / 0.0254;
  FreeImage_SetDotsPerMeterX(bitmap, static_cast<unsigned>(x * perMetre + 0.5));
  FreeImage_SetDotsPerMeterY(bitmap, static_cast<unsigned>(y * perMetre + 0.5));
}

}  // namespace

bool HasTiffSignature(const std::string& path) {
  unsigned char head[4] = {0, 0, 0, 0};
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  const bool got = std::fread(head, 1, 4, f) == 4;
  std::fclose(f);
  const bool little = head[0] == 'I' && head[1] == 'I' && (head[2] == 42 || head[2] == 43) && head[3] == 0;
  const bool big = head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43);
  return got && (little || big);
}

bool CheckTiffFile(const std::string& path, int& pages, std::string& reason) {
  pages = 0;
  std::error_code ec;
  const uint64_t fileSize = std::filesystem::file_size(path, ec);
  if (ec) {
    reason = settings::Text("RasterCannotOpenMsg", "the file cannot be opened");
    return false;
  }
  TiffSession session(path);
  if (!session.tif()) {
    reason = Damaged(session.error());
    return false;
  }
  // Pages after a broken directory are not there for any reader; the pages
  // before it still open.
  do {
    if (!CheckPage(session.tif(), fileSize, reason)) {
      if (pages == 0) return false;
      // A later page is refused when it is opened; the count still covers it.
    }
    ++pages;
    session.clearError();
  } while (pages < 65536 && TIFFReadDirectory(session.tif()));
  return true;
}

bool CheckTiffPage(const std::string& path, int pageIndex, std::string& reason) {
  std::error_code ec;
  const uint64_t fileSize = std::filesystem::file_size(path, ec);
  TiffSession session(path);
  if (ec || !session.tif() || pageIndex < 0 || !TIFFSetDirectory(session.tif(), static_cast<tdir_t>(pageIndex))) {
    reason = Damaged(session.error());
    return false;
  }
  return CheckPage(session.tif(), fileSize, reason);
}

BitmapPtr DecodeTiffPage(const std::string& path, int pageIndex, std::string& reason) {
  TiffSession session(path);
  if (!session.tif() || pageIndex < 0 || !TIFFSetDirectory(session.tif(), static_cast<tdir_t>(pageIndex))) {
    reason = Damaged(session.error());
    return nullptr;
  }
  const PageFields f = ReadFields(session.tif());
  if (f.width == 0 || f.height == 0) {
    reason = EmptyImageReason(f.width, f.height);
    return nullptr;
  }
  if (!DecodedSizeAllowed(f.width, f.height, 32)) {  // the RGBA buffer
    reason = TooLargeReason(f.width, f.height, 32);
    return nullptr;
  }
  if (f.sampleFormat == SAMPLEFORMAT_IEEEFP || f.sampleFormat == SAMPLEFORMAT_COMPLEXIEEEFP ||
      f.sampleFormat == SAMPLEFORMAT_COMPLEXINT) {
    reason = UnsupportedReason("TIFF floating-point or complex samples");
    return nullptr;
  }
  DecodedPixels pixels;
  pixels.width = f.width;
  pixels.height = f.height;
  bool ok = false;
  try {
    char refusal[1024] = "";
    if (TIFFRGBAImageOK(session.tif(), refusal)) {
      ok = ReadViaRgba(session, f, pixels);
    } else if (!TIFFIsTiled(session.tif()) && f.bitsPerSample >= 1 && f.bitsPerSample <= 16 &&
               (f.photometric == PHOTOMETRIC_MINISBLACK || f.photometric == PHOTOMETRIC_MINISWHITE ||
                (f.photometric == PHOTOMETRIC_RGB && f.samplesPerPixel >= 3)) &&
               f.samplesPerPixel >= (f.photometric == PHOTOMETRIC_RGB ? 3 : 1) + (f.hasAlpha ? 1 : 0)) {
      session.clearError();  // TIFFRGBAImageOK's refusal is no fault of the file
      ok = ReadViaScanlines(session, f, pixels);
    } else {
      reason = UnsupportedReason(std::string("TIFF variant: ") + refusal);
      return nullptr;
    }
  } catch (const std::bad_alloc&) {
    ShowNoMemory();
    reason = settings::Text("RasterNoMemoryMsg", "not enough memory");
    return nullptr;
  }
  if (!ok || session.failed()) {
    reason = Damaged(session.error());
    return nullptr;
  }
  BitmapPtr bitmap = BitmapFromPixels(pixels);
  if (!bitmap) {
    reason = settings::Text("RasterNoMemoryMsg", "not enough memory");
    return nullptr;
  }
  CopyResolution(session.tif(), bitmap.get());
  return bitmap;
}

}  // namespace quillon::raster::detail
