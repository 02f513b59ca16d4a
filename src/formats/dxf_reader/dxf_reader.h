#pragma once
// Reading an ASCII DXF file into a drawing. Understands the HEADER variables
// our writer produces ($CECOLOR, $CLAYER, $PLINEWID, $ORTHOMODE, $OSMODE),
// the active VPORT record (snap base, spacing, angle and flag), the LAYER
// table, and the entities LINE, ARC, CIRCLE, LWPOLYLINE, POLYLINE with VERTEX
// and SEQEND, SOLID, 3DFACE and solid-filled HATCH. Everything else is
// skipped. Coordinates are taken as they stand: no unit conversion.
//
// The reader keeps what it could read: an entity it cannot read is dropped
// and reading goes on; damage to the file's structure (a code line that is
// not a number, a malformed HEADER or TABLES section, the end of the file
// inside a section) ends the read with what was read so far.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/progress.h"

namespace quillon::model {
class CGraph;
}

namespace quillon::formats {

// What a read did, for callers that tell the user (the CLI) and for tests.
struct DxfReadReport {
  long entitiesRead = 0;     // entities added to the drawing
  long entitiesDropped = 0;  // records of a known type that could not be read
  // Records of types the reader does not know, by type name as written.
  std::map<std::string, long> skipped;
  bool opened = false;       // the file was opened (and the drawing cleared)
  bool sawSection = false;   // at least one "0"/"SECTION" was found
  bool stoppedEarly = false; // the read ended before the end of its data
  // Why the read stopped early, and the first few dropped records, each
  // naming its line.
  std::string stopReason;
  std::vector<std::string> dropReasons;
  long longLines = 0;        // lines cut at the reader's line length limit
};

// Reads the file into the drawing, replacing its layers and entities. The
// drawing is cleared only once the file is open and known to be ASCII DXF:
// a file that cannot be opened ("Can't open DXF file!") or a binary DXF file
// leaves the drawing as it was, and the answer is false. Otherwise the
// drawing holds what was read, at least one layer ("0" when the file named
// none) and a current layer, and is not marked modified. Answers false when
// the read ended early (see above). progress (may be empty) hears "Reading
// DXF file..." with the share of the file read.
bool ReadDxfFile(const std::string& fileName, model::CGraph& drawing, const platform::ProgressCallback& progress = {},
                 DxfReadReport* report = nullptr);

// The same for DXF text held in memory (tests, the fuzzer).
bool ReadDxfText(std::string_view text, model::CGraph& drawing, DxfReadReport* report = nullptr);

}  // namespace quillon::formats
