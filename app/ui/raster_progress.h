#pragma once
// Runs one raster command of a document window on a worker thread while a
// modal progress window shows the operation's text and percentage and offers
// Cancel. The GUI thread keeps painting (from the view's last rendered
// scene: the view does not read the raster while the worker writes it) and
// answers the messages the operation shows.

#include <QString>
#include <functional>

#include "editor/raster_commands.h"

class QProgressDialog;
class QWidget;

namespace quillon::ui {

class DrawingView;

using RasterCommand = std::function<editor::RasterCommandResult(const editor::RasterCommandContext&)>;

struct RasterRunHooks {
  // Called on the GUI thread each time the progress window is updated while
  // the worker runs (tests press Cancel from here).
  std::function<void(QProgressDialog&)> progressShown;
};

// Runs the command on the view's document and waits for it, then has the
// view drop its cached raster and repaint. The progress window appears only
// when the run takes longer than a moment.
editor::RasterCommandResult RunRasterCommand(QWidget* parent, DrawingView& view, const QString& title,
                                             const RasterCommand& command, const RasterRunHooks& hooks = {});

}  // namespace quillon::ui
