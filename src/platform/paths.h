#pragma once
// Where the program finds its files.

#include <string>
#include <vector>

namespace quillon::platform {

// The settings directory: $QUILLON_CONFIG_DIR, else $XDG_CONFIG_HOME/quillon,
// else ~/.config/quillon. Not created here.
std::string ConfigDirectory();
// ConfigDirectory()/settings.json.
std::string SettingsFilePath();
// Creates the directory and its parents; false when that fails.
bool EnsureDirectory(const std::string& path);

// The directory of the running executable (with a trailing "/"), or "" when
// it cannot be found.
std::string ProgramDirectory();
// Directories searched for data files (language files, the manual): the
// program's directory, then the installed data directory, then the source
// tree's data directory for runs from a build tree. Each ends with "/".
std::vector<std::string> DataDirectories();
// The first existing DataDirectories()/name, or "" when there is none.
std::string FindDataFile(const std::string& name);

}  // namespace quillon::platform
