#pragma once
// The modal tracing progress window: the stage text, the "%d / %d" stage
// counter, the progress bar, the time so far and Cancel. It starts the
// trace command's worker once it is shown and closes when the worker has
// ended.
//
// The worker talks to the window from its own thread: stage begin,
// progress and stage end wait until the window has shown them (the worker
// never runs ahead of what the user sees), finished arrives queued. The
// window itself never waits for the worker while it runs, so Cancel, the
// repaint and the clock keep working; Cancel only raises the worker's
// cancel flag, which every stage polls at its check points.

#include <QDialog>
#include <QElapsedTimer>
#include <memory>

#include "trace/progress_model.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace quillon::editor {
class TraceCommand;
}

namespace quillon::ui {

class CTraceProgressDlg : public QDialog {
  Q_OBJECT

 public:
  // The command must have been prepared; it must outlive the window.
  CTraceProgressDlg(editor::TraceCommand& command, QWidget* parent = nullptr);
  ~CTraceProgressDlg() override;

  // What the window shows, for tests and the manual's pictures.
  const trace::TraceProgressModel& model() const { return model_; }
  QProgressBar* bar() const { return bar_; }
  QPushButton* cancelButton() const { return cancel_; }
  // The worker has been asked to stop.
  bool cancelRequested() const { return cancelRequested_; }

 public slots:
  // Asks the worker to stop at its next check point; the window stays
  // until the worker has ended.
  void requestCancel();
  // Escape and the window's close button mean Cancel.
  void reject() override;

 signals:
  // A stage began / the bar moved. Emitted while the worker waits for the
  // window, so a receiver sees the run held at that point.
  void stageBegun(const QString& text);
  void progressShown(int position, int maximum);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  class Notifier;
  void start();
  // The worker's display state, shown while the worker waits.
  void showState(const trace::TraceProgressModel& state, bool newStage);
  void onFinished();
  void showElapsed();

  editor::TraceCommand& command_;
  std::unique_ptr<Notifier> notifier_;
  trace::TraceProgressModel model_;
  QLabel* stage_ = nullptr;
  QLabel* counter_ = nullptr;
  QLabel* elapsed_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QTimer* clock_ = nullptr;
  QElapsedTimer started_;
  bool startRequested_ = false;
  bool running_ = false;
  bool ended_ = false;
  bool cancelRequested_ = false;
};

}  // namespace quillon::ui
