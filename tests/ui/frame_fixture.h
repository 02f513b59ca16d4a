#pragma once
// What every main-window test starts from: a private settings directory, an
// in-memory store, messages captured instead of shown, and a fresh shown
// window per test whose "Save changes?" question answers No.

#include <QTemporaryDir>
#include <QtTest>
#include <initializer_list>
#include <memory>

#include "child_frame.h"
#include "editor/document.h"
#include "main_frame.h"
#include "model/graph.h"
#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "settings/number_text.h"

namespace quillon::test {

inline QString Sample(const char* name) { return QStringLiteral(QUILLON_SOURCE_DIR "/data/samples/") + name; }

class FrameFixture {
 protected:
  QTemporaryDir config_;
  platform::MemoryKeyValueStore store_;
  platform::CaptureMessageSink messages_;
  std::unique_ptr<platform::ScopedMessageSink> sinkGuard_;
  std::unique_ptr<ui::CMainFrame> frame_;

  // The sample sheet in a new window, object snap off so that clicks land
  // where they are made. Null when it cannot be read.
  ui::CChildFrame* openSheet() {
    if (!frame_->openRaster(Sample("sheet.tif"))) return nullptr;
    ui::CChildFrame* child = frame_->activeChild();
    child->document().graph().aids.osnapOn = 0;
    QTest::qWait(20);
    return child;
  }

  // Each text typed into the input box and entered.
  void type(std::initializer_list<const char*> inputs) {
    for (const char* text : inputs) {
      QTest::keyClicks(frame_->inputBox(), QString::fromLatin1(text));
      QTest::keyClick(frame_->inputBox(), Qt::Key_Return);
    }
  }

  void startAll() {
    qputenv("QUILLON_CONFIG_DIR", config_.path().toLocal8Bit());
    settings::SetLocaleSeparators(settings::MakeSeparators(".", ","));
    sinkGuard_ = std::make_unique<platform::ScopedMessageSink>(messages_);
  }

  bool startEach() {
    messages_.clear();
    messages_.setAnswer(true);
    frame_ = std::make_unique<ui::CMainFrame>(store_);
    frame_->askQuestion = [](const QString&) { return editor::Answer::No; };
    frame_->show();
    return QTest::qWaitForWindowExposed(frame_.get());
  }

  void endEach() {
    for (ui::CChildFrame* child : frame_->children()) child->setCloseGuard({});
    frame_.reset();
  }
};

}  // namespace quillon::test
