#include "formats/dxf_reader/dxf_entity_reader.h"

#include <array>
#include <cmath>
#include <optional>
#include <vector>

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

constexpr double kDegreesToRadians = model::kPi / 180.0;
// The polyline display approximation the reader builds: 25 chords per arc.
constexpr double kApproximationStep = -25.0;

// What every record shares: the layer group, the colour and the first
// problem met while reading the groups.
struct RecordState {
  DxfEntityResult& result;
  bool hasLayer = false;
  settings::ColorIndex colour = settings::kColorByLayer;
  // z of the extrusion direction (group 230). Entities drawn in a mirrored
  // view (direction (0, 0, -1)) store their points in a coordinate system
  // whose x axis runs to the left.
  double extrusionZ = 1.0;
  bool mirrored() const { return extrusionZ < 0.0; }

  void fail(const DxfGroup& group, const std::string& why) {
    if (result.failure.empty()) result.failure = "line " + std::to_string(group.line) + ": " + why;
  }
  // Reads group 8 and 62, answering true when the group was one of them.
  bool common(const DxfGroup& group) {
    if (group.code == 8) {
      result.layerName = group.value;
      hasLayer = true;
      return true;
    }
    if (group.code == 62) {
      // 1..255 and ByLayer are kept; anything else (0 ByBlock, negative
      // "layer off" values, numbers beyond the 16-bit index) reads as ByLayer.
      const int value = DxfAtoi(group.value);
      colour = value >= 1 && value <= settings::kColorByLayer ? static_cast<settings::ColorIndex>(value)
                                                                : settings::kColorByLayer;
      return true;
    }
    if (group.code == 230) {
      if (auto z = settings::ParseNumber(group.value)) extrusionZ = *z;
      return true;
    }
    return false;
  }
  // A point of the entity's own coordinate system in drawing coordinates.
  void place(double& x, double& bulge) const {
    if (mirrored()) {
      x = -x;
      bulge = -bulge;
    }
  }
  std::optional<double> real(const DxfGroup& group) {
    auto value = settings::ParseNumber(group.value);
    if (!value) fail(group, "\"" + group.value.substr(0, 40) + "\" is not a number (group " + std::to_string(group.code) + ")");
    return value;
  }
  bool finish(std::unique_ptr<CEntity> entity, long typeLine, std::string_view type) {
    if (!result.failure.empty()) return false;
    if (!hasLayer) {
      result.failure = "line " + std::to_string(typeLine) + ": " + std::string(type) + " without a layer (group 8)";
      return false;
    }
    entity->setColour(colour);
    result.entity = std::move(entity);
    return true;
  }
};

// Calls onGroup for every group of the record and stops before the next "0"
// group, which is pushed back. False when the input ended first.
template <typename OnGroup>
bool ForEachGroup(DxfGroupReader& reader, DxfEntityResult& result, OnGroup&& onGroup) {
  while (const DxfGroup* group = reader.next()) {
    if (group->code == 0) {
      reader.pushBack();
      return true;
    }
    onGroup(*group);
  }
  result.inputEnded = true;
  if (result.failure.empty()) result.failure = "the file ends inside the record";
  return false;
}

// --- LINE, CIRCLE, ARC -----------------------------------------------------------------

void ReadLine(DxfGroupReader& reader, DxfEntityResult& result, long typeLine) {
  RecordState state{result};
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
  state.finish(std::make_unique<CLine>(Point3{*v[0], *v[1], z1}, Point3{*v[2], *v[3], z2}), typeLine, "LINE");
}

void ReadCircleOrArc(DxfGroupReader& reader, DxfEntityResult& result, long typeLine, bool arc) {
  RecordState state{result};
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
  double bulge = 0.0;
  state.place(*x, bulge);
  const Point3 centre{*x, *y, z};
  if (arc && state.mirrored()) {
    // Mirrored, the arc runs from the mirror image of its end to that of its start.
    const double from = 180.0 - *end, to = 180.0 - *start;
    start = from;
    end = to;
  }
  if (arc) {
    // Degrees are reduced first so that huge values keep their meaning
    // modulo a full turn before the conversion.
    state.finish(std::make_unique<CArc>(centre, *radius, std::fmod(*start, 360.0) * kDegreesToRadians,
                                        std::fmod(*end, 360.0) * kDegreesToRadians),
                 typeLine, type);
  } else {
    state.finish(std::make_unique<CCircle>(centre, *radius), typeLine, type);
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
bool FinishPolyline(RecordState& state, const std::vector<PolyVertex>& vertices, bool closed, double ownWidth,
                    double constantWidth, long typeLine, std::string_view type) {
  if (!state.result.failure.empty()) return false;
  auto polyline = std::make_unique<CPolyLine>();
  polyline->setWidth(ownWidth);
  for (PolyVertex v : vertices) {
    state.place(v.x, v.bulge);
    polyline->appendVertex(v);
  }
  if (constantWidth > 0.0) polyline->setWidth(constantWidth);
  if (polyline->getVertexCount() < 2) {
    state.result.failure =
        "line " + std::to_string(typeLine) + ": " + std::string(type) + " with fewer than two vertices";
    return false;
  }
  polyline->setClosed(closed);
  polyline->buildApproximation(kApproximationStep);
  return state.finish(std::move(polyline), typeLine, type);
}

void ReadLwPolyline(DxfGroupReader& reader, DxfEntityResult& result, long typeLine) {
  RecordState state{result};
  std::vector<PolyVertex> vertices;  // grows with the groups, never with a count the file announces
  PolyVertex pending;
  bool hasX = false, hasY = false;
  bool closed = false;
  double constantWidth = 0.0;
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
  FinishPolyline(state, vertices, closed, 0.0, constantWidth, typeLine, "LWPOLYLINE");
}

void ReadPolyline(DxfGroupReader& reader, DxfEntityResult& result, long typeLine) {
  RecordState state{result};
  bool closed = false;
  double defaultStart = 0.0, defaultEnd = 0.0;
  bool haveDefaultEnd = false;
  // The POLYLINE head: its own groups up to the first VERTEX.
  if (!ForEachGroup(reader, result, [&](const DxfGroup& g) {
        if (state.common(g)) return;
        switch (g.code) {
          case 70: {
            const auto flag = ClosedFromFlags(DxfAtoi(g.value));
            if (!flag) state.fail(g, "POLYLINE of a kind that cannot be read (flags " + g.value + ")");
            else closed = *flag;
            break;
          }
          case 40: defaultStart = state.real(g).value_or(0.0); break;
          case 41:
            defaultEnd = state.real(g).value_or(0.0);
            haveDefaultEnd = true;
            break;
          default: break;  // 66, 10/20/30 (the elevation point), 210..230
        }
      })) {
    return;
  }
  if (!haveDefaultEnd) defaultEnd = defaultStart;

  // VERTEX records up to SEQEND. A failed head still consumes its vertices,
  // so they do not count as records of unknown types.
  std::vector<PolyVertex> vertices;
  while (const DxfGroup* type = reader.next()) {
    // ForEachGroup left a "0" group to read.
    const bool isVertex = DxfNameIs(type->value, "VERTEX");
    const bool isEnd = DxfNameIs(type->value, "SEQEND");
    if (!isVertex && !isEnd) {
      reader.pushBack();  // the next entity: a POLYLINE without SEQEND ends here
      break;
    }
    PolyVertex v;
    v.startWidth = defaultStart;
    v.endWidth = defaultEnd;
    bool hasX = false, hasY = false;
    if (!ForEachGroup(reader, result, [&](const DxfGroup& g) {
          if (!isVertex) return;  // SEQEND's own groups (handle, layer)
          switch (g.code) {
            case 10: if (auto x = state.real(g)) { v.x = *x; hasX = true; } break;
            case 20: if (auto y = state.real(g)) { v.y = *y; hasY = true; } break;
            case 30: v.z = state.real(g).value_or(0.0); break;
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
  FinishPolyline(state, vertices, closed, defaultStart, 0.0, typeLine, "POLYLINE");
}

// --- SOLID and 3DFACE ----------------------------------------------------------------

void ReadSolid(DxfGroupReader& reader, DxfEntityResult& result, long typeLine, bool face) {
  RecordState state{result};
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
    double x = *xs[i], unused = 0.0;
    if (!face) state.place(x, unused);
    corners.push_back(Point3{x, *ys[i], zs[i]});
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
  state.finish(std::move(solid), typeLine, type);
}

// --- HATCH ---------------------------------------------------------------------------------

// One boundary path while it is read: a polyline path (vertices with bulges)
// or an edge path (lines and circular arcs, turned into bulge vertices).
struct HatchPath {
  bool polyline = false;
  long announced = -1;  // 93
  std::vector<PolyVertex> vertices;
  bool unsupported = false;
  // Edge path: the edge being read.
  int edgeType = 0;
  std::optional<double> ex, ey, radius, start, end;
  bool counterClockwise = true;
  long edges = 0;

  void finishEdge() {
    if (edgeType == 0) return;
    ++edges;
    if (!(ex && ey)) {
      unsupported = true;
    } else if (edgeType == 1) {
      vertices.push_back(PolyVertex{*ex, *ey, 0.0, 0.0, 0.0, 0, 0.0, 0, 0});
    } else if (edgeType == 2 && radius && start && end) {
      // A clockwise arc stores the complements (360° − angle) of its angles,
      // so it starts at −start and sweeps end − start clockwise.
      const double a0 = std::fmod(*start, 360.0) * kDegreesToRadians;
      double a1 = std::fmod(*end, 360.0) * kDegreesToRadians;
      while (a1 <= a0) a1 += model::kTwoPi;
      const double sweep = a1 - a0;
      const Point3 p = model::pointOnCircle(Point3{*ex, *ey, 0.0}, *radius, counterClockwise ? a0 : -a0);
      PolyVertex v;
      v.x = p.x;
      v.y = p.y;
      v.bulge = (counterClockwise ? 1.0 : -1.0) * std::tan(sweep / 4.0);
      vertices.push_back(v);
    } else {
      unsupported = true;  // elliptic arcs and splines
    }
    edgeType = 0;
    ex = ey = radius = start = end = std::nullopt;
    counterClockwise = true;
  }
};

void ReadHatch(DxfGroupReader& reader, DxfEntityResult& result, long typeLine) {
  RecordState state{result};
  enum class Part { Head, Paths, Tail, Seeds } part = Part::Head;
  bool solidName = false, solidFlag = false;
  long pathsAnnounced = 0, pathsDone = 0;
  bool pathsStopped = false;
  std::optional<HatchPath> path;
  std::vector<std::unique_ptr<CPolyLine>> outlines;
  double seedX = 0.0, seedY = 0.0;

  const auto endPath = [&] {
    if (!path) return;
    if (!path->polyline) path->finishEdge();
    const long count = path->polyline ? static_cast<long>(path->vertices.size()) : path->edges;
    ++pathsDone;
    if (pathsStopped || path->unsupported || count != path->announced) {
      pathsStopped = true;  // a path that does not add up ends the reading of further paths
    } else {
      auto outline = std::make_unique<CPolyLine>();
      for (const PolyVertex& v : path->vertices) outline->appendVertex(v);
      outline->setClosed(true);
      if (outline->getVertexCount() >= 2) outlines.push_back(std::move(outline));
    }
    path.reset();
  };

  const bool complete = ForEachGroup(reader, result, [&](const DxfGroup& g) {
    if (state.common(g)) return;
    if (part == Part::Head) {
      switch (g.code) {
        case 2:
          solidName = DxfNameIs(g.value, "SOLID");
          if (!solidName) state.fail(g, "HATCH with pattern \"" + g.value.substr(0, 40) + "\" (only solid fill is read)");
          return;
        case 70:
          solidFlag = DxfAtoi(g.value) == 1;
          if (!solidFlag) state.fail(g, "HATCH that is not solid-filled");
          return;
        case 91:
          pathsAnnounced = DxfAtoi(g.value);
          part = pathsAnnounced > 0 ? Part::Paths : Part::Tail;
          return;
        default: return;  // 10/20/30 elevation, 210..230 extrusion, 71
      }
    }
    if (part == Part::Paths) {
      if (g.code == 92) {
        endPath();
        path.emplace();
        path->polyline = (DxfAtoi(g.value) & 2) != 0;
        return;
      }
      if (g.code == 75 || g.code == 76 || g.code == 98) {
        endPath();
        part = Part::Tail;  // falls through to the tail below
      } else if (path) {
        if (g.code == 97) {  // source objects follow; the path's geometry ends here
          endPath();
          if (pathsDone >= pathsAnnounced) part = Part::Tail;
          return;
        }
        if (g.code == 93) {
          path->announced = DxfAtoi(g.value);
        } else if (path->polyline) {
          if (g.code == 10) {
            PolyVertex v;
            v.x = state.real(g).value_or(0.0);
            path->vertices.push_back(v);
          } else if (g.code == 20) {
            if (!path->vertices.empty()) path->vertices.back().y = state.real(g).value_or(0.0);
            else path->unsupported = true;
          } else if (g.code == 42) {
            if (!path->vertices.empty()) path->vertices.back().bulge = state.real(g).value_or(0.0);
          }
        } else {
          switch (g.code) {
            case 72:
              path->finishEdge();
              path->edgeType = DxfAtoi(g.value);
              break;
            case 10: path->ex = state.real(g); break;
            case 20: path->ey = state.real(g); break;
            case 40: path->radius = state.real(g); break;
            case 50: path->start = state.real(g); break;
            case 51: path->end = state.real(g); break;
            case 73: path->counterClockwise = DxfAtoi(g.value) != 0; break;
            default: break;  // 11/21 (a line's end is the next edge's start)
          }
        }
        return;
      } else {
        return;
      }
    }
    if (part == Part::Tail) {
      switch (g.code) {
        case 75:
          if (DxfAtoi(g.value) != 0) state.fail(g, "HATCH with an island style other than normal (group 75)");
          return;
        case 76:
          if (DxfAtoi(g.value) != 1) state.fail(g, "HATCH with a pattern type other than predefined (group 76)");
          return;
        case 98: part = Part::Seeds; return;
        default: return;
      }
    }
    if (part == Part::Seeds) {
      if (g.code == 10) seedX = state.real(g).value_or(seedX);
      else if (g.code == 20) seedY = state.real(g).value_or(seedY);
    }
  });
  if (!complete) return;
  endPath();
  if (!solidName || !solidFlag) {
    state.fail(DxfGroup{0, {}, typeLine}, "HATCH that is not a solid fill (groups 2 and 70)");
    return;
  }
  if (outlines.empty()) {
    state.fail(DxfGroup{0, {}, typeLine}, "HATCH without a boundary path that could be read");
    return;
  }
  auto hatch = std::make_unique<CPolyPolygon>();
  for (auto& outline : outlines) {
    if (state.mirrored()) {
      for (PolyVertex& v : outline->editVertices()) state.place(v.x, v.bulge);
    }
    hatch->appendOutline(std::move(outline));
  }
  double unused = 0.0;
  state.place(seedX, unused);
  hatch->seedX = seedX;
  hatch->seedY = seedY;
  state.finish(std::move(hatch), typeLine, "HATCH");
}

}  // namespace

DxfEntityKind DxfEntityKindOf(std::string_view typeName) {
  static constexpr std::pair<std::string_view, DxfEntityKind> kKinds[] = {
      {"LWPOLYLINE", DxfEntityKind::LwPolyline}, {"POLYLINE", DxfEntityKind::Polyline},
      {"LINE", DxfEntityKind::Line},             {"CIRCLE", DxfEntityKind::Circle},
      {"ARC", DxfEntityKind::Arc},               {"SOLID", DxfEntityKind::Solid},
      {"3DFACE", DxfEntityKind::Face3d},         {"HATCH", DxfEntityKind::Hatch},
  };
  for (const auto& [name, kind] : kKinds) {
    if (DxfNameIs(typeName, name)) return kind;
  }
  return DxfEntityKind::Unknown;
}

DxfEntityResult ReadDxfEntity(DxfEntityKind kind, DxfGroupReader& reader, long typeLine) {
  DxfEntityResult result;
  switch (kind) {
    case DxfEntityKind::Line: ReadLine(reader, result, typeLine); break;
    case DxfEntityKind::Circle: ReadCircleOrArc(reader, result, typeLine, false); break;
    case DxfEntityKind::Arc: ReadCircleOrArc(reader, result, typeLine, true); break;
    case DxfEntityKind::LwPolyline: ReadLwPolyline(reader, result, typeLine); break;
    case DxfEntityKind::Polyline: ReadPolyline(reader, result, typeLine); break;
    case DxfEntityKind::Solid: ReadSolid(reader, result, typeLine, false); break;
    case DxfEntityKind::Face3d: ReadSolid(reader, result, typeLine, true); break;
    case DxfEntityKind::Hatch: ReadHatch(reader, result, typeLine); break;
    case DxfEntityKind::Unknown: result.failure = "not an entity the reader knows"; break;
  }
  if (!result.failure.empty()) result.entity.reset();
  return result;
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
