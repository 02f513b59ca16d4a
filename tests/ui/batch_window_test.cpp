// The batch window driven through its buttons without a display: open it
// from the File menu, add two sample files, run them into a temporary folder
// and watch the log fill in; stop a longer run and close while running; edit
// a row's parameters, save the job file and reopen it from the recent list;
// arm the power-off (the power-off itself is always a recorder here).

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "batch_dlg.h"
#include "main_frame.h"
#include "parameter_dlg.h"
#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "settings/trace_option.h"

using namespace quillon;

namespace {

QString Sample(const char* name) { return QStringLiteral(QUILLON_SOURCE_DIR "/data/samples/") + name; }

QString FileText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

QPushButton* Button(QWidget& window, const QString& text) {
  for (QPushButton* b : window.findChildren<QPushButton*>())
    if (b->text() == text) return b;
  return nullptr;
}

}  // namespace

class BatchWindowTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir config_;
  platform::MemoryKeyValueStore store_;
  platform::CaptureMessageSink messages_;
  std::unique_ptr<platform::ScopedMessageSink> sinkGuard_;
  settings::TraceOption current_;

  std::unique_ptr<ui::CBatchDlg> makeWindow() {
    auto window = std::make_unique<ui::CBatchDlg>(store_, current_);
    window->powerOff = [] {
      qFatal("a test must never reach the real power-off");
      return false;
    };
    window->show();
    return window;
  }

  // Waits for the run to end; false when it did not within a minute.
  static bool waitForEnd(QSignalSpy& ended) {
    return ended.count() > 0 || ended.wait(60000);
  }

 private slots:
  void initTestCase() {
    qputenv("QUILLON_CONFIG_DIR", config_.path().toLocal8Bit());
    sinkGuard_ = std::make_unique<platform::ScopedMessageSink>(messages_);
  }
  void init() {
    messages_.clear();
    messages_.setAnswer(true);
  }

  void fileMenuOpensTheWindowOnce() {
    ui::CMainFrame frame(store_);
    frame.show();
    QAction* batch = frame.action(QStringLiteral("file.batch"));
    QVERIFY(batch);
    QVERIFY(frame.menu(QStringLiteral("file"))->actions().contains(batch));
    QVERIFY(batch->isEnabled());  // no document needed
    batch->trigger();
    auto* window = frame.findChild<ui::CBatchDlg*>();
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(window->windowModality(), Qt::ApplicationModal);
    batch->trigger();
    QCOMPARE(frame.findChildren<ui::CBatchDlg*>().size(), 1);
    QVERIFY(window->close());
  }

  void runsTwoSamplesAndShowsTheLog() {
    QTemporaryDir out;
    auto window = makeWindow();
    QSignalSpy ended(window.get(), &ui::CBatchDlg::runEnded);
    QVERIFY(!window->runButton()->isEnabled());
    window->chooseFiles = [] { return QStringList{Sample("sheet.tif"), Sample("grey_8bit.bmp")}; };
    QTest::mouseClick(Button(*window, QStringLiteral("Add files")), Qt::LeftButton);
    QCOMPARE(window->table()->rowCount(), 2);
    QCOMPARE(window->table()->item(0, 0)->text(), QStringLiteral("sheet.tif"));
    QCOMPARE(window->table()->item(1, 2)->text(), QStringLiteral("Center"));
    QVERIFY(window->runButton()->isEnabled());
    QVERIFY(!Button(*window, QStringLiteral("Remove files"))->isEnabled());

    window->targetDirEdit()->clear();
    QTest::keyClicks(window->targetDirEdit(), out.path());
    emit window->targetTypeBox()->activated(3);  // SVG
    window->targetTypeBox()->setCurrentIndex(3);
    window->jobsBox()->setValue(1);

    QTest::mouseClick(window->runButton(), Qt::LeftButton);
    // Running: only Stop answers, and the window keeps painting and taking clicks.
    QCOMPARE(window->runButton()->text(), QStringLiteral("Stop"));
    QVERIFY(!Button(*window, QStringLiteral("Add files"))->isEnabled());
    QVERIFY(!window->targetDirEdit()->isEnabled());
    QVERIFY(waitForEnd(ended));

    QCOMPARE(window->runButton()->text(), QStringLiteral("Run"));
    QVERIFY(window->runButton()->isEnabled());
    QVERIFY(!window->progressBar()->isVisible());
    QVERIFY(QFileInfo::exists(out.filePath(QStringLiteral("sheet.svg"))));
    QVERIFY(QFileInfo::exists(out.filePath(QStringLiteral("grey_8bit.svg"))));
    const QString logPath = out.filePath(QStringLiteral("QuillonBatch.log"));
    const QString shown = window->logView()->toPlainText();
    QCOMPARE(shown.trimmed(), FileText(logPath).remove(QLatin1Char('\r')).trimmed());
    QVERIFY(shown.contains(QStringLiteral("sheet.svg    successfully!")));
    QVERIFY(shown.contains(QStringLiteral("The number of converting successfully files is 2")));
    QVERIFY(!window->table()->item(0, 0)->icon().isNull());  // the row's result mark
    const std::vector<std::string> said = messages_.messages();
    QCOMPARE(said.size(), size_t{1});
    QCOMPARE(QString::fromStdString(said[0]),
             QStringLiteral("Batch process finished!\nThe detailed is in the file:\n") + logPath);
  }

  void stopEndsTheRunAndClosingWaitsForIt() {
    QTemporaryDir out;
    auto window = makeWindow();
    QSignalSpy ended(window.get(), &ui::CBatchDlg::runEnded);
    QStringList rows;
    for (int i = 0; i < 8; ++i) rows << Sample("sheet.tif");
    window->addFiles(rows);
    window->targetDirEdit()->setText(out.path());
    window->overwriteBox()->click();  // off: each row gets a name of its own
    QVERIFY(!window->overwriteBox()->isChecked());
    window->jobsBox()->setValue(1);

    QTest::mouseClick(window->runButton(), Qt::LeftButton);
    QTest::mouseClick(window->runButton(), Qt::LeftButton);  // Stop
    QVERIFY(!window->runButton()->isEnabled());
    QVERIFY(waitForEnd(ended));
    const QString shown = window->logView()->toPlainText();
    QVERIFY(shown.contains(QStringLiteral("User break!")));
    QVERIFY(shown.contains(QStringLiteral("The number of not convert files for user break is")));
    QVERIFY(!QFileInfo::exists(out.filePath(QStringLiteral("sheet6.dxf"))));
    QVERIFY(QString::fromStdString(messages_.messages().back()).startsWith(QStringLiteral("User break!")));

    // Closing while a run is active stops it; the window goes when it has ended.
    ended.clear();
    QTest::mouseClick(window->runButton(), Qt::LeftButton);
    QVERIFY(!window->close());
    QVERIFY(window->isVisible());
    QVERIFY(waitForEnd(ended));
    QTRY_VERIFY(!window->isVisible());
    QVERIFY(!current_.batchActive);
  }

  void editedRowsSurviveASavedAndReopenedJob() {
    QTemporaryDir dir;
    const QString job = dir.filePath(QStringLiteral("plans.trj"));
    {
      auto window = makeWindow();
      window->addFiles({Sample("sheet.tif"), Sample("lines_1bit.bmp"), Sample("grey_8bit.bmp")});
      // The dialog opens with the first selected row's values; OK gives rows
      // 1 and 2 the outline method with a fixed threshold.
      settings::TraceOption opened;
      window->editParameters = [&](const settings::TraceOption& record) {
        opened.CopyFrom(record);
        settings::TraceOption edited;
        edited.CopyFrom(record);
        edited.i_AutoTraceWhat = settings::TraceMethod::Outline;
        edited.b_AutoGray = false;
        edited.i_Gray = 100;
        return std::optional<settings::TraceOption>(edited);
      };
      window->table()->selectRow(2);
      window->table()->selectionModel()->select(window->table()->model()->index(1, 0),
                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
      QPushButton* parameter = Button(*window, QStringLiteral("Parameter"));
      QVERIFY(parameter->isEnabled());
      QTest::mouseClick(parameter, Qt::LeftButton);
      QCOMPARE(opened.i_AutoTraceWhat, settings::TraceMethod::CenterLine);
      QCOMPARE(window->table()->item(1, 2)->text(), QStringLiteral("Outline"));
      QCOMPARE(window->table()->item(2, 4)->text(), QStringLiteral("100"));
      QCOMPARE(window->table()->item(0, 2)->text(), QStringLiteral("Center"));

      window->targetDirEdit()->setText(dir.path());
      emit window->targetDirEdit()->textEdited(dir.path());
      emit window->targetTypeBox()->activated(5);
      window->chooseJobToSave = [&] { return job; };
      QTest::mouseClick(Button(*window, QStringLiteral("Save job")), Qt::LeftButton);
      QVERIFY(QFileInfo::exists(job));
      QVERIFY(FileText(job).startsWith(QStringLiteral(";Quillon Job file\r\n[General]\r\nJobCount=3\r\n")));

      // Remove the first row; the job file keeps all three.
      window->table()->selectRow(0);
      QTest::mouseClick(Button(*window, QStringLiteral("Remove files")), Qt::LeftButton);
      QCOMPARE(window->table()->rowCount(), 2);
      QVERIFY(window->close());
    }
    QVERIFY(messages_.messages().empty());

    auto window = makeWindow();
    QCOMPARE(window->table()->rowCount(), 0);
    QCOMPARE(window->targetTypeBox()->currentIndex(), 5);  // kept in the settings
    window->recentMenu()->aboutToShow();
    const QList<QAction*> recent = window->recentMenu()->actions();
    QVERIFY(!recent.isEmpty());
    QCOMPARE(recent[0]->text(), QStringLiteral("&1 ") + job);
    recent[0]->trigger();
    QCOMPARE(window->table()->rowCount(), 3);
    QCOMPARE(window->table()->item(0, 0)->text(), QStringLiteral("sheet.tif"));
    QCOMPARE(window->table()->item(1, 2)->text(), QStringLiteral("Outline"));
    QCOMPARE(window->table()->item(2, 4)->text(), QStringLiteral("100"));
    QCOMPARE(window->targetDirEdit()->text(), dir.path());
    QCOMPARE(window->targetTypeBox()->currentIndex(), 5);

    // A job file that went missing says so and leaves the list alone.
    QVERIFY(!window->openJob(dir.filePath(QStringLiteral("gone.trj"))));
    QCOMPARE(window->table()->rowCount(), 3);
    QCOMPARE(QString::fromStdString(messages_.messages().back()),
             QStringLiteral("The batch project file can not be found!"));
    QVERIFY(window->close());
  }

  void parameterButtonOpensTheDialogInBatchMode() {
    auto window = makeWindow();
    window->addFiles({Sample("sheet.tif"), Sample("lines_1bit.bmp")});
    window->table()->selectRow(1);
    bool shown = false;
    QTimer::singleShot(0, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      if (!dialog) return;
      auto* parameters = qobject_cast<ui::CParameterDlg*>(dialog);
      if (!parameters) return;
      shown = parameters->previewText() == QStringLiteral("Batch process mode.") && !parameters->previewShown();
      parameters->methods()->setCurrentIndex(1);  // the method: outline
      QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    });
    QTest::mouseClick(Button(*window, QStringLiteral("Parameter")), Qt::LeftButton);
    QVERIFY(shown);
    QCOMPARE(window->table()->item(1, 2)->text(), QStringLiteral("Outline"));
    QCOMPARE(window->table()->item(0, 2)->text(), QStringLiteral("Center"));
    QVERIFY(window->close());
  }

  void powerOffAsksFirstAndComesOnlyAfterTheRun() {
    QTemporaryDir out;
    auto window = makeWindow();
    int powerOffs = 0;
    int quits = 0;
    window->powerOff = [&] {
      ++powerOffs;
      return true;
    };
    window->quitApplication = [&] { ++quits; };
    QSignalSpy ended(window.get(), &ui::CBatchDlg::runEnded);
    window->addFiles({Sample("lines_1bit.bmp")});
    window->targetDirEdit()->setText(out.path());
    emit window->targetTypeBox()->activated(0);

    messages_.setAnswer(false);
    window->powerOffBox()->click();
    QVERIFY(!window->powerOffBox()->isChecked());
    messages_.setAnswer(true);
    window->powerOffBox()->click();
    QVERIFY(window->powerOffBox()->isChecked());
    QCOMPARE(messages_.messages().size(), size_t{2});
    QCOMPARE(powerOffs, 0);

    QTest::mouseClick(window->runButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 60000);
    QCOMPARE(powerOffs, 1);
    QCOMPARE(quits, 1);
    QVERIFY(QFileInfo::exists(out.filePath(QStringLiteral("lines_1bit.dxf"))));
  }
};

QTEST_MAIN(BatchWindowTest)
#include "batch_window_test.moc"
