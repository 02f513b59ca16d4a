// Reads arbitrary text as a job file section into trace parameters and checks
// that every value lands in its valid range and that the job text the record
// writes reads back to a stable text.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/key_value_store.h"
#include "platform/profile_file.h"
#include "settings/option_store.h"
#include "settings/trace_option.h"

using namespace quillon;

namespace {

const platform::KeyValueStore& Store() {
  static platform::MemoryKeyValueStore* store = [] {
    auto* s = new platform::MemoryKeyValueStore;  // lives for the whole run
    settings::TraceOption chart;
    chart.d_MaxDis = 0.5;
    chart.b_ForceOrtho = false;
    chart.s_WidthSeries.LoadDefault();
    (void)settings::SaveChartType(*s, chart, "Mine");
    settings::WidthSeries widths;
    widths.SetName("Thin");
    widths.Insert(0.1);
    widths.Insert(0.2);
    (void)widths.Save(*s);
    settings::AngleSeries angles;
    angles.LoadOrtho();
    angles.SetName("Square");
    (void)angles.Save(*s);
    return s;
  }();
  return *store;
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

void CheckRecord(const settings::TraceOption& r) {
  using settings::FillType;
  const auto method = static_cast<int32_t>(r.i_AutoTraceWhat);
  Check(method >= 1 && method <= 3);
  Check(std::isfinite(r.d_MaxDis) && r.d_MaxDis >= 0);
  Check(std::isfinite(r.Outline.d_MaxDis) && r.Outline.d_MaxDis >= 0);
  Check(std::isfinite(r.Outline.d_FillSpace) && r.Outline.d_FillSpace > 0);
  Check(std::isfinite(r.FillPattern.d_FillSpace) && r.FillPattern.d_FillSpace > 0);
  Check(static_cast<uint32_t>(r.Outline.i_FillType) <= 3);
  Check(static_cast<uint32_t>(r.FillPattern.i_FillType) <= 2);
  Check(r.i_ConDis > 0 && r.i_DelLine_Length > 0);
  Check(!r.ModalName.empty());
  const auto& widths = r.s_WidthSeries.widths();
  for (size_t i = 1; i < widths.size(); ++i) Check(widths[i] > widths[i - 1]);
  Check(!r.s_AngleSeries.empty());
}

settings::TraceOption ReadText(const std::string& text) {
  platform::ProfileFile file;
  file.parse("[Job0]\n" + text);
  settings::TraceOption r;
  r.ReadJobSection(file, "Job0", Store());
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  platform::ProfileFile file;
  file.parse(input);
  settings::TraceOption r;
  r.ReadJobSection(file, "Job0", Store());
  CheckRecord(r);
  (void)r.SummaryText();

  // One pass through the written text normalises the numbers; after that the
  // text must reproduce itself.
  const settings::TraceOption once = ReadText(r.JobText());
  CheckRecord(once);
  const std::string text = once.JobText();
  Check(ReadText(text).JobText() == text);
  return 0;
}
