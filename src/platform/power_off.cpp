#include "platform/power_off.h"

#include <cstdlib>

namespace quillon::platform {

bool PowerOff() { return std::system("systemctl poweroff") == 0; }

}  // namespace quillon::platform
