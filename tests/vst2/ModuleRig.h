#pragma once
// A minimal host around the receiver's loaded VST2 module: one effect per rig, a scripted host
// callback (product name, version, time info) that records what the plug-in sends.

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "vst2_abi.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

class RigModule {
public:
  explicit RigModule(const char* path) {
#if defined(_WIN32)
    handle_ = LoadLibraryA(path);
    auto find = [this](const char* name) {
      return reinterpret_cast<VstEntryProc>(
          reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)));
    };
#else
    handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    auto find = [this](const char* name) {
      return reinterpret_cast<VstEntryProc>(dlsym(handle_, name));
    };
#endif
    if (handle_) {
      pluginMain = find("VSTPluginMain");
      legacyMain = find("main");
    }
  }
  ~RigModule() {
#if defined(_WIN32)
    if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
#else
    if (handle_) dlclose(handle_);
#endif
  }
  bool Loaded() const {
    return handle_ && pluginMain;
  }
  VstEntryProc pluginMain = nullptr;
  VstEntryProc legacyMain = nullptr;

private:
  void* handle_ = nullptr;
};

struct RigCall {
  int32_t opcode, index;
  intptr_t value;
  float opt;
};

struct RigMidi {
  int32_t delta;
  uint8_t status, data1, data2;
};

class Rig {
public:
  explicit Rig(RigModule& module, bool legacyEntry = false) {
    VstEntryProc entry = legacyEntry ? module.legacyMain : module.pluginMain;
    if (entry) effect = entry(&Rig::Callback);
    if (effect) effect->user = this;
  }
  ~Rig() { Close(); }
  Rig(const Rig&) = delete;
  Rig& operator=(const Rig&) = delete;

  void Close() {
    if (effect) Dispatch(kEffClose);
    effect = nullptr;
  }

  intptr_t Dispatch(int32_t op, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f) {
    return effect->dispatcher(effect, op, index, value, ptr, opt);
  }
  // Opens the effect as a host does before processing.
  void Start(float rate = 48000.0f, int block = 512) {
    Dispatch(kEffOpen);
    Dispatch(kEffSetSampleRate, 0, 0, nullptr, rate);
    Dispatch(kEffSetBlockSize, 0, block);
    Dispatch(kEffMainsChanged, 0, 1);
  }
  intptr_t SetText(int param, const char* text) {
    std::string copy(text);
    return Dispatch(kEffString2Parameter, param, 0, copy.data());
  }
  std::string Text(int32_t op, int32_t index = 0, size_t size = 256) {
    std::vector<char> buf(size, '\0');
    Dispatch(op, index, 0, buf.data());
    return std::string(buf.data());
  }
  std::vector<uint8_t> GetChunk(bool bank, intptr_t* result = nullptr) {
    void* data = nullptr;
    const intptr_t n = Dispatch(kEffGetChunk, bank ? 0 : 1, 0, &data);
    if (result) *result = n;
    if (n <= 0 || !data) return {};
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + n);
  }
  intptr_t SetChunk(bool bank, const std::vector<uint8_t>& bytes) {
    // A buffer of exactly the chunk's size, so that a read past its end is caught by ASan.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
    if (!bytes.empty()) memcpy(copy.get(), bytes.data(), bytes.size());
    const intptr_t r =
        Dispatch(kEffSetChunk, bank ? 0 : 1, static_cast<intptr_t>(bytes.size()), copy.get());
    memset(copy.get(), 0xEE, bytes.size()); // the plug-in must have copied what it keeps
    return r;
  }

  int Count(int32_t opcode) const {
    int n = 0;
    for (const RigCall& c : calls)
      n += c.opcode == opcode;
    return n;
  }

  VstEffect* effect = nullptr;
  // What the host answers.
  std::string productName = "ZolvarTesk Rig";
  intptr_t version = 1000;
  VstTimeInfo time{};
  bool hasTime = true;
  // What the plug-in sent.
  std::vector<RigCall> calls;
  std::vector<RigMidi> midiOut;

private:
  static intptr_t VST_CALL Callback(VstEffect* effect, int32_t opcode, int32_t index,
                                    intptr_t value, void* ptr, float opt) {
    Rig* rig = effect ? static_cast<Rig*>(effect->user) : nullptr;
    if (!rig) return opcode == kHostVersion ? kVstVersion : 0;
    rig->calls.push_back({opcode, index, value, opt});
    switch (opcode) {
    case kHostVersion:
      return kVstVersion;
    case kHostGetTime:
      return rig->hasTime ? reinterpret_cast<intptr_t>(&rig->time) : 0;
    case kHostGetProductString:
      if (ptr)
        snprintf(static_cast<char*>(ptr), kVstHostStringSize, "%s", rig->productName.c_str());
      return 1;
    case kHostGetVendorVersion:
      return rig->version;
    case kHostProcessEvents: {
      const auto* list = static_cast<const VstEventList*>(ptr);
      for (int i = 0; list && i < list->numEvents; ++i) {
        const auto* ev = reinterpret_cast<const VstMidiEvent*>(list->events[i]);
        if (ev && ev->type == kVstMidiType)
          rig->midiOut.push_back(
              {ev->deltaFrames, ev->midiData[0], ev->midiData[1], ev->midiData[2]});
      }
      return 1;
    }
    default:
      return 0;
    }
  }
};
