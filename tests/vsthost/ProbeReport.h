#pragma once
// What the probe plug-in (ProbePlugin.cpp) saw of its host, handed back as its program chunk.
// Both sides are built by the same compiler, so the record travels as raw bytes.

#include <cstdint>

#include "iplug/vst2/vst2_abi.h"

constexpr int32_t kProbeId = ('Z' << 24) | ('t' << 16) | ('P' << 8) | 'r';

struct ProbeReport {
  // Asked inside the entry call, before the host knows the record.
  int64_t entryVersion;    // kHostVersion with a null effect
  int64_t entrySampleRate; // kHostGetSampleRate with a null effect
  char entryProduct[256];  // kHostGetProductString with the record not yet returned
  // Asked on open.
  char openProduct[256];
  char openVendor[64];
  int64_t openVendorVersion;
  int64_t openProcessLevel;
  int64_t openWantMidi;
  int64_t openBlockSize;
  int64_t openCanDoTimeInfo; // kHostCanDo "sendVstTimeInfo"
  // Seen in the last process call (any of the three entries).
  int32_t processCalls;
  int32_t processKind; // 1 accumulating, 2 replacing, 3 double
  int32_t processFrames;
  int32_t timeWasNull;
  int64_t processLevel;
  VstTimeInfo time; // copy of the record kHostGetTime returned
};
