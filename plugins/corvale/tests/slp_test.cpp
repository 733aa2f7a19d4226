// IP-SLP: the version 1 header with its flags, the shorter layout of the
// other versions, function names, and headers cut short by the capture.
#include "corvale_host.h"

namespace corvaletest {
namespace {

// Version 1, Attribute Request, length 48, flags A0, dialect 0, "en",
// encoding 3, XID 0x1234.
const Bytes kVersion1 = Hex("01 06 00 30 a0 00 65 6e 00 03 12 34 00 00");
// The shorter layout: length at 2..3, next offset at 6..7, XID at 8..9.
const Bytes kVersion2 = Hex("02 01 00 31 02 00 00 03 04 05 00 00 02 65 6e");

TEST(Slp, Version1Header) {
  CorvaleHost h;
  h.Decode("IP-SLP", kVersion1);
  EXPECT_EQ(h.Protocol(), "SLP");
  EXPECT_EQ(h.Description(), "Atribute Request");
  ExpectLines(h.Lines(0), {
                              {"Service Location Protocol", 0, 14, OPEN},
                              {"Version\t\t\t\t\t1", 0, 1, 0},
                              {"Function\t\t\t\t\tAtribute Request", 1, 1, 0},
                              {"Length\t\t\t\t\t48", 2, 2, 0},
                              {"Flags", 4, 1, OPEN},
                              {"OverFlow\t\t\t\tOn \t[1xxx xxxx]", 4, 1, 0},
                              {"Monolingual\t\t\tOff\t[x0xx xxxx]", 4, 1, 0},
                              {"URL Auth\t\t\t\tOn \t[xx1x xxxx]", 4, 1, 0},
                              {"Attribute Auth\t\tOff\t[xxx0 xxxx]", 4, 1, 0},
                              {"New Entry\t\t\tOff\t[xxxx 0xxx]", 4, 1, 0},
                              {"Reserved\t\t\t\t0x00", 4, 1, CLOSE},
                              {"Dialect\t\t\t\t\t0", 5, 1, 0},
                              {"Language code\t\t\ten", 6, 2, 0},
                              {"Char Encoding\t\t\t3", 8, 2, 0},
                              {"XID\t\t\t\t\t\t4660", 10, 2, CLOSE},
                          });
  // The other bits and the reserved ones.
  Bytes flags = kVersion1;
  flags[4] = 0x5F;
  h.Decode("IP-SLP", flags);
  const auto lines = h.Lines(0);
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(lines[5].text, "OverFlow\t\t\t\tOff\t[0xxx xxxx]");
  EXPECT_EQ(lines[6].text, "Monolingual\t\t\tOn \t[x1xx xxxx]");
  EXPECT_EQ(lines[9].text, "New Entry\t\t\tOn \t[xxxx 1xxx]");
  EXPECT_EQ(lines[10].text, "Reserved\t\t\t\t0x07");
}

TEST(Slp, OtherVersionsUseTheShorterLayout) {
  CorvaleHost h;
  h.Decode("IP-SLP", kVersion2);
  EXPECT_EQ(h.Description(), "Service Request");
  ExpectLines(h.Lines(0), {
                              {"Service Location Protocol", 0, 15, OPEN},
                              {"Version\t\t\t\t\t2", 0, 1, 0},
                              {"Function\t\t\t\t\tService Request", 1, 1, 0},
                              {"Length\t\t\t\t\t49", 2, 2, 0},
                              {"Next Offset\t\t\t\t\t3", 6, 2, 0},
                              {"XID\t\t\t\t\t1029", 8, 2, CLOSE},
                          });
  Bytes version0 = kVersion2;
  version0[0] = 0;
  h.Decode("IP-SLP", version0);
  EXPECT_EQ(h.Lines(0).size(), 6u);
}

TEST(Slp, FunctionNames) {
  const char* const names[] = {"Unknown",          "Service Request",      "Service Reply",
                               "Service Registration", "Service Deregister", "Service Acknowledge",
                               "Atribute Request", "Attribute Reply",      "DA Advertisement",
                               "Service Type Request", "Service Type Reply", "SA Advertisement",
                               "Unknown"};
  CorvaleHost h;
  for (int function = 0; function <= 12; function++) {
    Bytes message = kVersion2;
    message[1] = (BYTE)function;
    h.Decode("IP-SLP", message);
    EXPECT_EQ(h.Description(), names[function]) << function;
    EXPECT_EQ(h.Lines(0)[2].text, std::string("Function\t\t\t\t\t") + names[function]) << function;
  }
}

// Each field is shown only when it was captured; fewer than three bytes
// make no summary and no detail, whatever the first byte says.
TEST(Slp, CutHeaders) {
  struct Case {
    const Bytes* message;
    size_t captured;
    size_t lines;
    const char* last;
  };
  const Case cases[] = {
      {&kVersion1, 0, 0, nullptr},      {&kVersion1, 2, 0, nullptr},
      {&kVersion1, 3, 3, "Function"},   {&kVersion1, 4, 4, "Length"},
      {&kVersion1, 5, 11, "Reserved"},  {&kVersion1, 7, 12, "Dialect"},
      {&kVersion1, 8, 13, "Language"},  {&kVersion1, 11, 14, "Char Encoding"},
      {&kVersion1, 12, 15, "XID"},      {&kVersion2, 3, 3, "Function"},
      {&kVersion2, 7, 4, "Length"},     {&kVersion2, 9, 5, "Next Offset"},
      {&kVersion2, 10, 6, "XID"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string((*c.message)[0]) + "/" + std::to_string(c.captured));
    CorvaleHost h;
    Bytes frame = Ip(17, Udp(1027, 427, *c.message));
    const int wire = (int)frame.size();
    frame.resize(28 + c.captured);
    h.Decode("DOD-IP", frame, qvhost::RUN_ALL, wire);
    EXPECT_EQ(h.Protocol(), c.captured >= 3 ? "SLP" : "UDP");
    const auto lines = h.Lines(2);
    ASSERT_EQ(lines.size(), c.lines);
    if (c.last) {
      EXPECT_EQ(lines.back().text.rfind(c.last, 0), 0u) << lines.back().text;
      EXPECT_EQ(lines[0].length, (int)c.captured);
    }
  }
}

TEST(Slp, BoundedAndLineFailures) {
  for (const Bytes& message : {kVersion1, kVersion2}) {
    CorvaleHost h;
    qvtest::ExpectBoundedAtEveryCut(h, "IP-SLP", message, {.linesWithinCapture = true});
    qvtest::ExpectLineFailuresHandled(h, "IP-SLP", message);
  }
}

}  // namespace
}  // namespace corvaletest
