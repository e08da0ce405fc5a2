// A second process scribbling on the shared segment, as a broken or hostile sender would: until
// the file STOP exists it writes random levels (finite, huge, negative, not a number), random
// first doubles and random flag bytes into the slots, as fast as it can. It never changes the
// segment's size (that has a test of its own).
//   zt_segment_scribbler SESSION STOP SEED
// Prints the number of writes and exits 0; 1 when it found no segment within 5 s.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <random>
#include <thread>

#include "os/SharedMemory.h"
#include "plugin/SharedSegment.h"
#include "tests/support/TestSession.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  SetEnv("ZOLVARTESK_SESSION", argv[1]);
  const std::filesystem::path stop = argv[2];
  std::mt19937_64 rng(std::strtoull(argv[3], nullptr, 0));
  zt::os::SharedMapping mapping;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (zt::os::MapShared(zt::os::SharedName(kSegmentBaseName),
                           kSegmentHeaderBytes + kSegmentDataBytes,
                           mapping) != zt::os::MapResult::Opened) {
    zt::os::UnmapShared(mapping);
    if (std::chrono::steady_clock::now() > until) return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  uint8_t* data = static_cast<uint8_t*>(mapping.view) + kSegmentHeaderBytes;
  const double values[] = {
      0.0,      -1.0,   1e40, -3.1e231, std::numeric_limits<double>::quiet_NaN(),
      HUGE_VAL, 1e-300, 31.6, 31.7,     std::numeric_limits<double>::max()};
  long long writes = 0;
  while (!std::filesystem::exists(stop)) {
    for (int i = 0; i < 1000; ++i, ++writes) {
      const int slot = static_cast<int>(rng() % kSlotCount);
      switch (rng() % 4) {
      case 0:
        StoreSlot(data, slot, 1, values[rng() % std::size(values)]);
        break;
      case 1:
        StoreSlot(data, slot, 1, std::ldexp(static_cast<double>(rng() % 2000) - 1000.0, -9));
        break;
      case 2:
        StoreSlot(data, slot, 0, values[rng() % std::size(values)]);
        break;
      default:
        StoreFlag(data, slot, static_cast<uint8_t>(rng() % 3)); // 0, 1 or 2
        break;
      }
    }
    std::this_thread::yield();
  }
  printf("%lld\n", writes);
  zt::os::UnmapShared(mapping);
  return 0;
}
