#pragma once
// The drawing: the raster it was traced from, its layers (which own the
// entities), the settings new entities take, the display unit, the selection
// with its grips and the drawing aids.

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/draw_view.h"

#include "model/layer.h"
#include "model/vector_undo.h"
#include "raster/raster.h"

namespace quillon::model {

class CArc;
class CCircle;
class CLine;
class CPolyLine;
class CSolid;

using LayerList = std::list<std::unique_ptr<CLayer>>;

// Display units: 0 Inch, 1 cm, 2 mm, 3 Pixel.
enum class Unit : int32_t { Inch = 0, Cm = 1, Mm = 2, Pixel = 3 };

// The first handle of a new drawing.
inline constexpr uint32_t kFirstHandle = 48;

// The raster as a drawable object: its lower-left corner at (x0, y0), y up.
struct RasterPlacement {
  double x0 = 0.0;
  double y0 = 0.0;
};

// Object snap, grid and ortho settings of a drawing.
struct DrawingAids {
  int32_t osnapModes = 5;  // end point and centre
  int32_t osnapOn = 1;
  int32_t gridOn = 0;
  Point3 gridOrigin{};
  double gridAngle = 0.0;  // radians
  double gridSpacingX = 25.0;
  double gridSpacingY = 25.0;
  int32_t orthoOn = 0;
  bool gridShown = true;  // the grid is actually displayed (not too dense)
};

// One grip point of the selection.
struct Grip {
  double x = 0.0;
  double y = 0.0;
  std::size_t owner = 0;  // index into CGraph::gripOwners()
  int index = 0;          // the entity's grip index
  bool picked = false;
  bool highlighted = false;
};

// A selected entity with the preview the grip drag moves.
struct GripOwner {
  CEntity* entity = nullptr;
  std::unique_ptr<CEntity> preview;  // a clone in colour 7
};

class CGraph {
 public:
  // No layers, handle counter 48, unit Pixel.
  CGraph();
  ~CGraph();
  CGraph(const CGraph&) = delete;
  CGraph& operator=(const CGraph&) = delete;

  // Makes this drawing a copy of other's vector part (for undo snapshots and
  // restores): the display switches, modified flag, drawing aids, current
  // colour, width and unit, and every layer with clones of its entities (same
  // handles, same order); the copy of other's current layer becomes current.
  // The selection and grips are cleared, the raster is not touched, and the
  // handle counter becomes the larger of the two.
  void copyVectorsFrom(const CGraph& other);
  // Exchanges the vector part (as copyVectorsFrom copies it) with other's:
  // layers with their entities, current layer, display switches, modified
  // flag, drawing aids, current colour, width and unit. Both selections and
  // grips are cleared; rasters, undo lists and interactive polylines stay;
  // both handle counters become the larger of the two.
  void swapVectors(CGraph& other);

  // --- handles -----------------------------------------------------------------
  // The next handle for an entity or layer (then the counter moves on).
  uint32_t takeHandle() { return handleCounter_++; }
  uint32_t handleCounter() const { return handleCounter_; }
  void setHandleCounter(uint32_t value) { handleCounter_ = value; }

  // --- raster --------------------------------------------------------------------
  raster::CRaster& raster() { return raster_; }
  const raster::CRaster& raster() const { return raster_; }
  RasterPlacement& rasterObject() { return rasterObject_; }
  const RasterPlacement& rasterObject() const { return rasterObject_; }
  // [x0, x0 + width] × [y0, y0 + height]; false without a raster.
  bool rasterExtents(Box& box) const;
  // The raster column and row of a drawing point: column round(x − x0),
  // row H − round(y − y0), round adding 0.5 and truncating.
  void drawingToRaster(double x, double y, int& column, int& row) const;

  // --- layers ----------------------------------------------------------------------
  const LayerList& layers() const { return layers_; }
  CLayer* currentLayer() const { return currentLayer_; }
  // Empty name: nothing (null). A layer of that name (without regard to
  // case) becomes current; otherwise a new layer of that name is created at
  // the front and made current. Answers the current layer.
  CLayer* setCurrentLayerByName(std::string_view name);
  // Inserts the layer at the front (assigning a handle when it has none) and
  // makes it current; drawing modified.
  CLayer* addLayer(std::unique_ptr<CLayer> layer);
  bool setCurrentLayerByHandle(uint32_t handle);
  // i counted from the front, 0-based; false when out of range.
  bool setCurrentLayerByIndex(int index);
  CLayer* findLayer(std::string_view name) const;
  CLayer* findLayerByHandle(uint32_t handle) const;
  CEntity* findEntity(uint32_t handle) const;
  // Deletes the layer with its entities. When it was current, the next layer
  // (it was the first) or the one before it becomes current. False when the
  // layer is not in this drawing.
  bool deleteLayer(CLayer* layer);
  // Deletes every layer; no current layer; selection and grips cleared.
  void removeAllLayers();
  // removeAllLayers, then the layer "Trace" created and made current: the
  // state a trace run starts from.
  void clearForTrace();
  // Sum of the layers' entity counts.
  uint32_t totalCount() const;
  // The colour new layers take (the configured normal vector colour).
  settings::ColorIndex newLayerColour = kDefaultLayerColour;

  // --- adding entities ---------------------------------------------------------------
  // Appends the entity as it is to the current layer (a handle is assigned
  // when it has none) and marks the drawing modified. Null, and the entity
  // is deleted, when there is no current layer.
  CEntity* addEntity(std::unique_ptr<CEntity> entity);
  // As addEntity, but the entity first takes currentColour and, through
  // setWidth, currentWidth (the drawing commands and the fill pattern).
  CEntity* addNewEntity(std::unique_ptr<CEntity> entity);
  CLine* addLine(const Point3& p1, const Point3& p2);
  // The interactive polyline: made with currentWidth and currentColour,
  // shown after the layers but not in any layer until finishPolyline(true).
  CPolyLine* beginPolyline();
  CPolyLine* tempPolyline() const { return tempPolyline_.get(); }
  // Appends a vertex (z 0, bulge 0); when a width is below −kTolerance both
  // widths become currentWidth. Dropped when it repeats the last x and y.
  void addPolylineVertex(double x, double y, double startWidth, double endWidth, int flags);
  // keep: the polyline goes to the current layer (undo step "Draw
  // PolyLine"); otherwise it is deleted. Answers the kept polyline or null.
  CPolyLine* finishPolyline(bool keep);
  // The draw commands below add an undo step of the new entity ("Draw
  // Solid", "Draw Circle", "Draw Arc"). Null for collinear points.
  CSolid* drawSolid(const Point3& p1, const Point3& p2, const Point3& p3);
  CCircle* drawCircle(const Point3& centre, double radius);
  // Null when no circle passes through the points or its radius is below kTolerance.
  CCircle* drawCircle3P(const Point3& p1, const Point3& p2, const Point3& p3);
  // Counter-clockwise from start; end gives only the direction. Null when
  // start or end coincides with the centre or with each other.
  CArc* drawArcCSE(const Point3& centre, const Point3& start, const Point3& end);
  // The arc from p1 through p2 to p3. Null as for drawCircle3P.
  CArc* drawArc3P(const Point3& p1, const Point3& p2, const Point3& p3);

  // --- state --------------------------------------------------------------------------
  bool modified() const { return modified_; }
  // A set flag also invalidates the extents cache.
  void markModified(bool flag = true);
  // Forgets the cached extents without touching the modified flag: the
  // raster changed size, which is no change of the vector drawing.
  void invalidateExtents() const;

  // The box of the drawing: the raster's box (includeRaster and a raster
  // present) or the first layer with extents, widened by every further
  // layer; withMargin enlarges it about its centre by 3 %. Cached for each
  // combination of the switches until the next markModified(true). False
  // when there is nothing to measure.
  bool getDrawingExtents(Box& box, bool withMargin, bool includeRaster) const;

  settings::ColorIndex currentColour = settings::kColorByLayer;
  double currentWidth = 0.0;  // pixels
  Unit unit = Unit::Pixel;
  bool showRaster = true;
  bool showVectors = true;
  DrawingAids aids;
  // The drawing's vector undo steps. The drawing commands below that say so
  // add a step here.
  VectorUndoList undo;

  // --- units ------------------------------------------------------------------------------
  // Raster pixels per display unit: r·0.0254, r·0.01, r·0.001 or 1 with r
  // the raster resolution in pixels per metre (200 dpi when 1 dpi or less);
  // 1 without a raster. Non-const: an unset raster resolution is stored
  // back as 200 dpi.
  double pixelsPerUnit();
  double pixelsPerUnit(Unit u);
  // Divides both values by pixelsPerUnit(); unitName (when given) receives
  // the unit's display name ("" for Pixel and without a raster).
  void toUnit(double& x, double& y, std::string* unitName = nullptr);
  void fromUnit(double& x, double& y);
  static std::string unitName(Unit u);

  // --- selection and grips ---------------------------------------------------------------
  const Selection& selection() const { return selection_; }
  // Order the corners, then select in every visible layer; grips rebuilt
  // when something was found. Answer whether anything was added.
  bool selectInside(Point3 p1, Point3 p2);
  bool selectCrossing(Point3 p1, Point3 p2);
  // Clears grips and selection; with flag set selects every entity of the
  // visible layers.
  void selectAll(bool flag);
  // Adds one entity to the selection (no-op when already selected).
  void select(CEntity* entity);
  // Removes every selected entity from its layer and deletes it (undo step
  // "Delete Vectors"); answers whether anything was selected.
  bool deleteSelection();

  const std::vector<Grip>& grips() const { return grips_; }
  const std::vector<GripOwner>& gripOwners() const { return gripOwners_; }
  const Grip* currentGrip() const;
  // Discards the grips and builds them anew from the selection (none picked).
  void rebuildGrips();
  // Grips inside [p1, p2] become picked (picked ones stay); answers whether
  // any grip is picked.
  bool pickGrips(const Point3& p1, const Point3& p2);
  void highlightGrip(const CEntity* entity, int index);
  // Moves the picked grips of each owner's preview to position.
  void dragGrips(const Point3& position);
  // Applies the picked grips' move to the entities (keeping their colours;
  // undo step "Move Grip Point" when something moved), then rebuilds the
  // grips; the highlighted grip is looked up again.
  void moveGrips(const Point3& position);

  // Called when an entity leaves its layer: drops it from selection and grips.
  void forgetEntity(CEntity* entity);
  // Called before a layer deletes all its entities: drops them all at once.
  void forgetEntitiesOf(const CLayer* layer);

  // --- drawing -------------------------------------------------------------------------------
  // Draws every layer, then the interactive polyline (vectors shown). The
  // raster, grid and grips are drawn by the view itself.
  void draw(DrawView& view);
  // Snaps the point to the grid while the grid is displayed: answers 8 then,
  // else 0 with the point unchanged.
  int snapToGrid(Point3& point) const;

  // --- object snap (object_snap.cpp) ----------------------------------------------------
  // The snap primitives of every visible layer's entities and of the
  // interactive polyline that cross the window (corners in any order).
  void collectSnapGeometry(Point3 p1, Point3 p2, SnapPrimitives& list) const;
  // The best object snap point for the aperture window [p1, p2] (corners in
  // any order) around the cursor at its centre, with the modes of
  // aids.osnapModes; reference is the previous point of the running command
  // (null: none, so no tangent or perpendicular points). Answers the mode
  // code (32 for an intersection) and sets point, or 0 with point untouched.
  int objectSnap(const Point3* reference, Point3 p1, Point3 p2, Point3& point) const;

  // --- information and properties (entity_info.cpp, entity_properties.cpp) ----------------
  // The information text of every selected entity, layer by layer in list
  // order, or "No vector selected!".
  void selectionInfo(std::vector<std::string>& lines) const;
  // Fills the grid anew: the drawing's rows with an empty selection, the
  // entity's own rows for one selected entity, the base rows of the first
  // for several.
  void fillProperties(PropertyGrid& grid);
  // Applies the edit of grid row `row` to the drawing (empty selection) or
  // to every selected entity (several: the base edit only; lines and solids
  // skip a width edit), moves entities whose layer row changed, marks the
  // drawing modified and records one undo step when something changed, and
  // refills the grid. Answers -1 when nothing changed because the value was
  // invalid, -2 when entities moved to another layer, -3 when something
  // changed, otherwise 0 or more (nothing to change).
  int editProperty(int row, int value, const std::string& text, PropertyGrid& grid);
  // Moves an entity of this drawing to another of its layers (appended at
  // the end), keeping its place in the selection. False when either is
  // missing or the entity is on that layer already.
  bool moveEntityToLayer(CEntity* entity, CLayer* target);

 private:
  LayerList::iterator findLayerIt(const CLayer* layer);
  void clearSelection();

  uint32_t handleCounter_ = kFirstHandle;
  LayerList layers_;
  CLayer* currentLayer_ = nullptr;
  RasterPlacement rasterObject_;
  raster::CRaster raster_;
  std::unique_ptr<CPolyLine> tempPolyline_;
  bool modified_ = false;
  // getDrawingExtents per combination of its two switches.
  struct CachedExtents {
    bool valid = false;
    Box box{};
  };
  mutable CachedExtents extentsCache_[4];
  Selection selection_;
  std::vector<GripOwner> gripOwners_;
  std::vector<Grip> grips_;
  int currentGrip_ = -1;  // index into grips_
};

}  // namespace quillon::model
