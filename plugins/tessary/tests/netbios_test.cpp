// NetBIOS over IPX and NMPI: the summaries and lines of each layout, and
// where each pass skips the header and hands an SMB message on.
#include "tessary_host.h"

namespace tessarytest {
namespace {

const char* const kSmb = "ff534d42 72 000000";

// A 16-byte NetBIOS name: 15 characters padded with blanks, then the suffix.
Bytes Name(const std::string& text, BYTE suffix) {
  Bytes b(text.begin(), text.end());
  b.resize(15, ' ');
  b.push_back(suffix);
  return b;
}

// A 50-byte name packet: eight networks, the flags, the command, the name.
Bytes NamePacket(BYTE flags, BYTE command, const Bytes& name) {
  return Cat({Hex("00000001 00000002 00000000 00000000 00000000 00000000 00000000 0000ABCD"), Bytes{flags, command},
              name});
}
Bytes Datagram(BYTE command, const Bytes& payload = {}) {
  return Cat({Bytes{0, command}, Name("WORKGROUP", 0x1D), Name("PC1", 0x00), payload});
}
// Session fields, shown little-endian.
Bytes Session(BYTE command, const Bytes& payload = {}) {
  return Cat({Bytes{0x40, command}, Hex("0a00 0b00 0100 3600 0000 2400 0200 0000"), payload});
}

struct NetBiosHost : TessaryHost {
  NetBiosHost() : TessaryHost({"MS-SMB"}) {}
};

TEST(IpxNetBios, NamePacket) {
  NetBiosHost h;
  h.Decode("NOVELL-NETBIOS", NamePacket(0xC5, 1, Name("FILESRV", 0x20)));
  EXPECT_EQ(h.Protocol(), "IPX NETBIOS");
  EXPECT_EQ(h.Description(), "Name Query FILESRV.[File Server Service]");
  ExpectLines(h.Lines(0), {{"Novell NETBIOS Protocol", 0, 50, OPEN},
                           {"Novell Routing Information Protocol", 0, 32, OPEN},
                           {"Network\t\t\t\t00000001", 0, 4, 0},
                           {"Network\t\t\t\t00000002", 4, 4, 0},
                           {"Network\t\t\t\t00000000", 8, 4, 0},
                           {"Network\t\t\t\t00000000", 12, 4, 0},
                           {"Network\t\t\t\t00000000", 16, 4, 0},
                           {"Network\t\t\t\t00000000", 20, 4, 0},
                           {"Network\t\t\t\t00000000", 24, 4, 0},
                           {"Network\t\t\t\t0000ABCD", 28, 4, CLOSE},
                           {"Name Flags", 32, 1, OPEN},
                           {"Group Name\t\t\t[1xxxxxxx]\tOn", 32, 1, 0},
                           {"In Use\t\t\t\t[x1xxxxxx]\tOn", 32, 1, 0},
                           {"Registered\t\t\t[xxxxx1xx]\tOn", 32, 1, 0},
                           {"Duplicate\t\t\t[xxxxxx0x]\tOff", 32, 1, 0},
                           {"Deregistered\t\t[xxxxxxx1]\tOn", 32, 1, CLOSE},
                           {"Command\t\t\t\t\tName Query ", 33, 1, 0},
                           {"NetBios Name\t\t\tFILESRV.[File Server Service]", 34, 16, 0}});
  EXPECT_EQ(h.Frames("IPX NETBIOS"), 1u);
  EXPECT_EQ(h.Bytes64("IPX NETBIOS"), 50u);
  EXPECT_TRUE(h.handOns.empty());  // nothing left behind the packet
}

TEST(IpxNetBios, DatagramAndSessionHeaders) {
  {
    NetBiosHost h;
    h.Decode("NOVELL-NETBIOS", Datagram(11, Hex(kSmb)));
    EXPECT_EQ(h.Description(), "Datagram WORKGROUP.[Master Browser]");
    ExpectLines(h.Lines(0), {{"Novell NETBIOS Protocol", 0, 34, OPEN},
                             {"Command\t\t\t\t\tDatagram ", 0, 0, 0},
                             {"Destination\t\t\t\tWORKGROUP.[Master Browser]", 0, 0, 0},
                             {"Source\t\t\t\t\tPC1.[Workstation Service]", 0, 0, 0}});
  }
  {
    NetBiosHost h;
    h.Decode("NOVELL-NETBIOS", Session(6, Hex(kSmb)));
    EXPECT_EQ(h.Description(), "Data ");
    ExpectLines(h.Lines(0), {{"Novell NETBIOS Protocol", 0, 18, OPEN},
                             {"Command\t\t\t\t\t6", 1, 1, 0},
                             {"Flags", 0, 1, 0},
                             {"Source ID\t\t\t\t10", 2, 2, 0},
                             {"Destination ID\t\t\t11", 4, 2, 0},
                             {"Transmit Information", 6, 8, OPEN},
                             {"Sequence Number\t1", 6, 2, 0},
                             {"Packet Length\t\t54", 8, 2, 0},
                             {"Fragment Offset\t0", 10, 2, 0},
                             {"Fragment Length\t36", 12, 2, CLOSE},
                             {"Receive Information", 14, 4, OPEN},
                             {"Sequence Number\t2", 14, 2, 0},
                             {"Fragment Offset\t0", 16, 2, CLOSE}});
  }
}

// The summary skips by its command, the count and the detail by the
// layout; each hands on an SMB message captured where it arrives. The
// count's skip makes MS-SMB count the SMB behind NetBIOS.
TEST(IpxNetBios, EachPassSkipsTheHeaderBeforeItsSmbTest) {
  using V = std::vector<std::string>;
  Bytes smbInNetworks = NamePacket(0, 6, Name("X", 0));
  const Bytes smb = Hex(kSmb);
  std::copy(smb.begin(), smb.begin() + 4, smbInNetworks.begin() + 18);
  const struct {
    const char* name;
    Bytes packet;
    V count, summary, detail;
    std::string description;
  } cases[] = {
      {"datagram", Datagram(12, Hex(kSmb)), {"MS-SMB@34"}, {"MS-SMB@34"}, {"MS-SMB@34"},
       "Broadcast WORKGROUP.[Master Browser]"},
      {"session data", Session(6, Hex(kSmb)), {"MS-SMB@18"}, {"MS-SMB@18"}, {"MS-SMB@18"}, "Data "},
      // a command the summary does not know moves it nowhere
      {"session ack", Session(247, Hex(kSmb)), {"MS-SMB@18"}, {}, {"MS-SMB@18"}, "Data Ack "},
      // a 50-byte packet whose command says data: the summary moves 18, the
      // detail 50, and only the summary finds the signature
      {"name packet with a data command", smbInNetworks, {}, {"MS-SMB@18"}, {}, "Data "},
      {"no signature", Session(6, Hex("ff534d")), {}, {}, {}, "Data "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NetBiosHost h;
    h.Decode("NOVELL-NETBIOS", c.packet);
    EXPECT_EQ(h.Receivers(PASS_COUNT), c.count);
    EXPECT_EQ(h.Receivers(PASS_SUMMARY), c.summary);
    EXPECT_EQ(h.Receivers(PASS_DETAIL), c.detail);
    EXPECT_EQ(h.Description(), c.description);
    for (const HandOn& on : h.handOns) {
      if (on.pass == PASS_DETAIL) {
        EXPECT_EQ(on.slot, 1);
      }
    }
  }
}

// The skip and the hand-on do not depend on the enable byte.
TEST(IpxNetBios, DisabledStillHandsOn) {
  for (const char* nameId : {"NOVELL-NETBIOS", "MS-NMPI"}) {
    SCOPED_TRACE(nameId);
    NetBiosHost h;
    h.Enabled(nameId) = 0;
    const bool nmpi = nameId[0] == 'M';
    h.Decode(nameId, nmpi ? Cat({Bytes(32, 0), Bytes{0xFC}, Bytes(35, 0), Hex(kSmb)}) : Session(6, Hex(kSmb)));
    const std::string at = nmpi ? "MS-SMB@68" : "MS-SMB@18";
    EXPECT_EQ(h.Receivers(PASS_SUMMARY), std::vector<std::string>{at});
    EXPECT_EQ(h.Receivers(PASS_DETAIL), std::vector<std::string>{at});
    EXPECT_TRUE(h.Lines(0).empty());
  }
}

// The name packet's layout is known by the frame's length, so a packet cut
// by the snap length keeps it; its lines end at the first field missing.
TEST(IpxNetBios, NamePacketCutByTheCapture) {
  NetBiosHost h;
  Bytes packet = NamePacket(0x40, 3, Name("PC1", 0x00));
  packet.resize(40);
  h.Decode("NOVELL-NETBIOS", packet, qvhost::RUN_ALL, 50);
  EXPECT_EQ(h.Description(), "Add Name ");
  const auto lines = h.Lines(0);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].length, 50);
  EXPECT_EQ(lines.back().text, "Command\t\t\t\t\tAdd Name ");
  EXPECT_TRUE(h.handOns.empty());
}

// A name's text is its first blank-separated word: blanks before it stay,
// the first blank after it ends it; the suffix byte is never part of it.
TEST(IpxNetBios, NameTextIsTheFirstWord) {
  const struct {
    const char* name;
    Bytes field;
    const char* text;
  } cases[] = {
      {"padded", Name("FILESRV", 0x20), "FILESRV.[File Server Service]"},
      {"leading blanks", Name("  LAB1", 0x00), "  LAB1.[Workstation Service]"},
      {"inner blank", Name("LAB PRINTER", 0x20), "LAB.[File Server Service]"},
      {"leading blanks and an inner one", Name(" A B", 0x03), " A.[Messenger Service]"},
      {"no blank in 15 characters", Name("ABCDEFGHIJKLMNO", 0x99), "ABCDEFGHIJKLMNO.[Unknown Suffix]"},
      {"a NUL ends it too", Cat({Hex("41 42 00 43"), Bytes(11, ' '), Bytes{0x20}}), "AB.[File Server Service]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NetBiosHost h;
    h.Decode("NOVELL-NETBIOS", NamePacket(0, 1, c.field));
    EXPECT_EQ(h.Description(), std::string("Name Query ") + c.text);
    const auto lines = h.Lines(0);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().text, std::string("NetBios Name\t\t\t") + c.text);
  }
}

TEST(IpxNetBios, CommandNames) {
  const struct {
    BYTE command;
    const char* text;
  } cases[] = {{2, "Name Recognized "}, {10, "Status Response "}, {240, "Add Group Name "},
               {245, "Name Reject "},   {255, "Keep Alive "},      {7, "Unknown Command"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    NetBiosHost h;
    h.Decode("NOVELL-NETBIOS", Session(c.command));
    EXPECT_EQ(h.Description(), c.text);
  }
}

TEST(IpxNetBios, BoundedAndLineFailures) {
  NetBiosHost h;
  for (const Bytes& packet : {NamePacket(0xC5, 1, Name("FILESRV", 0x20)), Datagram(11, Hex(kSmb)),
                              Session(6, Hex(kSmb))}) {
    qvtest::ExpectBoundedAtEveryCut(h, "NOVELL-NETBIOS", packet);
    qvtest::ExpectLineFailuresHandled(h, "NOVELL-NETBIOS", packet);
  }
}

// ---------------------------------------------------------------- NMPI

Bytes Nmpi(BYTE function, const Bytes& payload = {}) {
  return Cat({Bytes(32, 0), Bytes{function, 0, 0, 0}, Name("FILESRV", 0x20), Name("PC1", 0x00), payload});
}

TEST(Nmpi, Functions) {
  const std::string requested = "Requested Name\t\t\tFILESRV         ";  // eight blanks and the suffix 0x20
  const struct {
    BYTE function;
    std::string summary, detail;
  } cases[] = {
      {0xF1, "Announce Name PC1.[Workstation Service]", "Announce Name"},
      {0xF3, "Name Query FILESRV.[File Server Service]", "Name Query"},
      {0xF4, "Name Query Response FILESRV.[File Server Service]", "Name Query Response"},
      {0xFC, "MailSlot Write", "Mailslot Write"},
      {0x42, "Unknown Command [42]", "Unknown Command [42]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.detail);
    NetBiosHost h;
    h.Decode("MS-NMPI", Nmpi(c.function));
    EXPECT_EQ(h.Protocol(), "NMPI");
    EXPECT_EQ(h.Description(), c.summary);
    ExpectLines(h.Lines(0), {{"Name Management Protocol on IPX", 0, 68, OPEN},
                             {"Function\t\t\t\t\t" + c.detail, 32, 1, 0},
                             {requested, 36, 16, 0},
                             {"Source Name\t\t\t\tPC1            ", 52, 16, CLOSE}});  // cut at the NUL suffix
    EXPECT_EQ(h.Bytes64("NMPI"), 68u);
    EXPECT_TRUE(h.handOns.empty());
  }
}

// Behind the header in every pass, at the header's own place for a packet
// that is itself SMB; fewer than four bytes behind it hand nothing on.
TEST(Nmpi, SmbHandOn) {
  using V = std::vector<std::string>;
  const struct {
    const char* name;
    Bytes packet;
    V receivers;
  } cases[] = {
      {"mailslot write", Nmpi(0xFC, Hex(kSmb)), {"MS-SMB@68"}},
      {"an SMB packet", Hex(kSmb), {"MS-SMB@0"}},
      {"three bytes behind", Nmpi(0xFC, Hex("ff534d")), {}},
      {"no signature", Nmpi(0xFC, Hex("ff534d43")), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NetBiosHost h;
    h.Decode("MS-NMPI", c.packet);
    for (DWORD pass : {PASS_COUNT, PASS_SUMMARY, PASS_DETAIL}) EXPECT_EQ(h.Receivers(pass), c.receivers);
    for (const HandOn& on : h.handOns) {
      if (on.pass == PASS_DETAIL) {
        EXPECT_EQ(on.slot, 1);
      }
    }
  }
  NetBiosHost h;
  h.Decode("MS-NMPI", Hex(kSmb));
  EXPECT_EQ(h.Description(), "SMB Packet");
  ExpectLines(h.Lines(0), {{"Name Management Protocol on IPX", 0, 68, OPEN},
                           {"Server Message Block packet", 0, 0, CLOSE}});
}

TEST(Nmpi, CutByTheCapture) {
  const struct {
    size_t captured;
    const char* summary;
    const char* lastLine;
  } cases[] = {
      {32, "", "Name Management Protocol on IPX"},
      {40, "Name Query ", "Function\t\t\t\t\tName Query"},
      {60, "Name Query FILESRV.[File Server Service]", "Requested Name\t\t\tFILESRV         "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.captured);
    NetBiosHost h;
    Bytes packet = Nmpi(0xF3);
    packet.resize(c.captured);
    h.Decode("MS-NMPI", packet, qvhost::RUN_ALL, 68);
    EXPECT_EQ(h.Description(), c.summary);
    const auto lines = h.Lines(0);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().text, c.lastLine);
    EXPECT_EQ(lines.back().flags & CLOSE, 0u);
  }
}

TEST(Nmpi, BoundedAndLineFailures) {
  NetBiosHost h;
  for (const Bytes& packet : {Nmpi(0xF3), Nmpi(0xFC, Hex(kSmb)), Hex(kSmb)}) {
    qvtest::ExpectBoundedAtEveryCut(h, "MS-NMPI", packet);
    qvtest::ExpectLineFailuresHandled(h, "MS-NMPI", packet);
  }
}

}  // namespace
}  // namespace tessarytest
