// RetrieveIPProtocol and RetrieveIPPort: the IP protocol numbers of the
// assigned-numbers registry (0 .. 133) and the TCP/UDP port descriptions.
#include "names.h"

#include <stdint.h>
#include <string.h>

#include <atomic>

#include "text.h"

namespace corvale {

const ProtocolName kProtocolNames[] = {
    {"HOPOPT", "IPv6 Hop-by-Hop Option"},                      // 0
    {"ICMP", "Internet Control Message Protocol"},             // 1
    {"IGMP", "Internet Group Management Protocol"},            // 2
    {"GGP", "Gateway-to-Gateway Protocol"},                    // 3
    {"IP", "IP in IP (encapsulation)"},                        // 4
    {"ST", "Stream"},                                          // 5
    {"TCP", "Transmission Control Protocol"},                  // 6
    {"CBT", "CBT"},                                            // 7
    {"EGP", "Exterior Gateway Protocol"},                      // 8
    {"IGP", "Any private interior gateway"},                   // 9
    {"BBN-RCC-MON", "BBN RCC Monitoring"},                     // 10
    {"NVP-II", "Network Voice Protocol"},                      // 11
    {"PUP", "PUP"},                                            // 12
    {"ARGUS", "ARGUS"},                                        // 13
    {"EMCON", "EMCON"},                                        // 14
    {"XNET", "Cross Net Debugger"},                            // 15
    {"CHAOS", "Chaos"},                                        // 16
    {"UDP", "User Datagram Protocol"},                         // 17
    {"MUX", "Multiplexing"},                                   // 18
    {"DCN-MEAS", "DCN Measurement Subsystems"},                // 19
    {"HMP", "Host Monitoring Protocol"},                       // 20
    {"PRM", "Packet Radio Measurement"},                       // 21
    {"XNS-IDP", "XEROX NS IDP"},                               // 22
    {"TRUNK-1", "Trunk-1"},                                    // 23
    {"TRUNK-2", "Trunk-2"},                                    // 24
    {"LEAF-1", "Leaf-1"},                                      // 25
    {"LEAF-2", "Leaf-2"},                                      // 26
    {"RDP", "Reliable Data Protocol"},                         // 27
    {"IRTP", "Internet Reliable Transaction"},                 // 28
    {"ISO-TP4", "ISO Transport Protocol Class 4"},             // 29
    {"NETBLT", "Bulk Data Transfer Protocol"},                 // 30
    {"MFE-NSP", "MFE Network Services Protocol"},              // 31
    {"MERIT-INP", "MERIT Internodal Protocol"},                // 32
    {"SEP", "Sequential Exchange Protocol"},                   // 33
    {"3PC", "Third Party Connect Protocol"},                   // 34
    {"IDPR", "Inter-Domain Policy Routing Protocol"},          // 35
    {"XTP", "XTP"},                                            // 36
    {"DDP", "Datagram Delivery Protocol"},                     // 37
    {"IDPR-CMTP", "IDPR Control Message Transport Protocol"},  // 38
    {"TP++", "TP++ Transport Protocol"},                       // 39
    {"IL", "IL Transport Protocol"},                           // 40
    {"IPv6", "Ipv6"},                                          // 41
    {"SDRP", "Source Demand Routing Protocol"},                // 42
    {"IPv6-Route", "Routing Header for IPv6"},                 // 43
    {"IPv6-Frag", "Fragment Header for IPv6"},                 // 44
    {"IDRP", "Inter-Domain Routing Protocol"},                 // 45
    {"RSVP", "Reservation Protocol"},                          // 46
    {"GRE", "General Routing Encapsulation"},                  // 47
    {"MHRP", "Mobile Host Routing Protocol"},                  // 48
    {"BNA", "BNA"},                                            // 49
    {"ESP", "Encap Security Payload for IPv6"},                // 50
    {"AH", "Authentication Header for IPv6"},                  // 51
    {"I-NLSP", "Integrated Net Layer Security"},               // 52
    {"SWIPE", "IP with Encryption"},                           // 53
    {"NARP", "NBMA Address Resolution Protocol"},              // 54
    {"MOBILE", "IP Mobility"},                                 // 55
    {"TLSP", "Transport Layer Security Protocol"},             // 56
    {"SKIP", "SKIP"},                                          // 57
    {"IPv6-ICMP", "ICMP for IPv6"},                            // 58
    {"IPv6-NoNxt", "No Next Header for IPv6"},                 // 59
    {"IPv6-Opts", "Destination Options for IPv6"},             // 60
    {"ANY-HOST", "Any host internal protocol"},                // 61
    {"CFTP", "CFTP"},                                          // 62
    {"ANY-LAN", "Any local network"},                          // 63
    {"SAT-EXPAK", "SATNET and Backroom EXPAK"},                // 64
    {"KRYPTOLAN", "Kryptolan"},                                // 65
    {"RVD", "MIT Remote Virtual Disk Protocol"},               // 66
    {"IPPC", "Internet Pluribus Packet Core"},                 // 67
    {"ANY-DFS", "Any distributed file system"},                // 68
    {"SAT-MON", "SATNET Monitoring"},                          // 69
    {"VISA", "VISA Protocol"},                                 // 70
    {"IPCV", "Internet Packet Core Utility"},                  // 71
    {"CPNX", "Computer Protocol Network Executive"},           // 72
    {"CPHB", "Computer Protocol Heart Beat"},                  // 73
    {"WSN", "Wang Span Network"},                              // 74
    {"PVP", "Packet Video Protocol"},                          // 75
    {"BR-SAT-MON", "Backroom SATNET Monitoring"},              // 76
    {"SUN-ND", "SUN ND Protocol"},                             // 77
    {"WB-MON", "WIDEBAND Monitoring"},                         // 78
    {"WB-EXPAK", "WIDEBAND EXPAK"},                            // 79
    {"ISO-IP", "ISO Internet Protocol"},                       // 80
    {"VMTP", "VMTP"},                                          // 81
    {"SECURE-VMTP", "SECURE-VMTP"},                            // 82
    {"VINES", "VINES"},                                        // 83
    {"TTP", "TTP"},                                            // 84
    {"NSFNET-IGP", "NSFNET-IGP"},                              // 85
    {"DGP", "Dissimilar Gateway Protocol"},                    // 86
    {"TCF", "TCF"},                                            // 87
    {"EIGRP", "EIGRP"},                                        // 88
    {"OSPF", "OSPF"},                                          // 89
    {"Sprite-RPC", "Sprite RPC Protocol"},                     // 90
    {"LARP", "Locus Address Resolution Protocol"},             // 91
    {"MTP", "Multicast Transport Protocol"},                   // 92
    {"AX.25", "AX.25 Frames"},                                 // 93
    {"IPIP", "IP-within-IP Encapsulation Protocol"},           // 94
    {"MICP", "Mobile Internetworking Control Protocol"},       // 95
    {"SCC-SP", "Semaphore Communications Sec. Protocol"},      // 96
    {"ETHERIP", "Ethernet-within-IP Encapsulation"},           // 97
    {"ENCAP", "Encapsulation Header"},                         // 98
    {"ANY_ENC", "Any private encryption scheme"},              // 99
    {"GMTP", "GMTP"},                                          // 100
    {"IFMP", "Ipsilon Flow Management Protocol"},              // 101
    {"PNNI", "PNNI over IP"},                                  // 102
    {"PIM", "Protocol Independent Multicast"},                 // 103
    {"ARIS", "ARIS"},                                          // 104
    {"SCPS", "SCPS"},                                          // 105
    {"QNX", "QNX"},                                            // 106
    {"A/N", "Active Networks"},                                // 107
    {"IPComp", "IP Payload Compression Protocol"},             // 108
    {"SNP", "Sitara Networks Protocol"},                       // 109
    {"Compaq-Peer", "Compaq Peer Protocol"},                   // 110
    {"IPX-in-IP", "IPX in IP"},                                // 111
    {"VRRP", "Virtual Router Redundancy Protocol"},            // 112
    {"PGM", "PGM Reliable Transport Protocol"},                // 113
    {"ANY-0-HOP", "Any 0-hop Protocol"},                       // 114
    {"L2TP", "Layer Two Tunneling Protocol"},                  // 115
    {"DDX", "D-II Data Exchange (DDX)"},                       // 116
    {"IATP", "Interactive Agent Transfer Protocol"},           // 117
    {"STP", "Schedule Transfer Protocol"},                     // 118
    {"SRP", "SpectraLink Radio Protocol"},                     // 119
    {"UTI", "UTI"},                                            // 120
    {"SMP", "Simple Message Protocol"},                        // 121
    {"SM", "SM"},                                              // 122
    {"PTP", "Performance Transparency Protocol"},              // 123
    {"ISIS", "ISIS over IPv4"},                                // 124
    {"FIRE", "FIRE"},                                          // 125
    {"CRTP", "Combat Radio Transport Protocol"},               // 126
    {"CRUDP", "Combat Radio User Datagram"},                   // 127
    {"SSCOPMCE", "SPMCE"},                                     // 128
    {"IPLT", "IPLT"},                                          // 129
    {"SPS", "Secure Packet Shield"},                           // 130
    {"PIPE", "Private IP Encapsulation within IP"},            // 131
    {"SCTP", "Stream Control Transmission Protocol"},          // 132
    {"FC", "Fibre Channel"},                                   // 133
};
const size_t kProtocolNameCount = sizeof kProtocolNames / sizeof kProtocolNames[0];

}  // namespace corvale

namespace {

void CopyText(char* text, const char* name) { memcpy(text, name, strlen(name) + 1); }

// Bisection over the port rows, which are ordered by port.
const corvale::PortRow* FindPort(WORD port) {
  size_t low = 0, high = corvale::kPortNameCount;
  while (low < high) {
    size_t middle = low + (high - low) / 2;
    const corvale::PortRow& row = corvale::kPortNames[middle];
    if (row.port == port) return &row;
    if (row.port < port)
      low = middle + 1;
    else
      high = middle;
  }
  return nullptr;
}

}  // namespace

namespace corvale {

std::string_view ProtocolDescription(DWORD protocol) {
  const unsigned n = protocol & 0xFF;
  return n < kProtocolNameCount ? kProtocolNames[n].description : "Unknown Protocol";
}

// The rows of recent ports, since a capture's ports come back frame after
// frame: each word holds a port and its row's index + 1 (kNoRow: none), 0
// when empty. One word is stored at a time, so any thread may look up.
constexpr uint32_t kNoRow = 0xFFFF;
std::atomic<uint32_t> g_keptPorts[256];

std::string_view PortDescription(DWORD port) {
  const WORD p = (WORD)(port & 0xFFFF);
  std::atomic<uint32_t>& kept = g_keptPorts[(p ^ p >> 8) & 255];
  uint32_t word = kept.load(std::memory_order_relaxed);
  if (word >> 16 != p || !(word & 0xFFFF)) {
    const PortRow* row = FindPort(p);
    word = (uint32_t)p << 16 | (row ? (uint32_t)(row - kPortNames) + 1 : kNoRow);
    kept.store(word, std::memory_order_relaxed);
  }
  const uint32_t index = word & 0xFFFF;
  return index == kNoRow ? std::string_view() : kPortNames[index - 1].text;
}

}  // namespace corvale

BYTE QV_CALL RetrieveIPProtocol(DWORD protocol, char* text, int style) {
  const unsigned n = protocol & 0xFF;
  const bool named = n < corvale::kProtocolNameCount;
  switch (style) {
    case IP_NAME_STYLE_NONE:
      return FALSE;
    case IP_NAME_STYLE_SHORT:
      CopyText(text, named ? corvale::kProtocolNames[n].keyword : "UNKNOWN");
      return named ? TRUE : FALSE;
    case IP_NAME_STYLE_LONG:
      CopyText(text, corvale::ProtocolDescription(n).data());  // a table text or a literal: NUL-terminated
      return named ? TRUE : FALSE;
    default:
      qv::DecimalText(n, text);
      return FALSE;
  }
}

BYTE QV_CALL RetrieveIPPort(DWORD port, char* text, int style) {
  const WORD p = (WORD)(port & 0xFFFF);
  if (style == IP_NAME_STYLE_NONE) return FALSE;
  if (style == IP_NAME_STYLE_LONG) {
    if (const corvale::PortRow* row = FindPort(p)) {
      CopyText(text, row->text);
      return TRUE;
    }
  }
  qv::DecimalText(p, text);
  return FALSE;
}
