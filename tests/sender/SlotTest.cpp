// The sender's slot protocol on a segment of the test's own: heartbeats that no other value is
// taken for, claims by channel, stale flags lowered only in slots of ours.
#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "plugin/SenderSlot.h"
#include "plugin/SharedSegment.h"
#include "tests/support/TestSession.h"

namespace {

using namespace sender_slot;

struct Segment {
  Segment() : session("slot") {
    segment = shmem(kSegmentBaseName, kSegmentDataBytes);
    data = SegmentData(segment.get());
    FreeAllSlots(data);
  }
  TestSession session;
  std::unique_ptr<SharedSegment> segment;
  uint8_t* data = nullptr;
};

TEST(SenderSlot, OnlyOurHeartbeatsReadAsHeartbeats) {
  uint64_t ms = 0;
  ASSERT_TRUE(ReadHeartbeat(Heartbeat(123456789), &ms));
  EXPECT_EQ(ms, 123456789u);
  // What other senders, receivers or a free slot may keep in the first double.
  const double others[] = {-1.0,
                           0.0,
                           -0.0,
                           1.0,
                           123456789.0,
                           1e300,
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN(),
                           -std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::signaling_NaN(),
                           std::numeric_limits<double>::denorm_min()};
  for (double v : others)
    EXPECT_FALSE(ReadHeartbeat(v, &ms)) << v;
}

TEST(SenderSlot, HeartbeatAgeSurvivesTheClockWrapping) {
  const uint64_t wrap = uint64_t{1} << 35;
  uint64_t beat = 0;
  ASSERT_TRUE(ReadHeartbeat(Heartbeat(wrap - 100), &beat));
  EXPECT_EQ(HeartbeatAgeMs(wrap + 400, beat), 500u);
  ASSERT_TRUE(ReadHeartbeat(Heartbeat(7 * wrap + 10), &beat));
  EXPECT_EQ(HeartbeatAgeMs(7 * wrap + 6010, beat), 6000u);
}

// A beat written just after the reader took its clock (another process, another thread) is
// fresh, not a year old.
TEST(SenderSlot, AHeartbeatAheadOfTheClockIsFresh) {
  Segment s;
  const uint64_t now = 9000000;
  const int slot = Claim(s.data, kAuto, now + 1);
  StoreFlag(s.data, slot, 1);
  uint64_t beat = 0;
  ASSERT_TRUE(ReadHeartbeat(LoadSlot(s.data, slot, 0), &beat));
  EXPECT_EQ(HeartbeatAgeMs(now, beat), 0u);
  EXPECT_EQ(ClearStale(s.data, now, -1), 0);
  EXPECT_EQ(Claim(s.data, slot, now), -1);
  EXPECT_EQ(LoadFlag(s.data, slot), 1);
}

TEST(SenderSlot, ClaimsByChannel) {
  Segment s;
  const uint64_t now = 1000000;
  // Slot 0: a receiver counted itself in; slot 1: another sender's, flag down but a value kept;
  // slot 2: another sender publishing.
  ASSERT_EQ(ClaimFreeSlot(s.data), 0);
  StoreSlot(s.data, 1, 0, 42.0);
  StoreSlot(s.data, 2, 0, 7.0);
  StoreFlag(s.data, 2, 1);
  EXPECT_EQ(Claim(s.data, kAuto, now), 3) << "the lowest free slot";
  EXPECT_EQ(Claim(s.data, 0, now), 0) << "a receiver's count is no sender";
  EXPECT_EQ(Claim(s.data, 1, now), -1) << "another sender's slot is left alone";
  EXPECT_EQ(Claim(s.data, 2, now), -1);
  EXPECT_EQ(Claim(s.data, 3, now), -1) << "a live sender of ours keeps its slot";
  EXPECT_EQ(Claim(s.data, kSlotCount, now), -1);
  EXPECT_EQ(LoadSlot(s.data, 1, 0), 42.0);
  EXPECT_EQ(LoadSlot(s.data, 2, 0), 7.0);
  // A sender of ours that stopped beating long ago gives its slot up, flag and all.
  StoreFlag(s.data, 3, 1);
  EXPECT_EQ(Claim(s.data, 3, now + kStaleMs + 1), 3);
  EXPECT_EQ(LoadFlag(s.data, 3), 0);
}

TEST(SenderSlot, StaleFlagsAreLoweredOnlyInSlotsOfOurs) {
  Segment s;
  const uint64_t now = 5000000;
  const int stale = Claim(s.data, kAuto, now - kStaleMs - 50);
  const int fresh = Claim(s.data, kAuto, now - 100);
  const int foreign = 10;
  for (int slot : {stale, fresh, foreign}) {
    StoreSlot(s.data, slot, 1, 0.5);
    StoreFlag(s.data, slot, 1);
  }
  // A value that is almost a heartbeat of ours: another tag.
  StoreSlot(s.data, foreign, 0, std::bit_cast<double>(0x7FF8000000000000ull | 123));
  EXPECT_EQ(FollowedSlot(s.data), stale);
  EXPECT_EQ(ClearStale(s.data, now, -1), 1);
  EXPECT_EQ(LoadFlag(s.data, stale), 0);
  EXPECT_EQ(LoadSlot(s.data, stale, 0), kSlotFree) << "the slot is free again";
  EXPECT_EQ(LoadFlag(s.data, fresh), 1);
  EXPECT_EQ(LoadFlag(s.data, foreign), 1);
  EXPECT_EQ(LoadSlot(s.data, foreign, 1), 0.5);
  EXPECT_EQ(FollowedSlot(s.data), fresh);
  // The sender whose slot was cleared finds it is no longer its own.
  EXPECT_FALSE(StillOurs(s.data, stale, Heartbeat(now - kStaleMs - 50)));
}

TEST(SenderSlot, ReleaseFreesOnlyWhatIsStillOurs) {
  Segment s;
  const double beat = Heartbeat(77);
  const int slot = Claim(s.data, kAuto, 77);
  StoreFlag(s.data, slot, 1);
  StoreSlot(s.data, slot, 0, 3.0); // taken over meanwhile
  Release(s.data, slot, beat);
  EXPECT_EQ(LoadFlag(s.data, slot), 1);
  EXPECT_EQ(LoadSlot(s.data, slot, 0), 3.0);
  StoreSlot(s.data, slot, 0, beat);
  Release(s.data, slot, beat);
  EXPECT_EQ(LoadFlag(s.data, slot), 0);
  EXPECT_EQ(LoadSlot(s.data, slot, 0), kSlotFree);
  EXPECT_EQ(LoadSlot(s.data, slot, 1), kSlotFree);
}

} // namespace
