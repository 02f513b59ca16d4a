#include "raster_progress.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "drawing_view.h"
#include "editor/document.h"
#include "ui_text.h"

namespace quillon::ui {
namespace {

// What the worker reports, read by the GUI thread's timer.
struct Shared {
  std::mutex mutex;
  std::condition_variable done;
  std::string text;
  int percent = 0;
  bool finished = false;
  editor::RasterCommandResult result = editor::RasterCommandResult::Failed;
};

// Quick operations end before this and never show the window, so a flip or
// an invert does not flash a progress window.
constexpr auto kQuietTime = std::chrono::milliseconds(250);
// How often the window takes the worker's latest report.
constexpr int kRefreshMs = 30;

// One raster operation at a time: the menus stay reachable for a moment
// before the progress window appears.
bool g_running = false;

}  // namespace

editor::RasterCommandResult RunRasterCommand(QWidget* parent, DrawingView& view, const QString& title,
                                             const RasterCommand& command, const RasterRunHooks& hooks) {
  if (g_running || !view.document().hasRaster()) return editor::RasterCommandResult::Failed;
  g_running = true;
  view.processor().cancelCommand();
  view.setBusy(true);

  Shared shared;
  platform::CancelFlag cancel;
  const platform::ProgressCallback progress = [&shared](std::string_view text, int percent) {
    const std::lock_guard lock(shared.mutex);
    if (!text.empty()) shared.text.assign(text);
    shared.percent = percent;
  };
  const editor::RasterCommandContext context = editor::RasterContext(view.document(), progress, &cancel);
  std::thread worker([&] {
    const editor::RasterCommandResult result = command(context);
    const std::lock_guard lock(shared.mutex);
    shared.result = result;
    shared.finished = true;
    shared.done.notify_all();
  });

  bool finished = false;
  {
    // A bounded wait: a message the worker shows meanwhile waits for the
    // event loop below.
    std::unique_lock lock(shared.mutex);
    finished = shared.done.wait_for(lock, kQuietTime, [&] { return shared.finished; });
  }
  if (!finished) {
    QProgressDialog dialog(title, T("CancelButton", "Cancel"), 0, 100, parent);
    dialog.setWindowTitle(title);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setMinimumDuration(0);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumWidth(360);
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&] {
      cancel.request();
      dialog.setLabelText(T("RasterCancelling", "Cancelling..."));
    });
    dialog.show();
    QEventLoop loop;
    QTimer timer;
    timer.setInterval(kRefreshMs);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
      std::string text;
      int percent = 0;
      bool over = false;
      {
        const std::lock_guard lock(shared.mutex);
        text = shared.text;
        percent = shared.percent;
        over = shared.finished;
      }
      if (over) {
        loop.quit();
        return;
      }
      // cancel() called on the window does not signal; its flag tells.
      if (dialog.wasCanceled()) cancel.request();
      if (!cancel.requested()) {
        if (!text.empty()) dialog.setLabelText(Q(text));
        dialog.setValue(std::clamp(percent, 0, 100));
      }
      if (hooks.progressShown) hooks.progressShown(dialog);
    });
    timer.start();
    loop.exec();
  }
  worker.join();
  view.setBusy(false);
  view.rasterChanged();
  g_running = false;
  return shared.result;
}

}  // namespace quillon::ui
