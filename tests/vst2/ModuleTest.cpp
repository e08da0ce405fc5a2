// The receiver's VST2 module as a host sees it: loaded from disk by the host harness, driven
// through its effect record, dispatcher and audio callbacks only.
#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tools/sender/ReferenceSender.h"
#include "tests/support/HostBlock.h"
#include "tests/support/ModuleSuite.h"
#include "tests/support/Signals.h"
#include "tests/support/TestSession.h"
#include "tools/vsthost/VstHost.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

// The harness enters through VSTPluginMain; hosts that know only the older name call "main".
VstEntryProc FindLegacyMain() {
#if defined(_WIN32)
  HMODULE m = GetModuleHandleA(ZT_VST2_MODULE);
  return m ? reinterpret_cast<VstEntryProc>(reinterpret_cast<void*>(GetProcAddress(m, "main")))
           : nullptr;
#else
  void* m = dlopen(ZT_VST2_MODULE, RTLD_NOW | RTLD_NOLOAD);
  if (!m) return nullptr;
  auto entry = reinterpret_cast<VstEntryProc>(dlsym(m, "main"));
  dlclose(m); // the harness still holds the module
  return entry;
#endif
}

constexpr int kParams = 5;
constexpr bool kProgram = true, kBank = false; // the harness's chunk selector

class Module : public ModuleSuite {
protected:
  TestSession session{"vst2mod"};
};

// Opens the effect as a host does before processing.
void Start(VstPlugin& p, double rate = 48000.0, int block = 512) {
  p.Open();
  p.SetSampleRate(rate);
  p.SetBlockSize(block);
  p.Resume();
}

// A text opcode into a buffer of `size` bytes.
std::string Text(VstPlugin& p, int32_t op, int32_t index = 0, size_t size = 256) {
  std::vector<char> buf(size, '\0');
  p.Dispatch(op, index, 0, buf.data());
  return std::string(buf.data());
}

double Rms(const std::vector<float>& v, size_t from, size_t to) {
  double sum = 0.0;
  for (size_t k = from; k < to; ++k)
    sum += static_cast<double>(v[k]) * v[k];
  return std::sqrt(sum / static_cast<double>(to - from));
}

void WriteBlob(const std::string& name, const std::vector<uint8_t>& bytes) {
  std::ofstream(name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// --- record, names, capabilities ---------------------------------------------------------------

TEST_F(Module, EffectRecordDescribesTheReceiver) {
  auto rig = NewInstance();
  const VstEffect* e = rig->Effect();
  EXPECT_EQ(e->magic, kVstMagic);
  EXPECT_EQ(e->numPrograms, 1);
  EXPECT_EQ(e->numParams, kParams);
  EXPECT_EQ(e->numInputs, 2);
  EXPECT_EQ(e->numOutputs, 2);
  // Has an editor, replacing, double replacing and mono-capable; no chunk flag.
  EXPECT_EQ(e->flags, 0x1019);
  EXPECT_EQ(e->initialDelay, 0);
  EXPECT_EQ(e->ioRatio, 1.0f);
  EXPECT_EQ(e->uniqueId, 0x546B7265); // "Tkre"
  EXPECT_EQ(e->version, 10002);
  EXPECT_NE(e->object, nullptr);
  EXPECT_TRUE(e->dispatcher && e->process && e->processReplacing && e->processDoubleReplacing &&
              e->setParameter && e->getParameter);
  EXPECT_EQ(e->realQualities, 0);
  EXPECT_EQ(e->reserved1, 0);

  EXPECT_EQ(module->EntryName(), "VSTPluginMain");

  // The legacy entry point creates a working instance of its own.
  VstEntryProc legacyMain = FindLegacyMain();
  ASSERT_NE(legacyMain, nullptr);
  VstEffect* legacy = legacyMain(nullptr);
  ASSERT_NE(legacy, nullptr);
  EXPECT_NE(legacy, rig->Effect());
  EXPECT_EQ(legacy->uniqueId, e->uniqueId);
  EXPECT_EQ(legacy->dispatcher(legacy, kEffGetVendorVersion, 0, 0, nullptr, 0.0f), 10002);
  legacy->dispatcher(legacy, kEffClose, 0, 0, nullptr, 0.0f);
}

TEST_F(Module, IdentityOpcodesAnswerWithinTheHostBuffers) {
  auto rig = NewInstance();
  struct Case {
    int32_t op;
    size_t bufferSize; // what the interface gives the host to pass
    const char* text;
  } texts[] = {
      {kEffGetEffectName, kVstEffectNameSize, "ZolvarTesk_Receive"},
      {kEffGetVendorString, kVstVendorStringSize, "Zolvar"},
      {kEffGetProductString, kVstVendorStringSize, ""},
  };
  for (const Case& c : texts) {
    SCOPED_TRACE(c.op);
    std::vector<char> buf(c.bufferSize + 8, '#');
    EXPECT_EQ(rig->Dispatch(c.op, 0, 0, buf.data()), 1);
    EXPECT_STREQ(buf.data(), c.text);
    for (size_t k = c.bufferSize; k < buf.size(); ++k)
      ASSERT_EQ(buf[k], '#') << "wrote past the host buffer at " << k;
    EXPECT_EQ(rig->Dispatch(c.op, 0, 0, nullptr), 0);
  }
  struct Value {
    int32_t op;
    intptr_t expected;
  } values[] = {
      {kEffGetVendorVersion, 10002},
      {kEffGetVstVersion, 2400},
      {kEffIdentify, 0x4E764566},
      {kEffGetPlugCategory, 1},
      {kEffGetTailSize, 0},
      {kEffGetProgram, 0},
      {kEffEditIdle, 0},
      {kEffIdle, 0},
      {9, 0},
      {70, 0},
      {12345, 0},
  };
  for (const Value& v : values)
    EXPECT_EQ(rig->Dispatch(v.op), v.expected) << v.op;

  // The editor rectangle: top 0, left 0, bottom 300, right 256 (four int16); without a pointer
  // to store it in, 0.
  const int16_t* rect = nullptr;
  EXPECT_EQ(rig->Dispatch(kEffEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect[0], 0);
  EXPECT_EQ(rect[1], 0);
  EXPECT_EQ(rect[2], 300);
  EXPECT_EQ(rect[3], 256);
  EXPECT_EQ(rig->Dispatch(kEffEditGetRect, 0, 0, nullptr), 0);
  // Opening needs the host's window: on Linux there is no editor window yet, and on Windows a
  // handle that is no window gets none (tests/editor/WindowTest.cpp opens real ones). Closing
  // answers 1 whenever there is an editor.
  EXPECT_EQ(rig->Dispatch(kEffEditOpen, 0, 0, reinterpret_cast<void*>(0x1234)), 0);
  EXPECT_EQ(rig->Dispatch(kEffEditOpen, 0, 0, nullptr), 0);
  EXPECT_EQ(rig->Dispatch(kEffEditClose), 1);
}

TEST_F(Module, CanDoAnswers) {
  auto rig = NewInstance();
  struct Case {
    const char* query;
    intptr_t answer;
  } cases[] = {
      {"receiveVstTimeInfo", 1},
      {"sendVstEvents", 0},
      {"sendVstMidiEvent", 0},
      {"receiveVstEvents", 0},
      {"receiveVstMidiEvent", 0},
      {"hasVendorExtensions", 0xBEEF0000},
      {"hasVendorViewAsConfig", 0xBEEF0000},
      {"receiveVstTimeInfoX", 0},
      {"receiveVstTime", 0},
      {"", 0},
      {"bypass", 0},
  };
  for (const Case& c : cases) {
    std::string q(c.query);
    EXPECT_EQ(rig->Dispatch(kEffCanDo, 0, 0, q.data()), c.answer) << c.query;
  }
  EXPECT_GT(rig->Dispatch(kEffCanDo, 0, 0, const_cast<char*>("hasVendorExtensions")), 0);
  EXPECT_EQ(rig->Dispatch(kEffCanDo, 0, 0, nullptr), 0);
}

TEST_F(Module, PinPropertiesNameAndPairTheChannels) {
  auto rig = NewInstance();
  struct Case {
    int32_t op;
    int index;
    intptr_t result;
    const char* label;
    int32_t flags;
  } cases[] = {
      {kEffGetInputProperties, 0, 1, "Input 1", 3},
      {kEffGetInputProperties, 1, 1, "Input 2", 1},
      {kEffGetOutputProperties, 0, 1, "Output 1", 3},
      {kEffGetOutputProperties, 1, 1, "Output 2", 1},
      {kEffGetInputProperties, 2, 0, "untouched", 77},
      {kEffGetInputProperties, -1, 0, "untouched", 77},
      {kEffGetOutputProperties, INT_MAX, 0, "untouched", 77},
      {kEffGetOutputProperties, INT_MIN, 0, "untouched", 77},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.op << " " << c.index);
    VstPinProperties pin;
    memset(&pin, 0, sizeof pin);
    strcpy(pin.label, "untouched");
    pin.flags = 77;
    pin.arrangementType = 55;
    EXPECT_EQ(rig->Dispatch(c.op, c.index, 0, &pin), c.result);
    EXPECT_STREQ(pin.label, c.label);
    EXPECT_EQ(pin.flags, c.flags);
    EXPECT_EQ(pin.arrangementType, 55); // nothing else is written
  }
  EXPECT_EQ(rig->Dispatch(kEffGetInputProperties, 0, 0, nullptr), 0);
}

// --- parameters ---------------------------------------------------------------------------------

TEST_F(Module, ParameterTextsAndValues) {
  auto rig = NewInstance();
  struct Case {
    int index;
    const char *name, *display, *label;
    float normalized;
  } cases[] = {
      {0, "Bypass", "off", "", 0.0f},
      {1, "Normalization target", "-23", "LUFS", 37.0f / 60.0f},
      {2, "Output normalization", "off", "", 0.0f},
      {3, "Normalization analysis", "off", "", 0.0f},
      {4, "Integrated Level", "0", "LUFS", 0.5f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    EXPECT_EQ(rig->ParamName(c.index), c.name);
    EXPECT_EQ(rig->ParamDisplay(c.index), c.display);
    EXPECT_EQ(rig->ParamLabel(c.index), c.label);
    EXPECT_NEAR(rig->Effect()->getParameter(rig->Effect(), c.index), c.normalized, 1e-6);
    EXPECT_EQ(rig->Dispatch(kEffCanBeAutomated, c.index), 1);
  }
  ASSERT_EQ(rig->SetParameterText(0, "on"), 1);
  EXPECT_EQ(rig->ParamDisplay(0), "on");
  EXPECT_EQ(rig->ParamLabel(0), "");

  for (int bad : {-1, kParams, INT_MAX, INT_MIN}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(rig->ParamName(bad), "");
    EXPECT_EQ(rig->ParamDisplay(bad), "");
    EXPECT_EQ(rig->ParamLabel(bad), "");
    EXPECT_EQ(rig->Effect()->getParameter(rig->Effect(), bad), 0.0f);
    EXPECT_EQ(rig->Dispatch(kEffCanBeAutomated, bad), 0);
    rig->Effect()->setParameter(rig->Effect(), bad, 0.5f); // ignored
  }
}

TEST_F(Module, TextToParameter) {
  struct Case {
    int index;
    const char* text;
    intptr_t result;
    const char* display; // of the parameter afterwards
  } cases[] = {
      {0, "on", 1, "on"},     {0, "1", 0, "off"},    {0, "On", 0, "off"},    {1, "-75", 1, "-60"},
      {1, "-30.4", 1, "-30"}, {1, "abc", 1, "0"},    {1, "12", 1, "0"},      {1, "nan", 0, "-23"},
      {4, "-inf", 1, "-100"}, {5, "on", 0, nullptr}, {-1, "on", 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.index << " " << c.text);
    auto rig = NewInstance();
    EXPECT_EQ(rig->SetParameterText(c.index, c.text), c.result);
    if (c.display) {
      EXPECT_EQ(rig->ParamDisplay(c.index), c.display);
    }
  }
  auto rig = NewInstance();
  EXPECT_EQ(rig->Dispatch(kEffString2Parameter, 1, 0, nullptr), 1);
  EXPECT_EQ(rig->ParamDisplay(1), "-23");
  // The host is not told about a change it made itself.
  rig->SetParameterText(1, "-10");
  EXPECT_EQ(rig->CountCalls(kHostAutomate), 0);
}

TEST_F(Module, VendorSpecificFormatsNormalisedValues) {
  auto rig = NewInstance();
  struct Case {
    int32_t subCode;
    intptr_t param;
    float value;
    bool withText;
    intptr_t result;
    const char* text;
  } cases[] = {
      {7, 1, 0.5f, true, 0xBEEF, "-30"},       {7, 0, 1.0f, true, 0xBEEF, "on"},
      {7, 9, 0.5f, true, 0xBEEF, "untouched"}, {7, -1, 0.5f, true, 0xBEEF, "untouched"},
      {7, 1, 0.5f, false, 0, nullptr},         {8, 0, 0.0f, false, 0xBEEF, nullptr},
      {8, 1, 0.0f, false, 0, nullptr},         {8, 9, 0.0f, false, 0, nullptr},
      {8, -1, 0.0f, false, 0, nullptr},        {3, 0, 0.0f, true, 0, "untouched"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.subCode << " " << c.param);
    char buf[kVstParamStringSize] = "untouched";
    EXPECT_EQ(
        rig->Dispatch(kEffVendorSpecific, c.subCode, c.param, c.withText ? buf : nullptr, c.value),
        c.result);
    if (c.text) {
      EXPECT_STREQ(buf, c.text);
    }
  }
}

// --- programs and chunks ------------------------------------------------------------------------

TEST_F(Module, ProgramOpcodes) {
  auto rig = NewInstance();
  EXPECT_EQ(Text(*rig, kEffGetProgramName), "-");
  char name[kVstProgramNameSize] = "x";
  EXPECT_EQ(rig->Dispatch(kEffGetProgramNameIndexed, 0, 0, name), 1);
  EXPECT_STREQ(name, "-");
  for (int bad : {1, -1, INT_MAX}) {
    strcpy(name, "x");
    EXPECT_EQ(rig->Dispatch(kEffGetProgramNameIndexed, bad, 0, name), 0);
    EXPECT_STREQ(name, "");
  }
  EXPECT_EQ(rig->Dispatch(kEffGetProgramNameIndexed, 0, 0, nullptr), 0);

  char rename[] = "Loud mix";
  rig->Dispatch(kEffSetProgramName, 0, 0, rename);
  EXPECT_EQ(Text(*rig, kEffGetProgramName), "Loud mix");
  // A name longer than the host's program-name buffer is cut to fit it.
  std::string longName(300, 'n');
  rig->Dispatch(kEffSetProgramName, 0, 0, longName.data());
  std::vector<char> buf(kVstProgramNameSize + 8, '#');
  rig->Dispatch(kEffGetProgramName, 0, 0, buf.data());
  EXPECT_EQ(strlen(buf.data()), kVstProgramNameSize - 1);
  EXPECT_EQ(buf[kVstProgramNameSize], '#');

  // Set program stores the current values into the current preset first, then loads.
  rig->SetParameterText(1, "-30");
  EXPECT_EQ(rig->Dispatch(kEffSetProgram, 0, 5), 0); // outside: only the store happens
  EXPECT_EQ(rig->Dispatch(kEffGetProgram), 0);
  EXPECT_EQ(rig->ParamDisplay(1), "-30");
  rig->SetParameterText(1, "-10");
  EXPECT_EQ(rig->Dispatch(kEffSetProgram, 0, 0), 0); // stores -10, loads -10
  EXPECT_EQ(rig->ParamDisplay(1), "-10");
  EXPECT_EQ(rig->Dispatch(kEffGetProgram), 0);
}

std::vector<uint8_t> DefaultProgramChunk() {
  std::vector<uint8_t> b;
  auto put32 = [&](int32_t v) {
    for (int i = 0; i < 4; ++i)
      b.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
  };
  auto putD = [&](double d) {
    uint64_t u;
    memcpy(&u, &d, 8);
    for (int i = 0; i < 8; ++i)
      b.push_back(static_cast<uint8_t>(u >> (8 * i)));
  };
  put32(0x70666674);
  put32(0x00010000);
  put32(5);
  for (double d : {0.0, -23.0, 0.0, 0.0, 0.0})
    putD(d);
  return b;
}

TEST_F(Module, ProgramChunkIsHeaderAndParametersAndRoundTrips) {
  auto rig = NewInstance();
  intptr_t size = 0;
  const std::vector<uint8_t> fresh = rig->GetChunk(kProgram, &size);
  EXPECT_EQ(size, 52);
  EXPECT_EQ(fresh, DefaultProgramChunk());

  rig->SetParameterText(0, "on");
  rig->SetParameterText(1, "-31");
  rig->SetParameterText(4, "-17.5");
  const std::vector<uint8_t> saved = rig->GetChunk(kProgram);
  ASSERT_EQ(saved.size(), 52u);

  auto other = NewInstance();
  ASSERT_EQ(other->SetChunk(saved, kProgram), 1);
  EXPECT_EQ(other->ParamDisplay(0), "on");
  EXPECT_EQ(other->ParamDisplay(1), "-31");
  const std::vector<uint8_t> again = other->GetChunk(kProgram);
  if (again != saved) {
    WriteBlob("vst2_chunk_saved.bin", saved);
    WriteBlob("vst2_chunk_again.bin", again);
  }
  EXPECT_EQ(again, saved) << "blobs written to vst2_chunk_saved.bin / vst2_chunk_again.bin";
  // The restore went into the current preset as well.
  other->SetParameterText(1, "-5");
  other->Dispatch(kEffSetProgram, 0, 0);
  EXPECT_EQ(other->ParamDisplay(1), "-5");

  // Without the header the bytes are plain parameter state, for a program and for a bank.
  const std::vector<uint8_t> bare(saved.begin() + 8, saved.end());
  for (bool bank : {false, true}) {
    auto third = NewInstance();
    ASSERT_EQ(third->SetChunk(bare, !bank), 1) << bank;
    EXPECT_EQ(third->GetChunk(kProgram), saved) << bank;
  }
}

TEST_F(Module, BankChunkRoundTrips) {
  auto rig = NewInstance();
  rig->SetParameterText(1, "-42");
  char name[] = "Mine";
  rig->Dispatch(kEffSetProgramName, 0, 0, name);
  const std::vector<uint8_t> bank = rig->GetChunk(kBank);
  // Header, then the preset list: name "Mine", initialised, then its 44-byte parameter block.
  ASSERT_EQ(bank.size(), 8u + 4 + 4 + 1 + 44);
  EXPECT_EQ(0, memcmp(bank.data() + 12, "Mine", 4));

  auto other = NewInstance();
  ASSERT_EQ(other->SetChunk(bank, kBank), 1);
  EXPECT_EQ(Text(*other, kEffGetProgramName), "Mine");
  EXPECT_EQ(other->ParamDisplay(1), "-42");
  EXPECT_EQ(other->GetChunk(kBank), bank);

  // Each kind keeps its own buffer: a bank request leaves the program data where it was.
  void* programData = nullptr;
  const intptr_t n = other->Dispatch(kEffGetChunk, 1, 0, &programData);
  ASSERT_EQ(n, 52);
  const std::vector<uint8_t> before(static_cast<uint8_t*>(programData),
                                    static_cast<uint8_t*>(programData) + n);
  other->GetChunk(kBank);
  EXPECT_EQ(0, memcmp(programData, before.data(), before.size()));
}

TEST_F(Module, TruncatedAndHostileChunksAreRefused) {
  auto source = NewInstance();
  source->SetParameterText(1, "-31");
  const std::vector<uint8_t> program = source->GetChunk(kProgram);
  const std::vector<uint8_t> bank = source->GetChunk(kBank);

  auto rig = NewInstance();
  for (size_t n = 0; n < program.size(); ++n) {
    const std::vector<uint8_t> cut(program.begin(), program.begin() + static_cast<long>(n));
    EXPECT_EQ(rig->SetChunk(cut, kProgram), 0) << n << " bytes";
  }
  for (size_t n = 8; n < bank.size(); ++n) {
    const std::vector<uint8_t> cut(bank.begin(), bank.begin() + static_cast<long>(n));
    EXPECT_EQ(rig->SetChunk(cut, kBank), 0) << n << " bytes of the bank";
  }
  // A preset-name length that runs past the end.
  std::vector<uint8_t> badName = bank;
  badName[8] = 0xFF, badName[9] = 0xFF, badName[10] = 0xFF, badName[11] = 0x7F;
  EXPECT_EQ(rig->SetChunk(badName, kBank), 0);

  uint8_t byte = 0;
  EXPECT_EQ(rig->Dispatch(kEffSetChunk, 1, 52, nullptr), 0);
  EXPECT_EQ(rig->Dispatch(kEffSetChunk, 1, -1, &byte), 0);
  EXPECT_EQ(rig->Dispatch(kEffSetChunk, 0, INTPTR_MAX, &byte), 0);
  EXPECT_EQ(rig->Dispatch(kEffSetChunk, 1, intptr_t{1} << 40, &byte), 0);
  EXPECT_EQ(rig->Dispatch(kEffGetChunk, 1, 0, nullptr), 0);
  EXPECT_EQ(rig->Dispatch(kEffGetChunk, 0, 0, nullptr), 0);

  // After all that the instance still saves and restores.
  ASSERT_EQ(rig->SetChunk(program, kProgram), 1);
  EXPECT_EQ(rig->GetChunk(kProgram), program);
}

// --- events -------------------------------------------------------------------------------------

TEST_F(Module, IncomingMidiIsPassedToTheHost) {
  auto rig = NewInstance();
  VstMidiEvent note{};
  note.type = kVstMidiType;
  note.byteSize = sizeof note;
  note.deltaFrames = 12;
  note.midiData[0] = 0x90, note.midiData[1] = 60, note.midiData[2] = 100;
  VstEvent other{};
  other.type = 3; // neither MIDI nor system exclusive
  struct {
    int32_t numEvents;
    intptr_t reserved;
    VstEvent* events[3];
  } list{3, 0, {reinterpret_cast<VstEvent*>(&note), nullptr, &other}};
  EXPECT_EQ(rig->Dispatch(kEffProcessEvents, 0, 0, &list), 1);
  ASSERT_EQ(rig->midiOut.size(), 1u);
  EXPECT_EQ(rig->midiOut[0].type, kVstMidiType);
  EXPECT_EQ(rig->midiOut[0].deltaFrames, 12);
  EXPECT_EQ(rig->midiOut[0].data[0], 0x90);
  EXPECT_EQ(rig->midiOut[0].data[1], 60);
  EXPECT_EQ(rig->midiOut[0].data[2], 100);
  EXPECT_EQ(rig->CountCalls(kHostProcessEvents), 1);

  EXPECT_EQ(rig->Dispatch(kEffProcessEvents, 0, 0, nullptr), 0);
  list.numEvents = -4;
  EXPECT_EQ(rig->Dispatch(kEffProcessEvents, 0, 0, &list), 1);
  EXPECT_EQ(rig->midiOut.size(), 1u);

  VstKeyName key{};
  key.thisKeyNumber = 60;
  strcpy(key.keyName, "C4");
  EXPECT_EQ(rig->Dispatch(kEffGetMidiKeyName, 0, 0, &key), 0);
  EXPECT_STREQ(key.keyName, "");
  EXPECT_EQ(rig->Dispatch(kEffGetMidiKeyName, 0, 0, nullptr), 0);
}

// --- audio --------------------------------------------------------------------------------------

// The three callbacks compute the same block; accumulating adds it to what the host held.
TEST_F(Module, ReplacingAccumulatingAndDoubleCallbacksAgree) {
  auto replacing = NewInstance(), accumulating = NewInstance(), dbl = NewInstance();
  for (VstPlugin* r : {replacing.get(), accumulating.get(), dbl.get()})
    Start(*r, 48000.0, 1024);
  Noise noise(5);
  for (int b = 0; b < 6; ++b) {
    SCOPED_TRACE(b);
    const int frames = 64 * (b + 1);
    FloatBlock f(frames), acc(frames);
    f.FillNoise(noise, 0.3);
    acc.CopyIn(f);
    for (auto& ch : acc.out)
      std::fill(ch.begin(), ch.end(), 0.25f);
    DoubleBlock d(frames);
    d.CopyIn(f);
    replacing->Effect()->processReplacing(replacing->Effect(), f.inPtr.data(), f.outPtr.data(),
                                          frames);
    accumulating->Effect()->process(accumulating->Effect(), acc.inPtr.data(), acc.outPtr.data(),
                                    frames);
    dbl->Effect()->processDoubleReplacing(dbl->Effect(), d.inPtr.data(), d.outPtr.data(), frames);
    for (int c = 0; c < 2; ++c) {
      for (int k = 0; k < frames; ++k) {
        ASSERT_EQ(f.out[c][k], static_cast<float>(d.out[c][k])) << c << ":" << k;
        ASSERT_EQ(acc.out[c][k], 0.25f + f.out[c][k]) << c << ":" << k;
      }
    }
    // The host's input buffers of the float paths are left as they were.
    EXPECT_EQ(acc.in, f.in);
  }
  // Matching scaled the first block: the gain starts from 0 and rises.
  FloatBlock probe(256);
  probe.FillNoise(noise, 0.3);
  auto fresh = NewInstance();
  Start(*fresh);
  fresh->Effect()->processReplacing(fresh->Effect(), probe.inPtr.data(), probe.outPtr.data(), 256);
  EXPECT_NEAR(probe.out[0][100] / probe.in[0][100], 1.0 - 0.31622776601683794, 1e-5);
}

TEST_F(Module, EmptyBlocksWriteNothing) {
  auto rig = NewInstance();
  Start(*rig);
  FloatBlock f(16);
  for (auto& ch : f.out)
    std::fill(ch.begin(), ch.end(), 7.0f);
  DoubleBlock d(16);
  for (auto& ch : d.out)
    std::fill(ch.begin(), ch.end(), 7.0);
  for (int frames : {0, -1, INT_MIN}) {
    rig->Effect()->processReplacing(rig->Effect(), f.inPtr.data(), f.outPtr.data(), frames);
    rig->Effect()->process(rig->Effect(), f.inPtr.data(), f.outPtr.data(), frames);
    rig->Effect()->processDoubleReplacing(rig->Effect(), d.inPtr.data(), d.outPtr.data(), frames);
  }
  for (int c = 0; c < 2; ++c) {
    EXPECT_EQ(f.out[c], std::vector<float>(16, 7.0f));
    EXPECT_EQ(d.out[c], std::vector<double>(16, 7.0));
  }
}

// Opcode 42 with one input channel: the second input is unconnected and reads zeros, and the
// host passes (and the plug-in reads) one input pointer only.
TEST_F(Module, MonoArrangementReadsZerosOnTheSecondInput) {
  auto rig = NewInstance();
  Start(*rig, 48000.0, 256);
  ASSERT_EQ(rig->SetParameterText(0, "on"), 1); // bypass: the output is the input
  VstSpeakerArrangement mono{}, stereo{}, wide{};
  mono.type = kSpeakerArrMono, mono.numChannels = 1;
  stereo.type = kSpeakerArrStereo, stereo.numChannels = 2;
  wide.type = kSpeakerArrUserDefined, wide.numChannels = 3;
  ASSERT_EQ(rig->Dispatch(kEffSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&mono), &stereo),
            1);
  Noise noise(9);
  for (bool useDouble : {false, true}) {
    SCOPED_TRACE(useDouble);
    const int frames = 200;
    std::unique_ptr<float*[]> inF(new float*[1]); // exactly one host input pointer
    std::unique_ptr<double*[]> inD(new double*[1]);
    std::vector<float> in0(frames);
    std::vector<double> in0d(frames);
    for (int k = 0; k < frames; ++k)
      in0d[k] = in0[k] = static_cast<float>(0.5 * noise.Next());
    inF[0] = in0.data();
    inD[0] = in0d.data();
    std::vector<float> out0(frames, 9.0f), out1(frames, 9.0f);
    std::vector<double> out0d(frames, 9.0), out1d(frames, 9.0);
    if (useDouble) {
      double* outs[] = {out0d.data(), out1d.data()};
      rig->Effect()->processDoubleReplacing(rig->Effect(), inD.get(), outs, frames);
      EXPECT_EQ(out0d, in0d);
      EXPECT_EQ(out1d, std::vector<double>(frames, 0.0));
    } else {
      float* outs[] = {out0.data(), out1.data()};
      rig->Effect()->processReplacing(rig->Effect(), inF.get(), outs, frames);
      EXPECT_EQ(out0, in0);
      EXPECT_EQ(out1, std::vector<float>(frames, 0.0f));
    }
  }
  // A mono output leaves the host's second output buffer alone.
  ASSERT_EQ(rig->Dispatch(kEffSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&stereo), &mono),
            1);
  FloatBlock f(64);
  f.FillNoise(noise, 0.5);
  std::fill(f.out[1].begin(), f.out[1].end(), 9.0f);
  rig->Effect()->processReplacing(rig->Effect(), f.inPtr.data(), f.outPtr.data(), 64);
  EXPECT_EQ(f.out[0], f.in[0]);
  EXPECT_EQ(f.out[1], std::vector<float>(64, 9.0f));

  // More channels than there are connect both; the reported arrangements never change.
  ASSERT_EQ(rig->Dispatch(kEffSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&wide), &wide),
            1);
  rig->Effect()->processReplacing(rig->Effect(), f.inPtr.data(), f.outPtr.data(), 64);
  EXPECT_EQ(f.out[1], f.in[1]);
  VstSpeakerArrangement* in = nullptr;
  VstSpeakerArrangement* out = nullptr;
  EXPECT_EQ(rig->Dispatch(kEffGetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&in), &out), 1);
  ASSERT_TRUE(in && out);
  EXPECT_EQ(in->type, kSpeakerArrStereo);
  EXPECT_EQ(in->numChannels, 2);
  EXPECT_EQ(out->type, kSpeakerArrStereo);
  EXPECT_EQ(rig->Dispatch(kEffGetSpeakerArrangement, 0, 0, nullptr), 1);
  EXPECT_EQ(rig->Dispatch(kEffSetSpeakerArrangement, 0, 0, nullptr), 1);
}

// A host block longer than the block size runs as consecutive blocks of that size: the same as
// the host sending those blocks itself, on both precisions, and never past the scratch buffers.
TEST_F(Module, LongHostBlocksRunInSlicesOfTheBlockSize) {
  constexpr int kBlock = 64, kLong = 1000;
  Noise noise(11);
  FloatBlock whole(kLong);
  whole.FillNoise(noise, 0.3);
  for (bool useDouble : {false, true}) {
    SCOPED_TRACE(useDouble);
    auto one = NewInstance(), sliced = NewInstance();
    Start(*one, 48000.0, kBlock);
    Start(*sliced, 48000.0, kBlock);
    std::vector<std::vector<double>> a(2, std::vector<double>(kLong)), b = a;
    if (useDouble) {
      DoubleBlock d(kLong), e(kLong);
      d.CopyIn(whole);
      e.CopyIn(whole);
      one->Effect()->processDoubleReplacing(one->Effect(), d.inPtr.data(), d.outPtr.data(), kLong);
      for (int off = 0; off < kLong; off += kBlock) {
        double* ins[] = {e.in[0].data() + off, e.in[1].data() + off};
        double* outs[] = {e.out[0].data() + off, e.out[1].data() + off};
        sliced->Effect()->processDoubleReplacing(sliced->Effect(), ins, outs,
                                                 std::min(kBlock, kLong - off));
      }
      a = d.out, b = e.out;
    } else {
      FloatBlock f(kLong), g(kLong);
      f.CopyIn(whole);
      g.CopyIn(whole);
      one->Effect()->processReplacing(one->Effect(), f.inPtr.data(), f.outPtr.data(), kLong);
      for (int off = 0; off < kLong; off += kBlock) {
        float* ins[] = {g.in[0].data() + off, g.in[1].data() + off};
        float* outs[] = {g.out[0].data() + off, g.out[1].data() + off};
        sliced->Effect()->processReplacing(sliced->Effect(), ins, outs,
                                           std::min(kBlock, kLong - off));
      }
      for (int c = 0; c < 2; ++c)
        for (int k = 0; k < kLong; ++k)
          a[c][k] = f.out[c][k], b[c][k] = g.out[c][k];
    }
    EXPECT_EQ(a, b);
    EXPECT_NE(a[0][kLong - 1], 0.0);
  }

  // Mono on the double path: the unconnected input's scratch stands in for the whole block.
  auto mono = NewInstance();
  Start(*mono, 48000.0, kBlock);
  mono->SetParameterText(0, "on");
  VstSpeakerArrangement one{};
  one.numChannels = 1;
  mono->Dispatch(kEffSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&one), nullptr);
  DoubleBlock d(kLong);
  d.CopyIn(whole);
  std::fill(d.out[1].begin(), d.out[1].end(), 9.0);
  mono->Effect()->processDoubleReplacing(mono->Effect(), d.inPtr.data(), d.outPtr.data(), kLong);
  EXPECT_EQ(d.out[0], d.in[0]);
  EXPECT_EQ(d.out[1], std::vector<double>(kLong, 0.0));
}

// The transport decides whether leading silence delays the reference. The sender is 18 dB
// quieter during the silence than after it: a delayed reference keeps the quieter level for the
// blocks after the onset, an undelayed one takes the louder level at once. (A gain may fall at
// once after the start, while a rise waits for the meter to fill.)
TEST_F(Module, TransportFlagsDecideTheReferenceDelay) {
  constexpr int kBlock = 512, kSilentBlocks = 12;
  struct Case {
    const char* what;
    bool playing;
    int32_t validFlags;
    bool delayed;
  } cases[] = {
      {"playing, tempo valid", true, kVstTempoValid, true},
      {"playing, bars valid", true, kVstBarsValid, true},
      {"playing without a validity bit", true, 0, false},
      {"stopped", false, kVstTempoValid | kVstPpqPosValid, false},
  };
  double undelayed = 0.0;
  std::vector<double> levels;
  for (const Case& c : cases) {
    ReferenceSender sender;
    ASSERT_TRUE(sender.Open());
    auto rig = NewInstance();
    rig->transport.playing = c.playing;
    rig->transport.validFlags = c.validFlags;
    Start(*rig, 48000.0, kBlock);
    Noise noise(21);
    FloatBlock f(kBlock);
    sender.PublishLufs(-38.0);
    for (int b = 0; b < kSilentBlocks; ++b) {
      for (auto& ch : f.in)
        std::fill(ch.begin(), ch.end(), 0.0f);
      rig->Effect()->processReplacing(rig->Effect(), f.inPtr.data(), f.outPtr.data(), kBlock);
    }
    sender.PublishLufs(-20.0);
    std::vector<float> out;
    for (int b = 0; b < kSilentBlocks - 2; ++b) {
      f.FillNoise(noise, 0.1);
      rig->Effect()->processReplacing(rig->Effect(), f.inPtr.data(), f.outPtr.data(), kBlock);
      out.insert(out.end(), f.out[0].begin(), f.out[0].end());
    }
    levels.push_back(Rms(out, 2 * kBlock, out.size()));
    if (!c.delayed) undelayed = levels.back();
  }
  ASSERT_GT(undelayed, 0.0);
  for (size_t i = 0; i < levels.size(); ++i) {
    SCOPED_TRACE(cases[i].what);
    if (cases[i].delayed)
      EXPECT_LT(levels[i] / undelayed, 0.5); // about 10 dB while the meter fills
    else
      EXPECT_NEAR(levels[i] / undelayed, 1.0, 0.05);
  }
}

// Hosts that split blocks into single frames get the same matching as hosts with 64-frame
// blocks: the same input against the same sender settles to the same gain within 0.01 dB.
TEST_F(Module, SingleFrameBlocksSettleToTheSameGainAs64FrameBlocks) {
  ReferenceSender sender;
  ASSERT_TRUE(sender.Open());
  sender.PublishLufs(-20.0);
  auto settledGainDb = [&](int frames) {
    auto rig = NewInstance();
    rig->recordCalls = false;
    rig->transport.playing = true;
    Start(*rig, 48000.0, 64);
    FloatBlock f(frames);
    double phase = 0.0;
    float in = 0.0f, out = 0.0f;
    // 3 s of a 1 kHz sine at -30 dBFS, in blocks of `frames`.
    for (int done = 0; done < 3 * 48000; done += frames) {
      for (int k = 0; k < frames; ++k, phase += 2.0 * 3.14159265358979 * 1000.0 / 48000.0)
        f.in[0][k] = f.in[1][k] = static_cast<float>(0.0316 * std::sin(phase));
      rig->Effect()->processReplacing(rig->Effect(), f.inPtr.data(), f.outPtr.data(), frames);
      for (int k = 0; k < frames; ++k)
        if (std::fabs(f.in[0][k]) > std::fabs(in)) {
          in = f.in[0][k];
          out = f.out[0][k];
        }
      if (done % 4800 == 0) in = out = 0.0f; // the peak of the last 100 ms
    }
    return 20.0 * std::log10(out / in);
  };
  const double one = settledGainDb(1), sixtyFour = settledGainDb(64);
  EXPECT_NEAR(one, sixtyFour, 0.01);
  EXPECT_GT(sixtyFour, 5.0) << "the quiet input was raised towards the sender";
}

// --- host identification and lifecycle ----------------------------------------------------------

TEST_F(Module, OpenAsksTheHostOnceAndNotifiesEveryTime) {
  auto rig = NewInstance();
  rig->hostProductName = "REAPER";
  rig->hostVersion = 5203;
  rig->Dispatch(kEffOpen);
  rig->Dispatch(kEffOpen);
  EXPECT_EQ(rig->CountCalls(kHostGetProductString), 1);
  EXPECT_EQ(rig->CountCalls(kHostGetVendorVersion), 1);

  auto anonymous = NewInstance();
  anonymous->hostProductName = "";
  anonymous->Dispatch(kEffOpen);
  anonymous->Dispatch(kEffOpen);
  EXPECT_EQ(anonymous->CountCalls(kHostGetProductString), 1);
  EXPECT_EQ(anonymous->CountCalls(kHostGetVendorVersion), 0);
}

TEST_F(Module, InstancesAreIndependentAndReopenFresh) {
  auto a = NewInstance(), b = NewInstance();
  Start(*a);
  Start(*b);
  a->SetParameterText(1, "-12");
  a->SetParameterText(0, "on");
  EXPECT_EQ(b->ParamDisplay(1), "-23");

  Noise noise(4);
  FloatBlock fa(256), fb(256);
  fa.FillNoise(noise, 0.3);
  fb.CopyIn(fa);
  a->Effect()->processReplacing(a->Effect(), fa.inPtr.data(), fa.outPtr.data(), 256);
  b->Effect()->processReplacing(b->Effect(), fb.inPtr.data(), fb.outPtr.data(), 256);
  EXPECT_EQ(fa.out, fa.in); // bypassed
  EXPECT_NE(fb.out, fb.in); // matching scaled it

  a->Close();
  b->Effect()->processReplacing(b->Effect(), fb.inPtr.data(), fb.outPtr.data(), 256);
  EXPECT_EQ(b->ParamDisplay(1), "-23");
  b->Close();

  auto again = NewInstance();
  Start(*again);
  EXPECT_EQ(again->ParamDisplay(1), "-23");
  EXPECT_EQ(again->ParamDisplay(0), "off");
  EXPECT_EQ(again->GetChunk(kProgram), DefaultProgramChunk());
}

// The host's audio thread and its user-interface thread call one instance at once, while a
// second instance runs on a thread of its own: the instance mutex keeps chunk and parameter
// calls out of the blocks (ThreadSanitizer watches this test in the tsan configuration).
TEST_F(Module, AudioAndUserInterfaceThreadsShareAnInstance) {
  auto a = NewInstance(), b = NewInstance();
  Start(*a, 48000.0, 256);
  Start(*b, 48000.0, 256);
  a->recordCalls = b->recordCalls = false;
  const std::vector<uint8_t> state = a->GetChunk(kProgram);
  std::atomic<bool> stop{false};
  auto audio = [&stop](VstEffect* e, uint32_t seed) {
    Noise noise(seed);
    FloatBlock f(256);
    int blocks = 0;
    while (!stop || blocks < 50) {
      f.FillNoise(noise, 0.3);
      e->processReplacing(e, f.inPtr.data(), f.outPtr.data(), 256);
      ++blocks;
    }
  };
  std::thread audioA(audio, a->Effect(), 1), audioB(audio, b->Effect(), 2);
  VstEffect* e = a->Effect();
  for (int i = 0; i < 200; ++i) {
    void* data = nullptr;
    EXPECT_EQ(e->dispatcher(e, kEffGetChunk, 1, 0, &data, 0.0f), 52);
    std::vector<uint8_t> copy = state;
    EXPECT_EQ(e->dispatcher(e, kEffSetChunk, 1, 52, copy.data(), 0.0f), 1);
    char text[kVstParamStringSize];
    e->dispatcher(e, kEffGetParamDisplay, 1, 0, text, 0.0f);
  }
  // Host automation of Bypass, which every block reads.
  for (int i = 0; i < 20000; ++i) {
    e->setParameter(e, 0, (i % 2) ? 1.0f : 0.0f);
    EXPECT_GE(e->getParameter(e, 0), 0.0f);
  }
  stop = true;
  audioA.join();
  audioB.join();
}

// --- a hostile host -----------------------------------------------------------------------------

TEST_F(Module, HostileHostGetsFailureResultsNotCrashes) {
  auto rig = NewInstance();
  Start(*rig);
  // Null pointers on every opcode, with indices out of every range.
  for (int32_t op = 0; op <= 80; ++op) {
    if (op == kEffClose) continue;
    for (int32_t index : {0, -1, INT_MAX, INT_MIN})
      rig->Dispatch(op, index, 0, nullptr, NAN);
  }
  // Numbers where the value is one.
  for (int32_t op : {kEffSetProgram, kEffSetBlockSize, kEffMainsChanged, kEffVendorSpecific})
    for (intptr_t value : {intptr_t{-1}, INTPTR_MAX, INTPTR_MIN})
      rig->Dispatch(op, 7, value, nullptr, NAN);
  rig->Dispatch(kEffMainsChanged, 0, 1);
  // Absurd settings are ignored: processing goes on at the last usable ones.
  rig->Dispatch(kEffSetBlockSize, 0, 0);
  rig->Dispatch(kEffSetBlockSize, 0, -5);
  rig->Dispatch(kEffSetBlockSize, 0, INTPTR_MAX);
  rig->Dispatch(kEffSetSampleRate, 0, 0, nullptr, 0.0f);
  rig->Dispatch(kEffSetSampleRate, 0, 0, nullptr, -48000.0f);
  rig->Dispatch(kEffSetSampleRate, 0, 0, nullptr, INFINITY);
  VstSpeakerArrangement odd{};
  odd.numChannels = -7;
  rig->Dispatch(kEffSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&odd), &odd);
  odd.numChannels = INT_MAX;
  rig->Dispatch(kEffSetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&odd), &odd);
  rig->Effect()->setParameter(rig->Effect(), 1, NAN);
  rig->Effect()->setParameter(rig->Effect(), INT_MIN, 0.5f);
  EXPECT_EQ(rig->ParamDisplay(1), "-23");

  Noise noise(2);
  FloatBlock f(4096);
  f.FillNoise(noise, 0.3);
  rig->Effect()->processReplacing(rig->Effect(), f.inPtr.data(), f.outPtr.data(), 4096);
  for (int c = 0; c < 2; ++c)
    for (float s : f.out[c])
      ASSERT_TRUE(std::isfinite(s));

  // Null buffer arrays or null channel pointers: the block is skipped.
  float* holes[] = {f.in[0].data(), nullptr};
  rig->Effect()->processReplacing(rig->Effect(), nullptr, f.outPtr.data(), 64);
  rig->Effect()->processReplacing(rig->Effect(), f.inPtr.data(), nullptr, 64);
  rig->Effect()->process(rig->Effect(), holes, f.outPtr.data(), 64);
  rig->Effect()->processReplacing(rig->Effect(), f.inPtr.data(), holes, 64);
  rig->Effect()->processDoubleReplacing(rig->Effect(), nullptr, nullptr, 64);
  double* dholes[] = {nullptr, nullptr};
  rig->Effect()->processDoubleReplacing(rig->Effect(), dholes, dholes, 64);

  // A record whose object field was cleared answers 0 to everything.
  VstEffect copy = *rig->Effect();
  copy.object = nullptr;
  EXPECT_EQ(copy.dispatcher(&copy, kEffGetVendorVersion, 0, 0, nullptr, 0.0f), 0);
  EXPECT_EQ(copy.getParameter(&copy, 1), 0.0f);
  copy.processReplacing(&copy, f.inPtr.data(), f.outPtr.data(), 64);
  EXPECT_EQ(rig->Effect()->dispatcher(nullptr, kEffGetVendorVersion, 0, 0, nullptr, 0.0f), 0);

  // A host without a callback still gets a working instance.
  VstEffect* orphan = module->Entry()(nullptr);
  ASSERT_NE(orphan, nullptr);
  orphan->dispatcher(orphan, kEffOpen, 0, 0, nullptr, 0.0f);
  orphan->processReplacing(orphan, f.inPtr.data(), f.outPtr.data(), 256);
  orphan->dispatcher(orphan, kEffClose, 0, 0, nullptr, 0.0f);
}

} // namespace
