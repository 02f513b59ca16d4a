#pragma once
// The batch window's job list without the widgets: one row per source file,
// each with its own trace parameters and the 13 text cells the list shows,
// the window's settings (overwrite, power-off, target directory and type,
// recent job files) and the ".trj" job file that saves and restores all of it.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/option_store.h"
#include "settings/trace_option.h"

namespace quillon::platform {
class KeyValueStore;
}

namespace quillon::batch {

inline constexpr size_t kJobColumnCount = 13;
enum JobColumn : size_t {
  kColumnSource = 0,  // file name with extension
  kColumnDir,         // directory, ending with "/" (empty for a bare file name)
  kColumnMethod,
  kColumnChart,
  kColumnThreshold,
  kColumnStraighten,
  kColumnCircle,
  kColumnConnect,
  kColumnAdjustAngle,
  kColumnDelete,
  kColumnWidth,
  kColumnFill,
  kColumnSpace,
};

// The heading of a column through the language table ("" past the last).
std::string ColumnHeading(size_t column);

// The target file types of the list, by position (0..8): position + 1 is
// the format index of the save job.
inline constexpr int kTargetTypeCount = 9;
// Below 0 becomes 0, above 8 becomes 8.
int ClampTargetType(long long position);
// ".dxf", ".wmf", …; positions 0 and 6 both give ".dxf".
std::string TargetExtension(int position);
// The type list's text for the position.
std::string TargetTypeName(int position);

// One row of the job list.
struct BatchJob {
  std::array<std::string, kJobColumnCount> cells;
  // The row's own parameters; the cells show them.
  settings::TraceOption record;

  // Column 1 followed by column 0.
  std::string Path() const { return cells[kColumnDir] + cells[kColumnSource]; }
};

// Columns 2 to 12 for a record, as the list shows them.
void FillParameterCells(std::array<std::string, kJobColumnCount>& cells, const settings::TraceOption& record);
// Splits a path into columns 0 (name) and 1 (directory with its "/").
void FillPathCells(std::array<std::string, kJobColumnCount>& cells, const std::string& path);

class BatchJobList {
 public:
  // The working record starts as a copy of `current`, and a second copy is
  // kept for Close. The store serves chart types and series when job
  // sections are read.
  BatchJobList(const platform::KeyValueStore& store, const settings::TraceOption& current);

  // With a non-empty path, inserts a new row at the position (clamped to the
  // end) with its path cells; then the row at that position (new, or
  // existing when the path is empty) takes its parameters and columns 2 to
  // 12 from the working record. False when the path is empty and there is
  // no row at the position.
  bool AddJob(const std::string& path, size_t position);
  // Appends every path with AddJob.
  void AddFiles(const std::vector<std::string>& paths);
  // Removes the rows at the positions (any order, duplicates and positions
  // past the end are ignored).
  void RemoveJobs(std::vector<size_t> rows);
  // The row's full path, with the row's parameters copied into the working
  // record; nothing (working record unchanged) for a missing row or an empty path.
  std::optional<std::string> GetJob(size_t row);
  // The Parameter command's OK: the working record takes the record, and
  // every listed row its parameters and cells.
  void SetParameters(const std::vector<size_t>& rows, const settings::TraceOption& record);

  // Writes the job file (CR LF lines, through a temporary file). On failure
  // shows "Save batch project file failure!" and returns false, the file as
  // it was. Reading each row leaves the last row's values in the working
  // record. The path becomes the most recent job file.
  bool WriteJobFile(const std::string& path);
  // Replaces the list by the job file. A missing file shows "The batch
  // project file can not be found!" and changes nothing (false). Rows are
  // read from Job0 up to the first section without a "File", at most
  // JobCount; unreadable numbers take their defaults. A relative "File" is
  // taken relative to the job file's directory. notes() says what was odd
  // about the file (declared jobs that are missing), for a command line to show.
  bool ReadJobFile(const std::string& path);
  const std::vector<std::string>& notes() const { return notes_; }

  // Puts the path at the front of the four recent job files; a path found
  // among the first three (ignoring case) moves up, else the fourth drops out.
  void AddRecentJob(const std::string& path);

  // The window's values in the store: read when it opens, written when it
  // closes (false, reported, when the store cannot be written).
  void LoadWindowSettings(const platform::KeyValueStore& store);
  bool SaveWindowSettings(platform::KeyValueStore& store) const;

  // Closing the window: the current record gets back the values it had when
  // the list was made (the Parameter command edits it), its batch-active
  // flag is cleared, and the window's values are written (false, reported,
  // when the store cannot be written).
  bool Close(settings::TraceOption& current, platform::KeyValueStore& store) const;

  size_t size() const { return rows_.size(); }
  const BatchJob& row(size_t i) const { return rows_[i]; }
  settings::TraceOption& working() { return working_; }
  const settings::TraceOption& working() const { return working_; }

  // "Overwrite target file" and "Power off after finished".
  bool overwrite = true;
  bool powerOff = false;
  // Whether the power-off box is shown (always here: no privileges to check).
  bool powerOffShown = true;
  std::string targetDir;
  int targetType = 0;
  std::array<std::string, settings::kRecentJobCount> recentJobs;
  std::array<uint32_t, settings::kBatchColumnCount> columnWidths{};

 private:
  const platform::KeyValueStore& store_;
  settings::TraceOption working_;
  settings::TraceOption savedCurrent_;
  std::vector<BatchJob> rows_;
  std::vector<std::string> notes_;
};

}  // namespace quillon::batch
