#pragma once
// A document with a view of known geometry and a processor whose services
// record what the user would see, for command scripts.

#include <string>
#include <vector>

#include "editor/command_processor.h"
#include "editor/document.h"
#include "editor/view_window.h"

namespace quillon::editor::test {

class RecordingServices final : public EditorServices {
 public:
  void message(std::string_view text, platform::MessageKind) override { messages.emplace_back(text); }
  void repaint() override { ++repaints; }
  void statusText(std::string_view text) override { statusTexts.emplace_back(text); }
  std::vector<std::string> messages;
  std::vector<std::string> statusTexts;
  int repaints = 0;
};

// A 400 × 300 pixel client showing drawing units 0..400 × 0..300, one unit
// per pixel: drawing (x, y) is pixel (x, 300 − y).
class EditorFixture {
 public:
  EditorFixture() : processor(document, view, services) {
    view.SetClient(0, 0, 400, 300);
    view.SetWindow(0, 0, 400, 300);
    document.graph().aids.osnapOn = 0;
  }
  static ScreenPoint pixel(int x, int y) { return ScreenPoint{x, 300 - y}; }
  // A click at drawing point (x, y).
  void click(int x, int y) { processor.mousePress(pixel(x, y)); processor.mouseRelease(pixel(x, y)); }
  bool type(const std::string& text) { return processor.submitInput(text); }

  Document document;
  ViewWindow view;
  RecordingServices services;
  CommandProcessor processor;
};

}  // namespace quillon::editor::test
