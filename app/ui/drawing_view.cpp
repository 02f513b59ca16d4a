#include "drawing_view.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QPolygonF>
#include <cmath>

#include "editor/document.h"
#include "model/entity.h"
#include "model/graph.h"
#include "settings/current_options.h"
#include "ui_text.h"

namespace quillon::ui {

// The processor's surroundings: repaints and state changes go to the view.
class DrawingView::Services final : public editor::EditorServices {
 public:
  explicit Services(DrawingView& view) : view_(view) {}
  void repaint() override { view_.sceneChanged(); }
  void stateChanged() override {
    view_.updateCursorShape();
    view_.update();
    emit view_.commandStateChanged();
  }
  void statusText(std::string_view text) override { emit view_.statusMessage(Q(std::string(text))); }

 private:
  DrawingView& view_;
};

namespace {

QColor ToQColor(const settings::Rgb& rgb) { return QColor(rgb.r, rgb.g, rgb.b); }

PaintColours CurrentColours() {
  const settings::TraceOption& option = settings::CurrentTraceOption();
  PaintColours colours;
  colours.background = option.color(settings::DisplayColor::BackGround);
  colours.selected = option.color(settings::DisplayColor::Select);
  return colours;
}

// Screen distance in pixels to the far corner of the aperture marker.
constexpr int kSnapMarkerHalf = editor::CommandProcessor::kSnapAperture + 2;

}  // namespace

DrawingView::DrawingView(editor::Document& document, QWidget* parent)
    : QWidget(parent), document_(document), services_(std::make_unique<Services>(*this)) {
  processor_ = std::make_unique<editor::CommandProcessor>(document_, view_, *services_);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(120, 90);
  updateCursorShape();
}

DrawingView::~DrawingView() = default;

editor::ScreenPoint DrawingView::pixelOf(const QPointF& position) {
  return {static_cast<int>(std::lround(position.x())), static_cast<int>(std::lround(position.y()))};
}

ScreenMapping DrawingView::mapping() const {
  return ScreenMapping{view_.xMin(), view_.yMin(), view_.unitsPerPixel(), view_.clientHeight()};
}

void DrawingView::setShowWidth(bool on) {
  if (showWidth_ == on) return;
  showWidth_ = on;
  sceneChanged();
}

void DrawingView::drawingChanged() { sceneChanged(); }

void DrawingView::rasterChanged() {
  rasterImage_.reset();
  sceneChanged();
}

void DrawingView::setBusy(bool busy) {
  if (busy_ == busy) return;
  busy_ = busy;
  if (!busy_) sceneChanged();
}

void DrawingView::setRasterPreview(std::optional<std::array<uint8_t, 256>> table) {
  rasterImage_.setPreview(std::move(table));
  sceneChanged();
}

void DrawingView::sceneChanged() {
  if (!resizing_ && !(view_.window() == lastWindow_)) autoFit_ = false;
  lastWindow_ = view_.window();
  sceneDirty_ = true;
  update();
  emit selectionMayHaveChanged();
}

// ---- painting -----------------------------------------------------------------------

void DrawingView::paintEvent(QPaintEvent*) {
  const qreal ratio = devicePixelRatioF();
  const QSize device(static_cast<int>(width() * ratio), static_cast<int>(height() * ratio));
  if (busy_) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.drawImage(0, 0, scene_);
    return;
  }
  if (sceneDirty_ || scene_.size() != device) {
    scene_ = QImage(device, QImage::Format_RGB32);
    scene_.setDevicePixelRatio(ratio);
    QPainter painter(&scene_);
    paintScene(painter, size());
    sceneDirty_ = false;
  }
  QPainter painter(this);
  painter.drawImage(0, 0, scene_);
  drawOverlay(painter);
}

void DrawingView::paintScene(QPainter& painter, const QSize& size) {
  const PaintColours colours = CurrentColours();
  painter.fillRect(QRect(QPoint(0, 0), size), ToQColor(colours.background));
  model::CGraph& graph = document_.graph();
  if (graph.showRaster && !graph.raster().empty()) drawRaster(painter, size);
  painter.setRenderHint(QPainter::Antialiasing, true);
  PainterDrawView entities(painter, mapping(), size.width(), size.height(), colours, showWidth_);
  graph.draw(entities);
  painter.setRenderHint(QPainter::Antialiasing, false);
  drawGrid(painter, size);
  drawGrips(painter);
}

void DrawingView::drawRaster(QPainter& painter, const QSize& size) {
  const model::CGraph& graph = document_.graph();
  const raster::CRaster& raster = graph.raster();
  const ScreenMapping m = mapping();
  // A traced pixel (column c, row r) lies at (c, H − 1 − r): the pixel's
  // square is centred there, so the image reaches half a unit beyond the
  // placement's corner and vectors lie on the ink they came from.
  const double x0 = graph.rasterObject().x0 - 0.5, y0 = graph.rasterObject().y0 - 0.5;
  const QPointF topLeft = m.toScreen(x0, y0 + raster.height());
  const QPointF bottomRight = m.toScreen(x0 + raster.width(), y0);
  const QRectF whole(topLeft, bottomRight);
  const QRectF shown = whole.intersected(QRectF(0, 0, size.width(), size.height()));
  if (shown.isEmpty()) return;
  const double scale = whole.width() / raster.width();
  const QRectF source((shown.left() - whole.left()) / scale, (shown.top() - whole.top()) / scale,
                      shown.width() / scale, shown.height() / scale);
  rasterImage_.draw(painter, raster, source, shown);
}

void DrawingView::drawGrid(QPainter& painter, const QSize& size) {
  model::CGraph& graph = document_.graph();
  model::DrawingAids& aids = graph.aids;
  if (!aids.gridOn) return;
  const double upp = view_.unitsPerPixel();
  // Denser than 2 pixels the grid would be a grey carpet: it is not shown
  // and grid snap pauses with it.
  aids.gridShown = aids.gridSpacingX / upp > 2.0 && aids.gridSpacingY / upp > 2.0;
  if (!aids.gridShown) return;
  const ScreenMapping m = mapping();
  const double c = std::cos(aids.gridAngle), s = std::sin(aids.gridAngle);
  double uMin = 1e300, uMax = -1e300, vMin = 1e300, vMax = -1e300;
  for (const QPointF corner : {QPointF(0, 0), QPointF(size.width(), 0), QPointF(0, size.height()),
                               QPointF(size.width(), size.height())}) {
    const QPointF d = m.toDrawing(corner);
    const double dx = d.x() - aids.gridOrigin.x, dy = d.y() - aids.gridOrigin.y;
    const double u = dx * c + dy * s, v = -dx * s + dy * c;
    uMin = std::min(uMin, u), uMax = std::max(uMax, u), vMin = std::min(vMin, v), vMax = std::max(vMax, v);
  }
  const settings::Rgb background = CurrentColours().background;
  const QColor colour = (background.luminance() & 0xFF) >= 128 ? Qt::black : Qt::white;
  painter.setPen(QPen(colour, 1));
  const int type = settings::CurrentTraceOption().GridPointType;
  QPolygonF points;
  QList<QLineF> crosses;
  const double sx = aids.gridSpacingX, sy = aids.gridSpacingY;
  constexpr double kEdge = 0.00001;
  for (double u = std::floor(uMin / sx) * sx; u <= uMax + kEdge; u += sx) {
    for (double v = std::floor(vMin / sy) * sy; v <= vMax + kEdge; v += sy) {
      const QPointF p = m.toScreen(aids.gridOrigin.x + u * c - v * s, aids.gridOrigin.y + u * s + v * c);
      if (p.x() < -3 || p.y() < -3 || p.x() > size.width() + 3 || p.y() > size.height() + 3) continue;
      const QPointF q(std::round(p.x()), std::round(p.y()));
      if (type == 1) {
        crosses << QLineF(q.x() - 3, q.y(), q.x() + 3, q.y()) << QLineF(q.x(), q.y() - 3, q.x(), q.y() + 3);
      } else if (type == 2) {
        crosses << QLineF(q.x() - 3, q.y() - 3, q.x() + 3, q.y() + 3) << QLineF(q.x() - 3, q.y() + 3, q.x() + 3, q.y() - 3);
      } else {
        points << q;
      }
    }
  }
  if (!points.isEmpty()) painter.drawPoints(points);
  if (!crosses.isEmpty()) painter.drawLines(crosses);
}

void DrawingView::drawGrips(QPainter& painter) {
  const model::CGraph& graph = document_.graph();
  if (graph.grips().empty()) return;
  const settings::TraceOption& option = settings::CurrentTraceOption();
  const ScreenMapping m = mapping();
  const int half = option.i_GripBoxHalfWidth;
  const QRectF area = QRectF(rect()).adjusted(-2.0 * half, -2.0 * half, 2.0 * half, 2.0 * half);
  for (const model::Grip& grip : graph.grips()) {
    const QPointF p = m.toScreen(grip.x, grip.y);
    if (!area.contains(p)) continue;
    const QPointF centre(std::round(p.x()), std::round(p.y()));
    const settings::Rgb rgb =
        option.color(grip.picked ? settings::DisplayColor::SelGripBox : settings::DisplayColor::GripBox);
    painter.setPen(QPen(ToQColor(rgb), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(centre.x() - half, centre.y() - half, 2.0 * half, 2.0 * half));
    if (grip.highlighted) {
      painter.setPen(QPen(ToQColor(rgb), 1));
      painter.drawRect(QRectF(centre.x() - 2.0 * half, centre.y() - 2.0 * half, 4.0 * half, 4.0 * half));
    }
  }
}

void DrawingView::drawOverlay(QPainter& painter) {
  const ScreenMapping m = mapping();
  const editor::RubberBand& band = processor_->rubberBand();
  model::CGraph& graph = document_.graph();
  // The rubber band and previews invert what lies under them, so they show
  // on any raster and any background.
  painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  painter.setRenderHint(QPainter::Antialiasing, false);
  const QPen xorPen(Qt::white, 1);
  painter.setPen(xorPen);
  painter.setBrush(Qt::NoBrush);
  const auto screen = [&](const model::Point3& p) { return m.toScreen(p.x, p.y); };
  switch (band.kind) {
    case editor::RubberBand::Kind::Segment:
      if (band.points.size() >= 2) painter.drawLine(screen(band.points[0]), screen(band.points[1]));
      break;
    case editor::RubberBand::Kind::Box:
      if (band.points.size() >= 2) painter.drawRect(QRectF(screen(band.points[0]), screen(band.points[1])).normalized());
      break;
    case editor::RubberBand::Kind::Polygon:
      if (band.points.size() >= 2) {
        QPolygonF chain;
        for (const auto& p : band.points) chain << screen(p);
        painter.drawPolyline(chain);
      }
      break;
    case editor::RubberBand::Kind::Brush:
      if (!band.points.empty()) {
        const double h = band.brushHalfSize;
        const model::Point3& c = band.points[0];
        painter.drawRect(QRectF(m.toScreen(c.x - h, c.y + h), m.toScreen(c.x + h, c.y - h)).normalized());
      }
      break;
    case editor::RubberBand::Kind::None:
      break;
  }
  PainterDrawView previews(painter, m, width(), height(), CurrentColours(), showWidth_);
  previews.forceColour(Qt::white);
  if (const model::CEntity* preview = processor_->preview()) {
    // Drawing a preview only records whether it was visible; the processor
    // owns it and shows it nowhere else.
    const_cast<model::CEntity*>(preview)->draw(previews);
  }
  if (processor_->currentCommand() == editor::CommandId::MoveGripPoint) {
    for (const model::GripOwner& owner : graph.gripOwners())
      if (owner.preview) owner.preview->draw(previews);
  }
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);

  // The object-snap marker where a pick would land.
  if (cursorInside_ && processor_->currentCommand() != editor::CommandId::None && processor_->allowOsnap() &&
      graph.aids.osnapOn) {
    const editor::ResolvedPoint resolved = processor_->resolvePoint(cursor_);
    if (resolved.snap > 0 && resolved.snap != 8) {
      const QPointF p = screen(resolved.point);
      const QColor colour = ToQColor(settings::CurrentTraceOption().color(settings::DisplayColor::OsnapBox));
      painter.setPen(QPen(colour, 2));
      painter.drawRect(QRectF(p.x() - kSnapMarkerHalf, p.y() - kSnapMarkerHalf, 2 * kSnapMarkerHalf,
                              2 * kSnapMarkerHalf));
    }
  }
}

// ---- geometry and input -----------------------------------------------------------------

void DrawingView::resizeEvent(QResizeEvent*) {
  resizing_ = true;
  if (autoFit_) {
    view_.SetClient(0, 0, width(), height());
    view_.zoomFit(document_.graph());
  } else {
    // Keep the centre and the scale: a larger window shows more.
    const double cx = (view_.xMin() + view_.xMax()) / 2.0, cy = (view_.yMin() + view_.yMax()) / 2.0;
    const double upp = view_.unitsPerPixel();
    view_.SetClient(0, 0, width(), height());
    view_.SetWindow(cx - width() * upp / 2.0, cy - height() * upp / 2.0, cx + width() * upp / 2.0,
                    cy + height() * upp / 2.0);
  }
  sceneChanged();
  resizing_ = false;
}

void DrawingView::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  cursor_ = pixelOf(event->position());
  if (event->button() == Qt::MiddleButton) {
    panning_ = true;
    panFrom_ = event->position().toPoint();
    updateCursorShape();
    return;
  }
  if (event->button() == Qt::LeftButton) {
    processor_->mousePress(cursor_);
    update();
    emit commandStateChanged();
  }
}

void DrawingView::mouseMoveEvent(QMouseEvent* event) {
  cursor_ = pixelOf(event->position());
  cursorInside_ = true;
  if (panning_) {
    const QPoint at = event->position().toPoint();
    const QPoint delta = at - panFrom_;
    panFrom_ = at;
    if (!delta.isNull()) {
      view_.pan(delta.x(), delta.y());
      sceneChanged();
    }
  }
  processor_->mouseMove(cursor_, (event->buttons() & Qt::LeftButton) != 0);
  emit cursorMoved(Q(processor_->positionText(cursor_)), Q(processor_->relativeText(cursor_)));
  update();
}

void DrawingView::mouseReleaseEvent(QMouseEvent* event) {
  cursor_ = pixelOf(event->position());
  if (event->button() == Qt::MiddleButton) {
    panning_ = false;
    updateCursorShape();
    return;
  }
  if (event->button() == Qt::LeftButton) {
    processor_->mouseRelease(cursor_);
    update();
    emit commandStateChanged();
  }
}

void DrawingView::wheelEvent(QWheelEvent* event) {
  const int steps = event->angleDelta().y();
  if (steps == 0) return;
  // One notch of a common wheel (120) zooms by a fifth.
  processor_->wheelZoom(pixelOf(event->position()), std::pow(1.2, steps / 120.0));
  event->accept();
}

void DrawingView::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      processor_->cancelCommand();
      update();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      emit enterPressed();
      return;
    default:
      break;
  }
  const QString text = event->text();
  if (!text.isEmpty() && text.at(0).isPrint() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
    emit typedText(text);
    return;
  }
  QWidget::keyPressEvent(event);
}

void DrawingView::enterEvent(QEnterEvent*) {
  cursorInside_ = true;
  processor_->mouseEnter();
}

void DrawingView::leaveEvent(QEvent*) {
  cursorInside_ = false;
  processor_->mouseLeave();
  update();
}

void DrawingView::focusInEvent(QFocusEvent* event) {
  processor_->setFocused(true);
  QWidget::focusInEvent(event);
}

void DrawingView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* enter = menu.addAction(T("ChildPopupMenuEnter", "&Enter"));
  QAction* close = menu.addAction(T("ChildPopupMenuClose", "&Close"));
  close->setEnabled(processor_->currentCommand() == editor::CommandId::PolyLine ||
                    processor_->currentCommand() == editor::CommandId::ErasePolygon ||
                    processor_->currentCommand() == editor::CommandId::FillPolygon);
  QAction* cancel = menu.addAction(T("ChildPopupMenuCancel", "C&ancel"));
  if (!contextActions_.isEmpty()) {
    menu.addSeparator();
    menu.addActions(contextActions_);
  }
  QAction* chosen = menu.exec(event->globalPos());
  if (chosen == enter) processor_->sendEvent(editor::EventCode::Enter);
  else if (chosen == close) processor_->sendEvent(editor::EventCode::Close);
  else if (chosen == cancel) processor_->cancelCommand();
  update();
  emit commandStateChanged();
}

void DrawingView::updateCursorShape() {
  if (panning_) setCursor(Qt::ClosedHandCursor);
  else if (processor_ && processor_->currentCommand() != editor::CommandId::None) setCursor(Qt::CrossCursor);
  else setCursor(Qt::ArrowCursor);
}

}  // namespace quillon::ui
