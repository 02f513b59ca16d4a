#pragma once
// The contents of the property grid: groups with rows, each row a label, a
// value text and a kind. Entities fill it (CEntity::fillProperties) and apply
// an edited row (CEntity::editProperty); the drawing routes both to its
// selection (CGraph::fillProperties, CGraph::editProperty). The window that
// shows the grid only displays these rows and hands back the edits.

#include <string>
#include <string_view>
#include <vector>

namespace quillon::model {

// Answers of an edit. A non-negative answer means nothing changed (a
// read-only row, a cursor move, or a row the entity does not own).
inline constexpr int kPropertyInvalid = -1;      // bad value: the row keeps its old text
inline constexpr int kPropertyLayerChange = -2;  // the entity must move to the layer named by the text
inline constexpr int kPropertyChanged = -3;      // applied

enum class PropertyKind {
  Choice,    // one of `choices` (joined by '|'); the edit passes the chosen text
  Number,    // an editable number; the edit passes the text
  ReadOnly,  // shown only
  Colour,    // colour picker; the edit passes the colour index as value
  Index,     // index selector over 1..maxIndex; the edit passes the index as value
  Button,    // the edit is the press
};

struct PropertyRow {
  std::string key;    // language key of the label
  std::string label;  // the label as shown
  std::string value;  // the value text
  PropertyKind kind = PropertyKind::ReadOnly;
  std::string choices;  // Choice: the options joined by '|'
  int index = 0;        // Colour: the colour index; Index: the current index
  int layerColour = 0;  // Colour: the index a ByLayer colour shows (its layer's)
  int maxIndex = 0;     // Index: the largest index offered
  int group = -1;       // index into PropertyGrid::groups()
};

struct PropertyGroup {
  std::string key;
  std::string label;
};

class PropertyGrid {
 public:
  void clear() {
    groups_.clear();
    rows_.clear();
  }
  // Starts a group; the rows added next belong to it. The label is looked
  // up in the language table.
  void addGroup(std::string_view key, std::string_view englishDefault);
  // Appends a row (label from the language table) and answers it for
  // further settings.
  PropertyRow& addRow(std::string_view key, std::string_view englishDefault, PropertyKind kind, std::string value);

  // Rows are numbered from 0 in the order they were added; group headings
  // are not rows.
  int rowCount() const { return static_cast<int>(rows_.size()); }
  const PropertyRow& row(int i) const { return rows_[static_cast<std::size_t>(i)]; }
  PropertyRow& row(int i) { return rows_[static_cast<std::size_t>(i)]; }
  const std::vector<PropertyRow>& rows() const { return rows_; }
  const std::vector<PropertyGroup>& groups() const { return groups_; }
  // The number of the first row with that key, -1 when there is none.
  int findRow(std::string_view key) const;

 private:
  std::vector<PropertyGroup> groups_;
  std::vector<PropertyRow> rows_;
};

}  // namespace quillon::model
