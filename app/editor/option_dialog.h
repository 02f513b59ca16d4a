#pragma once
// The model of the option dialog (COptionDlg) and its pages: width series,
// angle series, raster threshold, drawing (undo depths, object snap
// defaults, display colours) and language. The series rules live in
// settings (WidthSeries, AngleSeries and their page helpers); this adds what
// the pages hold between the user's clicks, which page operations write the
// store at once (Save as, Delete of a series) and what OK writes.
//
// Messages and Yes/No questions go through the message sink, so the pages
// behave the same under a test sink as in the application.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/angle_series.h"
#include "settings/color.h"
#include "settings/language_table.h"
#include "settings/option_store.h"
#include "settings/trace_option.h"
#include "settings/width_series.h"

namespace quillon::platform {
class KeyValueStore;
}

namespace quillon::editor {

// The name dialog of "Save as": OK is offered only for a non-empty name; a
// name equal (ignoring case) to a listed one asks the overwrite question, and
// No keeps the dialog open. True when the dialog may close with the name.
bool ConfirmSeriesName(const std::vector<std::string>& listed, std::string_view name, std::string_view questionKey,
                       std::string_view question);

// Position of name in items, ignoring case, or -1.
int FindName(const std::vector<std::string>& items, std::string_view name);

class WidthSeriesPage {
 public:
  // The page opens on the record's series when the store lists it.
  WidthSeriesPage(platform::KeyValueStore& store, settings::WidthSeries& current);

  const std::vector<std::string>& names() const { return names_; }
  // The chosen series (-1: the list was edited, or nothing chosen).
  int selection() const { return selection_; }
  std::string selectedName() const;
  // Choosing a series shows its unit, mode and widths.
  void select(int index);

  int unit = settings::WidthSeries::kUnitMm;
  int moreWidthMode = settings::WidthSeries::kMoreWidthKeep;
  // The widths as listed: 4 decimals, the user's decimal separator, ascending.
  const std::vector<std::string>& rows() const { return rows_; }
  // The text of the width field.
  std::string itemText;

  // Add item: the field must be a number of 0 or more, else "Invalid data !"
  // (the field keeps the focus). The width goes into the list in order; a
  // width already listed (within 0.00001) is not listed twice. Clears the
  // series selection. Returns the row of the width, or -1 when refused.
  int addItem();
  // Replaces the row by the field's width (the same checks); the row moves
  // to its place in order. Returns its new row, or -1.
  int updateItem(int row);
  // Removes the row; clears the series selection.
  bool removeItem(int row);

  // Delete is offered for every chosen series but "Default".
  bool canDelete() const;
  // Save as: the page's unit, mode and widths under the name (which the
  // name dialog confirmed), stored at once; the name joins the box if it is
  // new, and is chosen. False when the name cannot be a key name.
  bool saveAs(std::string_view name);
  // Delete: asks "OK to delete the width series and lose these values?"; on
  // Yes a record series of exactly this name is cleared, the stored series
  // and its box entry go, and the page is emptied. True when deleted.
  bool deleteSelected();

 private:
  void showSeries(const settings::WidthSeries& series);
  std::vector<double> widths() const;
  void setWidths(const std::vector<double>& widths);

  platform::KeyValueStore& store_;
  settings::WidthSeries& current_;
  std::vector<std::string> names_;
  int selection_ = -1;
  std::vector<std::string> rows_;
};

class AngleSeriesPage {
 public:
  // The page opens on the record's series (the built-in "Default" when it does not load).
  AngleSeriesPage(platform::KeyValueStore& store, settings::AngleSeries& current);

  const std::vector<std::string>& names() const { return names_; }
  int selection() const { return selection_; }
  std::string selectedName() const;
  // Choosing a series loads it; when that fails "Default" is shown and chosen.
  void select(int index);

  // The entries being edited (radians) and their rows in degrees with 6
  // decimals: "main (min .. max)".
  const settings::AngleSeries& series() const { return series_; }
  std::vector<std::string> rows() const;
  // Choosing a row fills the three fields with its degrees.
  void selectRow(int row);
  int currentRow() const { return currentRow_; }

  // The three fields, degrees as typed.
  std::string mainText;
  std::string maxText;
  std::string minText;
  // The field to focus after a refused Add or Update.
  settings::AngleField focus() const { return focus_; }

  // Add: the field checks in the page's order (each a number, main not
  // above max, main not below min, all within 0..180), then Insert; a
  // refusal shows its message. Clears the series selection. The row of the
  // new entry, or -1.
  int add();
  // Update: the same checks, then Replace on the current row. The row, or -1.
  int update();
  // Remove: the current row. Clears the series selection.
  bool remove();

  // Delete is offered for every chosen series but "Default" and "Ortho series".
  bool canDelete() const;
  bool saveAs(std::string_view name);
  // Delete: asks "OK to delete the angle series and lose these values?"; on
  // Yes a record series of exactly this name becomes the built-in "Default",
  // the stored series and its box entry go, the box chooses its first entry
  // and the entries and fields are emptied.
  bool deleteSelected();

 private:
  std::optional<settings::AngleEntry> checkedEntry();
  void clearFields();

  platform::KeyValueStore& store_;
  settings::AngleSeries& current_;
  std::vector<std::string> names_;
  int selection_ = -1;
  settings::AngleSeries series_;
  int currentRow_ = -1;
  settings::AngleField focus_ = settings::AngleField::None;
};

// The raster threshold page: the automatic threshold switch and the fixed
// threshold used when it is off.
struct RasterThreshPage {
  bool autoGray = true;
  std::string grayText;
  // What the active raster's histogram suggests; none without a grey or
  // colour raster.
  std::optional<int> suggested;
};

// The object snap modes in the order the settings page lists them, with
// their labels (language key and English text).
struct OsnapModeLabel {
  uint32_t bit;
  std::string_view key;
  std::string_view text;
};
inline constexpr OsnapModeLabel kOsnapModeLabels[] = {
    {0x1, "OptionDlgOsnapEnd", "&End Point"},          {0x2, "OptionDlgOsnapMid", "&Middle Point"},
    {0x4, "OptionDlgOsnapCen", "&Center Point"},       {0x10, "OptionDlgOsnapQar", "&Quadrant Point"},
    {0x20, "OptionDlgOsnapInt", "&Intersection Point"}, {0x80, "OptionDlgOsnapPer", "&Perpendicular Point"},
    {0x100, "OptionDlgOsnapTan", "&Tangency Point"},    {0x200, "OptionDlgOsnapNea", "&Nearest Point"},
};

// Undo depths, object snap defaults and the display options.
struct DrawingPage {
  int vectorUndoSteps = 32;  // 1..100
  int rasterUndoSteps = 5;   // 1..10
  settings::OsnapSettings osnap;
  std::array<settings::ColorIndex, settings::kDisplayColorCount> colors{};
  int gripBoxHalfWidth = 4;  // 1..kMaxGripBoxHalfWidth screen pixels
  int gridPointType = 0;     // 0 pixel, 1 upright cross, 2 diagonal cross
  static constexpr int kMaxGripBoxHalfWidth = 20;
};

// The label of each display colour on the drawing page, in stored order.
std::string DisplayColorLabel(settings::DisplayColor which);

class LanguagePage {
 public:
  // Lists the language files of the directories; the stored choice is selected.
  LanguagePage(const platform::KeyValueStore& store, const std::vector<std::string>& directories);
  const std::vector<settings::LanguageFile>& files() const { return files_; }
  int selection = -1;
  // The name shown as the current language.
  std::string currentName() const;
  bool changed() const { return selection >= 0 && selection != initial_; }

 private:
  std::vector<settings::LanguageFile> files_;
  int initial_ = -1;
};

class OptionDialog {
 public:
  enum class Page { Width, Angle, Threshold, Drawing, Language };
  enum class Field { None, Threshold, VectorUndoSteps, RasterUndoSteps, GripBoxHalfWidth };

  // The dialog over the store and the current record; languageDirectories
  // are searched for ".lan" files.
  OptionDialog(platform::KeyValueStore& store, settings::TraceOption& record,
               const std::vector<std::string>& languageDirectories, std::optional<int> suggestedThreshold = {});

  WidthSeriesPage width;
  AngleSeriesPage angle;
  RasterThreshPage threshold;
  DrawingPage drawing;
  LanguagePage language;

  // OK: a fixed threshold must be an integer 0..255 and the drawing values
  // within their ranges, else "Invalid data !" and the dialog stays open on
  // the page and field of the fault. Then the record takes the threshold and
  // display options and reloads both series by name, and the record, the
  // undo depths, the object snap defaults and a changed language are written
  // to the store (a changed language is loaded at once). False when refused
  // or when the store could not be written (reported).
  bool accept();
  Page failedPage() const { return failedPage_; }
  Field focus() const { return focus_; }
  // After accept(): whether the language changed (menus built before keep
  // their texts until the next start).
  bool languageChanged() const { return languageChanged_; }

 private:
  bool refuse(Page page, Field field);

  platform::KeyValueStore& store_;
  settings::TraceOption& record_;
  Page failedPage_ = Page::Width;
  Field focus_ = Field::None;
  bool languageChanged_ = false;
};

}  // namespace quillon::editor
