#include "raster/raster_undo.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "settings/language_table.h"

namespace quillon::raster {

const UndoName UndoName::Thresholding{"UndoRasterThresholding", "Thresholding"};
const UndoName UndoName::AdjustBrightContrast{"UndoRasterAdjustBrightContrast", "Brightness & Contrast"};
const UndoName UndoName::FillHoles{"UndoRasterFillHoles", "Fill holes"};
const UndoName UndoName::MedianFilter{"UndoRasterMedianFilter", "Median Filter"};
const UndoName UndoName::Filter{"UndoRasterFilter", "Filter"};
const UndoName UndoName::ColorReplace{"UndoRasterColorReplace", "Color replace"};
const UndoName UndoName::Resample{"UndoRasterResample", "Resample"};
const UndoName UndoName::Flip{"UndoRasterFlip", "Flip Raster"};
const UndoName UndoName::Mirror{"UndoRasterMirror", "Mirror Raster"};
const UndoName UndoName::Invert{"UndoRasterInvert", "Invert Raster"};
const UndoName UndoName::Rotate{"UndoRasterRotate", "Rotate Raster"};
const UndoName UndoName::Crop{"UndoRasterCrop", "Crop Raster"};

std::string UndoName::get() const { return settings::Text(key, text); }

// ---- entries -----------------------------------------------------------------

RasterUndoEntry::RasterUndoEntry(std::string name, CRaster& target) : name_(std::move(name)), target_(target) {}

bool RasterUndoEntry::undo() {
  if (!done_) return false;
  done_ = false;
  exchange();
  return true;
}

bool RasterUndoEntry::redo() {
  if (done_) return false;
  done_ = true;
  exchange();
  return true;
}

RasterSnapshotEntry::RasterSnapshotEntry(std::string name, CRaster& target, CRaster snapshot)
    : RasterUndoEntry(std::move(name), target), snapshot_(std::move(snapshot)) {}

uint64_t RasterSnapshotEntry::memoryBytes() const {
  return static_cast<uint64_t>(snapshot_.rowBytes()) * static_cast<uint64_t>(snapshot_.height()) +
         4u * static_cast<uint64_t>(snapshot_.paletteSize());
}

void RasterSnapshotEntry::exchange() {
  CRaster& raster = target();
  std::string name = raster.name();
  const int value1 = raster.nameValue1(), value2 = raster.nameValue2();
  CRaster held;
  raster.moveTo(held);
  snapshot_.moveTo(raster);
  held.moveTo(snapshot_);
  snapshot_.setAttachment(nullptr);
  snapshot_.setName(std::string());
  raster.setAttachment(nullptr);
  raster.setName(std::move(name));
  raster.setNameValues(value1, value2);
}

// ---- the list ----------------------------------------------------------------

RasterUndoList::RasterUndoList(int depth, uint64_t memoryLimit)
    : depth_(std::clamp(depth, kRasterUndoStepsMin, kRasterUndoStepsMax)), memoryLimit_(memoryLimit) {}

RasterUndoList::~RasterUndoList() = default;

void RasterUndoList::setDepth(int depth) { depth_ = std::clamp(depth, kRasterUndoStepsMin, kRasterUndoStepsMax); }

void RasterUndoList::status(const std::string& text, int percent) const { platform::Report(status_, text, percent); }

RasterUndoList::Pending::Pending(Pending&& other) noexcept
    : list_(other.list_), entry_(std::move(other.entry_)) {}

RasterUndoList::Pending::~Pending() = default;

bool RasterUndoList::Pending::commit() {
  if (!entry_) return false;
  list_->append(std::move(entry_));
  return true;
}

bool RasterUndoList::Pending::rollback() {
  if (!entry_) return false;
  entry_->undo();
  entry_.reset();
  return true;
}

RasterUndoList::Pending RasterUndoList::prepare(CRaster& raster, std::string name) {
  const std::string text = settings::Text("UndoRasterCreateMsg", "Create Raster undo date.");
  status(text, 0);
  CRaster copy;
  if (raster.empty() || !copy.cloneFrom(raster)) {  // cloneFrom showed the message
    dropUndone();
    status(text, 100);
    return Pending(*this, nullptr);
  }
  status(text, 100);
  return Pending(*this, std::make_unique<RasterSnapshotEntry>(std::move(name), raster, std::move(copy)));
}

bool RasterUndoList::record(CRaster& raster, std::string name) { return prepare(raster, std::move(name)).commit(); }

void RasterUndoList::dropUndone() {
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [](const auto& e) { return !e->done(); }),
                 entries_.end());
}

void RasterUndoList::append(std::unique_ptr<RasterUndoEntry> entry) {
  if (!entry) return;
  dropUndone();
  const uint64_t added = entry->memoryBytes();
  uint64_t kept = memoryBytes();
  while (!entries_.empty() &&
         (entries_.size() >= static_cast<size_t>(depth_) || kept + added > memoryLimit_)) {
    kept -= entries_.front()->memoryBytes();
    entries_.erase(entries_.begin());
  }
  entries_.push_back(std::move(entry));
}

size_t RasterUndoList::doneCount() const {
  return static_cast<size_t>(
      std::count_if(entries_.begin(), entries_.end(), [](const auto& e) { return e->done(); }));
}

uint64_t RasterUndoList::memoryBytes() const {
  uint64_t total = 0;
  for (const auto& e : entries_) total += e->memoryBytes();
  return total;
}

bool RasterUndoList::undo() {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if ((*it)->done()) {
      status(settings::Text("UndoStatusMsg", "Undo: ") + (*it)->name(), 100);
      return (*it)->undo();
    }
  }
  return false;
}

bool RasterUndoList::redo() {
  for (auto& e : entries_) {
    if (!e->done()) {
      status(settings::Text("RedoStatusMsg", "Redo: ") + e->name(), 100);
      return e->redo();
    }
  }
  return false;
}

namespace {

std::string MenuItem(size_t position, const std::string& name) {
  char number[16];
  std::snprintf(number, sizeof number, "%2d", static_cast<int>(position + 1));
  return std::string(number) + " - " + name;
}

}  // namespace

std::vector<std::string> RasterUndoList::undoMenu() const {
  std::vector<std::string> items;
  for (size_t i = 0; i < entries_.size() && items.size() < kRasterUndoMenuItems; ++i) {
    if (entries_[i]->done()) items.push_back(MenuItem(i, entries_[i]->name()));
  }
  return items;
}

std::vector<std::string> RasterUndoList::redoMenu() const {
  std::vector<std::string> items;
  for (size_t i = 0; i < entries_.size() && items.size() < kRasterUndoMenuItems; ++i) {
    if (!entries_[i]->done()) items.push_back(MenuItem(i, entries_[i]->name()));
  }
  return items;
}

int RasterUndoList::undoFromMenu(int item) {
  if (item < 0 || static_cast<size_t>(item) >= undoMenu().size()) return 0;
  const int steps = static_cast<int>(doneCount()) - item;
  int taken = 0;
  while (taken < steps && undo()) ++taken;
  return taken;
}

int RasterUndoList::redoFromMenu(int item) {
  if (item < 0 || static_cast<size_t>(item) >= redoMenu().size()) return 0;
  int taken = 0;
  while (taken < item + 1 && redo()) ++taken;
  return taken;
}

}  // namespace quillon::raster
