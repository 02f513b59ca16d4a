#pragma once
// The binary Computer Graphics Metafile encoding (ISO 8632-3) of a saved
// drawing: one picture, every entity its three colours and its primitives.
// Coordinates are the drawing's pixels as signed 16-bit VDC integers (value +
// 0.5, truncated toward zero, taken modulo 2^16); no unit conversion.
//
// Element header word: class in bits 15-12, id in bits 11-5, parameter length
// in bits 4-0; 31 announces the long form, whose next word holds the length
// (bit 15 set when another partition follows). Words are big-endian. A
// parameter list of odd length is followed by one zero byte, not counted.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/writer_support.h"

namespace quillon::formats {

// Encodes one VDC value (rounded, or truncated toward zero when round is
// false); false (and 0) for a value that is not finite.
bool CgmValue(double value, int16_t& out, bool round = true);

class CgmWriter {
 public:
  // BEGIN METAFILE up to the default attributes of the picture body. title is
  // the file's base name (cut to 254 characters, the longest short string).
  void Header(const Box& extents, std::string_view title);
  // EDGE, FILL and LINE COLOUR.
  void Colours(settings::Rgb colour);
  void Line(Point2 start, Point2 end);
  // Widths are in pixels; a width below one pixel draws one pixel wide.
  void Circle(Point2 centre, double radius, double width);
  // CIRCULAR ARC CENTRE: counter-clockwise from the start point to the end point.
  void Arc(Point2 centre, double radius, Point2 start, Point2 end, double width);
  // POLYGON of p2, p3, …, p1; nothing for fewer than three points.
  void Solid(std::span<const Point2> points);
  // Straight runs of one width as POLYLINE, arc segments as CIRCULAR ARC
  // CENTRE, each segment with the width of its start vertex.
  void Polyline(const PathRing& vertices, bool closed);
  void End();

  bool failed() const { return failed_; }
  const std::string& error() const { return error_; }
  const std::string& bytes() const { return out_; }

  // One element with its parameters; the long form when forced or when the
  // list does not fit the short form, split into partitions of at most 32766
  // bytes when it is longer than a partition can hold.
  void Element(int elementClass, int id, const std::vector<uint8_t>& params, bool longForm = false);

 private:
  void Word(uint16_t w);
  void Value(std::vector<uint8_t>& params, double v, bool round = true);
  void Points(std::vector<uint8_t>& params, std::span<const Point2> points);
  static void Int16(std::vector<uint8_t>& params, int v);
  static void String(std::vector<uint8_t>& params, std::string_view text);
  static void Colour(std::vector<uint8_t>& params, settings::Rgb colour);
  void WritePolyline(std::span<const Point2> points);
  static int16_t WidthWord(double width);
  // LINE WIDTH and EDGE WIDTH, written only when they change.
  void Width(int id, int16_t& current, double width);
  void LineWidth(double width);
  void EdgeWidth(double width);

  std::string out_;
  int16_t lineWidth_ = 1;
  int16_t edgeWidth_ = 1;
  bool failed_ = false;
  std::string error_;
};

}  // namespace quillon::formats
