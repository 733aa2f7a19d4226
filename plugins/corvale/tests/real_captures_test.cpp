// Real captures of tests/captures/files that carry SNMP, OSPF, HTTP, RADIUS,
// TFTP, DNS, NBNS and NBSS: the fields that tshark reads from the same
// frames, where both show the same value. Ethernet frames are decoded from
// the Ethernet root; those of the Linux cooked and loopback link types,
// which the host does not read, from DOD-IP behind their link header.
#include <algorithm>
#include <string>
#include <vector>

#include "corvale_host.h"
#include "qvhost/capture.h"

namespace corvaletest {
namespace {

struct Frame {
  Bytes bytes;
  int wireLength;
  const char* root;
};

// Link header bytes in front of IPv4 by link type: loopback (0) and Linux
// cooked (113).
int LinkHeader(int linkType) { return linkType == 0 ? 4 : linkType == 113 ? 16 : -1; }

std::vector<Frame> ReadCapture(const char* name) {
  std::vector<Frame> frames;
  qvhost::CaptureSource source;
  std::string error;
  EXPECT_TRUE(source.OpenFile(std::string(QV_CAPTURE_DIR) + "/" + name, &error)) << error;
  qvhost::Packet packet;
  const int skip = source.linkType() == 1 ? 0 : LinkHeader(source.linkType());
  EXPECT_GE(skip, 0) << "link type " << source.linkType();
  while (skip >= 0 && source.Next(&packet) == 1 && packet.capturedLength >= skip)
    frames.push_back({Bytes(packet.data + skip, packet.data + packet.capturedLength), packet.wireLength - skip,
                      skip ? "DOD-IP" : "MAC-802.3"});
  return frames;
}

class Captures : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!h.Has("MAC-802.3") || !h.Has("VLAN")) GTEST_SKIP() << "the link-layer plug-ins are not built in this tree";
  }
  void Decode(const Frame& f) { h.Decode(f.root, f.bytes, qvhost::RUN_ALL, f.wireLength); }
  // The texts of the lines from the first that starts with `from`.
  std::vector<std::string> Texts(const std::string& from) {
    std::vector<std::string> texts;
    for (const auto& l : LinesFrom(h.Lines(), from)) texts.push_back(l.text);
    return texts;
  }
  CorvaleHost h{{"brannock", "quillet", "corvale", "halvern", "pallisand"}};
};

// tshark: version 2, LS Acknowledge, length 64, router 2.2.2.2, area
// 0.0.0.1, checksum 0x88e8, null authentication; the first LSA header: age
// 46, options 0x22, Router-LSA, 1.1.1.1 advertised by 1.1.1.1, sequence
// 0x80000002, checksum 0x62ba, length 36. Its body is read from the
// Summary-LSA header behind it (age 43, options 0x22, type 3, 1.0.0.0 by
// 1.1.1.1) until its length ends it: the LSA's group and the title close.
TEST_F(Captures, OspfAcknowledgment) {
  const auto frames = ReadCapture("ospf-ack.pcap");
  ASSERT_EQ(frames.size(), 1u);
  Decode(frames[0]);
  EXPECT_EQ(h.Protocol(), "OSPF");
  EXPECT_EQ(h.Description(), "Link State Acknowledgment");
  const auto texts = Texts("Open Shortest Path First Protocol");
  ASSERT_GE(texts.size(), 18u);
  EXPECT_EQ(std::vector<std::string>(texts.begin() + 1, texts.begin() + 18),
            (std::vector<std::string>{"Version\t\t\t\t\t2", "Type\t\t\t\t\t\tLink State Acknowledgment",
                                      "Length\t\t\t\t\t64", "Router ID\t\t\t\t2.2.2.2", "Area ID\t\t\t\t\t0.0.0.1",
                                      "Check Sum\t\t\t\t88e8", "Authentication Type\t0000",
                                      "Authentication Info\t0", "Link State Advertisement", "Age\t\t\t\t\t46",
                                      "Options\t\t\t\t34", "Type\t\t\t\t\tRouter-LSA", "Link State ID\t\t1.1.1.1",
                                      "Router\t\t\t\t1.1.1.1",
                                      "Sequence Number\t" + std::to_string((int32_t)0x80000002u),
                                      "CheckSum\t\t\t\t" + std::to_string(0x62ba), "Length\t\t\t\t36"}));
  EXPECT_EQ(std::vector<std::string>(texts.begin() + 18, texts.end()),
            (std::vector<std::string>{"Flags\t\t\t\t\t43", "Links\t\t\t\t\t8707", "Link ID\t\t\t\t1.0.0.0",
                                      "Link Data\t\t\t1.1.1.1", "Link Type\t\t\tUnknown", "Number of TOS\t\t0",
                                      "Metric\t\t\t\t1"}));
  EXPECT_EQ(LinesFrom(h.Lines(), "Metric").back().flags, CLOSE + 1);
}

// tshark: LS Update of length 152 from 10.255.245.35 in area 0, checksum
// 0x6fc4, one LSA, an opaque one (type 10) of length 124.
TEST_F(Captures, OspfUpdateWithAnOpaqueLsa) {
  const auto frames = ReadCapture("ospf2-seg-fault-1.pcapng");
  ASSERT_EQ(frames.size(), 1u);
  Decode(frames[0]);
  EXPECT_EQ(h.Description(), "Link State Update");
  const auto texts = Texts("Open Shortest Path First Protocol");
  for (const char* want : {"Length\t\t\t\t\t152", "Router ID\t\t\t\t10.255.245.35", "Area ID\t\t\t\t\t0.0.0.0",
                           "Check Sum\t\t\t\t6fc4", "Lsa Count\t\t\t\t1", "Type\t\t\t\t\tUnknown-LSA",
                           "Length\t\t\t\t124"})
    EXPECT_EQ(std::count(texts.begin(), texts.end(), want), 1) << want;
}

// tshark: the response line and each header line; the body behind the
// empty line is one line of XML.
TEST_F(Captures, HttpResponseHeaderLines) {
  const auto frames = ReadCapture("ipv4_tcp_http_xml.pcap");
  ASSERT_EQ(frames.size(), 1u);
  Decode(frames[0]);
  EXPECT_EQ(h.Protocol(), "HTTP");
  const auto texts = Texts("Hyper-Text Transfer Protocol");
  const std::string text = "Text\t\t\t\t\t\t";
  ASSERT_EQ(texts.size(), 12u);
  EXPECT_EQ(std::vector<std::string>(texts.begin() + 1, texts.begin() + 11),
            (std::vector<std::string>{text + "HTTP/1.1 200 OK", text + "Date: Tue, 18 Mar 2014 19:12:05 GMT",
                                      text + "Server: Microsoft-IIS/6.0", text + "Cache-Control:no-cache",
                                      text + "X-Powered-By: ASP.NET", text + "X-AspNet-Version: 4.0.30319",
                                      text + "Cache-Control: private, max-age=0",
                                      text + "Content-Type: text/xml; charset=utf-8", text + "Content-Length: 351",
                                      text}));
  EXPECT_EQ(texts[11].rfind(text + "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope", 0), 0u);
  // The body's 351 bytes are that line's.
  EXPECT_EQ(LinesFrom(h.Lines(), texts[11]).front().length, 351);
}

// tshark: RADIUS messages of 139, 109, 174 and 97 bytes, and 80, 53, 82,
// 43, 81 and 43 (over the loopback address); the title covers each message
// in the slot after RADIUS's.
TEST_F(Captures, RadiusTitles) {
  struct File {
    const char* name;
    int offset;  // of the message in what is decoded
    std::vector<int> lengths;
  };
  const File files[] = {{"RADIUS.pcap", 42, {139, 109, 174, 97}},
                        {"RADIUS-RFC4675.pcap", 28, {80, 53, 82, 43, 81, 43}}};
  for (const File& file : files) {
    const auto frames = ReadCapture(file.name);
    ASSERT_EQ(frames.size(), file.lengths.size()) << file.name;
    for (size_t i = 0; i < frames.size(); i++) {
      Decode(frames[i]);
      EXPECT_EQ(h.Protocol(), "Radius") << file.name << " " << i;
      EXPECT_EQ(h.Description(), "Packet");
      const auto titles = LinesStarting(h.Lines(), "Remote Authentication Dial In User Service Protocol");
      ASSERT_EQ(titles.size(), 1u);
      EXPECT_EQ(titles[0].length, file.lengths[i]) << file.name << " " << i;
      EXPECT_EQ(titles[0].offset, file.offset);
      EXPECT_TRUE(h.Lines(titles[0].slot - 1).empty()) << "RADIUS's own slot";
    }
  }
}

// Only the request goes to port 69; the transfer runs between two other
// ports, which tshark follows as a conversation and this decoder does not.
TEST_F(Captures, TftpRequest) {
  const auto frames = ReadCapture("tftp.pcap");
  ASSERT_EQ(frames.size(), 7u);
  for (size_t i = 0; i < frames.size(); i++) {
    Decode(frames[i]);
    EXPECT_EQ(h.Protocol(), i == 0 ? "TFTP" : "UDP") << i;
  }
  EXPECT_EQ(h.Frames("TFTP"), 1u);
}

// Frames crafted with lengths that lie: tshark reads version 3 (no version
// this decoder names) and version 0 cut short.
TEST_F(Captures, SnmpWithLyingLengths) {
  auto frames = ReadCapture("snmp-heapoverflow-1.pcap");
  ASSERT_EQ(frames.size(), 5u);
  Decode(frames[4]);
  EXPECT_EQ(h.Protocol(), "SNMP");
  EXPECT_EQ(h.Description(), "Packet - invalid version identifier");
  auto texts = Texts("Simple Network Management Protocol");
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Version\t\t\t\t\t3\tUnknown"), 1);
  EXPECT_EQ(texts.back(), "Community\t\t\t\tInvalid Type");

  frames = ReadCapture("snmp-heapoverflow-2.pcap");
  ASSERT_EQ(frames.size(), 1u);
  Decode(frames[0]);
  EXPECT_EQ(h.Description(), "");
  texts = Texts("Simple Network Management Protocol");
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Version\t\t\t\t\t0\tVersion 1"), 1);
  EXPECT_EQ(texts.back(), "Length\t\t\t\t6") << "the community passes the capture";
}

// tshark: id 0x5934, flags 0x8500, 1 question, 2 answers, 2 authority and
// 5 additional records; www.tcpdump.org, type A, class IN; the first answer
// the same name, TTL 60, 4 data bytes, 192.139.46.66; then "DNS truncated"
// (98 of 266 bytes captured): the second answer ends at its class.
TEST_F(Captures, DnsResponseCutByTheCapture) {
  const auto frames = ReadCapture("dns_udp_2.pcap");
  ASSERT_EQ(frames.size(), 2u);
  Decode(frames[1]);
  EXPECT_EQ(h.Protocol(), "DNS");
  EXPECT_EQ(h.Description(), "Query Response");
  const std::vector<std::string> want = {
      "Domain Name Service Protocol",
      "Identifier\t\t\t\t22836",
      "Flags",
      "Response\t\t\t\t[0x8000]\tOn",
      "Function Code\t\t[0x0000]\tQuery",
      "Authoritative\t\t[0x0400]\tOn",
      "Truncation\t\t\t[0x0200]\tOff",
      "Recursion Desired\t[0x0100]\tOn",
      "Recursion Avail\t[0x0080]\tOff",
      "Response Code\t\t[0x0000]\tSuccess",
      "Question Count\t\t\t1",
      "Answer Count\t\t\t2",
      "Authority Count\t\t2",
      "Additional Count\t\t5",
      "Questions",
      "Query Name\t\t\twww.tcpdump.org",
      "Type\t\t\t\t\tHost Address",
      "Class\t\t\t\t\tInternet",
      "Answers",
      "Answer Resource Record",
      "Owner Name\t\twww.tcpdump.org",
      "Type\t\t\t\tHost Address",
      "Class\t\t\t\tInternet",
      "Time To Live\t60",
      "Length\t\t\t4",
      "Address\t\t\t192.139.46.66",
      "Answer Resource Record",
      "Owner Name\t\twww.tcpdump.org",
      "Type\t\t\t\tHost Address",
      "Class\t\t\t\tInternet",
  };
  EXPECT_EQ(Texts("Domain Name Service Protocol"), want);
}

// Crafted messages of thousands of questions whose names are runs of short
// labels ended by pointers that lead forwards (tshark gives up with "Name
// too long"): each name line stays within a line and the capture, and the
// detail ends where the capture does.
TEST_F(Captures, DnsNamesThatRunOn) {
  for (const char* file : {"dns_fwdptr.pcap", "dns-badlabel.pcap"}) {
    SCOPED_TRACE(file);
    const auto frames = ReadCapture(file);
    ASSERT_FALSE(frames.empty());
    Decode(frames[0]);
    EXPECT_EQ(h.Description(), "Unknown Response Error");
    const int end = (int)frames[0].bytes.size();
    int names = 0;
    for (const auto& l : LinesFrom(h.Lines(), "Domain Name Service Protocol")) {
      EXPECT_LE(l.offset + l.length, end) << l.text;
      EXPECT_LT(l.text.size(), 128u);
      if (l.text.rfind("Query Name", 0) == 0) names++;
    }
    EXPECT_GE(names, 1);
  }
}

// tshark: id 0x8d40, flags 0x0100 (name query, recursion desired), one
// question, and "NBNS truncated" before the question.
TEST_F(Captures, NbnsQueryCutBeforeItsQuestion) {
  const auto frames = ReadCapture("nbns-valgrind.pcap");
  ASSERT_FALSE(frames.empty());
  Decode(frames[0]);
  EXPECT_EQ(h.Description(), "Name Query");
  const auto texts = Texts("NetBios Name Service Protocol");
  ASSERT_EQ(texts.size(), 14u);
  EXPECT_EQ(texts[1], "Transaction ID\t\t\t36160");
  EXPECT_EQ(texts[6], "Recursion Desired\tOn\t\txxxx xxx1 xxxx xxxx");
  EXPECT_EQ(texts[9], "Question Count\t\t\t1");
  EXPECT_EQ(texts[13], "Questions");
}

// tshark: session message, length 84, from port 445.
TEST_F(Captures, NbssSessionMessage) {
  const auto frames = ReadCapture("smb_data_print-segv.pcap");
  ASSERT_FALSE(frames.empty());
  Decode(frames[0]);
  EXPECT_EQ(Texts("NetBios Session Service Protocol"),
            (std::vector<std::string>{"NetBios Session Service Protocol", "Packet Type\t\t\t\tSession Message",
                                      "Flags\t\t\t\t\t\t0x00", "Packet Length\t\t\t84"}));
}

}  // namespace
}  // namespace corvaletest
