#pragma once
// Generated line-art sheets for benchmarks and fidelity checks: straight lines
// at many angles and widths, circles and arcs, dashed lines, T and X
// junctions, small text-like strokes and salt noise, drawn into a 1-bit
// raster. The same spec always gives the same sheet (a fixed generator, no
// library distributions), and the primitives come back with their geometry so
// that a caller can compare a vectorisation against what was drawn.

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "raster/raster.h"

namespace quillon::bench {

enum class PrimitiveKind {
  Line,        // points[0] -> points[1], round caps
  Polyline,    // text-like stroke through points, round joints
  Circle,      // centre, radius
  Arc,         // centre, radius, counter-clockwise on screen from startAngle to endAngle (radians, y down)
  DashedLine,  // points[0] -> points[1], dashes of dashLength with gaps of gapLength
  Speck,       // salt noise: a square of `width` pixels at points[0]
  DashDotLine, // points[0] -> points[1]: dash of dashLength, gap, dot (a disc of the stroke width), gap, ...
};

struct GenPoint {
  double x = 0.0;  // column, pixel centres at integers
  double y = 0.0;  // row, counted downwards
};

struct Primitive {
  PrimitiveKind kind = PrimitiveKind::Line;
  std::vector<GenPoint> points;
  GenPoint centre;
  double radius = 0.0;
  double startAngle = 0.0;
  double endAngle = 0.0;
  double width = 1.0;  // stroke width in pixels
  double dashLength = 0.0;
  double gapLength = 0.0;
  // For T and X junctions: the index of the primitive this one meets or crosses, else -1.
  int joins = -1;
  // An arc drawn as the fillet between two lines, tangent to both.
  bool fillet = false;
};

// Where the dashes and dots of a dashed or dash-dot line lie: calls
// dash(a, b) for each dash and dot(p) for each dot, in order along the line.
template <typename Dash, typename Dot>
void EachDash(const Primitive& line, Dash&& dash, Dot&& dot);

struct SheetSpec {
  int width = 1000;
  int height = 700;
  uint32_t seed = 20261209;
  // Primitives per million pixels scale with this (1.0: a busy engineering sheet).
  double density = 1.0;
  int minWidth = 1;
  int maxWidth = 12;
  bool noise = true;
  // Cases for fidelity checks, off for the benchmarks' sheets: dash-dot
  // lines with dots, fillets tangent to two lines, corners of two lines
  // meeting at one point.
  bool fidelityCases = false;
};

struct Sheet {
  raster::CRaster raster;  // 1-bit, set bit = ink
  std::vector<Primitive> primitives;
};

// Draws a sheet. False when the raster cannot be created.
bool GenerateSheet(const SheetSpec& spec, Sheet& sheet);

// The 1-bit sheet of the default spec at this size, drawn once per process
// and kept (benchmarks share it between cases); aborts when it cannot be made.
const raster::CRaster& SharedSheetRaster(int width, int height);

// Draws one primitive into a 1-bit raster (clipped to it).
void DrawPrimitive(raster::CRaster& raster, const Primitive& primitive);

// "1000x700" style label of a spec, for benchmark names.
std::string SheetLabel(const SheetSpec& spec);

template <typename Dash, typename Dot>
void EachDash(const Primitive& line, Dash&& dash, Dot&& dot) {
  const GenPoint p = line.points[0];
  const GenPoint q = line.points[1];
  const double dx = q.x - p.x, dy = q.y - p.y;
  const double length = std::sqrt(dx * dx + dy * dy);
  const double period = line.dashLength + line.gapLength;
  if (length <= 0 || period <= 0) return;
  const auto at = [&](double s) { return GenPoint{p.x + dx * s / length, p.y + dy * s / length}; };
  const bool dotted = line.kind == PrimitiveKind::DashDotLine;
  for (double s = 0; s < length;) {
    const double e = s + line.dashLength < length ? s + line.dashLength : length;
    dash(at(s), at(e));
    s = e + line.gapLength;
    if (dotted && s < length) {
      dot(at(s));
      s += line.gapLength;
    }
  }
}

}  // namespace quillon::bench
