#pragma once
// The curves of DXF that the drawing has no entity for — ELLIPSE and SPLINE,
// and the elliptic and spline edges of hatch boundaries — and their
// flattening into polyline points. A curve is flattened after it has been
// carried through its placing map, so the tolerance holds in drawing units
// whatever the block scale: no point of the chords lies further than the
// tolerance from the true curve (checked at each chord's middle while
// halving, with at most kMaxCurvePoints points per curve).

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "formats/dxf_reader/dxf_geometry.h"

namespace quillon::formats {

// The default flattening tolerance, in drawing units.
inline constexpr double kDxfFlattenTolerance = 0.1;
// Points of one flattened curve at most; a curve that would need more is
// drawn coarser than the tolerance.
inline constexpr std::size_t kMaxCurvePoints = 100000;

// World coordinates; the minor axis is ratio · (extrusion × majorAxis).
struct DxfEllipse {
  Point3 centre;
  Point3 majorAxis{1.0, 0.0, 0.0};  // from the centre to the end of the major axis
  Point3 extrusion{0.0, 0.0, 1.0};
  double ratio = 1.0;               // minor / major
  double startParameter = 0.0;      // radians
  double endParameter = model::kTwoPi;
};

// A (rational) B-spline by degree, knots, control points and weights, or a
// cubic through fit points (with optional end tangents).
struct DxfSpline {
  int degree = 3;
  bool closed = false;  // flag 1 of group 70
  std::vector<double> knots;
  std::vector<Point3> controlPoints;
  std::vector<double> weights;  // empty: all 1
  std::vector<Point3> fitPoints;
  std::optional<Point3> startTangent, endTangent;
};

struct DxfCurve {
  std::variant<DxfEllipse, DxfSpline> shape;
};

struct FlattenedCurve {
  std::vector<Point3> points;
  bool closed = false;  // the last point joins the first (not repeated)
  std::string problem;  // why nothing could be made (points empty)
};

// The curve carried through map and flattened within tolerance.
FlattenedCurve FlattenCurve(const DxfCurve& curve, const DxfAffine& map, double tolerance);

// Spline checks that need no evaluation: "" when the data make a curve,
// otherwise why not.
std::string SplineProblem(const DxfSpline& spline);

}  // namespace quillon::formats
