#pragma once
// The one seam between a plug-in and the platform's editor window. The plug-in asks for an editor
// here and never names the kind; which kind it gets is decided by the library its build links:
// zt_editor_platform gives the Windows editor window (IGraphicsWin) on Windows and the headless
// editor elsewhere, zt_editor_headless always the headless editor (tests and offline tools).

class IGraphics;
class IPlugBase;

// A new editor for plug, owned by the caller (normally handed to AttachEditor), whose images come
// from the resources of module (null: the module this code is linked into).
IGraphics* MakeEditor(IPlugBase* plug, int width, int height, int framesPerSecond, void* module);
