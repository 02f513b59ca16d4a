// T junctions traced one at a time: a bar with a stem from its middle, at
// random angles, sub-pixel positions and every pair of widths 1..12, each
// drawn alone and traced with the default parameters (refined with
// --refine). Counts the stems whose end lies within 1 px (and 2 px) of the
// drawn junction point, the bar's centre line, the way fidelity_tool
// counts them on the busy sheet, and the bars that came back as one
// straight piece; with --list prints the misses with the polylines near
// the junction.
// Run:
//   cmake --build <release-build> --target tee_tool
//   <release-build>/bench/tee_tool [cases per width pair] [--refine] [--list]

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gen/command_line.h"
#include "gen/sheet_generator.h"
#include "model/graph.h"
#include "model/polyline.h"
#include "postprocess/connect.h"
#include "postprocess/post_process_run.h"
#include "trace/polyline_generation.h"
#include "trace/tracer.h"

namespace {

using namespace quillon;

constexpr int kSize = 200;

// A small fixed generator, so that every run draws the same junctions.
struct Random {
  uint64_t state = 0x9e3779b97f4a7c15ull;
  double unit() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  }
  double range(double lo, double hi) { return lo + (hi - lo) * unit(); }
};

// The nearest polyline end to (x, y) whose end segment runs within 20° of
// (ux, uy) away from it, within 10 px, into (fx, fy); false when none does.
bool nearestEndAlong(const model::CLayer& layer, double x, double y, double ux, double uy, double& fx, double& fy) {
  double best = 1e9;
  const double cosLimit = std::cos(20.0 * 3.14159265358979 / 180.0);
  for (const auto& e : layer) {
    if (e->type() != model::EntityType::PolyLine) continue;
    const auto& v = static_cast<const model::CPolyLine&>(*e).vertices();
    if (v.size() < 2) continue;
    for (const int end : {0, 1}) {
      const auto& p = end == 0 ? v.front() : v.back();
      const auto& q = end == 0 ? v[1] : v[v.size() - 2];
      const double d = std::hypot(p.x - x, p.y - y);
      const double vx = q.x - p.x, vy = q.y - p.y, length = std::hypot(vx, vy);
      if (d >= best || d > 10.0 || length < 1e-9 || (vx * ux + vy * uy) / length < cosLimit) continue;
      best = d;
      fx = p.x;
      fy = p.y;
    }
  }
  return best < 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  bool refine = false, list = false;
  int perPair = 4;
  const char* only = std::getenv("TEE_ONLY");  // "bar stem index" of one case
  argc = quillon::bench::TakeSwitches(argc, argv, {{"--refine", &refine}, {"--list", &list}});
  for (int i = 1; i < argc; ++i) perPair = std::atoi(argv[i]);
  Random random;
  int cases = 0, within = 0, loose = 0, atPoint = 0;
  for (int barWidth = 1; barWidth <= 12; ++barWidth) {
    for (int stemWidth = 1; stemWidth <= 12; ++stemWidth) {
      for (int k = 0; k < perPair; ++k) {
        const double angle = random.unit() < 0.4 ? std::floor(random.range(0, 4)) * 1.5707963267948966
                                                 : random.range(0, 6.283185307179586);
        const double cx = kSize / 2 + random.range(-0.5, 0.5), cy = kSize / 2 + random.range(-0.5, 0.5);
        const double half = random.range(30, 70), stem = random.range(25, 70);
        const double ux = std::cos(angle), uy = std::sin(angle);
        if (only != nullptr) {
          int b = 0, s = 0, i = 0;
          std::sscanf(only, "%d %d %d", &b, &s, &i);
          if (b != barWidth || s != stemWidth || i != k) continue;
        }
        bench::Primitive bar, tee;
        bar.width = barWidth;
        bar.points = {{cx - ux * half, cy - uy * half}, {cx + ux * half, cy + uy * half}};
        tee.width = stemWidth;
        tee.points = {{cx, cy}, {cx - uy * stem, cy + ux * stem}};
        model::CGraph drawing;
        if (!drawing.raster().create(kSize, kSize, 1)) return 1;
        bench::DrawPrimitive(drawing.raster(), bar);
        bench::DrawPrimitive(drawing.raster(), tee);
        drawing.clearForTrace();
        settings::TraceOption options;
        options.b_Refine = refine;
        trace::CTracer tracer(drawing.raster());
        if (!tracer.traceCentreLine(nullptr)) return 1;
        postprocess::EndIndex ends;
        if (trace::generatePolylines(tracer.paths(), drawing, options, nullptr, &ends) != 0) return 1;
        if (!postprocess::RunPostProcessing(drawing, options, nullptr, &ends)) return 1;
        // Drawing coordinates: y up, row 0 at the top.
        const double top = kSize - 1;
        double fx = 0.0, fy = 0.0, d = 1e9, point = 1e9;
        if (nearestEndAlong(*drawing.currentLayer(), cx, top - cy, -uy, -ux, fx, fy)) {
          d = std::fabs((fx - cx) * uy + (fy - (top - cy)) * ux);  // from the bar's line, direction (ux, −uy)
          point = std::hypot(fx - cx, fy - (top - cy));
        }
        ++cases;
        if (d <= 1.0) ++within;
        if (point <= 1.0) ++atPoint;
        if (d <= 2.0) ++loose;
        if (list && d > 1.0) {
          std::printf("bar %d stem %d #%d angle %.1f root (%.2f,%.2f) d %.2f:", barWidth, stemWidth, k,
                      angle * 180 / 3.14159265358979, cx, top - cy, d > 1e8 ? -1.0 : d);
          for (const auto& e : *drawing.currentLayer()) {
            if (e->type() != model::EntityType::PolyLine) continue;
            const auto& v = static_cast<const model::CPolyLine&>(*e).vertices();
            std::printf(" [");
            for (const auto& q : v) std::printf(" (%.2f,%.2f w%.1f)", q.x, q.y, q.startWidth);
            std::printf(" ]");
          }
          std::printf("\n  stage_dump_tool tee %.3f %.3f %.3f %.3f %d %.3f %.3f %d\n", bar.points[0].x, bar.points[0].y,
                      bar.points[1].x, bar.points[1].y, barWidth, tee.points[1].x, tee.points[1].y, stemWidth);
        }
      }
    }
  }
  std::printf("refined centre lines: %s\nT-junction stems %d drawn, %d end within 1 px of the bar's centre line "
              "(%.1f %%), within 2 px %d (%.1f %%); within 1 px of the junction point %d (%.1f %%)\n",
              refine ? "on" : "off", cases, within, 100.0 * within / cases, loose, 100.0 * loose / cases, atPoint,
              100.0 * atPoint / cases);
  return 0;
}
