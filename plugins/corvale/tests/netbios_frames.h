// Pieces of NetBIOS messages for the name, datagram and session service
// tests.
#pragma once

#include <string>

#include "corvale_host.h"

namespace corvaletest {

inline Bytes Word(WORD v) { return Bytes{(BYTE)(v >> 8), (BYTE)v}; }
inline Bytes Long(DWORD v) { return Cat({Word((WORD)(v >> 16)), Word((WORD)v)}); }

// A 34-byte name field: the length byte 0x20, the name padded with blanks to
// 15 characters and its suffix in first-level encoding, and a zero.
inline Bytes NbName(const std::string& name, BYTE suffix) {
  std::string sixteen = name;
  sixteen.resize(15, ' ');
  sixteen += (char)suffix;
  Bytes b = {0x20};
  for (unsigned char c : sixteen) {
    b.push_back((BYTE)('A' + (c >> 4)));
    b.push_back((BYTE)('A' + (c & 0x0F)));
  }
  b.push_back(0);
  return b;
}

}  // namespace corvaletest
