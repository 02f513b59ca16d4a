#include "formats/dxf/dxf_file.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "formats/save_job.h"
#include "model/graph.h"
#include "platform/key_value_store.h"

namespace quillon::formats {

namespace {

using Text = std::string_view;

// --- fixed text -----------------------------------------------------------------
// The blanks in front of codes and values differ from group to group; they
// are part of the format as readers of the other program's files know it.

constexpr Text kHeader2000Start[] = {"0", "SECTION", "2", "HEADER", "9", "$ACADVER", "1", "AC1014"};
constexpr Text kHeaderR10Start[] = {"0", "SECTION", "2", "HEADER", "9", "$ACADVER", "1", "AC1006"};
constexpr Text kInsBase[] = {"9", "$INSBASE", "10", "0.0", "20", "0.0", "30", "0.0"};

constexpr Text kClasses[] = {
    "  0", "SECTION", "  2", "CLASSES", "  0", "CLASS", "  1", "HATCH", "  2", "AcDbHatch",
    "  3", "\"ACAD_SEDONA\"", " 90", "        0", "280", "     0", "281", "     1", "  0", "ENDSEC"};

constexpr Text kTablesStart[] = {"0", "SECTION", "2", "TABLES"};
constexpr Text kSectionEnd[] = {"0", "ENDSEC"};

constexpr Text kVport2000Start[] = {
    "0", "TABLE", "  2", "VPORT", "  5", "8", "100", "AcDbSymbolTable", "70", "  1",
    "  0", "VPORT", "  5", "29", "100", "AcDbSymbolTableRecord", "100", "AcDbViewportTableRecord",
    "  2", "*ACTIVE", " 70", "  0"};
constexpr Text kVportR10Start[] = {"0", "TABLE", "  2", "VPORT", "70", "  1", "  0", "VPORT", "  2", "*ACTIVE", " 70", "  0"};
constexpr Text kVportCorners[] = {" 10", "0.0", " 20", "0.0", " 11", "1.0", " 21", "1.0"};
constexpr Text kVportMiddle[] = {" 16", "0.0", " 26", "0.0", " 36", "1.0", " 17", "0.0", " 27", "0.0", " 37", "0.0"};
constexpr Text kVportLens[] = {" 42", "50.0", " 43", "0.0", " 44", "0.0"};
constexpr Text kVportModes[] = {" 71", "   0", " 72", " 100", " 73", "   1", " 74", "   1"};
constexpr Text kVportEnd[] = {" 77", "   0", " 78", "   0", "  0", "ENDTAB"};

constexpr Text kLtype2000[] = {
    "0", "TABLE", "2", "LTYPE", "  5", "5", "100", "AcDbSymbolTable", " 70", "     3",
    "  0", "LTYPE", "  5", "14", "100", "AcDbSymbolTableRecord", "100", "AcDbLinetypeTableRecord",
    "  2", "BYBLOCK", " 70", "    0", "  3", "", " 72", "    65", " 73", "     0", " 40", "0.0",
    "  0", "LTYPE", "  5", "15", "100", "AcDbSymbolTableRecord", "100", "AcDbLinetypeTableRecord",
    "  2", "BYLAYER", " 70", "    0", "  3", "", " 72", "    65", " 73", "     0", " 40", "0.0",
    "0", "LTYPE", "  5", "16", "100", "AcDbSymbolTableRecord", "100", "AcDbLinetypeTableRecord",
    "2", "CONTINUOUS", "70", "0", "3", "Solid line", "72", "65", "73", "0", "40", "0.000",
    "0", "ENDTAB"};
constexpr Text kLtypeR10[] = {"0", "TABLE", "2", "LTYPE", "70", "1", "0", "LTYPE", "2", "CONTINUOUS", "70", "64",
                              "3", "Solid line", "72", "65", "73", "0", "40", "0.000", "0", "ENDTAB"};

constexpr Text kLayer2000Start[] = {"0", "TABLE", "2", "LAYER", "  5", "2", "100", "AcDbSymbolTable"};
constexpr Text kLayer2000Default[] = {"0", "LAYER", "  5", "2F", "100", "AcDbSymbolTableRecord", "100",
                                      "AcDbLayerTableRecord", "2", "0", "70", "0", "62", "7", "6", "CONTINUOUS"};
constexpr Text kLayer2000RecordNames[] = {"100", "AcDbSymbolTableRecord", "100", "AcDbLayerTableRecord"};
constexpr Text kLayerR10Start[] = {"0", "TABLE", "2", "LAYER"};
constexpr Text kLayerR10Default[] = {"0", "LAYER", "2", "0", "70", "64", "62", "7", "6", "CONTINUOUS"};
constexpr Text kLayerContinuous[] = {"6", "CONTINUOUS"};
constexpr Text kTableEnd[] = {"0", "ENDTAB"};

constexpr Text kOtherTables[] = {
    "  0", "TABLE", "  2", "STYLE", "  5", "3", "100", "AcDbSymbolTable", " 70", "     0", "  0", "ENDTAB",
    "  0", "TABLE", "  2", "VIEW", "  5", "6", "100", "AcDbSymbolTable", " 70", "     0", "  0", "ENDTAB",
    "  0", "TABLE", "  2", "UCS", "  5", "7", "100", "AcDbSymbolTable", " 70", "     0", "  0", "ENDTAB",
    "  0", "TABLE", "  2", "APPID", "  5", "9", "100", "AcDbSymbolTable", " 70", "     1",
    "  0", "APPID", "  5", "12", "100", "AcDbSymbolTableRecord", "100", "AcDbRegAppTableRecord",
    "  2", "ACAD", " 70", "     0", "  0", "ENDTAB",
    "  0", "TABLE", "  2", "DIMSTYLE", "  5", "A", "100", "AcDbSymbolTable", " 70", "     0", "  0", "ENDTAB",
    "  0", "TABLE", "  2", "BLOCK_RECORD", "  5", "1", "100", "AcDbSymbolTable", " 70", "     0",
    // No extension dictionaries: handles that point at objects not in the
    // file are taken by entities once a drawing has about 80 of them.
    "  0", "BLOCK_RECORD", "  5", "1F",
    "100", "AcDbSymbolTableRecord", "100", "AcDbBlockTableRecord", "  2", "*MODEL_SPACE",
    "  0", "BLOCK_RECORD", "  5", "1B",
    "100", "AcDbSymbolTableRecord", "100", "AcDbBlockTableRecord", "  2", "*PAPER_SPACE",
    "  0", "ENDTAB",
    "0", "ENDSEC"};

constexpr Text kBlocks2000[] = {
    "0", "SECTION", "2", "BLOCKS",
    "  0", "BLOCK", "  5", "20", "100", "AcDbEntity", "  8", "0", "100", "AcDbBlockBegin",
    "  2", "*MODEL_SPACE", " 70", "     0", " 10", "0.0", " 20", "0.0", " 30", "0.0",
    "  3", "*MODEL_SPACE", "  1", "",
    "  0", "ENDBLK", "  5", "21", "100", "AcDbEntity", "  8", "0", "100", "AcDbBlockEnd",
    "  0", "BLOCK", "  5", "1C", "100", "AcDbEntity", " 67", "     1", "  8", "0", "100", "AcDbBlockBegin",
    "  2", "*PAPER_SPACE", " 70", "     0", " 10", "0.0", " 20", "0.0", " 30", "0.0",
    "  3", "*PAPER_SPACE", "  1", "",
    "  0", "ENDBLK", "  5", "1D", "100", "AcDbEntity", " 67", "     1", "  8", "0", "100", "AcDbBlockEnd",
    "0", "ENDSEC",
    "0", "SECTION", "2", "ENTITIES"};

constexpr Text kTail2000[] = {
    "0", "ENDSEC",
    "  0", "SECTION", "  2", "OBJECTS",
    "  0", "DICTIONARY", "  5", "C", "100", "AcDbDictionary",
    "  3", "ACAD_GROUP", "350", "D", "  3", "ACAD_MLINESTYLE", "350", "17",
    // Each dictionary names its owner besides its reactor, or readers repair
    // the file; the style dictionary stays empty, as a "STANDARD" entry would
    // name a style object the file does not hold.
    "  0", "DICTIONARY", "  5", "D", "102", "{ACAD_REACTORS", "330", "C", "102", "}", "330", "C",
    "100", "AcDbDictionary",
    "  0", "DICTIONARY", "  5", "17", "102", "{ACAD_REACTORS", "330", "C", "102", "}", "330", "C",
    "100", "AcDbDictionary",
    "  0", "ENDSEC",
    "0", "EOF"};

constexpr Text kBlocksR10[] = {"0", "ENDSEC", "0", "SECTION", "2", "BLOCKS", "0", "ENDSEC",
                               "0", "SECTION", "2", "ENTITIES"};
constexpr Text kTailR10[] = {"0", "ENDSEC", "0", "EOF"};

constexpr double kRadiansToDegrees = 180.0 / 3.14159265358979323846;

// --- variable parts --------------------------------------------------------------

// The header box and the view derived from it, in the drawing unit.
struct View {
  double minX = 0.0, maxX = 0.0, minY = 0.0, maxY = 0.0;
};

View HeaderView(model::CGraph& drawing, const DxfWriter& file) {
  model::Box box;
  // The save job has filled the cache (margin, no raster); a direct call
  // without it measures with the raster, as the header asks.
  if (!drawing.getDrawingExtents(box, true, true)) box = model::Box{};
  DxfPoint lo = file.ToUnit(box.minX, box.minY);
  DxfPoint hi = file.ToUnit(box.maxX, box.maxY);
  return View{lo.x, hi.x, lo.y, hi.y};
}

// The drawing's extents: readers size their first view by them (LibreOffice
// crops to a guess, or refuses a large drawing, without them).
bool WriteExtents(DxfWriter& file, const View& view) {
  return file.Group("  9", "$EXTMIN") && file.Real(" 10", view.minX) && file.Real(" 20", view.minY) &&
         file.Group(" 30", "0.0") && file.Group("  9", "$EXTMAX") && file.Real(" 10", view.maxX) &&
         file.Real(" 20", view.maxY) && file.Group(" 30", "0.0");
}

// $INSBASE to the end of the HEADER section; seed only in the 2000 variant.
bool WriteHeaderBody(DxfWriter& file, model::CGraph& drawing, const View& view, const uint32_t* seed) {
  const auto& aids = drawing.aids;
  const model::CLayer* current = drawing.currentLayer();
  int colour = drawing.currentColour > settings::kColorByLayer ? settings::kColorByLayer : drawing.currentColour;
  bool ok = file.Lines(kInsBase);
  if (ok && seed) ok = file.Group("    9", "$HANDSEED") && file.Hex("  5", *seed);
  return ok && file.Group("  9", "$LIMMIN") && file.Real(" 10", view.minX) && file.Real(" 20", view.minY) &&
         file.Group("  9", "$LIMMAX") && file.Real(" 10", view.maxX) && file.Real(" 20", view.maxY) &&
         WriteExtents(file, view) &&
         file.Group("9", "$ORTHOMODE") && file.Int("70", aids.orthoOn ? 1 : 0) && file.Group("9", "$OSMODE") &&
         file.Int("70", aids.osnapOn ? aids.osnapModes : 0) && file.Group("9", "$CECOLOR") &&
         file.Int("62", colour) && file.Group("9", "$LTSCALE") && file.Group("40", "1.0") &&
         file.Group("9", "$CLAYER") && file.Name("8", current ? std::string_view(current->name()) : "0") &&
         file.Lines(kSectionEnd);
}

// The groups 12 to 25 of the active viewport: view centre, snap base, snap
// spacing twice (snap and grid).
bool WriteVportView(DxfWriter& file, model::CGraph& drawing, const View& view) {
  const auto& aids = drawing.aids;
  return file.Lines(kVportCorners) && file.Real(" 12", (view.minX + view.maxX) / 2.0) &&
         file.Real(" 22", (view.minY + view.maxY) / 2.0) && file.Real(" 13", aids.gridOrigin.x) &&
         file.Real(" 23", aids.gridOrigin.y) && file.Real(" 14", aids.gridSpacingX) &&
         file.Real(" 24", aids.gridSpacingY) && file.Real(" 15", aids.gridSpacingX) &&
         file.Real(" 25", aids.gridSpacingY) && file.Lines(kVportMiddle);
}

double ViewHeight(const View& view) { return std::fabs(view.maxY - view.minY); }
// Height divided by width; an empty box has no defined ratio, 1 keeps readers
// away from a division by zero.
double ViewRatio(const View& view) {
  double width = std::fabs(view.maxX - view.minX);
  return width > 0.0 ? ViewHeight(view) / width : 1.0;
}

bool WriteVport2000(DxfWriter& file, model::CGraph& drawing, const View& view) {
  int snap = drawing.aids.gridOn ? 1 : 0;
  return file.Lines(kVport2000Start) && WriteVportView(file, drawing, view) && file.Real(" 40", ViewHeight(view)) &&
         file.Real(" 41", ViewRatio(view)) && file.Lines(kVportLens) &&
         file.Real(" 50", drawing.aids.gridAngle * kRadiansToDegrees) && file.Group(" 51", " 0") &&
         file.Lines(kVportModes) && file.IntPadded(" 75", snap) && file.IntPadded(" 76", snap) &&
         file.Lines(kVportEnd);
}

bool WriteVportR10(DxfWriter& file, model::CGraph& drawing, const View& view) {
  int snap = drawing.aids.gridOn ? 1 : 0;
  return file.Lines(kVportR10Start) && WriteVportView(file, drawing, view) && file.Lines(kVportLens) &&
         file.Real(" 50", drawing.aids.gridAngle * kRadiansToDegrees) && file.Group(" 51", " 0") &&
         file.IntPadded(" 75", snap) && file.IntPadded(" 76", snap) && file.Real(" 40", ViewHeight(view)) &&
         file.Real(" 41", ViewRatio(view)) && file.Lines(kVportModes) && file.Lines(kVportEnd);
}

bool HasLayerZero(const model::CGraph& drawing) {
  for (const auto& layer : drawing.layers()) {
    if (platform::EqualsIgnoreCase(layer->name(), "0")) return true;
  }
  return false;
}

bool WriteLayers2000(DxfWriter& file, const model::CGraph& drawing) {
  bool needDefault = !HasLayerZero(drawing);
  long long count = static_cast<long long>(drawing.layers().size()) + (needDefault ? 1 : 0);
  if (!(file.Lines(kLayer2000Start) && file.Int("70", count))) return false;
  if (needDefault && !file.Lines(kLayer2000Default)) return false;
  for (const auto& layer : drawing.layers()) {
    if (!(file.Group("0", "LAYER") && file.Hex("  5", layer->handle()) && file.Lines(kLayer2000RecordNames) &&
          file.Name("2", layer->name()) && file.Group("70", "0") && file.Int("62", layer->colour()) &&
          file.Lines(kLayerContinuous))) {
      return false;
    }
  }
  return file.Lines(kTableEnd);
}

bool WriteLayersR10(DxfWriter& file, const model::CGraph& drawing) {
  // The default layer "0" is always listed, even beside a layer of that name.
  if (!(file.Lines(kLayerR10Start) && file.Int("70", static_cast<long long>(drawing.layers().size()) + 1) &&
        file.Lines(kLayerR10Default))) {
    return false;
  }
  for (const auto& layer : drawing.layers()) {
    if (!(file.Group("0", "LAYER") && file.Name("2", layer->name()) && file.Group("70", "64") &&
          file.Int("62", layer->colour()) && file.Lines(kLayerContinuous))) {
      return false;
    }
  }
  return file.Lines(kTableEnd);
}

enum class Variant { V2000, R10 };

size_t formatAheadFrom = kDefaultFormatAheadFrom;

bool WriteEntity(DxfWriter& file, const model::CEntity& entity, bool saveWidth, Variant variant) {
  return variant == Variant::V2000 ? entity.WriteDxf2000(file, saveWidth) : entity.WriteDxfR10(file, saveWidth);
}

// The entities in blocks: a second thread formats blocks 1, 3, 5 ... into
// text while the calling thread formats and writes blocks 0, 2, 4 ... and
// passes the other blocks' text on in between, so the file is the one a
// single loop writes. At most two blocks wait formatted.
class FormatAhead {
 public:
  static constexpr size_t kBlock = 4096;

  FormatAhead(const std::vector<const model::CEntity*>& entities, double pixelsPerUnit, bool saveWidth,
              Variant variant)
      : entities_(entities), saveWidth_(saveWidth), variant_(variant) {
    for (Slot& slot : slots_) slot.text.SetPixelsPerUnit(pixelsPerUnit);
    worker_ = std::thread([this] { run(); });
  }
  ~FormatAhead() {
    {
      const std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    worker_.join();
  }
  FormatAhead(const FormatAhead&) = delete;
  FormatAhead& operator=(const FormatAhead&) = delete;

  size_t blocks() const { return (entities_.size() + kBlock - 1) / kBlock; }

  // Writes block `block` (an odd one) to file: its text, then the progress
  // of its entities, then the failure of the entity that failed, if any.
  bool pass(size_t block, DxfWriter& file, SaveProgress* progress) {
    Slot& slot = slots_[(block / 2) % 2];
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return slot.state == State::Ready; });
    }
    if (slot.exception) std::rethrow_exception(slot.exception);
    bool ok = file.Formatted(slot.text.text());
    for (size_t i = 0; ok && i < slot.written; ++i) {
      if (progress && !progress->EntityWritten()) ok = file.Fail("cancelled");
    }
    if (ok && slot.failed) ok = file.Fail(slot.text.failed() ? slot.text.error() : "an entity could not be written");
    {
      const std::lock_guard lock(mutex_);
      slot.state = State::Free;
    }
    changed_.notify_all();
    return ok;
  }

 private:
  enum class State { Free, Ready };
  struct Slot {
    DxfTextWriter text;
    size_t written = 0;  // entities written whole
    bool failed = false;
    std::exception_ptr exception;
    State state = State::Free;
  };

  void run() {
    for (size_t block = 1; block < blocks(); block += 2) {
      Slot& slot = slots_[(block / 2) % 2];
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return slot.state == State::Free || stop_; });
        if (stop_) return;
      }
      format(block, slot);
      {
        const std::lock_guard lock(mutex_);
        slot.state = State::Ready;
      }
      changed_.notify_all();
    }
  }

  void format(size_t block, Slot& slot) {
    slot.text.clear();
    slot.written = 0;
    slot.failed = false;
    slot.exception = nullptr;
    try {
      const size_t end = std::min(entities_.size(), (block + 1) * kBlock);
      for (size_t i = block * kBlock; i < end; ++i) {
        if (!WriteEntity(slot.text, *entities_[i], saveWidth_, variant_)) {
          slot.failed = true;
          return;
        }
        ++slot.written;
      }
    } catch (...) {
      slot.exception = std::current_exception();
    }
  }

  const std::vector<const model::CEntity*>& entities_;
  const bool saveWidth_;
  const Variant variant_;
  Slot slots_[2];
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  std::thread worker_;  // last: started once everything it reads is set up
};

bool WriteEntities(DxfWriter& file, model::CGraph& drawing, bool saveWidth, SaveProgress* progress, Variant variant) {
  const auto write = [&](const model::CEntity& entity) {
    if (!WriteEntity(file, entity, saveWidth, variant))
      return file.Fail(file.failed() ? file.error() : "an entity could not be written");
    if (progress && !progress->EntityWritten()) return file.Fail("cancelled");
    return true;
  };
  size_t count = 0;
  for (const auto& layer : drawing.layers()) count += layer->count();
  if (formatAheadFrom == 0 || count < formatAheadFrom || std::thread::hardware_concurrency() < 2) {
    for (const auto& layer : drawing.layers()) {
      for (const auto& entity : *layer) {
        if (!write(*entity)) return false;
      }
    }
    return true;
  }
  std::vector<const model::CEntity*> entities;
  entities.reserve(count);
  for (const auto& layer : drawing.layers()) {
    for (const auto& entity : *layer) entities.push_back(entity.get());
  }
  FormatAhead ahead(entities, file.PixelsPerUnit(), saveWidth, variant);
  for (size_t block = 0; block < ahead.blocks(); ++block) {
    if (block % 2 == 1) {
      if (!ahead.pass(block, file, progress)) return false;
      continue;
    }
    const size_t end = std::min(entities.size(), (block + 1) * FormatAhead::kBlock);
    for (size_t i = block * FormatAhead::kBlock; i < end; ++i) {
      if (!write(*entities[i])) return false;
    }
  }
  return true;
}

bool SaveWith(SaveContext& context, bool (*write)(DxfWriter&, model::CGraph&, bool, SaveProgress*)) {
  DxfStreamWriter file(context.file);
  bool ok = write(file, context.drawing, context.saveWidth, &context.progress);
  if (!ok) context.error = file.error();
  return ok;
}

}  // namespace

void SetDxfFormatAheadFrom(size_t entities) { formatAheadFrom = entities; }

bool WriteDxf2000File(DxfWriter& file, model::CGraph& drawing, bool saveWidth, SaveProgress* progress) {
  file.SetPixelsPerUnit(drawing.pixelsPerUnit());
  drawing.setHandleCounter(drawing.handleCounter() + 1);
  const uint32_t seed = drawing.handleCounter();
  const View view = HeaderView(drawing, file);
  return file.Lines(kHeader2000Start) && WriteHeaderBody(file, drawing, view, &seed) && file.Lines(kClasses) &&
         file.Lines(kTablesStart) && WriteVport2000(file, drawing, view) && file.Lines(kLtype2000) &&
         WriteLayers2000(file, drawing) && file.Lines(kOtherTables) && file.Lines(kBlocks2000) &&
         WriteEntities(file, drawing, saveWidth, progress, Variant::V2000) && file.Lines(kTail2000) &&
         file.Flush();
}

bool WriteDxfR10File(DxfWriter& file, model::CGraph& drawing, bool saveWidth, SaveProgress* progress) {
  file.SetPixelsPerUnit(drawing.pixelsPerUnit());
  const View view = HeaderView(drawing, file);
  return file.Lines(kHeaderR10Start) && WriteHeaderBody(file, drawing, view, nullptr) && file.Lines(kTablesStart) &&
         WriteVportR10(file, drawing, view) && file.Lines(kLtypeR10) && WriteLayersR10(file, drawing) &&
         file.Lines(kBlocksR10) && WriteEntities(file, drawing, saveWidth, progress, Variant::R10) &&
         file.Lines(kTailR10) && file.Flush();
}

bool SaveDxf2000(SaveContext& context) { return SaveWith(context, &WriteDxf2000File); }
bool SaveDxfR10(SaveContext& context) { return SaveWith(context, &WriteDxfR10File); }

}  // namespace quillon::formats
