#pragma once
// Loading a shared library and finding its exports: the host harnesses' one platform seam, with
// one file per platform (DynamicLibraryPosix.cpp, DynamicLibraryWin32.cpp).

#include <string>

namespace zt::loader {

// Loads the library at `path` with all its symbols bound now. Null with a one-line *error
// (the system's reason) when it cannot be loaded.
void* OpenLibrary(const std::string& path, std::string* error);
// The address of `name` when the library itself defines it (not one of its dependencies), or
// null.
void* FindSymbol(void* library, const char* name);
void CloseLibrary(void* library);

} // namespace zt::loader
