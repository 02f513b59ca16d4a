#include "raster/freeimage_support.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>

#include <tiffio.h>

#include "platform/message_sink.h"
#include "raster/fallback_decoder.h"
#include "raster/raster.h"
#include "raster/tiff_reader.h"
#include "settings/language_table.h"

namespace quillon::raster {

namespace {
std::atomic<uint64_t> g_decodedLimit{kMaxDecodedBytes};
}  // namespace

uint64_t DecodedSizeLimit() { return g_decodedLimit.load(std::memory_order_relaxed); }

void SetDecodedSizeLimit(uint64_t bytes) { g_decodedLimit.store(bytes, std::memory_order_relaxed); }

bool DecodedSizeAllowed(uint64_t width, uint64_t height, unsigned bitsPerPixel) {
  if (width == 0 || height == 0 || bitsPerPixel == 0) return false;
  // Sizes come from untrusted headers (at most 2^32 each); keep the product
  // from overflowing by dividing the limit instead of multiplying.
  const uint64_t limitBits = DecodedSizeLimit() * 8;
  const uint64_t rowBits = width * bitsPerPixel;
  return rowBits <= limitBits && height <= limitBits / rowBits;
}

namespace detail {

namespace {

thread_local LibraryMessageScope* t_scope = nullptr;

void OnLibraryMessage(FREE_IMAGE_FORMAT format, const char* message) {
  const char* name = format == FIF_UNKNOWN ? nullptr : FreeImage_GetFormatFromFIF(format);
  AppendLibraryMessage(name, message ? message : "");
}

// libtiff reports through its own global handlers, which print to stderr
// unless replaced; FreeImage leaves them alone. An error (as opposed to a
// warning) also marks the scope failed: FreeImage carries on past a strip it
// could not read and would hand back a partly decoded picture.
std::string TiffText(const char* module, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  return module && *module ? std::string(module) + ": " + text : std::string(text);
}

// FreeImage asks libtiff for EXIF tags it does not know on every TIFF read;
// that is noise, not a problem of the file.
bool TiffNoise(const char* module) { return module && std::strcmp(module, "TIFFFieldWithTag") == 0; }

void OnTiffWarning(const char* module, const char* format, va_list args) {
  if (TiffNoise(module)) return;
  AppendLibraryMessage("TIFF", TiffText(module, format, args).c_str());
}

void OnTiffError(const char* module, const char* format, va_list args) {
  if (TiffNoise(module)) return;
  AppendLibraryMessage("TIFF", TiffText(module, format, args).c_str());
  NoteTiffError();
}

// Counts what the decoder asked for beyond the end of the file, so that a
// truncated file does not decode "successfully" into a half-empty picture.
struct CountingFile {
  std::FILE* file = nullptr;
  uint64_t missingBytes = 0;  // requested but not delivered
};

unsigned DLL_CALLCONV ReadProc(void* buffer, unsigned size, unsigned count, fi_handle handle) {
  auto* f = static_cast<CountingFile*>(handle);
  const size_t got = std::fread(buffer, size, count, f->file);
  if (got < count && size > 0) {
    f->missingBytes += uint64_t{count - got} * size;
  }
  return static_cast<unsigned>(got);
}
unsigned DLL_CALLCONV WriteProc(void*, unsigned, unsigned, fi_handle) { return 0; }
int DLL_CALLCONV SeekProc(fi_handle handle, long offset, int origin) {
  return std::fseek(static_cast<CountingFile*>(handle)->file, offset, origin);
}
long DLL_CALLCONV TellProc(fi_handle handle) { return std::ftell(static_cast<CountingFile*>(handle)->file); }

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

uint64_t FileSize(std::FILE* file) {
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  return size < 0 ? 0 : static_cast<uint64_t>(size);
}

// Reads bytes [offset, end) of a file one at a time through stdio's buffer.
class ByteReader {
 public:
  ByteReader(std::FILE* file, uint64_t offset, uint64_t end) : file_(file), left_(end > offset ? end - offset : 0) {
    std::fseek(file, static_cast<long>(offset), SEEK_SET);
  }
  // False at the end of the range.
  bool next(unsigned& byte) {
    if (left_ == 0) return false;
    const int c = getc_unlocked(file_);
    if (c == EOF) return false;
    --left_;
    byte = static_cast<unsigned>(c);
    return true;
  }
  bool skip(uint64_t count) {
    if (count > left_) return false;
    left_ -= count;
    return std::fseek(file_, static_cast<long>(count), SEEK_CUR) == 0;
  }

 private:
  std::FILE* file_;
  uint64_t left_;
};

unsigned Le16(const uint8_t* p) { return p[0] | (p[1] << 8); }

// FreeImage's TARGA reader stops quietly where the data ends; this walks the
// pixel data (raw or run-length packets) and says whether it holds every
// pixel the header promises.
bool TgaDataComplete(std::FILE* file) {
  const uint64_t size = FileSize(file);
  uint8_t h[18];
  std::fseek(file, 0, SEEK_SET);
  if (std::fread(h, 1, sizeof h, file) != sizeof h) return false;
  const uint64_t mapBytes = uint64_t{Le16(h + 5)} * ((h[7] + 7u) / 8u);
  const uint64_t offset = 18u + h[0] + (h[1] ? mapBytes : 0);
  const uint64_t pixels = uint64_t{Le16(h + 12)} * Le16(h + 14);
  const unsigned pixelBytes = (h[16] + 7u) / 8u;
  if (pixelBytes == 0) return false;
  if (h[2] < 9) return offset + pixels * pixelBytes <= size;
  ByteReader in(file, offset, size);
  uint64_t done = 0;
  unsigned packet = 0;
  while (done < pixels) {
    if (!in.next(packet)) return false;
    const unsigned count = (packet & 0x7F) + 1;
    if (!in.skip(packet & 0x80 ? pixelBytes : uint64_t{count} * pixelBytes)) return false;
    done += count;
  }
  return true;
}

// The same for PCX: the run-length data between the 128-byte header and the
// 256-colour palette must decode to every line of every plane.
bool PcxDataComplete(std::FILE* file) {
  const uint64_t size = FileSize(file);
  uint8_t h[128];
  std::fseek(file, 0, SEEK_SET);
  if (std::fread(h, 1, sizeof h, file) != sizeof h) return false;
  const uint64_t height = uint64_t{Le16(h + 10)} - Le16(h + 6) + 1;
  const uint64_t needed = uint64_t{Le16(h + 66)} * h[65] * height;
  uint64_t end = size;
  if (h[1] == 5 && h[3] == 8 && h[65] == 1) {
    // 256-colour files end with a marker byte 12 and the palette; the
    // reader takes the last 768 bytes as palette whether it is there or not.
    if (size < 128 + 769) return false;
    std::fseek(file, static_cast<long>(size - 769), SEEK_SET);
    if (std::fgetc(file) != 12) return false;
    end = size - 769;
  }
  if (h[2] != 1) return 128 + needed <= end;
  ByteReader in(file, 128, end);
  uint64_t done = 0;
  unsigned byte = 0, value = 0;
  while (done < needed) {
    if (!in.next(byte)) return false;
    if ((byte & 0xC0) == 0xC0) {
      if (!in.next(value)) return false;
      done += byte & 0x3F;
    } else {
      ++done;
    }
  }
  return true;
}

// Whether a PCX or TARGA file holds less pixel data than its header
// promises (checked before decoding: those readers stop quietly or crash).
bool DataIncomplete(FREE_IMAGE_FORMAT format, std::FILE* file) {
  switch (format) {
    case FIF_PCX: return !PcxDataComplete(file);
    case FIF_TARGA: return !TgaDataComplete(file);
    default: return false;
  }
}

// Whether the decoder ran out of data. FreeImage's BMP reader takes exactly
// what it needs, so every missing byte counts (beyond the 3 bytes of row
// padding some writers leave off the last row); JPEG says so itself; TIFF
// fails by itself; PCX and TARGA were walked before decoding.
bool Truncated(FREE_IMAGE_FORMAT format, const CountingFile& counted, const LibraryMessageScope& messages) {
  switch (format) {
    case FIF_BMP: return counted.missingBytes > 3;
    case FIF_JPEG: return messages.contains("Premature end");
    default: return false;
  }
}

// The format the content seems to be in, for the message about a file whose
// extension lies. Only signature checks of common raster formats are asked:
// FreeImage's full probe also runs readers such as its camera-raw and XPM
// detectors, which corrupt the heap on some inputs.
FREE_IMAGE_FORMAT LooksLike(FreeImageIO& io, CountingFile& counted) {
  for (FREE_IMAGE_FORMAT candidate : {FIF_BMP, FIF_JPEG, FIF_TIFF, FIF_PNG, FIF_GIF, FIF_PCX, FIF_TARGA}) {
    std::fseek(counted.file, 0, SEEK_SET);
    if (FreeImage_ValidateFromHandle(candidate, &io, &counted)) return candidate;
  }
  return FIF_UNKNOWN;
}

}  // namespace

std::string FormatName(FREE_IMAGE_FORMAT format) {
  switch (format) {
    case FIF_BMP: return "BMP";
    case FIF_JPEG: return "JPEG";
    case FIF_TIFF: return "TIFF";
    case FIF_TARGA: return "TGA";
    case FIF_PCX: return "PCX";
    case FIF_PNG: return "PNG";
    case FIF_GIF: return "GIF";
    case FIF_PBM:
    case FIF_PBMRAW: return "PBM";
    case FIF_PGM:
    case FIF_PGMRAW: return "PGM";
    case FIF_PPM:
    case FIF_PPMRAW: return "PPM";
    default: {
      const char* name = FreeImage_GetFormatFromFIF(format);
      return name ? name : "unknown";
    }
  }
}

void RouteTiffMessages() {
  TIFFSetErrorHandler(OnTiffError);
  TIFFSetWarningHandler(OnTiffWarning);
}

void NoteTiffError() {
  if (LibraryMessageScope* scope = t_scope) scope->tiffFailed_ = true;
}

void AppendLibraryMessage(const char* format, const char* message) {
  std::string text = format ? std::string(format) + ": " + message : std::string(message);
  if (LibraryMessageScope* scope = t_scope) {
    // The last message is the one that explains a failure.
    scope->text_ = std::move(text);
    return;
  }
  platform::ShowMessage("FreeImage " + text, platform::MessageKind::Warning);
}

LibraryMessageScope::LibraryMessageScope() : previous_(t_scope) { t_scope = this; }
LibraryMessageScope::~LibraryMessageScope() { t_scope = previous_; }

void EnsureFreeImage() {
  static std::once_flag once;
  std::call_once(once, [] {
    FreeImage_Initialise(FALSE);
    FreeImage_SetOutputMessage(OnLibraryMessage);
    RouteTiffMessages();
  });
}

FREE_IMAGE_FORMAT FormatFromExtension(const std::string& path) {
  const std::string ext = Lower(std::filesystem::path(path).extension().string());
  if (ext == ".bmp") return FIF_BMP;
  if (ext == ".jpg" || ext == ".jpeg") return FIF_JPEG;
  if (ext == ".tif" || ext == ".tiff") return FIF_TIFF;
  if (ext == ".tga") return FIF_TARGA;
  if (ext == ".pcx") return FIF_PCX;
  if (ext == ".png") return FIF_PNG;
  if (ext == ".gif") return FIF_GIF;
  if (ext == ".pnm" || ext == ".pbm" || ext == ".pgm" || ext == ".ppm") {
    // The variant is in the signature; a wrong or missing one is reported
    // as not a valid file of the extension's variant.
    char signature[2] = {0, 0};
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
      if (std::fread(signature, 1, 2, f) != 2) signature[0] = 0;
      std::fclose(f);
    }
    if (signature[0] == 'P') {
      switch (signature[1]) {
        case '1': return FIF_PBM;
        case '4': return FIF_PBMRAW;
        case '2': return FIF_PGM;
        case '5': return FIF_PGMRAW;
        case '3': return FIF_PPM;
        case '6': return FIF_PPMRAW;
        default: break;
      }
    }
    return ext == ".pbm" ? FIF_PBMRAW : ext == ".pgm" ? FIF_PGMRAW : FIF_PPMRAW;
  }
  return FIF_UNKNOWN;
}

std::string EmptyImageReason(uint64_t width, uint64_t height) {
  return settings::Text("RasterEmptyImageMsg", "the image has no pixels") + " (" + std::to_string(width) + " x " +
         std::to_string(height) + ")";
}

std::string TooLargeReason(uint64_t width, uint64_t height, unsigned bits) {
  return settings::Text("RasterTooLargeMsg", "the image is too large") + " (" + std::to_string(width) + " x " +
         std::to_string(height) + " pixels, " + std::to_string(bits) + " bits; the limit is " +
         std::to_string(DecodedSizeLimit() >> 20) + " MiB)";
}

std::string UnsupportedReason(const std::string& what) {
  return settings::Text("RasterUnsupportedMsg", "unsupported") + " " + what;
}

bool BitmapSizeAcceptable(FIBITMAP* header, std::string& reason) {
  const unsigned width = FreeImage_GetWidth(header);
  const unsigned height = FreeImage_GetHeight(header);
  const unsigned bits = FreeImage_GetBPP(header);
  if (width == 0 || height == 0) {
    reason = EmptyImageReason(width, height);
    return false;
  }
  if (!DecodedSizeAllowed(width, height, bits)) {
    reason = TooLargeReason(width, height, bits);
    return false;
  }
  return true;
}

BitmapPtr BitmapFromPixels(const DecodedPixels& p) {
  const int w = static_cast<int>(p.width), h = static_cast<int>(p.height);
  BitmapPtr bitmap(FreeImage_Allocate(w, h, p.bilevel ? 1 : p.channels == 1 ? 8 : 24));
  if (!bitmap) return nullptr;
  if (RGBQUAD* pal = FreeImage_GetPalette(bitmap.get())) {
    if (p.bilevel) {
      pal[0] = RGBQUAD{255, 255, 255, 0};
      pal[1] = RGBQUAD{0, 0, 0, 0};
    } else {
      for (int i = 0; i < 256; ++i) pal[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
    }
  }
  for (int y = 0; y < h; ++y) {
    BYTE* dst = FreeImage_GetScanLine(bitmap.get(), h - 1 - y);  // FreeImage rows run bottom up
    const uint8_t* src = p.samples.data() + size_t(y) * w * p.channels;
    if (p.bilevel) {
      std::fill(dst, dst + (w + 7) / 8, BYTE{0});
      for (int x = 0; x < w; ++x)
        if (src[x] < 128) dst[x >> 3] |= static_cast<BYTE>(0x80 >> (x & 7));
    } else if (p.channels == 1) {
      std::copy(src, src + w, dst);
    } else {
      for (int x = 0; x < w; ++x) {
        dst[3 * x + FI_RGBA_RED] = src[3 * x];
        dst[3 * x + FI_RGBA_GREEN] = src[3 * x + 1];
        dst[3 * x + FI_RGBA_BLUE] = src[3 * x + 2];
      }
    }
  }
  return bitmap;
}

namespace {

unsigned Le16At(const std::string& h, size_t at) { return uint8_t(h[at]) | (uint8_t(h[at + 1]) << 8); }
uint32_t Le32At(const std::string& h, size_t at) { return Le16At(h, at) | (uint32_t{Le16At(h, at + 2)} << 16); }

// From a BMP header alone: the size limit, and for uncompressed data whether
// the file holds every row (3 bytes of padding may be missing from the last
// one; some writers leave them off). Headers it does not know pass: the
// decoders judge them.
bool BmpPlausible(std::FILE* file, std::string& reason) {
  const uint64_t size = FileSize(file);
  std::string h(14 + 64, '\0');
  std::fseek(file, 0, SEEK_SET);
  if (std::fread(h.data(), 1, h.size(), file) < 14 + 16) return true;
  const uint32_t offset = Le32At(h, 10), headerSize = Le32At(h, 14);
  uint64_t width = 0, height = 0;
  unsigned bits = 0;
  uint32_t compression = 0;
  if (headerSize == 12) {
    width = Le16At(h, 18);
    height = Le16At(h, 20);
    bits = Le16At(h, 24);
  } else if (headerSize >= 16 && headerSize <= 124) {
    const auto w = static_cast<int32_t>(Le32At(h, 18)), hh = static_cast<int32_t>(Le32At(h, 22));
    if (w <= 0 || hh == 0 || hh == INT32_MIN) return true;
    width = static_cast<uint64_t>(w);
    height = static_cast<uint64_t>(hh < 0 ? -int64_t{hh} : hh);
    bits = Le16At(h, 28);
    if (headerSize >= 20) compression = Le32At(h, 30);
    // OS/2 2.x uses 3 for its Huffman coding, not for bit fields.
    if (headerSize == 64 && compression >= 3) compression = 99;
  } else {
    return true;
  }
  if (width == 0 || height == 0 || bits == 0 || bits > 64) return true;
  if (!DecodedSizeAllowed(width, height, bits)) {
    reason = TooLargeReason(width, height, bits);
    return false;
  }
  const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
  const uint64_t rowBytes = (width * bits + 31) / 32 * 4;
  if (uncompressed && offset != 0 && offset + rowBytes * height > size + 3) {
    reason = settings::Text("RasterTruncatedMsg", "the file is truncated");
    return false;
  }
  return true;
}

// Checks every decoder relies on, made from the headers before any of them
// takes pixel memory: the size limit and whether the file can hold the
// pixels its header promises.
bool PixelDataPlausible(const std::string& path, FREE_IMAGE_FORMAT format, std::FILE* file, std::string& reason) {
  switch (format) {
    case FIF_TIFF: {
      int pages = 0;
      return CheckTiffFile(path, pages, reason);
    }
    case FIF_BMP: return BmpPlausible(file, reason);
    case FIF_PCX:
    case FIF_TARGA: {
      uint8_t h[128] = {};
      std::fseek(file, 0, SEEK_SET);
      const size_t got = std::fread(h, 1, sizeof h, file);
      uint64_t width = 0, height = 0;
      unsigned bits = 0;
      if (format == FIF_TARGA && got >= 18) {
        width = Le16(h + 12);
        height = Le16(h + 14);
        bits = h[16];
      } else if (format == FIF_PCX && got == sizeof h && Le16(h + 8) >= Le16(h + 4) && Le16(h + 10) >= Le16(h + 6)) {
        width = uint64_t{Le16(h + 8)} - Le16(h + 4) + 1;
        height = uint64_t{Le16(h + 10)} - Le16(h + 6) + 1;
        bits = unsigned{h[3]} * h[65];
      }
      if (bits > 0 && !DecodedSizeAllowed(width, height, bits)) {
        reason = TooLargeReason(width, height, bits);
        return false;
      }
      // FreeImage's TARGA and PCX readers size their buffers from the header
      // and the bytes left behind it; a header that promises more than the
      // file holds (an ID field past the end, say) makes them crash.
      if (DataIncomplete(format, file)) {
        reason = settings::Text("RasterTruncatedMsg", "the file is truncated");
        return false;
      }
      return true;
    }
    default: return true;
  }
}

// For a file neither decoder read: what in its header no decoder here
// supports ("BMP compression 4", "TGA image type 32" ...), or empty when
// nothing in the header explains the failure.
std::string UnsupportedFeature(FREE_IMAGE_FORMAT format, std::FILE* file) {
  uint8_t h[128] = {};
  std::fseek(file, 0, SEEK_SET);
  const size_t got = std::fread(h, 1, sizeof h, file);
  auto le32 = [&](size_t at) { return uint32_t{Le16(h + at)} | (uint32_t{Le16(h + at + 2)} << 16); };
  auto oneOf = [](unsigned v, std::initializer_list<unsigned> known) {
    return std::find(known.begin(), known.end(), v) != known.end();
  };
  switch (format) {
    case FIF_BMP: {
      if (got < 30 || h[0] != 'B' || h[1] != 'M') return {};
      const uint32_t headerSize = le32(14);
      if (!oneOf(headerSize, {12, 16, 40, 52, 56, 64, 108, 124}))
        return "BMP header kind (" + std::to_string(headerSize) + " bytes)";
      const unsigned bits = headerSize == 12 ? Le16(h + 24) : Le16(h + 28);
      if (!oneOf(bits, {1, 2, 4, 8, 16, 24, 32})) return "BMP bit depth " + std::to_string(bits);
      const uint32_t compression = headerSize >= 20 ? le32(30) : 0;
      if (headerSize != 64 && !oneOf(compression, {0, 1, 2, 3, 6}))
        return "BMP compression " + std::to_string(compression) +
               (compression == 4 ? " (JPEG)" : compression == 5 ? " (PNG)" : "");
      return {};
    }
    case FIF_TARGA:
      // No signature: only a header whose other fields are sane speaks.
      if (got < 18 || h[1] > 1 || Le16(h + 12) == 0 || Le16(h + 14) == 0) return {};
      if (!oneOf(h[2], {1, 2, 3, 9, 10, 11})) return "TGA image type " + std::to_string(h[2]);
      if (!oneOf(h[16], {8, 15, 16, 24, 32})) return "TGA bit depth " + std::to_string(h[16]);
      return {};
    case FIF_PCX: {
      if (got < 128 || h[0] != 10) return {};
      const unsigned bits = h[3], planes = h[65];
      if (!(bits == 1 && planes <= 4) && !(bits == 8 && (planes == 1 || planes == 3 || planes == 4)) &&
          !((bits == 2 || bits == 4) && planes == 1))
        return "PCX layout (" + std::to_string(bits) + " bits x " + std::to_string(planes) + " planes)";
      return {};
    }
    default: return {};
  }
}

// The FreeImage attempt. Null with refused set when the file is judged bad
// (too large, truncated): no other decoder should try it. Null with refused clear when FreeImage merely cannot read it.
BitmapPtr LoadWithFreeImage(FREE_IMAGE_FORMAT format, FreeImageIO& io, CountingFile& counted,
                            const LibraryMessageScope& messages, std::string& reason, bool& refused) {
  refused = false;
  auto damaged = [&] {
    reason = settings::Text("RasterDamagedMsg", "the file is damaged");
    if (!messages.text().empty()) reason += " (" + messages.text() + ")";
  };
  // Header first: the size is checked before any pixel memory is taken.
  std::fseek(counted.file, 0, SEEK_SET);
  BitmapPtr header(FreeImage_LoadFromHandle(format, &io, &counted, FIF_LOAD_NOPIXELS));
  if (!header) {
    damaged();
    return nullptr;
  }
  if (!BitmapSizeAcceptable(header.get(), reason)) {
    refused = true;
    return nullptr;
  }
  header.reset();

  std::fseek(counted.file, 0, SEEK_SET);
  counted.missingBytes = 0;
  BitmapPtr bitmap(FreeImage_LoadFromHandle(format, &io, &counted, 0));
  if (messages.tiffFailed()) {
    // A strip or tile was lost, or FreeImage asked libtiff for something the
    // layout does not have: never its partial picture. libtiff's own decoder
    // gets the file next and fails as well when the data is really broken.
    damaged();
    return nullptr;
  }
  if (!bitmap || !FreeImage_HasPixels(bitmap.get())) {
    damaged();
    return nullptr;
  }
  // High-dynamic-range pixels (LogLuv TIFF reads as float RGB) have no
  // conversion to a standard bitmap here; libtiff delivers them as 8-bit RGB.
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(bitmap.get());
  if (format == FIF_TIFF && (type == FIT_RGBF || type == FIT_RGBAF || type == FIT_FLOAT || type == FIT_DOUBLE ||
                             type == FIT_COMPLEX)) {
    reason = UnsupportedReason("floating-point TIFF samples");
    return nullptr;
  }
  if (Truncated(format, counted, messages)) {
    reason = settings::Text("RasterTruncatedMsg", "the file is truncated");
    refused = true;
    return nullptr;
  }
  // The decoder may report a different size than the header did.
  if (!BitmapSizeAcceptable(bitmap.get(), reason)) {
    refused = true;
    return nullptr;
  }
  return bitmap;
}

}  // namespace

bool SignatureMatches(const std::string& path, FREE_IMAGE_FORMAT format) {
  EnsureFreeImage();
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file || format == FIF_UNKNOWN) return false;
  FreeImageIO io{ReadProc, WriteProc, SeekProc, TellProc};
  CountingFile counted{file.get()};
  LibraryMessageScope quiet;
  return FreeImage_ValidateFromHandle(format, &io, &counted) != FALSE;
}

BitmapPtr OnWhitePaper(BitmapPtr bitmap) {
  if (!bitmap) return bitmap;
  const FREE_IMAGE_TYPE type = FreeImage_GetImageType(bitmap.get());
  if (type == FIT_RGBA16 || type == FIT_RGBAF) {
    bitmap.reset(FreeImage_ConvertTo32Bits(bitmap.get()));
    if (!bitmap) return bitmap;
  }
  if (FreeImage_GetImageType(bitmap.get()) != FIT_BITMAP) return bitmap;
  const unsigned bpp = FreeImage_GetBPP(bitmap.get());
  // 32-bit pictures always carry alpha here (a composed GIF frame does not
  // say so); palette pictures only when they have a transparency table.
  if (bpp <= 8 && !FreeImage_IsTransparent(bitmap.get())) return bitmap;
  if (bpp <= 8) {
    // Transparent palette entries become paper.
    RGBQUAD* pal = FreeImage_GetPalette(bitmap.get());
    const BYTE* alpha = FreeImage_GetTransparencyTable(bitmap.get());
    const unsigned entries = std::min(FreeImage_GetColorsUsed(bitmap.get()),
                                      static_cast<unsigned>(FreeImage_GetTransparencyCount(bitmap.get())));
    for (unsigned i = 0; pal && alpha && i < entries; ++i) {
      pal[i].rgbRed = OnWhite(pal[i].rgbRed, alpha[i], false);
      pal[i].rgbGreen = OnWhite(pal[i].rgbGreen, alpha[i], false);
      pal[i].rgbBlue = OnWhite(pal[i].rgbBlue, alpha[i], false);
    }
    FreeImage_SetTransparent(bitmap.get(), FALSE);
    return bitmap;
  }
  if (bpp != 32) return bitmap;
  const unsigned w = FreeImage_GetWidth(bitmap.get()), h = FreeImage_GetHeight(bitmap.get());
  BitmapPtr flat(FreeImage_Allocate(static_cast<int>(w), static_cast<int>(h), 24));
  if (!flat) return flat;
  for (unsigned y = 0; y < h; ++y) {
    const BYTE* src = FreeImage_GetScanLine(bitmap.get(), static_cast<int>(y));
    BYTE* dst = FreeImage_GetScanLine(flat.get(), static_cast<int>(y));
    for (unsigned x = 0; x < w; ++x, src += 4, dst += 3) {
      const BYTE a = src[FI_RGBA_ALPHA];
      dst[FI_RGBA_RED] = OnWhite(src[FI_RGBA_RED], a, false);
      dst[FI_RGBA_GREEN] = OnWhite(src[FI_RGBA_GREEN], a, false);
      dst[FI_RGBA_BLUE] = OnWhite(src[FI_RGBA_BLUE], a, false);
    }
  }
  FreeImage_SetDotsPerMeterX(flat.get(), FreeImage_GetDotsPerMeterX(bitmap.get()));
  FreeImage_SetDotsPerMeterY(flat.get(), FreeImage_GetDotsPerMeterY(bitmap.get()));
  return flat;
}

bool IsAddedFormat(FREE_IMAGE_FORMAT format) {
  switch (format) {
    case FIF_PNG:
    case FIF_GIF:
    case FIF_PBM:
    case FIF_PBMRAW:
    case FIF_PGM:
    case FIF_PGMRAW:
    case FIF_PPM:
    case FIF_PPMRAW: return true;
    default: return false;
  }
}

namespace {

// A file that passed the checks every read runs before any decoder looks at
// its pixels: a regular, non-empty file of the format (by FreeImage's
// signature or the second decoder's), whose pixel data can fit in it (only
// checked with pixelData: a header read does not need the pixels).
struct CheckedFile {
  std::unique_ptr<std::FILE, FileCloser> handle;
  CountingFile counted;
  FreeImageIO io{ReadProc, WriteProc, SeekProc, TellProc};
  bool freeImageKnows = false;
};

bool OpenChecked(const std::string& path, FREE_IMAGE_FORMAT format, bool pixelData, CheckedFile& file,
                 std::string& reason) {
  EnsureFreeImage();
  if (format == FIF_UNKNOWN) {
    reason = settings::Text("RasterUnknownExtMsg", "the file extension is not a raster format");
    return false;
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    reason = settings::Text("RasterNoFileMsg", "no such file");
    return false;
  }
  file.handle.reset(std::fopen(path.c_str(), "rb"));
  if (!file.handle) {
    reason = settings::Text("RasterCannotOpenMsg", "the file cannot be opened");
    return false;
  }
  if (std::filesystem::file_size(path, ec) == 0) {
    reason = settings::Text("RasterEmptyFileMsg", "the file is empty");
    return false;
  }
  file.counted.file = file.handle.get();
  CountingFile& counted = file.counted;
  FreeImageIO& io = file.io;
  file.freeImageKnows = FreeImage_ValidateFromHandle(format, &io, &counted) != FALSE;
  if (!file.freeImageKnows && !FallbackRecognises(path, format)) {
    reason = settings::Text("RasterNotFormatMsg", "the file is not a valid") + " " + FormatName(format) + " " +
             settings::Text("RasterFileWord", "file");
    const FREE_IMAGE_FORMAT actual = LooksLike(io, counted);
    if (actual != FIF_UNKNOWN && actual != format) {
      reason += " (" + settings::Text("RasterLooksLikeMsg", "its content looks like") + " " + FormatName(actual) + ")";
    } else if (const std::string feature = UnsupportedFeature(format, counted.file); !feature.empty()) {
      reason = UnsupportedReason(feature);
    }
    return false;
  }
  return !pixelData || PixelDataPlausible(path, format, counted.file, reason);
}

// The bit count CRaster ends with for a picture FreeImage describes so
// (Standardise, then OnWhitePaper for the added formats); 0 when only the
// decoded picture can tell.
int StandardBitCount(FIBITMAP* header) {
  const unsigned bpp = FreeImage_GetBPP(header);
  switch (FreeImage_GetImageType(header)) {
    // 16 and 32 bits: whether FreeImage or the second decoder reads the
    // picture (and so whether alpha is kept) only the decode tells.
    case FIT_BITMAP: return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24 ? static_cast<int>(bpp) : 0;
    case FIT_RGB16: return 24;
    case FIT_UINT16: return 8;
    default: return 0;
  }
}

}  // namespace

namespace {

// A BMP with the plain 40-byte header and uncompressed pixels: the variant
// FreeImage itself reads, so its header tells the depth the picture gets.
bool PlainBmp(std::FILE* file) {
  unsigned char bytes[20];
  if (std::fseek(file, 14, SEEK_SET) != 0 || std::fread(bytes, 1, sizeof bytes, file) != sizeof bytes) return false;
  const auto le32 = [&](int at) {
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
  };
  return le32(0) == 40 && le32(16) == 0;
}

// Formats whose header-only read FreeImage's full read agrees with. The
// others (PCX, GIF, BMP variants it refuses) only tell their depth once
// decoded, by whichever decoder reads them.
bool HeaderTellsDepth(FREE_IMAGE_FORMAT format, std::FILE* file) {
  if (format == FIF_BMP) return PlainBmp(file);
  return format == FIF_TIFF || format == FIF_JPEG || format == FIF_TARGA ||
         (IsAddedFormat(format) && format != FIF_GIF);
}

}  // namespace

HeaderResult LoadBitmapHeader(const std::string& path, FREE_IMAGE_FORMAT format, BitmapHeader& header,
                              std::string& reason) {
  LibraryMessageScope messages;
  CheckedFile file;
  if (!OpenChecked(path, format, false, file, reason)) return HeaderResult::Failed;
  if (!file.freeImageKnows || !FreeImage_FIFSupportsNoPixels(format) || !HeaderTellsDepth(format, file.counted.file))
    return HeaderResult::NeedsPixels;
  std::fseek(file.counted.file, 0, SEEK_SET);
  BitmapPtr bitmap(FreeImage_LoadFromHandle(format, &file.io, &file.counted, FIF_LOAD_NOPIXELS));
  if (!bitmap) return HeaderResult::NeedsPixels;  // the full read says why
  if (!BitmapSizeAcceptable(bitmap.get(), reason)) return HeaderResult::Failed;
  header.bitCount = StandardBitCount(bitmap.get());
  if (header.bitCount == 0) return HeaderResult::NeedsPixels;
  header.width = FreeImage_GetWidth(bitmap.get());
  header.height = FreeImage_GetHeight(bitmap.get());
  header.dotsPerMetre = FreeImage_GetDotsPerMeterX(bitmap.get());
  header.damage.clear();
  std::fseek(file.counted.file, 0, SEEK_SET);
  if (!PixelDataPlausible(path, format, file.counted.file, header.damage) && header.damage.empty())
    header.damage = settings::Text("RasterDamagedMsg", "the file is damaged");
  return HeaderResult::Read;
}

BitmapPtr LoadBitmapFile(const std::string& path, FREE_IMAGE_FORMAT format, std::string& reason) {
  LibraryMessageScope messages;
  CheckedFile file;
  if (!OpenChecked(path, format, true, file, reason)) return nullptr;
  const bool freeImageKnows = file.freeImageKnows;
  FreeImageIO& io = file.io;
  CountingFile& counted = file.counted;

  if (freeImageKnows) {
    bool refused = false;
    BitmapPtr bitmap = LoadWithFreeImage(format, io, counted, messages, reason, refused);
    if (bitmap) return IsAddedFormat(format) ? OnWhitePaper(std::move(bitmap)) : std::move(bitmap);
    if (refused) return nullptr;
  }
  // FreeImage refused a file that passed every check: the second decoder.
  std::string fallbackReason;
  BitmapPtr bitmap = DecodeFallback(path, format, fallbackReason);
  if (!bitmap && !fallbackReason.empty()) reason = fallbackReason;
  if (!bitmap && reason.find(settings::Text("RasterUnsupportedMsg", "unsupported")) == std::string::npos) {
    // Say so when the header names a variant nothing here reads, rather
    // than calling a valid file damaged.
    const std::string feature = UnsupportedFeature(format, counted.file);
    if (!feature.empty()) reason = UnsupportedReason(feature);
  }
  return bitmap;
}

std::string ReadFailureMessage(const std::string& path, const std::string& reason) {
  return settings::Text("RasterReadFailMsg", "Cannot read raster file") + " " + path + ": " + reason;
}

void ShowNoMemory() {
  platform::ShowMessage(settings::Text("NoMemoryMsg", "Not enough memory to perform operation !"));
}

}  // namespace detail
}  // namespace quillon::raster
