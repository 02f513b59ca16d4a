// The quillon executable's command line: help and version everywhere, parse
// errors, many inputs, standard input and output, units and page sizes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "raster/raster.h"
#include "support/test_support.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

std::string Sample(const std::string& name) { return test::SourcePath("data/samples/" + name); }
int Lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

class CommandLine : public ::testing::Test {
 protected:
  test::CliResult Run(const std::vector<std::string>& args, const std::string& in = "") {
    return test::RunCli(args, config.path(), in);
  }
  test::TempDir config;
  test::TempDir dir;
};

TEST_F(CommandLine, EveryCommandHasHelpAndTheProgramAVersion) {
  const std::vector<std::vector<std::string>> commands = {
      {"trace"}, {"raster"}, {"batch"}, {"info"}, {"convert"}, {"params"}, {"series"}, {"series", "width"},
      {"series", "angle", "add"}, {"completion"}, {"version"}, {"help"}};
  for (std::vector<std::string> command : commands) {
    std::string name = "quillon";
    for (const auto& word : command) name += " " + word;
    for (const char* flag : {"--help", "-h"}) {
      std::vector<std::string> args = command;
      args.push_back(flag);
      const test::CliResult r = Run(args);
      EXPECT_EQ(r.status, 0) << name << " " << flag << ": " << r.err;
      EXPECT_NE(r.out.find("Usage: " + name), std::string::npos) << name << ":\n" << r.out;
      EXPECT_EQ(r.err, "") << name;
    }
  }
  // Every option of trace is described.
  const std::string help = Run({"trace", "--help"}).out;
  for (const char* option : {"--output", "--output-dir", "--jobs", "--unit", "--size", "--median", "--deskew",
                             "--replace-colour", "--threshold", "--fill-holes", "--input-format"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
  for (const char* flag : {"--version", "-V"}) {
    const test::CliResult r = Run({flag});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "quillon 0.1.0\n");
  }
  EXPECT_EQ(Run({"version"}).out, "quillon 0.1.0\n");
  EXPECT_NE(Run({"help", "convert"}).out.find("Usage: quillon convert"), std::string::npos);
  EXPECT_EQ(Run({"help", "nothing"}).status, 2);
  // Without a command: the command list on stderr and bad usage.
  const test::CliResult bare = Run({});
  EXPECT_EQ(bare.status, 2);
  EXPECT_NE(bare.err.find("trace"), std::string::npos);
}

TEST_F(CommandLine, ParseErrorsNameTheOptionAndShowTheUsageLine) {
  struct Case {
    std::vector<std::string> args;
    const char* named;
  };
  const std::vector<Case> cases = {
      {{"trace", Sample("lines_1bit.bmp"), "--median", "4"}, "--median"},
      {{"trace", Sample("lines_1bit.bmp"), "--unit", "ft"}, "--unit"},
      {{"trace", Sample("lines_1bit.bmp"), "--crop", "1,2,3"}, "--crop"},
      {{"trace", Sample("lines_1bit.bmp"), "-j"}, "--jobs"},
      {{"raster", Sample("lines_1bit.bmp")}, "--output"},
      {{"batch", "job.trj", "--jobs", "0"}, "--jobs"},
      {{"series", "width", "add", "Thin"}, "VALUES"},
      {{"params", "--save-chart-type", "A", "--delete-chart-type", "B"}, "--save-chart-type"},
  };
  for (const Case& c : cases) {
    const test::CliResult r = Run(c.args);
    EXPECT_EQ(r.status, 2) << c.args[0] << " " << c.named << ": " << r.err;
    ASSERT_EQ(Lines(r.err), 2) << r.err;
    EXPECT_EQ(r.err.rfind("quillon: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.substr(0, r.err.find('\n')).find(c.named), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\nusage: quillon " + c.args[0]), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

TEST_F(CommandLine, BundledShortOptionsEqualsValuesAndDoubleDash) {
  // A file whose name starts with a dash is an input after "--".
  const std::string dashed = dir.file("-plan.bmp");
  fs::copy_file(Sample("lines_1bit.bmp"), dashed);
  const test::CliResult r = Run({"trace", "--defaults", "-qj1", "--format=svg", "-o", dir.file("a.svg"), "--", dashed});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");  // -q inside the bundle
  EXPECT_TRUE(fs::exists(dir.file("a.svg")));
}

TEST_F(CommandLine, ManyInputsConvertAroundABadOne) {
  test::WriteFile(dir.file("in/broken.bmp"), "");
  fs::create_directories(dir.file("in"));
  test::WriteFile(dir.file("in/broken.bmp"), "not a bitmap");
  for (const char* jobs : {"1", "2"}) {
    const std::string out = dir.file(std::string("out") + jobs);
    const test::CliResult r = Run({"trace", "--defaults", "-j", jobs, Sample("lines_1bit.bmp"), dir.file("in/broken.bmp"),
                                   Sample("grey_8bit.bmp"), "-o", out, "-f", "svg"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(fs::exists(out + "/lines_1bit.svg")) << jobs;
    EXPECT_TRUE(fs::exists(out + "/grey_8bit.svg")) << jobs;
    EXPECT_FALSE(fs::exists(out + "/broken.svg")) << jobs;
    EXPECT_EQ(Lines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("broken.bmp"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("wrote " + out + "/lines_1bit.svg"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2 of 3 files converted, 1 failed ("), std::string::npos) << r.out;
  }
  // A directory gives its raster files; two inputs of one name keep apart.
  fs::copy_file(Sample("lines_1bit.bmp"), dir.file("in/grey_8bit.bmp"));
  const test::CliResult r = Run({"trace", "--defaults", "-q", dir.file("in"), Sample("grey_8bit.bmp"),
                                 "--output-dir", dir.file("fromdir")});
  EXPECT_EQ(r.status, 1);  // broken.bmp again
  EXPECT_TRUE(fs::exists(dir.file("fromdir/grey_8bit.dxf")));
  EXPECT_TRUE(fs::exists(dir.file("fromdir/grey_8bit0.dxf")));
  // Several inputs cannot go to one file.
  EXPECT_EQ(Run({"trace", Sample("lines_1bit.bmp"), Sample("grey_8bit.bmp"), "-o", dir.file("one.dxf")}).status, 1);
  EXPECT_FALSE(fs::exists(dir.file("one.dxf")));
}

TEST_F(CommandLine, StandardInputAndOutputRoundTrip) {
  const test::CliResult file = Run({"trace", "--defaults", Sample("lines_1bit.bmp"), "-o", dir.file("ref.svg")});
  ASSERT_EQ(file.status, 0) << file.err;
  const test::CliResult piped = Run({"trace", "--defaults", "-", "-f", "svg", "-o", "-"}, Sample("lines_1bit.bmp"));
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.out, test::ReadFile(dir.file("ref.svg")));

  // Standard input into a file, the format told by the signature or by name.
  EXPECT_EQ(Run({"trace", "--defaults", "-", "-o", dir.file("tif.dxf")}, Sample("sheet.tif")).status, 0);
  EXPECT_EQ(Run({"trace", "--defaults", "-", "-o", dir.file("tga.dxf")}, Sample("colour_24bit.tga")).status, 1);
  EXPECT_EQ(Run({"trace", "--defaults", "-", "--input-format", "tga", "-o", dir.file("tga.dxf")},
                Sample("colour_24bit.tga"))
                .status,
            0);
  // The cleaned raster through both pipes.
  const test::CliResult raster = Run({"raster", "-", "--invert", "-o", "-"}, Sample("grey_8bit.bmp"));
  ASSERT_EQ(raster.status, 0) << raster.err;
  EXPECT_EQ(raster.out.substr(0, 2), "BM");

  EXPECT_EQ(Run({"trace", Sample("lines_1bit.bmp"), "-o", "-"}).status, 2);  // no format for standard output
  EXPECT_EQ(Run({"trace", "-", "-"}, Sample("lines_1bit.bmp")).status, 2);
  EXPECT_EQ(Run({"trace", "-"}, Sample("lines_1bit.bmp")).status, 2);  // nowhere to write
  EXPECT_FALSE(fs::exists("-"));
}

// Coordinates of the group-10 and -11 values (x) of the entities of a DXF file.
std::vector<double> EntityXs(const std::string& dxf) {
  std::vector<double> xs;
  const size_t entities = dxf.find("ENTITIES");
  std::vector<std::string> lines;
  size_t from = entities;
  while (from < dxf.size()) {
    size_t end = dxf.find('\n', from);
    if (end == std::string::npos) end = dxf.size();
    std::string line = dxf.substr(from, end - from);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    from = end + 1;
  }
  for (size_t i = 0; i + 1 < lines.size(); i += 1) {
    const std::string code = lines[i].substr(lines[i].find_first_not_of(' ') == std::string::npos ? 0 : lines[i].find_first_not_of(' '));
    if (code == "ENDSEC") break;
    if (code == "10" || code == "11") xs.push_back(std::stod(lines[i + 1]));
  }
  return xs;
}

TEST_F(CommandLine, UnitsConvertAtTheRasterResolutionAndPagesTakeItsSize) {
  // A 1000-pixel line, 6 pixels thick, on a 300-dpi raster of 1200 x 60 pixels.
  raster::CRaster image;
  ASSERT_TRUE(image.create(1200, 60, 1));
  for (int y = 27; y < 33; ++y)
    for (int x = 100; x < 1100; ++x) image.setBit(x, y, true);
  ASSERT_TRUE(image.setResolution(11811));  // 300 dpi
  ASSERT_TRUE(image.save(dir.file("line.bmp")));

  ASSERT_EQ(Run({"trace", "--defaults", "--no-width", dir.file("line.bmp"), "-o", dir.file("px.dxf")}).status, 0);
  const test::CliResult mm = Run({"trace", "--defaults", "--no-width", "--unit", "mm", dir.file("line.bmp"), "-o",
                                  dir.file("mm.dxf")});
  ASSERT_EQ(mm.status, 0) << mm.err;
  const std::vector<double> px = EntityXs(test::ReadFile(dir.file("px.dxf")));
  const std::vector<double> millimetres = EntityXs(test::ReadFile(dir.file("mm.dxf")));
  ASSERT_FALSE(px.empty());
  ASSERT_EQ(px.size(), millimetres.size());
  for (size_t i = 0; i < px.size(); ++i) EXPECT_NEAR(millimetres[i], px[i] / 11.811, 1e-3);
  const double length = *std::max_element(millimetres.begin(), millimetres.end()) -
                        *std::min_element(millimetres.begin(), millimetres.end());
  EXPECT_NEAR(length, 84.667, 0.6);  // 1000 px at 300 dpi, less what tracing takes off the ends

  // --size raster: the SVG and PDF pages are 4 x 0.2 inches (PDF pages are at
  // least 50 points high).
  ASSERT_EQ(Run({"trace", "--defaults", dir.file("line.bmp"), "--size", "raster", "-o", dir.file("r.svg")}).status, 0);
  EXPECT_NE(test::ReadFile(dir.file("r.svg")).find("width=\"4.000in\" height=\"0.200in\""), std::string::npos);
  ASSERT_EQ(Run({"trace", "--defaults", dir.file("line.bmp"), "--size", "raster", "-o", dir.file("r.pdf")}).status, 0);
  EXPECT_NE(test::ReadFile(dir.file("r.pdf")).find("/MediaBox [0 0 288 "), std::string::npos);
  EXPECT_EQ(Run({"convert", dir.file("px.dxf"), "--size", "raster", "-o", dir.file("c.svg")}).status, 2);
}

}  // namespace
}  // namespace quillon
