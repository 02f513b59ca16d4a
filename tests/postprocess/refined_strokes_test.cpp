// Refined centre lines on short strokes: dashes stay apart and survive.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

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

}  // namespace
}  // namespace quillon::postprocess
