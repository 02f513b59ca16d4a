#pragma once
// The part of the drawing a view shows (the view window) and the conversion
// between drawing units (y up) and screen pixels of the view's client area.
// One per drawing view; the zoom and pan commands change it.
//
// Two row conventions meet here. ToScreen/ToDrawing work with row' counted
// upwards from the client's top edge, as the conversion itself is defined;
// the view turns row' into a screen row (growing downwards) as
// clientHeight − row'. toPixel/fromPixel do both steps and are what mouse
// handlers and painters use.

#include <vector>

#include "model/geometry.h"

namespace quillon::model {
class CGraph;
}

namespace quillon::editor {

// A pixel of the view's client area: column, and row growing downwards.
struct ScreenPoint {
  int x = 0;
  int y = 0;
  bool operator==(const ScreenPoint&) const = default;
};

// The drawing rectangle shown, in drawing units.
struct WindowBox {
  double xMin = 0.0;
  double xMax = 100.0;
  double yMin = 0.0;
  double yMax = 100.0;
  bool operator==(const WindowBox&) const = default;
};

class ViewWindow {
 public:
  // A client of width 0 counts as this many pixels, one of height 0 as kEmptyClientHeight.
  static constexpr int kEmptyClientWidth = 30;
  static constexpr int kEmptyClientHeight = 40;

  // Window 0..100 on both axes, empty client (counted as 30 × 40 pixels).
  ViewWindow();

  // The window becomes the box of the two points (each axis ordered); then Fit.
  void SetWindow(double x1, double y1, double x2, double y2);
  // Stores the client rectangle in pixels (each axis ordered); then Fit.
  void SetClient(int left, int top, int right, int bottom);
  // Widens the axis that needs fewer units per pixel symmetrically about its
  // centre, so both axes use the larger value; unitsPerPixel becomes it.
  void Fit();

  // Drawing point → (column, row'), each rounded to the nearest integer.
  void ToScreen(double x, double y, int& column, int& rowUp) const;
  // (column, row') → drawing point.
  void ToDrawing(int column, int rowUp, double& x, double& y) const;
  // The same with screen rows (row = clientHeight − row').
  ScreenPoint toPixel(const model::Point3& point) const;
  model::Point3 fromPixel(ScreenPoint pixel) const;
  // Exact (unrounded) pixel position of a drawing point, screen rows; for
  // painters that draw with sub-pixel precision.
  void toPixelF(const model::Point3& point, double& column, double& row) const;

  // The previous-window stack of Zoom Previous.
  void PushWindow();
  // SetWindow with the top entry, which is removed; false (nothing changes)
  // when the stack is empty.
  bool PopWindow();
  std::size_t previousCount() const { return previous_.size(); }

  // --- zoom and pan -----------------------------------------------------------
  // Zoom In / Zoom Out at the drawing point p: the window becomes 0.8 (1.25)
  // of its size and p keeps its screen position. The stack is not touched.
  void zoomIn(const model::Point3& p);
  void zoomOut(const model::Point3& p);
  // Zoom Window: PushWindow, then SetWindow with the two corners.
  void zoomWindow(const model::Point3& corner1, const model::Point3& corner2);
  // Zoom Previous: PopWindow.
  bool zoomPrevious();
  // Zoom Fit: the drawing's extents with margin and raster, widened by 1 %
  // of their width and height on each side (12 and 9 units when 1 % is below
  // 0.00001); PushWindow, then SetWindow. An empty drawing without raster
  // fits the box (0, 0)–(0, 0) widened that way.
  void zoomFit(const model::CGraph& graph);
  // Actual Size: one drawing unit per screen pixel, the client rectangle
  // taken as drawing coordinates.
  void actualSize();
  // Mouse wheel: the window shrinks by factor (> 1 zooms in, < 1 out) about
  // the drawing point under the pixel, which stays under it. Factors that are
  // not positive and finite are ignored. The stack is not touched.
  void zoomAt(ScreenPoint pixel, double factor);
  // Dragging: the drawing moves with the mouse by (dx, dy) screen pixels
  // (dy positive downwards). The stack is not touched.
  void pan(int dx, int dy);

  // --- state ------------------------------------------------------------------
  WindowBox window() const { return box_; }
  double xMin() const { return box_.xMin; }
  double xMax() const { return box_.xMax; }
  double yMin() const { return box_.yMin; }
  double yMax() const { return box_.yMax; }
  double worldWidth() const { return box_.xMax - box_.xMin; }
  double worldHeight() const { return box_.yMax - box_.yMin; }
  int clientLeft() const { return clientLeft_; }
  int clientTop() const { return clientTop_; }
  int clientRight() const { return clientRight_; }
  int clientBottom() const { return clientBottom_; }
  // Width and height with the 30 / 40 pixel rule for an empty client.
  int clientWidth() const;
  int clientHeight() const;
  // Drawing units per screen pixel, equal on both axes.
  double unitsPerPixel() const { return unitsPerPixel_; }

 private:
  // The window of half-sizes (halfWidth, halfHeight) placed so that p keeps
  // its relative position.
  void zoomAbout(const model::Point3& p, double halfWidth, double halfHeight);

  WindowBox box_;
  int clientLeft_ = 0;
  int clientTop_ = 0;
  int clientRight_ = 0;
  int clientBottom_ = 0;
  double unitsPerPixel_ = 1.0;
  std::vector<WindowBox> previous_;
};

}  // namespace quillon::editor
