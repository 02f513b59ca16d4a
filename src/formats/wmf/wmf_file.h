#pragma once
// The placeable Windows metafile of a drawing (format 2).

#include <string>

#include "formats/save_job.h"
#include "platform/result.h"

namespace quillon::model {
class CGraph;
}

namespace quillon::formats {

// The whole file. Fails for a drawing without entities, a drawing beyond the
// 16-bit coordinates of the format, a coordinate that is not a number, or
// cancellation.
Status WriteWmfFile(std::string& out, model::CGraph& drawing, bool saveWidth, SaveProgress* progress = nullptr);

bool SaveWmf(SaveContext& context);

}  // namespace quillon::formats
