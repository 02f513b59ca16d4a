#include <CLI/CLI.hpp>

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "options_common.h"
#include "platform/key_value_store.h"
#include "platform/memory.h"
#include "platform/message_sink.h"
#include "platform/paths.h"
#include "platform/progress.h"
#include "settings/language_table.h"
#include "settings/memory_budget.h"

#ifndef QUILLON_VERSION
#define QUILLON_VERSION "0.1.0"
#endif

namespace quillon::cli {

namespace {
std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}

// Loads the user's language file so messages on stderr speak it, and makes
// the stored conversion memory budget the default one. The command line
// never writes the settings file just for that: the language choice is read
// from a copy of the stored value.
void LoadLanguage() {
  platform::MemoryKeyValueStore scratch;
  {
    const platform::JsonFileKeyValueStore stored(platform::SettingsFilePath());
    settings::ApplyStoredMemoryBudget(stored);
    if (auto name = stored.readString(settings::kLanguageKey, settings::kLanguageFileValue)) {
      scratch.createKey(settings::kLanguageKey);
      scratch.writeString(settings::kLanguageKey, settings::kLanguageFileValue, *name);
    }
  }
  settings::LoadStartupLanguage(scratch);
}

// A parse error as one line naming the option, then the usage line of the
// command it belongs to.
std::string FailureText(const CLI::App* app, const CLI::Error& e) {
  const CLI::App* command = app;
  const std::vector<const CLI::App*> parsed = app->get_subcommands([](const CLI::App* s) { return s->parsed(); });
  if (!parsed.empty()) command = parsed.front();
  const std::string name = command == app ? "quillon" : "quillon " + command->get_name();
  std::string usage = CLI::Formatter().make_usage(command, name);
  // CLI11 starts the line with "Usage:" and ends it with a blank line.
  if (usage.rfind("Usage:", 0) == 0) usage.replace(0, 6, "usage:");
  while (!usage.empty() && usage.back() == '\n') usage.pop_back();
  return "quillon: " + std::string(e.what()) + "\n" + usage + "  (" + name + " --help)\n";
}
}  // namespace

Registration::Registration(Command command) { Registry().push_back(command); }

std::vector<Command> Commands() {
  std::vector<Command> commands = Registry();
  std::stable_sort(commands.begin(), commands.end(), [](const Command& a, const Command& b) { return a.order < b.order; });
  return commands;
}

int UsageError(const std::string& text) {
  std::fprintf(stderr, "quillon: %s\n", text.c_str());
  return kExitUsage;
}

int Fail(const std::string& text) {
  std::fprintf(stderr, "quillon: %s\n", text.c_str());
  return kExitFailed;
}

platform::CancelFlag& StopRequest() {
  static platform::CancelFlag flag;
  return flag;
}

namespace {
volatile sig_atomic_t gStopSignal = 0;

extern "C" void OnStopSignal(int signal) {
  gStopSignal = signal;
  // A lock-free atomic store: safe in a signal handler.
  StopRequest().request();
}
}  // namespace

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // The first signal asks the work to stop cleanly; a second one ends the
  // process at once (outputs are written through temporary files, so no
  // target is ever left half written).
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int StopSignal() { return gStopSignal; }

const char* VersionText() { return QUILLON_VERSION; }

}  // namespace quillon::cli

int main(int argc, char** argv) {
  using namespace quillon;
  platform::RestartWithHugePageHeap(argv);
  platform::StderrMessageSink sink;
  platform::ScopedMessageSink installed(sink);
  cli::LoadLanguage();

  CLI::App app("Quillon converts raster line art (scanned drawings, maps, plans, logos) into vector drawings.",
               "quillon");
  cli::ConfigureApp(app);
  app.set_version_flag("-V,--version", std::string("quillon ") + cli::VersionText(), "Print the version and exit");
  app.failure_message(cli::FailureText);
  app.require_subcommand(0, 1);
  app.footer("Run 'quillon COMMAND --help' for the options of a command.\n"
             "Exit status: 0 done, 1 the work failed (the message says why), 2 bad usage.");

  std::vector<std::pair<CLI::App*, cli::CommandRun>> runs;
  for (const cli::Command& command : cli::Commands()) {
    CLI::App* sub = app.add_subcommand(command.name, command.description);
    runs.emplace_back(sub, command.setup(*sub));
  }

  if (argc < 2) {
    std::fputs(app.help().c_str(), stderr);
    return cli::kExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? cli::kExitOk : cli::kExitUsage;
  }
  for (auto& [sub, run] : runs) {
    if (!sub->parsed()) continue;
    cli::InstallStopSignals();
    const int status = run();
    // Work cut short by a signal ends as shells expect: 128 + the signal.
    if (const int signal = cli::StopSignal()) return 128 + signal;
    return status;
  }
  std::fputs(app.help().c_str(), stderr);
  return cli::kExitUsage;
}
