#include "raster/freeimage_support.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "platform/message_sink.h"
#include "raster/raster.h"
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
// unless replaced; FreeImage leaves them alone. libtiff is loaded with
// FreeImage, so its setters are looked up at run time rather than linked.
using TiffHandler = void (*)(const char* module, const char* format, va_list args);
using TiffSetHandler = TiffHandler (*)(TiffHandler);

void OnTiffMessage(const char* module, const char* format, va_list args) {
  // FreeImage asks libtiff for EXIF tags it does not know on every TIFF
  // read; that is noise, not a problem of the file.
  if (module && std::strcmp(module, "TIFFFieldWithTag") == 0) return;
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  const std::string message = module && *module ? std::string(module) + ": " + text : std::string(text);
  AppendLibraryMessage("TIFF", message.c_str());
}

void RouteTiffMessages() {
  for (const char* setter : {"TIFFSetErrorHandler", "TIFFSetWarningHandler"}) {
    if (void* symbol = dlsym(RTLD_DEFAULT, setter)) reinterpret_cast<TiffSetHandler>(symbol)(OnTiffMessage);
  }
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

std::string FormatName(FREE_IMAGE_FORMAT format) {
  switch (format) {
    case FIF_BMP: return "BMP";
    case FIF_JPEG: return "JPEG";
    case FIF_TIFF: return "TIFF";
    case FIF_TARGA: return "TGA";
    case FIF_PCX: return "PCX";
    default: {
      const char* name = FreeImage_GetFormatFromFIF(format);
      return name ? name : "unknown";
    }
  }
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
  return FIF_UNKNOWN;
}

bool BitmapSizeAcceptable(FIBITMAP* header, std::string& reason) {
  const unsigned width = FreeImage_GetWidth(header);
  const unsigned height = FreeImage_GetHeight(header);
  const unsigned bits = FreeImage_GetBPP(header);
  if (width == 0 || height == 0) {
    reason = settings::Text("RasterEmptyImageMsg", "the image has no pixels") + " (" + std::to_string(width) +
             " x " + std::to_string(height) + ")";
    return false;
  }
  if (!DecodedSizeAllowed(width, height, bits)) {
    reason = settings::Text("RasterTooLargeMsg", "the image is too large") + " (" + std::to_string(width) + " x " +
             std::to_string(height) + " pixels, " + std::to_string(bits) + " bits; the limit is " +
             std::to_string(DecodedSizeLimit() >> 20) + " MiB)";
    return false;
  }
  return true;
}

BitmapPtr LoadBitmapFile(const std::string& path, FREE_IMAGE_FORMAT format, std::string& reason) {
  EnsureFreeImage();
  if (format == FIF_UNKNOWN) {
    reason = settings::Text("RasterUnknownExtMsg", "the file extension is not a raster format");
    return nullptr;
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    reason = settings::Text("RasterNoFileMsg", "no such file");
    return nullptr;
  }
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    reason = settings::Text("RasterCannotOpenMsg", "the file cannot be opened");
    return nullptr;
  }
  if (std::filesystem::file_size(path, ec) == 0) {
    reason = settings::Text("RasterEmptyFileMsg", "the file is empty");
    return nullptr;
  }
  FreeImageIO io{ReadProc, WriteProc, SeekProc, TellProc};
  CountingFile counted{file.get()};
  LibraryMessageScope messages;

  if (!FreeImage_ValidateFromHandle(format, &io, &counted)) {
    reason = settings::Text("RasterNotFormatMsg", "the file is not a valid") + " " + FormatName(format) + " " +
             settings::Text("RasterFileWord", "file");
    const FREE_IMAGE_FORMAT actual = LooksLike(io, counted);
    if (actual != FIF_UNKNOWN && actual != format)
      reason += " (" + settings::Text("RasterLooksLikeMsg", "its content looks like") + " " + FormatName(actual) + ")";
    return nullptr;
  }

  // Header first: the size is checked before any pixel memory is taken.
  std::fseek(file.get(), 0, SEEK_SET);
  BitmapPtr header(FreeImage_LoadFromHandle(format, &io, &counted, FIF_LOAD_NOPIXELS));
  if (!header) {
    reason = settings::Text("RasterDamagedMsg", "the file is damaged");
    if (!messages.text().empty()) reason += " (" + messages.text() + ")";
    return nullptr;
  }
  if (!BitmapSizeAcceptable(header.get(), reason)) return nullptr;
  header.reset();
  // FreeImage's TARGA and PCX readers size their buffers from the header and
  // the bytes left behind it; a header that promises more than the file holds
  // (an ID field past the end, say) makes them crash, so their data is walked
  // before they decode it.
  if (DataIncomplete(format, counted.file)) {
    reason = settings::Text("RasterTruncatedMsg", "the file is truncated");
    return nullptr;
  }

  std::fseek(file.get(), 0, SEEK_SET);
  counted.missingBytes = 0;
  BitmapPtr bitmap(FreeImage_LoadFromHandle(format, &io, &counted, 0));
  if (!bitmap || !FreeImage_HasPixels(bitmap.get())) {
    reason = settings::Text("RasterDamagedMsg", "the file is damaged");
    if (!messages.text().empty()) reason += " (" + messages.text() + ")";
    return nullptr;
  }
  if (Truncated(format, counted, messages)) {
    reason = settings::Text("RasterTruncatedMsg", "the file is truncated");
    return nullptr;
  }
  // The decoder may report a different size than the header did.
  if (!BitmapSizeAcceptable(bitmap.get(), reason)) return nullptr;
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
