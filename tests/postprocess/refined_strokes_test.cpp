// Refined centre lines on short strokes: dashes stay apart and survive.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/circle.h"
#include "model/polyline.h"
#include "postprocess/traced_drawing.h"

namespace quillon::postprocess {
namespace {

struct Piece {
  double x0, x1;  // the lower and higher x of a straight horizontal piece
};

std::vector<Piece> HorizontalPieces(const model::CLayer& layer) {
  std::vector<Piece> pieces;
  for (const auto& e : layer) {
    if (e->type() != model::EntityType::PolyLine) continue;
    const auto& v = static_cast<const model::CPolyLine&>(*e).vertices();
    pieces.push_back({std::fmin(v.front().x, v.back().x), std::fmax(v.front().x, v.back().x)});
  }
  return pieces;
}

// Dashes 8 px long (cap centre to cap centre), 3 px wide, 4 px of white
// between the caps: shorter than the short-line limit and closer than the
// connect distance, yet each is a stroke of its own.
TEST(RefinedStrokes, DashesOfADashedLineComeBackOneByOne) {
  model::CGraph drawing;
  ASSERT_TRUE(test::BlankRaster(drawing.raster(), 200, 40));
  std::vector<double> starts;
  for (double x = 10; x + 8 < 190; x += 15) {
    test::DrawStroke(drawing.raster(), x, 20, x + 8, 20, 3);
    starts.push_back(x);
  }
  settings::TraceOption options;
  options.b_Refine = true;
  ASSERT_TRUE(test::TraceAndProcess(drawing, options));
  const std::vector<Piece> pieces = HorizontalPieces(*drawing.currentLayer());
  ASSERT_EQ(pieces.size(), starts.size());
  for (double x : starts) {
    bool found = false;
    for (const Piece& p : pieces) found = found || (std::fabs(p.x0 - x) <= 1.0 && std::fabs(p.x1 - (x + 8)) <= 1.0);
    EXPECT_TRUE(found) << "dash at " << x;
  }
  // Without refinement the same row is joined into longer pieces or deleted.
  options.b_Refine = false;
  ASSERT_TRUE(test::TraceAndProcess(drawing, options));
  EXPECT_NE(HorizontalPieces(*drawing.currentLayer()).size(), starts.size());
}

// Dots 3 to 6 px across (odd ones thin to one pixel, even ones to a stub)
// come back as dot circles on their centres that ink the dot; specks of a
// pixel or a 2 × 2 square, as salt noise leaves, do not; without refinement
// nothing comes back.
TEST(RefinedStrokes, DotsBecomeDotCirclesAndSpecksVanish) {
  model::CGraph drawing;
  ASSERT_TRUE(test::BlankRaster(drawing.raster(), 120, 40));
  const double diameters[] = {3, 4, 5, 6};
  for (int i = 0; i < 4; ++i) test::DrawStroke(drawing.raster(), 15 + 20 * i, 20, 15 + 20 * i, 20, diameters[i]);
  drawing.raster().setBit(100, 10, true);
  for (int y = 30; y < 32; ++y)
    for (int x = 100; x < 102; ++x) drawing.raster().setBit(x, y, true);
  settings::TraceOption options;
  options.b_Refine = true;
  options.b_CalcWidth = true;  // keep the dots' widths
  ASSERT_TRUE(test::TraceAndProcess(drawing, options));
  std::vector<const model::CCircle*> dots;
  for (const auto& e : *drawing.currentLayer()) {
    ASSERT_EQ(e->type(), model::EntityType::Circle);
    dots.push_back(static_cast<const model::CCircle*>(e.get()));
  }
  ASSERT_EQ(dots.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    const double x = 15 + 20 * i, y = 40 - 1 - 20;
    const model::CCircle* near = nullptr;
    for (const model::CCircle* c : dots)
      if (std::hypot(c->centre().x - x, c->centre().y - y) <= 0.75) near = c;
    ASSERT_NE(near, nullptr) << "dot " << diameters[i];
    // The ring from radius − width/2 to radius + width/2 is the disc, which
    // (drawn by pixel centres within d/2) is about d + 1 pixels across.
    EXPECT_NEAR(near->radius() + near->getWidth() / 2, (diameters[i] + 1) / 2, 0.75) << "dot " << diameters[i];
    EXPECT_NEAR(near->radius() - near->getWidth() / 2, 0.0, 1e-9);
  }
  options.b_Refine = false;
  ASSERT_TRUE(test::TraceAndProcess(drawing, options));
  EXPECT_EQ(drawing.currentLayer()->count(), 0u);
}

}  // namespace
}  // namespace quillon::postprocess
