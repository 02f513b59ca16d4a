#pragma once
// Helpers shared by the test executables.

#include <optional>
#include <string>
#include <vector>

#include "platform/message_sink.h"

namespace quillon::test {

// A fresh directory below the system temporary directory, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Captures every user message for the lifetime of the object.
class CapturedMessages {
 public:
  CapturedMessages() : guard_(sink_) {}
  std::vector<std::string> messages() const { return sink_.messages(); }
  platform::CaptureMessageSink& sink() { return sink_; }

 private:
  platform::CaptureMessageSink sink_;
  platform::ScopedMessageSink guard_;
};

struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the quillon executable with the arguments (no shell), QUILLON_CONFIG_DIR
// pointing at configDir when it is given, standard input read from stdinFile
// when it is given (else inherited).
CliResult RunCli(const std::vector<std::string>& args, const std::string& configDir = "",
                 const std::string& stdinFile = "");

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);
// The text of one whole gzip member; nullopt when the bytes are not one.
std::optional<std::string> Gunzip(const std::string& bytes);
// Path of a file below the source tree (e.g. "data/samples/lines.bmp").
std::string SourcePath(const std::string& relative);

}  // namespace quillon::test
