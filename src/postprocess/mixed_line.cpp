#include "postprocess/mixed_line.h"

#include "model/polyline.h"
#include "postprocess/line_width.h"

namespace quillon::postprocess {

int deleteShortLines(model::CLayer& layer, int minLength, const raster::CRaster* keepStrokes) {
  const double limit = static_cast<double>(minLength);
  return static_cast<int>(layer.removeIf([&](model::CEntity& entity) {
    const model::EntityType type = entity.type();
    if (type != model::EntityType::Line && type != model::EntityType::PolyLine) return false;
    // Measured for every line, so that each keeps its length up to date.
    if (entity.getLength() >= limit) return false;
    return keepStrokes == nullptr || type != model::EntityType::PolyLine ||
           !endsInCaps(static_cast<const model::CPolyLine&>(entity), *keepStrokes);
  }));
}

}  // namespace quillon::postprocess
