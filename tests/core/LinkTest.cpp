#include <cmath>
#include <cstring>
#include <memory>

#include <gtest/gtest.h>

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
  RawSegment raw(session.Name());
  raw.Data()[2048 + 7] = 1; // a flag the restart must leave alone
  ZolvarTesk_Receive extra(IPlugInstanceInfo{});
  EXPECT_EQ(extra.Link().SlotIndex(), 0);
  EXPECT_EQ(LoadSlot(raw.Data(), 0, 0), 0.0);
  for (int i = 1; i < kSlotCount; ++i)
    EXPECT_EQ(LoadSlot(raw.Data(), i, 0), -1.0) << i;
  EXPECT_EQ(raw.Data()[2048 + 7], 1);
  // Slots are not given back when a receiver goes away.
  receivers.clear();
  EXPECT_EQ(LoadSlot(raw.Data(), 0, 0), 0.0);
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
#endif
  };
  for (const auto& c : cases) {
    TestSession session("link");
    RawSegment raw(session.Name(), c.bytes);
    ASSERT_EQ(raw.result, zt::os::MapResult::Created) << c.what;
    memcpy(raw.View(), c.magic, std::min<uint64_t>(4, c.bytes));
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
