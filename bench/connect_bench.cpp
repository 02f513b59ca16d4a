// The connect stage on the polylines of generated sheets: centre-line trace,
// polyline generation and width measurement once per sheet, then connect on
// a fresh copy of those polylines per iteration (the copy is not timed).
// Run:
//   cmake --build <release-build> --target connect_bench
//   <release-build>/bench/connect_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// The dense A0 sheet (14000 x 9900, density 2.4, about 35 % ink) takes a
// while to prepare; it runs only when QUILLON_BENCH_LARGE=1 is set.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <map>
#include <memory>

#include "gen/sheet_generator.h"
#include "model/graph.h"
#include "model/polyline.h"
#include "postprocess/connect.h"
#include "postprocess/line_width.h"
#include "settings/trace_option.h"
#include "trace/polyline_generation.h"
#include "trace/tracer.h"

namespace {

using namespace quillon;

struct Prepared {
  model::CGraph drawing;  // holds the measured polylines in its current layer
  size_t polylines = 0;
};

const bench::SheetSpec kSheets[] = {
    {4000, 2800, 20261209, 1.0},
    {4000, 2800, 20261209, 2.4},
    {14000, 9900, 20261209, 2.4},
};

const Prepared& PreparedSheet(int index) {
  static std::map<int, std::unique_ptr<Prepared>> cache;
  std::unique_ptr<Prepared>& prepared = cache[index];
  if (prepared) return *prepared;
  prepared = std::make_unique<Prepared>();
  bench::Sheet sheet;
  if (!bench::GenerateSheet(kSheets[index], sheet)) std::abort();
  model::CGraph& drawing = prepared->drawing;
  if (!drawing.raster().cloneFrom(sheet.raster)) std::abort();
  drawing.clearForTrace();
  const settings::TraceOption options;
  trace::CTracer tracer(drawing.raster());
  if (!tracer.traceCentreLine(nullptr)) std::abort();
  if (trace::generatePolylines(tracer.paths(), drawing, options, nullptr, nullptr) != 0) std::abort();
  if (!postprocess::calculateWidthsLayer(*drawing.currentLayer(), drawing.raster(), false, nullptr)) std::abort();
  prepared->polylines = drawing.currentLayer()->count();
  return *prepared;
}

void BM_Connect(benchmark::State& state) {
  const int index = static_cast<int>(state.range(0));
  if (index == 2 && std::getenv("QUILLON_BENCH_LARGE") == nullptr) {
    state.SkipWithError("set QUILLON_BENCH_LARGE=1 for the A0 sheet");
    return;
  }
  const Prepared& prepared = PreparedSheet(index);
  const settings::TraceOption options;
  postprocess::EndIndex ends;
  size_t after = 0;
  for (auto _ : state) {
    state.PauseTiming();
    model::CLayer layer;
    for (const auto& e : *prepared.drawing.currentLayer()) layer.append(e->clone());
    state.ResumeTiming();
    if (!postprocess::connectLayer(layer, options.i_ConDis, nullptr, &ends)) std::abort();
    after = layer.count();
    state.PauseTiming();
    layer.clear();
    state.ResumeTiming();
  }
  state.counters["polylines_in"] = static_cast<double>(prepared.polylines);
  state.counters["polylines_out"] = static_cast<double>(after);
}

}  // namespace

BENCHMARK(BM_Connect)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
