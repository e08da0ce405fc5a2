#pragma once
// The receiver as a render drives it, through one of its deliverables: the VST2 module through
// the VST2 host harness (PluginVst2.cpp), or the AAX module through the mock AAX host
// (PluginAax.cpp). Both are set up as a host sets up an insert on a track: rate, block size, the
// file's channels, the state to load and the parameter texts, in that order.

#include <memory>
#include <string>

#include "tools/render/AudioFile.h"
#include "tools/render/Render.h"

class RenderPlugin {
public:
  virtual ~RenderPlugin() = default;
  // The transport starts playing at the first frame; processing begins.
  virtual void Start() = 0;
  // One block of n frames; in and out hold the two channels (a mono file feeds the left one).
  // The transport moves on by n frames. False with a one-line reason when nothing was processed.
  virtual bool Process(double* const in[2], double* const out[2], int n, std::string* error) = 0;
  // Processing ends; the transport stops.
  virtual void Stop() = 0;
  // What the session looks like after the render: the parameters, the state to save and the
  // editor's picture, as far as the options ask for them.
  virtual bool Summarize(const RenderOptions& options, RenderResult& result,
                         std::string* error) = 0;
};

// The module options.plugin (VST2, or AAX with options.aax), loaded and set up for a file of
// `info`'s rate and channels; null with a one-line reason.
std::unique_ptr<RenderPlugin> StartVst2Plugin(const RenderOptions& options, const AudioInfo& info,
                                              std::string* error);
std::unique_ptr<RenderPlugin> StartAaxPlugin(const RenderOptions& options, const AudioInfo& info,
                                             std::string* error);

// Shared by both and the command line: a text in lower case, and a finite number that is the
// whole text (spaces after it allowed).
std::string LowerCase(std::string s);
bool ParseWholeNumber(const std::string& text, double* out);
