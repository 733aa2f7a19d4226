// The combo-box messages FillNameCombo sends, and a small combo box that
// answers them (for callers without a real one, and for tests).
#pragma once

#include <string>
#include <vector>

#include "plat/platform.h"

namespace pallisand {

enum : DWORD {
  CB_ADDSTRING = 0x0143,     // lParam: the text; result: its index
  CB_RESETCONTENT = 0x014B,  // remove every item
  CB_SETCURSEL = 0x014E,     // wParam: index to select; result: it, or CB_ERR
};
enum : intptr_t { CB_ERR = -1 };

struct ComboBox {
  PlatWindow window{Handle, this};
  std::vector<std::string> items;
  int selection = -1;

  ComboBox() = default;
  ComboBox(const ComboBox&) = delete;
  ComboBox& operator=(const ComboBox&) = delete;

  HWND hwnd() { return &window; }

  static intptr_t Handle(HWND w, DWORD message, uintptr_t wParam, intptr_t lParam) {
    ComboBox* self = static_cast<ComboBox*>(w->context);
    switch (message) {
      case CB_RESETCONTENT:
        self->items.clear();
        self->selection = -1;
        return 0;
      case CB_ADDSTRING:
        self->items.emplace_back(lParam ? reinterpret_cast<const char*>(lParam) : "");
        return (intptr_t)self->items.size() - 1;
      case CB_SETCURSEL:
        if (wParam < self->items.size()) {
          self->selection = (int)wParam;
          return (intptr_t)wParam;
        }
        self->selection = -1;
        return CB_ERR;
      default:
        return 0;
    }
  }
};

}  // namespace pallisand
