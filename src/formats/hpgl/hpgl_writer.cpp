#include "formats/hpgl/hpgl_writer.h"

#include <cmath>
#include <numbers>

namespace quillon::formats {

double HpglUnitFactor(int drawingUnit) {
  switch (drawingUnit) {
    case 0: return 1016.0;  // 1016 plotter units per inch (0.025 mm each)
    case 1: return 400.0;
    case 2: return 40.0;
    default: return 10.0;  // a pixel drawing is plotted at ten units per pixel
  }
}

HpglWriter::HpglWriter(double pixelsPerUnit, int drawingUnit) {
  double ppu = pixelsPerUnit > 0.0 && std::isfinite(pixelsPerUnit) ? pixelsPerUnit : 1.0;
  scale_ = HpglUnitFactor(drawingUnit) / ppu;
}

void HpglWriter::Pair(double x, double y) {
  out_.fixed(x * scale_, 6);
  out_.ch(',');
  out_.fixed(y * scale_, 6);
}

void HpglWriter::Command(const char* name, double x, double y) {
  out_.text(name);
  Pair(x, y);
  out_.ch(';');
}

void HpglWriter::Header() { out_.text("IN;SP1;"); }

void HpglWriter::Line(Point2 start, Point2 end) {
  Command("PU", start.x, start.y);
  Command("PD", start.x, start.y);
  Command("PD", end.x, end.y);
  Command("PU", end.x, end.y);
}

void HpglWriter::Circle(Point2 centre, double radius) {
  Command("PU", centre.x, centre.y);
  Command("PD", centre.x, centre.y);
  out_.text("CI ");
  out_.fixed(radius * scale_, 6);
  out_.ch(';');
}

void HpglWriter::Arc(Point2 centre, double radius, double startAngle, double endAngle) {
  double sx = centre.x + radius * std::cos(startAngle);
  double sy = centre.y + radius * std::sin(startAngle);
  Command("PU", sx, sy);
  Command("PD", sx, sy);
  out_.text("AA ");
  Pair(centre.x, centre.y);
  out_.ch(',');
  out_.fixed(ToDegrees(endAngle - startAngle), 6);
  out_.ch(';');
}

void HpglWriter::Segments(const PathRing& ring, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const PathVertex& v = ring[i];
    const PathVertex& n = ring[(i + 1) % ring.size()];
    if (std::optional<SegmentArc> arc = BulgeArc(v.x, v.y, n.x, n.y, v.bulge)) {
      // AA takes a signed sweep: positive counter-clockwise.
      double sweep = arc->ccw ? SweepOf(*arc) : -SweepOf(*arc);
      out_.text("AA ");
      Pair(arc->cx, arc->cy);
      out_.ch(',');
      out_.fixed(ToDegrees(sweep), 6);
      out_.ch(';');
    }
    Command("PA", n.x, n.y);
  }
}

void HpglWriter::Polyline(const PathRing& vertices, bool closed) {
  if (vertices.size() < 2) return;
  Command("PU", vertices[0].x, vertices[0].y);
  Command("PD", vertices[0].x, vertices[0].y);
  Segments(vertices, closed ? vertices.size() : vertices.size() - 1);
}

void HpglWriter::Solid(std::span<const Point2> points) {
  if (points.size() < 3) return;
  Command("PU", points[0].x, points[0].y);
  Command("PD", points[0].x, points[0].y);
  out_.text("FT2;PM0;");
  for (size_t i = 1; i < points.size(); ++i) Command("PA", points[i].x, points[i].y);
  out_.text("PM2;FP;");
}

void HpglWriter::PolyPolygon(std::span<const PathRing> outlines) {
  size_t written = 0;
  for (size_t k = 0; k < outlines.size(); ++k) {
    const PathRing& ring = outlines[k];
    if (ring.empty()) continue;
    Command("PU", ring[0].x, ring[0].y);
    if (written == 0) out_.text("FT2;PM0;");
    Command("PD", ring[0].x, ring[0].y);
    Segments(ring, ring.size());
    Command("PA", ring[0].x, ring[0].y);
    out_.text(k + 1 < outlines.size() ? "PM1;" : "PM2;");
    ++written;
  }
  if (written > 0) out_.text("FP;\r\n");
}

}  // namespace quillon::formats
