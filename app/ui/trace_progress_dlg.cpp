#include "trace_progress_dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>

#include "editor/trace_command.h"
#include "platform/progress.h"
#include "trace/trace_result.h"
#include "ui_text.h"

namespace quillon::ui {

namespace {

// How far a thinning stage has got, in percent, once it has reported an
// iteration; -1 otherwise. Thinning a large ink area takes most of a run while
// its countdown bar hardly moves, so the stage text carries the estimate.
int ThinningPercent(const trace::TraceProgressModel& model) {
  if (!model.thinningStage() || model.stageValues() == 0) return -1;
  return static_cast<int>(100 * model.stageFraction());
}

}  // namespace

// The worker's side of the window. It keeps the display model itself, so
// that only notifications that change what the window shows cross to the
// window's thread: a stage's begin and end always, a progress value when the
// bar moves by a step of 1/kBarSteps. A run reports a progress value per
// traced path (tens of thousands on a large sheet), and each crossing waits
// for the window. Crossings wait until the window has shown the state (the
// worker never runs ahead of what the user sees); finished is queued and is
// the last call of a run. Calls from the window's own thread (a worker that
// could not be started reports finished(20) at once) are handled directly.
class CTraceProgressDlg::Notifier final : public platform::ProgressSink {
 public:
  static constexpr int kBarSteps = 200;

  Notifier(CTraceProgressDlg& window, int stageTotal) : window_(window), model_(stageTotal) {}

  void stageBegin(std::string_view text) override {
    model_.stageBegin(text);
    show(true);
  }
  void progress(int value) override {
    model_.progress(value);
    show(false);
  }
  void stageEnd() override {
    model_.stageEnd();
    show(false);
  }
  void finished(int) override {
    // The command keeps the code; the window only has to close.
    QMetaObject::invokeMethod(&window_, [this] { window_.onFinished(); }, Qt::QueuedConnection);
    ended_.store(true);
  }

  // The window is going away: no more waiting on it.
  void detach() { detached_.store(true); }
  bool ended() const { return ended_.load(); }

 private:
  void show(bool newStage) {
    const int maximum = model_.barMaximum();
    const int step = maximum > 0 ? static_cast<int>(int64_t{model_.barPosition()} * kBarSteps / maximum) : kBarSteps;
    const int percent = ThinningPercent(model_);
    if (!newStage && step == shownStep_ && maximum == shownMaximum_ && percent == shownPercent_) return;
    shownStep_ = step;
    shownMaximum_ = maximum;
    shownPercent_ = percent;
    if (detached_.load()) return;
    const trace::TraceProgressModel state = model_;
    const auto call = [this, state, newStage] { window_.showState(state, newStage); };
    if (QThread::currentThread() == window_.thread()) call();
    else QMetaObject::invokeMethod(&window_, call, Qt::BlockingQueuedConnection);
  }

  CTraceProgressDlg& window_;
  trace::TraceProgressModel model_;  // worker thread only
  int shownStep_ = -1;
  int shownMaximum_ = -1;
  int shownPercent_ = -1;
  std::atomic<bool> detached_{false};
  std::atomic<bool> ended_{false};
};

CTraceProgressDlg::CTraceProgressDlg(editor::TraceCommand& command, QWidget* parent)
    : QDialog(parent), command_(command), notifier_(std::make_unique<Notifier>(*this, command.stageTotal())),
      model_(command.stageTotal()) {
  setObjectName(QStringLiteral("CTraceProgressDlg"));
  setWindowTitle(T("JdWinCaption", "Tracing"));
  setModal(true);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  auto* caption = new QLabel(T("JdCurProgress", "Current progress"), this);
  QFont bold = caption->font();
  bold.setBold(true);
  caption->setFont(bold);
  stage_ = new QLabel(this);
  stage_->setObjectName(QStringLiteral("stage"));
  stage_->setMinimumWidth(280);
  counter_ = new QLabel(this);
  counter_->setObjectName(QStringLiteral("counter"));
  counter_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  bar_ = new QProgressBar(this);
  bar_->setObjectName(QStringLiteral("bar"));
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  elapsed_ = new QLabel(this);
  elapsed_->setObjectName(QStringLiteral("elapsed"));
  cancel_ = new QPushButton(T("ButtonCancel", "&Cancel"), this);
  cancel_->setObjectName(QStringLiteral("cancel"));
  cancel_->setAutoDefault(false);
  connect(cancel_, &QPushButton::clicked, this, &CTraceProgressDlg::requestCancel);

  auto* rows = new QGridLayout;
  rows->addWidget(caption, 0, 0, 1, 2);
  rows->addWidget(stage_, 1, 0);
  rows->addWidget(counter_, 1, 1);
  rows->addWidget(bar_, 2, 0, 1, 2);
  rows->setColumnStretch(0, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(elapsed_, 1);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(rows);
  layout->addSpacing(6);
  layout->addLayout(buttons);
  setMinimumWidth(420);

  clock_ = new QTimer(this);
  clock_->setInterval(500);
  connect(clock_, &QTimer::timeout, this, &CTraceProgressDlg::showElapsed);
  showElapsed();
}

CTraceProgressDlg::~CTraceProgressDlg() {
  // Normally the window closes only after the worker ended. If it is torn
  // down earlier, the worker must not wait on it any more; it is stopped
  // and the events it still sends are let through until it has finished.
  notifier_->detach();
  if (running_) {
    command_.cancel();
    while (!notifier_->ended()) QApplication::processEvents(QEventLoop::AllEvents, 10);
    command_.wait();
  }
}

void CTraceProgressDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Start once the window is on screen, from the event loop of exec().
  if (!startRequested_) {
    startRequested_ = true;
    QMetaObject::invokeMethod(this, &CTraceProgressDlg::start, Qt::QueuedConnection);
  }
}

void CTraceProgressDlg::start() {
  started_.start();
  clock_->start();
  running_ = true;
  // A worker that cannot be made delivers finished(20) here and now; the
  // queued finished closes the window like any other end.
  command_.start(*notifier_);
  // Cancel pressed before the worker existed.
  if (cancelRequested_) command_.cancel();
}

void CTraceProgressDlg::requestCancel() {
  if (ended_ || cancelRequested_) return;
  cancelRequested_ = true;
  if (running_) command_.cancel();
  cancel_->setEnabled(false);
}

void CTraceProgressDlg::reject() { requestCancel(); }

void CTraceProgressDlg::closeEvent(QCloseEvent* event) {
  // The window closes by itself when the worker has ended.
  requestCancel();
  if (!ended_) event->ignore();
}

void CTraceProgressDlg::showState(const trace::TraceProgressModel& state, bool newStage) {
  model_ = state;
  const int percent = ThinningPercent(model_);
  stage_->setText(Q(model_.label()) + (percent < 0 ? QString() : QStringLiteral(" %1%").arg(percent)));
  if (newStage) counter_->setText(Q(model_.counterText()));
  // A thinning stage whose first iteration removed nothing has a range of
  // zero, which a QProgressBar would show as "busy": show it as full.
  const int maximum = model_.barMaximum() > 0 ? model_.barMaximum() : 1;
  const int position = model_.barMaximum() > 0 ? model_.barPosition() : 1;
  bar_->setRange(0, maximum);
  bar_->setValue(position);
  if (newStage) emit stageBegun(stage_->text());
  emit progressShown(position, maximum);
}

void CTraceProgressDlg::showElapsed() {
  const int64_t ms = started_.isValid() ? started_.elapsed() : 0;
  elapsed_->setText(T("MainTraceTime", "Elapsed time :") + Q(trace::ElapsedTimeText(ms)));
}

void CTraceProgressDlg::onFinished() {
  // The worker's last act was to post this: joining it returns at once.
  command_.wait();
  running_ = false;
  ended_ = true;
  clock_->stop();
  done(QDialog::Accepted);
}

}  // namespace quillon::ui
