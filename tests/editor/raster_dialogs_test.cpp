#include "editor/raster_dialogs.h"

#include <gtest/gtest.h>

#include "platform/message_sink.h"
#include "raster/brightness_contrast.h"
#include "raster/raster.h"
#include "settings/trace_option.h"

namespace quillon::editor {
namespace {

raster::CRaster Make(int bits) {
  raster::CRaster r;
  EXPECT_TRUE(r.create(8, 8, bits));
  if (bits == 8) r.makeGreyPalette();
  return r;
}

TEST(RasterDialogs, CommandsOfferedByImageKind) {
  const raster::CRaster empty;
  const raster::CRaster bilevel = Make(1), grey = Make(8), colour = Make(24);
  raster::CRaster palette = Make(8);
  ASSERT_TRUE(palette.setPaletteEntry(0, 0, 0, 255));  // entry 0 (every pixel) is red

  for (RasterMenuCommand c : {RasterMenuCommand::Flip, RasterMenuCommand::Resample, RasterMenuCommand::Threshold})
    EXPECT_FALSE(RasterCommandApplies(c, empty));
  // Thresholding and the colour tools need grey or colour; fill holes black and white.
  for (RasterMenuCommand c : {RasterMenuCommand::Threshold, RasterMenuCommand::DynamicThreshold,
                              RasterMenuCommand::TemplateFilter, RasterMenuCommand::ColorReplace,
                              RasterMenuCommand::BrightnessContrast}) {
    EXPECT_FALSE(RasterCommandApplies(c, bilevel));
    EXPECT_TRUE(RasterCommandApplies(c, grey));
    EXPECT_TRUE(RasterCommandApplies(c, colour));
  }
  EXPECT_TRUE(RasterCommandApplies(RasterMenuCommand::FillHoles, bilevel));
  EXPECT_FALSE(RasterCommandApplies(RasterMenuCommand::FillHoles, grey));
  // The median has no order for a colour palette.
  EXPECT_TRUE(RasterCommandApplies(RasterMenuCommand::MedianFilter, bilevel));
  EXPECT_TRUE(RasterCommandApplies(RasterMenuCommand::MedianFilter, grey));
  EXPECT_TRUE(RasterCommandApplies(RasterMenuCommand::MedianFilter, colour));
  EXPECT_FALSE(RasterCommandApplies(RasterMenuCommand::MedianFilter, palette));
  for (RasterMenuCommand c : {RasterMenuCommand::Flip, RasterMenuCommand::Mirror, RasterMenuCommand::Invert,
                              RasterMenuCommand::Resample})
    EXPECT_TRUE(RasterCommandApplies(c, bilevel) && RasterCommandApplies(c, palette));
}

TEST(RasterDialogs, ThresholdStartsFromTheTraceOptionsAndShowsTheSuggestion) {
  raster::CRaster r = Make(8);
  // A white page with a dark quarter: the suggestion lies below the paper.
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) r.row(y)[x] = (x < 4 && y < 4) ? 20 : 250;
  settings::TraceOption options;
  options.i_Gray = 99;
  options.b_AutoGray = false;
  ThresholdDialogModel model = ThresholdDialogModel::For(r, options);
  EXPECT_EQ(model.level, 99);
  EXPECT_FALSE(model.automatic);
  EXPECT_EQ(model.suggested, r.automaticThreshold());
  EXPECT_EQ(model.effectiveLevel(), 99);
  model.automatic = true;
  EXPECT_EQ(model.effectiveLevel(), model.suggested);
  model.automatic = false;
  model.level = 300;
  EXPECT_EQ(model.effectiveLevel(), 255);
}

TEST(RasterDialogs, DynamicThresholdRatioFollowsTheSliderWithinItsRange) {
  DynamicThresholdModel model;
  EXPECT_EQ(model.boxSize, 200);
  EXPECT_FLOAT_EQ(model.ratio(), 0.65f);
  model.setRatio(1.234);
  EXPECT_EQ(model.sliderPosition, 123);
  model.setRatio(0.05);
  EXPECT_FLOAT_EQ(model.ratio(), 0.20f);
  model.setRatio(12.0);
  EXPECT_FLOAT_EQ(model.ratio(), 8.00f);
  model.setBoxSize(10);
  EXPECT_EQ(model.boxSize, 50);
  model.setBoxSize(500);
  EXPECT_EQ(model.boxSize, 200);
}

TEST(RasterDialogs, HoleSizeZeroIsRefusedAndLargeSizesAreCut) {
  platform::CaptureMessageSink messages;
  platform::ScopedMessageSink guard(messages);
  EXPECT_EQ(AcceptHoleSize(0), std::nullopt);
  EXPECT_EQ(messages.messages(), std::vector<std::string>{"Holes size must > 0"});
  EXPECT_EQ(AcceptHoleSize(3), 3);
  EXPECT_EQ(AcceptHoleSize(25), 10);
  EXPECT_EQ(messages.messages().size(), 1u);
}

TEST(RasterDialogs, ResampleKeepsProportionsAndConvertsUnits) {
  ResampleDialogModel model(1000, 500, 7874);  // 200 dpi
  EXPECT_DOUBLE_EQ(model.resolution(), 200.0);
  EXPECT_DOUBLE_EQ(model.printWidth(), 5.0);
  model.setWidth(300);
  EXPECT_EQ(model.height(), 150);
  model.setHeight(101);
  EXPECT_EQ(model.width(), 202);
  model.setKeepRatio(false);
  model.setWidth(400);
  EXPECT_EQ(model.height(), 101);

  // The unit changes what is shown, not the resolution applied.
  model.setUnit(ResolutionUnit::PixelsPerCm);
  EXPECT_NEAR(model.resolution(), 78.74, 0.01);
  EXPECT_EQ(model.pixelsPerMetre(), 7874);
  EXPECT_NEAR(model.printWidth(), 400 / 78.74, 0.01);
  // Changing the resolution keeps the pixels; a print size sets them.
  model.setResolution(100.0);
  EXPECT_EQ(model.width(), 400);
  EXPECT_EQ(model.pixelsPerMetre(), 10000);
  model.setPrintWidth(2.5);
  EXPECT_EQ(model.width(), 250);
  EXPECT_EQ(model.error(), "");
}

TEST(RasterDialogs, ResampleRefusesEmptySizesAndNoResolution) {
  ResampleDialogModel model(10, 10, 7874);
  model.setKeepRatio(false);
  model.setWidth(0);
  EXPECT_EQ(model.error(), "Pixel Width > 1");
  model.setWidth(5);
  model.setHeight(0);
  EXPECT_EQ(model.error(), "Pixel Height > 1");
  model.setHeight(5);
  model.setResolution(0);
  EXPECT_NE(model.error().find(" > 1"), std::string::npos);
  // A one-pixel image keeps its ratio without dividing by zero.
  ResampleDialogModel line(1, 1, 0);
  line.setWidth(7);
  EXPECT_EQ(line.height(), 7);
}

TEST(RasterDialogs, BrightnessContrastPreviewShowsWhatTheOperationWrites) {
  raster::CRaster r = Make(24);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) r.setColour(x, y, static_cast<uint8_t>(x * 36), static_cast<uint8_t>(y * 30), 128);
  raster::CRaster before;
  ASSERT_TRUE(before.cloneFrom(r));
  BrightnessContrastModel model;
  EXPECT_TRUE(model.neutral());
  model.setBrightness(140);
  model.setContrast(-30);
  EXPECT_EQ(model.brightness, 100);
  const auto table = model.previewTable();
  ASSERT_TRUE(raster::AdjustBrightnessContrast(r, model.brightness, model.contrast));
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      uint8_t b0, g0, r0, b1, g1, r1;
      before.colourAt(x, y, b0, g0, r0);
      r.colourAt(x, y, b1, g1, r1);
      EXPECT_EQ(b1, table[b0]);
      EXPECT_EQ(g1, table[g0]);
      EXPECT_EQ(r1, table[r0]);
    }
  }
}

}  // namespace
}  // namespace quillon::editor
