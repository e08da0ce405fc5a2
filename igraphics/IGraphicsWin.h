#pragma once
// The editor as a Win32 child window inside the host's parent window: a window timer redraws the
// dirty controls into the back buffer, WM_PAINT copies the updated area from the back buffer's
// DIB section, and mouse and key messages become the editor's input operations. The prompts (menus,
// the text-entry box, dialogs, message boxes) and the small platform services (directories,
// cursor, screen scale, resources) are here too. Windows builds only.
//
// Threads: everything runs on the host's user-interface thread, without the instance mutex; the
// values read from controls may change under it (IGraphics.h). Only the last presented frame is
// handed to other threads, under a lock of its own (CopyPresentedFrame).

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "igraphics/IGraphics.h"

class LICE_MemBitmap;

class IGraphicsWin : public IGraphics {
public:
  IGraphicsWin(IPlugBase* plug, int width, int height, int framesPerSecond = 0);
  ~IGraphicsWin() override; // closes an open window first

  // The plug-in module (an HINSTANCE): the window class, the window and the resources belong to
  // it. The plug-in sets it right after constructing the editor.
  void SetModuleInstance(void* module) { module_ = module; }
  void* ModuleInstance() const { return module_; }

  // --- platform operations ------------------------------------------------------------------
  // Reached only from WM_PAINT (through RedrawRect): copies rect of the back buffer to the window.
  bool PresentRect(const ControlRect& rect) override;
  void CancelTextEntry() override; // the open text entry is cancelled at the next tick
  void SetEditorSize(int width, int height) override;
  const char* DrawingApiName() override { return "Windows GDI"; }
  int ShowMessage(const char* text, const char* caption, int type) override;
  PopupMenu* ShowPopupMenu(PopupMenu* menu, const ControlRect& rect) override;
  void ShowTextEntry(IControl* control, const TextStyle& style, const ControlRect& rect,
                     const char* text, IPlugParam* param) override;
  void HostDirectory(std::string& out) override;
  void PluginDirectory(std::string& out) override;
  void DesktopDirectory(std::string& out) override;
  void DocumentsDirectory(std::string& out) override;
  void AppDataDirectory(std::string& out, bool common) override;
  void UserAppDataDirectory(std::string& out) override;
  void AskForFile(std::string& file, int action, std::string& directory,
                  const char* extensions) override;
  bool AskForColour(ControlColor& colour, const char* prompt) override;
  bool OpenWebPage(const char* url, const char* caption, const char* confirmText,
                   const char* errorText) override;
  // parent is the host's window (an HWND); returns the editor window, or null on failure.
  void* OpenEditorWindow(void* parent) override;
  void CloseEditorWindow() override;
  void* WindowHandle() override { return window_; }
  bool ClipboardText(std::string& out) override;
  double ScreenScale() override;
  void SetCursorShape(int shape) override;
  void HideCursor() override;
  void RestoreCursor() override;
  void ReservedSlot30() override {}
  LICE_IBitmap* LoadPngResource(int resourceId, const char* name) override;
  bool HasSystemWindow() const override { return true; }
  // While the window is open: the frame last copied to it (no painting); false when closed.
  bool CopyPresentedFrame(uint32_t* pixels, int width, int height, int rowPixels) override;

  // --- what tests and tools look at -------------------------------------------------------------
  void* TextEntryBox() const { return entry_.box; } // an HWND, or null
  int TextEntryState() const { return entry_.state; }
  void* ParentWindow() const { return parent_; }
  // How many editor windows of the process hold the window class registered.
  static int ClassRegistrations();
  static constexpr int kTimerId = 2;
  static constexpr int kTextEntryId = 99;

private:
  friend struct WinProcedures; // the window and text-entry procedures (IGraphicsWin.cpp)

  struct TextEntry {
    void* box = nullptr;  // HWND of the "EDIT" child
    void* font = nullptr; // HFONT, made for the box and deleted with it
    IControl* control = nullptr;
    IPlugParam* param = nullptr;
    intptr_t previousProc = 0; // the box's own window procedure
    int state = 0;             // 0 idle, 1 focused, 2 repainted around the box, 3 cancel, 4 commit
  };

  intptr_t HandleMessage(unsigned message, uintptr_t wParam, intptr_t lParam);
  intptr_t HandleMouse(unsigned message, uintptr_t wParam, intptr_t lParam);
  intptr_t HandleKey(unsigned message, uintptr_t wParam, intptr_t lParam);
  void Tick();
  void TextEntryTick();
  void ApplyTextEntry();
  void CloseTextEntry();
  void WindowGone();
  MouseMods Modifiers(uintptr_t wParam) const;
  void ClearTooltip();
  void SetTooltipText(const char* text);
  void* HostMainWindow();

  void* module_ = nullptr;
  void* window_ = nullptr; // HWND while open
  void* parent_ = nullptr; // kept after closing
  TextEntry entry_;
  void* tooltip_ = nullptr;
  bool tooltipShown_ = false;
  int tooltipIndex_ = -1;
  std::unique_ptr<uint32_t[]> customColours_; // 16 COLORREFs, made on first use
  uint32_t processId_ = 0;
  void* hostMainWindow_ = nullptr;
  std::string hostMainClass_;
  bool pressEnded_ = false; // the press ended when it lost the capture; its release is ignored
  bool cursorHidden_ = false;
  int savedCursorX_ = -1, savedCursorY_ = -1;
  std::mutex frameLock_;                      // guards presented_
  std::unique_ptr<LICE_MemBitmap> presented_; // what the window shows
};
