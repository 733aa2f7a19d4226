// LLC-802.2 (control field kinds, SAP lines, short headers) and LLC-SNAP
// (hand-on through MAC-802.3's table).
#include "fixture.h"

namespace brannocktest {
namespace {

const DWORD OPEN = DETAIL_GROUP_OPEN;
const DWORD CLOSE = DETAIL_GROUP_CLOSE;

// An 802.3 frame whose length covers exactly the given LLC bytes.
Bytes Llc(const Bytes& llc) { return Ether(kHost, kCisco, (WORD)llc.size(), llc); }

using LlcTest = BrannockTest;
BRANNOCK_CONFIGS(LlcTest);

TEST_P(LlcTest, ControlFieldKindsNamesAndHandOn) {
  struct Case {
    const char* header;
    const char* summary;
    const char* controlLine;
    int controlLength;
    int headerLength;
    bool handedOn;
  };
  const Case cases[] = {
      {"06 06 03", "UI", "Unnumbered Frame\t\tUnnumbered Information", 1, 3, true},
      {"06 06 13", "UI", "Unnumbered Frame\t\tUnnumbered Information", 1, 3, true},  // P bit
      {"06 06 0f", "DM", "Unnumbered Frame\t\tDisconnect Mode", 1, 3, false},
      {"06 06 43", "DISC", "Unnumbered Frame\t\tDisconnect", 1, 3, false},
      {"06 06 63", "UA", "Unnumbered Frame\t\tUnnumbered Acknowledgement", 1, 3, false},
      {"06 06 67", "AC0", "Unnumbered Frame\t\tAC0", 1, 3, false},
      {"06 06 7f", "SABME", "Unnumbered Frame\t\tSet Asynchronous Balanced Mode Extended", 1, 3, false},
      {"06 06 87", "FRMR", "Unnumbered Frame\t\tFrame Reject", 1, 3, false},
      {"06 06 af", "XID", "Unnumbered Frame\t\tExtended ID", 1, 3, false},
      {"06 06 bf", "XID", "Unnumbered Frame\t\tExtended ID", 1, 3, false},
      {"06 06 e3", "TEST", "Unnumbered Frame\t\tTest", 1, 3, false},
      {"06 06 e7", "AC1", "Unnumbered Frame\t\tAC1", 1, 3, false},
      {"06 06 23", "Bad Unnumbered Frame", "Unnumbered Frame\t\tBad Unnumbered Frame", 1, 3, false},
      {"06 06 0a 07", "Info-5", "Information Frame\t\tN(S)-5 N(R)-3", 2, 4, true},
      {"06 06 fe ff", "Info-127", "Information Frame\t\tN(S)-127 N(R)-127", 2, 4, true},
      {"06 06 01 07", "RR-3", "Supervisory Frame\t\tReceive Ready 3", 2, 4, false},
      {"06 06 05 08", "RNR-4", "Supervisory Frame\t\tReceive Not Ready 4", 2, 4, false},
      {"06 06 09 0a", "REJ-5", "Supervisory Frame\t\tReject 5", 2, 4, false},
      {"06 06 0d 00", "Bad Supervisory Frame", "Supervisory Frame\t\tBad Supervisory Frame", 2, 4, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    h->defaultParses.clear();
    Bytes llc = Cat({Hex(c.header), Hex("de ad")});
    h->Decode("MAC-802.3", Llc(llc));
    EXPECT_EQ(h->Protocol(), "IEEE 802.2");
    EXPECT_EQ(h->Description(), c.summary);
    ExpectLines(h->Lines(1), {{"IEEE 802.2 Logical Link Control", 14, c.headerLength, OPEN},
                             {Named("Destination SAP\t\t06\tIP", "Destination SAP\t\t06"), 14, 1, 0},
                             {Named("Source SAP\t\t\t\t06\tIP", "Source SAP\t\t\t\t06"), 15, 1, 0},
                             {"Frame Type\t\t\t\tCommand", 15, 1, 0},
                             {c.controlLine, 16, c.controlLength, 0}});
    int end = 14 + (int)llc.size();
    if (c.handedOn)
      ExpectDefaultInEveryPass(*h, 14 + c.headerLength, end, end);
    else
      EXPECT_TRUE(h->defaultParses.empty());
  }
  EXPECT_EQ(h->Frames("IEEE 802.2"), sizeof cases / sizeof cases[0]);
}

TEST_P(LlcTest, GroupDsapIsLookedUpWithoutItsGroupBit) {
  // DSAP AB (AA with the group bit), SSAP 07 (06, a response), UI, then SNAP.
  h->Decode("MAC-802.3", Llc(Hex("ab 07 03  00 00 00 08 00  45 00")));
  EXPECT_EQ(h->Frames("IEEE SNAP"), 1u);
  ExpectLines(h->Lines(1),
             {{"IEEE 802.2 Logical Link Control", 14, 3, OPEN},
              {Named("Destination SAP\t\tAA\tSNAP\tGroup SAP", "Destination SAP\t\tAA\tGroup SAP"), 14, 1, 0},
              {Named("Source SAP\t\t\t\t06\tIP", "Source SAP\t\t\t\t06"), 15, 1, 0},
              {"Frame Type\t\t\t\tResponse", 15, 1, 0},
              {"Unnumbered Frame\t\tUnnumbered Information", 16, 1, 0}});
  ExpectDefaultInEveryPass(*h, 22, 24, 24);
}

// Fewer than 3 bytes are counted but get no words, no lines and no hand-on.
// From 3 bytes the frame is decoded; N(R), the fourth byte of I and S
// frames, is shown only where it was captured.
TEST_P(LlcTest, ShortHeadersShowWhatIsCaptured) {
  struct Case {
    const char* what;
    const char* llc;
    const char* protocol;  // null: MAC-802.3's words remain
    const char* description;
    size_t lines;
    int handOnAt;  // -1: no hand-on
  };
  const Case cases[] = {
      {"two bytes", "06 06", nullptr, "Frame", 0, -1},
      {"an I frame without its N(R) byte", "06 06 02", "IEEE 802.2", "Info-1", 4, 18},
      {"an S frame without its N(R) byte", "06 06 01", "IEEE 802.2", "Frame", 4, -1},
      {"a bad S frame needs no N(R)", "06 06 0d", "IEEE 802.2", "Bad Supervisory Frame", 5, -1},
      {"a UI header with nothing after it", "06 06 03", "IEEE 802.2", "UI", 5, 17},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    h.reset();
    std::string skip;
    h = MakeHost(names(), &skip);
    Bytes llc = Hex(c.llc);
    char length[8];
    snprintf(length, sizeof length, "%04X", (unsigned)llc.size());
    h->Decode("MAC-802.3", Llc(llc));
    EXPECT_EQ(h->Frames("IEEE 802.2"), 1u);
    EXPECT_EQ(h->Bytes64("IEEE 802.2"), llc.size());
    EXPECT_EQ(h->Protocol(), c.protocol ? c.protocol : length);
    EXPECT_EQ(h->Description(), c.description);
    EXPECT_EQ(h->Lines(1).size(), c.lines);
    if (c.handOnAt < 0)
      EXPECT_TRUE(h->defaultParses.empty());
    else
      ExpectDefaultInEveryPass(*h, c.handOnAt, 17, 17);
  }
}

TEST_P(LlcTest, DisabledLlcStillHandsOnUiAndIFrames) {
  *Find("LLC-802.2")->enabled = 0;
  struct Case {
    const char* llc;
    int headerLength;
  };
  for (const Case& c : {Case{"06 06 03 00", 3}, Case{"06 06 02 04", 4}}) {
    SCOPED_TRACE(c.llc);
    h->defaultParses.clear();
    h->Decode("MAC-802.3", Llc(Hex(c.llc)));
    EXPECT_EQ(h->Protocol(), "0004");
    EXPECT_EQ(h->Description(), "Frame");
    EXPECT_TRUE(h->Lines(1).empty());
    ExpectDefaultInEveryPass(*h, 14 + c.headerLength, 18, 18);
  }
}

// Without all its lines LLC-802.2 hands nothing on in the detail pass; the
// other passes are not affected.
TEST_P(LlcTest, FailedDetailLineStopsTheDetailHandOn) {
  Bytes frame = Llc(Hex("06 06 03 00"));
  h->Decode("MAC-802.3", frame);
  const size_t macLines = h->Lines(0).size();
  for (size_t failing : {macLines + 1, macLines + 5}) {
    SCOPED_TRACE(failing);
    h->defaultParses.clear();
    h->host.FailDetailLineAt(failing);
    h->Decode("MAC-802.3", frame);
    EXPECT_EQ(h->Lines(1).size(), failing - macLines - 1);
    ASSERT_EQ(h->defaultParses.size(), 2u);
    EXPECT_EQ(h->defaultParses[1].pass, PASS_SUMMARY);
  }
}

// ---------------------------------------------------------------- LLC-SNAP

using SnapTest = BrannockTest;
BRANNOCK_CONFIGS(SnapTest);

TEST_P(SnapTest, HandsOnThroughMacChildTable) {
  struct Case {
    const char* snap;
    bool toPpoe;
  };
  const Case cases[] = {
      {"00 00 00 08 00", false},  // IP: DefaultParse (no IP plug-in here) at the IP header
      {"00 00 0c 20 00", false},  // bound nowhere here
      {"00 00 00 88 64", true},   // PPOE's session entry, bound under MAC-802.3
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.snap);
    h.reset();
    std::string skip;
    h = MakeHost(names(), &skip);
    Bytes llc = Cat({Hex("aa aa 03"), Hex(c.snap), Hex("11 00 00 05 00 00")});
    h->Decode("MAC-802.3", Llc(llc));
    EXPECT_EQ(h->Frames("IEEE SNAP"), 1u);
    EXPECT_EQ(h->Bytes64("IEEE SNAP"), 11u);
    EXPECT_EQ(h->Frames("Point-to-Point over Ethernet"), c.toPpoe ? 1u : 0u);
    EXPECT_EQ(h->Protocol(), c.toPpoe ? "PPOE-Sess" : "IEEE SNAP");
    EXPECT_EQ(h->Description(), c.toPpoe ? "Data" : "Frame");
    ExpectDefaultInEveryPass(*h, 22, 28, 28);
  }
}

TEST_P(SnapTest, DetailNamesAuthorityAndEtherType) {
  h->Decode("MAC-802.3", Llc(Hex("aa aa 03  00 00 0c 88 64  11 00 00 05 00 00")));
  ExpectLines(h->Lines(2),
             {{"IEEE Sub-Network Access Protocol", 17, 5, OPEN},
              {Named("Authority\t\t\t\t00000C\tCisco", "Authority\t\t\t\t00000C"), 17, 3, 0},
              {Named("EtherType\t\t\t\t8864\t\tPoint-to-Point over Ethernet Session", "EtherType\t\t\t\t8864"), 20, 2,
               CLOSE}});
  h->Decode("MAC-802.3", Llc(Hex("aa aa 03  ac de 48 9a bc")));
  ExpectLines(h->Lines(2), {{"IEEE Sub-Network Access Protocol", 17, 5, OPEN},
                           {"Authority\t\t\t\tACDE48", 17, 3, 0},
                           {"EtherType\t\t\t\t9ABC", 20, 2, CLOSE}});
}

TEST_P(SnapTest, DisabledSnapStillHandsOn) {
  *Find("LLC-SNAP")->enabled = 0;
  h->Decode("MAC-802.3", Llc(Hex("aa aa 03  00 00 00 88 64  11 00 00 05 00 00")));
  EXPECT_EQ(h->Frames("IEEE SNAP"), 1u);
  EXPECT_TRUE(h->Lines(2).empty());
  EXPECT_EQ(h->Protocol(), "PPOE-Sess");
  EXPECT_FALSE(h->Lines(3).empty());
  ExpectDefaultInEveryPass(*h, 22, 28, 28);
}

}  // namespace
}  // namespace brannocktest
