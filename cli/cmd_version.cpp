#include <cstdio>

#include "command.h"

namespace quillon::cli {
namespace {
int RunVersion(const std::vector<std::string>&) {
  std::printf("quillon 0.1.0\n");
  return kExitOk;
}
const Registration kVersion({"version", "version                                     print the version", RunVersion});
}  // namespace
}  // namespace quillon::cli
