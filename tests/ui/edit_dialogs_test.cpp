// The main window's dialogs and direct manipulation, answered the way a
// user answers them: Explode, Separate layers by width, the drawing aids,
// the layers dock's colour picker, a grip drag, Help without its manual,
// and the settings round trip through the application session.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>
#include <functional>
#include <memory>

#include "child_frame.h"
#include "drawing_view.h"
#include "edit_dialogs.h"
#include "editor/app_session.h"
#include "editor/document.h"
#include "layers_dock.h"
#include "frame_fixture.h"
#include "main_frame.h"
#include "model/graph.h"
#include "model/line.h"
#include "model/polyline.h"
#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "platform/paths.h"
#include "property_dock.h"
#include "settings/color.h"
#include "settings/number_text.h"
#include "settings/trace_option.h"

using namespace quillon;

namespace {

// Runs `answer` on the next modal dialog of type D once it is shown (the
// caller then triggers what opens it). Fails the test when none appears.
template <typename D>
void AnswerDialog(std::function<void(D&)> answer, bool* seen) {
  auto tries = std::make_shared<int>(0);
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [answer, seen, tries, poll] {
    if (auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget())) {
      *seen = true;
      answer(*dialog);
      return;
    }
    if (++*tries < 200) QTimer::singleShot(10, *poll);
  };
  QTimer::singleShot(0, *poll);
}

void PressOk(QDialog& dialog) {
  dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
}

size_t EntityCount(const model::CGraph& graph) {
  size_t n = 0;
  for (const auto& layer : graph.layers()) n += layer->entities().size();
  return n;
}

}  // namespace

class EditDialogsTest : public QObject, test::FrameFixture {
  Q_OBJECT

  // A line from (10,10) to (110,10) on the current layer.
  void drawLine(ui::CChildFrame* child, const char* from = "10,10", const char* to = "110,10") {
    frame_->action("draw.line")->trigger();
    type({from, to});
    QTest::keyClick(&child->view(), Qt::Key_Escape);
  }

 private slots:
  void initTestCase() { startAll(); }
  void init() { QVERIFY(startEach()); }
  void cleanup() { endEach(); }

  void explodeSplitsTheSelectedPolylineAsOneStep() {
    ui::CChildFrame* child = openSheet();
    QVERIFY(child != nullptr);
    model::CGraph& graph = child->document().graph();
    frame_->action("draw.polyline")->trigger();
    type({"10,10", "200,40", "150,300"});
    child->view().processor().sendEvent(editor::EventCode::Close);
    QCOMPARE(EntityCount(graph), size_t{1});
    frame_->action("edit.selectall")->trigger();

    // Cancel leaves the drawing alone.
    bool seen = false;
    AnswerDialog<ui::ExplodeDlg>([](ui::ExplodeDlg& d) { d.reject(); }, &seen);
    frame_->action("edit.explode")->trigger();
    QVERIFY(seen);
    QCOMPARE(EntityCount(graph), size_t{1});

    // With a selection the dialog offers "selected", preselected.
    seen = false;
    bool wasAll = true;
    AnswerDialog<ui::ExplodeDlg>([&wasAll](ui::ExplodeDlg& d) {
      wasAll = d.all();
      PressOk(d);
    }, &seen);
    messages_.clear();
    frame_->action("edit.explode")->trigger();
    QVERIFY(seen);
    QVERIFY(!wasAll);
    QCOMPARE(EntityCount(graph), size_t{3});  // the closed triangle's three sides
    QCOMPARE(QString::fromStdString(messages_.messages().at(0)),
             QStringLiteral("Explode successfully!\nOld vector number: 1\nNew vector number: 3"));
    QCOMPARE(frame_->action("edit.undo")->text(), QStringLiteral("&Undo Explode PolyLines"));
    frame_->action("edit.undo")->trigger();
    QCOMPARE(EntityCount(graph), size_t{1});
  }

  void separateMovesVectorsToWidthLayers() {
    ui::CChildFrame* child = openSheet();
    QVERIFY(child != nullptr);
    model::CGraph& graph = child->document().graph();
    drawLine(child);
    graph.currentWidth = 777.0;  // matches no width of the series
    frame_->action("draw.polyline")->trigger();
    type({"10,50", "200,50", "200,90"});
    child->view().processor().sendEvent(editor::EventCode::Close);
    QCOMPARE(EntityCount(graph), size_t{2});

    bool seen = false;
    QString widthsShown;
    AnswerDialog<ui::SeparateDlg>([&widthsShown](ui::SeparateDlg& d) {
      d.seriesBox()->setCurrentText(QStringLiteral("Default"));
      for (QLabel* label : d.findChildren<QLabel*>()) widthsShown += label->text() + QLatin1Char('|');
      PressOk(d);
    }, &seen);
    frame_->action("edit.separate")->trigger();
    QVERIFY(seen);
    QVERIFY2(widthsShown.contains(QStringLiteral("0  0.5  1  2")), qPrintable(widthsShown));
    QCOMPARE(graph.layers().size(), size_t{2});
    QCOMPARE(QString::fromStdString(graph.layers().front()->name()), QStringLiteral("0_0000"));
    QCOMPARE(QString::fromStdString(graph.layers().back()->name()), QStringLiteral("other"));
    QCOMPARE(graph.layers().front()->entities().size(), size_t{1});
    QCOMPARE(graph.layers().back()->entities().size(), size_t{1});
    QCOMPARE(frame_->layersDock()->list()->topLevelItemCount(), 2);
    QCOMPARE(frame_->action("edit.undo")->text(), QStringLiteral("&Undo Modify Layers"));
    frame_->action("edit.undo")->trigger();
    QCOMPARE(graph.layers().size(), size_t{1});
    QCOMPARE(EntityCount(graph), size_t{2});
  }

  void drawingAidsDialogEditsTheAidsAndTheToggles() {
    ui::CChildFrame* child = openSheet();
    QVERIFY(child != nullptr);
    model::DrawingAids& aids = child->document().graph().aids;
    aids.gridOn = 0;
    aids.orthoOn = 0;
    bool seen = false;
    AnswerDialog<ui::DrawingAidsDlg>([](ui::DrawingAidsDlg& d) {
      for (QCheckBox* box : d.findChildren<QCheckBox*>()) {
        const QVariant bit = box->property("bit");
        if (bit.isValid()) box->setChecked(bit.toInt() == 0x2);  // only the middle point
        else box->setChecked(true);                              // snap, grid and ortho on
      }
      const QList<QDoubleSpinBox*> spins = d.findChildren<QDoubleSpinBox*>();
      spins.at(0)->setValue(25.0);
      spins.at(1)->setValue(40.0);
      spins.at(2)->setValue(90.0);
      PressOk(d);
    }, &seen);
    frame_->action("tools.aids")->trigger();
    QVERIFY(seen);
    QCOMPARE(aids.osnapOn, 1);
    QCOMPARE(aids.osnapModes, 0x2);
    QCOMPARE(aids.gridOn, 1);
    QCOMPARE(aids.orthoOn, 1);
    QCOMPARE(aids.gridSpacingX, 25.0);
    QCOMPARE(aids.gridSpacingY, 40.0);
    QVERIFY(std::abs(aids.gridAngle - M_PI / 2) < 1e-9);
    // The toggles in the menu follow the dialog.
    QVERIFY(frame_->action("tools.osnap")->isChecked());
    QVERIFY(frame_->action("tools.grid")->isChecked());
    QVERIFY(frame_->action("tools.ortho")->isChecked());
  }

  void layerColourPickedInTheDockAndShownForByLayer() {
    ui::CChildFrame* child = openSheet();
    QVERIFY(child != nullptr);
    model::CGraph& graph = child->document().graph();
    drawLine(child);

    ui::LayersDock* layers = frame_->layersDock();
    layers->list()->setCurrentItem(layers->list()->topLevelItem(0));
    QToolButton* colourButton = nullptr;
    for (QToolButton* b : layers->findChildren<QToolButton*>())
      if (b->text() == QStringLiteral("C&olor...")) colourButton = b;
    QVERIFY(colourButton != nullptr);
    bool seen = false;
    AnswerDialog<QDialog>([](QDialog& d) {
      d.findChild<QToolButton*>(QStringLiteral("colour3"))->click();
    }, &seen);
    colourButton->click();
    QVERIFY(seen);
    model::CLayer* layer = graph.layers().front().get();
    QCOMPARE(layer->colour(), settings::ColorIndex{3});
    QCOMPARE(layers->list()->topLevelItem(0)->text(1), QString::fromStdString(settings::ColorName(3)));

    // The selected line is ByLayer: its colour row shows the layer's green.
    frame_->action("edit.selectall")->trigger();
    ui::PropertyDock* properties = frame_->propertyDock();
    const int row = properties->grid().findRow("PropColorName");
    QVERIFY(row >= 0);
    QCOMPARE(properties->grid().row(row).index, int{settings::kColorByLayer});
    QToolButton* swatch = nullptr;
    for (QTreeWidgetItemIterator it(properties->tree()); *it; ++it)
      if ((*it)->data(0, Qt::UserRole).toInt() == row && (*it)->parent() != nullptr)
        swatch = qobject_cast<QToolButton*>(properties->tree()->itemWidget(*it, 1));
    QVERIFY(swatch != nullptr);
    const QImage icon = swatch->icon().pixmap(14, 14).toImage();
    const settings::Rgb green = settings::ColorPalette[3];
    QCOMPARE(icon.pixelColor(7, 7), QColor(green.r, green.g, green.b));
  }

  void gripDragMovesThePointAsOneUndoStep() {
    ui::CChildFrame* child = openSheet();
    QVERIFY(child != nullptr);
    model::CGraph& graph = child->document().graph();
    drawLine(child, "100,100", "300,100");
    ui::DrawingView& view = child->view();
    frame_->action("edit.selectall")->trigger();
    QVERIFY(!graph.grips().empty());
    const size_t steps = graph.undo.appliedCount();

    const QPoint from = view.mapping().toScreen(300.0, 100.0).toPoint();
    const QPoint to = from + QPoint(0, -40);
    QTest::mousePress(&view, Qt::LeftButton, {}, from);
    for (int dy = -10; dy >= -40; dy -= 10) {
      QMouseEvent move(QEvent::MouseMove, QPointF(from + QPoint(0, dy)), view.mapToGlobal(QPointF(from + QPoint(0, dy))),
                       Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&view, &move);
    }
    QTest::mouseRelease(&view, Qt::LeftButton, {}, to);

    const auto* line = dynamic_cast<const model::CLine*>(graph.currentLayer()->first());
    QVERIFY(line != nullptr);
    const QPointF expected = view.mapping().toDrawing(to);
    const double tolerance = view.viewWindow().unitsPerPixel();
    QVERIFY2(std::abs(line->getEndPoint().x - expected.x()) <= tolerance &&
                 std::abs(line->getEndPoint().y - expected.y()) <= tolerance,
             qPrintable(QStringLiteral("end at %1,%2").arg(line->getEndPoint().x).arg(line->getEndPoint().y)));
    QCOMPARE(line->getStartPoint().x, 100.0);
    QCOMPARE(graph.undo.appliedCount(), steps + 1);
    QCOMPARE(frame_->action("edit.undo")->text(), QStringLiteral("&Undo Move Grip Point"));
    frame_->action("edit.undo")->trigger();
    QCOMPARE(line->getEndPoint().y, 100.0);
  }

  void helpWithoutTheManualNamesTheMissingFile() {
    frame_->manualFile = "manual/not-there.html";
    frame_->action("help.contents")->trigger();
    QCOMPARE(messages_.messages().size(), size_t{1});
    QCOMPARE(QString::fromStdString(messages_.messages()[0]),
             QStringLiteral("File not found :") + QString::fromStdString(platform::ProgramDirectory()) +
                 QStringLiteral("manual/not-there.html"));
  }

  void sessionCarriesTheRecentListsAcrossARestart() {
    platform::MemoryKeyValueStore store;
    settings::TraceOption record;
    const QString sheet = QFileInfo(test::Sample("sheet.tif")).absoluteFilePath();
    {
      editor::AppSession session(store, record);
      session.start({});
      ui::CMainFrame frame(session);
      QVERIFY(frame.openRaster(sheet));
      QCOMPARE(QString::fromStdString(session.recent().rasterFiles.at(0)), sheet);
      for (ui::CChildFrame* child : frame.children()) child->setCloseGuard({});
      QVERIFY(session.stop());
    }
    editor::AppSession again(store, record);
    again.start({});
    ui::CMainFrame frame(again);
    QCOMPARE(QString::fromStdString(frame.recentLists().rasterFiles.at(0)), sheet);
    QCOMPARE(frame.menu(QStringLiteral("file.recentraster"))->actions().size(), 1);
  }
};

QTEST_MAIN(EditDialogsTest)
#include "edit_dialogs_test.moc"
