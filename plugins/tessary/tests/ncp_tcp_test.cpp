// NCP-TCP: the request and reply transport headers, data fragments, and
// what reaches IPX-NCP behind them.
#include "tessary_host.h"

namespace tessarytest {
namespace {

const Bytes kNcpRequest = Hex("2222 01 05 02 01 17 0001 11");  // Get File Server Information
const Bytes kNcpReply = Hex("3333 01 05 02 01 00 00");

Bytes Padded(Bytes b, size_t size) {
  b.resize(size, 0);
  return b;
}

TEST(NcpTcp, RequestReplyAndFragment) {
  struct Case {
    const char* name;
    Bytes segment;
    const char* description;  // NCP-TCP's own, with IPX-NCP disabled
    uint64_t bytes;
    Lines lines;
    int ncpAt;  // -1: IPX-NCP gets nothing
  };
  const Case cases[] = {
      {"request", Padded(Cat({Hex("446d6454 0000002a 00000001 00000002"), kNcpRequest}), 42), "Transport Request", 16,
       {{"Netware Core Protocol over TCP", 0, 42, OPEN},
        {"Indicator\t\t\t\t[DmdT]\tRequest", 0, 4, 0},
        {"Packet Size\t\t\t\t42", 4, 4, 0},
        {"Unknown 1\t\t\t\t1", 8, 4, 0},
        {"Unknown 2\t\t\t\t2", 12, 4, CLOSE}},
       16},
      {"request longer than the segment", Cat({Hex("446d6454 00000400 ffffffff 80000000"), kNcpRequest}),
       "Transport Request", 16,
       {{"Netware Core Protocol over TCP", 0, 26, OPEN},
        {"Indicator\t\t\t\t[DmdT]\tRequest", 0, 4, 0},
        {"Packet Size\t\t\t\t1024", 4, 4, 0},
        {"Unknown 1\t\t\t\t-1", 8, 4, 0},  // "%d" as the text has it
        {"Unknown 2\t\t\t\t-2147483648", 12, 4, CLOSE}},
       16},
      {"reply", Cat({Hex("744e6350 00000010"), kNcpReply}), "Transport Response", 8,
       {{"Netware Core Protocol over TCP", 0, 16, OPEN},
        {"Indicator\t\t\t\t[tNcP]\tResponse", 0, 4, 0},
        {"Packet Size\t\t\t\t16", 4, 4, CLOSE}},
       8},
      {"continuation of an earlier message", Bytes(24, 0), "Data Fragment", 8,
       {{"Netware Core Protocol over TCP", 0, 24, OPEN}, {"Data Fragment", 0, 24, CLOSE}}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TessaryHost h;
    h.Decode("NCP-TCP", c.segment);
    ExpectLines(h.Lines(0), c.lines);
    EXPECT_EQ(h.Frames("NCP Over TCP"), 1u);
    EXPECT_EQ(h.Bytes64("NCP Over TCP"), c.bytes);  // the transport header only
    if (c.ncpAt < 0) {
      EXPECT_EQ(h.Frames("NCP"), 0u);
      EXPECT_TRUE(h.Lines(1).empty());
      EXPECT_EQ(h.Description(), c.description);
    } else {
      EXPECT_EQ(h.Frames("NCP"), 1u);
      EXPECT_EQ(h.Bytes64("NCP"), c.segment.size() - (size_t)c.ncpAt);
      ASSERT_FALSE(h.Lines(1).empty());
      EXPECT_EQ(h.Lines(1)[0].offset, c.ncpAt);
      EXPECT_EQ(h.Protocol(), "NCP");
      h.Enabled("IPX-NCP") = 0;
      h.Decode("NCP-TCP", c.segment);
      EXPECT_EQ(h.Protocol(), "NCP Over TCP");
      EXPECT_EQ(h.Description(), c.description);
    }
    EXPECT_TRUE(h.handOns.empty());
  }
}

// The signature used to be read before the check for four bytes; fewer are
// a fragment, counted as the 8 bytes of a reply header.
TEST(NcpTcp, FewerThanFourBytesAreAFragment) {
  for (const char* segment : {"", "44", "446d64"}) {
    SCOPED_TRACE(segment);
    TessaryHost h;
    const Bytes bytes = Hex(segment);
    h.Decode("NCP-TCP", bytes);
    EXPECT_EQ(h.Description(), "Data Fragment");
    EXPECT_EQ(h.Bytes64("NCP Over TCP"), 8u);
    const int n = (int)bytes.size();
    ExpectLines(h.Lines(0), {{"Netware Core Protocol over TCP", 0, n, OPEN}, {"Data Fragment", 0, n, CLOSE}});
    EXPECT_EQ(h.Frames("NCP"), 0u);
  }
}

// IPX-NCP used to get the frame 16 or 8 bytes on even when fewer were left,
// and counted negative bytes: now only a whole header, within the frame and
// the capture, is passed.
TEST(NcpTcp, HandsOnOnlyAWholeHeader) {
  {
    TessaryHost h;
    h.Decode("NCP-TCP", Hex("446d6454 0000002a 0000"));
    ExpectLines(h.Lines(0), {{"Netware Core Protocol over TCP", 0, 10, OPEN},
                             {"Indicator\t\t\t\t[DmdT]\tRequest", 0, 4, 0},
                             {"Packet Size\t\t\t\t42", 4, 4, 0}});
    EXPECT_EQ(h.Description(), "Transport Request");
    EXPECT_EQ(h.Frames("NCP"), 0u);
  }
  {
    // Cut by the capture, the wire holding more.
    TessaryHost h;
    const Bytes segment = Cat({Hex("744e6350 00000010"), kNcpReply});
    h.Decode("NCP-TCP", Bytes(segment.begin(), segment.begin() + 6), qvhost::RUN_ALL, (int)segment.size());
    EXPECT_EQ(h.Frames("NCP"), 0u);
  }
  {
    // A reply header of 6 bytes before Ethernet padding: IP's length ends
    // the frame inside the header.
    EthernetHost h;
    const Bytes frame =
        qvtest::Ethernet(qvtest::Ip(6, qvtest::Tcp(524, 1025, 0x18, {}, Hex("744e6350 0000"))), 70);
    h.Decode("MAC-802.3", frame);
    EXPECT_EQ(h.Frames("NCP Over TCP"), 1u);
    EXPECT_EQ(h.Frames("NCP"), 0u);
    EXPECT_EQ(h.Protocol(), "NCP Over TCP");
    EXPECT_EQ(h.Description(), "Transport Response");
  }
}

// A TCP header whose options run past the capture puts the offset of the
// protocols behind it past the captured bytes: their titles, which cover
// the captured bytes from their offset, used to get a negative length.
TEST(NcpTcp, TitlesPastTheCaptureHaveNoLength) {
  const Bytes options(40, 0x01);
  struct Case {
    const char* nameId;
    const char* title;
  };
  for (const Case& c : {Case{"NCP-TCP", "Netware Core Protocol over TCP"}, Case{"IPX-NCP", "Netware Core Protocol"},
                        Case{"NOVELL-SAP", "Novell Service Advertising Protocol"}}) {
    SCOPED_TRACE(c.nameId);
    EthernetHost h;
    ProtocolDescriptor* d = h.host.Find(c.nameId);
    h.host.Find("IP-TCP")->control(PCTL_ADD_CHILD, 4000, (CTRLARG)d->parse, (CTRLARG)d->control, 0);
    const Bytes frame =
        qvtest::Ethernet(qvtest::Ip(6, qvtest::Tcp(1025, 4000, 0x18, options, Cat({Hex("744e6350 00000010"), kNcpReply}))));
    ASSERT_EQ(frame.size(), 14u + 20 + 60 + 16);
    h.Decode("MAC-802.3", Bytes(frame.begin(), frame.begin() + 70), qvhost::RUN_ALL, (int)frame.size());
    const auto title = qvtest::LinesStarting(h.Lines(), c.title);
    ASSERT_EQ(title.size(), 1u);
    EXPECT_EQ(title[0].offset, 94);
    EXPECT_EQ(title[0].length, 0);
    EXPECT_EQ(h.Frames("NCP"), c.nameId == std::string("IPX-NCP") ? 1u : 0u);
  }
}

TEST(NcpTcp, BoundedAndLineFailures) {
  TessaryHost h;
  for (const Bytes& segment : {Padded(Cat({Hex("446d6454 0000002a 00000001 00000002"), kNcpRequest}), 42),
                               Cat({Hex("744e6350 00000010"), kNcpReply}), Bytes(12, 0x33)}) {
    qvtest::ExpectBoundedAtEveryCut(h, "NCP-TCP", segment);
    qvtest::ExpectLineFailuresHandled(h, "NCP-TCP", segment);
  }
}

}  // namespace
}  // namespace tessarytest
