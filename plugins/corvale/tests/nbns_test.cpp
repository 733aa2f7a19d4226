// IP-NBNS: the summary with its name, the header and sections, the names the
// name table learns (and the many answers it must not learn from), and
// messages that are cut short or lie about their counts and lengths.
#include "netbios_frames.h"

namespace corvaletest {
namespace {

// A message: id 0x1234, flags, the four counts, then the sections.
Bytes Nbns(WORD flags, WORD questions, WORD answers, const Bytes& sections, WORD authority = 0, WORD additional = 0) {
  return Cat({Word(0x1234), Word(flags), Word(questions), Word(answers), Word(authority), Word(additional), sections});
}
Bytes Question(const Bytes& name, WORD type = 0x20) { return Cat({name, Word(type), Word(1)}); }
Bytes Record(const Bytes& name, const Bytes& data, WORD type = 0x20) {
  return Cat({name, Word(type), Word(1), Long(300000), Word((WORD)data.size()), data});
}
// NB flags (unique, M-node) and 192.168.0.1, the source of qvtest::Ip.
const Bytes kNbData = Hex("40 00 c0 a8 00 01");
const Bytes kQuery = Nbns(0x0110, 1, 0, Question(NbName("SERVER", 0x20)));
const Bytes kAnswer = Nbns(0x8500, 0, 1, Record(NbName("PC1", 0x00), kNbData));

const qvtest::Lines kAnswerHeader = {
    {"NetBios Name Service Protocol", 0, 62, OPEN},
    {"Transaction ID\t\t\t4660", 0, 2, 0},
    {"Function\t\t\t\t\tName Query Response", 2, 2, 0},
    {"Flags", 2, 2, OPEN},
    {"Broadcast\t\t\tOff\txxxx xxxx xxx0 xxxx", 2, 2, 0},
    {"Recursion Capable\tOff\txxxx xxxx 0xxx xxxx", 2, 2, 0},
    {"Recursion Desired\tOn\t\txxxx xxx1 xxxx xxxx", 2, 2, 0},
    {"Truncation\t\t\tOff\txxxx xx0x xxxx xxxx", 2, 2, 0},
    {"Authoritative\t\tOn\t\txxxx x1xx xxxx xxxx", 2, 2, CLOSE},
    {"Question Count\t\t\t0", 4, 2, 0},
    {"Answer Count\t\t\t1", 6, 2, 0},
    {"Authority Count\t\t0", 8, 2, 0},
    {"Additional Count\t\t0", 10, 2, 0},
};
// The record of kAnswer at 12 (offsets from the message).
qvtest::Lines RecordLines(int at, DWORD lastFlags) {
  return {
      {"NetBios Name\t\tPC1.[Workstation Service]", at, 34, 0},
      {"Name Type\t\t\tNetBios General Name Service Resource Record", at + 34, 2, 0},
      {"Name Class\t\t\tInternet Class", at + 36, 2, 0},
      {"Time to Live\t\t300000", at + 38, 4, 0},
      {"Data Length\t\t\t6", at + 42, 2, 0},
      {"Flags", at + 44, 2, OPEN},
      {"Name Type\t\tUnique\t0xxx xxxx xxxx xxxx", at + 44, 2, 0},
      {"Node Type\t\tM-Node\tx10x xxxx xxxx xxxx", at + 44, 2, CLOSE},
      {"IP Address\t\t\t192.168.0.1", at + 46, 4, lastFlags},
  };
}

TEST(Nbns, BroadcastQuery) {
  CorvaleHost h;
  h.Decode("IP-NBNS", kQuery);
  ExpectLines(h.Lines(0), {
                              {"NetBios Name Service Protocol", 0, 50, OPEN},
                              {"Transaction ID\t\t\t4660", 0, 2, 0},
                              {"Function\t\t\t\t\tName Query", 2, 2, 0},
                              {"Flags", 2, 2, OPEN},
                              {"Broadcast\t\t\tOn\t\txxxx xxxx xxx1 xxxx", 2, 2, 0},
                              {"Recursion Capable\tOff\txxxx xxxx 0xxx xxxx", 2, 2, 0},
                              {"Recursion Desired\tOn\t\txxxx xxx1 xxxx xxxx", 2, 2, 0},
                              {"Truncation\t\t\tOff\txxxx xx0x xxxx xxxx", 2, 2, 0},
                              {"Authoritative\t\tOff\txxxx x0xx xxxx xxxx", 2, 2, CLOSE},
                              {"Question Count\t\t\t1", 4, 2, 0},
                              {"Answer Count\t\t\t0", 6, 2, 0},
                              {"Authority Count\t\t0", 8, 2, 0},
                              {"Additional Count\t\t0", 10, 2, 0},
                              {"Questions", 12, 38, OPEN},
                              {"NetBios Name\t\tSERVER.[File Server Service]", 12, 34, 0},
                              {"Name Type\t\t\tNetBios General Name Service Resource Record", 46, 2, 0},
                              {"Name Class\t\t\tInternet Class", 48, 2, CLOSE + 1},
                          });
  EXPECT_EQ(h.Protocol(), "NBNS");
  EXPECT_EQ(h.Description(), "Name Query  SERVER.[File Server Service]");
  EXPECT_TRUE(h.addNames.empty());
  EXPECT_EQ(h.Frames("NBNS"), 1u);
  EXPECT_EQ(h.Bytes64("NBNS"), 50u);
}

TEST(Nbns, PositiveAnswer) {
  CorvaleHost h;
  h.Decode("IP-NBNS", kAnswer);
  ExpectLines(h.Lines(0),
              qvtest::Join({kAnswerHeader, {{"Answers", 12, 50, OPEN}}, RecordLines(12, CLOSE + 1)}));
  EXPECT_EQ(h.Description(), "Name Query Response  PC1.[Workstation Service]");
}

// Every section uses the one record layout; the headings cover the bytes
// their records take, and each section's group ends with its last record.
TEST(Nbns, SectionsAndRecordTypes) {
  const Bytes status = Record(Hex("c0 0c"), Hex("01 02"), 0x21);
  const Bytes odd = Record(Hex("c0 0c"), kNbData, 0x1234);
  CorvaleHost h;
  h.Decode("IP-NBNS", Nbns(0x8400, 1, 0, Cat({Question(NbName("PC1", 0x00), 0x21), status, odd}), 1, 1));
  ExpectLines(LinesFrom(h.Lines(0), "Questions"),
              {
                  {"Questions", 12, 38, OPEN},
                  {"NetBios Name\t\tPC1.[Workstation Service]", 12, 34, 0},
                  {"Name Type\t\t\tNetBios Node Status Resource Record", 46, 2, 0},
                  {"Name Class\t\t\tInternet Class", 48, 2, CLOSE},
                  {"Authority", 50, 14, OPEN},
                  {"NetBios Name\t\tPC1.[Workstation Service]", 50, 2, 0},
                  {"Name Type\t\t\tNetBios Node Status Resource Record", 52, 2, 0},
                  {"Name Class\t\t\tInternet Class", 54, 2, 0},
                  {"Time to Live\t\t300000", 56, 4, 0},
                  {"Data Length\t\t\t2", 60, 2, 0},
                  {"Flags", 62, 2, OPEN},
                  {"Name Type\t\tUnique\t0xxx xxxx xxxx xxxx", 62, 2, 0},
                  {"Node Type\t\tB-Node\tx00x xxxx xxxx xxxx", 62, 2, CLOSE + 1},
                  {"Additional Resources", 64, 18, OPEN},
                  {"NetBios Name\t\tPC1.[Workstation Service]", 64, 2, 0},
                  {"Name Type\t\t\tUnknown Type Field 1234", 66, 2, 0},
                  {"Name Class\t\t\tInternet Class", 68, 2, 0},
                  {"Time to Live\t\t300000", 70, 4, 0},
                  {"Data Length\t\t\t6", 74, 2, 0},
                  {"Flags", 76, 2, OPEN},
                  {"Name Type\t\tUnique\t0xxx xxxx xxxx xxxx", 76, 2, 0},
                  {"Node Type\t\tM-Node\tx10x xxxx xxxx xxxx", 76, 2, CLOSE},
                  {"IP Address\t\t\t192.168.0.1", 78, 4, CLOSE + 1},
              });
  // The summary names the question; nothing is learned from a message
  // that asks.
  EXPECT_EQ(h.Description(), "Name Query Response  PC1.[Workstation Service]");
  h.Decode("IP-NBNS", Nbns(0x0000, 1, 0, Question(NbName("X", 0x20), 0x0042)), qvhost::RUN_DETAIL);
  EXPECT_EQ(h.Lines(0)[15].text, "Name Type\t\t\tUnknown Question Type 0042");
}

TEST(Nbns, FunctionsAndFlags) {
  struct Case {
    WORD flags;
    const char* function;
  };
  const Case cases[] = {
      {0x0000, "Name Query"},          {0x2800, "Registration Request"},  {0x3000, "Release Request"},
      {0x3800, "WACK Request"},        {0x4000, "Refresh Request"},       {0x8500, "Name Query Response"},
      {0xA800, "Registration Response"}, {0xB000, "Release Response"},    {0xB800, "WACK Response"},
      {0xC000, "Refresh Response"},    {0x5000, "Unknown"},               {0xF8FF, "Unknown"},
  };
  CorvaleHost h;
  for (const Case& c : cases) {
    h.Decode("IP-NBNS", Nbns(c.flags, 0, 0, {}));
    EXPECT_EQ(h.Description(), c.function) << std::hex << c.flags;
    EXPECT_EQ(h.Lines(0)[2].text, std::string("Function\t\t\t\t\t") + c.function);
  }
  // No questions and no answers: the header lines close the title's group.
  EXPECT_EQ(h.Lines(0).size(), 13u);
  EXPECT_EQ(h.Lines(0).back().flags, CLOSE);
}

// Learning through the Ethernet root: the answering station's MAC address
// gets the name only when the station answers positively for itself.
struct EthernetHost : CorvaleHost {
  EthernetHost() : CorvaleHost({"brannock", "corvale", "halvern", "pallisand"}) {}
  Bytes Frame(const Bytes& message, bool tcp = false, BYTE ttl = 64) {
    IpFields ip;
    ip.protocol = tcp ? 6 : 17;
    ip.ttl = ttl;
    return Ethernet(Ip(ip, tcp ? Tcp(137, 1027, 0x18, {}, message) : Udp(137, 137, message)));
  }
};

TEST(Nbns, LearnsOnlyWhatAStationSaysOfItself) {
  const Bytes kSourceMac = Hex("00 00 0c 12 34 56");  // of qvtest::Ethernet
  struct Case {
    const char* what;
    Bytes message;
    const char* learned;  // null: nothing
  };
  Bytes lower = NbName("PC1", 0x00);
  lower[1] = 'a';  // decodes as it stands, but is no first-level encoding
  const Case cases[] = {
      {"positive authoritative answer", kAnswer, "PC1"},
      {"the name is cut at its first dot", Nbns(0x8500, 0, 1, Record(NbName("MY.PC", 0x20), kNbData)), "MY"},
      {"not authoritative", Nbns(0x8100, 0, 1, Record(NbName("PC1", 0x00), kNbData)), nullptr},
      {"not a response", Nbns(0x0500, 0, 1, Record(NbName("PC1", 0x00), kNbData)), nullptr},
      {"negative answer", Nbns(0x8503, 0, 1, Record(NbName("PC1", 0x00), kNbData)), nullptr},
      {"group name", Nbns(0x8500, 0, 1, Record(NbName("WORKGROUP", 0x00), Hex("80 00 c0 a8 00 01"))), nullptr},
      {"name beginning with a star", Nbns(0x8500, 0, 1, Record(NbName("*SMBSERVER", 0x20), kNbData)), nullptr},
      {"node status answer", Nbns(0x8400, 0, 1, Record(NbName("PC1", 0x00), kNbData, 0x21)), nullptr},
      {"data too short for an address", Nbns(0x8500, 0, 1, Record(NbName("PC1", 0x00), Hex("40 00 c0 a8"))),
       nullptr},
      {"relayed: another station's address", Nbns(0x8500, 0, 1, Record(NbName("PC1", 0x00), Hex("40 00 0a 00 00 07"))),
       nullptr},
      {"characters outside A..P", Nbns(0x8500, 0, 1, Record(lower, kNbData)), nullptr},
      {"a question first", Nbns(0x8500, 1, 1, Cat({Question(NbName("PC1", 0x00)), Record(Hex("c0 0c"), kNbData)})),
       nullptr},
      // Encoded as it should be, but no name the table or its file can hold.
      {"a TAB in the name", Nbns(0x8500, 0, 1, Record(NbName("PC\t1", 0x00), kNbData)), nullptr},
      {"a control byte in the name", Nbns(0x8500, 0, 1, Record(NbName("\x01PC", 0x00), kNbData)), nullptr},
      {"a DEL in the name", Nbns(0x8500, 0, 1, Record(NbName("PC\x7f", 0x00), kNbData)), nullptr},
      {"a letter above 0x7F", Nbns(0x8500, 0, 1, Record(NbName("CAF\xc9", 0x00), kNbData)), "CAF\xc9"},
  };
  EthernetHost h;
  if (!h.Has("MAC-802.3")) GTEST_SKIP() << "MAC-802.3 is not built in this tree";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    h.addNames.clear();
    h.Decode("MAC-802.3", h.Frame(c.message));
    if (!c.learned) {
      EXPECT_TRUE(h.addNames.empty()) << h.addNames[0].name;
      continue;
    }
    ASSERT_EQ(h.addNames.size(), 1u);
    EXPECT_EQ(h.addNames[0].name, c.learned);
    EXPECT_EQ(h.addNames[0].address, kSourceMac);
    EXPECT_EQ(h.addNames[0].value, 0);
  }
  // Disabled, NBNS writes no summary and learns nothing.
  h.addNames.clear();
  h.Enabled("IP-NBNS") = 0;
  h.Decode("MAC-802.3", h.Frame(kAnswer));
  EXPECT_TRUE(h.addNames.empty());
}

// A station's answer comes with the time-to-live it was sent with; a router
// on the way lowers it, and the frame's source address is then the
// router's: nothing is learnt from it.
TEST(Nbns, LearnsNothingFromRoutedAnswers) {
  struct Case {
    BYTE ttl;
    bool learnt;
  };
  const Case cases[] = {{32, true},   {64, true},   {128, true},  {255, true}, {127, false},
                        {63, false},  {254, false}, {31, false},  {1, false},  {0, false}};
  EthernetHost h;
  if (!h.Has("MAC-802.3")) GTEST_SKIP() << "MAC-802.3 is not built in this tree";
  for (const Case& c : cases) {
    SCOPED_TRACE((int)c.ttl);
    h.addNames.clear();
    h.Decode("MAC-802.3", h.Frame(kAnswer, false, c.ttl));
    EXPECT_EQ(h.addNames.size(), c.learnt ? 1u : 0u);
    EXPECT_EQ(h.Description(), "Name Query Response  PC1.[Workstation Service]");
  }
}

// Over TCP the message is shown from the segment's first byte, as over UDP,
// although a 2-byte length leads it there: nothing read from such a message
// can be trusted to name a station.
TEST(Nbns, LearnsNothingOverTcp) {
  EthernetHost h;
  if (!h.Has("MAC-802.3")) GTEST_SKIP() << "MAC-802.3 is not built in this tree";
  h.Decode("MAC-802.3", h.Frame(kAnswer, true));
  EXPECT_TRUE(h.addNames.empty());
  EXPECT_EQ(h.Description(), "Name Query Response  PC1.[Workstation Service]");
  std::vector<qvhost::FlatLine> lines = h.Lines(3);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].text, "NetBios Name Service Protocol");
  EXPECT_EQ(lines[0].offset, 54);
  EXPECT_EQ(lines[1].text, "Transaction ID\t\t\t4660");
}

// A root that hands its frames to IP as MAC-802.11 would: past a header of
// its own, with the frame marked as wireless. What lies at data + 6 is then
// no source address.
ProtocolParse g_ipParse;
DWORD QV_CALL WirelessRoot(DWORD pass, CaptureFrame* frame, void* out) {
  frame->flags |= FRAME_WIRELESS_MEDIA;
  frame->offset = 14;
  return g_ipParse(pass, frame, pass == PASS_DETAIL ? static_cast<DetailLine**>(out) + 1 : out);
}

TEST(Nbns, LearnsNothingFromWirelessFrames) {
  EthernetHost h;
  g_ipParse = h.host.Find("DOD-IP")->parse;
  ProtocolDescriptor root = {};
  root.parse = WirelessRoot;
  const Bytes frame = h.Frame(kAnswer);
  h.host.DecodeFrame(&root, frame.data(), (int)frame.size(), (int)frame.size(), qvhost::RUN_ALL, &h.out);
  EXPECT_TRUE(h.addNames.empty());
  EXPECT_EQ(h.Description(), "Name Query Response  PC1.[Workstation Service]");
}

// Counts that promise more than the message holds, and records whose data
// length differs from the six bytes shown: the walk stops at the first entry
// that is not captured and never shows bytes of another record as data.
TEST(Nbns, CountsAndLengthsThatLie) {
  CorvaleHost h;
  h.Decode("IP-NBNS", Nbns(0x8500, 0, 3, Record(NbName("PC1", 0x00), kNbData)));
  qvtest::Lines want = qvtest::Join({kAnswerHeader, {{"Answers", 12, 50, OPEN}}, RecordLines(12, 0)});
  want[10].text = "Answer Count\t\t\t3";
  ExpectLines(h.Lines(0), want);

  h.Decode("IP-NBNS", Nbns(0x0000, 2, 0, Question(NbName("PC1", 0x00))));
  std::vector<qvhost::FlatLine> lines = LinesFrom(h.Lines(0), "Questions");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].length, 38);  // the questions that are there
  EXPECT_EQ(lines[3].flags, 0u);

  // Data lengths: 0 shows no flags, 2 the flags alone, 8 the six bytes; the
  // next record starts where the length says.
  const Bytes second = Record(Hex("c0 0c"), kNbData);
  for (WORD length : {0, 2, 8}) {
    SCOPED_TRACE(length);
    Bytes data = Cat({kNbData, Hex("ee ee")});
    data.resize(length);
    h.Decode("IP-NBNS", Nbns(0x8500, 0, 2, Cat({Record(NbName("PC1", 0x00), data), second})));
    lines = LinesFrom(h.Lines(0), "Answers");
    const size_t next = 1 + 5 + (length >= 2 ? 3 : 0) + (length >= 6 ? 1 : 0);
    ASSERT_EQ(lines.size(), next + 9);
    EXPECT_EQ(lines[next].text, "NetBios Name\t\tPC1.[Workstation Service]");
    EXPECT_EQ(lines[next].offset, 12 + 44 + length);
    EXPECT_EQ(lines[0].length, 44 + length + 18);
    EXPECT_EQ(lines.back().flags, CLOSE + 1);
  }
}

// Name pointers: only one that leads backwards, to a name that is
// captured, shows a name; the record still takes two bytes for it.
TEST(Nbns, NamePointers) {
  struct Case {
    const char* what;
    Bytes pointer;
    const char* name;
  };
  const Case cases[] = {
      {"to the question", Hex("c0 0c"), "NetBios Name\t\tPC1.[Workstation Service]"},
      {"to itself", Hex("c0 32"), "NetBios Name\t\t"},
      {"forwards", Hex("c0 40"), "NetBios Name\t\t"},
      {"far past the message", Hex("ff ff"), "NetBios Name\t\t"},
  };
  CorvaleHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    h.Decode("IP-NBNS", Nbns(0x8500, 1, 1, Cat({Question(NbName("PC1", 0x00)), Record(c.pointer, kNbData)})));
    std::vector<qvhost::FlatLine> lines = LinesFrom(h.Lines(0), "Answers");
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[1].text, c.name);
    EXPECT_EQ(lines[1].length, 2);
    EXPECT_EQ(lines[9].text, "IP Address\t\t\t192.168.0.1");
  }
}

// The summary appends the name at 12 only when it decodes to a text: a
// pointer that leads nowhere and a name of no characters add nothing.
TEST(Nbns, SummaryAppendsOnlyANameThatDecodes) {
  struct Case {
    const char* what;
    Bytes message;
    const char* description;
  };
  Bytes empty = NbName("PC1", 0x00);
  empty[0] = 0;  // no characters
  const Case cases[] = {
      {"a pointer to itself", Nbns(0x8500, 0, 1, Record(Hex("c0 0c"), kNbData)), "Name Query Response"},
      {"a pointer forwards", Nbns(0x8500, 0, 1, Record(Hex("c0 40"), kNbData)), "Name Query Response"},
      {"a name of no characters", Nbns(0x0000, 1, 0, Question(empty)), "Name Query"},
      {"one character: the suffix alone", Nbns(0x0000, 1, 0, Question(Cat({Hex("02 41 41"), Bytes(31, 0x41)}))),
       "Name Query  .[Workstation Service]"},
  };
  CorvaleHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    h.Decode("IP-NBNS", c.message);
    EXPECT_EQ(h.Description(), c.description);
  }
}

// The title covers the captured bytes, not the frame's length.
TEST(Nbns, TitleCoversTheCapturedBytes) {
  CorvaleHost h;
  Bytes cut = kAnswer;
  cut.resize(40);
  h.Decode("IP-NBNS", cut, qvhost::RUN_ALL, 62);
  ASSERT_EQ(h.Lines(0).size(), 14u);  // the header and the "Answers" heading
  EXPECT_EQ(h.Lines(0)[0].length, 40);
  EXPECT_EQ(h.Lines(0)[13].text, "Answers");
  EXPECT_EQ(h.Lines(0)[13].length, 28);
  EXPECT_EQ(h.Description(), "Name Query Response");
  // Too short for the flags: the protocol's word and no function.
  h.Decode("IP-NBNS", Hex("12 34 85"));
  EXPECT_EQ(h.Protocol(), "NBNS");
  EXPECT_EQ(h.Description(), "");
}

TEST(Nbns, NothingIsReadPastTheCapture) {
  const Bytes sections = Nbns(0x8400, 1, 1, Cat({Question(NbName("A", 0)), Record(Hex("c0 0c"), kNbData)}), 1, 1);
  {
    CorvaleHost h;
    for (const Bytes& message : {kQuery, kAnswer, sections}) qvtest::ExpectBoundedAtEveryCut(h, "IP-NBNS", message);
  }
  EthernetHost e;
  if (!e.Has("MAC-802.3")) return;
  // Learnt once before, so that every cut finds the name table as it is.
  e.Decode("MAC-802.3", e.Frame(kAnswer));
  for (const Bytes& message : {kQuery, kAnswer, sections}) qvtest::ExpectBoundedAtEveryCut(e, "MAC-802.3", e.Frame(message));
}

TEST(Nbns, LinesStopWhenTheHostGivesNone) {
  CorvaleHost h;
  qvtest::ExpectLineFailuresHandled(h, "IP-NBNS", kQuery);
  qvtest::ExpectLineFailuresHandled(h, "IP-NBNS", kAnswer);
}

}  // namespace
}  // namespace corvaletest
