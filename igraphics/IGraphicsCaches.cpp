#include "igraphics/IGraphicsCaches.h"

#include <cstring>

#include "lice/lice.h"

using Lock = std::lock_guard<std::mutex>;

ImageCache::~ImageCache() {
  for (Entry& e : entries_)
    delete e.image;
  entries_.clear();
}

LICE_IBitmap* ImageCache::Find(int resourceId) {
  Lock lock(lock_);
  for (const Entry& e : entries_)
    if (e.resourceId == resourceId && e.image) return e.image;
  return nullptr;
}

void ImageCache::Add(int resourceId, LICE_IBitmap* image) {
  Lock lock(lock_);
  entries_.push_back({resourceId, image});
}

int ImageCache::Size() {
  Lock lock(lock_);
  return static_cast<int>(entries_.size());
}

BitmapRef* BitmapRecordList::Add(int resourceId, const char* name, const BitmapRef& record) {
  Lock lock(lock_);
  for (const Entry& e : entries_) {
    const BitmapRef& r = *e.record;
    if (e.resourceId == resourceId && r.image == record.image && r.width == record.width &&
        r.height == record.height && r.frameCount == record.frameCount &&
        r.framesHorizontal == record.framesHorizontal)
      return e.record.get();
  }
  auto owned = std::make_unique<BitmapRef>(record);
  BitmapRef* result = owned.get();
  entries_.push_back({resourceId, name, std::move(owned)});
  return result;
}

int BitmapRecordList::Count() {
  Lock lock(lock_);
  return static_cast<int>(entries_.size());
}

FontCache::~FontCache() {
  for (Entry& e : entries_)
    if (e.font && e.deleter) e.deleter(e.font);
  entries_.clear();
}

LICE_CachedFont* FontCache::Find(int size, int orientation, int style, const char* name) {
  if (!name) name = "";
  Lock lock(lock_);
  for (const Entry& e : entries_)
    if (e.size == size && e.orientation == orientation && e.style == style &&
        strcmp(e.name, name) == 0 && e.font)
      return e.font;
  return nullptr;
}

void FontCache::Add(int size, int orientation, int style, const char* name, LICE_CachedFont* font,
                    Deleter deleter) {
  Entry e{size, orientation, style, {}, font, deleter};
  if (name) {
    strncpy(e.name, name, sizeof e.name - 1);
    e.name[sizeof e.name - 1] = '\0';
  }
  Lock lock(lock_);
  entries_.push_back(e);
}

int FontCache::Size() {
  Lock lock(lock_);
  return static_cast<int>(entries_.size());
}

ImageCache& TheImageCache() {
  static ImageCache cache;
  return cache;
}

BitmapRecordList& TheBitmapRecordList() {
  static BitmapRecordList list;
  return list;
}

FontCache& TheFontCache() {
  static FontCache cache;
  return cache;
}
