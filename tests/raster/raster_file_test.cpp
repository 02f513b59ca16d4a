// Raster files: extensions, page names, multi-page opening, BMP saving and
// every kind of broken file.
#include <FreeImage.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <thread>

#include "raster/raster.h"
#include "raster/raster_file.h"
#include "support/test_support.h"

namespace quillon::raster {
namespace {

std::string Sample(const std::string& name) { return test::SourcePath("data/samples/" + name); }

TEST(RasterExtension, TableWithoutRegardToCase) {
  for (const char* ext : {".bmp", ".jpg", ".jpeg", ".tga", ".tif", ".tiff", ".pcx", ".TIF", ".Bmp", ".JPEG", ".png",
                          ".PNG", ".gif", ".pnm", ".pbm", ".pgm", ".Ppm"})
    EXPECT_TRUE(IsRasterExtension(ext)) << ext;
  for (const char* ext : {".webp", ".svg", "", ".", "bmp", ".bmpx", ".dxf", ".png.txt"})
    EXPECT_FALSE(IsRasterExtension(ext)) << ext;
  EXPECT_EQ(RasterExtensions().size(), 13u);
}

TEST(RasterPageName, IndexGoesBeforeTheExtension) {
  EXPECT_EQ(PageName("/scans/plan.tif", 0), "/scans/plan_0.tif");
  EXPECT_EQ(PageName("plan.tif", 12), "plan_12.tif");
  EXPECT_EQ(PageName("dir.v2/plan.TIFF", 1), "dir.v2/plan_1.TIFF");
  EXPECT_EQ(PageName("noext", 2), "noext_2");
}

TEST(RasterOpen, ThreePageTiffGivesThreeDocuments) {
  test::CapturedMessages messages;
  const auto documents = OpenRasterFile(Sample("pages_3.tif"));
  ASSERT_EQ(documents.size(), 3u);
  EXPECT_EQ(documents[0].name, Sample("pages_3_0.tif"));
  EXPECT_EQ(documents[2].name, Sample("pages_3_2.tif"));
  EXPECT_EQ(documents[0].raster.width(), 40);
  EXPECT_EQ(documents[0].raster.bitCount(), 1);
  EXPECT_EQ(documents[1].raster.width(), 50);
  EXPECT_EQ(documents[1].raster.bitCount(), 8);
  EXPECT_EQ(documents[2].raster.height(), 36);
  EXPECT_EQ(documents[2].raster.bitCount(), 24);
  EXPECT_TRUE(messages.messages().empty());

  RasterPageReader reader;
  ASSERT_TRUE(reader.openPages(Sample("pages_3.tif")));
  EXPECT_EQ(reader.pageCount(), 3);
  EXPECT_EQ(reader.pageName(1), Sample("pages_3_1.tif"));
  CRaster page;
  EXPECT_FALSE(reader.copyPage(3, page));
  reader.close();
  EXPECT_EQ(reader.pageCount(), 0);
}

TEST(RasterOpen, SinglePageFilesKeepTheirName) {
  test::CapturedMessages messages;
  for (const char* name : {"sheet.tif", "lines_1bit.bmp", "grey_8bit.pcx"}) {
    const auto documents = OpenRasterFile(Sample(name));
    ASSERT_EQ(documents.size(), 1u) << name;
    EXPECT_EQ(documents[0].name, Sample(name));
  }
  EXPECT_TRUE(messages.messages().empty());
}

TEST(RasterLoad, EverySampleFormat) {
  test::CapturedMessages messages;
  struct Expect {
    const char* name;
    int width, height, bits;
  } samples[] = {{"lines_1bit.bmp", 64, 48, 1}, {"grey_8bit.bmp", 64, 48, 8},      {"colour_24bit.jpg", 64, 48, 24},
                 {"colour_24bit.tga", 64, 48, 24}, {"grey_8bit.pcx", 64, 48, 8}, {"sheet.tif", 800, 600, 8}};
  for (const Expect& e : samples) {
    CRaster r;
    ASSERT_TRUE(r.load(Sample(e.name))) << e.name;
    EXPECT_EQ(r.width(), e.width) << e.name;
    EXPECT_EQ(r.height(), e.height) << e.name;
    EXPECT_EQ(r.bitCount(), e.bits) << e.name;
  }
  EXPECT_TRUE(messages.messages().empty());
}

TEST(RasterLoad, BlackFirstBmpReadsAsInkOnWhite) {
  CRaster r;
  ASSERT_TRUE(r.load(Sample("lines_1bit.bmp")));
  EXPECT_EQ(r.palette()[0], 255);  // entry 0 white
  EXPECT_EQ(r.palette()[4], 0);    // entry 1 black
  EXPECT_FALSE(r.bitAt(0, 0));     // paper
  EXPECT_TRUE(r.bitAt(4, 4));      // the frame's corner stroke
  // The same picture converted from the grey sample has its ink at the same places.
  CRaster grey;
  ASSERT_TRUE(grey.load(Sample("grey_8bit.bmp")));
  ASSERT_TRUE(grey.convertTo1Bit(127));
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(r.bitAt(x, y), grey.bitAt(x, y)) << x << "," << y;
}

TEST(RasterSave, BmpOnlyAndRoundTrip) {
  test::TempDir dir;
  test::CapturedMessages messages;
  CRaster r;
  ASSERT_TRUE(r.create(13, 7, 1));
  ASSERT_TRUE(r.setResolution(11811));
  r.setBit(12, 6, true);
  EXPECT_FALSE(r.save(dir.file("out.png")));
  EXPECT_FALSE(r.save(dir.file("out.tif")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("out.png")));
  ASSERT_TRUE(SaveRaster(r, dir.file("out.BMP")));
  CRaster back;
  ASSERT_TRUE(back.load(dir.file("out.BMP")));
  EXPECT_EQ(back.width(), 13);
  EXPECT_TRUE(back.bitAt(12, 6));
  EXPECT_FALSE(back.bitAt(0, 0));
  EXPECT_EQ(back.dotsPerInch(), 300);
  // An unwritable place fails with a message and leaves nothing behind.
  EXPECT_FALSE(r.save(dir.file("missing/out.bmp")));
  EXPECT_EQ(messages.messages().size(), 1u);
  CRaster empty;
  EXPECT_FALSE(empty.save(dir.file("empty.bmp")));
}

// Loads the bytes under the file name and expects a clean failure with one message.
void ExpectRefused(const test::TempDir& dir, const std::string& name, const std::string& bytes,
                   const char* fragment = nullptr) {
  const std::string path = dir.file(name);
  test::WriteFile(path, bytes);
  test::CapturedMessages messages;
  CRaster r;
  EXPECT_FALSE(r.load(path)) << name;
  EXPECT_TRUE(r.empty()) << name;
  ASSERT_EQ(messages.messages().size(), 1u) << name;
  EXPECT_NE(messages.messages()[0].find(path), std::string::npos) << messages.messages()[0];
  if (fragment) {
    EXPECT_NE(messages.messages()[0].find(fragment), std::string::npos) << name << ": " << messages.messages()[0];
  }
  EXPECT_TRUE(OpenRasterFile(path).empty()) << name;
}

TEST(RasterBadInput, TruncatedFilesOfEveryFormat) {
  test::TempDir dir;
  for (const char* name : {"grey_8bit.bmp", "lines_1bit.bmp", "colour_24bit.jpg", "colour_24bit.tga",
                           "grey_8bit.pcx", "sheet.tif", "pages_3.tif"}) {
    const std::string whole = test::ReadFile(Sample(name));
    ASSERT_GT(whole.size(), 100u);
    const std::string ext = std::filesystem::path(name).extension().string();
    ExpectRefused(dir, std::string("empty") + ext, "", "empty");
    ExpectRefused(dir, std::string("tiny") + ext, whole.substr(0, 12));
    if (ext != ".tif") {  // a TIFF cut short may still hold complete first pages
      ExpectRefused(dir, std::string("half_") + name, whole.substr(0, whole.size() / 2));
      ExpectRefused(dir, std::string("short_") + name, whole.substr(0, whole.size() - 40));
    }
  }
  ExpectRefused(dir, "half_sheet.tif", test::ReadFile(Sample("sheet.tif")).substr(0, 9000));
}

TEST(RasterBadInput, CorruptBytesNeverCrash) {
  test::TempDir dir;
  test::CapturedMessages messages;
  for (const char* name : {"grey_8bit.bmp", "colour_24bit.jpg", "colour_24bit.tga", "grey_8bit.pcx", "sheet.tif"}) {
    std::string bytes = test::ReadFile(Sample(name));
    for (size_t i = 10; i < bytes.size(); i += 7) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    const std::string path = dir.file(std::string("corrupt_") + name);
    test::WriteFile(path, bytes);
    CRaster r;
    if (r.load(path)) {  // some formats carry no checks; a picture of noise is fine
      EXPECT_GT(r.width(), 0);
    } else {
      EXPECT_TRUE(r.empty());
    }
  }
}

TEST(RasterBadInput, ExtensionThatLies) {
  test::TempDir dir;
  ExpectRefused(dir, "photo.bmp", test::ReadFile(Sample("colour_24bit.jpg")), "JPEG");
  ExpectRefused(dir, "scan.jpg", test::ReadFile(Sample("grey_8bit.bmp")), "BMP");
  ExpectRefused(dir, "scan.pcx", test::ReadFile(Sample("sheet.tif")));
  ExpectRefused(dir, "text.tif", "this is not a picture at all, only text\n");
}

TEST(RasterBadInput, UnknownExtensionAndMissingFile) {
  test::TempDir dir;
  ExpectRefused(dir, "image.webp", "RIFF....WEBP", "extension");
  ExpectRefused(dir, "image.png", test::ReadFile(Sample("grey_8bit.bmp")), "looks like BMP");
  ExpectRefused(dir, "image.gif", "GIF89a", "damaged");
  test::CapturedMessages messages;
  CRaster r;
  EXPECT_FALSE(r.load(dir.file("nothing.bmp")));
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_NE(messages.messages()[0].find("no such file"), std::string::npos);
  EXPECT_FALSE(r.load(dir.path() + "/"));  // a directory
}

// A BMP header for the size with no pixel data behind it.
std::string BmpHeader(int32_t width, int32_t height, uint16_t bits) {
  std::string h(54, '\0');
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&h[at], &v, 4); };
  auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&h[at], &v, 2); };
  h[0] = 'B';
  h[1] = 'M';
  put32(2, 54);
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  put16(26, 1);
  put16(28, bits);
  return h;
}

TEST(RasterBadInput, HugeHeaderIsRefusedBeforeAllocating) {
  test::TempDir dir;
  // 100000 x 100000 x 24 bits would need 28 GiB; refused from the header.
  ExpectRefused(dir, "huge.bmp", BmpHeader(100000, 100000, 24), "too large");
  // The same for TGA and PCX headers.
  std::string tga(18, '\0');
  tga[2] = 2;
  tga[12] = static_cast<char>(0xA0);  // 100000 does not fit 16 bits: 65440 x 65440
  tga[13] = static_cast<char>(0xFF);
  tga[14] = static_cast<char>(0xA0);
  tga[15] = static_cast<char>(0xFF);
  tga[16] = 24;
  ExpectRefused(dir, "huge.tga", tga + std::string(64, '\0'), "too large");
  std::string pcx(128, '\0');
  pcx[0] = 10;
  pcx[1] = 5;
  pcx[2] = 1;
  pcx[3] = 8;
  pcx[8] = pcx[9] = pcx[10] = pcx[11] = static_cast<char>(0xFF);  // 65536 x 65536
  pcx[65] = 3;
  pcx[66] = 0;
  pcx[67] = 1;
  ExpectRefused(dir, "huge.pcx", pcx + std::string(64, '\0'), "too large");
}

// Headers that point past the end of the file: FreeImage's TARGA reader
// crashed on an ID field longer than the file.
TEST(RasterBadInput, HeaderFieldsPastTheEndAreRefusedBeforeDecoding) {
  test::TempDir dir;
  std::string tga(18, '\0');
  tga[0] = static_cast<char>(0x80);  // a 128-byte ID field in a 40-byte file
  tga[2] = 10;                       // run-length true colour
  tga[12] = 64;
  tga[14] = 53;
  tga[16] = 24;
  ExpectRefused(dir, "id_past_end.tga", tga + std::string(22, '\x30'), "truncated");
  tga[0] = 0;
  tga[1] = 1;  // a colour map of 65535 entries that is not there
  tga[5] = tga[6] = static_cast<char>(0xFF);
  tga[7] = 24;
  ExpectRefused(dir, "map_past_end.tga", tga + std::string(22, '\x30'), "truncated");
}

// A file whose extension lies is named for what it looks like; only common
// raster signatures are asked (the library's full probe corrupts its heap on
// some inputs).
TEST(RasterBadInput, ExtensionThatLiesNamesTheContent) {
  test::TempDir dir;
  ExpectRefused(dir, "photo.bmp", test::ReadFile(test::SourcePath("data/samples/colour_24bit.jpg")),
                "its content looks like JPEG");
  ExpectRefused(dir, "scan.pcx", test::ReadFile(test::SourcePath("data/samples/sheet.tif")), "looks like TIFF");
}

TEST(RasterBadInput, ZeroSizedImage) {
  test::TempDir dir;
  ExpectRefused(dir, "zero.bmp", BmpHeader(0, 0, 8) + std::string(1024, '\0'));
  ExpectRefused(dir, "zero_width.bmp", BmpHeader(0, 10, 24) + std::string(64, '\0'));
}

TEST(RasterBadInput, LimitAppliesToEveryLoadPath) {
  test::TempDir dir;
  const uint64_t saved = DecodedSizeLimit();
  SetDecodedSizeLimit(999);  // sheet.tif decodes to 480000 bytes
  {
    test::CapturedMessages messages;
    CRaster r;
    EXPECT_FALSE(r.load(Sample("sheet.tif")));
    EXPECT_TRUE(OpenRasterFile(Sample("sheet.tif")).empty());
    EXPECT_FALSE(r.create(100, 100, 8));
    // Pages of 150, 1000 and 3240 bytes: only the first fits.
    const auto pages = OpenRasterFile(Sample("pages_3.tif"));
    EXPECT_EQ(pages.size(), 1u);
    EXPECT_GE(messages.messages().size(), 4u);
  }
  SetDecodedSizeLimit(saved);
  EXPECT_TRUE(DecodedSizeAllowed(14000, 9900, 24));
  EXPECT_FALSE(DecodedSizeAllowed(100000, 100000, 24));
  EXPECT_FALSE(DecodedSizeAllowed(0xFFFFFFFFull, 0xFFFFFFFFull, 32));  // no overflow
  EXPECT_FALSE(DecodedSizeAllowed(0, 10, 8));
}

}  // namespace
}  // namespace quillon::raster

namespace quillon::raster {
namespace {

// Documents may be opened from several threads (batch workers): the library
// is initialised once and each thread's messages stay its own.
TEST(RasterLoad, ConcurrentLoadsFromSeveralThreads) {
  test::CapturedMessages messages;
  test::TempDir dir;
  test::WriteFile(dir.file("bad.bmp"), "BM not really");
  std::vector<std::thread> threads;
  std::atomic<int> loaded{0}, refused{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 5; ++i) {
        CRaster r;
        if (r.load(Sample(t % 2 ? "sheet.tif" : "colour_24bit.jpg"))) ++loaded;
        if (!r.load(dir.file("bad.bmp"))) ++refused;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(loaded.load(), 20);
  EXPECT_EQ(refused.load(), 20);
  EXPECT_EQ(messages.messages().size(), 20u);
}

}  // namespace
}  // namespace quillon::raster
