#pragma once
// Read-only data embedded in a module (the plug-in DLL or shared object, or a test executable):
// on Windows the module's resource section (a .rc compiled by windres), on Linux a table of
// (id, type, bytes) generated from the same .rc and linked into the module (os/ResourceTable.h).

#include <cstdint>

namespace zt::os {

// A resource type as a resource script names it: a string such as "PNG", or a number such as
// 10 (RT_RCDATA). Type names compare without regard to case, as Windows does.
struct ResourceType {
  const char* name = nullptr; // null: `number` names the type
  int32_t number = 0;

  static constexpr ResourceType Named(const char* typeName) { return {typeName, 0}; }
  static constexpr ResourceType Numbered(int32_t typeNumber) { return {nullptr, typeNumber}; }
};

struct ResourceBytes {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
};

// Finds resource `id` of `type` in `module`. A null module means DefaultResourceModule(). On
// success `out` holds the resource's bytes: read-only, owned by the module and valid for as long
// as the module stays loaded (never freed by the caller). False, with `out` cleared, when the
// module has no such resource.
bool FindModuleResource(void* module, int32_t id, ResourceType type, ResourceBytes& out);

// The module whose resources this code reads when it is given none: the handle stored by the
// DLL entry routine (os/Module.h); when no entry routine ran (a test executable), the executable
// itself on Windows, and on Linux the first resource table linked into this binary.
void* DefaultResourceModule();

} // namespace zt::os
