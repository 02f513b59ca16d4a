#include "formats/svg/svg_file.h"

#include <cmath>

#include "formats/svg/svg_writer.h"
#include "formats/writer_support.h"
#include "model/entity.h"
#include "model/graph.h"

namespace quillon::formats {

namespace {
model::Unit DestinationUnit(int unit) {
  return unit >= 0 && unit <= 2 ? static_cast<model::Unit>(unit) : model::Unit::Pixel;
}
}  // namespace

Status WriteSvgFile(std::string& out, model::CGraph& drawing, const DestinationSize& destination, bool saveWidth,
                    SaveProgress* progress) {
  if (!(destination.width > 0.0) || !(destination.height > 0.0) || !std::isfinite(destination.width) ||
      !std::isfinite(destination.height)) {
    return Status::Fail("the destination size must be greater than 0");
  }
  Box extents;
  if (Status ready = PrepareDrawing(drawing, extents); !ready) return ready;
  SvgWriter writer(drawing.pixelsPerUnit(DestinationUnit(destination.unit)), extents.minY + extents.maxY, saveWidth);
  writer.Header(extents, destination.width, destination.height, UnitSuffix(destination.unit));
  Status status = VisitEntities(
      drawing, progress, [&](const model::CEntity& entity) { return entity.WriteSvg(writer); },
      [&] { return writer.error(); });
  if (!status) return status;
  writer.End();
  if (writer.failed()) return Status::Fail(writer.error());
  out = writer.text();
  return Status::Ok();
}

bool SaveSvg(SaveContext& context) {
  std::string text;
  Status status = WriteSvgFile(text, context.drawing, context.destination, context.saveWidth, &context.progress);
  return FinishSave(context, status, text);
}

}  // namespace quillon::formats
