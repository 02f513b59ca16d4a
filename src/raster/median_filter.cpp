#include "raster/median_filter.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
// Counts are bit-sliced (one word per bit of the count). Each row's count of
// ink among its n horizontal neighbours is made once, when the row enters the
// window; a window's count is the sum of its n rows' counts, the per-column
// counts of the vote kept in the other direction. The count is exact, so the
// vote is the same.

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

// Bits of the columns [first, last) within word w.
uint64_t ColumnMask(int w, int first, int last) {
  const int lo = std::max(first, 64 * w) - 64 * w;
  const int hi = std::min(last, 64 * w + 64) - 64 * w;
  if (lo >= hi) return 0;
  const uint64_t fromLo = ~uint64_t{0} >> lo;
  const uint64_t toHi = hi == 64 ? ~uint64_t{0} : ~(~uint64_t{0} >> hi);
  return fromLo & toHi;
}

// The cell dx columns right of every pixel of word w (dx may be negative).
inline uint64_t Shifted(const uint64_t* words, int w, int dx) {
  const uint64_t cur = words[w];
  if (dx == 0) return cur;
  if (dx > 0) return (cur << dx) | (words[w + 1] >> (64 - dx));
  return (cur >> -dx) | (words[w - 1] << (64 + dx));
}

// Sum and carry of three bit-sliced bits.
inline void FullAdd(uint64_t a, uint64_t b, uint64_t c, uint64_t& sum, uint64_t& carry) {
  const uint64_t ab = a ^ b;
  sum = ab ^ c;
  carry = (a & b) | (c & ab);
}

// One row of the window, N = 3 or 5: its words and, per word, the count of
// ink among the N cells centred on each pixel (kRowPlanes bits).
template <int N>
struct BinaryRow {
  static constexpr int kRowPlanes = N == 3 ? 2 : 3;
  std::vector<uint64_t> words;   // words + 2, zero at both ends
  std::vector<uint64_t> counts;  // kRowPlanes per word

  void load(const uint8_t* row, int usedBytes, int wordCount) {
    words[0] = 0;
    for (int w = 0; w < wordCount; ++w) words[static_cast<size_t>(w) + 1] = LoadWord(row + 8 * w, usedBytes - 8 * w);
    words[static_cast<size_t>(wordCount) + 1] = 0;
    const uint64_t* p = words.data();
    for (int w = 1; w <= wordCount; ++w) {
      uint64_t* c = counts.data() + static_cast<size_t>(kRowPlanes) * (w - 1);
      if constexpr (N == 3) {
        FullAdd(Shifted(p, w, -1), p[w], Shifted(p, w, 1), c[0], c[1]);
      } else {
        uint64_t s, c1, c2;
        FullAdd(Shifted(p, w, -2), Shifted(p, w, -1), p[w], s, c1);
        FullAdd(s, Shifted(p, w, 1), Shifted(p, w, 2), c[0], c2);
        c[1] = c1 ^ c2;
        c[2] = c1 & c2;
      }
    }
  }
};

// The pixels of word w whose window holds more than (N² - 1) / 2 ink cells.
template <int N>
uint64_t MajorityWord(const BinaryRow<N>* const* window, int w) {
  constexpr int kRowPlanes = BinaryRow<N>::kRowPlanes;
  constexpr int kLimit = (N * N - 1) / 2;
  constexpr int kPlanes = std::bit_width(static_cast<unsigned>(N * N));
  uint64_t planes[kPlanes] = {};
  for (int dy = 0; dy < N; ++dy) {
    const uint64_t* add = window[dy]->counts.data() + static_cast<size_t>(kRowPlanes) * w;
    uint64_t carry = 0;
    for (int p = 0; p < kPlanes; ++p) {
      const uint64_t b = p < kRowPlanes ? add[p] : 0;
      uint64_t sum;
      FullAdd(planes[p], b, carry, sum, carry);
      planes[p] = sum;
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
bool BinaryMedian(CRaster& raster, const CRaster& source, const CRaster& copy, RowProgress& report) {
  constexpr int r = (N - 1) / 2;
  const int width = raster.width();
  const int height = raster.height();
  if (width < N || height < N) return true;
  const int words = (width + 63) / 64;
  const int used = raster.usedRowBytes();
  std::vector<BinaryRow<N>> ring(N);
  for (BinaryRow<N>& row : ring) {
    row.words.resize(static_cast<size_t>(words) + 2);
    row.counts.resize(static_cast<size_t>(BinaryRow<N>::kRowPlanes) * words);
  }
  std::vector<uint64_t> interior(static_cast<size_t>(words));
  for (int w = 0; w < words; ++w) interior[static_cast<size_t>(w)] = ColumnMask(w, r, width - r);

  auto slot = [&](int y) -> BinaryRow<N>& { return ring[static_cast<size_t>(y % N)]; };
  for (int y = 0; y < N - 1; ++y) slot(y).load(source.row(y), used, words);
  const double step = 100.0 / (height - r);
  double running = 0.0;
  for (int y = r; y < height - r; ++y) {
    if (report.cancelled()) {
      RestoreRows(raster, copy, y);
      return false;
    }
    slot(y + r).load(source.row(y + r), used, words);
    const BinaryRow<N>* window[N];
    for (int dy = 0; dy < N; ++dy) window[dy] = &slot(y - r + dy);
    const uint64_t* own = window[r]->words.data();
    uint8_t* out = raster.row(y);
    for (int w = 0; w < words; ++w) {
      const uint64_t mask = interior[static_cast<size_t>(w)];
      const uint64_t value = (MajorityWord<N>(window, w) & mask) | (own[w + 1] & ~mask);
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

#ifdef __SSE2__
// Bytes have an unsigned minimum and maximum instruction; the generic form
// would compare them as signed bytes with the sign bit flipped.
inline void Exchange(Lanes<uint8_t>::Vector& a, Lanes<uint8_t>::Vector& b) {
  const __m128i x = reinterpret_cast<__m128i>(a), y = reinterpret_cast<__m128i>(b);
  a = reinterpret_cast<Lanes<uint8_t>::Vector>(_mm_min_epu8(x, y));
  b = reinterpret_cast<Lanes<uint8_t>::Vector>(_mm_max_epu8(x, y));
}
#endif

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
void ReadValues(const CRaster& source, int y, uint8_t* out) {
  std::memcpy(out, source.row(y), static_cast<size_t>(source.width()));
}

void ReadValues(const CRaster& source, int y, uint32_t* out) {
  const uint8_t* r = source.row(y);
  const int width = source.width();
  switch (source.bitCount()) {
    case 16:
      for (int x = 0; x < width; ++x) {
        const unsigned w = r[2 * x] | (r[2 * x + 1] << 8);
        out[x] = ColourKey((w << 3) & 0xFF, (w >> 2) & 0xF8, (w >> 7) & 0xF8);
      }
      break;
    default: {  // 24, 32
      const int step = source.bitCount() / 8;
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
bool ValueMedian(CRaster& raster, const CRaster& source, const CRaster& copy, RowProgress& report) {
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
  for (int y = 0; y < std::min(r, height); ++y) ReadValues(source, y, slot(y) + r);

  for (int y = 0; y < height; ++y) {
    if (report.cancelled()) {
      RestoreRows(raster, copy, y);
      return false;
    }
    if (y + r < height) ReadValues(source, y + r, slot(y + r) + r);
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
  // Rows are read into a window of rows held aside before they are
  // overwritten, so the filter can work in place. Only a run that may be
  // cancelled needs the whole original, to put back the rows it wrote.
  CRaster copy;
  if (report.cancellable() && !copy.cloneFrom(raster)) {
    report.setText(settings::Text("MFilterFail", "Median Filter Failed"));
    report.report(100, true);
    return false;
  }
  if (binary) {
    report.setText(settings::Text("MFilterStart", "Start Median Filter"));
    report.report(0, true);
  }
  report.setText(settings::Text("MFilterMsg", "Median Filter"));
  const CRaster& source = report.cancellable() ? copy : raster;

  bool done = false;
  try {
    if (binary)
      done = windowSize == 3 ? BinaryMedian<3>(raster, source, copy, report)
                             : BinaryMedian<5>(raster, source, copy, report);
    else if (grey)
      done = windowSize == 3 ? ValueMedian<uint8_t, 3>(raster, source, copy, report)
                             : ValueMedian<uint8_t, 5>(raster, source, copy, report);
    else
      done = windowSize == 3 ? ValueMedian<uint32_t, 3>(raster, source, copy, report)
                             : ValueMedian<uint32_t, 5>(raster, source, copy, report);
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
