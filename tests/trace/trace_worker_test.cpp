#include "trace/trace_worker.h"

#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/graph.h"
#include "model/layer.h"
#include "model/line.h"
#include "platform/memory.h"
#include "trace/trace_result.h"
#include "trace/tracer.h"

namespace quillon::trace {
namespace {

// The progress window of a test: records what reaches it (on the worker
// thread) and can stop the worker as a chosen stage begins.
class Window final : public platform::ProgressSink {
 public:
  void stageBegin(std::string_view text) override {
    std::lock_guard lock(mutex_);
    events_.push_back("begin " + std::string(text));
    if (worker && text == cancelAtStage) worker->cancel();
  }
  void progress(int) override {
    std::lock_guard lock(mutex_);
    ++progressCount_;
  }
  void stageEnd() override {
    std::lock_guard lock(mutex_);
    events_.push_back("end");
  }
  void finished(int code) override {
    std::lock_guard lock(mutex_);
    events_.push_back("finished " + std::to_string(code));
    codes_.push_back(code);
  }

  std::vector<std::string> events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  std::vector<int> codes() const {
    std::lock_guard lock(mutex_);
    return codes_;
  }

  TraceWorker* worker = nullptr;
  std::string cancelAtStage;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> events_;
  std::vector<int> codes_;
  int progressCount_ = 0;
};

// A drawing whose raster holds a few thick strokes and whose layers hold an
// old layer with one line, so that the run's clearing shows.
void PrepareDrawing(model::CGraph& drawing, bool withInk = true) {
  raster::CRaster& raster = drawing.raster();
  ASSERT_TRUE(raster.create(160, 120, 1));
  if (withInk) {
    for (int y = 20; y < 27; ++y) {
      for (int x = 10; x < 150; ++x) raster.setBit(x, y, true);
    }
    for (int y = 30; y < 110; ++y) {
      for (int x = 70; x < 76; ++x) raster.setBit(x, y, true);
    }
    for (int t = 0; t < 80; ++t) {
      for (int w = 0; w < 4; ++w) raster.setBit(20 + t + w, 35 + t, true);
    }
  }
  drawing.setCurrentLayerByName("Old");
  drawing.addLine(model::Point3{0, 0, 0}, model::Point3{5, 5, 0});
}

settings::TraceOption CentreLineOptions() {
  settings::TraceOption options;
  options.i_AutoTraceWhat = settings::TraceMethod::CenterLine;
  return options;
}

TEST(TraceWorker, AllWhiteRasterEndsWithAnEmptyTraceLayer) {
  model::CGraph drawing;
  PrepareDrawing(drawing, false);
  Window window;
  bool postProcessed = false;
  TraceStageHooks hooks;
  hooks.postProcess = [&](model::CGraph&, const settings::TraceOption&, platform::ProgressSink*,
                          postprocess::EndIndex*) { return postProcessed = true; };
  TraceWorker worker(drawing, CentreLineOptions(), window, hooks);
  ASSERT_TRUE(worker.start());
  worker.wait();
  EXPECT_EQ(window.codes(), std::vector<int>{kTraceFinished});
  EXPECT_FALSE(postProcessed);
  ASSERT_EQ(drawing.layers().size(), 1u);
  EXPECT_EQ(drawing.currentLayer()->name(), "Trace");
  EXPECT_EQ(drawing.currentLayer()->count(), 0u);
  const std::vector<std::string> expected{"begin Thin first step",         "end", "begin Thin second step", "end",
                                          "begin Trace center initialize", "end", "begin Trace center line", "end",
                                          "finished 0"};
  EXPECT_EQ(window.events(), expected);
}

TEST(TraceWorker, StrokesBecomePolylinesAndArePostProcessed) {
  model::CGraph drawing;
  PrepareDrawing(drawing);
  Window window;
  int postProcessRuns = 0;
  TraceStageHooks hooks;
  hooks.postProcess = [&](model::CGraph& graph, const settings::TraceOption&, platform::ProgressSink* sink,
                          postprocess::EndIndex* ends) {
    ++postProcessRuns;
    EXPECT_EQ(&graph, &drawing);
    EXPECT_NE(sink, nullptr);
    EXPECT_NE(ends, nullptr);
    return true;
  };
  TraceWorker worker(drawing, CentreLineOptions(), window, hooks);
  worker.run();  // synchronously, on this thread
  EXPECT_EQ(window.codes(), std::vector<int>{kTraceFinished});
  EXPECT_EQ(worker.result(), kTraceFinished);
  EXPECT_EQ(postProcessRuns, 1);
  EXPECT_GE(drawing.currentLayer()->count(), 3u);
  const std::vector<std::string> events = window.events();
  EXPECT_NE(std::find(events.begin(), events.end(), "begin Generate polyline"), events.end());
  // The ink shows grey after a centre-line trace; the bits stay.
  EXPECT_EQ(drawing.raster().palette()[4], 210);
  EXPECT_TRUE(drawing.raster().bitAt(12, 22));
}

// A run that needs more memory than its budget ends with "out of memory"
// at a check point instead of growing on; with room to spare the same run
// finishes. The noise gives every stage many paths to hold.
TEST(TraceWorker, MemoryBudgetEndsTheRunWithOutOfMemory) {
  auto noisy = [](model::CGraph& drawing) {
    raster::CRaster& raster = drawing.raster();
    ASSERT_TRUE(raster.create(1500, 1500, 1));
    uint32_t state = 12345;
    for (int y = 0; y < 1500; ++y)
      for (int x = 0; x < 1500; ++x) {
        state = state * 1664525u + 1013904223u;
        if ((state >> 24) < 77) raster.setBit(x, y, true);
      }
  };
  {
    model::CGraph drawing;
    noisy(drawing);
    Window window;
    TraceWorker worker(drawing, CentreLineOptions(), window);
    EXPECT_GT(worker.memoryBudget(), 0u) << "bounded by default";
    worker.setMemoryBudget(platform::ResidentBytes() + (4u << 20));
    worker.run();
    EXPECT_EQ(window.codes(), std::vector<int>{kTraceNoMemory});
  }
  {
    model::CGraph drawing;
    noisy(drawing);
    Window window;
    TraceWorker worker(drawing, CentreLineOptions(), window);
    worker.setMemoryBudget(platform::ResidentBytes() + (uint64_t{2} << 30));
    worker.run();
    EXPECT_EQ(window.codes(), std::vector<int>{kTraceFinished});
  }
}

// Each stage of a centre-line run, cancelled as it begins, ends the run with
// "User stop": one finished(10), nothing after it, no stage end for the
// cancelled stage, the thread gone.
TEST(TraceWorkerCancel, CancelDuringEachStageEndsWithUserStop) {
  const char* stages[] = {"Thin first step", "Thin second step", "Trace center initialize", "Trace center line",
                          "Generate polyline", "Post"};
  for (const char* stage : stages) {
    model::CGraph drawing;
    PrepareDrawing(drawing);
    Window window;
    window.cancelAtStage = stage;
    TraceStageHooks hooks;
    hooks.postProcess = [](model::CGraph&, const settings::TraceOption&, platform::ProgressSink* sink,
                           postprocess::EndIndex*) {
      sink->stageBegin("Post");
      if (sink->cancelRequested()) {
        sink->finished(kTraceUserStop);
        return false;
      }
      sink->stageEnd();
      return true;
    };
    {
      TraceWorker worker(drawing, CentreLineOptions(), window, hooks);
      window.worker = &worker;
      ASSERT_TRUE(worker.start());
      worker.wait();
      EXPECT_EQ(worker.result(), kTraceUserStop) << stage;
    }
    EXPECT_EQ(window.codes(), std::vector<int>{kTraceUserStop}) << stage;
    const std::vector<std::string> events = window.events();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2], "begin " + std::string(stage));
    EXPECT_EQ(events.back(), "finished 10");
    EXPECT_EQ(TraceResultMessage(window.codes().front(), 0), "User stop");
    // The old layers went before the run began.
    ASSERT_EQ(drawing.layers().size(), 1u) << stage;
    EXPECT_EQ(drawing.layers().front()->name(), "Trace");
  }
}

TEST(TraceWorkerThread, CancelFromAnotherThreadBeforeTheFirstCheckPoint) {
  model::CGraph drawing;
  PrepareDrawing(drawing);
  Window window;
  TraceWorker worker(drawing, CentreLineOptions(), window);
  worker.cancel();
  ASSERT_TRUE(worker.start());
  worker.wait();
  EXPECT_EQ(window.codes(), std::vector<int>{kTraceUserStop});
  EXPECT_EQ(window.events(), std::vector<std::string>{"finished 10"});
}

TEST(TraceWorkerThread, CancelWhileRunningEndsWithOneResult) {
  model::CGraph drawing;
  raster::CRaster& raster = drawing.raster();
  ASSERT_TRUE(raster.create(900, 700, 1));
  for (int y = 0; y < 700; y += 9) {
    for (int yy = y; yy < y + 5 && yy < 700; ++yy) {
      for (int x = 0; x < 900; ++x) raster.setBit(x, yy, true);
    }
  }
  Window window;
  {
    TraceWorker worker(drawing, CentreLineOptions(), window);
    ASSERT_TRUE(worker.start());
    worker.cancel();
    worker.wait();
  }
  const std::vector<int> codes = window.codes();
  ASSERT_EQ(codes.size(), 1u);
  EXPECT_TRUE(codes[0] == kTraceUserStop || codes[0] == kTraceFinished) << codes[0];
}

TEST(TraceWorkerThread, DestroyingARunningWorkerStopsAndJoinsIt) {
  model::CGraph drawing;
  PrepareDrawing(drawing);
  Window window;
  {
    TraceWorker worker(drawing, CentreLineOptions(), window);
    ASSERT_TRUE(worker.start());
    EXPECT_FALSE(worker.start());  // one thread per worker
  }
  EXPECT_EQ(window.codes().size(), 1u);
}

TEST(TraceWorker, FailuresInsideTheRunEndWithExactlyOneCode) {
  struct Case {
    std::function<bool(model::CGraph&, const settings::TraceOption&, platform::ProgressSink*, postprocess::EndIndex*)>
        hook;
    int expected;
  };
  const Case cases[] = {
      {[](auto&, auto&, auto*, auto*) -> bool { throw std::runtime_error("unexpected"); }, kTraceError},
      {[](auto&, auto&, auto*, auto*) -> bool { throw std::bad_alloc(); }, kTraceNoMemory},
      // A stage that reports twice still gives the window one code, the first.
      {[](auto&, auto&, platform::ProgressSink* sink, auto*) {
         sink->finished(kTraceNoMemory);
         sink->finished(kTraceError);
         return false;
       },
       kTraceNoMemory},
  };
  for (const Case& c : cases) {
    model::CGraph drawing;
    PrepareDrawing(drawing);
    Window window;
    TraceStageHooks hooks;
    hooks.postProcess = c.hook;
    TraceWorker worker(drawing, CentreLineOptions(), window, hooks);
    ASSERT_TRUE(worker.start());
    worker.wait();
    EXPECT_EQ(window.codes(), std::vector<int>{c.expected});
  }
}

TEST(TraceWorker, MethodsWithoutTheirStagesEndWithAnError) {
  for (settings::TraceMethod method : {settings::TraceMethod::Outline, settings::TraceMethod::FillPattern}) {
    model::CGraph drawing;
    PrepareDrawing(drawing);
    Window window;
    settings::TraceOption options;
    options.i_AutoTraceWhat = method;
    TraceWorker worker(drawing, options, window, TraceStageHooks{});
    worker.run();
    EXPECT_EQ(window.codes(), std::vector<int>{kTraceError});
  }
}

TEST(CTracer, TracingTwiceGivesTheSameResult) {
  raster::CRaster source;
  ASSERT_TRUE(source.create(64, 48, 1));
  for (int y = 10; y < 15; ++y) {
    for (int x = 5; x < 60; ++x) source.setBit(x, y, true);
  }
  CTracer tracer(source);
  ASSERT_TRUE(tracer.traceCentreLine(nullptr));
  EXPECT_EQ(tracer.skeletonRaster(), nullptr);
  EXPECT_EQ(tracer.junctionRaster(), nullptr);
  ASSERT_EQ(tracer.paths().size(), 1u);
  const std::size_t points = tracer.paths()[0].size();
  EXPECT_EQ(source.palette()[4], 210);
  ASSERT_TRUE(tracer.traceCentreLine(nullptr));
  ASSERT_EQ(tracer.paths().size(), 1u);
  EXPECT_EQ(tracer.paths()[0].size(), points);
  EXPECT_TRUE(source.bitAt(5, 10));
}

TEST(CTracer, RefusesARasterThatIsNotOneBit) {
  raster::CRaster source;
  ASSERT_TRUE(source.create(8, 8, 8));
  Window window;
  CTracer tracer(source);
  EXPECT_FALSE(tracer.traceCentreLine(&window));
  EXPECT_EQ(window.codes(), std::vector<int>{kTraceError});
}

}  // namespace
}  // namespace quillon::trace
