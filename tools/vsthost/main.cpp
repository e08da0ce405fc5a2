// zt-vsthost: loads a VST2 module, prints what the effect reports, runs a test signal through it
// and prints the output level. For poking at any VST2 plug-in.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tools/loader/CrashReport.h"
#include "tools/vsthost/EditorWindow.h"
#include "tools/vsthost/VstHost.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

void Usage(FILE* f) {
  fputs("usage: zt-vsthost PLUGIN [--blocks N] [--block-size N] [--rate R] [--double]\n"
        "                  [--editor SECONDS]\n"
        "Loads the VST2 module PLUGIN, prints its names, flags, channels and parameters,\n"
        "processes N blocks (default 16) of N frames (default 512) at R Hz (default 48000) of\n"
        "a 440 Hz sine at -12 dBFS on every input (an instrument gets a note-on instead) and\n"
        "prints the output peak and RMS. The transport plays from 0 at 120 BPM.\n"
        "  --double   use 64-bit processing (the module must announce it)\n"
        "  --editor S show the plug-in's editor in a window of its own for S seconds while the\n"
        "             sine plays (Windows builds: zt-vsthost.exe, also under Wine)\n"
        "Exit status: 0 done, 1 the module failed (load, creation, non-finite output), 2 usage,\n"
        "3 the module crashed.\n",
        f);
}

bool ParseInt(const char* text, long lo, long hi, int* out) {
  if (!text) return false;
  char* end = nullptr;
  const long v = strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < lo || v > hi) return false;
  *out = static_cast<int>(v);
  return true;
}

bool ParseDouble(const char* text, double lo, double hi, double* out) {
  if (!text) return false;
  char* end = nullptr;
  const double v = strtod(text, &end);
  if (end == text || *end != '\0' || !(v >= lo && v <= hi)) return false;
  *out = v;
  return true;
}

std::string FourChars(int32_t id) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((static_cast<uint32_t>(id) >> shift) & 0xFF);
    s += (c >= 32 && c < 127) ? c : '.';
  }
  return s;
}

std::string FlagNames(int32_t flags) {
  static const std::pair<int32_t, const char*> kNames[] = {
      {kEffFlagsHasEditor, "editor"},         {kEffFlagsCanMono, "mono"},
      {kEffFlagsCanReplacing, "replacing"},   {kEffFlagsProgramChunks, "chunks"},
      {kEffFlagsIsSynth, "instrument"},       {kEffFlagsNoSoundInStop, "no-sound-in-stop"},
      {kEffFlagsCanDoubleReplacing, "double"}};
  std::string s;
  for (const auto& [bit, name] : kNames) {
    if (!(flags & bit)) continue;
    if (!s.empty()) s += ' ';
    s += name;
  }
  return s;
}

double Db(double x) {
  return x > 0.0 ? 20.0 * std::log10(x) : -INFINITY;
}

const char* OpcodeName(int32_t op) {
  switch (op) {
  case kHostAutomate:
    return "automate";
  case kHostVersion:
    return "version";
  case kHostCurrentId:
    return "currentId";
  case kHostIdle:
    return "idle";
  case kHostWantMidi:
    return "wantMidi";
  case kHostGetTime:
    return "getTime";
  case kHostProcessEvents:
    return "processEvents";
  case kHostIoChanged:
    return "ioChanged";
  case kHostSizeWindow:
    return "sizeWindow";
  case kHostGetSampleRate:
    return "getSampleRate";
  case kHostGetBlockSize:
    return "getBlockSize";
  case kHostGetCurrentProcessLevel:
    return "getProcessLevel";
  case kHostGetVendorString:
    return "getVendorString";
  case kHostGetProductString:
    return "getProductString";
  case kHostGetVendorVersion:
    return "getVendorVersion";
  case kHostCanDo:
    return "canDo";
  case kHostUpdateDisplay:
    return "updateDisplay";
  case kHostBeginEdit:
    return "beginEdit";
  case kHostEndEdit:
    return "endEdit";
  default:
    return nullptr;
  }
}

template <typename T> struct Buffers {
  std::vector<std::vector<T>> data;
  std::vector<T*> ptrs;
  Buffers(int channels, int frames) : data(channels, std::vector<T>(frames)), ptrs(channels + 1) {
    for (int c = 0; c < channels; ++c)
      ptrs[c] = data[c].data();
  }
};

struct Args {
  const char* path = nullptr;
  int blocks = 16, blockSize = 512;
  double rate = 48000.0;
  bool useDouble = false;
  double editorSeconds =
      0.0; // show the editor in a window for this long instead of printing levels
};

// Reads the command line into args; false, with the exit status in *status, when the program is
// to end here (help, or a usage error already reported).
bool ParseArgs(int argc, char** argv, Args* args, int* status) {
  *status = 2;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    const char* problem = nullptr;
    if (a == "-h" || a == "--help") {
      Usage(stdout);
      *status = 0;
      return false;
    } else if (a == "--blocks") {
      if (!ParseInt(v, 0, 1000000, &args->blocks))
        problem = "--blocks needs a count from 0 to 1000000";
      ++i;
    } else if (a == "--block-size") {
      if (!ParseInt(v, 1, 65536, &args->blockSize))
        problem = "--block-size needs a frame count from 1 to 65536";
      ++i;
    } else if (a == "--rate") {
      if (!ParseDouble(v, 1000.0, 768000.0, &args->rate))
        problem = "--rate needs a sample rate from 1000 to 768000 Hz";
      ++i;
    } else if (a == "--double") {
      args->useDouble = true;
    } else if (a == "--editor") {
      if (!ParseDouble(v, 0.1, 3600.0, &args->editorSeconds))
        problem = "--editor needs a number of seconds from 0.1 to 3600";
      ++i;
    } else if (!a.empty() && a[0] == '-') {
      fprintf(stderr, "zt-vsthost: unknown option %s\n", a.c_str());
      Usage(stderr);
      return false;
    } else if (!args->path) {
      args->path = argv[i];
    } else {
      fprintf(stderr, "zt-vsthost: one plug-in at a time (%s and %s)\n", args->path, argv[i]);
      return false;
    }
    if (problem) {
      fprintf(stderr, "zt-vsthost: %s\n", problem);
      return false;
    }
  }
  if (!args->path) {
    Usage(stderr);
    return false;
  }
  return true;
}

// What the effect reports about itself.
void Describe(const VstModule& module, VstPlugin& plugin) {
  const int32_t flags = plugin.Flags();
  printf("module:     %s (entry %s)\n", module.Path().c_str(), module.EntryName().c_str());
  printf("effect:     %s\n", plugin.EffectName().c_str());
  printf("vendor:     %s\n", plugin.VendorString().c_str());
  printf("product:    %s\n", plugin.ProductString().c_str());
  printf("version:    %ld (record %d)\n", static_cast<long>(plugin.VendorVersion()),
         plugin.Version());
  printf("unique id:  0x%08x '%s'\n", static_cast<uint32_t>(plugin.UniqueId()),
         FourChars(plugin.UniqueId()).c_str());
  printf("flags:      0x%08x %s\n", static_cast<uint32_t>(flags), FlagNames(flags).c_str());
  printf("channels:   %d in, %d out\n", plugin.NumInputs(), plugin.NumOutputs());
  printf("programs:   %d (current \"%s\")\n", plugin.NumPrograms(), plugin.ProgramName().c_str());
  printf("latency:    %d samples\n", plugin.InitialDelay());
  printf("parameters: %d\n", plugin.NumParams());
  for (int p = 0; p < plugin.NumParams(); ++p)
    printf("  %3d  %-24s %s%s%s  (%.6g)\n", p, plugin.ParamName(p).c_str(),
           plugin.ParamDisplay(p).c_str(), plugin.ParamLabel(p).empty() ? "" : " ",
           plugin.ParamLabel(p).c_str(), plugin.GetParameter(p));
}

struct OutputLevel {
  double peak = 0.0, sumSquares = 0.0;
  long long samples = 0, nonFinite = 0;
  bool processed = true; // false when the effect lacks the processing entry asked for
};

// A 440 Hz sine at -12 dBFS on every input, a block at a time, with the transport moving on;
// measures every output sample.
class SignalPlayer {
public:
  SignalPlayer(VstPlugin& plugin, const Args& args)
      : plugin_(plugin), args_(args), inF_(plugin.NumInputs(), args.blockSize),
        outF_(plugin.NumOutputs(), args.blockSize), inD_(plugin.NumInputs(), args.blockSize),
        outD_(plugin.NumOutputs(), args.blockSize) {}

  // False (and nothing measured) when the effect lacks the processing entry asked for.
  bool Block() {
    const int ins = plugin_.NumInputs(), outs = plugin_.NumOutputs(), n = args_.blockSize;
    const double amplitude = std::pow(10.0, -12.0 / 20.0);
    for (int i = 0; i < n; ++i) {
      const double x = amplitude * std::sin(2.0 * kPi * 440.0 * double(frame_ + i) / args_.rate);
      for (int c = 0; c < ins; ++c) {
        inF_.data[c][i] = static_cast<float>(x);
        inD_.data[c][i] = x;
      }
    }
    level.processed = args_.useDouble
                          ? plugin_.ProcessDouble(inD_.ptrs.data(), outD_.ptrs.data(), n)
                          : plugin_.ProcessReplacing(inF_.ptrs.data(), outF_.ptrs.data(), n);
    if (!level.processed) return false;
    for (int c = 0; c < outs; ++c)
      for (int i = 0; i < n; ++i)
        Measure(args_.useDouble ? outD_.data[c][i] : double(outF_.data[c][i]));
    frame_ += n;
    plugin_.transport.Advance(n);
    return true;
  }

  OutputLevel level;

private:
  void Measure(double y) {
    if (!std::isfinite(y)) {
      ++level.nonFinite;
      return;
    }
    level.peak = std::max(level.peak, std::fabs(y));
    level.sumSquares += y * y;
    ++level.samples;
  }

  VstPlugin& plugin_;
  const Args& args_;
  Buffers<float> inF_, outF_;
  Buffers<double> inD_, outD_;
  long long frame_ = 0;
};

// Processing switched on, an instrument given a note, the transport playing: what a host does
// before the first block.
void StartPlaying(VstPlugin& plugin) {
  plugin.Resume();
  if (plugin.Flags() & kEffFlagsIsSynth) plugin.SendMidi(0, 0x90, 60, 100);
  plugin.transport.playing = true;
}

OutputLevel RunSignal(VstPlugin& plugin, const Args& args) {
  StartPlaying(plugin);
  SignalPlayer player(plugin, args);
  for (int b = 0; b < args.blocks && player.Block(); ++b) {
  }
  plugin.Suspend();
  return player.level;
}

// The editor in a window of its own for args.editorSeconds, while the signal plays.
int ShowEditor(VstPlugin& plugin, const Args& args) {
  StartPlaying(plugin);
  SignalPlayer player(plugin, args);
  std::string error;
  const bool shown = ShowEditorWindow(
      plugin, args.editorSeconds, [&] { player.Block(); }, &error);
  plugin.Suspend();
  if (!shown)
    fprintf(stderr, "zt-vsthost: %s\n", error.c_str());
  else
    printf("editor:     shown for %g s\n", args.editorSeconds);
  return shown ? 0 : 1;
}

// Prints the output level; the exit status: 1 when the effect could not process or gave
// samples that are not finite.
int ReportLevel(const Args& args, const OutputLevel& level) {
  int status = 0;
  if (!level.processed) {
    fprintf(stderr, "zt-vsthost: the effect has no %s processing entry\n",
            args.useDouble ? "64-bit" : "single-precision");
    status = 1;
  } else {
    const double rms = level.samples ? std::sqrt(level.sumSquares / double(level.samples)) : 0.0;
    printf("processed:  %d blocks of %d frames at %g Hz (%s)\n", args.blocks, args.blockSize,
           args.rate, args.useDouble ? "64-bit" : "replacing");
    printf("output:     peak %.6f (%.2f dBFS), RMS %.6f (%.2f dBFS)\n", level.peak, Db(level.peak),
           rms, Db(rms));
  }
  if (level.nonFinite) {
    fprintf(stderr, "zt-vsthost: %lld non-finite output samples\n", level.nonFinite);
    status = 1;
  }
  return status;
}

// How often the effect called each host opcode.
void PrintHostCalls(const VstPlugin& plugin) {
  std::map<int32_t, int> counts;
  for (const HostCall& call : plugin.calls)
    ++counts[call.opcode];
  std::string summary;
  for (const auto& [op, n] : counts) {
    const char* name = OpcodeName(op);
    if (!summary.empty()) summary += ", ";
    summary += name ? name : "opcode " + std::to_string(op);
    summary += " x" + std::to_string(n);
  }
  printf("host calls: %s\n", summary.empty() ? "none" : summary.c_str());
  if (!plugin.midiOut.empty()) printf("MIDI out:   %zu events\n", plugin.midiOut.size());
}

} // namespace

int main(int argc, char** argv) {
  Args args;
  int status = 0;
  if (!ParseArgs(argc, argv, &args, &status)) return status;

  zt::loader::InstallCrashReport("zt-vsthost");
  zt::loader::SetCrashStep("loading the module and creating the effect");
  std::string error;
  std::unique_ptr<VstModule> module = VstModule::Load(args.path, &error);
  std::unique_ptr<VstPlugin> plugin = module ? VstPlugin::Create(*module, &error) : nullptr;
  if (!plugin) {
    fprintf(stderr, "zt-vsthost: %s\n", error.c_str());
    return 1;
  }
  plugin->Open();
  plugin->SetSampleRate(args.rate);
  plugin->SetBlockSize(args.blockSize);
  Describe(*module, *plugin);

  const int ins = plugin->NumInputs(), outs = plugin->NumOutputs();
  if (ins < 0 || outs < 0 || ins > 64 || outs > 64) {
    fprintf(stderr, "zt-vsthost: implausible channel counts %d in, %d out\n", ins, outs);
    return 1;
  }
  if (args.useDouble && !(plugin->Flags() & kEffFlagsCanDoubleReplacing)) {
    fprintf(stderr, "zt-vsthost: the effect does not announce 64-bit processing\n");
    return 1;
  }
  zt::loader::SetCrashStep("processing");
  status = args.editorSeconds > 0 ? ShowEditor(*plugin, args)
                                  : ReportLevel(args, RunSignal(*plugin, args));
  PrintHostCalls(*plugin);
  zt::loader::SetCrashStep("closing the effect");
  plugin->Close();
  plugin.reset();
  module.reset();
  return status;
}
