// The example library, built as a plug-in, through the test host: the
// lines of a whole message, the bounds its length fields set, the binding
// under IP-UDP and the two properties every protocol keeps.
#include "testhost.h"

namespace {

using qvtest::Bytes;
using qvtest::CLOSE;
using qvtest::Hex;
using qvtest::Lines;
using qvtest::OPEN;

struct ExampleHost : qvtest::TestHost {
  explicit ExampleHost(bool start = true) : TestHost({"example"}, start, QV_EXAMPLE_DIR) {}
};

// Version 1, an answer and the last one, 26 bytes, sequence 7: a name, an
// address and a record of a type the protocol does not know.
const Bytes kAnswer = Hex(
    "01 81 00 1a 00 00 00 07"
    "01 05 61 6c 70 68 61"
    "02 04 c0 a8 00 05"
    "09 03 aa bb cc");

const Lines kAnswerHead = {
    {"Roll Call Protocol", 0, 26, OPEN},
    {"Version\t\t\t1", 0, 1, 0},
    {"Flags\t\t\t81", 1, 1, OPEN},
    {"Answer\t\t\tYes\t[1xxx xxxx]", 1, 1, 0},
    {"Last\t\t\tYes\t[xxxx xxx1]", 1, 1, CLOSE},
    {"Length\t\t\t26", 2, 2, 0},
    {"Sequence\t\t7", 4, 4, 0},
};

TEST(RollCall, EveryLineOfAnAnswer) {
  ExampleHost h;
  h.Decode("IP-ROLLCALL", kAnswer);
  qvtest::ExpectLines(h.Lines(0), qvtest::Join({kAnswerHead,
                                                {{"Record\t\t\tName", 8, 7, OPEN},
                                                 {"Type\t\t\t1", 8, 1, 0},
                                                 {"Length\t\t\t5", 9, 1, 0},
                                                 {"Name\t\t\talpha", 10, 5, CLOSE},
                                                 {"Record\t\t\tAddress", 15, 6, OPEN},
                                                 {"Type\t\t\t2", 15, 1, 0},
                                                 {"Length\t\t\t4", 16, 1, 0},
                                                 {"Address\t\t\t192.168.0.5", 17, 4, CLOSE},
                                                 {"Record\t\t\tUnknown", 21, 5, OPEN},
                                                 {"Type\t\t\t9", 21, 1, 0},
                                                 {"Length\t\t\t3", 22, 1, 0},
                                                 {"Value\t\t\t3 bytes", 23, 3, CLOSE}}}));
  EXPECT_EQ(h.Protocol(), "ROLLCALL");
  EXPECT_EQ(h.Description(), "Answer 7");
  EXPECT_EQ(h.Frames("Roll Call"), 1u);
  EXPECT_EQ(h.Bytes64("Roll Call"), 26u);
  EXPECT_EQ(h.Counter("Roll Call", "Answers"), 1u);
}

// The lines of a call's header (version 1, the last call, sequence 3) that
// declares this length.
Lines CallHead(int length) {
  return {{"Roll Call Protocol", 0, length, OPEN},
          {"Version\t\t\t1", 0, 1, 0},
          {"Flags\t\t\t01", 1, 1, OPEN},
          {"Answer\t\t\tNo\t[0xxx xxxx]", 1, 1, 0},
          {"Last\t\t\tYes\t[xxxx xxx1]", 1, 1, CLOSE},
          {"Length\t\t\t" + std::to_string(length), 2, 2, 0},
          {"Sequence\t\t3", 4, 4, 0}};
}

// The message ends where its length says or at the captured end, the
// earlier; a record ends at the message's end whatever its own length says.
TEST(RollCall, LengthsThatLieShortenTheirRange) {
  struct Case {
    const char* name;
    Bytes message;
    Lines lines;
    const char* description;
  };
  const Lines cutHeader = CallHead(3);
  const Case cases[] = {
      {"bytes past the declared length are no record",
       Hex("01 01 00 0d 00 00 00 03  09 03 aa bb cc  01 05 61 6c 70 68 61"),
       qvtest::Join({CallHead(13),
                     {{"Record\t\t\tUnknown", 8, 5, OPEN},
                      {"Type\t\t\t9", 8, 1, 0},
                      {"Length\t\t\t3", 9, 1, 0},
                      {"Value\t\t\t3 bytes", 10, 3, CLOSE}}}),
       "Call 3"},
      {"a name longer than the message is cut at its end",
       Hex("01 01 00 0c 00 00 00 03  01 09 61 6c 70 68 61"),
       qvtest::Join({CallHead(12),
                     {{"Record\t\t\tName", 8, 4, OPEN},
                      {"Type\t\t\t1", 8, 1, 0},
                      {"Length\t\t\t9", 9, 1, 0},
                      {"Name\t\t\tal", 10, 2, CLOSE}}}),
       "Call 3"},
      {"a length inside the header ends the header there", Hex("01 01 00 03 00 00 00 03  01 01 61"),
       Lines(cutHeader.begin(), cutHeader.begin() + 5), "Short message"},
      {"a record of its type byte alone, after one of no value",
       Hex("01 01 00 0b 00 00 00 03  09 00 01"),
       qvtest::Join({CallHead(11),
                     {{"Record\t\t\tUnknown", 8, 2, OPEN},
                      {"Type\t\t\t9", 8, 1, 0},
                      {"Length\t\t\t0", 9, 1, CLOSE},
                      {"Record\t\t\tName", 10, 1, OPEN},
                      {"Type\t\t\t1", 10, 1, CLOSE}}}),
       "Call 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExampleHost h;
    h.Decode("IP-ROLLCALL", c.message);
    qvtest::ExpectLines(h.Lines(0), c.lines);
    EXPECT_EQ(h.Description(), c.description);
    EXPECT_EQ(h.Counter("Roll Call", "Answers"), 0u);
    qvtest::ExpectBoundedAtEveryCut(h, "IP-ROLLCALL", c.message);
  }
}

TEST(RollCall, KeepsTheProperties) {
  ExampleHost h;
  qvtest::ExpectBoundedAtEveryCut(h, "IP-ROLLCALL", kAnswer);
  qvtest::ExpectLineFailuresHandled(h, "IP-ROLLCALL", kAnswer);
}

TEST(RollCall, BindsUnderUdpAtItsPort) {
  ExampleHost h(false);
  h.StandIn("IP-UDP");
  h.Start();
  ASSERT_EQ(h.bindings.size(), 1u);
  EXPECT_EQ(h.bindings[0].parent, "IP-UDP");
  EXPECT_EQ(h.bindings[0].key, 50000u);
}

// The way the host reaches it: from the Ethernet root through IP and UDP,
// to the same lines 42 bytes on.
TEST(RollCall, ReachedThroughUdp) {
  if (!qvtest::Built("brannock") || !qvtest::Built("corvale")) GTEST_SKIP() << "brannock and corvale are not built";
  std::vector<qvhost::FlatLine> alone;
  {
    ExampleHost h;
    h.Decode("IP-ROLLCALL", kAnswer);
    alone = h.Lines(0);
  }
  qvtest::TestHost h({"brannock", "corvale"}, false);
  std::string error;
  ASSERT_TRUE(h.host.LoadLibrary(qvtest::PluginPath("example", QV_EXAMPLE_DIR), &error)) << error;
  h.Start();
  h.Decode("MAC-802.3", qvtest::Ethernet(qvtest::Ip(17, qvtest::Udp(40000, 50000, kAnswer))));
  const std::vector<qvhost::FlatLine> lines = h.Lines(3);
  ASSERT_EQ(lines.size(), alone.size());
  for (size_t i = 0; i < lines.size(); i++) {
    SCOPED_TRACE(alone[i].text);
    EXPECT_EQ(lines[i].offset, alone[i].offset + 42);
    EXPECT_EQ(lines[i].length, alone[i].length);
    EXPECT_EQ(lines[i].flags, alone[i].flags);
    EXPECT_EQ(lines[i].text, alone[i].text);
  }
  EXPECT_EQ(h.Protocol(), "ROLLCALL");
  EXPECT_EQ(h.Description(), "Answer 7");
}

}  // namespace
