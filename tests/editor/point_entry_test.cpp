// Point entry through the processor: typed input under the user's
// separators, relative points, ortho, grid and object snap, status texts,
// keyboard focus.

#include <gtest/gtest.h>

#include "editor_fixture.h"
#include "model/line.h"
#include "settings/number_text.h"

namespace quillon::editor {
namespace {

using test::EditorFixture;

// Restores the process-wide separators after a test that changes them.
class SeparatorGuard {
 public:
  explicit SeparatorGuard(settings::Separators s) : saved_(settings::LocaleSeparators()) {
    settings::SetLocaleSeparators(s);
  }
  ~SeparatorGuard() { settings::SetLocaleSeparators(saved_); }

 private:
  settings::Separators saved_;
};

const model::CLine& lastLine(const model::CGraph& graph) {
  const model::CEntity* e = graph.currentLayer()->first();
  while (e->next() != nullptr) e = e->next();
  return dynamic_cast<const model::CLine&>(*e);
}

void expectPoint(const model::Point3& p, double x, double y) {
  EXPECT_NEAR(p.x, x, 1e-9);
  EXPECT_NEAR(p.y, y, 1e-9);
}

TEST(PointEntry, CommaDecimalLocaleTypesPointsWithSemicolonsAndKeepsInvalidText) {
  SeparatorGuard guard({',', ';'});
  EditorFixture f;
  f.processor.startCommand(CommandId::Line);
  EXPECT_TRUE(f.type("1,5;2"));
  EXPECT_TRUE(f.type("@2,5;0"));
  const model::CLine& line = lastLine(f.document.graph());
  expectPoint(line.getStartPoint(), 1.5, 2.0);
  expectPoint(line.getEndPoint(), 4.0, 2.0);

  // "1.5,2" is no point here: the message, the text kept, nothing changes.
  EXPECT_FALSE(f.type("1.5,2"));
  EXPECT_FALSE(f.type("12"));
  EXPECT_EQ(f.services.messages, (std::vector<std::string>{"Invalid data !", "Invalid data !"}));
  EXPECT_EQ(f.processor.prompt(), "Second point of line");
  EXPECT_EQ(f.document.graph().totalCount(), 1u);
  // A polar point relative to the chain's end.
  EXPECT_TRUE(f.type("@2<90"));
  expectPoint(lastLine(f.document.graph()).getEndPoint(), 4.0, 4.0);
}

TEST(PointEntry, TypedPointsAreInTheDisplayUnit) {
  EditorFixture f;
  raster::CRaster raster;
  ASSERT_TRUE(raster.create(10, 10, 1));
  ASSERT_TRUE(raster.setResolution(11811));  // 300 dpi
  raster.moveTo(f.document.raster());
  f.document.graph().unit = model::Unit::Inch;
  f.processor.startCommand(CommandId::Line);
  EXPECT_TRUE(f.type("1,0"));
  EXPECT_TRUE(f.type("@0,0.5"));
  const model::CLine& line = lastLine(f.document.graph());
  expectPoint(line.getStartPoint(), 11811 * 0.0254, 0.0);
  expectPoint(line.getEndPoint(), 11811 * 0.0254, 11811 * 0.0254 * 0.5);
  EXPECT_EQ(f.processor.positionText(EditorFixture::pixel(300, 150)), "X: 1.000 Y: 0.500 Inch");
}

TEST(PointEntry, OrthoNeedsABasePointAndFollowsTheLargerPixelDelta) {
  EditorFixture f;
  f.document.graph().aids.orthoOn = 1;
  f.processor.startCommand(CommandId::Line);
  // No base point yet: the cursor as it is.
  f.click(13, 17);
  // Base (13, 17); the cursor mostly above it keeps the base's x.
  f.click(20, 80);
  expectPoint(lastLine(f.document.graph()).getEndPoint(), 13.0, 80.0);
  // Equal deltas keep the cursor's x (and the base's y).
  f.click(33, 100);
  expectPoint(lastLine(f.document.graph()).getEndPoint(), 33.0, 80.0);
  // Ortho does not apply to a typed point.
  EXPECT_TRUE(f.type("50,90"));
  expectPoint(lastLine(f.document.graph()).getEndPoint(), 50.0, 90.0);
}

TEST(PointEntry, OrthoWithTheGridKeepsTheLargerComponentOfTheGridVector) {
  EditorFixture f;
  model::CGraph& graph = f.document.graph();
  graph.aids.orthoOn = 1;
  graph.aids.gridOn = 1;
  f.processor.startCommand(CommandId::Line);
  f.click(10, 10);  // snaps to the grid point (0, 0)
  // The cursor (47, 60) snaps to (50, 50): equal components, x survives.
  f.click(47, 60);
  expectPoint(lastLine(graph).getStartPoint(), 0.0, 0.0);
  expectPoint(lastLine(graph).getEndPoint(), 50.0, 0.0);
  // (40, 80) from (50, 0) snaps to (50, 75): y survives.
  f.click(40, 80);
  expectPoint(lastLine(graph).getEndPoint(), 50.0, 75.0);
}

TEST(PointEntry, ObjectSnapWinsOverOrthoAndGrid) {
  EditorFixture f;
  model::CGraph& graph = f.document.graph();
  graph.setCurrentLayerByName("0");
  graph.addLine({100.0, 100.0, 0.0}, {200.0, 150.0, 0.0});
  graph.aids.osnapOn = 1;  // end point and centre
  graph.aids.orthoOn = 1;
  graph.aids.gridOn = 1;
  f.processor.startCommand(CommandId::Line);
  f.click(0, 0);
  // Three pixels from the end point: the end point, not an ortho or grid point.
  f.click(102, 97);
  expectPoint(lastLine(graph).getEndPoint(), 100.0, 100.0);
  // Out of the aperture, ortho rules again (grid vector (100, 125) from (100, 100)... y survives).
  EXPECT_EQ(f.processor.resolvePoint(EditorFixture::pixel(110, 130)).snap, -1);
  // Pan never snaps: it allows neither.
  f.processor.startCommand(CommandId::Pan);
  EXPECT_EQ(f.processor.resolvePoint(EditorFixture::pixel(102, 97)).snap, 0);
}

TEST(PointEntry, StatusTextsAndRelativeDisplay) {
  EditorFixture f;
  EXPECT_EQ(f.processor.commandText(), "No command");
  f.processor.startCommand(CommandId::Distance);
  EXPECT_EQ(f.processor.commandText(), "Command : Measure distance & angle");
  EXPECT_EQ(f.processor.positionText(EditorFixture::pixel(12, 34)), "X: 12.000 Y: 34.000");
  EXPECT_EQ(f.processor.relativeText(EditorFixture::pixel(12, 34)), "");
  f.click(10, 10);
  EXPECT_EQ(f.processor.relativeText(EditorFixture::pixel(7, 14)), "@-3.0000,4.0000");
  f.processor.setPolarDisplay(true);
  EXPECT_EQ(f.processor.relativeText(EditorFixture::pixel(10, 5)), "@5.0000<270.0000");
}

TEST(PointEntry, EventsAreIgnoredWithoutKeyboardFocus) {
  EditorFixture f;
  f.processor.startCommand(CommandId::Line);
  f.processor.setFocused(false);
  f.click(10, 10);
  EXPECT_FALSE(f.type("20,20"));
  f.processor.startCommand(CommandId::Circle3P);
  EXPECT_EQ(f.processor.currentCommand(), CommandId::Line);
  EXPECT_EQ(f.processor.step(), 0);
  f.processor.setFocused(true);
  f.click(10, 10);
  EXPECT_EQ(f.processor.step(), 1);
}

TEST(PointEntry, RubberBandFollowsTheCursorAndHidesWhenItLeaves) {
  EditorFixture f;
  f.processor.startCommand(CommandId::Line);
  f.click(10, 10);
  f.processor.mouseMove(EditorFixture::pixel(30, 40), false);
  const RubberBand& band = f.processor.rubberBand();
  ASSERT_EQ(band.kind, RubberBand::Kind::Segment);
  expectPoint(band.points[1], 30.0, 40.0);
  f.processor.mouseLeave();
  EXPECT_EQ(f.processor.rubberBand().kind, RubberBand::Kind::None);
  f.processor.mouseEnter();
  EXPECT_EQ(f.processor.rubberBand().kind, RubberBand::Kind::Segment);
  f.processor.cancelCommand();
  EXPECT_EQ(f.processor.rubberBand().kind, RubberBand::Kind::None);
  EXPECT_EQ(f.processor.currentCommand(), CommandId::None);
}

}  // namespace
}  // namespace quillon::editor
