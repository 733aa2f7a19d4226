// NOVELL-RIP: the IPX Routing Information Protocol on socket 0x0453. The
// operation and the first route entry are shown; nothing is handed on.
#include "tessary.h"

namespace tessary {

namespace {

const int kEntryLength = 8;  // network, hop count, tick count
const WORD kUnreachable = 16;

constexpr qv::Name kOperations[] = {{1, "Request"}, {2, "Response"}};
constexpr qv::NameTable kOperationNames(kOperations, "Unknown Type");

void SummarizeRip(qv::Layer& l, SummaryRow* row) {
  WORD operation;
  qv::SetCellText(row->protocol, "IPX RIP");
  qv::SetCellText(row->description, l.header.Be16(0, &operation) ? kOperationNames(operation) : "");
}

// The lines end at the first field that was not captured.
void DetailRip(qv::Layer& l, qv::DetailList& list) {
  const qv::View& h = l.header;
  const int o = l.offset();
  if (!list.Group<"Novell Routing Information Protocol">(&l.protocol.titleState, o, 10)) return;
  WORD operation;
  if (!h.Be16(0, &operation)) return;
  list.Add<"Function Type\t\t\t%s">(o, 2, kOperationNames(operation));
  const qv::View route = h.Sub(2, kEntryLength);
  DWORD network;
  WORD hops, ticks;
  if (!route.Be32(0, &network)) return;
  list.Add<"Network Number\t\t\t0x%08X">(route.Offset(0), 4, (unsigned)network);
  if (!route.Be16(4, &hops)) return;
  // A hop count of 16 marks the tick count unreachable too.
  const char* unreachable = hops == kUnreachable ? "\tUnreachable" : "";
  list.Add<"Hop Count\t\t\t\t%01u%s">(route.Offset(4), 2, (unsigned)hops, unreachable);
  if (!route.Be16(6, &ticks)) return;
  list.Add<"Tick Count\t\t\t\t%01u%s">(route.Offset(6), 2, (unsigned)ticks, unreachable);
  list.Close();
}

constexpr qv::Binding kBindings[] = {{"NOVELL-IPX", 0x10453}};

}  // namespace

constexpr qv::ProtocolDecl kRipDecl = {
    .nameId = "NOVELL-RIP",
    .description = "IPX RIP",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {3, "IPX RIP"},
    .summary = SummarizeRip,
    .detail = DetailRip,
    .bindings = kBindings,
};
qv::Protocol g_rip = qv::Declare<g_rip, kRipDecl>();

}  // namespace tessary
