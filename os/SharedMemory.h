#pragma once
// Named shared memory of the current logon: a "Local\" file mapping on Windows, a POSIX
// shared-memory object on Linux. The one place that knows how the two platforms name and map it.

#include <cstdint>
#include <string>

namespace zt::os {

struct SharedMapping {
  void* view = nullptr;
  uint64_t viewBytes = 0; // bytes mapped; less than requested when an existing object is smaller
  intptr_t handle = -1;   // Windows mapping handle or POSIX descriptor
};

enum class MapResult { Failed, Opened, Created };

// The platform name of a segment with this base name: "Local\<base>" on Windows, "/<base>.<key>"
// on Linux; ZOLVARTESK_SESSION (letters, digits, '.', '_', '-', 1..64 characters) keeps test
// sessions apart, anything else in it is ignored.
std::string SharedName(const char* baseName);

// Opens the named mapping, or creates it with `bytes` zeroed bytes when none exists. Creation is
// exclusive: of two processes racing to create, one creates and the other opens. An existing
// object smaller than `bytes` is mapped only as far as it reaches (viewBytes tells).
MapResult MapShared(const std::string& name, uint64_t bytes, SharedMapping& out);
void UnmapShared(SharedMapping& mapping);

// Removes the name so that the next MapShared creates afresh. Windows mappings vanish with
// their last handle; on Linux the object outlives its users until removed.
void RemoveShared(const std::string& name);

} // namespace zt::os
