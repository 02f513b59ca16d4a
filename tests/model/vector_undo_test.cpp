#include "model/vector_undo.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "drawing_snapshot.h"
#include "model/explode.h"
#include "settings/width_series.h"

namespace quillon::model {
namespace {

using test::drawingText;

std::unique_ptr<UndoStep> namedStep(const std::string& name) { return std::make_unique<EntityEditStep>(name); }

std::vector<std::string> stepNames(const VectorUndoList& list) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < list.size(); ++i) names.push_back(list.step(i).name());
  return names;
}

TEST(VectorUndoList, DepthTrimsTheOldestAndANewStepDropsTheUndoneOnes) {
  CGraph g;
  VectorUndoList list;
  EXPECT_EQ(list.depth(), 32);
  list.setDepth(101);
  EXPECT_EQ(list.depth(), 32);
  list.setDepth(0);
  EXPECT_EQ(list.depth(), 32);
  list.setDepth(3);
  EXPECT_FALSE(list.canUndo());
  EXPECT_EQ(list.undo(g), "");
  EXPECT_EQ(list.redo(g), "");
  for (const char* name : {"a", "b", "c", "d"}) list.addStep(namedStep(name));
  EXPECT_EQ(stepNames(list), (std::vector<std::string>{"b", "c", "d"}));

  EXPECT_EQ(list.undo(g), "Undo: d");
  EXPECT_EQ(list.undo(g), "Undo: c");
  EXPECT_EQ(list.appliedCount(), 1u);
  EXPECT_TRUE(list.canRedo());
  list.addStep(namedStep("e"));
  EXPECT_EQ(stepNames(list), (std::vector<std::string>{"b", "e"}));
  EXPECT_FALSE(list.canRedo());
  EXPECT_EQ(list.redo(g), "");
  list.addStep(nullptr);
  EXPECT_EQ(list.size(), 2u);
}

TEST(VectorUndoList, HistoryMenusListTheOldestFiveAndJumpThere) {
  CGraph g;
  VectorUndoList list;
  for (int i = 1; i <= 12; ++i) list.addStep(namedStep("s" + std::to_string(i)));
  const auto undoMenu = list.undoHistory();
  ASSERT_EQ(undoMenu.size(), 5u);
  EXPECT_EQ(undoMenu[0], " 1 - s1");
  EXPECT_EQ(undoMenu[4], " 5 - s5");
  EXPECT_TRUE(list.redoHistory().empty());

  // Item 3 is step 4: it and everything after it are undone.
  EXPECT_EQ(list.undoFromHistory(g, 3), "Undo: s4");
  EXPECT_EQ(list.appliedCount(), 3u);
  const auto redoMenu = list.redoHistory();
  ASSERT_EQ(redoMenu.size(), 5u);
  EXPECT_EQ(redoMenu[0], " 4 - s4");
  EXPECT_EQ(redoMenu[4], " 8 - s8");
  EXPECT_EQ(list.redoFromHistory(g, 2), "Redo: s6");
  EXPECT_EQ(list.appliedCount(), 6u);
  EXPECT_EQ(list.undoHistory().back(), " 5 - s5");
  EXPECT_EQ(list.undoFromHistory(g, 5), "");  // beyond the menu
  EXPECT_EQ(list.redoFromHistory(g, -1), "");
  EXPECT_EQ(list.appliedCount(), 6u);
}

CPolyLine* drawPolyline(CGraph& g, std::initializer_list<Point3> points, bool closed = false, double bulge = 0.0) {
  g.beginPolyline();
  for (const Point3& p : points) g.addPolylineVertex(p.x, p.y, -10.0, -10.0, 0);
  g.tempPolyline()->setClosed(closed);
  if (bulge != 0.0) g.tempPolyline()->editVertices().front().bulge = bulge;
  return g.finishPolyline(true);
}

TEST(VectorUndo, DrawCommandsRecordTheirEntityAndRedoBringsItBackInPlace) {
  CGraph g;
  g.clearForTrace();
  g.currentColour = 2;
  g.currentWidth = 1.5;
  ASSERT_NE(g.drawSolid({0, 0, 0}, {1, 0, 0}, {0, 1, 0}), nullptr);
  ASSERT_NE(g.drawCircle({5, 5, 0}, -2), nullptr);
  ASSERT_NE(g.drawCircle3P({0, 0, 0}, {2, 0, 0}, {1, 1, 0}), nullptr);
  ASSERT_NE(g.drawArcCSE({0, 0, 0}, {1, 0, 0}, {0, 1, 0}), nullptr);
  ASSERT_NE(g.drawArc3P({0, 0, 0}, {1, 1, 0}, {2, 0, 0}), nullptr);
  ASSERT_NE(drawPolyline(g, {{0, 0, 0}, {3, 0, 0}, {3, 3, 0}}), nullptr);
  EXPECT_EQ(g.drawSolid({0, 0, 0}, {1, 1, 0}, {2, 2, 0}), nullptr);  // collinear: nothing recorded
  g.beginPolyline();
  g.finishPolyline(false);
  EXPECT_EQ(stepNames(g.undo), (std::vector<std::string>{"Draw Solid", "Draw Circle", "Draw Circle", "Draw Arc",
                                                          "Draw Arc", "Draw PolyLine"}));
  // A line is recorded by the Line command itself.
  CLine* line = g.addLine({0, 0, 0}, {1, 1, 0});
  recordAddedEntity(g, line, "UndoDrawLine", "Draw Line");
  EXPECT_EQ(g.undo.step(6).name(), "Draw Line");

  const std::string all = drawingText(g);
  while (g.undo.canUndo()) g.undo.undo(g);
  EXPECT_TRUE(g.currentLayer()->empty());
  while (g.undo.canRedo()) g.undo.redo(g);
  EXPECT_EQ(drawingText(g), all);
  // Undo the middle ones only: the rest keep their places.
  g.undo.undoFromHistory(g, 1);
  EXPECT_EQ(g.currentLayer()->count(), 1u);
  EXPECT_EQ(g.currentLayer()->first()->type(), EntityType::Solid);
}

// Selects the entities with these handles, in this order.
void selectHandles(CGraph& g, std::initializer_list<uint32_t> handles) {
  g.selectAll(false);
  for (uint32_t h : handles) g.select(g.findEntity(h));
}

TEST(VectorUndo, DeleteVectorsComesBackWithHandlesLayersAndOrder) {
  CGraph g;
  g.setCurrentLayerByName("A");  // 48
  for (int i = 0; i < 5; ++i) g.addLine({0, 0, 0}, {1.0 + i, 0, 0});  // 49..53
  g.setCurrentLayerByName("B");  // 54
  g.drawCircle({0, 0, 0}, 3);    // 55
  g.undo.clear();
  const std::string before = drawingText(g);

  // Out of layer order, across layers, neighbours included.
  selectHandles(g, {53, 50, 55, 51});
  ASSERT_TRUE(g.deleteSelection());
  EXPECT_EQ(g.undo.step(0).name(), "Delete Vectors");
  EXPECT_EQ(g.findLayer("A")->count(), 2u);
  const std::string after = drawingText(g);

  // Something selected that survives the undo stays selected with fresh grips.
  selectHandles(g, {52});
  g.markModified(false);
  EXPECT_EQ(g.undo.undo(g), "Undo: Delete Vectors");
  EXPECT_TRUE(g.modified());
  EXPECT_EQ(drawingText(g), before);
  ASSERT_EQ(g.selection().size(), 1u);
  EXPECT_EQ(g.selection()[0]->handle(), 52u);
  EXPECT_EQ(g.gripOwners().size(), 1u);
  EXPECT_FALSE(g.findEntity(53)->selected());  // restored copies come back unselected

  // Redo removes them again, selected or not.
  selectHandles(g, {50, 52});
  g.undo.redo(g);
  EXPECT_EQ(drawingText(g), after);
  ASSERT_EQ(g.selection().size(), 1u);
  EXPECT_EQ(g.selection()[0]->handle(), 52u);
  ASSERT_EQ(g.gripOwners().size(), 1u);
  EXPECT_EQ(g.gripOwners()[0].entity, g.findEntity(52));
}

TEST(VectorUndo, MoveGripIsUndoneAndRedoneWithTheGripsFollowing) {
  CGraph g;
  g.clearForTrace();
  CLine* line = g.addLine({0, 0, 0}, {10, 0, 0});
  line->setColour(4);
  g.undo.clear();
  g.select(line);
  ASSERT_TRUE(g.pickGrips({9, -1, 0}, {11, 1, 0}));
  g.moveGrips({10, 5, 0});
  EXPECT_DOUBLE_EQ(line->end().y, 5.0);
  ASSERT_EQ(g.undo.size(), 1u);
  EXPECT_EQ(g.undo.step(0).name(), "Move Grip Point");

  g.undo.undo(g);
  EXPECT_DOUBLE_EQ(line->end().y, 0.0);
  EXPECT_EQ(line->colour(), 4);
  EXPECT_TRUE(line->selected());
  ASSERT_EQ(g.grips().size(), 3u);
  EXPECT_DOUBLE_EQ(g.grips()[2].y, 0.0);  // the end grip is where the end is
  g.undo.redo(g);
  EXPECT_DOUBLE_EQ(line->end().y, 5.0);
  EXPECT_DOUBLE_EQ(g.grips()[2].y, 5.0);

  // Nothing picked: nothing moves, no step.
  g.moveGrips({0, 0, 0});
  EXPECT_EQ(g.undo.size(), 1u);
}

TEST(VectorUndo, ModifyVectorsColourAndLayerChanges) {
  CGraph g;
  g.setCurrentLayerByName("A");  // 48
  for (int i = 0; i < 5; ++i) g.addLine({0, 0, 0}, {1.0 + i, 0, 0});  // 49..53 (A..E)
  g.setCurrentLayerByName("B");  // 54
  g.drawCircle({0, 0, 0}, 3);    // 55
  g.undo.clear();
  const std::string before = drawingText(g);

  // A colour edit through the property grid: kind 3 before the change.
  selectHandles(g, {51, 55});
  auto colour = std::make_unique<EntityEditStep>(undoStepName("UndoModifyVector", "Modify Vectors"));
  ASSERT_TRUE(colour->recordSelection(g.selection(), EditKind::Modified));
  for (CEntity* e : g.selection()) e->setColour(1);
  g.undo.addStep(std::move(colour));
  const std::string coloured = drawingText(g);
  g.undo.undo(g);
  EXPECT_EQ(drawingText(g), before);
  g.undo.redo(g);
  EXPECT_EQ(drawingText(g), coloured);

  // A layer change: each selected entity moves to the end of "B" in turn
  // (50 moves after its neighbour 51, so it went back before 52).
  selectHandles(g, {53, 51, 50});
  auto move = std::make_unique<EntityEditStep>("Modify Vectors");
  ASSERT_TRUE(move->recordSelection(g.selection(), EditKind::MovedLayer));
  CLayer* b = g.findLayer("B");
  const Selection chosen = g.selection();  // moving an entity drops it from the selection
  for (CEntity* e : chosen) b->append(e->layer()->detach(e));
  g.undo.addStep(std::move(move));
  EXPECT_EQ(b->count(), 4u);
  const std::string moved = drawingText(g);
  g.undo.undo(g);
  EXPECT_EQ(drawingText(g), coloured);
  g.undo.redo(g);
  EXPECT_EQ(drawingText(g), moved);
  g.undo.undo(g);
  g.undo.undo(g);
  EXPECT_EQ(drawingText(g), before);
}

TEST(VectorUndo, StepsThatCannotFindTheirEntitiesAnswerFalse) {
  CGraph g;
  g.clearForTrace();
  CLine* line = g.addLine({0, 0, 0}, {1, 0, 0});
  EntityEditStep step("x");
  ASSERT_TRUE(step.recordEntity(*line, EditKind::Added));
  CLine loose({0, 0, 0}, {1, 1, 0});
  EXPECT_FALSE(step.recordEntity(loose, EditKind::Deleted));
  EXPECT_EQ(step.size(), 1u);
  Selection withLoose{line, &loose};
  EXPECT_FALSE(step.recordSelection(withLoose, EditKind::Modified));
  EXPECT_EQ(step.size(), 1u);  // the items of the failed call are gone
  EXPECT_TRUE(step.undo(g));
  EXPECT_TRUE(g.currentLayer()->empty());
  EXPECT_FALSE(step.undo(g));  // gone already
  EXPECT_TRUE(step.redo(g));
  EXPECT_FALSE(step.redo(g));  // would duplicate the handle
  EXPECT_EQ(g.currentLayer()->count(), 1u);
  g.removeAllLayers();
  EXPECT_FALSE(step.undo(g));  // no such layer
}

TEST(VectorUndo, SettingsStepsSwapTheDrawingSettings) {
  CGraph g;
  g.setCurrentLayerByName("A");
  g.setCurrentLayerByName("B");
  g.addLine({0, 0, 0}, {1, 0, 0});
  const std::string before = drawingText(g);
  g.markModified(false);
  g.undo.addStep(std::make_unique<DrawingStateStep>(undoStepName("UndoCurLayer", "Change Current Layer"), g,
                                                    DrawingStateStep::Mode::Settings));
  g.setCurrentLayerByName("A");
  g.currentColour = 3;
  g.currentWidth = 2.5;
  g.unit = Unit::Mm;
  g.aids.gridOn = 1;
  g.aids.orthoOn = 1;
  g.aids.gridSpacingX = 10;
  g.showRaster = false;
  const std::string after = drawingText(g);
  EXPECT_EQ(g.undo.undo(g), "Undo: Change Current Layer");
  EXPECT_EQ(drawingText(g), before);
  EXPECT_TRUE(g.modified());
  g.undo.redo(g);
  EXPECT_EQ(drawingText(g), after);

  // The step keeps the modified flag only when the current layer has
  // entities; run directly (not through the list) it puts that flag back.
  g.setCurrentLayerByName("Empty");
  g.markModified(true);
  DrawingStateStep empty("Change Current Unit", g, DrawingStateStep::Mode::Settings);
  EXPECT_TRUE(empty.undo(g));
  EXPECT_FALSE(g.modified());
  g.markModified(true);
  EXPECT_TRUE(empty.redo(g));
  EXPECT_FALSE(g.modified());
  // Through the list, undo always leaves the drawing modified.
  g.undo.addStep(std::make_unique<DrawingStateStep>("Change Current Unit", g, DrawingStateStep::Mode::Settings));
  g.undo.undo(g);
  EXPECT_TRUE(g.modified());
  ASSERT_TRUE(g.setCurrentLayerByName("B"));

  // The current layer's handle is gone: the rest is still swapped.
  DrawingStateStep step("Change Current Color", g, DrawingStateStep::Mode::Settings);
  g.currentColour = 7;
  g.deleteLayer(g.currentLayer());
  EXPECT_FALSE(step.undo(g));
  EXPECT_EQ(g.currentColour, 3);
}

TEST(VectorUndo, WholeDrawingStepBringsBackTheDrawingBeforeATrace) {
  CGraph g;
  g.setCurrentLayerByName("Lines");
  g.addLine({0, 0, 0}, {1, 0, 0});
  drawPolyline(g, {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}}, true, 0.5);
  g.setCurrentLayerByName("Circles");
  g.drawCircle({1, 1, 0}, 1);
  g.setCurrentLayerByIndex(1);
  g.currentWidth = 3;
  const std::string before = drawingText(g);
  g.select(g.findEntity(49));

  recordDrawingState(g, DrawingStateStep::Mode::WholeDrawing, "UndoTrace", "Trace Raster Image");
  g.clearForTrace();
  g.addLine({5, 5, 0}, {6, 6, 0});
  g.currentWidth = 0;
  const std::string traced = drawingText(g);
  const uint32_t counter = g.handleCounter();

  EXPECT_EQ(g.undo.undo(g), "Undo: Trace Raster Image");
  EXPECT_EQ(drawingText(g), before);
  EXPECT_EQ(g.currentLayer()->name(), "Lines");
  EXPECT_EQ(g.handleCounter(), counter);  // no handle is handed out twice
  for (const auto& layer : g.layers()) EXPECT_EQ(layer->graph(), &g);
  g.undo.redo(g);
  EXPECT_EQ(drawingText(g), traced);
  EXPECT_TRUE(g.selection().empty());
  // New entities after the redo still get fresh handles.
  EXPECT_EQ(g.addLine({0, 0, 0}, {1, 1, 0})->handle(), counter);
}

// --- long random sequences against snapshots -------------------------------------------

class RandomSession {
 public:
  RandomSession(unsigned seed, std::map<std::string, int>& stepsSeen) : rng_(seed), stepsSeen_(stepsSeen) {
    g_.clearForTrace();
    g_.undo.setDepth(12);
    series_.SetUnit(settings::WidthSeries::kUnitPixel);
    series_.Insert(1.0);
    series_.Insert(2.0);
  }

  void run(int actions) {
    snapshots_.push_back(drawingText(g_));
    for (int i = 0; i < actions; ++i) {
      const int roll = pick(0, 9);
      if (roll < 3 && g_.undo.canUndo()) {
        g_.undo.undo(g_);
      } else if (roll < 5 && g_.undo.canRedo()) {
        g_.undo.redo(g_);
      } else {
        act();
      }
      check();
    }
  }

 private:
  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  double coord() { return pick(0, 40) * 0.5; }
  Point3 point() { return Point3{coord(), coord(), 0}; }

  std::vector<CEntity*> everything() {
    std::vector<CEntity*> all;
    for (const auto& layer : g_.layers()) {
      for (const auto& e : *layer) all.push_back(e.get());
    }
    return all;
  }

  void selectSome() {
    g_.selectAll(false);
    auto all = everything();
    std::shuffle(all.begin(), all.end(), rng_);
    const int n = all.empty() ? 0 : pick(0, static_cast<int>(std::min<std::size_t>(all.size(), 4)));
    for (int i = 0; i < n; ++i) g_.select(all[static_cast<std::size_t>(i)]);
  }

  void modifySelection(EditKind kind) {
    if (g_.selection().empty() || g_.layers().empty()) return;
    auto step = std::make_unique<EntityEditStep>("Modify Vectors");
    if (kind == EditKind::Modified) {
      ASSERT_TRUE(step->recordSelection(g_.selection(), kind));
      const auto colour = static_cast<settings::ColorIndex>(pick(1, 256));
      const double width = pick(0, 3);
      for (CEntity* e : g_.selection()) {
        e->setColour(colour);
        e->setWidth(width);
      }
    } else {
      // Only entities that change layer are recorded and moved.
      CLayer* target = std::next(g_.layers().begin(), pick(0, static_cast<int>(g_.layers().size()) - 1))->get();
      Selection chosen;
      for (CEntity* e : g_.selection()) {
        if (e->layer() != target) chosen.push_back(e);
      }
      if (chosen.empty()) return;
      step = std::make_unique<EntityEditStep>("Modify Vectors");
      ASSERT_TRUE(step->recordSelection(chosen, kind));
      for (CEntity* e : chosen) target->append(e->layer()->detach(e));
    }
    g_.undo.addStep(std::move(step));
  }

  void act() {
    const int what = pick(0, 13);
    switch (what) {
      case 0:
        g_.drawCircle(point(), pick(1, 5));
        break;
      case 1:
        g_.drawArc3P(point(), point(), point());
        break;
      case 2:
        g_.drawSolid(point(), point(), point());
        break;
      case 3: {
        g_.beginPolyline();
        const int n = pick(2, 6);
        for (int i = 0; i < n; ++i) g_.addPolylineVertex(coord(), coord(), -10.0, -10.0, 0);
        g_.tempPolyline()->setClosed(pick(0, 1) == 1);
        for (auto& v : g_.tempPolyline()->editVertices()) v.bulge = pick(-2, 2) * 0.5;
        g_.finishPolyline(true);
        break;
      }
      case 4: {
        CLine* line = g_.addLine(point(), point());
        recordAddedEntity(g_, line, "UndoDrawLine", "Draw Line");
        break;
      }
      case 5:
        selectSome();
        g_.deleteSelection();
        break;
      case 6:
        selectSome();
        if (g_.pickGrips({0, 0, 0}, {10, 10, 0})) g_.moveGrips(point());
        break;
      case 7:
        selectSome();
        explode(g_, pick(0, 1) == 1);
        break;
      case 8:
        selectSome();
        modifySelection(EditKind::Modified);
        break;
      case 9:
        selectSome();
        modifySelection(EditKind::MovedLayer);
        break;
      case 10: {
        g_.undo.addStep(std::make_unique<DrawingStateStep>("Change Current Layer", g_, DrawingStateStep::Mode::Settings));
        if (!g_.layers().empty()) g_.setCurrentLayerByIndex(pick(0, static_cast<int>(g_.layers().size()) - 1));
        g_.currentColour = static_cast<settings::ColorIndex>(pick(1, 256));
        g_.currentWidth = pick(0, 2);
        break;
      }
      case 11:
        recordDrawingState(g_, DrawingStateStep::Mode::WholeDrawing, "UndoGraphRemoveAll", "Remove All Vectors");
        g_.removeAllLayers();
        g_.setCurrentLayerByName("Second");
        g_.setCurrentLayerByName("Trace");
        break;
      case 12:
        if (g_.totalCount() > 0) separateLayers(g_, series_);
        if (g_.currentLayer() == nullptr) g_.setCurrentLayerByName("Trace");
        break;
      default:
        selectSome();  // no step
        break;
    }
  }

  // Snapshot k is the drawing with the first k steps of the list applied.
  void check() {
    const UndoStep* last = g_.undo.size() ? &g_.undo.step(g_.undo.size() - 1) : nullptr;
    if (last != lastStep_) {
      // A new step: the undone states are gone, the oldest may be trimmed.
      snapshots_.resize(lastApplied_ + 1);
      snapshots_.push_back(drawingText(g_));
      while (snapshots_.size() > g_.undo.size() + 1) snapshots_.erase(snapshots_.begin());
      lastStep_ = last;
      ++stepsSeen_[last->name()];
    } else if (lastApplied_ == g_.undo.appliedCount()) {
      // Nothing recorded: nothing may have changed.
      ASSERT_EQ(drawingText(g_), snapshots_[lastApplied_]);
    }
    lastApplied_ = g_.undo.appliedCount();
    ASSERT_EQ(snapshots_.size(), g_.undo.size() + 1);
    ASSERT_EQ(drawingText(g_), snapshots_[lastApplied_]) << "after " << lastApplied_ << " applied steps";
    // Selection and grips point at live, selected entities of the drawing.
    for (CEntity* e : g_.selection()) {
      ASSERT_TRUE(e->selected());
      ASSERT_NE(e->layer(), nullptr);
      ASSERT_EQ(g_.findEntity(e->handle()), e);
    }
    for (const GripOwner& owner : g_.gripOwners()) ASSERT_TRUE(owner.entity->selected());
  }

  std::mt19937 rng_;
  std::map<std::string, int>& stepsSeen_;
  CGraph g_;
  settings::WidthSeries series_;
  std::vector<std::string> snapshots_;
  const UndoStep* lastStep_ = nullptr;
  std::size_t lastApplied_ = 0;
};

TEST(VectorUndo, RandomSequencesRetraceEverySnapshot) {
  std::map<std::string, int> stepsSeen;
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(seed);
    RandomSession session(seed, stepsSeen);
    session.run(300);
    if (HasFatalFailure()) return;
  }
  // Every kind of step took part.
  for (const char* name : {"Draw Circle", "Draw Arc", "Draw Solid", "Draw PolyLine", "Draw Line", "Delete Vectors",
                           "Move Grip Point", "Explode PolyLines", "Modify Vectors", "Change Current Layer",
                           "Remove All Vectors", "Modify Layers"}) {
    EXPECT_GE(stepsSeen[name], 5) << name;
  }
}

}  // namespace
}  // namespace quillon::model
