// quillon convert INPUT.dxf -o OUTPUT [-f FORMAT] [--no-width] [--size W,H,UNIT] [-q]:
// reads a DXF file and writes it in any of the nine output formats through
// the save job. What the reader could not keep (records it dropped, entity
// kinds it does not read, a read that stopped early) is said on stderr.
#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "command.h"
#include "formats/dxf_reader/dxf_reader.h"
#include "formats/save_job.h"
#include "model/graph.h"
#include "options_common.h"
#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "platform/paths.h"

namespace quillon::cli {
namespace {

// Dropped records whose reason is printed; the rest are counted.
constexpr size_t kShownReasons = 5;

// Keeps the reader's messages (it shows them as message boxes in the
// application) so that the command prints one line of its own.
class FirstMessageSink final : public platform::MessageSink {
 public:
  bool show(std::string_view text, platform::MessageKind kind) override {
    if (first_.empty()) first_ = text;
    return kind != platform::MessageKind::Question;
  }
  const std::string& first() const { return first_; }

 private:
  std::string first_;
};

void Note(const std::string& text) { std::fprintf(stderr, "quillon: %s\n", text.c_str()); }

// Tells what the read did per entity type (with -q only what it did not
// keep) and why records were dropped.
void ReportRead(const std::string& input, const formats::DxfReadReport& report, bool quiet) {
  for (const std::string& line : formats::DescribeDxfRead(report)) {
    if (!quiet || line.find("dropped") != std::string::npos || line.find("skipped") != std::string::npos) {
      Note(input + ": " + line);
    }
  }
  if (report.entitiesDropped > 0) {
    Note(input + ": dropped " + std::to_string(report.entitiesDropped) + " entit" +
         (report.entitiesDropped == 1 ? "y" : "ies") + " that could not be read");
  }
  for (size_t i = 0; i < report.dropReasons.size() && i < kShownReasons; ++i) Note("  " + report.dropReasons[i]);
  if (report.dropReasons.size() > kShownReasons) Note("  ...");
  if (report.longLines > 0) {
    Note(input + ": " + std::to_string(report.longLines) + " overlong line(s) were cut");
  }
  if (report.stoppedEarly) {
    Note(input + ": reading stopped early: " + report.stopReason + "; what was read before is kept");
  }
}

struct ConvertArgs {
  std::string input;
  OutputOptions options;
  bool quiet = false;
};

int RunConvert(ConvertArgs& args) {
  const std::string& input = args.input;
  OutputOptions& options = args.options;
  const bool quiet = args.quiet;
  ResolveSize(options);
  std::string error;
  const formats::OutputFormat* format = ChooseFormat(options, error);
  if (!format) return UsageError(error);

  std::error_code ec;
  if (!std::filesystem::exists(input, ec)) return Fail("Cannot read DXF file " + input + ": no such file");
  if (std::filesystem::is_directory(input, ec)) return Fail("Cannot read DXF file " + input + ": it is a directory");
  if (auto problem = OutputProblem(options.output, input)) return Fail(*problem);

  model::CGraph drawing;
  formats::DxfReadReport report;
  FirstMessageSink messages;
  {
    platform::ScopedMessageSink guard(messages);
    (void)formats::ReadDxfFile(input, drawing, {}, &report);
  }
  if (!report.opened) {
    return Fail("Cannot read DXF file " + input + (messages.first().empty() ? "" : ": " + messages.first()));
  }
  if (!report.sawSection) return Fail("Cannot read DXF file " + input + ": it is not a DXF file (no SECTION found)");
  ReportRead(input, report, quiet);
  const long entities = static_cast<long>(drawing.totalCount());
  if (entities == 0) return Fail(input + " holds no entities that can be converted; " + options.output + " not written");

  formats::SaveJob job(drawing, options.output, !options.noWidth, format->index);
  if (options.size) {
    job.SetDestination(*options.size);
  } else {
    const platform::JsonFileKeyValueStore store(platform::SettingsFilePath());
    job.SetDestination(formats::LoadDestinationSize(store));
  }
  // On a worker, so an interrupt can stop the writer and its temporary file goes.
  job.Start();
  while (!job.WaitFor(std::chrono::milliseconds(50))) {
    if (StopRequest().requested()) job.Cancel();
  }
  if (!job.Wait()) return Fail(job.error());
  if (!quiet) std::printf("wrote %s (%ld entities)\n", options.output.c_str(), entities);
  // The output holds what was read; a read that stopped early is still a
  // failed conversion.
  return report.stoppedEarly ? kExitFailed : kExitOk;
}

CommandRun SetupConvert(CLI::App& command) {
  auto args = std::make_shared<ConvertArgs>();
  command.add_option("INPUT", args->input, "The DXF file to read (ASCII or binary)")->required()->type_name("");
  AddOutputOptions(command, args->options, "The file to write (required)", false);
  command.get_option("--output")->required();
  command.add_flag("-q,--quiet", args->quiet, "Print only what the read did not keep, and errors");
  command.footer("What the read did per entity type, and what it could not keep (dropped records, entity kinds it "
                 "does not read, a read that stopped early), is said on stderr.");
  return [args] { return RunConvert(*args); };
}

const Registration kConvert({"convert", "Read a DXF file and write it in another format", 50, SetupConvert});

}  // namespace
}  // namespace quillon::cli
