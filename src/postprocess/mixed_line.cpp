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
    // The length first: the cap check reads the raster and most lines are long.
    if ((type == model::EntityType::Line || type == model::EntityType::PolyLine) && entity->getLength() < limit &&
        !(keepStrokes != nullptr && type == model::EntityType::PolyLine &&
          endsInCaps(static_cast<const model::CPolyLine&>(*entity), *keepStrokes))) {
      layer.remove(entity);
      ++deleted;
    }
    entity = following;
  }
  return deleted;
}

}  // namespace quillon::postprocess
