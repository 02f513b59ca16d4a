#include "postprocess/refined_arcs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "model/arc.h"
#include "model/circle.h"
#include "model/layer.h"
#include "model/polyline.h"
#include "postprocess/circle_arc.h"
#include "postprocess/traced_drawing.h"

namespace quillon::postprocess {
namespace {

// Salt noise of the given share with round blobs of 1 to 7 px across, some
// cut by the border.
raster::CRaster NoisyBlobs(uint32_t seed, int percent) {
  std::mt19937 random(seed);
  raster::CRaster raster;
  EXPECT_TRUE(raster.create(20 + static_cast<int>(random() % 140), 10 + static_cast<int>(random() % 70), 1));
  for (int y = 0; y < raster.height(); ++y)
    for (int x = 0; x < raster.width(); ++x)
      if (static_cast<int>(random() % 100) < percent) raster.setBit(x, y, true);
  for (int i = 0; i < 12; ++i) {
    const double cx = static_cast<double>(random() % 1000) / 1000.0 * raster.width();
    const double cy = static_cast<double>(random() % 1000) / 1000.0 * raster.height();
    const double r = 0.5 + static_cast<double>(random() % 300) / 100.0;
    for (int y = 0; y < raster.height(); ++y)
      for (int x = 0; x < raster.width(); ++x)
        if (std::hypot(x + 0.5 - cx, y + 0.5 - cy) <= r) raster.setBit(x, y, true);
  }
  return raster;
}

// The row-window blob fill and the cheap refusals in front of dotAt against
// the pixel fill and dotAt itself: the same centres in the same order, and
// a dot at exactly the points where dotAt finds one.
TEST(SmallBlobs, WindowFillAndDotRefusalsAgreeWithTheLongWay) {
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    const raster::CRaster raster = NoisyBlobs(seed, static_cast<int>(seed % 5) * 10);
    for (const int maxSize : {1, 2, 3, 5, 16, 27, 28}) {
      const std::vector<model::Point3> fast = smallBlobCentres(raster, maxSize);
      const std::vector<model::Point3> slow = smallBlobCentresByFill(raster, maxSize);
      ASSERT_EQ(fast.size(), slow.size()) << "seed " << seed << " size " << maxSize;
      for (size_t i = 0; i < fast.size(); ++i) {
        EXPECT_EQ(fast[i].x, slow[i].x) << "seed " << seed << " size " << maxSize;
        EXPECT_EQ(fast[i].y, slow[i].y) << "seed " << seed << " size " << maxSize;
      }
    }
    for (int y = -1; y <= raster.height(); ++y) {
      for (int x = -1; x <= raster.width(); ++x) {
        const model::Point3 p{static_cast<double>(x), static_cast<double>(y), 0.0};
        EXPECT_EQ(dotsAt(raster, {p}).size(), dotAt(raster, x, y) ? 1u : 0u) << "seed " << seed << " at " << x << ", " << y;
      }
    }
  }
}

// Blobs across the 64-column words of a row and on the first and last rows
// and columns: each plus of five pixels comes back at its centre, in raster
// order, whatever the width's remainder over 64.
TEST(SmallBlobs, PlusesAcrossWordsAndEdgesAreFound) {
  for (const int width : {5, 63, 64, 65, 127, 130, 200}) {
    raster::CRaster raster;
    ASSERT_TRUE(raster.create(width, 11, 1));
    std::vector<std::pair<int, int>> expected;
    const auto plus = [&](int cx, int cy) {
      for (const auto& [dx, dy] : {std::pair{0, 0}, {1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
        const int x = cx + dx, y = cy + dy;
        if (x >= 0 && y >= 0 && x < width && y < raster.height()) raster.setBit(x, y, true);
      }
      if (cx >= 1 && cy >= 1 && cx + 1 < width && cy + 1 < raster.height()) expected.emplace_back(cy, cx);
    };
    for (const int cx : {1, 62, 63, 64, 65, 66, 126, 127, 128, 129, 198})
      if (cx + 1 < width) plus(cx, (cx % 3 == 0) ? 1 : (cx % 3 == 1 ? 5 : 9));
    plus(width - 2, 9);
    std::sort(expected.begin(), expected.end());
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    // Pluses next to each other merge into larger blobs: keep only lone ones.
    const std::vector<model::Point3> found = smallBlobCentres(raster, 5);
    std::vector<std::pair<int, int>> lone;
    for (const auto& [cy, cx] : expected) {
      bool alone = true;
      for (const auto& [oy, ox] : expected)
        if ((oy != cy || ox != cx) && std::abs(ox - cx) <= 3 && std::abs(oy - cy) <= 3) alone = false;
      if (alone) lone.emplace_back(cy, cx);
    }
    for (const auto& [cy, cx] : lone) {
      const bool seen = std::any_of(found.begin(), found.end(), [&](const model::Point3& p) { return p.x == cx && p.y == cy; });
      EXPECT_TRUE(seen) << "width " << width << " plus at " << cx << ", " << cy;
    }
    EXPECT_EQ(found.size(), smallBlobCentresByFill(raster, 5).size()) << "width " << width;
  }
}

constexpr int kSize = 200;

// Drawing y of a screen row.
double Up(double row) { return kSize - 1 - row; }

// Counts the circles in the drawing's layer, each expected on the drawn
// centre (image rows, turned up here) and radius within `tolerance`.
int CirclesOn(const model::CGraph& drawing, double cx, double cy, double r, double tolerance) {
  int circles = 0;
  for (const auto& e : *drawing.currentLayer()) {
    if (e->type() != model::EntityType::Circle) continue;
    ++circles;
    const auto& c = static_cast<const model::CCircle&>(*e);
    EXPECT_NEAR(c.centre().x, cx, tolerance);
    EXPECT_NEAR(c.centre().y, Up(cy), tolerance);
    EXPECT_NEAR(c.radius(), r, tolerance);
  }
  return circles;
}

// The blank count that stops early agrees with the full walk of inkAlong
// on every share, over noise, blobs and arcs partly off the raster.
TEST(RefinedArcs, TheShortBlankCountAgreesWithTheFullWalk) {
  std::mt19937 random(7);
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    const raster::CRaster raster = NoisyBlobs(seed, static_cast<int>(seed % 5) * 12);
    for (int k = 0; k < 20; ++k) {
      const model::Point3 centre{static_cast<double>(random() % 200) - 20.0, static_cast<double>(random() % 100) - 10.0, 0.0};
      const double radius = 1.0 + static_cast<double>(random() % 600) / 10.0;
      const double start = static_cast<double>(random() % 628) / 100.0;
      const double sweep = (static_cast<double>(random() % 1256) - 628.0) / 100.0;
      const StrokeCircle arc{centre, radius, start, sweep};
      const ArcInk full = inkAlong(raster, arc, 3.0);
      for (const double share : {0.0, 0.01, 0.1, 0.5, 1.0})
        EXPECT_EQ(blankAlongAtMost(raster, arc, share), full.blank <= share * full.samples)
            << "seed " << seed << " arc " << k << " share " << share;
    }
  }
}

TEST(RefinedArcs, AFitOffTheStrokeMovesOntoItsCentreLine) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, kSize, kSize));
  test::DrawRing(raster, 100, 100, 60, 5);
  // Full ring, and a 100° arc, both started 1–2 px off.
  for (const double sweep : {model::kTwoPi, -1.75}) {
    const StrokeCircle off{{101.5, Up(99.0), 0.0}, 61.2, 0.3, sweep};
    const auto placed = followStroke(raster, off, 5.0);
    ASSERT_TRUE(placed.has_value()) << sweep;
    EXPECT_NEAR(placed->centre.x, 100.0, sweep > 0 ? 0.3 : 0.8) << sweep;
    EXPECT_NEAR(placed->centre.y, Up(100.0), sweep > 0 ? 0.3 : 0.8) << sweep;
    EXPECT_NEAR(placed->radius, 60.0, sweep > 0 ? 0.3 : 0.5) << sweep;
  }
  // A hairline ring too: the circle may pass beside its pixel centres.
  ASSERT_TRUE(test::BlankRaster(raster, kSize, kSize));
  test::DrawRing(raster, 100, 100, 40, 1);
  const auto hair = followStroke(raster, StrokeCircle{{100.6, Up(100.4), 0.0}, 40.5, 0.0, model::kTwoPi}, 1.0);
  ASSERT_TRUE(hair.has_value());
  EXPECT_NEAR(hair->radius, 40.0, 0.5);
}

// A flat arc of a large circle fitted with the wrong curvature (centre and
// radius both 6 px out along the middle radius, so the fit touches the
// stroke at the middle and strays only towards the ends) is bent onto the
// stroke: that error barely moves the offsets of a short sweep, and the
// correction must not hold the centre where it started.
TEST(RefinedArcs, AFlatArcFittedWithTheWrongCurvatureIsBentOntoItsStroke) {
  constexpr int kWide = 500, kHigh = 200;
  const double cx = 250, row = 400, r = 330, half = 0.38;
  for (const double width : {1.0, 5.0, 9.0}) {
    for (const double shift : {-6.0, 6.0}) {
      raster::CRaster raster;
      ASSERT_TRUE(test::BlankRaster(raster, kWide, kHigh));
      test::DrawRing(raster, cx, row, r, width, model::kPi / 2 - half, 2 * half);
      const double up = kHigh - 1 - row;  // the centre's drawing y
      const StrokeCircle off{{cx + 0.7, up - shift, 0.0}, r + shift, model::kPi / 2 - half, 2 * half};
      const auto placed = followStroke(raster, off, width);
      ASSERT_TRUE(placed.has_value()) << width << " " << shift;
      EXPECT_NEAR(placed->centre.x, cx, 1.0) << width << " " << shift;
      EXPECT_NEAR(placed->centre.y, up, 1.0) << width << " " << shift;
      EXPECT_NEAR(placed->radius, r, 1.0) << width << " " << shift;
    }
  }
}

// An arc (raster coordinates, angles counter-clockwise) with a straight leg
// of `leg` px leaving each end along its tangent, away from the arc.
void FilletWithLegs(raster::CRaster& raster, double cx, double cy, double r, double width, double a0, double sweep,
                    double leg) {
  test::DrawRing(raster, cx, cy, r, width, a0, sweep);
  for (const double a : {a0, a0 + sweep}) {
    const double px = cx + r * std::cos(a), py = cy - r * std::sin(a);
    const double side = a == a0 ? -1.0 : 1.0;
    const double tx = -std::sin(a) * side, ty = -std::cos(a) * side;
    test::DrawStroke(raster, px, py, px + leg * tx, py + leg * ty, width);
  }
}

// An arc running on into tangent legs at both ends (a fillet), crossed by a
// stroke: the walk along the stroke grows a short seed over the crossing
// to about the tangent points and no further along the legs. The legs'
// first pixels still pull the circle up to about 1.5 px outwards.
TEST(RefinedArcs, AnArcGrownIntoTangentLegsKeepsItsLastFittingArc) {
  const double cx = 100, cy = 100, r = 50, a0 = 0.3, sweep = 2.2;
  for (const double width : {1.0, 3.0, 6.0}) {
    raster::CRaster raster;
    ASSERT_TRUE(test::BlankRaster(raster, kSize, kSize));
    FilletWithLegs(raster, cx, cy, r, width, a0, sweep, 60);
    test::DrawStroke(raster, 10, 60, 190, 60, 3);
    const double middle = a0 + sweep / 2.0;
    const auto grown = extendAlongStroke(raster, StrokeCircle{{cx + 0.8, Up(cy) - 0.6, 0.0}, r + 0.7, middle - 0.2, 0.4},
                                         width);
    ASSERT_TRUE(grown.has_value()) << width;
    EXPECT_NEAR(grown->centre.x, cx, 2.0) << width;
    EXPECT_NEAR(grown->centre.y, Up(cy), 2.0) << width;
    EXPECT_NEAR(grown->radius, r, 2.0) << width;
    // Well beyond the seed, and not far along either leg.
    EXPECT_GT(std::fabs(grown->sweep), 1.2) << width;
    EXPECT_LT(grown->startAngle, middle - 0.6) << width;
    EXPECT_GT(grown->startAngle, a0 - 0.45) << width;
    EXPECT_LT(grown->startAngle + grown->sweep, a0 + sweep + 0.45) << width;
  }
}

// On a large arc a tangent leg stays within the walk's stray limit for
// tens of pixels; the grown arc still ends at about the tangent points
// (the legs' first pixels pull its circle a pixel or two outwards).
TEST(RefinedArcs, ALargeArcGrownIntoTangentLegsEndsAtTheTangentPoints) {
  const double cx = 200, cy = 230, r = 150, a0 = 0.9, sweep = 1.3, up = 259 - cy;
  for (const double width : {2.0, 3.0}) {
    raster::CRaster raster;
    ASSERT_TRUE(test::BlankRaster(raster, 400, 260));
    FilletWithLegs(raster, cx, cy, r, width, a0, sweep, 80);
    const auto grown = extendAlongStroke(raster, StrokeCircle{{cx, up, 0.0}, r, a0 + 0.5, 0.3}, width);
    ASSERT_TRUE(grown.has_value()) << width;
    EXPECT_NEAR(grown->radius, r, 2.5) << width;
    EXPECT_NEAR(grown->startAngle, a0, 0.05) << width;
    EXPECT_NEAR(grown->startAngle + grown->sweep, a0 + sweep, 0.05) << width;
  }
}

// Strokes touching a ring widen it on one side over a long stretch; those
// samples must not drag the ring off its centre line.
TEST(RefinedArcs, ARingWidenedAlongAStretchStaysOnItsCentreLine) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, kSize, kSize));
  test::DrawRing(raster, 100, 100, 60, 4);
  // A concentric arc just outside, touching it over 60°, and a stroke
  // grazing it.
  test::DrawRing(raster, 100, 100, 65, 4, 0.0, 1.0);
  test::DrawStroke(raster, 10, 170, 190, 158, 3);
  const auto placed = followStroke(raster, StrokeCircle{{101.2, Up(98.8), 0.0}, 61.0, 0.0, model::kTwoPi}, 4.0);
  ASSERT_TRUE(placed.has_value());
  EXPECT_NEAR(placed->centre.x, 100.0, 0.2);
  EXPECT_NEAR(placed->centre.y, Up(100.0), 0.2);
  EXPECT_NEAR(placed->radius, 60.0, 0.2);
}

// The samples are walked out of order and the last walk is skipped once
// the circle settles; neither may let a gap through or cost accuracy.
TEST(RefinedArcs, AnOpenRingIsNoCircleButItsArcIsPlaced) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, kSize, kSize));
  // 300° of a ring, open from 0° to 60° (counter-clockwise, y up).
  test::DrawRing(raster, 100, 100, 50, 4, model::kPi / 3.0, 5.0 * model::kPi / 3.0);
  const StrokeCircle ring{{100.8, Up(100.6), 0.0}, 50.7, 0.0, model::kTwoPi};
  EXPECT_FALSE(followStroke(raster, ring, 4.0).has_value());
  // Started inside the gap's far end, sweeping the inked part only.
  const StrokeCircle arc{{100.8, Up(100.6), 0.0}, 50.7, model::kPi / 3.0 + 0.05, 5.0 * model::kPi / 3.0 - 0.1};
  const auto placed = followStroke(raster, arc, 4.0);
  ASSERT_TRUE(placed.has_value());
  EXPECT_NEAR(placed->centre.x, 100.0, 0.3);
  EXPECT_NEAR(placed->centre.y, Up(100.0), 0.3);
  EXPECT_NEAR(placed->radius, 50.0, 0.3);
}

TEST(RefinedArcs, ArcsThatDoNotFollowAStrokeAreRefused) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, kSize, kSize));
  // A thick straight bar: an arc of sagitta 4 from end to end stays inside
  // its ink but strays from its centre line.
  test::DrawStroke(raster, 20, 100, 180, 100, 11);
  const double chord = 160, sagitta = 4;
  const double radius = (chord * chord / 4 + sagitta * sagitta) / (2 * sagitta);
  const double half = std::asin(chord / 2 / radius);
  const StrokeCircle bowed{{100, Up(100) - (radius - sagitta), 0.0}, radius, model::kPi / 2 - half, 2 * half};
  EXPECT_FALSE(followStroke(raster, bowed, 11.0).has_value());
  // A shallow arc that does follow the bar is no better than its chord.
  const double flatRadius = 5000;
  const double flatHalf = std::asin(chord / 2 / flatRadius);
  const StrokeCircle flat{{100, Up(100) - flatRadius, 0.0}, flatRadius, model::kPi / 2 - flatHalf, 2 * flatHalf};
  EXPECT_FALSE(followStroke(raster, flat, 11.0).has_value());
  // The bend of a glyph: two strokes meeting at a sharp corner; the arc
  // through the three corners of the V cuts across white.
  ASSERT_TRUE(test::BlankRaster(raster, kSize, kSize));
  test::DrawStroke(raster, 80, 80, 100, 110, 2);
  test::DrawStroke(raster, 100, 110, 120, 80, 2);
  const auto circle = model::circleThrough({80, Up(80), 0}, {100, Up(110), 0}, {120, Up(80), 0});
  ASSERT_TRUE(circle.has_value());
  const double a0 = std::atan2(Up(80) - circle->centre.y, 80 - circle->centre.x);
  const double a1 = std::atan2(Up(80) - circle->centre.y, 120 - circle->centre.x);
  double sweep = a1 - a0;
  if (sweep > 0) sweep -= model::kTwoPi;  // clockwise round the bottom
  EXPECT_FALSE(followStroke(raster, StrokeCircle{circle->centre, circle->radius, a0, sweep}, 2.0).has_value());
}

// Shallow arcs on straight bars 5 to 9 px wide, with sagittas from half the
// width up to where the centre line strays a pixel from them, follow the bar
// within the stray limit; a straight line fits the bar's centre line as well,
// so they are refused. A drawn arc of the same sagitta and width is kept.
TEST(RefinedArcs, ShallowArcsOnThickBarsAreRefusedButDrawnOnesKept) {
  raster::CRaster raster;
  const double chord = 120;
  const auto shallow = [&](double cx, double row, double sagitta) {
    const double radius = (chord * chord / 4 + sagitta * sagitta) / (2 * sagitta);
    const double half = std::asin(chord / 2 / radius);
    return StrokeCircle{{cx, Up(row) - (radius - sagitta), 0.0}, radius, model::kPi / 2 - half, 2 * half};
  };
  for (const double width : {5.0, 7.0, 9.0}) {
    ASSERT_TRUE(test::BlankRaster(raster, kSize, kSize));
    test::DrawStroke(raster, 40, 100, 160, 100, width);
    for (const double sagitta : {width / 2, width / 2 + 0.5, 2.0 + width / 4}) {
      // Laid over the bar as the plain fit lays it: through the bar's ends,
      // bulging half its sagitta either side of the centre line.
      const StrokeCircle arc = shallow(100, 100 + sagitta / 2, sagitta);
      EXPECT_FALSE(followStroke(raster, arc, width).has_value()) << "width " << width << " sagitta " << sagitta;
    }
  }
  ASSERT_TRUE(test::BlankRaster(raster, kSize, kSize));
  const double sagitta = 4, radius = (chord * chord / 4 + sagitta * sagitta) / (2 * sagitta);
  const double half = std::asin(chord / 2 / radius);
  // The drawn arc: its top at row 100, centre below (screen rows grow downwards).
  test::DrawRing(raster, 100, 100 + radius, radius, 7, model::kPi / 2 - half, 2 * half);
  const auto kept = followStroke(raster, shallow(100, 100, sagitta), 7.0);
  ASSERT_TRUE(kept.has_value());
  EXPECT_NEAR(kept->radius, radius, 0.05 * radius);
}

// Two straight strokes meeting at a slight kink bow their centre line as
// much as a flat arc through the kink would: such an arc follows the ink
// within the stray limit and fits it better than one straight line, but not
// by much, and is refused. Drawn arcs as flat, on strokes as wide, are kept.
TEST(RefinedArcs, FlatArcsOnKinkedStrokesAreRefusedButDrawnOnesKept) {
  raster::CRaster raster;
  for (const double kink : {0.06, 0.09}) {
    for (const double width : {3.0, 5.0}) {
      ASSERT_TRUE(test::BlankRaster(raster, kSize, kSize));
      // Legs of 75 px from (100, 60), each turned kink/2 off the horizontal.
      const double dx = 75 * std::cos(kink / 2), dy = 75 * std::sin(kink / 2);
      test::DrawStroke(raster, 100 - dx, 60 + dy, 100, 60, width);
      test::DrawStroke(raster, 100, 60, 100 + dx, 60 + dy, width);
      // The circle through both far ends and the kink.
      const auto circle = model::circleThrough({100 - dx, Up(60 + dy), 0}, {100, Up(60), 0}, {100 + dx, Up(60 + dy), 0});
      ASSERT_TRUE(circle.has_value());
      const double a0 = std::atan2(Up(60 + dy) - circle->centre.y, 100 + dx - circle->centre.x);
      const double a1 = std::atan2(Up(60 + dy) - circle->centre.y, 100 - dx - circle->centre.x);
      const StrokeCircle arc{circle->centre, circle->radius, a0, a1 - a0};
      EXPECT_FALSE(followStroke(raster, arc, width).has_value()) << "kink " << kink << " width " << width;
    }
  }
  for (const double sweep : {0.35, 0.5}) {
    for (const double width : {3.0, 5.0}) {
      ASSERT_TRUE(test::BlankRaster(raster, kSize, kSize));
      const double radius = 75 / std::sin(sweep / 2);
      // Its middle at row 60, the centre below.
      test::DrawRing(raster, 100, 60 + radius, radius, width, model::kPi / 2 - sweep / 2, sweep);
      const StrokeCircle arc{{100, Up(60 + radius), 0}, radius, model::kPi / 2 - sweep / 2, sweep};
      const auto kept = followStroke(raster, arc, width);
      ASSERT_TRUE(kept.has_value()) << "sweep " << sweep << " width " << width;
      EXPECT_NEAR(kept->radius, radius, 0.05 * radius);
    }
  }
}

// The bulged segments of a traced drawing as (radius, first end, second end).
std::vector<std::tuple<double, model::Point3, model::Point3>> Bulges(const model::CGraph& drawing) {
  std::vector<std::tuple<double, model::Point3, model::Point3>> found;
  for (const auto& e : *drawing.currentLayer()) {
    if (e->type() != model::EntityType::PolyLine) continue;
    const auto& v = static_cast<const model::CPolyLine&>(*e).vertices();
    for (size_t k = 0; k + 1 < v.size(); ++k) {
      if (!v[k].hasBulge()) continue;
      const double chord = std::hypot(v[k + 1].x - v[k].x, v[k + 1].y - v[k].y);
      const double b = v[k].bulge;
      found.emplace_back(chord * (1 + b * b) / (4 * std::fabs(b)), v[k].point(), v[k + 1].point());
    }
  }
  return found;
}

// A fillet joined to its two lines thins to one polyline with a vertex or
// two on the bend, too few for the arc search: the refined trace gives
// line, tangent arc, line with the drawn centre and radius.
TEST(RefinedArcs, AFilletBetweenTwoLinesComesBackAsATangentArc) {
  for (const double width : {3.0, 4.0, 5.0}) {
    model::CGraph drawing;
    ASSERT_TRUE(test::BlankRaster(drawing.raster(), kSize, kSize));
    test::DrawStroke(drawing.raster(), 30, 150, 130, 150, width);
    test::DrawRing(drawing.raster(), 130, 120, 30, width, 1.5 * model::kPi, model::kPi / 2);
    test::DrawStroke(drawing.raster(), 160, 120, 160, 30, width);
    settings::TraceOption options;
    options.b_Refine = true;
    ASSERT_TRUE(test::TraceAndProcess(drawing, options));
    const auto bulges = Bulges(drawing);
    ASSERT_EQ(bulges.size(), 1u) << width;
    const auto& [radius, p, q] = bulges[0];
    EXPECT_NEAR(radius, 30.0, 1.0) << width;
    // A quarter circle between the tangent points, whichever way round.
    EXPECT_NEAR(model::distance(p, q), 30.0 * std::sqrt(2.0), 1.0) << width;
    const model::Point3& low = p.x < q.x ? p : q;
    const model::Point3& high = p.x < q.x ? q : p;
    EXPECT_NEAR(low.x, 130.0, 1.0) << width;
    EXPECT_NEAR(low.y, Up(150.0), 1.0) << width;
    EXPECT_NEAR(high.x, 160.0, 1.0) << width;
    EXPECT_NEAR(high.y, Up(120.0), 1.0) << width;
  }
}

// A leg along row 150 from column x0 to x1 (moved `off` rows), a fillet of
// `radius` turning `turn` counter-clockwise from there, and a leg of `out`
// px beyond, traced refined: the bulges that come back.
std::vector<std::tuple<double, model::Point3, model::Point3>> TracedFillet(double x0, double x1, double radius, double turn,
                                                                           double out, double width, double off) {
  model::CGraph drawing;
  EXPECT_TRUE(test::BlankRaster(drawing.raster(), kSize, kSize));
  const double cy = 150 - radius, ex = x1 + radius * std::sin(turn), ey = cy + radius * std::cos(turn);
  test::DrawStroke(drawing.raster(), x0, 150 + off, x1, 150 + off, width);
  test::DrawRing(drawing.raster(), x1, cy, radius, width, 1.5 * model::kPi, turn);
  test::DrawStroke(drawing.raster(), ex, ey, ex + out * std::cos(turn), ey - out * std::sin(turn), width);
  settings::TraceOption options;
  options.b_Refine = true;
  EXPECT_TRUE(test::TraceAndProcess(drawing, options));
  return Bulges(drawing);
}

// Legs whose ink lies half a pixel off the arc's tangents (pixel rounding
// of an axis-parallel stroke) put the legs' corner off by as much; on a
// shallow fillet the radius is still found from the arc's own ink.
TEST(RefinedArcs, AShallowFilletKeepsItsRadiusWhenItsLegsAreHalfAPixelOff) {
  constexpr double kRadius = 40.0, kTurn = model::kPi / 4;
  for (const auto& [width, off] : {std::pair{3.0, 0.5}, std::pair{5.0, -0.5}}) {
    const auto bulges = TracedFillet(20, 110, kRadius, kTurn, 70, width, off);
    ASSERT_EQ(bulges.size(), 1u) << width << " " << off;
    EXPECT_NEAR(std::get<0>(bulges[0]), kRadius, 1.5) << width << " " << off;
  }
}

// A blob of noise touching a leg's edge puts a few of its centre-line
// samples off the leg's line; the leg still stands, and the fillet with it.
TEST(RefinedArcs, AFilletWhoseLegIsTouchedByABlobIsFound) {
  for (const double width : {3.0, 5.0}) {
    for (const double at : {55.0, 70.0, 85.0, 100.0}) {
      model::CGraph drawing;
      ASSERT_TRUE(test::BlankRaster(drawing.raster(), kSize, kSize));
      test::DrawStroke(drawing.raster(), 30, 150, 130, 150, width);
      test::DrawRing(drawing.raster(), 130, 120, 30, width, 1.5 * model::kPi, model::kPi / 2);
      test::DrawStroke(drawing.raster(), 160, 120, 160, 30, width);
      const double edge = 150 + std::floor(width / 2) + 1;
      for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x) drawing.raster().setBit(static_cast<int>(at) + x, static_cast<int>(edge) + y, true);
      settings::TraceOption options;
      options.b_Refine = true;
      ASSERT_TRUE(test::TraceAndProcess(drawing, options));
      const auto bulges = Bulges(drawing);
      ASSERT_EQ(bulges.size(), 1u) << width << " " << at;
      EXPECT_NEAR(std::get<0>(bulges[0]), 30.0, 1.0) << width << " " << at;
    }
  }
}

// A shallow fillet on a thick stroke bows less than half the width off its
// chord, which a free arc is refused for; kept tangent to its legs it is
// still found, on its drawn radius. A sharp corner of a thick stroke cuts
// its corner as a small fillet would and stays a corner.
TEST(RefinedArcs, ShallowFilletsOnThickStrokesAreFoundAndSharpCornersStaySharp) {
  constexpr double kRadius = 30.0, kTurn = model::kPi / 5;
  const double ex = 130 + kRadius * std::sin(kTurn), ey = 120 + kRadius * std::cos(kTurn);
  for (const double width : {5.0, 7.0}) {
    const auto bulges = TracedFillet(30, 130, kRadius, kTurn, 60, width, 0.0);
    ASSERT_EQ(bulges.size(), 1u) << width;
    const auto& [radius, p, q] = bulges[0];
    // A shallow bend places its radius poorly (a tenth of a pixel on the
    // corner gap is two on the radius); its tangent points well.
    EXPECT_NEAR(radius, kRadius, 2.0) << width;
    const model::Point3& low = p.x < q.x ? p : q;
    const model::Point3& high = p.x < q.x ? q : p;
    EXPECT_NEAR(low.x, 130.0, 1.5) << width;
    EXPECT_NEAR(low.y, Up(150.0), 1.0) << width;
    EXPECT_NEAR(high.x, ex, 1.5) << width;
    EXPECT_NEAR(high.y, Up(ey), 1.5) << width;
  }
  for (const double width : {5.0, 9.0, 11.0}) {
    model::CGraph drawing;
    ASSERT_TRUE(test::BlankRaster(drawing.raster(), kSize, kSize));
    test::DrawStroke(drawing.raster(), 30, 150, 130, 150, width);
    test::DrawStroke(drawing.raster(), 130, 150, 170, 60, width);
    settings::TraceOption options;
    options.b_Refine = true;
    ASSERT_TRUE(test::TraceAndProcess(drawing, options));
    EXPECT_TRUE(Bulges(drawing).empty()) << width;
  }
}

// The whole refined chain leaves a thick straight stroke straight, and a
// ring a circle on its drawn centre and radius.
TEST(RefinedArcs, RefinedTracesKeepBarsStraightAndPlaceRings) {
  model::CGraph drawing;
  ASSERT_TRUE(test::BlankRaster(drawing.raster(), 320, kSize));
  test::DrawStroke(drawing.raster(), 20, 30, 300, 38, 12);
  test::DrawRing(drawing.raster(), 150, 120, 50, 7);
  settings::TraceOption options;
  options.b_Refine = true;
  ASSERT_TRUE(test::TraceAndProcess(drawing, options));
  int circles = 0;
  for (const auto& e : *drawing.currentLayer()) {
    EXPECT_NE(e->type(), model::EntityType::Arc);
    if (e->type() == model::EntityType::PolyLine) {
      for (const auto& v : static_cast<const model::CPolyLine&>(*e).vertices()) EXPECT_FALSE(v.hasBulge());
    }
    if (e->type() == model::EntityType::Circle) {
      ++circles;
      const auto& c = static_cast<const model::CCircle&>(*e);
      EXPECT_NEAR(c.centre().x, 150, 0.5);
      EXPECT_NEAR(c.centre().y, kSize - 1 - 120, 0.5);
      EXPECT_NEAR(c.radius(), 50, 0.5);
    }
  }
  EXPECT_EQ(circles, 1);
}

// A ring crossed by two bars comes back in pieces joined with the bars;
// refined, it is one circle on its drawn centre and radius, and the bars
// stay straight strokes of their own.
TEST(RefinedArcs, ACrossedRingComesBackWhole) {
  model::CGraph drawing;
  ASSERT_TRUE(test::BlankRaster(drawing.raster(), 240, kSize));
  test::DrawRing(drawing.raster(), 120, 100, 60, 5);
  test::DrawStroke(drawing.raster(), 20, 60, 220, 60, 3);
  test::DrawStroke(drawing.raster(), 150, 10, 150, 190, 3);
  settings::TraceOption options;
  options.b_Refine = true;
  ASSERT_TRUE(test::TraceAndProcess(drawing, options));
  EXPECT_EQ(CirclesOn(drawing, 120, 100, 60, 0.5), 1);
}

// A thick ring with thin strokes touching it along the way (tangent bars
// on four sides, which put the centre line off the circle there) and bars
// crossing it: no piece's ring follows the stroke closely enough all the
// way round, yet the ink goes on round it, so it is one circle; an arc of
// the same circle ending in white stays an arc.
TEST(RefinedArcs, ARingTouchedAlongTheWayIsClosedAndAnArcIsNot) {
  for (const bool closed : {true, false}) {
    model::CGraph drawing;
    ASSERT_TRUE(test::BlankRaster(drawing.raster(), 240, kSize));
    const double cx = 120, cy = 100, r = 60, width = 10;
    if (closed) {
      test::DrawRing(drawing.raster(), cx, cy, r, width);
    } else {
      test::DrawRing(drawing.raster(), cx, cy, r, width, 0.3, 4.5);
    }
    const double touch = r + width / 2 + 1.5;  // a 3 px bar's centre line, its edge on the ring's
    test::DrawStroke(drawing.raster(), cx - 40, cy - touch, cx + 40, cy - touch, 3);
    test::DrawStroke(drawing.raster(), cx - 40, cy + touch, cx + 40, cy + touch, 3);
    test::DrawStroke(drawing.raster(), cx - touch, cy - 40, cx - touch, cy + 40, 3);
    test::DrawStroke(drawing.raster(), cx + touch, cy - 40, cx + touch, cy + 40, 3);
    test::DrawStroke(drawing.raster(), 20, 75, 220, 125, 6);
    test::DrawStroke(drawing.raster(), 40, 190, 200, 10, 5);
    settings::TraceOption options;
    options.b_Refine = true;
    ASSERT_TRUE(test::TraceAndProcess(drawing, options));
    EXPECT_EQ(CirclesOn(drawing, cx, cy, r, 1.0), closed ? 1 : 0);
  }
}

// A polyline running round most of a ring between two straight leads, its
// first and last vertex on the ring a pixel off the circle (where thinning
// bends them towards the leads): the run's bulge is the circle placed on
// the ink, not the circle through those two vertices, which its short
// chord would turn pixels off.
TEST(RefinedArcs, ANearRingInsideAPolylineKeepsThePlacedCircle) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, 240, kSize));
  const double cx = 120, cy = 100, r = 60;
  test::DrawRing(raster, cx, cy, r, 5);
  auto polyline = std::make_unique<model::CPolyLine>();
  const double a0 = 0.3, sweep = 5.5;
  const int steps = 21;
  polyline->appendVertex(cx + r * std::cos(a0), Up(cy) + r * std::sin(a0) - 40.0, 5);
  for (int k = 0; k <= steps; ++k) {
    const double a = a0 + sweep * k / steps;
    const double radial = k == 0 ? 1.2 : (k == steps ? -1.2 : 0.0);
    polyline->appendVertex(cx + (r + radial) * std::cos(a), Up(cy) + (r + radial) * std::sin(a), 5);
  }
  polyline->appendVertex(cx + r * std::cos(a0 + sweep) + 40.0, Up(cy) + r * std::sin(a0 + sweep), 5);
  model::CLayer layer;
  auto* traced = static_cast<model::CPolyLine*>(layer.append(std::move(polyline)));
  const CircleTolerances tolerances{2.0, 5, 1000.0, true, &raster, false};
  ASSERT_EQ(recognisePolylineCircles(*traced, tolerances, 0, &layer), 0);
  int bulges = 0;
  const auto& v = traced->vertices();
  for (size_t k = 0; k + 1 < v.size(); ++k) {
    if (!v[k].hasBulge()) continue;
    ++bulges;
    for (const auto* q : {&v[k], &v[k + 1]}) EXPECT_NEAR(std::hypot(q->x - cx, q->y - Up(cy)), r, 0.5);
    const double chord = std::hypot(v[k + 1].x - v[k].x, v[k + 1].y - v[k].y);
    const double b = std::fabs(v[k].bulge);
    EXPECT_NEAR(chord * (1 + b * b) / (4 * b), r, 0.5);
  }
  EXPECT_EQ(bulges, 1);
}

// An arc crossed by two bars comes back in pieces joined with the bars;
// refined, it is one arc on its drawn centre and radius from cap to cap.
TEST(RefinedArcs, ACrossedArcComesBackWhole) {
  for (const double width : {2.0, 5.0, 8.0}) {
    model::CGraph drawing;
    ASSERT_TRUE(test::BlankRaster(drawing.raster(), 240, kSize));
    const double a0 = 0.4, sweep = 2.6, cx = 120, cy = 130, r = 80;
    test::DrawRing(drawing.raster(), cx, cy, r, width, a0, sweep);
    for (const double a : {a0, a0 + sweep})
      test::DrawStroke(drawing.raster(), cx + r * std::cos(a), cy - r * std::sin(a), cx + r * std::cos(a),
                       cy - r * std::sin(a), width);
    test::DrawStroke(drawing.raster(), 20, 80, 220, 80, 3);
    test::DrawStroke(drawing.raster(), 150, 10, 150, 190, 4);
    settings::TraceOption options;
    options.b_Refine = true;
    ASSERT_TRUE(test::TraceAndProcess(drawing, options));
    int arcs = 0;
    for (const auto& e : *drawing.currentLayer()) {
      if (e->type() == model::EntityType::PolyLine) {
        for (const auto& v : static_cast<const model::CPolyLine&>(*e).vertices()) EXPECT_FALSE(v.hasBulge()) << width;
      }
      if (e->type() != model::EntityType::Arc) continue;
      ++arcs;
      const auto& arc = static_cast<const model::CArc&>(*e);
      EXPECT_NEAR(arc.centre().x, cx, 0.7) << width;
      EXPECT_NEAR(arc.centre().y, Up(cy), 0.7) << width;
      EXPECT_NEAR(arc.radius(), r, 0.5) << width;
      EXPECT_NEAR(arc.startAngle(), a0, 0.03) << width;
      EXPECT_NEAR(arc.endAngle(), a0 + sweep, 0.03) << width;
    }
    EXPECT_EQ(arcs, 1) << width;
  }
}

// A bar crossing the arc at a shallow angle hides one of the arc's edges
// over tens of pixels; the walk along the stroke passes it and goes on to
// the cap beyond, instead of stopping where the bar begins.
TEST(RefinedArcs, AWalkAlongAnArcPassesABarCrossingAtAShallowAngle) {
  for (const double bar : {7.0, 8.0}) {
    raster::CRaster raster;
    ASSERT_TRUE(test::BlankRaster(raster, 400, 260));
    const double a0 = 0.4, sweep = 2.3, cx = 200, cy = 190, r = 150, up = 259 - cy, width = 1, gap = 4;
    test::DrawRing(raster, cx, cy, r, width, a0, sweep);
    for (const double a : {a0, a0 + sweep})
      test::DrawStroke(raster, cx + r * std::cos(a), cy - r * std::sin(a), cx + r * std::cos(a), cy - r * std::sin(a), width);
    // Nearly a tangent at the top of the hairline arc, `gap` px inside it.
    test::DrawStroke(raster, 40, cy - r + gap, 360, cy - r + gap + 3, bar);
    const auto grown = extendAlongStroke(raster, StrokeCircle{{cx, up, 0.0}, r, a0 + 0.2, 0.4}, width);
    ASSERT_TRUE(grown.has_value()) << bar;
    EXPECT_NEAR(grown->centre.x, cx, 1.0) << bar;
    EXPECT_NEAR(grown->centre.y, up, 1.0) << bar;
    EXPECT_NEAR(grown->radius, r, 1.0) << bar;
    EXPECT_NEAR(grown->startAngle, a0, 0.03) << bar;
    EXPECT_NEAR(grown->startAngle + grown->sweep, a0 + sweep, 0.03) << bar;
  }
}

// Asked for grown arcs only, the walk gives the same arc for a piece that
// grows, and nothing for a piece that already reaches both caps.
TEST(RefinedArcs, OnlyArcsThatWalkOnComeBackWhenAsked) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, 400, 260));
  const double a0 = 0.6, sweep = 1.6, cx = 200, cy = 200, r = 150, up = 259 - cy, width = 3;
  test::DrawRing(raster, cx, cy, r, width, a0, sweep);
  const StrokeCircle piece{{cx, up, 0.0}, r, a0 + 0.5, 0.4};
  const auto grown = extendAlongStroke(raster, piece, width);
  const auto asked = extendAlongStroke(raster, piece, width, true);
  ASSERT_TRUE(grown.has_value());
  ASSERT_TRUE(asked.has_value());
  EXPECT_EQ(asked->centre.x, grown->centre.x);
  EXPECT_EQ(asked->centre.y, grown->centre.y);
  EXPECT_EQ(asked->radius, grown->radius);
  EXPECT_EQ(asked->startAngle, grown->startAngle);
  EXPECT_EQ(asked->sweep, grown->sweep);
  EXPECT_TRUE(extendAlongStroke(raster, *grown, width).has_value());
  EXPECT_FALSE(extendAlongStroke(raster, *grown, width, true).has_value());
}

// An arc whose last stretch runs along a thick bar on its inside shows
// one edge only there; the walk follows that edge to the arc's cap.
TEST(RefinedArcs, AWalkFollowsAnArcAlongABarBesideItToItsCap) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, 400, 260));
  const double a0 = 0.6, sweep = 1.6, cx = 200, cy = 200, r = 150, up = 259 - cy, end = a0 + sweep, width = 3;
  test::DrawRing(raster, cx, cy, r, width, a0, sweep);
  for (const double a : {a0, end})
    test::DrawStroke(raster, cx + r * std::cos(a), cy - r * std::sin(a), cx + r * std::cos(a), cy - r * std::sin(a), width);
  // 10 px wide, tangent to the arc's inner edge 25 px before its end,
  // from 40 px before that to 20 px after.
  const double t = end - 25 / r, inner = r - width / 2 - 5;
  const double bx = cx + inner * std::cos(t), by = cy - inner * std::sin(t);
  const double dx = -std::sin(t), dy = -std::cos(t);
  test::DrawStroke(raster, bx - 40 * dx, by - 40 * dy, bx + 20 * dx, by + 20 * dy, 10);
  const auto grown = extendAlongStroke(raster, StrokeCircle{{cx, up, 0.0}, r, a0 + 0.5, 0.4}, width);
  ASSERT_TRUE(grown.has_value());
  EXPECT_NEAR(grown->radius, r, 1.0);
  EXPECT_NEAR(grown->startAngle, a0, 0.02);
  EXPECT_NEAR(grown->startAngle + grown->sweep, end, 0.03);
}

// A crossed arc whose end runs into a thick bar ends where its own stroke
// meets the bar, not at the bar's far edge or its centre line.
TEST(RefinedArcs, ACrossedArcEndingInAThickBarEndsAtTheBar) {
  for (const double width : {3.0, 6.0}) {
    model::CGraph drawing;
    ASSERT_TRUE(test::BlankRaster(drawing.raster(), 240, kSize));
    const double a0 = 0.4, sweep = 2.0, cx = 120, cy = 130, r = 80;
    test::DrawRing(drawing.raster(), cx, cy, r, width, a0, sweep);
    const double ex = cx + r * std::cos(a0 + sweep), ey = cy - r * std::sin(a0 + sweep);
    test::DrawStroke(drawing.raster(), ex, ey, ex, ey, width);
    test::DrawStroke(drawing.raster(), ex - 7 - width / 2, 10, ex - 7 - width / 2, 190, 12);
    test::DrawStroke(drawing.raster(), 150, 10, 150, 190, 4);
    settings::TraceOption options;
    options.b_Refine = true;
    ASSERT_TRUE(test::TraceAndProcess(drawing, options));
    int arcs = 0;
    for (const auto& e : *drawing.currentLayer()) {
      if (e->type() != model::EntityType::Arc) continue;
      ++arcs;
      const auto& arc = static_cast<const model::CArc&>(*e);
      EXPECT_NEAR(arc.radius(), r, 0.7) << width;
      EXPECT_NEAR(arc.startAngle(), a0, 0.03) << width;
      EXPECT_NEAR(arc.endAngle(), a0 + sweep, 0.05) << width;
    }
    EXPECT_EQ(arcs, 1) << width;
  }
}

// A stroke crossing an arc just before its round cap leaves the cap in
// white beyond it: the arc ends at its cap, not where the crossing begins.
TEST(RefinedArcs, AnArcCrossedJustBeforeItsCapEndsAtTheCap) {
  for (const double back : {3.0, 4.0, 5.0}) {
    model::CGraph drawing;
    ASSERT_TRUE(test::BlankRaster(drawing.raster(), 240, kSize));
    const double a0 = 0.4, sweep = 2.0, cx = 120, cy = 130, r = 80, width = 6;
    test::DrawRing(drawing.raster(), cx, cy, r, width, a0, sweep);
    const double end = a0 + sweep;
    test::DrawStroke(drawing.raster(), cx + r * std::cos(end), cy - r * std::sin(end), cx + r * std::cos(end),
                     cy - r * std::sin(end), width);
    // Across the arc `back` px before its end, along the radius there.
    const double c = end - back / r;
    test::DrawStroke(drawing.raster(), cx + (r - 40) * std::cos(c), cy - (r - 40) * std::sin(c), cx + (r + 40) * std::cos(c),
                     cy - (r + 40) * std::sin(c), 8);
    settings::TraceOption options;
    options.b_Refine = true;
    ASSERT_TRUE(test::TraceAndProcess(drawing, options));
    int arcs = 0;
    for (const auto& e : *drawing.currentLayer()) {
      if (e->type() != model::EntityType::Arc) continue;
      ++arcs;
      const auto& arc = static_cast<const model::CArc&>(*e);
      EXPECT_NEAR(arc.radius(), r, 0.7) << back;
      EXPECT_NEAR(arc.startAngle(), a0, 0.03) << back;
      EXPECT_NEAR(arc.endAngle(), end, 0.03) << back;
    }
    EXPECT_EQ(arcs, 1) << back;
  }
}

// Where the polyline's fit breaks, an arc comes back as a bulge followed by
// a straight piece along its circle: the bulge is walked on like any piece
// and the arc made whole, the chord taken out with another chord of it. A
// straight stroke beside the arc, its middle outside the circle, is no
// chord and stays. A bulge whose straight neighbour runs off on the
// tangent (a fillet's leg) stays in its polyline with its leg.
TEST(RefinedArcs, ABulgeBeforeAChordOfItsCircleGrowsButAFilletKeepsItsLeg) {
  constexpr double cx = 100, cy = 150, r = 80, width = 4, a0 = 0.5;
  const auto at = [&](double a, double out = 0.0) {
    return model::Point3{cx + (r + out) * std::cos(a), Up(cy) + (r + out) * std::sin(a), 0.0};
  };
  const auto polyline = [](model::CLayer& layer, const std::vector<model::Point3>& points, double bulge) {
    auto p = std::make_unique<model::CPolyLine>();
    for (const auto& q : points) p->appendVertex(q.x, q.y);
    p->editVertices()[0].bulge = bulge;
    for (auto& v : p->editVertices()) v.startWidth = v.endWidth = width;
    p->buildApproximation(-25);
    layer.append(std::move(p));
  };
  settings::TraceOption options;
  options.b_Refine = true;
  for (const bool fillet : {false, true}) {
    raster::CRaster raster;
    ASSERT_TRUE(test::BlankRaster(raster, kSize, kSize));
    const double a1 = fillet ? 1.5 : 2.7;
    test::DrawRing(raster, cx, cy, r, width, a0, a1 - a0);
    for (const double a : {a0, a1})
      test::DrawStroke(raster, cx + r * std::cos(a), cy - r * std::sin(a), cx + r * std::cos(a), cy - r * std::sin(a), width);
    // The leg: 40 px on along the tangent at a1 (counter-clockwise on screen).
    const model::Point3 legEnd{at(a1).x - 40 * std::sin(a1), at(a1).y + 40 * std::cos(a1), 0.0};
    if (fillet) test::DrawStroke(raster, at(a1).x, Up(at(a1).y), legEnd.x, Up(legEnd.y), width);
    model::CLayer layer;
    polyline(layer, {at(0.7), at(1.5), fillet ? legEnd : at(1.8)}, std::tan(0.8 / 4));
    if (!fillet) {
      polyline(layer, {at(2.0), at(2.2)}, 0.0);
      // Tangent at 1.2, 1.3 px outside: its ends lie within 2 px of the circle too.
      const model::Point3 touch = at(1.2, 1.3);
      polyline(layer, {{touch.x + 10 * std::sin(1.2), touch.y - 10 * std::cos(1.2), 0.0},
                       {touch.x - 10 * std::sin(1.2), touch.y + 10 * std::cos(1.2), 0.0}}, 0.0);
    }
    ASSERT_TRUE(recogniseCirclesLayer(layer, options, 1000, CircleMode::CentreLine, nullptr, &raster));
    int arcs = 0, bulges = 0, straight = 0;
    for (const auto& e : layer) {
      if (e->type() == model::EntityType::Arc) {
        ++arcs;
        const auto& arc = static_cast<const model::CArc&>(*e);
        EXPECT_NEAR(model::distance(arc.centre(), model::Point3{cx, Up(cy), 0.0}), 0.0, 0.7);
        EXPECT_NEAR(arc.radius(), r, 0.5);
        EXPECT_NEAR(arc.startAngle(), a0, 0.03);
        EXPECT_NEAR(arc.endAngle(), a1, 0.03);
      } else if (e->type() == model::EntityType::PolyLine) {
        const auto& v = static_cast<const model::CPolyLine&>(*e).vertices();
        for (size_t k = 0; k + 1 < v.size(); ++k) (v[k].hasBulge() ? bulges : straight)++;
      }
    }
    EXPECT_EQ(arcs, fillet ? 0 : 1) << fillet;
    EXPECT_EQ(bulges, fillet ? 1 : 0) << fillet;
    // The leg, or the stroke beside the arc.
    EXPECT_EQ(straight, 1) << fillet;
  }
}

// Flat arcs (30° to 70° of sweep, radii of 80 to 330 px) alone, crossed by
// a bar or with a bar ending on them, at random sub-pixel places: refined,
// most come back as an arc on the drawn circle within a pixel. Placed on
// coarse samples only, an arc whose walk adds nothing keeps a curvature
// pixels off (27 of these 60 within a pixel).
TEST(RefinedArcs, MostFlatArcsComeBackOnTheirDrawnCircles) {
  std::mt19937 random(7);
  int within = 0;
  for (int n = 0; n < 60; ++n) {
    const double r = 80 + random() % 250, sweep = (30 + random() % 40) * 0.01745, width = 1 + random() % 10;
    const double a0 = 1.5708 - sweep / 2 + (static_cast<int>(random() % 40) - 20) * 0.01;
    const double cx = 200.37 - r * std::cos(a0 + sweep / 2.0) + (random() % 100) * 0.01;
    const double cy = 20.61 + r + (random() % 100) * 0.01;
    model::CGraph drawing;
    ASSERT_TRUE(test::BlankRaster(drawing.raster(), 400, 140));
    test::DrawRing(drawing.raster(), cx, cy, r, width, a0, sweep);
    const double middle = a0 + sweep * 0.4;
    const double mx = cx + r * std::cos(middle), my = cy - r * std::sin(middle);
    if (n % 3 == 1) test::DrawStroke(drawing.raster(), mx - 30, my - 40, mx + 30, my + 40, 4);
    if (n % 3 == 2) test::DrawStroke(drawing.raster(), mx, my, mx + 20, my + 80, 6);
    settings::TraceOption options;
    options.b_Refine = true;
    ASSERT_TRUE(test::TraceAndProcess(drawing, options));
    const double up = drawing.raster().height() - 1 - cy;
    bool found = false;
    for (const auto& e : *drawing.currentLayer()) {
      if (e->type() != model::EntityType::Arc) continue;
      const auto& arc = static_cast<const model::CArc&>(*e);
      if (std::hypot(arc.centre().x - cx, arc.centre().y - up) <= 1.0 && std::fabs(arc.radius() - r) <= 1.0) found = true;
    }
    if (found) ++within;
  }
  EXPECT_GE(within, 34);
}


// An arc's cap a pixel or two short of a blob of ink on its circle (a
// stroke ending beside it, a thick dot): the walk along the arc steps over
// the white, but the blob does not follow the circle far enough to be more
// of the arc, which ends at its cap.
TEST(RefinedArcs, AWalkDoesNotStepOverWhiteIntoABlobBeyondTheCap) {
  const double cx = 120, cy = 120, r = 70, a0 = 0.5, sweep = 1.8, end = a0 + sweep;
  // (width, white between the cap and the blob)
  for (const auto& [width, gap] : {std::pair{1.0, 3.0}, std::pair{2.0, 2.0}, std::pair{2.0, 3.0}, std::pair{3.0, 3.0}}) {
    raster::CRaster raster;
    ASSERT_TRUE(test::BlankRaster(raster, 240, kSize));
    test::DrawRing(raster, cx, cy, r, width, a0, sweep);
    const double ex = cx + r * std::cos(end), ey = cy - r * std::sin(end);
    test::DrawStroke(raster, ex, ey, ex, ey, width);  // a round cap
    const double b = end + (width / 2.0 + gap + 2.5) / r;
    test::DrawStroke(raster, cx + r * std::cos(b), cy - r * std::sin(b), cx + r * std::cos(b), cy - r * std::sin(b), 5);
    const auto grown = extendAlongStroke(raster, StrokeCircle{{cx, Up(cy), 0.0}, r, a0 + 0.4, 0.6}, width);
    ASSERT_TRUE(grown.has_value()) << width << " gap " << gap;
    EXPECT_NEAR(grown->startAngle + grown->sweep, end, 1.5 / r) << width << " gap " << gap;
  }
}

// A large arc with ragged edges whose stroke runs on, with no white
// between, into another of its width leaving its end outward at a slant:
// the growth rounds' circles, placed on coarse samples of the ragged ink,
// sit off the finished one and their walks carry the end some pixels on
// into that stroke; walked to again on the finished circle, the arc ends
// where the other stroke leaves it.
TEST(RefinedArcs, AWalkEndsARaggedArcWhereAStrokeLeavesItAtASlant) {
  raster::CRaster raster;
  ASSERT_TRUE(test::BlankRaster(raster, 400, 140));
  const double a0 = 1.2, sweep = 0.74, cx = 200, cy = 320, r = 280, up = 139 - cy, end = a0 + sweep, width = 3;
  test::DrawRing(raster, cx, cy, r, width, a0, sweep);
  test::DrawStroke(raster, cx + r * std::cos(a0), cy - r * std::sin(a0), cx + r * std::cos(a0), cy - r * std::sin(a0),
                   width);
  // On from the end, turned 0.6 rad (34 deg) outward off the tangent.
  const double ex = cx + r * std::cos(end), ey = cy - r * std::sin(end);
  const double d = end + model::kPi / 2 - 0.6;
  test::DrawStroke(raster, ex, ey, ex + 60 * std::cos(d), ey - 60 * std::sin(d), width);
  // Ragged edges: pixels on either side of an edge flipped at random.
  std::mt19937 random(7);
  raster::CRaster clean;
  ASSERT_TRUE(clean.cloneFrom(raster));
  for (int y = 1; y + 1 < raster.height(); ++y)
    for (int x = 1; x + 1 < raster.width(); ++x) {
      const bool ink = clean.bitAt(x, y);
      if ((clean.bitAt(x - 1, y) != ink || clean.bitAt(x + 1, y) != ink || clean.bitAt(x, y - 1) != ink ||
           clean.bitAt(x, y + 1) != ink) &&
          random() % 100 < 15)
        raster.setBit(x, y, !ink);
    }
  const auto grown = extendAlongStroke(raster, StrokeCircle{{cx, up, 0.0}, r, a0 + 0.2, 0.3}, width);
  ASSERT_TRUE(grown.has_value());
  EXPECT_NEAR(grown->radius, r, 1.0);
  EXPECT_NEAR(grown->startAngle, a0, 2.0 / r);
  EXPECT_NEAR(grown->startAngle + grown->sweep, end, 3.0 / r);
}

}  // namespace
}  // namespace quillon::postprocess
