#pragma once
// One entity record of a DXF ENTITIES section into a model entity. Each
// reader is called after the record's "0"/type group, reads the record's
// groups up to the next "0" group and pushes that group back, so the caller
// reads it again. Groups a reader does not know (handles, subclass markers,
// extended data, extrusion, ...) are passed over.

#include <memory>
#include <string>
#include <string_view>

#include "formats/dxf_reader/dxf_group_reader.h"
#include "model/entity.h"

namespace quillon::model {
class CPolyLine;
}

namespace quillon::formats {

enum class DxfEntityKind { Unknown, Line, Arc, Circle, LwPolyline, Polyline, Solid, Face3d, Hatch };

// The kind of a record type name (without regard to case); Unknown for
// every type the reader skips.
DxfEntityKind DxfEntityKindOf(std::string_view typeName);

struct DxfEntityResult {
  std::unique_ptr<model::CEntity> entity;  // null when the record could not be read
  std::string layerName;                    // group 8 as written (trimmed)
  std::string failure;                      // why entity is null, naming the line
  bool inputEnded = false;                  // the input ended inside the record
};

// Reads one record of a known kind (not Unknown). `typeLine` is the line of
// the record's "0" group, for messages. A polyline comes back as read (its
// two-vertex form is turned into an arc or circle by CurveFromPolyline).
DxfEntityResult ReadDxfEntity(DxfEntityKind kind, DxfGroupReader& reader, long typeLine);

// A two-vertex polyline whose first segment is an arc, as arc or circle: an
// open one becomes the arc of its first segment; a closed one whose two
// segments are both arcs of one circle (and whose vertices start with equal
// widths) becomes that circle. Colour and, as width, the first vertex's
// start width are taken over. Null when the polyline keeps its form.
std::unique_ptr<model::CEntity> CurveFromPolyline(const model::CPolyLine& polyline);

}  // namespace quillon::formats
