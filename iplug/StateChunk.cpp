#include "iplug/IPlugStructs.h"

#include <new>

namespace {
// Byte order is fixed little-endian so that states move between machines.
void StoreLE(uint8_t* p, uint64_t v, int n) {
  for (int i = 0; i < n; ++i)
    p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint64_t LoadLE(const uint8_t* p, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i)
    v |= static_cast<uint64_t>(p[i]) << (8 * i);
  return v;
}
} // namespace

bool StateChunk::PutBytes(const void* data, size_t size) {
  if (size == 0) return true;
  if (size > static_cast<size_t>(INT32_MAX) - bytes_.size()) return false;
  try {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool StateChunk::PutInt32(int32_t v) {
  uint8_t b[4];
  StoreLE(b, static_cast<uint32_t>(v), 4);
  return PutBytes(b, 4);
}

bool StateChunk::PutDouble(double v) {
  uint64_t bits;
  memcpy(&bits, &v, 8);
  uint8_t b[8];
  StoreLE(b, bits, 8);
  return PutBytes(b, 8);
}

bool StateChunk::PutBool(bool v) {
  const uint8_t b = v ? 1 : 0;
  return PutBytes(&b, 1);
}

bool StateChunk::PutString(const char* s) {
  if (!s) s = "";
  const size_t n = strlen(s);
  if (n > static_cast<size_t>(INT32_MAX)) return false;
  return PutInt32(static_cast<int32_t>(n)) && PutBytes(s, n);
}

bool StateChunk::PutChunk(const StateChunk& other) {
  return PutBytes(other.Data(), other.bytes_.size());
}

int StateChunk::GetInt32(int32_t* v, int pos) const {
  if (!Fits(pos, 4)) return -1;
  *v = static_cast<int32_t>(static_cast<uint32_t>(LoadLE(bytes_.data() + pos, 4)));
  return pos + 4;
}

int StateChunk::GetDouble(double* v, int pos) const {
  if (!Fits(pos, 8)) return -1;
  const uint64_t bits = LoadLE(bytes_.data() + pos, 8);
  memcpy(v, &bits, 8);
  return pos + 8;
}

int StateChunk::GetBool(bool* v, int pos) const {
  if (!Fits(pos, 1)) return -1;
  *v = bytes_[pos] != 0;
  return pos + 1;
}

int StateChunk::GetString(std::string* s, int pos) const {
  int32_t n = 0;
  pos = GetInt32(&n, pos);
  if (pos < 0 || n < 0) return -1;
  if (n == 0) {
    s->clear();
    return pos;
  }
  if (!Fits(pos, n)) return -1;
  s->assign(reinterpret_cast<const char*>(bytes_.data() + pos), static_cast<size_t>(n));
  return pos + n;
}

void StateChunk::Resize(int size) {
  if (size <= 0) {
    bytes_.clear();
    return;
  }
  bytes_.resize(static_cast<size_t>(size), 0);
}
