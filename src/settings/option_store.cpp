#include "settings/option_store.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "settings/language_table.h"

namespace quillon::settings {

namespace {

using platform::KeyValueStore;

// Names longer than the 512-byte buffers of the registry interface are not listed.
constexpr size_t kNameLimit = 511;
// Recent paths are read through 261-byte buffers.
constexpr size_t kRecentPathLimit = 260;

struct ColorValue {
  DisplayColor which;
  const char* name;
};
// The colour values of Option, in the order they are written.
constexpr ColorValue kColorValues[] = {
    {DisplayColor::Normal, "c_NormalColorIndex"},     {DisplayColor::Select, "c_SelectColorIndex"},
    {DisplayColor::BackGround, "c_BackGroundColorIndex"}, {DisplayColor::OsnapBox, "c_OsnapBoxColorIndex"},
    {DisplayColor::GripBox, "c_GripBoxColorIndex"},   {DisplayColor::SelGripBox, "c_SelGripBoxColorIndex"},
};

std::string Join(std::string_view key, std::string_view name) {
  std::string path(key);
  path += '\\';
  path += name;
  return path;
}

std::optional<bool> ReadFlag(const KeyValueStore& store, std::string_view key, std::string_view name) {
  if (auto v = store.readDword(key, name)) return *v != 0;
  return std::nullopt;
}

// A count that must be positive; anything else reads as missing.
std::optional<int32_t> ReadPositive(const KeyValueStore& store, std::string_view key, std::string_view name) {
  auto v = store.readDword(key, name);
  if (!v) return std::nullopt;
  const auto value = static_cast<int32_t>(*v);
  if (value <= 0) return std::nullopt;
  return value;
}

// An 8-byte double; a value of another size or one that is not finite reads as missing.
std::optional<double> ReadDouble(const KeyValueStore& store, std::string_view key, std::string_view name) {
  auto bytes = store.readBinary(key, name);
  if (!bytes) return std::nullopt;
  auto v = StoredDoubleFromBytes(*bytes);
  if (!v || !std::isfinite(*v)) return std::nullopt;
  return v;
}

std::optional<std::string> ReadName(const KeyValueStore& store, std::string_view key, std::string_view name) {
  auto s = store.readString(key, name);
  if (s && s->size() > kNameLimit) s->resize(kNameLimit);
  return s;
}

uint32_t Unsigned(int32_t v) { return static_cast<uint32_t>(v); }
uint32_t Flag(bool b) { return b ? 1u : 0u; }

// Collects the writes of one save: the first failure is reported once and
// every later write of that save is skipped.
class SaveBatch {
 public:
  explicit SaveBatch(KeyValueStore& store) : store_(store) {}

  bool key(std::string_view path) { return step([&] { return store_.createKey(path); }); }
  void dword(std::string_view path, std::string_view name, uint32_t v) {
    step([&] { return store_.writeDword(path, name, v); });
  }
  void string(std::string_view path, std::string_view name, const std::string& v) {
    step([&] { return store_.writeString(path, name, v); });
  }
  void real(std::string_view path, std::string_view name, double v) {
    step([&] { return store_.writeBinary(path, name, StoredDoubleBytes(v)); });
  }
  // Flushes the store; returns whether the whole save succeeded.
  bool finish() {
    step([&] { return store_.flush(); });
    return ok_;
  }

 private:
  template <typename F>
  bool step(F&& f) {
    if (!ok_) return false;
    if (!f()) {
      ok_ = false;
      ReportWriteFailure();
    }
    return ok_;
  }

  KeyValueStore& store_;
  bool ok_ = true;
};

void WriteCenterValues(SaveBatch& save, std::string_view key, const TraceOption& r) {
  save.dword(key, "b_CalcWidth", Flag(r.b_CalcWidth));
  save.string(key, "s_WidthSeries", r.s_WidthSeries.name());
  save.dword(key, "b_DelLine", Flag(r.b_DelLine));
  save.dword(key, "i_DelLine_Length", Unsigned(r.i_DelLine_Length));
  save.real(key, "d_MaxDis", r.d_MaxDis);
  save.dword(key, "b_ForceOrtho", Flag(r.b_ForceOrtho));
  save.string(key, "s_AngleSeries", r.s_AngleSeries.name());
  save.dword(key, "b_Connect", Flag(r.b_Connect));
  save.dword(key, "i_ConDis", Unsigned(r.i_ConDis));
  save.dword(key, "b_RecogniseCirArc", Flag(r.b_RecogniseCirArc));
}

FillType ReadFillType(const KeyValueStore& store, std::string_view key, FillType def, FillType largest) {
  const uint32_t v = store.readDword(key, "i_FillType").value_or(static_cast<uint32_t>(def));
  return v > static_cast<uint32_t>(largest) ? largest : static_cast<FillType>(v);
}

double ReadSpace(const KeyValueStore& store, std::string_view key) {
  const double v = ReadDouble(store, key, "d_FillSpace").value_or(1.0);
  return v > 0 ? v : 1.0;
}

void LoadOptionValues(const KeyValueStore& store, TraceOption& r) {
  const char* key = kOptionKey;
  const auto method = static_cast<int32_t>(store.readDword(key, "i_AutoTraceWhat").value_or(1));
  r.i_AutoTraceWhat = static_cast<TraceMethod>(std::clamp(method, 1, 3));
  r.i_Gray = static_cast<uint8_t>(store.readDword(key, "i_Gray").value_or(128) & 0xFF);
  r.b_AutoGray = ReadFlag(store, key, "b_AutoGray").value_or(false);
  const TraceOption defaults;
  for (const auto& c : kColorValues) {
    const auto stored = store.readDword(key, c.name);
    r.setColorIndex(c.which, stored ? ColorIndexFromStored(*stored) : defaults.colorIndex(c.which));
  }
  r.GridPointType = static_cast<int32_t>(std::min<uint32_t>(store.readDword(key, "GridPointType").value_or(0), 2));
  r.i_GripBoxHalfWidth = static_cast<int16_t>(store.readDword(key, "i_GripBoxHalfWidth").value_or(4) & 0xFFFF);
  const uint32_t format = store.readDword(key, "i_VectorFileFormat").value_or(1);
  r.i_VectorFileFormat = static_cast<int32_t>(std::clamp<uint32_t>(format, 1, 9));
}

void LoadCenterValues(const KeyValueStore& store, TraceOption& r) {
  const char* key = kOptionCenterKey;
  const std::string unnamed = UnnamedChartTypeName();
  const auto modal = ReadName(store, key, "ModalName");
  if (!modal || modal->empty()) {
    r.ApplyPreset(kPresetDefault);
    r.ModalName = unnamed;
  } else {
    r.ModalName = *modal;
    LoadChartType(store, r, *modal);  // not found: pre_Default and "Unnamed"
  }

  bool changed = false;
  // A stored flag that differs, or a missing one that forces its default.
  auto flag = [&](bool& field, std::string_view name, bool def) {
    const auto v = ReadFlag(store, key, name);
    if (!v || *v != field) changed = true;
    field = v.value_or(def);
  };
  auto count = [&](int32_t& field, std::string_view name, bool needed, int32_t def) {
    if (auto v = ReadPositive(store, key, name)) {
      if (*v != field) changed = true;
      field = *v;
    } else if (needed) {
      changed = true;
      field = def;
    }
  };

  flag(r.b_CalcWidth, "b_CalcWidth", true);
  const auto width = ReadName(store, key, "s_WidthSeries");
  if (width && !width->empty()) {
    if (!platform::EqualsIgnoreCase(*width, r.s_WidthSeries.name())) changed = true;
    if (!WidthSeries::Exists(store, *width) || !r.s_WidthSeries.Load(store, *width)) r.s_WidthSeries.Clear();
  } else {
    r.s_WidthSeries.Clear();
  }
  flag(r.b_DelLine, "b_DelLine", true);
  count(r.i_DelLine_Length, "i_DelLine_Length", r.b_DelLine, 10);
  if (auto v = ReadDouble(store, key, "d_MaxDis")) {
    if (std::fabs(*v - r.d_MaxDis) > 0.00001) changed = true;
    r.d_MaxDis = std::max(0.0, *v);
  } else {
    changed = true;
    r.d_MaxDis = 2.0;
  }
  flag(r.b_ForceOrtho, "b_ForceOrtho", true);
  const auto angle = ReadName(store, key, "s_AngleSeries");
  const std::string chartAngle = r.s_AngleSeries.name();
  if (!angle || angle->empty() || !AngleSeries::Exists(store, *angle) || !r.s_AngleSeries.Load(store, *angle))
    r.s_AngleSeries.LoadDefault();
  if (!platform::EqualsIgnoreCase(chartAngle, r.s_AngleSeries.name())) changed = true;
  flag(r.b_Connect, "b_Connect", true);
  count(r.i_ConDis, "i_ConDis", r.b_Connect, 5);
  flag(r.b_RecogniseCirArc, "b_RecogniseCirArc", true);
  // Not a chart type value: it never makes the values "Unnamed".
  r.b_Refine = ReadFlag(store, key, "b_Refine").value_or(false);

  if (changed) r.ModalName = unnamed;
}

void LoadOutlineValues(const KeyValueStore& store, OutlineOption& o) {
  const char* key = kOptionOutlineKey;
  o.d_MaxDis = std::max(0.0, ReadDouble(store, key, "d_MaxDis").value_or(1.5));
  o.b_RecogniseCirArc = ReadFlag(store, key, "b_RecogniseCirArc").value_or(true);
  o.b_Fill = ReadFlag(store, key, "b_Fill").value_or(false);
  o.i_FillType = ReadFillType(store, key, FillType::Solid, FillType::Solid);
  o.d_FillSpace = ReadSpace(store, key);
}

void LoadFillPatternValues(const KeyValueStore& store, FillPatternOption& f) {
  const char* key = kOptionFillPatternKey;
  f.i_FillType = ReadFillType(store, key, FillType::Horizontal, FillType::Cross);
  f.d_FillSpace = ReadSpace(store, key);
}

}  // namespace

void ReportWriteFailure() { platform::ShowMessage(Text("WriteRegistryFailMsg", "Write to registry failed!")); }

void LoadOptions(const KeyValueStore& store, TraceOption& record) {
  if (store.keyExists(kOptionKey)) LoadOptionValues(store, record);
  if (store.keyExists(kOptionCenterKey)) LoadCenterValues(store, record);
  if (store.keyExists(kOptionOutlineKey)) LoadOutlineValues(store, record.Outline);
  if (store.keyExists(kOptionFillPatternKey)) LoadFillPatternValues(store, record.FillPattern);
}

bool SaveOptions(KeyValueStore& store, const TraceOption& r) {
  SaveBatch save(store);
  if (save.key(kOptionKey)) {
    const char* key = kOptionKey;
    save.dword(key, "i_AutoTraceWhat", Unsigned(static_cast<int32_t>(r.i_AutoTraceWhat)));
    save.dword(key, "i_Gray", r.i_Gray);
    save.dword(key, "b_AutoGray", Flag(r.b_AutoGray));
    for (const auto& c : kColorValues) save.dword(key, c.name, static_cast<uint16_t>(r.colorIndex(c.which)));
    save.dword(key, "GridPointType", Unsigned(r.GridPointType));
    save.dword(key, "i_GripBoxHalfWidth", static_cast<uint16_t>(r.i_GripBoxHalfWidth));
    save.dword(key, "i_VectorFileFormat", Unsigned(r.i_VectorFileFormat));
  }
  if (save.key(kOptionCenterKey)) {
    save.string(kOptionCenterKey, "ModalName", r.ModalName);
    WriteCenterValues(save, kOptionCenterKey, r);
    save.dword(kOptionCenterKey, "b_Refine", Flag(r.b_Refine));
  }
  if (save.key(kOptionOutlineKey)) {
    const char* key = kOptionOutlineKey;
    save.real(key, "d_MaxDis", r.Outline.d_MaxDis);
    save.dword(key, "b_RecogniseCirArc", Flag(r.Outline.b_RecogniseCirArc));
    save.dword(key, "b_Fill", Flag(r.Outline.b_Fill));
    save.dword(key, "i_FillType", Unsigned(static_cast<int32_t>(r.Outline.i_FillType)));
    save.real(key, "d_FillSpace", r.Outline.d_FillSpace);
  }
  if (save.key(kOptionFillPatternKey)) {
    save.dword(kOptionFillPatternKey, "i_FillType", Unsigned(static_cast<int32_t>(r.FillPattern.i_FillType)));
    save.real(kOptionFillPatternKey, "d_FillSpace", r.FillPattern.d_FillSpace);
  }
  return save.finish();
}

bool LoadChartType(const KeyValueStore& store, TraceOption& r, std::string_view nameView) {
  const std::string name(nameView);  // callers may pass the record's own ModalName
  const std::string key = Join(kOptionListKey, name);
  if (IsStorableSeriesName(name) && store.keyExists(key)) {
    r.ModalName = name;
    r.b_CalcWidth = ReadFlag(store, key, "b_CalcWidth").value_or(true);
    r.b_DelLine = ReadFlag(store, key, "b_DelLine").value_or(false);
    r.i_DelLine_Length = ReadPositive(store, key, "i_DelLine_Length").value_or(10);
    r.d_MaxDis = std::max(0.0, ReadDouble(store, key, "d_MaxDis").value_or(2.0));
    r.b_ForceOrtho = ReadFlag(store, key, "b_ForceOrtho").value_or(true);
    r.b_Connect = ReadFlag(store, key, "b_Connect").value_or(true);
    r.i_ConDis = ReadPositive(store, key, "i_ConDis").value_or(5);
    r.b_RecogniseCirArc = ReadFlag(store, key, "b_RecogniseCirArc").value_or(true);
    // The widths are loaded with the name, so the record never pairs one
    // series' name with another's widths; a name that does not load keeps
    // the name without widths.
    if (const auto width = ReadName(store, key, "s_WidthSeries"); width && !width->empty()) {
      if (!r.s_WidthSeries.Load(store, *width)) {
        r.s_WidthSeries.Clear();
        r.s_WidthSeries.SetName(*width);
      }
    }
    if (r.b_ForceOrtho) {
      const auto angle = ReadName(store, key, "s_AngleSeries");
      if (!angle || angle->empty() || !r.s_AngleSeries.Load(store, *angle)) r.s_AngleSeries.LoadDefault();
    }
    r.i_AutoTraceWhat = TraceMethod::CenterLine;
    return true;
  }
  if (r.ApplyPreset(name)) return true;
  r.ApplyPreset(kPresetDefault);
  r.ModalName = UnnamedChartTypeName();
  return false;
}

bool SaveChartType(KeyValueStore& store, const TraceOption& record, std::string_view name) {
  if (!IsStorableSeriesName(name)) {
    ReportWriteFailure();
    return false;
  }
  const std::string key = Join(kOptionListKey, name);
  SaveBatch save(store);
  if (save.key(key)) WriteCenterValues(save, key, record);
  return save.finish();
}

bool DeleteChartType(KeyValueStore& store, std::string_view name) {
  if (!store.keyExists(kOptionListKey) || !IsStorableSeriesName(name) ||
      !DeleteKeyTree(store, kOptionListKey, name) || !store.flush()) {
    ReportWriteFailure();
    return false;
  }
  return true;
}

std::vector<std::string> ListChartTypes(const KeyValueStore& store) {
  std::vector<std::string> names;
  for (auto& name : store.subkeys(kOptionListKey))
    if (name.size() <= kNameLimit) names.push_back(std::move(name));
  return names;
}

std::vector<std::string> ChartTypeChoices(const KeyValueStore& store) {
  std::vector<std::string> names = ListChartTypes(store);
  for (const char* preset : {kPresetEngineering, kPresetTopography, kPresetDefault})
    if (!ChartTypeNameListed(names, preset)) names.emplace_back(preset);
  return names;
}

bool IsBuiltInChartType(std::string_view name) { return !PresetName(name).empty(); }

bool ChartTypeNameListed(const std::vector<std::string>& listed, std::string_view name) {
  for (const auto& n : listed)
    if (platform::EqualsIgnoreCase(n, name)) return true;
  return false;
}

bool ResetChartType(KeyValueStore& store, TraceOption& record, std::string_view name) {
  const std::string_view preset = PresetName(name);
  if (preset.empty()) return false;
  if (preset == kPresetDefault)
    record.SetDefaults();
  else
    record.ApplyPreset(preset);
  if (!SaveChartType(store, record, preset)) {
    platform::ShowMessage(Text("SetDlgSaveParamError", "Save error!\nPlease save again!"));
    return false;
  }
  return true;
}

bool DeleteKeyTree(KeyValueStore& store, std::string_view parent, std::string_view name) {
  if (name.empty()) return false;
  return store.deleteKeyTree(Join(parent, name));
}

bool CheckSettingsVersion(KeyValueStore& store, TraceOption& record) {
  auto version = store.readDword(kVersionKey, "version");
  if (!version) version = store.readDword(kVersionKey, "");
  bool reset = false;
  if (version && *version < kSettingsVersion) {
    platform::ShowMessage(Text("MainVersionSmall", "Reset the color due to lower version."),
                          platform::MessageKind::Information);
    record.setColorIndex(DisplayColor::Normal, 5);
    record.setColorIndex(DisplayColor::Select, 1);
    record.setColorIndex(DisplayColor::BackGround, 7);
    record.setColorIndex(DisplayColor::OsnapBox, 6);
    reset = true;
  }
  SaveBatch save(store);
  if (save.key(kVersionKey)) save.dword(kVersionKey, "version", kSettingsVersion);
  (void)save.finish();
  return reset;
}

bool AddRecent(RecentFileList& list, std::string_view path) {
  size_t found = list.size();
  for (size_t i = 0; i < list.size(); ++i)
    if (platform::EqualsIgnoreCase(list[i], path)) {
      found = i;
      break;
    }
  if (found == 0) return false;
  const size_t last = found == list.size() ? list.size() - 1 : found;
  for (size_t i = last; i > 0; --i) list[i] = std::move(list[i - 1]);
  list[0] = std::string(path);
  return true;
}

RecentFileList LoadRecentFiles(const KeyValueStore& store, std::string_view key) {
  RecentFileList list;
  for (size_t i = 0; i < list.size(); ++i) {
    auto path = store.readString(key, "file" + std::to_string(i));
    if (!path || path->empty()) break;
    if (path->size() > kRecentPathLimit) path->resize(kRecentPathLimit);
    list[i] = std::move(*path);
  }
  return list;
}

bool SaveRecentFiles(KeyValueStore& store, std::string_view key, const RecentFileList& list) {
  SaveBatch save(store);
  if (save.key(key)) {
    bool ended = false;
    for (size_t i = 0; i < list.size(); ++i) {
      ended = ended || list[i].empty();
      save.string(key, "file" + std::to_string(i), ended ? std::string() : list[i]);
    }
  }
  return save.finish();
}

RecentLists LoadStartupSettings(KeyValueStore& store, TraceOption& record) {
  LoadOptions(store, record);
  (void)CheckSettingsVersion(store, record);
  return {LoadRecentFiles(store, kFileListKey), LoadRecentFiles(store, kVectorFileListKey)};
}

bool SaveExitSettings(KeyValueStore& store, const TraceOption& record, const RecentLists& recent) {
  return SaveOptions(store, record) && SaveRecentFiles(store, kFileListKey, recent.rasterFiles) &&
         SaveRecentFiles(store, kVectorFileListKey, recent.vectorFiles);
}

OsnapSettings LoadOsnapSettings(const KeyValueStore& store) {
  OsnapSettings s;
  s.mode = store.readDword(kOptionKey, "OsnapPoint").value_or(s.mode);
  s.on = ReadFlag(store, kOptionKey, "b_Osnap").value_or(s.on);
  return s;
}

bool SaveOsnapSettings(KeyValueStore& store, const OsnapSettings& s) {
  SaveBatch save(store);
  if (save.key(kOptionKey)) {
    save.dword(kOptionKey, "OsnapPoint", s.mode);
    save.dword(kOptionKey, "b_Osnap", Flag(s.on));
  }
  return save.finish();
}

UndoSteps LoadUndoSteps(const KeyValueStore& store) {
  UndoSteps s;
  if (auto v = store.readDword(kOptionKey, "VectorUndoSteps"); v && *v >= 1 && *v <= 100)
    s.vectorSteps = static_cast<int32_t>(*v);
  if (auto v = store.readDword(kOptionKey, "RasterUndoSteps"); v && *v >= 1 && *v <= 10)
    s.rasterSteps = static_cast<int32_t>(*v);
  return s;
}

bool SaveUndoSteps(KeyValueStore& store, const UndoSteps& s) {
  SaveBatch save(store);
  if (save.key(kOptionKey)) {
    save.dword(kOptionKey, "VectorUndoSteps", Unsigned(s.vectorSteps));
    save.dword(kOptionKey, "RasterUndoSteps", Unsigned(s.rasterSteps));
  }
  return save.finish();
}

SaveGraphicsSize LoadSaveGraphicsSize(const KeyValueStore& store) {
  SaveGraphicsSize s;
  if (auto v = ReadDouble(store, kOptionKey, "SaveGraphicsWidth"); v && *v > 0) s.width = *v;
  if (auto v = ReadDouble(store, kOptionKey, "SaveGraphicsHeight"); v && *v > 0) s.height = *v;
  s.unit = std::min<uint32_t>(store.readDword(kOptionKey, "SaveGraphicUnits").value_or(s.unit), 3);
  return s;
}

bool SaveSaveGraphicsSize(KeyValueStore& store, const SaveGraphicsSize& s) {
  SaveBatch save(store);
  if (save.key(kOptionKey)) {
    save.real(kOptionKey, "SaveGraphicsWidth", s.width);
    save.real(kOptionKey, "SaveGraphicsHeight", s.height);
    save.dword(kOptionKey, "SaveGraphicUnits", s.unit);
  }
  return save.finish();
}

BatchWindowSettings LoadBatchWindowSettings(const KeyValueStore& store) {
  BatchWindowSettings s;
  s.targetFormatIndex = std::min<uint32_t>(store.readDword(kBatchKey, "TargetFormatIndex").value_or(0), 8);
  s.targetFolder = store.readString(kBatchKey, "TargetFolder").value_or("");
  for (size_t i = 0; i < s.columnWidths.size(); ++i)
    s.columnWidths[i] = store.readDword(kBatchColumnWidthsKey, "ColumnWidth_" + std::to_string(i)).value_or(0);
  for (size_t i = 0; i < s.recentJobs.size(); ++i)
    s.recentJobs[i] = store.readString(kJobListKey, "Job" + std::to_string(i + 1)).value_or("");
  return s;
}

bool SaveBatchWindowSettings(KeyValueStore& store, const BatchWindowSettings& s) {
  SaveBatch save(store);
  if (save.key(kBatchKey)) {
    save.dword(kBatchKey, "TargetFormatIndex", s.targetFormatIndex);
    save.string(kBatchKey, "TargetFolder", s.targetFolder);
  }
  if (save.key(kBatchColumnWidthsKey))
    for (size_t i = 0; i < s.columnWidths.size(); ++i)
      save.dword(kBatchColumnWidthsKey, "ColumnWidth_" + std::to_string(i), s.columnWidths[i]);
  if (save.key(kJobListKey))
    for (size_t i = 0; i < s.recentJobs.size(); ++i)
      save.string(kJobListKey, "Job" + std::to_string(i + 1), s.recentJobs[i]);
  return save.finish();
}

}  // namespace quillon::settings
