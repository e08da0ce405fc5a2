#pragma once
// The module (the plug-in DLL or shared object) this code is linked into. On Windows the DLL
// entry routine stores its handle here for every notification; resource loading reads it. Each
// module holds its own copy.

namespace zt::os {

inline void* gModuleHandle = nullptr;

inline void StoreModuleHandle(void* module) {
  gModuleHandle = module;
}
inline void* ModuleHandle() {
  return gModuleHandle;
}

} // namespace zt::os
