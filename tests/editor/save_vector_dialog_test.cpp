#include "editor/save_vector_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "formats/format_table.h"
#include "model/graph.h"
#include "platform/key_value_store.h"
#include "settings/number_text.h"
#include "settings/option_store.h"
#include "settings/trace_option.h"
#include "support/test_support.h"

namespace quillon::editor {
namespace {

// Restores the process-wide separators after a test changed them.
class SeparatorsGuard {
 public:
  SeparatorsGuard() : saved_(settings::LocaleSeparators()) {}
  ~SeparatorsGuard() { settings::SetLocaleSeparators(saved_); }

 private:
  settings::Separators saved_;
};

TEST(SaveVectorDialog, OpensWithTheStoredSizeAndTheDocumentNameInTheFormat) {
  SeparatorsGuard guard;
  settings::SetLocaleSeparators({',', ';'});
  SaveVectorDialog dialog(6, "/scans/plan.v2.tif", {210.5, 297.0, formats::kUnitMm}, false);
  EXPECT_EQ(dialog.formatIndex(), 6);
  EXPECT_EQ(dialog.fileName, "/scans/plan.v2.pdf");
  EXPECT_EQ(dialog.widthText, "210,500");
  EXPECT_EQ(dialog.heightText, "297,000");
  EXPECT_EQ(dialog.unit, formats::kUnitMm);
  EXPECT_FALSE(dialog.saveWidth);

  EXPECT_EQ(SaveVectorDialog(0, "", {}, true).formatIndex(), 1);
  EXPECT_EQ(SaveVectorDialog(12, "", {}, true).fileName, "");
  EXPECT_EQ(SaveVectorDialog::FilterString(), formats::FormatFilterString());
}

TEST(SaveVectorDialog, ChoosingATypeReplacesTheExtensionAndEnablesItsControls) {
  SaveVectorDialog dialog(1, "/a.b/drawing", {}, true);
  EXPECT_EQ(dialog.fileName, "/a.b/drawing.dxf");  // a dot in a folder is no extension
  const struct {
    int index;
    const char* name;
    bool size;
    bool width;
  } expected[] = {
      {1, "/a.b/drawing.dxf", false, true}, {2, "/a.b/drawing.wmf", false, true},
      {3, "/a.b/drawing.plt", false, false}, {4, "/a.b/drawing.svg", true, true},
      {5, "/a.b/drawing.eps", false, true}, {6, "/a.b/drawing.pdf", true, true},
      {7, "/a.b/drawing.dxf", false, true}, {8, "/a.b/drawing.svgz", true, true},
      {9, "/a.b/drawing.cgm", false, false},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.index);
    dialog.selectFormat(e.index);
    EXPECT_EQ(dialog.formatIndex(), e.index);
    EXPECT_EQ(dialog.fileName, e.name);
    EXPECT_EQ(dialog.sizeGroupEnabled(), e.size);
    EXPECT_EQ(dialog.saveWidthEnabled(), e.width);
  }
  EXPECT_EQ(ReplaceExtension("noext", ".svg"), "noext.svg");
}

TEST(SaveVectorDialog, OkChecksWidthHeightAndFileNameInOrder) {
  SeparatorsGuard guard;
  settings::SetLocaleSeparators({',', ';'});
  test::CapturedMessages messages;
  SaveVectorDialog dialog(4, "", {}, true);
  dialog.fileName = ".svg";
  dialog.widthText = "0";
  dialog.heightText = "x";
  EXPECT_FALSE(dialog.accept());
  EXPECT_EQ(dialog.focus(), SaveVectorDialog::Field::Width);
  dialog.widthText = "12,5";
  EXPECT_FALSE(dialog.accept());
  EXPECT_EQ(dialog.focus(), SaveVectorDialog::Field::Height);
  dialog.heightText = "8";
  EXPECT_FALSE(dialog.accept());
  EXPECT_EQ(dialog.focus(), SaveVectorDialog::Field::FileName);
  dialog.fileName = "/tmp/";
  EXPECT_FALSE(dialog.accept());
  EXPECT_EQ(messages.messages(), (std::vector<std::string>{"Invalid data !", "Invalid data !", "Invalid file name!",
                                                           "Invalid file name!"}));
  dialog.fileName = "/tmp/out.txt";
  dialog.unit = formats::kUnitCm;
  ASSERT_TRUE(dialog.accept());
  EXPECT_EQ(dialog.targetFileName(), "/tmp/out.svg");
  EXPECT_EQ(dialog.destination().width, 12.5);
  EXPECT_EQ(dialog.destination().height, 8.0);
  EXPECT_EQ(dialog.destination().unit, formats::kUnitCm);
  EXPECT_EQ(dialog.focus(), SaveVectorDialog::Field::None);
}

class SaveVectorCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drawing.setCurrentLayerByName("0");
    ASSERT_NE(drawing.addLine({0, 0, 0}, {10, 5, 0}), nullptr);
    ASSERT_TRUE(drawing.modified());
  }
  // A dialog the user fills in: type, name, size.
  SaveVectorHooks User(int format, std::string name, std::string width = "100", std::string height = "50") {
    SaveVectorHooks hooks;
    hooks.showDialog = [=, this](SaveVectorDialog& dialog) {
      opened.push_back(dialog.fileName);
      dialog.selectFormat(format);
      dialog.fileName = name;
      dialog.widthText = width;
      dialog.heightText = height;
      dialog.unit = formats::kUnitInch;
      return dialog.accept();
    };
    return hooks;
  }

  test::TempDir dir;
  model::CGraph drawing;
  platform::MemoryKeyValueStore store;
  settings::TraceOption options;
  std::vector<std::string> opened;
};

TEST_F(SaveVectorCommandTest, SuccessWritesTheFileAndStoresFormatAndSize) {
  options.i_VectorFileFormat = 1;
  std::string saved;
  const auto result =
      SaveVectorCommand(drawing, store, options, dir.file("scan.bmp"), true, User(4, dir.file("scan.dxf")), &saved);
  ASSERT_EQ(result, SaveVectorResult::Saved);
  EXPECT_EQ(opened, std::vector<std::string>{dir.file("scan.dxf")});
  EXPECT_EQ(saved, dir.file("scan.svg"));
  EXPECT_TRUE(std::filesystem::exists(saved));
  EXPECT_EQ(options.i_VectorFileFormat, 4);
  EXPECT_FALSE(drawing.modified());
  const formats::DestinationSize stored = formats::LoadDestinationSize(store);
  EXPECT_EQ(stored.width, 100.0);
  EXPECT_EQ(stored.height, 50.0);
  EXPECT_EQ(stored.unit, formats::kUnitInch);
}

TEST_F(SaveVectorCommandTest, FailureAndCancelKeepTheStoredSize) {
  test::CapturedMessages messages;
  const std::string missing = dir.file("no/such/folder/out.svg");
  EXPECT_EQ(SaveVectorCommand(drawing, store, options, "", true, User(4, missing)), SaveVectorResult::Failed);
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].rfind("Save SVG file failure!", 0), 0u);
  EXPECT_TRUE(drawing.modified());
  EXPECT_FALSE(store.keyExists(settings::kOptionKey));

  SaveVectorHooks cancel;
  cancel.showDialog = [](SaveVectorDialog&) { return false; };
  EXPECT_EQ(SaveVectorCommand(drawing, store, options, "", true, cancel), SaveVectorResult::Cancelled);
  EXPECT_FALSE(store.keyExists(settings::kOptionKey));
}

}  // namespace
}  // namespace quillon::editor

namespace quillon::editor {
namespace {

TEST(SaveVectorClose, YesSavesUnderTheDocumentNameAndACancelledDialogKeepsTheWindow) {
  test::TempDir dir;
  Document document;
  document.setFileName(dir.file("plan.tif"));
  document.graph().setCurrentLayerByName("0");
  ASSERT_NE(document.graph().addLine({0, 0, 0}, {3, 4, 0}), nullptr);
  platform::MemoryKeyValueStore store;
  settings::TraceOption options;
  options.i_VectorFileFormat = 7;
  const QuestionCallback yes = [](std::string_view) { return Answer::Yes; };

  SaveVectorHooks cancel;
  cancel.showDialog = [](SaveVectorDialog&) { return false; };
  EXPECT_FALSE(ConfirmClose(document, yes, SaveVectorCallback(store, options, true, cancel)));
  EXPECT_TRUE(document.modified());

  SaveVectorHooks accept;
  accept.showDialog = [](SaveVectorDialog& dialog) { return dialog.accept(); };
  EXPECT_TRUE(ConfirmClose(document, yes, SaveVectorCallback(store, options, true, accept)));
  EXPECT_FALSE(document.modified());
  EXPECT_NE(test::ReadFile(dir.file("plan.dxf")).find("AC1006"), std::string::npos);  // the R10 variant
}

}  // namespace
}  // namespace quillon::editor
