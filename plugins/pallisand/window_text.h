// Texts of the name table windows: rows, tool tips and the editor's address
// field. Plain functions of their arguments, so every build tests them.
#pragma once

#include "name_entry.h"

namespace pallisand {

// Every byte as two upper-case hex digits joined by '-' (no length limit):
// 32 bytes give 95 characters.
constexpr size_t kAddressTextSize = 3 * kMaxAddressLength;
void AddressText(const BYTE* address, int length, char* text);

// 'G' or ' ', 'P' or ' ', 'L' or ' ' (the file writes P before G).
constexpr size_t kFlagsTextSize = 4;
void FlagsText(const NameEntry& e, char* text);

// month:day:year  hour:minute:second:millisecond of the (local) FILETIME.
constexpr size_t kTimeTextSize = 48;
void TimeText(const plat::FILETIME& time, char* text);

// The editor's address: tab, blank, '-' and '.' are dropped, the rest is read
// as pairs of hex digits in either case. The field is zero past the bytes,
// and all zero on a failure. ADDRESS_EMPTY when nothing but separators was
// typed: no bytes at all would match every address.
enum AddressCheck { ADDRESS_OK, ADDRESS_EMPTY, ADDRESS_BAD_DIGITS };
AddressCheck ParseAddress(const char* text, BYTE* address, int* length);

// The tool tip of a toolbar button of the name table window.
const char* ToolTipText(int id);

}  // namespace pallisand
