#include "formats/dxf_reader/dxf_curves.h"

#include <algorithm>
#include <cmath>

namespace quillon::formats {

namespace {

// Halvings of one initial piece at most: 2^20 pieces is far beyond
// kMaxCurvePoints anyway.
constexpr int kMaxHalvings = 20;
// Degrees beyond this are not met in drawings; the limit keeps the basis
// arrays small.
constexpr int kMaxSplineDegree = 11;
// Fit points are interpolated by a banded solve; beyond this many the fit
// points themselves are drawn as the polyline.
constexpr std::size_t kMaxFitPoints = 200000;

Point3 Add(const Point3& a, const Point3& b) { return Point3{a.x + b.x, a.y + b.y, a.z + b.z}; }
Point3 Sub(const Point3& a, const Point3& b) { return Point3{a.x - b.x, a.y - b.y, a.z - b.z}; }
Point3 Scale(const Point3& a, double s) { return Point3{a.x * s, a.y * s, a.z * s}; }
bool Finite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// Distance of p from the segment ab in the drawing plane.
double PlaneDistance(const Point3& p, const Point3& a, const Point3& b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double length2 = dx * dx + dy * dy;
  double t = length2 > 0.0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// Appends points of f on (t0, t1] until the curve at a quarter, half and
// three quarters of each chord's parameter range lies within tolerance of
// the chord (the parameter is not arc length, so the farthest point of a
// piece need not be its parameter middle).
template <typename F>
void Refine(const F& f, double t0, const Point3& p0, double t1, const Point3& p1, double tolerance, int depth,
            std::vector<Point3>& out) {
  const double tm = 0.5 * (t0 + t1);
  const Point3 pm = f(tm);
  const auto far = [&] {
    return PlaneDistance(pm, p0, p1) > tolerance || PlaneDistance(f(0.75 * t0 + 0.25 * t1), p0, p1) > tolerance ||
           PlaneDistance(f(0.25 * t0 + 0.75 * t1), p0, p1) > tolerance;
  };
  if (depth < kMaxHalvings && out.size() < kMaxCurvePoints && far()) {
    Refine(f, t0, p0, tm, pm, tolerance, depth + 1, out);
    Refine(f, tm, pm, t1, p1, tolerance, depth + 1, out);
    return;
  }
  out.push_back(p1);
}

// f over the parameter breaks (increasing), each interval cut into `pieces`
// before refining.
template <typename F>
std::vector<Point3> Flatten(const F& f, const std::vector<double>& breaks, int pieces, double tolerance) {
  std::vector<Point3> out;
  Point3 previous = f(breaks.front());
  out.push_back(previous);
  for (std::size_t i = 0; i + 1 < breaks.size(); ++i) {
    for (int k = 1; k <= pieces; ++k) {
      const double t0 = breaks[i] + (breaks[i + 1] - breaks[i]) * (k - 1) / pieces;
      const double t1 = k == pieces ? breaks[i + 1] : breaks[i] + (breaks[i + 1] - breaks[i]) * k / pieces;
      const Point3 p1 = f(t1);
      Refine(f, t0, previous, t1, p1, tolerance, 0, out);
      previous = p1;
    }
  }
  return out;
}

// --- B-spline basis ---------------------------------------------------------------------

// The span s (degree ≤ s < count) with knots[s] ≤ u < knots[s + 1]; the last
// span for the end of the domain.
std::size_t FindSpan(const std::vector<double>& knots, int degree, std::size_t count, double u) {
  std::size_t lo = static_cast<std::size_t>(degree), hi = count;  // answer in [lo, hi)
  if (u >= knots[count]) {
    std::size_t s = count - 1;
    while (s > lo && knots[s] >= knots[count]) --s;
    return s;
  }
  while (hi - lo > 1) {
    const std::size_t mid = (lo + hi) / 2;
    if (u < knots[mid]) hi = mid;
    else lo = mid;
  }
  return lo;
}

// The degree + 1 basis functions that are not zero at u in span s.
void BasisFunctions(const std::vector<double>& knots, int degree, std::size_t s, double u, double* n) {
  double left[kMaxSplineDegree + 2], right[kMaxSplineDegree + 2];
  n[0] = 1.0;
  for (int j = 1; j <= degree; ++j) {
    left[j] = u - knots[s + 1 - j];
    right[j] = knots[s + j] - u;
    double saved = 0.0;
    for (int r = 0; r < j; ++r) {
      const double denominator = right[r + 1] + left[j - r];
      const double temp = denominator != 0.0 ? n[r] / denominator : 0.0;
      n[r] = saved + right[r + 1] * temp;
      saved = left[j - r] * temp;
    }
    n[j] = saved;
  }
}

struct BSpline {
  int degree = 3;
  std::vector<double> knots;
  std::vector<Point3> points;
  std::vector<double> weights;

  Point3 at(double u) const {
    const std::size_t s = FindSpan(knots, degree, points.size(), u);
    double n[kMaxSplineDegree + 1];
    BasisFunctions(knots, degree, s, u, n);
    Point3 sum{};
    double w = 0.0;
    for (int i = 0; i <= degree; ++i) {
      const std::size_t k = s - static_cast<std::size_t>(degree) + static_cast<std::size_t>(i);
      const double weight = weights.empty() ? 1.0 : weights[k];
      sum = Add(sum, Scale(points[k], n[i] * weight));
      w += n[i] * weight;
    }
    return w != 0.0 ? Scale(sum, 1.0 / w) : sum;
  }
};

// A clamped knot vector with evenly spaced inner knots.
std::vector<double> UniformClampedKnots(std::size_t count, int degree) {
  std::vector<double> knots;
  const std::size_t inner = count - static_cast<std::size_t>(degree) - 1;
  for (int i = 0; i <= degree; ++i) knots.push_back(0.0);
  for (std::size_t i = 1; i <= inner; ++i) knots.push_back(static_cast<double>(i) / static_cast<double>(inner + 1));
  for (int i = 0; i <= degree; ++i) knots.push_back(1.0);
  return knots;
}

// --- cubic through fit points -------------------------------------------------------------

// The end tangent directions of the five-point estimate (the one common CAD
// programs come closest to).
Point3 EstimatedTangent(const std::vector<Point3>& q, std::size_t k) {
  // q holds the differences with two extrapolated ones before and after:
  // q[k + 2] is the difference after fit point k.
  const double v1 = Length(Cross(q[k], q[k + 1]));
  const double v2 = Length(Cross(q[k + 2], q[k + 3]));
  const double alpha = v1 + v2 > 0.0 ? v1 / (v1 + v2) : 0.5;
  return Add(Scale(q[k + 1], 1.0 - alpha), Scale(q[k + 2], alpha));
}

// Global interpolation with end derivatives (n + 1 fit points, n + 3 control
// points, chord-length parameters, natural knots). Nothing when the system
// is singular.
std::optional<BSpline> InterpolateFitPoints(const std::vector<Point3>& fit, std::optional<Point3> startTangent,
                                            std::optional<Point3> endTangent) {
  const std::size_t n = fit.size() - 1;
  std::vector<double> t(n + 1, 0.0);
  for (std::size_t i = 1; i <= n; ++i) t[i] = t[i - 1] + std::sqrt(Dot(Sub(fit[i], fit[i - 1]), Sub(fit[i], fit[i - 1])));
  const double total = t[n];
  if (!(total > 0.0) || !std::isfinite(total)) return std::nullopt;
  for (double& v : t) v /= total;
  t[n] = 1.0;

  // Given end tangents count only as a pair; otherwise both are estimated.
  if (!startTangent || !endTangent || !(Length(*startTangent) > 0.0) || !(Length(*endTangent) > 0.0)) {
    std::vector<Point3> q(n + 4);
    for (std::size_t i = 0; i < n; ++i) q[i + 2] = Sub(fit[i + 1], fit[i]);
    q[1] = n >= 2 ? Sub(Scale(q[2], 2.0), q[3]) : q[2];
    q[0] = n >= 2 ? Sub(Scale(q[1], 2.0), q[2]) : q[1];
    q[n + 2] = n >= 2 ? Sub(Scale(q[n + 1], 2.0), q[n]) : q[n + 1];
    q[n + 3] = n >= 2 ? Sub(Scale(q[n + 2], 2.0), q[n + 1]) : q[n + 2];
    startTangent = EstimatedTangent(q, 0);
    endTangent = EstimatedTangent(q, n);
  }
  // Derivative magnitudes: the total chord length.
  const Point3 d0 = Scale(Normalized(*startTangent), total);
  const Point3 dn = Scale(Normalized(*endTangent), total);

  BSpline spline;
  spline.degree = 3;
  for (int i = 0; i < 4; ++i) spline.knots.push_back(0.0);
  for (std::size_t i = 1; i < n; ++i) spline.knots.push_back(t[i]);
  for (int i = 0; i < 4; ++i) spline.knots.push_back(1.0);
  const std::size_t size = n + 3;

  // Band storage: row r keeps columns r − W .. r + W. Collocation matrices of
  // B-splines are eliminated stably without pivoting.
  constexpr int W = 3;
  std::vector<double> a(size * (2 * W + 1), 0.0);
  const auto at = [&](std::size_t r, std::size_t c) -> double& {
    return a[r * (2 * W + 1) + static_cast<std::size_t>(static_cast<long>(c) - static_cast<long>(r) + W)];
  };
  std::vector<Point3> rhs(size);
  const auto setBasisRow = [&](std::size_t row, double u) {
    const std::size_t s = FindSpan(spline.knots, 3, size, u);
    double basis[4];
    BasisFunctions(spline.knots, 3, s, u, basis);
    for (int i = 0; i < 4; ++i) {
      const std::size_t c = s - 3 + static_cast<std::size_t>(i);
      if (c + W < row || c > row + W) return false;
      at(row, c) = basis[i];
    }
    return true;
  };
  if (!setBasisRow(0, 0.0)) return std::nullopt;
  rhs[0] = fit[0];
  at(1, 0) = -1.0;
  at(1, 1) = 1.0;
  rhs[1] = Scale(d0, spline.knots[4] / 3.0);
  for (std::size_t k = 1; k < n; ++k) {
    if (!setBasisRow(k + 1, t[k])) return std::nullopt;
    rhs[k + 1] = fit[k];
  }
  at(n + 1, n + 1) = -1.0;
  at(n + 1, n + 2) = 1.0;
  rhs[n + 1] = Scale(dn, (1.0 - spline.knots[spline.knots.size() - 5]) / 3.0);
  if (!setBasisRow(n + 2, 1.0)) return std::nullopt;
  rhs[n + 2] = fit[n];

  for (std::size_t k = 0; k < size; ++k) {
    const double pivot = at(k, k);
    if (std::fabs(pivot) < 1e-12) return std::nullopt;
    for (std::size_t i = k + 1; i < size && i <= k + W; ++i) {
      const double f = at(i, k) / pivot;
      if (f == 0.0) continue;
      for (std::size_t j = k; j < size && j <= k + W; ++j) at(i, j) -= f * at(k, j);
      rhs[i] = Sub(rhs[i], Scale(rhs[k], f));
    }
  }
  spline.points.assign(size, Point3{});
  for (std::size_t k = size; k-- > 0;) {
    Point3 sum = rhs[k];
    for (std::size_t j = k + 1; j < size && j <= k + W; ++j) sum = Sub(sum, Scale(spline.points[j], at(k, j)));
    spline.points[k] = Scale(sum, 1.0 / at(k, k));
    if (!Finite(spline.points[k])) return std::nullopt;
  }
  return spline;
}

FlattenedCurve FlattenEllipse(const DxfEllipse& e, const DxfAffine& map, double tolerance) {
  FlattenedCurve out;
  const Point3 normal = Normalized(IsWorldExtrusion(e.extrusion) ? Point3{0, 0, 1} : e.extrusion);
  const Point3 minor = Scale(Cross(normal, e.majorAxis), e.ratio);
  double t0 = e.startParameter, t1 = e.endParameter;
  if (!std::isfinite(t0) || !std::isfinite(t1) || !Finite(e.majorAxis) || !Finite(e.centre) ||
      !std::isfinite(e.ratio)) {
    out.problem = "ELLIPSE with values that are not finite";
    return out;
  }
  t0 = std::fmod(t0, model::kTwoPi);
  t1 = std::fmod(t1, model::kTwoPi);
  if (t1 <= t0 + 1e-12) t1 += model::kTwoPi;
  // Start and end one turn apart (within rounding): the whole ellipse.
  out.closed = t1 - t0 >= model::kTwoPi - 1e-9;
  if (out.closed) t1 = t0 + model::kTwoPi;
  const auto f = [&](double t) {
    return map.apply(Add(e.centre, Add(Scale(e.majorAxis, std::cos(t)), Scale(minor, std::sin(t)))));
  };
  // Sixteen pieces per turn start the halving: an ellipse bends one way, so
  // the middle test cannot miss a bulge between them.
  const int pieces = std::max(2, static_cast<int>(std::ceil((t1 - t0) / (model::kTwoPi / 16.0))));
  out.points = Flatten(f, {t0, t1}, pieces, tolerance);
  if (out.closed && out.points.size() > 1) out.points.pop_back();
  return out;
}

FlattenedCurve FlattenSpline(const DxfSpline& s, const DxfAffine& map, double tolerance) {
  FlattenedCurve out;
  out.problem = SplineProblem(s);
  if (!out.problem.empty()) return out;
  BSpline spline;
  if (!s.controlPoints.empty()) {
    spline.degree = s.degree;
    spline.points = s.controlPoints;
    spline.weights = s.weights;
    spline.knots = s.knots.empty() ? UniformClampedKnots(s.controlPoints.size(), s.degree) : s.knots;
  } else {
    std::vector<Point3> fit;
    for (const Point3& p : s.fitPoints) {
      if (fit.empty() || Length(Sub(p, fit.back())) > 0.0) fit.push_back(p);
    }
    std::optional<BSpline> interpolated;
    if (fit.size() >= 3 && fit.size() <= kMaxFitPoints) {
      interpolated = InterpolateFitPoints(fit, s.startTangent, s.endTangent);
    }
    if (!interpolated) {
      // Two points, too many, or no solution: the fit points are the curve.
      for (const Point3& p : fit) out.points.push_back(map.apply(p));
      if (out.points.size() < 2) out.problem = "SPLINE whose fit points all coincide";
      return out;
    }
    spline = std::move(*interpolated);
  }
  std::vector<double> breaks;
  const std::size_t count = spline.points.size();
  for (std::size_t i = static_cast<std::size_t>(spline.degree); i <= count; ++i) {
    if (breaks.empty() || spline.knots[i] > breaks.back()) breaks.push_back(spline.knots[i]);
  }
  if (breaks.size() < 2) {
    out.problem = "SPLINE whose knots leave no parameter range";
    return out;
  }
  const auto f = [&](double u) { return map.apply(spline.at(u)); };
  // Four pieces per knot span catch the turns of a cubic span before the
  // halving looks at middles only.
  const int pieces = breaks.size() > kMaxCurvePoints / 4 ? 1 : 4;
  out.points = Flatten(f, breaks, pieces, tolerance);
  if (s.closed && out.points.size() > 2) {
    const Point3& a = out.points.front();
    const Point3& b = out.points.back();
    if (std::hypot(a.x - b.x, a.y - b.y) <= tolerance) {
      out.points.pop_back();
      out.closed = true;
    }
  }
  return out;
}

}  // namespace

std::string SplineProblem(const DxfSpline& s) {
  for (const Point3& p : s.controlPoints) {
    if (!Finite(p)) return "SPLINE with a control point that is not finite";
  }
  for (const Point3& p : s.fitPoints) {
    if (!Finite(p)) return "SPLINE with a fit point that is not finite";
  }
  if (s.controlPoints.empty()) {
    if (s.fitPoints.size() < 2) return "SPLINE without control points and with fewer than two fit points";
    return {};
  }
  if (s.degree < 1 || s.degree > kMaxSplineDegree) {
    return "SPLINE of degree " + std::to_string(s.degree) + " (1 to " + std::to_string(kMaxSplineDegree) + " are read)";
  }
  const std::size_t count = s.controlPoints.size();
  if (count < static_cast<std::size_t>(s.degree) + 1) {
    return "SPLINE with " + std::to_string(count) + " control points for degree " + std::to_string(s.degree);
  }
  if (!s.knots.empty()) {
    if (s.knots.size() != count + static_cast<std::size_t>(s.degree) + 1) {
      return "SPLINE with " + std::to_string(s.knots.size()) + " knots for " + std::to_string(count) +
             " control points of degree " + std::to_string(s.degree);
    }
    for (std::size_t i = 0; i < s.knots.size(); ++i) {
      if (!std::isfinite(s.knots[i]) || (i > 0 && s.knots[i] < s.knots[i - 1])) {
        return "SPLINE whose knots do not increase";
      }
    }
  }
  if (!s.weights.empty()) {
    if (s.weights.size() != count) {
      return "SPLINE with " + std::to_string(s.weights.size()) + " weights for " + std::to_string(count) +
             " control points";
    }
    for (double w : s.weights) {
      if (!(w > 0.0) || !std::isfinite(w)) return "SPLINE with a weight that is not positive";
    }
  }
  return {};
}

FlattenedCurve FlattenCurve(const DxfCurve& curve, const DxfAffine& map, double tolerance) {
  if (!(tolerance > 0.0)) tolerance = kDxfFlattenTolerance;
  if (const auto* ellipse = std::get_if<DxfEllipse>(&curve.shape)) return FlattenEllipse(*ellipse, map, tolerance);
  return FlattenSpline(std::get<DxfSpline>(curve.shape), map, tolerance);
}

}  // namespace quillon::formats
