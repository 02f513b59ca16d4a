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

// The worker's side of the window. Stage notifications wait until the
// window has shown them; finished is queued and is the last call a run
// makes. Calls from the window's own thread (a worker that could not be
// started reports finished(20) at once) are handled without waiting.
class CTraceProgressDlg::Notifier final : public platform::ProgressSink {
 public:
  explicit Notifier(CTraceProgressDlg& window) : window_(window) {}

  void stageBegin(std::string_view text) override {
    const QString label = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    deliver([this, label] { window_.onStageBegin(label); });
  }
  void progress(int value) override {
    deliver([this, value] { window_.onProgress(value); });
  }
  void stageEnd() override {
    deliver([this] { window_.onStageEnd(); });
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
  template <typename Call>
  void deliver(Call call) {
    if (detached_.load()) return;
    if (QThread::currentThread() == window_.thread()) {
      call();
      return;
    }
    QMetaObject::invokeMethod(&window_, call, Qt::BlockingQueuedConnection);
  }

  CTraceProgressDlg& window_;
  std::atomic<bool> detached_{false};
  std::atomic<bool> ended_{false};
};

CTraceProgressDlg::CTraceProgressDlg(editor::TraceCommand& command, QWidget* parent)
    : QDialog(parent), command_(command), notifier_(std::make_unique<Notifier>(*this)),
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
}

void CTraceProgressDlg::requestCancel() {
  if (!running_ || cancelRequested_) return;
  cancelRequested_ = true;
  command_.cancel();
  cancel_->setEnabled(false);
}

void CTraceProgressDlg::reject() { requestCancel(); }

void CTraceProgressDlg::closeEvent(QCloseEvent* event) {
  // The window closes by itself when the worker has ended.
  requestCancel();
  if (running_) event->ignore();
}

void CTraceProgressDlg::onStageBegin(const QString& text) {
  model_.stageBegin(S(text));
  stage_->setText(text);
  counter_->setText(Q(model_.counterText()));
  showBar();
  emit stageBegun(text);
}

void CTraceProgressDlg::onProgress(int value) {
  model_.progress(value);
  showBar();
}

void CTraceProgressDlg::onStageEnd() {
  model_.stageEnd();
  showBar();
}

void CTraceProgressDlg::showBar() {
  // A thinning stage whose first iteration removed nothing has a range of
  // zero, which a QProgressBar would show as "busy": show it as full.
  const int maximum = model_.barMaximum() > 0 ? model_.barMaximum() : 1;
  const int position = model_.barMaximum() > 0 ? model_.barPosition() : 1;
  bar_->setRange(0, maximum);
  bar_->setValue(position);
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
  clock_->stop();
  done(QDialog::Accepted);
}

}  // namespace quillon::ui
