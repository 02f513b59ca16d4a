// The file-level DXF text: fixed sections byte for byte, the header and table
// values that depend on the drawing, and failure at the first failed write.

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "formats/dxf/dxf_file.h"
#include "formats/dxf/dxf_writer.h"
#include "model/graph.h"
#include "formats/save_job.h"
#include "model/circle.h"
#include "model/line.h"
#include "model/polyline.h"

namespace quillon::formats {
namespace {

using model::CGraph;
using model::CLine;
using model::Point3;

// Lines joined with CR LF, as the file holds them.
std::string Crlf(const std::string& lines) {
  std::string out;
  for (char c : lines) {
    if (c == '\n') out += "\r\n";
    else out += c;
  }
  return out;
}

// One layer "Trace" (handle 30, colour 5) with one line (handle 31) from
// (0, 0) to (100, 50): extents with margin [-1.5, 101.5] x [-0.75, 50.75].
void OneLineDrawing(CGraph& g) {
  g.setCurrentLayerByName("Trace");
  g.addEntity(std::make_unique<CLine>(Point3{0, 0, 0}, Point3{100, 50, 0}));
}

const char* const kExpected2000 =
    "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1014\n9\n$INSBASE\n10\n0.0\n20\n0.0\n30\n0.0\n"
    "    9\n$HANDSEED\n  5\n33\n"
    "  9\n$LIMMIN\n 10\n-1.500000\n 20\n-0.750000\n  9\n$LIMMAX\n 10\n101.500000\n 20\n50.750000\n"
    "  9\n$EXTMIN\n 10\n-1.500000\n 20\n-0.750000\n 30\n0.0\n  9\n$EXTMAX\n 10\n101.500000\n 20\n50.750000\n 30\n0.0\n"
    "9\n$ORTHOMODE\n70\n0\n9\n$OSMODE\n70\n5\n9\n$CECOLOR\n62\n256\n9\n$LTSCALE\n40\n1.0\n9\n$CLAYER\n8\nTrace\n"
    "0\nENDSEC\n"
    // CLASSES
    "  0\nSECTION\n  2\nCLASSES\n  0\nCLASS\n  1\nHATCH\n  2\nAcDbHatch\n  3\n\"ACAD_SEDONA\"\n"
    " 90\n        0\n280\n     0\n281\n     1\n  0\nENDSEC\n"
    // TABLES, VPORT
    "0\nSECTION\n2\nTABLES\n"
    "0\nTABLE\n  2\nVPORT\n  5\n8\n100\nAcDbSymbolTable\n70\n  1\n"
    "  0\nVPORT\n  5\n29\n100\nAcDbSymbolTableRecord\n100\nAcDbViewportTableRecord\n  2\n*ACTIVE\n 70\n  0\n"
    " 10\n0.0\n 20\n0.0\n 11\n1.0\n 21\n1.0\n 12\n50.000000\n 22\n25.000000\n 13\n0.000000\n 23\n0.000000\n"
    " 14\n25.000000\n 24\n25.000000\n 15\n25.000000\n 25\n25.000000\n"
    " 16\n0.0\n 26\n0.0\n 36\n1.0\n 17\n0.0\n 27\n0.0\n 37\n0.0\n"
    " 40\n51.500000\n 41\n0.500000\n 42\n50.0\n 43\n0.0\n 44\n0.0\n 50\n0.000000\n 51\n 0\n"
    " 71\n   0\n 72\n 100\n 73\n   1\n 74\n   1\n 75\n  0\n 76\n  0\n 77\n   0\n 78\n   0\n  0\nENDTAB\n"
    // LTYPE
    "0\nTABLE\n2\nLTYPE\n  5\n5\n100\nAcDbSymbolTable\n 70\n     3\n"
    "  0\nLTYPE\n  5\n14\n100\nAcDbSymbolTableRecord\n100\nAcDbLinetypeTableRecord\n  2\nBYBLOCK\n 70\n    0\n"
    "  3\n\n 72\n    65\n 73\n     0\n 40\n0.0\n"
    "  0\nLTYPE\n  5\n15\n100\nAcDbSymbolTableRecord\n100\nAcDbLinetypeTableRecord\n  2\nBYLAYER\n 70\n    0\n"
    "  3\n\n 72\n    65\n 73\n     0\n 40\n0.0\n"
    "0\nLTYPE\n  5\n16\n100\nAcDbSymbolTableRecord\n100\nAcDbLinetypeTableRecord\n2\nCONTINUOUS\n70\n0\n"
    "3\nSolid line\n72\n65\n73\n0\n40\n0.000\n0\nENDTAB\n"
    // LAYER: the default "0" record, then "Trace"
    "0\nTABLE\n2\nLAYER\n  5\n2\n100\nAcDbSymbolTable\n70\n2\n"
    "0\nLAYER\n  5\n2F\n100\nAcDbSymbolTableRecord\n100\nAcDbLayerTableRecord\n2\n0\n70\n0\n62\n7\n6\nCONTINUOUS\n"
    "0\nLAYER\n  5\n30\n100\nAcDbSymbolTableRecord\n100\nAcDbLayerTableRecord\n2\nTrace\n70\n0\n62\n5\n6\nCONTINUOUS\n"
    "0\nENDTAB\n"
    // STYLE, VIEW, UCS, APPID, DIMSTYLE, BLOCK_RECORD
    "  0\nTABLE\n  2\nSTYLE\n  5\n3\n100\nAcDbSymbolTable\n 70\n     0\n  0\nENDTAB\n"
    "  0\nTABLE\n  2\nVIEW\n  5\n6\n100\nAcDbSymbolTable\n 70\n     0\n  0\nENDTAB\n"
    "  0\nTABLE\n  2\nUCS\n  5\n7\n100\nAcDbSymbolTable\n 70\n     0\n  0\nENDTAB\n"
    "  0\nTABLE\n  2\nAPPID\n  5\n9\n100\nAcDbSymbolTable\n 70\n     1\n"
    "  0\nAPPID\n  5\n12\n100\nAcDbSymbolTableRecord\n100\nAcDbRegAppTableRecord\n  2\nACAD\n 70\n     0\n"
    "  0\nENDTAB\n"
    "  0\nTABLE\n  2\nDIMSTYLE\n  5\nA\n100\nAcDbSymbolTable\n 70\n     0\n  0\nENDTAB\n"
    "  0\nTABLE\n  2\nBLOCK_RECORD\n  5\n1\n100\nAcDbSymbolTable\n 70\n     0\n"
    "  0\nBLOCK_RECORD\n  5\n1F\n100\nAcDbSymbolTableRecord\n"
    "100\nAcDbBlockTableRecord\n  2\n*MODEL_SPACE\n"
    "  0\nBLOCK_RECORD\n  5\n1B\n100\nAcDbSymbolTableRecord\n"
    "100\nAcDbBlockTableRecord\n  2\n*PAPER_SPACE\n"
    "  0\nENDTAB\n0\nENDSEC\n"
    // BLOCKS
    "0\nSECTION\n2\nBLOCKS\n"
    "  0\nBLOCK\n  5\n20\n100\nAcDbEntity\n  8\n0\n100\nAcDbBlockBegin\n  2\n*MODEL_SPACE\n 70\n     0\n"
    " 10\n0.0\n 20\n0.0\n 30\n0.0\n  3\n*MODEL_SPACE\n  1\n\n"
    "  0\nENDBLK\n  5\n21\n100\nAcDbEntity\n  8\n0\n100\nAcDbBlockEnd\n"
    "  0\nBLOCK\n  5\n1C\n100\nAcDbEntity\n 67\n     1\n  8\n0\n100\nAcDbBlockBegin\n  2\n*PAPER_SPACE\n"
    " 70\n     0\n 10\n0.0\n 20\n0.0\n 30\n0.0\n  3\n*PAPER_SPACE\n  1\n\n"
    "  0\nENDBLK\n  5\n1D\n100\nAcDbEntity\n 67\n     1\n  8\n0\n100\nAcDbBlockEnd\n"
    "0\nENDSEC\n"
    // ENTITIES
    "0\nSECTION\n2\nENTITIES\n"
    "  0\nLINE\n  5\n31\n  100\nAcDbEntity\n  8\nTrace\n100\nAcDbLine\n"
    "  10\n0.000000\n  20\n0.000000\n  11\n100.000000\n  21\n50.000000\n"
    "0\nENDSEC\n"
    // OBJECTS
    "  0\nSECTION\n  2\nOBJECTS\n"
    "  0\nDICTIONARY\n  5\nC\n100\nAcDbDictionary\n  3\nACAD_GROUP\n350\nD\n  3\nACAD_MLINESTYLE\n350\n17\n"
    "  0\nDICTIONARY\n  5\nD\n102\n{ACAD_REACTORS\n330\nC\n102\n}\n330\nC\n100\nAcDbDictionary\n"
    "  0\nDICTIONARY\n  5\n17\n102\n{ACAD_REACTORS\n330\nC\n102\n}\n330\nC\n100\nAcDbDictionary\n"
    "  0\nENDSEC\n0\nEOF\n";

const char* const kExpectedR10 =
    "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1006\n9\n$INSBASE\n10\n0.0\n20\n0.0\n30\n0.0\n"
    "  9\n$LIMMIN\n 10\n-1.500000\n 20\n-0.750000\n  9\n$LIMMAX\n 10\n101.500000\n 20\n50.750000\n"
    "  9\n$EXTMIN\n 10\n-1.500000\n 20\n-0.750000\n 30\n0.0\n  9\n$EXTMAX\n 10\n101.500000\n 20\n50.750000\n 30\n0.0\n"
    "9\n$ORTHOMODE\n70\n0\n9\n$OSMODE\n70\n5\n9\n$CECOLOR\n62\n256\n9\n$LTSCALE\n40\n1.0\n9\n$CLAYER\n8\nTrace\n"
    "0\nENDSEC\n"
    "0\nSECTION\n2\nTABLES\n"
    "0\nTABLE\n  2\nVPORT\n70\n  1\n  0\nVPORT\n  2\n*ACTIVE\n 70\n  0\n"
    " 10\n0.0\n 20\n0.0\n 11\n1.0\n 21\n1.0\n 12\n50.000000\n 22\n25.000000\n 13\n0.000000\n 23\n0.000000\n"
    " 14\n25.000000\n 24\n25.000000\n 15\n25.000000\n 25\n25.000000\n"
    " 16\n0.0\n 26\n0.0\n 36\n1.0\n 17\n0.0\n 27\n0.0\n 37\n0.0\n"
    " 42\n50.0\n 43\n0.0\n 44\n0.0\n 50\n0.000000\n 51\n 0\n 75\n  0\n 76\n  0\n 40\n51.500000\n 41\n0.500000\n"
    " 71\n   0\n 72\n 100\n 73\n   1\n 74\n   1\n 77\n   0\n 78\n   0\n  0\nENDTAB\n"
    "0\nTABLE\n2\nLTYPE\n70\n1\n0\nLTYPE\n2\nCONTINUOUS\n70\n64\n3\nSolid line\n72\n65\n73\n0\n40\n0.000\n0\nENDTAB\n"
    "0\nTABLE\n2\nLAYER\n70\n2\n0\nLAYER\n2\n0\n70\n64\n62\n7\n6\nCONTINUOUS\n"
    "0\nLAYER\n2\nTrace\n70\n64\n62\n5\n6\nCONTINUOUS\n0\nENDTAB\n"
    "0\nENDSEC\n0\nSECTION\n2\nBLOCKS\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n"
    "  0\nLINE\n  5\n31\n  100\nAcDbEntity\n  8\nTrace\n  10\n0.000000\n  20\n0.000000\n  11\n100.000000\n  21\n50.000000\n"
    "0\nENDSEC\n0\nEOF\n";

TEST(DxfFile, Variant2000MatchesTheFixedTextByteForByte) {
  CGraph g;
  OneLineDrawing(g);
  DxfCollectingWriter out;
  ASSERT_TRUE(WriteDxf2000File(out, g, true));
  EXPECT_EQ(out.Text(), Crlf(kExpected2000));
}

TEST(DxfFile, VariantR10MatchesTheFixedTextByteForByte) {
  CGraph g;
  OneLineDrawing(g);
  DxfCollectingWriter out;
  ASSERT_TRUE(WriteDxfR10File(out, g, true));
  EXPECT_EQ(out.Text(), Crlf(kExpectedR10));
  EXPECT_EQ(g.handleCounter(), 50u) << "R10 has no handle seed and leaves the counter alone";
}

TEST(DxfFile, EveryHandleSeedOfTwoSavesDiffersByOne) {
  CGraph g;
  OneLineDrawing(g);
  auto seedOf = [](const DxfCollectingWriter& out) {
    const auto& l = out.lines();
    for (size_t i = 0; i + 3 < l.size(); ++i) {
      if (l[i + 1] == "$HANDSEED") return std::stoul(l[i + 3], nullptr, 16);
    }
    return 0ul;
  };
  DxfCollectingWriter first, second;
  ASSERT_TRUE(WriteDxf2000File(first, g, true));
  ASSERT_TRUE(WriteDxf2000File(second, g, true));
  EXPECT_EQ(seedOf(second), seedOf(first) + 1);
}

// The LAYER table entries: (count, names in order).
std::pair<std::string, std::vector<std::string>> LayerTable(const DxfCollectingWriter& out) {
  auto tags = out.Tags();
  std::string count;
  std::vector<std::string> names;
  bool inLayerTable = false;
  for (size_t i = 0; i + 1 < tags.size(); ++i) {
    if (tags[i] == std::pair<std::string, std::string>{"2", "LAYER"}) {
      inLayerTable = true;
      for (size_t j = i + 1; j < tags.size() && count.empty(); ++j) {
        if (tags[j].first == "70") count = tags[j].second;
      }
    } else if (inLayerTable && tags[i].first == "0" && tags[i].second == "ENDTAB") {
      break;
    } else if (inLayerTable && tags[i] == std::pair<std::string, std::string>{"0", "LAYER"}) {
      for (size_t j = i + 1; j < tags.size() && tags[j].first != "0"; ++j) {
        if (tags[j].first == "2") names.push_back(tags[j].second);
      }
    }
  }
  return {count, names};
}

TEST(DxfFile, DefaultLayerZeroRecordFollowsTheVariantRules) {
  {
    CGraph g;
    g.setCurrentLayerByName("0");
    g.addEntity(std::make_unique<CLine>(Point3{0, 0, 0}, Point3{1, 1, 0}));
    DxfCollectingWriter a, b;
    ASSERT_TRUE(WriteDxf2000File(a, g, true));
    ASSERT_TRUE(WriteDxfR10File(b, g, true));
    EXPECT_EQ(LayerTable(a), (std::pair<std::string, std::vector<std::string>>{"1", {"0"}}));
    EXPECT_EQ(a.Text().find("2F\r\n"), std::string::npos);
    EXPECT_EQ(LayerTable(b), (std::pair<std::string, std::vector<std::string>>{"2", {"0", "0"}}));
  }
  {
    CGraph g;  // "layer 0" is not "0"; later layers come first in the list
    g.setCurrentLayerByName("layer 0");
    g.setCurrentLayerByName("Second");
    DxfCollectingWriter a;
    ASSERT_TRUE(WriteDxf2000File(a, g, true));
    EXPECT_EQ(LayerTable(a), (std::pair<std::string, std::vector<std::string>>{"3", {"0", "Second", "layer 0"}}));
  }
  {
    CGraph g;  // no layers at all
    DxfCollectingWriter a;
    ASSERT_TRUE(WriteDxf2000File(a, g, true));
    EXPECT_EQ(LayerTable(a).first, "1");
    EXPECT_NE(a.Text().find("$CLAYER\r\n8\r\n0\r\n"), std::string::npos);
  }
}

TEST(DxfFile, HeaderCarriesDrawingAidsColourAndUnit) {
  CGraph g;
  OneLineDrawing(g);
  ASSERT_TRUE(g.raster().create(10, 10, 1));
  ASSERT_TRUE(g.raster().setResolution(3937));  // 100 dpi
  g.unit = model::Unit::Inch;
  g.aids.orthoOn = 1;
  g.aids.osnapOn = 0;
  g.aids.gridOn = 1;
  g.aids.gridAngle = model::kPi / 2;
  g.currentColour = 300;
  DxfCollectingWriter out;
  ASSERT_TRUE(WriteDxf2000File(out, g, true));
  const std::string text = out.Text();
  EXPECT_NE(text.find("$ORTHOMODE\r\n70\r\n1\r\n9\r\n$OSMODE\r\n70\r\n0\r\n9\r\n$CECOLOR\r\n62\r\n256\r\n"),
            std::string::npos);
  EXPECT_NE(text.find(" 50\r\n90.000000\r\n"), std::string::npos);
  EXPECT_NE(text.find(" 75\r\n  1\r\n 76\r\n  1\r\n"), std::string::npos);
  // 100 pixels at 99.9998 pixels per inch: a bit above one inch.
  EXPECT_NE(text.find("  11\r\n1.000002\r\n"), std::string::npos) << text.substr(text.find("AcDbLine"), 120);
}

TEST(DxfFile, StopsAtTheFirstFailedWrite) {
  CGraph g;
  OneLineDrawing(g);
  for (auto write : {&WriteDxf2000File, &WriteDxfR10File}) {
    DxfCollectingWriter whole;
    ASSERT_TRUE(write(whole, g, true, nullptr));
    const size_t n = whole.lines().size();
    for (size_t limit : {size_t{0}, size_t{7}, n / 2, n - 30, n - 1}) {
      DxfCollectingWriter out;
      out.FailAfter(limit);
      EXPECT_FALSE(write(out, g, true, nullptr)) << limit;
      EXPECT_TRUE(out.failed());
      EXPECT_EQ(out.lines().size(), limit);
    }
  }
}

TEST(DxfFile, StreamWriterGivesTheSameBytesAndReportsAFullDisk) {
  CGraph g;
  OneLineDrawing(g);
  DxfCollectingWriter expected;
  ASSERT_TRUE(WriteDxfR10File(expected, g, true));
  std::FILE* memory = std::tmpfile();
  ASSERT_NE(memory, nullptr);
  DxfStreamWriter stream(memory);
  ASSERT_TRUE(WriteDxfR10File(stream, g, true));
  std::fflush(memory);
  std::string bytes(static_cast<size_t>(std::ftell(memory)), '\0');
  std::rewind(memory);
  ASSERT_EQ(std::fread(bytes.data(), 1, bytes.size(), memory), bytes.size());
  std::fclose(memory);
  EXPECT_EQ(bytes, expected.Text());

  if (std::FILE* full = std::fopen("/dev/full", "wb")) {
    DxfStreamWriter out(full);
    EXPECT_FALSE(WriteDxf2000File(out, g, true));
    EXPECT_NE(out.error().find("write failed"), std::string::npos) << out.error();
    std::fclose(full);
  }
}

// Two layers of polylines (widths, bulges, some closed), circles and lines,
// enough for several blocks of the entities formatted on a second thread and
// a last block cut short. A NaN at entity `broken` (none past the end).
void ManyEntityDrawing(CGraph& g, size_t count, size_t broken = SIZE_MAX) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> at(0.0, 5000.0);
  for (size_t i = 0; i < count; ++i) {
    g.setCurrentLayerByName(i < count / 3 ? "Trace" : "Other");
    const double x = i == broken ? std::nan("") : at(random);
    switch (i % 3) {
      case 0: {
        auto p = std::make_unique<model::CPolyLine>();
        for (size_t k = 0; k < 2 + i % 5; ++k) p->appendVertex(x + 3.0 * static_cast<double>(k), at(random), 0.5 * static_cast<double>(i % 4), k % 2 ? 0.25 : 0.0);
        if (i % 7 == 0) p->setClosed(true);
        g.addEntity(std::move(p));
        break;
      }
      case 1: g.addEntity(std::make_unique<model::CCircle>(Point3{x, at(random), 0}, 1.0 + at(random) / 100.0)); break;
      default: g.addEntity(std::make_unique<CLine>(Point3{x, at(random), 0}, Point3{at(random), at(random), 0}));
    }
  }
}

// The file through a stream, as a save writes it.
std::string StreamBytes(bool (*write)(DxfWriter&, CGraph&, bool, SaveProgress*), CGraph& g, std::string* error) {
  std::FILE* memory = std::tmpfile();
  if (memory == nullptr) return {};
  DxfStreamWriter stream(memory);
  if (!write(stream, g, true, nullptr)) *error = stream.error();
  stream.Flush();
  std::fflush(memory);
  std::string bytes(static_cast<size_t>(std::ftell(memory)), '\0');
  std::rewind(memory);
  if (std::fread(bytes.data(), 1, bytes.size(), memory) != bytes.size()) bytes.clear();
  std::fclose(memory);
  return bytes;
}

struct FormatAheadFrom {
  explicit FormatAheadFrom(size_t entities) { SetDxfFormatAheadFrom(entities); }
  ~FormatAheadFrom() { SetDxfFormatAheadFrom(kDefaultFormatAheadFrom); }
};

TEST(DxfFile, EntitiesFormattedAheadGiveTheSameFile) {
  // Every case: fine, a NaN in a block this thread writes, one in a block
  // formatted ahead, one in the last block.
  for (size_t broken : {SIZE_MAX, size_t{100}, size_t{5000}, size_t{12300}}) {
    CGraph g;
    ManyEntityDrawing(g, 12345, broken);
    // Each write of the 2000 variant moves the handle seed on: every write starts from the same one.
    const auto seed = g.handleCounter();
    for (auto write : {&WriteDxf2000File, &WriteDxfR10File}) {
      DxfCollectingWriter plain, ahead;
      std::string plainStream, aheadStream, plainError, aheadError;
      bool plainOk = false, aheadOk = false;
      {
        const FormatAheadFrom off(0);
        g.setHandleCounter(seed);
        plainOk = write(plain, g, true, nullptr);
        g.setHandleCounter(seed);
        plainStream = StreamBytes(write, g, &plainError);
      }
      {
        const FormatAheadFrom on(1);
        g.setHandleCounter(seed);
        aheadOk = write(ahead, g, true, nullptr);
        g.setHandleCounter(seed);
        aheadStream = StreamBytes(write, g, &aheadError);
      }
      EXPECT_EQ(plainOk, broken == SIZE_MAX) << broken;
      EXPECT_EQ(aheadOk, plainOk) << broken;
      EXPECT_EQ(ahead.error(), plain.error()) << broken;
      EXPECT_EQ(aheadError, plainError) << broken;
      EXPECT_TRUE(ahead.lines() == plain.lines()) << broken;
      // A failed file is thrown away; only how much of it reached the stream differs.
      if (plainOk) {
        EXPECT_TRUE(aheadStream == plainStream);
        EXPECT_GT(plainStream.size(), 1000000u);
      }
    }
  }
}

TEST(DxfFile, EntitiesFormattedAheadStopOnCancelAndOnAFullDisk) {
  CGraph g;
  ManyEntityDrawing(g, 12345);
  const FormatAheadFrom on(1);
  // Cancelled while a block formatted ahead is passed on.
  platform::CancelFlag cancel;
  SaveProgress progress([&](std::string_view, int percent) { if (percent >= 50) cancel.request(); }, "save", 12345, &cancel);
  DxfCollectingWriter out;
  EXPECT_FALSE(WriteDxf2000File(out, g, true, &progress));
  EXPECT_EQ(out.error(), "cancelled");
  EXPECT_LT(progress.written(), 12345);

  if (std::FILE* full = std::fopen("/dev/full", "wb")) {
    DxfStreamWriter stream(full);
    EXPECT_FALSE(WriteDxfR10File(stream, g, true));
    EXPECT_NE(stream.error().find("write failed"), std::string::npos) << stream.error();
    std::fclose(full);
  }
}

TEST(DxfWriter, NumbersUseThePointAndTheFormatsOfTheFile) {
  EXPECT_EQ(DxfWriter::FormatReal(12.5), "12.500000");
  EXPECT_EQ(DxfWriter::FormatReal(-0.25), "-0.250000");
  EXPECT_EQ(DxfWriter::FormatReal(1e-9), "0.000000");
  DxfCollectingWriter out;
  ASSERT_TRUE(out.Hex("  5", 48) && out.Hex("  5", 0x2F) && out.IntPadded("  90", 3) && out.RealPadded("  43", 2));
  EXPECT_EQ(out.Text(), "  5\r\n30\r\n  5\r\n2F\r\n  90\r\n  3\r\n  43\r\n  2.000000\r\n");
}

// Coordinates, widths and bulges take an integer path to their text; it
// must give the bytes of the general conversion ("%f" in the C locale) for
// every value, ties between two millionths and the edges of its range
// included.
TEST(DxfWriter, NumbersGiveTheTextOfTheGeneralConversion) {
  std::mt19937_64 random(20);
  const auto general = [](double value) {
    char text[400];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
    return std::string(text, end);
  };
  std::vector<double> values = {0.0, -0.0, 5e-7, -5e-7, 1.5e-6, 2.5e-6, 0.5, 2.5, 1e-300, -4.9406564584124654e-324,
                                8796093022207.75, 8796093022208.0, -8796093022208.0, 1e20, 123456.0000005};
  for (int i = 0; i < 200000; ++i) {
    const uint64_t r = random();
    switch (i % 5) {
      case 0:  // any bit pattern that is a number
        values.push_back(std::bit_cast<double>(r));
        break;
      case 1:  // drawing coordinates
        values.push_back(static_cast<double>(r % 40000000000ull) / 1e6 - 20000.0);
        break;
      case 2:  // a multiple of 2^-7 .. 2^-26: many lie exactly halfway between two millionths
        values.push_back(std::ldexp(static_cast<double>(r % (1ull << 30)), -7 - static_cast<int>(r >> 59)));
        break;
      case 3:  // every binary exponent of the integer path and beyond
        values.push_back(std::ldexp(static_cast<double>(r >> 11), static_cast<int>(r % 140) - 100));
        break;
      default:  // the neighbours of a round decimal
        values.push_back(std::nextafter(static_cast<double>(r % 100000) / 1000.0, (r & 1) ? 1e9 : -1e9));
    }
  }
  int checked = 0;
  for (const double value : values) {
    if (!std::isfinite(value)) continue;
    ++checked;
    ASSERT_EQ(DxfWriter::FormatReal(value), general(value)) << std::hexfloat << value;
    ASSERT_EQ(DxfWriter::FormatReal(-value), general(-value)) << std::hexfloat << -value;
  }
  EXPECT_GT(checked, 190000);
  char text[64];
  std::snprintf(text, sizeof text, "%f", 0.0078125);  // halfway: rounds to the even millionth
  EXPECT_EQ(DxfWriter::FormatReal(0.0078125), text);
  EXPECT_EQ(DxfWriter::FormatReal(0.0078125), "0.007812");
}

TEST(DxfWriter, RefusesValuesThatWouldCorruptTheFile) {
  DxfCollectingWriter out;
  EXPECT_FALSE(out.Real(" 10", std::numeric_limits<double>::quiet_NaN()));
  EXPECT_TRUE(out.failed());
  EXPECT_FALSE(out.Group("0", "EOF")) << "failure is sticky";
  EXPECT_TRUE(out.lines().empty());
  DxfCollectingWriter names;
  EXPECT_FALSE(names.Name("8", "two\nlines"));
  EXPECT_TRUE(names.lines().empty());
}

}  // namespace
}  // namespace quillon::formats
