#pragma once
// Text in a system (GDI) font drawn onto bitmaps. On Windows a font is a GDI font: a string is
// drawn through GDI into the bitmap's device context, or composed from cached glyphs where GDI
// cannot draw it directly. Other builds have no system fonts: LICE_CreateSystemFont answers null
// and nothing is drawn or measured.
//
// Threads: fonts and their shared scratch bitmaps belong to the editor's user-interface thread.

#include <cstdint>
#include <memory>
#include <vector>

#include "lice/lice.h"

using LICE_FontHandle = void*; // an HFONT on Windows

// What a system font is made of (the fields of a Windows LOGFONT that matter here).
struct LICE_FontSpec {
  int32_t height = 12;        // character height in pixels
  int32_t tenthsOfDegree = 0; // escapement and orientation
  int32_t weight = 400;       // 700 bold
  bool italic = false;
  int32_t quality =
      0; // Windows output quality: 0 default, 3 non-antialiased, 4 antialiased, 5 ClearType
  const char* face = "Arial";
};

// A new system font, owned by the caller (or by a LICE_CachedFont given it with
// kFontOwnsHandle); null without system fonts or when none can be made.
LICE_FontHandle LICE_CreateSystemFont(const LICE_FontSpec& spec);
void LICE_DestroySystemFont(LICE_FontHandle font);

// Font flags.
constexpr int32_t kFontPrerender = 0x4;    // render characters 0 to 127 when the font is set
constexpr int32_t kFontOwnsHandle = 0x200; // the handle is deleted with the font or when replaced
constexpr int32_t kFontDrawNative = 0x400; // draw through GDI directly when possible
constexpr int32_t kFontNativeBlockers = 0x1F7; // flags under which GDI never draws directly

// Draw flags: the Windows DrawText flags used here, plus kDrawUseAlpha.
constexpr int32_t kDrawCenter = 0x1;
constexpr int32_t kDrawRight = 0x2;
constexpr int32_t kDrawVCenter = 0x4;
constexpr int32_t kDrawBottom = 0x8;
constexpr int32_t kDrawSingleLine = 0x20;
constexpr int32_t kDrawNoClip = 0x100;
constexpr int32_t kDrawCalcRect = 0x400;
constexpr int32_t kDrawNoPrefix = 0x800;
constexpr int32_t kDrawUseAlpha = 0x40000000; // compose with the text colour's alpha

class LICE_IFont {
public:
  virtual ~LICE_IFont() = default;
  virtual void SetFont(LICE_FontHandle font, int32_t flags) = 0;
  virtual LICE_pixel SetFontColor(LICE_pixel color) = 0;       // returns the previous one
  virtual LICE_pixel SetBackgroundColor(LICE_pixel color) = 0; // returns the previous one
  virtual LICE_pixel SetEffectColor(LICE_pixel color) = 0;     // returns the previous one
  virtual int32_t SetBackgroundMode(int32_t mode) = 0; // 1 transparent, 2 opaque; the previous
  virtual void SetCombine(int32_t blitMode, float alpha) = 0;
  // Draws text (UTF-8; length -1: up to the NUL) into rect of bitmap with the draw flags, or only
  // measures it into rect with kDrawCalcRect (bitmap may then be null). Returns the height of
  // what was drawn or measured, as GDI's DrawText does; 0 when nothing could be done.
  virtual int DrawString(LICE_IBitmap* bitmap, const char* text, int length, ControlRect* rect,
                         int32_t flags) = 0;
  virtual LICE_pixel FontColor() const = 0;
  virtual LICE_FontHandle FontHandle() const = 0;
  virtual int LineHeight() const = 0;
};

class LICE_CachedFont : public LICE_IFont {
public:
  LICE_CachedFont();
  ~LICE_CachedFont() override;
  LICE_CachedFont(const LICE_CachedFont&) = delete;
  LICE_CachedFont& operator=(const LICE_CachedFont&) = delete;

  void SetFont(LICE_FontHandle font, int32_t flags) override;
  LICE_pixel SetFontColor(LICE_pixel color) override;
  LICE_pixel SetBackgroundColor(LICE_pixel color) override;
  LICE_pixel SetEffectColor(LICE_pixel color) override;
  int32_t SetBackgroundMode(int32_t mode) override;
  void SetCombine(int32_t blitMode, float alpha) override;
  int DrawString(LICE_IBitmap* bitmap, const char* text, int length, ControlRect* rect,
                 int32_t flags) override;
  LICE_pixel FontColor() const override { return textColor_; }
  LICE_FontHandle FontHandle() const override { return font_; }
  int LineHeight() const override { return lineHeight_; }

  // Draws or measures through the glyph cache: each character is rendered through GDI once and
  // kept as coverage, then composed in the text colour. What DrawString uses where GDI cannot
  // draw directly (under Wine, with the colour's alpha, or for lines taller than 255 pixels).
  virtual int DrawCached(LICE_IBitmap* bitmap, const char* text, int length, ControlRect* rect,
                         int32_t flags);

  // Whether DrawString would draw through GDI directly with these draw flags.
  bool DrawsNative(int32_t flags) const;
  // The fonts alive in the process (their scratch bitmaps live as long as one does).
  static int LiveFonts();

private:
  struct Glyph {
    int32_t advance = 0, width = 0, height = 0;
    std::vector<uint8_t> coverage; // width x height, 255 full ink
    bool rendered = false;
  };
  // The glyph of codepoint, rendered on first use; null without a font or beyond U+FFFF. Valid
  // only until the next call, which may grow glyphs_ and move every glyph.
  const Glyph* GlyphFor(uint32_t codepoint);
  void ClearGlyphs();
  // The platform's halves: the handle given up (when owned), and the shared scratch bitmaps
  // destroyed together with the last font.
  void ReleaseHandle();
  static void ReleaseShared();

  LICE_pixel textColor_ = 0;
  LICE_pixel backgroundColor_ = 0xFFFFFFFF;
  LICE_pixel effectColor_ = 0xFFFFFFFF;
  int32_t backgroundMode_ = 1;
  int32_t combineMode_ = 0;
  float combineAlpha_ = 1.0f;
  int32_t flags_ = 0;
  int32_t lineHeight_ = 0;
  LICE_FontHandle font_ = nullptr;
  std::vector<Glyph> glyphs_; // by code point, grown on demand
};

// Whether the process runs under Wine (probed once, on Windows only; false elsewhere).
bool LICE_RunningUnderWine();
