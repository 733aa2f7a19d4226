// The library entry: the protocols in registration order.
#include "example.h"

namespace {

qv::Protocol* const kProtocols[] = {
    &example::g_rollCall,  // IP-ROLLCALL
};

const qv::PluginInfo kPlugin = {"Example has mismatched Monitor Table version!\nPlease verify your installation.",
                                kProtocols, nullptr};

}  // namespace

QV_EXPORT DWORD QV_CALL DLLControl(DWORD type, MonitorTable* table, DWORD, DWORD, DWORD) {
  return qv::ParserDLLControl(kPlugin, type, table);
}
