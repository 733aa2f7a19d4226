// IEEE 802.1 spanning tree BPDUs decoded from offset 0.
#include "quillet_host.h"

namespace quillettest {
namespace {

// Configuration BPDU: flags 1, root 80 00 00 0C 12 34 56 78, path cost 19,
// bridge 80 01 00 0C 9A BC DE F0, port 0x8002, age 1, max age 20, hello 2,
// forward delay 15 seconds (in 1/256 s).
const char* const kConfigBpdu =
    "00 00 00 00 01 80 00 00 0c 12 34 56 78 00 00 00 13 80 01 00 0c 9a bc de f0 80 02 01 00 14 00 02 00 0f 00";

const Lines kConfigLines = {
    {"IEEE 802.1 Spanning Tree Protocol", 0, 35, OPEN},
    {"Protocol ID\t\t\t\t0", 0, 2, 0},
    {"Version\t\t\t\t\t0", 2, 1, 0},
    {"Type\t\t\t\t\t\t0", 3, 1, 0},
    {"Flags\t\t\t\t\t\t1", 4, 1, 0},
    {"Root\t\t\t\t\t\t80-00  00-0C-12-34-56-78", 5, 8, 0},
    {"Path Cost\t\t\t\t19", 13, 4, 0},
    {"Bridge ID\t\t\t\t80-01  00-0C-9A-BC-DE-F0", 17, 8, 0},
    {"Port ID\t\t\t\t\t32770", 25, 2, 0},
    {"Age\t\t\t\t\t\t256", 27, 2, 0},
    {"Maximum Age\t\t\t\t5120", 29, 2, 0},
    {"Hello Time\t\t\t\t512", 31, 2, 0},
    {"Forward Delay\t\t\t3840", 33, 2, CLOSE},
};

TEST(SpanningTree, ConfigurationBpdu) {
  QuilletHost h;
  h.Decode("IEEE 802.1", Hex(kConfigBpdu), qvhost::RUN_ALL, 60);
  ExpectLines(h.Lines(0), kConfigLines);
  EXPECT_EQ(h.Protocol(), "IEEE 802.1");
  EXPECT_EQ(h.Description(), "BPDU");
  EXPECT_EQ(h.Frames("IEEE 802.1"), 1u);
  EXPECT_EQ(h.Bytes64("IEEE 802.1"), 60u);
  EXPECT_TRUE(h.handOns.empty());  // a leaf
}

TEST(SpanningTree, ShortBpdusShowTheFieldsTheyHave) {
  const struct {
    const char* name;
    const char* frame;
    size_t lines;  // of kConfigLines, the last one open
  } cases[] = {
      {"topology change notification", "00 00 00 80", 4},
      {"cut inside the root id", "00 00 00 00 01 80 00 00 0c", 5},
      {"cut inside the forward delay", "00 00 00 00 01 80 00 00 0c 12 34 56 78 00 00 00 13 80 01 00 0c 9a bc de f0 80 02 "
                                       "01 00 14 00 02 00 0f", 12},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QuilletHost h;
    Bytes frame = Hex(c.frame);
    h.Decode("IEEE 802.1", frame);
    Lines want(kConfigLines.begin(), kConfigLines.begin() + (ptrdiff_t)c.lines);
    want[0].length = (int)frame.size();
    if (c.lines == 4) want[3].text = "Type\t\t\t\t\t\t128";
    ExpectLines(h.Lines(0), want);
  }
}

TEST(SpanningTree, StaysInsideTheCaptureAndTheLinesGiven) {
  QuilletHost h;
  qvtest::ExpectBoundedAtEveryCut(h, "IEEE 802.1", Hex(kConfigBpdu));
  qvtest::ExpectLineFailuresHandled(h, "IEEE 802.1", Hex(kConfigBpdu));
}

TEST(SpanningTree, DisabledCountsButShowsNothing) {
  QuilletHost h;
  h.Enabled("IEEE 802.1") = 0;
  h.Decode("IEEE 802.1", Hex(kConfigBpdu));
  EXPECT_EQ(h.Frames("IEEE 802.1"), 1u);
  EXPECT_EQ(h.Protocol(), "");
  EXPECT_TRUE(h.Lines().empty());
}

}  // namespace
}  // namespace quillettest
