#pragma once
// The drawing onto one PDF page: the destination size becomes the page (in
// points, each side at least 50), the drawing's extents are fitted into it
// with a 15-point margin, anchored at the lower-left corner, y not turned.
// Entity geometry arrives in pixels; the writer converts it into the drawing
// unit and maps it onto the page.

#include <ctime>
#include <span>
#include <string>

#include "formats/pdf/pdf_content.h"
#include "formats/pdf/pdf_objects.h"
#include "formats/writer_support.h"
#include "platform/result.h"

namespace quillon::formats {

// The destination size in points: Inch × 72, cm × 28.3465, mm × 2.83465, Pixel × 1.
double PdfPoints(double size, int unit);

// "D:YYYYMMDDHHmmSS+HH'mm'" of the local time, the sign "+" for zones at or
// east of UTC. Uses the zone's actual offset at that moment (daylight saving
// included), so the stamp names the right instant.
std::string PdfCreationDate(std::time_t when);

class PdfWriter {
 public:
  PdfWriter(double pixelsPerUnit, bool saveWidth);

  // Sets up the page and the mapping. Fails for a destination size that is
  // not a positive finite number.
  Status Begin(const Box& extents, double destWidth, double destHeight, int destUnit);

  void Line(Point2 start, Point2 end, settings::Rgb colour);
  void Arc(Point2 centre, double radius, double startAngle, double endAngle, double width, settings::Rgb colour);
  void Circle(Point2 centre, double radius, double width, settings::Rgb colour);
  void Polyline(const PathRing& vertices, bool closed, settings::Rgb colour);
  void Solid(std::span<const Point2> points, settings::Rgb colour);
  // Filled even-odd and stroked in the one colour; no line width is set.
  void PolyPolygon(std::span<const PathRing> outlines, settings::Rgb colour);

  // Adds the creation date and renders the file. Fails when a value could not
  // be written (not finite) or compression failed.
  Status Finish(std::string& file, std::time_t when);

  PdfContentStream& content() { return *content_; }
  double scale() const { return content_ ? content_->scale() : 1.0; }

 private:
  double X(double px) const { return content_->MapX(px / pixelsPerUnit_); }
  double Y(double py) const { return content_->MapY(py / pixelsPerUnit_); }
  double Length(double px) const { return px / pixelsPerUnit_ * content_->scale(); }
  void StrokeColour(settings::Rgb colour);
  void FillColour(settings::Rgb colour);
  void ArcSegment(const SegmentArc& arc);

  PdfDocument document_;
  size_t page_ = 0;
  PdfContentStream* content_ = nullptr;
  double pixelsPerUnit_;
  bool saveWidth_;
};

}  // namespace quillon::formats
