// IP-OSPF: the common header, Hello, Database Description, Update and
// Acknowledgment bodies, the five LSA bodies with their type-of-service
// entries, and counts and lengths that claim more than was captured.
#include "corvale_host.h"

namespace corvaletest {
namespace {

Bytes Be16(int v) { return {(BYTE)(v >> 8), (BYTE)v}; }
Bytes Be32(uint32_t v) { return {(BYTE)(v >> 24), (BYTE)(v >> 16), (BYTE)(v >> 8), (BYTE)v}; }

// Router 10.0.0.1, area 0, checksum 0x1234, authentication data 256.
Bytes Ospf(BYTE type, const Bytes& body, int length = -1) {
  return Cat({Hex("02"), {type}, Be16(length >= 0 ? length : 24 + (int)body.size()),
              Hex("0a000001 00000000 1234 0000 0000000000000100"), body});
}

Lines HeaderLines(const char* type, int length) {
  return {
      {"Version\t\t\t\t\t2", 0, 1, 0},
      {std::string("Type\t\t\t\t\t\t") + type, 1, 1, 0},
      {"Length\t\t\t\t\t" + std::to_string(length), 2, 2, 0},
      {"Router ID\t\t\t\t10.0.0.1", 4, 4, 0},
      {"Area ID\t\t\t\t\t0.0.0.0", 8, 4, 0},
      {"Check Sum\t\t\t\t1234", 12, 2, 0},
      {"Authentication Type\t0000", 14, 2, 0},
      {"Authentication Info\t256", 16, 8, 0},
  };
}

// An LSA header: age 1, options 2, advertising router 1.1.1.1, sequence
// 0x80000001, checksum 0x1234.
Bytes LsaHeader(BYTE type, const char* id, int length) {
  return Cat({Hex("0001 02"), {type}, Hex(id), Hex("01010101 80000001 1234"), Be16(length)});
}
Bytes Lsa(BYTE type, const char* id, const Bytes& body) { return Cat({LsaHeader(type, id, 20 + (int)body.size()), body}); }

Lines LsaLines(int at, int groupLength, const char* type, const char* id, int length) {
  return {
      {"Link State Advertisement", at, groupLength, OPEN},
      {"Age\t\t\t\t\t1", at, 2, 0},
      {"Options\t\t\t\t2", at + 2, 1, 0},
      {std::string("Type\t\t\t\t\t") + type, at + 3, 1, 0},
      {std::string("Link State ID\t\t") + id, at + 4, 4, 0},
      {"Router\t\t\t\t1.1.1.1", at + 8, 4, 0},
      {"Sequence Number\t-2147483647", at + 12, 4, 0},
      {"CheckSum\t\t\t\t4660", at + 16, 2, 0},
      {"Length\t\t\t\t" + std::to_string(length), at + 18, 2, 0},
  };
}

Lines Tos(int at, const char* tos, const char* reserved, const char* metric) {
  return {{"Type of Service", at, 4, OPEN},
          {std::string("TOS\t\t\t\t") + tos, at, 1, 0},
          {std::string("Reserved\t\t\t") + reserved, at + 1, 1, 0},
          {std::string("TOS Metric\t\t") + metric, at + 2, 2, CLOSE}};
}

Lines WithCloses(Lines lines, DWORD extra) {
  lines.back().flags = (lines.back().flags & CLOSE) ? lines.back().flags + extra : CLOSE + extra - 1;
  return lines;
}

const Bytes kHello = Hex("ffffff00 000a 02 01 00000028 0a000001 0a000002 0a000003 0a000004");

TEST(Ospf, Hello) {
  CorvaleHost h;
  h.Decode("DOD-IP", Ip(89, Ospf(1, kHello)));
  EXPECT_EQ(h.Protocol(), "OSPF");
  EXPECT_EQ(h.Description(), "Hello");
  EXPECT_EQ(h.Frames("OSPF"), 1u);
  EXPECT_EQ(h.Bytes64("OSPF"), 52u);
  Lines want = Join({{{"Open Shortest Path First Protocol", 0, 52, OPEN}},
                     HeaderLines("Hello", 52),
                     {
                         {"Network Mask\t\t\t255.255.255.0", 24, 4, 0},
                         {"Hello Interval\t\t\t10", 28, 2, 0},
                         {"Options\t\t\t\t\t2", 30, 1, 0},
                         {"Router Priority\t\t1", 31, 1, 0},
                         {"Router Dead Interval\t40", 32, 4, 0},
                         {"Designated Router\t\t10.0.0.1", 36, 4, 0},
                         {"Backup Router\t\t\t10.0.0.2", 40, 4, 0},
                         {"Neighbor\t\t\t\t\t10.0.0.3", 44, 4, 0},
                         {"Neighbor\t\t\t\t\t10.0.0.4", 48, 4, CLOSE},
                     }});
  for (qvtest::Line& l : want) l.offset += 20;
  ExpectLines(h.Lines(1), want);
}

// Neighbours come from the packet length, never more than were captured.
TEST(Ospf, HelloNeighbours) {
  struct Case {
    int packetLength;
    size_t captured;  // bytes of the packet
    size_t neighbours;
  };
  const Case cases[] = {
      {52, 52, 2}, {48, 52, 1}, {44, 52, 0}, {40, 52, 0}, {0, 52, 0}, {46, 52, 0},
      {1000, 52, 2},  // the length claims 239 neighbours
      {65535, 52, 2}, {52, 50, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.packetLength) + "/" + std::to_string(c.captured));
    Bytes packet = Ospf(1, kHello, c.packetLength);
    packet.resize(c.captured);
    CorvaleHost h;
    h.Decode("IP-OSPF", packet);
    EXPECT_EQ(LinesStarting(h.Lines(0), "Neighbor").size(), c.neighbours);
    EXPECT_EQ(h.Lines(0).back().flags, CLOSE);
  }
}

TEST(Ospf, RequestAndUnknownTypesShowTheHeaderOnly) {
  for (BYTE type : {3, 0, 6, 255}) {
    CorvaleHost h;
    h.Decode("IP-OSPF", Ospf(type, Hex("00000001 0a000001 0a000001")));
    const char* name = type == 3 ? "Link State Request" : "Unknown";
    EXPECT_EQ(h.Description(), name);
    ExpectLines(h.Lines(0), WithCloses(Join({{{"Open Shortest Path First Protocol", 0, 36, OPEN}}, HeaderLines(name, 36)}), 1));
  }
}

// Every body kind, with type-of-service entries; the router LSA's second
// link starts 16 bytes after the first, which has one entry.
TEST(Ospf, UpdateWithEveryLsaBody) {
  const Bytes router = Lsa(1, "0a000001", Hex("0100 0002"
                                              "0a000000 ffffff00 03 01 000a 08010014"
                                              "0a000009 0a000001 04 00 0005"));
  const Bytes network = Lsa(2, "0a000002", Hex("ffffff00 01010101 02020202"));
  const Bytes summary = Lsa(3, "0a010000", Hex("ffff0000 0000000a 02000005"));
  const Bytes asbr = Lsa(4, "0b000001", Hex("00000000 00000014"));
  const Bytes external = Lsa(5, "00000000", Hex("00000000 80000014 00000000 00000000 00000001"));
  const Bytes packet = Ospf(4, Cat({Be32(5), router, network, summary, asbr, external}));
  ASSERT_EQ(packet.size(), 212u);
  CorvaleHost h;
  h.Decode("IP-OSPF", packet);
  EXPECT_EQ(h.Description(), "Link State Update");
  const Lines want = Join({
      {{"Open Shortest Path First Protocol", 0, 212, OPEN}},
      HeaderLines("Link State Update", 212),
      {{"Lsa Count\t\t\t\t5", 24, 4, 0}},
      LsaLines(28, 52, "Router-LSA", "10.0.0.1", 52),
      {
          {"Flags\t\t\t\t\t256", 48, 2, 0},
          {"Links\t\t\t\t\t2", 50, 2, 0},
          {"Link ID\t\t\t\t10.0.0.0", 52, 4, 0},
          {"Link Data\t\t\t255.255.255.0", 56, 4, 0},
          {"Link Type\t\t\tStub", 60, 1, 0},
          {"Number of TOS\t\t1", 61, 1, 0},
          {"Metric\t\t\t\t10", 62, 2, 0},
      },
      Tos(64, "8", "256", "20"),
      {
          {"Link ID\t\t\t\t10.0.0.9", 68, 4, 0},
          {"Link Data\t\t\t10.0.0.1", 72, 4, 0},
          {"Link Type\t\t\tVirtaul", 76, 1, 0},
          {"Number of TOS\t\t0", 77, 1, 0},
          {"Metric\t\t\t\t5", 78, 2, CLOSE},
      },
      LsaLines(80, 32, "Network-LSA", "10.0.0.2", 32),
      {
          {"Network Mask\t\t255.255.255.0", 100, 4, 0},
          {"Router ID\t\t\t1.1.1.1", 104, 4, 0},
          {"Router ID\t\t\t2.2.2.2", 108, 4, CLOSE},
      },
      LsaLines(112, 32, "IP Summary-LSA", "10.1.0.0", 32),
      {
          {"Network Mask\t\t255.255.0.0", 132, 4, 0},
          {"Metric\t\t\t\t10", 136, 4, 0},
      },
      WithCloses(Tos(140, "2", "0", "5"), 1),
      LsaLines(144, 28, "ASBR Summary-LSA", "11.0.0.1", 28),
      {
          {"Unused\t\t\t\t0", 164, 4, 0},
          {"Metric\t\t\t\t20", 168, 4, CLOSE},
      },
      LsaLines(172, 40, "AS External-LSA", "0.0.0.0", 40),
      {
          {"Network Mask\t\t0.0.0.0", 192, 4, 0},
          {"Metric\t\t\t\t-2147483628", 196, 4, 0},
          {"Forwarding\t\t\t0.0.0.0", 200, 4, 0},
          {"External Route\t\t0.0.0.0", 204, 4, 0},
      },
      WithCloses(Tos(208, "0", "0", "1"), 2),  // and the title
  });
  ExpectLines(h.Lines(0), want);
}

// A length below 20 counts as 20; the next LSA starts behind it.
TEST(Ospf, ShortLsaLengthCountsAsTwenty) {
  const Bytes packet = Ospf(4, Cat({Be32(2), LsaHeader(9, "0a000001", 0), Lsa(2, "0a000002", Hex("ffffff00"))}));
  CorvaleHost h;
  h.Decode("IP-OSPF", packet);
  const Lines want = Join({
      {{"Open Shortest Path First Protocol", 0, 72, OPEN}},
      HeaderLines("Link State Update", 72),
      {{"Lsa Count\t\t\t\t2", 24, 4, 0}},
      WithCloses(LsaLines(28, 20, "Unknown-LSA", "10.0.0.1", 0), 1),
      LsaLines(48, 24, "Network-LSA", "10.0.0.2", 24),
      {{"Network Mask\t\t255.255.255.0", 68, 4, CLOSE + 1}},
  });
  ExpectLines(h.Lines(0), want);
}

// An LSA whose length is too short for its body's fixed fields ends at that
// length: its group closes, and the LSA behind it is shown.
TEST(Ospf, LsaBodyEndsAtItsOwnLength) {
  struct Case {
    BYTE type;
    const char* name;
    Bytes body;   // all the LSA's length holds behind its header
    Lines lines;  // the body's lines, offsets from the LSA's start
  };
  const Case cases[] = {
      {1, "Router-LSA", {}, {}},
      {1, "Router-LSA", Hex("0100"), {{"Flags\t\t\t\t\t256", 20, 2, 0}}},
      {1, "Router-LSA", Hex("0000 0001 0a000000"), {{"Flags\t\t\t\t\t0", 20, 2, 0}, {"Links\t\t\t\t\t1", 22, 2, 0},
                                                    {"Link ID\t\t\t\t10.0.0.0", 24, 4, 0}}},
      {2, "Network-LSA", {}, {}},
      {3, "IP Summary-LSA", Hex("ffff0000"), {{"Network Mask\t\t255.255.0.0", 20, 4, 0}}},
      {4, "ASBR Summary-LSA", Hex("00000000 0000"), {{"Unused\t\t\t\t0", 20, 4, 0}}},
      {5, "AS External-LSA", Hex("00000000 80000014 0000"),
       {{"Network Mask\t\t0.0.0.0", 20, 4, 0}, {"Metric\t\t\t\t-2147483628", 24, 4, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " of " + std::to_string(20 + c.body.size()) + " bytes");
    const int length = 20 + (int)c.body.size();
    const Bytes packet = Ospf(4, Cat({Be32(2), Lsa(c.type, "0a000001", c.body), Lsa(2, "0a000002", Hex("ffffff00"))}));
    CorvaleHost h;
    h.Decode("IP-OSPF", packet);
    Lines body = c.lines;
    for (qvtest::Line& l : body) l.offset += 28;
    const int next = 28 + length;
    ExpectLines(h.Lines(0), Join({
                                {{"Open Shortest Path First Protocol", 0, next + 24, OPEN}},
                                HeaderLines("Link State Update", next + 24),
                                {{"Lsa Count\t\t\t\t2", 24, 4, 0}},
                                WithCloses(Join({LsaLines(28, length, c.name, "10.0.0.1", length), body}), 1),
                                LsaLines(next, 24, "Network-LSA", "10.0.0.2", 24),
                                {{"Network Mask\t\t255.255.255.0", next + 20, 4, CLOSE + 1}},
                            }));
  }
}

// Database Description, Acknowledgment and Update packets end at their
// length: a cryptographic authentication digest behind it is never read
// as an LSA.
TEST(Ospf, DigestBehindThePacketIsNoLsa) {
  const Bytes digest = Cat({LsaHeader(2, "0a0000ff", 24), Hex("ffffffff")});  // 24 bytes that look like an LSA
  struct Case {
    BYTE type;
    Bytes body;
    const char* last;  // the packet's last line
  };
  const Case cases[] = {
      {2, Hex("05dc 0207 00001234"), "Sequence Number\t\t4660"},
      {5, {}, "Authentication Info\t256"},
      {4, Cat({Be32(2), Lsa(2, "0a000002", Hex("ffffff00"))}), "Network Mask\t\t255.255.255.0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE((int)c.type);
    CorvaleHost h;
    h.Decode("IP-OSPF", Cat({Ospf(c.type, c.body), digest}));
    const auto lines = h.Lines(0);
    EXPECT_EQ(lines[0].length, 24 + (int)c.body.size() + 24) << "the title covers what follows it";
    EXPECT_EQ(LinesStarting(lines, "Link State ID\t\t10.0.0.255").size(), 0u);
    EXPECT_EQ(lines.back().text, c.last);
    EXPECT_EQ(lines.back().flags & CLOSE, CLOSE);
  }
}

// A Database Description of two real LSA headers (those of ospf-ack.pcap):
// the Router-LSA header's body is read from the header behind it, its
// links until the LSA's length of 36 ends them; its group closes there.
TEST(Ospf, DatabaseDescriptionOfRealHeaders) {
  const Bytes headers = Hex("002e 22 01 01010101 01010101 80000002 62ba 0024"
                            "002b 22 03 01000000 01010101 80000001 c26b 001c");
  CorvaleHost h;
  h.Decode("IP-OSPF", Ospf(2, Cat({Hex("05dc 0042 00001234"), headers})));
  const auto lines = LinesFrom(h.Lines(0), "Link State Advertisement");
  ASSERT_EQ(lines.size(), 16u);
  EXPECT_EQ(lines[0].offset, 32);
  EXPECT_EQ(lines[0].length, 36);
  ExpectLines(std::vector<qvhost::FlatLine>(lines.begin() + 9, lines.end()),
              {{"Flags\t\t\t\t\t43", 52, 2, 0},  // the age of the second header
               {"Links\t\t\t\t\t8707", 54, 2, 0},
               {"Link ID\t\t\t\t1.0.0.0", 56, 4, 0},
               {"Link Data\t\t\t1.1.1.1", 60, 4, 0},
               {"Link Type\t\t\tUnknown", 64, 1, 0},
               {"Number of TOS\t\t0", 65, 1, 0},
               {"Metric\t\t\t\t1", 66, 2, CLOSE + 1}});
}

// Database Description and Acknowledgment packets show one LSA, whose body
// is read from the bytes behind its header; with none behind the fixed
// fields, no LSA at all.
TEST(Ospf, DatabaseDescriptionAndAcknowledgment) {
  const Bytes headers = Cat({LsaHeader(3, "0a010000", 28), LsaHeader(1, "0a000001", 36), LsaHeader(2, "0a000002", 32)});
  const Lines second = {
      {"Network Mask\t\t0.1.2.1", 0, 4, 0},        // age and options of the second header
      {"Metric\t\t\t\t167772161", 4, 4, CLOSE + 1},  // its link state id
  };
  auto at = [](Lines lines, int offset) {
    for (qvtest::Line& l : lines) l.offset += offset;
    return lines;
  };
  {
    CorvaleHost h;
    h.Decode("IP-OSPF", Ospf(2, Cat({Hex("05dc 0207 00001234"), headers})));
    EXPECT_EQ(h.Description(), "Database Description");
    ExpectLines(h.Lines(0), Join({{{"Open Shortest Path First Protocol", 0, 92, OPEN}},
                                  HeaderLines("Database Description", 92),
                                  {{"MTU\t\t\t\t\t\t1500", 24, 2, 0},
                                   {"Options\t\t\t\t\t519", 26, 2, 0},
                                   {"Sequence Number\t\t4660", 28, 4, 0}},
                                  LsaLines(32, 28, "IP Summary-LSA", "10.1.0.0", 28),
                                  at(second, 52)}));
  }
  {
    CorvaleHost h;
    h.Decode("IP-OSPF", Ospf(5, headers));
    EXPECT_EQ(h.Description(), "Link State Acknowledgment");
    ExpectLines(h.Lines(0), Join({{{"Open Shortest Path First Protocol", 0, 84, OPEN}},
                                  HeaderLines("Link State Acknowledgment", 84),
                                  LsaLines(24, 28, "IP Summary-LSA", "10.1.0.0", 28),
                                  at(second, 44)}));
  }
  for (BYTE type : {2, 5}) {
    CorvaleHost h;
    h.Decode("IP-OSPF", Ospf(type, type == 2 ? Hex("05dc 0207 00001234") : Bytes{}));
    const auto lines = h.Lines(0);
    EXPECT_TRUE(LinesStarting(lines, "Link State Advertisement").empty()) << (int)type;
    EXPECT_EQ(lines.back().flags, CLOSE) << (int)type;
  }
}

// Counts and lengths that claim more than the capture holds end where the
// captured bytes do: no line past them, and a count that ran out ends the
// walk, not the detail's lines before it.
TEST(Ospf, ClaimsBeyondTheCapture) {
  struct Case {
    const char* name;
    Bytes packet;
    size_t captured;
    const char* countedPrefix;
    size_t counted;
    const char* last;
    DWORD lastFlags;
  };
  const Bytes summary = Cat({LsaHeader(3, "0a010000", 0xFFFF), Hex("ffff0000 0000000a 02000005 02000006 02000007"),
                             Bytes(400, 0x11)});
  const Case cases[] = {
      // The entries end with the LSA's captured bytes: three, not thousands.
      {"summary LSA length 65535", Ospf(4, Cat({Be32(1), summary})), 24 + 4 + 40, "Type of Service", 3,
       "TOS Metric\t\t7", CLOSE + 2},
      // The metric ends at 28: with 26 bytes of the LSA it is not shown.
      {"summary LSA cut in its metric", Ospf(4, Cat({Be32(1), summary})), 24 + 4 + 26, "Metric", 0,
       "Network Mask\t\t255.255.0.0", 0},
      {"network LSA length 400", Ospf(4, Cat({Be32(1), LsaHeader(2, "0a000002", 400), Hex("ffffff00 01010101 01010102"),
                                              Bytes(376, 3)})),
       24 + 4 + 32, "Router ID\t\t\t1", 2, "Router ID\t\t\t1.1.1.2", CLOSE + 1},
      {"LSA count 2^32 - 1", Ospf(4, Cat({Be32(0xFFFFFFFF), Lsa(2, "0a000002", Hex("ffffff00"))})), 52,
       "Link State Advertisement", 1, "Network Mask", CLOSE + 1},
      // Counts that the LSA's own length or the packet's ends, the whole
      // packet captured: the groups close there, the title's too.
      {"router LSA with more links than bytes", Ospf(4, Cat({Be32(1), LsaHeader(1, "0a000001", 36),
                                                             Hex("0000 ffff 0a000000 ffffff00 03 00 000a")})),
       64, "Link ID", 1, "Metric", CLOSE + 1},
      {"router link with more entries than bytes", Ospf(4, Cat({Be32(1), LsaHeader(1, "0a000001", 44),
                                                                Hex("0000 0001 0a000000 ffffff00 03 ff 000a 08010014 09")})),
       69, "Type of Service", 2, "TOS\t\t\t\t9", CLOSE + 2},
      {"LSA header cut", Ospf(4, Cat({Be32(1), LsaHeader(2, "0a000002", 24)})), 24 + 4 + 13, "Link State Advertisement", 1,
       "Router", 0},
      {"header cut in the authentication", Ospf(3, {}), 20, "Authentication Info", 0, "Authentication Type", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes packet = c.packet;
    packet.resize(c.captured);
    CorvaleHost h;
    h.Decode("IP-OSPF", packet, qvhost::RUN_ALL, (int)c.packet.size());
    const auto lines = h.Lines(0);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(LinesStarting(lines, c.countedPrefix).size(), c.counted);
    EXPECT_EQ(lines.back().text.rfind(c.last, 0), 0u) << lines.back().text;
    EXPECT_EQ(lines.back().flags, c.lastFlags) << lines.back().text;
    for (const auto& l : lines) EXPECT_LE(l.offset + l.length, (int)c.captured) << l.text;
  }
}

// The summary's type byte is read only when captured.
TEST(Ospf, SummaryOfACutPacket) {
  CorvaleHost h;
  h.Decode("IP-OSPF", Hex("02"));
  EXPECT_EQ(h.Protocol(), "OSPF");
  EXPECT_EQ(h.Description(), "");
  h.Decode("IP-OSPF", {});
  EXPECT_EQ(h.Description(), "");
  EXPECT_TRUE(h.Lines().empty());
  h.Decode("IP-OSPF", Hex("02 01"));
  EXPECT_EQ(h.Description(), "Hello");
  ExpectLines(h.Lines(0), {{"Open Shortest Path First Protocol", 0, 2, OPEN},
                           {"Version\t\t\t\t\t2", 0, 1, 0},
                           {"Type\t\t\t\t\t\tHello", 1, 1, 0}});
}

TEST(Ospf, BoundedAndLineFailures) {
  const Bytes packets[] = {
      Ospf(1, kHello),
      Ospf(4, Cat({Be32(3), Lsa(1, "0a000001", Hex("0100 0002 0a000000 ffffff00 03 01 000a 08010014"
                                                   "0a000009 0a000001 04 00 0005")),
                   Lsa(3, "0a010000", Hex("ffff0000 0000000a 02000005")),
                   Lsa(5, "00000000", Hex("00000000 80000014 00000000 00000000 00000001"))})),
      Ospf(2, Cat({Hex("05dc 0207 00001234"), LsaHeader(4, "0b000001", 28), LsaHeader(2, "0a000002", 24)})),
  };
  for (const Bytes& packet : packets) {
    CorvaleHost h;
    qvtest::ExpectBoundedAtEveryCut(h, "IP-OSPF", packet, {.linesWithinCapture = true});
    qvtest::ExpectLineFailuresHandled(h, "IP-OSPF", packet);
  }
}

}  // namespace
}  // namespace corvaletest
