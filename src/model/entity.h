#pragma once
// The base of every drawing entity. The virtual operations follow one fixed
// order; an entity class overrides those where its behaviour differs.

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "model/geometry.h"
#include "model/object_snap.h"
#include "model/vertex_list.h"
#include "settings/color.h"

namespace quillon::formats {
class DxfWriter;
class SvgWriter;
class CgmWriter;
class WmfWriter;
class HpglWriter;
class EpsWriter;
class PdfWriter;
}

namespace quillon::model {

class CGraph;
class CLayer;
class DrawView;
class PropertyGrid;

enum class EntityType : int32_t {
  Line = 1,
  PolyLine = 2,
  Circle = 3,
  Arc = 4,
  // 5 is not used
  Solid = 6,
  PolyPolygon = 7,
};

// A grip: its position and the index moveGrip takes for it.
struct GripPoint {
  Point3 point;
  int index = 0;
};
using GripPoints = std::vector<GripPoint>;
// Rounds a width in pixels to the preferred widths (the width series).
using WidthRounder = std::function<double(double width)>;

class CEntity;
using EntityList = std::list<std::unique_ptr<CEntity>>;

class CEntity {
 public:
  // --- virtual interface, in its fixed order ---------------------------------
  // Resets property-grid cursors of sub-items (polypolygon outlines).
  virtual void resetCurrentItem() {}
  virtual ~CEntity();
  // Zero point unless the type has a start / end.
  virtual Point3 getStartPoint() const { return Point3{}; }
  virtual Point3 getEndPoint() const { return Point3{}; }
  // The stored length; a polyline computes it (and stores it).
  virtual double getLength() const { return length_; }
  virtual int getVertexCount() const { return 0; }
  virtual bool isSingleSegment() const { return true; }
  // The end selected by endSelector() and the point that gives its direction.
  // conDis is the connect distance (i_ConDis). False (outputs untouched) for
  // types without ends.
  virtual bool getEndDirection(Point3& endPoint, Point3& directionPoint, double conDis) const;
  // Joining two polylines end to end (JoinWith) belongs to the connect stage
  // of post-processing, which works on CPolyLine directly.
  // Closes a polyline whose ends lie within conDis of each other.
  virtual void autoClose(double conDis);
  // Snapping segment angles to the angle series (AdjustAngles) belongs to the
  // angle adjustment stage of post-processing, which works on CPolyLine.
  virtual void setWidth(double width) { width_ = width; }
  // Hands the geometry to the view and remembers whether it was visible.
  virtual void draw(DrawView& view) = 0;
  virtual double getWidth() const { return width_; }
  virtual bool isDegenerate() const { return true; }
  virtual void roundWidth(const WidthRounder& round);
  // Crossing test: some part of the entity lies inside the window [p1, p2]
  // (p1 lower-left, p2 upper-right). False when the last draw found the
  // entity invisible.
  virtual bool hitWindow(const Point3& p1, const Point3& p2) const = 0;
  // The whole entity lies inside the window. False when the last draw found
  // the entity invisible. Refreshes the cached extents.
  virtual bool isInsideWindow(const Point3& p1, const Point3& p2) const;
  // Appends the entity's snap primitives when it crosses the window [p1, p2]
  // (p1 lower-left); nothing when the last draw found it invisible. Defined
  // with the snap code (object_snap.cpp).
  virtual void collectSnapGeometry(const Point3& p1, const Point3& p2, SnapPrimitives& list) const;
  virtual int getGripCount() const { return 0; }
  // Writes the entity's box into box (and caches it); when running is not
  // null it is widened by that box. False when the entity has no extent.
  virtual bool getExtents(Box* running, Box& box) const = 0;
  // Copies the geometry and attributes of another entity of the same type
  // (the base fields only for another type). Layer, list position, join
  // links and the selected flag stay those of this entity.
  virtual void assign(const CEntity& other);
  // A deep copy, with the same handle, not in any layer.
  virtual std::unique_ptr<CEntity> clone() const = 0;

  // Output operations, one per format:
  // (DXF 2000, DXF R10, SVG, CGM, WMF, HP-GL, EPS, PDF, DXF read, then the
  // information text and the property grid operations go here.)
  // The entity's DXF records in the 2000 / R10 variant (defined with the DXF
  // writer, src/formats/dxf/dxf_entities.cpp). False when a write failed.
  virtual bool WriteDxf2000(formats::DxfWriter& file, bool saveWidth) const = 0;
  virtual bool WriteDxfR10(formats::DxfWriter& file, bool saveWidth) const = 0;
  // The entity's SVG element, CGM elements, metafile records, HP-GL commands,
  // PostScript fragment and PDF page operators (each defined with its writer,
  // src/formats/<format>/<format>_entities.cpp). The writer carries the
  // format's transform and the SaveWidth flag. False when the entity could not
  // be written (a coordinate the format cannot hold).
  virtual bool WriteSvg(formats::SvgWriter& file) const = 0;
  virtual bool WriteCgm(formats::CgmWriter& file) const = 0;
  virtual bool WriteWmf(formats::WmfWriter& surface) const = 0;
  virtual bool WriteHpgl(formats::HpglWriter& file) const = 0;
  virtual bool WriteEps(formats::EpsWriter& file) const = 0;
  virtual bool WritePdf(formats::PdfWriter& content) const = 0;

  // Information text and property grid (entity_info.cpp, entity_properties.cpp).
  // Appends the entity's information lines; the base appends the layer and
  // colour lines, each type its name line before them and its own after.
  virtual void getInfoText(std::vector<std::string>& lines) const;
  // Appends the entity's groups and rows to the grid (the base: layer,
  // colour and, except for lines and solids, width).
  virtual void fillProperties(CGraph& drawing, PropertyGrid& grid);
  // Applies the edit of grid row `row` (numbered from the first row the
  // entity filled) with the chosen value (colour, index) or the entered text.
  // Answers kPropertyInvalid (-1, nothing changed), kPropertyLayerChange (-2,
  // the drawing must move the entity to the layer named by text),
  // kPropertyChanged (-3), or, for a row the entity does not change (a
  // read-only row, a cursor move), 0 or more. The base answers the row
  // number minus its own rows for rows past them. `text` must not refer
  // into the grid, which may be refilled.
  virtual int editProperty(CGraph& drawing, int row, int value, const std::string& text, PropertyGrid& grid);

  // The grips in order, each with its index.
  virtual GripPoints getGripPoints() const { return {}; }
  // Moves grip `index` to p. False when the index is out of range or the
  // new position admits no geometry (the entity is then unchanged).
  virtual bool moveGrip(const Point3& p, int index);

  // --- common attributes -----------------------------------------------------
  EntityType type() const { return type_; }
  // 0 until the entity is first added to a layer of a drawing, which assigns
  // the drawing's next handle.
  uint32_t handle() const { return handle_; }
  void setHandle(uint32_t handle) { handle_ = handle; }

  settings::ColorIndex colour() const { return colour_; }
  void setColour(settings::ColorIndex colour) { colour_ = colour; }
  settings::ColorIndex savedColour() const { return savedColour_; }
  void setSavedColour(settings::ColorIndex colour) { savedColour_ = colour; }
  // The colour to display: the layer's colour when ByLayer.
  settings::ColorIndex displayColour() const;

  // The width field itself (getWidth may answer a vertex width).
  double width() const { return width_; }
  double storedLength() const { return length_; }

  CLayer* layer() const { return layer_; }

  // Which end of a polyline getEndDirection and the connect stage work on:
  // 0 start, 1 end.
  int endSelector() const { return endSelector_; }
  void setEndSelector(int end) { endSelector_ = static_cast<int8_t>(end); }

  bool selected() const { return selected_; }
  void setSelected(bool value) { selected_ = value; }
  // Result of the last draw; window tests answer false while it is false.
  bool drawn() const { return drawn_; }
  void setDrawn(bool value) { drawn_ = value; }
  bool approxDirty() const { return approxDirty_; }
  void setApproxDirty(bool value = true) { approxDirty_ = value; }

  int currentVertex() const { return currentVertex_; }
  void setCurrentVertex(int index) { currentVertex_ = index; }
  int currentOutline() const { return currentOutline_; }
  void setCurrentOutline(int index) { currentOutline_ = index; }

  bool isClosed() const { return closed_; }
  void setClosed(bool value) {
    closed_ = value;
    approxDirty_ = true;
  }
  // Set by the connect stage on a polyline joined into another.
  bool consumed() const { return consumed_; }
  void setConsumed(bool value) { consumed_ = value; }

  // The box of the last getExtents.
  const Box& cachedExtents() const { return extents_; }

  // Links kept for the connect stage: its cluster members for the start and
  // the end of a polyline. Opaque to the model, never owned, never copied.
  void* joinStart = nullptr;
  void* joinEnd = nullptr;
  // The connect stage's slot for a polyline it holds (so that it needs no
  // look-up table from addresses). Opaque to the model, never copied.
  uint32_t joinSlot() const { return joinSlot_; }
  void setJoinSlot(uint32_t slot) { joinSlot_ = slot; }

  // Neighbours in the owning layer's list; null at the ends or outside a layer.
  CEntity* next() const;
  CEntity* prev() const;

 protected:
  explicit CEntity(EntityType type);
  // Copies every attribute except layer, list position, join links and the
  // selected flag (a copy belongs to no layer and no selection).
  CEntity(const CEntity& other);
  CEntity& operator=(const CEntity&) = delete;
  // The common part of assign().
  void assignBase(const CEntity& other);

  void setStoredLength(double length) const { length_ = length; }
  void cacheExtents(const Box& box) const { extents_ = box; }

  double width_ = 0.0;

 private:
  friend class CLayer;

  // Eight-byte fields first and the small ones last, so that a derived
  // class's own flags fit in the tail (a noisy scan holds a million polylines).
  mutable double length_ = 0.0;
  CLayer* layer_ = nullptr;
  EntityList::iterator position_{};  // valid while layer_ is set
  mutable Box extents_{};
  uint32_t handle_ = 0;
  uint32_t joinSlot_ = 0;
  EntityType type_;
  int currentVertex_ = 1;
  int currentOutline_ = 1;
  settings::ColorIndex colour_ = settings::kColorByLayer;
  settings::ColorIndex savedColour_ = settings::kColorByLayer;
  int8_t endSelector_ = 0;  // 0 or 1
  bool selected_ = false;
  bool drawn_ = true;
  bool closed_ = false;
  bool consumed_ = false;

 protected:
  mutable bool approxDirty_ = true;
};

// Answers whether the window [p1, p2] contains box entirely.
inline bool windowContains(const Point3& p1, const Point3& p2, const Box& box) {
  return p1.x <= box.minX && p1.y <= box.minY && p2.x >= box.maxX && p2.y >= box.maxY;
}
// Answers whether the window [p1, p2] and box overlap at all.
inline bool windowOverlaps(const Point3& p1, const Point3& p2, const Box& box) {
  return !(p1.x > box.maxX || p1.y > box.maxY || p2.x < box.minX || p2.y < box.minY);
}

}  // namespace quillon::model
