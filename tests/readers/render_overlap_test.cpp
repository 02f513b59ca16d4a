// Every vector format opened by a real third-party reader, and rendered back
// to pixels and compared with the drawing's own ink: a y-flip, an arc drawn
// the wrong way round or a unit mistake shows as a low overlap. Tests skip
// when a reader is not installed.

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "formats/save_job.h"
#include "formats/writer_support.h"
#include "model/entity.h"
#include "raster/raster.h"
#include "raster/raster_file.h"
#include "formats/render_sample.h"
#include "readers/render_compare.h"
#include "support/test_support.h"

namespace quillon::formats {
namespace {

using quillon::test::ReadFile;
using quillon::test::TempDir;
using namespace render;

class ReaderTest : public ::testing::Test {
 protected:
  // Saves the sample drawing through the save job.
  std::string Save(int format, const std::string& name, bool withLine = true) {
    const std::string path = dir_.file(name);
    model::CGraph g;
    test::SampleDrawing(g, 3.0, withLine);
    SaveJob job(g, path, true, format);
    EXPECT_TRUE(job.Run()) << job.error();
    return path;
  }
  // The overlap of a rendered image with the sample drawing's ink.
  double InkOverlap(const Image& image) {
    model::CGraph g;
    test::SampleDrawing(g, 3.0, false);
    const Mask rendered = Crop(image, 160);
    const double scale = rendered.width / 185.0;  // the drawing's ink is about 185 units wide
    const Mask reference = Crop(Reference(g, scale, std::max(1.0, 1.5 * scale)), 128);
    const double overlap = Overlap(rendered, reference, std::max(2, static_cast<int>(scale * 2)));
    std::printf("ink overlap %.3f (rendered %dx%d, reference %dx%d)\n", overlap, rendered.width, rendered.height,
                reference.width, reference.height);
    return overlap;
  }
  // Saves the drawing without its stray line as `name`, runs the reader's
  // command, which renders it to `picture` (PNG or PNM) in the test folder,
  // and gives the picture's ink overlap; 0 when no picture came out.
  double RenderedOverlap(int format, const std::string& name, const std::string& command,
                         const std::string& picture) {
    Save(format, name, false);
    EXPECT_EQ(Shell(command), 0) << command;
    const std::string bytes = ReadFile(dir_.file(picture));
    auto image = picture.ends_with(".png") ? ReadPng(bytes) : ReadPnm(bytes);
    if (!image) {
      ADD_FAILURE() << "no picture from " << command;
      return 0.0;
    }
    return InkOverlap(*image);
  }
  // QUILLON_KEEP_RENDERS=DIR keeps every written file and rendering there.
  void TearDown() override {
    if (const char* keep = std::getenv("QUILLON_KEEP_RENDERS")) {
      std::filesystem::create_directories(keep);
      for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
        std::filesystem::copy_file(entry.path(), std::filesystem::path(keep) / entry.path().filename(),
                                   std::filesystem::copy_options::overwrite_existing);
      }
    }
  }
  TempDir dir_;
};

// Below this the rendering does not show the drawing: a flip or a lost arc
// direction drops the overlap of this sample under 0.7.
constexpr double kMinOverlap = 0.85;

TEST_F(ReaderTest, SvgRendersWithRsvgAndSvgzInflatesToTheSameText) {
  if (!HaveTool("rsvg-convert")) GTEST_SKIP() << "rsvg-convert not installed";
  const std::string svg = Save(kFormatSvg, "sample.svg");
  const std::string svgz = Save(kFormatSvgz, "sample.svgz");
  const std::string text = ReadFile(svg);
  const std::string packed = ReadFile(svgz);
  const std::optional<std::string> inflated = quillon::test::Gunzip(packed);
  ASSERT_TRUE(inflated) << "a .svgz is one gzip member";
  EXPECT_EQ(*inflated, text);
  ASSERT_EQ(Shell("rsvg-convert -b white -o " + dir_.file("sample.png") + " " + svg), 0);

  const std::string wide = Save(kFormatSvg, "wide.svg", false);
  ASSERT_EQ(Shell("rsvg-convert -b white -w 740 -o " + dir_.file("wide.png") + " " + wide), 0);
  auto image = ReadPng(ReadFile(dir_.file("wide.png")));
  ASSERT_TRUE(image);
  EXPECT_GT(InkOverlap(*image), kMinOverlap);
  // The measure itself must tell a drawing turned upside down apart.
  Image flipped = *image;
  for (int y = 0; y < image->height; ++y) {
    std::copy_n(&image->grey[static_cast<size_t>(y) * image->width], image->width,
                &flipped.grey[static_cast<size_t>(image->height - 1 - y) * image->width]);
  }
  EXPECT_LT(InkOverlap(flipped), 0.7);
}

TEST_F(ReaderTest, EpsRendersWithGhostscriptAndItsBoxMatches) {
  if (!HaveTool("gs")) GTEST_SKIP() << "ghostscript not installed";
  const std::string eps = Save(kFormatEps, "sample.eps");
  std::string log;
  const std::string out = dir_.file("sample.pgm");
  EXPECT_EQ(Shell("gs -q -dSAFER -dBATCH -dNOPAUSE -dEPSCrop -sDEVICE=pgmraw -r288 -sOutputFile=" + out + " " + eps,
                &log, dir_.file("gs.log")),
            0)
      << log;
  EXPECT_EQ(log.find("Error"), std::string::npos) << log;
  // Box of the sample (with margin, pixels as points) widened by 1.5.
  model::CGraph g;
  test::SampleDrawing(g);
  model::Box box;
  ASSERT_TRUE(g.getDrawingExtents(box, true, false));
  char expected[160];
  std::snprintf(expected, sizeof expected, "%%%%BoundingBox: %.0f %.0f %.0f %.0f\r\n", std::floor(box.minX - 1.5),
                std::floor(box.minY - 1.5), std::ceil(box.maxX + 1.5), std::ceil(box.maxY + 1.5));
  EXPECT_NE(ReadFile(eps).find(expected), std::string::npos) << expected;
  auto image = ReadPnm(ReadFile(out));
  ASSERT_TRUE(image);
  // The page is the box: 4 pixels per point.
  EXPECT_NEAR(image->width, (box.maxX - box.minX + 3) * 4, 4);
  EXPECT_GT(RenderedOverlap(kFormatEps, "wide.eps",
                            "gs -q -dSAFER -dBATCH -dNOPAUSE -dEPSCrop -sDEVICE=pgmraw -r288 -sOutputFile=" +
                                dir_.file("wide.pgm") + " " + dir_.file("wide.eps"),
                            "wide.pgm"),
            kMinOverlap);
}

TEST_F(ReaderTest, PdfPassesQpdfAndRendersWithPoppler) {
  if (!HaveTool("qpdf") || !HaveTool("pdftoppm")) GTEST_SKIP() << "qpdf or pdftoppm not installed";
  const std::string pdf = Save(kFormatPdf, "sample.pdf");
  std::string log;
  EXPECT_EQ(Shell("qpdf --check " + pdf, &log, dir_.file("qpdf.log")), 0) << log;
  EXPECT_NE(log.find("No syntax or stream encoding errors"), std::string::npos) << log;
  EXPECT_EQ(Shell("pdftoppm -gray -r 144 -singlefile " + pdf + " " + dir_.file("sample"), &log,
                dir_.file("pdftoppm.log")),
            0)
      << log;
  EXPECT_TRUE(log.empty()) << log;  // poppler reports syntax errors on stderr
  EXPECT_GT(RenderedOverlap(kFormatPdf, "wide.pdf",
                            "pdftoppm -gray -r 144 -singlefile " + dir_.file("wide.pdf") + " " + dir_.file("wide"),
                            "wide.pgm"),
            kMinOverlap);
}

TEST_F(ReaderTest, HpglRendersWithHp2xx) {
  if (!HaveTool("hp2xx")) GTEST_SKIP() << "hp2xx not installed";
  const std::string plt = Save(kFormatHpgl, "sample.plt");
  std::string log;
  EXPECT_EQ(Shell("hp2xx -q -m pbm -d 300 -f " + dir_.file("sample.pbm") + " " + plt, &log, dir_.file("hp.log")), 0)
      << log;
  EXPECT_GT(RenderedOverlap(kFormatHpgl, "wide.plt",
                            "hp2xx -q -m pbm -d 300 -f " + dir_.file("wide.pbm") + " " + dir_.file("wide.plt"),
                            "wide.pbm"),
            kMinOverlap);
}

TEST_F(ReaderTest, WmfConvertsWithLibwmf) {
  if (!HaveTool("wmf2svg") || !HaveTool("wmf2gd")) GTEST_SKIP() << "libwmf-bin not installed";
  const std::string wmf = Save(kFormatWmf, "sample.wmf");
  std::string log;
  EXPECT_EQ(Shell("wmf2svg -o " + dir_.file("sample_wmf.svg") + " " + wmf, &log, dir_.file("wmf.log")), 0) << log;
  EXPECT_GT(std::filesystem::file_size(dir_.file("sample_wmf.svg")), 100u);
  const std::string bytes = ReadFile(wmf);
  ASSERT_GE(bytes.size(), 22u);
  uint16_t sum = 0;
  for (int i = 0; i < 10; ++i) sum ^= static_cast<uint16_t>(static_cast<uint8_t>(bytes[2 * i]) | static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
  EXPECT_EQ(sum, static_cast<uint16_t>(static_cast<uint8_t>(bytes[20]) | static_cast<uint8_t>(bytes[21]) << 8));
  EXPECT_GT(RenderedOverlap(kFormatWmf, "wide.wmf",
                            "wmf2gd --maxwidth=800 --maxheight=800 --maxpect -o " + dir_.file("wide.png") + " " +
                                dir_.file("wide.wmf"),
                            "wide.png"),
            kMinOverlap);
}

TEST_F(ReaderTest, FailedSavesLeaveThePreviousFile) {
  for (int format : {kFormatWmf, kFormatHpgl, kFormatSvg, kFormatEps, kFormatPdf, kFormatSvgz, kFormatCgm}) {
    const std::string path = dir_.file("keep" + std::to_string(format));
    quillon::test::WriteFile(path, "previous");
    model::CGraph empty;
    empty.setCurrentLayerByName("Trace");
    SaveJob job(empty, path, false, format);
    EXPECT_FALSE(job.Run()) << format;
    EXPECT_FALSE(job.error().empty());
    EXPECT_EQ(ReadFile(path), "previous") << format;

    model::CGraph bad;
    test::AddTo(bad, std::make_unique<model::CLine>(model::Point3{0, 0, 0}, model::Point3{10, 0, 0}));
    test::AddTo(bad, std::make_unique<model::CLine>(model::Point3{NAN, 0, 0}, model::Point3{10, 0, 0}));
    SaveJob nanJob(bad, path, false, format);
    nanJob.SetDestination(DestinationSize{});
    EXPECT_FALSE(nanJob.Run()) << format;
    EXPECT_EQ(ReadFile(path), "previous") << format;
  }
  // A destination size of 0 is refused by the size-bound formats.
  for (int format : {kFormatSvg, kFormatPdf}) {
    const std::string path = dir_.file("size" + std::to_string(format));
    model::CGraph g;
    test::SampleDrawing(g);
    SaveJob job(g, path, false, format);
    job.SetDestination(DestinationSize{0.0, 100.0, kUnitPixel});
    EXPECT_FALSE(job.Run()) << format;
    EXPECT_FALSE(std::filesystem::exists(path));
  }
}


}  // namespace
}  // namespace quillon::formats
