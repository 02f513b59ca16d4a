// The placeable metafile: header fields and checksum, the record stream
// (sizes add up, objects are created before they are selected), pens,
// coordinates and refusals.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "formats/wmf/wmf_file.h"
#include "formats/wmf/wmf_writer.h"
#include "render_sample.h"

namespace quillon::formats {
namespace {

using model::CGraph;
using model::CLine;
using model::Point3;
using test::V;

struct Record {
  uint16_t function;
  std::vector<int16_t> params;
};

uint16_t U16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}
uint32_t U32(const std::string& b, size_t at) { return U16(b, at) | static_cast<uint32_t>(U16(b, at + 2)) << 16; }

// Checks the two headers and splits the records; any inconsistency fails the test.
std::vector<Record> Parse(const std::string& file) {
  std::vector<Record> out;
  EXPECT_GE(file.size(), 22u + 18u + 6u);
  if (file.size() < 46) return out;
  EXPECT_EQ(U32(file, 0), 0x9AC6CDD7u);
  EXPECT_EQ(U16(file, 20), WmfPlaceableChecksum(reinterpret_cast<const uint8_t*>(file.data())));
  EXPECT_EQ(U16(file, 22), 1);
  EXPECT_EQ(U16(file, 24), 9);
  EXPECT_EQ(U16(file, 26), 0x0300);
  EXPECT_EQ(U32(file, 28) * 2, file.size() - 22) << "metafile size in words";
  const uint32_t maxRecord = U32(file, 34);
  size_t at = 40;
  uint32_t largest = 0;
  while (at < file.size()) {
    const uint32_t words = U32(file, at);
    EXPECT_GE(words, 3u);
    EXPECT_LE(at + words * 2, file.size());
    if (words < 3 || at + words * 2 > file.size()) return out;
    Record r{U16(file, at + 4), {}};
    for (uint32_t i = 3; i < words; ++i) r.params.push_back(static_cast<int16_t>(U16(file, at + 2 * i)));
    largest = std::max(largest, words);
    at += words * 2;
    out.push_back(r);
  }
  EXPECT_EQ(largest, maxRecord);
  EXPECT_FALSE(out.empty());
  if (!out.empty()) {
    EXPECT_EQ(out.back().function, 0) << "ends with the EOF record";
  }
  return out;
}

TEST(WmfWriter, HeaderFrameAndChecksum) {
  CGraph g;
  // Extents with margin of a 0..100 x 0..50 box: [-1.5, 101.5] x [-0.75, 50.75].
  test::AddTo(g, std::make_unique<CLine>(Point3{0, 0, 0}, Point3{100, 50, 0}));
  std::string file;
  ASSERT_TRUE(WriteWmfFile(file, g, false).ok());
  std::vector<Record> records = Parse(file);
  // Pixel frame trunc(minX) - 1, trunc(minY), trunc(maxX) + 1, trunc(maxY) + 1,
  // through 0.01 mm and back at 96 units per inch.
  EXPECT_EQ(static_cast<int16_t>(U16(file, 6)), -2);
  EXPECT_EQ(static_cast<int16_t>(U16(file, 8)), 0);
  EXPECT_EQ(static_cast<int16_t>(U16(file, 10)), 102);
  EXPECT_EQ(static_cast<int16_t>(U16(file, 12)), 51);
  EXPECT_EQ(U16(file, 14), 96);
  // The line: y turned about S = 50, rounded.
  bool moved = false;
  for (const Record& r : records) {
    if (r.function == 0x0214) {
      EXPECT_EQ(r.params, (std::vector<int16_t>{50, 0}));
      moved = true;
    }
    if (r.function == 0x0213) {
      EXPECT_EQ(r.params, (std::vector<int16_t>{0, 100}));
    }
  }
  EXPECT_TRUE(moved);
}

TEST(WmfWriter, PixelFrameOfTheExtents) {
  WmfWriter writer(50.0, false);
  writer.Begin({0, 100, 0, 50});
  EXPECT_EQ(writer.pixelFrame()[0], -1);
  EXPECT_EQ(writer.pixelFrame()[1], 0);
  EXPECT_EQ(writer.pixelFrame()[2], 101);
  EXPECT_EQ(writer.pixelFrame()[3], 51);
  EXPECT_EQ(WmfMulDiv(-1, 2540, 96), -26);
}

TEST(WmfWriter, PensTakeTruncatedWidthsUnderSaveWidth) {
  WmfWriter writer(0.0, true);
  writer.Begin({0, 100, 0, 100});
  writer.Circle({50, 50}, 10, 2.7, {255, 0, 0});
  writer.Polyline({V(0, 0, 3.9), V(10, 0, 0.5), V(20, 0)}, false, 1.2, {0, 0, 255});
  std::string file;
  ASSERT_TRUE(writer.Finish(file).ok());
  std::vector<int> widths;
  int selectsBeforeCreate = 0;
  int created = 0;
  for (const Record& r : Parse(file)) {
    if (r.function == 0x02FA) {
      widths.push_back(r.params[1]);
      ++created;
    }
    if (r.function == 0x012D && created == 0) ++selectsBeforeCreate;
  }
  // Circle 2; polyline first pen trunc(1.2) = 1, then 3 at its first vertex; 0.5 keeps the pen.
  EXPECT_EQ(widths, (std::vector<int>{2, 1, 3}));
  EXPECT_EQ(selectsBeforeCreate, 0);
}

// libwmf draws stray ellipses for radial points off the circle and for
// boxes beyond the 16-bit range: radials lie on the circle, and an arc whose
// circle leaves the range is written as a polyline of chords.
TEST(WmfWriter, ArcRadialsLieOnTheCircleAndHugeArcsBecomeChords) {
  WmfWriter writer(100.0, false);
  writer.Begin({0, 100, 0, 100});
  writer.Polyline({V(10, 50, 0, 1.0), V(50, 50)}, false, 0, {0, 0, 0});  // half circle about (30, 50), R 20
  // A nearly straight segment: bulge 1e-4 over 80 pixels, R about 100000.
  writer.Polyline({V(10, 20, 0, 1e-4), V(90, 20)}, false, 0, {0, 0, 0});
  std::string file;
  ASSERT_TRUE(writer.Finish(file).ok());
  int arcs = 0, polylines = 0;
  for (const Record& r : Parse(file)) {
    if (r.function == 0x0817) {
      ++arcs;
      // ye, xe, ys, xs, bottom, right, top, left; y turned about 100.
      EXPECT_EQ(r.params, (std::vector<int16_t>{50, 50, 50, 10, 70, 50, 30, 10}));
    }
    if (r.function == 0x0325) {
      ++polylines;
      ASSERT_GE(r.params.size(), 5u);
      const int n = r.params[0];
      EXPECT_EQ(r.params.size(), 1u + 2u * n);
      EXPECT_EQ(r.params[1], 10);
      EXPECT_EQ(r.params[2], 80);
      EXPECT_EQ(r.params[2 * n - 1], 90);
      EXPECT_EQ(r.params[2 * n], 80);
    }
  }
  EXPECT_EQ(arcs, 1);
  EXPECT_EQ(polylines, 1);
}

TEST(WmfWriter, RefusesWhatSixteenBitsCannotHold) {
  CGraph empty;
  std::string file;
  EXPECT_FALSE(WriteWmfFile(file, empty, false).ok());
  CGraph huge;
  test::AddTo(huge, std::make_unique<CLine>(Point3{0, 0, 0}, Point3{40000, 0, 0}));
  Status status = WriteWmfFile(file, huge, false);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("32767"), std::string::npos);
  WmfWriter writer(0.0, false);
  writer.Line({std::numeric_limits<double>::quiet_NaN(), 0}, {0, 0}, {0, 0, 0});
  EXPECT_FALSE(writer.Finish(file).ok());
}

}  // namespace
}  // namespace quillon::formats
