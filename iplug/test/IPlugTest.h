#pragma once
// A host adapter without a host: tests and offline tools construct and drive a plug-in class
// with it. The transport is whatever the caller sets; every notification towards the host is
// recorded so that a test can check what the plug-in told its host.

#include <vector>

#include "iplug/IPlugBase.h"

struct IPlugInstanceInfo {};

class IPlugTest : public IPlugBase {
public:
  struct HostEvent {
    enum Kind { BeginEdit, Change, EndEdit, PresetChange, Midi } kind;
    int index;
    double value;
  };

  IPlugTest(IPlugInstanceInfo, PluginConfig config);

  // Caller-side transport, read by ReadTransport on the audio thread. When transportValid is
  // false the host supplies no time information and the caller's fresh record stays as it is.
  TransportInfo transport;
  bool transportValid = true;
  bool offline = false;
  // Recording allocates; it is off while a test measures the audio path.
  bool recordEvents = true;
  std::vector<HostEvent> events;

  void BeginParameterEdit(int paramIdx) override;
  void NotifyHostParameterChange(int paramIdx, double normalized) override;
  void EndParameterEdit(int paramIdx) override;
  void NotifyHostPresetChange() override;
  bool HostRendersOffline() override { return offline; }
  int HostSamplePosition() override;
  double HostTempo() override;
  void HostTimeSignature(int* numerator, int* denominator) override;
  void ReadTransport(TransportInfo& info) override;
  void ResizeEditor(int, int) override {}
  bool SendMidiMessage(const MidiMessage& msg) override;

  // Runs one block of double buffers the way an adapter does: mutex held around it.
  void ProcessDouble(double** inputs, double** outputs, int frames);

private:
  void Record(HostEvent::Kind kind, int index, double value);
};
