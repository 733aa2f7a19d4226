// Frames of real captures (tests/captures/files) decoded from their IP
// header or their ARP message on: the fields agree with what tshark reads
// where both show the same value.
#include "corvale_host.h"
#include "qvhost/capture.h"

namespace corvaletest {
namespace {

// Frame number (from 1) of a capture, from byte skip on.
Bytes CapturedFrame(const char* file, int number, size_t skip) {
  qvhost::CaptureSource source;
  std::string error;
  if (!source.OpenFile(std::string(QV_CAPTURE_DIR) + "/" + file, &error)) {
    ADD_FAILURE() << file << ": " << error;
    return {};
  }
  qvhost::Packet packet;
  for (int i = 1; source.Next(&packet) == 1; i++)
    if (i == number && (size_t)packet.capturedLength >= skip)
      return Bytes(packet.data + skip, packet.data + packet.capturedLength);
  ADD_FAILURE() << file << " has no frame " << number;
  return {};
}

struct Expected {
  const char* file;
  int frame;
  size_t skip;       // the media header
  const char* root;  // decoded from here
  size_t slot;       // the protocol's list
  const char* description;
  std::vector<std::string> lines;  // each expected among the protocol's lines
};

TEST(CapturedFrames, FieldsAgreeWithTshark) {
  const Expected cases[] = {
      {"IGMP_V1.pcap", 2, 14, "DOD-IP", 1, "Version 1 Membership Report",
       {"CheckSum\t\t\t\t\t0x0D03", "Group Address\t\t\t224.0.0.252"}},
      {"IGMP_V2.pcap", 1, 14, "DOD-IP", 1, "Membership Query",
       {"Max Response Time\t\t100 tenths of a second", "CheckSum\t\t\t\t\t0xEE9B", "Group Address\t\t\t0.0.0.0"}},
      {"IGMP_V2.pcap", 5, 14, "DOD-IP", 1, "Leave Group",
       {"CheckSum\t\t\t\t\t0x06FB", "Group Address\t\t\t225.1.1.3"}},
      {"IGMP_V2.pcap", 6, 14, "DOD-IP", 1, "Membership Query",
       {"Max Response Time\t\t10 tenths of a second", "Group Address\t\t\t225.1.1.3"}},
      // A version 3 query: tshark reads the response code's exponent; the
      // byte itself is 0x64 here.
      {"igmpv3-queries.pcap", 1, 14, "DOD-IP", 1, "Membership Query",
       {"Max Response Time\t\t100 tenths of a second", "CheckSum\t\t\t\t\t0xEC1E"}},
      {"dhcp-option-33.pcap", 1, 14, "DOD-IP", 2, "Response",
       {"Transaction ID\t\t\t305419896d", "Assigned IP Address\t192.168.1.100", "Server IP Address\t\t192.168.1.1",
        "Hardware Address\t\t00-11-22-33-44-55", "Message Type\t\tOffer", "Address\t\t\t\t192.168.1.1",
        "Lease Time\t\t\t86400", "Extension Option\t\tStatic Routing Table", "Extension Option\t\tEnd of Extensions"}},
      {"dcb_pfc.pcap", 1, 14, "DOD-IP", 2, "Request",
       {"Transaction ID\t\t\t2243932029d", "Seconds\t\t\t\t\t31", "Broadcast Flag\t\tOff",
        "Hardware Address\t\t08-00-27-46-E8-84", "Message Type\t\tDiscover", "Data Length\t\t\t17",
        "Requesting\t\t\tBroadcast Address"}},
      // An extended echo request (a later type) has no layout.
      {"icmp-rfc8335.pcap", 1, 14, "DOD-IP", 1, "Unknown Message [42]", {"Unknown Type\t42"}},
      {"mptcp-fclose.pcap", 1, 14, "IP-ARP", 0, "Request-10.2.1.2",
       {"ARP Function\t\t\tAddress Resolution Request", "Sender HW Address\t\t16-51-53-04-3F-55",
        "Sender Prot Address\t10.2.1.1", "Target Prot Address\t10.2.1.2"}},
      {"mptcp-fclose.pcap", 2, 14, "IP-ARP", 0, "Response-10.2.1.2",
       {"Sender HW Address\t\tD6-06-3C-4A-35-7A", "Target HW Address\t\t16-51-53-04-3F-55"}},
      // Hardware addresses of 14 bytes over 262,126 captured bytes, behind
      // an 802.1ad tag.
      {"arp-too-long-tha.pcap", 1, 18, "IP-ARP", 0, "Request-48.48.48.48",
       {"Hardware Type\t\t\tUnknown", "Hardware Addr Size\t14",
        "Sender HW Address\t\t30-30-30-30-30-30-30-30-30-30-30-30-30-30", "Target Prot Address\t48.48.48.48"}},
  };
  for (const Expected& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " frame " + std::to_string(c.frame));
    CorvaleHost h;
    h.Decode(c.root, CapturedFrame(c.file, c.frame, c.skip));
    EXPECT_EQ(h.Description(), c.description);
    const auto lines = h.Lines(c.slot);
    for (const std::string& want : c.lines) {
      bool found = false;
      for (const auto& l : lines) found = found || l.text == want;
      EXPECT_TRUE(found) << "no line \"" << want << "\"";
    }
  }
}

}  // namespace
}  // namespace corvaletest
