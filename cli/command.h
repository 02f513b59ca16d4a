#pragma once
// The quillon command's subcommands. Each lives in its own cli/cmd_*.cpp and
// registers itself with a static Registration, so main() never changes when a
// command is added. A command declares its options on its own CLI11
// subcommand; the help text, the man page and the shell completions are all
// generated from those declarations.

#include <functional>
#include <string>
#include <vector>

namespace CLI {
class App;
}
namespace quillon::platform {
class CancelFlag;
}

namespace quillon::cli {

// Exit statuses of every subcommand.
enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

// What runs a command once its line has parsed; answers the exit status.
using CommandRun = std::function<int()>;
// Declares the command's options and positionals on `command` (bound to
// storage the returned run owns) and returns the run.
using CommandSetup = CommandRun (*)(CLI::App& command);

struct Command {
  const char* name;
  const char* description;  // one line for the command list
  int order;                // position in the command list, the man page and completions
  CommandSetup setup;
};

class Registration {
 public:
  explicit Registration(Command command);
};

// The registered commands in list order.
std::vector<Command> Commands();

// Prints "quillon: TEXT" on stderr and returns kExitUsage. For problems
// found after the line parsed (a chart type that does not exist, ...).
int UsageError(const std::string& text);
// Prints "quillon: TEXT" on stderr and returns kExitFailed.
int Fail(const std::string& text);

// The request to stop long work (an interrupt): polled between and inside
// conversions and by the raster steps. Raised by whoever handles signals.
platform::CancelFlag& StopRequest();
// SIGINT and SIGTERM raise StopRequest(); a second signal ends the process.
void InstallStopSignals();
// The signal that raised StopRequest() (0: none).
int StopSignal();

// The program's version ("0.1.0").
const char* VersionText();

}  // namespace quillon::cli
