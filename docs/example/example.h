// The example library of docs/writing-a-parser.md: one made-up protocol,
// built and tested as every parser library is, but kept out of the plug-in
// folder so that quorvane never loads it.
#pragma once

#include "plugin.h"

namespace example {

extern qv::Protocol g_rollCall;  // "IP-ROLLCALL"

}  // namespace example
