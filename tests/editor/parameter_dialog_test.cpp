#include "editor/parameter_dialog.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "model/graph.h"
#include "model/layer.h"
#include "platform/key_value_store.h"
#include "raster/raster.h"
#include "settings/option_store.h"
#include "settings/trace_option.h"
#include "support/test_support.h"

namespace quillon::editor {
namespace {

using Control = ParameterDialog::Control;
using Result = ParameterDialog::ChartResult;
using settings::ParameterField;
using settings::TraceMethod;

TEST(ParameterDialog, SwitchesEnableTheirControls) {
  platform::MemoryKeyValueStore store;
  ParameterDialog dialog(store, settings::TraceOption{}, false);
  const auto enabled = [&](Control c) { return dialog.enabled(c); };
  // Defaults: automatic threshold, every centre-line switch on, outline fill off.
  EXPECT_FALSE(enabled(Control::Threshold));
  for (Control c : {Control::WidthSeries, Control::DelLineLength, Control::AngleSeries, Control::ConDis})
    EXPECT_TRUE(enabled(c));
  EXPECT_FALSE(enabled(Control::OutlineFillType));
  EXPECT_FALSE(enabled(Control::OutlineFillSpace));

  auto& p = dialog.pages;
  p.autoGray = false;
  p.calcWidth = p.delLine = p.forceOrtho = p.connect = false;
  EXPECT_TRUE(enabled(Control::Threshold));
  for (Control c : {Control::WidthSeries, Control::DelLineLength, Control::AngleSeries, Control::ConDis})
    EXPECT_FALSE(enabled(c));

  p.outlineFill = true;
  p.outlineFillType = 3;  // solid has no spacing
  EXPECT_TRUE(enabled(Control::OutlineFillType));
  EXPECT_FALSE(enabled(Control::OutlineFillSpace));
  p.outlineFillType = 2;
  EXPECT_TRUE(enabled(Control::OutlineFillSpace));
}

TEST(ParameterDialog, EditsCommitOnlyOnAcceptAndARefusedValueNamesItsControl) {
  platform::MemoryKeyValueStore store;
  test::CapturedMessages messages;
  settings::TraceOption original;
  ParameterDialog dialog(store, original, false);
  dialog.pages.conDis = "12";
  dialog.pages.refine = true;
  dialog.pages.delLineLength = "0";  // lengths must be greater than 0
  EXPECT_EQ(dialog.record(), original);

  EXPECT_FALSE(dialog.accept());
  EXPECT_EQ(dialog.focus(), ParameterField::DelLineLength);
  EXPECT_EQ(messages.messages(), std::vector<std::string>{"Invalid data !"});

  dialog.pages.delLineLength = "7";
  ASSERT_TRUE(dialog.accept());
  EXPECT_EQ(dialog.focus(), ParameterField::None);
  EXPECT_EQ(dialog.record().i_ConDis, 12);
  EXPECT_EQ(dialog.record().i_DelLine_Length, 7);
  EXPECT_TRUE(dialog.record().b_Refine);
}

TEST(ParameterDialog, OnlyTheShownMethodPageIsCheckedAndCommitted) {
  platform::MemoryKeyValueStore store;
  test::CapturedMessages messages;
  ParameterDialog dialog(store, settings::TraceOption{}, false);
  dialog.pages.conDis = "x";  // a bad centre-line value does not matter on another page
  dialog.pages.method = TraceMethod::FillPattern;
  dialog.pages.fillPatternType = 9;
  dialog.pages.fillPatternSpace = "2.5";
  ASSERT_TRUE(dialog.accept());
  EXPECT_EQ(dialog.record().i_AutoTraceWhat, TraceMethod::FillPattern);
  EXPECT_EQ(dialog.record().FillPattern.i_FillType, settings::FillType::Cross);  // clamped to 0..2
  EXPECT_DOUBLE_EQ(dialog.record().FillPattern.d_FillSpace, 2.5);
  EXPECT_EQ(dialog.record().i_ConDis, 5);

  dialog.pages.method = TraceMethod::Outline;
  dialog.pages.outlineFillSpace = "0";
  EXPECT_FALSE(dialog.accept());
  EXPECT_EQ(dialog.focus(), ParameterField::OutlineFillSpace);
  dialog.pages.autoGray = false;
  dialog.pages.threshold = "256";
  EXPECT_FALSE(dialog.accept());
  EXPECT_EQ(dialog.focus(), ParameterField::Threshold);
}

TEST(ParameterDialog, HandEditsOfTheCentreLineMakeTheChartTypeUnnamed) {
  platform::MemoryKeyValueStore store;
  ParameterDialog dialog(store, settings::TraceOption{}, false);
  EXPECT_EQ(dialog.pages.chartType, "pre_Default");
  dialog.pages.method = TraceMethod::Outline;
  dialog.centreLineEdited();
  EXPECT_EQ(dialog.pages.chartType, "pre_Default");  // only while the centre-line page is shown
  dialog.pages.method = TraceMethod::CenterLine;
  dialog.centreLineEdited();
  EXPECT_EQ(dialog.pages.chartType, "Unnamed");
}

TEST(ParameterDialog, ChoosingAChartTypeShowsItsValuesButKeepsTheOtherPages) {
  platform::MemoryKeyValueStore store;
  settings::TraceOption start;
  start.i_AutoTraceWhat = TraceMethod::Outline;
  ParameterDialog dialog(store, start, false);
  dialog.pages.outlineMaxDis = "0,7";  // an edit on another page survives the choice
  EXPECT_TRUE(dialog.chooseChartType("pre_Engineering"));
  EXPECT_EQ(dialog.pages.chartType, "pre_Engineering");
  EXPECT_EQ(dialog.pages.conDis, "9");
  EXPECT_EQ(dialog.pages.delLineLength, "5");
  EXPECT_FALSE(dialog.pages.calcWidth);
  EXPECT_EQ(dialog.pages.outlineMaxDis, "0,7");
  EXPECT_EQ(dialog.pages.method, TraceMethod::Outline);
  EXPECT_EQ(dialog.record().i_AutoTraceWhat, TraceMethod::Outline);

  EXPECT_FALSE(dialog.chooseChartType("nothing stored"));
  EXPECT_EQ(dialog.pages.chartType, "Unnamed");
  EXPECT_EQ(dialog.pages.conDis, "5");
}

TEST(ParameterDialog, SavedChartTypeJoinsTheBoxLoadsBackAndDeletes) {
  platform::MemoryKeyValueStore store;
  test::CapturedMessages messages;
  ParameterDialog dialog(store, settings::TraceOption{}, false);
  const std::vector<std::string> builtIn{"pre_Engineering", "pre_Topography", "pre_Default"};
  EXPECT_EQ(dialog.chartTypes(), builtIn);

  dialog.pages.conDis = "17";
  dialog.centreLineEdited();
  EXPECT_FALSE(dialog.saveNeedsOverwrite("pre"));  // only the beginning of a listed name
  EXPECT_TRUE(dialog.saveNeedsOverwrite("PRE_DEFAULT"));
  ASSERT_EQ(dialog.saveChartType("Maps"), Result::Done);
  EXPECT_EQ(dialog.pages.chartType, "Maps");
  EXPECT_EQ(dialog.chartTypes().back(), "Maps");
  EXPECT_EQ(settings::ListChartTypes(store), std::vector<std::string>{"Maps"});

  // Another dialog finds it stored and loads it.
  ParameterDialog later(store, settings::TraceOption{}, false);
  EXPECT_EQ(later.chartTypes().front(), "Maps");
  ASSERT_TRUE(later.chooseChartType("Maps"));
  EXPECT_EQ(later.pages.conDis, "17");

  ASSERT_EQ(later.deleteChartType(), Result::Done);
  EXPECT_EQ(later.pages.chartType, "Unnamed");
  EXPECT_EQ(later.chartTypes(), builtIn);
  EXPECT_TRUE(settings::ListChartTypes(store).empty());
  EXPECT_TRUE(messages.messages().empty());

  // A built-in name with no stored key: the store says so, the box keeps it.
  later.pages.chartType = "pre_Topography";
  EXPECT_EQ(later.deleteChartType(), Result::StoreFailed);
  EXPECT_EQ(later.chartTypes(), builtIn);
  EXPECT_EQ(messages.messages(), std::vector<std::string>{"Write to registry failed!"});
}

TEST(ParameterDialog, SavingWithAnInvalidValueStoresNothing) {
  platform::MemoryKeyValueStore store;
  test::CapturedMessages messages;
  ParameterDialog dialog(store, settings::TraceOption{}, false);
  dialog.pages.centerMaxDis = "-1";
  EXPECT_EQ(dialog.saveChartType("Bad"), Result::InvalidData);
  EXPECT_EQ(dialog.focus(), ParameterField::CenterMaxDis);
  EXPECT_TRUE(settings::ListChartTypes(store).empty());
  EXPECT_EQ(messages.messages(), std::vector<std::string>{"Invalid data !"});
}

TEST(ParameterDialog, ResetOfPreDefaultReturnsEveryControlAndStoresThePreset) {
  platform::MemoryKeyValueStore store;
  settings::TraceOption start;
  start.b_AutoGray = false;
  start.i_Gray = 90;
  start.i_ConDis = 30;
  ParameterDialog dialog(store, start, false);
  dialog.pages.chartType = "Mine";
  EXPECT_EQ(dialog.resetChartType(), Result::Nothing);
  EXPECT_EQ(dialog.pages.conDis, "30");

  dialog.pages.chartType = "pre_Default";
  ASSERT_EQ(dialog.resetChartType(), Result::Done);
  EXPECT_TRUE(dialog.pages.autoGray);
  EXPECT_EQ(dialog.pages.threshold, "128");
  EXPECT_EQ(dialog.pages.conDis, "5");
  EXPECT_EQ(settings::ListChartTypes(store), std::vector<std::string>{"pre_Default"});
}

TEST(ParameterDialog, SummaryAndPreviewFollowTheControlsWithoutTouchingTheRecord) {
  platform::MemoryKeyValueStore store;
  settings::TraceOption start;
  ParameterDialog dialog(store, start, false);
  dialog.pages.method = TraceMethod::Outline;
  dialog.pages.outlineFill = true;
  dialog.pages.outlineFillType = 3;
  EXPECT_EQ(dialog.summary(),
            "Method=Outline\nRecognise circle and arc.\nStraighten intension= 1.500\nFill type : Solid\n");
  const auto preview = dialog.previewOptions();
  ASSERT_TRUE(preview);
  EXPECT_EQ(preview->i_AutoTraceWhat, TraceMethod::Outline);
  EXPECT_TRUE(preview->Outline.b_Fill);
  EXPECT_EQ(dialog.record(), start);

  dialog.pages.outlineMaxDis = "wide";
  EXPECT_FALSE(dialog.previewOptions());
}

TEST(ParameterPreviewArea, VisibleBoxBecomesClippedRasterRows) {
  // Raster 100 × 50: drawing y = 49 is row 0.
  EXPECT_EQ(VisiblePixels(100, 50, {0, 99, 0, 49}), (PixelRect{0, 0, 100, 50}));
  EXPECT_EQ(VisiblePixels(100, 50, {-40, 300, -10, 90}), (PixelRect{0, 0, 100, 50}));
  EXPECT_EQ(VisiblePixels(100, 50, {10, 19, 30, 39}), (PixelRect{10, 10, 20, 20}));
  EXPECT_TRUE(VisiblePixels(100, 50, {200, 300, 0, 49}).empty());
}

// Collects the preview results the worker threads deliver.
struct Results {
  void add(PreviewResult r) {
    std::lock_guard lock(mutex);
    all.push_back(std::move(r));
    changed.notify_all();
  }
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<PreviewResult> all;
};

// A 1-bit raster with one thick horizontal bar.
raster::CRaster BarRaster() {
  raster::CRaster image;
  EXPECT_TRUE(image.create(120, 60, 1));
  for (int y = 26; y < 34; ++y)
    for (int x = 10; x < 110; ++x) image.setBit(x, y, true);
  return image;
}

TEST(ParameterPreview, TracesTheVisiblePartAndOnlyTheNewestRunCounts) {
  raster::CRaster image = BarRaster();
  Results results;
  ParameterPreview preview(image, PixelRect{0, 10, 120, 50}, 128, [&](PreviewResult r) { results.add(std::move(r)); });
  ASSERT_FALSE(preview.empty());

  settings::TraceOption options;
  const int first = preview.start(options);
  const int second = preview.start(options);  // cancels the first
  EXPECT_GT(second, first);
  preview.wait();
  ASSERT_EQ(results.all.size(), 2u);
  const PreviewResult* newest = nullptr;
  for (const auto& r : results.all) {
    if (r.generation == first && r.resultCode == 10) {
      EXPECT_FALSE(r.drawing);  // a cancelled run hands back nothing
    }
    if (r.generation == second) newest = &r;
  }
  ASSERT_TRUE(newest && newest->drawing);
  EXPECT_EQ(newest->resultCode, 0);
  EXPECT_EQ(newest->drawing->raster().height(), 40);  // the part, not the whole raster
  size_t entities = 0;
  for (const auto& layer : newest->drawing->layers()) entities += layer->count();
  EXPECT_GT(entities, 0u);
  EXPECT_EQ(image.width(), 120);  // the source is only copied
}

TEST(ParameterPreview, NothingVisibleStartsNothing) {
  raster::CRaster image = BarRaster();
  ParameterPreview preview(image, PixelRect{}, 128, {});
  EXPECT_TRUE(preview.empty());
  EXPECT_EQ(preview.start(settings::TraceOption{}), 0);
}

}  // namespace
}  // namespace quillon::editor
