#include "platform/key_value_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>
#include <cctype>
#include <fstream>
#include <sstream>
#include <system_error>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "platform/atomic_file.h"
#include "platform/message_sink.h"

namespace quillon::platform {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// Keys and values keep creation order (registry enumeration order is what
// callers such as the chart-type list observe).
struct MemoryKeyValueStore::Node {
  std::vector<std::pair<std::string, std::unique_ptr<Node>>> children;
  std::vector<std::pair<std::string, StoreValue>> values;

  Node* child(std::string_view name) const {
    for (const auto& [n, c] : children)
      if (EqualsIgnoreCase(n, name)) return c.get();
    return nullptr;
  }
};

namespace {

std::vector<std::string_view> SplitPath(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

using Node = MemoryKeyValueStore::Node;

const Node* Find(const Node& root, std::string_view path) {
  const Node* node = &root;
  for (auto part : SplitPath(path)) {
    node = node->child(part);
    if (!node) return nullptr;
  }
  return node;
}

// Binary values are stored as lowercase hex text.
std::string ToHex(const BinaryValue& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (uint8_t b : bytes) {
    s.push_back(digits[b >> 4]);
    s.push_back(digits[b & 15]);
  }
  return s;
}

std::optional<BinaryValue> FromHex(const std::string& s) {
  if (s.size() % 2) return std::nullopt;
  BinaryValue out;
  for (size_t i = 0; i < s.size(); i += 2) {
    auto nib = [](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      return -1;
    };
    int hi = nib(s[i]), lo = nib(s[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<uint8_t>(hi * 16 + lo));
  }
  return out;
}

nlohmann::ordered_json ToJson(const Node& node) {
  nlohmann::ordered_json j = nlohmann::ordered_json::object();
  auto values = nlohmann::ordered_json::object();
  for (const auto& [name, value] : node.values) {
    if (auto* d = std::get_if<uint32_t>(&value))
      values[name] = {{"dword", *d}};
    else if (auto* s = std::get_if<std::string>(&value))
      values[name] = {{"string", *s}};
    else
      values[name] = {{"binary", ToHex(std::get<BinaryValue>(value))}};
  }
  auto keys = nlohmann::ordered_json::object();
  for (const auto& [name, child] : node.children) keys[name] = ToJson(*child);
  j["values"] = std::move(values);
  j["keys"] = std::move(keys);
  return j;
}

// Lenient reading: entries of the wrong shape are skipped, the rest is kept.
std::unique_ptr<Node> FromJson(const nlohmann::ordered_json& j, int depth = 0) {
  auto node = std::make_unique<Node>();
  if (!j.is_object() || depth > 64) return node;
  if (auto it = j.find("values"); it != j.end() && it->is_object()) {
    for (const auto& [name, v] : it->items()) {
      if (!v.is_object()) continue;
      if (auto d = v.find("dword"); d != v.end() && d->is_number_integer()) {
        auto n = d->get<int64_t>();
        if (n < 0 || n > 0xFFFFFFFFLL) continue;
        node->values.emplace_back(name, static_cast<uint32_t>(n));
      } else if (auto s = v.find("string"); s != v.end() && s->is_string()) {
        node->values.emplace_back(name, s->get<std::string>());
      } else if (auto b = v.find("binary"); b != v.end() && b->is_string()) {
        if (auto bytes = FromHex(b->get<std::string>())) node->values.emplace_back(name, std::move(*bytes));
      }
    }
  }
  if (auto it = j.find("keys"); it != j.end() && it->is_object()) {
    for (const auto& [name, child] : it->items()) {
      if (name.empty() || name.find('\\') != std::string::npos) continue;
      node->children.emplace_back(name, FromJson(child, depth + 1));
    }
  }
  return node;
}

}  // namespace

std::optional<uint32_t> KeyValueStore::readDword(std::string_view path, std::string_view name) const {
  auto v = readValue(path, name);
  if (v)
    if (auto* d = std::get_if<uint32_t>(&*v)) return *d;
  return std::nullopt;
}

std::optional<std::string> KeyValueStore::readString(std::string_view path, std::string_view name) const {
  auto v = readValue(path, name);
  if (v)
    if (auto* s = std::get_if<std::string>(&*v)) return *s;
  return std::nullopt;
}

std::optional<BinaryValue> KeyValueStore::readBinary(std::string_view path, std::string_view name) const {
  auto v = readValue(path, name);
  if (v)
    if (auto* b = std::get_if<BinaryValue>(&*v)) return *b;
  return std::nullopt;
}

MemoryKeyValueStore::MemoryKeyValueStore() : root_(std::make_unique<Node>()) {}
MemoryKeyValueStore::~MemoryKeyValueStore() = default;

void MemoryKeyValueStore::replaceRoot(std::unique_ptr<Node> root) { root_ = std::move(root); }

bool MemoryKeyValueStore::keyExists(std::string_view path) const { return Find(*root_, path) != nullptr; }

bool MemoryKeyValueStore::createKey(std::string_view path) {
  Node* node = root_.get();
  for (auto part : SplitPath(path)) {
    Node* next = node->child(part);
    if (!next) {
      node->children.emplace_back(std::string(part), std::make_unique<Node>());
      next = node->children.back().second.get();
      dirty_ = true;
    }
    node = next;
  }
  return true;
}

bool MemoryKeyValueStore::deleteKeyTree(std::string_view path) {
  auto parts = SplitPath(path);
  if (parts.empty()) return false;
  Node* parent = root_.get();
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    parent = parent->child(parts[i]);
    if (!parent) return false;
  }
  auto& kids = parent->children;
  auto it = std::find_if(kids.begin(), kids.end(),
                         [&](const auto& entry) { return EqualsIgnoreCase(entry.first, parts.back()); });
  if (it == kids.end()) return false;
  kids.erase(it);
  dirty_ = true;
  return true;
}

std::vector<std::string> MemoryKeyValueStore::subkeys(std::string_view path) const {
  std::vector<std::string> names;
  if (const Node* node = Find(*root_, path))
    for (const auto& entry : node->children) names.push_back(entry.first);
  return names;
}

std::optional<StoreValue> MemoryKeyValueStore::readValue(std::string_view path, std::string_view name) const {
  const Node* node = Find(*root_, path);
  if (!node) return std::nullopt;
  for (const auto& [n, v] : node->values)
    if (EqualsIgnoreCase(n, name)) return v;
  return std::nullopt;
}

bool MemoryKeyValueStore::writeValue(std::string_view path, std::string_view name, StoreValue value) {
  Node* node = const_cast<Node*>(Find(*root_, path));
  if (!node) return false;
  dirty_ = true;
  for (auto& [n, v] : node->values) {
    if (EqualsIgnoreCase(n, name)) {
      v = std::move(value);
      return true;
    }
  }
  node->values.emplace_back(std::string(name), std::move(value));
  return true;
}

bool MemoryKeyValueStore::deleteValue(std::string_view path, std::string_view name) {
  Node* node = const_cast<Node*>(Find(*root_, path));
  if (!node) return false;
  auto it = std::find_if(node->values.begin(), node->values.end(),
                         [&](const auto& entry) { return EqualsIgnoreCase(entry.first, name); });
  if (it == node->values.end()) return false;
  node->values.erase(it);
  dirty_ = true;
  return true;
}

JsonFileKeyValueStore::JsonFileKeyValueStore(std::string filePath) : filePath_(std::move(filePath)) { reload(); }

JsonFileKeyValueStore::~JsonFileKeyValueStore() {
  if (dirty_) (void)flush();
}

namespace {

// Several stores of one file may live in one process (the language lookup
// and the command itself); the user hears about a bad file once.
void ReportOnce(const std::string& path, const std::string& text) {
  static std::mutex mutex;
  static std::set<std::string> reported;
  {
    std::lock_guard lock(mutex);
    if (!reported.insert(path).second) return;
  }
  ShowMessage(text, MessageKind::Warning);
}

// "<file>.bad-YYYYMMDD-HHMMSS", with "-N" added while that name is taken.
std::string FreeAsideName(const std::string& path) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::string base = path + ".bad-" + stamp;
  std::string name = base;
  std::error_code ec;
  for (int n = 1; std::filesystem::exists(std::filesystem::symlink_status(name, ec)); ++n)
    name = base + "-" + std::to_string(n);
  return name;
}

}  // namespace

void JsonFileKeyValueStore::reload() {
  replaceRoot(std::make_unique<Node>());
  dirty_ = false;
  keptAside_.clear();
  std::error_code ec;
  auto status = std::filesystem::status(filePath_, ec);
  if (!std::filesystem::exists(status)) {
    state_ = FileState::Missing;
    return;
  }
  std::string reason;
  std::stringstream text;
  if (!std::filesystem::is_regular_file(status)) {
    reason = "not a regular file";
  } else {
    errno = 0;
    std::ifstream in(filePath_, std::ios::binary);
    if (!in) {
      reason = std::strerror(errno ? errno : EIO);
    } else {
      text << in.rdbuf();
      if (in.bad()) reason = "read error";
    }
  }
  if (!reason.empty()) {
    state_ = FileState::Unreadable;
    ReportOnce(filePath_, "Cannot read the settings file " + filePath_ + " (" + reason +
                              "): the built-in settings are used and the file is left as it is.");
    return;
  }
  auto parsed = nlohmann::ordered_json::parse(text.str(), nullptr, /*allow_exceptions=*/false);
  if (parsed.is_discarded() || !parsed.is_object()) {
    state_ = FileState::Malformed;
    ReportOnce(filePath_, "The settings file " + filePath_ +
                              " is damaged: the built-in settings are used; it is kept aside when settings are next saved.");
    return;
  }
  state_ = FileState::Read;
  replaceRoot(FromJson(parsed));
}

bool JsonFileKeyValueStore::flush() {
  // Replacing a file we could not read could destroy settings we never saw.
  if (state_ == FileState::Unreadable) return false;
  if (state_ == FileState::Malformed) {
    std::string aside = FreeAsideName(filePath_);
    std::error_code ec;
    std::filesystem::rename(filePath_, aside, ec);
    if (ec && std::filesystem::exists(filePath_)) {
      ShowMessage("Cannot keep the damaged settings file " + filePath_ + " aside as " + aside + ": " +
                  ec.message() + "; settings were not saved.");
      return false;
    }
    if (!ec) {
      keptAside_ = aside;
      ShowMessage("The damaged settings file was kept as " + aside + ".", MessageKind::Warning);
    }
    state_ = FileState::Missing;
  }
  std::string text = ToJson(root()).dump(2);
  text.push_back('\n');
  if (!WriteFileAtomically(filePath_, text)) return false;
  state_ = FileState::Read;
  dirty_ = false;
  return true;
}

}  // namespace quillon::platform
