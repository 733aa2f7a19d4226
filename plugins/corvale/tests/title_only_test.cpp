// EGP, RADIUS and TFTP: their summary words, the one title line (RADIUS's in
// the slot after its own), and titles that never run negative.
#include "corvale_host.h"

namespace corvaletest {
namespace {

const Bytes kBody = Hex("01 05 00 20 aa bb cc dd");

TEST(TitleOnly, SummaryCountsAndTitle) {
  struct Case {
    const char* name;
    Bytes frame;
    const char* protocol;
    const char* statistics;
    size_t slot;  // of the title line
    qvtest::Line title;
  };
  const Case cases[] = {
      {"EGP", Ip(8, kBody), "EGP", "EGP", 1, {"Exterior Gateway Protocol", 20, 8, OPEN | CLOSE}},
      {"TFTP", Ip(17, Udp(1027, 69, kBody)), "TFTP", "TFTP", 2,
       {"Trivial File Transfer Protocol", 28, 8, OPEN | CLOSE}},
      // RADIUS's own slot stays empty; its line is in the next one.
      {"RADIUS over UDP", Ip(17, Udp(1027, 1812, kBody)), "Radius", "Radius", 3,
       {"Remote Authentication Dial In User Service Protocol", 28, 8, OPEN | CLOSE}},
      {"RADIUS over TCP", Ip(6, Tcp(1027, 1812, 0x18, {}, kBody)), "Radius", "Radius", 3,
       {"Remote Authentication Dial In User Service Protocol", 40, 8, OPEN | CLOSE}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CorvaleHost h;
    h.Decode("DOD-IP", c.frame);
    EXPECT_EQ(h.Protocol(), c.protocol);
    EXPECT_EQ(h.Description(), "Packet");
    EXPECT_EQ(h.Frames(c.statistics), 1u);
    EXPECT_EQ(h.Bytes64(c.statistics), kBody.size());
    ExpectLines(h.Lines(c.slot), {c.title});
    if (c.slot == 3) {
      EXPECT_TRUE(h.Lines(2).empty());
    }
  }
}

TEST(TitleOnly, NothingCapturedBehindTheParent) {
  // EGP: no line at all; TFTP and RADIUS: a title of no bytes.
  CorvaleHost h;
  h.Decode("DOD-IP", Ip(8, {}));
  EXPECT_EQ(h.Protocol(), "EGP");
  EXPECT_EQ(h.Description(), "Packet");
  EXPECT_TRUE(h.Lines(1).empty());

  h.Decode("DOD-IP", Ip(17, Udp(1027, 69)));
  ExpectLines(h.Lines(2), {{"Trivial File Transfer Protocol", 28, 0, OPEN | CLOSE}});

  // A UDP header cut after its ports hands on at an offset past the
  // captured bytes: the titles cover no bytes, never fewer.
  for (WORD port : {69, 1812}) {
    Bytes cut = Ip(17, Udp(1027, port, kBody));
    cut.resize(24);
    h.Decode("DOD-IP", cut);
    const size_t slot = port == 69 ? 2 : 3;
    ASSERT_EQ(h.Lines(slot).size(), 1u) << port;
    EXPECT_EQ(h.Lines(slot)[0].offset, 28);
    EXPECT_EQ(h.Lines(slot)[0].length, 0);
  }
}

TEST(TitleOnly, BoundedAndLineFailures) {
  for (const char* root : {"IP-EGP", "IP-TFTP", "RADIUS"}) {
    CorvaleHost h;
    qvtest::ExpectBoundedAtEveryCut(h, root, kBody, {.linesWithinCapture = true});
    qvtest::ExpectLineFailuresHandled(h, root, kBody);
  }
}

}  // namespace
}  // namespace corvaletest
