// The host's reading of radiotap headers: where the 802.11 frame starts,
// its lengths without the FCS, and the radio values the wireless root gets.
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "qvhost/radiotap.h"

namespace {

typedef std::vector<BYTE> Bytes;

// A radiotap header of these presence words and field bytes (laid out by
// the caller, alignment included), followed by an 802.11 frame of `frame`
// bytes.
struct Header {
  std::vector<uint32_t> present;
  Bytes fields = {};
};
Bytes Make(const Header& h, size_t frame = 30) {
  Bytes b = {0, 0, 0, 0};
  for (uint32_t w : h.present)
    for (int i = 0; i < 4; i++) b.push_back((BYTE)(w >> (8 * i)));
  b.insert(b.end(), h.fields.begin(), h.fields.end());
  b[2] = (BYTE)b.size();
  b[3] = (BYTE)(b.size() >> 8);
  for (size_t i = 0; i < frame; i++) b.push_back((BYTE)i);
  return b;
}

qvhost::RadiotapFrame Read(const Bytes& b, int wire = -1) {
  qvhost::RadiotapFrame f;
  EXPECT_TRUE(qvhost::ReadRadiotap(b.data(), (int)b.size(), wire < 0 ? (int)b.size() : wire, &f));
  return f;
}
DWORD PhyType(const qvhost::RadiotapFrame& f) {
  DWORD v;
  memcpy(&v, f.media.radioInfo + 4, 4);
  return v;
}

// TSFT, Flags, Rate, Channel, signal, noise, antenna and RX flags, as a
// card in monitor mode reports them.
const Header kFull = {{0x0000486f},
                      {0x68, 0xd6, 0x98, 0x00, 0, 0, 0, 0,  // TSFT 10016360
                       0x10,                                // Flags: FCS at the end
                       0x02,                                // 1 Mbit/s
                       0x6c, 0x09, 0xa0, 0x00,              // 2412 MHz, CCK, 2 GHz
                       0xea, 0xaa,                          // -22 dBm, -86 dBm
                       0x01,                                // antenna
                       0x00, 0x00, 0x00}};                  // RX flags (aligned)

TEST(Radiotap, FieldsOfAMonitorCard) {
  const Bytes b = Make(kFull, 77 + 4);
  const qvhost::RadiotapFrame f = Read(b);
  EXPECT_EQ(f.headerLength, 28);
  EXPECT_EQ(f.capturedLength, 77);  // the FCS trimmed
  EXPECT_EQ(f.wireLength, 77);
  const BYTE* r = f.media.radioInfo;
  EXPECT_EQ(r[0], 10);  // 1 Mbit/s in 100 kbit/s
  EXPECT_EQ(r[1], 0);
  EXPECT_EQ(r[2] | r[3], 0);
  EXPECT_EQ(PhyType(f), 1u);
  EXPECT_EQ(r[8], 1);
  EXPECT_EQ((int8_t)r[10], -22);
  EXPECT_EQ((int8_t)r[11], -86);
  for (int i = 12; i < 20; i++) EXPECT_EQ(r[i], 0) << i;
  EXPECT_EQ(f.media.hostCookie[0], 10016360u);
  EXPECT_EQ(f.media.hostCookie[1], 0u);
  EXPECT_EQ(f.media.status, 0u);
}

TEST(Radiotap, HeaderThatDoesNotFit) {
  qvhost::RadiotapFrame f;
  const Bytes tooLong = {0, 0, 0x40, 0, 0, 0, 0, 0, 1, 2};
  const Bytes tooShort = {0, 0, 7, 0, 0, 0, 0, 0, 1, 2};
  EXPECT_FALSE(qvhost::ReadRadiotap(tooLong.data(), (int)tooLong.size(), 100, &f));
  EXPECT_FALSE(qvhost::ReadRadiotap(tooShort.data(), (int)tooShort.size(), 100, &f));
  EXPECT_EQ(f.headerLength, 7);  // the length given, for the message
  EXPECT_FALSE(qvhost::ReadRadiotap(tooShort.data(), 4, 100, &f));
  EXPECT_EQ(f.headerLength, 7);
  EXPECT_FALSE(qvhost::ReadRadiotap(tooShort.data(), 3, 100, &f));
  EXPECT_EQ(f.headerLength, -1);
  // Nothing but its header.
  const Bytes bare = {0, 0, 8, 0, 0, 0, 0, 0};
  EXPECT_TRUE(qvhost::ReadRadiotap(bare.data(), 8, 8, &f));
  EXPECT_EQ(f.capturedLength, 0);
  EXPECT_EQ(f.wireLength, 0);
}

// Where the fields lie: behind every presence word, each at its alignment,
// and only inside the header's own length.
TEST(Radiotap, FieldPlacement) {
  const struct {
    const char* name;
    Header header;
    BYTE rate;
    DWORD tsftLow;
  } cases[] = {
      {"rate alone", {{0x00000004}, {0x16}}, 110, 0},
      {"a second presence word moves the fields",
       {{0x80000005, 0x00000000}, {0, 0, 0, 0, 0x78, 0x56, 0x34, 0x12, 0, 0, 0, 0, 0x0b}},
       55, 0x12345678},
      {"an extension chain that runs past the header", {{0x80000004}}, 0, 0},
      {"a field past the header's length", {{0x00000001}, {1, 2, 3, 4}}, 0, 0},
      {"rate beyond a byte of 100 kbit/s", {{0x00000004}, {108}}, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const qvhost::RadiotapFrame f = Read(Make(c.header));
    EXPECT_EQ(f.media.radioInfo[0], c.rate);
    EXPECT_EQ(f.media.hostCookie[0], c.tsftLow);
    EXPECT_EQ(f.capturedLength, 30);
  }
}

TEST(Radiotap, PhyTypeAndChannel) {
  // Rate and Channel fields: rate, pad, frequency, channel flags.
  auto header = [](BYTE rate, WORD mhz, WORD flags) {
    return Header{{0x0000000c}, {rate, 0, (BYTE)mhz, (BYTE)(mhz >> 8), (BYTE)flags, (BYTE)(flags >> 8)}};
  };
  const struct {
    const char* name;
    Header header;
    DWORD phyType;
    BYTE channel;
  } cases[] = {
      {"CCK", header(22, 2437, 0x00a0), 1, 6},
      {"dynamic CCK-OFDM at 5.5 Mbit/s", header(11, 2484, 0x0480), 1, 14},
      {"dynamic CCK-OFDM at 6 Mbit/s", header(12, 2472, 0x0480), 0, 13},
      {"OFDM", header(108, 5180, 0x0140), 0, 36},
      {"GFSK", header(2, 2412, 0x0880), 2, 1},
      {"4.9 GHz", header(12, 4920, 0x0140), 0, 184},
      {"no known band", header(12, 900, 0x0004), 0, 0},
      {"FHSS field", {{0x00000010}, {3, 7}}, 2, 0},
      {"nothing", {{0}, {}}, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const qvhost::RadiotapFrame f = Read(Make(c.header));
    EXPECT_EQ(PhyType(f), c.phyType);
    EXPECT_EQ(f.media.radioInfo[8], c.channel);
  }
}

// FHSS (hop set, hop pattern) is aligned to two bytes: behind Flags it
// leaves a pad, and the fields after it lie where tshark 4.0 reads them
// (hop set 3, pattern 7, signal -42 dBm, noise -95 dBm, RX flags 0).
TEST(Radiotap, FieldsBehindAnFhssField) {
  const struct {
    const char* name;
    Header header;
    int noise;
  } cases[] = {
      {"Flags, FHSS, signal, noise, RX flags", {{0x00004072}, {0x00, 0x00, 0x03, 0x07, 0xd6, 0xa1, 0x00, 0x00}}, -95},
      // Read one byte early, the RX flags would be the signal and a pad:
      // bad PLCP.
      {"Flags, FHSS, signal, RX flags", {{0x00004032}, {0x00, 0x00, 0x03, 0x07, 0xd6, 0x00, 0x00, 0x00}}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const qvhost::RadiotapFrame f = Read(Make(c.header));
    EXPECT_EQ(f.headerLength, 16);
    EXPECT_EQ((int8_t)f.media.radioInfo[10], -42);
    EXPECT_EQ((int8_t)f.media.radioInfo[11], c.noise);
    EXPECT_EQ(PhyType(f), 2u);
    EXPECT_EQ(f.media.status, 0u);
  }
}

// Frames the radio marks as failed, and the FCS of a frame cut short.
TEST(Radiotap, FailedFramesAndTheFcs) {
  const Header badFcs = {{0x00000002}, {0x50}};
  const Header badPlcp = {{0x00004000}, {0x02, 0x00}};
  const Header goodPlcp = {{0x00004000}, {0x01, 0x00}};
  EXPECT_EQ(Read(Make(badFcs)).media.status, 0x40000000u);
  EXPECT_EQ(Read(Make(badPlcp)).media.status, 0x40000000u);
  EXPECT_EQ(Read(Make(goodPlcp)).media.status, 0u);

  const Header fcs = {{0x00000002}, {0x10}};
  const Bytes b = Make(fcs, 100);  // 9 + 100 bytes
  // The capture stops before the FCS: only the wire length loses it.
  qvhost::RadiotapFrame f = Read(Bytes(b.begin(), b.begin() + 9 + 50), 9 + 100);
  EXPECT_EQ(f.capturedLength, 50);
  EXPECT_EQ(f.wireLength, 96);
  // The capture stops inside the FCS.
  f = Read(Bytes(b.begin(), b.begin() + 9 + 98), 9 + 100);
  EXPECT_EQ(f.capturedLength, 96);
  EXPECT_EQ(f.wireLength, 96);
  // A frame shorter than an FCS.
  f = Read(Make(fcs, 2));
  EXPECT_EQ(f.capturedLength, 0);
  EXPECT_EQ(f.wireLength, 0);
}

}  // namespace
