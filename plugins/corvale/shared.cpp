// What the protocols of the library share: the record of the last TCP
// header and the transports' port hand-on and summary.
#include "corvale.h"

namespace corvale {

TcpHeaderRecord LastTcpHeader = {0, 0};

ProtocolParse FindPortChild(const ChildTable* table, WORD destination, WORD source) {
  ProtocolParse child = qv::FindChildProtocol(table, destination);
  if (child == qv::g_svc.DefaultParse) child = qv::FindChildProtocol(table, source);
  return child;
}

void AppendPorts(SummaryRow* row, const WORD* source, const WORD* destination) {
  const DWORD flags = TableFlags();
  if ((flags & MT_SOURCE_IS_NETWORK) && source) qv::AppendCell(row->source, ":%u", (unsigned)*source);
  if ((flags & MT_DESTINATION_IS_NETWORK) && destination)
    qv::AppendCell(row->destination, ":%u", (unsigned)*destination);
}

}  // namespace corvale
