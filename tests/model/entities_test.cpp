#include <gtest/gtest.h>

#include <cmath>

#include "model/arc.h"
#include "model/circle.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"
#include "recording_view.h"

namespace quillon::model {
namespace {

constexpr double kEps = 1e-9;
constexpr double kDeg = kPi / 180.0;

std::unique_ptr<CPolyLine> polyline(std::initializer_list<std::array<double, 3>> points, bool closed = false) {
  auto p = std::make_unique<CPolyLine>();
  for (const auto& xyb : points) p->appendVertex(xyb[0], xyb[1], 0.0, xyb[2]);
  p->setClosed(closed);
  return p;
}

TEST(Arc, AnglesAreNormalised) {
  CArc a({0, 0, 0}, -2.0, 370 * kDeg, 10 * kDeg);
  EXPECT_NEAR(a.radius(), 2.0, kEps);
  EXPECT_NEAR(a.startAngle(), 10 * kDeg, kEps);
  EXPECT_NEAR(a.endAngle(), 10 * kDeg, kEps);
  CArc b({0, 0, 0}, 1.0, 350 * kDeg, 10 * kDeg);
  EXPECT_NEAR(b.startAngle(), 350 * kDeg, kEps);
  EXPECT_NEAR(b.endAngle(), 370 * kDeg, kEps);
  EXPECT_NEAR(b.getEndPoint().x, std::cos(10 * kDeg), kEps);
  EXPECT_NEAR(b.arcLength(), 20 * kDeg, kEps);
}

TEST(Arc, ExtentsIncludeTheQuadrantPointsItPasses) {
  // 350° → 100° passes 0° and 90°, not 180° or 270°.
  CArc a({10, 20, 0}, 5.0, 350 * kDeg, 100 * kDeg);
  Box box;
  ASSERT_TRUE(a.getExtents(nullptr, box));
  EXPECT_NEAR(box.maxX, 15.0, kEps);
  EXPECT_NEAR(box.maxY, 25.0, kEps);
  EXPECT_NEAR(box.minX, 10 + 5 * std::cos(100 * kDeg), kEps);
  EXPECT_NEAR(box.minY, 20 + 5 * std::sin(350 * kDeg), kEps);
  // 100° → 80° (through 180°, 270°, 0°) spans all but the top.
  CArc b({0, 0, 0}, 1.0, 100 * kDeg, 80 * kDeg);
  ASSERT_TRUE(b.getExtents(nullptr, box));
  EXPECT_NEAR(box.minX, -1.0, kEps);
  EXPECT_NEAR(box.minY, -1.0, kEps);
  EXPECT_NEAR(box.maxX, 1.0, kEps);
  EXPECT_NEAR(box.maxY, std::sin(80 * kDeg), kEps);
}

TEST(Arc, WindowTests) {
  CArc a({0, 0, 0}, 10.0, 0, 90 * kDeg);  // quarter in the first quadrant
  EXPECT_TRUE(a.isInsideWindow({-1, -1, 0}, {11, 11, 0}));
  EXPECT_FALSE(a.isInsideWindow({1, -1, 0}, {11, 11, 0}));
  // A window on the arc's curve, away from its ends.
  const double c = 10 * std::cos(45 * kDeg);
  EXPECT_TRUE(a.hitWindow({c - 0.5, c - 0.5, 0}, {c + 0.5, c + 0.5, 0}));
  // Inside the circle but off the curve; and on the circle where the arc is not.
  EXPECT_FALSE(a.hitWindow({2, 2, 0}, {4, 4, 0}));
  EXPECT_FALSE(a.hitWindow({-c - 0.5, -c - 0.5, 0}, {-c + 0.5, -c + 0.5, 0}));
  a.setDrawn(false);
  EXPECT_FALSE(a.isInsideWindow({-100, -100, 0}, {100, 100, 0}));
  EXPECT_FALSE(a.hitWindow({-100, -100, 0}, {100, 100, 0}));
}

TEST(Arc, MiddleGripMoveKeepsEndsAndPassesThroughThePoint) {
  CArc a({0, 0, 0}, 1.0, 0, kPi);  // upper half circle
  ASSERT_TRUE(a.moveGrip({0, 2, 0}, 2));
  EXPECT_NEAR(a.getStartPoint().x, 1.0, kEps);
  EXPECT_NEAR(a.getEndPoint().x, -1.0, kEps);
  EXPECT_NEAR(a.middlePoint().y, 2.0, kEps);
  EXPECT_NEAR(a.centre().y, 0.75, kEps);
  // Dragging the middle below the chord flips the run, still through it.
  ASSERT_TRUE(a.moveGrip({0, -0.5, 0}, 2));
  EXPECT_NEAR(a.middlePoint().x, 0.0, kEps);
  EXPECT_NEAR(a.middlePoint().y, -0.5, kEps);
  EXPECT_FALSE(a.moveGrip(a.middlePoint(), 1));  // start onto the middle: no circle
  EXPECT_FALSE(a.moveGrip({5, 5, 0}, 0));
}

TEST(Circle, GripsAndWindow) {
  CCircle c({0, 0, 0}, -3.0);
  EXPECT_TRUE(c.isClosed());
  EXPECT_NEAR(c.radius(), 3.0, kEps);
  ASSERT_EQ(c.getGripPoints().size(), 5u);
  EXPECT_NEAR(c.getGripPoints()[2].point.y, 3.0, kEps);
  EXPECT_TRUE(c.moveGrip({0, -4, 0}, 4));
  EXPECT_NEAR(c.radius(), 4.0, kEps);
  EXPECT_FALSE(c.moveGrip({0, 0, 0}, 1));  // zero radius refused
  EXPECT_TRUE(c.moveGrip({1, 1, 0}, 0));
  EXPECT_NEAR(c.centre().x, 1.0, kEps);
  // A window inside the circle does not touch the curve.
  EXPECT_FALSE(c.hitWindow({0, 0, 0}, {2, 2, 0}));
  EXPECT_TRUE(c.hitWindow({4.5, 0.5, 0}, {5.5, 1.5, 0}));
}

TEST(Line, GripsMoveEndsOrTranslate) {
  CLine line({0, 0, 0}, {4, 0, 0});
  EXPECT_NEAR(line.getLength(), 4.0, kEps);
  ASSERT_TRUE(line.moveGrip({2, 3, 0}, 1));
  EXPECT_NEAR(line.start().y, 3.0, kEps);
  EXPECT_NEAR(line.end().x, 4.0, kEps);
  ASSERT_TRUE(line.moveGrip({0, 0, 0}, 2));
  EXPECT_NEAR(line.getLength(), 3.0, kEps);
  EXPECT_FALSE(line.moveGrip({0, 0, 0}, 3));
}

TEST(Solid, ThreePointsRunCounterClockwise) {
  auto ccw = CSolid::fromThreePoints({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  auto cw = CSolid::fromThreePoints({0, 0, 0}, {0, 1, 0}, {1, 0, 0});
  ASSERT_TRUE(ccw && cw);
  EXPECT_NEAR(cw->points()[1].x, 1.0, kEps);
  EXPECT_FALSE(CSolid::fromThreePoints({0, 0, 0}, {1, 1, 0}, {2, 2, 0}));
  EXPECT_TRUE(cw->addPoint({1, 1, 0}));
  EXPECT_FALSE(cw->addPoint({2, 2, 0}));
  EXPECT_EQ(cw->getVertexCount(), 4);
}

TEST(PolyLine, LengthCountsArcsAndTheClosingSegmentOnlyWhenClosed) {
  auto p = polyline({{0, 0, 1.0}, {2, 0, 0}, {2, 2, 0}});
  EXPECT_FALSE(p->isStraight());
  EXPECT_NEAR(p->getLength(), kPi + 2.0, kEps);
  p->setClosed(true);
  EXPECT_NEAR(p->getLength(), kPi + 2.0 + std::sqrt(8.0), kEps);
  EXPECT_NEAR(p->storedLength(), kPi + 2.0 + std::sqrt(8.0), kEps);
}

TEST(PolyLine, DuplicateVerticesAreDroppedOnAppend) {
  CPolyLine p;
  EXPECT_TRUE(p.appendVertex(1, 1));
  EXPECT_FALSE(p.appendVertex(1, 1));
  EXPECT_TRUE(p.appendVertex(1.0000001, 1));
  EXPECT_EQ(p.getVertexCount(), 2);
}

TEST(PolyLine, AutoCloseWithinConnectDistance) {
  auto near = polyline({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {1, 0, 0}});
  near->autoClose(5.0);
  EXPECT_TRUE(near->isClosed());
  EXPECT_EQ(near->getVertexCount(), 4);
  auto same = polyline({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}});
  same->editVertices().push_back(same->vertices().front());  // an exact duplicate end
  same->autoClose(5.0);
  EXPECT_TRUE(same->isClosed());
  EXPECT_EQ(same->getVertexCount(), 3);
  auto far = polyline({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {6, 0, 0}});
  far->autoClose(5.0);
  EXPECT_FALSE(far->isClosed());
  auto two = polyline({{0, 0, 0}, {1, 0, 0}});
  two->autoClose(5.0);
  EXPECT_FALSE(two->isClosed());
}

TEST(PolyLine, WidthsAndRounding) {
  auto p = polyline({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}});
  p->setWidth(2.5);
  for (const auto& v : p->vertices()) {
    EXPECT_DOUBLE_EQ(v.startWidth, 2.5);
    EXPECT_DOUBLE_EQ(v.endWidth, 2.5);
  }
  EXPECT_DOUBLE_EQ(p->getWidth(), 2.5);
  p->roundWidth([](double w) { return std::round(w + 0.1); });
  EXPECT_DOUBLE_EQ(p->vertices()[0].startWidth, 3.0);
  EXPECT_DOUBLE_EQ(p->vertices()[1].startWidth, 3.0);
  EXPECT_DOUBLE_EQ(p->vertices()[2].startWidth, 2.5);  // starts no segment
  EXPECT_DOUBLE_EQ(p->vertices()[2].endWidth, 2.5);
}

TEST(PolyLine, EndDirectionSkipsAShortEndSegment) {
  auto p = polyline({{0, 0, 0}, {0.5, 0, 0}, {0.5, 20, 0}, {30, 20, 0}});
  p->setEndSelector(0);
  Point3 end, dir;
  ASSERT_TRUE(p->getEndDirection(end, dir, 3.0));
  EXPECT_NEAR(dir.y, 20.0, kEps);  // 0.5 / 20 < 5 %: look one vertex further
  p->setEndSelector(1);
  ASSERT_TRUE(p->getEndDirection(end, dir, 3.0));
  EXPECT_NEAR(end.x, 30.0, kEps);
  EXPECT_NEAR(dir.x, 0.5, kEps);
  EXPECT_NEAR(dir.y, 20.0, kEps);
}

TEST(PolyLine, ReverseShiftsWidthsAndKeepsArcs) {
  auto p = polyline({{0, 0, 0.5}, {4, 0, 0}, {4, 4, 0}});
  auto& v = p->editVertices();
  v[0].startWidth = 1;
  v[1].startWidth = 2;
  v[2].startWidth = 9;
  const double before = p->getLength();
  const Point3 mid = segmentMidpoint(v[0].point(), v[1].point(), v[0].bulge);
  p->reverse();
  EXPECT_EQ(p->endSelector(), 1);
  const auto& r = p->vertices();
  EXPECT_NEAR(r[0].y, 4.0, kEps);
  EXPECT_DOUBLE_EQ(r[0].startWidth, 2.0);
  EXPECT_DOUBLE_EQ(r[1].startWidth, 1.0);
  EXPECT_DOUBLE_EQ(r[2].startWidth, 0.0);
  EXPECT_NEAR(p->getLength(), before, kEps);
  const Point3 back = segmentMidpoint(r[1].point(), r[2].point(), r[1].bulge);
  EXPECT_NEAR(back.x, mid.x, kEps);
  EXPECT_NEAR(back.y, mid.y, kEps);
}

TEST(PolyLine, ClosedRingReversedKeepsItsClosingArcAndTwiceIsItself) {
  auto p = polyline({{0, 0, 0.3}, {4, 0, 0}, {4, 4, 0.5}});
  p->setClosed(true);
  auto& v = p->editVertices();
  for (size_t i = 0; i < v.size(); ++i) v[i].startWidth = static_cast<double>(i + 1);
  const VertexList original = p->vertices();
  p->reverse();
  const auto& r = p->vertices();
  ASSERT_EQ(r.size(), 3u);
  // c, b, a: each segment keeps its width and its arc, run backwards.
  EXPECT_EQ(r[0].x, 4.0);
  EXPECT_EQ(r[0].y, 4.0);
  EXPECT_EQ(r[0].startWidth, 2.0);
  EXPECT_EQ(r[1].startWidth, 1.0);
  EXPECT_EQ(r[2].startWidth, 3.0);
  EXPECT_EQ(r[0].bulge, 0.0);
  EXPECT_EQ(r[1].bulge, -0.3);
  EXPECT_EQ(r[2].bulge, -0.5);
  p->reverse();
  ASSERT_EQ(p->vertices().size(), original.size());
  for (size_t i = 0; i < original.size(); ++i) {
    EXPECT_EQ(p->vertices()[i].x, original[i].x);
    EXPECT_EQ(p->vertices()[i].startWidth, original[i].startWidth);
    EXPECT_EQ(p->vertices()[i].bulge, original[i].bulge);
  }
}

TEST(PolyLine, TakeVerticesAppendsFromAnIndexAndEmptiesTheDonor) {
  auto a = polyline({{0, 0, 0}, {1, 0, 0}});
  auto b = polyline({{1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
  a->takeVertices(*b, 1);
  ASSERT_EQ(a->getVertexCount(), 4);
  EXPECT_EQ(a->vertices()[2].x, 2.0);
  EXPECT_EQ(b->getVertexCount(), 0);
  // An empty polyline takes the donor's storage as it is.
  CPolyLine empty;
  const PolyVertex* storage = a->vertices().data();
  empty.takeVertices(*a);
  EXPECT_EQ(empty.vertices().data(), storage);
  EXPECT_EQ(empty.getVertexCount(), 4);
  EXPECT_EQ(a->getVertexCount(), 0);
  b->takeVertices(empty, 9);  // past the end: nothing, the donor still empties
  EXPECT_EQ(b->getVertexCount(), 0);
  EXPECT_EQ(empty.getVertexCount(), 0);
}

TEST(PolyLine, ApproximationFollowsTheArc) {
  auto p = polyline({{0, 0, 1.0}, {2, 0, 0}});
  p->buildApproximation(-20);
  const auto& a = p->approximation();
  ASSERT_EQ(a.size(), 21u);  // the head, 19 inner points, the end
  for (const auto& q : a) EXPECT_NEAR(std::hypot(q.x - 1, q.y), 1.0, 1e-9);
  EXPECT_EQ(a[5].mark, 0);
  EXPECT_EQ(a.back().mark, 1);
  // A step of one pixel on a radius of 1 gives a chord per 60°.
  p->buildApproximation(1.0);
  EXPECT_EQ(p->approximation().size(), 4u);
  // A step beyond the diameter leaves only the end points.
  p->buildApproximation(5.0);
  EXPECT_EQ(p->approximation().size(), 2u);
}

TEST(PolyLine, ApproximationStepsAcrossAngleZero) {
  // Counter-clockwise from 350° to 10° about the origin: a 20° arc.
  const Point3 a = pointOnCircle({0, 0, 0}, 10, 350 * kDeg), b = pointOnCircle({0, 0, 0}, 10, 10 * kDeg);
  auto p = std::make_unique<CPolyLine>();
  p->appendVertex(a.x, a.y, 0, std::tan(20 * kDeg / 4));
  p->appendVertex(b.x, b.y);
  p->buildApproximation(-20);
  EXPECT_EQ(p->approximation().size(), 21u);
}

TEST(PolyLine, DisplayPointsReuseTheCacheWithinItsStepRange) {
  auto p = polyline({{0, 0, 1.0}, {20, 0, 0}});
  test::RecordingView view(0.5);
  p->draw(view);
  ASSERT_EQ(view.calls.size(), 1u);
  EXPECT_STREQ(view.calls[0].kind, "open");
  EXPECT_DOUBLE_EQ(p->approximationStep(), 0.5);
  p->displayPoints(0.6);  // 0.5 within [0.12, 0.6]
  EXPECT_DOUBLE_EQ(p->approximationStep(), 0.5);
  p->displayPoints(3.0);  // 0.5 below 0.2·3
  EXPECT_DOUBLE_EQ(p->approximationStep(), 3.0);
  p->editVertices()[1].x = 30;
  p->displayPoints(3.0);
  EXPECT_NEAR(p->approximation().back().x, 30.0, 1e-9);
}

TEST(PolyLine, WindowTestsOfBulgedPolylines) {
  // Half circle below the chord (0,0)-(20,0), reaching y = −10.
  auto p = polyline({{0, 0, 1.0}, {20, 0, 0}});
  Box box;
  ASSERT_TRUE(p->getExtents(nullptr, box));
  EXPECT_NEAR(box.minY, -10.0, 0.05);  // from the 25-chord approximation
  EXPECT_TRUE(p->isInsideWindow({-1, -11, 0}, {21, 1, 0}));
  EXPECT_FALSE(p->isInsideWindow({-1, -9, 0}, {21, 1, 0}));
  EXPECT_TRUE(p->hitWindow({9, -11, 0}, {11, -9, 0}));   // bottom of the arc
  EXPECT_FALSE(p->hitWindow({9, -1, 0}, {11, 1, 0}));    // on the chord, which is not there
  auto closed = polyline({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}}, true);
  EXPECT_TRUE(closed->hitWindow({4, 4, 0}, {6, 6, 0}));  // only the closing segment crosses
  closed->setClosed(false);
  EXPECT_FALSE(closed->hitWindow({4, 4, 0}, {6, 6, 0}));
}

TEST(PolyLine, GripsIncludeArcMiddles) {
  auto p = polyline({{0, 0, 1.0}, {2, 0, -1.0}, {4, 0, 0}});
  const auto grips = p->getGripPoints();
  ASSERT_EQ(grips.size(), 5u);
  EXPECT_EQ(p->getGripCount(), 5);
  EXPECT_NEAR(grips[1].point.y, -1.0, kEps);
  EXPECT_NEAR(grips[3].point.y, 1.0, kEps);
  p->setClosed(true);
  EXPECT_EQ(p->getGripCount(), 5);  // the closing segment is straight
  EXPECT_FALSE(p->moveGrip({0, 0, 0}, 5));
}

TEST(PolyLine, MovingAVertexBetweenArcsKeepsTheirMiddlePoints) {
  auto p = polyline({{0, 0, 1.0}, {2, 0, -1.0}, {4, 0, 0}});
  const Point3 m1 = p->getGripPoints()[1].point, m2 = p->getGripPoints()[3].point;
  ASSERT_TRUE(p->moveGrip({2, 0.5, 0}, 2));
  const auto& v = p->vertices();
  EXPECT_NEAR(v[1].y, 0.5, kEps);
  const Point3 n1 = segmentMidpoint(v[0].point(), v[1].point(), v[0].bulge);
  const Point3 n2 = segmentMidpoint(v[1].point(), v[2].point(), v[1].bulge);
  // The new arcs still pass through the old middles (on their circles).
  const auto c1 = bulgeToArc(v[0].point(), v[1].point(), v[0].bulge);
  const auto c2 = bulgeToArc(v[1].point(), v[2].point(), v[1].bulge);
  ASSERT_TRUE(c1 && c2);
  EXPECT_NEAR(std::hypot(m1.x - c1->centre.x, m1.y - c1->centre.y), c1->radius, 1e-7);
  EXPECT_NEAR(std::hypot(m2.x - c2->centre.x, m2.y - c2->centre.y), c2->radius, 1e-7);
  EXPECT_LT(n1.y, 0.0);
  EXPECT_GT(n2.y, 0.0);
  // A middle grip gives its segment the arc through the new point.
  ASSERT_TRUE(p->moveGrip({1, -3, 0}, 1));
  const Point3 m = segmentMidpoint(v[0].point(), v[1].point(), v[0].bulge);
  const auto c = bulgeToArc(v[0].point(), v[1].point(), v[0].bulge);
  ASSERT_TRUE(c);
  EXPECT_NEAR(std::hypot(1 - c->centre.x, -3 - c->centre.y), c->radius, 1e-7);
  EXPECT_LT(m.y, -2.0);
}

TEST(PolyLine, StraightFlagFollowsEdits) {
  auto p = polyline({{0, 0, 0}, {1, 0, 0}});
  EXPECT_TRUE(p->isStraight());
  p->editVertices()[0].bulge = 0.5;
  EXPECT_FALSE(p->isStraight());
  p->editVertices()[0].bulge = 0.0;
  EXPECT_TRUE(p->isStraight());
}

TEST(PolyPolygon, FinishWidensCollinearOutlinesAndDropsStrayHoles) {
  CPolyPolygon pp;
  ASSERT_TRUE(pp.appendOutline(polyline({{0, 0, 0}, {5, 0, 0}, {10, 0, 0}}, true)));
  EXPECT_FALSE(pp.appendOutline(polyline({{1, 1, 0}})));
  ASSERT_TRUE(pp.appendOutline(polyline({{1, 0.1, 0}, {2, 0.1, 0}, {2, 0.2, 0}}, true)));
  pp.finish();
  const auto& outer = pp.outline(0)->vertices();
  ASSERT_EQ(outer.size(), 4u);
  // A, A + 0.5·n, B + 0.5·n, B with n pointing to −y for an edge along +x.
  EXPECT_NEAR(outer[1].y, -0.5, kEps);
  EXPECT_NEAR(outer[2].x, 5.0, kEps);
  EXPECT_NEAR(outer[3].y, 0.0, kEps);
  EXPECT_EQ(pp.outlineCount(), 1u);  // the hole lay outside the thin boundary
  EXPECT_FALSE(pp.removeOutline(0));
}

TEST(PolyPolygon, HolesInsideStayAndGripsRunThroughOutlines) {
  CPolyPolygon pp;
  pp.appendOutline(polyline({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}}, true));
  pp.appendOutline(polyline({{2, 2, 0}, {2, 4, 0}, {4, 4, 0}, {4, 2, 0}}, true));
  pp.finish();
  EXPECT_EQ(pp.outlineCount(), 2u);
  EXPECT_EQ(pp.getVertexCount(), 8);
  ASSERT_TRUE(pp.moveGrip({3, 3, 0}, 5));
  EXPECT_NEAR(pp.outline(1)->vertices()[1].x, 3.0, kEps);
  auto copy = pp.clone();
  pp.outline(1)->editVertices()[0].x = 7;
  EXPECT_NEAR(static_cast<CPolyPolygon&>(*copy).outline(1)->vertices()[0].x, 2.0, kEps);
  test::RecordingView view;
  static_cast<CPolyPolygon&>(*copy).draw(view);
  ASSERT_EQ(view.calls.size(), 1u);
  EXPECT_EQ(view.calls[0].points, 8u);
}

TEST(Entity, CloneAndAssignCopyAttributesButNotMembership) {
  CLine line({0, 0, 0}, {1, 1, 0});
  line.setColour(3);
  line.setWidth(2);
  line.setHandle(77);
  line.setSelected(true);
  auto copy = line.clone();
  EXPECT_EQ(copy->handle(), 77u);
  EXPECT_EQ(copy->colour(), 3);
  EXPECT_DOUBLE_EQ(copy->getWidth(), 2.0);
  EXPECT_FALSE(copy->selected());
  EXPECT_EQ(copy->layer(), nullptr);
  EXPECT_EQ(copy->type(), EntityType::Line);
}

TEST(Entity, DrawResolvesByLayerAndRecordsVisibility) {
  CCircle c({0, 0, 0}, 10);
  test::RecordingView hidden(1.0, false);
  c.draw(hidden);
  EXPECT_FALSE(c.drawn());
  EXPECT_FALSE(c.hitWindow({-20, -20, 0}, {20, 20, 0}));
  test::RecordingView view(1.0);
  c.draw(view);
  EXPECT_TRUE(c.drawn());
  EXPECT_STREQ(view.calls[0].kind, "closed");
  EXPECT_GT(view.calls[0].points, 30u);
}

}  // namespace
}  // namespace quillon::model
