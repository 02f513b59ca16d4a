#pragma once
// Vector undo: every drawing edit of a command is one named step in the
// drawing's undo list. Entity-edit steps remember single entities by handle
// with saved copies; drawing-state steps swap the drawing's settings or its
// whole vector part. Steps hold no pointers into the drawing, only handles
// and copies they own, so nothing dangles when entities come and go.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/entity.h"
#include "model/layer.h"

namespace quillon::model {

class CGraph;

// One step of the undo list.
class UndoStep {
 public:
  explicit UndoStep(std::string name) : name_(std::move(name)) {}
  virtual ~UndoStep();
  UndoStep(const UndoStep&) = delete;
  UndoStep& operator=(const UndoStep&) = delete;

  // Take back / bring back the step's change. False when something the step
  // refers to (an entity or layer by handle) is missing; the items handled
  // before that stay handled.
  virtual bool undo(CGraph& graph) = 0;
  virtual bool redo(CGraph& graph) = 0;

  // The text shown in the undo and redo lists.
  const std::string& name() const { return name_; }
  // True while the step's change is in effect (a new step is applied).
  bool applied() const { return applied_; }
  void setApplied(bool value) { applied_ = value; }

 private:
  std::string name_;
  bool applied_ = true;
};

// What an entity-edit item says happened to its entity.
enum class EditKind : int32_t {
  Added = 0,       // recorded right after the entity was added
  Deleted = 1,     // recorded right before it is removed
  MovedLayer = 2,  // recorded right before it moves to another layer
  Modified = 3,    // recorded right before its contents change
};

// Remembers single entities. Each item holds the entity's handle, its
// layer's handle, its position in that layer and a copy of the entity that
// the step owns. Undo walks the items from the most recent back, redo from
// the first on, so that both retrace the original changes exactly, list
// positions included.
class EntityEditStep final : public UndoStep {
 public:
  explicit EntityEditStep(std::string name) : UndoStep(std::move(name)) {}

  // Records one entity as it is now. The entity must be in a layer; the
  // change it announces must follow before the next item is recorded (for
  // Added: has already happened). False, nothing recorded, when the entity
  // is in no layer or cannot be copied.
  bool recordEntity(const CEntity& entity, EditKind kind);
  // Records every entity of the selection, in selection order, before the
  // change. The change must then go through the selection in the same order
  // (a removal or layer move of each in turn; for a layer move, only
  // entities that really change layer may be in the selection). On failure
  // the items of this call are discarded and false is answered.
  bool recordSelection(const Selection& selection, EditKind kind);

  bool undo(CGraph& graph) override;
  bool redo(CGraph& graph) override;

  bool empty() const { return items_.empty(); }
  std::size_t size() const { return items_.size(); }

 private:
  struct Item {
    EditKind kind = EditKind::Added;
    uint32_t entityHandle = 0;
    uint32_t layerHandle = 0;
    // Where the entity sits in the layer named by layerHandle: the handle of
    // the entity that follows it there, 0 at the end (Added and Deleted: at
    // the change; MovedLayer: before the move).
    uint32_t successorHandle = 0;
    std::unique_ptr<CEntity> saved;
  };
  class Index;
  bool apply(CGraph& graph, Index& index, Item& item, bool undoing);

  std::vector<Item> items_;  // in recording order
};

// Swaps either the drawing's settings or its whole vector part.
class DrawingStateStep final : public UndoStep {
 public:
  enum class Mode : int32_t {
    Settings = 0,      // current layer, display switches, drawing aids, current colour/width/unit
    WholeDrawing = 1,  // every layer with its entities, and the settings
  };
  // Takes the state of graph now (before the change the step announces).
  DrawingStateStep(std::string name, const CGraph& graph, Mode mode);
  ~DrawingStateStep() override;

  // Both swap the saved state with the drawing's. A settings step whose
  // layer no longer exists swaps the rest and answers false.
  bool undo(CGraph& graph) override { return swap(graph); }
  bool redo(CGraph& graph) override { return swap(graph); }

  Mode mode() const { return mode_; }

 private:
  struct Settings {
    uint32_t currentLayer = 0;  // handle; 0 for none
    bool showRaster = true;
    bool showVectors = true;
    bool modified = false;
    int32_t osnapModes = 0;
    int32_t osnapOn = 0;
    int32_t gridOn = 0;
    Point3 gridOrigin{};
    double gridAngle = 0.0;
    double gridSpacingX = 0.0;
    double gridSpacingY = 0.0;
    int32_t orthoOn = 0;
    settings::ColorIndex currentColour = settings::kColorByLayer;
    double currentWidth = 0.0;
    int32_t unit = 0;
  };
  static Settings capture(const CGraph& graph);
  // Puts s into graph; false when its layer is missing.
  static bool put(CGraph& graph, const Settings& s);
  bool swap(CGraph& graph);

  Mode mode_;
  Settings settings_{};
  std::unique_ptr<CGraph> drawing_;  // WholeDrawing only
};

// The steps of one drawing, oldest first. Applied steps always form a
// prefix of the list: undo takes back the newest applied step, redo brings
// back the oldest one that is not applied, and a new step discards every
// step that is not applied.
class VectorUndoList {
 public:
  static constexpr int kDefaultDepth = 32;
  static constexpr int kMaxDepth = 100;
  // Lines shown per history menu.
  static constexpr int kHistoryLength = 5;

  VectorUndoList();
  ~VectorUndoList();
  VectorUndoList(const VectorUndoList&) = delete;
  VectorUndoList& operator=(const VectorUndoList&) = delete;

  // The number of steps kept ("VectorUndoSteps"); a value outside 1..100
  // gives the default 32. Takes effect with the next step added.
  int depth() const { return depth_; }
  void setDepth(int depth);

  // Deletes every step that is not applied, then the oldest steps while the
  // list is full, then appends the step (null: nothing happens).
  void addStep(std::unique_ptr<UndoStep> step);
  void clear();

  bool canUndo() const { return appliedCount() > 0; }
  bool canRedo() const { return appliedCount() < steps_.size(); }
  std::size_t size() const { return steps_.size(); }
  std::size_t appliedCount() const;
  const UndoStep& step(std::size_t index) const { return *steps_[index]; }

  // The Undo command: the newest applied step is taken back and the drawing
  // marked modified. Answers the status-bar text "Undo: " + name, or "" when
  // nothing can be undone (nothing changes then). The step's own answer is
  // not examined: a step that cannot find its entities counts as undone.
  std::string undo(CGraph& graph);
  // The Redo command, the same with "Redo: " for the oldest step not applied.
  std::string redo(CGraph& graph);

  // The history menus: up to five applied (resp. not applied) steps from the
  // oldest on, each "%2d - %s" with its 1-based position in the list.
  std::vector<std::string> undoHistory() const;
  std::vector<std::string> redoHistory() const;
  // Choosing item k of the menu: undo until that step is undone / redo until
  // that step is applied. Answers the status text of the last command run.
  std::string undoFromHistory(CGraph& graph, int k);
  std::string redoFromHistory(CGraph& graph, int k);

 private:
  std::vector<std::unique_ptr<UndoStep>> steps_;
  int depth_ = kDefaultDepth;
};

// Step names (language table, English default).
std::string undoStepName(std::string_view key, std::string_view englishDefault);

// The common pattern of the drawing commands: a step of one new entity.
// Records entity (already in its layer) as added under the step name and
// adds the step to the drawing's undo list. Nothing for null.
void recordAddedEntity(CGraph& graph, const CEntity* entity, std::string_view key, std::string_view englishDefault);

// The common pattern of the drawing-state commands ("Change Graph
// Attribute", "Trace Raster Image", "Remove All Vectors", "Modify Layers"):
// a step taking the drawing's state now, before the command changes it,
// added to the drawing's undo list.
void recordDrawingState(CGraph& graph, DrawingStateStep::Mode mode, std::string_view key,
                        std::string_view englishDefault);

}  // namespace quillon::model
