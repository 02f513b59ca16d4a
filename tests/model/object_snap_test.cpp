#include "model/object_snap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "model/arc.h"
#include "model/circle.h"
#include "model/graph.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"

namespace quillon::model {
namespace {

constexpr double kEps = 1e-9;

Point3 P(double x, double y) { return Point3{x, y, 0.0}; }

int snap(const SnapPrimitive& p, const Point3* ref, Point3 cursor, int modes, Point3& out) {
  double d = 0.0;
  return snapPoint(p, ref, cursor, modes, out, d);
}

void expectPoint(const Point3& p, double x, double y, double tol = 1e-9) {
  EXPECT_NEAR(p.x, x, tol);
  EXPECT_NEAR(p.y, y, tol);
}

// How far q lies from the primitive (0 when on it); infinity when q is
// outside the segment's parameter range or the arc's angle range.
double offPrimitive(const SnapPrimitive& p, const Point3& q) {
  if (p.kind == SnapPrimitive::Kind::Arc) {
    if (!angleOnArc(p, std::atan2(q.y - p.centre.y, q.x - p.centre.x))) return INFINITY;
    return std::fabs(std::hypot(q.x - p.centre.x, q.y - p.centre.y) - p.radius);
  }
  const double dx = p.p2.x - p.p1.x, dy = p.p2.y - p.p1.y;
  const double len = std::hypot(dx, dy);
  const double t = ((q.x - p.p1.x) * dx + (q.y - p.p1.y) * dy) / (len * len);
  if (t < -1e-5 || t > 1.0 + 1e-5) return INFINITY;
  return std::fabs((q.x - p.p1.x) * dy - (q.y - p.p1.y) * dx) / len;
}

// --- snap points on one primitive -------------------------------------------------

TEST(SnapPoint, SegmentEndMiddleNearestAndPerpendicular) {
  const SnapPrimitive s = segmentPrimitive(P(0, 0), P(10, 0));
  Point3 q;
  EXPECT_EQ(snap(s, nullptr, P(8, 1), kOsnapEnd, q), kOsnapEnd);
  expectPoint(q, 10, 0);
  EXPECT_EQ(snap(s, nullptr, P(4, 1), kOsnapMiddle, q), kOsnapMiddle);
  expectPoint(q, 5, 0);
  EXPECT_EQ(snap(s, nullptr, P(3, 2), kOsnapNearest, q), kOsnapNearest);
  expectPoint(q, 3, 0);
  // Nearest stays on the segment; perpendicular goes to the infinite line.
  EXPECT_EQ(snap(s, nullptr, P(12, 2), kOsnapNearest, q), 0);
  const Point3 ref = P(14, 5);
  EXPECT_EQ(snap(s, &ref, P(12, 2), kOsnapPerpendicular, q), kOsnapPerpendicular);
  expectPoint(q, 14, 0);
  // No reference, no perpendicular (nor tangent).
  EXPECT_EQ(snap(s, nullptr, P(12, 2), kOsnapPerpendicular | kOsnapTangent, q), 0);
  // Centre, quadrant and tangent are arc modes.
  EXPECT_EQ(snap(s, &ref, P(5, 0), kOsnapCentre | kOsnapQuadrant | kOsnapTangent, q), 0);
}

TEST(SnapPoint, QuarterArcModes) {
  // Radius 10 about (100, 50), from 0° to 90°.
  const SnapPrimitive a = arcPrimitive(P(100, 50), 10, 0, kPi / 2);
  Point3 q;
  EXPECT_EQ(snap(a, nullptr, P(101, 59), kOsnapEnd, q), kOsnapEnd);
  expectPoint(q, 100, 60);
  EXPECT_EQ(snap(a, nullptr, P(107, 57), kOsnapMiddle, q), kOsnapMiddle);
  expectPoint(q, 100 + 10 * std::cos(kPi / 4), 50 + 10 * std::sin(kPi / 4));
  EXPECT_EQ(snap(a, nullptr, P(90, 40), kOsnapCentre, q), kOsnapCentre);
  expectPoint(q, 100, 50);
  // Quadrants 0° and 90° lie on the arc, 180° does not.
  EXPECT_EQ(snap(a, nullptr, P(112, 49), kOsnapQuadrant, q), kOsnapQuadrant);
  expectPoint(q, 110, 50);
  EXPECT_EQ(snap(a, nullptr, P(89, 50), kOsnapQuadrant, q), kOsnapQuadrant);
  expectPoint(q, 100, 60);
  // Nearest: toward the cursor; behind the centre the opposite point is off the arc.
  EXPECT_EQ(snap(a, nullptr, P(120, 70), kOsnapNearest, q), kOsnapNearest);
  expectPoint(q, 100 + 10 * std::cos(kPi / 4), 50 + 10 * std::sin(kPi / 4));
  EXPECT_EQ(snap(a, nullptr, P(90, 60), kOsnapNearest, q), 0);
  // Perpendicular from a point: the radial point toward it, or the opposite one.
  const Point3 ref = P(90, 40);  // at 225°: the opposite point, 45°, is on the arc
  EXPECT_EQ(snap(a, &ref, P(100, 50), kOsnapPerpendicular, q), kOsnapPerpendicular);
  expectPoint(q, 100 + 10 * std::cos(kPi / 4), 50 + 10 * std::sin(kPi / 4));
  // The cursor at the centre has no direction: no nearest point, no NaN.
  EXPECT_EQ(snap(a, nullptr, P(100, 50), kOsnapNearest, q), 0);
}

TEST(SnapPoint, TangentPointsFromOutsideOnly) {
  const SnapPrimitive c = arcPrimitive(P(0, 0), 10, 0, kTwoPi, kOsnapCircleModes);
  const Point3 outside = P(20, 0);
  Point3 q;
  EXPECT_EQ(snap(c, &outside, P(5, 9), kOsnapTangent, q), kOsnapTangent);
  expectPoint(q, 5, 10 * std::sin(kPi / 3));
  EXPECT_EQ(snap(c, &outside, P(5, -9), kOsnapTangent, q), kOsnapTangent);
  expectPoint(q, 5, -10 * std::sin(kPi / 3));
  // The tangent from R is perpendicular to the radius at the tangent point.
  EXPECT_NEAR((q.x - outside.x) * q.x + (q.y - outside.y) * q.y, 0.0, 1e-9);
  const Point3 inside = P(3, 0);
  EXPECT_EQ(snap(c, &inside, P(5, 9), kOsnapTangent, q), 0);
  const Point3 onCircle = P(10, 0);
  EXPECT_EQ(snap(c, &onCircle, P(5, 9), kOsnapTangent, q), 0);
  // On an arc only the tangent points within its range count.
  const SnapPrimitive upper = arcPrimitive(P(0, 0), 10, 0, kPi);
  EXPECT_EQ(snap(upper, &outside, P(5, -9), kOsnapTangent, q), kOsnapTangent);
  expectPoint(q, 5, 10 * std::sin(kPi / 3));
}

TEST(SnapPoint, CircleOffersNoEndOrMiddle) {
  const SnapPrimitive c = arcPrimitive(P(0, 0), 10, 0, kTwoPi, kOsnapCircleModes);
  Point3 q;
  EXPECT_EQ(snap(c, nullptr, P(10, 0), kOsnapEnd | kOsnapMiddle, q), 0);
  EXPECT_EQ(snap(c, nullptr, P(9, 1), kOsnapAll, q), kOsnapNearest);
}

TEST(SnapPoint, EqualDistancesKeepTheEarlierMode) {
  const SnapPrimitive s = segmentPrimitive(P(0, 0), P(2, 0));
  Point3 q;
  // End (0, 0) and middle (1, 0) are both 0.5 from the cursor.
  EXPECT_EQ(snap(s, nullptr, P(0.5, 0), kOsnapEnd | kOsnapMiddle, q), kOsnapEnd);
  expectPoint(q, 0, 0);
  // Nearest is at distance 0 and wins over both.
  EXPECT_EQ(snap(s, nullptr, P(0.5, 0), kOsnapEnd | kOsnapMiddle | kOsnapNearest, q), kOsnapNearest);
  // Quadrant and end coincide at 0° of an arc: end comes first.
  const SnapPrimitive a = arcPrimitive(P(0, 0), 1, 0, kPi / 2);
  EXPECT_EQ(snap(a, nullptr, P(1.2, 0), kOsnapEnd | kOsnapQuadrant, q), kOsnapEnd);
}

// Random primitives and cursors: every answer lies on its primitive (the
// centre excepted, a perpendicular foot on the segment's line), and the
// answer with all modes is the closest of the single-mode answers.
TEST(SnapPoint, RandomAnswersLieOnThePrimitiveAndAreTheClosest) {
  std::mt19937 rng(777);
  std::uniform_real_distribution<double> coord(-20.0, 20.0);
  std::uniform_real_distribution<double> angle(0.0, kTwoPi);
  const int single[] = {kOsnapEnd,           kOsnapMiddle,  kOsnapCentre, kOsnapTangent,
                        kOsnapPerpendicular, kOsnapQuadrant, kOsnapNearest};
  for (int i = 0; i < 5000; ++i) {
    const SnapPrimitive p = i % 2 == 0 ? segmentPrimitive(P(coord(rng), coord(rng)), P(coord(rng), coord(rng)))
                                       : arcPrimitive(P(coord(rng), coord(rng)), std::fabs(coord(rng)) + 0.5,
                                                      angle(rng), angle(rng));
    const Point3 cursor = P(coord(rng), coord(rng)), ref = P(coord(rng), coord(rng));
    double best = INFINITY;
    for (const int mode : single) {
      Point3 q;
      double d = 0.0;
      if (snapPoint(p, &ref, cursor, mode, q, d) == 0) continue;
      ASSERT_EQ(snapPoint(p, &ref, cursor, mode, q, d), mode);
      EXPECT_NEAR(d, std::hypot(q.x - cursor.x, q.y - cursor.y), 1e-12);
      best = std::min(best, d);
      if (mode == kOsnapCentre) continue;
      if (mode == kOsnapPerpendicular && p.kind == SnapPrimitive::Kind::Segment) {
        const SnapPrimitive line = segmentPrimitive(p.p1, p.p2);
        EXPECT_NEAR(std::fabs((q.x - line.p1.x) * (line.p2.y - line.p1.y) - (q.y - line.p1.y) * (line.p2.x - line.p1.x)),
                    0.0, 1e-9 * 1600);
        continue;
      }
      EXPECT_LT(offPrimitive(p, q), 1e-9) << i << " mode " << mode;
    }
    Point3 q;
    double d = 0.0;
    if (snapPoint(p, &ref, cursor, kOsnapAll, q, d) != 0) {
      EXPECT_EQ(d, best) << i;
    } else {
      EXPECT_EQ(best, INFINITY);
    }
  }
}

TEST(SnapPoint, DegenerateInputGivesNoPoint) {
  Point3 q{7, 7, 0};
  const SnapPrimitive dot = segmentPrimitive(P(1, 1), P(1, 1));
  const Point3 ref = P(5, 5);
  EXPECT_EQ(snap(dot, &ref, P(2, 2), kOsnapPerpendicular | kOsnapNearest, q), 0);
  EXPECT_EQ(snap(dot, &ref, P(2, 2), kOsnapEnd, q), kOsnapEnd);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const SnapPrimitive bad = segmentPrimitive(P(nan, 0), P(1, 1));
  EXPECT_EQ(snap(bad, nullptr, P(1, 1), kOsnapAll, q), 0);
  EXPECT_EQ(snap(segmentPrimitive(P(0, 0), P(1, 1)), nullptr, P(nan, 0), kOsnapAll, q), 0);
  const Point3 nanRef = P(nan, nan);
  EXPECT_EQ(snap(segmentPrimitive(P(0, 0), P(4, 0)), &nanRef, P(1, 1), kOsnapPerpendicular, q), 0);
  expectPoint(q, 1, 1);  // the last successful answer; failures leave it alone
}

// --- bulge segments -----------------------------------------------------------------

TEST(SnapPrimitiveOfBulge, BothDirectionsGiveTheSameCounterClockwiseArc) {
  // A half circle of radius 1 about (1, 0): bulge 1 from (0,0) to (2,0) runs
  // counter-clockwise below the chord; bulge −1 above it.
  const SnapPrimitive ccw = polylineSegmentPrimitive(P(0, 0), P(2, 0), 1.0);
  ASSERT_EQ(ccw.kind, SnapPrimitive::Kind::Arc);
  expectPoint(ccw.centre, 1, 0);
  EXPECT_NEAR(ccw.radius, 1, kEps);
  EXPECT_NEAR(ccw.endAngle - ccw.startAngle, kPi, kEps);
  Point3 q;
  EXPECT_EQ(snap(ccw, nullptr, P(1, -3), kOsnapMiddle, q), kOsnapMiddle);
  expectPoint(q, 1, -1);
  const SnapPrimitive cw = polylineSegmentPrimitive(P(0, 0), P(2, 0), -1.0);
  EXPECT_EQ(snap(cw, nullptr, P(1, 3), kOsnapMiddle, q), kOsnapMiddle);
  expectPoint(q, 1, 1);
  // The end points are the vertices themselves.
  EXPECT_EQ(snap(cw, nullptr, P(2.1, 0), kOsnapEnd, q), kOsnapEnd);
  EXPECT_EQ(q.x, 2.0);
  EXPECT_EQ(q.y, 0.0);
  // The quadrant below the chord is not on the upper half circle.
  EXPECT_EQ(snap(cw, nullptr, P(1, -1.2), kOsnapQuadrant, q), kOsnapQuadrant);
  expectPoint(q, 2, 0);
  // A tiny bulge is a straight segment.
  EXPECT_EQ(polylineSegmentPrimitive(P(0, 0), P(2, 0), 1e-6).kind, SnapPrimitive::Kind::Segment);
}

// --- intersections ------------------------------------------------------------------

TEST(Intersect, SegmentPairs) {
  std::array<Point3, 2> pts;
  ASSERT_EQ(intersect(segmentPrimitive(P(0, 0), P(4, 4)), segmentPrimitive(P(0, 4), P(4, 0)), pts), 1);
  expectPoint(pts[0], 2, 2);
  // Touching at an end counts, missing by more than the slack does not.
  EXPECT_EQ(intersect(segmentPrimitive(P(0, 0), P(2, 0)), segmentPrimitive(P(2, -1), P(2, 1)), pts), 1);
  EXPECT_EQ(intersect(segmentPrimitive(P(0, 0), P(2, 0)), segmentPrimitive(P(2.001, -1), P(2.001, 1)), pts), 0);
  // Parallel, collinear overlapping and zero-length segments have none.
  EXPECT_EQ(intersect(segmentPrimitive(P(0, 0), P(4, 0)), segmentPrimitive(P(0, 1), P(4, 1)), pts), 0);
  EXPECT_EQ(intersect(segmentPrimitive(P(0, 0), P(4, 0)), segmentPrimitive(P(2, 0), P(6, 0)), pts), 0);
  EXPECT_EQ(intersect(segmentPrimitive(P(1, 0), P(1, 0)), segmentPrimitive(P(0, 0), P(4, 0)), pts), 0);
}

TEST(Intersect, SegmentAndArc) {
  std::array<Point3, 2> pts;
  const SnapPrimitive circle = arcPrimitive(P(0, 0), 5, 0, kTwoPi, kOsnapCircleModes);
  ASSERT_EQ(intersect(segmentPrimitive(P(-10, 3), P(10, 3)), circle, pts), 2);
  expectPoint(pts[0], -4, 3);
  expectPoint(pts[1], 4, 3);
  // Either order of the arguments.
  ASSERT_EQ(intersect(circle, segmentPrimitive(P(-10, 3), P(10, 3)), pts), 2);
  // Only the crossing within the segment.
  ASSERT_EQ(intersect(segmentPrimitive(P(0, 3), P(10, 3)), circle, pts), 1);
  expectPoint(pts[0], 4, 3);
  // A tangent line touches once.
  ASSERT_EQ(intersect(segmentPrimitive(P(-10, 5), P(10, 5)), circle, pts), 1);
  expectPoint(pts[0], 0, 5);
  EXPECT_EQ(intersect(segmentPrimitive(P(-10, 5.01), P(10, 5.01)), circle, pts), 0);
  // Only the crossing within the arc's range (upper half circle).
  const SnapPrimitive upper = arcPrimitive(P(0, 0), 5, 0, kPi);
  ASSERT_EQ(intersect(segmentPrimitive(P(3, -10), P(3, 10)), upper, pts), 1);
  expectPoint(pts[0], 3, 4);
}

TEST(Intersect, ArcPairs) {
  std::array<Point3, 2> pts;
  const SnapPrimitive a = arcPrimitive(P(0, 0), 5, 0, kTwoPi, kOsnapCircleModes);
  const SnapPrimitive b = arcPrimitive(P(8, 0), 5, 0, kTwoPi, kOsnapCircleModes);
  ASSERT_EQ(intersect(a, b, pts), 2);
  expectPoint(pts[0], 4, 3);
  expectPoint(pts[1], 4, -3);
  // Externally and internally tangent circles meet once.
  ASSERT_EQ(intersect(a, arcPrimitive(P(10, 0), 5, 0, kTwoPi), pts), 1);
  expectPoint(pts[0], 5, 0);
  ASSERT_EQ(intersect(a, arcPrimitive(P(0, 3), 2, 0, kTwoPi), pts), 1);
  expectPoint(pts[0], 0, 5);
  // Apart, nested, concentric and identical circles: none.
  EXPECT_EQ(intersect(a, arcPrimitive(P(11, 0), 5, 0, kTwoPi), pts), 0);
  EXPECT_EQ(intersect(a, arcPrimitive(P(1, 0), 1, 0, kTwoPi), pts), 0);
  EXPECT_EQ(intersect(a, arcPrimitive(P(0, 0), 3, 0, kTwoPi), pts), 0);
  EXPECT_EQ(intersect(a, a, pts), 0);
  // Range limits on either arc.
  const SnapPrimitive upperB = arcPrimitive(P(8, 0), 5, kPi / 2, kPi);
  ASSERT_EQ(intersect(a, upperB, pts), 1);
  expectPoint(pts[0], 4, 3);
  // An arc crossing the 0° direction (350° to 370°).
  const SnapPrimitive wrap = arcPrimitive(P(0, 0), 5, -kPi / 18, kPi / 18);
  ASSERT_EQ(intersect(wrap, segmentPrimitive(P(4.95, -2), P(4.95, 2)), pts), 2);
}

TEST(Intersect, BulgeSegmentsMeetLinesAndArcs) {
  std::array<Point3, 2> pts;
  // Bulge 1 from (0,0) to (2,0): the lower half circle about (1, 0).
  const SnapPrimitive bulge = polylineSegmentPrimitive(P(0, 0), P(2, 0), 1.0);
  ASSERT_EQ(intersect(bulge, segmentPrimitive(P(1, 5), P(1, -5)), pts), 1);
  expectPoint(pts[0], 1, -1);
  const SnapPrimitive other = polylineSegmentPrimitive(P(1, 1), P(1, -1), -1.0);  // right half about (1, 0)
  ASSERT_EQ(intersect(bulge, other, pts), 0);  // same circle
  const SnapPrimitive shifted = arcPrimitive(P(2, 0), 1, 0, kTwoPi);
  ASSERT_EQ(intersect(bulge, shifted, pts), 1);
  expectPoint(pts[0], 1.5, -std::sqrt(0.75));
}

// Random pairs of every kind: every intersection lies on both primitives.
TEST(Intersect, RandomPairsSubstituteBackIntoBoth) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> coord(-50.0, 50.0);
  std::uniform_real_distribution<double> angle(0.0, kTwoPi);
  std::uniform_real_distribution<double> bulge(-3.0, 3.0);
  const auto randomPrimitive = [&](int kind) {
    const Point3 a = P(coord(rng), coord(rng)), b = P(coord(rng), coord(rng));
    switch (kind) {
      case 0: return segmentPrimitive(a, b);
      case 1: return arcPrimitive(a, std::fabs(coord(rng)) + 1.0, angle(rng), angle(rng));
      case 2: return arcPrimitive(a, std::fabs(coord(rng)) + 1.0, 0.0, kTwoPi);
      default: return polylineSegmentPrimitive(a, b, bulge(rng));
    }
  };
  int found = 0;
  for (int i = 0; i < 20000; ++i) {
    const SnapPrimitive a = randomPrimitive(i % 4), b = randomPrimitive((i / 4) % 4);
    std::array<Point3, 2> pts;
    const int n = intersect(a, b, pts);
    ASSERT_GE(n, 0);
    ASSERT_LE(n, 2);
    for (int k = 0; k < n; ++k) {
      const Point3& q = pts[static_cast<std::size_t>(k)];
      ASSERT_TRUE(std::isfinite(q.x) && std::isfinite(q.y));
      // Tolerance: 1e-7 of the coordinate scale (100) on each primitive.
      EXPECT_LT(offPrimitive(a, q), 1e-5) << i;
      EXPECT_LT(offPrimitive(b, q), 1e-5) << i;
    }
    found += n;
  }
  EXPECT_GT(found, 2000);
}

TEST(Intersect, HugeCoordinatesKeepTheirPrecision) {
  const double far = 1e9;
  std::array<Point3, 2> pts;
  ASSERT_EQ(intersect(segmentPrimitive(P(far, far), P(far + 4, far + 4)),
                      segmentPrimitive(P(far, far + 4), P(far + 4, far)), pts),
            1);
  expectPoint(pts[0], far + 2, far + 2, 1e-6);
  const SnapPrimitive circle = arcPrimitive(P(far, -far), 5, 0, kTwoPi);
  ASSERT_EQ(intersect(segmentPrimitive(P(far - 10, -far + 3), P(far + 10, -far + 3)), circle, pts), 2);
  expectPoint(pts[0], far - 4, -far + 3, 1e-6);
  expectPoint(pts[1], far + 4, -far + 3, 1e-6);
  ASSERT_EQ(intersect(circle, arcPrimitive(P(far + 8, -far), 5, 0, kTwoPi), pts), 2);
  expectPoint(pts[0], far + 4, -far + 3, 1e-6);
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(intersect(segmentPrimitive(P(inf, 0), P(0, 1)), circle, pts), 0);
}

// --- the drawing's choice -------------------------------------------------------------

class ObjectSnapDrawing : public ::testing::Test {
 protected:
  void SetUp() override { g.clearForTrace(); }
  template <class T>
  T* add(std::unique_ptr<T> e) {
    return static_cast<T*>(g.addEntity(std::move(e)));
  }
  // The aperture window of half-size h around the cursor.
  int pick(Point3 cursor, double h, Point3& out, const Point3* ref = nullptr) {
    return g.objectSnap(ref, P(cursor.x + h, cursor.y + h), P(cursor.x - h, cursor.y - h), out);
  }
  CGraph g;
};

TEST_F(ObjectSnapDrawing, NewDrawingSnapsToEndsAndCentres) {
  EXPECT_EQ(g.aids.osnapModes, kOsnapDefaultModes);
  add(std::make_unique<CLine>(P(0, 0), P(20, 0)));
  add(std::make_unique<CArc>(P(10, 3), 2.0, 0.0, kPi));
  Point3 q;
  // Near the middle of the line, nearer to the arc's centre than to its ends.
  EXPECT_EQ(pick(P(10, 1), 3, q), kOsnapCentre);
  expectPoint(q, 10, 3);
  // Nothing within the aperture: no answer, point untouched.
  q = P(-1, -1);
  EXPECT_EQ(pick(P(50, 50), 3, q), 0);
  expectPoint(q, -1, -1);
}

TEST_F(ObjectSnapDrawing, CrossingLinesGiveTheIntersection) {
  g.aids.osnapModes = kOsnapEnd | kOsnapIntersection;
  add(std::make_unique<CLine>(P(0, 0), P(10, 10)));
  add(std::make_unique<CLine>(P(0, 10), P(10, 0)));
  Point3 q;
  EXPECT_EQ(pick(P(5.5, 4.8), 2, q), kOsnapIntersection);
  expectPoint(q, 5, 5);
  // Collinear overlapping segments give none.
  CGraph h;
  h.clearForTrace();
  h.aids.osnapModes = kOsnapIntersection;
  h.addEntity(std::make_unique<CLine>(P(0, 0), P(10, 0)));
  h.addEntity(std::make_unique<CLine>(P(5, 0), P(15, 0)));
  EXPECT_EQ(h.objectSnap(nullptr, P(6, -1), P(8, 1), q), 0);
}

TEST_F(ObjectSnapDrawing, CircleAndLineIntersectionAndTangentFromReference) {
  g.aids.osnapModes = kOsnapIntersection | kOsnapTangent;
  add(std::make_unique<CCircle>(P(0, 0), 5.0));
  add(std::make_unique<CLine>(P(-10, 3), P(10, 3)));
  Point3 q;
  EXPECT_EQ(pick(P(4.2, 2.9), 0.5, q), kOsnapIntersection);
  expectPoint(q, 4, 3);
  const Point3 ref = P(10, 0);
  EXPECT_EQ(pick(P(2.6, 4.4), 0.5, q, &ref), kOsnapTangent);
  expectPoint(q, 2.5, 5 * std::sin(kPi / 3));
}

TEST_F(ObjectSnapDrawing, HiddenLayersAndInvisibleEntitiesOfferNothing) {
  CLine* line = add(std::make_unique<CLine>(P(0, 0), P(10, 0)));
  Point3 q;
  EXPECT_EQ(pick(P(0.5, 0.5), 1, q), kOsnapEnd);
  line->setDrawn(false);
  EXPECT_EQ(pick(P(0.5, 0.5), 1, q), 0);
  line->setDrawn(true);
  g.currentLayer()->setVisible(false);
  EXPECT_EQ(pick(P(0.5, 0.5), 1, q), 0);
}

TEST_F(ObjectSnapDrawing, InteractivePolylineTakesPart) {
  g.beginPolyline();
  g.addPolylineVertex(0, 0, 0, 0, 0);
  g.addPolylineVertex(10, 0, 0, 0, 0);
  Point3 q;
  EXPECT_EQ(pick(P(9.5, 0.5), 1, q), kOsnapEnd);
  expectPoint(q, 10, 0);
  g.finishPolyline(false);
  EXPECT_EQ(pick(P(9.5, 0.5), 1, q), 0);
}

TEST_F(ObjectSnapDrawing, PolylineSegmentsNearTheCursorIncludingBulgesAndClosing) {
  auto pl = std::make_unique<CPolyLine>();
  pl->appendVertex(0, 0);
  pl->appendVertex(10, 0, 0.0, 1.0);  // half circle to (20, 0) about (15, 0)
  pl->appendVertex(20, 0);
  pl->appendVertex(20, 10);
  pl->setClosed(true);
  CPolyLine* polyline = add(std::move(pl));

  SnapPrimitives list;
  polyline->collectSnapGeometry(P(14, -6), P(16, -4), list);  // only the bottom of the half circle
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].kind, SnapPrimitive::Kind::Arc);
  expectPoint(list[0].centre, 15, 0);
  list.clear();
  polyline->collectSnapGeometry(P(9, 4), P(11, 6), list);  // the closing segment (20,10)→(0,0)
  ASSERT_EQ(list.size(), 1u);
  expectPoint(list[0].p1, 20, 10);
  expectPoint(list[0].p2, 0, 0);
  // A window around the whole polyline yields every segment.
  list.clear();
  polyline->collectSnapGeometry(P(-1, -6), P(21, 11), list);
  EXPECT_EQ(list.size(), 4u);

  g.aids.osnapModes = kOsnapCentre | kOsnapQuadrant;
  Point3 q;
  EXPECT_EQ(pick(P(15.2, -4.6), 0.8, q), kOsnapQuadrant);
  expectPoint(q, 15, -5);
}

TEST_F(ObjectSnapDrawing, LastVertexOfASmallPolylineInsideTheApertureIsOffered) {
  auto pl = std::make_unique<CPolyLine>();
  pl->appendVertex(0, 0);
  pl->appendVertex(1, 0);
  pl->appendVertex(1, 1);
  add(std::move(pl));
  Point3 q;
  EXPECT_EQ(pick(P(1, 0.9), 3, q), kOsnapEnd);
  expectPoint(q, 1, 1);
}

TEST_F(ObjectSnapDrawing, SolidEdgesAndPolypolygonOutlines) {
  add(CSolid::fromThreePoints(P(0, 0), P(10, 0), P(0, 10)));
  auto poly = std::make_unique<CPolyPolygon>();
  auto outline = std::make_unique<CPolyLine>();
  for (auto [x, y] : {std::pair{100.0, 0.0}, {110.0, 0.0}, {110.0, 10.0}, {100.0, 10.0}}) outline->appendVertex(x, y);
  outline->setClosed(true);
  poly->appendOutline(std::move(outline));
  add(std::move(poly));
  g.aids.osnapModes = kOsnapMiddle;
  Point3 q;
  EXPECT_EQ(pick(P(5.5, 5.2), 1, q), kOsnapMiddle);  // the hypotenuse
  expectPoint(q, 5, 5);
  EXPECT_EQ(pick(P(100.3, 4.5), 1, q), kOsnapMiddle);  // the closing edge of the outline
  expectPoint(q, 100, 5);
}

TEST(OsnapLabels, SettingsPageOrderAndTexts) {
  ASSERT_EQ(kOsnapModeLabels.size(), 8u);
  EXPECT_EQ(osnapModeLabel(0), "&End Point");
  EXPECT_EQ(kOsnapModeLabels[3].bit, kOsnapQuadrant);
  EXPECT_EQ(osnapModeLabel(7), "&Nearest Point");
  EXPECT_EQ(osnapModeLabel(8), "");
  int all = 0;
  for (const auto& m : kOsnapModeLabels) all |= m.bit;
  EXPECT_EQ(all, kOsnapAll);
}

}  // namespace
}  // namespace quillon::model
