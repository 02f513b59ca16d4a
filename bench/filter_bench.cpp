// Median filter and resample on a generated 14000 x 9900 sheet (an A0 drawing
// scanned at 340 dpi) as 8-bit grey and as 1-bit, with OpenCV's medianBlur and
// resize on the same pixels in the same run when OpenCV is found. The 1-bit
// sheet goes to OpenCV as 0/255 bytes (OpenCV has no packed 1-bit images), so
// its 3 x 3 median is the same majority vote.
//
// OpenCV runs on one thread, as the filters here do.
//
// Before timing, the grey medians are compared with cv::medianBlur on the
// pixels whose window lies inside the image (OpenCV replicates the border,
// this filter counts outside positions as black, so border pixels differ by
// design); the counter "interior_mismatch" must be 0.
//
// Run:
//   cmake --build <release-build> --target filter_bench
//   <release-build>/bench/filter_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "gen/sheet_generator.h"
#include "raster/median_filter.h"
#include "raster/raster.h"
#include "raster/resample.h"

#ifdef QUILLON_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using quillon::raster::CRaster;
using quillon::raster::ResampleFilter;

constexpr int kWidth = 14000, kHeight = 9900;

const CRaster& OneBitSheet() { return quillon::bench::SharedSheetRaster(kWidth, kHeight); }

// The sheet as a grey scan: dark ink, off-white paper with a faint texture
// and scanner noise.
const CRaster& GreySheet() {
  static CRaster grey;
  if (grey.empty()) {
    const CRaster& ink = OneBitSheet();
    if (!grey.create(kWidth, kHeight, 8)) std::abort();
    uint32_t noise = 12345;
    for (int y = 0; y < kHeight; ++y) {
      const uint8_t* in = ink.row(y);
      uint8_t* out = grey.row(y);
      for (int x = 0; x < kWidth; ++x) {
        noise = noise * 1664525u + 1013904223u;
        const int jitter = static_cast<int>(noise >> 28) - 8;
        const bool isInk = (in[x >> 3] & (0x80 >> (x & 7))) != 0;
        out[x] = static_cast<uint8_t>((isInk ? 40 : 226 + (x + y) % 23) + jitter);
      }
    }
  }
  return grey;
}

const CRaster& Source(int bits) { return bits == 1 ? OneBitSheet() : GreySheet(); }

void SetPixelCounters(benchmark::State& state) {
  state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(kWidth) * kHeight * state.iterations() / 1e6,
                                                   benchmark::Counter::kIsRate);
}

// Args: bits, window.
void BM_MedianFilter(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  const int window = static_cast<int>(state.range(1));
  CRaster image;
  if (!image.cloneFrom(Source(bits))) std::abort();
  // The work does not depend on the pixels, so the image is filtered again
  // and again; the working copy the filter takes is part of the time.
  for (auto _ : state) {
    if (!quillon::raster::MedianFilter(image, {}, window)) std::abort();
    benchmark::DoNotOptimize(image.row(0));
  }
  SetPixelCounters(state);
}
BENCHMARK(BM_MedianFilter)
    ->Args({8, 3})
    ->Args({8, 5})
    ->Args({1, 3})
    ->Args({1, 5})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Args: bits, filter, percent of the old size.
void BM_Resample(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  const auto filter = static_cast<ResampleFilter>(state.range(1));
  const int percent = static_cast<int>(state.range(2));
  CRaster image;
  for (auto _ : state) {
    state.PauseTiming();
    if (!image.cloneFrom(Source(bits))) std::abort();
    state.ResumeTiming();
    if (!quillon::raster::Resample(image, kWidth * percent / 100, kHeight * percent / 100, 7874, filter)) std::abort();
    benchmark::DoNotOptimize(image.row(0));
  }
  SetPixelCounters(state);
}
BENCHMARK(BM_Resample)
    ->Args({8, static_cast<int>(ResampleFilter::Triangle), 50})
    ->Args({8, static_cast<int>(ResampleFilter::Lanczos3), 50})
    ->Args({8, static_cast<int>(ResampleFilter::Triangle), 120})
    ->Args({1, static_cast<int>(ResampleFilter::Triangle), 50})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

#ifdef QUILLON_HAVE_OPENCV
// The same pixels as a continuous OpenCV matrix; 1-bit pixels as 0 (ink) or 255.
const cv::Mat& OpenCvSheet(int bits) {
  cv::setNumThreads(1);
  static cv::Mat grey, binary;
  cv::Mat& m = bits == 1 ? binary : grey;
  if (m.empty()) {
    const CRaster& source = Source(bits);
    m.create(kHeight, kWidth, CV_8UC1);
    for (int y = 0; y < kHeight; ++y) {
      uint8_t* out = m.ptr<uint8_t>(y);
      if (bits == 1) {
        for (int x = 0; x < kWidth; ++x) out[x] = source.bitAt(x, y) ? 0 : 255;
      } else {
        std::copy_n(source.row(y), kWidth, out);
      }
    }
  }
  return m;
}

// Pixels at least window / 2 from every edge that differ from cv::medianBlur.
long InteriorMismatches(int window) {
  CRaster ours;
  if (!ours.cloneFrom(GreySheet()) || !quillon::raster::MedianFilter(ours, {}, window)) std::abort();
  cv::Mat theirs;
  cv::medianBlur(OpenCvSheet(8), theirs, window);
  const int r = window / 2;
  long mismatches = 0;
  for (int y = r; y < kHeight - r; ++y) {
    const uint8_t* a = ours.row(y);
    const uint8_t* b = theirs.ptr<uint8_t>(y);
    for (int x = r; x < kWidth - r; ++x) mismatches += a[x] != b[x];
  }
  return mismatches;
}

void BM_OpenCvMedianBlur(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  const int window = static_cast<int>(state.range(1));
  const cv::Mat& source = OpenCvSheet(bits);
  if (bits == 8) state.counters["interior_mismatch"] = static_cast<double>(InteriorMismatches(window));
  cv::Mat out;
  for (auto _ : state) {
    cv::medianBlur(source, out, window);
    benchmark::DoNotOptimize(out.data);
  }
  SetPixelCounters(state);
}
BENCHMARK(BM_OpenCvMedianBlur)
    ->Args({8, 3})
    ->Args({8, 5})
    ->Args({1, 3})
    ->Args({1, 5})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Args: bits, interpolation, percent. Not the same arithmetic (OpenCV maps
// pixel centres and normalises its weights), but the same job.
void BM_OpenCvResize(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  const int interpolation = static_cast<int>(state.range(1));
  const int percent = static_cast<int>(state.range(2));
  const cv::Mat& source = OpenCvSheet(bits);
  cv::Mat out;
  for (auto _ : state) {
    cv::resize(source, out, cv::Size(kWidth * percent / 100, kHeight * percent / 100), 0, 0, interpolation);
    benchmark::DoNotOptimize(out.data);
  }
  SetPixelCounters(state);
}
BENCHMARK(BM_OpenCvResize)
    ->Args({8, cv::INTER_LINEAR, 50})
    ->Args({8, cv::INTER_AREA, 50})
    ->Args({8, cv::INTER_LANCZOS4, 50})
    ->Args({8, cv::INTER_LINEAR, 120})
    ->Args({1, cv::INTER_AREA, 50})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif

}  // namespace

BENCHMARK_MAIN();
