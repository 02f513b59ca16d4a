#pragma once
// A text picture of a drawing's vector part (layers in order with their
// entities in order, handles, attributes and geometry, and the drawing's
// settings), so that two states compare with one EXPECT_EQ.

#include <cstdio>
#include <string>

#include "model/arc.h"
#include "model/circle.h"
#include "model/graph.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"

namespace quillon::model::test {

inline std::string num(double v) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.12g", v);
  return buffer;
}

inline std::string pt(const Point3& p) { return "(" + num(p.x) + "," + num(p.y) + "," + num(p.z) + ")"; }

inline std::string vertexText(const PolyVertex& v) {
  return pt(v.point()) + " w" + num(v.startWidth) + "/" + num(v.endWidth) + " b" + num(v.bulge) + " f" +
         std::to_string(v.flags);
}

inline std::string polylineText(const CPolyLine& p) {
  std::string s = p.isClosed() ? " closed" : " open";
  for (const PolyVertex& v : p.vertices()) s += " [" + vertexText(v) + "]";
  return s;
}

inline std::string entityText(const CEntity& e) {
  std::string s = "#" + std::to_string(e.handle()) + " t" + std::to_string(static_cast<int>(e.type())) + " c" +
                  std::to_string(e.colour()) + " w" + num(e.width());
  switch (e.type()) {
    case EntityType::Line: {
      const auto& l = static_cast<const CLine&>(e);
      s += " " + pt(l.start().point()) + "-" + pt(l.end().point());
      break;
    }
    case EntityType::PolyLine:
      s += polylineText(static_cast<const CPolyLine&>(e));
      break;
    case EntityType::Circle: {
      const auto& c = static_cast<const CCircle&>(e);
      s += " " + pt(c.centre()) + " r" + num(c.radius());
      break;
    }
    case EntityType::Arc: {
      const auto& a = static_cast<const CArc&>(e);
      s += " " + pt(a.centre()) + " r" + num(a.radius()) + " a" + num(a.startAngle()) + ".." + num(a.endAngle());
      break;
    }
    case EntityType::Solid:
      for (const Point3& p : static_cast<const CSolid&>(e).points()) s += " " + pt(p);
      break;
    case EntityType::PolyPolygon:
      for (const auto& outline : static_cast<const CPolyPolygon&>(e).outlines()) s += " {" + polylineText(*outline) + "}";
      break;
  }
  return s;
}

inline std::string drawingText(const CGraph& g) {
  std::string s = "current " + std::to_string(g.currentLayer() ? g.currentLayer()->handle() : 0) + " colour " +
                  std::to_string(g.currentColour) + " width " + num(g.currentWidth) + " unit " +
                  std::to_string(static_cast<int>(g.unit)) + " osnap " + std::to_string(g.aids.osnapModes) + "/" +
                  std::to_string(g.aids.osnapOn) + " grid " + std::to_string(g.aids.gridOn) + " " +
                  num(g.aids.gridSpacingX) + " ortho " + std::to_string(g.aids.orthoOn) + " show " +
                  std::to_string(g.showRaster) + std::to_string(g.showVectors) + "\n";
  for (const auto& layer : g.layers()) {
    s += "layer #" + std::to_string(layer->handle()) + " " + layer->name() + " c" + std::to_string(layer->colour()) +
         (layer->visible() ? "" : " hidden") + "\n";
    for (const auto& e : *layer) {
      s += "  " + entityText(*e) + (e->layer() == layer.get() ? "" : " WRONG LAYER") + "\n";
    }
  }
  return s;
}

}  // namespace quillon::model::test
