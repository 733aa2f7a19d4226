// The library entry: attach, service copies, registration in order.
#include "quillet.h"

namespace {

qv::Protocol* const kProtocols[] = {&quillet::g_spanningTree, &quillet::g_vlan, &quillet::g_cdp, &quillet::g_tdp};

const qv::PluginInfo kPlugin = {"Quillet has mismatched Monitor Table version!\nPlease verify your installation.",
                                kProtocols, nullptr};

}  // namespace

QV_EXPORT DWORD QV_CALL DLLControl(DWORD type, MonitorTable* table, DWORD, DWORD, DWORD) {
  return qv::ParserDLLControl(kPlugin, type, table);
}
