#include "trace/fill_pattern.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/graph.h"
#include "model/layer.h"
#include "model/line.h"
#include "trace/trace_result.h"
#include "trace/trace_worker.h"
#include "trace_test_util.h"

namespace quillon::trace {
namespace {

struct Segment {
  double x1, y1, x2, y2;
  bool operator==(const Segment&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Segment& s) {
  return out << "(" << s.x1 << "," << s.y1 << ")-(" << s.x2 << "," << s.y2 << ")";
}

std::vector<Segment> Lines(model::CGraph& drawing) {
  std::vector<Segment> out;
  for (const auto& entity : *drawing.currentLayer()) {
    auto* line = dynamic_cast<const model::CLine*>(entity.get());
    EXPECT_NE(line, nullptr);
    if (!line) continue;
    const model::Point3 a = line->getStartPoint();
    const model::Point3 b = line->getEndPoint();
    out.push_back({a.x, a.y, b.x, b.y});
  }
  return out;
}

class Sink final : public platform::ProgressSink {
 public:
  void stageBegin(std::string_view text) override { stages.emplace_back(text); }
  void progress(int value) override { values.push_back(value); }
  void stageEnd() override { ++ends; }
  void finished(int code) override { codes.push_back(code); }
  bool cancelRequested() const override { return cancel; }
  std::vector<std::string> stages;
  std::vector<int> values;
  std::vector<int> codes;
  int ends = 0;
  bool cancel = false;
};

void Prepare(model::CGraph& drawing, int width, int height) {
  drawing.clearForTrace();
  ASSERT_TRUE(drawing.raster().create(width, height, 1));
}

TEST(FillHorizontal, ScanLinesLieOnTheSpacingGrid) {
  model::CGraph drawing;
  Prepare(drawing, 3, 10);
  for (int y = 0; y < 10; ++y) drawing.raster().setBit(1, y, true);
  Sink sink;
  ASSERT_TRUE(FillHorizontal(2.5, &drawing, &sink));
  // Rows 0, 2, 5, 7 are read; the lines sit at y = 9 − s.
  EXPECT_EQ(Lines(drawing), (std::vector<Segment>{{2, 9, 3, 9}, {2, 6.5, 3, 6.5}, {2, 4, 3, 4}, {2, 1.5, 3, 1.5}}));
  EXPECT_EQ(sink.stages, std::vector<std::string>{"Fill horizontal line"});
  EXPECT_EQ(sink.values, (std::vector<int>{0, 25, 50, 75}));
  EXPECT_EQ(sink.ends, 1);

  model::CGraph three;
  Prepare(three, 1, 10);
  for (int y = 0; y < 10; ++y) three.raster().setBit(0, y, true);
  ASSERT_TRUE(FillHorizontal(3.0, &three, nullptr));
  EXPECT_EQ(Lines(three).size(), 4u);  // s = 0, 3, 6, 9
}

TEST(FillHorizontal, RunsAreCutAtBackground) {
  model::CGraph drawing;
  Prepare(drawing, 20, 1);
  raster::CRaster& r = drawing.raster();
  for (int x = 4; x <= 9; ++x) r.setBit(x, 0, true);
  r.setBit(12, 0, true);
  r.setBit(19, 0, true);
  ASSERT_TRUE(FillHorizontal(1.0, &drawing, nullptr));
  EXPECT_EQ(Lines(drawing), (std::vector<Segment>{{5, 0, 10, 0}, {13, 0, 14, 0}, {20, 0, 21, 0}}));
}

TEST(FillHorizontal, WideRowsAcrossWholeBytes) {
  model::CGraph drawing;
  Prepare(drawing, 70, 1);
  for (int x = 3; x < 69; ++x) drawing.raster().setBit(x, 0, true);
  drawing.raster().setBit(40, 0, false);
  ASSERT_TRUE(FillHorizontal(1.0, &drawing, nullptr));
  EXPECT_EQ(Lines(drawing), (std::vector<Segment>{{4, 0, 40, 0}, {42, 0, 69, 0}}));
}

TEST(FillVertical, ColumnsAtTheSpacingRunDownwards) {
  model::CGraph drawing;
  Prepare(drawing, 5, 6);
  raster::CRaster& r = drawing.raster();
  for (int y = 1; y <= 3; ++y) r.setBit(0, y, true);
  r.setBit(2, 5, true);
  ASSERT_TRUE(FillVertical(2.0, &drawing, nullptr));
  // Column 0 rows 1..3: y from 4 down to 2; column 2 row 5: one unit long.
  EXPECT_EQ(Lines(drawing), (std::vector<Segment>{{1, 4, 1, 2}, {3, 0, 3, -1}}));
}

TEST(FillPattern, CrossHatchesBothWaysAndCancelStopsBeforeTheSecondPass) {
  const std::vector<std::string> square = {"####", "####", "####", "####"};
  model::CGraph drawing;
  drawing.clearForTrace();
  ASSERT_TRUE(testing::MakeRaster(drawing.raster(), square));
  drawing.raster().setGreyEntry(1, 210);  // an earlier trace dimmed the ink; only bits count
  Sink sink;
  ASSERT_TRUE(FillPattern(2, 2.0, &drawing, &sink));
  EXPECT_EQ(sink.stages, (std::vector<std::string>{"Fill horizontal line", "Fill vertical line"}));
  EXPECT_EQ(Lines(drawing).size(), 4u);
  EXPECT_EQ(drawing.raster().palette()[4], 220);

  model::CGraph cancelled;
  cancelled.clearForTrace();
  ASSERT_TRUE(testing::MakeRaster(cancelled.raster(), square));
  Sink stop;
  stop.cancel = true;
  EXPECT_FALSE(FillPattern(2, 2.0, &cancelled, &stop));
  EXPECT_EQ(stop.stages, std::vector<std::string>{"Fill horizontal line"});
  EXPECT_EQ(stop.codes, std::vector<int>{kTraceUserStop});
  EXPECT_EQ(Lines(cancelled).size(), 1u);  // the first scan line stays
}

TEST(FillPattern, RefusesBadArgumentsBeforeAnyStage) {
  model::CGraph drawing;
  Prepare(drawing, 4, 4);
  drawing.raster().setBit(1, 1, true);
  Sink sink;
  EXPECT_FALSE(FillPattern(0, 0.0, &drawing, &sink));
  EXPECT_FALSE(FillPattern(1, -1.0, &drawing, &sink));
  EXPECT_FALSE(FillPattern(3, 1.0, &drawing, &sink));
  EXPECT_FALSE(FillPattern(-1, 1.0, &drawing, &sink));
  EXPECT_FALSE(FillPattern(0, 1.0, nullptr, &sink));
  EXPECT_EQ(FillPatternRun(3, 1.0, &drawing, &sink), kTraceFillFailed);
  EXPECT_TRUE(sink.stages.empty());
  EXPECT_TRUE(sink.codes.empty());
  EXPECT_EQ(drawing.currentLayer()->recount(), 0u);
}

class Window final : public platform::ProgressSink {
 public:
  void stageBegin(std::string_view) override {}
  void progress(int) override {}
  void stageEnd() override {}
  void finished(int code) override { codes.push_back(code); }
  std::vector<int> codes;
};

TEST(FillPatternMethod, EndsWithFinishedOrError) {
  for (double spacing : {1.0, 0.0}) {
    model::CGraph drawing;
    ASSERT_TRUE(testing::MakeRaster(drawing.raster(), {"....", ".##.", "...."}));
    settings::TraceOption options;
    options.i_AutoTraceWhat = settings::TraceMethod::FillPattern;
    options.FillPattern.i_FillType = settings::FillType::Vertical;
    options.FillPattern.d_FillSpace = spacing;
    Window window;
    TraceWorker worker(drawing, options, window);
    worker.run();
    EXPECT_EQ(window.codes, std::vector<int>{spacing > 0 ? kTraceFinished : kTraceError});
    EXPECT_EQ(drawing.currentLayer()->recount(), spacing > 0 ? 2u : 0u);
  }
}

}  // namespace
}  // namespace quillon::trace
