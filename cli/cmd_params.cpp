#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "platform/key_value_store.h"
#include "platform/paths.h"
#include "settings/job_params.h"
#include "settings/option_store.h"
#include "settings/trace_option.h"

namespace quillon::cli {
namespace {

// Takes the value of "--name VALUE" or "--name=VALUE"; false when args[i] is not that option.
bool OptionValue(const std::vector<std::string>& args, size_t& i, const std::string& name, std::string& value,
                 bool& missing) {
  const std::string& a = args[i];
  if (a == name) {
    if (i + 1 >= args.size()) {
      missing = true;
      return true;
    }
    value = args[++i];
    return true;
  }
  if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '=') {
    value = a.substr(name.size() + 1);
    return true;
  }
  return false;
}

int RunParams(const std::vector<std::string>& args) {
  bool defaults = false;
  std::string chartType;
  bool haveChartType = false;
  std::vector<std::string> pairs;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string value;
    bool missing = false;
    if (args[i] == "-h" || args[i] == "--help") {
      std::printf("usage: quillon params [--chart-type NAME] [--set KEY=VALUE]... [--defaults]\n"
                  "Prints the trace parameter summary, a blank line and the job-file text.\n"
                  "  --chart-type NAME  load a stored or built-in chart type first\n"
                  "  --set KEY=VALUE    override a job-file key (Method, Chart, Straighten, Connect, distance, ...)\n"
                  "  --defaults         start from the built-in parameters, not the stored settings\n");
      return kExitOk;
    }
    if (args[i] == "--defaults") {
      defaults = true;
    } else if (OptionValue(args, i, "--chart-type", value, missing)) {
      if (missing) return UsageError("--chart-type needs a name");
      chartType = value;
      haveChartType = true;
    } else if (OptionValue(args, i, "--set", value, missing)) {
      if (missing) return UsageError("--set needs KEY=VALUE");
      pairs.push_back(value);
    } else {
      return UsageError("params: unknown argument '" + args[i] + "' (usage: quillon params [--chart-type NAME] "
                        "[--set KEY=VALUE]... [--defaults])");
    }
  }

  // Chart types and series are looked up in the settings even with
  // --defaults; only the stored current parameters are skipped.
  platform::JsonFileKeyValueStore store(platform::SettingsFilePath());
  settings::TraceOption record;
  if (!defaults) settings::LoadOptions(store, record);
  if (haveChartType) {
    if (Status s = settings::ApplyChartTypeByName(record, chartType, store); !s) {
      std::fprintf(stderr, "quillon: %s\n", s.message().c_str());
      return kExitFailed;
    }
  }
  if (Status s = settings::ApplyJobParameters(record, pairs, store); !s) return UsageError(s.message());

  const std::string text = record.SummaryText() + "\n" + record.JobText();
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "quillon: cannot write the parameters to standard output\n");
    return kExitFailed;
  }
  return kExitOk;
}

const Registration kParams({"params",
                            "params [--chart-type NAME] [--set KEY=VALUE]... [--defaults]  print the trace parameters",
                            RunParams});

}  // namespace
}  // namespace quillon::cli
