#include "settings/job_params.h"

#include <gtest/gtest.h>

#include "platform/key_value_store.h"
#include "settings/option_store.h"
#include "support/test_support.h"

namespace quillon::settings {
namespace {

TEST(JobParameters, NamedKeysChangeAndTheRestStays) {
  platform::MemoryKeyValueStore store;
  TraceOption r;
  r.b_AutoGray = true;
  r.s_WidthSeries.LoadDefault();
  r.i_DelLine_Length = 14;
  r.ModalName = "Unnamed";
  ASSERT_TRUE(ApplyJobParameters(r, {"Connect=0"}, store));
  EXPECT_FALSE(r.b_Connect);
  EXPECT_TRUE(r.b_AutoGray);  // not named, so the automatic threshold stays on
  EXPECT_EQ(r.i_DelLine_Length, 14);
  EXPECT_EQ(r.s_WidthSeries, WidthSeries::BuiltInDefault());
  EXPECT_EQ(r.ModalName, "Unnamed");

  TraceOption engineering;
  ASSERT_TRUE(ApplyJobParameters(engineering, {"chart=pre_Engineering", " distance = 12 "}, store));
  EXPECT_EQ(engineering.ModalName, "Unnamed");  // the distance differs from the chart type's
  EXPECT_EQ(engineering.i_ConDis, 12);
  // The record's own keys are in the merged text, so they override the chart type's.
  EXPECT_TRUE(engineering.b_CalcWidth);
  EXPECT_EQ(engineering.i_DelLine_Length, 10);
}

TEST(JobParameters, RefineSwitchesOnAndOffWithoutRenamingTheChartType) {
  platform::MemoryKeyValueStore store;
  TraceOption r;
  ASSERT_TRUE(ApplyJobParameters(r, {"refine=1"}, store));
  EXPECT_TRUE(r.b_Refine);
  EXPECT_EQ(r.ModalName, "pre_Default");
  ASSERT_TRUE(ApplyJobParameters(r, {"Connect=0"}, store));
  EXPECT_TRUE(r.b_Refine);  // not named, so it stays on
  ASSERT_TRUE(ApplyJobParameters(r, {"Refine=0"}, store));
  EXPECT_FALSE(r.b_Refine);
}

TEST(JobParameters, MethodKeySelectsTheTextThatIsMerged) {
  platform::MemoryKeyValueStore store;
  TraceOption r;
  r.Outline = {0.5, false, true, FillType::Vertical, 3.0};
  ASSERT_TRUE(ApplyJobParameters(r, {"Method=outline", "Straighten=0.25"}, store));
  EXPECT_EQ(r.i_AutoTraceWhat, TraceMethod::Outline);
  EXPECT_EQ(r.Outline, (OutlineOption{0.25, false, true, FillType::Vertical, 3.0}));

  ASSERT_TRUE(ApplyJobParameters(r, {"Method=FillPattern", "Type=9", "Space=2"}, store));
  EXPECT_EQ(r.FillPattern, (FillPatternOption{FillType::Cross, 2.0}));
  ASSERT_TRUE(ApplyJobParameters(r, {"Space=4"}, store));  // stays on the record's method
  EXPECT_EQ(r.FillPattern.d_FillSpace, 4.0);
  EXPECT_EQ(r.i_AutoTraceWhat, TraceMethod::FillPattern);
}

TEST(JobParameters, BadPairsFailAndLeaveTheRecord) {
  platform::MemoryKeyValueStore store;
  TraceOption r;
  r.i_Gray = 3;
  const TraceOption before = r;
  Status s = ApplyJobParameters(r, {"Gray=9", "Bogus=1"}, store);
  EXPECT_FALSE(s);
  EXPECT_NE(s.message().find("'Bogus'"), std::string::npos);
  EXPECT_FALSE(ApplyJobParameters(r, {"Connect"}, store));
  EXPECT_FALSE(ApplyJobParameters(r, {"Method=Fill"}, store));
  EXPECT_FALSE(ApplyChartTypeByName(r, "No such chart", store));
  EXPECT_EQ(r, before);
  EXPECT_TRUE(ApplyChartTypeByName(r, "pre_topography", store));
  EXPECT_EQ(r.ModalName, "pre_Topography");
}

class ParamsCommand : public ::testing::Test {
 protected:
  test::TempDir config_;
};

TEST_F(ParamsCommand, DefaultsPrintSummaryBlankLineAndJobText) {
  const auto result = test::RunCli({"params", "--defaults"}, config_.path());
  ASSERT_EQ(result.status, 0) << result.err;
  const TraceOption r;
  EXPECT_EQ(result.out, r.SummaryText() + "\n" + r.JobText());
}

TEST_F(ParamsCommand, StoredSettingsChartTypesAndOverrides) {
  {
    platform::JsonFileKeyValueStore store(config_.file("settings.json"));
    TraceOption saved;
    saved.b_AutoGray = true;
    saved.i_Gray = 99;
    saved.d_MaxDis = 0.5;
    saved.ModalName = "Unnamed";
    ASSERT_TRUE(SaveOptions(store, saved));
    TraceOption chart;
    chart.i_ConDis = 17;
    ASSERT_TRUE(SaveChartType(store, chart, "Mine"));
  }
  auto result = test::RunCli({"params", "--set", "Connect=0"}, config_.path());
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("AutoGray=1\nGray=99\nMethod=Center\nChart=Unnamed\nStraighten=0.500\n"),
            std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("\nConnect=0\n"), std::string::npos);
  EXPECT_NE(result.out.find("Not connect adjacent line.\n"), std::string::npos);

  result = test::RunCli({"params", "--chart-type=Mine", "--set=Method=Outline"}, config_.path());
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out.substr(0, 15), "Method=Outline\n");

  result = test::RunCli({"params", "--chart-type", "Mine"}, config_.path());
  EXPECT_NE(result.out.find("Chart=Mine\n"), std::string::npos);
  EXPECT_NE(result.out.find("distance=17\n"), std::string::npos);
}

TEST_F(ParamsCommand, BadInputGivesOneClearLineAndAStatus) {
  auto result = test::RunCli({"params", "--set", "Nope=1"}, config_.path());
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("Nope"), std::string::npos);
  EXPECT_TRUE(result.out.empty());

  result = test::RunCli({"params", "--chart-type", "Missing"}, config_.path());
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("unknown chart type 'Missing'"), std::string::npos);

  EXPECT_EQ(test::RunCli({"params", "--set"}, config_.path()).status, 2);
  EXPECT_EQ(test::RunCli({"params", "extra"}, config_.path()).status, 2);

  test::WriteFile(config_.file("settings.json"), "not json at all");
  result = test::RunCli({"params"}, config_.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, TraceOption().SummaryText() + "\n" + TraceOption().JobText());
}

}  // namespace
}  // namespace quillon::settings
