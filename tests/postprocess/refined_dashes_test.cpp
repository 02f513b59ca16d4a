#include "postprocess/refined_dashes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "model/circle.h"
#include "model/polyline.h"
#include "postprocess/stage_common.h"
#include "postprocess/traced_drawing.h"

namespace quillon::postprocess {
namespace {

constexpr int kWidth = 240, kHeight = 60;

struct Segment {
  double x0, y0, x1, y1;  // drawing coordinates, y up
};

// Draws dashes of `dash` px (cap centre to cap centre) every `period` px
// along the screen row y from x, `width` px wide, and lays one straight
// polyline over the whole row as thinning leaves it when the ink runs
// together; answers the drawn dashes in drawing coordinates.
std::vector<Segment> DrawRow(raster::CRaster& raster, model::CLayer& layer, double x, double y, double dash,
                             double period, int count, double width, double slope = 0.0) {
  std::vector<Segment> dashes;
  const double ux = 1.0 / std::hypot(1.0, slope), uy = slope * ux;
  for (int k = 0; k < count; ++k) {
    const double s = k * period, e = s + dash;
    test::DrawStroke(raster, x + s * ux, y + s * uy, x + e * ux, y + e * uy, width);
    dashes.push_back({x + s * ux, kHeight - 1 - (y + s * uy), x + e * ux, kHeight - 1 - (y + e * uy)});
  }
  auto p = std::make_unique<model::CPolyLine>();
  p->appendVertex(dashes.front().x0, dashes.front().y0, width);
  p->appendVertex(dashes.back().x1, dashes.back().y1, width);
  layer.append(std::move(p));
  return dashes;
}

std::vector<Segment> Pieces(const model::CLayer& layer) {
  std::vector<Segment> out;
  for (const auto& e : layer) {
    const auto& v = static_cast<const model::CPolyLine&>(*e).vertices();
    out.push_back({v.front().x, v.front().y, v.back().x, v.back().y});
  }
  return out;
}

// Each drawn dash has a piece whose ends lie within 1.5 px of its ends.
void ExpectDashes(const std::vector<Segment>& drawn, const std::vector<Segment>& pieces) {
  ASSERT_EQ(pieces.size(), drawn.size());
  for (const Segment& d : drawn) {
    bool found = false;
    for (const Segment& p : pieces) {
      const bool forward = std::hypot(p.x0 - d.x0, p.y0 - d.y0) <= 1.5 && std::hypot(p.x1 - d.x1, p.y1 - d.y1) <= 1.5;
      const bool backward = std::hypot(p.x0 - d.x1, p.y0 - d.y1) <= 1.5 && std::hypot(p.x1 - d.x0, p.y1 - d.y0) <= 1.5;
      found = found || forward || backward;
    }
    EXPECT_TRUE(found) << "dash from " << d.x0 << "," << d.y0 << " to " << d.x1 << "," << d.y1;
  }
}

// Dashes 4 px wide whose caps all but touch (gaps of 4.4 and 4.8 px between
// cap centres): one skeleton runs through the row, which is cut at the necks
// into its dashes, level or slanted.
TEST(RefinedDashes, RowsRunTogetherAreCutAtTheirNecks) {
  for (const double slope : {0.0, 0.3}) {
    for (const double gap : {4.4, 4.8}) {
      SCOPED_TRACE(testing::Message() << "slope " << slope << " gap " << gap);
      raster::CRaster raster;
      ASSERT_TRUE(test::BlankRaster(raster, kWidth, kHeight));
      model::CLayer layer;
      const std::vector<Segment> drawn = DrawRow(raster, layer, 10.3, 15.4, 12.0, 12.0 + gap, slope > 0 ? 7 : 10, 4.0, slope);
      EXPECT_EQ(splitDashRows(layer, raster), 1);
      ExpectDashes(drawn, Pieces(layer));
    }
  }
  // A thin row's dashes (2 px wide) show no neck, only white of a pixel or
  // two between their caps: cut there too, level or slanted.
  for (const double slope : {0.0, 0.3}) {
    SCOPED_TRACE(testing::Message() << "thin, slope " << slope);
    raster::CRaster raster;
    ASSERT_TRUE(test::BlankRaster(raster, kWidth, kHeight));
    model::CLayer layer;
    const std::vector<Segment> drawn = DrawRow(raster, layer, 10.3, 15.4, 12.0, 16.0, slope > 0 ? 8 : 12, 2.0, slope);
    EXPECT_EQ(splitDashRows(layer, raster), 1);
    ExpectDashes(drawn, Pieces(layer));
  }
  // A stroke crossing one neck hides it: the row is cut at the others.
  {
    raster::CRaster raster;
    ASSERT_TRUE(test::BlankRaster(raster, kWidth, kHeight));
    model::CLayer layer;
    const std::vector<Segment> drawn = DrawRow(raster, layer, 10.3, 15.4, 20.0, 24.5, 5, 4.0);
    test::DrawStroke(raster, 10.3 + 24.5 + 22.2, 2, 10.3 + 24.5 + 22.2, 40, 5.0);
    EXPECT_EQ(splitDashRows(layer, raster), 1);
    const std::vector<Segment> pieces = Pieces(layer);
    ASSERT_EQ(pieces.size(), 4u);
    ExpectDashes({drawn[0], drawn[3], drawn[4]}, {pieces[0], pieces[2], pieces[3]});
  }
  // Connecting joined the row to a stroke at each end, one polyline of
  // three segments: the row's segment is cut into its dashes, the strokes
  // at its ends stay whole.
  {
    raster::CRaster raster;
    ASSERT_TRUE(test::BlankRaster(raster, kWidth, kHeight));
    model::CLayer layer;
    std::vector<Segment> drawn = DrawRow(raster, layer, 10.3, 15.4, 12.0, 16.4, 10, 4.0);
    const Segment first = drawn.front(), last = drawn.back();
    layer.clear();
    test::DrawStroke(raster, first.x0, 50, first.x0, 15.4, 4.0);
    test::DrawStroke(raster, last.x1, 15.4, last.x1, 50, 4.0);
    auto p = std::make_unique<model::CPolyLine>();
    p->appendVertex(first.x0, kHeight - 1 - 50.0, 4.0);
    p->appendVertex(first.x0, first.y0, 4.0);
    p->appendVertex(last.x1, last.y1, 4.0);
    p->appendVertex(last.x1, kHeight - 1 - 50.0, 4.0);
    layer.append(std::move(p));
    EXPECT_EQ(splitDashRows(layer, raster), 1);
    drawn.push_back({first.x0, kHeight - 1 - 50.0, first.x0, first.y0});
    drawn.push_back({last.x1, last.y1, last.x1, kHeight - 1 - 50.0});
    ExpectDashes(drawn, Pieces(layer));
  }
  // Two dashes run together, and a third beyond white: the two are cut apart.
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, kWidth, kHeight));
  model::CLayer layer;
  const std::vector<Segment> pair = DrawRow(raster, layer, 10.3, 15.4, 14.0, 18.3, 2, 4.0);
  test::DrawStroke(raster, 10.3 + 2 * 18.3 + 2.0, 15.4, 10.3 + 2 * 18.3 + 16.0, 15.4, 4.0);
  EXPECT_EQ(splitDashRows(layer, raster), 1);
  ExpectDashes(pair, Pieces(layer));
}

// What is no dash row stays whole: a solid stroke, a slanted thin stroke
// (its pixel steps narrow it at a regular spacing), a solid stroke with one
// neck and nothing beyond, and necks at no regular spacing.
TEST(RefinedDashes, StrokesWithoutARegularRowOfNecksStayWhole) {
  const auto whole = [](auto&& draw) {
    raster::CRaster raster;
    EXPECT_TRUE(test::BlankRaster(raster, kWidth, kHeight));
    model::CLayer layer;
    draw(raster, layer);
    EXPECT_EQ(splitDashRows(layer, raster), 0);
    EXPECT_EQ(layer.count(), 1u);
  };
  whole([](raster::CRaster& r, model::CLayer& l) { DrawRow(r, l, 10, 20, 200, 210, 1, 4.0); });
  for (const double slope : {0.1, 0.27, 0.45})
    whole([slope](raster::CRaster& r, model::CLayer& l) { DrawRow(r, l, 5, 5, 200, 210, 1, 3.0, slope); });
  whole([](raster::CRaster& r, model::CLayer& l) { DrawRow(r, l, 10.3, 15.4, 14.0, 18.3, 2, 4.0); });
  whole([](raster::CRaster& r, model::CLayer& l) {
    // Pieces of 12, 40 and 12 px run together: necks 16 and 44 px apart.
    test::DrawStroke(r, 10.3, 15.4, 22.3, 15.4, 4.0);
    test::DrawStroke(r, 26.6, 15.4, 66.6, 15.4, 4.0);
    test::DrawStroke(r, 70.9, 15.4, 82.9, 15.4, 4.0);
    auto p = std::make_unique<model::CPolyLine>();
    p->appendVertex(10.3, kHeight - 1 - 15.4, 4.0);
    p->appendVertex(82.9, kHeight - 1 - 15.4, 4.0);
    l.append(std::move(p));
  });
}

// A dash-dot row along screen row 20, 4 px wide: dashes 20 px long, dots
// 10 px from them; the dots at x 40 and 80 were found, the one at 120 was
// not (it touches a stroke above it). Its dot comes back where the row
// repeats and round ink lies; a speck there, or nothing, brings none.
TEST(RefinedDashes, ADotLostInARowComesBackWhereTheRowRepeats) {
  const auto run = [](int third) {  // 0: nothing at x 120, 1: a dot touching a stroke, 2: a 2 x 2 speck
    raster::CRaster raster;
    EXPECT_TRUE(test::BlankRaster(raster, kWidth, kHeight));
    model::CLayer layer;
    const double y = kHeight - 1 - 20.0;
    for (const double x : {10.0, 50.0, 90.0, 130.0}) {
      test::DrawStroke(raster, x, 20, x + 20, 20, 4.0);
      auto p = std::make_unique<model::CPolyLine>();
      p->appendVertex(x, y, 4.0);
      p->appendVertex(x + 20, y, 4.0);
      layer.append(std::move(p));
    }
    for (const double x : {40.0, 80.0}) {
      test::DrawStroke(raster, x, 20, x, 20, 4.0);
      auto dot = std::make_unique<model::CCircle>(model::Point3{x, y, 0.0}, 1.0);
      dot->setWidth(2.0);
      layer.append(std::move(dot));
    }
    if (third == 1) {
      test::DrawStroke(raster, 120, 20, 120, 20, 4.0);
      test::DrawStroke(raster, 105, 16, 135, 16, 3.0);
    } else if (third == 2) {
      for (int r = 19; r <= 20; ++r)
        for (int c = 120; c <= 121; ++c) raster.setBit(c, r, true);
    }
    const int added = restoreRowDots(layer, raster);
    std::vector<model::Point3> centres;
    for (const auto& e : layer)
      if (e->type() == model::EntityType::Circle) centres.push_back(static_cast<const model::CCircle&>(*e).centre());
    return std::make_pair(added, centres);
  };
  const auto [added, centres] = run(1);
  ASSERT_EQ(added, 1);
  EXPECT_NEAR(centres.back().x, 120.0, 1.0);
  EXPECT_NEAR(centres.back().y, kHeight - 1 - 20.0, 1.0);
  EXPECT_EQ(run(0).first, 0);
  EXPECT_EQ(run(2).first, 0);
}

// A straight piece from screen point (x0, y0) to (x1, y1), `width` wide.
void AddPiece(model::CLayer& layer, double x0, double y0, double x1, double y1, double width) {
  auto p = std::make_unique<model::CPolyLine>();
  p->appendVertex(x0, kHeight - 1 - y0, width);
  p->appendVertex(x1, kHeight - 1 - y1, width);
  layer.append(std::move(p));
}

// Six dashes along screen row 20 (14 px every 22 px, 4 px wide), drawn and
// added as pieces; the last piece runs on to `lastEnd` when that is given.
void SixDashRow(raster::CRaster& raster, model::CLayer& layer, double lastEnd = 0.0) {
  for (int k = 0; k < 6; ++k) {
    const double s = 12.0 + 22.0 * k;
    test::DrawStroke(raster, s, 20, s + 14, 20, 4.0);
    AddPiece(layer, s, 20, k == 5 && lastEnd > 0.0 ? lastEnd : s + 14, 20, 4.0);
  }
}

// `count` dashes along screen row 20 (14 px every 22 px, 4 px wide), drawn,
// and those `found(k)` holds for added as pieces; answers the drawn dashes.
template <typename Found>
std::vector<Segment> DashRow(raster::CRaster& raster, model::CLayer& layer, int count, Found found) {
  std::vector<Segment> drawn;
  for (int k = 0; k < count; ++k) {
    const double s = 12.0 + 22.0 * k;
    test::DrawStroke(raster, s, 20, s + 14, 20, 4.0);
    drawn.push_back({s, kHeight - 1 - 20.0, s + 14, kHeight - 1 - 20.0});
    if (found(k)) AddPiece(layer, s, 20, s + 14, 20, 4.0);
  }
  return drawn;
}

// The level pieces along screen row 20.
std::vector<Segment> RowPieces(const model::CLayer& layer) {
  std::vector<Segment> dashes;
  for (const Segment& p : Pieces(layer))
    if (p.y0 == p.y1 && std::fabs(p.y0 - (kHeight - 1 - 20.0)) < 1.0) dashes.push_back(p);
  return dashes;
}

// A dashed row along screen row 20 (dashes 14 px, every 22 px, 4 px wide)
// crossed by a vertical stroke 5 px wide at x 79.5, which touches dash 3's
// start: thinning ran that dash on from the crossing's centre and joined
// it to dash 4, and the last dash, touching a stroke across its end, was
// lost. The row puts the three back at their caps and drops the joined
// piece; the crossing strokes stay.
TEST(RefinedDashes, RowsPutBackDashesThatTouchOtherStrokes) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, kWidth, kHeight));
  model::CLayer layer;
  const std::vector<Segment> drawn = DashRow(raster, layer, 8, [](int k) { return k != 3 && k != 4 && k != 7; });
  test::DrawStroke(raster, 79.5, 2, 79.5, 45, 5.0);
  AddPiece(layer, 79.5, 2, 79.5, 45, 5.0);
  AddPiece(layer, 79.5, 20, 114, 20, 4.0);
  test::DrawStroke(raster, 182.5, 5, 182.5, 45, 3.0);
  AddPiece(layer, 182.5, 5, 182.5, 45, 3.0);
  EXPECT_EQ(completeDashRows(layer, raster), 3);
  ExpectDashes(drawn, RowPieces(layer));
  EXPECT_EQ(layer.count(), drawn.size() + 2);
}

// Seven dashes (14 px every 22 px, 4 px wide), three crossed in their
// middles by hairlines: thinning ran dashes 2, 4 and 5 into the crossings,
// and of the dashes found only 0 and 1 are neighbours, one gap too few to
// tell a row from a stroke broken at regular crossings. The gaps the
// rhythm foresees between the found ones are open, so the row stands and
// gets the three back.
TEST(RefinedDashes, RowsWithNoTwoNeighboursFoundStandOnTheirForeseenGaps) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, kWidth, kHeight));
  model::CLayer layer;
  const auto lost = [](int k) { return k == 2 || k == 4 || k == 5; };
  const std::vector<Segment> drawn = DashRow(raster, layer, 7, [&](int k) { return !lost(k); });
  for (int k = 0; k < 7; ++k) {
    if (!lost(k)) continue;
    const double x = 19.0 + 22.0 * k;
    test::DrawStroke(raster, x, 2, x, 45, 1.0);
    AddPiece(layer, x, 2, x, 45, 0.0);
  }
  EXPECT_EQ(completeDashRows(layer, raster), 3);
  ExpectDashes(drawn, RowPieces(layer));
}

// Thirteen dashes (10 px every 16 px, 4 px wide, 2 px of white between)
// that thinning found alone three times but joined in twos and threes four
// times: the row's dashes are the pieces most alike, not the median piece
// (two dashes joined), and it is cut back into its dashes.
TEST(RefinedDashes, RowsMostlyJoinedTakeTheirDashLengthFromThePiecesFoundAlone) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, kWidth, kHeight));
  model::CLayer layer;
  std::vector<Segment> drawn;
  for (int k = 0; k < 13; ++k) {
    const double s = 12.0 + 16.0 * k;
    test::DrawStroke(raster, s, 20, s + 10, 20, 4.0);
    drawn.push_back({s, kHeight - 1 - 20.0, s + 10, kHeight - 1 - 20.0});
  }
  for (const auto& [first, last] : {std::pair{0, 0}, {1, 1}, {2, 3}, {4, 6}, {7, 7}, {8, 9}, {10, 12}})
    AddPiece(layer, 12.0 + 16.0 * first, 20, 22.0 + 16.0 * last, 20, 4.0);
  EXPECT_EQ(completeDashRows(layer, raster), 10);
  ExpectDashes(drawn, Pieces(layer));
}

// Nine dashes (14 px every 22 px, 4 px wide) found alone at 0, 1, 5 and 8,
// the rest joined: the median spacing of those found alone is three
// periods, the shortest one; the row is cut back into its dashes.
TEST(RefinedDashes, RowsFoundAloneFarApartTakeTheirPeriodFromTheShortestSpacing) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, kWidth, kHeight));
  model::CLayer layer;
  const std::vector<Segment> drawn = DashRow(raster, layer, 9, [](int k) { return k == 0 || k == 1 || k == 5 || k == 8; });
  AddPiece(layer, 12.0 + 22.0 * 2, 20, 26.0 + 22.0 * 4, 20, 4.0);
  AddPiece(layer, 12.0 + 22.0 * 6, 20, 26.0 + 22.0 * 7, 20, 4.0);
  EXPECT_EQ(completeDashRows(layer, raster), 5);
  ExpectDashes(drawn, RowPieces(layer));
}

// No row where the rhythm lacks white or ink: a stroke cut into equal pieces
// by strokes crossing it at a regular spacing (no open gap) keeps its
// pieces, and a dash foreseen beyond the row's last one on a wide blob of
// ink (another stroke, with no narrow dash beyond it) is not put there.
TEST(RefinedDashes, RowsNeedOpenGapsAndNarrowInk) {
  {
    raster::CRaster raster;
    ASSERT_TRUE(test::BlankRaster(raster, kWidth, kHeight));
    model::CLayer layer;
    test::DrawStroke(raster, 10, 20, 200, 20, 3.0);
    for (int k = 0; k < 8; ++k) {
      const double x = 20.0 + 22.0 * k;
      test::DrawStroke(raster, x, 5, x, 40, 4.0);
      AddPiece(layer, x + 4, 20, x + 18, 20, 3.0);
    }
    EXPECT_EQ(completeDashRows(layer, raster), 0);
    EXPECT_EQ(layer.count(), 8u);
  }
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, kWidth, kHeight));
  model::CLayer layer;
  SixDashRow(raster, layer);
  test::DrawStroke(raster, 149, 20, 155, 20, 14.0);  // a blob where dash 6 would lie
  EXPECT_EQ(completeDashRows(layer, raster), 0);
}

// A row of hairline dashes (1 px, slanted, 18 px every 26 px) crossed in
// the gap between dashes 2 and 3 by a stroke 3 px wide, through which the
// two were joined; the trace measured no width on the dashes but for one
// touching other ink. The row's line misses a slanted hairline's pixels
// here and there: the two dashes come back all the same, and as hairlines.
TEST(RefinedDashes, HairlineRowsAreCompletedThoughTheirLineMissesPixels) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, kWidth, kHeight));
  model::CLayer layer;
  const double ux = 1.0 / std::hypot(1.0, 0.2), uy = 0.2 * ux;
  std::vector<Segment> drawn;
  for (int k = 0; k < 8; ++k) {
    const double s = 26.0 * k, x0 = 10 + s * ux, y0 = 10 + s * uy, x1 = x0 + 18 * ux, y1 = y0 + 18 * uy;
    test::DrawStroke(raster, x0, y0, x1, y1, 1.0);
    drawn.push_back({x0, kHeight - 1 - y0, x1, kHeight - 1 - y1});
    if (k != 2 && k != 3) AddPiece(layer, x0, y0, x1, y1, k == 5 ? 4.1 : 0.0);
  }
  AddPiece(layer, 10 + 52 * ux, 10 + 52 * uy, 10 + 96 * ux, 10 + 96 * uy, 1.2);
  const double cx = 10 + 74 * ux;
  test::DrawStroke(raster, cx, 2, cx, 45, 3.0);
  AddPiece(layer, cx, 2, cx, 45, 3.0);
  EXPECT_EQ(completeDashRows(layer, raster), 2);
  std::vector<Segment> dashes;
  for (const auto& e : layer) {
    const auto& v = static_cast<const model::CPolyLine&>(*e).vertices();
    if (v.front().x == v.back().x) continue;  // the crossing stroke
    dashes.push_back({v.front().x, v.front().y, v.back().x, v.back().y});
    if (v.front().startWidth != 4.1) {
      EXPECT_EQ(v.front().startWidth, 0.0);  // hairlines, placed or not
    }
  }
  ExpectDashes(drawn, dashes);
}

// The row's end dash runs into a stroke 8 px wide crossing it near its far
// cap, past an open gap: it comes back; on a blob that covers it whole it
// does not (see above).
TEST(RefinedDashes, RowsGetAnEndDashThatRunsIntoACrossingStroke) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, kWidth, kHeight));
  model::CLayer layer;
  SixDashRow(raster, layer);
  test::DrawStroke(raster, 144, 20, 158, 20, 4.0);
  test::DrawStroke(raster, 153, 2, 153, 45, 8.0);
  AddPiece(layer, 153, 2, 153, 45, 8.0);
  ASSERT_EQ(completeDashRows(layer, raster), 1);
  const Segment last = Pieces(layer).back();
  ExpectDashes({{144.0, kHeight - 1 - 20.0, 158.0, kHeight - 1 - 20.0}}, {last});
}

// Dashes 4 px wide whose gaps are a little shorter than the pen is wide: their caps
// touch and no white shows between them, only a neck. Thinning found some
// alone and joined the others in twos and threes; the row, level or
// slanted, is cut back into its dashes.
TEST(RefinedDashes, RowsWhoseCapsTouchAreCompletedAtTheirNecks) {
  for (const double slope : {0.0, 0.3}) {
    raster::CRaster raster;
    ASSERT_TRUE(test::BlankRaster(raster, kWidth, kHeight));
    model::CLayer layer;
    const double ux = 1.0 / std::hypot(1.0, slope), uy = slope * ux;
    const auto at = [&](double s) { return std::pair{10.0 + s * ux, 8.0 + s * uy}; };
    std::vector<Segment> drawn;
    for (int k = 0; k < 12; ++k) {
      const auto [x0, y0] = at(13.8 * k);
      const auto [x1, y1] = at(13.8 * k + 10.0);
      test::DrawStroke(raster, x0, y0, x1, y1, 4.0);
      drawn.push_back({x0, kHeight - 1 - y0, x1, kHeight - 1 - y1});
    }
    // No white between the caps anywhere along the row.
    for (double s = 0.0; s <= 13.8 * 11 + 10.0; s += 0.25) {
      const auto [x, y] = at(s);
      ASSERT_TRUE(raster.bitAt(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)))) << s;
    }
    // Dashes 0, 1, 4, 5, 9 alone; 2-3, 6-8 and 10-11 joined.
    for (const auto& [first, last] : {std::pair{0, 0}, {1, 1}, {2, 3}, {4, 4}, {5, 5}, {6, 8}, {9, 9}, {10, 11}}) {
      const auto [x0, y0] = at(13.8 * first);
      const auto [x1, y1] = at(13.8 * last + 10.0);
      AddPiece(layer, x0, y0, x1, y1, 4.0);
    }
    EXPECT_EQ(completeDashRows(layer, raster), 7) << "slope " << slope;
    ExpectDashes(drawn, Pieces(layer));
  }
}

// Where a dashed line ends, its last dash is cut short: a stub of 9 px
// after the row's six dashes (14 px every 22 px, 4 px wide), which thinning
// left no path, or joined to the last dash, comes back as a dash of its
// own. A round speck there, or a stub with more ink beyond it, brings none.
TEST(RefinedDashes, RowsGetTheStubOfTheirCutDashBack) {
  const auto complete = [](double stub, bool beyond, bool joined) {
    raster::CRaster raster;
    EXPECT_TRUE(test::BlankRaster(raster, kWidth, kHeight));
    model::CLayer layer;
    SixDashRow(raster, layer, joined ? 144 + stub : 0.0);
    test::DrawStroke(raster, 144, 20, 144 + stub, 20, 4.0);
    if (beyond) test::DrawStroke(raster, 160, 20, 160, 20, 4.0);
    const int added = completeDashRows(layer, raster);
    return std::pair{added, Pieces(layer)};
  };
  std::vector<Segment> drawn;
  for (int k = 0; k < 6; ++k) drawn.push_back({12.0 + 22.0 * k, kHeight - 1 - 20.0, 26.0 + 22.0 * k, kHeight - 1 - 20.0});
  drawn.push_back({144.0, kHeight - 1 - 20.0, 153.0, kHeight - 1 - 20.0});
  for (const bool joined : {false, true}) {
    SCOPED_TRACE(joined ? "joined" : "lost");
    const auto [added, pieces] = complete(9.0, false, joined);
    EXPECT_EQ(added, joined ? 2 : 1);
    ExpectDashes(drawn, pieces);
  }
  EXPECT_EQ(complete(0.0, false, false).first, 0);
  EXPECT_EQ(complete(9.0, true, false).first, 0);
}

// A dash-dot row (dashes 16 px every 36 px, dots halfway between, 4 px
// wide): two dots were found, the third lies under a crossing stroke and
// comes back, and so does the one after the last dash, which the trace
// lost; a dashed row whose gaps hold no dots gets none. A dot found 2 px
// off the row's rhythm is that dot all the same and gets no second one.
TEST(RefinedDashes, DashDotRowsGetTheirLostDotsBack) {
  const auto run = [](bool dots, double off = 0.0) {
    raster::CRaster raster;
    EXPECT_TRUE(test::BlankRaster(raster, kWidth, kHeight));
    model::CLayer layer;
    for (int k = 0; k < 5; ++k) {
      const double s = 10.0 + 36.0 * k;
      test::DrawStroke(raster, s, 20, s + 16, 20, 4.0);
      AddPiece(layer, s, 20, s + 16, 20, 4.0);
      if (!dots) continue;
      test::DrawStroke(raster, s + 26, 20, s + 26, 20, 4.0);
      if (k == 2 || k == 4) continue;
      auto dot = std::make_unique<model::CCircle>(model::Point3{s + 26 + (k == 1 ? off : 0.0), kHeight - 1 - 20.0, 0.0}, 1.0);
      dot->setWidth(2.0);
      layer.append(std::move(dot));
    }
    test::DrawStroke(raster, 108, 2, 108, 45, 3.0);  // across the third dot
    const int added = completeDashRows(layer, raster);
    std::vector<model::Point3> centres;
    for (const auto& e : layer)
      if (e->type() == model::EntityType::Circle) centres.push_back(static_cast<const model::CCircle&>(*e).centre());
    return std::make_pair(added, centres);
  };
  const auto [added, centres] = run(true);
  ASSERT_EQ(added, 2);
  ASSERT_EQ(centres.size(), 5u);
  for (const double x : {108.0, 180.0}) {
    bool found = false;
    for (const model::Point3& c : centres) found = found || (std::fabs(c.x - x) < 1.0 && std::fabs(c.y - (kHeight - 1 - 20.0)) < 1.0);
    EXPECT_TRUE(found) << "dot at " << x;
  }
  EXPECT_EQ(run(false).first, 0);
  const auto [addedBesideOffDot, withOffDot] = run(true, 2.0);
  EXPECT_EQ(addedBesideOffDot, 2);
  EXPECT_EQ(withOffDot.size(), 5u);
}

// A sheet of 60 rows of 52 dashes (14 px every 22 px, 5 px wide, square
// ends filled directly: drawing round strokes on a sheet this size takes
// minutes), every fifth dash from the third on lost: enough pieces and rows
// that the row search splits them across threads. Split or on one thread,
// the same dashes come back in the same order.
class DashSheet : public ::testing::Test {
 protected:
  static constexpr int kRows = 60, kDashes = 52, kSheetWidth = 1170, kSheetHeight = kRows * 16 + 10;
  static bool lost(int k) { return k % 5 == 2; }

  void SetUp() override {
    ASSERT_TRUE(test::BlankRaster(raster, kSheetWidth, kSheetHeight));
    for (int row = 0; row < kRows; ++row)
      for (int k = 0; k < kDashes; ++k)
        for (int y = 6 + 16 * row; y <= 10 + 16 * row; ++y)
          for (int x = 12 + 22 * k; x <= 26 + 22 * k; ++x) raster.setBit(x, y, true);
  }
  model::CLayer completed(bool oneThread, int& added) const {
    const RangeThreadLimit limit(oneThread ? 1 : 0);
    model::CLayer layer;
    for (int row = 0; row < kRows; ++row)
      for (int k = 0; k < kDashes; ++k) {
        if (lost(k)) continue;
        const double y = kSheetHeight - 1 - (8 + 16 * row);
        auto p = std::make_unique<model::CPolyLine>();
        p->appendVertex(14.5 + 22.0 * k, y, 5.0);
        p->appendVertex(23.5 + 22.0 * k, y, 5.0);
        layer.append(std::move(p));
      }
    added = completeDashRows(layer, raster);
    return layer;
  }
  raster::CRaster raster;
};

TEST_F(DashSheet, SplitRowSearchPutsBackTheSameDashesAsOneThread) {
  int addedAlone = 0, addedSplit = 0;
  const model::CLayer alone = completed(true, addedAlone);
  const model::CLayer split = completed(false, addedSplit);
  EXPECT_EQ(addedAlone, kRows * (kDashes / 5));
  EXPECT_EQ(addedSplit, addedAlone);
  EXPECT_TRUE(test::SamePolylines(alone, split));
}

}  // namespace
}  // namespace quillon::postprocess
