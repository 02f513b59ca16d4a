#include "postprocess/stage_common.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <random>
#include <numeric>
#include <utility>
#include <stdexcept>
#include <vector>

namespace quillon::postprocess {
namespace {

// Whatever the number of cores, the ranges cover every item once, in order
// of their parts, so results kept per part and merged in part order are the
// ones a single loop gives.
TEST(ForEachRange, RangesCoverEveryItemOnceInPartOrder) {
  for (const size_t count : {size_t{0}, size_t{1}, size_t{999}, size_t{1000}, size_t{5003}, size_t{40000}}) {
    const size_t parts = rangeParts(count, kMinPerPart);
    std::vector<std::vector<size_t>> seen(parts);
    std::vector<std::atomic<int>> visits(count);
    const size_t ran = forEachRange(count, kMinPerPart, [&](size_t part, size_t begin, size_t end) {
      ASSERT_LT(part, parts);
      for (size_t i = begin; i < end; ++i) {
        seen[part].push_back(i);
        ++visits[i];
      }
    });
    EXPECT_EQ(ran, parts);
    EXPECT_EQ(parts == 0, count == 0);
    if (count < kMinPerPart) {
      EXPECT_LE(parts, 1u);
    }
    std::vector<size_t> merged;
    for (const auto& part : seen) merged.insert(merged.end(), part.begin(), part.end());
    std::vector<size_t> expected(count);
    std::iota(expected.begin(), expected.end(), size_t{0});
    EXPECT_EQ(merged, expected) << count;
    for (size_t i = 0; i < count; ++i) EXPECT_EQ(visits[i].load(), 1) << i;
  }
}

// Items handed out as the parts finish: each is worked on exactly once,
// however few or many there are against the parts.
TEST(ForEachItem, WorksOnEveryItemOnce) {
  for (const size_t count : {size_t{0}, size_t{1}, size_t{3}, size_t{64}, size_t{5003}}) {
    std::vector<std::atomic<int>> visits(count);
    forEachItem(count, 4, [&](size_t item) {
      ASSERT_LT(item, count);
      ++visits[item];
    });
    for (size_t i = 0; i < count; ++i) EXPECT_EQ(visits[i].load(), 1) << count << " " << i;
  }
}

// A failure in any part, the calling thread's or another's, reaches the
// caller after every part has ended.
TEST(ForEachRange, FailureInAnyPartReachesTheCaller) {
  const size_t count = 8 * kMinPerPart;
  const size_t parts = rangeParts(count, kMinPerPart);
  for (size_t failing = 0; failing < parts; ++failing) {
    std::atomic<size_t> ended{0};
    EXPECT_THROW(forEachRange(count, kMinPerPart,
                              [&](size_t part, size_t, size_t) {
                                if (part == failing) throw std::runtime_error("part failed");
                                ++ended;
                              }),
                 std::runtime_error);
    EXPECT_EQ(ended.load(), parts - 1);
  }
}

// A conversion limited to one thread (a parallel batch runs several) splits
// nothing, and the limit ends with its scope.
TEST(ForEachRange, ThreadLimitHoldsForItsScope) {
  const size_t count = 64 * kMinPerPart;
  const size_t unlimited = rangeParts(count, kMinPerPart);
  {
    const RangeThreadLimit one(1);
    EXPECT_EQ(rangeParts(count, kMinPerPart), 1u);
    EXPECT_EQ(forEachRange(count, kMinPerPart, [](size_t, size_t, size_t) {}), 1u);
    {
      const RangeThreadLimit all(0);
      EXPECT_EQ(rangeParts(count, kMinPerPart), unlimited);
    }
    EXPECT_EQ(rangeParts(count, kMinPerPart), 1u);
  }
  EXPECT_EQ(rangeParts(count, kMinPerPart), unlimited);
}

// Cell lists answer what a map of cells to item lists does: each cell's
// items in the order they were added, nothing for cells never used or far
// outside the items' box. Clustered items are listed over their box, items
// spread out by a few thrown far away by sorted keys; both must agree.
TEST(CellLists, ListEachCellsItemsInTheOrderAdded) {
  std::mt19937 random(7);
  for (const bool outliers : {false, true}) {
    std::uniform_int_distribution<int> near(-20, 40), far(-2000000000, 2000000000);
    std::map<std::pair<int, int>, std::vector<uint32_t>> expected;
    CellLists cells;
    for (uint32_t i = 0; i < 5000; ++i) {
      const bool thrown = outliers && i % 500 == 0;
      const int cx = thrown ? far(random) : near(random), cy = thrown ? far(random) : near(random);
      cells.add(cx, cy);
      expected[{cx, cy}].push_back(i);
    }
    cells.finish();
    for (const auto& [cell, items] : expected) {
      const auto listed = cells.at(cell.first, cell.second);
      EXPECT_EQ(std::vector<uint32_t>(listed.begin(), listed.end()), items);
    }
    for (int cy = -25; cy <= 45; ++cy)
      for (int cx = -25; cx <= 45; ++cx) {
        if (!expected.count({cx, cy})) {
          EXPECT_TRUE(cells.at(cx, cy).empty());
        }
      }
    EXPECT_TRUE(cells.at(2147483647, -2147483647 - 1).empty());
  }
  EXPECT_TRUE(CellLists().at(0, 0).empty());
}

}  // namespace
}  // namespace quillon::postprocess
