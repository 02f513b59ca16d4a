// The main window driven the way a user drives it, without a display: open
// the sample sheet, draw by typing and clicking, edit through the docks,
// undo and redo from the Edit menu, save in every format, close.

#include <QAction>
#include <QComboBox>
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

#include "child_frame.h"
#include "drawing_view.h"
#include "editor/document.h"
#ifndef QUILLON_UI_WITHOUT_SAVE
#include "editor/save_vector_dialog.h"
#include "save_vec_dlg.h"
#endif
#include "formats/format_table.h"
#include "layers_dock.h"
#include "frame_fixture.h"
#include "main_frame.h"
#include "model/graph.h"
#include "model/line.h"
#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "property_dock.h"
#include "settings/number_text.h"

using namespace quillon;

namespace {

int EntityCount(const model::CGraph& graph) {
  int n = 0;
  for (const auto& layer : graph.layers()) n += static_cast<int>(layer->entities().size());
  return n;
}

}  // namespace

class MainWindowTest : public QObject, test::FrameFixture {
  Q_OBJECT

 private slots:
  void initTestCase() { startAll(); }
  void init() { QVERIFY(startEach()); }
  void cleanup() { endEach(); }

  void openingTheSheetShowsItsInk() {
    ui::CChildFrame* child = openSheet();
    QVERIFY(child != nullptr);
    QCOMPARE(frame_->children().size(), 1);
    QVERIFY(child->windowTitle().startsWith(QStringLiteral("sheet.tif")));
    QVERIFY(frame_->windowTitle().contains(QStringLiteral("sheet.tif")));

    // Every ink pixel of the sheet lands on a dark screen pixel; paper far
    // from ink stays light.
    ui::DrawingView& view = child->view();
    const QImage shot = view.grab().toImage();
    const raster::CRaster& raster = child->document().raster();
    const ui::ScreenMapping m = view.mapping();
    int ink = 0, darkInk = 0;
    for (int y = 0; y < raster.height(); y += 3) {
      for (int x = 0; x < raster.width(); x += 3) {
        uint8_t b = 255, g = 255, r = 255;
        raster.colourAt(x, y, b, g, r);
        if (0.299 * r + 0.587 * g + 0.114 * b >= 128.0) continue;
        const QPointF p = m.toScreen(x, raster.height() - 1 - y);
        const QPoint q(static_cast<int>(p.x()), static_cast<int>(p.y()));
        if (!shot.rect().contains(q)) continue;
        ++ink;
        if (qGray(shot.pixel(q)) < 200) ++darkInk;
      }
    }
    QVERIFY2(ink > 100, "the sheet's ink lies inside the view");
    QVERIFY2(darkInk > ink * 8 / 10, qPrintable(QStringLiteral("%1 of %2 ink pixels dark").arg(darkInk).arg(ink)));
    QVERIFY(qGray(shot.pixel(2, 2)) > 200);
  }

  void lineByTypedPointAndClickThenUndoRedo() {
    ui::CChildFrame* child = openSheet();
    QVERIFY(child != nullptr);
    model::CGraph& graph = child->document().graph();
    frame_->action("draw.line")->trigger();
    QCOMPARE(frame_->promptLabel()->text(), QStringLiteral("First point of line:"));
    QVERIFY(frame_->inputBox()->isEnabled());

    // Typing in the view goes to the input box.
    ui::DrawingView& view = child->view();
    QTest::keyClicks(&view, QStringLiteral("100,120"));
    QCOMPARE(frame_->inputBox()->text(), QStringLiteral("100,120"));
    QTest::keyClick(frame_->inputBox(), Qt::Key_Return);
    QCOMPARE(frame_->inputBox()->text(), QString());
    QCOMPARE(frame_->promptLabel()->text(), QStringLiteral("Second point of line:"));

    const QPoint click(view.width() / 2, view.height() / 2);
    QTest::mouseMove(&view, click);
    QTest::mouseClick(&view, Qt::LeftButton, {}, click);
    QTest::keyClick(&view, Qt::Key_Escape);

    QCOMPARE(EntityCount(graph), 1);
    const auto* line = dynamic_cast<const model::CLine*>(graph.currentLayer()->first());
    QVERIFY(line != nullptr);
    QCOMPARE(line->getStartPoint().x, 100.0);
    QCOMPARE(line->getStartPoint().y, 120.0);
    const QPointF expected = view.mapping().toDrawing(click);
    QVERIFY(std::abs(line->getEndPoint().x - expected.x()) <= view.viewWindow().unitsPerPixel());
    QVERIFY(std::abs(line->getEndPoint().y - expected.y()) <= view.viewWindow().unitsPerPixel());
    QVERIFY(child->windowTitle().endsWith(QStringLiteral("[*]")));
    QVERIFY(child->isWindowModified());

    QAction* undo = frame_->action("edit.undo");
    QAction* redo = frame_->action("edit.redo");
    QCOMPARE(undo->text(), QStringLiteral("&Undo Draw Line"));
    QVERIFY(!redo->isEnabled());
    undo->trigger();
    QCOMPARE(EntityCount(graph), 0);
    QCOMPARE(redo->text(), QStringLiteral("&Redo Draw Line"));
    QVERIFY(!undo->isEnabled());
    redo->trigger();
    QCOMPARE(EntityCount(graph), 1);
    QCOMPARE(undo->text(), QStringLiteral("&Undo Draw Line"));
  }

  void invalidTypedInputIsKeptWithAMessage() {
    ui::CChildFrame* child = openSheet();
    QVERIFY(child != nullptr);
    frame_->action("draw.circlecr")->trigger();
    QTest::keyClicks(frame_->inputBox(), QStringLiteral("12"));
    QTest::keyClick(frame_->inputBox(), Qt::Key_Return);
    QCOMPARE(messages_.messages().size(), size_t{1});
    QCOMPARE(QString::fromStdString(messages_.messages()[0]), QStringLiteral("Invalid data !"));
    QCOMPARE(frame_->inputBox()->text(), QStringLiteral("12"));
    // A radius is a number: centre typed, then "12".
    frame_->inputBox()->clear();
    QTest::keyClicks(frame_->inputBox(), QStringLiteral("200,200"));
    QTest::keyClick(frame_->inputBox(), Qt::Key_Return);
    QTest::keyClicks(frame_->inputBox(), QStringLiteral("12"));
    QTest::keyClick(frame_->inputBox(), Qt::Key_Return);
    QCOMPARE(EntityCount(child->document().graph()), 1);
    QCOMPARE(frame_->action("edit.undo")->text(), QStringLiteral("&Undo Draw Circle"));
  }

  void layersAndPropertiesEditARealEntity() {
    ui::CChildFrame* child = openSheet();
    QVERIFY(child != nullptr);
    model::CGraph& graph = child->document().graph();
    frame_->action("draw.line")->trigger();
    for (const char* text : {"10,10", "110,10"}) {
      QTest::keyClicks(frame_->inputBox(), QString::fromLatin1(text));
      QTest::keyClick(frame_->inputBox(), Qt::Key_Return);
    }
    QTest::keyClick(&child->view(), Qt::Key_Escape);
    QCOMPARE(EntityCount(graph), 1);
    model::CEntity* line = graph.currentLayer()->first();

    // Layers: a new layer becomes current; the name rules hold.
    ui::LayersDock* layers = frame_->layersDock();
    QCOMPARE(layers->list()->topLevelItemCount(), 1);
    QVERIFY(layers->addLayer());
    QCOMPARE(layers->list()->topLevelItemCount(), 2);
    model::CLayer* added = graph.currentLayer();
    QCOMPARE(QString::fromStdString(added->name()), QStringLiteral("Layer1"));
    QVERIFY(!layers->renameLayer(added, QStringLiteral("bad-name")));
    QCOMPARE(QString::fromStdString(messages_.messages().back()), QStringLiteral("Invalid layer name!"));
    QVERIFY(!layers->renameLayer(added, QString::fromStdString(line->layer()->name()).toLower()));
    QCOMPARE(QString::fromStdString(messages_.messages().back()), QStringLiteral("Duplicate layer name!"));
    QVERIFY(layers->renameLayer(added, QStringLiteral("Walls_2")));
    QCOMPARE(QString::fromStdString(added->name()), QStringLiteral("Walls_2"));
    QVERIFY(layers->setLayerColour(added, 3));
    QCOMPARE(added->colour(), settings::ColorIndex{3});

    // Properties: nothing selected shows the drawing; the line's rows once selected.
    ui::PropertyDock* properties = frame_->propertyDock();
    QVERIFY(properties->grid().findRow("PropCurLayerName") >= 0);
    QVERIFY(properties->information()->toPlainText().contains(QStringLiteral("No vector selected!")));
    frame_->action("edit.selectall")->trigger();
    QVERIFY(properties->information()->toPlainText().contains(QStringLiteral("Name: Line")));
    const int startX = properties->grid().findRow("PropLineStartX");
    QVERIFY(startX >= 0);
    QCOMPARE(properties->editRow(startX, 0, QStringLiteral("50")), model::kPropertyChanged);
    QCOMPARE(line->getStartPoint().x, 50.0);
    QCOMPARE(frame_->action("edit.undo")->text(), QStringLiteral("&Undo Modify Vectors"));
    const size_t before = messages_.messages().size();
    QCOMPARE(properties->editRow(properties->grid().findRow("PropLineStartX"), 0, QStringLiteral("abc")),
             model::kPropertyInvalid);
    QCOMPARE(messages_.messages().size(), before + 1);
    QCOMPARE(line->getStartPoint().x, 50.0);

    // The layer row moves the line to the new layer.
    const int layerRow = properties->grid().findRow("PropLayerName");
    QCOMPARE(properties->editRow(layerRow, 0, QStringLiteral("Walls_2")), model::kPropertyLayerChange);
    QCOMPARE(line->layer(), added);
    QCOMPARE(layers->list()->topLevelItem(0)->text(3), QStringLiteral("1"));

    // Hiding the layer hides and deselects its line; deleting needs the answer Yes.
    QVERIFY(layers->setLayerVisible(added, false));
    QVERIFY(graph.selection().empty());
    QVERIFY(layers->makeCurrent(layers->layerAt(1)));
    layers->list()->clearSelection();
    layers->list()->topLevelItem(0)->setSelected(true);
    messages_.setAnswer(false);
    QVERIFY(!layers->deleteSelected());
    messages_.setAnswer(true);
    QVERIFY(layers->deleteSelected());
    QCOMPARE(EntityCount(graph), 0);
  }

  void saveDialogFollowsTheType() {
#ifdef QUILLON_UI_WITHOUT_SAVE
    QSKIP("built without the save dialog");
#else
    editor::SaveVectorDialog model(1, "/tmp/drawing.bmp", formats::DestinationSize{}, true);
    ui::CSaveVecDlg dialog(model);
    QVERIFY(dialog.fileEdit()->text().endsWith(QStringLiteral("drawing.dxf")));
    QVERIFY(!dialog.sizeGroup()->isEnabled());
    QVERIFY(dialog.saveWidthBox()->isEnabled());
    dialog.typeBox()->setCurrentIndex(formats::kFormatHpgl - 1);
    QVERIFY(!dialog.saveWidthBox()->isEnabled());
    QVERIFY(dialog.fileEdit()->text().endsWith(QStringLiteral("drawing.plt")));
    dialog.typeBox()->setCurrentIndex(formats::kFormatPdf - 1);
    QVERIFY(dialog.sizeGroup()->isEnabled());
    QVERIFY(dialog.saveWidthBox()->isEnabled());
    QVERIFY(dialog.fileEdit()->text().endsWith(QStringLiteral("drawing.pdf")));
    dialog.typeBox()->setCurrentIndex(formats::kFormatCgm - 1);
    QVERIFY(!dialog.saveWidthBox()->isEnabled());
    QVERIFY(!dialog.sizeGroup()->isEnabled());
    // A width that is not a number keeps the dialog open with a message.
    dialog.typeBox()->setCurrentIndex(formats::kFormatSvg - 1);
    dialog.widthEdit()->setText(QStringLiteral("wide"));
    messages_.clear();
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(QString::fromStdString(messages_.messages().at(0)), QStringLiteral("Invalid data !"));
#endif
  }

  void savesEveryFormatAndReopensTheDxf() {
#ifdef QUILLON_UI_WITHOUT_SAVE
    QSKIP("built without the save dialog");
#else
    ui::CChildFrame* child = openSheet();
    QVERIFY(child != nullptr);
    frame_->action("draw.polyline")->trigger();
    for (const char* text : {"10,10", "200,40", "150,300"}) {
      QTest::keyClicks(frame_->inputBox(), QString::fromLatin1(text));
      QTest::keyClick(frame_->inputBox(), Qt::Key_Return);
    }
    child->view().processor().sendEvent(editor::EventCode::Close);
    QCOMPARE(EntityCount(child->document().graph()), 1);
    QTemporaryDir out;
    for (const formats::OutputFormat& format : formats::OutputFormats()) {
      const QString base = out.filePath(QStringLiteral("drawing%1").arg(format.index));
      frame_->saveDialog = [&](editor::SaveVectorDialog& dialog) {
        dialog.selectFormat(format.index);
        dialog.fileName = base.toStdString();
        return dialog.accept();
      };
      QVERIFY2(frame_->saveVector(*child), format.cliName.data());
      const QFileInfo written(base + QString::fromLatin1(format.extension.data(), format.extension.size()));
      QVERIFY2(written.exists() && written.size() > 0, qPrintable(written.filePath()));
      QVERIFY(!child->document().modified());
    }
    QVERIFY(frame_->openVector(out.filePath(QStringLiteral("drawing1.dxf"))));
    QCOMPARE(frame_->children().size(), 2);
    QCOMPARE(EntityCount(frame_->activeChild()->document().graph()), 1);
#endif
  }

  void closingAsksAboutUnsavedVectors() {
    ui::CChildFrame* child = openSheet();
    QVERIFY(child != nullptr);
    child->setCloseGuard([this](ui::CChildFrame& f) {
      return editor::ConfirmClose(f.document(), [this](std::string_view t) {
        return frame_->askQuestion(QString::fromUtf8(t.data(), t.size()));
      }, [](editor::Document&) { return false; });
    });
    frame_->action("draw.line")->trigger();
    for (const char* text : {"10,10", "60,60"}) {
      QTest::keyClicks(frame_->inputBox(), QString::fromLatin1(text));
      QTest::keyClick(frame_->inputBox(), Qt::Key_Return);
    }
    QString asked;
    frame_->askQuestion = [&asked](const QString& text) {
      asked = text;
      return editor::Answer::Cancel;
    };
    QVERIFY(!child->close());
    QCOMPARE(asked, QStringLiteral("Save changes to vector file?"));
    QCOMPARE(frame_->children().size(), 1);
    frame_->askQuestion = [](const QString&) { return editor::Answer::No; };
    QVERIFY(child->close());
    QTest::qWait(10);
    QCOMPARE(frame_->children().size(), 0);
  }

  void zoomAndPanChangeTheWindow() {
    ui::CChildFrame* child = openSheet();
    QVERIFY(child != nullptr);
    ui::DrawingView& view = child->view();
    const double fitted = view.viewWindow().unitsPerPixel();
    QWheelEvent wheel(QPointF(view.width() / 2.0, view.height() / 2.0), view.mapToGlobal(QPointF(view.width() / 2.0, view.height() / 2.0)),
                      QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &wheel);
    QVERIFY(view.viewWindow().unitsPerPixel() < fitted);
    const double xMin = view.viewWindow().xMin();
    QTest::mousePress(&view, Qt::MiddleButton, {}, QPoint(100, 100));
    QMouseEvent move(QEvent::MouseMove, QPointF(140, 100), view.mapToGlobal(QPointF(140, 100)), Qt::NoButton,
                     Qt::MiddleButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &move);
    QTest::mouseRelease(&view, Qt::MiddleButton, {}, QPoint(140, 100));
    QVERIFY(view.viewWindow().xMin() < xMin);
    frame_->action("view.zoomfit")->trigger();
    QVERIFY(std::abs(view.viewWindow().unitsPerPixel() - fitted) < fitted * 1e-6);
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
