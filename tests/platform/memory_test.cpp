// The process's resident size as the trace's memory budget reads it: each
// reading gives the figure of that moment, not the one first read. Threads
// started after ShareMainHeap allocate from the heaps that exist already.

#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/memory.h"

namespace quillon::platform {
namespace {

TEST(ResidentBytes, FollowsMemoryTouchedAndGivenBack) {
  constexpr size_t kBlock = size_t{96} << 20;
  for (int round = 0; round < 3; ++round) {
    const uint64_t before = ResidentBytes();
    ASSERT_GT(before, 0u);
    void* block = ::mmap(nullptr, kBlock, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(block, MAP_FAILED);
    std::memset(block, 1, kBlock);
    const uint64_t touched = ResidentBytes();
    EXPECT_GE(touched, before + kBlock * 3 / 4) << "round " << round;
    ::munmap(block, kBlock);
    EXPECT_LE(ResidentBytes(), touched - kBlock * 3 / 4) << "round " << round;
  }
}

// The heaps glibc's allocator keeps, from its own report.
int HeapCount() {
  char* text = nullptr;
  size_t size = 0;
  std::FILE* stream = ::open_memstream(&text, &size);
  if (stream == nullptr) return -1;
  ::malloc_info(0, stream);
  std::fclose(stream);
  int count = 0;
  for (const char* at = text; (at = std::strstr(at, "<heap nr=")) != nullptr; ++at) ++count;
  std::free(text);
  return count;
}

TEST(ShareMainHeap, ThreadsStartedAfterItOpenNoHeapOfTheirOwn) {
  ShareMainHeap();
  const int before = HeapCount();
  ASSERT_GE(before, 1);
  // Threads that allocate at the same time, small blocks and raster-sized
  // ones, as conversions side by side do.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      std::vector<std::string> small(2000, std::string(40, 'x'));
      std::vector<unsigned char> large(size_t{3} << 20, 1);
      EXPECT_EQ(large[12345] + small[1999][39], 1 + 'x');
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(HeapCount(), before);
}

}  // namespace
}  // namespace quillon::platform
