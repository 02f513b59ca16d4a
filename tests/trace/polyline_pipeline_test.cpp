// Polyline generation and the connect and straighten stages on what the
// centre-line tracer really produces from small drawn rasters.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "model/graph.h"
#include "postprocess/connect.h"
#include "postprocess/straighten.h"
#include "trace/polyline_generation.h"
#include "trace/trace_result.h"
#include "trace/tracer.h"

namespace quillon::trace {
namespace {

class Sheet {
 public:
  Sheet(int width, int height) {
    EXPECT_TRUE(drawing_.raster().create(width, height, 1));
    drawing_.clearForTrace();
  }

  // Ink in [x0, x1] × [y0, y1], rows counted from the top.
  void box(int x0, int y0, int x1, int y1) {
    for (int y = y0; y <= y1; ++y) {
      for (int x = x0; x <= x1; ++x) drawing_.raster().setBit(x, y, true);
    }
  }
  // Ink where r0 <= distance from (cx, cy) <= r1.
  void ring(double cx, double cy, double r0, double r1) {
    raster::CRaster& r = drawing_.raster();
    for (int y = 0; y < r.height(); ++y) {
      for (int x = 0; x < r.width(); ++x) {
        const double d = std::hypot(x - cx, y - cy);
        if (d >= r0 && d <= r1) r.setBit(x, y, true);
      }
    }
  }

  // Traces, generates polylines and, when asked, connects them: the
  // polyline count after generation. strokeWidth stands in for the measured
  // widths, which set the connect search radii.
  size_t trace(bool connect, double strokeWidth = 0.0) {
    CTracer tracer(drawing_.raster());
    EXPECT_TRUE(tracer.traceCentreLine(nullptr));
    postprocess::EndIndex ends;
    EXPECT_EQ(generatePolylines(tracer.paths(), drawing_, options_, nullptr, &ends), kTraceFinished);
    const size_t generated = layer().count();
    if (strokeWidth > 0.0) layer().setAllWidths(strokeWidth);
    if (connect) {
      EXPECT_TRUE(postprocess::connectLayer(layer(), options_.i_ConDis, nullptr, &ends));
      EXPECT_TRUE(postprocess::straightenLayer(layer(), options_.d_MaxDis, nullptr));
    }
    return generated;
  }

  model::CLayer& layer() { return *drawing_.currentLayer(); }
  const model::CPolyLine& polyline(size_t i) const {
    auto it = drawing_.currentLayer()->begin();
    std::advance(it, static_cast<long>(i));
    return static_cast<const model::CPolyLine&>(**it);
  }
  std::string describe() const {
    std::string out;
    for (const auto& e : *drawing_.currentLayer()) {
      out += e->isClosed() ? "closed" : "open";
      for (const model::PolyVertex& v : static_cast<const model::CPolyLine&>(*e).vertices()) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, " (%g,%g)", v.x, v.y);
        out += buffer;
      }
      out += "\n";
    }
    return out;
  }

  settings::TraceOption options_;

 private:
  model::CGraph drawing_;
};

TEST(PolylinePipeline, ThickStraightStrokeBecomesOneSegment) {
  Sheet sheet(60, 20);
  sheet.box(5, 8, 54, 12);  // 50 × 5 px, centre row 10
  sheet.trace(false);
  ASSERT_EQ(sheet.layer().count(), 1u) << sheet.describe();
  const model::CPolyLine& p = sheet.polyline(0);
  ASSERT_EQ(p.getVertexCount(), 2) << sheet.describe();
  EXPECT_DOUBLE_EQ(p.vertices()[0].y, 9.0);  // row 10 of 20, flipped
  EXPECT_DOUBLE_EQ(p.vertices()[1].y, 9.0);
  EXPECT_GT(p.getLength(), 40.0);
}

TEST(PolylinePipeline, CrossingStrokesComeBackAsTwoStraightPolylines) {
  Sheet sheet(61, 61);
  sheet.box(5, 28, 55, 32);  // horizontal bar
  sheet.box(28, 5, 32, 55);  // vertical bar
  const size_t generated = sheet.trace(true);
  EXPECT_GE(generated, 4u);
  ASSERT_EQ(sheet.layer().count(), 2u) << sheet.describe();
  for (size_t i = 0; i < 2; ++i) {
    const model::CPolyLine& p = sheet.polyline(i);
    const auto& v = p.vertices();
    EXPECT_LE(p.getVertexCount(), 3) << sheet.describe();
    const double dx = std::fabs(v.back().x - v.front().x);
    const double dy = std::fabs(v.back().y - v.front().y);
    EXPECT_GT(std::max(dx, dy), 40.0) << sheet.describe();
    EXPECT_LT(std::min(dx, dy), 2.0) << sheet.describe();
  }
}

TEST(PolylinePipeline, SmallGapIsBridgedAndLargeGapIsNot) {
  Sheet small(80, 20);
  small.box(5, 8, 36, 12);
  small.box(40, 8, 74, 12);  // 3 px gap; thinning shortens each end
  EXPECT_EQ(small.trace(true, 5.0), 2u);
  EXPECT_EQ(small.layer().count(), 1u) << small.describe();

  Sheet large(80, 20);
  large.box(5, 8, 32, 12);
  large.box(45, 8, 74, 12);  // 12 px gap
  large.trace(true, 5.0);
  EXPECT_EQ(large.layer().count(), 2u) << large.describe();
}

TEST(PolylinePipeline, TJunctionLosesItsShortThinSpur) {
  Sheet sheet(80, 30);
  sheet.box(5, 10, 74, 14);  // thick bar, centre row 12
  sheet.box(40, 15, 40, 21);  // thin spur hanging below it
  sheet.trace(false);
  ASSERT_EQ(sheet.layer().count(), 3u) << sheet.describe();
  // The widths width measurement would give: the bar 5, the spur 1.
  for (const auto& e : sheet.layer()) e->setWidth(e->getLength() < 15 ? 1.0 : 5.0);
  ASSERT_TRUE(postprocess::connectLayer(sheet.layer(), sheet.options_.i_ConDis, nullptr));
  ASSERT_TRUE(postprocess::straightenLayer(sheet.layer(), sheet.options_.d_MaxDis, nullptr));
  ASSERT_EQ(sheet.layer().count(), 1u) << sheet.describe();
  const model::CPolyLine& bar = sheet.polyline(0);
  EXPECT_EQ(bar.getVertexCount(), 2) << sheet.describe();
  EXPECT_DOUBLE_EQ(bar.vertices().front().y, 17.0);
  EXPECT_DOUBLE_EQ(bar.vertices().back().y, 17.0);
}

TEST(PolylinePipeline, TracedRingIsClosed) {
  Sheet sheet(60, 60);
  sheet.ring(30, 30, 18, 22);
  sheet.trace(true);
  ASSERT_EQ(sheet.layer().count(), 1u) << sheet.describe();
  EXPECT_TRUE(sheet.polyline(0).isClosed()) << sheet.describe();
  EXPECT_GE(sheet.polyline(0).getVertexCount(), 8);
}

}  // namespace
}  // namespace quillon::trace
