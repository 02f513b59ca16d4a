#include "trace/progress_model.h"

#include <gtest/gtest.h>

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
