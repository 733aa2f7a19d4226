// ITU-H225: RAS messages named by their first byte. The names of the types
// from 0x64 on are this decoder's own list, not the order of the message
// choice on the wire; stored captures and users know them by these names.
#include "selkirt.h"

namespace selkirt {

namespace {

constexpr qv::Name kRasNames[] = {
    {0x00, "Gatekeeper Request"},
    {0x04, "Gatekeeper Confirm"},
    {0x08, "Gatekeeper Reject"},
    {0x0C, "Registration Request"},
    {0x10, "Registration Confirm"},
    {0x14, "Registration Reject"},
    {0x18, "Unregistration Request"},
    {0x1C, "Unregistration Confirm"},
    {0x20, "Unregistration Reject"},
    {0x24, "Admission Request"},
    {0x28, "Admission Confirm"},
    {0x2C, "Admission Reject"},
    {0x30, "Bandwidth Request"},
    {0x34, "Bandwidth Confirm"},
    {0x38, "Bandwidth Reject"},
    {0x3C, "Disengage Request"},
    {0x40, "Disengage Confirm"},
    {0x44, "Disengage Reject"},
    {0x48, "Location Request"},
    {0x4C, "Location Confirm"},
    {0x50, "Location Reject"},
    {0x54, "Information Request"},
    {0x58, "Information Request Response"},
    {0x5C, "Nonstandard Message"},
    {0x60, "Nonstandard Message Response"},
    {0x64, "Request in Progress"},
    {0x68, "Resources Available Indication"},
    {0x6C, "Resources Available Confirm"},
    {0x70, "Information Request Ack"},
    {0x74, "Information Request Nak"},
    {0x78, "Array of Crypto H323 Tokens"},
    {0x7C, "Service Control Descriptor"},
    {0x80, "Service Control Indication"},
    {0x84, "Service Control Response"},
};
constexpr qv::NameTable kRasName(kRasNames, "Unknown");

// The type is the first byte less its two low bits.
const char* H225RasMessageName(BYTE first) { return kRasName(first & 0xFC); }

// With no byte captured there is no type to name: the description stays
// empty.
void SummarizeH225(qv::Layer& l, SummaryRow* row) {
  BYTE first;
  qv::SetCellText(row->protocol, "H.225");
  qv::SetCellText(row->description, l.header.U8(0, &first) ? H225RasMessageName(first) : "");
}

// The title, and the type line where the first byte was captured.
void DetailH225(qv::Layer& l, qv::DetailList& list) {
  l.Title(list, (int)l.header.size());
  BYTE first;
  if (l.header.U8(0, &first)) list.Add<"Message Type\t\t\t%s">(l.offset(), 1, H225RasMessageName(first));
  list.Close();
}

constexpr qv::Binding kH225Bindings[] = {
    {"IP-UDP", 1718}, {"IP-UDP", 1719}, {"IP-TCP", 1718}, {"IP-TCP", 1719}};

}  // namespace

constexpr qv::ProtocolDecl kH225Decl = {
    .nameId = "ITU-H225",
    .description = "H.225 Call Signalling Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {4, "H.225"},
    .options = qv::DETAIL_NEXT_LIST,
    .summary = SummarizeH225,
    .detail = DetailH225,
    .bindings = kH225Bindings,
};
qv::Protocol g_h225 = qv::Declare<g_h225, kH225Decl>();

}  // namespace selkirt
