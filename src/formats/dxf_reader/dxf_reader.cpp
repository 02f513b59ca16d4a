#include "formats/dxf_reader/dxf_reader.h"

#include <sys/stat.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "formats/dxf_reader/dxf_entity_reader.h"
#include "formats/dxf_reader/dxf_geometry.h"
#include "formats/dxf_reader/dxf_group_reader.h"
#include "model/graph.h"
#include "model/polyline.h"
#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "settings/language_table.h"
#include "settings/number_text.h"

namespace quillon::formats {

namespace {

using model::CGraph;
using model::CLayer;

constexpr double kDegreesToRadians = model::kPi / 180.0;
// Reasons kept for dropped records; the rest are only counted.
constexpr std::size_t kMaxDropReasons = 20;
// Distinct unknown type names kept in the report; further ones are pooled.
constexpr std::size_t kMaxSkippedNames = 32;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string ReadingText() { return settings::Text("GraphReadDXF", "Reading DXF file..."); }

// Hashing and comparing names without regard to ASCII case, looked up by
// string_view without building a key.
struct NameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view name) const {
    std::size_t h = 14695981039346656037ull;  // FNV-1a
    for (char c : name) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return h;
  }
};
struct NameEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return DxfNameIs(a, b); }
};

// How a section step ended.
enum class StepEnd {
  Done,    // its closing group was read
  Failed,  // its structure was malformed: the read ends
  Ended,   // the input ended (or lost its structure) inside the step
};

class SectionReader {
 public:
  SectionReader(DxfGroupReader& groups, CGraph& drawing, DxfReadReport& report, double tolerance,
                const DxfReadLimits& limits)
      : groups_(groups), drawing_(drawing), report_(report), tolerance_(tolerance), limits_(limits) {}

  // Reads the sections; true when the input ended outside a section or at
  // "0"/"EOF". INSERTs met before their block was defined are placed at the
  // end.
  bool run() {
    const bool ok = readSections();
    blocksRead_ = true;
    for (Deferred& d : deferred_) placeTopLevel(d.insert, d.layerName, d.byBlock, d.line);
    deferred_.clear();
    return ok;
  }

  // The layer the drawing should have current once reading is over (null:
  // the drawing decides).
  CLayer* currentLayer() const { return current_; }

 private:
  bool readSections() {
    while (const DxfGroup* g = groups_.next()) {
      if (g->code != 0) continue;
      if (DxfNameIs(g->value, "EOF")) return true;
      if (!DxfNameIs(g->value, "SECTION")) continue;
      report_.sawSection = true;
      const long sectionLine = g->line;
      const DxfGroup* name = groups_.next();
      if (!name) return ended("the file ends after SECTION");
      if (name->code != 2) {
        return failed("line " + std::to_string(sectionLine) + ": SECTION without its name (group 2)");
      }
      const std::string section = name->value;
      StepEnd end;
      if (DxfNameIs(section, "HEADER")) end = readHeader();
      else if (DxfNameIs(section, "TABLES")) end = readTables();
      else if (DxfNameIs(section, "ENTITIES")) end = readEntities();
      else if (DxfNameIs(section, "BLOCKS")) end = readBlocks();
      else end = skipSection();  // CLASSES, OBJECTS, THUMBNAILIMAGE, ...
      if (end == StepEnd::Failed) return false;
      if (end == StepEnd::Ended) return ended("the file ends inside the " + section.substr(0, 40) + " section");
    }
    // The end of the input outside a section is a normal end; a code line
    // that is not a number is not.
    if (groups_.status() == DxfGroupReader::Status::BadCode) return ended("");
    return true;
  }

  // The $CLAYER variable, applied once everything is read so that the layer
  // list keeps the order of the LAYER table.
 public:
  const std::optional<std::string>& currentLayerName() const { return currentLayerName_; }

 private:
  bool failed(std::string reason) {
    report_.stoppedEarly = true;
    if (report_.stopReason.empty()) report_.stopReason = std::move(reason);
    return false;
  }
  bool ended(std::string reason) {
    if (groups_.status() == DxfGroupReader::Status::BadCode) reason = groups_.problem();
    else if (reason.empty()) reason = "the file ends early";
    return failed(reason + (groups_.status() == DxfGroupReader::Status::BadCode
                                ? ""
                                : " (after line " + std::to_string(groups_.linesRead()) + ")"));
  }

  // "0"/"SECTION" and "0"/"EOF" never occur inside a section: a section
  // whose closing "0"/"ENDSEC" is missing ends there.
  bool isSectionBoundary(const DxfGroup& g) {
    if (g.code == 0 && (DxfNameIs(g.value, "SECTION") || DxfNameIs(g.value, "EOF"))) {
      groups_.pushBack();
      return true;
    }
    return false;
  }
  static bool isEndSec(const DxfGroup& g) { return g.code == 0 && DxfNameIs(g.value, "ENDSEC"); }

  StepEnd skipSection() {
    while (const DxfGroup* g = groups_.next()) {
      if (isEndSec(*g) || isSectionBoundary(*g)) return StepEnd::Done;
    }
    return StepEnd::Ended;
  }

  // --- HEADER ------------------------------------------------------------------
  StepEnd readHeader() {
    while (const DxfGroup* g = groups_.next()) {
      if (isEndSec(*g) || isSectionBoundary(*g)) return StepEnd::Done;
      if (g->code != 9) continue;
      const std::string variable = g->value;
      const long line = g->line;
      int expected = 0;
      if (DxfNameIs(variable, "$CECOLOR")) expected = 62;
      else if (DxfNameIs(variable, "$CLAYER")) expected = 8;
      else if (DxfNameIs(variable, "$PLINEWID")) expected = 40;
      else if (DxfNameIs(variable, "$ORTHOMODE") || DxfNameIs(variable, "$OSMODE")) expected = 70;
      else continue;
      const DxfGroup* value = groups_.next();
      if (!value) return StepEnd::Ended;
      const std::string bad = "line " + std::to_string(line) + ": " + variable + " is not followed by a valid group " +
                              std::to_string(expected);
      if (value->code != expected) {
        failed(bad);
        return StepEnd::Failed;
      }
      if (expected == 8) {
        currentLayerName_ = value->value;
        continue;
      }
      if (expected == 40) {
        const auto width = settings::ParseNumber(value->value);
        if (!width) {
          failed(bad);
          return StepEnd::Failed;
        }
        drawing_.currentWidth = *width > 0.0 ? *width : 0.0;
        continue;
      }
      const auto number = settings::ParseInteger(value->value);
      if (!number) {
        failed(bad);
        return StepEnd::Failed;
      }
      if (DxfNameIs(variable, "$CECOLOR")) {
        drawing_.currentColour =
            *number < 1 || *number > settings::kColorByLayer ? settings::kColorByLayer
                                                             : static_cast<settings::ColorIndex>(*number);
      } else if (DxfNameIs(variable, "$ORTHOMODE")) {
        drawing_.aids.orthoOn = *number != 0 ? 1 : 0;
      } else {
        drawing_.aids.osnapModes = *number < 1 ? 0 : *number;
        drawing_.aids.osnapOn = *number > 0 ? 1 : 0;
      }
    }
    return StepEnd::Ended;
  }

  // --- TABLES ------------------------------------------------------------------
  StepEnd readTables() {
    while (const DxfGroup* g = groups_.next()) {
      if (isEndSec(*g) || isSectionBoundary(*g)) return StepEnd::Done;
      if (g->code != 0 || !DxfNameIs(g->value, "TABLE")) continue;
      const long line = g->line;
      const DxfGroup* name = groups_.next();
      if (!name) return StepEnd::Ended;
      if (name->code != 2) {
        failed("line " + std::to_string(line) + ": TABLE without its name (group 2)");
        return StepEnd::Failed;
      }
      StepEnd end;
      if (DxfNameIs(name->value, "VPORT")) end = readViewports();
      else if (DxfNameIs(name->value, "LAYER")) end = readLayers();
      else end = skipTable();
      if (end != StepEnd::Done) return end;
    }
    return StepEnd::Ended;
  }

  // Reads up to "0"/"ENDTAB"; answers the "0" group of each record through
  // onRecord, which reads the record's groups.
  template <typename OnRecord>
  StepEnd forEachRecord(OnRecord&& onRecord) {
    while (const DxfGroup* g = groups_.next()) {
      if (g->code != 0) continue;
      if (DxfNameIs(g->value, "ENDTAB")) return StepEnd::Done;
      if (isSectionBoundary(*g)) return StepEnd::Done;
      if (DxfNameIs(g->value, "ENDSEC") || DxfNameIs(g->value, "TABLE")) {
        groups_.pushBack();  // a table without ENDTAB ends at the next table or the end of the section
        return StepEnd::Done;
      }
      if (!onRecord(g->value)) return StepEnd::Ended;
    }
    return StepEnd::Ended;
  }

  StepEnd skipTable() {
    return forEachRecord([](const std::string&) { return true; });
  }

  // Reads a record's groups up to the next "0" group (pushed back); false
  // when the input ended first.
  template <typename OnGroup>
  bool recordGroups(OnGroup&& onGroup) {
    while (const DxfGroup* g = groups_.next()) {
      if (g->code == 0) {
        groups_.pushBack();
        return true;
      }
      onGroup(*g);
    }
    return false;
  }

  StepEnd readViewports() {
    bool accepted = false;
    return forEachRecord([&](const std::string& type) {
      if (accepted || !DxfNameIs(type, "VPORT")) return true;
      bool active = false;
      std::optional<double> baseX, baseY, spacingX, spacingY, angle;
      std::optional<int> snap;
      const bool complete = recordGroups([&](const DxfGroup& g) {
        switch (g.code) {
          case 2: active = DxfNameIs(g.value, "*ACTIVE"); break;
          case 13: baseX = settings::ParseNumber(g.value); break;
          case 23: baseY = settings::ParseNumber(g.value); break;
          case 14: spacingX = settings::ParseNumber(g.value); break;
          case 24: spacingY = settings::ParseNumber(g.value); break;
          case 50: angle = settings::ParseNumber(g.value); break;
          case 75: snap = DxfAtoi(g.value); break;
          default: break;
        }
      });
      if (!complete) return false;
      if (active) {
        accepted = true;
        auto& aids = drawing_.aids;
        if (baseX) aids.gridOrigin.x = *baseX;
        if (baseY) aids.gridOrigin.y = *baseY;
        if (spacingX) aids.gridSpacingX = *spacingX;
        if (spacingY) aids.gridSpacingY = *spacingY;
        if (angle) aids.gridAngle = *angle * kDegreesToRadians;
        if (snap) aids.gridOn = *snap != 0 ? 1 : 0;
      }
      return true;
    });
  }

  StepEnd readLayers() {
    // Records are collected and applied when the table ends, so that new
    // layers take the table's order in the layer list.
    struct Record {
      std::string name;
      settings::ColorIndex colour;
    };
    std::vector<Record> records;
    const StepEnd end = forEachRecord([&](const std::string& type) {
      if (!DxfNameIs(type, "LAYER")) return true;
      Record record{{}, model::kDefaultLayerColour};
      int colour = 7;
      const bool complete = recordGroups([&](const DxfGroup& g) {
        if (g.code == 2 && !g.value.empty()) record.name = g.value;
        else if (g.code == 62) colour = DxfAtoi(g.value);
      });
      // Colours outside 1..255 (0, or negative for a layer switched off)
      // become 7; the layer stays visible.
      record.colour = static_cast<settings::ColorIndex>(colour <= 0 || colour >= 256 ? 7 : colour);
      if (!record.name.empty()) records.push_back(std::move(record));
      return complete;
    });
    applyLayers(records);
    return end;
  }

  template <typename Records>
  void applyLayers(const Records& records) {
    std::vector<std::unique_ptr<CLayer>> added;
    for (const auto& record : records) {
      CLayer* layer = findLayer(record.name);
      if (layer) {
        layer->setHandle(drawing_.takeHandle());
        layer->setName(record.name);
        layer->setColour(record.colour);
        layer->setVisible(true);
        continue;
      }
      auto fresh = std::make_unique<CLayer>(record.name);
      fresh->setHandle(drawing_.takeHandle());
      fresh->setColour(record.colour);
      layersByName_.emplace(record.name, fresh.get());
      added.push_back(std::move(fresh));
    }
    // Each addLayer puts its layer in front: adding the last first leaves
    // them in table order; with no current layer yet, the table's first
    // becomes current.
    for (auto it = added.rbegin(); it != added.rend(); ++it) drawing_.addLayer(std::move(*it));
    if (!current_ && !drawing_.layers().empty()) current_ = drawing_.layers().front().get();
  }

  // --- layers by name ------------------------------------------------------------
  CLayer* findLayer(std::string_view name) const {
    // Entities mostly come in runs on one layer.
    if (lastLayer_ && name == lastLayer_->name()) return lastLayer_;
    const auto it = layersByName_.find(name);
    if (it != layersByName_.end()) lastLayer_ = it->second;
    return it == layersByName_.end() ? nullptr : it->second;
  }

  // The layer of that name, created (in front, in the colour of new layers)
  // when missing. The current layer is not changed.
  CLayer* layerNamed(std::string_view name) {
    if (CLayer* layer = findLayer(name)) return layer;
    auto layer = std::make_unique<CLayer>(std::string(name));
    layer->setColour(drawing_.newLayerColour);
    CLayer* added = drawing_.addLayer(std::move(layer));
    layersByName_.emplace(std::string(name), added);
    return added;
  }

  // --- ENTITIES ------------------------------------------------------------------
  StepEnd readEntities() {
    while (const DxfGroup* g = groups_.next()) {
      if (g->code != 0) continue;
      if (isEndSec(*g) || isSectionBoundary(*g)) return StepEnd::Done;
      const std::string type = g->value;
      const long line = g->line;
      const DxfEntityKind kind = DxfEntityKindOf(type);
      if (kind == DxfEntityKind::Unknown) {
        // SEQEND closing an INSERT's attributes is structure, not an entity.
        if (!DxfNameIs(type, "SEQEND")) noteSkipped(type);
        if (!skipRecord()) return StepEnd::Ended;
        continue;
      }
      DxfEntityResult result = ReadDxfEntity(kind, groups_, line, tolerance_);
      DxfTypeCounts& counts = report_.types[std::string(DxfEntityKindName(kind))];
      if (result.insert) {
        if (!blocksRead_) {
          deferred_.push_back(Deferred{std::move(*result.insert), result.layerName, result.byBlock, line});
        } else {
          placeTopLevel(*result.insert, result.layerName, result.byBlock, line);
        }
        continue;
      }
      if (!result.entity) {
        ++counts.dropped;
        drop(result.failure.empty() ? "line " + std::to_string(line) + ": " + type + " could not be read"
                                    : result.failure);
        if (result.inputEnded) return StepEnd::Ended;
        continue;
      }
      ++(result.flattened ? counts.flattened : counts.read);
      addEntity(std::move(result.entity), result.layerName);
    }
    return StepEnd::Ended;
  }

  // --- BLOCKS --------------------------------------------------------------------
  // One entity of a block definition, in the block's coordinates.
  struct BlockItem {
    std::unique_ptr<model::CEntity> entity;
    std::shared_ptr<const DxfCurve> curve;  // ELLIPSE, SPLINE: flattened where placed
    std::optional<DxfInsert> insert;
    std::string layerName;
    settings::ColorIndex colour = settings::kColorByLayer;
    bool byBlock = false;
    DxfEntityKind kind = DxfEntityKind::Unknown;
    long line = 0;
  };
  struct Block {
    Point3 base;
    std::vector<BlockItem> items;
  };

  StepEnd readBlocks() {
    blocksRead_ = true;
    while (const DxfGroup* g = groups_.next()) {
      if (isEndSec(*g) || isSectionBoundary(*g)) return StepEnd::Done;
      if (g->code != 0 || !DxfNameIs(g->value, "BLOCK")) continue;
      if (!readBlock()) return StepEnd::Ended;
    }
    return StepEnd::Ended;
  }

  // A BLOCK record and its entities up to ENDBLK; false when the input
  // ended. The first definition of a name counts.
  bool readBlock() {
    std::string name;
    Point3 base;
    if (!recordGroups([&](const DxfGroup& g) {
          const auto value = [&] { return settings::ParseNumber(g.value).value_or(0.0); };
          switch (g.code) {
            case 2: name = g.value; break;
            case 10: base.x = value(); break;
            case 20: base.y = value(); break;
            case 30: base.z = value(); break;
            default: break;
          }
        })) {
      return false;
    }
    Block block;
    block.base = base;
    while (const DxfGroup* g = groups_.next()) {
      // recordGroups left a "0" group to read.
      if (DxfNameIs(g->value, "ENDBLK")) {
        if (!skipRecord()) return false;
        break;
      }
      if (DxfNameIs(g->value, "BLOCK") || isEndSec(*g) || isSectionBoundary(*g)) {
        groups_.pushBack();  // a block without ENDBLK ends at what comes next
        break;
      }
      const std::string type = g->value;
      const long line = g->line;
      const DxfEntityKind kind = DxfEntityKindOf(type);
      if (kind == DxfEntityKind::Unknown) {
        if (!DxfNameIs(type, "SEQEND")) noteSkipped(type);
        if (!skipRecord()) return false;
        continue;
      }
      DxfEntityResult result = ReadDxfEntity(kind, groups_, line, tolerance_);
      DxfTypeCounts& counts = report_.types[std::string(DxfEntityKindName(kind))];
      if (!result.entity && !result.insert) {
        ++counts.dropped;
        drop(result.failure.empty() ? "line " + std::to_string(line) + ": " + type + " could not be read"
                                    : result.failure);
        if (result.inputEnded) return false;
        continue;
      }
      // Records of a definition count where INSERTs place them.
      BlockItem item;
      item.colour = result.entity ? result.entity->colour() : settings::kColorByLayer;
      if (result.entity && result.entity->type() == model::EntityType::PolyLine) {
        if (auto curve = CurveFromPolyline(static_cast<const model::CPolyLine&>(*result.entity))) {
          result.entity = std::move(curve);
        }
      }
      item.entity = std::move(result.entity);
      item.curve = std::move(result.curve);
      item.insert = std::move(result.insert);
      item.layerName = std::move(result.layerName);
      item.byBlock = result.byBlock;
      item.kind = kind;
      item.line = line;
      block.items.push_back(std::move(item));
    }
    if (groups_.status() != DxfGroupReader::Status::Ok) return false;
    if (!name.empty()) blocks_.try_emplace(name, std::move(block));
    return true;
  }

  // --- INSERT ----------------------------------------------------------------------
  // Where a block's entities go: the map from block to world coordinates,
  // the layer that takes entities of layer "0" (empty at the top), the colour
  // ByBlock entities take, and the nesting depth.
  struct Placement {
    DxfAffine map;
    std::string layer0;
    settings::ColorIndex byBlockColour = settings::kColorByLayer;
    int depth = 0;
  };
  struct Deferred {
    DxfInsert insert;
    std::string layerName;
    bool byBlock = false;
    long line = 0;
  };

  void placeTopLevel(const DxfInsert& insert, const std::string& layerName, bool byBlock, long line) {
    std::vector<const Block*> stack;
    if (placeInsert(insert, layerName, byBlock, line, Placement{}, stack, nullptr)) ++report_.types["INSERT"].expanded;
  }

  // An INSERT that cannot be placed. Records inside blocks count and are
  // told once, however often their block is placed.
  void refuseInsert(const BlockItem* source, std::string reason) {
    if (source && !noted_.insert(source).second) return;
    ++report_.types["INSERT"].dropped;
    if (reason.empty()) ++report_.entitiesDropped;
    else drop(std::move(reason));
  }

  // Places the block of an insert; false (with a note) when it cannot be
  // placed at all. source: the block record of a nested insert.
  bool placeInsert(const DxfInsert& insert, const std::string& insertLayer, bool byBlock, long line,
                   const Placement& parent, std::vector<const Block*>& stack, const BlockItem* source) {
    if (capped_) {
      refuseInsert(source, {});
      return false;
    }
    const std::string where = "line " + std::to_string(line) + ": INSERT of block \"" +
                              insert.blockName.substr(0, 40) + "\"";
    const auto it = blocks_.find(std::string_view(insert.blockName));
    if (it == blocks_.end()) {
      refuseInsert(source, where + " that is not defined");
      return false;
    }
    const Block& block = it->second;
    if (std::find(stack.begin(), stack.end(), &block) != stack.end()) {
      refuseInsert(source, where + ": the block inserts itself; that insert is left out");
      return false;
    }
    if (parent.depth >= limits_.insertDepth) {
      refuseInsert(source, where + ": blocks nested deeper than " + std::to_string(limits_.insertDepth) +
                               " levels are left out");
      return false;
    }
    if (source && counted_.insert(source).second) ++report_.types["INSERT"].expanded;
    Placement child;
    child.layer0 = !parent.layer0.empty() && CLayer::sameName(insertLayer, "0") ? parent.layer0 : insertLayer;
    child.byBlockColour = byBlock ? parent.byBlockColour : insert.colour;
    child.depth = parent.depth + 1;
    stack.push_back(&block);
    for (long row = 0; row < insert.rows && !capped_; ++row) {
      for (long column = 0; column < insert.columns && !capped_; ++column) {
        if (++cells_ > limits_.insertCells) {
          cap(line, std::to_string(limits_.insertCells) + " array cells");
          break;
        }
        child.map = parent.map.after(insert.cellMap(block.base, column, row));
        for (const BlockItem& item : block.items) {
          if (capped_) break;
          if (item.insert) placeInsert(*item.insert, item.layerName, item.byBlock, item.line, child, stack, &item);
          else placeItem(item, child);
        }
      }
    }
    stack.pop_back();
    return true;
  }

  void placeItem(const BlockItem& item, const Placement& placement) {
    const std::string& layerName =
        !placement.layer0.empty() && CLayer::sameName(item.layerName, "0") ? placement.layer0 : item.layerName;
    std::unique_ptr<model::CEntity> entity;
    if (item.curve) {
      const FlattenedCurve flat = FlattenCurve(*item.curve, placement.map, tolerance_);
      if (flat.points.size() >= 2) entity = PolylineFromCurve(flat);
    } else if (item.entity) {
      entity = TransformEntity(*item.entity, placement.map, tolerance_);
    }
    if (!entity) return;
    entity->setColour(item.colour);
    if (item.byBlock) {
      settings::ColorIndex colour = placement.byBlockColour;
      // ByLayer of the insert means the insert's layer, wherever the entity goes.
      if (colour == settings::kColorByLayer && !placement.layer0.empty() &&
          !CLayer::sameName(layerName, placement.layer0)) {
        colour = layerNamed(placement.layer0)->colour();
      }
      entity->setColour(colour);
    }
    placedVertices_ += std::max(1, entity->getVertexCount());
    if (report_.entitiesPlaced >= limits_.placedEntities) {
      cap(item.line, std::to_string(limits_.placedEntities) + " placed entities");
      return;
    }
    if (placedVertices_ > limits_.placedVertices) {
      cap(item.line, std::to_string(limits_.placedVertices) + " placed vertices");
      return;
    }
    if (addEntity(std::move(entity), layerName)) {
      ++report_.entitiesPlaced;
      ++report_.types[std::string(DxfEntityKindName(item.kind))].placed;
    }
  }

  void cap(long line, const std::string& limit) {
    capped_ = true;
    report_.expansionCapped = true;
    report_.dropReasons.insert(report_.dropReasons.begin(),
                               "line " + std::to_string(line) + ": block expansion stopped at the limit of " + limit +
                                   "; further INSERTs are not placed");
  }

  bool skipRecord() {
    while (const DxfGroup* g = groups_.next()) {
      if (g->code == 0) {
        groups_.pushBack();
        return true;
      }
    }
    return false;
  }

  void noteSkipped(const std::string& type) {
    const std::string name = report_.skipped.size() < kMaxSkippedNames || report_.skipped.count(type)
                                 ? type.substr(0, 40)
                                 : std::string("(other)");
    ++report_.skipped[name];
  }

  void drop(std::string reason) {
    ++report_.entitiesDropped;
    if (report_.dropReasons.size() < kMaxDropReasons) report_.dropReasons.push_back(std::move(reason));
  }

  // Appends the entity to its layer (created when missing); a two-vertex
  // polyline that is an arc or a circle becomes one.
  bool addEntity(std::unique_ptr<model::CEntity> entity, const std::string& layerName) {
    if (entity->type() == model::EntityType::PolyLine) {
      if (auto curve = CurveFromPolyline(static_cast<const model::CPolyLine&>(*entity))) entity = std::move(curve);
    }
    CLayer* layer = nullptr;
    if (!layerName.empty()) {
      layer = layerNamed(layerName);
    } else {
      // An empty layer name: the current layer, or "0" while there is none.
      if (!current_) current_ = layerNamed("0");
      layer = current_;
    }
    if (!layer->append(std::move(entity))) return false;
    ++report_.entitiesRead;
    return true;
  }

  DxfGroupReader& groups_;
  CGraph& drawing_;
  DxfReadReport& report_;
  double tolerance_;
  const DxfReadLimits limits_;
  std::optional<std::string> currentLayerName_;
  CLayer* current_ = nullptr;
  mutable CLayer* lastLayer_ = nullptr;
  std::unordered_map<std::string, CLayer*, NameHash, NameEqual> layersByName_;
  std::unordered_map<std::string, Block, NameHash, NameEqual> blocks_;
  bool blocksRead_ = false;
  std::vector<Deferred> deferred_;
  std::unordered_set<const BlockItem*> noted_, counted_;
  long cells_ = 0;
  long placedVertices_ = 0;
  bool capped_ = false;
};

// The drawing once reading is over: a layer and a current layer exist, the
// extents are measured anew and the drawing counts as unmodified.
void FinishDrawing(CGraph& drawing, CLayer* current, const std::optional<std::string>& currentLayerName) {
  drawing.markModified(true);  // invalidates the cached extents
  if (current) drawing.setCurrentLayerByHandle(current->handle());
  if (currentLayerName && !currentLayerName->empty()) drawing.setCurrentLayerByName(*currentLayerName);
  if (drawing.layers().empty()) drawing.setCurrentLayerByName("0");
  if (!drawing.currentLayer()) drawing.setCurrentLayerByIndex(0);
  drawing.markModified(false);
}

bool ReadGroups(DxfGroupReader& groups, CGraph& drawing, DxfReadReport& report, double tolerance,
                const DxfReadLimits& limits = {}) {
  drawing.selectAll(false);
  drawing.removeAllLayers();
  if (!(tolerance > 0.0)) tolerance = kDxfFlattenTolerance;
  SectionReader reader(groups, drawing, report, tolerance, limits);
  const bool ok = reader.run();
  report.longLines = groups.longLines();
  report.binary = groups.binary();
  FinishDrawing(drawing, reader.currentLayer(), reader.currentLayerName());
  return ok;
}

}  // namespace

bool ReadDxfFile(const std::string& fileName, CGraph& drawing, const platform::ProgressCallback& progress,
                 DxfReadReport* report, double tolerance) {
  DxfReadReport local;
  DxfReadReport& out = report ? *report : local;
  out = DxfReadReport{};
  if (fileName.empty()) return false;

  // The file is opened and checked before the drawing is touched: a file that
  // cannot be read must not cost the user the drawing.
  const std::string cannotOpen = settings::Text("GraphOpenDXFFail", "Can't open DXF file!");
  FilePtr file(std::fopen(fileName.c_str(), "rb"));
  struct stat info {};
  if (!file || fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
    // Directories, devices and pipes are refused: they are not DXF files and
    // some of them never end.
    platform::ShowMessage(cannotOpen);
    return false;
  }
  out.opened = true;

  const std::string text = ReadingText();
  platform::Report(progress, text, 0);
  DxfGroupReader groups(file.get(), static_cast<long long>(info.st_size), progress, text);
  const bool ok = ReadGroups(groups, drawing, out, tolerance);
  file.reset();
  platform::Report(progress, text, 100);
  return ok;
}

bool ReadDxfText(std::string_view text, CGraph& drawing, DxfReadReport* report, double tolerance,
                 const DxfReadLimits& limits) {
  DxfReadReport local;
  DxfReadReport& out = report ? *report : local;
  out = DxfReadReport{};
  out.opened = true;
  DxfGroupReader groups(text);
  return ReadGroups(groups, drawing, out, tolerance, limits);
}

std::vector<std::string> DescribeDxfRead(const DxfReadReport& report) {
  std::vector<std::string> lines;
  for (const auto& [type, counts] : report.types) {
    std::string line;
    const auto part = [&line](long count, const char* what) {
      if (count == 0) return;
      line += (line.empty() ? "" : ", ") + std::to_string(count) + " " + what;
    };
    part(counts.read, "read");
    part(counts.flattened, "flattened to polylines");
    part(counts.expanded, "expanded");
    part(counts.placed, "placed by INSERT");
    part(counts.dropped, "dropped");
    if (!line.empty()) lines.push_back(type + ": " + line);
  }
  for (const auto& [type, count] : report.skipped) {
    lines.push_back(type + ": " + std::to_string(count) + " skipped (not read)");
  }
  return lines;
}

}  // namespace quillon::formats
