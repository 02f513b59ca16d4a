// The property grid rows of each entity type and of the drawing, and the
// edits they accept.

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/arc.h"
#include "model/circle.h"
#include "model/entity_info.h"
#include "model/graph.h"
#include "model/line.h"
#include "model/polyline.h"
#include "model/polypolygon.h"
#include "model/property_grid.h"
#include "model/solid.h"
#include "model/vector_undo.h"
#include "settings/color.h"
#include "settings/language_table.h"
#include "settings/number_text.h"

namespace quillon::model {

using settings::Text;

void PropertyGrid::addGroup(std::string_view key, std::string_view englishDefault) {
  groups_.push_back(PropertyGroup{std::string(key), Text(key, englishDefault)});
}

PropertyRow& PropertyGrid::addRow(std::string_view key, std::string_view englishDefault, PropertyKind kind,
                                  std::string value) {
  PropertyRow row;
  row.key = std::string(key);
  row.label = Text(key, englishDefault);
  row.value = std::move(value);
  row.kind = kind;
  row.group = static_cast<int>(groups_.size()) - 1;
  rows_.push_back(std::move(row));
  return rows_.back();
}

int PropertyGrid::findRow(std::string_view key) const {
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].key == key) return static_cast<int>(i);
  }
  return -1;
}

namespace {

// Lines and solids have no width row.
bool hasWidthRow(const CEntity& e) { return e.type() != EntityType::Line && e.type() != EntityType::Solid; }
int baseRowCount(const CEntity& e) { return hasWidthRow(e) ? 3 : 2; }

std::string layerChoices(const CGraph& drawing) {
  std::string choices;
  for (const auto& layer : drawing.layers()) {
    if (!choices.empty()) choices += '|';
    choices += layer->name();
  }
  return choices;
}

// Values ≤ 0 or above 256 are ByLayer.
settings::ColorIndex colourFromGrid(int value) {
  if (value <= 0 || value > settings::kColorByLayer) return settings::kColorByLayer;
  return static_cast<settings::ColorIndex>(value);
}

// A ByLayer colour is shown in its layer's colour (white when there is no layer).
void addColourRow(PropertyGrid& grid, std::string_view key, std::string_view def, settings::ColorIndex colour,
                  const CLayer* layer) {
  PropertyRow& row = grid.addRow(key, def, PropertyKind::Colour, settings::ColorName(colour));
  row.index = colour;
  row.layerColour = layer != nullptr ? layer->colour() : settings::kColorWhite;
}

std::optional<double> parse(const std::string& text) { return settings::ParseNumber(text); }

// A non-negative length in the drawing unit, as pixels.
std::optional<double> parseLength(const std::string& text, const DisplayUnit& unit) {
  const auto v = parse(text);
  if (!v || *v < 0.0) return std::nullopt;
  return unit.toPixels(*v);
}

// Degrees in [0, 360] of an angle in radians.
double degreesOf(double radians) { return toDegrees(normalizeAngle(radians)); }

// --- circle rows (shared by circles and arcs) -------------------------------------

constexpr int kCircleRows = 4;

void fillCircleRows(const CCircle& c, const DisplayUnit& unit, PropertyGrid& grid) {
  grid.addGroup("PropCircle", "Circle Properties");
  grid.addRow("PropCircleCenterX", "X of Center", PropertyKind::Number, gridNumber(unit.toUnit(c.centre().x)));
  grid.addRow("PropCircleCenterY", "Y of Center", PropertyKind::Number, gridNumber(unit.toUnit(c.centre().y)));
  grid.addRow("PropCircleRadius", "Radius", PropertyKind::Number, gridNumber(unit.toUnit(c.radius())));
  grid.addRow("PropCircleCircumference", "Circumference", PropertyKind::ReadOnly,
              gridNumber(unit.toUnit(kTwoPi * c.radius())));
}

int editCircleRow(CCircle& c, const DisplayUnit& unit, int row, const std::string& text) {
  if (row >= kCircleRows) return row - kCircleRows;
  if (row == 3) return 0;  // circumference: read-only
  const auto v = parse(text);
  if (!v) return kPropertyInvalid;
  const double pixels = unit.toPixels(*v);
  if (row == 2) {
    if (!(pixels > 0.0)) return kPropertyInvalid;
    c.setRadius(pixels);
    return kPropertyChanged;
  }
  Point3 centre = c.centre();
  (row == 0 ? centre.x : centre.y) = pixels;
  c.setCentre(centre);
  return kPropertyChanged;
}

// --- polyline rows (shared by polylines and the outlines of polypolygons) ---------

enum class PolyRow {
  CloseOpen,
  Length,
  CurrentPoint,
  AddPoint,
  DeletePoint,
  VertexX,
  VertexY,
  VertexWidth,
  VertexBulge,
  ArcCentreX,
  ArcCentreY,
  ArcRadius,
  ArcStartAngle,
  ArcEndAngle,
};

// The current vertex (0-based, clamped into the ring) and its segment.
struct VertexState {
  std::size_t count = 0;
  std::size_t current = 0;
  std::size_t next = 0;
  bool startsSegment = false;
  std::optional<BulgeArc> arc;
};

VertexState vertexState(const CPolyLine& polyline) {
  VertexState s;
  const auto& v = polyline.vertices();
  s.count = v.size();
  if (s.count == 0) return s;
  s.current = static_cast<std::size_t>(std::clamp(polyline.currentVertex(), 1, static_cast<int>(s.count))) - 1;
  s.startsSegment = s.count >= 2 && (s.current + 1 < s.count || polyline.isClosed());
  s.next = (s.current + 1) % s.count;
  if (s.startsSegment) s.arc = bulgeToArc(v[s.current].point(), v[s.next].point(), v[s.current].bulge);
  return s;
}

// The rows shown for the polyline's present state, in order. Outlines of a
// polypolygon stay closed (no Close/Open row), carry no vertex widths and
// keep at least 3 vertices.
std::vector<PolyRow> polylineRows(const CPolyLine& polyline, bool outline) {
  std::vector<PolyRow> rows;
  if (!outline) rows.push_back(PolyRow::CloseOpen);
  rows.push_back(PolyRow::Length);
  const VertexState s = vertexState(polyline);
  if (s.count == 0) return rows;
  rows.push_back(PolyRow::CurrentPoint);
  rows.push_back(PolyRow::AddPoint);
  if (s.count >= (outline ? 4u : 3u)) rows.push_back(PolyRow::DeletePoint);
  rows.push_back(PolyRow::VertexX);
  rows.push_back(PolyRow::VertexY);
  if (!outline && s.startsSegment) rows.push_back(PolyRow::VertexWidth);
  if (s.startsSegment) rows.push_back(PolyRow::VertexBulge);
  if (s.arc) {
    for (PolyRow r : {PolyRow::ArcCentreX, PolyRow::ArcCentreY, PolyRow::ArcRadius, PolyRow::ArcStartAngle,
                      PolyRow::ArcEndAngle}) {
      rows.push_back(r);
    }
  }
  return rows;
}

void fillPolylineRows(const CPolyLine& polyline, const DisplayUnit& unit, bool outline, PropertyGrid& grid) {
  const VertexState s = vertexState(polyline);
  const auto& v = polyline.vertices();
  grid.addGroup("PropPLine", "PolyLine Properties");
  for (PolyRow r : polylineRows(polyline, outline)) {
    switch (r) {
      case PolyRow::CloseOpen: {
        const std::string close = Text("PropPLineClose", "Close");
        const std::string open = Text("PropPLineOpen", "Open");
        PropertyRow& row = grid.addRow("PropPLineClose", "Close", PropertyKind::Choice,
                                       polyline.isClosed() ? close : open);
        row.label = close + "/" + open;
        row.choices = close + "|" + open;
        break;
      }
      case PolyRow::Length:
        grid.addRow("PropPLineLength", "Length", PropertyKind::ReadOnly, gridNumber(unit.toUnit(polyline.getLength())));
        break;
      case PolyRow::CurrentPoint: {
        grid.addGroup("PropPLineVertex", "Vertex of PolyLine");
        PropertyRow& row =
            grid.addRow("PropPLineCurPt", "Current Point", PropertyKind::Index, std::to_string(s.current + 1));
        row.index = static_cast<int>(s.current + 1);
        row.maxIndex = static_cast<int>(s.count);
        break;
      }
      case PolyRow::AddPoint:
        grid.addRow("PropPLineAddCurPt", "Add Point", PropertyKind::Button, std::string());
        break;
      case PolyRow::DeletePoint:
        grid.addRow("PropPLineDelCurPt", "Delete Current Point", PropertyKind::Button, std::string());
        break;
      case PolyRow::VertexX:
        grid.addRow("PorpPLineVertexX", "X of Vertex", PropertyKind::Number, gridNumber(unit.toUnit(v[s.current].x)));
        break;
      case PolyRow::VertexY:
        grid.addRow("PorpPLineVertexY", "Y of Vertex", PropertyKind::Number, gridNumber(unit.toUnit(v[s.current].y)));
        break;
      case PolyRow::VertexWidth:
        grid.addRow("PorpPLineVertexWidth", "Width of Vertex", PropertyKind::Number,
                    gridNumber(unit.toUnit(v[s.current].startWidth)));
        break;
      case PolyRow::VertexBulge:
        grid.addRow("PorpPLineVertexBulg", "Bulg of Vertex", PropertyKind::Number, gridNumber(v[s.current].bulge));
        break;
      case PolyRow::ArcCentreX:
        grid.addRow("PorpPLineVertexCenX", "X of Arc Center", PropertyKind::ReadOnly,
                    gridNumber(unit.toUnit(s.arc->centre.x)));
        break;
      case PolyRow::ArcCentreY:
        grid.addRow("PorpPLineVertexCenY", "Y of Arc Center", PropertyKind::ReadOnly,
                    gridNumber(unit.toUnit(s.arc->centre.y)));
        break;
      case PolyRow::ArcRadius:
        grid.addRow("PorpPLineVertexR", "Radius of Arc", PropertyKind::ReadOnly, gridNumber(unit.toUnit(s.arc->radius)));
        break;
      case PolyRow::ArcStartAngle:
        grid.addRow("PorpPLineVertexStartAngle", "StartAngle of Arc", PropertyKind::ReadOnly,
                    gridNumber(degreesOf(s.arc->startAngle)));
        break;
      case PolyRow::ArcEndAngle:
        grid.addRow("PorpPLineVertexEndAngle", "EndAngle of Arc", PropertyKind::ReadOnly,
                    gridNumber(degreesOf(s.arc->endAngle)));
        break;
    }
  }
}

// The grip index of a vertex: vertices and arc middles in ring order.
int vertexGripIndex(const CPolyLine& polyline, std::size_t vertex) {
  const auto& v = polyline.vertices();
  const std::size_t n = v.size();
  int index = 0;
  for (std::size_t i = 0; i < vertex && i < n; ++i) {
    ++index;
    const bool startsSegment = i + 1 < n || (polyline.isClosed() && n >= 2);
    if (startsSegment && bulgeToArc(v[i].point(), v[(i + 1) % n].point(), v[i].bulge)) ++index;
  }
  return index;
}

// Inserts a vertex in the middle of the current vertex's segment. An arc
// segment is split into two arcs of half the included angle each (bulge
// tan(θ/8) for an included angle θ = 4·atan(bulge)); the new vertex takes the
// widths of the segment it splits.
int addPoint(CPolyLine& polyline) {
  const VertexState s = vertexState(polyline);
  if (!s.startsSegment) return kPropertyInvalid;
  const PolyVertex& from = polyline.vertices()[s.current];
  const PolyVertex& to = polyline.vertices()[s.next];
  PolyVertex inserted;
  inserted.startWidth = from.startWidth;
  inserted.endWidth = from.endWidth;
  double halfBulge = 0.0;
  if (s.arc) {
    const Point3 middle = segmentMidpoint(from.point(), to.point(), from.bulge);
    if (!std::isfinite(middle.x) || !std::isfinite(middle.y)) return kPropertyInvalid;
    inserted.x = middle.x;
    inserted.y = middle.y;
    halfBulge = std::tan(std::atan(from.bulge) / 2.0);
    inserted.bulge = halfBulge;
  } else {
    inserted.x = (from.x + to.x) / 2.0;
    inserted.y = (from.y + to.y) / 2.0;
  }
  auto& v = polyline.editVertices();
  if (s.arc) v[s.current].bulge = halfBulge;
  v.insert(v.begin() + static_cast<std::ptrdiff_t>(s.current + 1), inserted);
  return kPropertyChanged;
}

// Applies an edit of polyline row `row`. refill is set when the rows shown
// change (the owner refills the grid). Answers as CEntity::editProperty.
int editPolylineRow(CPolyLine& polyline, CGraph& drawing, const DisplayUnit& unit, bool outline, int row, int value,
                    const std::string& text, bool& refill) {
  const std::vector<PolyRow> rows = polylineRows(polyline, outline);
  if (row < 0) return kPropertyInvalid;
  if (static_cast<std::size_t>(row) >= rows.size()) return row - static_cast<int>(rows.size());
  const VertexState s = vertexState(polyline);
  switch (rows[static_cast<std::size_t>(row)]) {
    case PolyRow::CloseOpen: {
      const std::size_t n = s.count;
      const bool canClose = n >= 3 || (n >= 1 && polyline.vertices().front().hasBulge());
      polyline.setClosed(sameText(text, Text("PropPLineClose", "Close")) && canClose);
      refill = true;
      return kPropertyChanged;
    }
    case PolyRow::CurrentPoint:
      if (value < 1 || static_cast<std::size_t>(value) > s.count) return kPropertyInvalid;
      polyline.setCurrentVertex(value);
      drawing.highlightGrip(&polyline, vertexGripIndex(polyline, static_cast<std::size_t>(value - 1)));
      refill = true;
      return 0;
    case PolyRow::AddPoint: {
      const int result = addPoint(polyline);
      refill = result == kPropertyChanged;
      return result;
    }
    case PolyRow::DeletePoint:
      polyline.removeVertex(s.current);
      if (polyline.currentVertex() > 1) polyline.setCurrentVertex(static_cast<int>(s.current));
      refill = true;
      return kPropertyChanged;
    case PolyRow::VertexX:
    case PolyRow::VertexY: {
      const auto v = parse(text);
      if (!v) return kPropertyInvalid;
      PolyVertex& vertex = polyline.editVertices()[s.current];
      (rows[static_cast<std::size_t>(row)] == PolyRow::VertexX ? vertex.x : vertex.y) = unit.toPixels(*v);
      refill = true;  // arc rows follow the vertex
      return kPropertyChanged;
    }
    case PolyRow::VertexWidth: {
      const auto w = parseLength(text, unit);
      if (!w) return kPropertyInvalid;
      polyline.editVertices()[s.current].startWidth = *w;
      return kPropertyChanged;
    }
    case PolyRow::VertexBulge: {
      const auto b = parse(text);
      if (!b) return kPropertyInvalid;
      const auto& v = polyline.vertices();
      if (distance(v[s.current].point(), v[s.next].point()) == 0.0) return kPropertyInvalid;
      polyline.editVertices()[s.current].bulge = *b;
      refill = true;  // the arc rows come or go
      return kPropertyChanged;
    }
    case PolyRow::Length:
    case PolyRow::ArcCentreX:
    case PolyRow::ArcCentreY:
    case PolyRow::ArcRadius:
    case PolyRow::ArcStartAngle:
    case PolyRow::ArcEndAngle:
      return 0;
  }
  return 0;
}

}  // namespace

// --- base rows ------------------------------------------------------------------------

void CEntity::fillProperties(CGraph& drawing, PropertyGrid& grid) {
  const DisplayUnit unit = DisplayUnit::of(&drawing);
  grid.addGroup("PropBase", "Base Properties");
  PropertyRow& layerRow = grid.addRow("PropLayerName", "Layer", PropertyKind::Choice,
                                      layer_ != nullptr ? layer_->name() : std::string());
  layerRow.choices = layerChoices(drawing);
  addColourRow(grid, "PropColorName", "Color", colour_, layer_);
  if (hasWidthRow(*this)) {
    grid.addRow("PropWidthName", "Width", PropertyKind::Number, gridNumber(unit.toUnit(getWidth())));
  }
}

int CEntity::editProperty(CGraph& drawing, int row, int value, const std::string& text, PropertyGrid& grid) {
  switch (row) {
    case 0: {  // layer
      if (drawing.findLayer(text) == nullptr) return kPropertyInvalid;
      if (layer_ != nullptr && CLayer::sameName(layer_->name(), text)) return kPropertyInvalid;
      return kPropertyLayerChange;
    }
    case 1: {  // colour
      colour_ = colourFromGrid(value);
      const int r = grid.findRow("PropColorName");
      if (r >= 0) {
        grid.row(r).value = settings::ColorName(colour_);
        grid.row(r).index = colour_;
      }
      return kPropertyChanged;
    }
    case 2:
      if (!hasWidthRow(*this)) break;
      {
        const DisplayUnit unit = DisplayUnit::of(&drawing);
        const auto w = parseLength(text, unit);
        if (!w || isEqual(*w, getWidth())) return kPropertyInvalid;
        setWidth(*w);
        return kPropertyChanged;
      }
    default:
      break;
  }
  return row < 0 ? kPropertyInvalid : row - baseRowCount(*this);
}

// --- line ---------------------------------------------------------------------------------

void CLine::fillProperties(CGraph& drawing, PropertyGrid& grid) {
  CEntity::fillProperties(drawing, grid);
  const DisplayUnit unit = DisplayUnit::of(&drawing);
  grid.addGroup("PropLine", "Line Properties");
  grid.addRow("PropLineStartX", "X of StartPoint", PropertyKind::Number, gridNumber(unit.toUnit(start_.x)));
  grid.addRow("PropLineStartY", "Y of StartPoint", PropertyKind::Number, gridNumber(unit.toUnit(start_.y)));
  grid.addRow("PropLineEndX", "X of EndPoint", PropertyKind::Number, gridNumber(unit.toUnit(end_.x)));
  grid.addRow("PropLineEndY", "Y of EndPoint", PropertyKind::Number, gridNumber(unit.toUnit(end_.y)));
  grid.addRow("PropLineLength", "Length", PropertyKind::ReadOnly, gridNumber(unit.toUnit(getLength())));
  grid.addRow("PropLineAngle", "Angle", PropertyKind::ReadOnly,
              gridNumber(degreesOf(std::atan2(end_.y - start_.y, end_.x - start_.x))));
}

int CLine::editProperty(CGraph& drawing, int row, int value, const std::string& text, PropertyGrid& grid) {
  const int r = CEntity::editProperty(drawing, row, value, text, grid);
  if (r < 0) return r;
  if (r >= 6) return r - 6;
  if (r >= 4) return 0;  // length and angle: read-only
  const auto v = parse(text);
  if (!v) return kPropertyInvalid;
  const double pixels = DisplayUnit::of(&drawing).toPixels(*v);
  Point3 p = r < 2 ? start_.point() : end_.point();
  (r % 2 == 0 ? p.x : p.y) = pixels;
  if (r < 2) {
    setStart(p);
  } else {
    setEnd(p);
  }
  return kPropertyChanged;
}

// --- circle and arc ---------------------------------------------------------------------

void CCircle::fillProperties(CGraph& drawing, PropertyGrid& grid) {
  CEntity::fillProperties(drawing, grid);
  fillCircleRows(*this, DisplayUnit::of(&drawing), grid);
}

int CCircle::editProperty(CGraph& drawing, int row, int value, const std::string& text, PropertyGrid& grid) {
  const int r = CEntity::editProperty(drawing, row, value, text, grid);
  if (r < 0) return r;
  return editCircleRow(*this, DisplayUnit::of(&drawing), r, text);
}

void CArc::fillProperties(CGraph& drawing, PropertyGrid& grid) {
  CEntity::fillProperties(drawing, grid);
  const DisplayUnit unit = DisplayUnit::of(&drawing);
  fillCircleRows(*this, unit, grid);
  grid.addGroup("PropArc", "Arc Properties");
  grid.addRow("PropStartPointX", "X of StartPoint", PropertyKind::ReadOnly, gridNumber(unit.toUnit(startPoint_.x)));
  grid.addRow("PropStartPointY", "Y of StartPoint", PropertyKind::ReadOnly, gridNumber(unit.toUnit(startPoint_.y)));
  grid.addRow("PropEndPointX", "X of EndPoint", PropertyKind::ReadOnly, gridNumber(unit.toUnit(endPoint_.x)));
  grid.addRow("PropEndPointY", "Y of EndPoint", PropertyKind::ReadOnly, gridNumber(unit.toUnit(endPoint_.y)));
  grid.addRow("PropStartAngle", "Start Angle", PropertyKind::Number, gridNumber(toDegrees(startAngle_)));
  grid.addRow("PropEndAngle", "End Angle", PropertyKind::Number, gridNumber(toDegrees(endAngle_)));
  grid.addRow("PropArcLength", "Length of Arc", PropertyKind::ReadOnly, gridNumber(unit.toUnit(arcLength())));
  grid.addRow("PropArcSweepAngle", "Sweep Angle", PropertyKind::ReadOnly, gridNumber(toDegrees(sweep())));
}

int CArc::editProperty(CGraph& drawing, int row, int value, const std::string& text, PropertyGrid& grid) {
  int r = CEntity::editProperty(drawing, row, value, text, grid);
  if (r < 0) return r;
  if (r < kCircleRows) {
    const int result = editCircleRow(*this, DisplayUnit::of(&drawing), r, text);
    if (result == kPropertyChanged) setAngles(startAngle_, endAngle_);  // end points follow centre and radius
    return result;
  }
  r -= kCircleRows;
  if (r >= 8) return r - 8;
  if (r != 4 && r != 5) return 0;  // read-only rows
  const auto degrees = parse(text);
  if (!degrees) return kPropertyInvalid;
  const double radians = *degrees * kPi / 180.0;
  if (r == 4) {
    setAngles(radians, endAngle_);
  } else {
    setAngles(startAngle_, radians);
  }
  return kPropertyChanged;
}

// --- polyline and polypolygon -------------------------------------------------------------

void CPolyLine::fillProperties(CGraph& drawing, PropertyGrid& grid) {
  CEntity::fillProperties(drawing, grid);
  fillPolylineRows(*this, DisplayUnit::of(&drawing), false, grid);
}

int CPolyLine::editProperty(CGraph& drawing, int row, int value, const std::string& text, PropertyGrid& grid) {
  const int r = CEntity::editProperty(drawing, row, value, text, grid);
  if (r < 0) return r;
  bool refill = false;
  const int result = editPolylineRow(*this, drawing, DisplayUnit::of(&drawing), false, r, value, text, refill);
  if (refill) {
    grid.clear();
    fillProperties(drawing, grid);
  }
  return result;
}

void CPolyPolygon::fillProperties(CGraph& drawing, PropertyGrid& grid) {
  CEntity::fillProperties(drawing, grid);
  if (outlines_.empty()) return;
  const int current = std::clamp(currentOutline(), 1, static_cast<int>(outlines_.size()));
  grid.addGroup("PropPolyPolygon", "PolyPolygon Properties");
  PropertyRow& row = grid.addRow("PropPolygonCurLine", "Current Outline", PropertyKind::Index, std::to_string(current));
  row.index = current;
  row.maxIndex = static_cast<int>(outlines_.size());
  fillPolylineRows(*outlines_[static_cast<std::size_t>(current - 1)], DisplayUnit::of(&drawing), true, grid);
}

int CPolyPolygon::editProperty(CGraph& drawing, int row, int value, const std::string& text, PropertyGrid& grid) {
  int r = CEntity::editProperty(drawing, row, value, text, grid);
  if (r < 0 || outlines_.empty()) return r;
  bool refill = false;
  int result = 0;
  if (r == 0) {
    if (value < 1 || static_cast<std::size_t>(value) > outlines_.size()) return kPropertyInvalid;
    setCurrentOutline(value);
    refill = true;
  } else {
    const int current = std::clamp(currentOutline(), 1, static_cast<int>(outlines_.size()));
    CPolyLine& outline = *outlines_[static_cast<std::size_t>(current - 1)];
    result = editPolylineRow(outline, drawing, DisplayUnit::of(&drawing), true, r - 1, value, text, refill);
    if (result == kPropertyChanged) {
      setApproxDirty();
      buffer_.clear();
      counts_.clear();
    }
  }
  if (refill) {
    grid.clear();
    fillProperties(drawing, grid);
  }
  return result;
}

// --- solid ----------------------------------------------------------------------------------

void CSolid::fillProperties(CGraph& drawing, PropertyGrid& grid) {
  static constexpr const char* kOrdinals[4] = {"1st", "2nd", "3rd", "4th"};
  CEntity::fillProperties(drawing, grid);
  const DisplayUnit unit = DisplayUnit::of(&drawing);
  grid.addGroup("PropSolid", "Solid Properties");
  double perimeter = 0.0;
  const std::size_t n = points_.size();
  for (std::size_t i = 0; i < n && i < 4; ++i) {
    const std::string number = std::to_string(i + 1);
    for (const char axis : {'X', 'Y'}) {
      const std::string key = "PropSolidPoint_" + number + "_" + axis;
      const std::string label = std::string(1, axis) + " of " + kOrdinals[i] + " point";
      grid.addRow(key, label, PropertyKind::Number,
                  gridNumber(unit.toUnit(axis == 'X' ? points_[i].x : points_[i].y)));
    }
    perimeter += distance(points_[i], points_[(i + 1) % n]);
  }
  grid.addRow("PropSolidLength", "Length", PropertyKind::ReadOnly, gridNumber(unit.toUnit(perimeter)));
}

int CSolid::editProperty(CGraph& drawing, int row, int value, const std::string& text, PropertyGrid& grid) {
  const int r = CEntity::editProperty(drawing, row, value, text, grid);
  if (r < 0) return r;
  const int coordinates = 2 * static_cast<int>(points_.size());
  if (r > coordinates) return r - coordinates - 1;
  if (r == coordinates) return 0;  // perimeter: read-only
  const auto v = parse(text);
  if (!v) return kPropertyInvalid;
  Point3 p = points_[static_cast<std::size_t>(r / 2)];
  (r % 2 == 0 ? p.x : p.y) = DisplayUnit::of(&drawing).toPixels(*v);
  return moveGrip(p, r / 2) ? kPropertyChanged : kPropertyInvalid;
}

// --- the drawing ----------------------------------------------------------------------------

namespace {

constexpr Unit kUnits[4] = {Unit::Inch, Unit::Cm, Unit::Mm, Unit::Pixel};

void fillDrawingProperties(CGraph& drawing, PropertyGrid& grid) {
  const DisplayUnit unit = DisplayUnit::of(&drawing);
  grid.addGroup("PropDrawing", "Drawing Properties");
  PropertyRow& layerRow =
      grid.addRow("PropCurLayerName", "Current Layer", PropertyKind::Choice,
                  drawing.currentLayer() != nullptr ? drawing.currentLayer()->name() : std::string());
  layerRow.choices = layerChoices(drawing);
  addColourRow(grid, "PropCurColorName", "Current Color", drawing.currentColour, drawing.currentLayer());
  grid.addRow("PropCurWidthName", "Current Width", PropertyKind::Number, gridNumber(unit.toUnit(drawing.currentWidth)));
  if (!drawing.raster().empty()) {
    std::string choices;
    for (const Unit u : kUnits) {
      if (!choices.empty()) choices += '|';
      choices += CGraph::unitName(u);
    }
    PropertyRow& unitRow =
        grid.addRow("PropCurUnitName", "Current Unit", PropertyKind::Choice, CGraph::unitName(drawing.unit));
    unitRow.choices = choices;
  }
}

int editDrawingProperty(CGraph& drawing, int row, int value, const std::string& text) {
  switch (row) {
    case 0: {
      const CLayer* layer = drawing.findLayer(text);
      if (layer == nullptr) return kPropertyInvalid;
      drawing.setCurrentLayerByHandle(layer->handle());
      return kPropertyChanged;
    }
    case 1:
      drawing.currentColour = colourFromGrid(value);
      return kPropertyChanged;
    case 2: {
      const auto w = parseLength(text, DisplayUnit::of(&drawing));
      if (!w) return kPropertyInvalid;
      drawing.currentWidth = *w;
      return kPropertyChanged;
    }
    case 3: {
      if (drawing.raster().empty()) return 0;
      for (const Unit u : kUnits) {
        if (!sameText(text, CGraph::unitName(u))) continue;
        if (u == drawing.unit) return kPropertyInvalid;
        drawing.unit = u;
        return kPropertyChanged;
      }
      return kPropertyInvalid;
    }
    default:
      return row < 0 ? kPropertyInvalid : 0;
  }
}

}  // namespace

void CGraph::fillProperties(PropertyGrid& grid) {
  grid.clear();
  if (selection_.empty()) {
    fillDrawingProperties(*this, grid);
  } else if (selection_.size() == 1) {
    selection_.front()->fillProperties(*this, grid);
  } else {
    selection_.front()->CEntity::fillProperties(*this, grid);
  }
}

bool CGraph::moveEntityToLayer(CEntity* entity, CLayer* target) {
  if (entity == nullptr || target == nullptr || entity->layer() == nullptr || entity->layer() == target) return false;
  if (findLayerIt(target) == layers_.end()) return false;
  const auto it = std::find(selection_.begin(), selection_.end(), entity);
  const bool wasSelected = it != selection_.end();
  const std::ptrdiff_t position = it - selection_.begin();
  target->append(entity->layer()->detach(entity));  // detaching drops it from the selection
  if (wasSelected) {
    entity->setSelected(true);
    selection_.insert(selection_.begin() + position, entity);
    rebuildGrips();
  }
  return true;
}

int CGraph::editProperty(int row, int value, const std::string& text, PropertyGrid& grid) {
  const std::string input(text);  // text may live in the grid, which is refilled below
  int result = 0;
  if (selection_.empty()) {
    static constexpr const char* kStepKeys[4][2] = {{"UndoCurLayer", "Change Current Layer"},
                                                     {"UndoCurColor", "Change Current Color"},
                                                     {"UndoCurWidth", "Change Current Width"},
                                                     {"UndoCurUnit", "Change Current Unit"}};
    std::unique_ptr<DrawingStateStep> step;
    if (row >= 0 && row < 4) {
      step = std::make_unique<DrawingStateStep>(undoStepName(kStepKeys[row][0], kStepKeys[row][1]), *this,
                                                DrawingStateStep::Mode::Settings);
    }
    result = editDrawingProperty(*this, row, value, input);
    if (result == kPropertyChanged && step) undo.addStep(std::move(step));
  } else {
    // Several entities show (and edit) only the base rows of the first, so
    // each of them gets the base edit alone; one entity gets its full edit.
    const bool several = selection_.size() > 1;
    if (several && row >= baseRowCount(*selection_.front())) {
      fillProperties(grid);
      return 0;
    }
    bool anyInvalid = false, anyChanged = false, anyMoved = false;
    // Each entity is recorded before its edit; the step is kept only when
    // something changed.
    auto step = std::make_unique<EntityEditStep>(undoStepName("UndoModifyVector", "Modify Vectors"));
    const Selection targets = selection_;
    for (CEntity* entity : targets) {
      if (several && row == 2 && !hasWidthRow(*entity)) continue;  // lines and solids have no width
      (void)step->recordEntity(*entity, EditKind::Modified);
      const int r = several ? entity->CEntity::editProperty(*this, row, value, input, grid)
                            : entity->editProperty(*this, row, value, input, grid);
      if (r == kPropertyLayerChange) {
        CLayer* target = findLayer(input);
        if (target != nullptr && target != entity->layer()) {
          (void)step->recordEntity(*entity, EditKind::MovedLayer);
          anyMoved = moveEntityToLayer(entity, target) || anyMoved;
        }
      } else if (r == kPropertyChanged) {
        anyChanged = true;
      } else if (r == kPropertyInvalid) {
        anyInvalid = true;
      } else if (!several) {
        result = r;
      }
    }
    if (anyMoved) {
      result = kPropertyLayerChange;
    } else if (anyChanged) {
      result = kPropertyChanged;
    } else if (anyInvalid) {
      result = kPropertyInvalid;
    }
    if ((anyChanged || anyMoved) && !step->empty()) undo.addStep(std::move(step));
    if (anyChanged) {
      // Grip positions follow the new geometry; the highlighted grip stays.
      const Grip* g = currentGrip();
      const CEntity* highlighted = g != nullptr ? gripOwners_[g->owner].entity : nullptr;
      const int index = g != nullptr ? g->index : 0;
      rebuildGrips();
      if (highlighted != nullptr) highlightGrip(highlighted, index);
    }
  }
  if (result == kPropertyChanged || result == kPropertyLayerChange) markModified(true);
  fillProperties(grid);
  return result;
}

}  // namespace quillon::model
