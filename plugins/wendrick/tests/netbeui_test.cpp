// MS-NETBEUI: the NetBIOS Frames header, the names it learns, and SMB
// handed on behind it.
#include "smb_builder.h"
#include "smb_lines.h"

namespace wendricktest {
namespace {

const int kNetbeuiAt = 17;  // behind the Ethernet header and LLC

// A NetBEUI frame behind an Ethernet header and LLC, from the server's
// address: header length, delimiter FF EF, command, then `rest`.
Crafted Netbeui(int headerLength, BYTE command, const Bytes& rest, const Bytes& payload = {}) {
  const Bytes head = {(BYTE)headerLength, (BYTE)(headerLength >> 8), 0xFF, 0xEF, command};
  return {kNetbeuiAt, Cat({Hex("03 00 00 00 00 01 00 00 0c 12 34 56 00 00 f0 f0 03"), head, rest, payload})};
}
Bytes Name(const std::string& name, BYTE suffix) {
  Bytes b = Text(name);
  b.resize(15, ' ');
  b.push_back(suffix);
  return b;
}
const Bytes kOptions = Hex("00 00 00 00 00 00 00");  // option 1, option 2, the correlators

// NetBEUI's lines with offsets from its header.
std::vector<qvhost::FlatLine> NetbeuiLines(const WendrickHost& h) {
  auto lines = h.Lines(0);
  for (auto& l : lines) l.offset -= kNetbeuiAt;
  return lines;
}

Lines Header(int length, int titleLength, const std::string& command, int option1 = 0, int option2 = 0,
             int transmit = 0, int receive = 0) {
  return {
      {"NetBios Extended User Interface Protocol", 0, titleLength, OPEN},
      {"Header Length\t\t\t" + std::to_string(length), 0, 2, 0},
      {"Delimiter\t\t\t\t0xFFEF", 2, 2, 0},
      {"Command\t\t\t\t\t" + command, 4, 1, 0},
      {"Option 1\t\t\t\t\t" + std::to_string(option1), 5, 1, 0},
      {"Option 2\t\t\t\t\t" + std::to_string(option2), 6, 2, 0},
      {"Transmit Correlator\t" + std::to_string(transmit), 8, 2, 0},
      {"Receive Correlator\t" + std::to_string(receive), 10, 2, 0},
  };
}
Lines Names(const std::string& destination, const std::string& source) {
  return {{"Destination Name\t\t" + destination, 12, 16, 0}, {"Source Name\t\t\t\t" + source, 28, 16, 0}};
}

TEST(Netbeui, Frames) {
  struct Case {
    const Crafted& frame;
    const char* description;
    Lines lines;
  };
  const Case cases[] = {
      {kNameRecognized, "Name Recognized SERVER1.[File Server Service]",
       Header(44, 44, "Name Recognized", 0, 773, 17, 34) +
           Names("CLIENT1.[File Server Service]", "SERVER1.[File Server Service]")},
      {kNameQuery, "Name Query SERVER1.[File Server Service]",
       Header(44, 44, "Name Query Request", 0, 256, 0, 34) +
           Names("SERVER1.[File Server Service]", "CLIENT1.[Workstation Service]")},
      {kAddGroupName, "Add Group Name WORKGROUP.[Browser Service Election]",
       Header(44, 44, "Add Group Name") + Names(".[Workstation Service]", "WORKGROUP.[Browser Service Election]")},
      {kSessionConfirm, "Session Confirm",
       Header(14, 14, "Confirm Session Initated", 12, 0, 0, 33) +
           Lines{{"Destination Session\t2", 12, 1, 0}, {"Source Session\t\t\t5", 13, 1, 0}}},
      {kUnknownCommand, "Unknown Function 5",
       // Not a session command: its names, where the padding holds the first
       // and the capture ends inside the second.
       Header(14, 14, "Unknown Command 5", 12, 0, 0, 33) +
           Lines{{"Destination Name\t\t\x02\x05.[Workstation Service]", 12, 16, 0}}},
  };
  WendrickHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    h.Carry("MS-NETBEUI", c.frame);
    EXPECT_EQ(h.Protocol(), "NETBEUI");
    EXPECT_EQ(h.Description(), c.description);
    ExpectLines(NetbeuiLines(h), c.lines);
    EXPECT_TRUE(h.handOns.empty());  // nothing behind the header: no hand-on at all
  }
}

// Every command by its summary text (with the name it shows, where it shows
// one: a text followed by a name ends in a blank) and its detail name; the
// session commands show session numbers where the others show names.
TEST(Netbeui, Commands) {
  struct Case {
    BYTE command;
    const char* summary;
    const char* detail;
    bool session;
  };
  const std::string to = "SERVER1.[File Server Service]", from = "CLIENT1.[Workstation Service]";
  const Case cases[] = {
      {0, "Add Group Name CLIENT1.[Workstation Service]", "Add Group Name", false},
      {1, "Add Unique Name CLIENT1.[Workstation Service]", "Add Unique Name", false},
      {2, "Duplicate Name SERVER1.[File Server Service]", "Duplicate Name", false},
      {3, "Query Status SERVER1.[File Server Service]", "Query Status", false},
      {7, "Terminate Trace Remote", "Terminate Trace Remote", false},
      {8, "Datagram SERVER1.[File Server Service]", "Datagram", false},
      {9, "Broadcast Datagram SERVER1.[File Server Service]", "Broadcast Datagram", false},
      {10, "Name Query SERVER1.[File Server Service]", "Name Query Request", false},
      {13, "Name Reject SERVER1.[File Server Service]", "Name Reject", false},
      {14, "Name Recognized CLIENT1.[Workstation Service]", "Name Recognized", false},
      {15, "Status Response CLIENT1.[Workstation Service]", "Status Response", false},
      {19, "Terminate Trace All", "Terminate Trace All", false},
      {20, "Data Ack", "Data Ack", true},
      {21, "Chain Data", "Chain Data", true},
      {22, "Data", "Data", true},
      {23, "Session Confirm", "Confirm Session Initated", true},
      {24, "Terminate Session", "Terminate Session", true},
      {25, "Initiate Session", "Initiate Session", true},
      {26, "No Buffers", "No Buffers", true},
      {27, "Retransmit", "Retransmit", true},
      {31, "Keep Alive", "Keep Alive", true},
      {29, "Unknown Function 29", "Unknown Command 29", false},
      {255, "Unknown Function 255", "Unknown Command 255", false},
  };
  WendrickHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.detail);
    h.Carry("MS-NETBEUI", Netbeui(44, c.command, Cat({kOptions, Name("SERVER1", 0x20), Name("CLIENT1", 0x00)})));
    EXPECT_EQ(h.Description(), c.summary);
    const auto lines = NetbeuiLines(h);
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[3].text, std::string("Command\t\t\t\t\t") + c.detail);
    if (c.session)
      ExpectLines({lines.begin() + 8, lines.end()}, {{"Destination Session\t83", 12, 1, 0}, {"Source Session\t\t\t69", 13, 1, 0}});
    else
      ExpectLines({lines.begin() + 8, lines.end()}, Names(to, from));
  }
}

// Disabled, NetBEUI shows nothing and learns nothing, but still moves past
// its header and hands SMB on in every pass.
TEST(Netbeui, DisabledStillHandsSmbOn) {
  WendrickHost h;
  h.Enabled("MS-NETBEUI") = 0;
  h.Carry("MS-NETBEUI", kSessionData);
  EXPECT_TRUE(h.Lines(0).empty());
  EXPECT_EQ(h.Description(), "NT Create and X Request");
  EXPECT_EQ(h.Frames("SMB"), 1u);
  ASSERT_FALSE(h.Lines(1).empty());
  EXPECT_EQ(h.Lines(1)[0].offset, kNetbeuiAt + 14);
  h.Carry("MS-NETBEUI", kNameRecognized);
  EXPECT_EQ(h.Protocol(), "");
  EXPECT_TRUE(h.Lines().empty());
  EXPECT_TRUE(h.Learnt().empty());
}

// The names of the detail and the summary alike: 15 characters at most up
// to a blank or NUL, then the text of the 16th byte, never the 16th byte as
// a character.
TEST(Netbeui, NamesKeepTheirSuffixOutOfTheText) {
  WendrickHost h;
  h.Carry("MS-NETBEUI", Netbeui(44, 14, Cat({kOptions, Name("CLIENT1", 0), Name("ABCDEFGHIJKLMNO", 0x1D)})));
  EXPECT_EQ(h.Description(), "Name Recognized ABCDEFGHIJKLMNO.[Master Browser]");
  EXPECT_EQ(h.Texts(0).back(), "Source Name\t\t\t\tABCDEFGHIJKLMNO.[Master Browser]");
  EXPECT_EQ(h.Learnt(), std::vector<std::string>{"ABCDEFGHIJKLMNO 00-00-0C-12-34-56 0"});
}

// Name Recognized frames teach the answering station's name, without any
// domain behind a dot, in the summary pass while NetBEUI is enabled; frames
// that came through 802.11 teach nothing.
TEST(Netbeui, LearnsRecognizedNames) {
  WendrickHost h;
  h.Carry("MS-NETBEUI", kNameRecognized);
  EXPECT_EQ(h.Learnt(), std::vector<std::string>{"SERVER1 00-00-0C-12-34-56 0"});
  h.Carry("MS-NETBEUI", kNameRecognizedDotted);
  EXPECT_EQ(h.Learnt(), std::vector<std::string>{"HOST 00-00-0C-12-34-56 0"});
  for (const Crafted* c : {&kNameQuery, &kAddGroupName}) {
    h.Carry("MS-NETBEUI", *c);
    EXPECT_TRUE(h.Learnt().empty());
  }
  h.Carry("MS-NETBEUI", kNameRecognized, true);
  EXPECT_TRUE(h.Learnt().empty());
  h.Carry("MS-NETBEUI", kNameRecognized, false, qvhost::RUN_COUNT | qvhost::RUN_DETAIL);
  EXPECT_TRUE(h.Learnt().empty());
  // A name the capture cuts is not learnt.
  Crafted cut = kNameRecognized;
  cut.bytes.resize(kNetbeuiAt + 28 + 15);
  h.Carry("MS-NETBEUI", cut);
  EXPECT_TRUE(h.Learnt().empty());
  EXPECT_EQ(h.Description(), "Name Recognized ");
  h.Enabled("MS-NETBEUI") = 0;
  h.Carry("MS-NETBEUI", kNameRecognized);
  EXPECT_TRUE(h.Learnt().empty());
}

// SMB behind the header goes to MS-SMB in every pass, with NetBEUI's lines
// in its own list and SMB's in the next.
TEST(Netbeui, HandsSmbOnInEveryPass) {
  WendrickHost h;
  h.Carry("MS-NETBEUI", kSessionData);
  EXPECT_EQ(h.Frames("SMB"), 1u);
  EXPECT_EQ(h.Frames("NETBEUI"), 1u);
  EXPECT_EQ(h.Description(), "NT Create and X Request");
  ExpectLines(NetbeuiLines(h), Header(14, 14, "Data", 12, 0, 0, 33) + Lines{{"Destination Session\t2", 12, 1, 0},
                                                                       {"Source Session\t\t\t5", 13, 1, 0}});
  const auto smb = h.Lines(1);
  ASSERT_FALSE(smb.empty());
  EXPECT_EQ(smb[0].text, "Server Message Block Protocol");
  EXPECT_EQ(smb[0].offset, kNetbeuiAt + 14);

  // The browser datagram reaches the Browser through SMB.
  h.Carry("MS-NETBEUI", kNetbeuiDatagram);
  EXPECT_EQ(h.Description(), "Local Master Announcement MASTER1");
  EXPECT_EQ(h.Texts(2).front(), "Browser Protocol");
  EXPECT_EQ(h.Learnt(), std::vector<std::string>{"MASTER1 00-00-0C-12-34-56 0"});

  // And a Netlogon query reaches Netlogon.
  h.Carry("MS-NETBEUI", kNetbeuiNetlogon);
  EXPECT_EQ(h.Description(), "PDC Query");
  EXPECT_EQ(h.Texts(2).front(), "NETLOGON Protocol");
}

// What lies behind the declared header is SMB only when it starts FF 'S'
// 'M' 'B' and four bytes of it were captured.
TEST(Netbeui, NoHandOnWithoutAWholeSignature) {
  const Bytes session = Hex("0c 00 00 00 00 00 00 21 00 02 05");
  struct Case {
    const char* name;
    Crafted frame;
  };
  const Case cases[] = {
      {"other bytes", Netbeui(14, 22, session, Hex("fe 53 4d 42 00 00"))},
      {"three bytes", Netbeui(14, 22, session, Hex("ff 53 4d"))},
      {"header longer than the frame", Netbeui(400, 22, session, Hex("ff 53 4d 42 72 00"))},
      {"header length not captured", {kNetbeuiAt, Bytes(kSessionData.bytes.begin(), kSessionData.bytes.begin() + 18)}},
  };
  WendrickHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    h.Carry("MS-NETBEUI", c.frame);
    EXPECT_TRUE(h.handOns.empty());
    EXPECT_EQ(h.Frames("SMB"), 0u);
  }
}

// The title covers the header as declared, but never more than was
// captured; the lines end at the first field not captured.
TEST(Netbeui, CutHeaders) {
  struct Case {
    const char* name;
    Crafted frame;
    int title;
    std::string last;
  };
  Crafted named = kNameRecognized;
  named.bytes.resize(kNetbeuiAt + 43);
  Crafted early = kNameRecognized;
  early.bytes.resize(kNetbeuiAt + 9);
  Crafted one = kNameRecognized;
  one.bytes.resize(kNetbeuiAt + 1);
  const Case cases[] = {
      {"source name cut", named, 43, "Destination Name\t\tCLIENT1.[File Server Service]"},
      {"correlator cut", early, 9, "Option 2\t\t\t\t\t773"},
      {"length cut", one, 1, "NetBios Extended User Interface Protocol"},
      {"length beyond the frame", Netbeui(0xFFFF, 31, kOptions), 12, "Receive Correlator\t0"},
  };
  WendrickHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    h.Carry("MS-NETBEUI", c.frame);
    const auto lines = NetbeuiLines(h);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].length, c.title);
    EXPECT_EQ(lines.back().text, c.last);
  }
}

// Receive Ready (28), the last of the session commands 20 to 28, carries
// session numbers where the name commands carry names.
TEST(Netbeui, ReceiveReadyShowsItsSessions) {
  WendrickHost h;
  h.Carry("MS-NETBEUI", Netbeui(14, 28, Hex("00 34 12 07 00 21 00 02 05")));
  EXPECT_EQ(h.Description(), "Receive Ready");
  ExpectLines(NetbeuiLines(h), Header(14, 14, "Receive Ready", 0, 4660, 7, 33) +
                                   Lines{{"Destination Session\t2", 12, 1, 0}, {"Source Session\t\t\t5", 13, 1, 0}});
}

// Through the link layer: LLC hands SAP 0xF0 to NetBEUI.
TEST(Netbeui, ThroughLlc) {
  if (!Built("brannock")) GTEST_SKIP() << "the link-layer plug-in is not built in this tree";
  WendrickHost h({"brannock", "wendrick", "halvern", "pallisand"});
  ASSERT_TRUE(h.Has("LLC-802.2"));
  h.Run("MAC-802.3", kNetbeuiDatagram.bytes);
  EXPECT_EQ(h.Texts(2).front(), "NetBios Extended User Interface Protocol");
  EXPECT_EQ(h.Texts(3).front(), "Server Message Block Protocol");
  EXPECT_EQ(h.Texts(4).front(), "Browser Protocol");
  EXPECT_EQ(h.Frames("NETBEUI"), 1u);
  EXPECT_EQ(h.Frames("SMB"), 1u);
}

TEST(Netbeui, BoundedAndLineFailures) {
  WendrickHost h;
  for (const Crafted* c : {&kNameRecognized, &kNameQuery, &kSessionData, &kNetbeuiDatagram, &kSessionConfirm,
                           &kSessionChain, &kNetbeuiNetlogon, &kNetbeuiUnicodeNtCreate}) {
    h.Aim("MS-NETBEUI", *c);
    h.ExpectBoundedAndLineFailuresHandled("CARRIER", c->bytes);
  }
}

}  // namespace
}  // namespace wendricktest
