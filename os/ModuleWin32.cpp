// The DLL entry routine of a plug-in module: remembers the module handle, for every reason.
#include <windows.h>

#include "os/Module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD, LPVOID) {
  zt::os::StoreModuleHandle(module);
  return TRUE;
}
