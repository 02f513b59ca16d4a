#include "platform/atomic_file.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::platform {

namespace {

// When this process began (close enough: when the library was loaded).
const std::time_t kProcessStart = std::time(nullptr);

// Removes "<target>.tmpXXXXXX" files a killed earlier save left behind: only
// that exact shape, only regular files of this user, only ones last written
// before this process started, so a save running elsewhere is never touched.
void RemoveStaleTemporaries(const std::string& target) {
  namespace fs = std::filesystem;
  const fs::path path(target);
  const std::string prefix = path.filename().string() + ".tmp";
  fs::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    struct stat st {};
    if (::lstat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) continue;
    if (st.st_mtime + 1 < kProcessStart) ::unlink(it->path().c_str());
  }
}

}  // namespace

AtomicFile::AtomicFile(std::string targetPath) : target_(std::move(targetPath)) {}

AtomicFile::~AtomicFile() { discard(); }

bool AtomicFile::open() {
  discard();
  failed_ = false;
  error_.clear();
  RemoveStaleTemporaries(target_);
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
