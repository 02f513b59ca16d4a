#include "formats/hpgl/hpgl_file.h"

#include "formats/hpgl/hpgl_writer.h"
#include "formats/writer_support.h"
#include "model/entity.h"
#include "model/graph.h"

namespace quillon::formats {

Status WriteHpglFile(std::string& out, model::CGraph& drawing, SaveProgress* progress) {
  Box extents;
  if (Status ready = PrepareDrawing(drawing, extents); !ready) return ready;
  HpglWriter writer(drawing.pixelsPerUnit(), static_cast<int>(drawing.unit));
  writer.Header();
  Status status = VisitEntities(
      drawing, progress, [&](const model::CEntity& entity) { return entity.WriteHpgl(writer); },
      [&] { return writer.error(); });
  if (!status) return status;
  out = writer.text();
  return Status::Ok();
}

bool SaveHpgl(SaveContext& context) {
  std::string text;
  return FinishSave(context, WriteHpglFile(text, context.drawing, &context.progress), text);
}

}  // namespace quillon::formats
