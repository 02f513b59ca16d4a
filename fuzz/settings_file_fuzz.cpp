// Reads arbitrary bytes as the settings file and loads everything the program
// reads at start-up from it: nothing may crash or report, every value must
// land in its valid range, and saving then loading again must give the same
// record.

#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "settings/option_store.h"
#include "settings/trace_option.h"

using namespace quillon;

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

std::string& Directory() {
  static std::string directory;
  return directory;
}

void RemoveDirectory() { std::filesystem::remove_all(Directory()); }

const std::string& SettingsPath() {
  static const std::string path = [] {
    char pattern[] = "/tmp/quillon-settings-fuzz-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) std::abort();
    Directory() = pattern;
    std::atexit(RemoveDirectory);
    return Directory() + "/settings.json";
  }();
  return path;
}

// Loading must never talk to the user.
class TrapSink final : public platform::MessageSink {
 public:
  // A damaged file is reported as a warning; anything else is a fault.
  bool show(std::string_view, platform::MessageKind kind) override {
    if (kind != platform::MessageKind::Warning) __builtin_trap();
    return false;
  }
};

void CheckRecord(const settings::TraceOption& r) {
  const auto method = static_cast<int32_t>(r.i_AutoTraceWhat);
  Check(method >= 1 && method <= 3);
  Check(std::isfinite(r.d_MaxDis) && r.d_MaxDis >= 0);
  Check(std::isfinite(r.Outline.d_MaxDis) && r.Outline.d_MaxDis >= 0);
  Check(r.Outline.d_FillSpace > 0 && r.FillPattern.d_FillSpace > 0);
  Check(static_cast<uint32_t>(r.Outline.i_FillType) <= 3);
  Check(static_cast<uint32_t>(r.FillPattern.i_FillType) <= 2);
  Check(r.GridPointType >= 0 && r.GridPointType <= 2);
  Check(r.i_VectorFileFormat >= 1 && r.i_VectorFileFormat <= 9);
  Check(r.i_ConDis > 0 && r.i_DelLine_Length > 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TrapSink sink;
  static platform::ScopedMessageSink installed(sink);
  const std::string& path = SettingsPath();
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }

  platform::JsonFileKeyValueStore store(path);
  settings::TraceOption r;
  settings::LoadOptions(store, r);
  CheckRecord(r);
  for (const auto& name : settings::ListChartTypes(store)) {
    settings::TraceOption chart;
    Check(settings::LoadChartType(store, chart, name));
    CheckRecord(chart);
  }
  (void)settings::LoadRecentFiles(store, settings::kFileListKey);
  (void)settings::LoadUndoSteps(store);
  (void)settings::LoadSaveGraphicsSize(store);
  (void)settings::LoadBatchWindowSettings(store);

  // The saved record loads back unchanged.
  Check(settings::SaveOptions(store, r));
  settings::TraceOption again;
  settings::LoadOptions(store, again);
  // Unit and mode of a series without widths are never used and need not survive.
  const auto& w1 = r.s_WidthSeries;
  const auto& w2 = again.s_WidthSeries;
  Check(w1.name() == w2.name() && w1.widths() == w2.widths());
  Check(w1.empty() || (w1.unit() == w2.unit() && w1.moreWidthMode() == w2.moreWidthMode()));
  again.s_WidthSeries = r.s_WidthSeries;
  Check(again == r);
  // Saving moves a damaged file aside; do not let those pile up.
  Check(store.flush());
  if (!store.keptAsidePath().empty()) std::remove(store.keptAsidePath().c_str());
  return 0;
}
