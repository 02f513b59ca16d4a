// ELLIPSE, SPLINE and INSERT records. The curves are kept as curves (and
// flattened wherever they are placed); an INSERT is kept as the placement
// it describes, which the section reader expands from the block.
#include <cmath>

#include "formats/dxf_reader/dxf_record.h"

namespace quillon::formats {

DxfAffine DxfInsert::cellMap(const Point3& base, long column, long row) const {
  const DxfAffine toBase = DxfAffine::translation(Point3{-base.x, -base.y, -base.z});
  const DxfAffine scaled = DxfAffine::scaling(scale.x, scale.y, scale.z).after(toBase);
  const DxfAffine cell = DxfAffine::translation(Point3{static_cast<double>(column) * columnSpacing,
                                                       static_cast<double>(row) * rowSpacing, 0.0})
                             .after(scaled);
  const DxfAffine placed =
      DxfAffine::translation(position).after(DxfAffine::rotationZ(rotation * dxf_detail::kDegreesToRadians).after(cell));
  return OcsToWorld(extrusion).after(placed);
}

namespace dxf_detail {

namespace {

// Coordinates arriving as x, y, z groups (x first starts a new point).
struct PointGroups {
  std::vector<Point3>* points;
  bool open = false;
  void x(double v) {
    points->push_back(Point3{v, 0.0, 0.0});
    open = true;
  }
  void y(double v) {
    if (open) points->back().y = v;
  }
  void z(double v) {
    if (open) points->back().z = v;
  }
};

void FinishCurve(RecordState& state, DxfCurve curve, long typeLine, std::string_view type) {
  if (!state.result.failure.empty()) return;
  const FlattenedCurve flat = FlattenCurve(curve, DxfAffine{}, state.tolerance);
  if (flat.points.size() < 2) {
    state.fail(DxfGroup{0, {}, typeLine}, flat.problem.empty() ? std::string(type) + " without extent" : flat.problem);
    return;
  }
  state.result.curve = std::make_shared<const DxfCurve>(std::move(curve));
  state.result.flattened = true;
  state.finish(PolylineFromCurve(flat), typeLine, type, false);
}

}  // namespace

void ReadEllipse(DxfGroupReader& reader, DxfEntityResult& result, long typeLine, double tolerance) {
  RecordState state{result, tolerance};
  DxfEllipse e;
  std::optional<double> cx, cy, mx, my;
  const bool complete = ForEachGroup(reader, result, [&](const DxfGroup& g) {
    if (state.common(g)) return;
    switch (g.code) {
      case 10: cx = state.real(g); break;
      case 20: cy = state.real(g); break;
      case 30: e.centre.z = state.real(g).value_or(0.0); break;
      case 11: mx = state.real(g); break;
      case 21: my = state.real(g); break;
      case 31: e.majorAxis.z = state.real(g).value_or(0.0); break;
      case 40: e.ratio = state.real(g).value_or(1.0); break;
      case 41: e.startParameter = state.real(g).value_or(0.0); break;
      case 42: e.endParameter = state.real(g).value_or(model::kTwoPi); break;
      default: break;
    }
  });
  if (!complete) return;
  if (!(cx && cy && mx && my)) {
    state.fail(DxfGroup{0, {}, typeLine}, "ELLIPSE without centre and major axis (groups 10, 20, 11, 21)");
    return;
  }
  e.centre.x = *cx;
  e.centre.y = *cy;
  e.majorAxis.x = *mx;
  e.majorAxis.y = *my;
  e.extrusion = state.extrusion;
  if (!(Length(e.majorAxis) > 0.0)) {
    state.fail(DxfGroup{0, {}, typeLine}, "ELLIPSE with a major axis of no length");
    return;
  }
  FinishCurve(state, DxfCurve{e}, typeLine, "ELLIPSE");
}

void ReadSpline(DxfGroupReader& reader, DxfEntityResult& result, long typeLine, double tolerance) {
  RecordState state{result, tolerance};
  DxfSpline s;
  PointGroups control{&s.controlPoints}, fit{&s.fitPoints};
  std::vector<Point3> tangents[2];
  PointGroups start{&tangents[0]}, end{&tangents[1]};
  bool rational = false;
  const bool complete = ForEachGroup(reader, result, [&](const DxfGroup& g) {
    if (state.common(g)) return;
    const auto value = [&] { return state.real(g).value_or(0.0); };
    switch (g.code) {
      case 70:
        s.closed = (DxfAtoi(g.value) & 1) != 0;
        rational = (DxfAtoi(g.value) & 4) != 0;
        break;
      case 71: s.degree = DxfAtoi(g.value); break;
      case 40: s.knots.push_back(value()); break;
      case 41: s.weights.push_back(value()); break;
      case 10: control.x(value()); break;
      case 20: control.y(value()); break;
      case 30: control.z(value()); break;
      case 11: fit.x(value()); break;
      case 21: fit.y(value()); break;
      case 31: fit.z(value()); break;
      case 12: start.x(value()); break;
      case 22: start.y(value()); break;
      case 32: start.z(value()); break;
      case 13: end.x(value()); break;
      case 23: end.y(value()); break;
      case 33: end.z(value()); break;
      default: break;  // 72..74 (counts: the data are counted as they come), 42..44 tolerances
    }
  });
  if (!complete) return;
  // Weights of a spline not flagged rational are all 1 whatever is written.
  if (!rational) s.weights.clear();
  if (!tangents[0].empty()) s.startTangent = tangents[0].back();
  if (!tangents[1].empty()) s.endTangent = tangents[1].back();
  FinishCurve(state, DxfCurve{std::move(s)}, typeLine, "SPLINE");
}

void ReadInsert(DxfGroupReader& reader, DxfEntityResult& result, long typeLine) {
  RecordState state{result};
  DxfInsert insert;
  const bool complete = ForEachGroup(reader, result, [&](const DxfGroup& g) {
    if (state.common(g)) return;
    const auto value = [&](double fallback) { return state.real(g).value_or(fallback); };
    switch (g.code) {
      case 2: insert.blockName = g.value; break;
      case 10: insert.position.x = value(0.0); break;
      case 20: insert.position.y = value(0.0); break;
      case 30: insert.position.z = value(0.0); break;
      case 41: insert.scale.x = value(1.0); break;
      case 42: insert.scale.y = value(1.0); break;
      case 43: insert.scale.z = value(1.0); break;
      case 50: insert.rotation = value(0.0); break;
      case 44: insert.columnSpacing = value(0.0); break;
      case 45: insert.rowSpacing = value(0.0); break;
      case 70: insert.columns = std::max(1, DxfAtoi(g.value)); break;
      case 71: insert.rows = std::max(1, DxfAtoi(g.value)); break;
      default: break;  // 66 (attributes follow), 100, handles
    }
  });
  if (!complete) return;
  if (insert.blockName.empty()) {
    state.fail(DxfGroup{0, {}, typeLine}, "INSERT without a block name (group 2)");
    return;
  }
  const double values[] = {insert.position.x, insert.position.y, insert.position.z, insert.scale.x,
                           insert.scale.y,    insert.scale.z,    insert.rotation,   insert.columnSpacing,
                           insert.rowSpacing};
  for (double v : values) {
    if (!std::isfinite(v)) {
      state.fail(DxfGroup{0, {}, typeLine}, "INSERT with values that are not finite");
      return;
    }
  }
  if (!result.failure.empty()) return;
  if (!state.hasLayer) result.layerName = "0";
  insert.extrusion = state.extrusion;
  insert.colour = state.colour;
  result.insert = std::move(insert);
}

}  // namespace dxf_detail
}  // namespace quillon::formats
