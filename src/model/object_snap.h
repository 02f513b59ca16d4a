#pragma once
// Object snap: the snap primitives entities contribute for an aperture
// window, the candidate point of each snap mode on one primitive, the
// intersections of two primitives, and the mode bits with their labels.
// CGraph::objectSnap picks the best point over every primitive near the cursor.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/geometry.h"

namespace quillon::model {

// Snap modes: bits of the drawing's osnapModes and the codes objectSnap answers.
inline constexpr int32_t kOsnapEnd = 0x1;
inline constexpr int32_t kOsnapMiddle = 0x2;
inline constexpr int32_t kOsnapCentre = 0x4;
inline constexpr int32_t kOsnapGrid = 0x8;  // the answer of grid snapping, not an object snap mode
inline constexpr int32_t kOsnapQuadrant = 0x10;
inline constexpr int32_t kOsnapIntersection = 0x20;
inline constexpr int32_t kOsnapPerpendicular = 0x80;
inline constexpr int32_t kOsnapTangent = 0x100;
inline constexpr int32_t kOsnapNearest = 0x200;
inline constexpr int32_t kOsnapAll = kOsnapEnd | kOsnapMiddle | kOsnapCentre | kOsnapQuadrant | kOsnapIntersection |
                                     kOsnapPerpendicular | kOsnapTangent | kOsnapNearest;
// A full circle has no end or middle point.
inline constexpr int32_t kOsnapCircleModes = 0x3B4;
// A new drawing snaps to end points and centres.
inline constexpr int32_t kOsnapDefaultModes = kOsnapEnd | kOsnapCentre;

// One snap mode as the settings page lists it.
struct OsnapModeLabel {
  int32_t bit;
  const char* key;    // language key of the check box label
  const char* label;  // its English text
};
// The modes in the order of the settings page.
inline constexpr std::array<OsnapModeLabel, 8> kOsnapModeLabels = {{
    {kOsnapEnd, "OptionDlgOsnapEnd", "&End Point"},
    {kOsnapMiddle, "OptionDlgOsnapMid", "&Middle Point"},
    {kOsnapCentre, "OptionDlgOsnapCen", "&Center Point"},
    {kOsnapQuadrant, "OptionDlgOsnapQar", "&Quadrant Point"},
    {kOsnapIntersection, "OptionDlgOsnapInt", "&Intersection Point"},
    {kOsnapPerpendicular, "OptionDlgOsnapPer", "&Perpendicular Point"},
    {kOsnapTangent, "OptionDlgOsnapTan", "&Tangency Point"},
    {kOsnapNearest, "OptionDlgOsnapNea", "&Nearest Point"},
}};
// The label of entry i of kOsnapModeLabels from the language table.
std::string osnapModeLabel(std::size_t i);

// A piece of entity geometry the cursor can snap to: a segment p1→p2, or a
// circular arc about centre running counter-clockwise from startAngle to
// endAngle (startAngle in [0, 2π], endAngle ≥ startAngle, 2π apart for a full
// circle) whose end points are p1 (at startAngle) and p2 (at endAngle).
struct SnapPrimitive {
  enum class Kind : int32_t { Segment = 1, Arc = 2 };
  Kind kind = Kind::Segment;
  int32_t modes = kOsnapAll;  // the modes this primitive offers
  Point3 p1;
  Point3 p2;
  Point3 centre;
  double radius = 0.0;
  double startAngle = 0.0;
  double endAngle = 0.0;
};
using SnapPrimitives = std::vector<SnapPrimitive>;

// The segment primitive a→b offering every mode.
SnapPrimitive segmentPrimitive(const Point3& a, const Point3& b);
// The arc primitive of a counter-clockwise arc (angles normalised here).
SnapPrimitive arcPrimitive(const Point3& centre, double radius, double startAngle, double endAngle,
                           int32_t modes = kOsnapAll);
// The primitive of the polyline segment p→q with bulge b: an arc for a bulge
// segment (clockwise ones turned into their counter-clockwise run), else a
// segment.
SnapPrimitive polylineSegmentPrimitive(const Point3& p, const Point3& q, double bulge);

// True when the angle lies on the arc primitive's angle range (the angle is
// moved by whole turns; a slack of 1e-9 radians absorbs rounding at the ends).
bool angleOnArc(const SnapPrimitive& arc, double angle);

// The best snap point of one primitive for the cursor c. For each mode in
// both `modes` and the primitive's own modes one candidate is formed (in the
// order end, middle, centre, tangent, perpendicular, quadrant, nearest); the
// candidate closest to c wins, an earlier one on equal distance. Tangent and
// perpendicular need the reference point (the previous point of the running
// command); without one (null) they give nothing. Answers the winning mode
// code (1, 2, 4, 256, 128, 16, 512) with its point and distance to c, or 0
// with the outputs untouched. Never answers a non-finite point.
int snapPoint(const SnapPrimitive& primitive, const Point3* reference, const Point3& cursor, int32_t modes,
              Point3& point, double& distance);

// The intersections of two primitives: the crossing of two segments (none for
// parallel or collinear ones), or the points where circles and lines meet
// that lie within both segments (line parameter in [−0.00001, 1.00001]) and
// both arcs' ranges. Tangency gives one point. Answers the count (0, 1 or 2);
// only that many entries of `points` are written. Never yields a non-finite point.
int intersect(const SnapPrimitive& a, const SnapPrimitive& b, std::array<Point3, 2>& points);

// True when the arc about centre from angle a0 counter-clockwise to a1 passes
// through the window [lo, hi] (lo lower-left).
bool arcHitsWindow(const Point3& centre, double radius, double a0, double a1, const Point3& lo, const Point3& hi);

}  // namespace quillon::model
