#include "postprocess/stage_common.h"

#include "settings/language_table.h"

namespace quillon::postprocess {

void StageProgress::begin(std::string_view key, std::string_view defaultText) const {
  if (sink_) sink_->stageBegin(settings::Text(key, defaultText));
}

}  // namespace quillon::postprocess
