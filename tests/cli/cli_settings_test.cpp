// Settings written from the command line: chart types, width and angle
// series, job files; and what `cmake --install` would ship (the generated
// man page and completions).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "batch/batch_job.h"
#include "formats/format_table.h"
#include "platform/key_value_store.h"
#include "settings/trace_option.h"
#include "support/test_support.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

std::string Sample(const std::string& name) { return test::SourcePath("data/samples/" + name); }

class SettingsCommands : public ::testing::Test {
 protected:
  test::CliResult Run(const std::vector<std::string>& args) { return test::RunCli(args, config.path()); }
  test::TempDir config;
  test::TempDir dir;
};

TEST_F(SettingsCommands, ChartTypesAreStoredListedUsedAndDeleted) {
  test::CliResult r = Run({"params", "--defaults", "--set", "Connect=0", "--set", "Straighten=1.5", "--save-chart-type",
                           "Plans"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Run({"params", "--list-chart-types"}).out, "Plans\npre_Engineering\npre_Topography\npre_Default\n");
  // A listed name (stored or built in, any case) is only replaced on request.
  for (const char* name : {"plans", "pre_Default"}) {
    r = Run({"params", "--defaults", "--save-chart-type", name});
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_NE(r.err.find("--overwrite"), std::string::npos) << r.err;
  }
  EXPECT_EQ(Run({"params", "--save-chart-type", "a\\b"}).status, 2);
  EXPECT_NE(Run({"params", "--chart-type", "Plans"}).out.find("Straighten=1.500\n"), std::string::npos);
  r = Run({"params", "--defaults", "--chart-type", "Plans", "--set", "Connect=1", "--save-chart-type", "Plans",
           "--overwrite"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(Run({"params", "--chart-type", "Plans"}).out.find("\nConnect=1\n"), std::string::npos);
  // The trace uses it.
  r = Run({"trace", Sample("lines_1bit.bmp"), "--chart-type", "Plans", "-o", dir.file("p.dxf")});
  EXPECT_EQ(r.status, 0) << r.err;

  EXPECT_EQ(Run({"params", "--delete-chart-type", "PLANS"}).status, 0);
  EXPECT_EQ(Run({"params", "--delete-chart-type", "Plans"}).status, 1);
  EXPECT_EQ(Run({"params", "--delete-chart-type", "pre_Default"}).status, 1);
  EXPECT_EQ(Run({"params", "--chart-type", "Plans"}).status, 1);
}

// The stored budget holds for every trace until a run's --max-memory or a
// stored 0 lifts it.
TEST_F(SettingsCommands, StoredMemoryBudgetLimitsTracesUntilOverridden) {
  test::CliResult r = Run({"params", "--max-memory", "1M"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "stored MaxMemory 1M\n");
  EXPECT_NE(Run({"params"}).out.find("Memory budget = 1M\n\n"), std::string::npos);
  r = Run({"trace", Sample("sheet.tif"), "-q", "-o", dir.file("a.dxf")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("memory"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir.file("a.dxf")));
  r = Run({"trace", Sample("sheet.tif"), "-q", "--max-memory", "4G", "-o", dir.file("b.dxf")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Run({"params", "--max-memory", "lots"}).status, 2);
  EXPECT_EQ(Run({"params", "--max-memory", "0"}).status, 0);
  EXPECT_EQ(Run({"params"}).out.find("Memory budget"), std::string::npos);
  r = Run({"trace", Sample("sheet.tif"), "-q", "-o", dir.file("c.dxf")});
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(SettingsCommands, WidthAndAngleSeriesFollowThePageRules) {
  test::CliResult r = Run({"series", "width", "add", "Pens", "0.5", "0.25", "1", "0.25", "--unit", "mm", "--beyond", "keep"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Run({"series", "width", "list"}).out, "Pens\nDefault\n");
  r = Run({"series", "width", "show", "Pens"});
  EXPECT_EQ(r.out, "name: Pens\nunit: mm\nbeyond: Keep original width\nwidths: 0.250 0.500 1.000\n");
  EXPECT_EQ(Run({"series", "width", "add", "pens", "2"}).status, 1);  // listed: needs --overwrite
  EXPECT_EQ(Run({"series", "width", "add", "Bad", "x"}).status, 2);
  EXPECT_EQ(Run({"series", "width", "delete", "Default"}).status, 1);

  r = Run({"series", "angle", "add", "Survey", "0,0,3", "90,87,93", "45,44,46"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Run({"series", "angle", "show", "Survey"}).out,
            "name: Survey\n0.000,0.000,3.000\n45.000,44.000,46.000\n90.000,87.000,93.000\n");
  EXPECT_EQ(Run({"series", "angle", "add", "Overlap", "0,0,10", "5,2,12"}).status, 1);
  EXPECT_EQ(Run({"series", "angle", "add", "Outside", "20,0,10"}).status, 2);  // main outside its range
  EXPECT_EQ(Run({"series", "angle", "delete", "Ortho series"}).status, 1);

  // The series are what the parameters and the trace use.
  r = Run({"params", "--defaults", "--set", "Width=1", "--set", "WidthSeries=Pens", "--set", "Force=1", "--set",
           "AngleSeries=Survey"});
  EXPECT_NE(r.out.find("Width series name = Pens"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Angle series: Survey"), std::string::npos) << r.out;
  r = Run({"trace", "--defaults", Sample("lines_1bit.bmp"), "--set", "Width=1", "--set", "WidthSeries=Pens", "-o",
           dir.file("w.dxf")});
  EXPECT_EQ(r.status, 0) << r.err;

  EXPECT_EQ(Run({"series", "width", "delete", "Pens"}).status, 0);
  EXPECT_EQ(Run({"series", "width", "list"}).out, "Default\n");
  EXPECT_EQ(Run({"series", "angle", "delete", "Survey"}).status, 0);
}

TEST_F(SettingsCommands, JobFilesMadeByMakeJobRunInBatch) {
  fs::create_directories(dir.file("scans"));
  fs::copy_file(Sample("lines_1bit.bmp"), dir.file("scans/a.bmp"));
  fs::copy_file(Sample("grey_8bit.bmp"), dir.file("scans/b.bmp"));
  test::CliResult r = Run({"batch", "--make-job", dir.file("job.trj"), "--defaults", "-m", "outline", "--threshold",
                           "120", "-f", "svg", "--target-dir", dir.file("out"), dir.file("scans"),
                           Sample("sheet.tif")});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string text = test::ReadFile(dir.file("job.trj"));
  EXPECT_NE(text.find("File=scans/a.bmp\r\n"), std::string::npos) << text;  // below the job file: relative
  EXPECT_NE(text.find("File=" + Sample("sheet.tif") + "\r\n"), std::string::npos) << text;

  // Read back as the desktop batch window reads it.
  platform::MemoryKeyValueStore store;
  batch::BatchJobList list(store, settings::TraceOption());
  ASSERT_TRUE(list.ReadJobFile(dir.file("job.trj")));
  ASSERT_EQ(list.size(), 3u);
  for (size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(list.row(i).record.i_AutoTraceWhat, settings::TraceMethod::Outline);
    EXPECT_FALSE(list.row(i).record.b_AutoGray);
    EXPECT_EQ(list.row(i).record.i_Gray, 120);
  }
  EXPECT_EQ(list.targetType, formats::FindFormatByName("svg")->index - 1);

  r = Run({"batch", dir.file("job.trj"), "-q"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir.file("out/a.svg")));
  EXPECT_TRUE(fs::exists(dir.file("out/b.svg")));
  EXPECT_TRUE(fs::exists(dir.file("out/sheet.svg")));

  EXPECT_EQ(Run({"batch", "--make-job", dir.file("j2.trj")}).status, 2);                        // nothing to list
  EXPECT_EQ(Run({"batch", "--make-job", dir.file("j2.trj"), dir.file("none.bmp")}).status, 1);  // no such file
  EXPECT_EQ(Run({"batch", dir.file("job.trj"), "-m", "fill"}).status, 2);  // parameters only with --make-job
  EXPECT_FALSE(fs::exists(dir.file("j2.trj")));
}

TEST_F(SettingsCommands, ManPageAndCompletionsComeFromTheOptions) {
  ASSERT_EQ(Run({"manpage", "-o", dir.file("quillon.1")}).status, 0);
  const std::string page = test::ReadFile(dir.file("quillon.1"));
  EXPECT_EQ(page.rfind(".TH QUILLON 1", 0), 0u);
  for (const char* text : {"quillon trace [OPTIONS] INPUT...", "\\-\\-deskew", "\\-\\-make\\-job",
                           "quillon series width add", "QUILLON_CONFIG_DIR"}) {
    EXPECT_NE(page.find(text), std::string::npos) << text;
  }
  // groff reads it without a warning.
  const std::string warnings = dir.file("groff.txt");
  if (std::system(("command -v groff >/dev/null && groff -man -Tutf8 -ww -z " + dir.file("quillon.1") + " 2>" +
                   warnings).c_str()) == 0) {
    EXPECT_EQ(test::ReadFile(warnings), "");
  }

  // bash completes commands, options and choices.
  ASSERT_EQ(Run({"completion", "bash", "-o", dir.file("quillon.bash")}).status, 0);
  const std::string script = dir.file("complete.sh");
  test::WriteFile(script, "source " + dir.file("quillon.bash") + "\n"
                          "c() { COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _quillon; echo \"${COMPREPLY[*]}\"; }\n"
                          "c quillon tr\nc quillon trace --uni\nc quillon trace --unit ''\nc quillon series width ''\n");
  const std::string out = dir.file("complete.out");
  ASSERT_EQ(std::system(("bash " + script + " >" + out + " 2>&1").c_str()), 0);
  EXPECT_EQ(test::ReadFile(out), "trace\n--unit\npx mm cm in\nlist show add delete -h --help\n");

  ASSERT_EQ(Run({"completion", "zsh"}).out.rfind("#compdef quillon\n", 0), 0u);
  EXPECT_EQ(Run({"completion", "fish"}).status, 2);
}

}  // namespace
}  // namespace quillon
