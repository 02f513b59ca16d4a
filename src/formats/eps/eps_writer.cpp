#include "formats/eps/eps_writer.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <numbers>

namespace quillon::formats {

namespace {
constexpr double kTwoPi = 2.0 * std::numbers::pi;
// The thinnest line written: PostScript's 0 would be one device pixel, which
// vanishes on high-resolution output. A line without width is drawn one
// raster pixel wide when that is more, so readers that render at the page's
// own size show it solid instead of faint.
constexpr double kMinLineWidth = 0.1;
// The bounding box reaches this far beyond the extents so strokes on the edge are not cut.
constexpr double kBoxMargin = 1.5;
}  // namespace

EpsWriter::EpsWriter(double pixelsPerUnit, bool saveWidth)
    : pixelsPerUnit_(pixelsPerUnit > 0.0 && std::isfinite(pixelsPerUnit) ? pixelsPerUnit : 1.0),
      saveWidth_(saveWidth),
      hairline_(std::max(kMinLineWidth, 1.0 / pixelsPerUnit_)) {}

void EpsWriter::Num(double value) { out_.fixed(value, 6); }

void EpsWriter::Pair(double x, double y) {
  Num(x / pixelsPerUnit_);
  out_.ch(' ');
  Num(y / pixelsPerUnit_);
}

void EpsWriter::Header(const Box& extents) {
  out_.text("%!PS-Adobe-3.0 EPSF-3.0");
  Eol();
  out_.text("%%Creator: Quillon vector output");
  Eol();
  out_.text("%%Pages: 1");
  Eol();
  // DSC wants whole points in the box, rounded outwards; the exact box
  // follows in the HiRes comment.
  const double box[4] = {extents.minX / pixelsPerUnit_ - kBoxMargin, extents.minY / pixelsPerUnit_ - kBoxMargin,
                         extents.maxX / pixelsPerUnit_ + kBoxMargin, extents.maxY / pixelsPerUnit_ + kBoxMargin};
  out_.text("%%BoundingBox:");
  for (int i = 0; i < 4; ++i) {
    out_.ch(' ');
    out_.fixed((i < 2 ? std::floor(box[i]) : std::ceil(box[i])) + 0.0, 0);  // + 0.0: never "-0"
  }
  Eol();
  out_.text("%%HiResBoundingBox:");
  for (double value : box) {
    out_.ch(' ');
    Num(value);
  }
  Eol();
  for (const char* line : {"%%EndComments", "%%BeginProlog", "%%EndProlog", "%%BeginSetup", "%%EndSetup",
                           "%%Page: 1 1"}) {
    out_.text(line);
    Eol();
  }
}

void EpsWriter::Colour(settings::Rgb colour) {
  constexpr double kByte = 1.0 / 255.0;
  Num(colour.r * kByte);
  out_.ch(' ');
  Num(colour.g * kByte);
  out_.ch(' ');
  Num(colour.b * kByte);
  out_.text(" setrgbcolor");
  Eol();
}

void EpsWriter::LineWidth(double widthPixels) {
  double w = hairline_;
  if (saveWidth_ && widthPixels / pixelsPerUnit_ >= kMinLineWidth) w = std::max(widthPixels / pixelsPerUnit_, hairline_);
  Num(w);
  out_.text(" setlinewidth");
  Eol();
}

void EpsWriter::Line(Point2 start, Point2 end, settings::Rgb colour) {
  Colour(colour);
  Pair(start.x, start.y);
  out_.text(" moveto");
  Eol();
  Pair(end.x, end.y);
  out_.text(" lineto");
  Eol();
  LineWidth(0.0);
  out_.text("stroke");
  Eol();
}

void EpsWriter::Arc(Point2 centre, double radius, double startAngle, double endAngle, double width,
                    settings::Rgb colour) {
  Colour(colour);
  out_.text("newpath");
  Eol();
  while (endAngle < startAngle && std::isfinite(endAngle)) endAngle += kTwoPi;
  Pair(centre.x, centre.y);
  out_.ch(' ');
  Num(radius / pixelsPerUnit_);
  out_.ch(' ');
  Num(ToDegrees(startAngle));
  out_.ch(' ');
  Num(ToDegrees(endAngle));
  out_.text(" arc");
  Eol();
  LineWidth(width);
  out_.text("stroke");
  Eol();
}

void EpsWriter::Circle(Point2 centre, double radius, double width, settings::Rgb colour) {
  Colour(colour);
  out_.text("newpath");
  Eol();
  Pair(centre.x, centre.y);
  out_.ch(' ');
  Num(radius / pixelsPerUnit_);
  out_.text(" 0.0 360.0 arc");
  Eol();
  LineWidth(width);
  out_.text("stroke");
  Eol();
}

void EpsWriter::Solid(std::span<const Point2> points, settings::Rgb colour) {
  if (points.size() < 3) return;
  Colour(colour);
  out_.text("newpath");
  Eol();
  Pair(points[0].x, points[0].y);
  out_.text(" moveto");
  Eol();
  for (size_t i = 1; i < points.size(); ++i) {
    Pair(points[i].x, points[i].y);
    out_.text(" lineto");
    Eol();
  }
  out_.text("0.001 setlinewidth");
  Eol();
  out_.text("fill");
  Eol();
}

void EpsWriter::ArcLine(const SegmentArc& arc, bool counterClockwiseOperands, const char* op) {
  // arc draws counter-clockwise from its first angle to its second; a
  // clockwise segment is the same curve from its end angle to its start angle.
  double from = arc.a0;
  double to = arc.a1;
  if (counterClockwiseOperands && !arc.ccw) std::swap(from, to);
  while (to < from) to += kTwoPi;
  Pair(arc.cx, arc.cy);
  out_.ch(' ');
  Num(arc.radius / pixelsPerUnit_);
  out_.ch(' ');
  Num(ToDegrees(from));
  out_.ch(' ');
  Num(ToDegrees(to));
  out_.ch(' ');
  out_.text(op);
  Eol();
}

void EpsWriter::Polyline(const PathRing& vertices, bool closed, settings::Rgb colour) {
  if (vertices.size() < 2) return;
  Colour(colour);
  const size_t segments = closed ? vertices.size() : vertices.size() - 1;
  for (size_t i = 0; i < segments; ++i) {
    const PathVertex& v = vertices[i];
    const PathVertex& n = vertices[(i + 1) % vertices.size()];
    out_.text("newpath");
    Eol();
    if (std::optional<SegmentArc> arc = BulgeArc(v.x, v.y, n.x, n.y, v.bulge)) {
      ArcLine(*arc, true, "arc");
    } else {
      Pair(v.x, v.y);
      out_.text(" moveto");
      Eol();
      Pair(n.x, n.y);
      out_.text(" lineto");
      Eol();
    }
    LineWidth(v.startWidth);
    out_.text("stroke");
    Eol();
  }
}

void EpsWriter::PolyPolygon(std::span<const PathRing> outlines, settings::Rgb colour) {
  Colour(colour);
  out_.text("newpath");
  Eol();
  for (const PathRing& ring : outlines) {
    if (ring.empty()) continue;
    Pair(ring[0].x, ring[0].y);
    out_.text(" moveto");
    Eol();
    for (size_t i = 0; i < ring.size(); ++i) {
      const PathVertex& v = ring[i];
      const PathVertex& n = ring[(i + 1) % ring.size()];
      if (std::optional<SegmentArc> arc = BulgeArc(v.x, v.y, n.x, n.y, v.bulge)) {
        ArcLine(*arc, false, arc->ccw ? "arc" : "arcn");
      } else {
        Pair(n.x, n.y);
        out_.text(" lineto");
        Eol();
      }
    }
    out_.text("closepath");
    Eol();
  }
  out_.text("eofill");
  Eol();
}

void EpsWriter::End() {
  out_.text("showpage");
  Eol();
  out_.text("%%Trailer");
  Eol();
  out_.text("%%EOF");
  Eol();
}

}  // namespace quillon::formats
