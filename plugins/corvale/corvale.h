// The protocols of the Corvale library (IP suite) and what they share.
#pragma once

#include "names.h"
#include "plugin.h"

namespace corvale {

// Fixed words of the detail lines written as "On"sv: copied by their length.
using namespace std::string_view_literals;

extern qv::Protocol g_ip;     // "DOD-IP"
extern qv::Protocol g_icmp;   // "IP-ICMP"
extern qv::Protocol g_igmp;   // "IP-IGMP"
extern qv::Protocol g_arp;    // "IP-ARP"
extern qv::Protocol g_udp;    // "IP-UDP"
extern qv::Protocol g_tcp;    // "IP-TCP"
extern qv::Protocol g_bootp;  // "IP_BOOTP"
extern qv::Protocol g_nbns;   // "IP-NBNS"
extern qv::Protocol g_nbds;   // "IP-NBDS"
extern qv::Protocol g_nbss;   // "IP-NBSS"
extern qv::Protocol g_dns;    // "IP-DNS"

// What IP-TCP keeps of the last TCP header it saw, for DNS over TCP: copies
// of the ports, never a pointer into a frame that the host may since have
// freed. Recorded in every pass, so that each pass of DNS decides on the
// frame at hand.
struct TcpHeaderRecord {
  BYTE seen;  // a header has been recorded
  WORD sourcePort;
  WORD destinationPort;  // 0 when it was not captured
};
extern TcpHeaderRecord LastTcpHeader;

// The source address of the datagram that DOD-IP handed on last, recorded
// in every pass, so that the name service can tell whether an answer names
// the station that sent it.
struct IpSourceRecord {
  BYTE seen;  // the datagram's source address was captured
  BYTE address[4];
};
extern IpSourceRecord LastIpSource;

// The four section counts of a name-service or DNS header (bytes 4 to 11),
// a line each while they are captured; false at the first that is not.
bool AddSectionCounts(qv::DetailList& list, const qv::View& header, WORD counts[4]);

// Transport hand-on: the child bound under the destination port, else the
// one under the source port, else the DefaultParse copy.
inline ProtocolParse FindPortChild(const ChildTable* table, WORD destination, WORD source) {
  ProtocolParse child = qv::FindChildProtocol(table, destination);
  if (child == qv::g_svc.DefaultParse) child = qv::FindChildProtocol(table, source);
  return child;
}

// The transport summaries' ports, appended to the address cells that the IP
// summary of this frame wrote (it sets the two IS_NETWORK bits); a port
// that was not captured is left out. Inline, the ports in registers.
inline void AppendPorts(SummaryRow* row, bool haveSource, WORD source, bool haveDestination, WORD destination) {
  const DWORD flags = qv::TableFlags();
  if ((flags & MT_SOURCE_IS_NETWORK) && haveSource) qv::AppendCellNumber(row->source, ':', source);
  if ((flags & MT_DESTINATION_IS_NETWORK) && haveDestination) qv::AppendCellNumber(row->destination, ':', destination);
}

// Four address bytes as dotted decimal, through the name table's formatter
// where a library serves it; text holds at least 16 bytes.
void PrintDottedAddress(const BYTE* address, char* text);
inline void DottedAddress(const BYTE* address, char* text) {
  if (qv::g_svc.FormatDottedAddress)
    qv::g_svc.FormatDottedAddress(address, 4, text);
  else
    PrintDottedAddress(address, text);
}

using qv::kLineBound;

// The name table's address texts of any length: hex pairs or dotted
// numbers, cut at 16 bytes with "...". text holds kAddressTextSize bytes.
const int kAddressTextSize = qv::kLineTextSize;
void HexAddressText(const BYTE* data, int length, char* text);
void DottedAddressText(const BYTE* data, int length, char* text);

// Shared by ARP and BOOTP. The hardware type's name from the library's
// string table, into text of kHardwareTypeTextSize bytes.
const int kHardwareTypeTextSize = 64;
void ArpHardwareTypeName(DWORD type, char* text);
// A line of label and address, kept within kLineBound characters, for the
// length bytes at frame offset at; null data (not captured) adds nothing.
DetailLine* AppendHardwareAddress(qv::DetailList& list, int at, const BYTE* data, int length, const char* label);
DetailLine* AppendProtocolAddress(qv::DetailList& list, int at, const BYTE* data, int length, const char* label);

using qv::SetTableFlags;
using qv::TableFlags;

// Protocols above the transports with a file each, or a file to a family.
extern qv::Protocol g_tftp;    // "IP-TFTP"
extern qv::Protocol g_ftp;     // "IP-FTP"
extern qv::Protocol g_http;    // "IP-HTTP"
extern qv::Protocol g_egp;     // "IP-EGP"
extern qv::Protocol g_slp;     // "IP-SLP"
extern qv::Protocol g_ospf;    // "IP-OSPF"
extern qv::Protocol g_snmp;    // "IP-SNMP"
extern qv::Protocol g_ssdp;    // "IP-SSDP"
extern qv::Protocol g_radius;  // "RADIUS"
extern qv::Protocol g_smtp;    // "IP-SMTP"
extern qv::Protocol g_pop3;    // "IP-POP3"

}  // namespace corvale
