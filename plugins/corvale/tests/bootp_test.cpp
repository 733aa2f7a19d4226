// IP_BOOTP behind UDP: the fixed header, the vendor dump, the option walk
// of DHCP with the body of each kind of option, and options whose lengths
// lie or are cut by the capture.
#include <string.h>

#include "corvale_host.h"

namespace corvaletest {
namespace {

const int kAt = 28;  // behind the IP and UDP headers

// A BOOTP message from 00-A0-C9-14-C8-29 (transaction 0x12345678, 3
// seconds, broadcast) that assigns 192.168.1.100 from 192.168.1.1, with
// the vendor area as given.
Bytes Bootp(BYTE op, const Bytes& vendor, BYTE hlen = 6) {
  Bytes m(236, 0);
  const Bytes fixed = Hex("01 06 00 12345678 0003 8000 00000000 C0A80164 C0A80101 00000000 00A0C914C829");
  memcpy(m.data() + 1, fixed.data(), fixed.size());
  m[0] = op;
  m[2] = hlen;
  memcpy(m.data() + 44, "server", 6);
  memcpy(m.data() + 108, "boot/pxe", 8);
  return Cat({m, vendor});
}
Bytes Dhcp(const Bytes& options) { return Cat({Hex("63825363"), options}); }
Bytes OverUdp(const Bytes& message, WORD source = 68, WORD destination = 67) {
  return Ip(17, Udp(source, destination, message));
}

// A discover as a client sends it: 300 bytes, bytes after the end option.
Bytes Discover() {
  Bytes options = Hex("3501 01  3D07 01 00A0C914C829  0C05 686F737431  3C08 4D53465420352E30  3704 01 03 06 0F  00 00 FF");
  options.resize(60, 0x35);
  return Bootp(1, Dhcp(options));
}

// An option's group line and code line.
Lines Group(int at, int length, const char* name, int code, DWORD codeFlags = 0) {
  return {{std::string("Extension Option\t\t") + name, at, length, OPEN},
          {"Code\t\t\t\t\t" + std::to_string(code), at, 1, codeFlags}};
}

TEST(IpBootp, DiscoverCapturedWhole) {
  CorvaleHost h;
  h.Decode("DOD-IP", OverUdp(Discover()));
  EXPECT_EQ(h.Protocol(), "BOOTP");
  EXPECT_EQ(h.Description(), "Request");
  EXPECT_EQ(h.Bytes64("BOOTP"), 300u);
  const auto lines = h.Lines(2);
  ExpectLines(std::vector<qvhost::FlatLine>(lines.begin(), lines.begin() + 16),
              {
                  {"Bootstrap Protocol", kAt, 300, OPEN},
                  {"Function\t\t\t\t\tRequest", 28, 1, 0},
                  {"Hardware Type\t\t\tEthernet (10Mb)", 29, 1, 0},
                  {"Address Length\t\t\t6", 30, 1, 0},
                  {"Hop Count\t\t\t\t0", 31, 1, 0},
                  {"Transaction ID\t\t\t305419896d", 32, 4, 0},  // the literal d of "%ud"
                  {"Seconds\t\t\t\t\t3", 36, 2, 0},
                  {"Flags", 38, 2, OPEN},
                  {"Broadcast Flag\t\tOn", 38, 2, CLOSE},
                  {"Client IP Address\t\t0.0.0.0", 40, 4, 0},
                  {"Assigned IP Address\t192.168.1.100", 44, 4, 0},
                  {"Server IP Address\t\t192.168.1.1", 48, 4, 0},
                  {"Gateway IP Address\t0.0.0.0", 52, 4, 0},
                  {"Hardware Address\t\t00-A0-C9-14-C8-29", 56, 6, 0},
                  {"Server Name\t\t\t\tserver", 72, 64, 0},
                  {"Boot File Name\t\t\tboot/pxe", 136, 128, 0},
              });
  const auto dump = LinesFrom(lines, "Vendor Specific Data");
  ASSERT_GE(dump.size(), 5u);
  EXPECT_EQ(dump[0].offset, 264);
  EXPECT_EQ(dump[0].length, 64);
  EXPECT_EQ(dump[3].text.substr(0, 38), "0128  30 37 04 01 03 06 0F 00 00 FF 35");
  EXPECT_EQ(dump[4].text.substr(0, 9), "0138  35 ");
  EXPECT_EQ(dump[4].flags, CLOSE);
  ExpectLines(LinesFrom(lines, "Magic Cookie"),
              qvtest::Join({
                  {{"Magic Cookie\t\t\t0x63825363", 264, 4, 0}},
                  Group(268, 3, "DHCP Message Type", 53),
                  {{"Data Length\t\t\t1", 269, 1, 0}, {"Message Type\t\tDiscover", 270, 1, CLOSE}},
                  Group(271, 9, "Client Identifier", 61),
                  {{"Data Length\t\t\t7", 272, 1, 0},
                   {"Hardware Type\t\tEthernet (10Mb)", 273, 1, 0},
                   {"Address\t\t\t\t00-A0-C9-14-C8-29", 274, 6, CLOSE}},
                  Group(280, 7, "Host Name String", 12),
                  {{"Data Length\t\t\t5", 281, 1, 0}, {"Host Name\t\t\thost1", 282, 5, CLOSE}},
                  Group(287, 10, "Class Identifier", 60),
                  {{"Data Length\t\t\t8", 288, 1, 0}, {"Vendor Class\t\tMSFT 5.0", 289, 8, CLOSE}},
                  Group(297, 6, "Parameter Request List", 55),
                  {{"Data Length\t\t\t4", 298, 1, 0},
                   {"Requesting\t\t\tSubnet Mask Value", 299, 1, 0},
                   {"Requesting\t\t\tRouter Address", 300, 1, 0},
                   {"Requesting\t\t\tDNS Server Address", 301, 1, 0},
                   {"Requesting\t\t\tThe DNS Domain Name of the Client", 302, 1, CLOSE}},
                  {{"Extension Option\t\tPad", 303, 1, OPEN}, {"Code\t\t\t\t\t0", 303, 1, CLOSE}},
                  {{"Extension Option\t\tPad", 304, 1, OPEN}, {"Code\t\t\t\t\t0", 304, 1, CLOSE}},
                  // The end option stops the walk; its close and the title's.
                  {{"Extension Option\t\tEnd of Extensions", 305, 1, OPEN}, {"Code\t\t\t\t\t255", 305, 1, CLOSE + 1}},
              }));
}

TEST(IpBootp, AcknowledgeWithAddressesMaskAndLease) {
  CorvaleHost h;
  const Bytes options = Hex("3501 05  3604 C0A80101  3304 00015180  0104 FFFFFF00  0304 C0A80101  0608 08080808 08080404 FF");
  h.Decode("DOD-IP", OverUdp(Bootp(2, Dhcp(options)), 67, 68));
  EXPECT_EQ(h.Description(), "Response");
  const auto lines = h.Lines(2);
  // 278 bytes: the vendor dump shows the 42 from 236.
  const auto dump = LinesFrom(lines, "Vendor Specific Data");
  ASSERT_FALSE(dump.empty());
  EXPECT_EQ(dump[0].length, 42);
  ExpectLines(LinesFrom(lines, "Extension Option"),
              qvtest::Join({
                  Group(268, 3, "DHCP Message Type", 53),
                  {{"Data Length\t\t\t1", 269, 1, 0}, {"Message Type\t\tAcknowledge", 270, 1, CLOSE}},
                  Group(271, 6, "DHCP Server Identification", 54),
                  {{"Data Length\t\t\t4", 272, 1, 0}, {"Address\t\t\t\t192.168.1.1", 273, 4, CLOSE}},
                  Group(277, 6, "IP Address Lease Time", 51),
                  {{"Data Length\t\t\t4", 278, 1, 0}, {"Lease Time\t\t\t86400", 279, 4, CLOSE}},
                  Group(283, 6, "Subnet Mask Value", 1),
                  {{"Data Length\t\t\t4", 284, 1, 0}, {"Mask\t\t\t\t\t255.255.255.0", 285, 4, CLOSE}},
                  Group(289, 6, "Router Address", 3),
                  {{"Data Length\t\t\t4", 290, 1, 0}, {"Address\t\t\t\t192.168.1.1", 291, 4, CLOSE}},
                  Group(295, 10, "DNS Server Address", 6),
                  {{"Data Length\t\t\t8", 296, 1, 0},
                   {"Address\t\t\t\t8.8.8.8", 297, 4, 0},
                   {"Address\t\t\t\t8.8.4.4", 301, 4, CLOSE}},
                  {{"Extension Option\t\tEnd of Extensions", 305, 1, OPEN}, {"Code\t\t\t\t\t255", 305, 1, CLOSE + 1}},
              }));
}

TEST(IpBootp, SummaryNamesTheOp) {
  struct Case {
    BYTE op;
    size_t captured;
    const char* description;
  };
  const Case cases[] = {{1, 300, "Request"}, {2, 300, "Response"}, {3, 300, "Response"},
                        {0, 300, "Response"}, {1, 1, "Request"},    {1, 0, ""}};
  for (const Case& c : cases) {
    CorvaleHost h;
    Bytes frame = OverUdp(Bootp(c.op, Bytes(64, 0)));
    const int wire = (int)frame.size();
    frame.resize(kAt + c.captured);
    h.Decode("DOD-IP", frame, qvhost::RUN_ALL, wire);
    EXPECT_EQ(h.Protocol(), "BOOTP");
    EXPECT_EQ(h.Description(), c.description) << (int)c.op << " " << c.captured;
    // The title covers what was captured.
    ASSERT_FALSE(h.Lines(2).empty());
    EXPECT_EQ(h.Lines(2)[0].length, (int)c.captured);
  }
}

// A UDP header that runs past the capture hands BOOTP an offset behind
// the captured end: the title covers nothing and ends its group, and no
// word is named.
TEST(IpBootp, UdpHeaderPastTheCapture) {
  CorvaleHost h;
  Bytes frame = OverUdp(Discover());
  frame.resize(24);
  h.Decode("DOD-IP", frame, qvhost::RUN_ALL, 328);
  EXPECT_EQ(h.Protocol(), "BOOTP");
  EXPECT_EQ(h.Description(), "");
  ExpectLines(h.Lines(2), {{"Bootstrap Protocol", kAt, 0, OPEN | CLOSE}});
}

// Without the DHCP cookie: the dump and the cookie line, which closes the
// title's group; no options.
TEST(IpBootp, PlainBootpHasNoOptions) {
  CorvaleHost h;
  h.Decode("DOD-IP", OverUdp(Bootp(1, Hex("00000000 3501 01 FF"))));
  const auto lines = h.Lines(2);
  ExpectLines(LinesFrom(lines, "Magic Cookie"), {{"Magic Cookie\t\t\t0x00000000", 264, 4, CLOSE}});
  const auto dump = LinesFrom(lines, "Vendor Specific Data");
  ASSERT_EQ(dump.size(), 3u);  // its label, one line of 8 bytes, the cookie
  EXPECT_EQ(dump[0].length, 8);
  // Exactly 236 bytes: no vendor dump, no cookie.
  h.Decode("DOD-IP", OverUdp(Bootp(1, {})), qvhost::RUN_DETAIL);
  EXPECT_EQ(h.Lines(2).back().text, "Boot File Name\t\t\tboot/pxe");
}

// The hardware address field holds 16 bytes whatever its length byte says;
// the file name keeps its line within 128 characters.
TEST(IpBootp, HardwareAddressAndFileNameKeepTheirBounds) {
  Bytes m = Bootp(1, Dhcp(Hex("FF")), 255);
  for (int i = 0; i < 16; i++) m[28 + i] = (BYTE)(0x10 + i);
  memset(m.data() + 108, 'a', 128);
  CorvaleHost h;
  h.Decode("DOD-IP", OverUdp(m));
  const auto hardware = LinesStarting(h.Lines(2), "Hardware Address");
  ASSERT_EQ(hardware.size(), 1u);
  EXPECT_EQ(hardware[0].text, "Hardware Address\t\t10-11-12-13-14-15-16-17-18-19-1A-1B-1C-1D-1E-1F...");
  EXPECT_EQ(hardware[0].length, 16);
  const auto file = LinesStarting(h.Lines(2), "Boot File Name");
  ASSERT_EQ(file.size(), 1u);
  EXPECT_EQ(file[0].text, "Boot File Name\t\t\t" + std::string(111, 'a'));
  EXPECT_EQ(file[0].text.size(), 128u);
}

// Text fields end at their first NUL; a server name of all 64 characters
// has none and shows exactly them, not the file name behind it. Each line
// still covers its whole field.
TEST(IpBootp, TextFieldsEndAtTheirFirstNul) {
  struct Case {
    const char* what;
    int at;         // bytes written over the message from here
    Bytes bytes;
    const char* options;
    const char* label;
    std::string text;
    int length;
  };
  const Case cases[] = {
      {"server name with a NUL inside", 44, Hex("73 65 72 00 76 65 72"), "FF", "Server Name", "Server Name\t\t\t\tser",
       64},
      {"server name of 64 characters", 44, Bytes(64, 's'), "FF", "Server Name",
       "Server Name\t\t\t\t" + std::string(64, 's'), 64},
      {"file name with a NUL inside", 108, Hex("62 00 63"), "FF", "Boot File Name", "Boot File Name\t\t\tb", 128},
      {"host name with a NUL inside", 0, {}, "0C05 6869 006A6B FF", "Host Name\t", "Host Name\t\t\thi", 5},
      {"vendor class with a NUL inside", 0, {}, "3C04 41 00 4243 FF", "Vendor Class", "Vendor Class\t\tA", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes m = Bootp(1, Dhcp(Hex(c.options)));
    std::copy(c.bytes.begin(), c.bytes.end(), m.begin() + c.at);
    CorvaleHost h;
    h.Decode("DOD-IP", OverUdp(m));
    const auto lines = LinesStarting(h.Lines(2), c.label);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, c.text);
    EXPECT_EQ(lines[0].length, c.length);
  }
}

// Option lengths that do not cover a value, option data cut by the capture
// and a length byte that was not captured: a value line only where its
// bytes are inside the option and captured, and the walk never passes the
// capture.
TEST(IpBootp, OptionsThatLieOrAreCut) {
  struct Case {
    const char* options;
    Lines lines;  // from the first option on
  };
  const Case cases[] = {
      {"3D00 FF",  // a client identifier of no bytes has no value
       Join({Group(268, 2, "Client Identifier", 61), {{"Data Length\t\t\t0", 269, 1, CLOSE}},
             {{"Extension Option\t\tEnd of Extensions", 270, 1, OPEN}, {"Code\t\t\t\t\t255", 270, 1, CLOSE + 1}}})},
      {"3D01 01",  // one byte: the hardware type, no address
       Join({Group(268, 3, "Client Identifier", 61),
             {{"Data Length\t\t\t1", 269, 1, 0}, {"Hardware Type\t\tEthernet (10Mb)", 270, 1, CLOSE + 1}}})},
      {"0102 FFFF",  // a mask needs four bytes
       Join({Group(268, 4, "Subnet Mask Value", 1), {{"Data Length\t\t\t2", 269, 1, CLOSE + 1}}})},
      {"3303 000151",  // so does a lease time
       Join({Group(268, 5, "IP Address Lease Time", 51), {{"Data Length\t\t\t3", 269, 1, CLOSE + 1}}})},
      {"3500",  // a message type needs one
       Join({Group(268, 2, "DHCP Message Type", 53), {{"Data Length\t\t\t0", 269, 1, CLOSE + 1}}})},
      {"0C",  // the length byte is not captured: the walk ends
       Group(268, 1, "Host Name String", 12, CLOSE + 1)},
      {"0608 08080808 0808",  // the second server is cut
       Join({Group(268, 10, "DNS Server Address", 6),
             {{"Data Length\t\t\t8", 269, 1, 0}, {"Address\t\t\t\t8.8.8.8", 270, 4, CLOSE + 1}}})},
      {"3704 01 03",  // a cut request list names the bytes there are
       Join({Group(268, 6, "Parameter Request List", 55),
             {{"Data Length\t\t\t4", 269, 1, 0},
              {"Requesting\t\t\tSubnet Mask Value", 270, 1, 0},
              {"Requesting\t\t\tRouter Address", 271, 1, CLOSE + 1}}})},
      {"0C08 6869",  // a host name is shown only whole
       Join({Group(268, 10, "Host Name String", 12), {{"Data Length\t\t\t8", 269, 1, CLOSE + 1}}})},
      {"2B03 AABBCC 3501 05",  // no body, and the next option at its place
       Join({Group(268, 5, "Vendor Specific Information", 43), {{"Data Length\t\t\t3", 269, 1, CLOSE}},
             Group(273, 3, "DHCP Message Type", 53),
             {{"Data Length\t\t\t1", 274, 1, 0}, {"Message Type\t\tAcknowledge", 275, 1, CLOSE + 1}}})},
      {"0606 08080808 0404 FF",  // an address list takes whole addresses only
       Join({Group(268, 8, "DNS Server Address", 6),
             {{"Data Length\t\t\t6", 269, 1, 0}, {"Address\t\t\t\t8.8.8.8", 270, 4, CLOSE}},
             {{"Extension Option\t\tEnd of Extensions", 276, 1, OPEN}, {"Code\t\t\t\t\t255", 276, 1, CLOSE + 1}}})},
      {"0303 0A0000 FF",  // fewer than four bytes: no address at all
       Join({Group(268, 5, "Router Address", 3), {{"Data Length\t\t\t3", 269, 1, CLOSE}},
             {{"Extension Option\t\tEnd of Extensions", 273, 1, OPEN}, {"Code\t\t\t\t\t255", 273, 1, CLOSE + 1}}})},
      {"7105 0102030405 80",  // above 112: no body; an unnamed code
       Join({Group(268, 7, "NetInfo Parent Server Tag", 113), {{"Data Length\t\t\t5", 269, 1, CLOSE}},
             Group(275, 1, "Unknown Function", 128, CLOSE + 1)})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    CorvaleHost h;
    h.Decode("DOD-IP", OverUdp(Bootp(2, Dhcp(Hex(c.options)))));
    // The walk's last line closes its option and the title.
    ExpectLines(LinesFrom(h.Lines(2), "Extension Option"), c.lines);
  }
}

TEST(IpBootp, OptionNames) {
  struct Case {
    BYTE code;
    const char* name;
  };
  const Case cases[] = {
      {2, "Time Offset in Seconds from UTC"},
      {16, "Swap Server addeess"},
      {25, "Path MTU  Plateau Table"},
      {52, "Overload \"sname\" or \"file\""},
      {86, "Novell Directory Services"},
      {89, "Fully Qualified Domain Name"},
      {99, "Unknown Function"},
      {110, "IPX Compatability"},
      {118, "Subnet Selection Option"},
      {119, "Unknown Function"},
      {127, "Extension"},
      {254, "Unknown Function"},
  };
  Bytes list;
  for (const Case& c : cases) list.push_back(c.code);
  CorvaleHost h;
  h.Decode("DOD-IP", OverUdp(Bootp(1, Dhcp(Cat({Bytes{55, (BYTE)list.size()}, list, Hex("FF")})))));
  const auto lines = LinesStarting(h.Lines(2), "Requesting");
  ASSERT_EQ(lines.size(), std::size(cases));
  for (size_t i = 0; i < lines.size(); i++) EXPECT_EQ(lines[i].text, std::string("Requesting\t\t\t") + cases[i].name);
}

TEST(IpBootp, BoundUnderUdpAndTcpAtBothPorts) {
  CorvaleHost h;
  for (const char* parent : {"IP-UDP", "IP-TCP"})
    for (DWORD port : {67u, 68u}) {
      EXPECT_EQ(h.host.Find(parent)->control(PCTL_FIND_CHILD, port, 0, 0, 0), (CTRLARG)h.host.Find("IP_BOOTP")->parse)
          << parent << " " << port;
    }
  h.Decode("DOD-IP", Ip(6, Tcp(1027, 67, 0x18, {}, Discover())));
  EXPECT_EQ(h.Protocol(), "BOOTP");
  ASSERT_FALSE(h.Lines(2).empty());
  EXPECT_EQ(h.Lines(2)[0].text, "Bootstrap Protocol");
}

TEST(IpBootp, NoPassReadsPastTheCaptureAndLineFailuresKeepTheLines) {
  CorvaleHost h;
  const Bytes messages[] = {
      Discover(),
      Bootp(2, Dhcp(Hex("3501 05 3604 C0A80101 0104 FFFFFF00 0608 08080808 08080404 3D07 01 00A0C914C829 FF"))),
      Bootp(1, Hex("00000000")),
  };
  for (const Bytes& m : messages) {
    qvtest::ExpectBoundedAtEveryCut(h, "IP_BOOTP", m);
    qvtest::ExpectLineFailuresHandled(h, "IP_BOOTP", m);
  }
}

}  // namespace
}  // namespace corvaletest
