#include "editor/command.h"
#include "editor/commands/draw_commands.h"
#include "editor/commands/raster_commands.h"
#include "editor/commands/view_commands.h"

namespace quillon::editor {

std::unique_ptr<CommandProcessor::Command> MakeCommand(CommandId id, CommandProcessor& processor) {
  switch (id) {
    case CommandId::None: return nullptr;
    case CommandId::MoveGripPoint: return std::make_unique<MoveGripCommand>(processor);
    case CommandId::ZoomOut: return std::make_unique<ZoomClickCommand>(processor, false);
    case CommandId::ZoomIn: return std::make_unique<ZoomClickCommand>(processor, true);
    case CommandId::ZoomWindow: return std::make_unique<ZoomWindowCommand>(processor);
    case CommandId::Pan: return std::make_unique<PanCommand>(processor);
    case CommandId::SelectVector: return std::make_unique<SelectCommand>(processor);
    case CommandId::Distance: return std::make_unique<DistanceCommand>(processor);
    case CommandId::RotateRaster: return std::make_unique<RotateRasterCommand>(processor, false);
    case CommandId::RotateRasterToHorizontal: return std::make_unique<RotateRasterCommand>(processor, true);
    case CommandId::CropRaster: return std::make_unique<CropRasterCommand>(processor);
    case CommandId::ErasePoint: return std::make_unique<ErasePointCommand>(processor);
    case CommandId::EraseRect: return std::make_unique<RasterRectCommand>(processor, false);
    case CommandId::FillRect: return std::make_unique<RasterRectCommand>(processor, true);
    case CommandId::ErasePolygon: return std::make_unique<RasterPolygonCommand>(processor, false);
    case CommandId::FillPolygon: return std::make_unique<RasterPolygonCommand>(processor, true);
    case CommandId::Line: return std::make_unique<LineCommand>(processor);
    case CommandId::PolyLine: return std::make_unique<PolylineCommand>(processor);
    case CommandId::Arc3P: return std::make_unique<Arc3PCommand>(processor);
    case CommandId::CircleCenterRadius: return std::make_unique<CircleCenterRadiusCommand>(processor);
    case CommandId::ArcCenterStartEnd: return std::make_unique<ArcCenterStartEndCommand>(processor);
    case CommandId::Circle3P: return std::make_unique<Circle3PCommand>(processor);
    case CommandId::SolidTriangle: return std::make_unique<SolidTriangleCommand>(processor);
  }
  return nullptr;
}

}  // namespace quillon::editor
