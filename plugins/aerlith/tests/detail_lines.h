// Expected detail lines of the 802.11 header's recurring groups.
#pragma once

#include "aerlith_host.h"

namespace aerlithtest {


inline Lines UnknownPlcp() { return {{"PLCP Header", 0, 0, OPEN}, {"PHY Type\t\t\t\tUnknown", 0, 0, CLOSE}}; }

// "x" where mask has no bit, else the value's bit.
inline std::string Picture(BYTE value, BYTE mask) {
  std::string s;
  for (int bit = 7; bit >= 0; bit--) s += (mask >> bit & 1) ? (value >> bit & 1 ? '1' : '0') : 'x';
  return s;
}

inline Lines FrameControl(BYTE control, const std::string& function) {
  static const char* const kTypes[] = {"Management", "Control", "Data", "Reserved"};
  return {{"Frame Control Byte 0", 0, 1, OPEN},
          {"Protocol Level\t\t[" + Picture(control, 0x03) + "]\t" + std::to_string(control & 3), 0, 1, 0},
          {"Type\t\t\t\t\t[" + Picture(control, 0x0C) + "]\t" + kTypes[(control >> 2) & 3], 0, 1, 0},
          {"Sub-Type\t\t\t\t[" + Picture(control, 0xF0) + "]\t" + function, 0, 1, CLOSE}};
}

inline Lines Flags(BYTE flags) {
  const char* const labels[] = {"Order\t\t\t\t\t", "WEP\t\t\t\t\t",     "More Data\t\t\t", "Power Mgmt\t\t\t",
                                "Retry\t\t\t\t\t", "More Fragments\t\t", "From DS\t\t\t\t",  "To DS\t\t\t\t\t"};
  Lines lines = {{"Frame Control Byte 1", 1, 1, OPEN}};
  for (int i = 0; i < 8; i++) {
    const BYTE bit = (BYTE)(0x80 >> i);
    lines.push_back({std::string(labels[i]) + "[" + Picture(flags, bit) + "]\t" + (flags & bit ? "on" : "off"), 1, 1,
                     i == 7 ? CLOSE : 0});
  }
  return lines;
}

// One address group; vendor "" for none, names "" for no logical names.
inline Lines Address(const std::string& label, int at, const Bytes& a, const std::string& vendor, DWORD close = CLOSE,
                     const std::string& names = "") {
  char hex[32];
  snprintf(hex, sizeof hex, "%02X-%02X-%02X-%02X-%02X-%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
  const char* tail = " xxxxxxxx xxxxxxxx xxxxxxxx xxxxxxxx]\t";
  Lines lines = {
      {label, at, 6, OPEN},
      {std::string("Hex Address\t\t\t") + hex, at, 6, 0},
      {std::string("Group Bit\t\t\t[xxxxxxx") + (a[0] & 1 ? "1" : "0") + tail + (a[0] & 1 ? "on" : "off"), at, 1, 0},
      {std::string("Local Bit\t\t\t[xxxxxx") + (a[0] & 2 ? "1x" : "0x") + tail + (a[0] & 2 ? "on" : "off"), at, 1, 0},
  };
  if (!names.empty()) lines.push_back({"Logical Names\t\t[" + names + "]", at, 6, 0});
  if (!vendor.empty()) lines.push_back({"Vendor Name\t\t\t" + vendor, at, 3, 0});
  lines.back().flags |= close;
  return lines;
}

}  // namespace aerlithtest
