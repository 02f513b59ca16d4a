// The desktop application's Trace command on a raster file, without a
// display: the main window opens the file as a document and the Trace
// command runs from its menu action with the real progress window and
// worker thread, exactly as a user's click would. Prints the result, the
// entity count, the time and the process's peak resident memory, so the
// application's peak can be set against `quillon trace` on the same file:
//   app_trace_tool RASTER [--cancel-after MS]
//   /usr/bin/time -v app_trace_tool sheet_a0.bmp
//   /usr/bin/time -v quillon trace sheet_a0.bmp -o /tmp/a0.dxf
// With --cancel-after the window's Cancel is pressed MS milliseconds after
// the trace started, and the time until the window closed is printed.
//
//   cmake --build <release-build> --target app_trace_tool sheet_tool
//   <release-build>/bench/sheet_tool 14000 9900 /tmp/sheet_a0.bmp

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>

#include "child_frame.h"
#include "editor/document.h"
#include "main_frame.h"
#include "model/graph.h"
#include "model/layer.h"
#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "trace_progress_dlg.h"

namespace {

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quillon;
  if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--cancel-after")) {
    std::fprintf(stderr, "usage: app_trace_tool RASTER [--cancel-after MS]\n");
    return 2;
  }
  const int cancelAfter = argc == 4 ? std::atoi(argv[3]) : -1;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir config;
  qputenv("QUILLON_CONFIG_DIR", config.path().toLocal8Bit());
  platform::CaptureMessageSink messages;
  platform::ScopedMessageSink guard(messages);
  platform::MemoryKeyValueStore store;

  ui::CMainFrame frame(store);
  frame.resize(1280, 860);
  frame.show();
  QElapsedTimer clock;
  clock.start();
  if (!frame.openRaster(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "app_trace_tool: cannot open %s\n", argv[1]);
    return 1;
  }
  QApplication::processEvents();  // the first paint of the sheet
  const double openSeconds = clock.elapsed() / 1000.0;
  const double openPeak = PeakMegabytes();

  // Cancel: pressed on the progress window once it has run for a while.
  qint64 cancelledAt = -1, closedAt = -1;
  QElapsedTimer traceClock;
  QObject watcher;
  // Each stage's start and the number of values the window showed.
  std::string stages;
  int shown = 0;
  QObject::connect(qApp, &QApplication::focusChanged, &watcher, [&](QWidget*, QWidget* now) {
    auto* dialog = qobject_cast<ui::CTraceProgressDlg*>(now ? now->window() : nullptr);
    if (dialog == nullptr || dialog->property("watched").toBool()) return;
    dialog->setProperty("watched", true);
    QObject::connect(dialog, &ui::CTraceProgressDlg::stageBegun, &watcher, [&](const QString& text) {
      char line[160];
      std::snprintf(line, sizeof line, "  %7.2f s  %s\n", traceClock.elapsed() / 1000.0, text.toUtf8().constData());
      stages += line;
    });
    QObject::connect(dialog, &ui::CTraceProgressDlg::progressShown, &watcher, [&] { ++shown; });
    QObject::connect(dialog, &QDialog::finished, &watcher, [&] { closedAt = traceClock.nsecsElapsed(); });
    if (cancelAfter < 0) return;
    QTimer::singleShot(cancelAfter, dialog, [&, dialog] {
      cancelledAt = traceClock.nsecsElapsed();
      dialog->cancelButton()->click();
    });
  });
  traceClock.start();
  frame.action(QStringLiteral("trace.run"))->trigger();
  const double traceSeconds = traceClock.elapsed() / 1000.0;

  const model::CGraph& graph = frame.activeChild()->document().graph();
  std::size_t entities = 0;
  for (const auto& layer : graph.layers()) entities += layer->entities().size();
  for (const std::string& message : messages.messages()) std::printf("message: %s\n", message.c_str());
  std::printf("open + first paint: %.2f s, peak %.0f MB\n", openSeconds, openPeak);
  std::printf("trace: %.2f s, %zu entities, undo entries %zu\n", traceSeconds, entities, graph.undo.size());
  std::printf("stages (start after the command began):\n%s  %d progress values shown\n", stages.c_str(), shown);
  if (cancelledAt >= 0 && closedAt >= 0)
    std::printf("cancel: pressed after %.0f ms, window closed %.1f ms later\n", cancelledAt / 1e6,
                (closedAt - cancelledAt) / 1e6);
  std::printf("peak resident memory: %.0f MB\n", PeakMegabytes());
  for (ui::CChildFrame* child : frame.children()) child->setCloseGuard({});
  return 0;
}
