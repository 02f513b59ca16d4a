// The sample sheet traced by the command line (centre line and outline) in
// every format, opened by the programs people open such files with, and
// rendered back. A render passes when, fitted onto the source raster by its
// ink's box, at least 90 % of the drawing's own centre lines (drawn one
// pixel wide from the model) lie within 3 pixels of rendered ink, and at
// least 90 % of the rendered ink lies within 3 pixels of the raster's ink.
// Readers that ignore widths still pass; an invisible, cropped, flipped or
// scrambled drawing fails. One process per reader where the reader allows.
// A reader that is not installed skips its test (scripts/bootstrap installs
// them all).

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "formats/dxf_reader/dxf_reader.h"
#include "formats/save_job.h"
#include "model/line.h"
#include "model/graph.h"
#include "raster/raster.h"
#include "raster/raster_file.h"
#include "readers/render_compare.h"
#include "support/test_support.h"

namespace quillon::formats {
namespace {

using namespace render;
namespace fs = std::filesystem;

constexpr double kMinShare = 0.90;
constexpr int kTolerance = 3;

// A mask in raster pixels, y down.
Mask Blank(int width, int height) {
  Mask m;
  m.width = width;
  m.height = height;
  m.ink.assign(static_cast<size_t>(width) * height, 0);
  return m;
}

// The share of a's ink within `tolerance` pixels of b's ink.
double Near(const Mask& a, const Mask& b, int tolerance) {
  long total = 0, hit = 0;
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      if (!a.at(x, y)) continue;
      ++total;
      bool found = false;
      for (int dy = -tolerance; dy <= tolerance && !found; ++dy) {
        for (int dx = -tolerance; dx <= tolerance && !found; ++dx) found = b.at(x + dx, y + dy);
      }
      hit += found;
    }
  }
  return total ? static_cast<double>(hit) / total : 0.0;
}

// Everything the checks compare against, in the frame of the raster ink's box.
struct Sheet {
  Mask ink;                               // the raster's ink, cropped to its box
  int offsetX = 0, offsetY = 0;           // the box's corner in the raster
  int rasterHeight = 0;
  std::map<std::string, Mask> centre;     // per method: the model's centre lines in that frame
};

Sheet* g_sheet = nullptr;
fs::path* g_dir = nullptr;

const char* const kMethods[] = {"centreline", "outline"};

// The system's Python, where Debian's python3-ezdxf and matplotlib live.
std::string Python() { return fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

std::string FileOf(const std::string& method, const std::string& format, const std::string& extension) {
  // Unique base names: LibreOffice and Inkscape name their output after it.
  return (*g_dir / (method + "_" + format + extension)).string();
}

class TracedSheetReaders : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_dir = new fs::path(fs::temp_directory_path() / ("quillon_readers_" + std::to_string(::getpid())));
    fs::create_directories(*g_dir);
    g_sheet = new Sheet;
    const std::string sheet = quillon::test::SourcePath("data/samples/sheet.tif");
    std::vector<raster::RasterDocument> documents = raster::OpenRasterFile(sheet);
    ASSERT_EQ(documents.size(), 1u);
    const raster::CRaster& source = documents[0].raster;
    Image grey;
    grey.width = source.width();
    grey.height = source.height();
    grey.grey.resize(static_cast<size_t>(grey.width) * grey.height);
    int x0 = grey.width, y0 = grey.height;
    for (int y = 0; y < grey.height; ++y) {
      for (int x = 0; x < grey.width; ++x) {
        uint8_t b = 255, g = 255, r = 255;
        (void)source.colourAt(x, y, b, g, r);
        const uint8_t v = static_cast<uint8_t>(0.299 * r + 0.587 * g + 0.114 * b);
        grey.grey[static_cast<size_t>(y) * grey.width + x] = v;
        if (v < 128) {
          x0 = std::min(x0, x);
          y0 = std::min(y0, y);
        }
      }
    }
    g_sheet->ink = Crop(grey, 128);
    g_sheet->offsetX = x0;
    g_sheet->offsetY = y0;
    g_sheet->rasterHeight = grey.height;

    struct Output {
      const char* format;
      const char* extension;
      std::vector<std::string> extra;
    };
    const std::vector<Output> outputs = {
        {"dxf", ".dxf", {}},
        {"dxf-r10", ".dxf", {}},
        // LibreOffice draws no bulges: its DXF files hold circles and arcs as such.
        {"dxf", "_plain.dxf", {"--no-width"}},
        {"dxf-r10", "_plain.dxf", {"--no-width"}},
        {"svg", ".svg", {}},
        {"svgz", ".svgz", {}},
        {"eps", ".eps", {}},
        {"pdf", ".pdf", {}},
        {"cgm", ".cgm", {}},
        {"wmf", ".wmf", {}},
    };
    for (const char* method : kMethods) {
      for (const Output& o : outputs) {
        std::vector<std::string> args = {"trace", sheet, "-m", method, "-f", o.format,
                                         "-o", FileOf(method, o.format, o.extension), "-q", "--defaults"};
        args.insert(args.end(), o.extra.begin(), o.extra.end());
        quillon::test::CliResult traced = quillon::test::RunCli(args, g_dir->string());
        ASSERT_EQ(traced.status, 0) << method << " " << o.format << ": " << traced.err;
      }
      // The model's centre lines, read back from the DXF (pixel units), one
      // pixel wide, placed in the raster (y up in the model, down in rows).
      model::CGraph graph;
      ASSERT_TRUE(ReadDxfFile(FileOf(method, "dxf", ".dxf"), graph));
      model::Box box;
      ASSERT_TRUE(graph.getDrawingExtents(box, false, false));
      const Image lines = Reference(graph, 1.0, 0.5);  // box.minX at column 10, box.maxY at row 10
      Mask centre = Blank(g_sheet->ink.width, g_sheet->ink.height);
      for (int y = 0; y < lines.height; ++y) {
        for (int x = 0; x < lines.width; ++x) {
          if (lines.at(x, y) >= 128) continue;
          const int col = static_cast<int>(std::lround(x - 10 + box.minX)) - g_sheet->offsetX;
          const int row = static_cast<int>(std::lround(y - 10 + g_sheet->rasterHeight - box.maxY)) - g_sheet->offsetY;
          if (col >= 0 && row >= 0 && col < centre.width && row < centre.height) centre.ink[row * centre.width + col] = 1;
        }
      }
      g_sheet->centre[method] = centre;
    }
  }
  static void TearDownTestSuite() {
    if (const char* keep = std::getenv("QUILLON_KEEP_RENDERS")) {
      fs::create_directories(keep);
      for (const auto& entry : fs::directory_iterator(*g_dir)) {
        fs::copy_file(entry.path(), fs::path(keep) / entry.path().filename(), fs::copy_options::overwrite_existing);
      }
    }
    std::error_code ec;
    fs::remove_all(*g_dir, ec);
    delete g_dir;
    delete g_sheet;
  }

  // Checks one render: read, fitted onto the raster ink's box, both shares.
  // pageOnly: the reader shows a fixed page that may cut the drawing's
  // bottom; only what the page shows is compared.
  void CheckRender(const std::string& method, const std::string& image, const std::string& what,
                   bool pageOnly = false) {
    SCOPED_TRACE(what + " (" + method + "): " + image);
    ASSERT_TRUE(fs::exists(image)) << "the reader wrote no image";
    const std::string bytes = ReadFile(image);
    std::optional<Image> rendered = bytes.rfind("\x89PNG", 0) == 0 ? ReadPng(bytes) : ReadPnm(bytes);
    ASSERT_TRUE(rendered) << "unreadable image";
    const Mask ink = Crop(*rendered, 160);
    ASSERT_GT(ink.width, 0) << "nothing drawn";
    const Mask& raster = g_sheet->ink;
    // Fit by the box; a page that cuts the drawing keeps the width's scale.
    const double sx = static_cast<double>(ink.width) / raster.width;
    const double sy = pageOnly ? sx : static_cast<double>(ink.height) / raster.height;
    Mask fitted = Blank(raster.width, raster.height);
    Mask centre = g_sheet->centre.at(method);
    for (int y = 0; y < raster.height; ++y) {
      const int sourceRow = static_cast<int>(y * sy);
      for (int x = 0; x < raster.width; ++x) {
        if (sourceRow >= ink.height) {
          centre.ink[y * raster.width + x] = 0;  // beyond the page
          continue;
        }
        fitted.ink[y * raster.width + x] = ink.at(static_cast<int>(x * sx), sourceRow);
      }
    }
    const double covered = Near(centre, fitted, kTolerance);
    const double placed = Near(fitted, raster, kTolerance);
    std::printf("%-28s %-10s centre lines covered %.3f, ink placed %.3f\n", what.c_str(), method.c_str(), covered,
                placed);
    EXPECT_GE(covered, kMinShare) << "the drawing's lines are not all shown";
    EXPECT_GE(placed, kMinShare) << "ink where the drawing has none";
  }
};

// One LibreOffice process converts every file it imports: DXF (both
// variants) and SVG, EPS and WMF in Draw, CGM in Impress.
TEST_F(TracedSheetReaders, LibreOffice) {
  if (!HaveTool("soffice")) GTEST_SKIP() << "libreoffice-draw not installed";
  std::string inputs;
  struct Case {
    std::string file, what;
    bool pageOnly;
  };
  std::vector<std::pair<std::string, Case>> cases;
  for (const char* m : kMethods) {
    const std::string method = m;
    for (const auto& [format, extension, what] :
         {std::tuple<std::string, std::string, std::string>{"dxf", "_plain.dxf", "LibreOffice DXF 2000"},
          {"dxf-r10", "_plain.dxf", "LibreOffice DXF R10"},
          {"svg", ".svg", "LibreOffice SVG"},
          {"eps", ".eps", "LibreOffice EPS"},
          {"wmf", ".wmf", "LibreOffice WMF"},
          {"cgm", ".cgm", "LibreOffice CGM"}}) {
      // LibreOffice draws no bulges, so outline DXF (all arcs are bulges) is left to ezdxf.
      if (method == "outline" && format.rfind("dxf", 0) == 0) continue;
      const std::string file = FileOf(method, format, extension);
      inputs += " '" + file + "'";
      // Impress shows CGM on its 16:9 slide, which cuts a 4:3 picture's bottom.
      cases.push_back({method, {file, what, format == "cgm"}});
    }
  }
  const std::string out = (*g_dir / "lo").string();
  std::string log;
  const std::string profile = "file://" + (*g_dir / "lo_profile").string();
  EXPECT_EQ(Shell("soffice --headless --norestore -env:UserInstallation=" + profile + " --convert-to png --outdir '" +
                      out + "'" + inputs,
                  &log, (*g_dir / "lo.log").string()),
            0)
      << log;
  EXPECT_EQ(log.find("Error"), std::string::npos) << log;
  for (const auto& [method, c] : cases) {
    CheckRender(method, (fs::path(out) / fs::path(c.file).stem()).string() + ".png", c.what, c.pageOnly);
  }
}

// Inkscape converts SVG, SVGZ, PDF and WMF in one process.
TEST_F(TracedSheetReaders, Inkscape) {
  if (!HaveTool("inkscape")) GTEST_SKIP() << "inkscape not installed";
  std::string inputs;
  std::vector<std::pair<std::string, std::string>> files;
  for (const char* method : kMethods) {
    for (const auto& [format, extension] : {std::pair<std::string, std::string>{"svg", ".svg"},
                                            {"svgz", ".svgz"},
                                            {"pdf", ".pdf"},
                                            {"wmf", ".wmf"}}) {
      files.emplace_back(method, FileOf(method, format, extension));
      inputs += " '" + files.back().second + "'";
    }
  }
  std::string log;
  EXPECT_EQ(Shell("inkscape --export-type=png --export-background=white --export-background-opacity=1 "
                  "--export-width=800" + inputs,
                  &log, (*g_dir / "inkscape.log").string()),
            0)
      << log;
  for (const auto& [method, file] : files) {
    CheckRender(method, (fs::path(file).parent_path() / fs::path(file).stem()).string() + ".png",
                "Inkscape " + fs::path(file).extension().string().substr(1));
  }
}

// Chromium renders SVG as a page; SVGZ as a web server sends it (gzip
// content encoding), which is how browsers meet .svgz files.
TEST_F(TracedSheetReaders, Chromium) {
  if (!HaveTool("chromium")) GTEST_SKIP() << "chromium not installed";
  const std::string script = quillon::test::SourcePath("tests/readers/browser_shots.py");
  std::vector<std::pair<std::string, std::string>> shots;
  std::string args;
  for (const char* method : kMethods) {
    for (const char* extension : {".svg", ".svgz"}) {
      const std::string file = FileOf(method, std::string(extension).substr(1), extension);
      const std::string png = file + ".png";
      shots.emplace_back(method, png);
      args += " '" + file + "' '" + png + "'";
    }
  }
  std::string log;
  ASSERT_EQ(Shell(Python() + " '" + script + "'" + args, &log, (*g_dir / "chromium.log").string()), 0) << log;
  for (const auto& [method, png] : shots) {
    CheckRender(method, png, "Chromium " + fs::path(png).stem().extension().string().substr(1));
  }
}

// ezdxf: its audit finds nothing to fix in either variant, with or without
// widths, and its drawing add-on renders both. The add-on (0.18) leaves out
// some polylines whose vertices change width, so centre lines are compared
// as saved without widths.
TEST_F(TracedSheetReaders, Ezdxf) {
  const std::string script = quillon::test::SourcePath("tests/readers/ezdxf_render.py");
  std::vector<std::pair<std::string, std::string>> renders;
  std::string args;
  for (const char* method : kMethods) {
    for (const char* format : {"dxf", "dxf-r10"}) {
      for (const char* extension : {".dxf", "_plain.dxf"}) {
        const std::string file = FileOf(method, format, extension);
        args += " '" + file + "'";
        if ((std::string(method) == "centreline") == (std::string(extension) == "_plain.dxf")) {
          renders.emplace_back(method, file + ".png");
        }
      }
    }
  }
  // Past 80 entities the handles once ran into fixed ones the file pointed at.
  for (int format : {kFormatDxf2000, kFormatDxfR10}) {
    model::CGraph many;
    many.setCurrentLayerByName("Trace");
    for (int i = 0; i < 150; ++i) {
      many.addEntity(std::make_unique<model::CLine>(model::Point3{0, i * 2.0, 0}, model::Point3{100, i * 2.0, 0}));
    }
    const std::string file = (*g_dir / ("many_" + std::to_string(format) + ".dxf")).string();
    SaveJob job(many, file, false, format);
    ASSERT_TRUE(job.Run()) << job.error();
    args += " '" + file + "'";
  }
  std::string log;
  const int status = Shell(Python() + " '" + script + "'" + args, &log, (*g_dir / "ezdxf.log").string());
  if (status == 77) GTEST_SKIP() << "python3-ezdxf or python3-matplotlib not installed";
  ASSERT_EQ(status, 0) << log;
  for (const auto& [method, png] : renders) {
    CheckRender(method, png, "ezdxf " + fs::path(png).stem().stem().string().substr(method.size() + 1));
  }
}

// LibreCAD prints both DXF variants, with widths, to PDF (one process for
// all four files); it is the reader here that draws bulges as arcs and keeps
// the polylines whose vertices change width, so the whole drawing is checked.
TEST_F(TracedSheetReaders, LibreCad) {
  for (const char* tool : {"librecad", "gs"}) {
    if (!HaveTool(tool)) GTEST_SKIP() << tool << " not installed";
  }
  std::string inputs;
  std::vector<std::pair<std::string, std::string>> files;
  for (const char* method : kMethods) {
    for (const char* format : {"dxf", "dxf-r10"}) {
      files.emplace_back(method, FileOf(method, format, ".dxf"));
      inputs += " '" + files.back().second + "'";
    }
  }
  const fs::path out = *g_dir / "librecad";
  fs::create_directories(out);
  std::string log;
  // Fitted onto its page (A4) within 10 mm margins, black on white; without
  // margins the fit puts the drawing's right edge just off the page.
  EXPECT_EQ(Shell("QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR='" + g_dir->string() +
                      "' librecad dxf2pdf -a -m -f 10,10,10,10 -t '" + out.string() + "'" + inputs,
                  &log, (*g_dir / "librecad.log").string()),
            0)
      << log;
  for (const auto& [method, file] : files) {
    const std::string pdf = (out / fs::path(file).stem()).string() + ".pdf";
    ASSERT_TRUE(fs::exists(pdf)) << log;
    // LibreCAD draws one-pixel hairlines: at 80 dpi the page is smaller than
    // the raster, so fitting it onto the raster samples every hairline.
    const std::string pgm = pdf + ".pgm";
    EXPECT_EQ(Shell("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pgmraw -r80 -sOutputFile='" + pgm + "' '" + pdf + "'",
                    &log, (*g_dir / "gs.log").string()),
              0)
        << log;
    CheckRender(method, pgm, "LibreCAD " + fs::path(file).stem().string().substr(std::string(method).size() + 1));
  }
}

// EPS passes epstool's check and Ghostscript renders it; PDF passes qpdf's
// check and poppler and Ghostscript render it.
TEST_F(TracedSheetReaders, GhostscriptPopplerEpstoolQpdf) {
  for (const char* tool : {"gs", "epstool", "qpdf", "pdftoppm"}) {
    if (!HaveTool(tool)) GTEST_SKIP() << tool << " not installed";
  }
  for (const char* method : kMethods) {
    const std::string eps = FileOf(method, "eps", ".eps");
    const std::string pdf = FileOf(method, "pdf", ".pdf");
    std::string log;
    EXPECT_EQ(Shell("epstool --test-eps '" + eps + "'", &log, (*g_dir / "epstool.log").string()), 0) << log;
    EXPECT_NE(log.find("PASS"), std::string::npos) << log;
    EXPECT_EQ(Shell("qpdf --check '" + pdf + "'", &log, (*g_dir / "qpdf.log").string()), 0) << log;
    const std::string gsEps = eps + ".pgm";
    EXPECT_EQ(Shell("gs -q -dSAFER -dBATCH -dNOPAUSE -dEPSCrop -sDEVICE=pgmraw -r72 -sOutputFile='" + gsEps + "' '" +
                        eps + "'",
                    &log, (*g_dir / "gs.log").string()),
              0)
        << log;
    CheckRender(method, gsEps, "Ghostscript EPS");
    const std::string gsPdf = pdf + ".pgm";
    EXPECT_EQ(Shell("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pgmraw -r100 -sOutputFile='" + gsPdf + "' '" + pdf + "'",
                    &log, (*g_dir / "gs.log").string()),
              0)
        << log;
    CheckRender(method, gsPdf, "Ghostscript PDF");
    EXPECT_EQ(Shell("pdftoppm -gray -scale-to 820 -singlefile '" + pdf + "' '" + pdf + "'", &log,
                    (*g_dir / "pdftoppm.log").string()),
              0)
        << log;
    EXPECT_TRUE(log.empty()) << log;
    CheckRender(method, pdf + ".pgm", "poppler PDF");
  }
}

}  // namespace
}  // namespace quillon::formats
