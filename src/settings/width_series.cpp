#include "settings/width_series.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "settings/language_table.h"

namespace quillon::settings {

namespace {

using platform::EqualsIgnoreCase;

// A stored count beyond this is malformed; reading stops there instead of
// probing billions of missing values.
constexpr uint32_t kMaxStoredWidths = 65536;
// Key names longer than this are not listed (the enumeration buffer is 512).
constexpr size_t kMaxListedName = 511;

std::string SeriesKey(std::string_view name) { return detail::SeriesKey(WidthSeries::kStoreKey, name); }

std::string WidthValueName(size_t i) { return "w" + std::to_string(i); }

}  // namespace

std::vector<uint8_t> StoredDoubleBytes(double value) {
  uint64_t bits = std::bit_cast<uint64_t>(value);
  std::vector<uint8_t> bytes(8);
  for (size_t i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
  return bytes;
}

std::optional<double> StoredDoubleFromBytes(const std::vector<uint8_t>& bytes) {
  if (bytes.size() != 8) return std::nullopt;
  uint64_t bits = 0;
  for (size_t i = 0; i < 8; ++i) bits |= uint64_t{bytes[i]} << (8 * i);
  return std::bit_cast<double>(bits);
}

bool IsStorableSeriesName(std::string_view name) {
  return !name.empty() && name.find('\\') == std::string_view::npos;
}

namespace detail {

std::string SeriesKey(std::string_view parentKey, std::string_view name) {
  std::string key(parentKey);
  key += '\\';
  key += name;
  return key;
}

std::vector<std::string> ListSeries(const platform::KeyValueStore& store, std::string_view parentKey,
                                    const std::vector<std::string_view>& builtInNames) {
  std::vector<std::string> names;
  for (auto& n : store.subkeys(parentKey))
    if (n.size() <= kMaxListedName) names.push_back(std::move(n));
  const auto stored = static_cast<std::ptrdiff_t>(names.size());
  for (std::string_view builtIn : builtInNames) {
    const bool listed = std::any_of(names.begin(), names.begin() + stored,
                                    [&](const std::string& n) { return EqualsIgnoreCase(n, builtIn); });
    if (!listed) names.emplace_back(builtIn);
  }
  return names;
}

bool DeleteSeries(platform::KeyValueStore& store, std::string_view parentKey, std::string_view name) {
  if (IsStorableSeriesName(name) && store.deleteKeyTree(SeriesKey(parentKey, name))) return true;
  platform::ShowMessage(Text("WriteRegistryFailMsg", "Write to registry failed!"));
  return false;
}

}  // namespace detail

WidthSeries WidthSeries::BuiltInDefault() {
  WidthSeries s;
  s.LoadDefault();
  return s;
}

void WidthSeries::SetName(std::string_view name) {
  if (!name.empty()) name_ = name;
}

void WidthSeries::SetUnit(int32_t unit) { unit_ = std::clamp(unit, kUnitInch, kUnitPixel); }

void WidthSeries::SetMoreWidthMode(int32_t mode) {
  if (mode < kMoreWidthShrink)
    moreWidth_ = kMoreWidthShrink;
  else if (mode > kMoreWidthKeep)
    moreWidth_ = kMoreWidthEqual;
  else
    moreWidth_ = mode;
}

void WidthSeries::Clear() {
  name_.clear();
  widths_.clear();
}

bool WidthSeries::Insert(double width) {
  if (!std::isfinite(width)) return false;
  auto it = widths_.begin();
  for (; it != widths_.end(); ++it) {
    if (std::fabs(*it - width) < kTolerance) return false;
    if (*it > width) break;
  }
  widths_.insert(it, width);
  return true;
}

bool WidthSeries::RemoveAt(size_t position) {
  if (position >= widths_.size()) return false;
  widths_.erase(widths_.begin() + static_cast<std::ptrdiff_t>(position));
  return true;
}

void WidthSeries::LoadDefault() {
  name_ = kDefaultName;
  unit_ = kUnitMm;
  moreWidth_ = kMoreWidthKeep;
  widths_ = {0.0, 0.5, 1.0, 2.0};
}

bool WidthSeries::Load(const platform::KeyValueStore& store, std::string_view name) {
  Clear();
  const std::string key = SeriesKey(name);
  if (!IsStorableSeriesName(name) || !store.keyExists(key)) {
    if (EqualsIgnoreCase(name, kDefaultName)) {
      LoadDefault();
      return true;
    }
    return false;
  }
  name_ = name;
  const auto count = store.readDword(key, "WidthCount");
  if (!count || *count == 0) {
    name_.clear();
    return false;
  }
  if (auto mode = store.readDword(key, "MoreWidth")) SetMoreWidthMode(static_cast<int32_t>(*mode));
  if (auto unit = store.readDword(key, "Unit")) SetUnit(static_cast<int32_t>(*unit));
  const uint32_t n = std::min(*count, kMaxStoredWidths);
  for (uint32_t i = 0; i < n; ++i) {
    auto bytes = store.readBinary(key, WidthValueName(i));
    if (!bytes) continue;
    if (auto w = StoredDoubleFromBytes(*bytes)) Insert(*w);
  }
  return true;
}

bool WidthSeries::Save(platform::KeyValueStore& store) const {
  if (!IsStorableSeriesName(name_)) return false;
  const std::string key = SeriesKey(name_);
  store.deleteKeyTree(key);
  if (!store.createKey(key)) return true;  // not reported
  store.writeDword(key, "WidthCount", static_cast<uint32_t>(widths_.size()));
  store.writeDword(key, "MoreWidth", static_cast<uint32_t>(moreWidth_));
  store.writeDword(key, "Unit", static_cast<uint32_t>(unit_));
  for (size_t i = 0; i < widths_.size(); ++i) store.writeBinary(key, WidthValueName(i), StoredDoubleBytes(widths_[i]));
  return true;
}

bool WidthSeries::Exists(const platform::KeyValueStore& store, std::string_view name) {
  if (name.empty()) return false;
  if (EqualsIgnoreCase(name, kDefaultName)) return true;
  return IsStorableSeriesName(name) && store.keyExists(SeriesKey(name));
}

bool WidthSeries::Delete(platform::KeyValueStore& store, std::string_view name) {
  return detail::DeleteSeries(store, kStoreKey, name);
}

std::vector<std::string> WidthSeries::List(const platform::KeyValueStore& store) {
  return detail::ListSeries(store, kStoreKey, {kDefaultName});
}

double WidthSeries::Round(double w, double r) const {
  if (widths_.empty()) return w;
  if (unit_ != kUnitPixel && r < 0.9) return w;
  double scale = 1.0;
  switch (unit_) {
    case kUnitMm: scale = r * 0.001; break;
    case kUnitCm: scale = r * 0.01; break;
    case kUnitInch: scale = r * 0.0254; break;
    default: break;
  }
  const size_t n = widths_.size();
  double halfGap = 0;
  for (size_t i = 0; i + 1 < n; ++i) {
    const double e = widths_[i] * scale;
    halfGap = (widths_[i + 1] * scale - e) / 2;
    if (e + halfGap > w) return e;  // exactly halfway goes to the larger entry
  }
  const double last = widths_[n - 1] * scale;
  double step = 0;
  if (n == 1) {
    halfGap = last / 2;
    step = last;
  } else {
    step = 2 * halfGap;
  }
  if (last + halfGap > w) return last;
  switch (moreWidth_) {
    case kMoreWidthShrink: return last;
    case kMoreWidthKeep: return w;
    default: break;
  }
  // A series whose only entry is 0 has no step to continue with: keep the width.
  if (!(step > 0)) return w;
  const double k = std::trunc((w - last) / step);
  const double v = last + k * step;
  return v + step / 2 > w ? v : v + step;
}

// ---- Preference page ---------------------------------------------------------

std::string WidthUnitName(int32_t unit) {
  switch (unit) {
    case WidthSeries::kUnitInch: return Text("UnitNameInch", "Inch");
    case WidthSeries::kUnitCm: return Text("UnitNamecm", "cm");
    case WidthSeries::kUnitMm: return Text("UnitNamemm", "mm");
    default: return Text("UnitNamePixel", "Pixel");
  }
}

std::string MoreWidthModeName(int32_t mode) {
  switch (mode) {
    case WidthSeries::kMoreWidthShrink: return Text("PreferDlgMoreWidthShrink", "Shrink to maxwidth");
    case WidthSeries::kMoreWidthKeep: return Text("PreferDlgMoreWidthKeep", "Keep original width");
    default: return Text("PreferDlgMoreWidthEqual", "Equal space");
  }
}

bool CanDeleteWidthSeries(std::string_view selectedName) {
  return !selectedName.empty() && !EqualsIgnoreCase(selectedName, WidthSeries::kDefaultName);
}

WidthSeries BuildWidthSeries(std::string_view name, int32_t unit, int32_t moreWidthMode,
                             const std::vector<std::optional<double>>& parsedWidths) {
  WidthSeries s;
  s.SetUnit(unit);
  s.SetMoreWidthMode(moreWidthMode);
  for (const auto& w : parsedWidths)
    if (w) s.Insert(*w);
  s.SetName(name);
  return s;
}

bool DeleteWidthSeriesInUse(platform::KeyValueStore& store, std::string_view name, WidthSeries& current) {
  if (current.name() == name) current.Clear();
  return WidthSeries::Delete(store, name);
}

}  // namespace quillon::settings
