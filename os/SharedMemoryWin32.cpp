#include "os/SharedMemory.h"

#include "os/SessionKey.h"

#include <atomic>
#include <cstring>

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

bool ReadShared(const SharedMapping& mapping, uint64_t offset, void* out, uint64_t bytes) {
  if (!mapping.view || offset > mapping.viewBytes || bytes > mapping.viewBytes - offset)
    return false;
  auto* from = static_cast<uint8_t*>(mapping.view) + offset;
  auto* to = static_cast<uint8_t*>(out);
  uint64_t i = 0;
  // Aligned words one load each, as the writers store them.
  if (reinterpret_cast<uintptr_t>(from) % 8 == 0)
    for (; i + 8 <= bytes; i += 8) {
      const uint64_t word = std::atomic_ref<uint64_t>(*reinterpret_cast<uint64_t*>(from + i))
                                .load(std::memory_order_acquire);
      memcpy(to + i, &word, 8);
    }
  for (; i < bytes; ++i)
    to[i] = std::atomic_ref<uint8_t>(from[i]).load(std::memory_order_acquire);
  return true;
}

void RemoveShared(const std::string&) {}

} // namespace zt::os
