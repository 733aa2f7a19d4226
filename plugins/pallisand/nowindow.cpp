// What the windows do where none can be shown, in every build.
#include <stdio.h>

#include "dialogs.h"
#include "monitor.h"

namespace pallisand {

intptr_t NoWindow(HWND owner, const char* window, bool built) {
  char text[160];
  snprintf(text, sizeof text, built ? "The %s needs the host's window system, which is not running."
                                    : "The %s is not available in this build.",
           window);
  plat::MessageBox(owner, text, MT_ERROR_TITLE, plat::MB_OK | plat::MB_ICONERROR);
  return -1;
}

}  // namespace pallisand
