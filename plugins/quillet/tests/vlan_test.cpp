// VLAN decoded from offset 0 (the tag), with stand-ins for LLC-802.2 and
// NOVELL-IPX and a stand-in DOD-IP bound under VLAN with 0x0800.
#include "quillet_host.h"

namespace quillettest {
namespace {

struct VlanHost : QuilletHost {
  VlanHost() : QuilletHost({"LLC-802.2", "NOVELL-IPX"}) {
    host.Find("VLAN")->control(PCTL_ADD_CHILD, 0x0800, (CTRLARG)StandInParse("DOD-IP"), (CTRLARG)StandInControl("DOD-IP"), 0);
  }
};

const char* const kIpHeader = "45 00 00 14 00 01 00 00 40 06 00 00 c0 a8 00 01 c0 a8 00 02";

Bytes Cat(const char* a, const char* b) {
  Bytes x = Hex(a), y = Hex(b);
  x.insert(x.end(), y.begin(), y.end());
  return x;
}

Bytes Padded(const char* hex, size_t size) {
  Bytes b = Hex(hex);
  b.resize(size, 0);
  return b;
}

struct HandOnCase {
  const char* name;
  Bytes frame;
  int wire;          // -1: as captured
  const char* to;    // nullptr: nothing is handed on
  int frameLength;   // as handed on; the offset is always 4
  int capturedLength;
};

std::vector<HandOnCase> HandOnCases() {
  return {
      {"EtherType bound under VLAN", Cat("a0 05 08 00", kIpHeader), -1, "DOD-IP", 24, 24},
      {"EtherType bound nowhere", Hex("a0 05 99 99 01 02 03 04"), -1, "default", 8, 8},
      {"CFI set", Cat("10 05 08 00", kIpHeader), -1, nullptr, 0, 0},
      {"inner length with padding", Padded("00 64 00 2e aa aa 03", 60), -1, "LLC-802.2", 50, 50},
      {"inner length, longer on the wire", Padded("00 64 00 2e aa aa 03", 60), 1514, "LLC-802.2", 50, 50},
      {"inner length past the capture", Padded("00 64 00 40 aa aa 03", 20), 1514, "LLC-802.2", 68, 20},
      {"inner length, FF FF payload", Padded("00 64 00 20 ff ff 00 1e", 60), -1, "NOVELL-IPX", 36, 36},
      // The raw IPX test reads the two bytes after the tag wherever they
      // were captured, whatever the inner length says.
      {"FF FF cut by the inner length", Hex("00 64 00 01 ff ff 00"), -1, "NOVELL-IPX", 5, 5},
      {"inner length 0 before FF FF", Hex("00 64 00 00 ff ff"), -1, "NOVELL-IPX", 4, 4},
      {"one payload byte FF", Hex("00 64 00 10 ff"), 1514, "LLC-802.2", 20, 5},
      {"tag cut to 2 bytes", Hex("a0 05"), -1, nullptr, 0, 0},
      {"tag cut to 3 bytes", Hex("a0 05 08"), -1, nullptr, 0, 0},
      {"no tag at all", Hex(""), -1, nullptr, 0, 0},
  };
}

TEST(Vlan, HandsTheInnerPayloadOnInEveryPassEnabledOrNot) {
  for (BYTE enabled : {1, 0}) {
    for (const HandOnCase& c : HandOnCases()) {
      SCOPED_TRACE(std::string(c.name) + (enabled ? "" : ", VLAN disabled"));
      VlanHost h;
      h.Enabled("VLAN") = enabled;
      h.Decode("VLAN", c.frame, qvhost::RUN_ALL, c.wire);
      const int wire = c.wire < 0 ? (int)c.frame.size() : c.wire;
      // Counted before any trim, whatever the enable byte and the tag.
      EXPECT_EQ(h.Frames("802.1q"), 1u);
      EXPECT_EQ(h.Bytes64("802.1q"), (uint64_t)wire);

      std::vector<HandOn> got = h.handOns;
      if (!c.to) {
        EXPECT_TRUE(got.empty()) << h.Trace();
        continue;
      }
      ASSERT_EQ(got.size(), 3u) << h.Trace();
      for (DWORD pass = 0; pass < 3; pass++) {
        EXPECT_EQ(got[pass].to, c.to);
        EXPECT_EQ(got[pass].pass, pass);
        EXPECT_EQ(got[pass].offset, 4);
        EXPECT_EQ(got[pass].frameLength, c.frameLength);
        EXPECT_EQ(got[pass].capturedLength, c.capturedLength);
      }
      if (c.to != std::string("default")) {
        EXPECT_EQ(got[2].slot, 1);  // the slot after VLAN's
      }
      EXPECT_EQ(h.Protocol(), enabled ? "802.1q" : "");
      EXPECT_EQ(h.Description(), enabled ? "PDU" : "");
      EXPECT_EQ(h.Lines().empty(), !enabled);
      EXPECT_EQ((h.out.frameFlags & FRAME_PROTOCOL_ENABLED) != 0, enabled != 0);
    }
  }
}

struct DetailCase {
  const char* name;
  Bytes frame;
  Lines lines;
};

TEST(Vlan, DetailLines) {
  const DetailCase cases[] = {
      {"priority 5, VLAN 5, over IP",
       Cat("a0 05 08 00", kIpHeader),
       {{"IEEE 802.1q VLAN Protocol", 0, 4, OPEN},
        {"Tag Control Information", 0, 2, OPEN},
        {"Priority\t\t\t\t101xxxxx xxxxxxxx", 0, 2, 0},
        {"CFI\t\t\t\t\txxx0xxxx xxxxxxxx", 0, 2, 0},
        {"VID\t\t\t\t\txxxx0000 00000101\t5", 0, 2, CLOSE},
        {"Ether Type", 2, 2, OPEN},
        {"EtherType\t\t\t0800\tDOD Internet Protocol", 2, 2, CLOSE + 1}}},
      {"CFI set, highest VLAN id",
       Hex("1f ff 08 00"),
       {{"IEEE 802.1q VLAN Protocol", 0, 4, OPEN},
        {"Tag Control Information", 0, 2, OPEN},
        {"Priority\t\t\t\t000xxxxx xxxxxxxx", 0, 2, 0},
        {"CFI\t\t\t\t\txxx1xxxx xxxxxxxx", 0, 2, 0},
        {"VID\t\t\t\t\txxxx1111 11111111\t4095", 0, 2, CLOSE},
        {"Ether Type", 2, 2, OPEN},
        {"EtherType\t\t\t0800\tDOD Internet Protocol", 2, 2, CLOSE + 1}}},
      {"unnamed EtherType",
       Hex("e0 64 99 99"),
       {{"IEEE 802.1q VLAN Protocol", 0, 4, OPEN},
        {"Tag Control Information", 0, 2, OPEN},
        {"Priority\t\t\t\t111xxxxx xxxxxxxx", 0, 2, 0},
        {"CFI\t\t\t\t\txxx0xxxx xxxxxxxx", 0, 2, 0},
        {"VID\t\t\t\t\txxxx0000 01100100\t100", 0, 2, CLOSE},
        {"Ether Type", 2, 2, OPEN},
        {"EtherType\t\t\t9999", 2, 2, CLOSE + 1}}},
      {"inner length with padding",
       Padded("00 64 00 2e aa aa 03", 60),
       {{"IEEE 802.1q VLAN Protocol", 0, 4, OPEN},
        {"Tag Control Information", 0, 2, OPEN},
        {"Priority\t\t\t\t000xxxxx xxxxxxxx", 0, 2, 0},
        {"CFI\t\t\t\t\txxx0xxxx xxxxxxxx", 0, 2, 0},
        {"VID\t\t\t\t\txxxx0000 01100100\t100", 0, 2, CLOSE},
        {"Frame Length\t\t\t46", 2, 2, CLOSE}}},
      {"largest length",
       Hex("00 01 05 dc"),
       {{"IEEE 802.1q VLAN Protocol", 0, 4, OPEN},
        {"Tag Control Information", 0, 2, OPEN},
        {"Priority\t\t\t\t000xxxxx xxxxxxxx", 0, 2, 0},
        {"CFI\t\t\t\t\txxx0xxxx xxxxxxxx", 0, 2, 0},
        {"VID\t\t\t\t\txxxx0000 00000001\t1", 0, 2, CLOSE},
        {"Frame Length\t\t\t1500", 2, 2, CLOSE}}},
      // A cut tag shows what it has; the host ends the title group.
      {"tag cut to 2 bytes",
       Hex("a0 05"),
       {{"IEEE 802.1q VLAN Protocol", 0, 4, OPEN},
        {"Tag Control Information", 0, 2, OPEN},
        {"Priority\t\t\t\t101xxxxx xxxxxxxx", 0, 2, 0},
        {"CFI\t\t\t\t\txxx0xxxx xxxxxxxx", 0, 2, 0},
        {"VID\t\t\t\t\txxxx0000 00000101\t5", 0, 2, CLOSE}}},
      {"tag cut to 1 byte", Hex("a0"), {{"IEEE 802.1q VLAN Protocol", 0, 4, OPEN}}},
  };
  for (const DetailCase& c : cases) {
    SCOPED_TRACE(c.name);
    VlanHost h;
    h.Decode("VLAN", c.frame);
    ExpectLines(h.Lines(0), c.lines);
  }
}

TEST(Vlan, LinesStopWhenTheHostGivesNoneAndTheChildStillGetsItsSlot) {
  for (unsigned long failAt = 1; failAt <= 8; failAt++) {
    SCOPED_TRACE(failAt);
    VlanHost h;
    h.host.FailDetailLineAt(failAt, true);
    h.Decode("VLAN", Cat("a0 05 08 00", kIpHeader), qvhost::RUN_DETAIL);
    auto lines = h.Lines(0);
    EXPECT_EQ(lines.size(), std::min<size_t>(failAt - 1, 7));
    std::vector<HandOn> got = h.handOns;
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].to, "DOD-IP");
    EXPECT_EQ(got[0].slot, 1);
  }
}

TEST(Vlan, StaysInsideTheCaptureAndTheLinesGiven) {
  VlanHost h;
  qvtest::ExpectLineFailuresHandled(h, "VLAN", Cat("a0 05 08 00", kIpHeader));
  qvtest::ExpectBoundedAtEveryCut(h, "VLAN", Cat("a0 05 08 00", kIpHeader));
  qvtest::ExpectBoundedAtEveryCut(h, "VLAN", Padded("00 64 00 2e ff ff", 60));
}

}  // namespace
}  // namespace quillettest
