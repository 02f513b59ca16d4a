#include "platform/atomic_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::platform {

AtomicFile::AtomicFile(std::string targetPath) : target_(std::move(targetPath)) {}

AtomicFile::~AtomicFile() { discard(); }

bool AtomicFile::open() {
  discard();
  failed_ = false;
  error_.clear();
  std::string pattern = target_ + ".tmpXXXXXX";
  int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    error_ = "Cannot create file " + target_ + ": " + std::strerror(errno);
    return false;
  }
  // mkstemp creates 0600; give the file the mode a plain create would, or the
  // mode of the file it replaces.
  struct stat st {};
  mode_t mode;
  if (::stat(target_.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  (void)::fchmod(fd, mode);
  file_ = ::fdopen(fd, "wb");
  if (!file_) {
    error_ = "Cannot open file " + target_ + ": " + std::strerror(errno);
    ::close(fd);
    ::unlink(pattern.c_str());
    return false;
  }
  temp_ = pattern;
  return true;
}

bool AtomicFile::write(const void* data, size_t size) {
  if (!file_) {
    failed_ = true;
    return false;
  }
  if (size && std::fwrite(data, 1, size, file_) != size) {
    if (!failed_) error_ = "Write to " + target_ + " failed: " + std::strerror(errno);
    failed_ = true;
    return false;
  }
  return true;
}

bool AtomicFile::commit() {
  if (!file_) {
    if (error_.empty()) error_ = "File " + target_ + " was not opened";
    return false;
  }
  bool ok = !failed_ && std::fflush(file_) == 0 && !std::ferror(file_);
  if (ok) ok = ::fsync(::fileno(file_)) == 0 || errno == EINVAL;
  if (!ok && error_.empty()) error_ = "Write to " + target_ + " failed: " + std::strerror(errno);
  if (std::fclose(file_) != 0 && ok) {
    ok = false;
    error_ = "Write to " + target_ + " failed: " + std::strerror(errno);
  }
  file_ = nullptr;
  if (ok && std::rename(temp_.c_str(), target_.c_str()) != 0) {
    ok = false;
    error_ = "Cannot replace " + target_ + ": " + std::strerror(errno);
  }
  if (!ok) ::unlink(temp_.c_str());
  temp_.clear();
  return ok;
}

void AtomicFile::discard() {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
  }
}

bool WriteFileAtomically(const std::string& path, std::string_view contents, std::string* error) {
  AtomicFile file(path);
  bool ok = file.open() && file.write(contents) && file.commit();
  if (!ok && error) *error = file.error();
  return ok;
}

}  // namespace quillon::platform
