// RetrieveIPProtocol and RetrieveIPPort: the styles, the pinned rows and the
// shape of both tables.
#include "names.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <set>
#include <string>

namespace corvaletest {
namespace {

struct Lookup {
  DWORD number;
  int style;
  const char* text;
  BYTE named;
};

TEST(ProtocolNames, StylesAndMisses) {
  const Lookup cases[] = {
      {6, 1, "TCP", TRUE},
      {6, 2, "Transmission Control Protocol", TRUE},
      {6, 7, "6", FALSE},
      {6, -1, "6", FALSE},
      {0x106, 1, "TCP", TRUE},  // only the low byte counts
      {0x106, 2, "Transmission Control Protocol", TRUE},
      {0x1FF, 3, "255", FALSE},
      {134, 1, "UNKNOWN", FALSE},
      {134, 2, "Unknown Protocol", FALSE},
      {255, 1, "UNKNOWN", FALSE},
      {255, 2, "Unknown Protocol", FALSE},
      {133, 1, "FC", TRUE},
      {133, 2, "Fibre Channel", TRUE},
  };
  for (const Lookup& c : cases) {
    char text[128];
    memset(text, '#', sizeof text);
    EXPECT_EQ(RetrieveIPProtocol(c.number, text, c.style), c.named) << c.number << " style " << c.style;
    EXPECT_STREQ(text, c.text) << c.number << " style " << c.style;
  }
  char text[8] = "keep";
  EXPECT_EQ(RetrieveIPProtocol(6, text, 0), FALSE);
  EXPECT_STREQ(text, "keep");
}

TEST(ProtocolNames, PinnedRows) {
  struct Row {
    unsigned number;
    const char* keyword;
    const char* description;
  };
  const Row rows[] = {
      {0, "HOPOPT", "IPv6 Hop-by-Hop Option"},
      {1, "ICMP", "Internet Control Message Protocol"},
      {2, "IGMP", "Internet Group Management Protocol"},
      {4, "IP", "IP in IP (encapsulation)"},
      {7, "CBT", "CBT"},
      {17, "UDP", "User Datagram Protocol"},
      {38, "IDPR-CMTP", "IDPR Control Message Transport Protocol"},
      {39, "TP++", "TP++ Transport Protocol"},
      {41, "IPv6", "Ipv6"},
      {61, "ANY-HOST", "Any host internal protocol"},
      {63, "ANY-LAN", "Any local network"},
      {68, "ANY-DFS", "Any distributed file system"},
      {89, "OSPF", "OSPF"},
      {93, "AX.25", "AX.25 Frames"},
      {99, "ANY_ENC", "Any private encryption scheme"},
      {107, "A/N", "Active Networks"},
      {110, "Compaq-Peer", "Compaq Peer Protocol"},
      {114, "ANY-0-HOP", "Any 0-hop Protocol"},
      {128, "SSCOPMCE", "SPMCE"},
      {132, "SCTP", "Stream Control Transmission Protocol"},
  };
  for (const Row& r : rows) {
    char text[128];
    EXPECT_EQ(RetrieveIPProtocol(r.number, text, 1), TRUE) << r.number;
    EXPECT_STREQ(text, r.keyword) << r.number;
    EXPECT_EQ(RetrieveIPProtocol(r.number, text, 2), TRUE) << r.number;
    EXPECT_STREQ(text, r.description) << r.number;
  }
}

TEST(ProtocolNames, EveryNumberUpTo133IsNamedWithinTheBufferSizes) {
  ASSERT_EQ(corvale::kProtocolNameCount, 134u);
  std::set<std::string> keywords;
  for (unsigned n = 0; n < 256; n++) {
    char text[128];
    const BYTE named = RetrieveIPProtocol(n, text, 1);
    EXPECT_EQ(named, n <= 133 ? TRUE : FALSE) << n;
    if (!named) continue;
    EXPECT_GT(strlen(text), 0u) << n;
    EXPECT_LE(strlen(text), 11u) << n;
    EXPECT_TRUE(keywords.insert(text).second) << "keyword " << text << " twice";
    EXPECT_EQ(RetrieveIPProtocol(n, text, 2), TRUE) << n;
    EXPECT_GT(strlen(text), 0u) << n;
    EXPECT_LE(strlen(text), 39u) << n;  // fits the 40-byte buffer callers may give
  }
}

TEST(PortNames, StylesAndMisses) {
  const Lookup cases[] = {
      {80, 2, "Hyper-Text Transfer Protocol", TRUE},
      {80, 1, "80", FALSE},
      {80, 5, "80", FALSE},
      {0x10050, 2, "Hyper-Text Transfer Protocol", TRUE},  // only the low 16 bits count
      {3001, 2, "3001", FALSE},
      {0, 2, "0", FALSE},
      {65535, 2, "65535", FALSE},
      {514, 2, "", TRUE},
      {1023, 2, "1023", FALSE},
  };
  for (const Lookup& c : cases) {
    char text[128];
    memset(text, '#', sizeof text);
    EXPECT_EQ(RetrieveIPPort(c.number, text, c.style), c.named) << c.number << " style " << c.style;
    EXPECT_STREQ(text, c.text) << c.number << " style " << c.style;
  }
  char text[8] = "keep";
  EXPECT_EQ(RetrieveIPPort(80, text, 0), FALSE);
  EXPECT_STREQ(text, "keep");
}

TEST(PortNames, PinnedRows) {
  struct Row {
    unsigned port;
    const char* text;
  };
  const Row rows[] = {
      {1, "TCP Port Service Multiplexer"},
      {20, "File Transfer [Default Data]"},
      {21, "File Transfer [Control]"},
      {25, "Simple Mail Transfer"},
      {53, "Domain Name Server"},
      {67, "Bootstrap Protocol Server"},
      {68, "Bootstrap Protocol Client"},
      {69, "Trivial File Transfer"},
      {80, "Hyper-Text Transfer Protocol"},
      {110, "Post Office Protocol - Version 3"},
      {137, "NetBios Name Service"},
      {138, "NetBios Datagram Service"},
      {139, "NetBios Session Service"},
      {161, "SNMP"},
      {162, "SNMPTRAP"},
      {427, "Service Location"},
      {443, "http protocol over TLS/SSL"},
      {445, "Microsoft-DS"},
      {512, "remote process execution;"},
      {513, "maintains data bases showing who's"},
      {524, "NCP"},
      {711, "Cisco TDP"},
      {1010, "surf"},
      {1300, "H323 Host Call Secure"},
      {1718, "H323 Gate Disconnect"},
      {1719, "H323 Gate Status"},
      {1720, "H323 Host Call"},
      {1812, "RADIUS"},
      {1813, "RADIUS Accounting"},
      {1863, "MSN Messenger"},
      {1900, "Simple Service Discovery Protocol"},
      {11720, "H323 Host Call Alternate"},
  };
  for (const Row& r : rows) {
    char text[128];
    EXPECT_EQ(RetrieveIPPort(r.port, text, 2), TRUE) << r.port;
    EXPECT_STREQ(text, r.text) << r.port;
  }
}

// "1-3, 5, 7" -> {1, 2, 3, 5, 7}
std::set<unsigned> Ports(const char* list) {
  std::set<unsigned> ports;
  for (const char* p = list; *p;) {
    char* end;
    unsigned first = (unsigned)strtoul(p, &end, 10), last = first;
    if (*end == '-') last = (unsigned)strtoul(end + 1, &end, 10);
    for (unsigned n = first; n <= last; n++) ports.insert(n);
    p = end;
    while (*p == ',' || *p == ' ') p++;
  }
  return ports;
}

TEST(PortNames, ExactlyTheNamedPortsWithTheEmptyOnesEmpty) {
  const std::set<unsigned> named = Ports(
      "1-3, 5, 7, 9, 11, 13, 17-25, 27, 29, 31, 33, 35, 37-39, 41-59, 61-223, 242-248, 256-268, 280-284, 286-287, "
      "308-322, 333, 344-464, 466-600, 606-699, 704-707, 709-711, 729-731, 741-742, 744, 747-754, 758-765, 767, "
      "769-777, 780, 786-787, 800-801, 810, 828-829, 847, 873, 886-888, 900-903, 911, 989-1000, 1010, 1300, "
      "1718-1720, 1812-1813, 1863, 1900, 11720");
  const std::set<unsigned> empty = Ports("514, 518, 543, 555, 561, 750-753, 758-765, 769-776, 780, 800, 801, 997-1000");
  ASSERT_EQ(named.size(), 679u);
  ASSERT_EQ(empty.size(), 32u);

  ASSERT_EQ(corvale::kPortNameCount, 679u);
  for (size_t i = 1; i < corvale::kPortNameCount; i++)
    EXPECT_LT(corvale::kPortNames[i - 1].port, corvale::kPortNames[i].port) << "rows out of order at " << i;

  std::set<std::string> texts;
  for (unsigned port = 0; port <= 65535; port++) {
    char text[128];
    const BYTE hit = RetrieveIPPort(port, text, 2);
    ASSERT_EQ(hit, named.count(port) ? TRUE : FALSE) << port;
    if (!hit) continue;
    EXPECT_EQ(text[0] == 0, empty.count(port) == 1) << port << " \"" << text << "\"";
    EXPECT_LE(strlen(text), 42u) << port;  // fits the 43-byte buffer callers may give
    for (const char* c = text; *c; c++) EXPECT_TRUE(*c >= ' ' && *c <= '~') << port;
    texts.insert(text);
  }
  // Many distinct descriptions, a few shared (the empty one among them).
  EXPECT_GT(texts.size(), 600u);
}

// The detail lines take the long texts by length; they must be what the
// services write, for every number and every port, the empty row included.
TEST(IpNames, DescriptionsAreTheLongStyle) {
  for (DWORD n = 0; n <= 0x1FF; n++) {
    char text[128];
    RetrieveIPProtocol(n, text, IP_NAME_STYLE_LONG);
    EXPECT_EQ(corvale::ProtocolDescription(n), text) << n;
  }
  for (DWORD port = 0; port <= 0x1FFFF; port++) {
    char text[128];
    const BYTE hit = RetrieveIPPort(port, text, IP_NAME_STYLE_LONG);
    const std::string_view d = corvale::PortDescription(port);
    ASSERT_EQ(d.data() != nullptr, hit == TRUE) << port;
    if (hit) {
      EXPECT_EQ(d, text) << port;
    }
  }
}

}  // namespace
}  // namespace corvaletest
