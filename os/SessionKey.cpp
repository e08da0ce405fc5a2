#include "os/SessionKey.h"

#include <cstdlib>
#include <cstring>

namespace zt::os {

std::string SessionKey() {
  const char* v = getenv("ZOLVARTESK_SESSION");
  if (!v) return {};
  const size_t n = strlen(v);
  if (n == 0 || n > 64) return {};
  for (size_t i = 0; i < n; ++i) {
    const char c = v[i];
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '_' || c == '-';
    if (!ok) return {};
  }
  return std::string(v, n);
}

} // namespace zt::os
