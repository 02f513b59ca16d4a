#pragma once
// The entities' view on a QPainter: drawing coordinates (y up) mapped to
// device pixels (y down), colours by the display rules, widths only when the
// width display is on. Each call answers whether the geometry touched the
// visible window, which the entities remember for picking.

#include <QColor>
#include <QPointF>

#include "model/draw_view.h"
#include "settings/color.h"

class QPainter;

namespace quillon::ui {

// Drawing → device pixels: x grows right, y up in the drawing and down on screen.
struct ScreenMapping {
  double xMin = 0.0;
  double yMin = 0.0;
  double unitsPerPixel = 1.0;
  int clientHeight = 0;

  QPointF toScreen(double x, double y) const {
    return {(x - xMin) / unitsPerPixel, clientHeight - (y - yMin) / unitsPerPixel};
  }
  QPointF toDrawing(const QPointF& p) const {
    return {p.x() * unitsPerPixel + xMin, (clientHeight - p.y()) * unitsPerPixel + yMin};
  }
};

struct PaintColours {
  settings::Rgb background = settings::kRgbWhite;
  settings::Rgb selected{255, 0, 0};
};

// The screen colour of an entity colour index against the background.
QColor EntityColour(settings::ColorIndex index, const settings::Rgb& background);

class PainterDrawView final : public model::DrawView {
 public:
  // widthUnits: the width display is on and widths are drawn to scale.
  PainterDrawView(QPainter& painter, const ScreenMapping& mapping, int width, int height, const PaintColours& colours,
                  bool showWidth);

  // Every entity in this colour (previews drawn like the rubber band).
  void forceColour(const QColor& colour) { forced_ = colour; }
  void setPenStyle(Qt::PenStyle style) { penStyle_ = style; }

  double pixelSize() const override { return mapping_.unitsPerPixel; }
  bool drawSegment(const model::Point3& a, const model::Point3& b, const model::DrawStyle& style) override;
  bool drawOpenPolyline(std::span<const model::PolyVertex> points, const model::DrawStyle& style) override;
  bool drawClosedPolyline(std::span<const model::PolyVertex> points, const model::DrawStyle& style) override;
  bool drawSolid(std::span<const model::Point3> points, const model::DrawStyle& style) override;
  bool drawPolyPolygon(std::span<const model::PolyVertex> points, std::span<const int> counts,
                       const model::DrawStyle& style) override;

 private:
  bool drawPolyline(std::span<const model::PolyVertex> points, bool closed, const model::DrawStyle& style);
  // The screen box of the points overlaps the device rectangle (with the
  // pen's reach as margin).
  template <typename Points>
  bool visible(const Points& points, double margin) const;
  QColor colourOf(const model::DrawStyle& style) const;
  double penWidth(double width) const;

  QPainter& painter_;
  ScreenMapping mapping_;
  int width_;
  int height_;
  PaintColours colours_;
  bool showWidth_;
  QColor forced_;
  Qt::PenStyle penStyle_ = Qt::SolidLine;
};

}  // namespace quillon::ui
