// The AAX adapter in-process, where the module hides it: a probe plug-in built on IPlugAAX with
// the real exports, driven by the mock AAX host. What a plug-in sees of the host (the
// ParameterChanged sources and the mutex, blocks and resets, the transport, the channels, the
// editor's pushes and its presses offered to the host) is recorded by the probe.
#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "iplug/aax/AAXEntry.h"
#include "igraphics/IControl.h"
#include "igraphics/IGraphicsHeadless.h"
#include "tests/support/CaptureStdout.h"
#include "tools/aaxhost/AaxHost.h"

using namespace zt::aaxhost;

namespace {

// What the probe saw.
struct ProbeLog {
  struct Change {
    int index, source;
    bool mutexHeld;
    bool operator==(const Change&) const = default;
  };
  std::vector<Change> changes;
  int resets = 0, blocks = 0, blockSizeAtLastReset = 0;
  std::vector<int> frames;
  TransportInfo transport;
  double lastInput[2] = {0.0, 0.0}; // the last sample of each input
  bool throwOnConstruction = false;
};
ProbeLog gLog;

// True when the instance mutex is held by some thread (this one, here).
bool HeldElsewhereThanFreshThread(std::recursive_mutex& m) {
  return !std::async(std::launch::async, [&] {
            if (!m.try_lock()) return false;
            m.unlock();
            return true;
          }).get();
}

// A control that draws nothing; it carries the value the editor pushes.
class ValueControl : public IControl {
public:
  using IControl::IControl;
  bool Paint(IGraphics*) override { return true; }
};

class Probe : public IPlugAAX {
public:
  static PluginConfig Config() {
    PluginConfig c;
    c.paramCount = 3;
    c.channelIO = "1-1 2-2";
    c.effectName = "Probe";
    c.makerName = "Zolvar";
    c.version = 0x00010000;
    c.uniqueId = FourCC('P', 'r', 'b', 'e');
    c.makerId = FourCC('Z', 'l', 'V', 'r');
    return c;
  }

  explicit Probe(IPlugInstanceInfo info) : IPlugAAX(info, Config()) {
    if (gLog.throwOnConstruction) throw std::runtime_error("no");
    GetParam(0)->ConfigureBool("Switch", false);
    GetParam(1)->ConfigureDouble("Level", -23.0, -60.0, 0.0, 1.0, "dB");
    GetParam(2)->ConfigureBool("Other", true);
    auto* editor = new IGraphicsHeadless(this, 200, 100);
    levelControl = new ValueControl(this, {10, 10, 60, 40}, 1);
    editor->AddControl(levelControl);
    AttachEditor(editor);
  }

  void Reset() override {
    ++gLog.resets;
    gLog.blockSizeAtLastReset = BlockSize();
  }
  void ParameterChanged(int index, int source) override {
    gLog.changes.push_back({index, source, HeldElsewhereThanFreshThread(Mutex())});
  }
  void ProcessBlock(double** in, double** out, int frames) override {
    ++gLog.blocks;
    gLog.frames.push_back(frames);
    ReadTransport(gLog.transport);
    gLog.lastInput[0] = in[0][frames - 1];
    gLog.lastInput[1] = in[1][frames - 1];
    for (int c = 0; c < 2; ++c)
      for (int k = 0; k < frames; ++k)
        out[c][k] = 0.5 * in[c][k];
  }

  IControl* levelControl = nullptr;
};

} // namespace

ZT_AAX_ENTRY_POINTS(Probe, "EFN1 EFA1 EFN2 EFA2")

namespace {

AcfExports ProbeExports() {
  return {&ACFRegisterPlugin, &ACFRegisterComponent, &ACFGetClassFactory, &ACFCanUnloadNow,
          &ACFStartup,        &ACFShutdown,          &ACFGetSDKVersion};
}

class AaxAdapter : public ::testing::Test {
protected:
  void SetUp() override {
    gLog = ProbeLog();
    std::string error;
    module = AaxModule::FromExports(ProbeExports(), &error);
    ASSERT_NE(module, nullptr) << error;
    ASSERT_EQ(module->RegisterResult(), kAAXSuccess);
  }
  void TearDown() override {
    instance.reset();
    EXPECT_EQ(CACFUnknown::LiveObjects(), 0);
    module.reset();
    EXPECT_EQ(LiveHostObjects(), 0);
  }
  void Create(size_t component = 1) {
    std::string error;
    instance = AaxInstance::Create(*module, component, &error, 44100.0f);
    ASSERT_NE(instance, nullptr) << error;
  }
  // The probe behind the instance's effect-parameters interface.
  Probe& Plug() {
    void* out = nullptr;
    instance->Parameters()->QueryInterface(kIID_IPlugInstance, &out);
    auto* face = static_cast<AAX_CIPlugParameters*>(out);
    face->Release();
    return *static_cast<Probe*>(face);
  }
  void Render(int frames, float level = 0.25f) {
    in[0].assign(static_cast<size_t>(frames), level);
    in[1].assign(static_cast<size_t>(frames), -level);
    out[0].assign(static_cast<size_t>(frames), 9.0f);
    out[1].assign(static_cast<size_t>(frames), 9.0f);
    float* ins[2] = {in[0].data(), in[1].data()};
    float* outs[2] = {out[0].data(), out[1].data()};
    instance->Render(ins, outs, frames);
  }

  std::unique_ptr<AaxModule> module;
  std::unique_ptr<AaxInstance> instance;
  std::vector<float> in[2], out[2];
};

TEST_F(AaxAdapter, ConstructionSetsTheHostTheBlockSizeAndTheRate) {
  Create();
  Probe& p = Plug();
  EXPECT_EQ(p.HostCode(), kHostProTools);
  EXPECT_EQ(p.HostApi(), kHostApiAax);
  EXPECT_EQ(p.IdentifyHost(), kHostProTools);
  EXPECT_EQ(p.BlockSize(), 1024);
  EXPECT_EQ(p.SampleRate(), 44100.0); // from the controller, before the Reset of SetUpParameters
  EXPECT_EQ(gLog.resets, 1);
  EXPECT_EQ(p.ParameterIds(), (std::vector<std::string>{"1", "2", "3"}));
  ASSERT_NE(p.BypassParameter(), nullptr);
  EXPECT_EQ(p.BypassParameter()->Identifier().StdString(), "");
  // A Bool is a discrete parameter of its two texts, starting at its default.
  EXPECT_EQ(instance->ValueString("3"), "on");
  int32_t steps = 0;
  instance->Parameters()->GetParameterNumberOfSteps("3", &steps);
  EXPECT_EQ(steps, 2);
}

// A host update: the parameter, the editor and ParameterChanged with the host as source, under
// the instance mutex.
TEST_F(AaxAdapter, HostUpdateReachesParameterEditorAndPlugin) {
  Create();
  gLog.changes.clear();
  EXPECT_EQ(instance->Automate("2", 0.5), kAAXSuccess);
  EXPECT_EQ(Plug().GetParam(1)->Value(), -30.0);
  EXPECT_EQ(Plug().levelControl->Value(), 0.5);
  EXPECT_EQ(gLog.changes, (std::vector<ProbeLog::Change>{{1, kSourceHost, true}}));
  gLog.changes.clear();
  EXPECT_EQ(instance->Automate("", 1.0), kAAXSuccess);
  EXPECT_TRUE(gLog.changes.empty()) << "the master bypass is not a plug-in parameter";
}

// A change from the editor goes to the host as touch, set request and release; the host's answer
// arrives later and calls ParameterChanged again with the host as source.
TEST_F(AaxAdapter, EditorChangeGoesThroughTheHostsAutomation) {
  Create();
  Probe& p = Plug();
  instance->Controller().automation.clear();
  gLog.changes.clear();
  p.BeginParameterEdit(1);
  p.SetParameterFromGUI(1, 0.25);
  p.EndParameterEdit(1);
  using A = AutomationRecord;
  EXPECT_EQ(instance->Controller().automation, (std::vector<A>{{A::Touch, "2"},
                                                               {A::Touch, "2"},
                                                               {A::Set, "2", 0.25},
                                                               {A::Release, "2"},
                                                               {A::Release, "2"}}));
  EXPECT_EQ(instance->DeliverPendingSets(), 1);
  EXPECT_EQ(gLog.changes,
            (std::vector<ProbeLog::Change>{{1, kSourceEditor, true}, {1, kSourceHost, true}}));
  EXPECT_EQ(p.GetParam(1)->Value(), -45.0);
  // Indices without a parameter do nothing.
  instance->Controller().automation.clear();
  p.BeginParameterEdit(7);
  p.NotifyHostParameterChange(-1, 0.5);
  p.EndParameterEdit(3);
  EXPECT_TRUE(instance->Controller().automation.empty());
}

TEST_F(AaxAdapter, SetChunkTellsTheHostEveryValueAndRefreshesTheEditor) {
  Create();
  instance->Automate("2", 0.5);
  const std::vector<uint8_t> saved = instance->GetChunk(FourCC('P', 'r', 'b', 'e'));
  instance->Automate("2", 1.0);
  instance->Controller().automation.clear();
  EXPECT_EQ(instance->SetChunk(FourCC('P', 'r', 'b', 'e'), saved), kAAXSuccess);
  std::vector<std::string> order;
  for (const AutomationRecord& a : instance->Controller().automation)
    if (a.kind == AutomationRecord::Set) order.push_back(a.id);
  EXPECT_EQ(order, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(Plug().GetParam(1)->Value(), -30.0);
  EXPECT_EQ(Plug().levelControl->Value(), 0.5) << "the editor shows the restored value";
}

// The first 512-frame call follows the new block size and resets before the block; the next one
// of the same size does neither. Scratch buffers hold the block's audio only.
TEST_F(AaxAdapter, BlockSizeChangeResetsOnceBeforeTheBlock) {
  Create();
  gLog.resets = 0;
  Render(512);
  EXPECT_EQ(Plug().BlockSize(), 512);
  EXPECT_EQ(gLog.resets, 1);
  EXPECT_EQ(gLog.blockSizeAtLastReset, 512);
  Render(512);
  EXPECT_EQ(gLog.resets, 1);
  Render(100);
  EXPECT_EQ(gLog.resets, 2);
  EXPECT_EQ(gLog.frames, (std::vector<int>{512, 512, 100}));
  EXPECT_EQ(out[0][99], 0.125f);
  EXPECT_EQ(out[1][99], -0.125f);
}

// With the master bypass on, ProcessBlock is not called: the outputs are the inputs.
TEST_F(AaxAdapter, MasterBypassSkipsProcessBlock) {
  Create();
  Render(256);
  const int blocks = gLog.blocks;
  instance->SetMasterBypass(true);
  Render(256, 0.4f);
  EXPECT_EQ(gLog.blocks, blocks);
  EXPECT_EQ(out[0], in[0]);
  EXPECT_EQ(out[1], in[1]);
  instance->SetMasterBypass(false);
  Render(256);
  EXPECT_EQ(gLog.blocks, blocks + 1);
}

// The mono component: input 2 reads zeros and output 2 goes to the plug-in's own buffer, so the
// host's second output (which it did not hand over) stays as it was.
TEST_F(AaxAdapter, MonoComponentConnectsOneChannelEachWay) {
  Create(0);
  Render(64);
  EXPECT_EQ(gLog.lastInput[0], 0.25);
  EXPECT_EQ(gLog.lastInput[1], 0.0);
  EXPECT_FALSE(Plug().IsInChannelConnected(1));
  EXPECT_FALSE(Plug().IsOutChannelConnected(1));
  EXPECT_EQ(out[0][63], 0.125f);
  EXPECT_EQ(out[1][63], 9.0f);
}

// Ticks of 960000 per quarter note become quarter notes; lastBarPos keeps the caller's value.
TEST_F(AaxAdapter, TransportTicksBecomeQuarterNotes) {
  Create();
  instance->transport.playing = true;
  instance->transport.tempo = 98.5;
  instance->transport.ticks = 1920000;
  instance->transport.sample = 123456;
  instance->transport.looping = true;
  instance->transport.loopStart = 960000;
  instance->transport.loopEnd = 3840000;
  instance->transport.numerator = 7;
  instance->transport.denominator = 8;
  Render(64);
  const TransportInfo& t = gLog.transport;
  EXPECT_EQ(t.ppqPos, 2.0);
  EXPECT_EQ(t.cycleStart, 1.0);
  EXPECT_EQ(t.cycleEnd, 4.0);
  EXPECT_TRUE(t.cycleActive);
  EXPECT_TRUE(t.playing);
  EXPECT_EQ(t.tempo, 98.5);
  EXPECT_EQ(t.samplePos, 123456.0);
  EXPECT_EQ(t.numerator, 7);
  EXPECT_EQ(t.denominator, 8);
  EXPECT_EQ(t.lastBarPos, -1.0);
  EXPECT_EQ(Plug().HostSamplePosition(), 123456);
  EXPECT_EQ(Plug().HostTempo(), 98.5);
}

// The editor's view: its size, and a press on a parameter control offered to the host first.
TEST_F(AaxAdapter, EditorPressesAreOfferedToTheHostFirst) {
  Create();
  int fakeWindow = 0;
  ASSERT_TRUE(instance->OpenEditor(&fakeWindow)); // headless: no window opens, but the view exists
  const AAX_Point size = instance->ViewSize();
  EXPECT_EQ(size.vert, 100.0f);
  EXPECT_EQ(size.horz, 200.0f);
  IGraphics* editor = Plug().Editor();
  ASSERT_NE(editor->ViewContainer(), nullptr);
  HostViewContainer& view = *instance->View();
  view.modifiers = 0x40;

  instance->Controller().automation.clear();
  view.takePresses = true;
  MouseMods mods;
  mods.left = mods.shift = true;
  editor->PressMouse(20, 20, mods);
  editor->ReleaseMouse(20, 20, mods);
  ASSERT_EQ(view.presses.size(), 1u);
  EXPECT_EQ(view.presses[0].first, "2");
  EXPECT_EQ(view.presses[0].second, 0x41u);
  // The host took the press: no gesture begins (the release still ends one, as the editor keeps
  // the control captured).
  using A = AutomationRecord;
  EXPECT_EQ(instance->Controller().automation, (std::vector<A>{{A::Release, "2"}}));

  instance->Controller().automation.clear();
  view.takePresses = false;
  editor->PressMouse(20, 20, MouseMods{});
  editor->ReleaseMouse(20, 20, MouseMods{});
  ASSERT_EQ(instance->Controller().automation.size(), 2u);
  EXPECT_EQ(instance->Controller().automation[0].kind, AutomationRecord::Touch);
  EXPECT_EQ(instance->Controller().automation[1].kind, AutomationRecord::Release);

  // Closing the view takes the container away from the editor again.
  instance->CloseEditor();
  EXPECT_EQ(editor->ViewContainer(), nullptr);
}

// An editor whose host hands over no effect-parameters object has no editor to show.
TEST_F(AaxAdapter, EditorWithoutItsInstanceShowsNothing) {
  Create();
  IACFUnknown* object =
      reinterpret_cast<AAX_CreateObjectProc>(module->Effect()->procs.at(kAAXProcEffectGUI))();
  void* out = nullptr;
  ASSERT_EQ(object->QueryInterface(kIID_EffectGUI, &out), kAAXSuccess);
  object->Release();
  auto* gui = static_cast<AAX_IEffectGUI*>(out);
  HostController* lonely = new HostController(); // answers no effect parameters
  EXPECT_EQ(gui->Initialize(static_cast<AAX_IController*>(lonely)), kAAXSuccess);
  AAX_Point size{-1.0f, -1.0f};
  EXPECT_EQ(gui->GetViewSize(&size), kAAXSuccess);
  EXPECT_EQ(size.vert, -1.0f);
  EXPECT_EQ(gui->SetViewContainer(nullptr), kAAXSuccess);
  gui->Uninitialize();
  gui->Release();
  lonely->Release();
}

// A plug-in that cannot be constructed makes creation return null; an exception thrown by the host
// into an export comes back as the unexpected-error code.
TEST_F(AaxAdapter, FailuresAreResultsNotExceptions) {
  gLog.throwOnConstruction = true;
  EXPECT_EQ(reinterpret_cast<AAX_CreateObjectProc>(
                module->Effect()->procs.at(kAAXProcEffectParameters))(),
            nullptr);
  gLog.throwOnConstruction = false;

  struct ThrowingHost : IACFUnknown {
    AAX_Result QueryInterface(const acfUID&, void**) override { throw std::runtime_error("host"); }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
  } host;
  IACFPluginDefinition* definition = nullptr;
  EXPECT_EQ(ACFRegisterPlugin(&host, &definition), kACFUnexpected);
  EXPECT_EQ(ACFShutdown(nullptr), kAAXSuccess);
  EXPECT_EQ(ACFStartup(&host), kACFUnexpected);
  EXPECT_EQ(ACFStartup(&module->Host()), kAAXSuccess);
}

// Channel strings beyond this plug-in's: inputs are raised to one, a count without a stem gets
// none, a piece that is no configuration is skipped and uses no row of type IDs.
TEST_F(AaxAdapter, DescriptionOfOtherChannelStrings) {
  AAXEffectInfo info{Probe::Config(), "EFN1 EFA1 EFN2 EFA2", &AAXCreateParameters<Probe>,
                     &AAXCreateGUI};
  info.config.channelIO = "0-2 x-y 2-0";
  HostInterface* host = NewHostInterface();
  IACFPluginDefinition* definition = nullptr;
  std::string printed;
  {
    CaptureStdout capture("zt-aax-description.txt");
    EXPECT_EQ(AAXRegisterPlugin(host, &definition, info), kAAXSuccess);
    printed = capture.Stop();
  }
  EXPECT_EQ(printed, "***** inputs 1 *****\n***** inputs 2 *****\n");
  ASSERT_NE(definition, nullptr);
  definition->Release();
  ASSERT_EQ(host->description.effects.size(), 1u);
  const auto& components = host->description.effects[0].components;
  ASSERT_EQ(components.size(), 2u);
  EXPECT_EQ(components[0].Property(kAAXPropertyInputStemFormat), 0x00001);
  EXPECT_EQ(components[0].Property(kAAXPropertyOutputStemFormat), 0x10002);
  EXPECT_EQ(FourChars(static_cast<uint32_t>(components[1].Property(kAAXPropertyNativeTypeId))),
            "EFN2");
  EXPECT_EQ(components[1].Property(kAAXPropertyOutputStemFormat), 0xFF9C0000);
  host->Release();
  EXPECT_EQ(StemFormatForChannels(8), 0xC0008u);
  EXPECT_EQ(StemFormatForChannels(9), 0xFF9C0000u);
}

// --- hosts that send what they should not -------------------------------------------------------

// A null pointer among the host's input buffers is an unconnected channel: it reads zeros.
TEST_F(AaxAdapter, ANullInputBufferIsAnUnconnectedChannel) {
  Create();
  std::vector<float> right(64, -0.5f), a(64, 9.0f), b(64, 9.0f);
  float* ins[2] = {nullptr, right.data()};
  float* outs[2] = {a.data(), b.data()};
  instance->Render(ins, outs, 64);
  EXPECT_EQ(gLog.lastInput[0], 0.0);
  EXPECT_EQ(gLog.lastInput[1], -0.5);
  EXPECT_EQ(a[63], 0.0f);
  EXPECT_EQ(b[63], -0.25f);
}

// The host's output buffers get silence, never their stale contents, when the audio cannot be
// routed: no input array, a controller that refuses the stem queries, no controller at all.
TEST_F(AaxAdapter, OutputsGetSilenceWhenTheAudioCannotBeRouted) {
  Create();
  std::vector<float> a(64, 9.0f), b(64, 9.0f);
  float* outs[2] = {a.data(), b.data()};
  instance->Render(nullptr, outs, 64);
  EXPECT_EQ(a, std::vector<float>(64, 0.0f));
  EXPECT_EQ(b, std::vector<float>(64, 0.0f));

  instance->Controller().stemResult = kAAXErrorUnimplemented;
  Render(64);
  EXPECT_EQ(out[0], std::vector<float>(64, 0.0f));
  EXPECT_EQ(out[1], std::vector<float>(64, 0.0f));
  instance->Controller().stemResult = kAAXSuccess;

  instance->Parameters()->Uninitialize();
  const int blocks = gLog.blocks;
  Render(64);
  EXPECT_EQ(out[0], std::vector<float>(64, 0.0f));
  EXPECT_EQ(out[1], std::vector<float>(64, 0.0f));
  EXPECT_EQ(gLog.blocks, blocks) << "nothing was processed";
}

// A controller that claims more channels than the component has is not followed past the
// host's buffers (the mono component hands over one of each).
TEST_F(AaxAdapter, StemsLargerThanTheComponentAreClamped) {
  Create(0);
  instance->Controller().inputStem = instance->Controller().outputStem = 0x10002;
  std::vector<float> in0(64, 0.25f), out0(64, 9.0f);
  float* ins[1] = {in0.data()};
  float* outs[1] = {out0.data()};
  instance->Render(ins, outs, 64); // reading a second pointer would be past the arrays
  EXPECT_EQ(out0[63], 0.125f);
  EXPECT_FALSE(Plug().IsInChannelConnected(1));
}

// The instance field the render procedure reads an address from, initialised by a host that
// clears its blocks and then gives a size too small for an address: no part of the address is
// written (read back whole, a truncated one would be a wild pointer), the field stays zero and its
// context is skipped. Sizes that hold an address get it, and zeros after it.
TEST_F(AaxAdapter, AnInstanceFieldTooSmallForAnAddressStaysZero) {
  Create();
  for (uint32_t size : {8u, 16u}) {
    SCOPED_TRACE(size);
    std::vector<unsigned char> field(size, 0xAB);
    ASSERT_EQ(instance->Parameters()->ResetFieldData(kFieldInstance, field.data(), size),
              kAAXSuccess);
    AAX_CIPlugParameters* face = &Plug();
    EXPECT_EQ(memcmp(field.data(), &face, sizeof face), 0);
    EXPECT_EQ(std::count(field.begin() + sizeof face, field.end(), 0),
              static_cast<long>(size - sizeof face));
  }
  for (uint32_t size : {1u, 4u, 7u}) {
    SCOPED_TRACE(size);
    void* block = instance->PrivateBlock(kFieldInstance);
    memset(block, 0, 8);
    ASSERT_EQ(instance->Parameters()->ResetFieldData(kFieldInstance, block, size), kAAXSuccess);
    EXPECT_EQ(std::vector<unsigned char>(static_cast<unsigned char*>(block),
                                         static_cast<unsigned char*>(block) + 8),
              std::vector<unsigned char>(8, 0));
    const int blocks = gLog.blocks;
    Render(64);
    EXPECT_EQ(gLog.blocks, blocks);
    EXPECT_EQ(out[0][0], 9.0f) << "the context was skipped";
  }
}

// The diagnostic line of the render path is printed when a channel configuration first renders
// and when it changes, never per block.
TEST_F(AaxAdapter, TheAttachLineIsPrintedOncePerChannelConfiguration) {
  Create();
  std::string printed;
  {
    CaptureStdout capture("zt-aax-attach.txt");
    for (int b = 0; b < 10; ++b)
      Render(64);
    instance->Controller().inputStem = 0x00001;
    for (int b = 0; b < 10; ++b)
      Render(64);
    printed = capture.Stop();
  }
  EXPECT_EQ(printed, "attach input buffers: 0 - 2\nattach input buffers: 0 - 2\n");
}

// A host that initialises the instance again while its audio thread renders: the wrappers are
// replaced under the instance mutex, so the render call never meets one half made or freed (the
// sanitizer builds see the use after free this was).
TEST_F(AaxAdapter, InitialisingAgainWhileRenderingIsSafe) {
  Create();
  std::atomic<bool> stop{false};
  std::thread audio([&] {
    std::vector<float> a(64, 0.1f), b(64, 0.1f), c(64), d(64);
    float* ins[2] = {a.data(), b.data()};
    float* outs[2] = {c.data(), d.data()};
    while (!stop)
      instance->Render(ins, outs, 64);
  });
  for (int i = 0; i < 200; ++i)
    EXPECT_EQ(
        instance->Parameters()->Initialize(static_cast<AAX_IController*>(&instance->Controller())),
        kAAXSuccess);
  stop = true;
  audio.join();
  EXPECT_EQ(Plug().ParameterIds().size(), 3u);
}

// Only our instances answer the instance query: an editor handed another effect-parameters
// object that merely shares the adapter's base shows nothing (it was cast to an instance).
TEST_F(AaxAdapter, AnEditorOfAForeignObjectShowsNothing) {
  Create();
  class Foreign : public AAX_CIPlugParameters {};
  auto* foreign = new Foreign;
  void* out = nullptr;
  EXPECT_NE(foreign->QueryInterface(kIID_IPlugInstance, &out), kAAXSuccess);
  EXPECT_EQ(out, nullptr);
  IACFUnknown* object =
      reinterpret_cast<AAX_CreateObjectProc>(module->Effect()->procs.at(kAAXProcEffectGUI))();
  ASSERT_EQ(object->QueryInterface(kIID_EffectGUI, &out), kAAXSuccess);
  object->Release();
  auto* gui = static_cast<AAX_IEffectGUI*>(out);
  HostController* host = new HostController();
  host->effectParameters = static_cast<AAX_IEffectParameters*>(foreign);
  EXPECT_EQ(gui->Initialize(static_cast<AAX_IController*>(host)), kAAXSuccess);
  AAX_Point size{-1.0f, -1.0f};
  EXPECT_EQ(gui->GetViewSize(&size), kAAXSuccess);
  EXPECT_EQ(size.vert, -1.0f);
  gui->Uninitialize();
  gui->Release();
  host->Release();
  foreign->Release();
}

// The editor's size is fixed once it is made: the bridge answers it while the audio thread holds
// the instance mutex, without waiting for it.
TEST_F(AaxAdapter, TheViewSizeIsAnsweredWithoutTheInstanceMutex) {
  Create();
  ASSERT_TRUE(instance->OpenEditor(nullptr));
  std::promise<void> held, done;
  std::future<void> finished = done.get_future();
  std::thread audio([&] {
    std::lock_guard<std::recursive_mutex> lock(Plug().Mutex());
    held.set_value();
    finished.wait_for(std::chrono::seconds(10));
  });
  held.get_future().wait();
  auto asked = std::async(std::launch::async, [&] {
    AAX_Point size{-1.0f, -1.0f};
    instance->Editor()->GetViewSize(&size);
    return size;
  });
  const bool answered = asked.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  done.set_value();
  audio.join();
  ASSERT_TRUE(answered) << "GetViewSize waited for the instance mutex";
  const AAX_Point size = asked.get();
  EXPECT_EQ(size.horz, 200.0f);
  EXPECT_EQ(size.vert, 100.0f);
}

// A plug-in without parameters of its own has the master bypass alone, however often the host
// initialises it.
TEST_F(AaxAdapter, APlugInWithoutParametersGetsOneMasterBypass) {
  class Bare : public IPlugAAX {
  public:
    Bare() : IPlugAAX(IPlugInstanceInfo{}, Config()) {}
    static PluginConfig Config() {
      PluginConfig c = Probe::Config();
      c.paramCount = 0;
      return c;
    }
  };
  auto* bare = new Bare;
  HostController* host = new HostController();
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(bare->Initialize(static_cast<AAX_IController*>(host)), kAAXSuccess);
    int32_t count = 0;
    bare->GetNumberOfParameters(&count);
    EXPECT_EQ(count, 1) << "initialisation " << i;
  }
  bare->Uninitialize();
  bare->Release();
  host->Release();
}

} // namespace
