#pragma once
// One entity record of a DXF ENTITIES section into a model entity. Each
// reader is called after the record's "0"/type group, reads the record's
// groups up to the next "0" group and pushes that group back, so the caller
// reads it again. Groups a reader does not know (handles, subclass markers,
// extended data, extrusion, ...) are passed over.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "formats/dxf_reader/dxf_curves.h"
#include "formats/dxf_reader/dxf_geometry.h"
#include "formats/dxf_reader/dxf_group_reader.h"
#include "model/entity.h"

namespace quillon::model {
class CPolyLine;
}

namespace quillon::formats {

enum class DxfEntityKind {
  Unknown,
  Line,
  Arc,
  Circle,
  LwPolyline,
  Polyline,
  Solid,
  Face3d,
  Hatch,
  Ellipse,
  Spline,
  Insert,
};

// The kind of a record type name (without regard to case); Unknown for
// every type the reader skips.
DxfEntityKind DxfEntityKindOf(std::string_view typeName);
// The type name of a known kind, in capitals.
std::string_view DxfEntityKindName(DxfEntityKind kind);

// An INSERT record: the block placed by position, scale, rotation and a
// column/row array, in the insert's object coordinate system.
struct DxfInsert {
  std::string blockName;
  Point3 position;
  Point3 scale{1.0, 1.0, 1.0};
  double rotation = 0.0;  // degrees
  long columns = 1, rows = 1;
  double columnSpacing = 0.0, rowSpacing = 0.0;
  Point3 extrusion{0.0, 0.0, 1.0};
  settings::ColorIndex colour = settings::kColorByLayer;  // the insert's own (1..256)

  // Block coordinates (with the block's base point) to the world of the
  // insert's container, for the array cell (column, row).
  DxfAffine cellMap(const Point3& base, long column, long row) const;
};

struct DxfEntityResult {
  // The entity in world coordinates; null when the record could not be read
  // and for an INSERT.
  std::unique_ptr<model::CEntity> entity;
  // ELLIPSE and SPLINE: the curve itself (entity is its polyline at the
  // reader's tolerance), flattened anew wherever a block places it.
  std::shared_ptr<const DxfCurve> curve;
  std::optional<DxfInsert> insert;  // an INSERT record that was read
  std::string layerName;            // group 8 as written (trimmed); "0" without group 8
  bool byBlock = false;             // colour 0: the colour of the placing insert
  bool flattened = false;           // curves became chords (curves, tilted coordinate systems)
  std::string failure;              // why nothing was read, naming the line
  bool inputEnded = false;          // the input ended inside the record
};

// Reads one record of a known kind (not Unknown). `typeLine` is the line of
// the record's "0" group, for messages; curves are flattened within
// `tolerance` (drawing units). A polyline comes back as read (its two-vertex
// form is turned into an arc or circle by CurveFromPolyline).
DxfEntityResult ReadDxfEntity(DxfEntityKind kind, DxfGroupReader& reader, long typeLine,
                              double tolerance = kDxfFlattenTolerance);

// The polyline of a flattened curve (colour ByLayer, width 0).
std::unique_ptr<model::CEntity> PolylineFromCurve(const FlattenedCurve& curve);

// A two-vertex polyline whose first segment is an arc, as arc or circle: an
// open one becomes the arc of its first segment; a closed one whose two
// segments are both arcs of one circle (and whose vertices start with equal
// widths) becomes that circle. Colour and, as width, the first vertex's
// start width are taken over. Null when the polyline keeps its form.
std::unique_ptr<model::CEntity> CurveFromPolyline(const model::CPolyLine& polyline);

}  // namespace quillon::formats
