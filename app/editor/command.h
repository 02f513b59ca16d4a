#pragma once
// The base of the interactive commands: one small state machine per command,
// one prompt per step. The processor turns user actions into the handler
// calls below; a command never sees a pixel it did not ask for, only points
// already resolved (snap, ortho, grid) and made absolute.

#include <memory>

#include "editor/command_processor.h"

namespace quillon::editor {

class CommandProcessor::Command {
 public:
  explicit Command(CommandProcessor& processor) : p_(processor) {}
  virtual ~Command() = default;
  Command(const Command&) = delete;
  Command& operator=(const Command&) = delete;

  // Event 1: step 0 and the first prompt.
  virtual void start() = 0;
  // Event 0: forget the collected points. The processor has already erased
  // the rubber band and the base point.
  virtual void cancel() {}
  // A point: picked (resolved), typed absolute, or typed relative and added
  // to the base point.
  virtual void point(const model::Point3& /*p*/) {}
  // A typed number (event 3) or whole number (event 4).
  virtual void number(double /*value*/) {}
  virtual void integer(int value) { number(value); }
  // Event 9 and event 16.
  virtual void enter() {}
  virtual void close() {}
  // The cursor moved to the resolved point: update the rubber band or the
  // preview. The default draws the segment from the base point.
  virtual void track(const model::Point3& cursor);

  // Commands that work on raw pixels while the button is held (pan, the
  // eraser) take the press, the drag and the release themselves; their
  // picks are not resolved.
  virtual bool takesDrag() const { return false; }
  virtual void press(ScreenPoint /*pixel*/) {}
  virtual void drag(ScreenPoint /*pixel*/) {}
  virtual void release(ScreenPoint /*pixel*/) {}

 protected:
  CommandProcessor& p_;
};

// The command object for an identifier; null for None.
std::unique_ptr<CommandProcessor::Command> MakeCommand(CommandId id, CommandProcessor& processor);

}  // namespace quillon::editor
