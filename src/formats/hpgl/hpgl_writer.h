#pragma once
// The HP-GL plot commands of a saved drawing, all for pen 1, written back to
// back with their ";" terminators. A point is converted from pixels into the
// drawing unit and multiplied by the plotter units of that unit (1016 per
// inch, 400 per cm, 40 per mm, 10 per pixel); y is not turned. Numbers are
// "%f", angles degrees. The only line break follows a filled polypolygon.

#include <span>
#include <string>

#include "formats/writer_support.h"

namespace quillon::formats {

// Plotter units per drawing unit (0 Inch, 1 cm, 2 mm, 3 Pixel; other values as Pixel).
double HpglUnitFactor(int drawingUnit);

class HpglWriter {
 public:
  // pixelsPerUnit: the drawing's conversion into its unit; drawingUnit selects the plotter factor.
  HpglWriter(double pixelsPerUnit, int drawingUnit);

  void Header();  // "IN;SP1;"
  void Line(Point2 start, Point2 end);
  void Circle(Point2 centre, double radius);
  // Counter-clockwise from startAngle to endAngle (radians).
  void Arc(Point2 centre, double radius, double startAngle, double endAngle);
  void Polyline(const PathRing& vertices, bool closed);
  void Solid(std::span<const Point2> points);
  void PolyPolygon(std::span<const PathRing> outlines);

  bool failed() const { return out_.failed(); }
  const std::string& error() const { return out_.error(); }
  const std::string& text() const { return out_.str(); }

 private:
  void Pair(double x, double y);  // "x,y" in plotter units
  void Command(const char* name, double x, double y);  // "NAMEx,y;"
  void Segments(const PathRing& ring, size_t count);

  TextBuffer out_;
  double scale_;  // plotter units per pixel
};

}  // namespace quillon::formats
