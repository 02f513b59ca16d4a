#pragma once
// Messages the user must see. Core code never talks to the user directly: it
// calls ShowMessage, and the installed sink decides what that means (a dialog
// in the desktop application, a line on stderr in the CLI, a recorded text in
// tests). The sink may be called from worker threads; installing is guarded.

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::platform {

enum class MessageKind { Error, Warning, Information, Question };

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // Shows the text. For Question the answer is true for Yes; other kinds
  // return true.
  virtual bool show(std::string_view text, MessageKind kind) = 0;
};

// Writes "quillon: TEXT" to stderr, one line per message.
class StderrMessageSink final : public MessageSink {
 public:
  explicit StderrMessageSink(std::string prefix = "quillon: ") : prefix_(std::move(prefix)) {}
  bool show(std::string_view text, MessageKind kind) override;

 private:
  std::string prefix_;
};

// Records every message; the answer to questions is configurable.
class CaptureMessageSink final : public MessageSink {
 public:
  bool show(std::string_view text, MessageKind kind) override;
  std::vector<std::string> messages() const;
  void clear();
  void setAnswer(bool yes) { answer_ = yes; }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
  bool answer_ = true;
};

// Drops every message (answers No to questions).
class NullMessageSink final : public MessageSink {
 public:
  bool show(std::string_view, MessageKind kind) override { return kind != MessageKind::Question; }
};

// Sends a message through the installed sink (stderr when none is installed).
bool ShowMessage(std::string_view text, MessageKind kind = MessageKind::Error);

// Installs the sink for the whole process; returns the previous one. The sink
// must outlive its installation.
MessageSink* InstallMessageSink(MessageSink* sink);

// Installs a sink for the lifetime of the guard and restores the previous one.
class ScopedMessageSink {
 public:
  explicit ScopedMessageSink(MessageSink& sink) : previous_(InstallMessageSink(&sink)) {}
  ~ScopedMessageSink() { InstallMessageSink(previous_); }
  ScopedMessageSink(const ScopedMessageSink&) = delete;
  ScopedMessageSink& operator=(const ScopedMessageSink&) = delete;

 private:
  MessageSink* previous_;
};

}  // namespace quillon::platform
