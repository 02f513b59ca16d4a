#pragma once
// Drawings shared by the vector writer tests.

#include <memory>

#include "formats/writer_support.h"

#include "model/arc.h"
#include "model/circle.h"
#include "model/graph.h"
#include "model/layer.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"

namespace quillon::formats::test {

// A vertex: position, width of the segment that starts here, its bulge.
inline PathVertex V(double x, double y, double width = 0.0, double bulge = 0.0) { return {x, y, width, bulge}; }

inline std::unique_ptr<model::CPolyLine> MakePolyline(std::initializer_list<PathVertex> vertices,
                                                      bool closed = false) {
  auto polyline = std::make_unique<model::CPolyLine>();
  for (const PathVertex& p : vertices) {
    model::PolyVertex v;
    v.x = p.x;
    v.y = p.y;
    v.startWidth = v.endWidth = p.startWidth;
    v.bulge = p.bulge;
    polyline->appendVertex(v);
  }
  polyline->setClosed(closed);
  return polyline;
}

// One layer "Trace" of the given colour with one entity.
template <typename Entity>
Entity* AddTo(model::CGraph& g, std::unique_ptr<Entity> entity) {
  if (!g.currentLayer()) g.setCurrentLayerByName("Trace");
  return static_cast<Entity*>(g.addEntity(std::move(entity)));
}

// Every entity type, inside 0..200 × 0..120 pixels, in black (colour 7 on a
// white page is the writers' white, so the sample uses palette black 250).
// withLine adds a line entity, which every format writes as a hairline.
inline void SampleDrawing(model::CGraph& g, double width = 3.0, bool withLine = true) {
  g.setCurrentLayerByName("Trace");
  g.currentLayer()->setColour(250);  // 545454, dark grey: ink on a white page
  if (withLine) AddTo(g, std::make_unique<model::CLine>(model::Point3{10, 10, 0}, model::Point3{190, 10, 0}));
  auto circle = std::make_unique<model::CCircle>(model::Point3{40, 60, 0}, 25.0);
  circle->setWidth(width);
  AddTo(g, std::move(circle));
  auto arc = std::make_unique<model::CArc>(model::Point3{110, 60, 0}, 25.0, 0.0, 3.14159265358979 * 1.5);
  arc->setWidth(width);
  AddTo(g, std::move(arc));
  AddTo(g, model::CSolid::fromThreePoints({150, 30, 0}, {190, 30, 0}, {170, 60, 0}));
  // A closed polyline with one half-circle bulge (counter-clockwise) and one
  // clockwise arc.
  AddTo(g, MakePolyline({V(20, 100, width, 0.0), V(60, 100, width, 1.0), V(100, 100, width, -0.5),
                         V(140, 100, width), V(140, 115, width), V(20, 115, width)},
                        true));
  auto filled = std::make_unique<model::CPolyPolygon>();
  filled->appendOutline(MakePolyline({V(150, 70), V(195, 70), V(195, 110, 0.0, 0.4), V(150, 110)}, true));
  filled->appendOutline(MakePolyline({V(160, 80), V(160, 95), V(180, 95), V(180, 80)}, true));
  AddTo(g, std::move(filled));
}

}  // namespace quillon::formats::test
