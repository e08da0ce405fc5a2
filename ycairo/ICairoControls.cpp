#include "ycairo/ICairoControls.h"

#include <cstdio>

#include "iplug/IPlugBase.h"

namespace {

// Text size: 0.6 of the rectangle's height (30 for the 50-pixel read-outs, 18 for the field).
double FontSizeFor(const ControlRect& r) {
  return static_cast<double>(r.bottom - r.top) * 0.6;
}

} // namespace

// --- ICairoText ----------------------------------------------------------------------------------

ICairoText::ICairoText(IPlugBase* plug, const ControlRect& rect, ycairo_context* context,
                       const ControlColor& color, const char* text)
    : IControl(plug, rect, -1), ycairo_gui(context, this), ycairo_text(context), textColor(color) {
  textBuffer.Store(text);
  LoadFontResource(kEditorFontResource, kResourceTypeRcData, kEditorFontName);
}

ICairoText::~ICairoText() = default;

ICairoText* MakeVersionLabel(IPlugBase* plug, const ControlRect& rect, ycairo_context* context,
                             const ControlColor& color, int32_t version) {
  char text[32];
  snprintf(text, sizeof text, "v%d.%d.%d", (version >> 16) & 0xFFFF, (version >> 8) & 0xFF,
           version & 0xFF);
  return new ICairoText(plug, rect, context, color, text);
}

bool ICairoText::Paint(IGraphics*) {
  char shown[SharedText::kCapacity];
  textBuffer.Load(shown);
  ClipToControl();
  RenderText(cairoContext, shown, FontSizeFor(rect_), textColor, rect_, TextHAlign::Center,
             TextVAlign::Middle);
  ResetClip();
  return true;
}

void ICairoText::UpdateText(const char* text) {
  if (textBuffer.Equals(text)) return;
  // The text is in place before the mark, so the repaint that the mark causes shows it.
  textBuffer.Store(text);
  MarkDirty(false);
}

// --- ICairoDropdown ------------------------------------------------------------------------------

ICairoDropdown::ICairoDropdown(IPlugBase* plug, const ControlRect& rect, int paramIdx,
                               ycairo_context* context, const ControlColor& color)
    : IControl(plug, rect, paramIdx), ycairo_gui(context, this), ycairo_text(context),
      textColor(color) {
  SetPromptDisabled(false);
  LoadFontResource(kEditorFontResource, kResourceTypeRcData, kEditorFontName);
}

ICairoDropdown::~ICairoDropdown() = default;

void ICairoDropdown::HandleMouseDown(int, int, const MouseMods& mods) {
  if (mods.left || mods.right) AskForValue();
}

void ICairoDropdown::HandleDoubleClick(int, int, const MouseMods&) {
  AskForValue();
}

bool ICairoDropdown::Paint(IGraphics*) {
  ClipToControl();
  textBuffer[0] = '\0';
  if (IPlugBase* plug = Plug()) {
    // Without the instance mutex, which the audio thread holds around every block: the value is
    // one atomic double, and the range and texts that format it never change.
    if (const IPlugParam* p = plug->GetParam(paramIdx_)) {
      char display[kParamStringSize];
      p->FormatDisplay(p->Value(), false, display, sizeof display, true);
      snprintf(textBuffer, sizeof textBuffer, "%s%s", display, p->ParamLabel());
    }
  }
  RenderText(cairoContext, textBuffer, FontSizeFor(rect_), textColor, rect_, TextHAlign::Center,
             TextVAlign::Middle);
  ResetClip();
  return true;
}
