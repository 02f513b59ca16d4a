// Loads arbitrary bytes as each raster format (the loader is chosen by the
// extension, so the same bytes go in under every one) and, when a picture
// comes out, runs the operations every loaded raster meets. Bytes FreeImage
// refuses go on to the second decoder (libtiff, GraphicsMagick, the small
// readers of its own), so both paths are fuzzed. Nothing may crash, leak or
// allocate beyond the decoded-size limit.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/message_sink.h"
#include "raster/raster.h"
#include "raster/raster_file.h"

using namespace quillon;

namespace {

const std::string& Directory() {
  static const std::string path = [] {
    char pattern[] = "/tmp/quillon-raster-fuzz-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) std::abort();
    return std::string(pattern);
  }();
  return path;
}

bool WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

void Exercise(raster::CRaster& image) {
  if (image.empty()) return;
  if (image.width() <= 0 || image.height() <= 0) __builtin_trap();
  raster::Histogram h;
  image.histogram(h);
  (void)image.automaticThreshold();
  if (image.convertTo1Bit(128) && image.bitCount() != 1) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static platform::NullMessageSink sink;
  platform::InstallMessageSink(&sink);
  // Far below the 2 GiB of the program: the fuzzer's memory limit is 2 GiB.
  raster::SetDecodedSizeLimit(uint64_t{64} << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (const char* ext : {".bmp", ".jpg", ".tif", ".tga", ".pcx", ".png", ".gif", ".pnm"}) {
    const std::string path = Directory() + "/input" + ext;
    if (!WriteBytes(path, data, size)) std::abort();
    if (std::string(ext) == ".tif" || std::string(ext) == ".gif") {
      auto documents = raster::OpenRasterFile(path);
      for (auto& document : documents) Exercise(document.raster);
    } else {
      raster::CRaster image;
      if (image.load(path)) Exercise(image);
    }
    std::remove(path.c_str());
  }
  return 0;
}
