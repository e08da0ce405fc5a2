#pragma once
// The two controls that draw text with the cairo layer: ICairoText, a read-out whose text the
// plug-in replaces while audio runs, and ICairoDropdown, which shows a parameter's value with
// its unit and opens the value prompt on a click. Both load the editor font (resource 104,
// RT_RCDATA) at construction and draw centred at 0.6 x the height of their rectangle.

#include "igraphics/IControl.h"
#include "ycairo/SharedText.h"
#include "ycairo/ycairo.h"

// Resource of the editor font: a TrueType file stored as RT_RCDATA.
constexpr int kEditorFontResource = 104;
constexpr int kResourceTypeRcData = 10;
constexpr const char* kEditorFontName = "resources/readout-font.ttf";

class ICairoText : public IControl, public ycairo_gui, public ycairo_text {
public:
  // Bound to no parameter. context is the instance's cairo context and must outlive the control.
  ICairoText(IPlugBase* plug, const ControlRect& rect, ycairo_context* context,
             const ControlColor& color, const char* text);
  ~ICairoText() override;

  // user-interface thread
  bool Paint(IGraphics* editor) override;

  // Replaces the shown text and marks the control for repaint (without telling the plug-in),
  // only when the text differs from the one shown. Called on the audio thread with the instance
  // mutex held (one caller at a time): no allocation, no lock, no drawing. Texts longer than
  // SharedText::kCapacity - 1 bytes are cut.
  void UpdateText(const char* text);
  // Any thread: the text shown (kCapacity bytes, terminated).
  void CopyText(char (&out)[SharedText::kCapacity]) const { textBuffer.Load(out); }

protected:
  ControlColor textColor;
  SharedText textBuffer;
};

// A read-out showing a plug-in version 0xMMMMmmpp as "vM.m.p".
ICairoText* MakeVersionLabel(IPlugBase* plug, const ControlRect& rect, ycairo_context* context,
                             const ControlColor& color, int32_t version);

class ICairoDropdown : public IControl, public ycairo_gui, public ycairo_text {
public:
  // Bound to parameter paramIdx, which must exist in plug; prompting is enabled.
  ICairoDropdown(IPlugBase* plug, const ControlRect& rect, int paramIdx, ycairo_context* context,
                 const ControlColor& color);
  ~ICairoDropdown() override;

  // user-interface thread
  void HandleMouseDown(int x, int y, const MouseMods& mods) override;   // left or right: prompt
  void HandleDoubleClick(int x, int y, const MouseMods& mods) override; // prompt
  // Draws the parameter's own current value with its unit, e.g. -23LUFS.
  bool Paint(IGraphics* editor) override;

  // The text of the last draw (user-interface thread).
  const char* ShownText() const { return textBuffer; }

protected:
  ControlColor textColor;
  char textBuffer[SharedText::kCapacity] = ""; // rebuilt at every draw, on the drawing thread
};
