#include "postprocess/mixed_line.h"

#include <gtest/gtest.h>

#include "model/arc.h"
#include "model/circle.h"
#include "model/line.h"
#include "postprocess/traced_drawing.h"

namespace quillon::postprocess {
namespace {

model::CPolyLine* add(model::CLayer& layer, std::initializer_list<model::Point3> points, bool closed = false) {
  auto p = std::make_unique<model::CPolyLine>();
  for (const auto& v : points) p->appendVertex(v.x, v.y);
  p->setClosed(closed);
  return static_cast<model::CPolyLine*>(layer.append(std::move(p)));
}

TEST(MixedLines, ShorterThanTheLengthIsDeletedAndExactlyTheLengthIsKept) {
  model::CLayer layer;
  add(layer, {{0, 0}, {9.99, 0}});
  model::CPolyLine* exact = add(layer, {{0, 5}, {6, 5}, {6, 9}});
  layer.append(std::make_unique<model::CLine>(model::Point3{0, 0}, model::Point3{0, 3}));
  EXPECT_EQ(deleteShortLines(layer, 10), 2);
  ASSERT_EQ(layer.count(), 1u);
  EXPECT_EQ(layer.first(), exact);
}

TEST(MixedLines, ClosedPolylinesCountTheirClosingSegment) {
  model::CLayer layer;
  model::CPolyLine* closed = add(layer, {{0, 0}, {3, 0}, {3, 3}, {0, 3}}, true);
  add(layer, {{10, 0}, {13, 0}, {13, 3}, {10, 3}});
  EXPECT_EQ(deleteShortLines(layer, 10), 1);
  ASSERT_EQ(layer.count(), 1u);
  EXPECT_EQ(layer.first(), closed);
}

TEST(MixedLines, OtherEntitiesAndAZeroLengthSettingDeleteNothing) {
  model::CLayer layer;
  layer.append(std::make_unique<model::CCircle>(model::Point3{0, 0}, 1));
  layer.append(std::make_unique<model::CArc>(model::Point3{0, 0}, 1, 0, 0.5));
  add(layer, {{0, 0}, {1, 0}});
  EXPECT_EQ(deleteShortLines(layer, 10), 1);
  EXPECT_EQ(layer.count(), 2u);
  add(layer, {{0, 0}, {0.5, 0}});
  EXPECT_EQ(deleteShortLines(layer, 0), 0);
  EXPECT_EQ(layer.count(), 3u);
}

// A speck goes; a bar broken at the T junction of a stem is joined by
// connect before the length test, so it survives a length longer than each
// of its halves. Without connect the halves are deleted.
TEST(MixedLines, TracedSpeckIsDeletedWhileAStrokeSplitByAJunctionSurvives) {
  const auto trace = [](bool connect, model::CGraph& drawing) {
    ASSERT_TRUE(test::BlankRaster(drawing.raster(), 140, 100));
    test::DrawStroke(drawing.raster(), 20, 20, 120, 20, 3);  // the bar
    test::DrawStroke(drawing.raster(), 70, 20, 70, 90, 3);   // the stem
    test::DrawStroke(drawing.raster(), 30, 70, 33, 70, 3);   // a speck
    settings::TraceOption options;
    options.b_Connect = connect;
    options.i_DelLine_Length = 60;
    ASSERT_TRUE(test::TraceAndProcess(drawing, options));
  };
  const auto longestHorizontal = [](const model::CLayer& layer) {
    double longest = 0;
    for (const auto& e : layer) {
      model::Box box;
      if (e->getExtents(nullptr, box) && box.height() < 5) longest = std::max(longest, box.width());
    }
    return longest;
  };
  const auto anyNear = [](const model::CLayer& layer, double x, double y) {
    for (const auto& e : layer) {
      model::Box box;
      if (e->getExtents(nullptr, box) && box.minX <= x + 3 && box.maxX >= x - 3 && box.minY <= y + 3 &&
          box.maxY >= y - 3)
        return true;
    }
    return false;
  };
  model::CGraph joined;
  trace(true, joined);
  const model::CLayer& layer = *joined.currentLayer();
  EXPECT_GT(longestHorizontal(layer), 95.0);
  EXPECT_FALSE(anyNear(layer, 31.5, 99 - 70));

  model::CGraph apart;
  trace(false, apart);
  EXPECT_LT(longestHorizontal(*apart.currentLayer()), 60.0);
}

}  // namespace
}  // namespace quillon::postprocess
