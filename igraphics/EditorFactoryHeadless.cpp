// The headless editor: paints into an in-memory screen, for builds without a window of their own
// and for tests and offline tools.
#include "igraphics/IGraphicsHeadless.h"
#include "igraphics/IGraphicsPlatform.h"

IGraphics* MakeEditor(IPlugBase* plug, int width, int height, int framesPerSecond, void* module) {
  auto* editor = new IGraphicsHeadless(plug, width, height, framesPerSecond);
  editor->SetModuleInstance(module);
  return editor;
}
