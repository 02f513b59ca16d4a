#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "platform/paths.h"
#include "settings/language_table.h"

namespace quillon::cli {

namespace {
std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}

// Loads the user's language file so messages on stderr speak it. The command
// line never writes the settings file just for that: the choice is read from
// a copy of the stored value.
void LoadLanguage() {
  platform::MemoryKeyValueStore scratch;
  {
    const platform::JsonFileKeyValueStore stored(platform::SettingsFilePath());
    if (auto name = stored.readString(settings::kLanguageKey, settings::kLanguageFileValue)) {
      scratch.createKey(settings::kLanguageKey);
      scratch.writeString(settings::kLanguageKey, settings::kLanguageFileValue, *name);
    }
  }
  settings::LoadStartupLanguage(scratch);
}

void PrintUsage(std::FILE* out) {
  std::fprintf(out, "usage: quillon COMMAND [ARGS]\n\ncommands:\n");
  for (const auto& c : Commands()) std::fprintf(out, "  %s\n", c.synopsis);
}
}  // namespace

Registration::Registration(Command command) { Registry().push_back(command); }

const std::vector<Command>& Commands() { return Registry(); }

int UsageError(const std::string& text) {
  std::fprintf(stderr, "quillon: %s\n", text.c_str());
  return kExitUsage;
}

}  // namespace quillon::cli

int main(int argc, char** argv) {
  using namespace quillon;
  platform::StderrMessageSink sink;
  platform::ScopedMessageSink installed(sink);

  cli::LoadLanguage();
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
    cli::PrintUsage(args.empty() ? stderr : stdout);
    return args.empty() ? cli::kExitUsage : cli::kExitOk;
  }
  for (const auto& command : cli::Commands()) {
    if (args[0] == command.name) {
      std::vector<std::string> rest(args.begin() + 1, args.end());
      return command.run(rest);
    }
  }
  return cli::UsageError("unknown command '" + args[0] + "' (try 'quillon --help')");
}
