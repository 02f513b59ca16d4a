#pragma once
// A named, ascending list of preferred line widths in one drawing unit. The
// width step of post-processing rounds every measured width to it. Series are
// stored by name in the settings tree; "Default" exists without being stored
// (a stored "Default" takes precedence).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::platform {
class KeyValueStore;
}

namespace quillon::settings {

class WidthSeries {
 public:
  // Units of the widths.
  static constexpr int32_t kUnitInch = 0;
  static constexpr int32_t kUnitCm = 1;
  static constexpr int32_t kUnitMm = 2;
  static constexpr int32_t kUnitPixel = 3;
  // What happens to widths beyond the largest entry.
  static constexpr int32_t kMoreWidthShrink = 0;  // the largest entry
  static constexpr int32_t kMoreWidthKeep = 1;    // the width unchanged
  static constexpr int32_t kMoreWidthEqual = 2;   // further entries in equal steps
  // Two widths closer than this are the same entry.
  static constexpr double kTolerance = 0.00001;

  static constexpr const char* kDefaultName = "Default";
  // Parent key of the stored series.
  static constexpr const char* kStoreKey = "Software\\Marrowby\\Quillon\\WidthSeries";

  // Empty name (no series chosen), no widths, unit mm, mode "equal steps".
  WidthSeries() = default;

  // The built-in "Default": mm, keep original width, 0.0 0.5 1.0 2.0.
  static WidthSeries BuiltInDefault();

  const std::string& name() const { return name_; }
  // A non-empty name replaces the current one; an empty one is ignored.
  void SetName(std::string_view name);
  int32_t unit() const { return unit_; }
  // Clamped to inch..pixel, so a malformed stored unit cannot reach Round.
  void SetUnit(int32_t unit);
  int32_t moreWidthMode() const { return moreWidth_; }
  // Below 0 gives 0, above 1 gives 2.
  void SetMoreWidthMode(int32_t mode);
  const std::vector<double>& widths() const { return widths_; }
  size_t count() const { return widths_.size(); }
  bool empty() const { return widths_.empty(); }

  // Empty name and no widths; unit and mode stay.
  void Clear();
  // False when an entry lies within kTolerance of width; otherwise inserts it
  // before the first larger entry (or at the end).
  bool Insert(double width);
  // False when the position does not exist.
  bool RemoveAt(size_t position);
  // Replaces everything, name included, by the built-in "Default".
  void LoadDefault();

  // Clears, then reads WidthSeries\<name>. Without that key "Default"
  // (ignoring case) installs the built-in series and succeeds, any other name
  // fails. A key without a positive "WidthCount" leaves the name empty and
  // fails. Missing "MoreWidth"/"Unit" keep their values, missing widths are
  // skipped. Never reports.
  bool Load(const platform::KeyValueStore& store, std::string_view name);
  // Replaces the stored key of this name with this series. False for an
  // empty name; a key that cannot be created is not reported.
  bool Save(platform::KeyValueStore& store) const;

  // Empty names do not exist; "Default" (ignoring case) always does; any
  // other name exists when its key does.
  static bool Exists(const platform::KeyValueStore& store, std::string_view name);
  // Removes the stored key with everything below it; on failure shows
  // "Write to registry failed!" and returns false.
  static bool Delete(platform::KeyValueStore& store, std::string_view name);
  // Stored names in store order (up to 511 characters), then "Default" when
  // no stored name equals it (ignoring case).
  static std::vector<std::string> List(const platform::KeyValueStore& store);

  // Rounds a width in pixels to the series, the entries scaled to pixels with
  // the raster resolution in dots per metre. Without entries, or below 0.9
  // dots per metre for a non-pixel unit, the width comes back unchanged.
  // Halfway between two entries goes to the larger one.
  double Round(double widthPixels, double dotsPerMetre) const;

  bool operator==(const WidthSeries&) const = default;

 private:
  std::string name_;
  int32_t unit_ = kUnitMm;
  int32_t moreWidth_ = kMoreWidthEqual;
  std::vector<double> widths_;
};

// Stored real values: exactly 8 bytes, an IEEE-754 double in little-endian
// order. Anything else reads as missing.
std::vector<uint8_t> StoredDoubleBytes(double value);
std::optional<double> StoredDoubleFromBytes(const std::vector<uint8_t>& bytes);

// Series names become key names: empty names and names with the key
// separator "\\" cannot be stored.
bool IsStorableSeriesName(std::string_view name);

namespace detail {
// Storage shared by width and angle series, which differ only in the parent
// key and their built-in names.
std::string SeriesKey(std::string_view parentKey, std::string_view name);
// Stored names below parentKey in store order (up to 511 characters), then
// each built-in name not already listed (ignoring case).
std::vector<std::string> ListSeries(const platform::KeyValueStore& store, std::string_view parentKey,
                                    const std::vector<std::string_view>& builtInNames);
// Removes the series key with everything below it; on failure shows
// "Write to registry failed!" and returns false.
bool DeleteSeries(platform::KeyValueStore& store, std::string_view parentKey, std::string_view name);
}  // namespace detail

// ---- Width series preference page, settings side --------------------------

// Display name of a unit ("Inch", "cm", "mm", "Pixel") through the language table.
std::string WidthUnitName(int32_t unit);
// Display name of a more-width mode through the language table.
std::string MoreWidthModeName(int32_t mode);

// Delete is offered for every selection except "Default" (ignoring case).
bool CanDeleteWidthSeries(std::string_view selectedName);

// The page's "Save as" builds the series from the page: its unit and mode and
// every value that parsed (nullopt entries are skipped; duplicates are dropped
// by Insert), named. The caller saves it with Save.
WidthSeries BuildWidthSeries(std::string_view name, int32_t unit, int32_t moreWidthMode,
                             const std::vector<std::optional<double>>& parsedWidths);

// The page's confirmed delete: a current series of exactly this name is
// cleared, then the stored series is deleted (failure reported by Delete).
bool DeleteWidthSeriesInUse(platform::KeyValueStore& store, std::string_view name, WidthSeries& current);

}  // namespace quillon::settings
