// The library entry: attach, service copies, registration in order.
#include "dorrow.h"

namespace {

qv::Protocol* const kProtocols[] = {&dorrow::g_ppp, &dorrow::g_ipcp, &dorrow::g_lcp, &dorrow::g_pap, &dorrow::g_comp};

const qv::PluginInfo kPlugin = {"Dorrow has mismatched Monitor Table version!\nPlease verify your installation.",
                                kProtocols, nullptr};

}  // namespace

QV_EXPORT DWORD QV_CALL DLLControl(DWORD type, MonitorTable* table, DWORD, DWORD, DWORD) {
  return qv::ParserDLLControl(kPlugin, type, table);
}
