// Fidelity of a centre-line trace with the default parameters on the
// generated sheet, against the primitives the generator drew:
//   - drawn lines that came back as one straight segment (a two-vertex
//     polyline without bulge, or a line) whose ends lie within 1 px of the
//     drawn ends; and, fair to the design, the same count where a line
//     whose angle lies in a range of the angle series (or within 1° of
//     one) may instead match the drawn line turned to that range's main
//     angle about its midpoint, as angle adjustment turns it on purpose;
//     and drawn lines that came back as a straight run of vertices of any
//     polyline, ends and vertices within 1 px of the drawn line (widths
//     not counted there);
//   - drawn circles that came back as a CCircle whose centre and radius lie
//     within 1 px of the drawn ones (and arcs as a CArc, for comparison,
//     with how many of those also end within 2 px of the drawn ends);
//   - of those, how many widths round to the drawn width. The default
//     parameters hold no width series, so widths stay as measured; they are
//     rounded here with a series of whole pixels 1..12 in keep mode (the
//     generator's widths), exactly as the "Round width" stage would; and
//     over all of them drawn 3 px wide or wider, how many measure within
//     0.5 px of the drawn width;
//   - T-junction stems whose end lies on the bar's centre line (and on the
//     drawn junction point), dashes and dots, arcs and false arcs. Dashes
//     are also counted over those whose gaps show white in the raster (a
//     dashed line drawn with its caps all but touching may leave none, and
//     no trace can tell such dashes apart).
// Run:
//   cmake --build <release-build> --target fidelity_tool
//   <release-build>/bench/fidelity_tool [width height [density [noise 0/1 [list 0/1/2]]]]
// (list 1: the missed primitives that touch nothing; 2: also the missed
// lines and circles that touch others, with the entities near them; see
// stage_dump_tool for following one primitive through the stages).
// The generated sheet is busy (density 1 with salt noise): most strokes
// cross or touch others and come back split at the crossings, so the
// figures are also given for the primitives that touch nothing.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <utility>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gen/command_line.h"
#include "gen/sheet_generator.h"
#include "model/arc.h"
#include "model/circle.h"
#include "model/graph.h"
#include "model/line.h"
#include "model/polyline.h"
#include "postprocess/connect.h"
#include "postprocess/post_process_run.h"
#include "settings/angle_series.h"
#include "settings/width_series.h"
#include "trace/polyline_generation.h"
#include "trace/tracer.h"

namespace {

using namespace quillon;

constexpr double kEndTolerance = 1.0;
// A looser tolerance, shown beside: thinning ends a round-capped stroke a
// pixel or so short of its drawn end, and angle adjustment turns a stroke a
// degree off a main angle about its middle, moving both ends.
constexpr double kLooseTolerance = 2.0;
// A traced line may lie this far (radians, 1°) beyond a snap range of the
// angle series when its drawn angle lies just outside.
constexpr double kSnapSlack = 0.0174533;

struct Segment {
  model::Point3 a;
  model::Point3 b;
  double width = 0.0;
};

struct Tally {
  int drawn = 0;
  int found = 0;
  int foundLoose = 0;
  int widthRounded = 0;
  int widthWithinHalf = 0;
  int endsWithinLoose = -1;  // arcs only: found ones whose ends lie within 2 px of the drawn ends

  void print(const char* what) const {
    std::printf("%-34s %5d drawn, %5d found (%5.1f %%; %5d within 2 px), widths rounded to the drawn width %5d"
                " (%5.1f %% of found), measured within 0.5 px %5d\n",
                what, drawn, found, drawn ? 100.0 * found / drawn : 0.0, foundLoose, widthRounded,
                found ? 100.0 * widthRounded / found : 0.0, widthWithinHalf);
    if (endsWithinLoose >= 0) std::printf("%-34s %5d of the found arcs end within 2 px of the drawn ends\n", "", endsWithinLoose);
  }
};

// One line of counts, "what  N drawn, M found ... (P %)", with the share
// within 2 px when `loose` is given.
void PrintShare(const char* what, int whole, const char* noun, int part, const char* how, int loose = -1) {
  const auto percent = [whole](int n) { return whole ? 100.0 * n / whole : 0.0; };
  std::printf("%-34s %5d %s, %5d %s (%5.1f %%)", what, whole, noun, part, how, percent(part));
  if (loose >= 0) std::printf(", within 2 px %5d (%5.1f %%)", loose, percent(loose));
  std::printf("\n");
}

double dist(const model::Point3& p, double x, double y) { return std::hypot(p.x - x, p.y - y); }

// Which primitives stand alone: none of their pixels lies on or next to a
// pixel inked by another primitive. Only those can come back whole; on a
// busy sheet many strokes cross others and are split at the crossings.
std::vector<bool> StandAlone(const bench::Sheet& sheet) {
  const int w = sheet.raster.width(), h = sheet.raster.height();
  std::vector<uint8_t> counts(static_cast<size_t>(w) * h, 0);
  raster::CRaster scratch;
  if (!scratch.create(w, h, 1)) return std::vector<bool>(sheet.primitives.size(), false);
  const auto box = [&](const bench::Primitive& p, int& x0, int& y0, int& x1, int& y1) {
    double lx = 1e300, ly = 1e300, hx = -1e300, hy = -1e300;
    double reach = p.width + 2;
    std::vector<bench::GenPoint> points = p.points;
    if (p.kind == bench::PrimitiveKind::Circle || p.kind == bench::PrimitiveKind::Arc) {
      points = {p.centre};
      reach += p.radius;
    }
    for (const auto& q : points) {
      lx = std::min(lx, q.x - reach);
      hx = std::max(hx, q.x + reach);
      ly = std::min(ly, q.y - reach);
      hy = std::max(hy, q.y + reach);
    }
    x0 = std::max(0, static_cast<int>(lx));
    y0 = std::max(0, static_cast<int>(ly));
    x1 = std::min(w - 1, static_cast<int>(hx));
    y1 = std::min(h - 1, static_cast<int>(hy));
  };
  // Draws one primitive alone, calls visit(x, y) for each of its pixels, and clears it again.
  const auto eachPixel = [&](const bench::Primitive& p, auto&& visit) {
    int x0, y0, x1, y1;
    box(p, x0, y0, x1, y1);
    bench::DrawPrimitive(scratch, p);
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x)
        if (scratch.bitAt(x, y)) visit(x, y);
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) scratch.setBit(x, y, false);
  };
  for (const auto& p : sheet.primitives) {
    eachPixel(p, [&](int x, int y) {
      uint8_t& c = counts[static_cast<size_t>(y) * w + x];
      if (c < 255) ++c;
    });
  }
  std::vector<bool> alone(sheet.primitives.size(), false);
  for (size_t i = 0; i < sheet.primitives.size(); ++i) {
    const auto kind = sheet.primitives[i].kind;
    if (kind != bench::PrimitiveKind::Line && kind != bench::PrimitiveKind::Circle &&
        kind != bench::PrimitiveKind::Arc)
      continue;
    // Pixels of this primitive, drawn once more so neighbours can be told apart.
    std::vector<std::pair<int, int>> own;
    eachPixel(sheet.primitives[i], [&](int x, int y) { own.emplace_back(x, y); });
    for (const auto& [x, y] : own) scratch.setBit(x, y, true);
    bool touched = false;
    for (const auto& [x, y] : own) {
      for (int dy = -1; dy <= 1 && !touched; ++dy)
        for (int dx = -1; dx <= 1 && !touched; ++dx) {
          const int nx = x + dx, ny = y + dy;
          if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
          const int others = counts[static_cast<size_t>(ny) * w + nx] - (scratch.bitAt(nx, ny) ? 1 : 0);
          if (others > 0) touched = true;
        }
      if (touched) break;
    }
    for (const auto& [x, y] : own) scratch.setBit(x, y, false);
    alone[i] = !touched;
  }
  return alone;
}

// The drawn line (a, b) as angle adjustment would leave it on its own: when
// its undirected direction lies within `slack` of an entry's range of the
// series, turned to that entry's main angle about its midpoint, each end
// sliding along the perpendicular of the drawn line. False when no entry
// covers it.
bool TurnedLikeAngleAdjustment(const settings::AngleSeries& series, double slack, double& ax, double& ay, double& bx,
                               double& by) {
  const double dx = bx - ax, dy = by - ay;
  double phi = std::atan2(dy, dx);
  if (phi < 0.0) phi += model::kPi;
  for (const auto& e : series.entries()) {
    if (phi < e.minAngle - slack || phi > e.maxAngle + slack) continue;
    const double mx = (ax + bx) / 2.0, my = (ay + by) / 2.0;
    const double cx = std::cos(e.mainAngle), cy = std::sin(e.mainAngle);
    // The end p + s·(−dy, dx) on the line through M in direction c.
    const auto slide = [&](double& px, double& py) {
      const double denominator = cx * dx + cy * dy;  // cross(c, (−dy, dx))
      if (std::fabs(denominator) < 1e-12) return;
      const double s = (cy * (px - mx) - cx * (py - my)) / denominator;
      px -= s * dy;
      py += s * dx;
    };
    slide(ax, ay);
    slide(bx, by);
    return true;
  }
  return false;
}

// Distance from p to the segment a–b.
double DistanceToLine(const model::Point3& p, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay, length2 = dx * dx + dy * dy;
  double t = length2 > 0.0 ? ((p.x - ax) * dx + (p.y - ay) * dy) / length2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(p.x - (ax + t * dx), p.y - (ay + t * dy));
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The ink around (cx, cy), drawing coordinates, `half` pixels to each
// side: # ink, E the centre, o a traced polyline vertex (O on ink).
void PrintInkWindow(const raster::CRaster& ink, const model::CLayer& layer, int cx, int cy, int half) {
  const int size = 2 * half + 1;
  std::vector<std::string> rows(size, std::string(size, ' '));
  for (int dy = -half; dy <= half; ++dy)
    for (int dx = -half; dx <= half; ++dx)
      rows[half - dy][dx + half] = ink.bitAtChecked(cx + dx, ink.height() - 1 - (cy + dy)) ? '#' : '.';
  rows[half][half] = 'E';
  for (const auto& e : layer) {
    if (e->type() == model::EntityType::Circle) {
      // Centres of circles as '@' (dots are tiny circles).
      const auto& c = static_cast<const model::CCircle&>(*e).centre();
      const int gx = static_cast<int>(std::lround(c.x)) - cx + half, gy = half - (static_cast<int>(std::lround(c.y)) - cy);
      if (gx >= 0 && gx < size && gy >= 0 && gy < size) rows[gy][gx] = '@';
    }
    if (e->type() != model::EntityType::PolyLine) continue;
    for (const auto& q : static_cast<const model::CPolyLine&>(*e).vertices()) {
      const int gx = static_cast<int>(std::lround(q.x)) - cx + half, gy = half - (static_cast<int>(std::lround(q.y)) - cy);
      if (gx >= 0 && gx < size && gy >= 0 && gy < size) rows[gy][gx] = rows[gy][gx] == '#' ? 'O' : 'o';
    }
  }
  for (const std::string& r : rows) std::printf("      %s\n", r.c_str());
}

// Whether QUILLON_FIDELITY_SHOW (a comma-separated list of primitive
// indices) names primitive i.
bool Shown(size_t i) {
  const char* show = std::getenv("QUILLON_FIDELITY_SHOW");
  if (show == nullptr) return false;
  const std::string wanted = std::string(",") + show + ",";
  return wanted.find("," + std::to_string(i) + ",") != std::string::npos;
}

}  // namespace

// The entity end nearest to p whose end segment runs within 20° of the
// direction (ux, uy) away from p, within 10 px; false when there is none.
bool NearestEndAlong(const model::CLayer& layer, const model::Point3& p, double ux, double uy, model::Point3& found) {
  double best = 1e300;
  const double cosLimit = std::cos(20.0 * 3.14159265358979 / 180.0);
  const auto consider = [&](const model::Point3& end, const model::Point3& next) {
    const double d = dist(end, p.x, p.y);
    if (d >= best || d > 10.0) return;
    const double vx = next.x - end.x, vy = next.y - end.y, length = std::hypot(vx, vy);
    if (length < 1e-9 || (vx * ux + vy * uy) / length < cosLimit) return;
    best = d;
    found = end;
  };
  for (const auto& e : layer) {
    if (e->type() == model::EntityType::Line) {
      consider(e->getStartPoint(), e->getEndPoint());
      consider(e->getEndPoint(), e->getStartPoint());
    } else if (e->type() == model::EntityType::PolyLine) {
      const auto& v = static_cast<const model::CPolyLine&>(*e).vertices();
      if (v.size() < 2) continue;
      consider(v.front().point(), v[1].point());
      consider(v.back().point(), v[v.size() - 2].point());
    }
  }
  return best < 1e299;
}

int main(int argc, char** argv) {
  // --refine anywhere among the arguments traces with refined centre lines.
  bool refine = false;
  argc = bench::TakeSwitches(argc, argv, {{"--refine", &refine}});
  bench::SheetSpec spec{4000, 2800};
  spec.fidelityCases = true;
  if (argc >= 3) {
    spec.width = std::atoi(argv[1]);
    spec.height = std::atoi(argv[2]);
  }
  if (argc >= 4) spec.density = std::atof(argv[3]);
  if (argc >= 5) spec.noise = std::atoi(argv[4]) != 0;
  // A fifth argument 1 lists the primitives that touch nothing and did not
  // come back within 1 px, with their index for stage_dump_tool; 2 lists
  // the missed lines that touch others too, with the polylines near their ends;
  // 6 lists every missed line with the straight piece nearest to it and the
  // primitives drawn near its ends; 8 every traced segment along each missed
  // line. QUILLON_FIDELITY_SHOW=i,j draws the ink around those lines' ends
  // (mode 8), T stems' roots (mode 5) or arcs' drawn ends (mode 9). 9 lists
  // every arc not found as an arc or bulge within 1 px and 3 deg with the
  // arcs, bulges and polylines near it.
  const int listMode = argc >= 6 ? std::atoi(argv[5]) : 0;
  const bool listMisses = listMode != 0;
  bench::Sheet sheet;
  if (!bench::GenerateSheet(spec, sheet)) {
    std::fprintf(stderr, "cannot generate the %s sheet\n", bench::SheetLabel(spec).c_str());
    return 1;
  }
  model::CGraph drawing;
  if (!drawing.raster().cloneFrom(sheet.raster)) return 1;
  drawing.clearForTrace();
  settings::TraceOption options;  // the defaults
  options.b_Refine = refine;

  const auto start = std::chrono::steady_clock::now();
  trace::CTracer tracer(drawing.raster());
  tracer.setKeepStrokeEnds(refine);
  if (!tracer.traceCentreLine(nullptr)) return 1;
  postprocess::EndIndex ends;
  if (trace::generatePolylines(tracer.paths(), drawing, options, nullptr, &ends) != 0) return 1;
  const size_t generated = drawing.currentLayer()->count();
  if (!postprocess::RunPostProcessing(drawing, options, nullptr, &ends)) return 1;
  const double seconds = secondsSince(start);

  int pixelsPerMetre = raster::kDefaultPixelsPerMetre;
  drawing.raster().resolution(pixelsPerMetre);
  settings::WidthSeries pixels;
  pixels.SetName("whole pixels");
  pixels.SetUnit(settings::WidthSeries::kUnitPixel);
  pixels.SetMoreWidthMode(settings::WidthSeries::kMoreWidthKeep);
  for (int w = 1; w <= 12; ++w) pixels.Insert(w);

  std::vector<Segment> segments;
  std::vector<const model::CCircle*> circles;
  std::vector<const model::CArc*> arcs;
  size_t polylines = 0;
  for (const auto& e : *drawing.currentLayer()) {
    switch (e->type()) {
      case model::EntityType::Line:
        segments.push_back({e->getStartPoint(), e->getEndPoint(), e->getWidth()});
        break;
      case model::EntityType::PolyLine: {
        ++polylines;
        const auto& p = static_cast<const model::CPolyLine&>(*e);
        if (p.vertices().size() == 2 && !p.isClosed() && !p.vertices()[0].hasBulge()) {
          segments.push_back({p.vertices()[0].point(), p.vertices()[1].point(), p.vertices()[0].startWidth});
        }
        break;
      }
      case model::EntityType::Circle:
        circles.push_back(static_cast<const model::CCircle*>(e.get()));
        break;
      case model::EntityType::Arc:
        arcs.push_back(static_cast<const model::CArc*>(e.get()));
        break;
      default:
        break;
    }
  }

  const double top = spec.height - 1;  // drawing y of row 0
  // Widths of the strokes drawn 3 px wide or wider, over every line, circle
  // and arc found within 1 px: how many measure within 0.5 px of the drawn
  // width (before any rounding).
  int wideStrokes = 0, wideWithinHalf = 0;
  const auto countWide = [&](double measured, double drawn) {
    if (drawn < 3.0) return;
    ++wideStrokes;
    if (listMode == 7) std::printf("width drawn %.0f measured %.2f\n", drawn, measured);
    if (std::fabs(measured - drawn) <= 0.5) ++wideWithinHalf;
  };
  const auto countWidth = [&](Tally& tally, double measured, double drawn) {
    if (std::fabs(pixels.Round(measured, pixelsPerMetre) - drawn) < 1e-9) ++tally.widthRounded;
    if (std::fabs(measured - drawn) <= 0.5) ++tally.widthWithinHalf;
  };
  const std::vector<bool> alone = StandAlone(sheet);
  Tally lines, aloneLines, circleTally, aloneCircles, arcTally, aloneArcs, designedLines, designedAloneLines;
  // Lines whose caps both show: a cap whose outline, a pixel outside the
  // drawn half circle ahead of the end, lies for more than a third in other
  // ink or off the raster (an end inside another stroke, a cap clipped at
  // the border) leaves its end where the raster cannot tell it.
  Tally shownLines;
  const auto capShows = [&](const bench::GenPoint& end, const bench::GenPoint& other, double half) {
    const double dx = end.x - other.x, dy = end.y - other.y, length = std::hypot(dx, dy);
    if (length < 1e-9) return false;
    const double ux = dx / length, uy = dy / length;
    constexpr int kSamples = 19;
    int covered = 0;
    for (int k = 0; k < kSamples; ++k) {
      const double a = (k / (kSamples - 1.0) - 0.5) * model::kPi;
      const double cx = std::cos(a), sx = std::sin(a);
      const double vx = ux * cx - uy * sx, vy = uy * cx + ux * sx;
      const long x = std::lround(end.x + vx * (half + 1.0)), y = std::lround(end.y + vy * (half + 1.0));
      const bool inside = x >= 0 && y >= 0 && x < sheet.raster.width() && y < sheet.raster.height();
      if (!inside || sheet.raster.bitAt(static_cast<int>(x), static_cast<int>(y))) ++covered;
    }
    return 3 * covered <= kSamples;
  };
  Tally runLines, runAloneLines;
  arcTally.endsWithinLoose = aloneArcs.endsWithinLoose = 0;
  for (size_t i = 0; i < sheet.primitives.size(); ++i) {
    const bench::Primitive& p = sheet.primitives[i];
    if (p.kind == bench::PrimitiveKind::Line) {
      const double ax = p.points[0].x, ay = top - p.points[0].y;
      const double bx = p.points[1].x, by = top - p.points[1].y;
      const auto find = [&](double tolerance) -> const Segment* {
        for (const Segment& s : segments) {
          const bool forward = dist(s.a, ax, ay) <= tolerance && dist(s.b, bx, by) <= tolerance;
          const bool backward = dist(s.a, bx, by) <= tolerance && dist(s.b, ax, ay) <= tolerance;
          if (forward || backward) return &s;
        }
        return nullptr;
      };
      const Segment* match = find(kEndTolerance);
      if (match) countWide(match->width, p.width);
      const bool firstShown = capShows(p.points[0], p.points[1], p.width / 2);
      const bool secondShown = capShows(p.points[1], p.points[0], p.width / 2);
      const bool shown = firstShown && secondShown;
      const bool loose = find(kLooseTolerance) != nullptr;
      {
        // Fair to the design: a line whose angle lies in (or, traced, may
        // fall into) a snap range of the angle series is turned to the main
        // angle on purpose; it counts when it matches the turned line.
        double tx0 = ax, ty0 = ay, tx1 = bx, ty1 = by;
        const bool turned =
            options.b_ForceOrtho && TurnedLikeAngleAdjustment(options.s_AngleSeries, kSnapSlack, tx0, ty0, tx1, ty1);
        const auto findTurned = [&](double tolerance) -> const Segment* {
          if (!turned) return nullptr;
          for (const Segment& s : segments) {
            const bool forward = dist(s.a, tx0, ty0) <= tolerance && dist(s.b, tx1, ty1) <= tolerance;
            const bool backward = dist(s.a, tx1, ty1) <= tolerance && dist(s.b, tx0, ty0) <= tolerance;
            if (forward || backward) return &s;
          }
          return nullptr;
        };
        const Segment* designed = match ? match : findTurned(kEndTolerance);
        const bool designedLoose = loose || findTurned(kLooseTolerance) != nullptr;
        for (Tally* t : {&designedLines, alone[i] ? &designedAloneLines : nullptr}) {
          if (t == nullptr) continue;
          ++t->drawn;
          if (designedLoose) ++t->foundLoose;
          if (!designed) continue;
          ++t->found;
          countWidth(*t, designed->width, p.width);
        }
      }
      {
        // A drawn line may also come back as a straight run of a longer
        // polyline (the side of a frame, the bar of a T): consecutive
        // straight vertices from within 1 px of one drawn end to within
        // 1 px of the other, none further than 1 px from the drawn line.
        bool inRun = match != nullptr;
        for (const auto& e : *drawing.currentLayer()) {
          if (inRun) break;
          if (e->type() != model::EntityType::PolyLine) continue;
          const auto& v = static_cast<const model::CPolyLine&>(*e).vertices();
          for (size_t first = 0; first < v.size() && !inRun; ++first) {
            const bool fromA = dist(v[first].point(), ax, ay) <= kEndTolerance;
            const bool fromB = dist(v[first].point(), bx, by) <= kEndTolerance;
            if (!fromA && !fromB) continue;
            const double tx = fromA ? bx : ax, ty = fromA ? by : ay;
            for (size_t k = first + 1; k < v.size(); ++k) {
              if (v[k - 1].hasBulge() || DistanceToLine(v[k].point(), ax, ay, bx, by) > kEndTolerance) break;
              if (dist(v[k].point(), tx, ty) <= kEndTolerance) {
                inRun = true;
                break;
              }
            }
          }
        }
        for (Tally* t : {&runLines, alone[i] ? &runAloneLines : nullptr}) {
          if (t == nullptr) continue;
          ++t->drawn;
          if (inRun) ++t->found;
        }
      }
      if (listMode == 2 && !alone[i] && !match) {
        std::printf("missed crossed line %zu: (%.1f,%.1f)-(%.1f,%.1f) width %.0f angle %.2f deg\n", i, ax, ay, bx, by,
                    p.width, std::atan2(by - ay, bx - ax) * 180.0 / 3.14159265358979);
        for (const auto& e : *drawing.currentLayer()) {
          if (e->type() != model::EntityType::PolyLine) continue;
          const auto& pl = static_cast<const model::CPolyLine&>(*e);
          bool nearEnd = false;
          for (const auto& v : pl.vertices())
            nearEnd = nearEnd || dist(v.point(), ax, ay) < 4 || dist(v.point(), bx, by) < 4;
          if (!nearEnd) continue;
          std::printf("    polyline of %zu:", pl.vertices().size());
          for (size_t k = 0; k < pl.vertices().size() && k < 12; ++k)
            std::printf(" (%.1f,%.1f%s)", pl.vertices()[k].x, pl.vertices()[k].y, pl.vertices()[k].hasBulge() ? " b" : "");
          std::printf("\n");
        }
      }
      if (listMisses && (alone[i] || listMode == 6) && !match) {
        std::printf("missed line %zu: (%.1f,%.1f)-(%.1f,%.1f) width %.0f angle %.2f deg%s%s%s", i, ax, ay, bx, by,
                    p.width, std::atan2(by - ay, bx - ax) * 180.0 / 3.14159265358979, loose ? " (within 2 px)" : "",
                    firstShown ? "" : " (first cap hidden)", secondShown ? "" : " (second cap hidden)");
        // The nearest straight segment: how far each of its ends falls short
        // of the drawn end along the line (positive: short) and beside it.
        const Segment* nearest = nullptr;
        double best = 1e300;
        bool flipped = false;
        for (const Segment& s : segments) {
          const double f = std::max(dist(s.a, ax, ay), dist(s.b, bx, by));
          const double r = std::max(dist(s.a, bx, by), dist(s.b, ax, ay));
          if (std::min(f, r) < best) {
            best = std::min(f, r);
            nearest = &s;
            flipped = r < f;
          }
        }
        if (nearest != nullptr && best < 20) {
          const double len = std::hypot(bx - ax, by - ay);
          const double ux = (bx - ax) / len, uy = (by - ay) / len;
          const model::Point3& na = flipped ? nearest->b : nearest->a;
          const model::Point3& nb = flipped ? nearest->a : nearest->b;
          std::printf("; start short %.2f off %.2f, end short %.2f off %.2f", (na.x - ax) * ux + (na.y - ay) * uy,
                      -(na.x - ax) * uy + (na.y - ay) * ux, (bx - nb.x) * ux + (by - nb.y) * uy,
                      -(nb.x - bx) * uy + (nb.y - by) * ux);
        }
        std::printf("\n");
        if (listMode == 6) {
          for (size_t k = 0; k < sheet.primitives.size(); ++k) {
            const bench::Primitive& o = sheet.primitives[k];
            if (k == i || o.kind == bench::PrimitiveKind::Speck) continue;
            for (int side = 0; side < 2; ++side) {
              const double ex = side ? bx : ax, ey = side ? by : ay;
              double d = 1e300;
              if (o.kind == bench::PrimitiveKind::Circle || o.kind == bench::PrimitiveKind::Arc)
                d = std::fabs(dist(model::Point3{ex, ey}, o.centre.x, top - o.centre.y) - o.radius);
              else
                for (size_t q = 0; q + 1 < o.points.size(); ++q)
                  d = std::min(d, DistanceToLine(model::Point3{ex, ey}, o.points[q].x, top - o.points[q].y,
                                                 o.points[q + 1].x, top - o.points[q + 1].y));
              if (d < (o.width + p.width) / 2 + 3)
                std::printf("      %s end near primitive %zu kind %d width %.0f at %.1f\n", side ? "second" : "first", k,
                            static_cast<int>(o.kind), o.width, d);
            }
          }
        }
      }
      if (listMode == 8 && !match) {
        // What a missed line came back as: every traced segment lying along
        // it, as distances along the drawn line and beside it.
        const double len = std::hypot(bx - ax, by - ay);
        const double ux = (bx - ax) / len, uy = (by - ay) / len;
        std::printf("missed line %zu: (%.1f,%.1f)-(%.1f,%.1f) width %.0f length %.1f%s%s\n", i, ax, ay, bx, by, p.width,
                    len, loose ? " (within 2 px)" : "", alone[i] ? " alone" : "");
        const auto along = [&](const model::Point3& q) { return (q.x - ax) * ux + (q.y - ay) * uy; };
        const auto beside = [&](const model::Point3& q) { return -(q.x - ax) * uy + (q.y - ay) * ux; };
        size_t index = 0;
        for (const auto& e : *drawing.currentLayer()) {
          ++index;
          if (e->type() != model::EntityType::PolyLine) continue;
          const auto& pl = static_cast<const model::CPolyLine&>(*e);
          const auto& v = pl.vertices();
          const size_t n = v.size();
          for (size_t k = 0; k + 1 < n + (pl.isClosed() ? 1 : 0); ++k) {
            const model::Point3 q0 = v[k].point(), q1 = v[(k + 1) % n].point();
            const double s0 = along(q0), s1 = along(q1), b0 = beside(q0), b1 = beside(q1);
            const double reach = p.width / 2.0 + 2.0;
            // Segments leaving the line (at a corner, into another stroke)
            // are listed too when one vertex lies on it.
            const bool on0 = std::fabs(b0) <= reach && s0 >= -5.0 && s0 <= len + 5.0;
            const bool on1 = std::fabs(b1) <= reach && s1 >= -5.0 && s1 <= len + 5.0;
            if (!(std::fabs(b0) <= reach && std::fabs(b1) <= reach) && !on0 && !on1) continue;
            if (std::max(s0, s1) < -5.0 || std::min(s0, s1) > len + 5.0) continue;
            std::printf("    entity %zu (%zu vertices%s) segment %zu: along %.2f..%.2f beside %.2f..%.2f width %.1f%s\n",
                        index, n, pl.isClosed() ? " closed" : "", k, s0, s1, b0, b1, v[k].startWidth,
                        v[k].hasBulge() ? " bulge" : "");
          }
        }
        // QUILLON_FIDELITY_SHOW=i,j,… also draws the ink around those lines'
        // ends: # ink, E the drawn end, o a traced vertex (O on ink).
        if (Shown(i)) {
          for (int side = 0; side < 2; ++side) {
            const int cx = static_cast<int>(std::lround(side ? bx : ax)), cy = static_cast<int>(std::lround(side ? by : ay));
            std::printf("    %s end, (%d,%d) at the centre:\n", side ? "second" : "first", cx, cy);
            PrintInkWindow(drawing.raster(), *drawing.currentLayer(), cx, cy, 15);
          }
        }
      }
      for (Tally* t : {&lines, alone[i] ? &aloneLines : nullptr, shown ? &shownLines : nullptr}) {
        if (t == nullptr) continue;
        ++t->drawn;
        if (loose) ++t->foundLoose;
        if (!match) continue;
        ++t->found;
        countWidth(*t, match->width, p.width);
      }
    } else if (p.kind == bench::PrimitiveKind::Circle || p.kind == bench::PrimitiveKind::Arc) {
      const bool circle = p.kind == bench::PrimitiveKind::Circle;
      Tally& all = circle ? circleTally : arcTally;
      Tally* single = alone[i] ? (circle ? &aloneCircles : &aloneArcs) : nullptr;
      ++all.drawn;
      if (single) ++single->drawn;
      const double cx = p.centre.x, cy = top - p.centre.y;
      const auto find = [&](double tolerance) -> const model::CCircle* {
        const auto near = [&](const model::CCircle* c) {
          return dist(c->centre(), cx, cy) <= tolerance && std::fabs(c->radius() - p.radius) <= tolerance;
        };
        if (circle) {
          for (const model::CCircle* c : circles)
            if (near(c)) return c;
        } else {
          for (const model::CArc* a : arcs)
            if (near(a)) return a;
        }
        return nullptr;
      };
      const model::CCircle* match = find(kEndTolerance);
      if (match) countWide(match->getWidth(), p.width);
      if (listMode == 2 && !single && !match) {
        std::printf("missed crossed %s %zu: centre (%.1f,%.1f) radius %.1f width %.0f angles %.3f..%.3f\n",
                    circle ? "circle" : "arc", i, cx, cy, p.radius, p.width, p.startAngle, p.endAngle);
        for (const auto& e : *drawing.currentLayer()) {
          if (e->type() == model::EntityType::Circle || e->type() == model::EntityType::Arc) {
            const auto& c = static_cast<const model::CCircle&>(*e);
            if (dist(c.centre(), cx, cy) < 0.5 * p.radius)
              std::printf("    %s centre (%.1f,%.1f) radius %.1f\n", e->type() == model::EntityType::Arc ? "arc" : "circle",
                          c.centre().x, c.centre().y, c.radius());
          } else if (e->type() == model::EntityType::PolyLine) {
            const auto& pl = static_cast<const model::CPolyLine&>(*e);
            int onRing = 0;
            for (const auto& v : pl.vertices())
              if (std::fabs(dist(v.point(), cx, cy) - p.radius) < 3) ++onRing;
            if (onRing < 2) continue;
            std::printf("    polyline of %zu, %d on the ring:", pl.vertices().size(), onRing);
            for (size_t k = 0; k < pl.vertices().size() && k < 10; ++k)
              std::printf(" (%.1f,%.1f%s)", pl.vertices()[k].x, pl.vertices()[k].y, pl.vertices()[k].hasBulge() ? " b" : "");
            std::printf("\n");
          }
        }
      }
      if (listMisses && single && !match) {
        std::printf("missed %s %zu: centre (%.1f,%.1f) radius %.1f width %.0f angles %.3f..%.3f\n",
                    circle ? "circle" : "arc", i, cx, cy, p.radius, p.width, p.startAngle, p.endAngle);
      }
      if (find(kLooseTolerance) != nullptr) {
        ++all.foundLoose;
        if (single) ++single->foundLoose;
      }
      if (!match) continue;
      // An arc also has to cover the drawn sweep: both ends near the drawn
      // ends (the centres of its caps; both run counter-clockwise).
      bool endsMatch = true;
      if (!circle) {
        const auto& arc = static_cast<const model::CArc&>(*match);
        const auto drawnEnd = [&](double angle, double& x, double& y) {
          x = cx + p.radius * std::cos(angle);
          y = cy + p.radius * std::sin(angle);
        };
        double sx, sy, ex, ey;
        drawnEnd(p.startAngle, sx, sy);
        drawnEnd(p.endAngle, ex, ey);
        endsMatch = dist(arc.getStartPoint(), sx, sy) <= kLooseTolerance && dist(arc.getEndPoint(), ex, ey) <= kLooseTolerance;
      }
      for (Tally* t : {&all, single}) {
        if (t == nullptr) continue;
        ++t->found;
        if (!circle && endsMatch) ++t->endsWithinLoose;
        countWidth(*t, match->getWidth(), p.width);
      }
    }
  }

  // T junctions: the stem's end at the bar should lie on the bar's centre
  // line (its distance from the drawn bar's centre line), and, stricter, on
  // the drawn junction point, where the stem was drawn from (angle
  // adjustment turning a stem a few degrees off a main angle slides its end
  // along the bar).
  int stems = 0, stemsWithin = 0, stemsLoose = 0, stemsAtPoint = 0, stemsAtPointLoose = 0;
  int clearStems = 0, clearStemsWithin = 0;
  // Whether any primitive but the bar and the stem inks within `radius` of
  // the column/row point (x, y) (arcs taken as their whole circle, dashed
  // lines as solid: a junction counted clear is clear).
  const auto otherInkNear = [&](size_t bar, size_t stem, double x, double y, double radius) {
    const auto toSegment = [&](const bench::GenPoint& a, const bench::GenPoint& b) {
      const double sx = b.x - a.x, sy = b.y - a.y, l2 = sx * sx + sy * sy;
      const double t = l2 > 0 ? std::clamp(((x - a.x) * sx + (y - a.y) * sy) / l2, 0.0, 1.0) : 0.0;
      return std::hypot(x - (a.x + t * sx), y - (a.y + t * sy));
    };
    for (size_t k = 0; k < sheet.primitives.size(); ++k) {
      if (k == bar || k == stem) continue;
      const bench::Primitive& q = sheet.primitives[k];
      double d = 1e300;
      if (q.kind == bench::PrimitiveKind::Circle || q.kind == bench::PrimitiveKind::Arc) {
        d = std::fabs(std::hypot(x - q.centre.x, y - q.centre.y) - q.radius);
      } else if (q.points.size() == 1) {
        d = std::hypot(x - q.points[0].x, y - q.points[0].y) - q.width;
      } else {
        for (size_t j = 0; j + 1 < q.points.size(); ++j) d = std::min(d, toSegment(q.points[j], q.points[j + 1]));
      }
      if (d - q.width / 2.0 < radius) return true;
    }
    return false;
  };
  for (size_t i = 0; i < sheet.primitives.size(); ++i) {
    const bench::Primitive& p = sheet.primitives[i];
    if (p.kind != bench::PrimitiveKind::Line || p.joins < 0) continue;
    const bench::Primitive& bar = sheet.primitives[static_cast<size_t>(p.joins)];
    const double mx = (bar.points[0].x + bar.points[1].x) / 2, my = (bar.points[0].y + bar.points[1].y) / 2;
    if (std::hypot(p.points[0].x - mx, p.points[0].y - my) > 1e-9) continue;  // a crossing, not a T
    const model::Point3 root{p.points[0].x, top - p.points[0].y};
    const double dx = p.points[1].x - p.points[0].x, dy = -(p.points[1].y - p.points[0].y);
    const double length = std::hypot(dx, dy);
    const double bx = bar.points[1].x - bar.points[0].x, by = -(bar.points[1].y - bar.points[0].y);
    const double barLength = std::hypot(bx, by);
    if (length < 1e-9 || barLength < 1e-9) continue;
    ++stems;
    model::Point3 end;
    double onLine = 1e300, atPoint = 1e300;
    if (NearestEndAlong(*drawing.currentLayer(), root, dx / length, dy / length, end)) {
      atPoint = dist(end, root.x, root.y);
      onLine = std::fabs((end.x - root.x) * by - (end.y - root.y) * bx) / barLength;
    }
    if (onLine <= kEndTolerance) ++stemsWithin;
    if (onLine <= kLooseTolerance) ++stemsLoose;
    const double clearance = std::max(p.width, bar.width) / 2.0 + 8.0;
    const bool clear = !otherInkNear(static_cast<size_t>(p.joins), i, p.points[0].x, p.points[0].y, clearance);
    if (clear) {
      ++clearStems;
      if (onLine <= kEndTolerance) ++clearStemsWithin;
    }
    if (atPoint <= kEndTolerance) ++stemsAtPoint;
    if (atPoint <= kLooseTolerance) ++stemsAtPointLoose;
    if (listMode == 5 && onLine > kEndTolerance) {
      std::printf("missed %sstem %zu at (%.1f,%.1f) dir (%.2f,%.2f) width %.0f, bar width %.0f, end off the bar's line %.1f:",
                  clear ? "clear " : "", i, root.x, root.y, dx / length, dy / length, p.width, bar.width, onLine > 1e299 ? -1.0 : onLine);
      for (const auto& e : *drawing.currentLayer()) {
        if (e->type() != model::EntityType::PolyLine) continue;
        const auto& v = static_cast<const model::CPolyLine&>(*e).vertices();
        bool near = false;
        for (size_t k = 0; k + 1 < v.size() && !near; ++k)
          near = DistanceToLine(root, v[k].x, v[k].y, v[k + 1].x, v[k + 1].y) < 10;
        if (!near) continue;
        std::printf(" [");
        for (size_t k = 0; k < v.size() && k < 8; ++k) std::printf(" (%.1f,%.1f)", v[k].x, v[k].y);
        std::printf(" ]");
      }
      std::printf("\n");
      if (Shown(i))
        PrintInkWindow(drawing.raster(), *drawing.currentLayer(), static_cast<int>(std::lround(root.x)),
                       static_cast<int>(std::lround(root.y)), 20);
    }
  }
  // Dashes of dashed and dash-dot lines: a straight piece from within 2 px
  // of one drawn dash end to within 2 px of the other. Dots of dash-dot
  // lines: a circle centred within 1.5 px of the dot no larger than it, or a
  // straight piece with both ends that close.
  int dashes = 0, dashesFound = 0, dots = 0, dotsFound = 0, clearDashes = 0, clearDashesFound = 0;
  // Dashes with 2 px of white between and dots whose ink touches no other
  // ink (no ink pixel within 1.5 px beyond their own edge): only those can
  // come back as pieces of their own.
  int aloneDashes = 0, aloneDashesFound = 0, aloneDots = 0, aloneDotsFound = 0;
  const auto touchesOtherInk = [&](bench::GenPoint a, bench::GenPoint b, double half) {
    const int x0 = static_cast<int>(std::floor(std::min(a.x, b.x) - half - 2)), x1 = static_cast<int>(std::ceil(std::max(a.x, b.x) + half + 2));
    const int y0 = static_cast<int>(std::floor(std::min(a.y, b.y) - half - 2)), y1 = static_cast<int>(std::ceil(std::max(a.y, b.y) + half + 2));
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) {
        if (!sheet.raster.bitAtChecked(x, y)) continue;
        const double d = DistanceToLine(model::Point3{static_cast<double>(x), static_cast<double>(y)}, a.x, a.y, b.x, b.y);
        if (d > half + 0.01 && d <= half + 1.5) return true;
      }
    return false;
  };
  // Dashes whose gaps to their neighbouring dashes show white in the
  // raster: a gap drawn under a pixel or so narrower than the pen (the caps
  // all but touching) may leave no white pixel between the dashes at all,
  // and a trace cannot tell such dashes apart. Each dashed line is drawn
  // alone for this, so a stroke crossing a gap does not count against it.
  int visibleDashes = 0, visibleDashesFound = 0;
  raster::CRaster lone;
  const bool loneDrawn = lone.create(sheet.raster.width(), sheet.raster.height(), 1);
  for (const bench::Primitive& p : sheet.primitives) {
    if (p.kind != bench::PrimitiveKind::DashedLine && p.kind != bench::PrimitiveKind::DashDotLine) continue;
    std::vector<std::pair<bench::GenPoint, bench::GenPoint>> row;
    bench::EachDash(p, [&](bench::GenPoint a, bench::GenPoint b) { row.emplace_back(a, b); }, [](bench::GenPoint) {});
    const bool dashed = p.kind == bench::PrimitiveKind::DashedLine && loneDrawn;
    if (dashed) bench::DrawPrimitive(lone, p);
    // Whether the line drawn alone has a white pixel on the way from cap
    // centre a to cap centre b.
    const auto whiteBetween = [&](bench::GenPoint a, bench::GenPoint b) {
      const double length = std::hypot(b.x - a.x, b.y - a.y);
      for (double t = 0.0; t <= length; t += 0.25) {
        const long x = std::lround(a.x + (b.x - a.x) * t / length), y = std::lround(a.y + (b.y - a.y) * t / length);
        if (!lone.bitAtChecked(static_cast<int>(x), static_cast<int>(y))) return true;
      }
      return false;
    };
    std::vector<bool> visible(row.size(), true);
    if (dashed) {
      for (size_t k = 0; k + 1 < row.size(); ++k)
        if (!whiteBetween(row[k].second, row[k + 1].first)) visible[k] = visible[k + 1] = false;
      // Cleared again over the line's box.
      const double reach = p.width + 2;
      const int x0 = std::max(0, static_cast<int>(std::min(p.points[0].x, p.points[1].x) - reach));
      const int x1 = std::min(lone.width() - 1, static_cast<int>(std::max(p.points[0].x, p.points[1].x) + reach));
      const int y0 = std::max(0, static_cast<int>(std::min(p.points[0].y, p.points[1].y) - reach));
      const int y1 = std::min(lone.height() - 1, static_cast<int>(std::max(p.points[0].y, p.points[1].y) + reach));
      for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) lone.setBit(x, y, false);
    }
    size_t dashIndex = 0;
    const int rowDashes = dashes, rowFound = dashesFound;
    bench::EachDash(
        p,
        [&](bench::GenPoint a, bench::GenPoint b) {
          const double ax = a.x, ay = top - a.y, bx = b.x, by = top - b.y;
          ++dashes;
          bool found = false;
          for (const Segment& seg : segments) {
            if ((dist(seg.a, ax, ay) <= kLooseTolerance && dist(seg.b, bx, by) <= kLooseTolerance) ||
                (dist(seg.a, bx, by) <= kLooseTolerance && dist(seg.b, ax, ay) <= kLooseTolerance)) {
              found = true;
              break;
            }
          }
          // A dash shorter than the pen is a dot.
          if (!found && std::hypot(bx - ax, by - ay) < p.width)
            for (const model::CCircle* c : circles)
              found = found || (dist(c->centre(), ax, ay) <= kLooseTolerance && dist(c->centre(), bx, by) <= kLooseTolerance);
          if (found) ++dashesFound;
          const bool seen = dashIndex < visible.size() && visible[dashIndex];
          ++dashIndex;
          if (seen) {
            ++visibleDashes;
            if (found) ++visibleDashesFound;
          }
          // Dashes whose gaps leave at least 2 px of white between the caps.
          if (p.gapLength - p.width >= 2.0) {
            ++clearDashes;
            if (found) ++clearDashesFound;
            if (!touchesOtherInk(a, b, p.width / 2)) {
              ++aloneDashes;
              if (found) ++aloneDashesFound;
            }
          }
          if (!found && listMode == 4) {
            // What covers the dash's middle: the nearest straight segment
            // of any polyline, with its length (a longer one: the dash was
            // joined to its neighbours), or nothing (deleted, or lost in thinning).
            const double mx = (ax + bx) / 2, my = (ay + by) / 2;
            double nearest = 1e300, segmentLength = 0.0, turn = 0.0;
            size_t vertexCount = 0;
            for (const auto& e : *drawing.currentLayer()) {
              if (e->type() != model::EntityType::PolyLine) continue;
              const auto& v = static_cast<const model::CPolyLine&>(*e).vertices();
              for (size_t k = 0; k + 1 < v.size(); ++k) {
                const double d = DistanceToLine(model::Point3{mx, my}, v[k].x, v[k].y, v[k + 1].x, v[k + 1].y);
                if (d < nearest) {
                  nearest = d;
                  segmentLength = std::hypot(v[k + 1].x - v[k].x, v[k + 1].y - v[k].y);
                  const double sx = v[k + 1].x - v[k].x, sy = v[k + 1].y - v[k].y;
                  turn = std::atan2(std::fabs(sx * (by - ay) - sy * (bx - ax)), std::fabs(sx * (bx - ax) + sy * (by - ay))) *
                         180.0 / model::kPi;
                  vertexCount = v.size();
                }
              }
            }
            // The ink across the dash, the least of three samples along it:
            // far wider than the pen, the dash lies inside another stroke.
            double across = 1e300;
            {
              const double length = std::hypot(b.x - a.x, b.y - a.y);
              const double nx = length > 0 ? -(b.y - a.y) / length : 0.0, ny = length > 0 ? (b.x - a.x) / length : 1.0;
              for (const double f : {0.25, 0.5, 0.75}) {
                const double cx = a.x + (b.x - a.x) * f, cy = a.y + (b.y - a.y) * f;
                const auto inkAt = [&](double t) {
                  return sheet.raster.bitAtChecked(static_cast<int>(std::lround(cx + nx * t)), static_cast<int>(std::lround(cy + ny * t)));
                };
                double low = 0.0, high = 0.0;
                while (low < 40 && inkAt(-low - 0.25)) low += 0.25;
                while (high < 40 && inkAt(high + 0.25)) high += 0.25;
                across = std::min(across, inkAt(0.0) ? low + high + 1.0 : 0.0);
              }
            }
            std::printf("missed dash (%.1f,%.1f)-(%.1f,%.1f) width %.0f across %.0f length %.1f white gap %.1f %s%s%s:", ax, ay, bx, by,
                        p.width, across, std::hypot(bx - ax, by - ay), p.gapLength - p.width,
                        p.kind == bench::PrimitiveKind::DashDotLine ? "dash-dot" : "dashed",
                        touchesOtherInk(a, b, p.width / 2) ? "" : " alone", seen ? "" : " no white gap");
            if (nearest <= p.width / 2 + 1.5)
              std::printf(" covered by a segment of %.1f px of a polyline of %zu at %.0f deg\n", segmentLength, vertexCount,
                          turn);
            else
              std::printf(" nothing covers its middle\n");
            if (std::getenv("QUILLON_FIDELITY_INK") != nullptr)
              PrintInkWindow(drawing.raster(), *drawing.currentLayer(), static_cast<int>(std::lround(mx)),
                             static_cast<int>(std::lround(my)), 16);
          }
        },
        [&](bench::GenPoint d) {
          const double x = d.x, y = top - d.y;
          ++dots;
          bool found = false;
          for (const model::CCircle* c : circles)
            found = found || (dist(c->centre(), x, y) <= 1.5 && c->radius() <= p.width);
          for (const Segment& seg : segments)
            found = found || (dist(seg.a, x, y) <= 1.5 && dist(seg.b, x, y) <= 1.5);
          if (found) ++dotsFound;
          if (!touchesOtherInk(d, d, p.width / 2)) {
            ++aloneDots;
            if (found) ++aloneDotsFound;
          }
          if (!found && listMode == 4) {
            std::printf("missed dot (%.1f,%.1f) width %.0f white gap %.1f:", x, y, p.width, p.gapLength - p.width);
            for (const model::CCircle* c : circles)
              if (dist(c->centre(), x, y) < 6)
                std::printf(" circle (%.1f,%.1f) r %.1f", c->centre().x, c->centre().y, c->radius());
            for (const auto& e : *drawing.currentLayer()) {
              if (e->type() != model::EntityType::PolyLine) continue;
              const auto& v = static_cast<const model::CPolyLine&>(*e).vertices();
              for (size_t k = 0; k + 1 < v.size(); ++k)
                if (DistanceToLine(model::Point3{x, y}, v[k].x, v[k].y, v[k + 1].x, v[k + 1].y) < p.width / 2 + 1) {
                  std::printf(" on a segment (%.1f,%.1f)-(%.1f,%.1f) of %zu", v[k].x, v[k].y, v[k + 1].x, v[k + 1].y,
                              v.size());
                  break;
                }
            }
            std::printf("\n");
            if (std::getenv("QUILLON_FIDELITY_INK") != nullptr)
              PrintInkWindow(drawing.raster(), *drawing.currentLayer(), static_cast<int>(std::lround(x)),
                             static_cast<int>(std::lround(y)), 12);
          }
        });
    // Mode 4: each row with a dash missed, as one line, for sorting the
    // misses by row.
    if (listMode == 4 && dashesFound - rowFound < dashes - rowDashes)
      std::printf("row %td (%.1f,%.1f)-(%.1f,%.1f) %s width %.0f dash %.1f gap %.1f white %.1f: %d dashes, %d found\n",
                  &p - sheet.primitives.data(), p.points[0].x, top - p.points[0].y, p.points[1].x, top - p.points[1].y,
                  p.kind == bench::PrimitiveKind::DashDotLine ? "dash-dot" : "dashed", p.width, p.dashLength, p.gapLength,
                  p.gapLength - p.width, dashes - rowDashes, dashesFound - rowFound);
  }
  // Arcs as a CArc or a bulged segment of a polyline (fillets come back
  // inside the polyline of their lines): centre and radius within 1 px and
  // both ends within 3° of the drawn ends.
  struct Piece {
    double cx, cy, radius, start, sweep;  // counter-clockwise from start
    double width;
    size_t vertices;  // of the polyline of a bulge; 0 for a CArc
  };
  std::vector<Piece> pieces;
  for (const model::CArc* a : arcs)
    pieces.push_back({a->centre().x, a->centre().y, a->radius(), a->startAngle(), a->endAngle() - a->startAngle(),
                      a->getWidth(), 0});
  for (const auto& e : *drawing.currentLayer()) {
    if (e->type() != model::EntityType::PolyLine) continue;
    const auto& v = static_cast<const model::CPolyLine&>(*e).vertices();
    for (size_t k = 0; k < v.size(); ++k) {
      if (!v[k].hasBulge()) continue;
      const model::PolyVertex& q = v[(k + 1) % v.size()];
      const double chord = std::hypot(q.x - v[k].x, q.y - v[k].y);
      if (chord < 1e-9) continue;
      const double b = v[k].bulge;
      const double radius = chord * (1 + b * b) / (4 * std::fabs(b));
      const double mx = (v[k].x + q.x) / 2, my = (v[k].y + q.y) / 2;
      const double ux = (q.x - v[k].x) / chord, uy = (q.y - v[k].y) / chord;
      const double h = radius - std::fabs(b) * chord / 2;
      const double side = b > 0 ? 1.0 : -1.0;
      const double cx = mx - uy * h * side, cy = my + ux * h * side;
      const double sweep = 4 * std::atan(b);
      double start = std::atan2(v[k].y - cy, v[k].x - cx);
      if (sweep < 0) start += sweep;  // counter-clockwise from the other end
      pieces.push_back({cx, cy, radius, start, std::fabs(sweep), v[k].startWidth, v.size()});
    }
  }
  const auto angleOff = [](double a, double b) {
    double d = std::fmod(std::fabs(a - b), 2 * model::kPi);
    return std::min(d, 2 * model::kPi - d);
  };
  constexpr double kEndAngle = 3.0 * 3.14159265358979 / 180.0;
  int arcsDrawn = 0, arcsFound = 0, filletsDrawn = 0, filletsFound = 0;
  for (const bench::Primitive& p : sheet.primitives) {
    if (p.kind != bench::PrimitiveKind::Arc) continue;
    const double cx = p.centre.x, cy = top - p.centre.y;
    bool found = false;
    for (const Piece& piece : pieces) {
      if (dist(model::Point3{piece.cx, piece.cy}, cx, cy) > kEndTolerance ||
          std::fabs(piece.radius - p.radius) > kEndTolerance)
        continue;
      if (angleOff(piece.start, p.startAngle) <= kEndAngle && angleOff(piece.start + piece.sweep, p.endAngle) <= kEndAngle)
        found = true;
    }
    ++arcsDrawn;
    if (found) ++arcsFound;
    if (!found && listMode == 9) {
      // What a missed arc came back as: the arcs and bulges near its ring
      // (centre, radius, sweep in degrees) and the polylines along it.
      std::printf("missed %s %td: centre (%.1f,%.1f) radius %.1f width %.0f angles %.1f..%.1f deg\n",
                  p.fillet ? "fillet" : "arc", &p - sheet.primitives.data(), cx, cy, p.radius, p.width, p.startAngle * 180 / model::kPi,
                  p.endAngle * 180 / model::kPi);
      if (Shown(static_cast<size_t>(&p - sheet.primitives.data()))) {
        for (const double angle : {p.startAngle, p.endAngle})
          PrintInkWindow(drawing.raster(), *drawing.currentLayer(),
                         static_cast<int>(std::lround(cx + p.radius * std::cos(angle))),
                         static_cast<int>(std::lround(cy + p.radius * std::sin(angle))), 15);
      }
      for (const Piece& piece : pieces) {
        if (dist(model::Point3{piece.cx, piece.cy}, cx, cy) > 0.5 * p.radius + 3) continue;
        std::printf("    %s centre off %.1f radius %+.1f angles %.1f..%.1f deg (%zu vertices)\n",
                    piece.vertices ? "bulge" : "arc", dist(model::Point3{piece.cx, piece.cy}, cx, cy),
                    piece.radius - p.radius, piece.start * 180 / model::kPi,
                    (piece.start + piece.sweep) * 180 / model::kPi, piece.vertices);
      }
      for (const auto& e : *drawing.currentLayer()) {
        if (e->type() != model::EntityType::PolyLine) continue;
        const auto& v = static_cast<const model::CPolyLine&>(*e).vertices();
        int onRing = 0;
        for (const auto& q : v)
          if (std::fabs(dist(q.point(), cx, cy) - p.radius) < p.width / 2 + 1) ++onRing;
        if (onRing < 2) continue;
        std::printf("    polyline of %zu, %d on the ring:", v.size(), onRing);
        for (size_t k = 0; k < v.size() && k < 12; ++k)
          std::printf(" (%.1f,%.1f%s)", v[k].x, v[k].y, v[k].hasBulge() ? " b" : "");
        std::printf("\n");
      }
    }
    if (p.fillet) {
      ++filletsDrawn;
      if (found) ++filletsFound;
    }
  }
  // False arcs: arcs and bulged segments that lie on no drawn circle or arc,
  // that is, whose points at a quarter, half and three quarters of their
  // sweep do not all lie on the ring of one drawn circle or arc (within its
  // half width plus 2 px): arcs fitted on straight runs, text or dashes.
  // Arcs that do lie on a drawn curve but whose centre or radius is more
  // than 2 px off are counted apart, as imprecise.
  int falseArcs = 0, impreciseArcs = 0;
  const auto onDrawnCurve = [&](double cx, double cy, double radius, double a0, double sweep) {
    bool onRing = false;
    for (const bench::Primitive& p : sheet.primitives) {
      if (p.kind != bench::PrimitiveKind::Circle && p.kind != bench::PrimitiveKind::Arc) continue;
      const double px = p.centre.x, py = top - p.centre.y;
      if (dist(model::Point3{cx, cy}, px, py) <= kLooseTolerance && std::fabs(radius - p.radius) <= kLooseTolerance)
        return 1;
      bool all = true;
      for (const double f : {0.25, 0.5, 0.75}) {
        const double a = a0 + f * sweep;
        const double d = std::fabs(dist(model::Point3{cx + radius * std::cos(a), cy + radius * std::sin(a)}, px, py) - p.radius);
        if (d > p.width / 2 + kLooseTolerance) all = false;
      }
      onRing = onRing || all;
    }
    return onRing ? 0 : -1;
  };
  // List mode 3: every false arc with the kind of primitive drawn nearest to its middle.
  const auto nearestKind = [&](double x, double y) {
    // In the order of bench::PrimitiveKind.
    static const char* const names[] = {"line", "text", "circle", "arc", "dashed", "speck", "dash-dot"};
    constexpr int kNames = static_cast<int>(sizeof(names) / sizeof(names[0]));
    double best = 1e300;
    int kind = -1;
    for (const bench::Primitive& p : sheet.primitives) {
      double d = 1e300;
      if (p.kind == bench::PrimitiveKind::Circle || p.kind == bench::PrimitiveKind::Arc) {
        d = std::fabs(dist(model::Point3{x, y}, p.centre.x, top - p.centre.y) - p.radius);
      } else {
        for (size_t k = 0; k + 1 < p.points.size(); ++k)
          d = std::min(d, DistanceToLine(model::Point3{x, y}, p.points[k].x, top - p.points[k].y, p.points[k + 1].x,
                                         top - p.points[k + 1].y));
      }
      if (d < best) {
        best = d;
        kind = static_cast<int>(p.kind);
      }
    }
    std::printf(" nearest %s at %.1f px\n", kind >= 0 ? (kind < kNames ? names[kind] : "other") : "none", best);
  };
  const auto judge = [&](double cx, double cy, double radius, double a0, double sweep, const char* what, double width,
                         size_t vertices) {
    const int on = onDrawnCurve(cx, cy, radius, a0, sweep);
    if (on == 1) return;
    if (on == 0) {
      ++impreciseArcs;
      return;
    }
    ++falseArcs;
    if (listMode != 3) return;
    const double a = a0 + sweep / 2;
    std::printf("false %s radius %.1f sweep %.0f deg width %.1f (%zu vertices) at (%.1f,%.1f)", what, radius,
                sweep * 180 / model::kPi, width, vertices, cx + radius * std::cos(a), cy + radius * std::sin(a));
    nearestKind(cx + radius * std::cos(a), cy + radius * std::sin(a));
    if (std::getenv("QUILLON_FIDELITY_INK") != nullptr)
      PrintInkWindow(drawing.raster(), *drawing.currentLayer(), static_cast<int>(std::lround(cx + radius * std::cos(a))),
                     static_cast<int>(std::lround(cy + radius * std::sin(a))), 16);
  };
  for (const Piece& piece : pieces)
    judge(piece.cx, piece.cy, piece.radius, piece.start, piece.sweep, piece.vertices ? "bulge" : "arc", piece.width,
          piece.vertices);

  std::printf("refined centre lines: %s\n", refine ? "on" : "off");
  std::printf("sheet %s (density %.2f, noise %s), %zu primitives drawn; trace and post-processing %.2f s\n", bench::SheetLabel(spec).c_str(),
              spec.density, spec.noise ? "on" : "off", sheet.primitives.size(), seconds);
  std::printf("%zu polylines generated; after post-processing %u entities: %zu polylines (%zu single straight "
              "segments), %zu circles, %zu arcs\n",
              generated, drawing.currentLayer()->count(), polylines, segments.size(), circles.size(), arcs.size());
  lines.print("lines as one segment within 1 px");
  aloneLines.print("  of them lines touching nothing");
  shownLines.print("  of them lines with both caps shown");
  designedLines.print("lines, or as angle adjustment turns them");
  designedAloneLines.print("  of them lines touching nothing");
  runLines.print("lines as a straight run of any polyline");
  runAloneLines.print("  of them lines touching nothing");
  circleTally.print("circles as CCircle within 1 px");
  aloneCircles.print("  of them circles touching nothing");
  arcTally.print("arcs as CArc within 1 px");
  aloneArcs.print("  of them arcs touching nothing");
  PrintShare("T-junction stems", stems, "drawn", stemsWithin, "end on the bar's centre line within 1 px", stemsLoose);
  PrintShare("  of them clear of other strokes", clearStems, "drawn", clearStemsWithin,
             "end on the bar's centre line within 1 px");
  PrintShare("", stems, "drawn", stemsAtPoint, "end on the drawn junction point within 1 px", stemsAtPointLoose);
  PrintShare("widths of strokes 3 px or wider", wideStrokes, "found", wideWithinHalf,
             "measured within 0.5 px of the drawn width");
  PrintShare("dashes of dashed lines", dashes, "drawn", dashesFound, "found as a straight piece within 2 px");
  PrintShare("  of them with white between in the raster", visibleDashes, "drawn", visibleDashesFound, "found");
  PrintShare("  of them with 2 px of white between", clearDashes, "drawn", clearDashesFound, "found");
  PrintShare("  of them touching no other ink", aloneDashes, "drawn", aloneDashesFound, "found");
  PrintShare("dots of dash-dot lines", dots, "drawn", dotsFound, "found as a dot or tiny piece within 1.5 px");
  PrintShare("  of them touching no other ink", aloneDots, "drawn", aloneDotsFound, "found");
  std::printf("%-34s %5d drawn, %5d found within 1 px and 3 deg (%5.1f %%); fillets %d drawn, %d found (%5.1f %%)\n",
              "arcs as CArc or bulge", arcsDrawn, arcsFound, arcsDrawn ? 100.0 * arcsFound / arcsDrawn : 0.0,
              filletsDrawn, filletsFound, filletsDrawn ? 100.0 * filletsFound / filletsDrawn : 0.0);
  std::printf("%-34s %5d (%.2f per 100 drawn lines)\n", "false arcs (arcs and bulges on no drawn curve)", falseArcs,
              lines.drawn ? 100.0 * falseArcs / lines.drawn : 0.0);
  std::printf("%-34s %5d\n", "arcs and bulges on a drawn curve but its centre or radius more than 2 px off", impreciseArcs);
  return 0;
}
