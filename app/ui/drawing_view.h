#pragma once
// The drawing view of a document window: paints the raster, the entities,
// the grid and the grips, and turns mouse and keyboard into calls of the
// document's command processor.
//
// Painting is split in two: the scene (raster, entities, grid, grips) is
// rendered into an image whenever the drawing or the view window changed,
// and every paint blits it and draws the transient overlay on top (rubber
// band, command preview, grip drag previews, object-snap marker, eraser).
// Moving the mouse therefore never redraws ten thousand entities.

#include <QAction>
#include <QImage>
#include <QList>
#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>
#include <functional>
#include <memory>

#include "editor/command_processor.h"
#include "editor/view_window.h"
#include "painter_view.h"
#include "raster_image.h"

namespace quillon::editor {
class Document;
}

namespace quillon::ui {

class DrawingView : public QWidget {
  Q_OBJECT

 public:
  DrawingView(editor::Document& document, QWidget* parent = nullptr);
  ~DrawingView() override;

  editor::Document& document() { return document_; }
  editor::CommandProcessor& processor() { return *processor_; }
  editor::ViewWindow& viewWindow() { return view_; }

  // Widths of entities drawn to scale ("Show Width").
  bool showWidth() const { return showWidth_; }
  void setShowWidth(bool on);
  // The drawing or the raster changed outside the processor: render anew.
  void drawingChanged();
  // The raster was replaced or edited: drop its cached copies too.
  void rasterChanged();
  // A colour table applied to every shown raster component (a live preview
  // of brightness and contrast); empty shows the raster as it is.
  void setRasterPreview(std::optional<std::array<uint8_t, 256>> table);

  // Renders the scene (background, raster, entities, grid, grips) for the
  // current view window into the painter's device of the given size.
  void paintScene(QPainter& painter, const QSize& size);
  // The screen mapping of the current view window.
  ScreenMapping mapping() const;

  // The whole view must be rendered anew (the processor changed the
  // drawing or the view window).
  void sceneChanged();
  // Extra items of the context menu after "&Enter" and "&Close" (the main
  // window's commands that act on the view).
  void setContextActions(QList<QAction*> actions) { contextActions_ = std::move(actions); }
  // While a worker owns the drawing (a trace), paints show the last
  // rendered scene and never read the drawing; clearing it renders anew.
  void setBusy(bool busy);
  bool busy() const { return busy_; }

 signals:
  // The command name, prompt, input mode or undo state may have changed.
  void commandStateChanged();
  // The cursor moved: the position text for the status bar, and the
  // relative text for the input box ("" without a base point).
  void cursorMoved(const QString& position, const QString& relative);
  void statusMessage(const QString& text);
  // A printable key was typed in the view: the input box takes it over.
  void typedText(const QString& text);
  // Enter in the view: the main window submits the input box.
  void enterPressed();
  // The selection may have changed (property and layer docks refresh).
  void selectionMayHaveChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void drawRaster(QPainter& painter, const QSize& size);
  void drawGrid(QPainter& painter, const QSize& size);
  void drawGrips(QPainter& painter);
  void drawOverlay(QPainter& painter);
  void updateCursorShape();
  static editor::ScreenPoint pixelOf(const QPointF& position);

  class Services;

  editor::Document& document_;
  editor::ViewWindow view_;
  std::unique_ptr<Services> services_;
  std::unique_ptr<editor::CommandProcessor> processor_;
  RasterImage rasterImage_;
  QImage scene_;
  bool sceneDirty_ = true;
  // Until the user zooms or pans, a resize fits the drawing anew.
  bool autoFit_ = true;
  bool resizing_ = false;
  editor::WindowBox lastWindow_{};
  QList<QAction*> contextActions_;
  bool showWidth_ = false;
  bool busy_ = false;
  bool panning_ = false;
  QPoint panFrom_;
  editor::ScreenPoint cursor_{};
  bool cursorInside_ = false;
};

}  // namespace quillon::ui
