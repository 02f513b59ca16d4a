#pragma once
// The Trace command of a document window: makes the raster 1-bit, records
// the "Trace Raster Image" step, runs the trace worker behind the progress
// window and reports the result with the elapsed time.
//
// The command runs in three calls so that a window can sit between them:
//
//   TraceCommand trace(drawing, options, hooks);
//   if (!trace.prepare()) return;           // "Colors < 2" already shown
//   trace.start(progressWindow);            // or trace.run(&window) in place
//   ...  the window's Cancel calls trace.cancel(); its finished() arrives ...
//   trace.finish();                         // joins, shows the message, restarts
//
// The drawing and the raster must not be touched between prepare() and
// finish() by anyone but the worker.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/progress.h"
#include "raster/raster_undo.h"
#include "settings/trace_option.h"
#include "trace/trace_worker.h"

namespace quillon::model {
class CGraph;
}

namespace quillon::editor {

class CommandProcessor;
class Document;

// What the command asks of the view around it; each may be empty.
struct TraceCommandHooks {
  std::function<void()> endCommand;       // cancel the running view command (event 0)
  std::function<void()> restartCommand;   // restart the current view command (event 1)
  std::function<void(bool)> waitCursor;   // show (true) or hide the wait cursor
  std::function<void()> redraw;           // repaint the view after the run
};

// The hooks of a document window's view: its processor's events 0 and 1 and
// its repaint (the wait cursor is the window's own).
TraceCommandHooks ViewHooks(CommandProcessor& processor);

class TraceCommand {
 public:
  // A clock in milliseconds; the elapsed time is measured on it.
  using Clock = std::function<int64_t()>;

  // The options are copied when the run starts; the drawing must outlive
  // the command.
  TraceCommand(model::CGraph& drawing, const settings::TraceOption& options, TraceCommandHooks hooks = {});
  // A document's trace: its drawing, and its raster undo list for the
  // threshold step.
  TraceCommand(Document& document, const settings::TraceOption& options, TraceCommandHooks hooks = {});
  // Cancels and waits for a worker that is still running.
  ~TraceCommand();
  TraceCommand(const TraceCommand&) = delete;
  TraceCommand& operator=(const TraceCommand&) = delete;

  // Replaces the steady clock (tests).
  void setClock(Clock clock) { clock_ = std::move(clock); }
  // Replaces the stages the worker runs (tests).
  void setStageHooks(trace::TraceStageHooks hooks) { stageHooks_ = std::move(hooks); }

  // Ends the running view command, makes the raster 1-bit with the
  // automatic or stored threshold (a 1-bit raster is kept as it is) and
  // records the vector undo step "Trace Raster Image". With a raster undo
  // list the threshold is recorded there as "Thresholding": the list's
  // earlier entries (erased pixel runs of a grey raster) only fit the raster
  // they were made on, so the conversion must be undoable before them. When the raster
  // cannot be converted (or there is none) "Colors < 2" is shown, the view
  // command restarts and the answer is false: nothing else may follow.
  bool prepare();
  // The number of stages the progress window counts to.
  int stageTotal() const;

  // Runs the trace on the calling thread; the window (may be null) receives
  // every notification. Answers the result code.
  int run(platform::ProgressSink* window = nullptr);
  // Runs the trace on a worker thread. The window receives the
  // notifications on that thread, finished() last; it must not call
  // finish() from inside finished(). False when the thread could not be
  // made (finished(20) was delivered).
  bool start(platform::ProgressSink& window);
  // Asks the run to stop at its next check point; any thread may call it.
  void cancel();
  // Waits for a started worker to end; answers the result code.
  int wait();

  // Waits for the run, then shows the result message (followed by the
  // elapsed time for a finished run), redraws and restarts the view
  // command. Answers the message shown.
  std::string finish();

  // The result code (-1 before a run ended) and the elapsed milliseconds.
  int result() const { return result_; }
  int64_t elapsedMilliseconds() const { return elapsed_; }

 private:
  class Relay;
  int64_t now() const;
  bool beginRun(platform::ProgressSink* window);

  model::CGraph& drawing_;
  raster::RasterUndoList* rasterUndo_ = nullptr;
  settings::TraceOption options_;
  TraceCommandHooks hooks_;
  trace::TraceStageHooks stageHooks_;
  Clock clock_;
  std::unique_ptr<Relay> relay_;
  std::unique_ptr<trace::TraceWorker> worker_;
  bool prepared_ = false;
  int64_t startTick_ = 0;
  int64_t elapsed_ = 0;
  int result_ = -1;
};

// The whole command on the calling thread: prepare, run, finish. Answers
// the result code, or -1 when the raster could not be made 1-bit.
int RunTraceCommand(model::CGraph& drawing, const settings::TraceOption& options, const TraceCommandHooks& hooks = {},
                    platform::ProgressSink* window = nullptr);
// The same on the processor's document, with the view's hooks.
int RunTraceCommand(CommandProcessor& processor, const settings::TraceOption& options,
                    platform::ProgressSink* window = nullptr);
int RunTraceCommand(TraceCommand& command, platform::ProgressSink* window = nullptr);

}  // namespace quillon::editor
