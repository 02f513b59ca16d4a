#pragma once
// A named list of preferred directions, each with a capture range. The
// angle-adjustment step turns a line whose direction falls inside a range onto
// that range's main direction. Angles are radians between 0 and pi. Series are
// stored by name in the settings tree; "Default", "Ortho series" and
// "Tinily Adjust" exist without being stored (stored values take precedence).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::platform {
class KeyValueStore;
}

namespace quillon::settings {

struct AngleEntry {
  double mainAngle = 0;
  double maxAngle = 0;
  double minAngle = 0;
  bool operator==(const AngleEntry&) const = default;
};

// pi as the two-argument arc tangent of 0 and -1, the value every stored
// built-in angle was computed with.
double AnglePi();
double DegreesToRadians(double degrees);
double RadiansToDegrees(double radians);

class AngleSeries {
 public:
  // A main angle may lie this far outside its own range.
  static constexpr double kTolerance = 0.00001;

  static constexpr const char* kDefaultName = "Default";
  static constexpr const char* kOrthoName = "Ortho series";
  static constexpr const char* kTinilyName = "Tinily Adjust";
  // Parent key of the stored series.
  static constexpr const char* kStoreKey = "Software\\Marrowby\\Quillon\\AngleSeries";

  // Empty name, no entries (a TraceOption installs the built-in "Default").
  AngleSeries() = default;

  static AngleSeries BuiltInDefault();

  const std::string& name() const { return name_; }
  // A non-empty name replaces the current one; an empty one is ignored.
  void SetName(std::string_view name);
  const std::vector<AngleEntry>& entries() const { return entries_; }
  size_t count() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

  // Empty name, no entries.
  void Clear();
  // Adds an entry keeping the list ordered by main angle with no overlapping
  // ranges (touching is allowed). An entry with exactly the same main angle
  // replaces it. False, with the list unchanged, when the main angle lies
  // outside its own range or the range would overlap a neighbour.
  bool Insert(const AngleEntry& entry);
  // Replaces the entry at the position (no re-sorting by main angle). False
  // when the position does not exist or the range would overlap a neighbour.
  bool Replace(size_t position, const AngleEntry& entry);
  // False when the position does not exist.
  bool RemoveAt(size_t position);

  // Replace everything, name included, by a built-in series.
  void LoadDefault();
  void LoadOrtho();
  void LoadTinily();

  // Clears, then reads AngleSeries\<name>. Without that key, "Ortho series"
  // and "Tinily Adjust" (ignoring case) install those series and succeed;
  // any other name installs the built-in "Default" and succeeds only for
  // "Default". A key with a missing or zero "AngleCount" or any missing value
  // installs the built-in "Default" and fails; triples that Insert rejects
  // are dropped. Never reports.
  bool Load(const platform::KeyValueStore& store, std::string_view name);
  // Replaces the stored key of this name with this series. False for an
  // empty name; a key that cannot be created is not reported.
  bool Save(platform::KeyValueStore& store) const;

  // Empty names do not exist; the three built-in names (ignoring case) always
  // do; any other name exists when its key does.
  static bool Exists(const platform::KeyValueStore& store, std::string_view name);
  // Removes the stored key with everything below it; on failure shows
  // "Write to registry failed!" and returns false.
  static bool Delete(platform::KeyValueStore& store, std::string_view name);
  // Stored names in store order (up to 511 characters), then "Default",
  // "Ortho series", "Tinily Adjust" for each not already listed (ignoring case).
  static std::vector<std::string> List(const platform::KeyValueStore& store);

  // The first entry with minAngle <= angle <= maxAngle and a main angle
  // different from angle sets angle to its main angle: returns true. An entry
  // whose main angle equals angle is passed over. False, angle unchanged,
  // when no entry applies.
  bool Snap(double& angle) const;

  bool operator==(const AngleSeries&) const = default;

 private:
  bool fitsBetween(size_t previous, size_t next, const AngleEntry& entry) const;

  std::string name_;
  std::vector<AngleEntry> entries_;
};

// ---- Angle series preference page, settings side --------------------------

enum class AngleField { None, Main, Max, Min };

struct AngleEntryCheck {
  bool ok = false;
  AngleField focus = AngleField::None;  // the field that gets the focus on failure
  std::string message;                  // the text to show on failure (language table)
  AngleEntry entry;                     // in radians when ok
};

// Checks the page's three texts after ParseNumber (nullopt: did not parse),
// in degrees, in the page's order: each must parse ("Invalid data !"), main
// not above max, main not below min, all three within 0..180.
AngleEntryCheck CheckAngleEntry(std::optional<double> mainDegrees, std::optional<double> maxDegrees,
                                std::optional<double> minDegrees);

// Texts shown when Insert or Replace refuses an entry.
std::string AngleAddFailText();
std::string AngleUpdateFailText();

// Delete is offered for every selection except "Default" and "Ortho series"
// (ignoring case).
bool CanDeleteAngleSeries(std::string_view selectedName);

// The page's confirmed delete: a current series of exactly this name becomes
// the built-in "Default", then the stored series is deleted (failure
// reported by Delete).
bool DeleteAngleSeriesInUse(platform::KeyValueStore& store, std::string_view name, AngleSeries& current);

// Selecting a series on the page: its contents, or the built-in "Default"
// when the load fails.
AngleSeries LoadAngleSeriesForPage(const platform::KeyValueStore& store, std::string_view name);

}  // namespace quillon::settings
