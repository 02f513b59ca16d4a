#pragma once
// The two DXF variants of a drawing: "AC1014" (format 1: handles, subclass
// markers, CLASSES, full TABLES, BLOCKS and OBJECTS) and "AC1006" (format 7:
// VPORT, LTYPE and LAYER tables, empty BLOCKS). Both write every layer in list
// order (hidden ones too) and each entity through its own WriteDxf2000 /
// WriteDxfR10 operation.
//
// Coordinates are converted from pixels to the drawing's unit. The header box
// is the drawing's cached extents (the save job fills that cache); the 2000
// variant increments the drawing's handle counter once for the handle seed.

#include <cstddef>

#include "formats/dxf/dxf_writer.h"

namespace quillon::model {
class CGraph;
}

namespace quillon::formats {

class SaveProgress;
struct SaveContext;

// Writes the whole file through `file`. Answers false at the first failed
// write or entity (file.error() says why); what was written so far stays in
// the writer. progress, when given, hears of every entity and may cancel.
bool WriteDxf2000File(DxfWriter& file, model::CGraph& drawing, bool saveWidth, SaveProgress* progress = nullptr);
bool WriteDxfR10File(DxfWriter& file, model::CGraph& drawing, bool saveWidth, SaveProgress* progress = nullptr);

// A drawing of this many entities or more (0: none) has part of them
// formatted on a second thread; the file is the same either way.
inline constexpr size_t kDefaultFormatAheadFrom = 16384;
void SetDxfFormatAheadFrom(size_t entities);

// The save job's writers of formats 1 and 7 (see SaveContext).
bool SaveDxf2000(SaveContext& context);
bool SaveDxfR10(SaveContext& context);

}  // namespace quillon::formats
