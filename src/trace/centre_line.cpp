#include "trace/centre_line.h"

#include <bit>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>
#include <new>

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

// Traces the chain through (x0, y0) into the scratch path; it joins the list
// (with storage of its exact size) unless it is too short or `drop` rejects it.
void TraceFrom(const PackedRows& skeleton, const PackedRows& junctions, TracePathList& paths, int x0, int y0,
               Scratch& scratch, const PathFilter* drop, bool keepLonePixels) {
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
    if (path.size() == 1 && !touchesJunction && keepLonePixels) paths.addLonePixel(x0, y0);
    return;
  }
  if (drop != nullptr && *drop && (*drop)(path)) return;
  paths.append().points.assign(path.points.begin(), path.points.end());
}

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

bool TraceCentreLine(raster::CRaster& skeleton, const raster::CRaster& junctions, TracePathList& paths,
                     platform::ProgressSink* sink, const PathFilter* drop, bool keepLonePixels) {
  const StageReporter reporter(sink);
  reporter.begin("ProcessTraceCenterLine");
  const int width = skeleton.width();
  const int height = skeleton.height();
  const int byteCount = (width + 7) >> 3;
  const uint8_t lastMask = (width & 7) ? static_cast<uint8_t>(0xFF << (8 - (width & 7))) : uint8_t{0xFF};
  int lastPercent = 0;
  Scratch scratch;
  const PackedRows skeletonRows(skeleton);
  const PackedRows junctionRows(junctions);
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
      TraceFrom(skeletonRows, junctionRows, paths, i * 8 + std::countl_zero(b), y, scratch, drop, keepLonePixels);
    }
    if (reporter.cancelled()) {
      paths.clear();
      reporter.finished(kTraceUserStop);
      return false;
    }
    const int percent = static_cast<int>(static_cast<long long>(y) * 100 / height);
    if (percent != lastPercent) {
      reporter.progress(percent);
      lastPercent = percent;
    }
  }
  reporter.end();
  return true;
}

}  // namespace quillon::trace
