#pragma once
// Reading a DXF file (ASCII or binary) into a drawing. Understands the
// HEADER variables our writer produces ($CECOLOR, $CLAYER, $PLINEWID,
// $ORTHOMODE, $OSMODE), the active VPORT record (snap base, spacing, angle
// and flag), the LAYER table, the BLOCKS section, and the entities LINE, ARC,
// CIRCLE, LWPOLYLINE, POLYLINE with VERTEX and SEQEND, SOLID, 3DFACE,
// solid-filled HATCH, ELLIPSE, SPLINE and INSERT. Everything else is skipped.
// Coordinates are taken as they stand: no unit conversion.
//
// 2D entities given in an object coordinate system (an extrusion direction
// other than +z) are placed in world coordinates by the arbitrary axis
// algorithm and seen from above. ELLIPSE and SPLINE become polylines whose
// chords stay within the flattening tolerance of the curve (0.1 drawing
// units unless the caller says otherwise); so do circles and arcs that a
// placement does not keep circular (a tilted coordinate system, an INSERT
// with unequal x and y scales).
//
// An INSERT places the entities of its block with its position, scales,
// rotation and column/row array; nested inserts are followed up to
// kMaxInsertDepth levels. Entities of the block on layer "0" go to the
// insert's layer, entities with colour ByBlock take the insert's colour.
// A block that inserts itself, nesting beyond the limit and an expansion
// beyond kMaxPlacedEntities entities (or kMaxPlacedVertices vertices, or
// kMaxInsertCells array cells) are refused with a note naming the line; the
// drawing keeps what was placed before.
//
// The reader keeps what it could read: an entity it cannot read is dropped
// and reading goes on; damage to the file's structure (a code line that is
// not a number, a malformed HEADER or TABLES section, the end of the file
// inside a section) ends the read with what was read so far.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "formats/dxf_reader/dxf_curves.h"
#include "platform/progress.h"

namespace quillon::model {
class CGraph;
}

namespace quillon::formats {

inline constexpr int kMaxInsertDepth = 32;
inline constexpr long kMaxPlacedEntities = 1000000;
inline constexpr long kMaxPlacedVertices = 4000000;
inline constexpr long kMaxInsertCells = 10000000;

// The bounds of block expansion. The defaults suit real drawings (about
// 0.7 GiB at the vertex bound); the fuzzer passes smaller ones, since a
// sanitized build needs about three times the memory.
struct DxfReadLimits {
  int insertDepth = kMaxInsertDepth;
  long placedEntities = kMaxPlacedEntities;
  long placedVertices = kMaxPlacedVertices;
  long insertCells = kMaxInsertCells;
};

// What happened to the records of one known entity type.
struct DxfTypeCounts {
  long read = 0;       // kept as they are
  long flattened = 0;  // kept as polylines of chords (curves, tilted or unevenly scaled arcs)
  long expanded = 0;   // INSERTs whose block was placed
  long dropped = 0;    // could not be read or placed
  long placed = 0;     // copies placed into the drawing by INSERTs
};

// What a read did, for callers that tell the user (the CLI, the
// application's Open Vector) and for tests.
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
  bool binary = false;       // the file was binary DXF
  // By type name (capitals), for every known type met in the file, in model
  // space and in block definitions alike.
  std::map<std::string, DxfTypeCounts> types;
  long entitiesPlaced = 0;   // of entitiesRead, those placed by INSERTs
  bool expansionCapped = false;  // an expansion limit was reached
};

// The report as lines for the user: one per entity type with what was read,
// flattened, expanded, placed, dropped or skipped, then why the read stopped
// early when it did.
std::vector<std::string> DescribeDxfRead(const DxfReadReport& report);

// Reads the file into the drawing, replacing its layers and entities. Only
// regular files are opened. The drawing is cleared only once the file is
// open: a file that cannot be opened ("Can't open DXF file!") leaves the
// drawing as it was, and the answer is false. Otherwise the
// drawing holds what was read, at least one layer ("0" when the file named
// none) and a current layer, and is not marked modified. Answers false when
// the read ended early (see above). progress (may be empty) hears "Reading
// DXF file..." with the share of the file read.
// Curves are flattened within `tolerance` drawing units.
bool ReadDxfFile(const std::string& fileName, model::CGraph& drawing, const platform::ProgressCallback& progress = {},
                 DxfReadReport* report = nullptr, double tolerance = kDxfFlattenTolerance);

// The same for DXF data held in memory (tests, the fuzzer), ASCII or binary.
bool ReadDxfText(std::string_view text, model::CGraph& drawing, DxfReadReport* report = nullptr,
                 double tolerance = kDxfFlattenTolerance, const DxfReadLimits& limits = {});

}  // namespace quillon::formats
