#pragma once
// A short text handed from one writing thread to any number of reading threads without a lock
// and without allocation: a sequence lock over a fixed buffer. The writer never waits; a reader
// that overlaps a store copies again (a store takes a few nanoseconds).
//
// One writer at a time: the callers serialise stores (the read-outs are written under the
// instance mutex). Loads may run on any thread at any time.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

class SharedText {
public:
  // Bytes including the terminating NUL; longer texts are cut at a UTF-8 character boundary.
  static constexpr size_t kCapacity = 64;

  SharedText() {
    for (auto& w : words_)
      w.store(0, std::memory_order_relaxed);
  }
  SharedText(const SharedText&) = delete;
  SharedText& operator=(const SharedText&) = delete;

  // Writer side: whether text (cut as Store would cut it) is what the slot holds. A null text
  // counts as empty.
  bool Equals(const char* text) const {
    uint64_t w[kWords];
    Pack(text, w);
    for (size_t i = 0; i < kWords; ++i)
      if (words_[i].load(std::memory_order_relaxed) != w[i]) return false;
    return true;
  }

  // Writer side: replaces the text.
  void Store(const char* text) {
    uint64_t w[kWords];
    Pack(text, w);
    // The words are stored with release and loaded with acquire (free on x86 and cheap on ARM):
    // a reader that sees any word of this store also sees the odd count before it. Fences
    // would do the same, but ThreadSanitizer cannot follow them.
    const uint32_t s = sequence_.load(std::memory_order_relaxed);
    sequence_.store(s + 1, std::memory_order_relaxed); // odd: a store is under way
    for (size_t i = 0; i < kWords; ++i)
      words_[i].store(w[i], std::memory_order_release);
    sequence_.store(s + 2, std::memory_order_release);
  }

  // Any thread: copies the text into out (kCapacity bytes, always terminated).
  void Load(char (&out)[kCapacity]) const {
    uint64_t w[kWords];
    for (;;) {
      const uint32_t before = sequence_.load(std::memory_order_acquire);
      if (before & 1u) continue;
      for (size_t i = 0; i < kWords; ++i)
        w[i] = words_[i].load(std::memory_order_acquire);
      if (sequence_.load(std::memory_order_relaxed) == before) break;
    }
    memcpy(out, w, kCapacity);
    out[kCapacity - 1] = '\0';
  }

private:
  static constexpr size_t kWords = kCapacity / sizeof(uint64_t);
  static_assert(kCapacity % sizeof(uint64_t) == 0);

  // The text as the slot stores it: cut, terminated, zero-padded to the whole buffer, so that
  // equal texts give equal words.
  static void Pack(const char* text, uint64_t (&w)[kWords]) {
    char bytes[kCapacity] = {};
    size_t n = text ? strnlen(text, kCapacity) : 0;
    if (n >= kCapacity) {
      n = kCapacity - 1;
      // Never leave half a character: back off over UTF-8 continuation bytes.
      while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    }
    if (n) memcpy(bytes, text, n);
    memcpy(w, bytes, kCapacity);
  }

  std::atomic<uint32_t> sequence_{0};
  std::atomic<uint64_t> words_[kWords];
};
