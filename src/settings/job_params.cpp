#include "settings/job_params.h"

#include "platform/key_value_store.h"
#include "platform/profile_file.h"
#include "settings/option_store.h"

namespace quillon::settings {

namespace {

constexpr std::string_view kSection = "Job";

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

const std::vector<std::string_view>& JobParameterKeys() {
  static const std::vector<std::string_view> keys = {
      "AutoGray", "Gray",   "Method",      "Chart",  "Straighten", "Circle", "Width", "WidthSeries", "Connect",
      "distance", "Force", "AngleSeries", "Delete", "Length",     "Refine", "Fill",  "Type",  "Space"};
  return keys;
}

Status ApplyJobParameters(TraceOption& record, const std::vector<std::string>& pairs,
                          const platform::KeyValueStore& store) {
  if (pairs.empty()) return Status::Ok();
  std::vector<std::pair<std::string, std::string>> overrides;
  TraceOption work = record;
  for (const auto& pair : pairs) {
    const size_t eq = pair.find('=');
    if (eq == std::string::npos) return Status::Fail("expected KEY=VALUE, got '" + pair + "'");
    const std::string key(TrimBlanks(std::string_view(pair).substr(0, eq)));
    const std::string value(TrimBlanks(std::string_view(pair).substr(eq + 1)));
    bool known = false;
    for (auto k : JobParameterKeys()) known = known || platform::EqualsIgnoreCase(k, key);
    if (!known) return Status::Fail("unknown parameter key '" + key + "'");
    if (platform::EqualsIgnoreCase(key, "Method")) {
      if (platform::EqualsIgnoreCase(value, "Center"))
        work.i_AutoTraceWhat = TraceMethod::CenterLine;
      else if (platform::EqualsIgnoreCase(value, "Outline"))
        work.i_AutoTraceWhat = TraceMethod::Outline;
      else if (platform::EqualsIgnoreCase(value, "FillPattern"))
        work.i_AutoTraceWhat = TraceMethod::FillPattern;
      else
        return Status::Fail("unknown Method '" + value + "' (Center, Outline or FillPattern)");
    }
    overrides.emplace_back(key, value);
  }

  // The job text of the method that was asked for, with the pairs merged in.
  platform::ProfileFile merged;
  merged.parse("[" + std::string(kSection) + "]\n" + work.JobText());
  for (const auto& [key, value] : overrides) merged.setString(kSection, key, value);
  work.ReadJobSection(merged, kSection, store);
  record = std::move(work);
  return Status::Ok();
}

Status ApplyChartTypeByName(TraceOption& record, std::string_view name, const platform::KeyValueStore& store) {
  TraceOption work = record;
  if (!LoadChartType(store, work, name)) return Status::Fail("unknown chart type '" + std::string(name) + "'");
  record = std::move(work);
  return Status::Ok();
}

}  // namespace quillon::settings
