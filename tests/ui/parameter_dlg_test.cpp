// The Set Parameter dialog driven through its controls, without a display:
// edits, chart types saved and chosen, a refused value, the preview of the
// sheet, and OK from the Vector menu storing the values for the next start.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include "child_frame.h"
#include "frame_fixture.h"
#include "main_frame.h"
#include "parameter_dlg.h"
#include "settings/current_options.h"
#include "settings/option_store.h"
#include "settings/trace_option.h"

using namespace quillon;

namespace {

void Retype(QLineEdit* edit, const QString& text) {
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, text);
}

void Choose(QComboBox* box, const QString& text) {
  const int row = box->findText(text);
  QVERIFY(row >= 0);
  box->setCurrentIndex(row);
  emit box->activated(row);
}

}  // namespace

class ParameterDlgTest : public QObject, test::FrameFixture {
  Q_OBJECT

 private slots:
  void initTestCase() { startAll(); }
  void init() {
    QVERIFY(startEach());
    saved_.CopyFrom(settings::CurrentTraceOption());
  }
  void cleanup() {
    endEach();
    settings::CurrentTraceOption().CopyFrom(saved_);
  }

  void switchesAndEditsShowInTheControlsAndTheSummary() {
    platform::MemoryKeyValueStore store;
    ui::CParameterDlg dlg(store, settings::TraceOption{}, false);
    dlg.show();
    QCOMPARE(dlg.chartTypeBox()->currentText(), QStringLiteral("pre_Default"));
    QVERIFY(!dlg.thresholdEdit()->isEnabled());
    QTest::mouseClick(dlg.autoGrayBox(), Qt::LeftButton, {}, QPoint(4, dlg.autoGrayBox()->height() / 2));
    QVERIFY(dlg.thresholdEdit()->isEnabled());

    Retype(dlg.conDisEdit(), QStringLiteral("12"));
    QCOMPARE(dlg.chartTypeBox()->currentText(), QStringLiteral("Unnamed"));
    QVERIFY(dlg.summaryText()->toPlainText().contains(QStringLiteral("Connect distance = 12")));
    dlg.connectBox()->setChecked(false);
    QVERIFY(!dlg.conDisEdit()->isEnabled());
    QVERIFY(dlg.summaryText()->toPlainText().contains(QStringLiteral("Not connect adjacent line.")));

    dlg.methods()->setCurrentIndex(1);
    QVERIFY(!dlg.outlineFillTypeBox()->isEnabled());
    dlg.outlineFillBox()->setChecked(true);
    QVERIFY(dlg.outlineFillTypeBox()->isEnabled());
    dlg.outlineFillTypeBox()->setCurrentIndex(3);  // solid: no spacing
    QVERIFY(!dlg.outlineFillSpaceBox()->isEnabled());
    QVERIFY(dlg.summaryText()->toPlainText().startsWith(QStringLiteral("Method=Outline")));
    QVERIFY(dlg.summaryText()->toPlainText().contains(QStringLiteral("Fill type : Solid")));
    QVERIFY(!dlg.previewShown());  // no raster, no preview
  }

  void chartTypeSavedUnderANameLoadsBack() {
    platform::MemoryKeyValueStore store;
    ui::CParameterDlg dlg(store, settings::TraceOption{}, true);
    Retype(dlg.conDisEdit(), QStringLiteral("17"));
    QVERIFY(dlg.saveChartTypeNamed(QStringLiteral("Maps")));
    QCOMPARE(settings::ListChartTypes(store), std::vector<std::string>{"Maps"});
    QCOMPARE(dlg.chartTypeBox()->currentText(), QStringLiteral("Maps"));

    Choose(dlg.chartTypeBox(), QStringLiteral("pre_Engineering"));
    QCOMPARE(dlg.conDisEdit()->text(), QStringLiteral("9"));
    QVERIFY(!dlg.calcWidthBox()->isChecked());
    Choose(dlg.chartTypeBox(), QStringLiteral("Maps"));
    QCOMPARE(dlg.conDisEdit()->text(), QStringLiteral("17"));

    // The same name again asks first; No stores nothing and keeps asking.
    messages_.setAnswer(false);
    Retype(dlg.conDisEdit(), QStringLiteral("18"));
    QVERIFY(!dlg.saveChartTypeNamed(QStringLiteral("MAPS")));
    QCOMPARE(messages_.messages().back(), std::string("The chart type already exist.\nOverwrite it?"));
    settings::TraceOption stored;
    QVERIFY(settings::LoadChartType(store, stored, "Maps"));
    QCOMPARE(stored.i_ConDis, 17);

    messages_.setAnswer(true);
    Choose(dlg.chartTypeBox(), QStringLiteral("Maps"));
    dlg.deleteChartType();
    QCOMPARE(dlg.chartTypeBox()->currentText(), QStringLiteral("Unnamed"));
    QCOMPARE(dlg.chartTypeBox()->findText(QStringLiteral("Maps")), -1);
    QVERIFY(settings::ListChartTypes(store).empty());
  }

  void badValueIsRefusedWithItsMessageAndKeepsTheDialogOpen() {
    platform::MemoryKeyValueStore store;
    ui::CParameterDlg dlg(store, settings::TraceOption{}, true);
    dlg.show();
    dlg.methods()->setCurrentIndex(2);
    dlg.fillPatternSpaceBox()->setEditText(QStringLiteral("0"));
    dlg.accept();
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QCOMPARE(messages_.messages(), std::vector<std::string>{"Invalid data !"});
    QVERIFY(dlg.focusWidget() == dlg.fillPatternSpaceBox() ||
            dlg.focusWidget() == dlg.fillPatternSpaceBox()->lineEdit());

    dlg.fillPatternSpaceBox()->setEditText(QStringLiteral("2.5"));
    dlg.accept();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.option().i_AutoTraceWhat, settings::TraceMethod::FillPattern);
    QCOMPARE(dlg.option().FillPattern.d_FillSpace, 2.5);
  }

  void okFromTheMenuStoresTheValuesForTheNextStart() {
    ui::CChildFrame* child = openSheet();
    QVERIFY(child != nullptr);
    bool previewed = false;
    QTimer::singleShot(0, this, [&] {
      auto* dlg = qobject_cast<ui::CParameterDlg*>(QApplication::activeModalWidget());
      if (dlg == nullptr) return;
      // The visible part of the sheet is traced with the dialog's values.
      previewed = QTest::qWaitFor([&] { return dlg->previewShown(); }, 20000);
      const int shown = dlg->previewsShown();
      dlg->refineBox()->setChecked(true);
      Retype(dlg->delLineLengthEdit(), QStringLiteral("4"));
      previewed = previewed && QTest::qWaitFor([&] { return dlg->previewsShown() > shown; }, 20000);
      dlg->accept();
    });
    frame_->action(QStringLiteral("trace.parameter"))->trigger();
    QVERIFY(previewed);

    QVERIFY(settings::CurrentTraceOption().b_Refine);
    QCOMPARE(settings::CurrentTraceOption().i_DelLine_Length, 4);
    QCOMPARE(settings::CurrentTraceOption().ModalName, std::string("Unnamed"));
    // Written to the store at once: a fresh start reads them back.
    settings::TraceOption restarted;
    settings::LoadOptions(store_, restarted);
    QVERIFY(restarted.b_Refine);
    QCOMPARE(restarted.i_DelLine_Length, 4);
  }

  void cancelLeavesTheCurrentValues() {
    const settings::TraceOption before = settings::CurrentTraceOption();
    settings::TraceOption storedBefore;
    settings::LoadOptions(store_, storedBefore);
    QTimer::singleShot(0, this, [] {
      auto* dlg = qobject_cast<ui::CParameterDlg*>(QApplication::activeModalWidget());
      if (dlg == nullptr) return;
      Retype(dlg->conDisEdit(), QStringLiteral("40"));
      dlg->reject();
    });
    frame_->action(QStringLiteral("trace.parameter"))->trigger();
    QVERIFY(settings::CurrentTraceOption() == before);
    settings::TraceOption storedAfter;
    settings::LoadOptions(store_, storedAfter);
    QVERIFY(storedAfter == storedBefore);
  }

 private:
  settings::TraceOption saved_;
};

QTEST_MAIN(ParameterDlgTest)
#include "parameter_dlg_test.moc"
