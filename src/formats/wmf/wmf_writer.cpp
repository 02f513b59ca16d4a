#include "formats/wmf/wmf_writer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quillon::formats {

namespace {

// Record functions.
constexpr uint16_t kEof = 0x0000;
constexpr uint16_t kSetBkMode = 0x0102;
constexpr uint16_t kSetMapMode = 0x0103;
constexpr uint16_t kSetPolyFillMode = 0x0106;
constexpr uint16_t kSetWindowOrg = 0x020B;
constexpr uint16_t kSetWindowExt = 0x020C;
constexpr uint16_t kSelectObject = 0x012D;
constexpr uint16_t kDeleteObject = 0x01F0;
constexpr uint16_t kCreatePenIndirect = 0x02FA;
constexpr uint16_t kCreateBrushIndirect = 0x02FC;
constexpr uint16_t kLineTo = 0x0213;
constexpr uint16_t kMoveTo = 0x0214;
constexpr uint16_t kEllipse = 0x0418;
constexpr uint16_t kArc = 0x0817;
constexpr uint16_t kPolygon = 0x0324;
constexpr uint16_t kPolyline = 0x0325;
constexpr uint16_t kPolyPolygon = 0x0538;

constexpr int kPsSolid = 0;
constexpr int kPsNull = 5;
constexpr int kMmAnisotropic = 8;
constexpr int kTransparent = 1;
constexpr int kAlternate = 1;

// The reference screen: 96 pixels per inch, so 2540/96 hundredths of a
// millimetre per pixel (HORZSIZE·100 / HORZRES).
constexpr int kScreenDpi = 96;
constexpr int kHundredthMmPerInch = 2540;
// Flattening tolerance for arcs written as chords, in pixels.
constexpr double kFlatness = 0.25;
// Metafile coordinates are signed 16-bit words.
constexpr double kWordLimit = 32767.0;

// The points of an arc from angle a0 through the signed sweep, ends included,
// as chords within kFlatness of the curve.
std::vector<Point2> ArcPoints(double cx, double cy, double radius, double a0, double sweep) {
  const double step = radius > kFlatness ? 2.0 * std::acos(1.0 - kFlatness / radius) : std::fabs(sweep);
  const int pieces = std::clamp(static_cast<int>(std::ceil(std::fabs(sweep) / std::max(step, 1e-3))), 1, 4096);
  std::vector<Point2> points;
  points.reserve(static_cast<size_t>(pieces) + 1);
  for (int k = 0; k <= pieces; ++k) {
    const double a = a0 + sweep * k / pieces;
    points.push_back({cx + radius * std::cos(a), cy + radius * std::sin(a)});
  }
  return points;
}

uint32_t ColourRef(settings::Rgb c) { return c.colorRef(); }

void PutWord(std::string& out, uint16_t w) {
  out.push_back(static_cast<char>(w & 0xFF));
  out.push_back(static_cast<char>(w >> 8));
}
void PutDword(std::string& out, uint32_t d) {
  PutWord(out, static_cast<uint16_t>(d & 0xFFFF));
  PutWord(out, static_cast<uint16_t>(d >> 16));
}
}  // namespace

int WmfMulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  return static_cast<int>(std::llround(static_cast<double>(a) * b / c));
}

uint16_t WmfPlaceableChecksum(const uint8_t* header) {
  uint16_t sum = 0;
  for (int i = 0; i < 10; ++i) sum ^= static_cast<uint16_t>(header[2 * i] | header[2 * i + 1] << 8);
  return sum;
}

WmfWriter::WmfWriter(double flipSum, bool saveWidth) : flipSum_(flipSum), saveWidth_(saveWidth) {}

int WmfWriter::Checked(double v) {
  if (!std::isfinite(v)) {
    if (!failed_) error_ = "the drawing holds a coordinate that is not a number";
    failed_ = true;
    return 0;
  }
  if (v < -32767.0 || v > 32767.0) {
    if (!failed_) error_ = "the drawing is too large for a Windows metafile (coordinates beyond 32767 pixels)";
    failed_ = true;
    return 0;
  }
  return static_cast<int>(v);
}

int WmfWriter::X(double x) { return Checked(std::trunc(x)); }
int WmfWriter::YRound(double y) { return Checked(std::trunc(flipSum_ - y + 0.5)); }
int WmfWriter::YTrunc(double y) { return Checked(std::trunc(flipSum_ - y)); }

void WmfWriter::RecordWords(uint16_t function, const std::vector<uint16_t>& params) {
  const uint32_t size = static_cast<uint32_t>(3 + params.size());
  records_.push_back(static_cast<uint16_t>(size & 0xFFFF));
  records_.push_back(static_cast<uint16_t>(size >> 16));
  records_.push_back(function);
  records_.insert(records_.end(), params.begin(), params.end());
  maxRecord_ = std::max(maxRecord_, size);
}

void WmfWriter::Record(uint16_t function, std::initializer_list<int> params) {
  std::vector<uint16_t> words;
  for (int p : params) words.push_back(static_cast<uint16_t>(p));
  RecordWords(function, words);
}

int WmfWriter::CreateObject(uint16_t function, const std::vector<uint16_t>& params) {
  // A new object takes the lowest free slot of the object table.
  size_t index = 0;
  while (index < slots_.size() && slots_[index]) ++index;
  if (index == slots_.size()) slots_.push_back(false);
  slots_[index] = true;
  maxObjects_ = std::max(maxObjects_, slots_.size());
  RecordWords(function, params);
  Record(kSelectObject, {static_cast<int>(index)});
  return static_cast<int>(index);
}

void WmfWriter::DeleteObject(int index) {
  if (index < 0) return;
  Record(kDeleteObject, {index});
  slots_[static_cast<size_t>(index)] = false;
}

void WmfWriter::Pen(int style, int width, settings::Rgb colour) {
  const uint32_t ref = ColourRef(colour);
  if (penIndex_ >= 0 && pen_.style == style && pen_.width == width && pen_.colour == ref) return;
  // The new pen is selected before the old one is deleted, so no selected object is ever deleted.
  int previous = penIndex_;
  penIndex_ = CreateObject(kCreatePenIndirect, {static_cast<uint16_t>(style), static_cast<uint16_t>(width), 0,
                                                static_cast<uint16_t>(ref & 0xFFFF), static_cast<uint16_t>(ref >> 16)});
  DeleteObject(previous);
  pen_ = {style, width, ref};
}

void WmfWriter::Brush(bool solid, settings::Rgb colour) {
  const int style = solid ? 0 : 1;  // BS_SOLID, BS_NULL
  const uint32_t ref = solid ? ColourRef(colour) : 0;
  if (brushIndex_ >= 0 && brushStyle_ == style && brushColour_ == ref) return;
  int previous = brushIndex_;
  brushIndex_ = CreateObject(kCreateBrushIndirect, {static_cast<uint16_t>(style), static_cast<uint16_t>(ref & 0xFFFF),
                                                    static_cast<uint16_t>(ref >> 16), 0});
  DeleteObject(previous);
  brushStyle_ = style;
  brushColour_ = ref;
}

void WmfWriter::Begin(const Box& extentsIn) {
  Box e = extentsIn;
  if (e.minX > e.maxX) std::swap(e.minX, e.maxX);
  if (e.minY > e.maxY) std::swap(e.minY, e.maxY);
  frame_[0] = Checked(std::trunc(e.minX)) - 1;
  frame_[1] = Checked(std::trunc(e.minY));
  frame_[2] = Checked(std::trunc(e.maxX)) + 1;
  frame_[3] = Checked(std::trunc(e.maxY)) + 1;
  Record(kSetMapMode, {kMmAnisotropic});
  Record(kSetWindowOrg, {frame_[1], frame_[0]});
  Record(kSetWindowExt, {frame_[3] - frame_[1], frame_[2] - frame_[0]});
  Record(kSetBkMode, {kTransparent});
  Record(kSetPolyFillMode, {kAlternate});
}

void WmfWriter::Line(Point2 start, Point2 end, settings::Rgb colour) {
  Pen(kPsSolid, 0, colour);
  Record(kMoveTo, {YRound(start.y), X(start.x)});
  Record(kLineTo, {YRound(end.y), X(end.x)});
}

void WmfWriter::Circle(Point2 centre, double radius, double width, settings::Rgb colour) {
  Pen(kPsSolid, saveWidth_ ? Checked(std::trunc(width)) : 0, colour);
  Brush(false, colour);
  const int left = X(centre.x - radius);
  const int top = YRound(centre.y + radius);
  const int right = X(centre.x + radius);
  const int bottom = YRound(centre.y - radius);
  Record(kEllipse, {bottom, right, top, left});
}

bool WmfWriter::BoxFits(double cx, double cy, double radius) const {
  for (double v : {cx - radius, cx + radius, flipSum_ - cy - radius, flipSum_ - cy + radius}) {
    if (!(std::fabs(std::trunc(v)) <= kWordLimit - 1.0)) return false;  // one to spare for rounding
  }
  return true;
}

void WmfWriter::ArcChords(std::span<const Point2> points, bool roundY) {
  std::vector<uint16_t> params = {static_cast<uint16_t>(points.size())};
  for (const Point2& p : points) {
    params.push_back(static_cast<uint16_t>(X(p.x)));
    params.push_back(static_cast<uint16_t>(roundY ? YRound(p.y) : YTrunc(p.y)));
  }
  RecordWords(kPolyline, params);
}

void WmfWriter::Arc(Point2 centre, double radius, double startAngle, double endAngle, double width,
                    settings::Rgb colour) {
  Pen(kPsSolid, saveWidth_ ? Checked(std::trunc(width)) : 0, colour);
  if (!BoxFits(centre.x, centre.y, radius)) {
    // The circle's box cannot be written: the arc goes as chords.
    double sweep = endAngle - startAngle;
    while (sweep < 0.0 && std::isfinite(sweep)) sweep += 2.0 * std::numbers::pi;
    ArcChords(ArcPoints(centre.x, centre.y, radius, startAngle, sweep), true);
    return;
  }
  const int left = X(centre.x - radius);
  const int top = YRound(centre.y + radius);
  const int right = X(centre.x + radius);
  const int bottom = YRound(centre.y - radius);
  const int xs = X(centre.x + radius * std::cos(startAngle));
  const int ys = YRound(centre.y + radius * std::sin(startAngle));
  const int xe = X(centre.x + radius * std::cos(endAngle));
  const int ye = YRound(centre.y + radius * std::sin(endAngle));
  // The default direction, counter-clockwise on the page, draws from the start radial to the end radial.
  Record(kArc, {ye, xe, ys, xs, bottom, right, top, left});
}

void WmfWriter::ArcRecord(const SegmentArc& arc, bool startRadialFirst, Point2 from, Point2 to) {
  if (!BoxFits(arc.cx, arc.cy, arc.radius)) {
    // A nearly straight segment has a circle far beyond the 16-bit range;
    // its chords end exactly on the segment's vertices.
    std::vector<Point2> chords = ArcPoints(arc.cx, arc.cy, arc.radius, arc.a0, (arc.ccw ? 1.0 : -1.0) * SweepOf(arc));
    chords.front() = from;
    chords.back() = to;
    ArcChords(chords, false);
    return;
  }
  // The corners (cx + R, cy + R) and (cx − R, cy − R), put in order: some
  // players (libwmf) draw a full ellipse for a rectangle given right to left.
  const int xa = X(arc.cx + arc.radius);
  const int ya = YTrunc(arc.cy + arc.radius);
  const int xb = X(arc.cx - arc.radius);
  const int yb = YTrunc(arc.cy - arc.radius);
  const int left = std::min(xa, xb), right = std::max(xa, xb);
  const int top = std::min(ya, yb), bottom = std::max(ya, yb);
  // The radial points lie on the circle: libwmf takes them for the arc's
  // ends, and radials far outside gave it stray ellipses.
  int xs = X(arc.cx + arc.radius * std::cos(arc.a0));
  int ys = YTrunc(arc.cy + arc.radius * std::sin(arc.a0));
  int xe = X(arc.cx + arc.radius * std::cos(arc.a1));
  int ye = YTrunc(arc.cy + arc.radius * std::sin(arc.a1));
  if (!startRadialFirst) {
    std::swap(xs, xe);
    std::swap(ys, ye);
  }
  Record(kArc, {ye, xe, ys, xs, bottom, right, top, left});
}

void WmfWriter::Polyline(const PathRing& vertices, bool closed, double entityWidth, settings::Rgb colour) {
  if (vertices.size() < 2) return;
  Pen(kPsSolid, saveWidth_ ? Checked(std::trunc(entityWidth)) : 0, colour);
  const size_t count = closed ? vertices.size() : vertices.size() - 1;
  for (size_t i = 0; i < count; ++i) {
    const PathVertex& v = vertices[i];
    const PathVertex& n = vertices[(i + 1) % vertices.size()];
    if (saveWidth_) {
      const int w = Checked(std::trunc(v.startWidth));
      if (w != 0) Pen(kPsSolid, w, colour);
    }
    if (std::optional<SegmentArc> arc = BulgeArc(v.x, v.y, n.x, n.y, v.bulge)) {
      ArcRecord(*arc, arc->ccw, {v.x, v.y}, {n.x, n.y});
    } else {
      Record(kMoveTo, {YTrunc(v.y), X(v.x)});
      Record(kLineTo, {YTrunc(n.y), X(n.x)});
    }
  }
}

void WmfWriter::Solid(std::span<const Point2> points, settings::Rgb colour) {
  if (points.size() < 3) return;
  Pen(kPsSolid, 0, colour);
  Brush(true, colour);
  std::vector<uint16_t> params = {static_cast<uint16_t>(points.size())};
  for (const Point2& p : points) {
    params.push_back(static_cast<uint16_t>(X(p.x)));
    params.push_back(static_cast<uint16_t>(YRound(p.y)));
  }
  RecordWords(kPolygon, params);
}

void WmfWriter::AppendFlattened(std::vector<std::pair<int, int>>& points, const PathRing& ring) {
  for (size_t i = 0; i < ring.size(); ++i) {
    const PathVertex& v = ring[i];
    const PathVertex& n = ring[(i + 1) % ring.size()];
    points.emplace_back(X(v.x), YTrunc(v.y));
    std::optional<SegmentArc> arc = BulgeArc(v.x, v.y, n.x, n.y, v.bulge);
    if (!arc) continue;
    // A metafile has no paths: the arc becomes chords; its ends are the ring's vertices.
    const std::vector<Point2> chords =
        ArcPoints(arc->cx, arc->cy, arc->radius, arc->a0, (arc->ccw ? 1.0 : -1.0) * SweepOf(*arc));
    for (size_t k = 1; k + 1 < chords.size(); ++k) points.emplace_back(X(chords[k].x), YTrunc(chords[k].y));
  }
}

void WmfWriter::PolyPolygon(std::span<const PathRing> outlines, settings::Rgb colour) {
  std::vector<uint16_t> counts;
  std::vector<std::pair<int, int>> points;
  for (const PathRing& ring : outlines) {
    const size_t before = points.size();
    AppendFlattened(points, ring);
    const size_t added = points.size() - before;
    if (added > 32767) {
      if (!failed_) error_ = "an outline has too many points for a Windows metafile";
      failed_ = true;
      return;
    }
    if (added > 0) counts.push_back(static_cast<uint16_t>(added));
  }
  if (counts.empty()) return;
  Pen(kPsNull, 0, colour);
  Brush(true, colour);
  std::vector<uint16_t> params = {static_cast<uint16_t>(counts.size())};
  params.insert(params.end(), counts.begin(), counts.end());
  for (const auto& [x, y] : points) {
    params.push_back(static_cast<uint16_t>(x));
    params.push_back(static_cast<uint16_t>(y));
  }
  RecordWords(kPolyPolygon, params);
}

Status WmfWriter::Finish(std::string& file) {
  if (failed_) return Status::Fail(error_);
  DeleteObject(penIndex_);  // objects still selected at the end are simply dropped by players
  DeleteObject(brushIndex_);
  penIndex_ = brushIndex_ = -1;
  Record(kEof, {});

  file.clear();
  // Placeable header: the frame converted to 0.01 mm on the reference screen,
  // then to 96 units per inch.
  PutDword(file, 0x9AC6CDD7u);
  PutWord(file, 0);
  for (int i = 0; i < 4; ++i) {
    const int hundredthMm = WmfMulDiv(frame_[i], kHundredthMmPerInch, kScreenDpi);
    PutWord(file, static_cast<uint16_t>(WmfMulDiv(hundredthMm, kScreenDpi, kHundredthMmPerInch)));
  }
  PutWord(file, kScreenDpi);
  PutDword(file, 0);
  PutWord(file, WmfPlaceableChecksum(reinterpret_cast<const uint8_t*>(file.data())));

  const uint32_t totalWords = 9 + static_cast<uint32_t>(records_.size());
  PutWord(file, 1);       // memory metafile
  PutWord(file, 9);       // header size in words
  PutWord(file, 0x0300);  // Windows 3.0 records
  PutDword(file, totalWords);
  PutWord(file, static_cast<uint16_t>(maxObjects_));
  PutDword(file, maxRecord_);
  PutWord(file, 0);
  for (uint16_t w : records_) PutWord(file, w);
  return Status::Ok();
}

}  // namespace quillon::formats
