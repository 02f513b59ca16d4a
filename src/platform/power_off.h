#pragma once
// Turning the machine off after a batch run. Behind an interface so that tests
// (and anything else that must never shut the machine down) inject their own.

#include <functional>

namespace quillon::platform {

// Runs "systemctl poweroff"; false when the command could not be started or failed.
bool PowerOff();

using PowerOffFunction = std::function<bool()>;

}  // namespace quillon::platform
