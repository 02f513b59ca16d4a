#include "editor/trace_command.h"

#include <chrono>

#include "editor/command_processor.h"
#include "editor/document.h"
#include "editor/raster_commands.h"
#include "model/graph.h"
#include "model/vector_undo.h"
#include "platform/message_sink.h"
#include "settings/language_table.h"
#include "trace/progress_model.h"
#include "trace/trace_result.h"

namespace quillon::editor {

namespace {

void Call(const std::function<void()>& hook) {
  if (hook) hook();
}

}  // namespace

// Passes the worker's notifications on to the window and notes when the
// run ended, so the elapsed time covers exactly the run.
class TraceCommand::Relay final : public platform::ProgressSink {
 public:
  Relay(const TraceCommand& owner, platform::ProgressSink* window) : owner_(owner), window_(window) {}
  void stageBegin(std::string_view text) override {
    if (window_) window_->stageBegin(text);
  }
  void progress(int value) override {
    if (window_) window_->progress(value);
  }
  void stageEnd() override {
    if (window_) window_->stageEnd();
  }
  void finished(int code) override {
    // Read by the owner only after the worker has been joined.
    endTick_ = owner_.now();
    code_ = code;
    if (window_) window_->finished(code);
  }
  int code() const { return code_; }
  int64_t endTick() const { return endTick_; }

 private:
  const TraceCommand& owner_;
  platform::ProgressSink* window_;
  int code_ = trace::kTraceError;
  int64_t endTick_ = 0;
};

TraceCommand::TraceCommand(model::CGraph& drawing, const settings::TraceOption& options, TraceCommandHooks hooks)
    : drawing_(drawing), options_(options), hooks_(std::move(hooks)), stageHooks_(trace::DefaultTraceStageHooks()) {}

TraceCommand::TraceCommand(Document& document, const settings::TraceOption& options, TraceCommandHooks hooks)
    : TraceCommand(document.graph(), options, std::move(hooks)) {
  rasterUndo_ = &document.rasterUndo();
}

TraceCommand::~TraceCommand() {
  if (worker_) {
    worker_->cancel();
    worker_->wait();
  }
}

int64_t TraceCommand::now() const {
  if (clock_) return clock_();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool TraceCommand::prepare() {
  Call(hooks_.endCommand);
  if (hooks_.waitCursor) hooks_.waitCursor(true);
  raster::CRaster& image = drawing_.raster();
  bool converted = !image.empty();
  if (converted && image.bitCount() != 1) {
    const int threshold = ThresholdLevel(image, options_);
    if (rasterUndo_) {
      converted = ThresholdRaster({drawing_, *rasterUndo_}, threshold) == RasterCommandResult::Done;
    } else {
      converted = image.convertTo1Bit(threshold);
    }
  }
  if (hooks_.waitCursor) hooks_.waitCursor(false);
  if (!converted) {
    platform::ShowMessage(settings::Text("MainColorFew", "Colors < 2"));
    Call(hooks_.restartCommand);
    return false;
  }
  model::recordDrawingState(drawing_, model::DrawingStateStep::Mode::WholeDrawing, "UndoTrace", "Trace Raster Image");
  prepared_ = true;
  return true;
}

int TraceCommand::stageTotal() const { return trace::StageTotal(options_); }

bool TraceCommand::beginRun(platform::ProgressSink* window) {
  if (!prepared_ || worker_) return false;
  relay_ = std::make_unique<Relay>(*this, window);
  worker_ = std::make_unique<trace::TraceWorker>(drawing_, options_, *relay_, stageHooks_);
  startTick_ = now();
  return true;
}

int TraceCommand::run(platform::ProgressSink* window) {
  if (!beginRun(window)) return result_;
  worker_->run();
  return wait();
}

bool TraceCommand::start(platform::ProgressSink& window) {
  if (!beginRun(&window)) return false;
  return worker_->start();
}

void TraceCommand::cancel() {
  if (worker_) worker_->cancel();
}

int TraceCommand::wait() {
  if (!worker_) return result_;
  worker_->wait();
  worker_.reset();
  result_ = relay_->code();
  elapsed_ = relay_->endTick() - startTick_;
  relay_.reset();
  prepared_ = false;
  return result_;
}

std::string TraceCommand::finish() {
  wait();
  const std::string message = trace::TraceResultMessage(result_, elapsed_);
  platform::ShowMessage(message, result_ == trace::kTraceFinished ? platform::MessageKind::Information
                                                                  : platform::MessageKind::Warning);
  // Every run changed the drawing, a stopped one too (its layers are gone).
  Call(hooks_.redraw);
  Call(hooks_.restartCommand);
  return message;
}

TraceCommandHooks ViewHooks(CommandProcessor& processor) {
  TraceCommandHooks hooks;
  hooks.endCommand = [&processor] { processor.sendEvent(EventCode::Cancel); };
  hooks.restartCommand = [&processor] { processor.sendEvent(EventCode::Start); };
  hooks.redraw = [&processor] { processor.services().repaint(); };
  return hooks;
}

int RunTraceCommand(CommandProcessor& processor, const settings::TraceOption& options,
                    platform::ProgressSink* window) {
  TraceCommand command(processor.document(), options, ViewHooks(processor));
  return RunTraceCommand(command, window);
}

int RunTraceCommand(model::CGraph& drawing, const settings::TraceOption& options, const TraceCommandHooks& hooks,
                    platform::ProgressSink* window) {
  TraceCommand command(drawing, options, hooks);
  return RunTraceCommand(command, window);
}

int RunTraceCommand(TraceCommand& command, platform::ProgressSink* window) {
  if (!command.prepare()) return -1;
  command.run(window);
  command.finish();
  return command.result();
}

}  // namespace quillon::editor
