// Quillet's protocols reached the way the host reaches them: from the
// Ethernet root through MAC-802.3, LLC-802.2 and LLC-SNAP (Brannock) and
// through IP, UDP and TCP (Corvale). Skipped where those are not built.
#include <algorithm>

#include "cdp_packets.h"

namespace quillettest {
namespace {

#ifdef QV_HAVE_BRANNOCK
const bool kBrannock = true;
#else
const bool kBrannock = false;
#endif
#ifdef QV_HAVE_CORVALE
const bool kCorvale = true;
#else
const bool kCorvale = false;
#endif

#define NEED_BRANNOCK() \
  if (!kBrannock) GTEST_SKIP() << "brannock is not built in this tree"
#define NEED_CORVALE() \
  if (!kCorvale) GTEST_SKIP() << "corvale is not built in this tree"

const char* const kMacHeader = "00 a0 c9 14 c8 29 00 00 0c 12 34 56";

struct EthernetHost : QuilletHost {
  EthernetHost() : QuilletHost({}, {"brannock", "quillet", "halvern", "pallisand"}) {}
};
struct IpHost : QuilletHost {
  IpHost() : QuilletHost({}, {"brannock", "quillet", "corvale", "halvern", "pallisand"}) {}
};

Bytes Frame(std::initializer_list<const char*> hex, size_t padTo = 0) {
  Bytes b;
  for (const char* h : hex) {
    Bytes part = Hex(h);
    b.insert(b.end(), part.begin(), part.end());
  }
  if (b.size() < padTo) b.resize(padTo, 0);
  return b;
}

// The lines of a protocol decoded on its own from offset 0. The host is
// gone before the caller makes its own: one host at a time per process.
std::vector<qvhost::FlatLine> Alone(const char* nameId, const Bytes& bytes) {
  QuilletHost h;
  h.Decode(nameId, bytes);
  return h.Lines(0);
}

// Those lines moved to where the protocol sits in a frame.
Lines Shifted(const std::vector<qvhost::FlatLine>& lines, int by) {
  Lines w;
  for (const qvhost::FlatLine& l : lines) w.push_back(Line{l.text, l.offset + by, l.length, l.flags});
  return w;
}

TEST(QuilletThroughParents, TaggedIpGoesOnPastTheTag) {
  NEED_BRANNOCK();
  const char* const ip = "45 00 00 14 00 01 00 00 40 06 00 00 c0 a8 00 01 c0 a8 00 02";
  EthernetHost h;
  h.Decode("MAC-802.3", Frame({kMacHeader, "81 00 a0 05 08 00", ip}));
  ExpectLines(h.Lines(1), {{"IEEE 802.1q VLAN Protocol", 14, 4, OPEN},
                           {"Tag Control Information", 14, 2, OPEN},
                           {"Priority\t\t\t\t101xxxxx xxxxxxxx", 14, 2, 0},
                           {"CFI\t\t\t\t\txxx0xxxx xxxxxxxx", 14, 2, 0},
                           {"VID\t\t\t\t\txxxx0000 00000101\t5", 14, 2, CLOSE},
                           {"Ether Type", 16, 2, OPEN},
                           {"EtherType\t\t\t0800\tDOD Internet Protocol", 16, 2, CLOSE + 1}});
  EXPECT_EQ(h.Frames("802.1q"), 1u);
  EXPECT_EQ(h.Bytes64("802.1q"), 24u);
  EXPECT_EQ(h.Protocol(), "802.1q");
  // Without the IP suite, IP goes to DefaultParse at its header.
  ASSERT_EQ(h.defaultParses.size(), 3u);
  for (const qvtest::ParseCall& c : h.defaultParses) EXPECT_EQ(c.offset, 18);
}

TEST(QuilletThroughParents, TaggedIpReachesDodIpFoundByNameId) {
  NEED_BRANNOCK();
  NEED_CORVALE();
  const char* const ip = "45 00 00 14 00 01 00 00 40 06 00 00 c0 a8 00 01 c0 a8 00 02";
  IpHost h;
  h.Decode("MAC-802.3", Frame({kMacHeader, "81 00 a0 05 08 00", ip}));
  auto lines = h.Lines(2);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].offset, 18);
  EXPECT_NE(h.Protocol(), "802.1q");  // the IP layer wrote the row
}

TEST(QuilletThroughParents, ProtocolsBindUnderVlanByNameId) {
  NEED_BRANNOCK();
  EthernetHost h;
  std::vector<DWORD> keys;
  ProtocolDescriptor* vlan = h.host.Find("VLAN");
  for (CTRLARG e = 0; (e = vlan->control(PCTL_NEXT_CHILD, e, 0, 0, 0)) != 0;) keys.push_back(((ChildEntry*)e)->key);
  EXPECT_NE(std::find(keys.begin(), keys.end(), 0x8863u), keys.end());
  EXPECT_NE(std::find(keys.begin(), keys.end(), 0x8864u), keys.end());
  // A tagged PPPoE session frame reaches PPOE in the slot after VLAN's.
  h.Decode("MAC-802.3", Frame({kMacHeader, "81 00 00 0a 88 64 11 00 12 34 00 02 c0 21"}));
  auto lines = h.Lines(2);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].text, "Point-to-Point over Ethernet");
  EXPECT_EQ(lines[0].offset, 18);
}

TEST(QuilletThroughParents, TaggedLengthFrameIsTrimmedBeforeLlc) {
  NEED_BRANNOCK();
  EthernetHost h;
  // Inner length 46 at tag offset 14: the frame ends at 64 whatever follows.
  h.Decode("MAC-802.3", Frame({kMacHeader, "81 00 00 64 00 2e f0 f0 03"}, 80), qvhost::RUN_ALL, 90);
  EXPECT_EQ(h.Bytes64("802.1q"), 76u);  // counted before the trim
  auto llc = h.Lines(2);
  ASSERT_FALSE(llc.empty());
  EXPECT_EQ(llc[0].text, "IEEE 802.2 Logical Link Control");
  EXPECT_EQ(llc[0].offset, 18);
  ASSERT_EQ(h.defaultParses.size(), 3u);  // nothing bound under SAP F0 here
  for (const qvtest::ParseCall& c : h.defaultParses) {
    EXPECT_EQ(c.frameLength, 64);
    EXPECT_EQ(c.capturedLength, 64);
  }
}

const char* const kBpdu =
    "00 00 00 00 01 80 00 00 0c 12 34 56 78 00 00 00 13 80 01 00 0c 9a bc de f0 80 02 01 00 14 00 02 00 0f 00";

TEST(QuilletThroughParents, BpduUnderLlcAndUnderATag) {
  NEED_BRANNOCK();
  const auto alone = Alone("IEEE 802.1", Hex(kBpdu));
  const struct {
    const char* name;
    Bytes frame;
    size_t slot;
    int at;
  } cases[] = {
      {"802.3 length frame", Frame({"01 80 c2 00 00 00 00 00 0c 12 34 56 00 26 42 42 03", kBpdu}, 60), 2, 17},
      {"tagged length frame", Frame({"01 80 c2 00 00 00 00 00 0c 12 34 56 81 00 00 01 00 26 42 42 03", kBpdu}, 64), 3,
       21},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EthernetHost h;
    h.Decode("MAC-802.3", c.frame);
    // Trimmed to the length, so the title covers the 35 BPDU bytes only.
    ExpectLines(h.Lines(c.slot), Shifted(alone, c.at));
    EXPECT_EQ(h.Protocol(), "IEEE 802.1");
    EXPECT_EQ(h.Description(), "BPDU");
  }
}

TEST(QuilletThroughParents, CdpOverSnapAndOverEtherType2000) {
  NEED_BRANNOCK();
  const Bytes cdp = FullCdpPacket();
  const auto alone = Alone("CISCO-CDP", cdp);

  Bytes overType = Hex("01 00 0c cc cc cc 00 00 0c 12 34 56 20 00");
  overType.insert(overType.end(), cdp.begin(), cdp.end());
  Bytes overSnap = Hex("01 00 0c cc cc cc 00 00 0c 12 34 56");
  const size_t length = 8 + cdp.size();
  overSnap.push_back((BYTE)(length >> 8));
  overSnap.push_back((BYTE)length);
  Bytes snap = Hex("aa aa 03 00 00 0c 20 00");
  overSnap.insert(overSnap.end(), snap.begin(), snap.end());
  overSnap.insert(overSnap.end(), cdp.begin(), cdp.end());

  const struct {
    const char* name;
    Bytes frame;
    size_t slot;
    int at;
  } cases[] = {{"EtherType 0x2000", overType, 1, 14}, {"SNAP", overSnap, 3, 22}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EthernetHost h;
    h.Decode("MAC-802.3", c.frame);
    ExpectLines(h.Lines(c.slot), Shifted(alone, c.at));
    EXPECT_EQ(h.Protocol(), "CDP");
    EXPECT_EQ(h.Description(), "Packet");
    EXPECT_EQ(h.Bytes64("CDP"), cdp.size());
  }
}

TEST(QuilletThroughParents, TdpOverUdpAndTcpPort711) {
  NEED_BRANNOCK();
  NEED_CORVALE();
  const char* const tdp = "00 01 00 04 00 00 01 00";
  const struct {
    const char* name;
    Bytes frame;
    int at;
  } cases[] = {
      {"UDP",
       Frame({kMacHeader, "08 00 45 00 00 24 00 01 00 00 40 11 00 00 c0 a8 00 01 c0 a8 00 02",
              "04 00 02 c7 00 10 00 00", tdp}),
       42},
      {"TCP",
       Frame({kMacHeader, "08 00 45 00 00 30 00 01 00 00 40 06 00 00 c0 a8 00 01 c0 a8 00 02",
              "04 00 02 c7 00 00 00 01 00 00 00 00 50 18 20 00 00 00 00 00", tdp}),
       54},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    IpHost h;
    h.Decode("MAC-802.3", c.frame);
    ExpectLines(h.Lines(3), {
                                {"Tag Distribution Protocol", c.at, 8, OPEN},
                                {"Version\t\t\t\t\t1", c.at, 2, 0},
                                {"Length\t\t\t\t\t4", c.at + 2, 2, 0},
                                {"Identifier\t\t\t\t256", c.at + 4, 4, CLOSE},
                            });
    EXPECT_EQ(h.Protocol(), "TDP");
  }
}

}  // namespace
}  // namespace quillettest
