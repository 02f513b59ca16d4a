#include "editor/commands/view_commands.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "editor/document.h"
#include "model/graph.h"
#include "settings/language_table.h"
#include "settings/number_text.h"

namespace quillon::editor {

// --- Zoom In / Zoom Out --------------------------------------------------------------------

void ZoomClickCommand::start() { p_.clearPrompt(); }

void ZoomClickCommand::point(const model::Point3& p) {
  if (zoomIn_) p_.view().zoomIn(p);
  else p_.view().zoomOut(p);
  p_.services().repaint();
}

// --- two corners ------------------------------------------------------------------------------

void BoxCommand::start() {
  first_.reset();
  p_.setPrompt(prompts_.key1, prompts_.text1, InputMode::Point);
}

void BoxCommand::point(const model::Point3& p) {
  if (!first_) {
    if (firstCorner(p)) {
      p_.sendEvent(EventCode::Start);
      return;
    }
    first_ = p;
    p_.setStep(1);
    p_.setBasePoint(p);
    p_.setPrompt(prompts_.key2, prompts_.text2, InputMode::Point);
    return;
  }
  const model::Point3 corner1 = *first_;
  first_.reset();
  p_.clearRubberBand();
  box(corner1, p);
  p_.services().repaint();
  p_.sendEvent(EventCode::Start);
}

void BoxCommand::track(const model::Point3& cursor) {
  if (first_) p_.setRubberBand(RubberBand{RubberBand::Kind::Box, {*first_, cursor}, 0.0});
  else p_.clearRubberBand();
}

ZoomWindowCommand::ZoomWindowCommand(CommandProcessor& processor)
    : BoxCommand(processor, {"ZoomWinPrompt1", "First corner", "ZoomWinPrompt2", "Other corner"}) {}

void ZoomWindowCommand::box(const model::Point3& corner1, const model::Point3& corner2) {
  // A box without area would make the view degenerate: keep the window.
  if (corner1.x == corner2.x || corner1.y == corner2.y) return;
  p_.view().zoomWindow(corner1, corner2);
}

SelectCommand::SelectCommand(CommandProcessor& processor)
    : BoxCommand(processor, {"SelectPrompt1", "First corner of select box", "SelectPrompt2",
                             "Other corner of select box"}) {}

bool SelectCommand::firstCorner(const model::Point3& p) {
  // The pick box: the cursor pixel ± the object snap aperture.
  const ScreenPoint pixel = p_.view().toPixel(p);
  const int a = CommandProcessor::kSnapAperture;
  const model::Point3 c1 = p_.view().fromPixel({pixel.x - a, pixel.y + a});
  const model::Point3 c2 = p_.view().fromPixel({pixel.x + a, pixel.y - a});
  return p_.document().graph().selectCrossing(c1, c2);
}

void SelectCommand::box(const model::Point3& corner1, const model::Point3& corner2) {
  model::CGraph& graph = p_.document().graph();
  if (corner2.x >= corner1.x) graph.selectInside(corner1, corner2);
  else graph.selectCrossing(corner1, corner2);
}

// --- Pan ------------------------------------------------------------------------------------------

void PanCommand::start() {
  last_.reset();
  p_.clearPrompt();
}

void PanCommand::drag(ScreenPoint pixel) {
  if (!last_) return;
  p_.view().pan(pixel.x - last_->x, pixel.y - last_->y);
  last_ = pixel;
  p_.services().repaint();
}

void PanCommand::release(ScreenPoint pixel) {
  drag(pixel);
  last_.reset();
}

// --- Move grip point -------------------------------------------------------------------------------

void MoveGripCommand::start() {
  const model::CGraph& graph = p_.document().graph();
  const model::Grip* grip = graph.currentGrip();
  if (grip == nullptr) {
    for (const model::Grip& g : graph.grips()) {
      if (g.picked) {
        grip = &g;
        break;
      }
    }
  }
  if (grip == nullptr) {
    p_.requestEnd();
    return;
  }
  p_.setBasePoint(model::Point3{grip->x, grip->y, 0.0});
  p_.setPrompt("MoveGripPointPrompt", "New position of the grip point", InputMode::Point);
}

void MoveGripCommand::cancel() {
  // Rebuilding drops the picked flags and the moved previews.
  p_.document().graph().rebuildGrips();
  p_.services().repaint();
  p_.requestEnd();
}

void MoveGripCommand::point(const model::Point3& p) {
  p_.document().graph().moveGrips(p);
  p_.clearRubberBand();
  p_.services().repaint();
  p_.requestEnd();
}

void MoveGripCommand::track(const model::Point3& cursor) {
  Command::track(cursor);
  p_.document().graph().dragGrips(cursor);
  p_.services().repaint();
}

// --- Distance ---------------------------------------------------------------------------------------

void DistanceCommand::start() {
  first_.reset();
  p_.setPrompt("DistancePrompt1", "Start point of distance", InputMode::Point);
}

void DistanceCommand::point(const model::Point3& p) {
  if (!first_) {
    first_ = p;
    p_.setStep(1);
    p_.setBasePoint(p);
    p_.setPrompt("DistancePrompt2", "End point of distance", InputMode::Point);
    return;
  }
  const model::Point3 start = *first_;
  first_.reset();
  p_.clearRubberBand();
  const std::string report =
      MeasureReport(p_.document().graph(), start, p, settings::LocaleSeparators().decimal);
  p_.services().message(report, platform::MessageKind::Information);
  p_.sendEvent(EventCode::Start);
}

std::string MeasureReport(model::CGraph& graph, const model::Point3& p1, const model::Point3& p2, char decimal) {
  double x1 = p1.x;
  double y1 = p1.y;
  double x2 = p2.x;
  double y2 = p2.y;
  std::string unit;
  graph.toUnit(x1, y1, &unit);
  graph.toUnit(x2, y2);
  const double dx = x2 - x1;
  const double dy = y2 - y1;
  const bool zero = std::fabs(dx) < model::kTolerance && std::fabs(dy) < model::kTolerance;
  const double length = zero ? 0.0 : std::sqrt(dx * dx + dy * dy);
  double angle = std::atan2(dy, dx);
  constexpr double kTwoPi = 2.0 * std::numbers::pi;
  while (angle > kTwoPi) angle -= kTwoPi;
  while (angle < 0.0) angle += kTwoPi;
  const double degrees = angle * 180.0 / std::numbers::pi;

  using settings::FormatFixed;
  using settings::Text;
  std::string text;
  text += Text("FirstPoint", "FirstPoint:") + "  x=" + FormatFixed(x1, 3) + " y=" + FormatFixed(y1, 3) + " " +
          unit + "\n";
  text += Text("SecondPoint", "SecondPoint:") + " x=" + FormatFixed(x2, 3) + " y=" + FormatFixed(y2, 3) + " " +
          unit + "\n";
  text += Text("DeltaX", "DeltaX:") + " " + FormatFixed(dx, 3) + "  ";
  text += Text("DeltaY", "DeltaY:") + " " + FormatFixed(dy, 3) + " " + unit + "\n";
  text += Text("Distance", "Distance:") + " " + FormatFixed(length, 3) + " " + unit + "\n";
  text += Text("Angle", "Angle:") + "    " + FormatFixed(degrees, 4);
  std::replace(text.begin(), text.end(), '.', decimal);
  return text;
}

}  // namespace quillon::editor
