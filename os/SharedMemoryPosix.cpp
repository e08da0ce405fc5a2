#include "os/SharedMemory.h"

#include "os/SessionKey.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zt::os {

std::string SharedName(const char* baseName) {
  std::string key = SessionKey();
  if (key.empty()) key = std::to_string(static_cast<unsigned long>(getuid()));
  std::string name = "/";
  name.append(baseName ? baseName : "").append(".").append(key);
  return name;
}

MapResult MapShared(const std::string& name, uint64_t bytes, SharedMapping& out) {
  out = SharedMapping{};
  bool created = false;
  int fd = shm_open(name.c_str(), O_RDWR, 0600);
  if (fd < 0 && errno == ENOENT) {
    fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    if (fd >= 0) {
      created = true;
      if (ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
        close(fd);
        shm_unlink(name.c_str());
        return MapResult::Failed;
      }
    } else if (errno == EEXIST) {
      fd = shm_open(name.c_str(), O_RDWR, 0600); // lost the race: the other one created it
    }
  }
  if (fd < 0) return MapResult::Failed;

  uint64_t mapBytes = bytes;
  if (!created) {
    struct stat st {};
    if (fstat(fd, &st) != 0) {
      close(fd);
      return MapResult::Failed;
    }
    if (st.st_size <= 0) {
      close(fd);
      return MapResult::Unsized;
    }
    if (static_cast<uint64_t>(st.st_size) < mapBytes) mapBytes = static_cast<uint64_t>(st.st_size);
  }
  void* view = mmap(nullptr, mapBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) {
    close(fd);
    return MapResult::Failed;
  }
  out.view = view;
  out.viewBytes = mapBytes;
  out.handle = fd;
  return created ? MapResult::Created : MapResult::Opened;
}

void UnmapShared(SharedMapping& mapping) {
  if (mapping.view) munmap(mapping.view, mapping.viewBytes);
  if (mapping.handle >= 0) close(static_cast<int>(mapping.handle));
  mapping = SharedMapping{};
}

bool MappingIntact(const SharedMapping& mapping) {
  if (!mapping.view || mapping.handle < 0) return false;
  struct stat st {};
  return fstat(static_cast<int>(mapping.handle), &st) == 0 &&
         static_cast<uint64_t>(st.st_size) >= mapping.viewBytes;
}

bool ReadShared(const SharedMapping& mapping, uint64_t offset, void* out, uint64_t bytes) {
  if (!mapping.view || mapping.handle < 0 || offset > mapping.viewBytes ||
      bytes > mapping.viewBytes - offset)
    return false;
  auto* to = static_cast<uint8_t*>(out);
  for (uint64_t done = 0; done < bytes;) {
    const ssize_t n = pread(static_cast<int>(mapping.handle), to + done, bytes - done,
                            static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false; // the end of the object came first: it was shrunk
    done += static_cast<uint64_t>(n);
  }
  return true;
}

void RemoveShared(const std::string& name) {
  shm_unlink(name.c_str());
}

} // namespace zt::os
