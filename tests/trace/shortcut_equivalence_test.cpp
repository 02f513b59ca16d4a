// The shortcuts of a centre-line run (specks dropped as they are traced,
// cluster searches that jump from end to end, ...) against the same run the
// long way: on random noisy sheets both must write the same DXF bytes, with
// and without refined centre lines.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "formats/dxf/dxf_file.h"
#include "formats/dxf/dxf_writer.h"
#include "model/graph.h"
#include "trace/trace_result.h"
#include "trace/trace_worker.h"

namespace quillon::trace {
namespace {

class Quiet final : public platform::ProgressSink {
 public:
  void stageBegin(std::string_view) override {}
  void progress(int) override {}
  void stageEnd() override {}
  void finished(int code) override { result = code; }
  int result = -1;
};

struct NoisySheet {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> ink;  // one byte per pixel
};

// A sheet without ink, at least width x height and up to the spans larger.
NoisySheet BlankSheet(std::mt19937& random, int width, int widthSpan, int height, int heightSpan) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  NoisySheet sheet;
  sheet.width = width + static_cast<int>(unit(random) * widthSpan);
  sheet.height = height + static_cast<int>(unit(random) * heightSpan);
  sheet.ink.assign(static_cast<size_t>(sheet.width) * sheet.height, 0);
  return sheet;
}

// Inks the pixel when it lies on the sheet.
void Dot(NoisySheet& sheet, int x, int y) {
  if (x >= 0 && y >= 0 && x < sheet.width && y < sheet.height) sheet.ink[static_cast<size_t>(y) * sheet.width + x] = 1;
}

// Inks every pixel whose centre lies within `half` of the circle.
void PaintRing(NoisySheet& sheet, double cx, double cy, double r, double half) {
  const double reach = r + half + 1;
  for (int y = static_cast<int>(std::floor(cy - reach)); y <= cy + reach; ++y)
    for (int x = static_cast<int>(std::floor(cx - reach)); x <= cx + reach; ++x)
      if (std::fabs(std::hypot(x + 0.5 - cx, y + 0.5 - cy) - r) <= half) Dot(sheet, x, y);
}

// Thick strokes, rings and blobs under salt noise of the given share: the
// specks join each other and the strokes, so connect, the short-line
// deletion and circle recognition all have work on both sides of every
// shortcut.
NoisySheet MakeNoisySheet(uint32_t seed, double noise) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  NoisySheet sheet = BlankSheet(random, 180, 120, 140, 80);
  const auto paint = [&](auto inside) {
    for (int y = 0; y < sheet.height; ++y)
      for (int x = 0; x < sheet.width; ++x)
        if (inside(x + 0.5, y + 0.5)) sheet.ink[static_cast<size_t>(y) * sheet.width + x] = 1;
  };
  const int strokes = 3 + static_cast<int>(unit(random) * 5);
  for (int i = 0; i < strokes; ++i) {
    const double x0 = unit(random) * sheet.width, y0 = unit(random) * sheet.height;
    const double x1 = unit(random) * sheet.width, y1 = unit(random) * sheet.height;
    const double half = 0.5 + unit(random) * 3.5;
    paint([&](double x, double y) {
      const double dx = x1 - x0, dy = y1 - y0;
      const double t = std::clamp(((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy + 1e-12), 0.0, 1.0);
      return std::hypot(x - x0 - t * dx, y - y0 - t * dy) <= half;
    });
  }
  const int rings = 1 + static_cast<int>(unit(random) * 3);
  for (int i = 0; i < rings; ++i) {
    const double cx = unit(random) * sheet.width, cy = unit(random) * sheet.height;
    const double r = 8.0 + unit(random) * 40.0, half = 0.5 + unit(random) * 2.5;
    PaintRing(sheet, cx, cy, r, half);
  }
  for (size_t i = 0; i < sheet.ink.size(); ++i) {
    if (unit(random) < noise) sheet.ink[i] = 1;
  }
  // Specks of two and three pixels square, and a few holes in the ink.
  for (int i = 0; i < sheet.width * sheet.height / 200; ++i) {
    const int x = static_cast<int>(unit(random) * (sheet.width - 3)), y = static_cast<int>(unit(random) * (sheet.height - 3));
    const int size = unit(random) < 0.5 ? 2 : 3;
    const uint8_t value = unit(random) < 0.8 ? 1 : 0;
    for (int dy = 0; dy < size; ++dy)
      for (int dx = 0; dx < size; ++dx) sheet.ink[static_cast<size_t>(y + dy) * sheet.width + x + dx] = value;
  }
  return sheet;
}

// Many rings crossed by strokes, so that refined runs complete circles
// from their pieces and look up the segments near each of many circles
// (rings straddle the look-up's cells in every way), under light noise.
NoisySheet MakeRingSheet(uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  NoisySheet sheet = BlankSheet(random, 260, 80, 200, 60);
  for (int i = 0; i < 14; ++i) {
    const double cx = unit(random) * sheet.width, cy = unit(random) * sheet.height;
    const double r = 6.0 + unit(random) * 45.0, half = 0.7 + unit(random) * 1.8;
    PaintRing(sheet, cx, cy, r, half);
    // A stroke across the ring breaks it into pieces at two crossings.
    const double a = unit(random) * 6.283;
    for (double t = -r - 10; t <= r + 10; t += 0.25) {
      const int x = static_cast<int>(cx + t * std::cos(a)), y = static_cast<int>(cy + t * std::sin(a));
      Dot(sheet, x, y);
      Dot(sheet, x + 1, y);
    }
  }
  for (uint8_t& pixel : sheet.ink) {
    if (unit(random) < 0.01) pixel = 1;
  }
  return sheet;
}

// The DXF text of a centre-line run over the sheet, and its entity count.
std::string TraceToDxf(const NoisySheet& sheet, bool refine, bool plain, uint32_t& entities, int threads = 1) {
  model::CGraph drawing;
  raster::CRaster& raster = drawing.raster();
  EXPECT_TRUE(raster.create(sheet.width, sheet.height, 1));
  for (int y = 0; y < sheet.height; ++y)
    for (int x = 0; x < sheet.width; ++x)
      if (sheet.ink[static_cast<size_t>(y) * sheet.width + x]) raster.setBit(x, y, true);
  settings::TraceOption options;
  options.b_Refine = refine;
  options.plainPipeline = plain;
  Quiet window;
  TraceWorker worker(drawing, options, window);
  worker.setThinningThreads(threads);
  worker.run();
  EXPECT_EQ(window.result, kTraceFinished);
  entities = drawing.totalCount();
  formats::DxfCollectingWriter out;
  EXPECT_TRUE(formats::WriteDxf2000File(out, drawing, true));
  return out.Text();
}

TEST(ShortcutEquivalence, NoisySheetsTraceToTheSameBytesAsTheLongWay) {
  for (const bool refine : {false, true}) {
    for (uint32_t seed = 1; seed <= 10; ++seed) {
      const double noise = 0.01 + 0.03 * (seed % 8);  // 1 % to 22 % salt
      const NoisySheet sheet = MakeNoisySheet(seed, noise);
      uint32_t plainCount = 0, fastCount = 0;
      const std::string plain = TraceToDxf(sheet, refine, true, plainCount);
      const std::string fast = TraceToDxf(sheet, refine, false, fastCount);
      EXPECT_GT(plainCount, 5u) << "seed " << seed;  // a sheet with something left to compare
      EXPECT_EQ(fastCount, plainCount) << "seed " << seed << (refine ? " refined" : "");
      EXPECT_TRUE(fast == plain) << "seed " << seed << (refine ? " refined" : "") << ": the DXF differs";
    }
  }
}

TEST(ShortcutEquivalence, CrossedRingsCompleteToTheSameCirclesAsTheLongWay) {
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    const NoisySheet sheet = MakeRingSheet(seed);
    uint32_t plainCount = 0, fastCount = 0;
    const std::string plain = TraceToDxf(sheet, true, true, plainCount);
    const std::string fast = TraceToDxf(sheet, true, false, fastCount);
    EXPECT_GT(plainCount, 5u) << "seed " << seed;
    EXPECT_EQ(fastCount, plainCount) << "seed " << seed;
    EXPECT_TRUE(fast == plain) << "seed " << seed << ": the DXF differs";
  }
}

// Thousands of short strokes at every angle with rings among them: enough
// polylines that the refined steps split their work across threads.
NoisySheet MakeBusySheet(uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  NoisySheet sheet = BlankSheet(random, 1300, 0, 760, 0);
  for (int row = 0; row < 38; ++row) {
    for (int column = 0; column < 65; ++column) {
      const double cx = column * 20 + 10, cy = row * 20 + 10, a = unit(random) * 3.1416;
      const double length = 7.0 + unit(random) * 3.0, half = 0.6 + unit(random) * 1.4;
      for (int y = static_cast<int>(cy) - 10; y < cy + 10; ++y)
        for (int x = static_cast<int>(cx) - 10; x < cx + 10; ++x) {
          const double along = (x + 0.5 - cx) * std::cos(a) + (y + 0.5 - cy) * std::sin(a);
          const double across = -(x + 0.5 - cx) * std::sin(a) + (y + 0.5 - cy) * std::cos(a);
          if (std::fabs(along) <= length && std::fabs(across) <= half) Dot(sheet, x, y);
        }
    }
  }
  for (int i = 0; i < 30; ++i) {
    const double cx = unit(random) * sheet.width, cy = unit(random) * sheet.height;
    const double r = 8.0 + unit(random) * 30.0, half = 0.7 + unit(random) * 1.5;
    PaintRing(sheet, cx, cy, r, half);
  }
  return sheet;
}

// Circle recognition, straightening, angle adjustment and the refined steps
// share their per-polyline work out among threads and put the results back
// in order: any thread count gives the bytes of one, refined or not.
TEST(ShortcutEquivalenceParallel, StepsOnSeveralThreadsGiveTheBytesOfOne) {
  const NoisySheet sheet = MakeBusySheet(7);
  for (const bool refine : {false, true}) {
    uint32_t oneCount = 0, severalCount = 0;
    const std::string one = TraceToDxf(sheet, refine, false, oneCount, 1);
    const std::string several = TraceToDxf(sheet, refine, false, severalCount, 4);
    EXPECT_GT(oneCount, 2000u);  // enough for the work to be split
    EXPECT_EQ(severalCount, oneCount) << (refine ? "refined" : "");
    EXPECT_TRUE(several == one) << (refine ? "refined: " : "") << "the DXF differs";
  }
}

}  // namespace
}  // namespace quillon::trace
