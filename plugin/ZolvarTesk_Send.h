#pragma once
// The sender: passes its track's audio through unchanged, measures its momentary loudness and
// publishes it in a slot of the shared segment, so that receivers on other tracks make their
// loudness follow it. Its flag is raised only while it processes audio with "Send" on; a
// heartbeat in the slot lets a later sender lower the flag of one whose process has gone.

#include <cstdint>
#include <memory>

#include "iplug/IPlugAdapter.h"
#include "plugin/LoudnessMatcher.h"
#include "plugin/SharedSegment.h"

enum SendParams { ParamSend = 0, ParamChannel = 1, kNumSendParams };

class ICairoText;

class ZolvarTesk_Send : public IPlugAdapter {
public:
  static constexpr int kChannelAuto = 0; // "Channel" values: 0 "Auto", n slot n - 1
  static constexpr int kEditorWidth = 256;
  static constexpr int kEditorHeight = 240;
  static constexpr int kTextSize = 24;

  // Names, identifiers, channels and version: what every format's factory describes.
  static PluginConfig Config();

  // Plug-in factory of the adapter, under its construction lock: opens the segment (creating it
  // with every slot free if it is missing), lowers the flags of stale senders of ours, claims a
  // slot, configures the parameters and builds the editor.
  explicit ZolvarTesk_Send(IPlugInstanceInfo info);
  // Lowers the flag and gives the slot back.
  ~ZolvarTesk_Send() override;

  // Host's set-up thread; takes the mutex. Follows the sample rate.
  void Reset() override;
  // Host thread; processing switched off lowers the flag (the next block raises it again).
  void ActivationChanged(bool active) override;
  // audio thread, mutex held: a bypassed sender sends nothing; its flag goes down.
  void BlockBypassed(int frames) override;
  // Any thread; takes the mutex. "Send" off lowers the flag at once; a new "Channel" gives the
  // slot back and claims the chosen one.
  void ParameterChanged(int paramIdx, int source) override;
  // audio thread, instance mutex held: copies inputs to outputs, measures, and (once per
  // millisecond of audio, or every block of 1 ms or more) publishes with a fresh heartbeat.
  void ProcessBlock(double** inputs, double** outputs, int frames) override;

  // The slot kept, or -1 (no segment, or the chosen channel is another sender's).
  int Slot() const { return slot_; }
  // The loudness last published, LUFS (minus infinity before the first measurement).
  double PublishedLufs() const { return meter_.OwnLoudness(); }
  // The slot receivers follow (the lowest flagged one), or -1.
  int FollowedSlot() const;

private:
  void BuildEditor();
  // Writes what the editor shows (the published loudness, the slot, 1 to 128 or "-", and
  // whether receivers follow: "FOLLOWED", "SLOT n WINS", "NOT SENDING", "NO SLOT") and hands it
  // to the read-outs, which repaint on a change.
  void ShowState();
  // Claims the slot the "Channel" parameter names; keeps -1 when it cannot be had.
  void ClaimSlot();
  void LowerFlag();
  // Writes level, heartbeat and flag (raised while sending).
  void Publish(uint8_t* data);

  std::unique_ptr<SharedSegment> segment_;
  LoudnessMatcher meter_; // only its momentary meter is used
  int slot_ = -1;
  double lastBeat_ = 0.0;             // the heartbeat last written in slot_
  int64_t framesSinceStaleCheck_ = 0; // stale senders are looked for once per second of audio
  char loudnessText_[kTextSize] = "-inf";
  char slotText_[kTextSize] = "-";
  char statusText_[kTextSize] = "";
  ICairoText* loudnessReadout_ = nullptr; // owned by the editor
  ICairoText* slotReadout_ = nullptr;
  ICairoText* statusReadout_ = nullptr;
};
