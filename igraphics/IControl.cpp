#include "igraphics/IControl.h"

#include <cmath>

#include "igraphics/IGraphics.h"
#include "iplug/IPlugBase.h"

namespace {
// A NaN counts as different from everything, itself included.
bool Differs(double a, double b) {
  return !(a == b);
}
} // namespace

IControl::IControl(IPlugBase* plug, const ControlRect& rect, int paramIdx, ControlBlend blend)
    : plug_(plug), rect_(rect), targetRect_(rect), paramIdx_(paramIdx), blendKind_(blend.kind),
      blendWeight_(blend.weight) {}

IControl::~IControl() = default;

IGraphics* IControl::Editor() const {
  return plug_ ? plug_->Editor() : nullptr;
}

void IControl::HandleMouseDown(int, int, const MouseMods& mods) {
  if (mods.right) AskForValue();
}

void IControl::HandleDoubleClick(int, int, const MouseMods&) {
  const double def = DefaultValue();
  if (def >= 0.0) {
    SetValue(def);
    MarkDirty(true);
  }
}

void IControl::ReceiveParamValue(double v) {
  if (DefaultValue() < 0.0) {
    SetValue(v);
    SetDefaultValue(v);
  }
  if (Differs(v, Value())) {
    SetValue(v);
    MarkDirty(false);
    SetChanged();
  }
}

void IControl::ReceiveUserValue(double v) {
  if (Differs(v, Value())) {
    SetValue(v);
    MarkDirty(true);
    SetChanged();
  }
}

void IControl::ReceiveAuxParamValue(int auxIdx, double v) {
  if (auxIdx < 0 || auxIdx >= NAuxParams()) return;
  std::atomic<double>& slot = auxParams_[auxIdx].value;
  if (Differs(v, slot.load(std::memory_order_relaxed))) {
    slot.store(v, std::memory_order_relaxed);
    MarkDirty(false);
    SetChanged();
  }
}

void IControl::AddAuxParam(int paramIdx) {
  auxParams_.emplace_back(paramIdx);
}

void IControl::MarkDirty(bool notify) {
  // The audio thread marks controls too (dimming); the clamp writes back only a value that was
  // out of range, and only if nobody stored a new one meanwhile, so it never undoes a change the
  // user made at the same moment. A NaN is no usable value and becomes the low bound.
  double v = Value();
  double clamped = v;
  if (std::isnan(v) || clampLow_ > v)
    clamped = clampLow_;
  else if (clampHigh_ < v)
    clamped = clampHigh_;
  if (Differs(clamped, v)) value_.compare_exchange_strong(v, clamped, std::memory_order_relaxed);

  flags_.fetch_or(kDirty | kChanged, std::memory_order_release);

  if (notify && plug_ && paramIdx_ >= 0) plug_->SetParameterFromGUI(paramIdx_, Value());
  if (paramIdx_ >= 0) {
    if (IGraphics* editor = Editor()) editor->PushParamToControls(paramIdx_, Value(), true);
  }
}

void IControl::AfterPaint() {
  // dirty := changed, changed := false, in one step against concurrent marks.
  uint8_t old = flags_.load(std::memory_order_relaxed);
  while (!flags_.compare_exchange_weak(old, (old & kChanged) ? kDirty : 0,
                                       std::memory_order_acq_rel, std::memory_order_relaxed)) {
  }
}

void IControl::SetHidden(bool hidden) {
  hidden_.store(hidden, std::memory_order_relaxed);
  SetChanged();
  blendWeight_.store(hidden ? 0.0f : 1.0f, std::memory_order_relaxed);
  MarkDirty(false);
}

void IControl::SetDimmed(bool dimmed) {
  dimmed_.store(dimmed, std::memory_order_relaxed);
  blendWeight_.store(dimmed ? 0.25f : 1.0f, std::memory_order_relaxed);
  MarkDirty(false);
}

void IControl::MoveTo(int x, int y) {
  const int w = rect_.W(), h = rect_.H();
  rect_ = {x, y, x + w, y + h};
  targetRect_ = rect_;
}

void IControl::AskForValue() {
  if (paramIdx_ < 0 || promptDisabled_ || !plug_) return;
  IPlugParam* param = plug_->GetParam(paramIdx_);
  if (!param) return;
  ControlRect prompt = rect_;
  if (param->DisplayTextCount() == 0) {
    // Rebuilt from the centre in single precision: odd sizes lose their last pixel.
    const int cx = static_cast<int>((rect_.left + rect_.right) * 0.5f);
    const int cy = static_cast<int>((rect_.top + rect_.bottom) * 0.5f);
    const int hw = static_cast<int>((rect_.right - rect_.left) * 0.5f);
    const int hh = static_cast<int>((rect_.bottom - rect_.top) * 0.5f);
    prompt = {cx - hw, cy - hh, cx + hw, cy + hh};
  }
  if (IGraphics* editor = Editor()) editor->AskForParamValue(this, param, &prompt);
  SetChanged();
}

// --- IBitmapControl --------------------------------------------------------------------------

namespace {
ControlRect FrameRect(int x, int y, const BitmapRef* bitmap) {
  if (!bitmap) return {x, y, x, y};
  const int frames = bitmap->frameCount < 1 ? 1 : bitmap->frameCount;
  const int w = bitmap->framesHorizontal ? bitmap->width / frames : bitmap->width;
  const int h = bitmap->framesHorizontal ? bitmap->height : bitmap->height / frames;
  return {x, y, x + w, y + h};
}
} // namespace

IBitmapControl::IBitmapControl(IPlugBase* plug, int x, int y, int paramIdx, BitmapRef* bitmap,
                               int32_t blendKind)
    : IControl(plug, FrameRect(x, y, bitmap), paramIdx, ControlBlend{blendKind, 1.0f}),
      bitmap_(bitmap) {}

int IBitmapControl::FrameForValue() const {
  const int frames = bitmap_ ? bitmap_->frameCount : 1;
  if (frames < 2) return 1;
  // In double precision and range-checked before the conversion: a value the plug-in pushed
  // unclamped (or a NaN) still picks a frame that exists.
  const double f = (frames - 1) * Value() + 0.5;
  if (!(f > 0.0)) return 1;
  if (f >= frames) return frames;
  return static_cast<int>(f) + 1;
}

bool IBitmapControl::Paint(IGraphics* editor) {
  const ControlBlend blend = Blend();
  editor->PaintBitmapFrame(bitmap_, rect_, FrameForValue(), &blend);
  return true;
}

// --- ISwitchControl --------------------------------------------------------------------------

void ISwitchControl::HandleMouseDown(int, int, const MouseMods&) {
  const int frames = bitmap_ ? bitmap_->frameCount : 1;
  const double step = frames < 2 ? 1.0 : 1.0 / (frames - 1);
  double v = Value() + step;
  // 1.001, not 1.0: summed steps of 1 / (frames - 1) may end a hair above 1 on the last frame.
  if (v > 1.001) v = 0.0;
  SetValue(v);
  MarkDirty(true);
}

void ISwitchControl::HandleDoubleClick(int x, int y, const MouseMods& mods) {
  HandleMouseDown(x, y, mods);
}
