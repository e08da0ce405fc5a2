// The Windows editor's prompts and input in a real window, driven through window messages: the
// popup menu (its numbering and flags, and the choice of AskForParamValue), the message box, the
// clipboard, the dialogs without a window, keys passed on to the host, the wheel, the mouse
// capture, closing from another thread, and GDI text. Under Wine with a virtual X server; Windows
// builds only. Modal loops (menus, message boxes) are answered from a timer that runs inside them.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "igraphics/IGraphicsWin.h"
#include "tests/igraphics/EditorRig.h"
#include "tests/support/FreedMemoryPoison.h"
#include "tests/support/TestHostWindow.h"
#include "tests/support/WindowPump.h"

namespace {

// A control that records what reaches it.
class Probe : public IControl {
public:
  Probe(IPlugBase* plug, const ControlRect& r, int param) : IControl(plug, r, param) {}
  bool Paint(IGraphics*) override {
    ++paints;
    return true;
  }
  void HandleWheel(int, int, const MouseMods&, int notches) override { wheel.push_back(notches); }
  void HandleMouseDrag(int, int, int, int, const MouseMods&) override { ++drags; }
  void HandleMouseUp(int, int, const MouseMods&) override { ++ups; }
  std::vector<int> wheel;
  int drags = 0, ups = 0, paints = 0;
};

// What the host's windows saw of the keys the editor passed on, and of commands.
std::vector<WPARAM> gHostKeys;
std::vector<WPARAM> gHostCommands;
// A host that hands the keys its window gets to the window with the focus, as some hosts do for
// their plug-ins' windows. At most this deep, so that a loop shows as a count, not a stack
// overflow.
bool gForwardKeysToFocus = false;
int gForwardDepth = 0;
constexpr int kMaxForwardDepth = 16;

LRESULT CALLBACK HostProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_COMMAND) gHostCommands.push_back(wp);
  if (m == WM_KEYDOWN) {
    gHostKeys.push_back(wp);
    HWND focus = GetFocus();
    if (gForwardKeysToFocus && focus && focus != w && gForwardDepth < kMaxForwardDepth) {
      ++gForwardDepth;
      SendMessageA(focus, m, wp, lp);
      --gForwardDepth;
    }
  }
  return DefWindowProcA(w, m, wp, lp);
}

struct WinRig {
  // addControls adds the editor's controls after the probe, before the editor is attached.
  explicit WinRig(const std::function<void(IGraphicsWin*, TestPlug&)>& addControls = {}) {
    static const bool registered = [] {
      WNDCLASSA wc{};
      wc.lpfnWndProc = HostProc;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.lpszClassName = "ZtPromptHost";
      return RegisterClassA(&wc) != 0;
    }();
    (void)registered;
    host = CreateWindowExA(0, "ZtPromptHost", "prompt host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 30,
                           30, 300, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    editor = new IGraphicsWin(&plug, 200, 100);
    editor->SetModuleInstance(GetModuleHandleA(nullptr));
    probe = new Probe(&plug, {10, 10, 110, 40}, kParamSwitch);
    editor->AddControl(probe);
    if (addControls) addControls(editor, plug);
    plug.AttachEditor(editor);
    window = static_cast<HWND>(editor->OpenEditorWindow(host));
    PumpMessages(30);
  }
  ~WinRig() {
    editor->CloseEditorWindow();
    DestroyWindow(host);
  }
  TestPlug plug;
  IGraphicsWin* editor;
  Probe* probe;
  HWND host, window;
};

// Runs `answer` on the first tick of a 30 ms timer that finds a window of class `className`
// (the menu or dialog a modal loop shows); the timer stops once it did.
struct ModalAnswer {
  static inline const char* className = nullptr;
  static inline std::function<void(HWND)> answer;
  static inline bool answered = false;
  static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD) {
    HWND w = FindWindowA(className, nullptr);
    if (!w || answered) return;
    answered = true;
    KillTimer(nullptr, id);
    answer(w);
  }
  ModalAnswer(const char* cls, std::function<void(HWND)> fn) {
    className = cls;
    answer = std::move(fn);
    answered = false;
    SetTimer(nullptr, 0, 30, &Tick);
  }
};

void Keys(HWND w, std::initializer_list<WPARAM> keys) {
  for (WPARAM k : keys)
    PostMessageA(w, WM_KEYDOWN, k, 0);
}

// A Bool with display texts asks through a menu of its texts, the current one checked; the
// choice reaches the control and, through it, the parameter.
TEST(WinPrompts, ABoolAsksThroughAMenuOfItsTexts) {
  WinRig rig;
  std::vector<std::string> labels;
  std::vector<bool> checked;
  ModalAnswer a("#32768", [&](HWND menuWindow) {
    auto menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      char text[64] = {};
      GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
      labels.push_back(text);
      checked.push_back(GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_CHECKED);
    }
    Keys(menuWindow, {VK_DOWN, VK_DOWN, VK_RETURN});
  });
  rig.editor->AskForParamValue(rig.probe, rig.plug.GetParam(kParamSwitch), &rig.probe->Rect());
  EXPECT_EQ(labels, (std::vector<std::string>{"off", "on"}));
  EXPECT_EQ(checked, (std::vector<bool>{true, false}));
  EXPECT_EQ(rig.plug.GetParam(kParamSwitch)->Value(), 1.0);
}

// Numbering puts the position in front of the text; flags become the menu's states; a cancelled
// menu chooses nothing.
TEST(WinPrompts, MenuNumberingFlagsAndCancel) {
  WinRig rig;
  PopupMenu menu;
  menu.numbering = 2;
  menu.AddItem("first");
  menu.AddItem("greyed", PopupMenuItem::Greyed);
  menu.AddItem("checked", PopupMenuItem::Checked);
  std::vector<std::string> labels;
  UINT greyedState = 0;
  ModalAnswer a("#32768", [&](HWND menuWindow) {
    auto h = reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(h); ++i) {
      char text[64] = {};
      GetMenuStringA(h, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
      labels.push_back(text);
    }
    greyedState = GetMenuState(h, 1, MF_BYPOSITION);
    Keys(menuWindow, {VK_DOWN, VK_RETURN});
  });
  PopupMenu* chosen = rig.editor->ShowPopupMenu(&menu, {10, 10, 110, 40});
  EXPECT_EQ(labels, (std::vector<std::string>{"01: first", "02: greyed", "03: checked"}));
  EXPECT_TRUE(greyedState & MF_GRAYED);
  EXPECT_EQ(chosen, &menu);
  EXPECT_EQ(menu.chosenIndex, 0);

  PopupMenu other;
  other.AddItem("one");
  ModalAnswer cancel("#32768", [](HWND menuWindow) { Keys(menuWindow, {VK_ESCAPE}); });
  EXPECT_EQ(rig.editor->ShowPopupMenu(&other, {10, 10, 110, 40}), nullptr);
  EXPECT_EQ(other.chosenIndex, -1);
}

// A message box is owned by the host's main window and answers what the user pressed.
TEST(WinPrompts, MessageBoxBelongsToTheHostsWindow) {
  WinRig rig;
  HWND owner = nullptr;
  ModalAnswer a("#32770", [&](HWND dialog) {
    owner = GetWindow(dialog, GW_OWNER);
    PostMessageA(dialog, WM_COMMAND, IDNO, 0);
  });
  EXPECT_EQ(rig.editor->ShowMessage("Replace?", "ZolvarTesk", MB_YESNO), IDNO);
  EXPECT_EQ(owner, rig.host);
  // A confirmation answered No opens no web page.
  ModalAnswer b("#32770", [](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDNO, 0); });
  EXPECT_FALSE(rig.editor->OpenWebPage("https://example.invalid/", "web", "Open it?", nullptr));
}

TEST(WinPrompts, ClipboardTextComesAsUtf8) {
  WinRig rig;
  const wchar_t text[] = L"\x00E7"
                         L"a -18";
  ASSERT_TRUE(OpenClipboard(rig.window));
  EmptyClipboard();
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, sizeof text);
  memcpy(GlobalLock(mem), text, sizeof text);
  GlobalUnlock(mem);
  SetClipboardData(CF_UNICODETEXT, mem);
  CloseClipboard();
  std::string out;
  EXPECT_TRUE(rig.editor->ClipboardText(out));
  EXPECT_EQ(out, "\xC3\xA7"
                 "a -18");
}

TEST(WinPrompts, WithoutAWindowTheDialogsAnswerNothing) {
  WinRig rig;
  rig.editor->CloseEditorWindow();
  std::string file = "x.wav", dir;
  rig.editor->AskForFile(file, 0, dir, "wav aif");
  EXPECT_EQ(file, "");
  ControlColor colour{255, 1, 2, 3};
  EXPECT_FALSE(rig.editor->AskForColour(colour, "Colour"));
  EXPECT_EQ(colour, (ControlColor{255, 1, 2, 3}));
}

// The first edit box among a dialog's descendants (the file name of a file dialog).
HWND FirstEdit(HWND parent) {
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    char cls[16] = {};
    GetClassNameA(c, cls, sizeof cls);
    if (_stricmp(cls, "Edit") == 0 && IsWindowVisible(c)) return c;
    if (HWND inner = FirstEdit(c)) return inner;
  }
  return nullptr;
}

// The colour chooser carries the prompt as its title; OK keeps the starting colour and answers
// true, Cancel answers false.
TEST(WinPrompts, TheColourChooserShowsThePrompt) {
  WinRig rig;
  char title[64] = {};
  ModalAnswer a("#32770", [&](HWND dialog) {
    GetWindowTextA(dialog, title, sizeof title);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  });
  ControlColor colour{128, 10, 200, 30};
  EXPECT_TRUE(rig.editor->AskForColour(colour, "Meter colour"));
  EXPECT_STREQ(title, "Meter colour");
  EXPECT_EQ(colour, (ControlColor{128, 10, 200, 30}));
  ModalAnswer b("#32770", [](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); });
  EXPECT_FALSE(rig.editor->AskForColour(colour, "Meter colour"));
}

// The save dialog starts in the given folder, adds the first extension to a bare name and
// answers the path and its folder; a cancelled dialog empties the file.
TEST(WinPrompts, TheSaveDialogAnswersPathAndFolder) {
  WinRig rig;
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  std::string folder = std::string(temp) + "zt-dialog-test\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  ModalAnswer a("#32770", [](HWND dialog) {
    HWND name = FirstEdit(dialog);
    if (name) SetWindowTextA(name, "take1");
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  });
  std::string file, directory = folder;
  rig.editor->AskForFile(file, 1, directory, "wav aif");
  EXPECT_EQ(file, folder + "take1.wav");
  EXPECT_EQ(directory, folder);

  ModalAnswer b("#32770", [](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); });
  file = "take2.wav";
  rig.editor->AskForFile(file, 0, directory, "wav");
  EXPECT_EQ(file, "");
  RemoveDirectoryA(folder.c_str());
}

// Hiding the cursor remembers where it was, once; restoring puts it back there.
TEST(WinServices, RestoringTheCursorPutsItBack) {
  WinRig rig;
  SetCursorPos(120, 110);
  rig.editor->HideCursor();
  SetCursorPos(300, 200);
  rig.editor->HideCursor(); // already hidden: the first position stays
  rig.editor->RestoreCursor();
  POINT p{};
  GetCursorPos(&p);
  EXPECT_EQ(p.x, 120);
  EXPECT_EQ(p.y, 110);
}

// A new editor size resizes the window and the host's child window around it by the same
// difference; the host's top-level window keeps its size.
TEST(WinServices, ANewSizeGrowsTheWindowAndTheHostsPanel) {
  WinRig rig;
  rig.editor->CloseEditorWindow();
  HWND panel = CreateWindowExA(0, "ZtPromptHost", "", WS_CHILD | WS_VISIBLE, 0, 0, 250, 150,
                               rig.host, nullptr, GetModuleHandleA(nullptr), nullptr);
  auto size = [](HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    return std::make_pair(static_cast<int>(r.right - r.left), static_cast<int>(r.bottom - r.top));
  };
  const auto hostBefore = size(rig.host);
  HWND window = static_cast<HWND>(rig.editor->OpenEditorWindow(panel));
  ASSERT_NE(window, nullptr);
  rig.editor->SetEditorSize(230, 130);
  EXPECT_EQ(rig.editor->Width(), 230);
  EXPECT_EQ(size(window), std::make_pair(230, 130));
  EXPECT_EQ(size(panel), std::make_pair(280, 180));
  EXPECT_EQ(size(rig.host), hostBefore);
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 230);
  EXPECT_EQ(client.bottom, 130);
}

TEST(WinServices, DirectoriesScaleAndWindowState) {
  WinRig rig;
  std::string host, plugin;
  rig.editor->HostDirectory(host);
  rig.editor->PluginDirectory(plugin);
  ASSERT_FALSE(host.empty());
  EXPECT_EQ(host.back(), '\\');
  EXPECT_EQ(plugin, host); // the module here is the test program itself
  EXPECT_GE(rig.editor->ScreenScale(), 1.0);
  EXPECT_STREQ(rig.editor->DrawingApiName(), "Windows GDI");
  EXPECT_TRUE(rig.editor->IsWindowOpen());
  EXPECT_EQ(IGraphicsWin::ClassRegistrations(), 1);
}

// Keys: a key with a number that no control takes, and one without a number (Escape), both reach
// the host's window; the wheel counts whole notches of 120; a middle-button move is no drag.
TEST(WinInput, KeysGoToTheHostAndTheWheelCountsNotches) {
  WinRig rig;
  gHostKeys.clear();
  SetCursorPos(30 + 40, 30 + 40);
  SendMessageA(rig.window, WM_KEYDOWN, 'Q', 0);
  SendMessageA(rig.window, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_EQ(gHostKeys, (std::vector<WPARAM>{'Q', VK_ESCAPE}));

  RECT r{};
  GetWindowRect(rig.window, &r);
  const LPARAM over = MAKELPARAM(r.left + 20, r.top + 20);
  SendMessageA(rig.window, WM_MOUSEWHEEL, MAKEWPARAM(0, 60), over);
  SendMessageA(rig.window, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-240)), over);
  EXPECT_EQ(rig.probe->wheel, (std::vector<int>{0, -2}));

  SendMessageA(rig.window, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(20, 20));
  SendMessageA(rig.window, WM_MOUSEMOVE, MK_MBUTTON, MAKELPARAM(40, 25));
  SendMessageA(rig.window, WM_MBUTTONUP, 0, MAKELPARAM(40, 25));
  EXPECT_EQ(rig.probe->drags, 0);
  SendMessageA(rig.window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
  SendMessageA(rig.window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(40, 25));
  SendMessageA(rig.window, WM_LBUTTONUP, 0, MAKELPARAM(40, 25));
  EXPECT_EQ(rig.probe->drags, 1);
}

// A host that hands the keys its window gets to the focused window sends the keys the editor
// passed on straight back to it: the editor passes each key on once instead of back and forth.
TEST(WinInput, KeysAHostSendsBackArePassedOnOnce) {
  WinRig rig;
  SetFocus(rig.window);
  ASSERT_EQ(GetFocus(), rig.window);
  gHostKeys.clear();
  gForwardKeysToFocus = true;
  SendMessageA(rig.window, WM_KEYDOWN, 'Q', 0);
  SendMessageA(rig.window, WM_KEYDOWN, VK_ESCAPE, 0);
  gForwardKeysToFocus = false;
  EXPECT_EQ(gHostKeys, (std::vector<WPARAM>{'Q', VK_ESCAPE}));
  // The next key, from the host's own loop, is passed on as before.
  SendMessageA(rig.window, WM_KEYDOWN, 'W', 0);
  EXPECT_EQ(gHostKeys, (std::vector<WPARAM>{'Q', VK_ESCAPE, 'W'}));
}

// A press whose mouse capture is lost before the release (another window takes it, or someone
// releases it) still ends: its control is told, and the host gets the end of the edit the press
// began, once, even when the release then arrives anyway. A plain click ends once as before.
TEST(WinInput, APressThatLosesTheCaptureEndsItsEdit) {
  using Ev = IPlugTest::HostEvent;
  struct Loss {
    const char* how;
    void (*lose)(HWND host);
    bool releaseArrives;
  };
  const Loss losses[] = {
      {"another window takes the capture", [](HWND host) { SetCapture(host); }, false},
      {"a plain click", [](HWND) {}, true},
      {"the capture is released, the release arrives after", [](HWND) { ReleaseCapture(); }, true},
  };
  // One editor for all: the click after a press that lost its capture ends as any other.
  WinRig rig;
  for (const Loss& l : losses) {
    SCOPED_TRACE(l.how);
    rig.plug.events.clear();
    rig.probe->drags = rig.probe->ups = 0;
    SendMessageA(rig.window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
    SendMessageA(rig.window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(40, 25));
    EXPECT_EQ(GetCapture(), rig.window);
    l.lose(rig.host);
    if (l.releaseArrives) SendMessageA(rig.window, WM_LBUTTONUP, 0, MAKELPARAM(40, 25));
    ReleaseCapture();
    std::vector<Ev::Kind> kinds;
    for (const Ev& e : rig.plug.events)
      if (e.index == kParamSwitch) kinds.push_back(e.kind);
    EXPECT_EQ(kinds, (std::vector<Ev::Kind>{Ev::BeginEdit, Ev::EndEdit}));
    EXPECT_EQ(rig.probe->drags, 1);
    EXPECT_EQ(rig.probe->ups, 1);
    EXPECT_EQ(rig.editor->CaptureIndex(), -1);
  }
}

// A control whose press asks for its value through a menu and then for a note through a text
// entry.
class AsksTwice : public IControl {
public:
  AsksTwice(IPlugBase* plug, const ControlRect& r, int param) : IControl(plug, r, param) {
    SetPromptDisabled(false);
  }
  bool Paint(IGraphics*) override { return true; }
  void HandleMouseDown(int, int, const MouseMods&) override {
    AskForValue();
    if (IGraphics* editor = Editor())
      editor->ShowTextEntry(this, GetTextStyle(), rect_, "", nullptr);
  }
};

// The editor's window closes while a menu it opened runs its modal loop (the host closes the
// editor, or destroys its own window): afterwards the menu chooses nothing and takes nothing from
// the thread's other windows (a command posted to another window reaches it), and the text entry
// asked for next opens no box (without its window it would be a top-level one).
TEST(WinPrompts, PromptsWhoseWindowClosedInAMenuTakeNothing) {
  struct Closing {
    const char* how;
    void (*close)(WinRig& rig);
  };
  const Closing closings[] = {
      {"the host closes the editor", [](WinRig& rig) { rig.editor->CloseEditorWindow(); }},
      {"the host destroys its window", [](WinRig& rig) { DestroyWindow(rig.host); }},
  };
  for (const Closing& c : closings) {
    SCOPED_TRACE(c.how);
    WinRig rig([](IGraphicsWin* editor, TestPlug& plug) {
      editor->AddControl(new AsksTwice(&plug, {120, 50, 190, 90}, kParamSwitch));
    });
    HWND bystander =
        CreateWindowExA(0, "ZtPromptHost", "bystander", WS_OVERLAPPEDWINDOW, 400, 30, 100, 100,
                        nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    bool menuShown = false;
    gHostCommands.clear();
    ModalAnswer a("#32768", [&](HWND menuWindow) {
      menuShown = true;
      c.close(rig);
      PostMessageA(bystander, WM_COMMAND, 1, 0); // what a chosen "on" would look like
      Keys(menuWindow, {VK_ESCAPE});             // if the menu outlives its window
    });
    SendMessageA(rig.window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 70));
    EXPECT_TRUE(menuShown);
    EXPECT_FALSE(IsWindow(rig.window));
    EXPECT_EQ(rig.editor->WindowHandle(), nullptr);
    EXPECT_EQ(rig.plug.GetParam(kParamSwitch)->Value(), 0.0);
    PumpMessages(20); // if the menu's loop did not deliver it
    EXPECT_EQ(gHostCommands, std::vector<WPARAM>{1});
    EXPECT_EQ(rig.editor->TextEntryBox(), nullptr);
    EXPECT_EQ(FindWindowExA(nullptr, nullptr, "Edit", nullptr), nullptr);
    DestroyWindow(bystander);
  }
}

// A control that draws one text with GDI over a flat background, on its first paint only: a
// control is painted on two ticks, and the window is to keep what the first one drew.
class Label : public IControl {
public:
  Label(IPlugBase* plug, const ControlRect& r, const char* text, int size)
      : IControl(plug, r), text_(text) {
    textStyle_.size = size;
    textStyle_.color = ControlColor{255, 250, 250, 250};
  }
  bool Paint(IGraphics* editor) override {
    if (painted_) return true;
    painted_ = true;
    FillRect(*editor->GetDrawBitmap(), rect_, kBackgroundPixel);
    ControlRect r = rect_;
    return editor->DrawLabel(textStyle_, text_, r);
  }

private:
  const char* text_;
  bool painted_ = false;
};

// GDI text goes through the glyph cache under Wine. A new font's cache grows with the highest
// character drawn, so in "A" followed by a character beyond ASCII the second character grows it
// after the first is in it. Each text is drawn twice in one paint, with its font new (the cache
// grows) and then again (nothing grows): the two must look the same, and show ink. Freed memory
// is poisoned meanwhile, so that a glyph read from the cache's old place never draws by chance.
TEST(WinText, TextBeyondAsciiDrawsAlikeWithTheFontNewAndWarm) {
  struct Case {
    const char* text;
    int size; // a size of its own, so that the font is new to the process
  };
  const Case cases[] = {{"A\xC3\xA9", 17}, {"-18 \xE2\x82\xAC", 19}, {"x\xCE\xA9y", 21}};
  constexpr int kRow = 32, kColumn = 100;
  FreedMemoryPoison poison;
  WinRig rig([&](IGraphicsWin* editor, TestPlug& plug) {
    for (int i = 0; i < 3; ++i)
      for (int column = 0; column < 2; ++column) {
        const int left = column * kColumn, top = i * kRow;
        editor->AddControl(new Label(&plug, {left, top, left + kColumn, top + kRow}, cases[i].text,
                                     cases[i].size));
      }
  });
  PumpMessages(60);
  EXPECT_GT(FreedMemoryPoison::Poisoned(), 0);
  const auto shown = CaptureWindow(rig.window, 200, 100);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(cases[i].text);
    int differ = 0, ink = 0;
    for (int y = i * kRow; y < (i + 1) * kRow; ++y)
      for (int x = 0; x < kColumn; ++x) {
        const LICE_pixel cold = PixelAt(*shown, x, y), warm = PixelAt(*shown, x + kColumn, y);
        differ += cold != warm;
        ink += cold != (kBackgroundPixel | 0xFF000000u);
      }
    EXPECT_EQ(differ, 0);
    EXPECT_GT(ink, 20);
  }
}

// A host that closes the editor from another thread than the one that opened it: that thread
// cannot destroy the window, so the window is cut off from the editor at once (its timer finds
// nothing to paint) and goes away when its own thread next runs its messages.
TEST(WinServices, ClosingFromAnotherThreadCutsTheWindowOff) {
  WinRig rig;
  PumpMessages(40);
  std::thread([&] { rig.editor->CloseEditorWindow(); }).join();
  EXPECT_EQ(rig.editor->WindowHandle(), nullptr);
  EXPECT_EQ(GetWindowLongPtrA(rig.window, GWLP_USERDATA), 0);
  // Nothing of the window reaches this module any more, which a host may unload next.
  EXPECT_EQ(GetWindowLongPtrA(rig.window, GWLP_WNDPROC),
            reinterpret_cast<LONG_PTR>(&DefWindowProcA));
  const int paints = rig.probe->paints;
  rig.probe->MarkDirty(false); // what a tick would paint
  SendMessageA(rig.window, WM_TIMER, IGraphicsWin::kTimerId, 0);
  PumpMessages(60);
  EXPECT_EQ(rig.probe->paints, paints);
  EXPECT_FALSE(IsWindow(rig.window));
  // The editor opens again on this thread.
  rig.window = static_cast<HWND>(rig.editor->OpenEditorWindow(rig.host));
  ASSERT_NE(rig.window, nullptr);
  PumpMessages(40);
  EXPECT_GT(rig.probe->paints, paints);
}

} // namespace
