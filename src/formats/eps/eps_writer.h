#pragma once
// The Encapsulated PostScript of a saved drawing: a DSC header with the
// bounding box, then one small fragment of basic operators per entity (no
// prolog, no procedures), then showpage. Coordinates arrive in pixels and are
// converted into the drawing's unit, which PostScript reads as points; y is
// not turned (PostScript's y points up like the drawing's). Numbers are "%f";
// lines end in CR LF.

#include <span>
#include <string>

#include "formats/writer_support.h"

namespace quillon::formats {

class EpsWriter {
 public:
  EpsWriter(double pixelsPerUnit, bool saveWidth);

  // The comment lines up to %%EndSetup; the bounding box is the converted
  // extents (pixels in) widened by 1.5 on every side.
  void Header(const Box& extents);
  void Line(Point2 start, Point2 end, settings::Rgb colour);
  // Counter-clockwise from startAngle to endAngle (radians).
  void Arc(Point2 centre, double radius, double startAngle, double endAngle, double width, settings::Rgb colour);
  void Circle(Point2 centre, double radius, double width, settings::Rgb colour);
  void Solid(std::span<const Point2> points, settings::Rgb colour);
  // Every segment its own stroked path, with its start vertex's width.
  void Polyline(const PathRing& vertices, bool closed, settings::Rgb colour);
  void PolyPolygon(std::span<const PathRing> outlines, settings::Rgb colour);
  void End();

  bool failed() const { return out_.failed(); }
  const std::string& error() const { return out_.error(); }
  const std::string& text() const { return out_.str(); }

 private:
  void Num(double value);      // "%f"
  void Pair(double x, double y);  // converted "x y"
  void Colour(settings::Rgb colour);
  void LineWidth(double widthPixels);  // "w setlinewidth" by the SaveWidth rule
  void ArcLine(const SegmentArc& arc, bool counterClockwiseOperands, const char* op);
  void Eol() { out_.text("\r\n"); }

  TextBuffer out_;
  double pixelsPerUnit_;
  bool saveWidth_;
  double hairline_;  // the width of a line without one, in points
};

}  // namespace quillon::formats
