#include "editor/option_dialog.h"

#include <algorithm>
#include <cmath>

#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "settings/number_text.h"

namespace quillon::editor {

namespace {

using settings::AngleSeries;
using settings::WidthSeries;

bool Ask(std::string_view key, std::string_view text) {
  return platform::ShowMessage(settings::Text(key, text), platform::MessageKind::Question);
}

void ShowInvalidData() { platform::ShowMessage(settings::InvalidDataText(), platform::MessageKind::Warning); }

// A series name that cannot become a key name (empty, or with the key
// separator) is refused with its own message rather than failing quietly.
bool CheckStorableName(std::string_view name) {
  if (settings::IsStorableSeriesName(name)) return true;
  platform::ShowMessage(settings::Text("PreferDlgSeriesNameInvalid", "A series name must not be empty or contain \"\\\"."),
                        platform::MessageKind::Warning);
  return false;
}

// Series saves and deletes take effect at once, whatever the dialog's end.
void Flush(platform::KeyValueStore& store) {
  if (!store.flush()) settings::ReportWriteFailure();
}

void AddName(std::vector<std::string>& names, std::string_view name, int& selection) {
  int at = FindName(names, name);
  if (at < 0) {
    names.emplace_back(name);
    at = static_cast<int>(names.size()) - 1;
  }
  selection = at;
}

}  // namespace

int FindName(const std::vector<std::string>& items, std::string_view name) {
  for (size_t i = 0; i < items.size(); ++i)
    if (platform::EqualsIgnoreCase(items[i], name)) return static_cast<int>(i);
  return -1;
}

bool ConfirmSeriesName(const std::vector<std::string>& listed, std::string_view name, std::string_view questionKey,
                       std::string_view question) {
  if (name.empty()) return false;
  if (!settings::ChartTypeNameListed(listed, name)) return true;
  return Ask(questionKey, question);
}

// ---- width series --------------------------------------------------------------------

WidthSeriesPage::WidthSeriesPage(platform::KeyValueStore& store, WidthSeries& current)
    : store_(store), current_(current), names_(WidthSeries::List(store)) {
  const int at = current.name().empty() ? -1 : FindName(names_, current.name());
  if (at >= 0) select(at);
}

std::string WidthSeriesPage::selectedName() const { return selection_ >= 0 ? names_[selection_] : std::string(); }

void WidthSeriesPage::select(int index) {
  if (index < 0 || index >= static_cast<int>(names_.size())) return;
  WidthSeries series;
  series.Load(store_, names_[index]);
  selection_ = index;
  showSeries(series);
}

void WidthSeriesPage::showSeries(const WidthSeries& series) {
  unit = series.unit();
  moreWidthMode = series.moreWidthMode();
  setWidths(series.widths());
}

std::vector<double> WidthSeriesPage::widths() const {
  std::vector<double> values;
  for (const std::string& row : rows_)
    if (auto v = settings::ParseNumber(row)) values.push_back(*v);
  return values;
}

void WidthSeriesPage::setWidths(const std::vector<double>& widths) {
  rows_.clear();
  for (double w : widths) rows_.push_back(settings::FormatNumber(w, 4));
}

int WidthSeriesPage::addItem() {
  const std::optional<double> value = settings::ParseNumber(itemText);
  // A negative line width has no meaning for rounding; the command line refuses it too.
  if (!value || *value < 0) {
    ShowInvalidData();
    return -1;
  }
  WidthSeries list;
  for (double w : widths()) list.Insert(w);
  list.Insert(*value);
  setWidths(list.widths());
  selection_ = -1;
  const auto& ws = list.widths();
  for (size_t i = 0; i < ws.size(); ++i)
    if (std::fabs(ws[i] - *value) < WidthSeries::kTolerance) return static_cast<int>(i);
  return -1;
}

int WidthSeriesPage::updateItem(int row) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return -1;
  const std::optional<double> value = settings::ParseNumber(itemText);
  if (!value || *value < 0) {
    ShowInvalidData();
    return -1;
  }
  rows_.erase(rows_.begin() + row);
  return addItem();
}

bool WidthSeriesPage::removeItem(int row) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
  rows_.erase(rows_.begin() + row);
  selection_ = -1;
  return true;
}

bool WidthSeriesPage::canDelete() const { return settings::CanDeleteWidthSeries(selectedName()); }

bool WidthSeriesPage::saveAs(std::string_view name) {
  if (!CheckStorableName(name)) return false;
  std::vector<std::optional<double>> parsed;
  for (const std::string& row : rows_) parsed.push_back(settings::ParseNumber(row));
  const WidthSeries series = settings::BuildWidthSeries(name, unit, moreWidthMode, parsed);
  series.Save(store_);
  Flush(store_);
  AddName(names_, name, selection_);
  return true;
}

bool WidthSeriesPage::deleteSelected() {
  if (!canDelete()) return false;
  if (!Ask("PreferDlgDelSeriesMsg", "OK to delete the width series and lose these values?")) return false;
  const std::string name = selectedName();
  const bool deleted = settings::DeleteWidthSeriesInUse(store_, name, current_);
  Flush(store_);
  names_.erase(names_.begin() + selection_);
  selection_ = -1;
  rows_.clear();
  itemText.clear();
  return deleted;
}

// ---- angle series --------------------------------------------------------------------

AngleSeriesPage::AngleSeriesPage(platform::KeyValueStore& store, AngleSeries& current)
    : store_(store), current_(current), names_(AngleSeries::List(store)) {
  int at = FindName(names_, current.name());
  if (at < 0) at = FindName(names_, AngleSeries::kDefaultName);
  select(at);
}

std::string AngleSeriesPage::selectedName() const { return selection_ >= 0 ? names_[selection_] : std::string(); }

void AngleSeriesPage::select(int index) {
  if (index < 0 || index >= static_cast<int>(names_.size())) return;
  selection_ = index;
  if (!series_.Load(store_, names_[index])) {
    series_.LoadDefault();
    selection_ = FindName(names_, AngleSeries::kDefaultName);
  }
  currentRow_ = -1;
  clearFields();
}

std::vector<std::string> AngleSeriesPage::rows() const {
  std::vector<std::string> rows;
  for (const settings::AngleEntry& e : series_.entries())
    rows.push_back(settings::FormatNumber(settings::RadiansToDegrees(e.mainAngle), 6) + " (" +
                   settings::FormatNumber(settings::RadiansToDegrees(e.minAngle), 6) + " .. " +
                   settings::FormatNumber(settings::RadiansToDegrees(e.maxAngle), 6) + ")");
  return rows;
}

void AngleSeriesPage::selectRow(int row) {
  if (row < 0 || row >= static_cast<int>(series_.count())) {
    currentRow_ = -1;
    return;
  }
  currentRow_ = row;
  const settings::AngleEntry& e = series_.entries()[row];
  mainText = settings::FormatNumber(settings::RadiansToDegrees(e.mainAngle), 6);
  maxText = settings::FormatNumber(settings::RadiansToDegrees(e.maxAngle), 6);
  minText = settings::FormatNumber(settings::RadiansToDegrees(e.minAngle), 6);
}

void AngleSeriesPage::clearFields() {
  mainText.clear();
  maxText.clear();
  minText.clear();
}

std::optional<settings::AngleEntry> AngleSeriesPage::checkedEntry() {
  const settings::AngleEntryCheck check = settings::CheckAngleEntry(
      settings::ParseNumber(mainText), settings::ParseNumber(maxText), settings::ParseNumber(minText));
  focus_ = check.focus;
  if (!check.ok) {
    platform::ShowMessage(check.message, platform::MessageKind::Warning);
    return std::nullopt;
  }
  return check.entry;
}

int AngleSeriesPage::add() {
  const std::optional<settings::AngleEntry> entry = checkedEntry();
  if (!entry) return -1;
  if (!series_.Insert(*entry)) {
    platform::ShowMessage(settings::AngleAddFailText(), platform::MessageKind::Warning);
    return -1;
  }
  selection_ = -1;
  for (size_t i = 0; i < series_.count(); ++i)
    if (series_.entries()[i] == *entry) currentRow_ = static_cast<int>(i);
  return currentRow_;
}

int AngleSeriesPage::update() {
  if (currentRow_ < 0) return -1;
  const std::optional<settings::AngleEntry> entry = checkedEntry();
  if (!entry) return -1;
  if (!series_.Replace(static_cast<size_t>(currentRow_), *entry)) {
    platform::ShowMessage(settings::AngleUpdateFailText(), platform::MessageKind::Warning);
    return -1;
  }
  selection_ = -1;
  return currentRow_;
}

bool AngleSeriesPage::remove() {
  if (currentRow_ < 0 || !series_.RemoveAt(static_cast<size_t>(currentRow_))) return false;
  currentRow_ = -1;
  selection_ = -1;
  clearFields();
  return true;
}

bool AngleSeriesPage::canDelete() const { return settings::CanDeleteAngleSeries(selectedName()); }

bool AngleSeriesPage::saveAs(std::string_view name) {
  if (!CheckStorableName(name)) return false;
  AngleSeries named = series_;
  named.SetName(name);
  named.Save(store_);
  Flush(store_);
  series_ = named;
  AddName(names_, name, selection_);
  return true;
}

bool AngleSeriesPage::deleteSelected() {
  if (!canDelete()) return false;
  if (!Ask("DelAngleSeriesMsg", "OK to delete the angle series and lose these values?")) return false;
  const std::string name = selectedName();
  const bool deleted = settings::DeleteAngleSeriesInUse(store_, name, current_);
  Flush(store_);
  names_.erase(names_.begin() + selection_);
  selection_ = names_.empty() ? -1 : 0;
  series_.Clear();
  currentRow_ = -1;
  clearFields();
  return deleted;
}

// ---- drawing and language ------------------------------------------------------------

std::string DisplayColorLabel(settings::DisplayColor which) {
  switch (which) {
    case settings::DisplayColor::Normal: return settings::Text("PreferDlgNormalColor", "Vectors");
    case settings::DisplayColor::Select: return settings::Text("PreferDlgSelectColor", "Selected vectors");
    case settings::DisplayColor::BackGround: return settings::Text("PreferDlgBackGroundColor", "Background");
    case settings::DisplayColor::OsnapBox: return settings::Text("PreferDlgOsnapBoxColor", "Object snap marker");
    case settings::DisplayColor::GripBox: return settings::Text("PreferDlgGripBoxColor", "Grips");
    case settings::DisplayColor::SelGripBox: return settings::Text("PreferDlgSelGripBoxColor", "Picked grip");
  }
  return {};
}

LanguagePage::LanguagePage(const platform::KeyValueStore& store, const std::vector<std::string>& directories)
    : files_(settings::ListLanguageFiles(directories)) {
  initial_ = settings::FindLanguageFile(files_, settings::CurrentLanguageFileName(store));
  selection = initial_;
}

std::string LanguagePage::currentName() const {
  return selection >= 0 && selection < static_cast<int>(files_.size()) ? files_[selection].displayName
                                                                       : std::string();
}

// ---- the dialog ----------------------------------------------------------------------

OptionDialog::OptionDialog(platform::KeyValueStore& store, settings::TraceOption& record,
                           const std::vector<std::string>& languageDirectories, std::optional<int> suggestedThreshold)
    : width(store, record.s_WidthSeries),
      angle(store, record.s_AngleSeries),
      language(store, languageDirectories),
      store_(store),
      record_(record) {
  threshold.autoGray = record.b_AutoGray;
  threshold.grayText = std::to_string(record.i_Gray);
  threshold.suggested = suggestedThreshold;

  const settings::UndoSteps steps = settings::LoadUndoSteps(store);
  drawing.vectorUndoSteps = steps.vectorSteps;
  drawing.rasterUndoSteps = steps.rasterSteps;
  drawing.osnap = settings::LoadOsnapSettings(store);
  for (size_t i = 0; i < settings::kDisplayColorCount; ++i)
    drawing.colors[i] = record.colorIndex(static_cast<settings::DisplayColor>(i));
  drawing.gripBoxHalfWidth = record.i_GripBoxHalfWidth;
  drawing.gridPointType = record.GridPointType;
}

bool OptionDialog::refuse(Page page, Field field) {
  failedPage_ = page;
  focus_ = field;
  ShowInvalidData();
  return false;
}

bool OptionDialog::accept() {
  focus_ = Field::None;
  std::optional<int> gray;
  if (!threshold.autoGray) {
    gray = settings::ParseInteger(threshold.grayText);
    if (!gray || *gray < 0 || *gray > 255) return refuse(Page::Threshold, Field::Threshold);
  }
  if (drawing.vectorUndoSteps < 1 || drawing.vectorUndoSteps > 100)
    return refuse(Page::Drawing, Field::VectorUndoSteps);
  if (drawing.rasterUndoSteps < 1 || drawing.rasterUndoSteps > 10)
    return refuse(Page::Drawing, Field::RasterUndoSteps);
  if (drawing.gripBoxHalfWidth < 1 || drawing.gripBoxHalfWidth > DrawingPage::kMaxGripBoxHalfWidth)
    return refuse(Page::Drawing, Field::GripBoxHalfWidth);

  record_.b_AutoGray = threshold.autoGray;
  if (gray) record_.i_Gray = static_cast<uint8_t>(*gray);
  // The background first: index 7 of the other colours resolves against it.
  record_.setColorIndex(settings::DisplayColor::BackGround,
                        drawing.colors[static_cast<size_t>(settings::DisplayColor::BackGround)]);
  for (size_t i = 0; i < settings::kDisplayColorCount; ++i)
    record_.setColorIndex(static_cast<settings::DisplayColor>(i), drawing.colors[i]);
  record_.i_GripBoxHalfWidth = static_cast<int16_t>(drawing.gripBoxHalfWidth);
  record_.GridPointType = std::clamp(drawing.gridPointType, 0, 2);

  // Series saved on the pages under the record's names take effect now.
  if (const std::string name = record_.s_WidthSeries.name(); !name.empty() && WidthSeries::Exists(store_, name)) {
    WidthSeries reloaded;
    if (reloaded.Load(store_, name)) record_.s_WidthSeries = reloaded;
  }
  record_.s_AngleSeries = settings::LoadAngleSeriesForPage(store_, record_.s_AngleSeries.name());

  bool ok = settings::SaveOptions(store_, record_);
  ok = ok && settings::SaveUndoSteps(store_, {drawing.vectorUndoSteps, drawing.rasterUndoSteps});
  ok = ok && settings::SaveOsnapSettings(store_, drawing.osnap);
  languageChanged_ = false;
  if (ok && language.changed()) {
    ok = settings::ApplyLanguageChoice(store_, settings::Language(), language.files()[language.selection]);
    languageChanged_ = true;
    if (ok && !store_.flush()) {
      settings::ReportWriteFailure();
      ok = false;
    }
  }
  return ok;
}

}  // namespace quillon::editor
