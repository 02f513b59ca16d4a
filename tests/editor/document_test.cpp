// Documents: settings from the store, opening rasters and DXF files, and
// the close rule with its question.

#include <gtest/gtest.h>

#include "editor/document.h"
#include "model/line.h"
#include "platform/key_value_store.h"
#include "settings/option_store.h"
#include "support/test_support.h"

namespace quillon::editor {
namespace {

TEST(Document, SettingsComeFromTheStoreAndOutOfRangeDepthsKeepTheirDefaults) {
  platform::MemoryKeyValueStore store;
  ASSERT_TRUE(store.createKey(settings::kOptionKey));
  store.writeDword(settings::kOptionKey, "VectorUndoSteps", 100);
  store.writeDword(settings::kOptionKey, "RasterUndoSteps", 11);
  store.writeDword(settings::kOptionKey, "OsnapPoint", 0x21);
  store.writeDword(settings::kOptionKey, "b_Osnap", 0);
  Document document(LoadDocumentSettings(store));
  EXPECT_EQ(document.vectorUndo().depth(), 100);
  EXPECT_EQ(document.rasterUndo().depth(), 5);
  EXPECT_EQ(document.graph().aids.osnapModes, 0x21);
  EXPECT_EQ(document.graph().aids.osnapOn, 0);
  EXPECT_EQ(document.graph().aids.gridOn, 0);
  EXPECT_EQ(document.graph().aids.orthoOn, 0);
  EXPECT_DOUBLE_EQ(document.graph().aids.gridSpacingX, 25.0);

  store.writeDword(settings::kOptionKey, "VectorUndoSteps", 0);
  store.writeDword(settings::kOptionKey, "RasterUndoSteps", 10);
  document.applySettings(LoadDocumentSettings(store));
  EXPECT_EQ(document.vectorUndo().depth(), 32);
  EXPECT_EQ(document.rasterUndo().depth(), 10);
}

TEST(Document, OpenRasterGivesADocumentPerFileAndOpenVectorReadsDxf) {
  quillon::test::CapturedMessages messages;
  auto documents = OpenRasterDocuments(quillon::test::SourcePath("data/samples/grey_8bit.bmp"));
  ASSERT_EQ(documents.size(), 1u);
  EXPECT_TRUE(documents[0]->hasRaster());
  EXPECT_EQ(documents[0]->pageIndex(), -1);
  EXPECT_FALSE(documents[0]->fromDxf());
  EXPECT_FALSE(documents[0]->modified());
  EXPECT_TRUE(OpenRasterDocuments("/nonexistent/file.bmp").empty());
  auto pages = OpenRasterDocuments(quillon::test::SourcePath("data/samples/pages_3.tif"));
  ASSERT_EQ(pages.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(pages[i]->pageIndex(), i);
    EXPECT_NE(pages[i]->fileName().find("pages_3_" + std::to_string(i) + ".tif"), std::string::npos);
  }

  quillon::test::TempDir dir;
  quillon::test::WriteFile(dir.file("one.dxf"),
                           "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\nWalls\n10\n1\n20\n2\n11\n3\n21\n4\n0\nENDSEC\n0\nEOF\n");
  auto vector = OpenVectorDocument(dir.file("one.dxf"));
  ASSERT_NE(vector, nullptr);
  EXPECT_TRUE(vector->fromDxf());
  EXPECT_FALSE(vector->hasRaster());
  EXPECT_FALSE(vector->modified());
  EXPECT_EQ(vector->graph().totalCount(), 1u);
  EXPECT_EQ(OpenVectorDocument(dir.file("missing.dxf")), nullptr);
}

struct CloseScript {
  std::vector<std::string> questions;
  int saves = 0;
};

TEST(Document, CloseRuleAsksOnlyForAModifiedDrawingWithEntitiesAndSavesOnYes) {
  Document document;
  CloseScript script;
  Answer answer = Answer::No;
  bool saveSucceeds = true;
  const QuestionCallback ask = [&](std::string_view text) {
    script.questions.emplace_back(text);
    return answer;
  };
  const SaveCallback save = [&](Document& d) {
    ++script.saves;
    if (saveSucceeds) d.setModified(false);
    return saveSucceeds;
  };
  // Nothing drawn: no question.
  EXPECT_TRUE(ConfirmClose(document, ask, save));
  document.graph().setCurrentLayerByName("0");
  document.graph().addLine({0, 0, 0}, {1, 1, 0});
  ASSERT_TRUE(document.modified());

  EXPECT_TRUE(ConfirmClose(document, ask, save));  // No
  EXPECT_EQ(script.saves, 0);
  answer = Answer::Cancel;
  EXPECT_FALSE(ConfirmClose(document, ask, save));
  answer = Answer::Yes;
  saveSucceeds = false;
  EXPECT_FALSE(ConfirmClose(document, ask, save));  // a failed save keeps the window
  saveSucceeds = true;
  EXPECT_TRUE(ConfirmClose(document, ask, save));
  EXPECT_EQ(script.saves, 2);
  EXPECT_EQ(script.questions, std::vector<std::string>(4, "Save changes to vector file?"));
  // Saved: no more question.
  EXPECT_TRUE(ConfirmClose(document, ask, save));
  EXPECT_EQ(script.questions.size(), 4u);
}

TEST(Document, CloseRuleWithoutACallbackAsksThroughTheMessageSink) {
  quillon::test::CapturedMessages messages;
  messages.sink().setAnswer(false);
  Document document;
  document.graph().setCurrentLayerByName("0");
  document.graph().addLine({0, 0, 0}, {1, 1, 0});
  EXPECT_TRUE(ConfirmClose(document, {}, {}));
  EXPECT_EQ(messages.messages(), std::vector<std::string>{"Save changes to vector file?"});
}

}  // namespace
}  // namespace quillon::editor
