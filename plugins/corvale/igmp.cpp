// IP-IGMP: the 8-byte group management message.
// Version 2 (RFC 2236), whose types include version 1's report (RFC 1112).
#include "corvale.h"

namespace corvale {

namespace {

const int kMessageLength = 8;

constexpr qv::Name kTypes[] = {
    {0x11, "Membership Query"},
    {0x12, "Version 1 Membership Report"},
    {0x16, "Version 2 Membership Report"},
    {0x17, "Leave Group"},
};
constexpr qv::NameTable kTypeNames(kTypes, "Unknown");

// A message whose type byte was not captured names nothing.
void SummarizeIgmp(qv::Layer& l, SummaryRow* row) {
  BYTE type;
  qv::SetCellText(row->protocol, "IGMP");
  qv::SetCellText(row->description, l.header.U8(0, &type) ? kTypeNames(type) : "");
}

// Lines end at the first field that was not captured; the title covers the
// message as far as it was.
void DetailIgmp(qv::Layer& l, qv::DetailList& list) {
  const qv::View& m = l.header;
  if (!l.OpenDetail(list, kMessageLength, 1)) return;
  BYTE time;
  WORD checksum;
  list.Add<"Type\t\t\t\t\t\t%s">(m.Offset(), 1, kTypeNames(m.U8Or0(0)));
  if (!m.U8(1, &time)) return;
  list.Add<"Max Response Time\t\t%d tenths of a second">(m.Offset(1), 1, time);
  if (!m.Be16(2, &checksum)) return;
  list.Add<"CheckSum\t\t\t\t\t0x%04X">(m.Offset(2), 2, checksum);
  const BYTE* group = m.Bytes(4, 4);
  if (!group) return;
  char address[kAddressTextSize];
  DottedAddressText(group, 4, address);
  list.Add<"Group Address\t\t\t%s">(m.Offset(4), 4, address);
}

constexpr qv::Binding kBindings[] = {{"DOD-IP", 2}};

}  // namespace

constexpr qv::ProtocolDecl kIgmpDecl = {
    .nameId = "IP-IGMP",
    .description = "Internet Group Management Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {3, "IGMP"},
    .summary = SummarizeIgmp,
    .detail = DetailIgmp,
    .bindings = kBindings,
};
qv::Protocol g_igmp = qv::Declare<g_igmp, kIgmpDecl>();

}  // namespace corvale
