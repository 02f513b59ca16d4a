// One whole session through the editor API alone: open the sample sheet,
// erase a speck by rectangle, trace it, draw a line snapped to a traced end
// point, measure it, undo and redo every step, save as DXF and SVG, and close
// answering No and then Yes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "editor/app_session.h"
#include "editor/command_processor.h"
#include "editor/save_vector_dialog.h"
#include "editor/trace_command.h"
#include "editor_fixture.h"
#include "model/layer.h"
#include "model/line.h"
#include "platform/key_value_store.h"
#include "settings/language_table.h"
#include "support/test_support.h"
#include "trace/trace_result.h"

namespace quillon::editor {
namespace {

// The save dialog as a user fills it: only the type changes.
SaveVectorHooks ChooseFormat(int format) {
  SaveVectorHooks hooks;
  hooks.showDialog = [format](SaveVectorDialog& dialog) {
    if (format > 0) dialog.selectFormat(format);
    return dialog.accept();
  };
  return hooks;
}

TEST(EditorSession, OpenTraceDrawUndoRedoSaveAndClose) {
  quillon::test::TempDir dir;
  std::filesystem::copy_file(quillon::test::SourcePath("data/samples/sheet.tif"), dir.file("sheet.tif"));
  platform::MemoryKeyValueStore store;
  settings::TraceOption options;
  quillon::test::CapturedMessages messages;
  AppSession session(store, options);
  session.start({});
  auto documents = session.openStartupDocuments({dir.file("sheet.tif")});
  ASSERT_EQ(documents.size(), 1u);
  Document& document = *documents[0];
  model::CGraph& graph = document.graph();
  ASSERT_EQ(document.raster().width(), 800);
  ASSERT_EQ(document.raster().height(), 600);

  // One drawing unit per pixel: drawing (x, y) is client pixel (x, 600 - y).
  ViewWindow view;
  view.SetClient(0, 0, 800, 600);
  view.SetWindow(0, 0, 800, 600);
  test::RecordingServices services;
  CommandProcessor processor(document, view, services);
  const auto click = [&](double x, double y) {
    const ScreenPoint pixel{static_cast<int>(std::lround(x)), 600 - static_cast<int>(std::lround(y))};
    processor.mousePress(pixel);
    processor.mouseRelease(pixel);
  };

  // A speck in the empty margin, erased by a rectangle around it.
  raster::CRaster& image = document.raster();
  ASSERT_EQ(image.bitCount(), 8);
  const int paper = image.indexAt(30, 30);
  for (int y = 28; y < 33; ++y)
    for (int x = 28; x < 33; ++x) ASSERT_TRUE(image.setIndex(x, y, 0));
  processor.startCommand(CommandId::EraseRect);
  click(24, 600 - 37);  // the raster's row r is drawing y = 600 - r
  click(37, 600 - 24);
  ASSERT_EQ(document.rasterUndo().count(), 1u);
  EXPECT_EQ(document.rasterUndo().entry(0).name(), "Erase raster by window");
  for (int y = 28; y < 33; ++y)
    for (int x = 28; x < 33; ++x) ASSERT_NE(image.indexAt(x, y), 0) << x << "," << y;
  EXPECT_TRUE(image.indexAt(30, 30) == paper || image.indexAt(30, 30) > 200) << "paper again";
  processor.cancelCommand();

  // Trace.
  ASSERT_EQ(RunTraceCommand(processor, options), trace::kTraceFinished);
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].rfind("Trace && process finished!", 0), 0u);
  const uint32_t traced = graph.totalCount();
  ASSERT_GT(traced, 5u);
  EXPECT_EQ(graph.currentLayer()->name(), "Trace");

  // An end point of an open traced entity, away from the picture's edge.
  model::Point3 end{};
  bool found = false;
  for (const model::CEntity* e = graph.currentLayer()->first(); e && !found; e = e->next()) {
    if (e->isClosed()) continue;
    end = e->getStartPoint();
    found = end.x > 40 && end.x < 760 && end.y > 40 && end.y < 560;
  }
  ASSERT_TRUE(found);

  // A line from a click 2 pixels off that end point (object snap takes the
  // end point) to a free spot.
  graph.aids.osnapOn = 1;
  graph.aids.osnapModes = 1;
  processor.startCommand(CommandId::Line);
  click(end.x + 2, end.y - 1);
  click(end.x + 2, end.y + 200 > 560 ? end.y - 200 : end.y + 200);
  processor.enterKey();
  ASSERT_EQ(graph.totalCount(), traced + 1);
  const model::CEntity* last = graph.currentLayer()->first();
  while (last->next()) last = last->next();
  const auto* line = dynamic_cast<const model::CLine*>(last);
  ASSERT_NE(line, nullptr);
  EXPECT_NEAR(line->getStartPoint().x, end.x, 1e-9);
  EXPECT_NEAR(line->getStartPoint().y, end.y, 1e-9);

  // Measure it from end to end (both clicks snap to the line's ends).
  const model::Point3 a = line->getStartPoint(), b = line->getEndPoint();
  processor.startCommand(CommandId::Distance);
  click(a.x + 1, a.y + 1);
  click(b.x - 1, b.y + 1);
  ASSERT_FALSE(services.messages.empty());
  const std::string& report = services.messages.back();
  char expected[64];
  std::snprintf(expected, sizeof expected, "Distance: %.3f", std::hypot(b.x - a.x, b.y - a.y));
  EXPECT_NE(report.find(expected), std::string::npos) << report;
  processor.cancelCommand();

  // Undo every step, then redo every step. The erase and the trace's
  // threshold are the raster list's steps; the trace and the line are the
  // drawing's.
  ASSERT_EQ(document.rasterUndo().count(), 2u);
  EXPECT_EQ(document.vectorUndo().undo(graph), "Undo: Draw Line");
  EXPECT_EQ(graph.totalCount(), traced);
  EXPECT_EQ(document.vectorUndo().undo(graph), "Undo: Trace Raster Image");
  EXPECT_EQ(graph.totalCount(), 0u);
  ASSERT_TRUE(document.rasterUndo().undo());
  EXPECT_EQ(document.raster().bitCount(), 8);
  ASSERT_TRUE(document.rasterUndo().undo());
  EXPECT_EQ(document.raster().indexAt(30, 30), 0) << "the speck is back";
  ASSERT_TRUE(document.rasterUndo().redo());
  EXPECT_NE(document.raster().indexAt(30, 30), 0);
  ASSERT_TRUE(document.rasterUndo().redo());
  EXPECT_EQ(document.raster().bitCount(), 1);
  EXPECT_FALSE(document.raster().bitAt(30, 30)) << "the erased speck stays out of the trace";
  EXPECT_EQ(document.vectorUndo().redo(graph), "Redo: Trace Raster Image");
  EXPECT_EQ(graph.totalCount(), traced);
  EXPECT_EQ(document.vectorUndo().redo(graph), "Redo: Draw Line");
  EXPECT_EQ(graph.totalCount(), traced + 1);
  EXPECT_FALSE(document.vectorUndo().canRedo());

  // Save as DXF, then as SVG (the dialog opens with the document's name).
  std::string saved;
  ASSERT_EQ(SaveDocument(document, store, options, true, ChooseFormat(1), &saved), SaveVectorResult::Saved);
  EXPECT_EQ(saved, dir.file("sheet.dxf"));
  EXPECT_NE(quillon::test::ReadFile(saved).find("AC1014"), std::string::npos);
  ASSERT_EQ(SaveDocument(document, store, options, true, ChooseFormat(4), &saved), SaveVectorResult::Saved);
  EXPECT_EQ(saved, dir.file("sheet.svg"));
  EXPECT_NE(quillon::test::ReadFile(saved).find("<svg"), std::string::npos);
  EXPECT_EQ(options.i_VectorFileFormat, 4);
  EXPECT_FALSE(document.modified());

  // Change the drawing again, then close: No leaves the files alone, Yes
  // saves in the last chosen format.
  EXPECT_EQ(document.vectorUndo().undo(graph), "Undo: Draw Line");
  EXPECT_TRUE(document.modified());
  std::filesystem::remove(dir.file("sheet.svg"));
  int questions = 0;
  const auto answer = [&](Answer a) {
    return [&questions, a](std::string_view text) {
      EXPECT_EQ(text, "Save changes to vector file?");
      ++questions;
      return a;
    };
  };
  const SaveCallback save = SaveVectorCallback(store, options, true, ChooseFormat(0));
  EXPECT_TRUE(ConfirmClose(document, answer(Answer::No), save));
  EXPECT_FALSE(std::filesystem::exists(dir.file("sheet.svg")));
  EXPECT_TRUE(ConfirmClose(document, answer(Answer::Yes), save));
  EXPECT_EQ(questions, 2);
  EXPECT_TRUE(std::filesystem::exists(dir.file("sheet.svg")));
  EXPECT_FALSE(document.modified());
  EXPECT_TRUE(session.stop());
  settings::Language().Clear();
}

}  // namespace
}  // namespace quillon::editor
