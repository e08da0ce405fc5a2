#pragma once
// A small VST2 host: loads a plug-in module, creates effect instances, drives their dispatcher
// and audio callbacks, and answers the host callback from a transport model the caller controls.
// Used by tests (ours and third-party plug-ins) and by the offline tools.
//
// Threading: one VstPlugin is driven from one thread at a time, as a host's audio and UI threads
// take turns. The host callback may be reached from any thread; it records under a spin flag and
// never takes a mutex, so tests can count the locks of a plug-in's audio path.
// Allocation: the process calls allocate nothing. The host callback appends to `calls` and
// `midiOut`, whose room is reserved up front (kReservedCalls, kReservedMidi); past that room a
// record allocates, so an allocation-counting test either stays within it or turns recording off.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "iplug/vst2/vst2_abi.h"

// The transport the host reports on kHostGetTime. Positions are in quarter notes except
// samplePos; the caller moves it (Advance) and flips its switches as a sequencer would.
struct HostTransport {
  bool playing = false;
  bool cycleActive = false;
  bool recording = false;
  double samplePos = 0.0;
  double sampleRate = 44100.0;
  double tempo = 120.0;
  double ppqPos = 0.0;
  double barStartPos = 0.0;
  double cycleStart = 0.0;
  double cycleEnd = 0.0;
  int32_t numerator = 4;
  int32_t denominator = 4;
  int32_t validFlags = kVstTimeMaskAll; // which kVst*Valid bits the host reports
  bool answerNull = false;              // kHostGetTime returns null

  // Moves the position on by `frames` whether or not playing is set (the caller decides when
  // time passes): samplePos += frames, ppqPos by the tempo, barStartPos to the start of the bar
  // that holds ppqPos. Cycles do not wrap; a caller that loops sets the positions itself.
  void Advance(int frames);
  // The record a plug-in reads: every field from the model, flags = validFlags plus the
  // playing, cycle and recording bits.
  void Fill(VstTimeInfo& info) const;
};

// One host callback call as the plug-in made it.
struct HostCall {
  int32_t opcode;
  int32_t index;
  intptr_t value;
  float opt;
};

// One event the plug-in sent through kHostProcessEvents. MIDI: data holds the three bytes.
// System exclusive: sysex holds a copy of the dump (this allocates).
struct HostMidiEvent {
  int32_t type; // kVstMidiType or kVstSysExType
  int32_t deltaFrames;
  uint8_t data[3];
  std::vector<uint8_t> sysex;
};

// A loaded module (dlopen / LoadLibrary). Destroy every VstPlugin made from it first.
class VstModule {
public:
  // Loads the file and finds its entry point, "VSTPluginMain" first, then "main". Null with a
  // one-line *error for a missing file, a file the system cannot load, or a library that
  // exports neither entry point (it is unloaded again).
  static std::unique_ptr<VstModule> Load(const std::string& path, std::string* error);
  ~VstModule(); // unloads
  VstModule(const VstModule&) = delete;
  VstModule& operator=(const VstModule&) = delete;

  VstEntryProc Entry() const { return entry_; }
  const std::string& EntryName() const { return entryName_; }
  const std::string& Path() const { return path_; }

private:
  VstModule() = default;
  void* handle_ = nullptr;
  VstEntryProc entry_ = nullptr;
  std::string entryName_;
  std::string path_;
};

// One effect instance. Every call goes straight to the plug-in (indices are not checked, so
// tests can see how a plug-in answers bad ones); nothing is sent after Close.
class VstPlugin {
public:
  static constexpr size_t kReservedCalls = 4096;
  static constexpr size_t kReservedMidi = 1024;
  static constexpr size_t kMaxInstances = 256; // live instances per process

  // Calls the module's entry point with this host's callback and checks the record: null, a
  // wrong magic or a null dispatcher give null and a one-line *error (the record is then left
  // alone: nothing can safely close it). Host calls made during the entry call are answered
  // and recorded for this instance.
  static std::unique_ptr<VstPlugin> Create(VstModule& module, std::string* error);
  ~VstPlugin(); // closes (opcode 1) if not closed
  VstPlugin(const VstPlugin&) = delete;
  VstPlugin& operator=(const VstPlugin&) = delete;

  // The effect record; null after Close.
  VstEffect* Effect() { return effect_; }
  bool IsClosed() const { return effect_ == nullptr; }

  // 0 after Close.
  intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f);

  void Open();  // opcode 0
  void Close(); // opcode 1; the record dies with it
  // Opcode 10 (the rate as opt); also sets transport.sampleRate.
  void SetSampleRate(double rate);
  // Opcode 11; kHostGetBlockSize answers it from then on.
  void SetBlockSize(int frames);
  void Resume();  // opcode 12, value 1
  void Suspend(); // opcode 12, value 0

  // Texts are read into zeroed 256-byte buffers (more than the interface promises, so a plug-in
  // that overruns its bound does no harm) and cut at the first NUL or the buffer's end.
  std::string EffectName();         // 45
  std::string VendorString();       // 47
  std::string ProductString();      // 48
  intptr_t VendorVersion();         // 49
  intptr_t CanDo(const char* what); // 51
  std::string ProgramName();        // 5

  // From the effect record; 0 after Close.
  int NumParams();
  int NumInputs();
  int NumOutputs();
  int NumPrograms();
  int32_t Flags();
  int32_t UniqueId();
  int32_t Version();
  int32_t InitialDelay();

  std::string ParamName(int i);    // 8
  std::string ParamLabel(int i);   // 6
  std::string ParamDisplay(int i); // 7
  float GetParameter(int i);       // the record's get-parameter entry; 0 without one
  void SetParameter(int i, float v);
  // Opcode 27 with a writable copy of the text (null passes null).
  intptr_t SetParameterText(int i, const char* text);

  // Opcode 23 (index 1 program, 0 bank): a copy of the plug-in's bytes; empty when it answers
  // 0 or no address. *result, when given, receives the opcode's result.
  std::vector<uint8_t> GetChunk(bool program, intptr_t* result = nullptr);
  // Opcode 24 from a buffer of exactly data.size() bytes (so an over-read shows under ASan),
  // overwritten after the call, so a plug-in that keeps the pointer instead of copying reads
  // garbage.
  intptr_t SetChunk(const std::vector<uint8_t>& data, bool program);

  // Opcode 25 with a list of one MIDI event.
  intptr_t SendMidi(int32_t deltaFrames, uint8_t status, uint8_t data1, uint8_t data2);

  // Audio callbacks; `in` and `out` hold NumInputs() and NumOutputs() channel pointers. They
  // allocate nothing. Replacing falls back to the accumulating entry over zeroed outputs when
  // the record has no replacing entry; each returns false (outputs untouched) when the entry
  // it needs is missing or the instance is closed.
  bool ProcessReplacing(float** in, float** out, int frames);
  bool ProcessAccumulating(float** in, float** out, int frames);
  bool ProcessDouble(double** in, double** out, int frames);

  // Calls of one opcode in `calls`.
  int CountCalls(int32_t opcode) const;
  void ClearRecords();

  // What the host callback answers and records. Change them between calls, not during one.
  HostTransport transport;                         // read on kHostGetTime
  std::string hostProductName = "ZolvarTesk Host"; // kHostGetProductString (bounded to 255 chars)
  std::string hostVendorName = "ZolvarTesk";       // kHostGetVendorString
  intptr_t hostVersion = 10000;                    // kHostGetVendorVersion
  bool offline = false;                            // kHostGetCurrentProcessLevel answers 4 when set
  bool recordCalls = true;                         // append every host call to `calls`
  std::vector<HostCall> calls;                     // every host callback call, in order
  std::vector<HostMidiEvent> midiOut;              // events sent through kHostProcessEvents

private:
  VstPlugin();
  static intptr_t VST_CALL HostCallback(VstEffect* effect, int32_t opcode, int32_t index,
                                        intptr_t value, void* ptr, float opt);
  static VstPlugin* Find(VstEffect* effect);
  intptr_t Answer(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
  std::string Text(int32_t opcode, int32_t index);
  void Record(const HostCall& call);
  void RecordEvents(const VstEventList* list);
  void Register();
  void Unregister();

  VstEffect* effect_ = nullptr;
  int slot_ = -1;
  int blockSize_ = 1024;
  VstTimeInfo timeInfo_{};
  std::atomic<int> processDepth_{0};
  std::atomic_flag recordBusy_; // clear from construction (C++20)
};
