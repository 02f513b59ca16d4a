// The DXF reader on generated files held in memory: 2 million LINEs spread
// over 100 000 layers (each entity on another layer than the one before it,
// so every lookup is by name), the same lines on one layer for comparison,
// and a block of 100 entities placed 10 000 times by INSERT.
// Run:
//   cmake --build <release-build> --target dxf_read_bench
//   <release-build>/bench/dxf_read_bench --benchmark_min_time=1x

#include <benchmark/benchmark.h>

#include <string>

#include "formats/dxf_reader/dxf_reader.h"
#include "model/graph.h"

namespace {

using namespace quillon;

std::string Lines(long count, long layers) {
  std::string text = "0\nSECTION\n2\nENTITIES\n";
  text.reserve(static_cast<std::size_t>(count) * 60);
  for (long i = 0; i < count; ++i) {
    const std::string x = std::to_string(i % 1000), y = std::to_string(i / 1000);
    text += "0\nLINE\n8\nL" + std::to_string(i % layers) + "\n10\n" + x + ".5\n20\n" + y + ".25\n11\n" + x +
            ".75\n21\n" + y + ".5\n";
  }
  return text + "0\nENDSEC\n0\nEOF\n";
}

std::string Inserts(long entities, long inserts) {
  std::string text = "0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n2\nB\n10\n0\n20\n0\n";
  for (long i = 0; i < entities; ++i) {
    text += "0\nLINE\n8\n0\n10\n" + std::to_string(i) + "\n20\n0\n11\n" + std::to_string(i) + "\n21\n5\n";
  }
  text += "0\nENDBLK\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n";
  for (long i = 0; i < inserts; ++i) {
    text += "0\nINSERT\n8\nI" + std::to_string(i % 100) + "\n2\nB\n10\n" + std::to_string(i % 100 * 200) +
            "\n20\n" + std::to_string(i / 100 * 10) + "\n50\n" + std::to_string(i % 360) + "\n";
  }
  return text + "0\nENDSEC\n0\nEOF\n";
}

void Read(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    model::CGraph drawing;
    formats::DxfReadReport report;
    benchmark::DoNotOptimize(formats::ReadDxfText(text, drawing, &report));
    state.counters["entities"] = static_cast<double>(report.entitiesRead);
    state.counters["layers"] = static_cast<double>(drawing.layers().size());
  }
}

void BM_ManyLayers(benchmark::State& state) {
  static const std::string text = Lines(2000000, 100000);
  Read(state, text);
}
BENCHMARK(BM_ManyLayers)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_OneLayer(benchmark::State& state) {
  static const std::string text = Lines(2000000, 1);
  Read(state, text);
}
BENCHMARK(BM_OneLayer)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_BlockInserts(benchmark::State& state) {
  static const std::string text = Inserts(100, 10000);
  Read(state, text);
}
BENCHMARK(BM_BlockInserts)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
