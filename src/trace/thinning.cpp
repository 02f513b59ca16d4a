#include "trace/thinning.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <climits>
#include <cstdlib>
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

constexpr auto kSecondStepRemovable = detail::WindowTable(ThinRemoveTable);

// The removal table without the pixels that have exactly two ink neighbours.
// Removing such a pixel at the end of a staircase two pixels thick leaves the
// next pixel in the same position, and the pass eats the whole stroke.
constexpr std::array<bool, 256> WithoutTwoNeighbourCodes(const std::array<bool, 256>& table) {
  std::array<bool, 256> kept = table;
  for (std::size_t code = 0; code < kept.size(); ++code) {
    if (std::popcount(static_cast<unsigned>(code)) == 2) kept[code] = false;
  }
  return kept;
}
constexpr auto kSecondStepRemovableKeepingEnds = detail::WindowTable(WithoutTwoNeighbourCodes(ThinRemoveTable));

// Clears the pixels of mask in word k.
inline void ClearWord(uint8_t* row, int k, int byteCount, uint64_t mask) {
  const int start = k * 8;
  if (start + 8 <= byteCount) {
    uint64_t word;
    std::memcpy(&word, row + start, 8);
    word &= ~__builtin_bswap64(mask);
    std::memcpy(row + start, &word, 8);
    return;
  }
  for (int j = 0; j < 8 && start + j < byteCount; ++j) {
    const auto bits = static_cast<uint8_t>(mask >> (56 - 8 * j));
    if (bits != 0) row[start + j] &= static_cast<uint8_t>(~bits);
  }
}

// The Zhang-Suen test of 64 pixels at once, evaluated with word logic. With
// P2..P9 the neighbours south, south-east, east, north-east, north,
// north-west, west and south-west, a pixel goes when 2 <= B <= 6 ink
// neighbours, A = 1 background-to-ink change around P2..P9, P2, and the
// sub-iteration's direction condition holds.
using detail::LoadWord;
using detail::RowWords;

// With kKeepStrokeEnds in subBit a pixel needs B >= 3: the end pixel of a
// staircase two pixels thick at 45 degrees has B = 2, and removing it lets
// every iteration eat one more step from each end until the whole stroke is
// gone. The second step still removes such pixels where they are redundant.
constexpr unsigned kKeepStrokeEnds = 4;

inline uint64_t ZhangSuenMask(const RowWords& above, const RowWords& row, const RowWords& below, unsigned subBit) {
  const uint64_t centre = row.word;
  const detail::Neighbours nb(above, row, below);
  const uint64_t n = nb.n, s = nb.s, w = nb.w, e = nb.e, nw = nb.nw, ne = nb.ne, sw = nb.sw, se = nb.se;
  const detail::NeighbourCount count(nb);
  const uint64_t b0 = count.b0, b1 = count.b1, b2 = count.b2, b3 = count.b3;
  const uint64_t atLeast = (subBit & kKeepStrokeEnds) != 0 ? (b1 & b0) | b2 | b3 : b1 | b2 | b3;
  const uint64_t countInRange = atLeast & ~b3 & ~(b2 & b1 & b0);  // 2 (or 3) <= B <= 6
  // A: exactly one background-to-ink change around P2 (south), P3, ..., P9, P2.
  const uint64_t ring[9] = {s, se, e, ne, n, nw, w, sw, s};
  uint64_t once = 0;
  uint64_t twice = 0;
  for (int i = 0; i < 8; ++i) {
    const uint64_t change = ~ring[i] & ring[i + 1];
    twice |= once & change;
    once |= change;
  }
  const uint64_t oneChange = once & ~twice;
  const uint64_t direction = (subBit & 3u) == 1 ? ~(s & e & n) & ~(e & n & w) : ~(s & e & w) & ~(s & n & w);
  return centre & countInRange & oneChange & direction;
}

struct WordMark {
  int word;
  uint64_t mask;
};

struct MarkedRow {
  int y;
  std::vector<WordMark> marks;
};

// Per word of the raster, whether its last test in a sub-iteration 1 (bit 1)
// or 2 (bit 2) found nothing to remove and no pixel it reads has changed
// since: the same test would find nothing again, so it is skipped. Null when
// the flags could not be allocated (every word is tested).
struct QuietWords {
  uint8_t* flags = nullptr;
  int wordCount = 0;
  int height = 0;
  uint8_t* row(int y) const { return flags + static_cast<std::size_t>(y) * static_cast<std::size_t>(wordCount); }
  // Pixels of `mask` in word k of row y changed: every word whose test reads
  // one of them is tested again.
  void changed(int y, int k, uint64_t mask) const {
    if (flags == nullptr) return;
    const int k0 = (mask >> 63) != 0 && k > 0 ? k - 1 : k;
    const int k1 = (mask & 1u) != 0 && k + 1 < wordCount ? k + 1 : k;
    for (int r = std::max(0, y - 1); r <= std::min(height - 1, y + 1); ++r) {
      uint8_t* words = row(r);
      for (int j = k0; j <= k1; ++j) words[j] = 0;
    }
  }
};

// The build targets processors without a popcount instruction, where
// std::popcount is a library call per word; on those that have one (nearly
// all), the loader picks a copy of the hot function that uses it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define QUILLON_POPCOUNT_CLONES __attribute__((target_clones("popcnt", "default")))
#else
#define QUILLON_POPCOUNT_CLONES
#endif

// Clears the marked pixels of the row and flags it changed and visited;
// answers the number of pixels cleared. The mark list is emptied.
QUILLON_POPCOUNT_CLONES long ApplyMarks(raster::CRaster& raster, MarkedRow& row, uint8_t* visit, uint8_t* changed, const QuietWords& quiet) {
  uint8_t* bits = raster.row(row.y);
  const int byteCount = (raster.width() + 7) >> 3;
  long removed = 0;
  for (const WordMark& mark : row.marks) {
    ClearWord(bits, mark.word, byteCount, mark.mask);
    quiet.changed(row.y, mark.word, mark.mask);
    removed += std::popcount(mark.mask);
  }
  visit[row.y] = 1;
  changed[row.y] = 1;
  row.marks.clear();
  return removed;
}

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
  bool stopped = false;
  std::vector<MarkedRow> edges;
};

// How many examined rows a band walks between two looks at the cancel flag:
// a first iteration over an A0 sheet takes a few hundred milliseconds, and
// Cancel should end the run well within a tenth of a second.
constexpr int kRowsPerCancelCheck = 64;

class BandWalker {
 public:
  BandWalker(raster::CRaster& raster, unsigned subBit, const uint8_t* zeroRow, uint8_t* visit, uint8_t* changed,
             const QuietWords& quiet, Band& band, const platform::ProgressSink* sink)
      : sink_(sink),
        raster_(raster),
        subBit_(subBit),
        zeroRow_(zeroRow),
        visit_(visit),
        changed_(changed),
        quiet_(quiet),
        band_(band) {}

  void run(const uint8_t* examine) {
    const int height = raster_.height();
    const int byteCount = (raster_.width() + 7) >> 3;
    const int wordCount = (byteCount + 7) >> 3;
    int untilCheck = kRowsPerCancelCheck;
    for (int y = band_.first; y < band_.last; ++y) {
      if (!examine[y]) continue;
      // A stopped walk leaves the skeleton half thinned; the caller sees the
      // flag too and discards it.
      if (sink_ != nullptr && --untilCheck == 0) {
        untilCheck = kRowsPerCancelCheck;
        if (sink_->cancelRequested()) {
          band_.stopped = true;
          break;
        }
      }
      applyPendingBefore(y - 1);
      std::vector<WordMark>& marks = freeMarks();
      const uint8_t* above = y > 0 ? raster_.row(y - 1) : zeroRow_;
      const uint8_t* row = raster_.row(y);
      const uint8_t* below = y + 1 < height ? raster_.row(y + 1) : zeroRow_;
      const auto words = [&](const uint8_t* bits, int k) {
        return RowWords{k > 0 ? LoadWord(bits, k - 1, byteCount) : 0, LoadWord(bits, k, byteCount),
                        k + 1 < wordCount ? LoadWord(bits, k + 1, byteCount) : 0};
      };
      uint8_t* quiet = quiet_.flags != nullptr ? quiet_.row(y) : nullptr;
      const auto quietBit = static_cast<uint8_t>(subBit_ & 3u);
      constexpr uint64_t kEveryByte = 0x0101010101010101ull;
      for (int k = 0; k < wordCount; ++k) {
        // Quiet words are passed over without reading the raster, eight
        // at a time where they come in a run.
        if (quiet != nullptr) {
          if (k + 8 <= wordCount) {
            uint64_t flags;
            std::memcpy(&flags, quiet + k, 8);
            if ((flags & (kEveryByte * quietBit)) == kEveryByte * quietBit) {
              k += 7;
              continue;
            }
          }
          if ((quiet[k] & quietBit) != 0) continue;
        }
        // Only words holding ink are tested; a word without ink never gets
        // any and is quiet for good (until a neighbour's change wakes it).
        bool empty = false;
        if (k * 8 + 8 <= byteCount) {
          uint64_t raw;
          std::memcpy(&raw, row + k * 8, 8);
          empty = raw == 0;
        } else {
          empty = LoadWord(row, k, byteCount) == 0;
        }
        if (empty) {
          if (quiet != nullptr) quiet[k] = 3;
          continue;
        }
        const uint64_t mask = ZhangSuenMask(words(above, k), words(row, k), words(below, k), subBit_);
        if (mask != 0) {
          marks.push_back(WordMark{k, mask});
        } else if (quiet != nullptr) {
          quiet[k] |= quietBit;
        }
      }
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
  std::vector<WordMark>& freeMarks() {
    std::vector<WordMark>& marks = pending_[pendingCount_].marks;
    marks.clear();
    return marks;
  }

  // Applies the pending rows above `limit` (exclusive) in walk order.
  void applyPendingBefore(int limit) {
    int kept = 0;
    for (int k = 0; k < pendingCount_; ++k) {
      MarkedRow& row = pending_[k];
      if (row.y < limit) {
        band_.removed += ApplyMarks(raster_, row, visit_, changed_, quiet_);
      } else {
        std::swap(pending_[kept++], row);
      }
    }
    pendingCount_ = kept;
  }

  const platform::ProgressSink* sink_;
  raster::CRaster& raster_;
  unsigned subBit_;
  const uint8_t* zeroRow_;
  uint8_t* visit_;
  uint8_t* changed_;
  const QuietWords& quiet_;
  Band& band_;
  // At most one row waits (the previous one) while the next is collected.
  std::array<MarkedRow, 3> pending_{};
  int pendingCount_ = 0;
};

void RunBand(raster::CRaster& raster, unsigned subBit, const uint8_t* zeroRow, const uint8_t* examine, uint8_t* visit,
             uint8_t* changed, const QuietWords& quiet, Band& band, const platform::ProgressSink* sink) {
  try {
    BandWalker walker(raster, subBit, zeroRow, visit, changed, quiet, band, sink);
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
  std::vector<uint8_t> quietFlags;  // may stay empty
  QuietWords quiet;
  const platform::ProgressSink* sink = nullptr;  // polled for a cancel inside a sub-iteration
  bool stopped = false;                          // a walk ended early on a cancel
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
                           std::cref(storage.quiet), std::ref(bands[b]), storage.sink);
    } catch (const std::exception&) {
      unthreaded.push_back(b);  // no thread to be had: this thread runs the band afterwards
    }
  }
  RunBand(raster, subBit, zeroRow, examine, visitRows, changedRows, storage.quiet, bands[0], storage.sink);
  for (std::thread& worker : workers) worker.join();
  for (std::size_t b : unthreaded) {
    RunBand(raster, subBit, zeroRow, examine, visitRows, changedRows, storage.quiet, bands[b], storage.sink);
  }

  bool ok = true;
  for (Band& band : bands) {
    ok = ok && !band.failed;
    storage.stopped = storage.stopped || band.stopped;
    removed += band.removed;
    for (MarkedRow& row : band.edges) removed += ApplyMarks(raster, row, visitRows, changedRows, storage.quiet);
  }
  return ok;
}

int ClampToInt(long value) { return value > INT_MAX ? INT_MAX : static_cast<int>(value); }

}  // namespace

bool ThinFirstStep(raster::CRaster& skeleton, platform::ProgressSink* sink, int threads, bool keepStrokeEnds,
                   const std::function<int()>& spareCores) {
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
  const int wordCount = (((skeleton.width() + 7) >> 3) + 7) >> 3;
  try {
    storage.quietFlags.assign(height * static_cast<std::size_t>(std::max(0, wordCount)), 0);
    storage.quiet = QuietWords{storage.quietFlags.data(), wordCount, static_cast<int>(height)};
  } catch (const std::bad_alloc&) {
    storage.quiet = QuietWords{};  // without them every word is tested
  }
  reporter.begin("ProcessThinFirstStep");
  storage.sink = sink;
  if (skeleton.width() > 0 && height > 0) {
    detail::ClearRowPadding(skeleton);
    const int ownThreads = ThreadCount(threads);
    for (;;) {
      const int threadCount =
          threads > 0 && spareCores ? std::min(64, ownThreads + std::max(0, spareCores())) : ownThreads;
      long count = 0;
      long removed = 0;
      const unsigned keep = keepStrokeEnds ? kKeepStrokeEnds : 0u;
      bool ok = SubIteration(skeleton, 1u | keep, storage, threadCount, removed);
      count += removed;
      if (ok) {
        ok = SubIteration(skeleton, 2u | keep, storage, threadCount, removed);
        count += removed;
      }
      // A walk cut short by a cancel says nothing about convergence.
      if (storage.stopped) {
        reporter.finished(kTraceUserStop);
        return false;
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

namespace {

// Pixels of the second step whose neighbourhood changed after their last
// test, one bit per pixel packed as the raster's rows. A pixel whose eight
// neighbours are as they were at its last test gives the same answer again,
// so a pass after the first tests only these; a removal marks all eight
// neighbours. Marks ahead of the walk are taken up in the same pass (as the
// plain order would test those pixels after the removal anyway), marks behind
// it in the next one.
class PendingPixels {
 public:
  // Marks go into `scratch` when given (blank, the skeleton's size; left
  // blank again by release()), else into a block of their own.
  bool allocate(int height, int byteCount, raster::CRaster* scratch) {
    byteCount_ = byteCount;
    scratch_ = scratch;
    if (scratch_ == nullptr) {
      // calloc: a large block comes as zero pages, paid for only where marks land.
      const std::size_t size = static_cast<std::size_t>(height) * static_cast<std::size_t>(byteCount);
      owned_.reset(static_cast<uint8_t*>(std::calloc(std::max<std::size_t>(1, size), 1)));
      if (!owned_) return false;
    }
    try {
      rows_.assign(static_cast<std::size_t>(height), kPending | kTouched);
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }
  // Clears every mark left in the scratch raster.
  void release() {
    if (scratch_ == nullptr) return;
    for (std::size_t y = 0; y < rows_.size(); ++y) {
      if (rows_[y] & kTouched) std::memset(row(static_cast<int>(y)), 0, static_cast<std::size_t>(byteCount_));
    }
  }
  uint8_t* row(int y) {
    return scratch_ != nullptr ? scratch_->row(y)
                               : owned_.get() + static_cast<std::size_t>(y) * static_cast<std::size_t>(byteCount_);
  }
  // Whether row y holds a mark; clears the flag (the walk takes the row up).
  bool takeRow(int y) {
    uint8_t& flags = rows_[static_cast<std::size_t>(y)];
    const bool pending = (flags & kPending) != 0;
    flags &= static_cast<uint8_t>(~kPending);
    return pending;
  }
  // Marks pixels x-1, x, x+1 of row y.
  void markThree(int y, int x) {
    uint8_t* bits = row(y);
    for (int p = x - 1; p <= x + 1; ++p) bits[p >> 3] |= static_cast<uint8_t>(0x80u >> (p & 7));
    rows_[static_cast<std::size_t>(y)] = kPending | kTouched;
  }
  void mark(int y, int x) {
    row(y)[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
    rows_[static_cast<std::size_t>(y)] = kPending | kTouched;
  }

 private:
  static constexpr uint8_t kPending = 1;  // a mark waits in the row
  static constexpr uint8_t kTouched = 2;  // the row may hold marks
  struct Free {
    void operator()(uint8_t* p) const { std::free(p); }
  };
  raster::CRaster* scratch_ = nullptr;
  std::unique_ptr<uint8_t[], Free> owned_;
  std::vector<uint8_t> rows_;
  int byteCount_ = 0;
};

// One row of a second-step pass: tests the row's ink pixels (every one in
// the first pass, the marked ones later) in order, removing each removable
// pixel at once. Answers the number removed. Rows y-1 and y+1 must exist.
long SecondStepRow(raster::CRaster& skeleton, int y, const std::array<bool, 512>& removable, PendingPixels& pending,
                   bool firstPass) {
  const int width = skeleton.width();
  const int byteCount = (width + 7) >> 3;
  const uint8_t* above = skeleton.row(y - 1);
  uint8_t* row = skeleton.row(y);
  const uint8_t* below = skeleton.row(y + 1);
  uint8_t* marks = pending.row(y);
  long removed = 0;
  int i = 0;
  while (i < byteCount) {
    if (i + 8 <= byteCount) {
      uint64_t ink;
      std::memcpy(&ink, row + i, 8);
      if (!firstPass) {
        uint64_t marked;
        std::memcpy(&marked, marks + i, 8);
        ink &= marked;
      }
      if (ink == 0) {
        i += 8;
        continue;
      }
    }
    // The first pass tests every pixel and leaves the marks of this row,
    // all of them behind the walk, to the next pass.
    unsigned bits = row[i];
    if (!firstPass) {
      bits &= marks[i];
      marks[i] = 0;
    }
    if (bits == 0) {
      ++i;
      continue;
    }
    const uint32_t a = detail::ByteWithNeighbours(above, i, byteCount);
    uint32_t c = detail::ByteWithNeighbours(row, i, byteCount);
    const uint32_t b = detail::ByteWithNeighbours(below, i, byteCount);
    constexpr uint32_t kTen = 0x1FF80u;  // the byte and one pixel either side
    if ((a & c & b & kTen) != kTen) {
      while (bits != 0) {
        const int j = std::countl_zero(static_cast<uint8_t>(bits));
        bits &= ~(0x80u >> j);
        const int shift = 14 - j;
        const unsigned window = ((a >> shift) & 7u) | (((c >> shift) & 7u) << 3) | (((b >> shift) & 7u) << 6);
        const int x = i * 8 + j;
        if (x == 0 || x == width - 1 || !removable[window]) continue;
        c &= ~(1u << (15 - j));
        row[i] &= static_cast<uint8_t>(~(0x80u >> j));
        ++removed;
        pending.markThree(y - 1, x);
        pending.mark(y, x - 1);
        // The first pass tests the neighbours ahead anyway; later passes
        // take them up as they come to them.
        if (firstPass) continue;
        pending.markThree(y + 1, x);
        if (j < 7) {
          bits |= row[i] & (0x80u >> (j + 1));
        } else {
          pending.mark(y, x + 1);
        }
      }
    }
    ++i;
  }
  return removed;
}

}  // namespace

bool ThinSecondStep(raster::CRaster& skeleton, platform::ProgressSink* sink, bool keepStrokeEnds,
                    raster::CRaster* scratch) {
  const auto& removable = keepStrokeEnds ? kSecondStepRemovableKeepingEnds : kSecondStepRemovable;
  const StageReporter reporter(sink);
  const int width = skeleton.width();
  const int height = skeleton.height();
  PendingPixels pending;
  if (scratch != nullptr && (scratch->width() != width || scratch->height() != height || scratch->bitCount() != 1)) {
    scratch = nullptr;
  }
  if (!pending.allocate(std::max(height, 0), (std::max(width, 0) + 7) >> 3, scratch)) {
    reporter.finished(kTraceError);
    return false;
  }
  reporter.begin("ProcessThinSecondStep");
  if (width > 0) detail::ClearRowPadding(skeleton);
  bool firstPass = true;
  for (;;) {
    long count = 0;
    int untilCheck = kRowsPerCancelCheck;
    // Every test reads the raster itself, so it sees each removal made
    // before it in raster order. The outermost rows and columns stay.
    for (int y = 1; y + 1 < height; ++y) {
      if (!pending.takeRow(y)) continue;
      if (--untilCheck == 0) {
        untilCheck = kRowsPerCancelCheck;
        if (reporter.cancelled()) break;  // the pass's end sees the flag
      }
      count += SecondStepRow(skeleton, y, removable, pending, firstPass);
    }
    firstPass = false;
    if (reporter.cancelled()) {
      pending.release();
      reporter.finished(kTraceUserStop);
      return false;
    }
    reporter.progress(ClampToInt(count));
    if (count == 0) break;
  }
  pending.release();
  reporter.end();
  skeleton.setThinned(true);
  return true;
}

}  // namespace quillon::trace
