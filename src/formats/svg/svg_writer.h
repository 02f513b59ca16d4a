#pragma once
// The SVG 1.1 syntax of a saved drawing: a fixed header, one element per
// entity, the closing tag. Coordinates arrive in pixels with y up; the writer
// converts them into the destination unit (divides by pixels per unit) and
// turns y downward about the extents box (y becomes S − y, S = minY + maxY in
// pixels), so the box maps onto itself. Every line ends in CR LF, as the file
// has always been written in text mode.
//
// Numbers are "%.3f". A coordinate that is not finite or absurdly large makes
// the output fail (failed()) instead of writing "nan".

#include <span>
#include <string>
#include <string_view>

#include "formats/writer_support.h"

namespace quillon::formats {

class SvgWriter {
 public:
  // pixelsPerUnit: the drawing's conversion into the destination unit (1 for
  // Pixel); flipSum: S of the vertical flip, in pixels.
  SvgWriter(double pixelsPerUnit, double flipSum, bool saveWidth);

  // XML declaration, <svg> with the destination size and the view box of the
  // extents (pixels), title and desc.
  void Header(const Box& extents, double width, double height, std::string_view unitSuffix);
  // Lines carry no width: always the hairline.
  void Line(Point2 start, Point2 end, settings::Rgb colour);
  // Counter-clockwise from startAngle to endAngle (radians, end ≥ start).
  void Arc(Point2 centre, double radius, double startAngle, double endAngle, double width, settings::Rgb colour);
  void Circle(Point2 centre, double radius, double width, settings::Rgb colour);
  // Nothing for fewer than three points.
  void Solid(std::span<const Point2> points, settings::Rgb colour);
  // One even-odd filled path of all outlines; nothing without outlines.
  void PolyPolygon(std::span<const PathRing> outlines, settings::Rgb colour);
  // Nothing for fewer than two vertices. With SaveWidth the path is split
  // where the width changes by more than 0.01.
  void Polyline(const PathRing& vertices, bool closed, settings::Rgb colour);
  void End();

  bool failed() const { return out_.failed(); }
  const std::string& error() const { return out_.error(); }
  const std::string& text() const { return out_.str(); }

  // "rgb(r,g,b)": Inkscape reads the function name in lower case only.
  static std::string ColourText(settings::Rgb colour);

 private:
  void Number(double pixels);             // converted
  void Pair(double x, double y);          // converted and flipped "x,y"
  void Segment(const PathVertex& from, const PathVertex& to);
  void StrokeEnd(const std::string& colour, double width);  // width form when SaveWidth and >= 0.01
  // The stroke line with a width, raised to the hairline.
  void StrokeWidth(const std::string& colour, double width);

  TextBuffer out_;
  double pixelsPerUnit_;
  double flipSum_;
  bool saveWidth_;
  // The thinnest visible line in destination units: a zero width in a
  // drawing means that line, never an invisible one.
  double hairline_;
};

}  // namespace quillon::formats
