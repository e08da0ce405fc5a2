#pragma once
// Plain records the plug-in base exchanges with adapters and plug-ins.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

constexpr int32_t FourCC(char a, char b, char c, char d) {
  return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint8_t>(a)) << 24) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 16) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 8) |
                              static_cast<uint32_t>(static_cast<uint8_t>(d)));
}

constexpr size_t kNameStringSize = 128; // effect, product and maker names, NUL included

// What IdentifyHost makes of the host's product name: each code stands for the substring (any
// case) it is named after. Codes 6, 10, 11 and 19 are never produced.
// Which adapter built an instance (IPlugBase::HostApi).
enum HostApiCode : int32_t {
  kHostApiVst2 = 0,
  kHostApiAax = 4,
};

enum HostCode : int32_t {
  kHostUnidentified = -1, // not yet asked
  kHostUnknown = 0,       // none of the substrings
  kHostReaper = 1,
  kHostProTools = 2,
  kHostCubase = 3,
  kHostNuendo = 4,
  kHostCakewalk = 5,
  kHostFruity = 7,
  kHostSamplitude = 8,
  kHostLive = 9,
  kHostMelodyne = 12,
  kHostVstManLib = 13,
  kHostAuLab = 14,
  kHostForte = 15,
  kHostChainer = 16,
  kHostAudition = 17,
  kHostOrion = 18,
  kHostSawStudio = 20,
  kHostLogic = 21,
  kHostGarageBand = 22,
  kHostDigital = 23,
  kHostStandalone = 24,
  kHostAudioMulch = 25,
  kHostPresonus = 26,
  kHostVst3PluginTestHost = 27,
  kHostArdour = 28,
  kHostRenoise = 29,
  kHostOpenMpt = 30,
  kHostWaveLab = 31,
};

struct PluginConfig {
  int32_t paramCount = 0;
  const char* channelIO = "";
  int32_t presetCount = 0;
  const char* effectName = "";
  const char* productName = "";
  const char* makerName = "";
  int32_t version = 0;  // 0xMMMMmmpp
  int32_t uniqueId = 0; // four-character code, first character in the top byte
  int32_t makerId = 0;
  int32_t latency = 0;
  bool doesMidi = false;
  bool doesChunks = false;
  bool isInstrument = false;
  int32_t hostApi = 0; // set by the adapter that builds the instance
};

// The host transport; ReadTransport overwrites only the fields the host supplies valid data for.
struct TransportInfo {
  double tempo = 120.0;
  double samplePos = -1.0;
  double ppqPos = -1.0;
  double lastBarPos = -1.0;
  double cycleStart = -1.0;
  double cycleEnd = -1.0;
  int32_t numerator = 4;
  int32_t denominator = 4;
  bool playing = false;
  bool cycleActive = false;
};

struct MidiMessage {
  int32_t offset = 0; // frames from the start of the current block
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
};

struct SysExMessage {
  int32_t offset = 0;
  int32_t size = 0;
  const uint8_t* data = nullptr; // owned by the sender
};

// Growable little-endian byte buffer. Reads take a position and return the new one; a failed
// read returns -1, and every read at a negative position fails, so one check at the end of a
// sequence of reads is enough. Reads never look past Size().
class StateChunk {
public:
  bool PutInt32(int32_t v);
  bool PutDouble(double v);
  bool PutBool(bool v);
  bool PutString(const char* s);
  bool PutChunk(const StateChunk& other);
  bool PutBytes(const void* data, size_t size);

  int GetInt32(int32_t* v, int pos) const;
  int GetDouble(double* v, int pos) const;
  int GetBool(bool* v, int pos) const;
  int GetString(std::string* s, int pos) const;

  int Size() const { return static_cast<int>(bytes_.size()); }
  // Shrinking to 0 clears it; new bytes are zero.
  void Resize(int size);
  uint8_t* Data() { return bytes_.data(); }
  const uint8_t* Data() const { return bytes_.data(); }
  void Clear() { bytes_.clear(); }

private:
  bool Fits(int pos, int n) const { return pos >= 0 && n >= 0 && pos <= Size() - n; }
  std::vector<uint8_t> bytes_;
};

constexpr size_t kPresetNameSize = 256;

struct IPlugPreset {
  bool initialized = false;
  char name[kPresetNameSize] = "empty";
  StateChunk chunk;
};
