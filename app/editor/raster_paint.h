#pragma once
// Painting on the document raster with the erase and fill tools, and the
// undo entry that keeps only the overwritten pixel runs.
//
// A PixelPainter paints spans of pixels in one colour and remembers, for
// every row it touches, the row as it was the first time. finish() turns
// the painted spans into runs of overwritten bytes: the entry exchanges
// those bytes with the raster's on undo and redo, so a long brush drag or a
// large polygon costs the pixels it changed, not a copy of the raster.
// Runs cover whole bytes; for 1 and 4-bit rasters the neighbours in a
// partly painted byte are saved with it, which is exact because undo and
// redo always meet the raster in the state the edit left.

#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "raster/raster.h"
#include "raster/raster_undo.h"

namespace quillon::editor {

struct Rgb;

// What a tool paints with.
struct PaintColour {
  // Erase: the raster's background colour. Fill: the colour, for a 1-bit
  // raster ink when it is dark (brightness below 128, as CRaster::setColour),
  // for a palette raster the nearest palette entry.
  static PaintColour background(const raster::CRaster& raster);
  static PaintColour fill(const raster::CRaster& raster, const Rgb& colour);

  int index = 0;  // 1, 4, 8 bits: the bit or palette index
  uint8_t blue = 255;
  uint8_t green = 255;
  uint8_t red = 255;
};

// The undo entry of an erase or fill edit.
class PixelRunsEntry final : public raster::RasterUndoEntry {
 public:
  struct Run {
    int row = 0;
    int firstByte = 0;
    std::vector<uint8_t> bytes;  // the other state's bytes of the run
  };
  PixelRunsEntry(std::string name, raster::CRaster& target, std::vector<Run> runs);
  uint64_t memoryBytes() const override;
  const std::vector<Run>& runs() const { return runs_; }

 protected:
  void exchange() override;

 private:
  std::vector<Run> runs_;
};

class PixelPainter {
 public:
  PixelPainter(raster::CRaster& raster, PaintColour colour) : raster_(raster), colour_(colour) {}

  // Paints columns [first, last] of the row, clipped to the raster.
  void paintSpan(int row, int first, int last);
  // Paints the square of pixels [column − half, column + half] × [row − half, row + half].
  void paintSquare(int column, int row, int half);
  // Paints the polygon through the pixel positions: every pixel whose
  // centre lies inside (even-odd, sampled on each row) or on an edge.
  void paintPolygon(std::span<const std::pair<int, int>> points);

  bool painted() const { return !rows_.empty(); }
  // The entry holding the overwritten runs; null when nothing was painted.
  // The painter is spent afterwards.
  std::unique_ptr<PixelRunsEntry> finish(std::string name);

 private:
  struct RowRecord {
    std::vector<uint8_t> original;            // the used bytes of the row before the first paint
    std::vector<std::pair<int, int>> spans;   // painted column ranges, inclusive
  };
  void paintLine(int c0, int r0, int c1, int r1);

  raster::CRaster& raster_;
  PaintColour colour_;
  std::map<int, RowRecord> rows_;
};

}  // namespace quillon::editor
