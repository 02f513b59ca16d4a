#include "model/vertex_list.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

namespace quillon::model {
namespace {

PolyVertex vertex(double x) {
  PolyVertex v;
  v.x = x;
  v.y = -x;
  v.startWidth = x / 2;
  v.flags = static_cast<int32_t>(x);
  v.mark = 7;
  return v;
}

void expectSame(const VertexList& list, const std::vector<PolyVertex>& model, int step) {
  ASSERT_EQ(list.size(), model.size()) << "step " << step;
  ASSERT_GE(list.capacity(), list.size());
  for (size_t i = 0; i < model.size(); ++i) {
    EXPECT_EQ(list[i].x, model[i].x) << "step " << step << " vertex " << i;
    EXPECT_EQ(list[i].y, model[i].y);
    EXPECT_EQ(list[i].startWidth, model[i].startWidth);
    EXPECT_EQ(list[i].flags, model[i].flags);
  }
}

// Random edits, mirrored on a std::vector, cross the two-vertex boundary
// between the list's own storage and its heap array again and again; several
// take their value or range from the list itself while it must grow.
TEST(VertexList, BehavesLikeAVectorAcrossItsInlineLimit) {
  std::mt19937 random(20261210);
  for (int round = 0; round < 50; ++round) {
    VertexList list;
    std::vector<PolyVertex> model;
    for (int step = 0; step < 200; ++step) {
      const double x = round * 1000 + step;
      switch (random() % 10) {
        case 0:
        case 1:
          list.push_back(vertex(x));
          model.push_back(vertex(x));
          break;
        case 2:
          if (!model.empty()) {
            list.push_back(list.front());  // an element of its own while growing
            model.push_back(PolyVertex(model.front()));
          }
          break;
        case 3:
          if (!model.empty()) {
            list.pop_back();
            model.pop_back();
          }
          break;
        case 4: {
          const size_t at = model.empty() ? 0 : random() % (model.size() + 1);
          list.insert(list.begin() + at, vertex(x));
          model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), vertex(x));
          break;
        }
        case 5:
          if (!model.empty()) {
            const size_t at = random() % model.size();
            const size_t count = 1 + random() % (model.size() - at);
            list.erase(list.begin() + at, list.begin() + at + count);
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(at),
                        model.begin() + static_cast<std::ptrdiff_t>(at + count));
          }
          break;
        case 6: {
          // Its own vertices appended to itself.
          const std::vector<PolyVertex> copy = model;
          list.insert(list.end(), list.begin(), list.end());
          model.insert(model.end(), copy.begin(), copy.end());
          break;
        }
        case 7: {
          VertexList moved(std::move(list));
          EXPECT_TRUE(list.empty());
          list = random() % 2 ? std::move(moved) : VertexList(moved);
          break;
        }
        case 8: {
          VertexList other{vertex(-1), vertex(-2), vertex(-3)};
          list.swap(other);
          other.swap(list);
          list.shrink_to_fit();
          break;
        }
        case 9:
          if (random() % 4 == 0) {
            list.clear();
            model.clear();
          } else {
            const size_t n = random() % 6;
            list.resize(n, vertex(x));
            model.resize(n, vertex(x));
          }
          break;
      }
      expectSame(list, model, step);
      if (HasFatalFailure()) return;
    }
  }
}

// Two vertices stay in the list itself; a third moves them to the heap, and
// a heap array is handed over whole on a move, not copied.
TEST(VertexList, KeepsTwoVerticesInlineAndHandsItsArrayOver) {
  VertexList two{vertex(1), vertex(2)};
  EXPECT_EQ(two.capacity(), VertexList::kInline);
  const auto* own = reinterpret_cast<const unsigned char*>(&two);
  EXPECT_GE(reinterpret_cast<const unsigned char*>(two.data()), own);
  EXPECT_LT(reinterpret_cast<const unsigned char*>(two.data()), own + sizeof two);

  two.push_back(vertex(3));
  EXPECT_GT(two.capacity(), VertexList::kInline);
  const PolyVertex* array = two.data();
  VertexList taken(std::move(two));
  EXPECT_EQ(taken.data(), array);
  EXPECT_EQ(taken.size(), 3u);
  EXPECT_EQ(two.capacity(), VertexList::kInline);

  taken.pop_back();
  taken.shrink_to_fit();  // back into the list itself
  EXPECT_EQ(taken.capacity(), VertexList::kInline);
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[1].x, 2.0);
  EXPECT_EQ(taken[1].mark, 7);

  VertexList big(5, vertex(4));
  big = taken;  // a copy into a larger array keeps the array
  EXPECT_EQ(big.capacity(), 5u);
  EXPECT_EQ(big.size(), 2u);
  big.assign(big.begin() + 1, big.end());  // from its own range
  ASSERT_EQ(big.size(), 1u);
  EXPECT_EQ(big[0].x, 2.0);
}

}  // namespace
}  // namespace quillon::model
