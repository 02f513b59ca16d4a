#pragma once
// The commands that take their points in the view and change the raster:
// rotate, rotate to horizontal, crop, and erase and fill by point, rectangle
// and polygon. Each change is one raster undo entry.

#include <memory>
#include <optional>
#include <vector>

#include "editor/command.h"
#include "editor/commands/view_commands.h"
#include "editor/raster_paint.h"

namespace quillon::editor {

// The raster pixel of a drawing point for the erase and fill tools:
// column = truncate(x − x0 + 0.5), row = H − truncate(y − y0 + 0.5).
std::pair<int, int> PaintPixel(const model::CGraph& graph, const model::Point3& p);

// Rotate raster: a typed angle turns the raster counter-clockwise by that
// many degrees; two points turn it by the direction from the first to the
// second. Rotate to horizontal: the direction of the two points (or a typed
// angle, taken as that direction) is turned to the horizontal, by the
// smaller turn, so the picture never ends upside down.
class RotateRasterCommand final : public CommandProcessor::Command {
 public:
  RotateRasterCommand(CommandProcessor& processor, bool toHorizontal)
      : Command(processor), toHorizontal_(toHorizontal) {}
  void start() override;
  void point(const model::Point3& p) override;
  void number(double degrees) override;

 private:
  void rotateBy(double counterClockwiseDegrees);
  bool toHorizontal_;
  std::optional<model::Point3> first_;
};

// Two corners; the raster keeps the pixels of the box.
class CropRasterCommand final : public BoxCommand {
 public:
  explicit CropRasterCommand(CommandProcessor& processor);

 protected:
  void box(const model::Point3& corner1, const model::Point3& corner2) override;
};

// Erase or fill by rectangle: the rectangle of the two corners is painted.
class RasterRectCommand final : public BoxCommand {
 public:
  RasterRectCommand(CommandProcessor& processor, bool fill);

 protected:
  void box(const model::Point3& corner1, const model::Point3& corner2) override;

 private:
  bool fill_;
};

// Erase or fill by polygon: points inside the raster until Enter or "&Close".
class RasterPolygonCommand final : public CommandProcessor::Command {
 public:
  RasterPolygonCommand(CommandProcessor& processor, bool fill) : Command(processor), fill_(fill) {}
  void start() override;
  void cancel() override { points_.clear(); }
  void point(const model::Point3& p) override;
  void enter() override { finish(); }
  void close() override { finish(); }
  void track(const model::Point3& cursor) override;

 private:
  void finish();
  bool fill_;
  std::vector<model::Point3> points_;
};

// Erase by point: a square brush of the eraser size erases along the drag;
// the whole drag is one undo entry.
class ErasePointCommand final : public CommandProcessor::Command {
 public:
  using Command::Command;
  ~ErasePointCommand() override;
  void start() override;
  void cancel() override { commit(); }
  void track(const model::Point3& cursor) override;
  bool takesDrag() const override { return true; }
  void press(ScreenPoint pixel) override;
  void drag(ScreenPoint pixel) override;
  void release(ScreenPoint pixel) override;

 private:
  int brushHalf() const;
  void commit();
  std::unique_ptr<PixelPainter> painter_;
  std::pair<int, int> last_{};
};

// What an erase or fill edit paints and how its entry is named.
enum class PaintTool { EraseWindow, FillWindow, ErasePolygon, FillPolygon };

// Paints a polygon of drawing points (a rectangle's four corners for the
// window tools) on the document raster and records the entry (erase: the
// background colour; fill: the document's fill colour). False, nothing
// recorded, when no pixel was painted.
bool PaintRasterPolygon(Document& document, const std::vector<model::Point3>& points, PaintTool tool);

}  // namespace quillon::editor
