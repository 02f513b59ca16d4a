// Whatever the DXF writer produces reads back as the drawing it came from:
// both variants, with and without widths, every entity kind, the layers in
// their order with their colours, and the drawing aids of the header.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "formats/dxf/dxf_file.h"
#include "formats/dxf/dxf_writer.h"
#include "formats/dxf_reader/dxf_reader.h"
#include "model/arc.h"
#include "model/circle.h"
#include "model/graph.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"

namespace quillon::formats {
namespace {

using namespace quillon::model;

// Values written with six decimals come back within this.
constexpr double kCoord = 1e-6;
// Arcs written as bulge polylines come back through the bulge (six decimals
// too), which moves the centre by about radius × 1e-6.
constexpr double kBulgeArc = 1e-4;

enum class Variant { V2000, R10 };

template <typename T>
T* Add(CGraph& g, std::unique_ptr<T> e, settings::ColorIndex colour = settings::kColorByLayer, double width = 0.0) {
  e->setColour(colour);
  if (width > 0.0) e->setWidth(width);
  return static_cast<T*>(g.addEntity(std::move(e)));
}

// Three layers (created so that the list reads Ink, Fill, Thin), every kind
// of entity, widths both below and above the thresholds of the writer.
void BuildDrawing(CGraph& g) {
  g.setCurrentLayerByName("Thin")->setColour(1);
  g.setCurrentLayerByName("Fill")->setColour(3);
  g.setCurrentLayerByName("Ink")->setColour(5);

  g.setCurrentLayerByName("Ink");
  Add(g, std::make_unique<CLine>(Point3{1.25, 2.5, 0}, Point3{-30.125, 40.0, 0}));
  Add(g, std::make_unique<CLine>(Point3{0, 0, 0}, Point3{7, 7, 0}), 7);
  auto open = std::make_unique<CPolyLine>();
  open->appendVertex(0, 0, 2.5, 0.0);
  open->appendVertex(10, 0, 2.5, 0.5);
  open->appendVertex(20, 10, 2.5, -0.25);
  open->appendVertex(30, 10, 2.5, 0.0);
  Add(g, std::move(open), 2);
  auto closed = std::make_unique<CPolyLine>();
  closed->appendVertex(100, 100, 0.0, 0.0);
  closed->appendVertex(150, 100, 0.0, 0.0);
  closed->appendVertex(150, 140, 0.0, 0.0);
  closed->setClosed(true);
  Add(g, std::move(closed));
  Add(g, std::make_unique<CCircle>(Point3{50, 60, 0}, 12.5), 4, 3.0);
  Add(g, std::make_unique<CCircle>(Point3{-5, 5, 0}, 2.0));
  Add(g, std::make_unique<CArc>(Point3{10, 20, 0}, 8.0, 0.3, 2.1), 6, 1.5);
  Add(g, std::make_unique<CArc>(Point3{-10, 20, 0}, 4.0, 5.5, 1.0), settings::kColorByLayer, 0.005);
  Add(g, std::make_unique<CArc>(Point3{0, -20, 0}, 6.0, 1.0, 5.0), 256, 2.0);  // sweep above π

  g.setCurrentLayerByName("Fill");
  Add(g, CSolid::fromThreePoints(Point3{0, 0, 0}, Point3{10, 0, 0}, Point3{5, 8, 0}), 1);
  auto quad = std::make_unique<CSolid>();
  for (const Point3& p : {Point3{20, 0, 0}, Point3{30, 0, 0}, Point3{30, 10, 0}, Point3{20, 10, 0}}) quad->addPoint(p);
  Add(g, std::move(quad));
  auto region = std::make_unique<CPolyPolygon>();
  auto outer = std::make_unique<CPolyLine>();
  for (const auto& [x, y] : {std::pair{0.0, 0.0}, {100.0, 0.0}, {100.0, 80.0}, {0.0, 80.0}}) outer->appendVertex(x, y);
  outer->setClosed(true);
  auto hole = std::make_unique<CPolyLine>();
  hole->appendVertex(20, 20, 0.0, 1.0);
  hole->appendVertex(40, 20, 0.0, 1.0);
  hole->setClosed(true);
  region->appendOutline(std::move(outer));
  region->appendOutline(std::move(hole));
  region->seedX = 10.5;
  region->seedY = 70.25;
  Add(g, std::move(region), 9);

  g.setCurrentLayerByName("Thin");
  Add(g, std::make_unique<CLine>(Point3{3, 3, 0}, Point3{4, 4, 0}), 200);

  g.currentColour = 12;
  g.aids.orthoOn = 1;
  g.aids.osnapModes = 37;
  g.aids.osnapOn = 1;
  g.aids.gridOn = 1;
  g.aids.gridOrigin = Point3{2.5, -1.5, 0};
  g.aids.gridSpacingX = 10.0;
  g.aids.gridSpacingY = 12.5;
  g.aids.gridAngle = 0.5;
  g.setCurrentLayerByName("Fill");
}

std::string Write(CGraph& g, Variant variant, bool saveWidth) {
  Box box;
  (void)g.getDrawingExtents(box, true, false);  // what the save job does before a writer runs
  DxfCollectingWriter out;
  const bool ok = variant == Variant::V2000 ? WriteDxf2000File(out, g, saveWidth) : WriteDxfR10File(out, g, saveWidth);
  EXPECT_TRUE(ok) << out.error();
  return out.Text();
}

void ExpectPoint(const Point3& a, const Point3& b, double tolerance, const std::string& what) {
  EXPECT_NEAR(a.x, b.x, tolerance) << what;
  EXPECT_NEAR(a.y, b.y, tolerance) << what;
}

// What the writer keeps of an entity, compared with what was read.
void ExpectSameEntity(const CEntity& original, const CEntity& read, Variant variant, bool saveWidth) {
  const std::string what = "entity " + std::to_string(original.handle());
  ASSERT_EQ(static_cast<int>(original.type()), static_cast<int>(read.type())) << what;
  EXPECT_EQ(original.colour(), read.colour()) << what;
  switch (original.type()) {
    case EntityType::Line: {
      const auto& a = static_cast<const CLine&>(original);
      const auto& b = static_cast<const CLine&>(read);
      ExpectPoint(a.getStartPoint(), b.getStartPoint(), kCoord, what);
      ExpectPoint(a.getEndPoint(), b.getEndPoint(), kCoord, what);
      break;
    }
    case EntityType::PolyLine: {
      const auto& a = static_cast<const CPolyLine&>(original);
      const auto& b = static_cast<const CPolyLine&>(read);
      EXPECT_EQ(a.isClosed(), b.isClosed()) << what;
      ASSERT_EQ(a.vertices().size(), b.vertices().size()) << what;
      for (size_t i = 0; i < a.vertices().size(); ++i) {
        const PolyVertex &va = a.vertices()[i], &vb = b.vertices()[i];
        ExpectPoint(va.point(), vb.point(), kCoord, what);
        EXPECT_NEAR(va.bulge, vb.bulge, kCoord) << what;
        const double width = saveWidth ? va.startWidth : 0.0;
        EXPECT_NEAR(vb.startWidth, width, kCoord) << what;
        EXPECT_NEAR(vb.endWidth, width, kCoord) << what;
      }
      break;
    }
    case EntityType::Circle: {
      const auto& a = static_cast<const CCircle&>(original);
      const auto& b = static_cast<const CCircle&>(read);
      ExpectPoint(a.centre(), b.centre(), kCoord, what);
      EXPECT_NEAR(a.radius(), b.radius(), kCoord) << what;
      EXPECT_NEAR(b.width(), saveWidth ? a.width() : 0.0, kCoord) << what;
      break;
    }
    case EntityType::Arc: {
      const auto& a = static_cast<const CArc&>(original);
      const auto& b = static_cast<const CArc&>(read);
      const bool asPolyline = saveWidth && (variant == Variant::V2000 ? a.width() >= 0.01 : a.width() > 0.0);
      const double tolerance = asPolyline ? kBulgeArc : kCoord;
      ExpectPoint(a.getStartPoint(), b.getStartPoint(), kCoord, what);
      ExpectPoint(a.getEndPoint(), b.getEndPoint(), kCoord, what);
      ExpectPoint(a.centre(), b.centre(), tolerance, what);
      EXPECT_NEAR(a.radius(), b.radius(), tolerance) << what;
      EXPECT_NEAR(a.startAngle(), b.startAngle(), tolerance) << what;
      EXPECT_NEAR(a.endAngle(), b.endAngle(), tolerance) << what;
      EXPECT_NEAR(b.width(), asPolyline ? a.width() : 0.0, kCoord) << what;
      break;
    }
    case EntityType::Solid: {
      const auto& a = static_cast<const CSolid&>(original).points();
      const auto& b = static_cast<const CSolid&>(read).points();
      ASSERT_EQ(a.size(), b.size()) << what;
      for (size_t i = 0; i < a.size(); ++i) ExpectPoint(a[i], b[i], kCoord, what);
      break;
    }
    case EntityType::PolyPolygon: {
      const auto& a = static_cast<const CPolyPolygon&>(original);
      const auto& b = static_cast<const CPolyPolygon&>(read);
      ASSERT_EQ(a.outlineCount(), b.outlineCount()) << what;
      for (size_t k = 0; k < a.outlineCount(); ++k) {
        const auto &oa = a.outline(k)->vertices(), &ob = b.outline(k)->vertices();
        ASSERT_EQ(oa.size(), ob.size()) << what;
        for (size_t i = 0; i < oa.size(); ++i) {
          ExpectPoint(oa[i].point(), ob[i].point(), kCoord, what);
          EXPECT_NEAR(oa[i].bulge, ob[i].bulge, kCoord) << what;
        }
        EXPECT_TRUE(b.outline(k)->isClosed());
      }
      EXPECT_NEAR(a.seedX, b.seedX, kCoord);
      EXPECT_NEAR(a.seedY, b.seedY, kCoord);
      break;
    }
  }
}

void ExpectRoundTrip(Variant variant, bool saveWidth) {
  CGraph original;
  BuildDrawing(original);
  const std::string text = Write(original, variant, saveWidth);
  CGraph read;
  DxfReadReport report;
  ASSERT_TRUE(ReadDxfText(text, read, &report)) << report.stopReason;
  EXPECT_EQ(report.entitiesDropped, 0);
  EXPECT_TRUE(report.skipped.empty());

  // The writer always declares layer "0" (first); the other layers follow in
  // the original order.
  std::vector<std::string> names;
  for (const auto& layer : read.layers()) names.push_back(layer->name());
  ASSERT_EQ(names, (std::vector<std::string>{"0", "Ink", "Fill", "Thin"}));
  EXPECT_TRUE(read.layers().front()->empty());

  for (const auto& layer : original.layers()) {
    const CLayer* back = read.findLayer(layer->name());
    ASSERT_NE(back, nullptr) << layer->name();
    EXPECT_EQ(back->colour(), layer->colour()) << layer->name();
    std::vector<const CEntity*> expected;
    for (const auto& e : *layer) {
      // R10 has no filled areas: the writer leaves polypolygons out.
      if (variant == Variant::R10 && e->type() == EntityType::PolyPolygon) continue;
      expected.push_back(e.get());
    }
    ASSERT_EQ(back->count(), expected.size()) << layer->name();
    auto it = back->begin();
    for (const CEntity* e : expected) ExpectSameEntity(*e, **it++, variant, saveWidth);
  }

  ASSERT_NE(read.currentLayer(), nullptr);
  EXPECT_EQ(read.currentLayer()->name(), "Fill");
  EXPECT_EQ(read.currentColour, 12);
  EXPECT_EQ(read.aids.orthoOn, 1);
  EXPECT_EQ(read.aids.osnapModes, 37);
  EXPECT_EQ(read.aids.osnapOn, 1);
  EXPECT_EQ(read.aids.gridOn, 1);
  EXPECT_NEAR(read.aids.gridOrigin.x, 2.5, kCoord);
  EXPECT_NEAR(read.aids.gridOrigin.y, -1.5, kCoord);
  EXPECT_NEAR(read.aids.gridSpacingX, 10.0, kCoord);
  EXPECT_NEAR(read.aids.gridSpacingY, 12.5, kCoord);
  EXPECT_NEAR(read.aids.gridAngle, 0.5, kCoord);
  EXPECT_FALSE(read.modified());
}

TEST(DxfReaderRoundTrip, Variant2000WithWidths) { ExpectRoundTrip(Variant::V2000, true); }
TEST(DxfReaderRoundTrip, Variant2000WithoutWidths) { ExpectRoundTrip(Variant::V2000, false); }
TEST(DxfReaderRoundTrip, VariantR10WithWidths) { ExpectRoundTrip(Variant::R10, true); }
TEST(DxfReaderRoundTrip, VariantR10WithoutWidths) { ExpectRoundTrip(Variant::R10, false); }

// A drawing whose own layer is named "0": R10 lists it twice, and both
// variants read back one layer "0" with the drawing's colour.
TEST(DxfReaderRoundTrip, LayerZeroOfTheDrawingIsNotDoubled) {
  for (Variant variant : {Variant::V2000, Variant::R10}) {
    CGraph original;
    original.setCurrentLayerByName("0")->setColour(3);
    original.addEntity(std::make_unique<CLine>(Point3{0, 0, 0}, Point3{1, 1, 0}));
    CGraph read;
    ASSERT_TRUE(ReadDxfText(Write(original, variant, true), read));
    ASSERT_EQ(read.layers().size(), 1u);
    EXPECT_EQ(read.layers().front()->colour(), 3);
    EXPECT_EQ(read.layers().front()->count(), 1u);
  }
}

// The text without its handle groups (a read takes fresh handles).
std::string WithoutHandles(const std::string& text) {
  std::string out;
  size_t pos = 0;
  bool skipValue = false;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos + 1);
    if (skipValue) skipValue = false;
    else if (line == "  5\r\n") skipValue = true;
    else out += line;
    pos = end + 1;
  }
  return out;
}

// Reading the written file twice over gives the same file again.
TEST(DxfReaderRoundTrip, WritingWhatWasReadReproducesTheFile) {
  CGraph original;
  BuildDrawing(original);
  const std::string first = Write(original, Variant::R10, true);
  CGraph read;
  ASSERT_TRUE(ReadDxfText(first, read));
  CGraph again;
  const std::string second = Write(read, Variant::R10, true);
  ASSERT_TRUE(ReadDxfText(second, again));
  EXPECT_EQ(WithoutHandles(Write(again, Variant::R10, true)), WithoutHandles(second));
}

}  // namespace
}  // namespace quillon::formats
