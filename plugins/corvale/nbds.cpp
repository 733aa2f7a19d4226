// IP-NBDS and IP-NBSS: the NetBIOS datagram service (port 138) and session
// service (ports 139 and 445). Each shows its own header and hands what
// follows to MS-SMB when it begins with the SMB signature.
// The headers are those of RFC 1002: datagrams 4.4, sessions 4.3.
#include <string.h>

#include "corvale.h"
#include "netbios.h"

namespace corvale {

namespace {

const int kNameField = 34;
const int kSessionHeader = 4;

ProtocolParse g_smb;  // MS-SMB's parse entry, or DefaultParse without it
constexpr qv::Cache kCaches[] = {{"MS-SMB", &g_smb}};

// What follows goes to MS-SMB only when all four signature bytes are
// captured: FF 'S' 'M' 'B'.
ProtocolParse SmbAt(const qv::View& v, int64_t at) {
  static const BYTE kSignature[4] = {0xFF, 'S', 'M', 'B'};
  const BYTE* b = v.Bytes(at, 4);
  return b && memcmp(b, kSignature, sizeof kSignature) == 0 ? g_smb : nullptr;
}

// A name field's line, only when all 34 bytes of the field are captured.
bool NameLine(qv::DetailList& list, const qv::View& message, int64_t at, const char* label) {
  qv::NetBiosName name;
  if (!message.Has(at, kNameField) || qv::DecodeNetBiosName(message, at, &name) < 0) return false;
  return list.Add<"%s%s">(message.Offset(at), kNameField, label, name.text) != nullptr;
}

// ---------------------------------------------------------------- datagrams

BYTE g_datagramFlagsState;

constexpr qv::Name kDatagramTypes[] = {
    {0x10, "Direct Unique Datagram"}, {0x11, "Direct Group Datagram"},      {0x12, "Broadcast Datagram"},
    {0x13, "Error Datagram"},         {0x14, "Datagram Query Request"},     {0x15, "Datagram Positive Response"},
    {0x16, "Datagram Negative Response"},
};
constexpr qv::NameTable kDatagramTypeNames(kDatagramTypes, "Unknown Datagram Type");

constexpr qv::Name kNodeTypes[] = {
    {0x00, "B-Node\t\t\t"}, {0x04, "P-Node\t\t\t"}, {0x08, "M-Node\t\t\t"}, {0x0C, "NBDD-Node\t"}};
constexpr qv::NameTable kNodeTypeNames(kNodeTypes, "");

bool CarriesData(BYTE type) { return type >= 0x10 && type <= 0x12; }
int DatagramHeaderLength(BYTE type) {
  if (CarriesData(type)) return 82;
  if (type == 0x13) return 11;
  if (type >= 0x14 && type <= 0x16) return 44;
  return 10;
}

// A datagram too short for its type names none.
void SummarizeNbds(qv::Layer& l, SummaryRow* row) {
  BYTE type;
  qv::SetCellText(row->protocol, "NBDS");
  qv::SetCellText(row->description, l.header.U8(0, &type) ? kDatagramTypeNames(type) : "");
}

// The lines up to byte 82 for every type, each while its field is captured.
void DetailNbds(qv::Layer& l, qv::DetailList& list) {
  const qv::View& h = l.header;
  const int o = l.offset();
  const BYTE type = h.U8Or0(0);
  BYTE flags;
  if (!l.OpenDetail(list, DatagramHeaderLength(type), 1)) return;
  list.Add<"Datagram Type\t\t\t%s">(o, 1, kDatagramTypeNames(type));
  if (!h.U8(1, &flags)) return;
  list.Group<"Flags">(&g_datagramFlagsState, o + 1, 1);
  list.Add<"More Fragments\t\t%s%s">(o + 1, 1, (flags & 0x01) ? "On\t\t"sv : "Off\t"sv, qv::Bits(flags, 0x01, 8, 4));
  list.Add<"First Fragment\t\t%s%s">(o + 1, 1, (flags & 0x02) ? "On\t\t"sv : "Off\t"sv, qv::Bits(flags, 0x02, 8, 4));
  list.Add<"Node Type\t\t\t%s%s">(o + 1, 1, kNodeTypeNames(flags & 0x0C), qv::Bits(flags, 0x0C, 8, 4));
  list.Close();
  WORD word;
  if (!h.Be16(2, &word)) return;
  list.Add<"Datagram ID\t\t\t\t%01u">(o + 2, 2, (unsigned)word);
  const BYTE* address = h.Bytes(4, 4);
  if (!address) return;
  char dotted[64];
  DottedAddress(address, dotted);
  list.Add<"Source IP Address\t\t%s">(o + 4, 4, dotted);
  if (!h.Be16(8, &word)) return;
  list.Add<"Source Port\t\t\t\t%01u">(o + 8, 2, (unsigned)word);
  if (!h.Be16(10, &word)) return;
  list.Add<"Length\t\t\t\t\t%01d">(o + 10, 2, word);
  if (!h.Be16(12, &word)) return;
  list.Add<"Packet Offset\t\t\t%01u">(o + 12, 2, (unsigned)word);
  if (!NameLine(list, h, 14, "Source Name\t\t\t\t")) return;
  NameLine(list, h, 48, "Destination Name\t\t");
}

// Past the header of its type; only direct and broadcast datagrams carry
// data. When the host gave no line, nothing moves and nothing goes on.
ProtocolParse HandOnNbds(qv::Layer& l) {
  BYTE type;
  if (!l.header.U8(0, &type) || l.detailStopped) return nullptr;
  const int length = DatagramHeaderLength(type);
  l.frame->offset = l.offset() + length;
  return CarriesData(type) ? SmbAt(l.header, length) : nullptr;
}

constexpr qv::Binding kDatagramBindings[] = {{"IP-UDP", 138}, {"IP-TCP", 138}};

// ---------------------------------------------------------------- sessions

const BYTE kSessionMessage = 0x00;
const BYTE kSessionRequest = 0x81, kNegativeResponse = 0x83, kRetarget = 0x84;

constexpr qv::Name kSessionTypes[] = {
    {0x00, "Session Message"}, {0x81, "Session Initialize"},        {0x82, "Session Confirm"},
    {0x83, "Session Reject"},  {0x84, "Retarget Session Response"}, {0x85, "Keep Alive"},
};
constexpr qv::NameTable kSessionTypeNames(kSessionTypes, nullptr);

constexpr qv::Name kSessionErrors[] = {
    {0x80, "Not Listening on Called Name"}, {0x81, "Not Listening for Calling Name"},
    {0x82, "Called Name not present"},      {0x83, "Insufficient Resources"},
    {0x8F, "Unspecified"},
};
constexpr qv::NameTable kSessionErrorNames(kSessionErrors, "Unknown");

// Any other type is a piece of a longer message: "Pulse" when fewer than 6
// bytes remain of the frame, else "Data".
const char* SessionTypeName(const qv::Layer& l, BYTE type) {
  if (const char* name = kSessionTypeNames(type)) return name;
  return l.frame->frameLength - l.offset() < 6 ? "Pulse" : "Data";
}

// A packet too short for its type names none.
void SummarizeNbss(qv::Layer& l, SummaryRow* row) {
  BYTE type;
  qv::SetCellText(row->protocol, "NBSS");
  qv::SetCellText(row->description, l.header.U8(0, &type) ? SessionTypeName(l, type) : "");
}

bool DescribesPacket(BYTE type) { return type == kSessionRequest || type == kNegativeResponse || type == kRetarget; }

// The title covers the header; for the three types that describe the
// packet, the packet too; for a piece of a longer message, all of it (the
// title is then cut at the captured bytes).
int64_t SessionTitleLength(const qv::View& h) {
  BYTE type, flags;
  WORD length;
  if (h.U8(0, &type) && !kSessionTypeNames.Has(type)) return h.size();
  int64_t covered = kSessionHeader;
  if (h.U8(0, &type) && DescribesPacket(type) && h.U8(1, &flags) && h.Be16(2, &length))
    covered += length + ((flags & 0x01) ? 0x10000 : 0);
  return covered;
}

void DetailNbss(qv::Layer& l, qv::DetailList& list) {
  const qv::View& h = l.header;
  const int o = l.offset();
  if (!l.OpenDetail(list, SessionTitleLength(h), 1)) return;
  const BYTE type = h.U8Or0(0);
  BYTE flags;
  list.Add<"Packet Type\t\t\t\t%s">(o, 1, SessionTypeName(l, type));
  if (!kSessionTypeNames.Has(type)) {
    list.Close();
    return;
  }
  WORD word;
  if (!h.U8(1, &flags)) return;
  list.Add<"Flags\t\t\t\t\t\t0x%02x">(o + 1, 1, flags);
  if (!h.Be16(2, &word)) return;
  list.Add<"Packet Length\t\t\t%u">(o + 2, 2, word + ((flags & 0x01) ? 0x10000u : 0));
  switch (type) {
    case kSessionRequest:
      if (NameLine(list, h, 4, "Destination Name\t\t")) NameLine(list, h, 38, "Source Name\t\t\t\t");
      break;
    case kNegativeResponse: {
      BYTE code;
      if (h.U8(4, &code)) list.Add<"Error Code\t\t\t\t%s">(o + 4, 1, kSessionErrorNames(code));
      break;
    }
    case kRetarget:
      if (const BYTE* address = h.Bytes(4, 4)) {
        char dotted[64];
        DottedAddress(address, dotted);
        list.Add<"IP Address\t\t\t%s">(o + 4, 4, dotted);
        if (h.Be16(8, &word)) list.Add<"Port\t\t\t\t%04x">(o + 8, 2, word);
      }
      break;
    default:
      break;
  }
}

// Past the 4-byte header in every pass; only a session message whose lines
// were all made goes on.
ProtocolParse HandOnNbss(qv::Layer& l) {
  BYTE type;
  l.frame->offset = l.offset() + kSessionHeader;
  if (!l.header.U8(0, &type) || type != kSessionMessage || l.detailStopped) return nullptr;
  return SmbAt(l.header, kSessionHeader);
}

constexpr qv::Binding kSessionBindings[] = {{"IP-UDP", 139}, {"IP-UDP", 445}, {"IP-TCP", 139}, {"IP-TCP", 445}};

}  // namespace

constexpr qv::ProtocolDecl kNbdsDecl = {
    .nameId = "IP-NBDS",
    .description = "NetBios Datagram Service Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {5, "NBDS"},
    .summary = SummarizeNbds,
    .detail = DetailNbds,
    .handOn = HandOnNbds,
    .bindings = kDatagramBindings,
    .caches = kCaches,
};
qv::Protocol g_nbds = qv::Declare<g_nbds, kNbdsDecl>();

constexpr qv::ProtocolDecl kNbssDecl = {
    .nameId = "IP-NBSS",
    .description = "NetBios Session Service Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {5, "NBSS"},
    .summary = SummarizeNbss,
    .detail = DetailNbss,
    .handOn = HandOnNbss,
    .bindings = kSessionBindings,
    .caches = kCaches,
};
qv::Protocol g_nbss = qv::Declare<g_nbss, kNbssDecl>();

}  // namespace corvale
