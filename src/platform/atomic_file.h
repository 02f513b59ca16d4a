#pragma once
// Saving without losing the previous file: everything is written to a
// temporary file beside the target, and only a complete, flushed file is
// renamed over the target. A failed or abandoned save removes the temporary
// file and leaves the target as it was.

#include <cstdio>
#include <string>
#include <string_view>

namespace quillon::platform {

class AtomicFile {
 public:
  explicit AtomicFile(std::string targetPath);
  ~AtomicFile();  // discards the temporary file unless committed
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file "<target>.tmpXXXXXX", first removing files of
  // that shape which a killed earlier save left (this user's, written before
  // this process started). False (with error()) when the directory does not
  // exist or is not writable.
  bool open();
  // The stream to write to; valid between open() and commit()/discard().
  std::FILE* stream() const { return file_; }
  // Checked write; a failure is remembered and makes commit() fail.
  bool write(const void* data, size_t size);
  bool write(std::string_view text) { return write(text.data(), text.size()); }
  // Flushes, closes and renames over the target. False (with error()) when any
  // write failed or the rename did not happen; the target is then unchanged.
  bool commit();
  void discard();

  const std::string& error() const { return error_; }
  const std::string& targetPath() const { return target_; }

 private:
  std::string target_;
  std::string temp_;
  std::FILE* file_ = nullptr;
  bool failed_ = false;
  std::string error_;
};

// Writes the whole text atomically; false when anything failed.
bool WriteFileAtomically(const std::string& path, std::string_view contents, std::string* error = nullptr);

}  // namespace quillon::platform
