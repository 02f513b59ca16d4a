#pragma once
// TraceWorker runs one trace of a document on its own thread: it empties the
// drawing into a fresh "Trace" layer, runs the stages of the chosen method,
// turns the traced paths into polylines and post-processes them, reporting
// every stage to a window through the progress protocol.

#include <functional>
#include <atomic>
#include <cstdint>
#include <thread>

#include "platform/progress.h"
#include "settings/trace_option.h"

namespace quillon::model {
class CGraph;
}
namespace quillon::postprocess {
class EndIndex;
}

namespace quillon::trace {

class CTracer;

// The parts of a run that live in other stages of the pipeline. Each hook
// follows the stage protocol on the sink it is given and delivers its own
// finished() code when it gives up.
struct TraceStageHooks {
  // Post-processing of a centre-line trace over the current layer (the
  // run's end index holds the registered polyline ends). True when every
  // stage finished; false after the failing stage delivered its code.
  // Without a hook the run ends after polyline generation.
  std::function<bool(model::CGraph&, const settings::TraceOption&, platform::ProgressSink*, postprocess::EndIndex*)>
      postProcess;
  // The whole run of the outline (2) and fill-pattern (3) methods after the
  // drawing was prepared; must deliver exactly one finished(). Without a
  // hook such a run ends with finished(20).
  std::function<void(model::CGraph&, const settings::TraceOption&, CTracer&, platform::ProgressSink*)> outline;
  std::function<void(model::CGraph&, const settings::TraceOption&, CTracer&, platform::ProgressSink*)> fillPattern;
};

// The hooks a normal run uses.
TraceStageHooks DefaultTraceStageHooks();

class TraceWorker final : public platform::ProgressSink {
 public:
  // `window` receives the notifications, all on the worker thread: stage
  // begin, progress and stage end synchronously and only while no cancel is
  // requested; finished exactly once, as the last thing the thread does
  // (after the tracer and its rasters are gone). The window must not join
  // the worker from inside finished(). The options are copied; the document
  // must not be touched by anyone else until the worker has ended.
  TraceWorker(model::CGraph& document, const settings::TraceOption& options, platform::ProgressSink& window,
              TraceStageHooks hooks = DefaultTraceStageHooks());
  // Requests a stop and waits for the thread: no thread outlives its worker.
  ~TraceWorker() override;
  TraceWorker(const TraceWorker&) = delete;
  TraceWorker& operator=(const TraceWorker&) = delete;

  // Starts the thread. False when it cannot be created; the window then has
  // received finished(20) already. False without effect when started before.
  bool start();
  // Asks the run to stop at its next check point; any thread may call it.
  void cancel() { cancel_.request(); }
  // Waits for the thread to end (no-op when it is not running).
  void wait();
  // The code the run ended with; valid once finished() reached the window.
  int result() const { return result_; }

  // The thread body; also usable synchronously on the calling thread.
  void run();

  // Threads for the first thinning step (0: every core).
  void setThinningThreads(int threads) { thinningThreads_ = threads; }
  // Idle cores the run may use besides a fixed number of threads in its
  // parallel steps, asked as it goes (a batch lends the cores its other
  // conversions left idle); empty: none.
  void setSpareCores(std::function<int()> spare) { spareCores_ = std::move(spare); }

  // The most memory the process may hold while the run goes on (0: none).
  // Stages see a cancel request at their next check point once the process
  // holds more, and the run ends with "out of memory" (result 2) instead of
  // growing until the system kills it. Starts at DefaultMemoryBudget().
  void setMemoryBudget(uint64_t bytes) { memoryBudget_ = bytes; }
  uint64_t memoryBudget() const { return memoryBudget_; }

  // ProgressSink, as seen by the stages.
  void stageBegin(std::string_view text) override;
  void progress(int value) override;
  void stageEnd() override;
  // Records the first code delivered; the window gets it when the run ends.
  void finished(int resultCode) override;
  bool cancelRequested() const override;

 private:
  void runStages();
  void runCentreLine(CTracer& tracer);

  model::CGraph& document_;
  settings::TraceOption options_;
  platform::ProgressSink& window_;
  TraceStageHooks hooks_;
  platform::CancelFlag cancel_;
  std::thread thread_;
  bool started_ = false;
  bool resultDelivered_ = false;  // worker thread only
  int result_ = -1;
  int thinningThreads_ = 0;
  std::function<int()> spareCores_;
  uint64_t memoryBudget_;
  // Budget checks, throttled: stages poll per row, from several threads.
  mutable std::atomic<uint32_t> polls_{0};
  mutable std::atomic<int64_t> lastMemoryCheck_{0};
  mutable std::atomic<bool> overBudget_{false};
};

}  // namespace quillon::trace
