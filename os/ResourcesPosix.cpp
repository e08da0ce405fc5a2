// Module resources on Linux: a lookup in the generated table the module handle points at.
#include "os/Resources.h"

#include <strings.h>

#include "os/Module.h"
#include "os/ResourceTable.h"

namespace zt::os {

bool RegisterModuleResources(const ResourceTable* table) {
  if (table && !ModuleHandle()) StoreModuleHandle(const_cast<ResourceTable*>(table));
  return true;
}

void* DefaultResourceModule() {
  return ModuleHandle();
}

static bool TypeMatches(const ResourceEntry& entry, ResourceType type) {
  if (type.name) return entry.typeName && strcasecmp(entry.typeName, type.name) == 0;
  return !entry.typeName && entry.typeNumber == type.number;
}

bool FindModuleResource(void* module, int32_t id, ResourceType type, ResourceBytes& out) {
  out = {};
  if (!module) module = DefaultResourceModule();
  const auto* table = static_cast<const ResourceTable*>(module);
  if (!table || !table->entries) return false;
  for (uint32_t i = 0; i < table->count; ++i) {
    const ResourceEntry& entry = table->entries[i];
    if (entry.id == id && TypeMatches(entry, type)) {
      out.data = entry.data;
      out.size = entry.size;
      return true;
    }
  }
  return false;
}

} // namespace zt::os
