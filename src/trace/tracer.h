#pragma once
// CTracer: the tracing engine of one run. It holds the working rasters of a
// centre-line trace and the traced paths that polyline generation consumes.
// Used on the trace worker thread with a progress sink, and synchronously
// (no sink: nothing reported, nothing cancels) by the preview and the batch.

#include <cstddef>
#include <functional>
#include <memory>
#include <utility>

#include "platform/progress.h"
#include "raster/raster.h"
#include "trace/centre_line.h"
#include "trace/trace_path.h"

namespace quillon::trace {

class CTracer {
 public:
  // The source is the document's 1-bit raster; it is not owned and must
  // outlive the tracer.
  explicit CTracer(raster::CRaster& source);
  ~CTracer();
  CTracer(const CTracer&) = delete;
  CTracer& operator=(const CTracer&) = delete;

  // Clears the path list, thins a copy of the source (two steps) and traces
  // its centre lines into the path list. On success palette entry 1 of the
  // source becomes grey 210 (its bits are untouched) and the answer is true;
  // an empty source succeeds with no paths. On failure the working rasters
  // are deleted and false is returned after exactly one finished() to the
  // sink: 10 when cancelled, 2 when a working raster cannot be allocated,
  // 20 when row buffers cannot be allocated, the source is not 1-bit, or an
  // unexpected exception is caught.
  bool traceCentreLine(platform::ProgressSink* sink);

  // The traced paths, in creation order; live until the next centre-line
  // trace or the tracer's destruction.
  TracePathList& paths() { return paths_; }
  const TracePathList& paths() const { return paths_; }
  raster::CRaster& source() { return source_; }

  // Working rasters: non-null only while a centre-line trace runs.
  const raster::CRaster* skeletonRaster() const { return skeleton_.get(); }
  const raster::CRaster* junctionRaster() const { return junctions_.get(); }

  // Threads for the first thinning step; 0 (default) uses every core.
  void setThinningThreads(int threads) { thinningThreads_ = threads; }
  // Idle cores the first thinning step may use besides a fixed number of
  // threads, asked as it goes (see ThinFirstStep); empty: none.
  void setSpareCores(std::function<int()> spare) { spareCores_ = std::move(spare); }
  // Centre-line paths this filter answers true for are not kept (none is
  // left out without one).
  void setPathFilter(PathFilter drop) { drop_ = std::move(drop); }
  // Whether lone skeleton pixels are listed with the paths (default true;
  // only refined runs use them, and a noisy scan has millions).
  void setKeepLonePixels(bool keep) { keepLonePixels_ = keep; }
  // Whether the first thinning step keeps the ends of strokes two pixels
  // thick (default false; the plain step can erase a 45-degree stroke).
  void setKeepStrokeEnds(bool keep) { keepStrokeEnds_ = keep; }
  // Paths the filter left out of the last centre-line trace.
  size_t droppedPaths() const { return dropped_; }

 private:
  bool runCentreLine(platform::ProgressSink* sink);
  void deleteWorkingRasters();

  raster::CRaster& source_;
  std::unique_ptr<raster::CRaster> skeleton_;
  std::unique_ptr<raster::CRaster> junctions_;
  TracePathList paths_;
  int thinningThreads_ = 0;
  std::function<int()> spareCores_;
  PathFilter drop_;
  size_t dropped_ = 0;
  bool keepLonePixels_ = true;
  bool keepStrokeEnds_ = false;
};

}  // namespace quillon::trace
