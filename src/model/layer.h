#pragma once
// A named layer of a drawing: colour, visibility and its entities in list
// order. The layer owns its entities.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/entity.h"

namespace quillon::model {

class CGraph;

using Selection = std::vector<CEntity*>;

// The colour of a new layer unless the drawing's configured colour for new
// layers says otherwise (the normal vector colour's default).
inline constexpr settings::ColorIndex kDefaultLayerColour = 5;

class CLayer final {
 public:
  explicit CLayer(std::string name = "0");
  // A deep copy: handle, name, colour, visibility and drawing, then a clone
  // of every entity in order.
  CLayer(const CLayer& other);
  CLayer& operator=(const CLayer&) = delete;
  ~CLayer();

  // Deletes every entity.
  void clear();
  // Only when visible: draws every entity in list order.
  void draw(DrawView& view);
  // Union of the entities' extents (running widened when given); false when
  // no entity has extents.
  bool getExtents(Box* running, Box& box) const;
  // Add the entities crossing / inside the window [p1, p2] (p1 lower-left)
  // that are not yet selected to the selection; nothing on a hidden layer.
  // Answer whether any entity was added.
  bool selectCrossing(const Point3& p1, const Point3& p2, Selection& selection);
  bool selectInside(const Point3& p1, const Point3& p2, Selection& selection);
  // With flag set, adds every entity not yet selected (visible layers only).
  bool selectAll(bool flag, Selection& selection);

  // A layer name is valid when it is not empty and every character after the
  // first is an ASCII letter, a digit or '_' (the first is not checked).
  static bool isValidName(std::string_view name);
  // Layer names compare without regard to (ASCII) case.
  static bool sameName(std::string_view a, std::string_view b);

  // --- attributes --------------------------------------------------------------
  uint32_t handle() const { return handle_; }
  void setHandle(uint32_t handle) { handle_ = handle; }
  const std::string& name() const { return name_; }
  // Ignored for an empty text; otherwise taken when it differs from the
  // current name without regard to case.
  void setName(std::string_view name);
  bool visible() const { return visible_; }
  void setVisible(bool value) { visible_ = value; }
  settings::ColorIndex colour() const { return colour_; }
  void setColour(settings::ColorIndex colour) { colour_ = colour; }
  CGraph* graph() const { return graph_; }
  void setGraph(CGraph* graph) { graph_ = graph; }

  // --- entities ----------------------------------------------------------------
  const EntityList& entities() const { return entities_; }
  EntityList::const_iterator begin() const { return entities_.begin(); }
  EntityList::const_iterator end() const { return entities_.end(); }
  bool empty() const { return entities_.empty(); }
  CEntity* first() const { return entities_.empty() ? nullptr : entities_.front().get(); }
  CEntity* last() const { return entities_.empty() ? nullptr : entities_.back().get(); }

  // Link the entity in at the end / front / before `before` (which must be in
  // this layer). An entity without a handle gets the drawing's next handle
  // when the layer belongs to a drawing. Answer the entity (null for null).
  CEntity* append(std::unique_ptr<CEntity> entity);
  CEntity* prepend(std::unique_ptr<CEntity> entity);
  CEntity* insertBefore(CEntity* before, std::unique_ptr<CEntity> entity);
  // Unlinks the entity without deleting it; null when it is not in this layer.
  // The drawing forgets it in its selection and grips.
  std::unique_ptr<CEntity> detach(CEntity* entity);
  // Unlinks and deletes; false when it is not in this layer.
  bool remove(CEntity* entity);
  // Unlinks and deletes, in one pass in list order, every entity `doomed`
  // answers true for; answers how many. The drawing forgets them in its
  // selection and grips. For sweeps over a noisy scan's millions.
  size_t removeIf(const std::function<bool(CEntity&)>& doomed);
  // Puts replacement at the position of old and answers old, unlinked (null,
  // and nothing changes, when old is not in this layer).
  std::unique_ptr<CEntity> replace(CEntity* old, std::unique_ptr<CEntity> replacement);
  // Moves every entity of other to the end of this layer, in order.
  void takeAll(CLayer& other);

  // The number of entities (recounted).
  uint32_t recount();
  uint32_t count() const { return static_cast<uint32_t>(entities_.size()); }
  CEntity* findEntity(uint32_t handle) const;

  // Saves each entity's colour into savedColour, then sets colour (a
  // negative value only saves); restoreColours puts the saved colours back.
  void setAllColours(int colour);
  void restoreColours();
  // setWidth on every entity.
  void setAllWidths(double width);

 private:
  friend class CEntity;

  CEntity* link(EntityList::iterator at, std::unique_ptr<CEntity> entity);
  void unlinked(CEntity& entity);

  uint32_t handle_ = 0;
  std::string name_;
  bool visible_ = true;
  settings::ColorIndex colour_ = kDefaultLayerColour;
  CGraph* graph_ = nullptr;
  EntityList entities_;
};

}  // namespace quillon::model
