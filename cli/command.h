#pragma once
// The quillon command's subcommands. Each lives in its own cli/cmd_*.cpp and
// registers itself with a static Registration, so main() never changes when a
// command is added.

#include <string>
#include <vector>

namespace quillon::cli {

// Exit statuses of every subcommand.
enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

using CommandFunction = int (*)(const std::vector<std::string>& args);

struct Command {
  const char* name;
  const char* synopsis;  // one line for the usage text
  CommandFunction run;
};

class Registration {
 public:
  explicit Registration(Command command);
};

const std::vector<Command>& Commands();

// Prints "quillon: TEXT" on stderr and returns kExitUsage.
int UsageError(const std::string& text);

}  // namespace quillon::cli
