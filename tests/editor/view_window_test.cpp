#include <gtest/gtest.h>

#include "editor/view_window.h"
#include "editor_fixture.h"
#include "model/graph.h"

namespace quillon::editor {
namespace {

TEST(ViewWindow, FitWidensTheAxisThatNeedsFewerUnitsAboutItsCentre) {
  ViewWindow view;
  view.SetClient(0, 0, 200, 100);
  view.SetWindow(0, 0, 100, 100);
  EXPECT_DOUBLE_EQ(view.xMin(), -50.0);
  EXPECT_DOUBLE_EQ(view.xMax(), 150.0);
  EXPECT_DOUBLE_EQ(view.yMin(), 0.0);
  EXPECT_DOUBLE_EQ(view.yMax(), 100.0);
  EXPECT_DOUBLE_EQ(view.unitsPerPixel(), 1.0);
}

TEST(ViewWindow, EmptyClientCountsAsThirtyByFortyPixels) {
  ViewWindow view;
  EXPECT_EQ(view.clientWidth(), 30);
  EXPECT_EQ(view.clientHeight(), 40);
  view.SetWindow(0, 0, 30, 30);
  EXPECT_DOUBLE_EQ(view.worldHeight(), 40.0);
}

TEST(ViewWindow, ScreenRowsGrowDownwardsAndRoundTrip) {
  ViewWindow view;
  view.SetClient(0, 0, 400, 300);
  view.SetWindow(0, 0, 800, 600);  // 2 units per pixel
  const ScreenPoint pixel = view.toPixel({100.0, 500.0, 0.0});
  EXPECT_EQ(pixel, (ScreenPoint{50, 50}));
  const model::Point3 back = view.fromPixel(pixel);
  EXPECT_DOUBLE_EQ(back.x, 100.0);
  EXPECT_DOUBLE_EQ(back.y, 500.0);
}

TEST(ViewWindow, ZoomInThenOutAtOnePixelGivesTheWindowBack) {
  ViewWindow view;
  view.SetClient(0, 0, 640, 480);
  view.SetWindow(-10, 5, 630, 485);
  const WindowBox before = view.window();
  const ScreenPoint pixel{123, 321};
  const model::Point3 p = view.fromPixel(pixel);
  view.zoomIn(p);
  EXPECT_NEAR(view.worldWidth(), 640.0 * 0.8, 1e-4);
  const model::Point3 still = view.fromPixel(pixel);
  EXPECT_NEAR(still.x, p.x, 1e-6);
  EXPECT_NEAR(still.y, p.y, 1e-6);
  view.zoomOut(view.fromPixel(pixel));
  EXPECT_NEAR(view.xMin(), before.xMin, 1e-4);
  EXPECT_NEAR(view.xMax(), before.xMax, 1e-4);
  EXPECT_NEAR(view.yMin(), before.yMin, 1e-4);
  EXPECT_NEAR(view.yMax(), before.yMax, 1e-4);
  EXPECT_EQ(view.previousCount(), 0u);
}

TEST(ViewWindow, ZoomFitOfAnEmptyDrawingUsesTheFixedMargins) {
  ViewWindow view;
  view.SetClient(0, 0, 240, 180);
  model::CGraph graph;
  view.zoomFit(graph);
  EXPECT_DOUBLE_EQ(view.xMin(), -12.0);
  EXPECT_DOUBLE_EQ(view.xMax(), 12.0);
  EXPECT_DOUBLE_EQ(view.yMin(), -9.0);
  EXPECT_DOUBLE_EQ(view.yMax(), 9.0);
  EXPECT_EQ(view.previousCount(), 1u);
  EXPECT_TRUE(view.zoomPrevious());
  EXPECT_FALSE(view.zoomPrevious());
}

TEST(ViewWindow, WheelKeepsThePointUnderTheCursorAndPanFollowsTheMouse) {
  ViewWindow view;
  view.SetClient(0, 0, 300, 200);
  view.SetWindow(0, 0, 300, 200);
  const ScreenPoint cursor{75, 40};
  const model::Point3 under = view.fromPixel(cursor);
  view.zoomAt(cursor, 2.0);
  EXPECT_NEAR(view.worldWidth(), 150.0, 1e-9);
  const model::Point3 still = view.fromPixel(cursor);
  EXPECT_NEAR(still.x, under.x, 1e-9);
  EXPECT_NEAR(still.y, under.y, 1e-9);
  view.zoomAt(cursor, 0.0);  // ignored
  EXPECT_NEAR(view.worldWidth(), 150.0, 1e-9);

  // Dragging 10 pixels right and 20 down moves the drawing with the mouse.
  const model::Point3 grabbed = view.fromPixel({100, 100});
  view.pan(10, 20);
  const model::Point3 moved = view.fromPixel({110, 120});
  EXPECT_NEAR(moved.x, grabbed.x, 1e-9);
  EXPECT_NEAR(moved.y, grabbed.y, 1e-9);
}

TEST(ZoomCommands, WindowPreviousAndClicksThroughTheProcessor) {
  test::EditorFixture f;
  const WindowBox start = f.view.window();
  f.processor.startCommand(CommandId::ZoomWindow);
  EXPECT_EQ(f.processor.commandText(), "Command : Zoom by window");
  EXPECT_EQ(f.processor.prompt(), "First corner");
  f.click(100, 100);
  EXPECT_EQ(f.processor.prompt(), "Other corner");
  f.processor.mouseMove(test::EditorFixture::pixel(140, 130), false);
  EXPECT_EQ(f.processor.rubberBand().kind, RubberBand::Kind::Box);
  f.click(180, 160);
  // 80 × 60 units in a 400 × 300 client: exactly a fifth.
  EXPECT_DOUBLE_EQ(f.view.xMin(), 100.0);
  EXPECT_DOUBLE_EQ(f.view.xMax(), 180.0);
  EXPECT_DOUBLE_EQ(f.view.yMin(), 100.0);
  EXPECT_DOUBLE_EQ(f.view.yMax(), 160.0);
  EXPECT_EQ(f.processor.prompt(), "First corner");  // ready for another window
  f.processor.zoomPrevious();
  EXPECT_EQ(f.view.window(), start);
  f.processor.zoomPrevious();  // empty stack: nothing
  EXPECT_EQ(f.view.window(), start);

  // Zoom In then Zoom Out at the same pixel gives the window back.
  f.processor.startCommand(CommandId::ZoomIn);
  EXPECT_EQ(f.processor.inputMode(), InputMode::None);
  f.click(123, 77);
  EXPECT_NEAR(f.view.worldWidth(), 320.0, 1e-4);
  f.processor.startCommand(CommandId::ZoomOut);
  f.processor.mousePress({123, 300 - 77});
  EXPECT_NEAR(f.view.xMin(), start.xMin, 1e-4);
  EXPECT_NEAR(f.view.xMax(), start.xMax, 1e-4);
  EXPECT_NEAR(f.view.yMin(), start.yMin, 1e-4);
  EXPECT_NEAR(f.view.yMax(), start.yMax, 1e-4);

  f.processor.actualSize();
  EXPECT_DOUBLE_EQ(f.view.unitsPerPixel(), 1.0);
  EXPECT_GT(f.services.repaints, 0);
}

TEST(ZoomCommands, PanDragsTheViewWithoutSnapping) {
  test::EditorFixture f;
  f.document.graph().aids.gridOn = 1;
  f.processor.startCommand(CommandId::Pan);
  f.processor.mousePress({200, 150});
  f.processor.mouseMove({203, 150}, true);
  f.processor.mouseRelease({210, 140});
  EXPECT_DOUBLE_EQ(f.view.xMin(), -10.0);
  EXPECT_DOUBLE_EQ(f.view.yMin(), -10.0);
}

}  // namespace
}  // namespace quillon::editor
