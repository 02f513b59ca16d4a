#include "model/entity_info.h"

#include <cmath>
#include <string>
#include <vector>

#include "model/arc.h"
#include "model/circle.h"
#include "model/graph.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/solid.h"
#include "settings/color.h"
#include "settings/language_table.h"
#include "settings/number_text.h"

namespace quillon::model {

using settings::Text;

DisplayUnit DisplayUnit::of(CGraph* drawing) {
  DisplayUnit unit;
  if (drawing == nullptr) return unit;
  unit.pixelsPerUnit = drawing->pixelsPerUnit();
  double x = 0.0, y = 0.0;
  drawing->toUnit(x, y, &unit.name);
  return unit;
}

DisplayUnit DisplayUnit::of(const CEntity& entity) {
  return of(entity.layer() != nullptr ? entity.layer()->graph() : nullptr);
}

std::string infoNumber(double value) { return settings::FormatNumber(value, 3); }

std::string gridNumber(double value) { return settings::FormatNumber(value, 6); }

double toDegrees(double radians) { return radians * 180.0 / kPi; }

bool sameText(std::string_view a, std::string_view b) { return CLayer::sameName(a, b); }

namespace {

constexpr const char* kIndent = "    ";
constexpr const char* kDeepIndent = "      ";

// " X=1.000  Y=2.000" after `lead` blanks, in the unit.
std::string coordinates(const DisplayUnit& unit, const char* lead, double x, double y) {
  return std::string(lead) + "X=" + infoNumber(unit.toUnit(x)) + "  Y=" + infoNumber(unit.toUnit(y));
}

void typeLine(std::vector<std::string>& lines, std::string_view key, std::string_view def) {
  lines.push_back("  " + Text(key, def));
}

// The lines of a polyline after its base lines (also those of each outline
// of a polypolygon).
void polylineLines(const CPolyLine& polyline, const DisplayUnit& unit, std::vector<std::string>& lines) {
  const std::string suffix = unit.suffix();
  lines.push_back(kIndent + (polyline.isClosed() ? Text("PolyLineClosed", "Closed") : Text("PolyLineOpen", "Open")));
  const auto& v = polyline.vertices();
  const std::size_t n = v.size();
  lines.push_back(kIndent + Text("PolylineVertexCount", "Vertex Count:") + " " + std::to_string(n));
  for (std::size_t i = 0; i < n; ++i) {
    lines.push_back(kIndent + Text("PolylinePoint", "At Point:") + coordinates(unit, "  ", v[i].x, v[i].y) + " " +
                    suffix);
    lines.push_back(kIndent + Text("PolylineWidth", "Width") + "=" + infoNumber(unit.toUnit(v[i].startWidth)) + suffix);
    const bool startsSegment = i + 1 < n || (polyline.isClosed() && n >= 2);
    if (!startsSegment) continue;
    const auto arc = bulgeToArc(v[i].point(), v[(i + 1) % n].point(), v[i].bulge);
    if (!arc) continue;
    lines.push_back(kDeepIndent + Text("PolylineBulg", "Bulg=") + settings::FormatNumber(v[i].bulge, 6));
    lines.push_back(kDeepIndent + Text("PolylineCenter", "Center") + " X=" + infoNumber(unit.toUnit(arc->centre.x)) +
                    ", Y=" + infoNumber(unit.toUnit(arc->centre.y)) + " " + suffix);
    lines.push_back(kDeepIndent + Text("PolylineRadius", " Radius=") + infoNumber(unit.toUnit(arc->radius)) + suffix);
  }
  lines.push_back(kIndent + Text("PolylineLength", "Length:") + " " + infoNumber(unit.toUnit(polyline.getLength())) +
                  suffix);
  lines.push_back(std::string());
}

}  // namespace

void CEntity::getInfoText(std::vector<std::string>& lines) const {
  lines.push_back(kIndent + Text("EntityLayer", "Layer") + ": " + (layer_ != nullptr ? layer_->name() : std::string()));
  std::string colour = kIndent + Text("EntityColor", "Color") + ": ";
  if (colour_ <= 0 || colour_ >= settings::kColorByLayer) {
    colour += Text("EntityColorByLayer", "ByLayer");
    if (layer_ != nullptr) colour += " (" + settings::ColorName(layer_->colour()) + ")";
  } else {
    colour += settings::ColorName(colour_);
  }
  lines.push_back(colour);
}

void CLine::getInfoText(std::vector<std::string>& lines) const {
  const DisplayUnit unit = DisplayUnit::of(*this);
  const std::string suffix = unit.suffix();
  typeLine(lines, "LineName", "Name: Line");
  CEntity::getInfoText(lines);
  lines.push_back(kIndent + Text("LineStartPoint", "StartPoint:") + coordinates(unit, " ", start_.x, start_.y) + suffix);
  lines.push_back(kIndent + Text("LineEndPoint", "EndPoint:") + coordinates(unit, " ", end_.x, end_.y) + suffix);
  lines.push_back(kIndent + Text("LineLength", "Length:") + " " + infoNumber(unit.toUnit(getLength())) + suffix);
  lines.push_back(std::string());
}

void CCircle::getInfoText(std::vector<std::string>& lines) const {
  const DisplayUnit unit = DisplayUnit::of(*this);
  const std::string suffix = unit.suffix();
  typeLine(lines, "CircleName", "Name: Circle");
  CEntity::getInfoText(lines);
  lines.push_back(kIndent + Text("CircleCenter", "CenterPoint:") + coordinates(unit, "  ", centre_.x, centre_.y) +
                  suffix);
  lines.push_back(kIndent + Text("CircleRadius", "Radius:") + "  " + infoNumber(unit.toUnit(radius_)) + suffix);
  lines.push_back(kIndent + Text("CircleWidth", "Width:") + "  " + infoNumber(unit.toUnit(width_)) + suffix);
  lines.push_back(kIndent + Text("CircleCircumference", "Circumference:") + "  " +
                  infoNumber(unit.toUnit(kTwoPi * radius_)) + suffix);
}

void CArc::getInfoText(std::vector<std::string>& lines) const {
  const DisplayUnit unit = DisplayUnit::of(*this);
  const std::string suffix = unit.suffix();
  typeLine(lines, "ArcName", "Name: Arc");
  CEntity::getInfoText(lines);
  lines.push_back(kIndent + Text("ArcStartAngle", "StartAngle:") + " " + infoNumber(toDegrees(startAngle_)));
  lines.push_back(kIndent + Text("ArcEndAngle", "EndAngle:") + " " + infoNumber(toDegrees(endAngle_)));
  lines.push_back(kIndent + Text("ArcStartPoint", "StartPoint:") + coordinates(unit, "   ", startPoint_.x, startPoint_.y) +
                  suffix);
  lines.push_back(kIndent + Text("ArcEndPoint", "EndPoint:") + coordinates(unit, "   ", endPoint_.x, endPoint_.y) +
                  suffix);
  lines.push_back(kIndent + Text("ArcAngle", "Angle:") + "  " + infoNumber(toDegrees(sweep())));
  lines.push_back(kIndent + Text("ArcLength", "Length:") + "  " + infoNumber(unit.toUnit(arcLength())) + suffix);
}

void CPolyLine::getInfoText(std::vector<std::string>& lines) const {
  typeLine(lines, "PolyLineName", "Name: PolyLine");
  CEntity::getInfoText(lines);
  polylineLines(*this, DisplayUnit::of(*this), lines);
}

void CPolyPolygon::getInfoText(std::vector<std::string>& lines) const {
  const DisplayUnit unit = DisplayUnit::of(*this);
  typeLine(lines, "PolygonName", "Name: Polygon");
  CEntity::getInfoText(lines);
  lines.push_back(kIndent + Text("PolygonOutlineCount", "Outline Count:") + " " + std::to_string(outlineCount()));
  for (std::size_t i = 0; i < outlineCount(); ++i) {
    lines.push_back(kIndent + Text("PolygonOutlineID", "Outline ID:") + " " + std::to_string(i + 1));
    polylineLines(*outline(i), unit, lines);
  }
}

void CSolid::getInfoText(std::vector<std::string>& lines) const {
  const DisplayUnit unit = DisplayUnit::of(*this);
  typeLine(lines, "SolidName", "Name: Solid");
  CEntity::getInfoText(lines);
  for (const Point3& p : points_) {
    lines.push_back(kIndent + Text("SolidPoint", "At Point:") + coordinates(unit, "  ", p.x, p.y) + unit.suffix());
  }
}

void CGraph::selectionInfo(std::vector<std::string>& lines) const {
  bool any = false;
  for (const auto& layer : layers_) {
    for (const auto& entity : *layer) {
      if (!entity->selected()) continue;
      entity->getInfoText(lines);
      any = true;
    }
  }
  if (!any) lines.push_back(Text("DisplayNoVector", "No vector selected!"));
}

}  // namespace quillon::model
