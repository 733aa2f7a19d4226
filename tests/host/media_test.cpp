// The host's part of a wireless frame's record: the WEP values a capture
// driver would keep beside a protected frame, read from the frame's own
// bytes, with or without a radiotap header in front.
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <string.h>

#include <string>
#include <vector>

#include "qvhost/capture.h"

namespace {

typedef std::vector<BYTE> Bytes;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}
// An 802.11 header of these two frame-control bytes and `length` bytes in all.
Bytes Header(BYTE control, BYTE flags, int length) {
  Bytes b(length, 0x11);
  b[0] = control;
  b[1] = flags;
  return b;
}
const Bytes kIvAndKey = {0xA1, 0xB2, 0xC3, 0x80};
const Bytes kCiphertext = {0x55, 0x66, 0x77};
const Bytes kIcv = {0x01, 0x02, 0x03, 0x04};
const Bytes kNone = {0, 0, 0, 0};

struct Wep {
  Bytes ivAndKey, icv;
};
Wep WepOf(int linkType, const Bytes& packet, int wire) {
  qvhost::Packet p;
  p.data = packet.data();
  p.capturedLength = (int)packet.size();
  p.wireLength = wire;
  qvhost::Media m;
  EXPECT_TRUE(qvhost::MediaOf(linkType, p, &m));
  const BYTE* r = m.radio.radioInfo;
  return {Bytes(r + 12, r + 16), Bytes(r + 16, r + 20)};
}

TEST(WirelessMedia, WepValuesComeFromTheProtectedFrame) {
  const Bytes body = Cat({kIvAndKey, kCiphertext, kIcv});
  const struct Case {
    const char* what;
    Bytes frame;
    int cut;  // bytes missing from the capture's end
    Bytes ivAndKey, icv;
  } cases[] = {
      {"data", Cat({Header(0x08, 0x41, 24), body}), 0, kIvAndKey, kIcv},
      {"data, four addresses", Cat({Header(0x08, 0x43, 30), body}), 0, kIvAndKey, kIcv},
      {"QoS data", Cat({Header(0x88, 0x41, 26), body}), 0, kIvAndKey, kIcv},
      {"QoS data with HT control", Cat({Header(0x88, 0xC1, 30), body}), 0, kIvAndKey, kIcv},
      {"QoS data, four addresses", Cat({Header(0x88, 0x43, 32), body}), 0, kIvAndKey, kIcv},
      {"authentication (management)", Cat({Header(0xB0, 0x40, 24), body}), 0, kIvAndKey, kIcv},
      {"cut: the ICV is not captured", Cat({Header(0x08, 0x41, 24), body}), 2, kIvAndKey, kNone},
      {"body too short for IV and ICV", Cat({Header(0x08, 0x41, 24), kIvAndKey, {0x55}}), 0, kIvAndKey, kNone},
      {"IV cut", Cat({Header(0x08, 0x41, 24), {0xA1, 0xB2}}), 0, kNone, kNone},
      {"not protected", Cat({Header(0x08, 0x01, 24), body}), 0, kNone, kNone},
      {"control frame with the bit set", Cat({Header(0xD4, 0x40, 10), body}), 0, kNone, kNone},
      {"frame control cut", {0x08}, 0, kNone, kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes captured(c.frame.begin(), c.frame.end() - c.cut);
    const Wep plain = WepOf(DLT_IEEE802_11, captured, (int)c.frame.size());
    EXPECT_EQ(plain.ivAndKey, c.ivAndKey);
    EXPECT_EQ(plain.icv, c.icv);
    // Behind radiotap (Flags: an FCS at the end), the ICV lies before the FCS.
    const Bytes radiotap = {0, 0, 9, 0, 0x02, 0, 0, 0, 0x10};
    const Bytes fcs = {0xDE, 0xAD, 0xBE, 0xEF};
    const Bytes withFcs = Cat({radiotap, captured, c.cut ? Bytes{} : fcs});
    const Wep radio = WepOf(DLT_IEEE802_11_RADIO, withFcs, (int)(radiotap.size() + c.frame.size() + 4));
    EXPECT_EQ(radio.ivAndKey, c.ivAndKey);
    EXPECT_EQ(radio.icv, c.icv);
  }
}

}  // namespace
