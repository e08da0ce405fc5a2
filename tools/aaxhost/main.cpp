// zt-aaxhost: loads an AAX module of ours as an AAX host would, prints its description, drives an
// instance of every component through rendering, bypass, automation, chunks and the editor,
// releases everything and checks that the module can be unloaded.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/aaxhost/AaxHost.h"
#include "tools/aaxhost/ViewWindow.h"
#include "tools/loader/CrashReport.h"

using namespace zt::aaxhost;
using zt::loader::SetCrashStep;

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Args {
  std::string path;
  int blocks = 32;
  double rate = 48000.0;
  double editorSeconds = 0.0;
};

void Usage(FILE* f) {
  fputs("usage: zt-aaxhost MODULE [--blocks N] [--rate R] [--editor SECONDS]\n"
        "Loads the AAX module MODULE (the file inside the .aaxplugin bundle), registers it and\n"
        "prints its description; then, for every component, creates an instance, lists its\n"
        "parameters, renders N blocks (default 32) of changing size at R Hz (default 48000) of a\n"
        "440 Hz sine at -12 dBFS with the transport playing, switches the master bypass on and\n"
        "off, delivers a value to every parameter, reads the chunk back into the instance and\n"
        "opens the editor in a view container (headless on Linux). Finally it releases\n"
        "everything and checks that the module reports itself unloadable.\n"
        "  --editor S show the editor of the last component in a window for S seconds while\n"
        "             the sine plays (Windows builds: zt-aaxhost.exe, also under Wine)\n"
        "Exit status: 0 done, 1 the module failed (an error code, non-finite output, objects\n"
        "left alive), 2 usage, 3 the module crashed.\n",
        f);
}

bool ParseArgs(int argc, char** argv, Args* args, int* status) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
    char* end = nullptr;
    if (a == "-h" || a == "--help") {
      Usage(stdout);
      *status = 0;
      return false;
    } else if (a == "--blocks" && next &&
               (args->blocks = static_cast<int>(strtol(next, &end, 10))) > 0 &&
               args->blocks <= 100000 && !*end) {
      ++i;
    } else if (a == "--rate" && next && (args->rate = strtod(next, &end)) >= 1000.0 &&
               args->rate <= 384000.0 && !*end) {
      ++i;
    } else if (a == "--editor" && next && (args->editorSeconds = strtod(next, &end)) > 0.0 &&
               args->editorSeconds <= 3600.0 && !*end) {
      ++i;
    } else if (args->path.empty() && !a.empty() && a[0] != '-') {
      args->path = a;
    } else {
      Usage(stderr);
      *status = 2;
      return false;
    }
  }
  if (args->path.empty()) {
    Usage(stderr);
    *status = 2;
    return false;
  }
  return true;
}

const char* PropertyName(uint32_t id) {
  switch (id) {
  case kAAXPropertyManufacturerId:
    return "manufacturer";
  case kAAXPropertyProductId:
    return "product";
  case kAAXPropertyNativeTypeId:
    return "native type";
  case kAAXPropertySecondTypeId:
    return "second type";
  case kAAXPropertyInputStemFormat:
    return "input stem";
  case kAAXPropertyOutputStemFormat:
    return "output stem";
  default:
    return nullptr;
  }
}

std::string FieldText(const FieldRecord& f) {
  static const char* const kKinds[] = {"audio in",  "audio out",    "buffer length",
                                       "MIDI node", "private data", "meters"};
  std::string text = "field " + std::to_string(f.index) + ": " + kKinds[f.kind];
  if (f.kind == FieldRecord::PrivateData) text += ", " + std::to_string(f.size) + " bytes";
  if (f.kind == FieldRecord::MidiNode) {
    char buf[96];
    snprintf(buf, sizeof buf, ", type %d \"%s\" mask 0x%X", f.midiType, f.name.c_str(), f.mask);
    text += buf;
  }
  if (f.kind == FieldRecord::Meters) text += ", " + std::to_string(f.meterCount);
  return text;
}

void PrintComponent(size_t n, const ComponentRecord& c) {
  printf("component %zu: process procedure %s\n", n, c.process ? "set" : "missing");
  for (const FieldRecord& f : c.fields)
    printf("  %s\n", FieldText(f).c_str());
  for (const auto& [id, value] : c.properties) {
    const char* name = PropertyName(id);
    const bool fourChars = id >= kAAXPropertyManufacturerId && id <= kAAXPropertySecondTypeId;
    printf("  property %u%s%s%s = 0x%llX%s%s\n", id, name ? " (" : "", name ? name : "",
           name ? ")" : "", static_cast<unsigned long long>(value), fourChars ? " " : "",
           fourChars ? FourChars(static_cast<uint32_t>(value)).c_str() : "");
  }
}

void PrintDescription(const AaxModule& module) {
  uint64_t sdk = 0;
  module.Exports().getSDKVersion(&sdk);
  printf("module:     ACFStartup %d, ACFRegisterPlugin %d, definition %s, SDK version 0x%016llX\n",
         module.StartupResult(), module.RegisterResult(),
         module.DefinitionReturned() ? "returned" : "missing",
         static_cast<unsigned long long>(sdk));
  const DescriptionRecord& d = module.Description();
  for (const std::string& m : d.manufacturerNames)
    printf("maker:      %s\n", m.c_str());
  for (const std::string& p : d.packageNames)
    printf("package:    %s, version 0x%08X\n", p.c_str(), d.packageVersion);
  for (const EffectRecord& e : d.effects) {
    printf("effect:     %s\n", e.id.c_str());
    for (const std::string& name : e.names)
      printf("  name      %s\n", name.c_str());
    for (uint32_t c : e.categories)
      printf("  category  %u\n", c);
    printf("  creation  effect parameters %s, editor %s\n",
           e.procs.count(kAAXProcEffectParameters) ? "yes" : "no",
           e.procs.count(kAAXProcEffectGUI) ? "yes" : "no");
    for (size_t i = 0; i < e.components.size(); ++i)
      PrintComponent(i, e.components[i]);
  }
}

void PrintParameters(const AaxInstance& instance) {
  const int32_t n = instance.ParameterCount();
  printf("parameters: %d\n", n);
  for (int32_t i = 0; i < n; ++i) {
    const std::string id = instance.ParameterId(i);
    int32_t steps = 0, kind = 0;
    bool automatable = false;
    instance.Parameters()->GetParameterNumberOfSteps(id.c_str(), &steps);
    instance.Parameters()->GetParameterKind(id.c_str(), &kind);
    instance.Parameters()->GetParameterIsAutomatable(id.c_str(), &automatable);
    printf("  \"%s\" %-24s %-16s %.4f  %d steps, %s%s\n", id.c_str(),
           instance.ParameterName(id).c_str(), instance.ValueString(id).c_str(),
           instance.NormalizedValue(id), steps,
           kind == kAAXParameterDiscrete ? "discrete" : "continuous",
           automatable ? ", automatable" : "");
  }
}

// A sine on every input, rendered in blocks of changing size; the output's level and how many
// samples were not finite.
struct Signal {
  std::vector<std::vector<float>> in, out;
  std::vector<float*> inPtr, outPtr;
  long long phase = 0;
  double peak = 0.0, sumSquares = 0.0;
  long long samples = 0, nonFinite = 0;

  Signal(int inputs, int outputs, int maxFrames)
      : in(static_cast<size_t>(inputs), std::vector<float>(static_cast<size_t>(maxFrames))),
        out(static_cast<size_t>(outputs), std::vector<float>(static_cast<size_t>(maxFrames))) {
    for (auto& c : in)
      inPtr.push_back(c.data());
    for (auto& c : out)
      outPtr.push_back(c.data());
  }
  void Block(AaxInstance& instance, int frames, double rate) {
    for (auto& c : in)
      for (int k = 0; k < frames; ++k)
        c[static_cast<size_t>(k)] =
            static_cast<float>(0.25 * std::sin(2.0 * kPi * 440.0 * double(phase + k) / rate));
    phase += frames;
    instance.Render(inPtr.data(), outPtr.data(), frames);
    instance.transport.Advance(frames, rate);
    for (auto& c : out)
      for (int k = 0; k < frames; ++k) {
        const double v = c[static_cast<size_t>(k)];
        if (!std::isfinite(v)) {
          ++nonFinite;
          continue;
        }
        peak = std::max(peak, std::fabs(v));
        sumSquares += v * v;
        ++samples;
      }
  }
  // True when every output equals its input (the outputs beyond the inputs are silent).
  bool OutputsFollowInputs(int frames) const {
    for (size_t c = 0; c < out.size(); ++c)
      for (int k = 0; k < frames; ++k)
        if (out[c][static_cast<size_t>(k)] !=
            (c < in.size() ? in[c][static_cast<size_t>(k)] : 0.0f))
          return false;
    return true;
  }
};

double Db(double v) {
  return v > 0.0 ? 20.0 * std::log10(v) : -INFINITY;
}

int RenderAndBypass(AaxInstance& instance, const Args& args) {
  static const int kSizes[] = {512, 512, 256, 1024, 64, 333, 512};
  Signal signal(instance.Inputs(), instance.Outputs(), 1024);
  instance.transport.playing = true;
  SetCrashStep("rendering");
  for (int b = 0; b < args.blocks; ++b)
    signal.Block(instance, kSizes[b % 7], args.rate);
  printf("rendered:   %d blocks of 64 to 1024 frames, output peak %.2f dBFS, RMS %.2f dBFS\n",
         args.blocks, Db(signal.peak),
         Db(signal.samples ? std::sqrt(signal.sumSquares / double(signal.samples)) : 0.0));
  SetCrashStep("rendering with the master bypass on");
  instance.SetMasterBypass(true);
  signal.Block(instance, 512, args.rate);
  const bool passed = signal.OutputsFollowInputs(512);
  instance.SetMasterBypass(false);
  printf("bypass:     output %s the input\n", passed ? "equals" : "DIFFERS FROM");
  if (signal.nonFinite)
    fprintf(stderr, "zt-aaxhost: %lld non-finite output samples\n", signal.nonFinite);
  return signal.nonFinite || !passed ? 1 : 0;
}

int AutomateAndChunk(AaxInstance& instance) {
  int status = 0;
  SetCrashStep("delivering parameter values");
  for (int32_t i = 0; i < instance.ParameterCount(); ++i) {
    const std::string id = instance.ParameterId(i);
    double def = 0.0;
    instance.Parameters()->GetParameterDefaultNormalizedValue(id.c_str(), &def);
    if (const AAX_Result r = instance.Automate(id, def); r != kAAXSuccess) {
      fprintf(stderr, "zt-aaxhost: the update of \"%s\" answered %d\n", id.c_str(), r);
      status = 1;
    }
  }
  SetCrashStep("exchanging the chunk");
  AAX_CTypeID chunkId = 0;
  const AAX_Result idResult = instance.Parameters()->GetChunkIDFromIndex(0, &chunkId);
  AAX_Result r = kAAXSuccess;
  const std::vector<uint8_t> chunk =
      idResult == kAAXSuccess ? instance.GetChunk(chunkId, &r) : std::vector<uint8_t>();
  bool equal = false;
  const AAX_Result set = chunk.empty() ? r : instance.SetChunk(chunkId, chunk);
  instance.DeliverPendingSets();
  const AAX_Result compared = chunk.empty() ? r : instance.CompareChunk(chunk, &equal);
  printf("chunk:      \"%s\", %zu data bytes, set %d, compare %d (%s)\n",
         FourChars(chunkId).c_str(), chunk.empty() ? 0 : chunk.size() - kAAXChunkHeaderBytes, set,
         compared, equal ? "equal" : "different");
  if (idResult != kAAXSuccess || r != kAAXSuccess || set != kAAXSuccess || !equal) status = 1;
  printf("automation: %zu requests from the module\n", instance.Controller().automation.size());
  return status;
}

int RunComponent(AaxModule& module, size_t component, const Args& args) {
  std::string error;
  SetCrashStep("creating an instance");
  auto instance = AaxInstance::Create(module, component, &error, static_cast<float>(args.rate));
  if (!instance) {
    fprintf(stderr, "zt-aaxhost: component %zu: %s\n", component, error.c_str());
    return 1;
  }
  printf("--- component %zu: %d in, %d out\n", component, instance->Inputs(), instance->Outputs());
  PrintParameters(*instance);
  int status = RenderAndBypass(*instance, args);
  status |= AutomateAndChunk(*instance);
  SetCrashStep("opening the editor");
  const bool last = component + 1 == module.Effect()->components.size();
  if (last && args.editorSeconds > 0.0) {
    Signal signal(instance->Inputs(), instance->Outputs(), 512);
    if (!ShowViewWindow(
            *instance, args.editorSeconds, [&] { signal.Block(*instance, 512, args.rate); },
            &error)) {
      fprintf(stderr, "zt-aaxhost: %s\n", error.c_str());
      status = 1;
    }
  } else {
    const bool opened = instance->OpenEditor(nullptr);
    const AAX_Point size = instance->ViewSize();
    instance->CloseEditor();
    printf("editor:     %s, view %g x %g\n", opened ? "opened headless" : "REFUSED", size.horz,
           size.vert);
  }
  SetCrashStep("releasing the instance");
  return status;
}

} // namespace

int main(int argc, char** argv) {
  Args args;
  int status = 0;
  if (!ParseArgs(argc, argv, &args, &status)) return status;
  zt::loader::InstallCrashReport("zt-aaxhost");
  SetCrashStep("loading and registering the module");
  std::string error;
  std::unique_ptr<AaxModule> module = AaxModule::Load(args.path, &error);
  if (!module) {
    fprintf(stderr, "zt-aaxhost: %s\n", error.c_str());
    return 1;
  }
  PrintDescription(*module);
  if (module->StartupResult() != kAAXSuccess || module->RegisterResult() != kAAXSuccess ||
      !module->Effect()) {
    fprintf(stderr, "zt-aaxhost: the module did not register one effect\n");
    return 1;
  }
  for (size_t c = 0; c < module->Effect()->components.size(); ++c)
    status |= RunComponent(*module, c, args);
  const int32_t alive = module->CanUnloadNow();
  SetCrashStep("shutting the module down");
  module.reset();
  // Every reference the module took of a host object must be back once it is shut down.
  printf("unload:     %d module objects alive, %d host objects kept\n", alive, LiveHostObjects());
  if (alive != 0 || LiveHostObjects() != 0) status = 1;
  return status;
}
