#include "editor/raster_commands.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "model/graph.h"
#include "raster/raster_test_images.h"
#include "settings/trace_option.h"
#include "support/test_support.h"

namespace quillon::editor {
namespace {

using raster::test::ImageState;
using raster::test::StateOf;

// A grey picture of noise over a gradient, so every operation changes it.
void FillGrey(raster::CRaster& r, int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  ASSERT_TRUE(r.create(width, height, 8));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) r.row(y)[x] = static_cast<uint8_t>((x * 2 + y + random() % 64) & 0xFF);
}

struct Shape {
  int width, height, bits;
  bool operator==(const Shape&) const = default;
};
Shape ShapeOf(const raster::CRaster& r) { return {r.width(), r.height(), r.bitCount()}; }

struct Case {
  const char* undoName;
  std::function<RasterCommandResult(const RasterCommandContext&)> run;
};

std::vector<Case> GreyCases() {
  raster::ColorReplaceSettings replace;
  replace.source = settings::Rgb{100, 100, 100};
  replace.replacement = settings::Rgb{0, 0, 0};
  return {
      {"Thresholding", [](auto& c) { return ThresholdRaster(c, 128); }},
      {"Thresholding", [](auto& c) { return DynamicThresholdRaster(c, 50, 0.65f); }},
      {"Rotate Raster", [](auto& c) { return RotateRaster(c, 30.0); }},
      {"Crop Raster", [](auto& c) { return CropRaster(c, 5, 7, 40, 33); }},
      {"Flip Raster", [](auto& c) { return FlipRaster(c); }},
      {"Mirror Raster", [](auto& c) { return MirrorRaster(c); }},
      {"Invert Raster", [](auto& c) { return InvertRaster(c); }},
      {"Resample", [](auto& c) { return ResampleRaster(c, 31, 77, 5000); }},
      {"Median Filter", [](auto& c) { return MedianFilterRaster(c, 5); }},
      {"Filter", [](auto& c) { return TemplateFilterRaster(c, raster::KernelTemplate::Fresh()); }},
      {"Color replace", [replace](auto& c) { return ColorReplaceRaster(c, replace); }},
      {"Brightness & Contrast", [](auto& c) { return BrightnessContrastRaster(c, 20, -30); }},
  };
}

TEST(RasterCommands, EachRecordsItsEntryAndUndoRedoExchangeBitForBit) {
  for (const Case& c : GreyCases()) {
    SCOPED_TRACE(c.undoName);
    model::CGraph drawing;
    FillGrey(drawing.raster(), 61, 45, 7);
    raster::RasterUndoList undo;
    const ImageState before = StateOf(drawing.raster());
    const Shape beforeShape = ShapeOf(drawing.raster());

    ASSERT_EQ(c.run({drawing, undo}), RasterCommandResult::Done);
    const ImageState after = StateOf(drawing.raster());
    const Shape afterShape = ShapeOf(drawing.raster());
    EXPECT_TRUE(after != before || afterShape != beforeShape);
    ASSERT_EQ(undo.count(), 1u);
    EXPECT_EQ(undo.entry(0).name(), c.undoName);

    ASSERT_TRUE(undo.undo());
    EXPECT_EQ(ShapeOf(drawing.raster()), beforeShape);
    EXPECT_EQ(StateOf(drawing.raster()), before);
    ASSERT_TRUE(undo.redo());
    EXPECT_EQ(ShapeOf(drawing.raster()), afterShape);
    EXPECT_EQ(StateOf(drawing.raster()), after);
  }
}

TEST(RasterCommands, FillHolesWorksOnOneBitAndRefusesHoleSizeZero) {
  model::CGraph drawing;
  raster::CRaster& r = drawing.raster();
  ASSERT_TRUE(r.create(20, 20, 1));
  for (int y = 5; y < 15; ++y)
    for (int x = 5; x < 15; ++x) r.setBit(x, y, !(x == 10 && y == 10));  // a square with a hole
  raster::RasterUndoList undo;
  test::CapturedMessages messages;
  EXPECT_EQ(FillHolesRaster({drawing, undo}, 0), RasterCommandResult::Failed);
  EXPECT_EQ(messages.messages(), std::vector<std::string>{"Holes size must > 0"});
  EXPECT_EQ(undo.count(), 0u);

  ASSERT_EQ(FillHolesRaster({drawing, undo}, 1), RasterCommandResult::Done);
  EXPECT_TRUE(r.bitAt(10, 10));
  EXPECT_EQ(undo.entry(0).name(), "Fill holes");
  ASSERT_TRUE(undo.undo());
  EXPECT_FALSE(r.bitAt(10, 10));
}

TEST(RasterCommands, NothingToDoLeavesNoEntry) {
  model::CGraph drawing;
  ASSERT_TRUE(drawing.raster().create(16, 16, 1));
  raster::RasterUndoList undo;
  const RasterCommandContext context{drawing, undo};
  EXPECT_EQ(ThresholdRaster(context, 128), RasterCommandResult::Unchanged);
  EXPECT_EQ(DynamicThresholdRaster(context, 50, 1.0f), RasterCommandResult::Unchanged);
  EXPECT_EQ(RotateRaster(context, 0.0), RasterCommandResult::Unchanged);
  EXPECT_EQ(BrightnessContrastRaster(context, 0, 0), RasterCommandResult::Unchanged);
  EXPECT_EQ(ColorReplaceRaster(context, {}), RasterCommandResult::Unchanged);
  // Operations that refuse a 1-bit raster fail without an entry.
  EXPECT_EQ(BrightnessContrastRaster(context, 10, 10), RasterCommandResult::Failed);
  EXPECT_EQ(CropRaster(context, 10, 10, 10, 12), RasterCommandResult::Failed);
  EXPECT_EQ(undo.count(), 0u);

  model::CGraph empty;
  EXPECT_EQ(FlipRaster({empty, undo}), RasterCommandResult::Failed);
}

// The user presses Cancel while the operation reports its first progress:
// operations that can stop do so, the others run on and are taken back.
TEST(RasterCommands, CancelLeavesRasterAndUndoListAsTheyWere) {
  struct CancelCase {
    const char* name;
    std::function<RasterCommandResult(const RasterCommandContext&)> run;
  };
  const std::vector<CancelCase> cases = {
      {"threshold (runs to its end)", [](auto& c) { return ThresholdRaster(c, 128); }},
      {"dynamic threshold", [](auto& c) { return DynamicThresholdRaster(c, 50, 0.65f); }},
      {"resample", [](auto& c) { return ResampleRaster(c, 200, 150, 5000); }},
      {"median", [](auto& c) { return MedianFilterRaster(c, 3); }},
      {"template", [](auto& c) { return TemplateFilterRaster(c, raster::KernelTemplate::Fresh()); }},
      {"brightness", [](auto& c) { return BrightnessContrastRaster(c, 50, 50); }},
  };
  for (const CancelCase& c : cases) {
    SCOPED_TRACE(c.name);
    model::CGraph drawing;
    FillGrey(drawing.raster(), 120, 90, 3);
    raster::RasterUndoList undo;
    // An earlier step that was undone: a cancelled command must not take
    // away the user's redo.
    ASSERT_EQ(InvertRaster({drawing, undo}), RasterCommandResult::Done);
    ASSERT_TRUE(undo.undo());
    const ImageState before = StateOf(drawing.raster());
    const Shape beforeShape = ShapeOf(drawing.raster());

    platform::CancelFlag cancel;
    int reports = 0;
    const RasterCommandContext context{drawing, undo,
                                       [&](std::string_view, int) {
                                         ++reports;
                                         cancel.request();
                                       },
                                       &cancel};
    EXPECT_EQ(c.run(context), RasterCommandResult::Cancelled);
    EXPECT_GT(reports, 0);
    EXPECT_EQ(ShapeOf(drawing.raster()), beforeShape);
    EXPECT_EQ(StateOf(drawing.raster()), before);
    EXPECT_EQ(undo.count(), 1u);
    EXPECT_TRUE(undo.canRedo());
  }

  // Cancelled before it starts (rotate reports no progress).
  model::CGraph drawing;
  FillGrey(drawing.raster(), 30, 30, 1);
  raster::RasterUndoList undo;
  platform::CancelFlag cancel;
  cancel.request();
  const ImageState before = StateOf(drawing.raster());
  EXPECT_EQ(RotateRaster({drawing, undo, {}, &cancel}, 45.0), RasterCommandResult::Cancelled);
  EXPECT_EQ(StateOf(drawing.raster()), before);
  EXPECT_EQ(undo.count(), 0u);
}

TEST(RasterCommands, ThresholdLevelIsAutomaticOrStored) {
  raster::CRaster r;
  FillGrey(r, 40, 40, 5);
  settings::TraceOption options;
  options.b_AutoGray = false;
  options.i_Gray = 77;
  EXPECT_EQ(ThresholdLevel(r, options), 77);
  options.b_AutoGray = true;
  EXPECT_EQ(ThresholdLevel(r, options), r.automaticThreshold());
}

}  // namespace
}  // namespace quillon::editor
