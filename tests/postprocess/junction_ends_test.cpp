#include "postprocess/junction_ends.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <utility>

#include "model/graph.h"
#include "model/polyline.h"
#include "postprocess/stage_common.h"
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

// A pass moved one end, the stem's, onto the bar's centre line (drawing
// x 80, y 89) and left the others: each pair is (kept y, y it had).
void ExpectOnlyTheStemOnTheBar(int moved, const model::CPolyLine& stem,
                               std::initializer_list<std::pair<double, double>> kept) {
  EXPECT_EQ(moved, 1);
  EXPECT_NEAR(stem.vertices().back().y, 89.0, 0.5);
  EXPECT_DOUBLE_EQ(stem.vertices().back().x, 80.0);
  for (const auto& [y, was] : kept) EXPECT_DOUBLE_EQ(y, was);
}

TEST_F(TeeJunction, StemEndIsCarriedOntoTheBarCentreLine) {
  model::CPolyLine* stem = add(layer, 80, 19, 80, 85, 3);
  EXPECT_EQ(carryEndsOntoStrokes(layer, raster), 1);
  EXPECT_DOUBLE_EQ(stem->vertices().back().x, 80.0);
  EXPECT_DOUBLE_EQ(stem->vertices().back().y, 89.0);
  EXPECT_DOUBLE_EQ(stem->vertices().front().y, 19.0);  // its free end stays
  EXPECT_DOUBLE_EQ(bar->vertices().front().x, 20.0);
  EXPECT_DOUBLE_EQ(bar->vertices().back().x, 140.0);
}

// A stroke 7 wide whose round cap only touches the bar (its centre 2 px
// outside the bar's edge, screen row 37.5, drawing y 81.5) ends at the
// cap's centre, not on the bar's centre line.
TEST_F(TeeJunction, EndWhoseCapOnlyTouchesTheBarStaysAtTheCap) {
  test::DrawStroke(raster, 40.3, 37.5, 40.3, 100, 7);
  model::CPolyLine* touching = add(layer, 40.3, 19, 40.3, 83, 7);
  model::CPolyLine* stem = add(layer, 80, 19, 80, 85, 3);
  EXPECT_EQ(carryEndsOntoStrokes(layer, raster), 2);
  EXPECT_NEAR(touching->vertices().back().y, 81.5, 0.5);
  EXPECT_NEAR(stem->vertices().back().y, 89.0, 0.5);
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

// Thinning may leave a spur in the bar's ink that ends where the stem ends,
// running within a few degrees of the bar: the stem goes on past it onto
// the bar's centre line. A stroke that leaves the stem's end at a corner,
// clear of the bar's line, holds the end where it is.
TEST_F(TeeJunction, SpurInTheBarInkDoesNotHoldTheStemShort) {
  model::CPolyLine* stem = add(layer, 80, 19, 80, 85, 3);
  model::CPolyLine* spur = add(layer, 62, 87, 80, 85, 9);
  test::DrawStroke(raster, 110, 34, 110, 100, 3);
  test::DrawStroke(raster, 110, 34, 125, 49, 3);
  model::CPolyLine* cornered = add(layer, 110, 19, 110, 85, 3);
  add(layer, 110, 85, 125, 70, 3);
  ExpectOnlyTheStemOnTheBar(carryEndsOntoStrokes(layer, raster), *stem,
                            {{spur->vertices().back().y, 85.0}, {cornered->vertices().back().y, 85.0}});
}

// A stem that ran on through the bar onto a stroke leaving the bar's far
// side (connect joined it there) goes back onto the bar's centre line; a
// stroke crossing the bar and ending in a cap of its own beyond it stays.
TEST_F(TeeJunction, EndThatRanThroughTheBarOntoAnotherStrokeIsPulledBack) {
  test::DrawStroke(raster, 80, 25, 130, 5, 3);  // leaves the bar's far side
  model::CPolyLine* beyond = add(layer, 80, 94, 130, 114, 3);
  model::CPolyLine* stem = add(layer, 80, 19, 80, 94, 3);
  test::DrawStroke(raster, 40, 100, 40, 22, 3);  // crosses the bar, its cap beyond
  model::CPolyLine* crossing = add(layer, 40, 19, 40, 97, 3);
  ExpectOnlyTheStemOnTheBar(pullEndsBackOntoStrokes(layer, raster), *stem,
                            {{beyond->vertices().front().y, 94.0}, {crossing->vertices().back().y, 97.0}});
}

// A thin stem whose skeleton ran through the bar into a speck of noise
// touching the bar's far edge goes back onto the bar's centre line; thin
// strokes ending on the bar's edge row, or two pixels past it, stay.
TEST_F(TeeJunction, ThinEndOnASpeckPastTheBarIsPulledBack) {
  test::DrawStroke(raster, 60, 30, 60, 100, 1);
  raster.setBit(60, 25, true);  // the speck, a pixel past the bar's edge
  model::CPolyLine* speck = add(layer, 60, 19, 60, 94.2, 1);
  test::DrawStroke(raster, 100, 34, 100, 100, 1);
  model::CPolyLine* onEdge = add(layer, 100, 19, 100, 93, 1);
  test::DrawStroke(raster, 120, 23, 120, 100, 1);
  model::CPolyLine* beyond = add(layer, 120, 19, 120, 95.5, 1);
  EXPECT_EQ(pullEndsBackOntoStrokes(layer, raster), 1);
  EXPECT_NEAR(speck->vertices().back().y, 89.0, 0.25);
  EXPECT_DOUBLE_EQ(speck->vertices().back().x, 60.0);
  EXPECT_DOUBLE_EQ(onEdge->vertices().back().y, 93.0);
  EXPECT_DOUBLE_EQ(beyond->vertices().back().y, 95.5);
}

// Thinning leaves a stem that crosses another stroke just before the bar
// ending in that stroke's ink: the short piece between them joins no
// skeleton. The end goes on through to the bar when the stem's own ink
// shows between the two; it stays when what lies beyond is other ink off
// the stem's line, or when the crossing touches the bar with no stem
// between.
TEST_F(TeeJunction, EndLeftInACrossingGoesOnToTheBarWhenItsOwnInkShowsBetween) {
  test::DrawStroke(raster, 30, 40, 130, 40, 5);  // crosses the stems 10 px below the bar's centre
  add(layer, 30, 79, 130, 79, 5);
  model::CPolyLine* through = add(layer, 80, 19, 80, 79, 3);
  test::DrawStroke(raster, 110, 40, 110, 100, 3);  // ends in the crossing ...
  test::DrawStroke(raster, 112.3, 30, 112.3, 40, 3);  // ... another stroke beyond, beside its line
  model::CPolyLine* beside = add(layer, 110, 19, 110, 79, 3);
  test::DrawStroke(raster, 30, 36, 50, 36, 5);  // touches the bar
  test::DrawStroke(raster, 40, 36, 40, 100, 3);
  model::CPolyLine* touching = add(layer, 40, 19, 40, 83, 3);
  add(layer, 30, 83, 50, 83, 5);
  ExpectOnlyTheStemOnTheBar(carryEndsThroughCrossings(layer, raster), *through,
                            {{beside->vertices().back().y, 79.0}, {touching->vertices().back().y, 83.0}});
}

// A stroke crossing the bar and running on a few pixels, to its cap or off
// the raster, leaves its end on the bar (the piece beyond makes no skeleton
// of its own): the end goes on to the cap's centre, or to its half width
// short of the raster's edge. A stem on the bar stays, a wide one whose cap
// pokes past the bar's far edge too, and so do a stroke running on into
// other ink beyond and one whose piece beyond was traced.
TEST_F(TeeJunction, EndLeftOnACrossedBarGoesOnToItsCapBeyond) {
  test::DrawStroke(raster, 40, 17.5, 40, 100, 5);  // its cap's centre 8 px past the bar's far edge
  model::CPolyLine* capped = add(layer, 40, 19, 40, 89, 5);
  test::DrawStroke(raster, 8, 40, 8, 110, 5);  // a frame's side 8 px in from the left edge ...
  add(layer, 8, 79, 8, 9, 5);
  test::DrawStroke(raster, 60, 70, -10, 70, 3);  // ... and a stroke across it off the raster
  model::CPolyLine* offRaster = add(layer, 60, 49, 8, 49, 3);
  model::CPolyLine* stem = add(layer, 80, 19, 80, 89, 3);
  test::DrawStroke(raster, 100, 30, 100, 100, 11);
  model::CPolyLine* wide = add(layer, 100, 19, 100, 89, 11);
  test::DrawStroke(raster, 120, 12, 120, 100, 3);  // runs on into a stroke along row 12
  test::DrawStroke(raster, 105, 12, 135, 12, 7);
  model::CPolyLine* intoInk = add(layer, 120, 19, 120, 89, 3);
  test::DrawStroke(raster, 28, 17.5, 28, 100, 3);  // its piece beyond traced already
  model::CPolyLine* traced = add(layer, 28, 19, 28, 89, 3);
  add(layer, 28, 95, 28, 101.5, 3);
  test::DrawStroke(raster, 110, 23.5, 110, 100, 3);  // its cap's centre 2 px past the far edge
  model::CPolyLine* justPast = add(layer, 110, 19, 110, 89, 3);
  EXPECT_EQ(carryEndsPastCrossings(layer, raster), 3);
  EXPECT_NEAR(justPast->vertices().back().y, kHeight - 1 - 23.5, 0.5);
  EXPECT_NEAR(capped->vertices().back().y, kHeight - 1 - 17.5, 0.5);
  EXPECT_DOUBLE_EQ(capped->vertices().back().x, 40.0);
  EXPECT_NEAR(offRaster->vertices().back().x, -0.5 + 1.5, 0.5);
  EXPECT_DOUBLE_EQ(stem->vertices().back().y, 89.0);
  EXPECT_DOUBLE_EQ(wide->vertices().back().y, 89.0);
  EXPECT_DOUBLE_EQ(intoInk->vertices().back().y, 89.0);
  EXPECT_DOUBLE_EQ(traced->vertices().back().y, 89.0);
  EXPECT_DOUBLE_EQ(capped->vertices().front().y, 19.0);
}

// Thinning pulls a thin bar's skeleton towards the stem, and its polyline
// may keep a vertex bent 2 px towards it where the stem ends: the stem goes
// onto the bar's line, the chord over that vertex, not onto the vertex.
TEST(TeeOnABentBar, StemEndsOnTheChordOverThePulledVertex) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, 160, kHeight));
  test::DrawStroke(raster, 20, 30, 140, 30, 3);
  test::DrawStroke(raster, 80, 30, 80, 100, 9);
  model::CLayer layer;
  auto bar = std::make_unique<model::CPolyLine>();
  for (const auto& [x, y] : {std::pair{20.0, 89.0}, {74.0, 89.0}, {80.0, 87.0}, {86.0, 89.0}, {140.0, 89.0}})
    bar->appendVertex(x, y, 3);
  layer.append(std::move(bar));
  model::CPolyLine* stem = add(layer, 80, 19, 80, 87, 9);
  EXPECT_EQ(carryEndsOntoStrokes(layer, raster), 1);
  EXPECT_NEAR(stem->vertices().back().y, 89.0, 0.25);
  EXPECT_DOUBLE_EQ(stem->vertices().back().x, 80.0);
}

// The same bend on a ring, once where its closing segment starts and once
// where it ends: the chord takes its neighbours from round the ring.
TEST(TeeOnABentBar, RingBentAtItsSeamStillGivesTheChord) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, 160, kHeight));
  test::DrawStroke(raster, 20, 30, 140, 30, 3);
  test::DrawStroke(raster, 80, 30, 80, 100, 9);
  const std::pair<double, double> round[] = {{86, 89}, {140, 89}, {140, 110}, {20, 110}, {20, 89}, {74, 89}, {80, 87}};
  for (const size_t first : {size_t{0}, size_t{6}}) {  // the bent vertex last, then first
    model::CLayer layer;
    auto ring = std::make_unique<model::CPolyLine>();
    for (size_t k = 0; k < 7; ++k) ring->appendVertex(round[(first + k) % 7].first, round[(first + k) % 7].second, 3);
    ring->setClosed(true);
    layer.append(std::move(ring));
    model::CPolyLine* stem = add(layer, 80, 19, 80, 87, 9);
    EXPECT_EQ(carryEndsOntoStrokes(layer, raster), 1) << "bent vertex at " << (first == 0 ? 6 : 0);
    EXPECT_NEAR(stem->vertices().back().y, 89.0, 0.25) << "bent vertex at " << (first == 0 ? 6 : 0);
  }
}

// The bent bar's own end runs on into a crossing stroke and moves: the stem
// still takes its chord from the bar as it was traced, whichever of the two
// comes first in the layer.
TEST(TeeOnABentBar, StemEndDoesNotDependOnWhetherTheBarMovedFirst) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, 160, kHeight));
  test::DrawStroke(raster, 20, 30, 140, 30, 3);
  test::DrawStroke(raster, 80, 30, 80, 100, 9);
  test::DrawStroke(raster, 68, 10, 68, 50, 3);
  std::pair<double, double> stemEnd[2];
  for (const bool barFirst : {true, false}) {
    model::CLayer layer;
    const auto addBar = [&layer] {
      auto bar = std::make_unique<model::CPolyLine>();
      for (const auto& [x, y] : {std::pair{70.0, 89.0}, {80.0, 87.0}, {86.0, 89.0}, {140.0, 89.0}}) bar->appendVertex(x, y, 3);
      return static_cast<model::CPolyLine*>(layer.append(std::move(bar)));
    };
    model::CPolyLine* bar = barFirst ? addBar() : nullptr;
    model::CPolyLine* stem = add(layer, 80, 19, 80, 87, 9);
    if (!barFirst) bar = addBar();
    add(layer, 68, 109, 68, 69, 3);
    EXPECT_EQ(carryEndsOntoStrokes(layer, raster), 2) << (barFirst ? "bar first" : "stem first");
    EXPECT_NEAR(bar->vertices().front().x, 68.0, 0.5);
    stemEnd[barFirst ? 0 : 1] = {stem->vertices().back().x, stem->vertices().back().y};
  }
  EXPECT_DOUBLE_EQ(stemEnd[0].first, stemEnd[1].first);
  EXPECT_DOUBLE_EQ(stemEnd[0].second, stemEnd[1].second);
  EXPECT_NEAR(stemEnd[0].second, 89.0, 0.5);
}

// A 160-px-wide raster with the strokes (x0, y0, x1, y1, width) drawn, in
// screen coordinates.
bool StrokesDrawn(raster::CRaster& raster, std::initializer_list<std::array<double, 5>> strokes) {
  if (!test::BlankRaster(raster, 160, kHeight)) return false;
  for (const auto& [x0, y0, x1, y1, width] : strokes) test::DrawStroke(raster, x0, y0, x1, y1, width);
  return true;
}

// Two legs 9 px wide from one corner, screen (100.3, 60.2), drawing
// (100.3, 58.8): one runs left, the other down-left at 45°. Thinning runs
// the first leg into the tip and stops the second 8 px short.
TEST(CornerEnds, LegStoppedShortInTheMergedInkMeetsTheOtherAtTheCorner) {
  raster::CRaster raster;
  ASSERT_TRUE(StrokesDrawn(raster, {{20.3, 60.2, 100.3, 60.2, 9}, {100.3, 60.2, 57.9, 102.6, 9}}));
  model::CLayer layer;
  model::CPolyLine* first = add(layer, 20.3, 58.8, 100.3, 58.8, 9);
  model::CPolyLine* second = add(layer, 57.9, 16.4, 100.3 - 8 * M_SQRT1_2, 58.8 - 8 * M_SQRT1_2, 9);
  EXPECT_EQ(meetAtCorners(layer, raster), 1);
  EXPECT_NEAR(second->vertices().back().x, 100.3, 0.01);
  EXPECT_NEAR(second->vertices().back().y, 58.8, 0.01);
  EXPECT_DOUBLE_EQ(second->vertices().front().x, 57.9);
  EXPECT_DOUBLE_EQ(first->vertices().back().x, 100.3);
}

TEST(CornerEnds, StrokesGoingOnThroughThePointAndEndsApartStay) {
  // A T whose bar's polyline ends where the stem meets it (the bar's ink
  // goes on past the point, so it is no corner's tip), and two strokes
  // whose ends lie 5 px apart, white between.
  raster::CRaster raster;
  ASSERT_TRUE(StrokesDrawn(raster, {{20.3, 60.2, 140.3, 60.2, 9},
                                    {100.3, 60.2, 100.3, 110.2, 5},
                                    {20.3, 20.2, 60.3, 20.2, 3},
                                    {66.3, 26.2, 66.3, 50.2, 3}}));
  model::CLayer layer;
  add(layer, 20.3, 58.8, 100.3, 58.8, 9);
  add(layer, 100.3, 9.0, 100.3, 52.0, 5);
  add(layer, 20.3, 98.8, 60.3, 98.8, 3);
  add(layer, 66.3, 68.8, 66.3, 92.8, 3);
  EXPECT_EQ(meetAtCorners(layer, raster), 0);
}

// A sheet of 40 × 30 corners, legs 5 px wide, each with one leg stopped
// 4 px short of the corner and a stem 3 px wide stopped at the first leg's
// edge: enough segments and ends that the passes split them across threads.
class CornerSheet : public ::testing::Test {
 protected:
  static constexpr int kColumns = 40, kRows = 30, kPitch = 40;
  static constexpr int kSheetHeight = kRows * kPitch;

  void SetUp() override {
    ASSERT_TRUE(test::BlankRaster(raster, kColumns * kPitch, kSheetHeight));
    for (int j = 0; j < kRows; ++j)
      for (int i = 0; i < kColumns; ++i) {
        // Square-capped legs, filled directly: drawing round strokes on a
        // sheet this size takes a minute.
        const int x = i * kPitch + 5, y = j * kPitch + 5;  // screen
        fill(x - 2, y - 2, x + 27, y + 2);
        fill(x + 23, y - 2, x + 27, y + 30);
        fill(x + 9, y + 2, x + 11, y + 25);  // a stem down from the first leg
      }
  }
  void fill(int x0, int y0, int x1, int y1) {
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) raster.setBit(x, y, true);
  }
  // The corners' polylines, in drawing coordinates.
  void addLegs(model::CLayer& layer) const {
    for (int j = 0; j < kRows; ++j)
      for (int i = 0; i < kColumns; ++i) {
        const double x = i * kPitch + 5, y = kSheetHeight - 1 - (j * kPitch + 5);
        add(layer, x, y, x + 25, y, 5);
        add(layer, x + 25, y - 28, x + 25, y - 4, 5);
        add(layer, x + 10, y - 25, x + 10, y - 2, 3);
      }
  }
  // The layers after carrying ends onto strokes and after meeting at
  // corners (each pass from the traced legs), on the calling thread alone
  // or split.
  std::pair<model::CLayer, model::CLayer> endsMoved(bool oneThread, int& carried, int& met) const {
    const RangeThreadLimit limit(oneThread ? 1 : 0);
    std::pair<model::CLayer, model::CLayer> layers;
    addLegs(layers.first);
    addLegs(layers.second);
    carried = carryEndsOntoStrokes(layers.first, raster);
    met = meetAtCorners(layers.second, raster);
    return layers;
  }
  raster::CRaster raster;
};

TEST_F(CornerSheet, SplitPassesMoveTheSameEndsAsOneThread) {
  int carriedAlone = 0, metAlone = 0, carriedSplit = 0, metSplit = 0;
  const auto alone = endsMoved(true, carriedAlone, metAlone);
  const auto split = endsMoved(false, carriedSplit, metSplit);
  EXPECT_EQ(carriedAlone, 2 * kColumns * kRows);  // stems and the legs stopped short
  EXPECT_EQ(metAlone, kColumns * kRows);
  EXPECT_EQ(carriedSplit, carriedAlone);
  EXPECT_EQ(metSplit, metAlone);
  EXPECT_TRUE(test::SamePolylines(alone.first, split.first));
  EXPECT_TRUE(test::SamePolylines(alone.second, split.second));
}

// Whole refined traces of T junctions of unequal widths at several angles:
// the stem's end at the bar lies on the bar's drawn centre line.
struct TeeCase {
  double barWidth, stemWidth, degrees;
};

class TracedTee : public ::testing::TestWithParam<TeeCase> {};

// The layer's polylines, for failure messages.
std::string Polylines(const model::CLayer& layer) {
  std::ostringstream out;
  for (const auto& e : layer) {
    if (e->type() != model::EntityType::PolyLine) continue;
    out << "\n ";
    for (const auto& v : static_cast<const model::CPolyLine&>(*e).vertices()) out << " (" << v.x << ", " << v.y << ")";
  }
  return out.str();
}

// A 3 px stroke running into a wide one at 7°, its cap just touching it
// (screen (120.3, 37.2), drawing (120.3, 81.8)): thinning follows the wide
// stroke's skeleton through the merged ink and leaves the thin one 20 px
// short. Its end goes on along its own line, whose lower edge shows all the
// way, to its cap's centre. A stroke going on from its cap into another at
// 10° (whose edge drifts off its line), a fillet's leg going on as its arc,
// a stem short of its bar and a hairline stay.
TEST(MergedInkEnds, EndLostAlongAWideStrokeGoesOnToItsCap) {
  raster::CRaster raster;
  ASSERT_TRUE(StrokesDrawn(raster, {{10.3, 30.2, 150.3, 30.2, 11},
                                    {20.3, 50.2, 120.3, 37.2, 3},
                                    {20.3, 70.2, 60.3, 70.2, 3},
                                    {60.3, 70.2, 150.3, 62.3, 3},
                                    {10.3, 110.2, 150.3, 110.2, 7},
                                    {140.3, 60.2, 140.3, 110.2, 3},
                                    {20.3, 90.2, 80.3, 90.2, 3},
                                    {20.3, 100.2, 60.3, 95.0, 1}}));
  test::DrawRing(raster, 80.3, 30.2, 60.0, 3, -1.5708, 0.5);
  model::CLayer layer;
  add(layer, 10.3, 88.8, 150.3, 88.8, 11);
  model::CPolyLine* merged = add(layer, 20.3, 68.8, 100.3, 79.2, 3);
  model::CPolyLine* drifting = add(layer, 20.3, 48.8, 50.3, 48.8, 3);
  model::CPolyLine* stem = add(layer, 140.3, 58.8, 140.3, 18.8, 3);
  model::CPolyLine* leg = add(layer, 20.3, 28.8, 80.3, 28.8, 3);
  auto arc = std::make_unique<model::CPolyLine>();
  arc->appendVertex(80.3, 28.8, 3, 0.125);  // a turn of 0.5 rad, counter-clockwise
  arc->appendVertex(80.3 + 60 * std::sin(0.5), 88.8 - 60 * std::cos(0.5), 3);
  layer.append(std::move(arc));
  model::CPolyLine* hairline = add(layer, 20.3, 18.8, 50.3, 22.7, 1);
  EXPECT_EQ(carryEndsAlongMergedInk(layer, raster), 1) << Polylines(layer);
  EXPECT_NEAR(merged->vertices().back().x, 120.3, 0.5);
  EXPECT_NEAR(merged->vertices().back().y, 81.8, 0.5);
  EXPECT_DOUBLE_EQ(merged->vertices().front().x, 20.3);
  EXPECT_DOUBLE_EQ(drifting->vertices().back().x, 50.3);
  EXPECT_DOUBLE_EQ(stem->vertices().back().y, 18.8);
  EXPECT_DOUBLE_EQ(leg->vertices().back().x, 80.3);
  EXPECT_DOUBLE_EQ(hairline->vertices().back().x, 50.3);
}

// A 5 px stroke crossed at 25° by an 11 px one 45 px before its cap
// (screen (145.3, 60.2), drawing (145.3, 58.8)): both its edges hide in the
// crossing for some 9 px, and thinning leaves its end before it. Past the
// crossing its own ink shows, of its width, up to the cap: the end goes
// there. A stroke whose cap lies inside such a crossing shows nothing of
// its own past it, and its end stays.
TEST(MergedInkEnds, EndBeforeAShallowCrossingGoesOnToItsCapPastIt) {
  raster::CRaster raster;
  ASSERT_TRUE(StrokesDrawn(raster, {{20.3, 60.2, 145.3, 60.2, 5},
                                    {40.3, 88.2, 150.3, 36.9, 11},
                                    {20.3, 100.2, 100.3, 100.2, 5},
                                    {40.3, 128.2, 150.3, 76.9, 11}}));
  model::CLayer layer;
  model::CPolyLine* crossed = add(layer, 20.3, 58.8, 85.3, 58.8, 5);
  add(layer, 40.3, 30.8, 150.3, 82.1, 11);
  model::CPolyLine* hidden = add(layer, 20.3, 18.8, 85.3, 18.8, 5);
  add(layer, 40.3, -9.2, 150.3, 42.1, 11);
  EXPECT_EQ(carryEndsAlongMergedInk(layer, raster), 1) << Polylines(layer);
  EXPECT_NEAR(crossed->vertices().back().x, 145.3, 0.5);
  EXPECT_NEAR(crossed->vertices().back().y, 58.8, 0.01);
  EXPECT_DOUBLE_EQ(hidden->vertices().back().x, 85.3);
}

TEST_P(TracedTee, StemEndsOnTheBarCentreLine) {
  const TeeCase c = GetParam();
  constexpr int kSize = 180;
  model::CGraph drawing;
  ASSERT_TRUE(test::BlankRaster(drawing.raster(), kSize, kSize));
  // Screen coordinates: the bar through (cx, cy) along the angle, the stem
  // from there 60 px along the bar's normal. Off the pixel grid, so that no
  // pixel centre lies on a stroke's edge.
  const double a = c.degrees * 3.14159265358979 / 180.0;
  const double ux = std::cos(a), uy = std::sin(a), cx = 90.3, cy = 90.2;
  test::DrawStroke(drawing.raster(), cx - 70 * ux, cy - 70 * uy, cx + 70 * ux, cy + 70 * uy, c.barWidth);
  test::DrawStroke(drawing.raster(), cx, cy, cx - 60 * uy, cy + 60 * ux, c.stemWidth);
  settings::TraceOption options;
  options.b_Refine = true;
  ASSERT_TRUE(test::TraceAndProcess(drawing, options));
  // In drawing coordinates (y up) the junction is (cx, kSize − 1 − cy) and
  // the stem runs from it along (−uy, −ux).
  const double jx = cx, jy = kSize - 1 - cy, sx = -uy, sy = -ux;
  const model::PolyVertex* found = nullptr;
  double nearest = 1e300;
  for (const auto& e : *drawing.currentLayer()) {
    if (e->type() != model::EntityType::PolyLine) continue;
    const auto& v = static_cast<const model::CPolyLine&>(*e).vertices();
    if (v.size() < 2) continue;
    for (const auto& [end, next] : {std::pair{&v.front(), &v[1]}, std::pair{&v.back(), &v[v.size() - 2]}}) {
      const double dx = next->x - end->x, dy = next->y - end->y, length = std::hypot(dx, dy);
      const double d = std::hypot(end->x - jx, end->y - jy);
      if (length < 1e-9 || (dx * sx + dy * sy) / length < 0.95 || d >= nearest) continue;
      nearest = d;
      found = end;
    }
  }
  ASSERT_NE(found, nullptr) << "no stem end near the junction" << Polylines(*drawing.currentLayer());
  // Distance from the bar's centre line, direction (ux, −uy) in drawing coordinates.
  const double off = std::fabs((found->x - jx) * uy + (found->y - jy) * ux);
  EXPECT_LE(off, 0.5) << Polylines(*drawing.currentLayer());
  EXPECT_LE(nearest, 1.5) << Polylines(*drawing.currentLayer());
}

// A long stem a degree or two off a main angle of the angle series: angle
// adjustment turns it about its middle, shifting its end along the bar and
// a pixel or more beside its own ink.
TEST(TracedTeeStem, LongStemTurnedByAngleAdjustmentStillEndsOnTheBar) {
  constexpr int kSize = 260;
  model::CGraph drawing;
  ASSERT_TRUE(test::BlankRaster(drawing.raster(), kSize, kSize));
  const double a = 28.1 * 3.14159265358979 / 180.0, ux = std::cos(a), uy = std::sin(a);
  const double cx = 160.3, cy = 40.2;
  test::DrawStroke(drawing.raster(), cx - 70 * ux, cy - 70 * uy, cx + 70 * ux, cy + 70 * uy, 2);
  test::DrawStroke(drawing.raster(), cx, cy, cx - 190 * uy, cy + 190 * ux, 3);
  settings::TraceOption options;
  options.b_Refine = true;
  ASSERT_TRUE(options.b_ForceOrtho);
  ASSERT_TRUE(test::TraceAndProcess(drawing, options));
  const double jx = cx, jy = kSize - 1 - cy;
  bool found = false;
  for (const auto& e : *drawing.currentLayer()) {
    const auto& v = static_cast<const model::CPolyLine&>(*e).vertices();
    for (const auto* end : {&v.front(), &v.back()}) {
      if (std::hypot(end->x - jx, end->y - jy) > 5.0) continue;
      if (std::hypot(v.front().x - v.back().x, v.front().y - v.back().y) < 150.0) continue;  // not the stem
      found = true;
      EXPECT_LE(std::fabs((end->x - jx) * uy + (end->y - jy) * ux), 0.5) << Polylines(*drawing.currentLayer());
    }
  }
  EXPECT_TRUE(found) << Polylines(*drawing.currentLayer());
}

INSTANTIATE_TEST_SUITE_P(UnequalWidths, TracedTee,
                         ::testing::Values(TeeCase{9, 3, 0}, TeeCase{3, 9, 0}, TeeCase{12, 2, 90}, TeeCase{2, 8, 90},
                                           TeeCase{5, 5, 30}, TeeCase{7, 4, 17}, TeeCase{4, 7, -35},
                                           TeeCase{10, 6, 120}, TeeCase{6, 11, 62}, TeeCase{1, 5, 40}));

// A thin stem on a wide bar, short enough for connect's spur test, is drawn
// ink: refined, it stays, and ends on the bar's centre line.
TEST(TracedTeeStem, ShortThinStemOnAWideBarStays) {
  model::CGraph drawing;
  ASSERT_TRUE(test::BlankRaster(drawing.raster(), 180, 80));
  test::DrawStroke(drawing.raster(), 20.3, 40.2, 160.3, 40.2, 6);
  test::DrawStroke(drawing.raster(), 90.3, 40.2, 90.3, 65.2, 2);
  settings::TraceOption options;
  options.b_Refine = true;
  ASSERT_TRUE(test::TraceAndProcess(drawing, options));
  const model::CLayer& layer = *drawing.currentLayer();
  ASSERT_EQ(layer.count(), 2u) << Polylines(layer);
  // The bar's centre line is drawing y 79 − 40.2 = 38.8, the ink's (rows 38..43) 38.5.
  bool stem = false;
  for (const auto& e : layer) {
    const auto& v = static_cast<const model::CPolyLine&>(*e).vertices();
    const double top = std::fmax(v.front().y, v.back().y), bottom = std::fmin(v.front().y, v.back().y);
    if (std::fabs(v.front().x - 90.3) < 1.0 && std::fabs(v.back().x - 90.3) < 1.0 && bottom < 14.5) {
      stem = true;
      EXPECT_NEAR(top, 38.8, 0.5) << Polylines(layer);
    }
  }
  EXPECT_TRUE(stem) << Polylines(layer);
}

}  // namespace
}  // namespace quillon::postprocess
