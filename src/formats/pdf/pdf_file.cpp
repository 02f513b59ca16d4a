#include "formats/pdf/pdf_file.h"

#include "formats/pdf/pdf_writer.h"
#include "formats/writer_support.h"
#include "model/entity.h"
#include "model/graph.h"

namespace quillon::formats {

Status WritePdfFile(std::string& out, model::CGraph& drawing, bool saveWidth, const DestinationSize& destination,
                    std::time_t when, SaveProgress* progress) {
  Box extents;
  if (Status ready = PrepareDrawing(drawing, extents); !ready) return ready;
  PdfWriter writer(drawing.pixelsPerUnit(), saveWidth);
  if (Status begun = writer.Begin(extents, destination.width, destination.height, destination.unit); !begun) {
    return begun;
  }
  Status status = VisitEntities(
      drawing, progress, [&](const model::CEntity& entity) { return entity.WritePdf(writer); },
      [&] { return writer.content().error(); });
  if (!status) return status;
  return writer.Finish(out, when);
}

bool SavePdf(SaveContext& context) {
  std::string bytes;
  Status status = WritePdfFile(bytes, context.drawing, context.saveWidth, context.destination, std::time(nullptr),
                               &context.progress);
  return FinishSave(context, status, bytes);
}

}  // namespace quillon::formats
