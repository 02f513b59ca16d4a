#include "settings/language_table.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>

#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "platform/paths.h"

namespace quillon::settings {

namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

struct HintGroup {
  int first, last;
  const char* key;
  const char* def;
};

// Command and control identifiers with their hint keys.
constexpr HintGroup kHints[] = {
    {103, 107, "FileMenuReopenRasterHint", "Open this raster file"},
    {108, 112, "FileMenuReopenVectorHint", "Open this vector file"},
    {113, 117, "EditMenuUndoHint", "Undo until this step"},
    {123, 127, "EditMenuUndoHint", "Undo until this step"},
    {118, 122, "EditMenuRedoHint", "Redo until this step"},
    {128, 132, "EditMenuRedoHint", "Redo until this step"},
    {1001, 1001, "SetDlgRunBtnHint", "confirming the current settings and start running directly."},
    {1002, 1002, "SetDlgPreviewHint",
     "Advanced express vector preview, which help you to adjust the parameters intuitionisticly and "
     "expediently, and get the results at once."},
    {1041, 1041, "SetDlgPreviewHint",
     "Advanced express vector preview, which help you to adjust the parameters intuitionisticly and "
     "expediently, and get the results at once."},
    {1009, 1009, "SetDlgOutlineHint", "Trace along outline."},
    {1010, 1010, "SetDlgCenterLineHint", "Trace center line."},
    {1013, 1013, "SetDlgSaveTypeHint", "Saving current parameter settings."},
    {1014, 1014, "SetDlgDelTypeHint", "Deleting current parameter settings."},
    {1015, 1015, "SetDlgResetCenterParam", "Reset current system parameter settings."},
    {1020, 1020, "SetDlgAdjustAngleHint", "Adjust the angle of vectors"},
    {1024, 1024, "SetDlgWidthHint", "Calculate the line width"},
    {32771, 32771, "MainActOpenFileHint", "Open raster file"},
    {32772, 32772, "MainActBatchHint", "Batch raste files process"},
    {32807, 32807, "MainActTraceHint", "Convert raster into vector"},
    {32808, 32808, "MainActParameterHint", "Set trace parameter"},
    {32814, 32814, "MainActSepLayersHint", "Separate vector into multi Layers according to width."},
    {57651, 57651, "WindowMenuTileHint", "Tile"},
    // The framework's standard commands.
    {57643, 57643, "EditMenuUndoLastHint", "Undo the last action"},
    {57644, 57644, "EditMenuRedoLastHint", "Redo the previously undone action"},
    {57649, 57649, "WindowMenuArrangeHint", "Arrange icons at the bottom of the window"},
    {57650, 57650, "WindowMenuCascadeHint", "Cascade"},
    {57664, 57664, "MainActAboutHint", "Display program information and version"},
    {57665, 57665, "MainActExitHint", "Quit the application"},
};

}  // namespace

void LanguageTable::Clear() {
  std::unique_lock lock(mutex_);
  keys_.clear();
  texts_.clear();
}

bool LanguageTable::Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Clear();
    return false;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  LoadText(ss.str());
  return true;
}

void LanguageTable::LoadText(std::string_view text) {
  // Parsed aside and swapped in, so lookups from other threads see either the
  // old table or the new one, never a half-read file.
  std::vector<std::string> keys;
  std::vector<std::string> texts;
  keys.reserve(128);
  texts.reserve(128);
  size_t pos = 0;
  while (pos < text.size()) {
    char c = text[pos];
    if (c == 0 || c == '\n' || c == '\r') {
      ++pos;
      continue;
    }
    size_t end = pos;
    while (end < text.size() && text[end] != 0 && text[end] != '\n' && text[end] != '\r') ++end;
    std::string_view line = text.substr(pos, end - pos);
    pos = end;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0) continue;
    std::string_view key = TrimBlanks(line.substr(0, eq));
    if (key.empty()) continue;
    std::string value;
    for (char ch : line.substr(eq + 1)) {
      // A percent sign stands for a line break, so translated texts are never format strings.
      if (ch == '%')
        value += "\r\n";
      else
        value.push_back(ch);
    }
    if (value.empty()) value = " ";  // an empty text still replaces the default
    bool replaced = false;
    for (size_t i = 0; i < keys.size(); ++i) {
      if (platform::EqualsIgnoreCase(keys[i], key)) {
        texts[i] = std::move(value);
        replaced = true;
        break;
      }
    }
    if (!replaced) {
      keys.emplace_back(key);
      texts.push_back(std::move(value));
    }
  }
  std::unique_lock lock(mutex_);
  keys_.swap(keys);
  texts_.swap(texts);
}

std::string LanguageTable::Text(std::string_view key, std::string_view def) const {
  std::shared_lock lock(mutex_);
  for (size_t i = 0; i < keys_.size(); ++i)
    if (platform::EqualsIgnoreCase(keys_[i], key) && !texts_[i].empty()) return texts_[i];
  return std::string(def);
}

std::string LanguageTable::Hint(int identifier) const {
  for (const auto& g : kHints)
    if (identifier >= g.first && identifier <= g.last) return Text(g.key, g.def);
  return {};
}

size_t LanguageTable::size() const {
  std::shared_lock lock(mutex_);
  return keys_.size();
}

LanguageTable& Language() {
  static LanguageTable table;
  return table;
}

std::string Text(std::string_view key, std::string_view def) { return Language().Text(key, def); }

std::string LanguageDisplayName(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  // The first line ends at CR, LF or NUL, like every line of the file.
  std::string line;
  char c;
  while (in.get(c) && c != '\r' && c != '\n' && c != 0) line.push_back(c);
  return line;
}

// ---- Language choice ----------------------------------------------------------

namespace {

// Name and extension of a stored value that may carry a directory.
std::string FileNamePart(const std::string& value) {
  return std::filesystem::path(value).filename().string();
}

std::string StoredLanguageFile(const platform::KeyValueStore& store) {
  auto value = store.readString(kLanguageKey, kLanguageFileValue);
  if (!value) return {};
  // A stored string may carry its terminating zero.
  if (auto zero = value->find('\0'); zero != std::string::npos) value->resize(zero);
  return *value;
}

bool IsRegularFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

std::string FindIn(const std::vector<std::string>& directories, const std::string& fileName) {
  if (fileName.empty() || fileName == "." || fileName == "..") return {};
  for (const auto& dir : directories) {
    std::string path = (std::filesystem::path(dir) / fileName).string();
    if (IsRegularFile(path)) return path;
  }
  return {};
}

}  // namespace

std::string LoadStartupLanguage(platform::KeyValueStore& store, LanguageTable& table,
                                const std::vector<std::string>& directories) {
  std::string fileName = FileNamePart(StoredLanguageFile(store));
  if (fileName.empty()) fileName = kDefaultLanguageFile;
  std::string path = FindIn(directories, fileName);
  if (path.empty()) path = FindIn(directories, kDefaultLanguageFile);
  if (path.empty())
    path = (std::filesystem::path(directories.empty() ? std::string() : directories.front()) / kDefaultLanguageFile)
               .string();
  table.Load(path);
  // Loading settings never reports, so a failed write-back is silent too.
  if (store.createKey(kLanguageKey)) store.writeString(kLanguageKey, kLanguageFileValue, FileNamePart(path));
  return path;
}

std::string LoadStartupLanguage(platform::KeyValueStore& store) {
  return LoadStartupLanguage(store, Language(), platform::DataDirectories());
}

std::string CurrentLanguageFileName(const platform::KeyValueStore& store) {
  if (!store.keyExists(kLanguageKey)) return "English.lan";
  std::string value = StoredLanguageFile(store);
  return value.empty() ? std::string(kDefaultLanguageFile) : value;
}

std::vector<LanguageFile> ListLanguageFiles(const std::vector<std::string>& directories) {
  std::vector<LanguageFile> files;
  for (const auto& dir : directories) {
    std::error_code ec;
    std::filesystem::directory_iterator it(dir, ec);
    if (ec) continue;
    std::vector<LanguageFile> found;
    for (const auto& entry : it) {
      std::error_code fileError;
      if (!entry.is_regular_file(fileError)) continue;
      const std::string name = entry.path().filename().string();
      if (name.size() < 4 || !platform::EqualsIgnoreCase(std::string_view(name).substr(name.size() - 4), ".lan"))
        continue;
      if (FindLanguageFile(files, name) >= 0) continue;  // hidden by an earlier directory
      std::string display = LanguageDisplayName(entry.path().string());
      if (display.empty()) continue;
      found.push_back({name, std::move(display), entry.path().string()});
    }
    std::sort(found.begin(), found.end(),
              [](const LanguageFile& a, const LanguageFile& b) { return a.fileName < b.fileName; });
    files.insert(files.end(), found.begin(), found.end());
  }
  return files;
}

int FindLanguageFile(const std::vector<LanguageFile>& files, std::string_view fileName) {
  for (size_t i = 0; i < files.size(); ++i)
    if (platform::EqualsIgnoreCase(files[i].fileName, fileName)) return static_cast<int>(i);
  return -1;
}

bool ApplyLanguageChoice(platform::KeyValueStore& store, LanguageTable& table, const LanguageFile& choice) {
  const bool written =
      store.createKey(kLanguageKey) && store.writeString(kLanguageKey, kLanguageFileValue, choice.fileName);
  table.Load(choice.path);
  if (!written) platform::ShowMessage(Text("WriteRegistryFailMsg", "Write to registry failed!"));
  return written;
}

}  // namespace quillon::settings
