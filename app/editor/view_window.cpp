#include "editor/view_window.h"

#include <algorithm>
#include <cmath>

#include "model/graph.h"

namespace quillon::editor {

namespace {

int roundToInt(double value) { return static_cast<int>(std::lround(value)); }

// Zoom In halves the window to 0.4 of its size on each side of the centre.
// The factor is the single-precision 0.4, whose double value is slightly
// above 0.4; keeping it makes the window sizes match the established ones.
const double kZoomInHalf = static_cast<double>(0.4f);
// Zoom Out grows it to 1.25 (half-size 0.625), the inverse of Zoom In.
const double kZoomOutHalf = static_cast<double>(0.625f);

// Zoom Fit margin: 1 % of the extents on each side; an extent too small for
// that gets a fixed margin instead.
constexpr double kFitMarginShare = 0.01;
constexpr double kFitMinimum = 0.00001;
constexpr double kFitEmptyWidthMargin = 12.0;
constexpr double kFitEmptyHeightMargin = 9.0;

}  // namespace

ViewWindow::ViewWindow() { Fit(); }

int ViewWindow::clientWidth() const {
  const int width = clientRight_ - clientLeft_;
  return width == 0 ? kEmptyClientWidth : width;
}

int ViewWindow::clientHeight() const {
  const int height = clientBottom_ - clientTop_;
  return height == 0 ? kEmptyClientHeight : height;
}

void ViewWindow::SetWindow(double x1, double y1, double x2, double y2) {
  box_.xMin = std::min(x1, x2);
  box_.xMax = std::max(x1, x2);
  box_.yMin = std::min(y1, y2);
  box_.yMax = std::max(y1, y2);
  Fit();
}

void ViewWindow::SetClient(int left, int top, int right, int bottom) {
  clientLeft_ = std::min(left, right);
  clientRight_ = std::max(left, right);
  clientTop_ = std::min(top, bottom);
  clientBottom_ = std::max(top, bottom);
  Fit();
}

void ViewWindow::Fit() {
  const double e = worldWidth() / clientWidth();
  const double m = worldHeight() / clientHeight();
  if (std::fabs(e) >= std::fabs(m)) {
    const double middle = (box_.yMin + box_.yMax) / 2.0;
    const double half = std::fabs(e) * clientHeight() / 2.0;
    box_.yMin = middle - half;
    box_.yMax = middle + half;
    unitsPerPixel_ = std::fabs(e);
  } else {
    const double middle = (box_.xMin + box_.xMax) / 2.0;
    const double half = std::fabs(m) * clientWidth() / 2.0;
    box_.xMin = middle - half;
    box_.xMax = middle + half;
    unitsPerPixel_ = std::fabs(m);
  }
}

void ViewWindow::ToScreen(double x, double y, int& column, int& rowUp) const {
  const double k = clientWidth() / worldWidth();
  column = roundToInt((x - box_.xMin) * k + clientLeft_);
  rowUp = roundToInt((y - box_.yMin) * k + clientTop_);
}

void ViewWindow::ToDrawing(int column, int rowUp, double& x, double& y) const {
  const double scale = worldWidth() / clientWidth();
  x = (column - clientLeft_) * scale + box_.xMin;
  y = (rowUp - clientTop_) * scale + box_.yMin;
}

ScreenPoint ViewWindow::toPixel(const model::Point3& point) const {
  int column = 0;
  int rowUp = 0;
  ToScreen(point.x, point.y, column, rowUp);
  return ScreenPoint{column, clientHeight() - rowUp};
}

model::Point3 ViewWindow::fromPixel(ScreenPoint pixel) const {
  model::Point3 p;
  ToDrawing(pixel.x, clientHeight() - pixel.y, p.x, p.y);
  return p;
}

void ViewWindow::toPixelF(const model::Point3& point, double& column, double& row) const {
  const double k = clientWidth() / worldWidth();
  column = (point.x - box_.xMin) * k + clientLeft_;
  row = clientHeight() - ((point.y - box_.yMin) * k + clientTop_);
}

void ViewWindow::PushWindow() { previous_.push_back(box_); }

bool ViewWindow::PopWindow() {
  if (previous_.empty()) return false;
  const WindowBox top = previous_.back();
  previous_.pop_back();
  SetWindow(top.xMin, top.yMin, top.xMax, top.yMax);
  return true;
}

void ViewWindow::zoomAbout(const model::Point3& p, double halfWidth, double halfHeight) {
  const double oldWidth = worldWidth();
  const double oldHeight = worldHeight();
  const double cx = (box_.xMin + box_.xMax) / 2.0;
  const double cy = (box_.yMin + box_.yMax) / 2.0;
  // The new centre keeps p at the same share of the window as before.
  const double nx = cx + (p.x - (cx + (p.x - cx) * 2.0 / oldWidth * halfWidth));
  const double ny = cy + (p.y - (cy + (p.y - cy) * 2.0 / oldHeight * halfHeight));
  SetWindow(nx - halfWidth, ny - halfHeight, nx + halfWidth, ny + halfHeight);
}

void ViewWindow::zoomIn(const model::Point3& p) {
  zoomAbout(p, kZoomInHalf * worldWidth(), kZoomInHalf * worldHeight());
}

void ViewWindow::zoomOut(const model::Point3& p) {
  zoomAbout(p, kZoomOutHalf * worldWidth(), kZoomOutHalf * worldHeight());
}

void ViewWindow::zoomWindow(const model::Point3& corner1, const model::Point3& corner2) {
  PushWindow();
  SetWindow(corner1.x, corner1.y, corner2.x, corner2.y);
}

bool ViewWindow::zoomPrevious() { return PopWindow(); }

void ViewWindow::zoomFit(const model::CGraph& graph) {
  model::Box box;
  if (!graph.getDrawingExtents(box, true, true)) box = model::Box{};
  double dx = (box.maxX - box.minX) * kFitMarginShare;
  double dy = (box.maxY - box.minY) * kFitMarginShare;
  if (dx < kFitMinimum) dx = kFitEmptyWidthMargin;
  if (dy < kFitMinimum) dy = kFitEmptyHeightMargin;
  PushWindow();
  SetWindow(box.minX - dx, box.minY - dy, box.maxX + dx, box.maxY + dy);
}

void ViewWindow::actualSize() { SetWindow(clientLeft_, clientTop_, clientRight_, clientBottom_); }

void ViewWindow::zoomAt(ScreenPoint pixel, double factor) {
  if (!(factor > 0.0) || !std::isfinite(factor)) return;
  model::Point3 p;
  ToDrawing(pixel.x, clientHeight() - pixel.y, p.x, p.y);
  zoomAbout(p, worldWidth() / (2.0 * factor), worldHeight() / (2.0 * factor));
}

void ViewWindow::pan(int dx, int dy) {
  const double scale = worldWidth() / clientWidth();
  const double mx = -dx * scale;
  const double my = dy * scale;  // screen rows grow downwards, drawing y upwards
  SetWindow(box_.xMin + mx, box_.yMin + my, box_.xMax + mx, box_.yMax + my);
}

}  // namespace quillon::editor
