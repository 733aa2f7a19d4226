// voice.pcap (made by make_voice_pcap.py) from the Ethernet root through IP
// and TCP or UDP, with what tshark reads from the same frames where both
// show a value. No capture of the shared regression set carries these
// protocols, so these frames stand in for them.
#include <string>
#include <vector>

#include "qvhost/capture.h"
#include "selkirt_host.h"

namespace selkirttest {
namespace {

struct Frame {
  Bytes bytes;
  int wireLength;
};

std::vector<Frame> ReadVoiceCapture() {
  std::vector<Frame> frames;
  qvhost::CaptureSource source;
  std::string error;
  EXPECT_TRUE(source.OpenFile(QV_VOICE_PCAP, &error)) << error;
  qvhost::Packet packet;
  while (source.Next(&packet) == 1)
    frames.push_back({Bytes(packet.data, packet.data + packet.capturedLength), packet.wireLength});
  return frames;
}

class VoiceCapture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!h.Has("MAC-802.3") || !h.Has("DOD-IP")) GTEST_SKIP() << "the parent plug-ins are not built in this tree";
    frames = ReadVoiceCapture();
    ASSERT_EQ(frames.size(), 7u);
  }
  void Decode(size_t i) { h.Decode("MAC-802.3", frames[i].bytes, qvhost::RUN_ALL, frames[i].wireLength); }
  std::vector<std::string> Texts(size_t slot) {
    std::vector<std::string> texts;
    for (const auto& l : h.Lines(slot)) texts.push_back(l.text);
    return texts;
  }
  SelkirtHost h{{}, {"brannock", "corvale", "selkirt", "halvern", "pallisand"}};
  std::vector<Frame> frames;
};

// tshark: TPKT version 3, reserved 0, length 34; Q.931 call reference of 2
// bytes, 0001, SETUP; bearer capability of 3 bytes, ITU-T standardized
// coding, speech, circuit mode, 64 kbit/s; sending complete; display
// 'Alice'; called party number of 4 bytes; user-user of 3 bytes, X.208 and
// X.209 coded.
TEST_F(VoiceCapture, SetupBehindTpkt) {
  Decode(0);
  EXPECT_EQ(h.Protocol(), "Q.931");
  EXPECT_EQ(h.Description(), "Setup");
  EXPECT_TRUE(h.Lines(3).empty());
  EXPECT_EQ(Texts(4), (std::vector<std::string>{"TPKT", "Version\t\t\t\t\t3", "Reserved\t\t\t\t\t0",
                                                "Length\t\t\t\t\t34"}));
  EXPECT_EQ(h.Lines(4)[0].offset, 54);
  const std::vector<std::string> want = {"Q.931 Connection Control Protocol",
                                         "Discriminator\t\t\t8",
                                         "Ref Data Length\t\t2",
                                         "Reference Data\t\t\t00 01 ",
                                         "Message Type\t\t\tSetup",
                                         "Information Element",
                                         "Element Type\t\tBearer Capability",
                                         "Element Length\t\t3",
                                         "Coding Standard\tITU-T standardized coding",
                                         "Info Xfer Cap\t\tSpeech",
                                         "Xfer Mode\t\t\tCircuit Mode",
                                         "Xfer Rate\t\t\t64 kbit/s",
                                         "Information Element",
                                         "Element Type\t\tSending Complete",
                                         "Information Element",
                                         "Element Type\t\tDisplay",
                                         "Element Length\t\t5",
                                         "Value\t\t\t\t\tAlice",
                                         "Information Element",
                                         "Element Type\t\tCalled PartyNumber",
                                         "Element Length\t\t4",
                                         "Information Element",
                                         "Element Type\t\tUser-User",
                                         "Element Length\t\t3",
                                         "Discriminator\t\tX.208 and X.209 Coded"};
  EXPECT_EQ(Texts(5), want);
  EXPECT_EQ(h.Lines(5).back().flags, CLOSE + 1);
}

// tshark: a TPKT of 13 bytes with RELEASE COMPLETE and a cause of 2 bytes,
// then a second TPKT of 9 bytes with CONNECT, which this decoder leaves
// alone: the first message ends with its TPKT.
TEST_F(VoiceCapture, TwoTpktsInOneSegment) {
  Decode(1);
  EXPECT_EQ(h.Description(), "Release Complete");
  EXPECT_EQ(Texts(4).back(), "Length\t\t\t\t\t13");
  const auto message = h.Lines(5);
  ASSERT_EQ(message.size(), 8u);
  EXPECT_EQ(message[0].length, 9);
  EXPECT_EQ(message[6].text, "Element Type\t\tCause");
  EXPECT_EQ(message[7].text, "Element Length\t\t2");
  EXPECT_TRUE(h.Lines(6).empty());
}

// tshark: INFORMATION with a display of length 200, the letters A to Z over
// and over; the first 64 are shown here.
TEST_F(VoiceCapture, DisplayOf200Bytes) {
  Decode(2);
  EXPECT_EQ(h.Description(), "Information");
  std::string letters;
  for (int i = 0; i < 64; i++) letters += (char)('A' + i % 26);
  const auto message = h.Lines(5);
  ASSERT_EQ(message.size(), 9u);
  EXPECT_EQ(message[7].text, "Element Length\t\t200");
  EXPECT_EQ(message[8].text, "Value\t\t\t\t\t" + letters + "...");
  EXPECT_EQ(message[8].offset, 54 + 4 + 7);
  EXPECT_EQ(message[8].length, 200);
}

// tshark: FACILITY with a facility element of 1 byte; it reads the last
// two bytes as a user-user element of length 0, a one-byte length this
// decoder does not take: without its 16-bit length and discriminator the
// element is not listed, and the list ends with its groups open.
TEST_F(VoiceCapture, UserUserHeaderCutByTheMessageEnd) {
  Decode(3);
  EXPECT_EQ(h.Description(), "Facility");
  const auto texts = Texts(5);
  ASSERT_EQ(texts.size(), 8u);
  EXPECT_EQ(texts[6], "Element Type\t\tFacility");
  EXPECT_EQ(texts[7], "Element Length\t\t1");
  EXPECT_EQ(h.Lines(5).back().flags, CLOSE) << "the element's group only";
}

// tshark: SETUP, then the capture ends inside the bearer capability.
TEST_F(VoiceCapture, CaptureCutInsideAnElement) {
  Decode(4);
  EXPECT_EQ(h.Description(), "Setup");
  const auto message = h.Lines(5);
  ASSERT_EQ(message.size(), 10u);
  EXPECT_EQ(message[9].text, "Info Xfer Cap\t\tSpeech");
  EXPECT_EQ(message[9].flags, 0u);
  for (const auto& l : h.Lines()) EXPECT_LE(l.offset + l.length, 66) << l.text;
}

// tshark: admissionRequest; an RTP packet of 12 header and 20 payload bytes.
TEST_F(VoiceCapture, RasAndRtp) {
  Decode(5);
  EXPECT_EQ(h.Protocol(), "H.225");
  EXPECT_EQ(h.Description(), "Admission Request");
  EXPECT_EQ(Texts(4), (std::vector<std::string>{"H.225 Call Signalling Protocol", "Message Type\t\t\tAdmission Request"}));
  Decode(6);
  EXPECT_EQ(h.Protocol(), "RTP");
  ExpectLines(h.Lines(4), {{"Real-Time Transport Protocol", 42, 32, OPEN | CLOSE}});
}

}  // namespace
}  // namespace selkirttest
