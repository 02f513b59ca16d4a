#include "editor/app_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/key_value_store.h"
#include "settings/language_table.h"
#include "settings/option_store.h"
#include "settings/trace_option.h"
#include "support/test_support.h"

namespace quillon::editor {
namespace {

// Keeps the process-wide language table as the other tests expect it.
class LanguageGuard {
 public:
  ~LanguageGuard() { settings::Language().Clear(); }
};

TEST(AppSession, FreshUserStartsWithDefaultsAndWritesTheVersion) {
  platform::MemoryKeyValueStore store;
  settings::TraceOption record;
  record.i_Gray = 3;  // whatever the record held before start-up is replaced
  test::CapturedMessages messages;
  LanguageGuard language;
  AppSession session(store, record);
  session.start({});
  EXPECT_EQ(record, settings::TraceOption());
  EXPECT_TRUE(messages.messages().empty());
  EXPECT_EQ(store.readDword(settings::kVersionKey, "version"), 300u);
  EXPECT_EQ(session.recent(), settings::RecentLists{});
}

TEST(AppSession, LanguageOptionsAndRecentListsSurviveARestart) {
  test::TempDir dir;
  test::WriteFile(dir.file("english.lan"), "English\r\nMainColorFew=Zu wenig Farben\r\n");
  platform::MemoryKeyValueStore store;
  LanguageGuard language;
  {
    settings::TraceOption record;
    AppSession session(store, record);
    session.start({dir.path() + "/"});
    EXPECT_EQ(settings::Text("MainColorFew", "Colors < 2"), "Zu wenig Farben");
    record.i_Gray = 99;
    record.b_AutoGray = false;
    EXPECT_TRUE(session.addRecentRaster("/scans/a.tif"));
    EXPECT_TRUE(session.addRecentRaster("/scans/b.tif"));
    EXPECT_FALSE(session.addRecentRaster("/scans/B.TIF"));  // already first, ignoring case
    EXPECT_TRUE(session.addRecentVector("/out/a.dxf"));
    ASSERT_TRUE(session.stop());
  }
  settings::TraceOption record;
  AppSession session(store, record);
  session.start({dir.path() + "/"});
  EXPECT_EQ(record.i_Gray, 99);
  EXPECT_FALSE(record.b_AutoGray);
  EXPECT_EQ(session.recent().rasterFiles[0], "/scans/b.tif");
  EXPECT_EQ(session.recent().rasterFiles[1], "/scans/a.tif");
  EXPECT_EQ(session.recent().rasterFiles[2], "");
  EXPECT_EQ(session.recent().vectorFiles[0], "/out/a.dxf");
}

TEST(AppSession, OlderSettingsResetTheColoursOnce) {
  platform::MemoryKeyValueStore store;
  ASSERT_TRUE(store.createKey(settings::kVersionKey));
  ASSERT_TRUE(store.writeDword(settings::kVersionKey, "version", 200));
  ASSERT_TRUE(store.createKey(settings::kOptionKey));
  ASSERT_TRUE(store.writeDword(settings::kOptionKey, "c_NormalColorIndex", 44));
  settings::TraceOption record;
  test::CapturedMessages messages;
  LanguageGuard language;
  AppSession session(store, record);
  session.start({});
  EXPECT_EQ(messages.messages(), std::vector<std::string>{"Reset the color due to lower version."});
  EXPECT_EQ(record.colorIndex(settings::DisplayColor::Normal), 5);
  session.start({});
  EXPECT_EQ(messages.messages().size(), 1u);
}

TEST(AppSession, OnlyExistingFilesFromTheCommandLineAreOpened) {
  test::TempDir dir;
  test::WriteFile(dir.file("a.tif"), "x");
  test::WriteFile(dir.file("b.txt"), "x");
  const std::vector<std::string> arguments{dir.file("a.tif"), dir.file("missing.tif"), dir.path(), "",
                                           dir.file("b.txt")};
  EXPECT_EQ(AppSession::startupFiles(arguments), (std::vector<std::string>{dir.file("a.tif"), dir.file("b.txt")}));
}

TEST(AppSession, DroppedFilesAreRastersByExtension) {
  for (const char* name : {"a.bmp", "b.JPG", "c.jpeg", "d.tga", "e.Tif", "f.tiff", "g.pcx", "h.PNG", "i.pgm", "j.gif"})
    EXPECT_TRUE(AppSession::acceptsDroppedFile(name)) << name;
  for (const char* name : {"b.dxf", "tif", "c.tif.bak"})
    EXPECT_FALSE(AppSession::acceptsDroppedFile(name)) << name;
}

}  // namespace
}  // namespace quillon::editor

namespace quillon::editor {
namespace {

TEST(AppSession, StartupFilesOpenAsDocumentsWithTheStoredSettings) {
  test::TempDir dir;
  test::WriteFile(dir.file("notes.txt"), "not a picture");
  platform::MemoryKeyValueStore store;
  ASSERT_TRUE(store.createKey(settings::kOptionKey));
  ASSERT_TRUE(store.writeDword(settings::kOptionKey, "RasterUndoSteps", 3));
  settings::TraceOption record;
  test::CapturedMessages messages;
  LanguageGuard language;
  AppSession session(store, record);
  session.start({});
  const std::string pages = test::SourcePath("data/samples/pages_3.tif");
  const std::string lines = test::SourcePath("data/samples/lines_1bit.bmp");
  const auto documents = session.openStartupDocuments({pages, dir.file("notes.txt"), dir.file("gone.bmp"), lines});
  ASSERT_EQ(documents.size(), 4u);  // three pages, one picture; the text file only gives a message
  EXPECT_EQ(documents[0]->pageIndex(), 0);
  EXPECT_EQ(documents[2]->pageIndex(), 2);
  EXPECT_EQ(documents[3]->pageIndex(), -1);
  EXPECT_EQ(documents[3]->rasterUndo().depth(), 3);
  EXPECT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(session.recent().rasterFiles[0], lines);
  EXPECT_EQ(session.recent().rasterFiles[1], pages);
  EXPECT_EQ(session.recent().rasterFiles[2], "");
}

}  // namespace
}  // namespace quillon::editor
