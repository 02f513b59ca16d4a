// quillon params: prints the trace parameters (summary and job-file text),
// and stores or deletes chart types, so that scripts set parameters up
// without editing the settings file.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "command.h"
#include "options_common.h"
#include "platform/key_value_store.h"
#include "platform/paths.h"
#include "settings/memory_budget.h"
#include "settings/option_store.h"
#include "settings/trace_option.h"

namespace quillon::cli {
namespace {

struct ParamsArgs {
  ParameterOptions parameters;
  std::string saveName;
  std::string deleteName;
  bool listNames = false;
  bool overwrite = false;
  std::string maxMemory;
};

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

int PrintText(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    return Fail("cannot write to standard output");
  }
  return kExitOk;
}

int SaveChartType(platform::JsonFileKeyValueStore& store, const settings::TraceOption& record, const ParamsArgs& args) {
  const std::string& name = args.saveName;
  if (name.empty()) return UsageError("params: the chart type name must not be empty");
  if (name.find('\\') != std::string::npos) return UsageError("params: a chart type name cannot contain '\\'");
  // The desktop dialog asks before it replaces a listed name; here the
  // answer is --overwrite.
  if (settings::ChartTypeNameListed(settings::ChartTypeChoices(store), name) && !args.overwrite) {
    return Fail("the chart type '" + name + "' already exists; add --overwrite to replace it");
  }
  if (!settings::SaveChartType(store, record, name)) return kExitFailed;  // the store said why
  return PrintText("stored chart type " + name + "\n");
}

int DeleteChartType(platform::JsonFileKeyValueStore& store, const std::string& name) {
  const std::vector<std::string> stored = settings::ListChartTypes(store);
  const auto found = std::find_if(stored.begin(), stored.end(), [&](const std::string& s) { return SameIgnoringCase(s, name); });
  if (found == stored.end()) {
    return Fail(settings::IsBuiltInChartType(name) ? "'" + name + "' is a built-in chart type and is not stored"
                                                   : "there is no stored chart type '" + name + "'");
  }
  if (!settings::DeleteChartType(store, *found)) return kExitFailed;
  return PrintText("deleted chart type " + *found + "\n");
}

// Stores the conversion memory budget (0: the default share of the machine's
// memory); in whole MiB, as the store keeps it.
int StoreMaxMemory(platform::JsonFileKeyValueStore& store, const std::string& text) {
  uint64_t mebibytes = 0;
  if (text != "0") {
    const auto bytes = ParseMemorySize(text);
    if (!bytes || (*bytes >> 20) > UINT32_MAX) {
      return UsageError("params: --max-memory: not a size: " + text + " (e.g. 800M or 2G, 0 for the default)");
    }
    mebibytes = *bytes >> 20;
  }
  if (!settings::SaveMaxMemory(store, static_cast<uint32_t>(mebibytes))) return kExitFailed;  // the store said why
  return PrintText(mebibytes == 0 ? std::string("stored MaxMemory 0 (half the machine's memory)\n")
                                  : "stored MaxMemory " + std::to_string(mebibytes) + "M\n");
}

int RunParams(const ParamsArgs& args) {
  // Chart types and series are looked up in the settings even with
  // --defaults; only the stored current parameters are skipped.
  platform::JsonFileKeyValueStore store(platform::SettingsFilePath());
  if (args.listNames) {
    std::string text;
    for (const std::string& name : settings::ChartTypeChoices(store)) text += name + "\n";
    return PrintText(text);
  }
  if (!args.deleteName.empty()) return DeleteChartType(store, args.deleteName);
  if (!args.maxMemory.empty()) return StoreMaxMemory(store, args.maxMemory);

  settings::TraceOption record;
  if (auto problem = BuildRecord(args.parameters, store, record)) {
    return problem->usage ? UsageError(problem->text) : Fail(problem->text);
  }
  if (!args.saveName.empty()) return SaveChartType(store, record, args);
  // A stored budget is no trace parameter (no job key): it closes the
  // summary and stays out of the job-file lines below the blank one.
  const uint32_t budget = settings::LoadMaxMemory(store);
  const std::string memory = budget == 0 ? std::string() : "Memory budget = " + std::to_string(budget) + "M\n";
  return PrintText(record.SummaryText() + memory + "\n" + record.JobText());
}

CommandRun SetupParams(CLI::App& command) {
  auto args = std::make_shared<ParamsArgs>();
  AddParameterOptions(command, args->parameters, false);
  const std::string group = "Chart types";
  CLI::Option* save = command
                          .add_option("--save-chart-type", args->saveName,
                                      "Store the resulting centre-line values as the chart type NAME instead of "
                                      "printing them")
                          ->type_name("NAME")
                          ->group(group);
  command.add_flag("--overwrite", args->overwrite, "Let --save-chart-type replace a chart type of that name")
      ->group(group);
  CLI::Option* remove = command.add_option("--delete-chart-type", args->deleteName, "Delete the stored chart type NAME")
                            ->type_name("NAME")
                            ->group(group);
  CLI::Option* list = command.add_flag("--list-chart-types", args->listNames,
                                       "List the chart types (stored ones first, then the built-in ones)")
                          ->group(group);
  CLI::Option* memory =
      command
          .add_option("--max-memory", args->maxMemory,
                      "Store SIZE (M or G) as the memory budget of every conversion (MaxMemory); 0 goes back to "
                      "half the machine's memory. trace --max-memory overrides it for one run")
          ->type_name("SIZE");
  save->excludes(remove)->excludes(list)->excludes(memory);
  remove->excludes(list)->excludes(memory);
  list->excludes(memory);
  command.footer(
      "Without a chart type action or --max-memory, prints the parameter summary, a blank line and the job-file "
      "text.");
  return [args] { return RunParams(*args); };
}

const Registration kParams({"params", "Print the trace parameters; store, delete or list chart types", 60,
                            SetupParams});

}  // namespace
}  // namespace quillon::cli
