// The EPS text: the DSC header and bounding box, fragments per entity type,
// line widths, arc directions and colours.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "formats/eps/eps_file.h"
#include "formats/eps/eps_writer.h"
#include "render_sample.h"

namespace quillon::formats {
namespace {

using model::CGraph;
using model::CLine;
using model::Point3;
using test::V;

constexpr settings::Rgb kBlue{0, 0, 255};

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(EpsWriter, WholeFileOfOneLine) {
  CGraph g;
  model::CLine* line = test::AddTo(g, std::make_unique<CLine>(Point3{0, 0, 0}, Point3{100, 50, 0}));
  line->setColour(5);
  std::string text;
  ASSERT_TRUE(WriteEpsFile(text, g, false).ok());
  EXPECT_EQ(text,
            "%!PS-Adobe-3.0 EPSF-3.0\r\n"
            "%%Creator: Quillon vector output\r\n"
            "%%Pages: 1\r\n"
            // Extents with margin [-1.5, 101.5] x [-0.75, 50.75], 1.5 more on
            // every side; whole points rounded outwards, then the exact box.
            "%%BoundingBox: -3 -3 103 53\r\n"
            "%%HiResBoundingBox: -3.000000 -2.250000 103.000000 52.250000\r\n"
            "%%EndComments\r\n%%BeginProlog\r\n%%EndProlog\r\n%%BeginSetup\r\n%%EndSetup\r\n"
            "%%Page: 1 1\r\n"
            "0.000000 0.000000 1.000000 setrgbcolor\r\n"
            "0.000000 0.000000 moveto\r\n"
            "100.000000 50.000000 lineto\r\n"
            // A hairline is one raster pixel: in pixel units, one point.
            "1.000000 setlinewidth\r\n"
            "stroke\r\n"
            "showpage\r\n"
            "%%Trailer\r\n"
            "%%EOF\r\n");
}

// Widths below a raster pixel and missing widths are the hairline: one
// raster pixel, and 0.1 point where a pixel is less.
TEST(EpsWriter, LineWidthsFollowSaveWidthWithAFloor) {
  EpsWriter thin(1.0, true);
  thin.Arc({0, 0}, 10, 0, 1, 0.05, kBlue);
  EXPECT_NE(thin.text().find("1.000000 setlinewidth"), std::string::npos);
  EpsWriter wide(1.0, true);
  wide.Arc({0, 0}, 10, 0, 1, 2.0, kBlue);
  EXPECT_NE(wide.text().find("2.000000 setlinewidth"), std::string::npos);
  EpsWriter off(1.0, false);
  off.Arc({0, 0}, 10, 0, 1, 2.0, kBlue);
  EXPECT_NE(off.text().find("1.000000 setlinewidth"), std::string::npos);
  EpsWriter mm(300 / 25.4, true);  // a 300 dpi raster in millimetres: a pixel is 0.085
  mm.Arc({0, 0}, 10, 0, 1, 0.0, kBlue);
  mm.Arc({0, 0}, 10, 0, 1, 59.0, kBlue);  // 4.995 mm
  EXPECT_NE(mm.text().find("0.100000 setlinewidth"), std::string::npos);
  EXPECT_NE(mm.text().find("4.995333 setlinewidth"), std::string::npos);
}

TEST(EpsWriter, PolylineStrokesEverySegmentOnItsOwn) {
  EpsWriter closed(1.0, false);
  closed.Polyline({V(0, 0), V(10, 0), V(10, 10), V(0, 10)}, true, kBlue);
  EXPECT_EQ(Count(closed.text(), "newpath"), 4u);
  EXPECT_EQ(Count(closed.text(), "stroke"), 4u);
  EXPECT_EQ(Count(closed.text(), "setrgbcolor"), 1u);
  EpsWriter open(1.0, false);
  open.Polyline({V(0, 0), V(10, 0), V(10, 10), V(0, 10)}, false, kBlue);
  EXPECT_EQ(Count(open.text(), "newpath"), 3u);
}

TEST(EpsWriter, ClockwiseSegmentsRunCounterClockwiseFromTheirEnd) {
  // Half circles from (0,0) to (2,0) about (1,0): counter-clockwise from 180°
  // to 360°, clockwise from 180° down to 0°, written as 0 to 180.
  EpsWriter ccw(1.0, false);
  ccw.Polyline({V(0, 0, 0, 1.0), V(2, 0)}, false, kBlue);
  EXPECT_NE(ccw.text().find("1.000000 0.000000 1.000000 180.000000 360.000000 arc"), std::string::npos);
  EpsWriter cw(1.0, false);
  cw.Polyline({V(0, 0, 0, -1.0), V(2, 0)}, false, kBlue);
  EXPECT_NE(cw.text().find("1.000000 0.000000 1.000000 0.000000 180.000000 arc"), std::string::npos);

  EpsWriter area(1.0, false);
  std::vector<PathRing> outlines = {{V(0, 0, 0, -1.0), V(2, 0), V(1, 3)}};
  area.PolyPolygon(outlines, kBlue);
  EXPECT_NE(area.text().find(" arcn\r\n"), std::string::npos);
  EXPECT_NE(area.text().find("closepath\r\neofill\r\n"), std::string::npos);
}

TEST(EpsWriter, ColourSevenIsWhiteAndPaletteBlueIsExact) {
  CGraph g;
  model::CLine* line = test::AddTo(g, std::make_unique<CLine>(Point3{0, 0, 0}, Point3{10, 0, 0}));
  line->setColour(7);
  std::string text;
  ASSERT_TRUE(WriteEpsFile(text, g, false).ok());
  EXPECT_NE(text.find("1.000000 1.000000 1.000000 setrgbcolor"), std::string::npos);
  EXPECT_FALSE(WriteEpsFile(text, *std::make_unique<CGraph>(), false).ok());
}

}  // namespace
}  // namespace quillon::formats
