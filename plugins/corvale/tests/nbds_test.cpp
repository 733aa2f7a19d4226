// IP-NBDS and IP-NBSS: their headers, names and titles, and the hand-on to
// MS-SMB (a stand-in here), which happens only behind a captured signature.
#include "netbios_frames.h"

namespace corvaletest {
namespace {

const Bytes kSmb = Hex("ff 53 4d 42 25 00 00 00 00");

// Corvale with a stand-in registered as MS-SMB before start-up, so that
// NBDS and NBSS find it at PCTL_INIT.
struct SmbHost : qvtest::TestHost {
  SmbHost(bool withSmb = true) : TestHost({"corvale", "halvern", "pallisand"}, false) {
    if (withSmb) StandIn("MS-SMB");
    Start();
  }
  // The hand-ons of the last frame: where each went and at which offset.
  std::vector<std::string> Handed() const {
    std::vector<std::string> out;
    for (const HandOn& o : handOns) out.push_back(o.to + "@" + std::to_string(o.offset));
    return out;
  }
};
typedef std::vector<std::string> Handed;
const Handed kNone = {};

Bytes Datagram(BYTE type, const Bytes& rest) {
  return Cat({Bytes{type, 0x02}, Word(1), Hex("c0 a8 00 01"), Word(138), rest});
}
Bytes DirectDatagram(BYTE type, const Bytes& data) {
  return Datagram(type, Cat({Word((WORD)(68 + data.size())), Word(0), NbName("PC1", 0x00),
                             NbName("WORKGROUP", 0x1E), data}));
}

TEST(Nbds, GroupDatagramCarryingSmb) {
  SmbHost h;
  h.Decode("IP-NBDS", DirectDatagram(0x11, kSmb));
  ExpectLines(h.Lines(0), {
                              {"NetBios Datagram Service Protocol", 0, 82, OPEN},
                              {"Datagram Type\t\t\tDirect Group Datagram", 0, 1, 0},
                              {"Flags", 1, 1, OPEN},
                              {"More Fragments\t\tOff\txxxx xxx0", 1, 1, 0},
                              {"First Fragment\t\tOn\t\txxxx xx1x", 1, 1, 0},
                              {"Node Type\t\t\tB-Node\t\t\txxxx 00xx", 1, 1, CLOSE},
                              {"Datagram ID\t\t\t\t1", 2, 2, 0},
                              {"Source IP Address\t\t192.168.0.1", 4, 4, 0},
                              {"Source Port\t\t\t\t138", 8, 2, 0},
                              {"Length\t\t\t\t\t77", 10, 2, 0},
                              {"Packet Offset\t\t\t0", 12, 2, 0},
                              {"Source Name\t\t\t\tPC1.[Workstation Service]", 14, 34, 0},
                              {"Destination Name\t\tWORKGROUP.[Browser Service Election]", 48, 34, 0},
                          });
  EXPECT_EQ(h.Handed(), (Handed{"MS-SMB@82", "MS-SMB@82", "MS-SMB@82"}));
  EXPECT_EQ(h.handOns[2].slot, 1);
  EXPECT_EQ(h.Protocol(), "NBDS");
  EXPECT_EQ(h.Description(), "Direct Group Datagram");
  EXPECT_EQ(h.Bytes64("NBDS"), 91u);
}

// Each type has its header length and name; only direct and broadcast
// datagrams go on, and only when the signature is there and captured.
TEST(Nbds, TypesAndHandOn) {
  struct Case {
    const char* what;
    Bytes datagram;
    const char* description;
    int title;
    Handed handed;
  };
  const Bytes filler(80, 0xFF);  // signature bytes where a short header ends
  const Case cases[] = {
      {"direct unique", DirectDatagram(0x10, kSmb), "Direct Unique Datagram", 82, {"MS-SMB@82", "MS-SMB@82", "MS-SMB@82"}},
      {"broadcast", DirectDatagram(0x12, kSmb), "Broadcast Datagram", 82, {"MS-SMB@82", "MS-SMB@82", "MS-SMB@82"}},
      {"another signature", DirectDatagram(0x12, Hex("fe 53 4d 42 00")), "Broadcast Datagram", 82, kNone},
      {"signature cut by the capture", DirectDatagram(0x12, Hex("ff 53 4d")), "Broadcast Datagram", 82, kNone},
      {"error", Datagram(0x13, Cat({Hex("82"), kSmb, filler})), "Error Datagram", 11, kNone},
      {"query request", Datagram(0x14, Cat({Word(0), NbName("PC1", 0x20), kSmb})), "Datagram Query Request", 44,
       kNone},
      {"positive response", Datagram(0x15, Cat({Word(0), NbName("PC1", 0x20)})), "Datagram Positive Response", 44,
       kNone},
      {"negative response", Datagram(0x16, Cat({Word(0), NbName("PC1", 0x20)})), "Datagram Negative Response", 44,
       kNone},
      {"unknown type", Datagram(0x20, kSmb), "Unknown Datagram Type", 10, kNone},
  };
  SmbHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    h.ClearRecords();
    h.Decode("IP-NBDS", c.datagram);
    EXPECT_EQ(h.Description(), c.description);
    ASSERT_FALSE(h.Lines(0).empty());
    EXPECT_EQ(h.Lines(0)[0].length, std::min<int>(c.title, (int)c.datagram.size()));
    EXPECT_EQ(h.Handed(), c.handed);
  }
}

// Lines up to byte 82 for every type, each only where its field is
// captured; a name field shows only when all its 34 bytes are.
TEST(Nbds, LinesOfShortAndCutDatagrams) {
  SmbHost h;
  // A query request whose 48 bytes hold a name where direct datagrams
  // have their source name, and no more.
  h.Decode("IP-NBDS", Datagram(0x14, Cat({Word(0), Word(0), NbName("PC1", 0x20)})));
  ExpectLines(LinesFrom(h.Lines(0), "Length"), {
                                                   {"Length\t\t\t\t\t0", 10, 2, 0},
                                                   {"Packet Offset\t\t\t0", 12, 2, 0},
                                                   {"Source Name\t\t\t\tPC1.[File Server Service]", 14, 34, 0},
                                               });
  struct Case {
    size_t cut;
    const char* last;
  };
  const Case cases[] = {{1, "Datagram Type"}, {2, "Node Type"},   {4, "Datagram ID"},         {8, "Source IP Address"},
                        {13, "Length"},       {47, "Packet Offset"}, {81, "Source Name"}, {82, "Destination Name"}};
  const Bytes full = DirectDatagram(0x10, kSmb);
  for (const Case& c : cases) {
    h.ClearRecords();
    h.Decode("IP-NBDS", Bytes(full.begin(), full.begin() + (ptrdiff_t)c.cut), qvhost::RUN_ALL, (int)full.size());
    EXPECT_EQ(h.Lines(0).back().text.rfind(c.last, 0), 0u) << c.cut << ": " << h.Lines(0).back().text;
    EXPECT_EQ(h.Lines(0)[0].length, (int)c.cut);
    EXPECT_TRUE(h.handOns.empty());
  }
}

TEST(Nbds, WithoutSmbTheDataGoesToDefaultParseBehindTheSignature) {
  SmbHost h(false);
  h.Decode("IP-NBDS", DirectDatagram(0x11, kSmb));
  EXPECT_EQ(h.Handed(), (Handed{"default@82", "default@82", "default@82"}));
  h.ClearRecords();
  h.Decode("IP-NBDS", DirectDatagram(0x11, Hex("00 53 4d 42")));
  EXPECT_TRUE(h.handOns.empty());
}

// Disabled: no lines, but the header is skipped and the data goes on.
TEST(Nbds, DisabledStillHandsOn) {
  SmbHost h;
  h.Enabled("IP-NBDS") = 0;
  h.Decode("IP-NBDS", DirectDatagram(0x10, kSmb));
  EXPECT_TRUE(h.Lines(0).empty());
  EXPECT_EQ(h.Protocol(), "");
  EXPECT_EQ(h.Handed(), (Handed{"MS-SMB@82", "MS-SMB@82", "MS-SMB@82"}));
}

// ---------------------------------------------------------------- sessions

Bytes Session(BYTE type, BYTE flags, WORD length, const Bytes& rest) {
  return Cat({Bytes{type, flags}, Word(length), rest});
}

TEST(Nbss, SessionMessageCarryingSmb) {
  SmbHost h;
  h.Decode("IP-NBSS", Session(0x00, 0, (WORD)kSmb.size(), kSmb));
  ExpectLines(h.Lines(0), {
                              {"NetBios Session Service Protocol", 0, 4, OPEN},
                              {"Packet Type\t\t\t\tSession Message", 0, 1, 0},
                              {"Flags\t\t\t\t\t\t0x00", 1, 1, 0},
                              {"Packet Length\t\t\t9", 2, 2, 0},
                          });
  EXPECT_EQ(h.Handed(), (Handed{"MS-SMB@4", "MS-SMB@4", "MS-SMB@4"}));
  EXPECT_EQ(h.handOns[2].slot, 1);
  EXPECT_EQ(h.Protocol(), "NBSS");
  EXPECT_EQ(h.Description(), "Session Message");
}

TEST(Nbss, Types) {
  struct Case {
    const char* what;
    Bytes packet;
    qvtest::Lines lines;  // behind "Packet Length"
    int title;
    Handed handed;
  };
  const Bytes names = Cat({NbName("SERVER", 0x20), NbName("PC1", 0x00)});
  const Case cases[] = {
      {"session request",
       Session(0x81, 0, 68, names),
       {{"Destination Name\t\tSERVER.[File Server Service]", 4, 34, 0},
        {"Source Name\t\t\t\tPC1.[Workstation Service]", 38, 34, 0}},
       72,
       kNone},
      {"positive response", Session(0x82, 0, 0, {}), {}, 4, kNone},
      {"negative response", Session(0x83, 0, 1, Hex("82")), {{"Error Code\t\t\t\tCalled Name not present", 4, 1, 0}}, 5,
       kNone},
      {"unknown error", Session(0x83, 0, 1, Hex("90")), {{"Error Code\t\t\t\tUnknown", 4, 1, 0}}, 5, kNone},
      {"retarget",
       Session(0x84, 0, 6, Hex("0a 00 00 09 01 bd")),
       {{"IP Address\t\t\t10.0.0.9", 4, 4, 0}, {"Port\t\t\t\t01bd", 8, 2, 0}},
       10,
       kNone},
      {"keep alive", Session(0x85, 0, 0, kSmb), {}, 4, kNone},
      {"another signature", Session(0x00, 0, 5, Hex("fe 53 4d 42 00")), {}, 4, kNone},
      {"signature cut by the capture", Session(0x00, 0, 5, Hex("ff 53 4d")), {}, 4, kNone},
      {"length extended by the flag", Session(0x00, 0x01, 0x0010, kSmb), {}, 4,
       {"MS-SMB@4", "MS-SMB@4", "MS-SMB@4"}},
  };
  SmbHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    h.ClearRecords();
    h.Decode("IP-NBSS", c.packet);
    const std::vector<qvhost::FlatLine> lines = h.Lines(0);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0].length, c.title);
    ExpectLines(std::vector<qvhost::FlatLine>(lines.begin() + 4, lines.end()), c.lines);
    EXPECT_EQ(h.Handed(), c.handed);
  }
  h.Decode("IP-NBSS", Session(0x00, 0x01, 0x0010, kSmb), qvhost::RUN_DETAIL);
  EXPECT_EQ(h.Lines(0)[3].text, "Packet Length\t\t\t65552");
  EXPECT_EQ(h.Lines(0)[2].text, "Flags\t\t\t\t\t\t0x01");
}

// Another type is the middle of a longer message: the title covers what
// was captured and the detail ends at the type.
TEST(Nbss, MiddleOfAMessage) {
  SmbHost h;
  Bytes middle(1000, 0x41);
  middle[0] = 0x37;
  h.Decode("IP-NBSS", middle, qvhost::RUN_ALL, 1400);
  EXPECT_EQ(h.Description(), "Data");
  ExpectLines(h.Lines(0), {{"NetBios Session Service Protocol", 0, 1000, OPEN},
                           {"Packet Type\t\t\t\tData", 0, 1, CLOSE}});
  h.Decode("IP-NBSS", Hex("37 41 41"));
  EXPECT_EQ(h.Description(), "Pulse");
  ExpectLines(h.Lines(0), {{"NetBios Session Service Protocol", 0, 3, OPEN},
                           {"Packet Type\t\t\t\tPulse", 0, 1, CLOSE}});
  EXPECT_TRUE(h.handOns.empty());
}

// Titles that grow by the packet length never pass the captured bytes;
// names are shown only when all 34 bytes are captured.
TEST(Nbss, TitlesAndNamesStayInsideTheCapture) {
  SmbHost h;
  const Bytes request = Session(0x81, 0x01, 0xFFFF, Cat({NbName("SERVER", 0x20), NbName("PC1", 0x00)}));
  h.Decode("IP-NBSS", request);
  EXPECT_EQ(h.Lines(0)[0].length, 72);
  EXPECT_EQ(h.Lines(0)[3].text, "Packet Length\t\t\t131071");
  for (size_t cut : {2, 37, 71}) {
    h.Decode("IP-NBSS", Bytes(request.begin(), request.begin() + (ptrdiff_t)cut));
    EXPECT_EQ(h.Lines(0)[0].length, (int)cut);
    EXPECT_EQ(h.Lines(0).size(), cut < 4 ? 3u : cut < 38 ? 4u : 5u) << cut;
  }
}

TEST(Nbss, DisabledStillHandsOn) {
  SmbHost h;
  h.Enabled("IP-NBSS") = 0;
  h.Decode("IP-NBSS", Session(0x00, 0, (WORD)kSmb.size(), kSmb));
  EXPECT_TRUE(h.Lines(0).empty());
  EXPECT_EQ(h.Handed(), (Handed{"MS-SMB@4", "MS-SMB@4", "MS-SMB@4"}));
}

// Each service is decoded over the other transport too, by either port, and
// hands its SMB on as it does over its usual one.
TEST(NetBiosCarriers, DecodedOverEitherTransport) {
  struct Case {
    const char* what;
    Bytes frame;
    const char* word;
    const char* description;
    int at;  // the service's header
    int title;
    const char* smb;
  };
  const Bytes datagram = DirectDatagram(0x10, kSmb);
  const Bytes session = Session(0x00, 0, (WORD)kSmb.size(), kSmb);
  const Case cases[] = {
      {"datagram over TCP to 138", Ip(6, Tcp(1027, 138, 0x18, {}, datagram)), "NBDS", "Direct Unique Datagram", 40, 82,
       "MS-SMB@122"},
      {"session over UDP to 139", Ip(17, Udp(1027, 139, session)), "NBSS", "Session Message", 28, 4, "MS-SMB@32"},
      {"session over UDP from 445", Ip(17, Udp(445, 1027, session)), "NBSS", "Session Message", 28, 4, "MS-SMB@32"},
  };
  SmbHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    h.ClearRecords();
    h.Decode("DOD-IP", c.frame);
    EXPECT_EQ(h.Protocol(), c.word);
    EXPECT_EQ(h.Description(), c.description);
    const std::vector<qvhost::FlatLine> lines = h.Lines(2);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].offset, c.at);
    EXPECT_EQ(lines[0].length, c.title);
    EXPECT_EQ(h.Handed(), (Handed{c.smb, c.smb, c.smb}));
  }
}

// When the host gives no line the detail pass hands nothing on; the other
// passes still do.
TEST(NetBiosCarriers, NoHandOnWhenTheHostGivesNoLine) {
  struct Case {
    const char* root;
    Bytes frame;
    unsigned long lines;
  };
  const Case cases[] = {{"IP-NBDS", DirectDatagram(0x10, kSmb), 13}, {"IP-NBSS", Session(0, 0, 9, kSmb), 4}};
  for (const Case& c : cases) {
    for (unsigned long failAt = 1; failAt <= c.lines; failAt++) {
      SmbHost h;
      h.host.FailDetailLineAt(failAt, true);
      h.Decode(c.root, c.frame);
      EXPECT_EQ(h.handOns.size(), 2u) << c.root << " " << failAt;
    }
  }
}

TEST(NetBiosCarriers, NothingIsReadPastTheCapture) {
  SmbHost h;
  for (const Bytes& d : {DirectDatagram(0x11, kSmb), Datagram(0x14, Cat({Word(0), NbName("PC1", 0x20)}))})
    qvtest::ExpectBoundedAtEveryCut(h, "IP-NBDS", d);
  for (const Bytes& s : {Session(0, 0, 9, kSmb), Session(0x81, 0, 68, Cat({NbName("A", 0x20), NbName("B", 0)})),
                         Session(0x84, 0, 6, Hex("0a 00 00 09 01 bd")), Session(0x83, 0, 1, Hex("8f"))})
    qvtest::ExpectBoundedAtEveryCut(h, "IP-NBSS", s);
}

// Both hand on only once their own lines (list 0) were all made.
TEST(NetBiosCarriers, LinesStopWhenTheHostGivesNone) {
  SmbHost h;
  const qvtest::FrameCheck check = {.leadOnSlot = 0};
  qvtest::ExpectLineFailuresHandled(h, "IP-NBDS", DirectDatagram(0x11, kSmb), check);
  qvtest::ExpectLineFailuresHandled(h, "IP-NBSS", Session(0x81, 0, 68, Cat({NbName("A", 0x20), NbName("B", 0)})), check);
  qvtest::ExpectLineFailuresHandled(h, "IP-NBSS", Session(0x84, 0, 6, Hex("0a 00 00 09 01 bd")), check);
}

}  // namespace
}  // namespace corvaletest
