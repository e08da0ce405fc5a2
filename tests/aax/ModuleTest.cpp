// The receiver's AAX module, loaded from disk and driven by the mock AAX host as an AAX host
// would drive it: the description, the exports' fixed answers, the private data of the render
// context, parameters and host updates, the chunk, rendering with and without the master bypass,
// hostile requests, the editor's view, and the module unloadable at the end.
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/CaptureStdout.h"
#include "tests/support/TestSession.h"
#include "tools/aaxhost/AaxHost.h"

using namespace zt::aaxhost;

namespace {

constexpr AAX_CTypeID kTkre = 0x546B7265; // 'Tkre'

std::string TempFile(const char* name) {
  return (std::filesystem::temp_directory_path() /
          (std::string(name) + "-" + std::to_string(TestPid())))
      .string();
}

class AaxModuleTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string error;
    module = AaxModule::Load(ZT_AAX_MODULE, &error);
    ASSERT_NE(module, nullptr) << error;
    ASSERT_EQ(module->RegisterResult(), kAAXSuccess);
  }
  void TearDown() override {
    if (!module) return;
    EXPECT_EQ(module->CanUnloadNow(), 0) << "objects of the module still alive";
    module.reset();
    EXPECT_EQ(LiveHostObjects(), 0) << "references to host objects the module kept";
  }
  std::unique_ptr<AaxInstance> Instance(size_t component = 1) {
    std::string error;
    auto instance = AaxInstance::Create(*module, component, &error);
    EXPECT_NE(instance, nullptr) << error;
    return instance;
  }
  // The chunk's data: the count, then the five values.
  static std::vector<double> ChunkValues(const std::vector<uint8_t>& record) {
    std::vector<double> values;
    if (record.size() < kAAXChunkHeaderBytes + 4) return values;
    int32_t count = 0;
    memcpy(&count, record.data() + kAAXChunkHeaderBytes, 4);
    for (int32_t i = 0; i < count && kAAXChunkHeaderBytes + 4 + 8 * (i + 1) <= record.size(); ++i) {
      double v = 0.0;
      memcpy(&v, record.data() + kAAXChunkHeaderBytes + 4 + 8 * i, 8);
      values.push_back(v);
    }
    return values;
  }

  TestSession session{"aax"};
  std::unique_ptr<AaxModule> module;
};

TEST_F(AaxModuleTest, DescribesOneEffectWithAComponentPerChannelConfiguration) {
  const DescriptionRecord& d = module->Description();
  ASSERT_EQ(d.effects.size(), 1u);
  const EffectRecord& e = d.effects[0];
  EXPECT_EQ(e.id, "com.Zolvar.aax.ZolvarTesk_Receive");
  EXPECT_EQ(e.names, std::vector<std::string>{"ZolvarTesk_Receive"});
  EXPECT_EQ(e.categories, std::vector<uint32_t>{0});
  EXPECT_EQ(d.manufacturerNames, std::vector<std::string>{"Zolvar"});
  EXPECT_EQ(d.packageNames, std::vector<std::string>{"ZolvarTesk_Receive"});
  EXPECT_EQ(d.packageVersion, 0x00010002u);
  EXPECT_EQ(e.procs.size(), 2u);
  EXPECT_TRUE(e.procs.count(kAAXProcEffectParameters) && e.procs.count(kAAXProcEffectGUI));
  EXPECT_TRUE(module->DefinitionReturned());

  struct Expected {
    AAX_CPropertyValue stem;
    const char *native, *second;
  } expected[] = {{0x00001, "EFN1", "EFA1"}, {0x10002, "EFN2", "EFA2"}};
  ASSERT_EQ(e.components.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const ComponentRecord& c = e.components[i];
    EXPECT_EQ(c.Property(kAAXPropertyInputStemFormat), expected[i].stem);
    EXPECT_EQ(c.Property(kAAXPropertyOutputStemFormat), expected[i].stem);
    EXPECT_EQ(FourChars(static_cast<uint32_t>(c.Property(kAAXPropertyNativeTypeId))),
              expected[i].native);
    EXPECT_EQ(FourChars(static_cast<uint32_t>(c.Property(kAAXPropertySecondTypeId))),
              expected[i].second);
    EXPECT_EQ(FourChars(static_cast<uint32_t>(c.Property(kAAXPropertyManufacturerId))), "ZlVr");
    EXPECT_EQ(FourChars(static_cast<uint32_t>(c.Property(kAAXPropertyProductId))), "Tkre");
    EXPECT_EQ(c.Property(kAAXProperty56), 0);
    EXPECT_EQ(c.Property(kAAXProperty60), 1);
    EXPECT_EQ(c.Property(kAAXProperty151), -1) << "not registered";
    EXPECT_EQ(c.processCalls, 1);
    ASSERT_NE(c.process, nullptr);
    // The render context: audio in 0, out 1, length 3, transport node 7, 8 private bytes at 8,
    // 4 private bytes where MIDI and meters would be.
    ASSERT_EQ(c.fields.size(), 8u);
    const std::pair<AAX_CFieldIndex, FieldRecord::Kind> kinds[] = {
        {0, FieldRecord::AudioIn},      {1, FieldRecord::AudioOut},
        {3, FieldRecord::BufferLength}, {5, FieldRecord::PrivateData},
        {6, FieldRecord::PrivateData},  {7, FieldRecord::MidiNode},
        {8, FieldRecord::PrivateData},  {9, FieldRecord::PrivateData}};
    for (const auto& [index, kind] : kinds) {
      const FieldRecord* f = c.Field(index);
      ASSERT_NE(f, nullptr) << index;
      EXPECT_EQ(f->kind, kind) << index;
      if (kind == FieldRecord::PrivateData) {
        EXPECT_EQ(f->size, index == 8 ? 8 : 4) << index;
      }
    }
    EXPECT_EQ(c.Field(7)->midiType, kAAXMIDINodeTransport);
    EXPECT_EQ(c.Field(7)->name, "Transport");
    EXPECT_EQ(c.Field(7)->mask, 0xFFFFu);
  }
}

// Each registration prints one line per configuration on standard output.
TEST_F(AaxModuleTest, RegistrationPrintsTheInputsOfEachConfiguration) {
  CaptureStdout capture(TempFile("zt-aax-stdout"));
  HostInterface* host = NewHostInterface();
  IACFPluginDefinition* definition = nullptr;
  EXPECT_EQ(module->Exports().registerPlugin(host, &definition), kAAXSuccess);
  ASSERT_NE(definition, nullptr);
  definition->Release();
  host->Release();
  EXPECT_EQ(capture.Stop(), "***** inputs 1 *****\n***** inputs 2 *****\n");
}

TEST_F(AaxModuleTest, ExportsGiveTheirFixedAnswers) {
  const AcfExports& x = module->Exports();
  uint64_t version = 0;
  EXPECT_EQ(x.getSDKVersion(&version), kAAXSuccess);
  EXPECT_EQ(version, 0x00000201007756BFull);
  EXPECT_NE(x.getSDKVersion(nullptr), kAAXSuccess);

  void* factory = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(x.getClassFactory(&module->Host(), &kCLSID_Collection, &kIID_ACFUnknown, &factory),
            kAAXErrorUnimplemented);
  EXPECT_EQ(factory, nullptr);
  EXPECT_EQ(x.getClassFactory(nullptr, nullptr, nullptr, nullptr), kAAXErrorUnimplemented);
  IACFComponentDefinition* component = reinterpret_cast<IACFComponentDefinition*>(0x1234);
  EXPECT_EQ(x.registerComponent(&module->Host(), 0, &component), kAAXSuccess);
  EXPECT_EQ(component, nullptr);
  EXPECT_EQ(x.registerComponent(nullptr, 7, nullptr), kAAXSuccess);

  // The live-object count follows the objects a host holds.
  EXPECT_EQ(module->CanUnloadNow(), 0);
  {
    auto instance = Instance();
    EXPECT_EQ(module->CanUnloadNow(), 1);
    ASSERT_TRUE(instance->OpenEditor(nullptr));
    EXPECT_EQ(module->CanUnloadNow(), 2);
    instance->CloseEditor();
    EXPECT_EQ(module->CanUnloadNow(), 1);
  }
  EXPECT_EQ(module->CanUnloadNow(), 0);
  // A second start-up keeps the first host services; a null host ends them.
  EXPECT_EQ(x.startup(&module->Host()), kAAXSuccess);
  EXPECT_EQ(x.startup(nullptr), kAAXSuccess);
}

// A host that refuses or botches what registration needs gets an error code, never a crash.
TEST_F(AaxModuleTest, RegistrationWithAFailingHostAnswersAnError) {
  struct Case {
    const char* what;
    void (*set)(HostInterface&);
    AAX_Result expected;
  } cases[] = {
      {"no component factory", [](HostInterface& h) { h.refuseFactory = true; }, kACFNoInterface},
      {"a null factory reported as success", [](HostInterface& h) { h.nullFactory = true; },
       kACFUnexpected},
      {"no collection", [](HostInterface& h) { h.refuseCollection = true; }, kACFNoInterface},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HostInterface* host = NewHostInterface();
    c.set(*host);
    IACFPluginDefinition* definition = nullptr;
    EXPECT_EQ(module->Exports().registerPlugin(host, &definition), c.expected);
    EXPECT_EQ(definition, nullptr);
    EXPECT_TRUE(host->description.effects.empty());
    host->Release();
  }
  IACFPluginDefinition* definition = nullptr;
  EXPECT_NE(module->Exports().registerPlugin(nullptr, &definition), kAAXSuccess);
  EXPECT_NE(module->Exports().registerPlugin(&module->Host(), nullptr), kAAXSuccess);
}

// Field 8 holds the instance, the 4-byte fields zeros (the host filled them with 0xA5).
TEST_F(AaxModuleTest, InitFieldDataWritesTheInstanceAndZeros) {
  auto instance = Instance();
  void* address = nullptr;
  memcpy(&address, instance->PrivateBlock(8), sizeof address);
  EXPECT_EQ(address, static_cast<void*>(instance->Parameters()));
  for (AAX_CFieldIndex field : {5, 6, 9}) {
    uint32_t bytes = 0xFFFFFFFF;
    memcpy(&bytes, instance->PrivateBlock(field), 4);
    EXPECT_EQ(bytes, 0u) << field;
  }
  // A null block is refused.
  EXPECT_NE(instance->Parameters()->ResetFieldData(8, nullptr, 8), kAAXSuccess);
}

TEST_F(AaxModuleTest, ParametersHaveTheirIdentifiersNamesAndTexts) {
  auto instance = Instance();
  struct Expected {
    const char *id, *name, *text;
    int32_t steps, kind;
  } expected[] = {
      {"", "Master Bypass", "bypass", 2, kAAXParameterDiscrete},
      {"1", "Bypass", "off", 2, kAAXParameterDiscrete},
      {"2", "Normalization target", "-23.00 LUFS", 128, kAAXParameterContinuous},
      {"3", "Output normalization", "off", 2, kAAXParameterDiscrete},
      {"4", "Normalization analysis", "off", 2, kAAXParameterDiscrete},
      {"5", "Integrated Level", "0.00 LUFS", 128, kAAXParameterContinuous},
  };
  ASSERT_EQ(instance->ParameterCount(), 6);
  for (int32_t i = 0; i < 6; ++i) {
    const Expected& x = expected[i];
    SCOPED_TRACE(x.name);
    EXPECT_EQ(instance->ParameterId(i), x.id);
    EXPECT_EQ(instance->ParameterName(x.id), x.name);
    EXPECT_EQ(instance->ValueString(x.id), x.text);
    int32_t steps = 0, kind = -1;
    bool automatable = false;
    instance->Parameters()->GetParameterNumberOfSteps(x.id, &steps);
    instance->Parameters()->GetParameterKind(x.id, &kind);
    instance->Parameters()->GetParameterIsAutomatable(x.id, &automatable);
    EXPECT_EQ(steps, x.steps);
    EXPECT_EQ(kind, x.kind);
    EXPECT_TRUE(automatable);
  }
  HostString bypassId;
  bypassId.text = "x";
  EXPECT_EQ(instance->Parameters()->GetMasterBypassParameter(&bypassId), kAAXSuccess);
  EXPECT_EQ(bypassId.text, "");
  instance->SetMasterBypass(true);
  EXPECT_EQ(instance->ValueString(""), "on");
  EXPECT_EQ(instance->Automate("1", 1.0), kAAXSuccess);
  EXPECT_EQ(instance->ValueString("1"), "on");
  // The plug-in registered every parameter with the host's automation.
  int registered = 0;
  for (const AutomationRecord& a : instance->Controller().automation)
    registered += a.kind == AutomationRecord::Register;
  EXPECT_EQ(registered, 6);
}

// Host updates: a known identifier changes the parameter and counts a change; the master bypass
// changes only itself; an unknown identifier is refused; nonsense values change nothing.
TEST_F(AaxModuleTest, HostUpdatesKnownAndUnknownIdentifiers) {
  auto instance = Instance();
  int32_t changes = 0;
  instance->Parameters()->GetNumberOfChanges(&changes);
  EXPECT_EQ(instance->Automate("2", 0.5), kAAXSuccess);
  EXPECT_EQ(instance->ValueString("2"), "-30.00 LUFS");
  int32_t after = 0;
  instance->Parameters()->GetNumberOfChanges(&after);
  EXPECT_EQ(after, changes + 1);
  const std::vector<double> before = ChunkValues(instance->GetChunk(kTkre));
  EXPECT_EQ(before[1], -30.0);

  EXPECT_EQ(instance->Automate("", 1.0), kAAXSuccess);
  EXPECT_EQ(ChunkValues(instance->GetChunk(kTkre)), before) << "the master bypass is no state";
  EXPECT_EQ(instance->Automate("9", 0.5), kAAXErrorUnknownParameter);
  EXPECT_EQ(instance->Parameters()->UpdateParameterNormalizedValue(nullptr, 0.5,
                                                                   kAAXUpdateSourceParameter),
            kAAXErrorUnknownParameter);
  EXPECT_EQ(instance->Automate("2", std::nan("")), kAAXSuccess);
  EXPECT_EQ(instance->ValueString("2"), "-30.00 LUFS");
  EXPECT_EQ(instance->Automate("2", 7.0), kAAXSuccess); // beyond the end: the end
  EXPECT_EQ(instance->ValueString("2"), "0.00 LUFS");
  // Texts the plug-in reads back into values, and those it refuses.
  double n = -1.0;
  EXPECT_EQ(instance->Parameters()->GetParameterValueFromString("2", &n, "-45 LUFS"), kAAXSuccess);
  EXPECT_DOUBLE_EQ(n, 0.25);
  EXPECT_EQ(instance->Parameters()->GetParameterValueFromString("1", &n, "on"), kAAXSuccess);
  EXPECT_EQ(n, 1.0);
  for (const char* bad : {"maybe", "", "-61"})
    EXPECT_EQ(instance->Parameters()->GetParameterValueFromString("2", &n, bad),
              kAAXErrorInvalidString)
        << bad;
}

TEST_F(AaxModuleTest, TheChunkIsTheStateWithoutItsHeader) {
  auto instance = Instance();
  AAX_CTypeID id = 0;
  EXPECT_EQ(instance->Parameters()->GetChunkIDFromIndex(0, &id), kAAXSuccess);
  EXPECT_EQ(id, kTkre);
  EXPECT_EQ(instance->Parameters()->GetChunkIDFromIndex(1, &id), kAAXErrorChunkIndex);
  EXPECT_EQ(id, 0u);
  int32_t chunks = 0;
  instance->Parameters()->GetNumberOfChunks(&chunks);
  EXPECT_EQ(chunks, 1);
  uint32_t size = 0;
  EXPECT_EQ(instance->Parameters()->GetChunkSize(kTkre, &size), kAAXSuccess);
  EXPECT_EQ(size, 44u);
  EXPECT_EQ(instance->Parameters()->GetChunkSize(0x41424344, &size), kAAXErrorChunkId);
  EXPECT_EQ(size, 0u);

  instance->Automate("1", 1.0);
  instance->Automate("2", 0.5);
  instance->Automate("3", 1.0);
  const std::vector<uint8_t> saved = instance->GetChunk(kTkre);
  ASSERT_EQ(saved.size(), kAAXChunkHeaderBytes + 44);
  EXPECT_EQ(ChunkValues(saved), (std::vector<double>{1.0, -30.0, 1.0, 0.0, 0.0}));

  // Back to the defaults, then the saved chunk: every value returns, and the host hears of each,
  // in order, through its automation.
  auto fresh = Instance();
  fresh->Controller().automation.clear();
  EXPECT_EQ(fresh->SetChunk(kTkre, saved), kAAXSuccess);
  std::vector<AutomationRecord> sets;
  for (const AutomationRecord& a : fresh->Controller().automation)
    if (a.kind == AutomationRecord::Set) sets.push_back(a);
  ASSERT_EQ(sets.size(), 5u);
  const char* ids[] = {"1", "2", "3", "4", "5"};
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(sets[i].id, ids[i]);
  EXPECT_DOUBLE_EQ(sets[1].value, 0.5);
  fresh->DeliverPendingSets();
  EXPECT_EQ(ChunkValues(fresh->GetChunk(kTkre)), ChunkValues(saved));
  EXPECT_EQ(fresh->ValueString("2"), "-30.00 LUFS");
  EXPECT_EQ(fresh->ValueString("3"), "on");

  bool equal = false;
  EXPECT_EQ(fresh->CompareChunk(saved, &equal), kAAXSuccess);
  EXPECT_TRUE(equal);
  fresh->Automate("2", 0.25);
  EXPECT_EQ(fresh->CompareChunk(saved, &equal), kAAXSuccess);
  EXPECT_FALSE(equal);
  std::vector<uint8_t> foreign = saved;
  reinterpret_cast<AAX_SPlugInChunk*>(foreign.data())->chunkId = 0x41424344;
  EXPECT_EQ(fresh->CompareChunk(foreign, &equal), kAAXSuccess);
  EXPECT_TRUE(equal) << "a chunk of another identifier is not ours to judge";
  EXPECT_EQ(fresh->SetChunk(0x41424344, saved), kAAXErrorChunkId);
  AAX_Result r = kAAXSuccess;
  EXPECT_TRUE(fresh->GetChunk(0x41424344, &r).empty());
  EXPECT_EQ(r, kAAXErrorChunkId);
}

// Chunks of the wrong size: a size no state has is refused without reading; a short one reads
// what it holds (nothing) and still tells the host the values; neither changes the state, and a
// short one never compares equal.
TEST_F(AaxModuleTest, ChunksOfTheWrongSize) {
  auto instance = Instance();
  instance->Automate("2", 0.5);
  const std::vector<uint8_t> good = instance->GetChunk(kTkre);
  const std::vector<double> values = ChunkValues(good);
  struct Case {
    const char* what;
    int32_t size;
    AAX_Result expected;
    bool comparesEqual; // compare reads the 44 bytes it needs, if the size has them
  } cases[] = {
      {"negative", -8, kAAXErrorChunkId, false},
      {"a gigabyte", 1 << 30, kAAXErrorChunkId, true},
      {"empty", 0, kAAXSuccess, false},
      {"cut inside the count", 3, kAAXSuccess, false},
      {"cut inside the values", 20, kAAXSuccess, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> record = good;
    reinterpret_cast<AAX_SPlugInChunk*>(record.data())->size = c.size;
    EXPECT_EQ(instance->SetChunk(kTkre, record), c.expected);
    instance->DeliverPendingSets();
    EXPECT_EQ(ChunkValues(instance->GetChunk(kTkre)), values);
    bool equal = !c.comparesEqual;
    EXPECT_EQ(instance->CompareChunk(record, &equal), kAAXSuccess);
    EXPECT_EQ(equal, c.comparesEqual);
  }
  EXPECT_NE(instance->Parameters()->SetChunk(kTkre, nullptr), kAAXSuccess);
  EXPECT_NE(instance->Parameters()->GetChunk(kTkre, nullptr), kAAXSuccess);
  EXPECT_NE(instance->Parameters()->CompareActiveChunk(nullptr, nullptr), kAAXSuccess);
  EXPECT_NE(instance->Parameters()->GetChunkSize(kTkre, nullptr), kAAXSuccess);
}

// Null answers and indices beyond the parameters: an error code each, never a crash.
TEST_F(AaxModuleTest, NullOutputsAndUnknownIndicesAreErrors) {
  auto instance = Instance();
  AAX_IEffectParameters* p = instance->Parameters();
  HostString text;
  double d = 0.0;
  const std::pair<const char*, AAX_Result> results[] = {
      {"count", p->GetNumberOfParameters(nullptr)},
      {"bypass id", p->GetMasterBypassParameter(nullptr)},
      {"index", p->GetParameterIndex("1", nullptr)},
      {"id", p->GetParameterIDFromIndex(0, nullptr)},
      {"id -1", p->GetParameterIDFromIndex(-1, &text)},
      {"id 6", p->GetParameterIDFromIndex(6, &text)},
      {"name", p->GetParameterName("1", nullptr)},
      {"automatable", p->GetParameterIsAutomatable("1", nullptr)},
      {"steps", p->GetParameterNumberOfSteps("1", nullptr)},
      {"kind", p->GetParameterKind("1", nullptr)},
      {"text", p->GetParameterValueString("1", nullptr, 10)},
      {"value", p->GetParameterNormalizedValue("1", nullptr)},
      {"default", p->GetParameterDefaultNormalizedValue("1", nullptr)},
      {"from text", p->GetParameterValueFromString("1", &d, nullptr)},
      {"from text, no value", p->GetParameterValueFromString("1", nullptr, "on")},
      {"changes", p->GetNumberOfChanges(nullptr)},
      {"chunks", p->GetNumberOfChunks(nullptr)},
      {"chunk id", p->GetChunkIDFromIndex(0, nullptr)},
      {"unknown name", p->GetParameterName("x", &text)},
      {"set unknown", p->SetParameterNormalizedValue("x", 0.5)},
  };
  for (const auto& [what, result] : results)
    EXPECT_NE(result, kAAXSuccess) << what;
  EXPECT_NE(p->Initialize(nullptr), kAAXSuccess);
}

// A test signal through both components; the master bypass hands the input through unchanged.
TEST_F(AaxModuleTest, RendersBothComponentsAndBypassesExactly) {
  for (size_t component : {0u, 1u}) {
    SCOPED_TRACE(component);
    auto instance = Instance(component);
    const int channels = instance->Inputs();
    ASSERT_EQ(channels, static_cast<int>(component) + 1);
    // Exactly as many channel pointers as the stem has: a module reading more trips ASan.
    std::vector<std::vector<float>> in(channels, std::vector<float>(512)),
        out(channels, std::vector<float>(512));
    std::vector<float*> ins, outs;
    for (int c = 0; c < channels; ++c) {
      ins.push_back(in[c].data());
      outs.push_back(out[c].data());
    }
    instance->transport.playing = true;
    double energy = 0.0;
    for (int b = 0; b < 40; ++b) {
      for (int c = 0; c < channels; ++c)
        for (int k = 0; k < 512; ++k)
          in[c][k] = 0.3f * static_cast<float>(std::sin(0.05 * (b * 512 + k) + c));
      instance->Render(ins.data(), outs.data(), 512);
      instance->transport.Advance(512, 48000.0);
      for (int c = 0; c < channels; ++c)
        for (float v : out[c]) {
          ASSERT_TRUE(std::isfinite(v));
          energy += v * v;
        }
    }
    EXPECT_GT(energy, 0.0);
    instance->SetMasterBypass(true);
    instance->Render(ins.data(), outs.data(), 512);
    for (int c = 0; c < channels; ++c)
      EXPECT_EQ(memcmp(in[c].data(), out[c].data(), 512 * sizeof(float)), 0) << c;
  }
}

// Render contexts a host should never send: nothing is written where there is nowhere to write,
// and nothing crashes.
TEST_F(AaxModuleTest, HostileRenderContextsCrashNothing) {
  auto instance = Instance();
  std::vector<float> a(4096, 0.1f), b(4096, 0.1f), c(4096), d(4096);
  float* ins[2] = {a.data(), b.data()};
  float* outs[2] = {c.data(), d.data()};
  instance->Render(nullptr, outs, 512);
  instance->Render(ins, nullptr, 512);
  for (int32_t frames : {0, -1, -512})
    instance->Render(ins, outs, frames);
  void** ctx = instance->Context();
  ctx[3] = nullptr; // no frame count
  void* contexts[3] = {nullptr, ctx, nullptr};
  const AAX_CProcessProc process = module->Effect()->components[1].process;
  process(contexts, contexts + 3);
  process(nullptr, nullptr);
  // A context whose instance block holds no instance is skipped.
  void* saved = nullptr;
  memcpy(&saved, instance->PrivateBlock(8), sizeof saved);
  memset(instance->PrivateBlock(8), 0, 8);
  std::fill(c.begin(), c.end(), 7.0f);
  instance->Render(ins, outs, 512);
  EXPECT_EQ(c[0], 7.0f);
  memcpy(instance->PrivateBlock(8), &saved, sizeof saved);
  instance->Render(ins, outs, 512);
  EXPECT_NE(c[0], 7.0f);
}

TEST_F(AaxModuleTest, TheEditorsViewIs256By300) {
  auto instance = Instance();
  ASSERT_TRUE(instance->OpenEditor(nullptr)); // headless: no native parent
  const AAX_Point size = instance->ViewSize();
  EXPECT_EQ(size.vert, 300.0f);
  EXPECT_EQ(size.horz, 256.0f);
  EXPECT_EQ(instance->Editor()->SetViewContainer(nullptr), kAAXSuccess);
  EXPECT_EQ(instance->Editor()->SetViewContainer(nullptr), kAAXSuccess);
  EXPECT_NE(instance->Editor()->GetViewSize(nullptr), kAAXSuccess);
  EXPECT_NE(instance->Editor()->Initialize(nullptr), kAAXSuccess);
  instance->CloseEditor();
}

} // namespace
