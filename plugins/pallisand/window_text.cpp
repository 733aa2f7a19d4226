// The windows' texts: addresses as hex pairs, the G, P and L flags, times,
// the editor's address field read back, and the tool tips.
#include "window_text.h"

#include "dialogs.h"

#include <stdio.h>
#include <string.h>

namespace pallisand {

void AddressText(const BYTE* address, int length, char* text) {
  static const char kHex[] = "0123456789ABCDEF";
  if (length > kMaxAddressLength) length = kMaxAddressLength;
  char* p = text;
  for (int i = 0; i < length; i++) {
    if (i) *p++ = '-';
    *p++ = kHex[address[i] >> 4];
    *p++ = kHex[address[i] & 15];
  }
  *p = 0;
}

void FlagsText(const NameEntry& e, char* text) {
  text[0] = e.group ? 'G' : ' ';
  text[1] = e.flagged ? 'P' : ' ';
  text[2] = e.locked ? 'L' : ' ';
  text[3] = 0;
}

void TimeText(const plat::FILETIME& time, char* text) {
  plat::SYSTEMTIME t = {};
  if (!plat::FileTimeToSystemTime(&time, &t)) t = plat::SYSTEMTIME{1601, 1, 1, 1, 0, 0, 0, 0};
  snprintf(text, kTimeTextSize, "%02d:%02d:%04d  %02d:%02d:%02d:%03d", t.wMonth, t.wDay, t.wYear, t.wHour, t.wMinute,
           t.wSecond, t.wMilliseconds);
}

namespace {

AddressCheck ReadAddress(const char* text, BYTE* address, int* length) {
  int digits = 0, high = 0;
  for (const char* p = text; *p; p++) {
    char c = *p;
    if (c == '\t' || c == ' ' || c == '-' || c == '.') continue;
    if (c >= 'a' && c <= 'f') c = (char)(c - 'a' + 'A');
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else
      return ADDRESS_BAD_DIGITS;
    if (digits % 2 == 0) {
      high = v;
    } else {
      if (digits / 2 >= kMaxAddressLength) return ADDRESS_BAD_DIGITS;
      address[digits / 2] = (BYTE)(high << 4 | v);
    }
    digits++;
  }
  if (digits == 0) return ADDRESS_EMPTY;
  if (digits % 2) return ADDRESS_BAD_DIGITS;
  *length = digits / 2;
  return ADDRESS_OK;
}

}  // namespace

AddressCheck ParseAddress(const char* text, BYTE* address, int* length) {
  memset(address, 0, kMaxAddressLength);
  *length = 0;
  AddressCheck check = ReadAddress(text, address, length);
  if (check != ADDRESS_OK) memset(address, 0, kMaxAddressLength);
  return check;
}

const char* ToolTipText(int id) {
  switch (id) {
    case CMD_ADD: return "Add a new name mapping";
    case CMD_DELETE: return "Delete a name mapping";
    case CMD_EDIT: return "Edit a name mapping";
    case CMD_LOCK: return "Lock a name mapping";
    case CMD_UNLOCK: return "Unlock a name mapping";
    default: return "Unknown control";
  }
}

}  // namespace pallisand
