#include "postprocess/connect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>
#include <string>
#include <random>
#include <thread>
#include <vector>

#include "model/line.h"
#include "postprocess/stage_recorder.h"

namespace quillon::postprocess {
namespace {

struct P {
  double x, y;
};

model::CPolyLine* add(model::CLayer& layer, std::initializer_list<P> points, double width = 0.0) {
  auto p = std::make_unique<model::CPolyLine>();
  for (const P& v : points) p->appendVertex(v.x, v.y, width);
  return static_cast<model::CPolyLine*>(layer.append(std::move(p)));
}

std::string text(const model::CPolyLine& p, bool reversed = false) {
  std::string t = p.isClosed() ? "closed" : "open";
  const auto& v = p.vertices();
  for (size_t i = 0; i < v.size(); ++i) {
    const model::PolyVertex& x = reversed ? v[v.size() - 1 - i] : v[i];
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, " (%g,%g)", x.x, x.y);
    t += buffer;
  }
  return t;
}

std::vector<std::string> texts(const model::CLayer& layer) {
  std::vector<std::string> out;
  for (const auto& e : layer) out.push_back(text(static_cast<const model::CPolyLine&>(*e)));
  return out;
}

// Each open polyline written from its lexically smaller end, sorted: the
// shapes regardless of the direction a join happened to give them.
std::vector<std::string> shapes(const model::CLayer& layer) {
  std::vector<std::string> out;
  for (const auto& e : layer) {
    const auto& p = static_cast<const model::CPolyLine&>(*e);
    out.push_back(std::min(text(p), text(p, true)));
  }
  std::sort(out.begin(), out.end());
  return out;
}

TEST(Connect, GapUnderTheConnectDistanceIsJoinedAndOneOverItIsNot) {
  model::CLayer near;
  add(near, {{0, 0}, {10, 0}});
  add(near, {{13, 0}, {25, 0}});
  ASSERT_TRUE(connectLayer(near, 5, nullptr));
  EXPECT_EQ(texts(near), (std::vector<std::string>{"open (0,0) (11.5,0) (25,0)"}));

  model::CLayer far;
  add(far, {{0, 0}, {10, 0}});
  add(far, {{18, 0}, {30, 0}});
  ASSERT_TRUE(connectLayer(far, 5, nullptr));
  EXPECT_EQ(far.count(), 2u);
}

TEST(Connect, EndsSearchOnlyAwayFromTheirOwnLine) {
  // The start of A looks left, up to the middle of its first segment: C's
  // end 3 px to its left is joined, B's end 3 px to its right (beyond that
  // middle, over A itself) is not.
  model::CLayer layer;
  add(layer, {{10, 0}, {12, 0}, {30, 0}});
  add(layer, {{13, 2}, {13, 12}});
  add(layer, {{-5, 0}, {7, 0}});
  ASSERT_TRUE(connectLayer(layer, 5, nullptr));
  EXPECT_EQ(shapes(layer), (std::vector<std::string>{"open (-5,0) (8.5,0) (12,0) (30,0)", "open (13,12) (13,2)"}));
}

TEST(Connect, RightAngleGetsTheIntersectionAsItsCorner) {
  model::CLayer layer;
  add(layer, {{0, 0}, {10, 0}});
  add(layer, {{11, 1}, {11, 10}});
  ASSERT_TRUE(connectLayer(layer, 5, nullptr));
  EXPECT_EQ(texts(layer), (std::vector<std::string>{"open (0,0) (11,0) (11,10)"}));
}

TEST(Connect, PolylineWhoseEndsMeetIsClosedThroughTheirMidpoint) {
  model::CLayer layer;
  add(layer, {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 2}});
  ASSERT_TRUE(connectLayer(layer, 5, nullptr));
  EXPECT_EQ(texts(layer), (std::vector<std::string>{"closed (0,1) (10,0) (10,10) (0,10)"}));
}

TEST(Connect, StraightStrokeCrossedByAnotherComesBackAsTwo) {
  // Four arms of a "+" ending around the removed junction pixel.
  model::CLayer layer;
  add(layer, {{0, 10}, {9, 10}});
  add(layer, {{11, 10}, {20, 10}});
  add(layer, {{10, 0}, {10, 9}});
  add(layer, {{10, 11}, {10, 20}});
  ASSERT_TRUE(connectLayer(layer, 5, nullptr));
  EXPECT_EQ(shapes(layer), (std::vector<std::string>{"open (0,10) (10,10) (20,10)", "open (10,0) (10,10) (10,20)"}));
}

TEST(Connect, ShallowCrossingWithABridgeBecomesTwoStraightStrokes) {
  // Two strokes crossing at a shallow angle: the skeleton has two
  // three-way junctions joined by a short bridge.
  model::CLayer layer;
  add(layer, {{0, 1}, {17, 9.5}});
  add(layer, {{0, 19}, {17, 10.5}});
  add(layer, {{18, 10}, {20, 10}});
  add(layer, {{21, 10.5}, {38, 19}});
  add(layer, {{21, 9.5}, {38, 1}});
  ASSERT_TRUE(connectLayer(layer, 5, nullptr));
  EXPECT_EQ(shapes(layer), (std::vector<std::string>{"open (0,1) (19,10) (38,19)", "open (0,19) (19,10) (38,1)"}));
}

// A thick horizontal stroke broken at a junction, with a thin short spur
// pointing up (T upside down) or down (T).
void addJunction(model::CLayer& layer, double spurDirection, double strokeWidth, double spurWidth) {
  add(layer, {{-10, 10}, {9, 10}}, strokeWidth);
  add(layer, {{11, 10}, {30, 10}}, strokeWidth);
  add(layer, {{10, 10 + spurDirection}, {10, 10 + 6 * spurDirection}}, spurWidth);
}

TEST(Connect, TJunctionLosesItsShortThinSpur) {
  for (const double direction : {1.0, -1.0}) {
    SCOPED_TRACE(direction > 0 ? "spur up" : "spur down");
    model::CLayer layer;
    addJunction(layer, direction, 4.0, 1.0);
    ASSERT_TRUE(connectLayer(layer, 5, nullptr));
    EXPECT_EQ(texts(layer), (std::vector<std::string>{"open (-10,10) (10,10) (30,10)"}));
  }
  // A spur as wide as the stroke is a real branch and stays.
  model::CLayer branch;
  addJunction(branch, -1.0, 4.0, 4.0);
  ASSERT_TRUE(connectLayer(branch, 5, nullptr));
  EXPECT_EQ(branch.count(), 2u);
}

TEST(Connect, OtherEntitiesStayAndPolylinesFollowThem) {
  model::CLayer layer;
  add(layer, {{0, 0}, {10, 0}});
  auto degenerate = std::make_unique<model::CPolyLine>();
  degenerate->appendVertex(50, 50);
  layer.append(std::move(degenerate));
  add(layer, {{13, 0}, {25, 0}});
  ASSERT_TRUE(connectLayer(layer, 5, nullptr));
  EXPECT_EQ(layer.count(), 2u);
}

TEST(Connect, ReportsItsStagesAndReturnsEverythingWhenCancelled) {
  const auto fill = [](model::CLayer& layer) {
    for (int i = 0; i < 20; ++i) add(layer, {{0, i * 20.0}, {10, i * 20.0 + 10}});
  };
  model::CLayer layer;
  fill(layer);
  test::StageRecorder sink;
  ASSERT_TRUE(connectLayer(layer, 5, &sink));
  EXPECT_EQ(sink.events.front(), "begin Connect line");
  EXPECT_EQ(sink.events.back(), "end");
  EXPECT_EQ(layer.count(), 20u);

  // Stop while the clusters are gathered (links then point at members not
  // yet made), and at the first check point of cluster resolution (after
  // the eight collection reports of 40 rows, one per five rows).
  for (const auto& [after, last] : {std::pair{3, "progress 18"}, std::pair{9, "progress 55"}}) {
    model::CLayer stopped;
    fill(stopped);
    test::StageRecorder stopping;
    stopping.cancelAfter = after;
    EXPECT_FALSE(connectLayer(stopped, 5, &stopping));
    EXPECT_EQ(stopping.events.back(), "finished 10");
    EXPECT_EQ(stopping.events[stopping.events.size() - 2], last);
    EXPECT_EQ(stopped.count(), 20u);
    for (const auto& e : stopped) {
      EXPECT_EQ(e->getVertexCount(), 2);
      EXPECT_EQ(e->joinStart, nullptr);
      EXPECT_EQ(e->joinEnd, nullptr);
    }
  }
}

TEST(Connect, RunOwnIndexIsClearedBeforeUse) {
  // Entries left from polyline generation (here: a stale one for a
  // polyline that no longer exists) do not take part.
  EndIndex index;
  model::CPolyLine gone;
  index.addEntry(5, 5, 0, &gone);
  model::CLayer layer;
  add(layer, {{0, 0}, {10, 0}});
  ASSERT_TRUE(connectLayer(layer, 5, nullptr, &index));
  EXPECT_EQ(layer.count(), 1u);
  EXPECT_EQ(index.entryCount(), 0u);
}

TEST(Connect, TwoRunsAtOnceEachUseTheirOwnIndex) {
  // Every run owns its end index, so two drawings may be connected at the
  // same time and come out as they do one after the other.
  const auto fill = [](model::CLayer& layer, double offset) {
    for (int i = 0; i < 200; ++i) {
      const double y = offset + i * 12.0;
      add(layer, {{0, y}, {10, y}});
      add(layer, {{13, y}, {25, y}});
    }
  };
  model::CLayer first, second, reference;
  fill(first, 0);
  fill(second, 0);
  fill(reference, 0);
  ASSERT_TRUE(connectLayer(reference, 5, nullptr));
  EndIndex firstIndex, secondIndex;
  std::thread a([&] { EXPECT_TRUE(connectLayer(first, 5, nullptr, &firstIndex)); });
  std::thread b([&] { EXPECT_TRUE(connectLayer(second, 5, nullptr, &secondIndex)); });
  a.join();
  b.join();
  EXPECT_EQ(reference.count(), 200u);
  EXPECT_EQ(texts(first), texts(reference));
  EXPECT_EQ(texts(second), texts(reference));
}

// Entries at random cells (many sharing a cell) searched by boxes that grow
// ring by ring as the connect stage's do: at every ring the index's growth
// look-up meets exactly the unvisited entries a walk along the whole ring
// meets, in the same order.
void checkRingsAgainstPlainScan(uint32_t seed, int span, double farShare) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> cell(-span / 4, span);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  EndIndex index;
  std::vector<model::CPolyLine> lines(300);
  for (size_t i = 0; i < lines.size(); ++i) {
    for (int end = 0; end < 2; ++end) {
      double x = cell(random) + unit(random), y = cell(random) + unit(random);
      if (unit(random) < farShare) x *= 1e5;  // too sparse for direct tables
      index.addEntry(x, y, end, &lines[i]);
    }
  }
  index.seal();
  EndIndex::EntryList& entries = index.entries();
  const auto plainRing = [&](const EndIndex::CellBox& b) {
    std::vector<uint32_t> met;
    for (uint32_t q = 0; q < entries.size(); ++q) {
      const EndIndex::Entry& e = entries[q];
      const bool inside = e.x >= b.xLo && e.x <= b.xHi && e.y >= b.yLo && e.y <= b.yHi;
      const bool onRing = e.x == b.xLo || e.x == b.xHi || e.y == b.yLo || e.y == b.yHi;
      if (inside && onRing && !e.visited()) met.push_back(q);
    }
    return met;
  };
  std::uniform_int_distribution<int> reach(0, 6);
  for (uint32_t p = 0; p < entries.size(); ++p) {
    if (entries[p].visited()) continue;
    EndIndex::CellBox box{entries[p].x, entries[p].x, entries[p].y, entries[p].y};
    const EndIndex::CellBox limit{box.xLo - reach(random), box.xHi + reach(random), box.yLo - reach(random),
                                  box.yHi + reach(random)};
    std::vector<uint32_t> met;
    index.unvisitedInRow(box.yLo, box.xLo, box.xHi, met);
    for (;;) {
      ASSERT_EQ(met, plainRing(box)) << "seed " << seed << " entry " << p;
      for (uint32_t q : met) entries[q].setVisited();
      const EndIndex::CellBox was = box;
      // Sides grow by one cell at random until they reach their limits.
      if (box.xLo > limit.xLo && unit(random) < 0.7) --box.xLo;
      if (box.xHi < limit.xHi && unit(random) < 0.7) ++box.xHi;
      if (box.yLo > limit.yLo && unit(random) < 0.7) --box.yLo;
      if (box.yHi < limit.yHi && unit(random) < 0.7) ++box.yHi;
      const bool stuck = box.xLo == was.xLo && box.xHi == was.xHi && box.yLo == was.yLo && box.yHi == was.yHi;
      const bool done = was.xLo == limit.xLo && was.xHi == limit.xHi && was.yLo == limit.yLo && was.yHi == limit.yHi;
      if (done) break;
      met.clear();
      if (!stuck) index.unvisitedInGrowth(was, box, met);
    }
  }
}

TEST(EndIndex, GrowingRingsMeetWhatAPlainScanOfEachRingMeets) {
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    checkRingsAgainstPlainScan(seed, 12, 0.0);   // crowded cells
    checkRingsAgainstPlainScan(seed, 80, 0.0);   // scattered
    checkRingsAgainstPlainScan(seed, 40, 0.05);  // a few far away: searched tables
  }
}

// The layer after connecting, one line per entity with every vertex field.
std::vector<std::string> connectedLayer(uint32_t seed, bool plain) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  model::CLayer layer;
  const int lines = 200 + static_cast<int>(unit(random) * 600);
  const double span = 40.0 + unit(random) * 160.0;
  for (int i = 0; i < lines; ++i) {
    auto p = std::make_unique<model::CPolyLine>();
    double x = unit(random) * span, y = unit(random) * span;
    const int vertices = 2 + static_cast<int>(unit(random) * 4);
    // Mostly hairlines and thin strokes, some wide ones whose ends reach far.
    const double width = unit(random) < 0.7 ? unit(random) * 3.0 : unit(random) * 14.0;
    for (int v = 0; v < vertices; ++v) {
      p->appendVertex(std::floor(x) + 0.5 * std::floor(unit(random) * 2.0), y, width * (0.8 + 0.4 * unit(random)));
      x += (unit(random) - 0.5) * 16.0;
      y += (unit(random) - 0.5) * 16.0;
    }
    layer.append(std::move(p));
  }
  EXPECT_TRUE(connectLayer(layer, 1 + static_cast<int>(unit(random) * 8), nullptr, nullptr, nullptr, plain));
  std::vector<std::string> out;
  for (const auto& e : layer) {
    const auto& p = static_cast<const model::CPolyLine&>(*e);
    std::string t = p.isClosed() ? "closed" : "open";
    for (const model::PolyVertex& v : p.vertices()) {
      char buffer[128];
      std::snprintf(buffer, sizeof buffer, " (%.17g,%.17g w%.17g)", v.x, v.y, v.startWidth);
      t += buffer;
    }
    out.push_back(t);
  }
  return out;
}

TEST(Connect, SearchFromEndToEndJoinsWhatTheRingByRingSearchJoins) {
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    const std::vector<std::string> plain = connectedLayer(seed, true);
    const std::vector<std::string> fast = connectedLayer(seed, false);
    ASSERT_EQ(fast, plain) << "seed " << seed;
  }
}

// The sign tests must land every direction in atan2's sector: pixel and
// half-pixel steps (what traced ends mostly are), random ones, and ones on
// and a few units in the last place beside each sector bound, where only
// the fallback can tell.
TEST(Connect, EndSectorsFromSignsMatchTheSectorsOfTheAngle) {
  std::vector<std::pair<double, double>> directions;
  for (int x = -12; x <= 12; ++x)
    for (int y = -12; y <= 12; ++y) directions.emplace_back(x * 0.5, y * 0.5);
  std::mt19937 random(5);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int i = 0; i < 20000; ++i) {
    const double scale = std::pow(10.0, 3.0 * unit(random));
    directions.emplace_back(unit(random) * scale, unit(random) * scale);
  }
  const double pi = std::acos(-1.0);
  for (const double degrees : {0.0, 40.0, 50.0, 90.0, 130.0, 140.0, 180.0, 220.0, 230.0, 270.0, 310.0, 320.0}) {
    for (const double length : {1.0, 7.3, 1e4}) {
      double x = length * std::cos(degrees * pi / 180.0), y = length * std::sin(degrees * pi / 180.0);
      for (int ulp = 0; ulp < 4; ++ulp) {
        directions.emplace_back(x, y);
        x = std::nextafter(x, 2.0 * x + 1.0);
        directions.emplace_back(x, y);
        y = std::nextafter(y, -2.0 * y - 1.0);
      }
    }
  }
  const double inf = std::numeric_limits<double>::infinity();
  for (const auto& odd : std::vector<std::pair<double, double>>{
           {0.0, 0.0}, {-0.0, 0.0}, {0.0, -0.0}, {-0.0, -0.0}, {1e-300, -1e-310}, {inf, 1.0}, {-1.0, -inf},
           {std::nan(""), 1.0}, {1e200, -3e199}})
    directions.push_back(odd);
  std::vector<int> seen(8, 0);
  for (const auto& [dx, dy] : directions) {
    const int sector = endSectorByAngle(dx, dy);
    ++seen[static_cast<size_t>(sector)];
    ASSERT_EQ(endSector(dx, dy), sector) << dx << ", " << dy;
  }
  for (int sector = 0; sector < 8; ++sector) EXPECT_GT(seen[static_cast<size_t>(sector)], 100) << sector;
}

TEST(EndIndex, SealOrdersByRowAndCellKeepingTheOrderOfEntriesInOneCell) {
  // Crowded cells (ties decide the order clusters take their members in),
  // and far-flung ones that make the keys too sparse for counting.
  for (uint32_t seed = 1; seed <= 8; ++seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> cell(-6, 30);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double farShare = seed % 2 == 0 ? 0.02 : 0.0;
    std::vector<model::CPolyLine> lines(400);
    EndIndex index;
    std::vector<EndIndex::Entry> expected;
    for (size_t i = 0; i < lines.size(); ++i) {
      for (int end = 0; end < 2; ++end) {
        double x = cell(random) + unit(random), y = cell(random) + unit(random);
        if (unit(random) < farShare) (end == 0 ? x : y) *= 1e6;
        index.addEntry(x, y, end, &lines[i]);
        expected.push_back(EndIndex::Entry{&lines[i], static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)), end});
      }
    }
    std::stable_sort(expected.begin(), expected.end(), [](const EndIndex::Entry& a, const EndIndex::Entry& b) {
      return a.y != b.y ? a.y < b.y : a.x < b.x;
    });
    index.seal(false);
    const EndIndex::EntryList& got = index.entries();
    ASSERT_EQ(got.size(), expected.size());
    for (size_t k = 0; k < got.size(); ++k) {
      ASSERT_EQ(got[k].polyline(), expected[k].polyline()) << "seed " << seed << " at " << k;
      ASSERT_EQ(got[k].end(), expected[k].end()) << "seed " << seed << " at " << k;
      ASSERT_EQ(got[k].x, expected[k].x);
      ASSERT_EQ(got[k].y, expected[k].y);
    }
  }
}

TEST(EndIndex, IndexLargeEnoughForMappedBlocksKeepsItsEntries) {
  // 300 000 entries (about 5 MiB) live in blocks mapped from the system:
  // the growth while filling, the sort's scratch and the seal must carry
  // every entry over, and look-ups find what a plain scan finds.
  std::mt19937 random(11);
  std::uniform_int_distribution<int> cell(0, 2000);
  model::CPolyLine line;
  EndIndex index;
  constexpr int kCount = 300000;
  for (int i = 0; i < kCount; ++i) index.addEntry(cell(random) + 0.5, cell(random) + 0.5, i % 2, &line);
  index.seal(false);
  const EndIndex::EntryList& entries = index.entries();
  ASSERT_EQ(entries.size(), static_cast<size_t>(kCount));
  for (size_t k = 1; k < entries.size(); ++k) {
    const bool ordered = entries[k - 1].y < entries[k].y || (entries[k - 1].y == entries[k].y && entries[k - 1].x <= entries[k].x);
    ASSERT_TRUE(ordered) << "at " << k;
    ASSERT_EQ(entries[k].polyline(), &line);
  }
  for (int box = 0; box < 20; ++box) {
    const int x = cell(random), y = cell(random);
    const EndIndex::CellBox b{x, x + 40, y, y + 30};
    std::vector<uint32_t> found, plain;
    index.unvisitedInBox(b, found);
    for (uint32_t q = 0; q < entries.size(); ++q) {
      if (entries[q].x >= b.xLo && entries[q].x <= b.xHi && entries[q].y >= b.yLo && entries[q].y <= b.yHi) plain.push_back(q);
    }
    EXPECT_EQ(found, plain);
  }
}

TEST(EndIndex, BoxSearchesInAnyOrderFindWhatAPlainScanFinds) {
  // Each row remembers where its last search ended: boxes that sweep along
  // the rows, jump back to a row's start, reach past its last entry or land
  // anywhere must still find exactly the entries a plain scan finds. Rows
  // from 0 one after another, then rows from 10 with every other two
  // missing: boxes reach above the first row, below the last and over gaps.
  for (const int spacing : {1, 3}) {
    const int base = spacing == 1 ? 0 : 10;
    std::mt19937 random(5);
    std::uniform_int_distribution<int> cell(0, 300);
    model::CPolyLine line;
    EndIndex index;
    for (int i = 0; i < 20000; ++i) index.addEntry(cell(random) + 0.5, base + spacing * (cell(random) / 4) + 0.5, i % 2, &line);
    index.seal(false);
    const EndIndex::EntryList& entries = index.entries();
    std::vector<EndIndex::CellBox> boxes;
    for (int y = 0; y < 70 * spacing + base; y += 3)
      for (int x = -20; x < 330; x += 7) boxes.push_back({x, x + 2 + (x & 7), y, y + 5});
    for (int k = 0; k < 300; ++k) {
      const int x = cell(random) - 10, y = spacing * cell(random) / 4 - 2;
      boxes.push_back({x, x + cell(random) / 20, y, y + spacing * cell(random) / 60});
    }
    for (const EndIndex::CellBox& b : boxes) {
      std::vector<uint32_t> found, plain;
      index.unvisitedInBox(b, found);
      for (uint32_t q = 0; q < entries.size(); ++q) {
        if (entries[q].x >= b.xLo && entries[q].x <= b.xHi && entries[q].y >= b.yLo && entries[q].y <= b.yHi) plain.push_back(q);
      }
      ASSERT_EQ(found, plain) << "spacing " << spacing << " box x " << b.xLo << ".." << b.xHi << " y " << b.yLo << ".." << b.yHi;
    }
  }
}

TEST(EndIndex, FarAndInvalidCoordinatesAreClampedIntoCells) {
  EndIndex index;
  model::CPolyLine a;
  index.addEntry(1e300, -1e300, 0, &a);
  index.addEntry(std::nan(""), 2.5, 1, &a);
  index.seal();
  ASSERT_EQ(index.entryCount(), 2u);
  std::vector<uint32_t> met;
  index.unvisitedInRow(2, 0, 0, met);
  EXPECT_EQ(met.size(), 1u);
  met.clear();
  index.unvisitedInColumn(index.entries()[0].x, -2000000000, 2000000000, met);
  EXPECT_EQ(met.size(), 1u);
  EXPECT_GT(index.entries()[0].x, 900000000);
}

TEST(Connect, DroppingShortPolylinesTellsWhenNothingShortIsLeft) {
  const auto fill = [](model::CLayer& layer) {
    add(layer, {{0, 0}, {20, 0}});
    add(layer, {{50, 50}, {53, 50}});  // alone and short: deleted
    add(layer, {{100, 0}, {104, 0}});  // short pieces of one long stroke
    add(layer, {{105, 0}, {109, 0}});
    add(layer, {{110, 0}, {114, 0}});
  };
  model::CLayer layer;
  fill(layer);
  bool noneShorter = false;
  ASSERT_TRUE(connectLayer(layer, 5, nullptr, nullptr, nullptr, false, 10, &noneShorter));
  EXPECT_TRUE(noneShorter);
  ASSERT_EQ(layer.count(), 2u);
  for (const auto& e : layer) {
    const double stored = e->storedLength();  // what the short-line deletion would have measured
    EXPECT_EQ(stored, e->getLength());
  }

  // Without the drop nothing was measured; another kind of entity was not either.
  model::CLayer kept;
  fill(kept);
  ASSERT_TRUE(connectLayer(kept, 5, nullptr, nullptr, nullptr, false, 0, &noneShorter));
  EXPECT_FALSE(noneShorter);
  model::CLayer mixed;
  fill(mixed);
  mixed.append(std::make_unique<model::CLine>(model::Point3{0, 90, 0}, model::Point3{30, 90, 0}));
  ASSERT_TRUE(connectLayer(mixed, 5, nullptr, nullptr, nullptr, false, 10, &noneShorter));
  EXPECT_FALSE(noneShorter);
}

TEST(Connect, SecondRunOverItsOwnResultMatchesARunOverFreshCopies) {
  // Polylines that went through a run carry their old pool slots; a second
  // run over them must not take those for its own.
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 60.0);
    model::CLayer layer;
    for (int i = 0; i < 150; ++i) {
      const double x = unit(random), y = unit(random);
      add(layer, {{x, y}, {x + unit(random) / 6.0, y + unit(random) / 6.0}});
    }
    ASSERT_TRUE(connectLayer(layer, 4, nullptr));
    model::CLayer copy;
    for (const auto& e : layer) copy.append(e->clone());
    ASSERT_TRUE(connectLayer(layer, 9, nullptr));
    ASSERT_TRUE(connectLayer(copy, 9, nullptr));
    EXPECT_EQ(texts(layer), texts(copy)) << "seed " << seed;
  }
}

TEST(JoinPolylines, DegenerateOrMissingPartnerGivesNothing) {
  model::CPolyLine a;
  a.appendVertex(0, 0);
  a.appendVertex(5, 0);
  model::CPolyLine one;
  one.appendVertex(7, 0);
  EXPECT_EQ(joinPolylines(a, nullptr, false, 5), nullptr);
  EXPECT_EQ(joinPolylines(a, &one, false, 5), nullptr);
  EXPECT_FALSE(a.consumed());
  EXPECT_EQ(a.getVertexCount(), 2);
}

TEST(JoinPolylines, FarAwayEndsAtAnAngleAreBridgedBySegment) {
  model::CPolyLine a;
  a.appendVertex(0, 0);
  a.appendVertex(10, 0);
  a.setEndSelector(1);
  model::CPolyLine b;
  b.appendVertex(30, 20);
  b.appendVertex(40, 30);
  b.setEndSelector(0);
  std::unique_ptr<model::CPolyLine> joined = joinPolylines(a, &b, false, 5);
  ASSERT_TRUE(joined);
  EXPECT_EQ(joined->getVertexCount(), 4);
  EXPECT_TRUE(a.consumed() && b.consumed());
  EXPECT_TRUE(a.vertices().empty() && b.vertices().empty());
}

// Refined centre lines: a thin branch reaching well beyond the stroke it
// meets is drawn ink and stays beside the joined stroke; the short spur
// still goes. The raster is ink everywhere, so no white parts the ends.
TEST(Connect, RefinedTJunctionKeepsALongThinStem) {
  raster::CRaster ink;
  ASSERT_TRUE(ink.create(160, 60, 1));
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 160; ++x) ink.setBit(x, y, true);
  const auto junction = [](model::CLayer& layer, double stemLength, double barWidth = 4.0) {
    add(layer, {{10, 30}, {79, 30}}, barWidth);
    add(layer, {{81, 30}, {150, 30}}, barWidth);
    add(layer, {{80, 31}, {80, 30 + stemLength}}, 1.0);
  };
  for (const bool refined : {false, true}) {
    SCOPED_TRACE(refined ? "refined" : "plain");
    model::CLayer layer;
    junction(layer, 20.0);
    ASSERT_TRUE(connectLayer(layer, 5, nullptr, nullptr, refined ? &ink : nullptr));
    ASSERT_EQ(layer.count(), refined ? 2u : 1u);
    EXPECT_EQ(texts(layer).back(), "open (10,30) (80,30) (150,30)");
    model::CLayer spur;
    junction(spur, 5.0);
    ASSERT_TRUE(connectLayer(spur, 5, nullptr, nullptr, refined ? &ink : nullptr));
    EXPECT_EQ(texts(spur), (std::vector<std::string>{"open (10,30) (80,30) (150,30)"}));
  }
  // How far a spur must reach is judged by the bar's width: 7 px is within
  // a 9-px bar's half width plus the spur allowance, so it still goes.
  model::CLayer wideBar;
  junction(wideBar, 8.0, 9.0);
  ASSERT_TRUE(connectLayer(wideBar, 5, nullptr, nullptr, &ink));
  EXPECT_EQ(texts(wideBar), (std::vector<std::string>{"open (10,30) (80,30) (150,30)"}));
}

// Refined centre lines: pieces in line parted by a pixel or two of white
// are joined when the break is a one-off, and stay apart when the pieces
// and gaps repeat along the line (a dashed line). Strokes 3 px wide along
// drawing y = 30; each piece's skeleton stops a pixel short of its ink.
TEST(Connect, RefinedDashPatternStaysApartWhileAOneOffBreakIsJoined) {
  struct Piece {
    int from, to;  // ink columns
  };
  const auto run = [](const std::vector<Piece>& pieces) {
    raster::CRaster ink;
    EXPECT_TRUE(ink.create(200, 60, 1));
    model::CLayer layer;
    for (const Piece& piece : pieces) {
      for (int row = 28; row <= 30; ++row)
        for (int x = piece.from; x <= piece.to; ++x) ink.setBit(x, row, true);
      add(layer, {{piece.from + 1.0, 30}, {piece.to - 1.0, 30}}, 3.0);
    }
    EXPECT_TRUE(connectLayer(layer, 5, nullptr, nullptr, &ink));
    return layer.count();
  };
  // Dashes of 12 px with 2 px of white: every piece stays.
  EXPECT_EQ(run({{10, 21}, {24, 35}, {38, 49}, {52, 63}, {66, 77}}), 5u);
  // Gaps and dashes alike within a pixel or two, as drawn on a grid.
  EXPECT_EQ(run({{10, 21}, {23, 35}, {38, 48}, {51, 63}}), 4u);
  // One break in a long stroke: joined.
  EXPECT_EQ(run({{10, 80}, {83, 150}}), 1u);
  // Two breaks, but pieces of unlike lengths: no pattern, joined.
  EXPECT_EQ(run({{10, 60}, {63, 70}, {73, 150}}), 1u);
  // Continuous ink between the pieces: joined whatever their lengths.
  EXPECT_EQ(run({{10, 23}, {24, 37}, {38, 51}}), 1u);
}

}  // namespace
}  // namespace quillon::postprocess
