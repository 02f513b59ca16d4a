#include "settings/memory_budget.h"

#include "platform/key_value_store.h"
#include "platform/memory.h"
#include "settings/option_store.h"

namespace quillon::settings {

uint32_t LoadMaxMemory(const platform::KeyValueStore& store) {
  return store.readDword(kOptionKey, kMaxMemoryValue).value_or(0);
}

bool SaveMaxMemory(platform::KeyValueStore& store, uint32_t mebibytes) {
  if (store.createKey(kOptionKey) && store.writeDword(kOptionKey, kMaxMemoryValue, mebibytes) && store.flush())
    return true;
  ReportWriteFailure();
  return false;
}

void ApplyStoredMemoryBudget(const platform::KeyValueStore& store) {
  platform::SetDefaultMemoryBudget(uint64_t{LoadMaxMemory(store)} << 20);
}

}  // namespace quillon::settings
