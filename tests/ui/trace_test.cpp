// The Trace command from the main window's menu with its real progress
// window and worker thread: a run that finishes and runs cancelled from the
// window, without a display.

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>
#include <memory>

#include "child_frame.h"
#include "drawing_view.h"
#include "editor/document.h"
#include "main_frame.h"
#include "model/graph.h"
#include "model/layer.h"
#include "model/line.h"
#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "raster/raster.h"
#include "raster/raster_undo.h"
#include "settings/current_options.h"
#include "trace/progress_model.h"
#include "trace_progress_dlg.h"

using namespace quillon;

namespace {

int EntityCount(const model::CGraph& graph) {
  int n = 0;
  for (const auto& layer : graph.layers()) n += static_cast<int>(layer->entities().size());
  return n;
}

// Threads of this process: a run must not leave any behind.
int ThreadCount() {
  return static_cast<int>(
      QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// Watches for the progress window and records what it shows; optionally
// presses Cancel (or Escape) when a given stage begins, while the worker
// waits for the window to show that stage.
class ProgressWatcher : public QObject {
 public:
  enum class CancelBy { Nothing, Button, Escape };
  explicit ProgressWatcher(CancelBy cancel = CancelBy::Nothing, int cancelAtStage = 1)
      : cancel_(cancel), cancelAtStage_(cancelAtStage) {
    qApp->installEventFilter(this);
  }
  ~ProgressWatcher() override { qApp->removeEventFilter(this); }

  QStringList stages;
  QStringList counters;
  QStringList labels;  // the stage text at every notification shown
  QString caption;
  int shownWithRunning = 0;  // notifications shown while the bar was not yet full
  QPointer<ui::CTraceProgressDlg> dialog;

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    auto* window = qobject_cast<ui::CTraceProgressDlg*>(object);
    if (window != nullptr && event->type() == QEvent::Show && dialog.isNull()) {
      dialog = window;
      caption = window->windowTitle();
      connect(window, &ui::CTraceProgressDlg::stageBegun, this, [this, window](const QString& text) {
        stages << text;
        counters << window->findChild<QLabel*>(QStringLiteral("counter"))->text();
        if (cancel_ == CancelBy::Nothing || stages.size() != cancelAtStage_) return;
        if (cancel_ == CancelBy::Button) QTest::mouseClick(window->cancelButton(), Qt::LeftButton);
        else QTest::keyClick(window, Qt::Key_Escape);
      });
      connect(window, &ui::CTraceProgressDlg::progressShown, this, [this, window](int position, int maximum) {
        labels << window->findChild<QLabel*>(QStringLiteral("stage"))->text();
        if (position < maximum) ++shownWithRunning;
      });
      // Stage 0: the moment the window appears, before the worker exists.
      if (cancel_ == CancelBy::Button && cancelAtStage_ == 0)
        QTest::mouseClick(window->cancelButton(), Qt::LeftButton);
    }
    return false;
  }

 private:
  CancelBy cancel_;
  int cancelAtStage_;
};

}  // namespace

class TraceTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir config_;
  platform::MemoryKeyValueStore store_;
  platform::CaptureMessageSink messages_;
  std::unique_ptr<platform::ScopedMessageSink> sinkGuard_;
  std::unique_ptr<ui::CMainFrame> frame_;
  settings::TraceOption savedOptions_;

  ui::CChildFrame* openSheet() {
    if (!frame_->openRaster(QStringLiteral(QUILLON_SOURCE_DIR "/data/samples/sheet.tif"))) return nullptr;
    QTest::qWait(20);
    return frame_->activeChild();
  }

  QAction* traceMenuItem() {
    QMenu* menu = frame_->menu(QStringLiteral("vector"));
    if (menu == nullptr) return nullptr;
    for (QAction* item : menu->actions())
      if (item->objectName() == QLatin1String("trace.run")) return item;
    return nullptr;
  }

 private slots:
  void initTestCase() {
    qputenv("QUILLON_CONFIG_DIR", config_.path().toLocal8Bit());
    sinkGuard_ = std::make_unique<platform::ScopedMessageSink>(messages_);
    savedOptions_ = settings::CurrentTraceOption();
  }

  void init() {
    messages_.clear();
    settings::CurrentTraceOption() = settings::TraceOption{};
    frame_ = std::make_unique<ui::CMainFrame>(store_);
    frame_->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame_.get()));
  }

  void cleanup() {
    for (ui::CChildFrame* child : frame_->children()) child->setCloseGuard({});
    frame_.reset();
    settings::CurrentTraceOption() = savedOptions_;
  }

  void traceFromTheMenuFinishes() {
    QAction* trace = traceMenuItem();
    QVERIFY(trace != nullptr);
    QCOMPARE(trace->text(), QStringLiteral("&Trace..."));
    QCOMPARE(trace->statusTip(), QStringLiteral("Convert raster into vector"));
    QVERIFY(!trace->isEnabled());  // no document yet
    QVERIFY(frame_->findChild<QToolBar*>(QStringLiteral("toolbar.vector"))->actions().contains(trace));

    ui::CChildFrame* child = openSheet();
    QVERIFY(child != nullptr);
    QVERIFY(trace->isEnabled());
    editor::Document& document = child->document();
    QCOMPARE(document.raster().bitCount(), 8);

    ProgressWatcher watcher;
    trace->trigger();

    // The window showed every stage of a centre-line run in order, with its
    // counter, and went away with the worker.
    QCOMPARE(watcher.caption, QStringLiteral("Tracing"));
    QVERIFY(watcher.dialog.isNull());
    QVERIFY(watcher.stages.size() >= 5);
    QCOMPARE(watcher.stages.first(), QStringLiteral("Thin first step"));
    QCOMPARE(watcher.stages.mid(1, 4), (QStringList{QStringLiteral("Thin second step"),
                                                    QStringLiteral("Trace center initialize"),
                                                    QStringLiteral("Trace center line"),
                                                    QStringLiteral("Generate polyline")}));
    const int total = trace::StageTotal(settings::CurrentTraceOption());
    QVERIFY(watcher.stages.size() <= total);
    QCOMPARE(watcher.counters.first(), QStringLiteral("1 / %1").arg(total));
    QCOMPARE(watcher.counters.last(), QStringLiteral("%1 / %2").arg(watcher.stages.size()).arg(total));
    QVERIFY(watcher.shownWithRunning > 0);

    // The result message with the elapsed time.
    const auto shown = messages_.messages();
    QCOMPARE(shown.size(), std::size_t{1});
    QVERIFY2(QString::fromStdString(shown[0]).startsWith(QStringLiteral("Trace && process finished!\r\nElapsed time : ")),
             shown[0].c_str());
    QVERIFY(QString::fromStdString(shown[0]).endsWith(QStringLiteral(" seconds")));

    // The traced vectors on the layer "Trace", one undo entry, the threshold
    // step in the raster's own list.
    model::CGraph& graph = document.graph();
    QCOMPARE(QString::fromStdString(graph.currentLayer()->name()), QStringLiteral("Trace"));
    const int traced = EntityCount(graph);
    QVERIFY2(traced >= 10, qPrintable(QString::number(traced)));
    QCOMPARE(graph.undo.size(), std::size_t{1});
    QCOMPARE(frame_->action(QStringLiteral("edit.undo"))->text(), QStringLiteral("&Undo Trace Raster Image"));
    QCOMPARE(document.raster().bitCount(), 1);
    QCOMPARE(document.rasterUndo().count(), std::size_t{1});
    QVERIFY(!child->view().busy());
    QVERIFY(trace->isEnabled());

    // Undo gives back the drawing before the trace.
    frame_->action(QStringLiteral("edit.undo"))->trigger();
    QCOMPARE(EntityCount(graph), 0);
    frame_->action(QStringLiteral("edit.redo"))->trigger();
    QCOMPARE(EntityCount(graph), traced);
  }

  // Thinning a large ink area is most of a run while its countdown bar
  // hardly moves: the stage text tells how far it has got.
  void thinningOfSolidInkShowsItsShare() {
    QTemporaryDir dir;
    raster::CRaster block;
    QVERIFY(block.create(900, 900, 1));
    for (int y = 100; y < 800; ++y)
      for (int x = 100; x < 800; ++x) block.setBit(x, y, true);
    const QString path = dir.filePath(QStringLiteral("block.bmp"));
    QVERIFY(block.save(path.toStdString()));
    QVERIFY(frame_->openRaster(path));
    QTest::qWait(20);

    ProgressWatcher watcher;
    traceMenuItem()->trigger();
    QVERIFY(watcher.dialog.isNull());
    const QRegularExpression share(QStringLiteral("^Thin first step (\\d+)%$"));
    QList<int> shares;
    for (const QString& label : watcher.labels) {
      const QRegularExpressionMatch match = share.match(label);
      if (match.hasMatch()) shares << match.captured(1).toInt();
    }
    QVERIFY2(shares.size() >= 3, qPrintable(watcher.labels.join(QLatin1Char('|'))));
    QVERIFY(std::is_sorted(shares.begin(), shares.end()));
    QVERIFY(shares.first() < 50 && shares.last() > 50);
  }

  void cancelFromTheWindow_data() {
    QTest::addColumn<int>("by");
    QTest::addColumn<int>("atStage");
    QTest::newRow("button before the worker started") << int(ProgressWatcher::CancelBy::Button) << 0;
    QTest::newRow("button in the first thinning step") << int(ProgressWatcher::CancelBy::Button) << 1;
    QTest::newRow("escape while polylines are generated") << int(ProgressWatcher::CancelBy::Escape) << 5;
  }

  void cancelFromTheWindow() {
    QFETCH(int, by);
    QFETCH(int, atStage);
    ui::CChildFrame* child = openSheet();
    QVERIFY(child != nullptr);
    model::CGraph& graph = child->document().graph();
    // A drawing to lose: one line drawn before the trace.
    frame_->action(QStringLiteral("draw.line"))->trigger();
    for (const char* point : {"10,10", "200,150"}) {
      frame_->inputBox()->setText(QString::fromLatin1(point));
      QTest::keyClick(frame_->inputBox(), Qt::Key_Return);
    }
    QTest::keyClick(&child->view(), Qt::Key_Escape);
    QCOMPARE(EntityCount(graph), 1);
    const std::size_t undoBefore = graph.undo.size();
    const int threadsBefore = ThreadCount();

    ProgressWatcher watcher(static_cast<ProgressWatcher::CancelBy>(by), atStage);
    traceMenuItem()->trigger();

    // No stage began after the cancel (a worker started after it may have
    // begun its first stage before it looked at the flag).
    if (atStage > 0) QCOMPARE(watcher.stages.size(), atStage);
    else QVERIFY(watcher.stages.size() <= 1);
    QVERIFY(watcher.dialog.isNull());
    const auto shown = messages_.messages();
    QCOMPARE(shown.size(), std::size_t{1});
    QCOMPARE(shown[0], std::string("User stop"));
    // Nothing is left running and the window's view paints the drawing again.
    QCOMPARE(ThreadCount(), threadsBefore);
    QVERIFY(!child->view().busy());
    QVERIFY(traceMenuItem()->isEnabled());
    // The run replaced the drawing up to where it stopped; its one undo
    // entry brings back the line.
    QCOMPARE(graph.undo.size(), undoBefore + 1);
    QCOMPARE(frame_->action(QStringLiteral("edit.undo"))->text(), QStringLiteral("&Undo Trace Raster Image"));
    frame_->action(QStringLiteral("edit.undo"))->trigger();
    QCOMPARE(EntityCount(graph), 1);
    QVERIFY(graph.currentLayer()->entities().front()->type() == model::EntityType::Line);
  }
};

QTEST_MAIN(TraceTest)
#include "trace_test.moc"
