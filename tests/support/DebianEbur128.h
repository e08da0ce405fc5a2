#pragma once
// Debian's own build of libebur128 (libebur128.so.1), opened beside the static one we build and
// link, so that tests and benchmarks can hold the two side by side in one process. The
// library's functions are reached through the handle only: our static copy keeps the names.

#include <dlfcn.h>

#include <cstddef>
#include <string>

#include <ebur128.h>

class DebianEbur128 {
public:
  DebianEbur128() {
    handle_ = dlopen(kSoname, RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
      const char* why = dlerror();
      error_ = std::string("cannot open ") + kSoname +
               " (Debian package libebur128-1): " + (why ? why : "?");
      return;
    }
    if (!Bind(init, "ebur128_init") || !Bind(destroy, "ebur128_destroy") ||
        !Bind(add_frames_double, "ebur128_add_frames_double") ||
        !Bind(loudness_momentary, "ebur128_loudness_momentary") ||
        !Bind(loudness_global, "ebur128_loudness_global") ||
        !Bind(set_channel, "ebur128_set_channel"))
      return;
  }
  ~DebianEbur128() {
    if (handle_) dlclose(handle_);
  }
  DebianEbur128(const DebianEbur128&) = delete;
  DebianEbur128& operator=(const DebianEbur128&) = delete;

  // Empty when every function was found.
  const std::string& Error() const { return error_; }

  ebur128_state* (*init)(unsigned int, unsigned long, int) = nullptr;
  void (*destroy)(ebur128_state**) = nullptr;
  int (*add_frames_double)(ebur128_state*, const double*, size_t) = nullptr;
  int (*loudness_momentary)(ebur128_state*, double*) = nullptr;
  int (*loudness_global)(ebur128_state*, double*) = nullptr;
  int (*set_channel)(ebur128_state*, unsigned int, int) = nullptr;

private:
  static constexpr const char* kSoname = "libebur128.so.1";

  template <typename F> bool Bind(F& f, const char* name) {
    f = reinterpret_cast<F>(dlsym(handle_, name));
    if (!f) error_ = std::string(kSoname) + " has no " + name;
    return f != nullptr;
  }

  void* handle_ = nullptr;
  std::string error_;
};
