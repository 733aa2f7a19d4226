// RTP and H.225: the lines in the slot after the protocol's own, the RAS
// names, and what is shown when nothing of the message is captured.
#include "selkirt_host.h"

namespace selkirttest {
namespace {

const Bytes kRtp = Hex("80 00 1234 00000010 deadbeef 0102030405060708");
const Bytes kAdmissionRequest = Hex("26 90 00 07 08 02 00 01");

TEST(Rtp, OverUdpAndTcp) {
  struct Case {
    const char* name;
    Bytes frame;
    int offset;
  };
  const Case cases[] = {{"UDP", Ip(17, Udp(40000, 5004, kRtp)), 28},
                        {"TCP", Ip(6, Tcp(40000, 5004, 0x18, {}, kRtp)), 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IpHost h;
    if (!h.Has("DOD-IP")) GTEST_SKIP() << "the IP suite is not built in this tree";
    h.Decode("DOD-IP", c.frame);
    EXPECT_EQ(h.Protocol(), "RTP");
    EXPECT_EQ(h.Description(), "Packet");
    EXPECT_EQ(h.Frames("RTP"), 1u);
    EXPECT_EQ(h.Bytes64("RTP"), kRtp.size());
    EXPECT_TRUE(h.Lines(2).empty()) << "RTP's own slot";
    ExpectLines(h.Lines(3), {{"Real-Time Transport Protocol", c.offset, (int)kRtp.size(), OPEN | CLOSE}});
  }
}

TEST(Rtp, DisabledStillCounts) {
  IpHost h;
  if (!h.Has("DOD-IP")) GTEST_SKIP() << "the IP suite is not built in this tree";
  h.Enabled("IP-RTP") = 0;
  h.Decode("DOD-IP", Ip(17, Udp(40000, 5004, kRtp)));
  EXPECT_EQ(h.Frames("RTP"), 1u);
  EXPECT_EQ(h.Protocol(), "UDP");
  EXPECT_TRUE(h.Lines(2).empty());
  EXPECT_TRUE(h.Lines(3).empty());
}

TEST(H225, NamesTheRasMessage) {
  struct Case {
    BYTE first;
    const char* name;
  };
  const Case cases[] = {
      {0x00, "Gatekeeper Request"},           {0x26, "Admission Request"},
      {0x3F, "Disengage Request"},            {0x60, "Nonstandard Message Response"},
      {0x64, "Request in Progress"},          {0x78, "Array of Crypto H323 Tokens"},
      {0x87, "Service Control Response"},     {0x88, "Unknown"},
      {0xFC, "Unknown"},
  };
  SelkirtHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes frame = Cat({{c.first}, Hex("90 00 07")});
    h.Decode("ITU-H225", frame);
    EXPECT_EQ(h.Protocol(), "H.225");
    EXPECT_EQ(h.Description(), c.name);
    EXPECT_TRUE(h.Lines(0).empty());
    ExpectLines(h.Lines(1), {{"H.225 Call Signalling Protocol", 0, 4, OPEN},
                             {std::string("Message Type\t\t\t") + c.name, 0, 1, CLOSE}});
  }
}

TEST(H225, SummaryAndDetailAgreeOnEveryFirstByte) {
  SelkirtHost h;
  for (int first = 0; first < 256; first++) {
    h.Decode("ITU-H225", {(BYTE)first});
    ASSERT_EQ(h.Lines(1).size(), 2u);
    EXPECT_EQ(h.Lines(1)[1].text, "Message Type\t\t\t" + h.Description()) << first;
    EXPECT_EQ(h.Description() == "Unknown", first >= 0x88) << first;
  }
}

// A message too short for its first field, whether the datagram is empty
// or a UDP header cut after its ports hands on with nothing captured: the
// row shows the protocol's word with an empty description (RTP, which
// reads no field, its two words), the detail the title over no bytes, its
// group closed.
TEST(Voice, NothingCaptured) {
  IpHost h;
  if (!h.Has("DOD-IP")) GTEST_SKIP() << "the IP suite is not built in this tree";
  struct Case {
    WORD port;
    const char* protocol;
    const char* description;
    const char* title;
  };
  const Case cases[] = {
      {1718, "H.225", "", "H.225 Call Signalling Protocol"},
      {1719, "H.225", "", "H.225 Call Signalling Protocol"},
      {1720, "Q.931", "", "Q.931 Connection Control Protocol"},
      {11720, "Q.931", "", "Q.931 Connection Control Protocol"},
      {5004, "RTP", "Packet", "Real-Time Transport Protocol"},
  };
  for (const Case& c : cases) {
    for (bool empty : {true, false}) {
      SCOPED_TRACE(std::to_string(c.port) + (empty ? " empty" : " cut"));
      Bytes frame = Ip(17, Udp(40000, c.port, empty ? Bytes{} : kAdmissionRequest));
      if (!empty) frame.resize(24);
      h.Decode("DOD-IP", frame, qvhost::RUN_ALL, empty ? -1 : 36);
      EXPECT_EQ(h.Protocol(), c.protocol);
      EXPECT_EQ(h.Description(), c.description);
      EXPECT_TRUE(h.Lines(2).empty()) << "the protocol's own slot";
      ExpectLines(h.Lines(3), {{c.title, 28, 0, OPEN | CLOSE}});
      EXPECT_TRUE(h.Lines(4).empty());
    }
  }
}

// The voice protocols are found by the source port too, where the
// destination port has no binding.
TEST(Voice, BoundBySourcePort) {
  IpHost h;
  if (!h.Has("DOD-IP")) GTEST_SKIP() << "the IP suite is not built in this tree";
  struct Case {
    WORD port;
    Bytes payload;
    const char* protocol;
    const char* description;
  };
  const Case cases[] = {
      {5004, kRtp, "RTP", "Packet"},
      {1719, kAdmissionRequest, "H.225", "Admission Request"},
      {1720, Hex("08 00 5a"), "Q.931", "Release Complete"},
  };
  for (const Case& c : cases) {
    for (bool tcp : {false, true}) {
      SCOPED_TRACE(std::to_string(c.port) + (tcp ? " TCP" : " UDP"));
      h.Decode("DOD-IP", tcp ? Ip(6, Tcp(c.port, 40000, 0x18, {}, c.payload)) : Ip(17, Udp(c.port, 40000, c.payload)));
      EXPECT_EQ(h.Protocol(), c.protocol);
      EXPECT_EQ(h.Description(), c.description);
      ASSERT_FALSE(h.Lines(3).empty());
      EXPECT_EQ(h.Lines(3)[0].offset, tcp ? 40 : 28);
    }
  }
}

TEST(RtpAndH225, BoundedAndLineFailures) {
  SelkirtHost h;
  for (const char* root : {"IP-RTP", "ITU-H225"}) {
    const Bytes& frame = root[0] == 'I' && root[1] == 'P' ? kRtp : kAdmissionRequest;
    qvtest::ExpectBoundedAtEveryCut(h, root, frame, {.linesWithinCapture = true});
    qvtest::ExpectLineFailuresHandled(h, root, frame);
  }
}

}  // namespace
}  // namespace selkirttest
