#include "formats/dxf_reader/dxf_reader.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "formats/dxf_reader/dxf_entity_reader.h"
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
// Binary DXF files start with this sentinel.
constexpr std::string_view kBinarySentinel = "AutoCAD Binary DXF";
// Reasons kept for dropped records; the rest are only counted.
constexpr std::size_t kMaxDropReasons = 20;
// Distinct unknown type names kept in the report; further ones are pooled.
constexpr std::size_t kMaxSkippedNames = 32;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string ReadingText() { return settings::Text("GraphReadDXF", "Reading DXF file..."); }

// How a section step ended.
enum class StepEnd {
  Done,    // its closing group was read
  Failed,  // its structure was malformed: the read ends
  Ended,   // the input ended (or lost its structure) inside the step
};

class SectionReader {
 public:
  SectionReader(DxfGroupReader& groups, CGraph& drawing, DxfReadReport& report)
      : groups_(groups), drawing_(drawing), report_(report) {}

  // Reads the sections; true when the input ended outside a section or at
  // "0"/"EOF".
  bool run() {
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
      else end = skipSection();  // BLOCKS, CLASSES, OBJECTS, THUMBNAILIMAGE, ...
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
    CLayer* const current = drawing_.currentLayer();
    std::vector<std::unique_ptr<CLayer>> added;
    for (const auto& record : records) {
      CLayer* layer = drawing_.findLayer(record.name);
      if (!layer) {
        for (const auto& pending : added) {
          if (platform::EqualsIgnoreCase(pending->name(), record.name)) layer = pending.get();
        }
      }
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
      added.push_back(std::move(fresh));
    }
    // Each addLayer puts its layer in front: adding the last first leaves
    // them in table order.
    for (auto it = added.rbegin(); it != added.rend(); ++it) drawing_.addLayer(std::move(*it));
    if (current) drawing_.setCurrentLayerByHandle(current->handle());
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
        noteSkipped(type);
        if (!skipRecord()) return StepEnd::Ended;
        continue;
      }
      DxfEntityResult result = ReadDxfEntity(kind, groups_, line);
      if (!result.entity) {
        drop(result.failure.empty() ? "line " + std::to_string(line) + ": " + type + " could not be read"
                                    : result.failure);
        if (result.inputEnded) return StepEnd::Ended;
        continue;
      }
      addEntity(std::move(result));
    }
    return StepEnd::Ended;
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

  void addEntity(DxfEntityResult result) {
    std::unique_ptr<model::CEntity> entity = std::move(result.entity);
    if (entity->type() == model::EntityType::PolyLine) {
      if (auto curve = CurveFromPolyline(static_cast<const model::CPolyLine&>(*entity))) entity = std::move(curve);
    }
    CLayer* layer = nullptr;
    if (!result.layerName.empty()) {
      layer = drawing_.findLayer(result.layerName);
      if (!layer) {
        CLayer* const current = drawing_.currentLayer();
        layer = drawing_.setCurrentLayerByName(result.layerName);
        if (current) drawing_.setCurrentLayerByHandle(current->handle());
      }
    } else {
      // An empty layer name: the current layer, or "0" while there is none.
      layer = drawing_.currentLayer() ? drawing_.currentLayer() : drawing_.setCurrentLayerByName("0");
    }
    if (layer && layer->append(std::move(entity))) ++report_.entitiesRead;
  }

  DxfGroupReader& groups_;
  CGraph& drawing_;
  DxfReadReport& report_;
  std::optional<std::string> currentLayerName_;
};

// The drawing once reading is over: a layer and a current layer exist, the
// extents are measured anew and the drawing counts as unmodified.
void FinishDrawing(CGraph& drawing, const std::optional<std::string>& currentLayerName) {
  drawing.markModified(true);  // invalidates the cached extents
  if (currentLayerName && !currentLayerName->empty()) drawing.setCurrentLayerByName(*currentLayerName);
  if (drawing.layers().empty()) drawing.setCurrentLayerByName("0");
  if (!drawing.currentLayer()) drawing.setCurrentLayerByIndex(0);
  drawing.markModified(false);
}

bool ReadGroups(DxfGroupReader& groups, CGraph& drawing, DxfReadReport& report) {
  drawing.selectAll(false);
  drawing.removeAllLayers();
  SectionReader reader(groups, drawing, report);
  const bool ok = reader.run();
  report.longLines = groups.longLines();
  FinishDrawing(drawing, reader.currentLayerName());
  return ok;
}

}  // namespace

bool ReadDxfFile(const std::string& fileName, CGraph& drawing, const platform::ProgressCallback& progress,
                 DxfReadReport* report) {
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
  char head[32] = {};
  const std::size_t headLength = std::fread(head, 1, sizeof head, file.get());
  if (std::string_view(head, headLength).substr(0, kBinarySentinel.size()) == kBinarySentinel) {
    platform::ShowMessage(settings::Text("GraphBinaryDXFFail", "Binary DXF files cannot be read; save as ASCII DXF."));
    return false;
  }
  if (std::fseek(file.get(), 0, SEEK_SET) != 0) {
    platform::ShowMessage(cannotOpen);
    return false;
  }
  out.opened = true;

  const std::string text = ReadingText();
  platform::Report(progress, text, 0);
  DxfGroupReader groups(file.get(), static_cast<long long>(info.st_size), progress, text);
  const bool ok = ReadGroups(groups, drawing, out);
  file.reset();
  platform::Report(progress, text, 100);
  return ok;
}

bool ReadDxfText(std::string_view text, CGraph& drawing, DxfReadReport* report) {
  DxfReadReport local;
  DxfReadReport& out = report ? *report : local;
  out = DxfReadReport{};
  if (text.substr(0, kBinarySentinel.size()) == kBinarySentinel) return false;
  out.opened = true;
  DxfGroupReader groups(text);
  return ReadGroups(groups, drawing, out);
}

}  // namespace quillon::formats
