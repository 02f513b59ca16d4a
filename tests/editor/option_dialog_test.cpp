#include "editor/option_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/key_value_store.h"
#include "settings/language_table.h"
#include "settings/number_text.h"
#include "settings/option_store.h"
#include "settings/trace_option.h"
#include "support/test_support.h"

namespace quillon::editor {
namespace {

using settings::AngleSeries;
using settings::WidthSeries;

class SeparatorsGuard {
 public:
  SeparatorsGuard() : saved_(settings::LocaleSeparators()) {}
  ~SeparatorsGuard() { settings::SetLocaleSeparators(saved_); }

 private:
  settings::Separators saved_;
};

class LanguageGuard {
 public:
  ~LanguageGuard() { settings::Language().Clear(); }
};

TEST(WidthSeriesPage, RowsAreCheckedSortedAndSavedUnderANewName) {
  SeparatorsGuard separators;
  settings::SetLocaleSeparators({',', ';'});
  platform::MemoryKeyValueStore store;
  test::CapturedMessages messages;
  WidthSeries current = WidthSeries::BuiltInDefault();
  WidthSeriesPage page(store, current);
  ASSERT_EQ(page.selectedName(), "Default");
  EXPECT_EQ(page.rows(), (std::vector<std::string>{"0,0000", "0,5000", "1,0000", "2,0000"}));
  EXPECT_FALSE(page.canDelete());

  for (const char* bad : {"abc", "-0,5", ""}) {
    page.itemText = bad;
    EXPECT_EQ(page.addItem(), -1) << bad;
  }
  EXPECT_EQ(messages.messages(), std::vector<std::string>(3, "Invalid data !"));
  EXPECT_EQ(page.selection(), 0) << "a refused row leaves the series chosen";

  page.itemText = "0,75";
  EXPECT_EQ(page.addItem(), 2);
  EXPECT_EQ(page.selection(), -1);
  page.itemText = "0,750001";
  EXPECT_EQ(page.addItem(), 2) << "the same width within 0.00001 is not listed twice";
  page.itemText = "3";
  EXPECT_EQ(page.updateItem(0), 4) << "an edited row moves to its place";
  EXPECT_EQ(page.rows(), (std::vector<std::string>{"0,5000", "0,7500", "1,0000", "2,0000", "3,0000"}));
  EXPECT_TRUE(page.removeItem(3));
  page.unit = WidthSeries::kUnitPixel;
  page.moreWidthMode = WidthSeries::kMoreWidthShrink;

  EXPECT_FALSE(page.saveAs("a\\b"));
  ASSERT_TRUE(page.saveAs("Pipes"));
  EXPECT_EQ(page.selectedName(), "Pipes");
  EXPECT_TRUE(page.canDelete());
  WidthSeries stored;
  ASSERT_TRUE(stored.Load(store, "Pipes"));
  EXPECT_EQ(stored.widths(), (std::vector<double>{0.5, 0.75, 1.0, 3.0}));
  EXPECT_EQ(stored.unit(), WidthSeries::kUnitPixel);
  EXPECT_EQ(stored.moreWidthMode(), WidthSeries::kMoreWidthShrink);

  WidthSeriesPage reopened(store, stored);
  EXPECT_EQ(reopened.selectedName(), "Pipes");
  EXPECT_EQ(reopened.rows(), page.rows());
}

TEST(WidthSeriesPage, DeleteAsksAndClearsTheRecordSeriesOfThatName) {
  platform::MemoryKeyValueStore store;
  test::CapturedMessages messages;
  WidthSeries pipes = settings::BuildWidthSeries("Pipes", WidthSeries::kUnitMm, 1, {0.25, 0.5});
  ASSERT_TRUE(pipes.Save(store));
  WidthSeries current = pipes;
  WidthSeriesPage page(store, current);
  ASSERT_EQ(page.selectedName(), "Pipes");

  messages.sink().setAnswer(false);
  EXPECT_FALSE(page.deleteSelected());
  EXPECT_TRUE(WidthSeries::Exists(store, "Pipes"));
  EXPECT_EQ(messages.messages().back(), "OK to delete the width series and lose these values?");

  messages.sink().setAnswer(true);
  EXPECT_TRUE(page.deleteSelected());
  EXPECT_FALSE(WidthSeries::Exists(store, "Pipes"));
  EXPECT_TRUE(current.name().empty());
  EXPECT_EQ(page.names(), std::vector<std::string>{"Default"});
  EXPECT_EQ(page.selection(), -1);
  EXPECT_TRUE(page.rows().empty());
}

TEST(SeriesNameDialog, AsksBeforeOverwritingAListedNameOnly) {
  test::CapturedMessages messages;
  const std::vector<std::string> listed{"Pipes", "Default"};
  EXPECT_FALSE(ConfirmSeriesName(listed, "", "PreferDlgNewSeriesErrMsg", "q"));
  EXPECT_TRUE(ConfirmSeriesName(listed, "Pipe", "PreferDlgNewSeriesErrMsg", "q"));
  EXPECT_TRUE(messages.messages().empty());
  messages.sink().setAnswer(false);
  EXPECT_FALSE(ConfirmSeriesName(listed, "pipes", "PreferDlgNewSeriesErrMsg",
                                 "The width series already exist.\nOverwrite it?"));
  EXPECT_EQ(messages.messages(), std::vector<std::string>{"The width series already exist.\nOverwrite it?"});
}

TEST(AngleSeriesPage, EntriesAreCheckedInThePageOrderAndKeptApart) {
  platform::MemoryKeyValueStore store;
  test::CapturedMessages messages;
  AngleSeries current = AngleSeries::BuiltInDefault();
  AngleSeriesPage page(store, current);
  ASSERT_EQ(page.selectedName(), "Default");
  EXPECT_FALSE(page.canDelete());
  EXPECT_EQ(page.rows().front(), "0.000000 (0.000000 .. 5.000000)");

  const auto entry = [&](const char* main, const char* max, const char* min) {
    page.mainText = main;
    page.maxText = max;
    page.minText = min;
  };
  entry("20", "15", "10");
  EXPECT_EQ(page.add(), -1);
  EXPECT_EQ(page.focus(), settings::AngleField::Main);
  entry("20", "25", "x");
  EXPECT_EQ(page.add(), -1);
  EXPECT_EQ(page.focus(), settings::AngleField::Min);
  entry("20", "28", "10");
  EXPECT_EQ(page.add(), -1);
  EXPECT_EQ(messages.messages(), (std::vector<std::string>{"Main angle is greater than MAX angle!", "Invalid data !",
                                                           "Adding a angle item fail!"}));
  EXPECT_EQ(page.selection(), 0);

  entry("20", "25", "10");
  EXPECT_EQ(page.add(), 1);
  EXPECT_EQ(page.selection(), -1);
  page.selectRow(0);
  EXPECT_EQ(page.maxText, "5.000000");
  entry("0", "30", "0");
  EXPECT_EQ(page.update(), -1);
  EXPECT_EQ(messages.messages().back(), "Updating the angle item failure!");
  entry("0", "8", "0");
  EXPECT_EQ(page.update(), 0);
  page.selectRow(1);
  EXPECT_TRUE(page.remove());
  EXPECT_EQ(page.series().count(), AngleSeries::BuiltInDefault().count());

  ASSERT_TRUE(page.saveAs("Sheet"));
  AngleSeries stored;
  ASSERT_TRUE(stored.Load(store, "Sheet"));
  EXPECT_EQ(stored.entries().front().maxAngle, settings::DegreesToRadians(8));
  EXPECT_TRUE(page.canDelete());
}

TEST(AngleSeriesPage, ABrokenStoredSeriesShowsDefaultAndDeleteFallsBackToIt) {
  platform::MemoryKeyValueStore store;
  test::CapturedMessages messages;
  AngleSeries sheet;
  sheet.Insert({0, 0.1, 0});
  sheet.SetName("Sheet");
  ASSERT_TRUE(sheet.Save(store));
  const std::string broken = std::string(AngleSeries::kStoreKey) + "\\Broken";
  ASSERT_TRUE(store.createKey(broken));
  ASSERT_TRUE(store.writeDword(broken, "AngleCount", 3));

  AngleSeries current = sheet;
  AngleSeriesPage page(store, current);
  ASSERT_EQ(page.selectedName(), "Sheet");
  page.select(FindName(page.names(), "Broken"));
  EXPECT_EQ(page.selectedName(), "Default");
  EXPECT_EQ(page.series().entries(), AngleSeries::BuiltInDefault().entries());

  page.select(FindName(page.names(), "Sheet"));
  ASSERT_TRUE(page.deleteSelected());
  EXPECT_EQ(current.name(), "Default");
  EXPECT_FALSE(AngleSeries::Exists(store, "Sheet"));
  EXPECT_EQ(page.selection(), 0);
  EXPECT_TRUE(page.series().empty());
}

TEST(OptionDialog, OkRefusesABadThresholdThenWritesEveryPage) {
  platform::MemoryKeyValueStore store;
  test::CapturedMessages messages;
  settings::TraceOption record;
  OptionDialog dialog(store, record, {}, 140);
  EXPECT_EQ(dialog.threshold.suggested, 140);
  EXPECT_EQ(dialog.drawing.vectorUndoSteps, 32);

  dialog.threshold.autoGray = false;
  dialog.threshold.grayText = "256";
  EXPECT_FALSE(dialog.accept());
  EXPECT_EQ(dialog.failedPage(), OptionDialog::Page::Threshold);
  EXPECT_EQ(dialog.focus(), OptionDialog::Field::Threshold);
  EXPECT_EQ(messages.messages(), std::vector<std::string>{"Invalid data !"});
  EXPECT_EQ(record, settings::TraceOption()) << "a refused OK changes nothing";
  dialog.threshold.grayText = "77";
  dialog.drawing.rasterUndoSteps = 11;
  EXPECT_FALSE(dialog.accept());
  EXPECT_EQ(dialog.focus(), OptionDialog::Field::RasterUndoSteps);

  dialog.drawing.vectorUndoSteps = 12;
  dialog.drawing.rasterUndoSteps = 3;
  dialog.drawing.osnap = {0x21, false};
  dialog.drawing.colors[static_cast<size_t>(settings::DisplayColor::BackGround)] = 250;
  dialog.drawing.colors[static_cast<size_t>(settings::DisplayColor::Normal)] = 7;
  dialog.drawing.gridPointType = 2;
  // A series saved on the page under the record's name takes effect on OK.
  dialog.width.select(FindName(dialog.width.names(), "Default"));
  record.s_WidthSeries = WidthSeries::BuiltInDefault();
  dialog.width.itemText = "4";
  dialog.width.addItem();
  ASSERT_TRUE(dialog.width.saveAs("Default"));
  ASSERT_TRUE(dialog.accept());

  EXPECT_FALSE(record.b_AutoGray);
  EXPECT_EQ(record.i_Gray, 77);
  EXPECT_EQ(record.s_WidthSeries.widths().back(), 4.0);
  // Index 7 against the dark grey background 250 (54 54 54) is white.
  EXPECT_EQ(record.color(settings::DisplayColor::Normal), settings::kRgbWhite);
  settings::TraceOption reread;
  settings::LoadOptions(store, reread);
  EXPECT_EQ(reread.i_Gray, 77);
  EXPECT_EQ(reread.colorIndex(settings::DisplayColor::BackGround), 250);
  EXPECT_EQ(reread.GridPointType, 2);
  EXPECT_EQ(settings::LoadUndoSteps(store), (settings::UndoSteps{12, 3}));
  EXPECT_EQ(settings::LoadOsnapSettings(store), (settings::OsnapSettings{0x21, false}));
  EXPECT_FALSE(dialog.languageChanged());
}

TEST(OptionDialog, AChosenLanguageIsStoredAndLoadedAtOnce) {
  test::TempDir dir;
  test::WriteFile(dir.file("english.lan"), "English\r\n");
  test::WriteFile(dir.file("deutsch.lan"), "Deutsch\r\nButtonOK=O&K\r\nButtonCancel=&Abbrechen\r\n");
  test::WriteFile(dir.file("empty.lan"), "\r\nButtonOK=x\r\n");
  platform::MemoryKeyValueStore store;
  test::CapturedMessages messages;
  LanguageGuard language;
  settings::TraceOption record;
  OptionDialog dialog(store, record, {dir.path() + "/"});
  ASSERT_EQ(dialog.language.files().size(), 2u) << "a file without a name line is not offered";
  EXPECT_EQ(dialog.language.currentName(), "English") << "a fresh user has english.lan";
  dialog.language.selection = settings::FindLanguageFile(dialog.language.files(), "deutsch.lan");
  EXPECT_EQ(dialog.language.currentName(), "Deutsch");
  ASSERT_TRUE(dialog.accept());
  EXPECT_TRUE(dialog.languageChanged());
  EXPECT_EQ(settings::CurrentLanguageFileName(store), "deutsch.lan");
  EXPECT_EQ(settings::Text("ButtonCancel", "&Cancel"), "&Abbrechen");
}

}  // namespace
}  // namespace quillon::editor
