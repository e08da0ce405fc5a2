#pragma once
// Editor controls: one rectangular element that paints itself into the editor's back buffer,
// takes the input the editor routes to it and may show and change one plug-in parameter as a
// normalised value 0..1.
//
// Threads: everything runs on the editor's user-interface thread, except ReceiveParamValue,
// ReceiveAuxParamValue and SetDimmed (and the MarkDirty (false) they call), which the plug-in
// also calls from its parameter and audio threads with the instance mutex held. The state those
// calls share with painting (value, repaint flags, dimmed, hidden, blend weight) is atomic, so
// neither side takes a lock; the editor's thread never waits for the audio thread.

#include <atomic>
#include <deque>
#include <string>

#include "igraphics/IGraphicsStructs.h"

class IGraphics;
class IPlugBase;

class IControl {
public:
  // paramIdx -1 binds no parameter; a bound index must exist in the plug-in. plug may be null
  // (a control that never reaches a plug-in).
  IControl(IPlugBase* plug, const ControlRect& rect, int paramIdx = -1,
           ControlBlend blend = ControlBlend{});
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  // The virtual operations keep one fixed order (slot 0 the destructor up to MoveTo); the two
  // reserved slots have no behaviour and no caller but keep the later ones at their places.
  virtual ~IControl();
  virtual void HandleMouseDown(int x, int y, const MouseMods& mods); // right button: AskForValue
  virtual void HandleMouseUp(int /*x*/, int /*y*/, const MouseMods& /*mods*/) {}
  virtual void HandleMouseDrag(int /*x*/, int /*y*/, int /*dx*/, int /*dy*/,
                               const MouseMods& /*mods*/) {}
  virtual void HandleDoubleClick(int x, int y, const MouseMods& mods); // restores the default
  virtual void HandleWheel(int /*x*/, int /*y*/, const MouseMods& /*mods*/, int /*notches*/) {}
  virtual bool HandleKey(int /*x*/, int /*y*/, int /*key*/) { return false; }
  virtual void HandleHover(int /*x*/, int /*y*/, const MouseMods& /*mods*/) {}
  virtual void HandleHoverEnd() {}
  // Paints into the editor's back buffer, clipped by the editor to its redraw rect.
  virtual bool Paint(IGraphics* editor) = 0;
  virtual void ReservedSlot10() {}
  // Any thread, instance mutex held: a value from the plug-in side; the first one also becomes
  // the default.
  virtual void ReceiveParamValue(double normalized);
  // A value the user chose in a prompt; it is sent on to the plug-in.
  virtual void ReceiveUserValue(double normalized);
  // Text typed into a prompt for a control without parameter.
  virtual void TakeEnteredText(const char* /*text*/) {}
  virtual void SetHidden(bool hidden);
  // Any thread, instance mutex held. Dimmed controls are skipped by presses, keys, wheel and
  // double clicks and paint at 0.25.
  virtual void SetDimmed(bool dimmed);
  virtual bool HitTest(int x, int y) { return targetRect_.Contains(x, y); }
  // Clamps the value, flags the control for the next two redraws and, with notify, sets the
  // bound parameter (SetParameterFromGUI, which takes the mutex); other controls bound to it
  // follow in every case. Without notify any thread, instance mutex held; with it the
  // user-interface thread.
  virtual void MarkDirty(bool notify);
  virtual void AfterPaint();
  virtual bool NeedsPaint() { return (flags_.load(std::memory_order_acquire) & kDirty) != 0; }
  virtual void ReservedSlot20() {}
  virtual void ReceiveAuxParamValue(int auxIdx, double normalized); // as ReceiveParamValue
  virtual void MoveTo(int x, int y);

  // Opens the editor's prompt for the bound parameter (menu or text entry); nothing without a
  // parameter or while prompting is disabled.
  void AskForValue();

  // --- state ------------------------------------------------------------------------------------
  double Value() const { return value_.load(std::memory_order_relaxed); }
  // Stores v without marking anything; MarkDirty makes it visible.
  void SetValue(double v) { value_.store(v, std::memory_order_relaxed); }
  double DefaultValue() const { return defaultValue_.load(std::memory_order_relaxed); }
  void SetDefaultValue(double v) { defaultValue_.store(v, std::memory_order_relaxed); }
  void SetClamp(double low, double high) {
    clampLow_ = low;
    clampHigh_ = high;
  }
  bool IsDirty() const { return (flags_.load(std::memory_order_acquire) & kDirty) != 0; }
  bool IsChanged() const { return (flags_.load(std::memory_order_acquire) & kChanged) != 0; }
  bool IsHidden() const { return hidden_.load(std::memory_order_relaxed); }
  bool IsDimmed() const { return dimmed_.load(std::memory_order_relaxed); }
  // The blend with its current weight (1.0, 0.25 while dimmed, 0.0 while hidden).
  ControlBlend Blend() const { return {blendKind_, blendWeight_.load(std::memory_order_relaxed)}; }

  const ControlRect& Rect() const { return rect_; }
  const ControlRect& TargetRect() const { return targetRect_; }
  void SetTargetRect(const ControlRect& r) { targetRect_ = r; }
  int ParamIdx() const { return paramIdx_; }
  int ListIndex() const { return listIndex_; }
  void SetListIndex(int idx) { listIndex_ = idx; }
  IPlugBase* Plug() const { return plug_; }

  TextStyle& GetTextStyle() { return textStyle_; }
  const TextStyle& GetTextStyle() const { return textStyle_; }
  void SetTextStyle(const TextStyle& style) { textStyle_ = style; }
  int TextEntryLimit() const { return textEntryLimit_; }
  void SetTextEntryLimit(int chars) { textEntryLimit_ = chars; }
  bool PromptDisabled() const { return promptDisabled_; }
  void SetPromptDisabled(bool disabled) { promptDisabled_ = disabled; }
  bool DoubleClickAsPress() const { return doubleClickAsPress_; }
  void SetDoubleClickAsPress(bool on) { doubleClickAsPress_ = on; }
  bool HoverWhenDimmed() const { return hoverWhenDimmed_; }
  void SetHoverWhenDimmed(bool on) { hoverWhenDimmed_ = on; }
  const std::string& Tooltip() const { return tooltip_; }
  void SetTooltip(const char* text) { tooltip_ = text ? text : ""; }

  // Further parameters the control shows; set up before the editor is attached.
  void AddAuxParam(int paramIdx);
  int NAuxParams() const { return static_cast<int>(auxParams_.size()); }
  int AuxParamIdx(int auxIdx) const { return auxParams_[auxIdx].paramIdx; }
  double AuxParamValue(int auxIdx) const {
    return auxParams_[auxIdx].value.load(std::memory_order_relaxed);
  }

protected:
  // dirty: paint at the next redraw; changed: keep dirty for one more. Both live in one atomic
  // so that AfterPaint's "dirty := changed, changed := false" cannot swallow a mark made by
  // another thread in between.
  static constexpr uint8_t kDirty = 1, kChanged = 2;
  void SetChanged() { flags_.fetch_or(kChanged, std::memory_order_release); }
  // The editor of the plug-in this control belongs to, or null (none attached yet).
  IGraphics* Editor() const;

  int textEntryLimit_ = 7;
  TextStyle textStyle_;
  IPlugBase* plug_;
  ControlRect rect_;
  ControlRect targetRect_;
  int paramIdx_;
  int listIndex_ = 0;

private:
  struct AuxParam {
    explicit AuxParam(int idx) : paramIdx(idx) {}
    std::atomic<double> value{0.0};
    int paramIdx;
  };

  std::deque<AuxParam> auxParams_; // stable addresses: entries hold atomics
  std::atomic<double> value_{0.0};
  std::atomic<double> defaultValue_{-1.0}; // negative: no default yet
  double clampLow_ = 0.0, clampHigh_ = 1.0;
  std::atomic<uint8_t> flags_{kDirty};
  std::atomic<bool> hidden_{false};
  std::atomic<bool> dimmed_{false};
  bool promptDisabled_ = true;
  bool doubleClickAsPress_ = false;
  bool hoverWhenDimmed_ = false;
  int32_t blendKind_;
  std::atomic<float> blendWeight_;
  std::string tooltip_;
};

// Shows one frame of a multi-frame image, chosen by the value.
class IBitmapControl : public IControl {
public:
  // The rect is one frame of bitmap placed at (x, y). bitmap may be null (paints nothing).
  IBitmapControl(IPlugBase* plug, int x, int y, int paramIdx, BitmapRef* bitmap,
                 int32_t blendKind = ControlBlend::Normal);
  bool Paint(IGraphics* editor) override;
  // The frame (1-based) the current value shows.
  int FrameForValue() const;
  BitmapRef* Bitmap() const { return bitmap_; }

protected:
  BitmapRef* bitmap_; // not owned
};

// A bitmap control that steps through its frames on every press, whatever the button: a
// two-frame switch toggles between 0 and 1.
class ISwitchControl : public IBitmapControl {
public:
  using IBitmapControl::IBitmapControl;
  void HandleMouseDown(int x, int y, const MouseMods& mods) override;
  void HandleDoubleClick(int x, int y, const MouseMods& mods) override;
};
