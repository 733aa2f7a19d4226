// PPP, IPCP and PPP-COMP: their summaries, their title lines, and the same
// frames reached from the Ethernet root.
#include <string.h>

#include "dorrow_host.h"

namespace dorrowtest {
namespace {

TEST(Ppp, TitleFunctionAndDataLength) {
  struct Case {
    int captured;
    int wire;
    const char* dataLength;
  };
  // The data length is the packet's length on the wire; no byte is read.
  const Case cases[] = {{0, 0, "Data Length\t\t\t0"}, {12, 12, "Data Length\t\t\t12"}, {12, 1500, "Data Length\t\t\t1500"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wire);
    DorrowHost h;
    h.Decode("PPP", Bytes((size_t)c.captured, 0xC0), qvhost::RUN_ALL, c.wire);
    ExpectLines(h.Lines(0), {{"Point-To-Point Protocol", 0, 0, OPEN},
                             {"Function Type\t\tFunction", 0, 0, 0},
                             {c.dataLength, 0, 0, CLOSE}});
    EXPECT_EQ(h.Protocol(), "PPP");
    EXPECT_EQ(h.Description(), "Packet");
  }
}

TEST(Ppp, ControlProtocolsShowOneLineOverTheirBytes) {
  struct Case {
    const char* nameId;
    const char* title;
    const char* protocol;
  };
  const Case cases[] = {{"IPCP", "IPCP Protocol", "IPCP"}, {"PPP-COMP", "PPP Compression Protocol", "Compression"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nameId);
    for (size_t size : {0, 1, 10}) {
      DorrowHost h;
      h.Decode(c.nameId, Bytes(size, 0x01));
      ExpectLines(h.Lines(0), {{c.title, 0, (int)size, OPEN | CLOSE}});
      EXPECT_EQ(h.Protocol(), c.protocol);
      EXPECT_EQ(h.Description(), "Packet");
    }
  }
}

// A parent that hands the frame on past its captured bytes (as one that
// trusts a header length could): the line lengths stay at 0, and PPP's data
// length too.
ProtocolParse g_child;
int g_jumpTo;
DWORD QV_CALL JumpPastTheCapture(DWORD pass, CaptureFrame* f, void* out) {
  f->offset = g_jumpTo;
  return g_child(pass, f, pass == PASS_DETAIL ? static_cast<DetailLine**>(out) + 1 : out);
}

TEST(Ppp, OffsetPastTheCaptureGivesEmptyLines) {
  struct Case {
    const char* nameId;
    Lines lines;
  };
  const Case cases[] = {
      {"IPCP", {{"IPCP Protocol", 30, 0, OPEN | CLOSE}}},
      {"PPP-COMP", {{"PPP Compression Protocol", 30, 0, OPEN | CLOSE}}},
      {"PPP", {{"Point-To-Point Protocol", 0, 0, OPEN}, {"Function Type\t\tFunction", 0, 0, 0}, {"Data Length\t\t\t0", 0, 0, CLOSE}}},
      {"PPP-LCP", {{"PPP Link Control Protocol", 30, 0, OPEN}}},
      {"PPP-PAP", {{"PAP Protocol", 30, 0, OPEN}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nameId);
    ProtocolDescriptor jump = {};  // outlives the host, which holds it
    strcpy(jump.nameId, "JUMP");
    jump.parse = JumpPastTheCapture;
    DorrowHost h;
    h.host.Register(&jump);
    g_child = h.host.Find(c.nameId)->parse;
    g_jumpTo = 30;
    h.Decode("JUMP", Hex("01 01 00 04 00 00 00 00 00 00"));
    ExpectLines(h.Lines(1), c.lines);
    EXPECT_EQ(h.Bytes64(h.host.Find(c.nameId)->description), 0u);
  }
}

TEST(Ppp, EveryCutAndEveryFailedLine) {
  for (const char* nameId : {"PPP", "IPCP", "PPP-COMP"}) {
    SCOPED_TRACE(nameId);
    DorrowHost h;
    const Bytes packet = Hex("01 01 00 0a 03 06 c0 a8 00 01");
    qvtest::ExpectBoundedAtEveryCut(h, nameId, packet);
    qvtest::ExpectLineFailuresHandled(h, nameId, packet);
  }
}

// From the Ethernet root: 0x80FD reaches PPP-COMP through MAC-802.3's
// table, which hands on past its header; PPP-COMP hands on unmoved.
TEST(Ppp, CompressionAndIpcpFromTheEthernetRoot) {
  NEED_BRANNOCK();
  struct Case {
    WORD type;
    const char* protocol;
    const char* title;
    const char* statistics;
  };
  const Case cases[] = {{0x80FD, "Compression", "PPP Compression Protocol", "PPP Compression Protocol"},
                        {0x8021, "IPCP", "IPCP Protocol", "Point-to-Point IP Control Protocol"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.protocol);
    EthernetHost h;
    h.Decode("MAC-802.3", EthernetFrame(c.type, Hex("01 01 00 0a 03 06 c0 a8 00 01")));
    EXPECT_EQ(h.Protocol(), c.protocol);
    EXPECT_EQ(h.Description(), "Packet");
    ExpectLines(h.Lines(1), {{c.title, 14, 46, OPEN | CLOSE}});
    EXPECT_TRUE(h.Lines(2).empty());
    ASSERT_EQ(h.defaultParses.size(), 3u);
    for (const qvtest::ParseCall& p : h.defaultParses) EXPECT_EQ(p.offset, 14);
    EXPECT_EQ(h.Frames(c.statistics), 1u);
    EXPECT_EQ(h.Bytes64(c.statistics), 46u);
  }
}

TEST(Ppp, DisabledIpcpLeavesTheMacCells) {
  NEED_BRANNOCK();
  EthernetHost h;
  h.Enabled("IPCP") = 0;
  h.Decode("MAC-802.3", EthernetFrame(0x8021, Hex("01 01 00 04")));
  EXPECT_NE(h.Protocol(), "IPCP");
  EXPECT_EQ(h.Description(), "Frame");
  EXPECT_TRUE(h.Lines(1).empty());
  EXPECT_EQ(h.Frames("Point-to-Point IP Control Protocol"), 1u);
  EXPECT_EQ(h.defaultParses.size(), 3u);
}

}  // namespace
}  // namespace dorrowtest
