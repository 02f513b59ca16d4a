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

TEST(CliInfo, DamagedPixelsStillPrintTheSize) {
  test::TempDir dir;
  // A 6 x 4 8-bit BMP whose last row is cut off.
  std::string bmp = "BM";
  const auto le = [&bmp](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) bmp += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  le(14 + 40 + 1024 + 32, 4), le(0, 4), le(14 + 40 + 1024, 4);
  le(40, 4), le(6, 4), le(4, 4), le(1, 2), le(8, 2), le(0, 4), le(32, 4), le(11811, 4), le(11811, 4), le(256, 4),
      le(0, 4);
  for (int i = 0; i < 256; ++i) le(i * 0x010101u, 4);
  bmp.append(24, '\x80');
  test::WriteFile(dir.file("cut.bmp"), bmp);
  test::CliResult r = test::RunCli({"info", dir.file("cut.bmp")}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "width: 6\nheight: 4\nbits: 8\ndpi: 300\npages: 1\n");
  EXPECT_NE(r.err.find("truncated"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(dir.file("cut.bmp")), std::string::npos) << r.err;
}

TEST(CliInfo, MissingArgumentIsUsage) {
  test::TempDir dir;
  EXPECT_EQ(test::RunCli({"info"}, dir.path()).status, 2);
  EXPECT_EQ(test::RunCli({"info", "a.bmp", "b.bmp"}, dir.path()).status, 2);
}

}  // namespace
}  // namespace quillon
