// quillon version and quillon help [COMMAND]: the spellings scripts used
// before --version and --help existed.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "command.h"

namespace quillon::cli {
namespace {

CommandRun SetupVersion(CLI::App&) {
  return []() -> int {
    std::printf("quillon %s\n", VersionText());
    return kExitOk;
  };
}

CommandRun SetupHelp(CLI::App& command) {
  auto topic = std::make_shared<std::string>();
  command.add_option("COMMAND", *topic, "The command to describe")->type_name("");
  return [topic, &command]() -> int {
    const CLI::App* root = command.get_parent();
    if (topic->empty()) {
      std::fputs(root->help().c_str(), stdout);
      return kExitOk;
    }
    for (const CLI::App* sub : root->get_subcommands([](const CLI::App*) { return true; })) {
      if (sub->get_name() == *topic) {
        std::fputs(sub->help("quillon").c_str(), stdout);
        return kExitOk;
      }
    }
    return UsageError("help: unknown command '" + *topic + "' (try 'quillon --help')");
  };
}

const Registration kVersion({"version", "Print the version (also quillon --version)", 90, SetupVersion});
const Registration kHelp({"help", "Describe the commands, or one command", 95, SetupHelp});

}  // namespace
}  // namespace quillon::cli
