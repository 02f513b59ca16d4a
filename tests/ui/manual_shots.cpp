// Makes the manual's pictures with the application's own windows:
//   ui_manual_shots OUTDIR
// open.png (a scan just opened), trace.png (the sheet with its centre-line
// trace), edit.png (a circle selected while a line is drawn), save.png (the
// save dialog), parameter.png (the Set parameter dialog with its preview).
// Run it offscreen: QT_QPA_PLATFORM=offscreen.
//   ui_manual_shots OUTDIR progress
// progress.png only: the Tracing window over the sheet, held while the
// centre line is traced. The picture is taken from the screen so it shows
// both windows; run it on a virtual display:
//   xvfb-run -a -s "-screen 0 1400x950x24" ui_manual_shots OUTDIR progress
//   ui_manual_shots OUTDIR clean
// clean.png only: the sheet with the Brightness & Contrast dialog open and
// its preview on the view (the dialog drawn over the window's picture).
//   ui_manual_shots OUTDIR batch
// batch.png only: the batch window after a run over the samples, with its
// log, taken from a virtual display like progress.png.

#include <QApplication>
#include <QComboBox>
#include <QPainter>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QTemporaryDir>
#include <memory>

#include "batch_dlg.h"
#include "child_frame.h"
#include "drawing_view.h"
#include "editor/document.h"
#include "main_frame.h"
#include "raster_dialogs.h"
#include "raster_menu.h"
#include "model/graph.h"
#include "parameter_dlg.h"
#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "postprocess/connect.h"
#include "postprocess/post_process_run.h"
#include "settings/trace_option.h"
#include "trace_progress_dlg.h"
#include "trace/polyline_generation.h"
#include "trace/tracer.h"
#ifndef QUILLON_UI_WITHOUT_SAVE
#include "editor/save_vector_dialog.h"
#include "save_vec_dlg.h"
#endif

using namespace quillon;

namespace {

// The document's vectors become the centre-line trace of its raster (the
// Trace command's result without its window).
bool Trace(editor::Document& document) {
  model::CGraph traced;
  raster::CRaster& raster = traced.raster();
  if (!raster.cloneFrom(document.raster())) return false;
  if (raster.bitCount() != 1 && !raster.convertTo1Bit(raster.automaticThreshold())) return false;
  traced.clearForTrace();
  const settings::TraceOption options;
  trace::CTracer tracer(raster);
  if (!tracer.traceCentreLine(nullptr)) return false;
  postprocess::EndIndex ends;
  if (trace::generatePolylines(tracer.paths(), traced, options, nullptr, &ends) != 0) return false;
  if (!postprocess::RunPostProcessing(traced, options, nullptr, &ends)) return false;
  document.graph().swapVectors(traced);
  document.graph().markModified(true);
  return true;
}

void Save(QWidget& widget, const QString& file) {
  QApplication::processEvents();
  widget.grab().save(file, "PNG");
}

// Opens the sheet, starts the Trace command and, once the centre-line stage
// is under way, grabs the screen around the main window while the worker
// waits for the progress window.
bool ShootProgress(ui::CMainFrame& frame, const QString& file) {
  bool saved = false;
  QObject watcher;
  QObject::connect(qApp, &QApplication::focusChanged, &watcher, [&](QWidget*, QWidget* now) {
    auto* dialog = qobject_cast<ui::CTraceProgressDlg*>(now ? now->window() : nullptr);
    if (dialog == nullptr || dialog->property("watched").toBool()) return;
    dialog->setProperty("watched", true);
    QObject::connect(dialog, &ui::CTraceProgressDlg::progressShown, dialog, [&, dialog](int position, int maximum) {
      if (saved || dialog->model().stageNumber() < 4 || position * 100 < maximum * 45) return;
      saved = true;
      QTest::qWait(300);  // the window paints; the worker stays where it is
      const QRect area = frame.frameGeometry();
      saved = frame.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(file, "PNG");
    });
  });
  frame.action(QStringLiteral("trace.run"))->trigger();
  return saved;
}

// The Brightness & Contrast dialog over the sheet, its preview on the view;
// the dialog is cancelled, so the raster stays as it was.
bool ShootClean(ui::CMainFrame& frame, const QString& file) {
  auto* menu = frame.findChild<ui::RasterMenu*>();
  if (menu == nullptr) return false;
  bool saved = false;
  menu->answerDialog = [&](QDialog& dialog) {
    auto* adjust = qobject_cast<ui::BrightnessContrastDlg*>(&dialog);
    if (adjust == nullptr) return false;
    adjust->setBrightness(-20);
    adjust->setContrast(70);
    dialog.adjustSize();
    QApplication::processEvents();
    QImage picture = frame.grab().toImage();
    const QPixmap shown = dialog.grab();
    QPainter painter(&picture);
    const QPoint at(picture.width() - shown.width() - 40, 150);
    painter.fillRect(QRect(at - QPoint(2, 2), shown.size() + QSize(4, 4)), QColor(0x55, 0x55, 0x55));
    painter.drawPixmap(at, shown);
    painter.end();
    saved = picture.save(file, "PNG");
    return false;
  };
  frame.action(QStringLiteral("raster.brightcontrast"))->trigger();
  return saved;
}

// Runs the batch window over copies of the samples (in a folder whose name
// reads well in the picture) and grabs it once the run has ended.
bool ShootBatch(ui::CMainFrame& frame, const QString& file) {
  const QString base = QDir::tempPath() + QStringLiteral("/quillon-manual");
  QDir(base).removeRecursively();
  const QString scans = base + QStringLiteral("/scans");
  QDir().mkpath(scans);
  QStringList rows;
  for (const char* name : {"sheet.tif", "pages_3.tif", "grey_8bit.bmp", "colour_24bit.jpg", "lines_1bit.bmp"}) {
    const QString copy = scans + QLatin1Char('/') + QLatin1String(name);
    if (!QFile::copy(QStringLiteral(QUILLON_SOURCE_DIR "/data/samples/") + QLatin1String(name), copy)) return false;
    rows << copy;
  }
  ui::CBatchDlg* window = ui::ShowBatchWindow(frame);
  window->powerOff = [] { return false; };
  window->resize(1100, 660);
  window->move(frame.geometry().topLeft() + QPoint(40, 40));
  if (!QTest::qWaitForWindowExposed(window)) return false;
  window->addFiles(rows);
  window->targetDirEdit()->setText(base + QStringLiteral("/drawings"));
  emit window->targetTypeBox()->activated(3);  // SVG
  window->targetTypeBox()->setCurrentIndex(3);
  window->jobsBox()->setValue(1);
  QSignalSpy ended(window, &ui::CBatchDlg::runEnded);
  window->runOrStop();
  if (ended.isEmpty() && !ended.wait(120000)) return false;
  window->table()->selectRow(0);
  QTest::qWait(300);
  const QRect area = window->frameGeometry();
  const bool saved = window->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(file, "PNG");
  window->close();
  QDir(base).removeRecursively();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const bool progressOnly = argc == 3 && QString::fromLocal8Bit(argv[2]) == QLatin1String("progress");
  const bool cleanOnly = argc == 3 && QString::fromLocal8Bit(argv[2]) == QLatin1String("clean");
  const bool batchOnly = argc == 3 && QString::fromLocal8Bit(argv[2]) == QLatin1String("batch");
  if (argc != 2 && !progressOnly && !cleanOnly && !batchOnly) return 2;
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);
  QTemporaryDir config;
  qputenv("QUILLON_CONFIG_DIR", config.path().toLocal8Bit());
  platform::CaptureMessageSink messages;
  platform::ScopedMessageSink guard(messages);
  platform::MemoryKeyValueStore store;

  ui::CMainFrame frame(store);
  frame.resize(1200, 780);
  frame.show();
  QTest::qWaitForWindowExposed(&frame);
  if (batchOnly) return ShootBatch(frame, out + QStringLiteral("/batch.png")) ? 0 : 1;
  const QString sheet = QStringLiteral(QUILLON_SOURCE_DIR "/data/samples/sheet.tif");
  if (!frame.openRaster(sheet)) return 1;
  ui::CChildFrame* child = frame.activeChild();
  QTest::qWait(50);
  if (progressOnly) return ShootProgress(frame, out + QStringLiteral("/progress.png")) ? 0 : 1;
  if (cleanOnly) return ShootClean(frame, out + QStringLiteral("/clean.png")) ? 0 : 1;
  Save(frame, out + QStringLiteral("/open.png"));

  {
    // The Set Parameter dialog over the sheet, once its preview is traced.
    ui::CParameterDlg dialog(store, settings::TraceOption{}, false, ui::PreviewSourceOf(child), &frame);
    dialog.show();
    QTest::qWaitForWindowExposed(&dialog);
    if (!QTest::qWaitFor([&] { return dialog.previewShown(); }, 30000)) return 1;
    Save(dialog, out + QStringLiteral("/parameter.png"));
  }

  if (!Trace(child->document())) return 1;
  child->view().drawingChanged();
  frame.updateUi();
  Save(frame, out + QStringLiteral("/trace.png"));

  // A circle of the trace selected, then a line being drawn from a typed point.
  model::CGraph& graph = child->document().graph();
  ui::DrawingView& view = child->view();
  for (const auto& entity : *graph.currentLayer()) {
    if (entity->type() == model::EntityType::Circle) {
      graph.select(entity.get());
      break;
    }
  }
  graph.rebuildGrips();
  view.drawingChanged();
  frame.updateUi();
  frame.action("draw.line")->trigger();
  frame.inputBox()->setText(QStringLiteral("120,150"));
  QTest::keyClick(frame.inputBox(), Qt::Key_Return);
  QTest::mouseMove(&view, QPoint(view.width() * 3 / 5, view.height() / 3));
  Save(frame, out + QStringLiteral("/edit.png"));

#ifndef QUILLON_UI_WITHOUT_SAVE
  // A home-folder name reads better in the manual than the build machine's path.
  editor::SaveVectorDialog model(formats::kFormatSvg, "/home/ada/scans/sheet.tif", formats::DestinationSize{}, true);
  ui::CSaveVecDlg dialog(model, &frame);
  dialog.show();
  QTest::qWaitForWindowExposed(&dialog);
  Save(dialog, out + QStringLiteral("/save.png"));
#endif
  return 0;
}
