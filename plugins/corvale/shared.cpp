// What the protocols of the library share: the record of the last TCP
// header, the transports' port hand-on and summary, and IPv4 addresses as
// text.
#include <stdio.h>

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

void DottedAddress(const BYTE* address, char* text) {
  if (qv::g_svc.FormatDottedAddress)
    qv::g_svc.FormatDottedAddress(address, 4, text);
  else
    sprintf(text, "%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
}

}  // namespace corvale
