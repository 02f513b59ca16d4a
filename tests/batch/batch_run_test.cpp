// The batch run and its log: the log's exact text, targets, multi-page
// sources, thresholds, a stop part way, bad rows, the target directory and
// power-off (always a fake here).

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "batch/batch_run.h"
#include "batch/convert.h"
#include "platform/key_value_store.h"
#include "raster/raster.h"
#include "support/test_support.h"

namespace quillon::batch {
namespace {

namespace fs = std::filesystem;

std::string Sample(const std::string& name) { return test::SourcePath("data/samples/" + name); }

// The log's times come from a fixed clock, so whole logs compare exactly.
constexpr std::time_t kWhen = 1765271467;  // any fixed instant

struct Host : BatchRunHost {
  bool ConfirmCreateTargetDir(const std::string& q) override {
    questions.push_back(q);
    return createDir;
  }
  void Pump() override {
    ++pumps;
    // The first pump after the row is the run's own; the next one is inside
    // the following row.
    if (run && stopAfterRows >= 0 && logged >= stopAfterRows && ++pumpsAfter >= 2) run->RequestStop();
  }
  void RowLogged(size_t, const std::string&, const std::string&, int status, const std::string&) override {
    statuses.push_back(status);
    ++logged;
  }
  void Finished(const std::string& m, bool) override { finished.push_back(m); }

  BatchRun* run = nullptr;
  int stopAfterRows = -1;
  int logged = 0;
  int pumps = 0;
  int pumpsAfter = 0;
  bool createDir = true;
  std::vector<std::string> questions;
  std::vector<int> statuses;
  std::vector<std::string> finished;
};

class Run : public ::testing::Test {
 protected:
  BatchRunSummary Go(int jobs = 1) {
    BatchRunOptions options;
    options.jobs = jobs;
    options.clock = [] { return kWhen; };
    options.powerOff = [this] {
      ++powerOffs;
      return true;
    };
    host.run = &run;
    return run.RunBatch(list, host, options);
  }
  std::string Log() { return test::ReadFile(out.file("QuillonBatch.log")); }

  platform::MemoryKeyValueStore store;
  settings::TraceOption current;
  BatchJobList list{store, current};
  BatchRun run;
  Host host;
  test::TempDir src;
  test::TempDir out;
  test::CapturedMessages messages;
  int powerOffs = 0;
};

TEST_F(Run, LogOfAOneBitSourceReadsExactly) {
  list.working().s_WidthSeries.LoadDefault();
  list.AddJob(Sample("lines_1bit.bmp"), 0);
  list.targetDir = out.path();
  const BatchRunSummary s = Go();
  ASSERT_TRUE(s.ran);
  EXPECT_EQ(s.logPath, out.file("QuillonBatch.log"));
  const std::string time = LogTimeText(kWhen);
  const std::string expected =
      "The detailed of Quillon batch process : \r\n"
      "Start time : " + time + "\r\n" + std::string(53, '=') + "\r\n\r\n" +
      Sample("lines_1bit.bmp") + " ==> " + out.file("lines_1bit.dxf") + "    successfully!\r\n"
      "Trace parameter : \r\n"
      "The raster already is 1-bit image!\r\n"
      "Method=Center\r\nChart type= pre_Default\r\nStraighten intension= 2.000\r\nRecognise circle and arc.\r\n"
      "Calculate width.\r\nWidth series name = Default\r\nConnect adjacent line.\r\nConnect distance = 5\r\n"
      "Adjust angle.\r\nAngle series: Default\r\nDelete mix-up line.\r\nLength = 10\r\n" +
      std::string(53, '=') + "\r\n\r\n"
      "The number of total files is 1\r\n"
      "The number of converting successfully files is 1\r\n"
      "The number of converting failure files is 0\r\n"
      "Finish time : " + time + "\r\n";
  EXPECT_EQ(Log(), expected);
  EXPECT_TRUE(fs::exists(out.file("lines_1bit.dxf")));
  ASSERT_EQ(host.finished.size(), 1u);
  EXPECT_EQ(host.finished[0], "Batch process finished!\nThe detailed is in the file:\n" + s.logPath);
  EXPECT_EQ(powerOffs, 0);
}

TEST_F(Run, SameNameTwiceMultiPageAndThresholds) {
  fs::create_directories(src.file("a"));
  fs::create_directories(src.file("b"));
  fs::copy_file(Sample("lines_1bit.bmp"), src.file("a/part.bmp"));
  fs::copy_file(Sample("grey_8bit.bmp"), src.file("b/part.bmp"));
  fs::copy_file(Sample("pages_3.tif"), src.file("plan.tif"));
  list.AddJob(src.file("a/part.bmp"), 0);
  list.working().b_AutoGray = true;
  list.AddJob(src.file("b/part.bmp"), 1);
  list.working().b_AutoGray = false;
  list.working().i_Gray = 100;
  list.AddJob(Sample("grey_8bit.bmp"), 2);
  list.AddJob(src.file("plan.tif"), 3);
  list.targetDir = out.path();
  list.overwrite = false;
  list.targetType = 5;  // PDF
  list.powerOff = true;
  const BatchRunSummary s = Go();
  EXPECT_EQ(s.converted, 4);
  EXPECT_EQ(s.failed, 0);
  EXPECT_EQ(powerOffs, 1) << "power-off after a full run goes through the injected call";
  EXPECT_TRUE(host.finished.empty());

  const std::string log = Log();
  EXPECT_NE(log.find(src.file("a/part.bmp") + " ==> " + out.file("part.pdf") + "    successfully!\r\n"), std::string::npos);
  EXPECT_NE(log.find(src.file("b/part.bmp") + " ==> " + out.file("part0.pdf") + "    successfully!\r\n"), std::string::npos);
  raster::CRaster grey;
  ASSERT_TRUE(grey.load(Sample("grey_8bit.bmp")));
  EXPECT_NE(log.find("Auto detect 1-bit image threshold!\r\nSuggest threshold = " +
                     std::to_string(grey.automaticThreshold()) + "\r\n"),
            std::string::npos);
  EXPECT_NE(log.find("Trace parameter : \r\nThreshold = 100\r\n"), std::string::npos);
  for (int i = 0; i < 3; ++i) {
    const std::string page = src.file("plan_" + std::to_string(i) + ".tif") + " ==> " +
                             out.file("plan_" + std::to_string(i) + ".pdf") + "    successfully!\r\n";
    EXPECT_NE(log.find(page), std::string::npos) << page;
    EXPECT_TRUE(fs::exists(out.file("plan_" + std::to_string(i) + ".pdf")));
  }
  EXPECT_EQ(log.find(src.file("plan.tif") + " ==> "), std::string::npos) << "no file line for a multi-page source";
  // One parameter block per row, the pages sharing theirs.
  size_t blocks = 0;
  for (size_t at = log.find("Trace parameter"); at != std::string::npos; at = log.find("Trace parameter", at + 1)) ++blocks;
  EXPECT_EQ(blocks, 4u);
  EXPECT_NE(log.find("The number of converting successfully files is 4\r\n"), std::string::npos);
  // A PDF target gets an 11 x 8.5 inch page.
  EXPECT_NE(test::ReadFile(out.file("part.pdf")).find("/MediaBox [0 0 792 612]"), std::string::npos);
}

TEST_F(Run, StopDuringTheThirdOfFiveRows) {
  for (int i = 0; i < 5; ++i) {
    fs::copy_file(Sample("sheet.tif"), src.file("s" + std::to_string(i) + ".tif"));
    list.AddJob(src.file("s" + std::to_string(i) + ".tif"), static_cast<size_t>(i));
  }
  list.targetDir = out.path();
  host.stopAfterRows = 2;  // the first pump inside the third row
  const BatchRunSummary s = Go();
  EXPECT_TRUE(s.stopped);
  EXPECT_EQ(host.statuses, (std::vector<int>{kStatusConverted, kStatusConverted, kStatusStopped}));
  const std::string log = Log();
  EXPECT_NE(log.find(src.file("s2.tif") + " ==> " + out.file("s2.dxf") +
                     "    failure!\r\nFailure reason : Unkown reason.\r\nTrace parameter : \r\n"),
            std::string::npos);
  const std::string tail = std::string(53, '=') + "\r\n\r\nUser break!\r\n"
                           "The number of total files is 5\r\n"
                           "The number of converting successfully files is 2\r\n"
                           "The number of converting failure files is 1\r\n"
                           "The number of not convert files for user break is 2\r\n"
                           "Finish time : " + LogTimeText(kWhen) + "\r\n";
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
  EXPECT_FALSE(fs::exists(out.file("s2.dxf")));
  EXPECT_FALSE(fs::exists(out.file("s3.dxf")));
  ASSERT_EQ(host.finished.size(), 1u);
  EXPECT_EQ(host.finished[0], "User break!\nThe detailed information is in the file:\n" + s.logPath);
  EXPECT_EQ(powerOffs, 0) << "no power-off after a stop";
}

// Page targets are chosen like row targets: with Overwrite off a page never
// replaces a file that was there before the run, and no page and row of one
// run share a target, with one job or two.
TEST_F(Run, PageTargetsKeepExistingFilesAndOtherRowsTargets) {
  fs::copy_file(Sample("pages_3.tif"), src.file("plan.tif"));
  fs::copy_file(Sample("lines_1bit.bmp"), src.file("plan_0.bmp"));
  list.AddJob(src.file("plan.tif"), 0);
  list.AddJob(src.file("plan_0.bmp"), 1);
  list.targetDir = out.path();
  list.overwrite = false;
  std::string logs[2];
  for (int jobs : {1, 2}) {
    fs::remove_all(out.path());
    fs::create_directories(out.path());
    test::WriteFile(out.file("plan_1.dxf"), "kept");
    ASSERT_TRUE(Go(jobs).ran);
    logs[jobs - 1] = Log();
    EXPECT_EQ(test::ReadFile(out.file("plan_1.dxf")), "kept");
    for (const char* name : {"plan_0", "plan_10", "plan_2", "plan_00"}) {
      EXPECT_TRUE(fs::exists(out.file(std::string(name) + ".dxf"))) << name << " with " << jobs << " jobs";
    }
  }
  EXPECT_NE(logs[0].find(src.file("plan_1.tif") + " ==> " + out.file("plan_10.dxf") + "    successfully!"),
            std::string::npos);
  EXPECT_NE(logs[0].find(src.file("plan_0.bmp") + " ==> " + out.file("plan_00.dxf") + "    successfully!"),
            std::string::npos);
  EXPECT_EQ(logs[0], logs[1]);
}

TEST_F(Run, BadRowsAreLoggedAndGoodRowsConvert) {
  test::WriteFile(src.file("corrupt.bmp"), "BM not really a bitmap");
  test::WriteFile(src.file("unreadable.bmp"), test::ReadFile(Sample("lines_1bit.bmp")));
  fs::permissions(src.file("unreadable.bmp"), fs::perms::none);
  const bool canRestrict = ::access(src.file("unreadable.bmp").c_str(), R_OK) != 0;  // not as root
  fs::create_directories(src.file("folder.bmp"));
  test::WriteFile(src.file("blank.txt"), "");
  list.AddFiles({src.file("missing.bmp"), src.file("folder.bmp"), src.file("corrupt.bmp"), src.file("unreadable.bmp"),
                 Sample("lines_1bit.bmp"), Sample("lines_1bit.bmp")});
  list.targetDir = out.path();
  list.overwrite = true;
  const BatchRunSummary s = Go();
  fs::permissions(src.file("unreadable.bmp"), fs::perms::owner_all);
  ASSERT_TRUE(s.ran);
  EXPECT_EQ(s.failed, canRestrict ? 4 : 3);
  EXPECT_EQ(s.converted, canRestrict ? 2 : 3);
  const std::string log = Log();
  for (const char* name : {"missing", "folder", "corrupt"}) {
    const std::string line = src.file(std::string(name) + ".bmp") + " ==> " + out.file(std::string(name) + ".dxf") +
                             "    failure!\r\nFailure reason : open file failed.\r\n";
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }
  // The same source twice: even with overwrite on, the second row does not
  // replace what the first wrote in this run.
  EXPECT_NE(log.find(" ==> " + out.file("lines_1bit.dxf") + "    successfully!"), std::string::npos);
  EXPECT_NE(log.find(" ==> " + out.file("lines_1bit0.dxf") + "    successfully!"), std::string::npos);
}

TEST_F(Run, TargetDirectoryIsCreatedOnRequestOnlyBelowAnExistingParent) {
  list.AddJob(Sample("lines_1bit.bmp"), 0);
  list.targetDir = out.file("new");
  host.createDir = false;
  EXPECT_FALSE(Go().ran);
  EXPECT_FALSE(fs::exists(out.file("new")));
  ASSERT_EQ(host.questions.size(), 1u);
  EXPECT_EQ(host.questions[0], "The target path does not exist, would you like to create it?");

  host.createDir = true;
  const BatchRunSummary s = Go();
  ASSERT_TRUE(s.ran);
  EXPECT_EQ(s.logPath, out.file("new/QuillonBatch.log"));
  EXPECT_TRUE(fs::exists(out.file("new/lines_1bit.dxf")));
  const std::string log = test::ReadFile(s.logPath);
  EXPECT_NE(log.find("Target directory : " + out.file("new") + "/\r\n"), std::string::npos) << log;

  // A missing parent is a typing error, not a request for a tree of folders.
  list.targetDir = out.file("missing/deeper");
  EXPECT_FALSE(Go().ran);
  EXPECT_FALSE(fs::exists(out.file("missing")));
  EXPECT_EQ(messages.messages().back(),
            "The target directory can not be created! (" + out.file("missing") + " does not exist)");

  test::WriteFile(out.file("file"), "x");
  list.targetDir = out.file("file/sub");
  EXPECT_FALSE(Go().ran);
  EXPECT_TRUE(messages.messages().back().starts_with("The target directory can not be created! ("));
}

TEST_F(Run, RelativeTargetOfAJobFileMeansTheJobFilesFolder) {
  fs::create_directories(src.file("jobs"));
  fs::copy_file(Sample("lines_1bit.bmp"), src.file("jobs/l.bmp"));
  test::WriteFile(src.file("jobs/run.trj"),
                  "[General]\r\nTargetPath=../results\r\nJobCount=1\r\n[Job0]\r\nFile=l.bmp\r\n");
  ASSERT_TRUE(list.ReadJobFile(src.file("jobs/run.trj")));
  EXPECT_EQ(list.targetDir, src.file("results"));
  const fs::path before = fs::current_path();
  fs::current_path(out.path());  // wherever it is run from
  const BatchRunSummary s = Go();
  fs::current_path(before);
  ASSERT_TRUE(s.ran);
  EXPECT_TRUE(fs::exists(src.file("results/l.dxf")));
  EXPECT_TRUE(fs::is_empty(out.path()));
}

TEST_F(Run, WithoutTargetDirectoryTargetsSitBesideTheSources) {
  fs::copy_file(Sample("lines_1bit.bmp"), src.file("l.bmp"));
  list.AddJob(src.file("l.bmp"), 0);
  BatchRunOptions options;
  options.programDirectory = out.path();
  options.clock = [] { return kWhen; };
  const BatchRunSummary s = run.RunBatch(list, host, options);
  EXPECT_EQ(s.logPath, out.file("QuillonBatch.log"));
  EXPECT_TRUE(fs::exists(src.file("l.dxf")));
}

TEST_F(Run, RunBatchWhileRunningOnlyAsksToStop) {
  for (int i = 0; i < 3; ++i) list.AddJob(Sample("lines_1bit.bmp"), 0);
  list.targetDir = out.path();
  struct Reentering : Host {
    void Pump() override {
      if (!entered && outer) {
        entered = true;
        EXPECT_FALSE(outer->RunBatch(*jobs, *this).ran);
      }
    }
    BatchRun* outer = nullptr;
    BatchJobList* jobs = nullptr;
    bool entered = false;
  } reentering;
  reentering.outer = &run;
  reentering.jobs = &list;
  const BatchRunSummary s = run.RunBatch(list, reentering);
  EXPECT_TRUE(s.stopped);
  EXPECT_LT(s.converted + s.failed, 3);
  EXPECT_FALSE(run.running());
}

TEST(BatchCommand, RunsAJobFileAndSaysWhereTheLogIs) {
  test::TempDir config;
  test::TempDir dir;
  test::WriteFile(dir.file("job.trj"), "[General]\nJobCount=3\nOverwrite=0\nPowerOff=0\n[Job0]\nFile=" +
                                           Sample("lines_1bit.bmp") + "\n[Job1]\nFile=" + Sample("grey_8bit.bmp") +
                                           "\nMethod=Outline\n[Job2]\nFile=" + Sample("lines_1bit.bmp") + "\n");
  test::CliResult r = test::RunCli({"batch", dir.file("job.trj"), "--jobs", "2", "--format", "svg", "--target-dir",
                                    dir.file("out")},
                                   config.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("log: " + dir.file("out/QuillonBatch.log")), std::string::npos) << r.out;
  EXPECT_TRUE(fs::exists(dir.file("out/lines_1bit.svg")));
  EXPECT_TRUE(fs::exists(dir.file("out/lines_1bit0.svg")));
  EXPECT_TRUE(fs::exists(dir.file("out/grey_8bit.svg")));

  test::WriteFile(dir.file("bad.trj"), "[General]\nJobCount=1\nPowerOff=0\n[Job0]\nFile=" + dir.file("nothing.bmp") + "\n");
  r = test::RunCli({"batch", dir.file("bad.trj"), "--target-dir", dir.file("out2")}, config.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("nothing.bmp"), std::string::npos) << r.err;
  EXPECT_NE(test::ReadFile(dir.file("out2/QuillonBatch.log")).find("Failure reason : open file failed."), std::string::npos);

  EXPECT_EQ(test::RunCli({"batch", dir.file("none.trj")}, config.path()).status, 1);
  EXPECT_EQ(test::RunCli({"batch"}, config.path()).status, 2);
  EXPECT_EQ(test::RunCli({"batch", dir.file("job.trj"), "--jobs", "0"}, config.path()).status, 2);
  EXPECT_EQ(test::RunCli({"batch", dir.file("job.trj"), "--format", "gif"}, config.path()).status, 2);
}

}  // namespace
}  // namespace quillon::batch
