#include "postprocess/stage_common.h"

#include <cstdint>

#include "settings/language_table.h"

namespace quillon::postprocess {

void StageProgress::begin(std::string_view key, std::string_view defaultText) const {
  if (sink_) sink_->stageBegin(settings::Text(key, defaultText));
}

bool runEntityStage(model::CLayer& layer, std::string_view key, std::string_view defaultText,
                    platform::ProgressSink* sink, const std::function<void(model::CEntity&)>& work) {
  const StageProgress stage(sink);
  stage.begin(key, defaultText);
  const uint32_t n = layer.recount();
  uint32_t i = 0;
  for (const auto& entity : layer) {
    ++i;
    work(*entity);
    if (stage.hasSink()) {
      if (stage.stopRequested()) return false;
      stage.progress(static_cast<int>(static_cast<uint64_t>(i) * 100 / n));
    }
  }
  stage.end();
  return true;
}

bool runPolylineStage(model::CLayer& layer, std::string_view key, std::string_view defaultText,
                      platform::ProgressSink* sink, const std::function<void(model::CPolyLine&)>& work) {
  return runEntityStage(layer, key, defaultText, sink, [&](model::CEntity& entity) {
    if (entity.type() == model::EntityType::PolyLine) work(static_cast<model::CPolyLine&>(entity));
  });
}

}  // namespace quillon::postprocess
