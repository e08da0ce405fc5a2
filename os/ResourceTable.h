#pragma once
// The Linux form of a module's resources: a table generated from the module's .rc by
// zt-rcembed (tools/rcembed) and linked into the module. A pointer to the table is the module
// handle that os/Resources.h takes.

#include <cstdint>

namespace zt::os {

struct ResourceEntry {
  int32_t id;
  const char* typeName; // upper case; null for a numbered type
  int32_t typeNumber;   // meaningful when typeName is null
  const uint8_t* data;
  uint32_t size;
};

struct ResourceTable {
  const ResourceEntry* entries;
  uint32_t count;
};

// Called by the generated table at static initialisation, the counterpart of the Windows DLL
// entry routine: the first table registered in a binary becomes its module handle, unless one is
// already stored. Returns true so that the call can initialise a constant.
bool RegisterModuleResources(const ResourceTable* table);

} // namespace zt::os
