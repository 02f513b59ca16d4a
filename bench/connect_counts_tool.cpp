// Entity counts before and after the connect stage on the generated
// 4000 x 2800 sheet: centre-line trace, polyline generation, then connect
// (and straighten, to show the vertex counts a run ends with). Run:
//   cmake --build <release-build> --target connect_counts_tool
//   <release-build>/bench/connect_counts_tool [width height]
// Widths are 0 unless a width-measurement stage ran before connect, so the
// search radii are i_ConDis throughout.

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "gen/sheet_generator.h"
#include "model/graph.h"
#include "model/polyline.h"
#include "postprocess/connect.h"
#include "postprocess/straighten.h"
#include "trace/polyline_generation.h"
#include "trace/tracer.h"

namespace {

struct Counts {
  size_t entities = 0;
  size_t vertices = 0;
  size_t closed = 0;
};

Counts count(const quillon::model::CLayer& layer) {
  Counts c;
  for (const auto& e : layer) {
    ++c.entities;
    c.vertices += static_cast<size_t>(e->getVertexCount());
    if (e->isClosed()) ++c.closed;
  }
  return c;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quillon;
  bench::SheetSpec spec{4000, 2800};
  if (argc == 3) {
    spec.width = std::atoi(argv[1]);
    spec.height = std::atoi(argv[2]);
  }
  bench::Sheet sheet;
  if (!bench::GenerateSheet(spec, sheet)) {
    std::fprintf(stderr, "cannot generate the %s sheet\n", bench::SheetLabel(spec).c_str());
    return 1;
  }
  model::CGraph drawing;
  if (!drawing.raster().cloneFrom(sheet.raster)) return 1;
  drawing.clearForTrace();
  settings::TraceOption options;

  trace::CTracer tracer(drawing.raster());
  auto start = std::chrono::steady_clock::now();
  if (!tracer.traceCentreLine(nullptr)) return 1;
  const double traceSeconds = secondsSince(start);
  postprocess::EndIndex ends;
  start = std::chrono::steady_clock::now();
  if (trace::generatePolylines(tracer.paths(), drawing, options, nullptr, &ends) != 0) return 1;
  const double generateSeconds = secondsSince(start);
  model::CLayer& layer = *drawing.currentLayer();
  const Counts before = count(layer);

  start = std::chrono::steady_clock::now();
  if (!postprocess::connectLayer(layer, options.i_ConDis, nullptr, &ends)) return 1;
  const double connectSeconds = secondsSince(start);
  const Counts after = count(layer);
  if (!postprocess::straightenLayer(layer, options.d_MaxDis, nullptr)) return 1;
  const Counts straightened = count(layer);

  std::printf("sheet %s, %zu primitives drawn, %zu traced paths\n", bench::SheetLabel(spec).c_str(),
              sheet.primitives.size(), tracer.paths().size());
  std::printf("trace %.2f s, generate %.3f s, connect %.3f s\n", traceSeconds, generateSeconds, connectSeconds);
  std::printf("before connect:  %zu polylines, %zu vertices, %zu closed\n", before.entities, before.vertices,
              before.closed);
  std::printf("after connect:   %zu polylines, %zu vertices, %zu closed\n", after.entities, after.vertices,
              after.closed);
  std::printf("after straighten: %zu polylines, %zu vertices\n", straightened.entities, straightened.vertices);
  return 0;
}
