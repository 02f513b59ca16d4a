#pragma once
// A placeable Windows metafile of a saved drawing, written record by record:
// the 22-byte placeable header (key, frame, 96 units per inch, checksum), the
// metafile header, the records, the end record. Device coordinates are the
// drawing's pixels with y turned downward about the extents box (y becomes
// S − y, S = minY + maxY); x is truncated toward zero, y rounded for lines,
// circles, arcs and solids and truncated for polylines and polypolygons.
// The reference surface is a 96-dpi screen, so the frame in 0.01 mm maps back
// onto the pixel rectangle and one logical unit is one pixel.
//
// Metafile coordinates are 16-bit: a drawing beyond ±32767 pixels, or a
// coordinate that is not a number, makes the writer fail rather than wrap.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "formats/writer_support.h"
#include "platform/result.h"

namespace quillon::formats {

// Windows MulDiv: a·b/c rounded half away from zero.
int WmfMulDiv(int a, int b, int c);

// The exclusive or of the first ten 16-bit words (little-endian) of a placeable header.
uint16_t WmfPlaceableChecksum(const uint8_t* header);

class WmfWriter {
 public:
  WmfWriter(double flipSum, bool saveWidth);

  // The frame from the extents (pixels) and the mapping records.
  void Begin(const Box& extents);
  void Line(Point2 start, Point2 end, settings::Rgb colour);
  void Circle(Point2 centre, double radius, double width, settings::Rgb colour);
  // Counter-clockwise from startAngle to endAngle (radians).
  void Arc(Point2 centre, double radius, double startAngle, double endAngle, double width, settings::Rgb colour);
  // entityWidth: the polyline's own width, for its first pen.
  void Polyline(const PathRing& vertices, bool closed, double entityWidth, settings::Rgb colour);
  void Solid(std::span<const Point2> points, settings::Rgb colour);
  // One even-odd filled figure of all outlines (arcs flattened), not stroked.
  void PolyPolygon(std::span<const PathRing> outlines, settings::Rgb colour);

  // The whole file. Fails when a coordinate could not be represented.
  Status Finish(std::string& file);

  bool failed() const { return failed_; }
  const std::string& error() const { return error_; }
  // The pixel frame left, top, right, bottom (before the 0.01-mm conversion).
  const int* pixelFrame() const { return frame_; }

 private:
  struct PenState {
    int style = -1;
    int width = 0;
    uint32_t colour = 0;
  };
  int X(double x);
  int YRound(double y);
  int YTrunc(double y);
  int Checked(double v);
  void Record(uint16_t function, std::initializer_list<int> params);
  void RecordWords(uint16_t function, const std::vector<uint16_t>& params);
  int CreateObject(uint16_t function, const std::vector<uint16_t>& params);
  void DeleteObject(int index);
  void Pen(int style, int width, settings::Rgb colour);
  void Brush(bool solid, settings::Rgb colour);
  // A polyline's arc segment from vertex `from` to vertex `to`.
  void ArcRecord(const SegmentArc& arc, bool startRadialFirst, Point2 from, Point2 to);
  // Whether the box of the circle about (cx, cy) fits the 16-bit coordinates.
  bool BoxFits(double cx, double cy, double radius) const;
  // An arc as one polyline record of its chords (points in pixels, y up).
  void ArcChords(std::span<const Point2> points, bool roundY);
  void AppendFlattened(std::vector<std::pair<int, int>>& points, const PathRing& ring);

  std::vector<uint16_t> records_;  // little-endian words, written at Finish
  std::vector<bool> slots_;        // object table, true while taken
  size_t maxObjects_ = 0;
  uint32_t maxRecord_ = 0;
  int penIndex_ = -1;
  int brushIndex_ = -1;
  PenState pen_;
  int brushStyle_ = -1;
  uint32_t brushColour_ = 0;
  double flipSum_;
  bool saveWidth_;
  int frame_[4] = {0, 0, 0, 0};
  bool failed_ = false;
  std::string error_;
};

}  // namespace quillon::formats
