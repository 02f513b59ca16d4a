#include "editor/commands/raster_commands.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "editor/document.h"
#include "model/graph.h"
#include "settings/language_table.h"

namespace quillon::editor {

namespace {

void invalidPointMessage(CommandProcessor& p) {
  p.services().message(settings::Text("RasterEraseInvalidPoint", "The point must be in raster image!"),
                       platform::MessageKind::Error);
}

// Pixel positions far outside any raster stay far outside after the
// conversion to int instead of overflowing.
int truncated(double value) {
  constexpr double kLimit = 1.0e9;
  return static_cast<int>(std::clamp(value, -kLimit, kLimit));
}

bool insideRaster(const model::CGraph& graph, const model::Point3& p) {
  if (graph.raster().empty()) return false;
  int column = 0;
  int row = 0;
  graph.drawingToRaster(p.x, p.y, column, row);
  return column >= 0 && row >= 0 && column < graph.raster().width() && row < graph.raster().height();
}

std::string paintEntryName(PaintTool tool) {
  switch (tool) {
    case PaintTool::EraseWindow: return settings::Text("EraseRasterByWin", "Erase raster by window");
    case PaintTool::FillWindow: return settings::Text("FillRasterByWin", "Fill raster by window");
    case PaintTool::ErasePolygon: return settings::Text("EraseRasterByPoly", "Erase raster by polygon");
    case PaintTool::FillPolygon: return settings::Text("FillRasterByPoly", "Fill raster by polygon");
  }
  return {};
}

bool fills(PaintTool tool) { return tool == PaintTool::FillWindow || tool == PaintTool::FillPolygon; }

constexpr double kRadiansToDegrees = 180.0 / std::numbers::pi;

}  // namespace

std::pair<int, int> PaintPixel(const model::CGraph& graph, const model::Point3& p) {
  const model::RasterPlacement& placement = graph.rasterObject();
  const int column = truncated(p.x - placement.x0 + 0.5);
  const int row = graph.raster().height() - truncated(p.y - placement.y0 + 0.5);
  return {column, row};
}

bool PaintRasterPolygon(Document& document, const std::vector<model::Point3>& points, PaintTool tool) {
  const bool fill = fills(tool);
  raster::CRaster& raster = document.raster();
  if (raster.empty() || points.empty()) return false;
  std::vector<std::pair<int, int>> pixels;
  pixels.reserve(points.size());
  for (const model::Point3& p : points) pixels.push_back(PaintPixel(document.graph(), p));
  const PaintColour colour = fill ? PaintColour::fill(raster, document.fillColour) : PaintColour::background(raster);
  PixelPainter painter(raster, colour);
  painter.paintPolygon(pixels);
  auto entry = painter.finish(paintEntryName(tool));
  if (!entry) return false;
  document.rasterUndo().append(std::move(entry));
  return true;
}

// --- Rotate -------------------------------------------------------------------------------------

void RotateRasterCommand::start() {
  first_.reset();
  p_.setPrompt("RotateRasPrompt1", "First point (or angle)", InputMode::PointOrNumber);
}

void RotateRasterCommand::point(const model::Point3& p) {
  if (!first_) {
    first_ = p;
    p_.setStep(1);
    p_.setBasePoint(p);
    p_.setPrompt("RotateRasPrompt2", "Second point (or angle)", InputMode::PointOrNumber);
    return;
  }
  const model::Point3 a = *first_;
  first_.reset();
  p_.clearRubberBand();
  if (a.x == p.x && a.y == p.y) {
    p_.sendEvent(EventCode::Start);
    return;
  }
  number(std::atan2(p.y - a.y, p.x - a.x) * kRadiansToDegrees);
}

void RotateRasterCommand::number(double degrees) {
  first_.reset();
  if (toHorizontal_) {
    // The smaller turn that makes the direction horizontal.
    double turn = std::fmod(degrees, 180.0);
    if (turn > 90.0) turn -= 180.0;
    if (turn <= -90.0) turn += 180.0;
    rotateBy(-turn);
  } else {
    rotateBy(degrees);
  }
  p_.sendEvent(EventCode::Start);
}

void RotateRasterCommand::rotateBy(double counterClockwiseDegrees) {
  raster::CRaster& raster = p_.document().raster();
  if (raster.empty() || counterClockwiseDegrees == 0.0 || !std::isfinite(counterClockwiseDegrees)) return;
  raster::RasterUndoList::Pending undo = p_.document().rasterUndo().prepare(raster, raster::UndoName::Rotate);
  // The raster turns clockwise on screen for positive angles.
  if (raster.rotate(-counterClockwiseDegrees)) undo.commit();
  p_.services().repaint();
}

// --- Crop ---------------------------------------------------------------------------------------------

CropRasterCommand::CropRasterCommand(CommandProcessor& processor)
    : BoxCommand(processor,
                 {"CropRasPrompt1", "First corner of crop box", "CropRasPrompt2", "Other corner of crop box"}) {}

void CropRasterCommand::box(const model::Point3& corner1, const model::Point3& corner2) {
  model::CGraph& graph = p_.document().graph();
  raster::CRaster& raster = graph.raster();
  if (raster.empty()) return;
  int c1 = 0;
  int r1 = 0;
  int c2 = 0;
  int r2 = 0;
  graph.drawingToRaster(corner1.x, corner1.y, c1, r1);
  graph.drawingToRaster(corner2.x, corner2.y, c2, r2);
  raster::RasterUndoList::Pending undo = p_.document().rasterUndo().prepare(raster, raster::UndoName::Crop);
  if (raster.crop(std::min(c1, c2), std::min(r1, r2), std::max(c1, c2), std::max(r1, r2))) undo.commit();
}

// --- Erase / Fill by rectangle ----------------------------------------------------------------------------

RasterRectCommand::RasterRectCommand(CommandProcessor& processor, bool fill)
    : BoxCommand(processor, {"RasterRectPrompt1", "First corner", "RasterRectPrompt2", "Other corner"}), fill_(fill) {}

void RasterRectCommand::box(const model::Point3& a, const model::Point3& b) {
  if (p_.document().raster().empty()) {
    invalidPointMessage(p_);
    return;
  }
  PaintRasterPolygon(p_.document(), {{a.x, a.y, 0.0}, {b.x, a.y, 0.0}, {b.x, b.y, 0.0}, {a.x, b.y, 0.0}},
                     fill_ ? PaintTool::FillWindow : PaintTool::EraseWindow);
}

// --- Erase / Fill by polygon ---------------------------------------------------------------------------------

void RasterPolygonCommand::start() {
  points_.clear();
  p_.setPrompt("RasterPolygonPrompt1", "First point of polygon", InputMode::Point);
}

void RasterPolygonCommand::point(const model::Point3& p) {
  if (!insideRaster(p_.document().graph(), p)) {
    invalidPointMessage(p_);
    return;
  }
  points_.push_back(p);
  p_.setStep(static_cast<int>(points_.size()));
  p_.setBasePoint(p);
  p_.setPrompt("RasterPolygonPrompt2", "Next point of polygon", InputMode::Point);
}

void RasterPolygonCommand::track(const model::Point3& cursor) {
  if (points_.empty()) {
    p_.clearRubberBand();
    return;
  }
  RubberBand band{RubberBand::Kind::Polygon, points_, 0.0};
  band.points.push_back(cursor);
  p_.setRubberBand(std::move(band));
}

void RasterPolygonCommand::finish() {
  if (points_.size() < 3) {
    p_.services().message(settings::Text("RasterPolygonError", "The number of edges must be greater that 2!"),
                          platform::MessageKind::Error);
    return;
  }
  const std::vector<model::Point3> points = std::move(points_);
  points_.clear();
  PaintRasterPolygon(p_.document(), points, fill_ ? PaintTool::FillPolygon : PaintTool::ErasePolygon);
  p_.services().repaint();
  p_.sendEvent(EventCode::Start);
}

// --- Erase by point ---------------------------------------------------------------------------------------------

ErasePointCommand::~ErasePointCommand() { commit(); }

void ErasePointCommand::start() { p_.clearPrompt(); }

int ErasePointCommand::brushHalf() const {
  // One drawing unit is one raster pixel.
  return std::max(0, static_cast<int>(std::lround(p_.eraserSize())));
}

void ErasePointCommand::track(const model::Point3& cursor) {
  p_.setRubberBand(RubberBand{RubberBand::Kind::Brush, {cursor}, p_.eraserSize()});
}

void ErasePointCommand::press(ScreenPoint pixel) {
  commit();
  const model::Point3 p = p_.view().fromPixel(pixel);
  model::CGraph& graph = p_.document().graph();
  if (!insideRaster(graph, p)) {
    invalidPointMessage(p_);
    return;
  }
  raster::CRaster& raster = graph.raster();
  painter_ = std::make_unique<PixelPainter>(raster, PaintColour::background(raster));
  graph.drawingToRaster(p.x, p.y, last_.first, last_.second);
  painter_->paintSquare(last_.first, last_.second, brushHalf());
  p_.services().repaint();
}

void ErasePointCommand::drag(ScreenPoint pixel) {
  const model::Point3 p = p_.view().fromPixel(pixel);
  track(p);
  if (!painter_) return;
  std::pair<int, int> to{};
  p_.document().graph().drawingToRaster(p.x, p.y, to.first, to.second);
  // The square sweeps the path pixel by pixel.
  const int steps = std::max(std::abs(to.first - last_.first), std::abs(to.second - last_.second));
  for (int i = 1; i <= steps; ++i) {
    const int c = last_.first + static_cast<int>(std::lround(double(to.first - last_.first) * i / steps));
    const int r = last_.second + static_cast<int>(std::lround(double(to.second - last_.second) * i / steps));
    painter_->paintSquare(c, r, brushHalf());
  }
  last_ = to;
  p_.services().repaint();
}

void ErasePointCommand::release(ScreenPoint pixel) {
  drag(pixel);
  commit();
}

void ErasePointCommand::commit() {
  if (!painter_) return;
  auto entry = painter_->finish(settings::Text("UndoEraseByPoint", "Erase raster by point"));
  painter_.reset();
  if (entry) p_.document().rasterUndo().append(std::move(entry));
}

}  // namespace quillon::editor
