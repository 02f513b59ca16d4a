#include "postprocess/junction_ends.h"

#include <gtest/gtest.h>

#include <memory>

#include "model/polyline.h"
#include "postprocess/traced_drawing.h"

namespace quillon::postprocess {
namespace {

constexpr int kHeight = 120;

model::CPolyLine* add(model::CLayer& layer, double x0, double y0, double x1, double y1, double width) {
  auto p = std::make_unique<model::CPolyLine>();
  p->appendVertex(x0, y0, width);
  p->appendVertex(x1, y1, width);
  return static_cast<model::CPolyLine*>(layer.append(std::move(p)));
}

// A bar 9 pixels wide along screen row 30 (drawing y 89) and a stem 3 wide
// down from its middle; the stem's polyline ends 4 pixels short of the
// bar's centre line, where thinning leaves it.
class TeeJunction : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::BlankRaster(raster, 160, kHeight));
    test::DrawStroke(raster, 20, 30, 140, 30, 9);
    test::DrawStroke(raster, 80, 30, 80, 100, 3);
    bar = add(layer, 20, 89, 140, 89, 9);
  }
  raster::CRaster raster;
  model::CLayer layer;
  model::CPolyLine* bar = nullptr;
};

TEST_F(TeeJunction, StemEndIsCarriedOntoTheBarCentreLine) {
  model::CPolyLine* stem = add(layer, 80, 19, 80, 85, 3);
  EXPECT_EQ(carryEndsOntoStrokes(layer, raster), 1);
  EXPECT_DOUBLE_EQ(stem->vertices().back().x, 80.0);
  EXPECT_DOUBLE_EQ(stem->vertices().back().y, 89.0);
  EXPECT_DOUBLE_EQ(stem->vertices().front().y, 19.0);  // its free end stays
  EXPECT_DOUBLE_EQ(bar->vertices().front().x, 20.0);
  EXPECT_DOUBLE_EQ(bar->vertices().back().x, 140.0);
}

TEST_F(TeeJunction, EndsThatDoNotRunIntoInkOrMeetTheBarAtAFlatAngleStay) {
  // A stroke whose ink stops one white row short of the bar's.
  test::DrawStroke(raster, 40, 37, 40, 100, 3);
  model::CPolyLine* apart = add(layer, 40, 19, 40, 82, 3);
  // A stroke running into the bar at about 10°.
  model::CPolyLine* flat = add(layer, 100, 84, 130, 89.3 - 5.3 - 5.3, 3);
  EXPECT_EQ(carryEndsOntoStrokes(layer, raster), 0);
  EXPECT_DOUBLE_EQ(apart->vertices().back().y, 82.0);
  EXPECT_DOUBLE_EQ(flat->vertices().front().y, 84.0);
}

}  // namespace
}  // namespace quillon::postprocess
