#include "qt_message_sink.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "ui_text.h"

namespace quillon::ui {

bool QtMessageSink::showHere(const QString& text, platform::MessageKind kind) {
  QWidget* parent = parent_ ? parent_.data() : QApplication::activeWindow();
  const QString title = T("MainTitle", "Quillon");
  switch (kind) {
    case platform::MessageKind::Error:
      QMessageBox::critical(parent, title, text);
      return true;
    case platform::MessageKind::Warning:
      QMessageBox::warning(parent, title, text);
      return true;
    case platform::MessageKind::Information:
      QMessageBox::information(parent, title, text);
      return true;
    case platform::MessageKind::Question:
      return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
             QMessageBox::Yes;
  }
  return true;
}

bool QtMessageSink::show(std::string_view text, platform::MessageKind kind) {
  const QString message = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  if (QThread::currentThread() == qApp->thread()) return showHere(message, kind);
  bool answer = false;
  QMetaObject::invokeMethod(
      qApp, [&] { answer = showHere(message, kind); }, Qt::BlockingQueuedConnection);
  return answer;
}

}  // namespace quillon::ui
