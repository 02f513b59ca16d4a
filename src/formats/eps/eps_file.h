#pragma once
// The Encapsulated PostScript file of a drawing (format 5).

#include <string>

#include "formats/save_job.h"
#include "platform/result.h"

namespace quillon::model {
class CGraph;
}

namespace quillon::formats {

// The whole file, coordinates in the drawing's unit read as points. Fails for
// a drawing without entities, a coordinate no reader could take, or cancellation.
Status WriteEpsFile(std::string& out, model::CGraph& drawing, bool saveWidth, SaveProgress* progress = nullptr);

bool SaveEps(SaveContext& context);

}  // namespace quillon::formats
