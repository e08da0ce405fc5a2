// The Windows build's editor: a Win32 child window in the host's window.
#include "igraphics/IGraphicsPlatform.h"
#include "igraphics/IGraphicsWin.h"

IGraphics* MakeEditor(IPlugBase* plug, int width, int height, int framesPerSecond, void* module) {
  auto* editor = new IGraphicsWin(plug, width, height, framesPerSecond);
  editor->SetModuleInstance(module);
  return editor;
}
