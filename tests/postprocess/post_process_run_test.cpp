#include "postprocess/post_process_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "model/circle.h"
#include "postprocess/stage_recorder.h"
#include "platform/key_value_store.h"
#include "postprocess/traced_drawing.h"
#include "settings/job_params.h"
#include "trace/progress_model.h"
#include "trace/trace_worker.h"

namespace quillon::postprocess {
namespace {

// A sheet with strokes that survive every stage: a long bar, a slanted
// line, a circle and a stroke 5 pixels wide.
void DrawSheet(raster::CRaster& raster) {
  ASSERT_TRUE(test::BlankRaster(raster, 220, 160));
  test::DrawStroke(raster, 20, 20, 200, 20, 3);
  test::DrawStroke(raster, 30, 60, 120, 140, 2);
  test::DrawRing(raster, 160, 100, 35, 3);
  test::DrawStroke(raster, 20, 150, 100, 150, 5);
}

std::vector<std::string> begins(const std::vector<std::string>& events) {
  std::vector<std::string> out;
  for (const std::string& e : events)
    if (e.rfind("begin ", 0) == 0) out.push_back(e.substr(6));
  return out;
}

settings::WidthSeries PixelSeries() {
  settings::WidthSeries series;
  series.SetName("px");
  series.SetUnit(settings::WidthSeries::kUnitPixel);
  for (double w : {1.0, 2.0, 3.0, 5.0}) series.Insert(w);
  return series;
}

// Without refinement the ends are where thinning leaves the skeleton: a
// bar 3 rows high loses one column at its left end and two at its right, a
// bar 4 rows high two at each end, and its centre row is the third.
// Refined, the ends move out towards the bar's ends.
TEST(PostProcessRun, PlainTraceEndsWhereTheSkeletonEnds) {
  struct Bar {
    int top, rows;         // rows top .. top + rows - 1, columns 1 .. 35
    double left, right, y;  // the traced ends, raster columns and row
  };
  const Bar bars[] = {{13, 3, 2, 33, 14}, {12, 4, 3, 33, 14}};
  settings::TraceOption bare;
  ASSERT_TRUE(settings::ApplyJobParameters(
      bare, {"Connect=0", "Delete=0", "Circle=0", "Width=0", "Force=0"}, platform::MemoryKeyValueStore()));
  for (const Bar& bar : bars) {
    for (const double tolerance : {0.0, 1.5, 2.0}) {
      for (const bool defaults : {true, false}) {
        for (const bool refine : {false, true}) {
          settings::TraceOption options = defaults ? settings::TraceOption{} : bare;
          options.d_MaxDis = tolerance;
          options.b_Refine = refine;
          model::CGraph drawing;
          ASSERT_TRUE(test::BlankRaster(drawing.raster(), 40, 30));
          for (int y = bar.top; y < bar.top + bar.rows; ++y)
            for (int x = 1; x <= 35; ++x) drawing.raster().setBit(x, y, true);
          ASSERT_TRUE(test::TraceAndProcess(drawing, options));
          const std::string what = "rows " + std::to_string(bar.rows) + " tolerance " + std::to_string(tolerance) +
                                   (defaults ? " defaults" : " bare") + (refine ? " refined" : "");
          const model::CLayer& layer = *drawing.currentLayer();
          ASSERT_EQ(layer.count(), 1u) << what;
          ASSERT_EQ(layer.first()->type(), model::EntityType::PolyLine) << what;
          const auto& v = static_cast<const model::CPolyLine&>(*layer.first()).vertices();
          const model::Point3 left = v.front().x < v.back().x ? v.front().point() : v.back().point();
          const model::Point3 right = v.front().x < v.back().x ? v.back().point() : v.front().point();
          const double y = 29 - bar.y;
          if (!refine) {
            EXPECT_EQ(left.x, bar.left) << what;
            EXPECT_EQ(right.x, bar.right) << what;
            EXPECT_EQ(left.y, y) << what;
            EXPECT_EQ(right.y, y) << what;
          } else {
            // The right end, cut back two columns, moves out to its cap's centre.
            EXPECT_LE(left.x, bar.left) << what;
            EXPECT_GE(right.x, bar.right + 0.25) << what;
          }
        }
      }
    }
  }
}

TEST(PostProcessRun, CentreLineTraceRunsTheWholeChainInOrder) {
  model::CGraph drawing;
  DrawSheet(drawing.raster());
  settings::TraceOption options;
  options.s_WidthSeries = PixelSeries();
  options.b_Refine = true;  // the traced ring's seam step passes only a refined circle fit
  test::StageRecorder window;
  trace::TraceWorker worker(drawing, options, window);
  worker.run();
  EXPECT_EQ(window.events.back(), "finished 0");
  EXPECT_EQ(begins(window.events),
            (std::vector<std::string>{"Thin first step", "Thin second step", "Trace center initialize",
                                      "Trace center line", "Generate polyline", "Calculate line width",
                                      "Connect line", "Recognize circle", "Straighten line", "Adjust angle",
                                      "Round width"}));
  // Each stage ends before the next begins.
  int open = 0;
  for (const std::string& e : window.events) {
    if (e.rfind("begin ", 0) == 0) {
      EXPECT_EQ(open++, 0) << e;
    }
    if (e == "end") {
      EXPECT_EQ(--open, 0);
    }
  }
  const model::CLayer& layer = *drawing.currentLayer();
  int circles = 0;
  for (const auto& e : layer) {
    if (e->type() == model::EntityType::Circle) ++circles;
    const double width = e->getWidth();
    const bool inSeries = std::fabs(width - 1) < 1e-9 || std::fabs(width - 2) < 1e-9 ||
                          std::fabs(width - 3) < 1e-9 || std::fabs(width - 5) < 1e-9;
    EXPECT_TRUE(inSeries) << "width " << width;
  }
  EXPECT_EQ(circles, 1);
}

// The trace driver's stage total is the number of stages a run begins, for
// every combination of the switches.
TEST(PostProcessRun, StageTotalMatchesTheStagesBegunForEverySwitchCombination) {
  for (int bits = 0; bits < 64; ++bits) {
    settings::TraceOption options;
    options.b_Connect = bits & 1;
    options.b_RecogniseCirArc = bits & 2;
    options.d_MaxDis = (bits & 4) ? 2.0 : 0.0;
    options.b_ForceOrtho = bits & 8;
    options.b_CalcWidth = bits & 16;
    if (bits & 32) options.s_WidthSeries = PixelSeries();
    options.b_DelLine = (bits & 5) == 5;
    model::CGraph drawing;
    DrawSheet(drawing.raster());
    test::StageRecorder window;
    trace::TraceWorker worker(drawing, options, window);
    worker.run();
    ASSERT_EQ(window.events.back(), "finished 0") << bits;
    EXPECT_EQ(static_cast<int>(begins(window.events).size()), trace::StageTotal(options)) << "switches " << bits;
    EXPECT_GT(drawing.currentLayer()->count(), 0u);
  }
}

TEST(PostProcessRun, WithoutLayersOrEntitiesNoStageRuns) {
  model::CGraph empty;
  test::StageRecorder sink;
  EXPECT_TRUE(RunPostProcessing(empty, settings::TraceOption(), &sink));
  empty.clearForTrace();
  EXPECT_TRUE(RunPostProcessing(empty, settings::TraceOption(), &sink));
  EXPECT_TRUE(sink.events.empty());
}

TEST(PostProcessRun, WidthsAreZeroWhenWidthCalculationIsOffAndUnroundedWithoutSeries) {
  model::CGraph drawing;
  DrawSheet(drawing.raster());
  settings::TraceOption options;
  options.b_CalcWidth = false;
  test::StageRecorder sink;
  ASSERT_TRUE(test::TraceAndProcess(drawing, options, &sink));
  EXPECT_EQ(begins(sink.events).front(), "Calculate line width");
  for (const auto& e : *drawing.currentLayer()) {
    EXPECT_EQ(e->getWidth(), 0.0);
    if (e->type() != model::EntityType::PolyLine) continue;
    for (const auto& v : static_cast<const model::CPolyLine&>(*e).vertices()) {
      EXPECT_EQ(v.startWidth, 0.0);
    }
  }

  options.b_CalcWidth = true;  // series empty
  test::StageRecorder unrounded;
  ASSERT_TRUE(test::TraceAndProcess(drawing, options, &unrounded));
  EXPECT_NE(begins(unrounded.events).back(), "Round width");
  bool someWidth = false;
  for (const auto& e : *drawing.currentLayer()) someWidth |= e->getWidth() > 0.0;
  EXPECT_TRUE(someWidth);
}

TEST(PostProcessRun, CancelEndsTheRunInsideTheStage) {
  model::CGraph drawing;
  DrawSheet(drawing.raster());
  settings::TraceOption options;
  test::StageRecorder sink;
  sink.cancelAfter = 3;
  EXPECT_FALSE(test::TraceAndProcess(drawing, options, &sink));
  EXPECT_EQ(sink.events.back(), "finished 10");
  EXPECT_EQ(begins(sink.events), std::vector<std::string>{"Calculate line width"});
}

TEST(PostProcessRun, RunClearsTheSelectionAndWorksOnTheFirstLayer) {
  model::CGraph drawing;
  DrawSheet(drawing.raster());
  drawing.clearForTrace();
  auto* speck = drawing.addEntity(std::make_unique<model::CPolyLine>());
  static_cast<model::CPolyLine*>(speck)->appendVertex(5, 5);
  static_cast<model::CPolyLine*>(speck)->appendVertex(6, 5);
  drawing.select(speck);
  auto other = std::make_unique<model::CLayer>("Other");
  model::CLayer* otherLayer = drawing.addLayer(std::move(other));  // now first and current
  otherLayer->append(std::make_unique<model::CCircle>(model::Point3{10, 10}, 3));
  drawing.setCurrentLayerByName("Trace");
  ASSERT_TRUE(RunPostProcessing(drawing, settings::TraceOption(), nullptr));
  EXPECT_TRUE(drawing.selection().empty());
  EXPECT_EQ(drawing.currentLayer(), otherLayer);
  EXPECT_EQ(drawing.findLayer("Trace")->count(), 1u);  // untouched: the speck is still there
  EXPECT_TRUE(drawing.modified());
}

}  // namespace
}  // namespace quillon::postprocess
