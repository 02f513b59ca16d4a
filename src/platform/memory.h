#pragma once
// What the process holds in memory, and the budget a conversion may use.
#include <cstdint>

namespace quillon::platform {

// Bytes of physical memory the process holds now (its resident set); 0 when
// the system does not say.
uint64_t ResidentBytes();

// Bytes of physical memory of the machine; 0 when unknown.
uint64_t PhysicalMemoryBytes();

// The budget of a conversion when none is set: half the machine's memory,
// so one bad input can neither push the desktop into swap nor be killed
// without a word; 4 GiB when the machine's size is unknown.
uint64_t DefaultMemoryBudget();

}  // namespace quillon::platform
