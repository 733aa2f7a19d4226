// PPP-LCP packets decoded from offset 0: header, options, Protocol-Reject,
// the protocol-number names, and every bound of the option walk.
#include "dorrow_host.h"

namespace dorrowtest {
namespace {

const char kLcp[] = "PPP-LCP";

// The title and header lines of a packet at frame offset `at`.
Lines Head(int titleLength, const char* code, int identifier, int length, DWORD lengthFlags = 0, int at = 0) {
  return {{"PPP Link Control Protocol", at, titleLength, OPEN},
          {std::string("Code\t\t\t\t\t\t") + code, at, 1, 0},
          {"Identifier\t\t\t\t" + std::to_string(identifier), at + 1, 1, 0},
          {"Length\t\t\t\t\t" + std::to_string(length), at + 2, 2, lengthFlags}};
}

// An option group whose data (if any) is dumped; the group's last line ends it.
Lines Option(int at, const char* name, int code, int lengthByte, const Bytes& data, int groupLength = -1) {
  Lines lines = {{std::string("Option\t\t\t\t\t") + name, at, groupLength >= 0 ? groupLength : 2 + (int)data.size(), OPEN},
                 {"Code\t\t\t\t\t" + std::to_string(code), at, 1, 0},
                 {"Length\t\t\t\t" + std::to_string(lengthByte), at + 1, 1, CLOSE}};
  if (data.empty()) return lines;
  lines.back().flags = 0;
  return lines + Dump("Option Data", at + 2, data, 1);
}

const Bytes kConfigureRequest = Hex("01 01 00 0e 01 04 05 dc 05 06 12 34 56 78");

TEST(Lcp, ConfigureRequestShowsEachOptionAsAGroup) {
  DorrowHost h;
  h.Decode(kLcp, kConfigureRequest);
  ExpectLines(h.Lines(0), Head(14, "Configuration Request", 1, 14) +
                              Option(4, "Maximum ReceiveUnit", 1, 4, Hex("05 dc")) +
                              Option(8, "Magic Number", 5, 6, Hex("12 34 56 78")));
  EXPECT_EQ(h.Protocol(), "LCP");
  EXPECT_EQ(h.Description(), "Configuration Request");
  EXPECT_EQ(h.Frames("PPP Link Control Protocol"), 1u);
}

TEST(Lcp, OptionNames) {
  struct Case {
    BYTE type;
    const char* name;
  };
  const Case cases[] = {{0, "Reserved"},
                        {1, "Maximum ReceiveUnit"},
                        {2, "Asynch Control Character Map"},
                        {12, "Multi-Link-Procedure (Deprecated)"},
                        {19, "Multilink Endpoint Discriminator"},
                        {20, "Unknown"},
                        {21, "DCE Identifier"},
                        {29, "Simple Data Link on SONET"},
                        {30, "Unknown"},
                        {255, "Unknown"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    DorrowHost h;
    h.Decode(kLcp, Bytes{3, 9, 0, 6, c.type, 2});
    ExpectLines(h.Lines(0), Head(6, "Configuration Nak", 9, 6) + Option(4, c.name, c.type, 2, {}));
  }
}

// The option walk runs over the packet: an option that claims more than is
// left is cut at the packet's end (its group and its dump), and the walk
// ends there, whatever bytes follow the packet.
TEST(Lcp, OptionsEndAtThePacket) {
  struct Case {
    const char* name;
    Bytes packet;
    Lines options;
  };
  const Case cases[] = {
      {"length past the packet, no data left",
       Hex("01 01 00 0c 05 06 12 34 56 78 03 09 c0 23 00 00 00 00 00"),
       Option(4, "Magic Number", 5, 6, Hex("12 34 56 78")) + Option(10, "Authentication Protocol", 3, 9, {}, 2)},
      {"length past the packet, some data left",
       Hex("02 01 00 0c 01 04 05 dc 02 08 aa bb cc dd ee ff"),
       Option(4, "Maximum ReceiveUnit", 1, 4, Hex("05 dc")) +
           Option(8, "Asynch Control Character Map", 2, 8, Hex("aa bb"), 4)},
      {"length 255 in a short packet",
       Hex("04 01 00 07 11 ff 05 dc 00 00"),
       Option(4, "Multilink-MRRU", 17, 255, Hex("05"), 3)},
      {"length 1 ends the list", Hex("01 01 00 0a 07 02 08 01 00 00"), Option(4, "Protocol Compression", 7, 2, {})},
      {"length 0 ends the list", Hex("01 01 00 08 00 00 01 04"), {}},
      {"one byte left is no option", Hex("01 01 00 07 08 02 01"), Option(4, "Address Compression", 8, 2, {})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DorrowHost h;
    h.Decode(kLcp, c.packet);
    const BYTE code = c.packet[0];
    const int length = c.packet[3];
    const char* codes[] = {"", "Configuration Request", "Configuration Ack", "Configuration Nak", "Configuration Reject"};
    ExpectLines(h.Lines(0), Head(length, codes[code], 1, length) + c.options);
  }
}

// The packet ends at the smaller of its length field and the capture; the
// length field is read only when it is captured.
TEST(Lcp, ShortPacketsShowTheirTitleOnly) {
  struct Case {
    const char* name;
    Bytes packet;
    int titleLength;
  };
  const Case cases[] = {
      {"nothing captured", {}, 0},
      {"code only", Hex("01"), 1},
      {"no length field", Hex("01 01"), 2},
      {"half a length field", Hex("01 01 00"), 3},
      {"length field below the header", Hex("09 01 00 03 00 00 00 00"), 3},
      {"length field 0", Hex("09 01 00 00 00 00 00 00"), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DorrowHost h;
    h.Decode(kLcp, c.packet);
    ExpectLines(h.Lines(0), {{"PPP Link Control Protocol", 0, c.titleLength, OPEN}});
  }
}

TEST(Lcp, CaptureShorterThanTheLengthField) {
  DorrowHost h;
  h.Decode(kLcp, Bytes(kConfigureRequest.begin(), kConfigureRequest.begin() + 11));
  ExpectLines(h.Lines(0), Head(11, "Configuration Request", 1, 14) +
                              Option(4, "Maximum ReceiveUnit", 1, 4, Hex("05 dc")) +
                              Option(8, "Magic Number", 5, 6, Hex("12"), 3));
}

// The summary names the code; with nothing captured it says "Unknown".
// Codes without options or a rejected protocol end the title group on their
// Length line, except the unknown ones, which leave it open.
TEST(Lcp, CodesInSummaryAndDetail) {
  struct Case {
    BYTE code;
    const char* text;
    DWORD lengthFlags;
  };
  const Case cases[] = {
      {0, "Unknown", 0},
      {5, "Configuration Termination Request", CLOSE},
      {6, "Configuration Termination Ack", CLOSE},
      {7, "Configuration Code Reject", CLOSE},
      {9, "Configuration Echo Request", CLOSE},
      {10, "Configuration Echo Reply", CLOSE},
      {11, "Configuration Discard Request", CLOSE},
      {12, "Unknown", 0},
      {255, "Unknown", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    DorrowHost h;
    h.Decode(kLcp, Bytes{c.code, 0x22, 0, 8, 0x12, 0x34, 0x56, 0x78});
    ExpectLines(h.Lines(0), Head(8, c.text, 0x22, 8, c.lengthFlags));
    EXPECT_EQ(h.Description(), c.text);
  }
  DorrowHost h;
  h.Decode(kLcp, {});
  EXPECT_EQ(h.Protocol(), "LCP");
  EXPECT_EQ(h.Description(), "Unknown");
}

const Bytes kProtocolReject = Hex("08 05 00 0e 80 21 01 02 00 0a 03 06 c0 a8");

TEST(Lcp, ProtocolRejectShowsTheProtocolAndTheRejectedHeader) {
  DorrowHost h;
  h.Decode(kLcp, kProtocolReject);
  ExpectLines(h.Lines(0), Head(14, "Configuration Protocol Reject", 5, 14) +
                              Lines{{"Protocol\t\t\t\t\t8021\tInternet Protocol Control Protocol", 4, 2, 0},
                                    {"Packet Header", 6, 8, OPEN},
                                    {"Code\t\t\t\t\tConfiguration Request", 6, 1, 0},
                                    {"Identifier\t\t\t2", 7, 1, 0},
                                    {"Length\t\t\t\t10", 8, 2, CLOSE + 1}});
  EXPECT_EQ(h.Description(), "Configuration Protocol Reject");
}

// Fewer than six bytes after the header: nothing after the Length line, and
// the title group stays open. Six: the rejected header alone.
TEST(Lcp, ShortProtocolReject) {
  for (int length : {4, 5, 9}) {
    SCOPED_TRACE(length);
    DorrowHost h;
    h.Decode(kLcp, Bytes(kProtocolReject.begin(), kProtocolReject.begin() + length));
    ExpectLines(h.Lines(0), Head(length, "Configuration Protocol Reject", 5, 14));
  }
  DorrowHost h;
  Bytes packet = Hex("08 05 00 0a c0 23 0c 07 01 00 ff ff");  // length field 10, two bytes beyond
  h.Decode(kLcp, packet);
  ExpectLines(h.Lines(0), Head(10, "Configuration Protocol Reject", 5, 10) +
                              Lines{{"Protocol\t\t\t\t\tC023\tPassword Authentication Protocol", 4, 2, 0},
                                    {"Packet Header", 6, 4, OPEN},
                                    {"Code\t\t\t\t\tUnknown", 6, 1, 0},
                                    {"Identifier\t\t\t7", 7, 1, 0},
                                    {"Length\t\t\t\t256", 8, 2, CLOSE + 1}});
}

// The rows the table must hold as they stand, a few more of the registry,
// and numbers it does not hold.
TEST(Lcp, ProtocolNames) {
  struct Case {
    WORD number;
    const char* text;
  };
  const Case cases[] = {
      {0x0021, "Internet Protocol version 4"},
      {0x004D, "SNA"},
      {0x4001, "Cray Communications Control Protocol"},
      {0x8021, "Internet Protocol Control Protocol"},
      {0x80FD, "Compression Control Protocol"},
      {0xC021, "Link Control Protocol"},
      {0xC023, "Password Authentication Protocol"},
      {0xC223, "Challenge Handshake Authentication Protocol"},
      {0xC229, "Mitsubishi Security Info Exch Ptcl)"},
      {0xC281, "Proprietary Authentication Protocol"},
      {0xC283, "Proprietary Authentication Protocol"},
      {0x0001, "Padding Protocol"},
      {0x0057, "Internet Protocol version 6"},
      {0x0281, "MPLS Unicast"},
      {0xC227, "Extensible Authentication Protocol"},
      {0xC481, "Proprietary Node ID Authentication Protocol"},
      {0x0000, "Unknown Protocol Identifier"},
      {0x0022, "Unknown Protocol Identifier"},
      {0xFFFF, "Unknown Protocol Identifier"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DorrowHost h;
    h.Decode(kLcp, Bytes{8, 1, 0, 10, (BYTE)(c.number >> 8), (BYTE)c.number, 1, 1, 0, 4});
    char want[128];
    snprintf(want, sizeof want, "Protocol\t\t\t\t\t%04X\t%s", c.number, c.text);
    const auto lines = qvtest::LinesStarting(h.Lines(0), "Protocol\t");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, want);
  }
}

TEST(Lcp, NothingIsReadPastTheCapture) {
  DorrowHost h;
  for (const Bytes& packet : {kConfigureRequest, kProtocolReject, Hex("01 01 00 0c 05 06 12 34 56 78 03 09 c0 23"),
                              Hex("09 01 00 08 12 34 56 78")}) {
    qvtest::ExpectBoundedAtEveryCut(h, kLcp, packet, {.linesWithinCapture = true});
  }
}

// A dump made by the host ends its own group; when the host runs out of
// lines inside a dump the closes after it cannot follow the full decode, so
// frames with dumps are checked without them.
TEST(Lcp, LinesStopWhenTheHostGivesNone) {
  DorrowHost h;
  qvtest::ExpectLineFailuresHandled(h, kLcp, kProtocolReject);
  qvtest::ExpectLineFailuresHandled(h, kLcp, Hex("0a 01 00 08 12 34 56 78"));
  qvtest::ExpectLineFailuresHandled(h, kLcp, kConfigureRequest, {.keepsCloses = false});
}

// Behind MAC-802.3 the Ethernet padding is no part of the packet.
TEST(Lcp, FromTheEthernetRootPaddingIsNotAnOption) {
  NEED_BRANNOCK();
  EthernetHost h;
  h.Decode("MAC-802.3", EthernetFrame(0xC021, kConfigureRequest));
  ExpectLines(h.Lines(1), Head(14, "Configuration Request", 1, 14, 0, 14) +
                              Option(18, "Maximum ReceiveUnit", 1, 4, Hex("05 dc")) +
                              Option(22, "Magic Number", 5, 6, Hex("12 34 56 78")));
  EXPECT_EQ(h.Protocol(), "LCP");
  EXPECT_EQ(h.Description(), "Configuration Request");
  EXPECT_EQ(h.Bytes64("PPP Link Control Protocol"), 46u);
  ASSERT_EQ(h.defaultParses.size(), 3u);
  EXPECT_EQ(h.defaultParses[0].offset, 14);
}

}  // namespace
}  // namespace dorrowtest
