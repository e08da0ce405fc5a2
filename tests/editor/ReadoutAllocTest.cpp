// The read-outs' hand-over costs the audio thread no allocation and no lock: UpdateText with the
// text already shown marks nothing, with a new text it marks once, and neither allocates. The C
// allocation probe counts what happens.
#include <gtest/gtest.h>

#include "tests/support/AllocProbe.h"
#include "ycairo/ICairoControls.h"
#include "igraphics/IGraphicsHeadless.h"
#include "tests/support/ReceiverRig.h"

namespace {

TEST(ReadoutAudioPath, UpdateTextAllocatesNothingAndMarksOnlyChanges) {
  ReceiverRig rig("ra");
  auto* editor = dynamic_cast<IGraphicsHeadless*>(rig.plug->Editor());
  ASSERT_NE(editor, nullptr);
  editor->OpenEditorWindow(nullptr);
  ICairoText* readout = rig.plug->ReadoutIn();
  ASSERT_NE(readout, nullptr);
  readout->UpdateText("-23.4");
  for (int i = 0; i < 3; ++i)
    editor->Tick(); // painted; the marks are used up
  ASSERT_FALSE(readout->NeedsPaint());

  ProbeCounts c = AllocProbe::Measure([&] {
    for (int i = 0; i < 1000; ++i)
      readout->UpdateText("-23.4");
  });
  EXPECT_EQ(c.allocations, 0);
  EXPECT_EQ(c.locks, 0);
  EXPECT_FALSE(readout->NeedsPaint()) << "the same text marked the read-out";

  c = AllocProbe::Measure([&] {
    readout->UpdateText("-inf");
    readout->UpdateText("-123.4");
    readout->UpdateText(""); // shrinking to nothing allocates nothing either
  });
  EXPECT_EQ(c.allocations, 0);
  EXPECT_EQ(c.locks, 0);
  EXPECT_TRUE(readout->NeedsPaint());
}

} // namespace
