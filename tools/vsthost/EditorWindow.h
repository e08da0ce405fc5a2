#pragma once
// A plug-in's editor shown in a top-level window of its own, as a host shows it: the window is
// sized from the editor rectangle (opcode 13), the editor opened in it (opcode 14), messages
// pumped while a test signal runs through the plug-in, and the editor closed (opcode 15). One
// file per platform: EditorWindowWin32.cpp, EditorWindowPosix.cpp (no editor windows there).

#include <functional>
#include <string>

class VstPlugin;

// Shows the editor for `seconds`, calling `block` about every 10 ms to run audio, then closes it.
// False with a one-line reason when the plug-in has no editor or it cannot be shown here.
bool ShowEditorWindow(VstPlugin& plug, double seconds, const std::function<void()>& block,
                      std::string* error);
