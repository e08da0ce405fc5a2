#include "igraphics/IGraphicsWin.h"

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "igraphics/IControl.h"
#include "iplug/IPlugBase.h"
#include "iplug/IPlugParam.h"
#include "lice/lice.h"

namespace {

constexpr const char* kClassName = "IPlugWndClass";
constexpr const char* kWindowName = "IPlug";

// Shared by every editor window of the process, opened on the user-interface thread; a host may
// close one from another thread, hence atomic.
std::atomic<int> gRegistrations{0};
double gTimerRate = 60.0;
// A key of this thread is on its way to the host's window.
thread_local bool tForwardingKey = false;

HWND H(void* w) {
  return static_cast<HWND>(w);
}

// Key numbers of PressKey from virtual-key codes; -1: the key goes to the host.
int KeyNumber(WPARAM vk) {
  switch (vk) {
  case VK_SPACE:
    return 0;
  case VK_UP:
    return 1;
  case VK_DOWN:
    return 2;
  case VK_LEFT:
    return 3;
  case VK_RIGHT:
    return 4;
  default:
    break;
  }
  if (vk >= '0' && vk <= '9') return 5 + static_cast<int>(vk - '0');
  if (vk >= 'A' && vk <= 'Z') return 15 + static_cast<int>(vk - 'A');
  if (vk >= 0x61 && vk <= 0x7A) return 15 + static_cast<int>(vk - 0x61);
  return -1;
}

// The path of a module up to and including its last backslash; "" without one, or when the
// backslash ends it.
void ModuleDirectory(HMODULE module, std::string& out) {
  char path[257] = {};
  const DWORD n = GetModuleFileNameA(module, path, 256);
  out.clear();
  if (n == 0 || n > 256) return;
  const char* slash = strrchr(path, '\\');
  if (!slash || slash[1] == '\0') return;
  out.assign(path, static_cast<size_t>(slash - path + 1));
}

void FolderPath(int csidl, std::string& out) {
  char path[MAX_PATH] = {};
  out = SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : "";
}

} // namespace

// The window procedures: free functions Windows calls, finding the editor in the window's user
// data.
struct WinProcedures {
  static LRESULT CALLBACK Window(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
      auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
      SetTimer(hwnd, IGraphicsWin::kTimerId, static_cast<UINT>(1000.0 / gTimerRate), nullptr);
      return 0;
    }
    auto* editor = reinterpret_cast<IGraphicsWin*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!editor || hwnd != H(editor->window_)) return DefWindowProcA(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
      // Destroyed from outside (the host destroyed its window first): nothing of it is used
      // again, and the class registration it held is given back.
      editor->WindowGone();
      return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    return editor->HandleMessage(message, wParam, lParam);
  }

  static LRESULT CALLBACK TextEntry(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* editor =
        reinterpret_cast<IGraphicsWin*>(GetWindowLongPtrA(GetParent(box), GWLP_USERDATA));
    if (!editor || box != H(editor->entry_.box))
      return DefWindowProcA(box, message, wParam, lParam);
    IGraphicsWin::TextEntry& entry = editor->entry_;
    const auto previous = reinterpret_cast<WNDPROC>(entry.previousProc);
    editor->ClearTooltip();
    switch (message) {
    case WM_SETFOCUS:
      entry.state = 1;
      break;
    case WM_KILLFOCUS:
      entry.state = 4;
      break;
    case WM_KEYDOWN:
      if (wParam == VK_RETURN) {
        entry.state = 4;
        return 0;
      }
      if (wParam == VK_ESCAPE) {
        entry.state = 3;
        return 0;
      }
      break;
    case WM_CHAR:
      if (entry.param && wParam != '\b' &&
          !IGraphicsWin::TextEntryAccepts(entry.param, static_cast<char>(wParam)))
        return 0; // swallowed
      break;
    case WM_GETDLGCODE: {
      LRESULT code = CallWindowProcA(previous, box, message, wParam, lParam);
      const auto* msg = reinterpret_cast<const MSG*>(lParam);
      if (!entry.param && msg && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN)
        code |= DLGC_WANTALLKEYS;
      return code;
    }
    case WM_COMMAND:
      if (HIWORD(wParam) == 1) {
        entry.state = 4;
        return 0;
      }
      break;
    default:
      break;
    }
    return CallWindowProcA(previous, box, message, wParam, lParam);
  }

  // The colour dialog's hook: its title becomes the prompt.
  static UINT_PTR CALLBACK ColourHook(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      const auto* cc = reinterpret_cast<const CHOOSECOLORA*>(lParam);
      if (cc && cc->lCustData) SetWindowTextA(dialog, reinterpret_cast<const char*>(cc->lCustData));
    }
    return 0;
  }
};

IGraphicsWin::IGraphicsWin(IPlugBase* plug, int width, int height, int framesPerSecond)
    : IGraphics(plug, width, height, framesPerSecond),
      presented_(std::make_unique<LICE_MemBitmap>(width, height)) {}

IGraphicsWin::~IGraphicsWin() {
  CloseEditorWindow();
}

int IGraphicsWin::ClassRegistrations() {
  return gRegistrations;
}

// --- the window --------------------------------------------------------------------------------

void* IGraphicsWin::OpenEditorWindow(void* parent) {
  parent_ = parent;
  int x = 0, y = 0, w = Width(), h = Height();
  if (window_) {
    // Opened again: the new window takes the old one's size and its place in the new parent,
    // the place in its parent's client area (a window rectangle would add the frame and caption).
    RECT r{};
    GetWindowRect(H(window_), &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(H(window_)), reinterpret_cast<POINT*>(&r), 2);
    CloseEditorWindow();
    x = r.left;
    y = r.top;
    w = r.right - r.left;
    h = r.bottom - r.top;
  }
  const auto module = static_cast<HINSTANCE>(module_);
  if (gRegistrations++ == 0) {
    WNDCLASSA wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &WinProcedures::Window;
    wc.hInstance = module;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    RegisterClassA(&wc);
  }
  gTimerRate = FramesPerSecond();
  window_ = CreateWindowExA(0, kClassName, kWindowName, WS_CHILD | WS_VISIBLE, x, y, w, h,
                            H(parent), nullptr, module, this);
  if (!window_) {
    if (--gRegistrations == 0) UnregisterClassA(kClassName, module);
    return nullptr;
  }
  MarkAllDirty(); // the first tick paints the whole editor
  if (TooltipsEnabled()) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES};
    tooltip_ =
        InitCommonControlsEx(&icc)
            ? CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, 0x80000003, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, H(window_), nullptr, module, nullptr)
            : nullptr;
    TOOLINFOA tool{};
    tool.cbSize = 64;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = H(window_);
    tool.uId = reinterpret_cast<UINT_PTR>(window_);
    if (tooltip_) {
      SetWindowPos(H(tooltip_), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
    }
    if (!tooltip_ || !SendMessageA(H(tooltip_), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool)))
      SetTooltipsEnabled(false);
  }
  return window_;
}

void IGraphicsWin::CloseEditorWindow() {
  if (!window_) return;
  if (tooltip_) DestroyWindow(H(tooltip_));
  tooltip_ = nullptr;
  tooltipShown_ = false;
  tooltipIndex_ = -1;
  // The box goes with the window, unapplied; a reopened editor starts without one.
  if (entry_.box) {
    SetWindowLongPtrA(H(entry_.box), GWLP_WNDPROC, entry_.previousProc);
    DestroyWindow(H(entry_.box));
    if (entry_.font) DeleteObject(static_cast<HFONT>(entry_.font));
    entry_ = TextEntry{};
  }
  HWND window = H(window_);
  window_ = nullptr;
  // Cut off first: messages during destruction, and every message of a window that outlives
  // this call, go to DefWindowProc and never reach this editor, which may be deleted next.
  SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  // Only the window's own thread can destroy it: a host closing from another thread has it
  // closed there, by DefWindowProc, when that thread next runs its messages. Until then its
  // messages (the timer's too) go straight to DefWindowProc, never into this module, which the
  // host may unload first.
  if (!DestroyWindow(window)) {
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcA));
    PostMessageA(window, WM_CLOSE, 0, 0);
  }
  if (--gRegistrations == 0) UnregisterClassA(kClassName, static_cast<HINSTANCE>(module_));
  ResetMouseState();
}

void IGraphicsWin::WindowGone() {
  tooltip_ = nullptr; // an owned window: destroyed with the editor window
  tooltipShown_ = false;
  tooltipIndex_ = -1;
  if (entry_.font) DeleteObject(static_cast<HFONT>(entry_.font));
  entry_ = TextEntry{}; // the box, a child, went with the window
  window_ = nullptr;
  if (--gRegistrations == 0) UnregisterClassA(kClassName, static_cast<HINSTANCE>(module_));
  ResetMouseState();
}

bool IGraphicsWin::PresentRect(const ControlRect& rect) {
  if (LICE_SysBitmap* back = GetDrawBitmap()) {
    std::lock_guard<std::mutex> lock(frameLock_);
    BlitBitmap(presented_.get(), back, rect.left, rect.top, &rect, 1.0f, BlitCopy);
  }
  if (!window_) return true;
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(H(window_), &ps);
  LICE_SysBitmap* back = GetDrawBitmap();
  if (dc && back && back->DeviceContext())
    BitBlt(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
           static_cast<HDC>(back->DeviceContext()), rect.left, rect.top, SRCCOPY);
  EndPaint(H(window_), &ps);
  return true;
}

bool IGraphicsWin::CopyPresentedFrame(uint32_t* pixels, int width, int height, int rowPixels) {
  const int w = Width(), h = Height();
  if (!window_ || !pixels || width < w || height < h || rowPixels < w) return false;
  std::lock_guard<std::mutex> lock(frameLock_);
  const LICE_pixel* src = presented_->PixelData();
  if (!src || presented_->Width() < w || presented_->Height() < h) return false;
  for (int y = 0; y < h; ++y)
    memcpy(pixels + static_cast<size_t>(y) * rowPixels,
           src + static_cast<size_t>(y) * presented_->PixelsPerRow(), sizeof(uint32_t) * w);
  return true;
}

MouseMods IGraphicsWin::Modifiers(uintptr_t wParam) const {
  MouseMods m;
  m.left = (wParam & MK_LBUTTON) != 0;
  m.right = (wParam & MK_RBUTTON) != 0;
  m.shift = (wParam & MK_SHIFT) != 0;
  m.ctrl = (wParam & MK_CONTROL) != 0;
  const bool aax = Plug() && Plug()->HostApi() == kHostApiAax;
  m.alt = (aax ? GetAsyncKeyState(VK_MENU) : GetKeyState(VK_MENU)) < 0;
  return m;
}

intptr_t IGraphicsWin::HandleMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
  HWND hwnd = H(window_);
  // While the box has the focus the editor takes no input and paints nothing; a press into the
  // editor cancels the entry.
  if (entry_.box && entry_.state == 1) {
    if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN) {
      entry_.state = 3;
      return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
  }
  switch (message) {
  case WM_SIZE:
    InvalidateRect(hwnd, nullptr, FALSE);
    return 0;
  case WM_SETFOCUS:
  case WM_KILLFOCUS:
    return 0;
  case WM_PAINT: {
    RECT r;
    if (GetUpdateRect(hwnd, &r, FALSE)) RedrawRect({r.left, r.top, r.right, r.bottom});
    return 0;
  }
  case WM_CLOSE:
    CloseEditorWindow();
    return 0;
  case WM_KEYDOWN:
  case WM_KEYUP:
    return HandleKey(message, wParam, lParam);
  case WM_TIMER:
    if (wParam == kTimerId) Tick();
    return 0;
  case WM_CTLCOLOREDIT: {
    if (!entry_.box || !entry_.control) return 0;
    const TextStyle& style = entry_.control->GetTextStyle();
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetBkColor(dc, style.entryBackground.ToColorRef());
    SetTextColor(dc, style.entryText.ToColorRef());
    SetBkMode(dc, OPAQUE);
    SetDCBrushColor(dc, style.entryBackground.ToColorRef());
    return reinterpret_cast<intptr_t>(GetStockObject(DC_BRUSH));
  }
  default:
    return HandleMouse(message, wParam, lParam);
  }
}

intptr_t IGraphicsWin::HandleKey(unsigned message, uintptr_t wParam, intptr_t lParam) {
  HWND hwnd = H(window_);
  // A host that hands keys to the focused window sends the ones passed on straight back: they
  // have had their turn here.
  if (tForwardingKey) return DefWindowProcA(hwnd, message, wParam, lParam);
  if (message == WM_KEYDOWN) {
    const int key = KeyNumber(wParam);
    if (key >= 0) {
      POINT p{};
      GetCursorPos(&p);
      ScreenToClient(hwnd, &p);
      if (PressKey(p.x, p.y, key)) return 0;
    }
  }
  // The host's main window sees the keys the editor does not take.
  // The flag is the thread's, not the editor's: the host may close the plug-in on that key.
  tForwardingKey = true;
  SendMessageA(GetAncestor(hwnd, GA_ROOT), message, wParam, lParam);
  tForwardingKey = false;
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

intptr_t IGraphicsWin::HandleMouse(unsigned message, uintptr_t wParam, intptr_t lParam) {
  HWND hwnd = H(window_);
  const int x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
  const MouseMods mods = Modifiers(wParam);
  switch (message) {
  case WM_MOUSEMOVE:
    if (mods.left || mods.right) {
      if (GetCapture() == hwnd && !entry_.box) DragMouse(x, y, mods);
    } else if (HoverMouse(x, y, mods)) {
      TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, HOVER_DEFAULT};
      if (TooltipsEnabled() && HoverIndex() != tooltipIndex_) {
        tooltipIndex_ = HoverIndex();
        if (tooltipIndex_ >= 0) track.dwFlags |= TME_HOVER;
        ClearTooltip();
      }
      TrackMouseEvent(&track);
    }
    return 0;
  case WM_LBUTTONDOWN:
  case WM_RBUTTONDOWN:
  case WM_MBUTTONDOWN:
    ClearTooltip();
    if (entry_.box) {
      entry_.state = 4; // a press elsewhere commits the entry
      return 0;
    }
    SetFocus(hwnd);
    SetCapture(hwnd);
    pressEnded_ = false;
    PressMouse(x, y, mods);
    return 0;
  case WM_LBUTTONUP:
  case WM_RBUTTONUP:
  case WM_MBUTTONUP: {
    // A press that ended when it lost the capture does not end again. The release comes before
    // the capture is given up, which sends WM_CAPTURECHANGED: the press is over by then. Nothing
    // of the editor is touched after ReleaseMouse, which reaches the host.
    const bool ended = pressEnded_;
    pressEnded_ = false;
    if (!ended) ReleaseMouse(x, y, mods);
    if (GetCapture() == hwnd) ReleaseCapture();
    return 0;
  }
  case WM_CAPTURECHANGED:
    // The capture went elsewhere mid-press (another window took it, or someone released it): no
    // release will come, and the host would wait for the end of the edit the press began.
    if (reinterpret_cast<HWND>(lParam) != hwnd && CaptureIndex() >= 0) {
      pressEnded_ = true;
      ReleaseMouse(LastMouseX(), LastMouseY(), Modifiers(0));
    }
    return 0;
  case WM_LBUTTONDBLCLK:
    pressEnded_ = false;
    // The control may have opened a prompt whose modal loop saw the window close.
    if (DoubleClickMouse(x, y, mods) && window_ == hwnd) SetCapture(hwnd);
    return 0;
  case WM_MOUSEWHEEL: {
    if (entry_.box) {
      entry_.state = 3; // the wheel cancels the entry
      return 0;
    }
    RECT r{};
    GetWindowRect(hwnd, &r);
    const int notches = static_cast<short>(HIWORD(wParam)) / WHEEL_DELTA;
    TurnWheel(x - r.left, y - r.top, mods, notches);
    return 0;
  }
  case WM_MOUSEHOVER: {
    const IControl* c = GetControl(tooltipIndex_);
    SetTooltipText(c && !c->Tooltip().empty() ? c->Tooltip().c_str() : nullptr);
    return 0;
  }
  case WM_MOUSELEAVE:
    ClearTooltip();
    LeaveMouse();
    return 0;
  default:
    return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

void IGraphicsWin::Tick() {
  if (entry_.box && entry_.state != 0) {
    TextEntryTick();
    return;
  }
  ControlRect rect;
  if (!CollectDirtyRect(rect)) return;
  HWND hwnd = H(window_);
  RECT r{rect.left, rect.top, rect.right, rect.bottom};
  InvalidateRect(hwnd, &r, FALSE);
  if (entry_.box && entry_.control) {
    // The box stays on top: its control is not painted over.
    const ControlRect& c = entry_.control->Rect();
    RECT keep{c.left, c.top, c.right, c.bottom};
    ValidateRect(hwnd, &keep);
    UpdateWindow(hwnd);
    entry_.state = 2;
  } else {
    UpdateWindow(hwnd);
  }
}

// --- prompts -----------------------------------------------------------------------------------

namespace {

struct MenuBuild {
  HMENU menu;
  int start, count;
};

// Builds a Windows menu for menu with ids from counter on, its submenus after it; the ranges go
// into builds in building order. Null when no menu could be made.
HMENU BuildMenu(PopupMenu* menu, int& counter,
                std::vector<std::pair<PopupMenu*, MenuBuild>>& builds) {
  HMENU h = CreatePopupMenu();
  if (!h) return nullptr;
  const int start = counter;
  const int count = static_cast<int>(menu->items.size());
  counter += count;
  builds.push_back({menu, {h, start, count}});
  for (int k = 1; k <= count; ++k) {
    PopupMenuItem* item = &menu->items[static_cast<size_t>(k - 1)];
    if (item->flags & PopupMenuItem::Separator) {
      AppendMenuA(h, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    const std::string label = menu->Label(k);
    if (item->submenu) {
      if (HMENU sub = BuildMenu(item->submenu.get(), counter, builds))
        AppendMenuA(h, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), label.c_str());
      continue;
    }
    UINT flags = MF_STRING;
    if (item->flags & PopupMenuItem::Greyed) flags |= MF_GRAYED;
    if (item->flags & PopupMenuItem::Disabled) flags |= MF_DISABLED;
    if (item->flags & PopupMenuItem::Checked) flags |= MF_CHECKED;
    AppendMenuA(h, flags, static_cast<UINT_PTR>(start + k - 1), label.c_str());
  }
  return h;
}

} // namespace

PopupMenu* IGraphicsWin::ShowPopupMenu(PopupMenu* menu, const ControlRect& rect) {
  ResetMouseState();
  if (!menu || !window_) return nullptr;
  int counter = 0;
  std::vector<std::pair<PopupMenu*, MenuBuild>> builds;
  HMENU h = BuildMenu(menu, counter, builds);
  if (!h) return nullptr;
  HWND owner = H(window_);
  POINT at{rect.left, rect.bottom};
  ClientToScreen(owner, &at);
  PopupMenu* result = nullptr;
  MSG msg;
  const bool tracked = TrackPopupMenu(h, TPM_LEFTBUTTON, at.x, at.y, 0, owner, nullptr);
  // The window may have closed while the menu ran its modal loop: then nothing was chosen (the
  // command went to a window that is gone), and a null window would make the look-up below take
  // any window's command, and the repaint invalidate every window.
  const bool open = window_ == owner;
  if (tracked && open && PeekMessageA(&msg, owner, WM_COMMAND, WM_COMMAND, PM_REMOVE) &&
      HIWORD(msg.wParam) == 0) {
    const int id = LOWORD(msg.wParam);
    for (auto& [m, b] : builds)
      if (id >= b.start && id < b.start + b.count) {
        m->chosenIndex = id - b.start;
        result = m;
        break;
      }
  }
  DestroyMenu(h); // and its submenus with it
  if (open) {
    RECT all{0, 0, Width(), Height()};
    InvalidateRect(owner, &all, FALSE);
  }
  return result;
}

void IGraphicsWin::ShowTextEntry(IControl* control, const TextStyle& style, const ControlRect& rect,
                                 const char* text, IPlugParam* param) {
  if (!control || entry_.box || !window_) return;
  DWORD styleBits = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOHSCROLL;
  if (style.align == TextStyle::AlignRight)
    styleBits |= ES_RIGHT;
  else if (style.align != TextStyle::AlignLeft)
    styleBits |= ES_CENTER;
  HWND box = CreateWindowExA(0, "EDIT", text ? text : "", styleBits, rect.left, rect.top,
                             rect.right - rect.left + 1, rect.bottom - rect.top + 1, H(window_),
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextEntryId)),
                             static_cast<HINSTANCE>(module_), nullptr);
  if (!box) return;
  HFONT font =
      CreateFontA(style.size, 0, 0, 0, style.style == TextStyle::Bold ? FW_BOLD : 0,
                  style.style == TextStyle::Italic, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, style.font);
  SendMessageA(box, EM_LIMITTEXT, static_cast<WPARAM>(control->TextEntryLimit()), 0);
  SendMessageA(box, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SendMessageA(box, EM_SETSEL, 0, -1);
  SetFocus(box);
  entry_.box = box;
  entry_.font = font;
  entry_.control = control;
  entry_.param = param;
  entry_.state = 0; // the focus came before the procedure: the next focus change sets 1
  entry_.previousProc =
      SetWindowLongPtrA(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WinProcedures::TextEntry));
}

void IGraphicsWin::CancelTextEntry() {
  entry_.state = 3;
}

void IGraphicsWin::TextEntryTick() {
  switch (entry_.state) {
  case 2:
    entry_.state = 0;
    break;
  case 3:
    CloseTextEntry();
    break;
  case 4:
    ApplyTextEntry();
    break;
  default:
    break;
  }
}

void IGraphicsWin::ApplyTextEntry() {
  char text[kParamStringSize] = {};
  GetWindowTextA(H(entry_.box), text, sizeof text);
  IControl* control = entry_.control;
  IPlugParam* param = entry_.param;
  // Closed first: applying reaches the plug-in, which may open prompts of its own.
  CloseTextEntry();
  ApplyEnteredText(control, param, text);
}

void IGraphicsWin::CloseTextEntry() {
  if (!entry_.box) return;
  SetWindowLongPtrA(H(entry_.box), GWLP_WNDPROC, entry_.previousProc);
  DestroyWindow(H(entry_.box));
  if (entry_.font) DeleteObject(static_cast<HFONT>(entry_.font));
  entry_ = TextEntry{};
}

void* IGraphicsWin::HostMainWindow() {
  if (hostMainWindow_) return hostMainWindow_;
  if (parent_) {
    HWND top = GetAncestor(H(parent_), GA_ROOT);
    if (top) {
      char name[128] = {};
      GetClassNameA(top, name, sizeof name);
      hostMainWindow_ = top;
      hostMainClass_ = name;
    }
  } else if (!hostMainClass_.empty()) {
    processId_ = GetCurrentProcessId();
    struct Search {
      IGraphicsWin* self;
      HWND found;
    } search{this, nullptr};
    EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
          auto* s = reinterpret_cast<Search*>(p);
          DWORD pid = 0;
          GetWindowThreadProcessId(w, &pid);
          char name[128] = {};
          GetClassNameA(w, name, sizeof name);
          if (pid != s->self->processId_ || s->self->hostMainClass_ != name) return TRUE;
          s->found = w;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    hostMainWindow_ = search.found;
  }
  return hostMainWindow_;
}

int IGraphicsWin::ShowMessage(const char* text, const char* caption, int type) {
  return MessageBoxA(H(HostMainWindow()), text, caption, static_cast<UINT>(type));
}

void IGraphicsWin::AskForFile(std::string& file, int action, std::string& directory,
                              const char* extensions) {
  if (!window_) {
    file.clear();
    return;
  }
  char path[256] = {};
  snprintf(path, sizeof path, "%s", file.c_str());
  std::string initial = directory;
  if (initial.empty()) DesktopDirectory(initial);
  // "wav aif" -> "*.wav;*.aif", as description and pattern; the first extension is the default.
  std::string pattern, first;
  const char* p = extensions ? extensions : "";
  while (*p) {
    while (*p == ' ')
      ++p;
    const char* end = p;
    while (*end && *end != ' ')
      ++end;
    if (end > p) {
      if (first.empty()) first.assign(p, static_cast<size_t>(std::min<ptrdiff_t>(end - p, 15)));
      pattern += (pattern.empty() ? "*." : ";*.") + std::string(p, static_cast<size_t>(end - p));
    }
    p = end;
  }
  std::string filter = pattern + '\0' + pattern + '\0' + '\0';
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = H(window_);
  ofn.lpstrFilter = pattern.empty() ? nullptr : filter.c_str();
  ofn.lpstrFile = path;
  ofn.nMaxFile = sizeof path - 1;
  ofn.lpstrInitialDir = initial.c_str();
  ofn.lpstrDefExt = first.empty() ? nullptr : first.c_str();
  ofn.Flags = action == 1 ? (OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST)
                          : (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST);
  const bool chosen = action == 1 ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
  if (!chosen) {
    file.clear();
    return;
  }
  char drive[_MAX_DRIVE] = {}, folder[_MAX_DIR] = {};
  _splitpath(path, drive, folder, nullptr, nullptr);
  directory = std::string(drive) + folder;
  file = path;
}

bool IGraphicsWin::AskForColour(ControlColor& colour, const char* prompt) {
  if (!window_) return false;
  if (!customColours_) customColours_ = std::make_unique<uint32_t[]>(16);
  CHOOSECOLORA cc{};
  cc.lStructSize = sizeof cc;
  cc.hwndOwner = H(window_);
  cc.rgbResult = RGB(colour.R, colour.G, colour.B);
  cc.lpCustColors = reinterpret_cast<COLORREF*>(customColours_.get());
  cc.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ENABLEHOOK | CC_SOLIDCOLOR | CC_ANYCOLOR;
  cc.lpfnHook = &WinProcedures::ColourHook;
  cc.lCustData = reinterpret_cast<LPARAM>(prompt);
  if (!ChooseColorA(&cc)) return false;
  colour.R = GetRValue(cc.rgbResult);
  colour.G = GetGValue(cc.rgbResult);
  colour.B = GetBValue(cc.rgbResult);
  return true;
}

bool IGraphicsWin::OpenWebPage(const char* url, const char* caption, const char* confirmText,
                               const char* errorText) {
  if (confirmText && MessageBoxA(H(window_), confirmText, caption, MB_YESNO) != IDYES) return false;
  DWORD state = 0;
  if (url && InternetGetConnectedState(&state, 0) &&
      reinterpret_cast<INT_PTR>(
          ShellExecuteA(H(window_), "open", url, nullptr, nullptr, SW_SHOWNORMAL)) > 32)
    return true;
  if (errorText) MessageBoxA(H(window_), errorText, caption, MB_OK);
  return false;
}

bool IGraphicsWin::ClipboardText(std::string& out) {
  out.clear();
  if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(H(window_))) return false;
  bool ok = false;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
      const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
      if (n > 0) {
        out.resize(static_cast<size_t>(n));
        WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
        out.resize(static_cast<size_t>(n - 1)); // without the terminator
        ok = true;
      }
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return ok;
}

// --- tooltips ------------------------------------------------------------------------------------

void IGraphicsWin::SetTooltipText(const char* text) {
  if (!tooltip_ || !window_) return;
  TOOLINFOA tool{};
  tool.cbSize = 64;
  tool.hwnd = H(window_);
  tool.uId = reinterpret_cast<UINT_PTR>(window_);
  tool.lpszText = const_cast<char*>(text);
  SendMessageA(H(tooltip_), TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
  tooltipShown_ = text != nullptr;
}

void IGraphicsWin::ClearTooltip() {
  if (tooltipShown_) SetTooltipText(nullptr);
}

// --- platform services ---------------------------------------------------------------------------

void IGraphicsWin::SetEditorSize(int width, int height) {
  const int dw = width - Width(), dh = height - Height();
  if (dw == 0 && dh == 0) return;
  IGraphics::SetEditorSize(width, height);
  {
    std::lock_guard<std::mutex> lock(frameLock_);
    presented_ = std::make_unique<LICE_MemBitmap>(width, height);
  }
  if (!window_) return;
  const UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE; // 0x16
  auto grow = [&](HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    SetWindowPos(w, nullptr, 0, 0, r.right - r.left + dw, r.bottom - r.top + dh, flags);
  };
  const int api = Plug() ? Plug()->HostApi() : 0;
  if (api != kHostApiAax) grow(H(window_));
  if (api != 1 && api != 3) {
    // The host's windows around the editor follow, when they are plain child windows.
    HWND w = H(parent_);
    for (int level = 0; level < 2 && w; ++level) {
      const LONG_PTR style = GetWindowLongPtrA(w, GWL_STYLE);
      const LONG_PTR ex = GetWindowLongPtrA(w, GWL_EXSTYLE);
      if (!(style & WS_CHILD) || (ex & WS_EX_MDICHILD)) break;
      grow(w);
      w = GetParent(w);
    }
  }
  RECT all{0, 0, width, height};
  InvalidateRect(H(window_), &all, FALSE);
  UpdateWindow(H(window_));
}

void IGraphicsWin::HostDirectory(std::string& out) {
  ModuleDirectory(nullptr, out);
}

void IGraphicsWin::PluginDirectory(std::string& out) {
  ModuleDirectory(static_cast<HMODULE>(module_), out);
}

void IGraphicsWin::DesktopDirectory(std::string& out) {
  FolderPath(CSIDL_DESKTOPDIRECTORY, out);
}

void IGraphicsWin::DocumentsDirectory(std::string& out) {
  FolderPath(CSIDL_PERSONAL, out);
}

void IGraphicsWin::AppDataDirectory(std::string& out, bool common) {
  FolderPath(common ? CSIDL_COMMON_APPDATA : CSIDL_LOCAL_APPDATA, out);
}

void IGraphicsWin::UserAppDataDirectory(std::string& out) {
  AppDataDirectory(out, false);
}

double IGraphicsWin::ScreenScale() {
  HDC dc = GetDC(nullptr);
  const int dpi = std::max(GetDeviceCaps(dc, LOGPIXELSX), GetDeviceCaps(dc, LOGPIXELSY));
  ReleaseDC(nullptr, dc);
  return dpi / 96.0;
}

void IGraphicsWin::SetCursorShape(int shape) {
  static const LPCSTR kCursors[] = {
      IDC_ARROW,  IDC_IBEAM,  IDC_WAIT,    IDC_CROSS, IDC_UPARROW, IDC_SIZENWSE,    IDC_SIZENESW,
      IDC_SIZEWE, IDC_SIZENS, IDC_SIZEALL, IDC_NO,    IDC_HAND,    IDC_APPSTARTING, IDC_HELP};
  const LPCSTR id = shape >= 1 && shape <= 13 ? kCursors[shape] : IDC_ARROW;
  SetCursor(LoadCursorA(nullptr, id));
}

void IGraphicsWin::HideCursor() {
  if (cursorHidden_) return;
  POINT p{};
  GetCursorPos(&p);
  savedCursorX_ = p.x;
  savedCursorY_ = p.y;
  ShowCursor(FALSE);
  cursorHidden_ = true;
}

void IGraphicsWin::RestoreCursor() {
  if (!cursorHidden_) return;
  SetCursorPos(savedCursorX_, savedCursorY_);
  ShowCursor(TRUE);
  cursorHidden_ = false;
}

LICE_IBitmap* IGraphicsWin::LoadPngResource(int resourceId, const char* name) {
  return ::LoadPngResource(module_, resourceId, name);
}
