#include "trace/centre_line.h"

#include <bit>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "trace/trace_result.h"

namespace quillon::trace {

namespace {

struct Offset {
  int dx;
  int dy;
  uint8_t direction;
};

// The fixed order in which a step looks at the neighbours.
constexpr Offset kStepOrder[8] = {
    {-1, -1, kNorthWest}, {0, -1, kNorth}, {1, -1, kNorthEast}, {-1, 0, kWest},
    {1, 0, kEast},        {-1, 1, kSouthWest}, {0, 1, kSouth},  {1, 1, kSouthEast},
};

// Every junction has three ink neighbours at least, so only such pixels
// need their code looked up.
constexpr bool JunctionsHaveThreeNeighbours() {
  for (unsigned code = 0; code < 256; ++code) {
    if (JunctionTable[code] && std::popcount(code) < 3) return false;
  }
  return true;
}
static_assert(JunctionsHaveThreeNeighbours());

// A 1-bit raster's rows by address arithmetic: a walk visits millions of
// pixels, and going through the row table puts a second dependent load
// before every read. Built from a const raster (the junctions) it is only
// read.
struct PackedRows {
  explicit PackedRows(const raster::CRaster& raster)
      : top(raster.height() > 0 ? const_cast<uint8_t*>(raster.row(0)) : nullptr),
        step(raster.rowStep()),
        width(raster.width()),
        height(raster.height()) {}
  uint8_t* row(int y) const { return top + static_cast<std::ptrdiff_t>(y) * step; }
  bool bitAtChecked(int x, int y) const {
    return x >= 0 && y >= 0 && x < width && y < height && (row(y)[x >> 3] & (0x80u >> (x & 7))) != 0;
  }
  void clearBit(int x, int y) const { row(y)[x >> 3] &= static_cast<uint8_t>(~(0x80u >> (x & 7))); }

  uint8_t* top;
  std::ptrdiff_t step;
  int width;
  int height;
};

// Where the three bits x-1, x, x+1 of a row lie: bytes `first` and `last`
// (the second is read only when x+1 lies in it, so no byte past the row end
// is read) and the shift that brings them to bits 2, 1, 0.
struct Columns {
  explicit Columns(int x) : first((x - 1) >> 3), last((x + 1) >> 3), shift(13 - ((x - 1) & 7)) {}
  int first;
  int last;
  int shift;
};

// The neighbour code of a pixel away from the border, `middle` being its row.
inline uint8_t InteriorCode(const uint8_t* middle, std::ptrdiff_t step, const Columns& at) {
  const auto three = [&](const uint8_t* row) {
    return static_cast<unsigned>(((row[at.first] << 8) | row[at.last]) >> at.shift) & 7u;
  };
  // Reverses three bits: x-1 is the lower direction bit.
  constexpr uint8_t kReverse[8] = {0, 4, 2, 6, 1, 5, 3, 7};
  const unsigned above = three(middle - step);
  const unsigned centre = three(middle);
  const unsigned below = three(middle + step);
  return static_cast<uint8_t>(kReverse[above] | ((centre & 4u) << 1) | ((centre & 1u) << 4) | (kReverse[below] << 5));
}

inline bool Interior(const PackedRows& raster, int x, int y) {
  return x >= 1 && y >= 1 && x + 1 < raster.width && y + 1 < raster.height;
}

// The neighbour code of (x, y) (outside the raster is background).
inline uint8_t NeighbourCodeAt(const PackedRows& raster, int x, int y) {
  if (Interior(raster, x, y)) return InteriorCode(raster.row(y), raster.step, Columns(x));
  uint8_t code = 0;
  for (const Offset& offset : kStepOrder) {
    if (raster.bitAtChecked(x + offset.dx, y + offset.dy)) code |= offset.direction;
  }
  return code;
}

// The neighbour codes of one pixel in the skeleton and in the junction
// raster (of the same size), read together: a walk needs both at every pixel.
struct Codes {
  uint8_t skeleton;
  uint8_t junction;
};

inline Codes CodesAt(const PackedRows& skeleton, const PackedRows& junctions, int x, int y) {
  if (Interior(skeleton, x, y)) {
    const Columns at(x);
    return Codes{InteriorCode(skeleton.row(y), skeleton.step, at), InteriorCode(junctions.row(y), junctions.step, at)};
  }
  return Codes{NeighbourCodeAt(skeleton, x, y), NeighbourCodeAt(junctions, x, y)};
}

// The step order is the order of the direction bits, so the first ink
// neighbour is the lowest bit of the neighbour code.
inline const Offset& FirstNeighbour(uint8_t code) { return kStepOrder[std::countr_zero(static_cast<unsigned>(code))]; }

inline uint8_t StepInline(const PackedRows& raster, int& x, int& y) {
  const uint8_t code = NeighbourCodeAt(raster, x, y);
  if (code == 0) return 0;
  const Offset& offset = FirstNeighbour(code);
  x += offset.dx;
  y += offset.dy;
  return offset.direction;
}

// One walk away from the start pixel, forwards (points appended) or
// backwards (points put at the front). In the forward walk of a start that
// touches a junction, the point behind the start goes to the front once the
// walk has taken its first step. `codes` are those of the start pixel. At
// each pixel both codes are read at once: the junction code for the end test
// and the skeleton code for the next step (clearing the pixel itself leaves
// its code alone).
template <typename Put>
void WalkSteps(const PackedRows& skeleton, const PackedRows& junctions, TracePath& path, int startX, int startY,
               bool startTouchesJunction, Codes codes, const Put& put) {
  int cx = startX;
  int cy = startY;
  int px = startX;
  int py = startY;
  uint8_t lastDirection = 0;
  bool moved = false;
  for (;;) {
    // A dead end (past the start no junction touches it: the walk would
    // have ended at the junction).
    if (codes.skeleton == 0) {
      if (moved) put(px, py);
      return;
    }
    const Offset& offset = FirstNeighbour(codes.skeleton);
    const uint8_t direction = offset.direction;
    cx += offset.dx;
    cy += offset.dy;
    if (!moved) {
      put(cx, cy);
      lastDirection = direction;
      if (startTouchesJunction) path.pushFront(startX - offset.dx, startY - offset.dy);
      moved = true;
    } else if (direction != lastDirection) {
      put(px, py);
      lastDirection = direction;
    }
    px = cx;
    py = cy;
    skeleton.clearBit(cx, cy);
    codes = CodesAt(skeleton, junctions, cx, cy);
    if (codes.junction != 0) {
      const Offset& junction = FirstNeighbour(codes.junction);
      if (junction.direction != lastDirection) put(cx, cy);
      put(cx + junction.dx, cy + junction.dy);
      return;
    }
  }
}

// Reused by every path of one stage, so that tracing a speck allocates nothing.
struct Scratch {
  TracePath path;
  std::vector<TracePoint> behind;
};

void Walk(const PackedRows& skeleton, const PackedRows& junctions, Scratch& scratch, int startX, int startY,
          bool backwards, bool startTouchesJunction, Codes codes) {
  TracePath& path = scratch.path;
  if (!backwards) {
    WalkSteps(skeleton, junctions, path, startX, startY, startTouchesJunction, codes,
              [&path](int x, int y) { path.pushBack(x, y); });
    return;
  }
  // Collected in walking order, then put in front in one go.
  std::vector<TracePoint>& behind = scratch.behind;
  behind.clear();
  WalkSteps(skeleton, junctions, path, startX, startY, startTouchesJunction, codes, [&behind](int x, int y) {
    behind.push_back(TracePoint{static_cast<double>(x), static_cast<double>(y), 0});
  });
  path.points.insert(path.points.begin(), behind.rbegin(), behind.rend());
}

// Traces the chain through (x0, y0) into the scratch path and hands it to
// `keep` when it has two points at least, or its pixel to `lone` when the
// chain is that pixel alone (and touches no junction).
template <typename Keep, typename Lone>
void TraceFrom(const PackedRows& skeleton, const PackedRows& junctions, int x0, int y0, Scratch& scratch,
               const Keep& keep, const Lone& lone) {
  TracePath& path = scratch.path;
  path.points.clear();
  const Codes start = CodesAt(skeleton, junctions, x0, y0);
  const bool touchesJunction = start.junction != 0;
  path.pushBack(x0, y0);
  skeleton.clearBit(x0, y0);
  Walk(skeleton, junctions, scratch, x0, y0, false, touchesJunction, start);
  // The forward walk has cleared pixels around the start.
  if (!touchesJunction) Walk(skeleton, junctions, scratch, x0, y0, true, false, CodesAt(skeleton, junctions, x0, y0));
  if (path.size() < 2) {
    if (path.size() == 1 && !touchesJunction) lone(x0, y0);
    return;
  }
  keep(path);
}

// Visits the start pixel of every chain of rows [0, height) in scan order,
// tracing each with `trace` (which clears at least the start pixel), and
// calls rowDone(y) after each row; stops when that answers false.
template <typename Trace, typename RowDone>
bool ScanRows(const raster::CRaster& skeleton, const Trace& trace, const RowDone& rowDone) {
  const int width = skeleton.width();
  const int height = skeleton.height();
  const int byteCount = (width + 7) >> 3;
  const uint8_t lastMask = (width & 7) ? static_cast<uint8_t>(0xFF << (8 - (width & 7))) : uint8_t{0xFF};
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = skeleton.row(y);
    int i = 0;
    while (i < byteCount) {
      uint64_t word;
      if (i + 8 <= byteCount && (std::memcpy(&word, row + i, 8), word == 0)) {
        i += 8;
        continue;
      }
      uint8_t b = row[i];
      if (i == byteCount - 1) b &= lastMask;
      if (b == 0) {
        ++i;
        continue;
      }
      // Tracing clears at least this pixel, and possibly more of this byte,
      // so the byte is read again afterwards.
      trace(i * 8 + std::countl_zero(b), y);
    }
    if (!rowDone(y)) return false;
  }
  return true;
}

// The percent of rows done once row y is, as the stage reports it.
int RowPercent(int y, int height) { return static_cast<int>(static_cast<long long>(y) * 100 / height); }

// What one thread traced for the other: the paths of a run of rows (their
// points end to end), the lone pixels, and the progress values in between,
// each tagged with the number of paths that came before it.
struct TracedBatch {
  std::vector<TracePoint> points;
  std::vector<std::size_t> pathEnds;  // one past each path's last point
  std::vector<TracePoint> lonePixels;
  std::vector<std::pair<std::size_t, int>> percents;  // (paths before, percent)
  int rowsDone = 0;                                   // rows finished, all batches so far
  void clear() {
    points.clear();
    pathEnds.clear();
    lonePixels.clear();
    percents.clear();
  }
};

// Chains are followed on a second thread while the calling thread hands
// each path, in tracing order, to the run's filter (which makes its
// polyline), so that a noisy sheet's million paths cost the two cores
// about what the slower half costs. The filter, the path list, the sink
// and every allocation the filter makes stay on the calling thread.
class TracedAlongside {
 public:
  explicit TracedAlongside(std::size_t pathsPerBatch) : pathsPerBatch_(pathsPerBatch) {}
  ~TracedAlongside() { stop(); }
  TracedAlongside(const TracedAlongside&) = delete;
  TracedAlongside& operator=(const TracedAlongside&) = delete;

  // Starts the tracing thread; false when no thread can be had.
  bool start(raster::CRaster& skeleton, const raster::CRaster& junctions) {
    try {
      worker_ = std::thread([this, &skeleton, &junctions] { trace(skeleton, junctions); });
    } catch (const std::system_error&) {
      return false;
    }
    return true;
  }

  // The next batch in tracing order (the previous one goes back for reuse);
  // null once the tracer has finished. Rethrows the tracer's failure.
  TracedBatch* next() {
    std::unique_lock lock(mutex_);
    if (current_) spare_.push_back(std::move(*current_));
    current_.reset();
    changed_.notify_all();
    changed_.wait(lock, [this] { return !ready_.empty() || finished_; });
    if (failure_) std::rethrow_exception(failure_);
    if (ready_.empty()) return nullptr;
    current_ = std::move(ready_.front());
    ready_.pop_front();
    changed_.notify_all();
    return &*current_;
  }

  // Tells the tracer to give up and waits for it.
  void stop() {
    if (!worker_.joinable()) return;
    {
      const std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    worker_.join();
  }

 private:
  // At most this many batches wait for the calling thread.
  static constexpr std::size_t kQueued = 4;

  void trace(raster::CRaster& skeleton, const raster::CRaster& junctions) {
    try {
      Scratch scratch;
      TracedBatch batch;
      const PackedRows skeletonRows(skeleton);
      const PackedRows junctionRows(junctions);
      const int height = skeleton.height();
      int lastPercent = 0;
      const auto keep = [&batch](const TracePath& path) {
        batch.points.insert(batch.points.end(), path.points.begin(), path.points.end());
        batch.pathEnds.push_back(batch.points.size());
      };
      const auto lone = [&batch](int x, int y) {
        batch.lonePixels.push_back(TracePoint{static_cast<double>(x), static_cast<double>(y), 0});
      };
      ScanRows(
          skeleton,
          [&](int x, int y) { TraceFrom(skeletonRows, junctionRows, x, y, scratch, keep, lone); },
          [&](int y) {
            const int percent = RowPercent(y, height);
            if (percent != lastPercent) {
              batch.percents.emplace_back(batch.pathEnds.size(), percent);
              lastPercent = percent;
            }
            // Long chains fill a batch by their points: the copies stay small on a clean sheet too.
            const bool full = batch.pathEnds.size() >= pathsPerBatch_ || batch.points.size() >= pathsPerBatch_ * 2;
            if (!full && y + 1 < height) return true;
            batch.rowsDone = y + 1;
            return hand(batch);
          });
      const std::lock_guard lock(mutex_);
      finished_ = true;
    } catch (...) {
      const std::lock_guard lock(mutex_);
      failure_ = std::current_exception();
      finished_ = true;
    }
    changed_.notify_all();
  }

  // Queues the batch and gives the tracer an empty one; false when told to stop.
  bool hand(TracedBatch& batch) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return ready_.size() < kQueued || stop_; });
    if (stop_) return false;
    ready_.push_back(std::move(batch));
    if (spare_.empty()) {
      batch = TracedBatch();
    } else {
      batch = std::move(spare_.back());
      spare_.pop_back();
    }
    lock.unlock();
    changed_.notify_all();
    batch.clear();
    return true;
  }

  std::size_t pathsPerBatch_;
  std::thread worker_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<TracedBatch> ready_;
  std::vector<TracedBatch> spare_;
  std::optional<TracedBatch> current_;  // the batch the calling thread works through
  bool stop_ = false;
  bool finished_ = false;
  std::exception_ptr failure_;
};

}  // namespace

uint8_t Step(const raster::CRaster& raster, int& x, int& y) { return StepInline(PackedRows(raster), x, y); }

bool TraceCentreInitialise(raster::CRaster& skeleton, raster::CRaster& junctions, platform::ProgressSink* sink) {
  const StageReporter reporter(sink);
  reporter.begin("ProcessTraceCenterInit");
  const int width = skeleton.width();
  const int height = skeleton.height();
  const int byteCount = (width + 7) >> 3;
  // Junctions leave the skeleton only once the next row has been classified,
  // so that every pixel is classified against the skeleton as it began.
  std::vector<uint8_t> zeroRow;
  std::vector<int> previous;
  std::vector<int> current;
  try {
    zeroRow.assign(static_cast<std::size_t>(byteCount) + 8, 0);
    previous.reserve(64);
    current.reserve(64);
  } catch (const std::bad_alloc&) {
    reporter.finished(kTraceError);
    return false;
  }
  if (width > 0) detail::ClearRowPadding(skeleton);
  const auto clearJunctions = [&skeleton](int y, const std::vector<int>& xs) {
    if (y < 0) return;
    uint8_t* row = skeleton.row(y);
    for (int x : xs) row[x >> 3] &= static_cast<uint8_t>(~(0x80u >> (x & 7)));
  };
  int lastPercent = -1;
  const int wordCount = (byteCount + 7) >> 3;
  try {
    for (int y = 0; y < height; ++y) {
      current.clear();
      const uint8_t* above = y > 0 ? skeleton.row(y - 1) : zeroRow.data();
      const uint8_t* row = skeleton.row(y);
      const uint8_t* below = y + 1 < height ? skeleton.row(y + 1) : zeroRow.data();
      uint8_t* junctionRow = junctions.row(y);
      // 64 pixels at a time: the neighbour count picks the few pixels whose
      // code needs looking up.
      const auto words = [&](const uint8_t* bits, int k) {
        return detail::RowWords{k > 0 ? detail::LoadWord(bits, k - 1, byteCount) : 0,
                                detail::LoadWord(bits, k, byteCount),
                                k + 1 < wordCount ? detail::LoadWord(bits, k + 1, byteCount) : 0};
      };
      for (int k = 0; k < wordCount; ++k) {
        if (k * 8 + 8 <= byteCount) {
          uint64_t raw;
          std::memcpy(&raw, row + k * 8, 8);
          if (raw == 0) continue;
        }
        const detail::RowWords middle = words(row, k);
        if (middle.word == 0) continue;
        const detail::Neighbours neighbours(words(above, k), middle, words(below, k));
        uint64_t candidates = middle.word & detail::NeighbourCount(neighbours).atLeastThree();
        while (candidates != 0) {
          const int j = std::countl_zero(candidates);
          const int bit = 63 - j;
          candidates &= ~(uint64_t{1} << bit);
          if (!JunctionTable[neighbours.codeAt(bit)]) continue;
          const int x = k * 64 + j;
          junctionRow[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
          current.push_back(x);
        }
      }
      clearJunctions(y - 1, previous);
      std::swap(previous, current);
      if (reporter.cancelled()) {
        clearJunctions(y, previous);
        reporter.finished(kTraceUserStop);
        return false;
      }
      const int percent = static_cast<int>(static_cast<long long>(y) * 100 / height);
      if (percent > lastPercent) {
        reporter.progress(percent);
        lastPercent = percent;
      }
    }
  } catch (const std::bad_alloc&) {
    reporter.finished(kTraceError);
    return false;
  }
  clearJunctions(height - 1, previous);
  reporter.end();
  return true;
}

namespace {

// Whether a path the tracer found joins the list.
bool Kept(const TracePath& path, const PathFilter* drop) { return drop == nullptr || !*drop || !(*drop)(path); }

// False when cancelled (finished delivered, the list emptied); no value when
// no thread could be had and nothing was traced.
std::optional<bool> TraceCentreLineAlongside(raster::CRaster& skeleton, const raster::CRaster& junctions, TracePathList& paths,
                              const StageReporter& reporter, const PathFilter* drop, bool keepLonePixels,
                              std::size_t pathsPerBatch) {
  TracedAlongside tracer(pathsPerBatch);
  if (!tracer.start(skeleton, junctions)) return std::nullopt;
  TracePath path;  // the filter's view of each path
  while (TracedBatch* batch = tracer.next()) {
    std::size_t begin = 0;
    std::size_t percentAt = 0;
    const auto reportUpTo = [&](std::size_t pathCount) {
      for (; percentAt < batch->percents.size() && batch->percents[percentAt].first <= pathCount; ++percentAt) {
        reporter.progress(batch->percents[percentAt].second);
      }
    };
    for (std::size_t i = 0; i < batch->pathEnds.size(); ++i) {
      reportUpTo(i);
      path.points.assign(batch->points.begin() + static_cast<std::ptrdiff_t>(begin),
                         batch->points.begin() + static_cast<std::ptrdiff_t>(batch->pathEnds[i]));
      begin = batch->pathEnds[i];
      if (Kept(path, drop)) paths.append().points.assign(path.points.begin(), path.points.end());
    }
    reportUpTo(batch->pathEnds.size());
    if (keepLonePixels) {
      for (const TracePoint& p : batch->lonePixels) paths.addLonePixel(static_cast<int>(p.x), static_cast<int>(p.y));
    }
    if (reporter.cancelled()) {
      tracer.stop();
      paths.clear();
      reporter.finished(kTraceUserStop);
      return false;
    }
  }
  return true;
}

}  // namespace

bool TraceCentreLine(raster::CRaster& skeleton, const raster::CRaster& junctions, TracePathList& paths,
                     platform::ProgressSink* sink, const PathFilter* drop, bool keepLonePixels,
                     std::size_t alongsideBatch) {
  const StageReporter reporter(sink);
  reporter.begin("ProcessTraceCenterLine");
  if (alongsideBatch > 0 && skeleton.height() > 0) {
    if (const std::optional<bool> whole =
            TraceCentreLineAlongside(skeleton, junctions, paths, reporter, drop, keepLonePixels, alongsideBatch)) {
      if (*whole) reporter.end();
      return *whole;
    }
  }
  const int height = skeleton.height();
  int lastPercent = 0;
  Scratch scratch;
  const PackedRows skeletonRows(skeleton);
  const PackedRows junctionRows(junctions);
  const auto keep = [&paths, drop](const TracePath& path) {
    if (Kept(path, drop)) paths.append().points.assign(path.points.begin(), path.points.end());
  };
  const auto lone = [&paths, keepLonePixels](int x, int y) {
    if (keepLonePixels) paths.addLonePixel(x, y);
  };
  return ScanRows(
      skeleton, [&](int x, int y) { TraceFrom(skeletonRows, junctionRows, x, y, scratch, keep, lone); },
      [&](int y) {
        if (reporter.cancelled()) {
          paths.clear();
          reporter.finished(kTraceUserStop);
          return false;
        }
        const int percent = RowPercent(y, height);
        if (percent != lastPercent) {
          reporter.progress(percent);
          lastPercent = percent;
        }
        return true;
      }) && (reporter.end(), true);
}

}  // namespace quillon::trace
