#include "platform/paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifndef QUILLON_DATA_DIR
#define QUILLON_DATA_DIR ""
#endif
#ifndef QUILLON_INSTALL_DATA_DIR
#define QUILLON_INSTALL_DATA_DIR "/usr/local/share/quillon"
#endif

namespace fs = std::filesystem;

namespace quillon::platform {

namespace {
std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}
std::string WithSlash(std::string dir) {
  if (!dir.empty() && dir.back() != '/') dir.push_back('/');
  return dir;
}
}  // namespace

std::string ConfigDirectory() {
  if (auto dir = Env("QUILLON_CONFIG_DIR"); !dir.empty()) return dir;
  if (auto xdg = Env("XDG_CONFIG_HOME"); !xdg.empty()) return xdg + "/quillon";
  if (auto home = Env("HOME"); !home.empty()) return home + "/.config/quillon";
  return ".config/quillon";
}

std::string SettingsFilePath() { return ConfigDirectory() + "/settings.json"; }

bool EnsureDirectory(const std::string& path) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) return true;
  fs::create_directories(path, ec);
  return fs::is_directory(path, ec);
}

std::string ProgramDirectory() {
  std::error_code ec;
  auto exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return WithSlash(exe.parent_path().string());
}

std::vector<std::string> DataDirectories() {
  std::vector<std::string> dirs;
  if (auto p = ProgramDirectory(); !p.empty()) dirs.push_back(p);
  dirs.push_back(WithSlash(QUILLON_INSTALL_DATA_DIR));
  if (std::string(QUILLON_DATA_DIR).size()) dirs.push_back(WithSlash(QUILLON_DATA_DIR));
  return dirs;
}

std::string FindDataFile(const std::string& name) {
  std::error_code ec;
  for (const auto& dir : DataDirectories())
    if (fs::is_regular_file(dir + name, ec)) return dir + name;
  return {};
}

}  // namespace quillon::platform
