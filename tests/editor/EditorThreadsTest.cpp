// The editor's threads against each other, as a host runs them: the audio thread processes
// blocks (read-out texts, dimming) under the instance mutex, a parameter thread switches
// analysis and normalisation (pushing values into the switches), and the user-interface thread
// runs the window timer without the mutex. Built for ThreadSanitizer too (label "tsan"): the
// hand-over must be free of data races, and the audio thread must never wait for painting.
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/editor/EditorPixels.h"
#include "ycairo/ICairoControls.h"
#include "igraphics/IControl.h"
#include "igraphics/IGraphicsHeadless.h"
#include "tests/support/ReceiverRig.h"
#include "tests/support/Signals.h"

using namespace editor_pixels;

namespace {

TEST(EditorThreads, AudioParameterAndPaintThreadsShareTheEditorSafely) {
  ReceiverRig rig("thr");
  rig.plug->recordEvents = false; // the host record is not thread-safe, and not under test
  auto* editor = dynamic_cast<IGraphicsHeadless*>(rig.plug->Editor());
  ASSERT_NE(editor, nullptr);
  editor->OpenEditorWindow(nullptr);

  constexpr int kBlocks = 400;
  std::atomic<bool> audioDone{false};
  std::atomic<long> ticks{0};

  std::thread ui([&] {
    while (!audioDone.load(std::memory_order_acquire)) {
      editor->Tick();
      ticks.fetch_add(1, std::memory_order_relaxed);
    }
  });
  std::thread host([&] {
    for (int i = 0; !audioDone.load(std::memory_order_acquire); ++i) {
      {
        std::lock_guard<std::recursive_mutex> lock(rig.plug->Mutex());
        const int idx = i % 2 ? ParamAnalysis : ParamOutputNormalization;
        rig.plug->GetParam(idx)->SetClamped(1.0);
        rig.plug->ParameterChanged(idx, kSourceHost);
        rig.plug->RefreshEditorParams();
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });

  // Loud and silent stretches, so that both read-outs change text over and over; the audio
  // keeps going until the other threads have run a while beside it (a block takes microseconds,
  // and a busy machine may start a thread late).
  ::Noise noise(3);
  for (int b = 0; b < kBlocks || ticks.load(std::memory_order_relaxed) < 50; ++b) {
    const double amp = (b / 40) % 2 ? 0.0 : 0.05 + 0.001 * (b % 40);
    rig.Run(256, [&](int, int) { return amp * noise.Next(); });
  }
  audioDone.store(true, std::memory_order_release);
  host.join();
  ui.join();
  EXPECT_GT(ticks.load(), 0);

  // Quiet now: the last texts reach the screen whole.
  const std::string in = rig.plug->ReadoutInText(), out = rig.plug->ReadoutOutText();
  char shown[SharedText::kCapacity];
  rig.plug->ReadoutIn()->CopyText(shown);
  EXPECT_EQ(in, shown);
  rig.plug->ReadoutOut()->CopyText(shown);
  EXPECT_EQ(out, shown);
  for (int i = 0; i < 4; ++i)
    editor->Tick();
  auto background = Background();
  ASSERT_NE(background, nullptr);
  auto expectedIn = WithText(*background, in.c_str(), kReadoutIn, kAmber);
  auto expectedOut = WithText(*background, out.c_str(), kReadoutOut, kAmber);
  EXPECT_TRUE(SameArea(editor->Screen(), *expectedIn, kReadoutIn, 1)) << in;
  EXPECT_TRUE(SameArea(editor->Screen(), *expectedOut, kReadoutOut, 1)) << out;
}

// The read-out alone, at full speed on both sides: the painting thread only ever draws texts
// that the audio thread really set.
TEST(EditorThreads, ReadoutPaintsOnlyWholeTexts) {
  LICE_SysBitmap back(256, 300);
  ycairo_context context(nullptr);
  context.Bind(&back);
  ICairoText readout(nullptr, kReadoutIn, &context, kAmber, "");
  const char* texts[] = {"-inf", "-12.3", "-160.0", "0.0", "-23.4"};
  std::atomic<bool> done{false};
  std::atomic<long> torn{0}, paints{0};
  std::thread ui([&] {
    char shown[SharedText::kCapacity];
    while (!done.load(std::memory_order_acquire)) {
      if (readout.NeedsPaint()) {
        readout.Paint(nullptr);
        readout.AfterPaint();
        paints.fetch_add(1, std::memory_order_relaxed);
      }
      readout.CopyText(shown);
      bool whole = shown[0] == '\0';
      for (const char* t : texts)
        whole = whole || strcmp(shown, t) == 0;
      if (!whole) torn.fetch_add(1, std::memory_order_relaxed);
    }
  });
  for (int i = 0; i < 100000 || paints.load() < 10; ++i)
    readout.UpdateText(texts[(i / 3) % 5]);
  done.store(true, std::memory_order_release);
  ui.join();
  EXPECT_EQ(torn.load(), 0);
}

// Regression: the target field took the instance mutex to read its parameter while painting, so
// the audio thread, which holds it around every block, could wait behind the editor. Now the
// field paints while another thread holds the mutex and changes the target under it.
TEST(EditorThreads, TheTargetFieldPaintsWithoutTheInstanceMutex) {
  ReceiverRig rig("thr");
  auto* editor = dynamic_cast<IGraphicsHeadless*>(rig.plug->Editor());
  ASSERT_NE(editor, nullptr);
  editor->OpenEditorWindow(nullptr);
  IControl* field = editor->GetControl(6);
  ASSERT_NE(field, nullptr);

  std::atomic<bool> held{false}, painted{false}, timedOut{false};
  std::thread audio([&] {
    std::lock_guard<std::recursive_mutex> lock(rig.plug->Mutex());
    held.store(true, std::memory_order_release);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (int i = 0; !painted.load(std::memory_order_acquire); ++i) {
      rig.plug->GetParam(ParamTarget)->SetClamped(-20.0 - i % 30); // a host changing it
      if (std::chrono::steady_clock::now() > until) {
        timedOut.store(true);
        break;
      }
    }
  });
  while (!held.load(std::memory_order_acquire))
    std::this_thread::yield();
  for (int i = 0; i < 50; ++i) {
    field->MarkDirty(false);
    editor->Tick();
  }
  painted.store(true, std::memory_order_release);
  audio.join();
  EXPECT_FALSE(timedOut.load()) << "painting waited for the instance mutex";
}

} // namespace
