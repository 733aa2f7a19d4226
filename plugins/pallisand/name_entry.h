// One mapping of the name table. AddName and AddFlaggedName hand out
// pointers to this record, so its layout is part of what callers may read.
#pragma once

#include "plat/platform.h"

namespace pallisand {

enum : int {
  kMaxAddressLength = 32,
  kNameSize = 32,  // a name holds at most kNameSize - 1 characters
};

struct NameEntry {
  NameEntry* next;            // following entry of the list that holds it
  BYTE flagged;               // P: added through AddFlaggedName
  BYTE group;                 // G: bit 0 of the first address byte
  BYTE locked;                // L: set by the user
  COLORREF destinationColor;  // 0: none
  COLORREF sourceColor;       // 0: none
  int32_t value;              // the adding caller's number, only stored
  int32_t addressLength;      // 0 .. kMaxAddressLength
  BYTE address[kMaxAddressLength];  // zero past addressLength
  char name[kNameSize];       // unique without regard to case; indexed, see RenameActive
  int32_t accessCount;        // matching lookups, stops at INT32_MAX
  plat::FILETIME lastAccessed;  // zero until the first matching lookup
  plat::FILETIME created;
};

inline uint64_t FileTimeTicks(const plat::FILETIME& t) {
  return ((uint64_t)t.dwHighDateTime << 32) | t.dwLowDateTime;
}

}  // namespace pallisand
