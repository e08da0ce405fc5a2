// BlitBitmap: clipping, then one integer loop per mode. Channels are 0..255 ints; every division
// is a truncating 32-bit signed division, and the weight is converted once per call.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "lice/lice.h"

namespace {

struct Area {
  const LICE_pixel* src; // first pixel of the first source row
  LICE_pixel* dest;
  int64_t srcStride; // pixels from one row to the next, negative for a bottom-up bitmap
  int64_t destStride;
  int32_t width;
  int32_t height;
};

int Clamp255(int v) {
  return v < 0 ? 0 : v > 255 ? 255 : v;
}

LICE_pixel Pack(int b, int g, int r, int a) {
  return static_cast<LICE_pixel>(b) | (static_cast<LICE_pixel>(g) << 8) |
         (static_cast<LICE_pixel>(r) << 16) | (static_cast<LICE_pixel>(a) << 24);
}

template <typename Op> void ForEachPixel(const Area& area, Op op) {
  const LICE_pixel* srcRow = area.src;
  LICE_pixel* destRow = area.dest;
  for (int32_t y = 0; y < area.height; ++y) {
    for (int32_t x = 0; x < area.width; ++x)
      op(srcRow[x], destRow[x]);
    srcRow += area.srcStride;
    destRow += area.destStride;
  }
}

void CopyRows(const Area& area) {
  const LICE_pixel* srcRow = area.src;
  LICE_pixel* destRow = area.dest;
  for (int32_t y = 0; y < area.height; ++y) {
    std::memmove(destRow, srcRow, static_cast<size_t>(area.width) * sizeof(LICE_pixel));
    srcRow += area.srcStride;
    destRow += area.destStride;
  }
}

void Copy(const Area& area, float weight, int k) {
  if (weight == 1.0f) return CopyRows(area);
  if (weight == 0.5f) {
    return ForEachPixel(area, [](LICE_pixel s, LICE_pixel& d) {
      d = ((s >> 1) & 0x7F7F7F7Fu) + ((d >> 1) & 0x7F7F7F7Fu);
    });
  }
  if (k <= 0) return;
  if (k == 256) return CopyRows(area);
  const int keep = 256 - k;
  ForEachPixel(area, [keep](LICE_pixel s, LICE_pixel& d) {
    auto mix = [keep](int sc, int dc) { return sc + ((dc - sc) * keep) / 256; };
    d = Pack(mix(LICE_GETB(s), LICE_GETB(d)), mix(LICE_GETG(s), LICE_GETG(d)),
             mix(LICE_GETR(s), LICE_GETR(d)), mix(LICE_GETA(s), LICE_GETA(d)));
  });
}

void CopySourceAlpha(const Area& area, int k) {
  if (k == 256) {
    return ForEachPixel(area, [](LICE_pixel s, LICE_pixel& d) {
      const int a = LICE_GETA(s);
      if (a == 0) return;
      if (a == 255) {
        d = s | 0xFF000000u;
        return;
      }
      auto mix = [a](int sc, int dc) { return sc + ((dc - sc) * (255 - a)) / 256; };
      d = Pack(mix(LICE_GETB(s), LICE_GETB(d)), mix(LICE_GETG(s), LICE_GETG(d)),
               mix(LICE_GETR(s), LICE_GETR(d)), std::min(255, LICE_GETA(d) + a));
    });
  }
  ForEachPixel(area, [k](LICE_pixel s, LICE_pixel& d) {
    const int a = LICE_GETA(s);
    if (a == 0) return;
    const int p = (k * (a + 1)) / 256;
    auto mix = [p](int sc, int dc) { return sc + ((dc - sc) * (256 - p)) / 256; };
    d = Pack(mix(LICE_GETB(s), LICE_GETB(d)), mix(LICE_GETG(s), LICE_GETG(d)),
             mix(LICE_GETR(s), LICE_GETR(d)), std::min(255, LICE_GETA(d) + p));
  });
}

// Without the source-alpha flag every pixel counts as fully opaque for the weighting.
template <bool kSourceAlpha> void Add(const Area& area, int k) {
  ForEachPixel(area, [k](LICE_pixel s, LICE_pixel& d) {
    const int a = LICE_GETA(s);
    if (kSourceAlpha && a == 0) return;
    const int p = kSourceAlpha ? (k * (a + 1)) / 256 : k;
    auto add = [p](int sc, int dc) { return Clamp255(dc + (sc * p) / 256); };
    d = Pack(add(LICE_GETB(s), LICE_GETB(d)), add(LICE_GETG(s), LICE_GETG(d)),
             add(LICE_GETR(s), LICE_GETR(d)), add(a, LICE_GETA(d)));
  });
}

template <bool kSourceAlpha> void Dodge(const Area& area, int k) {
  ForEachPixel(area, [k](LICE_pixel s, LICE_pixel& d) {
    const int a = LICE_GETA(s);
    const int p = kSourceAlpha ? (k * (a + 1)) / 256 : k;
    auto dodge = [p](int sc, int dc) {
      const int divisor = 256 - (sc * p) / 256;
      int value = dc * 256;
      if (divisor > 1) value /= divisor;
      return Clamp255(value);
    };
    d = Pack(dodge(LICE_GETB(s), LICE_GETB(d)), dodge(LICE_GETG(s), LICE_GETG(d)),
             dodge(LICE_GETR(s), LICE_GETR(d)), dodge(a, LICE_GETA(d)));
  });
}

// Weights outside 0..1 (and NaN) count as the nearer end.
int WeightToK(float weight) {
  const double scaled = static_cast<double>(weight) * 256.0;
  if (!(scaled > 0.0)) return 0;
  if (scaled >= 256.0) return 256;
  return static_cast<int>(scaled);
}

// Raises a negative start to 0 and moves its counterpart on by as much.
void ShiftToZero(int64_t& start, int64_t& counterpart) {
  if (start >= 0) return;
  counterpart -= start;
  start = 0;
}

} // namespace

void BlitBitmap(LICE_IBitmap* dest, const LICE_IBitmap* src, int32_t destX, int32_t destY,
                const ControlRect* sourceRect, float weight, int32_t mode) {
  if (!dest || !src || weight == 0.0f) return;

  // 64-bit arithmetic: coordinates near the int32 limits must clip, not wrap.
  int64_t dx = destX, dy = destY;
  int64_t left = 0, top = 0, right = src->Width(), bottom = src->Height();
  if (sourceRect) {
    left = sourceRect->left;
    top = sourceRect->top;
    right = std::min<int64_t>(sourceRect->right, src->Width());
    bottom = std::min<int64_t>(sourceRect->bottom, src->Height());
    // A source area starting before the source moves the destination along.
    ShiftToZero(left, dx);
    ShiftToZero(top, dy);
  }
  // A destination starting before the destination skips that much of the source.
  ShiftToZero(dx, left);
  ShiftToZero(dy, top);
  const int64_t destWidth = dest->Width(), destHeight = dest->Height();
  if (right <= left || bottom <= top || dx >= destWidth || dy >= destHeight) return;
  right = std::min(right, left + destWidth - dx);
  bottom = std::min(bottom, top + destHeight - dy);
  if (right <= left || bottom <= top) return;

  LICE_pixel* destPixels = dest->PixelData();
  const LICE_pixel* srcPixels = src->PixelData();
  if (!destPixels || !srcPixels) return;

  const int k = WeightToK(weight);
  if (k == 0) return;

  // Row y of a bottom-up bitmap is stored at row Height() - 1 - y.
  auto rowStart = [](const LICE_IBitmap* bitmap, int64_t y, int64_t& stride) {
    const int64_t perRow = bitmap->PixelsPerRow();
    if (bitmap->IsBottomUp()) {
      stride = -perRow;
      return (bitmap->Height() - 1 - y) * perRow;
    }
    stride = perRow;
    return y * perRow;
  };
  Area area;
  area.src = srcPixels + rowStart(src, top, area.srcStride) + left;
  area.dest = destPixels + rowStart(dest, dy, area.destStride) + dx;
  area.width = static_cast<int32_t>(right - left);
  area.height = static_cast<int32_t>(bottom - top);

  const bool sourceAlpha = (mode & BlitSourceAlpha) != 0;
  switch (mode & BlitModeMask) {
  case BlitAdd:
    return sourceAlpha ? Add<true>(area, k) : Add<false>(area, k);
  case BlitDodge:
    return sourceAlpha ? Dodge<true>(area, k) : Dodge<false>(area, k);
  default:
    return sourceAlpha ? CopySourceAlpha(area, k) : Copy(area, weight, k);
  }
}
