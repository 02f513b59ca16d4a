#pragma once
// The clean-up commands of the Raster menu: threshold, dynamic threshold,
// fill holes, resample, median filter, template filter, colour replace,
// brightness and contrast, flip, mirror, invert, the fill colour, and the
// raster undo and redo history menus. Each operation asks its dialog, runs
// on a worker thread with a progress window and Cancel, records one raster
// undo entry and repaints the view.

#include <QObject>
#include <functional>

#include "editor/raster_dialogs.h"
#include "raster_progress.h"

class QDialog;
class QMenu;

namespace quillon::ui {

class CMainFrame;
class DrawingView;

class RasterMenu : public QObject {
  Q_OBJECT

 public:
  // Adds the commands to the frame and lays them into its "raster" menu.
  explicit RasterMenu(CMainFrame& frame);

  // Answers a dialog instead of showing it (tests): fill the dialog, return
  // whether it is accepted. Empty: the dialog is shown.
  std::function<bool(QDialog&)> answerDialog;
  // Passed to every run (tests press Cancel through it).
  RasterRunHooks runHooks;

  // Runs a raster operation on the active view with the progress window.
  // The result of the command (Failed without an active raster).
  editor::RasterCommandResult run(const QString& title, const RasterCommand& command);

  // Enables each command for the active raster's kind and names the undo
  // and redo steps in the menu.
  void updateState();

 private:
  bool ask(QDialog& dialog);
  DrawingView* view() const;
  void threshold();
  void dynamicThreshold();
  void fillHoles();
  void resample();
  void median();
  void templateFilter();
  void colorReplace();
  void brightnessContrast();
  void fillColour();
  void rebuildHistory(QMenu* menu, bool redo);
  void finished(editor::RasterCommandResult result);

  CMainFrame& frame_;
};

}  // namespace quillon::ui
