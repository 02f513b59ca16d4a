#include "support/test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace quillon::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillon-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) std::abort();
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::optional<std::string> Gunzip(const std::string& bytes) {
  if (bytes.size() < 18 || static_cast<uint8_t>(bytes[0]) != 0x1f || static_cast<uint8_t>(bytes[1]) != 0x8b) {
    return std::nullopt;
  }
  z_stream z{};
  if (inflateInit2(&z, 15 + 16) != Z_OK) return std::nullopt;  // gzip wrapper only
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = static_cast<uInt>(bytes.size());
  std::string text;
  int status = Z_OK;
  char chunk[65536];
  while (status == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(chunk);
    z.avail_out = sizeof chunk;
    status = inflate(&z, Z_NO_FLUSH);
    text.append(chunk, sizeof chunk - z.avail_out);
  }
  const bool whole = status == Z_STREAM_END && z.avail_in == 0;
  inflateEnd(&z);
  if (!whole) return std::nullopt;
  return text;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
}

std::string SourcePath(const std::string& relative) { return std::string(QUILLON_SOURCE_DIR) + "/" + relative; }

CliResult RunCli(const std::vector<std::string>& args, const std::string& configDir, const std::string& stdinFile) {
  TempDir scratch;
  std::string outPath = scratch.file("out"), errPath = scratch.file("err");
  std::vector<std::string> argStore{QUILLON_CLI_PATH};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> envStore;
  for (char** e = environ; *e; ++e) {
    if (!configDir.empty() && std::string(*e).rfind("QUILLON_CONFIG_DIR=", 0) == 0) continue;
    envStore.emplace_back(*e);
  }
  if (!configDir.empty()) envStore.push_back("QUILLON_CONFIG_DIR=" + configDir);
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!stdinFile.empty()) posix_spawn_file_actions_addopen(&actions, 0, stdinFile.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  CliResult result;
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  return result;
}

}  // namespace quillon::test
