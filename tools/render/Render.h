#pragma once
// One offline render: the plug-in (its VST2 or its AAX module) processes the input
// block by block while a sender stand-in publishes the reference's momentary loudness into the
// shared segment before each block, as a sender on another track of the same session would.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/render/AudioFile.h"
#include "tools/render/Loudness.h"
#include "tools/render/Screenshot.h"

struct RenderOptions {
  std::string plugin; // path of the plug-in module
  // The sender plug-in's module (same format as `plugin`), run on the reference block by block
  // before the receiver, as a host runs two tracks; empty: the library stand-in publishes the
  // reference's loudness as measured by the render itself.
  std::string sender;
  bool aax = false;    // the module is the AAX deliverable (always single precision)
  int blockSize = 512; // frames per block
  bool singlePrecision = false;
  // Parameter texts in the order given: a parameter name (any case) or index, and its text.
  std::vector<std::pair<std::string, std::string>> params;
  std::string loadState, saveState; // state files (opcode 24 before, opcode 23 after)
  bool progress = true;
  bool screenshot = false;       // fetch the editor's picture after processing
  bool senderScreenshot = false; // and the sender plug-in's (VST2 only)
};

struct RenderResult {
  LoudnessCurve input, reference, output;
  int64_t frames = 0;
  int rate = 0;
  int blockSize = 0;
  int lagBlocks = 0;           // the receiver's delay: the input's leading silence in whole blocks
  int64_t silentFrames = 0;    // leading frames of the input below -90 dBFS
  int64_t referenceFrames = 0; // frames of the reference that were played
  double wallSeconds = 0.0;    // the whole processing loop
  double pluginSeconds = 0.0;  // inside the plug-in's audio callback
  std::vector<std::string> finalParams; // "Name: display label" after processing
  // The state after processing, when asked for: the chunk of opcode 23 (program) of the VST2
  // module, or the AAX module's chunk data.
  std::vector<uint8_t> state;
  EditorPicture editor;       // the editor after processing, when asked for
  EditorPicture senderEditor; // the sender plug-in's, when asked for
  bool interrupted = false;
};

// Renders `input` (mono or stereo) against `reference` (mono or stereo, same rate) into `output`
// (opened by the caller with the input's rate and channel count). The shared segment lives
// under a session key of this process and is removed afterwards. False with a one-line reason.
bool Render(const RenderOptions& options, AudioReader& input, AudioReader& reference,
            AudioWriter& output, RenderResult* result, std::string* error);

// Set by a signal handler: the render stops after the current block and reports interruption.
void RequestStop();
