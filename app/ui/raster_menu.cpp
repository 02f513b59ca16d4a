#include "raster_menu.h"

#include <QColorDialog>
#include <QMenu>
#include <QStatusBar>

#include "child_frame.h"
#include "drawing_view.h"
#include "editor/document.h"
#include "main_frame.h"
#include "raster/raster.h"
#include "raster_dialogs.h"
#include "settings/current_options.h"
#include "ui_text.h"

namespace quillon::ui {
namespace {

using editor::RasterCommandContext;
using editor::RasterCommandResult;
using editor::RasterMenuCommand;

struct MenuCommand {
  const char* name;
  RasterMenuCommand kind;
};
constexpr MenuCommand kKinds[] = {
    {"raster.threshold", RasterMenuCommand::Threshold},
    {"raster.dynamicthreshold", RasterMenuCommand::DynamicThreshold},
    {"raster.fillholes", RasterMenuCommand::FillHoles},
    {"raster.resample", RasterMenuCommand::Resample},
    {"raster.median", RasterMenuCommand::MedianFilter},
    {"raster.template", RasterMenuCommand::TemplateFilter},
    {"raster.colorreplace", RasterMenuCommand::ColorReplace},
    {"raster.brightcontrast", RasterMenuCommand::BrightnessContrast},
    {"raster.flip", RasterMenuCommand::Flip},
    {"raster.mirror", RasterMenuCommand::Mirror},
    {"raster.invert", RasterMenuCommand::Invert},
};

QString NameOf(const raster::UndoName& name) { return Q(name.get()); }

}  // namespace

RasterMenu::RasterMenu(CMainFrame& frame) : QObject(&frame), frame_(frame) {
  setObjectName(QStringLiteral("RasterMenu"));
  const auto simple = [this](const raster::UndoName& name, RasterCommandResult (*operation)(const RasterCommandContext&)) {
    return [this, &name, operation] { finished(run(NameOf(name), operation)); };
  };
  const CommandSpec specs[] = {
      {"raster.threshold", "MainActThresholdCap", "&Threshold...", "MainActThresholdHint",
       "Convert the raster to black and white at one threshold", "", {}, [this] { threshold(); }},
      {"raster.dynamicthreshold", "MainActSmartThresholdCap", "&Dynamic Threshold...", "MainActSmartThresholdHint",
       "Convert the raster to black and white with a threshold that follows the local brightness", "", {},
       [this] { dynamicThreshold(); }},
      {"raster.fillholes", "MainActFillHolesCap", "Fill &Holes...", "MainActFillHolesHint",
       "Close small gaps and holes of a black-and-white raster", "", {}, [this] { fillHoles(); }},
      {"raster.resample", "MainActResampleCap", "Re&sample...", "MainActResampleHint",
       "Change the pixel size and resolution of the raster", "", {}, [this] { resample(); }},
      {"raster.median", "MainActMedianCap", "&Median Filter...", "MainActMedianHint", "Remove speckle from the raster",
       "", {}, [this] { median(); }},
      {"raster.template", "MainActTemplateCap", "Templa&te Filter...", "MainActTemplateHint",
       "Filter the raster with a stored convolution template", "", {}, [this] { templateFilter(); }},
      {"raster.colorreplace", "MainActColorReplaceCap", "Color &Replace...", "MainActColorReplaceHint",
       "Replace one colour of the raster by another", "", {}, [this] { colorReplace(); }},
      {"raster.brightcontrast", "MainActBrightContrastCap", "&Brightness && Contrast...", "MainActBrightContrastHint",
       "Adjust brightness and contrast of the raster", "", {}, [this] { brightnessContrast(); }},
      {"raster.flip", "MainActFlipCap", "&Flip", "MainActFlipHint", "Turn the raster upside down", "", {},
       simple(raster::UndoName::Flip, &editor::FlipRaster)},
      {"raster.mirror", "MainActMirrorCap", "M&irror", "MainActMirrorHint", "Reverse the raster left to right", "", {},
       simple(raster::UndoName::Mirror, &editor::MirrorRaster)},
      {"raster.invert", "MainActInvertCap", "In&vert", "MainActInvertHint", "Invert the raster's colours", "", {},
       simple(raster::UndoName::Invert, &editor::InvertRaster)},
      {"raster.fillcolor", "MainActFillColorCap", "&Color...", "MainActFillColorHint",
       "Choose the colour the Fill commands paint with", "", {}, [this] { fillColour(); }},
  };
  for (const CommandSpec& spec : specs) frame.addCommand(spec);

  QMenu* menu = frame.menu(QStringLiteral("raster"));
  const auto act = [&frame](const char* name) { return frame.action(QString::fromLatin1(name)); };
  QAction* rotate = act("raster.rotate");
  const auto insertBefore = [menu](QAction* before, std::initializer_list<QAction*> actions) {
    for (QAction* a : actions) {
      if (a == nullptr) menu->insertSeparator(before);
      else menu->insertAction(before, a);
    }
  };
  insertBefore(rotate, {act("raster.threshold"), act("raster.dynamicthreshold"), act("raster.fillholes"), nullptr,
                        act("raster.median"), act("raster.template"), act("raster.colorreplace"),
                        act("raster.brightcontrast"), nullptr, act("raster.resample")});
  // Flip, mirror and invert follow Crop.
  const QList<QAction*> items = menu->actions();
  const qsizetype crop = items.indexOf(act("raster.crop"));
  QAction* afterCrop = crop >= 0 && crop + 1 < items.size() ? items[crop + 1] : nullptr;
  insertBefore(afterCrop, {act("raster.flip"), act("raster.mirror"), act("raster.invert")});
  if (QMenu* fill = frame.menu(QStringLiteral("raster.fill"))) {
    fill->addSeparator();
    fill->addAction(act("raster.fillcolor"));
  }
  // The history of raster steps, beside Undo and Redo.
  auto* undoHistory = new QMenu(T("RasterMenuUndoHistoryCap", "Undo Raster &History"), menu);
  auto* redoHistory = new QMenu(T("RasterMenuRedoHistoryCap", "Redo Raster Histor&y"), menu);
  undoHistory->setObjectName(QStringLiteral("raster.undohistory"));
  redoHistory->setObjectName(QStringLiteral("raster.redohistory"));
  const qsizetype redo = items.indexOf(act("raster.redo"));
  QAction* afterRedo = redo >= 0 && redo + 1 < items.size() ? items[redo + 1] : nullptr;
  menu->insertMenu(afterRedo, undoHistory);
  menu->insertMenu(afterRedo, redoHistory);
  connect(undoHistory, &QMenu::aboutToShow, this, [this, undoHistory] { rebuildHistory(undoHistory, false); });
  connect(redoHistory, &QMenu::aboutToShow, this, [this, redoHistory] { rebuildHistory(redoHistory, true); });
  connect(menu, &QMenu::aboutToShow, this, [this] { updateState(); });
}

DrawingView* RasterMenu::view() const { return frame_.activeView(); }

bool RasterMenu::ask(QDialog& dialog) {
  if (auto* previewed = qobject_cast<PreviewDialog*>(&dialog); previewed != nullptr && view() != nullptr)
    previewed->preview()->setSource(CropShownRaster(*view()));
  if (answerDialog) return answerDialog(dialog);
  return dialog.exec() == QDialog::Accepted;
}

RasterCommandResult RasterMenu::run(const QString& title, const RasterCommand& command) {
  DrawingView* v = view();
  if (v == nullptr) return RasterCommandResult::Failed;
  return RunRasterCommand(&frame_, *v, title, command, runHooks);
}

void RasterMenu::finished(RasterCommandResult result) {
  if (result == RasterCommandResult::Cancelled)
    frame_.statusBar()->showMessage(T("RasterOperationCancelled", "Cancelled: the raster is unchanged."), 5000);
  frame_.updateUi();
  updateState();
}

void RasterMenu::updateState() {
  DrawingView* v = view();
  const raster::CRaster* image = v != nullptr ? &v->document().raster() : nullptr;
  for (const MenuCommand& c : kKinds)
    frame_.action(QString::fromLatin1(c.name))->setEnabled(image != nullptr && editor::RasterCommandApplies(c.kind, *image));
  frame_.action(QStringLiteral("raster.fillcolor"))->setEnabled(v != nullptr);
  // Undo and Redo name the step they take.
  QAction* undo = frame_.action(QStringLiteral("raster.undo"));
  QAction* redo = frame_.action(QStringLiteral("raster.redo"));
  undo->setText(T("RasterMenuUndoCap", "&Undo Raster"));
  redo->setText(T("RasterMenuRedoCap", "&Redo Raster"));
  if (v == nullptr) return;
  const raster::RasterUndoList& list = v->document().rasterUndo();
  const size_t done = list.doneCount();
  if (done > 0) undo->setText(undo->text() + QStringLiteral(": ") + Q(list.entry(done - 1).name()));
  if (done < list.count()) redo->setText(redo->text() + QStringLiteral(": ") + Q(list.entry(done).name()));
}

void RasterMenu::rebuildHistory(QMenu* menu, bool redo) {
  menu->clear();
  DrawingView* v = view();
  if (v == nullptr) return;
  raster::RasterUndoList& list = v->document().rasterUndo();
  int k = 0;
  for (const std::string& item : redo ? list.redoMenu() : list.undoMenu()) {
    QAction* a = menu->addAction(Q(item));
    a->setStatusTip(redo ? T("EditMenuRedoHint", "Redo until this step") : T("EditMenuUndoHint", "Undo until this step"));
    connect(a, &QAction::triggered, this, [this, k, redo] {
      DrawingView* current = view();
      if (current == nullptr) return;
      current->processor().cancelCommand();
      raster::RasterUndoList& steps = current->document().rasterUndo();
      if ((redo ? steps.redoFromMenu(k) : steps.undoFromMenu(k)) > 0) current->rasterChanged();
      finished(RasterCommandResult::Done);
    });
    ++k;
  }
}

// ---- the commands -------------------------------------------------------------------------

void RasterMenu::threshold() {
  DrawingView* v = view();
  if (v == nullptr || !editor::RasterCommandApplies(RasterMenuCommand::Threshold, v->document().raster())) return;
  ThresholdDlg dialog(editor::ThresholdDialogModel::For(v->document().raster(), settings::CurrentTraceOption()),
                      &frame_);
  if (!ask(dialog)) return;
  const int level = dialog.model().effectiveLevel();
  finished(run(NameOf(raster::UndoName::Thresholding),
               [level](const RasterCommandContext& c) { return editor::ThresholdRaster(c, level); }));
}

void RasterMenu::dynamicThreshold() {
  DrawingView* v = view();
  if (v == nullptr || !editor::RasterCommandApplies(RasterMenuCommand::DynamicThreshold, v->document().raster()))
    return;
  DynamicThresholdDlg dialog(&frame_);
  if (!ask(dialog)) return;
  const editor::DynamicThresholdModel m = dialog.model();
  finished(run(NameOf(raster::UndoName::Thresholding), [m](const RasterCommandContext& c) {
    return editor::DynamicThresholdRaster(c, m.boxSize, m.ratio());
  }));
}

void RasterMenu::fillHoles() {
  DrawingView* v = view();
  if (v == nullptr || !editor::RasterCommandApplies(RasterMenuCommand::FillHoles, v->document().raster())) return;
  FillHolesDlg dialog(&frame_);
  if (!ask(dialog)) return;
  const int size = dialog.holeSize();
  finished(run(NameOf(raster::UndoName::FillHoles),
               [size](const RasterCommandContext& c) { return editor::FillHolesRaster(c, size); }));
}

void RasterMenu::resample() {
  DrawingView* v = view();
  if (v == nullptr || !v->document().hasRaster()) return;
  raster::CRaster& image = v->document().raster();
  int perMetre = raster::kDefaultPixelsPerMetre;
  image.resolution(perMetre);
  ResampleDlg dialog(editor::ResampleDialogModel(image.width(), image.height(), perMetre), &frame_);
  if (!ask(dialog)) return;
  const editor::ResampleDialogModel& m = dialog.model();
  const int width = m.width(), height = m.height(), resolution = m.pixelsPerMetre();
  const auto filter = static_cast<raster::ResampleFilter>(m.filter);
  finished(run(NameOf(raster::UndoName::Resample), [=](const RasterCommandContext& c) {
    return editor::ResampleRaster(c, width, height, resolution, filter);
  }));
}

void RasterMenu::median() {
  DrawingView* v = view();
  if (v == nullptr || !editor::RasterCommandApplies(RasterMenuCommand::MedianFilter, v->document().raster())) return;
  MedianDlg dialog(&frame_);
  if (!ask(dialog)) return;
  const int size = dialog.windowSize();
  finished(run(NameOf(raster::UndoName::MedianFilter),
               [size](const RasterCommandContext& c) { return editor::MedianFilterRaster(c, size); }));
}

void RasterMenu::templateFilter() {
  DrawingView* v = view();
  if (v == nullptr || !editor::RasterCommandApplies(RasterMenuCommand::TemplateFilter, v->document().raster()))
    return;
  TemplateDlg dialog(frame_.store(), &frame_);
  if (!ask(dialog) || !dialog.chosen()) return;
  const raster::KernelTemplate kernel = *dialog.chosen();
  finished(run(NameOf(raster::UndoName::Filter),
               [kernel](const RasterCommandContext& c) { return editor::TemplateFilterRaster(c, kernel); }));
}

void RasterMenu::colorReplace() {
  DrawingView* v = view();
  if (v == nullptr || !editor::RasterCommandApplies(RasterMenuCommand::ColorReplace, v->document().raster())) return;
  ColorReplaceDlg dialog(&frame_);
  if (!ask(dialog) || !dialog.settings().ready()) return;
  const raster::ColorReplaceSettings s = dialog.settings();
  finished(run(NameOf(raster::UndoName::ColorReplace),
               [s](const RasterCommandContext& c) { return editor::ColorReplaceRaster(c, s); }));
}

void RasterMenu::brightnessContrast() {
  DrawingView* v = view();
  if (v == nullptr || !editor::RasterCommandApplies(RasterMenuCommand::BrightnessContrast, v->document().raster()))
    return;
  editor::BrightnessContrastModel m;
  {
    // The preview ends with the dialog, before the raster is changed.
    BrightnessContrastDlg dialog(*v, &frame_);
    if (!ask(dialog)) return;
    m = dialog.model();
  }
  if (m.neutral()) return;
  finished(run(NameOf(raster::UndoName::AdjustBrightContrast), [m](const RasterCommandContext& c) {
    return editor::BrightnessContrastRaster(c, m.brightness, m.contrast);
  }));
}

void RasterMenu::fillColour() {
  DrawingView* v = view();
  if (v == nullptr) return;
  editor::Rgb& colour = v->document().fillColour;
  const QColor chosen = QColorDialog::getColor(QColor(colour.red, colour.green, colour.blue), &frame_,
                                               Plain(T("MainActFillColorCap", "&Color...")).remove(QStringLiteral("...")));
  if (!chosen.isValid()) return;
  colour = {static_cast<uint8_t>(chosen.red()), static_cast<uint8_t>(chosen.green()),
            static_cast<uint8_t>(chosen.blue())};
}

}  // namespace quillon::ui
