#pragma once
// Profile (INI) files as the job files use them: "[Section]" headers and
// "key=value" lines. Section and key names compare without regard to case;
// values are trimmed of blanks and of one pair of enclosing quotes. Written
// files are plain INI text with CR LF line ends.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::platform {

class ProfileFile {
 public:
  ProfileFile() = default;
  // Reads a file; false when it cannot be opened (the object is then empty).
  bool load(const std::string& path);
  // Parses text (any of CR, LF, CR LF line ends).
  void parse(std::string_view text);

  bool hasSection(std::string_view section) const;
  // The value, or the default when the section or key is missing.
  std::string getString(std::string_view section, std::string_view key, std::string_view def = "") const;
  // Leading (optionally signed) digits of the value, saturated to the int
  // range; the default when the key is missing or the value starts with no digit.
  int getInt(std::string_view section, std::string_view key, int def) const;
  std::optional<std::string> find(std::string_view section, std::string_view key) const;

  // Sets a value, creating the section at the end and the key at the end of its section.
  void setString(std::string_view section, std::string_view key, std::string_view value);
  void setInt(std::string_view section, std::string_view key, long long value);

  std::string text() const;
  // Writes the text atomically; false (with the reason in *error) on failure.
  bool save(const std::string& path, std::string* error = nullptr) const;

  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
  };
  const std::vector<Section>& sections() const { return sections_; }

 private:
  const Section* findSection(std::string_view name) const;
  std::vector<Section> sections_;
};

// Leading digits rule shared with getInt: nullopt when there is no digit.
std::optional<int> ParseProfileInt(std::string_view text);

}  // namespace quillon::platform
