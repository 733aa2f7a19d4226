// PPP-LCP: code, identifier and length; the options of the configure
// codes; for a Protocol-Reject the rejected protocol and the header of the
// rejected packet. The packet ends at the smaller of its length field and
// the captured bytes, so Ethernet padding is never taken for options.
// The packets are those of RFC 1661, 5, the options those of its 6.
#include "dorrow.h"

namespace dorrow {

namespace {

enum : int { kHeaderLength = 4, kOptionHeader = 2, kProtocolField = 2, kRejectedMinimum = kProtocolField + 4 };

enum LcpCode : BYTE {
  CODE_CONFIGURE_REQUEST = 1,
  CODE_CONFIGURE_ACK = 2,
  CODE_CONFIGURE_NAK = 3,
  CODE_CONFIGURE_REJECT = 4,
  CODE_TERMINATE_REQUEST = 5,
  CODE_TERMINATE_ACK = 6,
  CODE_CODE_REJECT = 7,
  CODE_PROTOCOL_REJECT = 8,
  CODE_ECHO_REQUEST = 9,
  CODE_ECHO_REPLY = 10,
  CODE_DISCARD_REQUEST = 11,
};

constexpr qv::Name kCodes[] = {
    {CODE_CONFIGURE_REQUEST, "Configuration Request"},
    {CODE_CONFIGURE_ACK, "Configuration Ack"},
    {CODE_CONFIGURE_NAK, "Configuration Nak"},
    {CODE_CONFIGURE_REJECT, "Configuration Reject"},
    {CODE_TERMINATE_REQUEST, "Configuration Termination Request"},
    {CODE_TERMINATE_ACK, "Configuration Termination Ack"},
    {CODE_CODE_REJECT, "Configuration Code Reject"},
    {CODE_PROTOCOL_REJECT, "Configuration Protocol Reject"},
    {CODE_ECHO_REQUEST, "Configuration Echo Request"},
    {CODE_ECHO_REPLY, "Configuration Echo Reply"},
    {CODE_DISCARD_REQUEST, "Configuration Discard Request"},
};
constexpr qv::NameTable kCodeNames(kCodes, "Unknown");

constexpr qv::Name kOptions[] = {
    {0, "Reserved"},
    {1, "Maximum ReceiveUnit"},
    {2, "Asynch Control Character Map"},
    {3, "Authentication Protocol"},
    {4, "Quality Protocol"},
    {5, "Magic Number"},
    {6, "Quality Protocol (Deprecated)"},
    {7, "Protocol Compression"},
    {8, "Address Compression"},
    {9, "FCS-Alternatives"},
    {10, "Self-Describing Pad"},
    {11, "Numbered Mode"},
    {12, "Multi-Link-Procedure (Deprecated)"},
    {13, "Callback"},
    {14, "Connect-Time (Deprecated)"},
    {15, "Compound-Frames (Deprecated)"},
    {16, "Nominal-Data-Encapsulation (Deprecated)"},
    {17, "Multilink-MRRU"},
    {18, "Multilink Short Sequence Number Header"},
    {19, "Multilink Endpoint Discriminator"},
    {21, "DCE Identifier"},
    {22, "Multi Link Plus Procedure"},
    {23, "Link Discriminator for BACP"},
    {24, "LCP-Authentication-Option"},
    {25, "Consistent Overhead Byte Stuffing"},
    {26, "Prefix elision"},
    {27, "Multilink header format"},
    {28, "Internationalization"},
    {29, "Simple Data Link on SONET"},
};
constexpr qv::NameTable kOptionNames(kOptions, "Unknown");

BYTE g_optionState, g_rejectedState;

// One group per option. Each option runs over its own sub-range, its length
// byte cut at the end of the packet, so a length that claims more than is
// left shortens the option and ends the walk.
void DetailLcpOptions(qv::DetailList& list, const qv::View& options) {
  qv::Cursor c(options);
  BYTE type, length;
  while (c.Left() >= kOptionHeader && options.U8(c.at(), &type) && options.U8(c.at() + 1, &length) &&
         length >= kOptionHeader) {
    const qv::View option = c.Take(length);
    const int p = option.Offset();
    list.Group<"Option\t\t\t\t\t%s">(&g_optionState, p, (int)option.size(), kOptionNames(type));
    list.Add<"Code\t\t\t\t\t%d">(p, 1, type);
    list.Add<"Length\t\t\t\t%d">(p + 1, 1, length);
    if (list.stopped) return;
    const qv::View data = option.From(kOptionHeader);
    if (!data.empty()) list.HexDump("Option Data", data.Bytes(0, data.size()), (int)data.size(), data.Offset());
    list.Close();
  }
}

// The rejected packet's own code, identifier and length, as a group.
void DetailRejectedHeader(qv::DetailList& list, const qv::View& rejected) {
  const int p = rejected.Offset();
  list.Group<"Packet Header">(&g_rejectedState, p, (int)rejected.size());
  list.Add<"Code\t\t\t\t\t%s">(p, 1, kCodeNames(rejected.U8Or0(0)));
  list.Add<"Identifier\t\t\t%d">(p + 1, 1, rejected.U8Or0(1));
  list.Add<"Length\t\t\t\t%d">(p + 2, 2, rejected.Be16Or0(2));
  list.Close();
}

void DetailLcp(qv::Layer& l, qv::DetailList& list) {
  const qv::View& h = l.header;
  // The length field counts only when it is captured.
  WORD declared = 0;
  const bool hasLength = h.Be16(2, &declared);
  const qv::View packet = hasLength ? h.Sub(0, declared) : h;
  const int o = l.offset();
  if (!l.Title(list, (int)packet.size()) || packet.size() < kHeaderLength) return;
  const BYTE code = packet.U8Or0(0);
  list.Add<"Code\t\t\t\t\t\t%s">(o, 1, kCodeNames(code));
  list.Add<"Identifier\t\t\t\t%d">(o + 1, 1, packet.U8Or0(1));
  list.Add<"Length\t\t\t\t\t%d">(o + 2, 2, declared);
  if (list.stopped) return;
  const qv::View data = packet.From(kHeaderLength);
  switch (code) {
    case CODE_CONFIGURE_REQUEST:
    case CODE_CONFIGURE_ACK:
    case CODE_CONFIGURE_NAK:
    case CODE_CONFIGURE_REJECT:
      DetailLcpOptions(list, data);
      break;
    case CODE_PROTOCOL_REJECT: {
      if (data.size() < kRejectedMinimum) break;
      const WORD number = data.Be16Or0(0);
      list.Add<"Protocol\t\t\t\t\t%04X\t%s">(data.Offset(), kProtocolField, number, kPppProtocolNames(number));
      DetailRejectedHeader(list, data.From(kProtocolField));
      list.Close();
      break;
    }
    case CODE_TERMINATE_REQUEST:
    case CODE_TERMINATE_ACK:
    case CODE_CODE_REJECT:
    case CODE_ECHO_REQUEST:
    case CODE_ECHO_REPLY:
    case CODE_DISCARD_REQUEST:
      list.Close();
      break;
    default:
      break;
  }
}

void SummarizeLcp(qv::Layer& l, SummaryRow* row) {
  BYTE code;
  qv::SetCellText(row->protocol, "LCP");
  qv::SetCellText(row->description, l.header.U8(0, &code) ? kCodeNames(code) : "Unknown");
}

constexpr qv::Binding kBindings[] = {{"MAC-802.3", 0xC021}};

}  // namespace

constexpr qv::ProtocolDecl kLcpDecl = {
    .nameId = "PPP-LCP",
    .description = "PPP Link Control Protocol",
    .flags = PROTOCOL_PARENT | PROTOCOL_CHILD,
    .control = qv::CONTROL_MINIMAL,
    .statistics = {2, "PPP Link Control Protocol"},
    .summary = SummarizeLcp,
    .detail = DetailLcp,
    .handOn = HandOnUnmoved,
    .bindings = kBindings,
};
qv::Protocol g_lcp = qv::Declare<g_lcp, kLcpDecl>();

}  // namespace dorrow
