#pragma once
// A small plug-in on the host-less adapter (which records what reaches the host) with a headless
// editor whose images are drawn by the test: a background and two-frame switches in flat colours
// whose pixels a test can predict.

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "igraphics/IControl.h"
#include "igraphics/IGraphicsHeadless.h"
#include "iplug/test/IPlugTest.h"
#include "lice/lice.h"

enum TestParams { kParamSwitch = 0, kParamTarget = 1, kParamOther = 2, kParamGain = 3, kNumParams };

class TestPlug : public IPlugTest {
public:
  TestPlug() : IPlugTest(IPlugInstanceInfo{}, Config()) {
    GetParam(kParamSwitch)->ConfigureBool("Switch", false);
    GetParam(kParamTarget)->ConfigureDouble("Target", -23.0, -60.0, 0.0, 1.0, "LUFS");
    GetParam(kParamOther)->ConfigureBool("Other", false);
    GetParam(kParamGain)->ConfigureDouble("Gain", 0.25, 0.0, 1.0, 0.01);
  }

  void ParameterChanged(int paramIdx, int source) override {
    IPlugTest::ParameterChanged(paramIdx, source);
    changes.push_back({paramIdx, source});
  }

  struct Change {
    int index, source;
    bool operator==(const Change&) const = default;
  };
  std::vector<Change> changes;

private:
  static PluginConfig Config() {
    PluginConfig c;
    c.paramCount = kNumParams;
    c.channelIO = "2-2";
    c.effectName = "editor test";
    return c;
  }
};

// Flat colours of the test images.
constexpr LICE_pixel kBackgroundPixel = LICE_RGBA(0x20, 0x40, 0x60, 255);
constexpr LICE_pixel kOffPixel = LICE_RGBA(0xAA, 0x10, 0x10, 255);   // frame 1 of a switch
constexpr LICE_pixel kOnPixel = LICE_RGBA(0x10, 0xBB, 0x10, 255);    // frame 2
constexpr LICE_pixel kThirdPixel = LICE_RGBA(0x10, 0x10, 0xCC, 255); // frame 3, where there is one

inline void FillRect(LICE_IBitmap& bmp, const ControlRect& r, LICE_pixel p) {
  for (int y = std::max(0, r.top); y < std::min(r.bottom, bmp.Height()); ++y)
    for (int x = std::max(0, r.left); x < std::min(r.right, bmp.Width()); ++x)
      bmp.PixelData()[y * bmp.PixelsPerRow() + x] = p;
}

inline LICE_pixel PixelAt(const LICE_IBitmap& bmp, int x, int y) {
  return bmp.PixelData()[y * bmp.PixelsPerRow() + x];
}

// Number of pixels in r of bmp that differ from p.
inline int CountOther(const LICE_IBitmap& bmp, const ControlRect& r, LICE_pixel p) {
  int n = 0;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x)
      n += PixelAt(bmp, x, y) != p;
  return n;
}

// A fresh block of ten resource ids for one test.
inline int FreshIds() {
  static int next = 20000;
  return next += 10;
}

// Image generators by resource id; ids are process-wide (the image cache is), so every test
// uses ids of its own.
class TestEditor : public IGraphicsHeadless {
public:
  using Generator = std::function<LICE_IBitmap*()>;
  TestEditor(IPlugBase* plug, int w, int h) : IGraphicsHeadless(plug, w, h) {}

  std::map<int, Generator> images;
  std::map<int, int> decodes; // LoadPngResource calls per id

  LICE_IBitmap* LoadPngResource(int resourceId, const char* name) override {
    ++decodes[resourceId];
    auto it = images.find(resourceId);
    if (it == images.end()) return IGraphicsHeadless::LoadPngResource(resourceId, name);
    return it->second();
  }
};

inline LICE_IBitmap* FlatImage(int w, int h, LICE_pixel p) {
  auto* bmp = new LICE_MemBitmap(w, h);
  FillRect(*bmp, {0, 0, w, h}, p);
  return bmp;
}

// frames stacked frames of w x h, frame k (from 0) in colours[k].
inline LICE_IBitmap* StackedFrames(int w, int h, const std::vector<LICE_pixel>& colours) {
  const int frames = static_cast<int>(colours.size());
  auto* bmp = new LICE_MemBitmap(w, h * frames);
  for (int k = 0; k < frames; ++k)
    FillRect(*bmp, {0, k * h, w, (k + 1) * h}, colours[k]);
  return bmp;
}

// A control that records how the editor uses it.
class ProbeControl : public IControl {
public:
  ProbeControl(IPlugBase* plug, const ControlRect& r, int paramIdx = -1)
      : IControl(plug, r, paramIdx) {}
  ~ProbeControl() override {
    if (onDestroy) onDestroy();
  }

  bool Paint(IGraphics*) override {
    ++paints;
    return true;
  }
  bool NeedsPaint() override {
    ++needsPaintCalls;
    return IControl::NeedsPaint();
  }
  void HandleMouseDown(int x, int y, const MouseMods& mods) override {
    log.push_back("down");
    IControl::HandleMouseDown(x, y, mods);
  }
  void HandleMouseUp(int, int, const MouseMods&) override { log.push_back("up"); }
  void HandleMouseDrag(int, int, int dx, int dy, const MouseMods&) override {
    Log("drag %d %d", dx, dy);
  }
  void HandleDoubleClick(int, int, const MouseMods&) override { log.push_back("double"); }
  void HandleWheel(int, int, const MouseMods&, int notches) override { Log("wheel %d", notches); }
  bool HandleKey(int, int, int key) override {
    Log("key %d", key);
    return takesKeys;
  }
  void TakeEnteredText(const char* text) override { entered = text; }

  template <typename... Args> void Log(const char* format, Args... args) {
    char s[64];
    snprintf(s, sizeof s, format, args...);
    log.push_back(s);
  }

  int paints = 0;
  int needsPaintCalls = 0;
  bool takesKeys = true;
  std::vector<std::string> log;
  std::string entered;
  std::function<void()> onDestroy;
};

// The editor of a TestPlug, 64 x 48, with a background (index 0) and two switches: index 1 on
// kParamSwitch at (4, 4) and index 2 on kParamOther at (30, 20), each 20 x 8 per frame. Ids
// are base (background) and base + 1 (switch image).
struct EditorRig {
  static constexpr int kW = 64, kH = 48;
  static constexpr ControlRect kSwitch1{4, 4, 24, 12};
  static constexpr ControlRect kSwitch2{30, 20, 50, 28};

  explicit EditorRig(int base = FreshIds()) {
    plug = std::make_unique<TestPlug>();
    editor = new TestEditor(plug.get(), kW, kH);
    editor->images[base] = [] { return FlatImage(kW, kH, kBackgroundPixel); };
    editor->images[base + 1] = [] { return StackedFrames(20, 8, {kOffPixel, kOnPixel}); };
    editor->AddBackground(base, "bkg.png");
    BitmapRef* sw = editor->LoadBitmapResource(base + 1, "switch.png", 2, false);
    switch1 = new ISwitchControl(plug.get(), kSwitch1.left, kSwitch1.top, kParamSwitch, sw);
    switch2 = new ISwitchControl(plug.get(), kSwitch2.left, kSwitch2.top, kParamOther, sw);
    editor->AddControl(switch1);
    editor->AddControl(switch2);
  }
  ~EditorRig() {
    if (plug->Editor() != editor) delete editor;
  }
  void Attach() { plug->AttachEditor(editor); }
  // Attached, window open and the first full paint done.
  void Open() {
    Attach();
    editor->OpenEditorWindow(&parent);
    Settle();
  }
  // Ticks until nothing is left to paint.
  void Settle() {
    for (int i = 0; i < 4 && editor->Tick(); ++i) {
    }
  }
  void Click(int x, int y, MouseMods mods = {true}) {
    editor->PressMouse(x, y, mods);
    editor->ReleaseMouse(x, y, mods);
  }

  int parent = 0;
  std::unique_ptr<TestPlug> plug;
  TestEditor* editor; // owned by plug once attached
  ISwitchControl* switch1;
  ISwitchControl* switch2;
};
