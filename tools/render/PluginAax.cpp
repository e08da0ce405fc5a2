// The receiver's AAX module in a render, through the mock AAX host. AAX renders single precision
// only; a mono file gets the mono component, a stereo file the stereo one.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#define ZT_DUP _dup
#define ZT_DUP2 _dup2
#define ZT_OPEN _open
#define ZT_CLOSE _close
#define ZT_NULL_DEVICE "NUL"
#else
#include <unistd.h>
#define ZT_DUP dup
#define ZT_DUP2 dup2
#define ZT_OPEN open
#define ZT_CLOSE close
#define ZT_NULL_DEVICE "/dev/null"
#endif

#include "tools/aaxhost/AaxHost.h"
#include "tools/render/RenderPlugin.h"

using zt::aaxhost::AaxInstance;
using zt::aaxhost::AaxModule;

namespace {

// The AAX module prints its diagnostics on standard output, a line per render call; the render's
// report goes there too, so the module's lines go nowhere while it is loaded.
class SilencedStdout {
public:
  SilencedStdout() {
    fflush(stdout);
    saved_ = ZT_DUP(1);
    const int nowhere = ZT_OPEN(ZT_NULL_DEVICE, O_WRONLY);
    if (saved_ >= 0 && nowhere >= 0) ZT_DUP2(nowhere, 1);
    if (nowhere >= 0) ZT_CLOSE(nowhere);
  }
  ~SilencedStdout() {
    fflush(stdout);
    if (saved_ < 0) return;
    ZT_DUP2(saved_, 1);
    ZT_CLOSE(saved_);
  }
  SilencedStdout(const SilencedStdout&) = delete;
  SilencedStdout& operator=(const SilencedStdout&) = delete;

private:
  int saved_ = -1;
};

// The plug-in's own parameters: every one but the master bypass, in the host's order.
std::vector<std::string> PluginParameterIds(const AaxInstance& instance) {
  std::vector<std::string> ids;
  for (int32_t i = 0; i < instance.ParameterCount(); ++i)
    if (std::string id = instance.ParameterId(i); !id.empty()) ids.push_back(id);
  return ids;
}

// A parameter by its name (any case) or its index among the plug-in's parameters; "" for none.
std::string FindParameter(const AaxInstance& instance, const std::string& key) {
  const std::vector<std::string> ids = PluginParameterIds(instance);
  double index = 0;
  if (ParseWholeNumber(key, &index) && index == std::floor(index) && index >= 0 &&
      index < static_cast<double>(ids.size()))
    return ids[static_cast<size_t>(index)];
  for (const std::string& id : ids)
    if (LowerCase(instance.ParameterName(id)) == LowerCase(key)) return id;
  return "";
}

// The text through the plug-in's own reading of it, delivered as a host's control would.
bool ApplyParameter(AaxInstance& instance, const std::string& key, const std::string& text,
                    std::string* error) {
  const std::string id = FindParameter(instance, key);
  if (id.empty()) {
    std::string list;
    for (const std::string& p : PluginParameterIds(instance))
      list += (list.empty() ? "" : ", ") + instance.ParameterName(p);
    *error = "the plug-in has no parameter '" + key + "' (it has " + list + ")";
    return false;
  }
  double normalized = 0.0;
  if (instance.Parameters()->GetParameterValueFromString(id.c_str(), &normalized, text.c_str()) !=
          kAAXSuccess ||
      instance.Automate(id, normalized) != kAAXSuccess) {
    *error =
        "the plug-in refused '" + text + "' for parameter '" + instance.ParameterName(id) + "'";
    return false;
  }
  return true;
}

// The AAX chunk holds the state without the VST2 chunk header, so state files of the two
// formats differ.
bool LoadState(AaxInstance& instance, const std::string& path, std::string* error) {
  std::string bytes;
  if (!ReadSmallFile(path, 1 << 20, &bytes, error)) return false;
  AAX_CTypeID id = 0;
  instance.Parameters()->GetChunkIDFromIndex(0, &id);
  std::vector<uint8_t> record(kAAXChunkHeaderBytes + bytes.size(), 0);
  auto* chunk = reinterpret_cast<AAX_SPlugInChunk*>(record.data());
  chunk->size = static_cast<int32_t>(bytes.size());
  chunk->chunkId = id;
  if (!bytes.empty()) memcpy(record.data() + kAAXChunkHeaderBytes, bytes.data(), bytes.size());
  if (bytes.empty() || instance.SetChunk(id, record) != kAAXSuccess) {
    *error = "the state file '" + path + "' was refused by the plug-in";
    return false;
  }
  instance.DeliverPendingSets();
  return true;
}

class AaxPlugin : public RenderPlugin {
public:
  AaxPlugin(std::unique_ptr<SilencedStdout> quiet, std::unique_ptr<AaxModule> module,
            std::unique_ptr<AaxInstance> instance, int rate)
      : quiet_(std::move(quiet)), module_(std::move(module)), instance_(std::move(instance)),
        rate_(rate) {}
  ~AaxPlugin() override {
    instance_.reset(); // before the module that made it
    module_.reset();
  }

  void Start() override {
    instance_->transport.playing = true;
    instance_->transport.sample = 0;
    instance_->transport.ticks = 0;
  }
  bool Process(double* const in[2], double* const out[2], int n, std::string* error) override;
  void Stop() override { instance_->transport.playing = false; }
  bool Summarize(const RenderOptions& options, RenderResult& r, std::string* error) override;

private:
  std::unique_ptr<SilencedStdout> quiet_; // the last to go
  std::unique_ptr<AaxModule> module_;
  std::unique_ptr<AaxInstance> instance_;
  int rate_;
  std::vector<float> fIn_[2], fOut_[2];
};

bool AaxPlugin::Process(double* const in[2], double* const out[2], int n, std::string* error) {
  if (n <= 0) {
    *error = "no frames to process";
    return false;
  }
  for (int c = 0; c < 2; ++c) {
    fIn_[c].resize(static_cast<size_t>(n));
    fOut_[c].assign(static_cast<size_t>(n), 0.0f);
    std::copy_n(in[c], n, fIn_[c].begin());
  }
  float* ins[2] = {fIn_[0].data(), fIn_[1].data()};
  float* outs[2] = {fOut_[0].data(), fOut_[1].data()};
  instance_->Render(ins, outs, n);
  for (int c = 0; c < 2; ++c)
    std::copy_n(fOut_[c].begin(), n, out[c]);
  instance_->transport.Advance(n, rate_);
  return true;
}

bool AaxPlugin::Summarize(const RenderOptions& options, RenderResult& r, std::string* error) {
  for (const std::string& id : PluginParameterIds(*instance_))
    r.finalParams.push_back(instance_->ParameterName(id) + " " + instance_->ValueString(id));
  if (!options.saveState.empty()) {
    AAX_CTypeID id = 0;
    instance_->Parameters()->GetChunkIDFromIndex(0, &id);
    const std::vector<uint8_t> record = instance_->GetChunk(id);
    if (record.size() <= kAAXChunkHeaderBytes) {
      *error = "the plug-in gave no state to save";
      return false;
    }
    r.state.assign(record.begin() + kAAXChunkHeaderBytes, record.end());
  }
  return true;
}

} // namespace

std::unique_ptr<RenderPlugin> StartAaxPlugin(const RenderOptions& options, const AudioInfo& info,
                                             std::string* error) {
  std::string err;
  auto quiet = std::make_unique<SilencedStdout>();
  std::unique_ptr<AaxModule> module = AaxModule::Load(options.plugin, &err);
  if (!module) {
    *error = "cannot load the plug-in '" + options.plugin + "': " + err;
    return nullptr;
  }
  if (module->RegisterResult() != kAAXSuccess || !module->Effect()) {
    *error = "the AAX plug-in '" + options.plugin + "' registered no effect (" +
             std::to_string(module->RegisterResult()) + ")";
    return nullptr;
  }
  // The component whose stems match the file: mono or stereo.
  const uint32_t stem = info.channels == 1 ? 0x00001 : 0x10002;
  size_t component = module->Effect()->components.size();
  for (size_t c = 0; c < module->Effect()->components.size(); ++c)
    if (module->Effect()->components[c].Property(kAAXPropertyInputStemFormat) == stem)
      component = c;
  std::unique_ptr<AaxInstance> instance =
      AaxInstance::Create(*module, component, &err, static_cast<float>(info.rate));
  if (!instance) {
    *error = "the AAX plug-in '" + options.plugin + "' did not start: " + err;
    return nullptr;
  }
  if (!options.loadState.empty() && !LoadState(*instance, options.loadState, error)) return nullptr;
  for (const auto& [key, text] : options.params)
    if (!ApplyParameter(*instance, key, text, error)) return nullptr;
  return std::make_unique<AaxPlugin>(std::move(quiet), std::move(module), std::move(instance),
                                     info.rate);
}
