#include "os/SharedMemory.h"

#include "os/SessionKey.h"

#include <windows.h>

namespace zt::os {

std::string SharedName(const char* baseName) {
  std::string name = "Local\\";
  name.append(baseName ? baseName : "");
  const std::string key = SessionKey();
  if (!key.empty()) name.append(".").append(key);
  return name;
}

MapResult MapShared(const std::string& name, uint64_t bytes, SharedMapping& out) {
  out = SharedMapping{};
  bool created = false;
  HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
  if (!mapping) {
    mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                 static_cast<DWORD>(bytes >> 32), static_cast<DWORD>(bytes),
                                 name.c_str());
    if (!mapping) {
      (void)GetLastError();
      return MapResult::Failed;
    }
    // Another process may have created it between our open and create: then we merely opened.
    created = GetLastError() != ERROR_ALREADY_EXISTS;
  }
  void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, static_cast<SIZE_T>(bytes));
  if (!view) {
    CloseHandle(mapping);
    return MapResult::Failed;
  }
  out.view = view;
  out.viewBytes = bytes;
  out.handle = reinterpret_cast<intptr_t>(mapping);
  return created ? MapResult::Created : MapResult::Opened;
}

void UnmapShared(SharedMapping& mapping) {
  if (mapping.view) UnmapViewOfFile(mapping.view);
  if (mapping.handle != -1 && mapping.handle != 0)
    CloseHandle(reinterpret_cast<HANDLE>(mapping.handle));
  mapping = SharedMapping{};
}

bool MappingIntact(const SharedMapping& mapping) {
  return mapping.view != nullptr;
}

void RemoveShared(const std::string&) {}

} // namespace zt::os
