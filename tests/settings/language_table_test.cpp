#include "settings/language_table.h"

#include <gtest/gtest.h>

#include "platform/key_value_store.h"
#include "support/test_support.h"

namespace quillon::settings {
namespace {

using platform::MemoryKeyValueStore;

TEST(LanguageTable, EntryLines) {
  LanguageTable t;
  t.LoadText(
      "Deutsch\r\n"
      "SetDlgCaption=\r\n"
      "  OptionChartType  =Diagramm\n"
      "=Orphan\r"
      "NoEqualsSign\n"
      "   =Blank key\n"
      "MainActTraceHint=first\n"
      "\n\n"
      "MAINACTTRACEHINT=second\r\n"
      "BatchFinishSuccess=Batch process finished!%The detailed is in the file\n"
      "Padded= keeps its blanks \n");
  EXPECT_EQ(t.Text("SetDlgCaption", "Set parameter"), " ");  // a blank, not the default
  EXPECT_EQ(t.Text("optionchartType", "Chart"), "Diagramm");
  EXPECT_EQ(t.Text("MainActTraceHint", "Convert raster into vector"), "second");
  EXPECT_EQ(t.Text("BatchFinishSuccess", ""), "Batch process finished!\r\nThe detailed is in the file");
  EXPECT_EQ(t.Text("Padded", ""), " keeps its blanks ");
  EXPECT_EQ(t.Text("NoEqualsSign", "dflt"), "dflt");
  EXPECT_EQ(t.Text("", "dflt"), "dflt");
  // The first line (no "=") and the malformed lines define nothing.
  EXPECT_EQ(t.size(), 5u);
}

TEST(LanguageTable, MissingFileEmptiesTheTable) {
  test::TempDir dir;
  LanguageTable t;
  t.LoadText("ClRed=Rot\n");
  EXPECT_FALSE(t.Load(dir.file("absent.lan")));
  EXPECT_EQ(t.size(), 0u);
  EXPECT_EQ(t.Text("clRed", "Red"), "Red");
}

TEST(LanguageTable, HintsGoThroughTheTable) {
  LanguageTable t;
  t.LoadText("English\nEditMenuRedoHint=Redo to here\n");
  EXPECT_EQ(t.Hint(130), "Redo to here");
  EXPECT_EQ(t.Hint(125), "Undo until this step");
  EXPECT_EQ(t.Hint(1041), t.Hint(1002));
  EXPECT_EQ(t.Hint(57651), "Tile");
  EXPECT_EQ(t.Hint(999), "");
}

TEST(LanguageDisplayName, FirstLineWithAnyLineEnd) {
  test::TempDir dir;
  test::WriteFile(dir.file("a.lan"), "Francais\rclRed=Rouge\r");
  test::WriteFile(dir.file("b.lan"), "\nclRed=Rouge\n");
  EXPECT_EQ(LanguageDisplayName(dir.file("a.lan")), "Francais");
  EXPECT_EQ(LanguageDisplayName(dir.file("b.lan")), "");
  EXPECT_EQ(LanguageDisplayName(dir.file("none.lan")), "");
}

class LanguageChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteFile(dir.file("english.lan"), "English\nclRed=Red (en)\n");
    test::WriteFile(dir.file("german.LAN"), "Deutsch\r\nclRed=Rot\r\n");
    test::WriteFile(dir.file("empty.lan"), "\r\nclRed=nothing\r\n");
    test::WriteFile(dir.file("notes.txt"), "Not a language\n");
  }
  std::string stored() const { return store.readString(kLanguageKey, kLanguageFileValue).value_or("<none>"); }

  test::TempDir dir;
  MemoryKeyValueStore store;
  LanguageTable table;
};

TEST_F(LanguageChoice, StartupFallsBackToEnglishAndWritesItBack) {
  // Nothing stored yet.
  EXPECT_EQ(LoadStartupLanguage(store, table, {dir.path()}), dir.file("english.lan"));
  EXPECT_EQ(table.Text("clRed", "Red"), "Red (en)");
  EXPECT_EQ(stored(), "english.lan");

  // A stored file that no longer exists.
  store.writeString(kLanguageKey, kLanguageFileValue, "klingon.lan");
  LoadStartupLanguage(store, table, {dir.path()});
  EXPECT_EQ(table.Text("clRed", "Red"), "Red (en)");
  EXPECT_EQ(stored(), "english.lan");

  // Only the name part of a stored path counts.
  store.writeString(kLanguageKey, kLanguageFileValue, "/elsewhere/german.LAN");
  LoadStartupLanguage(store, table, {dir.path()});
  EXPECT_EQ(table.Text("clRed", "Red"), "Rot");
  EXPECT_EQ(stored(), "german.LAN");
}

TEST_F(LanguageChoice, StartupWithoutAnyFileKeepsEnglishDefaults) {
  test::TempDir bare;
  table.LoadText("clRed=stale\n");
  LoadStartupLanguage(store, table, {bare.path()});
  EXPECT_EQ(table.size(), 0u);
  EXPECT_EQ(stored(), "english.lan");
}

TEST_F(LanguageChoice, PageListsAndApplies) {
  EXPECT_EQ(CurrentLanguageFileName(store), "English.lan");  // no key at all
  store.createKey(kLanguageKey);
  EXPECT_EQ(CurrentLanguageFileName(store), "english.lan");  // key without value

  const auto files = ListLanguageFiles({dir.path()});
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].fileName, "english.lan");
  EXPECT_EQ(files[1].displayName, "Deutsch");
  EXPECT_EQ(FindLanguageFile(files, "ENGLISH.LAN"), 0);
  EXPECT_EQ(FindLanguageFile(files, "empty.lan"), -1);

  EXPECT_TRUE(ApplyLanguageChoice(store, table, files[1]));
  EXPECT_EQ(table.Text("clRed", "Red"), "Rot");
  EXPECT_EQ(CurrentLanguageFileName(store), "german.LAN");
}

TEST_F(LanguageChoice, EarlierDirectoryHidesTheSameFileName) {
  test::TempDir second;
  test::WriteFile(second.file("english.lan"), "Other English\n");
  test::WriteFile(second.file("french.lan"), "Francais\n");
  const auto files = ListLanguageFiles({dir.path(), second.path()});
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].displayName, "English");
  EXPECT_EQ(files[2].fileName, "french.lan");
}

}  // namespace
}  // namespace quillon::settings
