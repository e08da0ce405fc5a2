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

// Unsized: an object of that name exists but has no size yet; its creator is still setting it
// up (POSIX only: a Windows mapping is created with its size).
enum class MapResult { Failed, Unsized, Opened, Created };

// The platform name of a segment with this base name: "Local\<base>" on Windows, "/<base>.<key>"
// on Linux; ZOLVARTESK_SESSION (letters, digits, '.', '_', '-', 1..64 characters) keeps test
// sessions apart, anything else in it is ignored.
std::string SharedName(const char* baseName);

// Opens the named mapping, or creates it with `bytes` zeroed bytes when none exists. Creation is
// exclusive: of two processes racing to create, one creates and the other opens. An existing
// object smaller than `bytes` is mapped only as far as it reaches (viewBytes tells).
MapResult MapShared(const std::string& name, uint64_t bytes, SharedMapping& out);
void UnmapShared(SharedMapping& mapping);

// Whether the object still covers the whole view. A POSIX object can be shrunk by any process
// of the user, and touching a mapped page past its new end raises SIGBUS; callers check this
// right before they touch the view. What remains is the time between the check and the access.
// Always true on Windows, where a mapping cannot shrink. No system call allocates or locks.
bool MappingIntact(const SharedMapping& mapping);

// Copies `bytes` from `offset` of the object into out without touching the mapped pages: on
// Linux with pread on the descriptor, so that an object another process has shrunk, even between
// any check and the copy, reads as false instead of raising SIGBUS; on Windows, where a mapping
// cannot shrink, from the view. The copy is atomic per aligned 8-byte word on Windows only: a
// Linux reader of values that may change meanwhile reads them twice. False when the range is
// not in the view or the object no longer covers it. No allocation, no lock.
bool ReadShared(const SharedMapping& mapping, uint64_t offset, void* out, uint64_t bytes);

// Removes the name so that the next MapShared creates afresh. Windows mappings vanish with
// their last handle; on Linux the object outlives its users until removed.
void RemoveShared(const std::string& name);

} // namespace zt::os
