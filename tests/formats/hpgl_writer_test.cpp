// HP-GL commands: plotter units per drawing unit, arcs, fills.

#include <gtest/gtest.h>

#include <numbers>
#include <string>

#include "formats/hpgl/hpgl_file.h"
#include "formats/hpgl/hpgl_writer.h"
#include "render_sample.h"

namespace quillon::formats {
namespace {

using model::CGraph;
using model::CLine;
using model::Point3;
using test::V;

TEST(HpglWriter, MillimetresPlotAtFortyUnits) {
  HpglWriter writer(10.0, 2);  // 10 pixels per mm
  writer.Line({0, 0}, {100, 0});
  EXPECT_EQ(writer.text(),
            "PU0.000000,0.000000;PD0.000000,0.000000;PD400.000000,0.000000;PU400.000000,0.000000;");
}

TEST(HpglWriter, PixelDrawingAndWholeFile) {
  CGraph g;
  test::AddTo(g, std::make_unique<CLine>(Point3{1, 2, 0}, Point3{3, 4, 0}));
  std::string text;
  ASSERT_TRUE(WriteHpglFile(text, g).ok());
  EXPECT_EQ(text, "IN;SP1;PU10.000000,20.000000;PD10.000000,20.000000;PD30.000000,40.000000;PU30.000000,40.000000;");
  CGraph empty;
  EXPECT_FALSE(WriteHpglFile(text, empty).ok());
}

TEST(HpglWriter, ArcSweepsAreSigned) {
  HpglWriter ccw(1.0, 3);
  ccw.Polyline({V(0, 0, 0, 1.0), V(2, 0)}, false);
  EXPECT_EQ(ccw.text(), "PU0.000000,0.000000;PD0.000000,0.000000;AA 10.000000,0.000000,180.000000;PA20.000000,0.000000;");
  HpglWriter cw(1.0, 3);
  cw.Polyline({V(0, 0, 0, -1.0), V(2, 0)}, false);
  EXPECT_NE(cw.text().find("AA 10.000000,0.000000,-180.000000;"), std::string::npos);
  HpglWriter arc(1.0, 3);
  arc.Arc({0, 0}, 1.0, 0.0, std::numbers::pi / 2);
  EXPECT_EQ(arc.text(), "PU10.000000,0.000000;PD10.000000,0.000000;AA 0.000000,0.000000,90.000000;");
}

TEST(HpglWriter, PolygonModeWrapsAllOutlinesOfAFill) {
  HpglWriter writer(1.0, 3);
  std::vector<PathRing> outlines = {{V(0, 0), V(1, 0), V(1, 1)}, {V(0.2, 0.2), V(0.4, 0.2), V(0.4, 0.4)}};
  writer.PolyPolygon(outlines);
  const std::string& t = writer.text();
  EXPECT_EQ(t.rfind("PU0.000000,0.000000;FT2;PM0;PD0.000000,0.000000;", 0), 0u);
  EXPECT_EQ(t.find("FT2;PM0;"), t.rfind("FT2;PM0;"));
  EXPECT_NE(t.find("PA0.000000,0.000000;PM1;PU2.000000,2.000000;PD2.000000,2.000000;"), std::string::npos);
  EXPECT_TRUE(t.ends_with("PA2.000000,2.000000;PA2.000000,2.000000;PM2;FP;\r\n")) << t;
}

}  // namespace
}  // namespace quillon::formats
