// NOVELL-IPX: the header's lines, the trim, the choice of child by type and
// socket, and packets whose lengths do not hold a header.
#include "tessary_host.h"

namespace tessarytest {
namespace {

const Bytes kNcpCreate = Hex("11 11 00 ff 00 ff");

Lines IpxLines(int at, const std::string& length, const std::string& type, const std::string& destinationSocket,
               const std::string& sourceSocket) {
  return {
      {"Novell Internet Packet Exchange", at, 30, OPEN},
      {"Packet Checksum\t\t0xFFFF", at, 2, 0},
      {"Packet Length\t\t\t" + length, at + 2, 2, 0},
      {"Packet Control\t\t\t0", at + 4, 1, 0},
      {"Packet Type\t\t\t\t" + type, at + 5, 1, 0},
      {"Packet Destination", at + 6, 12, OPEN},
      {"Network\t\t\t\t00000001", at + 6, 4, 0},
      {"Node\t\t\t\t\t00-00-0C-12-34-56", at + 10, 6, 0},
      {"Socket\t\t\t\t" + destinationSocket, at + 16, 2, CLOSE},
      {"Packet Source", at + 18, 12, OPEN},
      {"Network\t\t\t\t0A0B0C0D", at + 18, 4, 0},
      {"Node\t\t\t\t\t00-A0-C9-14-C8-29", at + 22, 6, 0},
      {"Socket\t\t\t\t" + sourceSocket, at + 28, 2, CLOSE},
  };
}

TEST(Ipx, HeaderLines) {
  TessaryHost h;
  const Bytes packet = Ipx(17, 0x0451, 0x4003, kNcpCreate);
  h.Decode("NOVELL-IPX", packet);
  ExpectLines(h.Lines(0), IpxLines(0, "36", "17\tNetware Core Protocol", "0451\tNetware Core Protocol", "4003"));
  EXPECT_EQ(h.Frames("IPX"), 1u);
  EXPECT_EQ(h.Bytes64("IPX"), 36u);
  // Type and socket names, hex in upper case for the checksum and networks,
  // lower case for sockets.
  const struct {
    BYTE type;
    WORD socket;
    const char* typeText;
    const char* socketText;
  } names[] = {
      {1, 0x0453, "1\tNovell Routing Information Protocol", "0453\tNovell Routing Information Protocol"},
      {2, 0x0456, "2\tIPX Echo Protocol", "0456\tDiagnostic Protocol on IPX"},
      {3, 0x0457, "3\tIPX Error Protocol", "0457\tSerialization Protocol on IPX"},
      {4, 0x0452, "4\tIPX Packet Exchange Protocol", "0452\tNovell Service Advertising Protocol"},
      {5, 0x0550, "5\tIPX Sequential Packet Exchange Protocol", "0550\tName Management Protocol Server on IPX"},
      {20, 0x0455, "20\tNovell NETBIOS Protocol", "0455\tNovell NETBIOS Protocol"},
      {0, 0x0551, "0\t", "0551\tName Management Protocol Name Claim on IPX"},
      {255, 0x0552, "255\t", "0552\tName Management Protocol Workstation on IPX"},
      {6, 0x0553, "6\t", "0553\tName Management Protocol Mailslot on IPX"},
      {4, 0xABCD, "4\tIPX Packet Exchange Protocol", "abcd"},
  };
  for (const auto& n : names) {
    SCOPED_TRACE(n.socketText);
    h.Decode("NOVELL-IPX", Ipx(n.type, n.socket, 0x4003));
    ExpectLines(h.Lines(0), IpxLines(0, "30", n.typeText, n.socketText, "4003"));
  }
  EXPECT_EQ(h.Protocol(), "IPX");
  EXPECT_EQ(h.Description(), "Frame");
}

// The node's name-table name follows its hex text, raw addresses or not.
TEST(Ipx, NodeShowsItsName) {
  TessaryHost h;
  ASSERT_NE(h.table()->AddName("FS1", Hex("00 00 0c 12 34 56").data(), 6, 0), nullptr);
  for (DWORD raw : {0u, (DWORD)MT_RAW_ADDRESSES}) {
    h.Flags() = raw;
    h.Decode("NOVELL-IPX", Ipx(17, 0x0451, 0x4003, kNcpCreate));
    const auto nodes = qvtest::LinesStarting(h.Lines(0), "Node");
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[0].text, "Node\t\t\t\t\t00-00-0C-12-34-56\tFS1");
    EXPECT_EQ(nodes[1].text, "Node\t\t\t\t\t00-A0-C9-14-C8-29");
  }
}

// The child by (type << 16) | destination socket, then source socket, then
// the child kept for the type alone; it gets the payload at 30, the frame
// trimmed to the IPX length.
TEST(Ipx, ChildByTypeAndSocket) {
  struct Bind {
    DWORD key;
    const char* standIn;
  };
  struct Case {
    const char* name;
    BYTE type;
    WORD destination, source;
    std::vector<Bind> binds;
    const char* protocol;  // summary cell: the child's words, or IPX's
    std::vector<std::string> receivers;
  };
  const Case cases[] = {
      {"NCP by destination socket", 17, 0x0451, 0x4003, {}, "NCP", {}},
      {"NCP by source socket", 17, 0x4003, 0x0451, {}, "NCP", {}},
      {"NCP on other sockets by its type", 17, 0x5000, 0x4003, {}, "NCP", {}},
      {"SAP by type 4 and socket 0x0452", 4, 0x0452, 0x4008, {}, "IPX SAP", {}},
      {"SAP answer of type 0 from socket 0x0452", 0, 0x4009, 0x0452, {}, "IPX SAP", {}},
      {"RIP", 1, 0x0453, 0x0453, {}, "IPX RIP", {}},
      {"RIP socket with another type", 4, 0x0453, 0x0453, {}, "IPX", {"default@30"}},
      {"destination before source", 4, 0x5000, 0x6000, {{0x46000, "A"}, {0x45000, "B"}}, "IPX", {"B@30"}},
      {"the newest binding of a key", 4, 0x5000, 0x6000, {{0x45000, "A"}, {0x45000, "B"}}, "IPX", {"B@30"}},
      {"no type fallback but NCP's", 5, 0x5000, 0x6000, {}, "IPX", {"default@30"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TessaryHost h;
    for (const Bind& b : c.binds) h.BindStandIn("NOVELL-IPX", b.key, b.standIn);
    // The packet is shorter than the padded frame: the child sees only it.
    Bytes frame = Ipx(c.type, c.destination, c.source, kNcpCreate);
    frame.resize(60, 0);
    h.Decode("NOVELL-IPX", frame);
    EXPECT_EQ(h.Protocol(), c.protocol);
    EXPECT_EQ(h.Receivers(PASS_SUMMARY), c.receivers);
    for (const HandOn& on : h.handOns) {
      EXPECT_EQ(on.frameLength, 36);
      EXPECT_EQ(on.capturedLength, 36);
      if (on.pass == PASS_DETAIL && on.to != "default") {
        EXPECT_EQ(on.slot, 1);
      }
    }
    // IPX counts its frame before the trim.
    EXPECT_EQ(h.Bytes64("IPX"), 60u);
  }
}

// Disabled, IPX shows nothing but still counts, trims and hands on: the
// child gets the packet alone, past the header, in every pass.
TEST(Ipx, DisabledStillTrimsAndHandsOn) {
  TessaryHost h;
  h.BindStandIn("NOVELL-IPX", 0x45000, "A");
  h.Enabled("NOVELL-IPX") = 0;
  Bytes frame = Ipx(4, 0x5000, 0x6000, kNcpCreate);
  frame.resize(60, 0);
  h.Decode("NOVELL-IPX", frame);
  EXPECT_TRUE(h.Lines().empty());
  EXPECT_EQ(h.Protocol(), "");
  EXPECT_EQ(h.Bytes64("IPX"), 60u);
  ASSERT_EQ(h.handOns.size(), 3u);
  for (const HandOn& on : h.handOns) {
    EXPECT_EQ(on.to, "A");
    EXPECT_EQ(on.offset, 30);
    EXPECT_EQ(on.frameLength, 36);
    EXPECT_EQ(on.capturedLength, 36);
  }
  EXPECT_EQ(h.handOns[2].slot, 1);
}

// A declared length past the frame trims nothing.
TEST(Ipx, LengthPastTheFrameKeepsTheFrame) {
  TessaryHost h;
  h.BindStandIn("NOVELL-IPX", 0x45000, "A");
  IpxFields f;
  f.type = 4;
  f.destination = "00 00 00 01  00 00 0c 12 34 56  50 00";
  f.length = 400;
  h.Decode("NOVELL-IPX", Ipx(f, Bytes(10, 0)));
  ASSERT_EQ(h.handOns.size(), 3u);
  EXPECT_EQ(h.handOns[0].frameLength, 40);
  EXPECT_EQ(h.handOns[0].capturedLength, 40);
}

// A packet length below the 30 bytes of its own header used to leave the
// frame's length below the child's offset, so that every child counted
// negative bytes. Such a packet is malformed: no trim, DefaultParse where
// it stands.
TEST(Ipx, LengthBelowItsHeaderIsMalformed) {
  for (int length : {0, 1, 29}) {
    SCOPED_TRACE(length);
    TessaryHost h;
    IpxFields f;
    f.length = length;
    Bytes frame = Ipx(f, kNcpCreate);
    frame.resize(60, 0);
    h.Decode("NOVELL-IPX", frame);
    EXPECT_EQ(h.Receivers(PASS_COUNT), std::vector<std::string>{"default@0"});
    for (const HandOn& on : h.handOns) EXPECT_EQ(on.frameLength, 60);
    EXPECT_EQ(h.Frames("NCP"), 0u);
    EXPECT_EQ(h.Protocol(), "IPX");
    EXPECT_EQ(qvtest::LinesStarting(h.Lines(0), "Packet Length")[0].text, "Packet Length\t\t\t" + std::to_string(length));
  }
  // 30 is a header with an empty payload.
  TessaryHost h;
  IpxFields f;
  f.length = 30;
  Bytes frame = Ipx(f);
  frame.resize(60, 0);
  h.Decode("NOVELL-IPX", frame);
  EXPECT_EQ(h.Frames("NCP"), 1u);
  EXPECT_EQ(h.Bytes64("NCP"), 0u);
}

// The real capture: 802.2 over an 802.3 length of 41, an IPX length of 29.
TEST(Ipx, InvalidLengthCapture) {
  EthernetHost h;
  const std::vector<Packet> packets = ReadPcap(RealCapture("ipx-invalid-length.pcap"));
  ASSERT_EQ(packets.size(), 1u);
  h.Decode("MAC-802.3", packets[0].data, qvhost::RUN_ALL, packets[0].wireLength);
  // The fields as tshark reads them: checksum 0xffff, length 29, 0 hops,
  // type NCP (0x11), 8DC23C00.18:00:3e:2b:68:56 socket 0x402b from
  // 0A8808AA.00:00:00:00:00:01 socket 0x0451.
  ExpectLines(h.Lines(2), {
                              {"Novell Internet Packet Exchange", 17, 30, OPEN},
                              {"Packet Checksum\t\t0xFFFF", 17, 2, 0},
                              {"Packet Length\t\t\t29", 19, 2, 0},
                              {"Packet Control\t\t\t0", 21, 1, 0},
                              {"Packet Type\t\t\t\t17\tNetware Core Protocol", 22, 1, 0},
                              {"Packet Destination", 23, 12, OPEN},
                              {"Network\t\t\t\t8DC23C00", 23, 4, 0},
                              {"Node\t\t\t\t\t18-00-3E-2B-68-56", 27, 6, 0},
                              {"Socket\t\t\t\t402b", 33, 2, CLOSE},
                              {"Packet Source", 35, 12, OPEN},
                              {"Network\t\t\t\t0A8808AA", 35, 4, 0},
                              {"Node\t\t\t\t\t00-00-00-00-00-01", 39, 6, 0},
                              {"Socket\t\t\t\t0451\tNetware Core Protocol", 45, 2, CLOSE},
                          });
  EXPECT_EQ(h.Receivers(PASS_SUMMARY), std::vector<std::string>{"default@17"});
  EXPECT_EQ(h.defaultParses[0].frameLength, 55);  // the 802.3 length's trim, not IPX's
  EXPECT_EQ(h.Frames("IPX"), 1u);
  EXPECT_EQ(h.Bytes64("IPX"), 38u);
  EXPECT_EQ(h.Frames("NCP"), 0u);
  EXPECT_EQ(h.Protocol(), "IPX");
}

// A raw 802.3 length below 30 trims the frame inside the IPX header, whose
// own length may still say 30 or more: IPX used to move 30 bytes on all the
// same. Such a header is malformed too; a length of 0 leaves IPX nothing to
// count at all.
TEST(Ipx, RawLengthBelowTheHeaderIsMalformed) {
  struct Case {
    WORD length;  // 802.3
    uint64_t ipxFrames, ipxBytes;
  };
  for (const Case& c : {Case{0, 0, 0}, Case{2, 1, 2}, Case{20, 1, 20}, Case{29, 1, 29}}) {
    SCOPED_TRACE(c.length);
    EthernetHost h;
    h.Decode("MAC-802.3", qvtest::Ether("00 00 0c 12 34 56", "00 a0 c9 14 c8 29", c.length,
                                        Ipx(17, 0x0451, 0x4003, kNcpCreate), 64));
    EXPECT_EQ(h.Receivers(PASS_COUNT), std::vector<std::string>{"default@14"});
    EXPECT_EQ(h.Frames("IPX"), c.ipxFrames);
    EXPECT_EQ(h.Bytes64("IPX"), c.ipxBytes);
    EXPECT_EQ(h.Frames("NCP"), 0u);
  }
  // With room for the header it goes on.
  EthernetHost h;
  h.Decode("MAC-802.3",
           qvtest::Ether("00 00 0c 12 34 56", "00 a0 c9 14 c8 29", 36, Ipx(17, 0x0451, 0x4003, kNcpCreate), 64));
  EXPECT_EQ(h.Frames("NCP"), 1u);
  EXPECT_EQ(h.Bytes64("NCP"), 6u);
  EXPECT_EQ(h.Protocol(), "NCP");
}

// The capture ends inside the header: the lines end at the first field not
// captured, and no child is chosen by fields that are not there.
TEST(Ipx, HeaderCutByTheCapture) {
  TessaryHost h;
  const Bytes packet = Ipx(17, 0x0451, 0x4003, kNcpCreate);
  h.Decode("NOVELL-IPX", Bytes(packet.begin(), packet.begin() + 27), qvhost::RUN_ALL, (int)packet.size());
  ExpectLines(h.Lines(0), {
                              {"Novell Internet Packet Exchange", 0, 30, OPEN},
                              {"Packet Checksum\t\t0xFFFF", 0, 2, 0},
                              {"Packet Length\t\t\t36", 2, 2, 0},
                              {"Packet Control\t\t\t0", 4, 1, 0},
                              {"Packet Type\t\t\t\t17\tNetware Core Protocol", 5, 1, 0},
                              {"Packet Destination", 6, 12, OPEN},
                              {"Network\t\t\t\t00000001", 6, 4, 0},
                              {"Node\t\t\t\t\t00-00-0C-12-34-56", 10, 6, 0},
                              {"Socket\t\t\t\t0451\tNetware Core Protocol", 16, 2, CLOSE},
                              {"Packet Source", 18, 12, OPEN},
                              {"Network\t\t\t\t0A0B0C0D", 18, 4, 0},
                          });
  EXPECT_EQ(h.Receivers(PASS_COUNT), std::vector<std::string>{"default@0"});
  EXPECT_EQ(h.Frames("NCP"), 0u);
}

// Padded behind the packet, so that the trim shows in what the child gets:
// a bound child and DefaultParse get it trimmed, past the header, whatever
// lines the host refused.
TEST(Ipx, BoundedAndLineFailures) {
  TessaryHost h;
  h.BindStandIn("NOVELL-IPX", 0x45000, "A");
  Bytes toChild = Ipx(4, 0x5000, 0x6000, kNcpCreate), toDefault = Ipx(5, 0x5000, 0x6000, kNcpCreate);
  toChild.resize(60, 0);
  toDefault.resize(60, 0);
  for (const Bytes& frame :
       {Ipx(17, 0x0451, 0x4003, kNcpCreate), Ipx(4, 0x0452, 0x4008, Hex("00 01 00 04")), toChild, toDefault}) {
    qvtest::ExpectBoundedAtEveryCut(h, "NOVELL-IPX", frame);
    qvtest::ExpectLineFailuresHandled(h, "NOVELL-IPX", frame);
  }
}

}  // namespace
}  // namespace tessarytest
