#include "formats/svg/svg_writer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quillon::formats {

namespace {
constexpr std::string_view kEol = "\r\n";
// A saved width below this is no width: the element is drawn as a hairline.
constexpr double kMinWidth = 0.01;

// CSS pixels per destination unit, by the unit suffix of the width attribute.
double CssPixelsPer(std::string_view unitSuffix) {
  if (unitSuffix == "in") return 96.0;
  if (unitSuffix == "cm") return 96.0 / 2.54;
  if (unitSuffix == "mm") return 9.6 / 2.54;
  return 1.0;
}
}  // namespace

SvgWriter::SvgWriter(double pixelsPerUnit, double flipSum, bool saveWidth)
    : pixelsPerUnit_(pixelsPerUnit > 0.0 && std::isfinite(pixelsPerUnit) ? pixelsPerUnit : 1.0),
      flipSum_(flipSum),
      saveWidth_(saveWidth),
      hairline_(1.0 / pixelsPerUnit_) {}

std::string SvgWriter::ColourText(settings::Rgb colour) {
  return "rgb(" + std::to_string(colour.r) + "," + std::to_string(colour.g) + "," + std::to_string(colour.b) + ")";
}

void SvgWriter::Number(double pixels) { out_.fixed(pixels / pixelsPerUnit_, 3); }

void SvgWriter::Pair(double x, double y) {
  Number(x);
  out_.ch(',');
  Number(flipSum_ - y);
}

void SvgWriter::Header(const Box& extents, double width, double height, std::string_view unitSuffix) {
  out_.text("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  out_.text(kEol);
  // A view box in one unit and a size in another give one user unit a scale;
  // the hairline is one raster pixel, and never less than one screen pixel
  // at the document's own size.
  const double boxWidth = (extents.maxX - extents.minX) / pixelsPerUnit_;
  const double boxHeight = (extents.maxY - extents.minY) / pixelsPerUnit_;
  const double css = CssPixelsPer(unitSuffix);
  hairline_ = 1.0 / pixelsPerUnit_;
  if (width > 0.0 && height > 0.0 && std::isfinite(boxWidth) && std::isfinite(boxHeight)) {
    hairline_ = std::max({hairline_, boxWidth / (width * css), boxHeight / (height * css)});
  }
  out_.text("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"");
  out_.fixed(width, 3);
  out_.text(unitSuffix);
  out_.text("\" height=\"");
  out_.fixed(height, 3);
  out_.text(unitSuffix);
  out_.text("\" viewBox=\"");
  Number(extents.minX);
  out_.ch(' ');
  Number(extents.minY);
  out_.ch(' ');
  out_.fixed(extents.maxX / pixelsPerUnit_ - extents.minX / pixelsPerUnit_, 3);
  out_.ch(' ');
  out_.fixed(extents.maxY / pixelsPerUnit_ - extents.minY / pixelsPerUnit_, 3);
  out_.text("\">");
  out_.text(kEol);
  out_.text("  <title>Quillon convert result: </title>");
  out_.text(kEol);
  out_.text("  <desc>Quillon convert result: </desc>");
  out_.text(kEol);
}

void SvgWriter::StrokeEnd(const std::string& colour, double width) {
  StrokeWidth(colour, saveWidth_ && width >= kMinWidth ? width : 0.0);
}

void SvgWriter::StrokeWidth(const std::string& colour, double width) {
  out_.text("fill=\"none\" stroke=\"");
  out_.text(colour);
  out_.text("\" stroke-width=\"");
  if (width > hairline_) {
    out_.fixed(width, 3);
  } else {
    out_.fixed(hairline_, 6);  // a raster pixel in inches needs the digits
  }
  out_.text("\" />");
  out_.text(kEol);
}

void SvgWriter::Line(Point2 start, Point2 end, settings::Rgb colour) {
  out_.text("<path d=\"M ");
  Pair(start.x, start.y);
  out_.text(" L ");
  Pair(end.x, end.y);
  out_.ch('"');
  out_.text(kEol);
  StrokeWidth(ColourText(colour), 0.0);
}

void SvgWriter::Arc(Point2 centre, double radius, double startAngle, double endAngle, double width,
                    settings::Rgb colour) {
  out_.text("<path d=\"M ");
  Pair(centre.x + radius * std::cos(startAngle), centre.y + radius * std::sin(startAngle));
  out_.text(" A ");
  Number(radius);
  out_.ch(',');
  Number(radius);
  out_.text(endAngle - startAngle > std::numbers::pi ? " 0 1,0 " : " 0 0,0 ");
  Pair(centre.x + radius * std::cos(endAngle), centre.y + radius * std::sin(endAngle));
  out_.ch('"');
  out_.text(kEol);
  StrokeEnd(ColourText(colour), width / pixelsPerUnit_);
}

void SvgWriter::Circle(Point2 centre, double radius, double width, settings::Rgb colour) {
  out_.text("<circle cx=\"");
  Number(centre.x);
  out_.text("\" cy=\"");
  Number(flipSum_ - centre.y);
  out_.text("\" r=\"");
  Number(radius);
  out_.ch('"');
  out_.text(kEol);
  StrokeEnd(ColourText(colour), width / pixelsPerUnit_);
}

void SvgWriter::Solid(std::span<const Point2> points, settings::Rgb colour) {
  if (points.size() < 3) return;
  out_.text("<path d=\"M ");
  Pair(points[0].x, points[0].y);
  out_.text(" L");
  for (size_t i = 1; i <= points.size(); ++i) {
    const Point2& p = points[i % points.size()];
    out_.ch(' ');
    Pair(p.x, p.y);
  }
  std::string text = ColourText(colour);
  out_.ch('"');
  out_.text(kEol);
  out_.text("fill=\"" + text + "\" stroke=\"" + text + "\" />");
  out_.text(kEol);
}

void SvgWriter::Segment(const PathVertex& from, const PathVertex& to) {
  std::optional<SegmentArc> arc = BulgeArc(from.x, from.y, to.x, to.y, from.bulge);
  if (!arc) {
    out_.text(" L ");
    Pair(to.x, to.y);
    return;
  }
  // Counter-clockwise in the drawing stays counter-clockwise on screen after
  // the flip, which is SVG's negative sweep direction.
  out_.text(" A ");
  Number(arc->radius);
  out_.ch(',');
  Number(arc->radius);
  out_.text(SweepOf(*arc) > std::numbers::pi ? " 0 1," : " 0 0,");
  out_.text(arc->ccw ? "0 " : "1 ");
  Pair(to.x, to.y);
}

void SvgWriter::PolyPolygon(std::span<const PathRing> outlines, settings::Rgb colour) {
  if (outlines.empty()) return;
  out_.text("<path d=\"");
  for (size_t k = 0; k < outlines.size(); ++k) {
    const PathRing& ring = outlines[k];
    if (!ring.empty()) {
      out_.text("M ");
      Pair(ring[0].x, ring[0].y);
      for (size_t i = 1; i < ring.size(); ++i) Segment(ring[i - 1], ring[i]);
      // A straight closing segment is left to the Z.
      if (ring.size() > 1 && ring.back().bulge != 0.0) Segment(ring.back(), ring.front());
    }
    out_.text(k + 1 < outlines.size() ? "Z" : "Z\"");
    out_.text(kEol);
  }
  out_.text("fill-rule=\"evenodd\" fill=\"" + ColourText(colour) + "\"/>");
  out_.text(kEol);
}

void SvgWriter::Polyline(const PathRing& vertices, bool closed, settings::Rgb colour) {
  if (vertices.size() < 2) return;
  const std::string text = ColourText(colour);
  const size_t visits = closed ? vertices.size() + 1 : vertices.size();
  double widthPrev = 0.0;
  double widthCur = 0.0;
  for (size_t i = 0; i < visits; ++i) {
    const PathVertex& v = vertices[i % vertices.size()];
    if (saveWidth_) {
      widthCur = v.startWidth / pixelsPerUnit_;
      if (i == 0) widthPrev = widthCur;
    }
    if (i == 0) {
      out_.text("<path d=\"M ");
      Pair(v.x, v.y);
      continue;
    }
    Segment(vertices[i - 1], v);
    if (saveWidth_ && std::fabs(widthCur - widthPrev) > kMinWidth) {
      out_.ch('"');
      out_.text(kEol);
      StrokeWidth(text, widthPrev);
      if (i + 1 == visits) return;  // the last piece is already closed
      out_.text("<path d=\"M ");
      Pair(v.x, v.y);
    }
    if (saveWidth_) widthPrev = widthCur;
  }
  out_.ch('"');
  out_.text(kEol);
  StrokeEnd(text, widthCur);
}

void SvgWriter::End() {
  out_.text("</svg>");
  out_.text(kEol);
}

}  // namespace quillon::formats
