#include "tools/render/Plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include <cairo.h>
#if !defined(_WIN32)
#include <cairo-ft.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#endif

#include "lice/lice.h"

namespace {

constexpr int kWidth = 1200, kHeight = 600;
constexpr double kLeft = 78, kRight = 28, kTop = 112, kBottom = 58;
#if defined(_WIN32)
constexpr const char* kFont = "Arial";
#else
// The tool's cairo has no fontconfig (it is the plug-ins' static one), so the plot opens its
// faces itself; without them cairo's built-in face draws the texts.
constexpr const char* kFont = "sans-serif";
constexpr const char* kFontFiles[2] = {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                                       "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"};

#endif

// The faces the texts use while the picture is drawn. The tool draws one picture per run: at the
// end cairo's caches are dropped too, so that the process ends with nothing left allocated for a
// leak checker to report.
class PlotFonts {
public:
  PlotFonts() {
#if !defined(_WIN32)
    if (FT_Init_FreeType(&library_)) {
      library_ = nullptr;
      return;
    }
    for (int i = 0; i < 2; ++i) {
      FT_Face face;
      if (FT_New_Face(library_, kFontFiles[i], 0, &face)) continue;
      fonts_[i] = cairo_ft_font_face_create_for_ft_face(face, 0);
      // cairo may keep the face in its caches after our reference; it releases it itself.
      static const cairo_user_data_key_t kFaceKey{};
      cairo_font_face_set_user_data(fonts_[i], &kFaceKey, face,
                                    [](void* f) { FT_Done_Face(static_cast<FT_Face>(f)); });
    }
    current_ = this;
#endif
  }
  ~PlotFonts() {
#if !defined(_WIN32)
    current_ = nullptr;
    for (cairo_font_face_t* font : fonts_)
      if (font) cairo_font_face_destroy(font);
#endif
    cairo_debug_reset_static_data();
#if !defined(_WIN32)
    if (library_) FT_Done_FreeType(library_);
#endif
  }
  PlotFonts(const PlotFonts&) = delete;
  PlotFonts& operator=(const PlotFonts&) = delete;

  // Sets the face for the next texts: ours, or the system's by name.
  static void Select(cairo_t* cr, bool bold) {
#if !defined(_WIN32)
    if (current_ && current_->fonts_[bold ? 1 : 0]) {
      cairo_set_font_face(cr, current_->fonts_[bold ? 1 : 0]);
      return;
    }
#endif
    cairo_select_font_face(cr, kFont, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  }

private:
#if !defined(_WIN32)
  static inline PlotFonts* current_ = nullptr;
  FT_Library library_ = nullptr;
  cairo_font_face_t* fonts_[2] = {};
#endif
};

// A "nice" tick step (1, 2 or 5 times a power of ten) giving about `want` ticks over `span`.
double NiceStep(double span, int want) {
  const double raw = span / std::max(want, 1);
  const double p = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (raw <= m * p) return m * p;
  return 10.0 * p;
}

std::string FormatTick(double v, double step) {
  char buf[32];
  if (step >= 1.0 || std::fabs(v) < 1e-9)
    snprintf(buf, sizeof buf, "%.0f", std::fabs(v) < 1e-9 ? 0.0 : v);
  else if (step >= 0.1)
    snprintf(buf, sizeof buf, "%.1f", v);
  else
    snprintf(buf, sizeof buf, "%.2f", v);
  return buf;
}

void Text(cairo_t* cr, double x, double y, const std::string& s, double size, bool bold,
          double alignX, double alignY) {
  PlotFonts::Select(cr, bold);
  cairo_set_font_size(cr, size);
  cairo_text_extents_t e;
  cairo_text_extents(cr, s.c_str(), &e);
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  // alignY 0 = top of the line, 0.5 = middle, 1 = baseline.
  const double ascent = fe.ascent;
  cairo_move_to(cr, x - alignX * e.x_advance, y + (1.0 - alignY) * ascent * 0.78);
  cairo_show_text(cr, s.c_str());
}

double TextWidth(cairo_t* cr, const std::string& s, double size) {
  PlotFonts::Select(cr, false);
  cairo_set_font_size(cr, size);
  cairo_text_extents_t e;
  cairo_text_extents(cr, s.c_str(), &e);
  return e.x_advance;
}

void SetDash(cairo_t* cr, bool dashed) {
  if (dashed) {
    const double dash[] = {7.0, 5.0};
    cairo_set_dash(cr, dash, 2, 0);
  } else {
    cairo_set_dash(cr, nullptr, 0, 0);
  }
}

// Where values land: the LUFS range on the vertical axis (every value above -70 LUFS with a
// little headroom, on a 5 LU grid) and the time range on the horizontal one.
struct PlotFrame {
  explicit PlotFrame(const PlotSpec& desc) {
    double vmax = -1e9, vmin = 1e9;
    for (const PlotCurve& c : desc.curves)
      for (double v : *c.values)
        if (v > -70.0) {
          vmax = std::max(vmax, v);
          vmin = std::min(vmin, v);
        }
    if (vmax < vmin) {
      vmax = -10.0;
      vmin = -60.0;
    }
    top = std::ceil((vmax + 2.0) / 5.0) * 5.0;
    bottom = std::clamp(std::floor((vmin - 2.0) / 10.0) * 10.0, top - 70.0, top - 20.0);
    seconds = std::max(desc.blocks * desc.blockSeconds, 1e-3);
  }
  double X(double t) const { return kLeft + t / seconds * width; }
  double Y(double lufs) const { return kTop + (top - lufs) / (top - bottom) * height; }

  double top = 0, bottom = 0, seconds = 0;
  const double width = kWidth - kLeft - kRight, height = kHeight - kTop - kBottom;
};

void DrawTitles(cairo_t* cr, const PlotSpec& desc) {
  cairo_set_source_rgb(cr, 0.12, 0.12, 0.14);
  Text(cr, kLeft, 22, desc.title, 19, true, 0, 0);
  if (!desc.subtitle.empty()) {
    cairo_set_source_rgb(cr, 0.35, 0.35, 0.38);
    Text(cr, kLeft, 50, desc.subtitle, 13, false, 0, 0);
  }
}

// One row of line samples and labels above the plot area.
void DrawLegend(cairo_t* cr, const PlotSpec& desc) {
  double x = kLeft;
  const double y = 88;
  for (const PlotCurve& c : desc.curves) {
    cairo_set_source_rgb(cr, c.r, c.g, c.b);
    cairo_set_line_width(cr, std::max(c.width, 2.0));
    SetDash(cr, c.dashed);
    cairo_move_to(cr, x, y);
    cairo_line_to(cr, x + 30, y);
    cairo_stroke(cr);
    SetDash(cr, false);
    cairo_set_source_rgb(cr, 0.15, 0.15, 0.17);
    Text(cr, x + 38, y, c.label, 13, false, 0, 0.5);
    x += 38 + TextWidth(cr, c.label, 13) + 30;
  }
}

void GridLine(cairo_t* cr, double x0, double y0, double x1, double y1) {
  cairo_set_source_rgb(cr, 0.86, 0.87, 0.9);
  cairo_move_to(cr, x0, y0);
  cairo_line_to(cr, x1, y1);
  cairo_stroke(cr);
  cairo_set_source_rgb(cr, 0.3, 0.3, 0.33);
}

// The plot area, its grid with tick labels and the axis titles.
void DrawAxes(cairo_t* cr, const PlotFrame& f) {
  cairo_set_source_rgb(cr, 0.975, 0.977, 0.985);
  cairo_rectangle(cr, kLeft, kTop, f.width, f.height);
  cairo_fill(cr);

  cairo_set_line_width(cr, 1.0);
  const double yStep = std::max(NiceStep(f.top - f.bottom, 7), 5.0);
  for (double v = std::ceil(f.bottom / yStep) * yStep; v <= f.top + 1e-9; v += yStep) {
    const double y = std::round(f.Y(v)) + 0.5;
    GridLine(cr, kLeft, y, kLeft + f.width, y);
    Text(cr, kLeft - 8, y, FormatTick(v, yStep), 12, false, 1.0, 0.5);
  }
  const double xStep = NiceStep(f.seconds, 10);
  for (double t = 0; t <= f.seconds + 1e-9; t += xStep) {
    const double x = std::round(f.X(t)) + 0.5;
    GridLine(cr, x, kTop, x, kTop + f.height);
    Text(cr, x, kTop + f.height + 8, FormatTick(t, xStep), 12, false, 0.5, 0);
  }

  cairo_set_source_rgb(cr, 0.2, 0.2, 0.23);
  Text(cr, kLeft + f.width / 2, kHeight - 24, "time (s)", 13, false, 0.5, 0);
  cairo_save(cr);
  cairo_translate(cr, 22, kTop + f.height / 2);
  cairo_rotate(cr, -std::numbers::pi / 2);
  Text(cr, 0, 0, "momentary loudness (LUFS)", 13, false, 0.5, 0.5);
  cairo_restore(cr);
}

// Silence (-inf) breaks a curve. Long files are drawn with the lowest and highest value of
// every pixel column, in time order.
void DrawCurve(cairo_t* cr, const PlotFrame& f, const PlotCurve& c, double blockSeconds) {
  const std::vector<double>& v = *c.values;
  const int n = static_cast<int>(v.size());
  const int perColumn = std::max(1, n / (2 * static_cast<int>(f.width)));
  bool drawing = false;
  auto point = [&](int k, double lufs) {
    if (!(lufs > -200.0)) {
      drawing = false;
      return;
    }
    const double x = f.X((k + 1 + c.offsetBlocks) * blockSeconds), y = f.Y(lufs);
    if (drawing)
      cairo_line_to(cr, x, y);
    else
      cairo_move_to(cr, x, y);
    drawing = true;
  };
  for (int k = 0; k < n; k += perColumn) {
    if (perColumn == 1) {
      point(k, v[k]);
      continue;
    }
    int lo = k, hi = k;
    bool silent = false;
    for (int j = k; j < std::min(n, k + perColumn); ++j) {
      if (!(v[j] > -200.0)) silent = true;
      if (v[j] < v[lo]) lo = j;
      if (v[j] > v[hi]) hi = j;
    }
    if (silent) {
      point(k, v[lo]);
      if (!(v[hi] > -200.0)) continue;
    }
    point(std::min(lo, hi), v[std::min(lo, hi)]);
    point(std::max(lo, hi), v[std::max(lo, hi)]);
  }
  cairo_set_source_rgb(cr, c.r, c.g, c.b);
  cairo_set_line_width(cr, c.width);
  SetDash(cr, c.dashed);
  cairo_stroke(cr);
  SetDash(cr, false);
}

// The curves, clipped to the plot area, and its frame.
void DrawCurves(cairo_t* cr, const PlotFrame& f, const PlotSpec& desc) {
  cairo_save(cr);
  cairo_rectangle(cr, kLeft, kTop, f.width, f.height);
  cairo_clip(cr);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  for (const PlotCurve& c : desc.curves)
    DrawCurve(cr, f, c, desc.blockSeconds);
  cairo_restore(cr);

  cairo_set_source_rgb(cr, 0.55, 0.56, 0.6);
  cairo_set_line_width(cr, 1.0);
  cairo_rectangle(cr, kLeft + 0.5, kTop + 0.5, f.width - 1, f.height - 1);
  cairo_stroke(cr);
}

} // namespace

bool WritePlot(const std::string& path, const PlotSpec& desc, std::string* error) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
  {
    const PlotFonts fonts;
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    const PlotFrame frame(desc);
    DrawTitles(cr, desc);
    DrawLegend(cr, desc);
    DrawAxes(cr, frame);
    DrawCurves(cr, frame, desc);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
  }

  bool ok = false;
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
    // RGB24 is the bitmaps' pixel layout with the top byte unused: written without alpha.
    const auto* pixels = reinterpret_cast<const LICE_pixel*>(cairo_image_surface_get_data(surface));
    ok = LICE_WritePng(path.c_str(), pixels, kWidth, kHeight,
                       cairo_image_surface_get_stride(surface) / 4, false);
  }
  cairo_surface_destroy(surface);
  if (!ok) *error = "cannot write the plot '" + path + "'";
  return ok;
}
