#include "editor/commands/draw_commands.h"

#include <cmath>
#include <numbers>

#include "editor/document.h"
#include "model/arc.h"
#include "model/circle.h"
#include "model/graph.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/solid.h"
#include "model/vector_undo.h"

namespace quillon::editor {

namespace {

// Drawing commands need a layer; a drawing that has none yet (nothing traced
// or read) gets the default layer "0".
model::CGraph& drawingWithLayer(CommandProcessor& p) {
  model::CGraph& graph = p.document().graph();
  if (graph.currentLayer() == nullptr) graph.setCurrentLayerByName("0");
  return graph;
}

// The polyline command's widths: below zero, so each vertex takes the
// drawing's current width.
constexpr double kCurrentWidth = -10.0;


}  // namespace

// --- Line --------------------------------------------------------------------------

void LineCommand::start() {
  step_ = Step::First;
  p_.setPrompt("LinePrompt1", "First point of line", InputMode::Point);
}

void LineCommand::point(const model::Point3& p) {
  if (step_ == Step::Second) {
    if (auto base = p_.basePoint()) {
      model::CGraph& graph = drawingWithLayer(p_);
      if (model::CLine* line = graph.addLine(*base, p)) {
        model::recordAddedEntity(graph, line, "UndoDrawLine", "Draw Line");
        p_.services().repaint();
      }
    }
  }
  step_ = Step::Second;
  p_.setStep(1);
  p_.setBasePoint(p);
  p_.setPrompt("LinePrompt2", "Second point of line", InputMode::Point);
}

void LineCommand::enter() { p_.sendEvent(EventCode::Start); }

// --- Poly lines ------------------------------------------------------------------------

PolylineCommand::~PolylineCommand() {
  // A polyline in progress belongs to the command; it never outlives it.
  if (p_.document().graph().tempPolyline() != nullptr) p_.document().graph().finishPolyline(false);
}

void PolylineCommand::start() { p_.setPrompt("PLinePrompt1", "First point of Polyline", InputMode::Point); }

void PolylineCommand::cancel() {
  model::CGraph& graph = p_.document().graph();
  if (graph.tempPolyline() != nullptr) {
    graph.finishPolyline(false);
    p_.services().repaint();
  }
}

void PolylineCommand::point(const model::Point3& p) {
  model::CGraph& graph = drawingWithLayer(p_);
  if (graph.tempPolyline() == nullptr && graph.beginPolyline() == nullptr) return;
  graph.addPolylineVertex(p.x, p.y, kCurrentWidth, kCurrentWidth, 0);
  p_.setStep(graph.tempPolyline()->getVertexCount());
  p_.setBasePoint(p);
  p_.setPrompt("PLinePrompt2", "Next point of Polyline", InputMode::Point);
  p_.services().repaint();
}

void PolylineCommand::enter() { finish(false); }

void PolylineCommand::close() { finish(true); }

void PolylineCommand::finish(bool closed) {
  model::CGraph& graph = p_.document().graph();
  model::CPolyLine* polyline = graph.tempPolyline();
  if (polyline == nullptr) return;
  // A polyline needs two vertices, a closed one three; with fewer it is dropped.
  const int count = polyline->getVertexCount();
  const bool keep = count >= (closed ? 3 : 2);
  if (keep && closed) polyline->setClosed(true);
  graph.finishPolyline(keep);
  p_.services().repaint();
  p_.sendEvent(EventCode::Start);
}

// --- commands of a fixed number of points ---------------------------------------------

FixedPointsCommand::FixedPointsCommand(CommandProcessor& processor, std::vector<Prompt> prompts)
    : Command(processor), prompts_(std::move(prompts)) {}

void FixedPointsCommand::start() {
  points_.clear();
  prompt();
}

void FixedPointsCommand::prompt() {
  const Prompt& next = prompts_[points_.size()];
  p_.setPrompt(next.key, next.text, next.mode);
}

void FixedPointsCommand::point(const model::Point3& p) { accept(p); }

void FixedPointsCommand::accept(const model::Point3& p) {
  points_.push_back(p);
  if (points_.size() < prompts_.size()) {
    p_.setStep(static_cast<int>(points_.size()));
    p_.setBasePoint(baseAfter(points_.size() - 1));
    prompt();
    return;
  }
  const std::vector<model::Point3> complete = std::move(points_);
  points_.clear();
  commit(complete);
  p_.services().repaint();
  p_.sendEvent(EventCode::Start);
}

void FixedPointsCommand::track(const model::Point3& cursor) {
  if (points_.empty()) {
    p_.clearRubberBand();
    p_.setPreview(nullptr);
    return;
  }
  std::vector<model::Point3> candidate = points_;
  candidate.push_back(cursor);
  std::unique_ptr<model::CEntity> entity = build(candidate);
  if (entity) {
    p_.clearRubberBand();
  } else {
    p_.setRubberBand(RubberBand{RubberBand::Kind::Segment, {points_.back(), cursor}, 0.0});
  }
  p_.setPreview(std::move(entity));
}

// --- Arc (start, mid, end) ---------------------------------------------------------------

Arc3PCommand::Arc3PCommand(CommandProcessor& processor)
    : FixedPointsCommand(processor, {{"3PArcPrompt1", "Start point of arc", InputMode::Point},
                                     {"3PArcPrompt2", "Second point of arc", InputMode::Point},
                                     {"3PArcPrompt3", "End point of arc", InputMode::Point}}) {}

std::unique_ptr<model::CEntity> Arc3PCommand::build(const std::vector<model::Point3>& points) const {
  if (points.size() < 3) return nullptr;
  auto arc = std::make_unique<model::CArc>();
  if (!arc->setThroughPoints(points[0], points[1], points[2])) return nullptr;
  return arc;
}

void Arc3PCommand::commit(const std::vector<model::Point3>& points) {
  drawingWithLayer(p_).drawArc3P(points[0], points[1], points[2]);
}

// --- Circle (centre, radius) ------------------------------------------------------------

CircleCenterRadiusCommand::CircleCenterRadiusCommand(CommandProcessor& processor)
    : FixedPointsCommand(processor, {{"CCirclePrompt1", "Center point of circle", InputMode::Point},
                                     {"CCirclePrompt2", "Radius of circle", InputMode::PointOrNumber}}) {}

void CircleCenterRadiusCommand::number(double value) {
  if (step() != 1) return;
  // The radius is typed in the display unit, like the points.
  const double radius = std::fabs(value) * p_.document().graph().pixelsPerUnit();
  const model::Point3 centre = points()[0];
  accept(model::Point3{centre.x + radius, centre.y, 0.0});
}

std::unique_ptr<model::CEntity> CircleCenterRadiusCommand::build(const std::vector<model::Point3>& points) const {
  if (points.size() < 2) return nullptr;
  const double radius = model::distance(points[0], points[1]);
  if (radius < model::kTolerance) return nullptr;
  return std::make_unique<model::CCircle>(points[0], radius);
}

void CircleCenterRadiusCommand::commit(const std::vector<model::Point3>& points) {
  const double radius = model::distance(points[0], points[1]);
  if (radius < model::kTolerance) return;  // a circle of no size is no drawing
  drawingWithLayer(p_).drawCircle(points[0], radius);
}

// --- Arc (centre, start, end) -------------------------------------------------------------

ArcCenterStartEndCommand::ArcCenterStartEndCommand(CommandProcessor& processor)
    : FixedPointsCommand(processor, {{"CArcPrompt1", "Center of arc", InputMode::Point},
                                     {"CArcPrompt2", "Start point of arc", InputMode::Point},
                                     {"CArcPrompt3", "End point(or angle) of arc", InputMode::PointOrNumber}}) {}

void ArcCenterStartEndCommand::number(double value) {
  if (step() != 2) return;
  // The end only gives a direction: the angle in degrees seen from the centre.
  const double radians = value * std::numbers::pi / 180.0;
  const model::Point3 centre = points()[0];
  accept(model::Point3{centre.x + std::cos(radians), centre.y + std::sin(radians), 0.0});
}

std::unique_ptr<model::CEntity> ArcCenterStartEndCommand::build(const std::vector<model::Point3>& points) const {
  if (points.size() == 2) {
    const double radius = model::distance(points[0], points[1]);
    if (radius < model::kTolerance) return nullptr;
    return std::make_unique<model::CCircle>(points[0], radius);
  }
  if (points.size() < 3) return nullptr;
  const model::Point3& c = points[0];
  const double radius = model::distance(c, points[1]);
  if (radius < model::kTolerance || model::distance(c, points[2]) < model::kTolerance) return nullptr;
  return std::make_unique<model::CArc>(c, radius, std::atan2(points[1].y - c.y, points[1].x - c.x),
                                       std::atan2(points[2].y - c.y, points[2].x - c.x));
}

void ArcCenterStartEndCommand::commit(const std::vector<model::Point3>& points) {
  drawingWithLayer(p_).drawArcCSE(points[0], points[1], points[2]);
}

// --- Circle (3 points) ----------------------------------------------------------------------

Circle3PCommand::Circle3PCommand(CommandProcessor& processor)
    : FixedPointsCommand(processor, {{"3PCirclePrompt1", "First point of circle", InputMode::Point},
                                     {"3PCirclePrompt2", "Second point of circle", InputMode::Point},
                                     {"3PCirclePrompt3", "Third point of circle", InputMode::Point}}) {}

std::unique_ptr<model::CEntity> Circle3PCommand::build(const std::vector<model::Point3>& points) const {
  if (points.size() < 3) return nullptr;
  const auto circle = model::circleThrough(points[0], points[1], points[2]);
  if (!circle || circle->radius < model::kTolerance) return nullptr;
  return std::make_unique<model::CCircle>(circle->centre, circle->radius);
}

void Circle3PCommand::commit(const std::vector<model::Point3>& points) {
  drawingWithLayer(p_).drawCircle3P(points[0], points[1], points[2]);
}

// --- Solid triangle ---------------------------------------------------------------------------

SolidTriangleCommand::SolidTriangleCommand(CommandProcessor& processor)
    : FixedPointsCommand(processor, {{"SolidPrompt1", "First point of triangle", InputMode::Point},
                                     {"SolidPrompt2", "Second point of triangle", InputMode::Point},
                                     {"SolidPrompt3", "Third point of triangle", InputMode::Point}}) {}

std::unique_ptr<model::CEntity> SolidTriangleCommand::build(const std::vector<model::Point3>& points) const {
  if (points.size() < 3) return nullptr;
  return model::CSolid::fromThreePoints(points[0], points[1], points[2]);
}

void SolidTriangleCommand::commit(const std::vector<model::Point3>& points) {
  drawingWithLayer(p_).drawSolid(points[0], points[1], points[2]);
}

}  // namespace quillon::editor
