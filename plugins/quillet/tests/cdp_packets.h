// CDP packets built record by record, shared by the direct and the
// end-to-end cases.
#pragma once

#include <string>

#include "quillet_host.h"

namespace quillettest {

inline Bytes Record(WORD type, const Bytes& value, int length = -1) {
  if (length < 0) length = (int)value.size() + 4;
  Bytes r = {(BYTE)(type >> 8), (BYTE)type, (BYTE)(length >> 8), (BYTE)length};
  r.insert(r.end(), value.begin(), value.end());
  return r;
}
inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

inline const Bytes kCdpHeader = Hex("02 b4 ab 12");  // version 2, 180 seconds, checksum AB12

// A device id of 200 characters: longer than a line may quote.
inline std::string LongId() {
  std::string s;
  while (s.size() < 200) s += "core-switch-";
  s.resize(200);
  return s;
}

// One IPv4 address: NLPID, protocol length 1, protocol CC, length 4.
inline const Bytes kOneAddress = Hex("00 00 00 01 01 01 cc 00 04 c0 a8 00 01");

// Every record kind once, capabilities 0x29; 294 bytes.
inline Bytes FullCdpPacket() {
  return Join({kCdpHeader, Record(1, Text(LongId())), Record(2, kOneAddress), Record(3, Text("FastEthernet0/1")),
               Record(4, Hex("00 00 00 29")), Record(5, Text("IOS 12.1")),
               Record(6, Text(std::string("WS-C2950\0\0", 10))), Record(7, Hex("0a 00 00 00 18")),
               Record(9, Text("lab"))});
}

}  // namespace quillettest
