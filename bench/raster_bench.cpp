// Histogram and conversion to 1-bit on a generated 14000 x 9900 sheet (an A0
// drawing scanned at 340 dpi) as 24-bit colour, 8-bit grey and 1-bit, with
// OpenCV's grey conversion, threshold and histogram on the same pixels in the
// same run when OpenCV is found. Run:
//   cmake --build <release-build> --target raster_bench
//   <release-build>/bench/raster_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>

#include <cstdlib>

#include "gen/sheet_generator.h"
#include "raster/raster.h"

#ifdef QUILLON_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using quillon::raster::CRaster;
using quillon::raster::Histogram;

constexpr int kWidth = 14000, kHeight = 9900;

// The generated 1-bit sheet, made once.
const CRaster& OneBitSheet() { return quillon::bench::SharedSheetRaster(kWidth, kHeight); }

// The sheet as a scan: ink dark blue-grey, paper off-white with a faint
// diagonal texture so that the histogram has more than two levels.
const CRaster& ColourSheet(int bits) {
  static CRaster colour24, grey8;
  CRaster& target = bits == 24 ? colour24 : grey8;
  if (target.empty()) {
    const CRaster& ink = OneBitSheet();
    if (!target.create(kWidth, kHeight, bits)) std::abort();
    for (int y = 0; y < kHeight; ++y) {
      const uint8_t* in = ink.row(y);
      uint8_t* out = target.row(y);
      for (int x = 0; x < kWidth; ++x) {
        const bool isInk = (in[x >> 3] & (0x80 >> (x & 7))) != 0;
        const int paper = 226 + ((x + y) % 23);
        if (bits == 24) {
          out[3 * x] = static_cast<uint8_t>(isInk ? 70 : paper - 6);
          out[3 * x + 1] = static_cast<uint8_t>(isInk ? 40 : paper);
          out[3 * x + 2] = static_cast<uint8_t>(isInk ? 30 : paper + 4);
        } else {
          out[x] = static_cast<uint8_t>(isInk ? 38 : paper);
        }
      }
    }
  }
  return target;
}

void SetPixelCounters(benchmark::State& state) {
  state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(kWidth) * kHeight * state.iterations() / 1e6,
                                                   benchmark::Counter::kIsRate);
}

void BM_Histogram(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  CRaster image;
  if (!image.cloneFrom(bits == 1 ? OneBitSheet() : ColourSheet(bits))) std::abort();
  Histogram h;
  for (auto _ : state) {
    image.invalidateHistogram();
    image.histogram(h);
    benchmark::DoNotOptimize(h);
  }
  SetPixelCounters(state);
}
BENCHMARK(BM_Histogram)->Arg(24)->Arg(8)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ConvertTo1Bit(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  const CRaster& source = bits == 1 ? OneBitSheet() : ColourSheet(bits);
  CRaster image;
  if (!image.cloneFrom(source)) std::abort();
  for (auto _ : state) {
    // A 1-bit image is left as it is; others need a fresh copy each time.
    if (bits != 1) {
      state.PauseTiming();
      if (!image.cloneFrom(source)) std::abort();
      state.ResumeTiming();
    }
    // Conversion only: the histogram is the benchmark above.
    if (!image.convertTo1Bit(160)) std::abort();
    benchmark::DoNotOptimize(image.row(0));
  }
  SetPixelCounters(state);
}
BENCHMARK(BM_ConvertTo1Bit)
    ->Arg(24)
    ->Arg(8)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The preview path reads every pixel of a 1-bit image through the row table.
void BM_CropTo1BitWhole(benchmark::State& state) {
  const CRaster& source = OneBitSheet();
  CRaster target;
  for (auto _ : state) {
    if (!source.cropTo1Bit(target, 0, 0, kWidth, kHeight, 1.0, 128)) std::abort();
    benchmark::DoNotOptimize(target.row(0));
  }
  SetPixelCounters(state);
}
BENCHMARK(BM_CropTo1BitWhole)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef QUILLON_HAVE_OPENCV
// The same pixels as a continuous OpenCV matrix (top-down, BGR).
const cv::Mat& OpenCvSheet() {
  static const cv::Mat mat = [] {
    const CRaster& source = ColourSheet(24);
    cv::Mat m(kHeight, kWidth, CV_8UC3);
    for (int y = 0; y < kHeight; ++y) std::copy_n(source.row(y), 3 * kWidth, m.ptr<uint8_t>(y));
    return m;
  }();
  return mat;
}

void BM_OpenCvGreyThreshold(benchmark::State& state) {
  const cv::Mat& colour = OpenCvSheet();
  cv::Mat grey, binary;
  for (auto _ : state) {
    cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
    cv::threshold(grey, binary, 160, 255, cv::THRESH_BINARY_INV);
    benchmark::DoNotOptimize(binary.data);
  }
  SetPixelCounters(state);
}
BENCHMARK(BM_OpenCvGreyThreshold)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenCvGreyHistogram(benchmark::State& state) {
  const cv::Mat& colour = OpenCvSheet();
  cv::Mat grey, hist;
  const int channels[] = {0};
  const int size[] = {256};
  const float range[] = {0, 256};
  const float* ranges[] = {range};
  for (auto _ : state) {
    cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
    cv::calcHist(&grey, 1, channels, cv::Mat(), hist, 1, size, ranges);
    benchmark::DoNotOptimize(hist.data);
  }
  SetPixelCounters(state);
}
BENCHMARK(BM_OpenCvGreyHistogram)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

}  // namespace

BENCHMARK_MAIN();
