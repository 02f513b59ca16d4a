#include "trace/trace_worker.h"

#include <chrono>
#include <exception>
#include <new>
#include <optional>
#include <system_error>

#include "model/graph.h"
#include "platform/memory.h"
#include "postprocess/connect.h"
#include "postprocess/post_process_run.h"
#include "postprocess/stage_common.h"
#include "trace/fill_pattern.h"
#include "trace/outline.h"
#include "trace/polyline_generation.h"
#include "trace/trace_result.h"
#include "trace/tracer.h"

namespace quillon::trace {

TraceStageHooks DefaultTraceStageHooks() {
  TraceStageHooks hooks;
  hooks.postProcess = [](model::CGraph& drawing, const settings::TraceOption& options, platform::ProgressSink* sink,
                         postprocess::EndIndex* ends) {
    return postprocess::RunPostProcessing(drawing, options, sink, ends);
  };
  hooks.outline = [](model::CGraph& drawing, const settings::TraceOption& options, CTracer& tracer,
                     platform::ProgressSink* sink) { RunOutlineMethod(drawing, options, tracer, sink); };
  hooks.fillPattern = [](model::CGraph& drawing, const settings::TraceOption& options, CTracer&,
                         platform::ProgressSink* sink) { RunFillPatternMethod(drawing, options, sink); };
  return hooks;
}

TraceWorker::TraceWorker(model::CGraph& document, const settings::TraceOption& options,
                         platform::ProgressSink& window, TraceStageHooks hooks)
    : document_(document), window_(window), hooks_(std::move(hooks)), memoryBudget_(platform::DefaultMemoryBudget()) {
  options_.CopyFrom(options);
}

TraceWorker::~TraceWorker() {
  cancel_.request();
  wait();
}

bool TraceWorker::start() {
  if (started_) return false;
  started_ = true;
  try {
    thread_ = std::thread(&TraceWorker::run, this);
  } catch (const std::system_error&) {
    result_ = kTraceError;
    window_.finished(kTraceError);
    return false;
  }
  return true;
}

void TraceWorker::wait() {
  if (thread_.joinable()) thread_.join();
}

void TraceWorker::stageBegin(std::string_view text) {
  if (!cancel_.requested()) window_.stageBegin(text);
}

void TraceWorker::progress(int value) {
  if (!cancel_.requested()) window_.progress(value);
}

void TraceWorker::stageEnd() {
  if (!cancel_.requested()) window_.stageEnd();
}

void TraceWorker::finished(int resultCode) {
  if (resultDelivered_) return;
  resultDelivered_ = true;
  // A stop this worker asked for because the budget was spent is no user stop.
  if (resultCode == kTraceUserStop && overBudget_.load(std::memory_order_relaxed)) resultCode = kTraceNoMemory;
  result_ = resultCode;
}

bool TraceWorker::cancelRequested() const {
  if (cancel_.requested()) return true;
  if (memoryBudget_ == 0) return false;
  // Reading the resident size costs a system call: look every 64 polls and
  // at most every 5 ms, which still catches growth long before it matters.
  if ((polls_.fetch_add(1, std::memory_order_relaxed) & 63) != 0) return false;
  const int64_t now = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now().time_since_epoch()).count();
  int64_t last = lastMemoryCheck_.load(std::memory_order_relaxed);
  if (now - last < 5000 || !lastMemoryCheck_.compare_exchange_strong(last, now, std::memory_order_relaxed))
    return false;
  if (platform::ResidentBytes() <= memoryBudget_) return false;
  overBudget_.store(true, std::memory_order_relaxed);
  const_cast<platform::CancelFlag&>(cancel_).request();
  return true;
}

void TraceWorker::run() {
  resultDelivered_ = false;
  result_ = -1;
  overBudget_.store(false, std::memory_order_relaxed);
  try {
    runStages();
  } catch (const std::bad_alloc&) {
    finished(kTraceNoMemory);
  } catch (...) {
    finished(kTraceError);
  }
  // Every path through a run ends with exactly one code; a path that ended
  // without one is a fault of this program, reported as an error.
  if (!resultDelivered_) finished(kTraceError);
  window_.finished(result_);
}

void TraceWorker::runStages() {
  document_.clearForTrace();
  CTracer tracer(document_.raster());
  tracer.setThinningThreads(thinningThreads_);
  tracer.setSpareCores(spareCores_);
  const postprocess::RangeThreadLimit refinedThreads(thinningThreads_, spareCores_ ? &spareCores_ : nullptr);
  switch (options_.i_AutoTraceWhat) {
    case settings::TraceMethod::CenterLine:
      runCentreLine(tracer);
      return;
    case settings::TraceMethod::Outline:
      if (hooks_.outline) {
        hooks_.outline(document_, options_, tracer, this);
      } else {
        finished(kTraceError);
      }
      return;
    case settings::TraceMethod::FillPattern:
      if (hooks_.fillPattern) {
        hooks_.fillPattern(document_, options_, tracer, this);
      } else {
        finished(kTraceError);
      }
      return;
  }
  finished(kTraceError);
}

void TraceWorker::runCentreLine(CTracer& tracer) {
  raster::CRaster& raster = document_.raster();
  // Specks and stubs that polyline generation would drop are dropped as
  // they are traced, so they never take memory as paths.
  tracer.setKeepLonePixels(options_.b_Refine);
  tracer.setKeepStrokeEnds(options_.b_Refine);
  // Each path becomes its polyline as soon as it is traced, so that no path
  // is stored; specks cost no polyline either. (Refined runs look at
  // dropped stubs again for dots: their middles are kept.)
  MadePolylines made;
  if (!options_.plainPipeline) {
    tracer.setPathFilter(
        [maker = PolylineMaker(PolylineGenerationParams::fromOptions(options_, raster.height(), raster.dotsPerInch())),
         &made, refine = options_.b_Refine](const TracePath& path) mutable {
          made.take(maker, path, refine);
          return true;
        });
  }
  if (!tracer.traceCentreLine(this)) return;  // the stage delivered its code
  if (tracer.paths().empty() && tracer.droppedPaths() == 0) {
    finished(kTraceFinished);
    return;
  }
  // Connect fills the index from the layer itself (clearing it first), so
  // generation does not register the ends as well.
  postprocess::EndIndex ends;
  {
    // Each of a noisy scan's million polylines takes a list node from fresh
    // heap pages as it joins the layer; a second core, where the run may use
    // one, zeroes them meanwhile.
    std::optional<platform::HeapPrefault> prefault;
    if (postprocess::rangeParts(2, 1) > 1) prefault.emplace();
    if (generatePolylines(tracer.paths(), document_, options_, this, nullptr, &made) != kTraceFinished) return;
  }
  if (hooks_.postProcess && !hooks_.postProcess(document_, options_, this, &ends)) return;
  finished(kTraceFinished);
}

}  // namespace quillon::trace
