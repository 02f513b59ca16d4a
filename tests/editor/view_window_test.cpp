#include <gtest/gtest.h>

#include "editor/view_window.h"
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

}  // namespace
}  // namespace quillon::editor
