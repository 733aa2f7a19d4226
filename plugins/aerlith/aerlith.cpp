// The library entry: attach, service copies, registration of MAC-802.11.
#include "aerlith.h"

namespace {

qv::Protocol* const kProtocols[] = {&aerlith::g_mac80211};

const qv::PluginInfo kPlugin = {"Aerlith has mismatched Monitor table version!\nPlease verify your installation.",
                                kProtocols, nullptr};

}  // namespace

QV_EXPORT DWORD QV_CALL DLLControl(DWORD type, MonitorTable* table, DWORD, DWORD, DWORD) {
  return qv::ParserDLLControl(kPlugin, type, table);
}
