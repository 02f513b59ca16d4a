#include "formats/wmf/wmf_file.h"

#include "formats/wmf/wmf_writer.h"
#include "formats/writer_support.h"
#include "model/entity.h"
#include "model/graph.h"

namespace quillon::formats {

Status WriteWmfFile(std::string& out, model::CGraph& drawing, bool saveWidth, SaveProgress* progress) {
  Box extents;
  if (Status ready = PrepareDrawing(drawing, extents); !ready) return ready;
  WmfWriter writer(extents.minY + extents.maxY, saveWidth);
  writer.Begin(extents);
  Status status = VisitEntities(
      drawing, progress, [&](const model::CEntity& entity) { return entity.WriteWmf(writer); },
      [&] { return writer.error(); });
  if (!status) return status;
  return writer.Finish(out);
}

bool SaveWmf(SaveContext& context) {
  std::string bytes;
  return FinishSave(context, WriteWmfFile(bytes, context.drawing, context.saveWidth, &context.progress), bytes);
}

}  // namespace quillon::formats
