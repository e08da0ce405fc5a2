#pragma once
// The session key that keeps shared segments of test sessions apart.

#include <string>

namespace zt::os {

// The usable value of ZOLVARTESK_SESSION (1 to 64 letters, digits, '.', '_' or '-'), or "" when
// it is absent or unusable; an unusable value is ignored, never an error.
std::string SessionKey();

} // namespace zt::os
