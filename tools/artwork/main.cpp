// zt-artwork: draws the editors' images with cairo.
//
// Run by hand after changing the artwork, then commit the PNGs it wrote; the build embeds the
// committed files and never runs this program:
//
//   cmake --build build/release --target zt-artwork
//   build/release/tools/artwork/zt-artwork resources [preview.png]
//
// It reads resources/readout-font.ttf (the font the editor's text controls use, so labels and
// read-outs match) and writes resources/img/bkg.png (256 x 300) and the three switch images
// analyze-btn.png, normalize-btn.png and bypass-btn.png (100 x 64: frame 0 "off" on top, frame 1
// "on" below), and for the sender's editor send-bkg.png (256 x 240) and send-btn.png, all 8-bit
// RGBA, not interlaced. With a second argument it also writes a preview of the receiver's panel:
// the panel with every switch off (left) and on (right), with sample texts where the editor's
// code draws them, to check alignment.
//
// Coordinates that must agree with the editor layout: target field (172,25)-(242,55), read-outs
// (15,159)-(115,209) and (140,159)-(240,209), version label (178,280)-(236,300), switches at
// (144,60), (144,98) and (78,217); for the sender see DrawSendBackground. Those areas are left
// dark for the code to draw into.
#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lice/lice.h"

namespace {

constexpr int kWidth = 256, kHeight = 300;
constexpr int kButtonWidth = 100, kButtonHeight = 32;

struct Rgb {
  double r, g, b;
};
constexpr Rgb Hex(uint32_t v) {
  return {((v >> 16) & 0xFF) / 255.0, ((v >> 8) & 0xFF) / 255.0, (v & 0xFF) / 255.0};
}

constexpr Rgb kAmber = Hex(0xFFCD40); // the read-outs' colour
constexpr Rgb kLabel = Hex(0xD5DAE1);
constexpr Rgb kDimLabel = Hex(0x8E959F);

cairo_font_face_t* gFont = nullptr;

void SetColor(cairo_t* cr, Rgb c, double alpha = 1.0) {
  cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

enum class Align { Left, Center, Right };

// Text on a baseline; `tracking` adds space between letters, as engraved panel lettering has.
double TextWidth(cairo_t* cr, const char* text, double size, double tracking) {
  cairo_set_font_face(cr, gFont);
  cairo_set_font_size(cr, size);
  cairo_text_extents_t e;
  cairo_text_extents(cr, text, &e);
  size_t letters = 0;
  for (const char* p = text; *p; ++p)
    letters += (static_cast<unsigned char>(*p) & 0xC0) != 0x80;
  return e.x_advance + tracking * (letters ? letters - 1 : 0);
}

void Text(cairo_t* cr, const char* text, double x, double baseline, double size, Rgb color,
          Align align = Align::Left, double tracking = 0.0, double alpha = 1.0) {
  const double width = TextWidth(cr, text, size, tracking);
  if (align == Align::Center) x -= width / 2;
  if (align == Align::Right) x -= width;
  SetColor(cr, color, alpha);
  // One UTF-8 sequence at a time, so that tracking can go between the letters.
  for (const char* p = text; *p;) {
    std::string one(1, *p++);
    while ((static_cast<unsigned char>(*p) & 0xC0) == 0x80)
      one += *p++;
    cairo_move_to(cr, x, baseline);
    cairo_show_text(cr, one.c_str());
    cairo_text_extents_t e;
    cairo_text_extents(cr, one.c_str(), &e);
    x += e.x_advance + tracking;
  }
  cairo_new_path(cr);
}

// Engraved text: a dark shadow one pixel below, as if cut into the panel.
void EngravedText(cairo_t* cr, const char* text, double x, double baseline, double size, Rgb color,
                  Align align = Align::Left, double tracking = 0.0) {
  Text(cr, text, x, baseline + 1, size, Hex(0x000000), align, tracking, 0.6);
  Text(cr, text, x, baseline, size, color, align, tracking);
}

// A recessed well: dark inside, shadowed top edge, a light lip along the bottom and right.
void Well(cairo_t* cr, double x0, double y0, double x1, double y1, Rgb fill) {
  const double w = x1 - x0, h = y1 - y0;
  // Outer lip: light below-right, dark above-left.
  cairo_set_line_width(cr, 1.0);
  cairo_move_to(cr, x0 - 0.5, y1 + 0.5);
  cairo_line_to(cr, x1 + 0.5, y1 + 0.5);
  cairo_line_to(cr, x1 + 0.5, y0 - 0.5);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.16);
  cairo_stroke(cr);
  cairo_move_to(cr, x0 - 0.5, y1 + 0.5);
  cairo_line_to(cr, x0 - 0.5, y0 - 0.5);
  cairo_line_to(cr, x1 + 0.5, y0 - 0.5);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.55);
  cairo_stroke(cr);
  // Inside.
  cairo_rectangle(cr, x0, y0, w, h);
  SetColor(cr, fill);
  cairo_fill(cr);
  cairo_pattern_t* shade = cairo_pattern_create_linear(0, y0, 0, y0 + 6);
  cairo_pattern_add_color_stop_rgba(shade, 0, 0, 0, 0, 0.55);
  cairo_pattern_add_color_stop_rgba(shade, 1, 0, 0, 0, 0.0);
  cairo_rectangle(cr, x0, y0, w, 6);
  cairo_set_source(cr, shade);
  cairo_fill(cr);
  cairo_pattern_destroy(shade);
  // Inner frame line.
  cairo_rectangle(cr, x0 + 0.5, y0 + 0.5, w - 1, h - 1);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.9);
  cairo_stroke(cr);
}

// A shallow engraved group panel.
void Group(cairo_t* cr, double x, double y, double w, double h) {
  RoundedRect(cr, x + 0.5, y + 0.5, w - 1, h - 1, 6);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.16);
  cairo_fill_preserve(cr);
  cairo_set_line_width(cr, 1.0);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
  cairo_stroke(cr);
  RoundedRect(cr, x + 1.5, y + 1.5, w - 3, h - 3, 5);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.05);
  cairo_stroke(cr);
}

void StepBadge(cairo_t* cr, double cx, double cy, const char* number) {
  cairo_new_path(cr);
  cairo_arc(cr, cx, cy, 7.5, 0, 2 * M_PI);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
  cairo_fill_preserve(cr);
  cairo_set_line_width(cr, 1.2);
  SetColor(cr, kAmber, 0.85);
  cairo_stroke(cr);
  Text(cr, number, cx, cy + 3.6, 10, kAmber, Align::Center);
}

// Dark anodised metal, lighter at the top, with a brushed grain and a bevelled border.
void DrawPanel(cairo_t* cr, int width, int height) {
  cairo_pattern_t* base = cairo_pattern_create_linear(0, 0, 0, height);
  cairo_pattern_add_color_stop_rgb(base, 0.0, 0.215, 0.230, 0.255);
  cairo_pattern_add_color_stop_rgb(base, 1.0, 0.110, 0.118, 0.133);
  cairo_rectangle(cr, 0, 0, width, height);
  cairo_set_source(cr, base);
  cairo_fill(cr);
  cairo_pattern_destroy(base);

  // Faint horizontal streaks from a fixed sequence, so every run draws the same.
  uint32_t seed = 0x2545F491u;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) / 16777216.0;
  };
  cairo_set_line_width(cr, 1.0);
  for (int y = 0; y < height; ++y) {
    for (int streak = 0; streak < 3; ++streak) {
      const double x = next() * width, length = 20 + next() * 90, alpha = next() * 0.035;
      const bool light = next() < 0.5;
      cairo_move_to(cr, x, y + 0.5);
      cairo_line_to(cr, x + length, y + 0.5);
      cairo_set_source_rgba(cr, light, light, light, alpha);
      cairo_stroke(cr);
    }
  }

  // Amber accent along the top edge, then the border.
  cairo_rectangle(cr, 0, 0, width, 2);
  SetColor(cr, kAmber, 0.9);
  cairo_fill(cr);
  cairo_set_line_width(cr, 1.0);
  cairo_rectangle(cr, 0.5, 0.5, width - 1, height - 1);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.8);
  cairo_stroke(cr);
  cairo_move_to(cr, 1.5, height - 1.5);
  cairo_line_to(cr, 1.5, 2.5);
  cairo_line_to(cr, width - 1.5, 2.5);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.07);
  cairo_stroke(cr);
}

// "NORMALIZE: ... TO: [target]" and the two steps beside their switches.
void DrawNormalizeGroup(cairo_t* cr) {
  Group(cr, 8, 12, 240, 128);
  EngravedText(cr, "NORMALIZE:", 18, 45, 14, kLabel, Align::Left, 0.8);
  EngravedText(cr, "TO:", 164, 45, 14, kLabel, Align::Right, 0.8);
  Well(cr, 172, 25, 242, 55, Hex(0x0B0C0E));

  StepBadge(cr, 27, 76, "1");
  EngravedText(cr, "MEASURE", 42, 80, 11, kDimLabel, Align::Left, 0.8);
  StepBadge(cr, 27, 114, "2");
  EngravedText(cr, "APPLY GAIN", 42, 118, 11, kDimLabel, Align::Left, 0.8);
  cairo_set_line_width(cr, 1.0);
  const double dash[] = {2.0, 2.0};
  cairo_set_dash(cr, dash, 2, 0);
  cairo_move_to(cr, 27.5, 85);
  cairo_line_to(cr, 27.5, 105);
  SetColor(cr, kAmber, 0.45);
  cairo_stroke(cr);
  cairo_set_dash(cr, nullptr, 0, 0);
  // Small arrows leading from each step to its switch.
  for (double cy : {76.0, 114.0}) {
    cairo_move_to(cr, 132, cy - 4);
    cairo_line_to(cr, 137, cy);
    cairo_line_to(cr, 132, cy + 4);
    cairo_set_line_width(cr, 1.5);
    SetColor(cr, kDimLabel, 0.8);
    cairo_stroke(cr);
  }
}

// A recess around a switch at (x, y).
void SwitchRecess(cairo_t* cr, int x, int y) {
  RoundedRect(cr, x - 3.5, y - 3.5, 107, 39, 7);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.25);
  cairo_fill_preserve(cr);
  cairo_set_line_width(cr, 1.0);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
  cairo_stroke(cr);
}

// The loudness read-outs' wells and the recess around the bypass switch.
void DrawReadoutsAndBypass(cairo_t* cr) {
  EngravedText(cr, "LUFS IN:", 65, 154, 11, kLabel, Align::Center, 1.0);
  EngravedText(cr, "LUFS OUT:", 190, 154, 11, kLabel, Align::Center, 1.0);
  Well(cr, 15, 159, 115, 209, Hex(0x0D0B07));
  Well(cr, 140, 159, 240, 209, Hex(0x0D0B07));
  cairo_move_to(cr, 123, 178);
  cairo_line_to(cr, 131, 184);
  cairo_line_to(cr, 123, 190);
  cairo_set_line_width(cr, 2.0);
  SetColor(cr, kDimLabel, 0.7);
  cairo_stroke(cr);

  SwitchRecess(cr, 78, 217);
}

// The title strip along the bottom 42 pixels; the version label is drawn by the editor in its
// last 20 (the receiver: (178,280)-(236,300)).
void DrawTitleStrip(cairo_t* cr, int height, const char* subtitle) {
  const double top = height - 42;
  cairo_rectangle(cr, 1, top, kWidth - 2, height - top - 1);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.32);
  cairo_fill(cr);
  cairo_move_to(cr, 1, top + 0.5);
  cairo_line_to(cr, kWidth - 1, top + 0.5);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.7);
  cairo_stroke(cr);
  cairo_move_to(cr, 1, top + 1.5);
  cairo_line_to(cr, kWidth - 1, top + 1.5);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.07);
  cairo_stroke(cr);
  Text(cr, "ZOLVARTESK", 14, height - 18, 17, kAmber, Align::Left, 1.6);
  Text(cr, subtitle, 14, height - 6, 8.5, kDimLabel, Align::Left, 0.9);
}

void DrawBackground(cairo_t* cr) {
  DrawPanel(cr, kWidth, kHeight);
  DrawNormalizeGroup(cr);
  DrawReadoutsAndBypass(cr);
  DrawTitleStrip(cr, kHeight, "RECEIVE  \xC2\xB7  LOUDNESS MATCH");
}

// The sender's panel (256 x 240): the published loudness (100,18)-(240,58), the slot
// (100,66)-(160,96), the status line (18,104)-(240,128), the Send switch at (78,151) and the
// version label (178,220)-(236,240) are drawn by the editor.
constexpr int kSendHeight = 240;
void DrawSendBackground(cairo_t* cr) {
  DrawPanel(cr, kWidth, kSendHeight);
  Group(cr, 8, 10, 240, 126);
  EngravedText(cr, "LUFS:", 18, 44, 14, kLabel, Align::Left, 0.8);
  Well(cr, 100, 18, 240, 58, Hex(0x0D0B07));
  EngravedText(cr, "SLOT:", 18, 86, 14, kLabel, Align::Left, 0.8);
  Well(cr, 100, 66, 160, 96, Hex(0x0D0B07));
  Well(cr, 18, 104, 240, 128, Hex(0x0B0C0E));
  SwitchRecess(cr, 78, 151);
  DrawTitleStrip(cr, kSendHeight, "SEND  \xC2\xB7  LOUDNESS REFERENCE");
}

// Body: raised when off; pressed in and lit from inside when on.
void DrawButtonBody(cairo_t* cr, Rgb lit, bool on) {
  const double x = 1.5, y = 1.5, w = kButtonWidth - 3, h = kButtonHeight - 3;
  cairo_pattern_t* body = cairo_pattern_create_linear(0, y, 0, y + h);
  if (on) {
    cairo_pattern_add_color_stop_rgb(body, 0, 0.16, 0.17, 0.19);
    cairo_pattern_add_color_stop_rgb(body, 1, 0.25, 0.26, 0.29);
  } else {
    cairo_pattern_add_color_stop_rgb(body, 0, 0.33, 0.35, 0.39);
    cairo_pattern_add_color_stop_rgb(body, 1, 0.19, 0.20, 0.23);
  }
  RoundedRect(cr, x, y, w, h, 5);
  cairo_set_source(cr, body);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(body);
  cairo_set_line_width(cr, 1.0);
  cairo_set_source_rgba(cr, 0.02, 0.02, 0.03, 1.0);
  cairo_stroke(cr);
  RoundedRect(cr, x + 1, y + 1, w - 2, h - 2, 4);
  cairo_set_source_rgba(cr, 1, 1, 1, on ? 0.04 : 0.12);
  cairo_stroke(cr);
  if (!on) return;
  // Coloured light spilling over the face from the lamp, and a ring of its colour.
  cairo_pattern_t* spill = cairo_pattern_create_radial(15, 16, 2, 15, 16, 60);
  cairo_pattern_add_color_stop_rgba(spill, 0, lit.r, lit.g, lit.b, 0.35);
  cairo_pattern_add_color_stop_rgba(spill, 1, lit.r, lit.g, lit.b, 0.0);
  RoundedRect(cr, x + 1, y + 1, w - 2, h - 2, 4);
  cairo_set_source(cr, spill);
  cairo_fill(cr);
  cairo_pattern_destroy(spill);
  RoundedRect(cr, x + 1, y + 1, w - 2, h - 2, 4);
  SetColor(cr, lit, 0.55);
  cairo_stroke(cr);
}

void DrawLamp(cairo_t* cr, Rgb lit, bool on) {
  const double lx = 15, ly = 16;
  cairo_arc(cr, lx, ly, 5, 0, 2 * M_PI);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.8);
  cairo_fill(cr);
  cairo_pattern_t* lamp = cairo_pattern_create_radial(lx - 1, ly - 1, 0.5, lx, ly, 4);
  if (on) {
    cairo_pattern_add_color_stop_rgb(lamp, 0, 1, 1, 0.95);
    cairo_pattern_add_color_stop_rgb(lamp, 0.45, lit.r, lit.g, lit.b);
    cairo_pattern_add_color_stop_rgb(lamp, 1, lit.r * 0.7, lit.g * 0.7, lit.b * 0.7);
  } else {
    cairo_pattern_add_color_stop_rgb(lamp, 0, lit.r * 0.35, lit.g * 0.35, lit.b * 0.35);
    cairo_pattern_add_color_stop_rgb(lamp, 1, lit.r * 0.12, lit.g * 0.12, lit.b * 0.12);
  }
  cairo_arc(cr, lx, ly, 4, 0, 2 * M_PI);
  cairo_set_source(cr, lamp);
  cairo_fill(cr);
  cairo_pattern_destroy(lamp);
}

void DrawButtonLabel(cairo_t* cr, const char* label, Rgb lit, bool on) {
  const double textX = 24 + (kButtonWidth - 28) / 2.0, textSize = 11, tracking = 0.6;
  if (!on) {
    Text(cr, label, textX, 21.5, textSize, Hex(0x000000), Align::Center, tracking, 0.5);
    Text(cr, label, textX, 20.5, textSize, Hex(0xB4BAC3), Align::Center, tracking);
    return;
  }
  // Glow behind the lit label.
  for (double spread : {1.5, 0.8}) {
    for (double dx : {-spread, spread})
      Text(cr, label, textX + dx, 20.5, textSize, lit, Align::Center, tracking, 0.18);
    for (double dy : {-spread, spread})
      Text(cr, label, textX, 20.5 + dy, textSize, lit, Align::Center, tracking, 0.18);
  }
  Text(cr, label, textX, 20.5, textSize, Hex(0xFFFFFF), Align::Center, tracking, 0.25);
  Text(cr, label, textX, 20.5, textSize, lit, Align::Center, tracking, 0.9);
}

void DrawButtonFrame(cairo_t* cr, const char* label, Rgb lit, bool on) {
  DrawButtonBody(cr, lit, on);
  DrawLamp(cr, lit, on);
  DrawButtonLabel(cr, label, lit, on);
}

// Every image of the editor is 8-bit RGBA with straight alpha: cairo's premultiplied pixels are
// taken back to straight ones first (cairo itself would store an opaque picture as RGB).
bool WritePng(cairo_surface_t* surface, const std::string& path) {
  cairo_surface_flush(surface);
  const int width = cairo_image_surface_get_width(surface);
  const int height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  std::vector<LICE_pixel> pixels(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint32_t p;
      std::memcpy(&p, data + static_cast<size_t>(y) * stride + x * 4, 4);
      const unsigned a = p >> 24;
      auto straight = [a](unsigned premultiplied) {
        return static_cast<int>(a ? (premultiplied * 255 + a / 2) / a : 0);
      };
      pixels[static_cast<size_t>(y) * width + x] =
          LICE_RGBA(straight((p >> 16) & 0xFF), straight((p >> 8) & 0xFF), straight(p & 0xFF), a);
    }
  }
  if (!LICE_WritePng(path.c_str(), pixels.data(), width, height, width, true)) {
    std::fprintf(stderr, "zt-artwork: cannot write %s\n", path.c_str());
    return false;
  }
  std::printf("wrote %s\n", path.c_str());
  return true;
}

struct Button {
  const char* file;
  const char* label;
  Rgb lit;
  int x, y; // where the editor places it
};
const Button kButtons[] = {
    {"analyze-btn.png", "ANALYZE", Hex(0x4FD2FF), 144, 60},
    {"normalize-btn.png", "NORMALIZE", kAmber, 144, 98},
    {"bypass-btn.png", "BYPASS", Hex(0xFF5A4A), 78, 217},
};

const Button kSendButton = {"send-btn.png", "SEND", Hex(0x6BE675), 78, 151};

cairo_surface_t* MakeButton(const Button& button) {
  cairo_surface_t* surface =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kButtonWidth, 2 * kButtonHeight);
  cairo_t* cr = cairo_create(surface);
  for (int frame = 0; frame < 2; ++frame) {
    cairo_save(cr);
    cairo_translate(cr, 0, frame * kButtonHeight);
    cairo_rectangle(cr, 0, 0, kButtonWidth, kButtonHeight);
    cairo_clip(cr);
    DrawButtonFrame(cr, button.label, button.lit, frame == 1);
    cairo_restore(cr);
  }
  cairo_destroy(cr);
  return surface;
}

// The panel as the editor shows it, with sample texts centred in the code-drawn areas.
void DrawPreviewPanel(cairo_t* cr, cairo_surface_t* background, cairo_surface_t* const* buttons,
                      bool on, const char* in, const char* out) {
  cairo_set_source_surface(cr, background, 0, 0);
  cairo_paint(cr);
  for (int i = 0; i < 3; ++i) {
    cairo_save(cr);
    cairo_rectangle(cr, kButtons[i].x, kButtons[i].y, kButtonWidth, kButtonHeight);
    cairo_clip(cr);
    cairo_set_source_surface(cr, buttons[i], kButtons[i].x,
                             kButtons[i].y - (on ? kButtonHeight : 0));
    cairo_paint(cr);
    cairo_restore(cr);
  }
  auto centred = [cr](const char* text, double l, double t, double r, double b, Rgb color,
                      double alpha) {
    const double size = 0.6 * (b - t);
    cairo_set_font_face(cr, gFont);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, text, &e);
    cairo_move_to(cr, (l + r) / 2 - (e.x_bearing + e.width / 2),
                  (t + b) / 2 - (e.y_bearing + e.height / 2));
    SetColor(cr, color, alpha);
    cairo_show_text(cr, text);
  };
  centred(in, 15, 159, 115, 209, kAmber, 1.0);
  centred(out, 140, 159, 240, 209, kAmber, 1.0);
  centred("-23LUFS", 172, 25, 242, 55, kAmber, 1.0);
  centred("v1.0.2", 178, 280, 236, 300, Hex(0xFFFFFF), 200 / 255.0);
}

// The editor's font, for the preview's texts; null when it cannot be loaded.
cairo_font_face_t* LoadFont(const std::string& fontPath) {
  FT_Library library;
  FT_Face face;
  if (FT_Init_FreeType(&library) || FT_New_Face(library, fontPath.c_str(), 0, &face))
    return nullptr;
  cairo_font_face_t* font = cairo_ft_font_face_create_for_ft_face(face, 0);
  // cairo may hold the face in its caches after our last reference; it releases it itself.
  static const cairo_user_data_key_t kFaceKey{};
  cairo_font_face_set_user_data(font, &kFaceKey, face,
                                [](void* f) { FT_Done_Face(static_cast<FT_Face>(f)); });
  return font;
}

// Both switch states side by side, twice the size, pixel for pixel, for a close look.
bool WritePreview(cairo_surface_t* background, cairo_surface_t* const* buttons,
                  const std::string& path) {
  cairo_surface_t* preview =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 2 * kWidth + 8, kHeight);
  cairo_t* cr = cairo_create(preview);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  DrawPreviewPanel(cr, background, buttons, false, "-inf", "-inf");
  cairo_translate(cr, kWidth + 8, 0);
  DrawPreviewPanel(cr, background, buttons, true, "-18.4", "-23.0");
  cairo_destroy(cr);
  cairo_surface_t* large =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 2 * (2 * kWidth + 8), 2 * kHeight);
  cr = cairo_create(large);
  cairo_scale(cr, 2, 2);
  cairo_set_source_surface(cr, preview, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint(cr);
  cairo_destroy(cr);
  const bool ok = WritePng(large, path);
  cairo_surface_destroy(large);
  cairo_surface_destroy(preview);
  return ok;
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: zt-artwork RESOURCES_DIR [preview.png]\n");
    return 2;
  }
  const std::string dir = argv[1];
  gFont = LoadFont(dir + "/readout-font.ttf");
  if (!gFont) {
    std::fprintf(stderr, "zt-artwork: cannot load %s/readout-font.ttf\n", dir.c_str());
    return 1;
  }

  cairo_surface_t* background = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
  cairo_t* cr = cairo_create(background);
  DrawBackground(cr);
  cairo_destroy(cr);
  bool ok = WritePng(background, dir + "/img/bkg.png");

  cairo_surface_t* buttons[3];
  for (int i = 0; i < 3; ++i) {
    buttons[i] = MakeButton(kButtons[i]);
    ok = WritePng(buttons[i], dir + "/img/" + kButtons[i].file) && ok;
  }

  cairo_surface_t* send = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kSendHeight);
  cr = cairo_create(send);
  DrawSendBackground(cr);
  cairo_destroy(cr);
  ok = WritePng(send, dir + "/img/send-bkg.png") && ok;
  cairo_surface_destroy(send);
  cairo_surface_t* sendButton = MakeButton(kSendButton);
  ok = WritePng(sendButton, dir + "/img/" + kSendButton.file) && ok;
  cairo_surface_destroy(sendButton);
  if (argc == 3) ok = WritePreview(background, buttons, argv[2]) && ok;

  for (cairo_surface_t* b : buttons)
    cairo_surface_destroy(b);
  cairo_surface_destroy(background);
  cairo_font_face_destroy(gFont);
  return ok ? 0 : 1;
}
