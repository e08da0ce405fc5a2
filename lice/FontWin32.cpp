// GDI text on Windows: fonts are GDI fonts; a string is drawn through GDI into the destination's
// device context, or composed from cached glyph coverage where GDI cannot draw it directly.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "lice/lice_text.h"

namespace {

// Shared by every font: [0] renders glyphs and reads metrics (white text on black, at least
// 256 x 256); [1] stands in for a destination without a device context.
LICE_SysBitmap* gScratch[2] = {nullptr, nullptr};

HDC ScratchDC(int which, int width, int height) {
  LICE_SysBitmap*& s = gScratch[which];
  const bool grow = !s || s->Width() < width || s->Height() < height;
  if (grow) {
    const int w = std::max(width, s ? s->Width() : 0), h = std::max(height, s ? s->Height() : 0);
    delete s;
    s = new LICE_SysBitmap(w, h);
  }
  HDC dc = static_cast<HDC>(s->DeviceContext());
  if (grow && dc && which == 0) {
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(0, 0, 0));
  }
  return dc;
}

COLORREF ToColorRef(LICE_pixel p) {
  return RGB(LICE_GETR(p), LICE_GETG(p), LICE_GETB(p));
}

bool HasMultiByte(const char* text, int length) {
  for (int i = 0; i < length; ++i)
    if (static_cast<unsigned char>(text[i]) >= 0x80) return true;
  return false;
}

// UTF-8 to UTF-16; invalid sequences fail (and then nothing is drawn).
bool Widen(const char* text, int length, std::wstring& out) {
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
  if (n <= 0) return false;
  out.resize(static_cast<size_t>(n));
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, out.data(), n) == n;
}

// Draws or measures with GDI into dc; the font is selected for the call and restored after.
int DrawWithGdi(HDC dc, HFONT font, const char* text, int length, RECT* r, UINT format) {
  HGDIOBJ old = SelectObject(dc, font);
  int result = 0;
  if (HasMultiByte(text, length)) {
    wchar_t fixed[1024];
    std::wstring heap;
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, fixed, 1024);
    if (n > 0)
      result = DrawTextW(dc, fixed, n, r, format);
    else if (Widen(text, length, heap))
      result = DrawTextW(dc, heap.data(), static_cast<int>(heap.size()), r, format);
  } else {
    result = DrawTextA(dc, text, length, r, format);
  }
  SelectObject(dc, old);
  return result;
}

// The code points of UTF-8 text; a byte that starts no valid sequence stands for itself.
std::vector<uint32_t> CodePoints(const char* text, int length) {
  std::vector<uint32_t> out;
  for (int i = 0; i < length;) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    uint32_t cp = extra ? (c & (0x3F >> extra)) : c;
    if (i + extra >= length) extra = 0, cp = c;
    for (int k = 1; k <= extra; ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    out.push_back(cp);
    i += extra + 1;
  }
  return out;
}

} // namespace

LICE_FontHandle LICE_CreateSystemFont(const LICE_FontSpec& s) {
  return CreateFontA(s.height, 0, s.tenthsOfDegree, s.tenthsOfDegree, s.weight, s.italic ? 1 : 0, 0,
                     0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                     static_cast<DWORD>(s.quality), DEFAULT_PITCH, s.face ? s.face : "");
}

void LICE_DestroySystemFont(LICE_FontHandle font) {
  if (font) DeleteObject(static_cast<HFONT>(font));
}

bool LICE_RunningUnderWine() {
  static const bool wine = [] {
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Wine", &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }();
  return wine;
}

void LICE_CachedFont::ReleaseHandle() {
  if ((flags_ & kFontOwnsHandle) && font_) DeleteObject(static_cast<HFONT>(font_));
  font_ = nullptr;
}

void LICE_CachedFont::ReleaseShared() {
  for (LICE_SysBitmap*& s : gScratch) {
    delete s;
    s = nullptr;
  }
}

void LICE_CachedFont::SetFont(LICE_FontHandle font, int32_t flags) {
  if ((flags_ & kFontOwnsHandle) && font_ && font_ != font) DeleteObject(static_cast<HFONT>(font_));
  flags_ = flags;
  font_ = font;
  lineHeight_ = 0;
  ClearGlyphs();
  if (!font) return;
  if (HDC dc = ScratchDC(0, 256, 256)) {
    HGDIOBJ old = SelectObject(dc, static_cast<HFONT>(font));
    TEXTMETRICA tm{};
    if (GetTextMetricsA(dc, &tm)) lineHeight_ = tm.tmHeight;
    SelectObject(dc, old);
  }
  if (flags & kFontPrerender)
    for (uint32_t c = 0; c < 128; ++c)
      GlyphFor(c);
}

int LICE_CachedFont::DrawString(LICE_IBitmap* bitmap, const char* text, int length,
                                ControlRect* rect, int32_t flags) {
  if (!text || !rect || !font_) return 0;
  if (!bitmap && !(flags & kDrawCalcRect)) return 0;
  const bool native = DrawsNative(flags);
  flags &= 0x7FFFFFFF; // the sign bit only forbade drawing directly
  if (length < 0) length = static_cast<int>(strlen(text));
  if (!native) return DrawCached(bitmap, text, length, rect, flags);

  const UINT format = static_cast<UINT>(flags | kDrawNoPrefix);
  RECT r{rect->left, rect->top, rect->right, rect->bottom};
  if (flags & kDrawCalcRect) {
    HDC dc = ScratchDC(0, 256, 256);
    const int h = dc ? DrawWithGdi(dc, static_cast<HFONT>(font_), text, length, &r, format) : 0;
    rect->right = r.right;
    rect->bottom = r.bottom;
    return h;
  }
  HDC dc = static_cast<HDC>(bitmap->DeviceContext());
  // A destination without a device context is served through the second scratch bitmap: the
  // covered area is copied in, drawn on and copied back.
  ControlRect area{0, 0, bitmap->Width(), bitmap->Height()};
  if (!(flags & kDrawNoClip)) area = area.Intersection(*rect);
  const bool through = !dc;
  if (through) {
    if (area.W() <= 0 || area.H() <= 0) return 0;
    dc = ScratchDC(1, std::max(4, area.W()), std::max(4, area.H()));
    if (!dc) return 0;
    BlitBitmap(gScratch[1], bitmap, 0, 0, &area, 1.0f, BlitCopy);
    OffsetRect(&r, -area.left, -area.top);
  }
  SetTextColor(dc, ToColorRef(textColor_));
  SetBkMode(dc, backgroundMode_ == 2 ? OPAQUE : TRANSPARENT);
  if (backgroundMode_ == 2) SetBkColor(dc, ToColorRef(backgroundColor_));
  const int h = DrawWithGdi(dc, static_cast<HFONT>(font_), text, length, &r, format);
  GdiFlush();
  if (through) {
    const ControlRect source{0, 0, area.W(), area.H()};
    BlitBitmap(bitmap, gScratch[1], area.left, area.top, &source, combineAlpha_, BlitCopy);
  }
  return h;
}

const LICE_CachedFont::Glyph* LICE_CachedFont::GlyphFor(uint32_t codepoint) {
  if (!font_ || codepoint > 0xFFFF) return nullptr;
  if (codepoint >= glyphs_.size()) glyphs_.resize(std::max<size_t>(codepoint + 1, 128));
  Glyph& g = glyphs_[codepoint];
  if (g.rendered) return &g;
  g.rendered = true;
  HDC dc = ScratchDC(0, 256, 256);
  if (!dc) return &g;
  HGDIOBJ old = SelectObject(dc, static_cast<HFONT>(font_));
  const wchar_t ch = static_cast<wchar_t>(codepoint);
  SIZE size{};
  GetTextExtentPoint32W(dc, &ch, 1, &size);
  g.advance = size.cx;
  // Room for ink that overhangs the advance (italics), within the scratch bitmap.
  g.width = std::min<int32_t>(size.cx + lineHeight_ / 2 + 1, 256);
  g.height = std::min<int32_t>(std::max<int32_t>(size.cy, lineHeight_), 256);
  PatBlt(dc, 0, 0, g.width, g.height, BLACKNESS);
  TextOutW(dc, 0, 0, &ch, 1);
  GdiFlush();
  SelectObject(dc, old);
  g.coverage.assign(static_cast<size_t>(g.width) * static_cast<size_t>(g.height), 0);
  const LICE_pixel* px = gScratch[0]->PixelData();
  const int row = gScratch[0]->PixelsPerRow();
  for (int y = 0; y < g.height; ++y)
    for (int x = 0; x < g.width; ++x) {
      const LICE_pixel p = px[y * row + x];
      g.coverage[static_cast<size_t>(y) * g.width + x] =
          static_cast<uint8_t>(std::max({LICE_GETR(p), LICE_GETG(p), LICE_GETB(p)}));
    }
  return &g;
}

int LICE_CachedFont::DrawCached(LICE_IBitmap* bitmap, const char* text, int length,
                                ControlRect* rect, int32_t flags) {
  const std::vector<uint32_t> cps = CodePoints(text, length);
  // Every glyph is rendered before any is held: rendering one may grow glyphs_, which moves the
  // others.
  for (uint32_t cp : cps)
    GlyphFor(cp);
  std::vector<const Glyph*> glyphs;
  int width = 0;
  for (uint32_t cp : cps) {
    const Glyph* g = GlyphFor(cp);
    glyphs.push_back(g);
    if (g) width += g->advance;
  }
  const int height = lineHeight_;
  if (flags & kDrawCalcRect) {
    rect->right = rect->left + width;
    rect->bottom = rect->top + height;
    return height;
  }
  if (!bitmap || !bitmap->PixelData()) return 0;
  int x = rect->left, y = rect->top;
  if (flags & kDrawCenter)
    x = rect->left + (rect->W() - width) / 2;
  else if (flags & kDrawRight)
    x = rect->right - width;
  if (flags & kDrawBottom)
    y = rect->bottom - height;
  else if (flags & kDrawVCenter)
    y = rect->top + (rect->H() - height) / 2;
  ControlRect clip{0, 0, bitmap->Width(), bitmap->Height()};
  if (!(flags & kDrawNoClip)) clip = clip.Intersection(*rect);

  LICE_pixel* px = bitmap->PixelData();
  const int row = bitmap->PixelsPerRow();
  const double colorAlpha = (flags & kDrawUseAlpha) ? LICE_GETA(textColor_) / 255.0 : 1.0;
  const double weight = std::clamp(static_cast<double>(combineAlpha_), 0.0, 1.0) * colorAlpha;
  auto blend = [&](int px0, int py, double a, LICE_pixel color) {
    if (px0 < clip.left || px0 >= clip.right || py < clip.top || py >= clip.bottom || a <= 0)
      return;
    LICE_pixel& d = px[py * row + px0];
    auto mix = [a](int dc, int sc) { return static_cast<int>(dc + (sc - dc) * a + 0.5); };
    const int outA = static_cast<int>(a * 255 + LICE_GETA(d) * (1.0 - a) + 0.5);
    d = LICE_RGBA(mix(LICE_GETR(d), LICE_GETR(color)), mix(LICE_GETG(d), LICE_GETG(color)),
                  mix(LICE_GETB(d), LICE_GETB(color)), outA);
  };
  if (backgroundMode_ == 2)
    for (int py = y; py < y + height; ++py)
      for (int px0 = x; px0 < x + width; ++px0)
        blend(px0, py, std::clamp(static_cast<double>(combineAlpha_), 0.0, 1.0), backgroundColor_);
  for (const Glyph* g : glyphs) {
    if (!g) continue;
    for (int gy = 0; gy < g->height; ++gy)
      for (int gx = 0; gx < g->width; ++gx)
        if (const uint8_t c = g->coverage[static_cast<size_t>(gy) * g->width + gx])
          blend(x + gx, y + gy, c / 255.0 * weight, textColor_);
    x += g->advance;
  }
  return height;
}
