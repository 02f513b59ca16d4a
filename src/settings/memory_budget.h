#pragma once
// The stored memory budget of a conversion: Option "MaxMemory" in MiB; 0 or
// missing is the default share of the machine's memory. A command line's
// --max-memory overrides it for that run.

#include <cstdint>

namespace quillon::platform {
class KeyValueStore;
}

namespace quillon::settings {

inline constexpr const char* kMaxMemoryValue = "MaxMemory";

uint32_t LoadMaxMemory(const platform::KeyValueStore& store);
// False after "Write to registry failed!" when the store refused.
bool SaveMaxMemory(platform::KeyValueStore& store, uint32_t mebibytes);
// Makes the stored budget the process's default one
// (platform::SetDefaultMemoryBudget); nothing stored brings back the share.
void ApplyStoredMemoryBudget(const platform::KeyValueStore& store);

}  // namespace quillon::settings
