#include "batch/convert.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <system_error>

#include "model/graph.h"
#include "platform/memory.h"
#include "raster/raster_file.h"
#include "settings/language_table.h"
#include "trace/trace_result.h"
#include "trace/trace_worker.h"

namespace quillon::batch {

namespace {

namespace fs = std::filesystem;

// How often a waiting conversion looks at the stop request while the save
// runs: short enough for a responsive Stop, long enough to cost nothing.
constexpr std::chrono::milliseconds kSavePollInterval{20};

// The trace worker's notifications, passed on to the observer; its stop
// request cancels the trace at the trace's own check points.
class TraceRelay final : public platform::ProgressSink {
 public:
  explicit TraceRelay(ConvertObserver& observer) : observer_(observer) {}
  void stageBegin(std::string_view text) override { observer_.TraceStageBegin(text); }
  void progress(int value) override { observer_.TraceProgress(value); }
  void stageEnd() override { observer_.TraceStageEnd(); }
  void finished(int code) override { result_ = code; }
  bool cancelRequested() const override { return observer_.StopRequested(); }
  int result() const { return result_; }

 private:
  ConvertObserver& observer_;
  int result_ = trace::kTraceError;
};

bool IsOneBit(const raster::CRaster& raster) { return raster.bitCount() == 1; }

}  // namespace

std::string StatusReasonText(int status) {
  switch (status) {
    case kStatusConverted:
    case kStatusPagesConverted:
      return "";
    case kStatusOpenFailed:
      return settings::Text("BatchLogOpenFileFail", "Failure reason : open file failed.");
    case kStatusNoVector:
      return settings::Text("BatchLogNoVectorFail", "Failure reason : no vector converted.");
    case kStatusNoMemory:
      return settings::Text("BatchLogNoMemoryFail", "Failure reason : no enough memory.");
    case kStatusConvert1BitFailed:
      return settings::Text("BatchLogConvert1bitFail", "Failure reason : convert into 1-bit image failed.");
    case kStatusSaveFailed:
      return settings::Text("BatchLogSaveFail", "Failure reason : Save vector file failed.");
    default:  // 7, 100 and any code without a reason of its own
      return settings::Text("BatchLogUnkownReasonFail", "Failure reason : Unkown reason.");
  }
}

std::string FileLogText(std::string_view source, std::string_view target, int status, std::string_view lineEnd) {
  std::string text;
  text.append(source).append(" ==> ").append(target).append(" ");
  if (status == kStatusConverted) {
    text += settings::Text("BatchLogSuccess", "   successfully!");
    text.append(lineEnd);
    return text;
  }
  text += settings::Text("BatchLogFailure", "   failure!");
  text.append(lineEnd);
  text += StatusReasonText(status);
  text.append(lineEnd);
  return text;
}

formats::DestinationSize DefaultDestination(int formatIndex) {
  if (formats::FormatForIndex(formatIndex).index == formats::kFormatPdf) return {11.0, 8.5, formats::kUnitInch};
  return {640.0, 480.0, formats::kUnitPixel};
}

formats::DestinationSize RasterDestination(raster::CRaster& image) {
  int pixelsPerMetre = 0;
  if (!image.resolution(pixelsPerMetre) || pixelsPerMetre <= 0) pixelsPerMetre = raster::kDefaultPixelsPerMetre;
  const double pixelsPerInch = pixelsPerMetre * 0.0254;
  return {image.width() / pixelsPerInch, image.height() / pixelsPerInch, formats::kUnitInch};
}

std::string FreeTargetName(const std::string& path) {
  std::error_code ec;
  if (!fs::exists(path, ec)) return path;
  const fs::path p(path);
  const std::string stem = (p.parent_path() / p.stem()).string();
  const std::string extension = p.extension().string();
  for (unsigned long n = 0;; ++n) {
    std::string candidate = stem + std::to_string(n) + extension;
    if (!fs::exists(candidate, ec)) return candidate;
  }
}

std::string PageTargetName(const std::string& path, int page) { return raster::PageName(path, page); }

BatchStatus ConvertRaster(model::CGraph& drawing, const std::string& target, ConvertJob& job, int pageCount,
                  ConvertObserver& observer, int loadedThreshold) {
  const int share = pageCount > 1 ? pageCount : 1;
  auto advance = [&](int units) { observer.Advance(units / share); };

  // The current record of this conversion.
  settings::TraceOption& current = job.applied;
  current.CopyFrom(job.record);

  raster::CRaster& image = drawing.raster();
  if (job.prepareRaster && !job.prepareRaster(image)) {
    observer.FailureDetail("Cannot prepare the raster of " + target + " for tracing");
    return kStatusConvert1BitFailed;
  }
  std::string thresholdNote = "the raster was already 1-bit";
  if (loadedThreshold >= 0) {
    thresholdNote = std::string(current.b_AutoGray ? "automatic" : "fixed") + " threshold " +
                    std::to_string(loadedThreshold) + " of 255";
    current.i_Gray = static_cast<uint8_t>(loadedThreshold);
  } else if (!IsOneBit(image)) {
    const int threshold = current.b_AutoGray ? image.automaticThreshold() : current.i_Gray;
    thresholdNote = std::string(current.b_AutoGray ? "automatic" : "fixed") + " threshold " +
                    std::to_string(threshold) + " of 255";
    if (!image.convertTo1Bit(threshold)) {
      observer.FailureDetail("Cannot convert the raster to 1-bit for " + target);
      return kStatusConvert1BitFailed;
    }
    current.i_Gray = static_cast<uint8_t>(threshold);
  } else {
    current.i_Gray = 0;
  }
  advance(10);
  if (observer.Pump()) return kStatusStopped;
  const int formatIndex = job.targetPosition + 1;
  formats::DestinationSize destination = job.destination ? *job.destination : DefaultDestination(formatIndex);
  if (job.destinationFromRaster) destination = RasterDestination(image);

  // Clear the drawing, trace, vectorise and post-process: the same run as
  // the interactive trace, here on the calling thread.
  const bool fill = current.i_AutoTraceWhat == settings::TraceMethod::FillPattern;
  TraceRelay relay(observer);
  {
    trace::TraceWorker worker(drawing, current, relay);
    worker.setThinningThreads(job.thinningThreads);
    worker.setSpareCores(job.spareCores);
    if (job.memoryBudget) worker.setMemoryBudget(job.memoryBudget);
    worker.run();
  }
  switch (relay.result()) {
    case trace::kTraceFinished: break;
    case trace::kTraceUserStop: return kStatusStopped;
    case trace::kTraceNoMemory: return kStatusNoMemory;
    case trace::kTraceFillFailed: return kStatusFillFailed;
    default:
      observer.FailureDetail(trace::TraceResultMessage(relay.result(), 0));
      return kStatusNoVector;
  }
  advance(fill ? 70 : 80);
  if (observer.Pump()) return kStatusStopped;
  const long entities = static_cast<long>(drawing.totalCount());
  if (entities == 0) {
    // Name the likeliest cause: an empty page or a threshold that left no ink.
    observer.FailureDetail("no vectors were traced for " + target + " (" + thresholdNote + ")");
    return kStatusNoVector;
  }

  drawing.unit = job.drawingUnit >= formats::kUnitInch && job.drawingUnit <= formats::kUnitPixel
                     ? static_cast<model::Unit>(job.drawingUnit)
                     : model::Unit::Pixel;
  formats::SaveJob save(drawing, target, job.saveWidth, formatIndex);
  save.SetDestination(destination);
  observer.SaveStarted(target);
  save.Start();
  while (!save.WaitFor(kSavePollInterval)) {
    if (observer.Pump() || observer.StopRequested()) {
      save.Cancel();
      save.Wait();
      return kStatusStopped;
    }
  }
  if (!save.Wait()) {
    observer.FailureDetail(save.error());
    return kStatusSaveFailed;
  }
  advance(fill ? 20 : 10);
  observer.Saved(target, entities);
  return kStatusConverted;
}

namespace {

BatchStatus ConvertInto(model::CGraph& drawing, const std::string& source, const std::string& target, ConvertJob& job,
                        ConvertObserver& observer) {
  drawing.setCurrentLayerByName("Trace");

  std::error_code ec;
  if (!fs::exists(source, ec)) {
    observer.FailureDetail("Cannot read raster file " + source + ": no such file");
    return kStatusOpenFailed;
  }
  if (fs::is_directory(source, ec)) {
    observer.FailureDetail("Cannot read raster file " + source + ": it is a directory");
    return kStatusOpenFailed;
  }

  // The raster loader explains its own failures through the message sink;
  // FailureDetail adds one line that names the file.
  raster::RasterPageReader reader;
  if (reader.openPages(source) && reader.pageCount() >= 2) {
    const int pages = reader.pageCount();
    for (int i = 0; i < pages; ++i) {
      const std::string sourcePage = reader.pageName(i);
      const std::string targetPage = static_cast<size_t>(i) < job.pageTargets.size()
                                         ? job.pageTargets[static_cast<size_t>(i)]
                                         : PageTargetName(target, i);
      BatchStatus status;
      observer.PageBegins(i);
      if (!reader.copyPage(i, drawing.raster())) {
        observer.FailureDetail("Cannot read page " + std::to_string(i) + " of " + source);
        status = kStatusOpenFailed;
      } else {
        status = ConvertRaster(drawing, targetPage, job, pages, observer);
      }
      observer.PageDone(sourcePage, targetPage, status);
      if (status == kStatusStopped) break;
    }
    reader.close();
    return kStatusPagesConverted;
  }
  reader.close();

  // Without raster steps only the 1-bit picture is wanted: a plain grey BMP
  // is thresholded as it is read.
  int loadedThreshold = -1;
  if (!job.prepareRaster &&
      drawing.raster().loadThresholded(source, job.record.b_AutoGray ? -1 : job.record.i_Gray, loadedThreshold)) {
    return ConvertRaster(drawing, target, job, 1, observer, loadedThreshold);
  }
  if (!drawing.raster().load(source)) {
    observer.FailureDetail("Cannot read raster file " + source);
    return kStatusOpenFailed;
  }
  return ConvertRaster(drawing, target, job, 1, observer);
}

}  // namespace

BatchStatus ConvertFile(const std::string& source, const std::string& target, ConvertJob& job, ConvertObserver& observer) {
  auto drawing = std::make_unique<model::CGraph>();
  const BatchStatus status = ConvertInto(*drawing, source, target, job, observer);
  if (job.leaveDrawingAtExit && !platform::kLeakChecked) (void)drawing.release();
  return status;
}

}  // namespace quillon::batch
