// The three protocols of the Selkirt library, as its entry registers them.
#pragma once

#include "plugin.h"

namespace selkirt {

// Fixed words of the detail lines written as "On"sv: copied by their length.
using namespace std::string_view_literals;

extern qv::Protocol g_rtp;   // "IP-RTP"
extern qv::Protocol g_q931;  // "ITU-Q931"
extern qv::Protocol g_h225;  // "ITU-H225"

}  // namespace selkirt
