// Reads arbitrary bytes as a batch job file: the list must stay within what
// the file declares, every value in its range, and a job file written from
// what was read must read back to the same list and write the same text.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "batch/batch_job.h"
#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "platform/profile_file.h"

using namespace quillon;

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// One scratch directory for the whole run, removed at exit.
const std::string& Scratch() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/quillon-jobfuzz-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (!made) std::abort();
    std::string d = made;
    static std::string removeAtExit = d;
    std::atexit([] {
      for (const char* name : {"/in.trj", "/a.trj", "/b.trj"}) std::remove((removeAtExit + name).c_str());
      ::rmdir(removeAtExit.c_str());
    });
    return d;
  }();
  return dir;
}

bool WriteAll(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

std::string ReadAll(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static platform::NullMessageSink quiet;
  static platform::ScopedMessageSink guard(quiet);
  static platform::MemoryKeyValueStore store;
  const std::string input = Scratch() + "/in.trj";
  if (!WriteAll(input, data, size)) return 0;

  settings::TraceOption current;
  batch::BatchJobList list(store, current);
  Check(list.ReadJobFile(input));
  platform::ProfileFile file;
  file.load(input);
  const int declared = file.getInt("General", "JobCount", 0);
  Check(list.size() <= static_cast<size_t>(declared < 0 ? 0 : declared));
  Check(list.targetType >= 0 && list.targetType < batch::kTargetTypeCount);
  Check(list.targetDir.size() <= 511);
  for (size_t i = 0; i < list.size(); ++i) Check(!list.row(i).Path().empty());

  // Written, read and written again: the second pass reproduces itself.
  const std::string a = Scratch() + "/a.trj";
  const std::string b = Scratch() + "/b.trj";
  if (!list.WriteJobFile(a)) return 0;
  batch::BatchJobList once(store, current);
  Check(once.ReadJobFile(a));
  Check(once.size() == list.size());
  Check(once.WriteJobFile(b));
  batch::BatchJobList twice(store, current);
  Check(twice.ReadJobFile(b));
  Check(twice.size() == once.size());
  for (size_t i = 0; i < once.size(); ++i) Check(twice.row(i).cells == once.row(i).cells);
  const std::string textB = ReadAll(b);
  Check(twice.WriteJobFile(a));
  Check(ReadAll(a) == textB);
  return 0;
}
