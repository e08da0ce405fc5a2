#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "tests/support/ReceiverRig.h"
#include "tools/sender/ReferenceSender.h"

namespace {

// A raw view of the named segment, as another process would see it.
struct RawSegment {
  explicit RawSegment(const std::string& name,
                      uint64_t bytes = kSegmentHeaderBytes + kSegmentDataBytes) {
    result = zt::os::MapShared(name, bytes, mapping);
  }
  ~RawSegment() { zt::os::UnmapShared(mapping); }
  uint8_t* View() const { return static_cast<uint8_t*>(mapping.view); }
  uint8_t* Data() const { return View() + kSegmentHeaderBytes; }
  zt::os::MapResult result;
  zt::os::SharedMapping mapping;
};

TEST(Link, FirstReceiverCreatesTheSegmentAndClaimsSlotZero) {
  ReceiverRig rig("link");
  const ReferenceLink& link = rig.plug->Link();
  ASSERT_NE(link.Segment(), nullptr);
  EXPECT_TRUE(SegmentCreated(link.Segment()));
  EXPECT_EQ(link.SlotIndex(), 0);

  RawSegment raw(rig.session.Name());
  ASSERT_EQ(raw.result, zt::os::MapResult::Opened);
  EXPECT_EQ(raw.mapping.viewBytes, 2240u);
  EXPECT_EQ(memcmp(raw.View(), "SMEM", 4), 0);
  uint64_t size = 0;
  memcpy(&size, raw.View() + 8, 8);
  EXPECT_EQ(size, 2176u);
  for (int i = 0; i < kSlotCount; ++i) {
    const double expected = i == 0 ? 0.0 : -1.0;
    EXPECT_EQ(LoadSlot(raw.Data(), i, 0), expected) << i;
    EXPECT_EQ(LoadSlot(raw.Data(), i, 1), expected) << i;
    EXPECT_EQ(raw.View()[2112 + i], 0) << i;
  }
  rig.Run(64, [](int, int) { return 0.1; });
  EXPECT_EQ(link.referenceDb, -1000.0);
  EXPECT_EQ(link.firstValue, -1.0);
}

TEST(Link, FurtherReceiversClaimTheNextFreeSlotsAndAllFullStartsOver) {
  TestSession session("link");
  std::vector<std::unique_ptr<ZolvarTesk_Receive>> receivers;
  for (int i = 0; i < kSlotCount; ++i) {
    receivers.push_back(std::make_unique<ZolvarTesk_Receive>(IPlugInstanceInfo{}));
    ASSERT_EQ(receivers.back()->Link().SlotIndex(), i);
    EXPECT_FALSE(i > 0 && SegmentCreated(receivers.back()->Link().Segment()));
  }
  // Regression: the restart used to free every slot, a live sender's too, whose flag then stayed
  // up with the level -1.0 (0 dB) for every receiver to follow.
  RawSegment raw(session.Name());
  StoreSlot(raw.Data(), 7, 1, 0.25); // a sender publishing in slot 7
  raw.Data()[2048 + 7] = 1;
  ZolvarTesk_Receive extra(IPlugInstanceInfo{});
  EXPECT_EQ(extra.Link().SlotIndex(), 0);
  EXPECT_EQ(LoadSlot(raw.Data(), 0, 0), 0.0);
  for (int i = 1; i < kSlotCount; ++i)
    EXPECT_EQ(LoadSlot(raw.Data(), i, 0), i == 7 ? 0.0 : -1.0) << i;
  EXPECT_EQ(LoadSlot(raw.Data(), 7, 1), 0.25);
  EXPECT_EQ(raw.Data()[2048 + 7], 1);
  // Receivers give their slots back when they go away; the sender's stays as it is.
  receivers.clear();
  for (int i = 1; i < kSlotCount; ++i)
    EXPECT_EQ(LoadSlot(raw.Data(), i, 0), i == 7 ? 0.0 : -1.0) << i;
  EXPECT_EQ(LoadSlot(raw.Data(), 7, 1), 0.25);
  EXPECT_EQ(raw.Data()[2048 + 7], 1);
}

TEST(Link, FollowsTheLowestFlaggedSlotByMagnitude) {
  ReceiverRig rig("link");
  RawSegment raw(rig.session.Name());
  StoreSlot(raw.Data(), 3, 1, 0.5);
  StoreSlot(raw.Data(), 5, 0, 42.0);
  StoreSlot(raw.Data(), 5, 1, 0.1);
  StoreSlot(raw.Data(), 9, 1, 0.9);
  raw.Data()[2048 + 3] = 2; // not 1: not followed
  raw.Data()[2048 + 5] = 1;
  raw.Data()[2048 + 9] = 1;
  ReferenceLink& link = rig.plug->Link();
  {
    std::lock_guard<std::recursive_mutex> lock(rig.plug->Mutex());
    link.ReadReference();
  }
  EXPECT_NEAR(link.referenceDb, -20.0, 1e-9);
  EXPECT_EQ(link.firstValue, 42.0);
  StoreSlot(raw.Data(), 5, 1, -0.5);
  link.ReadReference();
  EXPECT_NEAR(link.referenceDb, -6.0206, 1e-4);
  StoreSlot(raw.Data(), 5, 1, 0.0);
  link.ReadReference();
  EXPECT_EQ(link.referenceDb, -HUGE_VAL);
  raw.Data()[2048 + 5] = 0;
  link.ReadReference();
  EXPECT_NEAR(link.referenceDb, 20 * std::log10(0.9), 1e-9);
}

TEST(Link, InvalidHeaderAndSizeMismatchAreReportedAndIgnored) {
  struct {
    const char* what;
    uint64_t bytes;
    const char* magic;
    uint64_t sizeField;
    const char* message;
  } cases[] = {
    {"wrong magic", 2240, "SMEX", 2176, "shmem(\"ZolvarTesk\", 2176) failed: invalid header\n"},
    {"other size", 4096 + 64, "SMEM", 4096,
     "shmem(\"ZolvarTesk\", 2176) failed: size mismatch (found 4096)\n"},
#if !defined(_WIN32) // a smaller POSIX object is mapped only as far as it reaches
    {"too small", 1000, "SMEM", 2176,
     "shmem(\"ZolvarTesk\", 2176) failed: size mismatch (found 2176)\n"},
    {"tiny", 8, "SMEM", 0, "shmem(\"ZolvarTesk\", 2176) failed: invalid header\n"},
    // An object that never gets a size was left by a creator that died: no segment, silently.
    {"never sized", 0, "", 0, ""},
#endif
    // A header never finished is judged as it stands once the wait for its creator is over.
    {"magic never written", 2240, "\0\0\0\0", 2176,
     "shmem(\"ZolvarTesk\", 2176) failed: invalid header\n"},
    {"size never written", 2240, "SMEM", 0,
     "shmem(\"ZolvarTesk\", 2176) failed: size mismatch (found 0)\n"},
  };
  for (const auto& c : cases) {
    TestSession session("link");
    RawSegment raw(session.Name(), c.bytes);
    ASSERT_EQ(raw.result, c.bytes ? zt::os::MapResult::Created : zt::os::MapResult::Failed)
        << c.what;
    if (c.bytes) memcpy(raw.View(), c.magic, std::min<uint64_t>(4, c.bytes));
    if (c.bytes >= 16) memcpy(raw.View() + 8, &c.sizeField, 8);
    testing::internal::CaptureStderr();
    ZolvarTesk_Receive plug(IPlugInstanceInfo{});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message) << c.what;
    EXPECT_EQ(plug.Link().Segment(), nullptr);
    EXPECT_EQ(plug.Link().SlotIndex(), -1);
    plug.Link().ReadReference();
    EXPECT_EQ(plug.Link().referenceDb, -1000.0);
  }
}

// Regression: a receiver that opened the segment while its creator in another process had not yet
// sized it or written its header got no segment and never looked again.
TEST(Link, AReceiverWaitsForTheCreatorToFinishTheSegment) {
#if defined(_WIN32)
  const bool sizedFirst[] = {true}; // a Windows mapping is created with its size
#else
  const bool sizedFirst[] = {false, true};
#endif
  for (bool sized : sizedFirst) {
    TestSession session("link");
    // The creator's first step: the object exists, with or without its size.
    RawSegment first(session.Name(), sized ? 2240 : 0);
    std::thread creator([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
#if !defined(_WIN32)
      if (!sized) {
        const int fd = shm_open(session.Name().c_str(), O_RDWR, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, 2240), 0);
        close(fd);
      }
#endif
      RawSegment raw(session.Name());
      ASSERT_NE(raw.View(), nullptr);
      uint64_t size = 2176;
      memcpy(raw.View() + 8, &size, 8);
      FreeAllSlots(raw.Data());
      memcpy(raw.View(), "SMEM", 4);
    });
    testing::internal::CaptureStderr();
    ZolvarTesk_Receive plug(IPlugInstanceInfo{});
    creator.join();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << sized;
    ASSERT_NE(plug.Link().Segment(), nullptr) << sized;
    EXPECT_FALSE(SegmentCreated(plug.Link().Segment()));
    EXPECT_EQ(plug.Link().SlotIndex(), 0);
  }
}

// Regression: a level in the slot that was finite but absurd (1e40, or -3.1e231 from a fuzzer)
// passed as a reference and drove the gain to infinity.
TEST(Link, LevelsNoProgrammeCanHaveAreNoReference) {
  ReceiverRig rig("link");
  RawSegment raw(rig.session.Name());
  raw.Data()[2048 + 2] = 1;
  struct {
    double level, db;
  } cases[] = {
      {0.1, -20.0},
      {std::pow(10.0, 29.9 / 20.0), 29.9},
      {-31.6, 20 * std::log10(31.6)},
      {31.7, -1000.0},
      {1e40, -1000.0},
      {-3.1e231, -1000.0},
      {HUGE_VAL, -1000.0},
      {std::nan(""), -1000.0},
      {1e-300, 20 * std::log10(1e-300)}, // very quiet: the gain rules treat it as silence
  };
  for (const auto& c : cases) {
    StoreSlot(raw.Data(), 2, 1, c.level);
    rig.plug->Link().ReadReference();
    EXPECT_NEAR(rig.plug->Link().referenceDb, c.db, 1e-9) << c.level;
  }
}

TEST(Link, SenderCreatingTheSegmentLeavesSlotsFreeForReceivers) {
  TestSession session("link");
  ReferenceSender sender;
  ASSERT_TRUE(sender.Open());
  EXPECT_EQ(sender.Slot(), 0);
  sender.PublishLufs(-20.0);
  ZolvarTesk_Receive plug(IPlugInstanceInfo{});
  EXPECT_EQ(plug.Link().SlotIndex(), 1);
  plug.Link().ReadReference();
  EXPECT_NEAR(plug.Link().referenceDb, -20.0, 1e-9);
  EXPECT_EQ(plug.Link().firstValue, 0.0);
  sender.Withdraw();
  plug.Link().ReadReference();
  EXPECT_EQ(plug.Link().referenceDb, -1000.0);
}

TEST(Link, SessionKeySelectsTheSegmentNameAndBadKeysAreIgnored) {
  TestSession session("link");
  const std::string good = zt::os::SharedName("ZolvarTesk");
  EXPECT_NE(good.find(session.Key()), std::string::npos);
  for (const char* bad :
       {"", "has space", "slash/inside",
        "0123456789012345678901234567890123456789012345678901234567890123456789"}) {
    SetEnv("ZOLVARTESK_SESSION", bad);
    const std::string name = zt::os::SharedName("ZolvarTesk");
    EXPECT_EQ(name.find(bad[0] ? bad : "\x01"), std::string::npos) << bad;
  }
  SetEnv("ZOLVARTESK_SESSION", session.Key().c_str());
}

} // namespace
