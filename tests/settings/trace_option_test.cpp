#include "settings/trace_option.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "platform/key_value_store.h"
#include "platform/profile_file.h"
#include "settings/number_text.h"
#include "settings/option_store.h"
#include "support/test_support.h"

namespace quillon::settings {
namespace {

TraceOption ReadBack(const std::string& jobText, const platform::KeyValueStore& store, TraceOption into = {}) {
  platform::ProfileFile file;
  file.parse("[Job0]\r\nFile=x.tif\r\n" + jobText);
  into.ReadJobSection(file, "Job0", store);
  return into;
}

TraceOption Centre() {
  TraceOption r;
  r.s_WidthSeries.LoadDefault();
  return r;
}

// Every field away from its default, so a preset that touches too much shows.
TraceOption Scrambled() {
  TraceOption r;
  r.ModalName = "Mine";
  r.b_CalcWidth = false;
  r.s_WidthSeries.LoadDefault();
  r.b_DelLine = false;
  r.i_DelLine_Length = 77;
  r.b_RecogniseCirArc = false;
  r.d_MaxDis = 0.25;
  r.b_ForceOrtho = false;
  r.s_AngleSeries.LoadOrtho();
  r.b_Connect = false;
  r.i_ConDis = 33;
  r.Outline = {0.5, false, true, FillType::Cross, 4.0};
  r.FillPattern = {FillType::Vertical, 3.0};
  r.i_AutoTraceWhat = TraceMethod::Outline;
  r.i_Gray = 17;
  r.b_AutoGray = false;
  r.setColorIndex(DisplayColor::Normal, 2);
  r.i_VectorFileFormat = 4;
  return r;
}

TEST(TraceOption, DefaultsAreThoseOfADefaultPresetAndTheTables) {
  const TraceOption r;
  EXPECT_EQ(r.ModalName, "pre_Default");
  EXPECT_TRUE(r.b_CalcWidth && r.b_DelLine && r.b_RecogniseCirArc && r.b_ForceOrtho && r.b_Connect && r.b_AutoGray);
  EXPECT_EQ(r.i_DelLine_Length, 10);
  EXPECT_EQ(r.i_ConDis, 5);
  EXPECT_EQ(r.d_MaxDis, 2.0);
  EXPECT_EQ(r.s_WidthSeries.name(), "");
  EXPECT_EQ(r.s_WidthSeries.unit(), WidthSeries::kUnitMm);
  EXPECT_EQ(r.s_WidthSeries.moreWidthMode(), WidthSeries::kMoreWidthEqual);
  EXPECT_EQ(r.s_AngleSeries, AngleSeries::BuiltInDefault());
  EXPECT_EQ(r.Outline, (OutlineOption{1.5, true, false, FillType::Solid, 1.0}));
  EXPECT_EQ(r.FillPattern, (FillPatternOption{FillType::Horizontal, 1.0}));
  EXPECT_EQ(r.i_AutoTraceWhat, TraceMethod::CenterLine);
  EXPECT_EQ(r.i_Gray, 128);
  EXPECT_EQ(r.tracerStepLimit, 128);
  EXPECT_EQ(r.colorIndex(DisplayColor::GripBox), 214);
  EXPECT_EQ(r.color(DisplayColor::BackGround), kRgbWhite);  // 7 under the background rule
  EXPECT_EQ(r.color(DisplayColor::Normal), Rgb::FromHex(0x0000FF));
  EXPECT_EQ(r.i_GripBoxHalfWidth, 4);
  EXPECT_EQ(r.GridPointType, 0);
  EXPECT_EQ(r.i_VectorFileFormat, 1);
}

TEST(TraceOption, PresetsTouchOnlyTheirFields) {
  const TraceOption base = Scrambled();

  TraceOption expected = base;
  expected.ModalName = "pre_Engineering";
  expected.b_CalcWidth = false;
  expected.b_DelLine = true;
  expected.i_DelLine_Length = 5;
  expected.d_MaxDis = 2.0;
  expected.b_ForceOrtho = true;
  expected.s_AngleSeries = AngleSeries::BuiltInDefault();
  expected.b_Connect = true;
  expected.i_ConDis = 9;
  expected.b_RecogniseCirArc = true;
  TraceOption r = base;
  ASSERT_TRUE(r.ApplyPreset("PRE_engineering"));
  EXPECT_EQ(r, expected);

  expected = base;
  expected.ModalName = "pre_Topography";
  expected.d_MaxDis = 1.0;
  expected.b_Connect = true;
  expected.i_ConDis = 5;  // length and angle series stay
  r = base;
  ASSERT_TRUE(r.ApplyPreset("pre_Topography"));
  EXPECT_EQ(r, expected);

  expected = base;
  expected.ModalName = "pre_Default";
  expected.b_CalcWidth = expected.b_DelLine = expected.b_ForceOrtho = true;
  expected.b_Connect = expected.b_RecogniseCirArc = true;
  expected.i_DelLine_Length = 10;
  expected.d_MaxDis = 2.0;
  expected.s_AngleSeries = AngleSeries::BuiltInDefault();
  expected.i_ConDis = 5;
  r = base;
  ASSERT_TRUE(r.ApplyPreset("pre_Default"));
  EXPECT_EQ(r, expected);

  r = base;
  EXPECT_FALSE(r.ApplyPreset("pre_Nothing"));
  EXPECT_EQ(r, base);
}

TEST(TraceOption, SetDefaultsResetsDisplayOptionsToo) {
  TraceOption r = Scrambled();
  r.SetDefaults();
  EXPECT_EQ(r.colorIndex(DisplayColor::Normal), 5);
  EXPECT_EQ(r.i_VectorFileFormat, 1);
  EXPECT_EQ(r.Outline, OutlineOption{});
  EXPECT_TRUE(r.b_AutoGray);
  EXPECT_EQ(r.s_WidthSeries.name(), "Default");  // no preset touches the width series
}

TEST(TraceOption, CopyFromCopiesTheSeriesByValue) {
  const TraceOption source = Scrambled();
  TraceOption copy;
  copy.CopyFrom(source);
  EXPECT_EQ(copy, source);
  copy.s_AngleSeries.RemoveAt(0);
  copy.s_WidthSeries.Insert(7.0);
  EXPECT_EQ(source, Scrambled());
  EXPECT_NE(copy, source);
}

TEST(TraceOption, BackgroundDecidesTheColourOfIndexSeven) {
  TraceOption r;
  r.setColorIndex(DisplayColor::Normal, 7);
  EXPECT_EQ(r.color(DisplayColor::Normal), kRgbBlack);  // against the white background
  r.setColorIndex(DisplayColor::BackGround, 250);     // dark grey
  EXPECT_EQ(r.color(DisplayColor::Normal), kRgbWhite);
}

TEST(TraceOption, StraightenToleranceFollowsTheMethod) {
  TraceOption r;
  r.d_MaxDis = 2.5;
  r.Outline.d_MaxDis = 0.75;
  EXPECT_EQ(r.StraightenTolerance(), 2.5);
  r.i_AutoTraceWhat = TraceMethod::Outline;
  EXPECT_EQ(r.StraightenTolerance(), 0.75);
  r.i_AutoTraceWhat = TraceMethod::FillPattern;
  EXPECT_EQ(r.StraightenTolerance(), 1.0);
}

TEST(TraceOptionText, CentreLineSummaryAndJobText) {
  const TraceOption r = Centre();
  EXPECT_EQ(r.SummaryText(),
            "Method=Center\nChart type= pre_Default\nStraighten intension= 2.000\nRecognise circle and arc.\n"
            "Calculate width.\nWidth series name = Default\nConnect adjacent line.\nConnect distance = 5\n"
            "Adjust angle.\nAngle series: Default\nDelete mix-up line.\nLength = 10\n");
  EXPECT_EQ(r.JobText("\r\n"),
            "AutoGray=1\r\nGray=128\r\nMethod=Center\r\nChart=pre_Default\r\nStraighten=2.000\r\nCircle=1\r\n"
            "Width=1\r\nWidthSeries=Default\r\nConnect=1\r\ndistance=5\r\nForce=1\r\nAngleSeries=Default\r\n"
            "Delete=1\r\nLength=10\r\n");
}

TEST(TraceOptionText, CentreLineWithEverySwitchOff) {
  TraceOption r = Centre();
  r.b_RecogniseCirArc = r.b_CalcWidth = r.b_Connect = r.b_ForceOrtho = r.b_DelLine = false;
  r.b_AutoGray = false;
  r.i_Gray = 90;
  r.d_MaxDis = 1.23456;
  r.ModalName = "Unnamed";
  EXPECT_EQ(r.SummaryText(),
            "Method=Center\nChart type= Unnamed\nStraighten intension= 1.235\nNot recognise circle and arc.\n"
            "Not calculate width.\nNot connect adjacent line.\nNot adjust angle.\nNot delete mix-up line.\n");
  EXPECT_EQ(r.JobText(),
            "AutoGray=0\nGray=90\nMethod=Center\nChart=Unnamed\nStraighten=1.235\nCircle=0\nWidth=0\n"
            "Connect=0\nForce=0\nDelete=0\n");
}

TEST(TraceOptionText, EachCentreSwitchOffAlone) {
  struct Case {
    bool TraceOption::*flag;
    const char* summaryLine;
    const char* missingSummary;
    const char* jobLine;
    const char* missingJob;
  };
  const Case cases[] = {
      {&TraceOption::b_CalcWidth, "Not calculate width.\n", "Width series name", "Width=0\n", "WidthSeries="},
      {&TraceOption::b_Connect, "Not connect adjacent line.\n", "Connect distance", "Connect=0\n", "distance="},
      {&TraceOption::b_ForceOrtho, "Not adjust angle.\n", "Angle series", "Force=0\n", "AngleSeries="},
      {&TraceOption::b_DelLine, "Not delete mix-up line.\n", "Length", "Delete=0\n", "Length="},
      {&TraceOption::b_RecogniseCirArc, "Not recognise circle and arc.\n", "\nRecognise", "Circle=0\n", "Circle=1"},
  };
  for (const auto& c : cases) {
    TraceOption r = Centre();
    r.*c.flag = false;
    const std::string summary = r.SummaryText(), job = r.JobText();
    EXPECT_NE(summary.find(c.summaryLine), std::string::npos) << c.summaryLine;
    EXPECT_EQ(summary.find(c.missingSummary), std::string::npos) << c.missingSummary;
    EXPECT_NE(job.find(c.jobLine), std::string::npos) << c.jobLine;
    EXPECT_EQ(job.find(c.missingJob), std::string::npos) << c.missingJob;
    EXPECT_EQ(summary.substr(0, 14), "Method=Center\n");
  }
}

TEST(TraceOptionText, OutlineWithAndWithoutFill) {
  TraceOption r;
  r.i_AutoTraceWhat = TraceMethod::Outline;
  EXPECT_EQ(r.SummaryText(), "Method=Outline\nRecognise circle and arc.\nStraighten intension= 1.500\n");
  EXPECT_EQ(r.JobText(), "AutoGray=1\nGray=128\nMethod=Outline\nStraighten=1.500\nCircle=1\nFill=0\n");

  r.Outline.b_Fill = true;  // solid: a type line, no spacing
  r.Outline.b_RecogniseCirArc = false;
  EXPECT_EQ(r.SummaryText(),
            "Method=Outline\nNot recognise circle and arc.\nStraighten intension= 1.500\nFill type : Solid\n");
  EXPECT_EQ(r.JobText(),
            "AutoGray=1\nGray=128\nMethod=Outline\nStraighten=1.500\nCircle=0\nFill=1\nType=3\nSpace=1.000\n");

  r.Outline.i_FillType = FillType::Vertical;
  r.Outline.d_FillSpace = 2.5;
  EXPECT_EQ(r.SummaryText(),
            "Method=Outline\nNot recognise circle and arc.\nStraighten intension= 1.500\n"
            "Fill type : Vertical line\nFill space = 2.500\n");
}

TEST(TraceOptionText, FillPatternPrintsItsOwnSpacing) {
  TraceOption r;
  r.i_AutoTraceWhat = TraceMethod::FillPattern;
  r.Outline.d_FillSpace = 9.0;
  r.FillPattern.d_FillSpace = 0.5;
  const char* lines[] = {"Fill type : Horizontal line\n", "Fill type : Vertical line\n", "Fill type : Cross line\n"};
  for (int type = 0; type < 3; ++type) {
    r.FillPattern.i_FillType = static_cast<FillType>(type);
    EXPECT_EQ(r.SummaryText(), std::string("Method=Fill Pattern\n") + lines[type] + "Fill space = 0.500\n");
    EXPECT_EQ(r.JobText(), "AutoGray=1\nGray=128\nMethod=FillPattern\nType=" + std::to_string(type) +
                               "\nSpace=0.500\n");
  }
}

TEST(TraceOptionText, NamesCannotBreakTheJobTextIntoMoreKeys) {
  TraceOption r;
  r.ModalName = "x\nGray=5\r";
  EXPECT_NE(r.JobText().find("Chart=x Gray=5 \n"), std::string::npos);
}

TEST(TraceOptionText, WriteFunctionsWriteTheSameText) {
  test::TempDir dir;
  const std::string path = dir.file("job.txt");
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  const TraceOption r = Centre();
  EXPECT_TRUE(r.WriteSummaryText(f));
  EXPECT_TRUE(r.WriteJobText(f, "\r\n"));
  std::fclose(f);
  EXPECT_EQ(test::ReadFile(path), r.SummaryText() + r.JobText("\r\n"));
  EXPECT_FALSE(r.WriteJobText(nullptr));
}

TEST(JobSection, WrittenAndReadBackGivesTheSameRecord) {
  platform::MemoryKeyValueStore store;
  TraceOption stored = Centre();
  stored.d_MaxDis = 0.75;
  stored.i_ConDis = 12;
  stored.s_AngleSeries.LoadTinily();
  ASSERT_TRUE(SaveChartType(store, stored, "Mine"));
  stored.ModalName = "Mine";

  TraceOption unnamed = Centre();
  unnamed.ModalName = "Unnamed";
  unnamed.b_Connect = false;
  unnamed.i_DelLine_Length = 3;
  unnamed.d_MaxDis = 3.5;
  unnamed.b_AutoGray = false;
  unnamed.i_Gray = 200;

  TraceOption outline;
  outline.i_AutoTraceWhat = TraceMethod::Outline;
  outline.Outline = {0.25, false, true, FillType::Cross, 2.5};
  TraceOption fill;
  fill.i_AutoTraceWhat = TraceMethod::FillPattern;
  fill.FillPattern = {FillType::Cross, 2.5};

  for (const TraceOption* r : {&stored, &unnamed, &outline, &fill}) {
    EXPECT_EQ(ReadBack(r->JobText("\r\n"), store), *r) << r->JobText();
    EXPECT_EQ(r->JobText(), ReadBack(r->JobText(), store, Scrambled()).JobText());
  }
}

TEST(JobSection, RefineIsWrittenShownAndReadOnlyWhenOn) {
  platform::MemoryKeyValueStore store;
  TraceOption r = Centre();
  r.b_Refine = true;
  EXPECT_EQ(r.SummaryText(), Centre().SummaryText() + "Refine centre lines.\n");
  EXPECT_EQ(r.JobText(), Centre().JobText() + "Refine=1\n");
  const TraceOption back = ReadBack(r.JobText(), store);
  EXPECT_EQ(back, r);
  EXPECT_EQ(back.ModalName, "pre_Default");  // not a chart type value
  // A section without the key traces plainly, whatever the record held.
  TraceOption refined;
  refined.b_Refine = true;
  EXPECT_FALSE(ReadBack(Centre().JobText(), store, refined).b_Refine);
  std::string off = r.JobText();
  off.replace(off.find("Refine=1"), 8, "Refine=0");
  EXPECT_FALSE(ReadBack(off, store).b_Refine);
}

TEST(JobSection, OnlyAnOutlineMethodGivesTheJobDefaults) {
  platform::MemoryKeyValueStore store;
  TraceOption before;
  before.Outline = {2.5, false, false, FillType::Vertical, 4.0};
  const TraceOption r = ReadBack("Method=outline\n", store, before);
  EXPECT_EQ(r.i_AutoTraceWhat, TraceMethod::Outline);
  EXPECT_EQ(r.Outline.d_MaxDis, 1.0);  // not the stored default 1.5
  EXPECT_TRUE(r.Outline.b_RecogniseCirArc);
  EXPECT_FALSE(r.Outline.b_Fill);
  EXPECT_EQ(r.Outline.i_FillType, FillType::Vertical);  // without fill, type and space stay
  EXPECT_EQ(r.Outline.d_FillSpace, 4.0);
  EXPECT_FALSE(r.b_AutoGray);
  EXPECT_EQ(r.i_Gray, 128);
}

TEST(JobSection, OutOfRangeAndUnparsableValuesTakeTheDefaults) {
  platform::MemoryKeyValueStore store;
  EXPECT_EQ(ReadBack("Method=FillPattern\nType=7\n", store).FillPattern.i_FillType, FillType::Cross);
  EXPECT_EQ(ReadBack("Method=FillPattern\nType=-1\nSpace=-3\n", store).FillPattern.i_FillType, FillType::Cross);
  EXPECT_EQ(ReadBack("Method=FillPattern\nSpace=-3\n", store).FillPattern.d_FillSpace, 1.0);
  EXPECT_EQ(ReadBack("Method=FillPattern\nSpace=abc\n", store).FillPattern.d_FillSpace, 1.0);

  TraceOption r = ReadBack("Method=Outline\nStraighten=x\nFill=1\nType=-1\nSpace=0\n", store);
  EXPECT_EQ(r.Outline.d_MaxDis, 1.0);
  EXPECT_EQ(r.Outline.i_FillType, FillType::Solid);
  EXPECT_EQ(r.Outline.d_FillSpace, 1.0);
  EXPECT_EQ(ReadBack("Method=Outline\nStraighten=-2\n", store).Outline.d_MaxDis, 0.0);

  r = ReadBack("Gray=99999999999\nAutoGray=abc\nChart=\nLength=-4\ndistance=0\nStraighten=nan\n", store);
  EXPECT_EQ(r.i_Gray, 255);  // low 8 bits of the saturated value
  EXPECT_FALSE(r.b_AutoGray);
  EXPECT_EQ(r.ModalName, "Unnamed");
  EXPECT_EQ(r.i_DelLine_Length, 10);
  EXPECT_EQ(r.i_ConDis, 5);
  EXPECT_EQ(r.d_MaxDis, 2.0);
  EXPECT_EQ(ReadBack("Length=99999999999\n", store).i_DelLine_Length, INT_MAX);
}

TEST(JobSection, CentreLineOverridesRenameOnlyWhenTheyChangeSomething) {
  platform::MemoryKeyValueStore store;
  TraceOption mine = Centre();
  mine.d_MaxDis = 1.5;
  ASSERT_TRUE(SaveChartType(store, mine, "Mine"));

  TraceOption r = ReadBack("Chart=Mine\nStraighten=1.501\nAngleSeries=Default\n", store);
  EXPECT_EQ(r.ModalName, "Mine");
  EXPECT_EQ(r.d_MaxDis, 1.5);
  EXPECT_EQ(r.s_WidthSeries.name(), "");  // no WidthSeries key clears it, name untouched

  r = ReadBack("Chart=Mine\nStraighten=1.6\nAngleSeries=Default\n", store);
  EXPECT_EQ(r.ModalName, "Unnamed");
  EXPECT_EQ(r.d_MaxDis, 1.6);

  r = ReadBack("Chart=Mine\nConnect=0\ndistance=40\nAngleSeries=Default\n", store);
  EXPECT_EQ(r.ModalName, "Unnamed");
  EXPECT_FALSE(r.b_Connect);
  EXPECT_EQ(r.i_ConDis, 5);  // not read when not connecting

  r = ReadBack("Chart=pre_Engineering\nAngleSeries=Nowhere\n", store);
  EXPECT_EQ(r.ModalName, "Unnamed");
  EXPECT_EQ(r.s_AngleSeries, AngleSeries::BuiltInDefault());
  EXPECT_EQ(r.i_ConDis, 9);

  r = ReadBack("Chart=pre_Default\nAngleSeries=Ortho series\nWidthSeries= Default \n", store);
  EXPECT_EQ(r.ModalName, "Unnamed");  // a different series than the chart type's
  EXPECT_EQ(r.s_AngleSeries.name(), "Ortho series");
  EXPECT_EQ(r.s_WidthSeries, WidthSeries::BuiltInDefault());

  r = ReadBack("Chart=pre_Default\nAngleSeries=Default\nWidthSeries=Missing\n", store);
  EXPECT_EQ(r.ModalName, "pre_Default");
  EXPECT_TRUE(r.s_WidthSeries.empty());
}

TEST(JobSection, NumbersWithTheLocaleSeparatorAreAccepted) {
  platform::MemoryKeyValueStore store;
  SetLocaleSeparators({',', ';'});
  EXPECT_EQ(ReadBack("Method=Outline\nStraighten=0,5\n", store).Outline.d_MaxDis, 0.5);
  EXPECT_EQ(ReadBack("Method=Outline\nStraighten=0.5\n", store).Outline.d_MaxDis, 0.5);
  SetLocaleSeparators({});
}

TEST(JobSection, MissingFileLeavesTheRecord) {
  platform::MemoryKeyValueStore store;
  TraceOption r = Scrambled();
  EXPECT_FALSE(r.ReadJobSection("/nonexistent/dir/job.trj", "Job0", store));
  EXPECT_EQ(r, Scrambled());
}

TEST(ParameterPages, ShownValuesCommitBackUnchanged) {
  platform::MemoryKeyValueStore store;
  SetLocaleSeparators({',', ';'});
  for (TraceMethod m : {TraceMethod::CenterLine, TraceMethod::Outline, TraceMethod::FillPattern}) {
    TraceOption r = Scrambled();
    r.i_AutoTraceWhat = m;
    const ParameterPages pages = ShowParameterPages(r);
    EXPECT_EQ(pages.centerMaxDis, "0,2500");
    TraceOption committed = r;
    EXPECT_EQ(CommitParameterPages(committed, pages, store), ParameterField::None);
    EXPECT_EQ(committed, r);
  }
  SetLocaleSeparators({});
}

TEST(ParameterPages, AFailedFieldKeepsWhatWasTakenBefore) {
  platform::MemoryKeyValueStore store;
  TraceOption r;
  ParameterPages p = ShowParameterPages(r);
  p.autoGray = false;
  p.threshold = "256";
  EXPECT_EQ(CommitParameterPages(r, p, store), ParameterField::Threshold);
  EXPECT_FALSE(r.b_AutoGray);

  p.threshold = "40";
  p.calcWidth = false;
  p.delLineLength = "0";
  p.centerMaxDis = "0.1";
  EXPECT_EQ(CommitParameterPages(r, p, store), ParameterField::DelLineLength);
  EXPECT_EQ(r.i_Gray, 40);
  EXPECT_FALSE(r.b_CalcWidth);
  EXPECT_EQ(r.d_MaxDis, 2.0);  // after the failed field

  p.delLineLength = "8";
  p.centerMaxDis = "-1";
  EXPECT_EQ(CommitParameterPages(r, p, store), ParameterField::CenterMaxDis);
  p.centerMaxDis = "0";
  p.angleSeries = "No such series";
  p.conDis = "x";
  EXPECT_EQ(CommitParameterPages(r, p, store), ParameterField::ConDis);
  EXPECT_EQ(r.s_AngleSeries, AngleSeries::BuiltInDefault());

  p.method = TraceMethod::Outline;
  p.outlineFillType = 9;
  p.outlineFillSpace = "0";
  EXPECT_EQ(CommitParameterPages(r, p, store), ParameterField::OutlineFillSpace);
  EXPECT_EQ(r.Outline.i_FillType, FillType::Solid);

  p.method = TraceMethod::FillPattern;
  p.fillPatternType = 3;
  p.fillPatternSpace = "2";
  EXPECT_EQ(CommitParameterPages(r, p, store), ParameterField::None);
  EXPECT_EQ(r.FillPattern, (FillPatternOption{FillType::Cross, 2.0}));
}

TEST(ParameterPages, SuggestionsUseOneDecimal) {
  SetLocaleSeparators({',', ';'});
  const auto straighten = StraightenSuggestions();
  ASSERT_EQ(straighten.size(), 33u);
  EXPECT_EQ(straighten.front(), "0,0");
  EXPECT_EQ(straighten[30], "3,0");
  EXPECT_EQ(straighten.back(), "4,0");
  const auto space = FillSpaceSuggestions();
  ASSERT_EQ(space.size(), 12u);
  EXPECT_EQ(space[0], "0,2");
  EXPECT_EQ(space.back(), "10,0");
  SetLocaleSeparators({});
}

}  // namespace
}  // namespace quillon::settings
