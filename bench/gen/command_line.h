#pragma once
// Command-line switches of the bench tools.

#include <initializer_list>
#include <string_view>
#include <utility>

namespace quillon::bench {

// Sets the flag of each named switch present in argv and removes those
// switches, keeping the other arguments in order; answers the new argc.
int TakeSwitches(int argc, char** argv, std::initializer_list<std::pair<std::string_view, bool*>> switches);

}  // namespace quillon::bench
