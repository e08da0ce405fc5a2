// Module resources on Windows: the resource section of the DLL or executable.
#include "os/Resources.h"

#include <windows.h>

#include "os/Module.h"

namespace zt::os {

void* DefaultResourceModule() {
  if (void* module = ModuleHandle()) return module;
  return GetModuleHandleA(nullptr);
}

bool FindModuleResource(void* module, int32_t id, ResourceType type, ResourceBytes& out) {
  out = {};
  HMODULE handle = static_cast<HMODULE>(module ? module : DefaultResourceModule());
  // Ids and type numbers are 1..65535; anything else would be taken for a string pointer.
  if (id < 1 || id > 0xFFFF || (!type.name && (type.number < 1 || type.number > 0xFFFF)))
    return false;
  LPCSTR typeKey = type.name ? type.name : MAKEINTRESOURCEA(type.number);
  HRSRC info = FindResourceA(handle, MAKEINTRESOURCEA(id), typeKey);
  if (!info) return false;
  DWORD size = SizeofResource(handle, info);
  HGLOBAL loaded = LoadResource(handle, info);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return false;
  out.data = static_cast<const uint8_t*>(data);
  out.size = size;
  return true;
}

} // namespace zt::os
