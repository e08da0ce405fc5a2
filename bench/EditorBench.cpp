// The editor's timer tick on the receiver's layout (background and three switches from the
// module's images, 256 x 300): a tick with nothing dirty, a full repaint, and the repaint of one
// dirty switch.
#include <memory>

#include <benchmark/benchmark.h>

#include "igraphics/IControl.h"
#include "igraphics/IGraphicsHeadless.h"
#include "iplug/test/IPlugTest.h"

namespace {

class BenchPlug : public IPlugTest {
public:
  BenchPlug() : IPlugTest(IPlugInstanceInfo{}, Config()) {
    recordEvents = false;
    for (int i = 0; i < 3; ++i)
      GetParam(i)->ConfigureBool("switch", false);
  }

private:
  static PluginConfig Config() {
    PluginConfig c;
    c.paramCount = 3;
    c.channelIO = "2-2";
    return c;
  }
};

struct EditorRig {
  EditorRig() {
    plug = std::make_unique<BenchPlug>();
    editor = new IGraphicsHeadless(plug.get(), 256, 300);
    editor->AddBackground(100, "resources/img/bkg.png");
    struct Switch {
      int id;
      const char* name;
      int x, y, param;
    } switches[] = {{101, "resources/img/analyze-btn.png", 144, 60, 0},
                    {103, "resources/img/normalize-btn.png", 144, 98, 1},
                    {102, "resources/img/bypass-btn.png", 78, 217, 2}};
    for (const Switch& s : switches) {
      BitmapRef* bmp = editor->LoadBitmapResource(s.id, s.name, 2, false);
      auto* sw = new ISwitchControl(plug.get(), s.x, s.y, s.param, bmp);
      editor->AddControl(sw);
      if (!first) first = sw;
    }
    plug->AttachEditor(editor);
    editor->OpenEditorWindow(nullptr);
    while (editor->Tick()) {
    }
  }
  std::unique_ptr<BenchPlug> plug;
  IGraphicsHeadless* editor; // owned by plug
  ISwitchControl* first = nullptr;
};

void BM_QuietTick(benchmark::State& state) {
  EditorRig rig;
  for (auto _ : state)
    benchmark::DoNotOptimize(rig.editor->Tick());
}
BENCHMARK(BM_QuietTick)->Unit(benchmark::kMicrosecond);

// Every control painted over the whole editor, and the whole editor presented.
void BM_FullRepaint(benchmark::State& state) {
  EditorRig rig;
  const ControlRect all{0, 0, 256, 300};
  for (auto _ : state)
    benchmark::DoNotOptimize(rig.editor->RedrawRect(all));
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMicrosecond);

// One switch marked dirty, then the tick that finds it, repaints its 100 x 32 rect (background
// below it, then the switch) and presents it.
void BM_OneDirtyControl(benchmark::State& state) {
  EditorRig rig;
  double v = 0.0;
  for (auto _ : state) {
    v = 1.0 - v;
    rig.first->SetValue(v);
    rig.first->MarkDirty(false);
    benchmark::DoNotOptimize(rig.editor->Tick());
    rig.first->AfterPaint(); // drop the second-tick mark so that every iteration starts clean
  }
}
BENCHMARK(BM_OneDirtyControl)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
