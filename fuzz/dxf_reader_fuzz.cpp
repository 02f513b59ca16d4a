// Feeds arbitrary bytes to the DXF reader, ASCII or binary (the seeds hold
// blocks with nested and self inserts, arrays, ellipses, splines, tilted
// coordinate systems and hatch edges of every kind, in both encodings): it
// must end without crashing, hanging or growing without bound, and leave a
// drawing with a current layer that the writer can save again. Block
// expansion is bounded a tenth as high as for users: at the real bounds a
// sanitized build needs over 2 GiB, more than the fuzzer allows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "formats/dxf/dxf_file.h"
#include "formats/dxf/dxf_writer.h"
#include "formats/dxf_reader/dxf_reader.h"
#include "model/graph.h"
#include "platform/message_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillon;
  static platform::NullMessageSink quiet;
  static platform::ScopedMessageSink installed(quiet);

  static const formats::DxfReadLimits limits{formats::kMaxInsertDepth, formats::kMaxPlacedEntities / 10,
                                             formats::kMaxPlacedVertices / 10, formats::kMaxInsertCells / 10};
  model::CGraph drawing;
  formats::DxfReadReport report;
  (void)formats::ReadDxfText(std::string_view(reinterpret_cast<const char*>(data), size), drawing, &report,
                             formats::kDxfFlattenTolerance, limits);
  if (drawing.layers().empty() || drawing.currentLayer() == nullptr) std::abort();
  if (report.entitiesRead != static_cast<long>(drawing.totalCount())) std::abort();

  // What was read must be writable (a write may refuse values, never crash).
  if (drawing.totalCount() > 0) {
    model::Box box;
    (void)drawing.getDrawingExtents(box, true, false);
    formats::DxfCollectingWriter out;
    (void)formats::WriteDxf2000File(out, drawing, true);
  }
  return 0;
}
