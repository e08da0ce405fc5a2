#include "igraphics/IGraphicsHeadless.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "igraphics/IControl.h"
#include "iplug/IPlugParam.h"
#include "lice/lice.h"

IGraphicsHeadless::IGraphicsHeadless(IPlugBase* plug, int width, int height, int framesPerSecond)
    : IGraphics(plug, width, height, framesPerSecond), module_(nullptr),
      screen_(std::make_unique<LICE_MemBitmap>(width, height)) {
  if (uint32_t* px = screen_->PixelData())
    memset(px, 0, static_cast<size_t>(screen_->PixelsPerRow()) * screen_->Height() * 4);
}

IGraphicsHeadless::~IGraphicsHeadless() {
  CloseEditorWindow();
}

// --- the window --------------------------------------------------------------------------------

void* IGraphicsHeadless::OpenEditorWindow(void* parent) {
  if (open_) CloseEditorWindow();
  parent_ = parent;
  open_ = true;
  MarkAllDirty(); // the first tick paints the whole editor
  return WindowHandle();
}

void IGraphicsHeadless::CloseEditorWindow() {
  if (!open_) return;
  // The text entry goes with the window, unapplied; a reopened editor starts without one.
  CloseTextEntry();
  invalid_ = {};
  open_ = false;
}

bool IGraphicsHeadless::PresentRect(const ControlRect& rect) {
  ++presentCount_;
  lastPresented_ = rect;
  if (LICE_SysBitmap* back = GetDrawBitmap())
    BlitBitmap(screen_.get(), back, rect.left, rect.top, &rect, 1.0f, BlitCopy);
  return true;
}

bool IGraphicsHeadless::Tick() {
  if (!open_) return false;
  if (entry_.open && entry_.state != 0) {
    switch (entry_.state) {
    case 2: // the tick after a repaint around the box does nothing else
      entry_.state = 0;
      break;
    case 3:
      CloseTextEntry();
      break;
    case 4: {
      IControl* control = entry_.control;
      IPlugParam* param = entry_.param;
      // Copied out first: applying may reach the plug-in, which may open prompts of its own.
      char text[kParamStringSize];
      CopyBounded(text, sizeof text, entry_.text.c_str());
      CloseTextEntry();
      ApplyEnteredText(control, param, text);
      break;
    }
    default:
      break;
    }
    return false;
  }
  ControlRect dirty;
  if (CollectDirtyRect(dirty)) {
    Invalidate(dirty);
    if (entry_.open) entry_.state = 2;
  }
  if (invalid_.IsEmpty()) return false;
  const ControlRect rect = invalid_;
  invalid_ = {};
  RedrawRect(rect);
  return true;
}

// --- prompts -----------------------------------------------------------------------------------

void IGraphicsHeadless::QueueTextAnswer(const char* typed) {
  answers_.push_back({Answer::Text, typed ? typed : "", -1});
}

void IGraphicsHeadless::QueueMenuChoice(int itemId) {
  answers_.push_back({Answer::MenuChoice, {}, itemId});
}

void IGraphicsHeadless::QueueDismiss() {
  answers_.push_back({Answer::Dismiss, {}, -1});
}

bool IGraphicsHeadless::TakeAnswer(Answer* answer) {
  if (answers_.empty()) return false;
  *answer = std::move(answers_.front());
  answers_.pop_front();
  return true;
}

int IGraphicsHeadless::ShowMessage(const char* text, const char* /*caption*/, int /*type*/) {
  PromptRequest request;
  request.kind = PromptRequest::Message;
  request.text = text ? text : "";
  prompts_.push_back(std::move(request));
  return messageAnswer;
}

namespace {
struct MenuRange {
  PopupMenu* menu;
  int start;
};
// Ids in the order a window system menu is built: a menu takes one id per item, then its
// submenus follow, each in item order.
void NumberMenus(PopupMenu* menu, int& counter, std::vector<MenuRange>& ranges) {
  ranges.push_back({menu, counter});
  counter += static_cast<int>(menu->items.size());
  for (PopupMenuItem& item : menu->items)
    if (item.submenu && !(item.flags & PopupMenuItem::Separator))
      NumberMenus(item.submenu.get(), counter, ranges);
}
} // namespace

PopupMenu* IGraphicsHeadless::ShowPopupMenu(PopupMenu* menu, const ControlRect& rect) {
  ResetMouseState();
  if (!menu) return nullptr;
  PromptRequest request;
  request.kind = PromptRequest::Menu;
  request.rect = rect;
  for (size_t k = 0; k < menu->items.size(); ++k) {
    request.labels.push_back(menu->Label(static_cast<int>(k) + 1));
    request.flags.push_back(menu->items[k].flags);
  }
  prompts_.push_back(std::move(request));

  PopupMenu* result = nullptr;
  Answer answer;
  if (TakeAnswer(&answer) && answer.kind == Answer::MenuChoice) {
    std::vector<MenuRange> ranges;
    int counter = 0;
    NumberMenus(menu, counter, ranges);
    for (const MenuRange& r : ranges) {
      const int k = answer.itemId - r.start;
      if (k < 0 || k >= static_cast<int>(r.menu->items.size())) continue;
      const PopupMenuItem& item = r.menu->items[k];
      // Separators, submenu entries, greyed and disabled items cannot be chosen.
      const int32_t blocked =
          PopupMenuItem::Separator | PopupMenuItem::Greyed | PopupMenuItem::Disabled;
      if (!item.submenu && !(item.flags & blocked)) {
        r.menu->chosenIndex = k;
        result = r.menu;
      }
      break;
    }
  }
  Invalidate({0, 0, Width(), Height()}); // the closed menu leaves the editor to repaint
  return result;
}

void IGraphicsHeadless::ShowTextEntry(IControl* control, const TextStyle& style,
                                      const ControlRect& rect, const char* text,
                                      IPlugParam* param) {
  if (!control || entry_.open) return;
  entry_.open = true;
  entry_.selected = true;
  entry_.state = 0;
  entry_.limit = control->TextEntryLimit();
  entry_.control = control;
  entry_.param = param;
  entry_.text = text ? text : "";

  PromptRequest request;
  request.kind = PromptRequest::TextEntry;
  request.control = control;
  request.param = param;
  request.rect = rect;
  request.text = entry_.text;
  request.style = style;
  request.limit = entry_.limit;
  prompts_.push_back(std::move(request));

  Answer answer;
  if (!TakeAnswer(&answer)) return;
  if (answer.kind == Answer::Text) {
    TypeText(answer.text.c_str());
    PressEnter();
  } else {
    PressEscape();
  }
}

void IGraphicsHeadless::TypeText(const char* chars) {
  if (!entry_.open || !chars) return;
  for (const char* p = chars; *p; ++p) {
    const char c = *p;
    if (!TextEntryAccepts(entry_.param, c)) continue; // swallowed by the box's filter
    if (c == '\b') {
      if (entry_.selected)
        entry_.text.clear();
      else if (!entry_.text.empty())
        entry_.text.pop_back();
      entry_.selected = false;
      continue;
    }
    if (entry_.selected) {
      entry_.text.clear();
      entry_.selected = false;
    }
    if (static_cast<int>(entry_.text.size()) < entry_.limit) entry_.text.push_back(c);
  }
}

void IGraphicsHeadless::PressEnter() {
  if (entry_.open) entry_.state = 4;
}

void IGraphicsHeadless::PressEscape() {
  if (entry_.open) entry_.state = 3;
}

void IGraphicsHeadless::CancelTextEntry() {
  PressEscape();
}

void IGraphicsHeadless::CloseTextEntry() {
  entry_ = TextEntry{};
}

void IGraphicsHeadless::AskForFile(std::string& file, int, std::string&, const char*) {
  file.clear();
}

bool IGraphicsHeadless::ClipboardText(std::string& out) {
  out.clear();
  return false;
}

LICE_IBitmap* IGraphicsHeadless::LoadPngResource(int resourceId, const char* name) {
  return ::LoadPngResource(module_, resourceId, name);
}
