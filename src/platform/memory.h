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

// For a process that converts file after file: memory a conversion frees
// stays with the allocator for the next one instead of going back to the
// system, so the next file's rasters do not fault in fresh zeroed pages (page
// faults of two conversions side by side also queue on the one address
// space's lock). Blocks above 32 MiB still come from and go back to the
// system at once, and at most 64 MiB of free memory is kept at the top of
// each heap, so what a long run holds stays near its largest conversion.
void KeepFreedMemoryForReuse();

}  // namespace quillon::platform
