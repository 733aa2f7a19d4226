// Addresses as text: up to 16 bytes as hex pairs joined by '-' or as decimal
// numbers joined by '.', with "..." when 16 or more bytes were given. The text
// of the monitor table's FormatHexAddress and FormatDottedAddress slots and of
// a lookup that finds no name: the name table's services, the host's
// fallbacks for them and the plug-ins that write an address themselves all
// write it from here.
#pragma once

#include <string.h>

#include "monitor.h"

namespace qv {

// The longest texts, with the NUL: 16 pairs, 15 dashes and "..."; 16
// numbers of three digits, 15 dots and "...".
constexpr int kHexAddressTextSize = 16 * 2 + 15 + 3 + 1;
constexpr int kDottedAddressTextSize = 16 * 3 + 15 + 3 + 1;

// Every byte's text, made once: an address is then a copy per byte. Each
// text but the last of an address is stored four bytes at a time with its
// separator (and a byte of whatever behind it, which the next text
// overwrites); the last is stored alone, so nothing past the NUL changes.
struct AddressByteTexts {
  char hex[256][2];
  char hexDash[256][4];  // "XX-" and a NUL
  char decimal[256][3];
  char decimalDot[256][4];  // the number and "." (a NUL behind a shorter one)
  BYTE decimalLength[256];
};
consteval AddressByteTexts MakeAddressByteTexts() {
  AddressByteTexts t{};
  const char digits[] = "0123456789ABCDEF";
  for (int b = 0; b < 256; b++) {
    t.hex[b][0] = t.hexDash[b][0] = digits[b >> 4];
    t.hex[b][1] = t.hexDash[b][1] = digits[b & 15];
    t.hexDash[b][2] = '-';
    int n = 0;
    if (b >= 100) t.decimal[b][n++] = (char)('0' + b / 100);
    if (b >= 10) t.decimal[b][n++] = (char)('0' + b / 10 % 10);
    t.decimal[b][n++] = (char)('0' + b % 10);
    t.decimalLength[b] = (BYTE)n;
    for (int i = 0; i < n; i++) t.decimalDot[b][i] = t.decimal[b][i];
    t.decimalDot[b][n] = '.';
  }
  return t;
}
inline constexpr AddressByteTexts kAddressByteTexts = MakeAddressByteTexts();

// The first n - 1 bytes of an address with their separators; returns where
// the last byte's text goes. A constant n unrolls.
[[gnu::always_inline]] inline char* HexPairsWithDashes(const BYTE* data, int n, char* p) {
#pragma GCC unroll 16
  for (int i = 0; i + 1 < n; i++, p += 3) memcpy(p, kAddressByteTexts.hexDash[data[i]], 4);
  return p;
}
[[gnu::always_inline]] inline char* NumbersWithDots(const BYTE* data, int n, char* p) {
#pragma GCC unroll 16
  for (int i = 0; i + 1 < n; i++) {
    memcpy(p, kAddressByteTexts.decimalDot[data[i]], 4);
    p += kAddressByteTexts.decimalLength[data[i]] + 1;
  }
  return p;
}

// Written by hand: these run for every address of every summary row.
// Media addresses (6 bytes) and IPv4 addresses (4), the usual lengths, have
// their own unrolled copies.
[[gnu::always_inline]] inline char* HexAddressText(const BYTE* data, int n, char* p) {
  p = n == 6 ? HexPairsWithDashes(data, 6, p) : HexPairsWithDashes(data, n, p);
  memcpy(p, kAddressByteTexts.hex[data[n - 1]], 2);
  return p + 2;
}
[[gnu::always_inline]] inline char* DottedAddressText(const BYTE* data, int n, char* p) {
  const AddressByteTexts& t = kAddressByteTexts;
  p = n == 4 ? NumbersWithDots(data, 4, p) : NumbersWithDots(data, n, p);
  // The second digit's place is written whatever the number: a number of
  // one digit has the NUL there.
  const BYTE b = data[n - 1];
  const int digits = t.decimalLength[b];
  p[0] = t.decimal[b][0];
  p[1] = t.decimal[b][1];
  if (digits == 3) p[2] = t.decimal[b][2];
  return p + digits;
}

[[gnu::always_inline]] inline void FormatAddressBytes(const BYTE* data, int length, char* text, bool dotted) {
  char* p = text;
  *p = 0;
  if (length <= 0 || !data) return;
  int n = length < 16 ? length : 16;
  p = dotted ? DottedAddressText(data, n, p) : HexAddressText(data, n, p);
  if (length >= 16) {
    *p++ = '.';
    *p++ = '.';
    *p++ = '.';
  }
  *p = 0;
}

}  // namespace qv
