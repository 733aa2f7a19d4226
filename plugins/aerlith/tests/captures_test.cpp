// Real 802.11 captures (tests/captures/files, and small ones written here)
// through the host's capture and radiotap reading and the parsers, with the
// fields tshark reads from the same frames.
#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "aerlith_host.h"
#include "pcap_file.h"
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
  // A name is of a file in tests/captures/files, a path of any file.
  template <class Each>
  void DecodeFile(const std::string& name, Each each) {
    qvhost::CaptureSource source;
    std::string error;
    const std::string path = name[0] == '/' ? name : std::string(QV_CAPTURE_DIR) + "/" + name;
    ASSERT_TRUE(source.OpenFile(path, &error)) << error;
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

// A classic pcap file of this link type in the test program's own folder.
std::string WriteCapture(const char* name, uint32_t linkType, const std::vector<Bytes>& packets) {
  const char* dir = getenv("QUORVANE_CONFIG_DIR");
  const std::string folder = dir ? dir : "/tmp";
  mkdir(folder.c_str(), 0755);
  return qvtest::WritePcapFile(folder + "/" + name, linkType, packets);
}

// A radiotap header that holds the Flags field alone.
Bytes RadiotapFlags(BYTE flags) { return Cat({Hex("0000 0900 02000000"), Bytes{flags}}); }

// Frames that radiotap marks with a bad FCS, read from a capture: counted
// and decoded without their FCS, but they add no station traffic and no
// access point; the same beacon with a good FCS does.
TEST(RealCaptures, BadFcsFramesAddNoStationsAndNoAccessPoint) {
  const Bytes fcs = Hex("deadbeef");
  const Bytes beacon = Beacon(Element(0, "home"));
  const Bytes data = Build({.flags = 0x01, .body = Hex("aaaa0300000008004500")});
  const struct {
    BYTE flags;  // radiotap's: 0x10 an FCS at the end, 0x40 a bad one
    Bytes frame;
    const char* protocol;  // the innermost: a data frame goes on to LLC and SNAP
    size_t stations, accessPoints;  // after this frame
  } cases[] = {
      {0x50, beacon, "IEEE 802.11", 0, 0},
      {0x50, data, "IEEE SNAP", 0, 0},
      {0x10, beacon, "IEEE 802.11", 2, 1},
      {0x50, data, "IEEE SNAP", 2, 1},
  };
  std::vector<Bytes> packets;
  for (const auto& c : cases) packets.push_back(Cat({RadiotapFlags(c.flags), c.frame, fcs}));
  const std::string path = WriteCapture("bad-fcs.pcap", 127, packets);
  CaptureHost h;
  int decoded = 0;
  h.DecodeFile(path, [&](int n) {
    SCOPED_TRACE(n);
    decoded = n;
    const auto& c = cases[n - 1];
    EXPECT_EQ(h.host.currentFrame()->frameLength, (int)c.frame.size());
    EXPECT_EQ(h.Protocol(), c.protocol);
    EXPECT_EQ(h.host.stations().size(), c.stations);
    EXPECT_EQ(h.host.bssEntries().size(), c.accessPoints);
  });
  EXPECT_EQ(decoded, 4);
  EXPECT_EQ(h.Frames("IEEE 802.11"), 4u);
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

// QoS data frames, protected: their body is taken for ciphertext and goes
// nowhere; the WEP group shows the IV the host read behind the QoS control
// field (radiotap itself carries none).
TEST(RealCaptures, ProtectedQosDataIsNotHandedOn) {
  // The first three bytes of each CCMP header: PN0, PN1 (0x11, 0x01 and 0x05
  // as tshark reads them) and the reserved byte.
  const char* const kIvs[] = {"0X110000", "0X010000", "0X050000"};
  CaptureHost h;
  int frames = 0;
  h.DecodeFile("ieee802.11_rx-stbc.pcap", [&](int n) {
    frames = n;
    EXPECT_EQ(h.Line("Function"), "Function\t\t\t\t\tData [Reserved SubType]");
    EXPECT_EQ(h.Protocol(), "IEEE 802.11");
    EXPECT_EQ(h.Description(), "Unknown");  // a subtype newer than the table
    EXPECT_EQ(h.Source(), "20-7C-8F-50-3F-3A");
    EXPECT_EQ(h.Line("IV\t"), std::string("IV\t\t\t\t\t\t") + kIvs[n - 1]);
    EXPECT_TRUE(h.handOns.empty());
    EXPECT_EQ(h.Lines()[0].length, 26);  // the header with its QoS control
  });
  EXPECT_EQ(frames, 3);
  EXPECT_EQ(h.Frames("IEEE 802.2"), 0u);
}

// A plain 802.11 capture has no values beside the frame: the host reads the
// WEP group's from the frame, the IV and key byte behind the header and the
// ICV in its last four bytes.
TEST(RealCaptures, PlainCaptureShowsTheFramesWepValues) {
  const Bytes frame = Build({.flags = 0x41, .body = Hex("a1b2c3 40 aaaa0300000008004500 01020304")});
  CaptureHost h;
  int decoded = 0;
  h.DecodeFile(WriteCapture("protected.pcap", 105, {frame}), [&](int n) {
    decoded = n;
    ExpectLines(Section(h.Lines(), "WEP Information", "Duration ID\t\t\t\t0"),
                {{"WEP Information", 0, 0, OPEN},
                 {"IV\t\t\t\t\t\t0XA1B2C3", 0, 0, 0},
                 {"Key Index\t\t\t1", 0, 0, 0},
                 {"CRC\t\t\t\t\t0X01020304", 0, 0, CLOSE}});
    EXPECT_EQ(h.Protocol(), "IEEE 802.11");
  });
  EXPECT_EQ(decoded, 1);
  EXPECT_EQ(h.Frames("IEEE 802.2"), 0u);
}

}  // namespace
}  // namespace aerlithtest
