#pragma once
// Where the persistent settings live in the per-user settings tree and how
// the trace parameters, chart types, recent-file lists, the version stamp
// and the values other parts of the program keep there are read and written.
//
// Loading never reports: a missing or malformed value takes its default and
// an out-of-range value is clamped. Saving reports "Write to registry
// failed!" (once) when a key cannot be created or the store cannot be made
// durable, and skips the rest of that save.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/trace_option.h"

namespace quillon::platform {
class KeyValueStore;
}

namespace quillon::settings {

// Key paths, all below the settings root.
inline constexpr const char* kSettingsRoot = "Software\\Marrowby\\Quillon\\";
inline constexpr const char* kOptionKey = "Software\\Marrowby\\Quillon\\Option";
inline constexpr const char* kOptionCenterKey = "Software\\Marrowby\\Quillon\\Option\\Center";
inline constexpr const char* kOptionOutlineKey = "Software\\Marrowby\\Quillon\\Option\\Outline";
inline constexpr const char* kOptionFillPatternKey = "Software\\Marrowby\\Quillon\\Option\\FillPattern";
inline constexpr const char* kOptionListKey = "Software\\Marrowby\\Quillon\\OptionList";
inline constexpr const char* kVersionKey = "Software\\Marrowby\\Quillon\\Version";
inline constexpr const char* kFileListKey = "Software\\Marrowby\\Quillon\\History\\FileList";
inline constexpr const char* kVectorFileListKey = "Software\\Marrowby\\Quillon\\History\\VectorFileList";
inline constexpr const char* kJobListKey = "Software\\Marrowby\\Quillon\\History\\JobList";
inline constexpr const char* kBatchKey = "Software\\Marrowby\\Quillon\\Batch";
inline constexpr const char* kBatchColumnWidthsKey = "Software\\Marrowby\\Quillon\\Batch\\ColumnWidths";

// The settings version this program writes; older settings get their
// display colours reset once.
inline constexpr uint32_t kSettingsVersion = 300;

// Shows "Write to registry failed!" (language key WriteRegistryFailMsg).
void ReportWriteFailure();

// ---- trace parameters ------------------------------------------------------

// Fills the record from Option, Option\Center, Option\Outline and
// Option\FillPattern. Keys that do not exist leave their fields as they are
// (a freshly constructed record keeps its defaults).
void LoadOptions(const platform::KeyValueStore& store, TraceOption& record);
// Writes the record to the four Option keys and flushes the store. False
// (reported) when a key cannot be created, a value cannot be written or the
// flush fails.
bool SaveOptions(platform::KeyValueStore& store, const TraceOption& record);

// ---- chart types -----------------------------------------------------------

// Loads the centre-line values of a chart type into the record: a stored
// OptionList\<name> (which also selects the centre-line method), else one of
// the three built-in presets (ignoring case). True when found; otherwise the
// record gets pre_Default with ModalName "Unnamed" and the result is false.
bool LoadChartType(const platform::KeyValueStore& store, TraceOption& record, std::string_view name);
// Stores the record's ten centre-line values as OptionList\<name> (the
// record's ModalName is not written) and flushes. False (reported) on failure,
// including a name that cannot be a key name (empty or containing "\").
bool SaveChartType(platform::KeyValueStore& store, const TraceOption& record, std::string_view name);
// Deletes OptionList\<name>. False (reported) when there is no such key or
// the store cannot be written.
bool DeleteChartType(platform::KeyValueStore& store, std::string_view name);
// The stored chart type names in the store's order (up to 511 characters).
std::vector<std::string> ListChartTypes(const platform::KeyValueStore& store);
// The chart type box: the stored names, then each built-in name not already
// listed (ignoring case), in the order pre_Engineering, pre_Topography, pre_Default.
std::vector<std::string> ChartTypeChoices(const platform::KeyValueStore& store);

// True for "pre_Default", "pre_Engineering" and "pre_Topography" (ignoring case).
bool IsBuiltInChartType(std::string_view name);
// The chart type name dialog asks before overwriting when the typed name
// equals a listed one, ignoring case (a name that only begins like one does not).
bool ChartTypeNameListed(const std::vector<std::string>& listed, std::string_view name);
// The Reset command of the chart type box: "pre_Engineering" and
// "pre_Topography" apply that preset, "pre_Default" returns the whole record
// (display options included) to its defaults; the preset is then stored under
// its own name, and a failure shows "Save error!\nPlease save again!". Any
// other name changes nothing and returns false; true when reset and stored.
bool ResetChartType(platform::KeyValueStore& store, TraceOption& record, std::string_view name);

// Deletes the key parent\name with everything below it; false when it does not exist.
bool DeleteKeyTree(platform::KeyValueStore& store, std::string_view parent, std::string_view name);

// ---- settings version ------------------------------------------------------

// Start-up check: reads Version "version" (or the key's unnamed value when it
// is absent); a value below 300 shows "Reset the color due to lower
// version." and resets the normal, selection, background and osnap-box colour
// indices to 5, 1, 7 and 6. Then writes "version" = 300 (a failure is
// reported). Returns whether the colours were reset.
bool CheckSettingsVersion(platform::KeyValueStore& store, TraceOption& record);

// ---- recent files ----------------------------------------------------------

inline constexpr size_t kRecentFileCount = 5;
using RecentFileList = std::array<std::string, kRecentFileCount>;

// Moves (or adds) the path to the front, ignoring case when looking for it;
// the fifth entry drops out when the path is new. True when the list changed.
bool AddRecent(RecentFileList& list, std::string_view path);
// Reads "file0".. of the key up to the first missing or empty value; paths
// are cut to 260 characters.
RecentFileList LoadRecentFiles(const platform::KeyValueStore& store, std::string_view key);
// Writes "file0".."file4": the entries up to the first empty one, then empty
// strings. False (reported) when the store cannot be written.
bool SaveRecentFiles(platform::KeyValueStore& store, std::string_view key, const RecentFileList& list);

// ---- start-up and exit -----------------------------------------------------

struct RecentLists {
  RecentFileList rasterFiles;
  RecentFileList vectorFiles;
  bool operator==(const RecentLists&) const = default;
};

// What the application reads at start-up, in its order: LoadOptions, the
// settings version check, the raster and then the vector history.
RecentLists LoadStartupSettings(platform::KeyValueStore& store, TraceOption& record);
// What it writes at exit: SaveOptions, then both histories. Stops at the
// first failure (reported once); false then.
bool SaveExitSettings(platform::KeyValueStore& store, const TraceOption& record, const RecentLists& recent);

// ---- values kept by other parts of the program -----------------------------

// Object snap: Option "OsnapPoint" (mode bits, default 5) and "b_Osnap" (default on).
struct OsnapSettings {
  uint32_t mode = 5;
  bool on = true;
  bool operator==(const OsnapSettings&) const = default;
};
OsnapSettings LoadOsnapSettings(const platform::KeyValueStore& store);
bool SaveOsnapSettings(platform::KeyValueStore& store, const OsnapSettings& settings);

// Undo depths: Option "VectorUndoSteps" (1 to 100, default 32) and
// "RasterUndoSteps" (1 to 10, default 5); a stored value out of range keeps the default.
struct UndoSteps {
  int32_t vectorSteps = 32;
  int32_t rasterSteps = 5;
  bool operator==(const UndoSteps&) const = default;
};
UndoSteps LoadUndoSteps(const platform::KeyValueStore& store);
bool SaveUndoSteps(platform::KeyValueStore& store, const UndoSteps& steps);

// The save dialog's last destination size: Option "SaveGraphicsWidth",
// "SaveGraphicsHeight" (greater than 0, defaults 640 and 480) and
// "SaveGraphicUnits" (0 inch, 1 cm, 2 mm, 3 pixel; above 3 becomes 3).
struct SaveGraphicsSize {
  double width = 640.0;
  double height = 480.0;
  uint32_t unit = 3;
  bool operator==(const SaveGraphicsSize&) const = default;
};
SaveGraphicsSize LoadSaveGraphicsSize(const platform::KeyValueStore& store);
bool SaveSaveGraphicsSize(platform::KeyValueStore& store, const SaveGraphicsSize& size);

// The batch window: Batch "TargetFormatIndex" (list position, above 8
// becomes 8), "TargetFolder", Batch\ColumnWidths "ColumnWidth_0".."_12"
// (0 when missing) and History\JobList "Job1".."Job4" (most recent first).
inline constexpr size_t kBatchColumnCount = 13;
inline constexpr size_t kRecentJobCount = 4;
struct BatchWindowSettings {
  uint32_t targetFormatIndex = 0;
  std::string targetFolder;
  std::array<uint32_t, kBatchColumnCount> columnWidths{};
  std::array<std::string, kRecentJobCount> recentJobs;
  bool operator==(const BatchWindowSettings&) const = default;
};
BatchWindowSettings LoadBatchWindowSettings(const platform::KeyValueStore& store);
bool SaveBatchWindowSettings(platform::KeyValueStore& store, const BatchWindowSettings& settings);

}  // namespace quillon::settings
