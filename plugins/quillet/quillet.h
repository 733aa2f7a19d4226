// The four protocols of the Quillet library, as its entry registers them.
#pragma once

#include "plugin.h"

namespace quillet {

extern ProtocolDescriptor g_spanningTree;  // "IEEE 802.1"
extern ProtocolDescriptor g_vlan;          // "VLAN"
extern ProtocolDescriptor g_cdp;           // "CISCO-CDP"
extern ProtocolDescriptor g_tdp;           // "CISCO-TDP"

// VLAN hands length frames to these; DefaultParse until PCTL_INIT finds them.
extern ProtocolParse g_vlanLlcCache;
extern ProtocolParse g_vlanIpxCache;

}  // namespace quillet
