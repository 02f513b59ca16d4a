#pragma once
// Placing DXF geometry in the drawing: affine maps of 3D space (object
// coordinate systems, block insertion), and model entities carried through
// such a map. The drawing is the world XY plane: a mapped entity keeps x and
// y of the world and its z as the map gives it.
//
// Circles, arcs and bulge segments stay exact while the map is a similarity
// in the drawing plane (uniform scale, rotation, mirror); under any other map
// they become polyline chords that stay within a tolerance of the true curve
// in drawing units.

#include <memory>
#include <optional>
#include <vector>

#include "model/entity.h"
#include "model/geometry.h"

namespace quillon::formats {

using model::Point3;

// p' = m·p + t.
struct DxfAffine {
  double m[3][3] = {{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
  Point3 t{};

  Point3 apply(const Point3& p) const;
  Point3 applyLinear(const Point3& v) const;
  // This map after `inner`: p ↦ this(inner(p)).
  DxfAffine after(const DxfAffine& inner) const;
  bool isIdentity() const;

  // The largest factor by which the map stretches a length in the drawing
  // plane (the greater singular value of its x/y part).
  double planeStretch() const;

  struct Similarity {
    double scale = 1.0;     // > 0
    double rotation = 0.0;  // radians, of the x axis
    bool mirrored = false;  // the map turns counter-clockwise into clockwise
  };
  // The x/y part as a similarity; nothing when it is not one (non-uniform
  // scale, shear, or a plane seen edge-on).
  std::optional<Similarity> planeSimilarity() const;

  static DxfAffine translation(const Point3& by);
  static DxfAffine scaling(double sx, double sy, double sz);
  static DxfAffine rotationZ(double radians);
  // The map whose columns are the given axes (and no translation).
  static DxfAffine axes(const Point3& ax, const Point3& ay, const Point3& az);
};

// Vector helpers on Point3.
Point3 Cross(const Point3& a, const Point3& b);
double Dot(const Point3& a, const Point3& b);
double Length(const Point3& v);
// v scaled to length 1; v itself when it has no length.
Point3 Normalized(const Point3& v);

// True when the extrusion direction is the world z axis (within rounding):
// the object coordinate system is the world.
bool IsWorldExtrusion(const Point3& extrusion);
// The object coordinate system of an extrusion direction by the arbitrary
// axis algorithm, as the map from object to world coordinates. A direction
// of no length counts as (0, 0, 1).
DxfAffine OcsToWorld(const Point3& extrusion);

// The number of chords that keep an arc of this radius and sweep (radians)
// within tolerance, at least 1 and at most kMaxArcChords.
inline constexpr int kMaxArcChords = 4096;
int ArcChordCount(double radius, double sweep, double tolerance);

// The entity carried through the map. Circles, arcs and bulges that the map
// does not keep circular are flattened within tolerance (drawing units) and
// *flattened is set. Colour, width (scaled) and closedness are kept. Null
// for an entity kind the reader does not make.
std::unique_ptr<model::CEntity> TransformEntity(const model::CEntity& entity, const DxfAffine& map, double tolerance,
                                                bool* flattened = nullptr);

}  // namespace quillon::formats
