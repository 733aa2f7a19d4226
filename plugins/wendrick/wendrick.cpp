// The library entry: attach, service copies, registration in order; and the
// name learning that NetBEUI and the Browser share.
#include "wendrick.h"

namespace wendrick {

void LearnName(const CaptureFrame* frame, const char* name) {
  const BYTE* source = qv::EthernetSource(frame);
  if (!source || !name[0] || !qv::g_table->AddName) return;
  qv::g_table->AddName(name, source, 6, 0);
}

}  // namespace wendrick

namespace {

qv::Protocol* const kProtocols[] = {&wendrick::g_netbeui, &wendrick::g_smb, &wendrick::g_browser, &wendrick::g_netlogon};

const qv::PluginInfo kPlugin = {"Wendrick has mismatched Monitor Table version!\nPlease verify your installation.",
                                kProtocols, nullptr};

}  // namespace

QV_EXPORT DWORD QV_CALL DLLControl(DWORD type, MonitorTable* table, DWORD, DWORD, DWORD) {
  return qv::ParserDLLControl(kPlugin, type, table);
}
