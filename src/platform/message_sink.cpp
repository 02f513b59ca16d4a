#include "platform/message_sink.h"

#include <atomic>
#include <cstdio>

namespace quillon::platform {

namespace {
std::mutex g_sinkMutex;
MessageSink* g_sink = nullptr;
}  // namespace

bool StderrMessageSink::show(std::string_view text, MessageKind kind) {
  std::string line = prefix_;
  line.append(text);
  // Texts from language files may carry CR LF line breaks; one message, one line.
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
  return kind != MessageKind::Question;
}

bool CaptureMessageSink::show(std::string_view text, MessageKind kind) {
  std::lock_guard lock(mutex_);
  messages_.emplace_back(text);
  return kind == MessageKind::Question ? answer_ : true;
}

std::vector<std::string> CaptureMessageSink::messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

void CaptureMessageSink::clear() {
  std::lock_guard lock(mutex_);
  messages_.clear();
}

bool ShowMessage(std::string_view text, MessageKind kind) {
  std::lock_guard lock(g_sinkMutex);
  if (g_sink) return g_sink->show(text, kind);
  static StderrMessageSink fallback;
  return fallback.show(text, kind);
}

MessageSink* InstallMessageSink(MessageSink* sink) {
  std::lock_guard lock(g_sinkMutex);
  MessageSink* previous = g_sink;
  g_sink = sink;
  return previous;
}

}  // namespace quillon::platform
