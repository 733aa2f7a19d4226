// Management bodies: fixed fields, capability pictures, reason and status
// texts, and the information elements with every bound of their walk.
#include "aerlith_host.h"

namespace aerlithtest {
namespace {

// The body's lines: those after the sequence line.
std::vector<qvhost::FlatLine> Body(const AerlithHost& h) {
  const auto lines = h.Lines();
  for (size_t i = 0; i < lines.size(); i++)
    if (lines[i].text.rfind("Sequence\t", 0) == 0) return {lines.begin() + (ptrdiff_t)i + 1, lines.end()};
  return {};
}

// The body of a frame of this control byte from the station to the access
// point, the title's close taken off its last line.
std::vector<qvhost::FlatLine> BodyOf(BYTE control, const Bytes& body, size_t captured = 0) {
  AerlithHost h;
  Bytes frame = Build({.control = control, .body = body});
  if (captured) frame.resize(captured);
  h.Decode(frame, qvhost::RUN_DETAIL);
  auto lines = Body(h);
  if (!lines.empty()) {
    DWORD& f = lines.back().flags;
    f = (f & DETAIL_EXTRA_CLOSES) ? f - 1 : f & ~CLOSE;
  }
  return lines;
}

Lines Capability(int at, const char* bits, const char* reserved) {
  const char* const labels[] = {"Channel Agility\t[", "PBCC\t\t\t\t\t[", "Short Preamble\t\t[", "Privacy\t\t\t\t[",
                                "CF Poll Request\t[", "CF Pollable\t\t\t[", "IBSS\t\t\t\t\t[",   "ESS\t\t\t\t\t["};
  Lines lines = {{"Capability Information", at, 2, OPEN}};
  for (int i = 0; i < 8; i++) {
    std::string picture(8, 'x');
    picture[i] = bits[i];
    lines.push_back({labels[i] + picture + " xxxxxxxx]\t" + (bits[i] == '1' ? "On" : "Off"), at, 2, 0});
  }
  lines.push_back({std::string("Reserved\t\t\t\t[xxxxxxxx ") + reserved, at, 2, CLOSE});
  return lines;
}

Lines ElementHead(int at, int length, const std::string& identity, int declared) {
  return {{"Information Element", at, length, OPEN},
          {"Identity\t\t\t\t" + identity, at, 1, 0},
          {"Length\t\t\t\t" + std::to_string(declared), at + 1, 1, 0}};
}
// An element that shows no field.
Lines ElementOnly(int at, int length, const std::string& identity, int declared) {
  Lines lines = ElementHead(at, length, identity, declared);
  lines.back().flags = CLOSE;
  return lines;
}

TEST(Bodies, BeaconWhole) {
  AerlithHost h;
  h.Decode(Beacon(Cat({Element(0, "home"), Element(1, Hex("82848b96")), Element(3, Hex("06")),
                       Element(5, Hex("00010000")), Element(7, Hex("444520 010d14"))}),
                  0x80, 0x0431));
  ExpectLines(Body(h), Join({
                           {{"Time Stamp\t\t\t\t578437695752307201", 24, 8, 0}, {"Beacon Interval\t\t100", 32, 2, 0}},
                           Capability(34, "00110001", "00000100]\t4"),
                           ElementHead(36, 6, "SSID", 4),
                           {{"SSID\t\t\t\t\thome", 38, 4, CLOSE}},
                           ElementHead(42, 6, "Supported Rates", 4),
                           {{"Rate\t\t\t\t\t1.0 MB\t[1xxxxxxx]\tIn Basic Rate Set", 44, 1, 0},
                            {"Rate\t\t\t\t\t2.0 MB\t[1xxxxxxx]\tIn Basic Rate Set", 45, 1, 0},
                            {"Rate\t\t\t\t\t5.5 MB\t[1xxxxxxx]\tIn Basic Rate Set", 46, 1, 0},
                            {"Rate\t\t\t\t\t11.0 MB\t[1xxxxxxx]\tIn Basic Rate Set", 47, 1, CLOSE}},
                           ElementHead(48, 3, "DS Parameter Set", 1),
                           {{"Current Channel\t6", 50, 1, CLOSE}},
                           ElementHead(51, 6, "TIM", 4),
                           {{"DTIM Count\t\t\t0", 53, 1, 0},
                            {"DTIM Period\t\t\t1", 54, 1, 0},
                            {"Bitmap Control\t\t0", 55, 1, CLOSE}},
                           ElementHead(57, 8, "Country", 6),
                           {{"Country String\t\tDE ", 59, 3, 0},
                            {"Channel Group", 62, 3, OPEN},
                            {"First\t\t\t\t1", 62, 1, 0},
                            {"Number\t\t\t13", 63, 1, 0},
                            {"Transmit Power\t20 dBm", 64, 1, CLOSE + 2}},  // the group, the element, the title
                       }));
}

// Each element kind through a probe request (elements from byte 24, at most
// two), offsets from the element's start.
TEST(Bodies, ElementFields) {
  const std::string ssid40 = "The quick brown fox jumps over a lazy do";
  const struct {
    const char* name;
    Bytes elements;
    Lines lines;  // offsets from byte 24
  } cases[] = {
      {"FH parameter set",
       Element(2, Hex("1000010203")),
       Join({ElementHead(0, 7, "FH Parameter Set", 5),
             {{"Dwell Time\t\t\t16", 2, 2, 0}, {"Hop Set\t\t\t1", 4, 1, 0}, {"Hop Pattern\t\t\t2", 5, 1, 0},
              {"Hop Index\t\t\t3", 6, 1, CLOSE}}})},
      {"FH parameter set shorter than its fields",
       Element(2, Hex("100001")),
       Join({ElementHead(0, 5, "FH Parameter Set", 3), {{"Dwell Time\t\t\t16", 2, 2, 0}, {"Hop Set\t\t\t1", 4, 1, CLOSE}}})},
      {"DS parameter set of length 0 shows no channel",
       Cat({Element(3, Bytes{}), Element(1, Hex("0b"))}),
       Join({ElementOnly(0, 2, "DS Parameter Set", 0),
             ElementHead(2, 3, "Supported Rates", 1),
             {{"Rate\t\t\t\t\t5.5 MB\t[0xxxxxxx]\tNot in Basic Rate Set", 4, 1, CLOSE}}})},
      {"CF parameter set",
       Element(4, Hex("0102 0300 0400")),
       Join({ElementHead(0, 8, "CF Parameter Set", 6),
             {{"CFP Count\t\t1", 2, 1, 0}, {"CFP Period\t\t2", 3, 1, 0}, {"Max Duration\t\t3", 4, 2, 0},
              {"Duration Remainng\t\t4", 6, 2, CLOSE}}})},
      {"IBSS parameter set", Element(6, Hex("0a00")),
       Join({ElementHead(0, 4, "IBSS Parameter Set", 2), {{"ATIM Window\t\t\t10", 2, 2, CLOSE}}})},
      {"hopping pattern parameters", Element(8, Hex("0102")),
       Join({ElementHead(0, 4, "Hopping Pattern Parameters", 2),
             {{"Radix\t\t\t\t1", 2, 1, 0}, {"Number Chans\t\t2", 3, 1, CLOSE}}})},
      {"hopping pattern table", Element(9, Hex("01020304")),
       Join({ElementHead(0, 6, "Hopping Pattern Table", 4),
             {{"Flag\t\t\t\t1", 2, 1, 0}, {"Sets\t\t\t\t2", 3, 1, 0}, {"Modulus\t\t\t\t3", 4, 1, 0},
              {"Offset\t\t\t\t4", 5, 1, CLOSE}}})},
      {"challenge text", Element(16, Hex("aabbcc")),
       ElementOnly(0, 5, "Challenge Text", 3)},
      {"unknown identity", Element(221, Hex("0050f2")),
       ElementOnly(0, 5, "Unknown", 3)},
      {"country of length 2 has its characters", Element(7, "US"),
       Join({ElementHead(0, 4, "Country", 2), {{"Country String\t\tUS", 2, 2, CLOSE}}})},
      {"country of length 0", Element(7, ""),
       Join({ElementHead(0, 2, "Country", 0), {{"Country String\t\t", 2, 0, CLOSE}}})},
      {"empty SSID", Element(0, ""), Join({ElementHead(0, 2, "SSID", 0), {{"SSID\t\t\t\t\t", 2, 0, CLOSE}}})},
      {"SSID of 40 printable characters", Element(0, ssid40),
       Join({ElementHead(0, 42, "SSID", 40), {{"SSID\t\t\t\t\t" + ssid40, 2, 40, CLOSE}}})},
      {"unprintable SSID bytes", Element(0, Hex("41 07 20 7e 7f 80 ff 09 42")),
       Join({ElementHead(0, 11, "SSID", 9), {{"SSID\t\t\t\t\tA. ~....B", 2, 9, CLOSE}}})},
      {"the SSID line keeps the line bound", Element(0, std::string(255, 'y')),
       Join({ElementHead(0, 257, "SSID", 255), {{"SSID\t\t\t\t\t" + std::string(118, 'y'), 2, 255, CLOSE}}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Lines want = c.lines;
    for (Line& l : want) l.offset += 24;
    ExpectLines(BodyOf(0x40, c.elements), want);
  }
}

TEST(Bodies, RequestAndCountryLists) {
  Bytes ids;
  for (int i = 0; i < 20; i++) ids.push_back((BYTE)(i + 1));
  auto lines = BodyOf(0x40, Element(10, ids));
  EXPECT_EQ(qvtest::LinesStarting(lines, "ID\t\t\t\t").size(), 16u);
  EXPECT_EQ(lines.back().text, "ID\t\t\t\t16");
  EXPECT_EQ(lines.back().offset, 24 + 2 + 15);

  Bytes country = {'D', 'E', ' '};
  for (int i = 0; i < 19; i++) country.insert(country.end(), {(BYTE)i, 1, 20});
  lines = BodyOf(0x40, Element(7, country));
  EXPECT_EQ(qvtest::LinesStarting(lines, "Channel Group").size(), 16u);
  EXPECT_EQ(lines.back().offset, 24 + 5 + 3 * 15 + 2);
}

// The walk stops at the frame kind's element bound, at an element whose
// header is not captured, and never reads an element past its capture.
TEST(Bodies, ElementWalkBounds) {
  const Bytes seven = Cat({Element(3, Hex("01")), Element(3, Hex("02")), Element(3, Hex("03")), Element(3, Hex("04")),
                           Element(3, Hex("05")), Element(3, Hex("06")), Element(3, Hex("07"))});
  {
    // Gone before BodyOf's hosts load the library again: a loaded library
    // serves the host that started it last.
    AerlithHost h;
    const struct {
      const char* name;
      Bytes frame;
      size_t shown;
    } kinds[] = {
        {"probe response", Beacon(seven, 0x50), 6},
        {"beacon", Beacon(seven, 0x80), 6},
        {"probe request", Build({.control = 0x40, .body = seven}), 2},
    };
    for (const auto& k : kinds) {
      h.Decode(k.frame);
      EXPECT_EQ(qvtest::LinesStarting(h.Lines(), "Current Channel").size(), k.shown) << k.name;
    }
  }

  const struct {
    const char* name;
    Bytes elements;
    size_t cut;  // captured bytes of the elements; 0: all
    Lines lines;  // offsets from byte 24
  } cases[] = {
      {"SSID cut by the capture", Element(0, "homestead"), 6,
       Join({ElementHead(0, 6, "SSID", 9), {{"SSID\t\t\t\t\thome", 2, 4, CLOSE}}})},
      {"SSID past the frame's end", Hex("000a686f6d65"), 0,
       Join({ElementHead(0, 6, "SSID", 10), {{"SSID\t\t\t\t\thome", 2, 4, CLOSE}}})},
      {"no SSID byte captured", Element(0, "home"), 2, ElementOnly(0, 2, "SSID", 4)},
      {"TIM cut after the period", Element(5, Hex("00010000")), 4,
       Join({ElementHead(0, 4, "TIM", 4), {{"DTIM Count\t\t\t0", 2, 1, 0}, {"DTIM Period\t\t\t1", 3, 1, CLOSE}}})},
      {"a channel group cut", Element(7, Hex("444520 010d14 020d14")), 9,
       Join({ElementHead(0, 9, "Country", 9),
             {{"Country String\t\tDE ", 2, 3, 0}, {"Channel Group", 5, 3, OPEN}, {"First\t\t\t\t1", 5, 1, 0},
              {"Number\t\t\t13", 6, 1, 0}, {"Transmit Power\t20 dBm", 7, 1, CLOSE + 1}}})},
      {"country string cut", Element(7, Hex("444520")), 3,
       Join({ElementHead(0, 3, "Country", 3), {{"Country String\t\tD", 2, 1, CLOSE}}})},
      {"second element's header cut", Cat({Element(3, Hex("06")), Hex("05")}), 0,
       Join({ElementHead(0, 3, "DS Parameter Set", 1), {{"Current Channel\t6", 2, 1, CLOSE}}})},
      {"rates past the capture", Element(1, Hex("02040b16")), 4,
       Join({ElementHead(0, 4, "Supported Rates", 4),
             {{"Rate\t\t\t\t\t1.0 MB\t[0xxxxxxx]\tNot in Basic Rate Set", 2, 1, 0},
              {"Rate\t\t\t\t\t2.0 MB\t[0xxxxxxx]\tNot in Basic Rate Set", 3, 1, CLOSE}}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Lines want = c.lines;
    for (Line& l : want) l.offset += 24;
    ExpectLines(BodyOf(0x40, c.elements, c.cut ? 24 + c.cut : 0), want);
  }
}

TEST(Bodies, ReasonAndStatusTexts) {
  const std::pair<WORD, const char*> reasons[] = {
      {0, "Reserved"},
      {1, "Unspecified"},
      {2, "Previous authentication no longer valid"},
      {3, "Deauthenticated because station is leaving IBSS or ESS"},
      {4, "Disassociated due to inactivity"},
      {5, "Disassociated because too man stations associated with AP"},
      {6, "Class 2 frame received from nonauthenticated station"},
      {7, "Class 3 frame received from nonassociated station"},
      {8, "Disassociated because station is leaving BSS"},
      {9, "Unauthenticated station requesting association"},
      {10, "Undefined"},
      {300, "Undefined"},
  };
  for (const auto& [code, text] : reasons)
    for (BYTE control : {0xA0, 0xC0}) {
      Bytes body = {(BYTE)code, (BYTE)(code >> 8)};
      ExpectLines(BodyOf(control, body), {{"Reason Code\t\t\t\t" + std::to_string(code) + "\t" + text, 24, 2, 0}});
    }
  const std::pair<WORD, const char*> statuses[] = {
      {0, "Reserved"},
      {1, "Unspecified failure"},
      {2, "Unknown"},
      {10, "Cannot support requested capabilities"},
      {11, "Reassociation denied due to no existing association"},
      {12, "Association denied due to undefined reason"},
      {13, "Specified authentication algorithm not supported"},
      {14, "Authentication transaction sequence number out of order"},
      {15, "Challenge failure"},
      {16, "Timeout waiting for next frame in sequence"},
      {17, "AP is unable to handle additional associated stations"},
      {18, "Not all basic data rates supported"},
      {19, "Unknown"},
  };
  for (const auto& [code, text] : statuses) {
    Bytes body = Hex("0000 0200");
    body.insert(body.end(), {(BYTE)code, (BYTE)(code >> 8)});
    auto lines = BodyOf(0xB0, body);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].text, "Status Code\t\t\t\t" + std::to_string(code) + "\t" + text);
  }
}

TEST(Bodies, Authentication) {
  const Bytes challenge = Cat({Element(16, Hex("01020304")), Element(16, Hex("05"))});
  const struct {
    const char* name;
    Bytes body;
    Lines lines;
  } cases[] = {
      {"open system", Cat({Hex("0000 0100 0000"), challenge}),
       {{"Algorithm\t\t\t\t0\tOpen", 24, 2, 0}, {"Sequence Number\t\t1", 26, 2, 0}, {"Status Code\t\t\t\t0\tReserved", 28, 2, 0}}},
      {"shared key, first frame: no challenge", Cat({Hex("0100 0100 0000"), challenge}),
       {{"Algorithm\t\t\t\t1\tShared Key", 24, 2, 0}, {"Sequence Number\t\t1", 26, 2, 0}, {"Status Code\t\t\t\t0\tReserved", 28, 2, 0}}},
      {"shared key, second frame: one challenge", Cat({Hex("0100 0200 0f00"), challenge}),
       Join({{{"Algorithm\t\t\t\t1\tShared Key", 24, 2, 0}, {"Sequence Number\t\t2", 26, 2, 0},
              {"Status Code\t\t\t\t15\tChallenge failure", 28, 2, 0}},
             ElementOnly(30, 6, "Challenge Text", 4)})},
      {"shared key, third frame", Cat({Hex("0100 0300 0000"), Element(16, Hex(""))}),
       Join({{{"Algorithm\t\t\t\t1\tShared Key", 24, 2, 0}, {"Sequence Number\t\t3", 26, 2, 0},
              {"Status Code\t\t\t\t0\tReserved", 28, 2, 0}},
             ElementOnly(30, 2, "Challenge Text", 0)})},
      {"unknown algorithm, cut status", Hex("0300 0200 00"),
       {{"Algorithm\t\t\t\t3\tUnknown", 24, 2, 0}, {"Sequence Number\t\t2", 26, 2, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectLines(BodyOf(0xB0, c.body), c.lines);
  }
}

TEST(Bodies, AssociationFrames) {
  const Bytes three = Cat({Element(0, "a"), Element(0, "b"), Element(0, "c")});
  auto lines = BodyOf(0x00, Cat({Hex("2100 0a00"), three}));
  ExpectLines(lines,
              Join({Capability(24, "00100001", "00000000]\t0"),
                    {{"Listen Interval\t\t10", 26, 2, 0}},
                    ElementHead(28, 3, "SSID", 1),
                    {{"SSID\t\t\t\t\ta", 30, 1, CLOSE}},
                    ElementHead(31, 3, "SSID", 1),
                    {{"SSID\t\t\t\t\tb", 33, 1, CLOSE}}}));
  lines = BodyOf(0x10, Cat({Hex("0100 0000 01c0"), three}));
  ExpectLines(lines, Join({Capability(24, "00000001", "00000000]\t0"),
                           {{"Status Code\t\t\t\t0", 26, 2, 0}, {"Association ID\t\t\t49153", 28, 2, 0}},
                           ElementHead(30, 3, "SSID", 1),
                           {{"SSID\t\t\t\t\ta", 32, 1, CLOSE}}}));
  // Reassociation frames and ATIM have no body lines; a probe request
  // without elements neither.
  for (BYTE control : {0x20, 0x30, 0x90})
    EXPECT_TRUE(BodyOf(control, Cat({Hex("2100 0a00"), three})).empty()) << (int)control;
  EXPECT_TRUE(BodyOf(0x40, {}).empty());
}

// Fixed fields show only where captured: a beacon of 33 bytes shows its
// time stamp alone.
TEST(Bodies, CutFixedFields) {
  const Bytes beacon = Beacon(Element(0, "home"));
  const struct {
    size_t captured;
    size_t lines;
  } cases[] = {{31, 0}, {32, 1}, {33, 1}, {34, 2}, {35, 2}, {36, 12}, {37, 12}, {38, 15}, {39, 16}};
  for (const auto& c : cases) {
    AerlithHost h;
    h.Decode(Bytes(beacon.begin(), beacon.begin() + (ptrdiff_t)c.captured), qvhost::RUN_DETAIL, (int)beacon.size());
    EXPECT_EQ(Body(h).size(), c.lines) << c.captured;
  }
  EXPECT_EQ(BodyOf(0xC0, Hex("03"), 25).size(), 0u);
  EXPECT_EQ(BodyOf(0x10, Hex("0100 00"), 27).size(), 10u);  // the capability alone
}

TEST(Bodies, BoundedAndLineFailuresHandled) {
  AerlithHost h;
  const Bytes frames[] = {
      Beacon(Cat({Element(0, "home"), Element(1, Hex("82848b96")), Element(2, Hex("1000010203")),
                  Element(4, Hex("010203000400")), Element(7, Hex("444520 010d14 020d14")), Element(10, Hex("0001"))})),
      Build({.control = 0xB0, .body = Cat({Hex("0100 0200 0000"), Element(16, Hex("0102"))})}),
      Build({.control = 0x10, .body = Cat({Hex("0100 0000 01c0"), Element(5, Hex("00010000")), Element(6, Hex("0a00"))})}),
      Build({.control = 0x40, .body = Cat({Element(8, Hex("0102")), Element(9, Hex("01020304"))})}),
      Build({.control = 0xC0, .body = Hex("0300")}),
  };
  for (const Bytes& frame : frames) {
    qvtest::ExpectBoundedAtEveryCut(h, kRoot, frame, {.linesWithinCapture = true});
    qvtest::ExpectLineFailuresHandled(h, kRoot, frame);
  }
}

}  // namespace
}  // namespace aerlithtest
