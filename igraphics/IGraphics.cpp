#include "igraphics/IGraphics.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "igraphics/IControl.h"
#include "igraphics/IGraphicsCaches.h"
#include "iplug/IPlugBase.h"
#include "lice/lice.h"
#include "lice/lice_text.h"

namespace {

void DestroyEditor(IGraphics* editor) {
  delete editor;
}
void CreateEditorDrawBitmap(IGraphics* editor) {
  editor->CreateDrawBitmap();
}
void PushEditorParam(IGraphics* editor, int paramIdx, double value, bool normalized) {
  editor->PushParamToControls(paramIdx, value, normalized);
}
void* OpenEditorWindowFor(IGraphics* editor, void* parent) {
  return editor->HasSystemWindow() ? editor->OpenEditorWindow(parent) : nullptr;
}
void CloseEditorWindowOf(IGraphics* editor) {
  editor->CloseEditorWindow();
}
void SetEditorViewContainer(IGraphics* editor, IGraphicsViewContainer* container) {
  editor->SetViewContainer(container);
}
void SizeOfEditor(IGraphics* editor, int* width, int* height) {
  *width = editor->Width();
  *height = editor->Height();
}
constexpr EditorEntryPoints kEditorEntryPoints = {
    DestroyEditor,       CreateEditorDrawBitmap, PushEditorParam, OpenEditorWindowFor,
    CloseEditorWindowOf, SetEditorViewContainer, SizeOfEditor};

} // namespace

IGraphics::IGraphics(IPlugBase* plug, int width, int height, int framesPerSecond)
    : plug_(plug), width_(width), height_(height),
      framesPerSecond_(framesPerSecond > 0 ? framesPerSecond : 60) {
  IPlugBase::InstallEditorEntryPoints(&kEditorEntryPoints);
}

IGraphics::~IGraphics() {
  delete keyCatcher_;
  keyCatcher_ = nullptr;
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
    delete *it;
  controls_.clear();
  delete drawBitmap_;
  drawBitmap_ = nullptr;
}

// --- control list ------------------------------------------------------------------------------

void IGraphics::Renumber() {
  for (int i = 0; i < NControls(); ++i)
    controls_[i]->SetListIndex(i);
}

int IGraphics::AddControl(IControl* control) {
  controls_.push_back(control);
  Renumber();
  return NControls() - 1;
}

void IGraphics::AddBackground(int resourceId, const char* name) {
  BitmapRef* bitmap = LoadBitmapResource(resourceId, name, 1, false);
  controls_.insert(controls_.begin(),
                   new IBitmapControl(plug_, 0, 0, -1, bitmap, ControlBlend::Opaque));
  Renumber();
}

void IGraphics::SetKeyCatcher(IControl* control) {
  if (keyCatcher_ != control) delete keyCatcher_;
  keyCatcher_ = control;
}

void IGraphics::MarkAllDirty() {
  for (IControl* c : controls_)
    c->MarkDirty(false);
}

// --- parameter binding -------------------------------------------------------------------------

void IGraphics::PushParamToControls(int paramIdx, double value, bool normalized) {
  if (!normalized) {
    const IPlugParam* param = plug_ ? plug_->GetParam(paramIdx) : nullptr;
    if (!param) return;
    value = param->NormalizeValue(value);
  }
  for (IControl* c : controls_) {
    if (c->ParamIdx() == paramIdx) c->ReceiveParamValue(value);
    for (int j = 0; j < c->NAuxParams(); ++j) {
      if (c->AuxParamIdx(j) == paramIdx) {
        c->ReceiveAuxParamValue(j, value);
        break;
      }
    }
  }
}

void IGraphics::DimParamControls(int paramIdx, bool dim) {
  for (IControl* c : controls_)
    if (c->ParamIdx() == paramIdx) c->SetDimmed(dim);
}

// --- bitmaps and painting ----------------------------------------------------------------------

BitmapRef* IGraphics::LoadBitmapResource(int resourceId, const char* name, int frameCount,
                                         bool framesHorizontal) {
  ImageCache& cache = TheImageCache();
  LICE_IBitmap* image = cache.Find(resourceId);
  if (!image) {
    // Decoded without the cache's lock; an image that failed to load is not cached, so that
    // no record ever points at an unusable image and a later call may succeed.
    image = LoadPngResource(resourceId, name);
    if (image) cache.Add(resourceId, image);
  }
  BitmapRef record;
  record.image = image;
  record.width = image ? image->Width() : 0;
  record.height = image ? image->Height() : 0;
  record.frameCount = std::max(1, frameCount);
  record.framesHorizontal = framesHorizontal;
  return TheBitmapRecordList().Add(resourceId, name, record);
}

bool IGraphics::PaintBitmap(const BitmapRef* bitmap, const ControlRect& dest, int sx, int sy,
                            const ControlBlend* blend) {
  const ControlRect c = dest.Intersection(redrawRect_);
  if (!bitmap || !bitmap->image || !drawBitmap_ || c.IsEmpty()) return true;
  sx += c.left - dest.left;
  sy += c.top - dest.top;
  const ControlRect source{sx, sy, sx + c.W(), sy + c.H()};
  const ControlBlend b = blend ? *blend : ControlBlend{};
  BlitBitmap(drawBitmap_, bitmap->image, c.left, c.top, &source, b.weight, b.BlitMode());
  return true;
}

bool IGraphics::PaintBitmapFrame(const BitmapRef* bitmap, const ControlRect& dest, int frame,
                                 const ControlBlend* blend) {
  int offset = 0;
  if (bitmap && bitmap->frameCount >= 2 && frame >= 2) {
    const int size = bitmap->framesHorizontal ? bitmap->width : bitmap->height;
    offset = static_cast<int>(static_cast<double>(size) * (frame - 1) / bitmap->frameCount + 0.5);
  }
  if (bitmap && bitmap->framesHorizontal) return PaintBitmap(bitmap, dest, offset, 0, blend);
  return PaintBitmap(bitmap, dest, 0, offset, blend);
}

bool IGraphics::DrawLabel(TextStyle& style, const char* text, ControlRect& rect, bool measure) {
  if (!text || !text[0]) return true;
  LICE_CachedFont* font = style.cachedFont ? style.cachedFont : FontForStyle(style);
  if (!font) return false; // no system font for the style (none at all outside Windows)
  font->SetFontColor(style.color.ToPixel());
  int32_t flags = kDrawSingleLine | kDrawVCenter | kDrawNoClip;
  if (style.color.A != 255) flags |= kDrawUseAlpha;
  if (style.align == TextStyle::AlignCenter)
    flags |= kDrawCenter;
  else if (style.align != TextStyle::AlignLeft)
    flags |= kDrawRight;
  if (style.valign == 1) flags |= kDrawBottom;
  if (!measure) {
    font->DrawString(drawBitmap_, text, -1, &rect, flags);
    return true;
  }
  ControlRect extent;
  font->DrawString(nullptr, text, -1, &extent, flags | kDrawCalcRect);
  PlaceMeasuredText(style, extent.W(), extent.H(), rect);
  return true;
}

void IGraphics::PlaceMeasuredText(const TextStyle& style, int width, int height,
                                  ControlRect& rect) {
  if (style.align == TextStyle::AlignLeft) {
    rect.right = rect.left + width;
  } else if (style.align == TextStyle::AlignCenter) {
    rect.left = (rect.left + rect.right) / 2 - width / 2; // both halves truncated toward zero
    rect.right = rect.left + width;
  } else {
    rect.left = rect.right - width;
  }
  rect.bottom = rect.top + height;
}

bool IGraphics::MeasureLabel(TextStyle& style, const char* text, ControlRect& rect) {
  return DrawLabel(style, text, rect, true);
}

namespace {
void DeleteFont(LICE_CachedFont* font) {
  delete font;
}
// Windows output quality for a style's quality.
int32_t OutputQuality(int32_t quality) {
  switch (quality) {
  case TextStyle::QualityDefault:
    return 0;
  case TextStyle::ClearType:
    return 5;
  case TextStyle::Antialiased:
    return 4;
  default:
    return 3;
  }
}
} // namespace

LICE_CachedFont* IGraphics::FontForStyle(TextStyle& style) {
  FontCache& cache = TheFontCache();
  if (LICE_CachedFont* font = cache.Find(style.size, style.orientation, style.style, style.font)) {
    style.cachedFont = font;
    return font;
  }
  // Made without the cache's lock: two threads may make the same font, and the first entry
  // wins on later lookups.
  LICE_FontSpec spec;
  spec.height = style.size;
  spec.tenthsOfDegree = style.orientation * 10;
  spec.weight = style.style == TextStyle::Bold ? 700 : 400;
  spec.italic = style.style == TextStyle::Italic;
  spec.quality = OutputQuality(style.quality);
  spec.face = style.font;
  LICE_FontHandle handle = LICE_CreateSystemFont(spec);
  if (!handle) return nullptr;
  auto* font = new LICE_CachedFont;
  font->SetFont(handle, kFontOwnsHandle | kFontDrawNative);
  cache.Add(style.size, style.orientation, style.style, style.font, font, &DeleteFont);
  style.cachedFont = font;
  return font;
}

// --- redraw ------------------------------------------------------------------------------------

void IGraphics::CreateDrawBitmap() {
  delete drawBitmap_;
  drawBitmap_ = new LICE_SysBitmap(width_, height_);
}

void IGraphics::SetEditorSize(int width, int height) {
  width_ = width;
  height_ = height;
  CreateDrawBitmap();
  if (!plug_) return;
  // The drawing context still points into the old back buffer's pixels, which are gone.
  plug_->BindDrawingContext();
  plug_->ResizeEditor(width, height);
}

bool IGraphics::CollectDirtyRect(ControlRect& rect) {
  bool any = false;
  for (IControl* c : controls_) {
    if (c->NeedsPaint()) {
      rect = rect.Union(c->Rect());
      any = true;
    }
  }
  return any;
}

bool IGraphics::RedrawRect(const ControlRect& rect) {
  if (controls_.empty()) return true;
  redrawRect_ = rect;
  for (IControl* c : controls_) {
    // rect first: the redraw reaches a control that begins exactly at its right or bottom edge.
    if (!c->IsHidden() && rect.Meets(c->Rect())) c->Paint(this);
    c->AfterPaint();
  }
  return PresentRect(rect);
}

// --- input -------------------------------------------------------------------------------------

int IGraphics::HitSearch(int x, int y) const {
  for (int i = NControls() - 1; i >= 0; --i) {
    IControl* c = controls_[i];
    if (c->IsDimmed() || c->IsHidden()) continue;
    if (c->HitTest(x, y)) return i;
  }
  return -1;
}

void IGraphics::ResetMouseState() {
  captureIndex_ = -1;
  hoverIndex_ = -1;
  lastMouseX_ = lastMouseY_ = -1;
}

void IGraphics::PressMouse(int x, int y, const MouseMods& mods) {
  lastMouseX_ = lastMouseY_ = -1;
  captureIndex_ = -1;
  const int i = HitSearch(x, y);
  if (i < 0) return;
  captureIndex_ = i;
  lastMouseX_ = x;
  lastMouseY_ = y;
  IControl* c = controls_[i];
  const int p = c->ParamIdx();
  if (viewContainer_ && p >= 0) {
    uint32_t flags = (mods.shift ? 1u : 0u) | (mods.alt ? 4u : 0u) | (mods.ctrl ? 8u : 0u) |
                     (mods.right ? 16u : 0u) | viewContainer_->CurrentModifiers();
    char id[16];
    snprintf(id, sizeof id, "%d", p + 1);
    if (viewContainer_->ParameterMouseDown(id, flags) == 0) return; // the host took it
  }
  if (p >= 0 && plug_) plug_->BeginParameterEdit(p);
  c->HandleMouseDown(x, y, mods);
}

void IGraphics::ReleaseMouse(int x, int y, const MouseMods& mods) {
  int i = captureIndex_;
  if (i < 0) i = HitSearch(x, y);
  lastMouseX_ = lastMouseY_ = -1;
  captureIndex_ = -1;
  if (i < 0) return;
  IControl* c = controls_[i];
  c->HandleMouseUp(x, y, mods);
  if (c->ParamIdx() >= 0 && plug_) plug_->EndParameterEdit(c->ParamIdx());
}

void IGraphics::DragMouse(int x, int y, const MouseMods& mods) {
  if (captureIndex_ < 0 || (x == lastMouseX_ && y == lastMouseY_)) return;
  const int dx = x - lastMouseX_, dy = y - lastMouseY_;
  lastMouseX_ = x;
  lastMouseY_ = y;
  controls_[captureIndex_]->HandleMouseDrag(x, y, dx, dy, mods);
}

bool IGraphics::DoubleClickMouse(int x, int y, const MouseMods& mods) {
  lastMouseX_ = lastMouseY_ = -1;
  captureIndex_ = -1;
  const int i = HitSearch(x, y);
  if (i < 0) return false;
  IControl* c = controls_[i];
  if (c->DoubleClickAsPress()) {
    captureIndex_ = i;
    lastMouseX_ = x;
    lastMouseY_ = y;
    c->HandleMouseDown(x, y, mods);
    return true;
  }
  c->HandleDoubleClick(x, y, mods);
  return false;
}

void IGraphics::TurnWheel(int x, int y, const MouseMods& mods, int notches) {
  const int i = captureIndex_ >= 0 ? captureIndex_ : HitSearch(x, y);
  if (i >= 0) controls_[i]->HandleWheel(x, y, mods, notches);
}

bool IGraphics::PressKey(int x, int y, int key) {
  const int i = captureIndex_ >= 0 ? captureIndex_ : HitSearch(x, y);
  // Index 0 is the background: keys over it go to the key catcher.
  if (i > 0) return controls_[i]->HandleKey(x, y, key);
  return keyCatcher_ ? keyCatcher_->HandleKey(x, y, key) : false;
}

bool IGraphics::HoverMouse(int x, int y, const MouseMods& mods) {
  if (!trackHover_) return false;
  int i = captureIndex_;
  if (i < 0) {
    for (int k = NControls() - 1; k >= 0; --k) {
      IControl* c = controls_[k];
      if (c->IsHidden() || (c->IsDimmed() && !c->HoverWhenDimmed())) continue;
      if (c->HitTest(x, y)) {
        i = k;
        break;
      }
    }
    if (i < 0) return true;
  }
  lastMouseX_ = x;
  lastMouseY_ = y;
  controls_[i]->HandleHover(x, y, mods);
  if (hoverIndex_ >= 0 && hoverIndex_ != i) controls_[hoverIndex_]->HandleHoverEnd();
  hoverIndex_ = i;
  return true;
}

void IGraphics::LeaveMouse() {
  for (IControl* c : controls_)
    c->HandleHoverEnd();
  hoverIndex_ = -1;
}

// --- prompts -----------------------------------------------------------------------------------

void IGraphics::AskForParamValue(IControl* control, IPlugParam* param, const ControlRect* rect) {
  if (!control || !param || !rect) return;
  const int n = param->DisplayTextCount();
  if (param->Type() == ParamType::Enum || (param->Type() == ParamType::Bool && n > 0)) {
    char current[kParamStringSize];
    param->FormatDisplay(param->Value(), false, current, sizeof current, true);
    PopupMenu menu;
    for (int i = 0; i < n; ++i) {
      const char* text = param->DisplayTextFor(i);
      menu.AddItem(text, strcmp(text, current) == 0 ? PopupMenuItem::Checked : 0);
    }
    // Item i stands for the plain value i.
    if (ShowPopupMenu(&menu, *rect) && menu.chosenIndex >= 0)
      control->ReceiveUserValue(param->NormalizeValue(menu.chosenIndex));
    return;
  }
  char text[kParamStringSize];
  param->FormatDisplay(param->Value(), false, text, sizeof text, false);
  ShowTextEntry(control, control->GetTextStyle(), *rect, text, param);
}

bool IGraphics::TextEntryAccepts(const IPlugParam* param, char c) {
  if (!param || c == '\b') return true;
  const bool digitOrSign = (c >= '0' && c <= '9') || c == '+' || c == '-';
  switch (param->Type()) {
  case ParamType::Bool:
  case ParamType::Int:
  case ParamType::Enum:
    return digitOrSign;
  case ParamType::Double:
    return digitOrSign || c == '.';
  default:
    return true;
  }
}

namespace {
// The leading decimal number of text ([+|-] digits [. digits] [e [+|-] digits]), 0 without one.
// Parsed without the C locale (a host may have set one with a decimal comma) and without the
// hexadecimal, "inf" and "nan" forms a general parser would accept.
double LeadingNumber(const char* text) {
  const char* p = text;
  while (*p == ' ' || *p == '\t')
    ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  const char* start = p;
  while (*p >= '0' && *p <= '9')
    ++p;
  bool digits = p > start;
  if (*p == '.') {
    const char* frac = ++p;
    while (*p >= '0' && *p <= '9')
      ++p;
    digits = digits || p > frac;
  }
  if (!digits) return 0.0;
  if (*p == 'e' || *p == 'E') {
    const char* e = p + 1;
    if (*e == '+' || *e == '-') ++e;
    if (*e >= '0' && *e <= '9') {
      p = e;
      while (*p >= '0' && *p <= '9')
        ++p;
    }
  }
  double v = 0.0;
  if (std::from_chars(start, p, v).ec == std::errc::result_out_of_range) {
    // Only an exponent can leave the double range in 31 characters: a negative one underflows.
    const char* e = start;
    while (e < p && *e != 'e' && *e != 'E')
      ++e;
    v = (e + 1 < p && e[1] == '-') ? 0.0 : HUGE_VAL;
  }
  return negative ? -v : v;
}
} // namespace

void IGraphics::ApplyEnteredText(IControl* control, IPlugParam* param, const char* text) {
  if (!control) return;
  char entered[kParamStringSize];
  CopyBounded(entered, sizeof entered, text); // at most 31 characters
  if (!param) {
    control->TakeEnteredText(entered);
    return;
  }
  double value = 0.0;
  if (param->Type() == ParamType::Bool || param->Type() == ParamType::Enum) {
    if (!param->LookupDisplayText(entered, &value)) value = 0.0;
  } else {
    value = LeadingNumber(entered);
  }
  // The press that opened the entry ended its gesture long ago: a change gets one of its own,
  // so that a host records it as an edit of the parameter. The same value changes nothing
  // (ReceiveUserValue compares with the control's value alike) and tells the host nothing.
  const double normalized = param->NormalizeValue(value);
  IPlugBase* plug = control->Plug();
  const int p = control->ParamIdx();
  const bool gesture = plug && p >= 0 && !(normalized == control->Value());
  if (gesture) plug->BeginParameterEdit(p);
  control->ReceiveUserValue(normalized);
  if (gesture) plug->EndParameterEdit(p);
}
