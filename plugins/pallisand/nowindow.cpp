// What the windows do where none can be shown, in every build.
#include <stdio.h>

#include "dialogs.h"
#include "monitor.h"

namespace pallisand {

intptr_t WindowFailure(HWND owner, const char* window, const char* why) {
  char text[512];
  snprintf(text, sizeof text, "The %s %s.", window, why);
  plat::MessageBox(owner, text, MT_ERROR_TITLE, plat::MB_OK | plat::MB_ICONERROR);
  return -1;
}

intptr_t NoWindow(HWND owner, const char* window, bool built) {
  return WindowFailure(owner, window,
                       built ? "needs the host's window system, which is not running" : "is not available in this build");
}

}  // namespace pallisand
