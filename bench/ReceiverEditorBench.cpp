// The receiver's complete editor (switches, cairo read-outs, target field, version label): the
// timer tick that repaints one read-out whose text changed, a full 256 x 300 repaint, and the
// audio thread's UpdateText with the same and with a new text.
#include <memory>

#include <benchmark/benchmark.h>

#include "ycairo/ICairoControls.h"
#include "igraphics/IGraphicsHeadless.h"
#include "tests/support/TestSession.h"
#include "plugin/ZolvarTesk_Receive.h"

namespace {

struct Rig {
  Rig() : session("edbench") {
    plug = std::make_unique<ZolvarTesk_Receive>(IPlugInstanceInfo{});
    plug->recordEvents = false;
    editor = dynamic_cast<IGraphicsHeadless*>(plug->Editor());
    editor->OpenEditorWindow(nullptr);
    for (int i = 0; i < 4; ++i)
      editor->Tick();
  }
  TestSession session;
  std::unique_ptr<ZolvarTesk_Receive> plug;
  IGraphicsHeadless* editor = nullptr; // owned by plug
};

// What a changed loudness costs the user-interface thread: the read-out is marked by
// UpdateText, and the tick repaints its rect (background, read-out text) and presents it.
void BM_ChangedReadoutRepaint(benchmark::State& state) {
  Rig rig;
  ICairoText* readout = rig.plug->ReadoutIn();
  const char* texts[] = {"-23.4", "-23.5"};
  int i = 0;
  for (auto _ : state) {
    readout->UpdateText(texts[i++ & 1]);
    benchmark::DoNotOptimize(rig.editor->Tick());
  }
}
BENCHMARK(BM_ChangedReadoutRepaint)->Unit(benchmark::kMicrosecond);

// Every control repainted, as when the window opens.
void BM_FullEditorRepaint(benchmark::State& state) {
  Rig rig;
  for (auto _ : state) {
    rig.editor->MarkAllDirty();
    benchmark::DoNotOptimize(rig.editor->Tick());
  }
}
BENCHMARK(BM_FullEditorRepaint)->Unit(benchmark::kMicrosecond);

// The audio thread's share per read-out and block: one comparison when nothing changed...
void BM_UpdateTextUnchanged(benchmark::State& state) {
  Rig rig;
  ICairoText* readout = rig.plug->ReadoutIn();
  readout->UpdateText("-23.4");
  for (auto _ : state)
    readout->UpdateText("-23.4");
}
BENCHMARK(BM_UpdateTextUnchanged);

// ... and the store plus the mark when it did.
void BM_UpdateTextChanged(benchmark::State& state) {
  Rig rig;
  ICairoText* readout = rig.plug->ReadoutIn();
  const char* texts[] = {"-23.4", "-inf"};
  int i = 0;
  for (auto _ : state)
    readout->UpdateText(texts[i++ & 1]);
}
BENCHMARK(BM_UpdateTextChanged);

} // namespace

BENCHMARK_MAIN();
