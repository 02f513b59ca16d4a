#include "gen/command_line.h"

namespace quillon::bench {

int TakeSwitches(int argc, char** argv, std::initializer_list<std::pair<std::string_view, bool*>> switches) {
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    bool taken = false;
    for (const auto& [name, flag] : switches) {
      if (name == argv[i]) {
        *flag = true;
        taken = true;
      }
    }
    if (!taken) argv[kept++] = argv[i];
  }
  return kept;
}

}  // namespace quillon::bench
