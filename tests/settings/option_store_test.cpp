#include "settings/option_store.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

#include "platform/key_value_store.h"
#include "support/test_support.h"

namespace quillon::settings {
namespace {

using platform::MemoryKeyValueStore;

const char* kFailMessage = "Write to registry failed!";

// Fails every write once `failAfter` writes went through (and every flush when asked).
class FailingStore : public MemoryKeyValueStore {
 public:
  int failAfter = 1 << 30;
  bool failFlush = false;
  bool createKey(std::string_view path) override { return count() && MemoryKeyValueStore::createKey(path); }
  bool writeValue(std::string_view path, std::string_view name, platform::StoreValue value) override {
    return count() && MemoryKeyValueStore::writeValue(path, name, std::move(value));
  }
  bool flush() override { return !failFlush; }

 private:
  bool count() { return failAfter-- > 0; }
};

TraceOption Custom() {
  TraceOption r;
  r.ModalName = "Unnamed";
  r.b_CalcWidth = true;
  r.s_WidthSeries.LoadDefault();
  r.b_DelLine = false;
  r.i_DelLine_Length = 7;
  r.b_RecogniseCirArc = false;
  r.d_MaxDis = 0.5;
  r.s_AngleSeries.LoadOrtho();
  r.i_ConDis = 11;
  r.b_Refine = true;
  r.Outline = {0.25, false, true, FillType::Vertical, 3.5};
  r.FillPattern = {FillType::Cross, 0.75};
  r.i_Gray = 77;
  r.b_AutoGray = false;
  r.setColorIndex(DisplayColor::Normal, 3);
  r.setColorIndex(DisplayColor::BackGround, 250);
  r.setColorIndex(DisplayColor::SelGripBox, 256);
  r.i_GripBoxHalfWidth = 6;
  r.GridPointType = 2;
  r.i_VectorFileFormat = 5;
  return r;
}

TEST(OptionStore, FreshStoreKeepsEveryDefault) {
  test::CapturedMessages messages;
  MemoryKeyValueStore store;
  TraceOption r;
  LoadOptions(store, r);
  EXPECT_EQ(r, TraceOption());
  EXPECT_EQ(r.ModalName, "pre_Default");
  EXPECT_FALSE(CheckSettingsVersion(store, r));
  EXPECT_EQ(store.readDword(kVersionKey, "version"), 300u);
  EXPECT_TRUE(messages.messages().empty());
}

TEST(OptionStore, SavedOptionsLoadBackWhole) {
  MemoryKeyValueStore store;
  const TraceOption saved = Custom();
  ASSERT_TRUE(SaveOptions(store, saved));
  TraceOption loaded;
  LoadOptions(store, loaded);
  EXPECT_EQ(loaded, saved);
  EXPECT_EQ(loaded.color(DisplayColor::BackGround), saved.color(DisplayColor::BackGround));

  // A record that holds a chart type's values keeps its name.
  TraceOption chart = Custom();
  chart.i_AutoTraceWhat = TraceMethod::CenterLine;
  ASSERT_TRUE(SaveChartType(store, chart, "Mine"));
  chart.ModalName = "Mine";
  ASSERT_TRUE(SaveOptions(store, chart));
  TraceOption again;
  LoadOptions(store, again);
  EXPECT_EQ(again, chart);
}

TEST(OptionStore, StoredValuesKeysAndTypesAreTheDocumentedOnes) {
  MemoryKeyValueStore store;
  ASSERT_TRUE(SaveOptions(store, Custom()));
  const std::string root = "Software\\Marrowby\\Quillon\\";
  EXPECT_EQ(store.readDword(root + "Option", "c_BackGroundColorIndex"), 250u);
  EXPECT_EQ(store.readDword(root + "Option", "c_SelGripBoxColorIndex"), 256u);
  EXPECT_EQ(store.readDword(root + "Option", "i_AutoTraceWhat"), 1u);
  EXPECT_EQ(store.readString(root + "Option\\Center", "ModalName"), "Unnamed");
  EXPECT_EQ(store.readString(root + "Option\\Center", "s_AngleSeries"), "Ortho series");
  EXPECT_EQ(store.readBinary(root + "Option\\Center", "d_MaxDis"), StoredDoubleBytes(0.5));
  EXPECT_EQ(store.readDword(root + "Option\\Center", "b_Refine"), 1u);
  EXPECT_EQ(store.readBinary(root + "Option\\Outline", "d_FillSpace"), StoredDoubleBytes(3.5));
  EXPECT_EQ(store.readDword(root + "Option\\FillPattern", "i_FillType"), 2u);
}

TEST(OptionStore, MalformedAndOutOfRangeValuesAreClampedSilently) {
  test::CapturedMessages messages;
  MemoryKeyValueStore store;
  for (const char* key : {kOptionKey, kOptionCenterKey, kOptionOutlineKey, kOptionFillPatternKey})
    store.createKey(key);
  store.writeDword(kOptionKey, "i_AutoTraceWhat", 0);
  store.writeDword(kOptionKey, "i_Gray", 0x1FF);
  store.writeString(kOptionKey, "b_AutoGray", "yes");  // wrong type: default 0
  store.writeDword(kOptionKey, "c_NormalColorIndex", 0x10002);
  store.writeDword(kOptionKey, "GridPointType", 0xFFFFFFFF);
  store.writeDword(kOptionKey, "i_VectorFileFormat", 12);
  store.writeBinary(kOptionCenterKey, "d_MaxDis", StoredDoubleBytes(-3));
  store.writeDword(kOptionCenterKey, "i_ConDis", 0xFFFFFFFF);  // -1: not a distance
  store.writeBinary(kOptionOutlineKey, "d_MaxDis", {1, 2, 3});  // wrong length: default
  store.writeDword(kOptionOutlineKey, "i_FillType", 0xFFFFFFFF);
  store.writeBinary(kOptionOutlineKey, "d_FillSpace", StoredDoubleBytes(std::numeric_limits<double>::quiet_NaN()));
  store.writeDword(kOptionFillPatternKey, "i_FillType", 3);
  store.writeBinary(kOptionFillPatternKey, "d_FillSpace", StoredDoubleBytes(0));

  TraceOption r;
  LoadOptions(store, r);
  EXPECT_EQ(r.i_AutoTraceWhat, TraceMethod::CenterLine);
  EXPECT_EQ(r.i_Gray, 0xFF);
  EXPECT_FALSE(r.b_AutoGray);
  EXPECT_EQ(r.colorIndex(DisplayColor::Normal), 2);
  EXPECT_EQ(r.GridPointType, 2);
  EXPECT_EQ(r.i_VectorFileFormat, 9);
  EXPECT_EQ(r.d_MaxDis, 0.0);
  EXPECT_EQ(r.i_ConDis, 5);
  EXPECT_EQ(r.ModalName, "Unnamed");
  EXPECT_EQ(r.Outline, (OutlineOption{1.5, true, false, FillType::Solid, 1.0}));
  EXPECT_EQ(r.FillPattern, (FillPatternOption{FillType::Cross, 1.0}));

  store.writeDword(kOptionKey, "i_AutoTraceWhat", 9);
  store.writeDword(kOptionKey, "i_VectorFileFormat", 0);
  LoadOptions(store, r);
  EXPECT_EQ(r.i_VectorFileFormat, 1);
  EXPECT_EQ(r.i_AutoTraceWhat, TraceMethod::FillPattern);
  EXPECT_TRUE(messages.messages().empty());
}

TEST(OptionStore, LoadingAStoredChartTypeSelectsTheCentreLine) {
  MemoryKeyValueStore store;
  TraceOption chart;
  chart.d_MaxDis = 1.25;
  ASSERT_TRUE(SaveChartType(store, chart, "Plans"));
  chart.ModalName = "Plans";
  chart.i_AutoTraceWhat = TraceMethod::Outline;
  ASSERT_TRUE(SaveOptions(store, chart));
  store.writeBinary(kOptionCenterKey, "d_MaxDis", StoredDoubleBytes(1.25 + 0.000005));

  TraceOption r;
  LoadOptions(store, r);
  EXPECT_EQ(r.i_AutoTraceWhat, TraceMethod::CenterLine);
  EXPECT_EQ(r.ModalName, "Plans");  // closer than 0.00001 is no difference

  store.writeBinary(kOptionCenterKey, "d_MaxDis", StoredDoubleBytes(1.3));
  LoadOptions(store, r);
  EXPECT_EQ(r.ModalName, "Unnamed");
  EXPECT_EQ(r.d_MaxDis, 1.3);
}

TEST(ChartTypes, RoundTripThroughTheSettingsFile) {
  test::TempDir dir;
  const std::string file = dir.file("settings.json");
  TraceOption chart;
  chart.b_CalcWidth = true;
  chart.s_WidthSeries.LoadDefault();
  chart.b_DelLine = false;
  chart.d_MaxDis = 0.125;
  chart.s_AngleSeries.LoadTinily();
  chart.i_ConDis = 21;
  chart.b_RecogniseCirArc = false;
  {
    platform::JsonFileKeyValueStore store(file);
    ASSERT_TRUE(SaveChartType(store, chart, "Survey"));
    ASSERT_TRUE(SaveChartType(store, TraceOption(), "pre_Engineering"));  // overrides the built-in
  }
  platform::JsonFileKeyValueStore store(file);
  EXPECT_EQ(ListChartTypes(store), (std::vector<std::string>{"Survey", "pre_Engineering"}));
  EXPECT_EQ(ChartTypeChoices(store),
            (std::vector<std::string>{"Survey", "pre_Engineering", "pre_Topography", "pre_Default"}));

  TraceOption loaded = TraceOption();
  loaded.i_AutoTraceWhat = TraceMethod::FillPattern;
  ASSERT_TRUE(LoadChartType(store, loaded, "Survey"));
  chart.ModalName = "Survey";
  EXPECT_EQ(loaded, chart);

  ASSERT_TRUE(LoadChartType(store, loaded, loaded.ModalName));  // its own name, reloaded
  EXPECT_EQ(loaded, chart);
  ASSERT_TRUE(LoadChartType(store, loaded, "pre_Engineering"));
  EXPECT_EQ(loaded.i_ConDis, 5);  // the stored values, not the preset's 9

  test::CapturedMessages messages;
  EXPECT_TRUE(DeleteChartType(store, "survey"));
  EXPECT_FALSE(LoadChartType(store, loaded, "Survey"));
  EXPECT_EQ(loaded.ModalName, "Unnamed");
  EXPECT_EQ(loaded.i_ConDis, 5);
  EXPECT_TRUE(messages.messages().empty());
  platform::JsonFileKeyValueStore reread(file);
  EXPECT_EQ(ListChartTypes(reread), std::vector<std::string>{"pre_Engineering"});
}

TEST(ChartTypes, BuiltInNamesAndBadNames) {
  test::CapturedMessages messages;
  MemoryKeyValueStore store;
  TraceOption r;
  EXPECT_TRUE(LoadChartType(store, r, "PRE_TOPOGRAPHY"));
  EXPECT_EQ(r.ModalName, "pre_Topography");
  EXPECT_FALSE(LoadChartType(store, r, ""));
  EXPECT_EQ(r.ModalName, "Unnamed");
  EXPECT_EQ(r.i_ConDis, 5);
  store.createKey(std::string(kOptionListKey) + "\\a\\b");
  EXPECT_FALSE(LoadChartType(store, r, "a\\b"));  // key paths are not names

  EXPECT_FALSE(SaveChartType(store, r, "x\\y"));
  EXPECT_FALSE(DeleteChartType(store, "never stored"));
  EXPECT_EQ(messages.messages(), (std::vector<std::string>{kFailMessage, kFailMessage}));
}

TEST(ChartTypes, MissingStoredValuesTakeTheChartDefaults) {
  MemoryKeyValueStore store;
  store.createKey(std::string(kOptionListKey) + "\\Bare");
  store.writeString(std::string(kOptionListKey) + "\\Bare", "s_AngleSeries", "Nowhere");
  TraceOption r;
  r.s_WidthSeries.LoadDefault();
  ASSERT_TRUE(LoadChartType(store, r, "Bare"));
  EXPECT_TRUE(r.b_CalcWidth);
  EXPECT_FALSE(r.b_DelLine);  // a chart type without the value does not delete
  EXPECT_EQ(r.i_DelLine_Length, 10);
  EXPECT_EQ(r.s_WidthSeries, WidthSeries::BuiltInDefault());  // no stored name: unchanged
  EXPECT_EQ(r.s_AngleSeries, AngleSeries::BuiltInDefault());
}

TEST(ChartTypes, DialogCommands) {
  const std::vector<std::string> listed{"Survey", "pre_Engineering", "pre_Topography", "pre_Default"};
  EXPECT_TRUE(ChartTypeNameListed(listed, "SURVEY"));
  EXPECT_FALSE(ChartTypeNameListed(listed, "pre"));  // a beginning is a new name
  EXPECT_TRUE(IsBuiltInChartType("Pre_Topography"));
  EXPECT_FALSE(IsBuiltInChartType("Survey"));

  MemoryKeyValueStore store;
  TraceOption r = Custom();
  EXPECT_FALSE(ResetChartType(store, r, "Survey"));
  EXPECT_EQ(r, Custom());
  EXPECT_TRUE(ResetChartType(store, r, "pre_Engineering"));
  EXPECT_EQ(r.i_ConDis, 9);
  EXPECT_EQ(r.colorIndex(DisplayColor::BackGround), 250);  // a preset keeps the display options
  EXPECT_EQ(store.readDword(std::string(kOptionListKey) + "\\pre_Engineering", "i_ConDis"), 9u);
  EXPECT_TRUE(ResetChartType(store, r, "pre_default"));
  TraceOption defaults;
  defaults.s_WidthSeries = r.s_WidthSeries;  // untouched by every preset
  EXPECT_EQ(r, defaults);
  EXPECT_TRUE(store.keyExists(std::string(kOptionListKey) + "\\pre_Default"));

  test::CapturedMessages messages;
  FailingStore failing;
  failing.failAfter = 0;
  EXPECT_FALSE(ResetChartType(failing, r, "pre_Topography"));
  EXPECT_EQ(messages.messages(), (std::vector<std::string>{kFailMessage, "Save error!\nPlease save again!"}));
}

TEST(OptionStore, WriteFailuresAreReportedOnceAndStopTheSave) {
  test::CapturedMessages messages;
  FailingStore store;
  store.failAfter = 3;
  EXPECT_FALSE(SaveOptions(store, TraceOption()));
  EXPECT_EQ(messages.messages(), std::vector<std::string>{kFailMessage});
  EXPECT_FALSE(store.keyExists(kOptionCenterKey));

  messages.sink().clear();
  FailingStore flushFails;
  flushFails.failFlush = true;
  EXPECT_FALSE(SaveOptions(flushFails, TraceOption()));
  EXPECT_FALSE(SaveChartType(flushFails, TraceOption(), "X"));
  EXPECT_EQ(messages.messages(), (std::vector<std::string>{kFailMessage, kFailMessage}));
}

TEST(OptionStore, GarbageSettingsFileLoadsAsDefaultsAndTheNextSaveIsWhole) {
  test::CapturedMessages messages;
  test::TempDir dir;
  const std::string file = dir.file("settings.json");
  for (const char* garbage : {"", "{\"keys\": {\"Software\": 5", "\x01\x02garbage", "[1,2,3]",
                              "{\"keys\":{\"Software\":{\"keys\":{\"Marrowby\":{\"keys\":{\"Quillon\":{\"keys\":"
                              "{\"Option\":{\"values\":{\"i_Gray\":{\"string\":\"x\"},\"i_AutoTraceWhat\":"
                              "{\"dword\":-4}}}}}}}}}}}"}) {
    test::WriteFile(file, garbage);
    TraceOption r;
    {
      platform::JsonFileKeyValueStore store(file);
      LoadOptions(store, r);
      EXPECT_EQ(r.i_Gray, 128) << garbage;
      EXPECT_EQ(r.i_AutoTraceWhat, TraceMethod::CenterLine);
      r.i_Gray = 3;
      ASSERT_TRUE(SaveOptions(store, r));
    }
    platform::JsonFileKeyValueStore reread(file);
    TraceOption back;
    LoadOptions(reread, back);
    EXPECT_EQ(back.i_Gray, 3);
  }
  // The damaged files were reported (once each) and kept aside; nothing else was said.
  for (const std::string& m : messages.messages())
    EXPECT_TRUE(m.find("settings file") != std::string::npos || m.find("kept as") != std::string::npos) << m;
}

TEST(OptionStore, ConcurrentSavesLeaveOneWholeVersion) {
  test::TempDir dir;
  const std::string file = dir.file("settings.json");
  auto saver = [&](uint8_t gray, TraceMethod method) {
    for (int i = 0; i < 20; ++i) {
      platform::JsonFileKeyValueStore store(file);
      TraceOption r;
      r.i_Gray = gray;
      r.i_AutoTraceWhat = method;
      r.Outline.d_MaxDis = gray;
      (void)SaveOptions(store, r);
    }
  };
  std::thread a(saver, 10, TraceMethod::Outline);
  std::thread b(saver, 20, TraceMethod::FillPattern);
  a.join();
  b.join();
  platform::JsonFileKeyValueStore store(file);
  TraceOption r;
  LoadOptions(store, r);
  ASSERT_TRUE(r.i_Gray == 10 || r.i_Gray == 20);
  EXPECT_EQ(r.Outline.d_MaxDis, r.i_Gray);
  EXPECT_EQ(r.i_AutoTraceWhat, r.i_Gray == 10 ? TraceMethod::Outline : TraceMethod::FillPattern);
}

TEST(SettingsVersion, OlderSettingsResetTheColoursOnce) {
  test::CapturedMessages messages;
  MemoryKeyValueStore store;
  store.createKey(kVersionKey);
  store.writeDword(kVersionKey, "", 200);  // only the unnamed value
  TraceOption r;
  r.setColorIndex(DisplayColor::Normal, 2);
  r.setColorIndex(DisplayColor::OsnapBox, 9);
  r.setColorIndex(DisplayColor::GripBox, 9);
  EXPECT_TRUE(CheckSettingsVersion(store, r));
  EXPECT_EQ(r.colorIndex(DisplayColor::Normal), 5);
  EXPECT_EQ(r.colorIndex(DisplayColor::OsnapBox), 6);
  EXPECT_EQ(r.colorIndex(DisplayColor::GripBox), 9);  // not one of the four
  EXPECT_EQ(messages.messages(), std::vector<std::string>{"Reset the color due to lower version."});
  EXPECT_FALSE(CheckSettingsVersion(store, r));
  EXPECT_EQ(messages.messages().size(), 1u);
}

TEST(RecentFiles, AddRecentMovesOrInserts) {
  RecentFileList list{"a", "b", "c", "d", "e"};
  EXPECT_FALSE(AddRecent(list, "A"));
  EXPECT_TRUE(AddRecent(list, "D"));
  EXPECT_EQ(list, (RecentFileList{"D", "a", "b", "c", "e"}));
  EXPECT_TRUE(AddRecent(list, "new"));
  EXPECT_EQ(list, (RecentFileList{"new", "D", "a", "b", "c"}));
  RecentFileList empty;
  EXPECT_TRUE(AddRecent(empty, "x"));
  EXPECT_EQ(empty, (RecentFileList{"x", "", "", "", ""}));
}

TEST(RecentFiles, LoadStopsAtTheFirstGapAndSaveBlanksTheRest) {
  MemoryKeyValueStore store;
  store.createKey(kFileListKey);
  store.writeString(kFileListKey, "file0", "/a.bmp");
  store.writeString(kFileListKey, "file2", "/c.bmp");
  RecentFileList list = LoadRecentFiles(store, kFileListKey);
  EXPECT_EQ(list, (RecentFileList{"/a.bmp", "", "", "", ""}));
  ASSERT_TRUE(SaveRecentFiles(store, kFileListKey, RecentFileList{"/x", "", "/y", "", ""}));
  EXPECT_EQ(store.readString(kFileListKey, "file0"), "/x");
  for (const char* name : {"file1", "file2", "file3", "file4"}) EXPECT_EQ(store.readString(kFileListKey, name), "");
  store.writeString(kVectorFileListKey, "file0", std::string(400, 'p'));
  EXPECT_TRUE(LoadRecentFiles(store, kVectorFileListKey)[0].empty());
  store.createKey(kVectorFileListKey);
  store.writeString(kVectorFileListKey, "file0", std::string(400, 'p'));
  EXPECT_EQ(LoadRecentFiles(store, kVectorFileListKey)[0].size(), 260u);
}

TEST(StartUp, FirstStartWritesTheVersionAndExitKeepsEverything) {
  test::CapturedMessages messages;
  test::TempDir dir;
  const std::string file = dir.file("settings.json");
  RecentLists recent;
  TraceOption r;
  {
    platform::JsonFileKeyValueStore store(file);
    recent = LoadStartupSettings(store, r);
    EXPECT_EQ(recent, RecentLists{});
    EXPECT_EQ(store.readDword(kVersionKey, "version"), 300u);
    AddRecent(recent.rasterFiles, "/scan.tif");
    AddRecent(recent.vectorFiles, "/out.dxf");
    r.i_Gray = 12;
    ASSERT_TRUE(SaveExitSettings(store, r, recent));
  }
  platform::JsonFileKeyValueStore store(file);
  TraceOption again;
  EXPECT_EQ(LoadStartupSettings(store, again), recent);
  EXPECT_EQ(again, r);
  EXPECT_TRUE(messages.messages().empty());
}

TEST(OtherValues, RoundTripAndOutOfRangeFallBack) {
  MemoryKeyValueStore store;
  EXPECT_EQ(LoadOsnapSettings(store), OsnapSettings{});
  EXPECT_EQ(LoadUndoSteps(store), UndoSteps{});
  EXPECT_EQ(LoadSaveGraphicsSize(store), SaveGraphicsSize{});
  EXPECT_EQ(LoadBatchWindowSettings(store), BatchWindowSettings{});

  ASSERT_TRUE(SaveOsnapSettings(store, {0x21, false}));
  ASSERT_TRUE(SaveUndoSteps(store, {100, 10}));
  ASSERT_TRUE(SaveSaveGraphicsSize(store, {210.0, 297.0, 2}));
  BatchWindowSettings batch;
  batch.targetFormatIndex = 8;
  batch.targetFolder = "/out";
  batch.columnWidths[12] = 90;
  batch.recentJobs = {"/j1.trj", "", "/j3.trj", ""};
  ASSERT_TRUE(SaveBatchWindowSettings(store, batch));
  EXPECT_EQ(LoadOsnapSettings(store), (OsnapSettings{0x21, false}));
  EXPECT_EQ(LoadUndoSteps(store), (UndoSteps{100, 10}));
  EXPECT_EQ(LoadSaveGraphicsSize(store), (SaveGraphicsSize{210.0, 297.0, 2}));
  EXPECT_EQ(LoadBatchWindowSettings(store), batch);

  ASSERT_TRUE(SaveUndoSteps(store, {101, 0}));
  EXPECT_EQ(LoadUndoSteps(store), UndoSteps{});
  ASSERT_TRUE(SaveSaveGraphicsSize(store, {-1.0, 0.0, 7}));
  EXPECT_EQ(LoadSaveGraphicsSize(store), (SaveGraphicsSize{640.0, 480.0, 3}));
  store.writeDword(kBatchKey, "TargetFormatIndex", 12);
  EXPECT_EQ(LoadBatchWindowSettings(store).targetFormatIndex, 8u);
}

}  // namespace
}  // namespace quillon::settings
