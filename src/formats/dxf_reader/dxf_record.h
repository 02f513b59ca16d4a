#pragma once
// What the record readers of the ENTITIES section share: the groups every
// record has (layer, colour, extrusion), failure notes naming the line, and
// the walk over a record's groups. Internal to the DXF reader.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "formats/dxf_reader/dxf_entity_reader.h"
#include "settings/number_text.h"

namespace quillon::formats::dxf_detail {

using model::CEntity;

constexpr double kDegreesToRadians = model::kPi / 180.0;

// What every record shares: the layer group, the colour, the extrusion
// direction and the first problem met while reading the groups.
struct RecordState {
  DxfEntityResult& result;
  double tolerance = kDxfFlattenTolerance;
  bool hasLayer = false;
  settings::ColorIndex colour = settings::kColorByLayer;
  // The extrusion direction (210, 220, 230): the z axis of the object
  // coordinate system the 2D entities give their points in.
  Point3 extrusion{0.0, 0.0, 1.0};

  void fail(const DxfGroup& group, const std::string& why) {
    if (result.failure.empty()) result.failure = "line " + std::to_string(group.line) + ": " + why;
  }
  // Reads groups 8, 62 and 210..230, answering true when the group was one
  // of them.
  bool common(const DxfGroup& group) {
    if (group.code == 8) {
      result.layerName = group.value;
      hasLayer = true;
      return true;
    }
    if (group.code == 62) {
      // 1..255 and ByLayer are kept; 0 (ByBlock) is noted for blocks and
      // reads as ByLayer elsewhere; anything else (negative "layer off"
      // values, numbers beyond the 16-bit index) reads as ByLayer.
      const int value = DxfAtoi(group.value);
      colour = value >= 1 && value <= settings::kColorByLayer ? static_cast<settings::ColorIndex>(value)
                                                                : settings::kColorByLayer;
      result.byBlock = value == 0;
      return true;
    }
    if (group.code >= 210 && group.code <= 230 && group.code % 10 == 0) {
      if (auto v = settings::ParseNumber(group.value)) {
        (group.code == 210 ? extrusion.x : group.code == 220 ? extrusion.y : extrusion.z) = *v;
      }
      return true;
    }
    return false;
  }
  std::optional<double> real(const DxfGroup& group) {
    auto value = settings::ParseNumber(group.value);
    if (!value) fail(group, "\"" + group.value.substr(0, 40) + "\" is not a number (group " + std::to_string(group.code) + ")");
    return value;
  }
  // Takes the entity as the record's result. objectCoordinates: its points
  // are in the object coordinate system of the extrusion direction and are
  // carried into world coordinates here.
  bool finish(std::unique_ptr<CEntity> entity, long typeLine, std::string_view type, bool objectCoordinates) {
    (void)typeLine;
    (void)type;
    if (!result.failure.empty()) return false;
    // Without group 8 an entity is on the default layer.
    if (!hasLayer) result.layerName = "0";
    entity->setColour(colour);
    if (objectCoordinates && !IsWorldExtrusion(extrusion)) {
      bool flattened = false;
      entity = TransformEntity(*entity, OcsToWorld(extrusion), tolerance, &flattened);
      result.flattened = result.flattened || flattened;
    }
    result.entity = std::move(entity);
    return true;
  }
};

// Calls onGroup for every group of the record and stops before the next "0"
// group, which is pushed back. False when the input ended first.
template <typename OnGroup>
inline bool ForEachGroup(DxfGroupReader& reader, DxfEntityResult& result, OnGroup&& onGroup) {
  while (const DxfGroup* group = reader.next()) {
    if (group->code == 0) {
      reader.pushBack();
      return true;
    }
    onGroup(*group);
  }
  result.inputEnded = true;
  if (result.failure.empty()) result.failure = "the file ends inside the record";
  return false;
}

void ReadHatch(DxfGroupReader& reader, DxfEntityResult& result, long typeLine, double tolerance);
void ReadEllipse(DxfGroupReader& reader, DxfEntityResult& result, long typeLine, double tolerance);
void ReadSpline(DxfGroupReader& reader, DxfEntityResult& result, long typeLine, double tolerance);
void ReadInsert(DxfGroupReader& reader, DxfEntityResult& result, long typeLine);

}  // namespace quillon::formats::dxf_detail
