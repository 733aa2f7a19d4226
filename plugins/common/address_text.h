// Addresses as text: up to 16 bytes as hex pairs joined by '-' or as decimal
// numbers joined by '.', with "..." when 16 or more bytes were given. Shared
// by the name table's formatting services and the host's fallbacks for them.
#pragma once

#include "monitor.h"

namespace qv {

// The longest texts, with the NUL: 16 pairs, 15 dashes and "..."; 16
// numbers of three digits, 15 dots and "...".
constexpr int kHexAddressTextSize = 16 * 2 + 15 + 3 + 1;
constexpr int kDottedAddressTextSize = 16 * 3 + 15 + 3 + 1;

// Written by hand: this runs for every address of every summary row.
inline void FormatAddressBytes(const BYTE* data, int length, char* text, bool dotted) {
  char* p = text;
  *p = 0;
  if (length <= 0 || !data) return;
  static const char kHex[] = "0123456789ABCDEF";
  int n = length < 16 ? length : 16;
  for (int i = 0; i < n; i++) {
    if (i) *p++ = dotted ? '.' : '-';
    unsigned b = data[i];
    if (!dotted) {
      *p++ = kHex[b >> 4];
      *p++ = kHex[b & 15];
    } else {
      if (b >= 100) *p++ = (char)('0' + b / 100);
      if (b >= 10) *p++ = (char)('0' + b / 10 % 10);
      *p++ = (char)('0' + b % 10);
    }
  }
  if (length >= 16) {
    *p++ = '.';
    *p++ = '.';
    *p++ = '.';
  }
  *p = 0;
}

}  // namespace qv
