// The audio thread dims controls and pushes values into them under the instance mutex while the
// user-interface thread paints and clicks without it. Run under ThreadSanitizer this shows the
// shared control state is race-free; in every build, that no mark of the audio thread is lost:
// the last state it left is what the screen shows once the editor settles.
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "tests/igraphics/EditorRig.h"

namespace {

TEST(Concurrency, AudioThreadMarksWhileTheEditorPaints) {
  EditorRig rig;
  rig.Open();
  rig.plug->recordEvents = false;
  std::atomic<bool> done{false};
  std::atomic<int> uiTicks{0};
  std::thread audio([&] {
    // Long enough that both threads surely overlap, whatever the scheduler does.
    for (int i = 0; i < 20000 || uiTicks.load() < 500; ++i) {
      std::lock_guard<std::recursive_mutex> lock(rig.plug->Mutex());
      rig.editor->DimParamControls(kParamOther, (i & 1) != 0);
      rig.editor->PushParamToControls(kParamSwitch, (i & 2) ? 1.0 : 0.0, true);
    }
    std::lock_guard<std::recursive_mutex> lock(rig.plug->Mutex());
    rig.editor->DimParamControls(kParamOther, true);
    done = true;
  });
  while (!done) {
    rig.editor->Tick();
    if (uiTicks.fetch_add(1) % 7 == 0) rig.Click(10, 8);
    std::this_thread::yield();
  }
  audio.join();
  rig.Settle();

  EXPECT_TRUE(rig.switch2->IsDimmed());
  auto mix = [](int s, int d) { return s + (d - s) * (256 - 64) / 256; };
  const LICE_pixel dimmedOff =
      LICE_RGBA(mix(LICE_GETR(kOffPixel), LICE_GETR(kBackgroundPixel)),
                mix(LICE_GETG(kOffPixel), LICE_GETG(kBackgroundPixel)),
                mix(LICE_GETB(kOffPixel), LICE_GETB(kBackgroundPixel)), 255);
  const LICE_IBitmap& screen = rig.editor->Screen();
  EXPECT_EQ(CountOther(screen, EditorRig::kSwitch2, dimmedOff), 0);
  const LICE_pixel frame1 = rig.switch1->Value() >= 0.5 ? kOnPixel : kOffPixel;
  EXPECT_EQ(CountOther(screen, EditorRig::kSwitch1, frame1), 0);
  EXPECT_FALSE(rig.editor->Tick());
}

} // namespace
