#pragma once
// One unattended conversion from a raster file to a vector file: load (page by
// page for a multi-page source), threshold to 1-bit, trace, vectorise,
// post-process and save. The batch window, the command line and the parallel
// batch runner all call ConvertFile; each brings its own ConvertJob (its own
// copy of the trace parameters) and observer, and every conversion works on a
// drawing of its own, so conversions may run side by side on several threads.

#include <functional>
#include <optional>
#include <string>
#include <vector>
#include <string_view>

#include "formats/save_job.h"
#include "settings/trace_option.h"

namespace quillon::model {
class CGraph;
}
namespace quillon::raster {
class CRaster;
}

namespace quillon::batch {

// The outcome of converting one source file.
enum BatchStatus : int {  // unscoped: the log treats unknown codes like 7
  kStatusConverted = 0,        // converted and saved
  kStatusOpenFailed = 1,       // the source does not exist or cannot be read
  kStatusNoVector = 3,         // the trace failed or produced no path
  kStatusNoMemory = 4,         // an entity could not be allocated while vectorising
  kStatusConvert1BitFailed = 5,
  kStatusSaveFailed = 6,       // the vector file could not be written
  kStatusStopped = 7,          // stopped by the user during this file
  kStatusPagesConverted = 8,   // a multi-page source, each page converted and reported on its own
  kStatusFillFailed = 100,     // a fill pattern failed
};

// The log's reason line for a failed status (language text, no line end);
// "" for 0 and 8. Unknown codes read like 7.
std::string StatusReasonText(int status);
// The log lines of one file or page: "SOURCE ==> TARGET " then "   successfully!"
// or "   failure!" and a line break, and for a failure the reason line with
// its line break. lineEnd is the line break to use.
std::string FileLogText(std::string_view source, std::string_view target, int status, std::string_view lineEnd = "\n");

// What one conversion works with.
struct ConvertJob {
  // The row's working parameters. ConvertRaster works on a copy of them (the
  // current record) and leaves that copy in `applied`, with the threshold
  // that was used in i_Gray (0 for a source that was 1-bit already), for the
  // log's parameter block.
  settings::TraceOption record;
  settings::TraceOption applied;
  // The target type position of the batch list: format index − 1.
  int targetPosition = 0;
  bool saveWidth = true;
  // The destination of size-bound formats; without one 640 × 480 pixels, or
  // 11 × 8.5 inches for PDF.
  std::optional<formats::DestinationSize> destination;
  // The page of the size-bound formats is the raster's physical size at its
  // resolution (after prepareRaster), overriding `destination`.
  bool destinationFromRaster = false;
  // The drawing unit the writers convert coordinates into: formats::kUnitInch,
  // kUnitCm, kUnitMm or kUnitPixel (raster pixels, the default).
  int drawingUnit = formats::kUnitPixel;
  // Runs on each loaded raster (every page) before the threshold step, for
  // raster clean-up such as a dynamic threshold or hole filling; false ends
  // the conversion with kStatusConvert1BitFailed. Empty: nothing runs.
  std::function<bool(raster::CRaster&)> prepareRaster;
  // Threads of the first thinning step; 0 uses every core. Conversions that
  // run side by side take one each, so they do not fight over the cores.
  int thinningThreads = 0;
  // Cores idle at the moment, which the conversion may use besides its
  // thinningThreads in its parallel steps (a batch's last files, when the
  // other workers have nothing left); empty: none. Thread-safe.
  std::function<int()> spareCores;
  // The most memory the process may hold while tracing; 0: the default
  // budget (half the machine's memory).
  uint64_t memoryBudget = 0;
  // Targets of the pages of a multi-page source, chosen by the caller
  // (a batch run keeps them clear of existing files and of other rows);
  // page i goes to pageTargets[i], or to PageTargetName(target, i) when the
  // list is shorter.
  std::vector<std::string> pageTargets;
  // The process ends after this conversion: the drawing is left to the
  // system instead of being freed entity by entity (a noisy scan's millions
  // cost a noticeable share of the run). Builds with a leak checker free it.
  bool leaveDrawingAtExit = false;
};

// The caller's side of a conversion. Every method has a do-nothing default.
// All calls come from the thread that called ConvertFile.
class ConvertObserver {
 public:
  virtual ~ConvertObserver() = default;
  // The file's progress moved on by `units` (100 per source file, shared out
  // among its pages).
  virtual void Advance(int /*units*/) {}
  // Dispatches pending events of the caller (the batch window's Stop button)
  // and answers whether a stop was requested. Called between steps.
  virtual bool Pump() { return false; }
  // Polled inside the trace and the save; must be cheap and thread-safe.
  virtual bool StopRequested() const { return false; }
  // The trace's own stages, as a progress window shows them.
  virtual void TraceStageBegin(std::string_view /*text*/) {}
  virtual void TraceProgress(int /*value*/) {}
  virtual void TraceStageEnd() {}
  // Page `page` of a multi-page source is about to be read and converted.
  virtual void PageBegins(int /*page*/) {}
  // One page of a multi-page source is done (the batch logs a line for it).
  virtual void PageDone(const std::string& /*sourcePage*/, const std::string& /*targetPage*/, int /*status*/) {}
  // Why a step failed, naming the file: an unreadable source, a failed save.
  virtual void FailureDetail(std::string_view /*message*/) {}
  // The save of the target begins.
  virtual void SaveStarted(const std::string& /*target*/) {}
  // A vector file was written (the target, with the number of entities).
  virtual void Saved(const std::string& /*target*/, long /*entities*/) {}
};

// Converts one source file to `target`. A source with two or more pages is
// converted page by page into PageTargetName(target, i), each page reported
// through PageDone, and the answer is 8; a stop ends the page loop. Answers
// 1 when the source does not exist, is a directory or cannot be read.
BatchStatus ConvertFile(const std::string& source, const std::string& target, ConvertJob& job, ConvertObserver& observer);

// Converts the raster the drawing holds into the target (the drawing is
// cleared for the trace first). Progress steps are divided by pageCount.
// loadedThreshold (0..255) says the raster was thresholded with it as it was
// read, so it is 1-bit already but no 1-bit source.
BatchStatus ConvertRaster(model::CGraph& drawing, const std::string& target, ConvertJob& job, int pageCount,
                  ConvertObserver& observer, int loadedThreshold = -1);

// The first name "dir/name<n>.ext" (n = 0, 1, …) that does not exist, or the
// path itself when it does not exist.
std::string FreeTargetName(const std::string& path);
// "dir/name_<page>.ext": the name of page `page` of a multi-page conversion.
std::string PageTargetName(const std::string& path, int page);

// The destination a conversion uses for the format index when the job gives
// none: 11 × 8.5 inches for PDF, else 640 × 480 pixels.
formats::DestinationSize DefaultDestination(int formatIndex);
// The raster's physical size in inches at its resolution (200 dpi when it
// has none).
formats::DestinationSize RasterDestination(raster::CRaster& image);

}  // namespace quillon::batch
