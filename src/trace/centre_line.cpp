#include "trace/centre_line.h"

#include <bit>
#include <cstring>
#include <memory>
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

std::array<bool, 512> MakeJunctionWindowTable() {
  std::array<bool, 512> table{};
  for (unsigned w = 0; w < 512; ++w) table[w] = (w & (1u << 4)) && JunctionTable[detail::WindowToCode(w)];
  return table;
}

// One walk away from the start pixel, forwards (points appended) or
// backwards (points put at the front). In the forward walk of a start that
// touches a junction, the point behind the start goes to the front once the
// walk has taken its first step.
void Walk(raster::CRaster& skeleton, const raster::CRaster& junctions, TracePath& path, int startX, int startY,
          bool backwards, bool startTouchesJunction) {
  const auto put = [&path, backwards](int x, int y) {
    if (backwards) {
      path.pushFront(x, y);
    } else {
      path.pushBack(x, y);
    }
  };
  int cx = startX;
  int cy = startY;
  int px = startX;
  int py = startY;
  uint8_t lastDirection = 0;
  bool moved = false;
  for (;;) {
    const uint8_t direction = Step(skeleton, cx, cy);
    if (direction == 0) {
      if (!moved) return;
      put(px, py);
      int jx = cx;
      int jy = cy;
      if (Step(junctions, jx, jy) != 0) put(jx, jy);
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
    const uint8_t junctionDirection = Step(junctions, jx, jy);
    if (junctionDirection != 0) {
      if (junctionDirection != lastDirection) put(cx, cy);
      put(jx, jy);
      return;
    }
  }
}

void TraceFrom(raster::CRaster& skeleton, const raster::CRaster& junctions, TracePathList& paths, int x0, int y0) {
  TracePath& path = paths.append();
  int jx = x0;
  int jy = y0;
  const bool touchesJunction = Step(junctions, jx, jy) != 0;
  path.pushBack(x0, y0);
  skeleton.setBit(x0, y0, false);
  Walk(skeleton, junctions, path, x0, y0, false, touchesJunction);
  if (!touchesJunction) Walk(skeleton, junctions, path, x0, y0, true, false);
  if (path.size() < 2) paths.removeLast();
}

}  // namespace

uint8_t Step(const raster::CRaster& raster, int& x, int& y) {
  const int width = raster.width();
  const int height = raster.height();
  for (const Offset& offset : kStepOrder) {
    const int nx = x + offset.dx;
    const int ny = y + offset.dy;
    if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
    if (raster.bitAt(nx, ny)) {
      x = nx;
      y = ny;
      return offset.direction;
    }
  }
  return 0;
}

bool TraceCentreInitialise(raster::CRaster& skeleton, raster::CRaster& junctions, platform::ProgressSink* sink) {
  const StageReporter reporter(sink);
  reporter.begin("ProcessTraceCenterInit");
  std::unique_ptr<detail::RowWindow> window;
  try {
    window = std::make_unique<detail::RowWindow>(skeleton.width());
  } catch (const std::bad_alloc&) {
    reporter.finished(kTraceError);
    return false;
  }
  static const std::array<bool, 512> junctionWindow = MakeJunctionWindowTable();
  const int height = skeleton.height();
  int lastPercent = -1;
  for (int y = 0; y < height; ++y) {
    // The window keeps row y-1 as unpacked before its junctions were cleared,
    // so every pixel is classified against the skeleton as it began.
    window->centreOn(skeleton, y);
    const uint8_t* p = window->prev->px();
    const uint8_t* c = window->cur->px();
    const uint8_t* n = window->next->px();
    const std::vector<int>& runs = window->cur->runs();
    for (std::size_t r = 0; r + 1 < runs.size(); r += 2) {
      const int start = runs[r];
      const int end = runs[r + 1];
      unsigned w = detail::ColumnBits(p, c, n, start - 1) | (detail::ColumnBits(p, c, n, start) << 3);
      for (int x = start; x < end; ++x) {
        w |= detail::ColumnBits(p, c, n, x + 1) << 6;
        if (junctionWindow[w]) {
          junctions.setBit(x, y, true);
          skeleton.setBit(x, y, false);
        }
        w >>= 3;
      }
    }
    if (reporter.cancelled()) {
      reporter.finished(kTraceUserStop);
      return false;
    }
    const int percent = static_cast<int>(static_cast<long long>(y) * 100 / height);
    if (percent > lastPercent) {
      reporter.progress(percent);
      lastPercent = percent;
    }
  }
  reporter.end();
  return true;
}

bool TraceCentreLine(raster::CRaster& skeleton, const raster::CRaster& junctions, TracePathList& paths,
                     platform::ProgressSink* sink) {
  const StageReporter reporter(sink);
  reporter.begin("ProcessTraceCenterLine");
  const int width = skeleton.width();
  const int height = skeleton.height();
  const int byteCount = (width + 7) >> 3;
  const uint8_t lastMask = (width & 7) ? static_cast<uint8_t>(0xFF << (8 - (width & 7))) : uint8_t{0xFF};
  int lastPercent = 0;
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
      TraceFrom(skeleton, junctions, paths, i * 8 + std::countl_zero(b), y);
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
