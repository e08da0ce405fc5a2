#include "igraphics/IPopupMenu.h"

#include <algorithm>
#include <cstdio>

std::string PopupMenu::Label(int k) const {
  if (k < 1 || k > static_cast<int>(items.size())) return {};
  const std::string& text = items[k - 1].text;
  static const char* const kFormats[] = {"%1d: %s", "%02d: %s", "%03d: %s"};
  if (numbering < 1 || numbering > 3) return text;
  std::string label(text.size() + 50, '\0');
  const int n = snprintf(label.data(), label.size(), kFormats[numbering - 1], k, text.c_str());
  label.resize(n < 0 ? 0 : std::min(static_cast<size_t>(n), label.size() - 1));
  return label;
}
