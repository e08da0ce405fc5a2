#include "ycairo/ycairo.h"

#include <cstring>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <cairo-ft.h>

#include "igraphics/IControl.h"
#include "igraphics/IGraphics.h"
#include "iplug/IPlugBase.h"
#include "lice/lice.h"
#include "os/Resources.h"

namespace {

// Identifies our user data on the cairo font faces; only its address matters.
const cairo_user_data_key_t kFreeTypeOwnerKey = {};

void DestroyContext(ycairo_context* context) {
  delete context;
}

void BindContext(ycairo_context* context, IGraphics* editor) {
  context->BindToBitmap(editor);
}

bool SnapshotEditor(IGraphics* editor, uint32_t* pixels, int width, int height, int rowPixels) {
  LICE_IBitmap* back = editor->GetDrawBitmap();
  const int w = editor->Width(), h = editor->Height();
  if (!back || !back->PixelData() || back->Width() < w || back->Height() < h || !pixels ||
      width < w || height < h || rowPixels < w)
    return false;
  // An open window's frame is painted on the user-interface thread only: the caller gets what
  // it last showed.
  if (editor->CopyPresentedFrame(pixels, width, height, rowPixels)) return true;
  editor->RedrawRect({0, 0, w, h});
  const LICE_pixel* src = back->PixelData();
  for (int y = 0; y < h; ++y)
    memcpy(pixels + static_cast<size_t>(y) * static_cast<size_t>(rowPixels),
           src + static_cast<size_t>(y) * static_cast<size_t>(back->PixelsPerRow()),
           sizeof(uint32_t) * static_cast<size_t>(w));
  return true;
}

// cairo's static Windows build initialises its global locks lazily, in the constructors of
// surfaces, patterns and font faces; its FreeType font map takes one of them before any of those
// ran, and an uninitialised critical section never opens. Creating one pattern first, once per
// process (under the static's own guard), puts the locks in place.
void EnsureCairoLocksReady() {
  static const bool ready = [] {
    cairo_pattern_destroy(cairo_pattern_create_rgb(0.0, 0.0, 0.0));
    return true;
  }();
  (void)ready;
}

const DrawingContextEntryPoints kEntryPoints = {&DestroyContext, &BindContext, &SnapshotEditor};

} // namespace

// --- ycairo_context ------------------------------------------------------------------------------

ycairo_context::ycairo_context(IPlugBase* owner) : owner(owner) {
  IPlugBase::InstallDrawingContextEntryPoints(&kEntryPoints);
}

ycairo_context::~ycairo_context() {
  Release();
}

void ycairo_context::Release() {
  if (cairoContext) cairo_destroy(cairoContext);
  if (surface) cairo_surface_destroy(surface);
  cairoContext = nullptr;
  surface = nullptr;
}

void ycairo_context::BindToBitmap(IGraphics* editor) {
  Bind(editor ? editor->GetDrawBitmap() : nullptr);
}

void ycairo_context::Bind(LICE_IBitmap* bitmap) {
  Release();
  width = height = 0;
  if (!bitmap || !bitmap->PixelData() || bitmap->Width() <= 0 || bitmap->Height() <= 0) return;
  width = bitmap->Width();
  height = bitmap->Height();
  // RGB24 is a native 32-bit pixel with R in bits 16-23, G in 8-15 and B in 0-7: the bitmaps'
  // own layout. cairo treats the back buffer as opaque, which it is, and never reads its alpha
  // byte as premultiplied.
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, bitmap->PixelsPerRow());
  surface =
      cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(bitmap->PixelData()),
                                          CAIRO_FORMAT_RGB24, width, height, stride);
  cairoContext = cairo_create(surface);
  cairo_set_source_rgb(cairoContext, background[0], background[1], background[2]);
  cairo_rectangle(cairoContext, 0, 0, width, height);
  cairo_fill(cairoContext);
}

// --- ycairo_gui --------------------------------------------------------------------------------

ycairo_gui::ycairo_gui(ycairo_context* context, IControl* control)
    : rect(&control->Rect()), drawingContext(context), control(control) {}

void ycairo_gui::ClipToControl() {
  surface = drawingContext ? drawingContext->Surface() : nullptr;
  cairoContext = drawingContext ? drawingContext->CairoContext() : nullptr;
  if (!cairoContext) return;
  cairo_new_path(cairoContext);
  cairo_rectangle(cairoContext, rect->left, rect->top, rect->right - rect->left,
                  rect->bottom - rect->top);
  cairo_clip(cairoContext);
}

void ycairo_gui::ResetClip() {
  if (cairoContext) cairo_reset_clip(cairoContext);
}

// --- ycairo_text -------------------------------------------------------------------------------

ycairo_text::ycairo_text(ycairo_context* context)
    : textExtents(new cairo_text_extents_t{}), fontExtents(new cairo_font_extents_t{}),
      moduleInstance(context ? context->ModuleInstance() : nullptr) {}

ycairo_text::~ycairo_text() {
  delete textExtents;
  delete fontExtents;
  UnloadFont();
}

void ycairo_text::UnloadFont() {
  if (!fontLoaded) return;
  fontLoaded = false;
  // Releases the FreeType face and library now, or later when cairo's font caches let go.
  cairo_font_face_destroy(keptFace);
  keptFace = nullptr;
  ftFace = nullptr;
  ftLibrary = nullptr;
}

int ycairo_text::LoadFontResource(int resourceId, int resourceType, const char*) {
  zt::os::ResourceBytes bytes;
  if (!zt::os::FindModuleResource(moduleInstance, resourceId,
                                  zt::os::ResourceType::Numbered(resourceType), bytes)) {
    UnloadFont();
    return FT_Err_Cannot_Open_Resource;
  }
  return LoadFontMemory(bytes.data, bytes.size);
}

int ycairo_text::LoadFontMemory(const void* data, size_t size) {
  UnloadFont();
  EnsureCairoLocksReady();
  FT_Library library = nullptr;
  if (FT_Error err = FT_Init_FreeType(&library)) return err;
  FT_Face face = nullptr;
  const FT_Error err = FT_New_Memory_Face(library, static_cast<const FT_Byte*>(data),
                                          static_cast<FT_Long>(size), 0, &face);
  if (err) {
    FT_Done_FreeType(library);
    return err;
  }
  // cairo may use the face after this part is destroyed (its scaled-font cache keeps recently
  // used fonts), so the face's library is freed when cairo drops the font face for good. The
  // destroy function is FreeType's own, so it stays callable even after this module is gone.
  cairo_font_face_t* kept = cairo_ft_font_face_create_for_ft_face(face, 0);
  if (cairo_font_face_status(kept) != CAIRO_STATUS_SUCCESS ||
      cairo_font_face_set_user_data(kept, &kFreeTypeOwnerKey, library,
                                    reinterpret_cast<cairo_destroy_func_t>(
                                        reinterpret_cast<void (*)()>(&FT_Done_FreeType))) !=
          CAIRO_STATUS_SUCCESS) {
    cairo_font_face_destroy(kept);
    FT_Done_FreeType(library); // also frees the face
    return FT_Err_Out_Of_Memory;
  }
  ftLibrary = library;
  ftFace = face;
  keptFace = kept;
  fontLoaded = true;
  return 0;
}

void ycairo_text::RenderText(cairo_t* cr, const char* str, double size, const ControlColor& colour,
                             const ControlRect& drawRect, TextHAlign h, TextVAlign v) {
  if (!cr || !fontLoaded || !str) return;
  cairo_set_source_rgba(cr, colour.R / 255.0, colour.G / 255.0, colour.B / 255.0, colour.A / 255.0);
  // The same font face object as keptFace, referenced once more for this draw.
  fontFace = cairo_ft_font_face_create_for_ft_face(ftFace, 0);
  cairo_set_font_face(cr, fontFace);
  cairo_set_font_size(cr, size);
  text = str;
  rect = drawRect;
  hAlign = h;
  vAlign = v;
  cairo_font_extents(cr, fontExtents);
  cairo_text_extents(cr, str, textExtents);

  const double l = drawRect.left, t = drawRect.top, r = drawRect.right, b = drawRect.bottom;
  double x;
  switch (h) {
  case TextHAlign::Right:
    x = r - textExtents->width - textExtents->x_bearing;
    break;
  case TextHAlign::Center:
    x = static_cast<double>(drawRect.right - drawRect.left) - textExtents->width -
        textExtents->x_bearing;
    x = x * 0.5 + l;
    break;
  default:
    x = l;
    break;
  }
  double y;
  switch (v) {
  case TextVAlign::Top:
    y = t + fontExtents->ascent;
    break;
  case TextVAlign::Bottom:
    y = b - fontExtents->descent;
    break;
  default:
    y = b - (static_cast<double>(drawRect.bottom - drawRect.top) - fontExtents->height) * 0.5 -
        fontExtents->descent;
    break;
  }
  originX = x;
  originY = y;
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, str);
  cairo_font_face_destroy(fontFace);
  fontFace = nullptr;
  text = ""; // the caller's string lives only as long as this draw
}
