#include "editor/raster_paint.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "editor/document.h"

namespace quillon::editor {

namespace {

// The byte range [first, last] holding the pixels [c0, c1] at that depth.
std::pair<int, int> byteRange(int c0, int c1, int bitCount) {
  const long first = static_cast<long>(c0) * bitCount / 8;
  const long last = (static_cast<long>(c1) * bitCount + bitCount - 1) / 8;
  return {static_cast<int>(first), static_cast<int>(last)};
}

// Sorted, merged copies of inclusive ranges; ranges that touch merge too.
std::vector<std::pair<int, int>> merged(std::vector<std::pair<int, int>> ranges) {
  std::sort(ranges.begin(), ranges.end());
  std::vector<std::pair<int, int>> out;
  for (const auto& r : ranges) {
    if (!out.empty() && r.first <= out.back().second + 1) out.back().second = std::max(out.back().second, r.second);
    else out.push_back(r);
  }
  return out;
}

}  // namespace

PaintColour PaintColour::background(const raster::CRaster& raster) {
  const auto& bg = raster.backgroundColour();
  PaintColour c;
  c.index = raster.bitCount() == 1 ? 0 : bg[0];
  c.blue = bg[0];
  c.green = bg[1];
  c.red = bg[2];
  if (raster.bitCount() > 8) c.blue = c.green = c.red = 255;
  return c;
}

PaintColour PaintColour::fill(const raster::CRaster& raster, const Rgb& colour) {
  PaintColour c;
  c.blue = colour.blue;
  c.green = colour.green;
  c.red = colour.red;
  if (raster.bitCount() == 1) {
    // Dark colours paint ink, light ones background, as for every 1-bit write.
    const int brightness = static_cast<int>(0.587 * colour.green + 0.299 * colour.red + 0.114 * colour.blue);
    c.index = brightness < 128 ? 1 : 0;
  } else if (raster.palette() != nullptr) {
    // The nearest palette entry by the weighted distance the background uses.
    long best = std::numeric_limits<long>::max();
    for (int i = 0; i < raster.paletteSize(); ++i) {
      const uint8_t* e = raster.palette() + 4 * i;
      const long db = e[0] - colour.blue;
      const long dg = e[1] - colour.green;
      const long dr = e[2] - colour.red;
      const long d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
      if (d < best) {
        best = d;
        c.index = i;
      }
    }
  }
  return c;
}

// --- the undo entry -------------------------------------------------------------------------

PixelRunsEntry::PixelRunsEntry(std::string name, raster::CRaster& target, std::vector<Run> runs)
    : RasterUndoEntry(std::move(name), target), runs_(std::move(runs)) {}

uint64_t PixelRunsEntry::memoryBytes() const {
  uint64_t total = 0;
  for (const Run& run : runs_) total += run.bytes.size() + sizeof(Run);
  return total;
}

void PixelRunsEntry::exchange() {
  raster::CRaster& raster = target();
  for (Run& run : runs_) {
    // A run that no longer fits (the raster changed size outside the undo
    // order) is left alone rather than written out of bounds.
    if (run.row < 0 || run.row >= raster.height()) continue;
    if (run.firstByte < 0 || run.firstByte + static_cast<int>(run.bytes.size()) > raster.usedRowBytes()) continue;
    std::swap_ranges(run.bytes.begin(), run.bytes.end(), raster.row(run.row) + run.firstByte);
  }
  raster.invalidateHistogram();
  raster.setChanged(true);
}

// --- the painter ----------------------------------------------------------------------------

void PixelPainter::paintSpan(int row, int first, int last) {
  if (row < 0 || row >= raster_.height()) return;
  first = std::max(first, 0);
  last = std::min(last, raster_.width() - 1);
  if (first > last) return;
  RowRecord& record = rows_[row];
  if (record.original.empty()) {
    const uint8_t* bytes = raster_.row(row);
    record.original.assign(bytes, bytes + raster_.usedRowBytes());
  }
  record.spans.emplace_back(first, last);
  const int bits = raster_.bitCount();
  for (int x = first; x <= last; ++x) {
    if (bits == 1) raster_.setBit(x, row, colour_.index != 0);
    else if (bits <= 8) raster_.setIndex(x, row, colour_.index);
    else raster_.setColour(x, row, colour_.blue, colour_.green, colour_.red);
  }
  raster_.invalidateHistogram();
  raster_.setChanged(true);
}

void PixelPainter::paintSquare(int column, int row, int half) {
  for (int r = row - half; r <= row + half; ++r) paintSpan(r, column - half, column + half);
}

void PixelPainter::paintLine(int c0, int r0, int c1, int r1) {
  // Bresenham, both ends included.
  const int dc = std::abs(c1 - c0);
  const int dr = -std::abs(r1 - r0);
  const int sc = c0 < c1 ? 1 : -1;
  const int sr = r0 < r1 ? 1 : -1;
  int error = dc + dr;
  for (;;) {
    paintSpan(r0, c0, c0);
    if (c0 == c1 && r0 == r1) break;
    const int e2 = 2 * error;
    if (e2 >= dr) {
      error += dr;
      c0 += sc;
    }
    if (e2 <= dc) {
      error += dc;
      r0 += sr;
    }
  }
}

void PixelPainter::paintPolygon(std::span<const std::pair<int, int>> points) {
  if (points.empty()) return;
  int top = points[0].second;
  int bottom = points[0].second;
  for (const auto& p : points) {
    top = std::min(top, p.second);
    bottom = std::max(bottom, p.second);
  }
  top = std::max(top, 0);
  bottom = std::min(bottom, raster_.height() - 1);
  const std::size_t n = points.size();
  std::vector<double> crossings;
  for (int r = top; r <= bottom; ++r) {
    crossings.clear();
    for (std::size_t i = 0; i < n; ++i) {
      const auto& a = points[i];
      const auto& b = points[(i + 1) % n];
      if (a.second == b.second) continue;
      // Half-open in y, so a vertex shared by two edges counts once.
      if (r < std::min(a.second, b.second) || r >= std::max(a.second, b.second)) continue;
      crossings.push_back(a.first + static_cast<double>(r - a.second) * (b.first - a.first) / (b.second - a.second));
    }
    std::sort(crossings.begin(), crossings.end());
    for (std::size_t i = 0; i + 1 < crossings.size(); i += 2) {
      paintSpan(r, static_cast<int>(std::ceil(crossings[i])), static_cast<int>(std::floor(crossings[i + 1])));
    }
  }
  // The outline belongs to the region too (the bottom row and horizontal
  // edges are not reached by the half-open sampling).
  for (std::size_t i = 0; i < n; ++i) {
    const auto& a = points[i];
    const auto& b = points[(i + 1) % n];
    paintLine(a.first, a.second, b.first, b.second);
  }
}

std::unique_ptr<PixelRunsEntry> PixelPainter::finish(std::string name) {
  if (rows_.empty()) return nullptr;
  std::vector<PixelRunsEntry::Run> runs;
  const int bits = raster_.bitCount();
  for (auto& [row, record] : rows_) {
    std::vector<std::pair<int, int>> bytes;
    for (const auto& span : merged(std::move(record.spans))) bytes.push_back(byteRange(span.first, span.second, bits));
    for (const auto& range : merged(std::move(bytes))) {
      PixelRunsEntry::Run run;
      run.row = row;
      run.firstByte = range.first;
      run.bytes.assign(record.original.begin() + range.first, record.original.begin() + range.second + 1);
      runs.push_back(std::move(run));
    }
  }
  rows_.clear();
  return std::make_unique<PixelRunsEntry>(std::move(name), raster_, std::move(runs));
}

}  // namespace quillon::editor
