#include "editor/trace_command.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "editor/document.h"
#include "model/graph.h"
#include "model/layer.h"
#include "model/line.h"
#include "raster/raster_test_images.h"
#include "support/test_support.h"
#include "trace/trace_result.h"

namespace quillon::editor {
namespace {

// A 1-bit raster with a few thick strokes: enough for a quick centre-line trace.
void DrawStrokes(raster::CRaster& r) {
  ASSERT_TRUE(r.create(80, 60, 1));
  for (int y = 10; y < 14; ++y)
    for (int x = 5; x < 70; ++x) r.setBit(x, y, true);
  for (int x = 30; x < 34; ++x)
    for (int y = 14; y < 55; ++y) r.setBit(x, y, true);
}

// A drawing the user had before tracing: one line in layer "Mine".
void AddUserLine(model::CGraph& drawing) {
  drawing.setCurrentLayerByName("Mine");
  ASSERT_NE(drawing.addLine({1, 2, 0}, {3, 4, 0}), nullptr);
}

std::vector<std::string> LayerNames(const model::CGraph& drawing) {
  std::vector<std::string> names;
  for (const auto& layer : drawing.layers()) names.push_back(layer->name());
  return names;
}

TEST(TraceCommand, TraceRecordsOneStepWhoseUndoRestoresTheDrawing) {
  model::CGraph drawing;
  DrawStrokes(drawing.raster());
  AddUserLine(drawing);
  const size_t stepsBefore = drawing.undo.size();
  const raster::test::ImageState bits = raster::test::StateOf(drawing.raster());
  std::vector<std::string> calls;
  TraceCommandHooks hooks;
  hooks.endCommand = [&] { calls.push_back("end"); };
  hooks.restartCommand = [&] { calls.push_back("restart"); };
  hooks.redraw = [&] { calls.push_back("redraw"); };
  test::CapturedMessages messages;

  ASSERT_EQ(RunTraceCommand(drawing, settings::TraceOption(), hooks), trace::kTraceFinished);
  EXPECT_EQ(calls, (std::vector<std::string>{"end", "redraw", "restart"}));
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].rfind("Trace && process finished!\r\nElapsed time :  ", 0), 0u);
  EXPECT_EQ(LayerNames(drawing), std::vector<std::string>{"Trace"});
  EXPECT_GT(drawing.totalCount(), 0u);
  // A 1-bit raster is traced as it is.
  EXPECT_EQ(drawing.raster().bitCount(), 1);
  EXPECT_EQ(raster::test::StateOf(drawing.raster()).rows, bits.rows);

  ASSERT_EQ(drawing.undo.size(), stepsBefore + 1);
  EXPECT_EQ(drawing.undo.step(drawing.undo.size() - 1).name(), "Trace Raster Image");
  const uint32_t traced = drawing.totalCount();
  EXPECT_EQ(drawing.undo.undo(drawing), "Undo: Trace Raster Image");
  EXPECT_EQ(LayerNames(drawing), std::vector<std::string>{"Mine"});
  EXPECT_EQ(drawing.totalCount(), 1u);
  EXPECT_EQ(drawing.undo.redo(drawing), "Redo: Trace Raster Image");
  EXPECT_EQ(drawing.totalCount(), traced);
}

// A document's grey raster is thresholded with the stored level, and the
// conversion goes into the raster undo list so that the entries before it
// (made on the grey raster) can still be undone.
TEST(TraceCommand, DocumentRasterIsThresholdedUndoably) {
  const auto grey = [](int x, int y, int) { return (x > 20 && x < 26) || y == 7 ? 90 : 200; };
  raster::CRaster expected = raster::test::MakeImage(50, 40, 8, grey);
  ASSERT_TRUE(expected.convertTo1Bit(100));
  Document document(raster::test::MakeImage(50, 40, 8, grey), "grey.bmp", -1);
  const raster::test::ImageState before = raster::test::StateOf(document.raster());
  settings::TraceOption options;
  options.b_AutoGray = false;
  options.i_Gray = 100;
  test::CapturedMessages messages;
  TraceCommand command(document, options);
  ASSERT_TRUE(command.prepare());
  EXPECT_EQ(raster::test::StateOf(document.raster()).rows, raster::test::StateOf(expected).rows);
  EXPECT_EQ(command.run(), trace::kTraceFinished);
  ASSERT_EQ(document.rasterUndo().count(), 1u);
  EXPECT_EQ(document.rasterUndo().entry(0).name(), "Thresholding");
  ASSERT_TRUE(document.rasterUndo().undo());
  EXPECT_EQ(document.raster().bitCount(), 8);
  EXPECT_EQ(raster::test::StateOf(document.raster()), before);
}

TEST(TraceCommand, NoRasterSaysColorsBelowTwoAndChangesNothing) {
  model::CGraph drawing;
  AddUserLine(drawing);
  const size_t steps = drawing.undo.size();
  int restarts = 0;
  TraceCommandHooks hooks;
  hooks.restartCommand = [&] { ++restarts; };
  test::CapturedMessages messages;
  EXPECT_EQ(RunTraceCommand(drawing, settings::TraceOption(), hooks), -1);
  EXPECT_EQ(messages.messages(), std::vector<std::string>{"Colors < 2"});
  EXPECT_EQ(restarts, 1);
  EXPECT_EQ(drawing.undo.size(), steps);
  EXPECT_EQ(LayerNames(drawing), std::vector<std::string>{"Mine"});
}

TEST(TraceCommand, FinishedMessageCarriesTheElapsedTime) {
  const struct {
    int64_t milliseconds;
    const char* text;
  } cases[] = {
      {999, " 0 seconds"},
      {42'500, " 42 seconds"},
      {3'725'000, " 1 hours 2 minutes 5 seconds"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    model::CGraph drawing;
    DrawStrokes(drawing.raster());
    TraceCommand command(drawing, settings::TraceOption());
    // The run starts at tick 5000 and finishes c.milliseconds later.
    std::vector<int64_t> ticks{5000, 5000 + c.milliseconds};
    command.setClock([&] {
      const int64_t tick = ticks.front();
      if (ticks.size() > 1) ticks.erase(ticks.begin());
      return tick;
    });
    test::CapturedMessages messages;
    ASSERT_TRUE(command.prepare());
    command.run();
    EXPECT_EQ(command.finish(), std::string("Trace && process finished!\r\nElapsed time : ") + c.text);
    EXPECT_EQ(command.elapsedMilliseconds(), c.milliseconds);
  }
}

// Holds the worker in its first stage until the test has pressed Cancel.
class GateWindow final : public platform::ProgressSink {
 public:
  void stageBegin(std::string_view) override {
    std::unique_lock lock(mutex_);
    ++stages_;
    if (stages_ > 1) return;
    signal_.notify_all();
    signal_.wait(lock, [&] { return released_; });
  }
  void progress(int) override {}
  void stageEnd() override {}
  void finished(int code) override {
    std::lock_guard lock(mutex_);
    codes_.push_back(code);
  }
  void waitForFirstStage() {
    std::unique_lock lock(mutex_);
    signal_.wait(lock, [&] { return stages_ > 0; });
  }
  void release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    signal_.notify_all();
  }
  std::vector<int> codes() {
    std::lock_guard lock(mutex_);
    return codes_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable signal_;
  int stages_ = 0;
  bool released_ = false;
  std::vector<int> codes_;
};

TEST(TraceCommand, CancelStopsTheWorkerAndUndoBringsTheDrawingBack) {
  model::CGraph drawing;
  DrawStrokes(drawing.raster());
  AddUserLine(drawing);
  test::CapturedMessages messages;
  TraceCommand command(drawing, settings::TraceOption());
  ASSERT_TRUE(command.prepare());
  GateWindow window;
  ASSERT_TRUE(command.start(window));
  window.waitForFirstStage();
  command.cancel();
  window.release();

  EXPECT_EQ(command.finish(), "User stop");
  EXPECT_EQ(command.result(), trace::kTraceUserStop);
  EXPECT_EQ(window.codes(), std::vector<int>{trace::kTraceUserStop});
  EXPECT_EQ(messages.messages(), std::vector<std::string>{"User stop"});
  // The run had already emptied the drawing; the step gives it back.
  EXPECT_EQ(LayerNames(drawing), std::vector<std::string>{"Trace"});
  EXPECT_EQ(drawing.undo.undo(drawing), "Undo: Trace Raster Image");
  EXPECT_EQ(LayerNames(drawing), std::vector<std::string>{"Mine"});
  EXPECT_EQ(drawing.totalCount(), 1u);
}

TEST(TraceCommand, DestroyingARunningCommandStopsItsWorker) {
  model::CGraph drawing;
  DrawStrokes(drawing.raster());
  GateWindow window;
  {
    TraceCommand command(drawing, settings::TraceOption());
    ASSERT_TRUE(command.prepare());
    ASSERT_TRUE(command.start(window));
    window.waitForFirstStage();
    window.release();
  }
  ASSERT_EQ(window.codes().size(), 1u);
}

}  // namespace
}  // namespace quillon::editor
