#include "formats/dxf_reader/dxf_geometry.h"

#include <algorithm>
#include <cmath>

#include "model/arc.h"
#include "model/circle.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"

namespace quillon::formats {

using model::CArc;
using model::CCircle;
using model::CEntity;
using model::CLine;
using model::CPolyLine;
using model::CPolyPolygon;
using model::CSolid;
using model::EntityType;
using model::PolyVertex;

Point3 Cross(const Point3& a, const Point3& b) {
  return Point3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Dot(const Point3& a, const Point3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double Length(const Point3& v) { return std::sqrt(Dot(v, v)); }
Point3 Normalized(const Point3& v) {
  const double length = Length(v);
  if (!(length > 0.0) || !std::isfinite(length)) return v;
  return Point3{v.x / length, v.y / length, v.z / length};
}

Point3 DxfAffine::applyLinear(const Point3& v) const {
  return Point3{m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z, m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
                m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
}

Point3 DxfAffine::apply(const Point3& p) const {
  const Point3 v = applyLinear(p);
  return Point3{v.x + t.x, v.y + t.y, v.z + t.z};
}

DxfAffine DxfAffine::after(const DxfAffine& inner) const {
  DxfAffine out;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      out.m[r][c] = m[r][0] * inner.m[0][c] + m[r][1] * inner.m[1][c] + m[r][2] * inner.m[2][c];
    }
  }
  out.t = apply(inner.t);
  return out;
}

bool DxfAffine::isIdentity() const {
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      if (m[r][c] != (r == c ? 1.0 : 0.0)) return false;
    }
  }
  return t.x == 0.0 && t.y == 0.0 && t.z == 0.0;
}

double DxfAffine::planeStretch() const {
  // Greater singular value of [[a, b], [c, d]].
  const double a = m[0][0], b = m[0][1], c = m[1][0], d = m[1][1];
  const double s = a * a + b * b + c * c + d * d;
  const double det = a * d - b * c;
  const double root = std::sqrt(std::max(0.0, s * s - 4.0 * det * det));
  return std::sqrt(std::max(0.0, (s + root) / 2.0));
}

std::optional<DxfAffine::Similarity> DxfAffine::planeSimilarity() const {
  const double a = m[0][0], b = m[0][1], c = m[1][0], d = m[1][1];
  const double xx = a * a + c * c, yy = b * b + d * d, xy = a * b + c * d;
  const double norm = std::max(xx, yy);
  if (!(norm > 0.0) || !std::isfinite(norm)) return std::nullopt;
  // Relative: the columns must be orthogonal and of equal length.
  constexpr double kRelative = 1e-9;
  if (std::fabs(xx - yy) > kRelative * norm || std::fabs(xy) > kRelative * norm) return std::nullopt;
  Similarity s;
  s.scale = std::sqrt(xx);
  s.rotation = std::atan2(c, a);
  s.mirrored = a * d - b * c < 0.0;
  return s;
}

DxfAffine DxfAffine::translation(const Point3& by) {
  DxfAffine out;
  out.t = by;
  return out;
}

DxfAffine DxfAffine::scaling(double sx, double sy, double sz) {
  DxfAffine out;
  out.m[0][0] = sx;
  out.m[1][1] = sy;
  out.m[2][2] = sz;
  return out;
}

DxfAffine DxfAffine::rotationZ(double radians) {
  DxfAffine out;
  const double c = std::cos(radians), s = std::sin(radians);
  out.m[0][0] = c;
  out.m[0][1] = -s;
  out.m[1][0] = s;
  out.m[1][1] = c;
  return out;
}

DxfAffine DxfAffine::axes(const Point3& ax, const Point3& ay, const Point3& az) {
  DxfAffine out;
  const Point3 cols[3] = {ax, ay, az};
  for (int c = 0; c < 3; ++c) {
    out.m[0][c] = cols[c].x;
    out.m[1][c] = cols[c].y;
    out.m[2][c] = cols[c].z;
  }
  return out;
}

bool IsWorldExtrusion(const Point3& extrusion) {
  const Point3 n = Normalized(extrusion);
  if (!(Length(n) > 0.5)) return true;  // no direction at all: the default
  return std::fabs(n.x) < 1e-12 && std::fabs(n.y) < 1e-12 && n.z > 0.0;
}

DxfAffine OcsToWorld(const Point3& extrusion) {
  if (IsWorldExtrusion(extrusion)) return DxfAffine{};
  const Point3 n = Normalized(extrusion);
  // The arbitrary axis algorithm: near the world z axis the object x axis is
  // world y × N, elsewhere world z × N.
  constexpr double kNearZ = 1.0 / 64.0;
  const Point3 ax = Normalized(std::fabs(n.x) < kNearZ && std::fabs(n.y) < kNearZ ? Cross(Point3{0, 1, 0}, n)
                                                                                  : Cross(Point3{0, 0, 1}, n));
  const Point3 ay = Normalized(Cross(n, ax));
  return DxfAffine::axes(ax, ay, n);
}

int ArcChordCount(double radius, double sweep, double tolerance) {
  radius = std::fabs(radius);
  sweep = std::fabs(sweep);
  if (!(radius > tolerance) || !(tolerance > 0.0) || !std::isfinite(radius * sweep)) return 1;
  // A chord over the angle φ deviates r·(1 − cos(φ/2)) from its arc.
  const double step = 2.0 * std::acos(1.0 - tolerance / radius);
  if (!(step > 0.0)) return kMaxArcChords;
  const double count = std::ceil(sweep / step);
  return static_cast<int>(std::clamp(count, 1.0, static_cast<double>(kMaxArcChords)));
}

namespace {

double ScaledWidth(double width, const DxfAffine& map) {
  if (width == 0.0) return 0.0;
  const double det = map.m[0][0] * map.m[1][1] - map.m[0][1] * map.m[1][0];
  return width * std::sqrt(std::fabs(det));
}

// Points of the arc centre/radius from a0 counter-clockwise by sweep, chords
// fine enough for `tolerance` after a map that stretches by `stretch`; the
// first point is left out (the caller has it already).
void AppendArcPoints(model::VertexList& out, const Point3& centre, double radius, double a0, double sweep,
                     double tolerance, double stretch, const PolyVertex& style) {
  const int chords = ArcChordCount(radius * stretch, sweep, tolerance);
  for (int i = 1; i <= chords; ++i) {
    PolyVertex v = style;
    v.bulge = 0.0;
    v.setPoint(model::pointOnCircle(centre, radius, a0 + sweep * i / chords));
    out.push_back(v);
  }
}

// A polyline's vertices with every bulge segment replaced by chords (in the
// polyline's own coordinates).
model::VertexList ChordVertices(const CPolyLine& polyline, double tolerance, double stretch) {
  const auto& in = polyline.vertices();
  model::VertexList out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    PolyVertex v = in[i];
    const bool last = i + 1 == in.size();
    v.bulge = 0.0;
    out.push_back(v);
    if (last && !polyline.isClosed()) break;
    const PolyVertex& next = last ? in.front() : in[i + 1];
    const auto arc = model::bulgeToArc(in[i].point(), next.point(), in[i].bulge);
    if (!arc) continue;
    const double sweep = model::bulgeArcSweep(*arc) * (arc->counterClockwise ? 1.0 : -1.0);
    Point3 centre = arc->centre;
    centre.z = in[i].z;
    AppendArcPoints(out, centre, arc->radius, arc->startAngle, sweep, tolerance, stretch, v);
    out.pop_back();  // the arc's end is the next vertex
  }
  return out;
}

std::unique_ptr<CPolyLine> TransformPolyline(const CPolyLine& polyline, const DxfAffine& map, double tolerance,
                                             bool& flattened) {
  const auto similarity = map.planeSimilarity();
  auto out = std::make_unique<CPolyLine>();
  out->setColour(polyline.colour());
  out->setClosed(polyline.isClosed());
  model::VertexList vertices;
  if (similarity || polyline.isStraight()) {
    vertices = polyline.vertices();
  } else {
    vertices = ChordVertices(polyline, tolerance, map.planeStretch());
    flattened = true;
  }
  const double widthScale = similarity ? similarity->scale : ScaledWidth(1.0, map);
  for (PolyVertex& v : vertices) {
    v.setPoint(map.apply(v.point()));
    v.startWidth *= widthScale;
    v.endWidth *= widthScale;
    if (similarity && similarity->mirrored) v.bulge = -v.bulge;
  }
  // The vertex list is taken whole: mapping can make neighbours coincide,
  // and dropping them would shift the bulges onto other segments.
  out->editVertices() = std::move(vertices);
  out->CEntity::setWidth(polyline.width() * widthScale);
  return out;
}

// A circle or arc that the map does not keep circular, as chords.
std::unique_ptr<CPolyLine> FlattenedCircle(const CCircle& circle, double a0, double sweep, bool closed,
                                           const DxfAffine& map, double tolerance) {
  model::VertexList points;
  PolyVertex first;
  first.setPoint(model::pointOnCircle(circle.centre(), circle.radius(), a0));
  points.push_back(first);
  AppendArcPoints(points, circle.centre(), circle.radius(), a0, sweep, tolerance, map.planeStretch(), first);
  if (closed) points.pop_back();  // the last point is the first again
  auto out = std::make_unique<CPolyLine>();
  for (PolyVertex& v : points) {
    v.setPoint(map.apply(v.point()));
    v.startWidth = v.endWidth = ScaledWidth(circle.width(), map);
  }
  out->editVertices() = std::move(points);
  out->setClosed(closed);
  out->setColour(circle.colour());
  out->CEntity::setWidth(ScaledWidth(circle.width(), map));
  return out;
}

}  // namespace

std::unique_ptr<CEntity> TransformEntity(const CEntity& entity, const DxfAffine& map, double tolerance,
                                         bool* flattened) {
  bool flat = false;
  std::unique_ptr<CEntity> out;
  const auto similarity = map.planeSimilarity();
  switch (entity.type()) {
    case EntityType::Line: {
      const auto& line = static_cast<const CLine&>(entity);
      out = std::make_unique<CLine>(map.apply(line.start().point()), map.apply(line.end().point()));
      out->setWidth(ScaledWidth(line.width(), map));
      break;
    }
    case EntityType::Circle: {
      const auto& circle = static_cast<const CCircle&>(entity);
      if (similarity) {
        out = std::make_unique<CCircle>(map.apply(circle.centre()), circle.radius() * similarity->scale);
        out->setWidth(circle.width() * similarity->scale);
      } else {
        out = FlattenedCircle(circle, 0.0, model::kTwoPi, true, map, tolerance);
        flat = true;
      }
      break;
    }
    case EntityType::Arc: {
      const auto& arc = static_cast<const CArc&>(entity);
      if (similarity) {
        double a0 = arc.startAngle(), a1 = arc.endAngle();
        if (similarity->mirrored) {
          // Mirrored, the arc runs from the image of its end to that of its start.
          const double from = -a1, to = -a0;
          a0 = from;
          a1 = to;
        }
        out = std::make_unique<CArc>(map.apply(arc.centre()), arc.radius() * similarity->scale,
                                     a0 + similarity->rotation, a1 + similarity->rotation);
        out->setWidth(arc.width() * similarity->scale);
      } else {
        out = FlattenedCircle(arc, arc.startAngle(), arc.sweep(), false, map, tolerance);
        flat = true;
      }
      break;
    }
    case EntityType::PolyLine: {
      auto polyline = TransformPolyline(static_cast<const CPolyLine&>(entity), map, tolerance, flat);
      out = std::move(polyline);
      break;
    }
    case EntityType::Solid: {
      const auto& solid = static_cast<const CSolid&>(entity);
      auto mapped = std::make_unique<CSolid>();
      std::vector<Point3> points;
      for (const Point3& p : solid.points()) points.push_back(map.apply(p));
      // A mirroring map would turn the ring clockwise: walk it backwards.
      const double det = map.m[0][0] * map.m[1][1] - map.m[0][1] * map.m[1][0];
      if (det < 0.0) std::reverse(points.begin(), points.end());
      for (const Point3& p : points) mapped->addPoint(p);
      out = std::move(mapped);
      break;
    }
    case EntityType::PolyPolygon: {
      const auto& hatch = static_cast<const CPolyPolygon&>(entity);
      auto mapped = std::make_unique<CPolyPolygon>();
      for (const auto& outline : hatch.outlines()) {
        mapped->appendOutline(TransformPolyline(*outline, map, tolerance, flat));
      }
      const Point3 seed = map.apply(Point3{hatch.seedX, hatch.seedY, 0.0});
      mapped->seedX = seed.x;
      mapped->seedY = seed.y;
      out = std::move(mapped);
      break;
    }
    default: return nullptr;
  }
  out->setColour(entity.colour());
  if (flattened) *flattened = flat;
  return out;
}

}  // namespace quillon::formats
