// Real captures of tests/captures/files that carry SNMP, OSPF, HTTP, RADIUS
// and TFTP: the fields that tshark reads from the same frames, where both
// show the same value. Ethernet frames are decoded from the Ethernet root;
// those of the Linux cooked and loopback link types, which the host does not
// read, from DOD-IP behind their link header.
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
// 0x80000002, checksum 0x62ba, length 36.
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

}  // namespace
}  // namespace corvaletest
