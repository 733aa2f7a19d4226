// IP-ARP: the summary of each operation, the detail with the hardware type
// names, the trim of the padding behind the message, addresses longer than
// the usual ones and messages whose lengths lie or are cut.
#include "corvale_host.h"

namespace corvaletest {
namespace {

// An Ethernet/IPv4 message: operation, sender 00-A0-C9-14-C8-29 at
// 10.0.0.2, target 00-00-00-00-00-00 at 10.0.0.1.
Bytes Arp(WORD operation, WORD hardware = 1) {
  Bytes m = Hex("0000 0800 06 04 0000 00A0C914C829 0A000002 000000000000 0A000001");
  m[0] = (BYTE)(hardware >> 8);
  m[1] = (BYTE)hardware;
  m[6] = (BYTE)(operation >> 8);
  m[7] = (BYTE)operation;
  return m;
}
Bytes Padded(Bytes m, size_t n) {
  m.resize(n, 0);
  return m;
}

TEST(IpArp, SummaryNamesTheOperationAndTheAddress) {
  struct Case {
    WORD operation;
    const char* description;
  };
  const Case cases[] = {
      {1, "Request-10.0.0.1"},         {2, "Response-10.0.0.2"},         {3, "Reverse Request-10.0.0.2"},
      {4, "Reverse Response-10.0.0.1"}, {9, "Unknown10.0.0.1"},           {0x0101, "Unknown10.0.0.1"},
  };
  CorvaleHost h;
  for (const Case& c : cases) {
    h.Decode("IP-ARP", Padded(Arp(c.operation), 46), qvhost::RUN_SUMMARY);
    EXPECT_EQ(h.Protocol(), "ARP");
    EXPECT_EQ(h.Description(), c.description);
  }
  h.Enabled("IP-ARP") = 0;
  h.Decode("IP-ARP", Arp(1));
  EXPECT_EQ(h.Protocol(), "");
  EXPECT_TRUE(h.Lines(0).empty());
  EXPECT_EQ(h.Frames("ARP"), 1u);
}

// A request in a padded frame: the detail lines, and the padding dropped
// from the captured bytes once the title line is made.
TEST(IpArp, DetailLinesAndThePaddingDropped) {
  CorvaleHost h;
  h.Decode("IP-ARP", Padded(Arp(1), 46));
  ExpectLines(h.Lines(0), {
                              {"Address Resolution Protocol", 0, 28, OPEN},
                              {"Hardware Type\t\t\tEthernet (10Mb)", 0, 2, 0},
                              {"Protocol Type\t\t\t0800\tIP", 2, 2, 0},
                              {"Hardware Addr Size\t6", 4, 1, 0},
                              {"Protocol Addr Size\t4", 5, 1, 0},
                              {"ARP Function\t\t\tAddress Resolution Request", 6, 2, 0},
                              {"Sender HW Address\t\t00-A0-C9-14-C8-29", 8, 6, 0},
                              {"Sender Prot Address\t10.0.0.2", 14, 4, 0},
                              {"Target HW Address\t\t00-00-00-00-00-00", 18, 6, 0},
                              {"Target Prot Address\t10.0.0.1", 24, 4, CLOSE},
                          });
  EXPECT_EQ(h.host.currentFrame()->capturedLength, 28);
  EXPECT_EQ(h.host.currentFrame()->frameLength, 46);
  // Counting takes the whole frame, padding included.
  EXPECT_EQ(h.Bytes64("ARP"), 46u);

  // Only the detail pass trims, only when enabled, and only once the host
  // gave the title line.
  h.Decode("IP-ARP", Padded(Arp(1), 46), qvhost::RUN_COUNT | qvhost::RUN_SUMMARY);
  EXPECT_EQ(h.host.currentFrame()->capturedLength, 46);
  h.host.FailDetailLineAt(1, true);
  h.Decode("IP-ARP", Padded(Arp(1), 46), qvhost::RUN_DETAIL);
  h.host.FailDetailLineAt(0);
  EXPECT_EQ(h.host.currentFrame()->capturedLength, 46);
  h.Enabled("IP-ARP") = 0;
  h.Decode("IP-ARP", Padded(Arp(1), 46), qvhost::RUN_DETAIL);
  EXPECT_EQ(h.host.currentFrame()->capturedLength, 46);
}

TEST(IpArp, OperationsAndHardwareTypes) {
  struct Case {
    WORD operation, hardware;
    const char* function;
    const char* hardwareName;
  };
  const Case cases[] = {
      {1, 1, "Address Resolution Request", "Ethernet (10Mb)"},
      {2, 6, "Address Resolution Response", "IEEE 802 Networks"},
      {3, 16, "Reverse Address Resolution Request", "Asynchronous Transmission Mode (ATM)"},
      {4, 17, "Reverse Address Resolution Response", "HDLC"},
      {5, 19, "Unknown", "Asynchronous Transmission Mode (ATM)"},
      {0, 21, "Unknown", "Asynchronous Transmission Mode (ATM)"},
      {1, 12, "Address Resolution Request", "LocalNet (IBM PCNet or SYTEK LocalNET)"},
      {1, 24, "Address Resolution Request", "IEEE 1394.1995"},
      {1, 29, "Address Resolution Request", "IP and ARP over ISO 7816-3"},
      {1, 30, "Address Resolution Request", "ARPSec"},
      {1, 0, "Address Resolution Request", "Unknown"},
      {1, 31, "Address Resolution Request", "Unknown"},
      {1, 0x0101, "Address Resolution Request", "Unknown"},
  };
  CorvaleHost h;
  for (const Case& c : cases) {
    h.Decode("IP-ARP", Arp(c.operation, c.hardware), qvhost::RUN_DETAIL);
    const auto lines = h.Lines(0);
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[1].text, std::string("Hardware Type\t\t\t") + c.hardwareName) << c.hardware;
    EXPECT_EQ(lines[5].text, std::string("ARP Function\t\t\t") + c.function) << c.operation;
  }
}

// Addresses of 20 bytes: the texts stop at 16 bytes with "...", longer than
// a 64-byte buffer holds; lines and cells keep their bounds.
TEST(IpArp, LongAddresses) {
  Bytes m = Hex("0001 0800 14 14 0002");
  for (int part = 0; part < 4; part++)
    for (int i = 0; i < 20; i++) m.push_back((BYTE)(200 + i));
  CorvaleHost h;
  h.Decode("IP-ARP", m);
  const std::string dotted = "200.201.202.203.204.205.206.207.208.209.210.211.212.213.214.215...";
  ASSERT_EQ(dotted.size(), 66u);
  EXPECT_EQ(h.Description(), "Response-" + dotted);
  const auto lines = h.Lines(0);
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[0].length, 88);
  EXPECT_EQ(lines[6].text, "Sender HW Address\t\tC8-C9-CA-CB-CC-CD-CE-CF-D0-D1-D2-D3-D4-D5-D6-D7...");
  EXPECT_EQ(lines[6].length, 20);
  EXPECT_EQ(lines[7].text, "Sender Prot Address\t" + dotted);
  EXPECT_EQ(lines[9].text, "Target Prot Address\t" + dotted);
  EXPECT_EQ(lines[9].offset, 68);
}

// Lengths taken from the message never carry a read past the capture: the
// summary needs the fixed bytes and shows an address only where captured;
// the detail ends at the first field missing, and the title covers the
// message only as far as it was captured.
TEST(IpArp, CutAndLyingMessages) {
  struct Case {
    Bytes message;
    const char* description;
    size_t lines;
    int titleLength;
  };
  const Case cases[] = {
      {Hex(""), "", 1, 0},
      {Hex("0001 08"), "", 2, 3},
      {Hex("0001 0800 06"), "", 4, 5},
      {Hex("0001 0800 06 04 00"), "", 5, 7},
      {Hex("0001 0800 06 04 0001"), "Request-", 6, 8},
      {Hex("0001 0800 06 04 0002 00A0C914C829 0A0000"), "Response-", 7, 17},
      {Hex("0001 0800 06 04 0002 00A0C914C829 0A000002"), "Response-10.0.0.2", 8, 18},
      {Hex("0001 0800 06 04 0001 00A0C914C829 0A000002 000000000000 0A00"), "Request-", 9, 26},
      {Hex("0001 0800 FF FF 0001 00A0C914C829 0A000002 000000000000 0A000001"), "Request-", 6, 28},
      {Hex("0001 0800 00 00 0001"), "Request-", 10, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    CorvaleHost h;
    h.Decode("IP-ARP", c.message);
    EXPECT_EQ(h.Description(), c.description);
    const auto lines = h.Lines(0);
    EXPECT_EQ(lines.size(), c.lines);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].length, c.titleLength);
  }
}

TEST(IpArp, NoPassReadsPastTheCaptureAndLineFailuresKeepTheLines) {
  CorvaleHost h;
  for (const Bytes& m : {Padded(Arp(1), 46), Arp(2), Cat({Hex("0001 0800 10 10 0004"), Bytes(64, 0x41)})}) {
    qvtest::ExpectBoundedAtEveryCut(h, "IP-ARP", m);
    qvtest::ExpectLineFailuresHandled(h, "IP-ARP", m);
  }
}

TEST(IpArp, BoundUnderMacAndVlanAndReachedOverSnap) {
  CorvaleHost h({"brannock", "quillet", "corvale", "halvern", "pallisand"});
  if (!h.Has("MAC-802.3")) GTEST_SKIP() << "MAC-802.3 is not built in this tree";
  const CTRLARG arp = (CTRLARG)h.host.Find("IP-ARP")->parse;
  EXPECT_EQ(h.host.Find("MAC-802.3")->control(PCTL_FIND_CHILD, 0x0806, 0, 0, 0), arp);
  if (h.Has("VLAN")) {
    EXPECT_EQ(h.host.Find("VLAN")->control(PCTL_FIND_CHILD, 0x0806, 0, 0, 0), arp);
  }
  // Behind MAC-802.3, behind a VLAN tag, and over SNAP (by the EtherType
  // in MAC-802.3's table): the same message, and the padding behind it
  // dropped wherever it starts.
  struct Case {
    const char* what;
    Bytes frame;
    size_t slot;
    int at;
  };
  const Case cases[] = {
      {"Ethernet II", qvtest::Ether(qvtest::kBroadcast, qvtest::kHost, 0x0806, Arp(1)), 1, 14},
      {"VLAN", qvtest::Ether(qvtest::kBroadcast, qvtest::kHost, 0x8100, Cat({Hex("0005 0806"), Arp(1)})), 2, 18},
      {"SNAP", qvtest::Ether(qvtest::kBroadcast, qvtest::kHost, 36, Cat({Hex("aaaa03 000000 0806"), Arp(1)})), 3, 22},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.slot == 2 && !h.Has("VLAN")) continue;
    h.Decode("MAC-802.3", c.frame);
    EXPECT_EQ(h.Protocol(), "ARP");
    EXPECT_EQ(h.Description(), "Request-10.0.0.1");
    const auto lines = h.Lines(c.slot);
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0].text, "Address Resolution Protocol");
    EXPECT_EQ(lines[0].offset, c.at);
    EXPECT_EQ(lines[9].text, "Target Prot Address\t10.0.0.1");
    EXPECT_EQ(h.host.currentFrame()->capturedLength, c.at + 28);
  }
}

}  // namespace
}  // namespace corvaletest
