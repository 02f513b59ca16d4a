#pragma once
// The one-page PDF file of a drawing (format 6).

#include <ctime>
#include <string>

#include "formats/save_job.h"
#include "platform/result.h"

namespace quillon::model {
class CGraph;
}

namespace quillon::formats {

// The whole file: the drawing fitted into a page of the destination size,
// created at `when` (local time). Fails for a drawing without entities, a
// destination size that is not greater than 0, an entity that could not be
// written, or cancellation.
Status WritePdfFile(std::string& out, model::CGraph& drawing, bool saveWidth, const DestinationSize& destination,
                    std::time_t when, SaveProgress* progress = nullptr);

bool SavePdf(SaveContext& context);

}  // namespace quillon::formats
