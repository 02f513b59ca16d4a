#include "platform/memory.h"

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace quillon::platform {

uint64_t ResidentBytes() {
  // /proc/self/statm: size resident shared text lib data dt, in pages.
  int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[128];
  ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return 0;
  text[n] = '\0';
  unsigned long long size = 0, resident = 0;
  if (std::sscanf(text, "%llu %llu", &size, &resident) != 2) return 0;
  long page = ::sysconf(_SC_PAGESIZE);
  return resident * static_cast<uint64_t>(page > 0 ? page : 4096);
}

uint64_t PhysicalMemoryBytes() {
  long pages = ::sysconf(_SC_PHYS_PAGES);
  long page = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page <= 0) return 0;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(page);
}

namespace {
std::atomic<uint64_t> configuredBudget{0};
}  // namespace

void SetDefaultMemoryBudget(uint64_t bytes) { configuredBudget.store(bytes, std::memory_order_relaxed); }

uint64_t DefaultMemoryBudget() {
  if (const uint64_t configured = configuredBudget.load(std::memory_order_relaxed)) return configured;
  const uint64_t physical = PhysicalMemoryBytes();
  return physical ? physical / 2 : uint64_t{4} << 30;
}

void KeepFreedMemoryForReuse() {
  // Setting either value also ends glibc's own threshold adjustment, which
  // hands every raster freed at the top of a heap straight back.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
}

}  // namespace quillon::platform
