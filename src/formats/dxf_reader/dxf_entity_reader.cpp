#include "formats/dxf_reader/dxf_entity_reader.h"

#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "formats/dxf_reader/dxf_record.h"
#include "model/arc.h"
#include "model/circle.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"
#include "settings/number_text.h"

namespace quillon::formats {

namespace {

using model::CArc;
using model::CCircle;
using model::CEntity;
using model::CLine;
using model::CPolyLine;
using model::CPolyPolygon;
using model::CSolid;
using model::Point3;
using model::PolyVertex;

using namespace dxf_detail;

// The polyline display approximation the reader builds: 25 chords per arc.
constexpr double kApproximationStep = -25.0;

// --- LINE, CIRCLE, ARC -----------------------------------------------------------------

void ReadLine(DxfGroupReader& reader, DxfEntityResult& result, long typeLine, double tolerance) {
  RecordState state{result, tolerance};
  std::optional<double> v[4];  // 10, 20, 11, 21
  double z1 = 0.0, z2 = 0.0;
  const bool complete = ForEachGroup(reader, result, [&](const DxfGroup& g) {
    if (state.common(g)) return;
    switch (g.code) {
      case 10: v[0] = state.real(g); break;
      case 20: v[1] = state.real(g); break;
      case 11: v[2] = state.real(g); break;
      case 21: v[3] = state.real(g); break;
      case 30: z1 = state.real(g).value_or(0.0); break;
      case 31: z2 = state.real(g).value_or(0.0); break;
      default: break;
    }
  });
  if (!complete) return;
  if (!(v[0] && v[1] && v[2] && v[3])) {
    state.fail(DxfGroup{0, {}, typeLine}, "LINE without both end points (groups 10, 20, 11, 21)");
    return;
  }
  state.finish(std::make_unique<CLine>(Point3{*v[0], *v[1], z1}, Point3{*v[2], *v[3], z2}), typeLine, "LINE", false);
}

void ReadCircleOrArc(DxfGroupReader& reader, DxfEntityResult& result, long typeLine, bool arc, double tolerance) {
  RecordState state{result, tolerance};
  std::optional<double> x, y, radius, start, end;
  double z = 0.0;
  const bool complete = ForEachGroup(reader, result, [&](const DxfGroup& g) {
    if (state.common(g)) return;
    switch (g.code) {
      case 10: x = state.real(g); break;
      case 20: y = state.real(g); break;
      case 30: z = state.real(g).value_or(0.0); break;
      case 40: radius = state.real(g); break;
      case 50: if (arc) start = state.real(g); break;
      case 51: if (arc) end = state.real(g); break;
      default: break;
    }
  });
  if (!complete) return;
  const char* type = arc ? "ARC" : "CIRCLE";
  if (!(x && y && radius && (!arc || (start && end)))) {
    state.fail(DxfGroup{0, {}, typeLine},
               std::string(type) + (arc ? " without centre, radius and angles (groups 10, 20, 40, 50, 51)"
                                        : " without centre and radius (groups 10, 20, 40)"));
    return;
  }
  const Point3 centre{*x, *y, z};
  if (arc) {
    // Degrees are reduced first so that huge values keep their meaning
    // modulo a full turn before the conversion.
    state.finish(std::make_unique<CArc>(centre, *radius, std::fmod(*start, 360.0) * kDegreesToRadians,
                                        std::fmod(*end, 360.0) * kDegreesToRadians),
                 typeLine, type, true);
  } else {
    state.finish(std::make_unique<CCircle>(centre, *radius), typeLine, type, true);
  }
}

// --- polylines ---------------------------------------------------------------------------

// Polyline flags: bit 0 closed, bit 7 linetype generation (a display matter).
// Anything else (curve or spline fit, 3D polyline, mesh, polyface) is a shape
// this reader cannot represent.
std::optional<bool> ClosedFromFlags(int flags) {
  if (flags == 0 || flags == 128) return false;
  if (flags == 1 || flags == 129) return true;
  return std::nullopt;
}

// The polyline of the collected vertices; false (with a failure) for fewer
// than two. ownWidth is the polyline's width field (set before the vertices
// come in, so they keep their own widths); a constantWidth above 0 replaces
// every vertex width.
// The vertex list is handed over, not copied: a polyline of millions of
// vertices is held once.
bool FinishPolyline(RecordState& state, model::VertexList&& vertices, bool closed, double ownWidth,
                    double constantWidth, long typeLine, std::string_view type, bool objectCoordinates = true) {
  if (!state.result.failure.empty()) return false;
  // A vertex at exactly the place of the one before it adds nothing.
  std::size_t kept = 0;
  for (std::size_t i = 0; i < vertices.size(); ++i) {
    if (kept > 0 && vertices[kept - 1].x == vertices[i].x && vertices[kept - 1].y == vertices[i].y) continue;
    vertices[kept++] = vertices[i];
  }
  vertices.resize(kept);
  auto polyline = std::make_unique<CPolyLine>();
  polyline->setWidth(ownWidth);
  polyline->editVertices() = std::move(vertices);
  if (constantWidth > 0.0) polyline->setWidth(constantWidth);
  if (polyline->getVertexCount() < 2) {
    state.result.failure =
        "line " + std::to_string(typeLine) + ": " + std::string(type) + " with fewer than two vertices";
    return false;
  }
  polyline->setClosed(closed);
  // Straight polylines are drawn from their vertices; only arcs need chords.
  if (!polyline->isStraight()) polyline->buildApproximation(kApproximationStep);
  return state.finish(std::move(polyline), typeLine, type, objectCoordinates);
}

void ReadLwPolyline(DxfGroupReader& reader, DxfEntityResult& result, long typeLine, double tolerance) {
  RecordState state{result, tolerance};
  model::VertexList vertices;  // grows with the groups, never with a count the file announces
  PolyVertex pending;
  bool hasX = false, hasY = false;
  bool closed = false;
  double constantWidth = 0.0;
  std::optional<double> elevation;  // 38: z of every vertex in the object coordinate system
  const auto completePending = [&] {
    if (hasX && hasY) vertices.push_back(pending);
    pending = PolyVertex{};
    hasX = hasY = false;
  };
  const bool complete = ForEachGroup(reader, result, [&](const DxfGroup& g) {
    if (state.common(g)) return;
    switch (g.code) {
      case 10:
      case 20: {
        if (hasX && hasY) completePending();
        const auto value = state.real(g);
        if (!value) return;
        if (g.code == 10) {
          pending.x = *value;
          hasX = true;
        } else {
          pending.y = *value;
          hasY = true;
        }
        break;
      }
      case 30: pending.z = state.real(g).value_or(0.0); break;
      case 40: pending.startWidth = state.real(g).value_or(0.0); break;
      case 41: pending.endWidth = state.real(g).value_or(0.0); break;
      case 42: pending.bulge = state.real(g).value_or(0.0); break;
      case 43: constantWidth = state.real(g).value_or(0.0); break;
      case 38: elevation = state.real(g); break;
      case 70: {
        const auto flag = ClosedFromFlags(DxfAtoi(g.value));
        if (!flag) state.fail(g, "LWPOLYLINE of a kind that cannot be read (flags " + g.value + ")");
        else closed = *flag;
        break;
      }
      default: break;  // 90 (vertex count), 38, 39, 210..230, 91 (vertex ids), extended data
    }
  });
  if (!complete) return;
  completePending();
  if (elevation) {
    for (PolyVertex& v : vertices) v.z = *elevation;
  }
  FinishPolyline(state, std::move(vertices), closed, 0.0, constantWidth, typeLine, "LWPOLYLINE");
}

void ReadPolyline(DxfGroupReader& reader, DxfEntityResult& result, long typeLine, double tolerance) {
  RecordState state{result, tolerance};
  bool closed = false;
  double defaultStart = 0.0, defaultEnd = 0.0;
  bool haveDefaultEnd = false;
  double elevation = 0.0;  // z of the head's point: the plane of a 2D polyline
  bool threeD = false;
  // The POLYLINE head: its own groups up to the first VERTEX.
  if (!ForEachGroup(reader, result, [&](const DxfGroup& g) {
        if (state.common(g)) return;
        switch (g.code) {
          case 70: {
            // Bit 3: a 3D polyline, its vertices in world coordinates.
            threeD = (DxfAtoi(g.value) & 8) != 0;
            const auto flag = ClosedFromFlags(DxfAtoi(g.value) & ~8);
            if (!flag) state.fail(g, "POLYLINE of a kind that cannot be read (flags " + g.value + ")");
            else closed = *flag;
            break;
          }
          case 40: defaultStart = state.real(g).value_or(0.0); break;
          case 41:
            defaultEnd = state.real(g).value_or(0.0);
            haveDefaultEnd = true;
            break;
          case 30: elevation = state.real(g).value_or(0.0); break;
          default: break;  // 66, 10/20 (the elevation point's unused x and y)
        }
      })) {
    return;
  }
  if (!haveDefaultEnd) defaultEnd = defaultStart;

  // VERTEX records up to SEQEND. A failed head still consumes its vertices,
  // so they do not count as records of unknown types.
  model::VertexList vertices;
  while (const DxfGroup* type = reader.next()) {
    // ForEachGroup left a "0" group to read.
    const bool isVertex = DxfNameIs(type->value, "VERTEX");
    const bool isEnd = DxfNameIs(type->value, "SEQEND");
    if (!isVertex && !isEnd) {
      reader.pushBack();  // the next entity: a POLYLINE without SEQEND ends here
      break;
    }
    PolyVertex v;
    v.z = elevation;
    v.startWidth = defaultStart;
    v.endWidth = defaultEnd;
    bool hasX = false, hasY = false;
    if (!ForEachGroup(reader, result, [&](const DxfGroup& g) {
          if (!isVertex) return;  // SEQEND's own groups (handle, layer)
          switch (g.code) {
            case 10: if (auto x = state.real(g)) { v.x = *x; hasX = true; } break;
            case 20: if (auto y = state.real(g)) { v.y = *y; hasY = true; } break;
            case 30: if (elevation == 0.0 || threeD) v.z = state.real(g).value_or(0.0); break;
            case 40: v.startWidth = state.real(g).value_or(0.0); break;
            case 41: v.endWidth = state.real(g).value_or(0.0); break;
            case 42: v.bulge = state.real(g).value_or(0.0); break;
            default: break;
          }
        })) {
      return;
    }
    if (isEnd) break;
    if (hasX && hasY) vertices.push_back(v);
  }
  if (reader.status() != DxfGroupReader::Status::Ok) {
    result.inputEnded = true;
    if (result.failure.empty()) result.failure = "the file ends inside the record";
    return;
  }
  // The default width is the polyline's own width; the vertices keep theirs.
  FinishPolyline(state, std::move(vertices), closed, defaultStart, 0.0, typeLine, "POLYLINE", !threeD);
}

// --- SOLID and 3DFACE ----------------------------------------------------------------

void ReadSolid(DxfGroupReader& reader, DxfEntityResult& result, long typeLine, bool face, double tolerance) {
  RecordState state{result, tolerance};
  // Corners by their group code (10 + i, 20 + i, 30 + i), whatever order the
  // groups come in.
  std::array<std::optional<double>, 4> xs, ys;
  std::array<double, 4> zs{};
  const bool complete = ForEachGroup(reader, result, [&](const DxfGroup& g) {
    if (state.common(g)) return;
    if (g.code >= 10 && g.code <= 13) xs[g.code - 10] = state.real(g);
    else if (g.code >= 20 && g.code <= 23) ys[g.code - 20] = state.real(g);
    else if (g.code >= 30 && g.code <= 33) zs[g.code - 30] = state.real(g).value_or(0.0);
  });
  if (!complete) return;
  const char* type = face ? "3DFACE" : "SOLID";
  std::vector<Point3> corners;
  for (int i = 0; i < 4; ++i) {
    if (xs[i].has_value() != ys[i].has_value()) {
      state.fail(DxfGroup{0, {}, typeLine}, std::string(type) + " with a corner lacking x or y");
      return;
    }
    if (!xs[i]) continue;
    corners.push_back(Point3{*xs[i], *ys[i], zs[i]});
  }
  if (corners.size() < 3) {
    state.fail(DxfGroup{0, {}, typeLine}, std::string(type) + " with fewer than three corners");
    return;
  }
  // The record lists a quadrilateral's corners as 1, 2, 4, 3 (SOLID) and
  // repeats the third corner for a triangle (both kinds).
  if (corners.size() == 4 && !face) std::swap(corners[2], corners[3]);
  if (corners.size() == 4 && model::samePoint(corners[2], corners[3])) corners.pop_back();
  if (corners.size() == 3 && model::cross(corners[0], corners[1], corners[2]) < -model::kTolerance) {
    std::swap(corners[1], corners[2]);  // clockwise triangles are kept counter-clockwise
  }
  auto solid = std::make_unique<CSolid>();
  for (const Point3& p : corners) solid->addPoint(p);
  state.finish(std::move(solid), typeLine, type, !face);
}


}  // namespace

DxfEntityKind DxfEntityKindOf(std::string_view typeName) {
  static constexpr DxfEntityKind kKinds[] = {
      DxfEntityKind::LwPolyline, DxfEntityKind::Polyline, DxfEntityKind::Line,    DxfEntityKind::Circle,
      DxfEntityKind::Arc,        DxfEntityKind::Solid,    DxfEntityKind::Face3d,  DxfEntityKind::Hatch,
      DxfEntityKind::Ellipse,    DxfEntityKind::Spline,   DxfEntityKind::Insert,
  };
  for (const DxfEntityKind kind : kKinds) {
    if (DxfNameIs(typeName, DxfEntityKindName(kind))) return kind;
  }
  return DxfEntityKind::Unknown;
}

std::string_view DxfEntityKindName(DxfEntityKind kind) {
  switch (kind) {
    case DxfEntityKind::Line: return "LINE";
    case DxfEntityKind::Arc: return "ARC";
    case DxfEntityKind::Circle: return "CIRCLE";
    case DxfEntityKind::LwPolyline: return "LWPOLYLINE";
    case DxfEntityKind::Polyline: return "POLYLINE";
    case DxfEntityKind::Solid: return "SOLID";
    case DxfEntityKind::Face3d: return "3DFACE";
    case DxfEntityKind::Hatch: return "HATCH";
    case DxfEntityKind::Ellipse: return "ELLIPSE";
    case DxfEntityKind::Spline: return "SPLINE";
    case DxfEntityKind::Insert: return "INSERT";
    case DxfEntityKind::Unknown: break;
  }
  return "";
}

DxfEntityResult ReadDxfEntity(DxfEntityKind kind, DxfGroupReader& reader, long typeLine, double tolerance) {
  DxfEntityResult result;
  if (!(tolerance > 0.0)) tolerance = kDxfFlattenTolerance;
  switch (kind) {
    case DxfEntityKind::Line: ReadLine(reader, result, typeLine, tolerance); break;
    case DxfEntityKind::Circle: ReadCircleOrArc(reader, result, typeLine, false, tolerance); break;
    case DxfEntityKind::Arc: ReadCircleOrArc(reader, result, typeLine, true, tolerance); break;
    case DxfEntityKind::LwPolyline: ReadLwPolyline(reader, result, typeLine, tolerance); break;
    case DxfEntityKind::Polyline: ReadPolyline(reader, result, typeLine, tolerance); break;
    case DxfEntityKind::Solid: ReadSolid(reader, result, typeLine, false, tolerance); break;
    case DxfEntityKind::Face3d: ReadSolid(reader, result, typeLine, true, tolerance); break;
    case DxfEntityKind::Hatch: ReadHatch(reader, result, typeLine, tolerance); break;
    case DxfEntityKind::Ellipse: ReadEllipse(reader, result, typeLine, tolerance); break;
    case DxfEntityKind::Spline: ReadSpline(reader, result, typeLine, tolerance); break;
    case DxfEntityKind::Insert: ReadInsert(reader, result, typeLine); break;
    case DxfEntityKind::Unknown: result.failure = "not an entity the reader knows"; break;
  }
  if (!result.failure.empty()) {
    result.entity.reset();
    result.curve.reset();
    result.insert.reset();
  }
  return result;
}

std::unique_ptr<CEntity> PolylineFromCurve(const FlattenedCurve& curve) {
  auto polyline = std::make_unique<CPolyLine>();
  model::VertexList vertices;
  vertices.reserve(curve.points.size());
  for (const Point3& p : curve.points) {
    PolyVertex v;
    v.setPoint(p);
    vertices.push_back(v);
  }
  polyline->editVertices() = std::move(vertices);
  polyline->setClosed(curve.closed);
  return polyline;
}

std::unique_ptr<CEntity> CurveFromPolyline(const CPolyLine& polyline) {
  const auto& v = polyline.vertices();
  if (v.size() != 2 || !v[0].hasBulge()) return nullptr;
  const Point3 p0 = v[0].point(), p1 = v[1].point();
  const auto first = model::bulgeToArc(p0, p1, v[0].bulge);
  if (!first) return nullptr;
  std::unique_ptr<CEntity> curve;
  if (!polyline.isClosed()) {
    double a0 = model::normalizeAngle(first->startAngle), a1 = model::normalizeAngle(first->endAngle);
    if (v[0].bulge < 0.0) std::swap(a0, a1);
    curve = std::make_unique<CArc>(first->centre, first->radius, a0, a1);
  } else {
    if (!v[1].hasBulge() || !model::isEqual(v[0].startWidth, v[1].startWidth)) return nullptr;
    bool circle = model::isEqual(v[0].bulge, 1.0) && model::isEqual(v[1].bulge, 1.0);
    if (!circle) {
      const auto second = model::bulgeToArc(p1, p0, v[1].bulge);
      circle = second && model::samePoint(first->centre, second->centre) &&
               model::isEqual(first->radius, second->radius);
    }
    if (!circle) return nullptr;
    curve = std::make_unique<CCircle>(first->centre, first->radius);
  }
  curve->setColour(polyline.colour());
  curve->setWidth(v[0].startWidth);
  return curve;
}

}  // namespace quillon::formats
