#include "platform/memory.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

namespace quillon::platform {

namespace {
// The system's page size, 4096 where it cannot be read.
uint64_t PageBytes() {
  const long page = ::sysconf(_SC_PAGESIZE);
  return page > 0 ? static_cast<uint64_t>(page) : 4096;
}
}  // namespace

uint64_t ResidentBytes() {
  // /proc/self/statm: size resident shared text lib data dt, in pages. The
  // file stays open and is read again from its start, which gives the
  // current figures: opening a /proc file costs four times the read, and a
  // conversion looks every few milliseconds. (The program starts no child
  // that would inherit this process's view.)
  static const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[128];
  const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  if (n <= 0) return 0;
  text[n] = '\0';
  unsigned long long size = 0, resident = 0;
  if (std::sscanf(text, "%llu %llu", &size, &resident) != 2) return 0;
  return resident * PageBytes();
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

void ReturnFreedMemory() { ::malloc_trim(0); }

namespace {
size_t RoundToLargeBlocks(size_t bytes) { return (bytes + kLargeBlockBytes - 1) / kLargeBlockBytes * kLargeBlockBytes; }

// The block a LargeBlockHandOver keeps on this thread.
struct HandOver {
  bool active = false;
  void* block = nullptr;
  size_t size = 0;  // rounded
};
thread_local HandOver handOver;
}  // namespace

LargeBlockHandOver::LargeBlockHandOver() { handOver = HandOver{true, nullptr, 0}; }

LargeBlockHandOver::~LargeBlockHandOver() {
  if (handOver.block != nullptr) ::munmap(handOver.block, handOver.size);
  handOver = HandOver{};
}

void* MapLargeBlock(size_t bytes) {
  if (bytes > SIZE_MAX - 2 * kLargeBlockBytes) return nullptr;
  const size_t size = RoundToLargeBlocks(bytes);
  if (handOver.block != nullptr && handOver.size >= size) {
    void* block = handOver.block;
    if (handOver.size > size) ::munmap(static_cast<char*>(block) + size, handOver.size - size);
    handOver.block = nullptr;
    return block;
  }
  // One block more than needed, so that the block can start on a huge-page
  // boundary; the ragged head and tail go back at once.
  const size_t mapped = size + kLargeBlockBytes;
  void* raw = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (start + kLargeBlockBytes - 1) & ~(uintptr_t{kLargeBlockBytes} - 1);
  if (aligned > start) ::munmap(raw, aligned - start);
  const uintptr_t end = start + mapped;
  if (end > aligned + size) ::munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
  void* block = reinterpret_cast<void*>(aligned);
  // Only a hint: without huge pages the block works as well, a little slower.
  ::madvise(block, size, MADV_HUGEPAGE);
  return block;
}

void UnmapLargeBlock(void* block, size_t bytes) {
  if (block == nullptr) return;
  if (handOver.active && handOver.block == nullptr && handOver.size == 0) {
    handOver.block = block;
    handOver.size = RoundToLargeBlocks(bytes);
    return;
  }
  ::munmap(block, RoundToLargeBlocks(bytes));
}

namespace {
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14
#endif
// The library's own growth step (M_TOP_PAD), which HeapPrefault restores.
constexpr int kDefaultTopPad = 128 * 1024;
// How often the prefault thread looks at the break while the heap does not grow.
constexpr std::chrono::microseconds kPrefaultPoll{200};

uintptr_t CurrentBreak() { return static_cast<uintptr_t>(::syscall(SYS_brk, 0)); }
}  // namespace

struct HeapPrefault::State {
  std::mutex mutex;
  std::condition_variable wake;
  bool stop = false;
  std::atomic<size_t> faulted{0};
  std::thread thread;

  void run(uintptr_t from) {
    const uintptr_t page = static_cast<uintptr_t>(PageBytes());
    uintptr_t done = from & ~(page - 1);
    std::unique_lock lock(mutex);
    while (!stop) {
      const uintptr_t top = CurrentBreak() & ~(page - 1);
      if (top <= done) {
        done = top;  // the heap may have shrunk
        wake.wait_for(lock, kPrefaultPoll, [this] { return stop; });
        continue;
      }
      lock.unlock();
      // A huge page at a time, so that the allocating thread, when it catches
      // up, waits for one page at most.
      while (done < top) {
        const uintptr_t end = std::min(top, (done + kLargeBlockBytes) & ~(uintptr_t{kLargeBlockBytes} - 1));
        if (::madvise(reinterpret_cast<void*>(done), end - done, MADV_POPULATE_WRITE) == 0) {
          faulted.fetch_add(end - done, std::memory_order_relaxed);
        } else if (errno != ENOMEM && errno != EFAULT) {
          return;  // the system cannot do it (ENOMEM: the heap shrank meanwhile)
        }
        done = end;
      }
      lock.lock();
    }
  }
};

HeapPrefault::HeapPrefault(size_t ahead) {
  // Only the first thread allocates from the heap the break bounds; every
  // other thread has an arena of its own.
  if (::getpid() != static_cast<pid_t>(::syscall(SYS_gettid))) return;
  auto* state = new (std::nothrow) State;
  if (state == nullptr) return;
  const uintptr_t from = CurrentBreak();
  try {
    state->thread = std::thread([state, from] { state->run(from); });
  } catch (const std::system_error&) {
    delete state;
    return;
  }
  state_ = state;
  ::mallopt(M_TOP_PAD, static_cast<int>(std::min<size_t>(ahead, size_t{1} << 30)));
}

HeapPrefault::~HeapPrefault() {
  if (state_ == nullptr) return;
  ::mallopt(M_TOP_PAD, kDefaultTopPad);
  {
    const std::lock_guard lock(state_->mutex);
    state_->stop = true;
  }
  state_->wake.notify_all();
  state_->thread.join();
  delete state_;
}

size_t HeapPrefault::faultedBytes() const {
  return state_ == nullptr ? 0 : state_->faulted.load(std::memory_order_relaxed);
}

struct BlockPrefault::State {
  std::atomic<bool> stop{false};
  std::thread thread;
};

BlockPrefault::BlockPrefault(void* block, size_t bytes) {
  const uintptr_t page = static_cast<uintptr_t>(PageBytes());
  const uintptr_t first = (reinterpret_cast<uintptr_t>(block) + page - 1) & ~(page - 1);
  const uintptr_t last = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(page - 1);
  if (block == nullptr || last <= first) return;
  auto* state = new (std::nothrow) State;
  if (state == nullptr) return;
  try {
    state->thread = std::thread([state, first, last] {
      for (uintptr_t end = last; end > first && !state->stop.load(std::memory_order_relaxed);) {
        const uintptr_t start = std::max(first, (end - 1) & ~(uintptr_t{kLargeBlockBytes} - 1));
        if (::madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE) != 0) return;
        end = start;
      }
    });
  } catch (const std::system_error&) {
    delete state;
    return;
  }
  state_ = state;
}

BlockPrefault::~BlockPrefault() {
  if (state_ == nullptr) return;
  state_->stop.store(true, std::memory_order_relaxed);
  state_->thread.join();
  delete state_;
}

void RestartWithHugePageHeap(char** argv) {
  if (argv == nullptr || argv[0] == nullptr || std::getenv("GLIBC_TUNABLES") != nullptr) return;
  // "always [madvise] never": the heap's request is granted unless "never".
  int fd = ::open("/sys/kernel/mm/transparent_hugepage/enabled", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  char text[128];
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return;
  text[n] = '\0';
  if (std::strstr(text, "[never]") != nullptr) return;
  if (::setenv("GLIBC_TUNABLES", "glibc.malloc.hugetlb=1", 0) != 0) return;
  ::execv("/proc/self/exe", argv);
  // Not started again: carry on as we are, and leave the environment as it was.
  ::unsetenv("GLIBC_TUNABLES");
}

}  // namespace quillon::platform
