#pragma once
// The SVG file of a drawing (format 4). The compressed form (format 8) is
// this text, packed by the save job.

#include <string>

#include "formats/save_job.h"
#include "platform/result.h"

namespace quillon::model {
class CGraph;
}

namespace quillon::formats {

// The whole SVG text: header, every layer's entities in order, closing tag.
// Coordinates are converted into the destination unit (the drawing is not
// changed). Fails for a drawing without entities, a destination size that is
// not greater than 0, a coordinate no reader could take, or cancellation.
Status WriteSvgFile(std::string& out, model::CGraph& drawing, const DestinationSize& destination, bool saveWidth,
                    SaveProgress* progress = nullptr);

// The save job's writer of formats 4 and 8 (see SaveContext).
bool SaveSvg(SaveContext& context);

}  // namespace quillon::formats
