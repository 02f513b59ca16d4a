#include "postprocess/mixed_line.h"

#include "model/polyline.h"
#include "postprocess/line_width.h"

namespace quillon::postprocess {

int deleteShortLines(model::CLayer& layer, int minLength, const raster::CRaster* keepStrokes) {
  const double limit = static_cast<double>(minLength);
  int deleted = 0;
  for (model::CEntity* entity = layer.first(); entity != nullptr;) {
    model::CEntity* following = entity->next();
    const model::EntityType type = entity->type();
    const bool kept = keepStrokes != nullptr && type == model::EntityType::PolyLine &&
                      endsInCaps(static_cast<const model::CPolyLine&>(*entity), *keepStrokes);
    if ((type == model::EntityType::Line || type == model::EntityType::PolyLine) && entity->getLength() < limit &&
        !kept) {
      layer.remove(entity);
      ++deleted;
    }
    entity = following;
  }
  return deleted;
}

}  // namespace quillon::postprocess
