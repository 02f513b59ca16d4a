// quillon trace INPUT [-o OUTPUT] [options]: traces one raster file (every
// page of a multi-page file) and saves the vectors, the pipeline of one batch
// conversion without a window.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "batch/convert.h"
#include "command.h"
#include "options_common.h"
#include "formats/format_table.h"
#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "platform/paths.h"
#include "raster/smart_threshold.h"
#include "settings/language_table.h"
#include "settings/job_params.h"
#include "settings/option_store.h"
#include "settings/trace_option.h"
#include "trace/progress_model.h"
#include "trace/trace_worker.h"

namespace quillon::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: quillon trace INPUT [-o OUTPUT] [-f FORMAT] [-m METHOD] [--threshold N|auto|dynamic[:BOX,RATIO]] [--fill-holes N] "
    "[--chart-type NAME] [--set KEY=VALUE]... [--no-width] [--size W,H,UNIT] [--defaults] [-q]";

struct TraceArgs {
  std::string input;
  OutputOptions out;
  std::string method;
  std::string threshold;
  std::string fillHoles;
  std::optional<std::string> chartType;
  std::vector<std::string> pairs;
  bool defaults = false;
  bool quiet = false;
};

// Parses the arguments; an error text (for UsageError) on bad usage.
std::optional<std::string> Parse(const std::vector<std::string>& args, TraceArgs& out) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string value;
    bool missing = false;
    auto need = [&](const char* what) { return std::string(a) + " needs " + what; };
    std::string error;
    OptionTaken taken = TakeOutputOption(args, i, out.out, error);
    if (taken == OptionTaken::Error) return error;
    if (taken == OptionTaken::Yes) continue;
    if (a == "--defaults") {
      out.defaults = true;
    } else if (a == "-q" || a == "--quiet") {
      out.quiet = true;
    } else if (TakeValue(args, i, "-m", "--method", value, missing)) {
      if (missing) return need("a method");
      out.method = value;
    } else if (TakeValue(args, i, "", "--threshold", value, missing)) {
      if (missing) return need("a level 0..255, auto or dynamic[:BOX,RATIO]");
      out.threshold = value;
    } else if (TakeValue(args, i, "", "--fill-holes", value, missing)) {
      if (missing) return need("a hole size 1..10");
      out.fillHoles = value;
    } else if (TakeValue(args, i, "", "--chart-type", value, missing)) {
      if (missing) return need("a name");
      out.chartType = value;
    } else if (TakeValue(args, i, "", "--set", value, missing)) {
      if (missing) return need("KEY=VALUE");
      out.pairs.push_back(value);
    } else if (a.size() > 1 && a[0] == '-') {
      return "trace: unknown option '" + a + "' (" + kUsage + ")";
    } else if (out.input.empty()) {
      out.input = a;
    } else {
      return "trace: more than one input file ('" + out.input + "', '" + a + "')";
    }
  }
  if (out.input.empty()) return std::string("trace: no input file (") + kUsage + ")";
  return std::nullopt;
}

// "N" (0..255) or "auto".
bool ParseThreshold(const std::string& text, settings::TraceOption& record) {
  if (text == "auto") {
    record.b_AutoGray = true;
    return true;
  }
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  int level = std::stoi(text);
  if (level > 255) return false;
  record.b_AutoGray = false;
  record.i_Gray = static_cast<uint8_t>(level);
  return true;
}

// The raster clean-up that runs before the threshold: the dynamic threshold
// and the hole filling of the desktop program's raster menu.
struct RasterPreparation {
  bool dynamic = false;
  int box = raster::kSmartBoxDefault;
  float ratio = raster::kSmartRatioDefault;
  int holeSize = 0;  // 0: no hole filling
};

// "dynamic" or "dynamic:BOX,RATIO" (box 50..200 pixels, ratio 0.20..8.00).
// False when the text is not of that form; an error text when it is but a
// value lies out of range.
bool ParseDynamicThreshold(const std::string& text, RasterPreparation& prep, std::string& error) {
  const std::string word = "dynamic";
  if (text.compare(0, word.size(), word) != 0) return false;
  prep.dynamic = true;
  if (text.size() == word.size()) return true;
  int box = 0;
  double ratio = 0.0;
  char tail = 0;
  if (text[word.size()] != ':' || std::sscanf(text.c_str() + word.size() + 1, "%d,%lf%c", &box, &ratio, &tail) != 2) {
    error = "invalid dynamic threshold '" + text + "' (dynamic or dynamic:BOX,RATIO, e.g. dynamic:200,0.65)";
    return true;
  }
  if (box < raster::kSmartBoxMin || box > raster::kSmartBoxMax) {
    error = "dynamic threshold box size " + std::to_string(box) + " is out of range (50..200 pixels)";
    return true;
  }
  if (!(ratio >= raster::kSmartRatioMin - 1e-9 && ratio <= raster::kSmartRatioMax + 1e-9)) {
    error = "dynamic threshold contrast ratio " + text.substr(text.find(',') + 1) + " is out of range (0.20..8.00)";
    return true;
  }
  prep.box = box;
  prep.ratio = static_cast<float>(ratio);
  return true;
}

// The hole size of --fill-holes: 1..10, larger sizes cut to 10.
std::optional<std::string> ParseHoleSize(const std::string& text, RasterPreparation& prep) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
    return "invalid hole size '" + text + "' (a number 1..10)";
  }
  const int size = std::stoi(text);
  if (size <= 0) return settings::Text("RasterHolesSizeMsg", "Holes size must > 0");
  prep.holeSize = std::min(size, raster::kHoleSizeMax);
  return std::nullopt;
}

// Keeps the first error the raster loader reports, so a failed run prints
// one clear line; warnings (libtiff's unknown tags and the like) are dropped.
class FirstErrorSink final : public platform::MessageSink {
 public:
  bool show(std::string_view text, platform::MessageKind kind) override {
    if (kind == platform::MessageKind::Error && first_.empty()) first_ = text;
    return kind != platform::MessageKind::Question;
  }
  const std::string& first() const { return first_; }

 private:
  std::string first_;
};

// The process's peak resident size so far (VmHWM), 0 when unknown.
long PeakMiB() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return 0;
  char line[256];
  long kib = 0;
  while (std::fgets(line, sizeof line, status)) {
    if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
  }
  std::fclose(status);
  return kib / 1024;
}

// Progress bar on stderr, the written files on stdout, stage times on
// request (QUILLON_STAGE_TIMES=1 prints each stage's seconds to stderr).
class CliObserver final : public batch::ConvertObserver {
 public:
  CliObserver(bool bar, bool quiet, int stageTotal, bool stageTimes)
      : bar_(bar), quiet_(quiet), model_(stageTotal), stageTimes_(stageTimes) {
    Mark("load and threshold");
  }
  ~CliObserver() override { ClearBar(); }

  void Advance(int units) override {
    units_ += units;
    inTrace_ = false;
    Draw();
  }
  void TraceStageBegin(std::string_view text) override {
    inTrace_ = true;
    Mark(std::string(text));
    model_.stageBegin(text);
    Draw();
  }
  void TraceProgress(int value) override {
    model_.progress(value);
    Draw();
  }
  void TraceStageEnd() override {
    model_.stageEnd();
    Mark("(between stages)");
    Draw();
  }
  void SaveStarted(const std::string&) override { Mark("save"); }
  void PageDone(const std::string& sourcePage, const std::string& targetPage, int status) override {
    if (status != batch::kStatusConverted) {
      failedPages_ = true;
      Error(sourcePage + ": " + (detail_.empty() ? batch::StatusReasonText(status) : detail_));
    }
    (void)targetPage;
    detail_.clear();
  }
  void FailureDetail(std::string_view message) override {
    if (detail_.empty()) detail_ = message;
  }
  void Saved(const std::string& target, long entities) override {
    Mark("saved");
    ClearBar();
    if (!quiet_) std::printf("wrote %s (%ld entities)\n", target.c_str(), entities);
    std::fflush(stdout);
  }

  void Error(const std::string& text) {
    ClearBar();
    std::fprintf(stderr, "quillon: %s\n", text.c_str());
  }
  const std::string& detail() const { return detail_; }
  bool failedPages() const { return failedPages_; }

  // Times the stage that just ended, when asked to.
  void Mark(const std::string& next) {
    auto now = std::chrono::steady_clock::now();
    if (stageTimes_ && !label_.empty()) {
      ClearBar();
      std::fprintf(stderr, "stage %-28s %8.3f s  peak %6ld MiB\n", label_.c_str(),
                   std::chrono::duration<double>(now - since_).count(), PeakMiB());
    }
    label_ = next;
    since_ = now;
  }

 private:
  void Draw() {
    if (!bar_) return;
    int percent = units_;
    if (inTrace_ && model_.stageTotal() > 0 && model_.barMaximum() > 0) {
      // The trace's 80 units, spread over its stages.
      double within = (model_.stageNumber() - 1 + double(model_.barPosition()) / model_.barMaximum()) /
                      model_.stageTotal();
      percent += static_cast<int>(80 * std::min(1.0, std::max(0.0, within)));
    }
    percent = std::min(100, percent);
    const std::string& label = model_.label();
    if (percent == shownPercent_ && label == shownLabel_) return;
    shownPercent_ = percent;
    shownLabel_ = label;
    const int filled = percent * 30 / 100;
    std::fprintf(stderr, "\r%-32.32s [%s%s] %3d%%", label.c_str(), std::string(filled, '#').c_str(),
                 std::string(30 - filled, ' ').c_str(), percent);
    std::fflush(stderr);
    drawn_ = true;
  }
  void ClearBar() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r%72s\r", "");
    std::fflush(stderr);
    drawn_ = false;
    shownPercent_ = -1;
  }

  bool bar_;
  bool quiet_;
  trace::TraceProgressModel model_;
  bool stageTimes_;
  int units_ = 0;
  bool inTrace_ = false;
  int shownPercent_ = -1;
  std::string shownLabel_;
  bool drawn_ = false;
  std::string detail_;
  bool failedPages_ = false;
  std::string label_;
  std::chrono::steady_clock::time_point since_;
};

int Fail(const std::string& text) {
  std::fprintf(stderr, "quillon: %s\n", text.c_str());
  return kExitFailed;
}

int RunTrace(const std::vector<std::string>& argv) {
  TraceArgs args;
  if (auto problem = Parse(argv, args)) return UsageError(*problem);

  std::string error;
  const formats::OutputFormat* format = ChooseFormat(args.out, error);
  if (!format) return UsageError(error);
  if (!formats::WriterForIndex(format->index)) {
    return Fail(std::string(format->cliName) + " output is not available yet");
  }
  const std::string output = args.out.output.empty()
                                 ? fs::path(args.input).replace_extension(format->extension).string()
                                 : args.out.output;

  // Parameters: the stored ones (or the built-in ones), then the chart type,
  // the --set pairs and the explicit options, in that order.
  platform::JsonFileKeyValueStore store(platform::SettingsFilePath());
  batch::ConvertJob job;
  if (!args.defaults) settings::LoadOptions(store, job.record);
  if (args.chartType) {
    if (Status s = settings::ApplyChartTypeByName(job.record, *args.chartType, store); !s) return UsageError(s.message());
  }
  if (Status s = settings::ApplyJobParameters(job.record, args.pairs, store); !s) return UsageError(s.message());
  if (!args.method.empty()) {
    if (args.method == "centreline" || args.method == "centerline") job.record.i_AutoTraceWhat = settings::TraceMethod::CenterLine;
    else if (args.method == "outline") job.record.i_AutoTraceWhat = settings::TraceMethod::Outline;
    else if (args.method == "fill") job.record.i_AutoTraceWhat = settings::TraceMethod::FillPattern;
    else return UsageError("unknown method '" + args.method + "' (centreline, outline, fill)");
  }
  RasterPreparation prep;
  std::string dynamicError;
  if (ParseDynamicThreshold(args.threshold, prep, dynamicError)) {
    if (!dynamicError.empty()) return UsageError(dynamicError);
  } else if (!args.threshold.empty() && !ParseThreshold(args.threshold, job.record)) {
    return UsageError("invalid threshold '" + args.threshold + "' (a level 0..255, auto or dynamic[:BOX,RATIO])");
  }
  if (!args.fillHoles.empty()) {
    if (auto problem = ParseHoleSize(args.fillHoles, prep)) return UsageError(*problem);
  }
  job.destination = args.out.size;
  const auto hooks = trace::DefaultTraceStageHooks();
  if ((job.record.i_AutoTraceWhat == settings::TraceMethod::Outline && !hooks.outline) ||
      (job.record.i_AutoTraceWhat == settings::TraceMethod::FillPattern && !hooks.fillPattern)) {
    return Fail(std::string("the ") + (job.record.i_AutoTraceWhat == settings::TraceMethod::Outline ? "outline" : "fill") +
                " method is not available yet");
  }
  job.targetPosition = format->index - 1;
  job.saveWidth = !args.out.noWidth;

  // Refuse what cannot succeed before the trace runs.
  std::error_code ec;
  if (!fs::exists(args.input, ec)) return Fail("Cannot read raster file " + args.input + ": no such file");
  if (fs::is_directory(args.input, ec)) return Fail("Cannot read raster file " + args.input + ": it is a directory");
  if (auto problem = OutputProblem(output, args.input)) return Fail(*problem);

  const char* times = std::getenv("QUILLON_STAGE_TIMES");
  CliObserver observer(!args.quiet && ::isatty(2), args.quiet, trace::StageTotal(job.record),
                       times && *times && std::string(times) != "0");
  if (prep.dynamic || prep.holeSize > 0) {
    const settings::TraceOption record = job.record;
    job.prepareRaster = [prep, record, &observer](raster::CRaster& image) {
      if (prep.dynamic) {
        observer.Mark("dynamic threshold");
        if (!raster::SmartThreshold(image, prep.box, prep.ratio)) return false;
      }
      if (prep.holeSize > 0) {
        if (image.bitCount() != 1) {
          const int threshold = record.b_AutoGray ? image.automaticThreshold() : record.i_Gray;
          if (!image.convertTo1Bit(threshold)) return false;
        }
        observer.Mark("fill holes");
        if (!raster::SmoothFilter(image, prep.holeSize)) return false;
      }
      observer.Mark("load and threshold");
      return true;
    };
  }
  FirstErrorSink messages;
  int status;
  {
    platform::ScopedMessageSink guard(messages);
    status = batch::ConvertFile(args.input, output, job, observer);
  }
  observer.Mark("");
  if (status == batch::kStatusConverted) return kExitOk;
  if (status == batch::kStatusPagesConverted) return observer.failedPages() ? kExitFailed : kExitOk;
  std::string why = !messages.first().empty() ? messages.first()
                    : !observer.detail().empty() ? observer.detail()
                                                 : batch::StatusReasonText(status);
  observer.Error(why);
  return kExitFailed;
}

const Registration kTrace({"trace", "trace INPUT [-o OUTPUT] [options]         trace a raster file and save the vectors",
                           RunTrace});

}  // namespace
}  // namespace quillon::cli
