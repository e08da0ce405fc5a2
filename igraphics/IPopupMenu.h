#pragma once
// A popup menu as the editor's prompts build it: items with optional submenus, shown by the
// window subclass (ShowPopupMenu), which fills in chosenIndex of the menu holding the choice.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct PopupMenu;

struct PopupMenuItem {
  enum Flags : int32_t { Greyed = 0x1, Disabled = 0x2, Checked = 0x4, Separator = 0x8 };
  std::string text;
  std::unique_ptr<PopupMenu> submenu; // owned, may be null
  int32_t flags = 0;
};

struct PopupMenu {
  // 0 no numbers; 1, 2, 3 put the item's position (from 1) in front of its text.
  int32_t numbering = 0;
  int32_t chosenIndex = -1; // position (from 0) of the chosen item, -1 until one was chosen
  std::vector<PopupMenuItem> items;

  PopupMenuItem& AddItem(const char* text, int32_t flags = 0) {
    items.push_back(PopupMenuItem{text ? text : "", nullptr, flags});
    return items.back();
  }

  // The label an item at position k (from 1) shows: its text, with the numbering in front.
  std::string Label(int k) const;
};
