// quillon info RASTER: size, depth, resolution, page count and the suggested
// threshold of a raster file, one "key: value" line each.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
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

int RunInfo(const std::string& path) {
  FirstMessageSink messages;
  int pages = 1;
  raster::CRaster image;
  bool loaded = false;
  {
    platform::ScopedMessageSink guard(messages);
    raster::RasterPageReader reader;
    if (reader.openPages(path) && reader.pageCount() >= 2) {
      pages = reader.pageCount();
      loaded = reader.copyPage(0, image);
    } else {
      reader.close();
      if (!raster::IsRasterExtension(std::filesystem::path(path).extension().string())) {
        std::string known;
        for (const std::string& extension : raster::RasterExtensions()) known += (known.empty() ? "" : ", ") + extension;
        platform::ShowMessage(settings::Text("RasterReadFailMsg", "Cannot read raster file") + " " + path + ": " +
                              settings::Text("RasterUnknownExtMsg", "the file extension is not a raster format") +
                              " (" + known + ")");
      } else
        loaded = image.load(path);
    }
  }
  if (!loaded) {
    const std::string text = messages.first().empty()
                                 ? settings::Text("RasterReadFailMsg", "Cannot read raster file") + " " + path
                                 : messages.first();
    std::fprintf(stderr, "quillon: %s\n", text.c_str());
    return kExitFailed;
  }
  std::printf("width: %d\nheight: %d\nbits: %d\ndpi: %d\npages: %d\nsuggested_threshold: %d\n", image.width(),
              image.height(), image.bitCount(), image.dotsPerInch(), pages, image.automaticThreshold());
  return kExitOk;
}

CommandRun SetupInfo(CLI::App& command) {
  auto path = std::make_shared<std::string>();
  command.add_option("RASTER", *path, "The raster file")->required()->type_name("");
  command.footer("Prints width, height, bits, dpi, pages and suggested_threshold, one 'key: value' line each.");
  return [path] { return RunInfo(*path); };
}

const Registration kInfo({"info", "Print a raster file's size, depth, resolution and suggested threshold", 40,
                          SetupInfo});

}  // namespace
}  // namespace quillon::cli
