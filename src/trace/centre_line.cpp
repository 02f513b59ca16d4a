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

Offset OffsetOf(uint8_t direction) {
  for (const Offset& offset : kStepOrder) {
    if (offset.direction == direction) return offset;
  }
  return Offset{0, 0, 0};
}

constexpr auto kJunctionWindow = detail::WindowTable(JunctionTable);

// The neighbour code of (x, y) (outside the raster is background). Inside
// the border the three bits of each row come from at most two bytes, as a
// walk visits millions of pixels.
inline uint8_t NeighbourCodeAt(const raster::CRaster& raster, int x, int y) {
  if (x >= 1 && y >= 1 && x + 1 < raster.width() && y + 1 < raster.height()) {
    // Bits of x-1, x, x+1 as bits 2, 1, 0; the second byte is read only when
    // x+1 lies in it, so no byte past the row end is read.
    const int first = (x - 1) >> 3;
    const int last = (x + 1) >> 3;
    const int shift = 13 - ((x - 1) & 7);
    const auto three = [&](const uint8_t* row) {
      return static_cast<unsigned>(((row[first] << 8) | row[last]) >> shift) & 7u;
    };
    // Reverses three bits: x-1 is the lower direction bit.
    constexpr uint8_t kReverse[8] = {0, 4, 2, 6, 1, 5, 3, 7};
    const unsigned above = three(raster.row(y - 1));
    const unsigned middle = three(raster.row(y));
    const unsigned below = three(raster.row(y + 1));
    return static_cast<uint8_t>(kReverse[above] | ((middle & 4u) << 1) | ((middle & 1u) << 4) |
                                (kReverse[below] << 5));
  }
  uint8_t code = 0;
  for (const Offset& offset : kStepOrder) {
    if (raster.bitAtChecked(x + offset.dx, y + offset.dy)) code |= offset.direction;
  }
  return code;
}

// The step order is the order of the direction bits, so the first ink
// neighbour is the lowest bit of the neighbour code.
inline uint8_t StepInline(const raster::CRaster& raster, int& x, int& y) {
  const uint8_t code = NeighbourCodeAt(raster, x, y);
  if (code == 0) return 0;
  const Offset& offset = kStepOrder[std::countr_zero(static_cast<unsigned>(code))];
  x += offset.dx;
  y += offset.dy;
  return offset.direction;
}

// One walk away from the start pixel, forwards (points appended) or
// backwards (points put at the front). In the forward walk of a start that
// touches a junction, the point behind the start goes to the front once the
// walk has taken its first step.
template <typename Put>
void WalkSteps(raster::CRaster& skeleton, const raster::CRaster& junctions, TracePath& path, int startX, int startY,
               bool startTouchesJunction, const Put& put) {
  int cx = startX;
  int cy = startY;
  int px = startX;
  int py = startY;
  uint8_t lastDirection = 0;
  bool moved = false;
  for (;;) {
    const uint8_t direction = StepInline(skeleton, cx, cy);
    if (direction == 0) {
      if (!moved) return;
      put(px, py);
      int jx = cx;
      int jy = cy;
      if (StepInline(junctions, jx, jy) != 0) put(jx, jy);
      return;
    }
    if (!moved) {
      put(cx, cy);
      lastDirection = direction;
      if (startTouchesJunction) {
        const Offset offset = OffsetOf(direction);
        path.pushFront(startX - offset.dx, startY - offset.dy);
      }
      moved = true;
    } else if (direction != lastDirection) {
      put(px, py);
      lastDirection = direction;
    }
    px = cx;
    py = cy;
    skeleton.setBit(cx, cy, false);
    int jx = cx;
    int jy = cy;
    const uint8_t junctionDirection = StepInline(junctions, jx, jy);
    if (junctionDirection != 0) {
      if (junctionDirection != lastDirection) put(cx, cy);
      put(jx, jy);
      return;
    }
  }
}

// Reused by every path of one stage, so that tracing a speck allocates nothing.
struct Scratch {
  TracePath path;
  std::vector<TracePoint> behind;
};

void Walk(raster::CRaster& skeleton, const raster::CRaster& junctions, Scratch& scratch, int startX, int startY,
          bool backwards, bool startTouchesJunction) {
  TracePath& path = scratch.path;
  if (!backwards) {
    WalkSteps(skeleton, junctions, path, startX, startY, startTouchesJunction,
              [&path](int x, int y) { path.pushBack(x, y); });
    return;
  }
  // Collected in walking order, then put in front in one go.
  std::vector<TracePoint>& behind = scratch.behind;
  behind.clear();
  WalkSteps(skeleton, junctions, path, startX, startY, startTouchesJunction, [&behind](int x, int y) {
    behind.push_back(TracePoint{static_cast<double>(x), static_cast<double>(y), 0});
  });
  path.points.insert(path.points.begin(), behind.rbegin(), behind.rend());
}

// Traces the chain through (x0, y0) into the scratch path; it joins the list
// (with storage of its exact size) unless it is too short or `drop` rejects it.
void TraceFrom(raster::CRaster& skeleton, const raster::CRaster& junctions, TracePathList& paths, int x0, int y0,
               Scratch& scratch, const PathFilter* drop, bool keepLonePixels) {
  TracePath& path = scratch.path;
  path.points.clear();
  int jx = x0;
  int jy = y0;
  const bool touchesJunction = StepInline(junctions, jx, jy) != 0;
  path.pushBack(x0, y0);
  skeleton.setBit(x0, y0, false);
  Walk(skeleton, junctions, scratch, x0, y0, false, touchesJunction);
  if (!touchesJunction) Walk(skeleton, junctions, scratch, x0, y0, true, false);
  if (path.size() < 2) {
    if (path.size() == 1 && !touchesJunction && keepLonePixels) paths.addLonePixel(x0, y0);
    return;
  }
  if (drop != nullptr && *drop && (*drop)(path)) return;
  paths.append().points.assign(path.points.begin(), path.points.end());
}

}  // namespace

uint8_t Step(const raster::CRaster& raster, int& x, int& y) { return StepInline(raster, x, y); }

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
  try {
    for (int y = 0; y < height; ++y) {
      current.clear();
      const uint8_t* above = y > 0 ? skeleton.row(y - 1) : zeroRow.data();
      const uint8_t* below = y + 1 < height ? skeleton.row(y + 1) : zeroRow.data();
      uint8_t* junctionRow = junctions.row(y);
      detail::ForEachInkPixel(above, skeleton.row(y), below, byteCount, [&](int x, unsigned window) {
        if (kJunctionWindow[window]) {
          junctionRow[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
          current.push_back(x);
        }
        return false;
      });
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
      TraceFrom(skeleton, junctions, paths, i * 8 + std::countl_zero(b), y, scratch, drop, keepLonePixels);
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
