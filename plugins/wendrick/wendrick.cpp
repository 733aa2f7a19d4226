// The library entry: attach, service copies, registration in order.
#include "wendrick.h"

namespace {

qv::Protocol* const kProtocols[] = {&wendrick::g_netbeui, &wendrick::g_smb, &wendrick::g_browser, &wendrick::g_netlogon};

const qv::PluginInfo kPlugin = {"Wendrick has mismatched Monitor Table version!\nPlease verify your installation.",
                                kProtocols, nullptr};

}  // namespace

QV_EXPORT DWORD QV_CALL DLLControl(DWORD type, MonitorTable* table, DWORD, DWORD, DWORD) {
  return qv::ParserDLLControl(kPlugin, type, table);
}
