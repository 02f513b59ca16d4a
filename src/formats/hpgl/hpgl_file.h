#pragma once
// The HP-GL plot file of a drawing (format 3).

#include <string>

#include "formats/save_job.h"
#include "platform/result.h"

namespace quillon::model {
class CGraph;
}

namespace quillon::formats {

// "IN;SP1;" and every entity's commands, in plotter units of the drawing's
// unit. Fails for a drawing without entities, a coordinate no plotter could
// take, or cancellation.
Status WriteHpglFile(std::string& out, model::CGraph& drawing, SaveProgress* progress = nullptr);

bool SaveHpgl(SaveContext& context);

}  // namespace quillon::formats
