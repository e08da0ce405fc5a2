#pragma once
// The cairo drawing layer. One ycairo_context per plug-in instance wraps the editor's back
// buffer in a cairo image surface, so that cairo and the bitmap routines draw into one set of
// pixels with no copy between them. Every cairo-drawn control carries two base parts:
// ycairo_gui (clips the shared context to the control while it draws) and ycairo_text (owns a
// FreeType face read from the module's font resource in place, and draws one aligned string).
//
// Threads: the context is created and destroyed with the plug-in instance; binding happens in
// AttachEditor under the instance mutex; clipping and drawing run on the editor's user-interface
// thread, one control at a time.

#include <cstddef>
#include <cstdint>

#include <cairo.h>

#include "igraphics/IGraphicsStructs.h"

class IControl;
class IGraphics;
class IPlugBase;
class LICE_IBitmap;
typedef struct FT_LibraryRec_* FT_Library;
typedef struct FT_FaceRec_* FT_Face;

enum class TextHAlign : int32_t {
  Left = 0,   // the text origin lies on the rectangle's left edge
  Right = 1,  // the ink ends on the right edge
  Center = 2, // the ink is centred
};

enum class TextVAlign : int32_t {
  Middle = 0, // the font's height is centred: every string shares one baseline
  Top = 1,
  Bottom = 2,
};

// The instance's cairo surface and context over the editor's back buffer. Owned by the plug-in
// base, which destroys it after the editor: destroying the surface never touches the pixels.
class ycairo_context {
public:
  explicit ycairo_context(IPlugBase* owner);
  ~ycairo_context();
  ycairo_context(const ycairo_context&) = delete;
  ycairo_context& operator=(const ycairo_context&) = delete;

  // The module whose resources the controls' fonts come from.
  void SetModuleInstance(void* module) { moduleInstance = module; }
  void* ModuleInstance() const { return moduleInstance; }

  // Wraps the editor's back buffer (no copy) and fills it with the background colour; a
  // previous binding is released first. An editor without a back buffer leaves it unbound.
  void BindToBitmap(IGraphics* editor);
  // The same over any bitmap in the system's pixel format; the bitmap must outlive the binding.
  void Bind(LICE_IBitmap* bitmap);
  // Destroys the cairo context and the surface (the pixels stay as they are).
  void Release();

  cairo_surface_t* Surface() const { return surface; }
  cairo_t* CairoContext() const { return cairoContext; }
  int32_t Width() const { return width; }
  int32_t Height() const { return height; }
  IPlugBase* Owner() const { return owner; }

  // R, G, B in 0..1 with which binding fills the surface; the background image covers it.
  double background[3] = {0.0, 0.0, 0.0};

private:
  cairo_surface_t* surface = nullptr;
  cairo_t* cairoContext = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  IPlugBase* owner;
  void* moduleInstance = nullptr;
};

// Base part of a cairo-drawn control: the shared context, clipped to the control during a draw.
class ycairo_gui {
public:
  // Clips to control's drawing rectangle; control is the owner of this part.
  ycairo_gui(ycairo_context* context, IControl* control);

  // Begins a draw: takes the shared context afresh and clips it to the control's rectangle.
  void ClipToControl();
  // Ends a draw: no clip stays on the shared context.
  void ResetClip();

protected:
  const ControlRect* rect;
  ycairo_context* drawingContext; // not owned
  cairo_surface_t* surface = nullptr;
  cairo_t* cairoContext = nullptr; // the context the control draws with; null when unbound
  IControl* control;
};

// Base part of a cairo-drawn control: a TrueType face from the module's resources and the
// drawing of one aligned string with it.
class ycairo_text {
public:
  explicit ycairo_text(ycairo_context* context);
  ~ycairo_text();
  ycairo_text(const ycairo_text&) = delete;
  ycairo_text& operator=(const ycairo_text&) = delete;

  // Loads the font resource of the given id and type from the module, read by FreeType in place
  // (the module keeps the bytes for its lifetime). Returns FreeType's error code, 0 on success;
  // after a failure no font is loaded and RenderText draws nothing. name is not used.
  int LoadFontResource(int resourceId, int resourceType, const char* name);
  // The same over font bytes in memory that outlive every draw with this part.
  int LoadFontMemory(const void* data, size_t size);
  bool FontLoaded() const { return fontLoaded; }

  // Draws text (NUL-terminated UTF-8) at size pixels in colour, aligned inside rect. Nothing is
  // drawn without a font or a context.
  void RenderText(cairo_t* cr, const char* text, double size, const ControlColor& colour,
                  const ControlRect& drawRect, TextHAlign hAlign, TextVAlign vAlign);

  // Extents measured by the last RenderText.
  const cairo_text_extents_t& TextExtents() const { return *textExtents; }
  const cairo_font_extents_t& FontExtents() const { return *fontExtents; }
  // Origin (x, baseline y) at which the last RenderText started the string.
  double LastOriginX() const { return originX; }
  double LastOriginY() const { return originY; }

protected:
  const char* text = ""; // the caller's string during a draw, "" outside one
  ControlRect rect;      // rectangle of the last draw
  TextHAlign hAlign = TextHAlign::Left;
  TextVAlign vAlign = TextVAlign::Middle;
  cairo_font_face_t* fontFace = nullptr; // made and destroyed within each draw
  cairo_text_extents_t* textExtents;
  cairo_font_extents_t* fontExtents;
  FT_Library ftLibrary = nullptr;
  FT_Face ftFace = nullptr;
  bool fontLoaded = false;
  void* moduleInstance;

private:
  void UnloadFont();

  // Our reference to the cairo font face over ftFace. cairo's font caches may keep the face
  // after the control is gone, so the FreeType objects are released when cairo drops its last
  // reference, not in our destructor.
  cairo_font_face_t* keptFace = nullptr;
  double originX = 0.0, originY = 0.0;
};
