// Q.931: where the message lies (alone, behind a TPKT header, a data
// fragment), its header lines, the element walk and its decoders, and every
// bound of the walk.
#include "selkirt_host.h"

namespace selkirttest {
namespace {

const char kTitle[] = "Q.931 Connection Control Protocol";

// A Setup with an element of every kind the walk tells apart, ending with
// a single-octet element in its last byte.
const Bytes kSetup = Hex(
    "08 02 0001 05"
    "04 03 80 90 a2"          // Bearer Capability: speech, circuit mode, 64 kbit/s, one more octet
    "a1"                      // Sending Complete
    "28 05 41 6c 69 01 65"    // Display "Ali\x01e"
    "6c 03 00 81 31"          // Calling Party Number
    "7e 0003 05 aa bb"        // User-User, 16-bit length 3, discriminator 5
    "70 02 81 32"             // Called Party Number
    "a0");                    // More Data

Lines SetupLines(int at) {
  return {
      {kTitle, at, 34, OPEN},
      {"Discriminator\t\t\t8", at, 1, 0},
      {"Ref Data Length\t\t2", at + 1, 1, 0},
      {"Reference Data\t\t\t00 01 ", at + 2, 2, 0},
      {"Message Type\t\t\tSetup", at + 4, 1, 0},
      {"Information Element", at + 5, 5, OPEN},
      {"Element Type\t\tBearer Capability", at + 5, 1, 0},
      {"Element Length\t\t3", at + 6, 1, 0},
      {"Coding Standard\tITU-T standardized coding", at + 7, 1, 0},
      {"Info Xfer Cap\t\tSpeech", at + 7, 1, 0},
      {"Xfer Mode\t\t\tCircuit Mode", at + 8, 1, 0},
      {"Xfer Rate\t\t\t64 kbit/s", at + 8, 1, CLOSE},
      {"Information Element", at + 10, 1, OPEN},
      {"Element Type\t\tSending Complete", at + 10, 1, CLOSE},
      {"Information Element", at + 11, 7, OPEN},
      {"Element Type\t\tDisplay", at + 11, 1, 0},
      {"Element Length\t\t5", at + 12, 1, 0},
      {"Value\t\t\t\t\tAli.e", at + 13, 5, CLOSE},
      {"Information Element", at + 18, 5, OPEN},
      {"Element Type\t\tCalling Party Number", at + 18, 1, 0},
      {"Element Length\t\t3", at + 19, 1, CLOSE},
      // User-User spans its 16-bit length and three bytes, and the walk
      // goes on right behind it.
      {"Information Element", at + 23, 6, OPEN},
      {"Element Type\t\tUser-User", at + 23, 1, 0},
      {"Element Length\t\t3", at + 24, 2, 0},
      {"Discriminator\t\tX.208 and X.209 Coded", at + 26, 1, CLOSE},
      {"Information Element", at + 29, 4, OPEN},
      {"Element Type\t\tCalled PartyNumber", at + 29, 1, 0},
      {"Element Length\t\t2", at + 30, 1, CLOSE},
      // The last byte is listed too, and closes the message.
      {"Information Element", at + 33, 1, OPEN},
      {"Element Type\t\tMore Data", at + 33, 1, CLOSE + 1},
  };
}

TEST(Q931, MessageWithoutTpkt) {
  SelkirtHost h;
  h.Decode("ITU-Q931", kSetup);
  EXPECT_EQ(h.Protocol(), "Q.931");
  EXPECT_EQ(h.Description(), "Setup");
  EXPECT_EQ(h.Frames("Q.931"), 1u);
  EXPECT_EQ(h.Bytes64("Q.931"), kSetup.size());
  EXPECT_TRUE(h.Lines(0).empty()) << "the protocol's own slot";
  ExpectLines(h.Lines(1), SetupLines(0));
  EXPECT_TRUE(h.Lines(2).empty());
}

// Two TPKTs in one segment: the first message ends with its TPKT length,
// and the second TPKT is never read as its elements.
TEST(Q931, TpktHeaderListAndMessageList) {
  SelkirtHost h;
  const Bytes first = Hex("03 00 000d 08 02 8001 5a 08 02 8090");
  const Bytes second = Hex("03 00 0009 08 02 0001 07");
  h.Decode("ITU-Q931", Cat({first, second}));
  EXPECT_EQ(h.Description(), "Release Complete");
  EXPECT_EQ(h.Bytes64("Q.931"), first.size() + second.size());
  EXPECT_TRUE(h.Lines(0).empty());
  ExpectLines(h.Lines(1), {{"TPKT", 0, 4, OPEN},
                           {"Version\t\t\t\t\t3", 0, 1, 0},
                           {"Reserved\t\t\t\t\t0", 1, 1, 0},
                           {"Length\t\t\t\t\t13", 2, 2, CLOSE}});
  ExpectLines(h.Lines(2), {{kTitle, 4, 9, OPEN},
                           {"Discriminator\t\t\t8", 4, 1, 0},
                           {"Ref Data Length\t\t2", 5, 1, 0},
                           {"Reference Data\t\t\t80 01 ", 6, 2, 0},
                           {"Message Type\t\t\tRelease Complete", 8, 1, 0},
                           {"Information Element", 9, 4, OPEN},
                           {"Element Type\t\tCause", 9, 1, 0},
                           {"Element Length\t\t2", 10, 1, CLOSE + 1}});
  EXPECT_TRUE(h.Lines(3).empty());

  // The whole Setup behind a TPKT header reads as it does alone.
  h.Decode("ITU-Q931", Cat({Hex("03 00 0026"), kSetup}));
  EXPECT_EQ(h.Description(), "Setup");
  ExpectLines(h.Lines(2), SetupLines(4));
}

// A TPKT length that lies short hides nothing: without a second TPKT behind
// it, the message runs to the end of the capture.
TEST(Q931, TpktLengthThatLiesShort) {
  struct Case {
    const char* name;
    WORD length;
  };
  const Case cases[] = {{"0", 0}, {"only the TPKT header", 4}, {"6", 6}, {"into the elements", 0x10},
                        {"behind the message", 0x40}};
  SelkirtHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    h.Decode("ITU-Q931", Cat({{3, 0, (BYTE)(c.length >> 8), (BYTE)c.length}, kSetup}));
    EXPECT_EQ(h.Description(), "Setup");
    EXPECT_EQ(h.Lines(1).back().text, "Length\t\t\t\t\t" + std::to_string(c.length));
    ExpectLines(h.Lines(2), SetupLines(4));
  }
  // Where a second TPKT follows at the place the length gives, the message
  // ends there, also when only the second header's version byte is captured.
  for (const Bytes& behind : {Hex("03 00 0009 08 02 0001 07"), Hex("03")}) {
    h.Decode("ITU-Q931", Cat({Hex("03 00 0009 08 02 8001 5a"), behind}));
    const auto lines = h.Lines(2);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].length, 5);
    EXPECT_EQ(lines[4].text, "Message Type\t\t\tRelease Complete");
  }
}

TEST(Q931, DataFragmentsAndBareTpkt) {
  struct Case {
    const char* name;
    Bytes frame;
    const char* description;
  };
  const Case cases[] = {
      {"TPKT with its reserved byte set", Hex("03 01 0009 08 02 0001 07"), "Data Fragment"},
      {"TPKT not followed by the discriminator", Hex("03 00 0009 09 02 0001 07"), "Data Fragment"},
      {"neither TPKT nor message", Hex("41 42 43 44 45 46"), "Data Fragment"},
  };
  SelkirtHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    h.Decode("ITU-Q931", c.frame);
    EXPECT_EQ(h.Description(), c.description);
    const int n = (int)c.frame.size();
    ExpectLines(h.Lines(1), {{kTitle, 0, n, OPEN}, {"Data Fragment", 0, n, CLOSE}});
    EXPECT_TRUE(h.Lines(2).empty());
  }

  // A TPKT header alone: its list, and no message.
  h.Decode("ITU-Q931", Hex("03 00 0004"));
  EXPECT_EQ(h.Description(), "TPKT");
  ExpectLines(h.Lines(1), {{"TPKT", 0, 4, OPEN},
                           {"Version\t\t\t\t\t3", 0, 1, 0},
                           {"Reserved\t\t\t\t\t0", 1, 1, 0},
                           {"Length\t\t\t\t\t4", 2, 2, CLOSE}});
  EXPECT_TRUE(h.Lines(2).empty());
}

// Header fields and the message type names.
TEST(Q931, HeaderAndMessageTypes) {
  struct Case {
    BYTE type;
    const char* name;
  };
  const Case cases[] = {{0x01, "Alerting"}, {0x24, "HOLD"},  {0x5A, "Release Complete"},
                        {0x7D, "Status"},   {0x04, "Unknown"}, {0xFF, "Unknown"}};
  SelkirtHost h;
  for (const Case& c : cases) {
    h.Decode("ITU-Q931", {8, 0, c.type});
    EXPECT_EQ(h.Description(), c.name);
    ExpectLines(h.Lines(1), {{kTitle, 0, 3, OPEN},
                             {"Discriminator\t\t\t8", 0, 1, 0},
                             {"Ref Data Length\t\t0", 1, 1, 0},
                             {"Reference Data\t\t\t", 2, 0, 0},
                             {std::string("Message Type\t\t\t") + c.name, 2, 1, CLOSE}});
  }
  // A call reference of 20 bytes shows its first 15.
  Bytes frame = {8, 20};
  for (BYTE i = 0; i < 20; i++) frame.push_back(0xA0 + i);
  frame.push_back(0x7B);
  h.Decode("ITU-Q931", frame);
  EXPECT_EQ(h.Description(), "Information");
  const auto lines = h.Lines(1);
  ASSERT_EQ(lines.size(), 5u);
  ExpectLines({lines[3], lines[4]},
              {{"Reference Data\t\t\ta0 a1 a2 a3 a4 a5 a6 a7 a8 a9 aa ab ac ad ae ", 2, 20, 0},
               {"Message Type\t\t\tInformation", 22, 1, CLOSE}});
}

// The elements behind "08 00 05", from offset 3: their lines from the first
// "Information Element" on. kMore stands for the element that follows when
// the list goes on.
const Bytes kMore = Hex("a1");
const Lines kMoreLines = {{"Information Element", 0, 1, OPEN}, {"Element Type\t\tSending Complete", 0, 1, CLOSE}};

struct ElementCase {
  const char* name;
  Bytes elements;
  Lines lines;  // offsets from the first element; kMoreLines follow when goesOn
  bool goesOn;  // the list reaches kMore and ends normally
};

void ExpectElements(SelkirtHost& h, const ElementCase& c) {
  SCOPED_TRACE(c.name);
  const Bytes elements = c.goesOn ? Cat({c.elements, kMore}) : c.elements;
  h.Decode("ITU-Q931", Cat({Hex("08 00 05"), elements}));
  Lines want = c.lines;
  if (c.goesOn) {
    for (Line l : kMoreLines) {
      l.offset += (int)c.elements.size();
      want.push_back(l);
    }
    want.back().flags += 1;  // the message's close
  }
  for (Line& l : want) l.offset += 3;
  auto got = h.Lines(1);
  ASSERT_GE(got.size(), 5u);
  EXPECT_EQ(got[4].text, "Message Type\t\t\tSetup");
  ExpectLines(std::vector<qvhost::FlatLine>(got.begin() + 5, got.end()), want);
}

TEST(Q931, BearerCapability) {
  const ElementCase cases[] = {
      {"multi-rate with its multiplier; octets beyond not shown",
       Hex("04 04 88 18 06 ff"),
       {{"Information Element", 0, 6, OPEN},
        {"Element Type\t\tBearer Capability", 0, 1, 0},
        {"Element Length\t\t4", 1, 1, 0},
        {"Coding Standard\tITU-T standardized coding", 2, 1, 0},
        {"Info Xfer Cap\t\tUnrestricted digital information", 2, 1, 0},
        {"Xfer Mode\t\t\tCircuit Mode", 3, 1, 0},
        {"Xfer Rate\t\t\tMuiti-Rate", 3, 1, 0},
        {"Multiplier\t\t6", 4, 1, CLOSE}},
       true},
      // Two octets are a whole bearer capability: the list goes on.
      {"two octets",
       Hex("04 02 f1 57"),
       {{"Information Element", 0, 4, OPEN},
        {"Element Type\t\tBearer Capability", 0, 1, 0},
        {"Element Length\t\t2", 1, 1, 0},
        {"Coding Standard\tNetwork standard", 2, 1, 0},
        {"Info Xfer Cap\t\tUnrestricted digital information with tones/announcements", 2, 1, 0},
        {"Xfer Mode\t\t\tPacket Mode", 3, 1, 0},
        {"Xfer Rate\t\t\t1920 kbit/s", 3, 1, CLOSE}},
       true},
      {"multi-rate in two octets: no multiplier",
       Hex("04 02 b8 58"),
       {{"Information Element", 0, 4, OPEN},
        {"Element Type\t\tBearer Capability", 0, 1, 0},
        {"Element Length\t\t2", 1, 1, 0},
        {"Coding Standard\tISO/IEC standard", 2, 1, 0},
        {"Info Xfer Cap\t\tVideo", 2, 1, 0},
        {"Xfer Mode\t\t\tPacket Mode", 3, 1, 0},
        {"Xfer Rate\t\t\tMuiti-Rate", 3, 1, CLOSE}},
       true},
      {"one octet",
       Hex("04 01 d0"),
       {{"Information Element", 0, 3, OPEN},
        {"Element Type\t\tBearer Capability", 0, 1, 0},
        {"Element Length\t\t1", 1, 1, 0},
        {"Coding Standard\tNational standard", 2, 1, 0},
        {"Info Xfer Cap\t\t3.1 kHz audio", 2, 1, CLOSE}},
       true},
      {"no content",
       Hex("04 00"),
       {{"Information Element", 0, 2, OPEN},
        {"Element Type\t\tBearer Capability", 0, 1, 0},
        {"Element Length\t\t0", 1, 1, CLOSE}},
       true},
      {"reserved values",
       Hex("04 02 07 3e"),
       {{"Information Element", 0, 4, OPEN},
        {"Element Type\t\tBearer Capability", 0, 1, 0},
        {"Element Length\t\t2", 1, 1, 0},
        {"Coding Standard\tITU-T standardized coding", 2, 1, 0},
        {"Info Xfer Cap\t\tReserved", 2, 1, 0},
        {"Xfer Mode\t\t\tReserved", 3, 1, 0},
        {"Xfer Rate\t\t\tReserved", 3, 1, CLOSE}},
       true},
      // Octet 4 lies past the message: the decoder runs out of bytes and
      // the list ends with its groups open.
      {"octets past the message",
       Hex("04 03 89"),
       {{"Information Element", 0, 3, OPEN},
        {"Element Type\t\tBearer Capability", 0, 1, 0},
        {"Element Length\t\t3", 1, 1, 0},
        {"Coding Standard\tITU-T standardized coding", 2, 1, 0},
        {"Info Xfer Cap\t\tRestricted digital information", 2, 1, 0}},
       false},
  };
  SelkirtHost h;
  for (const ElementCase& c : cases) ExpectElements(h, c);
}

TEST(Q931, DisplayAndUserUser) {
  Bytes display70 = {0x28, 70};
  for (int i = 0; i < 70; i++) display70.push_back(i == 3 ? 0x7F : (BYTE)('a' + i % 26));
  std::string text70;
  for (int i = 0; i < 64; i++) text70 += i == 3 ? '.' : (char)('a' + i % 26);
  const ElementCase cases[] = {
      {"Display of 70 bytes: 64 shown, then \"...\"",
       display70,
       {{"Information Element", 0, 72, OPEN},
        {"Element Type\t\tDisplay", 0, 1, 0},
        {"Element Length\t\t70", 1, 1, 0},
        {"Value\t\t\t\t\t" + text70 + "...", 2, 70, CLOSE}},
       true},
      {"Display of 64 bytes, none above 0x7E or below 0x20 kept",
       Cat({{0x28, 64}, Bytes(62, 'x'), {0x1F, 0x80}}),
       {{"Information Element", 0, 66, OPEN},
        {"Element Type\t\tDisplay", 0, 1, 0},
        {"Element Length\t\t64", 1, 1, 0},
        {"Value\t\t\t\t\t" + std::string(62, 'x') + "..", 2, 64, CLOSE}},
       true},
      {"empty Display",
       Hex("28 00"),
       {{"Information Element", 0, 2, OPEN},
        {"Element Type\t\tDisplay", 0, 1, 0},
        {"Element Length\t\t0", 1, 1, 0},
        {"Value\t\t\t\t\t", 2, 0, CLOSE}},
       true},
      {"User-User of length 0 has no discriminator",
       Hex("7e 0000"),
       {{"Information Element", 0, 3, OPEN},
        {"Element Type\t\tUser-User", 0, 1, 0},
        {"Element Length\t\t0", 1, 2, CLOSE}},
       true},
      {"User-User with a reserved discriminator",
       Hex("7e 0001 06"),
       {{"Information Element", 0, 4, OPEN},
        {"Element Type\t\tUser-User", 0, 1, 0},
        {"Element Length\t\t1", 1, 2, 0},
        {"Discriminator\t\tReserved", 3, 1, CLOSE}},
       true},
      // Fewer than four bytes left: no line for it, the list ends.
      {"User-User at the message's end", Hex("7e 00 10"), {}, false},
      {"Display of 200 bytes in a message of 10",
       Hex("28 c8 41 42 43 44 45 46 47 48"),
       {{"Information Element", 0, 10, OPEN},
        {"Element Type\t\tDisplay", 0, 1, 0},
        {"Element Length\t\t200", 1, 1, 0},
        {"Value\t\t\t\t\tABCDEFGH...", 2, 8, CLOSE + 1}},
       false},
  };
  SelkirtHost h;
  for (const ElementCase& c : cases) ExpectElements(h, c);
}

TEST(Q931, ElementWalk) {
  const ElementCase cases[] = {
      // Unknown twice, and the list ends behind it (and closes).
      {"unknown variable-length identifier",
       Hex("01 01 00 a1"),
       {{"Information Element", 0, 3, OPEN}, {"Element Type\t\tUnknownUnknown", 0, 1, CLOSE + 1}},
       false},
      // Unknown once, and the list goes on.
      {"unknown single-octet element",
       Hex("90"),
       {{"Information Element", 0, 1, OPEN}, {"Element Type\t\tUnknown", 0, 1, CLOSE}},
       true},
      {"every single-octet name",
       Hex("a0 b0 d0"),
       {{"Information Element", 0, 1, OPEN},
        {"Element Type\t\tMore Data", 0, 1, CLOSE},
        {"Information Element", 1, 1, OPEN},
        {"Element Type\t\tCongestion Level", 1, 1, CLOSE},
        {"Information Element", 2, 1, OPEN},
        {"Element Type\t\tRepeat Indicator", 2, 1, CLOSE}},
       true},
      {"names without a decoder of their own",
       Hex("00 00 7f 00 4c 00"),
       {{"Information Element", 0, 2, OPEN},
        {"Element Type\t\tSegmented Message", 0, 1, 0},
        {"Element Length\t\t0", 1, 1, CLOSE},
        {"Information Element", 2, 2, OPEN},
        {"Element Type\t\tEscape For Extension", 2, 1, 0},
        {"Element Length\t\t0", 3, 1, CLOSE},
        {"Information Element", 4, 2, OPEN},
        {"Element Type\t\tConnected Party Number", 4, 1, 0},
        {"Element Length\t\t0", 5, 1, CLOSE}},
       true},
      // A length past the message: the group covers what the message holds.
      {"length past the message",
       Hex("6c 09 31"),
       {{"Information Element", 0, 3, OPEN},
        {"Element Type\t\tCalling Party Number", 0, 1, 0},
        {"Element Length\t\t9", 1, 1, CLOSE + 1}},
       false},
      // An identifier without its length byte is not an element.
      {"identifier in the last byte", Hex("a1 6c"),
       {{"Information Element", 0, 1, OPEN}, {"Element Type\t\tSending Complete", 0, 1, CLOSE}}, false},
  };
  SelkirtHost h;
  for (const ElementCase& c : cases) ExpectElements(h, c);
}

// Cut captures stop at the first field that is not there; the summary
// names only what it could read.
TEST(Q931, CutCaptures) {
  const Bytes frame = Cat({Hex("03 00 0026"), kSetup});
  SelkirtHost h;
  struct Case {
    size_t captured;
    const char* description;
    size_t tpktLines;
    size_t messageLines;
  };
  const Case cases[] = {
      {0, "", 0, 0}, {1, "", 2, 0}, {2, "", 3, 0}, {4, "", 4, 0}, {5, "", 4, 2},
      {6, "", 4, 3}, {7, "", 4, 3}, {8, "", 4, 4}, {9, "Setup", 4, 5}, {12, "Setup", 4, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.captured);
    h.Decode("ITU-Q931", Bytes(frame.begin(), frame.begin() + (ptrdiff_t)c.captured), qvhost::RUN_ALL,
             (int)frame.size());
    // Nothing captured: the title alone, over no bytes, its group closed.
    if (c.captured == 0) {
      ExpectLines(h.Lines(1), {{kTitle, 0, 0, OPEN | CLOSE}});
    }
    EXPECT_EQ(h.Protocol(), "Q.931");
    EXPECT_EQ(h.Description(), c.description);
    EXPECT_EQ(h.Lines(1).size(), c.captured == 0 ? 1 : c.tpktLines);
    EXPECT_EQ(h.Lines(2).size(), c.messageLines);
    for (const auto& l : h.Lines()) EXPECT_LE(l.offset + l.length, (int)c.captured) << l.text;
  }
  // The message's title covers what is captured of it and stays open.
  h.Decode("ITU-Q931", Bytes(frame.begin(), frame.begin() + 6), qvhost::RUN_ALL, (int)frame.size());
  ExpectLines(h.Lines(2), {{kTitle, 4, 2, OPEN}, {"Discriminator\t\t\t8", 4, 1, 0}, {"Ref Data Length\t\t2", 5, 1, 0}});
}

TEST(Q931, BoundedAndLineFailures) {
  SelkirtHost h;
  const Bytes frames[] = {
      kSetup,
      Cat({Hex("03 00 0026"), kSetup}),
      Hex("03 00 000d 08 02 8001 5a 08 02 8090 03 00 0009 08 02 0001 07"),
      Hex("03 01 0009 08 02 0001 07"),
      Hex("08 00 05 04 04 88 18 06 ff 01 01 00"),
  };
  for (const Bytes& frame : frames) {
    qvtest::ExpectBoundedAtEveryCut(h, "ITU-Q931", frame, {.linesWithinCapture = true});
    qvtest::ExpectLineFailuresHandled(h, "ITU-Q931", frame);
  }
}

// Through IP and UDP or TCP on each of its ports: the TPKT list and the
// message land in the two slots after the protocol's own.
TEST(Q931, OverUdpAndTcp) {
  IpHost h;
  if (!h.Has("DOD-IP")) GTEST_SKIP() << "the IP suite is not built in this tree";
  const Bytes message = Cat({Hex("03 00 0026"), kSetup});
  for (WORD port : {1720, 11720}) {
    for (bool tcp : {false, true}) {
      SCOPED_TRACE(std::to_string(port) + (tcp ? " TCP" : " UDP"));
      h.Decode("DOD-IP", tcp ? Ip(6, Tcp(40000, port, 0x18, {}, message)) : Ip(17, Udp(40000, port, message)));
      const int at = tcp ? 40 : 28;
      EXPECT_EQ(h.Protocol(), "Q.931");
      EXPECT_EQ(h.Description(), "Setup");
      EXPECT_TRUE(h.Lines(2).empty());
      ASSERT_EQ(h.Lines(3).size(), 4u);
      EXPECT_EQ(h.Lines(3)[0].offset, at);
      ExpectLines(h.Lines(4), SetupLines(at + 4));
    }
  }
}

}  // namespace
}  // namespace selkirttest
