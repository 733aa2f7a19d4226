// Real 802.11 captures (tests/captures/files) through the host's radiotap
// reading and the parsers, with the fields tshark reads from the same frames.
#include <dirent.h>

#include <string>
#include <vector>

#include "aerlith_host.h"
#include "qvhost/capture.h"

namespace aerlithtest {
namespace {

// Aerlith with the LLC it hands data frames to, and the name libraries.
class CaptureHost : public qvtest::TestHost {
 public:
  CaptureHost() : TestHost({"aerlith", "brannock", "halvern", "pallisand"}) {
    EXPECT_TRUE(loadErrors.empty()) << loadErrors.front();
  }
  // Every frame of the capture through all passes; the callback sees each.
  template <class Each>
  void DecodeFile(const std::string& name, Each each) {
    qvhost::CaptureSource source;
    std::string error;
    ASSERT_TRUE(source.OpenFile(std::string(QV_CAPTURE_DIR) + "/" + name, &error)) << error;
    qvhost::Packet packet;
    int number = 0;
    while (source.Next(&packet) == 1) {
      qvhost::Media media;
      ASSERT_TRUE(qvhost::MediaOf(source.linkType(), packet, &media)) << name;
      ASSERT_STREQ(media.root, kRoot);
      host.DecodeFrame(host.Find(kRoot), packet.data + media.skip, media.capturedLength, media.wireLength,
                       qvhost::RUN_ALL, &out, &media.radio);
      each(++number);
    }
  }
  std::vector<qvhost::FlatLine> Lines() const { return TestHost::Lines(0); }
  std::string Line(const std::string& prefix) const {
    const auto found = qvtest::LinesStarting(Lines(), prefix);
    return found.empty() ? "" : found[0].text;
  }
};

std::vector<std::string> Files(const std::string& prefix) {
  std::vector<std::string> files;
  if (DIR* d = opendir(QV_CAPTURE_DIR)) {
    while (dirent* e = readdir(d))
      if (std::string(e->d_name).rfind(prefix, 0) == 0) files.push_back(e->d_name);
    closedir(d);
  }
  return files;
}

// Each reason_code-N and status_code-N capture holds one deauthentication
// or authentication frame whose code tshark reads as N.
TEST(RealCaptures, ReasonAndStatusCodes) {
  CaptureHost h;
  const std::vector<std::string> reasons = Files("reason_code-"), statuses = Files("status_code-");
  EXPECT_GE(reasons.size() + statuses.size(), 90u);
  for (const std::string& file : reasons) {
    const std::string code = file.substr(12, file.size() - 12 - 5);
    h.DecodeFile(file, [&](int) {
      EXPECT_EQ(h.Description(), "Deauthentication") << file;
      EXPECT_EQ(h.Line("Reason Code").rfind("Reason Code\t\t\t\t" + code + "\t", 0), 0u) << file;
    });
  }
  for (const std::string& file : statuses) {
    const std::string code = file.substr(12, file.size() - 12 - 5);
    h.DecodeFile(file, [&](int) {
      EXPECT_EQ(h.Description(), "Authentication") << file;
      EXPECT_EQ(h.Line("Status Code").rfind("Status Code\t\t\t\t" + code + "\t", 0), 0u) << file;
    });
  }
  // One frame in full: tshark's deauthentication from 00:0d:93:82:36:3a,
  // sequence number 181, reason 3.
  h.DecodeFile("reason_code-3.pcap", [&](int) {
    EXPECT_EQ(h.Destination(), "00-0C-41-82-B2-55");
    EXPECT_EQ(h.Source(), "00-0D-93-82-36-3A");
    EXPECT_EQ(h.Line("Duration ID"), "Duration ID\t\t\t\t314");
    EXPECT_EQ(h.Line("Sequence\t"), "Sequence\t\t\t\t\t[00001011 0101xxxx]\t181");
    EXPECT_EQ(h.Line("Reason Code"), "Reason Code\t\t\t\t3\tDeauthenticated because station is leaving IBSS or ESS");
  });
}

// A probe exchange, authentication and association with radiotap headers
// that carry an FCS, as tshark reads them.
TEST(RealCaptures, ProbeAndAssociation) {
  CaptureHost h;
  const char* const descriptions[] = {
      "Probe Request",  "ACK", "Probe Response", "Probe Request",  "ACK", "Probe Response",
      "Probe Request",  "ACK", "Probe Response", "Probe Request",  "ACK", "Probe Response",
      "Probe Request",  "ACK", "Probe Response", "Probe Request",  "ACK", "Probe Response",
      "Authentication", "ACK", "Authentication", "Association Request", "ACK", "Association Response",
      "Null",           "Null",
  };
  const int sequences[] = {1, 0, 1788, 2, 0, 1790, 5, 0, 1793, 6, 0, 1795, 7, 0, 1796, 8, 0, 1798,
                           27, 0, 1827, 28, 0, 1828, 29, 30};
  int frames = 0;
  h.DecodeFile("ieee802.11_exthdr.pcap", [&](int n) {
    SCOPED_TRACE(n);
    frames = n;
    ASSERT_LE(n, 26);
    EXPECT_EQ(h.Description(), descriptions[n - 1]);
    if (sequences[n - 1]) {
      const std::string line = h.Line("Sequence\t");
      EXPECT_EQ(line.substr(line.rfind('\t') + 1), std::to_string(sequences[n - 1]));
    }
    EXPECT_TRUE(h.handOns.empty());
  });
  EXPECT_EQ(frames, 26);
  // The first probe request: 1 Mbit/s on a CCK channel, the FCS trimmed.
  h.DecodeFile("ieee802.11_exthdr.pcap", [&](int n) {
    if (n != 1) return;
    EXPECT_EQ(h.host.currentFrame()->frameLength, 170 - 89 - 4);
    ExpectLines(Section(h.Lines(), "PLCP Header", "Frame Control Byte 0"),
                {{"PLCP Header", 0, 0, OPEN},
                 {"PHY Type\t\t\t\tDirect Sequence Spread Spectrum (DSSS)", 0, 0, 0},
                 {"Speed\t\t\t\t\t1 MB DBPSK", 0, 0, 0},
                 {"Service\t\t\t\t0x00", 0, 0, OPEN},
                 {"Length Bit\t\t[0xxxxxxx]\tOff", 0, 0, 0},
                 {"Modulation Bit\t[xxxx0xxx]\tOff", 0, 0, 0},
                 {"Locked Bit\t\t[xxxxx0xx]\tOff", 0, 0, CLOSE},
                 {"Length\t\t\t\t0 microseconds", 0, 0, CLOSE}});
    EXPECT_EQ(h.Line("SSID\t"), "SSID\t\t\t\t\tomus");
    std::vector<std::string> rates;
    for (const auto& l : qvtest::LinesStarting(h.Lines(), "Rate\t\t\t\t\t"))
      rates.push_back(l.text.substr(9, l.text.find('\t', 9) - 9));
    EXPECT_EQ(rates, (std::vector<std::string>{"1.0 MB", "2.0 MB", "5.5 MB", "11.0 MB", "6.0 MB", "9.0 MB", "12.0 MB",
                                               "18.0 MB"}));
  });
}

// Beacons of a mesh point on channel 149: its BSS entry with tshark's
// channel, signal, clock and privacy bit (and the wildcard SSID).
TEST(RealCaptures, BeaconMakesTheBssEntry) {
  CaptureHost h;
  h.DecodeFile("ieee802.11_meshid.pcap", [](int) {});
  ASSERT_EQ(h.host.bssEntries().size(), 1u);
  const qvhost::BssEntry& e = h.host.bssEntries()[0];
  EXPECT_EQ(Bytes(e.bssid, e.bssid + 6), Hex("1831bf57da1c"));
  EXPECT_EQ(e.ssid, "");
  EXPECT_EQ(e.privacy, 1);
  EXPECT_EQ(e.channel, 149);
  EXPECT_EQ(e.signal, -34);
  EXPECT_EQ(e.noise, 0);
  EXPECT_EQ(e.timestamp, 9526800862u);
}

// QoS data frames, protected: the QoS control field reaches LLC-802.2 as
// its first bytes, as the hand-on at 24 bytes has it.
TEST(RealCaptures, QosDataIsHandedOnAtTheBasicHeader) {
  CaptureHost h;
  int frames = 0;
  h.DecodeFile("ieee802.11_rx-stbc.pcap", [&](int n) {
    frames = n;
    EXPECT_EQ(h.Line("Function"), "Function\t\t\t\t\tData [Reserved SubType]");
    EXPECT_EQ(h.Protocol(), "IEEE 802.2");  // LLC-802.2 read the QoS control field and the IV
    EXPECT_EQ(h.Source(), "20-7C-8F-50-3F-3A");
  });
  EXPECT_EQ(frames, 3);
}

}  // namespace
}  // namespace aerlithtest
