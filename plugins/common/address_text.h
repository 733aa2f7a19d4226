// Addresses as text: up to 16 bytes as hex pairs joined by '-' or as decimal
// numbers joined by '.', with "..." when 16 or more bytes were given. Shared
// by the name table's formatting services and the host's fallbacks for them.
#pragma once

#include <string.h>

#include "monitor.h"

namespace qv {

// The longest texts, with the NUL: 16 pairs, 15 dashes and "..."; 16
// numbers of three digits, 15 dots and "...".
constexpr int kHexAddressTextSize = 16 * 2 + 15 + 3 + 1;
constexpr int kDottedAddressTextSize = 16 * 3 + 15 + 3 + 1;

// Every byte's text, made once: an address is then a copy per byte.
struct AddressByteTexts {
  char hex[256][2];
  char decimal[256][3];
  BYTE decimalLength[256];
};
consteval AddressByteTexts MakeAddressByteTexts() {
  AddressByteTexts t{};
  const char digits[] = "0123456789ABCDEF";
  for (int b = 0; b < 256; b++) {
    t.hex[b][0] = digits[b >> 4];
    t.hex[b][1] = digits[b & 15];
    int n = 0;
    if (b >= 100) t.decimal[b][n++] = (char)('0' + b / 100);
    if (b >= 10) t.decimal[b][n++] = (char)('0' + b / 10 % 10);
    t.decimal[b][n++] = (char)('0' + b % 10);
    t.decimalLength[b] = (BYTE)n;
  }
  return t;
}
inline constexpr AddressByteTexts kAddressByteTexts = MakeAddressByteTexts();

// Written by hand: this runs for every address of every summary row.
inline void FormatAddressBytes(const BYTE* data, int length, char* text, bool dotted) {
  char* p = text;
  *p = 0;
  if (length <= 0 || !data) return;
  const AddressByteTexts& t = kAddressByteTexts;
  int n = length < 16 ? length : 16;
  // The first byte, then a separator and a byte at a time.
  if (!dotted) {
    memcpy(p, t.hex[data[0]], 2);
    p += 2;
    for (int i = 1; i < n; i++) {
      p[0] = '-';
      memcpy(p + 1, t.hex[data[i]], 2);
      p += 3;
    }
  } else {
    // The second digit's place is written whatever the number: a number of
    // one digit has the next dot or the NUL there. Nothing past the text
    // changes.
    for (int i = 0; i < n; i++) {
      const BYTE b = data[i];
      const int digits = t.decimalLength[b];
      p[0] = t.decimal[b][0];
      p[1] = t.decimal[b][1];
      if (digits == 3) p[2] = t.decimal[b][2];
      p += digits;
      if (i + 1 < n) *p++ = '.';
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
