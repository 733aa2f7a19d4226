// The four protocols of the Quillet library, as its entry registers them.
#pragma once

#include "plugin.h"

namespace quillet {

// Fixed words of the detail lines written as "On"sv: copied by their length.
using namespace std::string_view_literals;

extern qv::Protocol g_spanningTree;  // "IEEE 802.1"
extern qv::Protocol g_vlan;          // "VLAN"
extern qv::Protocol g_cdp;           // "CISCO-CDP"
extern qv::Protocol g_tdp;           // "CISCO-TDP"

// VLAN hands length frames to these; DefaultParse until PCTL_INIT finds them.
extern ProtocolParse g_vlanLlcCache;
extern ProtocolParse g_vlanIpxCache;

}  // namespace quillet
