// IP-ARP: address resolution under the link layer. The summary names the
// operation and the address asked for or answered; the detail lays out the
// message and drops the Ethernet padding behind it from the frame. The
// hardware type names and the two address lines serve BOOTP too.
// The message is RFC 826's.
#include <string.h>

#include "corvale.h"

namespace corvale {

namespace {

const int kFixedHeader = 8;

// The library's string table: hardware types 1 to 30 are ids 1200 to 1229,
// every other type id 1230.
const unsigned kFirstHardwareType = 1200;
const unsigned kUnknownHardwareType = 1230;
const plat::StringRow kStrings[] = {
    {1200, "Ethernet (10Mb)"},
    {1201, "Experimental Ethernet (3Mb)"},
    {1202, "Amateur Radio AX.25"},
    {1203, "Proteon ProNET Token Ring"},
    {1204, "Chaos"},
    {1205, "IEEE 802 Networks"},
    {1206, "ARCNET"},
    {1207, "Hyperchannel"},
    {1208, "Lanstar"},
    {1209, "Autonet Short Address"},
    {1210, "LocalTalk"},
    {1211, "LocalNet (IBM PCNet or SYTEK LocalNET)"},
    {1212, "Ultra link"},
    {1213, "SMDS"},
    {1214, "Frame Relay"},
    {1215, "Asynchronous Transmission Mode (ATM)"},
    {1216, "HDLC"},
    {1217, "Fibre Channel"},
    {1218, "Asynchronous Transmission Mode (ATM)"},
    {1219, "Serial Line"},
    {1220, "Asynchronous Transmission Mode (ATM)"},
    {1221, "MIL-STD-188-220"},
    {1222, "Metricom"},
    {1223, "IEEE 1394.1995"},
    {1224, "MAPOS"},
    {1225, "Twinaxial"},
    {1226, "EUI-64"},
    {1227, "HIPARP"},
    {1228, "IP and ARP over ISO 7816-3"},
    {1229, "ARPSec"},
    {1230, "Unknown"},
};

struct Operation {
  DWORD key;
  const char* summary;  // followed directly by the address
  bool sender;          // the summary shows the sender's protocol address
  const char* detail;
};
constexpr Operation kOperations[] = {
    {1, "Request-", false, "Address Resolution Request"},
    {2, "Response-", true, "Address Resolution Response"},
    {3, "Reverse Request-", true, "Reverse Address Resolution Request"},
    {4, "Reverse Response-", false, "Reverse Address Resolution Response"},
};
constexpr Operation kOtherOperation = {0, "Unknown", false, "Unknown"};

const Operation& FindOperation(WORD operation) {
  const Operation* o = qv::FindRow(std::span<const Operation>(kOperations), operation);
  return o ? *o : kOtherOperation;
}

// The fixed part and where the addresses sit; the sizes come from the
// message itself, so every address is read only where it was captured.
struct ArpMessage {
  qv::View v;
  bool fixed;  // the 8 fixed bytes are captured
  BYTE hlen = 0, plen = 0;
  WORD operation = 0;

  explicit ArpMessage(const qv::View& view) : v(view), fixed(view.Has(0, kFixedHeader)) {
    v.U8(4, &hlen);
    v.U8(5, &plen);
    v.Be16(6, &operation);
  }
  bool HasSizes() const { return v.Has(4, 2); }
  int Length() const { return kFixedHeader + 2 * hlen + 2 * plen; }
  int SenderHardware() const { return kFixedHeader; }
  int SenderProtocol() const { return kFixedHeader + hlen; }
  int TargetHardware() const { return kFixedHeader + hlen + plen; }
  int TargetProtocol() const { return kFixedHeader + 2 * hlen + plen; }
};

DetailLine* AppendAddress(qv::DetailList& list, int at, const BYTE* data, int length, const char* label,
                          void (*format)(const BYTE*, int, char*)) {
  if (!data) return nullptr;
  char text[kAddressTextSize];
  format(data, length, text);
  return list.Quote(at, length, label, text, kLineBound);
}

void SummarizeArp(qv::Layer& l, SummaryRow* row) {
  const ArpMessage m(l.header);
  qv::SetCellText(row->protocol, "ARP");
  if (!m.fixed) {
    qv::SetCellText(row->description, "");
    return;
  }
  const Operation& op = FindOperation(m.operation);
  char address[kAddressTextSize] = "";
  if (const BYTE* bytes = m.v.Bytes(op.sender ? m.SenderProtocol() : m.TargetProtocol(), m.plen))
    DottedAddressText(bytes, m.plen, address);
  qv::SetCellText(row->description, op.summary);
  qv::AppendCellText(row->description, address);
}

// Lines end at the first field that was not captured.
void DetailArp(qv::Layer& l, qv::DetailList& list) {
  const ArpMessage m(l.header);
  const qv::View& v = m.v;
  const int o = v.Offset();
  if (!l.OpenDetail(list, m.HasSizes() ? m.Length() : v.size(), 2)) return;
  // Ethernet padding behind the message drops out of what the host shows
  // next; the wire length stays.
  CaptureFrame* frame = l.frame;
  if (m.HasSizes() && (int64_t)o + m.Length() < frame->capturedLength) frame->capturedLength = o + m.Length();

  char name[kAddressTextSize];
  ArpHardwareTypeName(v.Be16Or0(0), name);
  list.Add<"Hardware Type\t\t\t%s">(o, 2, name);
  const BYTE* type = v.Bytes(2, 2);
  if (!type) return;
  name[0] = 0;
  if (qv::g_svc.RetrieveEtherType) qv::g_svc.RetrieveEtherType(type, name, 1);
  name[sizeof name - 1] = 0;
  list.Add<"Protocol Type\t\t\t%04x\t%s">(o + 2, 2, (unsigned)v.Be16Or0(2), name);
  if (!v.Has(4, 1)) return;
  list.Add<"Hardware Addr Size\t%d">(o + 4, 1, m.hlen);
  if (!v.Has(5, 1)) return;
  list.Add<"Protocol Addr Size\t%d">(o + 5, 1, m.plen);
  if (!m.fixed) return;
  list.Add<"ARP Function\t\t\t%s">(o + 6, 2, FindOperation(m.operation).detail);
  if (!AppendHardwareAddress(list, v.Offset(m.SenderHardware()), v.Bytes(m.SenderHardware(), m.hlen), m.hlen,
                             "Sender HW Address\t\t"))
    return;
  if (!AppendProtocolAddress(list, v.Offset(m.SenderProtocol()), v.Bytes(m.SenderProtocol(), m.plen), m.plen,
                             "Sender Prot Address\t"))
    return;
  if (!AppendHardwareAddress(list, v.Offset(m.TargetHardware()), v.Bytes(m.TargetHardware(), m.hlen), m.hlen,
                             "Target HW Address\t\t"))
    return;
  if (AppendProtocolAddress(list, v.Offset(m.TargetProtocol()), v.Bytes(m.TargetProtocol(), m.plen), m.plen,
                            "Target Prot Address\t"))
    list.Close();  // the title's group
}

constexpr qv::Binding kBindings[] = {{"MAC-802.3", 0x0806}, {"VLAN", 0x0806}};

}  // namespace

void ArpHardwareTypeName(DWORD type, char* text) {
  const unsigned id = type >= 1 && type <= 30 ? kFirstHardwareType - 1 + type : kUnknownHardwareType;
  plat::LoadString(kStrings, sizeof kStrings / sizeof kStrings[0], id, text, kHardwareTypeTextSize);
}

DetailLine* AppendHardwareAddress(qv::DetailList& list, int at, const BYTE* data, int length, const char* label) {
  return AppendAddress(list, at, data, length, label, HexAddressText);
}

DetailLine* AppendProtocolAddress(qv::DetailList& list, int at, const BYTE* data, int length, const char* label) {
  return AppendAddress(list, at, data, length, label, DottedAddressText);
}

constexpr qv::ProtocolDecl kArpDecl = {
    .nameId = "IP-ARP",
    .description = "Address Resolution Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {2, "ARP"},
    .summary = SummarizeArp,
    .detail = DetailArp,
    .bindings = kBindings,
};
qv::Protocol g_arp = qv::Declare<g_arp, kArpDecl>();

}  // namespace corvale
