#pragma once
// The Trace command of a document window (menu, toolbar and the view's
// context menu): the raster made 1-bit, the "Trace Raster Image" undo step,
// the trace behind the modal progress window, then the result message with
// the elapsed time and the repainted drawing.

class QWidget;

namespace quillon::ui {

class CChildFrame;

// Runs the command on the window's document with the current trace
// parameters; the progress window is centred on parent. Answers the trace's
// result code, or -1 when the raster could not be made 1-bit ("Colors < 2"
// was shown and nothing else happened).
int RunTrace(CChildFrame& frame, QWidget* parent);

}  // namespace quillon::ui
