#include "plugin/ZolvarTesk_Send.h"

#include <cmath>
#include <cstdio>
#include <mutex>

#include "igraphics/IControl.h"
#include "igraphics/IGraphics.h"
#include "igraphics/IGraphicsPlatform.h"
#include "os/Resources.h"
#include "plugin/SenderSlot.h"
#include "ycairo/ICairoControls.h"
#include "ycairo/ycairo.h"

namespace {

constexpr int32_t kVersion = 0x00010000; // 1.0.0
constexpr double kNeperPerDb = 0.1151292546497;

// The editor's resources and layout (tools/artwork draws the panel around these areas).
constexpr int kBackgroundImage = 105;
constexpr int kSendSwitchImage = 106;
constexpr ControlColor kReadoutColor{255, 255, 205, 64};  // opaque amber, as the receiver's
constexpr ControlColor kStatusColor{255, 213, 218, 225};  // the panel's label grey
constexpr ControlColor kVersionColor{200, 255, 255, 255}; // white at alpha 200
constexpr ControlRect kLoudnessRect{100, 18, 240, 58};
constexpr ControlRect kSlotRect{100, 66, 160, 96};
constexpr ControlRect kStatusRect{18, 104, 240, 128};
constexpr ControlRect kVersionRect{178, 220, 236, 240};
constexpr int kSendSwitchX = 78, kSendSwitchY = 151;

// The segment's data area, unless another process has shrunk it under the mapping.
uint8_t* Writable(const SharedSegment* segment) {
  uint8_t* data = SegmentData(segment);
  return data && zt::os::MappingIntact(segment->mapping) ? data : nullptr;
}

} // namespace

PluginConfig ZolvarTesk_Send::Config() {
  PluginConfig c;
  c.paramCount = kNumSendParams;
  c.channelIO = "1-1 2-2";
  c.presetCount = 1;
  c.effectName = "ZolvarTesk_Send";
  c.productName = "";
  c.makerName = "Zolvar";
  c.version = kVersion;
  c.uniqueId = FourCC('T', 'k', 's', 'e');
  c.makerId = FourCC('Z', 'l', 'V', 'r');
  c.latency = 0;
  return c;
}

ZolvarTesk_Send::ZolvarTesk_Send(IPlugInstanceInfo info) : IPlugAdapter(info, Config()) {
  GetParam(ParamSend)->ConfigureBool("Send", true);
  IPlugParam* channel = GetParam(ParamChannel);
  channel->ConfigureEnum("Channel", kChannelAuto, kSlotCount + 1);
  channel->AddDisplayText(kChannelAuto, "Auto");
  for (int slot = 0; slot < kSlotCount; ++slot) {
    char text[8];
    snprintf(text, sizeof text, "%d", slot + 1);
    channel->AddDisplayText(slot + 1, text);
  }

  std::lock_guard<std::recursive_mutex> lock(Mutex());
  segment_ = shmem(kSegmentBaseName, kSegmentDataBytes);
  if (uint8_t* data = Writable(segment_.get())) {
    if (segment_->created) FreeAllSlots(data);
    sender_slot::ClearStale(data, sender_slot::NowMs(), -1);
  }
  ClaimSlot();
  meter_.Prepare(SampleRate());

  BuildEditor();
  ShowState();
  FillDefaultPresets("-", 1);
}

void ZolvarTesk_Send::BuildEditor() {
  void* module = zt::os::DefaultResourceModule();
  std::unique_ptr<IGraphics> editor(MakeEditor(this, kEditorWidth, kEditorHeight, 0, module));
  auto* cairo = new ycairo_context(this);
  cairo->SetModuleInstance(module);
  SetDrawingContext(cairo);

  editor->AddBackground(kBackgroundImage, "resources/img/send-bkg.png");
  BitmapRef* image =
      editor->LoadBitmapResource(kSendSwitchImage, "resources/img/send-btn.png", 2, false);
  editor->AddControl(new ISwitchControl(this, kSendSwitchX, kSendSwitchY, ParamSend, image));
  loudnessReadout_ = new ICairoText(this, kLoudnessRect, cairo, kReadoutColor, "");
  editor->AddControl(loudnessReadout_);
  slotReadout_ = new ICairoText(this, kSlotRect, cairo, kReadoutColor, "");
  editor->AddControl(slotReadout_);
  statusReadout_ = new ICairoText(this, kStatusRect, cairo, kStatusColor, "");
  editor->AddControl(statusReadout_);
  editor->AddControl(MakeVersionLabel(this, kVersionRect, cairo, kVersionColor, kVersion));

  AttachEditor(editor.release());
}

void ZolvarTesk_Send::ShowState() {
  const double lufs = meter_.OwnLoudness();
  if (lufs > -160.0)
    snprintf(loudnessText_, sizeof loudnessText_, "%.1f", lufs);
  else
    snprintf(loudnessText_, sizeof loudnessText_, "-inf");
  if (slot_ >= 0)
    snprintf(slotText_, sizeof slotText_, "%d", slot_ + 1);
  else
    snprintf(slotText_, sizeof slotText_, "-");
  const int followed = FollowedSlot();
  if (slot_ < 0)
    snprintf(statusText_, sizeof statusText_, "NO SLOT");
  else if (followed == slot_)
    snprintf(statusText_, sizeof statusText_, "FOLLOWED");
  else if (!GetParam(ParamSend)->IsOn())
    snprintf(statusText_, sizeof statusText_, "NOT SENDING");
  else if (followed >= 0 && followed < slot_)
    snprintf(statusText_, sizeof statusText_, "SLOT %d WINS", followed + 1);
  else
    snprintf(statusText_, sizeof statusText_, "NOT SENDING");
  if (loudnessReadout_) loudnessReadout_->UpdateText(loudnessText_);
  if (slotReadout_) slotReadout_->UpdateText(slotText_);
  if (statusReadout_) statusReadout_->UpdateText(statusText_);
}

ZolvarTesk_Send::~ZolvarTesk_Send() {
  std::lock_guard<std::recursive_mutex> lock(Mutex());
  sender_slot::Release(Writable(segment_.get()), slot_, lastBeat_);
}

void ZolvarTesk_Send::ClaimSlot() {
  uint8_t* data = Writable(segment_.get());
  const int choice = static_cast<int>(GetParam(ParamChannel)->Value());
  const uint64_t now = sender_slot::NowMs();
  slot_ = sender_slot::Claim(data, choice == kChannelAuto ? sender_slot::kAuto : choice - 1, now);
  lastBeat_ = sender_slot::Heartbeat(now);
}

void ZolvarTesk_Send::LowerFlag() {
  uint8_t* data = Writable(segment_.get());
  if (data && sender_slot::StillOurs(data, slot_, lastBeat_)) StoreFlag(data, slot_, 0);
}

void ZolvarTesk_Send::Reset() {
  std::lock_guard<std::recursive_mutex> lock(Mutex());
  meter_.Prepare(SampleRate());
}

void ZolvarTesk_Send::ActivationChanged(bool active) {
  std::lock_guard<std::recursive_mutex> lock(Mutex());
  if (!active) {
    LowerFlag();
    ShowState();
  }
}

void ZolvarTesk_Send::BlockBypassed(int) {
  LowerFlag();
  ShowState();
}

void ZolvarTesk_Send::ParameterChanged(int paramIdx, int) {
  std::lock_guard<std::recursive_mutex> lock(Mutex());
  if (paramIdx == ParamSend && !GetParam(ParamSend)->IsOn()) {
    LowerFlag();
  } else if (paramIdx == ParamChannel) {
    const int choice = static_cast<int>(GetParam(ParamChannel)->Value());
    const int wanted = choice == kChannelAuto ? -1 : choice - 1;
    // Auto keeps the slot it has; a fixed choice moves to its slot.
    if (choice == kChannelAuto ? slot_ >= 0 : wanted == slot_) {
      ShowState();
      return;
    }
    sender_slot::Release(Writable(segment_.get()), slot_, lastBeat_);
    ClaimSlot();
  }
  ShowState();
}

int ZolvarTesk_Send::FollowedSlot() const {
  return sender_slot::FollowedSlot(SegmentData(segment_.get()));
}

void ZolvarTesk_Send::Publish(uint8_t* data) {
  const double beat = sender_slot::Heartbeat(sender_slot::NowMs());
  if (sender_slot::Beat(data, slot_, lastBeat_, beat)) {
    lastBeat_ = beat;
  } else {
    // Another sender cleared the slot as stale while the host did not call this one (or there
    // was none): claim anew, which writes the heartbeat.
    ClaimSlot();
    if (slot_ < 0) return;
  }
  // Level before flag: a receiver that sees the flag also sees the level.
  StoreSlot(data, slot_, 1, std::exp(meter_.OwnLoudness() * kNeperPerDb)); // 0 for silence
  if (GetParam(ParamSend)->IsOn()) StoreFlag(data, slot_, 1);
}

void ZolvarTesk_Send::ProcessBlock(double** inputs, double** outputs, int frames) {
  if (frames < 1) return;
  IPlugBase::ProcessBlock(inputs, outputs, frames); // the audio passes through unchanged
  meter_.MeasureInput(inputs[0], inputs[1], frames);
  if (!meter_.MeasuredAfresh()) return;

  uint8_t* data = Writable(segment_.get());
  if (!data) return;
  Publish(data);
  ShowState();
  framesSinceStaleCheck_ += frames;
  if (framesSinceStaleCheck_ >= static_cast<int64_t>(SampleRate())) {
    framesSinceStaleCheck_ = 0;
    sender_slot::ClearStale(data, sender_slot::NowMs(), slot_);
  }
}
