// CDib: the bitmap-file form, its header rules and the hand-over to CRaster.
#include <gtest/gtest.h>

#include <sstream>

#include "raster/dib.h"
#include "raster/raster.h"
#include "support/test_support.h"

namespace quillon::raster {
namespace {

TEST(Dib, RoundTripThroughBitmapFileAndRaster) {
  CRaster source;
  ASSERT_TRUE(source.create(13, 5, 1));
  ASSERT_TRUE(source.setResolution(11811));
  source.setBit(12, 0, true);
  source.setBit(0, 4, true);
  CDib dib;
  ASSERT_TRUE(dib.copyFrom(source));
  EXPECT_EQ(dib.width(), 13);
  EXPECT_EQ(dib.colourCount(), 2);
  EXPECT_EQ(dib.imageSize(), 4u * 5u);

  std::stringstream file;
  ASSERT_TRUE(dib.write(file));
  EXPECT_EQ(file.str().substr(0, 2), "BM");
  CDib back;
  ASSERT_TRUE(back.read(file));
  EXPECT_EQ(back.size(), dib.size());
  CRaster raster;
  ASSERT_TRUE(back.copyTo(raster));
  EXPECT_TRUE(raster.bitAt(12, 0));
  EXPECT_TRUE(raster.bitAt(0, 4));
  EXPECT_FALSE(raster.bitAt(0, 0));
  EXPECT_EQ(raster.dotsPerInch(), 300);

  // A saved BMP file reads as a CDib too.
  test::TempDir dir;
  ASSERT_TRUE(source.save(dir.file("a.bmp")));
  std::istringstream saved(test::ReadFile(dir.file("a.bmp")));
  CDib fromFile;
  ASSERT_TRUE(fromFile.read(saved));
  EXPECT_EQ(fromFile.height(), 5);
}

TEST(Dib, ZeroCountsAreFilledIn) {
  CDib dib;
  ASSERT_TRUE(dib.create(3, 2, 8));
  std::vector<uint8_t> block(dib.data(), dib.data() + dib.size());
  ASSERT_GE(block.size(), 40u);
  for (size_t i = 20; i < 24; ++i) block[i] = 0;  // image size
  for (size_t i = 32; i < 36; ++i) block[i] = 0;  // colour count
  std::string file = "BM" + std::string(12, '\0') + std::string(block.begin(), block.end());
  std::istringstream in(file);
  CDib read;
  ASSERT_TRUE(read.read(in));
  EXPECT_EQ(read.colourCount(), 256);
  EXPECT_EQ(read.imageSize(), 8u);  // rows of 3 bytes padded to 4, 2 rows
}

TEST(Dib, RejectsOtherHeadersAndShortData) {
  CDib dib;
  ASSERT_TRUE(dib.create(8, 8, 24));
  std::stringstream good;
  ASSERT_TRUE(dib.write(good));
  const std::string bytes = good.str();

  std::string wrongType = bytes;
  wrongType[0] = 'X';
  std::string coreHeader = bytes;
  coreHeader[14] = 12;  // an OS/2 core header
  const std::string shortData = bytes.substr(0, bytes.size() - 10);
  for (const std::string& bad : {wrongType, coreHeader, shortData, bytes.substr(0, 20), std::string()}) {
    std::istringstream in(bad);
    CDib read;
    EXPECT_FALSE(read.read(in));
    EXPECT_TRUE(read.empty());
  }
  EXPECT_FALSE(dib.adopt(std::vector<uint8_t>(10, 0)));
  EXPECT_TRUE(dib.empty());
  test::CapturedMessages messages;
  CRaster raster;
  EXPECT_FALSE(dib.copyTo(raster));
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0], "Copy DIB Error !!!");
  EXPECT_FALSE(dib.create(0, 4, 8));
  EXPECT_FALSE(dib.create(4, 4, 3));
  EXPECT_STREQ(CDib::kClassName, "CDib");
}

}  // namespace
}  // namespace quillon::raster
