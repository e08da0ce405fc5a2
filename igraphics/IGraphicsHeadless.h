#pragma once
// The editor without a window system: it presents into an in-memory screen bitmap, loads its
// images from the module's resources and answers prompts from a script. Tests and tools drive
// it like a window would (OpenEditorWindow, Tick for the window timer, the input operations of
// IGraphics) and read the presented pixels back. Until a platform window exists, every build
// uses it.
//
// Threads: like a window, it is used on one user-interface thread; see IGraphics.h.

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "igraphics/IGraphics.h"

class LICE_MemBitmap;

class IGraphicsHeadless : public IGraphics {
public:
  IGraphicsHeadless(IPlugBase* plug, int width, int height, int framesPerSecond = 0);
  ~IGraphicsHeadless() override;

  // The module whose resources LoadPngResource reads; null (the default) is the module this
  // code is linked into.
  void SetModuleInstance(void* module) { module_ = module; }
  void* ModuleInstance() const { return module_; }

  // --- the window ----------------------------------------------------------------------------
  // What the window shows: every presented rect is copied here from the back buffer. Black
  // before the first present.
  LICE_MemBitmap& Screen() { return *screen_; }
  int PresentCount() const { return presentCount_; }
  const ControlRect& LastPresentedRect() const { return lastPresented_; }

  // One tick of the window timer (a no-op while the window is closed): an open text entry takes
  // the tick while it has a request pending; otherwise the dirty controls are collected and, with
  // any, the rect is redrawn and presented, together with whatever was invalidated meanwhile.
  // True when something was painted. Allocates nothing.
  bool Tick();

  // --- prompts -------------------------------------------------------------------------------
  struct PromptRequest {
    enum Kind { Menu, TextEntry, Message };
    Kind kind = Menu;
    IControl* control = nullptr;     // text entry
    IPlugParam* param = nullptr;     // text entry, may be null
    ControlRect rect;                // menu and text entry
    std::string text;                // the text entry's initial text, the message text
    TextStyle style;                 // text entry
    int limit = 0;                   // text entry: most characters the box takes
    std::vector<std::string> labels; // menu: the top menu's item labels as shown
    std::vector<int32_t> flags;      // menu: the flags of each item
  };
  // Every prompt opened so far, oldest first.
  const std::vector<PromptRequest>& Prompts() const { return prompts_; }
  void ClearPrompts() { prompts_.clear(); }

  // Scripted answers, taken by the prompts in the order they open. A text answer is typed into
  // the next text entry (characters the parameter does not take are swallowed, as the box
  // does) and confirmed with Enter; a menu choice picks the item with that id in the next menu
  // (ids count items from 0 through the menu and then its submenus, separators included);
  // dismiss is Escape. An answer of the wrong kind dismisses the prompt. Without an answer, a
  // menu is dismissed and a text entry stays open.
  void QueueTextAnswer(const char* typed);
  void QueueMenuChoice(int itemId);
  void QueueDismiss();
  int PendingAnswers() const { return static_cast<int>(answers_.size()); }

  // The open text entry, typed into like the real box: the initial text is selected, so the
  // first typed character replaces it; backspace deletes.
  bool TextEntryOpen() const { return entry_.open; }
  const std::string& TextEntryText() const { return entry_.text; }
  int TextEntryState() const { return entry_.state; }
  void TypeText(const char* chars);
  void PressEnter();  // commit at the next tick
  void PressEscape(); // cancel at the next tick

  // What ShowMessage answers (1: OK).
  int messageAnswer = 1;

  // --- platform operations ------------------------------------------------------------------
  bool PresentRect(const ControlRect& rect) override;
  void CancelTextEntry() override;
  int ShowMessage(const char* text, const char* caption, int type) override;
  PopupMenu* ShowPopupMenu(PopupMenu* menu, const ControlRect& rect) override;
  void ShowTextEntry(IControl* control, const TextStyle& style, const ControlRect& rect,
                     const char* text, IPlugParam* param) override;
  // No directories without a desktop: all empty.
  void HostDirectory(std::string& out) override { out.clear(); }
  void PluginDirectory(std::string& out) override { out.clear(); }
  void DesktopDirectory(std::string& out) override { out.clear(); }
  void DocumentsDirectory(std::string& out) override { out.clear(); }
  void AppDataDirectory(std::string& out, bool) override { out.clear(); }
  void UserAppDataDirectory(std::string& out) override { AppDataDirectory(out, false); }
  // Dialogs answer as cancelled.
  void AskForFile(std::string& file, int action, std::string& directory,
                  const char* extensions) override;
  bool AskForColour(ControlColor&, const char*) override { return false; }
  bool OpenWebPage(const char*, const char*, const char*, const char*) override { return false; }
  // The window handle is this object while the window is open.
  void* OpenEditorWindow(void* parent) override;
  void CloseEditorWindow() override;
  void* WindowHandle() override { return open_ ? this : nullptr; }
  bool ClipboardText(std::string& out) override;
  double ScreenScale() override { return 1.0; }
  void ReservedSlot30() override {}
  LICE_IBitmap* LoadPngResource(int resourceId, const char* name) override;

  void* ParentWindow() const { return parent_; }

private:
  struct Answer {
    enum Kind { Text, MenuChoice, Dismiss } kind;
    std::string text;
    int itemId = -1;
  };
  struct TextEntry {
    bool open = false;
    bool selected = false;
    int state = 0; // 0 idle, 2 repainted around the box, 3 cancel, 4 commit
    int limit = 0;
    IControl* control = nullptr;
    IPlugParam* param = nullptr;
    std::string text;
  };

  bool TakeAnswer(Answer* answer);
  void CloseTextEntry();
  void Invalidate(const ControlRect& rect) { invalid_ = invalid_.Union(rect); }

  void* module_;
  void* parent_ = nullptr;
  bool open_ = false;
  std::unique_ptr<LICE_MemBitmap> screen_;
  int presentCount_ = 0;
  ControlRect lastPresented_;
  ControlRect invalid_; // area waiting for a paint, beside the dirty controls
  std::vector<PromptRequest> prompts_;
  std::deque<Answer> answers_;
  TextEntry entry_;
};
