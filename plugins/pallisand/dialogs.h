// The three name table windows. Built without a window system, each reports
// that it is not available and answers as a window that cannot be created.
#pragma once

#include "plat/platform.h"

namespace pallisand {

// The name table window; *changed tells whether the table was changed in it.
// Result: the window's own result, -1 when it could not be created.
intptr_t RunNameTableWindow(HWND owner, BYTE* changed);
// The host display colour coding window; same result.
intptr_t RunHostColorsWindow(HWND owner);

}  // namespace pallisand
