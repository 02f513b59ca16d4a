#include "platform/profile_file.h"

#include <climits>
#include <fstream>
#include <sstream>

#include "platform/atomic_file.h"
#include "platform/key_value_store.h"

namespace quillon::platform {

namespace {
std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}
std::string_view Unquote(std::string_view s) {
  if (s.size() >= 2 && ((s.front() == '"' && s.back() == '"') || (s.front() == '\'' && s.back() == '\'')))
    return s.substr(1, s.size() - 2);
  return s;
}
}  // namespace

std::optional<int> ParseProfileInt(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  long long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    v = v * 10 + (c - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) v = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) v = -v;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  return static_cast<int>(v);
}

bool ProfileFile::load(const std::string& path) {
  sections_.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream ss;
  ss << in.rdbuf();
  parse(ss.str());
  return true;
}

void ProfileFile::parse(std::string_view text) {
  sections_.clear();
  Section* current = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      size_t close = line.find(']');
      std::string_view name = Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
      current = const_cast<Section*>(findSection(name));
      if (!current) {
        sections_.push_back({std::string(name), {}});
        current = &sections_.back();
      }
      continue;
    }
    if (!current) continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view key = Trim(line.substr(0, eq));
    if (key.empty()) continue;
    std::string_view value = Unquote(Trim(line.substr(eq + 1)));
    bool replaced = false;
    for (auto& [k, v] : current->entries) {
      // The first occurrence wins on reading, as the profile API does.
      if (EqualsIgnoreCase(k, key)) {
        replaced = true;
        break;
      }
    }
    if (!replaced) current->entries.emplace_back(std::string(key), std::string(value));
  }
}

const ProfileFile::Section* ProfileFile::findSection(std::string_view name) const {
  for (const auto& s : sections_)
    if (EqualsIgnoreCase(s.name, name)) return &s;
  return nullptr;
}

bool ProfileFile::hasSection(std::string_view section) const { return findSection(section) != nullptr; }

std::optional<std::string> ProfileFile::find(std::string_view section, std::string_view key) const {
  const Section* s = findSection(section);
  if (!s) return std::nullopt;
  for (const auto& [k, v] : s->entries)
    if (EqualsIgnoreCase(k, key)) return v;
  return std::nullopt;
}

std::string ProfileFile::getString(std::string_view section, std::string_view key, std::string_view def) const {
  auto v = find(section, key);
  return v ? *v : std::string(def);
}

int ProfileFile::getInt(std::string_view section, std::string_view key, int def) const {
  auto v = find(section, key);
  if (!v) return def;
  auto n = ParseProfileInt(*v);
  return n ? *n : def;
}

void ProfileFile::setString(std::string_view section, std::string_view key, std::string_view value) {
  Section* s = const_cast<Section*>(findSection(section));
  if (!s) {
    sections_.push_back({std::string(section), {}});
    s = &sections_.back();
  }
  for (auto& [k, v] : s->entries) {
    if (EqualsIgnoreCase(k, key)) {
      v = std::string(value);
      return;
    }
  }
  s->entries.emplace_back(std::string(key), std::string(value));
}

void ProfileFile::setInt(std::string_view section, std::string_view key, long long value) {
  setString(section, key, std::to_string(value));
}

std::string ProfileFile::text() const {
  std::string out;
  for (const auto& s : sections_) {
    out += "[" + s.name + "]\r\n";
    for (const auto& [k, v] : s.entries) out += k + "=" + v + "\r\n";
  }
  return out;
}

bool ProfileFile::save(const std::string& path, std::string* error) const {
  return WriteFileAtomically(path, text(), error);
}

}  // namespace quillon::platform
