// Builds without the window system (i386, sanitizer builds): the windows are
// not there, and the user is told so.
#include "dialogs.h"

#include "monitor.h"

namespace pallisand {

intptr_t RunNameTableWindow(HWND owner, BYTE* changed) {
  *changed = FALSE;
  plat::MessageBox(owner, "The name table window is not available in this build.", MT_ERROR_TITLE,
                   plat::MB_OK | plat::MB_ICONERROR);
  return -1;
}

intptr_t RunHostColorsWindow(HWND owner) {
  plat::MessageBox(owner, "The host display color coding window is not available in this build.", MT_ERROR_TITLE,
                   plat::MB_OK | plat::MB_ICONERROR);
  return -1;
}

}  // namespace pallisand
