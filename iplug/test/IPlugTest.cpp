#include "iplug/test/IPlugTest.h"

#include <cmath>

IPlugTest::IPlugTest(IPlugInstanceInfo, PluginConfig config)
    : IPlugBase([&] {
        config.hostApi = -1; // no host
        return config;
      }()) {
  ConnectInputs(0, NInChannels(), true);
  ConnectOutputs(0, NOutChannels(), true);
  ChangeBlockSize(1024);
}

void IPlugTest::Record(HostEvent::Kind kind, int index, double value) {
  if (recordEvents) events.push_back({kind, index, value});
}

void IPlugTest::BeginParameterEdit(int paramIdx) {
  Record(HostEvent::BeginEdit, paramIdx, 0.0);
}
void IPlugTest::NotifyHostParameterChange(int paramIdx, double normalized) {
  Record(HostEvent::Change, paramIdx, normalized);
}
void IPlugTest::EndParameterEdit(int paramIdx) {
  Record(HostEvent::EndEdit, paramIdx, 0.0);
}
void IPlugTest::NotifyHostPresetChange() {
  Record(HostEvent::PresetChange, -1, 0.0);
}

int IPlugTest::HostSamplePosition() {
  if (!transportValid || transport.samplePos < 0) return 0;
  return static_cast<int>(transport.samplePos + 0.5);
}

double IPlugTest::HostTempo() {
  return transportValid ? transport.tempo : 0.0;
}

void IPlugTest::HostTimeSignature(int* numerator, int* denominator) {
  *numerator = transportValid ? transport.numerator : 0;
  *denominator = transportValid ? transport.denominator : 0;
}

void IPlugTest::ReadTransport(TransportInfo& info) {
  if (transportValid) info = transport;
}

bool IPlugTest::SendMidiMessage(const MidiMessage& msg) {
  Record(HostEvent::Midi, msg.status, msg.data1);
  return true;
}

void IPlugTest::ProcessDouble(double** inputs, double** outputs, int frames) {
  std::lock_guard<std::recursive_mutex> lock(Mutex());
  AttachInputs(0, NInChannels(), inputs);
  AttachOutputs(0, NOutChannels(), outputs);
  RunBlock(frames);
}
