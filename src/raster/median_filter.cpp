#include "raster/median_filter.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "raster/progress_throttle.h"
#include "settings/language_table.h"

namespace quillon::raster {

namespace {

using detail::RowProgress;

// Puts the rows [0, rows) of the copy back into the raster after a cancel.
void RestoreRows(CRaster& raster, const CRaster& copy, int rows) {
  for (int y = 0; y < rows; ++y) std::memcpy(raster.row(y), copy.row(y), static_cast<size_t>(raster.rowBytes()));
}

// ---------------------------------------------------------------------------
// 1-bit: majority vote, 64 pixels at a time. A row is held as 64-bit words,
// pixel x at bit 63 - (x & 63) of word x / 64 (the row's bit order), with a
// zero word at each end so that shifted neighbours can be read without tests.
// Each window cell is added into a bit-sliced counter (one word per bit of
// the count), which gives the exact count the per-column counts would.

uint64_t LoadWord(const uint8_t* bytes, int available) {
  uint64_t w = 0;
  std::memcpy(&w, bytes, static_cast<size_t>(std::min(available, 8)));
  if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
  return w;
}

void StoreWord(uint64_t w, uint8_t* bytes, int available) {
  if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
  std::memcpy(bytes, &w, static_cast<size_t>(std::min(available, 8)));
}

void RowToWords(const uint8_t* row, int usedBytes, int words, uint64_t* out) {
  out[0] = 0;
  for (int w = 0; w < words; ++w) out[w + 1] = LoadWord(row + 8 * w, usedBytes - 8 * w);
  out[words + 1] = 0;
}

// Bits of the columns [first, last) within word w.
uint64_t ColumnMask(int w, int first, int last) {
  const int lo = std::max(first, 64 * w) - 64 * w;
  const int hi = std::min(last, 64 * w + 64) - 64 * w;
  if (lo >= hi) return 0;
  const uint64_t fromLo = ~uint64_t{0} >> lo;
  const uint64_t toHi = hi == 64 ? ~uint64_t{0} : ~(~uint64_t{0} >> hi);
  return fromLo & toHi;
}

// The window cell dx columns right of every pixel of word w (dx may be negative).
inline uint64_t Shifted(const uint64_t* words, int w, int dx) {
  const uint64_t cur = words[w];
  if (dx == 0) return cur;
  if (dx > 0) return (cur << dx) | (words[w + 1] >> (64 - dx));
  return (cur >> -dx) | (words[w - 1] << (64 + dx));
}

// One output word: the pixels whose window holds more than Limit ink cells.
template <int N>
uint64_t MajorityWord(const uint64_t* const* window, int w) {
  constexpr int kCells = N * N;
  constexpr int kLimit = (kCells - 1) / 2;
  constexpr int kPlanes = std::bit_width(static_cast<unsigned>(kCells));
  constexpr int kRadius = (N - 1) / 2;
  uint64_t planes[kPlanes] = {};
  for (int dy = 0; dy < N; ++dy) {
    for (int dx = -kRadius; dx <= kRadius; ++dx) {
      uint64_t carry = Shifted(window[dy], w, dx);
      for (int p = 0; p < kPlanes; ++p) {
        const uint64_t next = planes[p] & carry;
        planes[p] ^= carry;
        carry = next;
      }
    }
  }
  // count > kLimit, bit-sliced from the top bit down.
  uint64_t greater = 0, equal = ~uint64_t{0};
  for (int p = kPlanes - 1; p >= 0; --p) {
    if ((kLimit >> p) & 1) {
      equal &= planes[p];
    } else {
      greater |= equal & planes[p];
      equal &= ~planes[p];
    }
  }
  return greater;
}

template <int N>
bool BinaryMedian(CRaster& raster, const CRaster& copy, RowProgress& report) {
  constexpr int r = (N - 1) / 2;
  const int width = raster.width();
  const int height = raster.height();
  if (width < N || height < N) return true;
  const int words = (width + 63) / 64;
  const int used = raster.usedRowBytes();
  const size_t stride = static_cast<size_t>(words) + 2;
  std::vector<uint64_t> ring(stride * N);
  std::vector<uint64_t> interior(static_cast<size_t>(words));
  for (int w = 0; w < words; ++w) interior[static_cast<size_t>(w)] = ColumnMask(w, r, width - r);

  // Ring slot of source row y.
  auto slot = [&](int y) { return ring.data() + stride * static_cast<size_t>(y % N); };
  for (int y = 0; y < N - 1; ++y) RowToWords(copy.row(y), used, words, slot(y));
  const double step = 100.0 / (height - r);
  double running = 0.0;
  for (int y = r; y < height - r; ++y) {
    if (report.cancelled()) {
      RestoreRows(raster, copy, y);
      return false;
    }
    RowToWords(copy.row(y + r), used, words, slot(y + r));
    const uint64_t* window[N];
    for (int dy = 0; dy < N; ++dy) window[dy] = slot(y - r + dy);
    const uint64_t* own = window[r];
    uint8_t* out = raster.row(y);
    for (int w = 0; w < words; ++w) {
      const uint64_t mask = interior[static_cast<size_t>(w)];
      const uint64_t value = (MajorityWord<N>(window, w + 1) & mask) | (own[w + 1] & ~mask);
      StoreWord(value, out + 8 * w, used - 8 * w);
    }
    const int before = static_cast<int>(running);
    running += step;
    if (static_cast<int>(running) != before) report.report(static_cast<int>(running));
  }
  return true;
}

// ---------------------------------------------------------------------------
// Grey and colour: the exchange network over vectors of neighbouring pixels,
// so one pass finds the medians of 16 grey or 4 colour pixels. Colours are
// compared as keys brightness << 24 | red << 16 | green << 8 | blue, which
// orders by brightness first; the key of black (outside the image) is 0.

template <class T>
struct Lanes {
  using Vector [[gnu::vector_size(16)]] = T;
  static constexpr int kCount = 16 / static_cast<int>(sizeof(T));
};

template <class V>
inline void Exchange(V& a, V& b) {
  const V lo = a < b ? a : b;
  const V hi = a < b ? b : a;
  a = lo;
  b = hi;
}

template <class V, const auto& Network, size_t... I>
inline void RunNetwork(V* p, std::index_sequence<I...>) {
  (Exchange(p[Network[I].first], p[Network[I].second]), ...);
}

template <class V, int N>
inline V MedianOf(V* p) {
  if constexpr (N == 3) {
    RunNetwork<V, detail::kMedian9Network>(p, std::make_index_sequence<detail::kMedian9Network.size()>{});
    return p[4];
  } else {
    RunNetwork<V, detail::kMedian25Network>(p, std::make_index_sequence<detail::kMedian25Network.size()>{});
    return p[12];
  }
}

inline uint32_t ColourKey(unsigned blue, unsigned green, unsigned red) {
  const unsigned brightness = (30 * red + 59 * green + 11 * blue) / 100;
  return (brightness << 24) | (red << 16) | (green << 8) | blue;
}

// Values of source row y into a padded line (zeros outside the image).
void ReadValues(const CRaster& copy, int y, uint8_t* out) {
  std::memcpy(out, copy.row(y), static_cast<size_t>(copy.width()));
}

void ReadValues(const CRaster& copy, int y, uint32_t* out) {
  const uint8_t* r = copy.row(y);
  const int width = copy.width();
  switch (copy.bitCount()) {
    case 16:
      for (int x = 0; x < width; ++x) {
        const unsigned w = r[2 * x] | (r[2 * x + 1] << 8);
        out[x] = ColourKey((w << 3) & 0xFF, (w >> 2) & 0xF8, (w >> 7) & 0xF8);
      }
      break;
    default: {  // 24, 32
      const int step = copy.bitCount() / 8;
      for (int x = 0; x < width; ++x, r += step) out[x] = ColourKey(r[0], r[1], r[2]);
      break;
    }
  }
}

void WriteValues(const uint8_t* values, int width, int /*bitCount*/, uint8_t* out) {
  std::memcpy(out, values, static_cast<size_t>(width));
}

void WriteValues(const uint32_t* values, int width, int bitCount, uint8_t* out) {
  for (int x = 0; x < width; ++x) {
    const uint32_t k = values[x];
    const unsigned red = (k >> 16) & 0xFF, green = (k >> 8) & 0xFF, blue = k & 0xFF;
    if (bitCount == 16) {
      const unsigned w = ((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3);
      out[2 * x] = static_cast<uint8_t>(w & 0xFF);
      out[2 * x + 1] = static_cast<uint8_t>(w >> 8);
    } else {
      uint8_t* p = out + (bitCount / 8) * x;  // a 32-bit pixel keeps its fourth byte
      p[0] = static_cast<uint8_t>(blue);
      p[1] = static_cast<uint8_t>(green);
      p[2] = static_cast<uint8_t>(red);
    }
  }
}

template <class T, int N>
bool ValueMedian(CRaster& raster, const CRaster& copy, RowProgress& report) {
  using V = typename Lanes<T>::Vector;
  constexpr int kLanes = Lanes<T>::kCount;
  constexpr int r = N / 2;
  const int width = raster.width();
  const int height = raster.height();
  // Each padded line: r zeros, the row, then zeros enough for whole-vector
  // reads past the last pixel.
  const size_t stride = static_cast<size_t>(width) + 2 * r + 2 * kLanes;
  std::vector<T> ring, zeros, medians;
  try {
    ring.assign(stride * N, T{0});
    zeros.assign(stride, T{0});
    medians.assign(static_cast<size_t>(width) + kLanes, T{0});
  } catch (const std::bad_alloc&) {
    return false;
  }
  auto slot = [&](int y) { return ring.data() + stride * static_cast<size_t>(y % N); };
  auto line = [&](int y) -> const T* { return y < 0 || y >= height ? zeros.data() : slot(y); };
  for (int y = 0; y < std::min(r, height); ++y) ReadValues(copy, y, slot(y) + r);

  for (int y = 0; y < height; ++y) {
    if (report.cancelled()) {
      RestoreRows(raster, copy, y);
      return false;
    }
    if (y + r < height) ReadValues(copy, y + r, slot(y + r) + r);
    const T* rows[N];
    for (int dy = 0; dy < N; ++dy) rows[dy] = line(y - r + dy);
    for (int x = 0; x < width; x += kLanes) {
      V cells[N * N];
      for (int dy = 0; dy < N; ++dy)
        for (int dx = 0; dx < N; ++dx) std::memcpy(&cells[dy * N + dx], rows[dy] + x + dx, sizeof(V));
      const V m = MedianOf<V, N>(cells);
      std::memcpy(medians.data() + x, &m, sizeof(V));
    }
    WriteValues(medians.data(), width, raster.bitCount(), raster.row(y));
    report.report(static_cast<int>(int64_t{y} * 100 / height));
  }
  return true;
}

}  // namespace

BinaryMedianSettings BinaryMedianFor(int windowSize) {
  const int cells = windowSize * windowSize;
  return {static_cast<uint8_t>(cells), static_cast<uint8_t>((cells - 1) / 2), static_cast<uint8_t>(windowSize),
          static_cast<uint8_t>(windowSize)};
}

bool MedianFilter(CRaster& raster, const platform::ProgressCallback& progress, int windowSize,
                  const platform::CancelFlag* cancel) {
  if (raster.empty() || (windowSize != 3 && windowSize != 5)) return false;
  const int bits = raster.bitCount();
  const bool binary = bits == 1;
  const bool colour = bits == 16 || bits == 24 || bits == 32;
  const bool grey = bits == 8 && raster.isGreyPalette();
  if (!binary && !colour && !grey) return false;

  std::string init = settings::Text("MFilterInit", "Init Median filter...");
  if (binary) init += windowSize == 3 ? " [3,3]" : " [5,5]";
  RowProgress report(progress, init, cancel);
  report.report(0, true);
  CRaster copy;
  if (!copy.cloneFrom(raster)) {
    report.setText(settings::Text("MFilterFail", "Median Filter Failed"));
    report.report(100, true);
    return false;
  }
  if (binary) {
    report.setText(settings::Text("MFilterStart", "Start Median Filter"));
    report.report(0, true);
  }
  report.setText(settings::Text("MFilterMsg", "Median Filter"));

  bool done = false;
  try {
    if (binary)
      done = windowSize == 3 ? BinaryMedian<3>(raster, copy, report)
                             : BinaryMedian<5>(raster, copy, report);
    else if (grey)
      done = windowSize == 3 ? ValueMedian<uint8_t, 3>(raster, copy, report)
                             : ValueMedian<uint8_t, 5>(raster, copy, report);
    else
      done = windowSize == 3 ? ValueMedian<uint32_t, 3>(raster, copy, report)
                             : ValueMedian<uint32_t, 5>(raster, copy, report);
  } catch (const std::bad_alloc&) {
    done = false;
  }
  if (!done) {
    // A cancelled run has restored the rows it wrote; an allocation failure
    // happens before any row is written.
    if (!report.cancelled()) {
      report.setText(settings::Text("MFilterFail", "Median Filter Failed"));
      report.report(100, true);
    }
    return false;
  }
  if (binary) raster.setThinned(false);
  // The pixels changed, so a cached histogram no longer describes them.
  raster.invalidateHistogram();
  raster.setChanged(true);
  report.setText(settings::Text("MFilterFinish", "Median Filter Finish"));
  report.report(100, true);
  return true;
}

}  // namespace quillon::raster
