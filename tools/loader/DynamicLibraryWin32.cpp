#include "tools/loader/DynamicLibrary.h"

#include <filesystem>
#include <system_error>

#include <windows.h>

namespace zt::loader {

namespace {
std::string LastErrorText() {
  const DWORD code = GetLastError();
  char* text = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result = n && text ? std::string(text, n) : "error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!result.empty() &&
         (result.back() == '\n' || result.back() == '\r' || result.back() == ' '))
    result.pop_back();
  return result;
}
} // namespace

void* OpenLibrary(const std::string& path, std::string* error) {
  // A relative name means the file from the working folder, not a search of the DLL path.
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  const std::string file = ec ? path : absolute.string();
  // No message box for a file that is no DLL.
  const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE library = LoadLibraryA(file.c_str());
  if (!library && error) {
    *error = LastErrorText();
    // Some system texts keep a placeholder for the file name.
    if (const size_t at = error->find("%1"); at != std::string::npos) error->replace(at, 2, path);
  }
  SetErrorMode(oldMode);
  return reinterpret_cast<void*>(library);
}

void* FindSymbol(void* library, const char* name) {
  // GetProcAddress looks only at the module's own export table.
  if (!library) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(void* library) {
  if (library) FreeLibrary(static_cast<HMODULE>(library));
}

} // namespace zt::loader
