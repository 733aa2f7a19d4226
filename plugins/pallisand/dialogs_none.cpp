// Builds without the window system (i386, sanitizer builds): the windows are
// not there, and the user is told so.
#include "dialogs.h"

namespace pallisand {

intptr_t RunNameTableWindow(HWND owner, BYTE* changed) {
  *changed = FALSE;
  return NoWindow(owner, "name table window", false);
}

intptr_t RunHostColorsWindow(HWND owner) { return NoWindow(owner, "host display color coding window", false); }

void CloseWindows() {}

}  // namespace pallisand
