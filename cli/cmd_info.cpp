// quillon info RASTER: size, depth, resolution, page count and the suggested
// threshold of a raster file, one "key: value" line each.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "command.h"
#include "platform/message_sink.h"
#include "raster/raster.h"
#include "raster/raster_file.h"
#include "settings/language_table.h"

namespace quillon::cli {
namespace {

// Keeps the first message of a failed read, so that the command prints one
// clear line however many the loader produced.
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

// Prints the failure's first message; answers kExitFailed.
int Failed(const FirstMessageSink& messages, const std::string& path) {
  const std::string text = messages.first().empty()
                               ? settings::Text("RasterReadFailMsg", "Cannot read raster file") + " " + path
                               : messages.first();
  std::fprintf(stderr, "quillon: %s\n", text.c_str());
  return kExitFailed;
}

// The size, depth, resolution and pages come from the headers and are out
// before any pixel is decoded, so a file with damaged pixel data still tells
// its size; the headers' own checks of the pixel data (every strip inside
// the file ...) still fail it. Only a grey or colour picture is decoded, for
// its threshold; a 1-bit picture has none to suggest (0).
int RunInfo(const std::string& path) {
  FirstMessageSink headerMessages;
  raster::RasterFileInfo info;
  raster::CRaster image;
  bool read = false;
  {
    platform::ScopedMessageSink guard(headerMessages);
    read = raster::ReadRasterInfo(path, info, &image);
  }
  if (!read) return Failed(headerMessages, path);
  std::printf("width: %d\nheight: %d\nbits: %d\ndpi: %d\npages: %d\n", info.width, info.height, info.bitCount,
              info.dotsPerInch, info.pages);
  std::fflush(stdout);

  if (!info.damage.empty()) {
    std::fprintf(stderr, "quillon: %s\n", info.damage.c_str());
    return kExitFailed;
  }
  if (info.bitCount == 1) {
    std::printf("suggested_threshold: 0\n");
    return kExitOk;
  }
  if (image.empty()) {
    FirstMessageSink messages;
    int pages = 1;
    bool loaded = false;
    {
      platform::ScopedMessageSink guard(messages);
      loaded = raster::LoadFirstPicture(path, image, pages);
    }
    if (!loaded) return Failed(messages, path);
  }
  std::printf("suggested_threshold: %d\n", image.automaticThreshold());
  return kExitOk;
}

CommandRun SetupInfo(CLI::App& command) {
  auto path = std::make_shared<std::string>();
  command.add_option("RASTER", *path, "The raster file")->required()->type_name("");
  command.footer(
      "Prints width, height, bits, dpi, pages and suggested_threshold, one 'key: value' line each. The first five "
      "come from the file's headers; only a grey or colour picture is decoded, for its threshold.");
  return [path] { return RunInfo(*path); };
}

const Registration kInfo({"info", "Print a raster file's size, depth, resolution and suggested threshold", 40,
                          SetupInfo});

}  // namespace
}  // namespace quillon::cli
