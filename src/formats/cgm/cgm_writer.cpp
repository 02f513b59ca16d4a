#include "formats/cgm/cgm_writer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace quillon::formats {

namespace {
// Element classes.
constexpr int kDelimiter = 0;
constexpr int kMetafileDescriptor = 1;
constexpr int kPictureDescriptor = 2;
constexpr int kGraphical = 4;
constexpr int kAttribute = 5;

// The longest partition the 15-bit length field can announce, kept even so
// that only the last partition may need a pad byte.
constexpr size_t kMaxPartition = 32766;
// Length of the vector from an arc's centre towards its start and end angle.
constexpr double kArcVector = 100.0;
}  // namespace

bool CgmValue(double value, int16_t& out, bool round) {
  if (!std::isfinite(value)) {
    out = 0;
    return false;
  }
  double t = std::trunc(round ? value + 0.5 : value);
  // Modulo 2^16 without converting an out-of-range double (undefined in C++).
  t = std::fmod(t, 65536.0);
  if (t < 0) t += 65536.0;
  out = static_cast<int16_t>(static_cast<uint16_t>(t));
  return true;
}

void CgmWriter::Word(uint16_t w) {
  out_.push_back(static_cast<char>(w >> 8));
  out_.push_back(static_cast<char>(w & 0xFF));
}

void CgmWriter::Int16(std::vector<uint8_t>& params, int v) {
  auto w = static_cast<uint16_t>(v);
  params.push_back(static_cast<uint8_t>(w >> 8));
  params.push_back(static_cast<uint8_t>(w & 0xFF));
}

void CgmWriter::Value(std::vector<uint8_t>& params, double v, bool round) {
  int16_t encoded = 0;
  if (!CgmValue(v, encoded, round) && !failed_) {
    failed_ = true;
    error_ = "the drawing holds a coordinate that is not a number";
  }
  Int16(params, encoded);
}

void CgmWriter::String(std::vector<uint8_t>& params, std::string_view text) {
  if (text.size() > 254) text = text.substr(0, 254);  // 255 would announce a long string
  params.push_back(static_cast<uint8_t>(text.size()));
  params.insert(params.end(), text.begin(), text.end());
}

void CgmWriter::Colour(std::vector<uint8_t>& params, settings::Rgb colour) {
  params.push_back(colour.r);
  params.push_back(colour.g);
  params.push_back(colour.b);
}

void CgmWriter::Points(std::vector<uint8_t>& params, std::span<const Point2> points) {
  for (const Point2& p : points) {
    Value(params, p.x);
    Value(params, p.y);
  }
}

void CgmWriter::Element(int elementClass, int id, const std::vector<uint8_t>& params, bool longForm) {
  const uint16_t head = static_cast<uint16_t>((elementClass & 0xF) << 12 | (id & 0x7F) << 5);
  if (!longForm && params.size() < 31) {
    Word(static_cast<uint16_t>(head | params.size()));
    out_.append(params.begin(), params.end());
  } else {
    Word(static_cast<uint16_t>(head | 31));
    size_t offset = 0;
    do {
      size_t part = std::min(params.size() - offset, kMaxPartition);
      bool more = offset + part < params.size();
      Word(static_cast<uint16_t>((more ? 0x8000 : 0) | part));
      out_.append(params.begin() + static_cast<std::ptrdiff_t>(offset),
                  params.begin() + static_cast<std::ptrdiff_t>(offset + part));
      offset += part;
    } while (offset < params.size());
  }
  if (params.size() % 2 != 0) out_.push_back('\0');
}

void CgmWriter::Header(const Box& extents, std::string_view title) {
  std::vector<uint8_t> p;
  String(p, "Quillon output cgm file");
  Element(kDelimiter, 1, p, true);  // BEGIN METAFILE
  p.clear();
  Int16(p, 1);
  Element(kMetafileDescriptor, 1, p);  // METAFILE VERSION
  p.clear();
  String(p, title);
  Element(kMetafileDescriptor, 2, p, true);  // METAFILE DESCRIPTION
  p.clear();
  for (int v : {1, -1, 1}) Int16(p, v);  // one entry: the drawing-plus-control set
  Element(kMetafileDescriptor, 11, p);     // METAFILE ELEMENT LIST
  p.clear();
  String(p, title);
  Element(kDelimiter, 3, p, true);  // BEGIN PICTURE
  p.clear();
  Int16(p, 1);
  Element(kPictureDescriptor, 2, p);  // COLOUR SELECTION MODE: direct
  p.clear();
  Int16(p, 0);
  Element(kPictureDescriptor, 5, p);  // EDGE WIDTH SPECIFICATION MODE: absolute
  Element(kPictureDescriptor, 3, p);  // LINE WIDTH SPECIFICATION MODE: absolute
  p.clear();
  // VDC EXTENT: one pixel beyond the extents, truncated toward zero.
  for (double v : {extents.minX - 1, extents.minY - 1, extents.maxX + 1, extents.maxY + 1}) {
    Value(p, v, false);
  }
  Element(kPictureDescriptor, 6, p);
  p.clear();
  // A white page: without it readers show the default black background.
  Colour(p, settings::Rgb{255, 255, 255});
  Element(kPictureDescriptor, 7, p);  // BACKGROUND COLOUR
  Element(kDelimiter, 4, {});  // BEGIN PICTURE BODY
  p.clear();
  Int16(p, 1);
  Element(kAttribute, 30, p);  // EDGE VISIBILITY on
  Element(kAttribute, 28, p);  // EDGE WIDTH 1
  Element(kAttribute, 27, p);  // EDGE TYPE solid
  Element(kAttribute, 22, p);  // INTERIOR STYLE solid
  Element(kAttribute, 3, p);   // LINE WIDTH 1
  lineWidth_ = edgeWidth_ = 1;
  Element(kAttribute, 2, p);   // LINE TYPE solid
  Colours(settings::kRgbBlack);
}

void CgmWriter::Colours(settings::Rgb colour) {
  std::vector<uint8_t> p;
  Colour(p, colour);
  Element(kAttribute, 29, p);  // EDGE COLOUR
  Element(kAttribute, 23, p);  // FILL COLOUR
  Element(kAttribute, 4, p);   // LINE COLOUR
}

int16_t CgmWriter::WidthWord(double width) {
  // Whole pixels, and never below one: a line without width is the thinnest one.
  int16_t w = 1;
  if (width >= 1.5 && CgmValue(width, w)) w = std::max<int16_t>(w, 1);
  return w;
}

void CgmWriter::Width(int id, int16_t& current, double width) {
  const int16_t w = WidthWord(width);
  if (w == current) return;
  std::vector<uint8_t> p;
  Int16(p, w);
  Element(kAttribute, id, p);
  current = w;
}

void CgmWriter::LineWidth(double width) { Width(3, lineWidth_, width); }  // LINE WIDTH
// A circle and a polygon are areas: their outline is drawn as the edge.
void CgmWriter::EdgeWidth(double width) { Width(28, edgeWidth_, width); }  // EDGE WIDTH

void CgmWriter::WritePolyline(std::span<const Point2> points) {
  std::vector<uint8_t> p;
  Points(p, points);
  Element(kGraphical, 1, p, true);  // POLYLINE
}

void CgmWriter::Line(Point2 start, Point2 end) {
  LineWidth(0.0);
  const Point2 points[2] = {start, end};
  WritePolyline(points);
}

void CgmWriter::Circle(Point2 centre, double radius, double width) {
  LineWidth(width);
  EdgeWidth(width);
  std::vector<uint8_t> p;
  Int16(p, 0);
  Element(kAttribute, 22, p);  // INTERIOR STYLE hollow
  p.clear();
  Value(p, centre.x);
  Value(p, centre.y);
  Value(p, radius);
  Element(kGraphical, 12, p);  // CIRCLE
}

void CgmWriter::Arc(Point2 centre, double radius, Point2 start, Point2 end, double width) {
  LineWidth(width);
  std::vector<uint8_t> p;
  Value(p, centre.x);
  Value(p, centre.y);
  Value(p, start.x - centre.x);
  Value(p, start.y - centre.y);
  Value(p, end.x - centre.x);
  Value(p, end.y - centre.y);
  Value(p, radius);
  Element(kGraphical, 15, p);  // CIRCULAR ARC CENTRE
}

void CgmWriter::Solid(std::span<const Point2> points) {
  if (points.size() < 3) return;
  EdgeWidth(0.0);
  std::vector<uint8_t> p;
  Int16(p, 1);
  Element(kAttribute, 22, p);  // INTERIOR STYLE solid
  p.clear();
  const size_t n = points.size() == 3 ? 3 : 4;
  for (size_t i = 1; i <= n; ++i) {
    const Point2& q = points[i % n];
    Value(p, q.x);
    Value(p, q.y);
  }
  Element(kGraphical, 7, p, true);  // POLYGON
}

void CgmWriter::Polyline(const PathRing& vertices, bool closed) {
  if (vertices.size() < 2) return;
  std::vector<Point2> run;
  const size_t count = closed ? vertices.size() : vertices.size() - 1;
  for (size_t i = 0; i < count; ++i) {
    const PathVertex& v = vertices[i];
    const PathVertex& n = vertices[(i + 1) % vertices.size()];
    std::optional<SegmentArc> arc = BulgeArc(v.x, v.y, n.x, n.y, v.bulge);
    // A run ends where the next segment is an arc or has another width.
    if (!run.empty() && (arc || WidthWord(v.startWidth) != lineWidth_)) {
      run.push_back({v.x, v.y});
      WritePolyline(run);
      run.clear();
    }
    LineWidth(v.startWidth);
    if (!arc) {
      run.push_back({v.x, v.y});
      continue;
    }
    // CIRCULAR ARC CENTRE always runs counter-clockwise: a clockwise segment
    // is the same curve from its end to its start.
    double from = arc->a0;
    double to = arc->a1;
    if (!arc->ccw) std::swap(from, to);
    Arc({arc->cx, arc->cy}, arc->radius,
        {arc->cx + kArcVector * std::cos(from), arc->cy + kArcVector * std::sin(from)},
        {arc->cx + kArcVector * std::cos(to), arc->cy + kArcVector * std::sin(to)}, v.startWidth);
  }
  if (!run.empty()) {
    const PathVertex& last = closed ? vertices.front() : vertices.back();
    run.push_back({last.x, last.y});
    WritePolyline(run);
  }
}

void CgmWriter::End() {
  Element(kDelimiter, 5, {});  // END PICTURE
  Element(kDelimiter, 2, {});  // END METAFILE
}

}  // namespace quillon::formats
