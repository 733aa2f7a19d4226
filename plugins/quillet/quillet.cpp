// The library entry: attach, service copies, registration in order.
#include "quillet.h"

namespace {

ProtocolDescriptor* const g_descriptors[] = {&quillet::g_spanningTree, &quillet::g_vlan, &quillet::g_cdp,
                                             &quillet::g_tdp};
ProtocolParse* const g_caches[] = {&quillet::g_vlanLlcCache, &quillet::g_vlanIpxCache};

const qv::PluginInfo g_plugin = {"Quillet has mismatched Monitor Table version!\nPlease verify your installation.",
                                 g_descriptors, sizeof g_descriptors / sizeof g_descriptors[0], g_caches,
                                 sizeof g_caches / sizeof g_caches[0], nullptr};

}  // namespace

QV_EXPORT DWORD QV_CALL DLLControl(DWORD type, MonitorTable* table, DWORD, DWORD, DWORD) {
  return qv::ParserDLLControl(g_plugin, type, table);
}
