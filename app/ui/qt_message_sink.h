#pragma once
// The desktop application's message sink: every message of the core and the
// editor becomes a modal QMessageBox. Messages from worker threads are shown
// on the user-interface thread while the worker waits for the answer.

#include <QPointer>
#include <QWidget>

#include "platform/message_sink.h"

namespace quillon::ui {

class QtMessageSink final : public platform::MessageSink {
 public:
  // Boxes are centred on the parent (may be null).
  explicit QtMessageSink(QWidget* parent = nullptr) : parent_(parent) {}
  void setParent(QWidget* parent) { parent_ = parent; }
  bool show(std::string_view text, platform::MessageKind kind) override;

 private:
  bool showHere(const QString& text, platform::MessageKind kind);
  QPointer<QWidget> parent_;
};

}  // namespace quillon::ui
