// Thinning and centre-line tracing on generated line-art sheets, with OpenCV's
// Zhang-Suen thinning (cv::ximgproc::thinning) on the same images in the same
// run. Run:
//   cmake --build <release-build> --target thinning_bench
//   <release-build>/bench/thinning_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// OpenCV on the 14000 x 9900 sheet takes minutes; it runs only when
// QUILLON_BENCH_OPENCV_LARGE=1 is set.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <memory>

#include "gen/sheet_generator.h"
#include "trace/centre_line.h"
#include "trace/thinning.h"
#include "trace/tracer.h"

#ifdef QUILLON_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/ximgproc.hpp>
#endif

namespace {

using quillon::bench::Sheet;
using quillon::bench::SheetSpec;

const SheetSpec kSizes[] = {{1000, 700}, {4000, 2800}, {14000, 9900}};

const Sheet& CachedSheet(int index) {
  static std::map<int, std::unique_ptr<Sheet>> sheets;
  auto& sheet = sheets[index];
  if (!sheet) {
    sheet = std::make_unique<Sheet>();
    if (!GenerateSheet(kSizes[index], *sheet)) std::abort();
  }
  return *sheet;
}

long InkPixels(const quillon::raster::CRaster& raster) {
  long count = 0;
  for (int y = 0; y < raster.height(); ++y) {
    const uint8_t* row = raster.row(y);
    for (int i = 0; i < raster.usedRowBytes(); ++i) count += __builtin_popcount(row[i]);
  }
  return count;
}

void SetSheetCounters(benchmark::State& state, const Sheet& sheet) {
  state.counters["ink_px"] = static_cast<double>(InkPixels(sheet.raster));
  state.counters["Mpx"] = sheet.raster.width() * static_cast<double>(sheet.raster.height()) / 1e6;
}

// Both thinning steps on a fresh copy of the sheet (the copy is not timed).
void BM_Thinning(benchmark::State& state) {
  const Sheet& sheet = CachedSheet(static_cast<int>(state.range(0)));
  const int threads = static_cast<int>(state.range(1));
  quillon::raster::CRaster work;
  for (auto _ : state) {
    state.PauseTiming();
    if (!work.cloneFrom(sheet.raster)) std::abort();
    state.ResumeTiming();
    quillon::trace::ThinFirstStep(work, nullptr, threads);
    quillon::trace::ThinSecondStep(work, nullptr);
  }
  SetSheetCounters(state, sheet);
  state.counters["skeleton_px"] = static_cast<double>(InkPixels(work));
}

// The whole centre-line operation of the tracer: copy, two thinning steps,
// junctions and chain tracing into paths.
void BM_ThinAndTrace(benchmark::State& state) {
  const Sheet& sheet = CachedSheet(static_cast<int>(state.range(0)));
  quillon::raster::CRaster source;
  if (!source.cloneFrom(sheet.raster)) std::abort();
  quillon::trace::CTracer tracer(source);
  for (auto _ : state) {
    if (!tracer.traceCentreLine(nullptr)) std::abort();
  }
  SetSheetCounters(state, sheet);
  state.counters["paths"] = static_cast<double>(tracer.paths().size());
}

#ifdef QUILLON_HAVE_OPENCV
void BM_OpenCVZhangSuen(benchmark::State& state) {
  const int index = static_cast<int>(state.range(0));
  const char* large = std::getenv("QUILLON_BENCH_OPENCV_LARGE");
  if (index == 2 && !(large && *large == '1')) {
    state.SkipWithError("14000x9900 skipped (set QUILLON_BENCH_OPENCV_LARGE=1)");
    for (auto _ : state) {
    }
    return;
  }
  const Sheet& sheet = CachedSheet(index);
  const quillon::raster::CRaster& raster = sheet.raster;
  cv::Mat image(raster.height(), raster.width(), CV_8UC1);
  for (int y = 0; y < raster.height(); ++y) {
    uint8_t* out = image.ptr<uint8_t>(y);
    for (int x = 0; x < raster.width(); ++x) out[x] = raster.bitAt(x, y) ? 255 : 0;
  }
  cv::Mat skeleton;
  for (auto _ : state) {
    cv::ximgproc::thinning(image, skeleton, cv::ximgproc::THINNING_ZHANGSUEN);
  }
  SetSheetCounters(state, sheet);
  state.counters["skeleton_px"] = static_cast<double>(cv::countNonZero(skeleton));
}
BENCHMARK(BM_OpenCVZhangSuen)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);
#endif

BENCHMARK(BM_Thinning)
    ->ArgNames({"sheet", "threads"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({2, 0})
    ->Args({2, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_ThinAndTrace)->ArgName("sheet")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
