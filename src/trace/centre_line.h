#pragma once
// Centre-line tracing of a thinned skeleton: junction pixels (three or more
// branches meet) are moved to a junction raster, then every remaining chain is
// followed pixel by pixel into a TracePath that records its ends, the first
// pixel on either side of its start and the pixels where the direction turns.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/progress.h"
#include "raster/raster.h"
#include "trace/thinning.h"
#include "trace/trace_path.h"

namespace quillon::trace {

// Indexed by NeighbourCode: true when a skeleton pixel with that neighbourhood
// is a junction.
inline constexpr std::array<bool, 256> JunctionTable = detail::CodeTable({
    26,  27,  37,  49,  50,  53,  58,  60,  69,  74,  76,  77,  78,  81,  82,  83,  85,
    88,  89,  90,  92,  93,  94,  101, 113, 114, 115, 117, 119, 133, 138, 140, 141, 142,
    154, 161, 162, 163, 164, 165, 166, 167, 173, 177, 181, 186, 197, 202, 204, 210, 229,
});

// Finds the first ink neighbour of (x, y) in the order north-west, north,
// north-east, west, east, south-west, south, south-east (outside the raster is
// background). On success moves (x, y) onto it and returns its direction (a
// NeighbourBit); returns 0 and leaves (x, y) unchanged when there is none.
uint8_t Step(const raster::CRaster& raster, int& x, int& y);

// The direction opposite to a NeighbourBit direction (1<->128, 2<->64, 4<->32, 8<->16).
inline uint8_t OppositeDirection(uint8_t direction) {
  return direction == 0 ? uint8_t{0} : static_cast<uint8_t>(128u / direction);
}

// Trace centre initialise, reporting "Trace center initialize" (percent per
// row when it grows). Classifies every skeleton pixel as the skeleton was when
// the stage began; junctions are set in `junctions` (same size, cleared) and
// cleared in `skeleton`. False when cancelled (finished(10)) or when its row
// buffers cannot be allocated (finished(20)).
bool TraceCentreInitialise(raster::CRaster& skeleton, raster::CRaster& junctions, platform::ProgressSink* sink);

// Answers true for a traced path that the run is certain to turn into
// nothing, so that it never joins the path list.
using PathFilter = std::function<bool(const TracePath&)>;

// Trace centre line, reporting "Trace center line" (percent per row when it
// changes). Appends one open path per chain to `paths`, clearing every pixel
// it follows from `skeleton`; paths that `drop` (when given and set) answers
// true for are left out; lone pixels are listed only with keepLonePixels. False when cancelled: finished(10) is delivered and
// every path of the list is deleted. With alongsideBatch > 0 the chains are
// followed on a second thread, handed over in batches of about that many
// paths (or twice as many points), while the calling thread runs `drop`, fills the list and talks to
// the sink: the result is the same, in the same order.
bool TraceCentreLine(raster::CRaster& skeleton, const raster::CRaster& junctions, TracePathList& paths,
                     platform::ProgressSink* sink, const PathFilter* drop = nullptr, bool keepLonePixels = true,
                     std::size_t alongsideBatch = 0);

}  // namespace quillon::trace
