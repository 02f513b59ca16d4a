#include "raster/raster_undo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "raster/brightness_contrast.h"
#include "raster/raster.h"
#include "raster/template_filter.h"
#include "raster_test_images.h"

namespace quillon::raster {
namespace {

using test::ImageState;
using test::MakeImage;
using test::StateOf;

CRaster Picture() { return MakeImage(100, 100, 8, [](int x, int y, int) { return (x * 3 + y) & 0xFF; }); }

// One recorded "operation": records, then marks the top-left pixel with n.
void Operate(RasterUndoList& list, CRaster& raster, int n, const std::string& name = "Filter") {
  ASSERT_TRUE(list.record(raster, name));
  raster.row(0)[0] = static_cast<uint8_t>(n);
}

TEST(RasterUndo, DepthKeepsTheNewestEntriesAndUndoStopsAtTheStart) {
  CRaster raster = Picture();
  RasterUndoList list(3);
  std::vector<ImageState> states{StateOf(raster)};
  for (int n = 1; n <= 4; ++n) {
    Operate(list, raster, n * 10);
    states.push_back(StateOf(raster));
  }
  EXPECT_EQ(list.count(), 3u);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(list.undo());
    EXPECT_EQ(StateOf(raster), states[static_cast<size_t>(3 - i)]);
  }
  EXPECT_EQ(StateOf(raster), states[1]);  // as it was before the second operation
  EXPECT_FALSE(list.canUndo());
  EXPECT_FALSE(list.undo());  // past the start: nothing changes
  EXPECT_EQ(StateOf(raster), states[1]);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(list.redo());
  EXPECT_FALSE(list.redo());
  EXPECT_EQ(StateOf(raster), states[4]);
}

TEST(RasterUndo, RecordingAfterUndoDiscardsTheUndoneEntries) {
  CRaster raster = Picture();
  RasterUndoList list(5);
  for (int n = 1; n <= 3; ++n) Operate(list, raster, n);
  ASSERT_TRUE(list.undo());
  ASSERT_TRUE(list.undo());
  EXPECT_EQ(list.redoMenu().size(), 2u);
  const ImageState afterFirst = StateOf(raster);
  Operate(list, raster, 99);
  EXPECT_EQ(list.count(), 2u);
  EXPECT_TRUE(list.redoMenu().empty());
  EXPECT_FALSE(list.redo());
  ASSERT_TRUE(list.undo());
  EXPECT_EQ(StateOf(raster), afterFirst);
}

TEST(RasterUndo, UndoAndRedoExchangeTheWholeImage) {
  CRaster raster = MakeImage(6, 5, 24, [](int x, int y, int i) { return 40 * x + 9 * y + i; });
  ASSERT_TRUE(raster.setResolution(11811));
  Histogram histogram;
  raster.histogram(histogram);
  raster.setName("scan");
  raster.setNameValues(3, 4);
  const ImageState before = StateOf(raster);

  RasterUndoList list;
  ASSERT_TRUE(list.record(raster, UndoName::AdjustBrightContrast));
  ASSERT_TRUE(AdjustBrightnessContrast(raster, 40, 20));
  ASSERT_TRUE(list.record(raster, UndoName::Crop));
  ASSERT_TRUE(raster.crop(1, 1, 4, 3));
  ASSERT_TRUE(raster.setResolution(5000));
  const ImageState cropped = StateOf(raster);
  raster.setAttachment(std::make_unique<RasterAttachment>());

  ASSERT_TRUE(list.undo());
  ASSERT_TRUE(list.undo());
  EXPECT_EQ(raster.width(), 6);
  EXPECT_EQ(StateOf(raster), before);
  int ppm = 0;
  ASSERT_TRUE(raster.resolution(ppm));
  EXPECT_EQ(ppm, 11811);
  EXPECT_TRUE(raster.histogramValid());  // the histogram travels with its image
  Histogram restored;
  raster.histogram(restored);
  EXPECT_EQ(restored, histogram);
  EXPECT_EQ(raster.name(), "scan");  // the document keeps its name
  EXPECT_EQ(raster.nameValue1(), 3);
  EXPECT_EQ(raster.attachment(), nullptr);  // it described the image that went

  ASSERT_TRUE(list.redo());
  ASSERT_TRUE(list.redo());
  EXPECT_EQ(raster.width(), 3);
  EXPECT_EQ(StateOf(raster), cropped);
  ASSERT_TRUE(raster.resolution(ppm));
  EXPECT_EQ(ppm, 5000);
  EXPECT_FALSE(raster.histogramValid());
  EXPECT_EQ(raster.name(), "scan");
}

TEST(RasterUndo, HistoryMenusListFiveStepsAndWalkFromTheChosenOne) {
  CRaster raster = Picture();
  RasterUndoList list(10);
  const char* names[] = {"Filter", "Flip Raster", "Invert Raster", "Crop Raster", "Fill holes", "Resample", "Mirror Raster"};
  for (int n = 0; n < 7; ++n) Operate(list, raster, n, names[n]);
  EXPECT_EQ(list.undoMenu(), (std::vector<std::string>{" 1 - Filter", " 2 - Flip Raster", " 3 - Invert Raster",
                                                       " 4 - Crop Raster", " 5 - Fill holes"}));
  EXPECT_TRUE(list.redoMenu().empty());

  EXPECT_EQ(list.undoFromMenu(3), 4);  // everything from " 4 - Crop Raster" on
  EXPECT_EQ(list.doneCount(), 3u);
  EXPECT_EQ(list.undoMenu().size(), 3u);
  EXPECT_EQ(list.redoMenu(), (std::vector<std::string>{" 4 - Crop Raster", " 5 - Fill holes", " 6 - Resample",
                                                       " 7 - Mirror Raster"}));
  EXPECT_EQ(list.redoFromMenu(1), 2);
  EXPECT_EQ(list.doneCount(), 5u);
  EXPECT_EQ(list.redoMenu().front(), " 6 - Resample");
  EXPECT_EQ(list.undoFromMenu(5), 0);  // not in the menu
  EXPECT_EQ(list.redoFromMenu(-1), 0);
  EXPECT_EQ(list.doneCount(), 5u);

  RasterUndoList twelve(10);
  for (int n = 0; n < 10; ++n) Operate(twelve, raster, n);
  EXPECT_EQ(twelve.undoMenu().back(), " 5 - Filter");
  EXPECT_EQ(twelve.undoFromMenu(0), 10);
}

TEST(RasterUndo, MemoryLimitDropsTheOldestSnapshots) {
  CRaster raster = Picture();  // 100 rows of 100 bytes and a 256-entry palette
  const uint64_t snapshot = 100 * 100 + 4 * 256;
  RasterUndoList list(10, 2 * snapshot + snapshot / 2);
  std::vector<ImageState> states{StateOf(raster)};
  for (int n = 1; n <= 4; ++n) {
    Operate(list, raster, n);
    states.push_back(StateOf(raster));
  }
  EXPECT_EQ(list.count(), 2u);
  EXPECT_EQ(list.memoryBytes(), 2 * snapshot);
  ASSERT_TRUE(list.undo());
  ASSERT_TRUE(list.undo());
  EXPECT_FALSE(list.undo());
  EXPECT_EQ(StateOf(raster), states[2]);

  // A limit below one snapshot still keeps the newest step.
  list.setMemoryLimit(snapshot / 2);
  Operate(list, raster, 50);
  Operate(list, raster, 60);
  EXPECT_EQ(list.count(), 1u);
  ASSERT_TRUE(list.undo());
  EXPECT_EQ(raster.row(0)[0], 50);
}

TEST(RasterUndo, FailedOrCancelledOperationsLeaveNoStep) {
  CRaster raster = Picture();
  RasterUndoList list;
  Operate(list, raster, 1);
  ASSERT_TRUE(list.undo());
  const ImageState start = StateOf(raster);

  // A cancelled filter: the pending step is never committed.
  platform::CancelFlag cancel;
  cancel.request();
  {
    RasterUndoList::Pending step = list.prepare(raster, UndoName::Filter);
    ASSERT_TRUE(step.ok());
    EXPECT_FALSE(TemplateFilter(raster, KernelTemplate::Fresh(), {}, &cancel));
  }
  EXPECT_EQ(list.count(), 1u);
  EXPECT_TRUE(list.canRedo());  // the undone step survives
  EXPECT_EQ(StateOf(raster), start);

  // A filter that succeeds is committed once.
  RasterUndoList::Pending step = list.prepare(raster, UndoName::Filter);
  ASSERT_TRUE(TemplateFilter(raster, KernelTemplate::Fresh()));
  EXPECT_TRUE(step.commit());
  EXPECT_FALSE(step.commit());
  EXPECT_EQ(list.count(), 1u);
  EXPECT_EQ(list.entry(0).name(), "Filter");
  ASSERT_TRUE(list.undo());
  EXPECT_EQ(StateOf(raster), start);

  // No image, no snapshot: the undone steps go, since the raster will change without undo.
  CRaster empty;
  EXPECT_FALSE(list.record(empty, "Filter"));
  EXPECT_EQ(list.count(), 0u);
}

TEST(RasterUndo, StatusTextsAndNames) {
  CRaster raster = Picture();
  RasterUndoList list(0);  // clamped to 1
  EXPECT_EQ(list.depth(), 1);
  list.setDepth(50);
  EXPECT_EQ(list.depth(), 10);
  std::vector<std::string> texts;
  list.setStatus([&](std::string_view text, int) { texts.emplace_back(text); });
  ASSERT_TRUE(list.record(raster, UndoName::Rotate));
  ASSERT_TRUE(list.undo());
  ASSERT_TRUE(list.redo());
  EXPECT_EQ(texts, (std::vector<std::string>{"Create Raster undo date.", "Create Raster undo date.",
                                              "Undo: Rotate Raster", "Redo: Rotate Raster"}));
  EXPECT_EQ(UndoName::Thresholding.get(), "Thresholding");
  EXPECT_EQ(UndoName::AdjustBrightContrast.get(), "Brightness & Contrast");
  EXPECT_EQ(UndoName::ColorReplace.get(), "Color replace");
  EXPECT_EQ(UndoName::MedianFilter.key, std::string("UndoRasterMedianFilter"));
}

}  // namespace
}  // namespace quillon::raster
