#include "trace/tracer.h"

#include <exception>
#include <new>
#include <optional>

#include "platform/memory.h"
#include "postprocess/stage_common.h"
#include "trace/centre_line.h"
#include "trace/thinning.h"
#include "trace/trace_result.h"

namespace quillon::trace {

namespace {

// Palette level of ink after a centre-line trace, so that the vectors stand
// out on the dimmed picture.
constexpr uint8_t kCentreLineTracedGrey = 210;

}  // namespace

CTracer::CTracer(raster::CRaster& source) : source_(source) {}

CTracer::~CTracer() = default;

void CTracer::deleteWorkingRasters() {
  skeleton_.reset();
  junctions_.reset();
}

bool CTracer::traceCentreLine(platform::ProgressSink* sink) {
  const StageReporter reporter(sink);
  try {
    const bool ok = runCentreLine(sink);
    deleteWorkingRasters();
    return ok;
  } catch (const std::bad_alloc&) {
    deleteWorkingRasters();
    paths_.clear();
    reporter.finished(kTraceNoMemory);
  } catch (const std::exception&) {
    deleteWorkingRasters();
    paths_.clear();
    reporter.finished(kTraceError);
  }
  return false;
}

bool CTracer::runCentreLine(platform::ProgressSink* sink) {
  const StageReporter reporter(sink);
  paths_.clear();
  deleteWorkingRasters();
  if (source_.empty()) return true;
  if (source_.bitCount() != 1) {
    reporter.finished(kTraceError);
    return false;
  }

  skeleton_ = std::make_unique<raster::CRaster>();
  if (!skeleton_->cloneFrom(source_)) {
    reporter.finished(kTraceNoMemory);
    return false;
  }
  skeleton_->setThinned(false);
  if (!ThinFirstStep(*skeleton_, sink, thinningThreads_, keepStrokeEnds_, spareCores_)) return false;
  // The junction raster starts blank; the second step keeps its marks in it
  // meanwhile and leaves it blank.
  junctions_ = std::make_unique<raster::CRaster>();
  if (!junctions_->create(source_.width(), source_.height(), 1)) {
    reporter.finished(kTraceNoMemory);
    return false;
  }
  if (!ThinSecondStep(*skeleton_, sink, keepStrokeEnds_, junctions_.get())) return false;
  if (!TraceCentreInitialise(*skeleton_, *junctions_, sink)) return false;
  dropped_ = 0;
  const PathFilter counted = [this](const TracePath& path) { return drop_(path) && (++dropped_, true); };
  // The filter makes each path's polyline: worth a core of its own next to
  // the tracing, where the run may use a second one.
  constexpr std::size_t kPathsPerBatch = 4096;
  const std::size_t alongside = drop_ && postprocess::rangeParts(2, 1) > 1 ? kPathsPerBatch : 0;
  {
    // The polylines made meanwhile take fresh heap pages by the hundred
    // megabytes on a noisy scan; the core the tracing leaves idle zeroes them.
    std::optional<platform::HeapPrefault> prefault;
    if (alongside > 0) prefault.emplace();
    if (!TraceCentreLine(*skeleton_, *junctions_, paths_, sink, drop_ ? &counted : nullptr, keepLonePixels_,
                         alongside))
      return false;
  }

  deleteWorkingRasters();
  source_.setGreyEntry(1, kCentreLineTracedGrey);
  return true;
}

}  // namespace quillon::trace
