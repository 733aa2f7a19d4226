// The three name table windows: the name table window (with the mapping
// editor it opens) and the host display colour coding window.
#pragma once

#include "plat/platform.h"

namespace pallisand {

// The name table window; *changed tells whether the table was changed in it.
// Result: the window's own result, -1 when it could not be created.
intptr_t RunNameTableWindow(HWND owner, BYTE* changed);
// The host display colour coding window; same result.
intptr_t RunHostColorsWindow(HWND owner);

// Unloads what the windows loaded (at the library's detach).
void CloseWindows();

// Where no window can be shown: tells the user so and answers as a window
// that cannot be created.
intptr_t NoWindow(HWND owner, const char* window, bool built);
// The same with the reason given: "The <window> <why>."
intptr_t WindowFailure(HWND owner, const char* window, const char* why);

// Messages each window's handle answers besides WM_GETWIDGET.
enum : DWORD {
  WM_CLOSE = 0x0010,
  WM_COMMAND = 0x0111,     // wParam: the command id in its low word
  WM_SYSCOMMAND = 0x0112,  // wParam SC_CLOSE: the close command of the system menu
  SC_CLOSE = 0xF060,
};

// Commands and control ids. Each control's object name is its id in decimal.
enum : int {
  IDOK_COMMAND = 1,
  IDCANCEL_COMMAND = 2,
  ID_OK = 100,
  ID_CANCEL = 101,
  ID_HELP = 102,
  ID_LIST = 110,
  ID_TOOLBAR = 111,
  ID_ADDRESS_LABEL = 120,
  ID_NAME_LABEL = 121,
  ID_DESTINATION_LABEL = 122,
  ID_SOURCE_LABEL = 123,
  ID_DESTINATION_SWATCH = 124,
  ID_SOURCE_SWATCH = 125,
  ID_ADDRESS = 130,
  ID_NAME = 131,
  ID_GROUP = 140,
  ID_LOCKED = 141,
  ID_MODIFY_DESTINATION = 150,
  ID_MODIFY_SOURCE = 151,
  ID_FLAGS_BOX = 160,
  ID_COLORS_BOX = 161,
  CMD_END = 5000,
  CMD_DELETE = 5001,
  CMD_ADD = 6001,
  CMD_NONE = 6002,
  CMD_EDIT = 6003,
  CMD_LOCK = 6004,
  CMD_UNLOCK = 6005,
  CMD_DESTINATION = 6006,
  CMD_SOURCE = 6007,
};

}  // namespace pallisand
