// The library entry: attach, service copies, registration in order.
#include "selkirt.h"

namespace {

qv::Protocol* const kProtocols[] = {&selkirt::g_rtp, &selkirt::g_q931, &selkirt::g_h225};

const qv::PluginInfo kPlugin = {"Selkirt has mismatched Monitor Table version!\nPlease verify your installation.",
                                kProtocols, nullptr};

}  // namespace

QV_EXPORT DWORD QV_CALL DLLControl(DWORD type, MonitorTable* table, DWORD, DWORD, DWORD) {
  return qv::ParserDLLControl(kPlugin, type, table);
}
