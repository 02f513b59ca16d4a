// Binary CGM: a strict structural walk over every element (headers, lengths,
// partitions, padding, delimiters), the header elements, value rounding and
// the primitives of each entity type.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "formats/cgm/cgm_file.h"
#include "formats/cgm/cgm_writer.h"
#include "render_sample.h"

namespace quillon::formats {
namespace {

using model::CGraph;
using model::CLine;
using model::Point3;
using test::V;

// An empty BEGIN METAFILE (long form), BEGIN PICTURE and BEGIN PICTURE BODY,
// and the closing END PICTURE, END METAFILE, around bare element streams.
const std::string kOpen("\x00\x3F\x00\x00\x00\x60\x00\x80", 8);
const std::string kClose("\x00\xA0\x00\x40", 4);

struct Element {
  int cls;
  int id;
  std::vector<uint8_t> params;
};

uint16_t Word(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) << 8 | static_cast<uint8_t>(b[at + 1]));
}
int16_t Int(const std::vector<uint8_t>& p, size_t at) { return static_cast<int16_t>(p[at] << 8 | p[at + 1]); }

// Splits a metafile into elements. Any structural fault fails the test:
// lengths past the end, a pad byte that is not zero, elements outside
// BEGIN/END METAFILE, primitives outside a picture body.
std::vector<Element> Parse(const std::string& bytes) {
  std::vector<Element> out;
  size_t at = 0;
  while (at < bytes.size()) {
    EXPECT_LE(at + 2, bytes.size()) << "truncated header";
    if (at + 2 > bytes.size()) return out;
    const uint16_t head = Word(bytes, at);
    at += 2;
    Element e{head >> 12, (head >> 5) & 0x7F, {}};
    size_t length = head & 0x1F;
    bool more = false;
    if (length == 31) {
      do {
        EXPECT_LE(at + 2, bytes.size());
        const uint16_t w = Word(bytes, at);
        at += 2;
        more = (w & 0x8000) != 0;
        const size_t part = w & 0x7FFF;
        EXPECT_LE(at + part, bytes.size()) << "partition past the end";
        if (at + part > bytes.size()) return out;
        e.params.insert(e.params.end(), bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + part));
        at += part;
        if (more) {
          EXPECT_EQ(part % 2, 0u) << "only the last partition may be odd";
        }
      } while (more);
      length = e.params.size();
    } else {
      EXPECT_LE(at + length, bytes.size());
      e.params.assign(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + length));
      at += length;
    }
    if (length % 2) {
      EXPECT_LT(at, bytes.size());
      EXPECT_EQ(bytes[at], '\0') << "pad byte";
      ++at;
    }
    out.push_back(std::move(e));
  }
  // Delimiters: the file begins and ends the metafile, one picture, a body.
  EXPECT_FALSE(out.empty());
  if (out.empty()) return out;
  EXPECT_TRUE(out.front().cls == 0 && out.front().id == 1) << "BEGIN METAFILE first";
  EXPECT_TRUE(out.back().cls == 0 && out.back().id == 2) << "END METAFILE last";
  bool inBody = false;
  for (const Element& e : out) {
    if (e.cls == 0 && e.id == 4) inBody = true;
    if (e.cls == 0 && e.id == 5) inBody = false;
    if (e.cls == 4 || e.cls == 5) {
      EXPECT_TRUE(inBody) << "primitive or attribute outside the picture body";
    }
  }
  return out;
}

std::string OneLineCgm(const std::string& title) {
  CGraph g;
  test::AddTo(g, std::make_unique<CLine>(Point3{0, 0, 0}, Point3{100, 50, 0}));
  std::string bytes;
  EXPECT_TRUE(WriteCgmFile(bytes, title, g).ok());
  return bytes;
}

TEST(CgmWriter, HeaderElementsAndStrings) {
  const std::string bytes = OneLineCgm("lines");
  // BEGIN METAFILE in the long form: 23 characters plus the count byte, even.
  EXPECT_EQ(bytes.substr(0, 6), std::string("\x00\x3F\x00\x18\x17Q", 6));
  EXPECT_EQ(bytes.substr(4, 24), std::string("\x17Quillon output cgm file", 24));
  EXPECT_EQ(bytes.substr(28, 4), std::string("\x10\x22\x00\x01", 4));
  // METAFILE DESCRIPTION: "lines" with its count byte, six bytes, no pad.
  EXPECT_EQ(bytes.substr(32, 10), std::string("\x10\x5F\x00\x06\x05lines", 10));
  EXPECT_EQ(bytes.substr(42, 8), std::string("\x11\x66\x00\x01\xFF\xFF\x00\x01", 8));
  const std::vector<Element> elements = Parse(bytes);
  ASSERT_GE(elements.size(), 10u);
  // VDC EXTENT: [-1.5, 101.5] x [-0.75, 50.75] widened by one and truncated toward zero.
  const Element& vdc = elements[8];
  ASSERT_EQ(vdc.cls, 2);
  ASSERT_EQ(vdc.id, 6);
  EXPECT_EQ(Int(vdc.params, 0), -2);
  EXPECT_EQ(Int(vdc.params, 2), -1);
  EXPECT_EQ(Int(vdc.params, 4), 102);
  EXPECT_EQ(Int(vdc.params, 6), 51);
  // A white background, or readers show the picture on black.
  const Element& background = elements[9];
  EXPECT_EQ(background.cls, 2);
  EXPECT_EQ(background.id, 7);
  EXPECT_EQ(background.params, (std::vector<uint8_t>{255, 255, 255}));
  EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\x00\xA0\x00\x40", 4));
}

// Every entity draws with its own width in whole pixels, one pixel at least;
// a polyline's runs break where the width changes.
TEST(CgmWriter, LineWidthsFollowTheEntities) {
  CgmWriter writer;
  writer.Circle({50, 50}, 10, 3.2);
  writer.Line({0, 0}, {10, 0});
  writer.Polyline({V(0, 0, 2), V(10, 0, 2), V(20, 0, 5), V(30, 0, 0.2, 0.5), V(40, 0)}, false);
  std::vector<std::pair<int, int>> sequence;  // (id, width or point count)
  for (const Element& e : Parse(kOpen + writer.bytes() + kClose)) {
    if (e.cls == 5 && (e.id == 3 || e.id == 28)) sequence.emplace_back(e.id, Int(e.params, 0));
    if (e.cls == 4 && e.id == 1) sequence.emplace_back(1, static_cast<int>(e.params.size() / 4));
    if (e.cls == 4 && (e.id == 12 || e.id == 15)) sequence.emplace_back(e.id, 0);
  }
  EXPECT_EQ(sequence, (std::vector<std::pair<int, int>>{{3, 3}, {28, 3}, {12, 0},  // circle: line and edge
                                                         {3, 1}, {1, 2},                  // line
                                                         {3, 2}, {1, 3},                  // width 2 from 0 to 20
                                                         {3, 5}, {1, 2},                  // width 5 to 30
                                                         {3, 1}, {15, 0}}));              // the thin arc
}

TEST(CgmWriter, OddTitleGetsAPadByte) {
  const std::vector<Element> elements = Parse(OneLineCgm("plan"));  // 5 bytes: padded
  ASSERT_GE(elements.size(), 3u);
  EXPECT_EQ(elements[2].params.size(), 5u);
}

TEST(CgmWriter, ValuesRoundHalfUpAndWrap) {
  int16_t v = 0;
  EXPECT_TRUE(CgmValue(10.5, v));
  EXPECT_EQ(v, 11);
  EXPECT_TRUE(CgmValue(-0.7, v));
  EXPECT_EQ(v, 0);
  EXPECT_TRUE(CgmValue(32768.0, v));
  EXPECT_EQ(v, -32768);
  EXPECT_TRUE(CgmValue(1e300, v));  // wraps without undefined conversion
  EXPECT_FALSE(CgmValue(std::numeric_limits<double>::quiet_NaN(), v));
}

TEST(CgmWriter, EntityPrimitives) {
  CgmWriter writer;
  const Point2 triangle[] = {{0, 0}, {10, 0}, {5, 5}};
  writer.Solid(triangle);
  writer.Polyline({V(0, 0), V(10, 0, 0, 1.0), V(20, 0), V(30, 0)}, false);
  writer.Polyline({V(0, 0), V(10, 0), V(10, 10)}, true);
  writer.Circle({5, 5}, 3, 0.0);
  std::string bytes = kOpen + writer.bytes() + kClose;
  std::vector<Element> e = Parse(bytes);
  // BEGIN METAFILE, BEGIN PICTURE, BODY, then the entities.
  ASSERT_GE(e.size(), 12u);
  EXPECT_EQ(e[3].cls, 5);  // INTERIOR STYLE solid
  EXPECT_EQ(Int(e[3].params, 0), 1);
  ASSERT_EQ(e[4].id, 7);  // POLYGON p2, p3, p1
  ASSERT_EQ(e[4].params.size(), 12u);
  EXPECT_EQ(Int(e[4].params, 0), 10);
  EXPECT_EQ(Int(e[4].params, 4), 5);
  EXPECT_EQ(Int(e[4].params, 8), 0);
  // POLYLINE to the arc's start, CIRCULAR ARC CENTRE, POLYLINE on.
  EXPECT_EQ(e[5].cls, 4);
  EXPECT_EQ(e[5].id, 1);
  EXPECT_EQ(e[5].params.size(), 8u);
  EXPECT_EQ(e[6].id, 15);
  EXPECT_EQ(Int(e[6].params, 0), 15);   // centre (15, 0)
  EXPECT_EQ(Int(e[6].params, 12), 5);   // radius
  // Start vector towards (10, 0): -100 rounds as -100 + 0.5 truncated.
  EXPECT_EQ(Int(e[6].params, 4), -99);
  EXPECT_EQ(Int(e[6].params, 8), 100);   // end vector towards (20, 0)
  EXPECT_EQ(e[7].id, 1);
  EXPECT_EQ(Int(e[7].params, 0), 20);
  // A closed straight polyline is one POLYLINE ending at its head.
  ASSERT_EQ(e[8].id, 1);
  ASSERT_EQ(e[8].params.size(), 16u);
  EXPECT_EQ(Int(e[8].params, 12), 0);
  EXPECT_EQ(Int(e[8].params, 14), 0);
  EXPECT_EQ(Int(e[9].params, 0), 0);  // INTERIOR STYLE hollow before the circle
  EXPECT_EQ(e[10].id, 12);
}

TEST(CgmWriter, LongPolylinesArePartitioned) {
  CgmWriter writer;
  PathRing ring;
  for (int i = 0; i < 10000; ++i) ring.push_back(V(i % 300, i / 300));
  writer.Polyline(ring, false);
  std::string bytes = kOpen + writer.bytes() + kClose;
  std::vector<Element> e = Parse(bytes);
  ASSERT_EQ(e.size(), 6u);
  EXPECT_EQ(e[3].params.size(), 40000u);
}

TEST(CgmWriter, EveryEntityTypeGivesAWellFormedMetafile) {
  CGraph g;
  test::SampleDrawing(g);
  std::string bytes;
  ASSERT_TRUE(WriteCgmFile(bytes, "sample", g).ok());
  const std::vector<Element> elements = Parse(bytes);
  int primitives = 0;
  for (const Element& e : elements) primitives += e.cls == 4;
  // line, circle, arc, solid, the polyline's runs and arcs; no polypolygon.
  EXPECT_GE(primitives, 7);
  EXPECT_EQ(bytes.size() % 2, 0u);
}

TEST(CgmWriter, RefusesEmptyAndNonFiniteDrawings) {
  CGraph empty;
  std::string bytes;
  EXPECT_FALSE(WriteCgmFile(bytes, "x", empty).ok());
  CgmWriter writer;
  writer.Line({std::numeric_limits<double>::infinity(), 0}, {0, 0});
  EXPECT_TRUE(writer.failed());
}

}  // namespace
}  // namespace quillon::formats
