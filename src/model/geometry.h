#pragma once
// Plain geometry shared by the entity classes: points, boxes, the coordinate
// tolerance, angle normalisation, bulge arcs and circles through three points.
// Drawing coordinates are doubles, one unit per raster pixel, x right, y up.

#include <optional>

namespace quillon::model {

// Two coordinates are equal when they differ by less than this.
inline constexpr double kTolerance = 0.00001;
inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kTwoPi = 2.0 * kPi;

// A drawing point; z is carried along and copied but never computed with.
struct Point3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

// -kTolerance < a - b < kTolerance.
inline bool isEqual(double a, double b) {
  const double d = a - b;
  return d > -kTolerance && d < kTolerance;
}
// Both components equal to 0 in the sense of isEqual.
inline bool isZeroVector(double dx, double dy) { return isEqual(dx, 0.0) && isEqual(dy, 0.0); }
// x and y equal in the sense of isEqual (z ignored).
inline bool samePoint(const Point3& a, const Point3& b) { return isZeroVector(a.x - b.x, a.y - b.y); }

// Euclidean distance in x, y; 0 when the difference vector is zero.
double distance(const Point3& a, const Point3& b);

// Brings an angle into [0, 2π]: subtract 2π while above 2π, add 2π while not
// >= 0. 2π itself stays 2π.
double normalizeAngle(double angle);

// The point centre + radius·(cos a, sin a), z taken from the centre.
Point3 pointOnCircle(const Point3& centre, double radius, double angle);

// Axis-aligned bounding box.
struct Box {
  double minX = 0.0;
  double maxX = 0.0;
  double minY = 0.0;
  double maxY = 0.0;

  static Box around(double x, double y) { return Box{x, x, y, y}; }
  void include(double x, double y);
  void include(const Box& other);
  double width() const { return maxX - minX; }
  double height() const { return maxY - minY; }
};

// The circle of a bulge segment.
struct BulgeArc {
  Point3 centre;
  double radius = 0.0;
  double startAngle = 0.0;  // atan2(P − C), in (−π, π]
  double endAngle = 0.0;    // atan2(Q − C), in (−π, π]
  bool counterClockwise = true;  // bulge > 0
};

// The arc of the segment from p to q with bulge b. Nothing when the segment
// is straight: |b| < kTolerance or half the chord below kTolerance.
std::optional<BulgeArc> bulgeToArc(const Point3& p, const Point3& q, double bulge);

// The swept angle (> 0) of a bulge arc in its own running direction.
double bulgeArcSweep(const BulgeArc& arc);

// Length of the segment p→q with bulge b: R·sweep for an arc, else the chord.
double segmentLength(const Point3& p, const Point3& q, double bulge);

struct Circle {
  Point3 centre;
  double radius = 0.0;
};

// The circle through a, b and c (intersection of the perpendicular bisectors
// of ab and bc). Nothing when two of the points coincide within kTolerance in
// both coordinates or when they are collinear, |(b − a) × (c − b)| <= kTolerance.
std::optional<Circle> circleThrough(const Point3& a, const Point3& b, const Point3& c);

// The bulge of the arc that starts at a, passes through b and ends at c.
// Nothing when there is no circle through the three points; 0 when the chord
// |ac| is below kTolerance. Negative for a clockwise arc.
std::optional<double> bulgeFromThreePoints(const Point3& a, const Point3& b, const Point3& c);

// The point in the middle of the segment p→q with bulge b: on the arc at the
// mean of its angles, or the chord midpoint for a straight segment.
Point3 segmentMidpoint(const Point3& p, const Point3& q, double bulge);

// True when the segment ab meets the closed rectangle [lo, hi] (lo lower-left).
bool segmentHitsWindow(const Point3& a, const Point3& b, const Point3& lo, const Point3& hi);

// z-component of (b − a) × (c − a).
inline double cross(const Point3& a, const Point3& b, const Point3& c) {
  return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

}  // namespace quillon::model
