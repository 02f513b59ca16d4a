#include <gtest/gtest.h>

#include <numbers>

#include "editor/commands/view_commands.h"
#include "editor_fixture.h"
#include "model/arc.h"
#include "model/circle.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/solid.h"
#include "settings/number_text.h"

namespace quillon::editor {
namespace {

using test::EditorFixture;

TEST(LineCommand, LinesChainFromClicksAndTypedPointsUntilEnter) {
  EditorFixture f;
  f.processor.startCommand(CommandId::Line);
  EXPECT_EQ(f.processor.commandText(), "Command : Draw lines");
  EXPECT_EQ(f.processor.prompt(), "First point of line");
  EXPECT_EQ(f.processor.inputMode(), InputMode::Point);
  f.click(10, 20);
  EXPECT_EQ(f.processor.prompt(), "Second point of line");
  EXPECT_TRUE(f.type("@30,0"));
  EXPECT_TRUE(f.type("40,60"));
  f.processor.enterKey();
  EXPECT_EQ(f.processor.prompt(), "First point of line");

  const model::CGraph& graph = f.document.graph();
  ASSERT_NE(graph.currentLayer(), nullptr);
  EXPECT_EQ(graph.totalCount(), 2u);
  ASSERT_EQ(graph.undo.size(), 2u);
  EXPECT_EQ(graph.undo.step(0).name(), "Draw Line");
  const auto* first = dynamic_cast<const model::CLine*>(graph.currentLayer()->first());
  ASSERT_NE(first, nullptr);
  EXPECT_DOUBLE_EQ(first->getStartPoint().x, 10.0);
  EXPECT_DOUBLE_EQ(first->getStartPoint().y, 20.0);
  EXPECT_DOUBLE_EQ(first->getEndPoint().x, 40.0);
  EXPECT_DOUBLE_EQ(first->getEndPoint().y, 20.0);
}

const model::CEntity* lastEntity(const model::CGraph& graph) {
  const model::CEntity* e = graph.currentLayer()->first();
  while (e != nullptr && e->next() != nullptr) e = e->next();
  return e;
}

std::vector<std::string> undoNames(const model::CGraph& graph) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < graph.undo.size(); ++i) names.push_back(graph.undo.step(i).name());
  return names;
}

TEST(PolylineCommand, EnterEndsOpenCloseEndsClosedEachOneStepWithCurrentWidth) {
  EditorFixture f;
  model::CGraph& graph = f.document.graph();
  graph.currentWidth = 2.5;
  f.processor.startCommand(CommandId::PolyLine);
  EXPECT_EQ(f.processor.prompt(), "First point of Polyline");
  f.click(10, 10);
  f.click(10, 10);  // a repeated point is dropped
  f.click(50, 10);
  EXPECT_TRUE(f.type("@0,40"));
  EXPECT_EQ(f.processor.prompt(), "Next point of Polyline");
  EXPECT_NE(graph.tempPolyline(), nullptr);
  EXPECT_EQ(graph.totalCount(), 0u);
  f.processor.enterKey();
  EXPECT_EQ(graph.tempPolyline(), nullptr);
  const auto* open = dynamic_cast<const model::CPolyLine*>(lastEntity(graph));
  ASSERT_NE(open, nullptr);
  EXPECT_FALSE(open->isClosed());
  ASSERT_EQ(open->vertices().size(), 3u);
  EXPECT_DOUBLE_EQ(open->vertices()[2].y, 50.0);
  for (const auto& v : open->vertices()) {
    EXPECT_DOUBLE_EQ(v.startWidth, 2.5);
    EXPECT_DOUBLE_EQ(v.endWidth, 2.5);
  }
  EXPECT_EQ(f.processor.prompt(), "First point of Polyline");

  f.click(100, 100);
  f.click(150, 100);
  f.click(150, 150);
  f.processor.sendEvent(EventCode::Close);
  const auto* closed = dynamic_cast<const model::CPolyLine*>(lastEntity(graph));
  ASSERT_NE(closed, nullptr);
  EXPECT_TRUE(closed->isClosed());
  EXPECT_EQ(undoNames(graph), (std::vector<std::string>{"Draw PolyLine", "Draw PolyLine"}));

  // Cancelling mid-way leaves nothing behind.
  f.click(1, 1);
  f.click(2, 2);
  f.processor.cancelCommand();
  EXPECT_EQ(graph.tempPolyline(), nullptr);
  EXPECT_EQ(graph.totalCount(), 2u);
  graph.undo.undo(graph);
  EXPECT_EQ(graph.totalCount(), 1u);
  graph.undo.redo(graph);
  EXPECT_EQ(graph.totalCount(), 2u);
}

TEST(DrawCommands, ArcsCirclesAndSolidsFromClicksAndTypedValues) {
  EditorFixture f;
  model::CGraph& graph = f.document.graph();

  f.processor.startCommand(CommandId::CircleCenterRadius);
  f.click(100, 100);
  EXPECT_EQ(f.processor.inputMode(), InputMode::PointOrNumber);
  EXPECT_EQ(f.processor.prompt(), "Radius of circle");
  EXPECT_TRUE(f.type("30"));
  const auto* circle = dynamic_cast<const model::CCircle*>(lastEntity(graph));
  ASSERT_NE(circle, nullptr);
  EXPECT_DOUBLE_EQ(circle->radius(), 30.0);
  EXPECT_EQ(f.processor.prompt(), "Center point of circle");

  f.processor.startCommand(CommandId::ArcCenterStartEnd);
  f.click(200, 100);
  f.click(240, 100);
  EXPECT_EQ(f.processor.prompt(), "End point(or angle) of arc");
  EXPECT_TRUE(f.type("90"));
  const auto* arc = dynamic_cast<const model::CArc*>(lastEntity(graph));
  ASSERT_NE(arc, nullptr);
  EXPECT_DOUBLE_EQ(arc->radius(), 40.0);
  EXPECT_NEAR(arc->startAngle(), 0.0, 1e-12);
  EXPECT_NEAR(arc->endAngle(), std::numbers::pi / 2, 1e-12);

  f.processor.startCommand(CommandId::Arc3P);
  f.click(0, 50);
  f.processor.mouseMove(EditorFixture::pixel(50, 100), false);
  EXPECT_EQ(f.processor.rubberBand().kind, RubberBand::Kind::Segment);
  f.click(50, 100);
  f.processor.mouseMove(EditorFixture::pixel(100, 50), false);
  EXPECT_NE(f.processor.preview(), nullptr);  // the arc at the cursor
  f.click(100, 50);
  EXPECT_EQ(f.processor.preview(), nullptr);
  arc = dynamic_cast<const model::CArc*>(lastEntity(graph));
  ASSERT_NE(arc, nullptr);
  EXPECT_NEAR(arc->centre().x, 50.0, 1e-9);
  EXPECT_NEAR(arc->centre().y, 50.0, 1e-9);

  f.processor.startCommand(CommandId::Circle3P);
  f.click(300, 200);
  f.click(340, 240);
  f.click(380, 200);
  circle = dynamic_cast<const model::CCircle*>(lastEntity(graph));
  ASSERT_NE(circle, nullptr);
  EXPECT_NEAR(circle->radius(), 40.0, 1e-9);

  // Collinear points give no circle and no step.
  const std::size_t steps = graph.undo.size();
  f.click(0, 0);
  f.click(10, 10);
  f.click(20, 20);
  EXPECT_EQ(graph.undo.size(), steps);

  f.processor.startCommand(CommandId::SolidTriangle);
  f.click(10, 200);
  f.click(60, 200);
  f.click(30, 250);
  EXPECT_NE(dynamic_cast<const model::CSolid*>(lastEntity(graph)), nullptr);

  EXPECT_EQ(undoNames(graph), (std::vector<std::string>{"Draw Circle", "Draw Arc", "Draw Arc", "Draw Circle",
                                                        "Draw Solid"}));
  for (int i = 0; i < 5; ++i) graph.undo.undo(graph);
  EXPECT_EQ(graph.totalCount(), 0u);
  for (int i = 0; i < 5; ++i) graph.undo.redo(graph);
  EXPECT_EQ(graph.totalCount(), 5u);
}

TEST(GripCommand, ClickingAGripOfTheSelectionMovesItAsOneStep) {
  EditorFixture f;
  model::CGraph& graph = f.document.graph();
  graph.setCurrentLayerByName("0");
  graph.addLine({50.0, 50.0, 0.0}, {150.0, 50.0, 0.0});
  // A click on the line with no command selects it.
  f.click(100, 51);
  ASSERT_EQ(graph.selection().size(), 1u);
  EXPECT_EQ(f.processor.currentCommand(), CommandId::SelectVector);
  f.processor.cancelCommand();
  // A click on its end grip starts the grip move.
  f.click(151, 49);
  EXPECT_EQ(f.processor.currentCommand(), CommandId::MoveGripPoint);
  EXPECT_EQ(f.processor.commandText(), "Command : Move Grip Point");
  EXPECT_EQ(f.processor.prompt(), "New position of the grip point");
  f.processor.mouseMove(EditorFixture::pixel(150, 120), false);
  f.click(150, 120);
  EXPECT_EQ(f.processor.currentCommand(), CommandId::None);
  const auto& line = dynamic_cast<const model::CLine&>(*graph.currentLayer()->first());
  EXPECT_DOUBLE_EQ(line.getEndPoint().x, 150.0);  // ortho is off; the raw point
  EXPECT_DOUBLE_EQ(line.getEndPoint().y, 120.0);
  EXPECT_EQ(undoNames(graph), std::vector<std::string>{"Move Grip Point"});
  graph.undo.undo(graph);
  EXPECT_DOUBLE_EQ(dynamic_cast<const model::CLine&>(*graph.currentLayer()->first()).getEndPoint().y, 50.0);
  // Escape without a command clears the selection.
  f.processor.cancelCommand();
  EXPECT_TRUE(graph.selection().empty());
}

TEST(GripCommand, DraggingAGripMovesItOnReleaseAsOneStep) {
  EditorFixture f;
  model::CGraph& graph = f.document.graph();
  graph.setCurrentLayerByName("0");
  graph.addLine({50.0, 50.0, 0.0}, {150.0, 50.0, 0.0});
  f.click(100, 51);
  f.processor.cancelCommand();
  ASSERT_EQ(graph.selection().size(), 1u);
  f.processor.mousePress(EditorFixture::pixel(150, 50));
  EXPECT_EQ(f.processor.currentCommand(), CommandId::MoveGripPoint);
  f.processor.mouseMove(EditorFixture::pixel(150, 80), true);
  f.processor.mouseMove(EditorFixture::pixel(150, 110), true);
  f.processor.mouseRelease(EditorFixture::pixel(150, 110));
  EXPECT_EQ(f.processor.currentCommand(), CommandId::None);
  const auto& line = dynamic_cast<const model::CLine&>(*graph.currentLayer()->first());
  EXPECT_DOUBLE_EQ(line.getEndPoint().y, 110.0);
  EXPECT_DOUBLE_EQ(line.getStartPoint().y, 50.0);
  EXPECT_EQ(undoNames(graph), std::vector<std::string>{"Move Grip Point"});
}

TEST(DistanceCommand, ReportUsesTheUnitAndTheDecimalSeparator) {
  EditorFixture f;
  raster::CRaster raster;
  ASSERT_TRUE(raster.create(10, 10, 1));
  ASSERT_TRUE(raster.setResolution(10000));  // 10 pixels per mm
  raster.moveTo(f.document.raster());
  f.document.graph().unit = model::Unit::Mm;
  const settings::Separators saved = settings::LocaleSeparators();
  settings::SetLocaleSeparators({',', ';'});
  f.processor.startCommand(CommandId::Distance);
  f.click(10, 20);
  EXPECT_EQ(f.processor.prompt(), "End point of distance");
  f.click(40, 60);
  settings::SetLocaleSeparators(saved);
  ASSERT_EQ(f.services.messages.size(), 1u);
  EXPECT_EQ(f.services.messages[0],
            "FirstPoint:  x=1,000 y=2,000 mm\n"
            "SecondPoint: x=4,000 y=6,000 mm\n"
            "DeltaX: 3,000  DeltaY: 4,000 mm\n"
            "Distance: 5,000 mm\n"
            "Angle:    53,1301");
  EXPECT_EQ(f.processor.prompt(), "Start point of distance");
  // A zero-length measure: distance 0, angle 0, units without a name.
  model::CGraph empty;
  EXPECT_EQ(MeasureReport(empty, {3.0, 4.0, 0.0}, {3.0, 4.0, 0.0}, '.'),
            "FirstPoint:  x=3.000 y=4.000 \nSecondPoint: x=3.000 y=4.000 \nDeltaX: 0.000  DeltaY: 0.000 \n"
            "Distance: 0.000 \nAngle:    0.0000");
}

}  // namespace
}  // namespace quillon::editor
