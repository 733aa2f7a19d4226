// The library entry: attach, service copies, registration in order.
#include "tessary.h"

namespace {

qv::Protocol* const kProtocols[] = {&tessary::g_ipx,     &tessary::g_rip, &tessary::g_sap,   &tessary::g_netbios,
                                    &tessary::g_nmpi,    &tessary::g_ncp, &tessary::g_ncpTcp};

const qv::PluginInfo kPlugin = {"Tessary has mismatched Monitor Table version!\nPlease verify your installation.",
                                kProtocols, nullptr};

}  // namespace

QV_EXPORT DWORD QV_CALL DLLControl(DWORD type, MonitorTable* table, DWORD, DWORD, DWORD) {
  return qv::ParserDLLControl(kPlugin, type, table);
}
