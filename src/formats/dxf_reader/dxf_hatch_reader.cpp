// HATCH records (solid fill) into polypolygons: every boundary path becomes
// one closed outline. Polyline paths keep their bulges; edge paths turn lines
// and circular arcs into bulge vertices and elliptic arcs and splines into
// chords within the reader's tolerance.
#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "formats/dxf_reader/dxf_record.h"
#include "model/polyline.h"
#include "model/polypolygon.h"

namespace quillon::formats::dxf_detail {

namespace {

using model::CPolyLine;
using model::CPolyPolygon;
using model::PolyVertex;

// The spline of an edge while its groups arrive.
struct SplineEdge {
  DxfSpline spline;
  bool rational = false;
  bool fitCountSeen = false;  // group 97 inside the edge: the fit point count
  std::optional<double> pendingX;  // 10 read, 20 awaited
  std::optional<double> pendingFitX;
  std::optional<double> startTangentX, endTangentX;
};

// One boundary path while it is read: a polyline path (vertices with bulges)
// or an edge path.
struct HatchPath {
  bool polyline = false;
  long announced = -1;  // 93
  model::VertexList vertices;
  bool unsupported = false;
  std::string problem;
  double tolerance = kDxfFlattenTolerance;
  // Edge path: the edge being read.
  int edgeType = 0;
  std::optional<double> ex, ey, radius, start, end, mx, my, ratio;
  bool counterClockwise = true;
  SplineEdge spline;
  long edges = 0;
  // Where the previous edge ended: a curve edge is walked from the end that
  // meets it (writers differ in the direction they store curves in).
  std::optional<Point3> lastEnd;

  void addPoint(const Point3& p) {
    PolyVertex v;
    v.x = p.x;
    v.y = p.y;
    vertices.push_back(v);
  }

  // Points of a flattened curve, all but the last (where the next edge
  // starts); reversed first when the edge runs against the curve (or, after
  // another edge, when its end is the one that meets that edge).
  void addCurve(const FlattenedCurve& curve, bool reversed) {
    if (curve.points.size() < 2) {
      unsupported = true;
      if (problem.empty()) problem = curve.problem;
      return;
    }
    std::vector<Point3> points = curve.points;
    if (curve.closed) points.push_back(points.front());
    if (lastEnd) {
      const double toStart = std::hypot(points.front().x - lastEnd->x, points.front().y - lastEnd->y);
      const double toEnd = std::hypot(points.back().x - lastEnd->x, points.back().y - lastEnd->y);
      reversed = toEnd < toStart;
    }
    if (reversed) std::reverse(points.begin(), points.end());
    for (std::size_t i = 0; i + 1 < points.size(); ++i) addPoint(points[i]);
    lastEnd = points.back();
  }

  void finishEdge() {
    if (edgeType == 0) return;
    ++edges;
    if (edgeType == 4) {
      finishSpline();
    } else if (!(ex && ey)) {
      unsupported = true;
    } else if (edgeType == 1) {
      addPoint(Point3{*ex, *ey, 0.0});
      lastEnd = mx && my ? std::optional<Point3>(Point3{*mx, *my, 0.0}) : std::nullopt;
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
      lastEnd = model::pointOnCircle(Point3{*ex, *ey, 0.0}, *radius, counterClockwise ? a0 + sweep : -a0 - sweep);
    } else if (edgeType == 3 && mx && my && ratio && start && end) {
      finishEllipse();
    } else {
      unsupported = true;
    }
    edgeType = 0;
    ex = ey = radius = start = end = mx = my = ratio = std::nullopt;
    counterClockwise = true;
    spline = SplineEdge{};
  }

  // An elliptic arc: its angles are true angles (not parameters), and a
  // clockwise one stores their complements like a circular arc.
  void finishEllipse() {
    DxfEllipse e;
    e.centre = Point3{*ex, *ey, 0.0};
    e.majorAxis = Point3{*mx, *my, 0.0};
    e.ratio = *ratio;
    double a0 = *start * kDegreesToRadians, a1 = *end * kDegreesToRadians;
    if (!counterClockwise) {
      const double from = model::kTwoPi - a1, to = model::kTwoPi - a0;
      a0 = from;
      a1 = to;
    }
    const auto parameter = [&](double angle) {
      return std::atan2(std::sin(angle) / (e.ratio != 0.0 ? e.ratio : 1.0), std::cos(angle));
    };
    e.startParameter = parameter(a0);
    e.endParameter = parameter(a1);
    // A whole turn stays a whole turn (atan2 folds it onto one point).
    if (std::fabs(*end - *start) >= 360.0 - 1e-9) e.endParameter = e.startParameter + model::kTwoPi;
    addCurve(FlattenCurve(DxfCurve{e}, DxfAffine{}, tolerance), !counterClockwise);
  }

  void finishSpline() {
    DxfSpline& s = spline.spline;
    if (!spline.rational) s.weights.clear();
    addCurve(FlattenCurve(DxfCurve{s}, DxfAffine{}, tolerance), false);
  }

  // A group of a spline edge. False when it is not one (a 97 that turns out
  // to end the path is handled by the caller).
  void splineGroup(const DxfGroup& g, RecordState& state) {
    DxfSpline& s = spline.spline;
    switch (g.code) {
      case 94: s.degree = DxfAtoi(g.value); break;
      case 73: spline.rational = DxfAtoi(g.value) != 0; break;
      case 74: s.closed = DxfAtoi(g.value) != 0; break;
      case 40: if (auto v = state.real(g)) s.knots.push_back(*v); break;
      case 42: if (auto v = state.real(g)) s.weights.push_back(*v); break;
      case 10: spline.pendingX = state.real(g); break;
      case 20:
        if (auto v = state.real(g); v && spline.pendingX) s.controlPoints.push_back(Point3{*spline.pendingX, *v, 0.0});
        spline.pendingX.reset();
        break;
      case 11: spline.pendingFitX = state.real(g); break;
      case 21:
        if (auto v = state.real(g); v && spline.pendingFitX) s.fitPoints.push_back(Point3{*spline.pendingFitX, *v, 0.0});
        spline.pendingFitX.reset();
        break;
      case 12: spline.startTangentX = state.real(g); break;
      case 22:
        if (auto v = state.real(g); v && spline.startTangentX) s.startTangent = Point3{*spline.startTangentX, *v, 0.0};
        break;
      case 13: spline.endTangentX = state.real(g); break;
      case 23:
        if (auto v = state.real(g); v && spline.endTangentX) s.endTangent = Point3{*spline.endTangentX, *v, 0.0};
        break;
      default: break;  // 95, 96 (counts: the data themselves are counted)
    }
  }
};

}  // namespace

void ReadHatch(DxfGroupReader& reader, DxfEntityResult& result, long typeLine, double tolerance) {
  RecordState state{result, tolerance};
  enum class Part { Head, Paths, Tail, Seeds } part = Part::Head;
  bool solidName = false, solidFlag = false;
  long pathsAnnounced = 0, pathsDone = 0;
  bool pathsStopped = false;
  std::optional<HatchPath> path;
  std::vector<std::unique_ptr<CPolyLine>> outlines;
  double seedX = 0.0, seedY = 0.0;
  double elevation = 0.0;
  // A 97 inside a spline edge is its fit point count when fit data follow,
  // and otherwise the path's count of source objects, which ends the path.
  bool pending97 = false;
  std::string pathProblem;

  const auto endPath = [&] {
    if (!path) return;
    if (!path->polyline) path->finishEdge();
    const long count = path->polyline ? static_cast<long>(path->vertices.size()) : path->edges;
    ++pathsDone;
    if (pathsStopped || path->unsupported || count != path->announced) {
      // A path that does not add up ends the reading of further paths.
      if (!pathsStopped && pathProblem.empty()) pathProblem = path->problem;
      pathsStopped = true;
    } else {
      auto outline = std::make_unique<CPolyLine>();
      for (PolyVertex v : path->vertices) {
        v.z = elevation;
        outline->appendVertex(v);
      }
      outline->setClosed(true);
      if (outline->getVertexCount() >= 2) outlines.push_back(std::move(outline));
    }
    path.reset();
  };

  const auto onGroup = [&](const DxfGroup& g, const auto& self) -> void {
    if (pending97) {
      pending97 = false;
      const bool fitData = g.code == 11 || g.code == 21 || g.code == 12 || g.code == 13 || g.code == 72 ||
                           g.code == 97;
      if (!fitData) {
        endPath();  // that 97 was the path's
        if (pathsDone >= pathsAnnounced) part = Part::Tail;
        self(g, self);
        return;
      }
      path->spline.fitCountSeen = true;
      if (g.code == 97) {  // the edge had no fit points; this 97 is the path's
        endPath();
        if (pathsDone >= pathsAnnounced) part = Part::Tail;
        return;
      }
    }
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
        case 30: elevation = state.real(g).value_or(0.0); return;
        case 91:
          pathsAnnounced = DxfAtoi(g.value);
          part = pathsAnnounced > 0 ? Part::Paths : Part::Tail;
          return;
        default: return;  // 10/20 of the elevation point, 71
      }
    }
    if (part == Part::Paths) {
      if (g.code == 92) {
        endPath();
        path.emplace();
        path->tolerance = tolerance;
        path->polyline = (DxfAtoi(g.value) & 2) != 0;
        return;
      }
      if (g.code == 75 || g.code == 76 || g.code == 98) {
        endPath();
        part = Part::Tail;  // falls through to the tail below
      } else if (path) {
        const bool inSpline = !path->polyline && path->edgeType == 4;
        if (g.code == 97) {
          if (inSpline && !path->spline.fitCountSeen) {
            pending97 = true;
            return;
          }
          endPath();  // source objects follow; the path's geometry ends here
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
        } else if (g.code == 72) {
          path->finishEdge();
          path->edgeType = DxfAtoi(g.value);
        } else if (inSpline) {
          path->splineGroup(g, state);
        } else {
          switch (g.code) {
            case 10: path->ex = state.real(g); break;
            case 20: path->ey = state.real(g); break;
            case 11: path->mx = state.real(g); break;  // an ellipse's major axis (a line's end is ignored)
            case 21: path->my = state.real(g); break;
            case 40:
              if (path->edgeType == 3) path->ratio = state.real(g);
              else path->radius = state.real(g);
              break;
            case 50: path->start = state.real(g); break;
            case 51: path->end = state.real(g); break;
            case 73: path->counterClockwise = DxfAtoi(g.value) != 0; break;
            default: break;
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
  };
  const bool complete = ForEachGroup(reader, result, [&](const DxfGroup& g) { onGroup(g, onGroup); });
  if (!complete) return;
  if (pending97) {
    pending97 = false;
    endPath();
  }
  endPath();
  if (!solidName || !solidFlag) {
    state.fail(DxfGroup{0, {}, typeLine}, "HATCH that is not a solid fill (groups 2 and 70)");
    return;
  }
  if (outlines.empty()) {
    state.fail(DxfGroup{0, {}, typeLine}, "HATCH without a boundary path that could be read" +
                                              (pathProblem.empty() ? std::string() : " (" + pathProblem + ")"));
    return;
  }
  auto hatch = std::make_unique<CPolyPolygon>();
  for (auto& outline : outlines) hatch->appendOutline(std::move(outline));
  hatch->seedX = seedX;
  hatch->seedY = seedY;
  state.finish(std::move(hatch), typeLine, "HATCH", true);
}

}  // namespace quillon::formats::dxf_detail
