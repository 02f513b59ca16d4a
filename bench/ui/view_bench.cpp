// Repaints of the drawing view with a traced A0 sheet: the generated
// 14000 x 9900 sheet and its centre-line trace (about ten thousand
// entities) in a 1280 x 800 view, painted offscreen.
//   BM_RepaintFit        the whole sheet zoomed to fit: raster pyramid and every entity
//   BM_RepaintActualSize 1:1 in the middle of the sheet
//   BM_RepaintCached     a repaint while only the cursor moves: the cached scene and the overlay
//   BM_FirstPaint        open the A0 1-bit BMP and paint it the first time
// The counters give the entity count and the process's peak resident memory.
//
// Run:
//   cmake --build <release-build> --target view_bench
//   <release-build>/bench/view_bench

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <memory>
#include <sys/resource.h>

#include "drawing_view.h"
#include "editor/document.h"
#include "gen/sheet_generator.h"
#include "model/graph.h"
#include "postprocess/connect.h"
#include "postprocess/post_process_run.h"
#include "settings/trace_option.h"
#include "trace/polyline_generation.h"
#include "trace/tracer.h"

namespace {

using namespace quillon;

constexpr int kWidth = 14000, kHeight = 9900;
const QSize kView(1280, 800);

QApplication& App() {
  static int argc = 1;
  static char name[] = "view_bench";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

// The sheet with its trace, made once.
struct TracedSheet {
  std::unique_ptr<editor::Document> document;
  std::unique_ptr<ui::DrawingView> view;
  uint32_t entities = 0;

  TracedSheet() {
    App();
    raster::CRaster raster;
    if (!raster.cloneFrom(bench::SharedSheetRaster(kWidth, kHeight))) std::abort();
    // The tracer thins its raster; it works on a copy and the result moves
    // into the shown document.
    model::CGraph traced;
    if (!traced.raster().cloneFrom(raster)) std::abort();
    traced.clearForTrace();
    const settings::TraceOption options;
    trace::CTracer tracer(traced.raster());
    if (!tracer.traceCentreLine(nullptr)) std::abort();
    postprocess::EndIndex ends;
    if (trace::generatePolylines(tracer.paths(), traced, options, nullptr, &ends) != 0) std::abort();
    if (!postprocess::RunPostProcessing(traced, options, nullptr, &ends)) std::abort();
    document = std::make_unique<editor::Document>(std::move(raster), "sheet.bmp", -1);
    document->graph().swapVectors(traced);
    entities = document->graph().totalCount();
    view = std::make_unique<ui::DrawingView>(*document);
    view->resize(kView);
  }
};

TracedSheet& Sheet() {
  static TracedSheet sheet;
  return sheet;
}

void Paint(ui::DrawingView& view, QImage& target) {
  QPainter painter(&target);
  view.paintScene(painter, target.size());
}

void BM_RepaintFit(benchmark::State& state) {
  TracedSheet& sheet = Sheet();
  sheet.view->processor().zoomFit();
  QImage target(kView, QImage::Format_RGB32);
  Paint(*sheet.view, target);  // builds the raster pyramid once
  for (auto _ : state) Paint(*sheet.view, target);
  state.counters["entities"] = sheet.entities;
  state.counters["peak_MB"] = PeakMegabytes();
}
BENCHMARK(BM_RepaintFit)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_RepaintActualSize(benchmark::State& state) {
  TracedSheet& sheet = Sheet();
  editor::ViewWindow& window = sheet.view->viewWindow();
  const double cx = kWidth / 2.0, cy = kHeight / 2.0;
  window.SetWindow(cx - kView.width() / 2.0, cy - kView.height() / 2.0, cx + kView.width() / 2.0,
                   cy + kView.height() / 2.0);
  QImage target(kView, QImage::Format_RGB32);
  for (auto _ : state) Paint(*sheet.view, target);
  state.counters["entities"] = sheet.entities;
}
BENCHMARK(BM_RepaintActualSize)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_RepaintCached(benchmark::State& state) {
  TracedSheet& sheet = Sheet();
  sheet.view->processor().zoomFit();
  QImage target(kView, QImage::Format_RGB32);
  sheet.view->render(&target);
  for (auto _ : state) sheet.view->render(&target);
}
BENCHMARK(BM_RepaintCached)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FirstPaint(benchmark::State& state) {
  App();
  const std::string path = "/tmp/quillon_view_bench_a0.bmp";
  if (!bench::SharedSheetRaster(kWidth, kHeight).save(path)) std::abort();
  QImage target(kView, QImage::Format_RGB32);
  for (auto _ : state) {
    auto documents = editor::OpenRasterDocuments(path);
    if (documents.empty()) std::abort();
    ui::DrawingView view(*documents.front());
    view.resize(kView);
    view.processor().zoomFit();
    Paint(view, target);
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_FirstPaint)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
