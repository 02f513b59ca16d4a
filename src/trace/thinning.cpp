#include "trace/thinning.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <new>
#include <thread>
#include <utility>

#include "trace/trace_result.h"

namespace quillon::trace {

namespace detail {

void ClearRowPadding(raster::CRaster& raster) {
  const int width = raster.width();
  if ((width & 7) == 0) return;
  const int last = (width >> 3);
  const auto mask = static_cast<uint8_t>(0xFFu << (8 - (width & 7)));
  for (int y = 0; y < raster.height(); ++y) raster.row(y)[last] &= mask;
}

}  // namespace detail

namespace {

using detail::ForEachInkPixel;
using detail::kWindowCentre;

// Zhang-Suen removal of the centre pixel of window w: bit 0 in
// sub-iteration 1, bit 1 in sub-iteration 2.
constexpr std::array<uint8_t, 512> MakeZhangSuenTable() {
  std::array<uint8_t, 512> table{};
  for (unsigned w = 0; w < 512; ++w) {
    if (!(w & kWindowCentre)) continue;
    const uint8_t code = detail::WindowToCode(w);
    const auto ink = [code](uint8_t bit) { return (code & bit) ? 1 : 0; };
    const int north = ink(kNorth), south = ink(kSouth), east = ink(kEast), west = ink(kWest);
    // P2..P9: south, south-east, east, north-east, north, north-west, west, south-west.
    const int ring[8] = {south, ink(kSouthEast), east, ink(kNorthEast), north, ink(kNorthWest), west, ink(kSouthWest)};
    int b = 0;
    int a = 0;
    for (int i = 0; i < 8; ++i) {
      b += ring[i];
      if (!ring[i] && ring[(i + 1) % 8]) ++a;
    }
    if (b < 2 || b > 6 || a != 1) continue;
    if (south * east * north == 0 && east * north * west == 0) table[w] |= 1;
    if (south * east * west == 0 && south * north * west == 0) table[w] |= 2;
  }
  return table;
}

constexpr auto kZhangSuen = MakeZhangSuenTable();
constexpr auto kSecondStepRemovable = detail::WindowTable(ThinRemoveTable);

inline void ClearBit(uint8_t* row, int x) { row[x >> 3] &= static_cast<uint8_t>(~(0x80u >> (x & 7))); }

struct MarkedRow {
  int y;
  std::vector<int> marks;
};

// One band of rows [first, last) of a sub-iteration. Marks of a row are
// applied once the walk is two rows past it, when no row that reads it is
// left. Marks of the band's first and last row are handed back instead,
// because the neighbouring band reads those rows; they are applied after all
// bands are done.
struct Band {
  int first = 0;
  int last = 0;
  long removed = 0;
  bool failed = false;
  std::vector<MarkedRow> edges;
};

class BandWalker {
 public:
  BandWalker(raster::CRaster& raster, unsigned subBit, const uint8_t* zeroRow, uint8_t* visit, uint8_t* changed,
             Band& band)
      : raster_(raster), subBit_(subBit), zeroRow_(zeroRow), visit_(visit), changed_(changed), band_(band) {}

  void run(const uint8_t* examine) {
    const int height = raster_.height();
    const int byteCount = (raster_.width() + 7) >> 3;
    for (int y = band_.first; y < band_.last; ++y) {
      if (!examine[y]) continue;
      applyPendingBefore(y - 1);
      std::vector<int>& marks = freeMarks();
      const uint8_t* above = y > 0 ? raster_.row(y - 1) : zeroRow_;
      const uint8_t* below = y + 1 < height ? raster_.row(y + 1) : zeroRow_;
      ForEachInkPixel(above, raster_.row(y), below, byteCount, [&](int x, unsigned window) {
        if (kZhangSuen[window] & subBit_) marks.push_back(x);
        return false;
      });
      if (marks.empty()) continue;
      if (y == band_.first || y == band_.last - 1) {
        band_.edges.push_back(MarkedRow{y, marks});
        marks.clear();
        continue;
      }
      pending_[pendingCount_++].y = y;
    }
    applyPendingBefore(INT_MAX);
  }

 private:
  // A mark list not in use by a pending row.
  std::vector<int>& freeMarks() {
    std::vector<int>& marks = pending_[pendingCount_].marks;
    marks.clear();
    return marks;
  }

  // Applies the pending rows above `limit` (exclusive) in walk order.
  void applyPendingBefore(int limit) {
    int kept = 0;
    for (int k = 0; k < pendingCount_; ++k) {
      MarkedRow& row = pending_[k];
      if (row.y < limit) {
        apply(row);
      } else {
        std::swap(pending_[kept++], row);
      }
    }
    pendingCount_ = kept;
  }

  void apply(MarkedRow& row) {
    uint8_t* bits = raster_.row(row.y);
    for (int x : row.marks) ClearBit(bits, x);
    band_.removed += static_cast<long>(row.marks.size());
    visit_[row.y] = 1;
    changed_[row.y] = 1;
    row.marks.clear();
  }

  raster::CRaster& raster_;
  unsigned subBit_;
  const uint8_t* zeroRow_;
  uint8_t* visit_;
  uint8_t* changed_;
  Band& band_;
  // At most two rows wait (the previous one and this one), plus the one
  // being collected.
  std::array<MarkedRow, 3> pending_{};
  int pendingCount_ = 0;
};

void RunBand(raster::CRaster& raster, unsigned subBit, const uint8_t* zeroRow, const uint8_t* examine, uint8_t* visit,
             uint8_t* changed, Band& band) {
  try {
    BandWalker walker(raster, subBit, zeroRow, visit, changed, band);
    walker.run(examine);
  } catch (const std::bad_alloc&) {
    band.failed = true;
  }
}

// A band is worth a thread only with this many examined rows.
constexpr int kMinRowsPerBand = 96;

int ThreadCount(int requested) {
  if (requested > 0) return std::min(requested, 64);
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware == 0 ? 1 : static_cast<int>(std::min(hardware, 8u));
}

struct FirstStepStorage {
  std::vector<uint8_t> visit;
  std::vector<uint8_t> changed;
  std::vector<uint8_t> examine;
  std::vector<uint8_t> zeroRow;
};

// Splits the rows into `count` bands holding about equal numbers of examined rows.
std::vector<Band> MakeBands(const std::vector<uint8_t>& examine, int examined, int count) {
  std::vector<Band> bands(static_cast<std::size_t>(count));
  const int height = static_cast<int>(examine.size());
  int y = 0;
  int seen = 0;
  for (int b = 0; b < count; ++b) {
    Band& band = bands[static_cast<std::size_t>(b)];
    band.first = y;
    if (b == count - 1) {
      y = height;
    } else {
      const long long share = static_cast<long long>(examined) * (b + 1) / count;
      while (y < height && seen < share) seen += examine[static_cast<std::size_t>(y++)];
    }
    band.last = y;
  }
  return bands;
}

// One parallel sub-iteration: every test sees the raster as it was when the
// sub-iteration began. False when its working storage could not be
// allocated; `removed` counts the pixels cleared.
bool SubIteration(raster::CRaster& raster, unsigned subBit, FirstStepStorage& storage, int threads, long& removed) {
  removed = 0;
  const int height = raster.height();
  std::vector<uint8_t>& visit = storage.visit;
  // Which rows to examine is fixed before the walk: a row next to a visited
  // row. Flags set during the walk matter only from the next sub-iteration on.
  int examined = 0;
  for (int y = 0; y < height; ++y) {
    const auto yy = static_cast<std::size_t>(y);
    const bool e = visit[yy] || (y > 0 && visit[yy - 1]) || (y + 1 < height && visit[yy + 1]);
    storage.examine[yy] = e ? 1 : 0;
    examined += e ? 1 : 0;
  }
  if (examined == 0) return true;

  std::vector<Band> bands;
  std::vector<std::thread> workers;
  std::vector<std::size_t> unthreaded;
  try {
    bands = MakeBands(storage.examine, examined, std::max(1, std::min(threads, examined / kMinRowsPerBand)));
    workers.reserve(bands.size());
    unthreaded.reserve(bands.size());
  } catch (const std::bad_alloc&) {
    return false;
  }
  const uint8_t* zeroRow = storage.zeroRow.data();
  const uint8_t* examine = storage.examine.data();
  uint8_t* visitRows = visit.data();
  uint8_t* changedRows = storage.changed.data();
  for (std::size_t b = 1; b < bands.size(); ++b) {
    try {
      workers.emplace_back(RunBand, std::ref(raster), subBit, zeroRow, examine, visitRows, changedRows,
                           std::ref(bands[b]));
    } catch (const std::exception&) {
      unthreaded.push_back(b);  // no thread to be had: this thread runs the band afterwards
    }
  }
  RunBand(raster, subBit, zeroRow, examine, visitRows, changedRows, bands[0]);
  for (std::thread& worker : workers) worker.join();
  for (std::size_t b : unthreaded) {
    RunBand(raster, subBit, zeroRow, examine, visitRows, changedRows, bands[b]);
  }

  bool ok = true;
  for (Band& band : bands) {
    ok = ok && !band.failed;
    removed += band.removed;
    for (const MarkedRow& row : band.edges) {
      uint8_t* bits = raster.row(row.y);
      for (int x : row.marks) ClearBit(bits, x);
      removed += static_cast<long>(row.marks.size());
      visitRows[row.y] = 1;
      changedRows[row.y] = 1;
    }
  }
  return ok;
}

int ClampToInt(long value) { return value > INT_MAX ? INT_MAX : static_cast<int>(value); }

}  // namespace

bool ThinFirstStep(raster::CRaster& skeleton, platform::ProgressSink* sink, int threads) {
  const StageReporter reporter(sink);
  const auto height = static_cast<std::size_t>(std::max(0, skeleton.height()));
  FirstStepStorage storage;
  try {
    storage.visit.assign(height, 1);
    storage.changed.assign(height, 0);
    storage.examine.assign(height, 0);
    storage.zeroRow.assign(static_cast<std::size_t>(std::max(0, skeleton.rowBytes())) + 8, 0);
  } catch (const std::bad_alloc&) {
    reporter.finished(kTraceError);
    return false;
  }
  reporter.begin("ProcessThinFirstStep");
  if (skeleton.width() > 0 && height > 0) {
    detail::ClearRowPadding(skeleton);
    const int threadCount = ThreadCount(threads);
    for (;;) {
      long count = 0;
      long removed = 0;
      bool ok = SubIteration(skeleton, 1, storage, threadCount, removed);
      count += removed;
      if (ok) {
        ok = SubIteration(skeleton, 2, storage, threadCount, removed);
        count += removed;
      }
      if (!ok || count == 0) break;
      // The rows changed now are the rows to visit next.
      std::swap(storage.visit, storage.changed);
      std::fill(storage.changed.begin(), storage.changed.end(), uint8_t{0});
      if (reporter.cancelled()) {
        reporter.finished(kTraceUserStop);
        return false;
      }
      reporter.progress(ClampToInt(count));
    }
  }
  reporter.end();
  return true;
}

bool ThinSecondStep(raster::CRaster& skeleton, platform::ProgressSink* sink) {
  const StageReporter reporter(sink);
  const int width = skeleton.width();
  const int height = skeleton.height();
  // Later passes test a row again only when it or a neighbouring row lost a
  // pixel after its last test; nothing else can make one of its pixels
  // removable. Stamps count tested rows (even: tested, odd: changed while
  // being tested, which is after the test of the pixels before the change).
  std::vector<uint64_t> lastTest;
  std::vector<uint64_t> lastChange;
  try {
    lastTest.assign(static_cast<std::size_t>(std::max(height, 0)), 0);
    lastChange.assign(static_cast<std::size_t>(std::max(height, 0)), 0);
  } catch (const std::bad_alloc&) {
    reporter.finished(kTraceError);
    return false;
  }
  reporter.begin("ProcessThinSecondStep");
  if (width > 0) detail::ClearRowPadding(skeleton);
  const int byteCount = (width + 7) >> 3;
  uint64_t clock = 1;
  bool firstPass = true;
  for (;;) {
    long count = 0;
    for (int y = 1; y + 1 < height; ++y) {
      const auto yy = static_cast<std::size_t>(y);
      if (!firstPass && std::max({lastChange[yy - 1], lastChange[yy], lastChange[yy + 1]}) <= lastTest[yy]) continue;
      const uint64_t stamp = 2 * clock++;
      lastTest[yy] = stamp;
      long rowCount = 0;
      // Every test reads the raster itself, so it sees each removal made
      // before it in raster order. The outermost columns stay.
      ForEachInkPixel(skeleton.row(y - 1), skeleton.row(y), skeleton.row(y + 1), byteCount,
                      [&](int x, unsigned window) {
                        if (x == 0 || x == width - 1 || !kSecondStepRemovable[window]) return false;
                        ++rowCount;
                        return true;
                      });
      if (rowCount > 0) {
        lastChange[yy] = stamp + 1;
        count += rowCount;
      }
    }
    firstPass = false;
    if (reporter.cancelled()) {
      reporter.finished(kTraceUserStop);
      return false;
    }
    reporter.progress(ClampToInt(count));
    if (count == 0) break;
  }
  reporter.end();
  skeleton.setThinned(true);
  return true;
}

}  // namespace quillon::trace
