#include "batch/batch_job.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "formats/format_table.h"
#include "platform/atomic_file.h"
#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "platform/profile_file.h"
#include "settings/language_table.h"
#include "settings/number_text.h"

namespace quillon::batch {

namespace {

namespace fs = std::filesystem;
using settings::FillType;
using settings::TraceMethod;
using settings::TraceOption;

constexpr const char* kLineEnd = "\r\n";
// The longest target directory a job file gives (the reader's buffer).
constexpr size_t kMaxTargetPath = 511;

struct ColumnText {
  const char* key;
  const char* text;
};
constexpr std::array<ColumnText, kJobColumnCount> kHeadings{{
    {"BatchListSource", "Source"},
    {"BatchListDir", "Directory"},
    {"BatchListMethod", "Method"},
    {"BatchListChart", "Chart"},
    {"BatchListThreshold", "Threshold"},
    {"BatchListStraithen", "Straithen"},
    {"BatchListCircle", "Circle"},
    {"BatchListConnect", "Connect"},
    {"BatchListAdjustAngle", "Adjus Angle"},
    {"BatchListDelete", "Delete"},
    {"BatchListWidth", "Width"},
    {"BatchListFill", "Fill"},
    {"BatchListSpace", "Space"},
}};

std::string FillCellText(FillType type) {
  switch (type) {
    case FillType::Horizontal: return settings::Text("BatchParamHorLine", "Hor line");
    case FillType::Vertical: return settings::Text("BatchParamVerLine", "Ver line");
    case FillType::Cross: return settings::Text("BatchParamCrossLine", "Cross line");
    case FillType::Solid: break;
  }
  return settings::Text("BatchParamSolidFill", "Solid");
}

std::string RecogniseCell(bool recognise) {
  return recognise ? settings::Text("BatchParamRecCir", "Recognise") : std::string();
}

}  // namespace

std::string ColumnHeading(size_t column) {
  if (column >= kJobColumnCount) return "";
  return settings::Text(kHeadings[column].key, kHeadings[column].text);
}

int ClampTargetType(long long position) {
  return static_cast<int>(std::clamp<long long>(position, 0, kTargetTypeCount - 1));
}

std::string TargetExtension(int position) {
  return std::string(formats::FormatForIndex(ClampTargetType(position) + 1).extension);
}

std::string TargetTypeName(int position) {
  return formats::FormatDisplayName(formats::FormatForIndex(ClampTargetType(position) + 1));
}

void FillPathCells(std::array<std::string, kJobColumnCount>& cells, const std::string& path) {
  const fs::path p(path);
  cells[kColumnSource] = p.filename().string();
  std::string dir = p.parent_path().string();
  // A name without a file part ("/scans/", "///") is its own parent: adding
  // a slash to it would grow the name on every save.
  if (!dir.empty() && dir.back() != '/') dir += '/';
  cells[kColumnDir] = std::move(dir);
}

void FillParameterCells(std::array<std::string, kJobColumnCount>& cells, const TraceOption& r) {
  for (size_t c = kColumnMethod; c < kJobColumnCount; ++c) cells[c].clear();
  cells[kColumnThreshold] = r.b_AutoGray ? settings::Text("BatchParamAuto", "Auto") : std::to_string(r.i_Gray);
  switch (r.i_AutoTraceWhat) {
    case TraceMethod::CenterLine:
      cells[kColumnMethod] = settings::Text("BatchParamCenter", "Center");
      cells[kColumnChart] = r.ModalName;
      cells[kColumnStraighten] = settings::FormatNumber(r.d_MaxDis, 6);
      cells[kColumnCircle] = RecogniseCell(r.b_RecogniseCirArc);
      if (r.b_Connect) cells[kColumnConnect] = std::to_string(r.i_ConDis);
      if (r.b_ForceOrtho) cells[kColumnAdjustAngle] = r.s_AngleSeries.name();
      if (r.b_DelLine) cells[kColumnDelete] = std::to_string(r.i_DelLine_Length);
      if (r.b_CalcWidth) {
        cells[kColumnWidth] = r.s_WidthSeries.name().empty() ? settings::Text("BatchParamCalcWidth", "Calc")
                                                             : r.s_WidthSeries.name();
      }
      break;
    case TraceMethod::Outline:
      cells[kColumnMethod] = settings::Text("BatchParamOutline", "Outline");
      cells[kColumnStraighten] = settings::FormatNumber(r.Outline.d_MaxDis, 6);
      cells[kColumnCircle] = RecogniseCell(r.Outline.b_RecogniseCirArc);
      if (r.Outline.b_Fill) {
        cells[kColumnFill] = FillCellText(r.Outline.i_FillType);
        cells[kColumnSpace] = settings::FormatNumber(r.Outline.d_FillSpace, 6);
      }
      break;
    case TraceMethod::FillPattern:
      cells[kColumnMethod] = settings::Text("BatchParamFill", "Fill pattern");
      cells[kColumnFill] = FillCellText(r.FillPattern.i_FillType);
      cells[kColumnSpace] = settings::FormatNumber(r.FillPattern.d_FillSpace, 6);
      break;
  }
}

BatchJobList::BatchJobList(const platform::KeyValueStore& store, const TraceOption& current) : store_(store) {
  working_.CopyFrom(current);
  savedCurrent_.CopyFrom(current);
}

bool BatchJobList::Close(TraceOption& current, platform::KeyValueStore& store) const {
  current.CopyFrom(savedCurrent_);
  current.batchActive = false;
  return SaveWindowSettings(store);
}

bool BatchJobList::AddJob(const std::string& path, size_t position) {
  if (!path.empty()) {
    position = std::min(position, rows_.size());
    BatchJob row;
    FillPathCells(row.cells, path);
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(position), std::move(row));
  } else if (position >= rows_.size()) {
    return false;
  }
  BatchJob& row = rows_[position];
  row.record.CopyFrom(working_);
  FillParameterCells(row.cells, working_);
  return true;
}

void BatchJobList::AddFiles(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) AddJob(path, rows_.size());
}

void BatchJobList::RemoveJobs(std::vector<size_t> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
    if (*it < rows_.size()) rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(*it));
  }
}

std::optional<std::string> BatchJobList::GetJob(size_t row) {
  if (row >= rows_.size()) return std::nullopt;
  std::string path = rows_[row].Path();
  if (path.empty()) return std::nullopt;
  working_.CopyFrom(rows_[row].record);
  return path;
}

void BatchJobList::SetParameters(const std::vector<size_t>& rows, const TraceOption& record) {
  working_.CopyFrom(record);
  for (size_t i : rows) {
    if (i < rows_.size()) AddJob("", i);
  }
}

bool BatchJobList::WriteJobFile(const std::string& path) {
  std::string text;
  auto line = [&](const std::string& s) { text.append(s).append(kLineEnd); };
  line(";Quillon Job file");
  line("[General]");
  line("JobCount=" + std::to_string(rows_.size()));
  line(std::string("Overwrite=") + (overwrite ? "1" : "0"));
  line(std::string("PowerOff=") + (powerOffShown && powerOff ? "1" : "0"));
  line("TargetPath=" + targetDir);
  line("TargetFormat=" + std::to_string(ClampTargetType(targetType)));
  line("");
  for (size_t i = 0; i < rows_.size(); ++i) {
    const std::optional<std::string> file = GetJob(i);
    line("[Job" + std::to_string(i) + "]");
    line("File=" + file.value_or(""));
    text += working_.JobText(kLineEnd);
    line("");
  }
  if (!platform::WriteFileAtomically(path, text)) {
    platform::ShowMessage(settings::Text("BatchSaveJobFileFail", "Save batch project file failure!"));
    return false;
  }
  AddRecentJob(path);
  return true;
}

bool BatchJobList::ReadJobFile(const std::string& path) {
  std::error_code ec;
  platform::ProfileFile file;
  if (!fs::is_regular_file(path, ec) || !file.load(path)) {
    platform::ShowMessage(settings::Text("BatchNotFoundPrjFile", "The batch project file can not be found!"));
    return false;
  }
  rows_.clear();
  notes_.clear();
  overwrite = file.getInt("General", "Overwrite", 1) != 0;
  powerOff = file.getInt("General", "PowerOff", 1) != 0;
  targetDir = file.getString("General", "TargetPath", "");
  if (targetDir.size() > kMaxTargetPath) targetDir.resize(kMaxTargetPath);
  targetType = ClampTargetType(file.getInt("General", "TargetFormat", 0));
  const int jobCount = file.getInt("General", "JobCount", 0);
  if (!file.hasSection("General")) notes_.push_back("the job file has no [General] section");

  // Relative names in a job file, the target as well as the rows, mean the
  // job file's folder: where it is run from must not move the results.
  const fs::path base = fs::path(path).parent_path();
  if (!targetDir.empty() && fs::path(targetDir).is_relative() && !base.empty())
    targetDir = (base / targetDir).lexically_normal().string();
  int i = 0;
  for (; i < jobCount; ++i) {
    const std::string section = "Job" + std::to_string(i);
    std::string source = file.getString(section, "File", "");
    if (source.empty()) break;
    if (fs::path(source).is_relative() && !base.empty()) source = (base / source).lexically_normal().string();
    working_.ReadJobSection(file, section, store_);
    AddJob(source, static_cast<size_t>(i));
  }
  if (i < jobCount) {
    notes_.push_back("the job file declares " + std::to_string(jobCount) + " jobs but [Job" + std::to_string(i) +
                     "] has no File; " + std::to_string(i) + " read");
  }
  AddRecentJob(path);
  return true;
}

void BatchJobList::AddRecentJob(const std::string& path) {
  size_t found = recentJobs.size() - 1;  // not found: everything moves down, the last drops out
  for (size_t i = 0; i + 1 < recentJobs.size(); ++i) {
    if (platform::EqualsIgnoreCase(recentJobs[i], path)) {
      found = i;
      break;
    }
  }
  for (size_t i = found; i > 0; --i) recentJobs[i] = std::move(recentJobs[i - 1]);
  recentJobs[0] = path;
}

void BatchJobList::LoadWindowSettings(const platform::KeyValueStore& store) {
  const settings::BatchWindowSettings s = settings::LoadBatchWindowSettings(store);
  targetType = ClampTargetType(s.targetFormatIndex);
  targetDir = s.targetFolder;
  columnWidths = s.columnWidths;
  recentJobs = s.recentJobs;
}

bool BatchJobList::SaveWindowSettings(platform::KeyValueStore& store) const {
  settings::BatchWindowSettings s;
  s.targetFormatIndex = static_cast<uint32_t>(ClampTargetType(targetType));
  s.targetFolder = targetDir;
  s.columnWidths = columnWidths;
  s.recentJobs = recentJobs;
  return settings::SaveBatchWindowSettings(store, s);
}

}  // namespace quillon::batch
