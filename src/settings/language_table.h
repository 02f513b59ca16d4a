#pragma once
// Every text the user sees, the batch log and the parameter summary write is
// looked up by key here, with the English text given at the place of use as
// the default. A ".lan" language file replaces the texts.

#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::settings {

class LanguageTable {
 public:
  // Empties the table, then reads the file. A file that cannot be opened
  // leaves the table empty, so every lookup gives its default.
  bool Load(const std::string& path);
  // Parses the text of a language file (lines end with CR, LF or both).
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

}  // namespace quillon::settings
