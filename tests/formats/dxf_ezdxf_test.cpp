// The DXF files of the save job, read by a third-party reader (ezdxf): both
// variants of a near-empty drawing and of a drawing with every entity type
// must load, pass ezdxf's audit and read back with the entities written.
// Skipped when python3-ezdxf is not installed.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "formats/save_job.h"
#include "model/arc.h"
#include "model/circle.h"
#include "model/graph.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"
#include "support/test_support.h"

namespace quillon::formats {
namespace {

using namespace model;

constexpr int kSkipped = 77;

void EveryEntityType(CGraph& g) {
  g.setCurrentLayerByName("0");
  g.setCurrentLayerByName("Trace");
  g.addEntity(std::make_unique<CLine>(Point3{1, 2, 0}, Point3{30, 40, 0}));

  auto open = std::make_unique<CPolyLine>();
  open->appendVertex(100, 100, 2.0, 0.0);
  open->appendVertex(150, 100, 3.0, 0.6);
  open->appendVertex(150, 160, 3.0, -0.3);
  open->appendVertex(120, 190, 1.0, 0.0);
  g.addEntity(std::move(open));

  auto closed = std::make_unique<CPolyLine>();
  for (auto [x, y] : {std::pair{200.0, 0.0}, {260.0, 0.0}, {230.0, 50.0}}) closed->appendVertex(x, y);
  closed->setClosed(true);
  g.addEntity(std::move(closed));

  g.addEntity(std::make_unique<CCircle>(Point3{300, 300, 0}, 25.0));
  auto wideCircle = std::make_unique<CCircle>(Point3{400, 300, 0}, 20.0);
  wideCircle->setWidth(4.0);
  g.addEntity(std::move(wideCircle));

  g.addEntity(std::make_unique<CArc>(Point3{500, 300, 0}, 30.0, 0.25, 2.5));
  auto wideArc = std::make_unique<CArc>(Point3{600, 300, 0}, 30.0, 5.5, 1.0);  // runs across 0°
  wideArc->setWidth(2.5);
  g.addEntity(std::move(wideArc));
  auto bigArc = std::make_unique<CArc>(Point3{700, 300, 0}, 15.0, 0.0, 4.5);  // more than half a circle
  bigArc->setWidth(1.0);
  bigArc->setColour(3);
  g.addEntity(std::move(bigArc));

  g.addEntity(CSolid::fromThreePoints({0, 500, 0}, {40, 500, 0}, {20, 540, 0}));
  auto quad = std::make_unique<CSolid>();
  for (Point3 p : {Point3{100, 500, 0}, Point3{140, 500, 0}, Point3{140, 540, 0}, Point3{100, 540, 0}}) quad->addPoint(p);
  g.addEntity(std::move(quad));

  auto region = std::make_unique<CPolyPolygon>();
  auto outer = std::make_unique<CPolyLine>();
  for (auto [x, y] : {std::pair{800.0, 0.0}, {900.0, 0.0}, {900.0, 100.0}, {800.0, 100.0}}) outer->appendVertex(x, y);
  outer->setClosed(true);
  auto hole = std::make_unique<CPolyLine>();
  hole->appendVertex(830, 30, 0.0, 0.5);
  hole->appendVertex(870, 30, 0.0, 0.5);
  hole->setClosed(true);
  region->appendOutline(std::move(outer));
  region->appendOutline(std::move(hole));
  region->seedX = 810;
  region->seedY = 10;
  g.addEntity(std::move(region));
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// Runs the checker on (file, expectation) pairs; 0 passed, 77 skipped.
int Check(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string command = "python3 " + Quote(test::SourcePath("tests/py/test_dxf_ezdxf.py")) + " --check";
  for (const auto& [file, expect] : files) command += " " + Quote(file) + " " + Quote(expect);
  int status = std::system(command.c_str());
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

void Save(CGraph& g, const std::string& path, int format, bool saveWidth) {
  SaveJob job(g, path, saveWidth, format);
  ASSERT_TRUE(job.Run()) << job.error();
}

TEST(DxfEzdxf, BothVariantsOfEveryEntityTypeReadBack) {
  test::TempDir dir;
  CGraph g;
  EveryEntityType(g);
  Save(g, dir.file("all-2000.dxf"), 1, true);
  Save(g, dir.file("all-2000-nowidth.dxf"), 1, false);
  Save(g, dir.file("all-r10.dxf"), 7, true);
  Save(g, dir.file("all-r10-nowidth.dxf"), 7, false);
  const std::string points = ";1,2;100,100;200,0;300,300;0,500;100,500";
  int status = Check({
      {dir.file("all-2000.dxf"), "LINE=1,LWPOLYLINE=5,CIRCLE=1,ARC=1,SOLID=2,HATCH=1" + points + ";800,0;420,300"},
      {dir.file("all-2000-nowidth.dxf"), "LINE=1,LWPOLYLINE=2,CIRCLE=2,ARC=3,SOLID=2,HATCH=1" + points + ";400,300"},
      {dir.file("all-r10.dxf"), "LINE=1,POLYLINE=5,CIRCLE=1,ARC=1,SOLID=2" + points + ";420,300"},
      {dir.file("all-r10-nowidth.dxf"), "LINE=1,POLYLINE=2,CIRCLE=2,ARC=3,SOLID=2" + points},
  });
  if (status == kSkipped) GTEST_SKIP() << "python3-ezdxf is not installed";
  EXPECT_EQ(status, 0);
}

TEST(DxfEzdxf, NearEmptyDrawingAndConvertedUnits) {
  test::TempDir dir;
  CGraph g;
  g.setCurrentLayerByName("Trace");
  g.addEntity(std::make_unique<CLine>(Point3{0, 0, 0}, Point3{400, 200, 0}));
  Save(g, dir.file("one-2000.dxf"), 1, true);
  Save(g, dir.file("one-r10.dxf"), 7, true);
  // 200 dpi in inches: the end (400, 200) pixels is (2, 1) inches.
  ASSERT_TRUE(g.raster().create(8, 8, 1));
  ASSERT_TRUE(g.raster().setResolution(7874));
  g.unit = Unit::Inch;
  g.addEntity(std::make_unique<CLine>(Point3{400, 200, 0}, Point3{0, 0, 0}));
  Save(g, dir.file("inch.dxf"), 1, true);
  int status = Check({{dir.file("one-2000.dxf"), "LINE=1;0,0"},
                      {dir.file("one-r10.dxf"), "LINE=1;0,0"},
                      {dir.file("inch.dxf"), "LINE=2;0,0;2.000004,1.000002"}});
  if (status == kSkipped) GTEST_SKIP() << "python3-ezdxf is not installed";
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace quillon::formats
