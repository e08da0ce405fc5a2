#pragma once
// The VST2 binary interface between a host and a plug-in module, as far as this project uses
// it, written from the publicly documented binary layout. Both sides of the interface (our
// adapter and our host harness) include only this header. Layouts are for 64-bit targets.

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define VST_CALL __cdecl
#define VST_EXPORT extern "C" __declspec(dllexport)
#else
#define VST_CALL
#define VST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

struct VstEffect;

// Host callback and dispatcher share one signature.
using VstHostCallback = intptr_t(VST_CALL*)(VstEffect* effect, int32_t opcode, int32_t index,
                                            intptr_t value, void* ptr, float opt);
using VstDispatcherProc = VstHostCallback;
using VstProcessProc = void(VST_CALL*)(VstEffect* effect, float** inputs, float** outputs,
                                       int32_t frames);
using VstProcessDoubleProc = void(VST_CALL*)(VstEffect* effect, double** inputs, double** outputs,
                                             int32_t frames);
using VstSetParameterProc = void(VST_CALL*)(VstEffect* effect, int32_t index, float value);
using VstGetParameterProc = float(VST_CALL*)(VstEffect* effect, int32_t index);
// The module entry points ("VSTPluginMain", "main").
using VstEntryProc = VstEffect*(VST_CALL*)(VstHostCallback host);

constexpr int32_t kVstMagic = 0x56737450; // "VstP"

// The effect record a plug-in hands to its host.
struct VstEffect {
  int32_t magic;
  VstDispatcherProc dispatcher;
  VstProcessProc process; // accumulating, single precision
  VstSetParameterProc setParameter;
  VstGetParameterProc getParameter;
  int32_t numPrograms;
  int32_t numParams;
  int32_t numInputs;
  int32_t numOutputs;
  int32_t flags;
  intptr_t reserved1;
  intptr_t reserved2;
  int32_t initialDelay;
  int32_t realQualities;
  int32_t offQualities;
  float ioRatio;
  void* object; // the plug-in instance
  void* user;   // the host's
  int32_t uniqueId;
  int32_t version;
  VstProcessProc processReplacing;
  VstProcessDoubleProc processDoubleReplacing;
  char future[56];
};

// Effect flags; flags that imply others include them.
constexpr int32_t kEffFlagsHasEditor = 1 << 0;
constexpr int32_t kEffFlagsCanMono = 1 << 3;
constexpr int32_t kEffFlagsCanReplacing = 1 << 4;
constexpr int32_t kEffFlagsProgramChunks = 1 << 5;
constexpr int32_t kEffFlagsIsSynth = 1 << 8;
constexpr int32_t kEffFlagsNoSoundInStop = 1 << 9;
constexpr int32_t kEffFlagsCanDoubleReplacing = 1 << 12;

// Dispatcher opcodes (host to plug-in).
enum VstEffectOpcode : int32_t {
  kEffOpen = 0,
  kEffClose = 1,
  kEffSetProgram = 2,
  kEffGetProgram = 3,
  kEffSetProgramName = 4,
  kEffGetProgramName = 5,
  kEffGetParamLabel = 6,
  kEffGetParamDisplay = 7,
  kEffGetParamName = 8,
  kEffSetSampleRate = 10,
  kEffSetBlockSize = 11,
  kEffMainsChanged = 12,
  kEffEditGetRect = 13,
  kEffEditOpen = 14,
  kEffEditClose = 15,
  kEffEditIdle = 19,
  kEffIdentify = 22,
  kEffGetChunk = 23,
  kEffSetChunk = 24,
  kEffProcessEvents = 25,
  kEffCanBeAutomated = 26,
  kEffString2Parameter = 27,
  kEffGetProgramNameIndexed = 29,
  kEffGetInputProperties = 33,
  kEffGetOutputProperties = 34,
  kEffGetPlugCategory = 35,
  kEffSetSpeakerArrangement = 42,
  kEffGetEffectName = 45,
  kEffGetVendorString = 47,
  kEffGetProductString = 48,
  kEffGetVendorVersion = 49,
  kEffVendorSpecific = 50,
  kEffCanDo = 51,
  kEffGetTailSize = 52,
  kEffIdle = 53,
  kEffGetVstVersion = 58,
  kEffGetMidiKeyName = 66,
  kEffGetSpeakerArrangement = 69,
};

// Host callback opcodes (plug-in to host).
enum VstHostOpcode : int32_t {
  kHostAutomate = 0,
  kHostVersion = 1,
  kHostCurrentId = 2,
  kHostIdle = 3,
  kHostWantMidi = 6,
  kHostGetTime = 7,
  kHostProcessEvents = 8,
  kHostIoChanged = 13,
  kHostSizeWindow = 15,
  kHostGetSampleRate = 16,
  kHostGetBlockSize = 17,
  kHostGetCurrentProcessLevel = 23,
  kHostGetVendorString = 32,
  kHostGetProductString = 33,
  kHostGetVendorVersion = 34,
  kHostCanDo = 37,
  kHostUpdateDisplay = 42,
  kHostBeginEdit = 43,
  kHostEndEdit = 44,
};

constexpr intptr_t kVstProcessLevelOffline = 4;
constexpr int32_t kVstVersion = 2400;

// Time information the host hands out on kHostGetTime.
struct VstTimeInfo {
  double samplePos;
  double sampleRate;
  double nanoSeconds;
  double ppqPos;
  double tempo;
  double barStartPos;
  double cycleStartPos;
  double cycleEndPos;
  int32_t timeSigNumerator;
  int32_t timeSigDenominator;
  int32_t smpteOffset;
  int32_t smpteFrameRate;
  int32_t samplesToNextClock;
  int32_t flags;
};

constexpr int32_t kVstTransportChanged = 1 << 0;
constexpr int32_t kVstTransportPlaying = 1 << 1;
constexpr int32_t kVstTransportCycleActive = 1 << 2;
constexpr int32_t kVstTransportRecording = 1 << 3;
constexpr int32_t kVstNanosValid = 1 << 8;
constexpr int32_t kVstPpqPosValid = 1 << 9;
constexpr int32_t kVstTempoValid = 1 << 10;
constexpr int32_t kVstBarsValid = 1 << 11;
constexpr int32_t kVstCyclePosValid = 1 << 12;
constexpr int32_t kVstTimeSigValid = 1 << 13;
constexpr int32_t kVstTimeMaskAll = kVstPpqPosValid | kVstTempoValid | kVstBarsValid |
                                    kVstCyclePosValid | kVstTimeSigValid; // 0x3E00

// Events.
constexpr int32_t kVstMidiType = 1;
constexpr int32_t kVstSysExType = 6;

struct VstEvent {
  int32_t type;
  int32_t byteSize;
  int32_t deltaFrames;
  int32_t flags;
  char data[16];
};

struct VstMidiEvent {
  int32_t type;     // kVstMidiType
  int32_t byteSize; // 32
  int32_t deltaFrames;
  int32_t flags;
  int32_t noteLength;
  int32_t noteOffset;
  uint8_t midiData[4];
  int8_t detune;
  uint8_t noteOffVelocity;
  uint8_t reserved1;
  uint8_t reserved2;
};

struct VstSysExEvent {
  int32_t type;     // kVstSysExType
  int32_t byteSize; // 48
  int32_t deltaFrames;
  int32_t flags;
  int32_t dumpBytes;
  intptr_t reserved1;
  uint8_t* sysexDump;
  intptr_t reserved2;
};

// A list of event pointers; hosts allocate it with room for numEvents entries.
struct VstEventList {
  int32_t numEvents;
  intptr_t reserved;
  VstEvent* events[2];
};

// Channel descriptions.
constexpr int32_t kVstPinIsActive = 1 << 0;
constexpr int32_t kVstPinIsStereo = 1 << 1;
constexpr int32_t kVstPinUseSpeaker = 1 << 2;
constexpr size_t kVstPinLabelSize = 64;

struct VstPinProperties {
  char label[kVstPinLabelSize];
  int32_t flags;
  int32_t arrangementType;
  char shortLabel[8];
  char future[48];
};

// Plug-in categories (kEffGetPlugCategory).
constexpr intptr_t kPlugCategEffect = 1;
constexpr intptr_t kPlugCategSynth = 2;

constexpr int32_t kSpeakerArrUserDefined = -2;
constexpr int32_t kSpeakerArrEmpty = -1;
constexpr int32_t kSpeakerArrMono = 0;
constexpr int32_t kSpeakerArrStereo = 1;

struct VstSpeakerProperties {
  float azimuth;
  float elevation;
  float radius;
  float reserved;
  char name[64];
  int32_t type;
  char future[28];
};

struct VstSpeakerArrangement {
  int32_t type;
  int32_t numChannels;
  VstSpeakerProperties speakers[8];
};

struct VstKeyName {
  int32_t thisProgramIndex;
  int32_t thisKeyNumber;
  char keyName[64];
  int32_t reserved;
  int32_t flags;
};

// String sizes hosts provide for the text opcodes.
constexpr size_t kVstParamStringSize = 32;  // opcodes 6, 7, 8 (the interface's minimum is 8)
constexpr size_t kVstProgramNameSize = 24;  // opcodes 4, 5, 29 (hosts commonly give more)
constexpr size_t kVstEffectNameSize = 32;   // opcode 45
constexpr size_t kVstVendorStringSize = 64; // opcodes 47, 48
constexpr size_t kVstHostStringSize = 256;  // host opcodes 32, 33

static_assert(sizeof(VstEffect) == 192, "effect record layout");
static_assert(offsetof(VstEffect, object) == 96, "effect record layout");
static_assert(offsetof(VstEffect, processDoubleReplacing) == 128, "effect record layout");
static_assert(sizeof(VstTimeInfo) == 88, "time info layout");
static_assert(sizeof(VstMidiEvent) == 32, "MIDI event layout");
static_assert(sizeof(VstSysExEvent) == 48, "system-exclusive event layout");
static_assert(offsetof(VstEventList, events) == 16, "event list layout");
static_assert(sizeof(VstPinProperties) == 128, "pin properties layout");
static_assert(sizeof(VstSpeakerProperties) == 112, "speaker properties layout");
static_assert(sizeof(VstKeyName) == 80, "key name layout");
