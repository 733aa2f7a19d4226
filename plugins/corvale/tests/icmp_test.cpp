// IP-ICMP and IP-IGMP behind DOD-IP: the summary words of each type and
// code, each type's detail layout, the dumps, and messages cut short.
#include "corvale_host.h"

namespace corvaletest {
namespace {

// An ICMP message: type, code, checksum, then the rest as given.
Bytes Icmp(BYTE type, BYTE code, const Bytes& rest = Hex("00010002")) {
  return Cat({Bytes{type, code, 0xAB, 0xCD}, rest});
}
Bytes Data(size_t n, BYTE first = 0) {
  Bytes b(n);
  for (size_t i = 0; i < n; i++) b[i] = (BYTE)(first + i);
  return b;
}

Lines Head(int titleLength, const char* type, const char* code) {
  return {{"Internet Control Message Protocol", 20, titleLength, OPEN},
          {type, 20, 1, 0},
          {code, 21, 1, 0},
          {"Checksum\t\t\t\t\t0xABCD", 22, 2, 0}};
}

TEST(IpIcmp, EchoRequestDumpsAtMost32BytesOfData) {
  CorvaleHost h;
  h.Decode("DOD-IP", Ip(1, Icmp(8, 0, Cat({Hex("0001 0102"), Data(56, 0x20)}))));
  EXPECT_EQ(h.Protocol(), "ICMP");
  EXPECT_EQ(h.Description(), "Echo Request");
  ExpectLines(h.Lines(1), qvtest::Join({Head(64, "Type\t\t\t\t\t\tEcho Request", "Code\t\t\t\t\t\t00 "),
                                        {
                                            {"ID\t\t\t\t\t\t\t1", 24, 2, 0},
                                            {"ID Swapped\t\t\t\t256", 24, 2, 0},
                                            {"Sequence\t\t\t\t\t258", 26, 2, 0},
                                            {"Sequence Swapped\t\t513", 26, 2, 0},
                                            {"Echo Data", 28, 32, OPEN},
                                            {"001C  20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F   !\"#$%&'()*+,-./",
                                             28, 16, 0},
                                            {"002C  30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F  0123456789:;<=>?",
                                             44, 16, CLOSE},
                                        }}));
  EXPECT_EQ(h.Frames("ICMP"), 1u);
  EXPECT_EQ(h.Bytes64("ICMP"), 64u);

  // No data: no dump.
  h.Decode("DOD-IP", Ip(1, Icmp(0, 0, Hex("0001 0102"))), qvhost::RUN_DETAIL);
  EXPECT_EQ(h.Lines(1).back().text, "Sequence Swapped\t\t513");
}

TEST(IpIcmp, SummaryWordsOfEveryTypeAndCode) {
  struct Case {
    BYTE type, code;
    const char* description;
  };
  const Case cases[] = {
      {0, 0, "Echo Reply"},
      {3, 0, "Destination Unreachable [Network Unreachable]"},
      {3, 1, "Destination Unreachable [Host Unreachable]"},
      {3, 2, "Destination Unreachable [Protocol Unreachable]"},
      {3, 3, "Destination Unreachable [Port Unreachable]"},
      {3, 4, "Destination Unreachable [Must Fragment]"},
      {3, 5, "Destination Unreachable [Source Route Failed]"},
      {3, 13, "Destination Unreachable [Unknown Code]"},
      {4, 0, "Source Quench"},
      {5, 0, "Redirect [Network Redirect]"},
      {5, 1, "Redirect [Host Redirect]"},
      {5, 2, "Redirect [Network Redirect (TOS)]"},
      {5, 3, "Redirect [Host Redirect (TOS)]"},
      {5, 4, "Redirect [Unknown Code]"},
      {8, 0, "Echo Request"},
      {9, 0, "Router Advertisement"},
      {10, 0, "Router Solicitation"},
      {11, 0, "Time Exceeded [Time To Live]"},
      {11, 1, "Time Exceeded [Fragment Reassembly Time]"},
      {11, 2, "Time Exceeded [Unknown Code]"},
      {12, 0, "Parameter Problem"},
      {13, 0, "Timestamp Request"},
      {14, 0, "Timestamp Reply"},
      {15, 0, "Information Request"},
      {16, 0, "Information Reply"},
      {17, 0, "Mask Request"},
      {18, 0, "Mask Reply"},
      {40, 0, "Unknown Message [40]"},
      {255, 3, "Unknown Message [255]"},
  };
  CorvaleHost h;
  for (const Case& c : cases) {
    h.Decode("DOD-IP", Ip(1, Icmp(c.type, c.code, Data(20))), qvhost::RUN_SUMMARY);
    EXPECT_EQ(h.Protocol(), "ICMP") << (int)c.type;
    EXPECT_EQ(h.Description(), c.description) << (int)c.type << "/" << (int)c.code;
  }
  // Disabled, ICMP leaves IP's words but still counts.
  h.Enabled("IP-ICMP") = 0;
  h.Decode("DOD-IP", Ip(1, Icmp(8, 0)));
  EXPECT_EQ(h.Protocol(), "IP");
  EXPECT_TRUE(h.Lines(2).empty());
  EXPECT_EQ(h.Frames("ICMP"), 1u);
}

// The type and code lines differ from the summary's words: their own
// texts, "%02d %s" with a TAB-led text or an empty one, the two TABs of
// types 4 and 5, and router advertisement's "Unknown" without a TAB.
TEST(IpIcmp, TypeAndCodeLines) {
  struct Case {
    BYTE type, code;
    const char* typeLine;
    const char* codeLine;
  };
  const Case cases[] = {
      {0, 0, "Type\t\t\t\t\t\tEcho Reply", "Code\t\t\t\t\t\t00 "},
      {3, 0, "Type\t\t\t\t\t\tDestination Unreachable", "Code\t\t\t\t\t\t00 \tNetwork unreachable"},
      {3, 1, "Type\t\t\t\t\t\tDestination Unreachable", "Code\t\t\t\t\t\t01 \tHost unreachable"},
      {3, 2, "Type\t\t\t\t\t\tDestination Unreachable", "Code\t\t\t\t\t\t02 \tProtocol unreachable"},
      {3, 3, "Type\t\t\t\t\t\tDestination Unreachable", "Code\t\t\t\t\t\t03 \tPort unreachable"},
      {3, 4, "Type\t\t\t\t\t\tDestination Unreachable", "Code\t\t\t\t\t\t04 \tMust fragment"},
      {3, 5, "Type\t\t\t\t\t\tDestination Unreachable", "Code\t\t\t\t\t\t05 \tRoute failed"},
      {3, 10, "Type\t\t\t\t\t\tDestination Unreachable", "Code\t\t\t\t\t\t10 \tUnknown"},
      {4, 0, "Type\t\tSource Quench", "Code\t\t\t\t\t\t00 "},
      {5, 0, "Type\t\tRedirect", "Code\t\t\t\t\t\t00 \tNetwork redirect"},
      {5, 1, "Type\t\tRedirect", "Code\t\t\t\t\t\t01 \tHost redirect"},
      {5, 2, "Type\t\tRedirect", "Code\t\t\t\t\t\t02 \tTOS and Network redirect"},
      {5, 3, "Type\t\tRedirect", "Code\t\t\t\t\t\t03 \tTOS and Host redirect"},
      {5, 7, "Type\t\tRedirect", "Code\t\t\t\t\t\t07 \tUnknown"},
      {8, 0, "Type\t\t\t\t\t\tEcho Request", "Code\t\t\t\t\t\t00 "},
      {9, 0, "Type\t\t\t\t\t\tRouter Advertisement", "Code\t\t\t\t\t\t00 \tNormal router advertisement"},
      {9, 16, "Type\t\t\t\t\t\tRouter Advertisement", "Code\t\t\t\t\t\t16 \tNo common traffic"},
      {9, 1, "Type\t\t\t\t\t\tRouter Advertisement", "Code\t\t\t\t\t\t01 Unknown"},
      {10, 0, "Type\t\t\t\t\t\tRouter Solicitation", "Code\t\t\t\t\t\t00 "},
      {11, 0, "Type\t\t\t\t\t\tTime Exceeded", "Code\t\t\t\t\t\t00 \tTime to Live exceeded in Transit"},
      {11, 1, "Type\t\t\t\t\t\tTime Exceeded", "Code\t\t\t\t\t\t01 \tFragment Reassembly Time Exceeded"},
      {11, 200, "Type\t\t\t\t\t\tTime Exceeded", "Code\t\t\t\t\t\t200 \tUnknown"},
      {12, 0, "Type\t\t\t\t\t\tParameter Problem", "Code\t\t\t\t\t\t00 "},
      {13, 0, "Type\t\t\t\t\t\tTimestamp Request", "Code\t\t\t\t\t\t00 "},
      {14, 0, "Type\t\t\t\t\t\tTimestamp Reply", "Code\t\t\t\t\t\t00 "},
      {15, 0, "Type\t\t\t\t\t\tInformation Request", "Code\t\t\t\t\t\t00 "},
      {16, 0, "Type\t\t\t\t\t\tInformation Reply", "Code\t\t\t\t\t\t00 "},
      {17, 0, "Type\t\t\t\t\t\tMask Request", "Code\t\t\t\t\t\t00 "},
      {18, 0, "Type\t\t\t\t\t\tMask Reply", "Code\t\t\t\t\t\t00 "},
  };
  CorvaleHost h;
  for (const Case& c : cases) {
    h.Decode("DOD-IP", Ip(1, Icmp(c.type, c.code, Data(16))), qvhost::RUN_DETAIL);
    const auto lines = h.Lines(1);
    ASSERT_GE(lines.size(), 4u) << (int)c.type;
    EXPECT_EQ(lines[1].text, c.typeLine) << (int)c.type << "/" << (int)c.code;
    EXPECT_EQ(lines[2].text, c.codeLine) << (int)c.type << "/" << (int)c.code;
  }
}

// A type without a layout: the title and one line.
TEST(IpIcmp, UnknownTypeEndsTheDetail) {
  CorvaleHost h;
  h.Decode("DOD-IP", Ip(1, Icmp(40, 0, Data(12))), qvhost::RUN_DETAIL);
  ExpectLines(h.Lines(1), {{"Internet Control Message Protocol", 20, 16, OPEN}, {"Unknown Type\t40", 20, 1, 0}});
}

// The lines behind the checksum line, each layout with its own fields;
// bytes 4.. are 01 02 03 ... so every field shows where it was read.
TEST(IpIcmp, FieldLinesOfEachLayout) {
  struct Case {
    BYTE type;
    Lines fields;
  };
  const Case cases[] = {
      {3, {{"Unused\t\t\t\t\t0x01020304", 24, 4, 0}}},
      {4, {{"", 24, 0, 0}}},
      {5, {{"Gateway\t\t1.2.3.4", 24, 4, 0}}},
      {9,
       {{"Address Count\t\t1", 24, 1, 0}, {"Entry Size\t\t\t2", 25, 1, 0}, {"Life Time\t\t772", 26, 2, 0}}},
      {10, {{"Reserved\t\t\t\t\t16909060", 24, 4, 0}}},
      {11, {{"", 24, 0, 0}}},
      {12, {{"Pointer\t\t\t\t1", 24, 1, 0}, {"Entry Size\t\t\t0x020304", 25, 3, 0}}},
      // Originate, receive and transmit follow the identifier and
      // sequence, in network order.
      {13,
       {{"Originate\t\t84281096", 28, 4, 0},
        {"Receive\t\t151653132", 32, 4, 0},
        {"Transmit\t\t219025168", 36, 4, 0}}},
      {15,
       {{"ID\t\t\t\t\t\t\t258", 24, 2, 0},
        {"ID Swapped\t\t\t\t513", 24, 2, 0},
        {"Sequence\t\t\t\t\t772", 26, 2, 0},
        {"Sequence Swapped\t\t1027", 26, 2, 0}}},
      {18,
       {{"ID\t\t\t\t\t\t\t258", 24, 2, 0},
        {"ID Swapped\t\t\t\t513", 24, 2, 0},
        {"Sequence\t\t\t\t\t772", 26, 2, 0},
        {"Sequence Swapped\t\t1027", 26, 2, 0},
        {"Mask\t\t\t\t5.6.7.8", 28, 4, 0}}},
  };
  CorvaleHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    // 16 bytes from 4 on: the layouts without a dump end with their fields.
    h.Decode("DOD-IP", Ip(1, Icmp(c.type, 0, Data(16, 1))), qvhost::RUN_DETAIL);
    std::vector<qvhost::FlatLine> lines = h.Lines(1);
    ASSERT_GE(lines.size(), 4u);
    lines.erase(lines.begin(), lines.begin() + 4);
    if (c.type == 3 || c.type == 5 || c.type == 11 || c.type == 12) {
      ASSERT_GE(lines.size(), c.fields.size() + 1);
      EXPECT_EQ(lines[c.fields.size()].text, "Header Information");
      lines.resize(c.fields.size());
    }
    ExpectLines(lines, c.fields);
  }
}

// An unreachable message quoting the IP header and UDP header it answers:
// the quote is dumped up to 128 bytes.
TEST(IpIcmp, UnreachableDumpsTheQuotedDatagramUpTo128Bytes) {
  CorvaleHost h;
  const Bytes quote = Ip(17, Udp(1027, 53, Data(4)));
  h.Decode("DOD-IP", Ip(1, Icmp(3, 3, Cat({Hex("00000000"), quote}))));
  EXPECT_EQ(h.Description(), "Destination Unreachable [Port Unreachable]");
  ExpectLines(LinesFrom(h.Lines(1), "Unused"), {
                                                   {"Unused\t\t\t\t\t0x00000000", 24, 4, 0},
                                                   {"Header Information", 28, 32, OPEN},
                                                   {"001C  45 00 00 20 12 34 40 00 40 11 B1 E5 C0 A8 00 01  E.. .4@.@.......",
                                                    28, 16, 0},
                                                   {"002C  0A 00 00 02 04 03 00 35 00 0C 1A 2B 00 01 02 03  .......5...+....",
                                                    44, 16, CLOSE},
                                               });
  // A quote of 200 bytes: 128 dumped.
  h.Decode("DOD-IP", Ip(1, Icmp(11, 0, Cat({Hex("00000000"), Data(200)}))), qvhost::RUN_DETAIL);
  const auto dump = LinesFrom(h.Lines(1), "Header Information");
  ASSERT_EQ(dump.size(), 9u);
  EXPECT_EQ(dump[0].length, 128);
  // Time Exceeded's empty field line comes before its dump.
  EXPECT_EQ(h.Lines(1)[4].text, "");
}

// A message cut by the capture names and shows only what was captured:
// the title never covers less than nothing, the lines end at the first
// field that is missing, and no dump reads past the capture.
TEST(IpIcmp, CutMessageShowsOnlyCapturedFields) {
  struct Case {
    Bytes message;
    size_t captured;  // ICMP bytes
    const char* description;
    size_t lines;
  };
  const Bytes echo = Icmp(8, 0, Cat({Hex("00010002"), Data(8)}));
  const Bytes stamp = Icmp(13, 0, Data(16, 1));
  const Bytes unreachable = Icmp(3, 3, Data(12));
  const Case cases[] = {
      {echo, 0, "", 1},
      {echo, 1, "Echo Request", 2},
      {unreachable, 1, "Destination Unreachable ", 2},
      {unreachable, 2, "Destination Unreachable [Port Unreachable]", 3},
      {echo, 3, "Echo Request", 3},
      {echo, 4, "Echo Request", 4},
      {echo, 5, "Echo Request", 4},
      {echo, 6, "Echo Request", 6},
      {echo, 8, "Echo Request", 8},
      {echo, 9, "Echo Request", 8 + 2},  // one byte dumped
      {unreachable, 7, "Destination Unreachable [Port Unreachable]", 4},
      {unreachable, 8, "Destination Unreachable [Port Unreachable]", 5},
      {stamp, 11, "Timestamp Request", 4},
      {stamp, 12, "Timestamp Request", 5},
      {stamp, 19, "Timestamp Request", 6},
      {stamp, 20, "Timestamp Request", 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.captured);
    CorvaleHost h;
    Bytes frame = Ip(1, c.message);
    const int wire = (int)frame.size();
    frame.resize(20 + c.captured);
    h.Decode("DOD-IP", frame, qvhost::RUN_ALL, wire);
    EXPECT_EQ(h.Description(), c.description);
    const auto lines = h.Lines(1);
    ASSERT_EQ(lines.size(), c.lines);
    EXPECT_EQ(lines[0].length, (int)c.captured);
    for (const auto& l : lines) EXPECT_LE(l.offset + l.length, 20 + (int)c.captured) << l.text;
  }
}

// An IP header longer than what was captured hands ICMP an offset past the
// captured end: the title covers nothing and ends its group, and no word is
// named.
TEST(IpIcmp, IpHeaderPastTheCapture) {
  CorvaleHost h;
  IpFields f;
  f.versionIhl = 0x4F;  // 60 bytes of header
  f.protocol = 1;
  Bytes frame = Ip(f, Icmp(8, 0));
  frame.resize(30);
  h.Decode("DOD-IP", frame, qvhost::RUN_ALL, 68);
  EXPECT_EQ(h.Protocol(), "ICMP");
  EXPECT_EQ(h.Description(), "");
  ExpectLines(h.Lines(1), {{"Internet Control Message Protocol", 60, 0, OPEN | CLOSE}});
}

TEST(IpIcmp, NoPassReadsPastTheCaptureAndLineFailuresKeepTheLines) {
  const Bytes messages[] = {
      Icmp(8, 0, Cat({Hex("00010002"), Data(40)})),
      Icmp(3, 3, Cat({Hex("00000000"), Ip(17, Udp(1027, 53, Data(4)))})),
      Icmp(13, 0, Data(16, 1)),
      Icmp(17, 0, Data(8, 1)),
      Icmp(9, 0, Data(12, 1)),
      Icmp(12, 0, Data(12, 1)),
  };
  CorvaleHost h;
  for (const Bytes& m : messages) {
    qvtest::ExpectBoundedAtEveryCut(h, "IP-ICMP", m, {.linesWithinCapture = true});
    qvtest::ExpectLineFailuresHandled(h, "IP-ICMP", m);
  }
}

// ---------------------------------------------------------------- IGMP

TEST(IpIgmp, SummaryAndDetailNameTheType) {
  struct Case {
    BYTE type;
    const char* name;
  };
  const Case cases[] = {{0x11, "Membership Query"},
                        {0x12, "Version 1 Membership Report"},
                        {0x16, "Version 2 Membership Report"},
                        {0x17, "Leave Group"},
                        {0x22, "Unknown"},
                        {0x00, "Unknown"}};
  CorvaleHost h;
  for (const Case& c : cases) {
    h.Decode("DOD-IP", Ip(2, Bytes{c.type, 100, 0xEE, 0x9B, 239, 255, 255, 250}));
    EXPECT_EQ(h.Protocol(), "IGMP");
    EXPECT_EQ(h.Description(), c.name);
    ExpectLines(h.Lines(1), {
                                {"Internet Group Management Protocol", 20, 8, OPEN},
                                {std::string("Type\t\t\t\t\t\t") + c.name, 20, 1, 0},
                                {"Max Response Time\t\t100 tenths of a second", 21, 1, 0},
                                {"CheckSum\t\t\t\t\t0xEE9B", 22, 2, 0},
                                {"Group Address\t\t\t239.255.255.250", 24, 4, 0},
                            });
  }
  EXPECT_EQ(h.Frames("IGMP"), 6u);
  EXPECT_EQ(h.Bytes64("IGMP"), 48u);
}

// The title covers the message as far as it was captured.
TEST(IpIgmp, CutMessageShowsOnlyCapturedFields) {
  const Bytes message = Hex("11 64 EE9B 00000000");
  const size_t lines[] = {1, 2, 3, 3, 4, 4, 4, 4, 5};
  for (size_t n = 0; n <= message.size(); n++) {
    CorvaleHost h;
    Bytes frame = Ip(2, message);
    frame.resize(20 + n);
    h.Decode("DOD-IP", frame, qvhost::RUN_ALL, 28);
    EXPECT_EQ(h.Description(), n ? "Membership Query" : "") << n;
    ASSERT_EQ(h.Lines(1).size(), lines[n]) << n;
    EXPECT_EQ(h.Lines(1)[0].length, (int)n);
  }
  CorvaleHost h;
  qvtest::ExpectBoundedAtEveryCut(h, "IP-IGMP", message);
  qvtest::ExpectLineFailuresHandled(h, "IP-IGMP", message);
}

}  // namespace
}  // namespace corvaletest
