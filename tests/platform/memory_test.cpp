// The process's resident size as the trace's memory budget reads it: each
// reading gives the figure of that moment, not the one first read.

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <memory>
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

TEST(LargeBlockHandOver, GivesTheFirstFreedBlockToTheNextThatFitsInIt) {
  constexpr size_t kWords = (size_t{6} << 20) / sizeof(uint64_t);  // three large blocks
  using Array = std::vector<uint64_t, LargeArrayAllocator<uint64_t>>;
  const auto fill = [](Array& a) {
    for (size_t i = 0; i < a.size(); ++i) a[i] = i * 2654435761u + 1;
  };
  {
    const LargeBlockHandOver handOver;
    const uint64_t* first = nullptr;
    {
      Array scratch(kWords);
      fill(scratch);
      first = scratch.data();
    }
    Array larger(kWords + kWords / 2);  // does not fit: a block of its own
    EXPECT_NE(larger.data(), first);
    Array next;
    next.reserve(kWords / 2);  // two of the three blocks; the third goes back
    EXPECT_EQ(next.data(), first);
    // Its pages are the scratch's, as the sort left them.
    EXPECT_EQ(next.data()[kWords / 2 - 1], (kWords / 2 - 1) * 2654435761u + 1);
    {
      Array second(kWords);
      fill(second);
    }  // not kept: only the first freed block is
    Array third;
    third.reserve(kWords);
    EXPECT_EQ(third.data()[0], 0u);
    EXPECT_EQ(third.data()[kWords - 1], 0u);
  }
  // Without one, every block comes fresh from the system.
  {
    Array scratch(kWords);
    fill(scratch);
  }
  Array next;
  next.reserve(kWords);
  EXPECT_EQ(next.data()[kWords - 1], 0u);
}

// The heap grows under the prefault thread while blocks are made, written,
// freed and made again: every block keeps what was written into it.
TEST(HeapPrefault, BlocksMadeMeanwhileKeepTheirContents) {
  constexpr size_t kBlocks = 200000;  // about 50 MiB of heap
  constexpr size_t kWords = 30;
  const auto word = [](size_t block, size_t i) { return block * 131 + i * 7 + 1; };
  std::vector<std::unique_ptr<uint64_t[]>> blocks(kBlocks);
  const auto make = [&](size_t b) {
    blocks[b] = std::make_unique<uint64_t[]>(kWords);
    for (size_t i = 0; i < kWords; ++i) blocks[b][i] = word(b, i);
  };
  {
    const HeapPrefault prefault(size_t{16} << 20);
    for (size_t b = 0; b < kBlocks; ++b) make(b);
    for (size_t b = 0; b < kBlocks; b += 3) blocks[b].reset();
    for (size_t b = 0; b < kBlocks; b += 3) make(b);
  }
  size_t wrong = 0;
  for (size_t b = 0; b < kBlocks; ++b) {
    for (size_t i = 0; i < kWords; ++i) wrong += blocks[b][i] != word(b, i);
  }
  EXPECT_EQ(wrong, 0u);
}

TEST(HeapPrefault, DoesNothingOffTheFirstThread) {
  size_t faulted = 1;
  std::thread([&faulted] {
    const HeapPrefault prefault(size_t{16} << 20);
    std::vector<std::unique_ptr<char[]>> blocks;
    for (int i = 0; i < 10000; ++i) blocks.push_back(std::make_unique<char[]>(1000));
    faulted = prefault.faultedBytes();
  }).join();
  EXPECT_EQ(faulted, 0u);
}

// The caller fills a fresh block from its start while the prefault thread
// works from the far end back: what the caller wrote stays, and the pages it
// has not reached yet read as zero.
TEST(BlockPrefault, FillingFromTheStartKeepsWhatWasWritten) {
  constexpr size_t kWords = (size_t{24} << 20) / sizeof(uint64_t);
  using Array = std::vector<uint64_t, LargeArrayAllocator<uint64_t>>;
  Array block;
  block.reserve(kWords);
  {
    const BlockPrefault prefault(block.data(), kWords * sizeof(uint64_t));
    for (size_t i = 0; i < kWords / 2; ++i) block.push_back(i * 2654435761u + 1);
  }
  const uint64_t* words = block.data();
  size_t wrong = 0;
  for (size_t i = 0; i < kWords / 2; ++i) wrong += words[i] != i * 2654435761u + 1;
  for (size_t i = kWords / 2; i < kWords; ++i) wrong += words[i] != 0;
  EXPECT_EQ(wrong, 0u);
}

}  // namespace
}  // namespace quillon::platform
