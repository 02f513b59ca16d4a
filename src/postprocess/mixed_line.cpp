#include "postprocess/mixed_line.h"

namespace quillon::postprocess {

int deleteShortLines(model::CLayer& layer, int minLength) {
  const double limit = static_cast<double>(minLength);
  int deleted = 0;
  for (model::CEntity* entity = layer.first(); entity != nullptr;) {
    model::CEntity* following = entity->next();
    const model::EntityType type = entity->type();
    if ((type == model::EntityType::Line || type == model::EntityType::PolyLine) && entity->getLength() < limit) {
      layer.remove(entity);
      ++deleted;
    }
    entity = following;
  }
  return deleted;
}

}  // namespace quillon::postprocess
