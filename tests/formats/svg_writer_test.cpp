// The SVG text: header, element forms, the vertical flip, colours, the width
// pieces of polylines, and refusals.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "formats/svg/svg_file.h"
#include "formats/svg/svg_writer.h"
#include "render_sample.h"

namespace quillon::formats {
namespace {

using model::CGraph;
using model::CLine;
using model::Point3;
using test::MakePolyline;
using test::V;

constexpr settings::Rgb kRed{255, 0, 0};

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(SvgWriter, HeaderInPixelsHasNoUnitSuffixAndCrLf) {
  CGraph g;
  test::AddTo(g, std::make_unique<CLine>(Point3{0, 0, 0}, Point3{100, 50, 0}));
  std::string text;
  ASSERT_TRUE(WriteSvgFile(text, g, DestinationSize{}, false).ok());
  EXPECT_EQ(text,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"640.000\" height=\"480.000\" "
            "viewBox=\"-1.500 -0.750 103.000 51.500\">\r\n"
            "  <title>Quillon convert result: </title>\r\n"
            "  <desc>Quillon convert result: </desc>\r\n"
            // S = minY + maxY = 50: y turned downward within the box.
            "<path d=\"M 0.000,50.000 L 100.000,0.000\"\r\n"
            // ByLayer on a new layer: the normal vector colour, blue; a
            // hairline is one raster pixel.
            "fill=\"none\" stroke=\"rgb(0,0,255)\" stroke-width=\"1.000000\" />\r\n"
            "</svg>\r\n");
}

TEST(SvgWriter, DestinationUnitConvertsEveryValueAndNamesTheUnit) {
  CGraph g;
  test::AddTo(g, std::make_unique<CLine>(Point3{0, 0, 0}, Point3{100, 50, 0}));
  std::string text;
  // No raster: no conversion, but the suffix still names the unit.
  ASSERT_TRUE(WriteSvgFile(text, g, DestinationSize{8.5, 11.0, kUnitInch}, false).ok());
  EXPECT_NE(text.find(" width=\"8.500in\" height=\"11.000in\""), std::string::npos);

  SvgWriter writer(10.0, 50.0, true);  // 10 pixels per unit
  writer.Circle({20, 30}, 5.0, 2.0, kRed);
  EXPECT_EQ(writer.text(),
            "<circle cx=\"2.000\" cy=\"2.000\" r=\"0.500\"\r\n"
            "fill=\"none\" stroke=\"rgb(255,0,0)\" stroke-width=\"0.200\" />\r\n");
}

TEST(SvgWriter, ColourSevenIsBlackOnlyWhenTheEntityOwnsIt) {
  CGraph g;
  g.setCurrentLayerByName("Trace");
  g.currentLayer()->setColour(7);
  CLine* own = test::AddTo(g, std::make_unique<CLine>(Point3{0, 0, 0}, Point3{10, 0, 0}));
  own->setColour(7);
  test::AddTo(g, std::make_unique<CLine>(Point3{0, 5, 0}, Point3{10, 5, 0}));  // ByLayer on layer 7
  CLine* red = test::AddTo(g, std::make_unique<CLine>(Point3{0, 9, 0}, Point3{10, 9, 0}));
  red->setColour(1);
  std::string text;
  ASSERT_TRUE(WriteSvgFile(text, g, DestinationSize{}, false).ok());
  const size_t black = text.find("rgb(0,0,0)");
  const size_t white = text.find("rgb(255,255,255)");
  const size_t redAt = text.find("rgb(255,0,0)");
  ASSERT_NE(black, std::string::npos);
  ASSERT_NE(white, std::string::npos);
  ASSERT_NE(redAt, std::string::npos);
  EXPECT_LT(black, white);
  EXPECT_LT(white, redAt);
}

TEST(SvgWriter, PolylineSplitsWhereTheWidthChanges) {
  SvgWriter writer(1.0, 0.0, true);
  writer.Polyline({V(0, 0, 2), V(10, 0, 2), V(20, 0, 5), V(30, 0, 5)}, false, kRed);
  EXPECT_EQ(writer.text(),
            "<path d=\"M 0.000,0.000 L 10.000,0.000 L 20.000,0.000\"\r\n"
            "fill=\"none\" stroke=\"rgb(255,0,0)\" stroke-width=\"2.000\" />\r\n"
            "<path d=\"M 20.000,0.000 L 30.000,0.000\"\r\n"
            "fill=\"none\" stroke=\"rgb(255,0,0)\" stroke-width=\"5.000\" />\r\n");

  // A change at the last vertex closes the only piece; nothing of width 5 follows.
  SvgWriter last(1.0, 0.0, true);
  last.Polyline({V(0, 0, 2), V(10, 0, 2), V(20, 0, 2), V(30, 0, 5)}, false, kRed);
  EXPECT_EQ(Count(last.text(), "<path"), 1u);
  EXPECT_NE(last.text().find("L 30.000,0.000\"\r\nfill=\"none\" stroke=\"rgb(255,0,0)\" stroke-width=\"2.000\""),
            std::string::npos);

  // Without SaveWidth: one path, the hairline.
  SvgWriter plain(1.0, 0.0, false);
  plain.Polyline({V(0, 0, 2), V(10, 0, 2), V(20, 0, 5), V(30, 0, 5)}, false, kRed);
  EXPECT_EQ(Count(plain.text(), "<path"), 1u);
  EXPECT_NE(plain.text().find("stroke-width=\"1.000000\""), std::string::npos);
}

// A zero width means the thinnest visible line: one raster pixel, and at
// least one screen pixel when the document is shown at its own size.
TEST(SvgWriter, HairlinesAreOneRasterPixelAndOneScreenPixelAtLeast) {
  SvgWriter mm(300 / 25.4, 0.0, true);  // a 300 dpi raster in millimetres
  mm.Header(Box{0, 3000, 0, 3000}, 1016.0, 1016.0, "mm");  // 254 mm shown 1016 mm wide
  mm.Line({0, 0}, {10, 0}, kRed);
  mm.Circle({50, 50}, 10.0, 0.0, kRed);
  mm.Circle({50, 50}, 10.0, 0.05, kRed);  // thinner than a pixel: raised
  mm.Circle({50, 50}, 10.0, 30.0, kRed);  // 2.54 mm, kept
  EXPECT_EQ(Count(mm.text(), "stroke-width=\"0.084667\""), 3u) << mm.text();
  EXPECT_EQ(Count(mm.text(), "stroke-width=\"2.540\""), 1u);

  // A scan of 4000 pixels shown 640 pixels wide: one screen pixel is 6.25 raster pixels.
  SvgWriter shrunk(1.0, 0.0, false);
  shrunk.Header(Box{0, 4000, 0, 2000}, 640.0, 480.0, "");
  shrunk.Line({0, 0}, {10, 0}, kRed);
  EXPECT_NE(shrunk.text().find("stroke-width=\"6.250000\""), std::string::npos) << shrunk.text();
}

TEST(SvgWriter, ClosedPolylineIncludesTheClosingSegment) {
  SvgWriter closed(1.0, 0.0, false);
  closed.Polyline({V(0, 0), V(10, 0), V(10, 10)}, true, kRed);
  EXPECT_NE(closed.text().find("L 10.000,-10.000 L 0.000,0.000\""), std::string::npos);
  SvgWriter open(1.0, 0.0, false);
  open.Polyline({V(0, 0), V(10, 0), V(10, 10)}, false, kRed);
  EXPECT_NE(open.text().find("L 10.000,-10.000\""), std::string::npos);
  SvgWriter single(1.0, 0.0, false);
  single.Polyline({V(0, 0)}, false, kRed);
  EXPECT_TRUE(single.text().empty());
}

TEST(SvgWriter, ArcFlagsFollowSweepAndDirection) {
  SvgWriter writer(1.0, 0.0, false);
  writer.Arc({0, 0}, 10.0, 0.0, 1.5 * std::numbers::pi, 0.0, kRed);  // 270°
  EXPECT_NE(writer.text().find("A 10.000,10.000 0 1,0 "), std::string::npos);
  SvgWriter quarter(1.0, 0.0, false);
  quarter.Arc({0, 0}, 10.0, 0.0, 0.5 * std::numbers::pi, 0.0, kRed);
  EXPECT_NE(quarter.text().find("M 10.000,0.000 A 10.000,10.000 0 0,0 0.000,-10.000\""), std::string::npos);

  // Bulge segments: a half circle counter-clockwise has sweep flag 0, a
  // clockwise quarter (bulge -tan(22.5°)) sweep flag 1.
  SvgWriter ccw(1.0, 0.0, false);
  ccw.Polyline({V(0, 0, 0, 1.0), V(2, 0)}, false, kRed);
  EXPECT_NE(ccw.text().find(" A 1.000,1.000 0 0,0 2.000,0.000\""), std::string::npos);
  SvgWriter cw(1.0, 0.0, false);
  cw.Polyline({V(0, 0, 0, -std::tan(std::numbers::pi / 8)), V(2, 0)}, false, kRed);
  EXPECT_NE(cw.text().find(" 0 0,1 2.000,0.000\""), std::string::npos);
}

TEST(SvgWriter, PolyPolygonIsOneEvenOddPath) {
  SvgWriter writer(1.0, 0.0, false);
  std::vector<PathRing> outlines = {{V(0, 0), V(10, 0), V(10, 10)}, {V(2, 2), V(4, 2), V(4, 4)}};
  writer.PolyPolygon(outlines, kRed);
  EXPECT_EQ(writer.text(),
            "<path d=\"M 0.000,0.000 L 10.000,0.000 L 10.000,-10.000Z\r\n"
            "M 2.000,-2.000 L 4.000,-2.000 L 4.000,-4.000Z\"\r\n"
            "fill-rule=\"evenodd\" fill=\"rgb(255,0,0)\"/>\r\n");
}

TEST(SvgWriter, SolidRepeatsItsFirstPoint) {
  SvgWriter writer(1.0, 0.0, false);
  const Point2 points[] = {{0, 0}, {10, 0}, {5, 5}};
  writer.Solid(points, kRed);
  EXPECT_EQ(writer.text(),
            "<path d=\"M 0.000,0.000 L 10.000,0.000 5.000,-5.000 0.000,0.000\"\r\n"
            "fill=\"rgb(255,0,0)\" stroke=\"rgb(255,0,0)\" />\r\n");
}

TEST(SvgWriter, RefusesEmptyDrawingsBadSizesAndNonFiniteCoordinates) {
  CGraph empty;
  std::string text;
  EXPECT_FALSE(WriteSvgFile(text, empty, DestinationSize{}, false).ok());

  CGraph g;
  test::AddTo(g, std::make_unique<CLine>(Point3{0, 0, 0}, Point3{10, 0, 0}));
  EXPECT_FALSE(WriteSvgFile(text, g, DestinationSize{0.0, 480.0, kUnitPixel}, false).ok());
  EXPECT_FALSE(WriteSvgFile(text, g, DestinationSize{640.0, -1.0, kUnitPixel}, false).ok());

  CGraph bad;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  test::AddTo(bad, std::make_unique<CLine>(Point3{0, 0, 0}, Point3{10, 0, 0}));
  test::AddTo(bad, std::make_unique<CLine>(Point3{nan, 0, 0}, Point3{1e300, 0, 0}));
  Status status = WriteSvgFile(text, bad, DestinationSize{}, false);
  EXPECT_FALSE(status.ok());
  EXPECT_FALSE(status.message().empty());
}

}  // namespace
}  // namespace quillon::formats
