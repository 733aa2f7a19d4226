// The three protocols of the Selkirt library, as its entry registers them.
#pragma once

#include "plugin.h"

namespace selkirt {

extern qv::Protocol g_rtp;   // "IP-RTP"
extern qv::Protocol g_q931;  // "ITU-Q931"
extern qv::Protocol g_h225;  // "ITU-H225"

}  // namespace selkirt
