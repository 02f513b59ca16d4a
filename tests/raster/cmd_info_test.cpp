// quillon info on every sample format and on files it cannot read.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace quillon {
namespace {

std::string Sample(const std::string& name) { return test::SourcePath("data/samples/" + name); }

TEST(CliInfo, EverySampleFormat) {
  struct Expect {
    const char* name;
    const char* text;
  } samples[] = {
      {"lines_1bit.bmp", "width: 64\nheight: 48\nbits: 1\ndpi: 300\npages: 1\nsuggested_threshold: 0\n"},
      {"grey_8bit.bmp", "width: 64\nheight: 48\nbits: 8\ndpi: 300\npages: 1\n"},
      {"colour_24bit.jpg", "width: 64\nheight: 48\nbits: 24\ndpi: 300\npages: 1\n"},
      {"colour_24bit.tga", "width: 64\nheight: 48\nbits: 24\n"},
      {"grey_8bit.pcx", "width: 64\nheight: 48\nbits: 8\ndpi: 300\npages: 1\n"},
      {"pages_3.tif", "width: 40\nheight: 30\nbits: 1\ndpi: 200\npages: 3\nsuggested_threshold: 0\n"},
      {"sheet.tif", "width: 800\nheight: 600\nbits: 8\ndpi: 300\npages: 1\nsuggested_threshold: 224\n"},
  };
  test::TempDir config;
  for (const Expect& e : samples) {
    const test::CliResult r = test::RunCli({"info", Sample(e.name)}, config.path());
    EXPECT_EQ(r.status, 0) << e.name << ": " << r.err;
    EXPECT_EQ(r.out.rfind(e.text, 0), 0u) << e.name << ":\n" << r.out;
    EXPECT_NE(r.out.find("suggested_threshold: "), std::string::npos) << e.name;
    EXPECT_EQ(r.err, "") << e.name;
  }
}

TEST(CliInfo, UnreadableFilesGiveOneLineAndStatusOne) {
  test::TempDir dir;
  test::WriteFile(dir.file("broken.jpg"), "not a jpeg");
  test::WriteFile(dir.file("notes.txt"), "text");
  for (const std::string& path : {dir.file("broken.jpg"), dir.file("notes.txt"), dir.file("missing.bmp")}) {
    const test::CliResult r = test::RunCli({"info", path}, dir.path());
    EXPECT_EQ(r.status, 1) << path;
    EXPECT_EQ(r.out, "") << path;
    ASSERT_FALSE(r.err.empty()) << path;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
  }
}

TEST(CliInfo, MissingArgumentIsUsage) {
  test::TempDir dir;
  EXPECT_EQ(test::RunCli({"info"}, dir.path()).status, 2);
  EXPECT_EQ(test::RunCli({"info", "a.bmp", "b.bmp"}, dir.path()).status, 2);
}

}  // namespace
}  // namespace quillon
