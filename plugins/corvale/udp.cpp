// IP-UDP: the 8-byte UDP header; the payload goes to the child bound under
// the destination port, else under the source port.
// The header is RFC 768's.
#include "corvale.h"

namespace corvale {

namespace {

const int kHeaderLength = 8;

ChildTable g_children;

struct UdpHeader {
  bool haveSource, haveDestination;
  WORD sourcePort, destinationPort;
};

// Read by each pass and hand-on of every datagram: kept inline.
[[gnu::always_inline]] inline UdpHeader ReadHeader(const qv::View& v) {
  UdpHeader h = {};
  h.haveSource = v.Be16(0, &h.sourcePort);
  h.haveDestination = v.Be16(2, &h.destinationPort);
  return h;
}

void SummarizeUdp(qv::Layer& l, SummaryRow* row) {
  const UdpHeader h = ReadHeader(l.header);
  // Ports are appended whatever the enable byte.
  AppendPorts(row, h.haveSource, h.sourcePort, h.haveDestination, h.destinationPort);
  if (!l.enabled()) return;
  qv::SetCellText(row->protocol, "UDP");
  qv::SetCellText(row->description, "Datagram");
}

// An unnamed port shows its number twice, as the lookup's text for it is the number.
void AddPortLine(qv::DetailList& list, int at, std::string_view label, WORD port) {
  const std::string_view name = PortDescription(port);
  if (name.data())
    list.Add<"%s%u\t%s">(at, 2, label, (unsigned)port, name);
  else
    list.Add<"%s%u\t%u">(at, 2, label, (unsigned)port, (unsigned)port);
}

void DetailUdp(qv::Layer& l, qv::DetailList& list) {
  const qv::View& v = l.header;
  const UdpHeader h = ReadHeader(v);
  if (!l.Title(list, kHeaderLength)) return;
  if (!h.haveSource) return;
  AddPortLine(list, v.Offset(), "Source Port\t\t\t\t", h.sourcePort);
  if (!h.haveDestination) return;
  AddPortLine(list, v.Offset(2), "Destination Port\t\t", h.destinationPort);
  WORD value;
  if (!v.Be16(4, &value)) return;
  list.Add<"Datagram Length\t\t%u">(v.Offset(4), 2, (unsigned)value);
  if (!v.Be16(6, &value)) return;
  list.Add<"Checksum\t\t\t\t\t0x%04x">(v.Offset(6), 2, (unsigned)value);
}

// Without its ports a datagram has no child. With them it goes on even
// when nothing follows the header.
ProtocolParse HandOnUdp(qv::Layer& l) {
  const UdpHeader h = ReadHeader(l.header);
  if (!h.haveDestination) return nullptr;
  l.frame->offset = l.offset() + kHeaderLength;
  return FindPortChild(&g_children, h.destinationPort, h.sourcePort);
}

constexpr qv::Binding kBindings[] = {{"DOD-IP", 17}};

}  // namespace

constexpr qv::ProtocolDecl kUdpDecl = {
    .nameId = "IP-UDP",
    .description = "User Datagram Protocol",
    .flags = PROTOCOL_PARENT | PROTOCOL_CHILD,
    .control = qv::CONTROL_PARENT,
    .statistics = {4, "UDP"},
    .options = qv::SUMMARY_ALWAYS,
    .children = &g_children,
    .summary = SummarizeUdp,
    .detail = DetailUdp,
    .handOn = HandOnUdp,
    .bindings = kBindings,
};
qv::Protocol g_udp = qv::Declare<g_udp, kUdpDecl>();

}  // namespace corvale
