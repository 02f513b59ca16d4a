#include "stdio_files.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "raster/raster_file.h"

namespace quillon::cli {

namespace fs = std::filesystem;

ScratchDirectory::ScratchDirectory() {
  std::error_code ec;
  std::string pattern = (fs::temp_directory_path(ec) / "quillon-XXXXXX").string();
  if (ec) pattern = "/tmp/quillon-XXXXXX";
  if (::mkdtemp(pattern.data())) path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
  if (path_.empty()) return;
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string ExtensionFromSignature(const std::string& head) {
  auto starts = [&](std::string_view magic) { return head.compare(0, magic.size(), magic) == 0; };
  if (starts("BM")) return ".bmp";
  if (starts("\xFF\xD8\xFF")) return ".jpg";
  if (starts(std::string_view("II*\0", 4)) || starts(std::string_view("MM\0*", 4))) return ".tif";
  if (starts("\x89PNG\r\n\x1A\n")) return ".png";
  if (starts("GIF87a") || starts("GIF89a")) return ".gif";
  if (head.size() >= 2 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6') {
    static const char* kPnm[] = {".pbm", ".pgm", ".ppm"};
    return kPnm[(head[1] - '1') % 3];
  }
  // PCX: manufacturer 10, version 0..5, encoding 1.
  if (head.size() >= 3 && head[0] == 0x0A && static_cast<unsigned char>(head[1]) <= 5 && head[2] == 1) return ".pcx";
  return {};
}

Result<std::string> SpoolStandardInput(const std::string& dir, const std::string& inputFormat) {
  if (::isatty(0)) return Status::Fail("standard input is a terminal; pipe a raster file into it");
  std::string bytes;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(0, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return Status::Fail(std::string("cannot read standard input: ") + std::strerror(errno));
    }
    bytes.append(buffer, static_cast<size_t>(n));
  }
  if (bytes.empty()) return Status::Fail("standard input is empty");
  std::string extension;
  if (!inputFormat.empty()) {
    extension = "." + inputFormat;
    if (!raster::IsRasterExtension(extension)) {
      return Status::Fail("unknown input format '" + inputFormat + "' (a raster file extension such as tif or bmp)");
    }
  } else {
    extension = ExtensionFromSignature(bytes.substr(0, 16));
    if (extension.empty()) {
      return Status::Fail("cannot tell the raster format of standard input; name it with --input-format");
    }
  }
  const std::string path = dir + "/stdin" + extension;
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return Status::Fail("cannot spool standard input to " + path + ": " + std::strerror(errno));
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (std::fclose(out) != 0 || !written) return Status::Fail("cannot spool standard input to " + path);
  return path;
}

Status CopyToStandardOutput(const std::string& path) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) return Status::Fail("cannot read " + path + ": " + std::strerror(errno));
  char buffer[1 << 16];
  bool ok = true;
  size_t n;
  while (ok && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0) ok = std::fwrite(buffer, 1, n, stdout) == n;
  ok = ok && !std::ferror(in);
  std::fclose(in);
  if (std::fflush(stdout) != 0) ok = false;
  return ok ? Status::Ok() : Status::Fail("cannot write to standard output");
}

}  // namespace quillon::cli
