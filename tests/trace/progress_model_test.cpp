#include "trace/progress_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "raster/raster.h"
#include "trace/thinning.h"
#include "trace/trace_result.h"

namespace quillon::trace {
namespace {

TEST(TraceProgressModel, ThinningStagesCountDownFromTheFirstValue) {
  TraceProgressModel model(7);
  model.stageBegin("THIN FIRST STEP");
  EXPECT_TRUE(model.thinningStage());
  EXPECT_EQ(model.counterText(), "1 / 7");
  EXPECT_EQ(model.barMaximum(), 100);
  model.progress(4000);
  EXPECT_EQ(model.barMaximum(), 4000);
  EXPECT_EQ(model.barPosition(), 100);
  model.progress(1000);
  EXPECT_EQ(model.barPosition(), 3000);
  model.progress(5000);  // more than the first: the bar stays in range
  EXPECT_EQ(model.barPosition(), 0);
  model.stageEnd();
  EXPECT_EQ(model.barPosition(), 4000);

  model.stageBegin("Trace center line");
  EXPECT_FALSE(model.thinningStage());
  EXPECT_EQ(model.barMaximum(), 100);
  EXPECT_EQ(model.barPosition(), 0);
  EXPECT_EQ(model.label(), "Trace center line");
  model.progress(42);
  EXPECT_EQ(model.barPosition(), 42);
  EXPECT_EQ(model.counterText(), "2 / 7");
}

// A solid square peels one ring per iteration: the estimate follows the
// share of the ink removed, not the bar's countdown, which hardly moves.
TEST(TraceProgressModel, ThinningShareFollowsTheInkRemovedFromASolidBlock) {
  TraceProgressModel model(10);
  model.stageBegin("Thin first step");
  const double total = 1000.0 * 1000.0;
  double removed = 0.0;
  double last = 0.0;
  for (int side = 1000; side > 2; side -= 2) {
    const int ring = side * side - (side - 2) * (side - 2);
    removed += ring;
    model.progress(ring);
    EXPECT_GE(model.stageFraction(), last);
    last = model.stageFraction();
    if (side == 500) {
      EXPECT_NEAR(model.stageFraction(), removed / total, 0.05);
    }
  }
  EXPECT_GT(last, 0.9);
  EXPECT_LT(last, 1.0);
  model.stageEnd();
  EXPECT_EQ(model.stageFraction(), 1.0);
  EXPECT_EQ(model.stageValues(), 499);
  model.stageBegin("Trace center line");
  model.progress(25);
  EXPECT_EQ(model.stageFraction(), 0.25);
}

// The real thinning of a large solid block moves the share many times, in
// step with its iterations.
TEST(TraceProgressModel, ThinningALargeBlockAdvancesTheShareOften) {
  raster::CRaster block;
  ASSERT_TRUE(block.create(600, 400, 1));
  block.fillBytes(0xFF);  // every pixel ink
  struct Relay final : platform::ProgressSink {
    TraceProgressModel model{10};
    std::vector<int> percents;
    void stageBegin(std::string_view text) override { model.stageBegin(text); }
    void progress(int value) override {
      model.progress(value);
      const int percent = static_cast<int>(100 * model.stageFraction());
      if (percents.empty() || percents.back() != percent) percents.push_back(percent);
    }
    void stageEnd() override { model.stageEnd(); }
    void finished(int) override {}
  } relay;
  ASSERT_TRUE(ThinFirstStep(block, &relay, 1));
  EXPECT_GT(relay.model.stageValues(), 100);  // one per iteration
  ASSERT_GE(relay.percents.size(), 20u);
  for (size_t i = 1; i < relay.percents.size(); ++i) EXPECT_GT(relay.percents[i], relay.percents[i - 1]);
  EXPECT_GE(relay.percents.back(), 90);
  EXPECT_EQ(relay.model.stageFraction(), 1.0);
}

TEST(StageTotal, CountsTheStagesEachMethodWillBegin) {
  settings::TraceOption options;
  options.i_AutoTraceWhat = settings::TraceMethod::CenterLine;
  options.b_Connect = false;
  options.b_RecogniseCirArc = false;
  options.d_MaxDis = 0.0;
  options.b_ForceOrtho = false;
  options.b_CalcWidth = true;
  options.s_WidthSeries = settings::WidthSeries();
  EXPECT_EQ(StageTotal(options), 6);
  options.b_Connect = true;
  options.b_RecogniseCirArc = true;
  options.d_MaxDis = 0.5;
  options.b_ForceOrtho = true;
  EXPECT_EQ(StageTotal(options), 10);
  options.s_WidthSeries.Insert(0.5);
  EXPECT_EQ(StageTotal(options), 11);
  options.b_CalcWidth = false;
  EXPECT_EQ(StageTotal(options), 10);

  options.i_AutoTraceWhat = settings::TraceMethod::Outline;
  options.Outline.b_RecogniseCirArc = false;
  options.Outline.b_Fill = false;
  EXPECT_EQ(StageTotal(options), 2);
  options.Outline.b_RecogniseCirArc = true;
  options.Outline.b_Fill = true;
  options.Outline.i_FillType = settings::FillType::Cross;
  EXPECT_EQ(StageTotal(options), 5);

  options.i_AutoTraceWhat = settings::TraceMethod::FillPattern;
  options.FillPattern.i_FillType = settings::FillType::Vertical;
  EXPECT_EQ(StageTotal(options), 1);
  options.FillPattern.i_FillType = settings::FillType::Cross;
  EXPECT_EQ(StageTotal(options), 2);
}

TEST(TraceResultMessage, OneMessagePerCode) {
  EXPECT_EQ(TraceResultMessage(0, 3725999), "Trace && process finished!\r\nElapsed time :  1 hours 2 minutes 5 seconds");
  EXPECT_EQ(ElapsedTimeText(42000), " 42 seconds");
  EXPECT_EQ(ElapsedTimeText(0), " 0 seconds");
  EXPECT_EQ(ElapsedTimeText(60000), " 1 minutes 0 seconds");
  EXPECT_EQ(TraceResultMessage(2, 0), "No enough memory!");
  EXPECT_EQ(TraceResultMessage(3, 0), "Fill pattern failed!");
  EXPECT_EQ(TraceResultMessage(10, 0), "User stop");
  const std::string error = "Quillon occurs a unknown error!\nPlease notify the Marrowby Software!";
  EXPECT_EQ(TraceResultMessage(20, 0), error);
  EXPECT_EQ(TraceResultMessage(7, 0), error);
}

}  // namespace
}  // namespace quillon::trace
