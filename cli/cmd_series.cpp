// quillon series width|angle list|show|add|delete: the width and angle
// series of the preference pages, from the command line. A series is written
// with the pages' rules: names that cannot be stored are refused, a listed
// name is only replaced with --overwrite (the pages ask), the built-in
// "Default" (and the angle series "Ortho series") cannot be deleted, and
// deleting the series the stored parameters use resets them as the pages do.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "command.h"
#include "platform/key_value_store.h"
#include "platform/paths.h"
#include "settings/angle_series.h"
#include "settings/number_text.h"
#include "settings/option_store.h"
#include "settings/trace_option.h"
#include "settings/width_series.h"

namespace quillon::cli {
namespace {

struct SeriesArgs {
  std::string name;
  std::vector<std::string> values;
  std::string unit = "mm";
  std::string beyond = "equal";
  bool overwrite = false;
  // The action that parsed, "width list", "angle add", ...
  CLI::App* width = nullptr;
  CLI::App* angle = nullptr;
};

int Print(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    return Fail("cannot write to standard output");
  }
  return kExitOk;
}

std::string Fixed(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

bool Listed(const std::vector<std::string>& names, const std::string& name) {
  return settings::ChartTypeNameListed(names, name);  // the same name dialog as for chart types
}

std::optional<std::string> NameProblem(const std::string& name, const std::vector<std::string>& listed,
                                       bool overwrite, const char* kind) {
  if (!settings::IsStorableSeriesName(name)) return std::string("a series name must not be empty or contain '\\'");
  if (Listed(listed, name) && !overwrite) {
    return std::string("the ") + kind + " series '" + name + "' already exists; add --overwrite to replace it";
  }
  return std::nullopt;
}

int32_t WidthUnit(const std::string& unit) {
  if (unit == "in") return settings::WidthSeries::kUnitInch;
  if (unit == "cm") return settings::WidthSeries::kUnitCm;
  if (unit == "px") return settings::WidthSeries::kUnitPixel;
  return settings::WidthSeries::kUnitMm;
}

int32_t BeyondMode(const std::string& beyond) {
  if (beyond == "shrink") return settings::WidthSeries::kMoreWidthShrink;
  if (beyond == "keep") return settings::WidthSeries::kMoreWidthKeep;
  return settings::WidthSeries::kMoreWidthEqual;
}

int RunWidth(const SeriesArgs& args, const std::string& action, platform::JsonFileKeyValueStore& store) {
  using settings::WidthSeries;
  if (action == "list") {
    std::string text;
    for (const std::string& name : WidthSeries::List(store)) text += name + "\n";
    return Print(text);
  }
  if (action == "show") {
    WidthSeries series;
    if (!series.Load(store, args.name)) return Fail("there is no width series '" + args.name + "'");
    std::string widths;
    for (double w : series.widths()) widths += (widths.empty() ? "" : " ") + Fixed(w, 3);
    return Print("name: " + series.name() + "\nunit: " + settings::WidthUnitName(series.unit()) +
                 "\nbeyond: " + settings::MoreWidthModeName(series.moreWidthMode()) + "\nwidths: " + widths + "\n");
  }
  if (action == "add") {
    if (auto problem = NameProblem(args.name, WidthSeries::List(store), args.overwrite, "width")) return Fail(*problem);
    std::vector<std::optional<double>> widths;
    for (const std::string& text : args.values) {
      std::optional<double> value = settings::ParseNumber(text);
      if (!value || *value < 0) return UsageError("series: invalid width '" + text + "' (a number, 0 or more)");
      widths.push_back(value);
    }
    const WidthSeries series = settings::BuildWidthSeries(args.name, WidthUnit(args.unit), BeyondMode(args.beyond), widths);
    if (!series.Save(store) || !store.flush()) {
      settings::ReportWriteFailure();
      return kExitFailed;
    }
    return Print("stored width series " + args.name + " (" + std::to_string(series.count()) + " widths)\n");
  }
  // delete
  if (!settings::CanDeleteWidthSeries(args.name)) return Fail("the width series '" + args.name + "' is built in");
  if (!WidthSeries::Exists(store, args.name)) return Fail("there is no width series '" + args.name + "'");
  settings::TraceOption current;
  settings::LoadOptions(store, current);
  const bool inUse = current.s_WidthSeries.name() == args.name;
  if (!settings::DeleteWidthSeriesInUse(store, args.name, current.s_WidthSeries)) return kExitFailed;
  if (inUse && !settings::SaveOptions(store, current)) return kExitFailed;
  return Print("deleted width series " + args.name + "\n");
}

int RunAngle(const SeriesArgs& args, const std::string& action, platform::JsonFileKeyValueStore& store) {
  using settings::AngleSeries;
  if (action == "list") {
    std::string text;
    for (const std::string& name : AngleSeries::List(store)) text += name + "\n";
    return Print(text);
  }
  if (action == "show") {
    AngleSeries series;
    if (!series.Load(store, args.name)) return Fail("there is no angle series '" + args.name + "'");
    std::string text = "name: " + series.name() + "\n";
    for (const settings::AngleEntry& e : series.entries()) {
      text += Fixed(settings::RadiansToDegrees(e.mainAngle), 3) + "," + Fixed(settings::RadiansToDegrees(e.minAngle), 3) +
              "," + Fixed(settings::RadiansToDegrees(e.maxAngle), 3) + "\n";
    }
    return Print(text);
  }
  if (action == "add") {
    if (auto problem = NameProblem(args.name, AngleSeries::List(store), args.overwrite, "angle")) return Fail(*problem);
    AngleSeries series;
    series.SetName(args.name);
    for (const std::string& text : args.values) {
      const size_t a = text.find(','), b = a == std::string::npos ? a : text.find(',', a + 1);
      if (b == std::string::npos) return UsageError("series: invalid angle entry '" + text + "' (MAIN,MIN,MAX in degrees)");
      const settings::AngleEntryCheck check =
          settings::CheckAngleEntry(settings::ParseNumber(text.substr(0, a)), settings::ParseNumber(text.substr(b + 1)),
                                    settings::ParseNumber(text.substr(a + 1, b - a - 1)));
      if (!check.ok) return UsageError("series: angle entry '" + text + "': " + check.message);
      if (!series.Insert(check.entry)) return Fail("angle entry '" + text + "': " + settings::AngleAddFailText());
    }
    if (!series.Save(store) || !store.flush()) {
      settings::ReportWriteFailure();
      return kExitFailed;
    }
    return Print("stored angle series " + args.name + " (" + std::to_string(series.count()) + " entries)\n");
  }
  if (!settings::CanDeleteAngleSeries(args.name)) return Fail("the angle series '" + args.name + "' is built in");
  if (!AngleSeries::Exists(store, args.name)) return Fail("there is no angle series '" + args.name + "'");
  settings::TraceOption current;
  settings::LoadOptions(store, current);
  const bool inUse = current.s_AngleSeries.name() == args.name;
  if (!settings::DeleteAngleSeriesInUse(store, args.name, current.s_AngleSeries)) return kExitFailed;
  if (inUse && !settings::SaveOptions(store, current)) return kExitFailed;
  return Print("deleted angle series " + args.name + "\n");
}

// Adds list, show, add and delete below one series kind.
void AddActions(CLI::App& kind, SeriesArgs& args, bool width) {
  kind.require_subcommand(1);
  kind.add_subcommand("list", "List the series names (stored ones first, then the built-in ones)");
  kind.add_subcommand("show", "Print a series")->add_option("NAME", args.name, "The series")->required()->type_name("");
  CLI::App* add = kind.add_subcommand("add", width ? "Store a width series (replaces one of that name with --overwrite)"
                                                   : "Store an angle series (replaces one of that name with --overwrite)");
  add->add_option("NAME", args.name, "The series name")->required()->type_name("");
  add->add_option("VALUES", args.values,
                  width ? "The widths, in the series' unit" : "The entries MAIN,MIN,MAX in degrees (0..180), each "
                                                              "capturing the directions MIN..MAX onto MAIN")
      ->required()
      ->type_name("");
  add->add_flag("--overwrite", args.overwrite, "Replace a series of that name");
  if (width) {
    add->add_option("--unit", args.unit, "Unit of the widths: mm (default), cm, in or px")
        ->type_name("UNIT")
        ->check(CLI::IsMember({"mm", "cm", "in", "px"}));
    add->add_option("--beyond", args.beyond,
                    "Widths beyond the largest entry: equal (further entries in equal steps, default), shrink (to "
                    "the largest) or keep")
        ->type_name("MODE")
        ->check(CLI::IsMember({"equal", "shrink", "keep"}));
  }
  kind.add_subcommand("delete", "Delete a stored series")->add_option("NAME", args.name, "The series")->required()->type_name("");
}

CommandRun SetupSeries(CLI::App& command) {
  auto args = std::make_shared<SeriesArgs>();
  command.require_subcommand(1);
  args->width = command.add_subcommand("width", "Width series: the preferred line widths the width step rounds to");
  args->angle = command.add_subcommand("angle", "Angle series: the preferred directions the angle step turns lines onto");
  AddActions(*args->width, *args, true);
  AddActions(*args->angle, *args, false);
  return [args]() -> int {
    platform::JsonFileKeyValueStore store(platform::SettingsFilePath());
    const bool width = args->width->parsed();
    CLI::App* kind = width ? args->width : args->angle;
    for (const char* action : {"list", "show", "add", "delete"}) {
      if (kind->get_subcommand(action)->parsed()) {
        return width ? RunWidth(*args, action, store) : RunAngle(*args, action, store);
      }
    }
    return UsageError("series: name an action (list, show, add, delete)");
  };
}

const Registration kSeries({"series", "List, show, store and delete width and angle series", 70, SetupSeries});

}  // namespace
}  // namespace quillon::cli
