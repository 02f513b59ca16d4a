#include "model/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "model/end_stub.h"

namespace quillon::model {
namespace {

constexpr double kEps = 1e-9;

TEST(BulgeArc, HalfCircleOfBulgeOne) {
  const auto arc = bulgeToArc({0, 0, 0}, {2, 0, 0}, 1.0);
  ASSERT_TRUE(arc);
  EXPECT_NEAR(arc->radius, 1.0, kEps);
  EXPECT_NEAR(arc->centre.x, 1.0, kEps);
  EXPECT_NEAR(arc->centre.y, 0.0, kEps);
  EXPECT_TRUE(arc->counterClockwise);
  EXPECT_NEAR(segmentLength({0, 0, 0}, {2, 0, 0}, 1.0), kPi, kEps);
  // Counter-clockwise from (0,0) to (2,0) about (1,0) runs below the chord.
  const Point3 m = segmentMidpoint({0, 0, 0}, {2, 0, 0}, 1.0);
  EXPECT_NEAR(m.x, 1.0, kEps);
  EXPECT_NEAR(m.y, -1.0, kEps);
}

TEST(BulgeArc, NegativeBulgeMirrorsTheArc) {
  const auto arc = bulgeToArc({0, 0, 0}, {2, 0, 0}, -0.5);
  ASSERT_TRUE(arc);
  EXPECT_FALSE(arc->counterClockwise);
  // b = tan(θ/4): included angle 4·atan(0.5), sagitta h·|b| above the chord.
  const Point3 m = segmentMidpoint({0, 0, 0}, {2, 0, 0}, -0.5);
  EXPECT_NEAR(m.x, 1.0, kEps);
  EXPECT_NEAR(m.y, 0.5, kEps);
  EXPECT_NEAR(bulgeArcSweep(*arc), 4.0 * std::atan(0.5), kEps);
  EXPECT_NEAR(segmentLength({0, 0, 0}, {2, 0, 0}, -0.5), arc->radius * 4.0 * std::atan(0.5), kEps);
}

TEST(BulgeArc, MoreThanHalfCircle) {
  // b = 2: included angle 4·atan(2) > π; the centre lies on the arc's side
  // of the chord, and the sagitta is h·|b|.
  const auto arc = bulgeToArc({0, 0, 0}, {2, 0, 0}, 2.0);
  ASSERT_TRUE(arc);
  EXPECT_NEAR(bulgeArcSweep(*arc), 4.0 * std::atan(2.0), kEps);
  EXPECT_NEAR(arc->radius, 1.25, kEps);
  EXPECT_NEAR(arc->centre.y, -0.75, kEps);
  EXPECT_NEAR(segmentMidpoint({0, 0, 0}, {2, 0, 0}, 2.0).y, -2.0, kEps);
  EXPECT_NEAR(std::hypot(arc->centre.x, arc->centre.y), arc->radius, kEps);
}

TEST(BulgeArc, TinyBulgeOrChordIsStraight) {
  EXPECT_FALSE(bulgeToArc({0, 0, 0}, {2, 0, 0}, 0.000009));
  EXPECT_FALSE(bulgeToArc({0, 0, 0}, {2, 0, 0}, -0.000009));
  EXPECT_FALSE(bulgeToArc({0, 0, 0}, {0.000001, 0, 0}, 1.0));
  EXPECT_NEAR(segmentLength({0, 0, 0}, {3, 4, 0}, 0.000009), 5.0, kEps);
}

TEST(BulgeFromThreePoints, RoundTripsWithBulgeToArc) {
  for (const double b : {1.0, -1.0, 0.25, -0.25, 2.5, -2.5, 0.01}) {
    const Point3 p{3, 1, 0}, q{-2, 4, 0};
    const Point3 m = segmentMidpoint(p, q, b);
    const auto back = bulgeFromThreePoints(p, m, q);
    ASSERT_TRUE(back) << b;
    EXPECT_NEAR(*back, b, 1e-7) << b;
  }
}

TEST(BulgeFromThreePoints, FailsWithoutCircle) {
  EXPECT_FALSE(bulgeFromThreePoints({0, 0, 0}, {1, 0, 0}, {2, 0, 0}));            // collinear
  EXPECT_FALSE(bulgeFromThreePoints({0, 0, 0}, {0.000001, 0, 0}, {2, 1, 0}));     // coincident
  EXPECT_FALSE(circleThrough({0, 0, 0}, {1, 1, 0}, {1.000001, 1.000001, 0}));
}

TEST(CircleThrough, FindsCentreAndRadius) {
  const auto c = circleThrough({5, 0, 0}, {0, 5, 0}, {-5, 0, 0});
  ASSERT_TRUE(c);
  EXPECT_NEAR(c->centre.x, 0.0, kEps);
  EXPECT_NEAR(c->centre.y, 0.0, kEps);
  EXPECT_NEAR(c->radius, 5.0, kEps);
}

TEST(NormalizeAngle, IntoZeroToTwoPi) {
  EXPECT_NEAR(normalizeAngle(370.0 * kPi / 180.0), 10.0 * kPi / 180.0, kEps);
  EXPECT_NEAR(normalizeAngle(-kPi / 2), 1.5 * kPi, kEps);
  EXPECT_DOUBLE_EQ(normalizeAngle(kTwoPi), kTwoPi);
  EXPECT_DOUBLE_EQ(normalizeAngle(0.0), 0.0);
  const double far = normalizeAngle(1e12);
  EXPECT_GE(far, 0.0);
  EXPECT_LE(far, kTwoPi);
  EXPECT_DOUBLE_EQ(normalizeAngle(std::nan("")), 0.0);
}

// The squares must decide as the roots do: traced (half-)pixel ends,
// random ones at every scale, ends placed a few units in the last place
// either side of the threshold and of 5 % of the following segment, zero
// and tiny vectors (which measure 0) and values squares cannot hold.
TEST(EndStub, SquaresDecideAsTheRootsDo) {
  struct Case {
    Point3 end, toward, next;
    double threshold;
  };
  std::vector<Case> cases;
  for (int ax = -8; ax <= 8; ++ax)
    for (int ay = -8; ay <= 8; ++ay)
      for (const double t : {1.5, 7.5, 4.5 * 1.5})
        cases.push_back({{0.5, 0.5, 0.0}, {0.5 + ax * 0.5, 0.5 + ay * 0.5, 0.0}, {ax * 0.5 + 20.5, ay * 9.0, 0.0}, t});
  std::mt19937 random(11);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const auto point = [&](double scale) { return Point3{unit(random) * scale, unit(random) * scale, 0.0}; };
  for (int i = 0; i < 20000; ++i) {
    const double scale = std::pow(10.0, 4.0 * unit(random));
    cases.push_back({point(scale), point(scale), point(20.0 * scale), scale * (1.0 + unit(random))});
  }
  // On the bounds: |toward - end| = threshold, and |next - toward| = 20 |toward - end|.
  for (int i = 0; i < 2000; ++i) {
    const double angle = unit(random) * 3.2, length = std::pow(10.0, 3.0 * unit(random));
    Point3 toward{length * std::cos(angle), length * std::sin(angle), 0.0};
    for (int ulp = 0; ulp < i % 5; ++ulp) toward.x = std::nextafter(toward.x, unit(random) * 1e300);
    const Point3 next{toward.x + 20.0 * length * std::cos(angle + 1.0), toward.y + 20.0 * length * std::sin(angle + 1.0), 0.0};
    cases.push_back({{0.0, 0.0, 0.0}, toward, next, length});
    cases.push_back({{0.0, 0.0, 0.0}, toward, next, 2.0 * length});
  }
  const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
  const Point3 o{0.0, 0.0, 0.0};
  for (const Case& odd : std::vector<Case>{{o, o, {1, 0, 0}, 2.0},
                                           {o, {3e-6, 0, 0}, {1, 0, 0}, 2e-6},
                                           {o, {1, 0, 0}, {1, 3e-6, 0}, 2.0},
                                           {o, {1e-7, 0, 0}, {1e-6, 0, 0}, 1e-7},
                                           {o, {1, 1, 0}, {30, 30, 0}, 0.0},
                                           {o, {1, 1, 0}, {30, 30, 0}, nan},
                                           {o, {1, 1, 0}, {30, 30, 0}, inf},
                                           {o, {nan, 1, 0}, {30, 30, 0}, 5.0},
                                           {o, {1, 1, 0}, {inf, 30, 0}, 5.0},
                                           {o, {1e-120, 1e-120, 0}, {1e-100, 0, 0}, 1e-110},
                                           {o, {1e150, 0, 0}, {1e160, 0, 0}, 1e155}})
    cases.push_back(odd);
  int stubs = 0;
  for (const Case& c : cases) {
    const bool byRoots = endStubByRoots(c.end, c.toward, c.next, c.threshold);
    stubs += byRoots ? 1 : 0;
    ASSERT_EQ(endStub(c.end, c.toward, c.next, c.threshold), byRoots)
        << c.toward.x << ", " << c.toward.y << " -> " << c.next.x << ", " << c.next.y << " within " << c.threshold;
  }
  EXPECT_GT(stubs, 1000);
  EXPECT_LT(stubs, static_cast<int>(cases.size()) - 1000);
}

TEST(Tolerance, EqualityIsStrictlyInsideTheBand) {
  EXPECT_TRUE(isEqual(1.0, 1.0000099));
  EXPECT_FALSE(isEqual(1.0, 1.0000101));
  EXPECT_TRUE(isZeroVector(0.000009, -0.000009));
  EXPECT_FALSE(isZeroVector(0.00002, 0.0));
}

TEST(SegmentHitsWindow, CrossingTouchingAndMissing) {
  const Point3 lo{0, 0, 0}, hi{10, 10, 0};
  EXPECT_TRUE(segmentHitsWindow({-5, 5, 0}, {15, 5, 0}, lo, hi));   // straight through
  EXPECT_TRUE(segmentHitsWindow({-5, 10, 0}, {5, 10, 0}, lo, hi));  // along the top edge
  EXPECT_FALSE(segmentHitsWindow({-5, 6, 0}, {4, 16, 0}, lo, hi));  // passes the corner outside
  EXPECT_FALSE(segmentHitsWindow({11, 0, 0}, {20, 20, 0}, lo, hi));
  EXPECT_TRUE(segmentHitsWindow({5, 5, 0}, {5, 5, 0}, lo, hi));     // a point inside
}

}  // namespace
}  // namespace quillon::model
