// The raster-editing commands: erase and fill by rectangle, polygon and
// point restore the raster bit for bit on undo and repeat it on redo; the
// messages for points outside the raster and short polygons; rotate and crop.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "editor/commands/raster_commands.h"
#include "editor_fixture.h"

namespace quillon::editor {
namespace {

using test::EditorFixture;

std::vector<uint8_t> pixelBytes(const raster::CRaster& raster) {
  std::vector<uint8_t> bytes;
  for (int y = 0; y < raster.height(); ++y) {
    const uint8_t* row = raster.row(y);
    bytes.insert(bytes.end(), row, row + raster.usedRowBytes());
  }
  return bytes;
}

// A raster of random pixels placed at the drawing's origin.
void randomRaster(Document& document, int width, int height, int bits, unsigned seed) {
  raster::CRaster raster;
  ASSERT_TRUE(raster.create(width, height, bits));
  std::mt19937 random(seed);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = raster.row(y);
    for (int i = 0; i < raster.usedRowBytes(); ++i) row[i] = static_cast<uint8_t>(random());
  }
  raster.moveTo(document.raster());
}

struct Edit {
  const char* name;
  std::function<void(EditorFixture&)> run;
};

class RasterEdits : public ::testing::TestWithParam<int> {};

TEST_P(RasterEdits, UndoAndRedoExchangeExactlyTheOverwrittenPixels) {
  const int bits = GetParam();
  const std::vector<Edit> edits = {
      {"Erase raster by window",
       [](EditorFixture& f) {
         f.processor.startCommand(CommandId::EraseRect);
         f.click(13, 20);
         f.click(71, 150);
       }},
      {"Fill raster by window",
       [](EditorFixture& f) {
         f.processor.startCommand(CommandId::FillRect);
         f.click(250, 10);
         f.click(-40, 30);  // reaches beyond the raster: clipped
       }},
      {"Erase raster by polygon",
       [](EditorFixture& f) {
         f.processor.startCommand(CommandId::ErasePolygon);
         f.click(20, 20);
         f.click(180, 60);
         f.click(60, 100);
         f.click(150, 170);
         f.processor.sendEvent(EventCode::Close);
       }},
      {"Fill raster by polygon",
       [](EditorFixture& f) {
         f.processor.startCommand(CommandId::FillPolygon);
         f.click(5, 5);
         f.click(195, 7);
         f.click(100, 170);
         f.processor.enterKey();
       }},
      {"Erase raster by point",
       [](EditorFixture& f) {
         f.processor.startCommand(CommandId::ErasePoint);
         f.processor.mousePress(EditorFixture::pixel(30, 30));
         f.processor.mouseMove(EditorFixture::pixel(90, 45), true);
         f.processor.mouseMove(EditorFixture::pixel(120, 150), true);
         f.processor.mouseRelease(EditorFixture::pixel(199, 179));
       }},
  };
  EditorFixture f;
  randomRaster(f.document, 201, 181, bits, 7u + bits);
  f.document.fillColour = Rgb{200, 30, 90};
  std::vector<std::vector<uint8_t>> states{pixelBytes(f.document.raster())};
  for (const Edit& edit : edits) {
    edit.run(f);
    states.push_back(pixelBytes(f.document.raster()));
    EXPECT_NE(states.back(), states[states.size() - 2]) << edit.name;
  }
  raster::RasterUndoList& undo = f.document.rasterUndo();
  ASSERT_EQ(undo.count(), edits.size());
  for (std::size_t i = 0; i < edits.size(); ++i) EXPECT_EQ(undo.entry(i).name(), edits[i].name);
  for (std::size_t i = edits.size(); i-- > 0;) {
    ASSERT_TRUE(undo.undo());
    EXPECT_EQ(pixelBytes(f.document.raster()), states[i]) << "undo of " << edits[i].name;
  }
  for (std::size_t i = 0; i < edits.size(); ++i) {
    ASSERT_TRUE(undo.redo());
    EXPECT_EQ(pixelBytes(f.document.raster()), states[i + 1]) << "redo of " << edits[i].name;
  }
  EXPECT_TRUE(f.services.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Depths, RasterEdits, ::testing::Values(1, 4, 8, 16, 24, 32));

TEST(RasterEdit, RectanglePaintsItsCornersInclusively) {
  EditorFixture f;
  ASSERT_TRUE(f.document.raster().create(20, 20, 1));
  f.document.fillColour = Rgb{0, 0, 0};
  f.processor.startCommand(CommandId::FillRect);
  // Drawing (2, 3)–(5, 7): columns 2..5, rows 20 − 7 .. 20 − 3.
  EXPECT_TRUE(f.type("2,3"));
  EXPECT_TRUE(f.type("5,7"));
  const raster::CRaster& raster = f.document.raster();
  int ink = 0;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) {
      const bool inside = x >= 2 && x <= 5 && y >= 13 && y <= 17;
      EXPECT_EQ(raster.bitAt(x, y), inside) << x << "," << y;
      ink += raster.bitAt(x, y) ? 1 : 0;
    }
  }
  EXPECT_EQ(ink, 4 * 5);
}

TEST(RasterEdit, PolygonPointsOutsideTheRasterAndShortPolygonsAreRefused) {
  EditorFixture f;
  ASSERT_TRUE(f.document.raster().create(50, 50, 8));
  f.processor.startCommand(CommandId::ErasePolygon);
  f.click(10, 10);
  f.click(80, 10);  // outside
  f.click(30, 30);
  f.processor.enterKey();
  EXPECT_EQ(f.services.messages, (std::vector<std::string>{"The point must be in raster image!",
                                                           "The number of edges must be greater that 2!"}));
  EXPECT_EQ(f.document.rasterUndo().count(), 0u);
  // The two points are kept: a third finishes the polygon.
  f.click(10, 40);
  f.processor.sendEvent(EventCode::Close);
  EXPECT_EQ(f.document.rasterUndo().count(), 1u);
  EXPECT_EQ(f.processor.prompt(), "First point of polygon");

  f.services.messages.clear();
  f.processor.startCommand(CommandId::ErasePoint);
  f.processor.mousePress(EditorFixture::pixel(60, 10));
  f.processor.mouseRelease(EditorFixture::pixel(60, 10));
  EXPECT_EQ(f.services.messages, std::vector<std::string>{"The point must be in raster image!"});
  EXPECT_EQ(f.document.rasterUndo().count(), 1u);
}

TEST(RasterEdit, EraserIsASquareOfTheEraserSizeOnEachSide) {
  EditorFixture f;
  raster::CRaster& raster = f.document.raster();
  ASSERT_TRUE(raster.create(60, 60, 1));
  raster.fillBytes(0xFF);
  f.processor.startCommand(CommandId::ErasePoint);
  f.processor.mouseMove(EditorFixture::pixel(30, 30), false);
  EXPECT_EQ(f.processor.rubberBand().kind, RubberBand::Kind::Brush);
  EXPECT_DOUBLE_EQ(f.processor.rubberBand().brushHalfSize, 8.0);
  f.processor.mousePress(EditorFixture::pixel(30, 30));
  f.processor.mouseRelease(EditorFixture::pixel(30, 30));
  int erased = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 60; ++x) erased += raster.bitAt(x, y) ? 0 : 1;
  EXPECT_EQ(erased, 17 * 17);
  EXPECT_FALSE(raster.bitAt(30, 30));  // drawing (30, 30) is column 30, row 60 − 30
  EXPECT_FALSE(raster.bitAt(22, 22));
  EXPECT_TRUE(raster.bitAt(21, 30));
}

TEST(RasterEdit, RotateToHorizontalTurnsThePickedDirectionLevelByTheSmallerTurn) {
  EditorFixture f;
  ASSERT_TRUE(f.document.raster().create(100, 40, 8));
  f.processor.startCommand(CommandId::RotateRasterToHorizontal);
  EXPECT_EQ(f.processor.inputMode(), InputMode::PointOrNumber);
  // Picked upwards (90°): the picture turns a quarter.
  f.click(50, 10);
  f.click(50, 30);
  EXPECT_EQ(f.document.raster().width(), 40);
  EXPECT_EQ(f.document.raster().height(), 100);
  ASSERT_EQ(f.document.rasterUndo().count(), 1u);
  EXPECT_EQ(f.document.rasterUndo().entry(0).name(), "Rotate Raster");
  // A typed angle of 180 is already level: nothing to do.
  EXPECT_TRUE(f.type("180"));
  EXPECT_EQ(f.document.rasterUndo().count(), 1u);
  ASSERT_TRUE(f.document.rasterUndo().undo());
  EXPECT_EQ(f.document.raster().width(), 100);
}

TEST(RasterEdit, CropKeepsTheBoxAndUndoBringsTheRasterBack) {
  EditorFixture f;
  randomRaster(f.document, 80, 60, 24, 3u);
  const std::vector<uint8_t> before = pixelBytes(f.document.raster());
  f.processor.startCommand(CommandId::CropRaster);
  EXPECT_EQ(f.processor.prompt(), "First corner of crop box");
  f.click(10, 5);
  f.click(30, 45);
  EXPECT_EQ(f.document.raster().width(), 20);
  EXPECT_EQ(f.document.raster().height(), 40);
  EXPECT_EQ(f.document.rasterUndo().entry(0).name(), "Crop Raster");
  ASSERT_TRUE(f.document.rasterUndo().undo());
  EXPECT_EQ(pixelBytes(f.document.raster()), before);
}

}  // namespace
}  // namespace quillon::editor
