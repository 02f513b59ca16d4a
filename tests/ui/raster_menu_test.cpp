// The Raster menu driven from its actions without a display: each operation
// through its dialog, on a worker with the progress window, undone and
// redone from the menu; a cancelled run; the brightness preview on the view.
// With QUILLON_DIALOG_SHOTS set, every dialog is also saved there as PNG.

#include <QAction>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <random>

#include "child_frame.h"
#include "drawing_view.h"
#include "editor/document.h"
#include "main_frame.h"
#include "model/graph.h"
#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "raster/template_library.h"
#include "raster_dialogs.h"
#include "raster_menu.h"

using namespace quillon;

namespace {

// Noise over a gradient, so every filter changes it.
raster::CRaster Noise(int width, int height, int bits, unsigned seed = 7) {
  raster::CRaster r;
  r.create(width, height, bits);
  if (bits == 8) r.makeGreyPalette();
  std::mt19937 random(seed);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const auto v = static_cast<uint8_t>((x + y + random() % 96) & 0xFF);
      r.setColour(x, y, v, static_cast<uint8_t>(255 - v), static_cast<uint8_t>(random() & 0xFF));
    }
  return r;
}

QByteArray Pixels(const raster::CRaster& r) {
  QByteArray bytes;
  bytes.append(QByteArray::number(r.width()) + 'x' + QByteArray::number(r.height()) + 'x' +
               QByteArray::number(r.bitCount()) + ':');
  for (int y = 0; y < r.height(); ++y)
    bytes.append(reinterpret_cast<const char*>(r.row(y)), r.usedRowBytes());
  if (r.palette() != nullptr) bytes.append(reinterpret_cast<const char*>(r.palette()), 4 * r.paletteSize());
  return bytes;
}

void Shot(QWidget& widget, const QString& name) {
  const QByteArray dir = qgetenv("QUILLON_DIALOG_SHOTS");
  if (dir.isEmpty()) return;
  widget.adjustSize();
  widget.grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + name + QStringLiteral(".png"), "PNG");
}

}  // namespace

class RasterMenuTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir config_;
  platform::MemoryKeyValueStore store_;
  platform::CaptureMessageSink messages_;
  std::unique_ptr<platform::ScopedMessageSink> sinkGuard_;
  std::unique_ptr<ui::CMainFrame> frame_;
  ui::RasterMenu* menu_ = nullptr;

  ui::CChildFrame* open(raster::CRaster raster) {
    auto document = std::make_unique<editor::Document>(std::move(raster), "scan.tif", -1);
    ui::CChildFrame* child = frame_->addDocument(std::move(document));
    QTest::qWait(20);
    frame_->updateUi();
    return child;
  }
  void trigger(const char* name) {
    QAction* act = frame_->action(QString::fromLatin1(name));
    QVERIFY2(act != nullptr && act->isEnabled(), name);
    act->trigger();
  }
  // The colour the view shows at its centre.
  QRgb centreShown(ui::CChildFrame* child) {
    QTest::qWait(10);
    const QImage shown = child->view().grab().toImage();
    return shown.pixel(shown.width() / 2, shown.height() / 2);
  }

 private slots:
  void initTestCase() {
    qputenv("QUILLON_CONFIG_DIR", config_.path().toLocal8Bit());
    sinkGuard_ = std::make_unique<platform::ScopedMessageSink>(messages_);
  }

  void init() {
    messages_.clear();
    frame_ = std::make_unique<ui::CMainFrame>(store_);
    frame_->askQuestion = [](const QString&) { return editor::Answer::No; };
    frame_->show();
    QVERIFY(QTest::qWaitForWindowExposed(frame_.get()));
    menu_ = frame_->findChild<ui::RasterMenu*>();
    QVERIFY(menu_ != nullptr);
  }

  void cleanup() { frame_.reset(); }

  void medianFromTheMenuIsUndoneAndRedoneByName() {
    ui::CChildFrame* child = open(Noise(160, 120, 8));
    raster::CRaster& image = child->document().raster();
    const QByteArray original = Pixels(image);
    // The whole small image is in view, so the preview shows the result.
    QByteArray previewed;
    menu_->answerDialog = [&previewed](QDialog& dialog) {
      auto* median = qobject_cast<ui::MedianDlg*>(&dialog);
      if (median == nullptr) return false;
      median->setWindowSize(5);
      QTest::qWait(250);
      previewed = Pixels(median->preview()->result());
      Shot(dialog, QStringLiteral("median"));
      return true;
    };
    trigger("raster.median");
    const QByteArray filtered = Pixels(image);
    QVERIFY(filtered != original);
    QCOMPARE(previewed, filtered);
    QCOMPARE(child->document().rasterUndo().count(), size_t{1});
    QVERIFY(frame_->action("raster.undo")->text().endsWith(QStringLiteral("Median Filter")));

    trigger("raster.undo");
    QCOMPARE(Pixels(image), original);
    QVERIFY(frame_->action("raster.redo")->text().endsWith(QStringLiteral("Median Filter")));
    QCOMPARE(frame_->statusBar()->currentMessage(), QStringLiteral("Undo: Median Filter"));
    trigger("raster.redo");
    QCOMPARE(Pixels(image), filtered);
  }

  void invertRepaintsTheViewAndHistoryUndoesSeveralSteps() {
    raster::CRaster white;
    white.create(64, 48, 1);  // all background
    ui::CChildFrame* child = open(std::move(white));
    QCOMPARE(qGray(centreShown(child)), 255);
    trigger("raster.invert");
    // The view's reduced copies were dropped: the new ink shows.
    QCOMPARE(qGray(centreShown(child)), 0);
    trigger("raster.flip");
    trigger("raster.mirror");
    QCOMPARE(child->document().rasterUndo().count(), size_t{3});

    // The undo history's first item takes back all three steps.
    QMenu* history = frame_->menu("raster")->findChild<QMenu*>(QStringLiteral("raster.undohistory"));
    QVERIFY(history != nullptr);
    emit history->aboutToShow();
    QCOMPARE(history->actions().size(), 3);
    QCOMPARE(history->actions().first()->text(), QStringLiteral(" 1 - Invert Raster"));
    history->actions().first()->trigger();
    QCOMPARE(child->document().rasterUndo().doneCount(), size_t{0});
    QCOMPARE(qGray(centreShown(child)), 255);
  }

  void cancelledLongOperationLeavesThePixels() {
    ui::CChildFrame* child = open(Noise(1800, 1400, 24));
    raster::CRaster& image = child->document().raster();
    const QByteArray original = Pixels(image);
    // Enlarging with the widest filter takes long enough to be stopped.
    menu_->answerDialog = [](QDialog& dialog) {
      auto* resample = qobject_cast<ui::ResampleDlg*>(&dialog);
      if (resample == nullptr) return false;
      resample->model().setWidth(5400);
      resample->model().filter = 5;  // Lanczos3
      return true;
    };
    int shown = 0;
    menu_->runHooks.progressShown = [&shown](QProgressDialog& progress) {
      if (shown++ == 0) {
        Shot(progress, QStringLiteral("progress"));
        QPushButton* cancel = progress.findChild<QPushButton*>();
        QVERIFY(cancel != nullptr);
        QTest::mouseClick(cancel, Qt::LeftButton);
      }
    };
    trigger("raster.resample");
    QVERIFY(shown > 0);
    QCOMPARE(Pixels(image), original);
    QCOMPARE(child->document().rasterUndo().count(), size_t{0});
    QVERIFY(frame_->statusBar()->currentMessage().startsWith(QStringLiteral("Cancelled")));
  }

  void thresholdUsesTheSuggestedLevelAndFillHolesRefusesZero() {
    raster::CRaster page;
    page.create(80, 60, 8);
    page.makeGreyPalette();
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 80; ++x) page.row(y)[x] = (x > 20 && x < 60 && y > 15 && y < 45) ? 30 : 240;
    page.row(30)[40] = 240;  // a hole in the ink
    ui::CChildFrame* child = open(std::move(page));
    raster::CRaster& image = child->document().raster();
    menu_->answerDialog = [](QDialog& dialog) {
      auto* threshold = qobject_cast<ui::ThresholdDlg*>(&dialog);
      if (threshold == nullptr) return false;
      threshold->setAutomatic(true);
      Shot(dialog, QStringLiteral("threshold"));
      return true;
    };
    trigger("raster.threshold");
    QCOMPARE(image.bitCount(), 1);
    QVERIFY(image.bitAt(30, 30));
    QVERIFY(!image.bitAt(5, 5));
    QVERIFY(!image.bitAt(40, 30));
    QVERIFY(frame_->action("raster.undo")->text().endsWith(QStringLiteral("Thresholding")));
    QVERIFY(frame_->action("raster.fillholes")->isEnabled());
    QVERIFY(!frame_->action("raster.threshold")->isEnabled());

    bool refused = false;
    menu_->answerDialog = [&](QDialog& dialog) {
      auto* holes = qobject_cast<ui::FillHolesDlg*>(&dialog);
      if (holes == nullptr) return false;
      holes->setTyped(0);
      holes->accept();
      refused = dialog.result() != QDialog::Accepted && messages_.messages() ==
                                                            std::vector<std::string>{"Holes size must > 0"};
      holes->setTyped(1);
      holes->accept();
      Shot(dialog, QStringLiteral("fillholes"));
      return dialog.result() == QDialog::Accepted;
    };
    trigger("raster.fillholes");
    QVERIFY(refused);
    QVERIFY(image.bitAt(40, 30));
    QCOMPARE(child->document().rasterUndo().count(), size_t{2});
  }

  void brightnessPreviewShowsOnTheViewAndCancelLeavesTheRaster() {
    raster::CRaster grey;
    grey.create(64, 48, 8);
    grey.makeGreyPalette();
    grey.fillBytes(100);
    ui::CChildFrame* child = open(std::move(grey));
    const QByteArray original = Pixels(child->document().raster());
    QCOMPARE(qGray(centreShown(child)), 100);
    int previewed = -1;
    menu_->answerDialog = [&](QDialog& dialog) {
      auto* adjust = qobject_cast<ui::BrightnessContrastDlg*>(&dialog);
      if (adjust == nullptr) return false;
      adjust->setBrightness(50);
      previewed = qGray(centreShown(child));
      Shot(dialog, QStringLiteral("brightness"));
      return false;
    };
    trigger("raster.brightcontrast");
    QCOMPARE(previewed, 100 + 127);
    QCOMPARE(Pixels(child->document().raster()), original);
    QCOMPARE(qGray(centreShown(child)), 100);

    menu_->answerDialog = [](QDialog& dialog) {
      qobject_cast<ui::BrightnessContrastDlg*>(&dialog)->setContrast(100);
      return true;
    };
    trigger("raster.brightcontrast");
    QCOMPARE(child->document().raster().palette()[4 * 100], uint8_t{72});  // 100 moves to 72
    QCOMPARE(qGray(centreShown(child)), 72);
  }

  void templateAddedInTheDialogIsStoredAndApplied() {
    ui::CChildFrame* child = open(Noise(40, 30, 24));
    const QByteArray original = Pixels(child->document().raster());
    menu_->answerDialog = [](QDialog& dialog) {
      auto* library = qobject_cast<ui::TemplateDlg*>(&dialog);
      if (library == nullptr) return false;
      raster::KernelTemplate sharpen = raster::KernelTemplate::Fresh();
      sharpen.name = "Sharpen";
      sharpen.coefficients = {0, -1, 0, -1, 5, -1, 0, -1, 0};
      sharpen.factor = 1.0;
      library->showTemplate(sharpen);
      library->add();
      Shot(dialog, QStringLiteral("template"));
      library->apply();
      return dialog.result() == QDialog::Accepted;
    };
    trigger("raster.template");
    const std::vector<raster::KernelTemplate> stored = raster::LoadTemplates(store_);
    QCOMPARE(stored.size(), size_t{1});
    QCOMPARE(stored.front().name, std::string("Sharpen"));
    QVERIFY(Pixels(child->document().raster()) != original);
    QVERIFY(frame_->action("raster.undo")->text().endsWith(QStringLiteral("Filter")));
  }

  void resampleAndColourReplaceDialogs() {
    ui::CChildFrame* child = open(Noise(50, 40, 24));
    menu_->answerDialog = [](QDialog& dialog) {
      auto* resample = qobject_cast<ui::ResampleDlg*>(&dialog);
      if (resample == nullptr) return false;
      resample->model().setWidth(100);
      resample->model().filter = 1;  // Box
      resample->refresh();
      Shot(dialog, QStringLiteral("resample"));
      return true;
    };
    trigger("raster.resample");
    QCOMPARE(child->document().raster().width(), 100);
    QCOMPARE(child->document().raster().height(), 80);

    raster::CRaster& image = child->document().raster();
    uint8_t b = 0, g = 0, r = 0;
    image.colourAt(3, 3, b, g, r);
    menu_->answerDialog = [&](QDialog& dialog) {
      auto* replace = qobject_cast<ui::ColorReplaceDlg*>(&dialog);
      if (replace == nullptr) return false;
      replace->setSource(settings::Rgb{r, g, b});
      replace->setReplacement(settings::Rgb{0, 255, 0});
      replace->setBound(0);
      Shot(dialog, QStringLiteral("colorreplace"));
      return true;
    };
    trigger("raster.colorreplace");
    image.colourAt(3, 3, b, g, r);
    QCOMPARE(int(g), 255);
    QCOMPARE(int(r), 0);
    QCOMPARE(child->document().rasterUndo().count(), size_t{2});
  }
};

QTEST_MAIN(RasterMenuTest)
#include "raster_menu_test.moc"
