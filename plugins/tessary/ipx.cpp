// NOVELL-IPX: the 30-byte IPX header under Ethernet, 802.1Q, 802.2 and raw
// 802.3. The packet length trims the frame; the payload goes to the child
// bound under (packet type << 16) | socket, the destination socket first,
// then the source socket, then the child kept for the packet type alone.
#include "address_text.h"
#include "tessary.h"

namespace tessary {

namespace {

const int kHeaderLength = 30;

ChildTable g_children;
// By packet type, for packets that no socket binding claims; only NCP's
// type (17) is ever filled, so that NCP on any socket reaches it.
ProtocolParse g_typeFallback[256];
BYTE g_destinationState, g_sourceState;

constexpr qv::Name kPacketTypes[] = {
    {1, "Novell Routing Information Protocol"},
    {2, "IPX Echo Protocol"},
    {3, "IPX Error Protocol"},
    {4, "IPX Packet Exchange Protocol"},
    {5, "IPX Sequential Packet Exchange Protocol"},
    {17, "Netware Core Protocol"},
    {20, "Novell NETBIOS Protocol"},
};
constexpr qv::NameTable kPacketTypeNames(kPacketTypes, "");

constexpr qv::Name kSockets[] = {
    {0x0451, "Netware Core Protocol"},
    {0x0452, "Novell Service Advertising Protocol"},
    {0x0453, "Novell Routing Information Protocol"},
    {0x0455, "Novell NETBIOS Protocol"},
    {0x0456, "Diagnostic Protocol on IPX"},
    {0x0457, "Serialization Protocol on IPX"},
    {0x0550, "Name Management Protocol Server on IPX"},
    {0x0551, "Name Management Protocol Name Claim on IPX"},
    {0x0552, "Name Management Protocol Workstation on IPX"},
    {0x0553, "Name Management Protocol Mailslot on IPX"},
};
constexpr qv::NameTable kSocketNames(kSockets, "");

DWORD ChildKey(BYTE type, WORD socket) { return (DWORD)type << 16 | socket; }

// A header at or past the frame's end counts nothing, not even the frame.
void CountIpx(qv::Layer& l) {
  const int64_t left = (int64_t)l.frame->frameLength - l.offset();
  if (left > 0) qv::CountBytes(&l.protocol.counters, left);
}

// One end of the packet: network, node and socket under a group heading.
// False when a field was not captured or the host gave no line.
bool DetailAddress(const qv::View& h, int at, BYTE* state, const char* label, qv::DetailList& list) {
  DWORD network;
  if (!h.Be32(at, &network)) return false;
  list.Group<"%s">(state, h.Offset(at), 12, label);
  list.Add<"Network\t\t\t\t%08X">(h.Offset(at), 4, (unsigned)network);
  const BYTE* node = h.Bytes(at + 4, 6);
  if (!node) return false;
  char text[128];
  IpxNodeText(node, text, sizeof text);
  list.Add<"Node\t\t\t\t\t%s">(h.Offset(at + 4), 6, text);
  WORD socket;
  if (!h.Be16(at + 10, &socket)) return false;
  const char* name;
  const bool named = IpxSocketName(socket, &name);
  list.Add<"Socket\t\t\t\t%04x%s%s">(h.Offset(at + 10), 2, (unsigned)socket, named ? "\t"sv : ""sv, name);
  list.Close();
  return !list.stopped;
}

// The lines end at the first field that was not captured; the title group
// is ended by the host.
void DetailIpx(qv::Layer& l, qv::DetailList& list) {
  const qv::View& h = l.header;
  const int o = l.offset();
  if (!list.Group<"Novell Internet Packet Exchange">(&l.protocol.titleState, o, kHeaderLength)) return;
  WORD checksum, length;
  BYTE control, type;
  if (!h.Be16(0, &checksum)) return;
  list.Add<"Packet Checksum\t\t0x%04X">(o, 2, (unsigned)checksum);
  if (!h.Be16(2, &length)) return;
  list.Add<"Packet Length\t\t\t%01u">(o + 2, 2, (unsigned)length);
  if (!h.U8(4, &control)) return;
  list.Add<"Packet Control\t\t\t%01u">(o + 4, 1, (unsigned)control);
  if (!h.U8(5, &type)) return;
  list.Add<"Packet Type\t\t\t\t%01d\t%s">(o + 5, 1, type, kPacketTypeNames(type));
  if (DetailAddress(h, 6, &g_destinationState, "Packet Destination", list))
    DetailAddress(h, 18, &g_sourceState, "Packet Source", list);
}

// A packet length below the header's own 30 bytes, or a header that does
// not fit before the frame's end (a raw 802.3 length below 30 trims the
// frame so), is malformed: nothing is trimmed and the frame goes to
// DefaultParse where it stands, so that no child counts bytes it does not
// have. A header cut by the capture names no child either.
ProtocolParse HandOnIpx(qv::Layer& l) {
  const qv::View& h = l.header;
  CaptureFrame* frame = l.frame;
  WORD length;
  if (!h.Be16(2, &length) || length < kHeaderLength || (int64_t)frame->frameLength - l.offset() < kHeaderLength)
    return qv::g_svc.DefaultParse;
  qv::TrimFrame(frame, (int64_t)l.offset() + length);
  if (!h.Has(0, kHeaderLength)) return qv::g_svc.DefaultParse;
  const BYTE type = h.U8Or0(5);
  ProtocolParse child = qv::FindChildProtocol(&g_children, ChildKey(type, h.Be16Or0(16)));
  if (child == qv::g_svc.DefaultParse) child = qv::FindChildProtocol(&g_children, ChildKey(type, h.Be16Or0(28)));
  if (child == qv::g_svc.DefaultParse && g_typeFallback[type]) child = g_typeFallback[type];
  frame->offset = l.offset() + kHeaderLength;
  return child;
}

constexpr qv::Binding kBindings[] = {{"MAC-802.3", 0x8137}, {"VLAN", 0x8137}, {"LLC-802.2", 0xE0}};
constexpr qv::Cache kCaches[] = {{"IPX-NCP", &g_typeFallback[17]}};

}  // namespace

bool IpxSocketName(WORD socket, const char** text) {
  *text = kSocketNames(socket);
  return kSocketNames.Has(socket);
}

void IpxNodeText(const BYTE* node, char* text, size_t size) {
  char hex[qv::kHexAddressTextSize];
  char name[128] = "";
  COLORREF destinationColor = 0, sourceColor = 0;
  qv::g_svc.FormatHexAddress(node, 6, hex);
  // Always asked for a name, whatever the raw-address option says.
  if (qv::g_svc.LookupName(node, 6, 1, name, 2, &destinationColor, &sourceColor))
    qv::FormatText(text, size, "%s\t%s", hex, name);
  else
    qv::FormatText(text, size, "%s", hex);
}

constexpr qv::ProtocolDecl kIpxDecl = {
    .nameId = "NOVELL-IPX",
    .description = "IPX",
    .flags = PROTOCOL_PARENT | PROTOCOL_CHILD,
    .control = qv::CONTROL_PARENT,
    .statistics = {3, "IPX"},
    .children = &g_children,
    .words = {"IPX", "Frame"},
    .count = CountIpx,
    .detail = DetailIpx,
    .handOn = HandOnIpx,
    .bindings = kBindings,
    .caches = kCaches,
};
qv::Protocol g_ipx = qv::Declare<g_ipx, kIpxDecl>();

}  // namespace tessary
