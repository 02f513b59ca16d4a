#pragma once
// The test CPolyLine::getEndDirection makes of a polyline's end segment.

#include "model/geometry.h"

namespace quillon::model {

// Whether the segment from `end` to `toward` says too little about the
// direction at an end: distance(end, toward) < threshold, and under 5 % of
// distance(toward, next), which is not 0. endStubByRoots works both
// distances out; endStub answers the same from their squares, taking the
// roots only where a square lies within a fraction 1e-9 of its bound (the
// squares, the roots and the quotient each err by a few units in the last
// place), or a vector is zero or out of the range squares keep precise.
// Connect asks this for every end of a noisy scan's million polylines.
bool endStubByRoots(const Point3& end, const Point3& toward, const Point3& next, double threshold);
bool endStub(const Point3& end, const Point3& toward, const Point3& next, double threshold);

}  // namespace quillon::model
