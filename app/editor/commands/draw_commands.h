#pragma once
// The drawing commands: each collects its points and commits one entity
// (with its undo step) to the current layer, then starts over.

#include <array>
#include <vector>

#include "editor/command.h"

namespace quillon::editor {

// Lines chain: after each second point the line is added and its end point
// is the first point of the next one, until Enter or cancel.
class LineCommand final : public CommandProcessor::Command {
 public:
  using Command::Command;
  void start() override;
  void point(const model::Point3& p) override;
  void enter() override;

 private:
  enum class Step { First, Second };
  Step step_ = Step::First;
};

// Each point appends a vertex (bulge 0, widths −10: the drawing's current
// width); Enter ends the polyline open, "&Close" closed. Either adds it as
// one undo step and starts a new one.
class PolylineCommand final : public CommandProcessor::Command {
 public:
  using Command::Command;
  ~PolylineCommand() override;
  void start() override;
  void cancel() override;
  void point(const model::Point3& p) override;
  void enter() override;
  void close() override;

 private:
  void finish(bool closed);
};

// The commands that take a fixed number of points (the last possibly typed
// as a number) and commit one entity.
class FixedPointsCommand : public CommandProcessor::Command {
 public:
  struct Prompt {
    const char* key;
    const char* text;
    InputMode mode;
  };
  FixedPointsCommand(CommandProcessor& processor, std::vector<Prompt> prompts);
  void start() override;
  void point(const model::Point3& p) override;
  void track(const model::Point3& cursor) override;

 protected:
  // The entity for the points collected so far plus the last one; null when
  // the points give none. Does not touch the drawing.
  virtual std::unique_ptr<model::CEntity> build(const std::vector<model::Point3>& points) const = 0;
  // Adds the entity for the complete points to the drawing with its undo step.
  virtual void commit(const std::vector<model::Point3>& points) = 0;
  // The point relative input and ortho refer to after point `index`.
  virtual model::Point3 baseAfter(std::size_t index) const { return points_[index]; }
  void accept(const model::Point3& p);
  const std::vector<model::Point3>& points() const { return points_; }
  std::size_t step() const { return points_.size(); }

 private:
  void prompt();
  std::vector<Prompt> prompts_;
  std::vector<model::Point3> points_;
};

class Arc3PCommand final : public FixedPointsCommand {
 public:
  explicit Arc3PCommand(CommandProcessor& processor);

 protected:
  std::unique_ptr<model::CEntity> build(const std::vector<model::Point3>& points) const override;
  void commit(const std::vector<model::Point3>& points) override;
};

// Centre, then the radius as a point or a number in the display unit.
class CircleCenterRadiusCommand final : public FixedPointsCommand {
 public:
  explicit CircleCenterRadiusCommand(CommandProcessor& processor);
  void number(double value) override;

 protected:
  std::unique_ptr<model::CEntity> build(const std::vector<model::Point3>& points) const override;
  void commit(const std::vector<model::Point3>& points) override;
  model::Point3 baseAfter(std::size_t) const override { return points()[0]; }
};

// Centre, start point, then the end point or the end angle in degrees.
class ArcCenterStartEndCommand final : public FixedPointsCommand {
 public:
  explicit ArcCenterStartEndCommand(CommandProcessor& processor);
  void number(double value) override;

 protected:
  std::unique_ptr<model::CEntity> build(const std::vector<model::Point3>& points) const override;
  void commit(const std::vector<model::Point3>& points) override;
  model::Point3 baseAfter(std::size_t) const override { return points()[0]; }
};

class Circle3PCommand final : public FixedPointsCommand {
 public:
  explicit Circle3PCommand(CommandProcessor& processor);

 protected:
  std::unique_ptr<model::CEntity> build(const std::vector<model::Point3>& points) const override;
  void commit(const std::vector<model::Point3>& points) override;
};

class SolidTriangleCommand final : public FixedPointsCommand {
 public:
  explicit SolidTriangleCommand(CommandProcessor& processor);

 protected:
  std::unique_ptr<model::CEntity> build(const std::vector<model::Point3>& points) const override;
  void commit(const std::vector<model::Point3>& points) override;
};

}  // namespace quillon::editor
