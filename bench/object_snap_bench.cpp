// Object snap picks on a drawing the size of a traced A0 sheet: 20000
// polylines of 20 vertices (every third segment an arc), 2000 lines and 2000
// circles spread over 10000 x 10000 pixels. Each iteration asks for the best
// snap point in a 10-pixel aperture at the next of 1024 fixed cursor
// positions, with every mode on and a reference point, as a mouse move in
// the view does. The counter "found" is the share of picks that snapped.
//
// Run:
//   cmake --build <release-build> --target object_snap_bench
//   <release-build>/bench/object_snap_bench

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "model/circle.h"
#include "model/graph.h"
#include "model/line.h"
#include "model/object_snap.h"
#include "model/polyline.h"

namespace {

using quillon::model::CCircle;
using quillon::model::CGraph;
using quillon::model::CLine;
using quillon::model::CPolyLine;
using quillon::model::Point3;

constexpr double kSheet = 10000.0;

std::unique_ptr<CGraph> makeDrawing() {
  auto g = std::make_unique<CGraph>();
  g->clearForTrace();
  std::mt19937 rng(4711);
  std::uniform_real_distribution<double> at(0.0, kSheet), step(-40.0, 40.0), bulge(-0.8, 0.8);
  for (int i = 0; i < 20000; ++i) {
    auto pl = std::make_unique<CPolyLine>();
    double x = at(rng), y = at(rng);
    for (int k = 0; k < 20; ++k) {
      pl->appendVertex(x, y, 0.0, k % 3 == 0 ? bulge(rng) : 0.0);
      x += step(rng);
      y += step(rng);
    }
    g->addEntity(std::move(pl));
  }
  for (int i = 0; i < 2000; ++i) {
    const double x = at(rng), y = at(rng);
    g->addEntity(std::make_unique<CLine>(Point3{x, y, 0}, Point3{x + step(rng) * 5, y + step(rng) * 5, 0}));
    g->addEntity(std::make_unique<CCircle>(Point3{at(rng), at(rng), 0}, 5.0 + std::fabs(step(rng))));
  }
  g->aids.osnapModes = quillon::model::kOsnapAll;
  return g;
}

void BM_ObjectSnapPick(benchmark::State& state) {
  const auto g = makeDrawing();
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> at(0.0, kSheet);
  std::vector<Point3> cursors(1024);
  for (Point3& c : cursors) c = Point3{at(rng), at(rng), 0};
  const double h = 5.0;
  std::size_t i = 0, found = 0, picks = 0;
  for (auto _ : state) {
    const Point3& c = cursors[i++ % cursors.size()];
    const Point3 ref{c.x - 30.0, c.y + 20.0, 0};
    Point3 p;
    const int code = g->objectSnap(&ref, Point3{c.x - h, c.y - h, 0}, Point3{c.x + h, c.y + h, 0}, p);
    benchmark::DoNotOptimize(p);
    found += code != 0;
    ++picks;
  }
  state.counters["found"] = picks ? static_cast<double>(found) / static_cast<double>(picks) : 0.0;
}
BENCHMARK(BM_ObjectSnapPick)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
