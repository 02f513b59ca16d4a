// Traces one drawn primitive (or one primitive of the generated sheet) with
// the default centre-line parameters and prints what every stage makes of
// it: the traced paths, the generated polylines and the layer after each
// post-processing stage. For following a stroke through the pipeline when
// the fidelity figures look wrong.
// Run:
//   stage_dump_tool line X0 Y0 X1 Y1 WIDTH
//   stage_dump_tool circle CX CY R WIDTH
//   stage_dump_tool arc CX CY R WIDTH START END      (radians, counter-clockwise)
//   stage_dump_tool tee X0 Y0 X1 Y1 WIDTH SX SY SWIDTH (a bar and a stem from its middle to (SX, SY))
//   stage_dump_tool dashdot X0 Y0 X1 Y1 WIDTH DASH GAP (a dash-dot line; GAP 0: no dots, gaps of DASH/2)
//   stage_dump_tool dashed X0 Y0 X1 Y1 WIDTH DASH GAP  (a dashed line, no dots)
//   stage_dump_tool sheet W H DENSITY NOISE INDEX    (primitive INDEX of that sheet, drawn alone)
//   stage_dump_tool fillet W H DENSITY NOISE INDEX   (a fillet of that sheet with its two legs, alone;
//                                                     with --fidelity)
//   stage_dump_tool context W H DENSITY NOISE INDEX  (the whole sheet; entities near that primitive,
//                                                     or all of them for INDEX −1)
//   stage_dump_tool area W H DENSITY NOISE X0 Y0 X1 Y1  (the whole sheet; entities with a point in
//                                                     that box of drawing coordinates, y up)
// Anywhere among the arguments: --refine traces with refined centre lines,
// --fidelity draws the sheet with fidelity_tool's cases (its primitive
// indices), --ink prints the raster around a T junction's stem root (or the
// whole raster of a primitive drawn alone).
// Coordinates are pixel columns and rows (row 0 at the top), as the sheet
// generator takes them.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "gen/command_line.h"
#include "gen/sheet_generator.h"
#include "model/arc.h"
#include "model/circle.h"
#include "model/graph.h"
#include "model/polyline.h"
#include "postprocess/angle_adjust.h"
#include "postprocess/circle_arc.h"
#include "postprocess/connect.h"
#include "postprocess/junction_ends.h"
#include "postprocess/line_width.h"
#include "postprocess/mixed_line.h"
#include "postprocess/refined_dashes.h"
#include "postprocess/refined_lines.h"
#include "postprocess/straighten.h"
#include "trace/polyline_generation.h"
#include "trace/tracer.h"

namespace {

using namespace quillon;

// With a whole sheet traced, only entities with a point inside this box
// (drawing coordinates) are shown.
bool gBoxed = false;
double gBox[4] = {0, 0, 0, 0};

bool shown(const model::CEntity& e) {
  if (!gBoxed) return true;
  const auto inside = [](const model::Point3& p) {
    return p.x >= gBox[0] && p.x <= gBox[2] && p.y >= gBox[1] && p.y <= gBox[3];
  };
  if (e.type() == model::EntityType::PolyLine) {
    for (const auto& v : static_cast<const model::CPolyLine&>(e).vertices())
      if (inside(v.point())) return true;
    return false;
  }
  if (e.type() == model::EntityType::Circle || e.type() == model::EntityType::Arc)
    return inside(static_cast<const model::CCircle&>(e).centre());
  return inside(e.getStartPoint()) || inside(e.getEndPoint());
}

void dumpLayer(const char* title, const model::CLayer& layer) {
  std::printf("== %s: %zu entities\n", title, static_cast<size_t>(layer.count()));
  for (const auto& e : layer) {
    if (!shown(*e)) continue;
    switch (e->type()) {
      case model::EntityType::PolyLine: {
        const auto& p = static_cast<const model::CPolyLine&>(*e);
        std::printf("  polyline%s, %zu vertices:", p.isClosed() ? " (closed)" : "", p.vertices().size());
        for (const auto& v : p.vertices()) {
          std::printf(" (%.2f,%.2f", v.x, v.y);
          if (v.startWidth != 0.0) std::printf(" w%.2f", v.startWidth);
          if (v.hasBulge()) std::printf(" b%.3f", v.bulge);
          std::printf(")");
        }
        std::printf("\n");
        break;
      }
      case model::EntityType::Circle: {
        const auto& c = static_cast<const model::CCircle&>(*e);
        std::printf("  circle centre (%.2f,%.2f) radius %.2f width %.2f\n", c.centre().x, c.centre().y, c.radius(),
                    c.getWidth());
        break;
      }
      case model::EntityType::Arc: {
        const auto& a = static_cast<const model::CArc&>(*e);
        std::printf("  arc centre (%.2f,%.2f) radius %.2f angles %.4f..%.4f width %.2f\n", a.centre().x,
                    a.centre().y, a.radius(), a.startAngle(), a.endAngle(), a.getWidth());
        break;
      }
      default:
        std::printf("  entity of type %d\n", static_cast<int>(e->type()));
    }
  }
}

int usage() {
  std::fprintf(stderr,
               "usage: stage_dump_tool line X0 Y0 X1 Y1 W | circle CX CY R W | arc CX CY R W START END |"
               " sheet W H DENSITY NOISE INDEX\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool refine = false, fidelity = false, ink = false;
  argc = quillon::bench::TakeSwitches(argc, argv, {{"--refine", &refine}, {"--fidelity", &fidelity}, {"--ink", &ink}});
  if (argc < 2) return usage();
  const std::string kind = argv[1];
  const auto arg = [&](int i) { return i < argc ? std::atof(argv[i]) : 0.0; };
  bench::Primitive p;
  raster::CRaster whole;  // the whole sheet, for "context"
  int width = 0, height = 0;
  bench::Primitive stem;  // of "tee"
  std::vector<bench::Primitive> neighbours;  // of "fillet": its two legs
  if (kind == "tee" && argc >= 10) {
    p.kind = bench::PrimitiveKind::Line;
    p.points = {{arg(2), arg(3)}, {arg(4), arg(5)}};
    p.width = arg(6);
    stem.points = {{(arg(2) + arg(4)) / 2, (arg(3) + arg(5)) / 2}, {arg(7), arg(8)}};
    stem.width = arg(9);
  } else if (kind == "line" && argc >= 7) {
    p.kind = bench::PrimitiveKind::Line;
    p.points = {{arg(2), arg(3)}, {arg(4), arg(5)}};
    p.width = arg(6);
  } else if (kind == "dashdot" && argc >= 9) {
    p.points = {{arg(2), arg(3)}, {arg(4), arg(5)}};
    p.width = arg(6);
    p.dashLength = arg(7);
    p.kind = arg(8) > 0 ? bench::PrimitiveKind::DashDotLine : bench::PrimitiveKind::DashedLine;
    p.gapLength = arg(8) > 0 ? arg(8) : p.dashLength / 2;
  } else if (kind == "dashed" && argc >= 9) {
    p.points = {{arg(2), arg(3)}, {arg(4), arg(5)}};
    p.width = arg(6);
    p.dashLength = arg(7);
    p.kind = bench::PrimitiveKind::DashedLine;
    p.gapLength = arg(8);
  } else if ((kind == "circle" && argc >= 6) || (kind == "arc" && argc >= 8)) {
    p.kind = kind == "circle" ? bench::PrimitiveKind::Circle : bench::PrimitiveKind::Arc;
    p.centre = {arg(2), arg(3)};
    p.radius = arg(4);
    p.width = arg(5);
    p.startAngle = arg(6);
    p.endAngle = arg(7);
  } else if ((kind == "sheet" || kind == "context" || kind == "area" || kind == "fillet") && argc >= 7) {
    bench::SheetSpec spec{std::atoi(argv[2]), std::atoi(argv[3])};
    spec.density = arg(4);
    spec.noise = std::atoi(argv[5]) != 0;
    spec.fidelityCases = fidelity;
    bench::Sheet sheet;
    if (!bench::GenerateSheet(spec, sheet)) return 1;
    // Index −1 with "context": the whole sheet, every entity shown.
    const bool everything = kind == "context" && std::atoi(argv[6]) < 0;
    const bool area = kind == "area" && argc >= 10;
    const size_t index = everything || area ? 0 : static_cast<size_t>(std::atoi(argv[6]));
    if (index >= sheet.primitives.size()) return usage();
    p = sheet.primitives[index];
    if (kind == "fillet" && index > 0 && index + 1 < sheet.primitives.size()) {
      neighbours.push_back(sheet.primitives[index - 1]);
      neighbours.push_back(sheet.primitives[index + 1]);
    }
    width = spec.width;
    height = spec.height;
    if (area) {
      whole = std::move(sheet.raster);
      gBoxed = true;
      for (int k = 0; k < 4; ++k) gBox[k] = arg(6 + k);
    } else if (kind == "context") {
      whole = std::move(sheet.raster);
      gBoxed = true;
      double lx = 1e300, ly = 1e300, hx = -1e300, hy = -1e300;
      std::vector<bench::GenPoint> corners = p.points;
      if (corners.empty()) corners = {{p.centre.x - p.radius, p.centre.y - p.radius}, {p.centre.x + p.radius, p.centre.y + p.radius}};
      for (const auto& q : corners) {
        lx = std::fmin(lx, q.x);
        hx = std::fmax(hx, q.x);
        ly = std::fmin(ly, height - 1 - q.y);
        hy = std::fmax(hy, height - 1 - q.y);
      }
      const double margin = p.width + 6;
      gBox[0] = lx - margin;
      gBox[1] = ly - margin;
      gBox[2] = hx + margin;
      gBox[3] = hy + margin;
      if (everything) gBoxed = false;
    }
  } else {
    return usage();
  }
  if (width == 0) {
    double hx = 0, hy = 0;
    for (const auto& q : p.points) {
      hx = std::fmax(hx, q.x);
      hy = std::fmax(hy, q.y);
    }
    for (const auto& q : stem.points) {
      hx = std::fmax(hx, q.x);
      hy = std::fmax(hy, q.y);
    }
    hx = std::fmax(hx, p.centre.x + p.radius);
    hy = std::fmax(hy, p.centre.y + p.radius);
    width = static_cast<int>(hx + p.width + 10);
    height = static_cast<int>(hy + p.width + 10);
  }
  const double top = height - 1;
  if (!p.points.empty()) {
    std::printf("drawn %s width %.2f through:", p.kind == bench::PrimitiveKind::Line ? "line" : "polyline", p.width);
    for (const auto& q : p.points) std::printf(" (%.2f,%.2f)", q.x, top - q.y);
    if (p.points.size() == 2) {
      std::printf(" angle %.3f deg",
                  std::atan2(p.points[0].y - p.points[1].y, p.points[1].x - p.points[0].x) * 180.0 / model::kPi);
    }
    std::printf("\n");
  } else {
    std::printf("drawn ring centre (%.2f,%.2f) radius %.2f width %.2f angles %.4f..%.4f\n", p.centre.x,
                top - p.centre.y, p.radius, p.width, p.startAngle, p.endAngle);
  }

  model::CGraph drawing;
  raster::CRaster& raster = drawing.raster();
  if (whole.width() > 0) {
    if (!raster.cloneFrom(whole)) return 1;
  } else {
    if (!raster.create(width, height, 1)) return 1;
    bench::DrawPrimitive(raster, p);
    if (!stem.points.empty()) bench::DrawPrimitive(raster, stem);
    for (const bench::Primitive& q : neighbours) bench::DrawPrimitive(raster, q);
  }
  drawing.clearForTrace();
  settings::TraceOption options;
  options.b_Refine = refine;
  if (ink && whole.width() > 0 && !p.points.empty()) {
    // The ink around the first point (a stem's root), rows downwards.
    const int cx = static_cast<int>(std::lround(p.points[0].x)), cy = static_cast<int>(std::lround(p.points[0].y));
    std::printf("ink around column %d row %d (drawing y %d):\n", cx, cy, static_cast<int>(top) - cy);
    for (int y = cy - 14; y <= cy + 14; ++y) {
      std::printf("  %6.0f ", top - y);
      for (int x = cx - 20; x <= cx + 20; ++x)
        std::putchar(x == cx && y == cy ? '@' : whole.bitAtChecked(x, y) ? '#' : '.');
      std::printf("\n");
    }
  }

  if (ink && whole.width() == 0) {
    for (int y = 0; y < raster.height(); ++y) {
      std::printf("  %4.0f ", top - y);
      for (int x = 0; x < raster.width(); ++x) std::putchar(raster.bitAt(x, y) ? '#' : '.');
      std::printf("\n");
    }
  }

  trace::CTracer tracer(raster);
  tracer.setKeepStrokeEnds(refine);
  if (!tracer.traceCentreLine(nullptr)) return 1;
  std::printf("== traced paths (drawing coordinates): %zu\n", tracer.paths().size());
  for (const auto& path : tracer.paths()) {
    if (whole.width() > 0) break;
    std::printf("  path of %zu points:", path.size());
    size_t shown = 0;
    for (const auto& q : path.points) {
      if (++shown > 40) {
        std::printf(" ...");
        break;
      }
      std::printf(" (%g,%g)", q.x, top - q.y);
    }
    std::printf("\n");
  }
  postprocess::EndIndex ends;
  if (trace::generatePolylines(tracer.paths(), drawing, options, nullptr, &ends) != 0) return 1;
  model::CLayer& layer = *drawing.currentLayer();
  dumpLayer("generated", layer);
  postprocess::calculateWidthsLayer(layer, raster, options.b_Refine, nullptr);
  dumpLayer("widths", layer);
  if (options.b_Connect) {
    postprocess::connectLayer(layer, options.i_ConDis, nullptr, &ends, refine ? &raster : nullptr);
    dumpLayer("connect", layer);
  }
  if (options.b_DelLine) {
    postprocess::deleteShortLines(layer, options.i_DelLine_Length, refine ? &raster : nullptr);
    dumpLayer("delete short lines", layer);
  }
  if (options.b_RecogniseCirArc) {
    postprocess::recogniseCirclesLayer(layer, options, std::max(width, height), postprocess::CircleMode::CentreLine,
                                       nullptr, refine ? &raster : nullptr);
    dumpLayer("circles", layer);
  }
  postprocess::straightenLayer(layer, options.StraightenTolerance(), nullptr);
  dumpLayer("straighten", layer);
  if (refine) {
    postprocess::rebuildStraightStrokes(layer, raster);
    dumpLayer("straight strokes", layer);
    postprocess::carryEndsOntoStrokes(layer, raster);
    dumpLayer("junction ends", layer);
    postprocess::splitDashRows(layer, raster);
    dumpLayer("dash rows", layer);
    postprocess::restoreRowDots(layer, raster);
    dumpLayer("row dots", layer);
  }
  if (options.b_ForceOrtho) {
    postprocess::adjustAnglesLayer(layer, options.s_AngleSeries, nullptr);
    dumpLayer("angles", layer);
  }
  if (refine) {
    postprocess::carryEndsOntoStrokes(layer, raster);
    dumpLayer("junction ends", layer);
    postprocess::pullEndsBackOntoStrokes(layer, raster);
    postprocess::remeasureWidthsLayer(layer, raster);
    dumpLayer("widths again", layer);
    postprocess::centreFreeEndsLayer(layer, raster);
    dumpLayer("free ends", layer);
    postprocess::completeDashRows(layer, raster);
    dumpLayer("rows completed", layer);
  }
  return 0;
}
