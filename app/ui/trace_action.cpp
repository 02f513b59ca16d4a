#include "trace_action.h"

#include <QApplication>

#include "child_frame.h"
#include "drawing_view.h"
#include "editor/document.h"
#include "editor/trace_command.h"
#include "settings/current_options.h"
#include "trace_progress_dlg.h"

namespace quillon::ui {

int RunTrace(CChildFrame& frame, QWidget* parent) {
  DrawingView& view = frame.view();
  editor::TraceCommandHooks hooks = editor::ViewHooks(view.processor());
  hooks.waitCursor = [](bool on) {
    if (on) QApplication::setOverrideCursor(Qt::WaitCursor);
    else QApplication::restoreOverrideCursor();
  };
  // The run recolours the raster's ink and replaces the vectors.
  hooks.redraw = [&view] {
    view.setBusy(false);
    view.rasterChanged();
  };
  editor::TraceCommand command(frame.document(), settings::CurrentTraceOption(), hooks);
  const int bitsBefore = frame.document().raster().bitCount();
  const bool prepared = command.prepare();
  // The threshold step replaced a grey or colour raster; a 1-bit one keeps
  // its cached pictures (rebuilding them costs a second on a large sheet).
  if (frame.document().raster().bitCount() != bitsBefore) view.rasterChanged();
  if (!prepared) return -1;

  // Show the 1-bit raster once, then keep painting that picture while the
  // worker owns the drawing.
  view.repaint();
  view.setBusy(true);
  {
    CTraceProgressDlg dialog(command, parent);
    dialog.exec();
  }
  // The worker has ended: the message box may be painted over the new drawing.
  view.setBusy(false);
  command.finish();
  return command.result();
}

}  // namespace quillon::ui
