#pragma once
// Standard input and output as files: the raster readers and the vector
// writers work on named files (multi-page readers seek, writers replace their
// target atomically), so "-" is spooled through a private temporary
// directory.

#include <string>

#include "platform/result.h"

namespace quillon::cli {

// A fresh directory below $TMPDIR (else /tmp), removed with its contents
// when the object goes. path() is "" when it could not be made.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The raster extension (".tif", ".bmp", ...) the first bytes of a file
// announce, or "" when they announce none this program knows. TGA has no
// signature and is never recognised.
std::string ExtensionFromSignature(const std::string& head);

// Reads all of standard input into dir/stdin.EXT and answers that path. EXT
// comes from inputFormat ("tif", "bmp", ...) when given, else from the
// signature. Fails when standard input is a terminal, cannot be read, is
// empty, or its format cannot be told.
Result<std::string> SpoolStandardInput(const std::string& dir, const std::string& inputFormat);

// Copies the file to standard output and flushes; fails naming the reason.
Status CopyToStandardOutput(const std::string& path);

}  // namespace quillon::cli
