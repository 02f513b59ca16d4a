// Raster input beyond what FreeImage reads: BMP, TARGA, PCX and TIFF variants
// for the second decoder, PNG, PNM and GIF, and truncated or lying files that
// must fail before anything is traced. Every file is crafted here.
#include <FreeImage.h>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>

#include "raster/raster.h"
#include "raster/raster_file.h"
#include "raster/crafted_files.h"  // tests/raster
#include "raster/raster_test_images.h"
#include "support/test_support.h"

namespace quillon::raster {
namespace {

using test::ColourAt;
using test::GreyAt;
using test::kHeight;
using test::kWidth;

// Loads the file, expecting no message, the pattern's size and depth and,
// through colourAt, the colour pixel(x, y) gives.
void ExpectPicture(const std::string& path, int bits, const std::function<test::Rgb(int, int)>& pixel) {
  ::quillon::test::CapturedMessages messages;
  CRaster r;
  ASSERT_TRUE(r.load(path)) << path << ": " << (messages.messages().empty() ? "" : messages.messages()[0]);
  EXPECT_TRUE(messages.messages().empty()) << messages.messages()[0];
  EXPECT_EQ(r.width(), kWidth) << path;
  EXPECT_EQ(r.height(), kHeight) << path;
  EXPECT_EQ(r.bitCount(), bits) << path;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      uint8_t b = 0, g = 0, red = 0;
      ASSERT_TRUE(r.colourAt(x, y, b, g, red));
      const test::Rgb want = pixel(x, y);
      // Palette depths read the index through colourAt; compare the palette colour.
      if (r.bitCount() == 4 || r.bitCount() == 8) {
        const uint8_t* entry = r.palette() + 4 * r.indexAt(x, y);
        b = entry[0];
        g = entry[1];
        red = entry[2];
      }
      EXPECT_NEAR(red, want.r, 2) << path << " at " << x << "," << y;
      EXPECT_NEAR(g, want.g, 2) << path << " at " << x << "," << y;
      EXPECT_NEAR(b, want.b, 2) << path << " at " << x << "," << y;
    }
  }
}

test::Rgb Grey(uint8_t level) { return {level, level, level}; }

TEST(RasterInput, BmpVariants) {
  ::quillon::test::TempDir dir;
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"pal8v4.bmp", test::PaletteBmp(108, 8)},      {"pal8v5.bmp", test::PaletteBmp(124, 8)},
      {"pal4_4colours.bmp", test::PaletteBmp(40, 4)}, {"pal2.bmp", test::PaletteBmp(40, 2)},
      {"rle8.bmp", test::PaletteBmp(40, 8, 1)},       {"rle4.bmp", test::PaletteBmp(40, 4, 2)},
      {"os2v2.bmp", test::PaletteBmp(64, 8)},          {"bitfields32.bmp", test::BitfieldBmp32()},
  };
  for (const Case& c : cases) {
    ::quillon::test::WriteFile(dir.file(c.name), c.bytes);
    SCOPED_TRACE(c.name);
    CRaster probe;
    {
      ::quillon::test::CapturedMessages quiet;
      ASSERT_TRUE(probe.load(dir.file(c.name)));
    }
    ExpectPicture(dir.file(c.name), probe.bitCount(), ColourAt);
    EXPECT_EQ(probe.dotsPerInch(), 72);
  }
}

TEST(RasterInput, GreyAlphaTargaOnWhitePaper) {
  ::quillon::test::TempDir dir;
  for (bool runLength : {false, true}) {
    const std::string path = dir.file(runLength ? "grey_alpha_rle.tga" : "grey_alpha.tga");
    ::quillon::test::WriteFile(path, test::GreyAlphaTga(runLength));
    ExpectPicture(path, 8, [](int x, int y) { return x == 0 ? Grey(255) : Grey(GreyAt(x, y)); });
  }
  // Cut short: refused, not padded.
  const std::string cut = dir.file("grey_alpha_cut.tga");
  ::quillon::test::WriteFile(cut, test::GreyAlphaTga(false).substr(0, 30));
  ::quillon::test::CapturedMessages messages;
  CRaster r;
  EXPECT_FALSE(r.load(cut));
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_NE(messages.messages()[0].find("truncated"), std::string::npos) << messages.messages()[0];
}

TEST(RasterInput, PcxBilevelAndFourPlanes) {
  ::quillon::test::TempDir dir;
  ::quillon::test::WriteFile(dir.file("bw.pcx"), test::PlanarPcx(1));
  ExpectPicture(dir.file("bw.pcx"), 1,
                [](int x, int y) { return test::IndexAt(x, y) == 0 ? Grey(255) : Grey(0); });
  ::quillon::test::WriteFile(dir.file("ega.pcx"), test::PlanarPcx(4));
  CRaster probe;
  ASSERT_TRUE(probe.load(dir.file("ega.pcx")));
  ExpectPicture(dir.file("ega.pcx"), probe.bitCount(), ColourAt);
}

// TIFF variants written through libtiff itself.
struct TiffWriter {
  TIFF* tif;
  explicit TiffWriter(const std::string& path) : tif(TIFFOpen(path.c_str(), "w")) {}
  ~TiffWriter() {
    if (tif) TIFFClose(tif);
  }
  void page(uint32_t w, uint32_t h, uint16_t bits, uint16_t samples, uint16_t photometric) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 300.0f);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 300.0f);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  }
};

// Grey samples of `bits` bits, packed most significant bit first.
std::vector<uint8_t> PackGrey(int y, unsigned bits) {
  std::vector<uint8_t> row((kWidth * bits + 7) / 8, 0);
  const uint32_t maximum = (1u << bits) - 1;
  for (int x = 0; x < kWidth; ++x) {
    const uint32_t v = (GreyAt(x, y) * maximum + 127) / 255;
    for (unsigned b = 0; b < bits; ++b) {
      const unsigned bit = x * bits + b;
      if ((v >> (bits - 1 - b)) & 1) row[bit / 8] |= static_cast<uint8_t>(0x80 >> (bit % 8));
    }
  }
  return row;
}

TEST(RasterInput, TiffDepthsAndLayouts) {
  ::quillon::test::TempDir dir;
  for (unsigned bits : {2u, 12u}) {
    const std::string path = dir.file("grey" + std::to_string(bits) + ".tif");
    {
      TiffWriter w(path);
      w.page(kWidth, kHeight, static_cast<uint16_t>(bits), 1, PHOTOMETRIC_MINISBLACK);
      TIFFSetField(w.tif, TIFFTAG_ROWSPERSTRIP, 1);
      for (int y = 0; y < kHeight; ++y) {
        auto row = PackGrey(y, bits);
        ASSERT_EQ(TIFFWriteScanline(w.tif, row.data(), y, 0), 1);
      }
    }
    // 2-bit levels are 0, 85, 170, 255: the pattern's greys exactly.
    ExpectPicture(path, 8, [](int x, int y) { return Grey(GreyAt(x, y)); });
    CRaster r;
    ASSERT_TRUE(r.load(path));
    EXPECT_EQ(r.dotsPerInch(), 300);
  }
  {  // 16-bit RGB with an unassociated alpha: half-transparent black is mid grey.
    const std::string path = dir.file("rgba16.tif");
    {
      TiffWriter w(path);
      w.page(kWidth, kHeight, 16, 4, PHOTOMETRIC_RGB);
      const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
      TIFFSetField(w.tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
      for (int y = 0; y < kHeight; ++y) {
        std::vector<uint16_t> row;
        for (int x = 0; x < kWidth; ++x) {
          const test::Rgb c = ColourAt(x, y);
          row.insert(row.end(), {uint16_t(c.r * 257), uint16_t(c.g * 257), uint16_t(c.b * 257),
                                 uint16_t(x == 5 ? 0 : 65535)});
        }
        ASSERT_EQ(TIFFWriteScanline(w.tif, row.data(), y, 0), 1);
      }
    }
    CRaster probe;
    ASSERT_TRUE(probe.load(path));
    ExpectPicture(path, probe.bitCount(), [&](int x, int y) {
      // FreeImage reads this one itself and keeps its alpha apart.
      return probe.bitCount() == 32 || x != 5 ? ColourAt(x, y) : Grey(255);
    });
  }
  {  // Tiled and planar, 8-bit RGB.
    const std::string path = dir.file("tiled_planar.tif");
    {
      TiffWriter w(path);
      w.page(kWidth, kHeight, 8, 3, PHOTOMETRIC_RGB);
      TIFFSetField(w.tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_SEPARATE);
      TIFFSetField(w.tif, TIFFTAG_TILEWIDTH, 16);
      TIFFSetField(w.tif, TIFFTAG_TILELENGTH, 16);
      for (uint16_t s = 0; s < 3; ++s) {
        std::vector<uint8_t> tile(16 * 16, 0);
        for (int y = 0; y < kHeight; ++y)
          for (int x = 0; x < kWidth; ++x) {
            const test::Rgb c = ColourAt(x, y);
            tile[y * 16 + x] = s == 0 ? c.r : s == 1 ? c.g : c.b;
          }
        ASSERT_EQ(TIFFWriteEncodedTile(w.tif, s, tile.data(), 256), 256);
      }
    }
    CRaster probe;
    ASSERT_TRUE(probe.load(path));
    ExpectPicture(path, 24, ColourAt);
  }
  {  // LogLuv: FreeImage answers "Not enough memory".
    const std::string path = dir.file("logluv.tif");
    {
      TiffWriter w(path);
      w.page(kWidth, kHeight, 32, 3, PHOTOMETRIC_LOGLUV);
      TIFFSetField(w.tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
      TIFFSetField(w.tif, TIFFTAG_COMPRESSION, COMPRESSION_SGILOG);
      TIFFSetField(w.tif, TIFFTAG_SGILOGDATAFMT, SGILOGDATAFMT_FLOAT);
      for (int y = 0; y < kHeight; ++y) {
        std::vector<float> row;
        for (int x = 0; x < kWidth; ++x) {
          const float l = test::IndexAt(x, y) == 0 ? 1.0f : 0.0f;  // white or black, in XYZ
          row.insert(row.end(), {0.9505f * l, 1.0f * l, 1.089f * l});
        }
        ASSERT_EQ(TIFFWriteScanline(w.tif, row.data(), y, 0), 1);
      }
    }
    ::quillon::test::CapturedMessages messages;
    CRaster r;
    ASSERT_TRUE(r.load(path)) << messages.messages()[0];
    EXPECT_EQ(r.bitCount(), 24);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        uint8_t b = 0, g = 0, red = 0;
        r.colourAt(x, y, b, g, red);
        EXPECT_EQ(g > 128, test::IndexAt(x, y) == 0) << x << "," << y;
      }
  }
}

TEST(RasterInput, PngPnmAndGifOpenEverywhere) {
  ::quillon::test::TempDir dir;
  // PNM by hand.
  ::quillon::test::WriteFile(dir.file("grey.pgm"), test::Pnm('5'));
  ExpectPicture(dir.file("grey.pgm"), 8, [](int x, int y) { return Grey(GreyAt(x, y)); });
  ::quillon::test::WriteFile(dir.file("colour.ppm"), test::Pnm('6'));
  ExpectPicture(dir.file("colour.ppm"), 24, ColourAt);
  ::quillon::test::WriteFile(dir.file("bw.pnm"), test::Pnm('4'));  // the variant is in the signature
  ExpectPicture(dir.file("bw.pnm"), 1, [](int x, int y) { return test::IndexAt(x, y) == 1 ? Grey(0) : Grey(255); });

  // PNG with alpha and GIF with a transparent entry, written by FreeImage:
  // transparency reads as white paper.
  FIBITMAP* rgba = FreeImage_Allocate(kWidth, kHeight, 32);
  for (int y = 0; y < kHeight; ++y) {
    BYTE* row = FreeImage_GetScanLine(rgba, kHeight - 1 - y);
    for (int x = 0; x < kWidth; ++x) {
      const test::Rgb c = ColourAt(x, y);
      row[4 * x + FI_RGBA_RED] = c.r;
      row[4 * x + FI_RGBA_GREEN] = c.g;
      row[4 * x + FI_RGBA_BLUE] = c.b;
      row[4 * x + FI_RGBA_ALPHA] = x == 5 ? 0 : 255;
    }
  }
  ASSERT_TRUE(FreeImage_Save(FIF_PNG, rgba, dir.file("alpha.png").c_str(), 0));
  FreeImage_Unload(rgba);
  ExpectPicture(dir.file("alpha.png"), 24, [](int x, int y) { return x == 5 ? Grey(255) : ColourAt(x, y); });

  FIBITMAP* indexed = FreeImage_Allocate(kWidth, kHeight, 8);
  RGBQUAD* pal = FreeImage_GetPalette(indexed);
  for (int i = 0; i < 4; ++i) pal[i] = RGBQUAD{test::kColours[i].b, test::kColours[i].g, test::kColours[i].r, 0};
  pal[4] = RGBQUAD{0, 0, 0, 0};  // transparent black
  for (int y = 0; y < kHeight; ++y) {
    BYTE* row = FreeImage_GetScanLine(indexed, kHeight - 1 - y);
    for (int x = 0; x < kWidth; ++x) row[x] = static_cast<BYTE>(x == 5 ? 4 : test::IndexAt(x, y));
  }
  FreeImage_SetTransparentIndex(indexed, 4);
  ASSERT_TRUE(FreeImage_Save(FIF_GIF, indexed, dir.file("one.gif").c_str(), 0));
  ExpectPicture(dir.file("one.gif"), 8, [](int x, int y) { return x == 5 ? Grey(255) : ColourAt(x, y); });

  // Two frames: two documents, each the whole picture.
  FIMULTIBITMAP* pages = FreeImage_OpenMultiBitmap(FIF_GIF, dir.file("two.gif").c_str(), TRUE, FALSE, FALSE, 0);
  ASSERT_NE(pages, nullptr);
  FreeImage_AppendPage(pages, indexed);
  FreeImage_AppendPage(pages, indexed);
  FreeImage_CloseMultiBitmap(pages, 0);
  FreeImage_Unload(indexed);
  ::quillon::test::CapturedMessages messages;
  const auto documents = OpenRasterFile(dir.file("two.gif"));
  ASSERT_EQ(documents.size(), 2u);
  EXPECT_EQ(documents[1].name, dir.file("two_1.gif"));
  EXPECT_EQ(documents[1].raster.width(), kWidth);
  EXPECT_EQ(documents[1].raster.bitCount(), 24);
  uint8_t b = 0, g = 0, r = 0;
  ASSERT_TRUE(documents[1].raster.colourAt(5, 0, b, g, r));
  EXPECT_EQ(g, 255);  // transparent: paper
  ASSERT_TRUE(documents[1].raster.colourAt(2, 0, b, g, r));
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 0);
  EXPECT_TRUE(messages.messages().empty());
}

// Files FreeImage reads give exactly the pixels FreeImage gives: the checks
// and the second decoder change nothing for them.
TEST(RasterInput, FreeImagePixelsUnchanged) {
  FreeImage_Initialise(FALSE);
  for (const char* name : {"lines_1bit.bmp", "grey_8bit.bmp", "colour_24bit.jpg", "colour_24bit.tga", "grey_8bit.pcx",
                           "sheet.tif", "pages_3.tif"}) {
    const std::string path = ::quillon::test::SourcePath(std::string("data/samples/") + name);
    CRaster direct;
    ASSERT_TRUE(direct.attach(FreeImage_Load(FreeImage_GetFileType(path.c_str()), path.c_str(), 0))) << name;
    CRaster loaded;
    ASSERT_TRUE(loaded.load(path)) << name;
    EXPECT_EQ(loaded.bitCount(), direct.bitCount()) << name;
    EXPECT_TRUE(test::StateOf(loaded) == test::StateOf(direct)) << name;
  }
}

// One failed load, one message naming the file and containing fragment.
void ExpectRefused(const std::string& path, const char* fragment) {
  ::quillon::test::CapturedMessages messages;
  CRaster r;
  EXPECT_FALSE(r.load(path)) << path;
  EXPECT_TRUE(r.empty());
  ASSERT_EQ(messages.messages().size(), 1u) << path;
  EXPECT_NE(messages.messages()[0].find(path), std::string::npos) << messages.messages()[0];
  EXPECT_NE(messages.messages()[0].find(fragment), std::string::npos) << messages.messages()[0];
}

// A 130-byte TIFF whose header claims 100000 x 100000 pixels of 1 bit.
std::string LyingTiff() {
  test::TiffSpec huge;
  huge.width = huge.height = 1;
  huge.bitsPerSample = 1;
  huge.stripCounts = {1250000000u};
  std::string bytes = test::HandTiff(huge);
  std::memcpy(&bytes[8 + 2 + 8], "\xA0\x86\x01\x00", 4);       // width 100000
  std::memcpy(&bytes[8 + 2 + 12 + 8], "\xA0\x86\x01\x00", 4);  // height 100000
  bytes.resize(130, '\0');
  return bytes;
}

TEST(RasterInputBad, TiffStripsMissingOrBroken) {
  ::quillon::test::TempDir dir;
  // 80 rows of one strip each; the file stops after 27 of them.
  test::TiffSpec spec;
  spec.height = 80;
  spec.pixels.assign(kWidth * 80, '\x80');
  const std::string whole = test::HandTiff(spec);
  ::quillon::test::WriteFile(dir.file("two_thirds_missing.tif"), whole.substr(0, whole.size() - kWidth * 53));
  ExpectRefused(dir.file("two_thirds_missing.tif"), "truncated");
  EXPECT_TRUE(OpenRasterFile(dir.file("two_thirds_missing.tif")).empty());

  ::quillon::test::WriteFile(dir.file("lying.tif"), LyingTiff());
  ExpectRefused(dir.file("lying.tif"), "truncated");

  // Every strip present, but one of them does not decode: FreeImage would
  // carry on past libtiff's error.
  const std::string lzw = dir.file("broken_strip.tif");
  {
    TiffWriter w(lzw);
    w.page(64, 80, 8, 1, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(w.tif, TIFFTAG_ROWSPERSTRIP, 1);
    TIFFSetField(w.tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    std::vector<uint8_t> row(64);
    for (int y = 0; y < 80; ++y) {
      for (int x = 0; x < 64; ++x) row[x] = static_cast<uint8_t>(x * y);
      ASSERT_EQ(TIFFWriteScanline(w.tif, row.data(), y, 0), 1);
    }
  }
  uint64_t strip30 = 0;
  {
    TIFF* tif = TIFFOpen(lzw.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    uint64_t* offsets = nullptr;
    TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets);
    strip30 = offsets[30];
    TIFFClose(tif);
  }
  std::string data = ::quillon::test::ReadFile(lzw);
  for (int i = 0; i < 8; ++i) data[strip30 + i] = '\xFF';
  ::quillon::test::WriteFile(lzw, data);
  ExpectRefused(lzw, "damaged");
}

TEST(RasterInputBad, MultiPageTiffRunsTheSameChecks) {
  ::quillon::test::TempDir dir;
  const std::string path = dir.file("pages.tif");
  std::vector<uint64_t> firstStrips;
  {
    TiffWriter w(path);
    for (int p = 0; p < 3; ++p) {
      w.page(32, 20, 8, 1, PHOTOMETRIC_MINISBLACK);
      TIFFSetField(w.tif, TIFFTAG_ROWSPERSTRIP, 1);
      TIFFSetField(w.tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
      std::vector<uint8_t> row(32);
      for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 32; ++x) row[x] = static_cast<uint8_t>(x * y + p);
        ASSERT_EQ(TIFFWriteScanline(w.tif, row.data(), y, 0), 1);
      }
      ASSERT_TRUE(TIFFWriteDirectory(w.tif));
    }
  }
  {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    ASSERT_TRUE(TIFFSetDirectory(tif, 1));
    uint64_t* offsets = nullptr;
    TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets);
    firstStrips.push_back(offsets[10]);
    TIFFClose(tif);
  }
  std::string data = ::quillon::test::ReadFile(path);
  for (int i = 0; i < 6; ++i) data[firstStrips[0] + i] = '\xFF';
  ::quillon::test::WriteFile(path, data);
  ::quillon::test::CapturedMessages messages;
  const auto documents = OpenRasterFile(path);
  ASSERT_EQ(documents.size(), 2u);
  EXPECT_EQ(documents[0].name, dir.file("pages_0.tif"));
  EXPECT_EQ(documents[1].name, dir.file("pages_2.tif"));
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_NE(messages.messages()[0].find("pages_1.tif"), std::string::npos) << messages.messages()[0];

  // A file that only claims to be a TIFF is not opened as pages.
  ::quillon::test::WriteFile(dir.file("fake.tif"), "BM this is no tiff at all");
  RasterPageReader reader;
  EXPECT_FALSE(reader.openPages(dir.file("fake.tif")));
}

TEST(RasterInputBad, LyingBmpRefusedFromItsHeader) {
  ::quillon::test::TempDir dir;
  // 65536 x 32768 pixels of 8 bits: 2^31 bytes that the file does not hold.
  test::Bytes f;
  f.text("BM").le32(1078).le32(0).le32(1078).le32(40).le32(65536).le32(32768).le16(1).le16(8).le32(0);
  f.le32(0).le32(0).le32(0).le32(0).le32(0).zeros(1024 + 64);
  ::quillon::test::WriteFile(dir.file("claims_2g.bmp"), f.str());
  ExpectRefused(dir.file("claims_2g.bmp"), "truncated");
  // The same check on a valid variant that only the second decoder reads.
  const std::string v5 = test::PaletteBmp(124, 8);
  ::quillon::test::WriteFile(dir.file("v5_cut.bmp"), v5.substr(0, v5.size() - 12));
  ExpectRefused(dir.file("v5_cut.bmp"), "truncated");
}

TEST(RasterInputBad, UnsupportedVariantsSaySo) {
  ::quillon::test::TempDir dir;
  test::TiffSpec spec;
  spec.compression = 34712;  // JPEG 2000, which libtiff has no codec for
  spec.pixels.assign(kWidth * kHeight, '\0');
  ::quillon::test::WriteFile(dir.file("jp2k.tif"), test::HandTiff(spec));
  ExpectRefused(dir.file("jp2k.tif"), "unsupported TIFF compression 34712");
  std::string jpegBmp = test::PaletteBmp(40, 8);
  jpegBmp[30] = 4;  // BI_JPEG
  ::quillon::test::WriteFile(dir.file("jpeg.bmp"), jpegBmp);
  ExpectRefused(dir.file("jpeg.bmp"), "unsupported BMP compression 4 (JPEG)");
  std::string odd = test::PaletteBmp(40, 8);
  odd[28] = 7;  // 7 bits per pixel
  ::quillon::test::WriteFile(dir.file("seven_bits.bmp"), odd);
  ExpectRefused(dir.file("seven_bits.bmp"), "unsupported BMP bit depth 7");
  std::string tga = test::GreyAlphaTga(false);
  tga[2] = 32;  // a Huffman-coded type no reader here knows
  ::quillon::test::WriteFile(dir.file("huffman.tga"), tga);
  ExpectRefused(dir.file("huffman.tga"), "unsupported TGA image type 32");
}

// The header-only read must tell what decoding tells, for every kind of file
// and depth (normalised depths included), and stay silent doing it.
TEST(RasterInfo, HeadersAgreeWithTheDecodedPicture) {
  ::quillon::test::TempDir dir;
  std::vector<std::string> files;
  const auto write = [&](const std::string& name, const std::string& bytes) {
    ::quillon::test::WriteFile(dir.file(name), bytes);
    files.push_back(dir.file(name));
  };
  write("v3_1.bmp", test::PaletteBmp(40, 1));
  write("v3_4.bmp", test::PaletteBmp(40, 4));
  write("v5_8.bmp", test::PaletteBmp(124, 8));
  write("rle8.bmp", test::PaletteBmp(40, 8, 1));
  write("pal2.bmp", test::PaletteBmp(40, 2));
  write("bitfields32.bmp", test::BitfieldBmp32());
  write("grey_alpha.tga", test::GreyAlphaTga(true));
  write("bw.pcx", test::PlanarPcx(1));
  write("bw.pbm", test::Pnm('4'));
  write("grey.pgm", test::Pnm('5'));
  write("colour.ppm", test::Pnm('6'));
  test::TiffSpec grey8;
  grey8.pixels.assign(kWidth * kHeight, '\x40');
  write("grey8.tif", test::HandTiff(grey8));
  for (unsigned bits : {2u, 12u, 16u}) {
    const std::string path = dir.file("grey" + std::to_string(bits) + ".tif");
    {
      TiffWriter w(path);
      w.page(kWidth, kHeight, static_cast<uint16_t>(bits), 1, PHOTOMETRIC_MINISBLACK);
      for (int y = 0; y < kHeight; ++y) {
        auto row = PackGrey(y, bits);
        ASSERT_EQ(TIFFWriteScanline(w.tif, row.data(), y, 0), 1);
      }
    }
    files.push_back(path);
  }
  FIBITMAP* rgba = FreeImage_Allocate(kWidth, kHeight, 32);
  ASSERT_TRUE(FreeImage_Save(FIF_PNG, rgba, dir.file("rgba.png").c_str(), 0));
  FreeImage_SetDotsPerMeterX(rgba, 11811);
  FreeImage_SetDotsPerMeterY(rgba, 11811);
  ASSERT_TRUE(FreeImage_Save(FIF_TIFF, rgba, dir.file("rgba.tif").c_str(), TIFF_NONE));
  FreeImage_Unload(rgba);
  files.push_back(dir.file("rgba.png"));
  files.push_back(dir.file("rgba.tif"));
  for (const char* sample : {"lines_1bit.bmp", "grey_8bit.bmp", "colour_24bit.jpg", "colour_24bit.tga",
                             "grey_8bit.pcx", "pages_3.tif", "sheet.tif"})
    files.push_back(::quillon::test::SourcePath(std::string("data/samples/") + sample));

  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    ::quillon::test::CapturedMessages messages;
    RasterFileInfo info;
    ASSERT_TRUE(ReadRasterInfo(path, info));
    CRaster decoded;
    int pages = 0;
    ASSERT_TRUE(LoadFirstPicture(path, decoded, pages));
    EXPECT_EQ(info.width, decoded.width());
    EXPECT_EQ(info.height, decoded.height());
    EXPECT_EQ(info.bitCount, decoded.bitCount());
    EXPECT_EQ(info.dotsPerInch, decoded.dotsPerInch());
    EXPECT_EQ(info.pages, pages);
    EXPECT_TRUE(messages.messages().empty()) << messages.messages()[0];
  }
}

// Damaged pixel data does not hide the size, and the headers' own checks
// still say it is damaged.
TEST(RasterInfo, TruncatedPixelsStillGiveTheHeader) {
  ::quillon::test::TempDir dir;
  // 2000 x 1500 8-bit grey, a strip per row, cut after its first 100 rows.
  test::TiffSpec spec;
  spec.width = 2000;
  spec.height = 1500;
  spec.pixels.assign(2000 * 1500, '\x80');
  const std::string whole = test::HandTiff(spec);
  ::quillon::test::WriteFile(dir.file("cut.tif"), whole.substr(0, whole.size() - 2000 * 1400));
  const std::string bmp = test::PaletteBmp(40, 8);
  ::quillon::test::WriteFile(dir.file("cut.bmp"), bmp.substr(0, bmp.size() - 10));
  for (const char* name : {"cut.tif", "cut.bmp"}) {
    SCOPED_TRACE(name);
    ::quillon::test::CapturedMessages messages;
    RasterFileInfo info;
    ASSERT_TRUE(ReadRasterInfo(dir.file(name), info));
    EXPECT_EQ(info.width, name[4] == 't' ? 2000 : kWidth);
    EXPECT_EQ(info.height, name[4] == 't' ? 1500 : kHeight);
    EXPECT_EQ(info.bitCount, 8);
    EXPECT_TRUE(messages.messages().empty());
    // The headers alone show the loss, with the message a load gives.
    EXPECT_NE(info.damage.find("truncated"), std::string::npos) << info.damage;
    CRaster decoded;
    int pages = 0;
    EXPECT_FALSE(LoadFirstPicture(dir.file(name), decoded, pages));
    ASSERT_FALSE(messages.messages().empty());
    EXPECT_EQ(messages.messages()[0], info.damage);
  }

  ::quillon::test::WriteFile(dir.file("lying.tif"), LyingTiff());
  RasterFileInfo info;
  ASSERT_TRUE(ReadRasterInfo(dir.file("lying.tif"), info));
  EXPECT_EQ(info.width, 100000);
  EXPECT_NE(info.damage.find("truncated"), std::string::npos) << info.damage;
}

}  // namespace
}  // namespace quillon::raster
