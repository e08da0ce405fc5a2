// The parts of LICE_CachedFont every build shares: its colours and modes, and the count of live
// fonts that keeps the shared scratch bitmaps (FontWin32.cpp) alive.
#include <atomic>

#include "lice/lice_text.h"

namespace {
std::atomic<int> gLiveFonts{0};
} // namespace

LICE_CachedFont::LICE_CachedFont() {
  gLiveFonts.fetch_add(1);
}

int LICE_CachedFont::LiveFonts() {
  return gLiveFonts.load();
}

LICE_pixel LICE_CachedFont::SetFontColor(LICE_pixel color) {
  const LICE_pixel previous = textColor_;
  textColor_ = color;
  return previous;
}

LICE_pixel LICE_CachedFont::SetBackgroundColor(LICE_pixel color) {
  const LICE_pixel previous = backgroundColor_;
  backgroundColor_ = color;
  return previous;
}

LICE_pixel LICE_CachedFont::SetEffectColor(LICE_pixel color) {
  const LICE_pixel previous = effectColor_;
  effectColor_ = color;
  return previous;
}

int32_t LICE_CachedFont::SetBackgroundMode(int32_t mode) {
  const int32_t previous = backgroundMode_;
  backgroundMode_ = mode;
  return previous;
}

void LICE_CachedFont::SetCombine(int32_t blitMode, float alpha) {
  combineMode_ = blitMode;
  combineAlpha_ = alpha;
}

bool LICE_CachedFont::DrawsNative(int32_t flags) const {
  if (lineHeight_ > 255) return true; // too tall for the glyph cache
  return (flags_ & kFontDrawNative) && flags >= 0 && font_ && !LICE_RunningUnderWine() &&
         !(flags & kDrawUseAlpha) && !(flags_ & kFontNativeBlockers);
}

void LICE_CachedFont::ClearGlyphs() {
  glyphs_.clear();
}

LICE_CachedFont::~LICE_CachedFont() {
  ReleaseHandle();
  if (gLiveFonts.fetch_sub(1) == 1) ReleaseShared();
}
