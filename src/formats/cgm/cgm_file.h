#pragma once
// The binary CGM file of a drawing (format 9).

#include <string>
#include <string_view>

#include "formats/save_job.h"
#include "platform/result.h"

namespace quillon::model {
class CGraph;
}

namespace quillon::formats {

// The whole metafile; title is the output file's base name. Fails for a
// drawing without entities, a coordinate that is not a number, or cancellation.
Status WriteCgmFile(std::string& out, std::string_view title, model::CGraph& drawing, SaveProgress* progress = nullptr);

bool SaveCgm(SaveContext& context);

}  // namespace quillon::formats
