#include "settings/angle_series.h"

#include <algorithm>
#include <cmath>

#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "settings/language_table.h"
#include "settings/width_series.h"

namespace quillon::settings {

namespace {

using platform::EqualsIgnoreCase;

struct DegreeEntry {
  double mainAngle, minAngle, maxAngle;
};

constexpr DegreeEntry kDefaultDegrees[] = {
    {0, 0, 5},           {30, 27.5, 32.5},    {45, 42.5, 47.5},    {60, 57.5, 62.5},  {90, 87.5, 92.5},
    {120, 117.5, 122.5}, {135, 132.5, 137.5}, {150, 147.5, 152.5}, {180, 175, 180},
};
constexpr DegreeEntry kOrthoDegrees[] = {{0, 0, 10}, {90, 85, 95}, {180, 170, 180}};
constexpr DegreeEntry kTinilyDegrees[] = {
    {0, 0, 1.5},     {30, 29, 31},    {45, 44, 46},    {60, 59, 61},      {90, 88.5, 91.5},
    {120, 119, 121}, {135, 134, 136}, {150, 149, 151}, {180, 178.5, 180},
};

template <size_t N>
std::vector<AngleEntry> FromDegrees(const DegreeEntry (&table)[N]) {
  std::vector<AngleEntry> out;
  out.reserve(N);
  for (const auto& d : table)
    out.push_back({DegreesToRadians(d.mainAngle), DegreesToRadians(d.maxAngle), DegreesToRadians(d.minAngle)});
  return out;
}

std::string SeriesKey(std::string_view name) { return detail::SeriesKey(AngleSeries::kStoreKey, name); }

std::optional<double> ReadAngle(const platform::KeyValueStore& store, const std::string& key, size_t i,
                                const char* suffix) {
  auto bytes = store.readBinary(key, std::to_string(i) + suffix);
  if (!bytes) return std::nullopt;
  return StoredDoubleFromBytes(*bytes);
}

}  // namespace

double AnglePi() { return std::atan2(0.0, -1.0); }
double DegreesToRadians(double degrees) { return degrees * AnglePi() / 180.0; }
double RadiansToDegrees(double radians) { return radians * 180.0 / AnglePi(); }

AngleSeries AngleSeries::BuiltInDefault() {
  AngleSeries s;
  s.LoadDefault();
  return s;
}

void AngleSeries::SetName(std::string_view name) {
  if (!name.empty()) name_ = name;
}

void AngleSeries::Clear() {
  name_.clear();
  entries_.clear();
}

// An entry fits between the entries at previous and next (either may be
// missing: npos / count()) when its range does not overlap theirs.
bool AngleSeries::fitsBetween(size_t previous, size_t next, const AngleEntry& e) const {
  if (previous < entries_.size() && e.minAngle < entries_[previous].maxAngle) return false;
  if (next < entries_.size() && e.maxAngle > entries_[next].minAngle) return false;
  return true;
}

bool AngleSeries::Insert(const AngleEntry& e) {
  if (!std::isfinite(e.mainAngle) || !std::isfinite(e.minAngle) || !std::isfinite(e.maxAngle)) return false;
  if (e.minAngle - kTolerance > e.mainAngle || e.maxAngle + kTolerance < e.mainAngle) return false;
  const size_t none = static_cast<size_t>(-1);
  for (size_t i = 0; i < entries_.size(); ++i) {
    const size_t previous = i == 0 ? none : i - 1;
    if (entries_[i].mainAngle == e.mainAngle) {
      if (!fitsBetween(previous, i + 1, e)) return false;
      entries_[i] = e;
      return true;
    }
    if (entries_[i].mainAngle > e.mainAngle) {
      if (!fitsBetween(previous, i, e)) return false;
      entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(i), e);
      return true;
    }
  }
  if (!entries_.empty() && !fitsBetween(entries_.size() - 1, none, e)) return false;
  entries_.push_back(e);
  return true;
}

bool AngleSeries::Replace(size_t position, const AngleEntry& e) {
  if (position >= entries_.size()) return false;
  // The list invariant (main within its own range) holds for replaced entries too.
  if (e.minAngle - kTolerance > e.mainAngle || e.maxAngle + kTolerance < e.mainAngle) return false;
  const size_t previous = position == 0 ? static_cast<size_t>(-1) : position - 1;
  if (!fitsBetween(previous, position + 1, e)) return false;
  entries_[position] = e;
  return true;
}

bool AngleSeries::RemoveAt(size_t position) {
  if (position >= entries_.size()) return false;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(position));
  return true;
}

void AngleSeries::LoadDefault() {
  name_ = kDefaultName;
  entries_ = FromDegrees(kDefaultDegrees);
}

void AngleSeries::LoadOrtho() {
  name_ = kOrthoName;
  entries_ = FromDegrees(kOrthoDegrees);
}

void AngleSeries::LoadTinily() {
  name_ = kTinilyName;
  entries_ = FromDegrees(kTinilyDegrees);
}

bool AngleSeries::Load(const platform::KeyValueStore& store, std::string_view name) {
  Clear();
  const std::string key = SeriesKey(name);
  if (!IsStorableSeriesName(name) || !store.keyExists(key)) {
    if (EqualsIgnoreCase(name, kOrthoName)) {
      LoadOrtho();
      return true;
    }
    if (EqualsIgnoreCase(name, kTinilyName)) {
      LoadTinily();
      return true;
    }
    LoadDefault();
    return EqualsIgnoreCase(name, kDefaultName);
  }
  name_ = name;
  const auto count = store.readDword(key, "AngleCount");
  if (!count || *count == 0) {
    LoadDefault();
    return false;
  }
  // A missing value ends the loop at once, so a huge malformed count costs nothing.
  for (uint32_t i = 0; i < *count; ++i) {
    auto mainAngle = ReadAngle(store, key, i, "_MainAngle");
    auto maxAngle = ReadAngle(store, key, i, "_MaxAngle");
    auto minAngle = ReadAngle(store, key, i, "_MinAngle");
    if (!mainAngle || !maxAngle || !minAngle) {
      LoadDefault();
      return false;
    }
    Insert({*mainAngle, *maxAngle, *minAngle});  // a rejected triple is dropped
  }
  return true;
}

bool AngleSeries::Save(platform::KeyValueStore& store) const {
  if (!IsStorableSeriesName(name_)) return false;
  const std::string key = SeriesKey(name_);
  // The whole key goes, so no values of a longer earlier version linger.
  store.deleteKeyTree(key);
  if (!store.createKey(key)) return true;  // not reported
  store.writeDword(key, "AngleCount", static_cast<uint32_t>(entries_.size()));
  for (size_t i = 0; i < entries_.size(); ++i) {
    const std::string prefix = std::to_string(i);
    store.writeBinary(key, prefix + "_MainAngle", StoredDoubleBytes(entries_[i].mainAngle));
    store.writeBinary(key, prefix + "_MaxAngle", StoredDoubleBytes(entries_[i].maxAngle));
    store.writeBinary(key, prefix + "_MinAngle", StoredDoubleBytes(entries_[i].minAngle));
  }
  return true;
}

bool AngleSeries::Exists(const platform::KeyValueStore& store, std::string_view name) {
  if (name.empty()) return false;
  if (EqualsIgnoreCase(name, kDefaultName) || EqualsIgnoreCase(name, kOrthoName) ||
      EqualsIgnoreCase(name, kTinilyName))
    return true;
  return IsStorableSeriesName(name) && store.keyExists(SeriesKey(name));
}

bool AngleSeries::Delete(platform::KeyValueStore& store, std::string_view name) {
  return detail::DeleteSeries(store, kStoreKey, name);
}

std::vector<std::string> AngleSeries::List(const platform::KeyValueStore& store) {
  return detail::ListSeries(store, kStoreKey, {kDefaultName, kOrthoName, kTinilyName});
}

bool AngleSeries::Snap(double& angle) const {
  for (const auto& e : entries_) {
    if (e.minAngle <= angle && angle <= e.maxAngle && e.mainAngle != angle) {
      angle = e.mainAngle;
      return true;
    }
  }
  return false;
}

// ---- Preference page ---------------------------------------------------------

AngleEntryCheck CheckAngleEntry(std::optional<double> mainDegrees, std::optional<double> maxDegrees,
                                std::optional<double> minDegrees) {
  AngleEntryCheck check;
  auto fail = [&check](AngleField field, std::string message) {
    check.focus = field;
    check.message = std::move(message);
    return check;
  };
  if (!mainDegrees) return fail(AngleField::Main, Text("InvalidDataMsg", "Invalid data !"));
  if (!maxDegrees) return fail(AngleField::Max, Text("InvalidDataMsg", "Invalid data !"));
  if (!minDegrees) return fail(AngleField::Min, Text("InvalidDataMsg", "Invalid data !"));
  if (*mainDegrees > *maxDegrees)
    return fail(AngleField::Main, Text("AngleSeriesMain>Max", "Main angle is greater than MAX angle!"));
  if (*mainDegrees < *minDegrees)
    return fail(AngleField::Main, Text("AngleSeriesMain<Min", "Main angle is less than MIN angle!"));
  const std::pair<AngleField, double> fields[] = {
      {AngleField::Main, *mainDegrees}, {AngleField::Max, *maxDegrees}, {AngleField::Min, *minDegrees}};
  for (const auto& [field, degrees] : fields) {
    // The negated form also refuses NaN.
    if (!(degrees >= 0 && degrees <= 180))
      return fail(field, Text("AngleSeriesInvalidAngle",
                              "The angle must be greater than or equal 0 degree and be less than or equal "
                              "180 degree!"));
  }
  check.ok = true;
  check.entry = {DegreesToRadians(*mainDegrees), DegreesToRadians(*maxDegrees), DegreesToRadians(*minDegrees)};
  return check;
}

std::string AngleAddFailText() { return Text("AngleSeriesAddFail", "Adding a angle item fail!"); }
std::string AngleUpdateFailText() { return Text("AngleSeriesUpdateFail", "Updating the angle item failure!"); }

bool CanDeleteAngleSeries(std::string_view selectedName) {
  return !selectedName.empty() && !EqualsIgnoreCase(selectedName, AngleSeries::kDefaultName) &&
         !EqualsIgnoreCase(selectedName, AngleSeries::kOrthoName);
}

bool DeleteAngleSeriesInUse(platform::KeyValueStore& store, std::string_view name, AngleSeries& current) {
  if (current.name() == name) current.LoadDefault();
  return AngleSeries::Delete(store, name);
}

AngleSeries LoadAngleSeriesForPage(const platform::KeyValueStore& store, std::string_view name) {
  AngleSeries s;
  if (!s.Load(store, name)) s.LoadDefault();
  return s;
}

}  // namespace quillon::settings
