#include "painter_view.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>

namespace quillon::ui {

QColor EntityColour(settings::ColorIndex index, const settings::Rgb& background) {
  const settings::Rgb rgb = settings::ResolveColor(index, nullptr, false, background);
  return QColor(rgb.r, rgb.g, rgb.b);
}

PainterDrawView::PainterDrawView(QPainter& painter, const ScreenMapping& mapping, int width, int height,
                                 const PaintColours& colours, bool showWidth)
    : painter_(painter), mapping_(mapping), width_(width), height_(height), colours_(colours), showWidth_(showWidth) {}

QColor PainterDrawView::colourOf(const model::DrawStyle& style) const {
  if (forced_.isValid()) return forced_;
  if (style.selected) return QColor(colours_.selected.r, colours_.selected.g, colours_.selected.b);
  return EntityColour(style.colour, colours_.background);
}

double PainterDrawView::penWidth(double width) const {
  if (!showWidth_ || width <= 0.0) return 0.0;  // cosmetic one-pixel pen
  return std::max(1.0, width / mapping_.unitsPerPixel);
}

template <typename Points>
bool PainterDrawView::visible(const Points& points, double margin) const {
  if (points.empty()) return false;
  double minX = points.front().x, maxX = minX, minY = points.front().y, maxY = minY;
  for (const auto& p : points) {
    minX = std::min(minX, p.x);
    maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y);
    maxY = std::max(maxY, p.y);
  }
  const QPointF a = mapping_.toScreen(minX, maxY), b = mapping_.toScreen(maxX, minY);
  return b.x() >= -margin && a.x() <= width_ + margin && b.y() >= -margin && a.y() <= height_ + margin;
}

bool PainterDrawView::drawSegment(const model::Point3& a, const model::Point3& b, const model::DrawStyle& style) {
  const model::Point3 both[2] = {a, b};
  const double pen = penWidth(style.width);
  if (!visible(std::span<const model::Point3>(both), pen)) return false;
  painter_.setPen(QPen(colourOf(style), pen, penStyle_, Qt::RoundCap, Qt::RoundJoin));
  painter_.drawLine(mapping_.toScreen(a.x, a.y), mapping_.toScreen(b.x, b.y));
  return true;
}

bool PainterDrawView::drawPolyline(std::span<const model::PolyVertex> points, bool closed,
                                   const model::DrawStyle& style) {
  double widest = 0.0;
  bool sameWidth = true;
  for (const auto& p : points) {
    widest = std::max(widest, p.startWidth);
    if (p.startWidth != points.front().startWidth) sameWidth = false;
  }
  widest = std::max(widest, style.width);
  if (!visible(points, penWidth(widest))) return false;
  const QColor colour = colourOf(style);
  const std::size_t n = points.size();
  if (!showWidth_ || sameWidth) {
    QPolygonF polygon;
    polygon.reserve(static_cast<qsizetype>(n + 1));
    for (const auto& p : points) polygon << mapping_.toScreen(p.x, p.y);
    const double width = showWidth_ ? penWidth(std::max(points.front().startWidth, style.width)) : 0.0;
    painter_.setPen(QPen(colour, width, penStyle_, Qt::RoundCap, Qt::RoundJoin));
    painter_.setBrush(Qt::NoBrush);
    if (closed) painter_.drawPolygon(polygon); else painter_.drawPolyline(polygon);
    return true;
  }
  // Each segment with the width of the point that starts it.
  const std::size_t segments = closed ? n : n - 1;
  for (std::size_t i = 0; i < segments; ++i) {
    const auto& a = points[i];
    const auto& b = points[(i + 1) % n];
    painter_.setPen(QPen(colour, penWidth(a.startWidth), penStyle_, Qt::RoundCap, Qt::RoundJoin));
    painter_.drawLine(mapping_.toScreen(a.x, a.y), mapping_.toScreen(b.x, b.y));
  }
  return true;
}

bool PainterDrawView::drawOpenPolyline(std::span<const model::PolyVertex> points, const model::DrawStyle& style) {
  return points.size() >= 2 && drawPolyline(points, false, style);
}

bool PainterDrawView::drawClosedPolyline(std::span<const model::PolyVertex> points, const model::DrawStyle& style) {
  return points.size() >= 2 && drawPolyline(points, true, style);
}

bool PainterDrawView::drawSolid(std::span<const model::Point3> points, const model::DrawStyle& style) {
  if (!visible(points, 1.0)) return false;
  QPolygonF polygon;
  for (const auto& p : points) polygon << mapping_.toScreen(p.x, p.y);
  const QColor colour = colourOf(style);
  painter_.setPen(QPen(colour, 0));
  painter_.setBrush(colour);
  painter_.drawPolygon(polygon);
  painter_.setBrush(Qt::NoBrush);
  return true;
}

bool PainterDrawView::drawPolyPolygon(std::span<const model::PolyVertex> points, std::span<const int> counts,
                                      const model::DrawStyle& style) {
  if (!visible(points, 1.0)) return false;
  QPainterPath path;
  path.setFillRule(Qt::OddEvenFill);
  std::size_t at = 0;
  for (int count : counts) {
    if (count <= 0 || at + static_cast<std::size_t>(count) > points.size()) break;
    QPolygonF outline;
    for (int i = 0; i < count; ++i) outline << mapping_.toScreen(points[at + i].x, points[at + i].y);
    path.addPolygon(outline);
    path.closeSubpath();
    at += static_cast<std::size_t>(count);
  }
  const QColor colour = colourOf(style);
  painter_.setPen(QPen(colour, 0));
  painter_.setBrush(colour);
  painter_.drawPath(path);
  painter_.setBrush(Qt::NoBrush);
  return true;
}

}  // namespace quillon::ui
