// The crafted captures beside these tests (made by make_captures.py), from
// the Ethernet root through Brannock, Corvale and Tessary. Where tshark
// shows the same value the comments give its reading.
#include "tessary_host.h"

namespace tessarytest {
namespace {

struct Row {
  const char* protocol;
  const char* description;
};

void ExpectRows(const char* file, const std::vector<Row>& rows) {
  SCOPED_TRACE(file);
  EthernetHost h;
  const std::vector<Packet> packets = ReadPcap(Crafted(file));
  ASSERT_EQ(packets.size(), rows.size());
  for (size_t i = 0; i < rows.size(); i++) {
    SCOPED_TRACE("frame " + std::to_string(i + 1));
    h.Decode("MAC-802.3", packets[i].data, qvhost::RUN_ALL, packets[i].wireLength);
    EXPECT_EQ(h.Protocol(), rows[i].protocol);
    EXPECT_EQ(h.Description(), rows[i].description);
  }
}

// Requests and their replies, one by one: tshark names the same functions
// and completion codes (its own words), and finds the same connection 261
// (high 1, low 5).
TEST(CraftedCaptures, NcpOverIpx) {
  ExpectRows("ncp-ipx.pcap", {
                                 {"NCP", "Create Service Connection Request"},
                                 {"NCP", "File Server Response = Success"},
                                 {"NCP", "Get File Server Information Request"},
                                 {"NCP", "File Server Response = Success"},
                                 {"NCP", "Read From a File Request"},
                                 {"NCP", "File Server Response = Failure"},  // 0x88, invalid file handle
                                 {"NCP", "Initialize Search  Request"},
                                 {"NCP", "File Server Response = Failure"},  // bad connection status
                                 {"NCP", "TTS Begin Transaction Request"},
                                 {"NCP", "Request Being Processed"},
                                 {"NCP", "File Server Response = Success"},
                                 {"NCP", "Burst Mode"},
                                 {"NCP", "File Search Initialize Request"},  // type 17 between sockets 0x5001 and 0x5000
                                 {"NCP", "Destroy Service Connection"},
                             });
}

// tshark: signature, length 26 and 64, version 1 and reply buffer size 2
// ("Unknown 1" and "Unknown 2" here); the third segment continues the reply.
TEST(CraftedCaptures, NcpOverTcp) {
  ExpectRows("ncp-tcp.pcap", {
                                 {"NCP", "Get File Server Information Request"},
                                 {"NCP", "File Server Response = Success"},
                                 {"NCP Over TCP", "Data Fragment"},
                             });
  EthernetHost h;
  const std::vector<Packet> packets = ReadPcap(Crafted("ncp-tcp.pcap"));
  h.Decode("MAC-802.3", packets[0].data);
  ExpectLines(h.Lines(3), {{"Netware Core Protocol over TCP", 54, 26, OPEN},
                           {"Indicator\t\t\t\t[DmdT]\tRequest", 54, 4, 0},
                           {"Packet Size\t\t\t\t26", 58, 4, 0},
                           {"Unknown 1\t\t\t\t1", 62, 4, 0},
                           {"Unknown 2\t\t\t\t2", 66, 4, CLOSE}});
  EXPECT_EQ(h.Lines(4)[0].offset, 70);
}

// tshark shows all seven servers of the general answer; the first is the
// same: SERVER1, type 0x0004, 00000001.00:00:00:00:00:01 socket 0x0451,
// one hop. The RIP answer's first route is network 1 at 1 hop and 2 ticks.
TEST(CraftedCaptures, SapAndRip) {
  ExpectRows("sap-rip.pcap", {
                                 {"IPX SAP", "General service request"},   // 802.2
                                 {"IPX SAP", "General service response"},  // 802.2, seven servers
                                 {"IPX SAP", "Nearest service request"},   // raw 802.3
                                 {"IPX SAP", "Nearest service response"},  // type 0 from socket 0x0452
                                 {"IPX RIP", "Request"},
                                 {"IPX RIP", "Response"},
                                 {"IPX RIP", "Response"},
                             });
  EthernetHost h;
  const std::vector<Packet> packets = ReadPcap(Crafted("sap-rip.pcap"));
  h.Decode("MAC-802.3", packets[1].data);
  ExpectLines(h.Lines(3), {{"Novell Service Advertising Protocol", 47, 450, OPEN},
                           {"Function Type\t\t\tGeneral service response", 47, 2, 0},
                           {"Service Type\t\t\tFile Server", 49, 2, 0},
                           {"Server Information", 51, 62, OPEN},
                           {"Server Name\t\t\tSERVER1", 51, 48, 0},
                           {"Network\t\t\t\t00000001", 99, 4, 0},
                           {"Node\t\t\t\t\t00-00-00-00-00-01", 103, 6, 0},
                           {"Socket\t\t\t\t0451\tNetware Core Protocol", 109, 2, 0},
                           {"Hop Count\t\t\t1", 111, 2, CLOSE + 1}});
  h.Decode("MAC-802.3", packets[5].data);
  ExpectLines(h.Lines(2), {{"Novell Routing Information Protocol", 44, 10, OPEN},
                           {"Function Type\t\t\tResponse", 44, 2, 0},
                           {"Network Number\t\t\t0x00000001", 46, 4, 0},
                           {"Hop Count\t\t\t\t1", 50, 2, 0},
                           {"Tick Count\t\t\t\t2", 52, 2, CLOSE}});
}

// tshark finds the same names (FILESRV<20>, WORKGROUP<1d>) and commands (find
// name, datagram, session data; NMPI's name query) and reads the SMB behind
// NetBIOS and NMPI, which MS-SMB takes over here once it is loaded.
TEST(CraftedCaptures, NetBiosOverIpxAndNmpi) {
  ExpectRows("netbios-ipx.pcap", {
                                     {"IPX NETBIOS", "Name Query FILESRV.[File Server Service]"},
                                     {"IPX NETBIOS", "Datagram WORKGROUP.[Master Browser]"},
                                     {"IPX NETBIOS", "Data "},
                                     {"NMPI", "Name Query FILESRV.[File Server Service]"},
                                     {"NMPI", "MailSlot Write"},
                                 });
  EthernetHost h({"MS-SMB"});
  const std::vector<Packet> packets = ReadPcap(Crafted("netbios-ipx.pcap"));
  // Ethernet II, IPX at 14, NetBIOS at 44 and its session header's SMB at 62.
  h.Decode("MAC-802.3", packets[2].data);
  EXPECT_EQ(h.Receivers(PASS_COUNT), std::vector<std::string>{"MS-SMB@62"});
  EXPECT_EQ(h.Receivers(PASS_DETAIL), std::vector<std::string>{"MS-SMB@62"});
  h.ClearRecords();
  h.Decode("MAC-802.3", packets[4].data);
  EXPECT_EQ(h.Receivers(PASS_SUMMARY), std::vector<std::string>{"MS-SMB@112"});
}

// A real capture of NetBIOS over IPX under 802.2: three name queries for
// <01><02>__MSBROWSE__<02><01>, as tshark reads them (find name, flags 0,
// suffix 0x01), the name's control bytes kept as they stand; then a packet
// whose IPX source lies and whose NetBIOS bytes tshark calls unknown: a
// session header here, with an SMB message 24 bytes in that no layout skips
// to, so nothing is handed on.
TEST(RealCaptures, NetBiosOverIpx) {
  EthernetHost h({"MS-SMB"});
  const std::vector<Packet> packets = ReadPcap(RealCapture("smb_print_trans-oobr1.pcap"));
  ASSERT_EQ(packets.size(), 4u);
  for (size_t i = 0; i < packets.size(); i++) {
    SCOPED_TRACE("frame " + std::to_string(i + 1));
    h.Decode("MAC-802.3", packets[i].data, qvhost::RUN_ALL, packets[i].wireLength);
    EXPECT_EQ(h.Protocol(), "IPX NETBIOS");
    EXPECT_EQ(h.Description(), i < 3 ? "Name Query \x01\x02__MSBROWSE__\x02.[Master Browser]" : "Unknown Command");
  }
  const auto lines = h.Lines(3);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0].text, "Novell NETBIOS Protocol");
  EXPECT_EQ(lines[0].offset, 47);
  EXPECT_EQ(lines[0].length, 18);
  EXPECT_EQ(lines[1].text, "Command\t\t\t\t\t32");
  EXPECT_TRUE(h.handOns.empty());
  EXPECT_EQ(h.Frames("IPX NETBIOS"), 4u);
}

// From the Ethernet root through the other parents Tessary binds under:
// 802.1Q to IPX (EtherType 0x8137) and UDP port 524 to NCP over TCP, each
// on to NCP with its lines in the list behind its parent's.
TEST(EndToEnd, UnderVlanAndOverUdp) {
  const Bytes request = Hex("2222 01 05 02 01 17 0001 11");  // Get File Server Information
  struct Case {
    const char* name;
    Bytes frame;
    std::vector<std::string> titles;  // of each list
    int ncpAt;
  };
  const Case cases[] = {
      {"IPX under VLAN", qvtest::Ethernet(Cat({Hex("0064 8137"), Ipx(17, 0x0451, 0x4003, request)}), 0, 0x8100),
       {"Ethernet II (DIX) Media Access Control", "IEEE 802.1q VLAN Protocol", "Novell Internet Packet Exchange", "Netware Core Protocol"},
       48},
      {"NCP over UDP 524",
       qvtest::Ethernet(qvtest::Ip(17, qvtest::Udp(1025, 524, Cat({Hex("446d6454 0000001b 00000001 00000002"), request})))),
       {"Ethernet II (DIX) Media Access Control", "Internet Protocol", "User Datagram Protocol", "Netware Core Protocol over TCP",
        "Netware Core Protocol"},
       58},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EthernetHost h;
    h.Decode("MAC-802.3", c.frame);
    EXPECT_EQ(h.Protocol(), "NCP");
    EXPECT_EQ(h.Description(), "Get File Server Information Request");
    EXPECT_EQ(h.Frames("NCP"), 1u);
    EXPECT_EQ(h.Bytes64("NCP"), 10u);
    ASSERT_EQ(h.out.depth, c.titles.size());
    for (size_t i = 0; i < c.titles.size(); i++) {
      const auto lines = h.Lines(i);
      ASSERT_FALSE(lines.empty()) << i;
      EXPECT_EQ(lines[0].text, c.titles[i]);
    }
    EXPECT_EQ(h.Lines(c.titles.size() - 1)[0].offset, c.ncpAt);
    EXPECT_TRUE(h.handOns.empty());
  }
}

// Every frame of the crafted captures keeps the bounds at every cut.
TEST(CraftedCaptures, BoundedAtEveryCut) {
  EthernetHost h;
  for (const char* file : {"ncp-ipx.pcap", "ncp-tcp.pcap", "sap-rip.pcap", "netbios-ipx.pcap"})
    for (const Packet& p : ReadPcap(Crafted(file))) qvtest::ExpectBoundedAtEveryCut(h, "MAC-802.3", p.data);
}

}  // namespace
}  // namespace tessarytest
