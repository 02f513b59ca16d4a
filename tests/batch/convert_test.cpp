// One conversion from raster to vector file (ConvertFile / ConvertRaster) and
// the `quillon trace` command built on it.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "batch/convert.h"
#include "model/graph.h"
#include "raster/raster.h"
#include "support/test_support.h"

namespace quillon::batch {
namespace {

namespace fs = std::filesystem;

std::string Sample(const std::string& name) { return test::SourcePath("data/samples/" + name); }

struct Recorder : ConvertObserver {
  void Advance(int units) override { advanced += units; }
  bool Pump() override { return ++pumps >= stopAtPump; }
  void PageDone(const std::string& s, const std::string& t, int status) override {
    pages.push_back({s, t});
    pageStatus.push_back(status);
  }
  void FailureDetail(std::string_view m) override { details.emplace_back(m); }
  void Saved(const std::string& target, long entities) override { saved.push_back({target, std::to_string(entities)}); }

  int advanced = 0;
  int pumps = 0;
  int stopAtPump = 1 << 30;
  std::vector<std::pair<std::string, std::string>> pages;
  std::vector<int> pageStatus;
  std::vector<std::string> details;
  std::vector<std::pair<std::string, std::string>> saved;
};

ConvertJob CentreLineJob(int position = 0) {
  ConvertJob job;
  job.targetPosition = position;
  return job;
}

TEST(FreeTargetName, CountsUpUntilANameIsFree) {
  test::TempDir dir;
  EXPECT_EQ(FreeTargetName(dir.file("plan.dxf")), dir.file("plan.dxf"));
  test::WriteFile(dir.file("plan.dxf"), "x");
  EXPECT_EQ(FreeTargetName(dir.file("plan.dxf")), dir.file("plan0.dxf"));
  test::WriteFile(dir.file("plan0.dxf"), "x");
  EXPECT_EQ(FreeTargetName(dir.file("plan.dxf")), dir.file("plan1.dxf"));
  EXPECT_EQ(PageTargetName("/scans/plan.dxf", 2), "/scans/plan_2.dxf");
}

TEST(BatchLogText, FileLinesAndReasons) {
  EXPECT_EQ(FileLogText("a.tif", "a.dxf", kStatusConverted, "\r\n"), "a.tif ==> a.dxf    successfully!\r\n");
  EXPECT_EQ(FileLogText("a.tif", "a.dxf", kStatusSaveFailed),
            "a.tif ==> a.dxf    failure!\nFailure reason : Save vector file failed.\n");
  EXPECT_EQ(StatusReasonText(kStatusFillFailed), "Failure reason : Unkown reason.");
  EXPECT_EQ(StatusReasonText(42), "Failure reason : Unkown reason.");
  EXPECT_EQ(StatusReasonText(kStatusPagesConverted), "");
}

TEST(ConvertFile, SourcesThatCannotBeReadGiveStatusOne) {
  test::TempDir dir;
  test::CapturedMessages quiet;
  Recorder r;
  ConvertJob job = CentreLineJob();
  EXPECT_EQ(ConvertFile(dir.file("missing.tif"), dir.file("out.dxf"), job, r), kStatusOpenFailed);
  EXPECT_EQ(ConvertFile(dir.path(), dir.file("out.dxf"), job, r), kStatusOpenFailed);
  test::WriteFile(dir.file("junk.tif"), "not a tiff");
  EXPECT_EQ(ConvertFile(dir.file("junk.tif"), dir.file("out.dxf"), job, r), kStatusOpenFailed);
  EXPECT_EQ(r.details.size(), 3u);
  EXPECT_FALSE(fs::exists(dir.file("out.dxf")));
}

TEST(ConvertFile, OneBitSourceIsTracedAndSavedWithFullProgress) {
  test::TempDir dir;
  Recorder r;
  ConvertJob job = CentreLineJob();
  job.record.i_Gray = 99;
  ASSERT_EQ(ConvertFile(Sample("lines_1bit.bmp"), dir.file("lines.dxf"), job, r), kStatusConverted) << r.details.front();
  EXPECT_EQ(job.applied.i_Gray, 0) << "already 1-bit";
  EXPECT_EQ(job.record.i_Gray, 99) << "the working record stays as given";
  EXPECT_EQ(r.advanced, 100);
  ASSERT_EQ(r.saved.size(), 1u);
  EXPECT_GT(std::stol(r.saved[0].second), 0);
  EXPECT_EQ(test::ReadFile(dir.file("lines.dxf")).rfind("0\r\nSECTION\r\n", 0), 0u);
}

TEST(ConvertFile, LeavingTheDrawingToTheExitWritesTheSameFile) {
  test::TempDir dir;
  Recorder freed, left;
  ConvertJob job = CentreLineJob();
  ASSERT_EQ(ConvertFile(Sample("sheet.tif"), dir.file("freed.dxf"), job, freed), kStatusConverted);
  job.leaveDrawingAtExit = true;
  ASSERT_EQ(ConvertFile(Sample("sheet.tif"), dir.file("left.dxf"), job, left), kStatusConverted);
  EXPECT_EQ(left.saved.at(0).second, freed.saved.at(0).second);
  EXPECT_EQ(test::ReadFile(dir.file("left.dxf")), test::ReadFile(dir.file("freed.dxf")));
  EXPECT_EQ(ConvertFile(dir.file("missing.tif"), dir.file("x.dxf"), job, left), kStatusOpenFailed);
}

TEST(ConvertFile, ThresholdAppliedIsRecorded) {
  test::TempDir dir;
  Recorder r;
  ConvertJob fixed = CentreLineJob(6);  // R10
  fixed.record.b_AutoGray = false;
  fixed.record.i_Gray = 100;
  ASSERT_EQ(ConvertFile(Sample("grey_8bit.bmp"), dir.file("g.dxf"), fixed, r), kStatusConverted);
  EXPECT_EQ(fixed.applied.i_Gray, 100);
  EXPECT_NE(test::ReadFile(dir.file("g.dxf")).find("AC1006"), std::string::npos);

  raster::CRaster grey;
  ASSERT_TRUE(grey.load(Sample("grey_8bit.bmp")));
  ConvertJob automatic = CentreLineJob();
  automatic.record.b_AutoGray = true;
  ASSERT_EQ(ConvertFile(Sample("grey_8bit.bmp"), dir.file("a.dxf"), automatic, r), kStatusConverted);
  EXPECT_EQ(automatic.applied.i_Gray, grey.automaticThreshold());
}

TEST(ConvertFile, MultiPageSourceIsConvertedPageByPage) {
  test::TempDir dir;
  Recorder r;
  ConvertJob job = CentreLineJob();
  ASSERT_EQ(ConvertFile(Sample("pages_3.tif"), dir.file("plan.dxf"), job, r), kStatusPagesConverted);
  ASSERT_EQ(r.pages.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(r.pages[i].first, Sample("pages_3_" + std::to_string(i) + ".tif"));
    EXPECT_EQ(r.pages[i].second, dir.file("plan_" + std::to_string(i) + ".dxf"));
    EXPECT_EQ(r.pageStatus[i], kStatusConverted);
    EXPECT_TRUE(fs::exists(r.pages[i].second));
  }
  EXPECT_FALSE(fs::exists(dir.file("plan.dxf")));
  EXPECT_LE(r.advanced, 100);
  EXPECT_GE(r.advanced, 96) << "each page gets a third of the steps, truncated";
}

TEST(ConvertFile, StopSaveFailureAndEmptyTraceLeaveFilesAlone) {
  test::TempDir dir;
  {
    Recorder r;
    r.stopAtPump = 1;  // the first pump, after the threshold
    ConvertJob job = CentreLineJob();
    EXPECT_EQ(ConvertFile(Sample("sheet.tif"), dir.file("stopped.dxf"), job, r), kStatusStopped);
    EXPECT_FALSE(fs::exists(dir.file("stopped.dxf")));
  }
  {
    Recorder r;
    ConvertJob job = CentreLineJob();
    EXPECT_EQ(ConvertFile(Sample("sheet.tif"), dir.file("no/dir/x.dxf"), job, r), kStatusSaveFailed);
    ASSERT_FALSE(r.details.empty());
    EXPECT_NE(r.details.back().find("x.dxf"), std::string::npos) << r.details.back();
  }
  {
    // A previous file survives a failed conversion into it.
    test::WriteFile(dir.file("keep.dxf"), "previous");
    model::CGraph empty;
    empty.setCurrentLayerByName("Trace");
    ASSERT_TRUE(empty.raster().create(16, 16, 1));  // nothing to trace
    Recorder r;
    ConvertJob job = CentreLineJob();
    EXPECT_EQ(ConvertRaster(empty, dir.file("keep.dxf"), job, 1, r), kStatusNoVector);
    EXPECT_EQ(test::ReadFile(dir.file("keep.dxf")), "previous");
    ASSERT_FALSE(r.details.empty());
    EXPECT_EQ(r.details.back(), "no vectors were traced for " + dir.file("keep.dxf") + " (the raster was already 1-bit)");
  }
  {
    // A grey page whose fixed threshold leaves no ink says which threshold did it.
    model::CGraph grey;
    grey.setCurrentLayerByName("Trace");
    ASSERT_TRUE(grey.raster().create(16, 16, 8));
    Recorder r;
    ConvertJob job = CentreLineJob();
    job.record.b_AutoGray = false;
    job.record.i_Gray = 0;
    EXPECT_EQ(ConvertRaster(grey, dir.file("grey.dxf"), job, 1, r), kStatusNoVector);
    ASSERT_FALSE(r.details.empty());
    EXPECT_NE(r.details.back().find("(fixed threshold 0 of 255)"), std::string::npos) << r.details.back();
  }
}

TEST(ConvertFile, ParallelConversionsWithTheirOwnJobs) {
  test::TempDir dir;
  std::vector<int> results(4, -1);
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&, i] {
      Recorder r;
      ConvertJob job = CentreLineJob(i % 2 ? 6 : 0);
      job.record.b_AutoGray = i % 2 == 0;
      results[i] = ConvertFile(Sample(i % 2 ? "sheet.tif" : "grey_8bit.bmp"), dir.file("p" + std::to_string(i) + ".dxf"), job, r);
    });
  }
  for (auto& t : threads) t.join();
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(results[i], kStatusConverted) << i;
    EXPECT_TRUE(fs::exists(dir.file("p" + std::to_string(i) + ".dxf")));
  }
}

// --- quillon trace --------------------------------------------------------------------

class TraceCommand : public ::testing::Test {
 protected:
  test::CliResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), "trace");
    return test::RunCli(args, config.path());
  }
  static int LineCount(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

  test::TempDir config;
  test::TempDir dir;
};

TEST_F(TraceCommand, TracesToTheFormatOfTheOutputName) {
  auto r = Run({Sample("sheet.tif"), "-o", dir.file("sheet.dxf"), "--defaults"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("wrote " + dir.file("sheet.dxf")), std::string::npos) << r.out;
  EXPECT_NE(test::ReadFile(dir.file("sheet.dxf")).find("AC1014"), std::string::npos);

  r = Run({Sample("sheet.tif"), "-o", dir.file("sheet-r10.dxf"), "-f", "dxf-r10", "--no-width", "-q"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out.empty());
  EXPECT_NE(test::ReadFile(dir.file("sheet-r10.dxf")).find("AC1006"), std::string::npos);

  // HP-GL's other extensions pick HP-GL; an extension that names no format
  // is refused with the formats listed, and nothing is written.
  r = Run({Sample("sheet.tif"), "-o", dir.file("sheet.hpgl"), "-q"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::ReadFile(dir.file("sheet.hpgl")).rfind("IN;", 0), 0u);
  r = Run({Sample("sheet.tif"), "-o", dir.file("sheet.png"), "-q"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("'.png'"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(".svgz"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir.file("sheet.png")));
}

TEST_F(TraceCommand, DefaultOutputIsTheInputWithTheFormatsExtension) {
  fs::copy_file(Sample("lines_1bit.bmp"), dir.file("lines.bmp"));
  auto r = Run({dir.file("lines.bmp"), "--set", "Connect=0", "--threshold", "auto", "-q"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir.file("lines.dxf")));
}

TEST_F(TraceCommand, BadInputGivesOneLineAndTouchesNoOutput) {
  const std::string out = dir.file("out.dxf");
  test::WriteFile(dir.file("junk.tif"), "junk");
  fs::create_directory(dir.file("locked"));
  fs::permissions(dir.file("locked"), fs::perms::owner_read | fs::perms::owner_exec);
  struct Case {
    std::vector<std::string> args;
    int status;
  };
  const std::vector<Case> cases = {
      {{dir.file("missing.tif"), "-o", out}, 1},
      {{dir.file("junk.tif"), "-o", out}, 1},
      {{dir.path(), "-o", out}, 1},
      {{Sample("sheet.tif"), "-o", dir.file("no/such/dir/out.dxf")}, 1},
      {{Sample("sheet.tif"), "-o", out, "-f", "dwg"}, 2},
      {{Sample("sheet.tif"), "-o", out, "-m", "sketch"}, 2},
      {{Sample("sheet.tif"), "-o", out, "--threshold", "300"}, 2},
      {{Sample("sheet.tif"), "-o", out, "--size", "10,0,mm"}, 2},
      {{Sample("sheet.tif"), "-o", out, "--set", "NoSuchKey=1"}, 2},
      {{Sample("sheet.tif"), "-o", out, "--bogus"}, 2},
      {{"-o", out}, 2},
  };
  for (const auto& c : cases) {
    auto r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << r.err;
    // A usage error names the option on its first line and shows the usage on the second.
    const int lines = LineCount(r.err);
    EXPECT_TRUE(lines == 1 || (c.status == 2 && lines == 2)) << r.err;
    EXPECT_EQ(r.err.rfind("quillon: ", 0), 0u) << r.err;
    EXPECT_FALSE(fs::exists(out)) << c.args[0];
  }
  if (::geteuid() != 0) {  // root writes anywhere
    auto r = Run({Sample("sheet.tif"), "-o", dir.file("locked/out.dxf")});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(LineCount(r.err), 1);
  }
  // An existing output stays as it was when the conversion fails.
  test::WriteFile(out, "previous");
  auto r = Run({dir.file("junk.tif"), "-o", out});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(test::ReadFile(out), "previous");
  // The input is never overwritten by its own output.
  fs::copy_file(Sample("lines_1bit.bmp"), dir.file("self.bmp"));
  r = Run({dir.file("self.bmp"), "-o", dir.file("self.bmp"), "-f", "dxf"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(test::ReadFile(dir.file("self.bmp")), test::ReadFile(Sample("lines_1bit.bmp")));
  fs::permissions(dir.file("locked"), fs::perms::owner_all);
}

}  // namespace
}  // namespace quillon::batch
