#pragma once
// The per-user settings tree: keys with subkeys and named values (32-bit
// integers, strings, short binary blobs). Key paths use "\" between names, as
// "Software\Marrowby\Quillon\Options"; key and value names compare without
// regard to case and keep the case they were created with.
//
// Two implementations: MemoryKeyValueStore (tests) and JsonFileKeyValueStore,
// one JSON file written whole and renamed into place.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quillon::platform {

using BinaryValue = std::vector<uint8_t>;
using StoreValue = std::variant<uint32_t, std::string, BinaryValue>;

class KeyValueStore {
 public:
  virtual ~KeyValueStore() = default;

  // Opens an existing key; false when it does not exist.
  virtual bool keyExists(std::string_view path) const = 0;
  // Creates the key and every missing parent; true when the key exists afterwards.
  virtual bool createKey(std::string_view path) = 0;
  // Deletes the key with everything below it; false when it did not exist.
  virtual bool deleteKeyTree(std::string_view path) = 0;
  // Names of the direct subkeys in creation order.
  virtual std::vector<std::string> subkeys(std::string_view path) const = 0;

  virtual std::optional<StoreValue> readValue(std::string_view path, std::string_view name) const = 0;
  // Writes a value; the key must exist (create it first). False when it does not.
  virtual bool writeValue(std::string_view path, std::string_view name, StoreValue value) = 0;
  virtual bool deleteValue(std::string_view path, std::string_view name) = 0;

  // Makes every write so far durable. The memory store always succeeds.
  virtual bool flush() { return true; }

  // Typed conveniences: a value of another type reads as missing.
  std::optional<uint32_t> readDword(std::string_view path, std::string_view name) const;
  std::optional<std::string> readString(std::string_view path, std::string_view name) const;
  std::optional<BinaryValue> readBinary(std::string_view path, std::string_view name) const;
  bool writeDword(std::string_view path, std::string_view name, uint32_t value) {
    return writeValue(path, name, value);
  }
  bool writeString(std::string_view path, std::string_view name, std::string value) {
    return writeValue(path, name, std::move(value));
  }
  bool writeBinary(std::string_view path, std::string_view name, BinaryValue value) {
    return writeValue(path, name, std::move(value));
  }
};

// The tree itself, shared by both implementations.
class MemoryKeyValueStore : public KeyValueStore {
 public:
  MemoryKeyValueStore();
  ~MemoryKeyValueStore() override;

  bool keyExists(std::string_view path) const override;
  bool createKey(std::string_view path) override;
  bool deleteKeyTree(std::string_view path) override;
  std::vector<std::string> subkeys(std::string_view path) const override;
  std::optional<StoreValue> readValue(std::string_view path, std::string_view name) const override;
  bool writeValue(std::string_view path, std::string_view name, StoreValue value) override;
  bool deleteValue(std::string_view path, std::string_view name) override;

  struct Node;

 protected:
  Node& root() { return *root_; }
  const Node& root() const { return *root_; }
  void replaceRoot(std::unique_ptr<Node> root);
  bool dirty_ = false;

 private:
  std::unique_ptr<Node> root_;
};

// The settings file. Construction reads the file; a missing file is an empty
// tree. A file that exists but cannot be read (no permission, not a regular
// file) and one that is malformed both read as empty, are reported once per
// process through the message sink, and are never touched by reading: an
// unreadable file is left alone for good (flush() refuses to replace what it
// could not read), a malformed one is moved aside to a new
// "<file>.bad-<timestamp>" only when settings are about to be written, so an
// earlier kept-aside file is never overwritten. flush() (and destruction, when
// something changed) writes the whole tree to a temporary file beside it and
// renames it over the old one, so readers always see one whole version.
class JsonFileKeyValueStore final : public MemoryKeyValueStore {
 public:
  enum class FileState { Missing, Read, Unreadable, Malformed };

  explicit JsonFileKeyValueStore(std::string filePath);
  ~JsonFileKeyValueStore() override;
  bool flush() override;
  // Re-reads the file, dropping unsaved changes.
  void reload();
  const std::string& filePath() const { return filePath_; }
  FileState fileState() const { return state_; }
  // Where the last flush moved a malformed file ("" when it did not).
  const std::string& keptAsidePath() const { return keptAside_; }

 private:
  std::string filePath_;
  FileState state_ = FileState::Missing;
  std::string keptAside_;
};

// Compares two names without regard to ASCII case.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace quillon::platform
