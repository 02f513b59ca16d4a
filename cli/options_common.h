#pragma once
// The output options the converting subcommands share: -o/--output,
// -f/--format, --no-width and --size W,H,UNIT, the choice of format from
// them, and the checks of an output path made before any work starts.

#include <optional>
#include <string>
#include <vector>

#include "formats/format_table.h"
#include "formats/save_job.h"

namespace quillon::cli {

// Takes the value of "-x VALUE", "--name VALUE" or "--name=VALUE" (shortName
// may be empty). False when args[i] is not that option; `missing` is set
// when the value is absent. i moves past a separate value.
bool TakeValue(const std::vector<std::string>& args, size_t& i, std::string_view shortName, std::string_view longName,
               std::string& value, bool& missing);

// "W,H,UNIT" with W and H finite and greater than 0 and UNIT in, cm, mm or px.
// False (size unchanged or partly set) otherwise.
bool ParseSize(const std::string& text, formats::DestinationSize& size);

struct OutputOptions {
  std::string output;  // "" when not given
  std::string format;  // "" when not given
  bool noWidth = false;
  std::optional<formats::DestinationSize> size;
};

enum class OptionTaken { No, Yes, Error };
// Consumes args[i] (and its value) when it is one of the output options.
// Error sets `error` to a one-line usage message.
OptionTaken TakeOutputOption(const std::vector<std::string>& args, size_t& i, OutputOptions& options,
                             std::string& error);

// The format named by -f, else the one of the output's extension, else DXF
// (format 1). Null, with `error`, for an unknown name.
const formats::OutputFormat* ChooseFormat(const OutputOptions& options, std::string& error);

// Why the output cannot be written (its directory is missing or read-only,
// it is a directory, it is the input file), or nothing when it can.
std::optional<std::string> OutputProblem(const std::string& output, const std::string& input);

}  // namespace quillon::cli
