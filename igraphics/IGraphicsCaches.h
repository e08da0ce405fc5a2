#pragma once
// Process-wide registries shared by every editor in the module: decoded images, bitmap records
// and GDI fonts. Each has its own lock, held only for a lookup or an append, never while an
// image is decoded or a font created. They are emptied only when the module unloads.

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "igraphics/IGraphicsStructs.h"

// Decoded images by resource id; the name is not part of the key.
class ImageCache {
public:
  ~ImageCache();
  // The first image stored for id, or null.
  LICE_IBitmap* Find(int resourceId);
  // Takes ownership of image. Two threads may have decoded the same id; both images are kept
  // and Find keeps returning the first.
  void Add(int resourceId, LICE_IBitmap* image);
  int Size();

private:
  struct Entry {
    int32_t resourceId;
    LICE_IBitmap* image; // owned
  };
  std::mutex lock_;
  std::vector<Entry> entries_;
};

// The records LoadBitmapResource hands out, in load order. Records never change once made, so a
// load that asks for the same image in the same layout gets the same record: every editor a
// host opens and closes reuses them, and the list stays as long as the different layouts asked.
class BitmapRecordList {
public:
  // The stored record equal to record, or a new copy of it; the address stays valid until
  // unload. name is kept as the caller's pointer (callers pass string literals).
  BitmapRef* Add(int resourceId, const char* name, const BitmapRef& record);
  int Count();

private:
  struct Entry {
    int32_t resourceId;
    const char* name;
    std::unique_ptr<BitmapRef> record;
  };
  std::mutex lock_;
  std::vector<Entry> entries_;
};

// GDI fonts by size, orientation, style and exact face name (quality is not part of the key).
// The cache owns the fonts but does not know their type: the text layer that makes a font
// hands over the function that deletes it.
class FontCache {
public:
  using Deleter = void (*)(LICE_CachedFont*);
  ~FontCache();
  LICE_CachedFont* Find(int size, int orientation, int style, const char* name);
  void Add(int size, int orientation, int style, const char* name, LICE_CachedFont* font,
           Deleter deleter);
  int Size();

private:
  struct Entry {
    int32_t size, orientation, style;
    char name[kTextFontSize];
    LICE_CachedFont* font; // owned, deleted with deleter
    Deleter deleter;
  };
  std::mutex lock_;
  std::vector<Entry> entries_;
};

// The registries of this module, created on first use.
ImageCache& TheImageCache();
BitmapRecordList& TheBitmapRecordList();
FontCache& TheFontCache();
