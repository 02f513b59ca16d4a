#include "editor/command.h"
#include "editor/commands/draw_commands.h"

namespace quillon::editor {

std::unique_ptr<CommandProcessor::Command> MakeCommand(CommandId id, CommandProcessor& processor) {
  switch (id) {
    case CommandId::Line:
      return std::make_unique<LineCommand>(processor);
    case CommandId::PolyLine:
      return std::make_unique<PolylineCommand>(processor);
    case CommandId::Arc3P:
      return std::make_unique<Arc3PCommand>(processor);
    case CommandId::CircleCenterRadius:
      return std::make_unique<CircleCenterRadiusCommand>(processor);
    case CommandId::ArcCenterStartEnd:
      return std::make_unique<ArcCenterStartEndCommand>(processor);
    case CommandId::Circle3P:
      return std::make_unique<Circle3PCommand>(processor);
    case CommandId::SolidTriangle:
      return std::make_unique<SolidTriangleCommand>(processor);
    default:
      return nullptr;
  }
}

}  // namespace quillon::editor
