// The radiotap reader: the header's length, the chain of presence words, and
// the fields of the first word found at their sizes and alignments, mapped to
// the frame record's radio values as radiotap.h lists them.
#include "qvhost/radiotap.h"

#include <string.h>

namespace qvhost {

namespace {

enum : int {
  FIELD_TSFT = 0,
  FIELD_FLAGS = 1,
  FIELD_RATE = 2,
  FIELD_CHANNEL = 3,
  FIELD_FHSS = 4,
  FIELD_SIGNAL = 5,
  FIELD_NOISE = 6,
  FIELD_RX_FLAGS = 14,
  kKnownFields = 15,  // bits 0 to 14 of the first presence word
};

// Size and alignment of the fields of the first presence word, in bit order.
struct FieldShape {
  BYTE size;
  BYTE align;
};
constexpr FieldShape kShapes[kKnownFields] = {
    {8, 8},  // TSFT
    {1, 1},  // Flags
    {1, 1},  // Rate
    {4, 2},  // Channel: frequency, flags
    {2, 2},  // FHSS: hop set, hop pattern
    {1, 1},  // antenna signal, dBm
    {1, 1},  // antenna noise, dBm
    {2, 2},  // lock quality
    {2, 2},  // TX attenuation
    {2, 2},  // TX attenuation, dB
    {1, 1},  // TX power, dBm
    {1, 1},  // antenna
    {1, 1},  // antenna signal, dB
    {1, 1},  // antenna noise, dB
    {2, 2},  // RX flags
};

enum : unsigned {
  FLAGS_FCS = 0x10,
  FLAGS_BAD_FCS = 0x40,
  RX_FLAGS_BAD_PLCP = 0x0002,
  CHANNEL_CCK = 0x0020,
  CHANNEL_DYNAMIC_CCK_OFDM = 0x0400,
  CHANNEL_GFSK = 0x0800,
  kFailedFrame = 0x40000000u,
};

unsigned Le16(const BYTE* p) { return p[0] | (unsigned)p[1] << 8; }
uint32_t Le32(const BYTE* p) { return Le16(p) | (uint32_t)Le16(p + 2) << 16; }

int ChannelNumber(unsigned mhz) {
  if (mhz == 2484) return 14;
  if (mhz >= 2412 && mhz <= 2472) return (int)(mhz - 2407) / 5;
  if (mhz >= 5000 && mhz <= 5895) return (int)(mhz - 5000) / 5;
  if (mhz >= 4910 && mhz <= 4980) return (int)(mhz - 4000) / 5;
  return 0;
}

bool IsDsssRate(unsigned rate) { return rate == 2 || rate == 4 || rate == 11 || rate == 22; }

}  // namespace

bool ReadRadiotap(const BYTE* data, int capturedLength, int wireLength, RadiotapFrame* out) {
  *out = RadiotapFrame{};
  if (capturedLength < 4) {
    out->headerLength = -1;
    return false;
  }
  const int length = (int)Le16(data + 2);
  out->headerLength = length;
  if (length < 8 || length > capturedLength) return false;
  out->headerLength = length;
  out->capturedLength = capturedLength - length;
  out->wireLength = (wireLength > capturedLength ? wireLength : capturedLength) - length;

  // The fields follow the chain of presence words (bit 31: another word
  // follows); a chain that runs past the header leaves no field known.
  const uint32_t present = Le32(data + 4);
  int at = 8;
  for (uint32_t word = present; word & 0x80000000u; at += 4) {
    if (at + 4 > length) return true;
    word = Le32(data + at);
  }
  const BYTE* field[kKnownFields] = {};
  for (int bit = 0; bit < kKnownFields; bit++) {
    if (!(present & (1u << bit))) continue;
    const FieldShape shape = kShapes[bit];
    at = (at + shape.align - 1) & ~(shape.align - 1);
    if (at + shape.size > length) break;
    field[bit] = data + at;
    at += shape.size;
  }

  const unsigned flags = field[FIELD_FLAGS] ? *field[FIELD_FLAGS] : 0;
  if (flags & FLAGS_FCS) {
    out->wireLength = out->wireLength > 4 ? out->wireLength - 4 : 0;
    if (out->capturedLength > out->wireLength) out->capturedLength = out->wireLength;
  }
  FrameMedia& media = out->media;
  const unsigned rxFlags = field[FIELD_RX_FLAGS] ? Le16(field[FIELD_RX_FLAGS]) : 0;
  if ((flags & FLAGS_BAD_FCS) || (rxFlags & RX_FLAGS_BAD_PLCP)) media.status = kFailedFrame;

  const unsigned rate = field[FIELD_RATE] ? *field[FIELD_RATE] : 0;
  if (rate * 5 <= 255) media.radioInfo[0] = (BYTE)(rate * 5);
  uint32_t phyType = 0;
  if (field[FIELD_CHANNEL]) {
    const unsigned channelFlags = Le16(field[FIELD_CHANNEL] + 2);
    if ((channelFlags & CHANNEL_CCK) || ((channelFlags & CHANNEL_DYNAMIC_CCK_OFDM) && IsDsssRate(rate)))
      phyType = 1;
    else if (channelFlags & CHANNEL_GFSK)
      phyType = 2;
    media.radioInfo[8] = (BYTE)ChannelNumber(Le16(field[FIELD_CHANNEL]));
  }
  if (field[FIELD_FHSS] && phyType == 0) phyType = 2;
  memcpy(media.radioInfo + 4, &phyType, sizeof phyType);
  if (field[FIELD_SIGNAL]) media.radioInfo[10] = *field[FIELD_SIGNAL];
  if (field[FIELD_NOISE]) media.radioInfo[11] = *field[FIELD_NOISE];
  if (field[FIELD_TSFT]) {
    media.hostCookie[0] = Le32(field[FIELD_TSFT]);
    media.hostCookie[1] = Le32(field[FIELD_TSFT] + 4);
  }
  return true;
}

}  // namespace qvhost
