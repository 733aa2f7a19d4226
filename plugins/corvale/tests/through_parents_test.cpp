// IP, UDP and TCP reached the way the host reaches them: from the Ethernet
// root (Brannock's MAC-802.3), through VLAN (Quillet), with the name table
// (Pallisand) filling the MAC address cells. Skipped where those are not
// built.
#include "corvale_host.h"

namespace corvaletest {
namespace {

const BYTE kSourceMac[6] = {0x00, 0x00, 0x0c, 0x12, 0x34, 0x56};

struct EthernetHost : CorvaleHost {
  EthernetHost() : CorvaleHost({"brannock", "quillet", "corvale", "halvern", "pallisand"}) {}
};

#define NEED(h, nameId) \
  if (!(h).Has(nameId)) GTEST_SKIP() << nameId << " is not built in this tree"

TEST(ThroughParents, BoundUnderMacAndVlanAtTheIpEtherType) {
  EthernetHost h;
  NEED(h, "MAC-802.3");
  const CTRLARG ip = (CTRLARG)h.host.Find("DOD-IP")->parse;
  EXPECT_EQ(h.host.Find("MAC-802.3")->control(PCTL_FIND_CHILD, 0x0800, 0, 0, 0), ip);
  if (h.Has("VLAN")) {
    EXPECT_EQ(h.host.Find("VLAN")->control(PCTL_FIND_CHILD, 0x0800, 0, 0, 0), ip);
  }
}

TEST(ThroughParents, PaddedFrameCountsAndShowsOnlyTheDatagram) {
  EthernetHost h;
  NEED(h, "MAC-802.3");
  h.Bind("IP-TCP", 80, kChildA);
  h.Flags() = MT_SHOW_NETWORK_ADDRESSES;
  const Bytes frame = Ethernet(Ip(6, Tcp(1027, 80, 0x10)), 60);  // a pure ACK and six bytes of padding
  ASSERT_EQ(frame.size(), 60u);
  h.Decode("MAC-802.3", frame);
  EXPECT_EQ(h.Bytes64("IP"), 40u);
  EXPECT_EQ(h.Bytes64("TCP"), 20u);
  EXPECT_TRUE(h.handOns.empty());  // the padding is no payload
  EXPECT_EQ(h.Destination(), "10.0.0.2:80");
  EXPECT_EQ(h.Source(), "192.168.0.1:1027");
  EXPECT_EQ(h.Protocol(), "TCP");
  EXPECT_EQ(h.Description(), "Ack ");
  ASSERT_FALSE(h.Lines(1).empty());
  EXPECT_EQ(h.Lines(1)[0].text, "Internet Protocol");
  EXPECT_EQ(h.Lines(1)[0].offset, 14);
  EXPECT_EQ(h.Lines(1).back().text, "Destination Address\t10.0.0.2");
  EXPECT_EQ(h.Lines(1).back().offset, 30);
  ASSERT_FALSE(h.Lines(2).empty());
  EXPECT_EQ(h.Lines(2)[0].text, "Transmission Control Protocol");
  EXPECT_EQ(h.Lines(2)[0].offset, 34);
}

TEST(ThroughParents, PaddedEmptyDatagramReachesItsChild) {
  EthernetHost h;
  NEED(h, "MAC-802.3");
  h.Bind("IP-UDP", 53, kChildA);
  h.Decode("MAC-802.3", Ethernet(Ip(17, Udp(1027, 53)), 60));
  std::vector<HandOn> got = h.handOns;
  ASSERT_EQ(got.size(), 3u);
  for (const HandOn& o : got) {
    EXPECT_EQ(o.to, "A");
    EXPECT_EQ(o.offset, 42);
    EXPECT_EQ(o.frameLength, 42);
    EXPECT_EQ(o.capturedLength, 42);
  }
  EXPECT_EQ(got[2].slot, 3);
}

// A MAC address with a name keeps it in its cell unless raw addresses are
// asked for; the port goes only where IP wrote the address.
TEST(ThroughParents, NamedStationKeepsItsNameUnlessRaw) {
  EthernetHost h;
  NEED(h, "MAC-802.3");
  if (!h.table()->AddName("gateway", kSourceMac, 6, 0)) GTEST_SKIP() << "no name table in this tree";
  const Bytes frame = Ethernet(Ip(17, Udp(1027, 7, Hex("01 02 03 04"))));
  struct Case {
    DWORD flags;
    const char* source;
    const char* destination;
  };
  const Case cases[] = {
      {MT_SHOW_NETWORK_ADDRESSES, "gateway", "10.0.0.2:7"},
      {MT_SHOW_NETWORK_ADDRESSES | MT_RAW_ADDRESSES, "192.168.0.1:1027", "10.0.0.2:7"},
      {0, "gateway", "00-A0-C9-14-C8-29"},
  };
  for (const Case& c : cases) {
    h.Flags() = c.flags;
    h.Decode("MAC-802.3", frame, qvhost::RUN_SUMMARY);
    EXPECT_EQ(h.Source(), c.source) << std::hex << c.flags;
    EXPECT_EQ(h.Destination(), c.destination) << std::hex << c.flags;
    EXPECT_EQ(h.Protocol(), "UDP");
  }
}

TEST(ThroughParents, TaggedFrameReachesIpBehindTheTag) {
  EthernetHost h;
  NEED(h, "MAC-802.3");
  NEED(h, "VLAN");
  h.Bind("IP-UDP", 53, kChildA);
  const Bytes frame = Ethernet(Cat({Hex("00 05 08 00"), Ip(17, Udp(1027, 53, Hex("01 02 03 04")))}), 64, 0x8100);
  h.Decode("MAC-802.3", frame);
  std::vector<HandOn> got = h.handOns;
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].offset, 18 + 28);
  EXPECT_EQ(got[0].frameLength, 18 + 32);
  EXPECT_EQ(h.Bytes64("IP"), 32u);
  EXPECT_EQ(h.Lines(2)[0].offset, 18);
}

// The leaves above IP, UDP and TCP reached through their parents at every
// cut, those inside the parent's header included, where the leaf is handed
// an offset past the captured bytes: nothing is read past them and no line
// has a negative length. A leaf handed nothing makes no line, or (TFTP and
// RADIUS) a title of no bytes.
TEST(ThroughParents, LeavesStayWithinTheCaptureAtEveryCut) {
  const Bytes text = Hex("55 53 45 52 20 61 0d 0a 50 41 53 53 0d 0a");
  struct Leaf {
    const char* statistics;
    Bytes frame;
    size_t slot;  // of the leaf's lines
    bool titleWhenEmpty;
  };
  const Leaf leaves[] = {
      {"OSPF", Ip(89, Hex("02 01 00 2c 0a000001 00000000 1234 0000 0000000000000100 ffffff00 000a 02 01 00000028"
                          "0a000001 0a000002")), 1, false},
      {"EGP", Ip(8, Hex("02 05 00 00 00 01 00 00")), 1, false},
      {"SNMP", Ip(17, Udp(1027, 161, Hex("30 1a 02 01 01 04 06 70 75 62 6c 69 63 a0 0d 02 01 01 02 01 00 02 01 00"
                                         "30 02 30 00"))), 2, true},
      {"SLP", Ip(17, Udp(427, 427, Hex("02 01 00 00 10 00 00 00 00 00 12 34 00 02 65 6e"))), 2, false},
      {"TFTP", Ip(17, Udp(1027, 69, Hex("00 01 61 00 6f 63 74 65 74 00"))), 2, true},
      {"Radius", Ip(17, Udp(1027, 1812, Hex("01 05 00 08 aa bb cc dd"))), 3, true},
      {"Radius", Ip(6, Tcp(1027, 1812, 0x18, {}, Hex("01 05 00 08 aa bb cc dd"))), 3, true},
      {"FTP", Ip(6, Tcp(1027, 21, 0x18, {}, text)), 2, false},
      {"FTP", Ip(17, Udp(1027, 20, text)), 2, false},
      {"HTTP", Ip(6, Tcp(1027, 80, 0x18, {}, text)), 2, false},
      {"SSDP", Ip(17, Udp(1027, 1900, text)), 2, false},
      {"SMTP", Ip(6, Tcp(1027, 25, 0x18, {}, text)), 2, false},
      {"POP3", Ip(6, Tcp(1027, 110, 0x18, {}, text)), 2, false},
  };
  for (const Leaf& leaf : leaves) {
    SCOPED_TRACE(std::string(leaf.statistics) + " over " + std::to_string(leaf.frame[9]));
    CorvaleHost h;
    h.Decode("DOD-IP", leaf.frame);
    EXPECT_EQ(h.Frames(leaf.statistics), 1u);
    EXPECT_FALSE(h.Lines(leaf.slot).empty());
    qvtest::ExpectBoundedAtEveryCut(h, "DOD-IP", leaf.frame);
    // Cut inside the parent's header, behind what the parent needs to hand
    // on (IP its protocol number, UDP its ports, TCP its header length): the
    // leaf is reached with nothing.
    Bytes cut = leaf.frame;
    cut.resize(leaf.slot == 1 ? 18 : leaf.frame[9] == 17 ? 24 : 33);
    const uint64_t before = h.Frames(leaf.statistics);
    h.Decode("DOD-IP", cut, qvhost::RUN_ALL, (int)leaf.frame.size());
    EXPECT_EQ(h.Frames(leaf.statistics), before + 1);
    const auto lines = h.Lines(leaf.slot);
    EXPECT_EQ(lines.size(), leaf.titleWhenEmpty ? 1u : 0u);
    for (const auto& l : lines) EXPECT_EQ(l.length, 0) << l.text;
  }
}

TEST(ThroughParents, NoPassReadsPastTheCapture) {
  EthernetHost h;
  NEED(h, "MAC-802.3");
  h.Flags() = MT_SHOW_NETWORK_ADDRESSES;
  qvtest::ExpectBoundedAtEveryCut(h, "MAC-802.3",
                          Ethernet(Ip(6, Tcp(1027, 80, 0x02, Hex("02 04 05 b4 01 03 03 07 04 02"), Hex("aa bb"))), 60));
}

}  // namespace
}  // namespace corvaletest
