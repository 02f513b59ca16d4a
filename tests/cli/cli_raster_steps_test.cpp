// The raster clean-up steps of quillon trace and quillon raster: each step is
// the library operation, applied in the order of the line, and the raster a
// trace traces is the one quillon raster writes.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/key_value_store.h"
#include "raster/brightness_contrast.h"
#include "raster/colour_replace.h"
#include "raster/median_filter.h"
#include "raster/raster.h"
#include "raster/resample.h"
#include "raster/smart_threshold.h"
#include "raster/template_library.h"
#include "support/test_support.h"

namespace quillon {
namespace {

std::string Sample(const std::string& name) { return test::SourcePath("data/samples/" + name); }

class RasterSteps : public ::testing::Test {
 protected:
  test::CliResult Run(const std::vector<std::string>& args) { return test::RunCli(args, config.path()); }
  test::TempDir config;
  test::TempDir dir;
};

TEST_F(RasterSteps, EachStepIsTheLibraryOperationInLineOrder) {
  using Operation = std::function<bool(raster::CRaster&)>;
  struct Case {
    const char* sample;
    std::vector<std::string> steps;
    Operation expected;
  };
  {
    platform::JsonFileKeyValueStore store(config.file("settings.json"));
    raster::KernelTemplate sharpen = raster::KernelTemplate::Fresh();
    sharpen.name = "Sharpen";
    sharpen.coefficients = {0, -1, 0, -1, 5, -1, 0, -1, 0};
    sharpen.factor = 1.0;
    ASSERT_TRUE(raster::SaveTemplates(store, {sharpen}));
  }
  const settings::Rgb white{255, 255, 255}, red{255, 0, 0};
  const std::vector<Case> cases = {
      {"grey_8bit.bmp", {"--median", "3"}, [](raster::CRaster& r) { return raster::MedianFilter(r, {}, 3); }},
      {"colour_24bit.tga", {"--median", "5"}, [](raster::CRaster& r) { return raster::MedianFilter(r, {}, 5); }},
      {"grey_8bit.bmp", {"--resample", "0.5,lanczos3"},
       [](raster::CRaster& r) {
         int ppm = 0;
         r.resolution(ppm);
         const int w = static_cast<int>(std::lround(r.width() * 0.5)), h = static_cast<int>(std::lround(r.height() * 0.5));
         return raster::Resample(r, w, h, static_cast<int>(std::lround(double(ppm) * w / r.width())),
                                 raster::ResampleFilter::Lanczos3);
       }},
      {"colour_24bit.tga", {"--contrast", "-10", "--rotate", "3", "--brightness", "20"},
       [](raster::CRaster& r) { return raster::AdjustBrightnessContrast(r, 20, -10) && r.rotate(3); }},
      {"colour_24bit.tga", {"--replace-colour", "#ffffff,ff0000,100"},
       [&](raster::CRaster& r) { return raster::ColorReplace(r, white, red, 400); }},
      {"grey_8bit.bmp", {"--template", "sharpen"},
       [](raster::CRaster& r) {
         raster::KernelTemplate t = raster::KernelTemplate::Fresh();
         t.name = "Sharpen";
         t.coefficients = {0, -1, 0, -1, 5, -1, 0, -1, 0};
         t.factor = 1.0;
         return raster::TemplateFilter(r, t);
       }},
      {"grey_8bit.bmp", {"--rotate", "90", "--crop", "2,3,20,10"},
       [](raster::CRaster& r) { return r.rotate(90) && r.crop(2, 3, 22, 13); }},
      {"grey_8bit.bmp", {"--crop", "2,3,20,10", "--rotate", "90"},
       [](raster::CRaster& r) { return r.crop(2, 3, 22, 13) && r.rotate(90); }},
      {"lines_1bit.bmp", {"--flip", "--mirror", "--invert"},
       [](raster::CRaster& r) { return r.flip() && r.mirror() && r.invert(); }},
      {"grey_8bit.bmp", {"--threshold", "140", "--median", "3"},
       [](raster::CRaster& r) { return r.convertTo1Bit(140) && raster::MedianFilter(r, {}, 3); }},
      {"grey_8bit.bmp", {"--threshold", "dynamic:50,1.0", "--fill-holes", "2"},
       [](raster::CRaster& r) { return raster::SmartThreshold(r, 50, 1.0f) && raster::SmoothFilter(r, 2); }},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    std::string name = c.sample;
    for (const auto& s : c.steps) name += " " + s;
    raster::CRaster image;
    ASSERT_TRUE(image.load(Sample(c.sample))) << name;
    ASSERT_TRUE(c.expected(image)) << name;
    const std::string expected = dir.file("expected" + std::to_string(i) + ".bmp");
    ASSERT_TRUE(image.save(expected));

    std::vector<std::string> args = {"raster", "--defaults", Sample(c.sample), "-o", dir.file("cli.bmp")};
    args.insert(args.end(), c.steps.begin(), c.steps.end());
    const test::CliResult r = Run(args);
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_EQ(test::ReadFile(dir.file("cli.bmp")), test::ReadFile(expected)) << name;
  }
  // The order of the line matters: rotating then cropping differs from the reverse.
  EXPECT_NE(test::ReadFile(dir.file("expected6.bmp")), test::ReadFile(dir.file("expected7.bmp")));
}

TEST_F(RasterSteps, StepsThatCannotApplySayWhy) {
  struct Case {
    std::vector<std::string> steps;
    const char* why;
    int status;
  };
  const std::vector<Case> cases = {
      {{"--brightness", "10"}, "--brightness", 1},           // 1-bit sample
      {{"--template", "Nothing"}, "unknown raster template 'Nothing'", 2},
      {{"--crop", "5000,5000,10,10"}, "--crop", 1},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"trace", "--defaults", Sample("lines_1bit.bmp"), "-o", dir.file("x.dxf")};
    args.insert(args.end(), c.steps.begin(), c.steps.end());
    const test::CliResult r = Run(args);
    EXPECT_EQ(r.status, c.status) << c.why << ": " << r.err;
    EXPECT_NE(r.err.find(c.why), std::string::npos) << r.err;
    EXPECT_FALSE(std::ifstream(dir.file("x.dxf")).good());
  }
  EXPECT_EQ(Run({"raster", Sample("lines_1bit.bmp"), "-o", dir.file("x.png")}).status, 2);  // BMP only
}

TEST_F(RasterSteps, TheCleanedRasterIsWhatTheTraceTraces) {
  const std::vector<std::string> steps = {"--median", "3", "--rotate", "2", "--threshold", "150", "--fill-holes", "1"};
  std::vector<std::string> raster = {"raster", "--defaults", Sample("grey_8bit.bmp"), "-o", dir.file("clean.bmp")};
  raster.insert(raster.end(), steps.begin(), steps.end());
  ASSERT_EQ(Run(raster).status, 0);
  std::vector<std::string> direct = {"trace", "--defaults", Sample("grey_8bit.bmp"), "-o", dir.file("direct.svg")};
  direct.insert(direct.end(), steps.begin(), steps.end());
  const test::CliResult traced = Run(direct);
  ASSERT_EQ(traced.status, 0) << traced.err;
  ASSERT_EQ(Run({"trace", "--defaults", dir.file("clean.bmp"), "-o", dir.file("cleaned.svg")}).status, 0);
  const std::string a = test::ReadFile(dir.file("direct.svg")), b = test::ReadFile(dir.file("cleaned.svg"));
  EXPECT_FALSE(a.empty());
  EXPECT_EQ(a, b);
}

TEST_F(RasterSteps, DeskewStraightensLinesTurnedByAFewDegrees) {
  // Five long horizontal lines, then turned 4 degrees clockwise.
  raster::CRaster image;
  ASSERT_TRUE(image.create(800, 400, 1));
  for (int line = 0; line < 5; ++line)
    for (int y = 60 + 60 * line; y < 63 + 60 * line; ++y)
      for (int x = 100; x < 700; ++x) image.setBit(x, y, true);
  ASSERT_TRUE(image.rotate(4.0));
  ASSERT_TRUE(image.save(dir.file("skewed.bmp")));

  ASSERT_EQ(Run({"raster", dir.file("skewed.bmp"), "--deskew", "-o", dir.file("straight.bmp")}).status, 0);
  raster::CRaster straight;
  ASSERT_TRUE(straight.load(dir.file("straight.bmp")));
  // Horizontal again: some row holds (nearly) a whole line of ink.
  auto longestRow = [](const raster::CRaster& r) {
    int best = 0;
    for (int y = 0; y < r.height(); ++y) {
      int n = 0;
      for (int x = 0; x < r.width(); ++x) n += r.bitAt(x, y);
      best = std::max(best, n);
    }
    return best;
  };
  EXPECT_LT(longestRow(image), 300);
  EXPECT_GT(longestRow(straight), 570);
}

}  // namespace
}  // namespace quillon
