// IP-UDP behind DOD-IP: its lines, the port lookup order, hand-on of empty
// datagrams, the ports in the summary, and datagrams cut short.
#include "corvale_host.h"

namespace corvaletest {
namespace {

const Bytes kPayload = Hex("01 02 03 04");

TEST(IpUdp, DetailLinesWithPortNames) {
  CorvaleHost h;
  h.Decode("DOD-IP", Ip(17, Udp(1027, 7, kPayload)));
  ExpectLines(h.Lines(1), {
                              {"User Datagram Protocol", 20, 8, OPEN},
                              {"Source Port\t\t\t\t1027\t1027", 20, 2, 0},
                              {"Destination Port\t\t7\tEcho", 22, 2, 0},
                              {"Datagram Length\t\t12", 24, 2, 0},
                              {"Checksum\t\t\t\t\t0x1a2b", 26, 2, 0},
                          });
  EXPECT_EQ(h.Protocol(), "UDP");
  EXPECT_EQ(h.Description(), "Datagram");
  // A named port with an empty description shows only the tab.
  h.Decode("DOD-IP", Ip(17, Udp(514, 0, kPayload)), qvhost::RUN_DETAIL);
  EXPECT_EQ(h.Lines(1)[1].text, "Source Port\t\t\t\t514\t");
  EXPECT_EQ(h.Lines(1)[2].text, "Destination Port\t\t0\t0");
}

// Destination port first, then source port, then DefaultParse.
TEST(IpUdp, PortLookupOrder) {
  struct Case {
    WORD source;
    WORD destination;
    const char* to;
  };
  const Case cases[] = {
      {137, 1027, "A"},  // destination unbound, source bound
      {53, 137, "A"},    // both bound: the destination wins
      {1027, 53, "B"},   //
      {137, 53, "B"},    //
      {1027, 1028, "default"},
  };
  CorvaleHost h;
  h.Bind("IP-UDP", 137, kChildA);
  h.Bind("IP-UDP", 53, kChildB);
  for (const Case& c : cases) {
    h.ClearRecords();
    h.Decode("DOD-IP", Ip(17, Udp(c.source, c.destination, kPayload)));
    std::vector<HandOn> got = h.handOns;
    ASSERT_EQ(got.size(), 3u) << c.source << " -> " << c.destination;
    for (const HandOn& o : got) {
      EXPECT_EQ(o.to, c.to) << c.source << " -> " << c.destination;
      EXPECT_EQ(o.offset, 28);
      EXPECT_EQ(o.frameLength, 32);
    }
    if (got[2].to != "default") {
      EXPECT_EQ(got[2].slot, 2);
    }
  }
}

TEST(IpUdp, EmptyDatagramStillReachesItsChild) {
  CorvaleHost h;
  h.Bind("IP-UDP", 53, kChildA);
  // Padded like a minimal Ethernet payload: the trim leaves the child nothing.
  Bytes frame = Ip(17, Udp(1027, 53));
  frame.resize(46, 0);
  h.Decode("DOD-IP", frame);
  std::vector<HandOn> got = h.handOns;
  ASSERT_EQ(got.size(), 3u);
  for (const HandOn& o : got) {
    EXPECT_EQ(o.to, "A");
    EXPECT_EQ(o.offset, 28);
    EXPECT_EQ(o.frameLength, 28);
    EXPECT_EQ(o.capturedLength, 28);
  }
  EXPECT_EQ(h.Bytes64("UDP"), 8u);
  EXPECT_EQ(h.Bytes64("IP"), 28u);
}

TEST(IpUdp, SummaryAppendsPortsToTheCellsIpWrote) {
  const DWORD SHOW = MT_SHOW_NETWORK_ADDRESSES;
  struct Case {
    DWORD flags;
    const char* destination;
    const char* source;
  };
  const Case cases[] = {
      {0, "", ""},
      {SHOW, "10.0.0.2:7", "192.168.0.1:1027"},
      {SHOW | MT_SOURCE_NAMED, "10.0.0.2:7", ""},
      {SHOW | MT_DESTINATION_NAMED, "", "192.168.0.1:1027"},
      {SHOW | MT_SOURCE_NAMED | MT_DESTINATION_NAMED | MT_RAW_ADDRESSES, "10.0.0.2:7", "192.168.0.1:1027"},
  };
  CorvaleHost h;
  for (BYTE enabled : {1, 0}) {
    h.Enabled("IP-UDP") = enabled;
    for (const Case& c : cases) {
      h.Flags() = c.flags;
      h.Decode("DOD-IP", Ip(17, Udp(1027, 7, kPayload)), qvhost::RUN_SUMMARY);
      EXPECT_EQ(h.Destination(), c.destination) << std::hex << c.flags << " enabled " << (int)enabled;
      EXPECT_EQ(h.Source(), c.source) << std::hex << c.flags << " enabled " << (int)enabled;
      // Disabled, UDP leaves IP's words.
      EXPECT_EQ(h.Protocol(), enabled ? "UDP" : "IP");
      EXPECT_EQ(h.Description(), "Datagram");
    }
  }
}

TEST(IpUdp, CountsItsHeaderAndPayload) {
  CorvaleHost h;
  h.Enabled("IP-UDP") = 0;
  h.Decode("DOD-IP", Ip(17, Udp(1027, 53, kPayload)), qvhost::RUN_COUNT);
  EXPECT_EQ(h.Frames("UDP"), 1u);
  EXPECT_EQ(h.Bytes64("UDP"), 12u);
}

TEST(IpUdp, CutHeader) {
  struct Case {
    size_t udpBytes;
    size_t lines;
    bool handedOn;
  };
  const Case cases[] = {{0, 1, false}, {1, 1, false}, {2, 2, false}, {3, 2, false}, {4, 3, true},
                        {5, 3, true},  {6, 4, true},  {7, 4, true},  {8, 5, true}};
  for (const Case& c : cases) {
    CorvaleHost h;
    Bytes frame = Ip(17, Udp(1027, 7, kPayload));
    frame.resize(20 + c.udpBytes);
    h.Decode("DOD-IP", frame, qvhost::RUN_ALL, 32);
    EXPECT_EQ(h.Lines(1).size(), c.lines) << c.udpBytes;
    EXPECT_EQ(h.defaultParses.size(), c.handedOn ? 3u : 0u) << c.udpBytes;
    EXPECT_EQ(h.Frames("UDP"), 1u);
  }
}

TEST(IpUdp, DetailStopsWhenTheHostGivesNoLineAndStillHandsOn) {
  for (unsigned long failAt = 1; failAt <= 6; failAt++) {
    CorvaleHost h;
    h.Bind("IP-UDP", 53, kChildA);
    h.Enabled("DOD-IP") = 0;
    h.host.FailDetailLineAt(failAt, true);
    h.Decode("DOD-IP", Ip(17, Udp(1027, 53, kPayload)), qvhost::RUN_DETAIL);
    EXPECT_EQ(h.Lines(1).size(), std::min<size_t>(failAt - 1, 5)) << failAt;
    ASSERT_EQ(h.handOns.size(), 1u) << failAt;
    EXPECT_EQ(h.handOns[0].slot, 2);
  }
}

TEST(IpUdp, NoPassReadsPastTheCapture) {
  CorvaleHost h;
  h.Flags() = MT_SHOW_NETWORK_ADDRESSES;
  h.Bind("IP-UDP", 53, kChildA);
  qvtest::ExpectBoundedAtEveryCut(h, "IP-UDP", Udp(1027, 53, kPayload));
}

}  // namespace
}  // namespace corvaletest
