// DOD-IP driven directly: the header lines, the length trim, fragments, the
// IHL, the summary's address cells, counting, and frames cut short.
#include "corvale_host.h"

namespace corvaletest {
namespace {

const Bytes kPayload = Hex("de ad be ef");

TEST(DodIp, DetailShowsEveryHeaderField) {
  CorvaleHost h;
  h.Decode("DOD-IP", Ip(50, kPayload));
  ExpectLines(h.Lines(0), {
                              {"Internet Protocol", 0, 20, OPEN},
                              {"Header Version\t\t\t4\t\t\t\t[0100 xxxx]", 0, 1, 0},
                              {"Header Length\t\t\t20 bytes\t\t[xxxx 0101]", 0, 1, 0},
                              {"Type of Service\t\t0", 1, 1, 0},
                              {"Datagram Length\t\t24", 2, 2, 0},
                              {"Differentiator\t\t\t4660", 4, 2, 0},
                              {"Fragmentation Information", 6, 2, OPEN},
                              {"More Fragments\t\toff\txx0x xxxx xxxx xxxx", 6, 2, 0},
                              {"Don't Fragment\t\ton\t\tx1xx xxxx xxxx xxxx", 6, 2, 0},
                              {"Offset\t\t\t\t0\t\txxx0 0000 0000 0000 ", 6, 2, CLOSE},
                              {"Time To Live\t\t\t64", 8, 1, 0},
                              {"Protocol\t\t\t\t\tEncap Security Payload for IPv6", 9, 1, 0},
                              {"Header Checksum\t\t0xb1e5", 10, 2, 0},
                              {"Source Address\t\t\t192.168.0.1", 12, 4, 0},
                              {"Destination Address\t10.0.0.2", 16, 4, 0},
                          });
  // The title's group is left for the host to end.
  EXPECT_EQ(h.Protocol(), "IP");
  EXPECT_EQ(h.Description(), "Datagram");
  EXPECT_TRUE(h.out.frameFlags & FRAME_PROTOCOL_ENABLED);
}

TEST(DodIp, BitPictures) {
  struct Case {
    BYTE versionIhl;
    BYTE tos;
    WORD fragment;
    BYTE protocol;
    std::vector<std::string> lines;  // from "Header Version" to "Protocol"
  };
  const Case cases[] = {
      {0x4F,
       0xb8,
       0x3FFF,
       17,
       {"Header Version\t\t\t4\t\t\t\t[0100 xxxx]", "Header Length\t\t\t60 bytes\t\t[xxxx 1111]",
        "Type of Service\t\t184", "More Fragments\t\ton\t\txx1x xxxx xxxx xxxx",
        "Don't Fragment\t\toff\tx0xx xxxx xxxx xxxx", "Offset\t\t\t\t8191\t\txxx1 1111 1111 1111 ",
        "Protocol\t\t\t\t\tUser Datagram Protocol"}},
      {0x61,
       0,
       0x20B9,
       1,
       {"Header Version\t\t\t6\t\t\t\t[0110 xxxx]", "Header Length\t\t\t4 bytes\t\t[xxxx 0001]", "Type of Service\t\t0",
        "More Fragments\t\ton\t\txx1x xxxx xxxx xxxx", "Don't Fragment\t\toff\tx0xx xxxx xxxx xxxx",
        "Offset\t\t\t\t185\t\txxx0 0000 1011 1001 ", "Protocol\t\t\t\t\tInternet Control Message Protocol"}},
      {0xF0,
       0,
       0xD000,
       200,
       {"Header Version\t\t\t15\t\t\t\t[1111 xxxx]", "Header Length\t\t\t0 bytes\t\t[xxxx 0000]",
        "Type of Service\t\t0", "More Fragments\t\toff\txx0x xxxx xxxx xxxx",
        "Don't Fragment\t\ton\t\tx1xx xxxx xxxx xxxx", "Offset\t\t\t\t4096\t\txxx1 0000 0000 0000 ",
        "Protocol\t\t\t\t\tUnknown Protocol"}},
  };
  for (const Case& c : cases) {
    CorvaleHost h;
    IpFields f;
    f.versionIhl = c.versionIhl;
    f.tos = c.tos;
    f.fragment = c.fragment;
    f.protocol = c.protocol;
    h.Decode("DOD-IP", Ip(f, kPayload), qvhost::RUN_DETAIL);
    std::vector<std::string> got;
    for (const qvhost::FlatLine& l : h.Lines(0))
      if (l.text.rfind("Header V", 0) == 0 || l.text.rfind("Header L", 0) == 0 || l.text.rfind("Type", 0) == 0 ||
          l.text.rfind("More", 0) == 0 || l.text.rfind("Don't", 0) == 0 || l.text.rfind("Offset", 0) == 0 ||
          l.text.rfind("Protocol", 0) == 0)
        got.push_back(l.text);
    EXPECT_EQ(got, c.lines) << std::hex << (int)c.versionIhl;
    EXPECT_EQ(h.Lines(0)[0].length, (c.versionIhl & 0xF) * 4);
  }
}

// Where the datagram ends for its child, and what IP counts.
TEST(DodIp, TotalLengthTrimsPaddingButNeverGrowsTheFrame) {
  struct Case {
    const char* name;
    int totalLength;
    size_t captured;
    int wire;
    int childFrameLength;
    int childCaptured;
    uint64_t ipBytes;
  };
  const Case cases[] = {
      {"padded to the Ethernet minimum", 24, 46, 46, 24, 24, 24},
      {"exact", 24, 24, 24, 24, 24, 24},
      {"total length above the frame", 100, 24, 24, 24, 24, 100},
      {"cut by the capture", 1500, 24, 1500, 1500, 24, 1500},
      {"cut by the capture, padded on the wire", 40, 30, 60, 40, 30, 40},
  };
  for (const Case& c : cases) {
    CorvaleHost h;
    h.Bind("DOD-IP", 50, kChildA);
    IpFields f;
    f.protocol = 50;
    f.totalLength = c.totalLength;
    Bytes frame = Ip(f, kPayload);
    frame.resize(c.captured, 0);
    h.Decode("DOD-IP", frame, qvhost::RUN_ALL, c.wire);
    std::vector<HandOn> got = h.handOns;
    ASSERT_EQ(got.size(), 3u) << c.name;
    for (const HandOn& o : got) {
      EXPECT_EQ(o.to, "A") << c.name;
      EXPECT_EQ(o.offset, 20) << c.name;
      EXPECT_EQ(o.frameLength, c.childFrameLength) << c.name;
      EXPECT_EQ(o.capturedLength, c.childCaptured) << c.name;
    }
    EXPECT_EQ(got[2].slot, 1) << c.name;
    EXPECT_EQ(h.Frames("IP"), 1u) << c.name;
    EXPECT_EQ(h.Bytes64("IP"), c.ipBytes) << c.name;
  }
}

TEST(DodIp, TotalLengthBelowTheHeaderStillShowsTheHeader) {
  CorvaleHost h;
  IpFields f;
  f.protocol = 50;
  f.totalLength = 10;
  h.Decode("DOD-IP", Ip(f, kPayload));
  EXPECT_EQ(h.Lines(0).size(), 15u);
  EXPECT_EQ(LinesStarting(h.Lines(0), "Datagram Length")[0].text, "Datagram Length\t\t10");
  EXPECT_EQ(h.Source(), "192.168.0.1");  // the header is read before the trim
  ASSERT_EQ(h.defaultParses.size(), 3u);
  EXPECT_EQ(h.defaultParses[0].offset, 20);
  EXPECT_EQ(h.defaultParses[0].frameLength, 10);
  EXPECT_EQ(h.defaultParses[0].capturedLength, 10);
}

// Only a datagram's first fragment (offset 0) goes on to the child of its
// protocol: a later one starts inside the payload, holds no header of that
// protocol and hands nothing on, not even to DefaultParse; its row says
// that it is a fragment. Every fragment records its offset.
TEST(DodIp, OnlyTheFirstFragmentGoesOn) {
  struct Case {
    WORD fragment;
    DWORD fragmentOffset;
    bool handedOn;
  };
  const Case cases[] = {
      {0x2000, 0, true}, {0x4000, 0, true}, {0x20B9, 185, false}, {0x00B9, 185, false}, {0x0001, 1, false},
      {0x5FFF, 0x1FFF, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fragment);
    CorvaleHost h;
    h.Bind("DOD-IP", 17, kChildA);
    IpFields f;
    f.protocol = 17;
    f.fragment = c.fragment;
    h.Flags() = MT_SHOW_NETWORK_ADDRESSES;
    h.Decode("DOD-IP", Ip(f, Udp(1027, 53, kPayload)));
    EXPECT_EQ(h.host.currentFrame()->fragmentOffset, c.fragmentOffset);
    EXPECT_TRUE(h.defaultParses.empty());
    if (c.handedOn) {
      ASSERT_EQ(h.handOns.size(), 3u);
      EXPECT_EQ(h.handOns[0].to, "A");
      EXPECT_EQ(h.handOns[0].offset, 20);
      EXPECT_EQ(h.Description(), "Datagram");
    } else {
      EXPECT_TRUE(h.handOns.empty());
      EXPECT_EQ(h.Description(), "Datagram Fragment");
    }
    EXPECT_EQ(h.Protocol(), "IP");
    EXPECT_EQ(h.Source(), "192.168.0.1") << "no port appended";
    EXPECT_EQ(h.Frames("UDP"), 0u);
    EXPECT_EQ(h.Lines(0).size(), 15u);
  }
  // Through IP-UDP itself: a later fragment's first bytes are not read as ports.
  CorvaleHost h;
  IpFields f;
  f.protocol = 17;
  f.fragment = 0x00B9;
  h.Flags() = MT_SHOW_NETWORK_ADDRESSES;
  h.Decode("DOD-IP", Ip(f, Udp(1027, 53, kPayload)));
  EXPECT_EQ(h.Destination(), "10.0.0.2");
  EXPECT_EQ(h.Frames("UDP"), 0u);
  EXPECT_EQ(h.Frames("DNS"), 0u);
  EXPECT_TRUE(h.Lines(1).empty());
}

// A header length below the fixed 20 bytes is malformed: the header's
// lines show what was captured (the title keeps the length it gives) and
// nothing is handed on; from 20 bytes on the length is used as it stands.
TEST(DodIp, HeaderLengthBelowTwentyHandsNothingOn) {
  for (int ihl : {0, 1, 4, 5, 6, 15}) {
    SCOPED_TRACE(ihl);
    CorvaleHost h;
    h.Bind("DOD-IP", 50, kChildA);
    IpFields f;
    f.versionIhl = (BYTE)(0x40 | ihl);
    f.protocol = 50;
    h.Flags() = MT_SHOW_NETWORK_ADDRESSES;
    h.Decode("DOD-IP", Ip(f, Bytes(40, 0x11)));
    EXPECT_EQ(h.Lines(0).size(), 15u);
    EXPECT_EQ(h.Lines(0)[0].length, ihl * 4);
    EXPECT_EQ(h.Description(), "Datagram");
    EXPECT_EQ(h.Source(), "192.168.0.1");
    EXPECT_TRUE(h.defaultParses.empty());
    if (ihl < 5) {
      EXPECT_TRUE(h.handOns.empty());
    } else {
      ASSERT_EQ(h.handOns.size(), 3u);
      for (const HandOn& o : h.handOns) {
        EXPECT_EQ(o.to, "A");
        EXPECT_EQ(o.offset, ihl * 4);
      }
    }
  }
}

TEST(DodIp, UnboundProtocolGoesToDefaultParseBehindTheHeader) {
  CorvaleHost h;
  h.Decode("DOD-IP", Ip(50, kPayload));
  ASSERT_EQ(h.defaultParses.size(), 3u);
  for (DWORD pass = 0; pass < 3; pass++) {
    EXPECT_EQ(h.defaultParses[pass].pass, pass);
    EXPECT_EQ(h.defaultParses[pass].offset, 20);
  }
}

// The summary's address cells under the host's option and the MAC layer's
// NAMED bits, and the IS_NETWORK bits that tell the transports to append
// their ports.
TEST(DodIp, SummaryAddressCellsFollowTheFlags) {
  const DWORD SHOW = MT_SHOW_NETWORK_ADDRESSES, DNAMED = MT_DESTINATION_NAMED, SNAMED = MT_SOURCE_NAMED,
              RAW = MT_RAW_ADDRESSES;
  struct Case {
    DWORD flags;
    const char* destination;
    const char* source;
  };
  const Case cases[] = {
      {0, "", ""},
      {DNAMED | SNAMED | RAW, "", ""},
      {SHOW, "10.0.0.2", "192.168.0.1"},
      {SHOW | SNAMED, "10.0.0.2", ""},
      {SHOW | DNAMED, "", "192.168.0.1"},
      {SHOW | DNAMED | SNAMED, "", ""},
      {SHOW | DNAMED | SNAMED | RAW, "10.0.0.2", "192.168.0.1"},
      {SHOW | RAW, "10.0.0.2", "192.168.0.1"},
  };
  CorvaleHost h;
  for (const Case& c : cases) {
    h.Flags() = c.flags;
    h.Decode("DOD-IP", Ip(50, kPayload), qvhost::RUN_SUMMARY);
    EXPECT_EQ(h.Destination(), c.destination) << std::hex << c.flags;
    EXPECT_EQ(h.Source(), c.source) << std::hex << c.flags;
    EXPECT_EQ((h.Flags() & MT_DESTINATION_IS_NETWORK) != 0, *c.destination != 0) << std::hex << c.flags;
    EXPECT_EQ((h.Flags() & MT_SOURCE_IS_NETWORK) != 0, *c.source != 0) << std::hex << c.flags;
    EXPECT_EQ(h.Flags() & ~(MT_DESTINATION_IS_NETWORK | MT_SOURCE_IS_NETWORK), c.flags);
    EXPECT_EQ(h.Protocol(), "IP");
    EXPECT_EQ(h.Description(), "Datagram");
  }
}

TEST(DodIp, DisabledCountsAndHandsOnButShowsNothing) {
  CorvaleHost h;
  h.Bind("DOD-IP", 50, kChildA);
  h.Enabled("DOD-IP") = 0;
  h.Flags() = MT_SHOW_NETWORK_ADDRESSES;
  h.Decode("DOD-IP", Ip(50, kPayload));
  EXPECT_EQ(h.Frames("IP"), 1u);
  EXPECT_EQ(h.handOns.size(), 3u);
  EXPECT_TRUE(h.Lines().empty());
  EXPECT_EQ(h.Protocol(), "");
  EXPECT_EQ(h.Source(), "");
  EXPECT_EQ(h.Flags() & (MT_DESTINATION_IS_NETWORK | MT_SOURCE_IS_NETWORK), 0u);
  EXPECT_FALSE(h.out.frameFlags & FRAME_PROTOCOL_ENABLED);
  // The child still gets the slot after IP's own.
  EXPECT_EQ(h.handOns[2].slot, 1);
}

TEST(DodIp, ColourMarksTheFrame) {
  CorvaleHost h;
  *h.host.Find("DOD-IP")->textColor = 0x00336699;
  h.Decode("DOD-IP", Ip(50, kPayload), qvhost::RUN_COUNT);
  EXPECT_EQ(h.out.textColor, 0x00336699u);
  EXPECT_TRUE(h.out.frameFlags & FRAME_PROTOCOL_ENABLED);
}

TEST(DodIp, CountingTakesNoDetailLines) {
  CorvaleHost h;
  h.Decode("DOD-IP", Ip(17, Udp(1027, 53, kPayload)), qvhost::RUN_COUNT);
  EXPECT_EQ(h.host.detailLinesTaken(), 0u);
  EXPECT_EQ(h.Frames("UDP"), 1u);
}

TEST(DodIp, DetailStopsWhenTheHostGivesNoLineAndStillHandsOn) {
  for (unsigned long failAt = 1; failAt <= 16; failAt++) {
    CorvaleHost h;
    h.Bind("DOD-IP", 50, kChildA);
    h.host.FailDetailLineAt(failAt, true);
    h.Decode("DOD-IP", Ip(50, kPayload), qvhost::RUN_DETAIL);
    EXPECT_EQ(h.Lines(0).size(), std::min<size_t>(failAt - 1, 15)) << failAt;
    ASSERT_EQ(h.handOns.size(), 1u) << failAt;
    EXPECT_EQ(h.handOns[0].slot, 1);
  }
}

TEST(DodIp, CutHeaderEndsItsLinesAtTheFirstMissingField) {
  struct Case {
    size_t captured;
    const char* lastLine;
    bool handedOn;
  };
  const Case cases[] = {
      {0, "Internet Protocol", false},
      {1, "Header Length", false},
      {3, "Type of Service", false},
      {4, "Datagram Length", false},
      {8, "Offset", false},
      {9, "Time To Live", false},
      {10, "Protocol", true},
      {15, "Header Checksum", true},
      {19, "Source Address", true},
      {20, "Destination Address", true},
  };
  for (const Case& c : cases) {
    CorvaleHost h;
    h.Flags() = MT_SHOW_NETWORK_ADDRESSES;
    Bytes frame = Ip(50, kPayload);
    frame.resize(c.captured);
    h.Decode("DOD-IP", frame, qvhost::RUN_ALL, 24);
    std::vector<qvhost::FlatLine> lines = h.Lines(0);
    ASSERT_FALSE(lines.empty()) << c.captured;
    EXPECT_EQ(lines.back().text.rfind(c.lastLine, 0), 0u) << c.captured << ": " << lines.back().text;
    EXPECT_EQ(h.defaultParses.size(), c.handedOn ? 3u : 0u) << c.captured;
    EXPECT_EQ(h.Frames("IP"), 1u);
    // An address cell is written only when its address is there.
    EXPECT_EQ(h.Source().empty(), c.captured < 16) << c.captured;
    EXPECT_EQ(h.Destination().empty(), c.captured < 20) << c.captured;
  }
}

TEST(DodIp, NoPassReadsPastTheCapture) {
  CorvaleHost h;
  h.Flags() = MT_SHOW_NETWORK_ADDRESSES;
  IpFields f;
  f.protocol = 50;
  qvtest::ExpectBoundedAtEveryCut(h, "DOD-IP", Ip(f, kPayload));
  f.protocol = 17;
  qvtest::ExpectBoundedAtEveryCut(h, "DOD-IP", Ip(f, Udp(1027, 53, kPayload)));
  f.protocol = 6;
  qvtest::ExpectBoundedAtEveryCut(h, "DOD-IP", Ip(f, Tcp(1027, 80, 0x18, Hex("02 04 05 b4 01 03 03 02"), kPayload)));
}

}  // namespace
}  // namespace corvaletest
