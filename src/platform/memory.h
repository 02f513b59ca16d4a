#pragma once
// What the process holds in memory, and the budget a conversion may use.
#include <cstdint>

namespace quillon::platform {

// Bytes of physical memory the process holds now (its resident set); 0 when
// the system does not say.
uint64_t ResidentBytes();

// Bytes of physical memory of the machine; 0 when unknown.
uint64_t PhysicalMemoryBytes();

// The budget of a conversion when none is set: the value given to
// SetDefaultMemoryBudget (the user's stored setting), else half the
// machine's memory, so one bad input can neither push the desktop into swap
// nor be killed without a word; 4 GiB when the machine's size is unknown.
uint64_t DefaultMemoryBudget();

// Makes bytes the default budget of every conversion the process starts from
// now on; 0 brings back the share of the machine's memory. The budget is the
// process's, as the resident memory it is checked against is.
void SetDefaultMemoryBudget(uint64_t bytes);

}  // namespace quillon::platform
