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

// A UDP header cut after its ports hands on with nothing captured: the
// type is unknown and no line describes bytes that are not there.
TEST(H225, NothingCaptured) {
  IpHost h;
  if (!h.Has("DOD-IP")) GTEST_SKIP() << "the IP suite is not built in this tree";
  for (WORD port : {1718, 1719}) {
    Bytes cut = Ip(17, Udp(40000, port, kAdmissionRequest));
    cut.resize(24);
    h.Decode("DOD-IP", cut);
    EXPECT_EQ(h.Protocol(), "H.225");
    EXPECT_EQ(h.Description(), "Unknown");
    ExpectLines(h.Lines(3), {{"H.225 Call Signalling Protocol", 28, 0, OPEN},
                             {"Message Type\t\t\tUnknown", 28, 0, CLOSE}});
  }
  // The same for RTP's title.
  Bytes cut = Ip(17, Udp(40000, 5004, kRtp));
  cut.resize(26);
  h.Decode("DOD-IP", cut);
  ExpectLines(h.Lines(3), {{"Real-Time Transport Protocol", 28, 0, OPEN | CLOSE}});
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
