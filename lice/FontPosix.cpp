// Builds without system fonts: no font can be made, and a font without a handle draws and
// measures nothing.
#include "lice/lice_text.h"

LICE_FontHandle LICE_CreateSystemFont(const LICE_FontSpec&) {
  return nullptr;
}

void LICE_DestroySystemFont(LICE_FontHandle) {}

bool LICE_RunningUnderWine() {
  return false;
}

void LICE_CachedFont::ReleaseHandle() {}

void LICE_CachedFont::ReleaseShared() {}

void LICE_CachedFont::SetFont(LICE_FontHandle font, int32_t flags) {
  flags_ = flags;
  font_ = font;
  lineHeight_ = 0;
  ClearGlyphs();
}

int LICE_CachedFont::DrawString(LICE_IBitmap*, const char*, int, ControlRect*, int32_t) {
  return 0;
}

int LICE_CachedFont::DrawCached(LICE_IBitmap*, const char*, int, ControlRect*, int32_t) {
  return 0;
}

const LICE_CachedFont::Glyph* LICE_CachedFont::GlyphFor(uint32_t) {
  return nullptr;
}
