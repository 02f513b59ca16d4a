// Every entity's DXF records, both variants. Geometry in pixels is converted
// to the drawing unit by the writer; bulges have no unit.

#include <cmath>

#include "formats/dxf/dxf_writer.h"
#include "model/arc.h"
#include "model/circle.h"
#include "model/layer.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"

namespace quillon::model {

namespace {

using formats::DxfWriter;

constexpr double kRadiansToDegrees = 180.0 / kPi;
// Below this width (pixels) the 2000 variant writes a plain ARC.
constexpr double kMinArcPolylineWidth = 0.01;

std::string_view LayerName(const CEntity& entity) {
  return entity.layer() ? std::string_view(entity.layer()->name()) : std::string_view("0");
}

// The record start and the groups every entity carries: handle, subclass,
// layer and, unless ByLayer, the colour.
bool WriteCommon(DxfWriter& file, const CEntity& entity, std::string_view recordType) {
  if (!(file.Group("  0", recordType) && file.Hex("  5", entity.handle()) && file.Group("  100", "AcDbEntity") &&
        file.Name("  8", LayerName(entity)))) {
    return false;
  }
  return entity.colour() == settings::kColorByLayer || file.Int("  62", entity.colour());
}

constexpr std::string_view kZeroElevation[] = {"  10", "0.0", "  20", "0.0", "  30", "0.0"};

// The R10 POLYLINE head after the common groups: vertices follow, closed flag.
bool WritePolylineHeadR10(DxfWriter& file, const CEntity& entity, bool closed) {
  return WriteCommon(file, entity, "POLYLINE") && file.Group("  66", "  1") && file.Group("  70", closed ? "1" : "0") &&
         file.Lines(kZeroElevation);
}

// One R10 VERTEX; width and bulge optional.
bool WriteVertexR10(DxfWriter& file, const CEntity& entity, double x, double y, const double* width,
                    const double* bulge) {
  bool ok = file.Group("  0", "VERTEX") && file.Name("  8", LayerName(entity)) && file.Point("  10", "  20", x, y) &&
            file.Group("  30", "0.0");
  if (ok && width) ok = file.Real("  40", *width) && file.Real("  41", *width);
  if (ok && bulge) ok = file.Real("  42", *bulge);
  return ok;
}

bool WriteSeqEnd(DxfWriter& file) { return file.Group("  0", "SEQEND"); }

// The bulge of an arc written as a polyline segment (always positive, the
// arc runs counter-clockwise); nothing when start and end coincide.
bool ArcBulge(const CArc& arc, double& bulge) {
  const Point3 a = arc.getStartPoint(), b = arc.getEndPoint();
  if (samePoint(a, b)) return false;
  const double chord = std::hypot(a.x - b.x, a.y - b.y);
  if (chord <= 0.0) return false;
  const double mx = (a.x + b.x) / 2.0, my = (a.y + b.y) / 2.0;
  const double dx = arc.centre().x - mx, dy = arc.centre().y - my;
  const double d = isZeroVector(dx, dy) ? 0.0 : std::hypot(dx, dy);
  const double sagitta = arc.sweep() > kPi ? arc.radius() + d : arc.radius() - d;
  bulge = 2.0 * sagitta / chord;
  return true;
}

// The two half circles of a wide circle: the points at angle 0 and π.
void CircleHalves(const CCircle& circle, Point3& p0, Point3& p1) {
  p0 = pointOnCircle(circle.centre(), circle.radius(), 0.0);
  p1 = pointOnCircle(circle.centre(), circle.radius(), kPi);
}

// Solid corners in the order the record lists them: a quadrilateral as
// p1, p2, p4, p3 (the record's corner order), a triangle with its third
// point repeated.
bool WriteSolid(DxfWriter& file, const CSolid& solid, std::string_view recordType, bool subclass) {
  const auto& p = solid.points();
  if (p.size() < 3) return file.Fail("a solid with fewer than 3 points cannot be written");
  const Point3 corners[4] = {p[0], p[1], p.size() == 4 ? p[3] : p[2], p[2]};
  if (!WriteCommon(file, solid, recordType)) return false;
  if (subclass && !file.Group("100", "AcDbTrace")) return false;
  static constexpr std::string_view kCodes[4][2] = {{"  10", "  20"}, {"  11", "  21"}, {"  12", "  22"}, {"  13", "  23"}};
  for (int i = 0; i < 4; ++i) {
    if (!file.Point(kCodes[i][0], kCodes[i][1], corners[i].x, corners[i].y)) return false;
  }
  return true;
}

}  // namespace

// --- line ---------------------------------------------------------------------------

bool CLine::WriteDxf2000(DxfWriter& file, bool) const {
  return WriteCommon(file, *this, "LINE") && file.Group("100", "AcDbLine") &&
         file.Point("  10", "  20", start().x, start().y) && file.Point("  11", "  21", end().x, end().y);
}

bool CLine::WriteDxfR10(DxfWriter& file, bool) const {
  return WriteCommon(file, *this, "LINE") && file.Point("  10", "  20", start().x, start().y) &&
         file.Point("  11", "  21", end().x, end().y);
}

// --- polyline -------------------------------------------------------------------------

bool CPolyLine::WriteDxf2000(DxfWriter& file, bool saveWidth) const {
  const auto& v = vertices();
  if (v.size() < 2) return true;  // nothing to draw; counts as written
  if (!(WriteCommon(file, *this, "LWPOLYLINE") && file.Group("100", "AcDbPolyline") &&
        file.IntPadded("  90", static_cast<long long>(v.size())) && file.Group("  70", isClosed() ? "1" : "0"))) {
    return false;
  }
  for (const PolyVertex& vertex : v) {
    if (!file.Point("  10", "  20", vertex.x, vertex.y)) return false;
    if (saveWidth) {
      const double w = file.LengthToUnit(vertex.startWidth);
      if (!(file.Real("  40", w) && file.Real("  41", w))) return false;
    }
    if (vertex.hasBulge() && !file.Real("  42", vertex.bulge)) return false;
  }
  return true;
}

bool CPolyLine::WriteDxfR10(DxfWriter& file, bool saveWidth) const {
  const auto& v = vertices();
  if (v.size() < 2) return true;
  if (!WritePolylineHeadR10(file, *this, isClosed())) return false;
  for (const PolyVertex& vertex : v) {
    const double w = file.LengthToUnit(vertex.startWidth);
    if (!WriteVertexR10(file, *this, vertex.x, vertex.y, saveWidth ? &w : nullptr,
                        vertex.hasBulge() ? &vertex.bulge : nullptr)) {
      return false;
    }
  }
  return WriteSeqEnd(file);
}

// --- circle ----------------------------------------------------------------------------

bool CCircle::WriteDxf2000(DxfWriter& file, bool saveWidth) const {
  if (saveWidth && width() > 0.0) {
    Point3 p0, p1;
    CircleHalves(*this, p0, p1);
    return WriteCommon(file, *this, "LWPOLYLINE") && file.Group("100", "AcDbPolyline") &&
           file.Group("  90", "  2") && file.Group("  70", "1") && file.RealPadded("  43", file.LengthToUnit(width())) &&
           file.Point("  10", "  20", p0.x, p0.y) && file.Group("  42", "  1.0") &&
           file.Point("  10", "  20", p1.x, p1.y) && file.Group("  42", "  1.0");
  }
  return WriteCommon(file, *this, "CIRCLE") && file.Group("100", "AcDbCircle") &&
         file.Point("  10", "  20", centre().x, centre().y) && file.Real("  40", file.LengthToUnit(radius()));
}

bool CCircle::WriteDxfR10(DxfWriter& file, bool saveWidth) const {
  if (saveWidth && width() > 0.0) {
    Point3 p0, p1;
    CircleHalves(*this, p0, p1);
    const double w = file.LengthToUnit(width());
    return WritePolylineHeadR10(file, *this, true) && file.RealPadded("  40", w) &&
           WriteVertexR10(file, *this, p0.x, p0.y, &w, nullptr) && file.Group("  42", "  1.0") &&
           WriteVertexR10(file, *this, p1.x, p1.y, &w, nullptr) && file.Group("  42", "  1.0") &&
           WriteSeqEnd(file);
  }
  return WriteCommon(file, *this, "CIRCLE") && file.Point("  10", "  20", centre().x, centre().y) &&
         file.Real("  40", file.LengthToUnit(radius()));
}

// --- arc ---------------------------------------------------------------------------------

namespace {
bool WritePlainArc(DxfWriter& file, const CArc& arc, bool arcSubclass) {
  return WriteCommon(file, arc, "ARC") && file.Group("100", "AcDbCircle") &&
         file.Point("  10", "  20", arc.centre().x, arc.centre().y) &&
         file.Real("  40", file.LengthToUnit(arc.radius())) && (!arcSubclass || file.Group("100", "AcDbArc")) &&
         file.Real("  50", arc.startAngle() * kRadiansToDegrees) && file.Real("  51", arc.endAngle() * kRadiansToDegrees);
}
}  // namespace

bool CArc::WriteDxf2000(DxfWriter& file, bool saveWidth) const {
  if (!(saveWidth && width() >= kMinArcPolylineWidth)) return WritePlainArc(file, *this, true);
  double bulge = 0.0;
  const bool hasBulge = ArcBulge(*this, bulge);
  const Point3 a = getStartPoint(), b = getEndPoint();
  return WriteCommon(file, *this, "LWPOLYLINE") && file.Group("100", "AcDbPolyline") && file.Group("  90", "  2") &&
         file.Group("  70", "0") && file.RealPadded("  43", file.LengthToUnit(width())) &&
         file.Point("  10", "  20", a.x, a.y) && (!hasBulge || file.Real("  42", bulge)) &&
         file.Point("  10", "  20", b.x, b.y);
}

bool CArc::WriteDxfR10(DxfWriter& file, bool saveWidth) const {
  if (!(saveWidth && width() > 0.0)) return WritePlainArc(file, *this, false);
  double bulge = 0.0;
  const bool hasBulge = ArcBulge(*this, bulge);
  const double w = file.LengthToUnit(width());
  const Point3 a = getStartPoint(), b = getEndPoint();
  return WritePolylineHeadR10(file, *this, false) && file.RealPadded("  40", w) &&
         WriteVertexR10(file, *this, a.x, a.y, &w, hasBulge ? &bulge : nullptr) &&
         WriteVertexR10(file, *this, b.x, b.y, &w, hasBulge ? &bulge : nullptr) && WriteSeqEnd(file);
}

// --- solid ---------------------------------------------------------------------------------

bool CSolid::WriteDxf2000(DxfWriter& file, bool) const { return WriteSolid(file, *this, "SOLID", true); }

// Record types are case-sensitive: a mixed-case "Solid" is an unknown entity
// to DXF readers, which drop it, so R10 writes "SOLID" as well.
bool CSolid::WriteDxfR10(DxfWriter& file, bool) const { return WriteSolid(file, *this, "SOLID", false); }

// --- polypolygon ------------------------------------------------------------------------------

namespace {
constexpr std::string_view kHatchHead[] = {" 10",  " 0.0", " 20",  " 0.0", "  30", " 0.0", " 210", " 0.0",
                                           " 220", " 0.0", "  230", " 1.0", "  2",  "SOLID", " 70", "1",
                                           " 71",  "0"};
constexpr std::string_view kHatchPattern[] = {" 75", "  0", " 76", "  1", " 47", "  0.0"};
}  // namespace

bool CPolyPolygon::WriteDxf2000(DxfWriter& file, bool) const {
  const long long count = static_cast<long long>(outlineCount());
  if (!(WriteCommon(file, *this, "HATCH") && file.Group("100", "AcDbHatch") && file.Lines(kHatchHead) &&
        file.Int("  91", count))) {
    return false;
  }
  bool first = true;
  for (const auto& outline : outlines()) {
    const bool straight = outline->isStraight();
    const auto& v = outline->vertices();
    if (!(file.Group("  92", first ? "7" : "22") && file.Group("  72", straight ? "0" : "1") &&
          file.Group("  73", "1") && file.Int("  93", static_cast<long long>(v.size())))) {
      return false;
    }
    for (const PolyVertex& vertex : v) {
      if (!file.Point("  10", "  20", vertex.x, vertex.y)) return false;
      if (!straight && !file.Real("  42", vertex.bulge)) return false;
    }
    if (!file.Group("  97", "0")) return false;
    first = false;
  }
  if (!(file.Lines(kHatchPattern) && file.Int("  98", count))) return false;
  for (long long i = 0; i < count; ++i) {
    if (!file.Point("  10", "  20", seedX, seedY)) return false;
  }
  return true;
}

// R10 has no filled areas: nothing is written, and that counts as written.
bool CPolyPolygon::WriteDxfR10(DxfWriter&, bool) const { return true; }

}  // namespace quillon::model
