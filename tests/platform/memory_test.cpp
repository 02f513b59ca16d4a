// The process's resident size as the trace's memory budget reads it: each
// reading gives the figure of that moment, not the one first read.

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>

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


}  // namespace
}  // namespace quillon::platform
