// Radiotap, the radio header that captures of link type 127 put in front of
// each 802.11 frame. The wireless root wants the 802.11 header at data[0] and
// the radio values in the frame record's own fields, so the host strips the
// header and maps what it reports:
//
//   radioInfo byte 0 (rate)      the Rate field (500 kbit/s units) times 5, in
//                                100 kbit/s (2 -> 10, 11 -> 55, 22 -> 110); 0
//                                when absent or above 255 (beyond 25.5 Mbit/s,
//                                as the OFDM rates of 36 to 54 Mbit/s are)
//   byte 1 (service), 2-3 (PLCP length)
//                                0: radiotap carries neither
//   bytes 4-7 (phyType, u32)     1 (DSSS) when the channel is CCK, or dynamic
//                                CCK-OFDM at a rate of 1, 2, 5.5 or 11 Mbit/s;
//                                2 (FHSS) when the channel is GFSK or an FHSS
//                                field is present; else 0 (unknown; radiotap
//                                names no infrared PHY)
//   byte 8                       the channel number of the Channel field's
//                                frequency (2.4 and 5 GHz bands), else 0
//   byte 9                       0
//   bytes 10, 11                 antenna signal and noise in dBm, as signed
//                                bytes; 0 when absent
//   bytes 12-19 (WEP IV, key id, ICV)
//                                radiotap carries none: MediaOf (capture.h)
//                                reads them from a protected frame's body,
//                                for plain 802.11 captures too
//   hostCookie                   the TSFT field (the radio's clock in
//                                microseconds), low and high words; 0 when
//                                absent
//   mediaStatus                  0x40000000 for a frame that radiotap marks as
//                                failed (bad FCS in Flags, bad PLCP in RX
//                                flags): it then adds no station traffic and
//                                no access point; 0 for every other frame
//   lengths                      a frame with its FCS (Flags 0x10) loses those
//                                4 bytes from its wire length, and from its
//                                captured length as far as they were captured
//
// Plain 802.11 captures (link type 105) have no radio header: every field
// above but the WEP values is 0 and the lengths are the capture's.
#pragma once

#include "qvhost/host.h"

namespace qvhost {

struct RadiotapFrame {
  int headerLength = 0;    // bytes of the radiotap header, in front of the 802.11 header
  int capturedLength = 0;  // of the 802.11 frame, its FCS trimmed
  int wireLength = 0;
  FrameMedia media;
};

// Reads the radiotap header at data (capturedLength bytes of a frame of
// wireLength bytes). False when the header's length is less than 8 or does
// not fit the captured bytes; headerLength then holds the length the header
// gives, or -1 when too few bytes were captured to hold it. A field that lies
// past the header's own length is taken as absent.
bool ReadRadiotap(const BYTE* data, int capturedLength, int wireLength, RadiotapFrame* out);

}  // namespace qvhost
