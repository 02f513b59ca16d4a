#pragma once
// What the entities need of a view to show themselves. The desktop application
// implements it with its painter; tests implement it to record what was drawn.
// Every call answers true when some part of the geometry lay inside the
// visible window and was drawn.

#include <span>

#include "model/entity.h"

namespace quillon::model {

struct DrawStyle {
  settings::ColorIndex colour = settings::kColorByLayer;  // already resolved against the layer
  bool selected = false;
  double width = 0.0;  // pen width in drawing units for segments and circles
};

class DrawView {
 public:
  virtual ~DrawView() = default;

  // The size of one screen pixel in drawing units; the step of the display
  // approximation of arcs.
  virtual double pixelSize() const = 0;

  virtual bool drawSegment(const Point3& a, const Point3& b, const DrawStyle& style) = 0;
  // A polyline segment is stroked with the startWidth of the point that starts it.
  virtual bool drawOpenPolyline(std::span<const PolyVertex> points, const DrawStyle& style) = 0;
  virtual bool drawClosedPolyline(std::span<const PolyVertex> points, const DrawStyle& style) = 0;
  // A filled triangle (3 points) or quadrilateral (4 points).
  virtual bool drawSolid(std::span<const Point3> points, const DrawStyle& style) = 0;
  // Several outlines forming one even-odd filled figure; counts[i] points of
  // outline i follow each other in points.
  virtual bool drawPolyPolygon(std::span<const PolyVertex> points, std::span<const int> counts,
                               const DrawStyle& style) = 0;
};

}  // namespace quillon::model
