// The PDF object library and the page: object forms, the cross-reference
// offsets, the compressed content, page size and mapping, operators.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <string>

#include "formats/pdf/pdf_content.h"
#include "formats/pdf/pdf_file.h"
#include "formats/pdf/pdf_objects.h"
#include "formats/pdf/pdf_writer.h"
#include "render_sample.h"

namespace quillon::formats {
namespace {

using model::CGraph;
using model::CLine;
using model::Point3;
using test::V;

std::string Written(const PdfObject& object) {
  std::string out;
  object.Write(out);
  return out;
}

// The decompressed content stream of a file written by PdfDocument.
std::string Content(const std::string& file) {
  const size_t begin = file.find("stream\n") + 7;
  const size_t end = file.find("\nendstream");
  std::string out(1 << 20, '\0');
  uLongf size = out.size();
  if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(file.data() + begin),
                 end - begin) != Z_OK) {
    return "<not a zlib stream>";
  }
  out.resize(size);
  return out;
}

std::string OneLinePdf(const DestinationSize& destination) {
  CGraph g;
  test::AddTo(g, std::make_unique<CLine>(Point3{0, 0, 0}, Point3{100, 50, 0}));
  std::string file;
  EXPECT_TRUE(WritePdfFile(file, g, false, destination, 0).ok());
  return file;
}

TEST(PdfObjects, WrittenForms) {
  EXPECT_EQ(Written(PdfInteger(42, 5)), "00042");
  EXPECT_EQ(Written(PdfInteger(-7)), "-7");
  EXPECT_EQ(Written(PdfName("Type")), "/Type");
  EXPECT_EQ(Written(PdfString("a(b)c\\")), "(a\\(b\\)c\\\\)");
  PdfArray array;
  array.Add(std::make_unique<PdfInteger>(1));
  array.Add(nullptr);
  EXPECT_EQ(Written(array), "[1 null]");
  PdfDictionary dict;
  dict.Set("A", std::make_unique<PdfInteger>(1));
  dict.Set("B", std::make_unique<PdfName>("X"));
  dict.Set("A", std::make_unique<PdfInteger>(2));  // replaced in place
  EXPECT_EQ(Written(dict), "<</A 2\n/B /X>>");
}

TEST(PdfDocument, CrossReferenceOffsetsPointAtTheirObjects) {
  const std::string file = OneLinePdf(DestinationSize{});
  ASSERT_EQ(file.rfind("%PDF-1.2\n", 0), 0u);
  const size_t xref = file.find("\nxref\n") + 1;
  ASSERT_NE(xref, 0u);
  const size_t startxref = file.find("startxref\n");
  EXPECT_EQ(std::stol(file.substr(startxref + 10)), static_cast<long>(xref));
  ASSERT_EQ(file.compare(xref, 9, "xref\n0 9\n"), 0);
  EXPECT_EQ(file.compare(xref + 9, 20, "0000000000 65535 f \n"), 0);
  for (int number = 1; number <= 8; ++number) {
    const std::string entry = file.substr(xref + 9 + 20 * number, 20);
    ASSERT_EQ(entry.substr(10), " 00000 n \n") << number;
    const long offset = std::stol(entry.substr(0, 10));
    EXPECT_EQ(file.compare(offset, 8, std::to_string(number) + " 0 obj\n"), 0) << number;
  }
  EXPECT_NE(file.find("trailer\n<</Size 9\n/Root 1 0 R\n/Info 5 0 R>>\nstartxref\n"), std::string::npos);
  EXPECT_TRUE(file.ends_with("\n%%EOF\n"));
  // Object order 1, 2, 3, 6, 7, 8, 4, 5.
  EXPECT_LT(file.find("3 0 obj"), file.find("6 0 obj"));
  EXPECT_LT(file.find("8 0 obj"), file.find("4 0 obj"));
  EXPECT_NE(file.find("1 0 obj\n<</Type /Catalog\n/Pages 3 0 R\n/Outlines 2 0 R>>\nendobj\n"), std::string::npos);
  EXPECT_NE(file.find("6 0 obj\n<</Type /Page\n/Parent 3 0 R\n/Resources <</ProcSet 4 0 R>>\n"
                      "/MediaBox [0 0 640 480]\n/Contents [7 0 R]>>\nendobj\n"),
            std::string::npos);
  EXPECT_NE(file.find("7 0 obj\n<</Filter [/FlateDecode]\n/Length 8 0 R>>\nstream\n"), std::string::npos);
  const size_t streamStart = file.find("stream\n") + 7;
  const size_t streamEnd = file.find("\nendstream");
  EXPECT_NE(file.find("8 0 obj\n" + std::to_string(streamEnd - streamStart) + "\nendobj\n"), std::string::npos);
  EXPECT_NE(file.find("4 0 obj\n[/PDF /Text]\nendobj\n"), std::string::npos);
}

TEST(PdfDocument, PageSizeInPointsWithAFloor) {
  EXPECT_NE(OneLinePdf({11.0, 8.5, kUnitInch}).find("/MediaBox [0 0 792 612]"), std::string::npos);
  EXPECT_NE(OneLinePdf({0.5, 0.5, kUnitInch}).find("/MediaBox [0 0 50 50]"), std::string::npos);
  CGraph g;
  test::AddTo(g, std::make_unique<CLine>(Point3{0, 0, 0}, Point3{100, 50, 0}));
  std::string file;
  EXPECT_FALSE(WritePdfFile(file, g, false, {0.0, 5.0, kUnitInch}, 0).ok());
  EXPECT_FALSE(WritePdfFile(file, g, false, {-3.0, 5.0, kUnitInch}, 0).ok());
  CGraph empty;
  EXPECT_FALSE(WritePdfFile(file, empty, false, DestinationSize{}, 0).ok());
}

TEST(PdfPage, WideDrawingTouchesTheSideMarginsAndSitsOnTheBottom) {
  // World [-1.5, 101.5] x [-0.75, 50.75] into 610 x 450: scale 610/103.
  const std::string content = Content(OneLinePdf(DestinationSize{}));
  const double scale = 610.0 / 103.0;
  auto num = [](double v) {
    std::string t = FormatFixed(v, 2);
    while (t.back() == '0') t.pop_back();
    if (t.back() == '.') t.pop_back();
    return t;
  };
  const std::string expected = num(15 + 1.5 * scale) + " " + num(15 + 0.75 * scale) + " m " +
                               num(15 + 101.5 * scale) + " " + num(15 + 50.75 * scale) + " l S ";
  // The extents' right edge lands on the right margin.
  EXPECT_EQ(num(15 + 103 * scale), "625");
  // The width 0 is written once, before everything else.
  EXPECT_EQ(content.rfind("0 w ", 0), 0u) << content;
  EXPECT_NE(content.find(expected), std::string::npos) << content << "\n" << expected;
}

TEST(PdfContent, NumbersAreTrimmedAndStateIsNotRepeated) {
  PdfContentStream stream;
  stream.SetStrokeGray(0.0);
  stream.SetStrokeGray(0.0004);  // within the tolerance: not written again
  stream.SetStrokeRGB(1.0, 128 / 255.0, 0.0);
  stream.SetLineWidth(0.0);
  stream.SetLineWidth(0.0);
  stream.MoveTo(12.5, 3.0);
  stream.LineTo(-0.001, 7.126);
  EXPECT_EQ(stream.content(), "0 G 1 0.502 0 RG 0 w 12.5 3 m 0 7.13 l ");
}

TEST(PdfContent, ArcsSplitIntoPiecesOfAtMostNinetyDegrees) {
  auto count = [](const std::string& s) {
    size_t n = 0;
    for (size_t at = s.find(" c "); at != std::string::npos; at = s.find(" c ", at + 1)) ++n;
    return n;
  };
  PdfContentStream wide;
  wide.Arc(0, 0, 100, 0, 200, true);
  EXPECT_EQ(count(wide.content()), 3u);
  EXPECT_EQ(wide.content().rfind("100 0 m ", 0), 0u) << wide.content();
  // The last piece ends on the circle at 200°.
  EXPECT_TRUE(wide.content().ends_with("-93.97 -34.2 c ")) << wide.content();
  PdfContentStream quarter;
  quarter.Arc(0, 0, 100, 0, 90, false);
  EXPECT_EQ(count(quarter.content()), 1u);
  EXPECT_EQ(quarter.content().rfind("100 0 l ", 0), 0u);
  EXPECT_TRUE(quarter.content().ends_with(" 0 100 c ")) << quarter.content();
}

TEST(PdfCreationDate, CarriesTheZoneOffset) {
  setenv("TZ", "UTC+5", 1);  // five hours west of Greenwich
  tzset();
  EXPECT_EQ(PdfCreationDate(0), "D:19691231190000-05'00'");
  setenv("TZ", "UTC-5:30", 1);
  tzset();
  EXPECT_EQ(PdfCreationDate(0), "D:19700101053000+05'30'");
  unsetenv("TZ");
  tzset();
}

TEST(PdfPage, PolylineWidthChangeStartsANewStroke) {
  PdfWriter writer(1.0, true);
  ASSERT_TRUE(writer.Begin({0, 610, 0, 450}, 640, 480, kUnitPixel).ok());
  writer.Polyline({V(0, 0, 2), V(10, 0, 2), V(20, 0, 5), V(30, 0, 5)}, false, {255, 0, 0});
  EXPECT_EQ(writer.content().content(),
            "0 w 1 0 0 RG 2 w 15 15 m 25 15 l 35 15 l S 5 w 35 15 m 45 15 l S ");
}

}  // namespace
}  // namespace quillon::formats
