#include "settings/language_table.h"

#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/key_value_store.h"

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
};

}  // namespace

void LanguageTable::Clear() {
  std::unique_lock lock(mutex_);
  keys_.clear();
  texts_.clear();
}

bool LanguageTable::Load(const std::string& path) {
  Clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream ss;
  ss << in.rdbuf();
  LoadText(ss.str());
  return true;
}

void LanguageTable::LoadText(std::string_view text) {
  std::unique_lock lock(mutex_);
  keys_.clear();
  texts_.clear();
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
    for (size_t i = 0; i < keys_.size(); ++i) {
      if (platform::EqualsIgnoreCase(keys_[i], key)) {
        texts_[i] = value;
        replaced = true;
        break;
      }
    }
    if (!replaced) {
      keys_.emplace_back(key);
      texts_.push_back(std::move(value));
    }
  }
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
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  return line;
}

}  // namespace quillon::settings
