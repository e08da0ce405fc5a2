// A tiny VST2 plug-in for testing the host harness from the plug-in side. It asks the host what
// a plug-in may ask (inside the entry call, on open, in every process call) and reports what it
// got as its program chunk. Two parameters: 0 gain (output = input * 2 * value), 1 a plain
// number set by text. Built in several variants (PROBE_MODE, PROBE_EXPORTS) to play the broken
// modules a host must survive.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/vsthost/ProbeReport.h"

#define PROBE_GOOD 0
#define PROBE_NULL_EFFECT 1
#define PROBE_BAD_MAGIC 2
#define PROBE_NO_DISPATCHER 3

#define PROBE_EXPORT_NONE 0
#define PROBE_EXPORT_PLUGIN_MAIN 1
#define PROBE_EXPORT_MAIN 2
#define PROBE_EXPORT_BOTH 3

#ifndef PROBE_MODE
#define PROBE_MODE PROBE_GOOD
#endif
#ifndef PROBE_EXPORTS
#define PROBE_EXPORTS PROBE_EXPORT_BOTH
#endif

namespace {

struct Probe {
  VstEffect effect{}; // first, so the record's address is the instance's
  VstHostCallback host = nullptr;
  float params[2] = {0.5f, 0.0f};
  ProbeReport report{};
  ProbeReport chunk{}; // what opcode 23 hands out; stays valid until the next call
  std::vector<uint8_t> bank;

  intptr_t Host(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                float opt = 0.0f) {
    return host(&effect, opcode, index, value, ptr, opt);
  }

  // audio thread: the queries a plug-in makes per block; no allocation.
  void QueryHost(int32_t kind, int32_t frames) {
    ++report.processCalls;
    report.processKind = kind;
    report.processFrames = frames;
    const auto* time = reinterpret_cast<const VstTimeInfo*>(Host(kHostGetTime, 0, kVstTimeMaskAll));
    report.timeWasNull = time == nullptr;
    if (time) report.time = *time;
    report.processLevel = Host(kHostGetCurrentProcessLevel);
    Host(kHostAutomate, 1, 0, nullptr, 0.25f);
  }
};

Probe* Of(VstEffect* e) {
  return e ? static_cast<Probe*>(e->object) : nullptr;
}

void CopyName(void* ptr, const char* text, size_t size) {
  if (ptr) snprintf(static_cast<char*>(ptr), size, "%s", text);
}

intptr_t VST_CALL Dispatcher(VstEffect* e, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                             float) {
  Probe* p = Of(e);
  if (!p) return 0;
  switch (opcode) {
  case kEffOpen:
    p->report.openProduct[0] = '\0';
    p->Host(kHostGetProductString, 0, 0, p->report.openProduct);
    p->Host(kHostGetVendorString, 0, 0, p->report.openVendor);
    p->report.openVendorVersion = p->Host(kHostGetVendorVersion);
    p->report.openProcessLevel = p->Host(kHostGetCurrentProcessLevel);
    p->report.openWantMidi = p->Host(kHostWantMidi);
    p->report.openBlockSize = p->Host(kHostGetBlockSize);
    {
      char what[] = "sendVstTimeInfo";
      p->report.openCanDoTimeInfo = p->Host(kHostCanDo, 0, 0, what);
    }
    return 0;
  case kEffClose:
    p->Host(kHostUpdateDisplay); // a call from inside close must still reach its instance
    delete p;
    return 0;
  case kEffGetParamName:
    CopyName(ptr, index == 0 ? "Gain" : index == 1 ? "Number" : "", kVstParamStringSize);
    return 0;
  case kEffGetParamLabel:
    CopyName(ptr, index == 0 ? "x" : "", kVstParamStringSize);
    return 0;
  case kEffGetParamDisplay:
    if (index == 0 || index == 1) {
      char text[32];
      snprintf(text, sizeof text, "%.3f", index == 0 ? 2.0 * p->params[0] : p->params[1]);
      CopyName(ptr, text, kVstParamStringSize);
    }
    return 0;
  case kEffString2Parameter:
    if (index != 1) return 0;
    if (ptr) p->params[1] = static_cast<float>(atof(static_cast<const char*>(ptr)));
    return 1;
  case kEffGetChunk:
    if (!ptr) return 0;
    if (index == 0) {
      *static_cast<void**>(ptr) = p->bank.data();
      return static_cast<intptr_t>(p->bank.size());
    }
    p->chunk = p->report;
    *static_cast<void**>(ptr) = &p->chunk;
    return sizeof(ProbeReport);
  case kEffSetChunk:
    if (!ptr || value < 0 || index != 0) return 0;
    p->bank.assign(static_cast<const uint8_t*>(ptr), static_cast<const uint8_t*>(ptr) + value);
    return 1;
  case kEffProcessEvents: {
    // Echoes MIDI events straight back, and one system-exclusive event per list.
    const auto* list = static_cast<const VstEventList*>(ptr);
    if (!list) return 0;
    for (int32_t i = 0; i < list->numEvents; ++i) {
      if (!list->events[i] || list->events[i]->type != kVstMidiType) continue;
      VstMidiEvent midi = *reinterpret_cast<const VstMidiEvent*>(list->events[i]);
      uint8_t dump[4] = {0xF0, 0x7D, midi.midiData[1], 0xF7};
      VstSysExEvent sysex{};
      sysex.type = kVstSysExType;
      sysex.byteSize = sizeof(VstSysExEvent);
      sysex.deltaFrames = midi.deltaFrames;
      sysex.dumpBytes = sizeof dump;
      sysex.sysexDump = dump;
      VstEventList out{};
      out.numEvents = 2;
      out.events[0] = reinterpret_cast<VstEvent*>(&midi);
      out.events[1] = reinterpret_cast<VstEvent*>(&sysex);
      p->Host(kHostProcessEvents, 0, 0, &out);
    }
    return 1;
  }
  case kEffGetEffectName:
    CopyName(ptr, "ZT Probe", kVstEffectNameSize);
    return 1;
  case kEffGetVendorString:
    CopyName(ptr, "ZolvarTesk", kVstVendorStringSize);
    return 1;
  case kEffGetProductString:
    CopyName(ptr, "Host probe", kVstVendorStringSize);
    return 1;
  case kEffGetVendorVersion:
    return 7;
  case kEffCanDo:
    return ptr && strcmp(static_cast<const char*>(ptr), "receiveVstTimeInfo") == 0 ? 1 : 0;
  default:
    return 0;
  }
}

float VST_CALL GetParameter(VstEffect* e, int32_t index) {
  Probe* p = Of(e);
  return p && (index == 0 || index == 1) ? p->params[index] : 0.0f;
}

void VST_CALL SetParameter(VstEffect* e, int32_t index, float value) {
  Probe* p = Of(e);
  if (p && (index == 0 || index == 1)) p->params[index] = value;
}

void VST_CALL ProcessAccumulating(VstEffect* e, float** in, float** out, int32_t frames) {
  Probe* p = Of(e);
  p->QueryHost(1, frames);
  const float g = 2.0f * p->params[0];
  for (int c = 0; c < 2; ++c)
    for (int32_t i = 0; i < frames; ++i)
      out[c][i] += g * in[c][i];
}

void VST_CALL ProcessReplacing(VstEffect* e, float** in, float** out, int32_t frames) {
  Probe* p = Of(e);
  p->QueryHost(2, frames);
  const float g = 2.0f * p->params[0];
  for (int c = 0; c < 2; ++c)
    for (int32_t i = 0; i < frames; ++i)
      out[c][i] = g * in[c][i];
}

void VST_CALL ProcessDouble(VstEffect* e, double** in, double** out, int32_t frames) {
  Probe* p = Of(e);
  p->QueryHost(3, frames);
  const double g = 2.0 * p->params[0];
  for (int c = 0; c < 2; ++c)
    for (int32_t i = 0; i < frames; ++i)
      out[c][i] = g * in[c][i];
}

[[maybe_unused]] VstEffect* Create(VstHostCallback host) {
  if (!host) return nullptr;
  // The broken variants hand out a record that no host can close: it lives in static storage.
  static Probe broken;
  Probe* p = PROBE_MODE == PROBE_GOOD ? new Probe : &broken;
  p->host = host;
  VstEffect& e = p->effect;
  e.magic = kVstMagic;
  e.dispatcher = &Dispatcher;
  e.process = &ProcessAccumulating;
  e.setParameter = &SetParameter;
  e.getParameter = &GetParameter;
  e.numPrograms = 1;
  e.numParams = 2;
  e.numInputs = 2;
  e.numOutputs = 2;
  e.flags = kEffFlagsCanReplacing | kEffFlagsProgramChunks | kEffFlagsCanDoubleReplacing;
  e.initialDelay = 3;
  e.ioRatio = 1.0f;
  e.object = p;
  e.uniqueId = kProbeId;
  e.version = 42;
  e.processReplacing = &ProcessReplacing;
  e.processDoubleReplacing = &ProcessDouble;
  // The questions a plug-in asks before it has handed its record over.
  p->report.entryVersion = host(nullptr, kHostVersion, 0, 0, nullptr, 0.0f);
  p->report.entrySampleRate = host(nullptr, kHostGetSampleRate, 0, 0, nullptr, 0.0f);
  host(&e, kHostGetProductString, 0, 0, p->report.entryProduct, 0.0f);
  switch (PROBE_MODE) {
  case PROBE_NULL_EFFECT:
    return nullptr;
  case PROBE_BAD_MAGIC:
    e.magic = 0x12345678;
    break;
  case PROBE_NO_DISPATCHER:
    e.dispatcher = nullptr;
    break;
  default:
    break;
  }
  return &e;
}

} // namespace

#if PROBE_EXPORTS == PROBE_EXPORT_PLUGIN_MAIN || PROBE_EXPORTS == PROBE_EXPORT_BOTH
VST_EXPORT VstEffect* VST_CALL VSTPluginMain(VstHostCallback host) {
  return Create(host);
}
#endif
#if PROBE_EXPORTS == PROBE_EXPORT_MAIN || PROBE_EXPORTS == PROBE_EXPORT_BOTH
// The legacy entry's symbol is "main", a name C++ keeps for the program's own entry.
VST_EXPORT VstEffect* VST_CALL ProbeLegacyMain(VstHostCallback host) __asm__("main");
VST_EXPORT VstEffect* VST_CALL ProbeLegacyMain(VstHostCallback host) {
  return Create(host);
}
#endif
#if PROBE_EXPORTS == PROBE_EXPORT_NONE
// A shared library like any other: something exported, but no entry point.
VST_EXPORT int ProbeNothing() {
  return 1;
}
#endif
