#include "tools/loader/DynamicLibrary.h"

#include <cstring>
#include <dlfcn.h>
#include <link.h>

namespace zt::loader {

void* OpenLibrary(const std::string& path, std::string* error) {
  // A bare file name would make dlopen search the library path; the user means this file.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  int flags = RTLD_NOW | RTLD_LOCAL;
#if defined(ZT_SANITIZED)
  // Under the sanitizers a closed module stays mapped: the libraries it brought in (cairo,
  // pixman) keep static caches for the life of the process, and unmapped they would read as
  // leaks; mapped, the leak checker can also name the module's code in its reports.
  flags |= RTLD_NODELETE;
#endif
  dlerror();
  void* library = dlopen(file.c_str(), flags);
  if (!library && error) {
    const char* why = dlerror();
    *error = why ? why : "unknown reason";
  }
  return library;
}

void* FindSymbol(void* library, const char* name) {
  if (!library) return nullptr;
  void* symbol = dlsym(library, name);
  if (!symbol) return nullptr;
  // dlsym also searches the library's dependencies: a "main" found there is not an entry.
  link_map* map = nullptr;
  Dl_info info{};
  if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || !map || !dladdr(symbol, &info) ||
      !info.dli_fname || !map->l_name || strcmp(info.dli_fname, map->l_name) != 0)
    return nullptr;
  return symbol;
}

void CloseLibrary(void* library) {
  if (library) dlclose(library);
}

} // namespace zt::loader
