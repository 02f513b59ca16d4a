// The batch job list: cells of a row, job files written and read back,
// damaged job files, recent job files.

#include <gtest/gtest.h>

#include <string>

#include "batch/batch_job.h"
#include "platform/key_value_store.h"
#include "settings/number_text.h"
#include "support/test_support.h"

namespace quillon::batch {
namespace {

using settings::FillType;
using settings::TraceMethod;
using settings::TraceOption;

class JobList : public ::testing::Test {
 protected:
  void SetUp() override { settings::SetLocaleSeparators({'.', ','}); }
  platform::MemoryKeyValueStore store;
  TraceOption current;
  test::TempDir dir;
  test::CapturedMessages messages;
};

TEST_F(JobList, CellsFollowTheMethod) {
  BatchJobList list(store, current);
  list.working().s_WidthSeries.LoadDefault();
  ASSERT_TRUE(list.AddJob("/scans/plan.tif", 0));
  const auto& c = list.row(0).cells;
  EXPECT_EQ(c[kColumnSource], "plan.tif");
  EXPECT_EQ(c[kColumnDir], "/scans/");
  EXPECT_EQ(c[kColumnMethod], "Center");
  EXPECT_EQ(c[kColumnChart], "pre_Default");
  EXPECT_EQ(c[kColumnThreshold], "Auto");
  EXPECT_EQ(c[kColumnStraighten], "2.000000");
  EXPECT_EQ(c[kColumnCircle], "Recognise");
  EXPECT_EQ(c[kColumnConnect], "5");
  EXPECT_EQ(c[kColumnAdjustAngle], "Default");
  EXPECT_EQ(c[kColumnDelete], "10");
  EXPECT_EQ(c[kColumnWidth], "Default");
  EXPECT_EQ(c[kColumnFill], "");

  list.working().i_AutoTraceWhat = TraceMethod::Outline;
  list.working().b_AutoGray = false;
  list.working().i_Gray = 77;
  list.working().Outline.b_Fill = true;
  list.working().Outline.i_FillType = FillType::Vertical;
  list.working().Outline.d_FillSpace = 2.5;
  ASSERT_TRUE(list.AddJob("", 0)) << "an empty path rewrites the row's parameters";
  EXPECT_EQ(c[kColumnSource], "plan.tif");
  EXPECT_EQ(c[kColumnMethod], "Outline");
  EXPECT_EQ(c[kColumnChart], "");
  EXPECT_EQ(c[kColumnThreshold], "77");
  EXPECT_EQ(c[kColumnStraighten], "1.500000");
  EXPECT_EQ(c[kColumnConnect], "");
  EXPECT_EQ(c[kColumnFill], "Ver line");
  EXPECT_EQ(c[kColumnSpace], "2.500000");
  EXPECT_FALSE(list.AddJob("", 5));

  settings::SetLocaleSeparators({',', ';'});
  list.AddJob("", 0);
  EXPECT_EQ(c[kColumnSpace], "2,500000") << "the list shows the user's decimal separator";
  settings::SetLocaleSeparators({'.', ','});
}

TEST_F(JobList, JobFileLayoutAndRoundTrip) {
  BatchJobList list(store, current);
  list.working().s_WidthSeries.LoadDefault();
  list.AddJob("/scans/plan.tif", 0);
  list.working().i_AutoTraceWhat = TraceMethod::FillPattern;
  list.working().FillPattern.d_FillSpace = 2.5;
  list.AddJob("/scans/fill.bmp", 1);
  list.working().i_AutoTraceWhat = TraceMethod::CenterLine;
  list.working().s_WidthSeries.Clear();  // "Calc"
  list.AddJob("/scans/calc.bmp", 2);
  EXPECT_EQ(list.row(2).cells[kColumnWidth], "Calc");
  list.working().i_AutoTraceWhat = TraceMethod::Outline;
  list.AddJob("/scans/outline.bmp", 3);
  list.overwrite = false;
  list.targetDir = "/out";
  list.targetType = 5;
  ASSERT_TRUE(list.WriteJobFile(dir.file("job.trj")));

  const std::string text = test::ReadFile(dir.file("job.trj"));
  EXPECT_EQ(text.rfind(";Quillon Job file\r\n[General]\r\nJobCount=4\r\nOverwrite=0\r\nPowerOff=0\r\nTargetPath=/out\r\n"
                       "TargetFormat=5\r\n\r\n[Job0]\r\nFile=/scans/plan.tif\r\nAutoGray=1\r\nGray=128\r\nMethod=Center\r\n"
                       "Chart=pre_Default\r\nStraighten=2.000\r\nCircle=1\r\nWidth=1\r\nWidthSeries=Default\r\nConnect=1\r\n"
                       "distance=5\r\nForce=1\r\nAngleSeries=Default\r\nDelete=1\r\nLength=10\r\n\r\n[Job1]\r\n",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find("File=/scans/calc.bmp\r\nAutoGray=1\r\nGray=128\r\nMethod=Center\r\nChart=pre_Default\r\n"
                      "Straighten=2.000\r\nCircle=1\r\nWidth=1\r\nWidthSeries=\r\n"),
            std::string::npos);
  const size_t outline = text.find("[Job3]");
  ASSERT_NE(outline, std::string::npos);
  EXPECT_NE(text.find("Fill=0\r\n", outline), std::string::npos);
  EXPECT_EQ(text.find("Type=", outline), std::string::npos);
  EXPECT_EQ(list.recentJobs[0], dir.file("job.trj"));

  BatchJobList back(store, current);
  ASSERT_TRUE(back.ReadJobFile(dir.file("job.trj")));
  ASSERT_EQ(back.size(), 4u);
  EXPECT_FALSE(back.overwrite);
  EXPECT_EQ(back.targetDir, "/out");
  EXPECT_EQ(back.targetType, 5);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(back.row(i).cells, list.row(i).cells) << i;
  EXPECT_EQ(back.row(1).cells[kColumnSpace], "2.500000");
  EXPECT_EQ(back.row(1).record.FillPattern.d_FillSpace, 2.5);
  EXPECT_EQ(back.row(3).cells[kColumnFill], "");
  EXPECT_EQ(back.row(3).cells[kColumnSpace], "");
  ASSERT_TRUE(back.GetJob(1));
  EXPECT_EQ(back.working().FillPattern.d_FillSpace, 2.5);
}

TEST_F(JobList, DamagedJobFilesReadWhatTheyHold) {
  BatchJobList list(store, current);
  // A job count of 3 whose section 1 lacks File loads only job 0; sections
  // are found by name in any order; TargetFormat is clamped.
  test::WriteFile(dir.file("a.trj"),
                  "[Job2]\nFile=/x/c.tif\n[Job0]\nFile=/x/a.tif\nMethod=FillPattern\nSpace=abc\n[Job1]\nGray=3\n"
                  "[general]\nJobCount=3\nTargetFormat=12\n");
  ASSERT_TRUE(list.ReadJobFile(dir.file("a.trj")));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list.row(0).Path(), "/x/a.tif");
  EXPECT_EQ(list.row(0).record.FillPattern.d_FillSpace, 1.0) << "unparsable numbers take their defaults";
  EXPECT_EQ(list.targetType, 8);
  EXPECT_TRUE(list.overwrite) << "Overwrite defaults to 1";
  EXPECT_TRUE(list.powerOff) << "PowerOff defaults to 1";
  ASSERT_EQ(list.notes().size(), 1u);
  EXPECT_NE(list.notes()[0].find("3 jobs"), std::string::npos);

  // Empty, truncated, binary: no rows, no crash.
  for (const std::string& junk : {std::string(), std::string("[Gene"), std::string("[General]\nJobCount=99999999999\n[Job0]\nFi"),
                                  std::string("\0\xff[General]\nJobCount=-4\n", 24), std::string("[General]\nTargetFormat=-7\n")}) {
    test::WriteFile(dir.file("j.trj"), junk);
    ASSERT_TRUE(list.ReadJobFile(dir.file("j.trj")));
    EXPECT_EQ(list.size(), 0u);
    EXPECT_GE(list.targetType, 0);
    EXPECT_LE(list.targetType, 8);
  }

  // A relative source is relative to the job file.
  test::WriteFile(dir.file("r.trj"), "[General]\nJobCount=1\n[Job0]\nFile=scans/p.bmp\n");
  ASSERT_TRUE(list.ReadJobFile(dir.file("r.trj")));
  EXPECT_EQ(list.row(0).Path(), dir.file("scans/p.bmp"));

  // A missing file changes nothing.
  EXPECT_FALSE(list.ReadJobFile(dir.file("none.trj")));
  EXPECT_EQ(list.size(), 1u);
  ASSERT_FALSE(messages.messages().empty());
  EXPECT_EQ(messages.messages().back(), "The batch project file can not be found!");
  EXPECT_FALSE(list.WriteJobFile(dir.file("no/such/dir/j.trj")));
  EXPECT_EQ(messages.messages().back(), "Save batch project file failure!");

  // Names without a file part stay as they are, saved and read again.
  test::WriteFile(dir.file("s.trj"), "[General]\nJobCount=3\n[Job0]\nFile=/////\n[Job1]\nFile=/scans/\n"
                                     "[Job2]\nFile=//x.bmp\n");
  ASSERT_TRUE(list.ReadJobFile(dir.file("s.trj")));
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list.row(0).Path(), "/////");
    EXPECT_EQ(list.row(1).Path(), "/scans/");
    EXPECT_EQ(list.row(2).Path(), "/x.bmp");  // the same file
    ASSERT_TRUE(list.WriteJobFile(dir.file("s.trj")));
    ASSERT_TRUE(list.ReadJobFile(dir.file("s.trj")));
  }
}

TEST_F(JobList, LaterSectionsKeepEarlierValuesTheyDoNotName) {
  BatchJobList list(store, current);
  test::WriteFile(dir.file("k.trj"),
                  "[General]\nJobCount=2\n[Job0]\nFile=/a.bmp\nMethod=Outline\nFill=1\nType=1\nSpace=3.5\n"
                  "[Job1]\nFile=/b.bmp\nMethod=FillPattern\n");
  ASSERT_TRUE(list.ReadJobFile(dir.file("k.trj")));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list.row(1).record.Outline.d_FillSpace, 3.5) << "the working record is reused";
  EXPECT_EQ(list.row(1).record.i_AutoTraceWhat, TraceMethod::FillPattern);
}

TEST_F(JobList, EditingRowsAndRecentJobs) {
  BatchJobList list(store, current);
  list.AddFiles({"/a.bmp", "/b.bmp", "/c.bmp", "/d.bmp"});
  list.RemoveJobs({3, 1, 1, 9});
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list.row(1).Path(), "/c.bmp");
  TraceOption outline;
  outline.i_AutoTraceWhat = TraceMethod::Outline;
  list.SetParameters({1}, outline);
  EXPECT_EQ(list.row(1).cells[kColumnMethod], "Outline");
  EXPECT_EQ(list.row(0).cells[kColumnMethod], "Center");
  EXPECT_FALSE(list.GetJob(7));

  for (const char* p : {"/1", "/2", "/3", "/4", "/5"}) list.AddRecentJob(p);
  EXPECT_EQ(list.recentJobs, (std::array<std::string, 4>{"/5", "/4", "/3", "/2"}));
  list.AddRecentJob("/3");  // at position 2
  EXPECT_EQ(list.recentJobs, (std::array<std::string, 4>{"/3", "/5", "/4", "/2"}));
  list.AddRecentJob("/2");  // the fourth is not looked at: it drops out and comes back on top
  EXPECT_EQ(list.recentJobs, (std::array<std::string, 4>{"/2", "/3", "/5", "/4"}));

  list.targetDir = "/t";
  list.targetType = 3;
  ASSERT_TRUE(list.SaveWindowSettings(store));
  TraceOption edited;
  edited.i_AutoTraceWhat = TraceMethod::FillPattern;
  edited.batchActive = true;
  ASSERT_TRUE(list.Close(edited, store));
  EXPECT_EQ(edited, current) << "closing puts back the record the window started from";
  BatchJobList again(store, current);
  again.LoadWindowSettings(store);
  EXPECT_EQ(again.recentJobs, list.recentJobs);
  EXPECT_EQ(again.targetDir, "/t");
  EXPECT_EQ(again.targetType, 3);
}

}  // namespace
}  // namespace quillon::batch
