#include "formats/eps/eps_file.h"

#include "formats/eps/eps_writer.h"
#include "formats/writer_support.h"
#include "model/entity.h"
#include "model/graph.h"

namespace quillon::formats {

Status WriteEpsFile(std::string& out, model::CGraph& drawing, bool saveWidth, SaveProgress* progress) {
  Box extents;
  if (Status ready = PrepareDrawing(drawing, extents); !ready) return ready;
  EpsWriter writer(drawing.pixelsPerUnit(), saveWidth);
  writer.Header(extents);
  Status status = VisitEntities(
      drawing, progress, [&](const model::CEntity& entity) { return entity.WriteEps(writer); },
      [&] { return writer.error(); });
  if (!status) return status;
  writer.End();
  if (writer.failed()) return Status::Fail(writer.error());
  out = writer.text();
  return Status::Ok();
}

bool SaveEps(SaveContext& context) {
  std::string text;
  return FinishSave(context, WriteEpsFile(text, context.drawing, context.saveWidth, &context.progress), text);
}

}  // namespace quillon::formats
