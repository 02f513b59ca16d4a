#include "support/test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

CliResult RunCli(const std::vector<std::string>& args, const std::string& configDir) {
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
