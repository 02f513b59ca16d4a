#include "editor/parameter_dialog.h"

#include <algorithm>
#include <cmath>

#include "model/graph.h"
#include "platform/message_sink.h"
#include "platform/progress.h"
#include "settings/option_store.h"
#include "settings/trace_option.h"
#include "trace/trace_worker.h"

namespace quillon::editor {

using settings::ParameterField;
using settings::TraceMethod;

ParameterDialog::ParameterDialog(platform::KeyValueStore& store, const settings::TraceOption& record, bool batchMode)
    : store_(store), batchMode_(batchMode), chartTypes_(settings::ChartTypeChoices(store)) {
  record_.CopyFrom(record);
  pages = settings::ShowParameterPages(record_);
}

bool ParameterDialog::enabled(Control control) const {
  switch (control) {
    case Control::Threshold: return !pages.autoGray;
    case Control::WidthSeries: return pages.calcWidth;
    case Control::DelLineLength: return pages.delLine;
    case Control::AngleSeries: return pages.forceOrtho;
    case Control::ConDis: return pages.connect;
    case Control::OutlineFillType: return pages.outlineFill;
    case Control::OutlineFillSpace:
      return pages.outlineFill && pages.outlineFillType != static_cast<int>(settings::FillType::Solid);
  }
  return true;
}

void ParameterDialog::centreLineEdited() {
  if (pages.method == TraceMethod::CenterLine) pages.chartType = settings::UnnamedChartTypeName();
}

std::vector<std::string> ParameterDialog::widthSeriesNames() const { return settings::WidthSeries::List(store_); }

std::vector<std::string> ParameterDialog::angleSeriesNames() const { return settings::AngleSeries::List(store_); }

std::vector<std::string> ParameterDialog::fillTypeNames(bool withSolid) {
  std::vector<std::string> names;
  for (auto type : {settings::FillType::Horizontal, settings::FillType::Vertical, settings::FillType::Cross})
    names.push_back(settings::FillTypeName(type));
  if (withSolid) names.push_back(settings::FillTypeName(settings::FillType::Solid));
  return names;
}

void ParameterDialog::showCentreLine() {
  const settings::ParameterPages shown = settings::ShowParameterPages(record_);
  pages.chartType = shown.chartType;
  pages.calcWidth = shown.calcWidth;
  pages.widthSeries = shown.widthSeries;
  pages.delLine = shown.delLine;
  pages.delLineLength = shown.delLineLength;
  pages.centerRecognise = shown.centerRecognise;
  pages.centerMaxDis = shown.centerMaxDis;
  pages.forceOrtho = shown.forceOrtho;
  pages.angleSeries = shown.angleSeries;
  pages.connect = shown.connect;
  pages.conDis = shown.conDis;
}

bool ParameterDialog::chooseChartType(const std::string& name) {
  // Loading a chart type selects the centre-line method; the page shown
  // decides the method, so keep the record's as it was.
  const TraceMethod method = record_.i_AutoTraceWhat;
  const bool found = settings::LoadChartType(store_, record_, name);
  record_.i_AutoTraceWhat = method;
  showCentreLine();
  if (!found) pages.chartType = settings::UnnamedChartTypeName();
  return found;
}

bool ParameterDialog::saveNeedsOverwrite(const std::string& name) const {
  return settings::ChartTypeNameListed(chartTypes_, name);
}

ParameterDialog::ChartResult ParameterDialog::saveChartType(const std::string& name) {
  if (name.empty()) return ChartResult::Nothing;
  if (!settings::ChartTypeNameListed(chartTypes_, name)) chartTypes_.push_back(name);
  pages.chartType = name;
  if (!accept()) return ChartResult::InvalidData;
  return settings::SaveChartType(store_, record_, name) ? ChartResult::Done : ChartResult::StoreFailed;
}

ParameterDialog::ChartResult ParameterDialog::deleteChartType() {
  const std::string name = pages.chartType;
  if (name.empty()) return ChartResult::Nothing;
  const bool deleted = settings::DeleteChartType(store_, name);
  // The box is updated even when there was no stored key to delete.
  if (!settings::IsBuiltInChartType(name)) {
    std::erase_if(chartTypes_, [&](const std::string& item) { return item == name; });
  }
  pages.chartType = settings::UnnamedChartTypeName();
  return deleted ? ChartResult::Done : ChartResult::StoreFailed;
}

ParameterDialog::ChartResult ParameterDialog::resetChartType() {
  const std::string name = pages.chartType;
  if (!settings::IsBuiltInChartType(name)) return ChartResult::Nothing;
  const bool stored = settings::ResetChartType(store_, record_, name);
  pages = settings::ShowParameterPages(record_);
  return stored ? ChartResult::Done : ChartResult::StoreFailed;
}

bool ParameterDialog::accept() {
  focus_ = settings::CommitParameterPages(record_, pages, store_);
  if (focus_ == ParameterField::None) return true;
  platform::ShowMessage(settings::InvalidDataText(), platform::MessageKind::Error);
  return false;
}

std::string ParameterDialog::summary() const {
  settings::TraceOption shown;
  shown.CopyFrom(record_);
  (void)settings::CommitParameterPages(shown, pages, store_);
  return shown.SummaryText();
}

std::optional<settings::TraceOption> ParameterDialog::previewOptions() const {
  settings::TraceOption copy;
  copy.CopyFrom(record_);
  if (settings::CommitParameterPages(copy, pages, store_) != ParameterField::None) return std::nullopt;
  return copy;
}

// ---- preview -----------------------------------------------------------------

PixelRect VisiblePixels(int rasterWidth, int rasterHeight, const WindowBox& visible) {
  // Pixel (column, row) sits at drawing (column, H − 1 − row); a pixel shows
  // when its unit square around that point meets the box.
  const auto clampTo = [](double v, int hi) { return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(hi))); };
  PixelRect r;
  r.left = clampTo(std::floor(visible.xMin + 0.5), rasterWidth);
  r.right = clampTo(std::ceil(visible.xMax + 0.5), rasterWidth);
  r.top = clampTo(std::floor(rasterHeight - 1 - visible.yMax + 0.5), rasterHeight);
  r.bottom = clampTo(std::ceil(rasterHeight - 1 - visible.yMin + 0.5), rasterHeight);
  if (r.empty()) r = PixelRect{};
  return r;
}

bool PreviewBitmap(const raster::CRaster& part, const settings::TraceOption& options, int automaticThreshold,
                   raster::CRaster& out) {
  if (!out.cloneFrom(part)) return false;
  return out.convertTo1Bit(options.b_AutoGray ? automaticThreshold : options.i_Gray);
}

namespace {

// The preview traces without a window: notifications are dropped.
class SilentSink final : public platform::ProgressSink {
 public:
  void stageBegin(std::string_view) override {}
  void progress(int) override {}
  void stageEnd() override {}
  void finished(int) override {}
  bool cancelRequested() const override { return false; }
};

}  // namespace

struct ParameterPreview::Run {
  std::shared_ptr<model::CGraph> drawing = std::make_shared<model::CGraph>();
  settings::TraceOption options;
  SilentSink sink;
  std::unique_ptr<trace::TraceWorker> worker;
  std::thread thread;
  std::atomic<bool> ended{false};
  std::atomic<bool> cancelled{false};
};

ParameterPreview::ParameterPreview(const raster::CRaster& source, const PixelRect& part, int automaticThreshold,
                                   Done done)
    : automaticThreshold_(automaticThreshold), done_(std::move(done)) {
  PixelRect clipped{std::max(part.left, 0), std::max(part.top, 0), std::min(part.right, source.width()),
                    std::min(part.bottom, source.height())};
  if (clipped.empty() || !copy_.cloneFrom(source)) return;
  if (!copy_.crop(clipped.left, clipped.top, clipped.right, clipped.bottom)) {
    copy_.release();
    return;
  }
  part_ = clipped;
}

ParameterPreview::~ParameterPreview() {
  cancel();
  reap(true);
}

int ParameterPreview::start(const settings::TraceOption& options) {
  cancel();
  reap(false);
  if (part_.empty()) return 0;
  auto run = std::make_unique<Run>();
  run->options.CopyFrom(options);
  if (!PreviewBitmap(copy_, options, automaticThreshold_, run->drawing->raster())) return 0;
  run->worker = std::make_unique<trace::TraceWorker>(*run->drawing, run->options, run->sink);
  // One thread per preview: the machine's cores stay free for the window.
  run->worker->setThinningThreads(1);
  const int generation = ++generation_;
  Run* raw = run.get();
  try {
    raw->thread = std::thread([this, raw, generation] {
      raw->worker->run();
      PreviewResult result;
      result.generation = generation;
      result.resultCode = raw->worker->result();
      if (!raw->cancelled.load()) result.drawing = raw->drawing;
      raw->ended.store(true);
      if (done_) done_(std::move(result));
    });
  } catch (const std::system_error&) {
    return 0;
  }
  runs_.push_back(std::move(run));
  return generation;
}

void ParameterPreview::cancel() {
  for (auto& run : runs_) {
    run->cancelled.store(true);
    run->worker->cancel();
  }
}

void ParameterPreview::wait() { reap(true); }

void ParameterPreview::reap(bool all) {
  for (auto it = runs_.begin(); it != runs_.end();) {
    if (all || (*it)->ended.load()) {
      if ((*it)->thread.joinable()) (*it)->thread.join();
      it = runs_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace quillon::editor
