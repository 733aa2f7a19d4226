// Messages too short for their first field, the same way in every protocol
// of the library: the row shows the protocol's word and no description, the
// detail the title over what was captured, its group closed.
#include "corvale_host.h"

namespace corvaletest {
namespace {

TEST(ShortMessages, ProtocolWordAndAClosedTitle) {
  struct Case {
    const char* what;
    const char* root;
    Bytes frame;
    const char* word;
    size_t slot;
    const char* title;
    int at;
    int length;
    int wire = -1;  // the frame's length on the wire, when the capture cut it
  };
  // TCP hands on no empty segment: one whose payload the capture cut.
  Bytes segment = Ip(6, Tcp(1027, 139, 0x18, {}, Hex("85 00 00 00")));
  segment.resize(40);
  const Case cases[] = {
      {"ICMP", "DOD-IP", Ip(1, {}), "ICMP", 1, "Internet Control Message Protocol", 20, 0},
      {"IGMP", "DOD-IP", Ip(2, {}), "IGMP", 1, "Internet Group Management Protocol", 20, 0},
      {"ARP, one byte of its hardware type", "IP-ARP", Hex("00"), "ARP", 0, "Address Resolution Protocol", 0, 1},
      {"BOOTP", "DOD-IP", Ip(17, Udp(68, 67)), "BOOTP", 2, "Bootstrap Protocol", 28, 0},
      {"NBNS, one byte of its transaction id", "DOD-IP", Ip(17, Udp(137, 137, Hex("12"))), "NBNS", 2,
       "NetBios Name Service Protocol", 28, 1},
      {"NBDS", "DOD-IP", Ip(17, Udp(138, 138)), "NBDS", 2, "NetBios Datagram Service Protocol", 28, 0},
      {"NBSS over TCP", "DOD-IP", segment, "NBSS", 2, "NetBios Session Service Protocol", 40, 0, 44},
      {"NBSS over UDP", "DOD-IP", Ip(17, Udp(1027, 445)), "NBSS", 2, "NetBios Session Service Protocol", 28, 0},
  };
  CorvaleHost h;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    h.Decode(c.root, c.frame, qvhost::RUN_ALL, c.wire);
    EXPECT_EQ(h.Protocol(), c.word);
    EXPECT_EQ(h.Description(), "");
    ExpectLines(h.Lines(c.slot), {{c.title, c.at, c.length, OPEN | CLOSE}});
  }
}

}  // namespace
}  // namespace corvaletest
