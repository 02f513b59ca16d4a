#pragma once
// Every text the user sees, the batch log and the parameter summary write is
// looked up by key here, with the English text given at the place of use as
// the default. A ".lan" language file replaces the texts.

#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::platform {
class KeyValueStore;
}

namespace quillon::settings {

class LanguageTable {
 public:
  // Empties the table, then reads the file. A file that cannot be opened
  // leaves the table empty, so every lookup gives its default; returns false
  // then.
  bool Load(const std::string& path);
  // Replaces the table by the entries of a language file's text (8-bit text,
  // lines end with CR, LF or both; malformed lines are skipped).
  void LoadText(std::string_view text);
  void Clear();

  // The entry's text when the key is present with a non-empty text, else the
  // default. Keys compare without regard to case.
  std::string Text(std::string_view key, std::string_view def) const;
  // The status-bar hint / tooltip of a command or control identifier.
  std::string Hint(int identifier) const;

  size_t size() const;

 private:
  mutable std::shared_mutex mutex_;  // Load may run while batch workers look texts up
  std::vector<std::string> keys_;
  std::vector<std::string> texts_;
};

// The process-wide table.
LanguageTable& Language();

// Shorthand for Language().Text(key, def).
std::string Text(std::string_view key, std::string_view def);

// The first line of a language file (its display name), "" when the file
// cannot be opened or the line is empty.
std::string LanguageDisplayName(const std::string& path);

// ---- Language choice ----------------------------------------------------------

// Where the chosen language file is recorded, as value "LanguageFileName".
inline constexpr const char* kLanguageKey = "Software\\Marrowby\\Quillon\\Language";
inline constexpr const char* kLanguageFileValue = "LanguageFileName";
inline constexpr const char* kDefaultLanguageFile = "english.lan";

// The start-up choice: the file named by LanguageFileName (name and extension
// only; "english.lan" when the key or value is missing or empty) is looked
// for in the directories in order, then "english.lan"; the file found is
// loaded into the table and its name written back to the store. When no file
// is found the table stays empty (English defaults) and "english.lan" is
// written. Never reports. Returns the path loaded (or tried).
std::string LoadStartupLanguage(platform::KeyValueStore& store, LanguageTable& table,
                                const std::vector<std::string>& directories);
// The same for the process-wide table and platform::DataDirectories().
std::string LoadStartupLanguage(platform::KeyValueStore& store);

// One language file offered on the language page.
struct LanguageFile {
  std::string fileName;     // name and extension, as stored in LanguageFileName
  std::string displayName;  // the file's first line
  std::string path;
  bool operator==(const LanguageFile&) const = default;
};

// The language page's current file: LanguageFileName, "english.lan" when the
// value is missing or empty, "English.lan" when the key is missing.
std::string CurrentLanguageFileName(const platform::KeyValueStore& store);

// Every regular "*.lan" file (extension compared without regard to case) of
// the directories whose first line is not empty, sorted by file name within a
// directory; a file name found in an earlier directory hides later ones.
std::vector<LanguageFile> ListLanguageFiles(const std::vector<std::string>& directories);

// Position of the entry whose file name equals fileName (ignoring case), or -1.
int FindLanguageFile(const std::vector<LanguageFile>& files, std::string_view fileName);

// Accepting a different choice on the page: records the file name in the
// store and loads the file into the table at once. A store write that fails
// shows "Write to registry failed!" and returns false (the file is loaded
// anyway).
bool ApplyLanguageChoice(platform::KeyValueStore& store, LanguageTable& table, const LanguageFile& choice);

}  // namespace quillon::settings
