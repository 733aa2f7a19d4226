// The 802.3 link layer's rule for what follows a length (not an EtherType):
// raw IPX, or 802.2 LLC. MAC-802.3 (Brannock) and VLAN's inner length
// (Quillet) both apply it, so it is shared here rather than owned by one.
#pragma once

#include "view.h"

namespace qv {

// Raw IPX over 802.3 lengths: the payload, at `at` in v, starts with IPX's
// checksum field, always FF FF.
inline bool StartsRawIpx(const View& v, int64_t at = 0) {
  WORD checksum;
  return v.Be16(at, &checksum) && checksum == 0xFFFF;
}

}  // namespace qv
