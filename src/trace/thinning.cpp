#include "trace/thinning.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <thread>
#include <utility>

#include "trace/trace_result.h"

namespace quillon::trace {

namespace detail {

namespace {

// Byte b unpacked to eight bytes 0/1, most significant bit first.
constexpr std::array<std::array<uint8_t, 8>, 256> MakeUnpackTable() {
  std::array<std::array<uint8_t, 8>, 256> table{};
  for (int b = 0; b < 256; ++b) {
    for (int j = 0; j < 8; ++j) table[static_cast<std::size_t>(b)][static_cast<std::size_t>(j)] = (b >> (7 - j)) & 1;
  }
  return table;
}

constexpr auto kUnpack = MakeUnpackTable();

// Row buffers are width + 17 bytes: the left guard, the pixels, and room for
// the 8-byte store of the last packed byte plus the right guard.
constexpr int kRowSlack = 17;

}  // namespace

void UnpackedRow::allocate(int width) {
  buffer_.assign(static_cast<std::size_t>(width) + kRowSlack, 0);
  runs_.clear();
  runs_.reserve(64);
  rowIndex_ = kNoRow;
}

void UnpackedRow::clearRuns() {
  uint8_t* p = px();
  for (std::size_t i = 0; i + 1 < runs_.size(); i += 2) {
    std::memset(p + runs_[i], 0, static_cast<std::size_t>(runs_[i + 1] - runs_[i]));
  }
  runs_.clear();
}

void UnpackedRow::loadEmpty(int rowIndex) {
  clearRuns();
  rowIndex_ = rowIndex;
}

void UnpackedRow::load(const uint8_t* packed, int width, int rowIndex) {
  clearRuns();
  rowIndex_ = rowIndex;
  const int byteCount = (width + 7) >> 3;
  const uint8_t lastMask = (width & 7) ? static_cast<uint8_t>(0xFF << (8 - (width & 7))) : uint8_t{0xFF};
  uint8_t* out = px();
  bool open = false;  // the pixel left of the current byte is ink
  int i = 0;
  while (i < byteCount) {
    if (!open) {
      uint64_t word;
      while (i + 8 <= byteCount && (std::memcpy(&word, packed + i, 8), word == 0)) i += 8;
      if (i >= byteCount) break;
    }
    unsigned b = packed[i];
    if (i == byteCount - 1) b &= lastMask;
    if (b == 0) {
      if (open) {
        runs_.push_back(i * 8);
        open = false;
      }
      ++i;
      continue;
    }
    std::memcpy(out + i * 8, kUnpack[b].data(), 8);
    const unsigned left = (b >> 1) | (open ? 0x80u : 0u);
    unsigned events = ((b & ~left) | (~b & left)) & 0xFFu;  // run starts and run ends
    while (events != 0) {
      const int k = std::countl_zero(static_cast<uint8_t>(events));
      runs_.push_back(i * 8 + k);
      events &= ~(0x80u >> k);
    }
    open = (b & 1) != 0;
    ++i;
  }
  if (open) runs_.push_back(byteCount * 8);
}

RowWindow::RowWindow(int width) {
  for (UnpackedRow& slot : slots_) slot.allocate(width);
  empty_.allocate(width);
}

UnpackedRow* RowWindow::fetch(const raster::CRaster& raster, int y, int low) {
  if (y < 0 || y >= raster.height()) return &empty_;
  for (UnpackedRow& slot : slots_) {
    if (slot.rowIndex() == y) return &slot;
  }
  // Reuse a slot holding none of the rows low .. low + 2.
  for (UnpackedRow& slot : slots_) {
    const int held = slot.rowIndex();
    if (held < low || held > low + 2) {
      slot.load(raster.row(y), raster.width(), y);
      return &slot;
    }
  }
  return &empty_;  // unreachable: three slots, at most two of them protected
}

void RowWindow::centreOn(const raster::CRaster& raster, int y) {
  prev = fetch(raster, y - 1, y - 1);
  cur = fetch(raster, y, y - 1);
  next = fetch(raster, y + 1, y - 1);
}

uint8_t WindowToCode(unsigned w) {
  const auto bit = [w](int i) { return (w >> i) & 1u; };
  return static_cast<uint8_t>(bit(0) * kNorthWest + bit(1) * kWest + bit(2) * kSouthWest + bit(3) * kNorth +
                              bit(5) * kSouth + bit(6) * kNorthEast + bit(7) * kEast + bit(8) * kSouthEast);
}

}  // namespace detail

namespace {

using detail::ColumnBits;
using detail::RowWindow;
using detail::UnpackedRow;

constexpr unsigned kCentre = 1u << 4;

// Zhang-Suen removal of the centre pixel for window w: bit 0 in
// sub-iteration 1, bit 1 in sub-iteration 2.
constexpr std::array<uint8_t, 512> MakeZhangSuenTable() {
  std::array<uint8_t, 512> table{};
  for (unsigned w = 0; w < 512; ++w) {
    if (!(w & kCentre)) continue;
    const auto bit = [w](int i) { return static_cast<int>((w >> i) & 1u); };
    const int nw = bit(0), west = bit(1), sw = bit(2), north = bit(3), south = bit(5), ne = bit(6),
              east = bit(7), se = bit(8);
    // P2..P9: south, south-east, east, north-east, north, north-west, west, south-west.
    const int ring[8] = {south, se, east, ne, north, nw, west, sw};
    int b = 0, a = 0;
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

std::array<bool, 512> MakeSecondStepTable() {
  std::array<bool, 512> table{};
  for (unsigned w = 0; w < 512; ++w) table[w] = (w & kCentre) && ThinRemoveTable[detail::WindowToCode(w)];
  return table;
}

const std::array<bool, 512>& SecondStepTable() {
  static const std::array<bool, 512> table = MakeSecondStepTable();
  return table;
}

inline void ClearBit(uint8_t* row, int x) { row[x >> 3] &= static_cast<uint8_t>(~(0x80u >> (x & 7))); }

struct PendingRow {
  int y;
  std::vector<int> marks;
};

// One band of rows [first, last) of a sub-iteration. Marks of interior rows are
// applied as soon as the row is done (the walk never unpacks it again); marks
// of the band's first and last row are handed back, because the neighbouring
// band may still read those rows.
struct Band {
  int first = 0;
  int last = 0;
  long removed = 0;
  bool failed = false;
  std::vector<PendingRow> pending;
};

void RunBand(raster::CRaster& raster, unsigned subBit, const uint8_t* examine, uint8_t* visit, uint8_t* changed,
             Band& band) {
  try {
    RowWindow window(raster.width());
    std::vector<int> marks;
    marks.reserve(256);
    for (int y = band.first; y < band.last; ++y) {
      if (!examine[y]) continue;
      window.centreOn(raster, y);
      const uint8_t* p = window.prev->px();
      const uint8_t* c = window.cur->px();
      const uint8_t* n = window.next->px();
      const std::vector<int>& runs = window.cur->runs();
      marks.clear();
      for (std::size_t r = 0; r + 1 < runs.size(); r += 2) {
        const int start = runs[r];
        const int end = runs[r + 1];
        unsigned w = ColumnBits(p, c, n, start - 1) | (ColumnBits(p, c, n, start) << 3);
        for (int x = start; x < end; ++x) {
          w |= ColumnBits(p, c, n, x + 1) << 6;
          if (kZhangSuen[w] & subBit) marks.push_back(x);
          w >>= 3;
        }
      }
      if (marks.empty()) continue;
      if (y == band.first || y == band.last - 1) {
        band.pending.push_back(PendingRow{y, marks});
        continue;
      }
      uint8_t* row = raster.row(y);
      for (int x : marks) ClearBit(row, x);
      band.removed += static_cast<long>(marks.size());
      visit[y] = 1;
      changed[y] = 1;
    }
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

// One parallel sub-iteration. Returns false when its working storage could
// not be allocated; `removed` counts the pixels cleared.
bool SubIteration(raster::CRaster& raster, unsigned subBit, std::vector<uint8_t>& visit,
                  std::vector<uint8_t>& changed, std::vector<uint8_t>& examine, int threads, long& removed) {
  const int height = raster.height();
  // Which rows to examine is fixed before the walk: a row next to a visited
  // row. Flags set during the walk only matter for the next sub-iteration.
  int examined = 0;
  for (int y = 0; y < height; ++y) {
    const bool e = visit[static_cast<std::size_t>(y)] || (y > 0 && visit[static_cast<std::size_t>(y - 1)]) ||
                   (y + 1 < height && visit[static_cast<std::size_t>(y + 1)]);
    examine[static_cast<std::size_t>(y)] = e ? 1 : 0;
    examined += e ? 1 : 0;
  }
  removed = 0;
  if (examined == 0) return true;

  const int bandCount = std::max(1, std::min(threads, examined / kMinRowsPerBand));
  std::vector<Band> bands;
  try {
    bands.resize(static_cast<std::size_t>(bandCount));
  } catch (const std::bad_alloc&) {
    return false;
  }
  // Equal shares of examined rows per band.
  int y = 0;
  for (int b = 0; b < bandCount; ++b) {
    bands[static_cast<std::size_t>(b)].first = y;
    if (b == bandCount - 1) {
      y = height;
    } else {
      const int share = static_cast<int>((static_cast<long long>(examined) * (b + 1)) / bandCount);
      int seen = 0;
      for (int yy = 0; yy < height; ++yy) {
        seen += examine[static_cast<std::size_t>(yy)];
        if (seen >= share) {
          y = std::max(y + 1, yy + 1);
          break;
        }
      }
    }
    bands[static_cast<std::size_t>(b)].last = y;
  }

  uint8_t* visitRows = visit.data();
  uint8_t* changedRows = changed.data();
  const uint8_t* examineRows = examine.data();
  std::vector<std::thread> workers;
  std::vector<std::size_t> inlineBands;
  try {
    workers.reserve(bands.size());
    inlineBands.reserve(bands.size());
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (std::size_t b = 1; b < bands.size(); ++b) {
    try {
      workers.emplace_back(RunBand, std::ref(raster), subBit, examineRows, visitRows, changedRows, std::ref(bands[b]));
    } catch (const std::exception&) {
      inlineBands.push_back(b);  // no thread to be had: run it here afterwards
    }
  }
  RunBand(raster, subBit, examineRows, visitRows, changedRows, bands[0]);
  for (std::thread& worker : workers) worker.join();
  for (std::size_t b : inlineBands) RunBand(raster, subBit, examineRows, visitRows, changedRows, bands[b]);

  bool ok = true;
  for (Band& band : bands) {
    ok = ok && !band.failed;
    removed += band.removed;
    for (const PendingRow& pending : band.pending) {
      uint8_t* row = raster.row(pending.y);
      for (int x : pending.marks) ClearBit(row, x);
      removed += static_cast<long>(pending.marks.size());
      visitRows[pending.y] = 1;
      changedRows[pending.y] = 1;
    }
  }
  return ok;
}

int ClampToInt(long value) { return value > INT_MAX ? INT_MAX : static_cast<int>(value); }

}  // namespace

bool ThinFirstStep(raster::CRaster& skeleton, platform::ProgressSink* sink, int threads) {
  const StageReporter reporter(sink);
  const auto height = static_cast<std::size_t>(std::max(0, skeleton.height()));
  std::vector<uint8_t> visit;
  std::vector<uint8_t> changed;
  std::vector<uint8_t> examine;
  try {
    visit.assign(height, 1);
    changed.assign(height, 0);
    examine.assign(height, 0);
  } catch (const std::bad_alloc&) {
    reporter.finished(kTraceError);
    return false;
  }
  reporter.begin("ProcessThinFirstStep");
  const int threadCount = ThreadCount(threads);
  if (skeleton.width() > 0 && height > 0) {
    for (;;) {
      long count = 0;
      long removed = 0;
      bool ok = SubIteration(skeleton, 1, visit, changed, examine, threadCount, removed);
      count += removed;
      if (ok) {
        ok = SubIteration(skeleton, 2, visit, changed, examine, threadCount, removed);
        count += removed;
      }
      if (!ok || count == 0) break;
      std::swap(visit, changed);
      std::fill(changed.begin(), changed.end(), uint8_t{0});
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
  std::unique_ptr<RowWindow> window;
  // Skipping rows in later passes: a row is tested again only when it or a
  // neighbouring row lost a pixel after its last test. Stamps count examined
  // rows (even: tested, odd: changed while being tested).
  std::vector<uint64_t> lastTest;
  std::vector<uint64_t> lastChange;
  try {
    window = std::make_unique<RowWindow>(std::max(width, 0));
    lastTest.assign(static_cast<std::size_t>(std::max(height, 0)), 0);
    lastChange.assign(static_cast<std::size_t>(std::max(height, 0)), 0);
  } catch (const std::bad_alloc&) {
    reporter.finished(kTraceError);
    return false;
  }
  reporter.begin("ProcessThinSecondStep");
  const std::array<bool, 512>& removable = SecondStepTable();
  uint64_t clock = 1;
  bool firstPass = true;
  for (;;) {
    long count = 0;
    for (int y = 1; y + 1 < height; ++y) {
      const auto yy = static_cast<std::size_t>(y);
      if (!firstPass) {
        const uint64_t latest = std::max({lastChange[yy - 1], lastChange[yy], lastChange[yy + 1]});
        if (latest <= lastTest[yy]) continue;
      }
      const uint64_t stamp = 2 * clock++;
      lastTest[yy] = stamp;
      window->centreOn(skeleton, y);
      const uint8_t* p = window->prev->px();
      uint8_t* c = window->cur->px();
      const uint8_t* n = window->next->px();
      uint8_t* row = skeleton.row(y);
      const std::vector<int>& runs = window->cur->runs();
      long rowCount = 0;
      for (std::size_t r = 0; r + 1 < runs.size(); r += 2) {
        const int start = std::max(runs[r], 1);
        const int end = std::min(runs[r + 1], width - 1);
        if (start >= end) continue;
        unsigned w = ColumnBits(p, c, n, start - 1) | (ColumnBits(p, c, n, start) << 3);
        for (int x = start; x < end; ++x) {
          w |= ColumnBits(p, c, n, x + 1) << 6;
          if (removable[w]) {
            c[x] = 0;
            ClearBit(row, x);
            ++rowCount;
            w &= ~kCentre;  // the next pixel sees this one gone
          }
          w >>= 3;
        }
      }
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
