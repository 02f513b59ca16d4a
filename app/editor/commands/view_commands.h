#pragma once
// The commands that change the view, the selection and the grips, and the
// measuring command.

#include <optional>

#include "editor/command.h"

namespace quillon::editor {

// Zoom In / Zoom Out: every pick zooms about the picked point.
class ZoomClickCommand final : public CommandProcessor::Command {
 public:
  ZoomClickCommand(CommandProcessor& processor, bool zoomIn) : Command(processor), zoomIn_(zoomIn) {}
  void start() override;
  void point(const model::Point3& p) override;
  void track(const model::Point3&) override {}

 private:
  bool zoomIn_;
};

// Picks two corners; the subclass acts on the box, then the command restarts.
class BoxCommand : public CommandProcessor::Command {
 public:
  struct Prompts {
    const char* key1;
    const char* text1;
    const char* key2;
    const char* text2;
  };
  BoxCommand(CommandProcessor& processor, Prompts prompts) : Command(processor), prompts_(prompts) {}
  void start() override;
  void cancel() override { first_.reset(); }
  void point(const model::Point3& p) override;
  void track(const model::Point3& cursor) override;

 protected:
  // The first corner: true when the subclass has dealt with it alone (the
  // command restarts).
  virtual bool firstCorner(const model::Point3&) { return false; }
  virtual void box(const model::Point3& corner1, const model::Point3& corner2) = 0;

 private:
  Prompts prompts_;
  std::optional<model::Point3> first_;
};

class ZoomWindowCommand final : public BoxCommand {
 public:
  explicit ZoomWindowCommand(CommandProcessor& processor);

 protected:
  void box(const model::Point3& corner1, const model::Point3& corner2) override;
};

// A first pick on an entity selects it at once; otherwise the two corners
// select: drawn left to right, the entities inside the box; right to left,
// every entity the box crosses.
class SelectCommand final : public BoxCommand {
 public:
  explicit SelectCommand(CommandProcessor& processor);

 protected:
  bool firstCorner(const model::Point3& p) override;
  void box(const model::Point3& corner1, const model::Point3& corner2) override;
};

// The drawing follows the mouse while the button is held.
class PanCommand final : public CommandProcessor::Command {
 public:
  using Command::Command;
  void start() override;
  void track(const model::Point3&) override {}
  bool takesDrag() const override { return true; }
  void press(ScreenPoint pixel) override { last_ = pixel; }
  void drag(ScreenPoint pixel) override;
  void release(ScreenPoint pixel) override;

 private:
  std::optional<ScreenPoint> last_;
};

// Started by clicking a grip: the picked grips follow the cursor as
// previews; the next point moves them (one undo step), then the command ends.
class MoveGripCommand final : public CommandProcessor::Command {
 public:
  using Command::Command;
  void start() override;
  void cancel() override;
  void point(const model::Point3& p) override;
  void track(const model::Point3& cursor) override;
};

// Two points, then the measure report in an information box.
class DistanceCommand final : public CommandProcessor::Command {
 public:
  using Command::Command;
  void start() override;
  void point(const model::Point3& p) override;

 private:
  std::optional<model::Point3> first_;
};

// The measure report of the distance from p1 to p2 in the drawing's unit,
// every "." replaced by the decimal separator.
std::string MeasureReport(model::CGraph& graph, const model::Point3& p1, const model::Point3& p2, char decimal);

}  // namespace quillon::editor
