#include "formats/cgm/cgm_file.h"

#include <filesystem>

#include "formats/cgm/cgm_writer.h"
#include "formats/writer_support.h"
#include "model/entity.h"
#include "model/graph.h"

namespace quillon::formats {

Status WriteCgmFile(std::string& out, std::string_view title, model::CGraph& drawing, SaveProgress* progress) {
  Box extents;
  if (Status ready = PrepareDrawing(drawing, extents); !ready) return ready;
  CgmWriter writer;
  writer.Header(extents, title);
  Status status = VisitEntities(
      drawing, progress, [&](const model::CEntity& entity) { return entity.WriteCgm(writer); },
      [&] { return writer.error(); });
  if (!status) return status;
  writer.End();
  if (writer.failed()) return Status::Fail(writer.error());
  out = writer.bytes();
  return Status::Ok();
}

bool SaveCgm(SaveContext& context) {
  std::string bytes;
  const std::string title = std::filesystem::path(context.fileName).stem().string();
  return FinishSave(context, WriteCgmFile(bytes, title, context.drawing, &context.progress), bytes);
}

}  // namespace quillon::formats
