// The option dialog driven through its widgets, without a display: a width
// series built row by row and saved, a refused row and angle entry with
// their messages, an undo depth and a colour changed, and everything read
// back from a fresh settings file after OK.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "editor/option_dialog.h"
#include "main_frame.h"
#include "option_dlg.h"
#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "settings/current_options.h"
#include "settings/option_store.h"
#include "settings/width_series.h"

using namespace quillon;

class OptionDlgTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  platform::CaptureMessageSink messages_;
  std::unique_ptr<platform::ScopedMessageSink> sinkGuard_;

  std::string settingsFile() const { return (dir_.path() + QStringLiteral("/settings.json")).toStdString(); }

  // QUILLON_OPTION_SHOTS=DIR writes each page as DIR/options-<n>.png (for looking at them and the manual).
  static void grabPages(ui::COptionDlg& dialog) {
    const QByteArray shots = qgetenv("QUILLON_OPTION_SHOTS");
    if (shots.isEmpty()) return;
    dialog.show();
    for (int i = 0; i < dialog.tabs()->count(); ++i) {
      dialog.tabs()->setCurrentIndex(i);
      QCoreApplication::processEvents();
      QVERIFY(dialog.grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/options-%1.png").arg(i)));
    }
    dialog.tabs()->setCurrentIndex(0);
  }

 private slots:
  void init() {
    sinkGuard_ = std::make_unique<platform::ScopedMessageSink>(messages_);
    messages_.clear();
    messages_.setAnswer(true);
    settings::CurrentTraceOption().SetDefaults();
    QFile::remove(QString::fromStdString(settingsFile()));
  }
  void cleanup() { sinkGuard_.reset(); }

  void toolsMenuOffersOptions() {
    platform::MemoryKeyValueStore store;
    ui::CMainFrame frame(store);
    QAction* options = frame.action(QStringLiteral("tools.options"));
    QVERIFY(options != nullptr);
    QVERIFY(frame.menu(QStringLiteral("tools"))->actions().contains(options));
    QVERIFY(options->isEnabled());
    QCOMPARE(options->text(), QStringLiteral("&Options..."));
  }

  void widthSeriesAndUndoDepthPersistAfterOk() {
    {
      platform::JsonFileKeyValueStore store(settingsFile());
      ui::CMainFrame frame(store);
      bool shown = false;
      ui::OptionsCommand(frame, [&](ui::COptionDlg& dialog) {
        shown = true;
        grabPages(dialog);
        editWidthAngleAndDrawingPages(dialog);
        dialog.accept();
        return dialog.result() == QDialog::Accepted;
      });
      QVERIFY(shown);
      QCOMPARE(settings::CurrentTraceOption().colorIndex(settings::DisplayColor::Select), settings::ColorIndex{3});
    }
    platform::JsonFileKeyValueStore fresh(settingsFile());
    QCOMPARE(settings::LoadUndoSteps(fresh).vectorSteps, 12);
    QCOMPARE(settings::LoadUndoSteps(fresh).rasterSteps, 5);
    settings::WidthSeries pens;
    QVERIFY(pens.Load(fresh, "Pens"));
    QCOMPARE(pens.widths(), (std::vector<double>{0.35, 0.7, 1.4}));
    QCOMPARE(pens.moreWidthMode(), settings::WidthSeries::kMoreWidthEqual);
    settings::TraceOption reread;
    settings::LoadOptions(fresh, reread);
    QCOMPARE(reread.colorIndex(settings::DisplayColor::Select), settings::ColorIndex{3});
  }

  void refusedThresholdKeepsTheDialogOpenOnItsPage() {
    platform::JsonFileKeyValueStore store(settingsFile());
    ui::CMainFrame frame(store);
    ui::OptionsCommand(frame, [&](ui::COptionDlg& dialog) {
      refuseThenAcceptThreshold(dialog);
      return dialog.result() == QDialog::Accepted;
    });
    QCOMPARE(int(settings::CurrentTraceOption().i_Gray), 90);
    QVERIFY(!settings::CurrentTraceOption().b_AutoGray);
  }

 private:
  void editWidthAngleAndDrawingPages(ui::COptionDlg& dialog) {
    ui::CWidthPage* page = dialog.widthPage();
    QCOMPARE(page->seriesBox()->currentIndex(), -1);
    for (const char* width : {"0.35", "abc", "1.4", "0.7"}) {
      page->itemEdit()->setText(QString::fromLatin1(width));
      page->addButton()->click();
    }
    QCOMPARE(messages_.messages(), std::vector<std::string>{"Invalid data !"});
    QCOMPARE(page->widthList()->count(), 3);
    QCOMPARE(page->widthList()->item(1)->text(), QStringLiteral("0.7000"));
    page->unitBox()->setCurrentIndex(settings::WidthSeries::kUnitMm);
    page->moreWidthBox()->setCurrentIndex(settings::WidthSeries::kMoreWidthEqual);
    QString asked;
    page->askName = [&asked](const QString& title, const std::vector<std::string>&) {
      asked = title;
      return std::optional<std::string>("Pens");
    };
    page->saveAsButton()->click();
    QCOMPARE(asked, QStringLiteral("New Width Series"));
    QCOMPARE(page->seriesBox()->currentText(), QStringLiteral("Pens"));
    QVERIFY(page->deleteButton()->isEnabled());

    ui::CAnglePage* angles = dialog.anglePage();
    angles->mainEdit()->setText(QStringLiteral("200"));
    angles->maxEdit()->setText(QStringLiteral("200"));
    angles->minEdit()->setText(QStringLiteral("190"));
    const int rows = angles->entryList()->count();
    angles->addButton()->click();
    QCOMPARE(messages_.messages().back(),
             std::string("The angle must be greater than or equal 0 degree and be less than or equal 180 degree!"));
    QCOMPARE(angles->entryList()->count(), rows);

    dialog.drawingPage()->vectorUndoBox()->setValue(12);
    dialog.drawingPage()->pickColor = [](settings::ColorIndex) { return 3; };
    dialog.drawingPage()->colorButton(settings::DisplayColor::Select)->click();
  }

  void refuseThenAcceptThreshold(ui::COptionDlg& dialog) {
    dialog.threshPage()->autoBox()->setChecked(false);
    dialog.threshPage()->grayEdit()->setText(QStringLiteral("300"));
    dialog.accept();
    QVERIFY(dialog.result() != QDialog::Accepted);
    QCOMPARE(dialog.tabs()->currentWidget(), static_cast<QWidget*>(dialog.threshPage()));
    QCOMPARE(messages_.messages(), std::vector<std::string>{"Invalid data !"});
    dialog.threshPage()->grayEdit()->setText(QStringLiteral("90"));
    dialog.accept();
  }
};

QTEST_MAIN(OptionDlgTest)
#include "option_dlg_test.moc"
