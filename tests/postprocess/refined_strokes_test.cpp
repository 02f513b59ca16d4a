// Refined centre lines on short strokes: dashes stay apart and survive.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
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

// Thinning wipes out some dots off the pixel grid altogether (a disc 4 or 5
// px across erodes to a 2 × 2 block and then to nothing): each still comes
// back as exactly one dot, also where thinning leaves a pixel of it.
TEST(RefinedStrokes, DotsOffThePixelGridComeBackOnce) {
  const double offsets[][2] = {{0.0, 0.0}, {0.5, 0.3}, {0.25, 0.3}, {0.75, 0.3}, {0.75, 0.5}, {0.0, 0.8}, {0.5, 0.5}};
  const double diameters[] = {4, 5, 6};
  model::CGraph drawing;
  ASSERT_TRUE(test::BlankRaster(drawing.raster(), 160, 80));
  std::vector<std::pair<double, double>> centres;  // drawing coordinates
  for (int i = 0; i < 7; ++i)
    for (int j = 0; j < 3; ++j) {
      const double x = 10 + 20 * i + offsets[i][0], y = 15 + 25 * j + offsets[i][1];
      test::DrawStroke(drawing.raster(), x, y, x, y, diameters[j]);
      centres.emplace_back(x, 80 - 1 - y);
    }
  settings::TraceOption options;
  options.b_Refine = true;
  ASSERT_TRUE(test::TraceAndProcess(drawing, options));
  EXPECT_EQ(drawing.currentLayer()->count(), centres.size());
  for (const auto& [x, y] : centres) {
    int near = 0;
    for (const auto& e : *drawing.currentLayer())
      if (e->type() == model::EntityType::Circle &&
          std::hypot(static_cast<const model::CCircle&>(*e).centre().x - x, static_cast<const model::CCircle&>(*e).centre().y - y) <= 1.0)
        ++near;
    EXPECT_EQ(near, 1) << "dot at " << x << ", " << y;
  }
}

// A dash-dot line on a slant, as pens draw it (5 px wide, dashes of 20 px,
// gaps of 12 px on either side of each dot), among salt specks of one pixel,
// a 2 × 2 square and three pixels in an L: every dash comes back as one
// straight piece and every dot as a dot, and no speck as anything.
TEST(RefinedStrokes, DashDotLineKeepsDashesAndDotsAmongSpecks) {
  model::CGraph drawing;
  ASSERT_TRUE(test::BlankRaster(drawing.raster(), 240, 170));
  const double ax = 20, ay = 14, ux = 0.8312, uy = 0.5559;  // 33.8°, screen coordinates
  std::vector<std::pair<double, double>> dashes, dots;      // along the line
  for (double s = 0; s + 20 <= 230; s += 64) {
    dashes.emplace_back(s, s + 20);
    if (s + 32 <= 230) dots.emplace_back(s + 32, s + 32);
  }
  const auto at = [&](double s, double& x, double& y) {
    x = ax + ux * s;
    y = ay + uy * s;
  };
  for (const auto& [s, e] : dashes) {
    double x0, y0, x1, y1;
    at(s, x0, y0);
    at(e, x1, y1);
    test::DrawStroke(drawing.raster(), x0, y0, x1, y1, 5);
  }
  for (const auto& [s, e] : dots) {
    double x, y;
    at(s, x, y);
    test::DrawStroke(drawing.raster(), x, y, x, y, 5);
  }
  raster::CRaster& r = drawing.raster();
  r.setBit(150, 20, true);
  r.setBit(30, 120, true);
  for (int y = 140; y < 142; ++y)
    for (int x = 60; x < 62; ++x) r.setBit(x, y, true);
  r.setBit(200, 30, true);
  r.setBit(201, 30, true);
  r.setBit(200, 31, true);
  settings::TraceOption options;
  options.b_Refine = true;
  ASSERT_TRUE(test::TraceAndProcess(drawing, options));
  const model::CLayer& layer = *drawing.currentLayer();
  EXPECT_EQ(layer.count(), dashes.size() + dots.size());
  const double top = 170 - 1;
  for (const auto& [s, e] : dashes) {
    double x0, y0, x1, y1;
    at(s, x0, y0);
    at(e, x1, y1);
    bool found = false;
    for (const auto& entity : layer) {
      if (entity->type() != model::EntityType::PolyLine) continue;
      const auto& v = static_cast<const model::CPolyLine&>(*entity).vertices();
      const auto near = [&](const model::PolyVertex& p, double x, double y) { return std::hypot(p.x - x, p.y - (top - y)) <= 2.0; };
      found = found || (v.size() == 2 && ((near(v[0], x0, y0) && near(v[1], x1, y1)) || (near(v[0], x1, y1) && near(v[1], x0, y0))));
    }
    EXPECT_TRUE(found) << "dash at " << s;
  }
  for (const auto& [s, e] : dots) {
    double x, y;
    at(s, x, y);
    bool found = false;
    for (const auto& entity : layer)
      found = found || (entity->type() == model::EntityType::Circle &&
                        model::distance(static_cast<const model::CCircle&>(*entity).centre(), model::Point3{x, top - y, 0.0}) <= 1.5);
    EXPECT_TRUE(found) << "dot at " << s;
  }
}

}  // namespace
}  // namespace quillon::postprocess
