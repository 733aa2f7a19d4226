// IP_BOOTP: the fixed BOOTP header, a dump of the vendor area and, behind
// the DHCP magic cookie, the option list, one group per option.
// BOOTP is RFC 951; the cookie and the options are RFC 2132's.
#include <string.h>

#include "corvale.h"

namespace corvale {

namespace {

const int kVendorArea = 236;
const int kOptions = 240;
const int kVendorDumpFull = 300;  // from this size on the dump shows kVendorDumpCap bytes
const int kVendorDumpCap = 64;
const int kHardwareAddressField = 16;
const int kServerNameField = 64;
const int kFileField = 128;
const DWORD kDhcpCookie = 0x63825363;
const BYTE kPad = 0;
const BYTE kEnd = 255;
const BYTE kLastDecoded = 112;  // option codes above have no body

BYTE g_flagsState, g_optionState;

constexpr qv::Name kOptionNameRows[] = {
    {0, "Pad"},
    {1, "Subnet Mask Value"},
    {2, "Time Offset in Seconds from UTC"},
    {3, "Router Address"},
    {4, "Timeserver Address"},
    {5, "IEN-116 Server Address"},
    {6, "DNS Server Address"},
    {7, "Logging Server Address"},
    {8, "Quotes Server Address"},
    {9, "Printer Server Address"},
    {10, "Impress Server Address"},
    {11, "RLP Server Address"},
    {12, "Host Name String"},
    {13, "Size of Boot File"},
    {14, "Client to Dump and Dump File Name"},
    {15, "The DNS Domain Name of the Client"},
    {16, "Swap Server addeess"},
    {17, "Path Name for Root Disk"},
    {18, "Path Name for more BOOTP Info"},
    {19, "Enable/Disable IP Forwarding"},
    {20, "Enable/Disable Source Routing"},
    {21, "Routing Policy Filters"},
    {22, "Max Datagram Reassembly Size"},
    {23, "Default IP Time to Live"},
    {24, "Path MTU Aging Timeout"},
    {25, "Path MTU  Plateau Table"},
    {26, "Interface MTU Size"},
    {27, "All Subnets are Local"},
    {28, "Broadcast Address"},
    {29, "Perform Mask Discovery"},
    {30, "Provide Mask to Others"},
    {31, "Perform Router Discovery"},
    {32, "Router Solicitation Address"},
    {33, "Static Routing Table"},
    {34, "Trailer Encapsulation"},
    {35, "ARP Cache Timeout"},
    {36, "Ethernet Encapsulation"},
    {37, "Default TCP Time to Live"},
    {38, "TCP Keepalive Interval"},
    {39, "TCP Keepalive Garbage"},
    {40, "NIS Domain Name"},
    {41, "NIS Server Address"},
    {42, "NTP Server Address"},
    {43, "Vendor Specific Information"},
    {44, "NETBIOS Name Servers"},
    {45, "NETBIOS Datagram Distribution"},
    {46, "NETBIOS Node Type"},
    {47, "NETBIOS Scope"},
    {48, "X Window Font Server"},
    {49, "X Window Display Manager"},
    {50, "Requested IP Address"},
    {51, "IP Address Lease Time"},
    {52, "Overload \"sname\" or \"file\""},
    {53, "DHCP Message Type"},
    {54, "DHCP Server Identification"},
    {55, "Parameter Request List"},
    {56, "DHCP Error Message"},
    {57, "DHCP Maximum Message Size"},
    {58, "DHCP Renewal (T1) Time"},
    {59, "DHCP Rebinding (T2) Time"},
    {60, "Class Identifier"},
    {61, "Client Identifier"},
    {62, "Netware/IP Domain Name"},
    {63, "Netware/IP sub Options"},
    {64, "NIS+ v3 Client Domain Name"},
    {65, "NIS+ v3 Server Address"},
    {66, "TFTP Server Name"},
    {67, "Boot File Name"},
    {68, "Home Agent Address"},
    {69, "Simple Mail Server Address"},
    {70, "Post Office Server Address"},
    {71, "Network News Server Address"},
    {72, "WWW Server Address"},
    {73, "Finger Server Address"},
    {74, "Chat Server Address"},
    {75, "StreetTalk Server Address"},
    {76, "ST Directory Assistance Address"},
    {77, "User Class Information"},
    {78, "Directory Agent Information"},
    {79, "Service Location Agent Scope"},
    {80, "Naming Authority"},
    {81, "Fully Qualified Domain Name"},
    {82, "Agent Circuit ID"},
    {83, "Agent Remote ID"},
    {84, "Agent Subnet Mask"},
    {85, "Novell Directory Services"},
    {86, "Novell Directory Services"},
    {87, "Novell Directory Services"},
    {88, "IEEE 1003.1 POSIX Timezone"},
    {89, "Fully Qualified Domain Name"},
    {90, "Authentication"},
    {91, "Vines TCP/IP Server Option"},
    {92, "Server Selection Option"},
    {93, "Client System Architecture"},
    {94, "Client Network Device Interface"},
    {95, "Lightweight Directory Access Protocol"},
    {96, "IPv6 Transitions"},
    {97, "UUID/GUID-based Client Identifier"},
    {98, "Open Group's User Authentication"},
    {100, "Printer Name"},
    {101, "DHCP multicast address"},
    {108, "Swap Path Option"},
    {110, "IPX Compatability"},
    {112, "NetInfo Parent Server Address"},
    {113, "NetInfo Parent Server Tag"},
    {114, "URL"},
    {115, "DHCP Failover Protocol"},
    {116, "DHCP Auto-Configuration"},
    {117, "Name Service Search"},
    {118, "Subnet Selection Option"},
    {126, "Extension"},
    {127, "Extension"},
    {255, "End of Extensions"},
};
constexpr qv::NameTable kOptionNames(kOptionNameRows, "Unknown Function");

constexpr qv::Name kMessageTypeRows[] = {
    {1, "Discover"}, {2, "Offer"},    {3, "Request"}, {4, "Decline"},
    {5, "Acknowledge"}, {6, "Negative Acknowledge"}, {7, "Release"}, {8, "Inform"},
};
constexpr qv::NameTable kMessageTypes(kMessageTypeRows, "Unknown");

// Options whose data is a list of IPv4 addresses.
bool IsAddressList(BYTE code) {
  switch (code) {
    case 3: case 4: case 5: case 6: case 7: case 8: case 9: case 10: case 11:
    case 16: case 41: case 42: case 44: case 48: case 49: case 50: case 54:
    case 68: case 69: case 70: case 71: case 72: case 73: case 74: case 75: case 76:
    case 84: case 85: case 91: case 112:
      return true;
    default:
      return false;
  }
}

const char* BootpOptionName(BYTE code) { return kOptionNames(code); }

// Characters of a text field up to its first NUL, at most max of them, the
// line kept within its bound.
DetailLine* TextLine(qv::DetailList& list, const qv::View& field, int max, const char* label) {
  const BYTE* bytes = field.Bytes(0, max);
  if (!bytes) return nullptr;
  return list.Quote(field.Offset(), max, label, reinterpret_cast<const char*>(bytes), max);
}

// The body of an option; data holds its len bytes as far as they were
// captured, and each value is shown only when its bytes are there.
void OptionBody(qv::DetailList& list, BYTE code, const qv::View& data, int len) {
  char text[kAddressTextSize];
  BYTE b;
  DWORD value;
  if (IsAddressList(code)) {
    for (int i = 0; i < len / 4; i++) {
      if (!AppendProtocolAddress(list, data.Offset(4 * i), data.Bytes(4 * i, 4), 4, "Address\t\t\t\t")) return;
    }
    return;
  }
  switch (code) {
    case 1:
      AppendProtocolAddress(list, data.Offset(), data.Bytes(0, 4), 4, "Mask\t\t\t\t\t");
      break;
    case 12:
      TextLine(list, data, len, "Host Name\t\t\t");
      break;
    case 51:
      if (data.Be32(0, &value)) list.Add<"Lease Time\t\t\t%d">(data.Offset(), 4, (int32_t)value);
      break;
    case 53:
      if (data.U8(0, &b)) list.Add<"Message Type\t\t%s">(data.Offset(), 1, kMessageTypes(b));
      break;
    case 55:
      for (int i = 0; i < len && data.U8(i, &b); i++)
        if (!list.Add<"Requesting\t\t\t%s">(data.Offset(i), 1, BootpOptionName(b))) return;
      break;
    case 60:
      TextLine(list, data, len, "Vendor Class\t\t");
      break;
    case 61:
      // The hardware type from one byte of data, the address from two.
      if (!data.U8(0, &b)) break;
      ArpHardwareTypeName(b, text);
      if (!list.Add<"Hardware Type\t\t%s">(data.Offset(), 1, text)) break;
      if (len >= 2) AppendHardwareAddress(list, data.Offset(1), data.Bytes(1, len - 1), len - 1, "Address\t\t\t\t");
      break;
    default:
      break;
  }
}

// One option at position at of the option area; the bytes it uses, or 0
// when the walk ends with it (the end option, or a length byte that was not
// captured).
int64_t DetailBootpOption(qv::DetailList& list, const qv::View& area, int64_t at) {
  const int pos = area.Offset(at);
  const BYTE code = area.U8Or0(at);
  BYTE len;
  if (code == kPad || code == kEnd || !area.U8(at + 1, &len)) {
    list.Group<"Extension Option\t\t%s">(&g_optionState, pos, 1, BootpOptionName(code));
    list.Add<"Code\t\t\t\t\t%01d">(pos, 1, code);
    list.Close();
    return code == kPad ? 1 : 0;
  }
  list.Group<"Extension Option\t\t%s">(&g_optionState, pos, len + 2, BootpOptionName(code));
  list.Add<"Code\t\t\t\t\t%01d">(pos, 1, code);
  list.Add<"Data Length\t\t\t%d">(pos + 1, 1, len);
  if (code <= kLastDecoded && !list.stopped) OptionBody(list, code, area.Sub(at + 2, len), len);
  list.Close();
  return len + 2;
}

// A message whose op byte was not captured names nothing.
void SummarizeBootp(qv::Layer& l, SummaryRow* row) {
  BYTE op;
  qv::SetCellText(row->protocol, "BOOTP");
  qv::SetCellText(row->description, !l.header.U8(0, &op) ? "" : op == 1 ? "Request" : "Response");
}

// Lines end at the first field that was not captured; the title covers the
// captured bytes.
void DetailBootp(qv::Layer& l, qv::DetailList& list) {
  const qv::View& m = l.header;
  const int o = m.Offset();
  if (!l.OpenDetail(list, m.size(), 1)) return;
  const BYTE op = m.U8Or0(0);
  BYTE type, hlen, hops;
  WORD seconds;
  DWORD value;
  list.Add<"Function\t\t\t\t\t%s">(o, 1, op == 1 ? "Request"sv : "Response"sv);
  if (!m.U8(1, &type)) return;
  char name[kHardwareTypeTextSize];
  ArpHardwareTypeName(type, name);
  list.Add<"Hardware Type\t\t\t%s">(o + 1, 1, name);
  if (!m.U8(2, &hlen)) return;
  list.Add<"Address Length\t\t\t%d">(o + 2, 1, hlen);
  if (!m.U8(3, &hops)) return;
  list.Add<"Hop Count\t\t\t\t%d">(o + 3, 1, hops);
  if (!m.Be32(4, &value)) return;
  list.Add<"Transaction ID\t\t\t%ud">(o + 4, 4, value);
  if (!m.Be16(8, &seconds)) return;
  list.Add<"Seconds\t\t\t\t\t%d">(o + 8, 2, seconds);
  if (!m.Has(10, 2)) return;
  list.Group<"Flags">(&g_flagsState, o + 10, 2);
  list.Add<"Broadcast Flag\t\t%s">(o + 10, 2, (m.U8Or0(10) & 0x80) ? "On"sv : "Off"sv);
  list.Close();
  struct AddressField {
    int at;
    const char* label;
  };
  static constexpr AddressField kAddresses[] = {{12, "Client IP Address\t\t"},
                                                {16, "Assigned IP Address\t"},
                                                {20, "Server IP Address\t\t"},
                                                {24, "Gateway IP Address\t"}};
  for (const AddressField& a : kAddresses)
    if (!AppendProtocolAddress(list, o + a.at, m.Bytes(a.at, 4), 4, a.label)) return;
  // The hardware address field holds 16 bytes whatever hlen says.
  const int shown = hlen < kHardwareAddressField ? hlen : kHardwareAddressField;
  if (!AppendHardwareAddress(list, o + 28, m.Bytes(28, shown), shown, "Hardware Address\t\t")) return;
  if (!TextLine(list, m.Sub(44, kServerNameField), kServerNameField, "Server Name\t\t\t\t")) return;
  if (!TextLine(list, m.Sub(108, kFileField), kFileField, "Boot File Name\t\t\t")) return;

  const int64_t n = m.size();
  const int64_t dump = n >= kVendorDumpFull ? kVendorDumpCap : n >= kVendorArea ? n - kVendorArea : 0;
  if (dump > 0) list.HexDump("Vendor Specific Data", m.Bytes(kVendorArea, dump), (int)dump, o + kVendorArea);
  if (!m.Be32(kVendorArea, &value)) return;
  list.Add<"Magic Cookie\t\t\t0x%08x">(o + kVendorArea, 4, value);
  if (value == kDhcpCookie) {
    const qv::View area = m.From(kOptions);
    for (int64_t at = 0; at < area.size() && !list.stopped;) {
      const int64_t used = DetailBootpOption(list, area, at);
      if (used == 0) break;
      at += used;
    }
  }
  list.Close();  // the title's group, behind the last option's own close
}

constexpr qv::Binding kBindings[] = {{"IP-UDP", 67}, {"IP-UDP", 68}, {"IP-TCP", 67}, {"IP-TCP", 68}};

}  // namespace

constexpr qv::ProtocolDecl kBootpDecl = {
    .nameId = "IP_BOOTP",
    .description = "Bootstrap Protocol",
    .flags = PROTOCOL_CHILD,
    .control = qv::CONTROL_LEAF,
    .statistics = {3, "BOOTP"},
    .summary = SummarizeBootp,
    .detail = DetailBootp,
    .bindings = kBindings,
};
qv::Protocol g_bootp = qv::Declare<g_bootp, kBootpDecl>();

}  // namespace corvale
