#pragma once
// The raster undo list of a document: every raster operation first records
// an entry holding a complete copy of the raster as it was; undo and redo
// exchange the document raster with that copy, so one entry serves both
// directions.
//
// Typical use by a raster command:
//
//   RasterUndoList::Pending undo = list.prepare(raster, UndoName::Filter);
//   if (TemplateFilter(raster, kernel, progress, &cancel)) undo.commit();
//
// A pending entry that is not committed leaves the list as it was, so an
// operation that failed or was cancelled leaves no step behind.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/progress.h"
#include "raster/raster.h"

namespace quillon::raster {

// The entry names of the raster operations (language key, English default).
struct UndoName {
  const char* key;
  const char* text;
  std::string get() const;

  static const UndoName Thresholding;
  static const UndoName AdjustBrightContrast;
  static const UndoName FillHoles;
  static const UndoName MedianFilter;
  static const UndoName Filter;
  static const UndoName ColorReplace;
  static const UndoName Resample;
  static const UndoName Flip;
  static const UndoName Mirror;
  static const UndoName Invert;
  static const UndoName Rotate;
  static const UndoName Crop;
};

// One step of the list. The snapshot entry keeps a whole copy of the raster;
// other kinds of entry (the erase and fill tools keep only the pixel runs they
// overwrote) derive and exchange their own data.
class RasterUndoEntry {
 public:
  // target: the document raster (not owned; must outlive the entry).
  RasterUndoEntry(std::string name, CRaster& target);
  virtual ~RasterUndoEntry() = default;
  RasterUndoEntry(const RasterUndoEntry&) = delete;
  RasterUndoEntry& operator=(const RasterUndoEntry&) = delete;

  const std::string& name() const { return name_; }
  // True while the operation is in effect, false after it was undone.
  bool done() const { return done_; }
  CRaster& target() const { return target_; }

  // Only when done: done = false, then exchange(). False when not done.
  bool undo();
  // Only when not done: done = true, then exchange(). False when done.
  bool redo();

  // Bytes the entry keeps, for the memory bound of the list.
  virtual uint64_t memoryBytes() const = 0;

 protected:
  // Swaps the entry's state with the target's.
  virtual void exchange() = 0;

 private:
  std::string name_;
  bool done_ = true;
  CRaster& target_;
};

// The entry of a whole-raster operation.
class RasterSnapshotEntry final : public RasterUndoEntry {
 public:
  // Takes the snapshot as it is (normally a clone of the target).
  RasterSnapshotEntry(std::string name, CRaster& target, CRaster snapshot);
  const CRaster& snapshot() const { return snapshot_; }
  uint64_t memoryBytes() const override;

 protected:
  // The images change places without copying: bits, palette, resolution,
  // flags and histogram go over, so the exchange cannot run out of memory.
  // The target keeps its name; its attachment, which describes the image it
  // had, is deleted.
  void exchange() override;

 private:
  CRaster snapshot_;
};

// Limits of the list: the document's raster undo depth (option
// RasterUndoSteps, 1 to 10, default 5) and a bound on the bytes all snapshots
// keep together.
inline constexpr int kRasterUndoStepsMin = 1;
inline constexpr int kRasterUndoStepsMax = 10;
inline constexpr int kRasterUndoStepsDefault = 5;
inline constexpr uint64_t kRasterUndoMemoryDefault = uint64_t{1} << 30;  // 1 GiB
// The history menus list at most this many steps.
inline constexpr size_t kRasterUndoMenuItems = 5;

class RasterUndoList {
 public:
  // depth: clamped to 1..10. memoryLimit: bytes; the newest entry is kept
  // even when it alone exceeds the limit.
  explicit RasterUndoList(int depth = kRasterUndoStepsDefault, uint64_t memoryLimit = kRasterUndoMemoryDefault);
  ~RasterUndoList();
  RasterUndoList(const RasterUndoList&) = delete;
  RasterUndoList& operator=(const RasterUndoList&) = delete;

  // Takes effect at the next record.
  void setDepth(int depth);
  int depth() const { return depth_; }
  void setMemoryLimit(uint64_t bytes) { memoryLimit_ = bytes; }
  uint64_t memoryLimit() const { return memoryLimit_; }

  // Status texts ("Create Raster undo date.", "Undo: NAME", "Redo: NAME")
  // go to this callback (the status bar); may be empty.
  void setStatus(platform::ProgressCallback status) { status_ = std::move(status); }

  // A snapshot taken but not yet in the list. commit() records it; a pending
  // entry destroyed without commit changes nothing. It must not outlive its
  // list.
  class Pending {
   public:
    Pending(Pending&&) noexcept;
    Pending& operator=(Pending&&) = delete;
    ~Pending();
    // False when the snapshot could not be made.
    bool ok() const { return entry_ != nullptr; }
    // Records the entry (see record()). False when there is nothing to record
    // (no snapshot, or already committed).
    bool commit();
    // Puts the snapshot back into the raster, taking back whatever the
    // operation did (an operation that cannot stop half-way is cancelled
    // this way once it has ended). The list stays as it was. False when
    // there is no snapshot (not ok, or already committed).
    bool rollback();

   private:
    friend class RasterUndoList;
    Pending(RasterUndoList& list, std::unique_ptr<RasterUndoEntry> entry) : list_(&list), entry_(std::move(entry)) {}
    RasterUndoList* list_;
    std::unique_ptr<RasterUndoEntry> entry_;
  };

  // Clones the raster for an operation about to run (status "Create Raster
  // undo date." while copying). When the copy cannot be made (the no-memory
  // message is shown) the pending entry is not ok and the undone steps are
  // dropped, since the operation that goes on without undo makes them
  // impossible to redo.
  Pending prepare(CRaster& raster, std::string name);
  Pending prepare(CRaster& raster, const UndoName& name) { return prepare(raster, name.get()); }

  // prepare() and commit() at once. False when the copy cannot be made; the
  // list then only loses its undone steps.
  bool record(CRaster& raster, std::string name);
  bool record(CRaster& raster, const UndoName& name) { return record(raster, name.get()); }

  // Adds a finished entry: drops every entry that is not done, then the
  // oldest ones while the depth is reached or the memory limit would be
  // exceeded, and appends it. Null is ignored.
  void append(std::unique_ptr<RasterUndoEntry> entry);

  // Undo command: undoes the newest entry that is done. False when none is.
  bool undo();
  // Redo command: redoes the oldest entry that is not done. False when none.
  bool redo();
  bool canUndo() const { return doneCount() > 0; }
  bool canRedo() const { return doneCount() < entries_.size(); }

  size_t count() const { return entries_.size(); }
  // Entries that are done; they always come first in the list.
  size_t doneCount() const;
  const RasterUndoEntry& entry(size_t position) const { return *entries_[position]; }
  uint64_t memoryBytes() const;
  void clear() { entries_.clear(); }

  // History menus: up to five items "%2d - %s" (1-based position in the whole
  // list and name), from the oldest on; the undo menu lists done entries, the
  // redo menu entries not done.
  std::vector<std::string> undoMenu() const;
  std::vector<std::string> redoMenu() const;
  // Choosing item k of the undo menu undoes everything from that item on
  // (done count - k steps); item k of the redo menu redoes k + 1 steps.
  // Returns the number of steps taken; an item outside the menu takes none.
  int undoFromMenu(int item);
  int redoFromMenu(int item);

 private:
  void status(const std::string& text, int percent) const;
  void dropUndone();

  std::vector<std::unique_ptr<RasterUndoEntry>> entries_;  // oldest first
  int depth_;
  uint64_t memoryLimit_;
  platform::ProgressCallback status_;
};

}  // namespace quillon::raster
